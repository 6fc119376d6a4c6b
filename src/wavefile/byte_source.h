#pragma once
// Where the WAV readers take their bytes from: a file through an open
// handle, or a buffer in memory. Both answer the same two questions, so one
// chunk walk and one cue reader serve files, memory and fuzz input alike.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/basic_file.h"

namespace sonivate {

class ByteSource {
public:
    virtual ~ByteSource() = default;

    // Size in bytes, or -1 when it cannot be had.
    virtual std::int64_t Size() const = 0;

    // Copies up to pCount bytes from byte offset pOffset into pBuffer.
    // Returns the number copied (fewer at the end, 0 past it) or -1 on a
    // failure; bytes of pBuffer that nothing arrived for stay as they were.
    virtual std::int64_t ReadAt(std::int64_t pOffset, void* pBuffer, std::int64_t pCount) const = 0;
};

// An open file. Reads are positioned (pread): the handle's file position is
// neither used nor moved, and the handle is never closed here.
class HandleSource final : public ByteSource {
public:
    explicit HandleSource(FileHandle pHandle) : mHandle(pHandle) {}
    std::int64_t Size() const override { return FileSizeOfHandle(mHandle); }
    std::int64_t ReadAt(std::int64_t pOffset, void* pBuffer, std::int64_t pCount) const override {
        return ReadHandleAt(mHandle, pOffset, pBuffer, pCount);
    }

private:
    FileHandle mHandle;
};

// Bytes in memory, which must outlive the source.
class MemorySource final : public ByteSource {
public:
    MemorySource(const void* pData, std::size_t pSize)
        : mData(static_cast<const unsigned char*>(pData)), mSize(pSize) {}
    std::int64_t Size() const override { return static_cast<std::int64_t>(mSize); }
    std::int64_t ReadAt(std::int64_t pOffset, void* pBuffer, std::int64_t pCount) const override;

private:
    const unsigned char* mData;
    std::size_t mSize;
};

// Another source read through a window of pWindowBytes: a read inside the
// window bytes last fetched is served from memory, any other one fetches the
// window starting at its offset. A chunk walk over many small chunks then
// costs one read of the file per window instead of two per chunk. The size
// is asked once. Not for use from two threads at once; the inner source must
// outlive this one and must not change while it is read.
class BufferedSource final : public ByteSource {
public:
    static constexpr std::int64_t kDefaultWindowBytes = std::int64_t{64} << 10;

    explicit BufferedSource(const ByteSource& pInner, std::int64_t pWindowBytes = kDefaultWindowBytes);
    std::int64_t Size() const override;
    std::int64_t ReadAt(std::int64_t pOffset, void* pBuffer, std::int64_t pCount) const override;

private:
    const ByteSource& mInner;
    mutable std::vector<unsigned char> mWindow;
    mutable std::int64_t mWindowAt = -1;  // offset of mWindow's first byte; -1 before the first fetch
    mutable std::int64_t mWindowHas = 0;  // bytes of mWindow that arrived
    mutable std::int64_t mSize = 0;
    mutable bool mHaveSize = false;
};

}  // namespace sonivate
