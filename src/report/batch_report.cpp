#include "report/batch_report.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <iterator>
#include <new>

#include "report/report_text.h"
#include "report/text_cells.h"

namespace sonivate::report {
namespace {

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

BatchSummary Summarize(const BatchReport& pReport) {
    BatchSummary summary;
    summary.Listed = pReport.Rows.size();
    for (const FileRow& r : pReport.Rows) {
        const Figures& f = r.Source;
        const bool measured = f.LKFS || f.SamplePeak || f.TruePeak || f.LRA || f.MaxMomentary || f.MaxShortTerm ||
                              !r.Loudness.Momentary.empty() || !r.Loudness.ShortTerm.empty();
        if (measured) ++summary.Measured;
        if (r.Written) {
            ++summary.Written;
        } else {
            auto found =
                std::find_if(summary.NotWritten.begin(), summary.NotWritten.end(),
                             [&](const BatchSummary::Reason& pReason) { return pReason.Code == r.ReasonCode; });
            if (found == summary.NotWritten.end()) {
                summary.NotWritten.push_back({r.ReasonCode, r.ReasonText, 1});
            } else {
                ++found->Count;
                if (found->Text != r.ReasonText) found->Text.clear();
            }
        }
        summary.SourcePass += r.SourceVerdict.Kind == VerdictKind::Pass;
        summary.SourceFail += r.SourceVerdict.Kind == VerdictKind::Fail;
        if (detail::ShowsCopy(r)) {
            summary.CopyPass += r.CopyVerdict.Kind == VerdictKind::Pass;
            summary.CopyFail += r.CopyVerdict.Kind == VerdictKind::Fail;
        }
    }
    return summary;
}

std::string ReportCsv(const BatchReport& pReport) {
    detail::StringSink text;
    detail::WriteCsv(pReport, text);
    return std::move(text.Text());
}

namespace detail {

void WriteCsv(const BatchReport& pReport, Sink& pSink) {
    // Figures without units in the cells: the header names them. Empty
    // cells are figures not measured, or copy figures of a row without a
    // copy. Figures are plain numbers; text goes through CsvTextCell.
    auto figure = [](const std::optional<double>& pValue, int pDecimals = 2) {
        const std::string text = Number(pValue, pDecimals);
        return text == "-" ? std::string() : text;
    };
    pSink.Put(
        "title,path,range_start_frames,range_end_frames,duration_s,lkfs,sample_peak_dbfs,true_peak_dbtp,lra_lu,"
        "max_momentary_lkfs,max_short_term_lkfs,gain_db,copy_lkfs,copy_sample_peak_dbfs,copy_true_peak_dbtp,"
        "copy_lra_lu,copy_max_momentary_lkfs,copy_max_short_term_lkfs,verdict_source,verdict_source_reasons,"
        "verdict_copy,verdict_copy_reasons,written,reason_code,reason_text,profile_target_lkfs,profile_tolerance_lu,"
        "profile_true_peak_max_dbtp,copy_state,copy_path,action,action_text,applied_gain_db,max_reduction_db,"
        "reduction_over_0.1db_s,reduction_over_1db_s,report_date,host,program,operator,station,programme,client,"
        "notes,profile,target_lkfs,range,downmix_true_peak_dbtp,verdict_source_notes,verdict_copy_notes,"
        "needed_reduction_db\r\n");
    // The header's fields repeat on every row: a sheet filtered or sorted,
    // or rows of several reports pasted together, keep where they came from.
    const Words& words = WordsOf(pReport.Language);
    const BatchHeader& h = pReport.Header;
    std::string header;
    for (const std::string* field : {&h.Date, &h.Host, &h.ProgramVersion, &h.Operator, &h.Station, &h.Programme,
                                     &h.Client, &h.Notes, &h.ProfileName})
        header += ',' + CsvTextCell(*field);
    header += ',' + figure(h.TargetLKFS, 1) + ',' + CsvTextCell(h.RangeChoices);
    std::string line;
    for (const FileRow& r : pReport.Rows) {
        const bool copy = ShowsCopy(r);
        const auto copyFigure = [&](const std::optional<double>& pValue) {
            return copy ? figure(pValue) : std::string();
        };
        const char* state = r.CopyIs == CopyState::Written ? "written" : IsProjected(r) ? "projected" : "none";
        const std::string cells[] = {
            CsvTextCell(r.Title),
            CsvTextCell(r.Path),
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
            copyFigure(r.Copy.LKFS),
            copyFigure(r.Copy.SamplePeak),
            copyFigure(r.Copy.TruePeak),
            copyFigure(r.Copy.LRA),
            copyFigure(r.Copy.MaxMomentary),
            copyFigure(r.Copy.MaxShortTerm),
            VerdictCode(r.SourceVerdict),
            CsvTextCell(Join(r.SourceVerdict.Reasons, " ")),
            copy ? VerdictCode(r.CopyVerdict) : std::string(),
            copy ? CsvTextCell(Join(r.CopyVerdict.Reasons, " ")) : std::string(),
            r.Written ? "yes" : "no",
            CsvTextCell(r.ReasonCode),
            CsvTextCell(r.ReasonText),
            r.Band.Present ? figure(r.Band.Target, 1) : std::string(),
            r.Band.Present ? figure(r.Band.Tolerance, 1) : std::string(),
            r.Band.Present ? figure(r.Band.MaxTruePeak, 1) : std::string(),
            state,
            CsvTextCell(r.CopyPath),
            ActionCode(r.Action),
            CsvTextCell(ActionName(r, words)),
            figure(r.AppliedGainDB, 3),
            figure(r.MaxReductionDB),
            figure(r.SecondsOverTenthDB),
            figure(r.SecondsOverOneDB),
        };
        line.clear();
        for (size_t i = 0; i < std::size(cells); ++i) (i == 0 ? line : line += ',') += cells[i];
        line += header;
        line += ',' + figure(r.Source.DownmixTruePeak);
        line += ',' + CsvTextCell(Join(r.SourceVerdict.Notes, " "));
        line += ',' + (copy ? CsvTextCell(Join(r.CopyVerdict.Notes, " ")) : std::string());
        line += ',' + figure(r.NeededReductionDB);
        line += "\r\n";
        pSink.Put(line);
        if (pSink.Failed()) return;
    }
}

}  // namespace detail

ReportResult WriteReport(const BatchReport& pReport, const std::string& pPath) {
    enum class Format { Csv, Html, Pdf };
    const std::string path = Lower(pPath);
    Format format = Format::Csv;
    if (EndsWith(path, ".csv"))
        format = Format::Csv;
    else if (EndsWith(path, ".html") || EndsWith(path, ".htm"))
        format = Format::Html;
    else if (EndsWith(path, ".pdf"))
        format = Format::Pdf;
    else
        return {ReportStatus::UnknownFormat, 0};
    try {
        detail::PartFile file(pPath);
        if (!file.Opened()) return {ReportStatus::CannotCreate, file.Error()};
        bool drawn = true;
        switch (format) {
            case Format::Csv:
                detail::WriteCsv(pReport, file);
                break;
            case Format::Html:
                detail::WriteHtml(pReport, file);
                break;
            case Format::Pdf:
                drawn = detail::WritePdf(pReport, file);
                break;
        }
        return file.Finish(!drawn);
    } catch (const std::bad_alloc&) {
        return {ReportStatus::WriteFailed, ENOMEM};
    } catch (...) {
        return {ReportStatus::WriteFailed, 0};
    }
}

}  // namespace sonivate::report
