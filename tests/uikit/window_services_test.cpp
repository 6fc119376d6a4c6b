// Message boxes, monitors, dialogs and layout over fake screens, a fake
// message box runner and a fake dialog service: nothing is shown or blocks.
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "uikit/dialogs.h"
#include "uikit/fonts.h"
#include "uikit/layout.h"
#include "uikit/message_box.h"
#include "uikit/monitors.h"
#include "uikit/ui_metrics.h"

namespace sonivate {
namespace {

class FakeScreens final : public ScreenList {
public:
    std::vector<QRect> Rects;
    std::vector<QRect> Geometries() const override { return Rects; }
};

// Records the box as it would be shown and answers with one of its buttons.
class RecordingRunner final : public MessageBoxRunner {
public:
    QRect Frame;
    bool Moved = false;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    QStringList Buttons;
    QString DefaultButton;
    QString Answer = "OK";  // text of the button to press
    std::int32_t Run(QMessageBox& pBox) override {
        Frame = pBox.frameGeometry();
        Moved = pBox.testAttribute(Qt::WA_Moved);
        Icon = pBox.icon();
        Buttons.clear();
        for (QAbstractButton* b : pBox.buttons()) Buttons << b->text();
        DefaultButton = pBox.defaultButton() != nullptr ? pBox.defaultButton()->text() : QString();
        for (QAbstractButton* b : pBox.buttons())
            if (b->text() == Answer) return MessageBoxResult(pBox, b);
        return MessageBoxResult(pBox, nullptr);
    }
};

class WindowServices : public ::testing::Test {
protected:
    void SetUp() override {
        SetTwipsPerPixel(kReferenceTwipsPerPixel);
        // Two monitors side by side, the right one shorter.
        screens.Rects = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
        SetScreenList(&screens);
        SetMessageBoxRunner(&runner);
    }
    void TearDown() override {
        SetScreenList(nullptr);
        SetMessageBoxRunner(nullptr);
    }
    FakeScreens screens;
    RecordingRunner runner;
};

TEST_F(WindowServices, MonitorExtentIsTheLargestEdgesCachedUntilTheListChanges) {
    EXPECT_EQ(MonitorExtent(kExtentRight, true), 3200);
    EXPECT_EQ(MonitorExtent(kExtentBottom, true), 1080);
    EXPECT_EQ(MonitorExtent(kExtentRight, false), 48000);
    EXPECT_EQ(DesktopExtentTwips().Bottom, 16200);
    EXPECT_EQ(MonitorExtent(2, true), 0);
    screens.Rects = {QRect(0, 0, 800, 600)};
    EXPECT_EQ(MonitorExtent(kExtentRight, true), 3200) << "computed once";
    SetScreenList(&screens);
    EXPECT_EQ(MonitorExtent(kExtentRight, true), 800);
}

TEST_F(WindowServices, MessageBoxIsCentredAndPulledBackInsideTheMonitors) {
    QWidget owner;
    owner.setGeometry(1000, 300, 400, 300);
    EXPECT_EQ(OwnerMessageBox("テスト", kMbIconStop, "sonivate", &owner), kIdOk);
    ASSERT_TRUE(runner.Moved);
    EXPECT_EQ(runner.Icon, QMessageBox::Critical);
    EXPECT_EQ(runner.Buttons, QStringList{"OK"});
    const QRect ownerFrame = owner.frameGeometry();
    EXPECT_NEAR(runner.Frame.center().x(), ownerFrame.center().x(), 1);
    EXPECT_NEAR(runner.Frame.center().y(), ownerFrame.center().y(), 1);

    // Near the right edge of the rightmost monitor: the box ends at that edge.
    owner.setGeometry(3150, 1030, 100, 100);
    OwnerMessageBox("右端", kMbOk, "", &owner);
    EXPECT_EQ(runner.Frame.x() + runner.Frame.width(), 3200);
    EXPECT_EQ(runner.Frame.y() + runner.Frame.height(), 1080);

    // Above and left of the desktop: not below 0.
    owner.setGeometry(-500, -400, 100, 100);
    OwnerMessageBox("左上", kMbOk, "", &owner);
    EXPECT_EQ(runner.Frame.topLeft(), QPoint(0, 0));

    // A minimised owner leaves the box where Qt puts it.
    owner.showMinimized();
    OwnerMessageBox("最小化", kMbOk, "", &owner);
    EXPECT_FALSE(runner.Moved);
    OwnerMessageBox("持ち主なし", kMbOk, "", nullptr);
    EXPECT_FALSE(runner.Moved);
}

TEST_F(WindowServices, MessageBoxStylesAndResults) {
    const auto answer = [&](std::int32_t pType, const char* pButton) {
        runner.Answer = QString::fromUtf8(pButton);
        return OwnerMessageBox("?", pType, "", nullptr);
    };
    EXPECT_EQ(answer(kMbOkCancel | kMbIconExclamation, "キャンセル"), kIdCancel);
    EXPECT_EQ(runner.Icon, QMessageBox::Warning);
    EXPECT_EQ(runner.Buttons.size(), 2);
    EXPECT_EQ(runner.DefaultButton, "OK");
    EXPECT_EQ(answer(kMbYesNo | kMbIconQuestion | kMbDefaultButton2, "はい(&Y)"), kIdYes);
    EXPECT_EQ(runner.Icon, QMessageBox::Question);
    EXPECT_EQ(runner.DefaultButton, "いいえ(&N)");
    EXPECT_EQ(answer(kMbYesNo, "いいえ(&N)"), kIdNo);
    EXPECT_EQ(answer(kMbYesNoCancel | kMbIconInformation, "キャンセル"), kIdCancel);
    EXPECT_EQ(runner.Icon, QMessageBox::Information);
    EXPECT_EQ(answer(kMbAbortRetryIgnore, "無視(&I)"), kIdIgnore);
    EXPECT_EQ(answer(kMbRetryCancel, "再試行(&R)"), kIdRetry);
    EXPECT_EQ(answer(kMbOk, "none"), kIdCancel) << "closed without a button";
}

// Answers every dialog with a fixed text and records what it was asked.
class FakeDialogs final : public DialogService {
public:
    std::string Answer;
    std::string Title, Start, Filters;
    bool IsSave = false;
    std::int32_t Flags = 0;
    std::string ChooseFolder(QWidget*, const std::string& pTitle, const std::string& pStart) override {
        Title = pTitle;
        Start = pStart;
        return Answer;
    }
    std::string ChooseFile(QWidget*, bool pIsSave, const std::string& pFilters, const std::string& pStart,
                           std::int32_t pFlags) override {
        IsSave = pIsSave;
        Filters = pFilters;
        Start = pStart;
        Flags = pFlags;
        return Answer;
    }
};

TEST(Dialogs, FolderAndFileRules) {
    FakeDialogs fake;
    SetDialogService(&fake);
    fake.Answer = "/srv/out";
    EXPECT_EQ(BrowseForFolder("/srv/in/", "", nullptr), "/srv/out/");
    EXPECT_EQ(fake.Title, kDefaultFolderTitle);
    EXPECT_EQ(fake.Start, "/srv/in");
    EXPECT_EQ(BrowseForFolder("/", "出力先", nullptr), "/srv/out/");
    EXPECT_EQ(fake.Start, "/");
    EXPECT_EQ(fake.Title, "出力先");
    fake.Answer = "";
    EXPECT_EQ(BrowseForFolder("", "", nullptr), "") << "cancel";
    EXPECT_FALSE(fake.Start.empty()) << "the current folder";

    fake.Answer = std::string("/srv/a.wav\0junk", 15);
    EXPECT_EQ(FileDialog(nullptr, true, "wavファイル|*.wav|すべて|*.*", "/srv/", "a.wav", kFileDialogDefaultFlags),
              "/srv/a.wav");
    EXPECT_TRUE(fake.IsSave);
    EXPECT_EQ(fake.Filters, "wavファイル (*.wav);;すべて (*.*)");
    EXPECT_EQ(fake.Start, "/srv/a.wav");
    EXPECT_EQ(fake.Flags, kSaveDialogDefaultFlags);
    FileDialog(nullptr, false, "", "/srv", "", kFileDialogDefaultFlags);
    EXPECT_EQ(fake.Flags, kOpenDialogDefaultFlags);
    EXPECT_EQ(fake.Start, "/srv");
    EXPECT_EQ(fake.Filters, "");
    FileDialog(nullptr, false, "", "", "/abs/name.wav", 0x4);
    EXPECT_EQ(fake.Flags, 0x4);
    EXPECT_EQ(fake.Start, "/abs/name.wav");

    EXPECT_EQ(ToQtNameFilters("音声|*.wav;*.bwf|名前だけ"), "音声 (*.wav *.bwf)");
    EXPECT_EQ(ToQtNameFilters("wav|*.wav|"), "wav (*.wav)");
    SetDialogService(nullptr);
}

// The real form of text fields: the values come back as edited, in order,
// and nothing on cancel. The form, as drawn, is saved when a screenshot
// folder is given (SONIVATE_SCREENSHOT_DIR).
TEST(Dialogs, TheFieldsFormGivesBackWhatWasTypedAndNothingOnCancel) {
    SetDialogService(nullptr);
    const std::vector<std::string> labels = {"担当者", "局", "番組"};
    const auto answer = [](bool pAccept) {
        QTimer::singleShot(0, [pAccept] {
            QWidget* form = QApplication::activeModalWidget();
            ASSERT_NE(form, nullptr);
            const QList<QLineEdit*> boxes = form->findChildren<QLineEdit*>();
            ASSERT_EQ(boxes.size(), 3);
            boxes[1]->setText(QStringLiteral("JOAX"));
            const char* dir = std::getenv("SONIVATE_SCREENSHOT_DIR");
            if (pAccept && dir != nullptr) form->grab().save(QString::fromUtf8(dir) + "/fields-form.png");
            auto* buttons = form->findChild<QDialogButtonBox*>();
            ASSERT_NE(buttons, nullptr);
            buttons->button(pAccept ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
        });
    };
    answer(true);
    const std::optional<std::vector<std::string>> edited =
        FieldsDialog(nullptr, "レポートの項目", labels, {"山田 花子", "", "夕方のニュース"});
    ASSERT_TRUE(edited.has_value());
    EXPECT_EQ(*edited, (std::vector<std::string>{"山田 花子", "JOAX", "夕方のニュース"}));
    answer(false);
    EXPECT_FALSE(FieldsDialog(nullptr, "レポートの項目", labels, {}).has_value());
}

// One conversion serves the layout, the drawing routines and the list's
// columns: whole pixels rounded down on both sides of zero, so that a
// column scrolled partly out of view on the left starts a pixel further
// left rather than on the view's edge.
TEST(Layout, TwipsToPixelsRoundsDownOnBothSidesOfZero) {
    SetTwipsPerPixel(kReferenceTwipsPerPixel);
    EXPECT_EQ(TwipsToPixels(0), 0);
    EXPECT_EQ(TwipsToPixels(29), 1);
    EXPECT_EQ(TwipsToPixels(30), 2);
    EXPECT_EQ(TwipsToPixels(-1), -1);
    EXPECT_EQ(TwipsToPixels(-15), -1);
    EXPECT_EQ(TwipsToPixels(-16), -2);
    // Row tops of long lists are products beyond 32 bits of twips.
    EXPECT_EQ(TwipsToPixels(std::int64_t{15} * 200'000'000), 200'000'000);
    SetTwipsPerPixel(10);
    EXPECT_EQ(TwipsToPixels(-5), -1);
    SetTwipsPerPixel(kReferenceTwipsPerPixel);
}

TEST(Layout, ScalePlaceCopyAndComboChoice) {
    SetTwipsPerPixel(kReferenceTwipsPerPixel);
    QWidget parent;
    QWidget reference(&parent), control(&parent);
    SetTwipsGeometry(reference, {1200, 600, 1725, 300});
    EXPECT_EQ(reference.geometry(), QRect(80, 40, 115, 20));
    SetTwipsGeometry(control, {0, 0, 945, 270});

    // 945 x 1.5 = 1417.5 -> 1418 twips -> 94 whole pixels.
    ScaleControl(1.5f, control, false, true, false, 0);
    EXPECT_EQ(control.width(), 94);
    EXPECT_EQ(control.height(), 18);
    ScaleControl(1.0f, control, false, false, true, 0);
    EXPECT_EQ(control.width(), 94);

    PlaceNextTo(control, reference, kPlaceBelow, 90, kAlignCopy, 0);
    EXPECT_EQ(control.pos(), QPoint(80, 66));
    PlaceNextTo(control, reference, kPlaceRight, kDefaultGap, kAlignValue, 150);
    EXPECT_EQ(control.pos(), QPoint(80 + 115 + 2, 10));
    PlaceNextTo(control, reference, kPlaceCentredVertically, 0, 0, 0);
    EXPECT_EQ(control.pos(), QPoint(197, 40 + 10 - 9));
    PlaceNextTo(control, reference, kPlaceRightAligned, 30, kAlignCopy, 0);
    EXPECT_EQ(control.pos(), QPoint(80 + 115 - 94 + 2, 40 + 20 + 2));

    std::vector<QWidget*> array{&reference};
    ReleaseFonts();
    QWidget* copy = LoadControlCopy(array, 1, kPlaceBelow, 0, true, true, [](QWidget* p) { return new QWidget(p); });
    ASSERT_NE(copy, nullptr);
    ASSERT_EQ(array.size(), 2u);
    EXPECT_EQ(copy->parentWidget(), &parent);
    EXPECT_EQ(copy->geometry(), QRect(80, 60, 115, 20));
    EXPECT_EQ(copy->font(), reference.font());
    EXPECT_EQ(FontCount(), 1);
    EXPECT_EQ(LoadControlCopy(array, 3, 0, 0, false, true, [](QWidget* p) { return new QWidget(p); }), nullptr);
    ReleaseFonts();

    QComboBox combo;
    combo.addItems({"ファイル先頭", "BC$START", "BC$STANDBY", "BC$START"});
    combo.setCurrentIndex(0);
    SelectComboText(combo, "BC$START");
    EXPECT_EQ(combo.currentIndex(), 3) << "the last equal entry";
    SelectComboText(combo, "BC$END");
    EXPECT_EQ(combo.currentIndex(), 3);
    SelectComboText(combo, "bc$standby");
    EXPECT_EQ(combo.currentIndex(), 3) << "case counts";
}

}  // namespace
}  // namespace sonivate
