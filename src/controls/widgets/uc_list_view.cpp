// The list view: construction, its scroll bars, the layout of its areas
// and scrolling. Drawing, input, drags, the header and the editors have
// files of their own (uc_list_view_*.cpp).
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
#include "controls/widgets/uc_slider.h"

#include "controls/widgets/uc_list_view_shared.h"

namespace sonivate {

using namespace list_view_detail;

namespace list_view_detail {
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
}  // namespace list_view_detail

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

void UC_ListView::SetSizeRate(float pRate) {
    if (!(pRate > 0.0F) || !std::isfinite(pRate)) return;
    c_SizeRate = pRate;
    c_Model.SetLayoutScale(pRate);
    // The row height is computed again at the next InitTab.
    c_Model.SetOneHeight(0);
    const std::int32_t header =
        ApplyFont(nullptr, kFontByArguments, nullptr, kDefaultFontSize * c_SizeRate, false, false, "");
    if (header >= 0) c_FontSlot[1] = header;
    if (c_Initialised) {
        PaintIconStrip();
        PrepareHeaderGradient();
    }
}

std::int32_t UC_ListView::ScaledPixels(std::int32_t pPixels) const {
    return std::max(1, RoundHalfEven(static_cast<double>(pPixels) * c_SizeRate));
}

std::int32_t UC_ListView::IconPixels() const { return ScaledPixels(kListIconSize); }

void UC_ListView::Init() {
    c_Model.SetTwipsPerPixel(Tpp());
    c_Model.SetLayoutScale(c_SizeRate);
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
    const std::int32_t header = HeaderFontSlot();
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
    BuildColumnMenu(columns);
    MakeEditors(columns);

    // Row metrics: the font's line height (a taller face makes taller rows)
    // plus the padding, room for an icon, or an editor's when the rows hold one.
    const std::int32_t tpp = Tpp();
    const std::int32_t t = TextHeightTwips(0);
    std::int32_t base = t + ScaledPixels(kRowPaddingPixels) * tpp;
    if (c_Model.IconDisabled() == 0) base = std::max(base, (IconPixels() + 2 * ScaledPixels(kIconRowGapPixels)) * tpp);
    c_Model.SetOneHeight(std::max(c_Model.OneHeight(), EditorRowHeightTwips(base)));
    const std::int32_t oneHeight = c_Model.OneHeight();
    c_RowBoxHeight = oneHeight;
    c_TextOffset = RoundHalfEven((oneHeight - t) / 2.0);
    c_EditorOffset = c_TextOffset - EditorRaisePixels() * tpp;
    if (!c_Editors->All().empty()) c_RowBoxHeight += tpp;
    SizeEditors(oneHeight);
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
    return (QFontMetrics(SlotFont(1)).height() + ScaledPixels(kHeaderTextTopPixels) +
            ScaledPixels(kHeaderBottomPixels)) *
           Tpp();
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
    c_AreaWidth = std::max<std::int32_t>(1, TwipsToPixels(w));
    c_AreaHeight = std::max<std::int32_t>(1, TwipsToPixels(h));
    c_VisibleRows = oneHeight > 0 && h > 0 ? static_cast<std::int32_t>(h / oneHeight) : 0;

    // Geometry of the parts inside the frame, before the bars' ranges: a
    // slider sizes its thumb from its track.
    const int left = kFramePixels, top = kFramePixels + TwipsToPixels(headerTwips);
    const int barPixels = TwipsToPixels(bar);
    c_Header->setVisible(c_TabDisabled == 0);
    c_Header->setGeometry(left, kFramePixels, std::max(1, width() - kRightGapPixels - 2 * kFramePixels),
                          std::max(1, TwipsToPixels(headerTwips)));
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
    const int headerHeight = std::max(1, TwipsToPixels(HeaderHeightTwips()));
    if (c_PictureTab.Width() != headerWidth || c_PictureTab.Height() != headerHeight ||
        c_PictureTab.Image().devicePixelRatio() != ratio) {
        c_PictureTab.SetBackColor(kColorButtonFace);
        c_PictureTab.Resize(headerWidth, headerHeight, ratio);
        PrepareHeaderGradient();
        RenderHeader(c_PushedData);
    }
    if (c_PictureIcons.IsNull() || c_PictureIcons.Image().devicePixelRatio() != ratio * c_SizeRate) PaintIconStrip();
}

// The strip is painted at the SizeRate, so that an icon drawn at IconPixels
// copies its pixels one to one.
void UC_ListView::PaintIconStrip() { PaintListIcons(c_PictureIcons, PixelRatio() * c_SizeRate); }

std::int32_t UC_ListView::HeaderFontSlot() const {
    return ApplyFont(nullptr, kFontByArguments, nullptr, kDefaultFontSize * c_SizeRate, false, false, "");
}

void UC_ListView::PrepareHeaderGradient() {
    c_PictureTabGrad.Resize(kHeaderGradientWidth, std::max(1, TwipsToPixels(HeaderHeightTwips())), PixelRatio());
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

}  // namespace sonivate
