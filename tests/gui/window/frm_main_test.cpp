// The main window driven as an operator drives it: files from the command
// line and from drops, 開始 and 中止 pressed, the window closed during a
// run, and what it stores at shutdown. Offscreen; the application folder,
// the per-user store and the message boxes are scratch ones.
#include <sys/file.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <clocale>
#include <cmath>
#include <csignal>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <QApplication>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QTranslator>
#include <QUrl>
#include <gtest/gtest.h>

#include "app/file_list.h"
#include "common/formatting.h"
#include "common/settings_store.h"
#include "controls/widgets/uc_bar.h"
#include "controls/widgets/uc_buttons.h"
#include "controls/widgets/uc_check.h"
#include "controls/widgets/uc_list_view.h"
#include "controls/widgets/uc_path_text.h"
#include "controls/widgets/uc_text_picture.h"
#include "app/row_reason.h"
#include "controls/widgets/list_icons.h"
#include "gui/details/frm_details.h"
#include "gui/frm_main.h"
#include "gui/second_start.h"
#include "gui/report_saver.h"
#include "gui/unix_signals.h"
#include "gui/window_language.h"
#include "gui/window_rows.h"
#include "platform/process_info.h"
#include "uikit/dialogs.h"
#include "uikit/message_box.h"
#include "uikit/ui_metrics.h"
#include "support/scratch.h"
#include "support/wavgen.h"

namespace sonivate {
namespace {

namespace fs = std::filesystem;
using test::ScratchDir;

std::string ScreenshotDir() {
    const char* dir = std::getenv("SONIVATE_SCREENSHOT_DIR");
    return dir != nullptr ? dir : SONIVATE_SCREENSHOT_DEFAULT;
}

// The window as shown, with the tooltip on top where the screen has it.
QImage ShotWithToolTip(QWidget& pWindow) {
    QImage shot = pWindow.grab().toImage();
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (!top->inherits("QTipLabel") || !top->isVisible()) continue;
        QPainter painter(&shot);
        painter.drawImage(pWindow.mapFromGlobal(top->pos()), top->grab().toImage());
    }
    return shot;
}

// A decimal-comma locale for the time of a test; the test skips when the
// system has not generated it (localedef -i de_DE -f UTF-8 de_DE.UTF-8).
class CommaLocale {
public:
    CommaLocale() : c_Before(std::setlocale(LC_ALL, nullptr)) {
        c_Active = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    }
    ~CommaLocale() { std::setlocale(LC_ALL, c_Before.c_str()); }
    bool Active() const { return c_Active; }

private:
    std::string c_Before;
    bool c_Active = false;
};

constexpr std::int32_t kRate = 48000;
// Long enough that a stop pressed when its measurement starts is seen at one
// of its later progress events.
constexpr double kLongSeconds = 180.0;
constexpr int kRunTimeoutMs = 120000;

// Message boxes are recorded, never shown.
class RecordingBoxes final : public MessageBoxRunner {
public:
    std::vector<std::string> Texts;
    std::vector<QPoint> Centres;
    // The button every box is answered with.
    std::int32_t Answer = kIdOk;
    std::int32_t Run(QMessageBox& pBox) override {
        Texts.push_back(pBox.text().toStdString());
        Centres.push_back(pBox.frameGeometry().center());
        return Answer;
    }
};

bool StartsWith(const std::string& pText, const std::string& pHead) {
    return pText.compare(0, pHead.size(), pHead) == 0;
}
bool Contains(const std::string& pText, const std::string& pPart) { return pText.find(pPart) != std::string::npos; }

// Spins the event loop until pDone or the timeout; true when pDone.
bool WaitFor(const std::function<bool()>& pDone, int pTimeoutMs = kRunTimeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(pTimeoutMs);
    while (!pDone()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::string WriteTone(const std::string& pPath, double pSeconds, double pDbfs, std::int16_t pChannels = 2,
                      std::int16_t pBits = 16) {
    test::WavSpec layout;
    layout.channels = pChannels;
    layout.bitsPerSample = pBits;
    const auto frames = static_cast<std::int64_t>(pSeconds * kRate);
    return test::WriteWav(pPath, layout, test::Sine(frames, pChannels, 997.0, pDbfs, pBits));
}

// Quiet noise with near-full-scale clicks: the gain to -24 LKFS would clip.
std::string WriteHotPeaks(const std::string& pPath) {
    test::Samples samples = test::Noise(3 * kRate, 2, 16, 7, 0.01);
    for (std::size_t n = 0; n < samples.size(); n += 2 * kRate) samples[n] = 32000;
    return test::WriteWav(pPath, test::WavSpec{}, samples);
}

class FrmMainTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(AppDir());
        fs::create_directories(ConfigDir());
        SetUserConfigBase(ConfigDir());
        SetMessageBoxRunner(&boxes);
    }
    void TearDown() override {
        window.reset();
        SetMessageBoxRunner(nullptr);
        SetUserConfigBase("");
        SetSettingsFolder("");
        SetIniFilePath("");
    }

    std::string AppDir() const { return scratch.file("app"); }
    std::string ConfigDir() const { return scratch.file("config"); }
    std::string IniPath() const { return AppDir() + "/sonivate.ini"; }
    std::string File(const std::string& pName) const { return scratch.file(pName); }

    FrmMain& Open(std::vector<std::string> pArguments = {}, bool pLoad = true) {
        FrmMainStartup startup;
        startup.AppFolder = AppDir();
        startup.Arguments = std::move(pArguments);
        startup.ChangeCurrentFolder = false;
        startup.Clock = [this] { return clockSeconds; };
        startup.ScreenArea = screenArea;
        window = std::make_unique<FrmMain>(startup);
        QObject::connect(window.get(), &FrmMain::StatusShown,
                         [this](const QString& pText) { statuses.push_back(pText.toStdString()); });
        if (pLoad) window->Load();
        return *window;
    }
    // Closes the window as the title bar's button does and waits until it has gone.
    void CloseAndWait() {
        window->close();
        ASSERT_TRUE(WaitFor([&] { return !window->isVisible(); }));
        window.reset();
    }

    void Press(std::int16_t pButton) {
        UC_Buttons& strip = *window->CtrButtons();
        const QPoint at(strip.ButtonLeft(pButton) + strip.ButtonWidth() / 2, strip.height() / 2);
        QTest::mouseClick(&strip, Qt::LeftButton, Qt::NoModifier, at);
    }
    void PressStartAndWait() {
        Press(FrmMain::kButtonStart);
        ASSERT_TRUE(WaitFor([&] { return !window->Running(); }));
    }
    void ClickCheck(UC_Check& pCheck) { QTest::mouseClick(&pCheck, Qt::LeftButton, Qt::NoModifier, QPoint(4, 4)); }
    void SetOutput(const std::string& pFolder, bool pNoClip) {
        if (window->CheckWavOutput()->Value() != 1) ClickCheck(*window->CheckWavOutput());
        window->TextSoundPath()->SetText(pFolder);
        window->CheckNoClip()->SetValue(pNoClip ? 1 : 0);
    }

    std::string Cell(std::int32_t pRow, std::int32_t pColumn) const {
        return window->LV()->Value(pRow, pColumn).AsText();
    }
    std::vector<std::string> Titles() const {
        std::vector<std::string> titles;
        for (std::int32_t i = 0; i < window->LV()->ItemCount(); ++i) titles.push_back(Cell(i, kColumnTitle));
        return titles;
    }
    // A drop of local files on the item area at row pRow, as a file manager makes it.
    void DropOnRow(const std::vector<std::string>& pFiles, std::int32_t pRow) {
        QList<QUrl> urls;
        for (const std::string& file : pFiles) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(file)));
        QMimeData mime;
        mime.setUrls(urls);
        UC_ListView& list = *window->LV();
        const int rowPixels = list.OneHeight() / TwipsPerPixel();
        const QPoint at(20, pRow * rowPixels + rowPixels / 2);
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list.ItemAreaWidget(), &enter);
        QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list.ItemAreaWidget(), &drop);
        QApplication::processEvents();
    }
    std::string Stored(const std::string& pKey) const { return ReadIniValue(pKey, "<missing>", IniPath()); }

    ScratchDir scratch;
    RecordingBoxes boxes;
    std::unique_ptr<FrmMain> window;
    std::vector<std::string> statuses;
    // The window's clock (seconds) and the room its screen offers.
    double clockSeconds = 0.0;
    QSize screenArea{4000, 3000};
};

// ---- Start-up and shutdown ----------------------------------------------------------

TEST_F(FrmMainTest, FirstStartShowsTheDefaultsAndTheDesignedInnerArea) {
    FrmMain& w = Open();
    EXPECT_EQ(w.windowTitle(), "sonivate");
    EXPECT_FLOAT_EQ(w.SizeRate(), 1.0f);
    // 9675 x 7740 twips on a 96-dpi screen.
    EXPECT_EQ(w.size(), QSize(645, 516));
    EXPECT_EQ(w.LV()->geometry(), QRect(8, 12, 627, 280));
    EXPECT_EQ(w.CtrButtons()->geometry(), QRect(476, 481, 158, 25));
    EXPECT_EQ(w.ComboFromTo(0)->currentText().toStdString(), "ファイル先頭");
    EXPECT_EQ(w.ComboFromTo(1)->currentText().toStdString(), "ファイル終端");
    EXPECT_EQ(w.TextTargetLKFS()->text().toStdString(), "-24.0");
    EXPECT_EQ(w.CheckWavOutput()->Value(), 0);
    EXPECT_EQ(w.CheckNoClip()->Value(), 1);
    EXPECT_EQ(w.TextSoundPath()->Text(), "");
    EXPECT_FALSE(w.TextSoundPath()->Enabled());
    EXPECT_FALSE(w.CheckNoClip()->Enabled());
    EXPECT_TRUE(w.Loaded());
    // Stacked top to bottom as laid out, none overlapping the next.
    const QWidget* column[] = {w.LV(),
                               w.PictureInfo(),
                               w.ProgBar(),
                               w.ComboFromTo(0),
                               w.TextTargetLKFS(),
                               w.CheckWavOutput(),
                               w.TextSoundPath(),
                               w.CheckNoClip()};
    for (std::size_t k = 1; k < std::size(column); ++k) {
        EXPECT_GT(column[k]->y(), column[k - 1]->geometry().bottom()) << k;
    }
    EXPECT_LE(w.CheckNoClip()->geometry().bottom(), w.height());
    // The two range lists share a row; the frame and labels are on the surface, not under a control.
    EXPECT_EQ(w.ComboFromTo(1)->y(), w.ComboFromTo(0)->y());
    EXPECT_GT(w.ComboFromTo(1)->x(), w.ComboFromTo(0)->geometry().right());
}

TEST_F(FrmMainTest, OutputSwitchEnablesItsTwoOptionsAndShutdownStoresTheChoicesInTheIni) {
    WriteIniValue("TargetLKFS", "-23.0", IniPath());
    FrmMain& w = Open();
    // Missing keys are added with their defaults on the first start.
    EXPECT_EQ(Stored("MesureFrom"), "ファイル先頭");
    EXPECT_EQ(Stored("NoClip"), "1");
    EXPECT_EQ(w.TextTargetLKFS()->text().toStdString(), "-23.0");

    ClickCheck(*w.CheckWavOutput());
    EXPECT_EQ(w.CheckWavOutput()->Value(), 1);
    EXPECT_TRUE(w.TextSoundPath()->Enabled());
    EXPECT_TRUE(w.CheckNoClip()->Enabled());
    ClickCheck(*w.CheckNoClip());
    w.ComboFromTo(0)->setCurrentIndex(kRangeBcStart);
    w.ComboFromTo(1)->setCurrentIndex(kRangeBcEnd);
    w.TextSoundPath()->SetText("/srv/出力");
    w.TextTargetLKFS()->setText("-24.5");
    CloseAndWait();
    EXPECT_EQ(Stored("MesureFrom"), "BC$START");
    EXPECT_EQ(Stored("MesureTo"), "BC$END");
    EXPECT_EQ(Stored("TargetLKFS"), "-24.5");
    EXPECT_EQ(Stored("WavOutput"), "1");
    EXPECT_EQ(Stored("NoClip"), "0");
    EXPECT_EQ(Stored("SoundPath"), "/srv/出力");
    EXPECT_NE(Stored("WindowLeft"), "<missing>");

    // The next start comes back to them; a target that is no number is not stored.
    FrmMain& again = Open();
    EXPECT_EQ(again.ComboFromTo(0)->currentText().toStdString(), "BC$START");
    EXPECT_EQ(again.CheckWavOutput()->Value(), 1);
    EXPECT_TRUE(again.TextSoundPath()->Enabled());
    ClickCheck(*again.CheckWavOutput());
    EXPECT_FALSE(again.TextSoundPath()->Enabled());
    EXPECT_FALSE(again.CheckNoClip()->Enabled());
    again.TextTargetLKFS()->setText("loud");
    CloseAndWait();
    EXPECT_EQ(Stored("TargetLKFS"), "-24.5");
    EXPECT_EQ(Stored("WavOutput"), "0");
}

TEST_F(FrmMainTest, WithoutAnIniTheSettingsLiveInThePerUserStore) {
    FrmMain& w = Open();
    w.TextTargetLKFS()->setText("-22.0");
    w.ComboFromTo(1)->setCurrentIndex(kRangeBcStop);
    CloseAndWait();
    EXPECT_FALSE(fs::exists(IniPath()));
    EXPECT_EQ(ReadRegValue("TargetLKFS", "<missing>"), "-22.0");
    EXPECT_EQ(ReadRegValue("MesureTo", "<missing>"), "BC$STOP");
}

TEST_F(FrmMainTest, SizeRateComesFromTheOptionOrTheStoreWithinItsLimits) {
    struct Case {
        std::vector<std::string> arguments;
        const char* stored;
        float expected;
    };
    const Case cases[] = {
        {{"SizeRate=0.5"}, nullptr, 0.7f},                // below the limit
        {{"/SizeRate=1.5"}, nullptr, 1.5f},               // with a leading "/"
        {{"SizeRate=0"}, "1.2", 1.2f},                    // 0 means: the stored one
        {{"SizeRate=abc"}, "1.2", 1.2f},                  // no number: the stored one
        {{}, "4", 3.0f},                                  // above the limit
        {{}, "big", 0.7f},                                // a stored text that is no number
        {{"SizeRate=1.5", "SizeRate=2"}, nullptr, 1.5f},  // the first occurrence counts
    };
    for (const Case& c : cases) {
        fs::remove(IniPath());
        WriteIniValue("SizeRate", c.stored != nullptr ? c.stored : "1", IniPath());
        FrmMain& w = Open(c.arguments, false);
        EXPECT_FLOAT_EQ(w.SizeRate(), c.expected) << (c.arguments.empty() ? "" : c.arguments[0]);
        window.reset();
    }
    WriteIniValue("SizeRate", "1.5", IniPath());
    FrmMain& w = Open({}, false);
    EXPECT_EQ(w.size(), QSize(967, 774));
    EXPECT_EQ(w.LV()->geometry(), QRect(12, 18, 940, 420));

    // On a screen too small for it the layout scale comes down until the
    // window and its frame fit, never below the limit.
    screenArea = QSize(1024, 600);
    FrmMain& small = Open({"SizeRate=1.5"}, false);
    EXPECT_LT(small.SizeRate(), 1.5f);
    EXPECT_LE(small.height() + 48, 600);
    EXPECT_GT(small.height() + 48, 600 - 40);  // no smaller than it needs to be
    screenArea = QSize(300, 200);
    EXPECT_FLOAT_EQ(Open({"SizeRate=2"}, false).SizeRate(), 0.7f);
}

TEST_F(FrmMainTest, AltFontOptionChoosesTheFaceOrKeepsTheAutomaticChoice) {
    EXPECT_EQ(Open({"AltFont=1"}, false).AltFontMode(), 1);
    EXPECT_EQ(Open({"/AltFont=x"}, false).AltFontMode(), 0);
}

TEST_F(FrmMainTest, CommandLineFolderIsSortedThenAFileIsAppended) {
    const std::string folder = File("folder");
    fs::create_directories(folder);
    WriteTone(folder + "/b.wav", 1.5, -20);
    WriteTone(folder + "/a.WAV", 1.5, -20);
    WriteTone(folder + "/c.wav", 1.5, -20);
    WriteTone(folder + "/not-audio.txt", 1.5, -20);
    const std::string single = WriteTone(File("0-first.wav"), 1.5, -20);
    Open({"SizeRate=1", folder, single, File("missing.wav"), "relative-missing.wav"});
    EXPECT_EQ(Titles(), (std::vector<std::string>{"a", "b", "c", "0-first"}));
    EXPECT_EQ(window->LV()->AuxID(3, kAuxPath).AsText(), single);
    EXPECT_TRUE(boxes.Texts.empty());
}

// ---- Drops, drags and removal ------------------------------------------------------------

TEST_F(FrmMainTest, DropOnRowTwoInsertsInDropOrderAndARejectedFileKeepsItsPlace) {
    std::vector<std::string> five;
    for (int i = 0; i < 5; ++i) five.push_back(WriteTone(File("row" + std::to_string(i) + ".wav"), 1.0, -20));
    FrmMain& w = Open(five);
    ASSERT_EQ(w.LV()->ItemCount(), 5);
    test::WavSpec slow;
    slow.sampleRate = 44100;
    const std::string rejected = test::WriteWav(File("cd.wav"), slow, test::Sine(44100 * 2, 2, 440, -20, 16));
    const std::string x = WriteTone(File("x.wav"), 1.0, -20);
    const std::string y = WriteTone(File("y.wav"), 1.0, -20);
    DropOnRow({rejected, x, y}, 2);
    ASSERT_TRUE(WaitFor([&] { return w.LV()->ItemCount() == 7; }, 5000));
    EXPECT_EQ(Titles(), (std::vector<std::string>{"row0", "row1", "row2", "x", "y", "row3", "row4"}));
    ASSERT_EQ(boxes.Texts.size(), 1u);
    EXPECT_EQ(boxes.Texts[0], std::string(kMessageUnsupported) + "\r\n" + rejected);
    // Centred on the window.
    EXPECT_LE((boxes.Centres[0] - w.frameGeometry().center()).manhattanLength(), 2);

    // Below the last row appends; a folder dropped is refused as no WAV file.
    DropOnRow({File("row0.wav"), scratch.path()}, 40);
    ASSERT_TRUE(WaitFor([&] { return boxes.Texts.size() == 2; }, 5000));
    EXPECT_EQ(Titles().back(), "row0");
    EXPECT_TRUE(StartsWith(boxes.Texts[1], std::string(kMessageNotWav) + "\r\n")) << boxes.Texts[1];

    // A double-click removes the selected rows.
    w.LV()->UnSelectAll();
    w.LV()->SetIsSelected(3, 1);
    w.LV()->SetIsSelected(4, 1);
    emit w.LV()->DblClicked();
    EXPECT_EQ(Titles(), (std::vector<std::string>{"row0", "row1", "row2", "row3", "row4", "row0"}));
}

TEST_F(FrmMainTest, DragOfSelectedRowsCarriesTheirPathsAndTakesThemOut) {
    std::vector<std::string> files;
    for (int i = 0; i < 3; ++i) files.push_back(WriteTone(File("d" + std::to_string(i) + ".wav"), 1.0, -20));
    FrmMain& w = Open(files);
    w.LV()->UnSelectAll();
    w.LV()->SetIsSelected(0, 1);
    w.LV()->SetIsSelected(2, 1);
    DragData data;
    std::int32_t allowed = kDropEffectNone;
    emit w.LV()->OLEStartDrag(data, allowed);
    EXPECT_EQ(allowed, kDropEffectCopy);
    EXPECT_EQ(data.Format, DragData::kFormatFileList);
    EXPECT_EQ(data.Files, (std::vector<std::string>{files[0], files[2]}));
    EXPECT_EQ(Titles(), (std::vector<std::string>{"d1"}));
}

// ---- The run -----------------------------------------------------------------------------------

TEST_F(FrmMainTest, StartMeasuresEveryRowMarksTheClippingOneAndWritesTheOthers) {
    const std::string loud = WriteTone(File("loud.wav"), 2.0, -10);
    const std::string hot = WriteHotPeaks(File("hot.wav"));
    const std::string quiet = WriteTone(File("quiet.wav"), 2.0, -30, 1, 24);
    const std::string out = File("out");
    fs::create_directories(out);
    FrmMain& w = Open({loud, hot, quiet});
    SetOutput(out, true);
    PressStartAndWait();

    EXPECT_EQ(Cell(0, kColumnLKFS), "-10.00");
    EXPECT_EQ(Cell(0, kColumnPeak), "-10.00");
    EXPECT_EQ(Cell(0, kColumnGain), "-14.000");
    EXPECT_EQ(w.LV()->DispColor(0), kColorWindowText);
    EXPECT_EQ(w.LV()->DispColor(1), kClipColor);
    EXPECT_NE(w.LV()->DispColor(2), kClipColor);
    EXPECT_EQ(Cell(2, kColumnLKFS), "-30.00");
    // The clipping row is not written; the others are, under their titles.
    EXPECT_TRUE(fs::exists(out + "/loud.wav"));
    EXPECT_FALSE(fs::exists(out + "/hot.wav"));
    EXPECT_TRUE(fs::exists(out + "/quiet.wav"));
    EXPECT_EQ(fs::file_size(out + "/quiet.wav"), fs::file_size(quiet));

    // The clock stands still: each file takes no time, none is left.
    const std::vector<std::string> expected = {"[1/3] loud 計測処理…",
                                               "[1/3] loud 書き出し処理 1/5…",
                                               "[1/3] loud 書き出し処理 3/5…",
                                               "[2/3] hot 計測処理… 残り約0:00",
                                               "[3/3] quiet 計測処理… 残り約0:00",
                                               "[3/3] quiet 書き出し処理 1/5… 残り約0:00",
                                               "[3/3] quiet 書き出し処理 3/5… 残り約0:00",
                                               "終了 書き出し 2件・スキップ 1件・失敗 0件"};
    EXPECT_EQ(statuses, expected);
    EXPECT_EQ(w.Outcome(0), RowOutcome::Written);
    EXPECT_EQ(w.Outcome(1), RowOutcome::Skipped);
    EXPECT_EQ(w.LV()->IconType(1), kListIconSkipped);
    EXPECT_TRUE(Contains(w.RowToolTip(1, kColumnGain), ReasonText(RowReason::WouldClip, MessageLanguage::Japanese)));
    // Everything back as it was before the run.
    EXPECT_EQ(w.StatusText(), expected.back());
    EXPECT_EQ(w.PictureInfo()->CurrentColorSet(), 0);
    EXPECT_EQ(w.ProgBar()->Value(), 0);
    EXPECT_EQ(w.LV()->ClickDisabled(), 0);
    EXPECT_EQ(w.LV()->SelectedItem(), 2);
    EXPECT_EQ(w.cursor().shape(), Qt::ArrowCursor);
}

TEST_F(FrmMainTest, StopInTheThirdOfFiveFilesLeavesTheRestUntouched) {
    std::vector<std::string> files;
    for (int i = 0; i < 5; ++i) {
        files.push_back(WriteTone(File("s" + std::to_string(i) + ".wav"), i == 2 ? kLongSeconds : 1.0, -20, 1));
    }
    FrmMain& w = Open(files);
    bool pressed = false;
    bool sawRunningColours = false;
    QObject::connect(&w, &FrmMain::StatusShown, [&](const QString& pText) {
        sawRunningColours = sawRunningColours || w.PictureInfo()->CurrentColorSet() == 1;
        if (!pressed && pText.toStdString() == "[3/5] s2 計測処理… 残り約0:00") {
            pressed = true;
            Press(FrmMain::kButtonStop);
        }
    });
    PressStartAndWait();
    EXPECT_TRUE(pressed);
    EXPECT_TRUE(sawRunningColours);
    EXPECT_FALSE(Cell(1, kColumnLKFS).empty());
    for (std::int32_t row = 2; row < 5; ++row) EXPECT_EQ(Cell(row, kColumnLKFS), "") << row;
    EXPECT_EQ(statuses.back(), "終了 書き出し 0件・計測のみ 2件・スキップ 0件・失敗 0件（中止）");
    // The stopped row and the rows never reached say so.
    EXPECT_EQ(w.Outcome(1), RowOutcome::MeasuredOnly);
    EXPECT_EQ(w.Outcome(2), RowOutcome::Stopped);
    EXPECT_EQ(w.LV()->IconType(2), kListIconStopped);
    EXPECT_EQ(w.Outcome(4), RowOutcome::NotReached);
    EXPECT_EQ(w.RowToolTip(4, kColumnLKFS), "この実行では計測していません");
    EXPECT_EQ(w.LV()->ClickDisabled(), 0);
    EXPECT_TRUE(w.Controller().StopRequested());
}

TEST_F(FrmMainTest, ASecondStartDuringARunAndDropsDuringARunAreIgnored) {
    const std::string longFile = WriteTone(File("long.wav"), kLongSeconds, -20, 1);
    const std::string other = WriteTone(File("other.wav"), 1.0, -20);
    FrmMain& w = Open({longFile});
    Press(FrmMain::kButtonStart);
    ASSERT_TRUE(w.Running());
    EXPECT_EQ(w.LV()->ClickDisabled(), 1);
    EXPECT_EQ(w.cursor().shape(), Qt::WaitCursor);
    Press(FrmMain::kButtonStart);
    DropOnRow({other}, 0);
    QApplication::processEvents();
    EXPECT_EQ(w.LV()->ItemCount(), 1);
    Press(FrmMain::kButtonStop);
    ASSERT_TRUE(WaitFor([&] { return !w.Running(); }));
    // One run: one measuring status and one end.
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), "[1/1] long 計測処理…"), 1);
    EXPECT_EQ(
        std::count_if(statuses.begin(), statuses.end(), [](const std::string& p) { return StartsWith(p, "終了"); }), 1);
}

TEST_F(FrmMainTest, ClosingDuringARunStopsItRemovesThePartialCopyThenCloses) {
    const std::string longFile = WriteTone(File("long.wav"), kLongSeconds, -20, 2, 24);
    const std::string out = File("out");
    fs::create_directories(out);
    FrmMain& w = Open({longFile});
    SetOutput(out, false);
    bool unloaded = false;
    QObject::connect(&w, &FrmMain::Unloaded, [&] { unloaded = true; });
    // Close once the copy is being written.
    QObject::connect(&w, &FrmMain::StatusShown, [&](const QString& pText) {
        if (pText.contains(QStringLiteral("3/5"))) w.close();
    });
    Press(FrmMain::kButtonStart);
    ASSERT_TRUE(WaitFor([&] { return unloaded; }));
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(w.Running());
    EXPECT_TRUE(fs::is_empty(out));
    EXPECT_EQ(Stored("WavOutput"), "<missing>");  // no ini: the per-user store
    EXPECT_EQ(ReadRegValue("WavOutput", "<missing>"), "1");
}

TEST_F(FrmMainTest, TheCurrentRowIsScrolledIntoView) {
    std::vector<std::string> files;
    for (int i = 0; i < 16; ++i) files.push_back(WriteTone(File("v" + std::to_string(i) + ".wav"), 1.0, -20, 1));
    FrmMain& w = Open(files);
    ASSERT_LT(w.LV()->VisibleRows(), 16);
    EXPECT_EQ(w.LV()->TopItem(), 0);
    PressStartAndWait();
    EXPECT_EQ(w.LV()->SelectedItem(), 15);
    EXPECT_GT(w.LV()->TopItem(), 0);
    EXPECT_GE(w.LV()->TopItem() + w.LV()->VisibleRows(), 16);
    EXPECT_FALSE(Cell(15, kColumnLKFS).empty());
}

// A target that is no number is told, not silently measured as nothing;
// full-width digits and signs say what they say.
TEST_F(FrmMainTest, TargetThatIsNoNumberIsToldAndFullWidthDigitsAreTaken) {
    const std::string file = WriteTone(File("t.wav"), 1.0, -20);
    FrmMain& w = Open({file});
    for (const char* typed : {"", "abc", "-20,5", "－２０，５"}) {
        boxes.Texts.clear();
        w.TextTargetLKFS()->setText(QString::fromUtf8(typed));
        Press(FrmMain::kButtonStart);
        EXPECT_FALSE(w.Running()) << typed;
        ASSERT_EQ(boxes.Texts.size(), 1u) << typed;
        EXPECT_TRUE(StartsWith(boxes.Texts[0], "ターゲット値が数値ではありません")) << typed;
    }
    // A number no programme can be brought to measures nothing either.
    for (const char* typed : {"-230", "3"}) {
        boxes.Texts.clear();
        w.TextTargetLKFS()->setText(QString::fromUtf8(typed));
        Press(FrmMain::kButtonStart);
        EXPECT_FALSE(w.Running()) << typed;
        ASSERT_EQ(boxes.Texts.size(), 1u) << typed;
        EXPECT_TRUE(StartsWith(boxes.Texts[0], "ターゲット値は -60 から 0 LKFS")) << typed;
    }
    EXPECT_EQ(Cell(0, kColumnLKFS), "");
    EXPECT_TRUE(statuses.empty());

    boxes.Texts.clear();
    w.TextTargetLKFS()->setText(QStringLiteral("－２１"));
    PressStartAndWait();
    EXPECT_TRUE(boxes.Texts.empty());
    EXPECT_EQ(w.TextTargetLKFS()->text().toStdString(), "-21");
    EXPECT_EQ(Cell(0, kColumnGain), "-1.000");
}

// ---- What the operator is told -------------------------------------------------------------

// Under a decimal-comma locale the figures keep their points and the copy
// gets the gain shown (it was written at 0 dB while the run said success).
TEST_F(FrmMainTest, DecimalCommaLocaleKeepsPointsAndTheCopyGetsTheShownGain) {
    CommaLocale comma;
    if (!comma.Active()) GTEST_SKIP() << "de_DE.UTF-8 not generated (localedef -i de_DE -f UTF-8 de_DE.UTF-8)";
    const std::string loud = WriteTone(File("loud.wav"), 2.0, -10);
    const std::string out = File("out");
    fs::create_directories(out);
    FrmMain& w = Open({loud});
    SetOutput(out, true);
    w.TextTargetLKFS()->setText(QStringLiteral("-24.0"));
    PressStartAndWait();
    EXPECT_EQ(Cell(0, kColumnLKFS), "-10.00");
    EXPECT_EQ(Cell(0, kColumnGain), "-14.000");
    ASSERT_TRUE(fs::exists(out + "/loud.wav"));
    // A copy at 0 dB would be the source byte for byte: measure it again.
    statuses.clear();
    w.TextSoundPath()->SetText("");
    ClickCheck(*w.CheckWavOutput());
    w.LV()->SetAuxID(0, kAuxPath, CellValue(out + "/loud.wav"));
    PressStartAndWait();
    EXPECT_EQ(Cell(0, kColumnLKFS), "-24.00");
    w.LV()->ReDraw();
    EXPECT_TRUE(w.grab().toImage().save(QString::fromStdString(ScreenshotDir() + "/window-comma-locale.png")));
}

TEST_F(FrmMainTest, AMissingOutputFolderIsToldAndMadeOnlyWhenTheOperatorSaysSo) {
    const std::string file = WriteTone(File("f.wav"), 1.0, -20);
    const std::string missing = File("not/yet");
    FrmMain& w = Open({file});
    SetOutput(missing, true);
    boxes.Answer = kIdNo;
    Press(FrmMain::kButtonStart);
    EXPECT_FALSE(w.Running());
    ASSERT_EQ(boxes.Texts.size(), 1u);
    EXPECT_EQ(boxes.Texts[0], "出力先のフォルダがありません。作成しますか？\r\n" + missing);
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_TRUE(statuses.empty());

    boxes.Answer = kIdYes;
    PressStartAndWait();
    EXPECT_TRUE(fs::exists(missing + "/f.wav"));
    EXPECT_EQ(w.Outcome(0), RowOutcome::Written);

    // An empty box keeps the copies beside their sources, without a question.
    boxes.Texts.clear();
    w.TextSoundPath()->SetText("");
    PressStartAndWait();
    EXPECT_TRUE(boxes.Texts.empty());
    EXPECT_EQ(w.Outcome(0), RowOutcome::Written);
}

TEST_F(FrmMainTest, OptionsAreLockedDuringARunAndRestoredAfter) {
    const std::string longFile = WriteTone(File("long.wav"), kLongSeconds, -20, 1);
    FrmMain& w = Open({longFile});
    SetOutput("", false);
    QWidget* const options[] = {w.ComboFromTo(0),   w.ComboFromTo(1),  w.TextTargetLKFS(),
                                w.CheckWavOutput(), w.TextSoundPath(), w.CheckNoClip()};
    Press(FrmMain::kButtonStart);
    ASSERT_TRUE(w.Running());
    for (QWidget* option : options) EXPECT_FALSE(option->isEnabled()) << option->metaObject()->className();
    EXPECT_EQ(w.TextSoundPath()->ButtonDisabled(), 1);
    Press(FrmMain::kButtonStop);
    ASSERT_TRUE(WaitFor([&] { return !w.Running(); }));
    for (QWidget* option : options) EXPECT_TRUE(option->isEnabled()) << option->metaObject()->className();
    EXPECT_EQ(w.TextSoundPath()->ButtonDisabled(), 0);
    EXPECT_TRUE(w.TextSoundPath()->Enabled());
    // With output off the two output options stay off after the run.
    ClickCheck(*w.CheckWavOutput());
    Press(FrmMain::kButtonStart);
    Press(FrmMain::kButtonStop);
    ASSERT_TRUE(WaitFor([&] { return !w.Running(); }));
    EXPECT_FALSE(w.CheckNoClip()->isEnabled());
    EXPECT_FALSE(w.TextSoundPath()->Enabled());
    EXPECT_TRUE(w.CheckWavOutput()->isEnabled());
}

// Written, left alone for clipping, gone, in use by another program and a
// chosen marker that is missing: each row says so with its icon and tooltip.
TEST_F(FrmMainTest, EveryRowSaysItsOutcomeAndTheEndCountsThem) {
    const std::string loud = WriteTone(File("CM_春の新製品_15s.wav"), 2.0, -10);
    const std::string hot = WriteHotPeaks(File("CM_hot_peaks.wav"));
    const std::string gone = WriteTone(File("gone.wav"), 1.0, -20);
    const std::string busy = WriteTone(File("busy_in_cli.wav"), 1.0, -20);
    const std::string out = File("out");
    fs::create_directories(out);
    FrmMain& w = Open();
    w.ComboFromTo(0)->setCurrentIndex(kRangeBcStart);
    DropOnRow({loud, hot, gone, busy}, 0);
    ASSERT_TRUE(WaitFor([&] { return w.LV()->ItemCount() == 4; }, 5000));
    EXPECT_EQ(w.LV()->IconType(0), kListIconMarkerMissing);
    EXPECT_TRUE(Contains(w.RowToolTip(0, kColumnLKFS), "BC$STARTのマーカーがないため"));
    fs::remove(gone);
    // Another run (the command line) holds the file.
    const int held = ::open(busy.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    SetOutput(out, true);
    PressStartAndWait();
    ::close(held);

    EXPECT_EQ(w.Outcome(0), RowOutcome::Written);
    EXPECT_EQ(w.LV()->IconType(0), kListIconDone);
    EXPECT_EQ(w.Outcome(1), RowOutcome::Skipped);
    EXPECT_EQ(w.Outcome(2), RowOutcome::Failed);
    EXPECT_EQ(w.LV()->IconType(2), kListIconFailed);
    EXPECT_EQ(w.RowToolTip(2, kColumnLKFS),
              "ファイルが見つかりません\nBC$STARTのマーカーがないため、ファイル先頭から計測します");
    EXPECT_EQ(w.Outcome(3), RowOutcome::Skipped);
    EXPECT_TRUE(StartsWith(w.RowToolTip(3, kColumnGain), ReasonText(RowReason::Locked, MessageLanguage::Japanese)));
    // The title's tooltip adds the whole name and the path.
    EXPECT_TRUE(Contains(w.RowToolTip(0, kColumnTitle), "CM_春の新製品_15s.wav\n" + loud));
    EXPECT_EQ(w.StatusText(), "終了 書き出し 1件・スキップ 2件・失敗 1件");

    // The tooltip as the pointer brings it, for a look.
    UC_ListView& list = *w.LV();
    const int rowPixels = list.OneHeight() / TwipsPerPixel();
    const QPoint at(list.Model().TabLeft(kColumnPeak) / TwipsPerPixel() + 10, 1 * rowPixels + rowPixels / 2);
    QTest::mouseMove(list.ItemAreaWidget(), at);
    EXPECT_EQ(list.ToolTipText(), w.RowToolTip(1, kColumnPeak));
    QToolTip::showText(list.ItemAreaWidget()->mapToGlobal(at), QString::fromStdString(list.ToolTipText()),
                       list.ItemAreaWidget());
    w.LV()->ReDraw();
    EXPECT_TRUE(ShotWithToolTip(w).save(QString::fromStdString(ScreenshotDir() + "/window-outcomes.png")));
    QToolTip::hideText();
}

TEST_F(FrmMainTest, TheStatusShowsThePositionAndTheTimeLeftByTheClock) {
    std::vector<std::string> files;
    for (int i = 0; i < 3; ++i) files.push_back(WriteTone(File("p" + std::to_string(i) + ".wav"), 1.0, -20, 1));
    FrmMain& w = Open(files);
    // Each file takes 30 s on the window's clock, counted from its status.
    QObject::connect(&w, &FrmMain::StatusShown, [&](const QString& pText) {
        if (pText.contains(QStringLiteral("計測処理"))) clockSeconds += 30.0;
    });
    PressStartAndWait();
    const std::vector<std::string> expected = {"[1/3] p0 計測処理…", "[2/3] p1 計測処理… 残り約1:00",
                                               "[3/3] p2 計測処理… 残り約0:30"};
    ASSERT_EQ(statuses.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(statuses.begin(), statuses.begin() + 3), expected);
    EXPECT_EQ(statuses.back(), "終了 書き出し 0件・計測のみ 3件・スキップ 0件・失敗 0件");
}

// ---- Keyboard -----------------------------------------------------------------------------------

TEST_F(FrmMainTest, TabWalksTheControlsInLayoutOrderAndKeysWorkTheListAndButtons) {
    std::vector<std::string> files;
    for (int i = 0; i < 5; ++i) files.push_back(WriteTone(File("k" + std::to_string(i) + ".wav"), 1.0, -20, 1));
    FrmMain& w = Open(files);
    SetOutput("", true);
    QApplication::setActiveWindow(&w);
    w.LV()->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(QApplication::focusWidget(), w.LV());
    const QWidget* expected[] = {
        w.ComboFromTo(0),  w.ComboFromTo(1), w.TextTargetLKFS(), w.CheckWavOutput(), w.TextSoundPath()->TextPath(),
        w.TextSoundPath(), w.CheckNoClip(),  w.CtrButtons()};
    for (const QWidget* next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next) << next->metaObject()->className();
    }
    EXPECT_EQ(w.CtrButtons()->FocusButton(), FrmMain::kButtonStop);
    QTest::keyClick(w.CtrButtons(), Qt::Key_Tab);
    EXPECT_EQ(w.CtrButtons()->FocusButton(), FrmMain::kButtonStart);
    QTest::keyClick(w.CtrButtons(), Qt::Key_Backtab);
    EXPECT_EQ(w.CtrButtons()->FocusButton(), FrmMain::kButtonStop);

    // Space on a check box toggles it.
    w.CheckNoClip()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(w.CheckNoClip(), Qt::Key_Space);
    EXPECT_EQ(w.CheckNoClip()->Value(), 0);

    // The list: arrows, Shift, Home/End, Ctrl+A, Delete; the range lists never move.
    UC_ListView& list = *w.LV();
    list.setFocus(Qt::TabFocusReason);
    list.UnSelectAll();
    QTest::keyClick(&list, Qt::Key_Down);
    EXPECT_EQ(list.SelectedItem(), 0);
    QTest::keyClick(&list, Qt::Key_Down);
    QTest::keyClick(&list, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(&list, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(list.SelectedItem(), 3);
    EXPECT_EQ(list.NumSelectedItems(), 3);
    QTest::keyClick(&list, Qt::Key_Home);
    EXPECT_EQ(list.SelectedItem(), 0);
    EXPECT_EQ(list.NumSelectedItems(), 1);
    QTest::keyClick(&list, Qt::Key_End, Qt::ShiftModifier);
    EXPECT_EQ(list.NumSelectedItems(), 5);
    QTest::keyClick(&list, Qt::Key_PageUp);
    EXPECT_EQ(list.SelectedItem(), 0);
    QTest::keyClick(&list, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(list.NumSelectedItems(), 5);
    EXPECT_EQ(w.ComboFromTo(0)->currentIndex(), 0);
    EXPECT_EQ(w.ComboFromTo(1)->currentIndex(), 0);
    QTest::keyClick(&list, Qt::Key_End);
    QTest::keyClick(&list, Qt::Key_Delete);
    EXPECT_EQ(Titles(), (std::vector<std::string>{"k0", "k1", "k2", "k3"}));

    // Enter on 開始 starts; Esc during the run is 中止.
    const std::string longFile = WriteTone(File("long.wav"), kLongSeconds, -20, 1);
    DropOnRow({longFile}, 0);
    ASSERT_TRUE(WaitFor([&] { return list.ItemCount() == 5; }, 5000));
    ClickCheck(*w.CheckWavOutput());
    w.CtrButtons()->setFocus(Qt::BacktabFocusReason);
    ASSERT_EQ(w.CtrButtons()->FocusButton(), FrmMain::kButtonStart);
    QTest::keyClick(w.CtrButtons(), Qt::Key_Return);
    ASSERT_TRUE(w.Running());
    QTest::keyClick(&list, Qt::Key_Escape);
    EXPECT_TRUE(w.Controller().StopRequested());
    ASSERT_TRUE(WaitFor([&] { return !w.Running(); }));
    EXPECT_EQ(w.Outcome(0), RowOutcome::Stopped);
}

// ---- The program around the window ---------------------------------------------------------

TEST_F(FrmMainTest, ASecondStartHandsItsFilesOverOrIsRefusedDuringARun) {
    const std::string folder = File("second");
    fs::create_directories(folder);
    const std::string relative = WriteTone(folder + "/relative.wav", 1.0, -20);
    // A name that is no UTF-8 travels as its bytes.
    const std::string raw = WriteTone(File("raw_\xff\xfe.wav"), 1.0, -20);
    FrmMain& w = Open();
    const std::string socket = File("sonivate.socket");
    ASSERT_TRUE(w.ListenForSecondStarts(socket));
    ASSERT_TRUE(HandOverToFirst(socket, folder, {"SizeRate=2", "relative.wav", raw, "missing.wav"}, 5000));
    ASSERT_TRUE(WaitFor([&] { return w.LV()->ItemCount() == 2; }, 10000));
    EXPECT_EQ(w.LV()->AuxID(0, kAuxPath).AsText(), folder + "/relative.wav");
    EXPECT_EQ(w.LV()->AuxID(1, kAuxPath).AsText(), raw);
    PressStartAndWait();
    EXPECT_EQ(Cell(1, kColumnLKFS), "-20.00");

    // During a run: refused with a message, nothing listed.
    const std::string longFile = WriteTone(File("long.wav"), kLongSeconds, -20, 1);
    w.TakeSecondStart({longFile}, "");
    ASSERT_EQ(w.LV()->ItemCount(), 3);
    w.LV()->DeleteItem(0);
    w.LV()->DeleteItem(0);
    Press(FrmMain::kButtonStart);
    ASSERT_TRUE(w.Running());
    boxes.Texts.clear();
    ASSERT_TRUE(HandOverToFirst(socket, folder, {"relative.wav"}, 5000));
    ASSERT_TRUE(WaitFor([&] { return !boxes.Texts.empty(); }, 10000));
    EXPECT_TRUE(StartsWith(boxes.Texts[0], "処理中のため"));
    EXPECT_EQ(w.LV()->ItemCount(), 1);
    Press(FrmMain::kButtonStop);
    ASSERT_TRUE(WaitFor([&] { return !w.Running(); }));
}

TEST(SecondStart, MessagesCarryBytesAndGarbageIsRefused) {
    std::string folder;
    std::vector<std::string> arguments;
    const std::vector<std::string> sent = {"a:b", std::string("\xff\0x", 3), ""};
    ASSERT_TRUE(ReadHandOver(EncodeHandOver("/w", sent), folder, arguments));
    EXPECT_EQ(folder, "/w");
    EXPECT_EQ(arguments, sent);
    EXPECT_FALSE(ReadHandOver("hello", folder, arguments));
    EXPECT_FALSE(ReadHandOver(EncodeHandOver("/w", {"abc"}).substr(0, 29), folder, arguments));
    EXPECT_FALSE(ReadHandOver("sonivate-hand-over 1\n99999999999999999999:x", folder, arguments));
    char program[] = "sonivate";
    char name[] = "caf\xe9.wav";
    char* argv[] = {program, name, nullptr};
    EXPECT_EQ(RawArguments(2, argv), (std::vector<std::string>{"caf\xe9.wav"}));
}

TEST(SecondStart, TheSocketLivesOnlyInAFolderNoOneElseMayEnter) {
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string keep = saved != nullptr ? saved : "";
    const fs::path runtime = fs::temp_directory_path() / ("sonivate-runtime-" + std::to_string(::getpid()));
    fs::create_directories(runtime);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);

    ::chmod(runtime.c_str(), 0700);
    EXPECT_EQ(SecondStartSocketPath(), runtime.string() + "/sonivate.socket");
    // A runtime folder others may enter is never used, and no /tmp name
    // another user could take first stands in for it.
    ::chmod(runtime.c_str(), 0777);
    EXPECT_EQ(SecondStartSocketPath(), "");
    EXPECT_FALSE(HandOverToFirst("", "/w", {"a.wav"}, 100));

    if (saved != nullptr)
        ::setenv("XDG_RUNTIME_DIR", keep.c_str(), 1);
    else
        ::unsetenv("XDG_RUNTIME_DIR");
    fs::remove_all(runtime);
}

// The boxes of a start-up really run, so that a signal meets one on screen.
class ModalBoxes final : public MessageBoxRunner {
public:
    int Shown = 0;
    std::int32_t Run(QMessageBox& pBox) override {
        ++Shown;
        // SIGTERM arrives while the box waits for its OK.
        QTimer::singleShot(0, [] { ::raise(SIGTERM); });
        pBox.exec();
        return kIdOk;
    }
};

TEST_F(FrmMainTest, SigtermDuringAStartUpBoxEndsAsACloseWould) {
    test::WavSpec slow;
    slow.sampleRate = 44100;
    const std::string first = test::WriteWav(File("cd1.wav"), slow, test::Sine(44100 * 2, 2, 440, -20, 16));
    const std::string second = test::WriteWav(File("cd2.wav"), slow, test::Sine(44100 * 2, 2, 440, -20, 16));
    ModalBoxes modal;
    SetMessageBoxRunner(&modal);
    FrmMain& w = Open({first, second}, false);
    UnixSignalWatcher watcher;
    EndWindowOnSignals(watcher, w);
    bool unloaded = false;
    QObject::connect(&w, &FrmMain::Unloaded, [&] { unloaded = true; });
    w.Load();
    EXPECT_EQ(modal.Shown, 1);
    EXPECT_TRUE(w.Ending());
    EXPECT_TRUE(unloaded);
    EXPECT_FALSE(w.isVisible());
    SetMessageBoxRunner(&boxes);
}

// ---- Screenshots -------------------------------------------------------------------------------

// A measured list with one red row and a run in progress, saved for a look
// (SONIVATE_SCREENSHOT_DIR) at both layout scales.
TEST_F(FrmMainTest, ScreenshotsOfAMeasuredListAndARunInProgress) {
    const std::string dir = ScreenshotDir();
    const std::vector<std::string> files = {WriteTone(File("CM_春の新製品_15s.wav"), 2.0, -18),
                                            WriteHotPeaks(File("CM_hot_peaks.wav")),
                                            WriteTone(File("promo_quiet.wav"), 2.0, -34, 1, 24),
                                            WriteTone(File("programme_long.wav"), kLongSeconds, -22, 2, 24)};
    for (const char* rate : {"1.0", "1.5"}) {
        statuses.clear();
        FrmMain& w = Open({std::string("SizeRate=") + rate, files[0], files[1], files[2], files[3]});
        // The shot is taken the moment the last file is well on its way, however
        // fast the machine: the rows above it measured, the bar moving.
        QImage shot;
        QObject::connect(&w, &FrmMain::ProgressShown, [&](int pValue) {
            if (!shot.isNull() || pValue < 100 || statuses.empty() ||
                !Contains(statuses.back(), "programme_long 計測処理…"))
                return;
            EXPECT_EQ(w.LV()->DispColor(1), kClipColor);
            EXPECT_EQ(w.PictureInfo()->CurrentColorSet(), 1);
            EXPECT_EQ(w.LV()->SelectedItem(), 3);
            EXPECT_EQ(w.ProgBar()->Value(), pValue);
            // The list's own repaint of the last figures may still wait in the queue.
            w.LV()->ReDraw();
            shot = w.grab().toImage();
            Press(FrmMain::kButtonStop);
        });
        PressStartAndWait();
        ASSERT_FALSE(shot.isNull());
        EXPECT_EQ(shot.size(), w.size() * shot.devicePixelRatio());
        const std::string name = dir + "/window-" + rate + ".png";
        EXPECT_TRUE(shot.save(QString::fromStdString(name))) << name;
        window.reset();
    }
}

// ---- Beyond the list's five columns: figures, verdicts, menus, details, the report -------------

// Quiet noise with a 2 ms burst at a quarter of the sampling rate whose
// samples fall 3 dB below its crests: at the gain to -24 LKFS the sample
// peak stays under 0 dBFS, the true peak goes over 0 dBTP.
std::string WriteInterSamplePeaks(const std::string& pPath) {
    constexpr std::int64_t kBurstFrames = 96;
    constexpr double kBurstAmplitude = 0.3;  // of full scale, at the crests
    constexpr double kQuarterTurn = 1.5707963267948966;
    test::Samples samples = test::Noise(3 * kRate, 2, 16, 7, 0.01);
    for (std::int64_t k = 0; k < kBurstFrames; ++k) {
        const double x = kBurstAmplitude * std::sin(kQuarterTurn * static_cast<double>(k) + kQuarterTurn / 2);
        const auto value = static_cast<std::int32_t>(std::lround(x * 32767.0));
        samples[static_cast<std::size_t>(2 * (kRate + k))] = value;
        samples[static_cast<std::size_t>(2 * (kRate + k) + 1)] = value;
    }
    return test::WriteWav(pPath, test::WavSpec{}, samples);
}

// A commercial with its markers: BC$START at 0.5 s, BC$END at pSeconds - 0.5 s.
std::string WriteCommercial(const std::string& pPath, double pSeconds, double pDbfs) {
    test::WavSpec layout;
    layout.afterData = test::BroadcastMarkers(kRate / 2, -1, -1, static_cast<std::int32_t>((pSeconds - 0.5) * kRate));
    const auto frames = static_cast<std::int64_t>(pSeconds * kRate);
    return test::WriteWav(pPath, layout, test::Sine(frames, 2, 997.0, pDbfs, 16));
}

// Answers the file dialogs with a fixed path and remembers what it was asked.
class AnsweringDialogs final : public DialogService {
public:
    std::string Answer;
    std::string Filters;
    std::string Start;  // the path the last file dialog opened at
    int Asked = 0;
    std::string ChooseFolder(QWidget*, const std::string&, const std::string&) override { return Answer; }
    std::string ChooseFile(QWidget*, bool, const std::string& pFilters, const std::string& pStart,
                           std::int32_t) override {
        ++Asked;
        Filters = pFilters;
        Start = pStart;
        return Answer;
    }
    // The values a form of fields is answered with (none: cancelled), and
    // the labels and values it was opened with.
    std::optional<std::vector<std::string>> Fields;
    std::vector<std::string> FieldLabels, FieldValues;
    std::optional<std::vector<std::string>> EditFields(QWidget*, const std::string&,
                                                       const std::vector<std::string>& pLabels,
                                                       const std::vector<std::string>& pValues) override {
        FieldLabels = pLabels;
        FieldValues = pValues;
        return Fields;
    }
    // Several files at once when given, else the one answer.
    std::vector<std::string> Answers;
    std::vector<std::string> ChooseFiles(QWidget* pOwner, const std::string& pFilters,
                                         const std::string& pStart) override {
        if (Answers.empty()) return DialogService::ChooseFiles(pOwner, pFilters, pStart);
        ++Asked;
        Filters = pFilters;
        return Answers;
    }
};

QAction* Action(QMenu* pMenu, const std::string& pName) {
    if (pMenu == nullptr) return nullptr;
    return pMenu->findChild<QAction*>(QString::fromStdString(pName));
}

// The window with its open popup menus drawn where the screen has them.
QImage ShotWithMenus(QWidget& pWindow, const std::vector<QMenu*>& pMenus) {
    QImage shot = pWindow.grab().toImage();
    QPainter painter(&shot);
    for (QMenu* menu : pMenus) {
        if (menu == nullptr || !menu->isVisible()) continue;
        painter.drawImage(pWindow.mapFromGlobal(menu->pos()), menu->grab().toImage());
    }
    return shot;
}

TEST_F(FrmMainTest, InterSamplePeaksMarkARowRedAndClipAvoidanceKeepsItsCopy) {
    const std::string file = WriteInterSamplePeaks(File("CM_isp.wav"));
    const std::string out = File("out");
    fs::create_directories(out);
    FrmMain& w = Open({file});
    SetOutput(out, true);
    PressStartAndWait();
    const RowResult* result = w.RowMeasurement(0);
    ASSERT_NE(result, nullptr);
    ASSERT_TRUE(result->Broadcast && result->Broadcast->TruePeak);
    const double gain = std::stod(Cell(0, kColumnGain));
    ASSERT_LE(gain + std::stod(Cell(0, kColumnPeak)), 0.0) << "the sample peak alone would not clip";
    ASSERT_GT(gain + *result->Broadcast->TruePeak, 0.0);
    EXPECT_EQ(w.LV()->DispColor(0), kClipColor);
    EXPECT_EQ(w.Outcome(0), RowOutcome::Skipped);
    EXPECT_FALSE(fs::exists(out + "/CM_isp.wav"));
}

TEST_F(FrmMainTest, OptionalColumnsComeFromTheHeaderMenuAndTheProfileJudgesTheCopies) {
    const std::vector<std::string> files = {WriteCommercial(File("CM_春の新製品_15s.wav"), 6.0, -18),
                                            WriteHotPeaks(File("CM_hot_peaks.wav")),
                                            WriteCommercial(File("promo_quiet.wav"), 4.0, -34)};
    WriteIniValue("TargetLKFS", "-24.0", IniPath());
    {
        FrmMain& w = Open(files);
        for (std::int32_t c = kColumnTruePeak; c < kWindowColumns; ++c) EXPECT_FALSE(w.ColumnShown(c)) << c;
        EXPECT_EQ(w.ProfileSetting(), "none");
        w.OpenHeaderMenu(w.mapToGlobal(QPoint(40, 20)));
        QMenu* menu = w.HeaderMenu();
        ASSERT_NE(menu, nullptr);
        EXPECT_TRUE(menu->isVisible());
        for (const char* name : {"true_peak", "lra", "max_short_term", "verdict"}) {
            QAction* action = Action(menu, name);
            ASSERT_NE(action, nullptr) << name;
            EXPECT_FALSE(action->isChecked());
            if (std::string(name) != "lra") action->trigger();
        }
        menu->hide();
        EXPECT_TRUE(w.ColumnShown(kColumnTruePeak));
        EXPECT_FALSE(w.ColumnShown(kColumnLRA));
        EXPECT_TRUE(w.ColumnShown(kColumnVerdict));

        PressStartAndWait();
        for (std::int32_t row = 0; row < 3; ++row) {
            EXPECT_FALSE(Cell(row, kColumnTruePeak).empty()) << row;
            EXPECT_GE(std::stod(Cell(row, kColumnTruePeak)) + 1e-9, std::stod(Cell(row, kColumnPeak))) << row;
            EXPECT_EQ(Cell(row, kColumnVerdict), "") << "no profile, no verdict";
        }

        // A profile judges the copies at once and sets the target.
        ASSERT_TRUE(w.ChooseProfile("arib-tr-b32"));
        EXPECT_EQ(w.TextTargetLKFS()->text().toStdString(), "-24.0");
        EXPECT_EQ(Cell(0, kColumnVerdict), "合格");
        // The hot clicks' copy would clip: nothing projects a copy for it.
        EXPECT_EQ(Cell(1, kColumnVerdict), "—");
        // Nothing was written: the verdict judges the copy as it would be.
        const std::string tip = w.RowToolTip(0, kColumnVerdict);
        EXPECT_TRUE(Contains(tip, "書き出した場合の判定 ARIB TR-B32: ")) << tip;
        EXPECT_FALSE(Contains(w.RowToolTip(0, kColumnLKFS), "ARIB TR-B32")) << "only the verdict's cell judges";

        // A profile file that cannot be used is told and changes nothing.
        EXPECT_FALSE(w.ChooseProfile(File("absent.ini")));
        ASSERT_EQ(boxes.Texts.size(), 1u);
        EXPECT_TRUE(Contains(boxes.Texts[0], "配信基準ファイル"));
        EXPECT_EQ(w.ProfileSetting(), "arib-tr-b32");

        w.LV()->ReDraw();
        EXPECT_TRUE(w.grab().toImage().save(QString::fromStdString(ScreenshotDir() + "/window-columns.png")));
        CloseAndWait();
    }
    EXPECT_EQ(Stored("Columns"), "true_peak,max_short_term,verdict");
    EXPECT_EQ(Stored("Profile"), "arib-tr-b32");
    EXPECT_EQ(Stored("BextLoudness"), "update");

    FrmMain& again = Open();
    EXPECT_TRUE(again.ColumnShown(kColumnTruePeak));
    EXPECT_FALSE(again.ColumnShown(kColumnLRA));
    ASSERT_TRUE(again.Profile().has_value());
    EXPECT_EQ(again.Profile()->name, "arib-tr-b32");
}

TEST_F(FrmMainTest, TheListMenuRemovesClearsAndListsFilesAgainWithTheRangeChosenNow) {
    const std::vector<std::string> files = {WriteCommercial(File("a_spot.wav"), 6.0, -20),
                                            WriteCommercial(File("b_spot.wav"), 5.0, -22),
                                            WriteTone(File("c_plain.wav"), 2.0, -20)};
    FrmMain& w = Open();
    w.ComboFromTo(0)->setCurrentIndex(kRangeFileStart);
    w.ComboFromTo(1)->setCurrentIndex(kRangeFileEnd);
    DropOnRow(files, 0);
    ASSERT_TRUE(WaitFor([&] { return w.LV()->ItemCount() == 3; }, 5000));
    EXPECT_EQ(w.LV()->AuxID(0, kAuxStart).AsNumber(), 0.0);
    PressStartAndWait();
    EXPECT_FALSE(Cell(0, kColumnLKFS).empty());

    // A right click on the second row selects it and opens the menu there.
    UC_ListView& list = *w.LV();
    const int rowPixels = list.OneHeight() / TwipsPerPixel();
    const QPoint onSecond(30, rowPixels + rowPixels / 2);
    QTest::mousePress(list.ItemAreaWidget(), Qt::RightButton, Qt::NoModifier, onSecond);
    QTest::mouseRelease(list.ItemAreaWidget(), Qt::RightButton, Qt::NoModifier, onSecond);
    QMenu* menu = w.ListMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->isVisible());
    EXPECT_EQ(list.IsSelected(1), 1);
    EXPECT_EQ(list.NumSelectedItems(), 1);
    for (const char* name : {"details", "remove", "clear", "relist", "save-report", "profile-file"})
        EXPECT_NE(Action(menu, name), nullptr) << name;
    QMenu* profiles = menu->findChild<QMenu*>("profiles");
    ASSERT_NE(profiles, nullptr);
    EXPECT_TRUE(Action(profiles, "profile:none")->isChecked());
    EXPECT_NE(Action(profiles, "profile:ebu-r128-s1"), nullptr);
    profiles->popup(menu->mapToGlobal(menu->actionGeometry(profiles->menuAction()).topRight()));
    ASSERT_TRUE(WaitFor([&] { return profiles->isVisible(); }, 5000));
    EXPECT_TRUE(
        ShotWithMenus(w, {menu, profiles}).save(QString::fromStdString(ScreenshotDir() + "/window-context-menu.png")));
    profiles->hide();
    menu->hide();

    // The second and third rows again from BC$START: the commercial starts
    // at its marker, the file without markers at its first frame; both in
    // their places, their old figures gone.
    list.SetIsSelected(2, 1);
    w.ComboFromTo(0)->setCurrentIndex(kRangeBcStart);
    w.RelistSelected();
    ASSERT_EQ(Titles(), (std::vector<std::string>{"a_spot", "b_spot", "c_plain"}));
    EXPECT_EQ(list.AuxID(1, kAuxStart).AsNumber(), kRate / 2.0);
    EXPECT_EQ(list.AuxID(2, kAuxStart).AsNumber(), 0.0);
    EXPECT_EQ(list.AuxID(0, kAuxStart).AsNumber(), 0.0) << "an unselected row keeps its range";
    EXPECT_TRUE(Cell(1, kColumnLKFS).empty());
    EXPECT_FALSE(Cell(0, kColumnLKFS).empty());
    EXPECT_EQ(w.RowMeasurement(1), nullptr);
    EXPECT_NE(w.RowMeasurement(0), nullptr);

    // Remove the first, then clear what is left.
    list.UnSelectAll();
    list.SetIsSelected(0, 1);
    w.OpenListMenu(w.mapToGlobal(QPoint(40, 40)));
    Action(w.ListMenu(), "remove")->trigger();
    EXPECT_EQ(Titles(), (std::vector<std::string>{"b_spot", "c_plain"}));
    w.OpenListMenu(w.mapToGlobal(QPoint(40, 40)));
    EXPECT_FALSE(Action(w.ListMenu(), "details")->isEnabled()) << "opened on no row";
    Action(w.ListMenu(), "clear")->trigger();
    EXPECT_EQ(w.LV()->ItemCount(), 0);
    w.OpenListMenu(w.mapToGlobal(QPoint(40, 40)));
    EXPECT_FALSE(Action(w.ListMenu(), "clear")->isEnabled());
    EXPECT_FALSE(Action(w.ListMenu(), "save-report")->isEnabled());
    w.ListMenu()->hide();
}

TEST_F(FrmMainTest, DetailsShowEveryFigureTheVerdictsAndTheGraphOfTheRow) {
    const std::string file = WriteCommercial(File("CM_春の新製品_30s.wav"), 8.0, -16);
    FrmMain& w = Open({file});
    ASSERT_TRUE(w.ChooseProfile("ebu-r128"));
    w.ComboFromTo(0)->setCurrentIndex(kRangeBcStart);
    PressStartAndWait();
    w.ShowDetails(0);
    FrmDetails* details = w.Details();
    ASSERT_NE(details, nullptr);
    EXPECT_TRUE(details->isVisible());
    const RowDetails& shown = details->Details();
    EXPECT_EQ(shown.File.Title, "CM_春の新製品_30s");
    EXPECT_EQ(shown.ProfileName, "EBU R 128");
    EXPECT_EQ(shown.TargetLKFS, -23.0) << "the target the run was given";
    ASSERT_TRUE(shown.File.Source.TruePeak.has_value());
    ASSERT_TRUE(shown.File.Copy.LKFS.has_value());
    EXPECT_NEAR(*shown.File.Copy.LKFS, -23.0, 0.05);
    EXPECT_EQ(shown.File.CopyVerdict.Kind, report::VerdictKind::Pass);
    EXPECT_EQ(shown.File.SourceVerdict.Kind, report::VerdictKind::Fail);
    ASSERT_EQ(shown.File.Markers.size(), 2u);
    EXPECT_FALSE(shown.File.Loudness.Momentary.empty());
    EXPECT_EQ(details->FigureText(DetailsFigure::LKFS, DetailsColumn::Source).toStdString(), Cell(0, kColumnLKFS));
    EXPECT_FALSE(details->GraphImage().isNull());
    EXPECT_TRUE(details->grab().toImage().save(QString::fromStdString(ScreenshotDir() + "/window-details.png")));

    // Open details follow their row through the next run.
    w.TextTargetLKFS()->setText("-30.0");
    PressStartAndWait();
    EXPECT_EQ(details->Details().TargetLKFS, -30.0);
    EXPECT_NEAR(*details->Details().File.Copy.LKFS, -30.0, 0.05);

    // A row the window never measured still opens, with nothing to draw.
    const std::string other = WriteTone(File("never_run.wav"), 1.0, -20);
    DropOnRow({other}, 1);
    ASSERT_TRUE(WaitFor([&] { return w.LV()->ItemCount() == 2; }, 5000));
    w.ShowDetails(1);
    EXPECT_FALSE(details->Details().File.Source.LKFS.has_value());
    EXPECT_TRUE(details->GraphImage().isNull());
}

TEST_F(FrmMainTest, AReportIsSavedFromTheWindowOffItsThreadAndAFailureIsTold) {
    AnsweringDialogs dialogs;
    SetDialogService(&dialogs);
    const std::vector<std::string> files = {WriteCommercial(File("CM_春の新製品_15s.wav"), 5.0, -18),
                                            WriteTone(File("promo.wav"), 2.0, -30)};
    FrmMain& w = Open(files);
    ASSERT_TRUE(w.ChooseProfile("ebu-r128-s1"));
    PressStartAndWait();
    std::vector<std::pair<bool, std::string>> saved;
    QObject::connect(&w, &FrmMain::ReportSaved,
                     [&](bool pOk, const QString& pPath) { saved.emplace_back(pOk, pPath.toStdString()); });

    // A name without an extension becomes a PDF.
    dialogs.Answer = File("batch");
    w.SaveReport();
    EXPECT_EQ(dialogs.Asked, 1);
    EXPECT_TRUE(Contains(dialogs.Filters, "*.pdf"));
    ASSERT_TRUE(WaitFor([&] { return saved.size() == 1; }));
    EXPECT_TRUE(saved[0].first);
    EXPECT_EQ(saved[0].second, File("batch.pdf"));
    const test::Bytes pdf = test::ReadBytes(File("batch.pdf"));
    ASSERT_GT(pdf.size(), 4u);
    EXPECT_EQ(std::string(pdf.begin(), pdf.begin() + 4), "%PDF");
    EXPECT_TRUE(StartsWith(w.StatusText(), "レポートを保存しました"));

    // The CSV holds every row with the figures the list shows.
    ASSERT_TRUE(w.SaveReportTo(File("batch.csv")));
    ASSERT_TRUE(WaitFor([&] { return saved.size() == 2; }));
    const test::Bytes csvBytes = test::ReadBytes(File("batch.csv"));
    const std::string csv(csvBytes.begin(), csvBytes.end());
    EXPECT_TRUE(Contains(csv, "CM_春の新製品_15s"));
    EXPECT_TRUE(Contains(csv, "promo"));
    EXPECT_TRUE(Contains(csv, Cell(0, kColumnLKFS)));
    EXPECT_TRUE(Contains(csv, ",-23.00,") || Contains(csv, ",-23,")) << "the profile's target";

    // The header names the target the copies were found for, not one typed since.
    w.TextTargetLKFS()->setText("-30.0");
    ASSERT_TRUE(w.SaveReportTo(File("batch.html")));
    ASSERT_TRUE(WaitFor([&] { return saved.size() == 3; }));
    const test::Bytes htmlBytes = test::ReadBytes(File("batch.html"));
    EXPECT_TRUE(Contains(std::string(htmlBytes.begin(), htmlBytes.end()), "ターゲット値: -23.0 LKFS"))
        << "the report in the window's language (Japanese here)";

    // A folder that is not there: the operator is told.
    ASSERT_TRUE(w.SaveReportTo(File("no/such/folder/batch.html")));
    ASSERT_TRUE(WaitFor([&] { return saved.size() == 4; }));
    EXPECT_FALSE(saved[3].first);
    ASSERT_FALSE(boxes.Texts.empty());
    EXPECT_TRUE(Contains(boxes.Texts.back(), "レポートを保存できませんでした"));
    SetDialogService(nullptr);
}

// A report saved after a stopped run claims for each row only what that run
// did: the rows it stopped at or never reached wrote nothing this time,
// whatever an earlier run wrote.
TEST_F(FrmMainTest, AReportAfterAStoppedRunClaimsOnlyWhatThatRunDid) {
    std::vector<std::string> files;
    for (int i = 0; i < 3; ++i) files.push_back(WriteTone(File("r" + std::to_string(i) + ".wav"), 2.0, -20 - i));
    const std::string out = File("out");
    std::filesystem::create_directory(out);
    FrmMain& w = Open(files);
    SetOutput(out, true);
    PressStartAndWait();
    for (std::int32_t row = 0; row < 3; ++row) ASSERT_EQ(w.Outcome(row), RowOutcome::Written) << row;

    bool pressed = false;
    QObject::connect(&w, &FrmMain::StatusShown, [&](const QString& pText) {
        if (!pressed && StartsWith(pText.toStdString(), "[2/3] r1")) {
            pressed = true;
            Press(FrmMain::kButtonStop);
        }
    });
    PressStartAndWait();
    ASSERT_TRUE(pressed);
    std::vector<std::pair<bool, std::string>> saved;
    QObject::connect(&w, &FrmMain::ReportSaved,
                     [&](bool pOk, const QString& pPath) { saved.emplace_back(pOk, pPath.toStdString()); });
    ASSERT_TRUE(w.SaveReportTo(File("after-stop.csv")));
    ASSERT_TRUE(WaitFor([&] { return saved.size() == 1; }));
    const test::Bytes bytes = test::ReadBytes(File("after-stop.csv"));
    std::vector<std::vector<std::string>> table;
    std::string line;
    for (const char c : std::string(bytes.begin(), bytes.end())) {
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            std::vector<std::string> cells(1);
            for (const char d : line) {
                if (d == ',')
                    cells.emplace_back();
                else
                    cells.back() += d;
            }
            table.push_back(cells);
            line.clear();
        } else {
            line += c;
        }
    }
    ASSERT_EQ(table.size(), 4u);
    const auto column = [&](const std::string& pName) {
        return static_cast<size_t>(std::find(table[0].begin(), table[0].end(), pName) - table[0].begin());
    };
    const size_t written = column("written"), reason = column("reason_code"), copy = column("copy_lkfs");
    ASSERT_LT(reason, table[0].size());
    EXPECT_EQ(table[1][written], "yes");
    for (size_t row = 2; row < 4; ++row) {
        EXPECT_EQ(table[row][written], "no") << row;
        EXPECT_EQ(table[row][copy], "") << "no copy figures for a copy this run did not make";
    }
    EXPECT_EQ(table[2][reason], "stopped");
    EXPECT_EQ(table[3][reason], "not_reached");
}

TEST_F(FrmMainTest, ALargerWindowGrowsTheListAndKeepsTheRestAtItsCorners) {
    const QSize design = Open().size();
    const QRect list = window->LV()->geometry(), status = window->PictureInfo()->geometry();
    const QRect combo = window->ComboFromTo(0)->geometry(), buttons = window->CtrButtons()->geometry();
    EXPECT_EQ(window->minimumSize(), design);
    constexpr int kWider = 240, kTaller = 120;
    window->resize(design + QSize(kWider, kTaller));
    QApplication::processEvents();
    EXPECT_EQ(window->LV()->geometry(), QRect(list.topLeft(), list.size() + QSize(kWider, kTaller)));
    EXPECT_EQ(window->PictureInfo()->geometry(),
              QRect(status.topLeft() + QPoint(0, kTaller), status.size() + QSize(kWider, 0)));
    EXPECT_EQ(window->ComboFromTo(0)->geometry(), combo.translated(0, kTaller));
    EXPECT_EQ(window->CtrButtons()->geometry(), buttons.translated(kWider, kTaller));
    EXPECT_EQ(window->Surface().Image().size(), window->size() * window->devicePixelRatioF());
    EXPECT_TRUE(window->grab().toImage().save(QString::fromStdString(ScreenshotDir() + "/window-larger.png")));
    CloseAndWait();

    // The next start keeps the size; smaller than the design it never gets.
    EXPECT_EQ(Open().size(), design + QSize(kWider, kTaller));
    window->resize(design - QSize(50, 50));
    EXPECT_EQ(window->size(), design);
    EXPECT_EQ(window->LV()->geometry(), list);
}

TEST_F(FrmMainTest, TheBextLoudnessSettingKeepsOrMendsTheCopysFields) {
    // A version 2 bext chunk that claims -23.00 LUFS.
    constexpr std::size_t kBextBytes = 602, kVersionAt = 346, kLoudnessAt = 412, kBextDataAt = 20;
    test::Bytes bext(kBextBytes, 0);
    bext[kVersionAt] = 2;
    const auto stale = static_cast<std::uint16_t>(static_cast<std::int16_t>(-2300));
    bext[kLoudnessAt] = static_cast<std::uint8_t>(stale & 0xFF);
    bext[kLoudnessAt + 1] = static_cast<std::uint8_t>(stale >> 8);
    test::WavSpec layout;
    layout.beforeFmt = {test::Chunk{"bext", bext}};
    const std::string source = test::WriteWav(File("spot.wav"), layout, test::Sine(4 * kRate, 2, 997.0, -20.0, 16));
    const auto copyLoudness = [&](const std::string& pMode) {
        const std::string out = File("out_" + pMode);
        fs::create_directories(out);
        if (!pMode.empty()) WriteIniValue("BextLoudness", pMode, IniPath());
        Open({source});
        SetOutput(out, true);
        PressStartAndWait();
        window.reset();
        const test::Bytes copy = test::ReadBytes(out + "/spot.wav");
        return static_cast<std::int16_t>(copy.at(kBextDataAt + kLoudnessAt) |
                                         (copy.at(kBextDataAt + kLoudnessAt + 1) << 8));
    };
    EXPECT_NEAR(copyLoudness("") / 100.0, -24.0, 0.02) << "by default the copy describes itself";
    EXPECT_EQ(copyLoudness("keep"), -2300);

    // The list's menu changes the choice, and the next start keeps it.
    FrmMain& w = Open();
    w.OpenListMenu(w.mapToGlobal(QPoint(40, 40)));
    QMenu* bextMenu = w.ListMenu()->findChild<QMenu*>("bext");
    ASSERT_NE(bextMenu, nullptr);
    EXPECT_TRUE(Action(bextMenu, "bext:keep")->isChecked());
    Action(bextMenu, "bext:upgrade")->trigger();
    w.ListMenu()->hide();
    CloseAndWait();
    EXPECT_EQ(Stored("BextLoudness"), "upgrade");
}

// ---- Japanese and English ---------------------------------------------------------------------

// A test that installs English leaves the Japanese texts behind it.
class JapaneseAfter {
public:
    JapaneseAfter() = default;
    ~JapaneseAfter() { InstallLanguage(*QCoreApplication::instance(), UiLanguage::Japanese); }
    JapaneseAfter(const JapaneseAfter&) = delete;
    JapaneseAfter& operator=(const JapaneseAfter&) = delete;
};

// Qt's own buttons follow the language the program installs at start-up.
TEST(QtTexts, QtsOwnDialogsFollowTheWindowsLanguage) {
    JapaneseAfter restore;
    const auto cancel = [] {
        QMessageBox box;
        box.setStandardButtons(QMessageBox::Cancel);
        return box.button(QMessageBox::Cancel)->text().toStdString();
    };
    ASSERT_TRUE(InstallLanguage(*QCoreApplication::instance(), UiLanguage::Japanese))
        << "qt6-translations-l10n provides qtbase_ja";
    EXPECT_EQ(cancel(), "キャンセル");
    ASSERT_TRUE(InstallLanguage(*QCoreApplication::instance(), UiLanguage::English));
    EXPECT_EQ(cancel(), "Cancel");
}

TEST_F(FrmMainTest, TheLanguageSettingChoosesTheTextsAndTheMenuKeepsAChoiceForTheNextStart) {
    // auto follows the locale's first interface language; ja and en hold.
    EXPECT_EQ(LanguageOfSetting("auto", {"ja-JP", "en-US"}), UiLanguage::Japanese);
    EXPECT_EQ(LanguageOfSetting("auto", {"en-US", "ja-JP"}), UiLanguage::English);
    EXPECT_EQ(LanguageOfSetting("auto", {}), UiLanguage::English);
    EXPECT_EQ(LanguageOfSetting("ja", {"en-US"}), UiLanguage::Japanese);
    EXPECT_EQ(LanguageOfSetting("en", {"ja-JP"}), UiLanguage::English);

    JapaneseAfter restore;
    ASSERT_TRUE(InstallLanguage(*QCoreApplication::instance(), UiLanguage::English)) << "the embedded translation";
    WriteIniValue("Language", "auto", IniPath());
    const std::string gone = WriteTone(File("gone_soon.wav"), 2.0, -20);
    FrmMain& w = Open({gone});
    EXPECT_EQ(w.CtrButtons()->GetButtonChar(FrmMain::kButtonStart), "Start");
    EXPECT_EQ(w.ComboFromTo(0)->itemText(kRangeFileStart).toStdString(), "File start");
    EXPECT_EQ(w.LV()->TabName(kColumnTitle), "Title");
    // The core's reasons follow the window's language, not the locale's.
    fs::remove(gone);
    PressStartAndWait();
    EXPECT_TRUE(StartsWith(w.RowToolTip(0, kColumnLKFS), ReasonText(RowReason::Missing, MessageLanguage::English)));
    EXPECT_TRUE(StartsWith(w.StatusText(), "Done: written 0")) << w.StatusText();

    // The menu shows the setting checked; a choice is stored at once and
    // said to wait for the next start.
    w.OpenListMenu(w.mapToGlobal(QPoint(40, 40)));
    QMenu* language = w.ListMenu()->findChild<QMenu*>("language");
    ASSERT_NE(language, nullptr);
    EXPECT_TRUE(Action(language, "language:auto")->isChecked());
    Action(language, "language:ja")->trigger();
    w.ListMenu()->hide();
    EXPECT_EQ(Stored("Language"), "ja");
    EXPECT_EQ(LanguageSetting(), "ja");
    EXPECT_TRUE(Contains(w.StatusText(), "next start")) << w.StatusText();
    EXPECT_EQ(w.CtrButtons()->GetButtonChar(FrmMain::kButtonStart), "Start") << "not before the next start";

    // The range is stored as its entry's own text, whatever the window shows.
    w.ComboFromTo(0)->setCurrentIndex(kRangeFileStart);
    CloseAndWait();
    EXPECT_EQ(Stored("MesureFrom"), kRangeStartEntries[0]);
}

int TextWidth(const QFont& pFont, const QString& pText) { return QFontMetrics(pFont).horizontalAdvance(pText); }

// Every caption, label, entry and button of the window and of the details
// window fits the room its control gives it, in both languages; the
// screenshots land beside the others for a look.
TEST_F(FrmMainTest, EveryTextFitsItsControlInJapaneseAndInEnglish) {
    JapaneseAfter restore;
    const std::string file = WriteCommercial(File("CM_spring_sale_15s.wav"), 6.0, -18);
    for (const UiLanguage language : {UiLanguage::Japanese, UiLanguage::English}) {
        const std::string tag = language == UiLanguage::Japanese ? "ja" : "en";
        SCOPED_TRACE(tag);
        ASSERT_TRUE(InstallLanguage(*QCoreApplication::instance(), language) || language == UiLanguage::Japanese);
        FrmMain& w = Open({file});
        ASSERT_TRUE(w.ChooseProfile("ebu-r128"));
        w.ComboFromTo(0)->setCurrentIndex(kRangeBcStart);
        for (std::int32_t column : {kColumnTruePeak, kColumnLRA, kColumnMaxShortTerm, kColumnVerdict})
            w.ShowColumn(column, true);
        PressStartAndWait();
        const QFont font = w.font();
        const int tpp = TwipsPerPixel();
        const double rate = w.SizeRate();
        const auto pixels = [&](int pTwips) { return static_cast<int>(pTwips * rate) / tpp; };

        UC_Buttons& strip = *w.CtrButtons();
        for (std::int16_t button : {FrmMain::kButtonStop, FrmMain::kButtonStart})
            EXPECT_LE(TextWidth(font, QString::fromStdString(strip.GetButtonChar(button))), strip.ButtonWidth());

        // Labels stand left of their controls, a gap away, within the window
        // or the output options' frame, and clear of the control before them.
        const int gap = pixels(90);
        const int frameLeft = pixels(300);
        const auto labelFits = [&](const QWidget& pControl, int pBound, const char* pSource) {
            EXPECT_LE(TextWidth(font, TrQ("WindowLayout", pSource)) + gap, pControl.x() - pBound) << pSource;
        };
        labelFits(*w.TextTargetLKFS(), 0, "ターゲット値");
        labelFits(*w.ComboFromTo(0), 0, "対象範囲");
        labelFits(*w.ComboFromTo(1), w.ComboFromTo(0)->geometry().right() + 1, "～");
        labelFits(*w.TextSoundPath(), frameLeft + 1, "出力先");
        // The check boxes size themselves to their captions and stay in the frame.
        const int frameRight = w.TextSoundPath()->geometry().right() + pixels(300);
        for (UC_Check* check : {w.CheckWavOutput(), w.CheckNoClip()}) EXPECT_LE(check->geometry().right(), frameRight);
        EXPECT_GE(w.CheckNoClip()->width(), TextWidth(font, TrQ("WindowLayout", "クリップ回避")));
        // Every range entry fits its drop-down's text field.
        for (int k = 0; k < 2; ++k) {
            QComboBox& combo = *w.ComboFromTo(k);
            QStyleOptionComboBox option;
            option.initFrom(&combo);
            const QRect field =
                combo.style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, &combo);
            for (int item = 0; item < combo.count(); ++item)
                EXPECT_LE(TextWidth(combo.font(), combo.itemText(item)), field.width())
                    << combo.itemText(item).toStdString();
        }
        // The profile line holds the profile and its counts.
        EXPECT_TRUE(Contains(w.ProfileLine()->text().toStdString(), "EBU R 128: 1/1 "));
        EXPECT_LE(TextWidth(w.ProfileLine()->font(), w.ProfileLine()->text()), w.ProfileLine()->width());
        // The status line after the run holds its whole text.
        EXPECT_LE(TextWidth(font, QString::fromStdString(w.StatusText())), w.PictureInfo()->width() - pixels(120))
            << w.StatusText();
        EXPECT_TRUE(w.grab().toImage().save(QString::fromStdString(ScreenshotDir() + "/window-lang-" + tag + ".png")));

        w.ShowDetails(0);
        FrmDetails* details = w.Details();
        ASSERT_NE(details, nullptr);
        QApplication::processEvents();
        for (QLabel* label : details->findChildren<QLabel*>()) {
            if (!label->isVisible() || label->wordWrap() || label->text().isEmpty()) continue;
            EXPECT_LE(TextWidth(label->font(), label->text()), label->contentsRect().width())
                << label->text().toStdString();
        }
        for (QPushButton* button : details->findChildren<QPushButton*>())
            EXPECT_LT(TextWidth(button->font(), button->text()), button->width()) << button->text().toStdString();
        for (QGroupBox* box : details->findChildren<QGroupBox*>())
            EXPECT_LT(TextWidth(box->font(), box->title()), box->width()) << box->title().toStdString();
        EXPECT_TRUE(
            details->grab().toImage().save(QString::fromStdString(ScreenshotDir() + "/details-lang-" + tag + ".png")));
        CloseAndWait();
    }
}

// The report saved from the window is in the window's language, carries the
// station's fields from the settings, and is offered in the output folder
// (else beside the first source) under the day's date.
TEST_F(FrmMainTest, TheSavedReportTakesTheLanguageTheStationsFieldsAndADatedName) {
    EXPECT_EQ(ReportFileName(2026, 3, 7), "sonivate-report-2026-03-07.pdf");
    EXPECT_EQ(ReportStartFolder(AppDir(), File("a.wav")), AppDir());
    EXPECT_EQ(ReportStartFolder(File("no-such-folder"), File("a.wav")), fs::path(File("a.wav")).parent_path().string());
    EXPECT_EQ(ReportStartFolder("", ""), "");

    JapaneseAfter restore;
    ASSERT_TRUE(InstallLanguage(*QCoreApplication::instance(), UiLanguage::English));
    WriteIniValue("ReportStation", "Studio 3", IniPath());
    WriteIniValue("ReportClient", "Spring Foods", IniPath());
    AnsweringDialogs dialogs;
    SetDialogService(&dialogs);
    FrmMain& w = Open({WriteTone(File("promo.wav"), 2.0, -30)});
    PressStartAndWait();
    bool saved = false;
    QObject::connect(&w, &FrmMain::ReportSaved, [&](bool pOk, const QString&) { saved = pOk; });
    const std::string out = File("reports");
    fs::create_directories(out);
    w.TextSoundPath()->SetText(out);
    dialogs.Answer = File("reports/batch.html");
    w.SaveReport();
    const QDate today = QDate::currentDate();
    EXPECT_EQ(dialogs.Start, out + "/" + ReportFileName(today.year(), today.month(), today.day()));
    ASSERT_TRUE(WaitFor([&] { return saved; }));
    const test::Bytes bytes = test::ReadBytes(File("reports/batch.html"));
    const std::string html(bytes.begin(), bytes.end());
    EXPECT_TRUE(Contains(html, "Studio 3"));
    EXPECT_TRUE(Contains(html, "Spring Foods"));
    EXPECT_TRUE(Contains(html, "Station")) << "the report's own words in English";
    EXPECT_FALSE(Contains(html, "担当者"));
    EXPECT_TRUE(StartsWith(w.StatusText(), "Report saved: "));
    // No operator in the settings: the login's full name, else its login name.
    const std::string login = platform::LoginFullName();
    ASSERT_FALSE(login.empty());
    EXPECT_TRUE(Contains(html, "<th>Operator</th><td>" + login + "</td>")) << login;

    // The list menu's form sets the five fields, kept for the next report.
    dialogs.Fields = {"Aiko Sato", "JOAX", "Spring CM", "Spring Foods", "2nd delivery"};
    QMenu* menu = (w.OpenListMenu(w.mapToGlobal(QPoint(40, 40))), w.ListMenu());
    QAction* fields = Action(menu, "report-fields");
    ASSERT_NE(fields, nullptr);
    EXPECT_TRUE(fields->isEnabled());
    fields->trigger();
    menu->hide();
    ASSERT_EQ(dialogs.FieldValues.size(), 5U);
    EXPECT_EQ(dialogs.FieldValues[1], "Studio 3") << "the form opens with what the settings hold";
    EXPECT_EQ(dialogs.FieldValues[0], "");
    EXPECT_EQ(Stored("ReportProgramme"), "Spring CM");
    saved = false;
    ASSERT_TRUE(w.SaveReportTo(File("reports/second.html")));
    ASSERT_TRUE(WaitFor([&] { return saved; }));
    const test::Bytes second = test::ReadBytes(File("reports/second.html"));
    const std::string page(second.begin(), second.end());
    for (const std::string& field : *dialogs.Fields) EXPECT_TRUE(Contains(page, field)) << field;
    EXPECT_TRUE(Contains(page, "<th>Operator</th><td>Aiko Sato</td>"));
    // Cancelled: nothing changes.
    dialogs.Fields.reset();
    w.OpenListMenu(w.mapToGlobal(QPoint(40, 40)));
    Action(w.ListMenu(), "report-fields")->trigger();
    w.ListMenu()->hide();
    EXPECT_EQ(Stored("ReportOperator"), "Aiko Sato");
    SetDialogService(nullptr);
}

// ---- Clip avoidance's action, the tolerance, the profile line ------------------------------

// A quiet tone with three near-full-scale clicks: the gain to -24 LKFS
// brings the clicks a few dB over -1 dBTP, which the limiter can take.
std::string WriteToneWithClicks(const std::string& pPath) {
    constexpr std::int32_t kClick = 23000;  // about -3 dBFS
    test::Samples samples = test::Sine(4 * kRate, 2, 997.0, -30, 16);
    for (std::size_t n = kRate; n < samples.size(); n += kRate) samples[n] = samples[n + 1] = kClick;
    return test::WriteWav(pPath, test::WavSpec{}, samples);
}

QMenu* SubMenu(FrmMain& pWindow, const char* pName) {
    pWindow.OpenListMenu(pWindow.mapToGlobal(QPoint(40, 40)));
    return pWindow.ListMenu()->findChild<QMenu*>(pName);
}

// Picks the entry pEntry of the list menu's submenu pName and closes the menu.
void Choose(FrmMain& pWindow, const char* pName, const std::string& pEntry) {
    QMenu* menu = SubMenu(pWindow, pName);
    ASSERT_NE(menu, nullptr) << pName;
    QAction* action = Action(menu, pEntry);
    ASSERT_NE(action, nullptr) << pEntry;
    ASSERT_TRUE(action->isEnabled() && menu->menuAction()->isEnabled()) << pEntry;
    action->trigger();
    pWindow.ListMenu()->hide();
}

TEST_F(FrmMainTest, ClipAvoidanceLimitsOrLowersARedRowFromTheMenuAndEveryFaceSaysWhatWasDone) {
    const std::string clicks = WriteToneWithClicks(File("CM_clicks.wav"));
    const std::string hot = WriteHotPeaks(File("CM_hot_peaks.wav"));
    const std::string out = File("out");
    fs::create_directories(out);
    FrmMain& w = Open({clicks, hot});
    SetOutput(out, true);
    QMenu* clip = SubMenu(w, "clip");
    ASSERT_NE(clip, nullptr);
    EXPECT_TRUE(clip->menuAction()->isEnabled());
    EXPECT_TRUE(Action(clip, "clip:skip")->isChecked()) << "today's clip avoidance by default";
    w.ListMenu()->hide();

    // The limiter: the clicks' copy is written at the full gain under the
    // profile's ceiling; the hot peaks would need more than it may take.
    ASSERT_TRUE(w.ChooseProfile("atsc-a85"));
    Choose(w, "clip", "clip:limit");
    PressStartAndWait();
    const RowResult* limited = w.RowMeasurement(0);
    ASSERT_NE(limited, nullptr);
    EXPECT_EQ(w.Outcome(0), RowOutcome::Written);
    EXPECT_EQ(w.LV()->DispColor(0), kClipColor) << "red: the full gain would clip";
    EXPECT_EQ(limited->ClipStep, ClipTaken::Limited);
    const std::optional<CopyFigures> copy = RowCopyFigures(*limited);
    ASSERT_TRUE(copy && copy->TruePeak);
    EXPECT_LE(*copy->TruePeak, -2.0 + 0.05) << "ATSC A/85's true-peak maximum is the ceiling";
    std::string tip = w.RowToolTip(0, kColumnLKFS);
    EXPECT_TRUE(StartsWith(tip, "書き出しました\n")) << "the copy does not clip: " << tip;
    EXPECT_TRUE(Contains(tip, "リミッターでクリップを回避: 適用ゲイン +")) << tip;
    EXPECT_TRUE(Contains(tip, "最大リダクション") && Contains(tip, "1 dB超")) << tip;
    w.ShowDetails(0);
    ASSERT_NE(w.Details(), nullptr);
    EXPECT_TRUE(Contains(w.Details()->Details().OutcomeText, "リミッターでクリップを回避"));
    EXPECT_EQ(w.Details()->FigureText(DetailsFigure::Gain, DetailsColumn::Copy).toStdString(),
              "+" + FormatFixed(limited->AppliedGain, 2))
        << "the gain the copy was written with, make-up included";
    EXPECT_TRUE(w.Details()->grab().toImage().save(QString::fromStdString(ScreenshotDir() + "/details-limited.png")));
    w.Details()->close();
    EXPECT_EQ(w.Outcome(1), RowOutcome::Skipped);
    EXPECT_TRUE(Contains(w.RowToolTip(1, kColumnLKFS), "リミッターに必要なリダクション")) << w.RowToolTip(1, 2);

    // Lowering the gain instead meets the ceiling below the target.
    Choose(w, "clip", "clip:lower");
    PressStartAndWait();
    const RowResult* lowered = w.RowMeasurement(0);
    ASSERT_NE(lowered, nullptr);
    EXPECT_EQ(lowered->ClipStep, ClipTaken::Lowered);
    EXPECT_LT(lowered->AppliedGain, std::stod(Cell(0, kColumnGain)));
    tip = w.RowToolTip(0, kColumnLKFS);
    EXPECT_TRUE(Contains(tip, "ゲインを下げてクリップを回避")) << tip;
    EXPECT_FALSE(Contains(tip, "リミッター")) << tip;

    // Without clip avoidance the copy is clipped, as before, and the menu's choice waits.
    ClickCheck(*w.CheckNoClip());
    ASSERT_FALSE(w.CheckNoClip()->Value() == 1);
    EXPECT_FALSE(SubMenu(w, "clip")->menuAction()->isEnabled());
    w.ListMenu()->hide();
    PressStartAndWait();
    EXPECT_EQ(w.RowMeasurement(0)->ClipStep, ClipTaken::Clipped);
    EXPECT_TRUE(Contains(w.RowToolTip(0, kColumnLKFS), "クリップしたまま書き出し"));
    CloseAndWait();
    EXPECT_EQ(ReadRegValue("ClipAction", "<missing>"), "lower");
}

TEST_F(FrmMainTest, ATolerancefromTheMenuLeavesAFileOnTargetByteForByte) {
    const std::string source = WriteTone(File("on_target.wav"), 2.0, -20);
    const std::string out = File("out");
    fs::create_directories(out);
    FrmMain& w = Open({source});
    PressStartAndWait();
    // The target one decimal off the measured loudness: a gain of at most 0.05 dB.
    const double measured = std::stod(Cell(0, kColumnLKFS));
    w.TextTargetLKFS()->setText(QString::fromStdString(FormatFixed(measured, 1)));
    SetOutput(out, true);
    QMenu* tolerance = SubMenu(w, "tolerance");
    ASSERT_NE(tolerance, nullptr);
    EXPECT_TRUE(Action(tolerance, "tolerance:0")->isChecked()) << "off by default";
    w.ListMenu()->hide();
    Choose(w, "tolerance", "tolerance:0.1");
    PressStartAndWait();
    const RowResult* result = w.RowMeasurement(0);
    ASSERT_NE(result, nullptr);
    EXPECT_TRUE(result->WithinTolerance);
    EXPECT_EQ(w.Outcome(0), RowOutcome::Written);
    EXPECT_EQ(test::ReadBytes(out + "/on_target.wav"), test::ReadBytes(source));
    EXPECT_TRUE(Contains(w.RowToolTip(0, kColumnLKFS), "目標値の許容範囲内: 元のまま"));
    w.ShowDetails(0);
    EXPECT_TRUE(Contains(w.Details()->Details().OutcomeText, "目標値の許容範囲内"));
    EXPECT_EQ(w.Details()->FigureText(DetailsFigure::Gain, DetailsColumn::Copy).toStdString(), "+0.00");
    CloseAndWait();
    EXPECT_EQ(ReadRegValue("Tolerance", "<missing>"), "0.1");

    // The next start offers what the settings hold, a value of the file's own too.
    WriteIniValue("Tolerance", "0.3", IniPath());
    FrmMain& again = Open();
    QMenu* stored = SubMenu(again, "tolerance");
    ASSERT_NE(Action(stored, "tolerance:0.3"), nullptr);
    EXPECT_TRUE(Action(stored, "tolerance:0.3")->isChecked());
    again.ListMenu()->hide();
}

// WCAG 2's relative luminance of an sRGB colour, and the contrast of two.
double Luminance(QRgb pColour) {
    const auto channel = [](int pValue) {
        const double c = pValue / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(pColour)) + 0.7152 * channel(qGreen(pColour)) + 0.0722 * channel(qBlue(pColour));
}
double Contrast(QRgb pA, QRgb pB) {
    const double a = Luminance(pA), b = Luminance(pB);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

TEST_F(FrmMainTest, TheProfileLineCountsPassesRedRowsSayWhyAndFilesComeFromCtrlO) {
    const std::vector<std::string> files = {WriteCommercial(File("CM_a.wav"), 6.0, -18),
                                            WriteInterSamplePeaks(File("CM_isp.wav"))};
    FrmMain& w = Open(files);
    ASSERT_NE(w.ProfileLine(), nullptr);
    EXPECT_EQ(w.ProfileLine()->text().toStdString(), "配信基準: なし");
    // The profiles by their standards' names; the setting keeps the code.
    QMenu* profiles = SubMenu(w, "profiles");
    ASSERT_NE(profiles, nullptr);
    EXPECT_EQ(Action(profiles, "profile:arib-tr-b32")->text().toStdString(), "ARIB TR-B32");
    EXPECT_EQ(Action(profiles, "profile:atsc-a85")->text().toStdString(), "ATSC A/85");
    Action(profiles, "profile:arib-tr-b32")->trigger();
    w.ListMenu()->hide();
    EXPECT_EQ(w.ProfileSetting(), "arib-tr-b32");
    EXPECT_EQ(w.ProfileLine()->text().toStdString(), "配信基準: ARIB TR-B32");

    // wav出力 off: the inter-sample peaks' row is red and its tooltip says
    // why, by its true peak; the line counts the copies that would pass.
    PressStartAndWait();
    EXPECT_EQ(w.ProfileLine()->text().toStdString(), "ARIB TR-B32: 1/2 合格");
    EXPECT_EQ(w.LV()->DispColor(1), kClipColor);
    const std::string tip = w.RowToolTip(1, kColumnLKFS);
    EXPECT_TRUE(Contains(tip, "のままではトゥルーピークが +") && Contains(tip, "dBTP になりクリップします")) << tip;
    EXPECT_TRUE(w.RowToolTip(0, kColumnLKFS).find("クリップ") == std::string::npos);
    // The line sits on the target's row, clear of every control, its text within it.
    const QRect line = w.ProfileLine()->geometry();
    for (const QWidget* control : std::initializer_list<const QWidget*>{
             w.TextTargetLKFS(), w.ComboFromTo(1), w.CheckWavOutput(), w.CtrButtons(), w.ProgBar()})
        EXPECT_FALSE(line.intersects(control->geometry())) << control->metaObject()->className();
    EXPECT_LE(TextWidth(w.ProfileLine()->font(), w.ProfileLine()->text()), line.width());

    // Ctrl+O and the menu's folder entry add through the dialog service.
    AnsweringDialogs dialogs;
    SetDialogService(&dialogs);
    fs::create_directories(File("more"));
    const std::string extra = WriteTone(File("more/late_spot.wav"), 1.0, -20);
    WriteTone(File("more/later_spot.wav"), 1.0, -20);
    dialogs.Answer = extra;
    QApplication::setActiveWindow(&w);
    QTest::keyClick(w.LV(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(dialogs.Asked, 1);
    EXPECT_TRUE(Contains(dialogs.Filters, "*.wav")) << dialogs.Filters;
    EXPECT_EQ(Titles(), (std::vector<std::string>{"CM_a", "CM_isp", "late_spot"}));
    EXPECT_EQ(w.ProfileLine()->text().toStdString(), "ARIB TR-B32: 1/3 合格") << "a row not measured is not delivered";
    QMenu* menu = (w.OpenListMenu(w.mapToGlobal(QPoint(40, 40))), w.ListMenu());
    EXPECT_TRUE(Contains(Action(menu, "add-files")->text().toStdString(), "Ctrl+O"));
    dialogs.Answer = File("more");
    Action(menu, "add-folder")->trigger();
    menu->hide();
    EXPECT_EQ(w.LV()->ItemCount(), 5) << "the folder's two files, the list sorted by title";
    // A delivery of several spots is chosen at once.
    dialogs.Answers = {WriteTone(File("spot_x.wav"), 1.0, -20), WriteTone(File("spot_y.wav"), 1.0, -20)};
    QTest::keyClick(w.LV(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(w.LV()->ItemCount(), 7) << "both files of one choice";
    SetDialogService(nullptr);

    // The status line's text stands out from every shade of its gradient, idle and running.
    UC_TextPicture& status = *w.PictureInfo();
    for (const auto& [set, colours] :
         {std::pair{kColourSetIdle, kStatusColoursIdle}, std::pair{kColourSetRunning, kStatusColoursRunning}}) {
        status.DispMes(0, "");
        status.SetColor(set, true);
        const QImage panel = status.Panel().Image();
        const QRgb text = qRgb(colours.Text & 0xFF, (colours.Text >> 8) & 0xFF, (colours.Text >> 16) & 0xFF);
        double worst = 100.0;
        // Inside the panel's two outline pixels, where the text is drawn.
        constexpr int kOutline = 2;
        for (int y = kOutline; y < panel.height() - kOutline; ++y)
            for (int x = kOutline; x < panel.width() - kOutline; ++x)
                worst = std::min(worst, Contrast(text, panel.pixel(x, y)));
        EXPECT_GE(worst, kStatusMinimumContrast) << set;
    }
}

TEST_F(FrmMainTest, TheFiguresSortAsNumbersWhenTheirHeaderIsClicked) {
    FrmMain& w = Open(
        {WriteTone(File("a.wav"), 1.0, -8), WriteTone(File("b.wav"), 1.0, -25), WriteTone(File("c.wav"), 1.0, -40)});
    PressStartAndWait();
    // "-5.xx", "-22.xx", "-37.xx": as text "-22" < "-37" < "-5".
    // The widths are twips; the click is in the header's pixels.
    const QPoint caption((w.LV()->TabWidth(kColumnTitle) + w.LV()->TabWidth(kColumnLength)) / TwipsPerPixel() + 10, 5);
    // By number one way, then the other (as text, b c a or a c b).
    const std::vector<std::string> quietFirst = {"c", "b", "a"}, loudFirst = {"a", "b", "c"};
    QTest::mouseClick(w.LV()->HeaderWidget(), Qt::LeftButton, {}, caption);
    EXPECT_EQ(w.LV()->OrderData(), kColumnLKFS);
    const std::vector<std::string> first = Titles();
    EXPECT_TRUE(first == quietFirst || first == loudFirst) << first[0] << first[1] << first[2];
    QTest::mouseClick(w.LV()->HeaderWidget(), Qt::LeftButton, {}, caption);
    EXPECT_EQ(Titles(), first == quietFirst ? loudFirst : quietFirst);
}

TEST_F(FrmMainTest, TheMenuRunsOnlyTheSelectedRowsOrThoseNotYetMeasured) {
    FrmMain& w = Open(
        {WriteTone(File("a.wav"), 1.0, -20), WriteTone(File("b.wav"), 1.0, -22), WriteTone(File("c.wav"), 1.0, -24)});
    for (std::int32_t row = 0; row < 3; ++row) w.LV()->SetIsSelected(row, row == 1 ? 1 : 0);
    auto run = [&](const char* pEntry) {
        w.OpenListMenu(w.mapToGlobal(QPoint(40, 40)));
        QAction* action = Action(w.ListMenu(), pEntry);
        ASSERT_TRUE(action->isEnabled()) << pEntry;
        action->trigger();
        w.ListMenu()->hide();
        ASSERT_TRUE(WaitFor([&] { return !window->Running(); }));
    };
    run("run-selected");
    EXPECT_FALSE(Cell(1, kColumnLKFS).empty());
    EXPECT_TRUE(Cell(0, kColumnLKFS).empty() && Cell(2, kColumnLKFS).empty()) << "only the selected row";
    EXPECT_TRUE(Contains(w.StatusText(), "1")) << w.StatusText();
    const std::string first = w.RowToolTip(1, kColumnLKFS);

    run("run-unmeasured");
    for (std::int32_t row = 0; row < 3; ++row) EXPECT_FALSE(Cell(row, kColumnLKFS).empty()) << row;
    EXPECT_EQ(w.RowToolTip(1, kColumnLKFS), first) << "a row outside the run keeps its outcome";
    w.OpenListMenu(w.mapToGlobal(QPoint(40, 40)));
    EXPECT_FALSE(Action(w.ListMenu(), "run-unmeasured")->isEnabled()) << "nothing left to measure";
    w.ListMenu()->hide();
}

TEST_F(FrmMainTest, TabSkipsTheOutputFolderAndItsButtonWhileTheyAreGreyed) {
    FrmMain& w = Open();
    ASSERT_EQ(w.CheckWavOutput()->Value(), 0);
    ASSERT_FALSE(w.TextSoundPath()->Enabled());
    QApplication::setActiveWindow(&w);
    w.CheckWavOutput()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), w.TextSoundPath()->TextPath());
    EXPECT_EQ(QApplication::focusWidget(), w.CtrButtons()) << "clip avoidance is greyed with them";
}

// ---- Scale and sorting of the optional columns ------------------------------------------------

// The first and the last pixel row of row pRow's icon in the list's item
// picture (rows white, none selected), relative to the row's top.
std::pair<int, int> IconRows(const UC_ListView& pList, std::int32_t pRow) {
    const Picture& picture = pList.PictureList();
    const int rowPixels = pList.OneHeight() / TwipsPerPixel();
    const int top = pRow * rowPixels;
    int first = -1, last = -1;
    for (int y = top; y < top + rowPixels; ++y)
        for (int x = 0; x < pList.ScaledPixels(2) + pList.IconPixels(); ++x) {
            if ((picture.GetPixel(x, y) & 0xFFFFFF) == 0xFFFFFF) continue;
            if (first < 0) first = y - top;
            last = y - top;
        }
    return {first, last};
}

// The window at SizeRate 1.5 draws its list's icons and header at that
// scale, never left at the design size.
TEST_F(FrmMainTest, AtSizeRateOneAndAHalfTheListsIconsAndHeaderGrowWithTheWindow) {
    const std::string file = WriteTone(File("a.wav"), 1.0, -20);
    int header = 0;
    int icon = 0;
    for (const char* rate : {"1.0", "1.5"}) {
        SCOPED_TRACE(rate);
        FrmMain& w = Open({std::string("SizeRate=") + rate, file});
        ASSERT_FLOAT_EQ(w.LV()->SizeRate(), std::stof(rate));
        w.LV()->UnSelectAll();
        w.LV()->ReDraw();
        const auto [first, last] = IconRows(*w.LV(), 0);
        ASSERT_GE(first, 0) << "an icon is drawn";
        if (header == 0) {
            EXPECT_EQ(w.LV()->IconPixels(), 16);
            header = w.LV()->HeaderRect().height();
            icon = last - first + 1;
        } else {
            EXPECT_EQ(w.LV()->IconPixels(), 24);
            EXPECT_GE((last - first + 1) * 10, icon * 14) << "the drawn icon grows with the window";
            EXPECT_GE(w.LV()->HeaderRect().height() * 10, header * 14) << "the header's text grows too";
        }
        window.reset();
    }
}

TEST_F(FrmMainTest, AnOptionalFiguresColumnSortsAsNumbers) {
    FrmMain& w = Open(
        {WriteTone(File("a.wav"), 1.0, -8), WriteTone(File("b.wav"), 1.0, -25), WriteTone(File("c.wav"), 1.0, -40)});
    w.ShowColumn(kColumnTruePeak, true);
    PressStartAndWait();
    // About -8, -25 and -40 dBTP: as text "-25" < "-40" < "-8".
    std::int32_t left = 0;
    for (std::int32_t c = 0; c < kColumnTruePeak; ++c) left += w.LV()->TabWidth(c);
    const QPoint caption(left / TwipsPerPixel() + 10, 5);
    const std::vector<std::string> quietFirst = {"c", "b", "a"}, loudFirst = {"a", "b", "c"};
    QTest::mouseClick(w.LV()->HeaderWidget(), Qt::LeftButton, {}, caption);
    EXPECT_EQ(w.LV()->OrderData(), kColumnTruePeak);
    const std::vector<std::string> first = Titles();
    EXPECT_TRUE(first == quietFirst || first == loudFirst) << first[0] << first[1] << first[2];
    QTest::mouseClick(w.LV()->HeaderWidget(), Qt::LeftButton, {}, caption);
    EXPECT_EQ(Titles(), first == quietFirst ? loudFirst : quietFirst);
}

// ---- Surround files, encoded audio, files already on target ----------------------------------

// Pa, Pb and the burst info of SMPTE ST 337 in 16-bit words on the first
// channel pair, a Dolby E burst every 40 ms with random payload words.
void AddEncodedBursts(test::Samples& pSamples, std::int16_t pChannels) {
    constexpr std::int32_t kPa = 0xF872 - 0x10000;  // as a signed 16-bit sample
    constexpr std::int32_t kPb = 0x4E1F;
    constexpr std::int32_t kDolbyE = 28;
    constexpr std::int64_t kPeriod = kRate / 25;
    const std::int64_t frames = static_cast<std::int64_t>(pSamples.size()) / pChannels;
    std::uint32_t noise = 7;
    for (std::int64_t start = 0; start + kPeriod <= frames; start += kPeriod) {
        std::vector<std::int32_t> words = {kPa, kPb, kDolbyE, static_cast<std::int32_t>((kPeriod / 2 * 16) & 0x7FFF)};
        for (std::int64_t k = 0; k < kPeriod / 2; ++k) {
            noise = noise * 1664525u + 1013904223u;
            words.push_back(static_cast<std::int32_t>(noise >> 16) - 0x8000);
        }
        for (std::size_t k = 0; k < words.size(); ++k)
            pSamples[static_cast<std::size_t>((start + static_cast<std::int64_t>(k / 2)) * pChannels +
                                              static_cast<std::int64_t>(k % 2))] = words[k];
    }
}

// 5.1 as plain PCM and 7.1 with its channel mask are listed, measured and
// written as stereo is; their downmix's true peak is an optional column and
// a figure of the details, which a stereo row leaves empty.
TEST_F(FrmMainTest, SurroundFilesAreWrittenAndShowTheirDownmixPeak) {
    test::WavSpec extensible;
    extensible.channels = 8;
    extensible.formatTag = 0xFFFE;
    const std::string five = WriteTone(File("CM_51.wav"), 2.0, -30, 6);
    const std::string seven = test::WriteWav(File("CM_71.wav"), extensible, test::Sine(2 * kRate, 8, 997.0, -30, 16));
    const std::string stereo = WriteTone(File("CM_20.wav"), 2.0, -30);
    const std::string out = File("out");
    fs::create_directories(out);
    FrmMain& w = Open({stereo, five, seven});
    ASSERT_EQ(Titles(), (std::vector<std::string>{"CM_20", "CM_51", "CM_71"}));
    w.ShowColumn(kColumnDownmixTruePeak, true);
    SetOutput(out, true);
    PressStartAndWait();
    for (std::int32_t row = 0; row < 3; ++row) {
        EXPECT_EQ(w.Outcome(row), RowOutcome::Written) << row << " " << w.RowToolTip(row, kColumnLKFS);
        EXPECT_EQ(test::ReadBytes(out + "/" + Titles()[static_cast<std::size_t>(row)] + ".wav").size(),
                  test::ReadBytes(w.LV()->AuxID(row, kAuxPath).AsText()).size());
    }
    // Every channel carries the same tone: the fold-down adds the centre and
    // the surrounds at -3 dB, 20 lg(1 + 2 x 0.7071) dB above the tone's true
    // peak for 5.1, 20 lg(1 + 3 x 0.7071) dB for 7.1 with its back pair.
    EXPECT_EQ(Cell(0, kColumnDownmixTruePeak), "") << "stereo has no downmix";
    const double truePeak51 = std::stod(Cell(1, kColumnTruePeak));
    EXPECT_NEAR(std::stod(Cell(1, kColumnDownmixTruePeak)), truePeak51 + 20.0 * std::log10(1.0 + 2 * 0.7071), 0.05);
    EXPECT_NEAR(std::stod(Cell(2, kColumnDownmixTruePeak)),
                std::stod(Cell(2, kColumnTruePeak)) + 20.0 * std::log10(1.0 + 3 * 0.7071), 0.05);
    w.ShowDetails(1);
    ASSERT_NE(w.Details(), nullptr);
    EXPECT_EQ(w.Details()->FigureText(DetailsFigure::DownmixTruePeak, DetailsColumn::Source).toStdString(),
              Cell(1, kColumnDownmixTruePeak));
    EXPECT_TRUE(w.Details()->FigureShown(DetailsFigure::DownmixTruePeak));
    EXPECT_TRUE(w.Details()->grab().toImage().save(QString::fromStdString(ScreenshotDir() + "/details-surround.png")));
    w.Details()->close();
    w.LV()->ReDraw();
    EXPECT_TRUE(w.grab().toImage().save(QString::fromStdString(ScreenshotDir() + "/window-surround.png")));
}

// A quiet 5.1 tone with clicks in step on L, C and Ls: at the gain to -24
// LKFS every channel stays well under ARIB TR-B32's -1 dBTP, the stereo
// downmix (L + 0.7071 C + 0.7071 Ls) goes over it. A note, never a failure.
TEST_F(FrmMainTest, ASurroundDownmixOverTheCeilingIsNotedButPasses) {
    constexpr std::int16_t kChannels = 6;
    constexpr std::int32_t kClick = 2800;          // about -21.4 dBFS: about -5 dBTP at the gain
    constexpr int kClickedChannels[] = {0, 2, 4};  // L, C, Ls in the usual WAV order
    test::WavSpec five;
    five.channels = kChannels;
    test::Samples samples = test::Sine(2 * kRate, kChannels, 997.0, -45, 16);
    for (std::size_t frame = kRate / 4; frame < 2 * kRate; frame += kRate / 2)
        for (const int channel : kClickedChannels) samples[frame * kChannels + channel] = kClick;
    FrmMain& w = Open({test::WriteWav(File("CM_51_clicks.wav"), five, samples)});
    ASSERT_TRUE(w.ChooseProfile("arib-tr-b32"));
    PressStartAndWait();
    const RowResult* result = w.RowMeasurement(0);
    ASSERT_NE(result, nullptr);
    ASSERT_TRUE(result->Broadcast && result->Broadcast->TruePeak && result->Broadcast->DownmixTruePeak);
    const double gain = std::stod(Cell(0, kColumnGain));
    ASSERT_LT(gain + *result->Broadcast->TruePeak, -1.0) << "every channel within the ceiling";
    ASSERT_GT(gain + *result->Broadcast->DownmixTruePeak, -1.0) << "the downmix over it";
    EXPECT_EQ(Cell(0, kColumnVerdict), "合格");
    const std::string note = "ダウンミックスのトゥルーピークが上限を超えています（上限 -1.0 dBTP）";
    EXPECT_TRUE(Contains(w.RowToolTip(0, kColumnVerdict), note)) << w.RowToolTip(0, kColumnVerdict);
    w.ShowDetails(0);
    ASSERT_NE(w.Details(), nullptr);
    EXPECT_TRUE(StartsWith(w.Details()->FieldText(DetailsField::CopyVerdict).toStdString(), "合格\n" + note))
        << w.Details()->FieldText(DetailsField::CopyVerdict).toStdString();
    // The source's own downmix is under the ceiling: no note there.
    ASSERT_LT(*result->Broadcast->DownmixTruePeak, -1.0);
    EXPECT_FALSE(Contains(w.Details()->FieldText(DetailsField::SourceVerdict).toStdString(), "ダウンミックス"));
    w.Details()->close();
}

// Compressed audio carried as PCM is refused before any gain touches it.
TEST_F(FrmMainTest, EncodedAudioIsARedCrossNeverACopy) {
    test::WavSpec five;
    five.channels = 6;
    test::Samples samples = test::Sine(2 * kRate, 6, 997.0, -30, 16);
    AddEncodedBursts(samples, 6);
    const std::string file = test::WriteWav(File("dolby_e.wav"), five, samples);
    const std::string out = File("out");
    fs::create_directories(out);
    FrmMain& w = Open({file});
    ASSERT_EQ(w.LV()->ItemCount(), 1);
    SetOutput(out, true);
    PressStartAndWait();
    EXPECT_EQ(w.Outcome(0), RowOutcome::Failed);
    EXPECT_EQ(w.LV()->IconType(0), kListIconFailed);
    EXPECT_TRUE(
        StartsWith(w.RowToolTip(0, kColumnLKFS), ReasonText(RowReason::EncodedAudio, MessageLanguage::Japanese)))
        << w.RowToolTip(0, kColumnLKFS);
    EXPECT_TRUE(Cell(0, kColumnLKFS).empty()) << "nothing measured";
    EXPECT_FALSE(fs::exists(out + "/dolby_e.wav"));
}

// In place (an empty 出力先), a file within the tolerance is not touched:
// the same inode, modification time and bytes.
TEST_F(FrmMainTest, InPlaceAFileWithinTheToleranceIsLeftUntouched) {
    const std::string source = WriteTone(File("on_target.wav"), 2.0, -20);
    FrmMain& w = Open({source});
    PressStartAndWait();
    w.TextTargetLKFS()->setText(QString::fromStdString(FormatFixed(std::stod(Cell(0, kColumnLKFS)), 1)));
    SetOutput("", true);
    Choose(w, "tolerance", "tolerance:0.1");
    struct stat before {};
    ASSERT_EQ(::stat(source.c_str(), &before), 0);
    const test::Bytes bytes = test::ReadBytes(source);
    PressStartAndWait();
    const RowResult* result = w.RowMeasurement(0);
    ASSERT_NE(result, nullptr);
    EXPECT_TRUE(result->WithinTolerance);
    EXPECT_EQ(w.Outcome(0), RowOutcome::Written) << w.RowToolTip(0, kColumnLKFS);
    struct stat after {};
    ASSERT_EQ(::stat(source.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(test::ReadBytes(source), bytes);
}

}  // namespace
}  // namespace sonivate
