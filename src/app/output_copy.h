#pragma once
// Writing a gain-adjusted copy so that nothing is lost and no other file is
// touched: the copy is written where no name reaches it, checked at every
// step, and only then given its name in one step; a replaced file hands its
// permissions, owner, group and extended attributes to its successor.
// The batch run and the one-file copy share it.

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/progress_host.h"
#include "app/write_adjusted_wave.h"
#include "app/row_reason.h"
#include "platform/pending_file.h"

namespace sonivate {

// Which existing file a copy may replace.
enum class TargetRule {
    NewName,       // none: the name must be free
    InPlace,       // only the source itself (with no other hard links)
    OutputFolder,  // whatever regular file stood there before the run
};

// The copies one run has published, so that no later row of the run
// replaces one of them. Thread-safe.
class RunOutputs {
public:
    bool Contains(const platform::FileIdentity& pFile) const;
    void Add(const platform::FileIdentity& pFile);

private:
    mutable std::mutex mMutex;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> mFiles;  // device, inode
};

// A source opened for one row and held with an advisory lock from before
// its measurement until its copy is published (the destructor lets go), so
// that two runs never process one file at once.
class SourceHold {
public:
    SourceHold() = default;
    ~SourceHold();
    SourceHold(const SourceHold&) = delete;
    SourceHold& operator=(const SourceHold&) = delete;

    // None, or Missing, NotRegular, Unreadable, CannotOpen, Locked,
    // SourceChanged, SourceInUse (another program has it open for writing
    // or holds a record lock on it: it may still be recording).
    // pNoFollow: a symbolic link under the name is refused (NotRegular),
    // and every later look at the name takes a link there for a change.
    RowReason Acquire(const std::string& pPath, bool pNoFollow = false);
    // Opened for reading only (a run that writes nothing): no lock, no
    // writer check. None, Missing, NotRegular, Unreadable or CannotOpen.
    RowReason Open(const std::string& pPath, bool pNoFollow = false);
    // As Acquire (pLock) or Open, for a file its owner opened as pFd: a
    // duplicate is held, and the name must still refer to that file.
    RowReason Adopt(const std::string& pPath, int pFd, bool pNoFollow, bool pLock);
    // The errno behind a refusal of Acquire (CannotOpen, Unreadable...), 0 when none.
    int Error() const { return mError; }
    // The name still refers to the held file, and its size, modification
    // and status change time are what they were when it was acquired.
    bool StillUnchanged() const;
    // What the last look before the source is replaced finds: None,
    // SourceChanged, or SourceInUse (a writer or a record lock of another
    // program, see platform/file_users.h).
    RowReason CheckBeforeReplacing() const;

    int Descriptor() const { return mFd; }
    const std::string& Path() const { return mPath; }
    const platform::FileIdentity& Identity() const { return mIdentity; }

private:
    RowReason Refused(int pError);
    RowReason OpenAndHold(const std::string& pPath, bool pNoFollow, bool pLock);
    RowReason Hold(bool pLock);

    int mFd = -1;
    int mError = 0;
    bool mNoFollow = false;
    std::string mPath;
    platform::FileIdentity mIdentity;
};

// Where one copy goes: a name in a folder held open. Path is the name the
// operator is told (the folder as it was named, and Name).
struct CopyPlace {
    int FolderFd = -1;
    std::string Name;
    std::string Path;
};

struct CopyOutcome {
    bool Written = false;
    RowReason Reason = RowReason::None;  // why not written
    // The errno of the first failure behind WriteFailed or CannotOpen
    // (ENOSPC, EROFS, EACCES, EIO, EFBIG, EMFILE...), 0 when not known;
    // platform::ErrnoCause words it.
    int Error = 0;
    // Written, but the flush of the folder after the new name was given
    // failed (errno): the copy stands under its name, yet the name may not
    // survive a power loss. 0 when the name is on the device.
    int FolderSyncError = 0;
};

// The gain of a copy's range: a constant gain (dB), and the limiter's gain
// curve over the range when it was limited (null: none).
struct CopyGain {
    CopyGain(double pGainDB) : GainDB(pGainDB) {}  // NOLINT: a plain gain is the usual copy
    // The range rendered and verified by the limiter as it is written
    // (LimitedRange): pGainDB is the request, the limiter's status after
    // the copy says what became of it.
    CopyGain(double pGainDB, const LimitedRange& pLimited) : GainDB(pGainDB), Limited(pLimited) {}
    double GainDB = 0.0;
    std::optional<LimitedRange> Limited;
};

// Writes pTarget as the gain-adjusted copy of the held source (frames
// [pFrom, pTo) times pGainDB, see WriteAdjustedWave) under pRule. pRun,
// when given, refuses names this run has already written and learns the new
// copy. Every layout the meter takes (mono to 7.1) is written with one gain
// for all channels, the LFE included. After any
// failure nothing of the copy remains and an existing file is untouched.
//
// pBeforePublish, when given, sees the finished copy's descriptor (read and
// write) before it is flushed and named: 0 lets it go on, ECANCELED means
// stopped, any other errno fails the copy.
CopyOutcome WriteCopySafely(const SourceHold& pSource, const CopyPlace& pPlace, TargetRule pRule, std::int64_t pFrom,
                            std::int64_t pTo, const CopyGain& pGain, ProgressHost& pHost, RunOutputs* pRun = nullptr,
                            const std::function<int(int pCopyFd)>& pBeforePublish = {});
// The same for a path: its folder is opened now and held for the copy.
CopyOutcome WriteCopySafely(const SourceHold& pSource, const std::string& pTarget, TargetRule pRule, std::int64_t pFrom,
                            std::int64_t pTo, const CopyGain& pGain, ProgressHost& pHost, RunOutputs* pRun = nullptr,
                            const std::function<int(int pCopyFd)>& pBeforePublish = {});

}  // namespace sonivate
