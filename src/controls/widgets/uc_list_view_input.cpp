// The list view's keys and the mouse over its item area.
#include "controls/widgets/uc_list_view.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include <QAction>
#include <QComboBox>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolTip>

#include "common/formatting.h"
#include "common/numeric.h"
#include "controls/widgets/input_codes.h"
#include "controls/widgets/list_icons.h"
#include "uikit/colors.h"
#include "uikit/drawing.h"
#include "uikit/fonts.h"
#include "uikit/ui_metrics.h"

#include "controls/widgets/uc_list_view_shared.h"

namespace sonivate {

using namespace list_view_detail;

void UC_ListView::focusInEvent(QFocusEvent* pEvent) {
    QWidget::focusInEvent(pEvent);
    update();
}

void UC_ListView::focusOutEvent(QFocusEvent* pEvent) {
    QWidget::focusOutEvent(pEvent);
    update();
}

void UC_ListView::keyPressEvent(QKeyEvent* pEvent) {
    const std::int32_t count = c_Model.ItemCount();
    const Qt::KeyboardModifiers mods = pEvent->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier);
    const bool shift = mods == Qt::ShiftModifier;
    const bool ctrl = mods == Qt::ControlModifier;
    const std::int32_t page = std::max<std::int32_t>(1, c_VisibleRows - 1);
    const std::int32_t cursor = c_Model.SelectedItem();
    std::int32_t target = -1;
    switch (pEvent->key()) {
        case Qt::Key_Up:
            target = cursor < 0 ? 0 : cursor - 1;
            break;
        case Qt::Key_Down:
            target = cursor < 0 ? 0 : cursor + 1;
            break;
        case Qt::Key_PageUp:
            target = cursor < 0 ? 0 : cursor - page;
            break;
        case Qt::Key_PageDown:
            target = cursor < 0 ? 0 : cursor + page;
            break;
        case Qt::Key_Home:
            target = 0;
            break;
        case Qt::Key_End:
            target = count - 1;
            break;
        case Qt::Key_A:
            if (!ctrl) {
                pEvent->ignore();
                return;
            }
            if (c_Model.ClickDisabled() == 0 && c_Model.NoMultiSelect() == 0) c_Model.SelectAll();
            pEvent->accept();
            return;
        case Qt::Key_Space:
            if (!ctrl) {
                pEvent->ignore();
                return;
            }
            if (c_Model.ClickDisabled() == 0 && cursor >= 0)
                c_Model.SetIsSelected(cursor, c_Model.IsSelected(cursor) == 1 ? 0 : 1);
            pEvent->accept();
            return;
        case Qt::Key_Delete:
            if (c_Model.ClickDisabled() == 0 && c_Model.NumSelectedItems() > 0) emit DeletePressed();
            pEvent->accept();
            return;
        default:
            pEvent->ignore();
            return;
    }
    // A movement key: handled here even when nothing moves, so that it never
    // reaches another control.
    pEvent->accept();
    if (c_Model.ClickDisabled() != 0 || count == 0) return;
    target = std::clamp(target, 0, count - 1);
    if (shift && c_Model.NoMultiSelect() == 0) {
        if (c_KeyAnchor < 0 || c_KeyAnchor >= count) c_KeyAnchor = cursor < 0 ? target : cursor;
        const std::int32_t from = std::min(c_KeyAnchor, target), to = std::max(c_KeyAnchor, target);
        c_Model.UnSelectAll();
        for (std::int32_t row = from; row <= to; ++row) c_Model.SetIsSelected(row, 1);
        c_Model.SetSelectedItem(target);
    } else if (ctrl && c_Model.NoMultiSelect() == 0) {
        // The cursor moves; the selection stays as it is.
        const std::int32_t wasSelected = c_Model.IsSelected(target);
        c_Model.SetSelectedItem(target);
        c_Model.SetIsSelected(target, wasSelected);
        c_KeyAnchor = target;
    } else {
        c_Model.UnSelectAll();
        c_Model.SetSelectedItem(target);
        c_KeyAnchor = target;
    }
    ShowSelected(1);
}

// ---- Item-area mouse ------------------------------------------------------------------------------------

void UC_ListView::ItemMousePress(QPoint pPos, Qt::MouseButton pButton, Qt::KeyboardModifiers pModifiers) {
    // A Shift selection by keys starts again from the row the mouse makes current.
    c_KeyAnchor = -1;
    const std::int32_t tpp = Tpp();
    c_PressVValue = VBarValue();
    c_PressHValue = HBarValue();
    if (c_Model.ItemAreaMouseDown(ButtonCode(pButton), ShiftMask(pModifiers), static_cast<double>(pPos.x()) * tpp,
                                  static_cast<double>(pPos.y()) * tpp))
        ReDraw();
}

void UC_ListView::ItemMouseRelease(QPoint pPos, Qt::MouseButton pButton, Qt::KeyboardModifiers pModifiers) {
    const std::int32_t tpp = Tpp();
    if (c_Model.ItemAreaMouseUp(ButtonCode(pButton), ShiftMask(pModifiers), static_cast<double>(pPos.x()) * tpp,
                                static_cast<double>(pPos.y()) * tpp))
        ReDraw();
}

void UC_ListView::ItemDoubleClick() {
    // The double-click takes the place of the second click: its release
    // raises no Clicked.
    c_Model.ForgetPress();
    c_Model.ItemAreaDblClick();
}

void UC_ListView::ItemMouseMove(QPoint pPos, Qt::MouseButtons pButtons) {
    const std::int32_t tpp = Tpp();
    const double x = static_cast<double>(pPos.x()) * tpp, y = static_cast<double>(pPos.y()) * tpp;
    const std::int32_t count = c_Model.ItemCount();
    const std::int32_t oneHeight = c_Model.OneHeight();

    if (c_ShowToolTip != 0 && count > 0 && oneHeight > 0) {
        const std::int64_t row = std::clamp<std::int64_t>(
            RoundHalfEven(y - kClickRowOffsetPixels * tpp) / oneHeight + c_Model.TopItem(), 0, count - 1);
        const std::int32_t column = c_Model.ColumnAtX(x);
        const std::string text = c_ToolTipSource ? c_ToolTipSource(static_cast<std::int32_t>(row), column)
                                                 : c_Model.Value(static_cast<std::int32_t>(row), column).AsText();
        if (text != c_ToolTipText) {
            c_ToolTipText = text;
            c_ItemArea->setToolTip(Q(text));
            if (QToolTip::isVisible()) QToolTip::showText(c_ItemArea->mapToGlobal(pPos), Q(text), c_ItemArea);
        }
    }

    if (c_Model.ClickDisabled() != 0) return;
    if (!(pButtons & Qt::LeftButton)) return;
    if (c_UseScroll != 0) {
        if (!c_Model.HasPress()) return;
        if (VBarVisible() && oneHeight > 0) {
            const std::int32_t newTop = RoundHalfEven(c_Model.PressY() - y) / oneHeight + c_PressVValue;
            if (newTop != c_Model.TopItem() && count > 0) SetTopItem(std::clamp(newTop, 0, count - 1), 1, 0);
        }
        if (HBarVisible()) {
            const std::int32_t value =
                std::clamp(RoundHalfEven(c_Model.PressX() - x + c_PressHValue), 0, c_HBar->Max());
            {
                const QSignalBlocker quiet(c_HBar->Widget());
                c_HBar->SetValue(value);
            }
            SyncHorizontalOffset();
        }
        return;
    }
    if (count == 0 || !c_Model.HasPress()) return;
    const double reach = static_cast<double>(kDragThresholdPixels) * tpp;
    if (std::abs(x - c_Model.PressX()) > reach || std::abs(y - c_Model.PressY()) > reach) {
        c_Model.ForgetPress();
        StartItemDrag();
    }
}

void UC_ListView::ItemWheel(int pAngleDelta) {
    c_WheelRemainder += pAngleDelta;
    const int steps = c_WheelRemainder / kWheelNotch;
    c_WheelRemainder -= steps * kWheelNotch;
    // A notch away from the user (positive) scrolls towards the top.
    if (steps != 0) VBarScroll(-steps);
}

bool UC_ListView::ItemToolTip(QPoint pPos, QPoint pGlobal) {
    if (c_ShowToolTip == 0 || c_ToolTipText.empty()) {
        QToolTip::hideText();
        return false;
    }
    (void)pPos;
    QToolTip::showText(pGlobal, Q(c_ToolTipText), c_ItemArea);
    return true;
}

}  // namespace sonivate
