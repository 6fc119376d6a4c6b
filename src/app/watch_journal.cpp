#include "app/watch_journal.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/row_status.h"
#include "platform/pending_file.h"
#include "platform/posix_file.h"

namespace sonivate {
namespace {

// The XXH64 primes.
constexpr std::uint64_t kPrime1 = 11400714785074694791ULL;
constexpr std::uint64_t kPrime2 = 14029467366897019727ULL;
constexpr std::uint64_t kPrime3 = 1609587929392839161ULL;
constexpr std::uint64_t kPrime4 = 9650029242287828579ULL;
constexpr std::uint64_t kPrime5 = 2870177450012600261ULL;
constexpr size_t kStripeBytes = 32;
// Read size while hashing a file, bytes.
constexpr std::int64_t kHashReadBytes = 1 << 20;
constexpr const char* kKeyPrefix = "{\"key\":\"";
constexpr int kHashHexDigits = 16;

std::uint64_t Read64(const unsigned char* pBytes) {
    std::uint64_t value = 0;
    std::memcpy(&value, pBytes, sizeof value);
    if constexpr (std::endian::native == std::endian::big) value = __builtin_bswap64(value);
    return value;
}

std::uint32_t Read32(const unsigned char* pBytes) {
    std::uint32_t value = 0;
    std::memcpy(&value, pBytes, sizeof value);
    if constexpr (std::endian::native == std::endian::big) value = __builtin_bswap32(value);
    return value;
}

std::uint64_t Round(std::uint64_t pLane, std::uint64_t pInput) {
    pLane += pInput * kPrime2;
    return std::rotl(pLane, 31) * kPrime1;
}

std::uint64_t MergeLane(std::uint64_t pHash, std::uint64_t pLane) {
    pHash ^= Round(0, pLane);
    return pHash * kPrime1 + kPrime4;
}

}  // namespace

void ContentHash::Stripe(const unsigned char* pStripe) {
    if (!mStarted) {
        mLanes[0] = kPrime1 + kPrime2;
        mLanes[1] = kPrime2;
        mLanes[2] = 0;
        mLanes[3] = 0 - kPrime1;
        mStarted = true;
    }
    for (size_t lane = 0; lane < 4; ++lane) mLanes[lane] = Round(mLanes[lane], Read64(pStripe + lane * 8));
}

void ContentHash::Update(const void* pData, size_t pSize) {
    const auto* bytes = static_cast<const unsigned char*>(pData);
    mTotal += pSize;
    if (mPendingSize > 0) {
        const size_t take = std::min(pSize, kStripeBytes - mPendingSize);
        std::memcpy(mPending + mPendingSize, bytes, take);
        mPendingSize += take;
        bytes += take;
        pSize -= take;
        if (mPendingSize < kStripeBytes) return;
        Stripe(mPending);
        mPendingSize = 0;
    }
    for (; pSize >= kStripeBytes; bytes += kStripeBytes, pSize -= kStripeBytes) Stripe(bytes);
    std::memcpy(mPending, bytes, pSize);
    mPendingSize = pSize;
}

std::uint64_t ContentHash::Digest() const {
    std::uint64_t hash = 0;
    if (mStarted) {
        hash = std::rotl(mLanes[0], 1) + std::rotl(mLanes[1], 7) + std::rotl(mLanes[2], 12) + std::rotl(mLanes[3], 18);
        for (const std::uint64_t lane : mLanes) hash = MergeLane(hash, lane);
    } else {
        hash = kPrime5;
    }
    hash += mTotal;
    size_t at = 0;
    for (; at + 8 <= mPendingSize; at += 8) {
        hash ^= Round(0, Read64(mPending + at));
        hash = std::rotl(hash, 27) * kPrime1 + kPrime4;
    }
    if (at + 4 <= mPendingSize) {
        hash ^= static_cast<std::uint64_t>(Read32(mPending + at)) * kPrime1;
        hash = std::rotl(hash, 23) * kPrime2 + kPrime3;
        at += 4;
    }
    for (; at < mPendingSize; ++at) {
        hash ^= mPending[at] * kPrime5;
        hash = std::rotl(hash, 11) * kPrime1;
    }
    hash ^= hash >> 33;
    hash *= kPrime2;
    hash ^= hash >> 29;
    hash *= kPrime3;
    hash ^= hash >> 32;
    return hash;
}

int HashFileContent(const std::string& pPath, std::uint64_t& pHash) {
    int error = 0;
    const int fd = platform::OpenRegularForReading(pPath, true, error);
    if (fd < 0) return error;
    error = HashDescriptorContent(fd, pHash);
    platform::CloseChecked(fd);
    return error;
}

int HashDescriptorContent(int pFd, std::uint64_t& pHash) {
    std::vector<unsigned char> buffer(static_cast<size_t>(kHashReadBytes));
    ContentHash hash;
    for (std::int64_t offset = 0;;) {
        const std::int64_t got = platform::ReadFullyAt(pFd, buffer.data(), kHashReadBytes, offset);
        if (got < 0) return errno != 0 ? errno : EIO;
        hash.Update(buffer.data(), static_cast<size_t>(got));
        offset += got;
        if (got < kHashReadBytes) break;
    }
    pHash = hash.Digest();
    return 0;
}

std::string HashText(std::uint64_t pHash) {
    char text[kHashHexDigits + 1];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(pHash));
    return text;
}

JournalKey MakeJournalKey(const std::string& pName, std::int64_t pSize, std::uint64_t pHash) {
    ContentHash name;
    name.Update(pName.data(), pName.size());
    return {pSize, pHash, name.Digest()};
}

std::string KeyText(const JournalKey& pKey) {
    return std::to_string(pKey.Size) + ":" + HashText(pKey.Hash) + ":" + HashText(pKey.NameHash);
}

bool JournalEntry::Written() const { return Status == StatusCode(RowStatus::Written); }

namespace {

const char* PhaseText(JournalPhase pPhase) { return pPhase == JournalPhase::Filing ? "filing" : "final"; }

std::string StringMember(const nlohmann::json& pLine, const char* pName) {
    const auto found = pLine.find(pName);
    return found != pLine.end() && found->is_string() ? found->get<std::string>() : std::string();
}

// The entry of one line; false for a line that is no journal line.
bool ParseLine(const std::string& pLine, std::string& pKey, JournalEntry& pEntry) {
    const nlohmann::json line = nlohmann::json::parse(pLine, nullptr, false);
    if (!line.is_object()) return false;
    pKey = StringMember(line, "key");
    if (pKey.empty()) return false;
    pEntry.Phase =
        StringMember(line, "phase") == PhaseText(JournalPhase::Filing) ? JournalPhase::Filing : JournalPhase::Final;
    pEntry.Status = StringMember(line, "status");
    // A line of an older journal has no status, only whether it was written.
    if (pEntry.Status.empty()) {
        const auto written = line.find("written");
        const bool wasWritten = written != line.end() && written->is_boolean() && written->get<bool>();
        pEntry.Status = StatusCode(wasWritten ? RowStatus::Written : RowStatus::Failed);
    }
    const auto moved = line.find("moved");
    pEntry.Moved = moved != line.end() && moved->is_boolean() && moved->get<bool>();
    pEntry.Reason = StringMember(line, "reason");
    pEntry.ReasonText = StringMember(line, "reason_text");
    pEntry.Line = pLine;
    return true;
}

}  // namespace

int WatchJournal::Open(const std::string& pPath) {
    mEntries.clear();
    mCompacted = 0;
    if (const int error = mFile.Open(pPath); error != 0) return error;
    std::string content;
    if (const int error = mFile.ReadAll(content); error != 0) return error;
    // The keys in the order of their latest lines.
    std::vector<std::string> order;
    size_t start = 0;
    for (size_t end = content.find('\n'); end != std::string::npos; end = content.find('\n', start)) {
        std::string key;
        JournalEntry entry;
        if (ParseLine(content.substr(start, end - start), key, entry)) {
            if (mEntries.count(key) != 0) {
                ++mCompacted;
                std::erase(order, key);
            }
            order.push_back(key);
            mEntries[key] = std::move(entry);
        } else if (end > start) {
            ++mCompacted;
        }
        start = end + 1;
    }
    if (start < content.size()) ++mCompacted;
    if (mCompacted == 0) return 0;
    std::string compacted;
    for (const std::string& key : order) compacted += mEntries[key].Line + "\n";
    return mFile.Replace(compacted);
}

const JournalEntry* WatchJournal::Find(const JournalKey& pKey) const {
    const auto found = mEntries.find(KeyText(pKey));
    return found == mEntries.end() ? nullptr : &found->second;
}

int WatchJournal::Record(const JournalKey& pKey, JournalPhase pPhase, const std::string& pStatus, bool pMoved,
                         const std::string& pMembers) {
    const std::string key = KeyText(pKey);
    std::string line = kKeyPrefix + key + "\",\"phase\":\"" + PhaseText(pPhase) +
                       "\",\"status\":" + nlohmann::json(pStatus).dump() + ",\"moved\":" + (pMoved ? "true" : "false") +
                       (pMembers.empty() ? "" : "," + pMembers) + "}";
    std::string parsedKey;
    JournalEntry entry;
    if (!ParseLine(line, parsedKey, entry)) return EINVAL;
    if (const int error = mFile.AppendDurably(line + "\n"); error != 0) return error;
    mEntries[key] = std::move(entry);
    return 0;
}

size_t WatchJournal::WrittenCount() const {
    return static_cast<size_t>(
        std::count_if(mEntries.begin(), mEntries.end(), [](const auto& pEntry) { return pEntry.second.Written(); }));
}

std::string DefaultJournalPath(const std::string& pXdgStateHome, const std::string& pHome, const std::string& pFolder) {
    std::string stateHome;
    if (!pXdgStateHome.empty() && pXdgStateHome.front() == '/')
        stateHome = pXdgStateHome;
    else if (!pHome.empty() && pHome.front() == '/')
        stateHome = pHome + "/.local/state";
    else
        return {};
    ContentHash hash;
    hash.Update(pFolder.data(), pFolder.size());
    return stateHome + "/sonivate/watch-" + HashText(hash.Digest()) + ".jsonl";
}

void SettleTracker::Observe(const std::string& pPath, const platform::FileStamp& pStamp, std::int64_t pNowNs) {
    const auto known = mFiles.find(pPath);
    if (known != mFiles.end() && known->second.Stamp == pStamp) return;
    mFiles[pPath] = {pStamp, pNowNs + mSettleNs};
}

void SettleTracker::Defer(const std::string& pPath, const platform::FileStamp& pStamp, std::int64_t pNowNs,
                          std::int64_t pAtLeastNs) {
    mFiles[pPath] = {pStamp, pNowNs + std::max(mSettleNs, pAtLeastNs)};
}

void SettleTracker::Forget(const std::string& pPath) { mFiles.erase(pPath); }

std::vector<std::string> SettleTracker::TakeReady(std::int64_t pNowNs, const StampSource& pStampOf,
                                                  std::vector<std::string>* pChanged) {
    std::vector<std::string> ready;
    for (auto it = mFiles.begin(); it != mFiles.end();) {
        if (pNowNs < it->second.DueNs) {
            ++it;
            continue;
        }
        const platform::FileStamp now = pStampOf(it->first);
        if (!now.Valid || !now.Regular) {
            it = mFiles.erase(it);
        } else if (now != it->second.Stamp) {
            it->second = {now, pNowNs + mSettleNs};
            if (pChanged != nullptr) pChanged->push_back(it->first);
            ++it;
        } else {
            ready.push_back(it->first);
            it = mFiles.erase(it);
        }
    }
    return ready;
}

std::int64_t SettleTracker::NextDueNs(std::int64_t pNowNs) const {
    std::int64_t next = -1;
    for (const auto& [path, waiting] : mFiles) {
        const std::int64_t due = std::max<std::int64_t>(0, waiting.DueNs - pNowNs);
        next = next < 0 ? due : std::min(next, due);
    }
    return next;
}

}  // namespace sonivate
