#include "wavefile/wave_mmio.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/basic_file.h"
#include "common/error_trap.h"
#include "platform/posix_file.h"
#include "support/scratch.h"
#include "support/wavgen.h"
#include "support/test_main.h"

using namespace sonivate;
using namespace sonivate::test;

namespace {

constexpr std::int32_t kChunkJunk = 0x4B4E554A;  // "JUNK"

class WaveHeaderTest : public ::testing::Test {
protected:
    std::string Write(const std::string& pName, const Bytes& pBytes) {
        const std::string path = mScratch.file(pName);
        WriteBytes(path, pBytes);
        return path;
    }
    std::string WriteSpec(const std::string& pName, const WavSpec& pSpec, std::int64_t pFrames) {
        return Write(pName, BuildWav(pSpec, Silence(pFrames, pSpec.channels)));
    }
    ScratchDir mScratch;
};

Bytes Payload(size_t pBytes) { return Bytes(pBytes, 0x55); }

}  // namespace

TEST_F(WaveHeaderTest, CanonicalStereo16SecondAt48k) {
    WavSpec layout;
    const std::string path = WriteSpec("canon.wav", layout, 48000);

    EXPECT_EQ(FindChunk(path, 0, kChunkFmt, 0), 13);
    EXPECT_EQ(FindChunk(path, 0, kChunkData, 0), 37);
    const WaveFormatInfo info = ReadWaveHeader(path, 0);
    EXPECT_EQ(info.Valid, 1);
    EXPECT_EQ(info.DataOffset, 44);
    EXPECT_EQ(info.DataLength, 192000);
    EXPECT_EQ(info.NumSamples, 48000);
    EXPECT_EQ(info.DurationMs, 1000);
    EXPECT_EQ(info.BlockAlign, 4);
    EXPECT_EQ(info.SampleRate, 48000);
    EXPECT_EQ(info.Channels, 2);
    EXPECT_EQ(info.BitsPerSample, 16);
    EXPECT_EQ(info.FormatKind, Stereo16bit);
    EXPECT_EQ(info.FormatTag, 1);
    EXPECT_EQ(info.FileSize, 192044);
}

TEST_F(WaveHeaderTest, ChunksInAnyOrderWithPadBytes) {
    WavSpec odd;
    odd.beforeFmt = {{"LIST", Payload(5)}};  // 8 + 5 + pad byte
    const WaveFormatInfo oddInfo = ReadWaveHeader(WriteSpec("odd.wav", odd, 10), 0);
    EXPECT_EQ(oddInfo.Valid, 1);
    EXPECT_EQ(oddInfo.DataOffset, 12 + 14 + 24 + 8);
    EXPECT_EQ(oddInfo.NumSamples, 10);

    WavSpec reversed;
    reversed.dataBeforeFmt = true;
    reversed.channels = 1;
    reversed.bitsPerSample = 24;
    const std::string path = WriteSpec("reversed.wav", reversed, 7);  // 21 data bytes, padded
    const WaveFormatInfo info = ReadWaveHeader(path, 0);
    EXPECT_EQ(info.Valid, 1);
    EXPECT_EQ(info.DataOffset, 20);
    EXPECT_EQ(info.DataLength, 21);
    EXPECT_EQ(info.NumSamples, 7);
    EXPECT_EQ(info.FormatKind, Mono24bit);
    EXPECT_EQ(FindChunk(path, 0, kChunkFmt, 0), 13 + 8 + 22);
}

TEST_F(WaveHeaderTest, LayoutTable) {
    const struct {
        std::int16_t channels, bits;
        std::int32_t kind;  // -1: unsupported
    } cases[] = {{1, 8, 0},   {2, 8, 1},  {1, 16, 2}, {2, 16, 3},  {1, 24, 4},  {2, 24, 5},  {6, 16, 6},
                 {8, 16, 7},  {6, 24, 8}, {8, 24, 9}, {3, 16, -1}, {4, 16, -1}, {5, 24, -1}, {7, 16, -1},
                 {2, 32, -1}, {6, 8, -1}, {8, 8, -1}, {1, 12, -1}, {0, 16, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.channels << " ch, " << c.bits << " bit");
        WavSpec layout;
        layout.channels = c.channels;
        layout.bitsPerSample = c.bits;
        const std::string path = Write("layout.wav", BuildWav(layout, Samples(24, 0)));
        const WaveFormatInfo info = ReadWaveHeader(path, 0);
        EXPECT_EQ(info.Valid, c.kind >= 0 ? 1 : 0);
        EXPECT_EQ(info.Channels, c.channels);  // read before the layout is judged
        EXPECT_EQ(info.BitsPerSample, c.bits);
        if (c.kind >= 0) {
            EXPECT_EQ(info.FormatKind, c.kind);
            EXPECT_EQ(info.BlockAlign, c.channels * c.bits / 8);
        }
    }
}

TEST_F(WaveHeaderTest, UnsupportedFmtStopsEvenAfterData) {
    WavSpec layout;
    layout.dataBeforeFmt = true;
    layout.channels = 3;
    const WaveFormatInfo info = ReadWaveHeader(WriteSpec("3ch.wav", layout, 4), 0);
    EXPECT_EQ(info.Valid, 0);
    EXPECT_EQ(info.NumSamples, 0);
    EXPECT_EQ(info.FileSize, 0);
}

TEST_F(WaveHeaderTest, ExtensibleIsReadLikePcm) {
    WavSpec layout;
    layout.formatTag = 0xFFFE;
    layout.channels = 8;
    layout.bitsPerSample = 24;
    const WaveFormatInfo info = ReadWaveHeader(WriteSpec("ext.wav", layout, 5), 0);
    EXPECT_EQ(info.Valid, 1);
    EXPECT_EQ(info.FormatKind, Surround71_24bit);
    EXPECT_EQ(info.FormatTag, -2);
    EXPECT_EQ(info.BlockAlign, 24);
    EXPECT_EQ(info.NumSamples, 5);
    EXPECT_EQ(info.DataOffset, 12 + 8 + 40 + 8);
}

TEST_F(WaveHeaderTest, DeclaredDataSizeIsTrustedAndUnsigned) {
    WavSpec stereo;
    stereo.declaredDataSize = 0xFFFFFFFF;
    const WaveFormatInfo info = ReadWaveHeader(WriteSpec("huge.wav", stereo, 4), 0);
    EXPECT_EQ(info.Valid, 1);
    EXPECT_EQ(info.DataLength, 4294967295LL);
    EXPECT_EQ(info.NumSamples, 1073741823);
    EXPECT_EQ(info.FileSize, 44 + 16);

    WavSpec mono8;
    mono8.channels = 1;
    mono8.bitsPerSample = 8;
    mono8.declaredDataSize = 0xFFFFFFFF;
    EXPECT_EQ(ReadWaveHeader(WriteSpec("huge8.wav", mono8, 4), 0).NumSamples, 2147483647);
}

TEST_F(WaveHeaderTest, DurationRoundsHalvesToEven) {
    WavSpec layout;
    layout.sampleRate = 2000;
    layout.channels = 1;
    EXPECT_EQ(ReadWaveHeader(WriteSpec("a.wav", layout, 1), 0).DurationMs, 0);  // 0.5 ms
    EXPECT_EQ(ReadWaveHeader(WriteSpec("b.wav", layout, 3), 0).DurationMs, 2);  // 1.5 ms
    EXPECT_EQ(ReadWaveHeader(WriteSpec("c.wav", layout, 5), 0).DurationMs, 2);  // 2.5 ms
}

TEST_F(WaveHeaderTest, BrokenFilesAreInvalid) {
    // About trapping: errors are trapped unless the test lets them through.
    const test::TrappedErrors trapped;
    EXPECT_EQ(ReadWaveHeader(mScratch.file("missing.wav"), 0), WaveFormatInfo{});

    WavSpec noRate;
    noRate.sampleRate = 0;  // the duration would divide by zero
    EXPECT_EQ(ReadWaveHeader(WriteSpec("rate0.wav", noRate, 4), 0).Valid, 0);

    Bytes fmtOnly = BuildWav(WavSpec{}, Samples(8, 0));
    fmtOnly.resize(36);  // header and "fmt ", no "data"
    const WaveFormatInfo info = ReadWaveHeader(Write("fmtonly.wav", fmtOnly), 0);
    EXPECT_EQ(info.Valid, 0);
    EXPECT_EQ(info.SampleRate, 48000);

    // A file cut inside the data is still read from its header.
    Bytes cut = BuildWav(WavSpec{}, Samples(200, 0));
    cut.resize(100);
    const WaveFormatInfo cutInfo = ReadWaveHeader(Write("cut.wav", cut), 0);
    EXPECT_EQ(cutInfo.Valid, 1);
    EXPECT_EQ(cutInfo.NumSamples, 100);
    EXPECT_EQ(cutInfo.FileSize, 100);
}

TEST_F(WaveHeaderTest, FindChunkOccurrencesAndZeroSizes) {
    WavSpec layout;
    layout.beforeFmt = {{"JUNK", Payload(3)}, {"JUNK", Payload(2)}};
    const std::string path = WriteSpec("junk.wav", layout, 4);
    EXPECT_EQ(FindChunk(path, 0, kChunkJunk, 0), 13);
    EXPECT_EQ(FindChunk(path, 0, kChunkJunk, 1), 13 + 12);
    EXPECT_EQ(FindChunk(path, 0, kChunkJunk, 2), -1);
    EXPECT_EQ(FindChunk(path, 0, kChunkData, 1), -1);
    EXPECT_EQ(FindChunk(mScratch.file("missing.wav"), 0, kChunkData, 0), -1);

    EXPECT_EQ(FindNextChunk(path, 0, kChunkJunk, 13), 25);
    EXPECT_EQ(FindNextChunk(path, 0, kChunkJunk, 25), -1);
    EXPECT_EQ(FindNextChunk(path, 0, kChunkData, 13), FindChunk(path, 0, kChunkData, 0));

    // A zero-size chunk ends the search unless it is the one looked for;
    // the header reader steps over it.
    WavSpec empty;
    empty.beforeFmt = {{"JUNK", {}}};
    const std::string emptyPath = WriteSpec("empty.wav", empty, 4);
    EXPECT_EQ(FindChunk(emptyPath, 0, kChunkJunk, 0), 13);
    EXPECT_EQ(FindChunk(emptyPath, 0, kChunkData, 0), -1);
    EXPECT_EQ(FindChunk(emptyPath, 0, kChunkJunk, 1), -1);
    EXPECT_EQ(ReadWaveHeader(emptyPath, 0).Valid, 1);
}

TEST_F(WaveHeaderTest, GivenHandleStaysOpen) {
    WavSpec layout;
    Bytes cut = BuildWav(layout, Samples(8, 0));
    cut.resize(30);  // inside "fmt "
    const std::vector<std::pair<std::string, Bytes>> files = {
        {"valid.wav", BuildWav(layout, Samples(8, 0))}, {"cut.wav", cut}, {"tiny.wav", Bytes(5, 0)}};
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        const std::string path = Write(name, bytes);
        FileHandle handle = OpenFileHandle(path, kOpenRead);
        ASSERT_NE(handle, 0);
        const WaveFormatInfo byHandle = ReadWaveHeader("", handle);
        EXPECT_EQ(byHandle, ReadWaveHeader(path, 0));
        EXPECT_EQ(FindChunk("", handle, kChunkData, 0), FindChunk(path, 0, kChunkData, 0));
        EXPECT_EQ(FindChunk("", handle, kChunkData, 3), -1);  // walks off the end
        EXPECT_EQ(FileSizeOfHandle(handle), static_cast<std::int64_t>(bytes.size()));
        CloseFileHandle(handle);
    }
}

TEST_F(WaveHeaderTest, InjectedReadErrors) {
    // About trapping: errors are trapped unless the test lets them through.
    const test::TrappedErrors trapped;
    const std::string path = WriteSpec("trap.wav", WavSpec{}, 4);
    FileHandle handle = OpenFileHandle(path, kOpenRead);
    ASSERT_NE(handle, 0);
    platform::SetFaultHookForTesting([](std::string_view pOperation) {
        if (pOperation == "read") throw RunTimeError("injected");
    });
    // Trapping on: the file routines turn the error into a failed read.
    EXPECT_EQ(ReadWaveHeader("", handle).Valid, 0);
    EXPECT_EQ(FindChunk("", handle, kChunkData, 0), -1);
    EXPECT_EQ(FindChunk(path, 0, kChunkData, 0), -1);
    SetErrorCatch(1);
    EXPECT_THROW(ReadWaveHeader("", handle), RunTimeError);
    EXPECT_THROW(FindChunk(path, 0, kChunkData, 0), RunTimeError);
    SetErrorCatch(0);
    platform::SetFaultHookForTesting(nullptr);
    EXPECT_EQ(FileSizeOfHandle(handle), 60);
    EXPECT_EQ(ReadWaveHeader("", handle).Valid, 1);
    CloseFileHandle(handle);
}
