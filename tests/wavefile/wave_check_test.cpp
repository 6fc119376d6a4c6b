#include "wavefile/wave_check.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/scratch.h"
#include "support/wavgen.h"
#include "wavefile/byte_source.h"
#include "wavefile/wave_bwfj.h"
#include "wavefile/wave_extensible.h"
#include "wavefile/wave_mmio.h"

using namespace sonivate;
using namespace sonivate::test;

namespace {

constexpr std::int64_t kSecond = 48000;

WaveCheck Check(const Bytes& pBytes) { return CheckWave(MemorySource(pBytes.data(), pBytes.size())); }

Bytes Build(const WavSpec& pSpec, std::int64_t pFrames) { return BuildWav(pSpec, Silence(pFrames, pSpec.channels)); }

// The chunks a broadcast file carries behind its audio.
std::vector<Chunk> TrailingChunks() {
    std::vector<Chunk> chunks = BroadcastMarkers(0, -1, 24000, -1);
    chunks.push_back({"iXML", Bytes(33, 'x')});
    chunks.push_back(ListChunk("INFO", Bytes(10, 'i')));
    return chunks;
}

}  // namespace

TEST(WaveCheck, OneAnswerPerKindOfFile) {
    struct Case {
        const char* name;
        WavSpec shape;
        std::int64_t frames;
        WaveProblem expected;
    };
    std::vector<Case> cases;
    cases.push_back({"stereo 16", WavSpec{}, kSecond, WaveProblem::None});
    WavSpec s;
    s.form = "RIFX";
    cases.push_back({"big-endian form", s, kSecond, WaveProblem::NotWave});
    s.form = "XXXX";
    cases.push_back({"unknown form", s, kSecond, WaveProblem::NotWave});
    s = WavSpec{};
    s.formType = "AVI ";
    cases.push_back({"AVI form type", s, kSecond, WaveProblem::NotWave});
    s = WavSpec{};
    s.bitsPerSample = 8;
    cases.push_back({"8 bits", s, kSecond, WaveProblem::UnsupportedBits});
    s = WavSpec{};
    s.channels = 3;
    cases.push_back({"3 channels", s, kSecond, WaveProblem::UnsupportedLayout});
    s = WavSpec{};
    s.bitsPerSample = 24;
    s.formatTag = 0xFFFE;
    cases.push_back({"extensible PCM 24", s, kSecond, WaveProblem::None});
    s.validBits = 20;
    cases.push_back({"extensible 20 bits in 24", s, kSecond, WaveProblem::UnsupportedBits});
    s.validBits = -1;
    s.subFormat = 3;
    cases.push_back({"extensible float", s, kSecond, WaveProblem::NotPcm});
    s = WavSpec{};
    s.formatTag = 3;
    s.bitsPerSample = 32;
    cases.push_back({"float", s, kSecond, WaveProblem::NotPcm});
    s = WavSpec{};
    s.sampleRate = 44100;
    cases.push_back({"44.1 kHz", s, kSecond, WaveProblem::UnsupportedRate});
    cases.push_back({"half a second", WavSpec{}, kSecond / 2, WaveProblem::TooShort});
    s = WavSpec{};
    s.form = "RF64";
    s.afterData = TrailingChunks();
    cases.push_back({"RF64", s, kSecond, WaveProblem::None});
    s.form = "BW64";
    cases.push_back({"BW64", s, kSecond, WaveProblem::None});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const WaveCheck check = Check(Build(c.shape, c.frames));
        EXPECT_EQ(WaveProblemName(check.Problem), std::string(WaveProblemName(c.expected)));
        if (c.expected == WaveProblem::None) {
            EXPECT_EQ(check.Info().Valid, 1);
        }
    }

    // No "data" is not "too short"; no "fmt " is neither.
    Bytes fmtOnly = Build(WavSpec{}, 8);
    fmtOnly.resize(36);
    EXPECT_EQ(Check(fmtOnly).Problem, WaveProblem::NoData);
    WavSpec dataFirst;
    dataFirst.dataBeforeFmt = true;
    Bytes dataOnly = Build(dataFirst, 8);
    dataOnly.resize(12 + 8 + 32);
    EXPECT_EQ(Check(dataOnly).Problem, WaveProblem::NoFmt);
    EXPECT_EQ(Check(Bytes(5, 0)).Problem, WaveProblem::NotWave);
    EXPECT_EQ(CheckWave("/nonexistent/sonivate.wav", 0).Problem, WaveProblem::ReadFailed);
}

TEST(WaveCheck, Rf64SizesComeFromDs64) {
    for (const char* form : {"RF64", "BW64"}) {
        SCOPED_TRACE(form);
        WavSpec shape;
        shape.form = form;
        shape.beforeData = {{"JUNK", Bytes(6, 0)}};
        shape.afterData = TrailingChunks();
        shape.sizesInDs64 = {"JUNK", "iXML"};
        const Bytes file = Build(shape, kSecond);
        const MemorySource source(file.data(), file.size());
        const WaveCheck check = CheckWave(source);
        ASSERT_EQ(check.Problem, WaveProblem::None);
        const WaveFormatInfo& info = check.Info();
        EXPECT_EQ(info.Container, std::string(form) == "RF64" ? ContainerRf64 : ContainerBw64);
        EXPECT_EQ(info.DataLength, kSecond * 4);
        EXPECT_EQ(info.NumSamples, kSecond);
        EXPECT_EQ(info.FrameCount, kSecond);
        EXPECT_EQ(info.FramesInFile, kSecond);
        EXPECT_EQ(info.IncompleteData, 0);
        EXPECT_EQ(check.DurationMs, 1000);
        EXPECT_EQ(FramesPresent(info, info.FileSize), kSecond);
        // The chunks behind the audio are found, also one sized in ds64.
        const std::int64_t cue = FindChunk(source, kChunkCue, 0);
        EXPECT_EQ(cue, info.DataOffset + info.DataLength + 1);
        EXPECT_GT(FindChunk(source, 0x4C4D5869 /* "iXML" */, 0), cue);
        EXPECT_EQ(ChunkPayloadSize(source, FindChunk(source, 0x4C4D5869, 0)), 33);
        std::vector<CueMarker> markers;
        ASSERT_EQ(ReadCueMarkers(source, markers), 2);
        EXPECT_EQ(markers[0].Label, "BC$START");
        EXPECT_EQ(markers[0].SampleOffset, 0);
        EXPECT_EQ(markers[1].Label, "BC$STOP");
        EXPECT_EQ(markers[1].SampleOffset, 24000);
    }

    // A ds64 data size beyond the file: cut short, measurable, flagged.
    WavSpec cut;
    cut.form = "RF64";
    cut.ds64DataSize = kSecond * 8;
    const WaveCheck check = Check(Build(cut, kSecond));
    EXPECT_EQ(check.Problem, WaveProblem::None);
    EXPECT_TRUE(check.IncompleteData());
    EXPECT_EQ(check.Info().FrameCount, 2 * kSecond);
    EXPECT_EQ(check.Frames, kSecond);

    // A 64-bit form whose data defers to a ds64 that is not there.
    Bytes noDs64 = Build(WavSpec{}, kSecond);
    noDs64[0] = 'R';
    noDs64[1] = 'F';
    noDs64[2] = '6';
    noDs64[3] = '4';
    noDs64[40] = noDs64[41] = noDs64[42] = noDs64[43] = 0xFF;
    EXPECT_EQ(Check(noDs64).Problem, WaveProblem::SizeMismatch);
}

TEST(WaveCheck, SizesThatCannotBeRight) {
    // A data size of 0xFFFFFFFF with chunks behind the audio.
    WavSpec open;
    open.declaredDataSize = 0xFFFFFFFF;
    open.afterData = TrailingChunks();
    const WaveCheck opened = Check(BuildWav(open, Noise(kSecond, 2, 16, 7)));
    EXPECT_EQ(opened.Problem, WaveProblem::SizeMismatch);
    EXPECT_EQ(opened.Info().Valid, 0);

    // The same without chunks behind: a stream never finished, measurable.
    open.afterData.clear();
    const WaveCheck stream = Check(BuildWav(open, Noise(kSecond, 2, 16, 7)));
    EXPECT_EQ(stream.Problem, WaveProblem::None);
    EXPECT_TRUE(stream.IncompleteData());
    EXPECT_EQ(stream.Frames, kSecond);

    // Cut inside the data: measurable, flagged, the frames there counted.
    Bytes cut = Build(WavSpec{}, 2 * kSecond);
    cut.resize(44 + 6 * kSecond + 2);
    const WaveCheck cutCheck = Check(cut);
    EXPECT_EQ(cutCheck.Problem, WaveProblem::None);
    EXPECT_TRUE(cutCheck.IncompleteData());
    EXPECT_EQ(cutCheck.Info().NumSamples, 2 * kSecond);
    EXPECT_EQ(cutCheck.Frames, 3 * kSecond / 2);
}

TEST(WaveCheck, SixtyFourBitSizesWhoseEndsCannotBeRepresented) {
    constexpr std::int64_t kLargest = INT64_MAX;
    WavSpec shape;
    shape.form = "RF64";
    const std::int64_t dataOffset = Check(Build(shape, kSecond)).Info().DataOffset;
    ASSERT_GT(dataOffset, 0);

    // A ds64 data size whose end lies past the largest offset: no file says
    // that truthfully, so it is no growing file to be replaced in place.
    for (const std::int64_t dataSize : {kLargest, kLargest - dataOffset + 1}) {
        SCOPED_TRACE(dataSize);
        shape.ds64DataSize = dataSize;
        const WaveCheck check = Check(Build(shape, kSecond));
        EXPECT_EQ(check.Problem, WaveProblem::SizeMismatch);
        EXPECT_EQ(check.Info().Valid, 0);
        EXPECT_FALSE(check.IncompleteData());
    }
    // The largest end that can be represented is merely past the end of the file.
    shape.ds64DataSize = kLargest - dataOffset;
    const WaveCheck largest = Check(Build(shape, kSecond));
    EXPECT_EQ(largest.Problem, WaveProblem::None);
    EXPECT_TRUE(largest.IncompleteData());
    EXPECT_EQ(largest.Frames, kSecond);

    // Chunks whose ds64 sizes step past the largest offset, ahead of the
    // data and behind it: the walks stop there as at the end of the file.
    for (const std::int64_t chunkSize : {kLargest, kLargest - 1, kLargest - 20}) {
        SCOPED_TRACE(chunkSize);
        WavSpec ahead;
        ahead.form = "BW64";
        ahead.beforeData = {{"JUNK", Bytes(6, 0)}};
        ahead.sizesInDs64 = {"JUNK"};
        Bytes bytes = Build(ahead, kSecond);
        // ds64's table entry for JUNK: identifier at byte 48, its 64-bit size behind.
        ASSERT_EQ(std::string(bytes.begin() + 48, bytes.begin() + 52), "JUNK");
        for (int b = 0; b < 8; ++b) bytes[52 + b] = static_cast<std::uint8_t>(chunkSize >> (8 * b));
        const MemorySource source(bytes.data(), bytes.size());
        EXPECT_EQ(CheckWave(source).Problem, WaveProblem::NoData);
        EXPECT_EQ(FindChunk(source, kChunkData, 0), -1);
        const std::int64_t junk = FindChunk(source, 0x4B4E554A /* "JUNK" */, 0);
        ASSERT_GT(junk, 0);
        EXPECT_EQ(ChunkPayloadSize(source, junk), chunkSize);
        EXPECT_EQ(FindNextChunk(source, kChunkData, junk), -1);

        WavSpec behind;
        behind.form = "RF64";
        behind.afterData = TrailingChunks();
        behind.sizesInDs64 = {"iXML"};
        bytes = Build(behind, kSecond);
        ASSERT_EQ(std::string(bytes.begin() + 48, bytes.begin() + 52), "iXML");
        for (int b = 0; b < 8; ++b) bytes[52 + b] = static_cast<std::uint8_t>(chunkSize >> (8 * b));
        const MemorySource tail(bytes.data(), bytes.size());
        const WaveCheck check = CheckWave(tail);
        EXPECT_EQ(check.Problem, WaveProblem::None);
        EXPECT_FALSE(check.IncompleteData());
        const std::int64_t adtl = FindChunk(tail, kChunkList, 0);
        ASSERT_GT(adtl, 0);
        EXPECT_EQ(FindNextChunk(tail, kChunkList, adtl), -1) << "the INFO list stands behind the iXML chunk";
        std::vector<CueMarker> markers;
        EXPECT_EQ(ReadCueMarkers(tail, markers), 2);
    }

    // Positions from a caller near the largest offset.
    const Bytes plain = Build(WavSpec{}, kSecond);
    const MemorySource source(plain.data(), plain.size());
    for (const std::int64_t position : {kLargest, kLargest - 3, kLargest - 7}) {
        EXPECT_EQ(ChunkPayloadSize(source, position), -1) << position;
        EXPECT_EQ(FindNextChunk(source, kChunkData, position), -1) << position;
        EXPECT_EQ(ExtensiblePcmValidBits(source, position), 0) << position;
    }
}

TEST(WaveCheck, PlainRiffOver4GiBNeedsSizesThatAddUp) {
    ScratchDir scratch;
    constexpr std::int64_t kFourGiB = std::int64_t{1} << 32;
    constexpr std::int64_t kTrueData = kFourGiB + 4 * kSecond;  // audio beyond the 32-bit limit
    const Bytes tail = BuildWav(
        [] {
            WavSpec s;
            s.afterData = {{"LIST", Bytes(12, 'l')}};
            return s;
        }(),
        {});
    const Bytes listChunk(tail.end() - 20, tail.end());

    // The data size wrapped: what follows its declared end is audio.
    WavSpec wrapped;
    wrapped.declaredDataSize = kTrueData & 0xFFFFFFFF;
    Bytes head = Build(wrapped, 0);
    const std::string big =
        WriteSparse(scratch.file("wrapped.wav"), head, 44 + kTrueData + std::int64_t(listChunk.size()), listChunk);
    const WaveCheck check = CheckWave(big, 0);
    EXPECT_EQ(check.Problem, WaveProblem::SizeMismatch);
    EXPECT_EQ(ReadWaveHeader(big, 0).Valid, 0);

    // A data size of 0xFFFFFFFF in such a file: its declared end is inside the audio.
    wrapped.declaredDataSize = 0xFFFFFFFF;
    head = Build(wrapped, 0);
    const std::string unknown =
        WriteSparse(scratch.file("unknown.wav"), head, 44 + kTrueData + std::int64_t(listChunk.size()), listChunk);
    EXPECT_EQ(CheckWave(unknown, 0).Problem, WaveProblem::SizeMismatch);

    // Sizes that add up: a data chunk under 4 GiB and a large chunk behind it.
    WavSpec fits;
    fits.declaredDataSize = 4 * kSecond;
    head = Build(fits, 0);
    Bytes junkHead = {'J', 'U', 'N', 'K', 0xF0, 0xFF, 0xFF, 0xFF};  // 0xFFFFFFF0 bytes
    head.resize(44 + 4 * kSecond, 0);
    head.insert(head.end(), junkHead.begin(), junkHead.end());
    const std::string added =
        WriteSparse(scratch.file("added.wav"), head,
                    std::int64_t(head.size()) + 0xFFFFFFF0 + std::int64_t(listChunk.size()), listChunk);
    ASSERT_GT(std::filesystem::file_size(added), std::uintmax_t{0xFFFFFFFF} + 8);
    const WaveCheck addsUp = CheckWave(added, 0);
    EXPECT_EQ(addsUp.Problem, WaveProblem::None);
    EXPECT_FALSE(addsUp.IncompleteData());
}
