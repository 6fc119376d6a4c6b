#pragma once
// Builds RIFF/WAVE files in memory for tests: any layout, extra chunks before
// and after the audio, cue points with labels, and simple test signals.

#include <cstdint>
#include <string>
#include <vector>

namespace sonivate::test {

using Bytes = std::vector<std::uint8_t>;

struct Chunk {
    std::string id;  // four characters
    Bytes payload;   // the pad byte is added by the builder
};

struct WavSpec {
    std::int32_t sampleRate = 48000;
    std::int16_t channels = 2;
    std::int16_t bitsPerSample = 16;
    std::uint16_t formatTag = 1;  // 3 float, 0xFFFE extensible
    // Extensible only: valid bits (-1: all of bitsPerSample) and the
    // sub-format's first field (1 PCM, 3 IEEE float).
    std::int16_t validBits = -1;
    std::uint16_t subFormat = 1;
    std::vector<Chunk> beforeFmt;   // chunks ahead of "fmt "
    std::vector<Chunk> beforeData;  // chunks between "fmt " and "data"
    std::vector<Chunk> afterData;   // chunks behind "data"
    bool dataBeforeFmt = false;     // write "data" ahead of "fmt "
    // When set, the data chunk's size field says this instead of the truth.
    std::int64_t declaredDataSize = -1;
    // The file header's form ("RIFF", "RF64", "BW64", or anything else to
    // test refusals) and form type. "RF64" and "BW64" get a ds64 chunk first
    // holding the true riff size, data size and sample count, and the riff
    // and data size fields say 0xFFFFFFFF.
    std::string form = "RIFF";
    std::string formType = "WAVE";
    // 64-bit forms: identifiers of chunks (in any list above) whose size
    // field says 0xFFFFFFFF, their size standing in the ds64 table instead.
    std::vector<std::string> sizesInDs64;
    // 64-bit forms: when set, ds64 declares this data size instead of the truth.
    std::int64_t ds64DataSize = -1;
};

// Interleaved samples in the sample width's integer range.
using Samples = std::vector<std::int32_t>;

Bytes BuildWav(const WavSpec& pSpec, const Samples& pInterleaved);
// Just the sample bytes, little-endian, as stored in the data chunk.
Bytes EncodeSamples(const Samples& pInterleaved, std::int16_t pBitsPerSample);
void WriteBytes(const std::string& pPath, const Bytes& pBytes);
// A file of pTotalSize bytes without writing them: pHead at its start, pTail
// at its end, a hole of zeros between (sparse where the file system allows).
std::string WriteSparse(const std::string& pPath, const Bytes& pHead, std::int64_t pTotalSize, const Bytes& pTail);
Bytes ReadBytes(const std::string& pPath);

// Cue chunks. Text is given as raw bytes (code page 932 when Japanese).
struct CuePointSpec {
    std::int32_t id = 0;
    std::int32_t sampleOffset = 0;
};
Chunk CueChunk(const std::vector<CuePointSpec>& pPoints);
struct PlaySegment {
    std::int32_t id = 0, length = 0, loops = 0;
};
Chunk PlstChunk(const std::vector<PlaySegment>& pSegments);
struct AdtlEntry {
    std::string kind;  // "labl", "note" or "file"
    std::int32_t id = 0;
    std::string text;            // bytes; labl/note get a NUL appended unless noTerminator
    std::int32_t mediaType = 0;  // "file" only
    bool noTerminator = false;
};
Chunk AdtlList(const std::vector<AdtlEntry>& pEntries);
Chunk ListChunk(const std::string& pListType, const Bytes& pBody);

// The usual broadcast markers: BC$START, BC$STANDBY, BC$STOP, BC$END at the
// given frames (a negative frame leaves that marker out); returns the cue
// chunk and the adtl list.
std::vector<Chunk> BroadcastMarkers(std::int32_t pStart, std::int32_t pStandby, std::int32_t pStop, std::int32_t pEnd);

// Signals.
Samples Sine(std::int64_t pFrames, std::int16_t pChannels, double pFrequencyHz, double pDbfs,
             std::int16_t pBitsPerSample, std::int32_t pSampleRate = 48000);
Samples Noise(std::int64_t pFrames, std::int16_t pChannels, std::int16_t pBitsPerSample, std::uint32_t pSeed,
              double pAmplitudeFraction = 0.5);
Samples Silence(std::int64_t pFrames, std::int16_t pChannels);

// Writes a complete file in one go: layout and signal.
std::string WriteWav(const std::string& pPath, const WavSpec& pSpec, const Samples& pInterleaved);

}  // namespace sonivate::test
