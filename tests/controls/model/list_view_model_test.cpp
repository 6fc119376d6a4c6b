#include "controls/model/list_view_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/error_trap.h"
#include "support/test_main.h"

namespace sonivate {
namespace {

constexpr std::int32_t kRed = 255;

// A list of pCount rows; hidden value 0 of each row is its original index, so
// tests can follow rows through moves (-1 marks a row made later).
ListViewModel MakeList(std::int32_t pCount, std::int32_t pColumns = 3) {
    ListViewModel lv;
    lv.SetNumData(pColumns);
    lv.SetNumAux(3);
    lv.Init();
    lv.AddItem(pCount);
    for (std::int32_t i = 0; i < pCount; ++i) lv.SetAuxID(i, 0, i);
    return lv;
}

std::vector<std::int32_t> Ids(const ListViewModel& pList) {
    std::vector<std::int32_t> ids;
    for (std::int32_t i = 0; i < pList.ItemCount(); ++i) {
        const CellValue id = pList.AuxID(i, 0);
        ids.push_back(id.IsEmpty() ? -1 : id.AsInt32().value_or(-1));
    }
    return ids;
}

void FillColumn(ListViewModel& pList, std::int32_t pColumn, const std::vector<CellValue>& pValues) {
    for (std::size_t i = 0; i < pValues.size(); ++i) pList.SetValue(static_cast<std::int32_t>(i), pColumn, pValues[i]);
}

std::vector<std::string> Texts(const ListViewModel& pList, std::int32_t pColumn) {
    std::vector<std::string> texts;
    for (std::int32_t i = 0; i < pList.ItemCount(); ++i) texts.push_back(pList.Value(i, pColumn).AsText());
    return texts;
}

TEST(ListViewStore, GrowsBySpareSlotsAndShrinksToTheExactCount) {
    ListViewModel lv;
    EXPECT_EQ(lv.StoreSlots(), 0);
    lv.AddItem(1);
    EXPECT_EQ(lv.StoreSlots(), 1 + kItemStoreSlack);
    lv.AddItem(3);  // a smaller bound than the store holds
    EXPECT_EQ(lv.StoreSlots(), 4);
    lv.AddItem(1);
    EXPECT_EQ(lv.StoreSlots(), 5 + kItemStoreSlack);
    lv.DeleteItem(0);
    EXPECT_EQ(lv.StoreSlots(), 4);
    lv.AddItem(0);
    lv.AddItem(-5);
    EXPECT_EQ(lv.ItemCount(), 4);
    lv.DeleteAll();
    EXPECT_EQ(lv.StoreSlots(), 0);
}

TEST(ListViewStore, RowsComeEmptyAndEmptiedSlotsLeakNothing) {
    ListViewModel lv = MakeList(0);
    lv.SetStyle(9.0F, 0, "", kRed, 0);
    lv.AddItem(2);
    EXPECT_EQ(lv.DispColor(1), kRed);  // grown rows take the fore colour
    lv.InsertItem(0, 1);
    EXPECT_EQ(lv.DispColor(0), 0);  // inserted rows take colour 0
    EXPECT_EQ(lv.IconType(0), 0);
    for (std::int32_t i = 0; i < 3; ++i) {
        lv.SetValue(i, 0, "old");
        lv.SetAuxID(i, 2, 7);
        lv.SetHLine(i, 1);
    }
    lv.SelectAll();
    lv.DeleteSelected();
    lv.AddItem(3);
    for (std::int32_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(lv.Value(i, 0).IsEmpty());
        EXPECT_TRUE(lv.AuxID(i, 2).IsEmpty());
        EXPECT_EQ(lv.HLine(i), 0);
        EXPECT_EQ(lv.IsSelected(i), 0);
    }
}

TEST(ListViewStore, ResetNumTabKeepsContentsAndWidensRows) {
    ListViewModel lv = MakeList(2, 1);
    lv.SetValue(1, 0, "keep");
    lv.SetNumData(2);
    lv.SetValue(1, 1, "ignored");  // rows still have one cell
    EXPECT_TRUE(lv.Value(1, 1).IsEmpty());
    lv.ResetNumTab();
    lv.SetValue(1, 1, "new");
    EXPECT_EQ(lv.Value(1, 0).AsText(), "keep");
    EXPECT_EQ(lv.Value(1, 1).AsText(), "new");
}

TEST(ListViewIndices, CursorLastAndOutOfRange) {
    ListViewModel lv = MakeList(3);
    EXPECT_EQ(lv.AuxID(kLastItem, 0).AsNumber(), 2.0);
    EXPECT_TRUE(lv.Value(kCursorItem, 0).IsEmpty());  // no cursor
    EXPECT_TRUE(lv.Value(3, 0).IsEmpty());
    EXPECT_TRUE(lv.Value(0, 3).IsEmpty());
    EXPECT_TRUE(lv.AuxID(0, 3).IsEmpty());
    EXPECT_TRUE(lv.AuxID(0, -1).IsEmpty());

    lv.SetValue(3, 0, "x");
    lv.SetValue(-3, 0, "x");
    lv.SetValue(0, 5, "x");
    lv.SetIconType(kCursorItem, 4);
    EXPECT_EQ(Texts(lv, 0), (std::vector<std::string>{"", "", ""}));
    EXPECT_EQ(lv.IconType(0) + lv.IconType(1) + lv.IconType(2), 0);

    lv.SetSelectedItem(1);
    lv.SetValue(kCursorItem, 1, "cursor");
    EXPECT_EQ(lv.Value(1, 1).AsText(), "cursor");

    // Colour, line and flag getters take -1 but answer 0 for -2; setters take both.
    lv.SetDispColor(kLastItem, kRed);
    lv.SetHLine(kLastItem, kRed);
    EXPECT_EQ(lv.DispColor(2), kRed);
    EXPECT_EQ(lv.DispColor(kLastItem), 0);
    EXPECT_EQ(lv.HLine(kLastItem), 0);
    lv.SetIsSelected(kLastItem, 1);
    EXPECT_EQ(lv.IsSelected(2), 1);
    EXPECT_EQ(lv.IsSelected(kLastItem), 0);
    EXPECT_EQ(lv.IsSelected(kCursorItem), 1);

    lv.SetIsSelected(kCursorItem, 0);
    EXPECT_EQ(lv.SelectedItem(), -1);
    EXPECT_EQ(lv.IsSelected(1), 0);
}

TEST(ListViewItems, InsertMovesRowsAndCursor) {
    ListViewModel lv = MakeList(3);
    lv.SetSelectedItem(2);
    lv.InsertItem(1, 3);
    EXPECT_EQ(Ids(lv), (std::vector<std::int32_t>{0, -1, -1, -1, 1, 2}));
    EXPECT_EQ(lv.SelectedItem(), 5);
    EXPECT_EQ(lv.IsSelected(5), 1);

    lv.InsertItem(lv.ItemCount(), 2);
    EXPECT_EQ(lv.ItemCount(), 8);
    EXPECT_TRUE(lv.AuxID(7, 0).IsEmpty());

    lv.InsertItem(kCursorItem, 0);  // 0 means 1, before the cursor row
    EXPECT_EQ(lv.ItemCount(), 9);
    EXPECT_EQ(lv.SelectedItem(), 6);
    EXPECT_EQ(lv.AuxID(6, 0).AsNumber(), 2.0);

    for (const std::int32_t bad : {kLastItem, -5, 10}) lv.InsertItem(bad, 1);
    lv.InsertItem(0, -1);
    lv.UnSelectAll();
    lv.InsertItem(kCursorItem, 1);
    EXPECT_EQ(lv.ItemCount(), 9);
}

TEST(ListViewItems, DeleteKeepsOrderFieldsAndCursor) {
    ListViewModel lv = MakeList(6);
    lv.SetDispColor(4, kRed);
    lv.SetSelectedItem(3);
    lv.DeleteItem(0);
    EXPECT_EQ(lv.SelectedItem(), 2);
    EXPECT_EQ(lv.DispColor(3), kRed);  // fields travel with the row
    lv.DeleteItem(2);                  // the cursor row itself
    EXPECT_EQ(lv.SelectedItem(), 2);   // now the next row
    EXPECT_EQ(Ids(lv), (std::vector<std::int32_t>{1, 2, 4, 5}));
    lv.DeleteItem(kLastItem);
    lv.DeleteItem(4);
    EXPECT_EQ(lv.ItemCount(), 4);
    lv.DeleteItem(kCursorItem);
    EXPECT_EQ(Ids(lv), (std::vector<std::int32_t>{1, 2, 5}));

    // A cursor on the last row must not be left pointing past the end.
    lv.SetSelectedItem(2);
    lv.DeleteItem(2);
    EXPECT_EQ(lv.SelectedItem(), -1);
    EXPECT_TRUE(lv.Value(kCursorItem, 0).IsEmpty());
}

TEST(ListViewItems, DeleteRangeLimitsItsEnds) {
    ListViewModel lv = MakeList(8);
    lv.SetSelectedItem(1);
    lv.DeleteItemEx(2, 4);
    EXPECT_EQ(Ids(lv), (std::vector<std::int32_t>{0, 1, 5, 6, 7}));
    EXPECT_EQ(lv.SelectedItem(), 1);
    lv.DeleteItemEx(3, 1);  // reversed: nothing
    EXPECT_EQ(lv.ItemCount(), 5);
    lv.SetSelectedItem(4);
    lv.DeleteItemEx(3, 100);
    EXPECT_EQ(Ids(lv), (std::vector<std::int32_t>{0, 1, 5}));
    EXPECT_EQ(lv.SelectedItem(), -1);
    lv.DeleteItemEx(-10, 100);
    EXPECT_EQ(lv.ItemCount(), 0);
}

TEST(ListViewItems, DeleteSelectedRemovesEveryNonZeroFlag) {
    ListViewModel lv = MakeList(6);
    lv.SetIsSelected(1, 1);
    lv.SetIsSelected(3, 2);
    lv.SetSelectedItem(4);
    EXPECT_EQ(lv.NumSelectedItems(), 2);  // only flags equal to 1
    EXPECT_TRUE(lv.MultiSelected());
    lv.DeleteSelected();
    EXPECT_EQ(Ids(lv), (std::vector<std::int32_t>{0, 2, 5}));
    EXPECT_EQ(lv.SelectedItem(), -1);
    EXPECT_FALSE(lv.MultiSelected());
    lv.DeleteAll();
    EXPECT_EQ(lv.ItemCount(), 0);
    EXPECT_EQ(lv.OrderData(), -1);
}

TEST(ListViewSelection, CursorMethods) {
    ListViewModel lv = MakeList(4);
    lv.SetSelectedItem(kLastItem);
    EXPECT_EQ(lv.SelectedItem(), -1);
    lv.SetSelectedItem(99);
    EXPECT_EQ(lv.SelectedItem(), 3);
    lv.SetSelectedItem(1);
    EXPECT_EQ(lv.NumSelectedItems(), 2);  // other flags unchanged
    lv.SelectAll();
    EXPECT_EQ(lv.NumSelectedItems(), 4);
    EXPECT_EQ(lv.SelectedItem(), 1);

    lv.UnSelectAll();
    lv.MoveCursor(false);
    EXPECT_EQ(lv.SelectedItem(), 0);
    lv.MoveCursor(false);
    EXPECT_EQ(lv.SelectedItem(), 0);
    lv.SelectAll();
    lv.MoveCursor(true);
    EXPECT_EQ(lv.SelectedItem(), 1);
    EXPECT_EQ(lv.NumSelectedItems(), 1);

    lv.SelectAll();
    lv.ExchangeItem(2);
    EXPECT_EQ(Ids(lv), (std::vector<std::int32_t>{0, 3, 2, 1}));
    EXPECT_EQ(lv.SelectedItem(), 3);
    EXPECT_EQ(lv.NumSelectedItems(), 1);
    EXPECT_EQ(lv.IsSelected(3), 1);
    lv.ExchangeItem(1);  // past the end
    lv.ExchangeItem(-4);
    EXPECT_EQ(lv.SelectedItem(), 3);
    lv.UnSelectAll();
    lv.ExchangeItem(-1);
    EXPECT_EQ(Ids(lv), (std::vector<std::int32_t>{0, 3, 2, 1}));
}

TEST(ListViewSort, HeaderClicksToggleDirectionAndNewColumnsStartAscending) {
    ListViewModel lv = MakeList(3);
    FillColumn(lv, 0, {"b", "A", "c"});
    lv.ReOrder(0);
    EXPECT_EQ(Texts(lv, 0), (std::vector<std::string>{"A", "b", "c"}));
    EXPECT_EQ(lv.OrderInverted(), 0);
    lv.ReOrder(0);
    EXPECT_EQ(Texts(lv, 0), (std::vector<std::string>{"c", "b", "A"}));
    EXPECT_EQ(lv.OrderInverted(), 1);
    lv.ReOrder(0);
    EXPECT_EQ(Texts(lv, 0), (std::vector<std::string>{"A", "b", "c"}));
    lv.ReOrder(0, 1);  // forced ascending
    EXPECT_EQ(Texts(lv, 0), (std::vector<std::string>{"A", "b", "c"}));

    FillColumn(lv, 1, {"z", "y", "x"});
    lv.ReOrder(1);
    EXPECT_EQ(Texts(lv, 1), (std::vector<std::string>{"x", "y", "z"}));
    EXPECT_EQ(lv.OrderData(), 1);
    lv.ReOrder(1, 0, 1);
    EXPECT_EQ(Texts(lv, 1), (std::vector<std::string>{"z", "y", "x"}));

    lv.ReOrder(7);  // no such column: nothing changes
    EXPECT_EQ(lv.OrderData(), 1);
    EXPECT_EQ(Texts(lv, 1), (std::vector<std::string>{"z", "y", "x"}));
}

TEST(ListViewSort, TextAndNumericKeys) {
    ListViewModel lv = MakeList(6);
    FillColumn(lv, 0, {"10", "9", "100", CellValue(), -1.5, "Ｂ"});
    lv.ReOrder(0);  // as text, by code unit: "" < "-1.5" < "10" < "100" < "9" < "ｂ"
    EXPECT_EQ(Texts(lv, 0), (std::vector<std::string>{"", "-1.5", "10", "100", "9", "Ｂ"}));

    lv.SetDataNumeric(0, 1);
    lv.ReOrder(0, 1);  // empty reads 0; a text spelling no number goes after every number
    EXPECT_EQ(Texts(lv, 0), (std::vector<std::string>{"-1.5", "", "9", "10", "100", "Ｂ"}));
    lv.ReOrder(0);
    EXPECT_EQ(Texts(lv, 0), (std::vector<std::string>{"Ｂ", "100", "10", "9", "", "-1.5"}));
}

// A computed column reads its owner's rows, here a value per original row
// kept outside the list: sorts and reads follow them, writes do not land,
// and the owner's change notice repaints the row.
TEST(ListViewComputed, CellsComeFromTheOwnerThroughSortsAndWritesAreIgnored) {
    ListViewModel lv = MakeList(3);
    const std::vector<std::string> owned = {"-20.5", "-30", "-9.25"};
    lv.SetComputedColumns({1}, [&](std::int32_t pRow, std::int32_t) {
        return CellValue(owned[static_cast<std::size_t>(lv.AuxID(pRow, 0).AsInt32().value_or(0))]);
    });
    lv.SetColumnSortNumeric(1, true);
    lv.SetValue(0, 1, CellValue("kept?"));
    EXPECT_EQ(lv.Value(0, 1).AsText(), "-20.5");
    lv.ReOrder(1, 0);
    EXPECT_EQ(Ids(lv), (std::vector<std::int32_t>{1, 0, 2}));
    EXPECT_EQ(Texts(lv, 1), (std::vector<std::string>{"-30", "-20.5", "-9.25"}));

    std::vector<std::int32_t> changed;
    lv.Events().RowChanged = [&](std::int32_t pRow) { changed.push_back(pRow); };
    lv.CellsChanged(2);
    lv.CellsChanged(7);
    EXPECT_EQ(changed, (std::vector<std::int32_t>{2}));
    EXPECT_FALSE(lv.ColumnComputed(0));
}

TEST(ListViewSort, ShellSortPassesCanSwapEqualKeys) {
    // The gap-4 pass carries row 0 behind its equal twin; a stable sort would not.
    ListViewModel lv = MakeList(5);
    FillColumn(lv, 0, {"b", "b", "x", "x", "a"});
    lv.ReOrder(0);
    EXPECT_EQ(Ids(lv), (std::vector<std::int32_t>{4, 1, 0, 2, 3}));
}

// The figures the window shows (LKFS, peaks, gain): the text a cell shows
// read as a number; rows without a figure stay at the end both ways and
// equal figures keep their order.
TEST(ListViewSort, ShownNumbersSortStablyWithBlanksLastBothWays) {
    ListViewModel lv = MakeList(9);
    FillColumn(lv, 1, {"-23.5", "-", "+3.0", "-9.10", "", "-23.5", "—", "10", -100.0});
    lv.SetColumnSortNumeric(1, true);
    EXPECT_TRUE(lv.ColumnSortNumeric(1));
    EXPECT_FALSE(lv.ColumnSortNumeric(0));
    lv.SetSelectedItem(5);

    lv.ReOrder(1);
    EXPECT_EQ(Texts(lv, 1), (std::vector<std::string>{"-100", "-23.5", "-23.5", "-9.10", "+3.0", "10", "-", "", "—"}));
    EXPECT_EQ(Ids(lv), (std::vector<std::int32_t>{8, 0, 5, 3, 2, 7, 1, 4, 6}));
    EXPECT_EQ(lv.OrderInverted(), 0);
    EXPECT_EQ(lv.AuxID(kCursorItem, 0).AsNumber(), 5.0);

    lv.ReOrder(1);  // the second click: descending, not the ascending order reversed
    EXPECT_EQ(Ids(lv), (std::vector<std::int32_t>{7, 2, 3, 0, 5, 8, 1, 4, 6}));
    EXPECT_EQ(lv.OrderInverted(), 1);
    EXPECT_EQ(lv.SelectedItem(), 4);

    // As text the same cells keep the code-unit order (the shell sort's).
    lv.SetColumnSortNumeric(1, false);
    lv.ReOrder(1, 1);
    EXPECT_EQ(Texts(lv, 1), (std::vector<std::string>{"", "+3.0", "-", "-100", "-23.5", "-23.5", "-9.10", "10", "—"}));
}

TEST(ListViewSort, ShownNumbersIgnoreTheLocalesSeparatorAndWinOverDataNumeric) {
    ListViewModel lv = MakeList(4);
    // A decimal comma spells no number here; DataNumeric would read "" as 0.
    FillColumn(lv, 0, {"1,5", "2", "", "1.5"});
    lv.SetDataNumeric(0, 1);
    lv.SetColumnSortNumeric(0, true);
    lv.ReOrder(0, 0, 0);
    EXPECT_EQ(Texts(lv, 0), (std::vector<std::string>{"1.5", "2", "1,5", ""}));
    lv.ReOrder(0, 0, 1);
    EXPECT_EQ(Texts(lv, 0), (std::vector<std::string>{"2", "1.5", "1,5", ""}));
    lv.SetColumnSortNumeric(9, true);  // no such column
    EXPECT_FALSE(lv.ColumnSortNumeric(9));
}

TEST(ListViewLayout, IconMarginFollowsTheLayoutScale) {
    ListViewModel lv = MakeList(0);
    EXPECT_EQ(lv.IconMargin(), kIconMarginPixels * kDefaultTwipsPerPixel);
    lv.SetLayoutScale(1.5);
    EXPECT_EQ(lv.IconMargin(), 33 * kDefaultTwipsPerPixel);
    lv.SetLayoutScale(0.0);  // ignored
    lv.SetIconDisabled(1);
    lv.Init();
    EXPECT_EQ(lv.IconMargin(), 9 * kDefaultTwipsPerPixel);
}

TEST(ListViewSort, CursorFollowsItsRowAndEndsSelected) {
    constexpr std::int32_t kRows = 50;
    ListViewModel lv = MakeList(kRows);
    lv.SetDataNumeric(1, 1);
    for (std::int32_t i = 0; i < kRows; ++i) lv.SetValue(i, 1, (i * 37) % 11);
    lv.SetSelectedItem(17);
    lv.SetIsSelected(17, 0);  // the flag is cleared, the cursor stays
    lv.SetIsSelected(20, 1);
    lv.ReOrder(1);

    const std::vector<std::int32_t> ids = Ids(lv);
    std::vector<std::int32_t> sortedIds = ids;
    std::sort(sortedIds.begin(), sortedIds.end());
    std::vector<std::int32_t> all(kRows);
    std::iota(all.begin(), all.end(), 0);
    EXPECT_EQ(sortedIds, all);
    for (std::int32_t i = 1; i < kRows; ++i) EXPECT_LE(lv.Value(i - 1, 1).AsNumber(), lv.Value(i, 1).AsNumber());

    EXPECT_EQ(lv.AuxID(kCursorItem, 0).AsNumber(), 17.0);
    EXPECT_EQ(lv.IsSelected(kCursorItem), 1);
    EXPECT_EQ(lv.NumSelectedItems(), 2);
    const auto twenty = std::find(ids.begin(), ids.end(), 20) - ids.begin();
    EXPECT_EQ(lv.IsSelected(static_cast<std::int32_t>(twenty)), 1);
}

TEST(ListViewShuffle, SwapsWithinTheReachAndForgetsTheSort) {
    ListViewModel two = MakeList(2);
    two.RndItem();
    EXPECT_EQ(Ids(two), (std::vector<std::int32_t>{0, 1}));

    ListViewModel lv = MakeList(10);
    lv.ReOrder(0);
    lv.SetSelectedItem(0);
    lv.SetRandomSource([] { return 0.0; });  // row b swaps with b mod 7
    lv.RndItem();
    EXPECT_EQ(Ids(lv), (std::vector<std::int32_t>{7, 8, 9, 3, 4, 5, 6, 0, 1, 2}));
    EXPECT_EQ(lv.OrderData(), -1);
    EXPECT_EQ(lv.SelectedItem(), 7);

    lv.SetRandomSource([] { return 0.999; });  // targets past the end are skipped
    lv.RndItem();
    std::vector<std::int32_t> ids = Ids(lv);
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<std::int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

TEST(ListViewTrap, ErrorsAreTrappedUnlessTheSwitchIsOn) {
    // About trapping: errors are trapped unless the test lets them through.
    const test::TrappedErrors trapped;
    ListViewModel lv = MakeList(2);
    lv.AddItem(std::numeric_limits<std::int32_t>::max());  // the count would overflow
    EXPECT_EQ(lv.ItemCount(), 2);
    lv.Events().DblClicked = [] { throw std::runtime_error("host failed"); };
    lv.ItemAreaDblClick();
    lv.SetOneHeight(300);
    EXPECT_EQ(lv.YsItem(1e300), 0);  // beyond the 32-bit range

    SetErrorCatch(1);
    EXPECT_THROW(lv.AddItem(std::numeric_limits<std::int32_t>::max()), RunTimeError);
    EXPECT_THROW(lv.ItemAreaDblClick(), std::runtime_error);
    SetErrorCatch(0);
    EXPECT_EQ(lv.ItemCount(), 2);
}

}  // namespace
}  // namespace sonivate
