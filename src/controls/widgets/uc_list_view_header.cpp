// The list view's header: its columns, the mouse over the header strip
// (resizing, sorting) and the column-position menu.
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

// The header menu: one entry per display position.
void UC_ListView::BuildColumnMenu(std::int32_t pColumns) {
    QList<QAction*> actions = c_MenuRCTab->actions();
    for (qsizetype k = pColumns; k < actions.size(); ++k) delete actions[k];
    for (std::int32_t k = static_cast<std::int32_t>(std::min<qsizetype>(actions.size(), pColumns)); k < pColumns; ++k) {
        QAction* action = c_MenuRCTab->addAction(QString::number(k + 1));
        connect(action, &QAction::triggered, this, [this, k] { MenuChosen(k); });
    }
}

// ---- Columns ---------------------------------------------------------------------------------

void UC_ListView::SetTabName(std::int32_t pData, const std::string& pValue) { c_Model.SetTabName(pData, pValue); }
void UC_ListView::SetTabWidth(std::int32_t pData, std::int32_t pValue) { c_Model.SetTabWidth(pData, pValue); }
void UC_ListView::SetTabHidden(std::int32_t pData, std::int32_t pValue) { c_Model.SetTabHidden(pData, pValue); }
void UC_ListView::SetTabAlign(std::int32_t pData, std::int32_t pValue) { c_Model.SetTabAlign(pData, pValue); }

void UC_ListView::SetTabWidthAuto() {
    const std::int32_t count = c_Model.ItemCount();
    if (count == 0) return;
    const std::int32_t tpp = Tpp();
    const QFontMetrics metrics(SlotFont(0));
    constexpr std::int32_t kAutoExtraPixels = 16;
    for (std::int32_t c = 0; c < c_Model.NumData(); ++c) {
        int widest = 0;
        for (std::int32_t row = 0; row < count; ++row)
            widest = std::max(widest, metrics.horizontalAdvance(Q(c_Model.Value(row, c).AsText())));
        std::int32_t width = widest + ScaledPixels(kAutoExtraPixels);
        if (c_Model.TabOrder(c) == 0 && c_Model.IconDisabled() == 0) width += IconPixels();
        c_Model.SetTabWidth(c, std::max(width * tpp, kMinTabWidth));
    }
    c_Model.LayoutColumns();
    SetVbarParm();
    ReDrawTab(-1);
    ReDraw();
}

void UC_ListView::MenuChosen(std::int32_t pPosition) {
    c_Model.SetTabOrder(c_MenuColumn, pPosition);
    c_Model.LayoutColumns();
    ReDrawTab(-1);
    ReDraw();
    emit TabReOrderd();
}

// ---- Header mouse -----------------------------------------------------------------------------------

void UC_ListView::HeaderMouseMove(QPoint pPos, Qt::MouseButtons pButtons) {
    if (c_TabDisabled != 0) return;
    const std::int32_t tpp = Tpp();
    const double x = static_cast<double>(pPos.x()) * tpp;
    if (pButtons == Qt::NoButton) {
        c_ResizeColumn = c_Model.ColumnEdgeAtX(x);
        c_Header->setCursor(c_ResizeColumn >= 0 ? Qt::SizeHorCursor : Qt::ArrowCursor);
        return;
    }
    if ((pButtons & Qt::LeftButton) && c_Resizing && c_ResizeColumn >= 0) {
        const std::int64_t width = static_cast<std::int64_t>(x) + c_Model.HorizontalOffset() + kResizeGrabPixels * tpp -
                                   c_Model.TabLeft(c_ResizeColumn);
        c_Model.SetTabWidth(c_ResizeColumn,
                            static_cast<std::int32_t>(std::clamp<std::int64_t>(width, kMinTabWidth, INT32_MAX)));
        c_Model.LayoutColumns();
        ReDrawTab(-1);
    }
}

void UC_ListView::HeaderMousePress(QPoint pPos, Qt::MouseButton pButton) {
    if (c_TabDisabled != 0 || pButton != Qt::LeftButton) return;
    const double x = static_cast<double>(pPos.x()) * Tpp();
    c_ResizeColumn = c_Model.ColumnEdgeAtX(x);
    if (c_ResizeColumn >= 0) {
        c_Resizing = true;
        return;
    }
    ReDrawTab(c_Model.ColumnAtX(x));
}

void UC_ListView::HeaderMouseRelease(QPoint pPos, Qt::MouseButton pButton, QPoint pGlobal) {
    if (c_TabDisabled != 0) return;
    const double x = static_cast<double>(pPos.x()) * Tpp();
    if (pButton == Qt::LeftButton) {
        if (c_Resizing) {
            c_Resizing = false;
            c_ResizeColumn = -1;
            c_Header->setCursor(Qt::ArrowCursor);
            SetVbarParm();
            ReDrawTab(-1);
            ReDraw();
            emit TabMoved();
            return;
        }
        if (c_Model.SortDisabled() == 0 && c_Model.ClickDisabled() == 0) {
            c_Model.ReOrder(c_Model.ColumnAtX(x), 0, -1);
            ReDrawTab(-1);
            ReDraw();
        } else {
            // Nothing sorts; the cell pressed a moment ago comes up again.
            ReDrawTab(-1);
        }
        return;
    }
    if (pButton == Qt::RightButton && c_UseTabOrder == 0) {
        std::int32_t column = c_Model.ColumnAtX(x);
        emit TabRightClicked(column, pGlobal);
        OpenColumnMenu(pGlobal);
        return;
    }
    if (pButton == Qt::RightButton) {
        c_MenuColumn = c_Model.ColumnAtX(x);
        const QList<QAction*> actions = c_MenuRCTab->actions();
        const std::int32_t position = c_Model.TabOrder(c_MenuColumn);
        for (qsizetype k = 0; k < actions.size(); ++k) actions[k]->setEnabled(k != position);
        c_MenuRCTab->popup(pGlobal);
    }
}

void UC_ListView::ShowColumn(std::int32_t pData, bool pShown) {
    c_Model.SetTabHidden(pData, pShown ? 0 : 1);
    SetVbarParm();
    ReDrawTab(-1);
    ReDraw();
}

void UC_ListView::OpenColumnMenu(QPoint pGlobal) {
    if (c_Hideable.empty()) return;
    if (c_ColumnMenu == nullptr) {
        c_ColumnMenu = new QMenu(this);
        c_ColumnMenu->setObjectName("ColumnMenu");
    }
    c_ColumnMenu->clear();
    for (const HideableColumn& column : c_Hideable) {
        QAction* action = c_ColumnMenu->addAction(column.Text);
        action->setObjectName(column.Name);
        action->setCheckable(true);
        action->setChecked(c_Model.TabHidden(column.Column) == 0);
        const std::int32_t number = column.Column;
        connect(action, &QAction::toggled, this, [this, number](bool pOn) {
            ShowColumn(number, pOn);
            emit ColumnShownChanged(number, pOn);
        });
    }
    c_ColumnMenu->popup(pGlobal);
}

}  // namespace sonivate
