// The watch folder's rules on a fake clock, fake files and an executor the
// test drives: which file is taken when, what is tried again, what is filed
// where and what the journal holds at each step. No process, no sleep.

#include "app/watch_policy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/batch_controller.h"
#include "support/scratch.h"

namespace sonivate {
namespace {

constexpr std::int64_t kSecond = 1000000000;  // ns
constexpr std::int64_t kSettle = 5 * kSecond;

struct FakeFile {
    std::int64_t Size = 1000;
    std::int64_t ModifiedNs = 1;
    std::uint64_t Hash = 7;
    std::string Copy;  // copy path; the name by default
    bool Incomplete = false;
    bool Busy = false;  // open for writing elsewhere
    // The outcomes of the runs in turn; the last one repeats.
    std::vector<WatchResult> Results = {Written()};
    bool Throws = false;
    int OpenError = 0;  // the look cannot open it
    bool LookThrows = false;
    std::deque<int> MoveErrors;  // the first moves' errors in turn, then MoveError
    int MoveError = 0;

    static WatchResult Written() {
        WatchResult result;
        result.Measured = result.Written = true;
        return result;
    }
};

WatchResult Failure(RowReason pReason, int pError = 0) {
    WatchResult result;
    result.Reason = pReason;
    result.Error = pError;
    return result;
}

class FakeFiles final : public WatchFiles {
public:
    std::map<std::string, FakeFile> Files;
    std::map<std::string, int> Looks, Runs;
    std::vector<std::string> Moves;  // "done:<name>" or "failed:<name>"
    std::map<std::string, std::string> ReasonTexts;
    std::function<void(const std::string&)> OnMove;

    platform::FileStamp Stamp(const std::string& pPath) override {
        platform::FileStamp stamp;
        const auto file = Files.find(pPath);
        if (file == Files.end()) return stamp;
        stamp.Valid = stamp.Regular = true;
        stamp.Size = file->second.Size;
        stamp.ModifiedNs = stamp.ChangedNs = file->second.ModifiedNs;
        return stamp;
    }
    WatchLook Look(const std::string& pPath) override {
        ++Looks[pPath];
        WatchLook look;
        look.Path = look.Name = pPath;
        const auto file = Files.find(pPath);
        if (file == Files.end()) return look;
        look.Stamp = Stamp(pPath);
        look.Hash = file->second.Hash;
        look.CopyPath = file->second.Copy.empty() ? pPath : file->second.Copy;
        if (file->second.LookThrows) throw std::runtime_error("a fault in the look");
        if (file->second.OpenError != 0) {
            look.Kind = WatchLookKind::Trouble;
            look.Reason = RowReason::CannotOpen;
            look.Error = file->second.OpenError;
            return look;
        }
        look.Kind = file->second.Incomplete ? WatchLookKind::Incomplete : WatchLookKind::Ready;
        if (file->second.Busy) {
            look.Kind = WatchLookKind::NotYet;
            look.Reason = RowReason::SourceInUse;
        }
        return look;
    }
    WatchResult Run(const WatchLook& pLook) override {
        FakeFile& file = Files.at(pLook.Path);
        const int run = Runs[pLook.Path]++;
        if (file.Throws) throw std::runtime_error("a fault in the run");
        return file.Results[std::min<size_t>(static_cast<size_t>(run), file.Results.size() - 1)];
    }
    int MoveAside(const WatchLook& pLook, bool pDone, const std::string& pReasonText, std::string& pMovedTo) override {
        if (OnMove) OnMove(pLook.Path);
        FakeFile& file = Files.at(pLook.Path);
        if (!file.MoveErrors.empty()) {
            const int error = file.MoveErrors.front();
            file.MoveErrors.pop_front();
            if (error != 0) return error;
        } else if (file.MoveError != 0) {
            return file.MoveError;
        }
        pMovedTo = std::string(pDone ? "done/" : "failed/") + pLook.Name;
        Moves.push_back(std::string(pDone ? "done:" : "failed:") + pLook.Name);
        if (!pDone) ReasonTexts[pLook.Name] = pReasonText;
        Files.erase(pLook.Path);
        return 0;
    }
    std::string Describe(const WatchLook& pLook, const WatchResult* pResult, const std::string& pMovedTo,
                         int) override {
        std::string members = "\"source\":\"" + pLook.Path + "\"";
        if (pResult != nullptr && pResult->Reason != RowReason::None)
            members += ",\"reason\":\"" + std::string(ReasonCode(pResult->Reason)) + "\"";
        if (!pMovedTo.empty()) members += ",\"moved_to\":\"" + pMovedTo + "\"";
        return members;
    }
};

class Notes final : public WatchReport {
public:
    std::vector<std::pair<WatchLevel, std::string>> Lines;  // "<path>: <text>"
    std::vector<std::string> FiledLines;                    // journal lines

    void Note(WatchLevel pLevel, const std::string& pPath, const std::string& pText) override {
        Lines.emplace_back(pLevel, pPath + ": " + pText);
    }
    void Filed(const std::string&, bool, const std::string& pLine) override { FiledLines.push_back(pLine); }
    size_t Count(const std::string& pPart, WatchLevel pLevel) const {
        return static_cast<size_t>(std::count_if(Lines.begin(), Lines.end(), [&](const auto& pLine) {
            return pLine.first == pLevel && pLine.second.find(pPart) != std::string::npos;
        }));
    }
};

// Works wait until the test runs them; tasks for the owner run at once (the
// test is the owner).
class HeldExecutor final : public RunExecutor {
public:
    std::deque<std::function<void()>> Works;
    void Execute(std::function<void()> pWork) override { Works.push_back(std::move(pWork)); }
    void Post(std::function<void()> pTask) override { pTask(); }
    bool OnOwnerThread() const override { return false; }
    void RunAll() {
        while (!Works.empty()) RunFirst();
    }
    void RunFirst() {
        auto work = std::move(Works.front());
        Works.pop_front();
        work();
    }
};

struct Watch {
    test::ScratchDir dir;
    WatchSettings settings;
    FakeFiles files;
    Notes notes;
    std::unique_ptr<WatchJournal> journalHolder = std::make_unique<WatchJournal>();
    WatchJournal* journalPtr = journalHolder.get();
    HeldExecutor executor;
    std::int64_t now = 0;
    std::unique_ptr<WatchPolicy> policy;

    explicit Watch(std::function<void(WatchSettings&)> pSet = {}) {
        settings.SettleNs = kSettle;
        settings.DoneFolder = settings.FailedFolder = true;
        if (pSet) pSet(settings);
        EXPECT_EQ(journal().Open(dir.file("journal.jsonl")), 0);
        Start();
    }
    WatchJournal& journal() const { return *journalPtr; }
    void Start() {
        policy = std::make_unique<WatchPolicy>(settings, files, journal(), notes, executor, [this] { return now; });
    }
    // A restart: the policy and the journal anew.
    void Reopen() {
        policy.reset();
        journalHolder = std::make_unique<WatchJournal>();
        journalPtr = journalHolder.get();
        ASSERT_EQ(journal().Open(dir.file("journal.jsonl")), 0);
        Start();
    }
    void Arrive(const std::string& pPath, FakeFile pFile = {}) {
        files.Files[pPath] = std::move(pFile);
        policy->Observe(pPath);
    }
    // The clock moves to the next due time and the due files start.
    void Advance() {
        const std::int64_t due = policy->NextDueNs();
        ASSERT_GE(due, 0) << "nothing waits";
        now += due;
        policy->Pump();
    }
    // Runs every work, advancing the clock, until nothing waits.
    void Settle() {
        for (int guard = 0; guard < 1000 && !policy->Idle(); ++guard) {
            executor.RunAll();
            if (!policy->Idle() && policy->NextDueNs() >= 0) Advance();
        }
    }
    const JournalEntry* Entry(const std::string& pName, std::uint64_t pHash = 7, std::int64_t pSize = 1000) const {
        return journal().Find(MakeJournalKey(pName, pSize, pHash));
    }
};

TEST(WatchPolicy, AFileIsTakenOnlyOnceItHasStayedUnchangedForTheSettleTime) {
    Watch w;
    w.Arrive("a.wav");
    EXPECT_EQ(w.policy->NextDueNs(), kSettle);
    w.now += kSettle - 1;
    w.policy->Pump();
    EXPECT_TRUE(w.executor.Works.empty());
    // It grows: its quiet period starts again.
    w.files.Files["a.wav"].Size = 2000;
    w.now += 1;
    w.policy->Pump();
    EXPECT_TRUE(w.executor.Works.empty());
    EXPECT_EQ(w.policy->NextDueNs(), kSettle);
    w.Advance();
    ASSERT_EQ(w.executor.Works.size(), 1U);
    w.Settle();
    EXPECT_EQ(w.files.Moves, std::vector<std::string>{"done:a.wav"});
    ASSERT_NE(w.Entry("a.wav", 7, 2000), nullptr);
    EXPECT_TRUE(w.Entry("a.wav", 7, 2000)->Written());
}

TEST(WatchPolicy, ShortFilesAreTakenWhileALongOneIsInProgressUpToTheJobs) {
    Watch w([](WatchSettings& s) { s.Jobs = 2; });
    w.Arrive("long.wav");
    w.Advance();
    w.executor.RunFirst();  // looked at; its run is now in progress
    ASSERT_EQ(w.executor.Works.size(), 1U);
    w.Arrive("spot1.wav");
    w.Arrive("spot2.wav");
    w.Advance();
    // One job is free: the first spot starts at once, the second waits for a job.
    ASSERT_EQ(w.executor.Works.size(), 2U);
    // The long run stays in progress: put aside.
    std::function<void()> longRun = std::move(w.executor.Works.front());
    w.executor.Works.pop_front();
    w.executor.RunFirst();  // spot1 looked at
    w.executor.RunFirst();  // spot1 run
    w.executor.RunFirst();  // spot1 moved to done
    EXPECT_EQ(w.files.Moves, std::vector<std::string>{"done:spot1.wav"});
    ASSERT_EQ(w.executor.Works.size(), 1U) << "spot2 took the free job";
    w.executor.RunAll();
    EXPECT_EQ(w.files.Moves, (std::vector<std::string>{"done:spot1.wav", "done:spot2.wav"}));
    EXPECT_EQ(w.files.Runs["long.wav"], 0);
    longRun();
    w.executor.RunAll();  // its move
    EXPECT_EQ(w.files.Moves.back(), "done:long.wav");
}

TEST(WatchPolicy, TellsTransientCausesFromFinalOnes) {
    for (const int error : {ENOSPC, EIO, EMFILE, ENFILE, ENOMEM})
        EXPECT_EQ(Classify(Failure(RowReason::WriteFailed, error)), WatchVerdict::Retry) << error;
    for (const RowReason reason :
         {RowReason::OutputUnavailable, RowReason::SourceInUse, RowReason::OutOfMemory, RowReason::Locked})
        EXPECT_EQ(Classify(Failure(reason)), WatchVerdict::Retry) << ReasonCode(reason);
    for (const RowReason reason : {RowReason::NotWave, RowReason::TooQuiet, RowReason::WouldClip,
                                   RowReason::InternalError, RowReason::NameUsedInRun})
        EXPECT_EQ(Classify(Failure(reason)), WatchVerdict::Failed) << ReasonCode(reason);
    EXPECT_EQ(Classify(Failure(RowReason::WriteFailed, EACCES)), WatchVerdict::Failed);
    EXPECT_EQ(Classify(FakeFile::Written()), WatchVerdict::Done);
    WatchResult partCopy = FakeFile::Written();
    partCopy.Reason = RowReason::IncompleteData;
    EXPECT_EQ(Classify(partCopy), WatchVerdict::Incomplete) << "a copy of a part is never done";
    EXPECT_EQ(Classify(Failure(RowReason::Stopped)), WatchVerdict::Stopped);
}

TEST(WatchPolicy, ATransientFailureIsTriedAgainWithABoundedBackOffAndOnlyTheFinalOutcomeIsJournaled) {
    Watch w([](WatchSettings& s) {
        s.FirstRetryNs = 2 * kSecond;
        s.LongestRetryNs = 6 * kSecond;
    });
    FakeFile full;
    full.Results = {Failure(RowReason::WriteFailed, ENOSPC), Failure(RowReason::WriteFailed, ENOSPC),
                    Failure(RowReason::OutputUnavailable), FakeFile::Written()};
    w.Arrive("a.wav", full);
    std::vector<std::int64_t> waits;
    w.Advance();
    for (int attempt = 0; attempt < 3; ++attempt) {
        w.executor.RunAll();
        EXPECT_EQ(w.Entry("a.wav"), nullptr) << "a transient failure is not journaled";
        EXPECT_TRUE(w.files.Moves.empty());
        EXPECT_EQ(w.policy->Counts().Retrying, 1U);
        waits.push_back(w.policy->NextDueNs());
        w.Advance();
    }
    EXPECT_EQ(waits, (std::vector<std::int64_t>{2 * kSecond, 4 * kSecond, 6 * kSecond}));
    w.executor.RunAll();
    EXPECT_EQ(w.notes.Count("try 1 failed", WatchLevel::Warning), 1U);
    EXPECT_EQ(w.notes.Count("try 3 failed", WatchLevel::Warning), 1U);
    EXPECT_NE(w.policy->Counts().LastError.find("output_unavailable"), std::string::npos);
    ASSERT_NE(w.Entry("a.wav"), nullptr);
    EXPECT_TRUE(w.Entry("a.wav")->Written());
    EXPECT_EQ(w.files.Moves, std::vector<std::string>{"done:a.wav"});
    EXPECT_EQ(w.policy->Counts().Retrying, 0U);
    EXPECT_EQ(RetryDelayNs(w.settings, 40), 6 * kSecond);
}

TEST(WatchPolicy, IncompleteDataNeverReachesDoneAndFailsOnlyAfterStayingUnchangedForTheGiveUpTime) {
    Watch w([](WatchSettings& s) { s.IncompleteGiveUpNs = 60 * kSecond; });
    FakeFile half;
    half.Incomplete = true;
    w.Arrive("a.wav", half);
    w.Advance();
    w.executor.RunAll();
    EXPECT_EQ(w.files.Runs["a.wav"], 0) << "no copy of a part";
    EXPECT_EQ(w.Entry("a.wav"), nullptr);
    EXPECT_EQ(w.policy->Counts().Waiting, 1U);
    // The upload goes on after a pause, and the rest arrives.
    w.now += 50 * kSecond;
    w.files.Files["a.wav"].Size = 2000;
    w.files.Files["a.wav"].Incomplete = false;
    w.policy->Observe("a.wav");
    w.Settle();
    EXPECT_EQ(w.files.Runs["a.wav"], 1);
    EXPECT_EQ(w.files.Moves, std::vector<std::string>{"done:a.wav"});

    // Cut short for good: unchanged for the give-up time, it fails.
    w.Arrive("b.wav", half);
    w.Advance();
    w.executor.RunAll();
    const std::int64_t cutAt = w.now;
    while (w.files.Moves.size() < 2) {
        w.Advance();
        w.executor.RunAll();
    }
    EXPECT_GE(w.now - cutAt, 60 * kSecond);
    EXPECT_EQ(w.files.Runs["b.wav"], 0);
    EXPECT_EQ(w.files.Moves.back(), "failed:b.wav");
    EXPECT_EQ(w.files.ReasonTexts["b.wav"].rfind("incomplete_data\n", 0), 0U);
    ASSERT_NE(w.Entry("b.wav"), nullptr);
    EXPECT_EQ(w.Entry("b.wav")->Reason, "incomplete_data");
}

TEST(WatchPolicy, TheJournalHoldsTheFilingBeforeTheMoveAndARestartCompletesIt) {
    Watch w;
    std::vector<std::string> atMove;
    w.files.OnMove = [&](const std::string& pPath) {
        const JournalEntry* entry = w.journal().Find(MakeJournalKey(pPath, 1000, 7));
        atMove.push_back(entry == nullptr ? "none" : entry->Phase == JournalPhase::Filing ? "filing" : "final");
    };
    w.Arrive("a.wav");
    w.Settle();
    EXPECT_EQ(atMove, std::vector<std::string>{"filing"});
    EXPECT_EQ(w.Entry("a.wav")->Phase, JournalPhase::Final);
    EXPECT_TRUE(w.Entry("a.wav")->Moved);

    // A crash between the filing line and the move: the next start files
    // the source where the journal says, and does not run it again.
    ASSERT_EQ(w.journal().Record(MakeJournalKey("b.wav", 1000, 7), JournalPhase::Filing, "failed", true,
                                 "\"reason\":\"too_quiet\",\"reason_text\":\"too quiet\""),
              0);
    w.Reopen();
    w.files.OnMove = {};
    w.Arrive("b.wav");
    w.Settle();
    EXPECT_EQ(w.files.Runs["b.wav"], 0);
    EXPECT_EQ(w.files.Moves.back(), "failed:b.wav");
    EXPECT_EQ(w.files.ReasonTexts["b.wav"], "too_quiet\ntoo quiet");
    EXPECT_EQ(w.Entry("b.wav")->Phase, JournalPhase::Final);
}

TEST(WatchPolicy, AFileMovedBackIsTakenAgainWhileOneLeftInPlaceIsDoneOnce) {
    Watch w;
    FakeFile quiet;
    quiet.Results = {Failure(RowReason::TooQuiet)};
    w.Arrive("q.wav", quiet);
    w.Settle();
    EXPECT_EQ(w.files.Moves, std::vector<std::string>{"failed:q.wav"});
    // The operator fixed the cause and moved it back.
    quiet.Results = {FakeFile::Written()};
    w.Arrive("q.wav", quiet);
    w.Settle();
    EXPECT_EQ(w.files.Runs["q.wav"], 2);
    EXPECT_EQ(w.files.Moves.back(), "done:q.wav");

    Watch inPlace([](WatchSettings& s) { s.DoneFolder = s.FailedFolder = false; });
    inPlace.Arrive("a.wav");
    inPlace.Settle();
    inPlace.policy->Observe("a.wav");  // a rescan finds it still there
    inPlace.Settle();
    EXPECT_EQ(inPlace.files.Runs["a.wav"], 1);
}

TEST(WatchPolicy, ARescanReadsNoFileFinishedInThisSessionAgainWhileItStaysUnchanged) {
    Watch w([](WatchSettings& s) { s.DoneFolder = s.FailedFolder = false; });
    w.Arrive("a.wav");
    w.Settle();
    for (int rescan = 0; rescan < 5; ++rescan) {
        w.policy->Observe("a.wav");
        w.Settle();
    }
    EXPECT_EQ(w.files.Looks["a.wav"], 1) << "neither opened nor hashed again";
    EXPECT_TRUE(w.policy->Idle());

    // Done in an earlier session: looked at once, and said once.
    ASSERT_EQ(w.journal().Record(MakeJournalKey("b.wav", 1000, 7), JournalPhase::Final, "written", false, ""), 0);
    w.Reopen();
    w.Arrive("b.wav");
    w.Settle();
    for (int rescan = 0; rescan < 5; ++rescan) {
        w.policy->Observe("b.wav");
        w.Settle();
    }
    EXPECT_EQ(w.files.Looks["b.wav"], 1);
    EXPECT_EQ(w.notes.Count("b.wav: done before (in the journal)", WatchLevel::Info), 1U);
    // Touched, the same content: looked at again, but not said again.
    w.files.Files["b.wav"].ModifiedNs = 2;
    w.policy->Observe("b.wav");
    w.Settle();
    EXPECT_EQ(w.files.Looks["b.wav"], 2);
    EXPECT_EQ(w.notes.Count("b.wav: done before (in the journal)", WatchLevel::Info), 1U);
    // A new delivery under that name is new work.
    w.files.Files["b.wav"].Hash = 9;
    w.files.Files["b.wav"].ModifiedNs = 3;
    w.policy->Observe("b.wav");
    w.Settle();
    EXPECT_EQ(w.files.Runs["b.wav"], 1);
}

TEST(WatchPolicy, ASecondSourceForTheSameCopyFailsAndNeverReplacesTheFirst) {
    Watch w([](WatchSettings& s) { s.Jobs = 2; });
    FakeFile lower, upper;
    lower.Copy = upper.Copy = "out/x.wav";
    upper.Hash = 8;
    w.Arrive("x.wav", lower);
    w.Arrive("x.WAV", upper);
    w.Advance();
    ASSERT_EQ(w.executor.Works.size(), 2U);
    w.executor.RunFirst();  // x.WAV's look (the names sort upper case first)
    w.executor.RunFirst();  // x.wav's look: it waits for x.WAV's run
    ASSERT_EQ(w.executor.Works.size(), 1U);
    w.Settle();
    EXPECT_EQ(w.files.Runs["x.WAV"] + w.files.Runs["x.wav"], 1) << "one copy, made once";
    ASSERT_EQ(w.files.Moves.size(), 2U);
    const std::string second = w.files.Runs["x.WAV"] == 1 ? "x.wav" : "x.WAV";
    EXPECT_EQ(w.files.Moves.back(), "failed:" + second);
    EXPECT_EQ(w.files.ReasonTexts[second].rfind("name_used_in_run\n", 0), 0U);
}

TEST(WatchPolicy, AnExceptionInARunFailsThatFileAndTheWatchGoesOn) {
    Watch w;
    FakeFile faulty;
    faulty.Throws = true;
    w.Arrive("bad.wav", faulty);
    w.Arrive("good.wav");
    w.Settle();
    EXPECT_EQ(w.files.Moves, (std::vector<std::string>{"failed:bad.wav", "done:good.wav"}));
    EXPECT_EQ(w.files.ReasonTexts["bad.wav"].rfind("internal_error\n", 0), 0U);
    EXPECT_TRUE(w.policy->AnyFailed());
    EXPECT_EQ(w.policy->Counts().Done, 1U);
    EXPECT_EQ(w.policy->Counts().Failed, 1U);
}

TEST(WatchPolicy, AStickyFolderThatRefusesTheMoveIsSaidOnceAndTheFileIsNotTakenAgain) {
    Watch w;
    FakeFile stuck;
    stuck.MoveError = EPERM;
    w.Arrive("a.wav", stuck);
    w.Settle();
    ASSERT_NE(w.Entry("a.wav"), nullptr);
    EXPECT_FALSE(w.Entry("a.wav")->Moved);
    EXPECT_NE(w.policy->Counts().LastError.find("cannot be moved"), std::string::npos);
    EXPECT_EQ(w.notes.FiledLines.size(), 1U);
    EXPECT_EQ(w.policy->Counts().LeftInPlace, 1U);
    EXPECT_EQ(w.policy->Counts().LeftInPlaceFile, "a.wav");
    for (int rescan = 0; rescan < 3; ++rescan) {
        w.policy->Observe("a.wav");
        w.Settle();
    }
    EXPECT_EQ(w.files.Runs["a.wav"], 1);
    EXPECT_EQ(w.files.Looks["a.wav"], 1);
    EXPECT_EQ(w.notes.FiledLines.size(), 1U);
    EXPECT_EQ(w.notes.Lines.size(), 1U) << "its processing, and nothing after its filing line";

    // The next session finds it in the journal, unmoved: still in the status.
    w.Reopen();
    w.policy->Observe("a.wav");
    w.Settle();
    EXPECT_EQ(w.files.Runs["a.wav"], 1);
    EXPECT_EQ(w.notes.Count("left in place", WatchLevel::Warning), 1U);
    EXPECT_EQ(w.policy->Counts().LeftInPlace, 1U);
    // Removed by the operator: no longer counted.
    w.files.Files.erase("a.wav");
    w.policy->Observe("a.wav");
    EXPECT_EQ(w.policy->Counts().LeftInPlace, 0U);
    EXPECT_EQ(w.policy->Counts().LeftInPlaceFile, "");
}

TEST(WatchPolicy, FilesLeftInPlaceThatWentWithoutAWordAreForgottenOnceTheirNumberHasDoubled) {
    constexpr int kFiles = 8;  // the least number at which the policy looks for files gone
    Watch w([](WatchSettings& s) { s.KeptCheckFloor = kFiles; });
    FakeFile stuck;
    stuck.MoveError = EPERM;
    w.Arrive("gone.wav", stuck);
    w.Settle();
    // Deleted without an event the watch would see (another host's share).
    w.files.Files.erase("gone.wav");
    for (int file = 1; file < kFiles; ++file) w.Arrive("f" + std::to_string(file) + ".wav", stuck);
    w.Settle();
    EXPECT_EQ(w.policy->Counts().LeftInPlace, static_cast<size_t>(kFiles - 1));
    // The next check comes once they have doubled: until then f1, gone, still counts.
    w.files.Files.erase("f1.wav");
    for (int file = kFiles; file < 2 * kFiles - 2; ++file) w.Arrive("f" + std::to_string(file) + ".wav", stuck);
    w.Settle();
    EXPECT_EQ(w.policy->Counts().LeftInPlace, static_cast<size_t>(2 * kFiles - 3));
    w.Arrive("last.wav", stuck);
    w.Settle();
    EXPECT_EQ(w.policy->Counts().LeftInPlace, static_cast<size_t>(2 * kFiles - 3));
}

TEST(WatchPolicy, TheMoveRunsOnAWorkerAndATransientMoveErrorIsTriedAgainFromTheFilingLine) {
    Watch w([](WatchSettings& s) { s.FirstRetryNs = 2 * kSecond; });
    FakeFile file;
    file.MoveErrors = {ENOSPC, EIO};
    w.Arrive("a.wav", file);
    w.Advance();
    w.executor.RunFirst();  // looked at
    w.executor.RunFirst();  // run
    // The owner only queued the move: a copy to another disk never holds its loop.
    ASSERT_EQ(w.executor.Works.size(), 1U);
    EXPECT_TRUE(w.files.Moves.empty());
    ASSERT_NE(w.Entry("a.wav"), nullptr);
    EXPECT_EQ(w.Entry("a.wav")->Phase, JournalPhase::Filing);
    w.executor.RunFirst();  // the move fails: the done disk is full
    EXPECT_EQ(w.Entry("a.wav")->Phase, JournalPhase::Filing) << "not stranded: still to be filed";
    EXPECT_EQ(w.policy->Counts().Retrying, 1U);
    EXPECT_EQ(w.notes.Count("cannot be moved to the done folder (" + std::string(std::strerror(ENOSPC)) +
                                "); try 1 failed, next try in 2 s",
                            WatchLevel::Warning),
              1U);
    EXPECT_TRUE(w.notes.FiledLines.empty());
    w.Settle();
    EXPECT_EQ(w.notes.Count("try 2 failed", WatchLevel::Warning), 1U);
    EXPECT_EQ(w.files.Moves, std::vector<std::string>{"done:a.wav"});
    EXPECT_EQ(w.files.Runs["a.wav"], 1) << "filed from its line, not run again";
    EXPECT_EQ(w.Entry("a.wav")->Phase, JournalPhase::Final);
    EXPECT_TRUE(w.Entry("a.wav")->Moved);
    EXPECT_EQ(w.notes.FiledLines.size(), 1U) << "its outcome is reported once, as written";
    EXPECT_EQ(w.policy->Counts().Retrying, 0U);
    EXPECT_EQ(w.policy->Counts().LeftInPlace, 0U);

    // A single pass leaves it for the next run, its filing line kept.
    Watch once([](WatchSettings& s) { s.Once = true; });
    FakeFile full;
    full.MoveErrors = {ENOSPC};
    once.Arrive("b.wav", full);
    once.Settle();
    EXPECT_EQ(once.Entry("b.wav")->Phase, JournalPhase::Filing);
    EXPECT_EQ(once.notes.Count("left for the next run", WatchLevel::Warning), 1U);
    EXPECT_TRUE(once.policy->AnyFailed());
}

TEST(WatchPolicy, AFileThatCannotBeReadForACauseThatStaysIsSaidOnceAtErrorLevelAndLeftUntilItChanges) {
    Watch w;
    FakeFile locked;
    locked.OpenError = EACCES;
    FakeFile faulty;
    faulty.LookThrows = true;
    FakeFile crowded;
    crowded.OpenError = EMFILE;
    w.Arrive("locked.wav", locked);
    w.Arrive("faulty.wav", faulty);
    w.Arrive("crowded.wav", crowded);
    w.Advance();
    for (int pass = 0; pass < 3; ++pass) {
        w.executor.RunAll();
        w.policy->Observe("locked.wav");  // rescans
        w.policy->Observe("faulty.wav");
        w.Advance();
    }
    w.executor.RunAll();
    EXPECT_EQ(w.files.Looks["locked.wav"], 1);
    EXPECT_EQ(w.files.Looks["faulty.wav"], 1);
    EXPECT_EQ(w.files.Looks["crowded.wav"], 4) << "too many open files passes: tried again";
    EXPECT_EQ(w.notes.Count("locked.wav: cannot_open (" + std::string(std::strerror(EACCES)) + ")", WatchLevel::Error),
              1U);
    EXPECT_EQ(w.notes.Count("faulty.wav: internal_error", WatchLevel::Error), 1U);
    EXPECT_EQ(w.notes.Count("left in place until it changes", WatchLevel::Error), 2U);
    const WatchCounts counts = w.policy->Counts();
    EXPECT_EQ(counts.Unreadable, 2U);
    EXPECT_FALSE(counts.UnreadableFile.empty());
    EXPECT_EQ(counts.Retrying, 1U);
    EXPECT_TRUE(w.policy->AnyFailed());
    EXPECT_EQ(w.journal().Count(), 0U) << "no key without its content";
    EXPECT_TRUE(w.files.Moves.empty());

    // Its permission mended (a change of its stamp): taken.
    w.files.Files["locked.wav"].OpenError = 0;
    w.files.Files["locked.wav"].ModifiedNs = 2;
    w.files.Files["crowded.wav"].OpenError = 0;
    w.policy->Observe("locked.wav");
    w.Settle();
    std::sort(w.files.Moves.begin(), w.files.Moves.end());
    EXPECT_EQ(w.files.Moves, (std::vector<std::string>{"done:crowded.wav", "done:locked.wav"}));
    EXPECT_EQ(w.policy->Counts().Unreadable, 1U);
    EXPECT_EQ(w.policy->Counts().UnreadableFile, "faulty.wav");
}

TEST(WatchPolicy, ABusyFileBacksOffButIsLookedAtSoonOnceItsWriterClosesIt) {
    Watch w([](WatchSettings& s) {
        s.SettleNs = kSecond;
        s.FirstRetryNs = 2 * kSecond;
        s.LongestRetryNs = 60 * kSecond;
    });
    FakeFile busy;
    busy.Busy = true;
    w.Arrive("a.wav", busy);
    for (int attempt = 0; attempt < 4; ++attempt) {
        w.Advance();
        w.executor.RunAll();
    }
    EXPECT_EQ(w.policy->NextDueNs(), 16 * kSecond);
    EXPECT_EQ(w.notes.Count("source_in_use", WatchLevel::Info), 4U) << "busy is no fault";
    EXPECT_TRUE(w.policy->Counts().LastError.empty());
    // The writer closes it (the close event arrives): the next look is after
    // the settle time, not the back-off.
    w.files.Files["a.wav"].Busy = false;
    w.policy->Observe("a.wav");
    EXPECT_EQ(w.policy->NextDueNs(), kSecond);
    w.Settle();
    EXPECT_EQ(w.files.Moves, std::vector<std::string>{"done:a.wav"});
}

}  // namespace
}  // namespace sonivate
