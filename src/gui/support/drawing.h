#pragma once
// The small drawing routines every owner-drawn control shares. Positions are
// in twips unless a name says pixels; they are converted with integer division
// by TwipsPerPixel().

#include <cstdint>
#include <string_view>

#include "gui/support/picture.h"

namespace sonivate {

// Means "the default" for GradientPaint's colour and parameter arguments.
inline constexpr std::int32_t kGradientDefaultColor = -1;
inline constexpr std::int32_t kGradientDefaultParam = -99999;

// A soft three-dimensional edge on all four sides of the rectangle; sunken
// when pSunken, raised otherwise.
void DrawCellEdge(Picture& pSurface, std::int32_t pX, std::int32_t pY, std::int32_t pWidth, std::int32_t pHeight,
                  bool pSunken);
// The platform's bump edge (raised outer, sunken inner) around a rectangle in pixels.
void DrawBumpEdge(Picture& pSurface, std::int32_t pLeft, std::int32_t pTop, std::int32_t pRight, std::int32_t pBottom);
// A captioned group frame; without a caption a bump edge (pixels then).
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
// stops built from three colours.
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
