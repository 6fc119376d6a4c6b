#pragma once
// Whether any other program has a file open for writing or holds a record
// lock on it: a file in that state may still change after it was read, so a
// copy of it must not take its place.
//
// How it is found out:
// - A read lease (fcntl F_SETLEASE F_RDLCK) is taken on the caller's
//   read-only descriptor and given back at once. The kernel refuses it with
//   EAGAIN while any descriptor on the file is open for writing, on this
//   machine, by any user. Before the lease the descriptor's lease-break
//   signal is set to SIGURG, whose default action is to ignore it: an open
//   for writing that breaks the lease in the instant it is held can never
//   end the process (SIGIO, the default, would).
// - Where a lease cannot be taken (EACCES/EPERM: the file belongs to another
//   user and the process lacks CAP_LEASE; EINVAL: NFS, FUSE, or leases
//   switched off in /proc/sys/fs/leases-enable), every /proc/<pid>/fd entry
//   the process may read is matched by device and inode, and /proc/<pid>/
//   fdinfo tells whether it was opened for writing. That sees the processes
//   of the same user (all of them as root), and on a network file system
//   only those of this machine; writers on other machines stay unseen.
// - Record locks of other processes (fcntl POSIX and open-file-description
//   locks, lockf) are asked for with F_OFD_GETLK (F_GETLK on kernels
//   without it); when neither answers, /proc/locks is read for locks on the
//   same device and inode held by another process.
// flock locks are the caller's business (an exclusive flock held by the
// caller already shuts them out).

namespace sonivate::platform {

enum class WriterCheck {
    Lease,        // the kernel's answer for every process on this machine
    ProcessScan,  // /proc as far as it is readable
    None,         // nothing could be examined
};

// 0 when no other process has the file open as pFd for writing nor holds a
// record lock on it; EBUSY when one does; another errno when pFd itself
// cannot be examined. pMethod, when given, receives how writers were looked
// for. pFd must be open read-only (a descriptor of the caller's own that is
// open for writing would count as a writer).
int CheckNoOtherWriters(int pFd, WriterCheck* pMethod = nullptr);

// Test seam: skip the lease and scan /proc, as on a file system without leases.
void UseLeaseForTesting(bool pUse);

}  // namespace sonivate::platform
