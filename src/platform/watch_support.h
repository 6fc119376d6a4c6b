#pragma once
// The rest of what an unattended watcher of a shared folder needs from the
// system: a lock that keeps a second watcher off the folder, whether change
// notification sees every change there, files created without following a
// link someone else placed, and commands run for alerts.
//
// Results are 0 on success or an errno value; nothing here throws.

#include <cstdint>
#include <string>
#include <sys/types.h>

namespace sonivate::platform {

// An exclusive lock on a folder, held while the object lives (flock on the
// folder itself, so every watcher of it sees the lock whatever its journal).
class FolderLock {
public:
    FolderLock() = default;
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    // EWOULDBLOCK when another process holds it.
    int Lock(const std::string& pFolder);

private:
    int mFd = -1;
};

// False for file systems where inotify misses changes made elsewhere (NFS,
// SMB/CIFS, FUSE and other network or user-space file systems): those need
// a periodic rescan.
bool ChangesAreAllSeen(const std::string& pFolder);

// Creates pPath with pContent (0666 less the umask), flushed: never through
// a link (neither the folder nor the name), never over an existing name
// (EEXIST), so that nobody who may write in the folder can turn it on
// another file.
int WriteNewFile(const std::string& pPath, const std::string& pContent);

// Runs "/bin/sh -c pCommand" without waiting, pInput on its standard input
// (at most a pipe's buffer; the rest is dropped). pPid: the child's id for
// ReapCommands. 0 or an errno value.
int StartCommand(const std::string& pCommand, const std::string& pInput, pid_t& pPid);
// Collects a command that has ended: true when pPid is gone (its exit
// status in pStatus, -1 when it did not exit normally), false while it runs.
// pWait: waits for it to end.
bool ReapCommand(pid_t pPid, int& pStatus, bool pWait = false);

}  // namespace sonivate::platform

namespace sonivate::platform {

// Makes pRelative (folders separated by '/', "" for pRoot itself) below
// pRoot, entering each part without following links: ELOOP (nothing made
// further) when a part is a symbolic link, so that a link placed in a shared
// tree never sends a file elsewhere. New folders get 0777 less the umask.
int MakeFolderBelow(const std::string& pRoot, const std::string& pRelative);

// A folder made and entered as MakeFolderBelow does, held open: names below
// Path() reach that very folder whatever becomes of the names that led to it.
class HeldFolder {
public:
    HeldFolder() = default;
    ~HeldFolder();
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;
    int MakeBelow(const std::string& pRoot, const std::string& pRelative);
    int Descriptor() const { return mFd; }
    // The held folder's path through the process's descriptors.
    std::string Path() const;

private:
    int mFd = -1;
};

// WriteNewFile for pName in the folder held as pFolderFd.
int WriteNewFileAt(int pFolderFd, const std::string& pName, const std::string& pContent);

}  // namespace sonivate::platform
