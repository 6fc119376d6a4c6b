#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/write_adjusted_wave.h"
#include "support/scratch.h"
#include "support/wavgen.h"
#include "wavefile/wave_mmio.h"

namespace sonivate {
namespace {

using test::Bytes;
using test::Samples;
using test::ScratchDir;
using test::WavSpec;

class RecordingHost : public ProgressHost {
public:
    void ShowStatus(const std::string& pText) override { statuses.push_back(pText); }
    void SetProgress(std::int32_t pValue) override { progress.push_back(pValue); }
    bool StopRequested() const override { return stop; }

    std::vector<std::string> statuses;
    std::vector<std::int32_t> progress;
    bool stop = false;
};

WavSpec Stereo16WithMarkers(std::int32_t pFrames) {
    WavSpec format;
    format.beforeData = {test::ListChunk("INFO", Bytes{'I', 'N', 'A', 'M', 3, 0, 0, 0, 'a', 'd', 0, 0})};
    format.afterData = test::BroadcastMarkers(1, 2, pFrames - 2, pFrames - 1);
    return format;
}

// The file's bytes from pBegin to its end.
Bytes Tail(const Bytes& pFile, std::int64_t pBegin) { return Bytes(pFile.begin() + pBegin, pFile.end()); }

std::vector<std::string> Steps(const std::string& pTitle, std::initializer_list<int> pNumbers) {
    std::vector<std::string> texts;
    for (const int n : pNumbers) texts.push_back(pTitle + " 書き出し処理 " + std::to_string(n) + "/5…");
    return texts;
}

class WriteAdjustedWaveTest : public ::testing::Test {
protected:
    std::string Source(const WavSpec& pFormat, const Samples& pSamples, const std::string& pName = "spot.ad.wav") {
        return test::WriteWav(dir.file(pName), pFormat, pSamples);
    }

    ScratchDir dir;
    RecordingHost host;
    std::string target = dir.file("out.wav");
};

TEST_F(WriteAdjustedWaveTest, ShowsOnlyTheStepsWhoseSpanExists) {
    const std::string withChunks = Source(Stereo16WithMarkers(8), Samples(16, 1000));
    EXPECT_EQ(WriteAdjustedWave(withChunks, target, 0, 8, -6.0, host), 1);
    EXPECT_EQ(host.statuses, Steps("spot.ad", {1, 3, 5}));
    EXPECT_EQ(host.progress.back(), kProgressScale);

    host.statuses.clear();
    const std::string dataLast = Source(WavSpec{}, Samples(16, 1000), "plain.wav");
    std::filesystem::remove(target);
    EXPECT_EQ(WriteAdjustedWave(dataLast, target, 2, 6, -6.0, host), 1);
    EXPECT_EQ(host.statuses, Steps("plain", {1, 2, 3, 4}));
}

TEST_F(WriteAdjustedWaveTest, GainChangesOnlyTheRangeAndEveryOtherByteIsCopied) {
    const WavSpec format = Stereo16WithMarkers(8);
    const Samples samples = {-32768, 32767, 1000, -1000, 1000,   -1000, 1000, -1000,
                             1000,   -1000, 1000, -1000, -32768, 32767, 7,    8};
    const std::string source = Source(format, samples);
    ASSERT_EQ(WriteAdjustedWave(source, target, 2, 5, -6.0, host), 1);

    const Bytes original = test::ReadBytes(source);
    const Bytes copy = test::ReadBytes(target);
    ASSERT_EQ(copy.size(), original.size());
    const WaveFormatInfo info = ReadWaveHeader(source, 0);
    const std::int64_t rangeBegin = info.DataOffset + 2 * 4;
    const std::int64_t rangeEnd = info.DataOffset + 5 * 4;
    EXPECT_TRUE(std::equal(original.begin(), original.begin() + rangeBegin, copy.begin()));
    EXPECT_EQ(Bytes(copy.begin() + rangeBegin, copy.begin() + rangeEnd),
              test::EncodeSamples({501, -501, 501, -501, 501, -501}, 16));
    // Frames after the range, then the cue and adtl chunks, byte for byte.
    EXPECT_EQ(Tail(copy, rangeEnd), Tail(original, rangeEnd));
}

TEST_F(WriteAdjustedWaveTest, ZeroGainGivesAnIdenticalFile) {
    WavSpec format = Stereo16WithMarkers(4);
    format.bitsPerSample = 24;
    const std::string source = Source(format, {-8388608, 8388607, -1, 0, 5, 6, 7, 8});
    EXPECT_EQ(WriteAdjustedWave(source, target, 0, 4, 0.0, host), 1);
    EXPECT_EQ(test::ReadBytes(target), test::ReadBytes(source));
}

TEST_F(WriteAdjustedWaveTest, RangesReachingPastTheAudioLeaveTrailingBytesAlone) {
    // A marker beyond the end: the cue and list chunks are not audio.
    const std::string marked = Source(Stereo16WithMarkers(4), Samples(8, 1000));
    ASSERT_EQ(WriteAdjustedWave(marked, target, 1, 1000, -6.0, host), 1);
    const Bytes original = test::ReadBytes(marked);
    const Bytes copy = test::ReadBytes(target);
    const WaveFormatInfo info = ReadWaveHeader(marked, 0);
    const std::int64_t audioEnd = info.DataOffset + 4 * 4;
    ASSERT_EQ(copy.size(), original.size());
    EXPECT_EQ(Bytes(copy.begin() + info.DataOffset + 4, copy.begin() + audioEnd),
              test::EncodeSamples(Samples(6, 501), 16));
    EXPECT_EQ(Tail(copy, audioEnd), Tail(original, audioEnd));

    // A header declaring more audio than the file holds: three 24-bit frames
    // and the pad byte are all there is.
    WavSpec overstated;
    overstated.channels = 1;
    overstated.bitsPerSample = 24;
    overstated.declaredDataSize = 3000;
    const std::string lying = Source(overstated, {1000, 1000, 1000}, "lying.wav");
    std::filesystem::remove(target);
    ASSERT_EQ(WriteAdjustedWave(lying, target, 0, 1000, -6.0, host), 1);
    const Bytes lyingCopy = test::ReadBytes(target);
    const Bytes lyingOriginal = test::ReadBytes(lying);
    ASSERT_EQ(lyingCopy.size(), lyingOriginal.size());
    EXPECT_EQ(Tail(lyingCopy, lyingCopy.size() - 10),
              (Bytes{0xF5, 0x01, 0x00, 0xF5, 0x01, 0x00, 0xF5, 0x01, 0x00, 0x00}));
}

TEST_F(WriteAdjustedWaveTest, BackwardOrNegativeRangesCopyTheFileUnchanged) {
    const std::string source = Source(Stereo16WithMarkers(8), Samples(16, 1000));
    for (const auto& [from, to] : {std::pair<std::int64_t, std::int64_t>{6, 2}, {-5, -1}, {0, 0}}) {
        std::filesystem::remove(target);
        EXPECT_EQ(WriteAdjustedWave(source, target, from, to, -6.0, host), 1) << from << ".." << to;
        EXPECT_EQ(test::ReadBytes(target), test::ReadBytes(source)) << from << ".." << to;
    }
    // A negative start counts as the first frame.
    std::filesystem::remove(target);
    EXPECT_EQ(WriteAdjustedWave(source, target, -5, 1, -6.0, host), 1);
    const WaveFormatInfo info = ReadWaveHeader(source, 0);
    EXPECT_EQ(test::ReadBytes(target)[static_cast<std::size_t>(info.DataOffset)], 0xF5);
}

TEST_F(WriteAdjustedWaveTest, FailuresReturnZero) {
    // A file whose audio chunk is named "DATA" has no data chunk.
    Bytes withoutData = test::BuildWav(WavSpec{}, Samples(4, 1000));
    const std::string id = "data";
    std::search(withoutData.begin(), withoutData.end(), id.begin(), id.end())[0] = 'D';
    const std::string source = dir.file("nodata.wav");
    test::WriteBytes(source, withoutData);
    EXPECT_EQ(WriteAdjustedWave(source, target, 0, 0, -6.0, host), 0);
    EXPECT_TRUE(std::filesystem::exists(target));
    EXPECT_EQ(std::filesystem::file_size(target), 0u);

    // A stop request ends the copy at its first progress event.
    const std::string good = Source(Stereo16WithMarkers(8), Samples(16, 1000));
    host.stop = true;
    EXPECT_EQ(WriteAdjustedWave(good, dir.file("stopped.wav"), 0, 8, -6.0, host), 0);
    host.stop = false;

    // A target that already holds bytes is neither appended to nor altered.
    const Bytes existing = {1, 2, 3};
    test::WriteBytes(dir.file("taken.wav"), existing);
    EXPECT_EQ(WriteAdjustedWave(good, dir.file("taken.wav"), 0, 8, -6.0, host), 0);
    EXPECT_EQ(test::ReadBytes(dir.file("taken.wav")), existing);

    EXPECT_EQ(WriteAdjustedWave(dir.file("missing.wav"), dir.file("never.wav"), 0, 8, -6.0, host), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.file("never.wav")));
}

// Broadcast chunks behind the audio of a 64-bit file, one of them sized in ds64.
WavSpec WideWithTrailingChunks(const std::string& pForm) {
    WavSpec format;
    format.form = pForm;
    format.afterData = test::BroadcastMarkers(0, -1, 6, -1);
    format.afterData.push_back({"iXML", Bytes(31, 'x')});
    format.afterData.push_back(test::ListChunk("INFO", Bytes(9, 'i')));
    format.sizesInDs64 = {"iXML"};
    return format;
}

TEST_F(WriteAdjustedWaveTest, Rf64AndBw64CopiesKeepEveryByteOutsideTheRange) {
    for (const char* form : {"RF64", "BW64"}) {
        SCOPED_TRACE(form);
        const std::string source = Source(WideWithTrailingChunks(form), test::Noise(8, 2, 16, 3), "wide.wav");
        const Bytes original = test::ReadBytes(source);
        std::filesystem::remove(target);
        ASSERT_EQ(WriteAdjustedWave(source, target, 0, 8, 0.0, host), 1);
        EXPECT_EQ(test::ReadBytes(target), original);

        // The range the file list gives a file without markers: to the end
        // of the audio it finds.
        const WaveFormatInfo info = ReadWaveHeader(source, 0);
        const std::int64_t end = FramesPresent(info, info.FileSize);
        EXPECT_EQ(end, 8);
        std::filesystem::remove(target);
        ASSERT_EQ(WriteAdjustedWave(source, target, 2, end, -6.0, host), 1);
        const Bytes copy = test::ReadBytes(target);
        ASSERT_EQ(copy.size(), original.size());
        const std::int64_t rangeBegin = info.DataOffset + 2 * 4;
        const std::int64_t rangeEnd = info.DataOffset + 8 * 4;
        for (std::int64_t i = 0; i < static_cast<std::int64_t>(copy.size()); ++i) {
            if (i >= rangeBegin && i < rangeEnd) continue;
            ASSERT_EQ(copy[static_cast<size_t>(i)], original[static_cast<size_t>(i)]) << "byte " << i;
        }
        EXPECT_FALSE(std::equal(copy.begin() + rangeBegin, copy.begin() + rangeEnd, original.begin() + rangeBegin));
    }
}

TEST_F(WriteAdjustedWaveTest, ChunkWalksTheHeaderReaderAcceptsAreCopied) {
    // Eight zero bytes (a chunk of identifier 0 and size 0) ahead of the data,
    // and 200000 small chunks, half of them empty: info and measure read both.
    WavSpec zeroId;
    zeroId.beforeData = {{std::string(4, '\0'), {}}};
    WavSpec many;
    for (int i = 0; i < 100000; ++i) {
        many.beforeData.push_back({"JUNK", Bytes(2, 0)});
        many.beforeData.push_back({"PAD ", {}});
    }
    for (const WavSpec* format : {&zeroId, &many}) {
        const std::string source = Source(*format, test::Noise(8, 2, 16, 5), "walk.wav");
        ASSERT_EQ(ReadWaveHeader(source, 0).Valid, 1);
        std::filesystem::remove(target);
        ASSERT_EQ(WriteAdjustedWave(source, target, 0, 8, 0.0, host), 1);
        EXPECT_EQ(test::ReadBytes(target), test::ReadBytes(source));
        std::filesystem::remove(target);
        ASSERT_EQ(WriteAdjustedWave(source, target, 1, 7, 3.0, host), 1);
        EXPECT_EQ(std::filesystem::file_size(target), std::filesystem::file_size(source));
    }
}

TEST_F(WriteAdjustedWaveTest, SizesThatCannotBeRightAreNeverHalfGained) {
    // A data size of 0xFFFFFFFF with cue chunks behind the audio.
    WavSpec open = Stereo16WithMarkers(8);
    open.declaredDataSize = 0xFFFFFFFF;
    const std::string source = Source(open, test::Noise(8, 2, 16, 9), "open.wav");
    EXPECT_EQ(WriteAdjustedWave(source, target, 0, 8, -6.0, host), 0);
    EXPECT_EQ(std::filesystem::file_size(target), 0u);

    // A plain RIFF above 4 GiB whose data size wrapped.
    constexpr std::int64_t kTrueData = (std::int64_t{1} << 32) + 64;
    WavSpec wrapped;
    wrapped.declaredDataSize = kTrueData & 0xFFFFFFFF;
    const test::Chunk cueChunk = test::CueChunk({{1, 4}});
    Bytes cue(cueChunk.id.begin(), cueChunk.id.end());
    const auto cueSize = static_cast<std::uint32_t>(cueChunk.payload.size());
    for (int shift = 0; shift < 32; shift += 8) cue.push_back(static_cast<std::uint8_t>(cueSize >> shift));
    cue.insert(cue.end(), cueChunk.payload.begin(), cueChunk.payload.end());
    const std::string big = test::WriteSparse(dir.file("big.wav"), test::BuildWav(wrapped, {}),
                                              44 + kTrueData + static_cast<std::int64_t>(cue.size()), cue);
    std::filesystem::remove(target);
    EXPECT_EQ(WriteAdjustedWave(big, target, 0, 8, -6.0, host), 0);
    EXPECT_EQ(std::filesystem::file_size(target), 0u);
}

}  // namespace
}  // namespace sonivate
