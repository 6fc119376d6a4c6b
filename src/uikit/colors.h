#pragma once
// Colour values and their arithmetic. Colours are 32-bit 0x00BBGGRR values;
// 0x80000000 + n names system colour n, resolved from one fixed table of the
// classic desktop colours so that the owner-drawn look is the same on every
// desktop and in tests.

#include <cstdint>

#include <QColor>

#include "common/color_value.h"

namespace sonivate {

// A system colour becomes its table value; anything else passes (masked to 24 bits).
std::int32_t ResolveColor(std::int32_t pColor);
QColor ToQColor(std::int32_t pColor);
std::int32_t FromQColor(const QColor& pColor);

struct RgbParts {
    std::int16_t R = 0;
    std::int16_t G = 0;
    std::int16_t B = 0;
};
// Components of a colour value (a system colour is resolved first).
RgbParts SplitRGB(std::int32_t pColor);
// Each component limited to at most 255 (and at least 0).
std::int32_t MakeRGB(std::int32_t pR, std::int32_t pG, std::int32_t pB);
// pFactor == -1: each component plus its delta; otherwise each component
// times pFactor; every result limited to 0..255.
std::int32_t AdjustColor(std::int32_t pColor, std::int32_t pDR, std::int32_t pDG, std::int32_t pDB, float pFactor);
// The cached tone colours 0..3 (0 white, 1..3 from the button face and
// shadow); tone 3 is the dark caption colour of the button strip.
std::int32_t ToneColor(std::int32_t pIndex);

}  // namespace sonivate
