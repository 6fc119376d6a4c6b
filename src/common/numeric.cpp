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

namespace {
// UTF-8 of the characters AsciiNumberText replaces.
constexpr unsigned char kLeadFullWidth = 0xEF;                  // U+FF00..U+FFFF: EF BC/BD xx
constexpr unsigned char kFullWidthBlock = 0xBC;                 // U+FF00..U+FF3F
constexpr unsigned char kFullWidthFirst = 0x80;                 // U+FF00 is EF BC 80
constexpr std::string_view kMinusSign = "\xE2\x88\x92";         // U+2212
constexpr std::string_view kIdeographicSpace = "\xE3\x80\x80";  // U+3000
}  // namespace

std::string AsciiNumberText(std::string_view pText) {
    std::string text;
    text.reserve(pText.size());
    for (std::size_t i = 0; i < pText.size();) {
        const std::string_view rest = pText.substr(i);
        if (rest.size() >= 3 && static_cast<unsigned char>(rest[0]) == kLeadFullWidth &&
            static_cast<unsigned char>(rest[1]) == kFullWidthBlock) {
            // U+FF01..U+FF3F mirror ASCII 0x21..0x5F.
            const char ascii = static_cast<char>(static_cast<unsigned char>(rest[2]) - kFullWidthFirst + 0x20);
            if ((ascii >= '0' && ascii <= '9') || ascii == '+' || ascii == '-' || ascii == '.') {
                text.push_back(ascii);
                i += 3;
                continue;
            }
        }
        if (rest.substr(0, kMinusSign.size()) == kMinusSign) {
            text.push_back('-');
            i += kMinusSign.size();
            continue;
        }
        if (rest.substr(0, kIdeographicSpace.size()) == kIdeographicSpace) {
            text.push_back(' ');
            i += kIdeographicSpace.size();
            continue;
        }
        text.push_back(pText[i]);
        ++i;
    }
    return text;
}

}  // namespace sonivate
