#include "wavefile/byte_source.h"

#include <algorithm>
#include <cstring>

namespace sonivate {

std::int64_t MemorySource::ReadAt(std::int64_t pOffset, void* pBuffer, std::int64_t pCount) const {
    if (pOffset < 0 || pCount < 0) return -1;
    const auto size = static_cast<std::int64_t>(mSize);
    if (pOffset >= size) return 0;
    const std::int64_t count = std::min(pCount, size - pOffset);
    std::memcpy(pBuffer, mData + pOffset, static_cast<std::size_t>(count));
    return count;
}

BufferedSource::BufferedSource(const ByteSource& pInner, std::int64_t pWindowBytes)
    : mInner(pInner), mWindow(static_cast<std::size_t>(std::max<std::int64_t>(pWindowBytes, 1))) {}

std::int64_t BufferedSource::Size() const {
    if (!mHaveSize) {
        mSize = mInner.Size();
        mHaveSize = true;
    }
    return mSize;
}

std::int64_t BufferedSource::ReadAt(std::int64_t pOffset, void* pBuffer, std::int64_t pCount) const {
    if (pOffset < 0 || pCount < 0) return -1;
    const auto window = static_cast<std::int64_t>(mWindow.size());
    // Inside the window, or reaching past what it holds only where the window
    // stopped short (the end of the source): served from memory.
    const bool inside = mWindowAt >= 0 && pOffset >= mWindowAt &&
                        (pCount <= mWindowAt + mWindowHas - pOffset || mWindowHas < window) &&
                        pOffset <= mWindowAt + mWindowHas;
    if (!inside) {
        if (pCount >= window) return mInner.ReadAt(pOffset, pBuffer, pCount);
        const std::int64_t got = mInner.ReadAt(pOffset, mWindow.data(), window);
        if (got < 0) {
            mWindowAt = -1;
            return -1;
        }
        mWindowAt = pOffset;
        mWindowHas = got;
    }
    const std::int64_t from = pOffset - mWindowAt;
    const std::int64_t count = std::min(pCount, mWindowHas - from);
    if (count > 0) std::memcpy(pBuffer, mWindow.data() + from, static_cast<std::size_t>(count));
    return count;
}

}  // namespace sonivate
