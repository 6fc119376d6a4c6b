#pragma once
// The RIFF chunk walk: the format record and chunk positions.
//
// Chunk positions are 1-based: a chunk at byte offset o has position o + 1,
// its size field starts at byte position + 3 and its payload at position + 7.

#include <cstdint>
#include <string>

#include "common/basic_file.h"
#include "wavefile/byte_source.h"
#include "wavefile/wave_format.h"

namespace sonivate {

// Byte offsets relative to a 1-based chunk position.
inline constexpr std::int64_t kChunkSizeOffset = 3;
inline constexpr std::int64_t kChunkPayloadOffset = 7;
// Position of the first chunk behind the 12-byte RIFF header.
inline constexpr std::int64_t kFirstChunkPosition = 13;
// A chunk's identifier and 32-bit size field.
inline constexpr std::int64_t kChunkHeaderBytes = 8;

// The byte count a chunk of pSize payload bytes takes, header and pad byte
// included. For 32-bit sizes; a 64-bit size steps with ChunkAfter.
constexpr std::int64_t ChunkSpan(std::int64_t pSize) { return kChunkHeaderBytes + pSize + (pSize & 1); }

// The position of the chunk behind the one at pPosition with pSize payload
// bytes, or -1 when that position cannot be represented: a ds64 size near
// 2^63 that no file holds.
constexpr std::int64_t ChunkAfter(std::int64_t pPosition, std::int64_t pSize) {
    std::int64_t next = 0;
    if (pSize < 0 || __builtin_add_overflow(pPosition, pSize, &next) ||
        __builtin_add_overflow(next, kChunkHeaderBytes + (pSize & 1), &next))
        return -1;
    return next;
}

// Position of the pOccurrence-th (from 0) chunk with identifier pChunkId, or
// -1 when there is none or a read fails; 0 when an error was trapped. The
// file header is not checked, but in an RF64 or BW64 file every chunk is
// stepped over by its true size (see WaveLayout). With pHandle 0 the file pFilename is opened and closed here; a given
// handle is used and never closed, not even after a failed read (the
// caller's variable would otherwise hold a descriptor a later open may reuse).
std::int64_t FindChunk(const std::string& pFilename, FileHandle pHandle, std::int32_t pChunkId,
                       std::int32_t pOccurrence);

// The chunk FindChunk would report for the next occurrence after the chunk at
// pPosition: its walk continued from there, in one pass instead of a fresh
// walk from the start for every occurrence. Same results and handle rule.
std::int64_t FindNextChunk(const std::string& pFilename, FileHandle pHandle, std::int32_t pChunkId,
                           std::int64_t pPosition);

// The file's format record (ReadWaveLayout's Info). Never closes a handle it
// was given.
WaveFormatInfo ReadWaveHeader(const std::string& pFilename, FileHandle pHandle);

// The same walks over any byte source, with the same results; the routines
// above are these over the named file or the given handle.
std::int64_t FindChunk(const ByteSource& pSource, std::int32_t pChunkId, std::int32_t pOccurrence);
std::int64_t FindNextChunk(const ByteSource& pSource, std::int32_t pChunkId, std::int64_t pPosition);
WaveFormatInfo ReadWaveHeader(const ByteSource& pSource);

// What a copy of the file needs, from one walk of its chunks: the format
// record, the position of the data chunk whose payload starts at
// Info.DataOffset (what the header walk found, also behind zero-size chunks
// where FindChunk gives up), and why the record is not valid. DataChunk is
// -1 whenever Info is not valid.
//
// Beyond the format record's own rules the walk reads the file header: only
// RIFF, RF64 and BW64 files of form type WAVE are read (NotWave otherwise).
// RF64 and BW64 sizes come from their ds64 chunk: a chunk whose 32-bit size
// is 0xFFFFFFFF takes its size from ds64's table, the data chunk from ds64's
// data size. Sizes that cannot be right make the record invalid with
// SizeMismatch: a plain RIFF file above 4 GiB whose data chunk is followed
// by bytes that are no chain of chunks (a size that wrapped), a data chunk
// reaching past the end of a file whose header size vouches for its length,
// a broken ds64 chunk, a ds64 data size whose end lies beyond the largest
// offset, or a 64-bit form whose data defers to a ds64 that is missing. A
// data chunk that merely reaches past the end of the file (cut short, or
// still being written) stays valid with IncompleteData set. In a valid
// record DataOffset + DataLength can always be represented.
struct WaveLayout {
    WaveFormatInfo Info;
    std::int64_t DataChunk = -1;
    std::int64_t FmtChunk = -1;                     // position of the "fmt " chunk the walk read, -1 when none
    WaveProblem Problem = WaveProblem::ReadFailed;  // None exactly when Info is valid
};
WaveLayout ReadWaveLayout(const ByteSource& pSource);

// The payload size of the chunk at pPosition: its 32-bit size field, or for
// RF64/BW64 the size ds64 gives it. -1 when there is no such field or it
// cannot be read.
std::int64_t ChunkPayloadSize(const ByteSource& pSource, std::int64_t pPosition);

// The whole sample frames the file really holds: NumSamples (FrameCount in
// RF64/BW64, which may exceed it), limited to the
// bytes between DataOffset and pFileSize, so that a header declaring more
// audio than the file contains never makes trailing chunks count as audio.
// 0 for an invalid record or an unusable size.
std::int64_t FramesPresent(const WaveFormatInfo& pInfo, std::int64_t pFileSize);

// The FormatKind of a channel/bit combination, or -1 when unsupported.
std::int32_t FormatKindOf(std::int32_t pChannels, std::int32_t pBitsPerSample);

}  // namespace sonivate
