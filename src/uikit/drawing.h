#pragma once
// The small drawing routines every owner-drawn control shares. Positions are
// in twips unless a name says pixels; they are converted with integer division
// by TwipsPerPixel().

#include <cstdint>
#include <string_view>

#include "uikit/picture.h"

namespace sonivate {

// Means "the default" for GradientPaint's colour and parameter arguments.
inline constexpr std::int32_t kGradientDefaultColor = -1;
inline constexpr std::int32_t kGradientDefaultParam = -99999;

// A soft three-dimensional edge on all four sides of the rectangle; sunken
// when pSunken, raised otherwise.
void DrawCellEdge(Picture& pSurface, std::int32_t pX, std::int32_t pY, std::int32_t pWidth, std::int32_t pHeight,
                  bool pSunken);
// A bump edge (raised outer line, sunken inner line) inside the rectangle
// [pLeft, pRight) x [pTop, pBottom) in pixels.
void DrawBumpEdge(Picture& pSurface, std::int32_t pLeft, std::int32_t pTop, std::int32_t pRight, std::int32_t pBottom);
// A group frame (twips). With a caption: the caption 300 twips in from the
// left on the top edge and an engraved line around with a gap for it;
// without: a bump edge around the rectangle.
void DrawGroupFrame(Picture& pSurface, std::int32_t pLeft, std::int32_t pTop, std::int32_t pRight, std::int32_t pBottom,
                    std::string_view pCaption);

// Geometry of a reference control in twips, for PrintLabelAt.
struct TwipsRect {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Width = 0;
    std::int32_t Height = 0;
};
// Prints pText beside pReference at position 0..7 (left, above, right, ...).
void PrintLabelAt(Picture& pSurface, const TwipsRect& pReference, std::string_view pText, std::int32_t pPosition,
                  std::int32_t pDX, std::int32_t pDY);

// Paints a gradient of pStyle (-2..15) over the whole surface through the
// nine stops built from three colours (kGradientDefaultColor: tone colours
// 0, 1, 2). -2 only sets (and clears with) the back colour colour 2; -1 draws
// the outline (top and left in colour 1, bottom and right in 0.33 x colour 3);
// 0 and 10 draw 21 or 9 blended lines at the top (colour 1 to 2) and at the
// bottom (colour 2 to 3), leave the band between and end with the outline.
// Smooth blends: 1 down, 2 down colour 1 to 2 (bar backgrounds), 3 across
// colour 1 to 2, 4 across, 5 down and 6 across as a cylinder (bar fills,
// check boxes, thumbs), 7, 12, 13, 14 button faces (14 also the window
// background), 8 and 11 diagonal, 9 radial, 15 a ring; 2, 3, 5 and 6 without
// the outline. Other styles paint nothing. The three parameters are unused.
void GradientPaint(Picture& pSurface, std::int32_t pStyle, std::int32_t pColor1 = kGradientDefaultColor,
                   std::int32_t pColor2 = kGradientDefaultColor, std::int32_t pColor3 = kGradientDefaultColor,
                   std::int32_t pP1 = kGradientDefaultParam, std::int32_t pP2 = kGradientDefaultParam,
                   std::int32_t pP3 = kGradientDefaultParam);

// The background image of a text picture's colour set.
void PaintColourSetImage(Picture& pSurface, std::int32_t pColor1, std::int32_t pColor2, bool pKeepBackground,
                         std::int32_t pCount);

// Back and fore colour of a fixed scheme (-1 = the given ones); false for an
// unknown scheme, which changes nothing.
bool ColorScheme(std::int32_t pScheme, std::int32_t pFore, std::int32_t pBack, std::int32_t& pOutFore,
                 std::int32_t& pOutBack);

}  // namespace sonivate
