// sonivate-bench: speed and memory of the loudness meter (and of the gain
// writer), on a generated 24-bit stereo file, against an independent
// reference meter when one is available.
//
// Also: the loudness series riding on the same read, the meter over one
// open handle (a byte source) and the same audio pushed to a LoudnessState,
// and the batch report of 200 files in each format.
//
// Usage: sonivate-bench [--minutes M] [--repeat R] [--dir FOLDER] [--write-only]
// --write-only (needs --dir) leaves FOLDER/programme.wav for other
// benchmarks and stops.
// Build it in Release; the figures of a Debug or sanitizer build say little.

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/write_adjusted_wave.h"
#include "common/basic_file.h"
#include "loudness/broadcast_measures.h"
#include "loudness/c_lkfsfct.h"
#include "loudness/loudness_state.h"
#include "wavefile/byte_source.h"
#include "report/sample_report.h"
#include "wavefile/wave_mmio.h"

#if defined(SONIVATE_HAVE_EBUR128)
#include <ebur128.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::int32_t kRate = 48000;
constexpr std::int16_t kChannels = 2;
constexpr std::int16_t kBits = 24;
constexpr std::int32_t kFrameBytes = kChannels * kBits / 8;
constexpr std::int32_t kFullScale24 = 8388607;
constexpr std::int32_t kReadFrames = 16 * kRate;  // the meter's own piece size
constexpr std::int32_t kCopyBlockBytes = 8 << 20;
constexpr double kTargetLKFS = -24.0;

struct Options {
    double minutes = 10.0;
    int repeat = 3;
    std::string dir;
    bool writeOnly = false;
};

void Put16(std::vector<std::uint8_t>& pOut, std::uint32_t pValue) {
    pOut.push_back(static_cast<std::uint8_t>(pValue & 0xFF));
    pOut.push_back(static_cast<std::uint8_t>((pValue >> 8) & 0xFF));
}
void Put32(std::vector<std::uint8_t>& pOut, std::uint32_t pValue) {
    Put16(pOut, pValue & 0xFFFF);
    Put16(pOut, pValue >> 16);
}
void PutText(std::vector<std::uint8_t>& pOut, const char* pText) { pOut.insert(pOut.end(), pText, pText + 4); }

// A programme-like signal: low-passed noise with a slow level envelope and
// a tone an octave apart on each side, around -20 dBFS, written in pieces so
// that the generator never holds the whole file.
bool WriteProgramme(const std::string& pPath, std::int64_t pFrames) {
    std::ofstream out(pPath, std::ios::binary | std::ios::trunc);
    const auto dataBytes = static_cast<std::uint32_t>(pFrames * kFrameBytes);
    std::vector<std::uint8_t> header;
    PutText(header, "RIFF");
    Put32(header, 36 + dataBytes);
    PutText(header, "WAVE");
    PutText(header, "fmt ");
    Put32(header, 16);
    Put16(header, 1);
    Put16(header, kChannels);
    Put32(header, kRate);
    Put32(header, kRate * kFrameBytes);
    Put16(header, kFrameBytes);
    Put16(header, kBits);
    PutText(header, "data");
    Put32(header, dataBytes);
    out.write(reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));

    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    auto noise = [&] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<double>(static_cast<std::int64_t>(state >> 11) - (1ll << 52)) /
               static_cast<double>(1ll << 52);
    };
    double lowL = 0.0, lowR = 0.0;
    std::vector<std::uint8_t> piece;
    const double twoPi = 6.283185307179586;
    for (std::int64_t n = 0; n < pFrames; ++n) {
        const double t = static_cast<double>(n) / kRate;
        const double envelope = 0.55 + 0.45 * std::sin(twoPi * t / 7.3) * std::sin(twoPi * t / 31.0);
        lowL += 0.08 * (noise() - lowL);
        lowR += 0.08 * (noise() - lowR);
        const double left = envelope * (0.9 * lowL + 0.05 * std::sin(twoPi * 220.0 * t));
        const double right = envelope * (0.9 * lowR + 0.05 * std::sin(twoPi * 440.0 * t));
        for (const double v : {left, right}) {
            const auto s = static_cast<std::int32_t>(std::lround(std::clamp(v, -1.0, 1.0) * kFullScale24));
            const auto bits = static_cast<std::uint32_t>(s);
            piece.push_back(static_cast<std::uint8_t>(bits & 0xFF));
            piece.push_back(static_cast<std::uint8_t>((bits >> 8) & 0xFF));
            piece.push_back(static_cast<std::uint8_t>((bits >> 16) & 0xFF));
        }
        if (piece.size() >= (1u << 20) || n + 1 == pFrames) {
            out.write(reinterpret_cast<const char*>(piece.data()), static_cast<std::streamsize>(piece.size()));
            piece.clear();
        }
    }
    return static_cast<bool>(out);
}

// Peak resident memory since the last reset, in KiB. Linux lets a process
// reset its own high-water mark, so each phase reports its own peak.
bool ResetPeakMemory() {
    std::ofstream refs("/proc/self/clear_refs");
    refs << "5";
    return static_cast<bool>(refs);
}
long PeakMemoryKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

struct Timing {
    double best = 1e300;     // wall clock, s
    double median = 0.0;     // wall clock, s
    double bestCpu = 1e300;  // user + system time of the process, s
    long peakKiB = 0;
};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& pTime) {
        return static_cast<double>(pTime.tv_sec) + static_cast<double>(pTime.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

Timing Time(int pRepeat, const std::function<void()>& pBefore, const std::function<void()>& pRun) {
    std::vector<double> seconds;
    Timing timing;
    for (int r = 0; r < pRepeat; ++r) {
        if (pBefore) pBefore();
        ResetPeakMemory();
        const auto start = Clock::now();
        const double cpuStart = CpuSeconds();
        pRun();
        seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        timing.bestCpu = std::min(timing.bestCpu, CpuSeconds() - cpuStart);
        timing.peakKiB = std::max(timing.peakKiB, PeakMemoryKiB());
    }
    std::sort(seconds.begin(), seconds.end());
    timing.best = seconds.front();
    timing.median = seconds[seconds.size() / 2];
    return timing;
}

// Two measurements timed in turns, so that a machine shared with other work
// slows both alike and their ratio stays meaningful.
std::pair<Timing, Timing> TimeInTurns(int pRepeat, const std::function<void()>& pFirst,
                                      const std::function<void()>& pSecond) {
    std::pair<Timing, Timing> timings;
    std::vector<double> first, second;
    for (int r = 0; r < pRepeat; ++r) {
        const Timing a = Time(1, nullptr, pFirst);
        const Timing b = Time(1, nullptr, pSecond);
        first.push_back(a.best);
        second.push_back(b.best);
        for (auto [into, from] : {std::pair{&timings.first, &a}, std::pair{&timings.second, &b}}) {
            into->best = std::min(into->best, from->best);
            into->bestCpu = std::min(into->bestCpu, from->bestCpu);
            into->peakKiB = std::max(into->peakKiB, from->peakKiB);
        }
    }
    std::sort(first.begin(), first.end());
    std::sort(second.begin(), second.end());
    timings.first.median = first[first.size() / 2];
    timings.second.median = second[second.size() / 2];
    return timings;
}

void WarmCache(const std::string& pPath) {
    std::ifstream in(pPath, std::ios::binary);
    std::vector<char> buffer(1 << 20);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
    }
}

// FNV-1a over the bytes of the figures, to see at a glance that two builds
// give the same results to the bit.
std::uint64_t Fingerprint(const sonivate::C_LKFSFCT& pMeter, double pGain) {
    std::uint64_t hash = 1469598103934665603ull;
    auto mix = [&](const void* pData, size_t pSize) {
        const auto* bytes = static_cast<const std::uint8_t*>(pData);
        for (size_t i = 0; i < pSize; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
    };
    const std::int32_t blocks = pMeter.NumBlock();
    mix(&blocks, sizeof(blocks));
    mix(pMeter.BlockPower().data(), sizeof(double) * static_cast<size_t>(blocks));
    const double values[] = {pMeter.LKFSValue(), pMeter.PeakValue(), pGain};
    mix(values, sizeof(values));
    return hash;
}

void Report(const char* pWhat, const Timing& pTiming, double pAudioSeconds) {
    std::printf("%-30s %7.3f s best %7.3f s median %7.3f s CPU  %6.0f x realtime  peak RSS %5.1f MiB\n", pWhat,
                pTiming.best, pTiming.median, pTiming.bestCpu, pAudioSeconds / pTiming.best,
                static_cast<double>(pTiming.peakKiB) / 1024.0);
}

#if defined(SONIVATE_HAVE_EBUR128)
// The reference meter over the same file, read in the same 16-second pieces
// through the same file routines, integrated loudness only.
struct Ebur128Figures {
    double loudness = 0.0, truePeak = 0.0, range = 0.0;
};
Ebur128Figures Ebur128Measure(const std::string& pPath, const sonivate::WaveFormatInfo& pInfo, int pMode) {
    ebur128_state* state = ebur128_init(kChannels, kRate, pMode);
    std::vector<std::uint8_t> raw(static_cast<size_t>(kReadFrames) * kFrameBytes);
    std::vector<int> samples(static_cast<size_t>(kReadFrames) * kChannels);
    sonivate::FileHandle file = sonivate::OpenFileHandle(pPath, sonivate::kOpenRead);
    for (std::int64_t position = 0; position < pInfo.NumSamples && file != 0;) {
        const auto frames = static_cast<std::int32_t>(std::min<std::int64_t>(kReadFrames, pInfo.NumSamples - position));
        file = sonivate::ReadFileAt(raw.data(), frames * kFrameBytes, pInfo.DataOffset + position * kFrameBytes, file,
                                    pPath, false);
        const size_t count = static_cast<size_t>(frames) * kChannels;
        for (size_t i = 0; i < count; ++i) {
            const std::uint8_t* b = &raw[3 * i];
            // 24-bit sample in the top three bytes of a 32-bit int.
            samples[i] =
                static_cast<int>((static_cast<std::uint32_t>(b[0]) << 8) | (static_cast<std::uint32_t>(b[1]) << 16) |
                                 (static_cast<std::uint32_t>(b[2]) << 24));
        }
        ebur128_add_frames_int(state, samples.data(), static_cast<size_t>(frames));
        position += frames;
    }
    sonivate::CloseFileHandle(file);
    Ebur128Figures figures;
    ebur128_loudness_global(state, &figures.loudness);
    if (pMode & EBUR128_MODE_TRUE_PEAK) {
        for (unsigned c = 0; c < static_cast<unsigned>(kChannels); ++c) {
            double peak = 0.0;
            ebur128_true_peak(state, c, &peak);
            figures.truePeak = std::max(figures.truePeak, peak);
        }
        figures.truePeak = 20.0 * std::log10(figures.truePeak);
    }
    if (pMode & EBUR128_MODE_LRA) ebur128_loudness_range(state, &figures.range);
    ebur128_destroy(&state);
    return figures;
}
#endif

class QuietHost : public sonivate::ProgressHost {
public:
    void ShowStatus(const std::string&) override {}
    void SetProgress(std::int32_t) override {}
    bool StopRequested() const override { return false; }
};

// A byte-for-byte copy through the same file routines, in the writer's block size.
bool PlainCopy(const std::string& pSource, const std::string& pTarget) {
    const std::int64_t size = sonivate::FileSizeOfPath(pSource);
    std::vector<std::uint8_t> buffer(kCopyBlockBytes);
    sonivate::FileHandle in = sonivate::OpenFileHandle(pSource, sonivate::kOpenRead);
    sonivate::FileHandle out = sonivate::OpenFileHandle(pTarget, sonivate::kOpenReadWrite);
    for (std::int64_t at = 0; at < size && in != 0 && out != 0;) {
        const auto count = static_cast<std::int32_t>(std::min<std::int64_t>(kCopyBlockBytes, size - at));
        in = sonivate::ReadFileAt(buffer.data(), count, at, in, pSource, false);
        out = sonivate::WriteFileAt(buffer.data(), count, sonivate::AppendPosition, out, pTarget, false);
        at += count;
    }
    const bool ok = in != 0 && out != 0;
    sonivate::CloseFileHandle(in);
    sonivate::CloseFileHandle(out);
    return ok;
}

bool ParseOptions(int argc, char** argv, Options& pOptions) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 < argc && arg == "--minutes")
            pOptions.minutes = std::atof(argv[++i]);
        else if (i + 1 < argc && arg == "--repeat")
            pOptions.repeat = std::max(1, std::atoi(argv[++i]));
        else if (i + 1 < argc && arg == "--dir")
            pOptions.dir = argv[++i];
        else if (arg == "--write-only")
            pOptions.writeOnly = true;
        else
            return false;
    }
    // Without a folder of the caller's the file would go where nobody finds it.
    return pOptions.minutes > 0.0 && (!pOptions.writeOnly || !pOptions.dir.empty());
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: %s [--minutes M] [--repeat R] [--dir FOLDER] [--write-only]\n", argv[0]);
        return 2;
    }
    std::string folder = options.dir;
    bool ownFolder = false;
    if (folder.empty()) {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/sonivate-bench-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) return 1;
        folder = pattern;
        ownFolder = true;
    }
    const std::string source = folder + "/programme.wav";
    const auto frames = static_cast<std::int64_t>(options.minutes * 60.0 * kRate);
    const double audioSeconds = static_cast<double>(frames) / kRate;
    if (!WriteProgramme(source, frames)) {
        std::fprintf(stderr, "cannot write %s\n", source.c_str());
        return 1;
    }
    if (options.writeOnly) return 0;
    const sonivate::WaveFormatInfo info = sonivate::ReadWaveHeader(source, 0);
    std::printf("%s: %.1f min, 24-bit stereo, 48000 Hz, %.1f MiB; best of %d runs, page cache warm\n", source.c_str(),
                audioSeconds / 60.0, static_cast<double>(info.FileSize) / (1 << 20), options.repeat);
    WarmCache(source);

    int status = 0;
    sonivate::C_LKFSFCT meter;
    double gain = 0.0;
    // The same measurement with every broadcast measure riding on its read.
    sonivate::C_LKFSFCT qcMeter;
    sonivate::BroadcastMeasures extras;
    extras.Listen(qcMeter);
    double qcGain = 0.0, qcRange = 0.0;
    const auto [meterTiming, extrasTiming] = TimeInTurns(
        options.repeat,
        [&] {
            if (meter.MeasureLKFS(source, 0, 0) != 1) status = 1;
            gain = meter.AsymptoteLKFS(kTargetLKFS);
        },
        [&] {
            if (qcMeter.MeasureLKFS(source, 0, 0) != 1) status = 1;
            qcGain = qcMeter.AsymptoteLKFS(kTargetLKFS);
            qcRange = extras.LoudnessRange().value_or(0.0);
        });
    Report("MeasureLKFS + AsymptoteLKFS", meterTiming, audioSeconds);
    std::printf("  blocks %d  LKFS %.17g  peak %.17g dBFS  gain %.17g dB\n  fingerprint %016" PRIx64 "\n",
                meter.NumBlock(), meter.LKFSValue(), meter.PeakValue(), gain, Fingerprint(meter, gain));

    Report("  + true peak, M, S, LRA", extrasTiming, audioSeconds);
    std::printf("  true peak %.4f dBTP  LRA %.4f LU  max M %.4f  max S %.4f LUFS\n  fingerprint %016" PRIx64 " (%s)\n",
                extras.TruePeak().value_or(0.0), qcRange, extras.MaxMomentary().value_or(0.0),
                extras.MaxShortTerm().value_or(0.0), Fingerprint(qcMeter, qcGain),
                Fingerprint(qcMeter, qcGain) == Fingerprint(meter, gain) ? "unchanged" : "CHANGED");
    std::printf("all extras / integrated only: %.2f (wall), %.2f (CPU); target <= 1.5\n",
                extrasTiming.best / meterTiming.best, extrasTiming.bestCpu / meterTiming.bestCpu);

    // The same again keeping the loudness series: the figures must not move.
    sonivate::C_LKFSFCT seriesMeter;
    sonivate::BroadcastMeasures seriesExtras;
    seriesExtras.KeepSeries(true);
    seriesExtras.Listen(seriesMeter);
    double seriesGain = 0.0;
    const Timing seriesTiming = Time(options.repeat, nullptr, [&] {
        if (seriesMeter.MeasureLKFS(source, 0, 0) != 1) status = 1;
        seriesGain = seriesMeter.AsymptoteLKFS(kTargetLKFS);
    });
    const sonivate::LoudnessSeries series = seriesExtras.Series();
    Report("  + series (M, S every 100 ms)", seriesTiming, audioSeconds);
    std::printf("  %zu steps  max M %.4f  max S %.4f LUFS\n  fingerprint %016" PRIx64 " (%s)\n",
                series.Momentary.size(), seriesExtras.MaxMomentary().value_or(0.0),
                seriesExtras.MaxShortTerm().value_or(0.0), Fingerprint(seriesMeter, seriesGain),
                Fingerprint(seriesMeter, seriesGain) == Fingerprint(meter, gain) ? "unchanged" : "CHANGED");

    // The batch's way: the file opened once and measured through a byte
    // source over that handle, timed in turns with the path form.
    sonivate::C_LKFSFCT sourceMeter;
    const sonivate::ScopedHandle opened(sonivate::OpenFileHandle(source, sonivate::kOpenRead));
    const sonivate::HandleSource bytes(opened.handle);
    double sourceGain = 0.0;
    const auto [pathTiming, sourceTiming] = TimeInTurns(
        options.repeat,
        [&] {
            if (meter.MeasureLKFS(source, 0, 0) != 1) status = 1;
            gain = meter.AsymptoteLKFS(kTargetLKFS);
        },
        [&] {
            if (sourceMeter.MeasureLKFS(bytes, 0, 0) != 1) status = 1;
            sourceGain = sourceMeter.AsymptoteLKFS(kTargetLKFS);
        });
    Report("MeasureLKFS(path), again", pathTiming, audioSeconds);
    Report("MeasureLKFS(open handle)", sourceTiming, audioSeconds);
    std::printf("  fingerprint %016" PRIx64 " (%s); handle / path: %.2f (wall), %.2f (CPU)\n",
                Fingerprint(sourceMeter, sourceGain),
                Fingerprint(sourceMeter, sourceGain) == Fingerprint(meter, gain) ? "unchanged" : "CHANGED",
                sourceTiming.best / pathTiming.best, sourceTiming.bestCpu / pathTiming.bestCpu);

    // The same audio pushed by the caller in 16-second pieces to one state
    // keeping every figure but the series.
    std::vector<std::uint8_t> piece(static_cast<size_t>(kReadFrames) * kFrameBytes);
    double pushGain = 0.0;
    sonivate::LoudnessFigure<double> pushedRange, pushedTruePeak;
    std::uint64_t pushedPrint = 0;
    const Timing pushTiming = Time(options.repeat, nullptr, [&] {
        sonivate::LoudnessState state(kChannels, kBits, kRate, sonivate::kModeAllButSeries);
        for (std::int64_t at = 0; at < info.NumSamples;) {
            const std::int64_t pieceFrames = std::min<std::int64_t>(kReadFrames, info.NumSamples - at);
            const std::int64_t count = pieceFrames * kFrameBytes;
            if (bytes.ReadAt(info.DataOffset + at * kFrameBytes, piece.data(), count) != count) status = 1;
            state.Push(std::span<const std::uint8_t>(piece.data(), static_cast<size_t>(count)));
            at += pieceFrames;
        }
        if (!state.Finish()) status = 1;
        pushGain = state.Meter().AsymptoteLKFS(kTargetLKFS);
        pushedRange = state.LoudnessRange();
        pushedTruePeak = state.TruePeak();
        pushedPrint = Fingerprint(state.Meter(), pushGain);
    });
    Report("LoudnessState push, all but series", pushTiming, audioSeconds);
    std::printf("  true peak %.4f dBTP  LRA %.4f LU\n  fingerprint %016" PRIx64
                " (%s); push / listening read: %.2f (wall)\n",
                pushedTruePeak.Value, pushedRange.Value, pushedPrint,
                pushedPrint == Fingerprint(meter, gain) ? "unchanged" : "CHANGED", pushTiming.best / extrasTiming.best);

#if defined(SONIVATE_HAVE_EBUR128)
    double reference = 0.0;
    const Timing referenceTiming =
        Time(options.repeat, nullptr, [&] { reference = Ebur128Measure(source, info, EBUR128_MODE_I).loudness; });
    Report("libebur128 (EBUR128_MODE_I)", referenceTiming, audioSeconds);
    std::printf("  LKFS %.17g  (differs from MeasureLKFS by %+.6f LU)\n", reference, reference - meter.LKFSValue());
    std::printf("meter speed / libebur128 speed: %.2f (wall), %.2f (CPU)\n", referenceTiming.best / meterTiming.best,
                referenceTiming.bestCpu / meterTiming.bestCpu);
    Ebur128Figures full;
    const Timing fullTiming = Time(options.repeat, nullptr, [&] {
        full = Ebur128Measure(source, info, EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK | EBUR128_MODE_LRA);
    });
    Report("libebur128 (I + TRUE_PEAK + LRA)", fullTiming, audioSeconds);
    std::printf("  true peak %.4f dBTP  LRA %.4f LU\n", full.truePeak, full.range);
    std::printf("all extras speed / libebur128 I+TP+LRA speed: %.2f (wall), %.2f (CPU); target > 1\n",
                fullTiming.best / extrasTiming.best, fullTiming.bestCpu / extrasTiming.bestCpu);
#else
    std::printf("libebur128 not found at configure time: no reference comparison\n");
#endif

    // Gain writer against a plain copy of the same file.
    const std::string target = folder + "/adjusted.wav";
    const std::string copy = folder + "/copy.wav";
    QuietHost host;
    const Timing writerTiming = Time(
        options.repeat, [&] { ::unlink(target.c_str()); },
        [&] {
            if (sonivate::WriteAdjustedWave(source, target, 0, info.NumSamples, gain, host) != 1) status = 1;
        });
    Report("WriteAdjustedWave", writerTiming, audioSeconds);
    const Timing copyTiming = Time(
        options.repeat, [&] { ::unlink(copy.c_str()); },
        [&] {
            if (!PlainCopy(source, copy)) status = 1;
        });
    Report("plain copy (8 MiB blocks)", copyTiming, audioSeconds);
    std::printf("writer speed / plain copy speed: %.2f (wall), %.2f (CPU)\n", copyTiming.best / writerTiming.best,
                copyTiming.bestCpu / writerTiming.bestCpu);
    ::unlink(target.c_str());
    ::unlink(copy.c_str());

    // The batch report of 200 commercials of 60 s, each format.
    const sonivate::report::BatchReport batch = sonivate::test::SampleReport(200, 60.0);
    for (const char* extension : {"pdf", "html", "csv"}) {
        const std::string reportPath = folder + "/report." + extension;
        const Timing reportTiming = Time(options.repeat, nullptr, [&] {
            if (!sonivate::report::WriteReport(batch, reportPath).ok()) status = 1;
        });
        const std::string what = std::string("WriteReport 200 rows .") + extension;
        std::printf("%-30s %7.3f s best %7.3f s median %7.3f s CPU  %8.2f MiB file  peak RSS %5.1f MiB\n", what.c_str(),
                    reportTiming.best, reportTiming.median, reportTiming.bestCpu,
                    static_cast<double>(sonivate::FileSizeOfPath(reportPath)) / (1 << 20),
                    static_cast<double>(reportTiming.peakKiB) / 1024.0);
        ::unlink(reportPath.c_str());
    }

    if (ownFolder) {
        ::unlink(source.c_str());
        ::rmdir(folder.c_str());
    }
    return status;
}

// fontconfig, cairo and pango keep their font caches for the life of the
// process; a sanitizer build must not count them as the report's leaks.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libcairo.so\nleak:libpango-1.0.so\nleak:libpangoft2-1.0.so\n"
           "leak:libpangocairo-1.0.so\nleak:libglib-2.0.so\nleak:libharfbuzz.so\n";
}
