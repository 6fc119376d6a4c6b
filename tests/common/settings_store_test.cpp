#include "common/settings_store.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>
#include <unistd.h>

#include "common/error_trap.h"
#include "support/scratch.h"

namespace sonivate {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const std::string& pPath) {
    std::ifstream in(pPath, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string& pPath, const std::string& pContent) {
    std::ofstream(pPath, std::ios::binary) << pContent;
}

std::vector<std::string> Names(const std::string& pFolder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(pFolder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class Settings : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(App());
        SetSettingsFolder(App());
        SetUserConfigBase(Config());
        SetAppTitle("sonivate");
        SetIniFilePath("");
        SetErrorCatch(0);
    }
    void TearDown() override {
        SetSettingsFolder("");
        SetUserConfigBase("");
        SetIniFilePath("");
    }
    std::string App() const { return scratch.file("app/"); }
    std::string Config() const { return scratch.file("config"); }
    std::string Ini() const { return App() + "sonivate.ini"; }
    std::string Key() const { return Config() + "/kovantel/sonivate"; }

    test::ScratchDir scratch;
};

TEST_F(Settings, IniBackEndAddsMissingKeysAndKeepsEveryOtherByte) {
    const std::string original =
        "\xEF\xBB\xBF; written by hand\r\n"
        "[other]\r\n"
        "TargetLKFS=-10\r\n"
        "\r\n"
        "[Conf]\r\n"
        "  soundpath = \"/srv/out\"  \r\n"
        "MesureFrom=BC$START\r\n"
        "\r\n"
        "[tail]\r\n"
        "x = 1";
    WriteFile(Ini(), original);
    ASSERT_EQ(DecideIniFilePath(), Ini());

    // A missing key reads its default and is added to the section, after its last line.
    EXPECT_EQ(LoadSetting("TargetLKFS", "-24.0"), "-24.0");
    std::string expected = original;
    expected.insert(expected.find("\r\n\r\n[tail]") + 2, "TargetLKFS=-24.0\r\n");
    EXPECT_EQ(ReadFile(Ini()), expected);

    // Keys and sections match in any case; values lose blanks and quotes.
    EXPECT_EQ(LoadSetting("SoundPath", "unused"), "/srv/out");
    EXPECT_EQ(ReadIniValue("x", "", "", "TAIL"), "1");

    // Replacing a value keeps the line's key text; the empty value is "***".
    StoreSetting("SoundPath", "");
    expected.replace(expected.find(" \"/srv/out\"  "), 13, "***");
    EXPECT_EQ(ReadFile(Ini()), expected);
    EXPECT_EQ(LoadSetting("SoundPath", "default"), "");

    // A stored "ISDEFAULT" is the missing-key marker.
    StoreSetting("MesureFrom", "ISDEFAULT");
    EXPECT_EQ(LoadSetting("MesureFrom", "ファイル先頭"), "ファイル先頭");
    EXPECT_EQ(ReadIniValue("MesureFrom", "x"), "ファイル先頭");

    // A new section goes to the end, after a line ending for the last line.
    EXPECT_EQ(WriteIniValue("k", 5, "", "新しい"), 1);
    const std::string tail = "x = 1\r\n[新しい]\r\nk=5\r\n";
    const std::string now = ReadFile(Ini());
    ASSERT_GE(now.size(), tail.size());
    EXPECT_EQ(now.substr(now.size() - tail.size()), tail);
    EXPECT_EQ(ReadIniValue("k", "", "", "新しい"), "5");
}

TEST_F(Settings, IniValueLimitsAndLineBreaks) {
    SetIniFilePath(Ini());
    const std::string longest(254, 'a');
    StoreSetting("SoundPath", longest);
    EXPECT_EQ(LoadSetting("SoundPath", ""), longest);

    // What would not read back whole is refused; the stored value stays.
    const std::string before = ReadFile(Ini());
    EXPECT_EQ(WriteIniValue("SoundPath", std::string(255, 'b')), 0);
    EXPECT_EQ(WriteIniValue("SoundPath", "/one\nTargetLKFS=0"), 0);
    EXPECT_EQ(WriteIniValue("SoundPath", "/one\r"), 0);
    EXPECT_EQ(WriteIniValue("Sound\nPath", "x"), 0);
    EXPECT_EQ(ReadFile(Ini()), before);

    // A longer value written by hand is cut to 254 bytes on a character boundary.
    std::string kana;
    for (int i = 0; i < 100; ++i) kana += "あ";
    WriteFile(Ini(), "[conf]\nSoundPath=" + kana + "\n");
    EXPECT_EQ(LoadSetting("SoundPath", ""), kana.substr(0, 252));

    // Numbers become the text a form shows.
    StoreSetting("SizeRate", 1.5f);
    StoreSetting("WavOutput", 1);
    StoreSetting("Whole", 1.0);
    EXPECT_EQ(LoadSetting("SizeRate", ""), "1.5");
    EXPECT_EQ(LoadSetting("WavOutput", ""), "1");
    EXPECT_EQ(LoadSetting("Whole", ""), "1");
}

TEST_F(Settings, PerUserStoreRoundTripsAtomicallyAndWritesNothingOnRead) {
    // Without the ini file every setting goes to the per-user store.
    WriteFile(Ini(), "[conf]\n");
    EXPECT_EQ(LoadSetting("TargetLKFS", "-24.0"), "-24.0");
    EXPECT_FALSE(fs::exists(Config())) << "a read writes nothing";
    EXPECT_EQ(ReadFile(Ini()), "[conf]\n") << "the ini file appeared after start-up and is not used";

    StoreSetting("TargetLKFS", "-23.0");
    EXPECT_EQ(ReadFile(Key() + "/TargetLKFS"), "-23.0");
    EXPECT_EQ(LoadSetting("TargetLKFS", "-24.0"), "-23.0");
    StoreSetting("SoundPath", "");
    EXPECT_EQ(ReadFile(Key() + "/SoundPath"), "***");
    EXPECT_EQ(LoadSetting("SoundPath", "/default"), "");

    // The old file is replaced, not rewritten in place: a link to it keeps
    // the old text, and no temporary file stays behind.
    ASSERT_EQ(::link((Key() + "/TargetLKFS").c_str(), scratch.file("old").c_str()), 0);
    StoreSetting("TargetLKFS", "-20.0");
    EXPECT_EQ(ReadFile(scratch.file("old")), "-23.0");
    EXPECT_EQ(LoadSetting("TargetLKFS", ""), "-20.0");
    EXPECT_EQ(Names(Key()), (std::vector<std::string>{"SoundPath", "TargetLKFS"}));

    // Reads: 256 bytes at most, cut at NUL, spaces trimmed.
    WriteFile(Key() + "/A", std::string(256, 'x'));
    WriteFile(Key() + "/B", std::string(257, 'x'));
    WriteFile(Key() + "/C", std::string("  -18.5  \0junk", 14));
    EXPECT_EQ(ReadRegValue("A", "d"), std::string(256, 'x'));
    EXPECT_EQ(ReadRegValue("B", "d"), "d");
    EXPECT_EQ(ReadRegValue("C", "d"), "-18.5");
    EXPECT_EQ(WriteRegValue("B", std::string(257, 'y')), 0);
    EXPECT_EQ(ReadFile(Key() + "/B"), std::string(257, 'x'));
    EXPECT_EQ(WriteRegValue("A", std::string(256, 'y')), 1);

    // Key names that are no plain file name are refused.
    EXPECT_EQ(WriteRegValue("../escape", "1"), 0);
    EXPECT_EQ(WriteRegValue("", "1"), 0);
    EXPECT_EQ(ReadRegValue("..", "d"), "d");

    // Another title or an explicit key path.
    EXPECT_EQ(WriteRegValue("V", "1", "Other"), 1);
    EXPECT_EQ(ReadFile(Config() + "/kovantel/other/V"), "1");
    EXPECT_EQ(WriteRegValue("V", "2", "", RegRoot::CurrentUser, "Software\\acme\\tool"), 1);
    EXPECT_EQ(ReadRegValue("V", "", "", RegRoot::CurrentUser, "software\\acme\\tool\\"), "2");
    EXPECT_EQ(WriteRegValue("V", "3", "", RegRoot::CurrentUser, "Software\\..\\x"), 0);
}

TEST_F(Settings, ChoosingTheBackEnd) {
    std::int32_t store = 0;
    EXPECT_EQ(ChooseSettingStore("", 0, store), "sonivate");
    EXPECT_EQ(store, kStoreRegistry);
    WriteFile(Ini(), "");
    EXPECT_EQ(ChooseSettingStore("", 0, store), "sonivate") << "decided at start-up";
    EXPECT_EQ(ChooseSettingStore("", 1, store), Ini());
    EXPECT_EQ(store, kStoreIni);
    EXPECT_EQ(ChooseSettingStore("tool", 0, store), "tool");
    EXPECT_EQ(store, kStoreRegistry);
    WriteFile(App() + "tool.ini", "");
    EXPECT_EQ(ChooseSettingStore("tool", 0, store), App() + "tool.ini");
    EXPECT_EQ(store, kStoreIni);
    SetIniFilePath(Ini());
    EXPECT_EQ(ChooseSettingStore("", 0, store), Ini());

    // ErrorCatch comes from the per-user store only.
    WriteFile(Ini(), "[conf]\nErrorCatch=1\n");
    EXPECT_EQ(ErrorCatchSetting(), 0);
    WriteRegValue("ErrorCatch", 1);
    EXPECT_EQ(ErrorCatchSetting(), 1);
    WriteRegValue("ErrorCatch", "yes");
    EXPECT_EQ(ErrorCatchSetting(), 0);
}

class FakeWindow final : public PlacementWindow {
public:
    std::int32_t State = kWindowNormal;
    float L = 100, T = 200, W = 9000, H = 8000;
    std::int32_t WindowState() const override { return State; }
    void SetWindowState(std::int32_t pState) override { State = pState; }
    float Left() const override { return L; }
    float Top() const override { return T; }
    float Width() const override { return W; }
    float Height() const override { return H; }
    void SetLeft(float p) override { L = p; }
    void SetTop(float p) override { T = p; }
    void SetWidth(float p) override { W = p; }
    void SetHeight(float p) override { H = p; }
};

TEST_F(Settings, WindowPlacementStaysOnTheDesktop) {
    // 1920 x 1080 pixels at 15 twips per pixel.
    const DesktopExtent desktop{28800, 16200};
    FakeWindow window;
    window.L = 1234.5f;
    window.T = 600;
    SaveWindowPlacement(window, "", true, false);
    EXPECT_EQ(LoadSetting("WindowLeft", ""), "1234.5");
    EXPECT_EQ(LoadSetting("WindowState", ""), "0");
    EXPECT_EQ(LoadSetting("WindowWidth", "none"), "none");

    FakeWindow restored;
    RestoreWindowPlacement(restored, "", true, false, false, desktop);
    EXPECT_EQ(restored.L, 1234.0f) << "whole twips, halves to even";
    EXPECT_EQ(restored.T, 600.0f);
    EXPECT_EQ(restored.W, 9000.0f);

    const auto restoreWith = [&](const char* pLeft, const char* pTop) {
        StoreSetting("WindowLeft", pLeft);
        StoreSetting("WindowTop", pTop);
        FakeWindow w;
        RestoreWindowPlacement(w, "", true, true, false, desktop);
        return std::pair<float, float>(w.L, w.T);
    };
    EXPECT_EQ(restoreWith("30000", "-200"), std::make_pair(0.0f, 0.0f));
    EXPECT_EQ(restoreWith("28200", "15300"), std::make_pair(28200.0f, 15300.0f));
    EXPECT_EQ(restoreWith("28201", "15301"), std::make_pair(0.0f, 0.0f));
    EXPECT_EQ(restoreWith("-1", "0"), std::make_pair(0.0f, 0.0f));
    // Text that is no number leaves the window where it was.
    EXPECT_EQ(restoreWith("left", "0"), std::make_pair(100.0f, 200.0f));

    // A maximised window stores only its state; its normal position stays.
    StoreSetting("WindowLeft", "500");
    window.State = kWindowMaximized;
    window.L = -8;
    SaveWindowPlacement(window, "", false, false);
    EXPECT_EQ(LoadSetting("WindowLeft", ""), "500");
    EXPECT_EQ(LoadSetting("WindowState", ""), "2");
    EXPECT_EQ(LoadSetting("WindowHeight", "none"), "none");

    // Size and state with a prefix; a window that is not normal only gets its state.
    window.State = kWindowNormal;
    SaveWindowPlacement(window, "Sub", false, false);
    FakeWindow sub;
    sub.W = sub.H = 1;
    RestoreWindowPlacement(sub, "Sub", false, false, true, desktop);
    EXPECT_EQ(sub.W, 9000.0f);
    EXPECT_EQ(sub.H, 8000.0f);
    EXPECT_EQ(sub.L, 100.0f) << "NoPosition";
    FakeWindow minimised;
    minimised.State = kWindowMinimized;
    RestoreWindowPlacement(minimised, "", false, false, false, desktop);
    EXPECT_EQ(minimised.State, kWindowMaximized);
    EXPECT_EQ(minimised.L, 100.0f);
}

}  // namespace
}  // namespace sonivate
