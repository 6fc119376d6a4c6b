#include "controls/widgets/uc_bar.h"

#include <vector>

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>

#include "uikit/colors.h"

namespace sonivate {
namespace {

constexpr int kBarWidth = 200;
constexpr int kBarHeight = 17;
constexpr int kMidRow = 8;

struct BarEvents {
    std::vector<bool> Down;
    int Scrolls = 0;
    std::vector<bool> Right;

    explicit BarEvents(UC_Bar& pBar) {
        QObject::connect(&pBar, &UC_Bar::MouseUD, [this](bool& d) { Down.push_back(d); });
        QObject::connect(&pBar, &UC_Bar::Scrolled, [this] { ++Scrolls; });
        QObject::connect(&pBar, &UC_Bar::RightClicked, [this](bool& d) { Right.push_back(d); });
    }
};

void DragTo(QWidget& pWidget, int pX) {
    const QPoint at(pX, kMidRow);
    QMouseEvent move(QEvent::MouseMove, at, pWidget.mapToGlobal(at), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&pWidget, &move);
}

class UCBar : public ::testing::Test {
protected:
    void SetUp() override {
        c_Bar.resize(kBarWidth, kBarHeight);
        c_Bar.Init();
    }
    // The fill ends in its darker column at pixel pEnd - 1; right of it the background shows.
    void ExpectFilledTo(int pEnd) {
        const Picture& bar = c_Bar.BarPicture();
        const Picture& fill = c_Bar.FillPicture();
        const int columns = pEnd - 1;
        for (int x = 1; x <= columns; ++x) {
            ASSERT_EQ(bar.GetPixel(x, kMidRow), fill.GetPixel(fill.Width() - columns + x - 1, kMidRow - 1)) << x;
        }
        EXPECT_EQ(bar.GetPixel(columns, kMidRow), AdjustColor(kColorButtonShadow, -80, -80, -80, -1));
        if (pEnd + 1 < kBarWidth - 2) {
            EXPECT_EQ(bar.GetPixel(pEnd + 1, kMidRow), c_Bar.BackgroundPicture().GetPixel(pEnd + 1, kMidRow));
        }
    }
    UC_Bar c_Bar;
};

TEST_F(UCBar, ValueIsLimitedToZeroAndMaxAndInitResetsMax) {
    c_Bar.SetValue(1500);
    EXPECT_EQ(c_Bar.Value(), 1000);
    c_Bar.SetValue(-5);
    EXPECT_EQ(c_Bar.Value(), 0);
    c_Bar.SetMax(50);
    c_Bar.SetValue(70);
    EXPECT_EQ(c_Bar.Value(), 50);
    c_Bar.Init();
    EXPECT_EQ(c_Bar.Max(), 1000);
    EXPECT_EQ(c_Bar.InnerWidth(), (kBarWidth - 4) * 15);
    EXPECT_EQ(c_Bar.FillPicture().Width(), kBarWidth - 4);
    EXPECT_EQ(c_Bar.FillPicture().Height(), kBarHeight - 4);
}

TEST_F(UCBar, FillShowsTheLastColumnsOfTheFillImage) {
    // Empty: the cleared face, no background.
    EXPECT_EQ(c_Bar.BarPicture().GetPixel(50, kMidRow), ResolveColor(kColorButtonFace));
    // Half: 196 px x 0.5 + 2 px = pixel 100.
    c_Bar.SetValue(500);
    ExpectFilledTo(100);
    // Draw takes twips directly.
    c_Bar.Draw(37 * 15);
    ExpectFilledTo(37);
    // Full: the whole image, no more.
    c_Bar.SetValue(1000);
    ExpectFilledTo(kBarWidth - 3);
    c_Bar.Draw(100000);
    ExpectFilledTo(kBarWidth - 3);
    // The smallest non-zero value shows the dark end column alone.
    c_Bar.Draw(1);
    EXPECT_EQ(c_Bar.BarPicture().GetPixel(1, kMidRow), AdjustColor(kColorButtonShadow, -80, -80, -80, -1));
    EXPECT_EQ(c_Bar.BarPicture().GetPixel(3, kMidRow), c_Bar.BackgroundPicture().GetPixel(3, kMidRow));
}

TEST_F(UCBar, PlainFillAndOwnColour) {
    c_Bar.SetBarColor(0x2080C0);
    c_Bar.SetNoGrad(true);
    c_Bar.Init();
    c_Bar.SetValue(1000);
    for (const int x : {1, 60, kBarWidth - 4}) EXPECT_EQ(c_Bar.BarPicture().GetPixel(x, kMidRow), 0x2080C0) << x;
}

TEST_F(UCBar, TextIsDrawnInTheStyleColour) {
    c_Bar.SetStyle(9, false, "", 0x0000FF);
    c_Bar.SetTextToDisp("37 %");
    int red = 0;
    for (int y = 0; y < kBarHeight; ++y) {
        for (int x = 0; x < kBarWidth; ++x) red += c_Bar.BarPicture().GetPixel(x, y) == 0x0000FF ? 1 : 0;
    }
    EXPECT_GT(red, 0);
    c_Bar.SetTextToDisp("");
    EXPECT_EQ(c_Bar.BarPicture().GetPixel(kBarWidth / 2, kMidRow), ResolveColor(kColorButtonFace));
}

TEST_F(UCBar, DraggingSetsTheValueAndHoldsOffWrites) {
    BarEvents events(c_Bar);
    QTest::mousePress(&c_Bar, Qt::LeftButton, Qt::NoModifier, QPoint(100, kMidRow));
    EXPECT_EQ(c_Bar.Clicked(), UC_Bar::kHeld);
    EXPECT_EQ(c_Bar.Value(), 500);  // (1500 - 30) / 2940 x 1000
    ExpectFilledTo(100);
    c_Bar.SetValue(10);
    EXPECT_EQ(c_Bar.Value(), 500);

    DragTo(c_Bar, 150);
    EXPECT_EQ(c_Bar.Value(), 755);
    DragTo(c_Bar, 150);  // same place: nothing new
    DragTo(c_Bar, 500);  // beyond the end
    EXPECT_EQ(c_Bar.Value(), 1000);
    EXPECT_EQ(events.Scrolls, 2);
    DragTo(c_Bar, -20);
    EXPECT_EQ(c_Bar.Value(), 0);

    QTest::mouseRelease(&c_Bar, Qt::LeftButton, Qt::NoModifier, QPoint(2, kMidRow));
    EXPECT_EQ(c_Bar.Clicked(), 0);
    EXPECT_EQ(c_Bar.Value(), 0);
    EXPECT_EQ(events.Down, (std::vector<bool>{true, false}));
    c_Bar.SetValue(10);
    EXPECT_EQ(c_Bar.Value(), 10);

    QTest::mousePress(&c_Bar, Qt::RightButton, Qt::NoModifier, QPoint(100, kMidRow));
    QTest::mouseRelease(&c_Bar, Qt::RightButton, Qt::NoModifier, QPoint(100, kMidRow));
    EXPECT_EQ(events.Right, std::vector<bool>{false});
    EXPECT_EQ(events.Down.size(), 2u);
    EXPECT_EQ(c_Bar.Value(), 10);
}

TEST_F(UCBar, LockedBarIgnoresTheMouse) {
    BarEvents events(c_Bar);
    c_Bar.SetLocked(true);
    c_Bar.SetValue(300);
    QTest::mousePress(&c_Bar, Qt::LeftButton, Qt::NoModifier, QPoint(150, kMidRow));
    DragTo(c_Bar, 160);
    QTest::mouseRelease(&c_Bar, Qt::LeftButton, Qt::NoModifier, QPoint(160, kMidRow));
    QTest::mouseClick(&c_Bar, Qt::RightButton, Qt::NoModifier, QPoint(160, kMidRow));
    EXPECT_TRUE(events.Down.empty());
    EXPECT_TRUE(events.Right.empty());
    EXPECT_EQ(events.Scrolls, 0);
    EXPECT_EQ(c_Bar.Value(), 300);
    EXPECT_EQ(c_Bar.Clicked(), 0);
}

}  // namespace
}  // namespace sonivate
