#pragma once
// What a watcher of a delivery folder remembers: which files it has done
// (the journal: one line per file, kept across restarts) and which new files
// are still settling (unchanged for the settle time before they count as
// complete).

#include <cstdint>
#include <functional>
#include <map>
#include <set>
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

// A file as the journal knows it: which file (device, inode), which state
// (size, modification time) and which content.
struct JournalKey {
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
    std::int64_t Size = 0;        // bytes
    std::int64_t ModifiedNs = 0;  // ns since the epoch
    std::uint64_t Hash = 0;       // HashFileContent
};

// "<device>:<inode>:<size>:<mtime ns>:<hash>".
std::string KeyText(const JournalKey& pKey);

// The journal: a JSON Lines file whose objects begin with the member
// "key" (KeyText), followed by whatever the caller records. A line counts
// only once it is complete (ends with a line break), so that a line cut off
// by a crash makes its file be done again rather than forgotten.
class WatchJournal {
public:
    // Opens, locks (EWOULDBLOCK: another watcher uses it) and reads pPath,
    // creating it when missing. 0 or an errno value.
    int Open(const std::string& pPath);
    bool Contains(const JournalKey& pKey) const;
    // Appends {"key":"...",<pMembers>} and a line break, flushed to the
    // device before it returns. pMembers: JSON members without braces
    // ("" for none). 0 or an errno value.
    int Record(const JournalKey& pKey, const std::string& pMembers);
    size_t Count() const { return mKeys.size(); }

private:
    platform::AppendOnlyFile mFile;
    std::set<std::string> mKeys;
    bool mNeedsLineBreak = false;  // the file ends in a line cut off by a crash
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
