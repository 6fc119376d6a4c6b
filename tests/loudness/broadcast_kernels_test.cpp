// The inner loops of the broadcast measures: the build chosen for this
// processor against the portable one, and against plain double arithmetic.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "broadcast_signals.h"
#include "loudness/qc_kernels.h"

namespace sonivate::test {
namespace {

using namespace sonivate::qc_detail;

std::vector<float> RandomSamples(size_t pCount, std::uint32_t pSeed) {
    std::mt19937 random(pSeed);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> v(pCount);
    for (float& x : v) x = uniform(random);
    return v;
}

TEST(BroadcastKernels, TruePeakOfEveryBuildMatchesPlainDoubleArithmetic) {
    const std::vector<float> samples = RandomSamples(1000 + kTruePeakHistory, 3);
    // Counts that leave every tail length of the vector loop.
    for (const std::int32_t count : {1, 7, 15, 16, 17, 31, 64, 999}) {
        double expected = 0.0;
        for (std::int32_t i = 0; i < count; ++i)
            for (std::int32_t p = 0; p < kTruePeakPhases; ++p) {
                double sum = 0.0;
                for (std::int32_t k = 0; k < kTruePeakTaps; ++k)
                    sum += static_cast<double>(kTruePeakCoefficients[p][k]) * samples[static_cast<size_t>(kTruePeakHistory + i - k)];
                expected = std::max(expected, std::fabs(sum));
            }
        const float* at = samples.data() + kTruePeakHistory;
        EXPECT_NEAR(SelectedKernels().TruePeakMax(at, count), expected, 1e-5) << count;
        EXPECT_NEAR(PortableKernels().TruePeakMax(at, count), expected, 1e-5) << count;
        float largest = 0.0f;
        for (std::int32_t i = 0; i < count; ++i) largest = std::max(largest, std::fabs(at[i]));
        EXPECT_EQ(SelectedKernels().AbsMax(at, count), largest);
    }
}

TEST(BroadcastKernels, GainBoundHoldsForEveryPhase) {
    for (std::int32_t p = 0; p < kTruePeakPhases; ++p) {
        double sum = 0.0, dc = 0.0;
        for (std::int32_t k = 0; k < kTruePeakTaps; ++k) {
            sum += std::fabs(kTruePeakCoefficients[p][k]);
            dc += kTruePeakCoefficients[p][k];
        }
        EXPECT_LT(sum, kTruePeakGainBound);
        // Each phase passes a constant within 0.25 dB.
        EXPECT_NEAR(20.0 * std::log10(dc), 0.0, 0.25);
    }
}

TEST(BroadcastKernels, KWeightingOfEveryBuildAgreesAndCarriesItsStateAcrossCalls) {
    std::mt19937 random(5);
    std::uniform_real_distribution<double> uniform(-8388608.0, 8388607.0);
    std::vector<double> pairs(2 * 5000);
    for (double& x : pairs) x = std::round(uniform(random));
    KWeightState whole, split, portable;
    double a[2] = {0, 0}, b[2] = {0, 0}, c[2] = {0, 0};
    SelectedKernels().KWeightSquares(pairs.data(), 5000, whole, a);
    SelectedKernels().KWeightSquares(pairs.data(), 1234, split, b);
    SelectedKernels().KWeightSquares(pairs.data() + 2 * 1234, 5000 - 1234, split, b);
    PortableKernels().KWeightSquares(pairs.data(), 5000, portable, c);
    for (int lane = 0; lane < 2; ++lane) {
        EXPECT_NEAR(b[lane] / a[lane], 1.0, 1e-12);
        EXPECT_NEAR(c[lane] / a[lane], 1.0, 1e-12);
    }
}

TEST(BroadcastMeasures, SkippedRunsNeverChangeTheTruePeak) {
    // A loud click early, then quiet noise with one inter-sample crest late:
    // the quiet runs are skipped, the late crest must still be found.
    Signal s = ToneSequence({{-40.0, 2.0}}, 440.0);
    s.samples[1000] = 0.5;
    const Signal crest = ToneSequence({{0.0, 0.01}}, 12000.0, 2, 3.141592653589793 / 4);
    for (size_t i = 0; i < crest.samples.size(); ++i) s.samples[60000 + i] = crest.samples[i];
    const Measured m = MeasureSignal(s);
    ASSERT_TRUE(m.truePeak);
    EXPECT_NEAR(*m.truePeak, 0.0, 0.2);
    EXPECT_LT(m.peak, -2.9);
}

TEST(BroadcastMeasures, ShortRangesLeaveTheWindowsTheyCannotFillEmpty) {
    const Measured half = MeasureSignal(ToneSequence({{-20.0, 0.5}}));
    ASSERT_EQ(half.ok, 1);
    EXPECT_TRUE(half.truePeak && half.maxMomentary);
    EXPECT_FALSE(half.maxShortTerm || half.range);

    const Measured silent = MeasureSignal(ToneSequence({{-300.0, 4.0}}));
    EXPECT_EQ(*silent.truePeak, -110.0);
    EXPECT_NEAR(*silent.maxShortTerm, -110.691, 1e-9);
    EXPECT_EQ(*silent.range, 0.0);
}

TEST(BroadcastMeasures, FollowTheMeasuredRangeAndStartAfreshForEachMeasurement) {
    // Loud first second, then -30 dBFS: over the range from 2 s only the
    // quiet part counts.
    const Samples samples = Quantise(ToneSequence({{-3.0, 1.0}, {-30.0, 5.0}}), 24);
    const Measured all = MeasureSamples(samples, 2, 24);
    const Measured late = MeasureSamples(samples, 2, 24, 2 * kSignalRate, 0);
    EXPECT_NEAR(*all.truePeak, -3.0, 0.05);
    EXPECT_NEAR(*late.truePeak, -30.0, 0.05);
    EXPECT_NEAR(*late.maxMomentary, -30.0, 0.05);

    ScratchDir dir;
    WavSpec layout;
    layout.bitsPerSample = 24;
    const std::string path = WriteWav(dir.file("twice.wav"), layout, samples);
    C_LKFSFCT meter;
    BroadcastMeasures extras;
    extras.Listen(meter);
    ASSERT_EQ(meter.MeasureLKFS(path, 0, 0), 1);
    ASSERT_EQ(meter.MeasureLKFS(path, 2 * kSignalRate, 0), 1);
    EXPECT_NEAR(*extras.TruePeak(), -30.0, 0.05);
    EXPECT_EQ(extras.Frames(), 4 * kSignalRate);
}

}  // namespace
}  // namespace sonivate::test
