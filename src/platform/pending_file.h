#pragma once
// Writing a file that nobody can see until it is complete, then giving it
// its name in one step; and the checks around it (which file stands under a
// name, whether a file is still the one that was read, advisory locks).
//
// Results are 0 on success or an errno value; nothing here throws.

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>

namespace sonivate::platform {

// What a name or a descriptor refers to, as far as "is it still the same
// file, unchanged?" is concerned.
struct FileIdentity {
    bool Valid = false;  // false: nothing there (or it could not be examined)
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
    std::int64_t Size = 0;        // bytes
    std::int64_t ModifiedNs = 0;  // modification time, ns since the epoch
    std::int64_t ChangedNs = 0;   // status change time (any write, chmod, link), ns since the epoch
    std::uint64_t Links = 0;      // hard links
    std::uint32_t Mode = 0;       // st_mode: type and permission bits
    bool Regular = false;
    bool SymbolicLink = false;

    bool SameFile(const FileIdentity& pOther) const {
        return Valid && pOther.Valid && Device == pOther.Device && Inode == pOther.Inode;
    }
    // The same file with the same size, modification and status change
    // time. The change time catches a writer that puts the old modification
    // time back (touch -r, a copy tool keeping times).
    bool Unchanged(const FileIdentity& pOther) const {
        return SameFile(pOther) && Size == pOther.Size && ModifiedNs == pOther.ModifiedNs &&
               ChangedNs == pOther.ChangedNs;
    }
};

FileIdentity IdentityOf(int pFd);
// The name itself: a symbolic link is reported as a link, never followed.
FileIdentity IdentityOfName(const std::string& pPath);
// What pPath names once links are followed (invalid when nothing is there).
FileIdentity IdentityOfPath(const std::string& pPath);

// What a path names once links are followed.
enum class PathKind { Missing, Regular, Folder, Other, Unknown };
PathKind KindOfPath(const std::string& pPath);

// Opens an existing regular file for reading without ever blocking on a
// FIFO or a device (such files are refused with ENXIO). pNoFollow refuses a
// symbolic link as the last component (ELOOP). Returns a descriptor, or -1
// with pError set.
int OpenRegularForReading(const std::string& pPath, bool pNoFollow, int& pError);

// Opens the folder pPath (links followed, as the operator named it) to hold
// it: files are then created and looked up relative to the descriptor, so
// that a folder renamed, removed or replaced by a link afterwards is never
// reached through its old name. -1 with pError set (ENOTDIR for a file).
int OpenFolder(const std::string& pPath, int& pError);

// What stands under pName (a file name, no folder) in the folder open as
// pFolderFd; a symbolic link is reported as a link, never followed.
FileIdentity IdentityAt(int pFolderFd, const std::string& pName);

// Opens the regular file pName in the folder pFolderFd for reading, never
// following a link and never waiting on a FIFO. -1 with pError set.
int OpenRegularAt(int pFolderFd, const std::string& pName, int& pError);

// An exclusive advisory lock (flock) that does not wait: 0, EWOULDBLOCK
// when another process holds it, or another errno.
int TryLockExclusive(int pFd);

// Closes pFd and reports what close said (0 or errno). EINTR counts as
// closed, as it does on Linux.
int CloseChecked(int pFd);

// Fsyncs pFd; 0 or errno.
int SyncChecked(int pFd);

// The process's file-mode creation mask, read without changing it.
mode_t CurrentUmask();

// A new file in a folder that has no name any other process can reach
// until Publish gives it one: an O_TMPFILE file where the file system
// supports it, otherwise a hidden name (".sonivate-<random>.part": a dot
// first and no ".wav" at the end, so that no folder intake takes it for
// audio) created with O_CREAT | O_EXCL | O_NOFOLLOW. The object never opens,
// follows or removes any name it did not create itself. A PendingFile that
// is destroyed unpublished leaves nothing behind.
class PendingFile {
public:
    PendingFile() = default;
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // pFolder: the folder of the final name ("" is the working folder).
    // pMode: the permission bits the finished file should have when it
    // replaces nothing (the umask applies). A hidden-name file is 0600 while
    // it is written and gets them when it is published.
    int Create(const std::string& pFolder, mode_t pMode = 0666);
    // The same in the folder held open as pFolderFd (a duplicate is kept,
    // the caller's descriptor stays the caller's).
    int Create(int pFolderFd, mode_t pMode = 0666);

    // The descriptor to write through (read and write access), -1 when none.
    int Descriptor() const { return mFd; }
    bool Unnamed() const { return mUnnamed; }

    // Gives the new file the permission bits, owner, group and extended
    // attributes (ACLs included) of the file open as pFromFd. An owner or
    // attribute the process may not set is left as it is; a failed mode
    // change is an error, as a copy more open than its original must not
    // be published.
    int TakeAttributesOf(int pFromFd);

    // Flushes the data to the device, closes the file (both checked) and
    // gives it the name pName (a file name, no folder) in the folder, then
    // flushes the folder.
    // pReplacing null: the name must be free, and a name taken meanwhile
    // fails with EEXIST. Otherwise the name must still refer to that file
    // (or ESTALE), which is then replaced in one step (a reader sees either
    // the old or the new file). pLastCheck, when given, is asked after the
    // flush and right before the name is given; false fails with ECANCELED.
    // After any failure nothing is left of the copy.
    // 0 means the file has its name, even when the flush of the folder
    // after it failed: FolderSyncError() then tells why the new name may
    // not yet be on the device.
    int Publish(const std::string& pName, const FileIdentity* pReplacing, const std::function<bool()>& pLastCheck = {});

    // The identity the published file had (valid after a successful Publish).
    const FileIdentity& Published() const { return mPublished; }
    // The errno of the folder flush after a successful Publish, 0 when the
    // name is on the device.
    int FolderSyncError() const { return mFolderSyncError; }

    // Drops the copy: closes it and removes the hidden name, if any.
    void Discard();

    // Test seam: pretend the file system has no O_TMPFILE.
    static void SetNamedOnlyForTesting(bool pNamedOnly);

private:
    int CreateInHeldFolder(mode_t pMode);
    int GiveHiddenName();
    void ForgetHiddenName();

    int mFolderFd = -1;
    int mFd = -1;
    bool mUnnamed = false;
    std::string mHiddenName;  // empty while the file has no name
    int mSlot = -1;           // its entry in the signal-time clean-up table
    mode_t mFinalMode = 0;    // permission bits the published file gets
    bool mModeGiven = false;  // the file already has mFinalMode
    FileIdentity mPublished;
    int mFolderSyncError = 0;
};

// Removes the hidden names of every unpublished PendingFile. Async-signal-
// safe: meant for the handler of a signal that ends the process.
void RemovePendingNamesFromSignalHandler();

}  // namespace sonivate::platform
