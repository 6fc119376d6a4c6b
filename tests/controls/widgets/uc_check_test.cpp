#include "controls/widgets/uc_check.h"

#include <QTest>
#include <gtest/gtest.h>

#include "uikit/colors.h"

namespace sonivate {
namespace {

constexpr std::int32_t kBlack = 0x000000;
constexpr std::int32_t kGrey = 0x808080;

struct Clicks {
    int Count = 0;
    explicit Clicks(UC_Check& pCheck) {
        QObject::connect(&pCheck, &UC_Check::Click, [this] { ++Count; });
    }
};

TEST(UCCheckLayout, WidthIsOneBoxPlusTheCaptionAndHeightAtLeastOneBox) {
    UC_Check check;
    check.resize(22, 18);
    check.SetCaption("");
    EXPECT_EQ(check.width(), 16);
    EXPECT_EQ(check.height(), 18);
    EXPECT_EQ(check.BoxTop(), 1);  // (270 - 240) \ 30

    const Picture& pic = check.CheckPicture();
    check.SetCaption("wav出力");
    EXPECT_EQ(check.width(), 16 + 4 + pic.TextWidth("wav出力"));
    EXPECT_EQ(check.CaptionTop(), static_cast<int>(std::lrint((270 - pic.TextHeight("漢") * 15) / 2.0)));

    UC_Check low;
    low.resize(40, 10);
    low.SetSizeRate(1.5f);
    low.SetCaption("");
    EXPECT_EQ(low.BoxTwips(), 360);
    EXPECT_EQ(low.width(), 24);
    EXPECT_EQ(low.height(), 24);
    EXPECT_EQ(low.BoxTop(), 0);
    EXPECT_EQ(low.Gradhdc()->Width(), 24);
}

TEST(UCCheckMouse, CheckBoxTogglesOptionOnlyTurnsOn) {
    UC_Check check;
    check.resize(16, 18);
    check.SetCaption("クリップ回避");
    Clicks clicks(check);
    QTest::mouseClick(&check, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_EQ(check.Value(), 1);
    QTest::mouseClick(&check, Qt::RightButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_EQ(check.Value(), 0);
    EXPECT_EQ(clicks.Count, 2);

    check.SetIsOption(true);
    QTest::mouseClick(&check, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_EQ(check.Value(), 1);
    QTest::mouseClick(&check, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_EQ(check.Value(), 1);
    EXPECT_EQ(clicks.Count, 4);

    check.SetEnabled(false);
    EXPECT_FALSE(check.Enabled());
    check.SetIsOption(false);
    QTest::mouseClick(&check, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_EQ(check.Value(), 1);
    EXPECT_EQ(clicks.Count, 4);
}

TEST(UCCheckDrawing, TickRunsThroughItsFourPoints) {
    UC_Check check;
    check.resize(16, 18);
    check.SetCaption("wav出力");
    const Picture& pic = check.CheckPicture();
    const int top = check.BoxTop();
    // (45,105), (105,165), (180,45), (90,135) twips -> pixels.
    const QPoint points[] = {{3, 7}, {7, 11}, {12, 3}, {6, 9}};
    for (const QPoint& p : points) EXPECT_NE(pic.GetPixel(p.x(), top + p.y()), kBlack);
    check.SetValue(1);
    for (const QPoint& p : points) EXPECT_EQ(pic.GetPixel(p.x(), top + p.y()), kBlack) << p.x() << "," << p.y();
    EXPECT_EQ(pic.GetPixel(5, top + 9), kBlack);  // on the first stroke
    EXPECT_NE(pic.GetPixel(12, top + 11), kBlack);

    // Disabled: the same tick in the button shadow.
    check.SetEnabled(false);
    for (const QPoint& p : points) EXPECT_EQ(pic.GetPixel(p.x(), top + p.y()), kGrey);

    // Scaled by SizeRate: (45,105) x 1.5 = (67.5 -> 68, 157.5 -> 158) twips -> (4, 10).
    UC_Check big;
    big.resize(16, 24);
    big.SetSizeRate(1.5f);
    big.SetCaption("x");
    big.SetValue(1);
    EXPECT_EQ(big.CheckPicture().GetPixel(4, big.BoxTop() + 10), kBlack);
    EXPECT_EQ(big.CheckPicture().GetPixel(18, big.BoxTop() + 4), kBlack);  // (270, 67.5)
}

TEST(UCCheckDrawing, OptionDotSitsAtAFixedPlaceInTheBox) {
    for (const float rate : {1.0f, 1.5f}) {
        UC_Check option;
        option.resize(16, 24);
        option.SetIsOption(true);
        option.SetSizeRate(rate);
        option.SetCaption("x");
        const int top = option.BoxTop();
        EXPECT_NE(option.CheckPicture().GetPixel(7, top + 7), kBlack);
        option.SetValue(1);
        EXPECT_EQ(option.CheckPicture().GetPixel(7, top + 7), kBlack) << rate;
        EXPECT_EQ(option.CheckPicture().GetPixel(5, top + 7), kBlack) << rate;
        EXPECT_NE(option.CheckPicture().GetPixel(7, top + 13), kBlack) << rate;
    }
}

TEST(UCCheckDrawing, BoxImageIsSharedAndANullOneIgnored) {
    UC_Check first;
    first.resize(16, 18);
    first.SetCaption("wav出力");
    const UC_Check::BoxImage box = first.Gradhdc();
    ASSERT_TRUE(box);
    first.SetGradhdc(nullptr);
    EXPECT_EQ(first.Gradhdc(), box);
    // Its edges: shadow left and top, highlight right and bottom.
    EXPECT_EQ(box->GetPixel(0, 8), ResolveColor(kColorButtonShadow));
    EXPECT_EQ(box->GetPixel(8, 0), ResolveColor(kColorButtonShadow));
    EXPECT_EQ(box->GetPixel(15, 8), ResolveColor(kColorButtonHighlight));
    EXPECT_EQ(box->GetPixel(8, 15), ResolveColor(kColorButtonHighlight));

    UC_Check second;
    second.resize(16, 18);
    second.SetGradhdc(box);
    second.SetCaption("クリップ回避");
    EXPECT_EQ(second.Gradhdc(), box);
    second.SetCaption("x");
    EXPECT_EQ(second.Gradhdc(), box);
    EXPECT_EQ(second.CheckPicture().GetPixel(0, second.BoxTop() + 8), ResolveColor(kColorButtonShadow));
}

TEST(UCCheckDrawing, SetupCheckBlendsIntoThePaintedParent) {
    QWidget parent;
    parent.resize(300, 200);
    Picture painted(300, 200);
    for (int x = 0; x < 300; ++x) painted.FillRect(x, 0, 1, 200, MakeRGB(x % 256, 40, 200));

    UC_Check first(&parent);
    first.setGeometry(30, 40, 22, 18);
    SetupCheck(first, "wav出力", 1, &painted, 9.0f, nullptr, 1.0f);
    EXPECT_EQ(first.Caption(), "wav出力");
    EXPECT_EQ(first.Value(), 1);
    const int x = first.width() - 1;  // beyond the caption's last glyph
    EXPECT_EQ(first.CheckPicture().GetPixel(x, 0), painted.GetPixel(30 + x, 40));

    UC_Check second(&parent);
    second.setGeometry(30, 70, 22, 18);
    SetupCheck(second, "クリップ回避", 0, &painted, 9.0f, first.Gradhdc(), 1.0f);
    EXPECT_EQ(second.Gradhdc(), first.Gradhdc());
    EXPECT_EQ(second.Value(), 0);

    // Without the source the background is the plain face again.
    second.CloseBGObj();
    second.Draw();
    EXPECT_EQ(second.CheckPicture().GetPixel(second.width() - 1, 0), ResolveColor(kColorButtonFace));
}

}  // namespace
}  // namespace sonivate
