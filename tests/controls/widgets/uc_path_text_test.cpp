#include "controls/widgets/uc_path_text.h"

#include <string>

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include "uikit/dialogs.h"
#include "uikit/ui_metrics.h"

namespace sonivate {
namespace {

// Answers the dialogs with a fixed path and remembers what they were asked.
class FakeDialogs final : public DialogService {
public:
    std::string ChooseFolder(QWidget*, const std::string&, const std::string& pStartFolder) override {
        ++Folders;
        Start = pStartFolder;
        return Answer;
    }
    std::string ChooseFile(QWidget*, bool pIsSave, const std::string& pFilters, const std::string& pStartPath,
                           std::int32_t) override {
        ++Files;
        Save = pIsSave;
        Filters = pFilters;
        Start = pStartPath;
        return Answer;
    }
    std::string Answer;
    std::string Filters;
    std::string Start;
    bool Save = false;
    int Folders = 0;
    int Files = 0;
};

class PathTextTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetTwipsPerPixel(15);
        SetDialogService(&c_Dialogs);
        c_Box.resize(300, 10);
        c_Box.SetTextHeight(330);
        c_Box.Init();
        QObject::connect(&c_Box, &UC_PathText::SelectButtonClicked, [this] { ++c_Selected; });
        QObject::connect(&c_Box, &UC_PathText::TextChange, [this] { ++c_Changes; });
    }
    void TearDown() override { SetDialogService(nullptr); }

    QPoint OnButton() const { return QPoint(c_Box.width() - 5, c_Box.height() / 2); }

    FakeDialogs c_Dialogs;
    UC_PathText c_Box;
    int c_Selected = 0;
    int c_Changes = 0;
};

TEST_F(PathTextTest, LayoutPutsASquareButtonRightOfTheBox) {
    EXPECT_EQ(c_Box.height(), 22);  // 330 twips
    EXPECT_EQ(c_Box.TextPath()->height(), 22);
    EXPECT_EQ(c_Box.TextPath()->width(), 300 - 22);
    c_Box.SetTextHeight(495);  // 1.5 x 330
    c_Box.Init();
    EXPECT_EQ(c_Box.height(), 33);
    EXPECT_EQ(c_Box.TextPath()->width(), 300 - 33);
}

TEST_F(PathTextTest, ExtensionFilterAndChosenName) {
    c_Box.SetExt(".wav");
    EXPECT_EQ(c_Box.Ext(), "wav");
    EXPECT_EQ(c_Box.DialogFilter(), "wavファイル|*.wav");
    c_Box.SetFilter("音声|*.wav;*.bwf");
    EXPECT_EQ(c_Box.DialogFilter(), "音声|*.wav;*.bwf");
    c_Box.SetFilter("");
    c_Box.SetExt("");
    EXPECT_EQ(c_Box.DialogFilter(), "");

    c_Box.SetExt("wav");
    c_Box.SetUsage(UC_PathText::kUsageSaveFile);
    c_Box.SetText("/srv/audio/old.wav");
    c_Changes = 0;
    c_Dialogs.Answer = "/srv/audio/take1";
    c_Box.SelectButtonClick();
    EXPECT_EQ(c_Dialogs.Files, 1);
    EXPECT_TRUE(c_Dialogs.Save);
    EXPECT_NE(c_Dialogs.Filters.find("*.wav"), std::string::npos);
    EXPECT_NE(c_Dialogs.Start.find("/srv/audio"), std::string::npos);
    EXPECT_EQ(c_Box.Text(), "/srv/audio/take1.wav");
    EXPECT_EQ(c_Selected, 1);
    EXPECT_EQ(c_Changes, 1);
    // A name that already ends with the extension keeps its letters.
    c_Dialogs.Answer = "/srv/audio/TAKE2.WAV";
    c_Box.SelectButtonClick();
    EXPECT_EQ(c_Box.Text(), "/srv/audio/TAKE2.WAV");
}

TEST_F(PathTextTest, CancelLeavesTheTextAndRaisesNothing) {
    c_Box.SetText("/srv/out/");
    c_Changes = 0;
    c_Dialogs.Answer = "";
    c_Box.SelectButtonClick();
    EXPECT_EQ(c_Dialogs.Folders, 1);
    EXPECT_EQ(c_Dialogs.Start, "/srv/out");  // folder part without the separator
    EXPECT_EQ(c_Box.Text(), "/srv/out/");
    EXPECT_EQ(c_Selected, 0);
    EXPECT_EQ(c_Changes, 0);

    c_Box.SetInitDir("/home/op");
    c_Dialogs.Answer = "/home/op/new/";
    c_Box.SelectButtonClick();
    EXPECT_EQ(c_Dialogs.Start, "/home/op");
    EXPECT_EQ(c_Box.Text(), "/home/op/new/");
    EXPECT_EQ(c_Selected, 1);
}

TEST_F(PathTextTest, UsageMinusOneOnlyRaisesTheEvent) {
    c_Box.SetUsage(UC_PathText::kUsageNoDialog);
    c_Box.SetText("/x/");
    c_Changes = 0;
    c_Box.SelectButtonClick();
    EXPECT_EQ(c_Selected, 1);
    EXPECT_EQ(c_Dialogs.Folders + c_Dialogs.Files, 0);
    EXPECT_EQ(c_Box.Text(), "/x/");
    EXPECT_EQ(c_Changes, 0);
}

TEST_F(PathTextTest, ButtonClicksOnReleaseInsideWhileEnabled) {
    c_Box.SetUsage(UC_PathText::kUsageNoDialog);
    c_Box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&c_Box));
    QTest::mousePress(&c_Box, Qt::LeftButton, {}, OnButton());
    EXPECT_TRUE(c_Box.Pressed());
    EXPECT_EQ(c_Selected, 0);
    QTest::mouseRelease(&c_Box, Qt::LeftButton, {}, OnButton());
    EXPECT_FALSE(c_Box.Pressed());
    EXPECT_EQ(c_Selected, 1);

    // Released outside the button: no click.
    QTest::mousePress(&c_Box, Qt::LeftButton, {}, OnButton());
    QTest::mouseRelease(&c_Box, Qt::LeftButton, {}, QPoint(c_Box.width() + 40, 5));
    EXPECT_EQ(c_Selected, 1);

    c_Box.SetButtonDisabled(1);
    QTest::mouseClick(&c_Box, Qt::LeftButton, {}, OnButton());
    EXPECT_EQ(c_Selected, 1);
    c_Box.SetButtonDisabled(0);
    c_Box.SetEnabled(false);
    EXPECT_TRUE(c_Box.TextPath()->isReadOnly());
    QTest::mouseClick(&c_Box, Qt::LeftButton, {}, OnButton());
    EXPECT_EQ(c_Selected, 1);
    c_Box.SetEnabled(true);
    EXPECT_FALSE(c_Box.TextPath()->isReadOnly());
    c_Box.SetTextDisabled(1);
    EXPECT_TRUE(c_Box.TextPath()->isReadOnly());

    int doubles = 0;
    QObject::connect(&c_Box, &UC_PathText::TextDblClicked, [&] { ++doubles; });
    QTest::mouseDClick(c_Box.TextPath(), Qt::LeftButton, {}, QPoint(10, 5));
    EXPECT_EQ(doubles, 1);
}

// The greyed output box (wav出力 off) and its "..." are passed over by Tab;
// the keyboard they held moves on, and they take it again once enabled. A
// dead button alone (the window's lock during a run) leaves the box a stop.
TEST(PathTextFocus, AGreyedBoxAndADeadButtonTakeNoFocus) {
    SetTwipsPerPixel(15);
    QWidget window;
    QLineEdit before(&window);
    UC_PathText box(&window);
    QLineEdit after(&window);
    box.resize(300, 22);
    box.SetTextHeight(330);
    box.Init();
    QWidget::setTabOrder(&before, box.TextPath());
    QWidget::setTabOrder(box.TextPath(), &box);
    QWidget::setTabOrder(&box, &after);
    window.show();
    QApplication::setActiveWindow(&window);
    const auto tabFromBefore = [&] {
        before.setFocus(Qt::OtherFocusReason);
        QTest::keyClick(&before, Qt::Key_Tab);
    };

    box.TextPath()->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(box.TextPath()->hasFocus());
    box.SetEnabled(false);
    EXPECT_FALSE(box.TextPath()->hasFocus());
    EXPECT_EQ(box.TextPath()->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(box.focusPolicy(), Qt::NoFocus);
    tabFromBefore();
    EXPECT_TRUE(after.hasFocus());

    box.SetEnabled(true);
    tabFromBefore();
    EXPECT_TRUE(box.TextPath()->hasFocus());
    QTest::keyClick(box.TextPath(), Qt::Key_Tab);
    EXPECT_TRUE(box.hasFocus());  // the button's stop
    box.SetButtonDisabled(1);
    EXPECT_FALSE(box.hasFocus());
    tabFromBefore();
    QTest::keyClick(box.TextPath(), Qt::Key_Tab);
    EXPECT_TRUE(after.hasFocus());
}

}  // namespace
}  // namespace sonivate
