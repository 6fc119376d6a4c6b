// Provisional bodies so the controls build; the exact painter replaces them.
#include "gui/support/drawing.h"

#include "gui/support/colors.h"
#include "gui/support/ui_metrics.h"

namespace sonivate {

void DrawCellEdge(Picture& pSurface, std::int32_t pX, std::int32_t pY, std::int32_t pWidth, std::int32_t pHeight,
                  bool pSunken) {
    const std::int32_t x = pX / TwipsPerPixel(), y = pY / TwipsPerPixel();
    const std::int32_t w = pWidth / TwipsPerPixel(), h = pHeight / TwipsPerPixel();
    const std::int32_t light = pSunken ? kColorButtonShadow : kColorButtonHighlight;
    const std::int32_t dark = pSunken ? kColorButtonHighlight : kColorButtonShadow;
    pSurface.Line(x, y, x + w - 1, y, light);
    pSurface.Line(x, y, x, y + h - 1, light);
    pSurface.Line(x, y + h - 1, x + w - 1, y + h - 1, dark);
    pSurface.Line(x + w - 1, y, x + w - 1, y + h - 1, dark);
}

void DrawBumpEdge(Picture& pSurface, std::int32_t pLeft, std::int32_t pTop, std::int32_t pRight, std::int32_t pBottom) {
    pSurface.Line(pLeft, pTop, pRight, pTop, kColorButtonHighlight);
    pSurface.Line(pLeft, pBottom, pRight, pBottom, kColorButtonShadow);
}

void DrawGroupFrame(Picture& pSurface, std::int32_t pLeft, std::int32_t pTop, std::int32_t pRight, std::int32_t pBottom,
                    std::string_view /*pCaption*/) {
    DrawBumpEdge(pSurface, pLeft, pTop, pRight, pBottom);
}

void PrintLabelAt(Picture& pSurface, const TwipsRect& pReference, std::string_view pText, std::int32_t /*pPosition*/,
                  std::int32_t pDX, std::int32_t pDY) {
    pSurface.Print((pReference.Left + pDX) / TwipsPerPixel(), (pReference.Top + pDY) / TwipsPerPixel(), pText);
}

void GradientPaint(Picture& pSurface, std::int32_t /*pStyle*/, std::int32_t /*pColor1*/, std::int32_t pColor2,
                   std::int32_t /*pColor3*/, std::int32_t, std::int32_t, std::int32_t) {
    pSurface.SetBackColor(pColor2 == kGradientDefaultColor ? ToneColor(1) : pColor2);
    pSurface.Cls();
}

void PaintColourSetImage(Picture& pSurface, std::int32_t /*pColor1*/, std::int32_t pColor2, bool pKeepBackground,
                         std::int32_t /*pCount*/) {
    if (!pKeepBackground) {
        pSurface.SetBackColor(pColor2);
        pSurface.Cls();
    }
}

bool ColorScheme(std::int32_t pScheme, std::int32_t pFore, std::int32_t pBack, std::int32_t& pOutFore,
                 std::int32_t& pOutBack) {
    if (pScheme != -1) return false;
    pOutFore = pFore;
    pOutBack = pBack;
    return true;
}

}  // namespace sonivate
