#include <ebur128.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "common/basic_file.h"
#include "loudness/loudness_state.h"
#include "support/scratch.h"
#include "support/wavgen.h"
#include "wavefile/wave_mmio.h"
#include "writer/edit_wave.h"
#include "writer/limited_gain.h"
#include "writer/sample_scaling.h"
#include "support/test_main.h"

namespace sonivate {
namespace {

using test::Bytes;
using test::Samples;
using test::ScratchDir;

constexpr std::int32_t kRate = 48000;
constexpr double kFullScale24 = 8388607.0;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kCeiling = kLimiterDefaultCeilingDBTP;
constexpr double kLoudnessTolerance = 0.1;  // LU
// libebur128's interpolator is not the meter's: its reading of a limited
// copy's true peak lies at most this far above the ceiling, dB.
constexpr double kReferencePeakAgreement = 0.05;

// A stereo signal, full scale 1.0, both channels given by pValue(frame, channel).
template <class Value>
Samples Stereo24(std::int64_t pFrames, Value&& pValue) {
    Samples out;
    out.reserve(static_cast<size_t>(2 * pFrames));
    for (std::int64_t n = 0; n < pFrames; ++n)
        for (int c = 0; c < 2; ++c)
            out.push_back(static_cast<std::int32_t>(std::lround(std::clamp(pValue(n, c), -1.0, 1.0) * kFullScale24)));
    return out;
}

double Seconds(std::int64_t pFrame) { return static_cast<double>(pFrame) / kRate; }

struct Figures {
    double integrated = 0.0;
    double truePeak = 0.0;
};

// The written copy (data bytes only) through the project's meter and libebur128.
Figures OwnFigures(const Bytes& pData) {
    LoudnessState meter(2, 24, kRate, kModeIntegrated | kModeTruePeak);
    meter.Push(pData);
    return {meter.Integrated().Value, meter.TruePeak().Value};
}
Figures ReferenceFigures(const Bytes& pData) {
    ebur128_state* state = ebur128_init(2, kRate, EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    std::vector<int> samples;
    for (size_t i = 0; i + 3 <= pData.size(); i += 3)
        samples.push_back(static_cast<int>((static_cast<std::uint32_t>(pData[i]) << 8) |
                                           (static_cast<std::uint32_t>(pData[i + 1]) << 16) |
                                           (static_cast<std::uint32_t>(pData[i + 2]) << 24)));
    ebur128_add_frames_int(state, samples.data(), samples.size() / 2);
    Figures figures;
    ebur128_loudness_global(state, &figures.integrated);
    double peak = 0.0;
    for (unsigned c = 0; c < 2; ++c) {
        double channel = 0.0;
        ebur128_true_peak(state, c, &channel);
        peak = std::max(peak, channel);
    }
    // libebur128 full scale is 2^23, the meter's 2^23 - 1.
    figures.truePeak = 20.0 * std::log10(peak * 8388608.0 / kFullScale24);
    ebur128_destroy(&state);
    return figures;
}

// An analysis of the whole of pBytes' range (the data chunk of pInfo) with
// every peak exact, its fine peaks refined as Plan refines them at pGainDB
// under pCeilingDBTP.
std::unique_ptr<TruePeakLimiter> ExactAnalysis(const Bytes& pFile, const WaveFormatInfo& pInfo, double pGainDB,
                                               double pCeilingDBTP) {
    auto exact = std::make_unique<TruePeakLimiter>(pInfo.Channels, pInfo.BitsPerSample, pInfo.SampleRate, HUGE_VAL);
    const std::span<const std::uint8_t> range = std::span(pFile).subspan(
        static_cast<size_t>(pInfo.DataOffset), static_cast<size_t>(pInfo.NumSamples * pInfo.BlockAlign));
    exact->Push(range);
    for (const TruePeakLimiter::RefineRun& run : exact->RunsToRefine(pGainDB, pCeilingDBTP))
        EXPECT_TRUE(exact->Refine(run, range.data() + run.FirstFrame * pInfo.BlockAlign));
    return exact;
}

// One source file and the copies written from it.
class Source {
public:
    Source(const ScratchDir& pDir, const std::string& pName, const Samples& pSamples) {
        test::WavSpec format;
        format.bitsPerSample = 24;
        path = test::WriteWav(pDir.file(pName), format, pSamples);
        handle = OpenFileHandle(path, kOpenRead);
        info = ReadWaveHeader(kNoPath, handle);
        target = pDir.file(pName + ".out");
    }
    ~Source() { CloseFileHandle(handle); }
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    // The data bytes EditWav appends for frames [pFrom, pTo), with or without an envelope.
    Bytes Write(std::int64_t pFrom, std::int64_t pTo, double pGainDB, const GainEnvelope* pEnvelope) {
        std::remove(target.c_str());
        FileHandle out = OpenFileHandle(target, kOpenReadWrite);
        C_EditWave editor;
        const std::int32_t result = pEnvelope ? editor.EditWav(info, handle, out, pFrom, pTo, pGainDB, *pEnvelope)
                                              : editor.EditWav(info, handle, out, pFrom, pTo, pGainDB);
        CloseFileHandle(out);
        EXPECT_EQ(result, 1);
        return test::ReadBytes(target);
    }

    std::string path;
    std::string target;
    FileHandle handle = 0;
    WaveFormatInfo info;
};

struct Case {
    const char* name;
    Samples samples;
    double overDB;  // how far the signal's true peak at the gain lies above the ceiling
    // False for steady tones: limiting them lowers their loudness, which no
    // make-up gain can restore without limiting more.
    bool keepLoudness = true;
};

std::vector<Case> Signals() {
    const std::int64_t frames = 4 * kRate;
    std::vector<Case> cases;
    // A quarter of the rate at 45 degrees: samples 3 dB below the true peak.
    const auto quarterRate = [](std::int64_t n) {
        return 0.5 * std::sin(kTwoPi * 12000.0 * Seconds(n) + kTwoPi / 8.0);
    };
    cases.push_back(
        {"12 kHz at 45 degrees", Stereo24(frames, [&](std::int64_t n, int) { return quarterRate(n); }), 3.0, false});
    cases.push_back(
        {"19 kHz", Stereo24(frames, [](std::int64_t n, int) { return 0.5 * std::sin(kTwoPi * 19000.0 * Seconds(n)); }),
         3.0, false});
    // The same inside a programme: 10 ms bursts every 500 ms over a tone bed.
    cases.push_back({"12 kHz bursts at 45 degrees",
                     Stereo24(frames,
                              [&](std::int64_t n, int) {
                                  const double t = Seconds(n);
                                  return std::fmod(t, 0.5) < 0.01 ? quarterRate(n) : 0.2 * std::sin(kTwoPi * 440.0 * t);
                              }),
                     3.0});
    // 1 kHz bursts: 20 ms every second over a tone bed.
    cases.push_back({"1 kHz bursts",
                     Stereo24(frames,
                              [](std::int64_t n, int) {
                                  const double t = Seconds(n);
                                  const double bed = 0.2 * std::sin(kTwoPi * 220.0 * t);
                                  return std::fmod(t, 1.0) < 0.02 ? 0.7 * std::sin(kTwoPi * 1000.0 * t) : bed;
                              }),
                     3.0});
    std::mt19937 noise(17);
    std::normal_distribution<double> gauss(0.0, 0.1);
    std::vector<double> white(static_cast<size_t>(2 * frames));
    for (double& v : white) v = gauss(noise);
    cases.push_back(
        {"noise", Stereo24(frames, [&](std::int64_t n, int c) { return white[static_cast<size_t>(2 * n + c)]; }), 1.0});
    // Noise through a one-pole low-pass (about 5 kHz): its peaks lie where
    // other meters' interpolators read most above ours.
    double low[2] = {0.0, 0.0};
    cases.push_back({"low-passed noise",
                     Stereo24(frames,
                              [&](std::int64_t n, int c) {
                                  low[c] = 0.7 * low[c] + 0.6 * white[static_cast<size_t>(2 * n + c)];
                                  return low[c];
                              }),
                     1.0});
    // Speech-like: noise shaped by a 4 Hz syllable rhythm and a pitch
    // pulse, with a sharp click every 700 ms.
    cases.push_back({"speech with transients",
                     Stereo24(frames,
                              [&](std::int64_t n, int c) {
                                  const double t = Seconds(n);
                                  const double syllable = std::pow(std::max(0.0, std::sin(kTwoPi * 4.0 * t)), 2.0);
                                  const double voice =
                                      0.3 * std::sin(kTwoPi * 140.0 * t) + 0.2 * std::sin(kTwoPi * 280.0 * t);
                                  const double click =
                                      n % 33600 < 24 ? 0.8 * std::exp(-static_cast<double>(n % 33600) / 6.0) : 0.0;
                                  return 0.5 * syllable * (voice + white[static_cast<size_t>(2 * n + c)]) + click;
                              }),
                     4.0});
    return cases;
}

// Every signal, limited at a gain its true peak exceeds the ceiling by: the
// copy written meets the ceiling and the target loudness by both meters,
// carries the figures the plan measured, equals the plain copy wherever the
// envelope is unity, and a second limiting pass over it finds nothing to do.
TEST(LimitedCopy, MeetsTheCeilingAndTheLoudnessForEveryKindOfSignal) {
    ScratchDir dir;
    double worstPeak = -100.0, worstReferencePeak = -100.0, worstLoudness = 0.0, worstReferenceLoudness = 0.0;
    for (const Case& signal : Signals()) {
        SCOPED_TRACE(signal.name);
        Source source(dir, "source.wav", signal.samples);
        LimitedGain limited;
        ASSERT_EQ(limited.Analyse(source.info, source.handle, 0, 0), LimiterStatus::Ok);
        const double gain = kCeiling + signal.overDB - limited.SourceTruePeakDBTP();
        LimiterSettings settings;
        settings.KeepLoudness = signal.keepLoudness;
        ASSERT_EQ(limited.Plan(gain, settings), LimiterStatus::Ok) << LimiterStatusName(limited.Status());
        const double target = signal.keepLoudness ? *limited.SourceLUFS() + gain : limited.IntegratedLUFS();
        EXPECT_GT(limited.Report().MaxReductionDB, signal.overDB - 0.5);
        EXPECT_LE(limited.Report().MaxReductionDB, kLimiterDefaultMaxReductionDB);

        const Bytes data = source.Write(0, 0, limited.GainDB(), &limited.Envelope());
        const Figures own = OwnFigures(data);
        EXPECT_EQ(own.truePeak, limited.TruePeakDBTP());
        EXPECT_EQ(own.integrated, limited.IntegratedLUFS());
        EXPECT_LE(own.truePeak, kCeiling);
        EXPECT_LE(std::abs(own.integrated - target), kLoudnessTolerance);
        const Figures reference = ReferenceFigures(data);
        EXPECT_LE(reference.truePeak, kCeiling + kReferencePeakAgreement);
        EXPECT_LE(std::abs(reference.integrated - target), kLoudnessTolerance + kReferencePeakAgreement);
        worstPeak = std::max(worstPeak, own.truePeak);
        worstReferencePeak = std::max(worstReferencePeak, reference.truePeak);
        worstLoudness = std::max(worstLoudness, std::abs(own.integrated - target));
        worstReferenceLoudness = std::max(worstReferenceLoudness, std::abs(reference.integrated - target));

        const Bytes plain = source.Write(0, 0, limited.GainDB(), nullptr);
        ASSERT_EQ(plain.size(), data.size());
        std::int64_t unity = 0;
        for (std::int64_t n = 0; n < source.info.NumSamples; ++n) {
            if (limited.Envelope().FactorAt(n) != 1.0) continue;
            ++unity;
            const auto at = static_cast<std::ptrdiff_t>(6 * n);
            ASSERT_TRUE(std::equal(data.begin() + at, data.begin() + at + 6, plain.begin() + at)) << "frame " << n;
        }
        if (std::string(signal.name) == "1 kHz bursts") {
            EXPECT_GT(unity, 0);
        }

        // The copy as a new source: nothing left to limit.
        Source again(dir, "again.wav", [&] {
            Samples s;
            for (size_t i = 0; i + 3 <= data.size(); i += 3)
                s.push_back((static_cast<std::int32_t>(data[i] | (data[i + 1] << 8) | (data[i + 2] << 16)) << 8) >> 8);
            return s;
        }());
        LimitedGain second;
        ASSERT_EQ(second.Analyse(again.info, again.handle, 0, 0, own.integrated), LimiterStatus::Ok);
        ASSERT_EQ(second.Plan(0.0), LimiterStatus::Ok);
        EXPECT_FALSE(second.Envelope().Reduces());
        EXPECT_EQ(second.Report().MaxReductionDB, 0.0);
        EXPECT_EQ(second.MakeUpDB(), 0.0);
    }
    std::printf("worst true peak %.4f dBTP (libebur128 %.4f), worst loudness error %.4f LU (libebur128 %.4f)\n",
                worstPeak, worstReferencePeak, worstLoudness, worstReferenceLoudness);
}

// The residual of a least-squares fit of one sine at pHz to pSignal, relative
// to the sine, dB (THD plus noise).
double DistortionDB(const std::vector<double>& pSignal, double pHz) {
    double ss = 0, sc = 0, cc = 0, xs = 0, xc = 0, xx = 0;
    for (size_t n = 0; n < pSignal.size(); ++n) {
        const double s = std::sin(kTwoPi * pHz * Seconds(static_cast<std::int64_t>(n)));
        const double c = std::cos(kTwoPi * pHz * Seconds(static_cast<std::int64_t>(n)));
        ss += s * s, sc += s * c, cc += c * c, xs += pSignal[n] * s, xc += pSignal[n] * c,
            xx += pSignal[n] * pSignal[n];
    }
    const double det = ss * cc - sc * sc;
    const double a = (xs * cc - xc * sc) / det;
    const double b = (xc * ss - xs * sc) / det;
    double residual = 0.0;
    for (size_t n = 0; n < pSignal.size(); ++n) {
        const double t = Seconds(static_cast<std::int64_t>(n));
        const double e = pSignal[n] - a * std::sin(kTwoPi * pHz * t) - b * std::cos(kTwoPi * pHz * t);
        residual += e * e;
    }
    return 10.0 * std::log10(residual / (xx - residual));
}

TEST(LimitedCopy, SinesNeedingLimitingKeepTheirDistortionBelowMinus60DB) {
    constexpr double kMostDistortionDB = -60.0;
    ScratchDir dir;
    for (const double hz : {50.0, 1000.0}) {
        SCOPED_TRACE(hz);
        const std::int64_t frames = 3 * kRate;
        Source source(dir, "sine.wav",
                      Stereo24(frames, [&](std::int64_t n, int) { return 0.5 * std::sin(kTwoPi * hz * Seconds(n)); }));
        LimitedGain limited;
        ASSERT_EQ(limited.Analyse(source.info, source.handle, 0, 0), LimiterStatus::Ok);
        LimiterSettings settings;
        settings.KeepLoudness = false;
        ASSERT_EQ(limited.Plan(kCeiling + 4.0 - limited.SourceTruePeakDBTP(), settings), LimiterStatus::Ok);
        ASSERT_GT(limited.Report().MaxReductionDB, 3.0);
        const Bytes data = source.Write(0, 0, limited.GainDB(), &limited.Envelope());
        // The middle second, left channel.
        std::vector<double> middle;
        for (std::int64_t n = kRate; n < 2 * kRate; ++n) {
            const auto at = static_cast<size_t>(6 * n);
            middle.push_back(static_cast<double>(
                (static_cast<std::int32_t>(data[at] | (data[at + 1] << 8) | (data[at + 2] << 16)) << 8) >> 8));
        }
        EXPECT_LT(DistortionDB(middle, hz), kMostDistortionDB);
    }
}

// Needing more than the maximum reduction is refused with what it needs;
// lowering the gain instead meets the ceiling at the largest such gain.
TEST(LimitedCopy, TooMuchReductionIsRefusedAndLowerMeetsTheCeiling) {
    ScratchDir dir;
    Source source(dir, "tone.wav", Stereo24(kRate, [](std::int64_t n, int) {
                      return 0.25 * std::sin(kTwoPi * 12000.0 * Seconds(n) + kTwoPi / 8.0);
                  }));
    LimitedGain limited;
    ASSERT_EQ(limited.Analyse(source.info, source.handle, 0, 0), LimiterStatus::Ok);
    const double gain = kCeiling + 20.0 - limited.SourceTruePeakDBTP();
    EXPECT_EQ(limited.Plan(gain), LimiterStatus::LimitExceeded);
    // To the ceiling less the limiter's margins, of the larger of the meter's
    // and the fine reading of the loudest peak.
    EXPECT_NEAR(limited.NeededReductionDB(), 20.0 + kLimiterInterpolatorMarginDB, 0.05);
    EXPECT_EQ(limited.NeededReductionDB(),
              ExactAnalysis(test::ReadBytes(source.path), source.info, gain, limited.InternalCeilingDBTP())
                  ->NeededReductionDB(gain, limited.InternalCeilingDBTP()));
    EXPECT_EQ(limited.Envelope().Frames(), 0);

    double lowered = 0.0;
    ASSERT_EQ(limited.Lower(gain, kCeiling, lowered), LimiterStatus::Ok);
    EXPECT_LE(lowered, gain);
    EXPECT_LE(OwnFigures(source.Write(0, 0, lowered, nullptr)).truePeak, kCeiling);
    // Largest: a little more is over.
    constexpr double kStepDB = 0.02;
    EXPECT_GT(OwnFigures(source.Write(0, 0, lowered + kStepDB, nullptr)).truePeak, kCeiling);
    // A gain already under the ceiling stays.
    ASSERT_EQ(limited.Lower(gain - 25.0, kCeiling, lowered), LimiterStatus::Ok);
    EXPECT_EQ(lowered, gain - 25.0);
}

// Only the range is limited and written; the envelope must match it.
TEST(LimitedCopy, WorksInsideTheRangeAndRefusesAnEnvelopeOfAnotherLength) {
    ScratchDir dir;
    // Loud only in frames [kRate, 2 * kRate).
    Source source(dir, "range.wav", Stereo24(3 * kRate, [](std::int64_t n, int) {
                      return (n >= kRate && n < 2 * kRate ? 0.8 : 0.1) * std::sin(kTwoPi * 997.0 * Seconds(n));
                  }));
    LimitedGain limited;
    ASSERT_EQ(limited.Analyse(source.info, source.handle, kRate / 2, 5 * kRate / 2), LimiterStatus::Ok);
    LimiterSettings settings;
    settings.KeepLoudness = false;
    ASSERT_EQ(limited.Plan(3.0, settings), LimiterStatus::Ok);
    EXPECT_EQ(limited.Envelope().Frames(), 2 * kRate);
    EXPECT_EQ(limited.Report().BlockReductionDB.size(), 20u);
    EXPECT_EQ(limited.Report().BlockReductionDB.front(), 0.0f);
    EXPECT_GT(limited.Report().BlockReductionDB[10], 1.0f);
    const Bytes data = source.Write(kRate / 2, 5 * kRate / 2, limited.GainDB(), &limited.Envelope());
    EXPECT_EQ(static_cast<std::int64_t>(data.size()), 2 * kRate * 6);
    EXPECT_LE(OwnFigures(data).truePeak, kCeiling);

    std::remove(source.target.c_str());
    FileHandle out = OpenFileHandle(source.target, kOpenReadWrite);
    C_EditWave editor;
    EXPECT_EQ(editor.EditWav(source.info, source.handle, out, 0, 0, limited.GainDB(), limited.Envelope()), 0);
    CloseFileHandle(out);
}

// The make-up gain is predicted from the energy the envelope takes away, so a
// programme with transients gets its verified copy from one rendering; the
// progress climbs from 0 to 1. Needing more reduction than the analysis
// interpolates exactly, Plan analyses again and builds the envelope of an
// exact analysis.
TEST(LimitedCopy, OneRenderingSufficesAndAnalysesAgainBeyondTheExactRange) {
    ScratchDir dir;
    const Case speech = Signals().back();
    Source source(dir, "speech.wav", speech.samples);
    LimitedGain limited;
    std::vector<float> progress;
    limited.Progress = [&](float pDone) { progress.push_back(pDone); };
    ASSERT_EQ(limited.Analyse(source.info, source.handle, 0, 0), LimiterStatus::Ok);
    progress.clear();
    const double gain = kCeiling + speech.overDB - limited.SourceTruePeakDBTP();
    ASSERT_EQ(limited.Plan(gain), LimiterStatus::Ok);
    EXPECT_EQ(limited.Passes(), 1);
    EXPECT_GT(limited.MakeUpDB(), 0.0);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), 0.0f);
    EXPECT_EQ(progress.back(), 1.0f);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));

    constexpr double kBeyondDB = kLimiterExactRangeDB + 2.0;
    LimiterSettings settings;
    settings.KeepLoudness = false;
    settings.MaxReductionDB = kBeyondDB + 1.0;
    const double loud = kCeiling + kBeyondDB - limited.SourceTruePeakDBTP();
    ASSERT_EQ(limited.Plan(loud, settings), LimiterStatus::Ok);
    const std::unique_ptr<TruePeakLimiter> exact =
        ExactAnalysis(test::ReadBytes(source.path), source.info, limited.GainDB(), limited.InternalCeilingDBTP());
    GainEnvelope expected;
    ASSERT_EQ(exact->Envelope(limited.GainDB(), limited.InternalCeilingDBTP(), settings.MaxReductionDB, expected),
              LimiterStatus::Ok);
    const std::span<const float> points = limited.Envelope().Points();
    ASSERT_EQ(points.size(), expected.Points().size());
    EXPECT_TRUE(std::equal(points.begin(), points.end(), expected.Points().begin()));
    EXPECT_LE(OwnFigures(source.Write(0, 0, limited.GainDB(), &limited.Envelope())).truePeak, kCeiling);
}

// The meter measures the pieces of a read on a thread of its own: a stop
// asked for in the middle of the analysis or of the rendering ends the call
// with Canceled while the meter still holds pieces of the read, and the
// next call measures the whole range again as if nothing had happened.
TEST(LimitedCopy, StopsMidwayWhileTheMeterRunsAheadAndStartsAfresh) {
    ScratchDir dir;
    const Case speech = Signals().back();
    // Long enough for several pieces of a read (about 3.6 s each).
    Samples samples;
    for (int i = 0; i < 4; ++i) samples.insert(samples.end(), speech.samples.begin(), speech.samples.end());
    Source source(dir, "long.wav", samples);
    LimitedGain limited;
    std::int32_t asked = 0;
    std::int32_t stopAt = 3;
    limited.StopRequested = [&] { return ++asked == stopAt; };
    EXPECT_EQ(limited.Analyse(source.info, source.handle, 0, 0), LimiterStatus::Canceled);

    stopAt = -1;
    ASSERT_EQ(limited.Analyse(source.info, source.handle, 0, 0), LimiterStatus::Ok);
    const double gain = kCeiling + speech.overDB - limited.SourceTruePeakDBTP();
    asked = 0;
    stopAt = 3;
    EXPECT_EQ(limited.Plan(gain), LimiterStatus::Canceled);
    stopAt = -1;
    ASSERT_EQ(limited.Plan(gain), LimiterStatus::Ok);
    const Figures own = OwnFigures(source.Write(0, 0, limited.GainDB(), &limited.Envelope()));
    EXPECT_EQ(own.integrated, limited.IntegratedLUFS());
    EXPECT_EQ(own.truePeak, limited.TruePeakDBTP());
    EXPECT_LE(own.truePeak, kCeiling);
}

// A long range whose loudness is known is analysed in two halves at once:
// the same true peak and the same limited copy (its make-up gain predicted
// from the energies of many reduced regions, measured on two threads) as
// the analysis in one pass that measures the loudness on the way; a stop is
// still honoured.
TEST(LimitedCopy, ALongRangeAnalysedInHalvesPlansTheSameCopy) {
    ScratchDir dir;
    // Mono 16-bit, 46 s: quiet noise and a click every 700 ms.
    constexpr std::int64_t kFrames = 46 * kRate;
    std::mt19937 random(29);
    std::normal_distribution<double> gauss(0.0, 0.02);
    Samples samples;
    samples.reserve(static_cast<size_t>(kFrames));
    for (std::int64_t n = 0; n < kFrames; ++n) {
        const double click = n % 33600 < 24 ? 0.7 * std::exp(-static_cast<double>(n % 33600) / 6.0) : 0.0;
        samples.push_back(
            static_cast<std::int32_t>(std::lround(std::clamp(gauss(random) + click, -1.0, 1.0) * 32767.0)));
    }
    test::WavSpec format;
    format.channels = 1;
    const std::string path = test::WriteWav(dir.file("long.wav"), format, samples);
    FileHandle handle = OpenFileHandle(path, kOpenRead);
    const WaveFormatInfo info = ReadWaveHeader(kNoPath, handle);
    // The make-up gain is predicted, from many runs of reduced steps.
    const LimiterSettings settings;
    const Bytes file = test::ReadBytes(path);
    LoudnessState source(1, 16, kRate, kModeIntegrated);
    source.Push(std::span(file).subspan(static_cast<size_t>(info.DataOffset), static_cast<size_t>(2 * kFrames)));
    const std::vector<double>& powers = source.Meter().BlockPower();
    const std::vector<double> blocks(powers.begin(), powers.begin() + source.Meter().NumBlock());

    LimitedGain measuring;
    ASSERT_EQ(measuring.Analyse(info, handle, 0, 0), LimiterStatus::Ok);
    const double gain = kCeiling + 3.0 - measuring.SourceTruePeakDBTP();
    ASSERT_EQ(measuring.Plan(gain, settings), LimiterStatus::Ok);

    LimitedGain halves;
    std::int32_t asked = 0;
    halves.StopRequested = [&] { return ++asked == 2; };
    EXPECT_EQ(halves.Analyse(info, handle, 0, 0, measuring.SourceLUFS(), blocks), LimiterStatus::Canceled);
    halves.StopRequested = nullptr;
    ASSERT_EQ(halves.Analyse(info, handle, 0, 0, measuring.SourceLUFS(), blocks), LimiterStatus::Ok);
    EXPECT_EQ(halves.SourceTruePeakDBTP(), measuring.SourceTruePeakDBTP());
    ASSERT_EQ(halves.Plan(gain, settings), LimiterStatus::Ok);
    EXPECT_GT(measuring.MakeUpDB(), 0.0);
    EXPECT_EQ(halves.GainDB(), measuring.GainDB());
    EXPECT_EQ(halves.TruePeakDBTP(), measuring.TruePeakDBTP());
    EXPECT_EQ(halves.IntegratedLUFS(), measuring.IntegratedLUFS());
    const std::span<const float> points = halves.Envelope().Points();
    EXPECT_TRUE(halves.Envelope().Reduces());
    EXPECT_TRUE(std::equal(points.begin(), points.end(), measuring.Envelope().Points().begin(),
                           measuring.Envelope().Points().end()));
    CloseFileHandle(handle);
}

// PlanInto writes the verified rendering itself: at an offset of the
// target, for a range of the source, its bytes are those the writer gives
// with the plan's gain and envelope, and its figures are theirs, the other
// figures of a copy too when asked for. A target that cannot be written is
// WriteFailed.
TEST(LimitedCopy, PlanIntoWritesTheVerifiedRenderingAsTheCopy) {
    ScratchDir dir;
    const Case speech = Signals().back();
    Source source(dir, "speech.wav", speech.samples);
    constexpr std::int64_t kFrom = kRate / 3;
    constexpr std::int64_t kTo = 4 * kRate - 5;
    LimitedGain planned;
    ASSERT_EQ(planned.Analyse(source.info, source.handle, kFrom, kTo), LimiterStatus::Ok);
    const double gain = kCeiling + speech.overDB - planned.SourceTruePeakDBTP();
    ASSERT_EQ(planned.Plan(gain), LimiterStatus::Ok);
    ASSERT_TRUE(planned.Envelope().Reduces());
    const Bytes expected = source.Write(kFrom, kTo, planned.GainDB(), &planned.Envelope());

    // Behind a header's worth of bytes already there.
    constexpr std::int64_t kAt = 44;
    const std::string copyPath = dir.file("copy.raw");
    test::WriteBytes(copyPath, Bytes(static_cast<size_t>(kAt), 0x5A));
    FileHandle copy = OpenFileHandle(copyPath, kOpenReadWrite);
    LimitedGain written;
    ASSERT_EQ(written.Analyse(source.info, source.handle, kFrom, kTo), LimiterStatus::Ok);
    ASSERT_EQ(written.PlanInto(gain, copy, kAt), LimiterStatus::Ok);
    CloseFileHandle(copy);
    const Bytes bytes = test::ReadBytes(copyPath);
    ASSERT_EQ(bytes.size(), static_cast<size_t>(kAt) + expected.size());
    EXPECT_TRUE(std::all_of(bytes.begin(), bytes.begin() + kAt, [](std::uint8_t pByte) { return pByte == 0x5A; }));
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), bytes.begin() + kAt));
    EXPECT_EQ(written.GainDB(), planned.GainDB());
    EXPECT_EQ(written.IntegratedLUFS(), planned.IntegratedLUFS());
    EXPECT_EQ(written.TruePeakDBTP(), planned.TruePeakDBTP());
    const Figures own = OwnFigures(expected);
    EXPECT_EQ(own.truePeak, written.TruePeakDBTP());
    EXPECT_EQ(own.integrated, written.IntegratedLUFS());

    // Only when asked for, the copy's other figures: the meter's over the written bytes.
    EXPECT_FALSE(written.Measures().LoudnessRangeLU);
    copy = OpenFileHandle(copyPath, kOpenReadWrite);
    LimiterSettings all;
    all.MeasureAll = true;
    ASSERT_EQ(written.PlanInto(gain, copy, kAt, all), LimiterStatus::Ok);
    CloseFileHandle(copy);
    EXPECT_EQ(test::ReadBytes(copyPath), bytes);
    LoudnessState meter(2, 24, kRate, kModeAllButSeries);
    meter.Push(expected);
    const LimitedCopyMeasures& measures = written.Measures();
    ASSERT_TRUE(measures.SamplePeakDBFS && measures.MaxMomentaryLUFS && measures.MaxShortTermLUFS &&
                measures.LoudnessRangeLU);
    EXPECT_EQ(*measures.SamplePeakDBFS, meter.SamplePeak().Value);
    EXPECT_EQ(*measures.MaxMomentaryLUFS, meter.MaxMomentary().Value);
    EXPECT_EQ(*measures.MaxShortTermLUFS, meter.MaxShortTerm().Value);
    EXPECT_EQ(*measures.LoudnessRangeLU, meter.LoudnessRange().Value);
    EXPECT_EQ(written.TruePeakDBTP(), meter.TruePeak().Value);
    EXPECT_EQ(written.IntegratedLUFS(), meter.Integrated().Value);

    FileHandle readOnly = OpenFileHandle(copyPath, kOpenRead);
    EXPECT_EQ(written.PlanInto(gain, readOnly, 0), LimiterStatus::WriteFailed);
    CloseFileHandle(readOnly);
    EXPECT_EQ(written.PlanInto(gain, 0, 0), LimiterStatus::Unsupported);
}

// The frames under an envelope take the writer's rule with the factor of
// their frame, sample for sample: 16 and 24 bits, one to six channels,
// samples near full scale that saturate at the gain, ranges that start and
// end inside a step.
TEST(LimitedCopy, FramesUnderTheEnvelopeTakeTheRuleWithTheirFactor) {
    std::mt19937 random(23);
    for (const std::int32_t bits : {16, 24}) {
        for (const std::int32_t channels : {1, 2, 6}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, " << channels << " channels");
            const double fullScale = bits == 16 ? 32767.0 : kFullScale24;
            constexpr std::int64_t kFrames = 4000;
            // Quiet, with loud bursts that need limiting.
            std::normal_distribution<double> gauss(0.0, 0.05);
            Samples samples;
            for (std::int64_t n = 0; n < kFrames; ++n)
                for (std::int32_t c = 0; c < channels; ++c) {
                    const double loud = (n / 500) % 2 == 1 ? 18.0 : 1.0;
                    samples.push_back(static_cast<std::int32_t>(
                        std::lround(std::clamp(gauss(random) * loud, -1.0, 1.0) * fullScale)));
                }
            const Bytes bytes = test::EncodeSamples(samples, static_cast<std::int16_t>(bits));
            TruePeakLimiter limiter(channels, bits, kRate, HUGE_VAL);
            limiter.Push(bytes);
            // Over the ceiling by 4 dB: a 4 dB reduction, written 6 dB louder
            // still, so that samples under the envelope saturate.
            const double gain = kCeiling + 4.0 - limiter.TruePeakDB();
            constexpr double kLouderDB = 6.0;
            GainEnvelope envelope;
            ASSERT_EQ(limiter.Envelope(gain, kCeiling, 6.0, envelope), LimiterStatus::Ok);
            ASSERT_TRUE(envelope.Reduces());
            const double factor = writer_detail::WriterFactor(gain + kLouderDB);
            const float low = bits == 16 ? writer_detail::kLow16 : writer_detail::kLow24;
            const float high = bits == 16 ? writer_detail::kHigh16 : writer_detail::kHigh24;
            WaveFormatInfo info;
            info.Valid = 1;
            info.Channels = static_cast<std::int16_t>(channels);
            info.BitsPerSample = static_cast<std::int16_t>(bits);
            info.BlockAlign = static_cast<std::int16_t>(channels * bits / 8);
            info.SampleRate = kRate;
            constexpr std::int64_t kFirst = 5;
            constexpr std::int64_t kCount = kFrames - 12;
            Bytes scaled(bytes.begin() + kFirst * info.BlockAlign, bytes.begin() + (kFirst + kCount) * info.BlockAlign);
            ASSERT_TRUE(writer_detail::ScaleWithEnvelope(info, scaled.data(), kCount, factor, envelope, kFirst));
            const Samples result = [&] {
                Samples out;
                const size_t width = static_cast<size_t>(bits / 8);
                for (size_t i = 0; i + width <= scaled.size(); i += width) {
                    std::int32_t v = 0;
                    for (size_t b = 0; b < width; ++b) v |= static_cast<std::int32_t>(scaled[i + b]) << (8 * b);
                    const int shift = 32 - bits;
                    out.push_back(static_cast<std::int32_t>(static_cast<std::uint32_t>(v) << shift) >> shift);
                }
                return out;
            }();
            std::int64_t saturated = 0;
            for (std::int64_t n = 0; n < kCount; ++n) {
                double frameFactor = 0.0;
                envelope.Factors(kFirst + n, 1, &frameFactor);
                const bool reduced = frameFactor != 1.0;
                frameFactor *= factor;
                for (std::int32_t c = 0; c < channels; ++c) {
                    const auto at = static_cast<size_t>(n * channels + c);
                    const std::int32_t x = samples[static_cast<size_t>(kFirst * channels) + at];
                    const std::int32_t y = writer_detail::ScaleSample(x, frameFactor, low, high);
                    ASSERT_EQ(result[at], y) << "frame " << kFirst + n << " channel " << c;
                    saturated +=
                        reduced && (y == static_cast<std::int32_t>(high) || y == static_cast<std::int32_t>(low));
                }
            }
            EXPECT_GT(saturated, 0);
        }
    }
}

}  // namespace
}  // namespace sonivate
