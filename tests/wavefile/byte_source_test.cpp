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

namespace {

// Counts the reads that reach the bytes underneath.
class CountingSource final : public ByteSource {
public:
    explicit CountingSource(const Bytes& pBytes) : mInner(pBytes.data(), pBytes.size()) {}
    std::int64_t Size() const override { return mInner.Size(); }
    std::int64_t ReadAt(std::int64_t pOffset, void* pBuffer, std::int64_t pCount) const override {
        ++reads;
        return mInner.ReadAt(pOffset, pBuffer, pCount);
    }
    mutable std::int64_t reads = 0;

private:
    MemorySource mInner;
};

}  // namespace

TEST(ByteSource, BufferedReadsGiveTheSameBytesAndWalksReadFewTimes) {
    Bytes bytes(1000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
    const CountingSource counted(bytes);
    const BufferedSource buffered(counted, 64);
    const MemorySource direct(bytes.data(), bytes.size());
    // Reads inside, across and past the window, and past the end.
    for (const auto& [offset, count] : std::vector<std::pair<std::int64_t, std::int64_t>>{
             {0, 4}, {10, 20}, {60, 10}, {500, 64}, {990, 20}, {1000, 4}, {2000, 4}, {3, 200}}) {
        std::vector<unsigned char> a(static_cast<size_t>(count), 0xEE);
        std::vector<unsigned char> b(static_cast<size_t>(count), 0xEE);
        EXPECT_EQ(buffered.ReadAt(offset, a.data(), count), direct.ReadAt(offset, b.data(), count)) << offset;
        EXPECT_EQ(a, b) << offset;
    }
    EXPECT_EQ(buffered.ReadAt(-1, bytes.data(), 4), -1);
    // An offset whose end cannot be represented, after the window holds the
    // whole source: nothing there, and no wrapped sum taken for "inside".
    std::vector<unsigned char> far(4, 0xEE);
    ASSERT_EQ(buffered.ReadAt(0, far.data(), 4), 4);
    EXPECT_EQ(buffered.ReadAt(INT64_MAX - 1, far.data(), 4), 0);
    const BufferedSource wholeWindow(direct, 4096);
    ASSERT_EQ(wholeWindow.ReadAt(0, far.data(), 4), 4);
    EXPECT_EQ(wholeWindow.ReadAt(INT64_MAX - 1, far.data(), 4), 0);

    // 200000 small chunks ahead of the data: every walk still finds it, in
    // a read per window rather than two per chunk.
    WavSpec many;
    many.beforeData.assign(200000, {"JUNK", Bytes(2, 0)});
    many.afterData = BroadcastMarkers(1, -1, 3, -1);
    const Bytes file = BuildWav(many, Silence(4, 2));
    const CountingSource source(file);
    const WaveLayout layout = ReadWaveLayout(source);
    ASSERT_EQ(layout.Info.Valid, 1);
    EXPECT_EQ(layout.DataChunk, 13 + 24 + 200000 * 10);
    EXPECT_LT(source.reads, 100);
    source.reads = 0;
    EXPECT_GT(FindChunk(source, kChunkCue, 0), layout.DataChunk);
    EXPECT_LT(source.reads, 100);
    std::vector<CueMarker> markers;
    EXPECT_EQ(ReadCueMarkers(source, markers), 2);
}
