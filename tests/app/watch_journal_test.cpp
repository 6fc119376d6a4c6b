// The watcher's memory: the content hash, the journal across restarts and
// crashes, and the settle rule on an injected clock.

#include "app/watch_journal.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>

#include "support/scratch.h"

namespace sonivate {
namespace {

constexpr std::int64_t kSecond = 1000000000;  // ns

TEST(ContentHash, MatchesTheReferenceValuesWhateverThePieces) {
    EXPECT_EQ(ContentHash{}.Digest(), 0xEF46DB3751D8E999ULL);
    ContentHash abc;
    abc.Update("abc", 3);
    EXPECT_EQ(abc.Digest(), 0x44BC2CF5AD770999ULL);

    std::string data;
    for (int i = 0; i < 1000; ++i) data += static_cast<char>(i * 7 + 3);
    ContentHash whole;
    whole.Update(data.data(), data.size());
    for (const size_t split : {size_t{1}, size_t{31}, size_t{32}, size_t{33}, size_t{500}, size_t{999}}) {
        ContentHash pieces;
        pieces.Update(data.data(), split);
        pieces.Update(data.data() + split, data.size() - split);
        EXPECT_EQ(pieces.Digest(), whole.Digest()) << split;
    }
    data[500] ^= 1;
    ContentHash changed;
    changed.Update(data.data(), data.size());
    EXPECT_NE(changed.Digest(), whole.Digest());
}

TEST(ContentHash, OfAFileIsTheHashOfItsBytes) {
    test::ScratchDir dir;
    const std::string text(3 * 1024 * 1024 + 17, 'x');
    std::ofstream(dir.file("f")) << text;
    std::uint64_t hash = 0;
    ASSERT_EQ(HashFileContent(dir.file("f"), hash), 0);
    ContentHash expected;
    expected.Update(text.data(), text.size());
    EXPECT_EQ(hash, expected.Digest());
    EXPECT_NE(HashFileContent(dir.file("missing"), hash), 0);
    EXPECT_EQ(HashText(0xABCULL), "0000000000000abc");
}

TEST(WatchJournal, RemembersAcrossReopeningAndCountsOnlyCompleteLines) {
    test::ScratchDir dir;
    const std::string path = dir.file("j.jsonl");
    const JournalKey first{1, 2, 300, 4000, 0x55};
    JournalKey sameFileOtherContent = first;
    sameFileOtherContent.Hash = 0x56;
    const JournalKey second{1, 3, 300, 4000, 0x57};
    {
        WatchJournal journal;
        ASSERT_EQ(journal.Open(path), 0);
        EXPECT_FALSE(journal.Contains(first));
        ASSERT_EQ(journal.Record(first, "\"source\":\"/in/a.wav\""), 0);
        EXPECT_TRUE(journal.Contains(first));
        // Two watchers never share one journal.
        WatchJournal other;
        EXPECT_NE(other.Open(path), 0);
    }
    // A crash while the next line was written: its first half stays.
    std::ofstream(path, std::ios::app) << "{\"key\":\"" << KeyText(second) << "\",\"sou";
    {
        WatchJournal journal;
        ASSERT_EQ(journal.Open(path), 0);
        EXPECT_TRUE(journal.Contains(first));
        EXPECT_FALSE(journal.Contains(sameFileOtherContent));
        EXPECT_FALSE(journal.Contains(second)) << "a cut-off line does not count";
        ASSERT_EQ(journal.Record(second, ""), 0);
    }
    WatchJournal journal;
    ASSERT_EQ(journal.Open(path), 0);
    EXPECT_TRUE(journal.Contains(first));
    EXPECT_TRUE(journal.Contains(second));
    EXPECT_EQ(journal.Count(), 2U);
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "{\"key\":\"" + KeyText(first) + "\",\"source\":\"/in/a.wav\"}");
}

TEST(WatchJournal, DefaultPathFollowsTheStateHomeRule) {
    const std::string xdg = DefaultJournalPath("/state", "/home/u", "/in");
    EXPECT_EQ(xdg.rfind("/state/sonivate/watch-", 0), 0U) << xdg;
    EXPECT_EQ(xdg.substr(xdg.size() - 6), ".jsonl");
    EXPECT_EQ(DefaultJournalPath("relative", "/home/u", "/in").rfind("/home/u/.local/state/sonivate/watch-", 0), 0U);
    EXPECT_EQ(DefaultJournalPath("", "", "/in"), "");
    EXPECT_NE(DefaultJournalPath("/state", "", "/in"), DefaultJournalPath("/state", "", "/in2"));
}

platform::FileStamp Stamp(std::int64_t pSize) {
    platform::FileStamp stamp;
    stamp.Valid = stamp.Regular = true;
    stamp.Size = pSize;
    return stamp;
}

TEST(SettleTracker, AFileIsReadyOnlyAfterStayingUnchangedForTheSettleTime) {
    std::map<std::string, platform::FileStamp> disk = {{"a", Stamp(10)}, {"b", Stamp(20)}};
    const auto stampOf = [&](const std::string& pPath) {
        const auto it = disk.find(pPath);
        return it == disk.end() ? platform::FileStamp{} : it->second;
    };
    SettleTracker tracker(5 * kSecond);
    EXPECT_EQ(tracker.NextDueNs(0), -1);
    tracker.Observe("a", disk["a"], 0);
    tracker.Observe("b", disk["b"], 2 * kSecond);
    // An event for an unchanged file does not push it back.
    tracker.Observe("a", disk["a"], 4 * kSecond);
    EXPECT_EQ(tracker.NextDueNs(1 * kSecond), 4 * kSecond);
    EXPECT_TRUE(tracker.TakeReady(5 * kSecond - 1, stampOf).empty());

    // b grows while it waits: it starts again when next looked at.
    disk["b"] = Stamp(25);
    std::vector<std::string> changed;
    EXPECT_EQ(tracker.TakeReady(7 * kSecond, stampOf, &changed), std::vector<std::string>{"a"});
    EXPECT_EQ(changed, std::vector<std::string>{"b"});
    EXPECT_FALSE(tracker.Tracks("a"));
    EXPECT_TRUE(tracker.TakeReady(12 * kSecond - 1, stampOf).empty());
    EXPECT_EQ(tracker.TakeReady(12 * kSecond, stampOf), std::vector<std::string>{"b"});
    EXPECT_TRUE(tracker.Empty());

    // A file gone or no longer regular is dropped.
    tracker.Observe("gone", Stamp(1), 0);
    EXPECT_TRUE(tracker.TakeReady(10 * kSecond, stampOf).empty());
    EXPECT_TRUE(tracker.Empty());
}

TEST(SettleTracker, ADeferredFileWaitsAtLeastTheGivenTimeEvenWithoutSettling) {
    const auto stampOf = [](const std::string&) { return Stamp(1); };
    SettleTracker tracker(0);
    tracker.Observe("a", Stamp(1), 0);
    EXPECT_EQ(tracker.TakeReady(0, stampOf), std::vector<std::string>{"a"});
    tracker.Defer("a", Stamp(1), 0, kSecond);
    EXPECT_EQ(tracker.NextDueNs(0), kSecond);
    EXPECT_TRUE(tracker.TakeReady(kSecond - 1, stampOf).empty());
    EXPECT_EQ(tracker.TakeReady(kSecond, stampOf), std::vector<std::string>{"a"});
}

}  // namespace
}  // namespace sonivate
