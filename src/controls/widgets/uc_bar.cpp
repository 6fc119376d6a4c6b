#include "controls/widgets/uc_bar.h"

#include <algorithm>
#include <cmath>

#include <QMouseEvent>
#include <QPainter>

#include "uikit/colors.h"
#include "uikit/drawing.h"
#include "uikit/fonts.h"
#include "uikit/ui_metrics.h"

namespace sonivate {
namespace {

// The frame and the fill's margin inside the widget, in pixels.
constexpr std::int32_t kFrameMarginPixels = 2;
constexpr std::int32_t kInnerShrinkPixels = 4;
// The fill runs from its colour through this much lighter back to it, and
// ends in a column this much darker (per component, -1 = add the deltas).
constexpr std::int32_t kFillLighten = 90;
constexpr std::int32_t kFillEndDarken = -80;
constexpr std::int32_t kFillGradientStyle = 5;
// The background: from the button shadow lightened to it darkened.
constexpr std::int32_t kBackgroundLighten = 20;
constexpr std::int32_t kBackgroundDarken = -40;
constexpr std::int32_t kBackgroundGradientStyle = 2;
constexpr float kAddDeltas = -1.0f;

std::int32_t Shifted(std::int32_t pColor, std::int32_t pDelta) {
    return AdjustColor(pColor, pDelta, pDelta, pDelta, kAddDeltas);
}

}  // namespace

UC_Bar::UC_Bar(QWidget* pParent) : QWidget(pParent), c_TextColor(kColorButtonText) {
    c_Bar.SetBackColor(kColorButtonFace);
}

void UC_Bar::Init() {
    const qreal ratio = devicePixelRatioF();
    const std::int32_t tpp = TwipsPerPixel();
    c_InnerWidth = width() * tpp - kInnerShrinkPixels * tpp;
    c_Max = kDefaultMax;
    const std::int32_t color = c_BarColor == 0 ? kColorButtonShadow : c_BarColor;

    c_Fill.Resize(width() - kInnerShrinkPixels, height() - kInnerShrinkPixels, ratio);
    if (c_NoGrad) {
        c_Fill.SetBackColor(color);
        c_Fill.Cls();
    } else {
        GradientPaint(c_Fill, kFillGradientStyle, color, Shifted(color, kFillLighten), color);
        c_Fill.FillRect(c_Fill.Width() - 1, 0, 1, c_Fill.Height(), Shifted(color, kFillEndDarken));
    }

    c_Background.SetBackColor(kColorButtonFace);
    c_Background.Resize(width(), height(), ratio);
    GradientPaint(c_Background, kBackgroundGradientStyle, Shifted(kColorButtonShadow, kBackgroundLighten),
                  Shifted(kColorButtonShadow, kBackgroundDarken));
    DrawCellEdge(c_Background, 0, 0, width() * tpp, height() * tpp, true);

    c_Bar.Resize(width(), height(), ratio);
    c_Initialised = true;
    Draw(0);
}

void UC_Bar::SetStyle(float pSize, bool pBold, const std::string& pName, std::int32_t pForeColor) {
    const std::int32_t index = ApplyFont(this, kFontByArguments, nullptr, pSize, pBold, false, pName);
    if (const FontEntry* entry = FontAt(index)) c_Bar.SetFont(entry->Font);
    c_TextColor = pForeColor;
    if (c_Initialised) Draw(c_DrawnX);
}

void UC_Bar::Draw(std::int32_t pX) {
    if (!c_Initialised) return;
    const std::int32_t tpp = TwipsPerPixel();
    const std::int32_t fillWidth = c_Fill.Width();
    const std::int32_t x = std::max(std::min(pX, fillWidth * tpp + kFrameMarginPixels * tpp), kFrameMarginPixels * tpp);
    c_Bar.Cls();
    if (pX != 0) {
        c_Bar.BitBlt(0, 0, c_Bar.Width(), c_Bar.Height(), c_Background, 0, 0);
        // The visible part of a growing bar always ends with the image's right
        // end; at most the whole image.
        const std::int32_t columns = std::min(x / tpp - 1, fillWidth);
        c_Bar.BitBlt(1, 1, columns, c_Fill.Height(), c_Fill, fillWidth - columns, 0);
    }
    DrawCellEdge(c_Bar, 0, 0, width() * tpp, height() * tpp, true);
    if (!c_TextToDisp.empty()) {
        const double textX =
            std::max<double>(kFrameMarginPixels * tpp,
                             (c_InnerWidth - kFrameMarginPixels * tpp - c_Bar.TextWidth(c_TextToDisp) * tpp) / 2.0);
        const double textY = std::max<double>(
            kFrameMarginPixels * tpp, (height() * tpp - kFrameMarginPixels * tpp - c_Bar.TextHeight("I") * tpp) / 2.0);
        c_Bar.Print(static_cast<std::int32_t>(std::lrint(textX / tpp)),
                    static_cast<std::int32_t>(std::lrint(textY / tpp)), c_TextToDisp, c_TextColor);
    }
    c_DrawnX = pX;
    update();
}

void UC_Bar::SetValue(std::int32_t pValue) {
    if (c_Clicked == kHeld) return;
    const std::int32_t value = std::max(std::min(pValue, c_Max), 0);
    // value > 0 implies c_Max > 0.
    const std::int32_t x =
        value == 0 ? 0
                   : static_cast<std::int32_t>(std::lrint(static_cast<double>(c_InnerWidth) * value / c_Max +
                                                          kFrameMarginPixels * TwipsPerPixel()));
    c_Value = value;
    // The runs write the progress every few milliseconds: redraw only when
    // the picture changes.
    if (x != c_DrawnX) Draw(x);
}

void UC_Bar::SetTextToDisp(const std::string& pText) {
    if (pText == c_TextToDisp) return;
    c_TextToDisp = pText;
    if (c_Initialised) Draw(c_DrawnX);
}

void UC_Bar::paintEvent(QPaintEvent* /*pEvent*/) {
    if (c_Bar.IsNull()) return;
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), c_Bar.Image());
}

// --- Input -----------------------------------------------------------------

void UC_Bar::FollowPointer(std::int32_t pPixelX) {
    const std::int32_t tpp = TwipsPerPixel();
    const std::int32_t x = pPixelX * tpp;
    c_LastPointerX = pPixelX;
    Draw(x);
    if (c_InnerWidth <= 0) {
        c_Value = 0;
        return;
    }
    const auto value =
        static_cast<std::int32_t>(std::lrint(static_cast<double>(x - kFrameMarginPixels * tpp) / c_InnerWidth * c_Max));
    c_Value = std::max(std::min(value, c_Max), 0);
}

void UC_Bar::mousePressEvent(QMouseEvent* pEvent) {
    if (c_Locked || pEvent->button() != Qt::LeftButton) return;
    FollowPointer(static_cast<std::int32_t>(std::floor(pEvent->position().x())));
    c_Clicked = kHeld;
    bool down = true;
    emit MouseUD(down);
}

void UC_Bar::mouseMoveEvent(QMouseEvent* pEvent) {
    if (c_Locked || !(pEvent->buttons() & Qt::LeftButton)) return;
    const auto x = static_cast<std::int32_t>(std::floor(pEvent->position().x()));
    if (x == c_LastPointerX) return;
    FollowPointer(x);
    emit Scrolled();
}

void UC_Bar::mouseReleaseEvent(QMouseEvent* pEvent) {
    if (c_Locked) return;
    if (pEvent->button() == Qt::LeftButton) {
        FollowPointer(static_cast<std::int32_t>(std::floor(pEvent->position().x())));
        c_Clicked = 0;
        bool down = false;
        emit MouseUD(down);
    } else {
        bool down = false;
        emit RightClicked(down);
    }
}

}  // namespace sonivate
