#include "controls/model/list_view_model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sonivate {
namespace {

constexpr std::int32_t kRowHeight = 300;

class ListViewClick : public ::testing::Test {
protected:
    void SetUp() override {
        lv.SetNumData(2);
        lv.Init();
        lv.SetTabWidth(0, 1000);
        lv.SetTabWidth(1, 1000);
        lv.SetOneHeight(kRowHeight);
        lv.AddItem(6);
    }

    // Presses and releases the left button in the middle of pRow, column 1.
    void Click(std::int32_t pRow, std::int32_t pShift = 0) {
        const double y = pRow * kRowHeight + kClickRowOffsetPixels * kDefaultTwipsPerPixel + kRowHeight / 2;
        lv.ItemAreaMouseDown(kLeftButton, pShift, 1500, y);
        lv.ItemAreaMouseUp(kLeftButton, pShift, 1500, y);
    }

    std::string Flags() const {
        std::string flags;
        for (std::int32_t i = 0; i < lv.ItemCount(); ++i) flags += std::to_string(lv.IsSelected(i));
        return flags;
    }

    ListViewModel lv;
};

TEST_F(ListViewClick, PlainClickSelectsOneRowAndTheColumn) {
    Click(2);
    EXPECT_EQ(Flags(), "001000");
    EXPECT_EQ(lv.SelectedItem(), 2);
    EXPECT_EQ(lv.SelectedData(), 1);
    Click(4);
    EXPECT_EQ(Flags(), "000010");
    lv.StoreTopItem(3);
    Click(0);
    EXPECT_EQ(lv.SelectedItem(), 3);
    Click(9);  // below the last row: the last row
    EXPECT_EQ(lv.SelectedItem(), 5);
}

TEST_F(ListViewClick, ShiftClickSelectsARange) {
    Click(3, kShiftKey);  // no cursor: from the first row
    EXPECT_EQ(Flags(), "111100");
    EXPECT_EQ(lv.SelectedItem(), 3);
    Click(1, kShiftKey);
    EXPECT_EQ(Flags(), "011100");
    Click(2);  // on a selected row the range stays, to be dragged
    EXPECT_EQ(Flags(), "011100");
    Click(2);
    EXPECT_EQ(Flags(), "001000");

    Click(4, kShiftKey);
    Click(0);  // on an unselected row: that row alone
    EXPECT_EQ(Flags(), "100000");
}

TEST_F(ListViewClick, CtrlClickTogglesAndTheNextPlainClickKeepsIt) {
    Click(1);
    Click(3, kCtrlKey);
    Click(4, kCtrlKey);
    EXPECT_EQ(Flags(), "010110");
    EXPECT_EQ(lv.SelectedItem(), 4);
    Click(4, kCtrlKey);  // deselecting the cursor moves it to the first selected row
    EXPECT_EQ(Flags(), "010100");
    EXPECT_EQ(lv.SelectedItem(), 1);
    Click(5);
    EXPECT_EQ(Flags(), "010100");
    Click(5);
    EXPECT_EQ(Flags(), "000001");

    lv.SetNoMultiSelect(1);
    Click(2, kCtrlKey);
    Click(0, kShiftKey);
    EXPECT_EQ(Flags(), "100000");
}

TEST_F(ListViewClick, EventsAndDisabledClicks) {
    std::vector<std::string> log;
    lv.Events().MouseDown = [&](std::int32_t& pButton, std::int32_t&, double&, double&) {
        log.push_back("down" + std::to_string(pButton) + ":" + std::to_string(lv.SelectedItem()));
    };
    lv.Events().Clicked = [&](double&, double&) { log.push_back("clicked"); };
    lv.Events().RightClicked = [&](double&, double&) { log.push_back("right"); };
    lv.Events().DblClicked = [&] { log.push_back("dbl"); };

    Click(2);
    EXPECT_TRUE(lv.ItemAreaMouseDown(kRightButton, 0, 10, 10) == false);
    lv.ItemAreaMouseUp(kRightButton, 0, 10, 10);
    lv.ItemAreaMouseUp(kLeftButton, 0, 10, 10);  // no press: nothing
    lv.ItemAreaDblClick();
    EXPECT_EQ(log, (std::vector<std::string>{"down1:-1", "clicked", "down2:2", "right", "dbl"}));
    EXPECT_EQ(lv.SelectedItem(), 2);  // the right button does not select

    log.clear();
    lv.ItemAreaMouseDown(kLeftButton, 0, 10, 10);
    lv.ForgetPress();  // a drag began
    lv.ItemAreaMouseUp(kLeftButton, 0, 10, 10);
    EXPECT_EQ(log, (std::vector<std::string>{"down1:2"}));

    log.clear();
    lv.SetClickDisabled(1);
    Click(4);
    lv.ItemAreaDblClick();
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(lv.SelectedItem(), 0);

    lv.SetClickDisabled(0);
    lv.DeleteAll();
    lv.ItemAreaDblClick();
    Click(0);
    EXPECT_EQ(lv.SelectedItem(), -1);
    EXPECT_EQ(log, (std::vector<std::string>{"down1:-1", "clicked"}));
}

}  // namespace
}  // namespace sonivate
