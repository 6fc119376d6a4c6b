#pragma once
// The data model of the owner-drawn file list: item store, cells and hidden
// values, cursor and selection, sort, column table and hit tests. It has no
// drawing, fonts, scroll bars or editors; the list widget wraps it and does
// those, reading the state kept here (TopItem, OneHeight, the column edges).
//
// Units: every coordinate and size is in twips (1/1440 inch) unless its
// comment says pixels. One pixel is TwipsPerPixel() twips (15 at 96 dpi).
//
// Indices count from 0. Item arguments named pIndex also accept
// kCursorItem (-1, the cursor item) and kLastItem (-2, the last item), except
// where a comment says otherwise. An item or column index outside its range
// is no error: setters do nothing, getters return 0, an empty CellValue or "".
//
// Every public operation traps its own run-time errors through
// common/error_trap.h: with ErrorCatch() == 0 a failing operation stops
// quietly (getters return their failure value as above); otherwise the error
// reaches the caller. Exceptions thrown by the host's event callbacks are
// treated the same way.

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "common/color_value.h"
#include "controls/model/cell_value.h"

namespace sonivate {

// Index conventions of the item accessors.
inline constexpr std::int32_t kCursorItem = -1;
inline constexpr std::int32_t kLastItem = -2;

// Columns are never narrower than this (twips).
inline constexpr std::int32_t kMinTabWidth = 450;
// Spare slots the item store adds each time it grows.
inline constexpr std::int32_t kItemStoreSlack = 200;
inline constexpr std::int32_t kDefaultTwipsPerPixel = 15;
// Room left of the first column's text: icon shown / icons disabled (pixels).
inline constexpr std::int32_t kIconMarginPixels = 22;
inline constexpr std::int32_t kNoIconMarginPixels = 6;
// A header edge is hit within this distance on either side (pixels).
inline constexpr std::int32_t kEdgeHitPixels = 5;
// A click's row is taken this far above the pointer (pixels).
inline constexpr std::int32_t kClickRowOffsetPixels = 4;

// Mouse buttons and modifier keys of the mouse events (bit masks).
inline constexpr std::int32_t kLeftButton = 1;
inline constexpr std::int32_t kRightButton = 2;
inline constexpr std::int32_t kMiddleButton = 4;
inline constexpr std::int32_t kShiftKey = 1;
inline constexpr std::int32_t kCtrlKey = 2;

// Column text alignment (TabAlign).
inline constexpr std::int32_t kAlignRight = 1;

// In-place editor kinds (UseTextCombo flags, FrontObj values).
inline constexpr std::int32_t kEditorText = 1;
inline constexpr std::int32_t kEditorCombo = 2;
inline constexpr std::int32_t kEditorList = 4;

// Drop effects of the drag-and-drop events.
inline constexpr std::int32_t kDropEffectNone = 0;
inline constexpr std::int32_t kDropEffectCopy = 1;
inline constexpr std::int32_t kDropEffectMove = 2;

// The data carried by a drag: the platform's drag object reduced to what the
// system exchanges, a list of file paths.
struct DragData {
    static constexpr std::int32_t kFormatNone = 0;
    static constexpr std::int32_t kFormatFileList = 15;

    std::int32_t Format = kFormatNone;
    std::vector<std::string> Files;

    void Clear() {
        Format = kFormatNone;
        Files.clear();
    }
};

// The list's events, in their order of declaration. Arguments are passed by
// reference so that a handler may answer through them. Coordinates in twips
// relative to the item area; Button and Shift as the k...Button / k...Key
// masks. Unset callbacks are skipped. The model raises MouseDown, Clicked,
// RightClicked and DblClicked itself; the widget raises the others up to
// OLEDragOver. The change notices at the end are the model's own.
struct ListViewEvents {
    std::function<void()> DblClicked;
    std::function<void()> TabMoved;
    std::function<void()> TabReOrderd;
    std::function<void(double& X, double& Y)> RightClicked;
    std::function<void(std::int32_t& Button, std::int32_t& Shift, double& X, double& Y)> MouseDown;
    std::function<void(double& X, double& Y)> Clicked;
    std::function<void(DragData& Data, std::int32_t& AllowedEffects)> OLEStartDrag;
    std::function<void(std::int32_t& Effect)> OLECompleteDrag;
    std::function<void(DragData& Data, std::int32_t& Effect, std::int32_t& Button, std::int32_t& Shift, double& X,
                       double& Y)>
        OLEDragDrop;
    // pData = column, pValue = position of the chosen entry.
    std::function<void(std::int32_t& pData, std::int32_t& pValue)> ComboChaged;
    // pIsCombo 0 text box / 1 combo; pAction 0 key up, 1 key down, 2 key press.
    std::function<void(std::int32_t& pIsCombo, std::int32_t& pTab, std::int32_t& pAction, std::int32_t& KeyValue,
                       std::int32_t& Shift)>
        TextComboKeyAction;
    std::function<void()> OLEDragOver;

    // ---- Change notices, for the view that draws the list ----------------
    // Raised by the model after a mutating operation has completed, so a
    // handler always reads the final state. Values, not references: there is
    // nothing to answer. An operation raises exactly the notices that
    // describe its change and none when it changes nothing; when it raises
    // several, each one's row numbers hold for the list as the earlier ones
    // left it (so a view may apply them in turn). The ListReset operations
    // raise it whenever they run. Handlers run inside the operation's error
    // trap, like the other events. Which operation raises what:
    //   RowsInserted      AddItem, InsertItem
    //   RowsRemoved       DeleteItem, DeleteItemEx, DeleteSelected (one per
    //                     run of removed rows, the lowest run last)
    //   RowChanged        SetValue, SetDispColor, SetHLine, SetIconType, and
    //                     both rows of ExchangeItem
    //   SelectionChanged  SetSelectedItem, SetIsSelected, SelectAll,
    //                     UnSelectAll, MoveCursor, ExchangeItem, clicks, and
    //                     deletions that leave the cursor on another item
    //   ListReset         Init, DeleteAll, ResetNumTab, ReOrder, RndItem
    // Hidden values (AuxID), column settings, the style and the scroll
    // position raise nothing: they are not drawn, or the widget that forwards
    // them redraws itself. Row numbers that shift because rows were inserted
    // or removed before them are implied by RowsInserted/RowsRemoved; the
    // cursor following its item that way raises no SelectionChanged.

    // Rows pFirst..pFirst+pCount-1 are new; the rows that stood from pFirst
    // on moved down by pCount.
    std::function<void(std::int32_t pFirst, std::int32_t pCount)> RowsInserted;
    // Rows pFirst..pFirst+pCount-1 are gone; the rows after them moved up by pCount.
    std::function<void(std::int32_t pFirst, std::int32_t pCount)> RowsRemoved;
    // Row pRow's cells, text colour, top line or icon changed.
    std::function<void(std::int32_t pRow)> RowChanged;
    // Selection flags changed, or the cursor is now on another item (or none).
    std::function<void()> SelectionChanged;
    // Anything may have changed: count, order, contents, selection, cursor,
    // TopItem and, after Init, the column table. Repaint everything.
    std::function<void()> ListReset;
};

// Item-area font and colours chosen by SetStyle. An empty FontName means the
// user-interface font.
struct ListStyle {
    float FontSize = 9.0F;
    std::int32_t Bold = 0;
    std::string FontName;
    std::int32_t ForeColor = kColorWindowText;
    std::int32_t BackColor = kColorWindow;
};

class ListViewModel {
public:
    // Runs Init with the defaults (one column, one hidden value).
    ListViewModel();

    ListViewEvents& Events() { return c_Events; }

    // ---- Configuration ------------------------------------------------
    // Columns per item (default 1) and hidden values per item (default 1).
    // Negative values are ignored. Take effect at Init (columns and new items)
    // or ResetNumTab (existing items).
    std::int32_t NumData() const;
    void SetNumData(std::int32_t pValue);
    std::int32_t NumAux() const;
    void SetNumAux(std::int32_t pValue);

    // Twips per screen pixel, default 15; values below 1 are ignored.
    std::int32_t TwipsPerPixel() const;
    void SetTwipsPerPixel(std::int32_t pValue);

    // Row height in twips; 0 until the widget computes it. Negative values are
    // ignored. While it is 0, clicks do nothing and YsItem returns 0.
    std::int32_t OneHeight() const;
    void SetOneHeight(std::int32_t pValue);

    // Shift and Ctrl clicks act as plain clicks when non-zero.
    std::int32_t NoMultiSelect() const;
    void SetNoMultiSelect(std::int32_t pValue);
    // Mouse input on the item area (and the header sort) is ignored when non-zero.
    std::int32_t ClickDisabled() const;
    void SetClickDisabled(std::int32_t pValue);
    // Header clicks do not sort when non-zero (read by the widget).
    std::int32_t SortDisabled() const;
    void SetSortDisabled(std::int32_t pValue);
    // No icons when non-zero; the icon margin follows at the next Init.
    std::int32_t IconDisabled() const;
    void SetIconDisabled(std::int32_t pValue);
    // Room left of the first visible column's text, in twips (set by Init
    // and by SetLayoutScale).
    std::int32_t IconMargin() const;
    // The layout scale (the window's SizeRate) of the pixel lengths the model
    // keeps: the icon margin. Default 1; values that are not above 0 are ignored.
    double LayoutScale() const;
    void SetLayoutScale(double pValue);

    // Sort state: column of the last sort (-1 = unsorted), 1 when descending.
    std::int32_t OrderData() const;
    void SetOrderData(std::int32_t pValue);
    std::int32_t OrderInverted() const;
    void SetOrderInverted(std::int32_t pValue);

    // Stores the style and resets OneHeight to 0 so that the widget computes
    // it again. pForeColor is the colour of rows the store grows by.
    void SetStyle(float pSize, std::int32_t pBold, const std::string& pName, std::int32_t pForeColor,
                  std::int32_t pBackColor);
    const ListStyle& Style() const { return c_Style; }
    // True once SetStyle ran (Init applies the default style only before that).
    bool StyleSet() const { return c_StyleSet; }

    // ---- Lifecycle ------------------------------------------------------
    // Rebuilds the column table for NumData columns (display order = column
    // order, width kMinTabWidth, captions ""), empties the list as DeleteAll
    // does, sets the icon margin and OrderData -1.
    void Init();
    // After NumData/NumAux changed: resizes every item's cells and hidden
    // values, keeping their contents. The column table is left as it is.
    void ResetNumTab();

    // ---- Columns (pData = column number) --------------------------------
    std::string TabName(std::int32_t pData) const;
    void SetTabName(std::int32_t pData, const std::string& pValue);
    // Width in twips; values below kMinTabWidth are stored as kMinTabWidth.
    // Writing runs LayoutColumns. Failure value 0.
    std::int32_t TabWidth(std::int32_t pData) const;
    void SetTabWidth(std::int32_t pData, std::int32_t pValue);
    // Hidden columns have zero width and are never hit. Writing runs LayoutColumns.
    std::int32_t TabHidden(std::int32_t pData) const;
    void SetTabHidden(std::int32_t pData, std::int32_t pValue);
    // kAlignRight = right-aligned, anything else left-aligned.
    std::int32_t TabAlign(std::int32_t pData) const;
    void SetTabAlign(std::int32_t pData, std::int32_t pValue);
    // Display position of a column (0 = leftmost); failure value 0.
    std::int32_t TabOrder(std::int32_t pData) const;
    // Column shown at a display position; -1 when the position is out of range.
    std::int32_t ColumnAtPosition(std::int32_t pPosition) const;
    // The column sorts numerically when non-zero.
    std::int32_t DataNumeric(std::int32_t pData) const;
    void SetDataNumeric(std::int32_t pData, std::int32_t pValue);
    // The column sorts by the number its cell shows: the cell's text read as
    // a decimal number with a point (never the locale's separator). Cells
    // that show none ("", "-", a word) come after every number in both
    // directions; equal keys keep their order. Takes precedence over
    // DataNumeric. Default false.
    bool ColumnSortNumeric(std::int32_t pData) const;
    void SetColumnSortNumeric(std::int32_t pData, bool pValue);
    // Six-digit entries are reformatted as a time by the widget's editor.
    std::int32_t TextIsTime(std::int32_t pData) const;
    void SetTextIsTime(std::int32_t pData, std::int32_t pValue);
    // Editor flags (kEditorText | kEditorCombo | kEditorList). Writing also sets
    // FrontObj to the highest flag present (list, then combo, then text).
    std::int32_t UseTextCombo(std::int32_t pData) const;
    void SetUseTextCombo(std::int32_t pData, std::int32_t pValue);
    std::int32_t FrontObj(std::int32_t pData) const;
    void SetFrontObj(std::int32_t pData, std::int32_t pValue);

    // Moves column pTab to display position pValue, shifting the columns in
    // between by one. Nothing when either is outside 0..NumData-1 or the
    // position is unchanged. Does not run LayoutColumns.
    void SetTabOrder(std::int32_t pTab, std::int32_t pValue);

    // Computes every column's left and right edge (twips from the left end of
    // the unscrolled content), walking the display positions.
    void LayoutColumns();
    std::int32_t TabLeft(std::int32_t pData) const;
    std::int32_t TabRight(std::int32_t pData) const;
    // Right edge of the last displayed column: the content width (twips).
    std::int32_t ContentRight() const;

    // Horizontal scroll offset in twips, as the widget's bar sets it.
    std::int32_t HorizontalOffset() const;
    void SetHorizontalOffset(std::int32_t pValue);

    // Column under item-area x (twips, before the horizontal offset is added):
    // right of the content the last visible column, left of the first
    // displayed column's right edge the first visible column, else the
    // visible column strictly inside whose edges x lies, else 0.
    std::int32_t ColumnAtX(double pX) const;
    // Visible column whose right edge lies within kEdgeHitPixels of x (the
    // rightmost in display order wins); -1 when none.
    std::int32_t ColumnEdgeAtX(double pX) const;

    // ---- Items ----------------------------------------------------------
    std::int32_t ItemCount() const;
    // Slots the store holds: ItemCount plus spare. Adding or inserting up to
    // slot u grows the store to u + 1 + kItemStoreSlack slots when u lies past
    // its last slot, and cuts it to exactly u + 1 slots when u lies before;
    // a deletion cuts it to the new count (an emptied list keeps its slots but
    // renews them all on the next growth). 0 after DeleteAll.
    std::int32_t StoreSlots() const;

    // First visible row. StoreTopItem is the widget's scroll position; values
    // below 0 are stored as 0.
    std::int32_t TopItem() const;
    void StoreTopItem(std::int32_t pValue);

    // Cursor item, -1 = none. Writing = SetSelectedItem.
    std::int32_t SelectedItem() const;
    // Cursor = pValue limited to -1..ItemCount-1 (so -2 gives -1); that
    // item's flag becomes 1; other flags unchanged.
    void SetSelectedItem(std::int32_t pValue);
    // Column last clicked in the item area; 0 when not below NumData.
    std::int32_t SelectedData() const;

    // Cell of column pData. Failure value: empty.
    CellValue Value(std::int32_t pIndex, std::int32_t pData) const;
    // Columns whose cells are computed from the owner's rows each time they
    // are read (drawn, sorted, asked for), never kept here: pSource gives row
    // pIndex's value of column pData. Writes to such a column are ignored;
    // CellsChanged tells the list that the owner's rows changed (pIndex -1:
    // every row). Columns outside NumData are ignored.
    using CellSource = std::function<CellValue(std::int32_t pIndex, std::int32_t pData)>;
    void SetComputedColumns(std::vector<std::int32_t> pColumns, CellSource pSource);
    bool ColumnComputed(std::int32_t pData) const;
    void CellsChanged(std::int32_t pIndex);
    void SetValue(std::int32_t pIndex, std::int32_t pData, const CellValue& pValue);
    // Hidden value pSlot (0..NumAux-1). Failure value: empty.
    CellValue AuxID(std::int32_t pIndex, std::int32_t pSlot) const;
    void SetAuxID(std::int32_t pIndex, std::int32_t pSlot, const CellValue& pValue);
    // Icon index, -1 = none; new rows hold 0. Failure value 0.
    std::int32_t IconType(std::int32_t pIndex) const;
    void SetIconType(std::int32_t pIndex, std::int32_t pValue);
    // Row text colour, top line colour (0 = none) and selection flag (1
    // selected, 0 not). These getters accept -1 but not -2 (they return 0 for
    // it); the setters accept both. Writing 0 to IsSelected(-1) also sets the
    // cursor to -1.
    std::int32_t DispColor(std::int32_t pIndex) const;
    void SetDispColor(std::int32_t pIndex, std::int32_t pValue);
    std::int32_t HLine(std::int32_t pIndex) const;
    void SetHLine(std::int32_t pIndex, std::int32_t pValue);
    std::int32_t IsSelected(std::int32_t pIndex) const;
    void SetIsSelected(std::int32_t pIndex, std::int32_t pValue);

    // Items whose flag is exactly 1; MultiSelected when more than one.
    std::int32_t NumSelectedItems() const;
    bool MultiSelected() const;

    // Item at height pY of the item area (twips): round(pY) integer-divided by
    // OneHeight, plus TopItem, limited to 0..ItemCount (ItemCount below the
    // last row). 0 while OneHeight is 0.
    std::int32_t YsItem(double pY) const;

    // ---- Item methods -----------------------------------------------------
    // Appends pNum empty items in the fore colour (the store changes as
    // described at StoreSlots). Nothing for pNum < 1.
    void AddItem(std::int32_t pNum);
    // Inserts pNum empty items (0 means 1) before pIndex; -1 = the cursor
    // item, ItemCount appends. Nothing when pIndex (after resolving -1) is
    // below 0 or above ItemCount, or pNum < 0. A cursor at or after pIndex
    // moves down by pNum. Inserted rows have colour 0.
    void InsertItem(std::int32_t pIndex, std::int32_t pNum);
    // Removes one item; -1 = the cursor item, any other negative index or one
    // past the end does nothing. A cursor after the removed item moves up by
    // one, otherwise it keeps its number; a cursor left past the last item
    // becomes -1.
    void DeleteItem(std::int32_t pIndex);
    // Removes items pIndex1..pIndex2 inclusive, both limited to 0..ItemCount-1;
    // nothing when pIndex2 < pIndex1. The cursor keeps its number unless that
    // leaves it past the last item (then -1).
    void DeleteItemEx(std::int32_t pIndex1, std::int32_t pIndex2);
    // Count 0, TopItem 0, cursor -1, OrderData -1, click modes off, store released.
    void DeleteAll();
    // Removes every item whose flag is not 0, keeping the order of the rest; cursor -1.
    void DeleteSelected();
    // All flags 0, cursor -1.
    void UnSelectAll();
    // All flags 1; cursor unchanged.
    void SelectAll();
    // Swaps the cursor item with the item pPlus rows away; that item becomes
    // the only selected item and the cursor. Nothing when ItemCount < 2, there
    // is no cursor or the target is outside the list.
    void ExchangeItem(std::int32_t pPlus);
    // Cursor one row down or up, limited to the list (from -1 both give 0);
    // exactly that item selected. Nothing on an empty list.
    void MoveCursor(bool pIsDown);

    // Sorts by column pOrderItem. pReverse 0 ascending, 1 descending, -1
    // chooses: ascending when pOrderItem differs from OrderData, OrderInverted
    // is 1 or pForce is 1, otherwise descending (so a repeated header click
    // toggles). Columns marked by SetColumnSortNumeric sort stably by their
    // shown number (see there). DataNumeric columns compare the cell as a
    // number (empty = 0; texts that spell no number after every number);
    // others the lower-cased text by UTF-16 code unit. Both of these use a
    // Shell sort and reverse it for descending. The cursor follows its item
    // and is selected afterwards. Nothing when pOrderItem is outside
    // 0..NumData-1.
    void ReOrder(std::int32_t pOrderItem, std::int32_t pForce = 0, std::int32_t pReverse = -1);

    // Shuffles the items when there are at least 3; forgets the sort state.
    // The cursor follows its item.
    void RndItem();
    // Uniform numbers in [0, 1) for RndItem; by default a clock-seeded generator.
    void SetRandomSource(std::function<double()> pSource);

    // ---- Mouse on the item area --------------------------------------------
    // A button pressed at (pX, pY) twips in the item area. Raises MouseDown;
    // for the left button then moves cursor and selection (plain, Shift range
    // and Ctrl toggle clicks) and records SelectedData. Nothing at all when
    // ClickDisabled is set or OneHeight is 0. Returns true when the item area
    // should be redrawn.
    bool ItemAreaMouseDown(std::int32_t pButton, std::int32_t pShift, double pX, double pY);
    // The button released: after a recorded press raises RightClicked (right
    // button) or Clicked (any other) and forgets the press. Returns true when
    // the item area should be redrawn.
    bool ItemAreaMouseUp(std::int32_t pButton, std::int32_t pShift, double pX, double pY);
    // Raises DblClicked when clicks are enabled and the list is not empty.
    void ItemAreaDblClick();
    // The press point (twips) the widget measures a drag from.
    bool HasPress() const { return c_HasPress; }
    double PressX() const { return c_PressX; }
    double PressY() const { return c_PressY; }
    // Called when a drag starts: a later release raises no click.
    void ForgetPress() { c_HasPress = false; }
    // Shift-click range mode and Ctrl-click toggle mode.
    bool RangeMode() const { return c_RangeMode; }
    bool ToggleMode() const { return c_ToggleMode; }

private:
    struct ItemRecord {
        std::int32_t IsSelected = 0;
        std::int32_t IconType = 0;
        std::int32_t DispColor = 0;
        std::int32_t HLine = 0;
        std::vector<CellValue> Data;
        std::vector<CellValue> Aux;
    };
    struct ColumnRecord {
        std::string TabName;
        std::int32_t Order = 0;
        std::int32_t TabHidden = 0;
        std::int32_t TabWidth = kMinTabWidth;
        std::int32_t Left = 0;
        std::int32_t Right = 0;
        std::int32_t TabAlign = 0;
        std::int32_t UseTextCombo = 0;
        std::int32_t FrontObj = 0;
        std::int32_t TextIsTime = 0;
        std::int32_t DataNumeric = 0;
        bool SortNumeric = false;
    };

    // The selection flags and the cursor, to tell whether an operation changed them.
    struct SelectionState {
        std::int32_t Cursor = -1;
        std::vector<std::int32_t> Flags;
        bool operator==(const SelectionState&) const = default;
    };
    SelectionState Selection() const;
    void NotifySelectionIfChanged(const SelectionState& pBefore);
    void NotifyRowChanged(std::int32_t pRow);
    void NotifyReset();
    void UnSelectAllQuietly();

    ItemRecord EmptyItem(std::int32_t pDispColor) const;
    void EnsureItemCapacity(std::int32_t pUpper);
    void ShrinkAfterDeletion();
    void ResetList();
    std::int32_t ResolveItem(std::int32_t pIndex) const;
    std::int32_t ResolveItemNoLast(std::int32_t pIndex) const;
    const ColumnRecord* Column(std::int32_t pData) const;
    ColumnRecord* Column(std::int32_t pData);
    std::int32_t ClickRow(double pY) const;
    void SelectByClick(std::int32_t pRow, std::int32_t pShift);
    void UpdateIconMargin();
    std::vector<std::size_t> ShownNumberOrder(std::int32_t pColumn, bool pDescending) const;
    // The cell of the row in slot pSlot: kept, or computed by the owner.
    CellValue CellAt(std::size_t pSlot, std::int32_t pData) const;

    ListViewEvents c_Events;
    ListStyle c_Style;
    bool c_StyleSet = false;

    std::int32_t c_NumData = 1;
    std::int32_t c_NumAux = 1;
    std::int32_t c_TwipsPerPixel = kDefaultTwipsPerPixel;
    std::int32_t c_OneHeight = 0;
    std::int32_t c_NoMultiSelect = 0;
    std::int32_t c_ClickDisabled = 0;
    std::int32_t c_SortDisabled = 0;
    std::int32_t c_IconDisabled = 0;
    std::int32_t c_IconMargin = 0;
    double c_LayoutScale = 1.0;
    std::int32_t c_OrderData = -1;
    std::int32_t c_OrderInverted = 0;

    std::vector<ColumnRecord> c_Columns;
    std::vector<std::int32_t> c_ColumnAtPosition;
    std::int32_t c_HorizontalOffset = 0;

    // The store's slots; the first c_ItemCount are the list.
    std::vector<ItemRecord> c_Items;
    std::int32_t c_ItemCount = 0;
    std::int32_t c_TopItem = 0;
    std::int32_t c_SelectedItem = -1;
    std::int32_t c_SelectedData = 0;

    bool c_RangeMode = false;
    bool c_ToggleMode = false;
    bool c_HasPress = false;
    double c_PressX = 0.0;
    double c_PressY = 0.0;

    std::function<double()> c_RandomSource;
    std::vector<std::int32_t> c_ComputedColumns;
    CellSource c_CellSource;
};

}  // namespace sonivate
