// sonivate-cli info: the format record and the cue markers of WAV files, as
// the file list would read them, as a table or as JSON.

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_text.h"
#include "cli/commands.h"
#include "common/basic_file.h"
#include "common/formatting.h"
#include "wavefile/byte_source.h"
#include "wavefile/encoded_audio.h"
#include "wavefile/wave_bwfj.h"
#include "wavefile/wave_check.h"
#include "wavefile/wave_mmio.h"

namespace sonivate::cli {
namespace {

using Json = nlohmann::ordered_json;

struct FileReport {
    std::string path;
    bool opened = false;
    RowReason refusal = RowReason::None;  // why it was not opened
    WaveFormatInfo info;
    WaveCheck check;                     // the judgement the file list and the runs make
    RowReason reason = RowReason::None;  // why it cannot be measured, or a note (incomplete_data)
    std::int32_t markerCount = 0;
    std::vector<CueMarker> markers;  // empty when markerCount is 0
};

// The reason the rest of the tool gives for the problem; a file cut short
// or still growing gets its note.
RowReason ReasonOf(const WaveCheck& pCheck) {
    if (pCheck.Problem == WaveProblem::None && pCheck.IncompleteData()) return RowReason::IncompleteData;
    return ReasonOfCheck(pCheck);
}

const char* ContainerName(std::int32_t pContainer) {
    switch (pContainer) {
        case ContainerRiff:
            return "RIFF";
        case ContainerRf64:
            return "RF64";
        case ContainerBw64:
            return "BW64";
        default:
            return "";
    }
}

// One handle for both readers, as the file list does.
FileReport Inspect(const std::string& pPath) {
    FileReport report;
    report.path = pPath;
    report.refusal = PathRefusal(pPath);
    if (report.refusal != RowReason::None) return report;
    FileHandle handle = OpenFileHandle(pPath, kOpenRead);
    if (handle == 0) {
        report.refusal = RowReason::CannotOpen;
        return report;
    }
    report.opened = true;
    report.info = ReadWaveHeader(pPath, handle);
    report.check = CheckWave(pPath, handle);
    report.reason = ReasonOf(report.check);
    // Compressed audio carried as PCM is no programme audio: the runs refuse
    // it before measuring, and info says so too.
    if ((report.reason == RowReason::None || report.reason == RowReason::IncompleteData) &&
        DetectEncodedAudio(HandleSource(handle), report.check.Info()).Found)
        report.reason = RowReason::EncodedAudio;
    report.markerCount = ReadCueMarkers(pPath, handle, report.markers);
    if (report.markerCount == 0) report.markers.clear();
    CloseFileHandle(handle);
    return report;
}

const char* KindName(std::int32_t pKind) {
    static const char* const kNames[] = {
        "Mono8bit",    "Stereo8bit",         "Mono16bit",          "Stereo16bit",        "Mono24bit",
        "Stereo24bit", "Surround 5.1 16bit", "Surround 7.1 16bit", "Surround 5.1 24bit", "Surround 7.1 24bit"};
    return pKind >= 0 && pKind < static_cast<std::int32_t>(std::size(kNames)) ? kNames[pKind] : "?";
}

Json ToJson(const FileReport& pReport) {
    const WaveFormatInfo& info = pReport.info;
    Json object;
    object["path"] = pReport.path;
    object["valid"] = info.Valid;
    object["num_samples"] = info.NumSamples;
    object["sample_rate"] = info.SampleRate;
    object["bits_per_sample"] = info.BitsPerSample;
    object["channels"] = info.Channels;
    object["block_align"] = info.BlockAlign;
    object["data_offset"] = info.DataOffset;
    object["data_length"] = info.DataLength;
    object["file_size"] = info.FileSize;
    object["format_kind"] = info.FormatKind;
    object["duration_ms"] = info.DurationMs;
    object["format_tag"] = info.FormatTag;
    object["marker_count"] = pReport.markerCount;
    object["markers"] = Json::array();
    for (const CueMarker& m : pReport.markers) {
        object["markers"].push_back(Json{{"cue_id", m.CueID},
                                         {"sample_offset", m.SampleOffset},
                                         {"play_length", m.PlayLength},
                                         {"loops", m.Loops},
                                         {"has_file", m.HasFile},
                                         {"media_type", m.MediaType},
                                         {"label", m.Label},
                                         {"file_text", m.FileText}});
    }
    if (!pReport.opened) object["error"] = Say(pReport.refusal);
    // The frames and duration the file really holds: beyond NumSamples in
    // RF64/BW64, fewer in a file cut short.
    object["container"] = ContainerName(info.Container);
    object["frames"] = pReport.check.Frames;
    object["frames_duration_ms"] = pReport.check.DurationMs;
    object["incomplete_data"] = pReport.check.IncompleteData() ? 1 : 0;
    object["reason"] = ReasonCode(pReport.opened ? pReport.reason : pReport.refusal);
    return object;
}

// Labels may hold control characters (a "file" text keeps its NUL bytes);
// the table shows them escaped so that every marker stays on its line.

void PrintTable(const std::vector<FileReport>& pReports, std::ostream& pOut) {
    char line[512];
    for (const FileReport& r : pReports) {
        pOut << Printable(r.path) << "\n";
        if (!r.opened) {
            pOut << "  error          " << Say(r.refusal) << "\n\n";
            continue;
        }
        const WaveFormatInfo& i = r.info;
        const std::int32_t noSign = 0;
        std::snprintf(line, sizeof(line),
                      "  valid          %s\n"
                      "  format         %s (kind %d, tag %d)\n"
                      "  sample rate    %d Hz\n"
                      "  bits, channels %d bit, %d ch, %d bytes per frame\n"
                      "  frames         %d (%s)\n"
                      "  data           %lld bytes at offset %d\n"
                      "  file size      %lld bytes\n"
                      "  markers        %d\n",
                      i.Valid == 1 ? "yes" : "no", i.Valid == 1 ? KindName(i.FormatKind) : "-", i.FormatKind,
                      i.FormatTag, i.SampleRate, i.BitsPerSample, i.Channels, i.BlockAlign, i.NumSamples,
                      FormatDuration(i.DurationMs, kDurationStyleClock, noSign).c_str(),
                      static_cast<long long>(i.DataLength), i.DataOffset, static_cast<long long>(i.FileSize),
                      r.markerCount);
        pOut << line;
        std::snprintf(line, sizeof(line),
                      "  container      %s\n"
                      "  in the file    %lld frames (%s)%s\n",
                      *ContainerName(i.Container) != '\0' ? ContainerName(i.Container) : "-",
                      static_cast<long long>(r.check.Frames),
                      FormatDuration(static_cast<std::int32_t>(std::min<std::int64_t>(r.check.DurationMs, INT32_MAX)),
                                     kDurationStyleClock, noSign)
                          .c_str(),
                      r.check.IncompleteData() ? ", data cut short" : "");
        pOut << line;
        if (r.reason != RowReason::None) pOut << "  reason         " << Say(r.reason) << "\n";
        if (!r.markers.empty()) {
            std::snprintf(line, sizeof(line), "    %8s %12s %10s %6s  %-20s %s\n", "cue id", "sample", "length",
                          "loops", "label", "file");
            pOut << line;
        }
        for (const CueMarker& m : r.markers) {
            const std::string file = m.HasFile ? "(" + std::to_string(m.MediaType) + ") " + Printable(m.FileText) : "";
            std::snprintf(line, sizeof(line), "    %8d %12d %10d %6d  %-20s ", m.CueID, m.SampleOffset, m.PlayLength,
                          m.Loops, Printable(m.Label).c_str());
            std::string row = line + file;
            row.erase(row.find_last_not_of(' ') + 1);
            pOut << row << "\n";
        }
        pOut << "\n";
    }
}

}  // namespace

Command AddInfoCommand(CLI::App& pParent) {
    struct Options {
        bool json = false;
        std::vector<std::string> files;
    };
    auto options = std::make_shared<Options>();
    Command command;
    command.app = pParent.add_subcommand("info", "Show the format and the cue markers of WAV files");
    command.app->add_flag("--json", options->json, "One JSON array, one object per file in argument order");
    command.app->add_option("files", options->files, "WAV files")->required();
    command.run = [options] {
        std::vector<FileReport> reports;
        // Any file that cannot be opened or is no valid WAV file fails the command.
        bool allValid = true;
        for (const std::string& path : options->files) {
            reports.push_back(Inspect(path));
            if (!reports.back().opened) ReportPath(path, reports.back().refusal);
            if (reports.back().info.Valid != 1) allValid = false;
        }
        if (options->json) {
            Json all = Json::array();
            for (const FileReport& r : reports) all.push_back(ToJson(r));
            // Marker texts come from the files and need not be valid UTF-8.
            std::cout << all.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
        } else {
            PrintTable(reports, std::cout);
        }
        std::cout.flush();
        return allValid ? kExitOk : kExitFailed;
    };
    return command;
}

}  // namespace sonivate::cli
