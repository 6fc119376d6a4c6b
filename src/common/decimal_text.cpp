#include "common/decimal_text.h"

#include <charconv>
#include <cmath>

namespace sonivate {
namespace {

bool IsBlank(char pChar) { return pChar == ' ' || pChar == '\t'; }
bool IsDigit(char pChar) { return pChar >= '0' && pChar <= '9'; }

}  // namespace

std::optional<double> ParseDecimal(std::string_view pText) {
    while (!pText.empty() && IsBlank(pText.front())) pText.remove_prefix(1);
    while (!pText.empty() && IsBlank(pText.back())) pText.remove_suffix(1);
    bool negative = false;
    if (!pText.empty() && (pText.front() == '+' || pText.front() == '-')) {
        negative = pText.front() == '-';
        pText.remove_prefix(1);
    }
    // from_chars also reads "inf", "nan" and a second sign; none of them is a number here.
    if (pText.empty() || !(IsDigit(pText.front()) || pText.front() == '.')) return std::nullopt;
    double value = 0.0;
    const char* end = pText.data() + pText.size();
    const auto [stop, error] = std::from_chars(pText.data(), end, value, std::chars_format::general);
    if (error != std::errc() || stop != end || !std::isfinite(value)) return std::nullopt;
    return negative ? -value : value;
}

}  // namespace sonivate
