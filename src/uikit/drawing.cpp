#include "uikit/drawing.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

#include "common/error_trap.h"
#include "common/numeric.h"
#include "uikit/colors.h"
#include "uikit/ui_metrics.h"

namespace sonivate {
namespace {

// GradientPaint's style range and the styles drawn with plain lines.
constexpr std::int32_t kStyleBackOnly = -2;
constexpr std::int32_t kStyleOutlineOnly = -1;
constexpr std::int32_t kStyleLines20 = 0;
constexpr std::int32_t kStyleLines8 = 10;
constexpr std::int32_t kStyleLast = 15;
constexpr std::int32_t kLines20 = 20;
constexpr std::int32_t kLines8 = 8;
// How far the line styles run past the right edge (pixels).
constexpr std::int32_t kLineOverrun = 20;

// Offsets of the labels from their control (twips, not scaled).
constexpr std::int32_t kLabelGapLeft = 90;
constexpr std::int32_t kLabelGapSide = 30;
constexpr std::int32_t kLabelDropTop = 60;
// Group frame caption indent (twips).
constexpr std::int32_t kFrameCaptionIndent = 300;
// Colour set image: the lighter and the darker outline step per component.
constexpr std::int32_t kColourSetLighten = 40;
constexpr std::int32_t kColourSetDarken = -40;
constexpr float kAddDeltas = -1.0f;

using Rgb = std::array<std::int32_t, 3>;

Rgb Parts(std::int32_t pColor) {
    const RgbParts p = SplitRGB(pColor);
    return {p.R, p.G, p.B};
}

std::int32_t ToColor(const Rgb& pRgb) { return MakeRGB(pRgb[0], pRgb[1], pRgb[2]); }

Rgb Mix(const Rgb& pA, double pWeightA, const Rgb& pB, double pWeightB) {
    Rgb out{};
    for (std::size_t k = 0; k < 3; ++k) out[k] = RoundHalfEven(pWeightA * pA[k] + pWeightB * pB[k]);
    return out;
}

// The nine colour stops s0..s8 of the painter.
struct Stops {
    std::array<Rgb, 9> S{};
    QColor Q(std::size_t pIndex) const { return ToQColor(ToColor(S[pIndex])); }
};

Stops BuildStops(std::int32_t pColor1, std::int32_t pColor2, std::int32_t pColor3) {
    Stops st;
    st.S[0] = Parts(pColor1);
    st.S[3] = Parts(pColor2);
    st.S[6] = Parts(pColor3);
    constexpr double kMajor = 0.66;
    constexpr double kMinor = 0.33;
    st.S[1] = Mix(st.S[0], kMajor, st.S[3], kMinor);
    st.S[2] = Mix(st.S[0], kMinor, st.S[3], kMajor);
    st.S[4] = Mix(st.S[3], kMajor, st.S[6], kMinor);
    st.S[5] = Mix(st.S[3], kMinor, st.S[6], kMajor);
    st.S[7] = Mix(st.S[6], kMajor, Rgb{}, 0);
    st.S[8] = Mix(st.S[6], kMinor, Rgb{}, 0);
    return st;
}

// Colour i of n between two stops, per component rounded.
std::int32_t Step(const Rgb& pFrom, const Rgb& pTo, std::int32_t pI, std::int32_t pN) {
    Rgb out{};
    for (std::size_t k = 0; k < 3; ++k)
        out[k] = RoundHalfEven(pFrom[k] + static_cast<double>(pTo[k] - pFrom[k]) * pI / pN);
    return ToColor(out);
}

void Outline(Picture& pSurface, const Stops& pStops) {
    const std::int32_t w = pSurface.Width(), h = pSurface.Height();
    const std::int32_t light = ToColor(pStops.S[0]), dark = ToColor(pStops.S[8]);
    pSurface.FillRect(0, 0, w, 1, light);
    pSurface.FillRect(0, 0, 1, h, light);
    pSurface.FillRect(0, h - 1, w, 1, dark);
    pSurface.FillRect(w - 1, 0, 1, h, dark);
}

void PaintLines(Picture& pSurface, const Stops& pStops, std::int32_t pCount) {
    const std::int32_t w = pSurface.Width() + kLineOverrun, h = pSurface.Height();
    for (std::int32_t i = 0; i <= pCount; ++i) pSurface.FillRect(0, i, w, 1, Step(pStops.S[0], pStops.S[3], i, pCount));
    for (std::int32_t i = 0; i <= pCount; ++i)
        pSurface.FillRect(0, h - 1 - pCount + i, w, 1, Step(pStops.S[3], pStops.S[6], i, pCount));
}

// One stop of a smooth blend: position 0..1 and stop index.
struct BlendStop {
    double At;
    std::size_t Stop;
};

template <class Gradient>
void AddStops(Gradient& pGradient, const Stops& pStops, std::initializer_list<BlendStop> pBlend) {
    for (const BlendStop& b : pBlend) pGradient.setColorAt(b.At, pStops.Q(b.Stop));
}

enum class Direction { Down, Across, Diagonal, AntiDiagonal };

void Linear(Picture& pSurface, Direction pDirection, const Stops& pStops, std::initializer_list<BlendStop> pBlend) {
    const qreal w = pSurface.Width(), h = pSurface.Height();
    QLinearGradient gradient;
    switch (pDirection) {
        case Direction::Down:
            gradient = QLinearGradient(0, 0, 0, h);
            break;
        case Direction::Across:
            gradient = QLinearGradient(0, 0, w, 0);
            break;
        case Direction::Diagonal:
            gradient = QLinearGradient(0, 0, w, h);
            break;
        case Direction::AntiDiagonal:
            gradient = QLinearGradient(w, 0, 0, h);
            break;
    }
    AddStops(gradient, pStops, pBlend);
    QPainter painter(&pSurface.Image());
    painter.fillRect(QRectF(0, 0, w, h), gradient);
}

void Radial(Picture& pSurface, const Stops& pStops, std::initializer_list<BlendStop> pBlend) {
    const qreal w = pSurface.Width(), h = pSurface.Height();
    QRadialGradient gradient(QPointF(w / 2, h / 2), std::hypot(w, h) / 2);
    AddStops(gradient, pStops, pBlend);
    QPainter painter(&pSurface.Image());
    painter.fillRect(QRectF(0, 0, w, h), gradient);
}

// The smooth styles: direction, the stops they pass through and whether they
// end with the outline.
void PaintBlend(Picture& pSurface, std::int32_t pStyle, const Stops& st) {
    bool outline = true;
    switch (pStyle) {
        case 1:
            Linear(pSurface, Direction::Down, st, {{0, 0}, {0.5, 3}, {1, 6}});
            break;
        case 2:  // bar backgrounds, colour-set images: colour 1 down to colour 2
            Linear(pSurface, Direction::Down, st, {{0, 0}, {1.0 / 3, 1}, {2.0 / 3, 2}, {1, 3}});
            outline = false;
            break;
        case 3:
            Linear(pSurface, Direction::Across, st, {{0, 0}, {1, 3}});
            outline = false;
            break;
        case 4:
            Linear(pSurface, Direction::Across, st, {{0, 0}, {0.5, 3}, {1, 6}});
            break;
        case 5:  // bar fills, check boxes, list header: a rounded cylinder
            Linear(pSurface, Direction::Down, st, {{0, 0}, {0.25, 2}, {0.5, 3}, {0.75, 5}, {1, 6}});
            outline = false;
            break;
        case 6:  // the same across, for upright thumbs
            Linear(pSurface, Direction::Across, st, {{0, 0}, {0.25, 2}, {0.5, 3}, {0.75, 5}, {1, 6}});
            outline = false;
            break;
        case 7:  // button face, design 0: a glossy upper half over a deeper lower half
            Linear(pSurface, Direction::Down, st, {{0, 0}, {0.45, 2}, {0.46, 3}, {1, 6}});
            break;
        case 8:
            Linear(pSurface, Direction::Diagonal, st, {{0, 0}, {0.5, 3}, {1, 6}});
            break;
        case 9:
            Radial(pSurface, st, {{0, 0}, {0.5, 3}, {1, 6}});
            break;
        case 11:
            Linear(pSurface, Direction::AntiDiagonal, st, {{0, 0}, {0.5, 3}, {1, 6}});
            break;
        case 12:  // button face, design 1: soft and light
            Linear(pSurface, Direction::Down, st, {{0, 1}, {0.4, 3}, {1, 4}});
            break;
        case 13:  // button face, design 2: a bright band near the top
            Linear(pSurface, Direction::Down, st, {{0, 3}, {0.3, 0}, {0.65, 3}, {1, 5}});
            break;
        case 14:  // button face, design 3, and the window background
            Linear(pSurface, Direction::Down, st, {{0, 0}, {1, 3}});
            break;
        case 15:
            Radial(pSurface, st, {{0, 6}, {0.6, 3}, {0.8, 0}, {1, 3}});
            break;
        default:
            outline = false;
            break;
    }
    if (outline) Outline(pSurface, st);
}

// A one-pixel frame: top and left in pTopLeft, bottom and right in pBottomRight.
void Frame(Picture& pSurface, std::int32_t pLeft, std::int32_t pTop, std::int32_t pRight, std::int32_t pBottom,
           std::int32_t pTopLeft, std::int32_t pBottomRight) {
    if (pRight < pLeft || pBottom < pTop) return;
    pSurface.FillRect(pLeft, pTop, pRight - pLeft + 1, 1, pTopLeft);
    pSurface.FillRect(pLeft, pTop, 1, pBottom - pTop + 1, pTopLeft);
    pSurface.FillRect(pLeft, pBottom, pRight - pLeft + 1, 1, pBottomRight);
    pSurface.FillRect(pRight, pTop, 1, pBottom - pTop + 1, pBottomRight);
}

}  // namespace

void DrawCellEdge(Picture& pSurface, std::int32_t pX, std::int32_t pY, std::int32_t pWidth, std::int32_t pHeight,
                  bool pSunken) {
    Trap([&] {
        const std::int32_t x = TwipsToPixels(pX), y = TwipsToPixels(pY), w = TwipsToPixels(pWidth),
                           h = TwipsToPixels(pHeight);
        if (w <= 0 || h <= 0) return;
        const std::int32_t light = pSunken ? kColorButtonShadow : kColorButtonHighlight;
        const std::int32_t dark = pSunken ? kColorButtonHighlight : kColorButtonShadow;
        Frame(pSurface, x, y, x + w - 1, y + h - 1, light, dark);
    });
}

void DrawBumpEdge(Picture& pSurface, std::int32_t pLeft, std::int32_t pTop, std::int32_t pRight, std::int32_t pBottom) {
    Trap([&] {
        // A raised outer line around a sunken inner one: a ridge.
        Frame(pSurface, pLeft, pTop, pRight - 1, pBottom - 1, kColorButtonHighlight, kColorButtonShadow);
        Frame(pSurface, pLeft + 1, pTop + 1, pRight - 2, pBottom - 2, kColorButtonShadow, kColorButtonHighlight);
    });
}

void DrawGroupFrame(Picture& pSurface, std::int32_t pLeft, std::int32_t pTop, std::int32_t pRight, std::int32_t pBottom,
                    std::string_view pCaption) {
    Trap([&] {
        const std::int32_t l = TwipsToPixels(pLeft), t = TwipsToPixels(pTop), r = TwipsToPixels(pRight),
                           b = TwipsToPixels(pBottom);
        if (pCaption.empty()) {
            DrawBumpEdge(pSurface, l, t, r, b);
            return;
        }
        const std::int32_t captionX = TwipsToPixels(pLeft + kFrameCaptionIndent);
        const std::int32_t captionW = pSurface.TextWidth(pCaption);
        pSurface.Print(captionX, t - pSurface.TextHeight(pCaption) / 2, pCaption);
        // Dark line, then the same outline one pixel up and left in white: engraved.
        const auto outline = [&](std::int32_t d, std::int32_t colour) {
            pSurface.Line(l - d, t - d, captionX - d, t - d, colour);
            pSurface.Line(captionX + captionW - d, t - d, r - d, t - d, colour);
            pSurface.Line(r - d, t - d, r - d, b - d, colour);
            pSurface.Line(r - d, b - d, l - d, b - d, colour);
            pSurface.Line(l - d, b - d, l - d, t - d, colour);
        };
        outline(0, ToneColor(3));
        outline(1, ToneColor(0));
    });
}

void PrintLabelAt(Picture& pSurface, const TwipsRect& pReference, std::string_view pText, std::int32_t pPosition,
                  std::int32_t pDX, std::int32_t pDY) {
    Trap([&] {
        const std::int32_t L = pReference.Left, T = pReference.Top, W = pReference.Width, H = pReference.Height;
        const std::int32_t w = PixelsToTwips(pSurface.TextWidth(pText));
        const std::int32_t h = PixelsToTwips(pSurface.TextHeight(pText));
        std::int32_t x = 0, y = 0;
        switch (pPosition) {
            case 0:
                x = L - w - kLabelGapLeft;
                y = T + kLabelDropTop;
                break;
            case 1:
                x = L + kLabelGapSide;
                y = T - h - kLabelGapSide;
                break;
            case 2:
                x = L + W + kLabelGapSide;
                y = T + kLabelDropTop;
                break;
            case 3:
                x = L + W / 2 - w / 2;
                y = T - h - kLabelGapSide;
                break;
            case 4:
                x = L + kLabelGapSide;
                y = T + H + kLabelGapSide;
                break;
            case 5:
                x = L + W - w;
                y = T + H + kLabelGapSide;
                break;
            case 6:
                x = L - w - kLabelGapLeft;
                y = T + (H - h) / 2;
                break;
            case 7:
                x = L + W + kLabelGapSide;
                y = T + (H - h) / 2;
                break;
            default:
                return;
        }
        pSurface.Print(TwipsToPixels(x + pDX), TwipsToPixels(y + pDY), pText);
    });
}

void GradientPaint(Picture& pSurface, std::int32_t pStyle, std::int32_t pColor1, std::int32_t pColor2,
                   std::int32_t pColor3, std::int32_t /*pP1*/, std::int32_t /*pP2*/, std::int32_t /*pP3*/) {
    Trap([&] {
        if (pStyle < kStyleBackOnly || pStyle > kStyleLast || pSurface.IsNull()) return;
        const Stops st = BuildStops(pColor1 == kGradientDefaultColor ? ToneColor(0) : pColor1,
                                    pColor2 == kGradientDefaultColor ? ToneColor(1) : pColor2,
                                    pColor3 == kGradientDefaultColor ? ToneColor(2) : pColor3);
        switch (pStyle) {
            case kStyleBackOnly:
                // As a picture box does when its back colour is set: it is cleared with it.
                pSurface.SetBackColor(ToColor(st.S[3]));
                pSurface.Cls();
                return;
            case kStyleOutlineOnly:
                Outline(pSurface, st);
                return;
            case kStyleLines20:
                PaintLines(pSurface, st, kLines20);
                Outline(pSurface, st);
                return;
            case kStyleLines8:
                PaintLines(pSurface, st, kLines8);
                Outline(pSurface, st);
                return;
            default:
                PaintBlend(pSurface, pStyle, st);
                return;
        }
    });
}

void PaintColourSetImage(Picture& pSurface, std::int32_t pColor1, std::int32_t pColor2, bool pKeepBackground,
                         std::int32_t pCount) {
    Trap([&] {
        if (!pKeepBackground) GradientPaint(pSurface, 2, pColor1, pColor2);
        const std::int32_t light =
            AdjustColor(pColor2, kColourSetLighten, kColourSetLighten, kColourSetLighten, kAddDeltas);
        const std::int32_t dark =
            AdjustColor(pColor1, kColourSetDarken, kColourSetDarken, kColourSetDarken, kAddDeltas);
        const std::int32_t w = pSurface.Width(), h = pSurface.Height();
        for (std::int32_t k = 0; k < pCount; ++k) Frame(pSurface, k, k, w - 1 - k, h - 1 - k, light, dark);
    });
}

bool ColorScheme(std::int32_t pScheme, std::int32_t pFore, std::int32_t pBack, std::int32_t& pOutFore,
                 std::int32_t& pOutBack) {
    struct Scheme {
        std::int32_t Back;
        std::int32_t Fore;
    };
    static constexpr std::array<Scheme, 7> kSchemes = {Scheme{0x000000, kColorButtonFace}, Scheme{0xD5FFF1, 0x407060},
                                                       Scheme{0xA6CAC5, 0x406057},         Scheme{0x0000FF, 0xFFFFFF},
                                                       Scheme{0xB0B0D0, 0x101060},         Scheme{0x707090, 0x202060},
                                                       Scheme{0x303030, 0xD0D0D0}};
    if (pScheme == -1) {
        pOutFore = pFore;
        pOutBack = pBack;
        return true;
    }
    if (pScheme < 0 || pScheme >= static_cast<std::int32_t>(kSchemes.size())) return false;
    pOutBack = kSchemes[static_cast<std::size_t>(pScheme)].Back;
    pOutFore = kSchemes[static_cast<std::size_t>(pScheme)].Fore;
    return true;
}

}  // namespace sonivate
