#include "platform/dir_watch.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/file_users.h"
#include "platform/pending_file.h"
#include "platform/posix_file.h"
#include "platform/stop_signals.h"

namespace sonivate::platform {
namespace {

constexpr std::int64_t kNsPerSecond = 1000000000;
constexpr std::int64_t kNsPerMs = 1000000;
// Room for a burst of events in one read; inotify never splits an event.
constexpr size_t kEventBufferBytes = 64 * 1024;
constexpr std::uint32_t kFolderEvents =
    IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

std::atomic<bool> gForceCrossDevice{false};
std::atomic<int> gForcedUnlinkError{0};

std::int64_t Ns(const struct timespec& pTime) {
    return static_cast<std::int64_t>(pTime.tv_sec) * kNsPerSecond + pTime.tv_nsec;
}

std::string FolderOf(const std::string& pPath) {
    const size_t slash = pPath.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : pPath.substr(0, slash);
}

std::string NameOf(const std::string& pPath) {
    const size_t slash = pPath.rfind('/');
    return slash == std::string::npos ? pPath : pPath.substr(slash + 1);
}

int SyncFolder(const std::string& pFolder) {
    const int fd = ::open(pFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    const int result = SyncChecked(fd);
    CloseChecked(fd);
    return result;
}

int RenameNoReplace(const std::string& pFrom, const std::string& pTo) {
    if (::renameat2(AT_FDCWD, pFrom.c_str(), AT_FDCWD, pTo.c_str(), RENAME_NOREPLACE) == 0) return 0;
    const int error = errno;
    if (error != EINVAL && error != ENOSYS) return error;
    // A file system without RENAME_NOREPLACE: a second name, then drop the first.
    if (::link(pFrom.c_str(), pTo.c_str()) != 0) return errno;
    if (::unlink(pFrom.c_str()) != 0) {
        const int unlinkError = errno;
        ::unlink(pTo.c_str());
        return unlinkError;
    }
    return 0;
}

// Copies the file open as pSource to the free name pTo, flushed and
// published in one step.
// pCopy: the file published under pTo, for taking it back.
int CopyHeldAcross(int pSource, const std::string& pTo, FileIdentity& pCopy) {
    PendingFile copy;
    int error = copy.Create(FolderOf(pTo));
    if (error == 0) {
        const std::int64_t size = FileSize(pSource);
        if (size < 0 || CopyFileRange(pSource, 0, copy.Descriptor(), 0, size) != size) error = EIO;
    }
    if (error == 0) error = copy.TakeAttributesOf(pSource);
    if (error == 0) pCopy = IdentityOf(copy.Descriptor());
    if (error == 0) error = copy.Publish(NameOf(pTo), nullptr);
    return error;
}

int CopyAcross(const std::string& pFrom, const std::string& pTo) {
    int error = 0;
    const int source = OpenRegularForReading(pFrom, true, error);
    if (source < 0) return error;
    PendingFile copy;
    error = copy.Create(FolderOf(pTo));
    if (error == 0) {
        const std::int64_t size = FileSize(source);
        if (size < 0 || CopyFileRange(source, 0, copy.Descriptor(), 0, size) != size) error = EIO;
    }
    if (error == 0) error = copy.TakeAttributesOf(source);
    if (error == 0) error = copy.Publish(NameOf(pTo), nullptr);
    CloseChecked(source);
    if (error != 0) return error;
    if (::unlink(pFrom.c_str()) != 0) return errno;
    return 0;
}

}  // namespace

FileStamp StampOf(const std::string& pPath) {
    FileStamp stamp;
    struct stat info {};
    if (::lstat(pPath.c_str(), &info) != 0) return stamp;
    stamp.Valid = true;
    stamp.Regular = S_ISREG(info.st_mode);
    stamp.Folder = S_ISDIR(info.st_mode);
    stamp.Device = info.st_dev;
    stamp.Inode = info.st_ino;
    stamp.Size = info.st_size;
    stamp.ModifiedNs = Ns(info.st_mtim);
    stamp.ChangedNs = Ns(info.st_ctim);
    return stamp;
}

WriterState WriterOf(const std::string& pPath) {
    const int fd = ::open(pPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return WriterState::Unknown;
    // The publishing's own check: a lease whose break can never end the
    // process, the /proc scan where leases are refused, and record locks.
    WriterCheck method = WriterCheck::None;
    const int found = CheckNoOtherWriters(fd, &method);
    ::close(fd);
    if (found == EBUSY) return WriterState::Writing;
    return found == 0 && method != WriterCheck::None ? WriterState::None : WriterState::Unknown;
}

int ListFolder(const std::string& pFolder, std::vector<FolderEntry>& pEntries) {
    DIR* folder = ::opendir(pFolder.c_str());
    if (folder == nullptr) return errno;
    errno = 0;
    while (const struct dirent* entry = ::readdir(folder)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        FolderEntry item;
        item.Name = name;
        if (entry->d_type == DT_UNKNOWN) {
            const FileStamp stamp = StampOf(pFolder + "/" + name);
            item.Folder = stamp.Folder;
            item.Regular = stamp.Regular;
        } else {
            item.Folder = entry->d_type == DT_DIR;
            item.Regular = entry->d_type == DT_REG;
        }
        pEntries.push_back(std::move(item));
        errno = 0;
    }
    const int error = errno;
    ::closedir(folder);
    return error;
}

int MakeFolderTree(const std::string& pFolder) {
    constexpr mode_t kSharedFolderMode = 0777;
    if (pFolder.empty()) return ENOENT;
    for (size_t at = 1; at <= pFolder.size(); ++at) {
        if (at != pFolder.size() && pFolder[at] != '/') continue;
        const std::string part = pFolder.substr(0, at);
        if (::mkdir(part.c_str(), kSharedFolderMode) != 0 && errno != EEXIST) return errno;
    }
    struct stat info {};
    if (::stat(pFolder.c_str(), &info) != 0) return errno;
    return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

void ForceCrossDeviceMoveForTesting(bool pForce) { gForceCrossDevice = pForce; }
void ForceMoveUnlinkErrorForTesting(int pError) { gForcedUnlinkError = pError; }

int MoveHeldFileNoReplace(int pHeldFd, const std::string& pFrom, const std::string& pTo) {
    const FileIdentity held = IdentityOf(pHeldFd);
    if (!held.Valid) return EBADF;
    if (!IdentityOfName(pFrom).Unchanged(held)) return ESTALE;
    int error = gForceCrossDevice ? EXDEV : RenameNoReplace(pFrom, pTo);
    if (error == EXDEV) {
        if (StampOf(pTo).Valid) return EEXIST;
        FileIdentity copy;
        error = CopyHeldAcross(pHeldFd, pTo, copy);
        if (error != 0) return error;
        // The name may have been given to another file while the copy was
        // made (a corrected delivery renamed over it): that file stays.
        if (!IdentityOfName(pFrom).Unchanged(held)) return ESTALE;
        const int unlinked = gForcedUnlinkError != 0        ? gForcedUnlinkError.load()
                             : ::unlink(pFrom.c_str()) != 0 ? errno
                                                            : 0;
        if (unlinked != 0) {
            // The source stays (a sticky folder, say): the copy goes again,
            // so that the file is in one place, not in both.
            if (IdentityOfName(pTo).SameFile(copy)) {
                ::unlink(pTo.c_str());
                SyncFolder(FolderOf(pTo));
            }
            return unlinked;
        }
    }
    if (error != 0) return error;
    const int toFolder = SyncFolder(FolderOf(pTo));
    const int fromFolder = SyncFolder(FolderOf(pFrom));
    return toFolder != 0 ? toFolder : fromFolder;
}

int MoveFileNoReplace(const std::string& pFrom, const std::string& pTo) {
    int error = gForceCrossDevice ? EXDEV : RenameNoReplace(pFrom, pTo);
    if (error == EXDEV) {
        if (StampOf(pTo).Valid) return EEXIST;
        error = CopyAcross(pFrom, pTo);
    }
    if (error != 0) return error;
    const int toFolder = SyncFolder(FolderOf(pTo));
    const int fromFolder = SyncFolder(FolderOf(pFrom));
    return toFolder != 0 ? toFolder : fromFolder;
}

AppendOnlyFile::~AppendOnlyFile() { Close(); }

int AppendOnlyFile::Open(const std::string& pPath) {
    Close();
    const int fd = ::open(pPath.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return errno;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    mFd = fd;
    mPath = pPath;
    return 0;
}

int AppendOnlyFile::Replace(const std::string& pContent) {
    if (mFd < 0) return EBADF;
    const std::string hidden = FolderOf(mPath) + "/." + NameOf(mPath) + ".compacting";
    const int fd = ::open(hidden.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return errno;
    const auto size = static_cast<std::int64_t>(pContent.size());
    int error = WriteFully(fd, pContent.data(), size) == size ? SyncChecked(fd) : (errno != 0 ? errno : EIO);
    // The new file is locked before it takes the name, so that no other
    // watcher can hold it in between.
    if (error == 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) error = errno;
    if (error == 0 && ::rename(hidden.c_str(), mPath.c_str()) != 0) error = errno;
    if (error != 0) {
        ::close(fd);
        ::unlink(hidden.c_str());
        return error;
    }
    SyncFolder(FolderOf(mPath));
    // Appends go to the end whatever the position.
    if (::fcntl(fd, F_SETFL, O_APPEND) != 0) {
        error = errno;
        ::close(fd);
        return error;
    }
    ::close(mFd);
    mFd = fd;
    return 0;
}

int AppendOnlyFile::ReadAll(std::string& pContent) const {
    pContent.clear();
    if (mFd < 0) return EBADF;
    const std::int64_t size = FileSize(mFd);
    if (size < 0) return errno;
    pContent.resize(static_cast<size_t>(size));
    const std::int64_t got = ReadFullyAt(mFd, pContent.data(), size, 0);
    if (got < 0) return EIO;
    pContent.resize(static_cast<size_t>(got));
    return 0;
}

int AppendOnlyFile::AppendDurably(const std::string& pText) {
    if (mFd < 0) return EBADF;
    const auto size = static_cast<std::int64_t>(pText.size());
    if (WriteFully(mFd, pText.data(), size) != size) return errno != 0 ? errno : EIO;
    return SyncChecked(mFd);
}

void AppendOnlyFile::Close() {
    if (mFd >= 0) ::close(mFd);
    mFd = -1;
}

void DirWatch::Wake() {
    if (mWakeFd < 0) return;
    const std::uint64_t one = 1;
    // A full counter already wakes the waiter.
    [[maybe_unused]] const ssize_t written = ::write(mWakeFd, &one, sizeof one);
}

DirWatch::~DirWatch() {
    if (mFd >= 0) ::close(mFd);
    if (mWakeFd >= 0) ::close(mWakeFd);
}

int DirWatch::Open() {
    mFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (mFd < 0) return errno;
    mWakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    return mWakeFd < 0 ? errno : 0;
}

int DirWatch::AddFolder(const std::string& pFolder) {
    const int wd = ::inotify_add_watch(mFd, pFolder.c_str(), kFolderEvents);
    if (wd < 0) return errno;
    for (auto& [known, folder] : mFolders) {
        if (known != wd) continue;
        folder = pFolder;
        return 0;
    }
    mFolders.emplace_back(wd, pFolder);
    return 0;
}

int DirWatch::Wait(std::int64_t pTimeoutMs, std::vector<DirEvent>& pEvents) {
    // The stop signals stay blocked between the flag's test and the wait,
    // and ppoll lets them in only while it waits.
    sigset_t stops, previous;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    ::pthread_sigmask(SIG_BLOCK, &stops, &previous);
    if (StopSignalled()) {
        ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        return EINTR;
    }
    struct pollfd watched[2] = {};
    watched[0].fd = mFd;
    watched[0].events = POLLIN;
    watched[1].fd = mWakeFd;
    watched[1].events = POLLIN;
    struct timespec timeout {};
    timeout.tv_sec = static_cast<time_t>(pTimeoutMs / 1000);
    timeout.tv_nsec = static_cast<long>(pTimeoutMs % 1000 * kNsPerMs);
    const int ready = ::ppoll(watched, mWakeFd >= 0 ? 2 : 1, pTimeoutMs < 0 ? nullptr : &timeout, &previous);
    const int waitError = ready < 0 ? errno : 0;
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (waitError != 0) return waitError;
    if (ready == 0) return 0;
    if ((watched[1].revents & POLLIN) != 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = ::read(mWakeFd, &count, sizeof count);
    }
    if ((watched[0].revents & POLLIN) == 0) return 0;

    alignas(struct inotify_event) char buffer[kEventBufferBytes];
    for (;;) {
        const ssize_t got = ::read(mFd, buffer, sizeof buffer);
        if (got < 0) return errno == EAGAIN ? 0 : errno;
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const struct inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(struct inotify_event) + event->len);
            if ((event->mask & IN_Q_OVERFLOW) != 0) {
                pEvents.push_back({DirEventKind::Overflow, {}});
                continue;
            }
            if ((event->mask & IN_IGNORED) != 0) {
                std::erase_if(mFolders, [&](const auto& pFolder) { return pFolder.first == event->wd; });
                continue;
            }
            std::string folder;
            for (const auto& [wd, name] : mFolders)
                if (wd == event->wd) folder = name;
            if (folder.empty()) continue;
            if ((event->mask & (IN_DELETE_SELF | IN_MOVE_SELF)) != 0) {
                pEvents.push_back({DirEventKind::FolderGone, folder});
                continue;
            }
            if (event->len == 0) continue;
            const std::string path = folder + "/" + event->name;
            if ((event->mask & IN_ISDIR) != 0) {
                if ((event->mask & (IN_CREATE | IN_MOVED_TO)) != 0)
                    pEvents.push_back({DirEventKind::FolderAdded, path});
            } else if ((event->mask & (IN_CLOSE_WRITE | IN_MOVED_TO)) != 0) {
                pEvents.push_back({DirEventKind::FileArrived, path});
            }
        }
    }
}

std::int64_t SteadyNowNs() {
    struct timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return Ns(now);
}

std::int64_t WallNowNs() {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return Ns(now);
}

}  // namespace sonivate::platform
