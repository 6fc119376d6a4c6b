#include "platform/watch_support.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/fd_path.h"
#include "platform/pending_file.h"
#include "platform/posix_file.h"

extern char** environ;

namespace sonivate::platform {
namespace {

// File system magic numbers that <linux/magic.h> lacks.
constexpr long kCifsMagic = 0xFF534D42;
constexpr long kSmb2Magic = 0xFE534D42;
constexpr long kFuseMagic = 0x65735546;
constexpr long kCephMagic = 0x00c36400;
constexpr long kAfsMagic = 0x5346414F;
constexpr const char* kShell = "/bin/sh";

}  // namespace

FolderLock::~FolderLock() {
    if (mFd >= 0) ::close(mFd);
}

int FolderLock::Lock(const std::string& pFolder) {
    const int fd = ::open(pFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        return error;
    }
    if (mFd >= 0) ::close(mFd);
    mFd = fd;
    return 0;
}

bool ChangesAreAllSeen(const std::string& pFolder) {
    struct statfs info {};
    if (::statfs(pFolder.c_str(), &info) != 0) return true;
    switch (static_cast<long>(info.f_type)) {
        case NFS_SUPER_MAGIC:
        case SMB_SUPER_MAGIC:
        case kCifsMagic:
        case kSmb2Magic:
        case kFuseMagic:
        case kCephMagic:
        case kAfsMagic:
        case CODA_SUPER_MAGIC:
        case V9FS_MAGIC:
            return false;
        default:
            return true;
    }
}

int WriteNewFile(const std::string& pPath, const std::string& pContent) {
    const size_t slash = pPath.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : pPath.substr(0, slash));
    const std::string name = slash == std::string::npos ? pPath : pPath.substr(slash + 1);
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folderFd < 0) return errno;
    const int error = WriteNewFileAt(folderFd, name, pContent);
    ::close(folderFd);
    return error;
}

int StartCommand(const std::string& pCommand, const std::string& pInput, pid_t& pPid) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return errno;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[0], STDIN_FILENO);
    const char* argv[] = {kShell, "-c", pCommand.c_str(), nullptr};
    const int error = ::posix_spawn(&pPid, kShell, &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[0]);
    if (error == 0) {
        // A hook that never reads must not hold the watcher.
        ::fcntl(pipeFds[1], F_SETFL, O_NONBLOCK);
        // SIGPIPE is not wanted when the hook closes its input early.
        sigset_t pipeSignal, previous;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        ::pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
        [[maybe_unused]] const ssize_t written = ::write(pipeFds[1], pInput.data(), pInput.size());
        const struct timespec none {};
        ::sigtimedwait(&pipeSignal, nullptr, &none);
        ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }
    ::close(pipeFds[1]);
    return error;
}

bool ReapCommand(pid_t pPid, int& pStatus, bool pWait) {
    int status = 0;
    pid_t reaped = -1;
    do {
        reaped = ::waitpid(pPid, &status, pWait ? 0 : WNOHANG);
    } while (reaped < 0 && errno == EINTR);
    if (reaped == 0) return false;
    pStatus = reaped == pPid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return true;
}

}  // namespace sonivate::platform

namespace sonivate::platform {

namespace {

// The folder pRelative below pRoot, made and entered part by part without
// following links; the open folder in pFd.
int EnterBelow(const std::string& pRoot, const std::string& pRelative, int& pFd) {
    int folder = ::open(pRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return errno;
    for (size_t start = 0; start < pRelative.size();) {
        size_t end = pRelative.find('/', start);
        if (end == std::string::npos) end = pRelative.size();
        const std::string part = pRelative.substr(start, end - start);
        start = end + 1;
        if (part.empty() || part == ".") continue;
        int error = 0;
        if (part == "..")
            error = EINVAL;
        else if (::mkdirat(folder, part.c_str(), 0777) != 0 && errno != EEXIST)
            error = errno;
        const int next =
            error != 0 ? -1 : ::openat(folder, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (error == 0 && next < 0) error = errno == ENOTDIR ? ELOOP : errno;
        ::close(folder);
        if (error != 0) return error;
        folder = next;
    }
    pFd = folder;
    return 0;
}

}  // namespace

int MakeFolderBelow(const std::string& pRoot, const std::string& pRelative) {
    HeldFolder folder;
    return folder.MakeBelow(pRoot, pRelative);
}

HeldFolder::~HeldFolder() {
    if (mFd >= 0) ::close(mFd);
}

int HeldFolder::MakeBelow(const std::string& pRoot, const std::string& pRelative) {
    int fd = -1;
    if (const int error = EnterBelow(pRoot, pRelative, fd); error != 0) return error;
    if (mFd >= 0) ::close(mFd);
    mFd = fd;
    return 0;
}

std::string HeldFolder::Path() const { return DescriptorPath(mFd); }

int WriteNewFileAt(int pFolderFd, const std::string& pName, const std::string& pContent) {
    const int fd = ::openat(pFolderFd, pName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return errno;
    const auto size = static_cast<std::int64_t>(pContent.size());
    int error = WriteFully(fd, pContent.data(), size) == size ? SyncChecked(fd) : (errno != 0 ? errno : EIO);
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0) error = SyncChecked(pFolderFd);
    return error;
}

}  // namespace sonivate::platform
