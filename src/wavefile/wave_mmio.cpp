#include "wavefile/wave_mmio.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/error_trap.h"
#include "common/numeric.h"
#include "wavefile/le_bytes.h"

namespace sonivate {
namespace {

constexpr std::int64_t kMaxFrames = 2147483647;
constexpr std::int32_t kFmtFieldBytes = 16;

}  // namespace

std::int32_t FormatKindOf(std::int32_t pChannels, std::int32_t pBitsPerSample) {
    switch (pChannels) {
        case 1:
            return pBitsPerSample == 8    ? Mono8bit
                   : pBitsPerSample == 16 ? Mono16bit
                   : pBitsPerSample == 24 ? Mono24bit
                                          : -1;
        case 2:
            return pBitsPerSample == 8    ? Stereo8bit
                   : pBitsPerSample == 16 ? Stereo16bit
                   : pBitsPerSample == 24 ? Stereo24bit
                                          : -1;
        case 6:
            return pBitsPerSample == 16 ? Surround51_16bit : pBitsPerSample == 24 ? Surround51_24bit : -1;
        case 8:
            return pBitsPerSample == 16 ? Surround71_16bit : pBitsPerSample == 24 ? Surround71_24bit : -1;
        default:
            return -1;
    }
}

std::int64_t FramesPresent(const WaveFormatInfo& pInfo, std::int64_t pFileSize) {
    if (pInfo.Valid == 0 || pInfo.BlockAlign <= 0 || pInfo.DataOffset < 0 || pFileSize <= pInfo.DataOffset) return 0;
    return std::min<std::int64_t>(pInfo.NumSamples, (pFileSize - pInfo.DataOffset) / pInfo.BlockAlign);
}

namespace {

// Reads pCount bytes at pOffset; false when the read failed. Bytes beyond
// the end stay as they were.
bool ReadAt(const ByteSource& pSource, std::int64_t pOffset, void* pBuffer, std::int32_t pCount) {
    return pSource.ReadAt(pOffset, pBuffer, pCount) >= 0;
}

// The unsigned 32-bit size field of the chunk at pPosition, or -1 when the
// read fails.
std::int64_t ChunkSize(const ByteSource& pSource, std::int64_t pPosition) {
    unsigned char word[4] = {};
    if (!ReadAt(pSource, pPosition + kChunkSizeOffset, word, 4)) return -1;
    return FromUInt32Bits(LittleEndian32(word));
}

// The position of the chunk behind the one at pPosition, or -1 when its size
// field lies outside the file, cannot be read or says 0 (a zero-size chunk
// ends the search; only a matching one is still found).
std::int64_t StepOverChunk(const ByteSource& pSource, std::int64_t pFileSize, std::int64_t pPosition) {
    if (pPosition + kChunkPayloadOffset > pFileSize) return -1;
    const std::int64_t chunkSize = ChunkSize(pSource, pPosition);
    if (chunkSize <= 0) return -1;
    return pPosition + ChunkSpan(chunkSize);
}

// Walks from the chunk at pPosition for the pOccurrence-th chunk pChunkId.
std::int64_t SearchChunks(const ByteSource& pSource, std::int64_t pPosition, std::int32_t pChunkId,
                          std::int64_t pOccurrence) {
    const std::int64_t size = pSource.Size();
    std::int64_t position = pPosition;
    std::int64_t matches = 0;
    while (position > 0) {
        if (position + kChunkSizeOffset > size) return -1;
        unsigned char word[4] = {};
        if (!ReadAt(pSource, position - 1, word, 4)) return -1;
        if (LittleEndian32(word) == pChunkId) {
            if (matches == pOccurrence) return position;
            ++matches;
        }
        position = StepOverChunk(pSource, size, position);
    }
    return -1;
}

}  // namespace

std::int64_t FindChunk(const ByteSource& pSource, std::int32_t pChunkId, std::int32_t pOccurrence) {
    return Trapped<std::int64_t>(
        0, [&]() -> std::int64_t { return SearchChunks(pSource, kFirstChunkPosition, pChunkId, pOccurrence); });
}

std::int64_t FindNextChunk(const ByteSource& pSource, std::int32_t pChunkId, std::int64_t pPosition) {
    return Trapped<std::int64_t>(0, [&]() -> std::int64_t {
        if (pPosition < kFirstChunkPosition) return -1;
        const std::int64_t next = StepOverChunk(pSource, pSource.Size(), pPosition);
        return next < 0 ? -1 : SearchChunks(pSource, next, pChunkId, 0);
    });
}

std::int64_t FindChunk(const std::string& pFilename, FileHandle pHandle, std::int32_t pChunkId,
                       std::int32_t pOccurrence) {
    RoutineHandle file(pHandle, pFilename);
    return FindChunk(HandleSource(file.handle), pChunkId, pOccurrence);
}

std::int64_t FindNextChunk(const std::string& pFilename, FileHandle pHandle, std::int32_t pChunkId,
                           std::int64_t pPosition) {
    RoutineHandle file(pHandle, pFilename);
    return FindNextChunk(HandleSource(file.handle), pChunkId, pPosition);
}

WaveLayout ReadWaveLayout(const ByteSource& pSource) {
    WaveLayout layout;
    WaveFormatInfo& info = layout.Info;
    std::int64_t dataChunk = -1;
    Trap([&] {
        const std::int64_t size = pSource.Size();
        std::int64_t position = kFirstChunkPosition;
        bool haveFmt = false;
        bool haveData = false;
        // A zero-size chunk of another kind ahead of the data chunk: where
        // FindChunk stops looking.
        bool findChunkStopped = false;
        std::int64_t dataSize = 0;
        for (;;) {
            if (position + kChunkSizeOffset > size) return;
            unsigned char word[4] = {};
            if (!ReadAt(pSource, position - 1, word, 4)) return;
            const std::int32_t id = LittleEndian32(word);
            if (id == kChunkFmt) {
                if (position + kChunkPayloadOffset > size) return;
                unsigned char fmt[kFmtFieldBytes] = {};
                if (!ReadAt(pSource, position + kChunkPayloadOffset, fmt, kFmtFieldBytes)) return;
                info.FormatTag = LittleEndian16(fmt);
                info.Channels = LittleEndian16(fmt + 2);
                info.SampleRate = LittleEndian32(fmt + 4);
                info.BitsPerSample = LittleEndian16(fmt + 14);
                info.BlockAlign = static_cast<std::int32_t>(std::nearbyint(info.Channels * info.BitsPerSample / 8.0));
                const std::int32_t kind = FormatKindOf(info.Channels, info.BitsPerSample);
                if (kind < 0) return;
                info.FormatKind = kind;
                haveFmt = true;
            } else if (id == kChunkData) {
                // A later "data" chunk ahead of "fmt " replaces an earlier one.
                info.DataOffset = CheckedNarrow<std::int32_t>(position + kChunkPayloadOffset);
                dataSize = ChunkSize(pSource, position);
                if (dataSize < 0) return;
                if (!haveData && !findChunkStopped) dataChunk = position;
                haveData = true;
            }
            if (haveFmt && haveData) break;
            if (position + kChunkPayloadOffset > size) return;
            const std::int64_t chunkSize = ChunkSize(pSource, position);
            if (chunkSize < 0) return;
            if (chunkSize == 0 && id != kChunkData) findChunkStopped = true;
            position += ChunkSpan(chunkSize);
        }
        info.DataLength = dataSize;
        const std::int64_t frameBytes = info.Channels * info.BitsPerSample / 8;
        if (frameBytes <= 0) throw RunTimeError("division by zero");
        info.NumSamples = static_cast<std::int32_t>(std::min(info.DataLength / frameBytes, kMaxFrames));
        if (info.SampleRate == 0) throw RunTimeError("division by zero");
        info.DurationMs = CheckedNarrow<std::int32_t>(
            std::nearbyint(static_cast<double>(info.NumSamples) / info.SampleRate * 1000.0));
        info.FileSize = size;
        info.Valid = 1;
    });
    if (info.Valid == 1) layout.DataChunk = dataChunk;
    return layout;
}

WaveFormatInfo ReadWaveHeader(const ByteSource& pSource) { return ReadWaveLayout(pSource).Info; }

WaveFormatInfo ReadWaveHeader(const std::string& pFilename, FileHandle pHandle) {
    RoutineHandle file(pHandle, pFilename);
    return ReadWaveHeader(HandleSource(file.handle));
}

}  // namespace sonivate
