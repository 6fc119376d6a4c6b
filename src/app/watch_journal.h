#pragma once
// What a watcher of a delivery folder remembers: which files it has done
// (the journal: one line per file, kept across restarts) and which new files
// are still settling (unchanged for the settle time before they count as
// complete).

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/dir_watch.h"

namespace sonivate {

// XXH64 (seed 0): a fast non-cryptographic 64-bit hash, fed in any pieces.
class ContentHash {
public:
    void Update(const void* pData, size_t pSize);
    std::uint64_t Digest() const;

private:
    void Stripe(const unsigned char* pStripe);

    std::uint64_t mLanes[4] = {};
    bool mStarted = false;
    std::uint64_t mTotal = 0;
    unsigned char mPending[32] = {};
    size_t mPendingSize = 0;
};

// The XXH64 of the whole file pPath; 0 or an errno value.
int HashFileContent(const std::string& pPath, std::uint64_t& pHash);
// The XXH64 of the whole file open as pFd, read with positioned reads (the
// descriptor's position does not move); 0 or an errno value.
int HashDescriptorContent(int pFd, std::uint64_t& pHash);
// Sixteen lower-case hexadecimal digits.
std::string HashText(std::uint64_t pHash);

// A file as the journal knows it: its name below the watched folder and its
// content. Neither device nor inode: a remount or a copy back into the folder
// keeps the key, and a new delivery under the old name gets a new one.
struct JournalKey {
    std::int64_t Size = 0;       // bytes
    std::uint64_t Hash = 0;      // HashDescriptorContent
    std::uint64_t NameHash = 0;  // XXH64 of the name below the watched folder

    bool operator==(const JournalKey&) const = default;
};

JournalKey MakeJournalKey(const std::string& pName, std::int64_t pSize, std::uint64_t pHash);

// "<size>:<content hash>:<name hash>".
std::string KeyText(const JournalKey& pKey);

// Where a file's filing stands. Filing is written before the source moves
// to the done or failed folder, Final once it has moved (or when it does not
// move): a crash in between leaves a Filing line, and the file found in the
// folder again under that key is moved without being done again.
enum class JournalPhase { Filing, Final };

// What the journal remembers of a file: its latest line.
struct JournalEntry {
    JournalPhase Phase = JournalPhase::Final;
    std::string Status;      // StatusCode of the file's outcome ("written", "failed", ...)
    bool Moved = false;      // the source goes (Filing) or went (Final) to the done or failed folder
    std::string Reason;      // ReasonCode, "" for none
    std::string ReasonText;  // as the operator reads it
    std::string Line;        // the whole line, without its line break

    bool Written() const;
};

// The journal: a JSON Lines file whose objects begin with the member
// "key" (KeyText), then "phase", "status" and "moved", followed by whatever
// the caller records. A line counts only once it is complete (ends with a
// line break) and parses, so that a line cut off by a crash makes its file be
// done again rather than forgotten. Opening compacts it to the latest line of
// each key.
class WatchJournal {
public:
    // Opens, locks (EWOULDBLOCK: another watcher uses it) and reads pPath,
    // creating it when missing; rewrites it in one step when it holds more
    // lines than keys (or a damaged line). 0 or an errno value.
    int Open(const std::string& pPath);
    const JournalEntry* Find(const JournalKey& pKey) const;
    bool Contains(const JournalKey& pKey) const { return Find(pKey) != nullptr; }
    // Appends {"key":"...","phase":...,"status":...,"moved":...,<pMembers>}
    // and a line break, flushed to the device before it returns. pMembers:
    // JSON members without braces ("" for none). 0 or an errno value.
    int Record(const JournalKey& pKey, JournalPhase pPhase, const std::string& pStatus, bool pMoved,
               const std::string& pMembers);
    size_t Count() const { return mEntries.size(); }
    // Lines dropped by the compaction when it opened (superseded, cut off or damaged).
    size_t Compacted() const { return mCompacted; }
    // Files whose latest line says written, and the others.
    size_t WrittenCount() const;
    size_t FailedCount() const { return Count() - WrittenCount(); }

private:
    platform::AppendOnlyFile mFile;
    std::map<std::string, JournalEntry> mEntries;
    size_t mCompacted = 0;
};

// The default journal of a watched folder: <state home>/sonivate/
// watch-<HashText of pFolder>.jsonl. pStateHome is $XDG_STATE_HOME when that
// is an absolute path, otherwise pHome + "/.local/state"; "" when neither
// gives an absolute folder.
std::string DefaultJournalPath(const std::string& pXdgStateHome, const std::string& pHome, const std::string& pFolder);

// Files waiting to be complete: a file is ready once its stamp (size,
// modification and status-change times) has stayed the same for the settle
// time. Times are a monotonic clock's, ns, given by the caller.
class SettleTracker {
public:
    using StampSource = std::function<platform::FileStamp(const std::string&)>;

    explicit SettleTracker(std::int64_t pSettleNs) : mSettleNs(pSettleNs) {}

    // pPath was seen with pStamp at pNowNs: its quiet period starts now
    // unless it is already waiting with that very stamp.
    void Observe(const std::string& pPath, const platform::FileStamp& pStamp, std::int64_t pNowNs);
    // pPath is complete but cannot be taken yet (another process is
    // writing it, or holds it): it is looked at again after the settle time,
    // and no sooner than pAtLeastNs.
    void Defer(const std::string& pPath, const platform::FileStamp& pStamp, std::int64_t pNowNs,
               std::int64_t pAtLeastNs);
    void Forget(const std::string& pPath);

    // The files whose quiet period has passed and whose stamp (read again
    // through pStampOf) is still the one seen at its start; they leave the
    // tracker. A file that changed starts again (and is listed in pChanged
    // when given); one that is gone or no regular file is dropped.
    std::vector<std::string> TakeReady(std::int64_t pNowNs, const StampSource& pStampOf,
                                       std::vector<std::string>* pChanged = nullptr);
    // Time until the next quiet period ends (0 when one has), -1 when none waits.
    std::int64_t NextDueNs(std::int64_t pNowNs) const;
    bool Empty() const { return mFiles.empty(); }
    bool Tracks(const std::string& pPath) const { return mFiles.count(pPath) != 0; }

private:
    struct Waiting {
        platform::FileStamp Stamp;
        std::int64_t DueNs = 0;  // when the quiet period ends
    };
    std::int64_t mSettleNs;
    std::map<std::string, Waiting> mFiles;
};

}  // namespace sonivate
