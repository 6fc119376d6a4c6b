#include "wavefile/wave_mmio.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "common/error_trap.h"
#include "common/numeric.h"
#include "wavefile/le_bytes.h"

namespace sonivate {
namespace {

constexpr std::int64_t kMaxFrames = 2147483647;
constexpr std::int32_t kFmtFieldBytes = 16;

// The 12-byte file header: form identifier, size, form type.
constexpr std::int64_t kFileHeaderBytes = 12;
constexpr std::int64_t kFormTypeAt = 8;
constexpr std::int64_t kRiffSizeAt = 4;
// A 32-bit size field saying "the true size is elsewhere" (RF64/BW64), or
// "unknown" (a stream that never came back to finish its header).
constexpr std::int64_t kUnknownSize32 = 0xFFFFFFFF;
// The largest file whose sizes fit plain RIFF: the header's size field
// counts everything behind its first 8 bytes.
constexpr std::int64_t kLargestRiffFile = kUnknownSize32 + 8;

// ds64 payload: riff size, data size, sample count (64-bit each), table
// length (32-bit), then table entries of chunk id (32-bit) and size (64-bit).
constexpr std::int64_t kDs64FixedBytes = 28;
constexpr std::int64_t kDs64EntryBytes = 12;

std::int64_t UInt32At(const unsigned char* pBytes) { return FromUInt32Bits(LittleEndian32(pBytes)); }

// A 64-bit size as stored, or -1 when it does not fit a signed 64-bit count.
std::int64_t Size64At(const unsigned char* pBytes) {
    const auto low = static_cast<std::uint64_t>(UInt32At(pBytes));
    const auto high = static_cast<std::uint64_t>(UInt32At(pBytes + 4));
    if (high > 0x7FFFFFFF) return -1;
    return static_cast<std::int64_t>((high << 32) | low);
}

// Reads pCount bytes at pOffset; false when the read failed. Bytes beyond
// the end stay as they were.
bool ReadAt(const ByteSource& pSource, std::int64_t pOffset, void* pBuffer, std::int32_t pCount) {
    return pSource.ReadAt(pOffset, pBuffer, pCount) >= 0;
}

// What the file header and its ds64 chunk say about the sizes of the chunks.
struct Container {
    std::int32_t Kind = ContainerNone;  // ContainerNone unless RIFF, RF64 or BW64 with form type WAVE
    std::int64_t RiffSize = -1;         // the header's size field, or ds64's riff size
    bool HasDs64 = false;               // a 64-bit form with a readable ds64 chunk first
    bool Ds64Broken = false;            // a 64-bit form whose ds64 chunk is short, cut off or out of range
    std::int64_t DataSize = -1;         // ds64's data size
    std::vector<std::pair<std::int32_t, std::int64_t>> Table;  // ds64's sizes of other chunks

    bool Wide() const { return Kind == ContainerRf64 || Kind == ContainerBw64; }

    // The payload size of a chunk pId whose 32-bit size field holds pSize32 (unsigned).
    std::int64_t SizeOf(std::int32_t pId, std::int64_t pSize32) const {
        if (!HasDs64 || pSize32 != kUnknownSize32) return pSize32;
        if (pId == kChunkData) return DataSize;
        for (const auto& [id, size] : Table)
            if (id == pId) return size;
        return pSize32;
    }
};

void ReadDs64(const ByteSource& pSource, std::int64_t pFileSize, Container& pContainer) {
    unsigned char head[8] = {};
    // Without a ds64 chunk first the 32-bit sizes are all there is.
    if (pSource.ReadAt(kFirstChunkPosition - 1, head, 8) != 8 || LittleEndian32(head) != kChunkDs64) return;
    pContainer.Ds64Broken = true;
    const std::int64_t size = UInt32At(head + 4);
    if (size < kDs64FixedBytes) return;
    unsigned char fixed[kDs64FixedBytes] = {};
    const std::int64_t payload = kFirstChunkPosition + kChunkPayloadOffset;
    if (pSource.ReadAt(payload, fixed, kDs64FixedBytes) != kDs64FixedBytes) return;
    const std::int64_t riffSize = Size64At(fixed);
    const std::int64_t dataSize = Size64At(fixed + 8);
    if (riffSize < 0 || dataSize < 0) return;
    // The table is bounded by the chunk and by the file, whatever its length field says.
    const std::int64_t room = std::min(size, pFileSize - payload) - kDs64FixedBytes;
    const std::int64_t entries = std::min(UInt32At(fixed + 24), std::max<std::int64_t>(room, 0) / kDs64EntryBytes);
    for (std::int64_t e = 0; e < entries; ++e) {
        unsigned char entry[kDs64EntryBytes] = {};
        if (pSource.ReadAt(payload + kDs64FixedBytes + e * kDs64EntryBytes, entry, kDs64EntryBytes) != kDs64EntryBytes)
            return;
        const std::int64_t entrySize = Size64At(entry + 4);
        if (entrySize < 0) return;
        pContainer.Table.emplace_back(LittleEndian32(entry), entrySize);
    }
    pContainer.RiffSize = riffSize;
    pContainer.DataSize = dataSize;
    pContainer.HasDs64 = true;
    pContainer.Ds64Broken = false;
}

Container ReadContainer(const ByteSource& pSource, std::int64_t pFileSize) {
    Container container;
    unsigned char header[kFileHeaderBytes] = {};
    if (pSource.ReadAt(0, header, kFileHeaderBytes) != kFileHeaderBytes) return container;
    if (LittleEndian32(header + kFormTypeAt) != kFormWave) return container;
    switch (LittleEndian32(header)) {
        case kFormRiff:
            container.Kind = ContainerRiff;
            break;
        case kFormRf64:
            container.Kind = ContainerRf64;
            break;
        case kFormBw64:
            container.Kind = ContainerBw64;
            break;
        default:
            return container;
    }
    container.RiffSize = UInt32At(header + kRiffSizeAt);
    if (container.Wide()) ReadDs64(pSource, pFileSize, container);
    return container;
}

// The payload size of the chunk at pPosition with identifier pId, or -1 when
// its size field cannot be read.
std::int64_t ChunkSize(const ByteSource& pSource, const Container& pContainer, std::int32_t pId,
                       std::int64_t pPosition) {
    unsigned char word[4] = {};
    if (!ReadAt(pSource, pPosition + kChunkSizeOffset, word, 4)) return -1;
    return pContainer.SizeOf(pId, UInt32At(word));
}

// The position of the chunk behind the one at pPosition, or -1 when its size
// field lies outside the file, cannot be read or says 0 (a zero-size chunk
// ends the search; only a matching one is still found), or the position
// behind it cannot be represented.
std::int64_t StepOverChunk(const ByteSource& pSource, const Container& pContainer, std::int64_t pFileSize,
                           std::int64_t pPosition) {
    if (pPosition > pFileSize - kChunkPayloadOffset) return -1;
    unsigned char word[4] = {};
    if (!ReadAt(pSource, pPosition - 1, word, 4)) return -1;
    const std::int64_t chunkSize = ChunkSize(pSource, pContainer, LittleEndian32(word), pPosition);
    if (chunkSize <= 0) return -1;
    return ChunkAfter(pPosition, chunkSize);
}

// Walks from the chunk at pPosition for the pOccurrence-th chunk pChunkId.
std::int64_t SearchChunks(const ByteSource& pSource, const Container& pContainer, std::int64_t pPosition,
                          std::int32_t pChunkId, std::int64_t pOccurrence) {
    const std::int64_t size = pSource.Size();
    std::int64_t position = pPosition;
    std::int64_t matches = 0;
    while (position > 0) {
        if (position > size - kChunkSizeOffset) return -1;
        unsigned char word[4] = {};
        if (!ReadAt(pSource, position - 1, word, 4)) return -1;
        if (LittleEndian32(word) == pChunkId) {
            if (matches == pOccurrence) return position;
            ++matches;
        }
        position = StepOverChunk(pSource, pContainer, size, position);
    }
    return -1;
}

bool PrintableId(const unsigned char* pId) {
    return std::all_of(pId, pId + 4, [](unsigned char pByte) { return pByte >= 0x20 && pByte <= 0x7E; });
}

// Whether the bytes from pPosition (1-based) to the end of the file are a
// chain of chunks with printable identifiers that ends with the file (a
// missing last pad byte forgiven). Audio bytes behind a data size that
// wrapped at 4 GiB fail this at once.
bool ChunksFillTail(const ByteSource& pSource, const Container& pContainer, std::int64_t pFileSize,
                    std::int64_t pPosition) {
    std::int64_t position = pPosition;
    while (position - 1 < pFileSize) {
        if (pFileSize - (position - 1) < 8) return false;
        unsigned char head[8] = {};
        if (pSource.ReadAt(position - 1, head, 8) != 8 || !PrintableId(head)) return false;
        position = ChunkAfter(position, pContainer.SizeOf(LittleEndian32(head), UInt32At(head + 4)));
        if (position < 0) return false;
    }
    return position - 1 == pFileSize || position - 1 == pFileSize + 1;
}

// The bytes of the file's end looked at for chunks behind a data chunk that
// claims to reach past the end.
constexpr std::int64_t kTailWindowBytes = std::int64_t{1} << 20;

// Whether chunks stand behind the audio of a data chunk that claims to reach
// past the end of the file: a chain of chunks with printable identifiers that
// starts at an even offset after pDataOffset, inside the file's last
// kTailWindowBytes, and ends exactly with the file. Audio bytes make such a
// chain only by a coincidence of several fields.
bool ChunksBehindOpenData(const ByteSource& pSource, std::int64_t pFileSize, std::int64_t pDataOffset) {
    const std::int64_t from = std::max(pDataOffset, pFileSize - kTailWindowBytes) & ~std::int64_t{1};
    if (pFileSize - from < 8) return false;
    std::vector<unsigned char> tail(static_cast<std::size_t>(pFileSize - from));
    const auto length = static_cast<std::int64_t>(tail.size());
    if (pSource.ReadAt(from, tail.data(), length) != length) return false;
    for (std::int64_t start = std::max(pDataOffset - from, std::int64_t{0}); start + 8 <= length; start += 2) {
        std::int64_t at = start;
        while (at + 8 <= length && PrintableId(tail.data() + at)) at += ChunkSpan(UInt32At(tail.data() + at + 4));
        if (at != start && (at == length || at == length + 1)) return true;
    }
    return false;
}

// The sizes a finished walk found, checked against each other and the file.
// Sets IncompleteData, or returns SizeMismatch for sizes that cannot be right.
WaveProblem CheckSizes(const ByteSource& pSource, const Container& pContainer, std::int64_t pFileSize,
                       std::int64_t pDataSize32, WaveFormatInfo& pInfo) {
    if (pContainer.Ds64Broken) return WaveProblem::SizeMismatch;
    // A 64-bit form without ds64 has no true size for a data chunk that defers to it.
    if (pContainer.Wide() && !pContainer.HasDs64 && pDataSize32 == kUnknownSize32) return WaveProblem::SizeMismatch;
    // A ds64 data size whose end no offset can hold is no file cut short or
    // still growing: its header is wrong.
    std::int64_t dataEnd = 0;
    if (__builtin_add_overflow(pInfo.DataOffset, pInfo.DataLength, &dataEnd)) return WaveProblem::SizeMismatch;
    if (dataEnd > pFileSize) {
        // Cut short or still growing, unless chunks follow the audio: they
        // would be measured and scaled as audio.
        if (ChunksBehindOpenData(pSource, pFileSize, pInfo.DataOffset)) return WaveProblem::SizeMismatch;
        pInfo.IncompleteData = 1;
        return WaveProblem::None;
    }
    if (pContainer.Kind == ContainerRiff && pFileSize > kLargestRiffFile &&
        !ChunksFillTail(pSource, pContainer, pFileSize, dataEnd + (pInfo.DataLength & 1) + 1))
        return WaveProblem::SizeMismatch;
    return WaveProblem::None;
}

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
    const bool wide = pInfo.Container == ContainerRf64 || pInfo.Container == ContainerBw64;
    const std::int64_t declared = wide ? pInfo.FrameCount : pInfo.NumSamples;
    return std::min<std::int64_t>(declared, (pFileSize - pInfo.DataOffset) / pInfo.BlockAlign);
}

std::int64_t FindChunk(const ByteSource& pSource, std::int32_t pChunkId, std::int32_t pOccurrence) {
    return Trapped<std::int64_t>(0, [&]() -> std::int64_t {
        const BufferedSource source(pSource);
        const Container container = ReadContainer(source, source.Size());
        return SearchChunks(source, container, kFirstChunkPosition, pChunkId, pOccurrence);
    });
}

std::int64_t FindNextChunk(const ByteSource& pSource, std::int32_t pChunkId, std::int64_t pPosition) {
    return Trapped<std::int64_t>(0, [&]() -> std::int64_t {
        if (pPosition < kFirstChunkPosition) return -1;
        const BufferedSource source(pSource);
        const Container container = ReadContainer(source, source.Size());
        const std::int64_t next = StepOverChunk(source, container, source.Size(), pPosition);
        return next < 0 ? -1 : SearchChunks(source, container, next, pChunkId, 0);
    });
}

std::int64_t ChunkPayloadSize(const ByteSource& pSource, std::int64_t pPosition) {
    return Trapped<std::int64_t>(-1, [&]() -> std::int64_t {
        if (pPosition < kFirstChunkPosition) return -1;
        const BufferedSource source(pSource);
        const std::int64_t size = source.Size();
        if (pPosition > size - kChunkPayloadOffset) return -1;
        unsigned char word[4] = {};
        if (source.ReadAt(pPosition - 1, word, 4) != 4) return -1;
        return ChunkSize(source, ReadContainer(source, size), LittleEndian32(word), pPosition);
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
    WaveProblem& problem = layout.Problem;
    problem = WaveProblem::ReadFailed;
    Trap([&] {
        const BufferedSource source(pSource);
        const std::int64_t size = source.Size();
        if (size < 0) return;
        const Container container = ReadContainer(source, size);
        if (container.Kind == ContainerNone) {
            problem = WaveProblem::NotWave;
            return;
        }
        std::int64_t position = kFirstChunkPosition;
        bool haveFmt = false;
        bool haveData = false;
        std::int64_t dataSize = 0;
        std::int64_t dataSize32 = 0;
        // Where the walk runs out of chunks: what was not found.
        const auto missing = [&] { return haveFmt ? WaveProblem::NoData : WaveProblem::NoFmt; };
        for (;;) {
            if (position > size - kChunkSizeOffset) {
                problem = missing();
                return;
            }
            unsigned char word[4] = {};
            if (!ReadAt(source, position - 1, word, 4)) return;
            const std::int32_t id = LittleEndian32(word);
            if (id == kChunkFmt) {
                if (position > size - kChunkPayloadOffset) {
                    problem = missing();
                    return;
                }
                unsigned char fmt[kFmtFieldBytes] = {};
                if (!ReadAt(source, position + kChunkPayloadOffset, fmt, kFmtFieldBytes)) return;
                layout.FmtChunk = position;
                info.FormatTag = LittleEndian16(fmt);
                info.Channels = LittleEndian16(fmt + 2);
                info.SampleRate = LittleEndian32(fmt + 4);
                info.BitsPerSample = LittleEndian16(fmt + 14);
                info.BlockAlign = static_cast<std::int32_t>(std::nearbyint(info.Channels * info.BitsPerSample / 8.0));
                const std::int32_t kind = FormatKindOf(info.Channels, info.BitsPerSample);
                if (kind < 0) {
                    problem = WaveProblem::UnsupportedLayout;
                    return;
                }
                info.FormatKind = kind;
                haveFmt = true;
            } else if (id == kChunkData) {
                // A later "data" chunk ahead of "fmt " replaces an earlier one.
                info.DataOffset = CheckedNarrow<std::int32_t>(position + kChunkPayloadOffset);
                unsigned char sizeWord[4] = {};
                if (!ReadAt(source, position + kChunkSizeOffset, sizeWord, 4)) return;
                dataSize32 = UInt32At(sizeWord);
                dataSize = container.SizeOf(id, dataSize32);
                dataChunk = position;
                haveData = true;
            }
            if (haveFmt && haveData) break;
            if (position > size - kChunkPayloadOffset) {
                problem = missing();
                return;
            }
            const std::int64_t chunkSize = ChunkSize(source, container, id, position);
            if (chunkSize < 0) return;
            // A chunk reaching past the largest offset reaches past the end of the file.
            position = ChunkAfter(position, chunkSize);
            if (position < 0) {
                problem = missing();
                return;
            }
        }
        info.DataLength = dataSize;
        const std::int64_t frameBytes = info.Channels * info.BitsPerSample / 8;
        if (frameBytes <= 0) throw RunTimeError("division by zero");
        info.NumSamples = static_cast<std::int32_t>(std::min(info.DataLength / frameBytes, kMaxFrames));
        if (info.SampleRate == 0) {
            problem = WaveProblem::UnsupportedRate;
            throw RunTimeError("division by zero");
        }
        info.DurationMs = CheckedNarrow<std::int32_t>(
            std::nearbyint(static_cast<double>(info.NumSamples) / info.SampleRate * 1000.0));
        info.FileSize = size;
        info.Container = container.Kind;
        info.FrameCount = info.DataLength / frameBytes;
        info.FramesInFile = std::min(info.FrameCount, std::max<std::int64_t>(size - info.DataOffset, 0) / frameBytes);
        problem = CheckSizes(source, container, size, dataSize32, info);
        if (problem == WaveProblem::None) info.Valid = 1;
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
