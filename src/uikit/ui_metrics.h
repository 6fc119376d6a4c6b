#pragma once
// The layout unit. Sizes and positions of the window and its controls are
// kept in twips (1/1440 inch); one pixel is TwipsPerPixel() twips. Pixels
// here are Qt's logical pixels: Qt's high-DPI scaling stays on, so a 2x
// screen keeps 15 twips per pixel and draws sharper, not smaller.

#include <cstdint>

namespace sonivate {

// Twips per logical pixel at the 96-dpi reference.
inline constexpr std::int32_t kReferenceTwipsPerPixel = 15;
inline constexpr std::int32_t kTwipsPerInch = 1440;

// Process-wide; set once by the window at start-up before any control is
// laid out (15 until then).
std::int32_t TwipsPerPixel();
void SetTwipsPerPixel(std::int32_t pValue);

// Twips per pixel of the primary screen's logical DPI, rounded; 15 when no
// screen is known.
std::int32_t ScreenTwipsPerPixel();

// A design length pTwips at the layout scale pRate (SizeRate), to the
// nearest twip (halves to even).
std::int32_t ScaledTwips(std::int32_t pTwips, float pRate);

// Whole pixels of a twips length or position, rounded down (also below
// zero: a column scrolled left of the view starts left of its edge), as
// the layout snaps. The one conversion for the window, the controls and
// the drawing routines.
inline std::int32_t TwipsToPixels(std::int64_t pTwips) {
    const std::int64_t perPixel = TwipsPerPixel();
    return static_cast<std::int32_t>(pTwips >= 0 ? pTwips / perPixel : -((-pTwips + perPixel - 1) / perPixel));
}
inline std::int32_t PixelsToTwips(std::int32_t pPixels) { return pPixels * TwipsPerPixel(); }

}  // namespace sonivate
