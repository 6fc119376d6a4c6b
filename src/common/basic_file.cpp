#include "common/basic_file.h"

#include "common/error_trap.h"
#include "platform/posix_file.h"

namespace sonivate {
namespace {

// Handles are descriptors shifted by one, so that 0 can mean "none" while
// descriptor 0 stays usable.
int FdOf(FileHandle pHandle) { return pHandle - 1; }
FileHandle HandleOf(int pFd) { return pFd + 1; }

// Closes a handle this routine opened itself when an untrapped error leaves
// it early; a trapped error or a normal failure closes explicitly.
class OwnedGuard {
public:
    OwnedGuard(FileHandle& pHandle, bool pOwned) : mHandle(pHandle), mOwned(pOwned) {}
    ~OwnedGuard() {
        if (mOwned && mArmed) CloseFileHandle(mHandle);
    }
    OwnedGuard(const OwnedGuard&) = delete;
    OwnedGuard& operator=(const OwnedGuard&) = delete;
    void Disarm() { mArmed = false; }

private:
    FileHandle& mHandle;
    bool mOwned;
    bool mArmed = true;
};

}  // namespace

FileHandle OpenFileHandle(const std::string& pPath, std::int32_t pMode, std::int32_t /*pFlags*/) {
    return Trapped<FileHandle>(0, [&]() -> FileHandle {
        platform::OpenMode mode;
        switch (pMode) {
            case kOpenRead:
                mode = platform::OpenMode::ReadExisting;
                break;
            case kOpenWrite:
                mode = platform::OpenMode::WriteAlways;
                break;
            case kOpenReadWrite:
                mode = platform::OpenMode::ReadWriteAlways;
                break;
            default:
                return 0;
        }
        const int fd = platform::OpenFile(pPath, mode);
        return fd < 0 ? 0 : HandleOf(fd);
    });
}

void CloseFileHandle(FileHandle& pHandle) {
    if (pHandle != 0) platform::CloseFile(FdOf(pHandle));
    pHandle = 0;
}

namespace {

// The frame ReadFileAt and WriteFileAt share: open by path when no handle is
// given, run the transfer, then settle the handle: closed after any failure
// (also a handle passed in), closed after success when asked to.
// pTransfer returns false on failure.
template <class Body>
FileHandle PositionedTransfer(FileHandle pHandle, const std::string& pPath, std::int32_t pOpenMode, bool pCloseAfter,
                              Body&& pTransfer) {
    FileHandle handle = pHandle;
    OwnedGuard guard(handle, handle == 0);
    FileHandle result = 0;
    const bool completed = Trap([&] {
        if (handle == 0) {
            handle = OpenFileHandle(pPath, pOpenMode);
            if (handle == 0) return;
        }
        if (!pTransfer(handle)) {
            CloseFileHandle(handle);
            return;
        }
        if (pCloseAfter) {
            CloseFileHandle(handle);
            result = 1;
        } else {
            result = handle;
        }
    });
    if (!completed) CloseFileHandle(handle);
    guard.Disarm();
    return result;
}

}  // namespace

FileHandle ReadFileAt(void* pBuffer, std::int32_t pCount, std::int64_t pPosition, FileHandle pHandle,
                      const std::string& pPath, bool pCloseAfter, std::int64_t* pBytesRead) {
    if (pBytesRead) *pBytesRead = 0;
    const bool openOnly = pCount == 0 && pHandle == 0 && !pCloseAfter;
    return PositionedTransfer(pHandle, pPath, kOpenRead, pCloseAfter, [&](FileHandle pOpen) {
        if (openOnly) return true;
        if (pCount < 0 || SeekFileHandle(pOpen, pPosition) != 0) return false;
        const std::int64_t got = platform::ReadFully(FdOf(pOpen), pBuffer, pCount);
        if (got < 0) return false;
        if (pBytesRead) *pBytesRead = got;
        return true;
    });
}

FileHandle WriteFileAt(const void* pBuffer, std::int32_t pCount, std::int64_t pPosition, FileHandle pHandle,
                       const std::string& pPath, bool pCloseAfter) {
    return PositionedTransfer(pHandle, pPath, kOpenReadWrite, pCloseAfter, [&](FileHandle pOpen) {
        if (pPosition == AppendPosition) {
            // A failed move to the end is not reported; the write goes ahead.
            platform::SeekFile(FdOf(pOpen), 0, true);
        } else if (SeekFileHandle(pOpen, pPosition) != 0) {
            return false;
        }
        return pCount >= 0 && platform::WriteFully(FdOf(pOpen), pBuffer, pCount) == pCount;
    });
}

std::int64_t ReadAtCurrentPosition(FileHandle pHandle, void* pBuffer, std::int32_t pCount) {
    return Trapped<std::int64_t>(-1, [&]() -> std::int64_t {
        if (pHandle == 0 || pCount < 0) return -1;
        return platform::ReadFully(FdOf(pHandle), pBuffer, pCount);
    });
}

std::int64_t ReadHandleAt(FileHandle pHandle, std::int64_t pPosition, void* pBuffer, std::int64_t pCount) {
    return Trapped<std::int64_t>(-1, [&]() -> std::int64_t {
        if (pHandle == 0 || pCount < 0 || pPosition < 0) return -1;
        return platform::ReadFullyAt(FdOf(pHandle), pBuffer, pCount, pPosition);
    });
}

bool WriteHandleAt(FileHandle pHandle, std::int64_t pPosition, const void* pBuffer, std::int64_t pCount) {
    return Trapped<bool>(false, [&] {
        if (pHandle == 0 || pCount < 0 || pPosition < 0) return false;
        return platform::WriteFullyAt(FdOf(pHandle), pBuffer, pCount, pPosition) == pCount;
    });
}

bool CopyHandleRange(FileHandle pFrom, std::int64_t pFromPosition, FileHandle pTo, std::int64_t pToPosition,
                     std::int64_t pCount) {
    return Trapped<bool>(false, [&] {
        if (pFrom == 0 || pTo == 0 || pCount < 0) return false;
        return platform::CopyFileRange(FdOf(pFrom), pFromPosition, FdOf(pTo), pToPosition, pCount) == pCount;
    });
}

std::int32_t SeekFileHandle(FileHandle pHandle, std::int64_t pPosition) {
    return Trapped<std::int32_t>(-1, [&]() -> std::int32_t {
        if (pHandle == 0) return -1;
        return platform::SeekFile(FdOf(pHandle), pPosition) == pPosition ? 0 : -1;
    });
}

std::int64_t FileSizeOfHandle(FileHandle pHandle) {
    return Trapped<std::int64_t>(-1, [&]() -> std::int64_t {
        if (pHandle == 0) return -1;
        return platform::FileSize(FdOf(pHandle));
    });
}

std::int64_t FileSizeOfPath(const std::string& pPath) {
    FileHandle handle = OpenFileHandle(pPath, kOpenRead);
    if (handle == 0) return 0;
    const std::int64_t size = FileSizeOfHandle(handle);
    CloseFileHandle(handle);
    return size;
}

RoutineHandle::RoutineHandle(FileHandle pGiven, const std::string& pPath) : handle(pGiven), owned(pGiven == 0) {
    if (owned) handle = OpenFileHandle(pPath, kOpenRead);
}

RoutineHandle::~RoutineHandle() {
    if (owned) CloseFileHandle(handle);
}

FileHandle HandleOfDescriptor(int pFd) { return pFd < 0 ? 0 : HandleOf(pFd); }

int DescriptorOfHandle(FileHandle pHandle) { return pHandle == 0 ? -1 : FdOf(pHandle); }

std::int32_t SyncFileHandle(FileHandle pHandle) {
    return Trapped<std::int32_t>(
        0, [&]() -> std::int32_t { return pHandle != 0 && platform::SyncFile(FdOf(pHandle)) ? 1 : 0; });
}

}  // namespace sonivate
