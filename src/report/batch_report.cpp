#include "report/batch_report.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <new>

#include "report/report_text.h"

namespace sonivate::report {
namespace {

// RFC 4180: a field with a comma, a quote or a line break is quoted, its
// quotes doubled.
std::string CsvField(const std::string& pText) {
    if (pText.find_first_of(",\"\r\n") == std::string::npos) return pText;
    std::string out = "\"";
    for (const char c : pText) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string Join(const std::vector<std::string>& pParts, const char* pSeparator) {
    std::string out;
    for (size_t i = 0; i < pParts.size(); ++i) out += (i == 0 ? "" : pSeparator) + pParts[i];
    return out;
}

std::string VerdictCode(const FileVerdict& pVerdict) {
    return pVerdict.Kind == VerdictKind::Pass ? "pass" : pVerdict.Kind == VerdictKind::Fail ? "fail" : "";
}

std::string Lower(std::string pText) {
    std::transform(pText.begin(), pText.end(), pText.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return pText;
}

bool EndsWith(const std::string& pText, const std::string& pEnd) {
    return pText.size() >= pEnd.size() && pText.compare(pText.size() - pEnd.size(), pEnd.size(), pEnd) == 0;
}

}  // namespace

double FileRow::RangeSeconds() const {
    if (SampleRate <= 0 || RangeEnd <= RangeStart) return 0.0;
    return static_cast<double>(RangeEnd - RangeStart) / SampleRate;
}

std::string ReportCsv(const BatchReport& pReport) {
    using detail::Number;
    // Figures without units in the cells: the header names them. Empty
    // cells are figures not measured.
    auto figure = [](const std::optional<double>& pValue, int pDecimals = 2) {
        const std::string text = Number(pValue, pDecimals);
        return text == "-" ? std::string() : text;
    };
    std::string out =
        "title,path,range_start_frames,range_end_frames,duration_s,lkfs,sample_peak_dbfs,true_peak_dbtp,lra_lu,"
        "max_momentary_lkfs,max_short_term_lkfs,gain_db,copy_lkfs,copy_sample_peak_dbfs,copy_true_peak_dbtp,"
        "copy_lra_lu,copy_max_momentary_lkfs,copy_max_short_term_lkfs,verdict_source,verdict_source_reasons,"
        "verdict_copy,verdict_copy_reasons,written,reason_code,reason_text,profile_target_lkfs,profile_tolerance_lu,"
        "profile_true_peak_max_dbtp\r\n";
    for (const FileRow& r : pReport.Rows) {
        const std::vector<std::string> cells = {
            r.Title,
            r.Path,
            std::to_string(r.RangeStart),
            std::to_string(r.RangeEnd),
            Number(r.RangeSeconds(), 3),
            figure(r.Source.LKFS),
            figure(r.Source.SamplePeak),
            figure(r.Source.TruePeak),
            figure(r.Source.LRA),
            figure(r.Source.MaxMomentary),
            figure(r.Source.MaxShortTerm),
            figure(r.GainDB, 3),
            figure(r.Copy.LKFS),
            figure(r.Copy.SamplePeak),
            figure(r.Copy.TruePeak),
            figure(r.Copy.LRA),
            figure(r.Copy.MaxMomentary),
            figure(r.Copy.MaxShortTerm),
            VerdictCode(r.SourceVerdict),
            Join(r.SourceVerdict.Reasons, " "),
            VerdictCode(r.CopyVerdict),
            Join(r.CopyVerdict.Reasons, " "),
            r.Written ? "yes" : "no",
            r.ReasonCode,
            r.ReasonText,
            r.Band.Present ? figure(r.Band.Target, 1) : std::string(),
            r.Band.Present ? figure(r.Band.Tolerance, 1) : std::string(),
            r.Band.Present ? figure(r.Band.MaxTruePeak, 1) : std::string(),
        };
        for (size_t i = 0; i < cells.size(); ++i) out += (i == 0 ? "" : ",") + CsvField(cells[i]);
        out += "\r\n";
    }
    return out;
}

ReportResult WriteReport(const BatchReport& pReport, const std::string& pPath) {
    try {
        const std::string path = Lower(pPath);
        std::string bytes;
        if (EndsWith(path, ".csv")) {
            bytes = ReportCsv(pReport);
        } else if (EndsWith(path, ".html") || EndsWith(path, ".htm")) {
            bytes = ReportHtml(pReport);
        } else if (EndsWith(path, ".pdf")) {
            bytes = detail::ReportPdf(pReport);
            if (bytes.empty()) return {ReportStatus::WriteFailed, 0};
        } else {
            return {ReportStatus::UnknownFormat, 0};
        }
        return detail::WriteWhole(pPath, bytes);
    } catch (const std::bad_alloc&) {
        return {ReportStatus::WriteFailed, ENOMEM};
    } catch (...) {
        return {ReportStatus::WriteFailed, 0};
    }
}

}  // namespace sonivate::report
