#include "common/numeric.h"

#include <cmath>
#include <limits>

namespace sonivate {
namespace {
constexpr double kTwoPow32 = 4294967296.0;
constexpr double kMaxUInt32 = 4294967295.0;
constexpr double kTwoPow31 = 2147483648.0;
}  // namespace

double LinearToDB(double pRatio) { return pRatio > 0.0 ? 20.0 * std::log(pRatio) / std::log(10.0) : kSilenceDB; }

double DBToLinear(double pDB) { return pDB > kSilenceDB ? std::pow(10.0, pDB / 20.0) : 0.0; }

std::int32_t ToUInt32Bits(double pValue) {
    const double whole = std::trunc(pValue);
    if (!(whole >= 0.0)) return 0;
    if (whole > kMaxUInt32) return -1;
    if (whole >= kTwoPow31) return static_cast<std::int32_t>(whole - kTwoPow32);
    return static_cast<std::int32_t>(whole);
}

std::int32_t RoundHalfEven(double pValue) {
    // nearbyint follows the default rounding mode: halves to even.
    const double r = std::nearbyint(pValue);
    if (r != r) return 0;
    if (r >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    if (r <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(r);
}

std::int64_t FromUInt32Bits(std::int32_t pBits) {
    return pBits >= 0 ? pBits : static_cast<std::int64_t>(pBits) + 4294967296LL;
}

std::int32_t IsOddNumber(std::int64_t pValue) { return pValue % 2 != 0 ? 1 : 0; }

std::int32_t IsOddNumber(double pValue) { return std::fmod(std::floor(pValue), 2.0) != 0.0 ? 1 : 0; }

}  // namespace sonivate
