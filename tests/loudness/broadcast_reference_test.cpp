// The broadcast measures against libebur128, an independent implementation
// of the same standards, on noise, tones, speech-like bursts and surround.
// libebur128 is fed the same integer samples scaled to the same full scale,
// in 10 ms pieces, and its momentary and short-term loudness is read after
// each piece, the steps at which the measures here are taken too.

#include <gtest/gtest.h>
#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "broadcast_signals.h"

namespace sonivate::test {
namespace {

constexpr double kPeakAgreement = 0.05;      // dB
constexpr double kRangeAgreement = 0.1;      // LU
constexpr double kLoudnessAgreement = 0.05;  // LU
constexpr std::int64_t kPiece = kSignalRate / 100;

struct Reference {
    double truePeak = -1e9;      // dBTP
    double range = 0.0;          // LU
    double maxMomentary = -1e9;  // LUFS
    double maxShortTerm = -1e9;  // LUFS
};

Reference ReferenceMeasures(const Samples& pSamples, std::int16_t pChannels, std::int16_t pBits) {
    const unsigned channels = static_cast<unsigned>(pChannels == 1 ? 1 : pChannels);
    ebur128_state* st = ebur128_init(channels, kSignalRate,
                                     EBUR128_MODE_M | EBUR128_MODE_S | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK);
    if (pChannels == 1) ebur128_set_channel(st, 0, EBUR128_DUAL_MONO);
    if (pChannels == 6) {
        const int map[] = {EBUR128_LEFT,   EBUR128_RIGHT,         EBUR128_CENTER,
                           EBUR128_UNUSED, EBUR128_LEFT_SURROUND, EBUR128_RIGHT_SURROUND};
        for (unsigned c = 0; c < 6; ++c) ebur128_set_channel(st, c, map[c]);
    }
    const double fullScale = pBits == 16 ? 32767.0 : 8388607.0;
    std::vector<double> scaled(pSamples.size());
    for (size_t i = 0; i < pSamples.size(); ++i) scaled[i] = pSamples[i] / fullScale;
    const std::int64_t frames = static_cast<std::int64_t>(pSamples.size()) / pChannels;
    Reference r;
    for (std::int64_t at = 0; at + kPiece <= frames; at += kPiece) {
        ebur128_add_frames_double(st, scaled.data() + at * pChannels, static_cast<size_t>(kPiece));
        const std::int64_t fed = at + kPiece;
        double value = 0.0;
        if (fed >= kSignalRate * 4 / 10 && ebur128_loudness_momentary(st, &value) == EBUR128_SUCCESS)
            r.maxMomentary = std::max(r.maxMomentary, value);
        if (fed >= kSignalRate * 3 && ebur128_loudness_shortterm(st, &value) == EBUR128_SUCCESS)
            r.maxShortTerm = std::max(r.maxShortTerm, value);
    }
    for (unsigned c = 0; c < channels; ++c) {
        double peak = 0.0;
        ebur128_true_peak(st, c, &peak);
        r.truePeak = std::max(r.truePeak, 20.0 * std::log10(peak));
    }
    ebur128_loudness_range(st, &r.range);
    ebur128_destroy(&st);
    return r;
}

// How closely the two must agree on a signal.
struct Agreement {
    // The true-peak interpolators differ: the Annex 2 filter's phases have a
    // passband ripple of up to 0.24 dB (at about 3 kHz, 8 kHz and 12 kHz),
    // libebur128's windowed sinc much less. Where a signal has its crests
    // there, the readings may part by that much.
    double truePeak = kPeakAgreement;
    // libebur128 takes a short-term value for the range only every second;
    // the range here takes one every 100 ms. On short signals with steps in
    // level the two sets differ; on long signals with gradual changes they
    // draw from the same distribution.
    bool denseRange = false;
};

void ExpectAgreement(const Samples& pSamples, std::int16_t pChannels, std::int16_t pBits, Agreement pAgreement = {}) {
    const Measured ours = MeasureSamples(pSamples, pChannels, pBits);
    ASSERT_EQ(ours.ok, 1);
    const Reference ref = ReferenceMeasures(pSamples, pChannels, pBits);
    ASSERT_TRUE(ours.truePeak && ours.range && ours.maxMomentary && ours.maxShortTerm);
    EXPECT_NEAR(*ours.truePeak, ref.truePeak, pAgreement.truePeak);
    EXPECT_NEAR(*ours.maxMomentary, ref.maxMomentary, kLoudnessAgreement);
    EXPECT_NEAR(*ours.maxShortTerm, ref.maxShortTerm, kLoudnessAgreement);
    // The same gates and percentiles over the values libebur128 takes (the
    // first at 3 s, then every second) give its range.
    std::vector<double> everySecond;
    for (size_t i = 0; i < ours.shortTerm.size(); i += 10) everySecond.push_back(ours.shortTerm[i]);
    EXPECT_NEAR(BroadcastMeasures::LoudnessRangeOf(everySecond), ref.range, kRangeAgreement);
    if (pAgreement.denseRange) {
        EXPECT_NEAR(*ours.range, ref.range, kRangeAgreement);
    }
}

// Noise through a one-pole low-pass (pSmoothing 1: white), times a level
// that moves between pLevels every pStepSeconds with a 1 s crossfade.
Samples ShapedNoise(double pSeconds, std::int16_t pChannels, std::int16_t pBits, std::uint32_t pSeed, double pSmoothing,
                    const std::vector<double>& pLevelsDb, double pStepSeconds,
                    const std::vector<double>& pChannelGainsDb = {}) {
    std::mt19937 random(pSeed);
    std::normal_distribution<double> gauss(0.0, 1.0);
    const auto frames = static_cast<std::int64_t>(pSeconds * kSignalRate);
    Signal s;
    s.channels = pChannels;
    std::vector<double> low(static_cast<size_t>(pChannels), 0.0);
    const auto step = static_cast<std::int64_t>(pStepSeconds * kSignalRate);
    for (std::int64_t n = 0; n < frames; ++n) {
        const size_t k = static_cast<size_t>(n / step);
        const double from = pLevelsDb[k % pLevelsDb.size()];
        const double to = pLevelsDb[(k + 1) % pLevelsDb.size()];
        const double into = static_cast<double>(n % step) / kSignalRate;
        const double fade = into < pStepSeconds - 1.0 ? 0.0 : (into - (pStepSeconds - 1.0));
        const double level = std::pow(10.0, (from + (to - from) * fade) / 20.0);
        for (std::int16_t c = 0; c < pChannels; ++c) {
            low[static_cast<size_t>(c)] += pSmoothing * (0.25 * gauss(random) - low[static_cast<size_t>(c)]);
            const double gain =
                pChannelGainsDb.empty() ? 1.0 : std::pow(10.0, pChannelGainsDb[static_cast<size_t>(c)] / 20.0);
            s.samples.push_back(level * gain * low[static_cast<size_t>(c)]);
        }
    }
    return Quantise(s, pBits);
}

// Noise has crests at every frequency, those where the Annex filter's
// ripple is largest included.
TEST(BroadcastAgainstLibebur128, NoiseWhiteAndLowPassedWithMovingLevels) {
    ExpectAgreement(ShapedNoise(40.0, 2, 16, 2, 0.1, {0.0, -8.0, -3.0, -18.0, -12.0}, 4.0), 2, 16, {.truePeak = 0.25});
    ExpectAgreement(ShapedNoise(40.0, 2, 24, 1, 1.0, {-6.0, -14.0, -9.0, -25.0}, 5.0), 2, 24, {.truePeak = 0.25});
}

TEST(BroadcastAgainstLibebur128, LongProgrammeWithGradualChangesGivesTheSameRange) {
    // Five minutes of low-passed noise (mono) whose level swings by 10 dB
    // around -18 dBFS every 11.37 s, out of step with libebur128's grid.
    std::mt19937 random(21);
    std::normal_distribution<double> gauss(0.0, 1.0);
    Signal s;
    s.channels = 1;
    double low[1] = {0.0};
    const auto frames = static_cast<std::int64_t>(300.0 * kSignalRate);
    for (std::int64_t n = 0; n < frames; ++n) {
        const double t = static_cast<double>(n) / kSignalRate;
        const double db = -18.0 + 10.0 * std::sin(t * 6.2832 / 11.37);
        const double level = std::pow(10.0, db / 20.0);
        for (double& l : low) {
            l += 0.1 * (0.5 * gauss(random) - l);
            s.samples.push_back(level * l);
        }
    }
    ExpectAgreement(Quantise(s, 16), 1, 16, {.denseRange = true});
}

TEST(BroadcastAgainstLibebur128, TonesAndMono) {
    Signal tones = ToneSequence({{-3.0, 6.0}, {-18.0, 6.0}, {-9.0, 6.0}, {-30.0, 6.0}}, 997.0);
    const Signal high = ToneSequence({{-12.0, 24.0}}, 2003.0);
    for (size_t i = 0; i < tones.samples.size(); ++i) tones.samples[i] = 0.5 * (tones.samples[i] + high.samples[i]);
    ExpectAgreement(Quantise(tones, 24), 2, 24);
    const Signal mono = ToneSequence({{-1.0, 5.0}, {-20.0, 5.0}, {-10.0, 5.0}}, 1999.0, 1, 0.3);
    ExpectAgreement(Quantise(mono, 16), 1, 16);
    // Near the top of a ripple of the Annex filter the readings part.
    const Signal ripple = ToneSequence({{-1.0, 5.0}}, 3111.0, 2, 0.3);
    ExpectAgreement(Quantise(ripple, 24), 2, 24, {.truePeak = 0.25});
}

TEST(BroadcastAgainstLibebur128, SpeechLikeBursts) {
    // Syllables of band-limited noise, 80 to 300 ms long, with pauses of 30
    // to 250 ms and a phrase pause now and then, at levels that drift.
    std::mt19937 random(77);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::normal_distribution<double> gauss(0.0, 1.0);
    const auto frames = static_cast<std::int64_t>(60.0 * kSignalRate);
    Signal s;
    double low = 0.0, band = 0.0;
    std::int64_t n = 0;
    while (n < frames) {
        const auto syllable = static_cast<std::int64_t>((0.08 + 0.22 * uniform(random)) * kSignalRate);
        const double phrase = std::sin(static_cast<double>(n) / kSignalRate * 0.4);
        const double level = std::pow(10.0, (-14.0 + 8.0 * phrase + 4.0 * (uniform(random) - 0.5)) / 20.0);
        for (std::int64_t i = 0; i < syllable && n < frames; ++i, ++n) {
            const double envelope =
                std::sin(3.141592653589793 * static_cast<double>(i) / static_cast<double>(syllable));
            low += 0.3 * (gauss(random) - low);
            band += 0.5 * (low - band);
            const double v = level * envelope * (low - band) * 0.8;
            s.samples.push_back(v);
            s.samples.push_back(0.8 * v);
        }
        const double pauseSeconds = uniform(random) < 0.1 ? 0.6 : 0.03 + 0.22 * uniform(random);
        const auto pause = static_cast<std::int64_t>(pauseSeconds * kSignalRate);
        for (std::int64_t i = 0; i < pause && n < frames; ++i, ++n) {
            s.samples.push_back(0.0);
            s.samples.push_back(0.0);
        }
    }
    // Speech has its crests where the Annex filter's ripple is largest.
    ExpectAgreement(Quantise(s, 24), 2, 24, {.truePeak = 0.25});
}

TEST(BroadcastAgainstLibebur128, FivePointOneWeighsTheSurroundsAndLeavesOutTheLfe) {
    // A loud LFE must not count for loudness, but it does for the true peak.
    ExpectAgreement(ShapedNoise(30.0, 6, 24, 9, 0.5, {-10.0, -20.0, -13.0}, 6.0, {0.0, -2.0, -4.0, -1.0, -6.0, -9.0}),
                    6, 24);
}

}  // namespace
}  // namespace sonivate::test
