#include "platform/single_instance.h"

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace sonivate::platform {

SingleInstanceLock::~SingleInstanceLock() {
    if (c_Fd >= 0) ::close(c_Fd);
}

std::string SingleInstanceLock::LockPath(const std::string& pName) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') return std::string(runtime) + "/" + pName + ".lock";
    return "/tmp/" + pName + "-" + std::to_string(::getuid()) + ".lock";
}

bool SingleInstanceLock::Acquire(const std::string& pName) {
    if (Held()) return true;
    // O_NOFOLLOW: in a shared /tmp another user could plant a link here.
    const int fd = ::open(LockPath(pName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
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
