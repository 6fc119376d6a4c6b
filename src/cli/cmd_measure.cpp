// sonivate-cli measure: loudness, peak and the gain to a target of WAV
// files over a frame range, as a table or as JSON.

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "common/formatting.h"
#include "common/paths.h"
#include "loudness/c_lkfsfct.h"
#include "wavefile/wave_mmio.h"

namespace sonivate::cli {
namespace {

using Json = nlohmann::ordered_json;

constexpr double kDefaultTargetLKFS = -24.0;
// Decimals of the list's texts: loudness and peak "0.00", gain "0.000".
constexpr std::int32_t kLevelDecimals = 2;
constexpr std::int32_t kGainDecimals = 3;

struct MeasureOptions {
    std::int64_t start = 0;
    std::int64_t end = 0;
    double target = kDefaultTargetLKFS;
    bool json = false;
    std::vector<std::string> files;
};

struct Measurement {
    std::string path;
    std::int32_t ok = 0;
    std::int32_t blocks = 0;
    double lkfs = 0.0;  // LKFS
    double peak = 0.0;  // dBFS
    double gain = 0.0;  // dB to the target
};

// The K-weighting coefficients are those for 48000 Hz; at another rate the
// figures would be wrong, so such files are refused as the file list does.
constexpr std::int32_t kMeasuredRate = 48000;

Measurement Measure(const std::string& pPath, const MeasureOptions& pOptions, bool& pWrongRate) {
    C_LKFSFCT meter;
    Measurement m;
    m.path = pPath;
    const WaveFormatInfo info = ReadWaveHeader(pPath, 0);
    pWrongRate = info.Valid == 1 && info.SampleRate != kMeasuredRate;
    if (!pWrongRate) m.ok = meter.MeasureLKFS(pPath, pOptions.start, pOptions.end);
    m.blocks = meter.NumBlock();
    m.lkfs = meter.LKFSValue();
    m.peak = meter.PeakValue();
    m.gain = meter.AsymptoteLKFS(pOptions.target);
    return m;
}

Json ToJson(const Measurement& pM) {
    Json object;
    object["path"] = pM.path;
    object["ok"] = pM.ok;
    object["blocks"] = pM.blocks;
    object["lkfs"] = pM.lkfs;
    object["peak"] = pM.peak;
    object["gain"] = pM.gain;
    object["lkfs_text"] = FormatFixed(pM.lkfs, kLevelDecimals);
    object["peak_text"] = FormatFixed(pM.peak, kLevelDecimals);
    object["gain_text"] = FormatFixed(pM.gain, kGainDecimals);
    return object;
}

void PrintTable(const std::vector<Measurement>& pResults) {
    std::printf("%9s %10s %9s %7s  %s\n", "LKFS", "peak dBFS", "gain dB", "blocks", "file");
    for (const Measurement& m : pResults) {
        if (m.ok == 1)
            std::printf("%9s %10s %9s %7d  %s\n", FormatFixed(m.lkfs, kLevelDecimals).c_str(),
                        FormatFixed(m.peak, kLevelDecimals).c_str(), FormatFixed(m.gain, kGainDecimals).c_str(),
                        m.blocks, m.path.c_str());
        else
            std::printf("%9s %10s %9s %7s  %s (not measured)\n", "-", "-", "-", "-", m.path.c_str());
    }
}

}  // namespace

Command AddMeasureCommand(CLI::App& pParent) {
    auto options = std::make_shared<MeasureOptions>();
    Command command;
    CLI::App* app = pParent.add_subcommand(
        "measure", "Measure the loudness (LKFS), the sample peak (dBFS) and the gain to a target of WAV files");
    app->add_option("--start", options->start, "First frame of the range, counted from the first frame of the data")
        ->check(CLI::NonNegativeNumber);
    app->add_option("--end", options->end, "Frame where the range ends (not measured); 0 or less: the end of the data");
    app->add_option("--target", options->target, "Target loudness in LKFS (default -24.0)");
    app->add_flag("--json", options->json, "One JSON array, one object per file in argument order");
    app->add_option("FILE", options->files, "WAV files")->required();
    command.app = app;
    command.run = [options] {
        std::vector<Measurement> results;
        bool failed = false;
        for (const std::string& path : options->files) {
            bool wrongRate = false;
            results.push_back(Measure(path, *options, wrongRate));
            if (results.back().ok != 1) {
                failed = true;
                if (wrongRate)
                    std::fprintf(stderr, "sonivate-cli: %s: only 48000 Hz files can be measured\n", path.c_str());
                else if (FileExists(path) != 1)
                    std::fprintf(stderr, "sonivate-cli: %s: no such file\n", path.c_str());
                else
                    std::fprintf(stderr,
                                 "sonivate-cli: %s: not measured (not a 16- or 24-bit PCM WAV file of 1, 2, 6 or 8 "
                                 "channels, or the range holds less than 400 ms of its audio)\n",
                                 path.c_str());
            }
        }
        if (options->json) {
            Json all = Json::array();
            for (const Measurement& m : results) all.push_back(ToJson(m));
            // Paths need not be valid UTF-8.
            std::cout << all.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
        } else {
            PrintTable(results);
        }
        std::cout.flush();
        return failed ? kExitFailed : kExitOk;
    };
    return command;
}

}  // namespace sonivate::cli
