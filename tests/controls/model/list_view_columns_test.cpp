#include "controls/model/list_view_model.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace sonivate {
namespace {

constexpr std::int32_t kPixel = kDefaultTwipsPerPixel;

// Three columns 1000, 2000 and 1500 twips wide.
ListViewModel MakeColumns() {
    ListViewModel lv;
    lv.SetNumData(3);
    lv.Init();
    lv.SetTabWidth(0, 1000);
    lv.SetTabWidth(1, 2000);
    lv.SetTabWidth(2, 1500);
    return lv;
}

std::vector<std::int32_t> DisplayOrder(const ListViewModel& pList) {
    std::vector<std::int32_t> columns;
    for (std::int32_t p = 0; p < pList.NumData(); ++p) {
        columns.push_back(pList.ColumnAtPosition(p));
        EXPECT_EQ(pList.TabOrder(columns.back()), p);
    }
    return columns;
}

TEST(ListViewColumns, WidthFloorAndOutOfRangeAccessors) {
    ListViewModel lv = MakeColumns();
    lv.SetTabWidth(1, 100);
    EXPECT_EQ(lv.TabWidth(1), kMinTabWidth);
    lv.SetTabName(2, "LKFS");
    lv.SetTabName(3, "none");
    EXPECT_EQ(lv.TabName(2), "LKFS");
    EXPECT_EQ(lv.TabName(3), "");
    EXPECT_EQ(lv.TabWidth(-1), 0);
    EXPECT_EQ(lv.TabOrder(3), 0);
    EXPECT_EQ(lv.ColumnAtPosition(3), -1);
    lv.SetUseTextCombo(0, kEditorText | kEditorCombo);
    EXPECT_EQ(lv.FrontObj(0), kEditorCombo);
    lv.SetUseTextCombo(0, kEditorText | kEditorList);
    EXPECT_EQ(lv.FrontObj(0), kEditorList);
}

TEST(ListViewColumns, LayoutSkipsHiddenColumns) {
    ListViewModel lv = MakeColumns();
    EXPECT_EQ(lv.TabRight(2), 4500);
    lv.SetTabHidden(1, 1);
    EXPECT_EQ(lv.TabLeft(1), 1000);
    EXPECT_EQ(lv.TabRight(1), 1000);
    EXPECT_EQ(lv.TabLeft(2), 1000);
    EXPECT_EQ(lv.ContentRight(), 2500);
}

TEST(ListViewColumns, SetTabOrderShiftsTheColumnsBetween) {
    ListViewModel lv;
    lv.SetNumData(5);
    lv.Init();
    lv.SetTabOrder(1, 3);
    EXPECT_EQ(DisplayOrder(lv), (std::vector<std::int32_t>{0, 2, 3, 1, 4}));
    lv.SetTabOrder(4, 0);
    EXPECT_EQ(DisplayOrder(lv), (std::vector<std::int32_t>{4, 0, 2, 3, 1}));
    for (const auto& [tab, position] : std::vector<std::pair<int, int>>{{4, 0}, {5, 1}, {0, 5}, {-1, 0}, {0, -1}})
        lv.SetTabOrder(tab, position);
    EXPECT_EQ(DisplayOrder(lv), (std::vector<std::int32_t>{4, 0, 2, 3, 1}));

    lv.SetTabWidth(4, 600);  // edges follow the display order
    EXPECT_EQ(lv.TabLeft(4), 0);
    EXPECT_EQ(lv.TabLeft(0), 600);
    EXPECT_EQ(lv.TabRight(1), 600 + 4 * kMinTabWidth);
}

TEST(ListViewColumns, ColumnAtX) {
    ListViewModel lv = MakeColumns();
    EXPECT_EQ(lv.ColumnAtX(500), 0);
    EXPECT_EQ(lv.ColumnAtX(-200), 0);
    EXPECT_EQ(lv.ColumnAtX(1500), 1);
    EXPECT_EQ(lv.ColumnAtX(4000), 2);
    EXPECT_EQ(lv.ColumnAtX(90000), 2);
    lv.SetHorizontalOffset(1000);
    EXPECT_EQ(lv.ColumnAtX(500), 1);
    lv.SetHorizontalOffset(0);

    lv.SetTabHidden(2, 1);  // past the content: the last visible column
    EXPECT_EQ(lv.ColumnAtX(90000), 1);
    lv.SetTabHidden(0, 1);  // left of everything: the first visible column
    EXPECT_EQ(lv.ColumnAtX(-200), 1);

    lv.SetTabHidden(0, 0);
    lv.SetTabHidden(2, 0);
    lv.SetTabOrder(2, 0);  // display order 2, 0, 1
    lv.LayoutColumns();
    EXPECT_EQ(lv.ColumnAtX(100), 2);
    EXPECT_EQ(lv.ColumnAtX(2000), 0);
    EXPECT_EQ(lv.ColumnAtX(3000), 1);
}

TEST(ListViewColumns, ColumnEdgeAtX) {
    ListViewModel lv = MakeColumns();
    const std::int32_t reach = kEdgeHitPixels * kPixel;
    EXPECT_EQ(lv.ColumnEdgeAtX(1000 + reach - 1), 0);
    EXPECT_EQ(lv.ColumnEdgeAtX(1000 - reach + 1), 0);
    EXPECT_EQ(lv.ColumnEdgeAtX(1000 + reach), -1);
    EXPECT_EQ(lv.ColumnEdgeAtX(4500), 2);
    lv.SetHorizontalOffset(2000);
    EXPECT_EQ(lv.ColumnEdgeAtX(1000), 1);
    lv.SetHorizontalOffset(0);
    lv.SetTabHidden(0, 1);
    EXPECT_EQ(lv.ColumnEdgeAtX(1000), -1);
    EXPECT_EQ(lv.ColumnEdgeAtX(0), -1);  // a hidden column's edge is no edge
    lv.SetTwipsPerPixel(30);
    EXPECT_EQ(lv.ColumnEdgeAtX(2000 + 140), 1);
}

TEST(ListViewColumns, YsItemCountsRowsFromTheTopItem) {
    ListViewModel lv;
    lv.AddItem(10);
    EXPECT_EQ(lv.YsItem(100), 0);  // no row height yet
    lv.SetOneHeight(300);
    EXPECT_EQ(lv.YsItem(0), 0);
    EXPECT_EQ(lv.YsItem(299), 0);
    EXPECT_EQ(lv.YsItem(299.5), 1);  // rounds to 300
    EXPECT_EQ(lv.YsItem(298.5), 0);  // rounds to 298
    EXPECT_EQ(lv.YsItem(-500), 0);
    lv.StoreTopItem(4);
    EXPECT_EQ(lv.YsItem(650), 6);
    EXPECT_EQ(lv.YsItem(50000), 10);  // below the last row
}

}  // namespace
}  // namespace sonivate
