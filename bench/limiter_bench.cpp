// sonivate-limiter-bench: the limited copy of a 10-minute 24-bit stereo
// programme whose gain needs limiting (analysis, verified plan, write)
// against the plain copy at the same gain. Goal: at most 3 times the plain
// copy's time. Build it in Release.
//
// Usage: sonivate-limiter-bench [--dir FOLDER] [benchmark options]
//
// Measured on 2 shared cores (other load about 1), wall time, median of 9
// repetitions (three interleaved runs of the build before and after):
//   cmake -S . -B build/bench-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DSONIVATE_GUI=OFF
//         -DSONIVATE_TESTS=OFF -DSONIVATE_BENCH=ON   (one command)
//   cmake --build build/bench-release --target sonivate-limiter-bench
//   build/bench-release/bench/sonivate-limiter-bench --dir /tmp/bench --benchmark_format=json
//                                  before            after
//   PlainWrite                      89 ms             81 ms
//   LimitedWrite                   663 ms  7.5x      475 ms  5.9x
//   LimitedWriteKnownLoudness      503 ms  5.7x      312 ms  3.9x
//   LimitedWriteAllFigures            -              364 ms  4.5x   (the run's flow)
//   LimitedWriteMeasuredAgain         -              551 ms  6.8x
//   PlanAndWrite / PlanInto        444 ms  5.0x      276 ms  3.4x   (analysis not timed)
//   PlanThenWrite                     -              393 ms  4.9x   (the old sequence)
//   AnalyseKnownLoudness              -               41 ms  0.5x
// (An earlier pair of runs: 5.4x before, 3.8x after for the run's flow.)
// The dense programme (noise whose loud stretches all need some limiting),
// the run's flow against its plain copy, two interleaved runs:
//   LimitedWriteDense              590 ms  6.7x      477 ms  6.0x
// (before: the last round's flow on the same programme). Its analysis
// interpolates most steps exactly and its fine peaks are taken for every
// step near the ceiling (kLimiterFineHeadroomDB); refining every step
// that the fine interpolator's bound let through took it to 25x.
// "Before" is the flow of the last round (analysis, a verified plan that
// renders without writing, then the writer's copy); "after" writes the
// verified rendering itself (LimitedGain::PlanInto), the meter on a thread
// beside the reading, scaling and writing. Its copy is limited 0.07 dB
// further than before (the fine interpolator and the margin for other
// meters, true_peak_limiter.h), so its plan is a little dearer.
// What keeps it above 3x: the meter's K-weighting is a chain of dependent
// double operations whose order fixes its result to the bit, about 5 ns per
// stereo frame, so its pass over the copy takes about 160 ms, twice the
// plain copy by itself, and nothing of it can start before the make-up gain
// is known. Before it: the analysis (two halves at once, about 40 ms) and
// the envelope, the fine peaks and the make-up prediction (about 60 ms:
// K-weighting of the reduced regions on two threads, two envelopes). The
// run measured the copy again after writing it (LimitedWriteMeasuredAgain);
// it now takes those figures from the verifying pass with
// LimiterSettings::MeasureAll (LimitedWriteAllFigures), for 5 to 15% more
// than the loudness and true peak alone.
// On tmpfs (--dir /dev/shm/lb, load about 1.4), three runs each: PlainWrite
// 106 ms, LimitedWriteKnownLoudness 310 ms (2.9x), LimitedWriteAllFigures
// 365 ms (3.4x), PlanInto 230 ms (2.2x).
// Later, on an idle machine (load 0.3 to 1.4), medians of 3 in each of six
// runs: PlainWrite 106 to 121 ms, LimitedWriteKnownLoudness 282 to 299 ms
// (2.6 to 2.8x), LimitedWriteAllFigures 320 to 349 ms (2.9 to 3.2x; one run
// 384 ms), PlanInto 229 to 265 ms.
// Where the run's flow spends its CPU (thread CPU clocks, one flow): the
// analysis about 40 ms on each of two threads; the plan about 75 ms (fine
// peaks 4, envelope 14, make-up prediction 42 plus 14 on a second thread);
// the verifying pass 175 ms on the reading thread (read, scale, the copy's
// true peak, write), 160 ms on the meter's thread and 47 ms for the
// broadcast measures it also runs. On 2 cores the pass is bound by CPU, not
// by the meter's chain: splitting the broadcast measures onto a third
// thread changed nothing (320 to 329 ms before, 333 to 345 ms after).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "common/basic_file.h"
#include "loudness/loudness_state.h"
#include "wavefile/wave_mmio.h"
#include "writer/edit_wave.h"
#include "writer/limited_gain.h"

namespace {

constexpr std::int32_t kRate = 48000;
constexpr std::int32_t kChannels = 2;
constexpr std::int32_t kFrameBytes = kChannels * 3;
constexpr std::int64_t kFrames = std::int64_t{10} * 60 * kRate;
constexpr double kFullScale24 = 8388607.0;
// The programme's true peak at the gain lies this far above the ceiling.
constexpr double kOverDB = 3.0;

std::string gDir = "/tmp";

// The programme: clicks over quieter noise (most of it untouched by the
// limiter), or dense noise whose every loud stretch needs some limiting.
enum class Programme { Clicks, Dense };

std::string SourcePath(Programme pProgramme = Programme::Clicks) {
    return gDir + (pProgramme == Programme::Dense ? "/limiter_bench_dense.wav" : "/limiter_bench_source.wav");
}
std::string TargetPath() { return gDir + "/limiter_bench_target.wav"; }

void Put32(std::ofstream& pOut, std::uint32_t pValue) {
    const char bytes[4] = {static_cast<char>(pValue), static_cast<char>(pValue >> 8), static_cast<char>(pValue >> 16),
                           static_cast<char>(pValue >> 24)};
    pOut.write(bytes, 4);
}

// Low-passed noise with a slow level envelope around -24 dBFS RMS, and a
// short click every 700 ms, the peaks the limiter has to catch.
void WriteProgramme(Programme pProgramme) {
    const bool dense = pProgramme == Programme::Dense;
    std::ofstream out(SourcePath(pProgramme), std::ios::binary | std::ios::trunc);
    const auto dataBytes = static_cast<std::uint32_t>(kFrames * kFrameBytes);
    out.write("RIFF", 4);
    Put32(out, 36 + dataBytes);
    out.write("WAVEfmt ", 8);
    Put32(out, 16);
    Put32(out, 1u | (static_cast<std::uint32_t>(kChannels) << 16));
    Put32(out, kRate);
    Put32(out, kRate * kFrameBytes);
    Put32(out, static_cast<std::uint32_t>(kFrameBytes) | (24u << 16));
    out.write("data", 4);
    Put32(out, dataBytes);
    std::mt19937 random(5);
    std::normal_distribution<double> gauss(0.0, 0.08);
    double low[kChannels] = {0.0, 0.0};
    std::vector<char> piece;
    constexpr std::int64_t kPieceFrames = kRate;
    constexpr std::int64_t kClickEvery = 33600;
    for (std::int64_t first = 0; first < kFrames; first += kPieceFrames) {
        piece.clear();
        for (std::int64_t n = first; n < first + kPieceFrames && n < kFrames; ++n) {
            const double level =
                dense ? 1.0 : 0.6 + 0.4 * std::sin(6.283185307179586 * static_cast<double>(n) / (kRate * 7.0));
            for (int c = 0; c < kChannels; ++c) {
                low[c] = 0.9 * low[c] + 0.1 * gauss(random) * 3.0;
                const double click =
                    !dense && n % kClickEvery < 24 ? 0.7 * std::exp(-static_cast<double>(n % kClickEvery) / 6.0) : 0.0;
                const auto v = static_cast<std::int32_t>(std::lround((level * low[c] + click) * kFullScale24));
                piece.push_back(static_cast<char>(v));
                piece.push_back(static_cast<char>(v >> 8));
                piece.push_back(static_cast<char>(v >> 16));
            }
        }
        out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
    }
}

struct Files {
    sonivate::FileHandle source = 0;
    sonivate::FileHandle target = 0;
    sonivate::WaveFormatInfo info;
    explicit Files(Programme pProgramme = Programme::Clicks) {
        source = sonivate::OpenFileHandle(SourcePath(pProgramme), sonivate::kOpenRead);
        info = sonivate::ReadWaveHeader(sonivate::kNoPath, source);
        std::remove(TargetPath().c_str());
        target = sonivate::OpenFileHandle(TargetPath(), sonivate::kOpenReadWrite);
    }
    ~Files() {
        sonivate::CloseFileHandle(source);
        sonivate::CloseFileHandle(target);
    }
};

// The gain at which the programme's true peak lies kOverDB over the ceiling.
double GainFor(Programme pProgramme) {
    Files files(pProgramme);
    sonivate::LimitedGain analysis;
    analysis.Analyse(files.info, files.source, 0, 0);
    return sonivate::kLimiterDefaultCeilingDBTP + kOverDB - analysis.SourceTruePeakDBTP();
}
double Gain(Programme pProgramme = Programme::Clicks) {
    static const double clicks = GainFor(Programme::Clicks);
    static const double dense = GainFor(Programme::Dense);
    return pProgramme == Programme::Dense ? dense : clicks;
}

void PlainWrite(benchmark::State& pState) {
    const double gain = Gain();
    for (auto _ : pState) {
        Files files;
        sonivate::C_EditWave editor;
        if (editor.EditWav(files.info, files.source, files.target, 0, 0, gain) != 1)
            pState.SkipWithError("plain write failed");
    }
}

// The limited copy from a source measured here: the analysis measures the
// loudness, the verified rendering is the copy.
void LimitedWrite(benchmark::State& pState) {
    const double gain = Gain();
    for (auto _ : pState) {
        Files files;
        sonivate::LimitedGain limited;
        if (limited.Analyse(files.info, files.source, 0, 0) != sonivate::LimiterStatus::Ok ||
            limited.PlanInto(gain, files.target, 0) != sonivate::LimiterStatus::Ok) {
            pState.SkipWithError(sonivate::LimiterStatusName(limited.Status()));
            break;
        }
        pState.counters["passes"] = limited.Passes();
        pState.counters["max_reduction_dB"] = limited.Report().MaxReductionDB;
        pState.counters["seconds_over_1dB"] = limited.Report().SecondsAbove1dB;
        pState.counters["true_peak_dBTP"] = limited.TruePeakDBTP();
    }
}

// The source's loudness and the meter's blocks, as the batch knows them
// from measuring the row.
struct SourceLoudness {
    double lufs = 0.0;
    std::vector<double> blocks;
};
SourceLoudness MeasureSource(Programme pProgramme) {
    {
        Files files(pProgramme);
        sonivate::LoudnessState meter(kChannels, 24, kRate, sonivate::kModeIntegrated);
        std::vector<std::uint8_t> bytes(std::size_t{1} << 20);
        const std::int64_t total = kFrames * kFrameBytes;
        for (std::int64_t at = 0; at < total;) {
            const std::int64_t count = std::min<std::int64_t>(static_cast<std::int64_t>(bytes.size()), total - at);
            sonivate::ReadHandleAt(files.source, files.info.DataOffset + at, bytes.data(), count);
            meter.Push(std::span<const std::uint8_t>(bytes.data(), static_cast<std::size_t>(count)));
            at += count;
        }
        SourceLoudness result;
        result.lufs = meter.Integrated().Value;
        const std::vector<double>& powers = meter.Meter().BlockPower();
        result.blocks.assign(powers.begin(), powers.begin() + meter.Meter().NumBlock());
        return result;
    }
}
const SourceLoudness& Measured(Programme pProgramme = Programme::Clicks) {
    static const SourceLoudness clicks = MeasureSource(Programme::Clicks);
    static const SourceLoudness dense = MeasureSource(Programme::Dense);
    return pProgramme == Programme::Dense ? dense : clicks;
}

// The source's loudness known, one analysis read, then the verified
// rendering written as the copy, with pSettings; pAfter, when given, sees
// each copy written.
void KnownLoudnessFlow(benchmark::State& pState, const sonivate::LimiterSettings& pSettings,
                       const std::function<void(Files&)>& pAfter = {}) {
    const double gain = Gain();
    const SourceLoudness& source = Measured();
    for (auto _ : pState) {
        Files files;
        sonivate::LimitedGain limited;
        if (limited.Analyse(files.info, files.source, 0, 0, source.lufs, source.blocks) !=
                sonivate::LimiterStatus::Ok ||
            limited.PlanInto(gain, files.target, 0, pSettings) != sonivate::LimiterStatus::Ok) {
            pState.SkipWithError(sonivate::LimiterStatusName(limited.Status()));
            break;
        }
        pState.counters["passes"] = limited.Passes();
        if (pAfter) pAfter(files);
    }
}

// The loudness and true peak of the copy only.
void LimitedWriteKnownLoudness(benchmark::State& pState) { KnownLoudnessFlow(pState, {}); }

// The run's flow (src/app): every figure the copy's report shows taken by
// the verifying measurement itself (LimiterSettings::MeasureAll)...
void LimitedWriteAllFigures(benchmark::State& pState) {
    sonivate::LimiterSettings settings;
    settings.MeasureAll = true;
    KnownLoudnessFlow(pState, settings);
}

// ... against measuring the written copy again for them (every figure but
// the series, true peak included), as the run did before.
void LimitedWriteMeasuredAgain(benchmark::State& pState) {
    KnownLoudnessFlow(pState, {}, [](Files& pFiles) {
        sonivate::LoudnessState meter(kChannels, 24, kRate, sonivate::kModeAllButSeries);
        std::vector<std::uint8_t> bytes(std::size_t{1} << 20);
        const std::int64_t total = kFrames * kFrameBytes;
        for (std::int64_t at = 0; at < total;) {
            const std::int64_t count = std::min<std::int64_t>(static_cast<std::int64_t>(bytes.size()), total - at);
            sonivate::ReadHandleAt(pFiles.target, at, bytes.data(), count);
            meter.Push(std::span<const std::uint8_t>(bytes.data(), static_cast<std::size_t>(count)));
            at += count;
        }
        benchmark::DoNotOptimize(meter.LoudnessRange().Value);
    });
}

// The dense programme: the plain copy and the run's flow.
void PlainWriteDense(benchmark::State& pState) {
    const double gain = Gain(Programme::Dense);
    for (auto _ : pState) {
        Files files(Programme::Dense);
        sonivate::C_EditWave editor;
        if (editor.EditWav(files.info, files.source, files.target, 0, 0, gain) != 1)
            pState.SkipWithError("plain write failed");
    }
}
void LimitedWriteDense(benchmark::State& pState) {
    const double gain = Gain(Programme::Dense);
    const SourceLoudness& source = Measured(Programme::Dense);
    for (auto _ : pState) {
        Files files(Programme::Dense);
        sonivate::LimitedGain limited;
        if (limited.Analyse(files.info, files.source, 0, 0, source.lufs, source.blocks) !=
                sonivate::LimiterStatus::Ok ||
            limited.PlanInto(gain, files.target, 0) != sonivate::LimiterStatus::Ok) {
            pState.SkipWithError(sonivate::LimiterStatusName(limited.Status()));
            break;
        }
        pState.counters["passes"] = limited.Passes();
        pState.counters["seconds_over_1dB"] = limited.Report().SecondsAbove1dB;
    }
}

// The earlier flow, for comparison: the known loudness, a verified plan that
// renders without writing, then the writer's copy with the envelope.
void PlanThenWrite(benchmark::State& pState) {
    const double gain = Gain();
    const SourceLoudness& source = Measured();
    for (auto _ : pState) {
        Files files;
        sonivate::LimitedGain limited;
        if (limited.Analyse(files.info, files.source, 0, 0, source.lufs, source.blocks) !=
                sonivate::LimiterStatus::Ok ||
            limited.Plan(gain) != sonivate::LimiterStatus::Ok) {
            pState.SkipWithError(sonivate::LimiterStatusName(limited.Status()));
            break;
        }
        sonivate::C_EditWave editor;
        if (editor.EditWav(files.info, files.source, files.target, 0, 0, limited.GainDB(), limited.Envelope()) != 1)
            pState.SkipWithError("limited write failed");
        pState.counters["passes"] = limited.Passes();
    }
}

// The parts of the run's flow alone: the analysis read, and the verified
// rendering written as the copy.
void AnalyseKnownLoudness(benchmark::State& pState) {
    const SourceLoudness& source = Measured();
    for (auto _ : pState) {
        Files files;
        sonivate::LimitedGain limited;
        if (limited.Analyse(files.info, files.source, 0, 0, source.lufs, source.blocks) != sonivate::LimiterStatus::Ok)
            pState.SkipWithError(sonivate::LimiterStatusName(limited.Status()));
    }
}
void PlanInto(benchmark::State& pState) {
    const double gain = Gain();
    const SourceLoudness& source = Measured();
    for (auto _ : pState) {
        pState.PauseTiming();
        Files files;
        sonivate::LimitedGain limited;
        const bool analysed =
            limited.Analyse(files.info, files.source, 0, 0, source.lufs, source.blocks) == sonivate::LimiterStatus::Ok;
        pState.ResumeTiming();
        if (!analysed || limited.PlanInto(gain, files.target, 0) != sonivate::LimiterStatus::Ok) {
            pState.SkipWithError(sonivate::LimiterStatusName(limited.Status()));
            break;
        }
    }
}

BENCHMARK(PlainWrite)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);
BENCHMARK(LimitedWrite)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);
BENCHMARK(LimitedWriteKnownLoudness)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);
BENCHMARK(LimitedWriteAllFigures)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);
BENCHMARK(LimitedWriteMeasuredAgain)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);
BENCHMARK(PlanThenWrite)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);
BENCHMARK(PlainWriteDense)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);
BENCHMARK(LimitedWriteDense)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);
BENCHMARK(AnalyseKnownLoudness)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);
BENCHMARK(PlanInto)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--dir") gDir = argv[i + 1];
    benchmark::Initialize(&argc, argv);
    WriteProgramme(Programme::Clicks);
    WriteProgramme(Programme::Dense);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::remove(SourcePath(Programme::Clicks).c_str());
    std::remove(SourcePath(Programme::Dense).c_str());
    std::remove(TargetPath().c_str());
    return 0;
}
