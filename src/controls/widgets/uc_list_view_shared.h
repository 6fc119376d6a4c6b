#pragma once
// Shared by the list view's own files, not by its hosts: the geometry and
// timing constants, the unit helpers, the two areas (header strip and item
// area) that hand their input to the list, the scroll bars' common face
// and the in-place editors' table.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <QComboBox>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QString>
#include <QWidget>

#include "controls/widgets/uc_list_view.h"
#include "uikit/colors.h"
#include "uikit/ui_metrics.h"

namespace sonivate {
namespace list_view_detail {

// Geometry (pixels at SizeRate 1 unless named twips; the list scales the
// pixel lengths by its SizeRate).
inline constexpr std::int32_t kFramePixels = 2;          // sunken frame around everything
inline constexpr std::int32_t kRightGapPixels = 2;       // the outer surface is this much narrower than the control
inline constexpr std::int32_t kBarThicknessTwips = 270;  // both scroll bars
inline constexpr std::int32_t kMinLayoutTwips = 600;     // smaller controls are not laid out
inline constexpr std::int32_t kHeaderTextTopPixels = 3;
inline constexpr std::int32_t kHeaderBottomPixels = 4;  // room below a caption
inline constexpr std::int32_t kCaptionMarginPixels = 6;
inline constexpr std::int32_t kCellMarginPixels = 6;
inline constexpr std::int32_t kHeaderGradientWidth = 32;
inline constexpr std::int32_t kHeaderGradientStyle = 5;
inline constexpr std::int32_t kResizeGrabPixels = 3;  // a dragged edge sits this far right of the pointer
inline constexpr std::int32_t kIconLeftPixels = 2;
inline constexpr std::int32_t kDragThresholdPixels = 8;
inline constexpr std::int32_t kInvertBoxInsetPixels = 2;  // a column-only selection box ends this far inside
inline constexpr std::int32_t kTextEditorInsetPixels = 3;
inline constexpr std::int32_t kComboEditorInsetPixels = 2;
inline constexpr std::int32_t kComboRowExtraPixels = 2;
inline constexpr std::int32_t kTextRowExtraPixels = 4;
inline constexpr std::int32_t kTextEditorMarginPixels = 2;
inline constexpr std::int32_t kEditorRaiseWithCombo = 4;
inline constexpr std::int32_t kEditorRaiseWithText = 2;
// Row height beyond the item font's line height, and the least room above
// and below a row icon.
inline constexpr std::int32_t kRowPaddingPixels = 8;
inline constexpr std::int32_t kIconRowGapPixels = 3;
// The header's sort arrow: a triangle this wide and high, this far right of the caption.
inline constexpr std::int32_t kSortArrowWidthPixels = 9;
inline constexpr std::int32_t kSortArrowHeightPixels = 5;
inline constexpr std::int32_t kSortArrowGapPixels = 4;
inline constexpr int kWheelNotch = 120;  // angle delta of one wheel step (1/8 degree)

// Colours.
inline constexpr std::int32_t kMadaraColor = 0xFFFFCC;  // RGB(204, 255, 255)
inline constexpr std::int32_t kBlankBoxColor = 0xE0E0E0;

// Raster pen modes of the selection box.
inline constexpr std::int32_t kPenNop = 11;

// Automatic scrolling while a drag hovers (seconds and rows).
inline constexpr double kDragRestartSeconds = 1.0;
inline constexpr double kDragFastSeconds = 0.02;
inline constexpr double kDragSlowSeconds = 0.2;
inline constexpr int kDragNoticeMilliseconds = 50;  // the platform's hover notices, emulated

// Editor kinds of the key events (pIsCombo).
inline constexpr std::int32_t kKeyFromText = 0;
inline constexpr std::int32_t kKeyFromCombo = 1;
inline constexpr std::int32_t kKeyUp = 0;
inline constexpr std::int32_t kKeyDown = 1;
inline constexpr std::int32_t kKeyPress = 2;

// Largest value of a standard scroll bar, as the classic controls allow.
inline constexpr std::int32_t kStandardBarMax = 32767;

inline std::int32_t Tpp() { return TwipsPerPixel(); }

inline QString Q(std::string_view pText) {
    return QString::fromUtf8(pText.data(), static_cast<qsizetype>(pText.size()));
}
inline std::string S(const QString& pText) { return pText.toStdString(); }

inline double SteadySeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// The scroll bars: standard ones or sliders, behind one face.
class ListBar {
public:
    virtual ~ListBar() = default;
    virtual QWidget* Widget() = 0;
    virtual std::int32_t Value() const = 0;
    // Limited to the range. A standard bar then reports the change itself.
    virtual void SetValue(std::int32_t pValue) = 0;
    virtual std::int32_t Max() const = 0;
    virtual std::int32_t LargeChange() const = 0;
    // Range 0..pMax, steps, and the thumb's share of the track (sliders).
    virtual void Configure(std::int32_t pMax, std::int32_t pLarge, std::int32_t pSmall, double pThumbRatio) = 0;
    // True when the bar reports value changes itself (standard bars).
    virtual bool ReportsChanges() const = 0;
};

// The header strip: shows the header picture, hands the mouse to the list.
class HeaderArea final : public QWidget {
public:
    explicit HeaderArea(UC_ListView* pOwner) : QWidget(pOwner), c_Owner(pOwner) {
        setMouseTracking(true);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.drawImage(0, 0, c_Owner->c_PictureTab.Image());
    }
    void mouseMoveEvent(QMouseEvent* pEvent) override { c_Owner->HeaderMouseMove(pEvent->pos(), pEvent->buttons()); }
    void mousePressEvent(QMouseEvent* pEvent) override { c_Owner->HeaderMousePress(pEvent->pos(), pEvent->button()); }
    void mouseDoubleClickEvent(QMouseEvent* pEvent) override {
        c_Owner->HeaderMousePress(pEvent->pos(), pEvent->button());
    }
    void mouseReleaseEvent(QMouseEvent* pEvent) override {
        c_Owner->HeaderMouseRelease(pEvent->pos(), pEvent->button(), pEvent->globalPosition().toPoint());
    }

private:
    UC_ListView* c_Owner;
};

// The item area: shows the list picture, holds the editors, takes the mouse,
// the wheel and drops.
class ItemArea final : public QWidget {
public:
    explicit ItemArea(UC_ListView* pOwner) : QWidget(pOwner), c_Owner(pOwner) {
        setMouseTracking(true);
        // A click in the rows gives the list the keyboard.
        setFocusPolicy(Qt::ClickFocus);
        setFocusProxy(pOwner);
        setAcceptDrops(true);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    bool event(QEvent* pEvent) override {
        if (pEvent->type() == QEvent::ToolTip) {
            auto* help = static_cast<QHelpEvent*>(pEvent);
            if (!c_Owner->ItemToolTip(help->pos(), help->globalPos())) pEvent->ignore();
            return true;
        }
        return QWidget::event(pEvent);
    }
    void paintEvent(QPaintEvent* pEvent) override {
        if (c_Owner->c_PictureList.Image().devicePixelRatio() != devicePixelRatioF()) {
            c_Owner->EnsurePictures();
            c_Owner->RenderList();
        }
        QPainter painter(this);
        painter.fillRect(pEvent->rect(), ToQColor(c_Owner->c_Model.Style().BackColor));
        painter.drawImage(0, 0, c_Owner->c_PictureList.Image());
    }
    void mousePressEvent(QMouseEvent* pEvent) override {
        c_Owner->ItemMousePress(pEvent->pos(), pEvent->button(), pEvent->modifiers());
    }
    void mouseMoveEvent(QMouseEvent* pEvent) override { c_Owner->ItemMouseMove(pEvent->pos(), pEvent->buttons()); }
    void mouseReleaseEvent(QMouseEvent* pEvent) override {
        c_Owner->ItemMouseRelease(pEvent->pos(), pEvent->button(), pEvent->modifiers());
    }
    // The second press of a double-click arrives as this event alone.
    void mouseDoubleClickEvent(QMouseEvent* pEvent) override {
        if (pEvent->button() == Qt::LeftButton)
            c_Owner->ItemDoubleClick();
        else
            c_Owner->ItemMousePress(pEvent->pos(), pEvent->button(), pEvent->modifiers());
    }
    void wheelEvent(QWheelEvent* pEvent) override {
        c_Owner->ItemWheel(pEvent->angleDelta().y());
        pEvent->accept();
    }
    void dragEnterEvent(QDragEnterEvent* pEvent) override {
        if (!c_Owner->ItemDragEnter(pEvent->mimeData())) return;
        pEvent->acceptProposedAction();
        c_Owner->DragOverNotice(pEvent->position().toPoint());
    }
    void dragMoveEvent(QDragMoveEvent* pEvent) override {
        pEvent->acceptProposedAction();
        c_Owner->DragOverNotice(pEvent->position().toPoint());
    }
    void dragLeaveEvent(QDragLeaveEvent*) override { c_Owner->ItemDragLeave(); }
    void dropEvent(QDropEvent* pEvent) override {
        Qt::DropAction action = pEvent->proposedAction();
        if (!c_Owner->ItemDrop(pEvent->mimeData(), pEvent->position().toPoint(), action, pEvent->buttons(),
                               pEvent->modifiers())) {
            pEvent->ignore();
            return;
        }
        // The list keeps only the paths: whatever the host answers, the drop
        // is a copy, so that a file manager never deletes files after a
        // move-drag onto the list.
        const Qt::DropActions offered = pEvent->possibleActions();
        if (offered & Qt::CopyAction) {
            pEvent->setDropAction(Qt::CopyAction);
        } else if (offered & Qt::LinkAction) {
            pEvent->setDropAction(Qt::LinkAction);
        } else {
            pEvent->ignore();
            return;
        }
        pEvent->accept();
    }

private:
    UC_ListView* c_Owner;
};

}  // namespace list_view_detail

// The in-place editors, numbered per kind in column order, and which column
// each serves.
struct UC_ListView::Editors {
    std::vector<QLineEdit*> Text;
    std::vector<QComboBox*> Combo;
    std::vector<QComboBox*> List;
    // Per column: instance number of each kind, -1 none.
    std::vector<std::int32_t> TextOf;
    std::vector<std::int32_t> ComboOf;
    std::vector<std::int32_t> ListOf;
    // Objects that send key events: the text boxes and the combos' line edits.
    std::vector<std::pair<QObject*, std::pair<std::int32_t, std::int32_t>>> KeySources;  // (is combo, column)

    QLineEdit* TextFor(std::int32_t pColumn) const { return Pick(Text, TextOf, pColumn); }
    QComboBox* ComboFor(std::int32_t pColumn) const { return Pick(Combo, ComboOf, pColumn); }
    QComboBox* ListFor(std::int32_t pColumn) const { return Pick(List, ListOf, pColumn); }

    template <class T>
    static T* Pick(const std::vector<T*>& pAll, const std::vector<std::int32_t>& pOf, std::int32_t pColumn) {
        if (pColumn < 0 || static_cast<std::size_t>(pColumn) >= pOf.size()) return nullptr;
        const std::int32_t k = pOf[static_cast<std::size_t>(pColumn)];
        return k >= 0 && static_cast<std::size_t>(k) < pAll.size() ? pAll[static_cast<std::size_t>(k)] : nullptr;
    }
    std::vector<QWidget*> All() const {
        std::vector<QWidget*> all(Text.begin(), Text.end());
        all.insert(all.end(), Combo.begin(), Combo.end());
        all.insert(all.end(), List.begin(), List.end());
        return all;
    }
};

}  // namespace sonivate
