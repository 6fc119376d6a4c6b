// The file list at the window's SizeRate and with a taller font, the badge
// of a selected row, and the header's sort arrow.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QTest>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

#include "controls/widgets/list_icons.h"
#include "controls/widgets/uc_list_view.h"
#include "uikit/fonts.h"
#include "uikit/ui_metrics.h"

namespace sonivate {
namespace {

// The main window's file list: its size (twips at SizeRate 1), its font
// (points at SizeRate 1) and its figure column.
constexpr std::int32_t kListWidth = 9405;
constexpr std::int32_t kListHeight = 4200;
constexpr float kFontPoints = 10.0F;
constexpr std::int32_t kColumnLKFS = 2;
// The least room the list keeps above and below an icon, and beyond the
// font's line height, at SizeRate 1 (pixels).
constexpr int kIconGap = 3;
constexpr int kRowPadding = 8;
// Where the stopped badge's ground and inner mark lie in a 16-pixel icon.
constexpr int kBadgeGround = 8;
constexpr int kBadgeMark = 11;
// A colour differs clearly from another when a component differs by this much.
constexpr int kClearMargin = 64;

std::unique_ptr<UC_ListView> BuildAt(float pRate) {
    auto lv = std::make_unique<UC_ListView>();
    lv->SetSizeRate(pRate);
    lv->SetNumData(5);
    lv->SetNumAux(4);
    lv->SetUseUCBar(1);
    lv->Init();
    const char* captions[] = {"タイトル", "長さ", "LKFS", "ピークdBFS", "加減値dB"};
    const std::int32_t widths[] = {3900, 1390, 1240, 1240, 1240};
    for (std::int32_t c = 0; c < 5; ++c) {
        lv->SetTabName(c, captions[c]);
        lv->SetTabWidth(c, ScaledTwips(widths[c], pRate));
    }
    lv->SetColumnSortNumeric(kColumnLKFS, true);
    lv->SetStyle(kFontPoints * pRate, 0, "", kColorWindowText, kColorWindow);
    lv->InitTab();
    lv->ReDrawTab(-1);
    lv->resize(ScaledTwips(kListWidth, pRate) / kReferenceTwipsPerPixel,
               ScaledTwips(kListHeight, pRate) / kReferenceTwipsPerPixel);
    lv->UserControl_Resize();
    const std::int32_t icons[] = {kListIconWave, kListIconDone, kListIconStopped, kListIconFailed, kListIconSkipped};
    const char* figures[] = {"-23.5", "-", "-9.0", "-100.0", "+1.5"};
    for (std::int32_t k = 0; k < 5; ++k) {
        lv->AddItem(1);
        lv->SetIconType(kLastItem, icons[k]);
        lv->SetValue(kLastItem, 0, "CM_" + std::to_string(k) + ".wav");
        lv->SetValue(kLastItem, 1, "00:00:15.000");
        lv->SetValue(kLastItem, kColumnLKFS, figures[k]);
    }
    lv->SetVbarParm();
    lv->ReDraw();
    return lv;
}

int OneHeightPixels(const UC_ListView& pList) { return pList.OneHeight() / kReferenceTwipsPerPixel; }

// The font the list draws its rows with at pRate.
QFont ItemFont(float pRate) {
    return FontAt(ApplyFont(nullptr, kFontByArguments, nullptr, kFontPoints * pRate, false, false, ""))->Font;
}

// First and last pixel row (item-area pixels) of row pRow's icon on a white row.
std::pair<int, int> IconExtent(const UC_ListView& pList, std::int32_t pRow) {
    const Picture& picture = pList.PictureList();
    const int top = pRow * OneHeightPixels(pList);
    int first = -1, last = -1;
    for (int y = top; y < top + OneHeightPixels(pList); ++y) {
        for (int x = 0; x < pList.ScaledPixels(2) + pList.IconPixels(); ++x) {
            if ((picture.GetPixel(x, y) & 0xFFFFFF) == 0xFFFFFF) continue;
            if (first < 0) first = y;
            last = y;
        }
    }
    return {first - top, top + OneHeightPixels(pList) - 1 - last};
}

bool Dark(std::int32_t pColor) {
    constexpr int kDarkComponent = 0x60;
    return (pColor & 0xFF) < kDarkComponent && ((pColor >> 8) & 0xFF) < kDarkComponent &&
           ((pColor >> 16) & 0xFF) < kDarkComponent;
}

int DarkInRow(const Picture& pPicture, int pY, int pLeft, int pRight) {
    int dark = 0;
    for (int x = pLeft; x <= pRight; ++x) dark += Dark(pPicture.GetPixel(x, pY)) ? 1 : 0;
    return dark;
}

bool ClearlyDiffer(std::int32_t pA, std::int32_t pB) {
    for (int shift = 0; shift < 24; shift += 8)
        if (std::abs(((pA >> shift) & 0xFF) - ((pB >> shift) & 0xFF)) >= kClearMargin) return true;
    return false;
}

class ListViewScaleTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetTwipsPerPixel(kReferenceTwipsPerPixel);
        SelectUIFont();
    }
    void TearDown() override { SelectUIFont(); }

    // With SONIVATE_SCREENSHOT_DIR set, the list as the window shows it.
    static void Shoot(UC_ListView& pList, const QString& pName) {
        const char* dir = std::getenv("SONIVATE_SCREENSHOT_DIR");
        if (dir == nullptr) return;
        pList.show();
        QTest::qWait(20);
        pList.grab().save(QString(dir) + "/" + pName + ".png");
    }
};

TEST_F(ListViewScaleTest, HeaderRowsIconsAndArrowGrowWithTheSizeRateAndIconsSitCentred) {
    const auto one = BuildAt(1.0F);
    const auto big = BuildAt(1.5F);
    EXPECT_EQ(big->IconPixels(), 24);
    EXPECT_EQ(big->Model().IconMargin(), 33 * kReferenceTwipsPerPixel);
    EXPECT_GE(big->HeaderRect().height() * 10, one->HeaderRect().height() * 14);
    for (const UC_ListView* lv : {one.get(), big.get()}) {
        const float rate = lv->SizeRate();
        SCOPED_TRACE(rate);
        EXPECT_GE(OneHeightPixels(*lv),
                  static_cast<int>(static_cast<float>(QFontMetrics(ItemFont(rate)).height()) + kRowPadding * rate) - 1);
        const auto [above, below] = IconExtent(*lv, 0);
        EXPECT_EQ(OneHeightPixels(*lv) - above - below, lv->IconPixels());
        EXPECT_LE(std::abs(above - below), 1);
        EXPECT_GE(std::min(above, below), static_cast<int>(static_cast<float>(kIconGap) * rate));
    }
    one->ReOrder(kColumnLKFS);
    big->ReOrder(kColumnLKFS);
    QCoreApplication::processEvents();
    EXPECT_GE(big->SortArrowRect().width() * 10, one->SortArrowRect().width() * 14);
    Shoot(*one, "list_view_rate_1.0");
    Shoot(*big, "list_view_rate_1.5");
}

// AltFont=1: a face whose line is taller than its em. The rows follow the
// line height, so icons never touch the next row's.
TEST_F(ListViewScaleTest, ATallerFaceMakesTallerRows) {
    SetUIFontName(kFaceMeiryo);
    const auto lv = BuildAt(1.0F);
    EXPECT_GE(OneHeightPixels(*lv), QFontMetrics(ItemFont(1.0F)).height() + kRowPadding);
    const auto [above, below] = IconExtent(*lv, 0);
    EXPECT_GE(std::min(above, below), kIconGap);
    Shoot(*lv, "list_view_alt_font");
}

TEST_F(ListViewScaleTest, AStoppedRowsBadgeStandsOutOnTheSelection) {
    for (const float rate : {1.0F, 1.5F}) {
        SCOPED_TRACE(rate);
        const auto lv = BuildAt(rate);
        lv->SetIconType(0, kListIconStopped);
        lv->SetSelectedItem(0);
        lv->ReDraw();
        const Picture& picture = lv->PictureList();
        const std::int32_t selection = picture.GetPixel(picture.Width() - 10, OneHeightPixels(*lv) / 2);
        const int iconTop = IconExtent(*lv, 1).first;  // row 1 is not selected: its icon shows where icons sit
        const auto at = [&](int pIconPixel) { return static_cast<int>((pIconPixel + 0.5) * rate); };
        const int left = lv->ScaledPixels(2);
        EXPECT_TRUE(ClearlyDiffer(picture.GetPixel(left + at(kBadgeGround), iconTop + at(kBadgeGround)), selection));
        EXPECT_TRUE(ClearlyDiffer(picture.GetPixel(left + at(kBadgeMark), iconTop + at(kBadgeMark)), selection));
    }
}

TEST_F(ListViewScaleTest, TheSortedHeaderShowsItsDirection) {
    const auto lv = BuildAt(1.0F);
    EXPECT_TRUE(lv->SortArrowRect().isEmpty());
    const Picture& header = lv->PictureTab();
    const QRect lkfs(lv->Model().TabLeft(kColumnLKFS) / kReferenceTwipsPerPixel, 0,
                     lv->TabWidth(kColumnLKFS) / kReferenceTwipsPerPixel, lv->HeaderRect().height());
    const QPoint caption = lkfs.center();

    QTest::mouseClick(lv->HeaderWidget(), Qt::LeftButton, {}, caption);
    EXPECT_EQ(lv->Value(0, kColumnLKFS).AsText(), "-100.0");
    EXPECT_EQ(lv->Value(4, kColumnLKFS).AsText(), "-");
    QRect arrow = lv->SortArrowRect();
    ASSERT_FALSE(arrow.isEmpty());
    EXPECT_TRUE(lkfs.contains(arrow));
    // Up: the triangle's base is its bottom row.
    EXPECT_GT(DarkInRow(header, arrow.bottom(), arrow.left(), arrow.right()),
              DarkInRow(header, arrow.top(), arrow.left(), arrow.right()));

    QTest::mouseClick(lv->HeaderWidget(), Qt::LeftButton, {}, caption);
    EXPECT_EQ(lv->Value(0, kColumnLKFS).AsText(), "+1.5");
    EXPECT_EQ(lv->Value(4, kColumnLKFS).AsText(), "-");
    EXPECT_LT(DarkInRow(header, arrow.bottom(), arrow.left(), arrow.right()),
              DarkInRow(header, arrow.top(), arrow.left(), arrow.right()));

    // A sort through the model moves the arrow; an emptied list has none.
    lv->Model().ReOrder(0);
    QCoreApplication::processEvents();
    arrow = lv->SortArrowRect();
    EXPECT_LT(arrow.right(), lkfs.left());
    EXPECT_GT(DarkInRow(header, arrow.bottom(), arrow.left(), arrow.right()), 0);
    lv->Model().DeleteAll();
    QCoreApplication::processEvents();
    EXPECT_TRUE(lv->SortArrowRect().isEmpty());
    EXPECT_EQ(DarkInRow(header, arrow.bottom(), arrow.left(), arrow.right()), 0);
}

}  // namespace
}  // namespace sonivate
