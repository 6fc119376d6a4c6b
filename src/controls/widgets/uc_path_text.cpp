#include "controls/widgets/uc_path_text.h"

#include <algorithm>
#include <cmath>

#include <QEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPen>

#include "common/paths.h"
#include "uikit/colors.h"
#include "uikit/dialogs.h"
#include "uikit/fonts.h"
#include "uikit/ui_metrics.h"

namespace sonivate {
namespace {

constexpr const char* kButtonCaption = "...";
// The character whose cell height centres the caption vertically.
constexpr const char* kMeasureGlyph = "漢";
// The file dialog's filter for an extension: "wav" + name + "|*." + "wav".
// The name is the control's own text, so it is translated.
constexpr const char* kFilterName = QT_TRANSLATE_NOOP("sonivate::UC_PathText", "ファイル");
constexpr const char* kFilterPattern = "|*.";
// Size of a fresh box before the owner lays it out (pixels).
constexpr int kHintWidth = 300;
// How far inside the button its focus frame is drawn, pixels.
constexpr int kFocusInsetPixels = 2;

}  // namespace

UC_PathText::UC_PathText(QWidget* pParent) : QWidget(pParent), c_TextPath(new QLineEdit(this)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    c_TextPath->setObjectName(QStringLiteral("TextPath"));
    c_TextPath->installEventFilter(this);
    connect(c_TextPath, &QLineEdit::textChanged, this, [this] { emit TextChange(); });
    setFocusPolicy(Qt::TabFocus);
    ApplyReadOnly();
}

UC_PathText::~UC_PathText() = default;

QSize UC_PathText::sizeHint() const { return QSize(kHintWidth, std::max(1, BoxHeightPixels())); }

qreal UC_PathText::PictureRatio() const { return devicePixelRatioF(); }

std::int32_t UC_PathText::BoxHeightPixels() const { return static_cast<std::int32_t>(c_TextHeight) / TwipsPerPixel(); }

void UC_PathText::EnsureFonts() {
    if (c_FontsApplied) return;
    c_FontsApplied = true;
    const auto size = static_cast<float>(c_FontSize);
    ApplyFont(this, kFontByArguments, nullptr, size, false, false, "");
    ApplyFont(c_TextPath, kFontByArguments, nullptr, size, false, false, "");
}

void UC_PathText::Init() {
    c_FontsApplied = false;
    EnsureFonts();
    UserControl_Resize();
    Draw(0);
}

void UC_PathText::UserControl_Resize() {
    const std::int32_t boxHeight = std::max(1, BoxHeightPixels());
    c_TextPath->setGeometry(0, 0, std::max(0, width() - boxHeight), boxHeight);
    if (height() != boxHeight) resize(width(), boxHeight);
}

void UC_PathText::Draw(std::int32_t pOn) {
    EnsureFonts();
    const std::int32_t w = std::max(1, width());
    const std::int32_t h = std::max(1, height());
    c_DrawnOn = pOn;
    c_Surface.SetBackColor(kColorButtonFace);
    c_Surface.Resize(w, h, PictureRatio());
    c_Surface.SetFont(font());

    const std::int32_t left = c_TextPath->width() + 1;
    const std::int32_t right = w - 2;
    const std::int32_t top = pOn;
    const std::int32_t bottom = h - 2 + pOn;
    if (right > left && bottom > top) {
        c_Surface.Line(left, top, right, top, kColorButtonHighlight);
        c_Surface.Line(left, bottom, right, bottom, kColorButtonShadow);
        c_Surface.Line(right, top, right, bottom, kColorButtonShadow);
        const std::int32_t textX = left + (right - left + 1 - c_Surface.TextWidth(kButtonCaption)) / 2;
        const std::int32_t textY = top + (bottom - top + 1 - c_Surface.TextHeight(kMeasureGlyph)) / 2;
        c_Surface.Print(textX, textY, kButtonCaption, ButtonLive() ? kColorButtonText : kColorGrayText);
    }
    update();
}

std::string UC_PathText::Text() const { return c_TextPath->text().toStdString(); }

void UC_PathText::SetText(const std::string& pText) {
    if (!c_FontsApplied) Init();
    c_TextPath->setText(QString::fromStdString(pText));
    Draw(0);
}

void UC_PathText::ApplyReadOnly() {
    const bool readOnly = !c_Enabled || c_TextDisabled != 0;
    c_TextPath->setReadOnly(readOnly);
    ApplyFocusPolicies();
    QPalette palette = c_TextPath->palette();
    palette.setColor(QPalette::Base, ToQColor(readOnly ? kColorButtonFace : kColorWindow));
    palette.setColor(QPalette::Text, ToQColor(kColorWindowText));
    c_TextPath->setPalette(palette);
}

// A greyed box and a dead button are no stops of the Tab chain; the one
// that holds the keyboard when it goes grey hands it on.
void UC_PathText::ApplyFocusPolicies() {
    c_TextPath->setFocusPolicy(c_Enabled ? Qt::StrongFocus : Qt::NoFocus);
    setFocusPolicy(ButtonLive() ? Qt::TabFocus : Qt::NoFocus);
    for (QWidget* part : {static_cast<QWidget*>(c_TextPath), static_cast<QWidget*>(this)}) {
        if (!part->hasFocus() || part->focusPolicy() != Qt::NoFocus) continue;
        focusNextChild();
        if (part->hasFocus()) part->clearFocus();
    }
}

void UC_PathText::SetEnabled(bool pOn) {
    if (c_Enabled == pOn) return;
    c_Enabled = pOn;
    ApplyReadOnly();
    if (c_DrawnOn >= 0) Draw(0);
}

void UC_PathText::SetButtonDisabled(std::int16_t pOn) {
    if (c_ButtonDisabled == pOn) return;
    c_ButtonDisabled = pOn;
    ApplyFocusPolicies();
    if (c_DrawnOn >= 0) Draw(0);
}

void UC_PathText::SetTextDisabled(std::int16_t pOn) {
    c_TextDisabled = pOn;
    ApplyReadOnly();
}

void UC_PathText::SetExt(const std::string& pExt) {
    c_Ext.clear();
    std::copy_if(pExt.begin(), pExt.end(), std::back_inserter(c_Ext), [](char c) { return c != '.'; });
}

void UC_PathText::SetTextIMEMode(std::int32_t pMode) {
    c_TextPath->setAttribute(Qt::WA_InputMethodEnabled, pMode != kIMEDisable);
}

bool UC_PathText::ButtonLive() const { return c_Enabled && c_ButtonDisabled != 1; }

std::string UC_PathText::DialogFilter() const {
    if (!c_Filter.empty() || c_Ext.empty()) return c_Filter;
    return c_Ext + tr(kFilterName).toStdString() + kFilterPattern + c_Ext;
}

void UC_PathText::SelectButtonClick() {
    if (c_Usage == kUsageNoDialog) {
        emit SelectButtonClicked();
        return;
    }
    const std::string start =
        c_InitDir.empty() ? PathPart(Text(), true, false, false, false, false, kKeepCase) : c_InitDir;
    std::string chosen;
    if (c_Usage == kUsageFolder) {
        chosen = BrowseForFolder(start, "", this);
    } else if (c_Usage == kUsageOpenFile || c_Usage == kUsageSaveFile) {
        chosen = FileDialog(this, c_Usage == kUsageSaveFile, DialogFilter(), start, Text(), kFileDialogDefaultFlags);
        if (!chosen.empty() && !c_Ext.empty()) chosen = AddExtension(chosen, c_Ext);
    }
    if (chosen.empty()) return;
    c_TextPath->setText(QString::fromStdString(chosen));
    emit SelectButtonClicked();
}

void UC_PathText::paintEvent(QPaintEvent* /*pEvent*/) {
    if (c_Surface.IsNull() || c_Surface.Width() != width() || c_Surface.Height() != height() ||
        c_Surface.Image().devicePixelRatio() != PictureRatio()) {
        Draw(c_Pressed ? 1 : 0);
    }
    QPainter painter(this);
    painter.drawImage(QPointF(0, 0), c_Surface.Image());
    if (hasFocus()) {
        QPen pen(palette().color(QPalette::WindowText));
        pen.setStyle(Qt::DotLine);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRect(c_TextPath->width() + kFocusInsetPixels, kFocusInsetPixels,
                               width() - c_TextPath->width() - 2 * kFocusInsetPixels - 1,
                               height() - 2 * kFocusInsetPixels - 1));
    }
}

void UC_PathText::resizeEvent(QResizeEvent* /*pEvent*/) {
    UserControl_Resize();
    if (c_DrawnOn >= 0) Draw(c_Pressed ? 1 : 0);
}

bool UC_PathText::OnButton(const QPointF& pPoint) const {
    return pPoint.x() >= c_TextPath->width() && pPoint.x() < width() && pPoint.y() >= 0 && pPoint.y() < height();
}

void UC_PathText::ButtonPress(const QPointF& pPoint) {
    if (!ButtonLive() || !OnButton(pPoint)) return;
    c_Pressed = true;
    Draw(1);
}

void UC_PathText::mousePressEvent(QMouseEvent* pEvent) {
    if (pEvent->button() == Qt::LeftButton) ButtonPress(pEvent->position());
}

void UC_PathText::mouseDoubleClickEvent(QMouseEvent* pEvent) {
    if (pEvent->button() == Qt::LeftButton) ButtonPress(pEvent->position());
}

void UC_PathText::mouseReleaseEvent(QMouseEvent* pEvent) {
    if (pEvent->button() != Qt::LeftButton || !c_Pressed) return;
    c_Pressed = false;
    Draw(0);
    if (ButtonLive() && OnButton(pEvent->position())) SelectButtonClick();
}

void UC_PathText::focusInEvent(QFocusEvent* pEvent) {
    QWidget::focusInEvent(pEvent);
    update();
}

void UC_PathText::focusOutEvent(QFocusEvent* pEvent) {
    QWidget::focusOutEvent(pEvent);
    update();
}

void UC_PathText::keyPressEvent(QKeyEvent* pEvent) {
    const int key = pEvent->key();
    if ((key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) &&
        pEvent->modifiers() == Qt::NoModifier) {
        if (ButtonLive() && isEnabled()) SelectButtonClick();
        pEvent->accept();
        return;
    }
    QWidget::keyPressEvent(pEvent);
}

bool UC_PathText::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (pWatched == c_TextPath && pEvent->type() == QEvent::MouseButtonDblClick) emit TextDblClicked();
    return QWidget::eventFilter(pWatched, pEvent);
}

}  // namespace sonivate
