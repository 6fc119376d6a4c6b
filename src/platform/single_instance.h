#pragma once
// One running instance per user and desktop session: an advisory lock on a
// file in the session's runtime folder ($XDG_RUNTIME_DIR, private to the user
// and emptied at log-out). The kernel drops the lock when the process ends,
// however it ends, so a crash never leaves the application unable to start.

#include <string>

namespace sonivate::platform {

class SingleInstanceLock {
public:
    SingleInstanceLock() = default;
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // True when this process now holds the lock named pName (or already did);
    // false when another process holds it. A lock file that cannot be
    // created at all counts as held, so that a broken runtime folder never
    // keeps the application from starting.
    bool Acquire(const std::string& pName);
    bool Held() const { return c_Fd >= 0 || c_Unlockable; }

    // The lock file used for pName: $XDG_RUNTIME_DIR/<pName>.lock, or
    // /tmp/<pName>-<uid>.lock without a runtime folder.
    static std::string LockPath(const std::string& pName);

private:
    int c_Fd = -1;
    bool c_Unlockable = false;
};

}  // namespace sonivate::platform
