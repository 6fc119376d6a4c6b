#include "controls/model/cell_value.h"

#include <charconv>
#include <cmath>

#include "common/decimal_text.h"
#include "common/error_trap.h"

namespace sonivate {
namespace {

// Significant digits of a number's text form.
constexpr int kTextDigits = 15;

std::string NumberText(double pValue) {
    if (pValue == 0.0) return "0";  // also -0
    // to_chars writes the "C" locale's form whatever LC_NUMERIC says.
    char buffer[40];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, pValue, std::chars_format::general, kTextDigits);
    if (written.ec != std::errc()) return "";
    std::string text(buffer, written.ptr);
    for (char& c : text)
        if (c == 'e') c = 'E';
    return text;
}

}  // namespace

std::string CellValue::AsText() const {
    return Trapped(std::string(), [&] {
        if (const auto* number = std::get_if<double>(&c_Value)) return NumberText(*number);
        if (const auto* text = std::get_if<std::string>(&c_Value)) return *text;
        return std::string();
    });
}

double CellValue::AsNumber() const {
    if (const auto* number = std::get_if<double>(&c_Value)) return *number;
    if (const auto* text = std::get_if<std::string>(&c_Value)) return ParseDecimal(*text).value_or(0.0);
    return 0.0;
}

bool CellValue::ReadsAsNumber() const {
    if (const auto* text = std::get_if<std::string>(&c_Value)) return ParseDecimal(*text).has_value();
    return true;
}

std::optional<std::int32_t> CellValue::AsInt32() const {
    if (!ReadsAsNumber()) return std::nullopt;
    // nearbyint follows the default rounding mode: halves to even.
    const double rounded = std::nearbyint(AsNumber());
    if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) return std::nullopt;
    return static_cast<std::int32_t>(rounded);
}

}  // namespace sonivate
