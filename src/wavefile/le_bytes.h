#pragma once
// Little-endian integers as RIFF stores them.

#include <cstdint>

namespace sonivate {

inline std::int32_t LittleEndian32(const unsigned char* pBytes) {
    return static_cast<std::int32_t>(
        static_cast<std::uint32_t>(pBytes[0]) | (static_cast<std::uint32_t>(pBytes[1]) << 8) |
        (static_cast<std::uint32_t>(pBytes[2]) << 16) | (static_cast<std::uint32_t>(pBytes[3]) << 24));
}

inline std::int16_t LittleEndian16(const unsigned char* pBytes) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(pBytes[0] | (pBytes[1] << 8)));
}

}  // namespace sonivate
