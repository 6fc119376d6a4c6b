#pragma once
// Thin POSIX layer under the file handle routines: raw descriptors, 64-bit
// offsets, full-length transfers. Nothing here knows about handles-as-values
// or error trapping; that is the common layer's business.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace sonivate::platform {

enum class OpenMode {
    ReadExisting,    // read only, the file must exist
    WriteAlways,     // write only, created when missing, never truncated
    ReadWriteAlways  // read and write, created when missing, never truncated
};

// Returns a descriptor (>= 0) or -1 with errno set. Only regular files are
// opened: folders (EISDIR), FIFOs, devices and sockets (ENXIO) are refused,
// and the open never waits for a FIFO's other end.
int OpenFile(const std::string& pPath, OpenMode pMode);
void CloseFile(int pFd);

// Move the file offset; -1 on failure. pOffset is a byte offset from the
// start, or from the end when pFromEnd.
std::int64_t SeekFile(int pFd, std::int64_t pOffset, bool pFromEnd = false);

// Reads until pCount bytes arrived or the end of the file; returns the number
// of bytes read (possibly short), or -1 on an I/O error.
std::int64_t ReadFully(int pFd, void* pBuffer, std::int64_t pCount);

// Writes all pCount bytes; returns the number written. A result below pCount
// means the device refused the rest (full disk, size limit) or an I/O error.
std::int64_t WriteFully(int pFd, const void* pBuffer, std::int64_t pCount);

// ReadFully and WriteFully at an explicit byte offset (pread/pwrite): the
// descriptor's own file position is neither used nor moved.
std::int64_t ReadFullyAt(int pFd, void* pBuffer, std::int64_t pCount, std::int64_t pOffset);
std::int64_t WriteFullyAt(int pFd, const void* pBuffer, std::int64_t pCount, std::int64_t pOffset);

// Copies pCount bytes from pFromOffset of pFromFd to pToOffset of pToFd
// inside the kernel (copy_file_range: no copy through user memory, shared
// extents where the file system has them), falling back to reads and writes
// through a buffer where the kernel cannot (other file systems, old kernels).
// Returns the number of bytes copied; below pCount when the source ended
// early or a transfer failed. Neither file position moves.
std::int64_t CopyFileRange(int pFromFd, std::int64_t pFromOffset, int pToFd, std::int64_t pToOffset,
                           std::int64_t pCount);

// Test seam: false makes CopyFileRange take its fallback path at once.
void UseKernelCopyForTesting(bool pUse);

// Creates pPath as a new empty file, refusing any name already in use (file,
// folder, link, even a dangling one). 0 on success, otherwise the errno value
// (EEXIST when the name is taken).
int CreateNewFile(const std::string& pPath);

// Size in bytes, or -1.
std::int64_t FileSize(int pFd);

// Flushes the file's data to the device; false on failure.
bool SyncFile(int pFd);

// The cause of a failed copy: from WatchTransferErrors(fd) on, the errno of
// the first failed read, write, seek, in-kernel copy or sync on fd is kept,
// whichever thread made the call (the writer reads ahead on a thread of its
// own), also when the call went through another descriptor of the same file
// that is not watched itself (a duplicate of fd). TakeTransferError returns
// the earlier of the errors kept for pFd and pOtherFd (0 when neither failed)
// and stops watching both. Up to 64 descriptors are watched at once; beyond
// that the cause stays 0.
void WatchTransferErrors(int pFd);
int TakeTransferError(int pFd, int pOtherFd = -1);

// Test seam: when set, every open, seek, read and write calls it first with
// the operation's name ("open", "seek", "read", "write", "fsync"). A hook that throws
// simulates an unexpected run-time failure inside the platform call.
using FaultHook = std::function<void(std::string_view pOperation)>;
void SetFaultHookForTesting(FaultHook pHook);

}  // namespace sonivate::platform
