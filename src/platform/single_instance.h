#pragma once
// One running instance per user and desktop session: an advisory lock on a
// file in the user's private runtime folder ($XDG_RUNTIME_DIR, private to the
// user and emptied at log-out). The kernel drops the lock when the process
// ends, however it ends, so a crash never leaves the application unable to
// start.

#include <string>

namespace sonivate::platform {

// The folder for pName's lock and its second start's socket: $XDG_RUNTIME_DIR
// when it is set, else /tmp/<pName>-<uid>, made with mode 0700 when missing.
// Either must be a real folder (not a link) owned by this user that nobody
// else may enter, list or write; "" when it is not. In a shared /tmp another
// user can make that name first and then read or replace what is put there,
// so such a folder is refused, never used or repaired.
std::string PrivateRuntimeFolder(const std::string& pName);

class SingleInstanceLock {
public:
    SingleInstanceLock() = default;
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // True when this process now holds the lock named pName (or already did);
    // false when another process holds it. A lock file that cannot be
    // created at all, or a runtime folder that is not private (Refused),
    // counts as held, so that a broken or planted folder never keeps the
    // application from starting; it then runs on its own and hands nothing
    // to another start.
    bool Acquire(const std::string& pName);
    bool Held() const { return c_Fd >= 0 || c_Unlockable; }
    // True when the last Acquire found no private runtime folder.
    bool Refused() const { return c_Refused; }

    // The lock file used for pName: <PrivateRuntimeFolder(pName)>/<pName>.lock,
    // or "" when there is no private folder.
    static std::string LockPath(const std::string& pName);

private:
    int c_Fd = -1;
    bool c_Unlockable = false;
    bool c_Refused = false;
};

}  // namespace sonivate::platform
