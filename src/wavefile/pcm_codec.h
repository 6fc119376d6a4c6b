#pragma once
// Linear PCM samples of 16 and 24 bits: little-endian two's complement, to
// and from 32-bit integers. The one definition the meter and the writer
// decode with; the writer's vector kernels are tested against it.
//
// 16-bit: two bytes, sign-extended (-32768 .. 32767).
// 24-bit: three bytes b0 + 256*b1 + 65536*b2, sign taken from bit 23
// (-8388608 .. 8388607).
// Encoding stores the low 16 or 24 bits of the value; callers saturate first.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "wavefile/le_bytes.h"

namespace sonivate {

struct Pcm16 {
    static constexpr std::size_t kBytes = 2;

    static std::int32_t DecodeOne(const unsigned char* pBytes) { return LittleEndian16(pBytes); }
    static void EncodeOne(unsigned char* pBytes, std::int32_t pValue) {
        const auto bits = static_cast<std::uint32_t>(pValue);
        pBytes[0] = static_cast<unsigned char>(bits);
        pBytes[1] = static_cast<unsigned char>(bits >> 8);
    }
    // pCount consecutive samples.
    static void Decode(const unsigned char* pBytes, std::int32_t* pSamples, std::size_t pCount) {
        for (std::size_t i = 0; i < pCount; ++i) pSamples[i] = DecodeOne(pBytes + kBytes * i);
    }
    static void Encode(const std::int32_t* pSamples, unsigned char* pBytes, std::size_t pCount) {
        for (std::size_t i = 0; i < pCount; ++i) EncodeOne(pBytes + kBytes * i, pSamples[i]);
    }
};

struct Pcm24 {
    static constexpr std::size_t kBytes = 3;
    static constexpr std::int32_t kSignBit = 0x800000;
    static constexpr std::uint32_t kSampleBits = 0xFFFFFF;

    static std::int32_t SignExtend(std::uint32_t pBits) {
        return (static_cast<std::int32_t>(pBits & kSampleBits) ^ kSignBit) - kSignBit;
    }
    static std::int32_t DecodeOne(const unsigned char* pBytes) {
        return SignExtend(static_cast<std::uint32_t>(pBytes[0]) | (static_cast<std::uint32_t>(pBytes[1]) << 8) |
                          (static_cast<std::uint32_t>(pBytes[2]) << 16));
    }
    static void EncodeOne(unsigned char* pBytes, std::int32_t pValue) {
        const auto bits = static_cast<std::uint32_t>(pValue);
        pBytes[0] = static_cast<unsigned char>(bits);
        pBytes[1] = static_cast<unsigned char>(bits >> 8);
        pBytes[2] = static_cast<unsigned char>(bits >> 16);
    }
    // On little-endian hosts every sample but the last of a run moves as one
    // 4-byte word. Reading: the extra byte is the next sample's and is masked
    // off. Writing in ascending order: the extra byte is overwritten by the
    // next sample's write; the last sample is written bytewise so the run's
    // neighbour stays intact.
    static void Decode(const unsigned char* pBytes, std::int32_t* pSamples, std::size_t pCount) {
        if (pCount == 0) return;
        std::size_t i = 0;
        if constexpr (std::endian::native == std::endian::little) {
            for (; i + 1 < pCount; ++i) {
                std::uint32_t word;
                std::memcpy(&word, pBytes + kBytes * i, sizeof word);
                pSamples[i] = SignExtend(word);
            }
        }
        for (; i < pCount; ++i) pSamples[i] = DecodeOne(pBytes + kBytes * i);
    }
    static void Encode(const std::int32_t* pSamples, unsigned char* pBytes, std::size_t pCount) {
        if (pCount == 0) return;
        std::size_t i = 0;
        if constexpr (std::endian::native == std::endian::little) {
            for (; i + 1 < pCount; ++i) {
                const auto word = static_cast<std::uint32_t>(pSamples[i]);
                std::memcpy(pBytes + kBytes * i, &word, sizeof word);
            }
        }
        for (; i < pCount; ++i) EncodeOne(pBytes + kBytes * i, pSamples[i]);
    }
};

// The codec of a sample width in bytes (2 or 3).
template <int kBytesPerSample>
using PcmCodec = std::conditional_t<kBytesPerSample == 2, Pcm16, Pcm24>;

// One sample of a width in bytes (2 or 3) as a signed integer.
template <int kBytesPerSample>
inline std::int32_t PcmSample(const unsigned char* pBytes) {
    static_assert(kBytesPerSample == 2 || kBytesPerSample == 3);
    return PcmCodec<kBytesPerSample>::DecodeOne(pBytes);
}

}  // namespace sonivate
