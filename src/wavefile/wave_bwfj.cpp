#include "wavefile/wave_bwfj.h"

#include <algorithm>
#include <array>

#include "common/ansi_text.h"
#include "common/error_trap.h"
#include "common/numeric.h"
#include "wavefile/wave_format.h"
#include "wavefile/le_bytes.h"
#include "wavefile/wave_mmio.h"

namespace sonivate {
namespace {

// The smallest file looked into, in bytes; a RIFF header and a "cue " chunk
// of one point already take 48.
constexpr std::int64_t kMinCueFileSize = 50;

// Byte offsets from a 1-based chunk position P.
constexpr std::int64_t kCountOffset = kChunkPayloadOffset;  // "cue "/"plst" entry count
constexpr std::int64_t kFirstEntryOffset = 11;              // first cue point or segment
constexpr std::int64_t kListTypeOffset = kChunkPayloadOffset;
constexpr std::int64_t kSubChunkOffset = 11;   // first sub-chunk of a LIST, + o
constexpr std::int64_t kSubSizeOffset = 15;    // its size field, + o
constexpr std::int64_t kSubCueIdOffset = 19;   // cue id of a labl/file, + o
constexpr std::int64_t kLablTextOffset = 23;   // labl text, + o
constexpr std::int64_t kMediaTypeOffset = 23;  // file media type, + o
constexpr std::int64_t kFileDataOffset = 27;   // file data, + o

constexpr std::int32_t kCuePointBytes = 24;  // id, position, chunk id, chunk start, block start, sample offset
constexpr std::int32_t kCueSampleOffsetField = 20;
constexpr std::int32_t kSegmentBytes = 12;  // cue id, length, loops
// labl/file sub-chunks of this size or less are ignored: a labl then holds a
// name of at most two bytes.
constexpr std::int64_t kMinTextSubChunkSize = 6;
constexpr std::int64_t kCueIdBytes = 4;
constexpr std::int64_t kCountBytes = 4;
constexpr std::int64_t kCueIdAndMediaTypeBytes = 8;

// Reads up to pCount bytes at pOffset. Returns the number of bytes that
// arrived (short at the end of the file), or -1.
std::int64_t ReadSome(const ByteSource& pSource, std::int64_t pOffset, void* pBuffer, std::int32_t pCount) {
    return pSource.ReadAt(pOffset, pBuffer, pCount);
}

// A fixed-size field counts as read only when all of it lies inside the
// file: zeros standing in for missing bytes would pass for real cue ids,
// counts and sizes.
bool ReadField(const ByteSource& pSource, std::int64_t pOffset, void* pBuffer, std::int32_t pCount) {
    return ReadSome(pSource, pOffset, pBuffer, pCount) == pCount;
}

bool ReadWord(const ByteSource& pSource, std::int64_t pOffset, std::int32_t& pValue) {
    unsigned char bytes[4] = {};
    if (!ReadField(pSource, pOffset, bytes, 4)) return false;
    pValue = LittleEndian32(bytes);
    return true;
}

// Reads pLength (1..kMaxCueTextBytes) bytes of text at pOffset and decodes
// them up to the stop byte. A text cut off by the end of the file keeps the
// bytes that are there. False when the read failed.
bool ReadText(const ByteSource& pSource, std::int64_t pOffset, std::int64_t pLength, std::int32_t pStopMode,
              std::string& pText) {
    std::vector<std::uint8_t> bytes(static_cast<size_t>(pLength), 0);
    const std::int64_t got = ReadSome(pSource, pOffset, bytes.data(), static_cast<std::int32_t>(pLength));
    if (got < 0) return false;
    pText = AnsiBytesToString(bytes, static_cast<std::int32_t>(got) - 1, pStopMode, 0);
    return true;
}

CueMarker* MarkerWithId(std::vector<CueMarker>& pMarkers, std::int32_t pCueId) {
    const auto found = std::find_if(pMarkers.begin(), pMarkers.end(),
                                    [&](const CueMarker& pMarker) { return pMarker.CueID == pCueId; });
    return found == pMarkers.end() ? nullptr : &*found;
}

bool ValidEntryCount(std::int32_t pCount) { return pCount >= 1 && pCount <= kMaxCuePoints; }

// pCount entries of pEntryBytes, limited to those the chunk at pChunk holds
// behind its count field (its size as the chunk walk knows it).
std::int32_t EntriesInChunk(const ByteSource& pSource, std::int64_t pChunk, std::int32_t pCount,
                            std::int32_t pEntryBytes) {
    const std::int64_t size = ChunkPayloadSize(pSource, pChunk);
    const std::int64_t room = std::max<std::int64_t>(size - kCountBytes, 0) / pEntryBytes;
    return static_cast<std::int32_t>(std::min<std::int64_t>(pCount, room));
}

// The cue points of the first "cue " chunk; false when there is none or it cannot be read.
bool ReadCuePoints(const ByteSource& pSource, std::vector<CueMarker>& pMarkers) {
    const std::int64_t cue = FindChunk(pSource, kChunkCue, 0);
    if (cue <= 0) return false;
    std::int32_t count = 0;
    if (!ReadWord(pSource, cue + kCountOffset, count) || !ValidEntryCount(count)) return false;
    // A count beyond the chunk's points would read the next chunk's bytes as points.
    count = EntriesInChunk(pSource, cue, count, kCuePointBytes);
    if (count == 0) return false;
    pMarkers.assign(static_cast<size_t>(count), CueMarker{});
    for (std::int32_t h = 0; h < count; ++h) {
        std::array<unsigned char, kCuePointBytes> point{};
        if (!ReadField(pSource, cue + kFirstEntryOffset + std::int64_t{kCuePointBytes} * h, point.data(),
                       kCuePointBytes))
            return false;
        CueMarker& marker = pMarkers[static_cast<size_t>(h)];
        marker.CueID = LittleEndian32(point.data());
        marker.SampleOffset = LittleEndian32(point.data() + kCueSampleOffsetField);
    }
    return true;
}

// Lengths and loop counts of the first "plst" chunk, where it has any.
void ReadPlayList(const ByteSource& pSource, std::vector<CueMarker>& pMarkers) {
    const std::int64_t plst = FindChunk(pSource, kChunkPlst, 0);
    if (plst <= 0) return;
    std::int32_t count = 0;
    if (!ReadWord(pSource, plst + kCountOffset, count) || !ValidEntryCount(count)) return;
    count = EntriesInChunk(pSource, plst, count, kSegmentBytes);
    for (std::int32_t i = 0; i < count; ++i) {
        std::array<unsigned char, kSegmentBytes> segment{};
        if (!ReadField(pSource, plst + kFirstEntryOffset + std::int64_t{kSegmentBytes} * i, segment.data(),
                       kSegmentBytes))
            return;
        if (CueMarker* marker = MarkerWithId(pMarkers, LittleEndian32(segment.data()))) {
            marker->PlayLength = LittleEndian32(segment.data() + 4);
            marker->Loops = LittleEndian32(segment.data() + 8);
        }
    }
}

// The first "LIST" chunk of type "adtl": its position and size, or false.
bool FindAdtlList(const ByteSource& pSource, std::int64_t& pPosition, std::int64_t& pListSize) {
    for (std::int64_t list = FindChunk(pSource, kChunkList, 0); list > 0;
         list = FindNextChunk(pSource, kChunkList, list)) {
        const std::int64_t size = ChunkPayloadSize(pSource, list);
        std::int32_t type = 0;
        if (size < 0 || !ReadWord(pSource, list + kListTypeOffset, type)) return false;
        if (type == kChunkAdtl) {
            pPosition = list;
            pListSize = size;
            return true;
        }
    }
    return false;
}

// Labels and media references from the "labl" and "file" sub-chunks of the
// adtl list at pList. Sizes are unsigned, so the walk only moves forward.
void ReadAssociatedData(const ByteSource& pSource, std::int64_t pFileSize, std::int64_t pList, std::int64_t pListSize,
                        std::vector<CueMarker>& pMarkers) {
    std::int64_t o = 0;
    do {
        std::int32_t id = 0;
        std::int32_t sizeBits = 0;
        if (!ReadWord(pSource, pList + kSubChunkOffset + o, id) ||
            !ReadWord(pSource, pList + kSubSizeOffset + o, sizeBits))
            return;
        const std::int64_t size = FromUInt32Bits(sizeBits);
        if ((id == kChunkLabl || id == kChunkFile) && size > kMinTextSubChunkSize) {
            std::int32_t cueId = 0;
            if (!ReadWord(pSource, pList + kSubCueIdOffset + o, cueId)) return;
            if (CueMarker* marker = MarkerWithId(pMarkers, cueId)) {
                if (id == kChunkLabl) {
                    const std::int64_t length = std::min<std::int64_t>(size - kCueIdBytes, kMaxCueTextBytes);
                    std::string label;
                    if (!ReadText(pSource, pList + kLablTextOffset + o, length, kStopAtNul, label)) return;
                    marker->Label = label;
                } else {
                    std::int32_t mediaType = 0;
                    if (!ReadWord(pSource, pList + kMediaTypeOffset + o, mediaType)) return;
                    marker->HasFile = 1;
                    marker->MediaType = mediaType;
                    const std::int64_t length =
                        std::min<std::int64_t>(size - kCueIdAndMediaTypeBytes, kMaxCueTextBytes);
                    std::string text;
                    if (length >= 1 && !ReadText(pSource, pList + kFileDataOffset + o, length, kStopAtCR, text)) return;
                    marker->FileText = text;
                }
            }
        }
        o += ChunkSpan(size);
        // The bound admits one sub-chunk that starts at the end of the list's
        // payload; only a labl or file there is used, as anywhere else.
    } while (pList + kSubSizeOffset + o <= pFileSize && o <= pListSize);
}

}  // namespace

std::int32_t ReadCueMarkers(const ByteSource& pSource, std::vector<CueMarker>& pMarkers) {
    pMarkers.assign(1, CueMarker{});
    // "0 until the end": a trapped error after the cue points still gives 0.
    std::int32_t result = 0;
    Trap([&] {
        const std::int64_t fileSize = pSource.Size();
        if (fileSize < kMinCueFileSize) return;
        if (!ReadCuePoints(pSource, pMarkers)) return;
        const auto count = static_cast<std::int32_t>(pMarkers.size());
        ReadPlayList(pSource, pMarkers);
        std::int64_t list = 0;
        std::int64_t listSize = 0;
        if (FindAdtlList(pSource, list, listSize)) ReadAssociatedData(pSource, fileSize, list, listSize, pMarkers);
        result = count;
    });
    return result;
}

std::int32_t ReadCueMarkers(const std::string& pFilename, FileHandle pHandle, std::vector<CueMarker>& pMarkers) {
    RoutineHandle file(pHandle, pFilename);
    return ReadCueMarkers(HandleSource(file.handle), pMarkers);
}

}  // namespace sonivate
