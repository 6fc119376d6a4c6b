#include "wavefile/wave_extensible.h"

#include <algorithm>
#include <iterator>

#include "common/error_trap.h"
#include "common/numeric.h"
#include "wavefile/le_bytes.h"
#include "wavefile/wave_mmio.h"

namespace sonivate {
namespace {

// The extensible "fmt " payload: the 16 plain bytes, the extension size
// (at least 22), valid bits per sample, the channel mask, the sub-format.
constexpr std::int32_t kExtensibleFmtBytes = 40;
constexpr std::int32_t kExtensionSizeAt = 16;
constexpr std::int32_t kValidBitsAt = 18;
constexpr std::int32_t kBitsPerSampleAt = 14;
constexpr std::int32_t kChannelMaskAt = 20;
constexpr std::int32_t kSubFormatAt = 24;
constexpr std::int32_t kLeastExtensionSize = 22;
// The extension up to the end of the channel mask: valid bits and mask.
constexpr std::int32_t kMaskExtensionSize = kChannelMaskAt + 4 - kValidBitsAt;
// KSDATAFORMAT_SUBTYPE_PCM, 00000001-0000-0010-8000-00AA00389B71, as stored.
constexpr std::int32_t kSixteenBits = 0xFFFF;
constexpr unsigned char kSubFormatPcm[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                             0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

}  // namespace

std::int32_t ExtensiblePcmValidBits(const ByteSource& pSource, std::int64_t pFmtChunk) {
    if (pFmtChunk < kFirstChunkPosition || ChunkPayloadSize(pSource, pFmtChunk) < kExtensibleFmtBytes) return 0;
    unsigned char fmt[kExtensibleFmtBytes] = {};
    if (pSource.ReadAt(pFmtChunk + kChunkPayloadOffset, fmt, kExtensibleFmtBytes) != kExtensibleFmtBytes) return 0;
    if ((LittleEndian16(fmt + kExtensionSizeAt) & kSixteenBits) < kLeastExtensionSize) return 0;
    if (!std::equal(std::begin(kSubFormatPcm), std::end(kSubFormatPcm), fmt + kSubFormatAt)) return 0;
    return LittleEndian16(fmt + kValidBitsAt) & kSixteenBits;
}

std::optional<std::uint32_t> ExtensibleChannelMask(const ByteSource& pSource, std::int64_t pFmtChunk) {
    return Trapped<std::optional<std::uint32_t>>(std::nullopt, [&]() -> std::optional<std::uint32_t> {
        constexpr std::int32_t kThroughMask = kChannelMaskAt + 4;
        if (pFmtChunk < kFirstChunkPosition || ChunkPayloadSize(pSource, pFmtChunk) < kThroughMask) return std::nullopt;
        unsigned char fmt[kThroughMask] = {};
        if (pSource.ReadAt(pFmtChunk + kChunkPayloadOffset, fmt, kThroughMask) != kThroughMask) return std::nullopt;
        if ((LittleEndian16(fmt + kExtensionSizeAt) & kSixteenBits) < kMaskExtensionSize) return std::nullopt;
        return static_cast<std::uint32_t>(LittleEndian32(fmt + kChannelMaskAt));
    });
}

std::int32_t IsExtensiblePcm(const ByteSource& pSource) {
    return Trapped<std::int32_t>(0, [&]() -> std::int32_t {
        const std::int64_t position = FindChunk(pSource, kChunkFmt, 0);
        unsigned char head[kBitsPerSampleAt + 2] = {};
        if (position < kFirstChunkPosition ||
            pSource.ReadAt(position + kChunkPayloadOffset, head, sizeof head) != static_cast<std::int64_t>(sizeof head))
            return 0;
        if ((LittleEndian16(head) & kSixteenBits) != kFormatTagExtensible) return 0;
        const std::int32_t validBits = ExtensiblePcmValidBits(pSource, position);
        return validBits != 0 && validBits == (LittleEndian16(head + kBitsPerSampleAt) & kSixteenBits) ? 1 : 0;
    });
}

std::int32_t IsExtensiblePcm(const std::string& pFilename, FileHandle pHandle) {
    RoutineHandle file(pHandle, pFilename);
    if (file.handle == 0) return 0;
    return IsExtensiblePcm(HandleSource(file.handle));
}

std::int32_t EffectiveFormatTag(const WaveFormatInfo& pInfo, const std::string& pFilename, FileHandle pHandle) {
    const bool extensible = (pInfo.FormatTag & kSixteenBits) == kFormatTagExtensible;
    if (extensible && IsExtensiblePcm(pFilename, pHandle) == 1) return kFormatTagPcm;
    return pInfo.FormatTag;
}

}  // namespace sonivate
