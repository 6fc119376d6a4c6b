#include "platform/single_instance.h"

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sonivate::platform {
namespace {

constexpr const char* kSharedFolder = "/tmp/";
constexpr mode_t kPrivateFolderMode = 0700;
constexpr mode_t kOthersAccess = S_IRWXG | S_IRWXO;
constexpr mode_t kLockFileMode = 0600;

// The folder PrivateRuntimeFolder names, before any check; pShared tells
// the fallback in the shared folder.
std::string CandidateFolder(const std::string& pName, bool& pShared) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    pShared = runtime == nullptr || runtime[0] != '/';
    if (!pShared) return runtime;
    return kSharedFolder + pName + "-" + std::to_string(::getuid());
}

// The folder for pName opened (a descriptor, or -1) when it is private:
// a folder, reached without following a link at its own name, owned by this
// user, with no access for group or others. The shared fallback is made
// first when missing; pPath gets its name either way.
int OpenPrivateFolder(const std::string& pName, std::string& pPath) {
    bool shared = false;
    pPath = CandidateFolder(pName, shared);
    // An existing one (EEXIST) is judged below like a new one.
    if (shared) ::mkdir(pPath.c_str(), kPrivateFolderMode);
    const int fd = ::open(pPath.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() ||
        (st.st_mode & kOthersAccess) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

std::string PrivateRuntimeFolder(const std::string& pName) {
    std::string path;
    const int fd = OpenPrivateFolder(pName, path);
    if (fd < 0) return "";
    ::close(fd);
    return path;
}

SingleInstanceLock::~SingleInstanceLock() {
    if (c_Fd >= 0) ::close(c_Fd);
}

std::string SingleInstanceLock::LockPath(const std::string& pName) {
    const std::string folder = PrivateRuntimeFolder(pName);
    return folder.empty() ? folder : folder + "/" + pName + ".lock";
}

bool SingleInstanceLock::Acquire(const std::string& pName) {
    if (Held()) return true;
    std::string folderPath;
    const int folder = OpenPrivateFolder(pName, folderPath);
    if (folder < 0) {
        c_Refused = true;
        c_Unlockable = true;
        return true;
    }
    // Opened inside the folder just checked; O_NOFOLLOW: no link is followed out of it.
    const std::string lockName = pName + ".lock";
    const int fd = ::openat(folder, lockName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, kLockFileMode);
    ::close(folder);
    if (fd < 0) {
        c_Unlockable = true;
        return true;
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const bool busy = errno == EWOULDBLOCK;
        ::close(fd);
        if (!busy) c_Unlockable = true;
        return !busy;
    }
    c_Fd = fd;
    return true;
}

}  // namespace sonivate::platform
