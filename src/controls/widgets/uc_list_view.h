#pragma once
// The owner-drawn multi-column file list: a header strip, an item area and
// two scroll bars over the UI-free ListViewModel, which keeps the items, the
// columns, the selection and the sort.
//
// Units: positions and sizes are twips (1/1440 inch) unless a name says
// pixels; one pixel is TwipsPerPixel() twips. Mouse coordinates of the events
// are twips relative to the item area's top-left corner.
//
// Setting up (the order matters):
//   lv->SetNumData(5); lv->SetNumAux(3); lv->SetUseUCBar(1); ...other switches;
//   lv->Init();
//   lv->SetTabName(c, ...); lv->SetTabWidth(c, ...); lv->SetTabAlign(c, ...);
//   editor settings (SetUseTextCombo, SetTextIsTime) per column;
//   lv->SetStyle(size, bold, face, fore, back);
//   lv->InitTab(); lv->ReDrawTab(-1); lv->UserControl_Resize();
// After that the host reads and writes items through the item properties and
// methods below (all forwarded to Model()); the list repaints itself from the
// model's change notices. After adding or removing many rows the host calls
// SetVbarParm (or Refresh, which also scrolls back to the top).
//
// Events are Qt signals, in their order of declaration. Every argument is a
// reference: connect with a direct connection (the default within the window
// thread) and a handler may answer through it, e.g. OLEStartDrag's Data and
// AllowedEffects, or OLEDragDrop's Effect. Do not set Model().Events(): the
// list owns those callbacks and turns them into these signals.
//
// Drag and drop: a drag of the items starts when the left button moves more
// than 8 pixels from its press; OLEStartDrag asks the host for the files, which
// travel as file URLs (text/uri-list), so file managers accept them.
// Files dropped from anywhere arrive as OLEDragDrop with Data.Files holding
// the local paths in the drop's order.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <QPoint>
#include <QRect>
#include <QWidget>

#include "controls/model/list_view_model.h"
#include "uikit/picture.h"

class QComboBox;
class QKeyEvent;
class QLineEdit;
class QMenu;
class QMimeData;
class QTimer;

namespace sonivate {

namespace list_view_detail {
class HeaderArea;
class ItemArea;
class ListBar;
}  // namespace list_view_detail

class UC_ListView : public QWidget {
    Q_OBJECT

public:
    explicit UC_ListView(QWidget* pParent = nullptr);
    ~UC_ListView() override;

    // The data the list shows. Reading is always fine; writing through the
    // model directly is fine too (the change notices repaint the list), but
    // the column and scroll methods below also lay out and redraw.
    ListViewModel& Model() { return c_Model; }
    const ListViewModel& Model() const { return c_Model; }

    // ---- Configuration (before Init unless stated) ----------------------
    std::int32_t NumData() const { return c_Model.NumData(); }
    void SetNumData(std::int32_t pValue) { c_Model.SetNumData(pValue); }
    std::int32_t NumAux() const { return c_Model.NumAux(); }
    void SetNumAux(std::int32_t pValue) { c_Model.SetNumAux(pValue); }
    // 1 = the scroll bars are UC_Slider controls; ignored after the first Init.
    std::int32_t UseUCBar() const { return c_UseUCBar; }
    void SetUseUCBar(std::int32_t pValue);
    // Never show the horizontal / vertical bar.
    void SetHbarDisabled(std::int32_t pValue) { c_HbarDisabled = pValue; }
    void SetVbarDisabled(std::int32_t pValue) { c_VbarDisabled = pValue; }
    // Shade every odd row in light cyan.
    void SetUseMadara(std::int32_t pValue) { c_UseMadara = pValue; }
    void SetNoMultiSelect(std::int32_t pValue) { c_Model.SetNoMultiSelect(pValue); }
    // n > 0: rows whose column n-1 holds "" get a grey box.
    void SetBorderIfBlank(std::int32_t pValue) { c_BorderIfBlank = pValue; }
    // No automatic scrolling while something is dragged over the list.
    void SetNoOleScroll(std::int32_t pValue) { c_NoOleScroll = pValue; }
    // Row height in twips (computed by InitTab as the larger of this and the
    // font's and editors' needs).
    std::int32_t OneHeight() const { return c_Model.OneHeight(); }
    void SetOneHeight(std::int32_t pValue) { c_Model.SetOneHeight(pValue); }
    // Colour (0x00BBGGRR) and raster mode of the selection box; mode 9 ANDs
    // the colour onto what is drawn, 13 copies it, 7 XORs, 15 ORs (the
    // sixteen classic pen modes 1..16).
    void SetSelectedColor(std::int32_t pValue) { c_SelectedColor = pValue; }
    void SetSelectedColorMode(std::int32_t pValue) { c_SelectedColorMode = pValue; }
    // Rows per VBarScroll step (the wheel scrolls one step per notch).
    void SetNumWheelScroll(std::int32_t pValue) { c_NumWheelScroll = pValue; }
    // Kept for hosts that set it; painting is always deferred to the event loop.
    void SetBarNoDoEvents(std::int32_t pValue) { c_BarNoDoEvents = pValue; }
    // Header captions always left-aligned.
    void SetNoAlign4Tab(std::int32_t pValue) { c_NoAlign4Tab = pValue; }
    // Dragging with the left button scrolls the list instead of dragging items.
    void SetUseScroll(std::int32_t pValue) { c_UseScroll = pValue; }
    // Colour of the vertical column separators.
    void SetVLineColor(std::int32_t pValue) { c_VLineColor = pValue; }
    // 1 = the selection box covers only column SelectedData.
    void SetInvertSelectedData(std::int32_t pValue) { c_InvertSelectedData = pValue; }
    // The tooltip shows the text of the cell under the pointer.
    void SetShowToolTip(std::int32_t pValue) { c_ShowToolTip = pValue; }
    // With ShowToolTip: the tooltip shows what pSource answers for the row and
    // the column under the pointer instead of the cell's text ("" = none).
    // The answer is asked again whenever the pointer moves, also while the
    // list refuses clicks (during a run).
    using ToolTipSource = std::function<std::string(std::int32_t pRow, std::int32_t pColumn)>;
    void SetToolTipSource(ToolTipSource pSource) { c_ToolTipSource = std::move(pSource); }
    // Right-clicking the header opens the column-position menu.
    std::int32_t UseTabOrder() const { return c_UseTabOrder; }
    void SetUseTabOrder(std::int32_t pValue) { c_UseTabOrder = pValue; }
    void SetSortDisabled(std::int32_t pValue) { c_Model.SetSortDisabled(pValue); }
    // No icons; the first column's text starts 6 pixels in.
    void SetIconDisabled(std::int32_t pValue) { c_Model.SetIconDisabled(pValue); }
    // Mouse input on the item area, and sorting by header click, are ignored.
    std::int32_t ClickDisabled() const { return c_Model.ClickDisabled(); }
    void SetClickDisabled(std::int32_t pValue) { c_Model.SetClickDisabled(pValue); }
    // 1 = no header: the item area starts at the top.
    std::int32_t TabDisabled() const { return c_TabDisabled; }
    void SetTabDisabled(std::int32_t pValue) { c_TabDisabled = pValue; }
    // 1 = the in-place editors are never shown.
    std::int32_t HideTextCombo() const { return c_HideTextCombo; }
    void SetHideTextCombo(std::int32_t pValue);
    std::int32_t OrderData() const { return c_Model.OrderData(); }
    void SetOrderData(std::int32_t pValue) { c_Model.SetOrderData(pValue); }
    std::int32_t OrderInverted() const { return c_Model.OrderInverted(); }
    void SetOrderInverted(std::int32_t pValue) { c_Model.SetOrderInverted(pValue); }

    // ---- Scale ------------------------------------------------------------
    // The layout scale (the window's SizeRate; 1 = the design size). The
    // header's font, the row icons with their badges, the paddings and the
    // sort arrow grow with it; the row height is the item font's height
    // (SetStyle) plus a padding that grows with it, and never less than an
    // icon with its gaps. Values not above 0 are ignored. Set it before
    // SetStyle and InitTab; a later change takes effect at the next InitTab.
    float SizeRate() const { return c_SizeRate; }
    void SetSizeRate(float pRate);
    // A design length in pixels at the SizeRate (halves to even), at least 1.
    std::int32_t ScaledPixels(std::int32_t pPixels) const;
    // The side of the row icons (pixels).
    std::int32_t IconPixels() const;

    // ---- Columns (pData = column number) ----------------------------------
    std::string TabName(std::int32_t pData) const { return c_Model.TabName(pData); }
    void SetTabName(std::int32_t pData, const std::string& pValue);
    // Twips, never below 450; writing lays the columns out again.
    std::int32_t TabWidth(std::int32_t pData) const { return c_Model.TabWidth(pData); }
    void SetTabWidth(std::int32_t pData, std::int32_t pValue);
    std::int32_t TabHidden(std::int32_t pData) const { return c_Model.TabHidden(pData); }
    void SetTabHidden(std::int32_t pData, std::int32_t pValue);
    // 1 = right-aligned.
    std::int32_t TabAlign(std::int32_t pData) const { return c_Model.TabAlign(pData); }
    void SetTabAlign(std::int32_t pData, std::int32_t pValue);
    std::int32_t TabOrder(std::int32_t pData) const { return c_Model.TabOrder(pData); }
    std::int32_t DataNumeric(std::int32_t pData) const { return c_Model.DataNumeric(pData); }
    void SetDataNumeric(std::int32_t pData, std::int32_t pValue) { c_Model.SetDataNumeric(pData, pValue); }
    // The column sorts by the number its cells show, blanks last (see
    // ListViewModel::SetColumnSortNumeric); set after Init.
    bool ColumnSortNumeric(std::int32_t pData) const { return c_Model.ColumnSortNumeric(pData); }
    void SetColumnSortNumeric(std::int32_t pData, bool pValue) { c_Model.SetColumnSortNumeric(pData, pValue); }
    // Six digits typed into the column's text editor become hh:mm:ss.
    void SetTextIsTime(std::int32_t pData, std::int32_t pValue) { c_Model.SetTextIsTime(pData, pValue); }
    // Editor flags: 1 text box (TextLV), 2 combo box (ComboLV), 4 drop-down
    // list (ListLV), any sum; the editors are made by InitTab.
    void SetUseTextCombo(std::int32_t pData, std::int32_t pValue) { c_Model.SetUseTextCombo(pData, pValue); }
    void SetFrontObj(std::int32_t pData, std::int32_t pValue);

    // ---- Items --------------------------------------------------------------
    // pIndex: an item, kCursorItem (-1) or kLastItem (-2); see the model.
    std::int32_t ItemCount() const { return c_Model.ItemCount(); }
    std::int32_t TopItem() const { return c_Model.TopItem(); }
    std::int32_t SelectedItem() const { return c_Model.SelectedItem(); }
    void SetSelectedItem(std::int32_t pValue) { c_Model.SetSelectedItem(pValue); }
    std::int32_t SelectedData() const { return c_Model.SelectedData(); }
    CellValue Value(std::int32_t pIndex, std::int32_t pData) const { return c_Model.Value(pIndex, pData); }
    void SetValue(std::int32_t pIndex, std::int32_t pData, const CellValue& pValue) {
        c_Model.SetValue(pIndex, pData, pValue);
    }
    CellValue AuxID(std::int32_t pIndex, std::int32_t pData) const { return c_Model.AuxID(pIndex, pData); }
    void SetAuxID(std::int32_t pIndex, std::int32_t pData, const CellValue& pValue) {
        c_Model.SetAuxID(pIndex, pData, pValue);
    }
    std::int32_t IconType(std::int32_t pIndex) const { return c_Model.IconType(pIndex); }
    void SetIconType(std::int32_t pIndex, std::int32_t pValue) { c_Model.SetIconType(pIndex, pValue); }
    std::int32_t DispColor(std::int32_t pIndex) const { return c_Model.DispColor(pIndex); }
    void SetDispColor(std::int32_t pIndex, std::int32_t pValue) { c_Model.SetDispColor(pIndex, pValue); }
    std::int32_t HLine(std::int32_t pIndex) const { return c_Model.HLine(pIndex); }
    void SetHLine(std::int32_t pIndex, std::int32_t pValue) { c_Model.SetHLine(pIndex, pValue); }
    std::int32_t IsSelected(std::int32_t pIndex) const { return c_Model.IsSelected(pIndex); }
    void SetIsSelected(std::int32_t pIndex, std::int32_t pValue) { c_Model.SetIsSelected(pIndex, pValue); }
    std::int32_t NumSelectedItems() const { return c_Model.NumSelectedItems(); }
    bool MultiSelected() const { return c_Model.MultiSelected(); }
    // Position in the column's combo list of the entry equal to the cell's
    // text; -1 when none or when the column has no combo editor.
    std::int32_t ComboIndex(std::int32_t pIndex, std::int32_t pData) const;
    // True when editor 0 of any kind is shown.
    bool TextComboVisible() const;
    // Item at height pY (twips) of the item area; ItemCount below the last row.
    std::int32_t YsItem(double pY) const { return c_Model.YsItem(pY); }

    // ---- Lifecycle and layout ------------------------------------------------
    // Sizes the column table to NumData, empties the list, applies the default
    // style unless SetStyle ran before; the first call makes the scroll bars.
    void Init();
    // Item-area font (points, bold, face; "" = the user-interface font) for
    // the items and the editors, and the item-area colours. Resets OneHeight.
    void SetStyle(float pSize, std::int32_t pBold, const std::string& pName, std::int32_t pForeColor,
                  std::int32_t pBackColor);
    // After the columns are configured: fonts, header menu, editors, row
    // metrics; then UserControl_Resize.
    void InitTab();
    // Lays out header, item area and bars for the control's size (only after
    // Init and when the control is at least 600 x 600 twips).
    void UserControl_Resize();
    // Redraws the item area / the header with column pPushedData pressed (-1 none).
    void ReDraw();
    void ReDrawTab(std::int32_t pPushedData);
    // SetVbarParm, scrolled back to the top, everything redrawn.
    void Refresh();
    // Which bars show, their ranges, the item area's size.
    void SetVbarParm();

    // ---- Scrolling -------------------------------------------------------------
    // Bar value + n, limited to the bar's range (only while the bar shows).
    void VBarMove(std::int32_t pN);
    void HBarMove(std::int32_t pN);
    // n wheel steps of NumWheelScroll rows / n pixels, then the view follows.
    void VBarScroll(std::int32_t pN);
    void HBarScroll(std::int32_t pN);
    // Scrolls item pItem to the top (pSetToTop) or to the middle; with
    // pIfHidden only when it is not already in view.
    void SetTopItem(std::int32_t pItem, std::int32_t pSetToTop, std::int32_t pIfHidden);
    void ShowItem(std::int32_t pTopItem, std::int32_t pIfHidden) { SetTopItem(pTopItem, 1, pIfHidden); }
    void ShowSelected(std::int32_t pIfHidden) { SetTopItem(c_Model.SelectedItem(), 0, pIfHidden); }

    // ---- Columns methods -----------------------------------------------------------
    // Moves column pTab to display position pValue (does not redraw).
    void SetTabOrder(std::int32_t pTab, std::int32_t pValue) { c_Model.SetTabOrder(pTab, pValue); }
    // Column widths from the widest cell texts.
    void SetTabWidthAuto();

    // ---- Item methods (see ListViewModel) -----------------------------------------
    void AddItem(std::int32_t pNum) { c_Model.AddItem(pNum); }
    void InsertItem(std::int32_t pIndex, std::int32_t pNum) { c_Model.InsertItem(pIndex, pNum); }
    void ResetNumTab() { c_Model.ResetNumTab(); }
    void DeleteItem(std::int32_t pIndex) { c_Model.DeleteItem(pIndex); }
    void DeleteItemEx(std::int32_t pIndex1, std::int32_t pIndex2) { c_Model.DeleteItemEx(pIndex1, pIndex2); }
    void DeleteAll() { c_Model.DeleteAll(); }
    void DeleteSelected() { c_Model.DeleteSelected(); }
    void UnSelectAll() { c_Model.UnSelectAll(); }
    void SelectAll() { c_Model.SelectAll(); }
    void ExchangeItem(std::int32_t pPlus) { c_Model.ExchangeItem(pPlus); }
    void MoveCursor(bool pIsDown) { c_Model.MoveCursor(pIsDown); }
    void ReOrder(std::int32_t pOrderItem, std::int32_t pForce = 0, std::int32_t pReverse = -1) {
        c_Model.ReOrder(pOrderItem, pForce, pReverse);
    }
    void RndItem() { c_Model.RndItem(); }

    // ---- Editor lists ------------------------------------------------------------
    // Fills the column's combo and list editors with the names of the sound
    // input (pIsIn) or output devices, after emptying them; none is chosen.
    void LoadDevToLVCombo(std::int32_t pData, bool pIsIn);
    void AddComboItem(std::int32_t pData, const std::string& pValue);
    void ClearComboItem(std::int32_t pData);
    void AddListItem(std::int32_t pData, const std::string& pValue);
    void ClearListItem(std::int32_t pData);

    // ---- Parts, for the host and for tests -------------------------------------------
    // The drawn surfaces (logical pixels; made at the screen's pixel ratio).
    const Picture& PictureList() const { return c_PictureList; }
    const Picture& PictureTab() const { return c_PictureTab; }
    const Picture& PictureIcons() const { return c_PictureIcons; }
    // The item area and the header inside the control (pixels); the header is
    // empty with TabDisabled.
    QRect ItemAreaRect() const;
    QRect HeaderRect() const;
    QWidget* ItemAreaWidget() const;
    QWidget* HeaderWidget() const;
    // The header's sort arrow (pixels in PictureTab) over the sorted column,
    // pointing up when ascending and down when descending; empty when the
    // list is unsorted, the column hidden or the header off.
    QRect SortArrowRect() const;
    // Rows that fit the item area wholly.
    std::int32_t VisibleRows() const { return c_VisibleRows; }
    // The editors by instance number (nullptr outside), their column's
    // instance (-1 none), and the header's column-position menu.
    QLineEdit* TextLV(std::int32_t pIndex) const;
    QComboBox* ComboLV(std::int32_t pIndex) const;
    QComboBox* ListLV(std::int32_t pIndex) const;
    QMenu* MenuRCTab() const { return c_MenuRCTab; }

    // ---- The header's column menu ----------------------------------------------
    // Columns the operator may show or hide: a right click on the header
    // (when UseTabOrder is 0, after TabRightClicked) opens the list's own
    // menu of them, one checkable entry each (its text, and pName as the
    // action's object name), checked while the column is shown. An entry
    // toggled shows or hides its column and raises ColumnShownChanged. An
    // empty set opens no menu.
    struct HideableColumn {
        std::int32_t Column = 0;
        QString Text;
        QString Name;
    };
    void SetHideableColumns(std::vector<HideableColumn> pColumns) { c_Hideable = std::move(pColumns); }
    // Opens the column menu at pGlobal (screen pixels); the menu (made at
    // its first opening, rebuilt at every one).
    void OpenColumnMenu(QPoint pGlobal);
    QMenu* ColumnMenu() const { return c_ColumnMenu; }
    // Shows or hides column pData as the menu does (a column outside the set too).
    void ShowColumn(std::int32_t pData, bool pShown);
    // The bars: shown, value, maximum, large step; the bar widget itself.
    bool VBarVisible() const;
    std::int32_t VBarValue() const;
    std::int32_t VBarMax() const;
    std::int32_t VBarLargeChange() const;
    bool HBarVisible() const;
    std::int32_t HBarValue() const;
    std::int32_t HBarMax() const;
    QWidget* VBarWidget() const;
    QWidget* HBarWidget() const;
    // Text the tooltip shows for the cell last under the pointer.
    const std::string& ToolTipText() const { return c_ToolTipText; }

    // The in-place time rule: six digits with the first two below 31 and the
    // others at most 59 give "hh:mm:ss"; anything else nullopt.
    static std::optional<std::string> TimeEntryText(std::string_view pText);

    // ---- Seams for tests ---------------------------------------------------------------
    // Seconds of a steady clock, for the automatic scrolling while dragging.
    void SetClock(std::function<double()> pClock);
    // Runs a drag of pData with the allowed drop effects (k...Effect bits)
    // and returns the effect performed; by default a QDrag.
    void SetDragRunner(std::function<std::int32_t(QMimeData* pData, std::int32_t pAllowed)> pRunner);
    // Names of the sound devices, input or output; by default ALSA's list.
    void SetSoundDeviceLister(std::function<std::vector<std::string>(bool pIsInput)> pLister);
    // One notice of something dragged over the item area at pPoint (pixels),
    // as the platform sends them while a drag hovers.
    void DragOverNotice(QPoint pPoint);

signals:
    void DblClicked();
    void TabMoved();
    void TabReOrderd();
    void RightClicked(double& X, double& Y);
    void MouseDown(std::int32_t& Button, std::int32_t& Shift, double& X, double& Y);
    void Clicked(double& X, double& Y);
    void OLEStartDrag(sonivate::DragData& Data, std::int32_t& AllowedEffects);
    void OLECompleteDrag(std::int32_t& Effect);
    void OLEDragDrop(sonivate::DragData& Data, std::int32_t& Effect, std::int32_t& Button, std::int32_t& Shift,
                     double& X, double& Y);
    void ComboChaged(std::int32_t& pData, std::int32_t& pValue);
    void TextComboKeyAction(std::int32_t& pIsCombo, std::int32_t& pTab, std::int32_t& pAction, std::int32_t& KeyValue,
                            std::int32_t& Shift);
    void OLEDragOver();
    // The header right-clicked on column Data (-1 past the last) at Global
    // (screen pixels), when UseTabOrder is 0; the host may open a menu of its own.
    void TabRightClicked(std::int32_t& Data, QPoint& Global);
    // The column menu showed or hid column pData.
    void ColumnShownChanged(std::int32_t pData, bool pShown);
    // Delete pressed while the list has the keyboard focus and clicks are
    // allowed; the host removes the selected rows.
    void DeletePressed();

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;
    // The keyboard, with the list focused: arrows, Home/End and PgUp/PgDn
    // move the cursor (Shift extends the selection from where it started,
    // Ctrl moves the cursor alone and Ctrl+Space toggles its row), Ctrl+A
    // selects all and Delete raises DeletePressed. Every other key goes on
    // to the parent. Ignored, like the mouse, while ClickDisabled is 1.
    void keyPressEvent(QKeyEvent* pEvent) override;
    void focusInEvent(QFocusEvent* pEvent) override;
    void focusOutEvent(QFocusEvent* pEvent) override;

private:
    friend class list_view_detail::HeaderArea;
    friend class list_view_detail::ItemArea;

    struct Editors;

    // Input from the two areas (pixels relative to the area).
    void HeaderMouseMove(QPoint pPos, Qt::MouseButtons pButtons);
    void HeaderMousePress(QPoint pPos, Qt::MouseButton pButton);
    void HeaderMouseRelease(QPoint pPos, Qt::MouseButton pButton, QPoint pGlobal);
    void ItemMousePress(QPoint pPos, Qt::MouseButton pButton, Qt::KeyboardModifiers pModifiers);
    void ItemMouseMove(QPoint pPos, Qt::MouseButtons pButtons);
    void ItemMouseRelease(QPoint pPos, Qt::MouseButton pButton, Qt::KeyboardModifiers pModifiers);
    void ItemDoubleClick();
    void ItemWheel(int pAngleDelta);
    bool ItemToolTip(QPoint pPos, QPoint pGlobal);
    bool ItemDragEnter(const QMimeData* pData);
    void ItemDragLeave();
    bool ItemDrop(const QMimeData* pData, QPoint pPos, Qt::DropAction& pAction, Qt::MouseButtons pButtons,
                  Qt::KeyboardModifiers pModifiers);

    void InstallModelEvents();
    void CreateBars();
    void SyncTopItem();
    void SyncHorizontalOffset();
    void StartItemDrag();
    void MenuChosen(std::int32_t pPosition);
    // Repaints row pRow (-1 = the whole item area) once the event loop runs.
    void ScheduleRedraw(std::int32_t pRow);
    void RenderList();
    void RenderHeader(std::int32_t pPushedData);
    // InitTab's steps: the header's column-position menu, the editors the
    // columns ask for, the row height (twips) the editors need at least
    // pBase, how far they sit above the text (pixels), their heights.
    void BuildColumnMenu(std::int32_t pColumns);
    void MakeEditors(std::int32_t pColumns);
    std::int32_t EditorRowHeightTwips(std::int32_t pBase) const;
    std::int32_t EditorRaisePixels() const;
    void SizeEditors(std::int32_t pOneHeight);
    void PlaceEditorsVertically();
    void PlaceEditorsHorizontally();
    void HideAllEditors();
    void EditorTextChanged(std::int32_t pColumn);
    void EditorEntryChosen(std::int32_t pColumn, bool pIsList, int pEntry);
    bool EditorKey(QObject* pEditor, QEvent* pEvent);
    void EnsurePictures();
    void PaintIconStrip();
    void PrepareHeaderGradient();
    std::int32_t HeaderHeightTwips() const;
    std::int32_t TextHeightTwips(std::int32_t pFontSlot) const;
    QFont SlotFont(std::int32_t pSlot) const;
    std::int32_t FirstVisibleColumn() const;
    std::int32_t RowTopPixels(std::int32_t pVisibleRow) const;
    qreal PixelRatio() const;
    // The header cell's pixels of column pData, scrolled; the sort arrow in it.
    QRect HeaderCellRect(std::int32_t pData) const;
    QRect SortArrowIn(const QRect& pCell) const;
    std::int32_t HeaderFontSlot() const;

    ListViewModel c_Model;

    // Switches.
    std::int32_t c_UseUCBar = 0;
    std::int32_t c_HbarDisabled = 0;
    std::int32_t c_VbarDisabled = 0;
    std::int32_t c_UseMadara = 0;
    std::int32_t c_BorderIfBlank = 0;
    std::int32_t c_NoOleScroll = 0;
    std::int32_t c_SelectedColor = 0xC0A0A0;
    std::int32_t c_SelectedColorMode = 9;
    std::int32_t c_NumWheelScroll = 3;
    std::int32_t c_BarNoDoEvents = 0;
    std::int32_t c_NoAlign4Tab = 0;
    std::int32_t c_UseScroll = 0;
    std::int32_t c_VLineColor;
    std::int32_t c_InvertSelectedData = 0;
    std::int32_t c_ShowToolTip = 0;
    std::int32_t c_UseTabOrder = 0;
    std::int32_t c_TabDisabled = 0;
    std::int32_t c_HideTextCombo = 0;

    float c_SizeRate = 1.0F;

    // State.
    bool c_Initialised = false;
    // The sort state the header was last drawn with (column, inverted).
    std::pair<std::int32_t, std::int32_t> c_DrawnSort{-1, 0};
    bool c_BarsMade = false;
    // Font slots: item area, header, text, combo and list editors (FontTable indices).
    std::int32_t c_FontSlot[5] = {-1, -1, -1, -1, -1};
    std::int32_t c_VisibleRows = 0;
    std::int32_t c_LastDrawnTop = -1;
    std::int32_t c_RowBoxHeight = 0;  // twips
    std::int32_t c_TextOffset = 0;    // twips
    std::int32_t c_EditorOffset = 0;  // twips
    std::int32_t c_AreaWidth = 0;     // pixels
    std::int32_t c_AreaHeight = 0;    // pixels
    std::int32_t c_PushedData = -1;
    std::int32_t c_ResizeColumn = -1;
    bool c_Resizing = false;
    std::int32_t c_MenuColumn = -1;
    std::int32_t c_PressVValue = 0;
    std::int32_t c_PressHValue = 0;
    int c_WheelRemainder = 0;
    bool c_RedrawPending = false;
    bool c_SyncingEditors = false;
    std::int32_t c_LayoutCount = -1;
    std::string c_ToolTipText;
    ToolTipSource c_ToolTipSource;
    std::int32_t c_KeyAnchor = -1;  // where a Shift selection by keys started
    QRect c_DirtyRect;              // item-area pixels waiting for a repaint
    QPoint c_LastDragPos{-1, -1};
    double c_LastScrollTime = -1e9;
    bool c_DragHovering = false;

    Picture c_PictureTabGrad;
    Picture c_PictureTab;
    Picture c_PictureList;
    Picture c_PictureIcons;

    list_view_detail::HeaderArea* c_Header = nullptr;
    list_view_detail::ItemArea* c_ItemArea = nullptr;
    list_view_detail::ListBar* c_VBar = nullptr;
    list_view_detail::ListBar* c_HBar = nullptr;
    QWidget* c_Corner = nullptr;
    QMenu* c_MenuRCTab = nullptr;
    QMenu* c_ColumnMenu = nullptr;
    std::vector<HideableColumn> c_Hideable;
    QTimer* c_DragTimer = nullptr;
    Editors* c_Editors = nullptr;

    std::function<double()> c_Clock;
    std::function<std::int32_t(QMimeData*, std::int32_t)> c_DragRunner;
    std::function<std::vector<std::string>(bool)> c_SoundDeviceLister;
};

}  // namespace sonivate
