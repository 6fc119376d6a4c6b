// sonivate-cli run: the whole job for scripts and servers. Files and folders
// are listed with their measurement ranges, measured, and (with --write)
// written as gain-adjusted copies, exactly as the window's start button does.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>
#include <memory>
#include <mutex>
#include <optional>
#include <nlohmann/json.hpp>
#include <thread>

#include "report/text_cells.h"
#include "app/file_list.h"
#include "app/measurement_run.h"
#include "app/row_store.h"
#include "app/run_report.h"
#include "cli/broadcast_output.h"
#include "cli/cli_text.h"
#include "cli/commands.h"
#include "cli/run_options.h"
#include "platform/errno_text.h"
#include "platform/file_names.h"
#include "cli/stop_signals.h"
#include "common/decimal_text.h"
#include "common/formatting.h"
#include "common/paths.h"
#include "platform/process_info.h"
#include "report/batch_report.h"
#include "wavefile/wave_bwfj.h"

namespace sonivate::cli {
namespace {

using Json = nlohmann::ordered_json;

struct RunOptions {
    std::vector<std::string> paths;
    RunChoiceOptions choices;
    bool write = false;
    bool inPlace = false;
    std::string outputDir;
    bool json = false;
    bool jsonLines = false;
    bool csv = false;
    std::string report;     // the batch report's file: .pdf, .html or .csv
    std::string filesFrom;  // a file of paths, "-" for standard input
    bool nullSeparated = false;
    std::vector<std::string> reportFields;  // KEY=VALUE for the report's header
};

class CliIntake : public IntakeHost {
public:
    CliIntake(std::int32_t pFrom, std::int32_t pTo) : mFrom(pFrom), mTo(pTo) {}
    std::int32_t RangeStartChoice() const override { return mFrom; }
    std::int32_t RangeEndChoice() const override { return mTo; }
    void Rejected(const std::string& pPath, RowReason pReason) override {
        ReportPath(pPath, pReason);
        rejections.emplace_back(pPath, pReason);
    }
    void ShowRejection(const std::string&) override {}
    void MarkersResolved(const std::string& pPath, const RangeMarkers& pMarkers) override {
        if (pMarkers.StartChosen && !pMarkers.StartFound) NoteMissingMarker(pPath, kRangeStartEntries[mFrom], true);
        if (pMarkers.EndChosen && !pMarkers.EndFound) NoteMissingMarker(pPath, kRangeEndEntries[mTo], false);
    }
    std::vector<std::pair<std::string, RowReason>> rejections;

private:
    std::int32_t mFrom, mTo;
};

// Status and progress on stderr, only when a person is watching it.
class CliRun : public RunHost {
public:
    CliRun(const RunOptions& pOptions, std::int32_t pRows)
        : mOptions(pOptions), mRows(pRows), mTerminal(platform::StandardErrorIsTerminal()) {}

    std::string TargetLKFSText() const override { return mOptions.choices.target; }
    bool WavOutput() const override { return mOptions.write; }
    std::string SoundPath() const override { return mOptions.outputDir; }
    // --output-dir names a folder, held from the start; never in place
    // unless --in-place was given.
    std::shared_ptr<const OutputTarget> DecideOutput() const override {
        if (!mOptions.write) return OutputTarget::Off();
        if (!mOptions.outputDir.empty()) return OutputTarget::Folder(mOptions.outputDir);
        return OutputTarget::InPlace();
    }
    bool NoClip() const override { return OnClipOf(mOptions.choices) == ClipAction::Skip; }
    ClipAction OnClip() const override { return OnClipOf(mOptions.choices); }
    double CeilingDBTP() const override { return CeilingOf(mOptions.choices); }
    double MaxReductionDB() const override { return mOptions.choices.maxReduction; }
    double ToleranceLU() const override { return mOptions.choices.toleranceLU; }
    bool BroadcastExtras() const override { return !mOptions.choices.extras.noExtras; }
    // The report draws each file's loudness over time and its markers.
    bool KeepSeries() const override { return !mOptions.report.empty(); }
    BextLoudnessMode BextLoudness() const override { return BextModeOf(mOptions.choices); }
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
    // The progress line goes before anything else is printed, and stays gone.
    void RunFinished() override {
        std::lock_guard lock(mMutex);
        if (mTerminal && mDrawn) std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        mDrawn = false;
        mFinished = true;
    }
    void SetParallel() { mParallel = true; }
    // Called on the run's own thread for every row processed, in list order.
    std::function<void(const RowResult&)> onRow;
    void RowApplied(const RowResult& pResult) override {
        if (onRow) onRow(pResult);
    }

private:
    void Draw() {
        if (!mTerminal || mFinished) return;
        mDrawn = true;
        if (mParallel)
            std::fprintf(stderr, "\r\033[K%d%% of %d files", mPercent, mRows);
        else
            std::fprintf(stderr, "\r\033[K[%d/%d] %s %d%%", std::min(mCurrent, mRows), mRows,
                         Printable(mStatus).c_str(), mPercent);
        std::fflush(stderr);
    }
    const RunOptions& mOptions;
    std::int32_t mRows;
    bool mTerminal;
    bool mParallel = false;
    bool mDrawn = false;
    bool mFinished = false;
    std::mutex mMutex;
    std::int32_t mCurrent = 0;
    std::int32_t mPercent = -1;
    std::string mStatus;
};

Json MarkerFound(bool pChosen, bool pFound) { return pChosen ? Json(pFound) : Json(nullptr); }

const char* CopyStateCode(CopyState pState) {
    switch (pState) {
        case CopyState::Written:
            return "written";
        case CopyState::Projected:
            return "projected";
        case CopyState::None:
            break;
    }
    return "none";
}

// What one output row is made of: a listed row with the outcome of this run
// (none when the run did not reach it), or a path the intake refused.
struct RowFacts {
    std::string path;
    const BatchRow* row = nullptr;  // null: not listed
    const RowResult* result = nullptr;
    RowReason refused = RowReason::None;
    // The row's status in the store; a path that was never listed failed.
    RowStatus status = RowStatus::Failed;
};

// The one schema of a row, for JSON, JSON lines, CSV and the table: the
// same keys in the same order for every row (a path that is not UTF-8 adds
// path_bytes / output_bytes, JSON only).
Json RowJson(const RowFacts& pFacts, const RunOptions& pOptions) {
    const BatchRow* listed = pFacts.row;
    const RowResult* result = pFacts.result;
    const bool measured = result != nullptr && result->Measured;
    const bool written = result != nullptr && result->Written;
    Json row;
    PutPath(row, "path", pFacts.path);
    row["title"] = listed ? listed->Title : PathPart(pFacts.path, false, false, true, false, false, kKeepCase);
    row["start"] = listed ? Json(listed->Start) : Json(nullptr);
    row["end"] = listed ? Json(listed->End) : Json(nullptr);
    row["length"] = listed ? listed->LengthText : "";
    row["measured"] = measured;
    row["lkfs_text"] = listed ? listed->LKFSText : "";
    row["peak_text"] = listed ? listed->PeakText : "";
    row["gain_text"] = listed ? listed->GainText : "";
    row["lkfs"] = NumberOrNull(measured, measured ? result->LKFS : 0.0);
    row["peak"] = NumberOrNull(measured, measured ? result->Peak : 0.0);
    // A row without programme loudness has no gain to report.
    row["gain"] = NumberOrNull(measured && !result->GainText.empty(), measured ? result->Gain : 0.0);
    row["clip"] = listed != nullptr && listed->Clip;
    if (written)
        PutPath(row, "output", result->OutputPath);
    else
        row["output"] = nullptr;
    row["written"] = written;
    RowReason reason = pFacts.refused;
    // A listed row the run never reached (stopped before it) still says why.
    if (listed) reason = result != nullptr ? result->Reason : RowReason::NotReached;
    row["reason"] = ReasonJson(reason);
    row["reason_text"] = ReasonTextJson(reason, result != nullptr ? result->WriteError : 0);
    row["start_marker_found"] =
        listed ? MarkerFound(listed->Markers.StartChosen, listed->Markers.StartFound) : Json(nullptr);
    row["end_marker_found"] = listed ? MarkerFound(listed->Markers.EndChosen, listed->Markers.EndFound) : Json(nullptr);
    row["listed"] = listed != nullptr;
    AddChosenKeys(row, result, pOptions.choices.extras);
    // Last, so that the columns scripts already read keep their places.
    row["status"] = StatusCode(pFacts.status);
    // What the copy figures and the copy's verdict describe: the copy
    // written, the copy a run that writes nothing would write, or nothing.
    row["copy_state"] = CopyStateCode(result != nullptr ? result->Copy : CopyState::None);
    if (OnClipOf(pOptions.choices) != ClipAction::Skip) AddClipKeys(row, result);
    // Only with a tolerance: the row's copy is its source byte for byte (in
    // place: the source was not touched).
    if (pOptions.choices.toleranceLU > 0.0) row["within_tolerance"] = result != nullptr && result->WithinTolerance;
    if (!pOptions.choices.extras.noExtras) {
        const std::optional<DeliveryProfile>& profile = pOptions.choices.extras.profile;
        const bool figures = measured && result->Broadcast;
        const std::optional<FileVerdicts> verdicts = RowVerdicts(result, pOptions.choices.extras);
        AddDownmixKeys(row, figures ? ValuesOf(*result->Broadcast) : BroadcastValues{}, profile ? &*profile : nullptr,
                       verdicts ? &*verdicts : nullptr);
    }
    return row;
}

// The CSV columns: the schema's keys.
std::vector<std::string> CsvKeys(const RunOptions& pOptions) {
    std::vector<std::string> keys;
    const Json schema = RowJson(RowFacts{}, pOptions);
    for (const auto& item : schema.items()) keys.push_back(item.key());
    return keys;
}

std::string CsvField(const Json& pValue) {
    if (pValue.is_null()) return "";
    if (pValue.is_boolean()) return pValue.get<bool>() ? "true" : "false";
    if (pValue.is_number()) return pValue.dump();
    // A figure as the row shows it ("-37.48") is a number to a spreadsheet,
    // never a formula: it stays as it is (a leading tab still gets the guard).
    if (pValue.is_string()) {
        const std::string& text = pValue.get_ref<const std::string&>();
        if (!text.empty() && text.front() != '\t' && ParseDecimal(text)) return text;
    }
    // Objects (the verdict reasons) as their JSON text in one field. Names
    // are data: a spreadsheet must never take one for a formula.
    return report::CsvTextCell(pValue.is_string() ? pValue.get<std::string>() : pValue.dump());
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
    // The gain column shows the gain to the target; a row within the
    // tolerance says that it was not applied.
    if (pResult->Written && pResult->WithinTolerance)
        return Printable(pResult->OutputPath) + (Language() == MessageLanguage::Japanese
                                                     ? "（許容範囲内のため変更なし）"
                                                     : " (left unchanged: within tolerance)");
    if (pResult->Written) return Printable(pResult->OutputPath);
    if (!pResult->WriteAttempted) return pResult->Clip ? Say(RowReason::WouldClip) : "-";
    if (pResult->Reason != RowReason::None) return Say(pResult->Reason);
    return Say(RowReason::WriteFailed);
}

std::string JsonLevelCell(const Json& pValue) {
    return LevelCell(pValue.is_number() ? std::optional<double>(pValue.get<double>()) : std::nullopt);
}

// The verdict column of the table: the source's, then the copy's, marked
// when the copy is only projected.
std::string VerdictCell(const std::optional<FileVerdicts>& pVerdicts, const RowResult* pResult) {
    if (!pVerdicts) return "-";
    std::string copy = pVerdicts->HasOutput ? VerdictText(pVerdicts->output) : "-";
    if (pVerdicts->HasOutput && pResult != nullptr && pResult->Copy == CopyState::Projected)
        copy += Language() == MessageLanguage::Japanese ? "（書き出した場合）" : " (if written)";
    return VerdictText(pVerdicts->source) + " / " + copy;
}

// pRows: the listed rows; pOutputs and pVerdicts: their output and verdict
// cells. The broadcast columns appear as chosen.
void PrintTable(const Json& pRows, const std::vector<std::string>& pOutputs, const std::vector<std::string>& pVerdicts,
                const RunOptions& pOptions) {
    const bool extras = !pOptions.choices.extras.noExtras;
    const bool profile = pOptions.choices.extras.profile.has_value();
    struct Column {
        std::string header;
        bool right;  // numbers align right
    };
    std::vector<Column> columns = {
        {"title", false}, {"length", false}, {"LKFS", true}, {"peak dBFS", true}, {"gain dB", true}};
    if (extras) columns.insert(columns.end(), {{"dBTP", true}, {"LRA LU", true}});
    columns.push_back({"clip", false});
    if (profile) columns.push_back({"verdict source / output", false});
    columns.push_back({"output", false});

    std::vector<std::vector<std::string>> cells;
    for (const Json& row : pRows) {
        const size_t index = cells.size();
        std::vector<std::string> line = {Printable(row["title"].get<std::string>()), row["length"].get<std::string>(),
                                         row["lkfs_text"].get<std::string>(), row["peak_text"].get<std::string>(),
                                         row["gain_text"].get<std::string>()};
        if (extras) line.insert(line.end(), {JsonLevelCell(row["true_peak"]), JsonLevelCell(row["lra"])});
        line.push_back(row["clip"].get<bool>() ? "CLIP" : "");
        if (profile) line.push_back(pVerdicts[index]);
        line.push_back(pOutputs[index]);
        cells.push_back(std::move(line));
    }
    std::vector<size_t> widths;
    for (const Column& column : columns) widths.push_back(DisplayWidth(column.header));
    for (const auto& line : cells)
        for (size_t c = 0; c < line.size(); ++c) widths[c] = std::max(widths[c], DisplayWidth(line[c]));
    auto print = [&](const std::vector<std::string>& pLine) {
        std::string text;
        for (size_t c = 0; c < pLine.size(); ++c) {
            const std::string pad(widths[c] - DisplayWidth(pLine[c]), ' ');
            text += columns[c].right ? pad + pLine[c] : pLine[c] + (c + 1 < pLine.size() ? pad : "");
            if (c + 1 < pLine.size()) text += "  ";
        }
        std::printf("%s\n", text.c_str());
    };
    std::vector<std::string> headers;
    for (const Column& column : columns) headers.push_back(column.header);
    print(headers);
    for (const auto& line : cells) print(line);
}

// ---- The batch report ---------------------------------------------------------------

std::string RangeChoicesText(const RunOptions& pOptions) { return pOptions.choices.from + " - " + pOptions.choices.to; }

// Writes the batch's report; false after a message on stderr.
bool WriteBatchReport(const RunOptions& pOptions, const RowStore& pRows,
                      const std::vector<std::pair<std::string, RowReason>>& pRefused) {
    report::BatchReport batch;
    const std::optional<DeliveryProfile>& profile = pOptions.choices.extras.profile;
    const DeliveryProfile* judged = profile ? &*profile : nullptr;
    batch.Header = ReportHeader(SONIVATE_VERSION, judged, ParseDecimal(pOptions.choices.target).value_or(0.0),
                                RangeChoicesText(pOptions));
    batch.Language =
        Language() == MessageLanguage::Japanese ? report::ReportLanguage::Japanese : report::ReportLanguage::English;
    for (const std::string& field : pOptions.reportFields) {
        const size_t equals = field.find('=');
        SetReportField(batch.Header, field.substr(0, equals), field.substr(equals + 1));
    }
    const RowReason unprocessed = RowReason::NotReached;
    for (const StoredRow& stored : pRows.Rows())
        batch.Rows.push_back(
            ReportRow(stored.Row, stored.Last ? &*stored.Last : nullptr, judged, unprocessed, ReasonWithCause));
    for (const auto& [path, reason] : pRefused) {
        report::FileRow file;
        file.Title = PathPart(path, false, false, true, false, false, kKeepCase);
        file.Path = path;
        file.ReasonCode = ReasonCode(reason);
        file.ReasonText = Say(reason);
        batch.Rows.push_back(std::move(file));
    }
    const report::ReportResult written = report::WriteReport(batch, pOptions.report);
    if (written.ok()) return true;
    const bool japanese = Language() == MessageLanguage::Japanese;
    std::fprintf(
        stderr, "sonivate-cli: --report: %s: %s\n", Printable(pOptions.report).c_str(),
        written.Status == report::ReportStatus::UnknownFormat
            ? (japanese ? "拡張子は .pdf、.html、.csv のいずれかです" : "the name must end in .pdf, .html or .csv")
            : platform::ErrnoCause(written.Errno, japanese));
    return false;
}

// The paths of --files-from: one per line (a trailing carriage return
// dropped, empty lines skipped), or NUL-separated. False after a message when
// the file cannot be read.
bool ReadPathList(const RunOptions& pOptions, std::vector<std::string>& pPaths) {
    if (pOptions.filesFrom.empty()) return true;
    std::string text;
    if (pOptions.filesFrom == "-") {
        std::ostringstream all;
        all << std::cin.rdbuf();
        text = all.str();
    } else {
        std::ifstream file(pOptions.filesFrom, std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "sonivate-cli: --files-from: cannot read %s\n", Printable(pOptions.filesFrom).c_str());
            return false;
        }
        std::ostringstream all;
        all << file.rdbuf();
        text = all.str();
    }
    const char separator = pOptions.nullSeparated ? '\0' : '\n';
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(separator, at);
        if (end == std::string::npos) end = text.size();
        std::string path = text.substr(at, end - at);
        if (!pOptions.nullSeparated && !path.empty() && path.back() == '\r') path.pop_back();
        if (!path.empty()) pPaths.push_back(std::move(path));
        at = end + 1;
    }
    return true;
}

int Run(const RunOptions& pOptions) {
    if (pOptions.write && pOptions.outputDir.empty() && !pOptions.inPlace) {
        std::fprintf(stderr, "sonivate-cli: --write needs --output-dir DIR or --in-place\n");
        return kExitUsage;
    }
    if (!pOptions.outputDir.empty() && FolderExists(pOptions.outputDir) == 0) {
        std::fprintf(stderr, "sonivate-cli: --output-dir: not an existing folder: %s (nothing was written)\n",
                     pOptions.outputDir.c_str());
        return kExitUsage;
    }
    std::vector<std::string> given = pOptions.paths;
    if (!ReadPathList(pOptions, given)) return kExitUsage;
    if (!pOptions.report.empty() && pOptions.choices.extras.noExtras) {
        std::fprintf(stderr, "sonivate-cli: --report needs the broadcast measures (leave out --no-extras)\n");
        return kExitUsage;
    }
    // An empty list from --files-from is no error: a shard of a split job
    // may have nothing to do.
    if (given.empty() && pOptions.filesFrom.empty()) {
        std::fprintf(stderr, "sonivate-cli: run: no PATH given (as arguments or with --files-from)\n");
        return kExitUsage;
    }
    const StopOnSignals signals;

    RowStore list;
    CliIntake intake(kFromChoices.at(pOptions.choices.from), kToChoices.at(pOptions.choices.to));
    bool missing = false;
    std::vector<std::string> paths;
    for (const std::string& path : given) {
        const std::string absolute = AbsolutePath(path);
        // A path that cannot be listed still gets its row, with the reason.
        if (absolute.empty()) {
            intake.Rejected(path, RowReason::NoWorkingFolder);
            missing = true;
            continue;
        }
        if (FileExists(absolute) == 0 && FolderExists(absolute) == 0) {
            intake.Rejected(path, RowReason::Missing);
            missing = true;
            continue;
        }
        paths.push_back(absolute);
    }
    AddCommandLinePaths(list, intake, paths);

    CliRun host(pOptions, list.Count());
    const std::int32_t jobs = JobCount(pOptions.choices.jobs);
    if (jobs > 1) host.SetParallel();
    // JSON lines: each row as soon as it and every row before it are done.
    std::int32_t printed = 0;
    auto printLine = [&](std::int32_t pRow, const RowResult* pResult) {
        const StoredRow& stored = list.Rows()[static_cast<size_t>(pRow)];
        const RowStatus status = pResult != nullptr ? StatusOfResult(*pResult) : stored.Status;
        std::printf(
            "%s\n",
            DumpJson(RowJson({stored.Row.Path, &stored.Row, pResult, RowReason::None, status}, pOptions), -1).c_str());
        std::fflush(stdout);
        ++printed;
    };
    if (pOptions.jsonLines) host.onRow = [&](const RowResult& pResult) { printLine(pResult.Row, &pResult); };
    RunMeasurement(list, host, jobs);

    bool failed = missing || !intake.rejections.empty();
    Json rows = Json::array();
    std::vector<std::string> outputs, verdicts;
    for (std::int32_t index = 0; index < list.Count(); ++index) {
        // One run over a new store: a row's last result is this run's.
        const StoredRow& stored = list.Rows()[static_cast<size_t>(index)];
        const RowResult* result = stored.Last ? &*stored.Last : nullptr;
        const BatchRow& row = stored.Row;
        if (pOptions.jsonLines && index >= printed) printLine(index, result);
        if (!pOptions.jsonLines)
            rows.push_back(RowJson({row.Path, &row, result, RowReason::None, stored.Status}, pOptions));
        outputs.push_back(OutputText(result, pOptions));
        verdicts.push_back(VerdictCell(RowVerdicts(result, pOptions.choices.extras), result));
        if (result == nullptr || !result->Measured) failed = true;
        if (result != nullptr && result->Written && result->FolderSyncError != 0)
            std::fprintf(stderr, "sonivate-cli: %s: %s (%s)\n", Printable(result->OutputPath).c_str(),
                         Language() == MessageLanguage::Japanese
                             ? "書き出しましたが、フォルダの同期を確認できませんでした"
                             : "written, but its folder could not be flushed: durability not confirmed",
                         platform::ErrnoCause(result->FolderSyncError, Language() == MessageLanguage::Japanese));
        if (result != nullptr && result->IncompleteData && !StopSignalled())
            ReportPath(row.Path, RowReason::IncompleteData);
        if (result != nullptr && result->WriteAttempted && !result->Written) {
            failed = true;
            if (!StopSignalled())
                std::fprintf(stderr, "sonivate-cli: %s: %s\n", Printable(result->OutputPath).c_str(),
                             ReasonWithCause(result->Reason, result->WriteError).c_str());
        }
    }

    // Refused files come last, so that list rows keep their order.
    for (const auto& [path, reason] : intake.rejections) {
        const Json refused = RowJson({path, nullptr, nullptr, reason}, pOptions);
        if (pOptions.jsonLines)
            std::printf("%s\n", DumpJson(refused, -1).c_str());
        else
            rows.push_back(refused);
    }

    if (pOptions.jsonLines) {
    } else if (pOptions.json) {
        std::printf("%s\n", DumpJson(rows, 2).c_str());
    } else if (pOptions.csv) {
        const std::vector<std::string> keys = CsvKeys(pOptions);
        std::string header;
        for (const std::string& key : keys) header += (header.empty() ? "" : ",") + key;
        std::printf("%s\n", header.c_str());
        for (const Json& row : rows) {
            std::string line;
            for (size_t k = 0; k < keys.size(); ++k) line += (k ? "," : "") + CsvField(row[keys[k]]);
            std::printf("%s\n", line.c_str());
        }
    } else {
        rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(outputs.size()), rows.end());
        PrintTable(rows, outputs, verdicts, pOptions);
    }
    std::fflush(stdout);
    if (!pOptions.report.empty() && !WriteBatchReport(pOptions, list, intake.rejections)) failed = true;
    if (StopSignalled()) return kExitInterrupted;
    return failed ? kExitFailed : kExitOk;
}

}  // namespace

Command AddRunCommand(CLI::App& pParent) {
    auto options = std::make_shared<RunOptions>();
    Command command;
    CLI::App* app = pParent.add_subcommand(
        "run", "List WAV files and folders, measure them and (with --write) write gain-adjusted copies");
    app->add_option("PATH", options->paths, "WAV files and folders; a folder's .wav files are listed sorted by title");
    app->add_option("--files-from", options->filesFrom,
                    "Also list the paths in FILE, one per line (- reads standard input; an empty list is no error)");
    app->add_flag("--null", options->nullSeparated, "With --files-from: the paths are separated by NUL bytes");
    app->add_option("--report", options->report,
                    "Also write the batch's report to FILE: .pdf, .html (one self-contained file) or .csv");
    app->add_option("--report-field", options->reportFields,
                    "KEY=VALUE for the report's header: operator (default: the login's full name), station, "
                    "programme, client, notes; may be given more than once")
        ->allow_extra_args(false)
        ->check([](const std::string& pField) -> std::string {
            const size_t equals = pField.find('=');
            report::BatchHeader probe;
            if (equals == std::string::npos || !SetReportField(probe, pField.substr(0, equals), ""))
                return "KEY=VALUE with KEY one of operator, station, programme, client, notes";
            return {};
        });
    AddRunChoiceOptions(*app, options->choices);
    app->add_flag("--write", options->write, "Write gain-adjusted copies");
    auto* outputDir =
        app->add_option("--output-dir", options->outputDir,
                        "Existing output folder for the copies (files there before the run are replaced)");
    app->add_flag("--in-place", options->inPlace,
                  "Replace each source by its copy (a .wav source under its own name; never another file)")
        ->excludes(outputDir);
    auto* json = app->add_flag("--json", options->json, "One JSON array of the rows in list order");
    auto* csv = app->add_flag("--csv", options->csv, "The rows as CSV")->excludes(json);
    app->add_flag("--json-lines", options->jsonLines,
                  "One JSON object per row and line, printed as each row finishes, in list order")
        ->excludes(json)
        ->excludes(csv);
    command.app = app;
    command.run = [options] {
        if (!ResolveRunChoices(options->choices)) return kExitUsage;
        return Run(*options);
    };
    return command;
}

}  // namespace sonivate::cli
