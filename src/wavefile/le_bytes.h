#pragma once
// Little-endian integers as RIFF stores them.

#include <cstdint>

namespace sonivate {

inline std::int32_t LittleEndian32(const unsigned char* pBytes) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(pBytes[0]) | (static_cast<std::uint32_t>(pBytes[1]) << 8) |
                                     (static_cast<std::uint32_t>(pBytes[2]) << 16) |
                                     (static_cast<std::uint32_t>(pBytes[3]) << 24));
}

inline std::int16_t LittleEndian16(const unsigned char* pBytes) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(pBytes[0] | (pBytes[1] << 8)));
}

// One 16-bit (2 bytes) or 24-bit (3 bytes) little-endian PCM sample as a
// signed integer; 24-bit samples are sign-extended from bit 23.
template <int BytesPerSample>
inline std::int32_t PcmSample(const unsigned char* pBytes) {
    static_assert(BytesPerSample == 2 || BytesPerSample == 3);
    if constexpr (BytesPerSample == 2) {
        return LittleEndian16(pBytes);
    } else {
        const auto bits = static_cast<std::uint32_t>(pBytes[0]) | (static_cast<std::uint32_t>(pBytes[1]) << 8) |
                          (static_cast<std::uint32_t>(pBytes[2]) << 16);
        return static_cast<std::int32_t>(bits << 8) >> 8;
    }
}

}  // namespace sonivate
