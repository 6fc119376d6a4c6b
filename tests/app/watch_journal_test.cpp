// The watcher's memory: the content hash, the journal across restarts and
// crashes, and the settle rule on an injected clock.

#include "app/watch_journal.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <vector>

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

int RecordFinal(WatchJournal& pJournal, const JournalKey& pKey, const std::string& pMembers) {
    return pJournal.Record(pKey, JournalPhase::Final, "written", false, pMembers);
}

std::vector<std::string> Lines(const std::string& pPath) {
    std::ifstream in(pPath);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(WatchJournal, RemembersAcrossReopeningAndCountsOnlyCompleteLines) {
    test::ScratchDir dir;
    const std::string path = dir.file("j.jsonl");
    const JournalKey first = MakeJournalKey("a.wav", 300, 0x55);
    JournalKey sameNameOtherContent = first;
    sameNameOtherContent.Hash = 0x56;
    const JournalKey second = MakeJournalKey("b.wav", 300, 0x57);
    {
        WatchJournal journal;
        ASSERT_EQ(journal.Open(path), 0);
        EXPECT_FALSE(journal.Contains(first));
        ASSERT_EQ(RecordFinal(journal, first, "\"source\":\"/in/a.wav\""), 0);
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
        EXPECT_FALSE(journal.Contains(sameNameOtherContent));
        EXPECT_FALSE(journal.Contains(second)) << "a cut-off line does not count";
        ASSERT_EQ(RecordFinal(journal, second, ""), 0);
    }
    WatchJournal journal;
    ASSERT_EQ(journal.Open(path), 0);
    EXPECT_TRUE(journal.Contains(first));
    EXPECT_TRUE(journal.Contains(second));
    EXPECT_EQ(journal.Count(), 2U);
    const std::vector<std::string> lines = Lines(path);
    ASSERT_EQ(lines.size(), 2U);
    EXPECT_EQ(lines[0], "{\"key\":\"" + KeyText(first) +
                            "\",\"phase\":\"final\",\"status\":\"written\",\"moved\":false,\"source\":\"/in/a.wav\"}");
}

TEST(WatchJournal, KeysAFileByItsNameAndContentNotWhereItIsStored) {
    const JournalKey key = MakeJournalKey("show/a.wav", 1000, 0xabc);
    EXPECT_EQ(key, MakeJournalKey("show/a.wav", 1000, 0xabc)) << "a remount or a copy back keeps the key";
    EXPECT_NE(key, MakeJournalKey("show/b.wav", 1000, 0xabc)) << "the same content under another name is new";
    EXPECT_NE(key, MakeJournalKey("show/a.wav", 1000, 0xabd)) << "a new delivery under the old name is new";
    EXPECT_EQ(KeyText(key).find_first_of("\"\\/"), std::string::npos);
}

TEST(WatchJournal, OpeningKeepsOnlyTheLatestLineOfEachFileAndDropsDamagedOnes) {
    test::ScratchDir dir;
    const std::string path = dir.file("j.jsonl");
    const JournalKey a = MakeJournalKey("a.wav", 10, 1), b = MakeJournalKey("b.wav", 10, 2);
    {
        WatchJournal journal;
        ASSERT_EQ(journal.Open(path), 0);
        ASSERT_EQ(journal.Record(a, JournalPhase::Filing, "written", true, ""), 0);
        ASSERT_EQ(journal.Record(b, JournalPhase::Final, "failed", false, "\"reason\":\"not_wave\""), 0);
        ASSERT_EQ(journal.Record(a, JournalPhase::Final, "written", true, ""), 0);
        EXPECT_EQ(journal.Compacted(), 0U);
    }
    std::ofstream(path, std::ios::app) << "not json at all\n{\"key\":\"" << KeyText(b) << "\",\"ph";
    WatchJournal journal;
    ASSERT_EQ(journal.Open(path), 0);
    EXPECT_EQ(journal.Compacted(), 3U) << "a superseded line, a damaged one and a cut-off one";
    const std::vector<std::string> lines = Lines(path);
    ASSERT_EQ(lines.size(), 2U);
    EXPECT_NE(lines[0].find(KeyText(b)), std::string::npos);
    EXPECT_NE(lines[1].find("\"phase\":\"final\""), std::string::npos);
    ASSERT_NE(journal.Find(a), nullptr);
    EXPECT_EQ(journal.Find(a)->Phase, JournalPhase::Final);
    EXPECT_TRUE(journal.Find(a)->Written());
    EXPECT_EQ(journal.Find(b)->Reason, "not_wave");
    EXPECT_EQ(journal.WrittenCount(), 1U);
    EXPECT_EQ(journal.FailedCount(), 1U);
    // The rewritten journal is still held, and appends go to its end.
    WatchJournal other;
    EXPECT_EQ(other.Open(path), EWOULDBLOCK);
    ASSERT_EQ(RecordFinal(journal, MakeJournalKey("c.wav", 1, 3), ""), 0);
    EXPECT_EQ(Lines(path).size(), 3U);
}

TEST(WatchJournal, LinesOfAnOlderJournalCountByWhetherTheyWereWritten) {
    test::ScratchDir dir;
    const std::string path = dir.file("j.jsonl");
    std::ofstream(path) << "{\"key\":\"1:2:3:4:0000000000000055\",\"written\":true}\n"
                        << "{\"key\":\"1:3:3:4:0000000000000056\",\"written\":false}\n";
    WatchJournal journal;
    ASSERT_EQ(journal.Open(path), 0);
    EXPECT_EQ(journal.WrittenCount(), 1U);
    EXPECT_EQ(journal.FailedCount(), 1U);
    EXPECT_EQ(journal.Compacted(), 0U);
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
