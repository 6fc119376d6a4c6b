#pragma once
// Test signals for the broadcast measures, generated in the tests: tone
// sequences, tones of chosen phase, noise with level envelopes, and a file
// writer that measures them through the meter.

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "loudness/broadcast_measures.h"
#include "loudness/c_lkfsfct.h"
#include "support/scratch.h"
#include "support/wavgen.h"

namespace sonivate::test {

inline constexpr std::int32_t kSignalRate = 48000;

// A sequence of tone segments, the same on every channel: each at its level
// (dBFS of the sine's peak; below -200 silence) for its duration. The phase
// runs on across segments.
struct Segment {
    double dbfs;
    double seconds;
};

// Interleaved signal as doubles, full scale 1.0.
struct Signal {
    std::int16_t channels = 2;
    std::vector<double> samples;
    std::int64_t frames() const { return static_cast<std::int64_t>(samples.size()) / channels; }
};

inline Signal ToneSequence(const std::vector<Segment>& pSegments, double pHz = 1000.0, std::int16_t pChannels = 2,
                           double pPhaseRadians = 0.0) {
    Signal s;
    s.channels = pChannels;
    const double twoPi = 6.283185307179586;
    std::int64_t n = 0;
    for (const Segment& seg : pSegments) {
        const auto frames = static_cast<std::int64_t>(std::llround(seg.seconds * kSignalRate));
        const double amplitude = seg.dbfs < -200.0 ? 0.0 : std::pow(10.0, seg.dbfs / 20.0);
        for (std::int64_t i = 0; i < frames; ++i, ++n) {
            const double v = amplitude * std::sin(twoPi * pHz * static_cast<double>(n) / kSignalRate + pPhaseRadians);
            for (std::int16_t c = 0; c < pChannels; ++c) s.samples.push_back(v);
        }
    }
    return s;
}

// Integer samples of a signal, rounded, held to the sample width.
inline Samples Quantise(const Signal& pSignal, std::int16_t pBits) {
    const double fullScale = pBits == 16 ? 32767.0 : 8388607.0;
    Samples out;
    out.reserve(pSignal.samples.size());
    for (const double v : pSignal.samples) {
        const double scaled = std::nearbyint(v * fullScale);
        out.push_back(static_cast<std::int32_t>(std::fmax(-fullScale - 1.0, std::fmin(fullScale, scaled))));
    }
    return out;
}

// What the meter and the broadcast measures read from a file holding the signal.
struct Measured {
    std::int32_t ok = 0;
    double lkfs = 0.0;
    double peak = 0.0;
    std::optional<double> truePeak, maxMomentary, maxShortTerm, range;
    std::vector<double> shortTerm;
};

inline Measured MeasureSamples(const Samples& pSamples, std::int16_t pChannels, std::int16_t pBits,
                               std::int64_t pStart = 0, std::int64_t pEnd = 0) {
    ScratchDir dir;
    WavSpec layout;
    layout.channels = pChannels;
    layout.bitsPerSample = pBits;
    const std::string path = WriteWav(dir.file("signal.wav"), layout, pSamples);
    C_LKFSFCT meter;
    BroadcastMeasures extras;
    extras.Listen(meter);
    Measured m;
    m.ok = meter.MeasureLKFS(path, pStart, pEnd);
    m.lkfs = meter.LKFSValue();
    m.peak = meter.PeakValue();
    m.truePeak = extras.TruePeak();
    m.maxMomentary = extras.MaxMomentary();
    m.maxShortTerm = extras.MaxShortTerm();
    m.range = extras.LoudnessRange();
    m.shortTerm = extras.ShortTermSeries();
    return m;
}

inline Measured MeasureSignal(const Signal& pSignal, std::int16_t pBits = 24) {
    return MeasureSamples(Quantise(pSignal, pBits), pSignal.channels, pBits);
}

}  // namespace sonivate::test
