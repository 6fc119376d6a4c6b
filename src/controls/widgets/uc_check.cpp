#include "controls/widgets/uc_check.h"

#include <array>
#include <cmath>

#include <QEvent>
#include <QMouseEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPen>
#include <QPolygonF>

#include "uikit/colors.h"
#include "uikit/drawing.h"
#include "uikit/fonts.h"
#include "uikit/ui_metrics.h"

namespace sonivate {
namespace {

// Gap between the box and the caption, in pixels.
constexpr std::int32_t kCaptionGapPixels = 4;
constexpr std::int32_t kBoxGradientStyle = 5;
// The text whose height centres the caption.
constexpr const char* kCaptionProbe = "漢";
// The option dot: centre and radius in twips from the box's top-left, not
// scaled by SizeRate.
constexpr double kDotCentreTwips = 105.0;
constexpr double kDotRadiusTwips = 60.0;

// The tick's closed outline, in twips from the box's top-left at SizeRate 1.
struct TwipsPoint {
    std::int32_t X;
    std::int32_t Y;
};
constexpr std::array<TwipsPoint, 4> kTickTwips = {TwipsPoint{45, 105}, TwipsPoint{105, 165}, TwipsPoint{180, 45},
                                                  TwipsPoint{90, 135}};

std::int32_t RoundToInt(double pValue) { return static_cast<std::int32_t>(std::lrint(pValue)); }

}  // namespace

UC_Check::UC_Check(QWidget* pParent) : QWidget(pParent) {
    c_Picture.SetBackColor(kColorButtonFace);
    // Reached with Tab; a click leaves the keyboard where it was.
    setFocusPolicy(Qt::TabFocus);
}

bool UC_Check::Enabled() const { return !testAttribute(Qt::WA_ForceDisabled); }

void UC_Check::SetEnabled(bool pValue) {
    // changeEvent redraws when the effective state changes.
    setEnabled(pValue);
}

void UC_Check::changeEvent(QEvent* pEvent) {
    QWidget::changeEvent(pEvent);
    if (pEvent->type() == QEvent::EnabledChange && c_LaidOut) Draw();
}

void UC_Check::SetCaption(const std::string& pText) {
    c_Caption = pText;
    Layout();
    Draw();
}

void UC_Check::SetValue(std::int32_t pValue) {
    if (pValue == c_Value && c_LaidOut) return;
    c_Value = pValue;
    Draw();
}

void UC_Check::SetIsOption(bool pValue) {
    if (pValue == c_IsOption) return;
    c_IsOption = pValue;
    if (c_LaidOut) Draw();
}

void UC_Check::SetGradhdc(BoxImage pImage) {
    if (!pImage) return;
    c_Box = std::move(pImage);
    c_Borrowed = c_Box != c_OwnBox;
}

void UC_Check::SetBGPic(std::int32_t pX, std::int32_t pY, const Picture& pSource) {
    c_Background = pSource;
    c_BackgroundX = pX;
    c_BackgroundY = pY;
    c_HasBackground = !pSource.IsNull();
    if (c_LaidOut) Draw();
}

void UC_Check::CloseBGObj() {
    c_Background = Picture();
    c_HasBackground = false;
}

// --- Layout ----------------------------------------------------------------

void UC_Check::Layout() {
    const qreal ratio = devicePixelRatioF();
    const std::int32_t tpp = TwipsPerPixel();
    const std::int32_t fontIndex = ApplyFont(this, kFontByArguments, nullptr, c_FontSize, false, false, UIFontName());
    if (const FontEntry* entry = FontAt(fontIndex)) c_Picture.SetFont(entry->Font);
    c_Picture.SetBackColor(kColorButtonFace);

    c_BoxTwips = ScaledTwips(kBoxTwips, c_SizeRate);
    const std::int32_t box = c_BoxTwips / tpp;
    if (!c_Borrowed) {
        auto image = std::make_shared<Picture>(box, box, ratio);
        GradientPaint(*image, kBoxGradientStyle, kColorButtonShadow, kColorButtonFace, kColorButtonHighlight);
        image->FillRect(0, 0, box, 1, kColorButtonShadow);
        image->FillRect(0, 0, 1, box, kColorButtonShadow);
        image->FillRect(box - 1, 0, 1, box, kColorButtonHighlight);
        image->FillRect(0, box - 1, box, 1, kColorButtonHighlight);
        c_OwnBox = image;
        c_Box = c_OwnBox;
    }

    const std::int32_t widthTwips =
        c_Caption.empty() ? c_BoxTwips : c_BoxTwips + kCaptionGapPixels * tpp + c_Picture.TextWidth(c_Caption) * tpp;
    const std::int32_t heightTwips = std::max(height() * tpp, c_BoxTwips);
    c_BoxTop = (heightTwips - c_BoxTwips) / (2 * tpp);
    c_CaptionTop = RoundToInt((heightTwips - c_Picture.TextHeight(kCaptionProbe) * tpp) / 2.0);

    c_InLayout = true;
    resize(widthTwips / tpp, heightTwips / tpp);
    c_InLayout = false;
    c_Picture.Resize(widthTwips / tpp, heightTwips / tpp, ratio);
    c_LaidOut = true;
}

void UC_Check::resizeEvent(QResizeEvent* /*pEvent*/) {
    // A new height moves the box and the caption; the width is the control's own.
    if (c_InLayout || !c_LaidOut || size() == QSize(c_Picture.Width(), c_Picture.Height())) return;
    Layout();
    Draw();
}

// --- Drawing ---------------------------------------------------------------

void UC_Check::Draw() {
    if (!c_LaidOut) Layout();
    const std::int32_t tpp = TwipsPerPixel();
    const std::int32_t box = c_BoxTwips / tpp;
    c_Picture.SetForeColor(isEnabled() ? kColorButtonText : kColorButtonShadow);
    if (c_HasBackground) {
        c_Picture.BitBlt(0, 0, c_Picture.Width(), c_Picture.Height(), c_Background, c_BackgroundX / tpp,
                         c_BackgroundY / tpp);
    } else {
        c_Picture.Cls();
    }
    c_Picture.Print(box + kCaptionGapPixels, c_CaptionTop / tpp, c_Caption);
    if (c_Box) c_Picture.BitBlt(0, c_BoxTop, box, box, *c_Box, 0, 0);
    if (c_Value == 1) {
        if (c_IsOption) {
            DrawOptionDot();
        } else {
            DrawTick();
        }
    }
    update();
}

void UC_Check::DrawTick() {
    const auto toPixels = [this](std::int32_t pTwips) { return TwipsToPixels(ScaledTwips(pTwips, c_SizeRate)); };
    std::array<QPoint, kTickTwips.size()> points;
    for (std::size_t i = 0; i < kTickTwips.size(); ++i) {
        points[i] = QPoint(toPixels(kTickTwips[i].X), c_BoxTop + toPixels(kTickTwips[i].Y));
    }
    const std::int32_t color = c_Picture.ForeColor();
    QImage& image = c_Picture.Image();
    if (image.devicePixelRatio() == 1.0) {
        for (std::size_t i = 0; i < points.size(); ++i) {
            const QPoint& a = points[i];
            const QPoint& b = points[(i + 1) % points.size()];
            c_Picture.Line(a.x(), a.y(), b.x(), b.y(), color);
        }
        return;
    }
    // On a high-density screen: a line one logical pixel wide through the
    // same pixel centres.
    QPolygonF outline;
    for (const QPoint& p : points) outline << QPointF(p.x() + 0.5, p.y() + 0.5);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(ToQColor(color), 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPolygon(outline);
}

void UC_Check::DrawOptionDot() {
    const double tpp = TwipsPerPixel();
    const QPointF centre(kDotCentreTwips / tpp + 0.5, c_BoxTop + kDotCentreTwips / tpp + 0.5);
    const double radius = kDotRadiusTwips / tpp;
    QPainter painter(&c_Picture.Image());
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(ToQColor(c_Picture.ForeColor()));
    painter.drawEllipse(centre, radius, radius);
}

void UC_Check::paintEvent(QPaintEvent* /*pEvent*/) {
    if (c_Picture.IsNull()) return;
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), c_Picture.Image());
    if (hasFocus()) {
        QPen pen(palette().color(QPalette::WindowText));
        pen.setStyle(Qt::DotLine);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void UC_Check::focusInEvent(QFocusEvent* pEvent) {
    QWidget::focusInEvent(pEvent);
    update();
}

void UC_Check::focusOutEvent(QFocusEvent* pEvent) {
    QWidget::focusOutEvent(pEvent);
    update();
}

void UC_Check::keyPressEvent(QKeyEvent* pEvent) {
    if (pEvent->key() == Qt::Key_Space && pEvent->modifiers() == Qt::NoModifier) {
        if (isEnabled()) Toggle();
        pEvent->accept();
        return;
    }
    QWidget::keyPressEvent(pEvent);
}

// --- Input -----------------------------------------------------------------

void UC_Check::mouseReleaseEvent(QMouseEvent* /*pEvent*/) {
    if (!isEnabled()) return;
    Toggle();
}

void UC_Check::Toggle() {
    if (c_IsOption) {
        if (c_Value == 0) c_Value = 1;
    } else {
        c_Value = c_Value == 1 ? 0 : 1;
    }
    Draw();
    emit Click();
}

// --- Set-up ----------------------------------------------------------------

void SetupCheck(UC_Check& pCheck, const std::string& pCaption, std::int32_t pValue, const Picture* pBackground,
                float pFontSize, UC_Check::BoxImage pGradhdc, float pSizeRate) {
    if (pGradhdc) pCheck.SetGradhdc(std::move(pGradhdc));
    if (pBackground != nullptr) {
        pCheck.SetBGPic(PixelsToTwips(pCheck.x()), PixelsToTwips(pCheck.y()), *pBackground);
    }
    pCheck.SetFontSize(pFontSize);
    pCheck.SetSizeRate(pSizeRate);
    pCheck.SetCaption(pCaption);
    pCheck.SetValue(pValue);
}

}  // namespace sonivate
