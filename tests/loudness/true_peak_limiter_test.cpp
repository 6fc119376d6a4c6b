#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "loudness/qc_kernels.h"
#include "loudness/true_peak_limiter.h"
#include "support/test_main.h"

namespace sonivate {
namespace {

constexpr std::int32_t kRate = 48000;

// 16-bit mono bytes: silence with one full-scale click at pClickFrame.
std::vector<std::uint8_t> Click(std::int64_t pFrames, std::int64_t pClickFrame) {
    std::vector<std::uint8_t> bytes(static_cast<size_t>(2 * pFrames), 0);
    bytes[static_cast<size_t>(2 * pClickFrame)] = 0xFF;
    bytes[static_cast<size_t>(2 * pClickFrame + 1)] = 0x7F;
    return bytes;
}

double DB(double pFactor) { return 20.0 * std::log10(pFactor); }

// One click 6 dB over the ceiling: the gain falls no faster than the attack
// and recovers no faster than the release, holds through the click, is
// exactly unity away from it, and the report describes what it does.
TEST(TruePeakLimiterEnvelope, FallsAndRecoversAtTheirRatesAndIsUnityElsewhere) {
    const std::int64_t frames = 2 * kRate;
    const std::int64_t click = kRate;
    TruePeakLimiter limiter(1, 16, kRate);
    ASSERT_EQ(limiter.Status(), LimiterStatus::Ok);
    // Pushed in uneven pieces, a frame split between two of them.
    const std::vector<std::uint8_t> bytes = Click(frames, click);
    limiter.Push(std::span(bytes).first(1001));
    limiter.Push(std::span(bytes).subspan(1001));
    ASSERT_EQ(limiter.Frames(), frames);
    const double gain = -1.0 + 6.0 - limiter.TruePeakDB();

    GainEnvelope envelope;
    EXPECT_EQ(limiter.Envelope(gain, -1.0, 5.0, envelope), LimiterStatus::LimitExceeded);
    EXPECT_EQ(envelope.Frames(), 0);
    ASSERT_EQ(limiter.Envelope(gain, -1.0, 6.5, envelope), LimiterStatus::Ok);
    ASSERT_EQ(envelope.Frames(), frames);

    // The float points and the linear steps between them bend the rates a little.
    constexpr double kRateMargin = 1.05;
    const double perFrameAttack = kLimiterAttackDBPerSecond / kRate * kRateMargin;
    const double perFrameRelease = kLimiterReleaseDBPerSecond / kRate * kRateMargin;
    double previous = 0.0;
    for (std::int64_t n = 0; n < frames; ++n) {
        const double db = DB(envelope.FactorAt(n));
        if (n < click) {
            EXPECT_GE(db, previous - perFrameAttack) << n;
        } else if (n > click) {
            EXPECT_LE(db, previous + perFrameRelease) << n;
        }
        previous = db;
    }
    // Every frame the interpolator takes into the click's outputs carries the full reduction.
    for (std::int64_t n = click - 48; n <= click + 48; ++n) {
        EXPECT_LE(DB(envelope.FactorAt(n)), -6.0 + 1e-6) << n;
    }
    EXPECT_EQ(envelope.FactorAt(click - kRate / 2), 1.0);
    EXPECT_EQ(envelope.FactorAt(click + kRate / 2), 1.0);

    const LimiterReport report = TruePeakLimiter::Report(envelope, kRate);
    // Frame by frame, as the writer applies it.
    {
        double lowest = 1.0;
        std::int64_t above01 = 0;
        std::vector<double> blocks(report.BlockReductionDB.size(), 1.0);
        for (std::int64_t n = 0; n < frames; ++n) {
            const double f = envelope.FactorAt(n);
            lowest = std::min(lowest, f);
            above01 += f < std::pow(10.0, -0.1 / 20.0) ? 1 : 0;
            double& block = blocks[static_cast<size_t>(n / (kRate / 10))];
            block = std::min(block, f);
        }
        EXPECT_EQ(report.MaxReductionDB, -DB(lowest));
        EXPECT_EQ(report.SecondsAbove01dB, static_cast<double>(above01) / kRate);
        for (size_t b = 0; b < blocks.size(); ++b)
            EXPECT_EQ(report.BlockReductionDB[b], blocks[b] < 1.0 ? static_cast<float>(-DB(blocks[b])) : 0.0f) << b;
    }
    EXPECT_NEAR(report.MaxReductionDB, 6.0, 0.01);
    EXPECT_GT(report.SecondsAbove1dB, 0.026);
    EXPECT_GT(report.SecondsAbove01dB, report.SecondsAbove1dB);
    EXPECT_LT(report.SecondsAbove01dB, 0.3);
    ASSERT_EQ(report.BlockReductionDB.size(), 20u);
    EXPECT_NEAR(report.BlockReductionDB[10], 6.0, 0.01);
    EXPECT_EQ(report.BlockReductionDB[0], 0.0f);
    EXPECT_EQ(report.BlockReductionDB[19], 0.0f);

    // Under the ceiling nothing reduces, at any frame.
    ASSERT_EQ(limiter.Envelope(gain - 7.0, -1.0, 6.0, envelope), LimiterStatus::Ok);
    EXPECT_FALSE(envelope.Reduces());
    EXPECT_EQ(limiter.NeededReductionDB(gain - 7.0, -1.0), 0.0);
}

// The envelope passes over whole blocks of quiet steps: clicks on the first
// and last frames of such blocks, and in a short last step, are all caught.
TEST(TruePeakLimiterEnvelope, CatchesClicksAtTheEdgesOfTheBlocksItPassesOver) {
    constexpr std::int64_t kBlockFrames = 64 * kLimiterStepFrames;
    constexpr std::int64_t kFrames = 40 * kBlockFrames + 5;
    const std::int64_t clicks[] = {kBlockFrames, kBlockFrames - 1, 10 * kBlockFrames, 21 * kBlockFrames - 1,
                                   kFrames - 2};
    for (const std::int64_t click : clicks) {
        SCOPED_TRACE(click);
        TruePeakLimiter limiter(1, 16, kRate);
        const std::vector<std::uint8_t> bytes = Click(kFrames, click);
        limiter.Push(bytes);
        const double gain = -1.0 + 3.0 - limiter.TruePeakDB();
        GainEnvelope envelope;
        ASSERT_EQ(limiter.Envelope(gain, -1.0, 6.0, envelope), LimiterStatus::Ok);
        EXPECT_LE(DB(envelope.FactorAt(click)), -3.0 + 1e-6);
        EXPECT_EQ(envelope.FactorAt(click < kFrames / 2 ? kFrames - 1 : 0), 1.0);
    }
}

// The fine interpolation: a 16 kHz tone whose crests all lie a quarter of a
// frame after a sample, halfway between two of the meter's interpolated
// values (at 1/8 and 3/8; they read it 0.3 dB low), gets its fine peak (the
// amplitude, on the fine grid) on every step that may need limiting and on
// no quiet one; refined steps are not asked for again, and the envelope and
// the needed reduction follow the fine peak; steps the meter reads well
// under the ceiling are not refined.
TEST(TruePeakLimiterAnalysis, FinePeaksCatchWhatTheMetersInterpolatorReadsLow) {
    constexpr double kTwoPi = 6.283185307179586;
    constexpr double kAmplitude = 0.5;
    // A crest at frame n + 1/4: 2 pi (16 / 48) (n + 1/4) + phase = pi / 2.
    constexpr double kCrestPhase = kTwoPi / 6.0;
    constexpr std::int64_t kFrames = kRate;
    // Quiet (40 dB down) until here, loud after.
    constexpr std::int64_t kLoudFrom = kRate / 2;
    std::vector<std::uint8_t> bytes;
    for (std::int64_t n = 0; n < kFrames; ++n) {
        const double level = n < kLoudFrom ? kAmplitude / 100.0 : kAmplitude;
        const auto v = static_cast<std::int16_t>(
            std::lround(level * 32767.0 * std::sin(kTwoPi * 16000.0 * static_cast<double>(n) / kRate + kCrestPhase)));
        bytes.push_back(static_cast<std::uint8_t>(v & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
    }
    TruePeakLimiter limiter(1, 16, kRate, HUGE_VAL);
    limiter.Push(bytes);
    constexpr double kCeiling = -1.0;
    const double gain = kCeiling + 3.0 - DB(kAmplitude);
    const std::vector<TruePeakLimiter::RefineRun> runs = limiter.RunsToRefine(gain, kCeiling);
    ASSERT_FALSE(runs.empty());
    const std::int64_t loudStep = kLoudFrom / kLimiterStepFrames;
    // The quiet steps next to the loud ones read the loud frames.
    EXPECT_GE(runs.front().First, loudStep - 2);
    for (const TruePeakLimiter::RefineRun& run : runs)
        ASSERT_TRUE(limiter.Refine(run, bytes.data() + 2 * run.FirstFrame));
    EXPECT_TRUE(limiter.RunsToRefine(gain, kCeiling).empty());
    EXPECT_EQ(limiter.FinePeak(loudStep / 2), 0.0f);
    // Away from the onset, each step's fine peak is the amplitude; the
    // meter's interpolator reads lower.
    float lowest = 1.0f, highest = 0.0f, meter = 0.0f;
    for (std::int64_t j = loudStep + 4; j + 4 < limiter.Steps(); ++j) {
        lowest = std::min(lowest, limiter.FinePeak(j));
        highest = std::max(highest, limiter.FinePeak(j));
        meter = std::max(meter, limiter.StepPeak(j));
    }
    EXPECT_LT(std::abs(DB(highest / kAmplitude)), 0.01);
    EXPECT_LT(std::abs(DB(lowest / kAmplitude)), 0.01);
    EXPECT_LT(DB(meter / highest), -0.2);
    const double needed = limiter.NeededReductionDB(gain, kCeiling);
    EXPECT_GE(needed, gain + DB(highest) - kCeiling);
    GainEnvelope envelope;
    ASSERT_EQ(limiter.Envelope(gain, kCeiling, 6.0, envelope), LimiterStatus::Ok);
    double lowestFactor = 1.0;
    for (std::int64_t n = 0; n < kFrames; ++n) lowestFactor = std::min(lowestFactor, envelope.FactorAt(n));
    EXPECT_NEAR(-DB(lowestFactor), needed, 1e-4);

    // Steps the meter reads further under the ceiling than the headroom are
    // left alone, though the fine interpolator's bound would let them in.
    TruePeakLimiter fresh(1, 16, kRate, HUGE_VAL);
    fresh.Push(bytes);
    const double under = kCeiling - kLimiterFineHeadroomDB - 0.1 - fresh.TruePeakDB();
    EXPECT_TRUE(fresh.RunsToRefine(under, kCeiling).empty());
    EXPECT_FALSE(fresh.RunsToRefine(under + 0.2, kCeiling).empty());
}

// A range analysed in two parts, the later primed with the frames before
// it and appended, is the range analysed in one: every step's peak and
// bound, the partial last step, the true peak and the envelope; in 16-bit
// mono and 24-bit stereo, split at a decoding chunk's edge and inside one,
// with every peak exact and with the usual exact range.
TEST(TruePeakLimiterAnalysis, TwoPartsAppendedAreTheWholeAnalysedInOne) {
    constexpr std::int64_t kFrames = 5 * 2048 + 7;
    for (const std::int32_t channels : {1, 2}) {
        for (const std::int64_t split : {std::int64_t{2048}, std::int64_t{16 * 300}}) {
            for (const double exactRange : {HUGE_VAL, kLimiterExactRangeDB}) {
                SCOPED_TRACE(testing::Message()
                             << channels << " channels, split at " << split << ", exact range " << exactRange);
                const std::int32_t bytesPerSample = channels == 1 ? 2 : 3;
                const double fullScale = channels == 1 ? 32767.0 : 8388607.0;
                std::mt19937 random(11);
                std::normal_distribution<double> gauss(0.0, 0.02);
                std::vector<std::uint8_t> bytes;
                for (std::int64_t n = 0; n < kFrames; ++n)
                    for (std::int32_t c = 0; c < channels; ++c) {
                        // Loud bursts, one across the split.
                        const double loud = (n + 700) % 3000 < 400 ? 20.0 : 1.0;
                        const auto v = static_cast<std::int32_t>(
                            std::lround(std::clamp(gauss(random) * loud, -1.0, 1.0) * fullScale));
                        for (std::int32_t b = 0; b < bytesPerSample; ++b)
                            bytes.push_back(static_cast<std::uint8_t>(v >> (8 * b)));
                    }
                const auto frameBytes = static_cast<size_t>(channels * bytesPerSample);
                TruePeakLimiter whole(channels, bytesPerSample * 8, kRate, exactRange);
                whole.Push(bytes);
                TruePeakLimiter first(channels, bytesPerSample * 8, kRate, exactRange);
                TruePeakLimiter later(channels, bytesPerSample * 8, kRate, exactRange);
                first.Push(std::span(bytes).first(static_cast<size_t>(split) * frameBytes));
                const size_t history = static_cast<size_t>(qc_detail::kTruePeakHistory) * frameBytes;
                ASSERT_TRUE(
                    later.Prime(std::span(bytes).subspan(static_cast<size_t>(split) * frameBytes - history, history)));
                // In uneven pieces, a frame split between two.
                const size_t rest = static_cast<size_t>(split) * frameBytes;
                later.Push(std::span(bytes).subspan(rest, 1001));
                later.Push(std::span(bytes).subspan(rest + 1001));
                ASSERT_TRUE(first.Append(later));
                EXPECT_EQ(later.Frames(), 0);
                ASSERT_EQ(first.Frames(), whole.Frames());
                ASSERT_EQ(first.Steps(), whole.Steps());
                EXPECT_EQ(first.TruePeakDB(), whole.TruePeakDB());
                for (std::int64_t step = 0; step < whole.Steps(); ++step) {
                    ASSERT_EQ(first.StepBound(step), whole.StepBound(step)) << step;
                    // The later part may interpolate more steps exactly than one pass.
                    if (whole.StepPeak(step) != whole.StepBound(step))
                        ASSERT_EQ(first.StepPeak(step), whole.StepPeak(step)) << step;
                    else
                        ASSERT_LE(first.StepPeak(step), whole.StepPeak(step)) << step;
                }
                const double gain = -1.0 + 3.0 - whole.TruePeakDB();
                GainEnvelope fromWhole, fromParts;
                ASSERT_EQ(whole.Envelope(gain, -1.0, 6.0, fromWhole), LimiterStatus::Ok);
                ASSERT_EQ(first.Envelope(gain, -1.0, 6.0, fromParts), LimiterStatus::Ok);
                ASSERT_TRUE(fromWhole.Reduces());
                EXPECT_TRUE(std::equal(fromWhole.Points().begin(), fromWhole.Points().end(), fromParts.Points().begin(),
                                       fromParts.Points().end()));
            }
        }
    }
}

// A step's bound takes the interpolator's history, the 11 frames before it:
// clicks on the last frame of a step, of a decoding chunk (2048 frames) and
// of a push, and one just outside the history, on every channel, in 16-bit
// mono and 24-bit stereo (decoded by the meter's vector kernel), pushed in
// uneven pieces. Each bound is the largest sample of its frames and
// history times the interpolator's gain bound, exactly.
TEST(TruePeakLimiterAnalysis, BoundsCarryTheHistoryAcrossStepsChunksAndPushes) {
    constexpr std::int64_t kFrames = 3 * 2048 + 100;
    constexpr std::int64_t kClicks[] = {15, 2047, 2048 + 16 * 7 + 4, 4095, 3001, kFrames - 1};
    for (const std::int32_t channels : {1, 2}) {
        const std::int32_t bytesPerSample = channels == 1 ? 2 : 3;
        const double fullScale = channels == 1 ? 32767.0 : 8388607.0;
        SCOPED_TRACE(channels);
        std::mt19937 random(3);
        std::uniform_int_distribution<std::int32_t> quiet(-1000, 1000);
        std::vector<std::int32_t> samples(static_cast<size_t>(kFrames * channels));
        for (std::int32_t& v : samples) v = quiet(random);
        for (size_t k = 0; k < std::size(kClicks); ++k)
            samples[static_cast<size_t>(kClicks[k] * channels) + k % static_cast<size_t>(channels)] =
                static_cast<std::int32_t>(fullScale * (0.5 + 0.05 * static_cast<double>(k)));
        std::vector<std::uint8_t> bytes;
        for (const std::int32_t v : samples)
            for (std::int32_t b = 0; b < bytesPerSample; ++b) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * b)));

        TruePeakLimiter limiter(channels, bytesPerSample * 8, kRate, HUGE_VAL);
        for (size_t at = 0; at < bytes.size();) {
            const size_t piece = std::min<size_t>(at % 2 == 0 ? 1001 : 4093, bytes.size() - at);
            limiter.Push(std::span(bytes).subspan(at, piece));
            at += piece;
        }
        ASSERT_EQ(limiter.Frames(), kFrames);
        const auto scale = static_cast<float>(1.0 / fullScale);
        for (std::int64_t step = 0; step < limiter.Steps(); ++step) {
            float own = 0.0f, around = 0.0f;
            for (std::int64_t n = step * kLimiterStepFrames - qc_detail::kTruePeakHistory;
                 n < std::min((step + 1) * kLimiterStepFrames, kFrames); ++n) {
                if (n < 0) continue;
                for (std::int32_t c = 0; c < channels; ++c) {
                    const float v =
                        std::fabs(static_cast<float>(samples[static_cast<size_t>(n * channels + c)]) * scale);
                    around = std::max(around, v);
                    if (n >= step * kLimiterStepFrames) own = std::max(own, v);
                }
            }
            ASSERT_EQ(limiter.StepBound(step), around * qc_detail::kTruePeakGainBound) << step;
            ASSERT_GE(limiter.StepPeak(step), own) << step;
            ASSERT_LE(limiter.StepPeak(step), limiter.StepBound(step)) << step;
        }
    }
}

// The K-weighted energies of two runs taken together (the filters of both
// in one vector) are those of each run alone, warm-up and short last step
// included, for stereo and mono.
TEST(TruePeakLimiterAnalysis, EnergiesOfTwoRunsTogetherAreThoseOfEachAlone) {
    for (const std::int32_t channels : {1, 2}) {
        SCOPED_TRACE(channels);
        std::mt19937 random(9);
        std::uniform_int_distribution<std::int32_t> sample(-30000, 30000);
        std::vector<std::uint8_t> bytes(static_cast<size_t>(2 * channels * 9000));
        for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
            const std::int32_t v = sample(random);
            bytes[i] = static_cast<std::uint8_t>(v);
            bytes[i + 1] = static_cast<std::uint8_t>(v >> 8);
        }
        const TruePeakLimiter limiter(channels, 16, kRate);
        const auto frameBytes = static_cast<size_t>(2 * channels);
        // Of unequal lengths, neither a whole number of steps, different warm-ups.
        const TruePeakLimiter::EnergyRun shape[2] = {{bytes.data(), 5000 + 7, 4096, nullptr},
                                                     {bytes.data() + 3000 * frameBytes, 4003, 1024, nullptr}};
        std::vector<float> together[2], alone[2];
        TruePeakLimiter::EnergyRun runs[2] = {shape[0], shape[1]};
        runs[0].Out = &together[0];
        runs[1].Out = &together[1];
        ASSERT_TRUE(limiter.StepEnergies(std::span<const TruePeakLimiter::EnergyRun>(runs, 2)));
        for (int r = 0; r < 2; ++r) {
            ASSERT_TRUE(limiter.StepEnergies(shape[r].Raw, shape[r].Frames, shape[r].WarmFrames, alone[r]));
            EXPECT_FALSE(alone[r].empty());
            EXPECT_EQ(together[r], alone[r]) << r;
        }
    }
}

}  // namespace
}  // namespace sonivate
