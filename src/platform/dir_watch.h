#pragma once
// What an unattended watcher of a delivery folder needs from the system:
// change notification on folders (inotify), whether another process still
// has a file open for writing, folder listings, moves that also work across
// file systems, and an append-only file whose lines survive a crash.
//
// Results are 0 on success or an errno value; nothing here throws.

#include <cstdint>
#include <string>
#include <vector>

namespace sonivate::platform {

// What "has the file changed?" compares: a file being written changes size
// or modification time, and a rename or chmod changes the status time.
struct FileStamp {
    bool Valid = false;  // false: nothing there (or it could not be examined)
    bool Regular = false;
    bool Folder = false;
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
    std::int64_t Size = 0;        // bytes
    std::int64_t ModifiedNs = 0;  // ns since the epoch
    std::int64_t ChangedNs = 0;   // status change, ns since the epoch

    bool operator==(const FileStamp&) const = default;
};

// The name itself; a symbolic link is neither regular nor a folder.
FileStamp StampOf(const std::string& pPath);

enum class WriterState {
    None,     // nobody has the file open for writing
    Writing,  // another process has it open for writing
    Unknown,  // the check is not possible here (not the owner, no lease support)
};

// Whether another process has the file open for writing or holds a record
// lock on it, as the publishing looks (CheckNoOtherWriters: a read lease,
// else a scan of the readable /proc entries). Unknown when neither could
// examine the file.
WriterState WriterOf(const std::string& pPath);

struct FolderEntry {
    std::string Name;
    bool Folder = false;
    bool Regular = false;
};

// The entries of pFolder except "." and "..", in the order the file system
// lists them. Symbolic links are neither regular files nor folders.
int ListFolder(const std::string& pFolder, std::vector<FolderEntry>& pEntries);

// Moves pFrom to pTo, which must not exist (EEXIST otherwise, nothing
// moved). Within a file system a rename; across file systems (EXDEV) a copy
// that is flushed to the device and published under pTo in one step before
// pFrom is removed, so that a crash leaves the file under at least one of
// the names and never a part under pTo. Both folders are flushed.
int MoveFileNoReplace(const std::string& pFrom, const std::string& pTo);

// The same for the file held open as pHeldFd, which pFrom must still name
// unchanged (device, inode, size, modification and status change time):
// ESTALE, nothing moved, when another file (or a changed one) stands
// there. Across file systems the copy is read from pHeldFd, and pFrom is
// removed only when it still names that file unchanged once the copy
// stands; otherwise the copy stays under pTo, pFrom is left alone and the
// result is ESTALE. When pFrom cannot be removed (EPERM in a sticky
// folder), the copy is taken back and that error returned: the file is in
// one place, never in both.
int MoveHeldFileNoReplace(int pHeldFd, const std::string& pFrom, const std::string& pTo);

// Creates pFolder and its missing parents (0777 less the umask, so that a
// shared delivery tree stays as open as the umask allows). 0 when the folder
// exists afterwards.
int MakeFolderTree(const std::string& pFolder);

// Test seam: true makes MoveFileNoReplace take its copy path as if the two
// names were on different file systems.
void ForceCrossDeviceMoveForTesting(bool pForce);
// Test seam: a move across file systems finds the source's unlink failing
// with pError (EPERM: a sticky folder); 0 ends it.
void ForceMoveUnlinkErrorForTesting(int pError);

// A file that only grows by whole lines, held with an exclusive lock for as
// long as it is open so that two watchers never share it.
class AppendOnlyFile {
public:
    AppendOnlyFile() = default;
    ~AppendOnlyFile();
    AppendOnlyFile(const AppendOnlyFile&) = delete;
    AppendOnlyFile& operator=(const AppendOnlyFile&) = delete;

    // Opens (creating it, mode 0666 less the umask) and locks pPath;
    // EWOULDBLOCK when another process holds it.
    int Open(const std::string& pPath);
    // The whole content as it is now.
    int ReadAll(std::string& pContent) const;
    // Appends pText in one write (O_APPEND) and flushes it to the device.
    int AppendDurably(const std::string& pText);
    // Replaces the whole content with pContent in one step: a hidden file
    // beside it is written, flushed and renamed over the name, then opened
    // and locked in its place, so that a crash leaves the old content or the
    // new one, never a part. 0 or an errno value (the old file stays open).
    int Replace(const std::string& pContent);
    void Close();

private:
    int mFd = -1;
    std::string mPath;
};

enum class DirEventKind {
    FileArrived,  // closed after writing, or moved in
    FolderAdded,  // created or moved in
    FolderGone,   // a watched folder was removed or moved away
    Overflow,     // the kernel dropped events: rescan everything
};

struct DirEvent {
    DirEventKind Kind = DirEventKind::FileArrived;
    std::string Path;  // the folder + "/" + name; the folder itself for FolderGone; empty for Overflow
};

// inotify on a set of folders.
class DirWatch {
public:
    DirWatch() = default;
    ~DirWatch();
    DirWatch(const DirWatch&) = delete;
    DirWatch& operator=(const DirWatch&) = delete;

    int Open();
    // Watches pFolder (no slash at the end) for files closed after writing
    // or moved in, and for folders created or moved in. Watching a folder
    // twice is harmless.
    int AddFolder(const std::string& pFolder);

    // Waits until events arrive, pTimeoutMs passes (< 0: no limit) or a stop
    // signal (see stop_signals.h) is given, and appends what arrived. A stop
    // signal given just before the wait is never missed. 0, or an errno
    // (EINTR after a stop signal).
    int Wait(std::int64_t pTimeoutMs, std::vector<DirEvent>& pEvents);
    // Ends the current (or the next) Wait early, from any thread: work
    // finished elsewhere has something for the waiting thread.
    void Wake();

private:
    int mFd = -1;
    int mWakeFd = -1;                                   // an eventfd
    std::vector<std::pair<int, std::string>> mFolders;  // watch descriptor, folder
};

// A monotonic clock, ns.
std::int64_t SteadyNowNs();
// The wall clock, ns since the epoch.
std::int64_t WallNowNs();

}  // namespace sonivate::platform
