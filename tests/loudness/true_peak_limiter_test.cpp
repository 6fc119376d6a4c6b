#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

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

}  // namespace
}  // namespace sonivate
