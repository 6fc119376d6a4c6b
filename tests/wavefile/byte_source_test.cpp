// The readers over memory and over a file must be one parser: the same
// answers for the same bytes, and file reads that leave the handle alone.

#include "wavefile/byte_source.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/basic_file.h"
#include "support/scratch.h"
#include "support/wavgen.h"
#include "wavefile/wave_bwfj.h"
#include "wavefile/wave_extensible.h"
#include "wavefile/wave_mmio.h"

using namespace sonivate;
using namespace sonivate::test;

namespace {

constexpr std::int32_t kChunkJunk = 0x4B4E554A;  // "JUNK"

// Every reader over pBytes in memory gives what it gives over the file
// holding them, by name and through a handle.
void ExpectSameAnswers(const ScratchDir& pScratch, const Bytes& pBytes, const std::string& pWhat) {
    const std::string path = pScratch.file("same.wav");
    WriteBytes(path, pBytes);
    const MemorySource memory(pBytes.data(), pBytes.size());
    FileHandle handle = OpenFileHandle(path, kOpenRead);
    ASSERT_NE(handle, 0) << pWhat;

    EXPECT_EQ(ReadWaveHeader(memory), ReadWaveHeader(path, 0)) << pWhat;
    EXPECT_EQ(ReadWaveHeader(memory), ReadWaveHeader(kNoPath, handle)) << pWhat;
    for (const std::int32_t id : {kChunkFmt, kChunkData, kChunkCue, kChunkList, kChunkJunk})
        for (std::int32_t occurrence = 0; occurrence < 3; ++occurrence)
            EXPECT_EQ(FindChunk(memory, id, occurrence), FindChunk(path, 0, id, occurrence)) << pWhat;
    std::vector<CueMarker> inMemory;
    std::vector<CueMarker> fromFile;
    EXPECT_EQ(ReadCueMarkers(memory, inMemory), ReadCueMarkers(kNoPath, handle, fromFile)) << pWhat;
    EXPECT_EQ(inMemory, fromFile) << pWhat;
    EXPECT_EQ(IsExtensiblePcm(memory), IsExtensiblePcm(path, 0)) << pWhat;
    CloseFileHandle(handle);
}

}  // namespace

TEST(ByteSource, MemoryReadsStopAtTheEndAndLeaveTheRestOfTheBuffer) {
    const unsigned char bytes[] = {1, 2, 3, 4, 5};
    const MemorySource memory(bytes, sizeof bytes);
    EXPECT_EQ(memory.Size(), 5);
    unsigned char out[4] = {9, 9, 9, 9};
    EXPECT_EQ(memory.ReadAt(3, out, 4), 2);
    EXPECT_EQ(out[0], 4);
    EXPECT_EQ(out[1], 5);
    EXPECT_EQ(out[2], 9);
    EXPECT_EQ(memory.ReadAt(5, out, 4), 0);
    EXPECT_EQ(memory.ReadAt(99, out, 4), 0);
    EXPECT_EQ(memory.ReadAt(-1, out, 4), -1);
    EXPECT_EQ(MemorySource(nullptr, 0).ReadAt(0, out, 4), 0);
}

TEST(ByteSource, ReadersGiveTheSameAnswersInMemoryAsOnFile) {
    ScratchDir scratch;
    WavSpec plain;
    ExpectSameAnswers(scratch, BuildWav(plain, Silence(100, 2)), "canonical");

    WavSpec marked;
    marked.beforeFmt = {{"JUNK", Bytes(3, 0x55)}};
    marked.afterData = BroadcastMarkers(10, 20, 80, 90);
    const Bytes markedBytes = BuildWav(marked, Silence(100, 2));
    ExpectSameAnswers(scratch, markedBytes, "odd chunk and markers");
    // Cut anywhere, including inside chunk headers and texts.
    for (size_t length = 0; length < markedBytes.size(); length += 7)
        ExpectSameAnswers(scratch, Bytes(markedBytes.begin(), markedBytes.begin() + static_cast<long>(length)),
                          "cut at " + std::to_string(length));

    WavSpec extensible;
    extensible.formatTag = 0xFFFE;
    extensible.channels = 8;
    extensible.bitsPerSample = 24;
    ExpectSameAnswers(scratch, BuildWav(extensible, Silence(10, 8)), "extensible");

    WavSpec zeroSize;
    zeroSize.beforeData = {{"JUNK", {}}};
    ExpectSameAnswers(scratch, BuildWav(zeroSize, Silence(10, 2)), "zero-size chunk");
}

TEST(ByteSource, LayoutNamesTheDataChunkTheRecordReads) {
    WavSpec plain;
    const Bytes canonical = BuildWav(plain, Silence(100, 2));
    const WaveLayout layout = ReadWaveLayout(MemorySource(canonical.data(), canonical.size()));
    EXPECT_EQ(layout.Info, ReadWaveHeader(MemorySource(canonical.data(), canonical.size())));
    EXPECT_EQ(layout.DataChunk, 37);

    // The header walk steps over a zero-size chunk, where FindChunk stops;
    // a copy follows the header walk.
    WavSpec zeroSize;
    zeroSize.beforeData = {{"JUNK", {}}};
    const Bytes stopped = BuildWav(zeroSize, Silence(100, 2));
    const WaveLayout stoppedLayout = ReadWaveLayout(MemorySource(stopped.data(), stopped.size()));
    EXPECT_EQ(stoppedLayout.Info.Valid, 1);
    EXPECT_EQ(stoppedLayout.DataChunk, 13 + 24 + 8);
    EXPECT_EQ(FindChunk(MemorySource(stopped.data(), stopped.size()), kChunkData, 0), -1);

    // Two "data" chunks ahead of "fmt ": the record takes the later, and so
    // does the layout, so that a copy keeps the first one as header bytes.
    WavSpec twice;
    twice.beforeFmt = {{"data", Bytes(4, 0)}};
    twice.dataBeforeFmt = true;
    const Bytes doubled = BuildWav(twice, Silence(100, 2));
    const WaveLayout doubledLayout = ReadWaveLayout(MemorySource(doubled.data(), doubled.size()));
    EXPECT_EQ(doubledLayout.Info.Valid, 1);
    EXPECT_EQ(doubledLayout.DataChunk, 13 + 12);
    EXPECT_EQ(doubledLayout.Info.DataOffset, 13 + 12 + 7);

    // Nothing to copy from an invalid record.
    WavSpec wideSamples;
    wideSamples.bitsPerSample = 32;
    const Bytes unsupported = BuildWav(wideSamples, Silence(4, 2));
    EXPECT_EQ(ReadWaveLayout(MemorySource(unsupported.data(), unsupported.size())).DataChunk, -1);
}

TEST(ByteSource, FileReadsLeaveTheHandlesPositionAndKeepItOpen) {
    ScratchDir scratch;
    WavSpec marked;
    marked.afterData = BroadcastMarkers(10, 20, 80, 90);
    const std::string path = scratch.file("marked.wav");
    WriteBytes(path, BuildWav(marked, Silence(100, 2)));
    FileHandle handle = OpenFileHandle(path, kOpenRead);
    ASSERT_NE(handle, 0);
    constexpr off_t kWhereTheCallerWas = 5;
    ASSERT_EQ(::lseek(DescriptorOfHandle(handle), kWhereTheCallerWas, SEEK_SET), kWhereTheCallerWas);
    std::vector<CueMarker> markers;
    EXPECT_EQ(ReadWaveHeader(kNoPath, handle).Valid, 1);
    EXPECT_EQ(ReadCueMarkers(kNoPath, handle, markers), 4);
    EXPECT_GT(FindChunk(kNoPath, handle, kChunkCue, 0), 0);
    EXPECT_EQ(::lseek(DescriptorOfHandle(handle), 0, SEEK_CUR), kWhereTheCallerWas);
    CloseFileHandle(handle);
}
