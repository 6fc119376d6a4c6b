#include "controls/widgets/uc_buttons.h"

#include <algorithm>
#include <array>
#include <cmath>

#include <QMouseEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPen>

#include "controls/widgets/icon_strips.h"
#include "controls/widgets/input_codes.h"
#include "uikit/colors.h"
#include "uikit/drawing.h"
#include "uikit/fonts.h"
#include "uikit/ui_metrics.h"

namespace sonivate {
namespace {

// The captions of an OK/cancel pair, the control's own texts: translated
// under the class's name, as tr() looks them up.
constexpr const char* kCaptionOK = QT_TRANSLATE_NOOP("sonivate::UC_Buttons", "OK");
constexpr const char* kCaptionCancel = QT_TRANSLATE_NOOP("sonivate::UC_Buttons", "キャンセル");

// How far inside a button face its focus frame is drawn, pixels.
constexpr std::int32_t kFocusInsetPixels = 3;

// Default caption colour of a button that is on, selected or pressed: RGB(0, 208, 0).
constexpr std::int32_t kDefaultSelectedColor = 0x00D000;
constexpr std::int32_t kWhite = 0xFFFFFF;
// The engraved shadow of such captions: every component lowered by this.
constexpr std::int32_t kSelectedShadowDrop = -70;
// Ear width of design 0 when MimiWidth is automatic.
constexpr std::int32_t kDesignZeroEarWidth = 8;
// The strip's base gradient style (sets the back colour only) and the face
// gradient of designs 0..3; design 4 keeps the base.
constexpr std::int32_t kBaseGradientStyle = -2;
constexpr std::array<std::int32_t, 4> kFaceGradientStyle = {7, 12, 13, 14};
constexpr std::int32_t kCaptionToneIndex = 3;
// Icons that keep their own colours: the lit forms shown on pressed buttons.
constexpr std::array<std::int32_t, 10> kUntintedIcons = {8, 9, 10, 11, 13, 18, 19, 20, 23, 24};

std::int32_t RoundToInt(double pValue) { return static_cast<std::int32_t>(std::lrint(pValue)); }

std::int32_t DarkerSelected(std::int32_t pColor) {
    return AdjustColor(pColor, kSelectedShadowDrop, kSelectedShadowDrop, kSelectedShadowDrop, -1.0f);
}

QString ToQString(const std::string& pText) {
    return QString::fromUtf8(pText.data(), static_cast<qsizetype>(pText.size()));
}

}  // namespace

UC_Buttons::UC_Buttons(QWidget* pParent)
    : QWidget(pParent),
      c_SelectedColor(kDefaultSelectedColor),
      c_SelectedShadow(DarkerSelected(kDefaultSelectedColor)),
      c_Buttons(1) {
    setMouseTracking(true);
    // Reached with Tab; a click leaves the keyboard where it was.
    setFocusPolicy(Qt::TabFocus);
    c_Strip.SetBackColor(kColorButtonFace);
}

// --- Settings --------------------------------------------------------------

void UC_Buttons::SetNumButtons(std::int16_t pValue) {
    c_NumButtons = std::max<std::int16_t>(pValue, 1);
    c_Buttons.assign(static_cast<std::size_t>(c_NumButtons), Button{});
    c_DownIndex = -1;
    ApplyFocusPolicy();
}

// A strip whose buttons are all disabled is no stop of the Tab chain; when it
// holds the keyboard as its last button goes grey, it hands it on.
void UC_Buttons::ApplyFocusPolicy() {
    const bool live = NextEnabled(-1, 1) >= 0;
    setFocusPolicy(live ? Qt::TabFocus : Qt::NoFocus);
    if (live || !hasFocus()) return;
    QWidget::focusNextPrevChild(true);
    if (hasFocus()) clearFocus();
}

void UC_Buttons::SetDesignType(std::int32_t pValue) {
    c_DesignType = pValue;
    if (pValue == 1) SetSelectedColor(kWhite);
}

void UC_Buttons::SetSelectedColor(std::int32_t pColor) {
    c_SelectedColor = pColor;
    c_SelectedShadow = DarkerSelected(pColor);
}

void UC_Buttons::SetToolTip(const std::string& pText) { setToolTip(ToQString(pText)); }

void UC_Buttons::SetSelectedButton(std::int16_t pIndex) {
    const std::int16_t old = c_SelectedButton;
    c_SelectedButton = pIndex;
    if (ValidIndex(old)) DrawButton(old, kDrawUp);
    if (ValidIndex(pIndex) && pIndex != old) DrawButton(pIndex, kDrawUp);
}

bool UC_Buttons::GetButtonDisable(std::int16_t pIndex, bool pTemp) const {
    if (!ValidIndex(pIndex)) return false;
    const Button& b = c_Buttons[static_cast<std::size_t>(pIndex)];
    return pTemp ? b.TempDisabled : b.Disabled;
}

std::string UC_Buttons::GetButtonChar(std::int16_t pIndex) const {
    return ValidIndex(pIndex) ? c_Buttons[static_cast<std::size_t>(pIndex)].Caption : std::string();
}

bool UC_Buttons::GetButtonOn(std::int16_t pIndex) const {
    return ValidIndex(pIndex) && c_Buttons[static_cast<std::size_t>(pIndex)].On;
}

bool UC_Buttons::ValidIndex(std::int16_t pIndex) const {
    return pIndex >= 0 && pIndex < static_cast<std::int16_t>(c_Buttons.size());
}

bool UC_Buttons::IsButtonEnabled(std::int16_t pIndex) const {
    if (!ValidIndex(pIndex)) return false;
    const Button& b = c_Buttons[static_cast<std::size_t>(pIndex)];
    return !b.Disabled && !b.TempDisabled;
}

std::int32_t UC_Buttons::ButtonLeft(std::int16_t pIndex) const {
    return ValidIndex(pIndex) ? c_Buttons[static_cast<std::size_t>(pIndex)].Left : 0;
}

// --- Layout ----------------------------------------------------------------

void UC_Buttons::Init() {
    const qreal ratio = devicePixelRatioF();
    SetSelectedColor(c_SelectedColor);

    const std::int32_t fontIndex =
        ApplyFont(this, kFontByArguments, nullptr, c_FontSize, c_FontBold, false, c_FontFace);
    if (const FontEntry* entry = FontAt(fontIndex)) c_Strip.SetFont(entry->Font);

    const bool usesIcons = std::any_of(c_Buttons.begin(), c_Buttons.end(),
                                       [](const Button& b) { return b.PicIndexN >= 0 || b.PicIndexA >= 0; });
    if (c_Icons.IsNull() || c_Icons.Image().devicePixelRatio() != ratio) {
        c_Icons = MakeButtonIconStrip(ratio);
        c_IconsTinted = false;
    }
    if (usesIcons && !c_IconsTinted) TintIcons();

    if (c_MimiWidth < 0) {
        c_EarWidth = c_DesignType == kDesignEars ? kDesignZeroEarWidth : 0;
    } else {
        c_EarWidth = c_MimiWidth;
    }
    const std::int32_t count = c_NumButtons;
    // A strip too narrow for its buttons still gets one-pixel buttons.
    c_ButtonWidth = std::max<std::int32_t>((width() - 2 * c_EarWidth - 2) / count, 1);
    const std::int32_t stripWidth = c_ButtonWidth * count + 2 * c_EarWidth + 2;
    c_ButtonHeight = std::max(height(), 1);
    resize(stripWidth, c_ButtonHeight);

    c_Strip.Resize(stripWidth, c_ButtonHeight, ratio);
    c_Face.Resize(c_ButtonWidth, c_ButtonHeight, ratio);
    GradientPaint(c_Face, kBaseGradientStyle);
    GradientPaint(c_Strip, kBaseGradientStyle);
    c_Face.Cls();
    c_Strip.Cls();
    if (c_DesignType >= 0 && c_DesignType < static_cast<std::int32_t>(kFaceGradientStyle.size())) {
        GradientPaint(c_Face, kFaceGradientStyle[static_cast<std::size_t>(c_DesignType)]);
    }
    if (c_EarWidth > 0) {
        const std::int32_t rightEar = c_ButtonWidth * count + c_EarWidth + 1;
        c_Strip.BitBlt(0, 0, c_EarWidth, c_ButtonHeight, c_Face, 0, 0);
        c_Strip.BitBlt(rightEar, 0, c_EarWidth, c_ButtonHeight, c_Face, 0, 0);
        c_Strip.FillRect(c_EarWidth, 0, 1, c_ButtonHeight, kColorButtonDarkShadow);
        c_Strip.FillRect(stripWidth - 1, 0, 1, c_ButtonHeight, kColorButtonDarkShadow);
    }

    for (std::size_t i = 0; i < c_Buttons.size(); ++i) {
        c_Buttons[i].Left = c_EarWidth + 1 + c_ButtonWidth * static_cast<std::int32_t>(i);
        PlaceContent(c_Buttons[i]);
    }
    c_Initialised = true;
    DrawAll();
    update();
}

// Caption centred on the button (or the 18 x 18 icon), rounded half to even.
void UC_Buttons::PlaceContent(Button& pButton) const {
    const double centreX = pButton.Left + c_ButtonWidth / 2.0;
    const double centreY = c_ButtonHeight / 2.0;
    if (pButton.PicIndexN >= 0 || pButton.PicIndexA >= 0) {
        pButton.X = RoundToInt(centreX - kButtonIconSize / 2.0);
        pButton.Y = RoundToInt(centreY - kButtonIconSize / 2.0);
    } else if (!pButton.Caption.empty()) {
        pButton.X = RoundToInt(centreX - c_Strip.TextWidth(pButton.Caption) / 2.0);
        pButton.Y = RoundToInt(centreY - c_Strip.TextHeight(pButton.Caption) / 2.0);
    }
}

// Brings the plain icons, drawn against a grey face of 210, to this strip's face colour.
void UC_Buttons::TintIcons() {
    const RgbParts face = SplitRGB(kColorButtonFace);
    const double factor[3] = {face.R / static_cast<double>(kButtonIconFaceGrey),
                              face.G / static_cast<double>(kButtonIconFaceGrey),
                              face.B / static_cast<double>(kButtonIconFaceGrey)};
    const auto tint = [&factor](int pComponent, int pWhich) {
        return std::min(RoundToInt(pComponent * factor[pWhich]), 255);
    };
    QImage& image = c_Icons.Image();
    const qreal ratio = image.devicePixelRatio();
    const int rows = static_cast<int>(std::ceil(kButtonIconSize * ratio));
    for (std::int32_t n = 0; n < kButtonIconCount; ++n) {
        if (std::find(kUntintedIcons.begin(), kUntintedIcons.end(), n) != kUntintedIcons.end()) continue;
        const int x0 = static_cast<int>(std::floor(n * kButtonIconSize * ratio));
        const int x1 = std::min(static_cast<int>(std::floor((n + 1) * kButtonIconSize * ratio)), image.width());
        for (int y = 0; y < rows && y < image.height(); ++y) {
            for (int x = x0; x < x1; ++x) {
                const QRgb px = image.pixel(x, y);
                if ((px & 0xFFFFFF) == 0) continue;
                image.setPixel(x, y, qRgb(tint(qRed(px), 0), tint(qGreen(px), 1), tint(qBlue(px), 2)));
            }
        }
    }
    c_IconsTinted = true;
}

// --- Drawing ---------------------------------------------------------------

void UC_Buttons::DrawAll() {
    for (std::int16_t i = 0; i < c_NumButtons; ++i) DrawButton(i, kDrawUp);
}

void UC_Buttons::DrawButton(std::int16_t pIndex, std::int32_t pType) {
    if (!c_Initialised || !ValidIndex(pIndex)) return;
    const Button& b = c_Buttons[static_cast<std::size_t>(pIndex)];
    const std::int32_t d = pType == kDrawPressed ? 1 : 0;
    const bool pressedLook = pType == kDrawPressed || pType == kDrawHighlighted;

    c_Strip.FillRect(b.Left, 0, c_ButtonWidth, c_ButtonHeight, c_Strip.BackColor());
    c_Strip.BitBlt(b.Left, d, c_ButtonWidth, c_ButtonHeight, c_Face, 0, 0);

    if (b.PicIndexN >= 0 || b.PicIndexA >= 0) {
        const std::int32_t icon = b.AltWhenPressed && pressedLook ? b.PicIndexA : b.PicIndexN;
        if (icon >= 0 && icon < kButtonIconCount) {
            const std::int32_t cellX = icon * kButtonIconSize;
            c_Strip.BitBlt(b.X, b.Y + d, kButtonIconSize, kButtonIconSize, c_Icons, cellX, kButtonIconSize,
                           Picture::RasterOp::And);
            c_Strip.BitBlt(b.X, b.Y + d, kButtonIconSize, kButtonIconSize, c_Icons, cellX, 0, Picture::RasterOp::Xor);
        }
    } else if (!b.Caption.empty()) {
        const bool disabled = b.Disabled || b.TempDisabled;
        const bool lit = b.On || pIndex == c_SelectedButton || pressedLook;
        if (!c_Disable3D) {
            const std::int32_t shadow = disabled ? kColorButtonHighlight
                                        : lit    ? c_SelectedShadow
                                                 : ToneColor(kCaptionToneIndex);
            c_Strip.Print(b.X + 1, b.Y + d + 1, b.Caption, shadow);
        }
        std::int32_t color = kColorButtonHighlight;
        if (disabled && !c_NoGrayAtDisabled) {
            color = kColorButtonHighlight;
        } else if (lit) {
            color = c_SelectedColor;
        } else if (c_Disable3D) {
            color = ToneColor(kCaptionToneIndex);
        }
        c_Strip.Print(b.X, b.Y + d, b.Caption, color);
    }
    update(b.Left, 0, c_ButtonWidth, c_ButtonHeight);
}

void UC_Buttons::paintEvent(QPaintEvent* /*pEvent*/) {
    if (c_Strip.IsNull()) return;
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), c_Strip.Image());
    if (hasFocus() && ValidIndex(c_FocusIndex)) {
        // The keyboard's button: a dotted frame inside its face.
        const Button& b = c_Buttons[static_cast<std::size_t>(c_FocusIndex)];
        QPen pen(palette().color(QPalette::WindowText));
        pen.setStyle(Qt::DotLine);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(b.Left + kFocusInsetPixels, kFocusInsetPixels, c_ButtonWidth - 2 * kFocusInsetPixels - 1,
                         c_ButtonHeight - 2 * kFocusInsetPixels - 1);
    }
}

// --- Captions, icons and flags --------------------------------------------

void UC_Buttons::SetButtonChar(std::int16_t pIndex, const std::string& pValue) {
    if (!ValidIndex(pIndex)) return;
    Button& b = c_Buttons[static_cast<std::size_t>(pIndex)];
    b.Caption = pValue;
    b.PicIndexN = -1;
    b.PicIndexA = -1;
    b.AltWhenPressed = false;
    PlaceContent(b);
    DrawButton(pIndex, kDrawUp);
}

void UC_Buttons::SetButtonCharNum() {
    for (std::int16_t i = 0; i < c_NumButtons; ++i) SetButtonChar(i, std::to_string(i + 1));
}

void UC_Buttons::SetPicIndexn(std::int16_t pIndex, std::int32_t pValue) {
    if (!ValidIndex(pIndex)) return;
    Button& b = c_Buttons[static_cast<std::size_t>(pIndex)];
    b.PicIndexN = pValue;
    b.Caption.clear();
}

void UC_Buttons::SetPicIndexa(std::int16_t pIndex, std::int32_t pValue) {
    if (!ValidIndex(pIndex)) return;
    Button& b = c_Buttons[static_cast<std::size_t>(pIndex)];
    b.PicIndexA = pValue;
    b.AltWhenPressed = true;
    b.Caption.clear();
}

void UC_Buttons::SetButtonDisable(std::int16_t pIndex, bool pValue, bool pDraw, bool pTemp) {
    if (!ValidIndex(pIndex)) return;
    Button& b = c_Buttons[static_cast<std::size_t>(pIndex)];
    (pTemp ? b.TempDisabled : b.Disabled) = pValue;
    ApplyFocusPolicy();
    if (pDraw) DrawButton(pIndex, kDrawUp);
}

void UC_Buttons::SetButtonDisableAll(bool pValue, bool pTemp) {
    for (std::int16_t i = 0; i < c_NumButtons; ++i) {
        Button& b = c_Buttons[static_cast<std::size_t>(i)];
        (pTemp ? b.TempDisabled : b.Disabled) = pValue;
        if (b.PicIndexA < 0) DrawButton(i, kDrawUp);
    }
    ApplyFocusPolicy();
}

void UC_Buttons::SetButtonState(std::int16_t pIndex, std::int32_t pMode) {
    if (ValidIndex(pIndex)) DrawButton(pIndex, pMode);
}

void UC_Buttons::SetButtonOn(std::int16_t pIndex, bool pValue, bool pDraw) {
    if (!ValidIndex(pIndex)) return;
    c_Buttons[static_cast<std::size_t>(pIndex)].On = pValue;
    if (pDraw) DrawButton(pIndex, kDrawUp);
}

void UC_Buttons::SetOKCancel(bool pOKIsZero, bool pNoSize, std::int32_t pType) {
    SetNumButtons(2);
    SetButtonChar(pOKIsZero ? 0 : 1, tr(kCaptionOK).toStdString());
    SetButtonChar(pOKIsZero ? 1 : 0, tr(kCaptionCancel).toStdString());
    SetDesignType(pType);
    if (!pNoSize) resize(TwipsToPixels(kOKCancelWidthTwips), TwipsToPixels(kOKCancelHeightTwips));
    Init();
}

void UC_Buttons::SetButtonsMCI() {
    SetNumButtons(3);
    for (std::int16_t i = 0; i < 3; ++i) {
        SetPicIndexn(i, 1 + i);
        SetPicIndexa(i, 9 + i);
    }
}

void UC_Buttons::SetButtonsPCXplay() {
    struct Pair {
        std::int32_t Normal;
        std::int32_t Alternate;
    };
    static constexpr std::array<Pair, 5> kIcons = {Pair{15, 18}, Pair{16, 19}, Pair{1, 9}, Pair{3, 11}, Pair{17, 20}};
    SetNumButtons(static_cast<std::int16_t>(kIcons.size()));
    for (std::int16_t i = 0; i < c_NumButtons; ++i) {
        SetPicIndexn(i, kIcons[static_cast<std::size_t>(i)].Normal);
        SetPicIndexa(i, kIcons[static_cast<std::size_t>(i)].Alternate);
    }
}

void UC_Buttons::SetButtonsEditorCtrl() {
    SetNumButtons(4);
    for (std::int16_t i = 0; i < 4; ++i) SetPicIndexn(i, 4 + i);
}

void UC_Buttons::SetButtonsEditorPlay() {
    SetNumButtons(4);
    for (std::int16_t i = 0; i < 4; ++i) {
        SetPicIndexn(i, i);
        SetPicIndexa(i, 8 + i);
    }
}

// --- Input -----------------------------------------------------------------

std::int16_t UC_Buttons::HitTest(std::int32_t pX) const {
    if (c_Buttons.empty() || c_ButtonWidth <= 0) return -1;
    if (pX < c_Buttons.front().Left || pX > c_Buttons.back().Left + c_ButtonWidth) return -1;
    for (std::size_t i = 0; i < c_Buttons.size(); ++i) {
        if (c_Buttons[i].Left + c_ButtonWidth > pX) return static_cast<std::int16_t>(i);
    }
    return -1;
}

void UC_Buttons::PressAt(std::int32_t pX, Qt::MouseButton pButton) {
    c_DownX = pX;
    c_DownIndex = HitTest(pX);
    if (pButton != Qt::LeftButton || !IsButtonEnabled(c_DownIndex)) return;
    DrawButton(c_DownIndex, kDrawPressed);
    std::int16_t index = c_DownIndex;
    emit ButtonDown(index);
}

void UC_Buttons::mousePressEvent(QMouseEvent* pEvent) {
    PressAt(static_cast<std::int32_t>(std::floor(pEvent->position().x())), pEvent->button());
}

void UC_Buttons::mouseDoubleClickEvent(QMouseEvent* pEvent) {
    // The second press of a double click lands where the first one did.
    PressAt(c_DownX, pEvent->button());
}

void UC_Buttons::mouseReleaseEvent(QMouseEvent* pEvent) {
    const std::int16_t index = c_DownIndex;
    c_DownIndex = -1;
    if (!IsButtonEnabled(index)) return;
    const std::int32_t x = static_cast<std::int32_t>(std::floor(pEvent->position().x()));
    const std::int32_t y = static_cast<std::int32_t>(std::floor(pEvent->position().y()));
    const std::int32_t left = c_Buttons[static_cast<std::size_t>(index)].Left;
    const bool inside = left <= x && x <= left + c_ButtonWidth && 0 <= y && y <= c_ButtonHeight;
    if (pEvent->button() == Qt::LeftButton) {
        // Released outside: the press is abandoned and the button pops back up.
        DrawButton(index, kDrawUp);
        if (!inside) return;
        std::int16_t clicked = index;
        auto shift = static_cast<std::int16_t>(ShiftMask(pEvent->modifiers()));
        if (shift != 0) {
            emit ShiftClicked(clicked, shift);
        } else {
            emit ButtonClicked(clicked);
        }
    } else if (pEvent->button() == Qt::RightButton && inside) {
        std::int16_t clicked = index;
        emit RightClicked(clicked);
    }
}

void UC_Buttons::mouseMoveEvent(QMouseEvent* pEvent) {
    ReportHover(HitTest(static_cast<std::int32_t>(std::floor(pEvent->position().x()))));
}

void UC_Buttons::leaveEvent(QEvent* /*pEvent*/) { ReportHover(-1); }

std::int16_t UC_Buttons::NextEnabled(std::int16_t pFrom, std::int16_t pStep) const {
    for (auto i = static_cast<std::int16_t>(pFrom + pStep); ValidIndex(i); i = static_cast<std::int16_t>(i + pStep))
        if (IsButtonEnabled(i)) return i;
    return -1;
}

void UC_Buttons::focusInEvent(QFocusEvent* pEvent) {
    QWidget::focusInEvent(pEvent);
    if (pEvent->reason() == Qt::BacktabFocusReason) {
        c_FocusIndex = NextEnabled(c_NumButtons, -1);
    } else if (pEvent->reason() == Qt::TabFocusReason || !IsButtonEnabled(c_FocusIndex)) {
        c_FocusIndex = NextEnabled(-1, 1);
    }
    update();
}

void UC_Buttons::focusOutEvent(QFocusEvent* pEvent) {
    QWidget::focusOutEvent(pEvent);
    update();
}

bool UC_Buttons::focusNextPrevChild(bool pNext) {
    if (hasFocus()) {
        const std::int16_t next = NextEnabled(c_FocusIndex, pNext ? 1 : -1);
        if (next >= 0) {
            c_FocusIndex = next;
            update();
            return true;
        }
    }
    return QWidget::focusNextPrevChild(pNext);
}

void UC_Buttons::keyPressEvent(QKeyEvent* pEvent) {
    const int key = pEvent->key();
    if ((key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) &&
        pEvent->modifiers() == Qt::NoModifier) {
        if (!IsButtonEnabled(c_FocusIndex)) c_FocusIndex = NextEnabled(-1, 1);
        if (IsButtonEnabled(c_FocusIndex)) {
            std::int16_t clicked = c_FocusIndex;
            emit ButtonClicked(clicked);
        }
        pEvent->accept();
        return;
    }
    QWidget::keyPressEvent(pEvent);
}

void UC_Buttons::ReportHover(std::int16_t pIndex) {
    if (pIndex == c_HoverIndex) return;
    c_HoverIndex = pIndex;
    std::int16_t reported = pIndex;
    emit Hover(reported);
}

}  // namespace sonivate
