// The main window driven as an operator drives it: files from the command
// line and from drops, 開始 and 中止 pressed, the window closed during a
// run, and what it stores at shutdown. Offscreen; the application folder,
// the per-user store and the message boxes are scratch ones.
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

#include "app/file_list.h"
#include "common/settings_store.h"
#include "controls/widgets/uc_bar.h"
#include "controls/widgets/uc_buttons.h"
#include "controls/widgets/uc_check.h"
#include "controls/widgets/uc_list_view.h"
#include "controls/widgets/uc_path_text.h"
#include "controls/widgets/uc_text_picture.h"
#include "gui/frm_main.h"
#include "uikit/message_box.h"
#include "uikit/ui_metrics.h"
#include "support/scratch.h"
#include "support/wavgen.h"

namespace sonivate {
namespace {

namespace fs = std::filesystem;
using test::ScratchDir;

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
    std::int32_t Run(QMessageBox& pBox) override {
        Texts.push_back(pBox.text().toStdString());
        Centres.push_back(pBox.frameGeometry().center());
        return kIdOk;
    }
};

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

    const std::vector<std::string> expected = {
        "loud 計測処理…",  "loud 書き出し処理 1/5…",  "loud 書き出し処理 3/5…",  "hot 計測処理…",
        "quiet 計測処理…", "quiet 書き出し処理 1/5…", "quiet 書き出し処理 3/5…", "終了"};
    EXPECT_EQ(statuses, expected);
    // Everything back as it was before the run.
    EXPECT_EQ(w.StatusText(), "終了");
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
        if (!pressed && pText.toStdString() == "s2 計測処理…") {
            pressed = true;
            Press(FrmMain::kButtonStop);
        }
    });
    PressStartAndWait();
    EXPECT_TRUE(pressed);
    EXPECT_TRUE(sawRunningColours);
    EXPECT_FALSE(Cell(1, kColumnLKFS).empty());
    for (std::int32_t row = 2; row < 5; ++row) EXPECT_EQ(Cell(row, kColumnLKFS), "") << row;
    EXPECT_EQ(statuses.back(), "終了");
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
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), "long 計測処理…"), 1);
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), "終了"), 1);
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

TEST_F(FrmMainTest, TargetThatIsNoNumberMeasuresNothing) {
    const std::string file = WriteTone(File("t.wav"), 1.0, -20);
    FrmMain& w = Open({file});
    w.TextTargetLKFS()->setText("");
    PressStartAndWait();
    EXPECT_EQ(Cell(0, kColumnLKFS), "");
    EXPECT_EQ(statuses, (std::vector<std::string>{"終了"}));
}

// ---- Screenshots -------------------------------------------------------------------------------

// A measured list with one red row and a run in progress, saved for a look
// (SONIVATE_SCREENSHOT_DIR) at both layout scales.
TEST_F(FrmMainTest, ScreenshotsOfAMeasuredListAndARunInProgress) {
    const char* dir = std::getenv("SONIVATE_SCREENSHOT_DIR");
    if (dir == nullptr) dir = SONIVATE_SCREENSHOT_DEFAULT;
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
            if (!shot.isNull() || pValue < 100 || statuses.empty() || statuses.back() != "programme_long 計測処理…")
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
        const std::string name = std::string(dir) + "/window-" + rate + ".png";
        EXPECT_TRUE(shot.save(QString::fromStdString(name))) << name;
        window.reset();
    }
}

}  // namespace
}  // namespace sonivate
