#include "controls/widgets/uc_list_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <QWheelEvent>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "controls/widgets/list_icons.h"
#include "gui/support/fonts.h"
#include "gui/support/ui_metrics.h"

namespace sonivate {
namespace {

constexpr std::int32_t kRed = 0x0000FF;
// The file list of the main window, in twips.
constexpr std::int32_t kListWidth = 9405;
constexpr std::int32_t kListHeight = 4200;

// A list set up the way the main window sets up its file list.
class ListViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetTwipsPerPixel(kReferenceTwipsPerPixel);
        if (UIFontName().empty()) SelectUIFont();
    }

    void Build(std::int32_t pTabDisabled = 0) {
        lv.SetNumData(5);
        lv.SetNumAux(3);
        lv.SetTabDisabled(pTabDisabled);
        lv.Init();
        const char* captions[] = {"タイトル", "長さ", "LKFS", "ピークdBFS", "加減値dB"};
        const std::int32_t widths[] = {3900, 1390, 1240, 1240, 1240};
        for (std::int32_t c = 0; c < 5; ++c) {
            lv.SetTabName(c, captions[c]);
            lv.SetTabWidth(c, widths[c]);
        }
        lv.SetStyle(10, 0, "", kColorWindowText, kColorWindow);
        lv.InitTab();
        lv.ReDrawTab(-1);
        lv.resize(kListWidth / kReferenceTwipsPerPixel, kListHeight / kReferenceTwipsPerPixel);
        lv.UserControl_Resize();
    }

    void AddRows(std::int32_t pCount) {
        for (std::int32_t k = 0; k < pCount; ++k) {
            lv.AddItem(1);
            lv.SetIconType(kLastItem, kListIconWave);
            lv.SetValue(kLastItem, 0, "title " + std::to_string(lv.ItemCount()));
            lv.SetValue(kLastItem, 1, "00:00:15.000");
        }
        lv.SetVbarParm();
        lv.ReDraw();
    }

    // The centre of row pRow (pixels in the item area), below the click offset.
    QPoint RowPoint(std::int32_t pRow, int pX = 200) const {
        const int oneHeight = lv.OneHeight() / kReferenceTwipsPerPixel;
        return {pX, (pRow - lv.TopItem()) * oneHeight + oneHeight / 2 + kClickRowOffsetPixels};
    }
    QWidget* Items() const { return lv.ItemAreaWidget(); }
    QWidget* Header() const { return lv.HeaderWidget(); }

    // x (pixels in the header) of column pData's right edge.
    int EdgeX(std::int32_t pData) const { return lv.Model().TabRight(pData) / kReferenceTwipsPerPixel; }

    UC_ListView lv;
};

TEST_F(ListViewTest, DrawsCaptionsRowsSelectionAndAClippingRow) {
    Build();
    lv.SetUseMadara(1);
    AddRows(4);
    lv.SetValue(2, 2, "-20.15");
    lv.SetValue(2, 3, "-0.52");
    lv.SetValue(2, 4, "+3.850");
    lv.SetTabAlign(2, kAlignRight);
    lv.SetDispColor(2, kRed);
    lv.SetSelectedItem(1);
    lv.ReDraw();
    const Picture& list = lv.PictureList();
    const int oneHeight = lv.OneHeight() / kReferenceTwipsPerPixel;

    // Row 1 is selected and odd: its shading is ANDed with the selection colour.
    const std::int32_t selected = list.GetPixel(list.Width() - 40, oneHeight + oneHeight / 2);
    EXPECT_EQ(selected, 0xFFFFCC & 0xC0A0A0);
    // Row 3 is odd and not selected: shaded.
    EXPECT_EQ(list.GetPixel(list.Width() - 40, 3 * oneHeight + oneHeight / 2), 0xFFFFCC);
    // Row 2 draws its texts in red.
    int red = 0;
    for (int y = 2 * oneHeight; y < 3 * oneHeight; ++y)
        for (int x = 0; x < list.Width(); ++x)
            if (list.GetPixel(x, y) == kRed) ++red;
    EXPECT_GT(red, 20);
    // The icon's mask leaves the white paper of the sheet on row 0.
    EXPECT_EQ(list.GetPixel(2 + 6, (oneHeight - kListIconSize) / 2 + 3), 0xFFFFFF);

    // The header carries its captions in dark text.
    const Picture& header = lv.PictureTab();
    int dark = 0;
    for (int y = 0; y < header.Height(); ++y)
        for (int x = 0; x < 60; ++x)
            if ((header.GetPixel(x, y) & 0xFFFFFF) < 0x404040) ++dark;
    EXPECT_GT(dark, 20);

    if (const char* dir = std::getenv("SONIVATE_SCREENSHOT_DIR")) {
        lv.show();
        QTest::qWait(20);
        lv.grab().save(QString(dir) + "/list_view.png");
    }
}

// The item area's height in twips.
std::int32_t AreaTwips(const UC_ListView& pList) { return pList.ItemAreaRect().height() * kReferenceTwipsPerPixel; }

TEST_F(ListViewTest, HeaderHiddenPutsTheItemAreaAtTheTop) {
    Build(1);
    EXPECT_TRUE(lv.HeaderRect().isEmpty());
    EXPECT_TRUE(Header()->isHidden());
    EXPECT_EQ(lv.ItemAreaRect().top(), 2);  // just inside the frame
}

TEST_F(ListViewTest, VerticalBarShowsWhenTheRowsExactlyFillTheArea) {
    Build();
    // Rows of a height that divides the area exactly.
    const std::int32_t area = AreaTwips(lv);
    std::int32_t rows = 12;
    while (area % rows != 0) --rows;
    ASSERT_GE(rows, 3);
    lv.SetOneHeight(area / rows);
    lv.SetVbarParm();
    ASSERT_EQ(lv.ItemAreaRect().height() * kReferenceTwipsPerPixel, area);
    const std::int32_t oneHeight = area / rows;
    ASSERT_EQ(oneHeight * rows, area);
    AddRows(rows - 1);
    EXPECT_FALSE(lv.VBarVisible());
    AddRows(1);
    EXPECT_TRUE(lv.VBarVisible());
    EXPECT_EQ(lv.VBarMax(), 1);
    // The bar takes room from the width, not the height.
    EXPECT_EQ(lv.ItemAreaRect().height() * kReferenceTwipsPerPixel, area);
}

TEST_F(ListViewTest, ScrollsByWheelStepsAndShowsItems) {
    Build();
    AddRows(40);
    ASSERT_TRUE(lv.VBarVisible());
    const std::int32_t visible = lv.VisibleRows();
    EXPECT_EQ(lv.VBarMax(), 40 - visible + 1);

    QWheelEvent down(QPointF(50, 50), QPointF(50, 50), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                     Qt::NoScrollPhase, false);
    QApplication::sendEvent(Items(), &down);
    EXPECT_EQ(lv.TopItem(), 3);  // three rows per notch
    // A high-resolution wheel sends parts of a notch; they add up.
    QWheelEvent half(QPointF(50, 50), QPointF(50, 50), QPoint(), QPoint(0, -60), Qt::NoButton, Qt::NoModifier,
                     Qt::NoScrollPhase, false);
    QApplication::sendEvent(Items(), &half);
    EXPECT_EQ(lv.TopItem(), 3);
    QApplication::sendEvent(Items(), &half);
    EXPECT_EQ(lv.TopItem(), 6);

    lv.ShowItem(30, 0);
    EXPECT_EQ(lv.TopItem(), std::min(30, lv.VBarMax()));
    EXPECT_EQ(lv.VBarValue(), lv.TopItem());
    // In view already: nothing moves; out of view: centred.
    lv.SetTopItem(2, 0, 0);
    const std::int32_t centred = lv.TopItem();
    EXPECT_EQ(centred, std::max(0, static_cast<int>(std::nearbyint(2 - visible / 2.0))));
    lv.SetSelectedItem(20);
    lv.ShowSelected(1);
    EXPECT_LE(lv.TopItem(), 20);
    EXPECT_GE(lv.TopItem() + visible - 1, 20);
    const std::int32_t before = lv.TopItem();
    lv.ShowSelected(1);
    EXPECT_EQ(lv.TopItem(), before);

    lv.Refresh();
    EXPECT_EQ(lv.TopItem(), 0);
    EXPECT_EQ(lv.VBarValue(), 0);
}

TEST_F(ListViewTest, HorizontalBarFollowsTheColumnsAndScrollsTheHeader) {
    Build();
    AddRows(2);
    EXPECT_FALSE(lv.HBarVisible());
    lv.SetTabWidth(0, 9000);
    lv.SetVbarParm();
    ASSERT_TRUE(lv.HBarVisible());
    const std::int32_t area = lv.ItemAreaRect().width() * kReferenceTwipsPerPixel;
    EXPECT_EQ(lv.HBarMax(), lv.Model().ContentRight() - area);
    lv.HBarScroll(300);
    EXPECT_EQ(lv.Model().HorizontalOffset(), 300);
    lv.HBarScroll(1000000);
    EXPECT_EQ(lv.Model().HorizontalOffset(), lv.HBarMax());
}

}  // namespace
}  // namespace sonivate
