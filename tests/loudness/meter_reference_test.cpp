// The fast meter against the plain reference: every figure equal to the bit.

#include <gtest/gtest.h>

#include <cmath>

#include "loudness/c_lkfsfct.h"
#include "reference_meter.h"
#include "support/scratch.h"
#include "support/wavgen.h"

namespace sonivate {
namespace {

using test::Samples;

constexpr std::int64_t kRate = 48000;
constexpr double kTarget = -24.0;

// Noise whose level steps through 0, -12, -45 and -80 dB every 0.7 s, so
// that both gates drop blocks.
Samples SteppedNoise(std::int64_t pFrames, std::int16_t pChannels, std::int16_t pBits, std::uint32_t pSeed,
                     double pAmplitude) {
    Samples s = test::Noise(pFrames, pChannels, pBits, pSeed, pAmplitude);
    const double levels[] = {1.0, 0.25, 0.0056, 0.0001};
    for (std::int64_t n = 0; n < pFrames; ++n) {
        const double g = levels[(n / (kRate * 7 / 10)) % 4];
        for (std::int16_t c = 0; c < pChannels; ++c) {
            auto& v = s[static_cast<size_t>(n * pChannels + c)];
            v = static_cast<std::int32_t>(std::lround(v * g));
        }
    }
    return s;
}

void ExpectSameAsReference(const std::string& pPath, const Samples& pSamples, std::int32_t pChannels,
                           std::int32_t pBits, std::int64_t pStart, std::int64_t pEnd) {
    SCOPED_TRACE("range " + std::to_string(pStart) + " to " + std::to_string(pEnd));
    C_LKFSFCT meter;
    ASSERT_EQ(meter.MeasureLKFS(pPath, pStart, pEnd), 1);
    const test::ReferenceResult ref = test::ReferenceMeasure(pSamples, pChannels, pBits, pStart, pEnd);
    ASSERT_TRUE(ref.ok);
    ASSERT_EQ(meter.NumBlock(), ref.numBlock);
    std::int32_t differing = 0;
    for (std::int32_t i = 0; i < ref.numBlock; ++i) {
        const auto slot = static_cast<size_t>(i);
        if (meter.BlockPower()[slot] != ref.power[slot] || meter.BlockLKFS()[slot] != ref.loudness[slot]) {
            if (differing++ < 3)
                ADD_FAILURE() << "block " << i << ": power " << meter.BlockPower()[slot] << " vs " << ref.power[slot];
        }
    }
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(meter.PeakValue(), ref.peakValue);
    EXPECT_EQ(meter.LKFSValue(), ref.lkfsValue);
    const std::int32_t fullScale = pBits == 16 ? 32767 : 8388607;
    EXPECT_EQ(meter.AsymptoteLKFS(kTarget), test::ReferenceGain(ref, kTarget, 19200, fullScale));
}

std::string Write(const test::ScratchDir& pDir, const std::string& pName, std::int16_t pChannels, std::int16_t pBits,
                  const Samples& pSamples) {
    test::WavSpec layout;
    layout.channels = pChannels;
    layout.bitsPerSample = pBits;
    return test::WriteWav(pDir.file(pName), layout, pSamples);
}

TEST(MeterAgainstReference, LoudStereo24BitNoiseOverRangesThatStartAndEndInsideReads) {
    // Loud 24-bit blocks sum far past 2^53, so any change in the order of
    // the additions shows.
    test::ScratchDir dir;
    const std::int64_t frames = 33 * kRate;
    const Samples samples = SteppedNoise(frames, 2, 24, 7, 0.9);
    const std::string path = Write(dir, "noise24.wav", 2, 24, samples);
    const std::int64_t start = 12345;
    ExpectSameAsReference(path, samples, 2, 24, start, start + 32 * kRate + 7777);  // third read 7777 frames
    ExpectSameAsReference(path, samples, 2, 24, start, start + 16 * kRate + 4801);  // second read one hop + 1
    ExpectSameAsReference(path, samples, 2, 24, start, start + 16 * kRate + 4799);  // second piece never read
}

TEST(MeterAgainstReference, ThirtySecondsGiveTheThreeBlocksThatStraddleTheReads) {
    test::ScratchDir dir;
    const std::int64_t frames = 30 * kRate + 999;
    const Samples samples = SteppedNoise(frames, 2, 16, 11, 0.5);
    const std::string path = Write(dir, "noise16.wav", 2, 16, samples);
    ExpectSameAsReference(path, samples, 2, 16, 0, 30 * kRate);
    C_LKFSFCT meter;
    ASSERT_EQ(meter.MeasureLKFS(path, 0, 30 * kRate), 1);
    EXPECT_EQ(meter.NumBlock(), 297);  // 157 in the first read, 140 in the second
    EXPECT_EQ(meter.BlockPower().size(), 300u);
    EXPECT_EQ(meter.BlockPower()[297], 0.0);
}

TEST(MeterAgainstReference, SinesSilenceAndShortRanges) {
    test::ScratchDir dir;
    const std::int64_t frames = 3 * kRate;
    // A different tone on each side: 1 kHz left, 60 Hz right.
    const Samples left = test::Sine(frames, 1, 1000.0, -10.0, 16);
    const Samples right = test::Sine(frames, 1, 60.0, -3.0, 16);
    Samples tones(static_cast<size_t>(2 * frames));
    for (size_t n = 0; n < static_cast<size_t>(frames); ++n) {
        tones[2 * n] = left[n];
        tones[2 * n + 1] = right[n];
    }
    const std::string tonePath = Write(dir, "tones.wav", 2, 16, tones);
    ExpectSameAsReference(tonePath, tones, 2, 16, 1000, 1000 + 2 * kRate + 123);
    ExpectSameAsReference(tonePath, tones, 2, 16, 0, 19200);  // exactly one block
    ExpectSameAsReference(tonePath, tones, 2, 16, 77, 77 + 19200 + 4799);

    const Samples quiet = test::Silence(2 * kRate, 2);
    ExpectSameAsReference(Write(dir, "silence.wav", 2, 16, quiet), quiet, 2, 16, 0, 0);
}

TEST(MeterAgainstReference, MonoIsMeasuredAsTwoEqualChannels) {
    test::ScratchDir dir;
    const Samples mono16 = SteppedNoise(17 * kRate, 1, 16, 3, 0.7);
    const std::string path16 = Write(dir, "mono16.wav", 1, 16, mono16);
    ExpectSameAsReference(path16, mono16, 1, 16, 0, 0);

    const Samples mono24 = test::Sine(2 * kRate, 1, 440.0, -6.0, 24);
    ExpectSameAsReference(Write(dir, "mono24.wav", 1, 24, mono24), mono24, 1, 24, 0, 0);

    // The same signal as a stereo file with both sides equal reads the same.
    Samples doubled;
    for (const std::int32_t v : mono16) {
        doubled.push_back(v);
        doubled.push_back(v);
    }
    C_LKFSFCT mono, stereo;
    ASSERT_EQ(mono.MeasureLKFS(path16, 0, 0), 1);
    ASSERT_EQ(stereo.MeasureLKFS(Write(dir, "doubled.wav", 2, 16, doubled), 0, 0), 1);
    EXPECT_EQ(mono.BlockPower(), stereo.BlockPower());
    EXPECT_EQ(mono.LKFSValue(), stereo.LKFSValue());
}

TEST(MeterAgainstReference, SurroundLayoutsUseTheirChannelWeights) {
    test::ScratchDir dir;
    const Samples six = SteppedNoise(3 * kRate, 6, 24, 5, 0.6);
    ExpectSameAsReference(Write(dir, "s51.wav", 6, 24, six), six, 6, 24, 100, 0);
    const Samples eight = SteppedNoise(2 * kRate, 8, 16, 9, 0.6);
    ExpectSameAsReference(Write(dir, "s71.wav", 8, 16, eight), eight, 8, 16, 0, 0);
}

}  // namespace
}  // namespace sonivate
