#include "uikit/layout.h"

#include <cmath>

#include <QComboBox>
#include <QPalette>
#include <QWidget>

#include "common/error_trap.h"
#include "uikit/colors.h"
#include "uikit/fonts.h"
#include "uikit/ui_metrics.h"

namespace sonivate {
namespace {

// Gap of PlaceNextTo's default, pixels.
constexpr std::int32_t kDefaultGapPixels = 2;

std::int32_t Tw(int pPixels) { return PixelsToTwips(pPixels); }

// A design length at the layout scale, in whole pixels.
int ScaledPixels(std::int32_t pTwips, float pRate) { return TwipsToPixels(ScaledTwips(pTwips, pRate)); }

}  // namespace

TwipsRect TwipsGeometry(const QWidget& pControl) {
    const QRect g = pControl.isWindow() ? pControl.frameGeometry() : pControl.geometry();
    return {Tw(g.x()), Tw(g.y()), Tw(g.width()), Tw(g.height())};
}

void SetTwipsPos(QWidget& pControl, std::int32_t pLeft, std::int32_t pTop) {
    pControl.move(TwipsToPixels(pLeft), TwipsToPixels(pTop));
}

void SetTwipsSize(QWidget& pControl, std::int32_t pWidth, std::int32_t pHeight) {
    int w = TwipsToPixels(pWidth), h = TwipsToPixels(pHeight);
    if (pControl.isWindow()) {
        // The twips size of a window includes its frame.
        w -= pControl.frameGeometry().width() - pControl.width();
        h -= pControl.frameGeometry().height() - pControl.height();
    }
    pControl.resize(std::max(w, 0), std::max(h, 0));
}

void SetTwipsGeometry(QWidget& pControl, const TwipsRect& pRect) {
    SetTwipsSize(pControl, pRect.Width, pRect.Height);
    SetTwipsPos(pControl, pRect.Left, pRect.Top);
}

std::int32_t WidgetPlacement::WindowState() const {
    if (c_Window.isMinimized()) return kWindowMinimized;
    if (c_Window.isMaximized()) return kWindowMaximized;
    return kWindowNormal;
}

void WidgetPlacement::SetWindowState(std::int32_t pState) {
    const Qt::WindowStates keep = c_Window.windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    switch (pState) {
        case kWindowMinimized:
            c_Window.setWindowState(keep | Qt::WindowMinimized);
            break;
        case kWindowMaximized:
            c_Window.setWindowState(keep | Qt::WindowMaximized);
            break;
        default:
            c_Window.setWindowState(keep);
            break;
    }
}

float WidgetPlacement::Left() const { return static_cast<float>(TwipsGeometry(c_Window).Left); }
float WidgetPlacement::Top() const { return static_cast<float>(TwipsGeometry(c_Window).Top); }
float WidgetPlacement::Width() const { return static_cast<float>(TwipsGeometry(c_Window).Width); }
float WidgetPlacement::Height() const { return static_cast<float>(TwipsGeometry(c_Window).Height); }

void WidgetPlacement::SetLeft(float pTwips) {
    SetTwipsPos(c_Window, CheckedNarrow<std::int32_t>(pTwips), TwipsGeometry(c_Window).Top);
}
void WidgetPlacement::SetTop(float pTwips) {
    SetTwipsPos(c_Window, TwipsGeometry(c_Window).Left, CheckedNarrow<std::int32_t>(pTwips));
}
void WidgetPlacement::SetWidth(float pTwips) {
    SetTwipsSize(c_Window, CheckedNarrow<std::int32_t>(pTwips), TwipsGeometry(c_Window).Height);
}
void WidgetPlacement::SetHeight(float pTwips) {
    SetTwipsSize(c_Window, TwipsGeometry(c_Window).Width, CheckedNarrow<std::int32_t>(pTwips));
}

void ScaleControl(float pRate, QWidget& pControl, bool pKeepWidth, bool pKeepHeight, bool pMoveToo, float pFontSize) {
    Trap([&] {
        if (pRate != 1.0f) {
            const TwipsRect r = TwipsGeometry(pControl);
            const QRect g = pControl.geometry();
            const int w = pKeepWidth ? g.width() : ScaledPixels(r.Width, pRate);
            const int h = pKeepHeight ? g.height() : ScaledPixels(r.Height, pRate);
            pControl.resize(w, h);
            if (pMoveToo) pControl.move(ScaledPixels(r.Left, pRate), ScaledPixels(r.Top, pRate));
        }
        if (pFontSize != 0) ApplyFont(&pControl, kFontByArguments, nullptr, pRate * pFontSize, false, false, "");
    });
}

void PlaceNextTo(QWidget& pControl, const QWidget& pReference, std::int32_t pSide, std::int32_t pGap,
                 std::int32_t pAlignMode, std::int32_t pValue) {
    Trap([&] {
        const std::int32_t gap = pGap == kDefaultGap ? PixelsToTwips(kDefaultGapPixels) : pGap;
        const TwipsRect ref = TwipsGeometry(pReference);
        TwipsRect me = TwipsGeometry(pControl);
        switch (pSide) {
            case kPlaceBelow:
            case kPlaceCentredVertically:
                me.Top = pSide == kPlaceBelow ? ref.Top + ref.Height + gap : ref.Top + ref.Height / 2 - me.Height / 2;
                if (pAlignMode == kAlignCopy) me.Left = ref.Left;
                if (pAlignMode == kAlignValue) me.Left = pValue;
                break;
            case kPlaceRight:
                me.Left = ref.Left + ref.Width + gap;
                if (pAlignMode == kAlignCopy) me.Top = ref.Top;
                if (pAlignMode == kAlignValue) me.Top = pValue;
                break;
            case kPlaceRightAligned:
                me.Left = ref.Left + ref.Width - me.Width + gap;
                if (pAlignMode == kAlignCopy) me.Top = ref.Top + ref.Height + gap;
                if (pAlignMode == kAlignValue) me.Top = pValue;
                break;
            default:
                return;
        }
        SetTwipsPos(pControl, me.Left, me.Top);
    });
}

QWidget* LoadControlCopy(std::vector<QWidget*>& pArray, std::size_t pIndex, std::int32_t pSide, std::int32_t pGap,
                         bool pSetFont, bool pVisible, const std::function<QWidget*(QWidget* pParent)>& pFactory) {
    return Trapped<QWidget*>(nullptr, [&]() -> QWidget* {
        if (pIndex == 0 || pIndex > pArray.size() || pArray[pIndex - 1] == nullptr || !pFactory) return nullptr;
        QWidget* previous = pArray[pIndex - 1];
        QWidget* copy = pFactory(previous->parentWidget());
        if (copy == nullptr) return nullptr;
        if (pArray.size() <= pIndex) pArray.resize(pIndex + 1, nullptr);
        pArray[pIndex] = copy;
        copy->resize(previous->size());
        copy->move(previous->pos());
        QWidget::setTabOrder(previous, copy);
        if (pSetFont) {
            ApplyFont(copy, kFontByArguments, nullptr, kDefaultFontSize, false, false, "");
            if (pIndex == 1) ApplyFont(pArray[0], kFontByArguments, nullptr, kDefaultFontSize, false, false, "");
        }
        if (pSide >= 0) PlaceNextTo(*copy, *previous, pSide, pGap, kAlignCopy, 0);
        copy->setVisible(pVisible);
        return copy;
    });
}

void SelectComboText(QComboBox& pCombo, const std::string& pText) {
    Trap([&] {
        const QString text = QString::fromStdString(pText);
        for (int i = pCombo.count() - 1; i >= 0; --i) {
            if (pCombo.itemText(i) == text) {
                pCombo.setCurrentIndex(i);
                return;
            }
        }
    });
}

void ApplyColorScheme(QWidget& pControl, std::int32_t pScheme, std::int32_t pFore, std::int32_t pBack) {
    std::int32_t fore = 0, back = 0;
    if (!ColorScheme(pScheme, pFore, pBack, fore, back)) return;
    QPalette palette = pControl.palette();
    for (QPalette::ColorRole role : {QPalette::Window, QPalette::Base, QPalette::Button})
        palette.setColor(role, ToQColor(back));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(role, ToQColor(fore));
    pControl.setPalette(palette);
    pControl.setAutoFillBackground(true);
}

void ApplyColorScheme(Picture& pSurface, std::int32_t pScheme, std::int32_t pFore, std::int32_t pBack) {
    std::int32_t fore = 0, back = 0;
    if (!ColorScheme(pScheme, pFore, pBack, fore, back)) return;
    pSurface.SetForeColor(fore);
    pSurface.SetBackColor(back);
}

}  // namespace sonivate
