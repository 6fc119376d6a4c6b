// Audio pushed instead of read: pieces of any size give the blocks and
// figures of one read, an announced length holds, the mode mask leaves out
// what it was not asked for, and each figure says why it has no value.

#include <gtest/gtest.h>

#include <vector>

#include "loudness/broadcast_measures.h"
#include "loudness/c_lkfsfct.h"
#include "loudness/loudness_state.h"
#include "support/test_main.h"
#include "support/wavgen.h"
#include "wavefile/byte_source.h"
#include "wavefile/wave_format.h"

namespace sonivate {
namespace {

constexpr std::int32_t kRate = 48000;
// The broadcast measures weigh a long stereo piece as two halves side by
// side; their figures agree with one filter's to far below this.
constexpr double kHalvesAgreement = 1e-9;

struct Pcm {
    std::int16_t channels;
    std::int16_t bits;
    test::Bytes file;  // the whole WAV file
    test::Bytes data;  // the data chunk's bytes
};

// 3.3 s: a whole number of hops, so a read of the file leaves no tail out.
Pcm MakePcm(std::int16_t pChannels, std::int16_t pBits, std::uint32_t pSeed) {
    const test::Samples samples = test::Noise(33 * kRate / 10, pChannels, pBits, pSeed);
    test::WavSpec layout;
    layout.channels = pChannels;
    layout.bitsPerSample = pBits;
    return {pChannels, pBits, test::BuildWav(layout, samples), test::EncodeSamples(samples, pBits)};
}

WaveFormatInfo LayoutOf(const Pcm& pPcm) {
    WaveFormatInfo info;
    info.Channels = pPcm.channels;
    info.BitsPerSample = pPcm.bits;
    info.SampleRate = kRate;
    return info;
}

// Pushes pBytes in pieces whose sizes cycle through pSizes.
template <class Target>
void PushInPieces(Target& pTarget, const test::Bytes& pBytes, const std::vector<size_t>& pSizes) {
    size_t at = 0;
    for (size_t i = 0; at < pBytes.size(); ++i) {
        const size_t size = std::min(pSizes[i % pSizes.size()], pBytes.size() - at);
        ASSERT_TRUE(pTarget.Push(std::span<const std::uint8_t>(pBytes.data() + at, size)));
        at += size;
    }
}

void ExpectSameBlocks(const C_LKFSFCT& pPushed, const C_LKFSFCT& pRead) {
    ASSERT_EQ(pPushed.NumBlock(), pRead.NumBlock());
    for (size_t i = 0; i < static_cast<size_t>(pRead.NumBlock()); ++i) {
        EXPECT_EQ(pPushed.BlockPower()[i], pRead.BlockPower()[i]) << i;
        EXPECT_EQ(pPushed.BlockLKFS()[i], pRead.BlockLKFS()[i]) << i;
    }
    EXPECT_EQ(pPushed.LKFSValue(), pRead.LKFSValue());
    EXPECT_EQ(pPushed.PeakValue(), pRead.PeakValue());
}

TEST(MeterPush, PiecesOfAnySizeGiveTheBlocksOfOneRead) {
    for (const Pcm& pcm : {MakePcm(2, 16, 1), MakePcm(1, 24, 2), MakePcm(8, 24, 3)}) {
        SCOPED_TRACE(pcm.channels);
        C_LKFSFCT read;
        ASSERT_EQ(read.MeasureLKFS(MemorySource(pcm.file.data(), pcm.file.size()), 0, 0), 1);
        const size_t frameBytes = static_cast<size_t>(pcm.channels * pcm.bits / 8);
        // One frame, whole frames, and primes that split frames anywhere.
        for (const std::vector<size_t>& sizes :
             {std::vector<size_t>{frameBytes}, {pcm.data.size()}, {frameBytes * 4801}, {7, 4099, 1, 65537, 13}}) {
            SCOPED_TRACE(sizes.front());
            C_LKFSFCT pushed;
            ASSERT_TRUE(pushed.Begin(LayoutOf(pcm), 0));
            PushInPieces(pushed, pcm.data, sizes);
            EXPECT_EQ(pushed.FramesPushed(), static_cast<std::int64_t>(pcm.data.size() / frameBytes));
            ASSERT_EQ(pushed.Finish(), 1);
            ExpectSameBlocks(pushed, read);
        }
    }
}

TEST(MeterPush, AnnouncedLengthLeavesOutWhatFollowsIt) {
    const Pcm pcm = MakePcm(2, 24, 4);
    const std::int64_t frames = 2 * kRate + 1234;
    C_LKFSFCT read;
    ASSERT_EQ(read.MeasureLKFS(MemorySource(pcm.file.data(), pcm.file.size()), 0, frames), 1);
    C_LKFSFCT pushed;
    ASSERT_TRUE(pushed.Begin(LayoutOf(pcm), frames));
    PushInPieces(pushed, pcm.data, {3 * 1000 * 6 + 5});
    EXPECT_EQ(pushed.FramesPushed(), frames);
    ASSERT_EQ(pushed.Finish(), 1);
    ExpectSameBlocks(pushed, read);
    EXPECT_EQ(pushed.BlockPower().size(), read.BlockPower().size());
}

TEST(MeterPush, RefusalsAndAMeasurementWithoutABlock) {
    const Pcm pcm = MakePcm(2, 16, 5);
    C_LKFSFCT meter;
    EXPECT_FALSE(meter.Push(pcm.data));  // nothing begun
    WaveFormatInfo layout = LayoutOf(pcm);
    EXPECT_FALSE(meter.Begin(layout, 19199));  // shorter than one block
    layout.Channels = 3;
    EXPECT_FALSE(meter.Begin(layout, 0));
    layout = LayoutOf(pcm);
    layout.BlockAlign = 6;  // not the frame of 16-bit stereo
    EXPECT_FALSE(meter.Begin(layout, 0));

    ASSERT_TRUE(meter.Begin(LayoutOf(pcm), 0));
    ASSERT_TRUE(meter.Push(std::span<const std::uint8_t>(pcm.data.data(), 19199 * 4)));
    EXPECT_EQ(meter.Finish(), 0);
    EXPECT_EQ(meter.NumBlock(), 0);
    EXPECT_EQ(meter.BlockPower(), std::vector<double>{0.0});
    EXPECT_FALSE(meter.Push(pcm.data));  // finished
}

// The state against a read of the same file with every measure listening.
TEST(LoudnessStatePush, FiguresMatchAReadOfTheFileWhateverThePieces) {
    for (const Pcm& pcm : {MakePcm(2, 24, 6), MakePcm(6, 16, 7)}) {
        SCOPED_TRACE(pcm.channels);
        C_LKFSFCT read;
        BroadcastMeasures extras(kModeAll);
        extras.Listen(read);
        ASSERT_EQ(read.MeasureLKFS(MemorySource(pcm.file.data(), pcm.file.size()), 0, 0), 1);
        const LoudnessSeries readSeries = extras.Series();

        for (const std::vector<size_t>& sizes : {std::vector<size_t>{pcm.data.size()}, {11, 30011, 3}}) {
            LoudnessState state(pcm.channels, pcm.bits, kRate, kModeAll);
            ASSERT_EQ(state.Status(), LoudnessStatus::Measured);
            PushInPieces(state, pcm.data, sizes);
            EXPECT_EQ(state.Integrated().Value, read.LKFSValue());
            EXPECT_EQ(state.SamplePeak().Value, read.PeakValue());
            EXPECT_NEAR(state.TruePeak().Value, *extras.TruePeak(), kHalvesAgreement);
            EXPECT_NEAR(state.MaxMomentary().Value, *extras.MaxMomentary(), kHalvesAgreement);
            EXPECT_NEAR(state.MaxShortTerm().Value, *extras.MaxShortTerm(), kHalvesAgreement);
            EXPECT_NEAR(state.LoudnessRange().Value, *extras.LoudnessRange(), kHalvesAgreement);
            const LoudnessFigure<LoudnessSeries> series = state.Series();
            ASSERT_TRUE(series.Measured());
            ASSERT_EQ(series.Value.Momentary.size(), readSeries.Momentary.size());
            ASSERT_TRUE(state.Finish());
            ExpectSameBlocks(state.Meter(), read);
            EXPECT_FALSE(state.Push(pcm.data));
        }
    }
}

TEST(LoudnessStateMode, WhatTheMaskLeavesOutIsNeitherKeptNorComputed) {
    const Pcm pcm = MakePcm(2, 16, 8);
    LoudnessState all(2, 16, kRate, kModeAll);
    ASSERT_TRUE(all.Push(pcm.data));

    LoudnessState peaks(2, 16, kRate, kModeTruePeak | kModeSamplePeak);
    ASSERT_TRUE(peaks.Push(pcm.data));
    EXPECT_EQ(peaks.Integrated().Status, LoudnessStatus::NotKept);
    EXPECT_EQ(peaks.Meter().NumBlock(), 0);
    EXPECT_EQ(peaks.MaxMomentary().Status, LoudnessStatus::NotKept);
    EXPECT_EQ(peaks.LoudnessRange().Status, LoudnessStatus::NotKept);
    EXPECT_EQ(peaks.Series().Status, LoudnessStatus::NotKept);
    EXPECT_FALSE(peaks.Measures().MaxMomentary().has_value());
    EXPECT_FALSE(peaks.Measures().MaxShortTerm().has_value());
    EXPECT_TRUE(peaks.Measures().ShortTermSeries().empty());
    // The sample peak without the meter is the meter's.
    EXPECT_EQ(peaks.SamplePeak().Value, all.SamplePeak().Value);
    EXPECT_EQ(peaks.TruePeak().Value, all.TruePeak().Value);

    LoudnessState integrated(2, 16, kRate, kModeIntegrated);
    ASSERT_TRUE(integrated.Push(pcm.data));
    EXPECT_EQ(integrated.Integrated().Value, all.Integrated().Value);
    EXPECT_EQ(integrated.SamplePeak().Status, LoudnessStatus::NotKept);
    EXPECT_EQ(integrated.TruePeak().Status, LoudnessStatus::NotKept);
    EXPECT_FALSE(integrated.Measures().TruePeak().has_value());

    // The range alone: no maxima, no series, the range of the full set.
    LoudnessState range(2, 16, kRate, kModeRange);
    ASSERT_TRUE(range.Push(pcm.data));
    EXPECT_EQ(range.LoudnessRange().Value, all.LoudnessRange().Value);
    EXPECT_FALSE(range.Measures().MaxShortTerm().has_value());
    EXPECT_FALSE(range.Measures().MaxMomentary().has_value());
    EXPECT_FALSE(range.Measures().TruePeak().has_value());
    EXPECT_TRUE(range.Measures().Series().Momentary.empty());
}

TEST(LoudnessStateMode, BroadcastMeasuresListeningWithAMask) {
    const Pcm pcm = MakePcm(1, 24, 9);
    const MemorySource source(pcm.file.data(), pcm.file.size());
    C_LKFSFCT meter;
    BroadcastMeasures full;
    full.Listen(meter);
    ASSERT_EQ(meter.MeasureLKFS(source, 0, 0), 1);
    const std::optional<double> momentary = full.MaxMomentary();
    BroadcastMeasures momentaryOnly(kModeMomentary);
    momentaryOnly.Listen(meter);
    ASSERT_EQ(meter.MeasureLKFS(source, 0, 0), 1);
    EXPECT_EQ(momentaryOnly.MaxMomentary(), momentary);
    EXPECT_FALSE(momentaryOnly.TruePeak().has_value());
    EXPECT_FALSE(momentaryOnly.MaxShortTerm().has_value());
    EXPECT_FALSE(momentaryOnly.LoudnessRange().has_value());
    // The series switch adds to the mask and takes nothing from it.
    momentaryOnly.KeepSeries(true);
    EXPECT_EQ(momentaryOnly.Mode(), std::uint32_t{kModeMomentary | kModeSeries});
    momentaryOnly.KeepSeries(false);
    EXPECT_EQ(momentaryOnly.Mode(), std::uint32_t{kModeMomentary});
}

TEST(LoudnessStateStatus, TooShortUntilEachFigureHasItsAudioAndUnsupportedLayouts) {
    const Pcm pcm = MakePcm(2, 16, 10);
    LoudnessState state(2, 16, kRate, kModeAll);
    EXPECT_EQ(state.SamplePeak().Status, LoudnessStatus::TooShort);
    const auto pushSeconds = [&](double pFrom, double pTo) {
        const auto at = [](double pSeconds) { return static_cast<size_t>(pSeconds * kRate) * 4; };
        ASSERT_TRUE(state.Push(std::span<const std::uint8_t>(pcm.data.data() + at(pFrom), at(pTo) - at(pFrom))));
    };
    pushSeconds(0.0, 0.3);
    EXPECT_TRUE(state.SamplePeak().Measured());
    EXPECT_TRUE(state.TruePeak().Measured());
    EXPECT_EQ(state.Integrated().Status, LoudnessStatus::TooShort);
    EXPECT_EQ(state.MaxMomentary().Status, LoudnessStatus::TooShort);
    EXPECT_TRUE(state.Series().Measured());  // two 100 ms steps, windows not yet full
    pushSeconds(0.3, 1.0);
    EXPECT_TRUE(state.Integrated().Measured());
    EXPECT_TRUE(state.MaxMomentary().Measured());
    EXPECT_EQ(state.MaxShortTerm().Status, LoudnessStatus::TooShort);
    EXPECT_EQ(state.LoudnessRange().Status, LoudnessStatus::TooShort);
    pushSeconds(1.0, 3.0);
    EXPECT_TRUE(state.MaxShortTerm().Measured());
    EXPECT_TRUE(state.LoudnessRange().Measured());
    EXPECT_EQ(state.Frames(), 3 * kRate);

    for (const auto& [channels, bits, rate] :
         {std::tuple{3, 16, kRate}, std::tuple{2, 8, kRate}, std::tuple{2, 32, kRate}, std::tuple{2, 16, 0}}) {
        LoudnessState odd(channels, bits, rate, kModeAll);
        EXPECT_EQ(odd.Status(), LoudnessStatus::Unsupported);
        EXPECT_FALSE(odd.Push(pcm.data));
        EXPECT_EQ(odd.Integrated().Status, LoudnessStatus::Unsupported);
        EXPECT_EQ(odd.TruePeak().Status, LoudnessStatus::Unsupported);
        EXPECT_FALSE(odd.Finish());
    }
}

}  // namespace
}  // namespace sonivate
