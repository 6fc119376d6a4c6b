// The broadcast measures on the minimum-requirement signals of EBU Tech 3341
// (loudness metering, "EBU Mode") and EBU Tech 3342 (loudness range), as far
// as they are synthetic: the authentic programme items of both are not
// generated here. Tolerances are those the documents give.

#include <gtest/gtest.h>

#include <cmath>

#include "broadcast_signals.h"

namespace sonivate::test {
namespace {

constexpr double kLoudnessTolerance = 0.1;  // LU, Tech 3341 cases 1-14
constexpr double kPeakAbove = 0.2;          // dB, Tech 3341 cases 15-23
constexpr double kPeakBelow = 0.4;
constexpr double kRangeTolerance = 1.0;  // LU, Tech 3342 cases 1-4
constexpr double kSilent = -300.0;       // a segment level that means silence
constexpr double kPi = 3.141592653589793;

void ExpectTruePeak(const Signal& pSignal, double pExpected) {
    const Measured m = MeasureSignal(pSignal);
    ASSERT_EQ(m.ok, 1);
    ASSERT_TRUE(m.truePeak.has_value());
    EXPECT_LE(*m.truePeak, pExpected + kPeakAbove);
    EXPECT_GE(*m.truePeak, pExpected - kPeakBelow);
}

TEST(EbuTech3341, StationaryTonesReadTheirLevelMomentaryShortTermAndIntegrated) {
    // Cases 1 and 2: a 1 kHz stereo sine at -23 and -33 dBFS for 20 s.
    for (const double level : {-23.0, -33.0}) {
        SCOPED_TRACE(level);
        const Measured m = MeasureSignal(ToneSequence({{level, 20.0}}));
        ASSERT_EQ(m.ok, 1);
        EXPECT_NEAR(m.lkfs, level, kLoudnessTolerance);
        ASSERT_TRUE(m.maxMomentary && m.maxShortTerm);
        EXPECT_NEAR(*m.maxMomentary, level, kLoudnessTolerance);
        EXPECT_NEAR(*m.maxShortTerm, level, kLoudnessTolerance);
        for (const double s : m.shortTerm) EXPECT_NEAR(s, level, kLoudnessTolerance);
    }
}

TEST(EbuTech3341, GatedSequencesIntegrateToMinus23) {
    // Cases 3, 4 and 5: the gates must drop the quiet parts.
    const std::vector<std::vector<Segment>> cases = {
        {{-36.0, 10.0}, {-23.0, 60.0}, {-36.0, 10.0}},
        {{-72.0, 10.0}, {-36.0, 10.0}, {-23.0, 60.0}, {-36.0, 10.0}, {-72.0, 10.0}},
        {{-26.0, 20.0}, {-20.0, 20.1}, {-26.0, 20.0}},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE("case " + std::to_string(i + 3));
        const Measured m = MeasureSignal(ToneSequence(cases[i]));
        ASSERT_EQ(m.ok, 1);
        EXPECT_NEAR(m.lkfs, -23.0, kLoudnessTolerance);
    }
}

TEST(EbuTech3341, ShortTermOfAlternatingLevelsIsConstantAfterThreeSeconds) {
    // Case 9: -20 dBFS for 1.34 s and -30 dBFS for 1.66 s, five times; every
    // full 3 s window holds one of each.
    std::vector<Segment> pattern;
    for (int i = 0; i < 5; ++i) pattern.insert(pattern.end(), {{-20.0, 1.34}, {-30.0, 1.66}});
    const Measured m = MeasureSignal(ToneSequence(pattern));
    ASSERT_EQ(m.ok, 1);
    ASSERT_FALSE(m.shortTerm.empty());
    for (const double s : m.shortTerm) EXPECT_NEAR(s, -23.0, kLoudnessTolerance);
    EXPECT_NEAR(*m.maxShortTerm, -23.0, kLoudnessTolerance);
}

TEST(EbuTech3341, MaximaCatchBurstsWhereverTheyFallAgainstTheUpdateGrid) {
    // Cases 10 and 13: a -23 dBFS burst exactly one window long (3 s and
    // 400 ms) after a lead-in that shifts it against the meter's updates.
    for (int shift = 0; shift < 20; ++shift) {
        SCOPED_TRACE("shift " + std::to_string(shift));
        const double lead = 0.5 + 0.0053 * shift;
        const Measured s = MeasureSignal(ToneSequence({{kSilent, lead}, {-23.0, 3.0}, {kSilent, 0.5}}));
        ASSERT_TRUE(s.maxShortTerm);
        EXPECT_NEAR(*s.maxShortTerm, -23.0, kLoudnessTolerance);
        const Measured m = MeasureSignal(ToneSequence({{kSilent, lead}, {-23.0, 0.4}, {kSilent, 0.5}}));
        ASSERT_TRUE(m.maxMomentary);
        EXPECT_NEAR(*m.maxMomentary, -23.0, kLoudnessTolerance);
    }
}

TEST(EbuTech3341, BurstsOfRisingLevelEachReadTheirOwnLevel) {
    // Cases 11 and 14: bursts from -38 to -19 dBFS, one window long, apart
    // by silence; the short-term readings of each burst peak at its level.
    std::vector<Segment> bursts;
    for (int k = 0; k < 20; ++k) bursts.insert(bursts.end(), {{-38.0 + k, 3.0}, {kSilent, 3.0}});
    const Measured s = MeasureSignal(ToneSequence(bursts));
    ASSERT_EQ(s.ok, 1);
    ASSERT_EQ(s.shortTerm.size(), 1171u);  // every 100 ms from 3 s to 120 s
    for (int k = 0; k < 20; ++k) {
        // Window j (ending at 3 s + j * 100 ms) covers burst k fully at j = 60 k.
        double best = -200.0;
        for (size_t j = static_cast<size_t>(60 * k); j < static_cast<size_t>(60 * k + 30); ++j)
            best = std::max(best, s.shortTerm[j]);
        EXPECT_NEAR(best, -38.0 + k, kLoudnessTolerance) << "burst " << k;
    }
    EXPECT_NEAR(*s.maxShortTerm, -19.0, kLoudnessTolerance);

    std::vector<Segment> shortBursts;
    for (int k = 0; k < 20; ++k) shortBursts.insert(shortBursts.end(), {{-38.0 + k, 0.4}, {kSilent, 0.6}});
    const Measured m = MeasureSignal(ToneSequence(shortBursts));
    EXPECT_NEAR(*m.maxMomentary, -19.0, kLoudnessTolerance);
}

TEST(EbuTech3341, MomentaryOfAlternatingLevelsAfterOneSecond) {
    // Case 12: -20 dBFS for 0.18 s and -30 dBFS for 0.22 s, 25 times.
    std::vector<Segment> pattern;
    for (int i = 0; i < 25; ++i) pattern.insert(pattern.end(), {{-20.0, 0.18}, {-30.0, 0.22}});
    const Measured m = MeasureSignal(ToneSequence(pattern));
    ASSERT_TRUE(m.maxMomentary);
    EXPECT_NEAR(*m.maxMomentary, -23.0, kLoudnessTolerance);
}

TEST(EbuTech3341, TruePeakOfLowTonesAtMinus6Dbfs) {
    // Cases 15 to 18: 576 Hz and 1152 Hz at -6 dBFS, at phases that put the
    // crest on and between samples.
    for (const double hz : {576.0, 1152.0}) {
        for (const double phase : {0.0, kPi / 4}) {
            SCOPED_TRACE(std::to_string(hz) + " Hz, phase " + std::to_string(phase));
            ExpectTruePeak(ToneSequence({{-6.0, 5.0}}, hz, 2, phase), -6.0);
        }
    }
}

TEST(EbuTech3341, TruePeakOfTonesWhoseCrestFallsBetweenSamples) {
    // Cases 19 to 23: high tones whose samples miss the crest. A quarter of
    // the rate at 45 degrees has its samples 3.01 dB below the crest: full-
    // scale samples read +3.0 dBTP, -3.01 dBFS samples 0 dBTP.
    const double quarter = kSignalRate / 4.0;
    ExpectTruePeak(ToneSequence({{20.0 * std::log10(std::sqrt(2.0)) - 1e-4, 2.0}}, quarter, 2, kPi / 4), 3.0);
    ExpectTruePeak(ToneSequence({{0.0, 2.0}}, quarter, 2, kPi / 4), 0.0);
    // 6 kHz and 8 kHz with the crest half a sample from the nearest samples,
    // and 16 kHz with its samples 1.25 dB below it: all 0 dBTP.
    ExpectTruePeak(ToneSequence({{0.0, 2.0}}, 6000.0, 2, kPi / 2 + kPi / 8), 0.0);
    ExpectTruePeak(ToneSequence({{0.0, 2.0}}, 8000.0, 2, kPi / 2 + kPi / 6), 0.0);
    ExpectTruePeak(ToneSequence({{0.0, 2.0}}, 16000.0, 2, kPi / 2 + kPi / 6), 0.0);
}

TEST(EbuTech3342, LoudnessRangeOfToneSequences) {
    // Cases 1 to 4: 1 kHz stereo tone steps of 20 s each.
    struct Case {
        std::vector<Segment> segments;
        double range;
    };
    const std::vector<Case> cases = {
        {{{-20.0, 20.0}, {-30.0, 20.0}}, 10.0},
        {{{-20.0, 20.0}, {-15.0, 20.0}}, 5.0},
        {{{-40.0, 20.0}, {-20.0, 20.0}}, 20.0},
        {{{-50.0, 20.0}, {-35.0, 20.0}, {-20.0, 20.0}, {-35.0, 20.0}, {-50.0, 20.0}}, 15.0},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE("case " + std::to_string(i + 1));
        const Measured m = MeasureSignal(ToneSequence(cases[i].segments));
        ASSERT_TRUE(m.range.has_value());
        EXPECT_NEAR(*m.range, cases[i].range, kRangeTolerance);
    }
}

}  // namespace
}  // namespace sonivate::test
