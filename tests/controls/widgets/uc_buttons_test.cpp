#include "controls/widgets/uc_buttons.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QApplication>
#include <QMouseEvent>
#include <QLineEdit>
#include <QTest>
#include <QTranslator>
#include <gtest/gtest.h>

#include "controls/widgets/icon_strips.h"
#include "controls/widgets/uc_path_text.h"
#include "uikit/colors.h"

namespace sonivate {
namespace {

constexpr std::int32_t kDarkShadow = 0x404040;

// Records every event of a strip in the order raised.
struct Recorder {
    std::vector<std::int16_t> Down, Clicked, Right, Shifted, ShiftState, Hovered;

    explicit Recorder(UC_Buttons& pStrip) {
        QObject::connect(&pStrip, &UC_Buttons::ButtonDown, [this](std::int16_t& i) { Down.push_back(i); });
        QObject::connect(&pStrip, &UC_Buttons::ButtonClicked, [this](std::int16_t& i) { Clicked.push_back(i); });
        QObject::connect(&pStrip, &UC_Buttons::RightClicked, [this](std::int16_t& i) { Right.push_back(i); });
        QObject::connect(&pStrip, &UC_Buttons::ShiftClicked, [this](std::int16_t& i, std::int16_t& s) {
            Shifted.push_back(i);
            ShiftState.push_back(s);
        });
        QObject::connect(&pStrip, &UC_Buttons::Hover, [this](std::int16_t& i) { Hovered.push_back(i); });
    }
};

void MoveTo(QWidget& pWidget, QPoint pAt) {
    QMouseEvent move(QEvent::MouseMove, pAt, pWidget.mapToGlobal(pAt), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&pWidget, &move);
}

// A strip of pCount text buttons pWidth x 24 pixels in design pDesign.
std::unique_ptr<UC_Buttons> MakeStrip(int pWidth, std::int16_t pCount, std::int32_t pDesign) {
    auto strip = std::make_unique<UC_Buttons>();
    strip->resize(pWidth, 24);
    strip->SetDesignType(pDesign);
    strip->SetNumButtons(pCount);
    for (std::int16_t i = 0; i < pCount; ++i) strip->SetButtonChar(i, "開始");
    strip->Init();
    return strip;
}

int CountColor(const Picture& pPicture, int pX, int pY, int pW, int pH, std::int32_t pColor) {
    int n = 0;
    for (int y = pY; y < pY + pH; ++y) {
        for (int x = pX; x < pX + pW; ++x) n += pPicture.GetPixel(x, y) == pColor ? 1 : 0;
    }
    return n;
}

TEST(UCButtonsLayout, EarsAndButtonWidthsFollowTheStripWidth) {
    auto strip = MakeStrip(200, 3, 0);
    EXPECT_EQ(strip->EarWidth(), 8);
    EXPECT_EQ(strip->ButtonWidth(), 60);
    EXPECT_EQ(strip->width(), 198);
    EXPECT_EQ(strip->StripPicture().Width(), 198);
    EXPECT_EQ(strip->ButtonLeft(0), 9);
    EXPECT_EQ(strip->ButtonLeft(2), 129);
    // The dark separator after the left ear and the dark last column.
    EXPECT_EQ(strip->StripPicture().GetPixel(8, 10), kDarkShadow);
    EXPECT_EQ(strip->StripPicture().GetPixel(197, 10), kDarkShadow);

    // Designs other than 0 have no ears; an explicit MimiWidth wins.
    auto flat = MakeStrip(200, 3, 1);
    EXPECT_EQ(flat->EarWidth(), 0);
    EXPECT_EQ(flat->ButtonWidth(), 66);
    EXPECT_EQ(flat->width(), 200);
    flat->SetMimiWidth(5);
    flat->resize(200, 24);
    flat->Init();
    EXPECT_EQ(flat->EarWidth(), 5);
    EXPECT_EQ(flat->ButtonWidth(), 62);
    EXPECT_EQ(flat->width(), 198);
}

TEST(UCButtonsLayout, ButtonCountBelowOneBecomesOneAndResetsTheTables) {
    UC_Buttons strip;
    strip.SetNumButtons(3);
    strip.SetButtonChar(1, "x");
    strip.SetButtonOn(1, true, false);
    strip.SetButtonDisable(1, true, false, true);
    strip.SetNumButtons(0);
    EXPECT_EQ(strip.NumButtons(), 1);
    strip.SetNumButtons(-4);
    EXPECT_EQ(strip.NumButtons(), 1);
    strip.SetNumButtons(3);
    EXPECT_EQ(strip.GetButtonChar(1), "");
    EXPECT_FALSE(strip.GetButtonOn(1));
    EXPECT_FALSE(strip.GetButtonDisable(1, true));
    // Outside the strip every read-out is neutral.
    EXPECT_FALSE(strip.GetButtonDisable(7, false));
    EXPECT_EQ(strip.GetButtonChar(-1), "");
}

TEST(UCButtonsLayout, OKCancelStrip) {
    UC_Buttons strip;
    strip.resize(162, 24);
    strip.SetOKCancel(true, true, 1);
    EXPECT_EQ(strip.GetButtonChar(0), "OK");
    EXPECT_EQ(strip.GetButtonChar(1), "キャンセル");
    EXPECT_EQ(strip.SelectedColor(), 0xFFFFFF);
    EXPECT_EQ(strip.DesignType(), 1);
    EXPECT_EQ(strip.width(), 162);
    EXPECT_EQ(strip.height(), 24);

    // The reverse order, and the strip's own size of 2400 x 330 twips.
    strip.SetOKCancel(false, false, 0);
    EXPECT_EQ(strip.GetButtonChar(0), "キャンセル");
    EXPECT_EQ(strip.GetButtonChar(1), "OK");
    EXPECT_EQ(strip.width(), 160);
    EXPECT_EQ(strip.height(), 22);
}

TEST(UCButtonsLayout, HitTestCoversExactlyTheButtons) {
    auto strip = MakeStrip(200, 3, 0);
    EXPECT_EQ(strip->HitTest(8), -1);  // the ear
    EXPECT_EQ(strip->HitTest(9), 0);
    EXPECT_EQ(strip->HitTest(68), 0);
    EXPECT_EQ(strip->HitTest(69), 1);
    EXPECT_EQ(strip->HitTest(188), 2);
    EXPECT_EQ(strip->HitTest(189), -1);
    EXPECT_EQ(strip->HitTest(-3), -1);
}

TEST(UCButtonsMouse, ClickOnlyOnReleaseInsideThePressedButton) {
    auto strip = MakeStrip(200, 3, 0);
    Recorder events(*strip);

    QTest::mousePress(strip.get(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 10));
    EXPECT_EQ(events.Down, std::vector<std::int16_t>{1});
    EXPECT_TRUE(events.Clicked.empty());
    QTest::mouseRelease(strip.get(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 10));
    EXPECT_EQ(events.Clicked, std::vector<std::int16_t>{1});

    // Released below the strip, or over another button: no click.
    QTest::mousePress(strip.get(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 10));
    QTest::mouseRelease(strip.get(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 40));
    QTest::mousePress(strip.get(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 10));
    QTest::mouseRelease(strip.get(), Qt::LeftButton, Qt::NoModifier, QPoint(20, 10));
    EXPECT_EQ(events.Clicked, std::vector<std::int16_t>{1});
    // The abandoned press leaves the button drawn up again: face row 0 at the top.
    EXPECT_EQ(strip->StripPicture().GetPixel(strip->ButtonLeft(1) + 2, 0), strip->FacePicture().GetPixel(2, 0));

    // Right button: RightClicked only, and no ButtonDown.
    QTest::mousePress(strip.get(), Qt::RightButton, Qt::NoModifier, QPoint(30, 10));
    QTest::mouseRelease(strip.get(), Qt::RightButton, Qt::NoModifier, QPoint(30, 10));
    EXPECT_EQ(events.Right, std::vector<std::int16_t>{0});
    EXPECT_EQ(events.Down.size(), 3u);
    EXPECT_EQ(events.Clicked.size(), 1u);
}

TEST(UCButtonsMouse, ModifiedClickRaisesShiftClickedOnly) {
    auto strip = MakeStrip(200, 3, 0);
    Recorder events(*strip);
    QTest::mousePress(strip.get(), Qt::LeftButton, Qt::NoModifier, QPoint(150, 10));
    QTest::mouseRelease(strip.get(), Qt::LeftButton, Qt::ShiftModifier, QPoint(150, 10));
    QTest::mousePress(strip.get(), Qt::LeftButton, Qt::NoModifier, QPoint(20, 10));
    QTest::mouseRelease(strip.get(), Qt::LeftButton, Qt::ControlModifier | Qt::AltModifier, QPoint(20, 10));
    EXPECT_TRUE(events.Clicked.empty());
    EXPECT_EQ(events.Shifted, (std::vector<std::int16_t>{2, 0}));
    EXPECT_EQ(events.ShiftState,
              (std::vector<std::int16_t>{UC_Buttons::kShiftMask, UC_Buttons::kCtrlMask | UC_Buttons::kAltMask}));
}

TEST(UCButtonsMouse, DisabledButtonHoversButNeverPressesOrClicks) {
    auto strip = MakeStrip(200, 3, 0);
    strip->SetButtonDisable(1, true, true, false);
    strip->SetButtonDisable(2, true, true, true);
    Recorder events(*strip);
    for (const int x : {100, 150}) {
        QTest::mousePress(strip.get(), Qt::LeftButton, Qt::NoModifier, QPoint(x, 10));
        QTest::mouseRelease(strip.get(), Qt::LeftButton, Qt::NoModifier, QPoint(x, 10));
        QTest::mousePress(strip.get(), Qt::RightButton, Qt::NoModifier, QPoint(x, 10));
        QTest::mouseRelease(strip.get(), Qt::RightButton, Qt::NoModifier, QPoint(x, 10));
    }
    EXPECT_TRUE(events.Down.empty());
    EXPECT_TRUE(events.Clicked.empty());
    EXPECT_TRUE(events.Right.empty());

    // Hover reports each change once, disabled buttons included.
    MoveTo(*strip, QPoint(20, 5));
    MoveTo(*strip, QPoint(30, 5));
    MoveTo(*strip, QPoint(100, 5));
    MoveTo(*strip, QPoint(150, 5));
    MoveTo(*strip, QPoint(2, 5));
    EXPECT_EQ(events.Hovered, (std::vector<std::int16_t>{0, 1, 2, -1}));

    // Enabled again: clicks.
    strip->SetButtonDisable(1, false, true, false);
    QTest::mouseClick(strip.get(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 10));
    EXPECT_EQ(events.Clicked, std::vector<std::int16_t>{1});
}

TEST(UCButtonsDrawing, PressedFaceDropsOnePixelAndCaptionsTakeTheirColours) {
    auto strip = MakeStrip(200, 3, 0);
    const Picture& pic = strip->StripPicture();
    const int left = strip->ButtonLeft(0);
    const int w = strip->ButtonWidth();
    const int h = strip->ButtonHeight();
    strip->DrawButton(0, UC_Buttons::kDrawPressed);
    // Top row: the strip's back colour; below it the face one row lower.
    EXPECT_EQ(pic.GetPixel(left + 3, 0), ResolveColor(pic.BackColor()));
    EXPECT_EQ(pic.GetPixel(left + 3, 5), strip->FacePicture().GetPixel(3, 4));

    // Up, plain: the dark tone; pressed, on or selected: the selected colour.
    const std::int32_t tone = ToneColor(3);
    strip->DrawButton(0, UC_Buttons::kDrawUp);
    EXPECT_GT(CountColor(pic, left, 0, w, h, tone), 0);
    EXPECT_EQ(CountColor(pic, left, 0, w, h, 0x00D000), 0);
    strip->DrawButton(0, UC_Buttons::kDrawHighlighted);
    EXPECT_GT(CountColor(pic, left, 0, w, h, 0x00D000), 0);
    strip->SetButtonOn(1, true, true);
    EXPECT_GT(CountColor(pic, strip->ButtonLeft(1), 0, w, h, 0x00D000), 0);
    strip->SetSelectedButton(2);
    EXPECT_GT(CountColor(pic, strip->ButtonLeft(2), 0, w, h, 0x00D000), 0);
    strip->SetSelectedButton(-1);
    EXPECT_EQ(CountColor(pic, strip->ButtonLeft(2), 0, w, h, 0x00D000), 0);

    // Disabled: white, unless NoGrayAtDisabled keeps the normal colour.
    strip->SetButtonDisable(2, true, true, false);
    EXPECT_GT(CountColor(pic, strip->ButtonLeft(2), 0, w, h, 0xFFFFFF), 0);
    EXPECT_EQ(CountColor(pic, strip->ButtonLeft(2), 0, w, h, tone), 0);
    strip->SetNoGrayAtDisabled(true);
    strip->DrawButton(2, UC_Buttons::kDrawUp);
    EXPECT_GT(CountColor(pic, strip->ButtonLeft(2), 0, w, h, tone), 0);

    // Engraved captions: a dark shadow under a white caption.
    strip->SetDisable3D(false);
    strip->DrawButton(1, UC_Buttons::kDrawUp);
    strip->SetButtonOn(1, false, true);
    EXPECT_GT(CountColor(pic, strip->ButtonLeft(1), 0, w, h, tone), 0);
    EXPECT_GT(CountColor(pic, strip->ButtonLeft(1), 0, w, h, 0xFFFFFF), 0);
}

TEST(UCButtonsDrawing, IconsAreMaskedInAndTheLitFormShowsWhilePressed) {
    UC_Buttons strip;
    strip.resize(120, 26);
    strip.SetButtonsMCI();
    strip.Init();
    const Picture& pic = strip.StripPicture();
    const Picture& icons = strip.PiclibHdc();
    const int left = strip.ButtonLeft(0);
    const int iconX = static_cast<int>(std::lrint(left + strip.ButtonWidth() / 2.0 - 9));
    const int iconY = static_cast<int>(std::lrint(strip.ButtonHeight() / 2.0 - 9));

    // Where the mask is white the face shows through; where it is black the
    // (tinted) image of icon 1 shows.
    int seen = 0;
    for (int y = 0; y < kButtonIconSize; ++y) {
        for (int x = 0; x < kButtonIconSize; ++x) {
            const bool transparent = icons.GetPixel(kButtonIconSize + x, kButtonIconSize + y) == 0xFFFFFF;
            const std::int32_t expected = transparent ? strip.FacePicture().GetPixel(iconX - left + x, iconY + y)
                                                      : icons.GetPixel(kButtonIconSize + x, y);
            ASSERT_EQ(pic.GetPixel(iconX + x, iconY + y), expected) << x << "," << y;
            seen += transparent ? 0 : 1;
        }
    }
    EXPECT_GT(seen, 20);

    // Pressed: the alternate icon 9, one pixel lower.
    strip.DrawButton(0, UC_Buttons::kDrawPressed);
    for (int y = 0; y < kButtonIconSize; ++y) {
        for (int x = 0; x < kButtonIconSize; ++x) {
            if (icons.GetPixel(9 * kButtonIconSize + x, kButtonIconSize + y) != 0) continue;
            ASSERT_EQ(pic.GetPixel(iconX + x, iconY + 1 + y), icons.GetPixel(9 * kButtonIconSize + x, y));
        }
    }
}

TEST(UCButtonsDrawing, PlainIconsAreTintedToTheFaceLitOnesAreNot) {
    UC_Buttons strip;
    strip.resize(120, 26);
    strip.SetButtonsMCI();
    strip.Init();
    const Picture base = MakeButtonIconStrip(1.0);
    const Picture& tinted = strip.PiclibHdc();
    const RgbParts face = SplitRGB(kColorButtonFace);
    int checked = 0;
    for (int x = 0; x < kButtonIconSize * kButtonIconCount; ++x) {
        for (int y = 0; y < kButtonIconSize; ++y) {
            const std::int32_t before = base.GetPixel(x, y);
            const std::int32_t after = tinted.GetPixel(x, y);
            if (IsLitButtonIcon(x / kButtonIconSize) || before == 0) {
                ASSERT_EQ(after, before);
                continue;
            }
            const RgbParts c = SplitRGB(before);
            const auto scale = [](int v, int f) {
                return std::min(static_cast<int>(std::lrint(v * (f / 210.0))), 255);
            };
            ASSERT_EQ(after, MakeRGB(scale(c.R, face.R), scale(c.G, face.G), scale(c.B, face.B)));
            ++checked;
        }
    }
    EXPECT_GT(checked, 100);
}

// Tab walks the enabled buttons before it leaves the strip; Space and Enter
// press the focused one.
TEST(UCButtonsKeyboard, TabWalksTheButtonsAndSpaceOrEnterPressesOne) {
    QWidget window;
    QLineEdit before(&window);
    auto strip = MakeStrip(240, 3, 1);
    strip->setParent(&window);
    QLineEdit after(&window);
    QWidget::setTabOrder(&before, strip.get());
    QWidget::setTabOrder(strip.get(), &after);
    strip->SetButtonDisable(1, true, true, false);
    window.show();
    QApplication::setActiveWindow(&window);
    Recorder record(*strip);
    strip->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(strip->FocusButton(), 0);
    QTest::keyClick(strip.get(), Qt::Key_Space);
    QTest::keyClick(strip.get(), Qt::Key_Tab);
    EXPECT_EQ(strip->FocusButton(), 2);  // the disabled one is passed over
    QTest::keyClick(strip.get(), Qt::Key_Return);
    EXPECT_EQ(record.Clicked, (std::vector<std::int16_t>{0, 2}));
    QTest::keyClick(strip.get(), Qt::Key_Tab);
    EXPECT_FALSE(strip->hasFocus());
}

// A strip whose every button is disabled is passed over by Tab, and the
// keyboard it held moves on; an enabled button brings it back.
TEST(UCButtonsKeyboard, AStripWithNoEnabledButtonTakesNoFocus) {
    QWidget window;
    QLineEdit before(&window);
    auto strip = MakeStrip(240, 3, 1);
    strip->setParent(&window);
    QLineEdit after(&window);
    QWidget::setTabOrder(&before, strip.get());
    QWidget::setTabOrder(strip.get(), &after);
    window.show();
    QApplication::setActiveWindow(&window);
    strip->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(strip->hasFocus());

    strip->SetButtonDisableAll(true, false);
    EXPECT_FALSE(strip->hasFocus());
    EXPECT_EQ(strip->focusPolicy(), Qt::NoFocus);
    before.setFocus(Qt::OtherFocusReason);
    QTest::keyClick(&before, Qt::Key_Tab);
    EXPECT_TRUE(after.hasFocus());

    strip->SetButtonDisable(1, false, true, false);
    before.setFocus(Qt::OtherFocusReason);
    QTest::keyClick(&before, Qt::Key_Tab);
    EXPECT_TRUE(strip->hasFocus());
    EXPECT_EQ(strip->FocusButton(), 1);
}

// Answers every lookup with the source text in brackets and remembers the
// contexts asked, as an installed translation would be asked.
class BracketTranslator final : public QTranslator {
public:
    QString translate(const char* pContext, const char* pSource, const char*, int) const override {
        Asked.emplace_back(pContext, pSource);
        return QStringLiteral("[") + QString::fromUtf8(pSource) + QStringLiteral("]");
    }
    bool isEmpty() const override { return false; }
    mutable std::vector<std::pair<std::string, std::string>> Asked;
};

// The controls' own texts go through Qt's translation under their class's
// name, as lupdate files them; the Japanese source texts stay as they were.
TEST(ControlTexts, GoThroughTheTranslationUnderTheClassName) {
    BracketTranslator translator;
    ASSERT_TRUE(QCoreApplication::installTranslator(&translator));
    UC_Buttons strip;
    strip.SetOKCancel(true, false, 0);
    UC_PathText box;
    box.SetExt("wav");
    const std::string filter = box.DialogFilter();
    QCoreApplication::removeTranslator(&translator);

    EXPECT_EQ(strip.GetButtonChar(0), "[OK]");
    EXPECT_EQ(strip.GetButtonChar(1), "[キャンセル]");
    EXPECT_EQ(filter, "wav[ファイル]|*.wav");
    const auto asked = [&](const char* pContext, const char* pSource) {
        return std::find(translator.Asked.begin(), translator.Asked.end(),
                         std::make_pair(std::string(pContext), std::string(pSource))) != translator.Asked.end();
    };
    EXPECT_TRUE(asked("sonivate::UC_Buttons", "キャンセル"));
    EXPECT_TRUE(asked("sonivate::UC_PathText", "ファイル"));
}

}  // namespace
}  // namespace sonivate
