#include "common/formatting.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

#include "common/error_trap.h"

namespace sonivate {
namespace {

constexpr std::int64_t kMsPerHour = 3600000;
constexpr std::int64_t kMsPerMinute = 60000;
constexpr std::int64_t kMsPerSecond = 1000;
// Digits a 64-bit float holds reliably in decimal.
constexpr int kSignificantDigits = 15;

// Byte offsets at which UTF-8 characters start, plus the end.
std::vector<size_t> CharacterStarts(const std::string& pText) {
    std::vector<size_t> starts;
    for (size_t i = 0; i < pText.size(); ++i)
        if ((static_cast<unsigned char>(pText[i]) & 0xC0) != 0x80) starts.push_back(i);
    starts.push_back(pText.size());
    return starts;
}

}  // namespace

std::string FormatDuration(std::int32_t pMilliseconds, std::int32_t /*pStyle*/, const std::int32_t& pSign) {
    return Trapped<std::string>({}, [&] {
        std::int64_t value = pMilliseconds;
        std::string sign;
        if (value < 0) {
            if (pSign != 0) {
                sign = "-";
                value = -value;
            } else {
                value = 0;
            }
        }
        char buffer[48];
        std::snprintf(buffer, sizeof(buffer), "%s%02lld:%02lld:%02lld.%03lld", sign.c_str(),
                      static_cast<long long>(value / kMsPerHour), static_cast<long long>((value / kMsPerMinute) % 60),
                      static_cast<long long>((value / kMsPerSecond) % 60),
                      static_cast<long long>(value % kMsPerSecond));
        return std::string(buffer);
    });
}

std::string CutAtNul(std::string_view pText) { return std::string(pText.substr(0, pText.find('\0'))); }

std::string FitTextToWidth(const std::string& pText, const TextWidthFunction& pMeasure, std::int32_t pWidth,
                           bool pKeepEnd) {
    std::string result = pText;
    Trap([&] {
        const std::vector<size_t> starts = CharacterStarts(pText);
        const size_t count = starts.size() - 1;
        if (count < 2 || pMeasure(pText) <= pWidth) return;
        auto piece = [&](size_t n) { return pKeepEnd ? pText.substr(starts[count - n]) : pText.substr(0, starts[n]); };
        for (size_t n = 2; n <= count; ++n) {
            if (pMeasure(piece(n)) > pWidth) {
                result = piece(n - 1);
                return;
            }
        }
    });
    return result;
}

std::string FormatFixed(double pValue, std::int32_t pDecimals) {
    return Trapped<std::string>({}, [&] {
        if (!std::isfinite(pValue)) throw RunTimeError("not a finite number");
        // Round on the value's 15-significant-digit decimal form, halves away
        // from zero, so that a value that reads ...5 rounds the way it reads.
        // to_chars is the "C" locale's form under every locale: a decimal
        // comma of LC_NUMERIC never reaches the digits.
        char scientific[64];
        const auto written = std::to_chars(scientific, scientific + sizeof(scientific), std::fabs(pValue),
                                           std::chars_format::scientific, kSignificantDigits - 1);
        if (written.ec != std::errc()) throw RunTimeError("number too long");
        std::string digits;
        const char* p = scientific;
        for (; p != written.ptr && *p != 'e'; ++p)
            if (*p >= '0' && *p <= '9') digits += *p;
        int exponent = 0;
        if (p != written.ptr) {
            const char* e = p + 1;
            if (e != written.ptr && *e == '+') ++e;
            std::from_chars(e, written.ptr, exponent);
        }
        const long kept = static_cast<long>(exponent) + 1 + pDecimals;
        std::string number;  // the rounded value times 10^pDecimals, in decimal digits
        if (kept >= static_cast<long>(digits.size())) {
            number = digits + std::string(static_cast<size_t>(kept) - digits.size(), '0');
        } else if (kept >= 0) {
            number = digits.substr(0, static_cast<size_t>(kept));
            if (digits[static_cast<size_t>(kept)] >= '5') {
                long i = static_cast<long>(number.size()) - 1;
                while (i >= 0 && number[static_cast<size_t>(i)] == '9') number[static_cast<size_t>(i--)] = '0';
                if (i < 0)
                    number.insert(number.begin(), '1');
                else
                    ++number[static_cast<size_t>(i)];
            }
        }
        if (number.size() < static_cast<size_t>(pDecimals) + 1)
            number.insert(0, static_cast<size_t>(pDecimals) + 1 - number.size(), '0');
        const bool zero = number.find_first_not_of('0') == std::string::npos;
        if (pDecimals > 0) number.insert(number.size() - static_cast<size_t>(pDecimals), ".");
        std::string text;
        if (pValue < 0 && !zero) text.push_back('-');
        text.append(number);
        return text;
    });
}

std::string TrimSpaces(std::string_view pText) {
    const auto first = pText.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return std::string(pText.substr(first, pText.find_last_not_of(' ') - first + 1));
}

std::string AsciiUpper(std::string pText) {
    std::transform(pText.begin(), pText.end(), pText.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c); });
    return pText;
}

std::string AsciiLower(std::string pText) {
    std::transform(pText.begin(), pText.end(), pText.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c); });
    return pText;
}

std::string Base64(std::string_view pBytes) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    constexpr unsigned kSixBits = 63;
    std::string out;
    out.reserve((pBytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < pBytes.size(); i += 3) {
        const auto byte = [&](size_t k) { return k < pBytes.size() ? static_cast<unsigned char>(pBytes[k]) : 0u; };
        const unsigned v = (byte(i) << 16) | (byte(i + 1) << 8) | byte(i + 2);
        out += kDigits[(v >> 18) & kSixBits];
        out += kDigits[(v >> 12) & kSixBits];
        out += i + 1 < pBytes.size() ? kDigits[(v >> 6) & kSixBits] : '=';
        out += i + 2 < pBytes.size() ? kDigits[v & kSixBits] : '=';
    }
    return out;
}

}  // namespace sonivate
