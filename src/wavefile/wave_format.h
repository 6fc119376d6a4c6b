#pragma once
// The format record of one RIFF/WAVE file of linear PCM.

#include <cstdint>

namespace sonivate {

// Supported layouts; any other channel/bit combination is not supported.
enum FormatKind : std::int32_t {
    Mono8bit = 0,
    Stereo8bit = 1,
    Mono16bit = 2,
    Stereo16bit = 3,
    Mono24bit = 4,
    Stereo24bit = 5,
    Surround51_16bit = 6,
    Surround71_16bit = 7,
    Surround51_24bit = 8,
    Surround71_24bit = 9,
};

// Chunk identifiers as little-endian 32-bit words.
inline constexpr std::int32_t kChunkFmt = 0x20746D66;   // "fmt "
inline constexpr std::int32_t kChunkData = 0x61746164;  // "data"
inline constexpr std::int32_t kChunkCue = 0x20657563;   // "cue "
inline constexpr std::int32_t kChunkPlst = 0x74736C70;  // "plst"
inline constexpr std::int32_t kChunkList = 0x5453494C;  // "LIST"
inline constexpr std::int32_t kChunkAdtl = 0x6C746461;  // "adtl"
inline constexpr std::int32_t kChunkLabl = 0x6C62616C;  // "labl"
inline constexpr std::int32_t kChunkFile = 0x656C6966;  // "file"

inline constexpr std::int32_t kFormatTagPcm = 1;

// Fields in this order; a fresh record is all zero. Callers look at Valid first:
// an invalid record may still carry the fields read before the walk stopped.
struct WaveFormatInfo {
    std::int32_t Valid = 0;          // 1: "fmt " and "data" found and the layout supported
    std::int32_t NumSamples = 0;     // sample frames in the data chunk, at most 2147483647
    std::int32_t SampleRate = 0;     // frames per second, as stored
    std::int16_t BitsPerSample = 0;  // as stored
    std::int16_t Channels = 0;       // as stored
    std::int32_t BlockAlign = 0;     // bytes per frame: Channels * BitsPerSample / 8
    std::int32_t DataOffset = 0;     // byte offset of the first sample byte
    std::int64_t DataLength = 0;     // the data chunk's size field, unsigned
    std::int64_t FileSize = 0;       // bytes in the whole file when read
    std::int32_t FormatKind = 0;     // a FormatKind value
    std::int32_t DurationMs = 0;     // NumSamples / SampleRate in ms, halves to even
    std::int32_t FormatTag = 0;      // "fmt " format tag, sign-extended (0xFFFE reads -2)

    bool operator==(const WaveFormatInfo&) const = default;
};

}  // namespace sonivate
