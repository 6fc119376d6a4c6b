#pragma once
// The watch folder's rules, apart from the system: when a file counts as
// complete, what its outcome means (final, or worth another try), how long
// the next try waits, where the source is filed and what the journal keeps.
// The clock, the file operations and the executor are given, so that every
// rule is tested with a fake clock and fake files.
//
// All calls come from one thread (the owner's); the workers' results come
// back through RunExecutor::Post.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "app/row_reason.h"
#include "app/watch_journal.h"
#include "platform/dir_watch.h"

namespace sonivate {

class RunExecutor;

struct WatchSettings {
    std::int64_t SettleNs = 5000000000;  // unchanged this long before a file is looked at, ns
    std::int32_t Jobs = 1;               // files in progress at once
    bool Once = false;                   // a single pass: what cannot be done now is left
    bool DoneFolder = false;             // written sources move to the done folder
    bool FailedFolder = false;           // failed sources move to the failed folder
    // A transient failure's next try waits FirstRetryNs, doubled with each
    // try up to LongestRetryNs. ns.
    std::int64_t FirstRetryNs = 2000000000;
    std::int64_t LongestRetryNs = 300000000000;
    // A file whose audio data ends before its header says waits for the
    // rest; unchanged this long, it fails with incomplete_data. ns.
    std::int64_t IncompleteGiveUpNs = 3600000000000;
    // Files finished in this session that stay in the folder are kept in
    // memory (so that a rescan does not read them again) and checked for
    // ones gone whenever their number has doubled, and not below this many.
    size_t KeptCheckFloor = 1024;
};

// What a look at a file found.
enum class WatchLookKind {
    Vanished,    // gone, or no regular file (a link, a folder)
    NotYet,      // changed while looked at, or open for writing elsewhere: Reason
    Trouble,     // it could not be read or hashed: Reason, Error
    Incomplete,  // its audio data ends before its header says
    Ready,       // opened, hashed and complete
};

// A file as a worker found it. Held keeps the opened file for the run and
// the move (whatever the file operations need; the policy never looks in).
struct WatchLook {
    std::string Path;  // as watched
    std::string Name;  // below the watched folder
    WatchLookKind Kind = WatchLookKind::Vanished;
    platform::FileStamp Stamp;
    std::uint64_t Hash = 0;
    RowReason Reason = RowReason::None;
    int Error = 0;         // errno
    std::string CopyPath;  // where its copy goes
    std::shared_ptr<const void> Held;
};

// What the run of a file gave.
struct WatchResult {
    RowReason Reason = RowReason::None;  // the intake's refusal or the row's reason
    int Error = 0;                       // errno of a failed read or write
    bool Measured = false;
    bool Written = false;
    bool Stopped = false;                // a stop request ended it: left for the next start
    std::shared_ptr<const void> Detail;  // the figures, for Describe
};

// The file system side, given by the owner (the CLI, or a test).
class WatchFiles {
public:
    virtual ~WatchFiles() = default;
    // Owner thread.
    virtual platform::FileStamp Stamp(const std::string& pPath) = 0;
    // A worker thread: opens the file (never through a link), checks it is
    // not being written, hashes it and judges whether its data is complete.
    virtual WatchLook Look(const std::string& pPath) = 0;
    // A worker thread: measures the file and writes its copy.
    virtual WatchResult Run(const WatchLook& pLook) = 0;
    // A worker thread (a move to another file system copies the whole
    // file): moves the held source to the done (pDone) or failed folder
    // below the name it had, the failed one with pReasonText in a reason
    // file beside it. 0 or an errno value; pMovedTo: the new name.
    virtual int MoveAside(const WatchLook& pLook, bool pDone, const std::string& pReasonText,
                          std::string& pMovedTo) = 0;
    // Owner thread: JSON members (no braces) describing the file's outcome
    // for the journal and the output; pResult is null for a file whose run
    // was in an earlier session.
    virtual std::string Describe(const WatchLook& pLook, const WatchResult* pResult, const std::string& pMovedTo,
                                 int pMoveError) = 0;
};

enum class WatchLevel { Info, Warning, Error };

// Where the policy's news goes (log lines, output lines, hooks, status).
class WatchReport {
public:
    virtual ~WatchReport() = default;
    virtual void Note(WatchLevel pLevel, const std::string& pPath, const std::string& pText) = 0;
    // A final outcome, recorded: pLine is its journal line.
    virtual void Filed(const std::string& pPath, bool pWritten, const std::string& pLine) = 0;
};

// The classes of an outcome.
enum class WatchVerdict {
    Done,        // the copy stands: filed as done
    Failed,      // nothing written, for a reason that stays: filed as failed
    Retry,       // nothing written, for a reason that may pass (disk full, file busy): tried again later
    Incomplete,  // the data is not all there yet
    Stopped,     // a stop request came first
};

// True for the reasons and errors that may pass without anyone touching the
// file: no space, I/O errors, too many open files, no memory, the output
// unavailable, the source busy, locked or changing.
bool IsTransient(RowReason pReason, int pError);
WatchVerdict Classify(const WatchResult& pResult);
// The wait before try pTries + 1 after pTries transient failures, ns.
std::int64_t RetryDelayNs(const WatchSettings& pSettings, std::int32_t pTries);

// Counts for the status file and the service manager.
struct WatchCounts {
    size_t Done = 0;                   // in the journal as written
    size_t Failed = 0;                 // in the journal as not written
    size_t Waiting = 0;                // settling, queued or waiting for their data
    size_t Retrying = 0;               // waiting for another try after a transient failure
    size_t InProgress = 0;             // looked at or run by a worker now
    std::string InProgressFile;        // one of them ("" for none)
    std::string OldestWaiting;         // the path waiting longest ("" for none)
    std::int64_t OldestWaitingNs = 0;  // since when, on the policy's clock
    std::string LastError;             // the latest failure or retry, as logged
    std::string LastSuccess;           // the latest file written
    // Files of this session that stay in the folder for good: finished but
    // refused by the move (a sticky folder), or never readable (no
    // permission); each with the latest such path ("" for none).
    size_t LeftInPlace = 0;
    std::string LeftInPlaceFile;
    size_t Unreadable = 0;
    std::string UnreadableFile;
};

class WatchPolicy {
public:
    using Clock = std::function<std::int64_t()>;  // a monotonic clock, ns

    // Everything given must outlive the policy; the executor's works must
    // be finished or dropped before the policy goes.
    WatchPolicy(const WatchSettings& pSettings, WatchFiles& pFiles, WatchJournal& pJournal, WatchReport& pReport,
                RunExecutor& pExecutor, Clock pClock);

    // pPath (a regular WAV file's name) was seen: it settles from now on,
    // unless it was finished in this session and has not changed since.
    void Observe(const std::string& pPath);
    // Starts the files that are due, up to the jobs in progress at once.
    void Pump();
    // Time until a file is due (0: one is), -1 when none waits for time.
    std::int64_t NextDueNs() const;
    // No file waits and none is in progress.
    bool Idle() const;
    // Nothing is in progress (waiting files may remain).
    bool Quiet() const { return mInFlight.empty(); }
    // No more files are started (a stop request); those in progress end.
    void Stop() { mStopping = true; }
    // The journal cannot be written: the watcher must stop.
    bool Fatal() const { return mFatal; }
    // A file failed, or was left with a transient failure, in this session.
    bool AnyFailed() const { return mAnyFailed; }
    WatchCounts Counts() const;
    bool Tracks(const std::string& pPath) const;

private:
    struct Waiting {
        platform::FileStamp Stamp;
        std::int64_t DueNs = 0;
        std::int64_t SinceNs = 0;  // first seen, for the oldest waiting file
    };
    // Why a file finished in this session stays in the folder.
    enum class Kept {
        Finished,    // done or failed where it is (no --done or --failed), or in the journal already
        Stuck,       // its move was refused for good
        Unreadable,  // it cannot be opened or hashed, for a cause that stays
    };
    struct Left {
        platform::FileStamp Stamp;
        Kept Why = Kept::Finished;
        std::uint64_t Order = 0;  // when it was kept, for the latest of a kind
    };
    // A source on its way to the done or failed folder.
    struct Filing {
        WatchLook Look;
        std::shared_ptr<const WatchResult> Result;  // null: run in an earlier session
        std::string Status;                         // StatusCode
        bool Written = false;
        std::string ReasonText;  // the reason file's text
    };
    // What the policy knows of a file across tries.
    struct History {
        std::int32_t Tries = 0;               // transient failures in a row
        platform::FileStamp IncompleteStamp;  // as it was when first found incomplete
        std::int64_t IncompleteSinceNs = -1;  // since then unchanged
        std::int32_t IncompleteChecks = 0;    // looks since then
    };

    void Wait(const std::string& pPath, const platform::FileStamp& pStamp, std::int64_t pDelayNs);
    void Start(const std::string& pPath);
    void Looked(const WatchLook& pLook);
    void Ran(const WatchLook& pLook, const WatchResult& pResult);
    void Retry(const WatchLook& pLook, const std::string& pCause, bool pFault);
    void WaitForData(const WatchLook& pLook);
    void File(const WatchLook& pLook, const WatchResult& pResult);
    void FileAgain(const WatchLook& pLook, const JournalEntry& pEntry);
    void Move(std::shared_ptr<const Filing> pFiling);
    void Moved(const Filing& pFiling, const std::string& pMovedTo, int pMoveError);
    void Unreadable(const WatchLook& pLook);
    void Keep(const std::string& pPath, const platform::FileStamp& pStamp, Kept pWhy);
    void Release(const std::string& pPath);
    std::string LatestKept(Kept pWhy) const;
    void SweepKept();
    void Finished(const std::string& pPath);
    bool Record(const JournalKey& pKey, JournalPhase pPhase, const std::string& pStatus, bool pMoved,
                const std::string& pMembers);
    std::string ReasonFileText(const std::string& pCode, const std::string& pText, int pError) const;

    WatchSettings mSettings;
    WatchFiles& mFiles;
    WatchJournal& mJournal;
    WatchReport& mReport;
    RunExecutor& mExecutor;
    Clock mClock;
    std::map<std::string, Waiting> mWaiting;  // settling or waiting for another try
    std::set<std::string> mRetrying;          // of those, the ones after a transient failure
    std::deque<std::string> mQueue;           // due, waiting for a free job
    std::set<std::string> mInFlight;
    std::set<std::string> mSeenAgain;  // changed while in progress: observed again once it ends
    std::map<std::string, History> mHistory;
    // The copies of this session: copy path -> the name of the source it is
    // (or is being) made from, and whether it stands.
    struct Claim {
        std::string Source;
        bool Written = false;
        bool Running = false;
    };
    std::map<std::string, Claim> mCopies;
    std::multimap<std::string, std::string> mBlocked;  // copy path -> a file waiting for that copy's run
    // Finished files left in the folder, not looked at again while their
    // stamps stay; swept of files gone whenever it has doubled.
    std::map<std::string, Left> mKept;
    size_t mKeptAfterSweep = 0;
    std::uint64_t mKeptOrder = 0;
    size_t mStuck = 0, mUnreadable = 0;
    std::string mLastStuck, mLastUnreadable;
    std::set<std::string> mToldBefore;  // journal keys said to be done (or failed) before
    // Sources whose move failed for a cause that may pass, with their run's
    // result, until their filing is tried again from the journal's line.
    struct Unfiled {
        JournalKey Key;
        std::shared_ptr<const WatchResult> Result;
    };
    std::map<std::string, Unfiled> mUnfiled;
    std::string mLastError, mLastSuccess;
    bool mStopping = false;
    bool mFatal = false;
    bool mAnyFailed = false;
};

}  // namespace sonivate
