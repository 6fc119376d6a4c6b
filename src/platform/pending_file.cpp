#include "platform/pending_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/posix_file.h"

namespace sonivate::platform {
namespace {

constexpr mode_t kWorkingMode = 0600;  // a named temporary: only we may open it
constexpr mode_t kPermissionBits = 07777;
constexpr const char* kHiddenPrefix = ".sonivate-";
constexpr const char* kHiddenSuffix = ".part";
constexpr int kNameAttempts = 100;
constexpr mode_t kFallbackUmask = 022;
constexpr std::int64_t kNsPerSecond = 1000000000LL;

std::atomic<bool> gNamedOnly{false};

// Hidden names that exist right now, for a signal handler to remove.
// Slot states: free, being filled, ready.
constexpr int kSlots = 256;
constexpr int kSlotFree = 0;
constexpr int kSlotFilling = 1;
constexpr int kSlotReady = 2;
constexpr std::size_t kNameBytes = 64;
struct PendingSlot {
    std::atomic<int> state{kSlotFree};
    int folderFd = -1;
    char name[kNameBytes] = {};
};
std::array<PendingSlot, kSlots> gSlots;

int Claim(int pFolderFd, const std::string& pName) {
    if (pName.size() >= kNameBytes) return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = kSlotFree;
        if (!gSlots[static_cast<std::size_t>(i)].state.compare_exchange_strong(expected, kSlotFilling)) continue;
        PendingSlot& slot = gSlots[static_cast<std::size_t>(i)];
        slot.folderFd = pFolderFd;
        std::memcpy(slot.name, pName.c_str(), pName.size() + 1);
        slot.state.store(kSlotReady);
        return i;
    }
    return -1;
}

void Release(int pSlot) {
    if (pSlot >= 0) gSlots[static_cast<std::size_t>(pSlot)].state.store(kSlotFree);
}

FileIdentity FromStat(const struct stat& pStat) {
    FileIdentity id;
    id.Valid = true;
    id.Device = pStat.st_dev;
    id.Inode = pStat.st_ino;
    id.Size = pStat.st_size;
    id.ModifiedNs = static_cast<std::int64_t>(pStat.st_mtim.tv_sec) * kNsPerSecond + pStat.st_mtim.tv_nsec;
    id.ChangedNs = static_cast<std::int64_t>(pStat.st_ctim.tv_sec) * kNsPerSecond + pStat.st_ctim.tv_nsec;
    id.Links = pStat.st_nlink;
    id.Mode = pStat.st_mode;
    id.Regular = S_ISREG(pStat.st_mode);
    id.SymbolicLink = S_ISLNK(pStat.st_mode);
    return id;
}

std::string RandomHiddenName() {
    std::uint64_t bits = 0;
    if (::getrandom(&bits, sizeof(bits), 0) != static_cast<ssize_t>(sizeof(bits))) {
        static std::atomic<std::uint64_t> counter{0};
        bits = (static_cast<std::uint64_t>(::getpid()) << 32) ^ ++counter;
    }
    char text[32];
    std::snprintf(text, sizeof(text), "%016llx", static_cast<unsigned long long>(bits));
    return std::string(kHiddenPrefix) + text + kHiddenSuffix;
}

std::string FolderOrDot(const std::string& pFolder) { return pFolder.empty() ? "." : pFolder; }

int RenameNoReplaceAt(int pFolderFd, const std::string& pFrom, const std::string& pTo) {
    if (::renameat2(pFolderFd, pFrom.c_str(), pFolderFd, pTo.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // File systems without the flag: a hard link refuses an existing name
    // just as atomically; the hidden name goes once the new one stands.
    if (::linkat(pFolderFd, pFrom.c_str(), pFolderFd, pTo.c_str(), 0) != 0) return errno;
    ::unlinkat(pFolderFd, pFrom.c_str(), 0);
    return 0;
}

}  // namespace

FileIdentity IdentityOf(int pFd) {
    struct stat st {};
    if (pFd < 0 || ::fstat(pFd, &st) != 0) return {};
    return FromStat(st);
}

FileIdentity IdentityOfName(const std::string& pPath) {
    struct stat st {};
    if (pPath.empty() || ::lstat(pPath.c_str(), &st) != 0) return {};
    return FromStat(st);
}

FileIdentity IdentityOfPath(const std::string& pPath) {
    struct stat st {};
    if (pPath.empty() || ::stat(pPath.c_str(), &st) != 0) return {};
    return FromStat(st);
}

PathKind KindOfPath(const std::string& pPath) {
    struct stat st {};
    if (pPath.empty()) return PathKind::Missing;
    if (::stat(pPath.c_str(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? PathKind::Missing : PathKind::Unknown;
    if (S_ISREG(st.st_mode)) return PathKind::Regular;
    if (S_ISDIR(st.st_mode)) return PathKind::Folder;
    return PathKind::Other;
}

namespace {

// Opens pName relative to pFolderFd (AT_FDCWD: a path) for reading, never
// blocking on a FIFO or a device, and keeps it only when it is a regular file.
int OpenRegularRelative(int pFolderFd, const char* pName, bool pNoFollow, int& pError) {
    // O_NONBLOCK: opening a FIFO without a writer would otherwise wait forever.
    int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    if (pNoFollow) flags |= O_NOFOLLOW;
    int fd;
    do {
        fd = ::openat(pFolderFd, pName, flags);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        pError = errno;
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        pError = S_ISDIR(st.st_mode) ? EISDIR : ENXIO;
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    pError = 0;
    return fd;
}

}  // namespace

int OpenRegularForReading(const std::string& pPath, bool pNoFollow, int& pError) {
    return OpenRegularRelative(AT_FDCWD, pPath.c_str(), pNoFollow, pError);
}

int OpenFolder(const std::string& pPath, int& pError) {
    int fd;
    do {
        fd = ::open(FolderOrDot(pPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    pError = fd < 0 ? errno : 0;
    return fd;
}

FileIdentity IdentityAt(int pFolderFd, const std::string& pName) {
    struct stat st {};
    if (pFolderFd < 0 || pName.empty() || ::fstatat(pFolderFd, pName.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return {};
    return FromStat(st);
}

int OpenRegularAt(int pFolderFd, const std::string& pName, int& pError) {
    if (pName.empty() || pName.find('/') != std::string::npos) {
        pError = EINVAL;
        return -1;
    }
    return OpenRegularRelative(pFolderFd, pName.c_str(), true, pError);
}

int TryLockExclusive(int pFd) {
    if (::flock(pFd, LOCK_EX | LOCK_NB) == 0) return 0;
    return errno;
}

int CloseChecked(int pFd) {
    if (pFd < 0) return EBADF;
    if (::close(pFd) == 0) return 0;
    return errno == EINTR ? 0 : errno;
}

int SyncChecked(int pFd) {
    while (!SyncFile(pFd))
        if (errno != EINTR) return errno;
    return 0;
}

mode_t CurrentUmask() {
    if (FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned int mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof(line), status) != nullptr)
            found = std::sscanf(line, "Umask: %o", &mask) == 1;
        std::fclose(status);
        if (found) return static_cast<mode_t>(mask);
    }
    return kFallbackUmask;
}

PendingFile::~PendingFile() { Discard(); }

void PendingFile::SetNamedOnlyForTesting(bool pNamedOnly) { gNamedOnly.store(pNamedOnly); }

int PendingFile::Create(const std::string& pFolder, mode_t pMode) {
    Discard();
    mFolderFd = ::open(FolderOrDot(pFolder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (mFolderFd < 0) return errno;
    return CreateInHeldFolder(pMode);
}

int PendingFile::Create(int pFolderFd, mode_t pMode) {
    Discard();
    if (pFolderFd < 0) return EBADF;
    mFolderFd = ::fcntl(pFolderFd, F_DUPFD_CLOEXEC, 0);
    if (mFolderFd < 0) return errno;
    return CreateInHeldFolder(pMode);
}

int PendingFile::CreateInHeldFolder(mode_t pMode) {
    if (!gNamedOnly.load()) {
        mFd = ::openat(mFolderFd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, pMode & kPermissionBits);
        if (mFd >= 0) {
            mUnnamed = true;
            mModeGiven = true;
            return 0;
        }
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT) {
            const int error = errno;
            Discard();
            return error;
        }
    }
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string name = RandomHiddenName();
        // The slot is claimed first, so that a signal arriving right after
        // the file appears can already remove it.
        const int slot = Claim(mFolderFd, name);
        mFd = ::openat(mFolderFd, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kWorkingMode);
        if (mFd >= 0) {
            mHiddenName = name;
            mSlot = slot;
            ::fchmod(mFd, kWorkingMode);
            // What an O_TMPFILE file would have got, given at publishing.
            mFinalMode = pMode & kPermissionBits & ~CurrentUmask();
            mModeGiven = false;
            return 0;
        }
        const int error = errno;
        Release(slot);
        if (error != EEXIST) {
            Discard();
            return error;
        }
    }
    Discard();
    return EEXIST;
}

int PendingFile::TakeAttributesOf(int pFromFd) {
    struct stat from {};
    if (mFd < 0) return EBADF;
    if (::fstat(pFromFd, &from) != 0) return errno;
    // Owner first: a change of owner clears set-id bits that the mode then restores.
    if (::fchown(mFd, from.st_uid, from.st_gid) != 0 && errno != EPERM) return errno;
    if (::fchmod(mFd, from.st_mode & kPermissionBits) != 0) return errno;
    mFinalMode = from.st_mode & kPermissionBits;
    mModeGiven = true;
    const ssize_t listBytes = ::flistxattr(pFromFd, nullptr, 0);
    if (listBytes <= 0) return 0;
    std::vector<char> names(static_cast<std::size_t>(listBytes));
    const ssize_t got = ::flistxattr(pFromFd, names.data(), names.size());
    if (got <= 0) return 0;
    for (std::size_t at = 0; at < static_cast<std::size_t>(got);) {
        const char* name = names.data() + at;
        at += std::strlen(name) + 1;
        const ssize_t valueBytes = ::fgetxattr(pFromFd, name, nullptr, 0);
        if (valueBytes < 0) continue;
        std::vector<char> value(static_cast<std::size_t>(valueBytes));
        const ssize_t read = ::fgetxattr(pFromFd, name, value.data(), value.size());
        if (read < 0) continue;
        // Attributes of a namespace the process may not write (trusted.,
        // security. without the capability) stay unset.
        ::fsetxattr(mFd, name, value.data(), static_cast<std::size_t>(read), 0);
    }
    return 0;
}

int PendingFile::GiveHiddenName() {
    char self[64];
    std::snprintf(self, sizeof(self), "/proc/self/fd/%d", mFd);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string name = RandomHiddenName();
        const int slot = Claim(mFolderFd, name);
        int result = ::linkat(AT_FDCWD, self, mFolderFd, name.c_str(), AT_SYMLINK_FOLLOW);
        if (result != 0 && errno == ENOENT) result = ::linkat(mFd, "", mFolderFd, name.c_str(), AT_EMPTY_PATH);
        if (result == 0) {
            mHiddenName = name;
            mSlot = slot;
            return 0;
        }
        const int error = errno;
        Release(slot);
        if (error != EEXIST) return error;
    }
    return EEXIST;
}

void PendingFile::ForgetHiddenName() {
    Release(mSlot);
    mSlot = -1;
    mHiddenName.clear();
}

int PendingFile::Publish(const std::string& pName, const FileIdentity* pReplacing,
                         const std::function<bool()>& pLastCheck) {
    mFolderSyncError = 0;
    if (mFd < 0 || pName.empty() || pName.find('/') != std::string::npos) return EINVAL;
    int error = 0;
    if (!mModeGiven && ::fchmod(mFd, mFinalMode) != 0) error = errno;
    if (error == 0) error = SyncChecked(mFd);
    if (error == 0 && mUnnamed) error = GiveHiddenName();
    if (error != 0) {
        Discard();
        return error;
    }
    mPublished = IdentityOf(mFd);
    error = CloseChecked(mFd);
    mFd = -1;
    if (error == 0 && pLastCheck && !pLastCheck()) error = ECANCELED;
    if (error == 0 && pReplacing != nullptr) {
        struct stat there {};
        if (::fstatat(mFolderFd, pName.c_str(), &there, AT_SYMLINK_NOFOLLOW) != 0)
            error = errno == ENOENT || errno == ENOTDIR ? ESTALE : errno;
        else if (!FromStat(there).SameFile(*pReplacing))
            error = ESTALE;
        else if (::renameat(mFolderFd, mHiddenName.c_str(), mFolderFd, pName.c_str()) != 0)
            error = errno;
    } else if (error == 0) {
        error = RenameNoReplaceAt(mFolderFd, mHiddenName, pName);
    }
    if (error != 0) {
        mPublished = {};
        Discard();
        return error;
    }
    ForgetHiddenName();
    mFolderSyncError = SyncChecked(mFolderFd);
    CloseChecked(mFolderFd);
    mFolderFd = -1;
    return 0;
}

void PendingFile::Discard() {
    if (mFd >= 0) ::close(mFd);
    mFd = -1;
    if (!mHiddenName.empty() && mFolderFd >= 0) ::unlinkat(mFolderFd, mHiddenName.c_str(), 0);
    ForgetHiddenName();
    if (mFolderFd >= 0) ::close(mFolderFd);
    mFolderFd = -1;
    mUnnamed = false;
    mModeGiven = false;
}

void RemovePendingNamesFromSignalHandler() {
    for (PendingSlot& slot : gSlots) {
        if (slot.state.load() == kSlotReady) ::unlinkat(slot.folderFd, slot.name, 0);
    }
}

}  // namespace sonivate::platform
