// The list model's cell grid: configuration, columns, the rows' values,
// hidden values and marks, the row store, the sort and the shuffle.
#include "controls/model/list_view_model.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string_view>
#include <utility>

#include "common/error_trap.h"
#include "controls/model/list_view_model_shared.h"

namespace sonivate {

using namespace list_view_model_detail;

ListViewModel::ListViewModel() : c_RandomSource(ClockSeededSource()) {
    Init();
    // The default column and style are in place, but the host has not chosen a style yet.
    c_StyleSet = false;
}

std::int32_t ListViewModel::NumData() const { return c_NumData; }

void ListViewModel::SetNumData(std::int32_t pValue) {
    if (pValue >= 0) c_NumData = pValue;
}

std::int32_t ListViewModel::NumAux() const { return c_NumAux; }

void ListViewModel::SetNumAux(std::int32_t pValue) {
    if (pValue >= 0) c_NumAux = pValue;
}

std::int32_t ListViewModel::TwipsPerPixel() const { return c_TwipsPerPixel; }

void ListViewModel::SetTwipsPerPixel(std::int32_t pValue) {
    if (pValue >= 1) c_TwipsPerPixel = pValue;
}

std::int32_t ListViewModel::OneHeight() const { return c_OneHeight; }

void ListViewModel::SetOneHeight(std::int32_t pValue) {
    if (pValue >= 0) c_OneHeight = pValue;
}

std::int32_t ListViewModel::NoMultiSelect() const { return c_NoMultiSelect; }

void ListViewModel::SetNoMultiSelect(std::int32_t pValue) { c_NoMultiSelect = pValue; }

std::int32_t ListViewModel::ClickDisabled() const { return c_ClickDisabled; }

void ListViewModel::SetClickDisabled(std::int32_t pValue) { c_ClickDisabled = pValue; }

std::int32_t ListViewModel::SortDisabled() const { return c_SortDisabled; }

void ListViewModel::SetSortDisabled(std::int32_t pValue) { c_SortDisabled = pValue; }

std::int32_t ListViewModel::IconDisabled() const { return c_IconDisabled; }

void ListViewModel::SetIconDisabled(std::int32_t pValue) { c_IconDisabled = pValue; }

std::int32_t ListViewModel::IconMargin() const { return c_IconMargin; }

double ListViewModel::LayoutScale() const { return c_LayoutScale; }

void ListViewModel::SetLayoutScale(double pValue) {
    Trap([&] {
        if (!(pValue > 0.0) || !std::isfinite(pValue)) return;
        c_LayoutScale = pValue;
        UpdateIconMargin();
    });
}

void ListViewModel::UpdateIconMargin() {
    const std::int32_t pixels = c_IconDisabled != 0 ? kNoIconMarginPixels : kIconMarginPixels;
    c_IconMargin = RoundToInt32(pixels * c_LayoutScale) * c_TwipsPerPixel;
}

std::int32_t ListViewModel::OrderData() const { return c_OrderData; }

void ListViewModel::SetOrderData(std::int32_t pValue) { c_OrderData = pValue; }

std::int32_t ListViewModel::OrderInverted() const { return c_OrderInverted; }

void ListViewModel::SetOrderInverted(std::int32_t pValue) { c_OrderInverted = pValue; }

void ListViewModel::SetStyle(float pSize, std::int32_t pBold, const std::string& pName, std::int32_t pForeColor,
                             std::int32_t pBackColor) {
    Trap([&] {
        c_Style = ListStyle{pSize, pBold, pName, pForeColor, pBackColor};
        c_StyleSet = true;
        c_OneHeight = 0;
    });
}

void ListViewModel::Init() {
    Trap([&] {
        // Built aside so that a failed allocation leaves both tables as they were.
        std::vector<ColumnRecord> columns(static_cast<std::size_t>(c_NumData));
        std::vector<std::int32_t> positions(columns.size());
        for (std::size_t c = 0; c < columns.size(); ++c) {
            columns[c].Order = static_cast<std::int32_t>(c);
            positions[c] = static_cast<std::int32_t>(c);
        }
        c_Columns.swap(columns);
        c_ColumnAtPosition.swap(positions);
        c_HorizontalOffset = 0;
        LayoutColumns();
        ResetList();
        UpdateIconMargin();
        if (!c_StyleSet) {
            c_Style = ListStyle{};
            c_StyleSet = true;
            c_OneHeight = 0;
        }
        NotifyReset();
    });
}

void ListViewModel::ResetNumTab() {
    Trap([&] {
        for (ItemRecord& item : c_Items) {
            item.Data.resize(static_cast<std::size_t>(c_NumData));
            item.Aux.resize(static_cast<std::size_t>(c_NumAux));
        }
        NotifyReset();
    });
}

void ListViewModel::ResetList() {
    c_Items.clear();
    c_Items.shrink_to_fit();
    c_ItemCount = 0;
    c_TopItem = 0;
    c_SelectedItem = -1;
    c_OrderData = -1;
    c_RangeMode = false;
    c_ToggleMode = false;
}

const ListViewModel::ColumnRecord* ListViewModel::Column(std::int32_t pData) const {
    if (pData < 0 || static_cast<std::size_t>(pData) >= c_Columns.size()) return nullptr;
    return &c_Columns[static_cast<std::size_t>(pData)];
}

ListViewModel::ColumnRecord* ListViewModel::Column(std::int32_t pData) {
    return const_cast<ColumnRecord*>(std::as_const(*this).Column(pData));
}

std::string ListViewModel::TabName(std::int32_t pData) const {
    return Trapped(std::string(), [&] {
        const ColumnRecord* column = Column(pData);
        return column != nullptr ? column->TabName : std::string();
    });
}

void ListViewModel::SetTabName(std::int32_t pData, const std::string& pValue) {
    Trap([&] {
        if (ColumnRecord* column = Column(pData)) column->TabName = pValue;
    });
}

std::int32_t ListViewModel::TabWidth(std::int32_t pData) const {
    const ColumnRecord* column = Column(pData);
    return column != nullptr ? column->TabWidth : 0;
}

void ListViewModel::SetTabWidth(std::int32_t pData, std::int32_t pValue) {
    Trap([&] {
        ColumnRecord* column = Column(pData);
        if (column == nullptr) return;
        column->TabWidth = std::max(pValue, kMinTabWidth);
        LayoutColumns();
    });
}

std::int32_t ListViewModel::TabHidden(std::int32_t pData) const {
    const ColumnRecord* column = Column(pData);
    return column != nullptr ? column->TabHidden : 0;
}

void ListViewModel::SetTabHidden(std::int32_t pData, std::int32_t pValue) {
    Trap([&] {
        ColumnRecord* column = Column(pData);
        if (column == nullptr) return;
        column->TabHidden = pValue;
        LayoutColumns();
    });
}

std::int32_t ListViewModel::TabAlign(std::int32_t pData) const {
    const ColumnRecord* column = Column(pData);
    return column != nullptr ? column->TabAlign : 0;
}

void ListViewModel::SetTabAlign(std::int32_t pData, std::int32_t pValue) {
    if (ColumnRecord* column = Column(pData)) column->TabAlign = pValue;
}

std::int32_t ListViewModel::TabOrder(std::int32_t pData) const {
    const ColumnRecord* column = Column(pData);
    return column != nullptr ? column->Order : 0;
}

std::int32_t ListViewModel::ColumnAtPosition(std::int32_t pPosition) const {
    if (pPosition < 0 || static_cast<std::size_t>(pPosition) >= c_ColumnAtPosition.size()) return -1;
    return c_ColumnAtPosition[static_cast<std::size_t>(pPosition)];
}

std::int32_t ListViewModel::DataNumeric(std::int32_t pData) const {
    const ColumnRecord* column = Column(pData);
    return column != nullptr ? column->DataNumeric : 0;
}

void ListViewModel::SetDataNumeric(std::int32_t pData, std::int32_t pValue) {
    if (ColumnRecord* column = Column(pData)) column->DataNumeric = pValue;
}

bool ListViewModel::ColumnSortNumeric(std::int32_t pData) const {
    const ColumnRecord* column = Column(pData);
    return column != nullptr && column->SortNumeric;
}

void ListViewModel::SetColumnSortNumeric(std::int32_t pData, bool pValue) {
    if (ColumnRecord* column = Column(pData)) column->SortNumeric = pValue;
}

std::int32_t ListViewModel::TextIsTime(std::int32_t pData) const {
    const ColumnRecord* column = Column(pData);
    return column != nullptr ? column->TextIsTime : 0;
}

void ListViewModel::SetTextIsTime(std::int32_t pData, std::int32_t pValue) {
    if (ColumnRecord* column = Column(pData)) column->TextIsTime = pValue;
}

std::int32_t ListViewModel::UseTextCombo(std::int32_t pData) const {
    const ColumnRecord* column = Column(pData);
    return column != nullptr ? column->UseTextCombo : 0;
}

void ListViewModel::SetUseTextCombo(std::int32_t pData, std::int32_t pValue) {
    ColumnRecord* column = Column(pData);
    if (column == nullptr) return;
    column->UseTextCombo = pValue;
    for (const std::int32_t kind : {kEditorList, kEditorCombo, kEditorText}) {
        if ((pValue & kind) != 0) {
            column->FrontObj = kind;
            break;
        }
    }
}

std::int32_t ListViewModel::FrontObj(std::int32_t pData) const {
    const ColumnRecord* column = Column(pData);
    return column != nullptr ? column->FrontObj : 0;
}

void ListViewModel::SetFrontObj(std::int32_t pData, std::int32_t pValue) {
    if (ColumnRecord* column = Column(pData)) column->FrontObj = pValue;
}

void ListViewModel::SetTabOrder(std::int32_t pTab, std::int32_t pValue) {
    Trap([&] {
        const auto count = static_cast<std::int32_t>(c_Columns.size());
        if (pTab < 0 || pTab >= count || pValue < 0 || pValue >= count) return;
        const std::int32_t old = c_Columns[static_cast<std::size_t>(pTab)].Order;
        if (old == pValue) return;
        for (ColumnRecord& column : c_Columns) {
            if (old < pValue && column.Order > old && column.Order <= pValue)
                --column.Order;
            else if (old > pValue && column.Order >= pValue && column.Order < old)
                ++column.Order;
        }
        c_Columns[static_cast<std::size_t>(pTab)].Order = pValue;
        for (std::size_t c = 0; c < c_Columns.size(); ++c)
            c_ColumnAtPosition[static_cast<std::size_t>(c_Columns[c].Order)] = static_cast<std::int32_t>(c);
    });
}

std::int32_t ListViewModel::ItemCount() const { return c_ItemCount; }

std::int32_t ListViewModel::StoreSlots() const { return static_cast<std::int32_t>(c_Items.size()); }

std::int32_t ListViewModel::ResolveItem(std::int32_t pIndex) const {
    const std::int32_t index = pIndex == kCursorItem ? c_SelectedItem : pIndex == kLastItem ? c_ItemCount - 1 : pIndex;
    return index >= 0 && index < c_ItemCount ? index : -1;
}

std::int32_t ListViewModel::ResolveItemNoLast(std::int32_t pIndex) const {
    return pIndex == kLastItem ? -1 : ResolveItem(pIndex);
}

CellValue ListViewModel::CellAt(std::size_t pSlot, std::int32_t pData) const {
    if (c_CellSource && ColumnComputed(pData)) return c_CellSource(static_cast<std::int32_t>(pSlot), pData);
    const auto& data = c_Items[pSlot].Data;
    return static_cast<std::size_t>(pData) < data.size() ? data[static_cast<std::size_t>(pData)] : CellValue();
}

CellValue ListViewModel::Value(std::int32_t pIndex, std::int32_t pData) const {
    return Trapped(CellValue(), [&] {
        const std::int32_t index = ResolveItem(pIndex);
        if (index < 0 || pData < 0 || pData >= c_NumData) return CellValue();
        return CellAt(static_cast<std::size_t>(index), pData);
    });
}

void ListViewModel::SetComputedColumns(std::vector<std::int32_t> pColumns, CellSource pSource) {
    Trap([&] {
        c_ComputedColumns = std::move(pColumns);
        c_CellSource = std::move(pSource);
        NotifyReset();
    });
}

bool ListViewModel::ColumnComputed(std::int32_t pData) const {
    return std::find(c_ComputedColumns.begin(), c_ComputedColumns.end(), pData) != c_ComputedColumns.end();
}

void ListViewModel::CellsChanged(std::int32_t pIndex) {
    Trap([&] {
        if (pIndex == -1) {
            NotifyReset();
            return;
        }
        const std::int32_t index = ResolveItem(pIndex);
        if (index >= 0) NotifyRowChanged(index);
    });
}

void ListViewModel::SetValue(std::int32_t pIndex, std::int32_t pData, const CellValue& pValue) {
    Trap([&] {
        const std::int32_t index = ResolveItem(pIndex);
        if (index < 0 || pData < 0 || pData >= c_NumData || ColumnComputed(pData)) return;
        auto& data = c_Items[static_cast<std::size_t>(index)].Data;
        if (static_cast<std::size_t>(pData) >= data.size()) return;
        data[static_cast<std::size_t>(pData)] = pValue;
        NotifyRowChanged(index);
    });
}

CellValue ListViewModel::AuxID(std::int32_t pIndex, std::int32_t pSlot) const {
    return Trapped(CellValue(), [&] {
        const std::int32_t index = ResolveItem(pIndex);
        if (index < 0 || pSlot < 0 || pSlot >= c_NumAux) return CellValue();
        const auto& aux = c_Items[static_cast<std::size_t>(index)].Aux;
        return static_cast<std::size_t>(pSlot) < aux.size() ? aux[static_cast<std::size_t>(pSlot)] : CellValue();
    });
}

void ListViewModel::SetAuxID(std::int32_t pIndex, std::int32_t pSlot, const CellValue& pValue) {
    Trap([&] {
        const std::int32_t index = ResolveItem(pIndex);
        if (index < 0 || pSlot < 0 || pSlot >= c_NumAux) return;
        auto& aux = c_Items[static_cast<std::size_t>(index)].Aux;
        if (static_cast<std::size_t>(pSlot) < aux.size()) aux[static_cast<std::size_t>(pSlot)] = pValue;
    });
}

std::int32_t ListViewModel::IconType(std::int32_t pIndex) const {
    const std::int32_t index = ResolveItem(pIndex);
    return index >= 0 ? c_Items[static_cast<std::size_t>(index)].IconType : 0;
}

void ListViewModel::SetIconType(std::int32_t pIndex, std::int32_t pValue) {
    Trap([&] {
        const std::int32_t index = ResolveItem(pIndex);
        if (index < 0) return;
        c_Items[static_cast<std::size_t>(index)].IconType = pValue;
        NotifyRowChanged(index);
    });
}

std::int32_t ListViewModel::DispColor(std::int32_t pIndex) const {
    const std::int32_t index = ResolveItemNoLast(pIndex);
    return index >= 0 ? c_Items[static_cast<std::size_t>(index)].DispColor : 0;
}

void ListViewModel::SetDispColor(std::int32_t pIndex, std::int32_t pValue) {
    Trap([&] {
        const std::int32_t index = ResolveItem(pIndex);
        if (index < 0) return;
        c_Items[static_cast<std::size_t>(index)].DispColor = pValue;
        NotifyRowChanged(index);
    });
}

std::int32_t ListViewModel::HLine(std::int32_t pIndex) const {
    const std::int32_t index = ResolveItemNoLast(pIndex);
    return index >= 0 ? c_Items[static_cast<std::size_t>(index)].HLine : 0;
}

void ListViewModel::SetHLine(std::int32_t pIndex, std::int32_t pValue) {
    Trap([&] {
        const std::int32_t index = ResolveItem(pIndex);
        if (index < 0) return;
        c_Items[static_cast<std::size_t>(index)].HLine = pValue;
        NotifyRowChanged(index);
    });
}

ListViewModel::ItemRecord ListViewModel::EmptyItem(std::int32_t pDispColor) const {
    ItemRecord item;
    item.DispColor = pDispColor;
    item.Data.resize(static_cast<std::size_t>(c_NumData));
    item.Aux.resize(static_cast<std::size_t>(c_NumAux));
    return item;
}

// Makes slot pUpper the store's last one: grows to pUpper + kItemStoreSlack
// when larger (new slots take the current fore colour), shrinks to exactly
// pUpper when smaller. An empty list counts as having no slots, so growing it
// renews every slot.
void ListViewModel::EnsureItemCapacity(std::int32_t pUpper) {
    const std::int64_t current = c_ItemCount == 0 ? -1 : static_cast<std::int64_t>(c_Items.size()) - 1;
    if (pUpper > current) {
        const std::int64_t slots = std::int64_t{pUpper} + kItemStoreSlack + 1;
        CheckedNarrow<std::int32_t>(slots);
        c_Items.resize(static_cast<std::size_t>(current + 1));
        c_Items.reserve(static_cast<std::size_t>(slots));
        while (static_cast<std::int64_t>(c_Items.size()) < slots) c_Items.push_back(EmptyItem(c_Style.ForeColor));
    } else if (pUpper < current) {
        c_Items.resize(static_cast<std::size_t>(pUpper) + 1);
    }
}

void ListViewModel::ShrinkAfterDeletion() {
    if (c_ItemCount > 0) EnsureItemCapacity(c_ItemCount - 1);
}

void ListViewModel::AddItem(std::int32_t pNum) {
    Trap([&] {
        if (pNum < 1) return;
        const auto count = CheckedNarrow<std::int32_t>(std::int64_t{c_ItemCount} + pNum);
        EnsureItemCapacity(count - 1);
        const std::int32_t first = c_ItemCount;
        c_ItemCount = count;
        Notify(c_Events.RowsInserted, first, pNum);
    });
}

void ListViewModel::InsertItem(std::int32_t pIndex, std::int32_t pNum) {
    Trap([&] {
        const std::int32_t index = pIndex == kCursorItem ? c_SelectedItem : pIndex;
        if (index < 0 || index > c_ItemCount || pNum < 0) return;
        const std::int32_t num = pNum == 0 ? 1 : pNum;
        const auto count = CheckedNarrow<std::int32_t>(std::int64_t{c_ItemCount} + num);
        // Everything that allocates comes before the rows move, so a failure
        // cannot leave moved rows outside the count.
        std::vector<ItemRecord> fresh(static_cast<std::size_t>(num), EmptyItem(0));
        EnsureItemCapacity(count - 1);
        const auto first = c_Items.begin() + index;
        std::move_backward(first, c_Items.begin() + c_ItemCount, c_Items.begin() + count);
        std::move(fresh.begin(), fresh.end(), first);
        c_ItemCount = count;
        if (c_SelectedItem >= index) c_SelectedItem += num;
        Notify(c_Events.RowsInserted, index, num);
    });
}

void ListViewModel::DeleteItem(std::int32_t pIndex) {
    Trap([&] {
        const std::int32_t index = pIndex == kCursorItem ? c_SelectedItem : pIndex;
        if (index < 0 || index >= c_ItemCount) return;
        std::move(c_Items.begin() + index + 1, c_Items.begin() + c_ItemCount, c_Items.begin() + index);
        --c_ItemCount;
        ShrinkAfterDeletion();
        // The cursor stays on its item unless that item is the one removed.
        const bool cursorMoved = c_SelectedItem == index;
        if (c_SelectedItem > index) --c_SelectedItem;
        if (c_SelectedItem >= c_ItemCount) c_SelectedItem = -1;
        Notify(c_Events.RowsRemoved, index, std::int32_t{1});
        if (cursorMoved) Notify(c_Events.SelectionChanged);
    });
}

void ListViewModel::DeleteItemEx(std::int32_t pIndex1, std::int32_t pIndex2) {
    Trap([&] {
        if (c_ItemCount == 0) return;
        const std::int32_t first = Limit(pIndex1, 0, c_ItemCount - 1);
        const std::int32_t last = Limit(pIndex2, 0, c_ItemCount - 1);
        if (last < first) return;
        std::move(c_Items.begin() + last + 1, c_Items.begin() + c_ItemCount, c_Items.begin() + first);
        c_ItemCount -= last - first + 1;
        ShrinkAfterDeletion();
        // The cursor keeps its number, so from the first removed row on it
        // names another item (or none).
        const bool cursorMoved = c_SelectedItem >= first;
        if (c_SelectedItem >= c_ItemCount) c_SelectedItem = -1;
        Notify(c_Events.RowsRemoved, first, last - first + 1);
        if (cursorMoved) Notify(c_Events.SelectionChanged);
    });
}

void ListViewModel::DeleteAll() {
    Trap([&] {
        ResetList();
        NotifyReset();
    });
}

void ListViewModel::NotifyRowChanged(std::int32_t pRow) { Notify(c_Events.RowChanged, pRow); }

void ListViewModel::NotifyReset() { Notify(c_Events.ListReset); }

void ListViewModel::ExchangeItem(std::int32_t pPlus) {
    Trap([&] {
        if (c_ItemCount < 2 || c_SelectedItem < 0) return;
        const std::int64_t target = std::int64_t{c_SelectedItem} + pPlus;
        if (target < 0 || target >= c_ItemCount) return;
        const SelectionState before = Selection();
        const std::int32_t from = c_SelectedItem;
        std::swap(c_Items[static_cast<std::size_t>(from)], c_Items[static_cast<std::size_t>(target)]);
        UnSelectAllQuietly();
        c_SelectedItem = static_cast<std::int32_t>(target);
        c_Items[static_cast<std::size_t>(target)].IsSelected = kFlagSelected;
        NotifyRowChanged(from);
        NotifyRowChanged(c_SelectedItem);
        NotifySelectionIfChanged(before);
    });
}

void ListViewModel::ReOrder(std::int32_t pOrderItem, std::int32_t pForce, std::int32_t pReverse) {
    Trap([&] {
        if (pOrderItem < 0 || pOrderItem >= c_NumData) return;
        const bool numeric = DataNumeric(pOrderItem) != 0;
        const bool shownNumber = ColumnSortNumeric(pOrderItem);
        const auto count = static_cast<std::size_t>(c_ItemCount);
        if (pReverse == -1) pReverse = (pOrderItem != c_OrderData || c_OrderInverted == 1 || pForce == 1) ? 0 : 1;

        // Everything that allocates comes before the marker is set, so a failure
        // leaves the list and its flags as they were.
        std::vector<std::size_t> order;
        if (shownNumber) {
            order = ShownNumberOrder(pOrderItem, pReverse != 0);
        } else {
            std::vector<SortKey> keys;
            keys.reserve(count);
            for (std::size_t i = 0; i < count; ++i) keys.push_back(MakeKey(CellAt(i, pOrderItem), numeric));
            order = ShellSortOrder(
                count, [&](std::size_t pA, std::size_t pB) { return KeyGreater(keys[pA], keys[pB], numeric); });
            if (pReverse != 0) std::reverse(order.begin(), order.end());
        }
        std::vector<ItemRecord> sorted;
        sorted.reserve(c_Items.size());

        if (c_SelectedItem >= 0) c_Items[static_cast<std::size_t>(c_SelectedItem)].IsSelected = kFlagCursorMarker;
        c_OrderData = pOrderItem;
        c_OrderInverted = pReverse != 0 ? 1 : 0;

        for (const std::size_t from : order) sorted.push_back(std::move(c_Items[from]));
        for (std::size_t spare = count; spare < c_Items.size(); ++spare) sorted.push_back(std::move(c_Items[spare]));
        c_Items.swap(sorted);

        for (std::int32_t i = 0; i < c_ItemCount; ++i) {
            ItemRecord& item = c_Items[static_cast<std::size_t>(i)];
            if (item.IsSelected == kFlagCursorMarker) {
                item.IsSelected = kFlagSelected;
                c_SelectedItem = i;
            }
        }
        NotifyReset();
    });
}

// The rows' positions sorted by the number each row's cell shows; rows that
// show none last, every tie in its current order.
std::vector<std::size_t> ListViewModel::ShownNumberOrder(std::int32_t pColumn, bool pDescending) const {
    const auto count = static_cast<std::size_t>(c_ItemCount);
    std::vector<std::optional<double>> keys;
    keys.reserve(count);
    for (std::size_t i = 0; i < count; ++i) keys.push_back(ShownNumber(CellAt(i, pColumn)));
    std::vector<std::size_t> order(count);
    for (std::size_t i = 0; i < count; ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t pA, std::size_t pB) {
        const std::optional<double>& a = keys[pA];
        const std::optional<double>& b = keys[pB];
        if (!a || !b) return a.has_value() && !b.has_value();
        return pDescending ? *a > *b : *a < *b;
    });
    return order;
}

void ListViewModel::SetRandomSource(std::function<double()> pSource) {
    Trap([&] { c_RandomSource = pSource ? std::move(pSource) : ClockSeededSource(); });
}

void ListViewModel::RndItem() {
    Trap([&] {
        if (c_ItemCount < 3) return;
        c_OrderData = -1;
        c_OrderInverted = 0;
        const std::int32_t reach = RoundToInt32(c_ItemCount / kShuffleReachDivisor + kShuffleReachBase);
        for (std::int32_t b = 0; b < c_ItemCount; ++b) {
            const double r = c_RandomSource();
            const std::int32_t d = RoundToInt32(r * (c_ItemCount - 1) + (b % reach));
            if (d < 0 || d >= c_ItemCount) continue;
            std::swap(c_Items[static_cast<std::size_t>(b)], c_Items[static_cast<std::size_t>(d)]);
            if (c_SelectedItem == b)
                c_SelectedItem = d;
            else if (c_SelectedItem == d)
                c_SelectedItem = b;
        }
        NotifyReset();
    });
}

}  // namespace sonivate
