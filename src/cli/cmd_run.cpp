// sonivate-cli run: the whole job for scripts and servers. Files and folders
// are listed with their measurement ranges, measured, and (with --write)
// written as gain-adjusted copies, exactly as the window's start button does.

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "app/file_list.h"
#include "app/measurement_run.h"
#include "cli/commands.h"
#include "cli/stop_signals.h"
#include "common/paths.h"

namespace sonivate::cli {
namespace {

using Json = nlohmann::ordered_json;

struct RunOptions {
    std::vector<std::string> paths;
    std::string from = "file-start";
    std::string to = "file-end";
    std::string target = "-24.0";
    bool write = false;
    bool inPlace = false;
    std::string outputDir;
    bool allowClip = false;
    bool json = false;
    bool csv = false;
    std::int32_t jobs = 0;
};

// The range choices as the command line spells them, with the window's own
// entry texts accepted too.
const std::map<std::string, std::int32_t> kFromChoices = {
    {"file-start", kRangeFileStart}, {kRangeStartEntries[0], kRangeFileStart},
    {"BC$START", kRangeBcStart},     {"BC$STANDBY", kRangeBcStandby}};
const std::map<std::string, std::int32_t> kToChoices = {
    {"file-end", kRangeFileEnd}, {kRangeEndEntries[0], kRangeFileEnd}, {"BC$STOP", kRangeBcStop}, {"BC$END", kRangeBcEnd}};

std::string Absolute(const std::string& pPath) {
    if (!pPath.empty() && pPath.front() == '/') return pPath;
    std::string cwd(4096, '\0');
    if (::getcwd(cwd.data(), cwd.size()) == nullptr) return pPath;
    cwd.resize(std::char_traits<char>::length(cwd.c_str()));
    return SetTrailingSeparator(cwd, 0) + pPath;
}

class CliIntake : public IntakeHost {
public:
    CliIntake(std::int32_t pFrom, std::int32_t pTo) : mFrom(pFrom), mTo(pTo) {}
    std::int32_t RangeStartChoice() const override { return mFrom; }
    std::int32_t RangeEndChoice() const override { return mTo; }
    void ShowRejection(const std::string& pText) override {
        std::string text = pText;
        const auto breakAt = text.find("\r\n");
        if (breakAt != std::string::npos) text.replace(breakAt, 2, ": ");
        std::fprintf(stderr, "sonivate-cli: %s\n", text.c_str());
        ++rejected;
    }
    std::int32_t rejected = 0;

private:
    std::int32_t mFrom, mTo;
};

// Status and progress on stderr, only when a person is watching it.
class CliRun : public RunHost {
public:
    CliRun(const RunOptions& pOptions, std::int32_t pRows)
        : mOptions(pOptions), mRows(pRows), mTerminal(::isatty(STDERR_FILENO) == 1) {}

    std::string TargetLKFSText() const override { return mOptions.target; }
    bool WavOutput() const override { return mOptions.write; }
    std::string SoundPath() const override { return mOptions.outputDir; }
    bool NoClip() const override { return !mOptions.allowClip; }
    // A Ctrl-C given while the files were being listed still counts.
    void ClearStopRequest() override {}
    bool StopRequested() const override { return StopSignalled(); }

    void ShowStatus(const std::string& pText) override {
        std::lock_guard lock(mMutex);
        ++mCurrent;
        mStatus = pText;
        mPercent = 0;
        Draw();
    }
    void SetProgress(std::int32_t pValue) override {
        std::lock_guard lock(mMutex);
        const std::int32_t percent = pValue / 10;
        if (percent == mPercent) return;
        mPercent = percent;
        Draw();
    }
    void RunFinished() override {
        std::lock_guard lock(mMutex);
        if (mTerminal && mDrawn) std::fputs("\r\033[K", stderr);
    }
    void SetParallel() { mParallel = true; }

private:
    void Draw() {
        if (!mTerminal) return;
        mDrawn = true;
        if (mParallel)
            std::fprintf(stderr, "\r\033[K%d%% of %d files", mPercent, mRows);
        else
            std::fprintf(stderr, "\r\033[K[%d/%d] %s %d%%", std::min(mCurrent, mRows), mRows, mStatus.c_str(), mPercent);
        std::fflush(stderr);
    }
    const RunOptions& mOptions;
    std::int32_t mRows;
    bool mTerminal;
    bool mParallel = false;
    bool mDrawn = false;
    std::mutex mMutex;
    std::int32_t mCurrent = 0;
    std::int32_t mPercent = -1;
    std::string mStatus;
};

Json NumberOrNull(bool pHave, double pValue) { return pHave ? Json(pValue) : Json(nullptr); }

Json RowJson(const ListViewModel& pList, std::int32_t pRow, const RowResult* pResult) {
    const bool measured = pResult != nullptr && pResult->Measured;
    const bool written = pResult != nullptr && pResult->Written;
    Json row;
    row["path"] = pList.AuxID(pRow, kAuxPath).AsText();
    row["title"] = pList.Value(pRow, kColumnTitle).AsText();
    row["start"] = static_cast<std::int64_t>(pList.AuxID(pRow, kAuxStart).AsNumber());
    row["end"] = static_cast<std::int64_t>(pList.AuxID(pRow, kAuxEnd).AsNumber());
    row["length"] = pList.Value(pRow, kColumnLength).AsText();
    row["measured"] = measured;
    row["lkfs_text"] = pList.Value(pRow, kColumnLKFS).AsText();
    row["peak_text"] = pList.Value(pRow, kColumnPeak).AsText();
    row["gain_text"] = pList.Value(pRow, kColumnGain).AsText();
    row["lkfs"] = NumberOrNull(measured, measured ? pResult->LKFS : 0.0);
    row["peak"] = NumberOrNull(measured, measured ? pResult->Peak : 0.0);
    row["gain"] = NumberOrNull(measured, measured ? pResult->Gain : 0.0);
    row["clip"] = pList.DispColor(pRow) == kClipColor;
    row["output"] = written ? Json(pResult->OutputPath) : Json(nullptr);
    row["written"] = written;
    const RowReason reason = pResult != nullptr ? pResult->Reason : RowReason::None;
    row["reason"] = reason == RowReason::None ? Json(nullptr) : Json(ReasonCode(reason));
    return row;
}

std::string CsvField(const Json& pValue) {
    if (pValue.is_null()) return "";
    if (pValue.is_boolean()) return pValue.get<bool>() ? "true" : "false";
    if (!pValue.is_string()) return pValue.dump();
    const std::string text = pValue.get<std::string>();
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

// Display width of a UTF-8 text, counting East Asian characters double.
size_t DisplayWidth(const std::string& pText) {
    size_t width = 0;
    for (size_t i = 0; i < pText.size(); ++i) {
        const auto byte = static_cast<unsigned char>(pText[i]);
        if ((byte & 0xC0) == 0x80) continue;
        width += byte >= 0xE3 ? 2 : 1;
    }
    return width;
}

// The output column of the table: where the copy went, or why there is none.
std::string OutputText(const RowResult* pResult, const RunOptions& pOptions) {
    if (pResult == nullptr || !pOptions.write) return "-";
    if (pResult->Written) return pResult->OutputPath;
    if (!pResult->WriteAttempted) return pResult->Clip ? "not written: would clip" : "-";
    if (pResult->Reason != RowReason::None) return std::string("not written (") + ReasonCode(pResult->Reason) + ")";
    return "not written";
}

void PrintTable(const Json& pRows, const std::vector<std::string>& pOutputs) {
    const std::vector<std::string> headers = {"title", "length", "LKFS", "peak dBFS", "gain dB", "clip", "output"};
    std::vector<std::vector<std::string>> cells;
    for (const Json& row : pRows) {
        const std::string& output = pOutputs[cells.size()];
        cells.push_back({row["title"].get<std::string>(), row["length"].get<std::string>(),
                         row["lkfs_text"].get<std::string>(), row["peak_text"].get<std::string>(),
                         row["gain_text"].get<std::string>(), row["clip"].get<bool>() ? "CLIP" : "", output});
    }
    std::vector<size_t> widths;
    for (const std::string& h : headers) widths.push_back(DisplayWidth(h));
    for (const auto& line : cells)
        for (size_t c = 0; c < line.size(); ++c) widths[c] = std::max(widths[c], DisplayWidth(line[c]));
    auto print = [&](const std::vector<std::string>& pLine) {
        std::string text;
        for (size_t c = 0; c < pLine.size(); ++c) {
            const bool right = c >= 2 && c <= 4;
            const std::string pad(widths[c] - DisplayWidth(pLine[c]), ' ');
            text += right ? pad + pLine[c] : pLine[c] + (c + 1 < pLine.size() ? pad : "");
            if (c + 1 < pLine.size()) text += "  ";
        }
        std::printf("%s\n", text.c_str());
    };
    print(headers);
    for (const auto& line : cells) print(line);
}

int Run(const RunOptions& pOptions) {
    if (!CellValue(pOptions.target).ReadsAsNumber() || pOptions.target.empty()) {
        std::fprintf(stderr, "sonivate-cli: --target: not a number: %s\n", pOptions.target.c_str());
        return kExitUsage;
    }
    if (pOptions.write && pOptions.outputDir.empty() && !pOptions.inPlace) {
        std::fprintf(stderr, "sonivate-cli: --write needs --output-dir DIR or --in-place\n");
        return kExitUsage;
    }
    if (!pOptions.outputDir.empty() && FolderExists(pOptions.outputDir) == 0) {
        std::fprintf(stderr, "sonivate-cli: --output-dir: not an existing folder: %s (nothing was written)\n",
                     pOptions.outputDir.c_str());
        return kExitUsage;
    }
    const StopOnSignals signals;

    ListViewModel list;
    ConfigureFileList(list);
    CliIntake intake(kFromChoices.at(pOptions.from), kToChoices.at(pOptions.to));
    bool missing = false;
    std::vector<std::string> paths;
    for (const std::string& given : pOptions.paths) {
        const std::string path = Absolute(given);
        if (FileExists(path) == 0 && FolderExists(path) == 0) {
            std::fprintf(stderr, "sonivate-cli: no such file or folder: %s\n", given.c_str());
            missing = true;
            continue;
        }
        paths.push_back(path);
    }
    AddCommandLinePaths(list, intake, paths);

    CliRun host(pOptions, list.ItemCount());
    const std::int32_t jobs =
        pOptions.jobs > 0 ? pOptions.jobs : static_cast<std::int32_t>(std::max(1u, std::thread::hardware_concurrency()));
    if (jobs > 1) host.SetParallel();
    const std::vector<RowResult> results = jobs > 1 ? RunMeasurementParallel(list, host, jobs) : RunMeasurement(list, host);

    std::map<std::int32_t, const RowResult*> byRow;
    for (const RowResult& result : results) byRow[result.Row] = &result;
    bool failed = missing || intake.rejected > 0;
    Json rows = Json::array();
    std::vector<std::string> outputs;
    for (std::int32_t row = 0; row < list.ItemCount(); ++row) {
        const auto it = byRow.find(row);
        const RowResult* result = it == byRow.end() ? nullptr : it->second;
        rows.push_back(RowJson(list, row, result));
        outputs.push_back(OutputText(result, pOptions));
        if (result == nullptr || !result->Measured) failed = true;
        if (result != nullptr && result->WriteAttempted && !result->Written) {
            failed = true;
            if (!StopSignalled())
                std::fprintf(stderr, "sonivate-cli: %s: %s\n", result->OutputPath.c_str(),
                             ReasonText(result->Reason, LanguageOfLocale()));
        }
    }

    if (pOptions.json) {
        std::printf("%s\n", rows.dump(2, ' ', false, Json::error_handler_t::replace).c_str());
    } else if (pOptions.csv) {
        const std::vector<std::string> keys = {"path", "title", "start", "end", "length", "measured", "lkfs_text",
                                               "peak_text", "gain_text", "lkfs", "peak", "gain", "clip", "output",
                                               "written"};
        std::string header;
        for (const std::string& key : keys) header += (header.empty() ? "" : ",") + key;
        std::printf("%s\n", header.c_str());
        for (const Json& row : rows) {
            std::string line;
            for (size_t k = 0; k < keys.size(); ++k) line += (k ? "," : "") + CsvField(row[keys[k]]);
            std::printf("%s\n", line.c_str());
        }
    } else {
        PrintTable(rows, outputs);
    }
    std::fflush(stdout);
    if (StopSignalled()) return kExitInterrupted;
    return failed ? kExitFailed : kExitOk;
}

}  // namespace

Command AddRunCommand(CLI::App& pParent) {
    auto options = std::make_shared<RunOptions>();
    Command command;
    CLI::App* app = pParent.add_subcommand(
        "run", "List WAV files and folders, measure them and (with --write) write gain-adjusted copies");
    app->add_option("PATH", options->paths, "WAV files and folders; a folder's .wav files are listed sorted by title")
        ->required();
    std::vector<std::string> fromNames, toNames;
    for (const auto& [name, value] : kFromChoices) fromNames.push_back(name);
    for (const auto& [name, value] : kToChoices) toNames.push_back(name);
    app->add_option("--from", options->from, "Range start: file-start, BC$START or BC$STANDBY")
        ->check(CLI::IsMember(fromNames));
    app->add_option("--to", options->to, "Range end: file-end, BC$STOP or BC$END")->check(CLI::IsMember(toNames));
    app->add_option("--target", options->target, "Target loudness in LKFS (default -24.0)");
    app->add_flag("--write", options->write, "Write gain-adjusted copies");
    auto* outputDir = app->add_option("--output-dir", options->outputDir,
                                      "Existing output folder for the copies (files there before the run are replaced)");
    app->add_flag("--in-place", options->inPlace,
                  "Replace each source by its copy (a .wav source under its own name; never another file)")
        ->excludes(outputDir);
    app->add_flag("--allow-clip", options->allowClip, "Also write files whose gain would clip");
    auto* json = app->add_flag("--json", options->json, "One JSON array of the rows in list order");
    app->add_flag("--csv", options->csv, "The rows as CSV")->excludes(json);
    app->add_option("--jobs", options->jobs, "Files processed in parallel (default: the number of processors)")
        ->check(CLI::PositiveNumber);
    command.app = app;
    command.run = [options] { return Run(*options); };
    return command;
}

}  // namespace sonivate::cli
