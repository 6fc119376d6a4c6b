// sonivate-cli measure: loudness, peak and the gain to a target of WAV
// files over a frame range, as a table or as JSON.

#include <CLI/CLI.hpp>
#include <cmath>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/output_copy.h"
#include "wavefile/encoded_audio.h"
#include "wavefile/byte_source.h"
#include "cli/cli_text.h"
#include "common/decimal_text.h"
#include "wavefile/wave_check.h"
#include "cli/commands.h"
#include "common/formatting.h"
#include "common/paths.h"
#include "cli/broadcast_output.h"
#include "loudness/broadcast_measures.h"
#include "loudness/c_lkfsfct.h"
#include "platform/pending_file.h"
#include "wavefile/wave_extensible.h"
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
    bool series = false;  // with --json: momentary and short-term every 100 ms
    ExtrasChoice extras;
    std::vector<std::string> files;
};

struct Measurement {
    std::string path;
    std::int32_t ok = 0;
    std::int32_t blocks = 0;
    double lkfs = 0.0;  // LKFS
    double peak = 0.0;  // dBFS
    double gain = 0.0;  // dB to the target
    bool extras = false;
    BroadcastValues values;
    FileVerdicts verdicts;
    RowReason reason = RowReason::None;  // why not measured
    LoudnessSeries series;
};

// A loudness value of the series; null before its window is full.
Json SeriesValue(double pValue) { return std::isfinite(pValue) ? Json(pValue) : Json(nullptr); }

Json SeriesJson(const LoudnessSeries& pSeries) {
    Json series;
    series["step_seconds"] = LoudnessSeries::kStepSeconds;
    series["step_frames"] = pSeries.StepFrames;
    Json momentary = Json::array(), shortTerm = Json::array();
    for (const double value : pSeries.Momentary) momentary.push_back(SeriesValue(value));
    for (const double value : pSeries.ShortTerm) shortTerm.push_back(SeriesValue(value));
    series["momentary"] = std::move(momentary);
    series["short_term"] = std::move(shortTerm);
    return series;
}

Measurement Measure(const std::string& pPath, const MeasureOptions& pOptions) {
    C_LKFSFCT meter;
    BroadcastMeasures extras;
    if (!pOptions.extras.noExtras) extras.Listen(meter);
    extras.KeepSeries(pOptions.series && pOptions.json);
    Measurement m;
    m.path = pPath;
    // Nothing is opened that is not a regular file the process may read,
    // and it is opened once: the judgement and the measurement read the
    // same file.
    SourceHold source;
    m.reason = source.Open(pPath);
    if (m.reason != RowReason::None) return m;
    const HandleSource bytes(HandleOfDescriptor(source.Descriptor()));
    // The same judgement as the file list's and run's.
    const WaveCheck check = CheckWave(bytes);
    m.reason = ReasonOfCheck(check);
    if (m.reason == RowReason::None && DetectEncodedAudio(bytes, check.Info()).Found)
        m.reason = RowReason::EncodedAudio;
    if (m.reason == RowReason::None && (m.ok = meter.MeasureLKFS(bytes, pOptions.start, pOptions.end)) != 1)
        m.reason = RowReason::NotMeasured;
    m.blocks = meter.NumBlock();
    m.lkfs = meter.LKFSValue();
    m.peak = meter.PeakValue();
    m.gain = meter.AsymptoteLKFS(pOptions.target);
    m.extras = !pOptions.extras.noExtras;
    if (m.ok == 1 && m.extras && extras.Begun()) {
        m.values.truePeak = extras.TruePeak();
        m.values.lra = extras.LoudnessRange();
        m.values.maxMomentary = extras.MaxMomentary();
        m.values.maxShortTerm = extras.MaxShortTerm();
        m.values.downmixTruePeak = extras.DownmixTruePeak();
        if (extras.KeepsSeries()) m.series = extras.Series();
    }
    if (m.ok == 1 && pOptions.extras.profile) {
        // The copy as it would be written: every level moves by the gain as
        // shown, and the loudness is the gated loudness after that gain.
        const double gain = ParseDecimal(FormatFixed(m.gain, kGainDecimals)).value_or(0.0);
        m.verdicts = JudgeFile(*pOptions.extras.profile, m.lkfs, meter.CalcLKFS(gain), gain, m.peak, m.values);
    }
    return m;
}

// A failed measurement has no figures: null numbers and empty texts.
Json ToJson(const Measurement& pM, const MeasureOptions& pOptions) {
    const bool ok = pM.ok == 1;
    Json object;
    PutPath(object, "path", pM.path);
    object["ok"] = pM.ok;
    object["blocks"] = pM.blocks;
    object["lkfs"] = ok ? Json(pM.lkfs) : Json(nullptr);
    object["peak"] = ok ? Json(pM.peak) : Json(nullptr);
    object["gain"] = ok ? Json(pM.gain) : Json(nullptr);
    object["lkfs_text"] = ok ? FormatFixed(pM.lkfs, kLevelDecimals) : "";
    object["peak_text"] = ok ? FormatFixed(pM.peak, kLevelDecimals) : "";
    object["gain_text"] = ok ? FormatFixed(pM.gain, kGainDecimals) : "";
    object["reason"] = ok ? Json(nullptr) : Json(ReasonCode(pM.reason));
    object["reason_text"] = ok ? Json(nullptr) : Json(Say(pM.reason));
    if (pM.extras) AddBroadcastKeys(object, pM.values);
    if (pOptions.extras.profile) AddVerdictKeys(object, *pOptions.extras.profile, ok ? &pM.verdicts : nullptr);
    if (pOptions.series) object["series"] = ok && pM.extras ? SeriesJson(pM.series) : Json(nullptr);
    if (pM.extras)
        AddDownmixKeys(object, pM.values, pOptions.extras.profile ? &*pOptions.extras.profile : nullptr,
                       ok ? &pM.verdicts : nullptr);
    return object;
}

void PrintTable(const std::vector<Measurement>& pResults, const MeasureOptions& pOptions) {
    const bool extras = !pOptions.extras.noExtras;
    const bool profile = pOptions.extras.profile.has_value();
    std::printf("%9s %10s %9s %7s", "LKFS", "peak dBFS", "gain dB", "blocks");
    if (extras) std::printf(" %9s %7s", "dBTP", "LRA LU");
    std::printf("  file%s\n", profile ? "  verdict source / output" : "");
    for (const Measurement& m : pResults) {
        if (m.ok == 1) {
            std::printf("%9s %10s %9s %7d", FormatFixed(m.lkfs, kLevelDecimals).c_str(),
                        FormatFixed(m.peak, kLevelDecimals).c_str(), FormatFixed(m.gain, kGainDecimals).c_str(),
                        m.blocks);
            if (extras) std::printf(" %9s %7s", LevelCell(m.values.truePeak).c_str(), LevelCell(m.values.lra).c_str());
            std::printf("  %s", Printable(m.path).c_str());
            if (profile)
                std::printf("  %s / %s", VerdictText(m.verdicts.source).c_str(),
                            VerdictText(m.verdicts.output).c_str());
            std::printf("\n");
        } else {
            std::printf("%9s %10s %9s %7s", "-", "-", "-", "-");
            if (extras) std::printf(" %9s %7s", "-", "-");
            std::printf("  %s (%s)\n", Printable(m.path).c_str(), Say(m.reason));
        }
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
    CLI::Option* target = app->add_option("--target", options->target,
                                          "Target loudness in LKFS (default -24.0, or the profile's target)");
    app->add_flag("--json", options->json, "One JSON array, one object per file in argument order");
    app->add_flag("--series", options->series,
                  "With --json: the momentary and short-term loudness every 100 ms (null before a window is full)");
    AddExtrasOptions(*app, options->extras);
    app->add_option("FILE", options->files, "WAV files")->required();
    command.app = app;
    command.run = [options, target] {
        if (!ResolveProfile(options->extras)) return kExitUsage;
        // A profile sets the target unless one is given.
        if (options->extras.profile && target->count() == 0) options->target = options->extras.profile->target;
        if (!TargetLKFSAllowed(options->target)) {
            std::fprintf(stderr, "sonivate-cli: --target: %g LKFS is outside %g to %g LKFS\n", options->target,
                         kLowestTargetLKFS, kHighestTargetLKFS);
            return kExitUsage;
        }
        std::vector<Measurement> results;
        bool failed = false;
        for (const std::string& path : options->files) {
            results.push_back(Measure(path, *options));
            if (results.back().ok == 1) continue;
            failed = true;
            if (FolderExists(path) == 1)
                std::fprintf(stderr, "sonivate-cli: %s: %s\n", Printable(path).c_str(),
                             Language() == MessageLanguage::Japanese
                                 ? "フォルダです（measure はファイルを計測します。フォルダは run に渡してください）"
                                 : "is a folder (measure takes files; run takes folders)");
            else
                ReportPath(path, results.back().reason);
        }
        if (options->json) {
            Json all = Json::array();
            for (const Measurement& m : results) all.push_back(ToJson(m, *options));
            // Paths need not be valid UTF-8.
            std::cout << DumpJson(all, 2) << "\n";
        } else {
            PrintTable(results, *options);
        }
        std::cout.flush();
        return failed ? kExitFailed : kExitOk;
    };
    return command;
}

}  // namespace sonivate::cli
