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
                    sum += static_cast<double>(kTruePeakCoefficients[p][k]) *
                           samples[static_cast<size_t>(kTruePeakHistory + i - k)];
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

TEST(BroadcastKernels, TwoFiltersSideBySideGiveWhatEachGivesAlone) {
    std::mt19937 random(11);
    std::uniform_real_distribution<double> uniform(-8388608.0, 8388607.0);
    std::vector<double> first(2 * 3000), second(2 * 3000);
    for (double& x : first) x = std::round(uniform(random));
    for (double& x : second) x = std::round(uniform(random) / 16.0);
    for (const Kernels* kernels : {&SelectedKernels(), &PortableKernels()}) {
        KWeightState alone[2], together[2];
        double aloneSquares[4] = {0, 0, 0, 0}, togetherSquares[4] = {0, 0, 0, 0};
        kernels->KWeightSquares(first.data(), 3000, alone[0], aloneSquares);
        kernels->KWeightSquares(second.data(), 3000, alone[1], aloneSquares + 2);
        // In two calls, so that the states must come back out of the lanes.
        kernels->KWeightSquaresTwice(first.data(), second.data(), 1000, together[0], together[1], togetherSquares);
        kernels->KWeightSquaresTwice(first.data() + 2000, second.data() + 2000, 2000, together[0], together[1],
                                     togetherSquares);
        for (int lane = 0; lane < 4; ++lane) EXPECT_NEAR(togetherSquares[lane] / aloneSquares[lane], 1.0, 1e-13);
        for (int f = 0; f < 2; ++f)
            for (int lane = 0; lane < 2; ++lane) {
                EXPECT_NEAR(together[f].v1[lane], alone[f].v1[lane], 1e-9 * std::fabs(alone[f].v1[lane]) + 1e-9);
                EXPECT_EQ(together[f].x1[lane], alone[f].x1[lane]);
            }
    }
}

// The resolution of TruePeakFrame: one decoding chunk (about 43 ms at 48 kHz).
constexpr std::int64_t kChunkFramesForTest = 2048;

// 24- or 16-bit little-endian interleaved bytes of pSamples.
std::vector<std::uint8_t> PcmBytes(const Samples& pSamples, int pBytesPerSample) {
    std::vector<std::uint8_t> bytes;
    for (const std::int32_t v : pSamples)
        for (int b = 0; b < pBytesPerSample; ++b) bytes.push_back(static_cast<std::uint8_t>((v >> (8 * b)) & 0xFF));
    return bytes;
}

TEST(BroadcastMeasures, LongPiecesWeightedInTwoHalvesGiveTheFiguresOfShortPieces) {
    // Twelve seconds of noise stepping through four levels, so that every
    // figure depends on where each sub-block's energy lands.
    std::mt19937 random(17);
    std::normal_distribution<double> normal(0.0, 1.0);
    Signal s;
    for (std::int64_t n = 0; n < 12 * kSignalRate; ++n) {
        const double level = std::pow(10.0, (-20.0 - 6.0 * static_cast<double>((n / (3 * kSignalRate)) % 4)) / 20.0);
        s.samples.push_back(0.25 * level * normal(random));
        s.samples.push_back(0.25 * level * normal(random));
    }
    // One click well above the noise, in what the large pieces weigh as a
    // second half: the peak's place must be found there too.
    const std::int64_t clickFrame = 7 * kSignalRate + 1234;
    s.samples[static_cast<size_t>(2 * clickFrame + 1)] = 0.9;
    for (const std::int16_t bits : {std::int16_t{16}, std::int16_t{24}}) {
        const int width = bits / 8;
        const std::vector<std::uint8_t> bytes = PcmBytes(Quantise(s, bits), width);
        const std::int64_t frames = s.frames();
        auto measure = [&](const std::vector<std::int64_t>& pPieces, BroadcastMeasures& pInto) {
            ASSERT_TRUE(pInto.Begin(2, bits, kSignalRate));
            std::int64_t at = 0;
            for (size_t i = 0; at < frames; ++i) {
                const std::int64_t n = std::min(pPieces[std::min(i, pPieces.size() - 1)], frames - at);
                pInto.Add({bytes.data() + at * 2 * width, static_cast<size_t>(n * 2 * width)}, n);
                at += n;
            }
        };
        BroadcastMeasures small, large;
        measure({1000}, small);
        // A first piece that ends inside a sub-block, then halves, then what is left in order.
        measure({1234, 400000, 50000}, large);
        EXPECT_EQ(large.Frames(), frames);
        EXPECT_EQ(large.TruePeak(), small.TruePeak());
        for (const BroadcastMeasures* m : {&small, &large}) {
            ASSERT_TRUE(m->TruePeakFrame());
            EXPECT_LE(*m->TruePeakFrame(), clickFrame);
            EXPECT_GT(*m->TruePeakFrame() + kChunkFramesForTest, clickFrame) << "the chunk that holds the click";
        }
        EXPECT_NEAR(*large.MaxMomentary(), *small.MaxMomentary(), 1e-9);
        EXPECT_NEAR(*large.MaxShortTerm(), *small.MaxShortTerm(), 1e-9);
        EXPECT_NEAR(*large.LoudnessRange(), *small.LoudnessRange(), 1e-9);
        EXPECT_GT(*small.LoudnessRange(), 5.0) << "the steps spread the short-term values";
        const std::vector<double> a = small.ShortTermSeries(), b = large.ShortTermSeries();
        ASSERT_EQ(a.size(), b.size());
        for (size_t i = 0; i < a.size(); ++i) EXPECT_NEAR(a[i], b[i], 1e-9) << i;
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
