#pragma once
// Decimal numbers as the operator and the files write them: a point, never
// the locale's separator.

#include <optional>
#include <string_view>

namespace sonivate {

// The number pText spells: surrounding blanks (space, tab) allowed, an
// optional sign, digits with an optional fraction after a point and an
// optional exponent. nullopt for anything else (also "inf", "nan", a second
// sign, a comma) and for values beyond the double range.
std::optional<double> ParseDecimal(std::string_view pText);

}  // namespace sonivate
