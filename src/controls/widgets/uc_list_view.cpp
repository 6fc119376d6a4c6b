#include "controls/widgets/uc_list_view.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

#include <QAction>
#include <QComboBox>
#include <QDrag>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPixmap>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolTip>
#include <QUrl>

#include "common/formatting.h"
#include "common/numeric.h"
#include "controls/widgets/input_codes.h"
#include "controls/widgets/list_icons.h"
#include "controls/widgets/sound_devices.h"
#include "controls/widgets/uc_slider.h"
#include "uikit/colors.h"
#include "uikit/drawing.h"
#include "uikit/fonts.h"
#include "uikit/ui_metrics.h"

namespace sonivate {
namespace {

// Geometry (pixels unless named twips).
constexpr std::int32_t kFramePixels = 2;          // sunken frame around everything
constexpr std::int32_t kRightGapPixels = 2;       // the outer surface is this much narrower than the control
constexpr std::int32_t kBarThicknessTwips = 270;  // both scroll bars
constexpr std::int32_t kMinLayoutTwips = 600;     // smaller controls are not laid out
constexpr std::int32_t kHeaderTextTopPixels = 3;
constexpr std::int32_t kHeaderBottomPixels = 4;  // room below a caption
constexpr std::int32_t kCaptionMarginPixels = 6;
constexpr std::int32_t kCellMarginPixels = 6;
constexpr std::int32_t kHeaderGradientWidth = 32;
constexpr std::int32_t kHeaderGradientStyle = 5;
constexpr std::int32_t kResizeGrabPixels = 3;  // a dragged edge sits this far right of the pointer
constexpr std::int32_t kIconLeftPixels = 2;
constexpr std::int32_t kDragThresholdPixels = 8;
constexpr std::int32_t kInvertBoxInsetPixels = 2;  // a column-only selection box ends this far inside
constexpr std::int32_t kTextEditorInsetPixels = 3;
constexpr std::int32_t kComboEditorInsetPixels = 2;
constexpr std::int32_t kComboRowExtraPixels = 2;
constexpr std::int32_t kTextRowExtraPixels = 4;
constexpr std::int32_t kTextEditorMarginPixels = 2;
constexpr std::int32_t kEditorRaiseWithCombo = 4;
constexpr std::int32_t kEditorRaiseWithText = 2;
constexpr double kRowHeightFactor = 1.4;
constexpr int kWheelNotch = 120;  // angle delta of one wheel step (1/8 degree)

// Colours.
constexpr std::int32_t kMadaraColor = 0xFFFFCC;  // RGB(204, 255, 255)
constexpr std::int32_t kBlankBoxColor = 0xE0E0E0;

// Raster pen modes of the selection box.
constexpr std::int32_t kPenNop = 11;

// Automatic scrolling while a drag hovers (seconds and rows).
constexpr double kDragRestartSeconds = 1.0;
constexpr double kDragFastSeconds = 0.02;
constexpr double kDragSlowSeconds = 0.2;
constexpr int kDragNoticeMilliseconds = 50;  // the platform's hover notices, emulated

// Editor kinds of the key events (pIsCombo).
constexpr std::int32_t kKeyFromText = 0;
constexpr std::int32_t kKeyFromCombo = 1;
constexpr std::int32_t kKeyUp = 0;
constexpr std::int32_t kKeyDown = 1;
constexpr std::int32_t kKeyPress = 2;

// Largest value of a standard scroll bar, as the classic controls allow.
constexpr std::int32_t kStandardBarMax = 32767;

std::int32_t Tpp() { return TwipsPerPixel(); }

// Twips to pixels, rounding down also for negative values.
std::int32_t Px(std::int64_t pTwips) {
    const std::int64_t t = Tpp();
    return static_cast<std::int32_t>(pTwips >= 0 ? pTwips / t : -((-pTwips + t - 1) / t));
}

Qt::DropActions ActionsOf(std::int32_t pEffects) {
    Qt::DropActions actions;
    if (pEffects & kDropEffectCopy) actions |= Qt::CopyAction;
    if (pEffects & kDropEffectMove) actions |= Qt::MoveAction;
    if (pEffects & 4) actions |= Qt::LinkAction;
    return actions;
}

// The classic pen modes 1..16 as raster operations; nullopt for "no operation".
std::optional<QPainter::CompositionMode> PenMode(std::int32_t pMode) {
    switch (pMode) {
        case 1:
            return QPainter::CompositionMode_Clear;
        case 2:
            return QPainter::RasterOp_NotSourceAndNotDestination;
        case 3:
            return QPainter::RasterOp_NotSourceAndDestination;
        case 4:
            return QPainter::RasterOp_NotSource;
        case 5:
            return QPainter::RasterOp_SourceAndNotDestination;
        case 6:
            return QPainter::RasterOp_NotDestination;
        case 7:
            return QPainter::RasterOp_SourceXorDestination;
        case 8:
            return QPainter::RasterOp_NotSourceOrNotDestination;
        case 9:
            return QPainter::RasterOp_SourceAndDestination;
        case 10:
            return QPainter::RasterOp_NotSourceXorDestination;
        case kPenNop:
            return std::nullopt;
        case 12:
            return QPainter::RasterOp_NotSourceOrDestination;
        case 14:
            return QPainter::RasterOp_SourceOrNotDestination;
        case 15:
            return QPainter::RasterOp_SourceOrDestination;
        case 16:
            return QPainter::RasterOp_SetDestination;
        default:
            return QPainter::CompositionMode_Source;
    }
}

QString Q(std::string_view pText) { return QString::fromUtf8(pText.data(), static_cast<qsizetype>(pText.size())); }
std::string S(const QString& pText) { return pText.toStdString(); }

// The classic virtual key code of a Qt key (letters and digits are their
// upper-case character codes).
std::int32_t VirtualKey(int pKey) {
    if ((pKey >= Qt::Key_A && pKey <= Qt::Key_Z) || (pKey >= Qt::Key_0 && pKey <= Qt::Key_9)) return pKey;
    if (pKey >= Qt::Key_F1 && pKey <= Qt::Key_F24) return 0x70 + (pKey - Qt::Key_F1);
    switch (pKey) {
        case Qt::Key_Backspace:
            return 0x08;
        case Qt::Key_Tab:
            return 0x09;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return 0x0D;
        case Qt::Key_Shift:
            return 0x10;
        case Qt::Key_Control:
            return 0x11;
        case Qt::Key_Alt:
            return 0x12;
        case Qt::Key_Escape:
            return 0x1B;
        case Qt::Key_Space:
            return 0x20;
        case Qt::Key_PageUp:
            return 0x21;
        case Qt::Key_PageDown:
            return 0x22;
        case Qt::Key_End:
            return 0x23;
        case Qt::Key_Home:
            return 0x24;
        case Qt::Key_Left:
            return 0x25;
        case Qt::Key_Up:
            return 0x26;
        case Qt::Key_Right:
            return 0x27;
        case Qt::Key_Down:
            return 0x28;
        case Qt::Key_Insert:
            return 0x2D;
        case Qt::Key_Delete:
            return 0x2E;
        default:
            return pKey & 0xFFFF;
    }
}

// Chooses the last entry equal to pText; no equal entry leaves the choice.
void SelectComboText(QComboBox& pCombo, const QString& pText) {
    for (int k = pCombo.count() - 1; k >= 0; --k) {
        if (pCombo.itemText(k) == pText) {
            pCombo.setCurrentIndex(k);
            return;
        }
    }
}

double SteadySeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// A drag of file URLs through the platform.
std::int32_t RunPlatformDrag(QWidget* pSource, QMimeData* pData, std::int32_t pAllowed, const QPixmap& pPixmap) {
    auto* drag = new QDrag(pSource);
    drag->setMimeData(pData);
    if (!pPixmap.isNull()) drag->setPixmap(pPixmap);
    const Qt::DropActions actions = ActionsOf(pAllowed);
    return DropEffects(drag->exec(actions, actions & Qt::CopyAction ? Qt::CopyAction : Qt::MoveAction));
}

// An icon of the strip as a pixmap with transparency, for the drag cursor.
QPixmap IconPixmap(const Picture& pStrip, std::int32_t pIcon) {
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
    icon.setDevicePixelRatio(ratio);
    return QPixmap::fromImage(icon);
}

}  // namespace

namespace list_view_detail {

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

namespace {

class StandardBar final : public ListBar {
public:
    StandardBar(Qt::Orientation pOrientation, QWidget* pParent, std::function<void()> pChanged)
        : c_Bar(new QScrollBar(pOrientation, pParent)) {
        c_Bar->setFocusPolicy(Qt::NoFocus);
        c_Bar->setRange(0, 1);
        c_Bar->hide();
        QObject::connect(c_Bar, &QScrollBar::valueChanged, c_Bar, [changed = std::move(pChanged)] { changed(); });
    }
    QWidget* Widget() override { return c_Bar; }
    std::int32_t Value() const override { return c_Bar->value(); }
    void SetValue(std::int32_t pValue) override { c_Bar->setValue(pValue); }
    std::int32_t Max() const override { return c_Bar->maximum(); }
    std::int32_t LargeChange() const override { return c_Bar->pageStep(); }
    void Configure(std::int32_t pMax, std::int32_t pLarge, std::int32_t pSmall, double /*pThumbRatio*/) override {
        const QSignalBlocker quiet(c_Bar);
        c_Bar->setRange(0, pMax);
        c_Bar->setPageStep(pLarge);
        c_Bar->setSingleStep(pSmall);
    }
    bool ReportsChanges() const override { return true; }

private:
    QScrollBar* c_Bar;
};

// Slider bars report nothing while they move: the list follows them when a
// mouse button goes down or up on one (a dragged thumb or a repeating arrow
// takes effect on release), and after every change the list makes itself.
class SliderBar final : public ListBar {
public:
    SliderBar(bool pVertical, QWidget* pParent, std::function<void()> pFollow) : c_Slider(new UC_Slider(pParent)) {
        c_Slider->setFocusPolicy(Qt::NoFocus);
        c_Slider->SetIsVertical(pVertical);
        c_Slider->SetNoGrad(true);
        c_Slider->SetMin(0);
        c_Slider->SetMax(1);
        c_Slider->Init();
        c_Slider->hide();
        QObject::connect(c_Slider, &UC_Slider::MouseUD, c_Slider,
                         [follow = std::move(pFollow)](bool&, std::int16_t&) { follow(); });
    }
    QWidget* Widget() override { return c_Slider; }
    std::int32_t Value() const override { return c_Slider->Value(); }
    void SetValue(std::int32_t pValue) override { c_Slider->SetValue(pValue); }
    std::int32_t Max() const override { return c_Slider->Max(); }
    std::int32_t LargeChange() const override { return c_Slider->LargeChange(); }
    void Configure(std::int32_t pMax, std::int32_t pLarge, std::int32_t pSmall, double pThumbRatio) override {
        c_Slider->SetMin(0);
        c_Slider->SetMax(pMax);
        c_Slider->SetLargeChange(pLarge);
        c_Slider->SetSmallChange(pSmall);
        c_Slider->SetPointerSize(pThumbRatio);
    }
    bool ReportsChanges() const override { return false; }

private:
    UC_Slider* c_Slider;
};

}  // namespace

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

using list_view_detail::HeaderArea;
using list_view_detail::ItemArea;
using list_view_detail::ListBar;

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

// ---- Construction ------------------------------------------------------------

UC_ListView::UC_ListView(QWidget* pParent)
    : QWidget(pParent),
      c_VLineColor(kColorButtonFace),
      c_Header(new HeaderArea(this)),
      c_ItemArea(new ItemArea(this)),
      c_Corner(new QWidget(this)),
      c_MenuRCTab(new QMenu(this)),
      c_DragTimer(new QTimer(this)),
      c_Editors(new Editors),
      c_Clock(SteadySeconds) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    c_Header->setFocusPolicy(Qt::NoFocus);
    c_Corner->setAutoFillBackground(true);
    QPalette corner = c_Corner->palette();
    corner.setColor(QPalette::Window, ToQColor(kColorButtonFace));
    c_Corner->setPalette(corner);
    c_Corner->hide();
    c_MenuRCTab->setObjectName("MenuRCTab");
    c_DragTimer->setInterval(kDragNoticeMilliseconds);
    connect(c_DragTimer, &QTimer::timeout, this, [this] {
        if (c_DragHovering) DragOverNotice(c_LastDragPos);
    });
    InstallModelEvents();
}

UC_ListView::~UC_ListView() {
    // The model's callbacks point here; the model outlives nothing of ours but
    // its owner may still raise notices while children are destroyed.
    c_Model.Events() = ListViewEvents{};
    delete c_VBar;
    delete c_HBar;
    delete c_Editors;
}

void UC_ListView::InstallModelEvents() {
    ListViewEvents& events = c_Model.Events();
    events.DblClicked = [this] { emit DblClicked(); };
    events.RightClicked = [this](double& X, double& Y) { emit RightClicked(X, Y); };
    events.MouseDown = [this](std::int32_t& Button, std::int32_t& Shift, double& X, double& Y) {
        emit MouseDown(Button, Shift, X, Y);
    };
    events.Clicked = [this](double& X, double& Y) { emit Clicked(X, Y); };
    // The model's change notices drive the repaints: a changed row repaints
    // its band, anything else the whole area.
    events.RowsInserted = [this](std::int32_t, std::int32_t) { ScheduleRedraw(-1); };
    events.RowsRemoved = [this](std::int32_t, std::int32_t) { ScheduleRedraw(-1); };
    events.RowChanged = [this](std::int32_t pRow) { ScheduleRedraw(pRow); };
    events.SelectionChanged = [this] { ScheduleRedraw(-1); };
    events.ListReset = [this] { ScheduleRedraw(-1); };
}

void UC_ListView::SetUseUCBar(std::int32_t pValue) {
    if (!c_BarsMade) c_UseUCBar = pValue;
}

void UC_ListView::CreateBars() {
    if (c_UseUCBar != 0) {
        c_VBar = new list_view_detail::SliderBar(true, this, [this] { SyncTopItem(); });
        c_HBar = new list_view_detail::SliderBar(false, this, [this] { SyncHorizontalOffset(); });
    } else {
        c_VBar = new list_view_detail::StandardBar(Qt::Vertical, this, [this] { SyncTopItem(); });
        c_HBar = new list_view_detail::StandardBar(Qt::Horizontal, this, [this] { SyncHorizontalOffset(); });
    }
    c_BarsMade = true;
}

qreal UC_ListView::PixelRatio() const { return devicePixelRatioF(); }

// ---- Lifecycle ------------------------------------------------------------------

void UC_ListView::Init() {
    c_Model.SetTwipsPerPixel(Tpp());
    const bool styled = c_Model.StyleSet();
    c_Model.Init();
    if (!styled) SetStyle(kDefaultFontSize, 0, UIFontName(), kColorWindowText, kColorWindow);
    if (!c_BarsMade) CreateBars();
    c_Initialised = true;
    c_LastDrawnTop = -1;
    c_PushedData = -1;
    PaintIconStrip();
    PrepareHeaderGradient();
}

void UC_ListView::SetStyle(float pSize, std::int32_t pBold, const std::string& pName, std::int32_t pForeColor,
                           std::int32_t pBackColor) {
    c_Model.SetStyle(pSize, pBold, pName, pForeColor, pBackColor);
    const std::int32_t item = ApplyFont(nullptr, kFontByArguments, nullptr, pSize, pBold != 0, false, pName);
    const std::int32_t header = ApplyFont(nullptr, kFontByArguments, nullptr, kDefaultFontSize, false, false, "");
    if (item >= 0) c_FontSlot[0] = c_FontSlot[2] = c_FontSlot[3] = c_FontSlot[4] = item;
    if (header >= 0) c_FontSlot[1] = header;
    for (QWidget* editor : c_Editors->All()) editor->setFont(SlotFont(0));
}

void UC_ListView::InitTab() {
    if (!c_Initialised) return;
    for (std::int32_t& slot : c_FontSlot) {
        if (slot < 0) {
            slot = ApplyFont(nullptr, kFontByArguments, nullptr, kDefaultFontSize, false, false, "");
            if (slot < 0) slot = 0;
        }
    }
    const std::int32_t columns = c_Model.NumData();

    // The header menu: one entry per display position.
    QList<QAction*> actions = c_MenuRCTab->actions();
    for (qsizetype k = columns; k < actions.size(); ++k) delete actions[k];
    for (std::int32_t k = static_cast<std::int32_t>(std::min<qsizetype>(actions.size(), columns)); k < columns; ++k) {
        QAction* action = c_MenuRCTab->addAction(QString::number(k + 1));
        connect(action, &QAction::triggered, this, [this, k] { MenuChosen(k); });
    }

    // Editors: one instance per column that asks for one, kept across calls.
    Editors& ed = *c_Editors;
    ed.TextOf.resize(static_cast<std::size_t>(columns), -1);
    ed.ComboOf.resize(static_cast<std::size_t>(columns), -1);
    ed.ListOf.resize(static_cast<std::size_t>(columns), -1);
    for (std::int32_t c = 0; c < columns; ++c) {
        const std::int32_t flags = c_Model.UseTextCombo(c);
        const auto uc = static_cast<std::size_t>(c);
        if ((flags & kEditorText) != 0 && ed.TextOf[uc] < 0) {
            auto* edit = new QLineEdit(c_ItemArea);
            edit->setObjectName(QString("TextLV%1").arg(ed.Text.size()));
            edit->setFont(SlotFont(2));
            edit->hide();
            connect(edit, &QLineEdit::textChanged, this, [this, c] { EditorTextChanged(c); });
            edit->installEventFilter(this);
            ed.KeySources.push_back({edit, {kKeyFromText, c}});
            ed.TextOf[uc] = static_cast<std::int32_t>(ed.Text.size());
            ed.Text.push_back(edit);
        }
        if ((flags & kEditorCombo) != 0 && ed.ComboOf[uc] < 0) {
            auto* combo = new QComboBox(c_ItemArea);
            combo->setObjectName(QString("ComboLV%1").arg(ed.Combo.size()));
            combo->setEditable(true);
            combo->setInsertPolicy(QComboBox::NoInsert);
            combo->setFont(SlotFont(3));
            combo->hide();
            connect(combo, &QComboBox::activated, this, [this, c](int pEntry) { EditorEntryChosen(c, false, pEntry); });
            combo->lineEdit()->installEventFilter(this);
            ed.KeySources.push_back({combo->lineEdit(), {kKeyFromCombo, c}});
            ed.ComboOf[uc] = static_cast<std::int32_t>(ed.Combo.size());
            ed.Combo.push_back(combo);
        }
        if ((flags & kEditorList) != 0 && ed.ListOf[uc] < 0) {
            auto* list = new QComboBox(c_ItemArea);
            list->setObjectName(QString("ListLV%1").arg(ed.List.size()));
            list->setFont(SlotFont(4));
            list->hide();
            connect(list, &QComboBox::activated, this, [this, c](int pEntry) { EditorEntryChosen(c, true, pEntry); });
            ed.ListOf[uc] = static_cast<std::int32_t>(ed.List.size());
            ed.List.push_back(list);
        }
    }

    // Row metrics.
    const std::int32_t tpp = Tpp();
    const FontEntry* itemFont = FontAt(c_FontSlot[0]);
    const double factor = itemFont != nullptr ? itemFont->HeightFactor : 1.0;
    const double t = TextHeightTwips(0) * factor;
    const std::int32_t base = RoundHalfEven(t * kRowHeightFactor);
    const bool combos = !ed.Combo.empty(), lists = !ed.List.empty(), texts = !ed.Text.empty();
    std::int32_t e = base;
    if (combos)
        e = (ed.Combo[0]->sizeHint().height() + kComboRowExtraPixels) * tpp;
    else if (lists)
        e = (ed.List[0]->sizeHint().height() + kComboRowExtraPixels) * tpp;
    else if (texts)
        e = (ed.Text[0]->sizeHint().height() + kTextRowExtraPixels) * tpp;
    e = std::max(e, base);
    c_Model.SetOneHeight(std::max(c_Model.OneHeight(), e));
    const std::int32_t oneHeight = c_Model.OneHeight();
    c_RowBoxHeight = oneHeight;
    c_TextOffset = RoundHalfEven((oneHeight - t) / 2.0);
    const std::int32_t raise = (combos || lists) ? kEditorRaiseWithCombo
                               : texts           ? kEditorRaiseWithText
                                                 : kEditorRaiseWithCombo;
    c_EditorOffset = c_TextOffset - raise * tpp;
    if (combos || lists || texts) c_RowBoxHeight += tpp;
    const int textHeight = combos  ? ed.Combo[0]->sizeHint().height()
                           : lists ? ed.List[0]->sizeHint().height()
                                   : Px(oneHeight) - kTextEditorMarginPixels;
    for (QLineEdit* edit : ed.Text) edit->resize(edit->width(), textHeight);
    for (QComboBox* combo : ed.Combo) combo->resize(combo->width(), combo->sizeHint().height());
    for (QComboBox* list : ed.List) list->resize(list->width(), list->sizeHint().height());
    UserControl_Resize();
}

void UC_ListView::UserControl_Resize() {
    if (!c_Initialised || !c_BarsMade) return;
    const std::int32_t tpp = Tpp();
    if (width() * tpp < kMinLayoutTwips || height() * tpp < kMinLayoutTwips) return;
    SetVbarParm();
    {
        const QSignalBlocker quiet(c_HBar->Widget());
        c_HBar->SetValue(0);
    }
    c_Model.SetHorizontalOffset(0);
    const QSignalBlocker quiet(c_VBar->Widget());
    if (c_VBar->Widget()->isHidden()) {
        c_Model.StoreTopItem(0);
    } else {
        c_Model.StoreTopItem(std::min(c_Model.TopItem(), c_VBar->Max()));
        c_VBar->SetValue(c_Model.TopItem());
    }
    ReDrawTab(-1);
    ReDraw();
}

void UC_ListView::resizeEvent(QResizeEvent*) { UserControl_Resize(); }

std::int32_t UC_ListView::HeaderHeightTwips() const {
    if (c_TabDisabled != 0) return 0;
    return (QFontMetrics(SlotFont(1)).height() + kHeaderTextTopPixels + kHeaderBottomPixels) * Tpp();
}

std::int32_t UC_ListView::TextHeightTwips(std::int32_t pFontSlot) const {
    return QFontMetrics(SlotFont(pFontSlot)).height() * Tpp();
}

QFont UC_ListView::SlotFont(std::int32_t pSlot) const {
    if (pSlot >= 0 && pSlot < 5) {
        if (const FontEntry* entry = FontAt(c_FontSlot[pSlot])) return entry->Font;
    }
    return font();
}

void UC_ListView::SetVbarParm() {
    if (!c_Initialised || !c_BarsMade) return;
    const std::int32_t tpp = Tpp();
    const std::int64_t oneHeight = c_Model.OneHeight();
    const std::int64_t count = c_Model.ItemCount();
    const std::int32_t headerTwips = HeaderHeightTwips();
    const std::int32_t bar = kBarThicknessTwips;
    std::int64_t h = std::int64_t{height()} * tpp - headerTwips - 2 * kFramePixels * tpp;
    std::int64_t w = std::int64_t{width() - kRightGapPixels} * tpp - 2 * kFramePixels * tpp;
    const std::int64_t right = c_Model.ContentRight();
    const auto rowsFill = [&] { return count > 0 && c_VbarDisabled == 0 && oneHeight > 0 && count * oneHeight >= h; };

    bool showV = rowsFill();
    if (showV) w -= bar;
    const bool showH = c_HbarDisabled == 0 && w < right;
    if (showH) {
        h -= bar;
        if (!showV && rowsFill()) {
            showV = true;
            w -= bar;
        }
    }
    c_AreaWidth = std::max<std::int32_t>(1, Px(w));
    c_AreaHeight = std::max<std::int32_t>(1, Px(h));
    c_VisibleRows = oneHeight > 0 && h > 0 ? static_cast<std::int32_t>(h / oneHeight) : 0;

    // Geometry of the parts inside the frame, before the bars' ranges: a
    // slider sizes its thumb from its track.
    const int left = kFramePixels, top = kFramePixels + Px(headerTwips);
    const int barPixels = Px(bar);
    c_Header->setVisible(c_TabDisabled == 0);
    c_Header->setGeometry(left, kFramePixels, std::max(1, width() - kRightGapPixels - 2 * kFramePixels),
                          std::max(1, Px(headerTwips)));
    c_ItemArea->setGeometry(left, top, c_AreaWidth, c_AreaHeight);
    c_VBar->Widget()->setGeometry(left + c_AreaWidth, top, barPixels, c_AreaHeight);
    c_HBar->Widget()->setGeometry(left, top + c_AreaHeight, c_AreaWidth, barPixels);
    c_VBar->Widget()->setVisible(showV);
    c_HBar->Widget()->setVisible(showH);
    c_Corner->setGeometry(left + c_AreaWidth, top + c_AreaHeight, barPixels, barPixels);
    c_Corner->setVisible(showV && showH);
    {
        const QSignalBlocker quiet(c_VBar->Widget());
        if (showV) {
            const auto visible = static_cast<double>(c_VisibleRows);
            const std::int32_t max = static_cast<std::int32_t>(std::max<std::int64_t>(1, count - c_VisibleRows + 1));
            const std::int32_t large = std::max(1, RoundHalfEven(max * visible / static_cast<double>(count)));
            c_VBar->Configure(max, large, 1, visible / static_cast<double>(count));
        }
        // A smaller range leaves the value inside it; a hidden bar stands at 0.
        c_VBar->SetValue(showV ? std::min(c_VBar->Value(), c_VBar->Max()) : 0);
        c_Model.StoreTopItem(c_VBar->Value());
    }
    {
        const QSignalBlocker quiet(c_HBar->Widget());
        if (showH) {
            std::int64_t max = std::max<std::int64_t>(1, right - w);
            if (c_UseUCBar == 0) max = std::min<std::int64_t>(max, kStandardBarMax);
            const std::int32_t large = std::max(
                1, RoundHalfEven(static_cast<double>(max) * static_cast<double>(w) / static_cast<double>(right)));
            c_HBar->Configure(static_cast<std::int32_t>(max), large, tpp,
                              static_cast<double>(w) / static_cast<double>(right));
            c_HBar->SetValue(std::min(c_HBar->Value(), c_HBar->Max()));
            c_Model.SetHorizontalOffset(c_HBar->Value());
        } else {
            c_HBar->SetValue(0);
            c_Model.SetHorizontalOffset(0);
        }
    }

    c_LayoutCount = static_cast<std::int32_t>(count);
    EnsurePictures();
}

void UC_ListView::EnsurePictures() {
    const qreal ratio = PixelRatio();
    if (c_PictureList.Width() != c_AreaWidth || c_PictureList.Height() != c_AreaHeight ||
        c_PictureList.Image().devicePixelRatio() != ratio) {
        c_PictureList.SetBackColor(c_Model.Style().BackColor);
        c_PictureList.Resize(c_AreaWidth, c_AreaHeight, ratio);
    }
    const int headerWidth = std::max(1, width() - kRightGapPixels - 2 * kFramePixels);
    const int headerHeight = std::max(1, Px(HeaderHeightTwips()));
    if (c_PictureTab.Width() != headerWidth || c_PictureTab.Height() != headerHeight ||
        c_PictureTab.Image().devicePixelRatio() != ratio) {
        c_PictureTab.SetBackColor(kColorButtonFace);
        c_PictureTab.Resize(headerWidth, headerHeight, ratio);
        PrepareHeaderGradient();
        RenderHeader(c_PushedData);
    }
    if (c_PictureIcons.IsNull() || c_PictureIcons.Image().devicePixelRatio() != ratio) PaintIconStrip();
}

void UC_ListView::PaintIconStrip() { PaintListIcons(c_PictureIcons, PixelRatio()); }

void UC_ListView::PrepareHeaderGradient() {
    c_PictureTabGrad.Resize(kHeaderGradientWidth, std::max(1, Px(HeaderHeightTwips())), PixelRatio());
    GradientPaint(c_PictureTabGrad, kHeaderGradientStyle);
}

void UC_ListView::Refresh() {
    SetVbarParm();
    {
        const QSignalBlocker quietV(c_VBar != nullptr ? c_VBar->Widget() : nullptr);
        const QSignalBlocker quietH(c_HBar != nullptr ? c_HBar->Widget() : nullptr);
        if (c_VBar != nullptr) c_VBar->SetValue(0);
        if (c_HBar != nullptr) c_HBar->SetValue(0);
    }
    c_Model.StoreTopItem(0);
    c_Model.SetHorizontalOffset(0);
    ReDraw();
    ReDrawTab(-1);
}

// ---- Drawing -------------------------------------------------------------------------

std::int32_t UC_ListView::RowTopPixels(std::int32_t pVisibleRow) const {
    return Px(std::int64_t{pVisibleRow} * c_Model.OneHeight());
}

std::int32_t UC_ListView::FirstVisibleColumn() const {
    for (std::int32_t p = 0; p < c_Model.NumData(); ++p) {
        const std::int32_t c = c_Model.ColumnAtPosition(p);
        if (c >= 0 && c_Model.TabHidden(c) == 0) return c;
    }
    return -1;
}

void UC_ListView::ScheduleRedraw(std::int32_t pRow) {
    if (!c_Initialised) return;
    const QRect area(0, 0, c_AreaWidth, c_AreaHeight);
    if (pRow < 0) {
        c_DirtyRect = area;
    } else {
        const std::int32_t shown = pRow - c_Model.TopItem();
        if (shown < 0 || shown > c_VisibleRows) return;
        // The row's band, with the selection box that reaches a pixel further.
        c_DirtyRect |= QRect(0, RowTopPixels(shown), c_AreaWidth, Px(c_RowBoxHeight) + 2) & area;
    }
    if (c_RedrawPending) return;
    c_RedrawPending = true;
    QTimer::singleShot(0, this, [this] {
        c_RedrawPending = false;
        const QRect dirty = std::exchange(c_DirtyRect, QRect());
        if (c_Model.ItemCount() != c_LayoutCount) {
            SetVbarParm();
            ReDraw();
            return;
        }
        if (c_Model.OneHeight() < 1) return;
        RenderList();
        PlaceEditorsVertically();
        c_LastDrawnTop = c_Model.TopItem();
        c_ItemArea->update(dirty);
    });
}

void UC_ListView::ReDraw() {
    if (!c_Initialised || c_Model.OneHeight() < 1) return;
    RenderList();
    PlaceEditorsVertically();
    c_LastDrawnTop = c_Model.TopItem();
    c_ItemArea->update();
}

void UC_ListView::RenderList() {
    if (!c_Initialised || c_Model.OneHeight() < 1) return;
    Picture& picture = c_PictureList;
    if (picture.IsNull()) return;
    const ListStyle& style = c_Model.Style();
    picture.SetBackColor(style.BackColor);
    picture.Cls();

    const std::int32_t tpp = Tpp();
    const std::int32_t oneHeight = c_Model.OneHeight();
    const std::int32_t offset = c_Model.HorizontalOffset();
    const std::int32_t top = c_Model.TopItem();
    const std::int32_t count = c_Model.ItemCount();
    const int width = c_AreaWidth, height = c_AreaHeight;
    // Rows whose top lies inside the area, partly shown ones included.
    std::int32_t rows = 0;
    while (top + rows < count && RowTopPixels(rows) < height) ++rows;
    const auto rowTop = [&](std::int32_t pRow) { return RowTopPixels(pRow - top); };
    const auto rowBottom = [&](std::int32_t pRow) { return RowTopPixels(pRow - top + 1); };

    QPainter painter(&picture.Image());
    painter.setRenderHint(QPainter::TextAntialiasing, true);

    if (c_UseMadara != 0) {
        for (std::int32_t row = top; row < top + rows; ++row)
            if (row % 2 == 1)
                painter.fillRect(0, rowTop(row) + 1, width, rowBottom(row) - rowTop(row) - 1, ToQColor(kMadaraColor));
    }

    if (c_Model.IconDisabled() == 0 && offset < kListIconSize * tpp && !c_PictureIcons.IsNull()) {
        const QImage& strip = c_PictureIcons.Image();
        const qreal ratio = strip.devicePixelRatio();
        const int x = kIconLeftPixels - Px(offset);
        for (std::int32_t row = top; row < top + rows; ++row) {
            const std::int32_t icon = c_Model.IconType(row);
            if (icon < 0 || icon >= kListIconCount) continue;
            const int y = rowTop(row) + RoundHalfEven((Px(oneHeight) - kListIconSize) / 2.0);
            const QRect target(x, y, kListIconSize, kListIconSize);
            const auto cell = [&](int pRowY) {
                return QRectF(icon * kListIconSize * ratio, pRowY * ratio, kListIconSize * ratio,
                              kListIconSize * ratio);
            };
            painter.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
            painter.drawImage(target, strip, cell(kListIconSize));
            painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
            painter.drawImage(target, strip, cell(0));
        }
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }

    // The selection box's horizontal extent.
    int boxLeft = 0, boxWidth = width;
    if (c_InvertSelectedData == 1) {
        const std::int32_t column = c_Model.SelectedData();
        const std::int32_t from = column > 0 ? c_Model.TabRight(column - 1) : 0;
        boxLeft = Px(from - offset);
        boxWidth = Px(c_Model.TabRight(column) - offset) - kInvertBoxInsetPixels - boxLeft;
    }
    const int boxHeight = Px(c_RowBoxHeight);
    const auto box = [&](std::int32_t pRow, std::int32_t pColor) {
        const std::optional<QPainter::CompositionMode> mode = PenMode(c_SelectedColorMode);
        if (!mode) return;
        painter.setCompositionMode(*mode);
        painter.fillRect(boxLeft, rowTop(pRow) + 1, boxWidth, boxHeight, ToQColor(pColor));
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    };
    for (std::int32_t row = top; row < top + rows; ++row)
        if (c_Model.IsSelected(row) == 1) box(row, c_SelectedColor);

    for (std::int32_t row = top; row < top + rows; ++row) {
        const std::int32_t line = c_Model.HLine(row);
        if (line != 0) painter.fillRect(0, rowTop(row), width, 1, ToQColor(line));
    }

    if (c_BorderIfBlank > 0) {
        for (std::int32_t row = top; row < top + rows; ++row) {
            const CellValue cell = c_Model.Value(row, c_BorderIfBlank - 1);
            if (cell.AsText().empty()) box(row, kBlankBoxColor);
        }
    }

    // Cells.
    const QFont font = SlotFont(0);
    painter.setFont(font);
    const QFontMetrics metrics(font);
    const auto measure = [&](std::string_view pText) { return metrics.horizontalAdvance(Q(pText)); };
    const std::int32_t first = FirstVisibleColumn();
    const int textTop = Px(c_TextOffset);
    for (std::int32_t p = 0; p < c_Model.NumData(); ++p) {
        const std::int32_t c = c_Model.ColumnAtPosition(p);
        if (c < 0 || c_Model.TabHidden(c) != 0) continue;
        const std::int32_t left = c_Model.TabLeft(c), right = c_Model.TabRight(c);
        if (Px(right - offset) < 0 || Px(left - offset) > width) continue;
        const std::int32_t margin = c == first ? c_Model.IconMargin() : kCellMarginPixels * tpp;
        const int room = Px(c_Model.TabWidth(c) - margin);
        const bool rightAligned = c_Model.TabAlign(c) == kAlignRight;
        for (std::int32_t row = top; row < top + rows; ++row) {
            const std::string text = FitTextToWidth(c_Model.Value(row, c).AsText(), measure, room, rightAligned);
            if (text.empty()) continue;
            const int x = rightAligned ? Px(right - kCellMarginPixels * tpp - offset) - measure(text)
                                       : Px(left + margin - offset);
            painter.setPen(ToQColor(c_Model.DispColor(row)));
            painter.drawText(QPoint(x, rowTop(row) + textTop + metrics.ascent()), Q(text));
        }
    }

    // Column separators.
    for (std::int32_t p = 0; p < c_Model.NumData(); ++p) {
        const std::int32_t c = c_Model.ColumnAtPosition(p);
        if (c < 0 || c_Model.TabHidden(c) != 0) continue;
        const int x = Px(c_Model.TabRight(c) - offset) - 1;
        painter.fillRect(x, 0, 1, height, ToQColor(c_VLineColor));
    }
}

void UC_ListView::ReDrawTab(std::int32_t pPushedData) {
    if (!c_Initialised) return;
    c_PushedData = pPushedData;
    RenderHeader(pPushedData);
    PlaceEditorsHorizontally();
    c_Header->update();
}

void UC_ListView::RenderHeader(std::int32_t pPushedData) {
    Picture& picture = c_PictureTab;
    if (picture.IsNull() || c_TabDisabled != 0) return;
    picture.SetBackColor(kColorButtonFace);
    picture.Cls();
    const std::int32_t offset = c_Model.HorizontalOffset();
    const std::int32_t headerTwips = HeaderHeightTwips();
    const int headerHeight = Px(headerTwips);
    const QFont font = SlotFont(1);
    const QFontMetrics metrics(font);
    const auto measure = [&](std::string_view pText) { return metrics.horizontalAdvance(Q(pText)); };
    std::vector<std::int32_t> shown;
    {
        QPainter painter(&picture.Image());
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        painter.setFont(font);
        painter.setPen(ToQColor(kColorButtonText));
        for (std::int32_t pos = 0; pos < c_Model.NumData(); ++pos) {
            const std::int32_t c = c_Model.ColumnAtPosition(pos);
            if (c < 0 || c_Model.TabHidden(c) != 0) continue;
            shown.push_back(c);
            const int p = c == pPushedData ? 1 : 0;
            const int x = Px(c_Model.TabLeft(c) - offset);
            const int w = Px(c_Model.TabWidth(c));
            painter.drawImage(QRect(x, 0, w, headerHeight), c_PictureTabGrad.Image());
            const std::int32_t align = c_Model.TabAlign(c);
            const std::string caption =
                FitTextToWidth(c_Model.TabName(c), measure, w - kCaptionMarginPixels, align != 0);
            const int cx = align == kAlignRight && c_NoAlign4Tab == 0
                               ? Px(c_Model.TabRight(c) - offset) - measure(caption) - (kCaptionMarginPixels + p)
                               : x + kCaptionMarginPixels + p;
            painter.drawText(QPoint(cx, kHeaderTextTopPixels + p + metrics.ascent()), Q(caption));
        }
    }
    for (const std::int32_t c : shown)
        DrawCellEdge(picture, c_Model.TabLeft(c) - offset, 0, c_Model.TabWidth(c), headerTwips, c == pPushedData);
}

void UC_ListView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), ToQColor(kColorButtonFace));
    // A sunken frame around everything: shadow and highlight outside, dark
    // shadow and light inside.
    const int right = width() - kRightGapPixels - 1, bottom = height() - 1;
    const auto line = [&](int x1, int y1, int x2, int y2, std::int32_t color) {
        painter.fillRect(QRect(QPoint(x1, y1), QPoint(x2, y2)), ToQColor(color));
    };
    line(0, 0, right, 0, kColorButtonShadow);
    line(0, 0, 0, bottom, kColorButtonShadow);
    line(0, bottom, right, bottom, kColorButtonHighlight);
    line(right, 0, right, bottom, kColorButtonHighlight);
    line(1, 1, right - 1, 1, kColorButtonDarkShadow);
    line(1, 1, 1, bottom - 1, kColorButtonDarkShadow);
    line(1, bottom - 1, right - 1, bottom - 1, kColorButtonLight);
    line(right - 1, 1, right - 1, bottom - 1, kColorButtonLight);
    if (hasFocus()) {
        // The keyboard is here: the inner ring in the highlight colour.
        const QColor focus = palette().color(QPalette::Highlight);
        painter.fillRect(QRect(QPoint(1, 1), QPoint(right - 1, 1)), focus);
        painter.fillRect(QRect(QPoint(1, 1), QPoint(1, bottom - 1)), focus);
        painter.fillRect(QRect(QPoint(1, bottom - 1), QPoint(right - 1, bottom - 1)), focus);
        painter.fillRect(QRect(QPoint(right - 1, 1), QPoint(right - 1, bottom - 1)), focus);
    }
}

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

// ---- Editors -----------------------------------------------------------------------------

void UC_ListView::SetHideTextCombo(std::int32_t pValue) {
    c_HideTextCombo = pValue;
    if (pValue != 0) HideAllEditors();
}

void UC_ListView::SetFrontObj(std::int32_t pData, std::int32_t pValue) { c_Model.SetFrontObj(pData, pValue); }

void UC_ListView::HideAllEditors() {
    for (QWidget* editor : c_Editors->All()) editor->hide();
}

void UC_ListView::PlaceEditorsHorizontally() {
    const std::int32_t offset = c_Model.HorizontalOffset();
    for (std::int32_t c = 0; c < c_Model.NumData(); ++c) {
        const int x = Px(c_Model.TabLeft(c) - offset);
        const int w = Px(c_Model.TabWidth(c));
        if (QLineEdit* edit = c_Editors->TextFor(c))
            edit->setGeometry(x + kTextEditorInsetPixels, edit->y(), std::max(1, w - kTextEditorInsetPixels),
                              edit->height());
        for (QComboBox* combo : {c_Editors->ComboFor(c), c_Editors->ListFor(c)}) {
            if (combo != nullptr)
                combo->setGeometry(x + kComboEditorInsetPixels, combo->y(), std::max(1, w - kComboEditorInsetPixels),
                                   combo->height());
        }
    }
}

void UC_ListView::PlaceEditorsVertically() {
    if (c_Editors->All().empty()) return;
    const std::int32_t cursor = c_Model.SelectedItem();
    const std::int32_t top = c_Model.TopItem();
    if (c_HideTextCombo != 0 || cursor < 0 || cursor < top || cursor >= top + c_VisibleRows) {
        HideAllEditors();
        return;
    }
    const int y = RowTopPixels(cursor - top) + Px(c_EditorOffset);
    c_SyncingEditors = true;
    for (std::int32_t c = 0; c < c_Model.NumData(); ++c) {
        const bool hidden = c_Model.TabHidden(c) != 0;
        const std::int32_t front = c_Model.FrontObj(c);
        const QString text = Q(c_Model.Value(cursor, c).AsText());
        const auto place = [&](QWidget* pEditor, std::int32_t pKind) {
            if (pEditor == nullptr) return false;
            if (hidden || front != pKind) {
                pEditor->hide();
                return false;
            }
            if (pEditor->y() != y) pEditor->move(pEditor->x(), y);
            return true;
        };
        if (QLineEdit* edit = c_Editors->TextFor(c); place(edit, kEditorText)) {
            if (edit->text() != text) edit->setText(text);
            edit->show();
        }
        for (const auto& [combo, kind] :
             {std::pair{c_Editors->ComboFor(c), kEditorCombo}, std::pair{c_Editors->ListFor(c), kEditorList}}) {
            if (!place(combo, kind)) continue;
            if (combo->currentText() != text) SelectComboText(*combo, text);
            combo->show();
        }
    }
    c_SyncingEditors = false;
}

void UC_ListView::EditorTextChanged(std::int32_t pColumn) {
    if (c_SyncingEditors) return;
    QLineEdit* edit = c_Editors->TextFor(pColumn);
    if (edit == nullptr) return;
    std::string text = S(edit->text());
    if (c_Model.TextIsTime(pColumn) != 0) {
        if (const std::optional<std::string> time = TimeEntryText(text)) {
            text = *time;
            c_SyncingEditors = true;
            edit->setText(Q(text));
            c_SyncingEditors = false;
        }
    }
    c_Model.SetValue(kCursorItem, pColumn, text);
}

void UC_ListView::EditorEntryChosen(std::int32_t pColumn, bool pIsList, int pEntry) {
    QComboBox* combo = pIsList ? c_Editors->ListFor(pColumn) : c_Editors->ComboFor(pColumn);
    if (combo == nullptr) return;
    const QString text = pIsList ? combo->itemText(pEntry) : combo->currentText();
    c_Model.SetValue(kCursorItem, pColumn, S(text));
    std::int32_t column = pColumn, value = pEntry;
    emit ComboChaged(column, value);
}

bool UC_ListView::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (pEvent->type() == QEvent::KeyPress || pEvent->type() == QEvent::KeyRelease) {
        if (EditorKey(pWatched, pEvent)) return true;
    }
    return QWidget::eventFilter(pWatched, pEvent);
}

bool UC_ListView::EditorKey(QObject* pEditor, QEvent* pEvent) {
    const auto found = std::find_if(c_Editors->KeySources.begin(), c_Editors->KeySources.end(),
                                    [&](const auto& pSource) { return pSource.first == pEditor; });
    if (found == c_Editors->KeySources.end()) return false;
    auto* key = static_cast<QKeyEvent*>(pEvent);
    std::int32_t isCombo = found->second.first, tab = found->second.second;
    if (pEvent->type() == QEvent::KeyRelease) {
        std::int32_t action = kKeyUp, value = VirtualKey(key->key()), shift = ShiftMask(key->modifiers());
        emit TextComboKeyAction(isCombo, tab, action, value, shift);
        return false;
    }
    std::int32_t action = kKeyDown, value = VirtualKey(key->key()), shift = ShiftMask(key->modifiers());
    emit TextComboKeyAction(isCombo, tab, action, value, shift);
    const QString text = key->text();
    if (text.isEmpty()) return false;
    isCombo = found->second.first;
    tab = found->second.second;
    action = kKeyPress;
    value = text.at(0).unicode();
    shift = 0;
    emit TextComboKeyAction(isCombo, tab, action, value, shift);
    // A handler that answers 0 swallows the character.
    return value == 0;
}

std::optional<std::string> UC_ListView::TimeEntryText(std::string_view pText) {
    constexpr std::size_t kDigits = 6;
    constexpr int kHoursBelow = 31, kSixtyBelow = 60;
    if (pText.size() != kDigits) return std::nullopt;
    if (!std::all_of(pText.begin(), pText.end(), [](char pChar) { return pChar >= '0' && pChar <= '9'; }))
        return std::nullopt;
    const auto pair = [&](std::size_t pAt) { return (pText[pAt] - '0') * 10 + (pText[pAt + 1] - '0'); };
    if (pair(0) >= kHoursBelow || pair(2) >= kSixtyBelow || pair(4) >= kSixtyBelow) return std::nullopt;
    std::string time;
    time.append(pText.substr(0, 2)).append(":").append(pText.substr(2, 2)).append(":").append(pText.substr(4, 2));
    return time;
}

std::int32_t UC_ListView::ComboIndex(std::int32_t pIndex, std::int32_t pData) const {
    const QComboBox* combo = c_Editors->ComboFor(pData);
    if (combo == nullptr) return -1;
    return combo->findText(Q(c_Model.Value(pIndex, pData).AsText()), Qt::MatchExactly | Qt::MatchCaseSensitive);
}

bool UC_ListView::TextComboVisible() const {
    const Editors& ed = *c_Editors;
    return (!ed.Text.empty() && !ed.Text[0]->isHidden()) || (!ed.Combo.empty() && !ed.Combo[0]->isHidden()) ||
           (!ed.List.empty() && !ed.List[0]->isHidden());
}

QLineEdit* UC_ListView::TextLV(std::int32_t pIndex) const {
    return pIndex >= 0 && static_cast<std::size_t>(pIndex) < c_Editors->Text.size()
               ? c_Editors->Text[static_cast<std::size_t>(pIndex)]
               : nullptr;
}
QComboBox* UC_ListView::ComboLV(std::int32_t pIndex) const {
    return pIndex >= 0 && static_cast<std::size_t>(pIndex) < c_Editors->Combo.size()
               ? c_Editors->Combo[static_cast<std::size_t>(pIndex)]
               : nullptr;
}
QComboBox* UC_ListView::ListLV(std::int32_t pIndex) const {
    return pIndex >= 0 && static_cast<std::size_t>(pIndex) < c_Editors->List.size()
               ? c_Editors->List[static_cast<std::size_t>(pIndex)]
               : nullptr;
}

void UC_ListView::LoadDevToLVCombo(std::int32_t pData, bool pIsIn) {
    const std::vector<std::string> names = c_SoundDeviceLister ? c_SoundDeviceLister(pIsIn) : ListSoundDevices(pIsIn);
    for (QComboBox* combo : {c_Editors->ComboFor(pData), c_Editors->ListFor(pData)}) {
        if (combo == nullptr) continue;
        const QSignalBlocker quiet(combo);
        combo->clear();
        for (const std::string& name : names) combo->addItem(Q(name));
        combo->setCurrentIndex(-1);
    }
}

void UC_ListView::AddComboItem(std::int32_t pData, const std::string& pValue) {
    if (QComboBox* combo = c_Editors->ComboFor(pData)) combo->addItem(Q(pValue));
}
void UC_ListView::ClearComboItem(std::int32_t pData) {
    if (QComboBox* combo = c_Editors->ComboFor(pData)) combo->clear();
}
void UC_ListView::AddListItem(std::int32_t pData, const std::string& pValue) {
    if (QComboBox* list = c_Editors->ListFor(pData)) list->addItem(Q(pValue));
}
void UC_ListView::ClearListItem(std::int32_t pData) {
    if (QComboBox* list = c_Editors->ListFor(pData)) list->clear();
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
        std::int32_t width = widest + kAutoExtraPixels;
        if (c_Model.TabOrder(c) == 0 && c_Model.IconDisabled() == 0) width += kListIconSize;
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

// ---- Scrolling ----------------------------------------------------------------------------------

bool UC_ListView::VBarVisible() const { return c_VBar != nullptr && !c_VBar->Widget()->isHidden(); }
std::int32_t UC_ListView::VBarValue() const { return c_VBar != nullptr ? c_VBar->Value() : 0; }
std::int32_t UC_ListView::VBarMax() const { return c_VBar != nullptr ? c_VBar->Max() : 0; }
std::int32_t UC_ListView::VBarLargeChange() const { return c_VBar != nullptr ? c_VBar->LargeChange() : 0; }
bool UC_ListView::HBarVisible() const { return c_HBar != nullptr && !c_HBar->Widget()->isHidden(); }
std::int32_t UC_ListView::HBarValue() const { return c_HBar != nullptr ? c_HBar->Value() : 0; }
std::int32_t UC_ListView::HBarMax() const { return c_HBar != nullptr ? c_HBar->Max() : 0; }
QWidget* UC_ListView::VBarWidget() const { return c_VBar != nullptr ? c_VBar->Widget() : nullptr; }
QWidget* UC_ListView::HBarWidget() const { return c_HBar != nullptr ? c_HBar->Widget() : nullptr; }
QRect UC_ListView::ItemAreaRect() const { return c_ItemArea->geometry(); }
QRect UC_ListView::HeaderRect() const { return c_TabDisabled != 0 ? QRect() : c_Header->geometry(); }
QWidget* UC_ListView::ItemAreaWidget() const { return c_ItemArea; }
QWidget* UC_ListView::HeaderWidget() const { return c_Header; }

void UC_ListView::VBarMove(std::int32_t pN) {
    if (!VBarVisible()) return;
    c_VBar->SetValue(
        static_cast<std::int32_t>(std::clamp<std::int64_t>(std::int64_t{c_VBar->Value()} + pN, 0, c_VBar->Max())));
}

void UC_ListView::HBarMove(std::int32_t pN) {
    if (!HBarVisible()) return;
    c_HBar->SetValue(
        static_cast<std::int32_t>(std::clamp<std::int64_t>(std::int64_t{c_HBar->Value()} + pN, 0, c_HBar->Max())));
}

void UC_ListView::VBarScroll(std::int32_t pN) {
    if (!VBarVisible() || pN == 0) return;
    VBarMove(pN * c_NumWheelScroll);
    SyncTopItem();
}

void UC_ListView::HBarScroll(std::int32_t pN) {
    if (!HBarVisible() || pN == 0) return;
    HBarMove(pN);
    SyncHorizontalOffset();
}

void UC_ListView::SyncTopItem() {
    if (c_VBar == nullptr) return;
    c_Model.StoreTopItem(c_VBar->Value());
    if (c_Model.TopItem() != c_LastDrawnTop) ReDraw();
}

void UC_ListView::SyncHorizontalOffset() {
    if (c_HBar == nullptr) return;
    c_Model.SetHorizontalOffset(c_HBar->Value());
    ReDrawTab(-1);
    ReDraw();
}

void UC_ListView::SetTopItem(std::int32_t pItem, std::int32_t pSetToTop, std::int32_t pIfHidden) {
    if (pItem < 0 || pItem >= c_Model.ItemCount()) return;
    if (!VBarVisible()) {
        c_Model.StoreTopItem(0);
    } else {
        const std::int32_t top = c_Model.TopItem();
        const std::int32_t target =
            pSetToTop != 0 ? pItem : RoundHalfEven(pItem - static_cast<double>(c_VisibleRows) / 2.0);
        if (pIfHidden == 0 || pItem < top || pItem > top + c_VisibleRows - 1) {
            c_Model.StoreTopItem(std::clamp(target, 0, c_VBar->Max()));
            const QSignalBlocker quiet(c_VBar->Widget());
            c_VBar->SetValue(c_Model.TopItem());
        }
    }
    ReDraw();
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

// ---- Drag and drop ------------------------------------------------------------------------------------------

void UC_ListView::SetClock(std::function<double()> pClock) { c_Clock = pClock ? std::move(pClock) : SteadySeconds; }

void UC_ListView::SetDragRunner(std::function<std::int32_t(QMimeData*, std::int32_t)> pRunner) {
    c_DragRunner = std::move(pRunner);
}

void UC_ListView::SetSoundDeviceLister(std::function<std::vector<std::string>(bool)> pLister) {
    c_SoundDeviceLister = std::move(pLister);
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
            effect = RunPlatformDrag(c_ItemArea, mime, allowed, IconPixmap(c_PictureIcons, kListIconWave));
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
