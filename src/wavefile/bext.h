#pragma once
// The loudness fields of a broadcast extension ("bext") chunk.
//
// From version 2 on, a bext chunk carries at payload offsets 412 to 421 five
// signed 16-bit little-endian values in hundredths: the integrated loudness
// (LUFS), the loudness range (LU), the largest true peak (dBTP), the largest
// momentary and the largest short-term loudness (LUFS). 0x7FFF stands for a
// value that is not known. Versions 0 and 1 hold those bytes in their
// reserved area, which is zero. The version is the 16-bit value at payload
// offset 346.
//
// Only the first bext chunk of a file is read or written, as readers of the
// format take that one.

#include <cstdint>
#include <optional>

#include "common/basic_file.h"
#include "wavefile/byte_source.h"

namespace sonivate {

inline constexpr std::int32_t kChunkBext = 0x74786562;  // "bext"

// Payload offsets and widths of the fields involved.
inline constexpr std::int64_t kBextVersionAt = 346;
inline constexpr std::int64_t kBextVersionBytes = 2;
inline constexpr std::int64_t kBextLoudnessAt = 412;
inline constexpr std::int64_t kBextLoudnessBytes = 10;  // five 16-bit values
// The first version with the loudness fields.
inline constexpr std::uint16_t kBextLoudnessVersion = 2;
// A field whose value is not known.
inline constexpr std::int16_t kBextUnknown = 0x7FFF;

// The five fields as stored, in hundredths of their units.
struct BextLoudness {
    std::int16_t LoudnessValue = kBextUnknown;         // LUFS x 100
    std::int16_t LoudnessRange = kBextUnknown;         // LU x 100
    std::int16_t MaxTruePeakLevel = kBextUnknown;      // dBTP x 100
    std::int16_t MaxMomentaryLoudness = kBextUnknown;  // LUFS x 100
    std::int16_t MaxShortTermLoudness = kBextUnknown;  // LUFS x 100

    bool operator==(const BextLoudness&) const = default;
};

// The field value of pValue in hundredths: rounded half away from zero and
// kept inside the 16-bit range below kBextUnknown; kBextUnknown when there
// is no value or it is not a finite number.
std::int16_t BextHundredths(std::optional<double> pValue);

// Where a file's first bext chunk stands and what its loudness part says.
struct BextChunk {
    bool Present = false;        // the file has a bext chunk
    std::int64_t PayloadAt = 0;  // byte offset of its payload in the file
    std::int64_t PayloadSize = 0;
    // The payload, as far as the file holds it, reaches through the last
    // loudness byte: only then are Version and Loudness read, and only then
    // may the fields be written.
    bool HoldsLoudness = false;
    std::uint16_t Version = 0;
    BextLoudness Loudness;  // the bytes 412 to 421 as stored, whatever the version

    bool HasLoudnessFields() const { return HoldsLoudness && Version >= kBextLoudnessVersion; }
};

// Reads the first bext chunk of pSource into pChunk. 0, or EIO when the
// file cannot be read. A file without bext (or whose chunk walk ends before
// one) gives Present false.
int ReadBextChunk(const ByteSource& pSource, BextChunk& pChunk);

// Writes pLoudness into the loudness bytes of pChunk (read from the file
// open as pHandle), and pVersion into its version field when given, by
// positioned writes; no other byte changes and the handle stays open.
// EINVAL when the chunk does not hold the loudness bytes (nothing written),
// otherwise 0 or the errno of the failed write (EIO when unknown).
int WriteBextLoudness(FileHandle pHandle, const BextChunk& pChunk, const BextLoudness& pLoudness,
                      std::optional<std::uint16_t> pVersion = std::nullopt);

}  // namespace sonivate
