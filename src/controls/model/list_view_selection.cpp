// The list model's selection and cursor, and the mouse over the item area
// that changes them and raises the click events.
#include "controls/model/list_view_model.h"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <utility>

#include "common/error_trap.h"
#include "controls/model/list_view_model_shared.h"

namespace sonivate {

using namespace list_view_model_detail;

std::int32_t ListViewModel::SelectedItem() const { return c_SelectedItem; }

void ListViewModel::SetSelectedItem(std::int32_t pValue) {
    Trap([&] {
        const std::int32_t before = c_SelectedItem;
        c_SelectedItem = Limit(pValue, -1, c_ItemCount - 1);
        bool changed = c_SelectedItem != before;
        if (c_SelectedItem >= 0) {
            std::int32_t& flag = c_Items[static_cast<std::size_t>(c_SelectedItem)].IsSelected;
            changed = changed || flag != kFlagSelected;
            flag = kFlagSelected;
        }
        if (changed) Notify(c_Events.SelectionChanged);
    });
}

std::int32_t ListViewModel::SelectedData() const { return c_SelectedData < c_NumData ? c_SelectedData : 0; }

std::int32_t ListViewModel::IsSelected(std::int32_t pIndex) const {
    const std::int32_t index = ResolveItemNoLast(pIndex);
    return index >= 0 ? c_Items[static_cast<std::size_t>(index)].IsSelected : 0;
}

void ListViewModel::SetIsSelected(std::int32_t pIndex, std::int32_t pValue) {
    Trap([&] {
        bool changed = false;
        const std::int32_t index = ResolveItem(pIndex);
        if (index >= 0) {
            std::int32_t& flag = c_Items[static_cast<std::size_t>(index)].IsSelected;
            changed = flag != pValue;
            flag = pValue;
        }
        if (pIndex == kCursorItem && pValue == 0 && c_SelectedItem != -1) {
            c_SelectedItem = -1;
            changed = true;
        }
        if (changed) Notify(c_Events.SelectionChanged);
    });
}

std::int32_t ListViewModel::NumSelectedItems() const {
    return static_cast<std::int32_t>(
        std::count_if(c_Items.begin(), c_Items.begin() + c_ItemCount,
                      [](const ItemRecord& pItem) { return pItem.IsSelected == kFlagSelected; }));
}

bool ListViewModel::MultiSelected() const { return NumSelectedItems() > 1; }

void ListViewModel::DeleteSelected() {
    Trap([&] {
        // Runs of removed rows (first, count), found before anything moves.
        std::vector<std::pair<std::int32_t, std::int32_t>> runs;
        for (std::int32_t i = 0; i < c_ItemCount; ++i) {
            if (c_Items[static_cast<std::size_t>(i)].IsSelected == 0) continue;
            if (!runs.empty() && runs.back().first + runs.back().second == i)
                ++runs.back().second;
            else
                runs.emplace_back(i, 1);
        }
        const auto end = std::stable_partition(c_Items.begin(), c_Items.begin() + c_ItemCount,
                                               [](const ItemRecord& pItem) { return pItem.IsSelected == 0; });
        c_ItemCount = static_cast<std::int32_t>(end - c_Items.begin());
        ShrinkAfterDeletion();
        const bool cursorMoved = c_SelectedItem != -1;
        c_SelectedItem = -1;
        // The lowest run last, so that every notice's rows hold when applied in turn.
        for (auto run = runs.rbegin(); run != runs.rend(); ++run) Notify(c_Events.RowsRemoved, run->first, run->second);
        if (cursorMoved) Notify(c_Events.SelectionChanged);
    });
}

void ListViewModel::UnSelectAllQuietly() {
    for (std::int32_t i = 0; i < c_ItemCount; ++i) c_Items[static_cast<std::size_t>(i)].IsSelected = 0;
    c_SelectedItem = -1;
}

void ListViewModel::UnSelectAll() {
    Trap([&] {
        const SelectionState before = Selection();
        UnSelectAllQuietly();
        NotifySelectionIfChanged(before);
    });
}

void ListViewModel::SelectAll() {
    Trap([&] {
        const SelectionState before = Selection();
        for (std::int32_t i = 0; i < c_ItemCount; ++i) c_Items[static_cast<std::size_t>(i)].IsSelected = kFlagSelected;
        NotifySelectionIfChanged(before);
    });
}

ListViewModel::SelectionState ListViewModel::Selection() const {
    SelectionState state;
    state.Cursor = c_SelectedItem;
    state.Flags.reserve(static_cast<std::size_t>(c_ItemCount));
    for (std::int32_t i = 0; i < c_ItemCount; ++i)
        state.Flags.push_back(c_Items[static_cast<std::size_t>(i)].IsSelected);
    return state;
}

void ListViewModel::NotifySelectionIfChanged(const SelectionState& pBefore) {
    if (!(Selection() == pBefore)) Notify(c_Events.SelectionChanged);
}

void ListViewModel::MoveCursor(bool pIsDown) {
    Trap([&] {
        if (c_ItemCount == 0) return;
        const std::int32_t cursor =
            c_SelectedItem < 0 ? 0 : Limit(std::int64_t{c_SelectedItem} + (pIsDown ? 1 : -1), 0, c_ItemCount - 1);
        const SelectionState before = Selection();
        UnSelectAllQuietly();
        c_SelectedItem = cursor;
        c_Items[static_cast<std::size_t>(cursor)].IsSelected = kFlagSelected;
        NotifySelectionIfChanged(before);
    });
}

void ListViewModel::SelectByClick(std::int32_t pRow, std::int32_t pShift) {
    const bool multi = c_NoMultiSelect == 0;
    ItemRecord& clicked = c_Items[static_cast<std::size_t>(pRow)];
    if (multi && pShift == kShiftKey) {
        const std::int32_t from = c_SelectedItem < 0 ? 0 : std::min(c_SelectedItem, pRow);
        const std::int32_t to = std::max(c_SelectedItem, pRow);
        for (std::int32_t i = 0; i < c_ItemCount; ++i)
            c_Items[static_cast<std::size_t>(i)].IsSelected = (i >= from && i <= to) ? kFlagSelected : 0;
        c_RangeMode = true;
        c_ToggleMode = false;
        c_SelectedItem = pRow;
        return;
    }
    if (multi && pShift == kCtrlKey) {
        if (clicked.IsSelected == kFlagSelected) {
            clicked.IsSelected = 0;
            if (pRow == c_SelectedItem) {
                c_SelectedItem = -1;
                for (std::int32_t i = 0; i < c_ItemCount; ++i) {
                    if (c_Items[static_cast<std::size_t>(i)].IsSelected == kFlagSelected) {
                        c_SelectedItem = i;
                        break;
                    }
                }
            }
        } else {
            clicked.IsSelected = kFlagSelected;
            c_SelectedItem = pRow;
        }
        c_RangeMode = false;
        c_ToggleMode = true;
        return;
    }
    // A plain click right after a range or toggle click keeps that selection,
    // so that it can be dragged.
    if (c_RangeMode) {
        c_RangeMode = false;
        if (clicked.IsSelected == kFlagSelected) return;
    }
    if (c_ToggleMode) {
        c_ToggleMode = false;
        return;
    }
    UnSelectAllQuietly();
    clicked.IsSelected = kFlagSelected;
    c_SelectedItem = pRow;
}

bool ListViewModel::ItemAreaMouseDown(std::int32_t pButton, std::int32_t pShift, double pX, double pY) {
    return Trapped(false, [&] {
        if (c_ClickDisabled != 0 || c_OneHeight < 1) return false;
        Raise(c_Events.MouseDown, pButton, pShift, pX, pY);
        // Every press is recorded so that its release raises the matching click.
        c_HasPress = true;
        c_PressX = pX;
        c_PressY = pY;
        if (pButton != kLeftButton) return false;
        if (c_ItemCount == 0) {
            c_SelectedItem = -1;
            return false;
        }
        const SelectionState before = Selection();
        SelectByClick(ClickRow(pY), pShift);
        c_SelectedData = ColumnAtX(pX);
        NotifySelectionIfChanged(before);
        return true;
    });
}

bool ListViewModel::ItemAreaMouseUp(std::int32_t pButton, [[maybe_unused]] std::int32_t pShift, double pX, double pY) {
    return Trapped(false, [&] {
        if (!c_HasPress || c_ClickDisabled != 0) return false;
        c_HasPress = false;
        if (pButton == kRightButton) {
            Raise(c_Events.RightClicked, pX, pY);
            return false;
        }
        Raise(c_Events.Clicked, pX, pY);
        return true;
    });
}

void ListViewModel::ItemAreaDblClick() {
    Trap([&] {
        if (c_ClickDisabled == 0 && c_ItemCount > 0) Raise(c_Events.DblClicked);
    });
}

}  // namespace sonivate
