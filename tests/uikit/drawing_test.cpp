#include "uikit/drawing.h"

#include <cmath>

#include <gtest/gtest.h>

#include "uikit/colors.h"
#include "uikit/ui_metrics.h"

namespace sonivate {
namespace {

constexpr std::int32_t kBack = 0x123456;
const std::int32_t kC1 = MakeRGB(0, 40, 200);
const std::int32_t kC2 = MakeRGB(200, 40, 0);
const std::int32_t kC3 = MakeRGB(100, 100, 100);

std::int32_t Blend(std::int32_t pFrom, std::int32_t pTo, std::int32_t pI, std::int32_t pN) {
    const RgbParts a = SplitRGB(pFrom), b = SplitRGB(pTo);
    const auto mix = [&](int x, int y) { return static_cast<int>(std::nearbyint(x + (y - x) * double(pI) / pN)); };
    return MakeRGB(mix(a.R, b.R), mix(a.G, b.G), mix(a.B, b.B));
}

Picture Fresh(std::int32_t pW, std::int32_t pH) {
    Picture p(pW, pH);
    p.SetBackColor(kBack);
    p.Cls();
    return p;
}

// Lines 0..n from the top blend colour 1 into 2, lines 0..n ending at the
// bottom blend 2 into 3, the band between keeps the back colour, and the
// outline is colour 1 at the top and left, 0.33 x colour 3 at the bottom and right.
void ExpectLineStyle(std::int32_t pStyle, std::int32_t pN) {
    constexpr std::int32_t w = 30, h = 70;
    Picture p = Fresh(w, h);
    GradientPaint(p, pStyle, kC1, kC2, kC3);
    const std::int32_t dark = MakeRGB(33, 33, 33);
    for (std::int32_t i = 1; i <= pN; ++i) EXPECT_EQ(p.GetPixel(5, i), Blend(kC1, kC2, i, pN)) << "top line " << i;
    for (std::int32_t y = pN + 1; y < h - 1 - pN; ++y) EXPECT_EQ(p.GetPixel(5, y), kBack) << "band row " << y;
    for (std::int32_t i = 0; i < pN; ++i)
        EXPECT_EQ(p.GetPixel(w - 2, h - 1 - pN + i), Blend(kC2, kC3, i, pN)) << "bottom line " << i;
    EXPECT_EQ(p.GetPixel(5, 0), kC1);
    EXPECT_EQ(p.GetPixel(0, 35), kC1);
    EXPECT_EQ(p.GetPixel(5, h - 1), dark);
    EXPECT_EQ(p.GetPixel(w - 1, 35), dark);
    EXPECT_EQ(p.BackColor(), kBack);
}

TEST(GradientPaint, LineStylesZeroAndTenArePixelExact) {
    ExpectLineStyle(0, 20);
    ExpectLineStyle(10, 8);
}

TEST(GradientPaint, BackOnlyOutlineOnlyAndUnknownStyles) {
    Picture p = Fresh(10, 10);
    GradientPaint(p, -2, kC1, kC2, kC3);
    EXPECT_EQ(p.BackColor(), kC2);
    EXPECT_EQ(p.GetPixel(0, 0), kC2);
    EXPECT_EQ(p.GetPixel(5, 5), kC2);

    p = Fresh(10, 10);
    GradientPaint(p, -1, kC1, kC2, kC3);
    EXPECT_EQ(p.GetPixel(5, 5), kBack);
    EXPECT_EQ(p.GetPixel(5, 0), kC1);
    EXPECT_EQ(p.GetPixel(9, 5), MakeRGB(33, 33, 33));

    for (std::int32_t style : {-3, 16}) {
        p = Fresh(10, 10);
        GradientPaint(p, style, kC1, kC2, kC3);
        EXPECT_EQ(p.GetPixel(5, 5), kBack);
        EXPECT_EQ(p.GetPixel(0, 0), kBack);
    }

    // Default colours are the tone colours 0, 1 and 2.
    p = Fresh(10, 10);
    GradientPaint(p, -2);
    EXPECT_EQ(p.BackColor(), ToneColor(1));
}

TEST(GradientPaint, SmoothStylesPassThroughTheirColours) {
    // Style 2 (bar backgrounds): colour 1 at the top to colour 2 at the bottom,
    // brightness changing monotonically, no outline.
    Picture p = Fresh(20, 100);
    GradientPaint(p, 2, 0x000000, 0xC8C8C8);
    EXPECT_LE(SplitRGB(p.GetPixel(10, 0)).R, 4);
    EXPECT_GE(SplitRGB(p.GetPixel(10, 99)).R, 190);
    for (std::int32_t y = 1; y < 100; ++y) EXPECT_GE(SplitRGB(p.GetPixel(10, y)).R, SplitRGB(p.GetPixel(10, y - 1)).R);

    // Style 5 (bar fill c, light, c): bright in the middle, c at both ends.
    const std::int32_t c = 0x404040, light = AdjustColor(c, 90, 90, 90, -1);
    p = Fresh(50, 41);
    GradientPaint(p, 5, c, light, c);
    EXPECT_NEAR(SplitRGB(p.GetPixel(25, 20)).G, SplitRGB(light).G, 3);
    EXPECT_NEAR(SplitRGB(p.GetPixel(25, 0)).G, SplitRGB(c).G, 3);
    EXPECT_NEAR(SplitRGB(p.GetPixel(25, 40)).G, SplitRGB(c).G, 3);

    // Every style in range paints the whole surface.
    for (std::int32_t style = 1; style <= 15; ++style) {
        if (style == 10) continue;
        p = Fresh(24, 24);
        GradientPaint(p, style, kC1, kC2, kC3);
        std::int32_t untouched = 0;
        for (std::int32_t y = 0; y < 24; ++y)
            for (std::int32_t x = 0; x < 24; ++x) untouched += p.GetPixel(x, y) == kBack ? 1 : 0;
        EXPECT_EQ(untouched, 0) << "style " << style;
    }
}

TEST(Drawing, EdgesFramesAndColourSets) {
    SetTwipsPerPixel(kReferenceTwipsPerPixel);
    const std::int32_t shadow = ResolveColor(kColorButtonShadow), white = ResolveColor(kColorButtonHighlight);
    Picture p = Fresh(20, 20);
    // 300 x 150 twips at (15, 30): pixels 1..20 x 2..11, clipped at the right.
    DrawCellEdge(p, 15, 30, 150, 150, true);
    EXPECT_EQ(p.GetPixel(1, 2), shadow);
    EXPECT_EQ(p.GetPixel(5, 2), shadow);
    EXPECT_EQ(p.GetPixel(1, 8), shadow);
    EXPECT_EQ(p.GetPixel(5, 11), white);
    EXPECT_EQ(p.GetPixel(10, 5), white);
    EXPECT_EQ(p.GetPixel(5, 5), kBack);
    DrawCellEdge(p, 15, 30, 150, 150, false);
    EXPECT_EQ(p.GetPixel(5, 2), white);
    EXPECT_EQ(p.GetPixel(10, 5), shadow);

    // A bump edge is a ridge: light, dark inside at the top; dark, light inside at the bottom.
    p = Fresh(20, 20);
    DrawBumpEdge(p, 2, 2, 12, 12);
    EXPECT_EQ(p.GetPixel(5, 2), white);
    EXPECT_EQ(p.GetPixel(5, 3), shadow);
    EXPECT_EQ(p.GetPixel(5, 11), shadow);
    EXPECT_EQ(p.GetPixel(5, 10), white);
    EXPECT_EQ(p.GetPixel(5, 12), kBack);

    // Colour set: nested outlines, top/left colour 2 + 40, bottom/right colour 1 - 40.
    p = Fresh(30, 12);
    PaintColourSetImage(p, 0x505050, 0x686868, true, 2);
    EXPECT_EQ(p.GetPixel(10, 0), 0x909090);
    EXPECT_EQ(p.GetPixel(10, 1), 0x909090);
    EXPECT_EQ(p.GetPixel(10, 11), 0x282828);
    EXPECT_EQ(p.GetPixel(28, 5), 0x282828);
    EXPECT_EQ(p.GetPixel(10, 5), kBack);

    std::int32_t fore = 1, back = 2;
    EXPECT_FALSE(ColorScheme(7, 10, 20, fore, back));
    EXPECT_EQ(fore, 1);
    ASSERT_TRUE(ColorScheme(3, 10, 20, fore, back));
    EXPECT_EQ(back, 0x0000FF);
    EXPECT_EQ(fore, 0xFFFFFF);
    ASSERT_TRUE(ColorScheme(-1, 10, 20, fore, back));
    EXPECT_EQ(fore, 10);
    EXPECT_EQ(back, 20);
}

}  // namespace
}  // namespace sonivate
