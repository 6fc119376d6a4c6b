// What the watch folder needs from the system in a folder shared with other
// users: files and folders never made through a link placed there, one
// watcher per folder, the journal's one-step rewrite, the waiter woken from
// another thread, and the journal's stream recognised.

#include "platform/watch_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "platform/dir_watch.h"
#include "platform/service_notify.h"
#include "support/scratch.h"

namespace sonivate::platform {
namespace {

namespace fs = std::filesystem;

using test::ReadText;

TEST(WatchSupport, ANewFileIsNeverWrittenThroughALinkNorOverAnExistingFile) {
    test::ScratchDir shared, victim;
    const std::string target = victim.file("precious");
    std::ofstream(target) << "keep";
    fs::create_symlink(target, shared.file("a.wav.reason.txt"));
    EXPECT_EQ(WriteNewFile(shared.file("a.wav.reason.txt"), "text"), EEXIST);
    EXPECT_EQ(ReadText(target), "keep");
    // Nor into a folder that is a link.
    fs::create_directory_symlink(victim.path(), shared.file("sub"));
    EXPECT_NE(WriteNewFile(shared.file("sub/b.txt"), "text"), 0);
    EXPECT_FALSE(fs::exists(victim.file("b.txt")));

    ASSERT_EQ(WriteNewFile(shared.file("c.txt"), "text"), 0);
    EXPECT_EQ(ReadText(shared.file("c.txt")), "text");
    EXPECT_EQ(WriteNewFile(shared.file("c.txt"), "other"), EEXIST);
    EXPECT_EQ(ReadText(shared.file("c.txt")), "text");
}

TEST(WatchSupport, MirroredFoldersAreMadeWithoutFollowingALink) {
    test::ScratchDir root, elsewhere;
    ASSERT_EQ(MakeFolderBelow(root.path(), "show/part"), 0);
    EXPECT_TRUE(fs::is_directory(root.file("show/part")));
    EXPECT_EQ(MakeFolderBelow(root.path(), ""), 0);
    fs::create_directory_symlink(elsewhere.path(), root.file("evil"));
    EXPECT_EQ(MakeFolderBelow(root.path(), "evil/part"), ELOOP);
    EXPECT_EQ(MakeFolderBelow(root.path(), "show/../../x"), EINVAL);
    EXPECT_TRUE(fs::is_empty(elsewhere.path()));
}

TEST(WatchSupport, AHeldFolderIsReachedEvenWhenItsNameBecomesALink) {
    test::ScratchDir root, elsewhere;
    HeldFolder held;
    ASSERT_EQ(held.MakeBelow(root.path(), "show"), 0);
    // Someone with write access swaps the folder for a link.
    fs::rename(root.file("show"), root.file("moved"));
    fs::create_directory_symlink(elsewhere.path(), root.file("show"));
    ASSERT_EQ(WriteNewFileAt(held.Descriptor(), "a.reason.txt", "text"), 0);
    EXPECT_TRUE(StampOf(held.Path() + "/a.reason.txt").Valid);
    EXPECT_EQ(ReadText(root.file("moved/a.reason.txt")), "text");
    EXPECT_TRUE(fs::is_empty(elsewhere.path()));
    HeldFolder again;
    EXPECT_EQ(again.MakeBelow(root.path(), "show"), ELOOP);
}

TEST(WatchSupport, OneLockPerFolder) {
    test::ScratchDir folder;
    FolderLock first;
    ASSERT_EQ(first.Lock(folder.path()), 0);
    {
        FolderLock second;
        EXPECT_EQ(second.Lock(folder.path()), EWOULDBLOCK);
    }
    EXPECT_TRUE(ChangesAreAllSeen(folder.path())) << "a local scratch folder";
}

TEST(WatchSupport, AReplacedJournalStaysLockedAndAppendsGoToItsEnd) {
    test::ScratchDir folder;
    const std::string path = folder.file("j.jsonl");
    AppendOnlyFile file;
    ASSERT_EQ(file.Open(path), 0);
    ASSERT_EQ(file.AppendDurably("one\ntwo\nthree\n"), 0);
    ASSERT_EQ(file.Replace("three\n"), 0);
    ASSERT_EQ(file.AppendDurably("four\n"), 0);
    EXPECT_EQ(ReadText(path), "three\nfour\n");
    AppendOnlyFile other;
    EXPECT_EQ(other.Open(path), EWOULDBLOCK);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 1)
        << "no hidden file left";
}

TEST(WatchSupport, AWaitEndsWhenAnotherThreadWakesIt) {
    DirWatch watch;
    ASSERT_EQ(watch.Open(), 0);
    std::thread waker([&watch] { watch.Wake(); });
    std::vector<DirEvent> events;
    EXPECT_EQ(watch.Wait(-1, events), 0);
    EXPECT_TRUE(events.empty());
    waker.join();
}

TEST(WatchSupport, TheJournalsStreamIsKnownByItsDeviceAndInode) {
    EXPECT_TRUE(JournalStreamNames("8:1234", 8, 1234));
    EXPECT_FALSE(JournalStreamNames("8:1234", 8, 1235));
    EXPECT_FALSE(JournalStreamNames("8:", 8, 0));
    EXPECT_FALSE(JournalStreamNames("x8:1234", 8, 1234));
    EXPECT_FALSE(JournalStreamNames(nullptr, 0, 0));
}

TEST(WatchSupport, AHookGetsItsInputAndItsStatusIsCollected) {
    test::ScratchDir folder;
    const std::string out = folder.file("hook.out");
    pid_t pid = 0;
    ASSERT_EQ(StartCommand("cat > '" + out + "'; exit 3", "{\"a\":1}\n", pid), 0);
    int status = 0;
    ASSERT_TRUE(ReapCommand(pid, status, true));
    EXPECT_EQ(status, 3);
    EXPECT_EQ(ReadText(out), "{\"a\":1}\n");
}

}  // namespace
}  // namespace sonivate::platform
