// The momentary and short-term series against libebur128's readings, taken
// after every 100 ms of the same integer samples scaled to the same full
// scale, and the series' own framing: opt-in, one entry per whole step,
// empty windows marked, the meter's figures untouched.

#include <gtest/gtest.h>
#include <ebur128.h>

#include <cmath>
#include <cstring>

#include "broadcast_signals.h"

namespace sonivate::test {
namespace {

// Both sides K-weight in double precision; what parts them is the order of
// the sums and libebur128's filter coefficients derived for the rate.
constexpr double kSeriesAgreement = 0.02;  // LU
// Below this both readings are near silence, where their logarithms of
// different tiny residues part without meaning.
constexpr double kComparedAboveLUFS = -70.0;
constexpr std::int64_t kStep = kSignalRate / 10;

struct SeriesRun {
    Measured figures;
    LoudnessSeries series;
};

SeriesRun MeasureWithSeries(const Samples& pSamples, std::int16_t pChannels, std::int16_t pBits, bool pKeep = true) {
    ScratchDir dir;
    WavSpec layout;
    layout.channels = pChannels;
    layout.bitsPerSample = pBits;
    const std::string path = WriteWav(dir.file("signal.wav"), layout, pSamples);
    C_LKFSFCT meter;
    BroadcastMeasures extras;
    extras.KeepSeries(pKeep);
    extras.Listen(meter);
    SeriesRun run;
    run.figures.ok = meter.MeasureLKFS(path, 0, 0);
    run.figures.lkfs = meter.LKFSValue();
    run.figures.peak = meter.PeakValue();
    run.figures.maxMomentary = extras.MaxMomentary();
    run.figures.maxShortTerm = extras.MaxShortTerm();
    run.series = extras.Series();
    return run;
}

void ExpectSeriesAgreement(const Samples& pSamples, std::int16_t pChannels, std::int16_t pBits) {
    const SeriesRun ours = MeasureWithSeries(pSamples, pChannels, pBits);
    ASSERT_EQ(ours.figures.ok, 1);
    ASSERT_EQ(ours.series.StepFrames, kStep);

    ebur128_state* st = ebur128_init(static_cast<unsigned>(pChannels), kSignalRate, EBUR128_MODE_M | EBUR128_MODE_S);
    if (pChannels == 1) ebur128_set_channel(st, 0, EBUR128_DUAL_MONO);
    const double fullScale = pBits == 16 ? 32767.0 : 8388607.0;
    std::vector<double> scaled(pSamples.size());
    for (size_t i = 0; i < pSamples.size(); ++i) scaled[i] = pSamples[i] / fullScale;
    const std::int64_t frames = static_cast<std::int64_t>(pSamples.size()) / pChannels;
    ASSERT_EQ(static_cast<std::int64_t>(ours.series.Momentary.size()), frames / kStep);
    ASSERT_EQ(ours.series.ShortTerm.size(), ours.series.Momentary.size());
    size_t compared = 0;
    for (std::int64_t k = 0; (k + 1) * kStep <= frames; ++k) {
        ebur128_add_frames_double(st, scaled.data() + k * kStep * pChannels, static_cast<size_t>(kStep));
        const auto at = static_cast<size_t>(k);
        double value = 0.0;
        if (k < 3) {
            EXPECT_EQ(ours.series.Momentary[at], LoudnessSeries::kNoLoudness) << k;
        } else if (ebur128_loudness_momentary(st, &value) == EBUR128_SUCCESS && value > kComparedAboveLUFS) {
            EXPECT_NEAR(ours.series.Momentary[at], value, kSeriesAgreement) << "momentary, step " << k;
            ++compared;
        }
        if (k < 29) {
            EXPECT_EQ(ours.series.ShortTerm[at], LoudnessSeries::kNoLoudness) << k;
        } else if (ebur128_loudness_shortterm(st, &value) == EBUR128_SUCCESS && value > kComparedAboveLUFS) {
            EXPECT_NEAR(ours.series.ShortTerm[at], value, kSeriesAgreement) << "short-term, step " << k;
            ++compared;
        }
    }
    ebur128_destroy(&st);
    EXPECT_GT(compared, ours.series.Momentary.size());
    // The largest entries are the largest values the figures report.
    double maxM = LoudnessSeries::kNoLoudness, maxS = LoudnessSeries::kNoLoudness;
    for (const double m : ours.series.Momentary) maxM = std::max(maxM, m);
    for (const double s : ours.series.ShortTerm) maxS = std::max(maxS, s);
    EXPECT_LE(maxM, *ours.figures.maxMomentary);
    EXPECT_LE(maxS, *ours.figures.maxShortTerm);
}

TEST(LoudnessSeries, AgreesWithLibebur128EveryHundredMilliseconds) {
    // Level steps between tone segments and a silent gap, in stereo and mono.
    const Signal stereo = ToneSequence({{-6.0, 4.3}, {-30.0, 3.2}, {-300.0, 1.5}, {-12.0, 5.05}, {-20.0, 3.0}}, 997.0);
    ExpectSeriesAgreement(Quantise(stereo, 24), 2, 24);
    const Signal mono = ToneSequence({{-3.0, 3.5}, {-18.0, 4.0}, {-9.0, 2.7}}, 1999.0, 1);
    ExpectSeriesAgreement(Quantise(mono, 16), 1, 16);
}

TEST(LoudnessSeries, LongStereoPieceWeightedInHalvesStaysInOrder) {
    // Longer than one read: the halves of each piece and the boundary between
    // reads must give the series of one continuous pass.
    Signal s = ToneSequence({{-8.0, 9.0}, {-24.0, 7.0}, {-14.0, 11.0}, {-4.0, 6.0}}, 440.0);
    ExpectSeriesAgreement(Quantise(s, 24), 2, 24);
}

TEST(LoudnessSeries, OptInAndTheFiguresStayTheSameToTheBit) {
    const Samples samples = Quantise(ToneSequence({{-10.0, 3.0}, {-20.0, 2.5}}, 1000.0), 24);
    const SeriesRun with = MeasureWithSeries(samples, 2, 24, true);
    const SeriesRun without = MeasureWithSeries(samples, 2, 24, false);
    ASSERT_EQ(with.figures.ok, 1);
    EXPECT_TRUE(without.series.Momentary.empty());
    EXPECT_TRUE(without.series.ShortTerm.empty());
    EXPECT_EQ(without.series.StepFrames, 0);
    EXPECT_EQ(std::memcmp(&with.figures.lkfs, &without.figures.lkfs, sizeof(double)), 0);
    EXPECT_EQ(std::memcmp(&with.figures.peak, &without.figures.peak, sizeof(double)), 0);
    EXPECT_EQ(*with.figures.maxMomentary, *without.figures.maxMomentary);
    EXPECT_EQ(*with.figures.maxShortTerm, *without.figures.maxShortTerm);
    // 5.5 s: 55 whole steps; the first short-term window is full at step 29.
    ASSERT_EQ(with.series.Momentary.size(), 55u);
    EXPECT_EQ(with.series.ShortTerm[28], LoudnessSeries::kNoLoudness);
    EXPECT_TRUE(std::isfinite(with.series.ShortTerm[29]));
}

TEST(LoudnessSeries, SilenceIsMeasuredAndShortRangesHaveNoFullWindow) {
    const SeriesRun silent = MeasureWithSeries(Quantise(ToneSequence({{-300.0, 3.5}}), 16), 2, 16);
    ASSERT_EQ(silent.figures.ok, 1);
    ASSERT_EQ(silent.series.Momentary.size(), 35u);
    EXPECT_NEAR(silent.series.Momentary[10], -110.691, 1e-9);
    EXPECT_NEAR(silent.series.ShortTerm[34], -110.691, 1e-9);
    // 2 s: no short-term window is ever full.
    const SeriesRun brief = MeasureWithSeries(Quantise(ToneSequence({{-10.0, 2.0}}), 16), 2, 16);
    ASSERT_EQ(brief.series.ShortTerm.size(), 20u);
    for (const double s : brief.series.ShortTerm) EXPECT_EQ(s, LoudnessSeries::kNoLoudness);
}

}  // namespace
}  // namespace sonivate::test
