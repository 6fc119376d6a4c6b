#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controls/model/list_view_model.h"

namespace sonivate {
namespace {

// Records every change notice as a short text: "ins 3 2", "rem 0 1",
// "row 4", "sel", "reset".
struct NoticeLog {
    std::vector<std::string> Seen;

    void Attach(ListViewModel& pList) {
        ListViewEvents& events = pList.Events();
        events.RowsInserted = [this](std::int32_t pFirst, std::int32_t pCount) {
            Seen.push_back("ins " + std::to_string(pFirst) + " " + std::to_string(pCount));
        };
        events.RowsRemoved = [this](std::int32_t pFirst, std::int32_t pCount) {
            Seen.push_back("rem " + std::to_string(pFirst) + " " + std::to_string(pCount));
        };
        events.RowChanged = [this](std::int32_t pRow) { Seen.push_back("row " + std::to_string(pRow)); };
        events.SelectionChanged = [this] { Seen.push_back("sel"); };
        events.ListReset = [this] { Seen.push_back("reset"); };
    }
    std::vector<std::string> Take() {
        std::vector<std::string> taken;
        taken.swap(Seen);
        return taken;
    }
};

using Notices = std::vector<std::string>;

class ListViewNotices : public ::testing::Test {
protected:
    void SetUp() override {
        lv.SetNumData(3);
        lv.SetNumAux(2);
        lv.Init();
        lv.AddItem(6);
        log.Attach(lv);
    }
    ListViewModel lv;
    NoticeLog log;
};

TEST_F(ListViewNotices, InsertionsNameTheirRows) {
    lv.AddItem(2);
    EXPECT_EQ(log.Take(), (Notices{"ins 6 2"}));
    lv.AddItem(0);
    lv.InsertItem(9, 1);   // past the end
    lv.InsertItem(-1, 1);  // no cursor
    EXPECT_EQ(log.Take(), Notices{});

    // The cursor moves down with its item: no selection notice.
    lv.SetSelectedItem(4);
    log.Take();
    lv.InsertItem(1, 3);
    EXPECT_EQ(log.Take(), (Notices{"ins 1 3"}));
    EXPECT_EQ(lv.SelectedItem(), 7);
    lv.InsertItem(kCursorItem, 0);  // 0 means one row, before the cursor
    EXPECT_EQ(log.Take(), (Notices{"ins 7 1"}));
    lv.InsertItem(lv.ItemCount(), 2);
    EXPECT_EQ(log.Take(), (Notices{"ins 12 2"}));
}

TEST_F(ListViewNotices, RemovalsNameTheirRowsAndACursorThatLandsElsewhere) {
    lv.SetSelectedItem(3);
    log.Take();
    lv.DeleteItem(0);  // the cursor follows its item up
    EXPECT_EQ(log.Take(), (Notices{"rem 0 1"}));
    EXPECT_EQ(lv.SelectedItem(), 2);
    lv.DeleteItem(kCursorItem);  // the cursor keeps its number: another item
    EXPECT_EQ(log.Take(), (Notices{"rem 2 1", "sel"}));
    lv.DeleteItem(-2);
    lv.DeleteItem(lv.ItemCount());
    EXPECT_EQ(log.Take(), Notices{});

    // 4 rows left, cursor 2. Removing rows below the cursor keeps it.
    lv.DeleteItemEx(3, 9);
    EXPECT_EQ(log.Take(), (Notices{"rem 3 1"}));
    lv.DeleteItemEx(1, 1);
    EXPECT_EQ(log.Take(), (Notices{"rem 1 1", "sel"}));
    lv.DeleteItemEx(1, 0);
    EXPECT_EQ(log.Take(), Notices{});
}

TEST_F(ListViewNotices, DeleteSelectedRaisesOneRemovalPerRunLowestLast) {
    for (const std::int32_t row : {0, 2, 3, 5}) lv.SetIsSelected(row, 1);
    lv.SetSelectedItem(3);
    log.Take();

    // A view that applies the notices in turn to its own copy ends up right.
    std::vector<std::int32_t> mirror{0, 1, 2, 3, 4, 5};
    for (std::int32_t i = 0; i < lv.ItemCount(); ++i) lv.SetAuxID(i, 0, i);
    lv.Events().RowsRemoved = [&](std::int32_t pFirst, std::int32_t pCount) {
        mirror.erase(mirror.begin() + pFirst, mirror.begin() + pFirst + pCount);
        log.Seen.push_back("rem " + std::to_string(pFirst) + " " + std::to_string(pCount));
    };
    lv.DeleteSelected();
    EXPECT_EQ(log.Take(), (Notices{"rem 5 1", "rem 2 2", "rem 0 1", "sel"}));
    ASSERT_EQ(lv.ItemCount(), 2);
    EXPECT_EQ(mirror, (std::vector<std::int32_t>{1, 4}));
    EXPECT_EQ(lv.AuxID(0, 0).AsInt32(), 1);
    EXPECT_EQ(lv.AuxID(1, 0).AsInt32(), 4);

    lv.DeleteSelected();  // nothing selected, no cursor
    EXPECT_EQ(log.Take(), Notices{});
}

TEST_F(ListViewNotices, DrawnFieldsRaiseRowChangedAndHiddenValuesNothing) {
    lv.SetSelectedItem(2);
    log.Take();
    lv.SetValue(1, 0, CellValue("a"));
    lv.SetDispColor(kCursorItem, 255);
    lv.SetHLine(kLastItem, 1);
    lv.SetIconType(0, -1);
    EXPECT_EQ(log.Take(), (Notices{"row 1", "row 2", "row 5", "row 0"}));

    lv.SetValue(6, 0, CellValue("a"));
    lv.SetValue(1, 3, CellValue("a"));
    lv.SetDispColor(6, 1);
    lv.SetAuxID(1, 0, CellValue("path"));
    lv.SetTabWidth(0, 900);
    lv.StoreTopItem(2);
    EXPECT_EQ(log.Take(), Notices{});
}

TEST_F(ListViewNotices, SelectionNoticesOnlyWhenFlagsOrCursorChange) {
    lv.SetSelectedItem(2);
    EXPECT_EQ(log.Take(), Notices{"sel"});
    lv.SetSelectedItem(2);  // already the selected cursor
    EXPECT_EQ(log.Take(), Notices{});
    lv.SetIsSelected(2, 0);  // same cursor, flag cleared
    EXPECT_EQ(log.Take(), Notices{"sel"});
    lv.SetSelectedItem(2);  // same cursor, flag set again
    EXPECT_EQ(log.Take(), Notices{"sel"});
    lv.SetIsSelected(4, 0);
    EXPECT_EQ(log.Take(), Notices{});
    lv.SetIsSelected(kCursorItem, 0);  // clears the flag and the cursor: one notice
    EXPECT_EQ(log.Take(), Notices{"sel"});
    EXPECT_EQ(lv.SelectedItem(), -1);

    lv.SelectAll();
    lv.SelectAll();
    EXPECT_EQ(log.Take(), Notices{"sel"});
    lv.UnSelectAll();
    lv.UnSelectAll();
    EXPECT_EQ(log.Take(), Notices{"sel"});

    lv.MoveCursor(true);  // from none to row 0
    EXPECT_EQ(log.Take(), Notices{"sel"});
    lv.MoveCursor(false);  // already at the top, alone selected
    EXPECT_EQ(log.Take(), Notices{});
}

TEST_F(ListViewNotices, ExchangeRaisesBothRowsAndTheSelection) {
    lv.SetSelectedItem(1);
    lv.SetIsSelected(4, 1);
    log.Take();
    lv.ExchangeItem(2);
    EXPECT_EQ(log.Take(), (Notices{"row 1", "row 3", "sel"}));
    lv.ExchangeItem(5);  // outside the list
    EXPECT_EQ(log.Take(), Notices{});
}

TEST_F(ListViewNotices, WholeListOperationsRaiseOneReset) {
    lv.ReOrder(1);
    EXPECT_EQ(log.Take(), Notices{"reset"});
    lv.ReOrder(3);  // no such column
    EXPECT_EQ(log.Take(), Notices{});
    lv.SetRandomSource([] { return 0.5; });
    lv.RndItem();
    EXPECT_EQ(log.Take(), Notices{"reset"});
    lv.SetNumData(4);
    lv.ResetNumTab();
    EXPECT_EQ(log.Take(), Notices{"reset"});
    lv.DeleteAll();
    EXPECT_EQ(log.Take(), Notices{"reset"});
    lv.Init();
    EXPECT_EQ(log.Take(), Notices{"reset"});
    lv.AddItem(2);
    log.Take();
    lv.RndItem();  // fewer than three rows
    EXPECT_EQ(log.Take(), Notices{});
}

TEST_F(ListViewNotices, ClicksRaiseSelectionAfterMouseDown) {
    lv.SetOneHeight(300);
    lv.Events().MouseDown = [&](std::int32_t&, std::int32_t&, double&, double&) { log.Seen.push_back("down"); };
    const double row2 = 2 * 300 + 100;
    lv.ItemAreaMouseDown(kLeftButton, 0, 10, row2);
    EXPECT_EQ(log.Take(), (Notices{"down", "sel"}));
    lv.ItemAreaMouseUp(kLeftButton, 0, 10, row2);
    lv.ItemAreaMouseDown(kLeftButton, 0, 10, row2);  // the same row again
    EXPECT_EQ(log.Take(), Notices{"down"});
    lv.ItemAreaMouseDown(kRightButton, 0, 10, 100);
    EXPECT_EQ(log.Take(), Notices{"down"});
    lv.ItemAreaMouseDown(kLeftButton, kShiftKey, 10, 4 * 300 + 100);
    EXPECT_EQ(log.Take(), (Notices{"down", "sel"}));
}

}  // namespace
}  // namespace sonivate
