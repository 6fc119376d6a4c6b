// The watcher's system layer: the writer check, moves that never replace
// and survive a change of file system, and the change notification.

#include "platform/dir_watch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>

#include "platform/posix_file.h"
#include "platform/stop_signals.h"
#include "support/scratch.h"

namespace sonivate::platform {
namespace {

namespace fs = std::filesystem;

using test::ReadText;

TEST(DirWatchWriter, AFileOpenForWritingIsSeenUntilItIsClosed) {
    test::ScratchDir dir;
    const std::string path = dir.file("a.wav");
    const int writer = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(writer, 0);
    EXPECT_EQ(WriterOf(path), WriterState::Writing);
    const int reader = ::open(path.c_str(), O_RDONLY);
    ASSERT_EQ(::close(writer), 0);
    // Readers do not count.
    EXPECT_EQ(WriterOf(path), WriterState::None);
    ::close(reader);
    EXPECT_EQ(WriterOf(dir.file("missing")), WriterState::Unknown);
}

TEST(DirWatchMove, NeverReplacesAndWorksAcrossFileSystems) {
    test::ScratchDir from, to;
    std::ofstream(from.file("a.wav")) << "delivery";
    std::ofstream(to.file("taken.wav")) << "earlier";
    EXPECT_EQ(MoveFileNoReplace(from.file("a.wav"), to.file("taken.wav")), EEXIST);
    EXPECT_EQ(ReadText(to.file("taken.wav")), "earlier");
    EXPECT_EQ(ReadText(from.file("a.wav")), "delivery");

    ASSERT_EQ(MoveFileNoReplace(from.file("a.wav"), to.file("a.wav")), 0);
    EXPECT_FALSE(fs::exists(from.file("a.wav")));
    EXPECT_EQ(ReadText(to.file("a.wav")), "delivery");

    ForceCrossDeviceMoveForTesting(true);
    std::ofstream(from.file("b.wav")) << "second delivery";
    ::chmod(from.file("b.wav").c_str(), 0640);
    EXPECT_EQ(MoveFileNoReplace(from.file("b.wav"), to.file("taken.wav")), EEXIST);
    EXPECT_TRUE(fs::exists(from.file("b.wav")));
    ASSERT_EQ(MoveFileNoReplace(from.file("b.wav"), to.file("b.wav")), 0);
    ForceCrossDeviceMoveForTesting(false);
    EXPECT_FALSE(fs::exists(from.file("b.wav")));
    EXPECT_EQ(ReadText(to.file("b.wav")), "second delivery");
    EXPECT_EQ(fs::status(to.file("b.wav")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    std::vector<FolderEntry> entries;
    ASSERT_EQ(ListFolder(to.path(), entries), 0);
    EXPECT_EQ(entries.size(), 3U) << "no hidden copy left behind";
}

// A corrected delivery renamed over the source while its copy to another
// file system is made: the copy holds what was processed, the correction
// stays under its name, nothing is lost.
TEST(DirWatchMove, OnlyTheFileHeldIsMovedAndACorrectionPutUnderItsNameStays) {
    test::ScratchDir from, to;
    std::ofstream(from.file("a.wav")) << "first take";
    const int held = ::open(from.file("a.wav").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);

    // Replaced before the move: nothing moves.
    std::ofstream(from.file("fix.wav")) << "corrected";
    ASSERT_EQ(::rename(from.file("fix.wav").c_str(), from.file("a.wav").c_str()), 0);
    EXPECT_EQ(MoveHeldFileNoReplace(held, from.file("a.wav"), to.file("a.wav")), ESTALE);
    EXPECT_FALSE(fs::exists(to.file("a.wav")));
    ::close(held);

    const int second = ::open(from.file("a.wav").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(second, 0);
    ForceCrossDeviceMoveForTesting(true);
    bool replaced = false;
    SetFaultHookForTesting([&](std::string_view pOperation) {
        if (replaced || pOperation != "write") return;
        replaced = true;
        std::ofstream(from.file("fix.wav")) << "corrected again";
        ::rename(from.file("fix.wav").c_str(), from.file("a.wav").c_str());
    });
    EXPECT_EQ(MoveHeldFileNoReplace(second, from.file("a.wav"), to.file("a.wav")), ESTALE);
    SetFaultHookForTesting({});
    ForceCrossDeviceMoveForTesting(false);
    ::close(second);
    ASSERT_TRUE(replaced);
    EXPECT_EQ(ReadText(to.file("a.wav")), "corrected") << "the copy is of the file held";
    EXPECT_EQ(ReadText(from.file("a.wav")), "corrected again") << "the correction is never unlinked";
}

// A source its folder will not let go (sticky, another owner): across file
// systems the copy made is taken back, so the file stays in one place.
TEST(DirWatchMove, ASourceThatCannotBeRemovedLeavesNoCopyBehind) {
    test::ScratchDir from, to;
    std::ofstream(from.file("a.wav")) << "delivery";
    const int held = ::open(from.file("a.wav").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ForceCrossDeviceMoveForTesting(true);
    ForceMoveUnlinkErrorForTesting(EPERM);
    EXPECT_EQ(MoveHeldFileNoReplace(held, from.file("a.wav"), to.file("a.wav")), EPERM);
    ForceMoveUnlinkErrorForTesting(0);
    ForceCrossDeviceMoveForTesting(false);
    ::close(held);
    EXPECT_EQ(ReadText(from.file("a.wav")), "delivery");
    std::vector<FolderEntry> entries;
    ASSERT_EQ(ListFolder(to.path(), entries), 0);
    EXPECT_TRUE(entries.empty()) << "no copy, hidden or named, in the folder it was to go to";
}

TEST(DirWatchMove, MakesFolderTreesAndListsWhatIsInThem) {
    test::ScratchDir dir;
    ASSERT_EQ(MakeFolderTree(dir.file("x/y/z")), 0);
    EXPECT_EQ(MakeFolderTree(dir.file("x/y/z")), 0);
    std::ofstream(dir.file("x/f")) << "";
    EXPECT_EQ(MakeFolderTree(dir.file("x/f")), ENOTDIR);
    std::vector<FolderEntry> entries;
    ASSERT_EQ(ListFolder(dir.file("x"), entries), 0);
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.Name < b.Name; });
    ASSERT_EQ(entries.size(), 2U);
    EXPECT_TRUE(entries[0].Regular);
    EXPECT_TRUE(entries[1].Folder);
    EXPECT_EQ(ListFolder(dir.file("missing"), entries), ENOENT);
}

TEST(DirWatchEvents, ReportsFilesClosedOrMovedInAndNewFolders) {
    test::ScratchDir dir, elsewhere;
    DirWatch watch;
    ASSERT_EQ(watch.Open(), 0);
    ASSERT_EQ(watch.AddFolder(dir.path()), 0);

    std::ofstream(dir.file("written.wav")) << "x";
    std::ofstream(elsewhere.file("moved.wav")) << "x";
    ASSERT_EQ(::rename(elsewhere.file("moved.wav").c_str(), dir.file("moved.wav").c_str()), 0);
    ASSERT_EQ(::mkdir(dir.file("sub").c_str(), 0755), 0);
    // A file only opened for reading is no arrival.
    const int reader = ::open(dir.file("written.wav").c_str(), O_RDONLY);
    ::close(reader);

    std::vector<DirEvent> events;
    while (events.size() < 3) ASSERT_EQ(watch.Wait(-1, events), 0);
    ASSERT_EQ(events.size(), 3U);
    EXPECT_EQ(events[0].Kind, DirEventKind::FileArrived);
    EXPECT_EQ(events[0].Path, dir.file("written.wav"));
    EXPECT_EQ(events[1].Kind, DirEventKind::FileArrived);
    EXPECT_EQ(events[1].Path, dir.file("moved.wav"));
    EXPECT_EQ(events[2].Kind, DirEventKind::FolderAdded);
    EXPECT_EQ(events[2].Path, dir.file("sub"));

    ASSERT_EQ(watch.AddFolder(dir.file("sub")), 0);
    std::ofstream(dir.file("sub/deep.wav")) << "x";
    events.clear();
    while (events.empty()) ASSERT_EQ(watch.Wait(-1, events), 0);
    EXPECT_EQ(events[0].Path, dir.file("sub/deep.wav"));

    fs::remove_all(dir.file("sub"));
    events.clear();
    while (std::none_of(events.begin(), events.end(),
                        [](const DirEvent& e) { return e.Kind == DirEventKind::FolderGone; }))
        ASSERT_EQ(watch.Wait(-1, events), 0);
}

TEST(DirWatchEvents, AStopRequestEndsTheWaitAtOnce) {
    test::ScratchDir dir;
    DirWatch watch;
    ASSERT_EQ(watch.Open(), 0);
    ASSERT_EQ(watch.AddFolder(dir.path()), 0);
    SetStopSignalledForTesting(true);
    std::vector<DirEvent> events;
    EXPECT_EQ(watch.Wait(-1, events), EINTR);
    SetStopSignalledForTesting(false);
    EXPECT_TRUE(events.empty());
}

TEST(DirWatchStamp, SeesSizeModificationAndStatusChanges) {
    test::ScratchDir dir;
    const std::string path = dir.file("a.wav");
    std::ofstream(path) << "x";
    const FileStamp before = StampOf(path);
    ASSERT_TRUE(before.Valid && before.Regular);
    EXPECT_EQ(StampOf(path), before);
    struct timespec times[2] = {{0, UTIME_OMIT}, {before.ModifiedNs / 1000000000 - 10, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    EXPECT_NE(StampOf(path), before);
    EXPECT_TRUE(StampOf(dir.path()).Folder);
    EXPECT_FALSE(StampOf(dir.file("missing")).Valid);
}

}  // namespace
}  // namespace sonivate::platform
