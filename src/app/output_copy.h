#pragma once
// Writing a gain-adjusted copy so that nothing is lost and no other file is
// touched: the copy is written where no name reaches it, checked at every
// step, and only then given its name in one step; a replaced file hands its
// permissions, owner, group and extended attributes to its successor.
// The batch run and the one-file copy share it.

#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "app/progress_host.h"
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

    // None, or Missing, NotRegular, Unreadable, CannotOpen, Locked.
    RowReason Acquire(const std::string& pPath);
    // The name still refers to the held file, and its size and modification
    // time are what they were when it was acquired.
    bool StillUnchanged() const;

    int Descriptor() const { return mFd; }
    const std::string& Path() const { return mPath; }
    const platform::FileIdentity& Identity() const { return mIdentity; }

private:
    int mFd = -1;
    std::string mPath;
    platform::FileIdentity mIdentity;
};

struct CopyOutcome {
    bool Written = false;
    RowReason Reason = RowReason::None;  // why not written
    int Error = 0;                       // the errno behind WriteFailed, when known
};

// Writes pTarget as the gain-adjusted copy of the held source (frames
// [pFrom, pTo) times pGainDB, see WriteAdjustedWave) under pRule. pRun,
// when given, refuses names this run has already written and learns the new
// copy. Surround sources (more than two channels) are not written. After any
// failure nothing of the copy remains and an existing file is untouched.
CopyOutcome WriteCopySafely(const SourceHold& pSource, const std::string& pTarget, TargetRule pRule, std::int64_t pFrom,
                            std::int64_t pTo, double pGainDB, ProgressHost& pHost, RunOutputs* pRun = nullptr);

}  // namespace sonivate
