#include "controls/widgets/uc_text_picture.h"

#include <vector>

#include <QTest>
#include <gtest/gtest.h>

#include "uikit/colors.h"
#include "uikit/fonts.h"
#include "uikit/ui_metrics.h"

namespace sonivate {
namespace {

constexpr int kWidth = 400;
constexpr int kHeight = 24;

class TextPictureTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetTwipsPerPixel(15);
        c_Panel.resize(kWidth, kHeight);
    }
    // Whether any pixel of a column range differs from the panel's background at its left edge.
    bool InkBetween(int pFromX, int pToX) const {
        const Picture& p = c_Panel.Panel();
        const std::int32_t background = p.GetPixel(pFromX, kHeight / 2 - 6);
        for (int x = pFromX; x < pToX; ++x) {
            for (int y = 3; y < kHeight - 3; ++y) {
                if (p.GetPixel(x, y) != background) return true;
            }
        }
        return false;
    }
    UC_TextPicture c_Panel;
};

TEST_F(TextPictureTest, DispMesRedrawsOnlyOnChange) {
    c_Panel.AddStdColorSet(0);
    c_Panel.AddStdColorSet(1);
    c_Panel.AddTextSpace(9, false, false, "", 120, -1);
    c_Panel.Init();
    const std::int64_t drawn = c_Panel.DrawCount();
    c_Panel.DispMes(0, "測定中");
    EXPECT_EQ(c_Panel.DrawCount(), drawn + 1);
    EXPECT_EQ(c_Panel.TextMes(0), "測定中");
    c_Panel.DispMes(0, "測定中");
    EXPECT_EQ(c_Panel.DrawCount(), drawn + 1);
    c_Panel.DispMes(0, "終了", true);  // kept, not drawn
    EXPECT_EQ(c_Panel.DrawCount(), drawn + 1);
    EXPECT_EQ(c_Panel.TextMes(0), "終了");
    c_Panel.DispMes(1, "外");  // no such text space
    c_Panel.DispMes(-1, "外");
    EXPECT_EQ(c_Panel.TextMes(1), "");
    EXPECT_EQ(c_Panel.DrawCount(), drawn + 1);
}

TEST_F(TextPictureTest, ColourSetsPaintTheirBackgroundAndFontColour) {
    c_Panel.AddStdColorSet(0);
    c_Panel.AddStdColorSet(1);
    c_Panel.AddStdColorSet(9);  // not one of the fixed sets
    EXPECT_EQ(c_Panel.ColorSetCount(), 2);
    EXPECT_EQ(c_Panel.DesignType(), UC_TextPicture::kDesignColorSets);
    c_Panel.AddTextSpace(9, false, false, "", 120, -1);
    c_Panel.Init();
    EXPECT_EQ(c_Panel.Strip().Width(), 2 * kWidth);
    // The panel shows the strip's first image, then after SetColor(1) the second.
    const auto middle = [this] { return c_Panel.Panel().GetPixel(kWidth - 20, kHeight / 2); };
    EXPECT_EQ(middle(), c_Panel.Strip().GetPixel(kWidth - 20, kHeight / 2));
    c_Panel.SetColor(1, true);
    EXPECT_EQ(c_Panel.CurrentColorSet(), 1);
    EXPECT_EQ(middle(), c_Panel.Strip().GetPixel(2 * kWidth - 20, kHeight / 2));
    c_Panel.SetColor(5, true);  // no such set: unchanged
    EXPECT_EQ(c_Panel.CurrentColorSet(), 1);

    // Text at left 120 twips = 8 pixels, in the set's font colour.
    c_Panel.DispMes(0, "■■■");
    bool found = false;
    for (int y = 0; y < kHeight && !found; ++y) found = c_Panel.Panel().GetPixel(10, y) == 0xD0B0B0;
    EXPECT_TRUE(found);

    c_Panel.ResetMe();
    EXPECT_EQ(c_Panel.ColorSetCount(), 0);
    EXPECT_EQ(c_Panel.TextSpaceCount(), 0);
    EXPECT_EQ(c_Panel.DesignType(), UC_TextPicture::kDesignPlain);
}

TEST_F(TextPictureTest, PlacementCentringFittingAndHighlight) {
    SetUIFontName("ＭＳ Ｐゴシック");
    c_Panel.AddTextSpace(9, false, false, "", -1, -1);
    c_Panel.AddTextSpace(9, false, false, "", 3000, 60);
    const FontEntry* entry = FontAt(c_Panel.Space(0).FontIndex);
    ASSERT_NE(entry, nullptr);
    Picture probe(1, 1);
    probe.SetFont(entry->Font);
    const std::int32_t glyph = probe.TextHeight("漢") * 15;
    EXPECT_EQ(c_Panel.Space(0).Top,
              std::max(0, static_cast<std::int32_t>(std::nearbyint((kHeight * 15 - glyph) / 2.0))));
    EXPECT_EQ(c_Panel.Space(1).Top, 60 + 15);  // height factor 1: one pixel lower

    // A font whose height factor is not 1 moves an explicit top up by part of the glyph.
    c_Panel.AddTextSpace(9, false, false, "メイリオ", 0, 60);
    const FontEntry* raised = FontAt(c_Panel.Space(2).FontIndex);
    ASSERT_NE(raised, nullptr);
    if (raised->HeightFactor != 1.0f) {
        EXPECT_LT(c_Panel.Space(2).Top, 75);
    }

    c_Panel.SetColorEx(0x202020, 0xF0F0F0, false);
    c_Panel.Init();
    // Centred text is centred; a long text is cut at the inner width, without an ellipsis.
    c_Panel.DispMes(0, "中央");
    const int textWidth = probe.TextWidth("中央");
    EXPECT_TRUE(InkBetween((kWidth - textWidth) / 2, (kWidth + textWidth) / 2));
    EXPECT_FALSE(InkBetween(4, (kWidth - textWidth) / 2 - 2));
    c_Panel.DispMes(0, "");
    c_Panel.DispMes(1, std::string(200, 'W'));
    EXPECT_FALSE(InkBetween(kWidth - 4, kWidth - 2));

    // Highlight: the fore colour lightened by 30 per component.
    c_Panel.DispMes(1, "■");
    c_Panel.Draw(1);
    bool lit = false;
    for (int y = 0; y < kHeight && !lit; ++y) {
        for (int x = 200; x < 216 && !lit; ++x) lit = c_Panel.Panel().GetPixel(x, y) == 0x3E3E3E;
    }
    EXPECT_TRUE(lit);
}

TEST_F(TextPictureTest, HitTestAndClicks) {
    c_Panel.AddTextSpace(9, false, false, "", 120, -1);
    c_Panel.AddTextSpace(9, false, false, "", 3000, -1);
    c_Panel.AddTextSpace(9, false, false, "", 4500, 400);
    EXPECT_EQ(c_Panel.HitTest(60, 100), 0);    // left of everything
    EXPECT_EQ(c_Panel.HitTest(3100, 100), 1);  // right of the second
    EXPECT_EQ(c_Panel.HitTest(4600, 100), 1);  // above the third's top
    EXPECT_EQ(c_Panel.HitTest(4600, 450), 2);

    c_Panel.SetUseClick(1, true);
    c_Panel.Init();
    c_Panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&c_Panel));
    std::vector<std::tuple<int, bool, int>> events;
    QObject::connect(&c_Panel, &UC_TextPicture::MouseUD, [&](std::int16_t& pButton, bool& pDown, std::int32_t& pIndex) {
        events.emplace_back(pButton, pDown, pIndex);
    });
    int doubles = 0;
    QObject::connect(&c_Panel, &UC_TextPicture::DblClicked, [&] { ++doubles; });
    QTest::mouseClick(&c_Panel, Qt::LeftButton, {}, QPoint(3100 / 15, 10));
    QTest::mouseClick(&c_Panel, Qt::RightButton, {}, QPoint(2, 10));
    EXPECT_EQ(events,
              (std::vector<std::tuple<int, bool, int>>{{1, true, 1}, {1, false, 1}, {2, true, 0}, {2, false, 0}}));

    c_Panel.SetLocked(true);
    QTest::mouseClick(&c_Panel, Qt::LeftButton, {}, QPoint(3100 / 15, 10));
    EXPECT_EQ(events.size(), 4u);
    c_Panel.SetLocked(false);
    c_Panel.SetUseDblClick(true);
    QTest::mouseDClick(&c_Panel, Qt::LeftButton, {}, QPoint(3100 / 15, 10));
    EXPECT_EQ(doubles, 1);
}

}  // namespace
}  // namespace sonivate
