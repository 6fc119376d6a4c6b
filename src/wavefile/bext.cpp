#include "wavefile/bext.h"

#include <cerrno>
#include <cmath>

#include "wavefile/le_bytes.h"
#include "wavefile/wave_mmio.h"

namespace sonivate {
namespace {

constexpr double kHundredths = 100.0;
// The widest field values that are not the "unknown" marker.
constexpr double kLowestField = -32768.0;
constexpr double kHighestField = kBextUnknown - 1.0;
constexpr std::int64_t kFieldBytes = 2;

void PutLittleEndian16(unsigned char* pBytes, std::uint16_t pValue) {
    pBytes[0] = static_cast<unsigned char>(pValue & 0xFF);
    pBytes[1] = static_cast<unsigned char>(pValue >> 8);
}

// The five fields in their stored order.
std::int16_t* FieldsOf(BextLoudness& pLoudness, std::int32_t pIndex) {
    std::int16_t* const fields[] = {&pLoudness.LoudnessValue, &pLoudness.LoudnessRange, &pLoudness.MaxTruePeakLevel,
                                    &pLoudness.MaxMomentaryLoudness, &pLoudness.MaxShortTermLoudness};
    return fields[pIndex];
}
constexpr std::int32_t kFieldCount = kBextLoudnessBytes / kFieldBytes;

// The errno of the transfer that just failed, EIO when it left none.
int LastError() { return errno != 0 ? errno : EIO; }

}  // namespace

std::int16_t BextHundredths(std::optional<double> pValue) {
    if (!pValue || !std::isfinite(*pValue)) return kBextUnknown;
    const double scaled = std::round(*pValue * kHundredths);
    if (scaled <= kLowestField) return static_cast<std::int16_t>(kLowestField);
    if (scaled >= kHighestField) return static_cast<std::int16_t>(kHighestField);
    return static_cast<std::int16_t>(scaled);
}

int ReadBextChunk(const ByteSource& pSource, BextChunk& pChunk) {
    pChunk = BextChunk{};
    const std::int64_t position = FindChunk(pSource, kChunkBext, 0);
    if (position == 0) return EIO;
    if (position < 0) return 0;
    const std::int64_t payloadSize = ChunkPayloadSize(pSource, position);
    if (payloadSize < 0) return EIO;
    const std::int64_t fileSize = pSource.Size();
    if (fileSize < 0) return EIO;
    pChunk.Present = true;
    pChunk.PayloadAt = position + kChunkPayloadOffset;
    pChunk.PayloadSize = payloadSize;
    const std::int64_t loudnessEnd = kBextLoudnessAt + kBextLoudnessBytes;
    // A chunk cut off by the end of the file holds only what the file holds.
    if (payloadSize < loudnessEnd || pChunk.PayloadAt + loudnessEnd > fileSize) return 0;

    unsigned char bytes[loudnessEnd - kBextVersionAt] = {};
    const auto wanted = static_cast<std::int64_t>(sizeof bytes);
    if (pSource.ReadAt(pChunk.PayloadAt + kBextVersionAt, bytes, wanted) != wanted) return EIO;
    pChunk.HoldsLoudness = true;
    pChunk.Version = static_cast<std::uint16_t>(LittleEndian16(bytes));
    const unsigned char* fields = bytes + (kBextLoudnessAt - kBextVersionAt);
    for (std::int32_t i = 0; i < kFieldCount; ++i)
        *FieldsOf(pChunk.Loudness, i) = LittleEndian16(fields + i * kFieldBytes);
    return 0;
}

int WriteBextLoudness(FileHandle pHandle, const BextChunk& pChunk, const BextLoudness& pLoudness,
                      std::optional<std::uint16_t> pVersion) {
    if (!pChunk.Present || !pChunk.HoldsLoudness) return EINVAL;
    unsigned char fields[kBextLoudnessBytes] = {};
    BextLoudness values = pLoudness;
    for (std::int32_t i = 0; i < kFieldCount; ++i)
        PutLittleEndian16(fields + i * kFieldBytes, static_cast<std::uint16_t>(*FieldsOf(values, i)));
    errno = 0;
    if (!WriteHandleAt(pHandle, pChunk.PayloadAt + kBextLoudnessAt, fields, kBextLoudnessBytes)) return LastError();
    if (pVersion) {
        unsigned char version[kBextVersionBytes] = {};
        PutLittleEndian16(version, *pVersion);
        errno = 0;
        if (!WriteHandleAt(pHandle, pChunk.PayloadAt + kBextVersionAt, version, kBextVersionBytes)) return LastError();
    }
    return 0;
}

}  // namespace sonivate
