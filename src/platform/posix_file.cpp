#include "platform/posix_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <memory>
#include <mutex>

#include "platform/stop_signals.h"

namespace sonivate::platform {
namespace {

constexpr mode_t kNewFileMode = 0666;  // the umask decides the rest

std::mutex gHookMutex;
std::shared_ptr<const FaultHook> gHook;
std::atomic<bool> gHookSet{false};

void CallHook(std::string_view pOperation) {
    if (!gHookSet.load(std::memory_order_acquire)) return;
    std::shared_ptr<const FaultHook> hook;
    {
        std::lock_guard lock(gHookMutex);
        hook = gHook;
    }
    if (hook && *hook) (*hook)(pOperation);
}

// Largest single transfer handed to the kernel; Linux caps one read or write
// at a little under 2 GiB anyway.
constexpr std::int64_t kMaxChunk = 1 << 30;

// Descriptors whose first failure is kept for the caller who asked. A
// failure on another descriptor of the same open file (a duplicate the
// transfers work through) is kept for the watched one too: the file is told
// by its device and inode, taken when the watch begins.
struct WatchedDescriptor {
    int fd = -1;
    int error = 0;
    std::uint64_t order = 0;  // when the failure happened, across all descriptors
    bool known = false;       // device and inode below were had
    dev_t device = 0;
    ino_t inode = 0;
};
constexpr std::size_t kMostWatched = 64;
std::mutex gWatchMutex;
std::array<WatchedDescriptor, kMostWatched> gWatched;
std::uint64_t gFailureCount = 0;
std::atomic<int> gWatchedCount{0};

void Keep(WatchedDescriptor& pWatched, int pError) {
    if (pWatched.error != 0) return;
    pWatched.error = pError;
    pWatched.order = ++gFailureCount;
}

// Keeps pError as the first failure of the watched descriptor pFd, or, when
// pFd itself is not watched, of every watched descriptor of the same file;
// errno survives.
void NoteFailure(int pFd, int pError) {
    if (gWatchedCount.load(std::memory_order_acquire) == 0 || pError == 0 || pFd < 0) return;
    const int saved = errno;
    {
        std::lock_guard lock(gWatchMutex);
        const auto direct = std::find_if(gWatched.begin(), gWatched.end(),
                                         [&](const WatchedDescriptor& pWatched) { return pWatched.fd == pFd; });
        struct stat st {};
        if (direct != gWatched.end())
            Keep(*direct, pError);
        else if (::fstat(pFd, &st) == 0)
            for (WatchedDescriptor& watched : gWatched)
                if (watched.fd >= 0 && watched.known && watched.device == st.st_dev && watched.inode == st.st_ino)
                    Keep(watched, pError);
    }
    errno = saved;
}

}  // namespace

void WatchTransferErrors(int pFd) {
    if (pFd < 0) return;
    struct stat st {};
    const bool known = ::fstat(pFd, &st) == 0;
    std::lock_guard lock(gWatchMutex);
    WatchedDescriptor* free = nullptr;
    for (WatchedDescriptor& watched : gWatched) {
        if (watched.fd == pFd) {
            watched = WatchedDescriptor{pFd, 0, 0, known, st.st_dev, st.st_ino};
            return;
        }
        if (watched.fd < 0 && free == nullptr) free = &watched;
    }
    if (free == nullptr) return;  // more watchers than rows at once: the cause stays unknown
    *free = WatchedDescriptor{pFd, 0, 0, known, st.st_dev, st.st_ino};
    gWatchedCount.fetch_add(1, std::memory_order_release);
}

int TakeTransferError(int pFd, int pOtherFd) {
    std::lock_guard lock(gWatchMutex);
    int error = 0;
    std::uint64_t first = 0;
    for (WatchedDescriptor& watched : gWatched) {
        if (watched.fd < 0 || (watched.fd != pFd && watched.fd != pOtherFd)) continue;
        if (watched.error != 0 && (error == 0 || watched.order < first)) {
            error = watched.error;
            first = watched.order;
        }
        watched = WatchedDescriptor{};
        gWatchedCount.fetch_sub(1, std::memory_order_release);
    }
    return error;
}

void SetFaultHookForTesting(FaultHook pHook) {
    std::lock_guard lock(gHookMutex);
    gHook = pHook ? std::make_shared<const FaultHook>(std::move(pHook)) : nullptr;
    gHookSet.store(gHook != nullptr, std::memory_order_release);
}

int OpenFile(const std::string& pPath, OpenMode pMode) {
    CallHook("open");
    // O_NONBLOCK: a FIFO or a device under the name must not hang the open;
    // such files are refused below, and regular files ignore the flag.
    int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    switch (pMode) {
        case OpenMode::ReadExisting:
            flags |= O_RDONLY;
            break;
        case OpenMode::WriteAlways:
            flags |= O_WRONLY | O_CREAT;
            break;
        case OpenMode::ReadWriteAlways:
            flags |= O_RDWR | O_CREAT;
            break;
    }
    int fd;
    do {
        fd = ::open(pPath.c_str(), flags, kNewFileMode);
    } while (fd < 0 && errno == EINTR && !StopSignalled());
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = S_ISDIR(st.st_mode) ? EISDIR : ENXIO;
        ::close(fd);
        errno = error;
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

int CreateNewFile(const std::string& pPath) {
    const int fd = ::open(pPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
    if (fd < 0) return errno;
    ::close(fd);
    return 0;
}

void CloseFile(int pFd) {
    if (pFd >= 0) ::close(pFd);
}

std::int64_t SeekFile(int pFd, std::int64_t pOffset, bool pFromEnd) {
    CallHook("seek");
    if (!pFromEnd && pOffset < 0) return -1;
    const off_t result = ::lseek(pFd, static_cast<off_t>(pOffset), pFromEnd ? SEEK_END : SEEK_SET);
    if (result < 0) NoteFailure(pFd, errno);
    return result < 0 ? -1 : static_cast<std::int64_t>(result);
}

namespace {

// What a transfer does when the system refuses part of it.
enum class OnError { Fail, KeepDone };

// Moves pCount bytes in pieces of at most kMaxChunk through pStep(offset into
// the buffer, bytes), which returns what one system call moved; an interrupted
// call is repeated unless a stop was signalled. Returns the bytes moved, or -1
// on an error with OnError::Fail.
template <class Step>
std::int64_t TransferFully(int pFd, std::int64_t pCount, OnError pOnError, Step&& pStep) {
    std::int64_t done = 0;
    while (done < pCount) {
        const auto want = static_cast<size_t>(std::min(pCount - done, kMaxChunk));
        const ssize_t moved = pStep(done, want);
        if (moved < 0) {
            if (errno == EINTR && !StopSignalled()) continue;
            NoteFailure(pFd, errno);
            if (pOnError == OnError::Fail) return -1;
            break;
        }
        if (moved == 0) break;
        done += moved;
    }
    return done;
}

}  // namespace

std::int64_t ReadFully(int pFd, void* pBuffer, std::int64_t pCount) {
    CallHook("read");
    auto* out = static_cast<unsigned char*>(pBuffer);
    return TransferFully(pFd, pCount, OnError::Fail,
                         [&](std::int64_t pDone, size_t pWant) { return ::read(pFd, out + pDone, pWant); });
}

std::int64_t WriteFully(int pFd, const void* pBuffer, std::int64_t pCount) {
    CallHook("write");
    const auto* in = static_cast<const unsigned char*>(pBuffer);
    return TransferFully(pFd, pCount, OnError::KeepDone,
                         [&](std::int64_t pDone, size_t pWant) { return ::write(pFd, in + pDone, pWant); });
}

std::int64_t ReadFullyAt(int pFd, void* pBuffer, std::int64_t pCount, std::int64_t pOffset) {
    CallHook("read");
    if (pOffset < 0) return -1;
    auto* out = static_cast<unsigned char*>(pBuffer);
    return TransferFully(pFd, pCount, OnError::Fail, [&](std::int64_t pDone, size_t pWant) {
        return ::pread(pFd, out + pDone, pWant, static_cast<off_t>(pOffset + pDone));
    });
}

std::int64_t WriteFullyAt(int pFd, const void* pBuffer, std::int64_t pCount, std::int64_t pOffset) {
    CallHook("write");
    if (pOffset < 0) return 0;
    const auto* in = static_cast<const unsigned char*>(pBuffer);
    return TransferFully(pFd, pCount, OnError::KeepDone, [&](std::int64_t pDone, size_t pWant) {
        return ::pwrite(pFd, in + pDone, pWant, static_cast<off_t>(pOffset + pDone));
    });
}

namespace {

// The buffer of the fallback copy: large enough that the system call cost
// vanishes behind the memory traffic, small enough to stay out of the way.
constexpr std::int64_t kFallbackCopyBytes = std::int64_t{1} << 20;

// Errors after which copy_file_range will not work for this pair of files
// (another file system, no kernel support, a file type it refuses), so the
// rest is copied through user memory.
bool KernelCannotCopy(int pError) {
    return pError == EXDEV || pError == ENOSYS || pError == EINVAL || pError == EOPNOTSUPP || pError == ETXTBSY;
}

std::atomic<bool> gKernelCopy{true};

std::int64_t CopyThroughBuffer(int pFromFd, std::int64_t pFromOffset, int pToFd, std::int64_t pToOffset,
                               std::int64_t pCount) {
    const auto size = static_cast<size_t>(std::min(pCount, kFallbackCopyBytes));
    // Filled by every read before it is written: no need to clear it.
    const std::unique_ptr<unsigned char[]> buffer(new unsigned char[size]);
    std::int64_t done = 0;
    while (done < pCount) {
        const std::int64_t want = std::min<std::int64_t>(pCount - done, static_cast<std::int64_t>(size));
        const std::int64_t got = ReadFullyAt(pFromFd, buffer.get(), want, pFromOffset + done);
        if (got <= 0) break;
        const std::int64_t put = WriteFullyAt(pToFd, buffer.get(), got, pToOffset + done);
        done += put;
        if (put != got || got != want) break;
    }
    return done;
}

}  // namespace

std::int64_t CopyFileRange(int pFromFd, std::int64_t pFromOffset, int pToFd, std::int64_t pToOffset,
                           std::int64_t pCount) {
    CallHook("read");
    CallHook("write");
    if (pFromOffset < 0 || pToOffset < 0 || pCount < 0) return 0;
    std::int64_t done = 0;
    while (done < pCount) {
        auto from = static_cast<off_t>(pFromOffset + done);
        auto to = static_cast<off_t>(pToOffset + done);
        const auto want = static_cast<size_t>(std::min(pCount - done, kMaxChunk));
        const ssize_t copied = gKernelCopy.load(std::memory_order_relaxed)
                                   ? ::copy_file_range(pFromFd, &from, pToFd, &to, want, 0)
                                   : (errno = ENOSYS, -1);
        if (copied < 0) {
            if (errno == EINTR && !StopSignalled()) continue;
            if (KernelCannotCopy(errno))
                return done + CopyThroughBuffer(pFromFd, pFromOffset + done, pToFd, pToOffset + done, pCount - done);
            // Which side refused is not told: both learn the cause.
            NoteFailure(pFromFd, errno);
            NoteFailure(pToFd, errno);
            break;
        }
        if (copied == 0) break;  // the source ends here
        done += copied;
    }
    return done;
}

void UseKernelCopyForTesting(bool pUse) { gKernelCopy.store(pUse, std::memory_order_relaxed); }

std::int64_t FileSize(int pFd) {
    struct stat st {};
    if (::fstat(pFd, &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

bool SyncFile(int pFd) {
    CallHook("fsync");
    const bool synced = ::fsync(pFd) == 0;
    if (!synced) NoteFailure(pFd, errno);
    return synced;
}

}  // namespace sonivate::platform
