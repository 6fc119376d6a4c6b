#pragma once
// Duration and text formatting.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace sonivate {

// The only duration style the system uses: hh:mm:ss.mmm.
inline constexpr std::int32_t kDurationStyleClock = 10;

// pMilliseconds as "hh:mm:ss.mmm" (hours with two or more digits). A negative
// value is shown with "-" when pSign is non-zero, else as zero. Failure value "".
std::string FormatDuration(std::int32_t pMilliseconds, std::int32_t pStyle, const std::int32_t& pSign);

// pText without its leading and trailing spaces (only " " counts; tabs and
// line breaks stay).
std::string TrimSpaces(std::string_view pText);

// pText with the ASCII letters upper-cased or lower-cased; every other byte,
// also those of multi-byte UTF-8 characters, stays as it is.
std::string AsciiUpper(std::string pText);
std::string AsciiLower(std::string pText);

// The text up to its first NUL character.
std::string CutAtNul(std::string_view pText);

// Measures a text in the drawing surface's units (its current font).
using TextWidthFunction = std::function<std::int32_t(std::string_view)>;

// pText, or its longest start (pKeepEnd false) or end (pKeepEnd true) that
// fits pWidth, counted in whole characters; at least one character. No
// ellipsis is added.
std::string FitTextToWidth(const std::string& pText, const TextWidthFunction& pMeasure, std::int32_t pWidth,
                           bool pKeepEnd);

// The fixed-point texts of the list: pDecimals decimals, halves away from
// zero, at least one integer digit ("0.00" gives -23.46 for -23.456).
std::string FormatFixed(double pValue, std::int32_t pDecimals);

// pBytes in Base64 (RFC 4648, with padding).
std::string Base64(std::string_view pBytes);

}  // namespace sonivate
