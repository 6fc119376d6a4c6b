#include "controls/widgets/uc_slider.h"

#include <vector>

#include <QTest>
#include <gtest/gtest.h>

#include "uikit/colors.h"
#include "uikit/ui_metrics.h"

namespace sonivate {
namespace {

// 300 x 18 pixels at 15 twips per pixel: two 18-pixel arrows, a track of
// 264 pixels = 3960 twips, the default thumb of 480 twips, travel 3480.
constexpr int kWidth = 300;
constexpr int kThickness = 18;
constexpr std::int32_t kTrack = (kWidth - 2 * kThickness) * 15;

struct Events {
    std::vector<std::pair<bool, int>> MouseUD;
    std::vector<int> Scrolled;
    int DblClicked = 0;
};

class SliderTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetTwipsPerPixel(15);
        c_Slider.resize(kWidth, kThickness);
        QObject::connect(&c_Slider, &UC_Slider::MouseUD,
                         [this](bool& pDown, std::int16_t& pButton) { c_Events.MouseUD.emplace_back(pDown, pButton); });
        QObject::connect(&c_Slider, &UC_Slider::Scrolled,
                         [this](std::int16_t& pButton) { c_Events.Scrolled.push_back(pButton); });
        QObject::connect(&c_Slider, &UC_Slider::DblClicked, [this] { ++c_Events.DblClicked; });
        c_Slider.Init();
        c_Slider.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&c_Slider));
    }

    // A point on the track, pixels from the track start.
    QPoint OnTrack(int pPixels) const { return QPoint(kThickness + pPixels, kThickness / 2); }

    UC_Slider c_Slider;
    Events c_Events;
};

TEST_F(SliderTest, ValueAndThumbPositionFollowEachOther) {
    EXPECT_EQ(c_Slider.TrackLength(), kTrack);
    EXPECT_EQ(c_Slider.Travel(), kTrack - UC_Slider::kDefaultPointerSize);
    c_Slider.SetValue(500);
    EXPECT_EQ(c_Slider.ThumbPosition(), 1740);  // round(3480 / 1000 x 500)
    c_Slider.SetValue(5000);
    EXPECT_EQ(c_Slider.Value(), 1000);
    EXPECT_EQ(c_Slider.ThumbPosition(), c_Slider.Travel());
    c_Slider.SetValue(-7);
    EXPECT_EQ(c_Slider.Value(), 0);
    EXPECT_EQ(c_Slider.ThumbPosition(), 0);

    c_Slider.Draw(1000);  // round(1000 / 3480 x 1000) = 287
    EXPECT_EQ(c_Slider.Value(), 287);
    EXPECT_EQ(c_Slider.ThumbPosition(), 1000);
    c_Slider.Draw(c_Slider.Travel() + 600);
    EXPECT_EQ(c_Slider.Value(), 1000);
    EXPECT_EQ(c_Slider.ThumbPosition(), c_Slider.Travel());
    c_Slider.Draw(-300);
    EXPECT_EQ(c_Slider.Value(), 0);
    EXPECT_EQ(c_Slider.ThumbPosition(), 0);
}

TEST_F(SliderTest, EmptyRangeIgnoresValueWrites) {
    c_Slider.SetValue(300);
    c_Slider.SetMin(40);
    c_Slider.SetMax(40);
    c_Slider.SetValue(40);
    EXPECT_EQ(c_Slider.Value(), 300);
    c_Slider.SetValue(900);
    EXPECT_EQ(c_Slider.Value(), 300);
    c_Slider.Draw(100);  // the thumb may move, the value stays
    EXPECT_EQ(c_Slider.Value(), 300);
}

TEST_F(SliderTest, PointerSizeRateIsLimited) {
    c_Slider.SetPointerSize(1.5);
    EXPECT_EQ(c_Slider.PointerSize(), 3762);  // round(3960 x 0.95)
    EXPECT_EQ(c_Slider.Screen().Width(), kWidth);
    c_Slider.SetPointerSize(0.001);
    EXPECT_EQ(c_Slider.PointerSize(), 8 * 15);
    c_Slider.SetPointerSize(0.25);
    EXPECT_EQ(c_Slider.PointerSize(), 990);
    // The thumb image follows: its last pixel is the dark outline, the next one is track.
    c_Slider.SetValue(0);
    const std::int32_t dark = ResolveColor(kColorButtonDarkShadow);
    EXPECT_EQ(c_Slider.Screen().GetPixel(kThickness + 990 / 15 - 1, kThickness / 2), dark);
    EXPECT_NE(c_Slider.Screen().GetPixel(kThickness + 990 / 15, kThickness / 2), dark);
}

TEST_F(SliderTest, TrackPressCentresOrHoldsTheThumb) {
    // Beyond the thumb: the thumb centres on the pointer.
    QTest::mousePress(&c_Slider, Qt::LeftButton, {}, OnTrack(200));
    EXPECT_EQ(c_Slider.ThumbPosition(), 200 * 15 - 240);
    EXPECT_EQ(c_Slider.Value(), 793);  // round(1000 / 3480 x 2760)
    EXPECT_EQ(c_Slider.Clicked(), -1);
    ASSERT_EQ(c_Events.MouseUD.size(), 1u);
    EXPECT_EQ(c_Events.MouseUD[0], std::make_pair(true, 1));
    EXPECT_EQ(c_Events.Scrolled, std::vector<int>{1});

    // Dragging keeps the grab offset.
    QTest::mouseMove(&c_Slider, OnTrack(210));
    EXPECT_EQ(c_Slider.ThumbPosition(), 210 * 15 - 240);
    EXPECT_EQ(c_Events.Scrolled.size(), 2u);
    QTest::mouseRelease(&c_Slider, Qt::LeftButton, {}, OnTrack(210));
    EXPECT_EQ(c_Slider.Clicked(), 0);
    EXPECT_EQ(c_Events.MouseUD.back(), std::make_pair(false, 1));
    EXPECT_EQ(c_Events.Scrolled.size(), 3u);

    // Inside the thumb: it is held where it was hit and does not jump.
    const std::int32_t before = c_Slider.ThumbPosition();
    QTest::mousePress(&c_Slider, Qt::LeftButton, {}, OnTrack(before / 15 + 3));
    EXPECT_EQ(c_Slider.ThumbPosition(), before);
    QTest::mouseRelease(&c_Slider, Qt::LeftButton, {}, OnTrack(before / 15 + 3));

    // The right button reports but does not move the thumb.
    c_Events = {};
    QTest::mousePress(&c_Slider, Qt::RightButton, {}, OnTrack(20));
    QTest::mouseRelease(&c_Slider, Qt::RightButton, {}, OnTrack(20));
    EXPECT_EQ(c_Slider.ThumbPosition(), before);
    EXPECT_EQ(c_Events.MouseUD, (std::vector<std::pair<bool, int>>{{true, 2}, {false, 2}}));
    EXPECT_TRUE(c_Events.Scrolled.empty());
}

TEST_F(SliderTest, ArrowsStepBySmallChangeAndRepeatWhileHeld) {
    c_Slider.SetSmallChange(25);
    c_Slider.SetValue(500);
    const QPoint towardsMax(kWidth - kThickness / 2, kThickness / 2);
    const QPoint towardsMin(kThickness / 2, kThickness / 2);

    QTest::mousePress(&c_Slider, Qt::LeftButton, {}, towardsMax);
    EXPECT_EQ(c_Slider.Value(), 525);
    EXPECT_TRUE(c_Slider.ArrowPressed(UC_Slider::kArrowTowardsMax));
    EXPECT_EQ(c_Slider.Clicked(), -1);
    EXPECT_EQ(c_Events.Scrolled, std::vector<int>{1});
    EXPECT_TRUE(c_Events.MouseUD.empty());
    QTest::mouseRelease(&c_Slider, Qt::LeftButton, {}, towardsMax);
    EXPECT_FALSE(c_Slider.ArrowPressed(UC_Slider::kArrowTowardsMax));
    EXPECT_EQ(c_Slider.Clicked(), 0);
    EXPECT_EQ(c_Events.MouseUD, (std::vector<std::pair<bool, int>>{{false, 1}}));

    QTest::mouseClick(&c_Slider, Qt::LeftButton, {}, towardsMin);
    EXPECT_EQ(c_Slider.Value(), 500);

    // Held, the arrow repeats until released; the value stops at Min.
    QTest::mousePress(&c_Slider, Qt::LeftButton, {}, towardsMin);
    EXPECT_TRUE(QTest::qWaitFor([this] { return c_Slider.Value() <= 425; }, 3000));
    QTest::mouseRelease(&c_Slider, Qt::LeftButton, {}, towardsMin);
    const std::int32_t released = c_Slider.Value();
    QTest::qWait(2 * UC_Slider::kRepeatIntervalMs + 20);
    EXPECT_EQ(c_Slider.Value(), released);
    c_Slider.SetValue(10);
    QTest::mouseClick(&c_Slider, Qt::LeftButton, {}, towardsMin);
    EXPECT_EQ(c_Slider.Value(), 0);
}

TEST_F(SliderTest, RefusedInputAndTrimmedArrowsDoNothing) {
    c_Slider.SetValue(500);
    c_Slider.SetDisabletrim(1);
    QTest::mouseClick(&c_Slider, Qt::LeftButton, {}, QPoint(kWidth - 2, 5));
    EXPECT_EQ(c_Slider.Value(), 500);
    EXPECT_TRUE(c_Events.MouseUD.empty());
    EXPECT_TRUE(c_Events.Scrolled.empty());

    c_Slider.SetRefuseInput(1);
    QTest::mouseClick(&c_Slider, Qt::LeftButton, {}, OnTrack(10));
    EXPECT_EQ(c_Slider.Value(), 500);
    EXPECT_TRUE(c_Events.MouseUD.empty());

    // Without arrows the track runs from end to end.
    UC_Slider bare;
    bare.resize(kWidth, kThickness);
    bare.SetNoArrow(true);
    EXPECT_EQ(bare.Disabletrim(), 1);
    bare.Init();
    EXPECT_EQ(bare.TrackLength(), kWidth * 15);
}

TEST_F(SliderTest, VerticalSliderRunsTopToBottom) {
    UC_Slider vertical;
    vertical.SetIsVertical(true);
    vertical.resize(kThickness, kWidth);
    vertical.Init();
    vertical.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&vertical));
    EXPECT_EQ(vertical.TrackLength(), kTrack);
    QTest::mousePress(&vertical, Qt::LeftButton, {}, QPoint(kThickness / 2, kThickness + 200));
    EXPECT_EQ(vertical.ThumbPosition(), 200 * 15 - 240);
    QTest::mouseRelease(&vertical, Qt::LeftButton, {}, QPoint(kThickness / 2, kThickness + 200));
    // The thumb sits where its position says, at full width.
    const std::int32_t dark = ResolveColor(kColorButtonDarkShadow);
    EXPECT_EQ(vertical.Screen().GetPixel(kThickness / 2, kThickness + vertical.ThumbPosition() / 15), dark);
}

}  // namespace
}  // namespace sonivate
