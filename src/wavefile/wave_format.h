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
inline constexpr std::int32_t kChunkDs64 = 0x34367364;  // "ds64"

// Form identifiers of the 12-byte file header, as little-endian words.
inline constexpr std::int32_t kFormRiff = 0x46464952;  // "RIFF"
inline constexpr std::int32_t kFormRf64 = 0x34364652;  // "RF64"
inline constexpr std::int32_t kFormBw64 = 0x34365742;  // "BW64"
inline constexpr std::int32_t kFormWave = 0x45564157;  // "WAVE"

// The wrapping of a file: plain RIFF with 32-bit sizes, or one of the two
// 64-bit forms whose true sizes stand in a "ds64" chunk.
enum WaveContainer : std::int32_t {
    ContainerNone = 0,  // not read, or not a WAVE file
    ContainerRiff = 1,
    ContainerRf64 = 2,
    ContainerBw64 = 3,
};

inline constexpr std::int32_t kFormatTagPcm = 1;

// What keeps a file from being measured and written, from the most basic
// fault on: the chunk walk finds the first six, the format check the rest.
enum class WaveProblem : std::int32_t {
    None = 0,
    ReadFailed,         // the file could not be read (or a run-time error was trapped)
    NotWave,            // no RIFF, RF64 or BW64 header with the form type WAVE
    NoFmt,              // no "fmt " chunk
    NoData,             // a "fmt " chunk but no "data" chunk
    SizeMismatch,       // the sizes cannot be right: wrapped 32-bit sizes, a data size the header contradicts
    UnsupportedLayout,  // a channel/bit combination outside FormatKind
    NotPcm,             // not linear PCM: float, compressed, or an extensible sub-format other than PCM
    UnsupportedBits,    // linear PCM but not 16 or 24 valid bits (8-bit, 20 bits in 24)
    UnsupportedRate,    // not the required sample rate
    TooShort,           // fewer frames in the file than the shortest duration
};

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
    std::int64_t DataLength = 0;     // the data chunk's size field, unsigned; the ds64 data size in RF64/BW64
    std::int64_t FileSize = 0;       // bytes in the whole file when read
    std::int32_t FormatKind = 0;     // a FormatKind value
    std::int32_t DurationMs = 0;     // NumSamples / SampleRate in ms, halves to even
    std::int32_t FormatTag = 0;      // "fmt " format tag, sign-extended (0xFFFE reads -2)
    // Filled by the same walk, after the fields above.
    std::int32_t Container = 0;       // a WaveContainer value
    std::int32_t IncompleteData = 0;  // 1: the data chunk ends past the end of the file (cut short or still growing)
    std::int64_t FrameCount = 0;    // whole frames the data chunk declares, not capped (64-bit forms exceed NumSamples)
    std::int64_t FramesInFile = 0;  // of those, the frames the file holds: the audio a copy or a measurement may use

    bool operator==(const WaveFormatInfo&) const = default;
};

}  // namespace sonivate
