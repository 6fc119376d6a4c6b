#pragma once
// Colour values as the whole system keeps them: 32-bit 0x00BBGGRR, or
// SystemColor(n) (0x80000000 + n) for system colour n, which only the drawing
// layer resolves to an actual colour.

#include <cstdint>
#include <limits>

namespace sonivate {

constexpr std::int32_t SystemColor(std::int32_t pIndex) { return std::numeric_limits<std::int32_t>::min() + pIndex; }
constexpr bool IsSystemColor(std::int32_t pColor) { return pColor < 0; }
constexpr std::int32_t SystemColorIndex(std::int32_t pColor) {
    return pColor - std::numeric_limits<std::int32_t>::min();
}

// The system colours the controls use.
inline constexpr std::int32_t kColorWindow = SystemColor(5);
inline constexpr std::int32_t kColorWindowText = SystemColor(8);
inline constexpr std::int32_t kColorButtonFace = SystemColor(15);
inline constexpr std::int32_t kColorButtonShadow = SystemColor(16);
inline constexpr std::int32_t kColorGrayText = SystemColor(17);
inline constexpr std::int32_t kColorButtonText = SystemColor(18);
inline constexpr std::int32_t kColorButtonHighlight = SystemColor(20);
inline constexpr std::int32_t kColorButtonDarkShadow = SystemColor(21);
inline constexpr std::int32_t kColorButtonLight = SystemColor(22);

}  // namespace sonivate
