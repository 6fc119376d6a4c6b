#include "app/watch_policy.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "app/batch_controller.h"
#include "app/row_status.h"

namespace sonivate {
namespace {

constexpr std::int64_t kNsPerSecond = 1000000000;
// A move that threw something other than bad_alloc: no cause to retry.
constexpr int kMoveFault = ENOTRECOVERABLE;

std::string ErrorText(int pError) { return pError == 0 ? std::string() : std::strerror(pError); }

std::string ReasonWithError(RowReason pReason, int pError) {
    std::string text = pReason == RowReason::None ? "cannot be read" : ReasonCode(pReason);
    if (pError != 0) text += " (" + ErrorText(pError) + ")";
    return text;
}

// Busy or changing files pass by themselves and are no fault.
bool IsFault(RowReason pReason) {
    return pReason != RowReason::SourceInUse && pReason != RowReason::SourceChanged && pReason != RowReason::Locked;
}

std::string Seconds(std::int64_t pNs) { return std::to_string((pNs + kNsPerSecond - 1) / kNsPerSecond) + " s"; }

}  // namespace

bool IsTransient(RowReason pReason, int pError) {
    switch (pReason) {
        case RowReason::OutOfMemory:
        case RowReason::OutputUnavailable:
        case RowReason::SourceInUse:
        case RowReason::Locked:
        case RowReason::SourceChanged:
        case RowReason::NotReached:
            return true;
        default:
            break;
    }
    switch (pError) {
        case ENOSPC:
        case EDQUOT:
        case EIO:
        case EMFILE:
        case ENFILE:
        case ENOMEM:
        case EAGAIN:
            return true;
        default:
            return false;
    }
}

WatchVerdict Classify(const WatchResult& pResult) {
    if (pResult.Stopped || pResult.Reason == RowReason::Stopped) return WatchVerdict::Stopped;
    // A copy of a part is never published as done: the rest may come.
    if (pResult.Reason == RowReason::IncompleteData) return WatchVerdict::Incomplete;
    if (pResult.Written) return WatchVerdict::Done;
    return IsTransient(pResult.Reason, pResult.Error) ? WatchVerdict::Retry : WatchVerdict::Failed;
}

std::int64_t RetryDelayNs(const WatchSettings& pSettings, std::int32_t pTries) {
    std::int64_t delay = std::max<std::int64_t>(pSettings.FirstRetryNs, 1);
    for (std::int32_t t = 1; t < pTries && delay < pSettings.LongestRetryNs; ++t) delay *= 2;
    return std::min(delay, pSettings.LongestRetryNs);
}

WatchPolicy::WatchPolicy(const WatchSettings& pSettings, WatchFiles& pFiles, WatchJournal& pJournal,
                         WatchReport& pReport, RunExecutor& pExecutor, Clock pClock)
    : mSettings(pSettings),
      mFiles(pFiles),
      mJournal(pJournal),
      mReport(pReport),
      mExecutor(pExecutor),
      mClock(std::move(pClock)) {
    mSettings.Jobs = std::max<std::int32_t>(mSettings.Jobs, 1);
}

bool WatchPolicy::Tracks(const std::string& pPath) const {
    return mWaiting.count(pPath) != 0 || mInFlight.count(pPath) != 0 ||
           std::find(mQueue.begin(), mQueue.end(), pPath) != mQueue.end();
}

void WatchPolicy::Observe(const std::string& pPath) {
    if (mInFlight.count(pPath) != 0) {
        mSeenAgain.insert(pPath);
        return;
    }
    if (std::find(mQueue.begin(), mQueue.end(), pPath) != mQueue.end()) return;
    for (const auto& [copy, blocked] : mBlocked)
        if (blocked == pPath) return;
    const platform::FileStamp stamp = mFiles.Stamp(pPath);
    if (!stamp.Valid || !stamp.Regular) {
        mWaiting.erase(pPath);
        mRetrying.erase(pPath);
        Release(pPath);
        return;
    }
    if (const auto kept = mKept.find(pPath); kept != mKept.end()) {
        // Finished in this session and left here: a rescan never reads it
        // again, a change (a new delivery under its name, a chmod) does.
        if (kept->second.Stamp == stamp) return;
        Release(pPath);
    }
    const std::int64_t now = mClock();
    const auto known = mWaiting.find(pPath);
    if (known != mWaiting.end()) {
        if (known->second.Stamp == stamp) {
            // A file busy at its last try was seen again (closed by its
            // writer, or found by a rescan): looked at after the settle
            // time, not after the back-off. Otherwise it keeps its time.
            if (mRetrying.count(pPath) != 0)
                known->second.DueNs = std::min(known->second.DueNs, now + mSettings.SettleNs);
            return;
        }
        known->second.Stamp = stamp;
        known->second.DueNs = now + mSettings.SettleNs;
        return;
    }
    mWaiting[pPath] = {stamp, now + mSettings.SettleNs, now};
}

void WatchPolicy::Wait(const std::string& pPath, const platform::FileStamp& pStamp, std::int64_t pDelayNs) {
    const std::int64_t now = mClock();
    const auto known = mWaiting.find(pPath);
    const std::int64_t since = known != mWaiting.end() ? known->second.SinceNs : now;
    mWaiting[pPath] = {pStamp, now + std::max<std::int64_t>(pDelayNs, 0), since};
}

void WatchPolicy::Pump() {
    if (mStopping || mFatal) return;
    const std::int64_t now = mClock();
    for (auto it = mWaiting.begin(); it != mWaiting.end();) {
        if (now < it->second.DueNs) {
            ++it;
            continue;
        }
        const std::string path = it->first;
        const platform::FileStamp stamp = mFiles.Stamp(path);
        if (!stamp.Valid || !stamp.Regular) {
            mRetrying.erase(path);
            mHistory.erase(path);
            it = mWaiting.erase(it);
        } else if (stamp != it->second.Stamp) {
            if (mSettings.Once) {
                mReport.Note(WatchLevel::Warning, path, "still changing; left for the next run");
                mRetrying.erase(path);
                it = mWaiting.erase(it);
                continue;
            }
            it->second.Stamp = stamp;
            it->second.DueNs = now + mSettings.SettleNs;
            ++it;
        } else {
            mRetrying.erase(path);
            mQueue.push_back(path);
            it = mWaiting.erase(it);
        }
    }
    // Each file is started as soon as it is due and a job is free: a short
    // file never waits for a long one in progress.
    while (!mQueue.empty() && mInFlight.size() < static_cast<size_t>(mSettings.Jobs)) {
        const std::string path = mQueue.front();
        mQueue.pop_front();
        Start(path);
    }
}

std::int64_t WatchPolicy::NextDueNs() const {
    if (!mQueue.empty() && mInFlight.size() < static_cast<size_t>(mSettings.Jobs) && !mStopping) return 0;
    const std::int64_t now = mClock();
    std::int64_t next = -1;
    for (const auto& [path, waiting] : mWaiting) {
        const std::int64_t due = std::max<std::int64_t>(0, waiting.DueNs - now);
        next = next < 0 ? due : std::min(next, due);
    }
    return next;
}

bool WatchPolicy::Idle() const { return mWaiting.empty() && mQueue.empty() && mInFlight.empty() && mBlocked.empty(); }

void WatchPolicy::Start(const std::string& pPath) {
    mInFlight.insert(pPath);
    mExecutor.Execute([this, pPath] {
        WatchLook look;
        try {
            look = mFiles.Look(pPath);
        } catch (const std::bad_alloc&) {
            look = {};
            look.Kind = WatchLookKind::Trouble;
            look.Reason = RowReason::OutOfMemory;
        } catch (...) {
            look = {};
            look.Kind = WatchLookKind::Trouble;
            look.Reason = RowReason::InternalError;
        }
        look.Path = pPath;
        mExecutor.Post([this, look] { Looked(look); });
    });
}

void WatchPolicy::Looked(const WatchLook& pLook) {
    const std::string& path = pLook.Path;
    switch (pLook.Kind) {
        case WatchLookKind::Vanished:
            mHistory.erase(path);
            mUnfiled.erase(path);
            Finished(path);
            return;
        case WatchLookKind::NotYet:
            Retry(pLook, ReasonWithError(pLook.Reason, pLook.Error), IsFault(pLook.Reason));
            return;
        case WatchLookKind::Trouble:
            if (IsTransient(pLook.Reason, pLook.Error))
                Retry(pLook, ReasonWithError(pLook.Reason, pLook.Error), true);
            else
                Unreadable(pLook);
            return;
        case WatchLookKind::Incomplete:
            WaitForData(pLook);
            return;
        case WatchLookKind::Ready:
            break;
    }
    if (mStopping) {
        Finished(path);
        return;
    }
    const JournalKey key = MakeJournalKey(pLook.Name, pLook.Stamp.Size, pLook.Hash);
    if (const JournalEntry* entry = mJournal.Find(key)) {
        if (entry->Phase == JournalPhase::Filing) {
            FileAgain(pLook, *entry);
            return;
        }
        const bool movesAside = entry->Written() ? mSettings.DoneFolder : mSettings.FailedFolder;
        if (!(entry->Moved && movesAside)) {
            // Its move was refused in an earlier session (or that session
            // did not move it): it stays, and the status says so.
            const bool stuck = movesAside && !entry->Moved;
            if (mToldBefore.insert(KeyText(key)).second)
                mReport.Note(stuck ? WatchLevel::Warning : WatchLevel::Info, path,
                             std::string(entry->Written() ? "done before (in the journal)"
                                                          : "failed before (in the journal); rename it to have it "
                                                            "taken again") +
                                 (stuck ? "; not moved then, left in place" : ""));
            mHistory.erase(path);
            Keep(path, pLook.Stamp, stuck ? Kept::Stuck : Kept::Finished);
            Finished(path);
            return;
        }
        mReport.Note(WatchLevel::Info, path, "moved back into the folder; taken again");
    }
    // A copy never replaces another copy of this session: a second source
    // whose copy has that name (x.wav and x.WAV) waits while the first runs
    // and fails once the first stands.
    const auto claim = mCopies.find(pLook.CopyPath);
    if (claim != mCopies.end() && claim->second.Source != pLook.Name) {
        if (claim->second.Running) {
            mBlocked.emplace(pLook.CopyPath, path);
            mInFlight.erase(path);
            Pump();
            return;
        }
        if (claim->second.Written) {
            WatchResult result;
            result.Reason = RowReason::NameUsedInRun;
            File(pLook, result);
            return;
        }
    }
    mCopies[pLook.CopyPath] = {pLook.Name, false, true};
    mReport.Note(WatchLevel::Info, path, "processing");
    mExecutor.Execute([this, pLook] {
        WatchResult result;
        try {
            result = mFiles.Run(pLook);
        } catch (const std::bad_alloc&) {
            result = {};
            result.Reason = RowReason::OutOfMemory;
        } catch (...) {
            result = {};
            result.Reason = RowReason::InternalError;
        }
        mExecutor.Post([this, pLook, result] { Ran(pLook, result); });
    });
}

void WatchPolicy::Ran(const WatchLook& pLook, const WatchResult& pResult) {
    const std::string& path = pLook.Path;
    if (auto claim = mCopies.find(pLook.CopyPath); claim != mCopies.end() && claim->second.Source == pLook.Name) {
        claim->second.Running = false;
        claim->second.Written = claim->second.Written || pResult.Written;
    }
    // The files that waited for this copy's run are looked at again.
    const auto [first, last] = mBlocked.equal_range(pLook.CopyPath);
    for (auto it = first; it != last; ++it) mQueue.push_back(it->second);
    mBlocked.erase(first, last);
    switch (Classify(pResult)) {
        case WatchVerdict::Done:
            mLastSuccess = path;
            mHistory.erase(path);
            File(pLook, pResult);
            return;
        case WatchVerdict::Failed:
            mHistory.erase(path);
            File(pLook, pResult);
            return;
        case WatchVerdict::Retry:
            Retry(pLook, ReasonWithError(pResult.Reason, pResult.Error), IsFault(pResult.Reason));
            return;
        case WatchVerdict::Incomplete:
            WaitForData(pLook);
            return;
        case WatchVerdict::Stopped:
            mReport.Note(WatchLevel::Info, path, "stopped; left for the next start");
            break;
    }
    Finished(path);
}

void WatchPolicy::Retry(const WatchLook& pLook, const std::string& pCause, bool pFault) {
    const std::string& path = pLook.Path;
    History& history = mHistory[path];
    ++history.Tries;
    if (pFault) mLastError = path + ": " + pCause;
    if (mSettings.Once) {
        mReport.Note(pFault ? WatchLevel::Warning : WatchLevel::Info, path, pCause + "; left for the next run");
        if (pFault) mAnyFailed = true;
        Finished(path);
        return;
    }
    const std::int64_t delay = RetryDelayNs(mSettings, history.Tries);
    mReport.Note(pFault ? WatchLevel::Warning : WatchLevel::Info, path,
                 pCause + "; try " + std::to_string(history.Tries) + " failed, next try in " + Seconds(delay));
    Wait(path, pLook.Kind == WatchLookKind::Ready || pLook.Stamp.Valid ? pLook.Stamp : mFiles.Stamp(path), delay);
    mRetrying.insert(path);
    Finished(path);
}

void WatchPolicy::WaitForData(const WatchLook& pLook) {
    const std::string& path = pLook.Path;
    const std::int64_t now = mClock();
    History& history = mHistory[path];
    if (history.IncompleteSinceNs < 0 || history.IncompleteStamp != pLook.Stamp) {
        const bool first = history.IncompleteSinceNs < 0;
        history.IncompleteStamp = pLook.Stamp;
        history.IncompleteSinceNs = now;
        history.IncompleteChecks = 0;
        if (first)
            mReport.Note(WatchLevel::Info, path,
                         "its audio data ends before its header says; waiting for the rest (fails after " +
                             Seconds(mSettings.IncompleteGiveUpNs) + " unchanged)");
    }
    if (mSettings.Once) {
        mReport.Note(WatchLevel::Info, path, "incomplete_data; left for the next run");
        Finished(path);
        return;
    }
    const std::int64_t unchanged = now - history.IncompleteSinceNs;
    if (unchanged >= mSettings.IncompleteGiveUpNs) {
        mHistory.erase(path);
        WatchResult result;
        result.Reason = RowReason::IncompleteData;
        File(pLook, result);
        return;
    }
    ++history.IncompleteChecks;
    const std::int64_t delay =
        std::min(RetryDelayNs(mSettings, history.IncompleteChecks), mSettings.IncompleteGiveUpNs - unchanged);
    Wait(path, pLook.Stamp, std::max(delay, mSettings.SettleNs));
    Finished(path);
}

bool WatchPolicy::Record(const JournalKey& pKey, JournalPhase pPhase, const std::string& pStatus, bool pMoved,
                         const std::string& pMembers) {
    const int error = mJournal.Record(pKey, pPhase, pStatus, pMoved, pMembers);
    if (error == 0) return true;
    mFatal = true;
    mReport.Note(WatchLevel::Error, {}, "cannot write the journal: " + ErrorText(error) + "; stopping");
    return false;
}

std::string WatchPolicy::ReasonFileText(const std::string& pCode, const std::string& pText, int pError) const {
    std::string text = pCode + "\n" + pText;
    if (pError != 0) text += " (" + ErrorText(pError) + ")";
    return text;
}

// The record never misses a moved file: a Filing line is flushed before the
// source moves, the Final line after. A crash in between leaves the Filing
// line, and the file is then filed (FileAgain) without being done again.
// The move runs on a worker: to another file system it copies the file.
void WatchPolicy::File(const WatchLook& pLook, const WatchResult& pResult) {
    const bool written = pResult.Written;
    const RowStatus status =
        written ? RowStatus::Written : (pResult.Measured ? RowStatus::NotWritten : RowStatus::Failed);
    if (!written) {
        mAnyFailed = true;
        mLastError = pLook.Path + ": " + ReasonWithError(pResult.Reason, pResult.Error);
    }
    auto filing = std::make_shared<Filing>();
    filing->Look = pLook;
    filing->Result = std::make_shared<const WatchResult>(pResult);
    filing->Status = StatusCode(status);
    filing->Written = written;
    if (!(written ? mSettings.DoneFolder : mSettings.FailedFolder)) {
        Moved(*filing, {}, 0);
        return;
    }
    const JournalKey key = MakeJournalKey(pLook.Name, pLook.Stamp.Size, pLook.Hash);
    if (!Record(key, JournalPhase::Filing, filing->Status, true, mFiles.Describe(pLook, &pResult, {}, 0))) {
        Finished(pLook.Path);
        return;
    }
    if (!written)
        filing->ReasonText =
            ReasonFileText(ReasonCode(pResult.Reason), ReasonText(pResult.Reason, LanguageOfLocale()), pResult.Error);
    Move(std::move(filing));
}

void WatchPolicy::FileAgain(const WatchLook& pLook, const JournalEntry& pEntry) {
    auto filing = std::make_shared<Filing>();
    filing->Look = pLook;
    filing->Status = pEntry.Status;
    filing->Written = pEntry.Written();
    // A move of this session that failed for a cause that may pass: its
    // outcome is reported as it would have been.
    const JournalKey key = MakeJournalKey(pLook.Name, pLook.Stamp.Size, pLook.Hash);
    if (const auto unfiled = mUnfiled.find(pLook.Path); unfiled != mUnfiled.end() && unfiled->second.Key == key)
        filing->Result = unfiled->second.Result;
    if (!(filing->Written ? mSettings.DoneFolder : mSettings.FailedFolder)) {
        Moved(*filing, {}, 0);
        return;
    }
    if (!filing->Written) filing->ReasonText = ReasonFileText(pEntry.Reason, pEntry.ReasonText, 0);
    Move(std::move(filing));
}

void WatchPolicy::Move(std::shared_ptr<const Filing> pFiling) {
    mExecutor.Execute([this, pFiling] {
        std::string movedTo;
        int error = 0;
        try {
            error = mFiles.MoveAside(pFiling->Look, pFiling->Written, pFiling->ReasonText, movedTo);
        } catch (const std::bad_alloc&) {
            error = ENOMEM;
        } catch (...) {
            error = kMoveFault;
        }
        if (error != 0) movedTo.clear();
        mExecutor.Post([this, pFiling, movedTo, error] { Moved(*pFiling, movedTo, error); });
    });
}

void WatchPolicy::Moved(const Filing& pFiling, const std::string& pMovedTo, int pMoveError) {
    const WatchLook& look = pFiling.Look;
    const std::string& path = look.Path;
    const JournalKey key = MakeJournalKey(look.Name, look.Stamp.Size, look.Hash);
    if (pMoveError != 0 && IsTransient(RowReason::None, pMoveError)) {
        // The Filing line stays, and the next try files the source from it
        // (a full done disk must not strand a delivery in the folder).
        mUnfiled[path] = {key, pFiling.Result};
        Retry(look,
              std::string("cannot be moved to the ") + (pFiling.Written ? "done" : "failed") + " folder (" +
                  ErrorText(pMoveError) + ")",
              true);
        return;
    }
    mUnfiled.erase(path);
    if (!Record(key, JournalPhase::Final, pFiling.Status, !pMovedTo.empty(),
                mFiles.Describe(look, pFiling.Result.get(), pMovedTo, pMoveError))) {
        Finished(path);
        return;
    }
    mHistory.erase(path);
    if (pMoveError != 0) mLastError = path + ": cannot be moved: " + ErrorText(pMoveError);
    if (pMovedTo.empty()) Keep(path, look.Stamp, pMoveError != 0 ? Kept::Stuck : Kept::Finished);
    if (pFiling.Result) {
        if (const JournalEntry* entry = mJournal.Find(key)) mReport.Filed(path, pFiling.Written, entry->Line);
    } else {
        mReport.Note(pMoveError == 0 ? WatchLevel::Info : WatchLevel::Error, path,
                     std::string(pFiling.Written ? "done" : "failed") + " before a restart; " +
                         (pMoveError != 0    ? "cannot be moved: " + ErrorText(pMoveError) + "; left in place"
                          : pMovedTo.empty() ? std::string("its filing is recorded")
                                             : "moved to " + pMovedTo));
    }
    Finished(path);
}

// A cause that stays (no permission, a fault in the look): said once, at
// error level; the file stays where it is, unjournaled (it cannot be
// hashed, so the journal has no key for it), until it changes.
void WatchPolicy::Unreadable(const WatchLook& pLook) {
    const std::string& path = pLook.Path;
    mHistory.erase(path);
    mAnyFailed = true;
    const std::string cause = ReasonWithError(pLook.Reason, pLook.Error);
    mLastError = path + ": " + cause;
    mReport.Note(WatchLevel::Error, path, cause + "; left in place until it changes");
    Keep(path, pLook.Stamp.Valid ? pLook.Stamp : mFiles.Stamp(path), Kept::Unreadable);
    Finished(path);
}

void WatchPolicy::Keep(const std::string& pPath, const platform::FileStamp& pStamp, Kept pWhy) {
    Release(pPath);
    if (!pStamp.Valid) return;
    mKept[pPath] = {pStamp, pWhy, ++mKeptOrder};
    if (pWhy == Kept::Stuck) {
        ++mStuck;
        mLastStuck = pPath;
    } else if (pWhy == Kept::Unreadable) {
        ++mUnreadable;
        mLastUnreadable = pPath;
    }
    if (mKept.size() >= std::max(mSettings.KeptCheckFloor, 2 * mKeptAfterSweep)) SweepKept();
}

void WatchPolicy::Release(const std::string& pPath) {
    const auto kept = mKept.find(pPath);
    if (kept == mKept.end()) return;
    const Kept why = kept->second.Why;
    mKept.erase(kept);
    if (why == Kept::Stuck) {
        --mStuck;
        if (mLastStuck == pPath) mLastStuck = LatestKept(why);
    } else if (why == Kept::Unreadable) {
        --mUnreadable;
        if (mLastUnreadable == pPath) mLastUnreadable = LatestKept(why);
    }
}

std::string WatchPolicy::LatestKept(Kept pWhy) const {
    std::string latest;
    std::uint64_t order = 0;
    for (const auto& [path, kept] : mKept) {
        if (kept.Why == pWhy && kept.Order > order) {
            latest = path;
            order = kept.Order;
        }
    }
    return latest;
}

void WatchPolicy::SweepKept() {
    std::vector<std::string> gone;
    for (const auto& [path, kept] : mKept)
        if (mFiles.Stamp(path) != kept.Stamp) gone.push_back(path);
    for (const std::string& path : gone) Release(path);
    mKeptAfterSweep = mKept.size();
}

void WatchPolicy::Finished(const std::string& pPath) {
    mInFlight.erase(pPath);
    if (mSeenAgain.erase(pPath) != 0 && !mStopping) Observe(pPath);
    Pump();
}

WatchCounts WatchPolicy::Counts() const {
    WatchCounts counts;
    counts.Done = mJournal.WrittenCount();
    counts.Failed = mJournal.FailedCount();
    counts.Retrying = mRetrying.size();
    counts.Waiting = mWaiting.size() - mRetrying.size() + mQueue.size() + mBlocked.size();
    counts.InProgress = mInFlight.size();
    if (!mInFlight.empty()) counts.InProgressFile = *mInFlight.begin();
    for (const auto& [path, waiting] : mWaiting) {
        if (counts.OldestWaiting.empty() || waiting.SinceNs < counts.OldestWaitingNs) {
            counts.OldestWaiting = path;
            counts.OldestWaitingNs = waiting.SinceNs;
        }
    }
    counts.LastError = mLastError;
    counts.LastSuccess = mLastSuccess;
    counts.LeftInPlace = mStuck;
    counts.LeftInPlaceFile = mLastStuck;
    counts.Unreadable = mUnreadable;
    counts.UnreadableFile = mLastUnreadable;
    return counts;
}

}  // namespace sonivate
