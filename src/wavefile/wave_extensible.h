#pragma once
// WAVE_FORMAT_EXTENSIBLE: the "fmt " layout that ffmpeg, sox and most DAWs
// write for every file above 16 bits or two channels. Its format tag (0xFFFE)
// says nothing by itself; the sub-format GUID and the valid-bits field of
// the extension say what the samples are.

#include <cstdint>
#include <optional>
#include <string>

#include "common/basic_file.h"
#include "wavefile/byte_source.h"
#include "wavefile/wave_format.h"

namespace sonivate {

inline constexpr std::int32_t kFormatTagExtensible = 0xFFFE;

// 1 when the file's "fmt " chunk is extensible with the PCM sub-format and
// every bit of the sample container valid (valid bits == bits per sample):
// plain linear PCM in another wrapping. 0 otherwise, also when the chunk is
// missing, too short or cannot be read. With pHandle 0 the file pFilename is
// opened and closed here; a given handle is never closed.
std::int32_t IsExtensiblePcm(const std::string& pFilename, FileHandle pHandle);
std::int32_t IsExtensiblePcm(const ByteSource& pSource);

// The valid bits per sample of the "fmt " chunk at the 1-based position
// pFmtChunk when its extension names the PCM sub-format; 0 when it does not
// (another sub-format, a chunk too short for the extension, a failed read).
// The format tag is not looked at.
std::int32_t ExtensiblePcmValidBits(const ByteSource& pSource, std::int64_t pFmtChunk);

// The channel mask of the extensible "fmt " chunk at the 1-based position
// pFmtChunk: one bit per loudspeaker, the channels in ascending bit order
// (see channel_layout.h). Empty when the chunk or its extension is too
// short to hold the mask, or a read fails. The format tag is not looked at.
std::optional<std::uint32_t> ExtensibleChannelMask(const ByteSource& pSource, std::int64_t pFmtChunk);

// The format tag a caller should judge: 1 (linear PCM) for an extensible
// PCM file as above, otherwise the record's own FormatTag.
std::int32_t EffectiveFormatTag(const WaveFormatInfo& pInfo, const std::string& pFilename, FileHandle pHandle);

}  // namespace sonivate
