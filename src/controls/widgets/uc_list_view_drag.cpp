// The list view's drags: rows dragged out as file URLs, files dropped on
// the item area, and scrolling while a drag hovers.
#include "controls/widgets/uc_list_view.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include <QAction>
#include <QDrag>
#include <QPixmap>
#include <QUrl>
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

namespace {

Qt::DropActions ActionsOf(std::int32_t pEffects) {
    Qt::DropActions actions;
    if (pEffects & kDropEffectCopy) actions |= Qt::CopyAction;
    if (pEffects & kDropEffectMove) actions |= Qt::MoveAction;
    if (pEffects & 4) actions |= Qt::LinkAction;
    return actions;
}

// A drag of file URLs through the platform.
std::int32_t RunPlatformDrag(QWidget* pSource, QMimeData* pData, std::int32_t pAllowed, const QPixmap& pPixmap) {
    auto* drag = new QDrag(pSource);
    drag->setMimeData(pData);
    if (!pPixmap.isNull()) drag->setPixmap(pPixmap);
    const Qt::DropActions actions = ActionsOf(pAllowed);
    return DropEffects(drag->exec(actions, actions & Qt::CopyAction ? Qt::CopyAction : Qt::MoveAction));
}

// An icon of the strip as a pixmap with transparency, for the drag cursor,
// as large as the rows show it (pSizeRate).
QPixmap IconPixmap(const Picture& pStrip, std::int32_t pIcon, double pSizeRate) {
    const QImage& strip = pStrip.Image();
    const qreal ratio = strip.devicePixelRatio();
    const int size = static_cast<int>(kListIconSize * ratio);
    QImage icon(size, size, QImage::Format_ARGB32);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const int sx = static_cast<int>(pIcon * kListIconSize * ratio) + x;
            const bool clear = (strip.pixel(sx, y + size) & 0xFFFFFF) != 0;
            icon.setPixel(x, y, clear ? 0 : strip.pixel(sx, y));
        }
    }
    icon.setDevicePixelRatio(ratio / pSizeRate);
    return QPixmap::fromImage(icon);
}

}  // namespace

// ---- Drag and drop ------------------------------------------------------------------------------------------

void UC_ListView::SetClock(std::function<double()> pClock) { c_Clock = pClock ? std::move(pClock) : SteadySeconds; }

void UC_ListView::SetDragRunner(std::function<std::int32_t(QMimeData*, std::int32_t)> pRunner) {
    c_DragRunner = std::move(pRunner);
}

void UC_ListView::StartItemDrag() {
    if (c_Model.ItemCount() == 0 || c_Model.ClickDisabled() == 1) return;
    DragData dragData;
    std::int32_t allowed = kDropEffectCopy | kDropEffectMove;
    emit OLEStartDrag(dragData, allowed);
    std::int32_t effect = kDropEffectNone;
    if (!dragData.Files.empty() && allowed != kDropEffectNone) {
        auto* mime = new QMimeData;
        QList<QUrl> urls;
        for (const std::string& path : dragData.Files) urls.append(QUrl::fromLocalFile(Q(path)));
        mime->setUrls(urls);
        if (c_DragRunner) {
            effect = c_DragRunner(mime, allowed);
            delete mime;
        } else {
            effect = RunPlatformDrag(c_ItemArea, mime, allowed, IconPixmap(c_PictureIcons, kListIconWave, c_SizeRate));
        }
    }
    emit OLECompleteDrag(effect);
}

bool UC_ListView::ItemDragEnter(const QMimeData* pData) {
    if (pData == nullptr || !pData->hasUrls()) return false;
    c_DragHovering = true;
    c_LastDragPos = QPoint(-1, -1);
    c_DragTimer->start();
    return true;
}

void UC_ListView::ItemDragLeave() {
    c_DragHovering = false;
    c_DragTimer->stop();
}

void UC_ListView::DragOverNotice(QPoint pPoint) {
    emit OLEDragOver();
    if (c_NoOleScroll != 0 || !VBarVisible()) return;
    if (pPoint != c_LastDragPos) {
        c_LastDragPos = pPoint;
        return;
    }
    const double now = c_Clock();
    const double dt = now - c_LastScrollTime;
    if (dt > kDragRestartSeconds || dt < 0) {
        c_LastScrollTime = now;
        return;
    }
    const std::int32_t tpp = Tpp();
    const double y = static_cast<double>(pPoint.y()) * tpp;
    const double oneHeight = c_Model.OneHeight();
    const double areaHeight = static_cast<double>(c_AreaHeight) * tpp;
    const std::int32_t large = c_VBar->LargeChange();
    std::int32_t step = 0;
    if (y < oneHeight / 2 && dt >= kDragFastSeconds)
        step = -large;
    else if (y < 1.5 * oneHeight && dt >= kDragSlowSeconds)
        step = -1;
    else if (y > areaHeight - 1.5 * oneHeight && y <= areaHeight - 0.5 * oneHeight && dt >= kDragSlowSeconds)
        step = 1;
    else if (y > areaHeight - oneHeight / 2 && dt >= kDragFastSeconds)
        step = large;
    if (step == 0) return;
    const std::int32_t before = c_VBar->Value();
    c_VBar->SetValue(std::clamp(before + step, 0, c_VBar->Max()));
    c_LastScrollTime = now;
    if (!c_VBar->ReportsChanges()) SyncTopItem();
}

bool UC_ListView::ItemDrop(const QMimeData* pData, QPoint pPos, Qt::DropAction& pAction, Qt::MouseButtons pButtons,
                           Qt::KeyboardModifiers pModifiers) {
    ItemDragLeave();
    if (pData == nullptr || !pData->hasUrls()) return false;
    DragData dropped;
    dropped.Format = DragData::kFormatFileList;
    for (const QUrl& url : pData->urls())
        if (url.isLocalFile()) dropped.Files.push_back(S(url.toLocalFile()));
    const std::int32_t tpp = Tpp();
    std::int32_t effect = DropEffects(pAction), button = ButtonMask(pButtons), shift = ShiftMask(pModifiers);
    double x = static_cast<double>(pPos.x()) * tpp, y = static_cast<double>(pPos.y()) * tpp;
    emit OLEDragDrop(dropped, effect, button, shift, x, y);
    pAction = DropActionOf(effect);
    return effect != kDropEffectNone;
}

}  // namespace sonivate
