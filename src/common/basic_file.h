#pragma once
// File handle routines: every byte the system reads from or writes to a WAV
// file passes through here.
//
// A FileHandle is a value held in a caller's variable; 0 means none. Positions
// and sizes are 64-bit signed byte counts. A failed positioned read or write
// closes the handle and returns 0, so callers assign the result of every
// transfer back to their handle variable; the next call then reopens the file
// by its path (when one was given).
//
// Failure values: OpenFileHandle 0; ReadFileAt/WriteFileAt 0 (handle closed,
// also one passed in); SeekFileHandle -1 (handle stays open);
// FileSizeOfHandle -1; FileSizeOfPath 0 when the file cannot be opened, -1
// when its size cannot be read.

#include <cstdint>
#include <string>

namespace sonivate {

using FileHandle = std::int32_t;

// The write position meaning "at the current end of the file".
inline constexpr std::int64_t AppendPosition = -1;

// The file name passed to a routine that is given an open handle instead.
inline const std::string kNoPath;

// Open modes.
inline constexpr std::int32_t kOpenRead = 0;       // the file must exist
inline constexpr std::int32_t kOpenWrite = 1;      // created when missing, never truncated
inline constexpr std::int32_t kOpenReadWrite = 2;  // created when missing, never truncated

// Returns a handle or 0. Any mode other than 0, 1, 2 opens nothing.
// pFlags is accepted for the callers' sake and ignored (all pass 0).
FileHandle OpenFileHandle(const std::string& pPath, std::int32_t pMode, std::int32_t pFlags = 0);

// Closes a non-zero handle; the variable is 0 afterwards in every case.
void CloseFileHandle(FileHandle& pHandle);

// Reads pCount bytes at byte position pPosition into pBuffer.
// pHandle 0: the file pPath is opened for reading first.
// pCount 0 with no handle given and pCloseAfter false: only opens, returns the handle.
// Result: the handle (left open after the read) when pCloseAfter is false,
// 1 when it is true (handle closed), 0 on failure (handle closed).
// A read past the end of the file succeeds and leaves the rest of the buffer
// untouched; pBytesRead, when given, receives the number of bytes that arrived.
FileHandle ReadFileAt(void* pBuffer, std::int32_t pCount, std::int64_t pPosition, FileHandle pHandle,
                      const std::string& pPath, bool pCloseAfter, std::int64_t* pBytesRead = nullptr);

// Writes pCount bytes at pPosition, or at the end of the file for
// AppendPosition. pHandle 0: the file pPath is opened (mode 2) first.
// Result as for ReadFileAt. A short write (full disk, size limit) is a failure.
FileHandle WriteFileAt(const void* pBuffer, std::int32_t pCount, std::int64_t pPosition, FileHandle pHandle,
                       const std::string& pPath, bool pCloseAfter);

// Reads up to pCount bytes at the handle's current position without ever
// closing it. Returns the number of bytes read (short at the end of the
// file), or -1 on failure (also for handle 0).
std::int64_t ReadAtCurrentPosition(FileHandle pHandle, void* pBuffer, std::int32_t pCount);

// Positioned transfers that neither use nor move the handle's file position
// and never close the handle: for readers that walk a file by offsets and
// for the writer, which keeps its own count of where the target ends.
// ReadHandleAt: up to pCount bytes at pPosition; the number read (short at
// the end of the file), or -1 on failure (also for handle 0).
// WriteHandleAt: all pCount bytes at pPosition; false on failure or a short write.
// CopyHandleRange: pCount bytes from pFromPosition of pFrom to pToPosition of
// pTo without passing them through the caller (see platform::CopyFileRange);
// false unless all arrived.
std::int64_t ReadHandleAt(FileHandle pHandle, std::int64_t pPosition, void* pBuffer, std::int64_t pCount);
bool WriteHandleAt(FileHandle pHandle, std::int64_t pPosition, const void* pBuffer, std::int64_t pCount);
bool CopyHandleRange(FileHandle pFrom, std::int64_t pFromPosition, FileHandle pTo, std::int64_t pToPosition,
                     std::int64_t pCount);

// Moves the handle's file position to pPosition. 0 on success, -1 on failure.
std::int32_t SeekFileHandle(FileHandle pHandle, std::int64_t pPosition);

// Size of the open file, -1 when it cannot be read (also for handle 0).
std::int64_t FileSizeOfHandle(FileHandle pHandle);

// Size of the named file: 0 when it cannot be opened, -1 when the size cannot be read.
std::int64_t FileSizeOfPath(const std::string& pPath);

// A handle for a descriptor opened elsewhere (the platform layer's checked
// files), and back. The handle owns what it wraps: closing it closes pFd.
FileHandle HandleOfDescriptor(int pFd);
int DescriptorOfHandle(FileHandle pHandle);

// Flushes the file's data to the device. 1 on success, 0 on failure.
std::int32_t SyncFileHandle(FileHandle pHandle);

// A handle variable that is closed when it leaves scope, whichever way. A
// variable that a failed transfer already set to 0 is simply left alone.
struct ScopedHandle {
    FileHandle handle = 0;

    ScopedHandle() = default;
    explicit ScopedHandle(FileHandle pHandle) : handle(pHandle) {}
    ~ScopedHandle() { CloseFileHandle(handle); }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
};

// A handle a routine opened itself (owned) or was given (not owned); an
// owned one is closed when the routine leaves, whichever way it leaves.
struct RoutineHandle {
    FileHandle handle = 0;
    bool owned = false;

    // Uses pGiven when non-zero, otherwise opens pPath for reading.
    RoutineHandle(FileHandle pGiven, const std::string& pPath);
    ~RoutineHandle();
    RoutineHandle(const RoutineHandle&) = delete;
    RoutineHandle& operator=(const RoutineHandle&) = delete;
};

}  // namespace sonivate
