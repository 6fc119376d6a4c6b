#include "controls/widgets/uc_slider.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QMouseEvent>
#include <QPainter>
#include <QPolygonF>
#include <QTransform>

#include "common/numeric.h"
#include "controls/widgets/input_codes.h"
#include "uikit/colors.h"
#include "uikit/drawing.h"
#include "uikit/ui_metrics.h"

namespace sonivate {
namespace {

// Gradient styles of the base and the thumb (see GradientPaint).
constexpr std::int32_t kBaseGradientStyle = 1;
constexpr std::int32_t kHorizontalThumbStyle = 5;
constexpr std::int32_t kVerticalThumbStyle = 6;
constexpr qreal kQuarterTurn = 90.0;
// Thumb colours: button shadow and face, brightened or dimmed.
constexpr float kThumbOuterFactor = 1.2f;
constexpr float kThumbMiddleFactor = 1.1f;
constexpr float kThumbInnerFactor = 0.9f;
// Arrow glyph half-height as a share of the button side, and its least size (pixels).
constexpr double kGlyphShare = 0.22;
constexpr double kMinGlyphHalf = 2.0;
// Size of a fresh slider before the owner lays it out (pixels).
constexpr int kHintLength = 160;
constexpr int kHintThickness = 18;

constexpr auto kLeftButton = static_cast<std::int16_t>(kButtonCodeLeft);

// A raised (or, pressed, flat-sunken) button face over a rectangle in pixels.
void DrawButtonFace(Picture& pPic, std::int32_t pX, std::int32_t pY, std::int32_t pW, std::int32_t pH, bool pPressed) {
    pPic.FillRect(pX, pY, pW, pH, kColorButtonFace);
    if (pW < 2 || pH < 2) return;
    const std::int32_t right = pX + pW - 1;
    const std::int32_t bottom = pY + pH - 1;
    if (pPressed) {
        pPic.FillRect(pX, pY, pW, 1, kColorButtonShadow);
        pPic.FillRect(pX, bottom, pW, 1, kColorButtonShadow);
        pPic.FillRect(pX, pY, 1, pH, kColorButtonShadow);
        pPic.FillRect(right, pY, 1, pH, kColorButtonShadow);
        return;
    }
    // Outer ring: light top-left, dark shadow bottom-right; inner ring: highlight and shadow.
    pPic.FillRect(pX, pY, pW - 1, 1, kColorButtonLight);
    pPic.FillRect(pX, pY, 1, pH - 1, kColorButtonLight);
    pPic.FillRect(pX, bottom, pW, 1, kColorButtonDarkShadow);
    pPic.FillRect(right, pY, 1, pH, kColorButtonDarkShadow);
    if (pW < 4 || pH < 4) return;
    pPic.FillRect(pX + 1, pY + 1, pW - 3, 1, kColorButtonHighlight);
    pPic.FillRect(pX + 1, pY + 1, 1, pH - 3, kColorButtonHighlight);
    pPic.FillRect(pX + 1, bottom - 1, pW - 2, 1, kColorButtonShadow);
    pPic.FillRect(right - 1, pY + 1, 1, pH - 2, kColorButtonShadow);
}

}  // namespace

UC_Slider::UC_Slider(QWidget* pParent) : QWidget(pParent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    c_Repeat.setSingleShot(false);
    connect(&c_Repeat, &QTimer::timeout, this, [this] {
        if (c_HeldArrow == kNoArrow) {
            c_Repeat.stop();
            return;
        }
        c_Repeat.setInterval(kRepeatIntervalMs);
        ArrowStep();
    });
}

UC_Slider::~UC_Slider() = default;

QSize UC_Slider::sizeHint() const {
    return c_IsVertical ? QSize(kHintThickness, kHintLength) : QSize(kHintLength, kHintThickness);
}

// ---- geometry -------------------------------------------------------------

std::int32_t UC_Slider::LengthPixels() const { return c_IsVertical ? height() : width(); }
std::int32_t UC_Slider::ThicknessPixels() const { return c_IsVertical ? width() : height(); }

std::int32_t UC_Slider::ArrowPixels() const {
    if (c_NoArrow) return 0;
    return std::max(0, std::min(ThicknessPixels(), LengthPixels() / 2));
}

std::int32_t UC_Slider::TrackStartPixels() const { return ArrowPixels(); }

std::int32_t UC_Slider::TrackLength() const {
    return std::max(0, LengthPixels() - 2 * ArrowPixels()) * TwipsPerPixel();
}

std::int32_t UC_Slider::TrackThickness() const { return ThicknessPixels() * TwipsPerPixel(); }

bool UC_Slider::ArrowPressed(int pIndex) const {
    return pIndex >= 0 && pIndex < static_cast<int>(c_ArrowDown.size()) &&
           c_ArrowDown[static_cast<std::size_t>(pIndex)];
}

std::int32_t UC_Slider::LimitPosition(std::int32_t pPos) const { return std::clamp(pPos, 0, std::max(0, Travel())); }

std::int32_t UC_Slider::PositionOfValue() const {
    const std::int32_t range = Range();
    if (range == 0) return 0;
    return LimitPosition(RoundHalfEven(static_cast<double>(Travel()) / range * (static_cast<double>(c_Value) - c_Min)));
}

qreal UC_Slider::PictureRatio() const { return devicePixelRatioF(); }

// ---- properties -----------------------------------------------------------

void UC_Slider::SetValue(std::int32_t pValue) {
    if (Range() == 0) return;
    const std::int32_t low = std::min(c_Min, c_Max);
    const std::int32_t high = std::max(c_Min, c_Max);
    c_Value = std::clamp(pValue, low, high);
    PlaceThumb(PositionOfValue());
}

void UC_Slider::SetMax(std::int32_t pMax) { c_Max = pMax; }
void UC_Slider::SetMin(std::int32_t pMin) { c_Min = pMin; }

void UC_Slider::SetPointerSizeTwips(std::int32_t pTwips) { c_PointerSize = pTwips; }

void UC_Slider::SetPointerSize(double pRate) {
    const double rate = pRate >= 1.0 ? kMaxPointerRate : pRate;
    c_PointerSize = std::max(RoundHalfEven(TrackLength() * rate), kMinPointerPixels * TwipsPerPixel());
    Init2();
}

void UC_Slider::SetIsVertical(bool pOn) { c_IsVertical = pOn; }

void UC_Slider::SetNoArrow(bool pOn) {
    c_NoArrow = pOn;
    if (pOn) c_Disabletrim = 1;
}

void UC_Slider::SetNoGrad(bool pOn) { c_NoGrad = pOn; }
void UC_Slider::SetCenterLined(std::int16_t pOn) { c_CenterLined = pOn; }

// ---- drawing --------------------------------------------------------------

void UC_Slider::Init() {
    c_Initialised = true;
    BuildBase();
    BuildThumb();
    c_ThumbPos = PositionOfValue();
    Compose();
}

void UC_Slider::Init2() {
    if (!c_Initialised) {
        Init();
        return;
    }
    BuildThumb();
    c_ThumbPos = PositionOfValue();
    Compose();
}

void UC_Slider::BuildBase() {
    c_Base.Resize(width(), height(), PictureRatio());
    if (c_IsVertical) {
        // The blend runs across the track in both orientations: paint it on a
        // lying picture and stand it up.
        Picture lying(height(), width(), PictureRatio());
        GradientPaint(lying, kBaseGradientStyle);
        QImage standing = lying.Image().transformed(QTransform().rotate(kQuarterTurn));
        standing.setDevicePixelRatio(PictureRatio());
        c_Base.Image() = standing;
    } else {
        GradientPaint(c_Base, kBaseGradientStyle);
    }
    if (c_CenterLined == 0) return;
    // A groove along the middle of the track: shadow over highlight.
    const std::int32_t start = TrackStartPixels();
    const std::int32_t length = TrackLength() / TwipsPerPixel();
    const std::int32_t middle = ThicknessPixels() / 2 - 1;
    if (c_IsVertical) {
        c_Base.FillRect(middle, start, 1, length, kColorButtonShadow);
        c_Base.FillRect(middle + 1, start, 1, length, kColorButtonHighlight);
    } else {
        c_Base.FillRect(start, middle, length, 1, kColorButtonShadow);
        c_Base.FillRect(start, middle + 1, length, 1, kColorButtonHighlight);
    }
}

void UC_Slider::BuildThumb() {
    const std::int32_t along = std::max(1, c_PointerSize / TwipsPerPixel());
    const std::int32_t across = std::max(1, ThicknessPixels());
    const std::int32_t w = c_IsVertical ? across : along;
    const std::int32_t h = c_IsVertical ? along : across;
    c_Thumb.Resize(w, h, PictureRatio());
    if (c_NoGrad) {
        DrawButtonFace(c_Thumb, 0, 0, w, h, false);
        return;
    }
    GradientPaint(c_Thumb, c_IsVertical ? kVerticalThumbStyle : kHorizontalThumbStyle,
                  AdjustColor(kColorButtonShadow, 0, 0, 0, kThumbOuterFactor),
                  AdjustColor(kColorButtonFace, 0, 0, 0, kThumbMiddleFactor),
                  AdjustColor(kColorButtonShadow, 0, 0, 0, kThumbInnerFactor));
    c_Thumb.FillRect(0, 0, w, 1, kColorButtonDarkShadow);
    c_Thumb.FillRect(0, h - 1, w, 1, kColorButtonDarkShadow);
    c_Thumb.FillRect(0, 0, 1, h, kColorButtonDarkShadow);
    c_Thumb.FillRect(w - 1, 0, 1, h, kColorButtonDarkShadow);
}

void UC_Slider::DrawArrow(int pIndex) {
    const std::int32_t side = ArrowPixels();
    if (side <= 0) return;
    const std::int32_t across = ThicknessPixels();
    const std::int32_t along = pIndex == kArrowTowardsMin ? 0 : LengthPixels() - side;
    const std::int32_t x = c_IsVertical ? 0 : along;
    const std::int32_t y = c_IsVertical ? along : 0;
    const std::int32_t w = c_IsVertical ? across : side;
    const std::int32_t h = c_IsVertical ? side : across;
    const bool pressed = ArrowPressed(pIndex);
    DrawButtonFace(c_Screen, x, y, w, h, pressed);

    // The glyph: a filled triangle pointing away from the track.
    const double half = std::max(kMinGlyphHalf, std::floor(std::min(w, h) * kGlyphShare));
    const double shift = pressed ? 1.0 : 0.0;
    const double cx = x + w / 2.0 + shift;
    const double cy = y + h / 2.0 + shift;
    QPolygonF glyph;
    const double tip = half / 2.0;
    if (c_IsVertical) {
        const double dir = pIndex == kArrowTowardsMin ? -1.0 : 1.0;
        glyph << QPointF(cx, cy + dir * tip) << QPointF(cx - half, cy - dir * tip)
              << QPointF(cx + half, cy - dir * tip);
    } else {
        const double dir = pIndex == kArrowTowardsMin ? -1.0 : 1.0;
        glyph << QPointF(cx + dir * tip, cy) << QPointF(cx - dir * tip, cy - half)
              << QPointF(cx - dir * tip, cy + half);
    }
    const bool live = isEnabled() && c_Disabletrim == 0;
    QPainter painter(&c_Screen.Image());
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    if (!live) {
        // Engraved look of a disabled glyph: highlight one pixel down-right, then grey.
        painter.setBrush(ToQColor(kColorButtonHighlight));
        painter.drawPolygon(glyph.translated(1, 1));
    }
    painter.setBrush(ToQColor(live ? kColorButtonText : kColorGrayText));
    painter.drawPolygon(glyph);
}

void UC_Slider::Compose() {
    if (!c_Initialised) return;
    if (c_Base.IsNull() || c_Base.Width() != width() || c_Base.Height() != height() ||
        c_Base.Image().devicePixelRatio() != PictureRatio()) {
        BuildBase();
        BuildThumb();
    }
    c_Screen.Resize(width(), height(), PictureRatio());
    c_Screen.BitBlt(0, 0, width(), height(), c_Base, 0, 0);
    const std::int32_t start = TrackStartPixels() + c_ThumbPos / TwipsPerPixel();
    if (TrackLength() > 0) {
        if (c_IsVertical) {
            c_Screen.BitBlt(0, start, c_Thumb.Width(), c_Thumb.Height(), c_Thumb, 0, 0);
        } else {
            c_Screen.BitBlt(start, 0, c_Thumb.Width(), c_Thumb.Height(), c_Thumb, 0, 0);
        }
    }
    DrawArrow(kArrowTowardsMin);
    DrawArrow(kArrowTowardsMax);
    update();
}

void UC_Slider::PlaceThumb(std::int32_t pPos) {
    const std::int32_t pos = LimitPosition(pPos);
    if (pos == c_ThumbPos) return;
    c_ThumbPos = pos;
    Compose();
}

void UC_Slider::Draw(std::int32_t pPos) {
    std::int32_t pos = pPos;
    const std::int32_t range = Range();
    const std::int32_t travel = Travel();
    if (range != 0 && travel > 0) {
        std::int32_t value = RoundHalfEven(static_cast<double>(range) / travel * pos + c_Min);
        if (value > c_Max) {
            value = c_Max;
            pos = travel;
        } else if (value < c_Min) {
            value = c_Min;
            pos = 0;
        }
        c_Value = value;
    }
    PlaceThumb(pos);
}

void UC_Slider::paintEvent(QPaintEvent* /*pEvent*/) {
    if (!c_Initialised) {
        QPainter(this).fillRect(rect(), ToQColor(kColorButtonFace));
        return;
    }
    // A move to a screen of another pixel ratio needs the pictures at that ratio.
    if (c_Screen.IsNull() || c_Screen.Image().devicePixelRatio() != PictureRatio()) {
        BuildBase();
        BuildThumb();
        Compose();
    }
    QPainter painter(this);
    painter.drawImage(QPointF(0, 0), c_Screen.Image());
}

void UC_Slider::resizeEvent(QResizeEvent* /*pEvent*/) {
    if (!c_Initialised) return;
    BuildBase();
    BuildThumb();
    c_ThumbPos = PositionOfValue();
    Compose();
}

void UC_Slider::changeEvent(QEvent* pEvent) {
    QWidget::changeEvent(pEvent);
    if (pEvent->type() == QEvent::EnabledChange) Compose();
}

// ---- input ----------------------------------------------------------------

std::int32_t UC_Slider::AlongPixels(const QPointF& pPoint) const {
    return static_cast<std::int32_t>(std::floor(c_IsVertical ? pPoint.y() : pPoint.x()));
}

int UC_Slider::ArrowAt(const QPointF& pPoint) const {
    const std::int32_t side = ArrowPixels();
    if (side <= 0) return kNoArrow;
    const std::int32_t along = AlongPixels(pPoint);
    if (along < side) return kArrowTowardsMin;
    if (along >= LengthPixels() - side) return kArrowTowardsMax;
    return kNoArrow;
}

std::int32_t UC_Slider::TrackPosition(const QPointF& pPoint) const {
    return (AlongPixels(pPoint) - TrackStartPixels()) * TwipsPerPixel();
}

void UC_Slider::RaiseMouseUD(bool pIsDown, std::int16_t pButton) {
    bool isDown = pIsDown;
    std::int16_t button = pButton;
    emit MouseUD(isDown, button);
}

void UC_Slider::RaiseScrolled(std::int16_t pButton) {
    std::int16_t button = pButton;
    emit Scrolled(button);
}

void UC_Slider::ArrowStep() {
    if (c_HeldArrow == kNoArrow) return;
    const std::int64_t step =
        c_HeldArrow == kArrowTowardsMin ? -static_cast<std::int64_t>(c_SmallChange) : c_SmallChange;
    const std::int64_t target =
        std::clamp<std::int64_t>(static_cast<std::int64_t>(c_Value) + step, std::numeric_limits<std::int32_t>::min(),
                                 std::numeric_limits<std::int32_t>::max());
    SetValue(static_cast<std::int32_t>(target));
    RaiseScrolled(kLeftButton);
}

void UC_Slider::ArrowPress(int pIndex) {
    c_PressedPart = pIndex;
    if (c_RefuseInput != 0 || c_Disabletrim != 0) return;
    c_ArrowDown[static_cast<std::size_t>(pIndex)] = true;
    c_HeldArrow = pIndex;
    Compose();
    ArrowStep();
    c_Repeat.start(kRepeatDelayMs);
    c_Clicked = -1;
}

void UC_Slider::TrackPress(const QPointF& pPoint, std::int16_t pButton) {
    c_PressedPart = kTrackPart;
    if (pButton == kLeftButton) {
        const std::int32_t c = TrackPosition(pPoint);
        const std::int32_t b = c_ThumbPos;
        c_GrabOffset = (c > b && c < b + c_PointerSize) ? static_cast<double>(c - b) : c_PointerSize / 2.0;
        c_LastPointer = c;
        c_TrackHeld = true;
        Draw(RoundHalfEven(c - c_GrabOffset));
    }
    c_Clicked = -1;
    RaiseMouseUD(true, pButton);
    if (pButton == kLeftButton) RaiseScrolled(kLeftButton);
}

void UC_Slider::mousePressEvent(QMouseEvent* pEvent) {
    if (c_RefuseInput != 0 || !c_Initialised) return;
    const auto button = static_cast<std::int16_t>(ButtonCode(pEvent->button()));
    const int arrow = ArrowAt(pEvent->position());
    if (arrow != kNoArrow) {
        if (button == kLeftButton) {
            ArrowPress(arrow);
        } else {
            c_PressedPart = arrow;
        }
        return;
    }
    TrackPress(pEvent->position(), button);
}

void UC_Slider::mouseMoveEvent(QMouseEvent* pEvent) {
    if (c_RefuseInput != 0 || !c_TrackHeld || !(pEvent->buttons() & Qt::LeftButton)) return;
    const std::int32_t c = TrackPosition(pEvent->position());
    if (c == c_LastPointer) return;
    c_LastPointer = c;
    Draw(RoundHalfEven(c - c_GrabOffset));
    RaiseScrolled(kLeftButton);
}

void UC_Slider::mouseReleaseEvent(QMouseEvent* pEvent) {
    if (c_RefuseInput != 0) return;
    const auto button = static_cast<std::int16_t>(ButtonCode(pEvent->button()));
    const int part = c_PressedPart;
    if (!(pEvent->buttons() & Qt::LeftButton)) c_TrackHeld = false;
    if (part == kTrackPart) {
        c_Clicked = 0;
        RaiseMouseUD(false, button);
        if (button == kLeftButton) RaiseScrolled(kLeftButton);
        return;
    }
    if (part == kArrowTowardsMin || part == kArrowTowardsMax) {
        if (c_Disabletrim != 0 && c_HeldArrow == kNoArrow) return;
        if (button == kLeftButton) {
            c_ArrowDown[static_cast<std::size_t>(part)] = false;
            c_HeldArrow = kNoArrow;
            c_Repeat.stop();
            c_Clicked = 0;
            Compose();
        }
        RaiseMouseUD(false, button);
    }
}

void UC_Slider::mouseDoubleClickEvent(QMouseEvent* pEvent) {
    if (c_RefuseInput != 0 || !c_Initialised) return;
    const auto button = static_cast<std::int16_t>(ButtonCode(pEvent->button()));
    const int arrow = ArrowAt(pEvent->position());
    if (arrow != kNoArrow) {
        if (button == kLeftButton) ArrowPress(arrow);
        return;
    }
    c_PressedPart = kTrackPart;
    emit DblClicked();
    RaiseScrolled(kLeftButton);
}

}  // namespace sonivate
