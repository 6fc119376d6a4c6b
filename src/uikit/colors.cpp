#include "uikit/colors.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace sonivate {
namespace {

// The classic desktop scheme, 0x00BBGGRR, indexed by system colour number.
constexpr std::array<std::int32_t, 31> kSystemColors = {
    0xC8D0D4,  // 0 scroll bar
    0xA56E3A,  // 1 desktop
    0x6A240A,  // 2 active caption
    0x808080,  // 3 inactive caption
    0xC8D0D4,  // 4 menu
    0xFFFFFF,  // 5 window
    0x000000,  // 6 window frame
    0x000000,  // 7 menu text
    0x000000,  // 8 window text
    0xFFFFFF,  // 9 caption text
    0xC8D0D4,  // 10 active border
    0xC8D0D4,  // 11 inactive border
    0x808080,  // 12 application workspace
    0x6A240A,  // 13 highlight
    0xFFFFFF,  // 14 highlight text
    0xC8D0D4,  // 15 button face
    0x808080,  // 16 button shadow
    0x808080,  // 17 grey text
    0x000000,  // 18 button text
    0xC8D0D4,  // 19 inactive caption text
    0xFFFFFF,  // 20 button highlight
    0x404040,  // 21 3-D dark shadow
    0xC8D0D4,  // 22 3-D light
    0x000000,  // 23 tooltip text
    0xE1FFFF,  // 24 tooltip background
    0xB5B5B5,  // 25 (unused)
    0x800000,  // 26 hot-tracked item
    0xF0CAA6,  // 27 active caption gradient
    0xC0C0C0,  // 28 inactive caption gradient
    0xC56A31,  // 29 menu highlight
    0xD8E9EC,  // 30 menu bar
};

constexpr std::int32_t kComponentMax = 255;

std::int32_t Clamp8(std::int32_t pValue) { return std::clamp(pValue, 0, kComponentMax); }

}  // namespace

std::int32_t ResolveColor(std::int32_t pColor) {
    if (!IsSystemColor(pColor)) return pColor & 0xFFFFFF;
    const std::int32_t index = SystemColorIndex(pColor);
    if (index < 0 || index >= static_cast<std::int32_t>(kSystemColors.size())) return 0;
    return kSystemColors[static_cast<std::size_t>(index)];
}

QColor ToQColor(std::int32_t pColor) {
    const std::int32_t c = ResolveColor(pColor);
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

std::int32_t FromQColor(const QColor& pColor) { return MakeRGB(pColor.red(), pColor.green(), pColor.blue()); }

RgbParts SplitRGB(std::int32_t pColor) {
    const std::int32_t c = ResolveColor(pColor);
    return {static_cast<std::int16_t>(c & 0xFF), static_cast<std::int16_t>((c >> 8) & 0xFF),
            static_cast<std::int16_t>((c >> 16) & 0xFF)};
}

std::int32_t MakeRGB(std::int32_t pR, std::int32_t pG, std::int32_t pB) {
    return Clamp8(pR) | (Clamp8(pG) << 8) | (Clamp8(pB) << 16);
}

std::int32_t AdjustColor(std::int32_t pColor, std::int32_t pDR, std::int32_t pDG, std::int32_t pDB, float pFactor) {
    const RgbParts c = SplitRGB(pColor);
    if (pFactor == -1.0f) return MakeRGB(c.R + pDR, c.G + pDG, c.B + pDB);
    const auto scale = [pFactor](std::int32_t v) {
        return static_cast<std::int32_t>(std::nearbyint(static_cast<double>(v) * static_cast<double>(pFactor)));
    };
    return MakeRGB(scale(c.R), scale(c.G), scale(c.B));
}

std::int32_t ToneColor(std::int32_t pIndex) {
    // Source colour and target brightness of each tone.
    struct Tone {
        std::int32_t Source;
        double Target;
    };
    static constexpr std::array<Tone, 4> kTones = {Tone{0xFFFFFF, 255}, Tone{kColorButtonFace, 200},
                                                   Tone{kColorButtonShadow, 110}, Tone{kColorButtonFace, 60}};
    static std::array<std::int32_t, 4> s_Cache{};
    if (pIndex < 0 || pIndex >= static_cast<std::int32_t>(kTones.size())) return 0;
    std::int32_t& cached = s_Cache[static_cast<std::size_t>(pIndex)];
    if (cached != 0) return cached;
    const Tone& tone = kTones[static_cast<std::size_t>(pIndex)];
    const RgbParts c = SplitRGB(tone.Source);
    const double average = std::nearbyint((c.R + c.G + c.B) / 3.0);
    const auto toned = [&](std::int32_t v) {
        if (average <= 0) return 0;
        return static_cast<std::int32_t>(std::nearbyint(tone.Target / average * v));
    };
    std::int32_t result = MakeRGB(toned(c.R), toned(c.G), toned(c.B));
    if (result == 0) result = 1;
    cached = result;
    return cached;
}

}  // namespace sonivate
