// Surround files: the weights follow the channel layout the file's mask
// gives, a layout that cannot be placed is not measured, and the stereo
// downmix's true peak comes from the same read.

#include <gtest/gtest.h>

#include <cmath>
#include <span>
#include <string>
#include <vector>

#include "loudness/broadcast_measures.h"
#include "loudness/bs1770.h"
#include "loudness/c_lkfsfct.h"
#include "loudness/downmix_peak.h"
#include "loudness/loudness_state.h"
#include "support/wavgen.h"
#include "wavefile/byte_source.h"

namespace sonivate {
namespace {

constexpr std::int32_t kRate = 48000;
constexpr double kFullScale24 = 8388607.0;
constexpr double kTwoPi = 6.283185307179586;
// The true peak of a tone found by the 4x oversampler, against its exact peak.
constexpr double kPeakAgreementDB = 0.05;
constexpr size_t kMaskAt = 20;

// A tone of pHz on each channel at its amplitude (full scale 1.0; 0 for
// silence), all in phase, 24-bit, interleaved.
test::Samples Tones(std::int64_t pFrames, const std::vector<double>& pAmplitudes, double pHz = 1000.0,
                    double pPhase = 0.0) {
    const auto channels = static_cast<std::int64_t>(pAmplitudes.size());
    test::Samples out(static_cast<size_t>(pFrames * channels));
    for (std::int64_t n = 0; n < pFrames; ++n) {
        const double wave = std::sin(kTwoPi * pHz * static_cast<double>(n) / kRate + pPhase);
        for (std::int64_t c = 0; c < channels; ++c)
            out[static_cast<size_t>(n * channels + c)] =
                static_cast<std::int32_t>(std::lround(pAmplitudes[static_cast<size_t>(c)] * wave * kFullScale24));
    }
    return out;
}

// A 24-bit extensible file; pMask replaces the builder's mask when >= 0.
test::Bytes File(const test::Samples& pSamples, std::int16_t pChannels, std::int64_t pMask = -1) {
    test::WavSpec shape;
    shape.channels = pChannels;
    shape.bitsPerSample = 24;
    shape.formatTag = 0xFFFE;
    test::Bytes file = test::BuildWav(shape, pSamples);
    if (pMask >= 0) {
        const std::string text(file.begin(), file.end());
        const size_t at = text.find("fmt ") + 8 + kMaskAt;
        for (size_t b = 0; b < 4; ++b)
            file[at + b] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(pMask) >> (8 * b));
    }
    return file;
}

double Measure(const test::Bytes& pFile, C_LKFSFCT& pMeter) {
    EXPECT_EQ(pMeter.MeasureLKFS(MemorySource(pFile.data(), pFile.size()), 0, 0), 1);
    return pMeter.LKFSValue();
}

LoudnessFigure<double> PushedDownmixPeak(const test::Samples& pSamples, ChannelLayout pLayout,
                                         std::uint32_t pMode = kModeAllButSeries) {
    LoudnessState state(pLayout, 24, kRate, pMode);
    const test::Bytes pcm = test::EncodeSamples(pSamples, 24);
    state.Push(pcm);
    state.Finish();
    return state.DownmixTruePeak();
}

double DB(double pRatio) { return 20.0 * std::log10(pRatio); }

}  // namespace

TEST(LayoutWeights, EachLayoutWeighsItsChannelsByAzimuth) {
    EXPECT_EQ(bs1770::LayoutWeights(ChannelLayout::Surround51), (std::vector<double>{1.0, 1.0, 1.0, 0.0, 1.41, 1.41}));
    EXPECT_EQ(bs1770::LayoutWeights(ChannelLayout::Surround71),
              (std::vector<double>{1.0, 1.0, 1.0, 0.0, 1.0, 1.0, 1.41, 1.41}));
    EXPECT_EQ(bs1770::LayoutWeights(ChannelLayout::Mono), (std::vector<double>{1.0, 1.0}));
    EXPECT_TRUE(bs1770::LayoutWeights(ChannelLayout::Unknown).empty());
}

TEST(LayoutWeights, MeterTakesOnlyLayoutsItCanPlace) {
    const test::Samples noise = test::Noise(2 * kRate, 6, 24, 4);
    C_LKFSFCT meter;
    const double back = Measure(File(noise, 6, 0x3F), meter);
    EXPECT_EQ(meter.Layout(), ChannelLayout::Surround51);
    EXPECT_EQ(Measure(File(noise, 6, 0x60F), meter), back);
    test::WavSpec plain;
    plain.channels = 6;
    plain.bitsPerSample = 24;
    EXPECT_EQ(Measure(test::BuildWav(plain, noise), meter), back);

    for (const std::int64_t mask : {0x0, 0x3, 0x11F}) {
        const test::Bytes file = File(noise, 6, mask);
        EXPECT_EQ(meter.MeasureLKFS(MemorySource(file.data(), file.size()), 0, 0), 0) << mask;
        EXPECT_EQ(meter.Layout(), ChannelLayout::Unknown) << mask;
        EXPECT_EQ(meter.LKFSValue(), 0.0) << mask;
    }
    EXPECT_EQ(LoudnessState(ChannelLayout::Unknown, 24, kRate, kModeAll).Status(), LoudnessStatus::Unsupported);
    WaveFormatInfo info;
    info.Channels = 6;
    info.BitsPerSample = 24;
    info.SampleRate = kRate;
    EXPECT_FALSE(meter.Begin(info, 0, ChannelLayout::Surround71));
    EXPECT_TRUE(meter.Begin(info, 0, ChannelLayout::Surround51));
}

TEST(DownmixTruePeak, FoldsCentreAndSurroundsAtMinusThreeDecibels) {
    struct Case {
        const char* name;
        ChannelLayout layout;
        std::vector<double> amplitudes;
        double expectedDB;
    };
    const double g = DownmixPeak::kFoldGain;
    const Case cases[] = {
        {"5.1 left and centre", ChannelLayout::Surround51, {0.5, 0, 0.5, 0, 0, 0}, DB(0.5 + 0.5 * g)},
        {"5.1 right and right surround", ChannelLayout::Surround51, {0, 0.4, 0, 0, 0, 0.4}, DB(0.4 + 0.4 * g)},
        {"5.1 centre, both sides", ChannelLayout::Surround51, {0, 0, 0.5, 0, 0, 0}, DB(0.5 * g)},
        {"5.1 sum beyond full scale", ChannelLayout::Surround51, {0.9, 0, 0.9, 0, 0.9, 0}, DB(0.9 * (1 + 2 * g))},
        {"7.1 back left", ChannelLayout::Surround71, {0, 0, 0, 0, 0.5, 0, 0, 0}, DB(0.5 * g)},
        {"7.1 side right", ChannelLayout::Surround71, {0, 0, 0, 0, 0, 0, 0, 0.5}, DB(0.5 * g)},
        {"7.1 all left", ChannelLayout::Surround71, {0.3, 0, 0.3, 0, 0.3, 0, 0.3, 0}, DB(0.3 * (1 + 3 * g))},
    };
    for (const Case& c : cases) {
        const LoudnessFigure<double> peak = PushedDownmixPeak(Tones(kRate, c.amplitudes), c.layout);
        ASSERT_TRUE(peak.Measured()) << c.name;
        EXPECT_NEAR(peak.Value, c.expectedDB, kPeakAgreementDB) << c.name;
    }
    // The LFE is left out: a downmix of the LFE alone is silent.
    const LoudnessFigure<double> lfe = PushedDownmixPeak(Tones(kRate, {0, 0, 0, 0.9, 0, 0}), ChannelLayout::Surround51);
    ASSERT_TRUE(lfe.Measured());
    EXPECT_LT(lfe.Value, -100.0);
}

TEST(DownmixTruePeak, FindsPeaksBetweenTheSamplesOfTheSum) {
    // A quarter of the sample rate at 45 degrees: every sample at 0.707 of the
    // tone's peak, on left and centre, so the sum's samples miss its peak by 3 dB.
    const test::Samples samples = Tones(kRate, {0.4, 0, 0.4, 0, 0, 0}, kRate / 4.0, kTwoPi / 8.0);
    const double exact = DB(0.4 * (1 + DownmixPeak::kFoldGain));
    const LoudnessFigure<double> peak = PushedDownmixPeak(samples, ChannelLayout::Surround51);
    ASSERT_TRUE(peak.Measured());
    EXPECT_NEAR(peak.Value, exact, 0.6);
    EXPECT_GT(peak.Value, exact + DB(std::sqrt(0.5)) + 2.0);
}

TEST(DownmixTruePeak, OnlySurroundWithTruePeakKeepsIt) {
    const test::Samples stereo = Tones(kRate, {0.5, 0.5});
    EXPECT_EQ(PushedDownmixPeak(stereo, ChannelLayout::Stereo).Status, LoudnessStatus::NotKept);
    const test::Samples surround = Tones(kRate, {0.5, 0, 0.5, 0, 0, 0});
    EXPECT_EQ(PushedDownmixPeak(surround, ChannelLayout::Surround51, kModeIntegrated | kModeMomentary).Status,
              LoudnessStatus::NotKept);
    EXPECT_EQ(PushedDownmixPeak({}, ChannelLayout::Surround51).Status, LoudnessStatus::TooShort);
    EXPECT_EQ(PushedDownmixPeak(surround, ChannelLayout::Unknown).Status, LoudnessStatus::Unsupported);
    DownmixPeak downmix;
    EXPECT_FALSE(downmix.Begin(ChannelLayout::Stereo, 24));
    EXPECT_FALSE(downmix.Begin(ChannelLayout::Surround51, 20));
}

TEST(DownmixTruePeak, SameReadAsTheMeterAndAnyPieces) {
    const test::Samples noise = test::Noise(3 * kRate, 8, 24, 21, 0.4);
    const test::Bytes file = File(noise, 8);
    C_LKFSFCT meter;
    BroadcastMeasures extras;
    extras.Listen(meter);
    ASSERT_EQ(meter.MeasureLKFS(MemorySource(file.data(), file.size()), 0, 0), 1);
    ASSERT_TRUE(extras.DownmixTruePeak().has_value());
    EXPECT_EQ(extras.Layout(), ChannelLayout::Surround71);

    // The same audio pushed in pieces that cut frames.
    LoudnessState state(ChannelLayout::Surround71, 24, kRate, kModeAllButSeries);
    const test::Bytes pcm = test::EncodeSamples(noise, 24);
    for (size_t at = 0; at < pcm.size(); at += 1001)
        state.Push(std::span(pcm).subspan(at, std::min<size_t>(1001, pcm.size() - at)));
    ASSERT_TRUE(state.DownmixTruePeak().Measured());
    EXPECT_EQ(state.DownmixTruePeak().Value, *extras.DownmixTruePeak());
    // Noise on eight channels folds to a louder peak than any one channel's.
    EXPECT_GT(*extras.DownmixTruePeak(), *extras.TruePeak());

    // A stereo measurement afterwards leaves no downmix figure behind.
    const test::Bytes stereo = File(Tones(kRate, {0.5, 0.5}), 2);
    ASSERT_EQ(meter.MeasureLKFS(MemorySource(stereo.data(), stereo.size()), 0, 0), 1);
    EXPECT_FALSE(extras.DownmixTruePeak().has_value());
}

}  // namespace sonivate
