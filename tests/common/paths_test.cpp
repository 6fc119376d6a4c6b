#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "common/paths.h"
#include "support/fake_pump.h"
#include "support/scratch.h"
#include "support/wavgen.h"

namespace sonivate {
namespace {

using test::ScratchDir;

void Touch(const std::string& pPath, const std::string& pText = "x") {
    test::WriteBytes(pPath, test::Bytes(pText.begin(), pText.end()));
}

std::string Contents(const std::string& pPath) {
    const test::Bytes bytes = test::ReadBytes(pPath);
    return std::string(bytes.begin(), bytes.end());
}

TEST(FileTests, TellFilesFoldersAndDevicesApart) {
    ScratchDir dir;
    Touch(dir.file("f.wav"));
    EXPECT_EQ(FileExists(dir.file("f.wav")), 1);
    EXPECT_EQ(FileExists("  " + dir.file("f.wav") + " "), 1);
    EXPECT_EQ(FileExists("   "), 0);
    EXPECT_EQ(FileExists(dir.path()), 0);
    EXPECT_EQ(FileExists(dir.file("none")), 0);
    EXPECT_EQ(FolderExists(dir.path()), 1);
    EXPECT_EQ(FolderExists(dir.path() + "/"), 1);
    EXPECT_EQ(FolderExists("/"), 1);
    EXPECT_EQ(FolderExists(""), 0);
    EXPECT_EQ(FolderExists(dir.file("f.wav")), 0);

    EXPECT_EQ(IsReservedDeviceName("/dev/null"), 1);
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0644), 0);
    EXPECT_EQ(IsReservedDeviceName(dir.file("pipe")), 1);
    EXPECT_EQ(IsReservedDeviceName(dir.file("f.wav")), 0);
    EXPECT_EQ(IsReservedDeviceName(dir.file("con.wav")), 0) << "Windows device names are ordinary here";
}

TEST(FileTests, DeleteFileForcedRemovesFilesAndNeverDevices) {
    ScratchDir dir;
    EXPECT_EQ(DeleteFileForced(dir.file("missing")), 1);
    EXPECT_EQ(DeleteFileForced("/dev/null"), 1);
    struct stat st {};
    EXPECT_EQ(::stat("/dev/null", &st), 0);
    Touch(dir.file("ro.wav"));
    ::chmod(dir.file("ro.wav").c_str(), 0444);
    EXPECT_EQ(DeleteFileForced(dir.file("ro.wav")), 1);
    EXPECT_EQ(FileExists(dir.file("ro.wav")), 0);
    ::mkdir(dir.file("sub").c_str(), 0755);
    EXPECT_EQ(DeleteFileForced(dir.file("sub")), 0);
}

TEST(Renaming, ReplaceOverwritesAtomicallyAndWithoutReplaceAnExistingTargetWins) {
    ScratchDir dir;
    test::FakePump pump;
    Touch(dir.file("a"), "new");
    Touch(dir.file("b"), "old");
    EXPECT_EQ(RenameOnce(dir.file("a"), dir.file("b")), 0);
    EXPECT_EQ(RenameFile(dir.file("a"), dir.file("b"), 0, pump), 0);
    EXPECT_EQ(Contents(dir.file("b")), "old");
    EXPECT_EQ(Contents(dir.file("a")), "new");
    // Ten attempts with 10+20+...+90 ms between them, on the pump's clock.
    EXPECT_NEAR(pump.elapsed(), 0.45, 0.02);
    EXPECT_EQ(pump.sleptMs, 0);
    // The back-off waits in the event loop: a few passes per wait, no polling.
    EXPECT_GE(pump.waitedMs, 400);
    EXPECT_LE(pump.passes, 3 * 9);

    EXPECT_EQ(RenameFile(dir.file("a"), dir.file("b"), 1, pump), 1);
    EXPECT_EQ(Contents(dir.file("b")), "new");
    EXPECT_EQ(FileExists(dir.file("a")), 0);

    EXPECT_EQ(RenameOnce(dir.file("b"), dir.file("c")), 1);
    EXPECT_EQ(RenameFile(dir.file("missing"), dir.file("d"), 1, pump), 0);
    const double before = pump.elapsed();
    EXPECT_EQ(RenameFile(dir.file("c"), "/dev/null", 1, pump), 0);
    EXPECT_EQ(pump.elapsed(), before) << "a device target fails at once";
    EXPECT_EQ(FileExists(dir.file("c")), 1);
}

TEST(PathText, SeparatorsExtensionsAndParts) {
    EXPECT_EQ(SetTrailingSeparator("/data", 0), "/data/");
    EXPECT_EQ(SetTrailingSeparator("/data/", 0), "/data/");
    EXPECT_EQ(SetTrailingSeparator("/data/", 1), "/data");
    EXPECT_EQ(SetTrailingSeparator("/data", 1), "/data");
    EXPECT_EQ(SetTrailingSeparator("  ", 0), "");
    EXPECT_EQ(SetTrailingSeparator("http://host/x", 0), "http://host/x/");

    EXPECT_EQ(AddExtension("take1", "WAV"), "take1.wav");
    EXPECT_EQ(AddExtension("TAKE1.WAV", ".wav"), "TAKE1.WAV");
    EXPECT_EQ(AddExtension("take1", " "), "take1");
    EXPECT_EQ(AddExtension("", "wav"), "");

    EXPECT_EQ(PathPart("/a.b/file", false, false, false, false, true, kKeepCase), "");
    EXPECT_EQ(PathPart("/dir/take.1.wav", false, false, true, false, false, kKeepCase), "take.1");
    EXPECT_EQ(PathPart("/dir/take.1.wav", false, false, false, false, true, kKeepCase), "wav");
    EXPECT_EQ(PathPart("/dir/Take.WAV", true, true, false, false, false, kKeepCase), "/dir/");
    EXPECT_EQ(PathPart("/dir/Take.WAV", false, false, true, true, true, kLowerCase), "take.wav");
    EXPECT_EQ(PathPart("name", true, true, true, false, false, kUpperCase), "/NAME");
    EXPECT_EQ(PathPart("", true, true, true, true, true, kKeepCase), "");
}

TEST(PathText, UniqueFileNameCountsWithTwoDigitsAndBeyond) {
    ScratchDir dir;
    const std::string a = dir.file("a.wav");
    EXPECT_EQ(UniqueFileName(a, true, true, 2, false), a);
    EXPECT_EQ(UniqueFileName(a, true, true, 2, true), dir.file("a01.wav"));
    Touch(a);
    EXPECT_EQ(UniqueFileName(a, true, true, 2, false), dir.file("a01.wav"));
    Touch(dir.file("a01.wav"));
    EXPECT_EQ(UniqueFileName(a, true, true, 2, false), dir.file("a02.wav"));
    EXPECT_EQ(UniqueFileName(a, false, false, 2, false), "a02");
    for (int n = 2; n <= 99; ++n) Touch(dir.file("a" + std::string(n < 10 ? "0" : "") + std::to_string(n) + ".wav"));
    EXPECT_EQ(UniqueFileName(a, true, true, 2, false), dir.file("a100.wav"));
    EXPECT_EQ(UniqueFileName(dir.file("noext"), true, true, 0, true), dir.file("noext1"));
}

TEST(CommandLine, QuotingAndPrefixes) {
    const std::string line = "  \"/music/my take.wav\" /music/b.wav /SizeRate=120 relative.wav AltFont=Noto  ";
    std::vector<std::string> paths;
    EXPECT_EQ(ParseCommandLine(paths, "", line), 2);
    EXPECT_EQ(paths, (std::vector<std::string>{"/music/my take.wav", "/music/b.wav"}));
    std::vector<std::string> size;
    EXPECT_EQ(ParseCommandLine(size, "SizeRate=", line), 1);
    EXPECT_EQ(size, std::vector<std::string>{"120"});
    std::vector<std::string> font;
    EXPECT_EQ(ParseCommandLine(font, "AltFont=", line), 1);
    EXPECT_EQ(font, std::vector<std::string>{"Noto"});
    // A closing quote ends the token; the rest starts a new one.
    std::vector<std::string> glued;
    EXPECT_EQ(ParseCommandLine(glued, "", "\"/a b\"/c"), 2);
    EXPECT_EQ(glued, (std::vector<std::string>{"/a b", "/c"}));
    std::vector<std::string> prefixed;
    EXPECT_EQ(ParseCommandLine(prefixed, "x=", "x=1 \"x=2 3\" /x=4 y=5 x"), 3);
    EXPECT_EQ(prefixed, (std::vector<std::string>{"1", "2 3", "4"}));
}

TEST(AppFolderTest, IsTheExecutablesFolderWithASeparator) {
    const std::string folder = AppFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_EQ(FolderExists(folder), 1);
}

}  // namespace
}  // namespace sonivate
