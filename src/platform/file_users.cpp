#include "platform/file_users.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace sonivate::platform {
namespace {

// Default action "ignore": a lease break in the instant the lease is held
// is dropped by the kernel instead of ending the process.
constexpr int kLeaseBreakSignal = SIGURG;
constexpr const char* kProcRoot = "/proc";
constexpr const char* kProcLocks = "/proc/locks";
constexpr std::size_t kPathBytes = 128;
constexpr std::size_t kLineBytes = 256;

std::atomic<bool> gUseLease{true};

bool AllDigits(const char* pText) {
    if (*pText == '\0') return false;
    for (; *pText != '\0'; ++pText)
        if (*pText < '0' || *pText > '9') return false;
    return true;
}

// 0: the lease was taken (and given back), so nobody writes; EAGAIN: a
// writer exists; anything else: the lease cannot tell.
int TryLease(int pFd) {
    if (::fcntl(pFd, F_SETSIG, kLeaseBreakSignal) != 0) return errno;
    if (::fcntl(pFd, F_SETLEASE, F_RDLCK) != 0) return errno == EWOULDBLOCK ? EAGAIN : errno;
    ::fcntl(pFd, F_SETLEASE, F_UNLCK);
    return 0;
}

// The "flags:" line of /proc/<pid>/fdinfo/<fd>, in octal; -1 when unreadable.
long DescriptorFlags(const char* pFdInfo) {
    FILE* info = std::fopen(pFdInfo, "re");
    if (info == nullptr) return -1;
    char line[kLineBytes];
    long flags = -1;
    while (flags < 0 && std::fgets(line, sizeof(line), info) != nullptr) {
        unsigned long value = 0;
        if (std::sscanf(line, "flags: %lo", &value) == 1) flags = static_cast<long>(value);
    }
    std::fclose(info);
    return flags;
}

// Any descriptor in any readable process, other than pFd of this process,
// open for writing on the file of pSelf.
bool ScanFindsWriter(int pFd, const struct stat& pSelf) {
    DIR* processes = ::opendir(kProcRoot);
    if (processes == nullptr) return false;
    const long self = static_cast<long>(::getpid());
    bool found = false;
    while (!found) {
        const dirent* process = ::readdir(processes);
        if (process == nullptr) break;
        if (!AllDigits(process->d_name)) continue;
        const long pid = std::strtol(process->d_name, nullptr, 10);
        char folder[kPathBytes];
        std::snprintf(folder, sizeof(folder), "%s/%ld/fd", kProcRoot, pid);
        DIR* descriptors = ::opendir(folder);
        if (descriptors == nullptr) continue;  // gone, or another user's
        while (!found) {
            const dirent* entry = ::readdir(descriptors);
            if (entry == nullptr) break;
            if (!AllDigits(entry->d_name)) continue;
            const long fd = std::strtol(entry->d_name, nullptr, 10);
            if (pid == self && fd == pFd) continue;
            char link[kPathBytes];
            std::snprintf(link, sizeof(link), "%s/%ld/fd/%ld", kProcRoot, pid, fd);
            struct stat target {};
            if (::stat(link, &target) != 0 || target.st_dev != pSelf.st_dev || target.st_ino != pSelf.st_ino) continue;
            char info[kPathBytes];
            std::snprintf(info, sizeof(info), "%s/%ld/fdinfo/%ld", kProcRoot, pid, fd);
            const long flags = DescriptorFlags(info);
            found = flags >= 0 && (flags & O_ACCMODE) != O_RDONLY;
        }
        ::closedir(descriptors);
    }
    ::closedir(processes);
    return found;
}

// A line of /proc/locks: "1: POSIX  ADVISORY  WRITE 1234 08:01:5678 0 EOF"
// (device numbers in hex). FLOCK entries are left to the caller.
bool LocksFileFindsLock(const struct stat& pSelf) {
    FILE* locks = std::fopen(kProcLocks, "re");
    if (locks == nullptr) return false;
    const long self = static_cast<long>(::getpid());
    char line[kLineBytes];
    bool found = false;
    while (!found && std::fgets(line, sizeof(line), locks) != nullptr) {
        char kind[32] = {};
        long pid = 0;
        unsigned int major = 0, minor = 0;
        unsigned long long inode = 0;
        if (std::sscanf(line, "%*[^:]: %31s %*s %*s %ld %x:%x:%llu", kind, &pid, &major, &minor, &inode) != 5) {
            // A waiting lock ("1: -> POSIX ...") is no lock yet.
            continue;
        }
        if (std::strcmp(kind, "FLOCK") == 0 || std::strcmp(kind, "LEASE") == 0 || std::strcmp(kind, "DELEG") == 0)
            continue;
        found =
            major == ::major(pSelf.st_dev) && minor == ::minor(pSelf.st_dev) && inode == pSelf.st_ino && pid != self;
    }
    std::fclose(locks);
    return found;
}

// 0: no record lock of another process; EBUSY: one exists; another errno:
// the kernel would not say.
int RecordLockCheck(int pFd) {
    struct flock probe {};
    probe.l_type = F_WRLCK;  // conflicts with every lock, read or write
    probe.l_whence = SEEK_SET;
    probe.l_start = 0;
    probe.l_len = 0;  // the whole file, however long it grows
    probe.l_pid = 0;
    if (::fcntl(pFd, F_OFD_GETLK, &probe) != 0) {
        if (errno != EINVAL) return errno;
        probe = {};
        probe.l_type = F_WRLCK;
        probe.l_whence = SEEK_SET;
        if (::fcntl(pFd, F_GETLK, &probe) != 0) return errno;
    }
    return probe.l_type == F_UNLCK ? 0 : EBUSY;
}

}  // namespace

int CheckNoOtherWriters(int pFd, WriterCheck* pMethod) {
    if (pMethod != nullptr) *pMethod = WriterCheck::None;
    struct stat self {};
    if (pFd < 0 || ::fstat(pFd, &self) != 0) return pFd < 0 ? EBADF : errno;

    const int lease = gUseLease.load(std::memory_order_relaxed) ? TryLease(pFd) : EINVAL;
    if (lease == 0 || lease == EAGAIN) {
        if (pMethod != nullptr) *pMethod = WriterCheck::Lease;
        if (lease == EAGAIN) return EBUSY;
    } else {
        if (pMethod != nullptr) *pMethod = WriterCheck::ProcessScan;
        if (ScanFindsWriter(pFd, self)) return EBUSY;
    }
    const int locked = RecordLockCheck(pFd);
    if (locked == EBUSY) return EBUSY;
    if (locked != 0 && LocksFileFindsLock(self)) return EBUSY;
    return 0;
}

void UseLeaseForTesting(bool pUse) { gUseLease.store(pUse, std::memory_order_relaxed); }

}  // namespace sonivate::platform
