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

}  // namespace sonivate
