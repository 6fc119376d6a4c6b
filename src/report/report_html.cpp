// The HTML report: one self-contained file, inline CSS, each measured file's graph as
// an inline PNG drawn by the same cairo code as the PDF's.

#include <cairo.h>

#include <string>
#include <string_view>

#include "common/formatting.h"
#include "report/loudness_graph.h"
#include "report/report_text.h"
#include "report/text_cells.h"

namespace sonivate::report {
namespace {

using namespace detail;

// Pixels: about the width of the summary table.
constexpr std::int32_t kGraphWidth = 640;
constexpr std::int32_t kGraphHeight = 220;

constexpr const char* kStyle =
    "body{font-family:'Noto Sans CJK JP',sans-serif;font-size:13px;margin:16px;color:#222}"
    "table{border-collapse:collapse;font-size:12px}"
    "th,td{border:1px solid #ccc;padding:2px 6px}th{background:#e0e6f2}"
    "td.n{text-align:right;font-variant-numeric:tabular-nums}tr:nth-child(even){background:#f5f5f5}"
    ".fail{color:#b00;font-weight:bold}.file{margin-top:24px;border-top:1px solid #999;padding-top:8px}"
    ".path{color:#555;font-size:11px}img{max-width:100%;height:auto;display:block}"
    ".proj{font-style:italic;color:#555}.note{color:#555;font-size:11px}"
    "table.head th{text-align:left;background:none;border:none;padding:0 12px 0 0;font-weight:normal;color:#555}"
    "table.head td{border:none;padding:0}.summary{font-weight:bold}";

// Text from outside as HTML text: ShownText, then the markup characters as
// entities.
std::string Escape(std::string_view pText) {
    const std::string shown = ShownText(pText);
    std::string out;
    out.reserve(shown.size());
    for (const char c : shown) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

cairo_status_t Append(void* pClosure, const unsigned char* pData, unsigned int pLength) {
    static_cast<std::string*>(pClosure)->append(reinterpret_cast<const char*>(pData), pLength);
    return CAIRO_STATUS_SUCCESS;
}

// The graph as an inline PNG. A PNG rather than cairo's SVG: the SVG carries
// every glyph's outline and one element per character, three times the
// bytes of the picture at this size.
std::string GraphImg(const FileRow& pRow, double pTarget, const Words& pWords, ReportLanguage pLanguage) {
    const GraphImage image = RenderLoudnessGraph(pRow, pTarget, kGraphWidth, kGraphHeight, pLanguage);
    const std::string none = "<p>" + std::string(pWords.NoGraph) + "</p>";
    if (image.Width == 0) return none;
    GraphImage pixels = image;
    cairo_surface_t* surface = cairo_image_surface_create_for_data(pixels.Bytes.data(), CAIRO_FORMAT_ARGB32,
                                                                   pixels.Width, pixels.Height, pixels.Stride);
    std::string png;
    const bool ok = cairo_surface_write_to_png_stream(surface, Append, &png) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    if (!ok) return none;
    return "<img alt=\"" + std::string(pWords.GraphAlt) + "\" width=\"" + std::to_string(kGraphWidth) + "\" height=\"" +
           std::to_string(kGraphHeight) + "\" src=\"data:image/png;base64," + Base64(png) + "\">";
}

std::string Cell(const std::string& pText, const Words& pWords, bool pNumber = false, bool pFail = false,
                 bool pProjected = false) {
    std::string cls = pNumber ? "n" : "";
    if (pFail) cls += cls.empty() ? "fail" : " fail";
    if (pProjected) cls += cls.empty() ? "proj" : " proj";
    std::string out = cls.empty() ? "<td>" : "<td class=\"" + cls + "\">";
    if (pProjected) out.replace(out.size() - 1, 1, " title=\"" + std::string(pWords.IfWritten) + "\">");
    return out + Escape(pText) + "</td>";
}

// Between the figures of a line.
constexpr const char* kFigureSeparator = " · ";

std::string TableRow(const FileRow& r, size_t pIndex, const Words& pWords) {
    const std::string number = std::to_string(pIndex + 1);
    const bool projected = IsProjected(r);
    // The title links to the row's section when it has one; the source's
    // path is under it in every row.
    const std::string title =
        HasDetails(r) ? "<a href=\"#file" + number + "\">" + Escape(r.Title) + "</a>" : Escape(r.Title);
    const bool copyFailed = ShowsCopy(r) && r.CopyVerdict.Kind == VerdictKind::Fail;
    return "<tr>" + Cell(number, pWords, true) + "<td>" + title + "<div class=\"path\">" + Escape(r.Path) +
           "</div></td>" + Cell(Clock(r.RangeSeconds()), pWords, true) + Cell(Number(r.Source.LKFS), pWords, true) +
           Cell(Number(r.Source.SamplePeak), pWords, true) + Cell(Number(r.Source.TruePeak), pWords, true) +
           Cell(Number(r.Source.LRA, 1), pWords, true) + Cell(Gain(r.GainDB), pWords, true) +
           Cell(CopyNumber(r, r.Copy.LKFS), pWords, true, false, projected) +
           Cell(CopyNumber(r, r.Copy.TruePeak), pWords, true, false, projected) +
           Cell(VerdictText(r.SourceVerdict, pWords), pWords, false, r.SourceVerdict.Kind == VerdictKind::Fail) +
           Cell(CopyVerdictText(r, pWords), pWords, false, copyFailed, projected) +
           Cell(FullOutcomeText(r, pWords), pWords, false, !r.Written) + Cell(ActionText(r, pWords), pWords) +
           Cell(r.CopyPath, pWords) + "</tr>\n";
}

std::string Section(const FileRow& r, size_t pIndex, double pTarget, const Words& pWords, ReportLanguage pLanguage) {
    const std::string number = std::to_string(pIndex + 1);
    const double rate = r.SampleRate > 0 ? r.SampleRate : 48000.0;
    const std::string copyLabel = IsProjected(r) ? pWords.CopyIfWritten : pWords.Copy;
    std::string out = "<div class=\"file\" id=\"file" + number + "\"><h2>" + number + ". " + Escape(r.Title) +
                      "</h2><div class=\"path\">" + Escape(r.Path) + "</div>";
    if (!r.CopyPath.empty()) out += "<div class=\"path\">" + copyLabel + ": " + Escape(r.CopyPath) + "</div>";
    out += "<p>" + std::string(pWords.Range) + " " + Clock(static_cast<double>(r.RangeStart) / rate) + " – " +
           Clock(static_cast<double>(r.RangeEnd) / rate) + " (" + pWords.Frames + " " + std::to_string(r.RangeStart) +
           " – " + std::to_string(r.RangeEnd) + ", " + Clock(r.RangeSeconds()) + ") · " + pWords.Band + " " +
           Escape(BandText(r.Band, pWords)) + "<br>" + pWords.Source + ": " +
           Escape(FiguresText(r.Source, pWords, kFigureSeparator)) + " · " + pWords.SectionVerdict + " " +
           Escape(VerdictText(r.SourceVerdict, pWords));
    const std::string gain = Gain(r.GainDB);
    std::string line;
    if (!gain.empty()) line = std::string(pWords.Gain) + " " + gain + " dB";
    if (ShowsCopy(r))
        line += std::string(line.empty() ? "" : " · ") + copyLabel + ": " +
                Escape(FiguresText(r.Copy, pWords, kFigureSeparator)) + " · " + pWords.SectionVerdict + " " +
                Escape(VerdictText(r.CopyVerdict, pWords));
    if (!line.empty()) out += "<br>" + line;
    out += "<br>" + std::string(pWords.Outcome) + ": " + Escape(FullOutcomeText(r, pWords));
    if (const std::string action = ActionText(r, pWords); !action.empty())
        out += "<br>" + std::string(pWords.Action) + ": " + Escape(action);
    out += "</p>\n";
    if (HasSeries(r)) out += GraphImg(r, pTarget, pWords, pLanguage);
    out += "</div>\n";
    return out;
}

// The header and the summary, once at the top.
std::string Heading(const BatchReport& pReport, const Words& pWords) {
    const BatchHeader& h = pReport.Header;
    const BatchSummary summary = Summarize(pReport);
    const auto field = [&](const char* pLabel, const std::string& pValue) {
        return "<tr><th>" + std::string(pLabel) + "</th><td>" + Escape(pValue.empty() ? "-" : pValue) + "</td></tr>";
    };
    std::string out = "<h1>" + std::string(pWords.ReportTitle) + "</h1>\n<table class=\"head\">" +
                      field(pWords.Program, h.ProgramVersion) + field(pWords.Date, h.Date) +
                      field(pWords.Host, h.Host) + field(pWords.Operator, h.Operator) +
                      field(pWords.Station, h.Station) + field(pWords.Programme, h.Programme) +
                      field(pWords.Client, h.Client);
    if (!h.Notes.empty()) out += field(pWords.Notes, h.Notes);
    out += "</table>\n<p>" + std::string(pWords.Profile) + ": " + Escape(h.ProfileName.empty() ? "-" : h.ProfileName) +
           " · " + pWords.Target + ": " + Number(h.TargetLKFS, 1) + " LKFS · " + pWords.Range + ": " +
           Escape(h.RangeChoices) + "</p>\n<h2>" + pWords.Summary + "</h2>\n<p class=\"summary\">" +
           Escape(SummaryCountsText(summary, pWords));
    if (const std::string reasons = SummaryReasonsText(summary, pWords); !reasons.empty())
        out += "<br>" + Escape(reasons);
    out += "<br>" + Escape(SummaryVerdictsText(summary, pWords)) + "</p>\n<p class=\"note\">" + pWords.Units + "</p>\n";
    return out;
}

}  // namespace

std::string ReportHtml(const BatchReport& pReport) {
    detail::StringSink text;
    detail::WriteHtml(pReport, text);
    return std::move(text.Text());
}

namespace detail {

void WriteHtml(const BatchReport& pReport, Sink& pSink) {
    const Words& words = WordsOf(pReport.Language);
    const bool projected = AnyProjected(pReport);
    const std::string mark = projected ? kProjectedMark : "";
    std::string out = "<!DOCTYPE html>\n<html lang=\"" + std::string(words.Language) +
                      "\"><head><meta charset=\"utf-8\"><title>" + words.ReportTitle + "</title><style>";
    out += kStyle;
    out += "</style></head><body>\n" + Heading(pReport, words);
    if (projected) out += "<p class=\"proj\">" + Escape(words.ProjectedNote) + "</p>\n";
    const std::string heads[] = {"#",
                                 words.Title,
                                 words.Duration,
                                 "LKFS",
                                 words.Peak + std::string(" dBFS"),
                                 "TP dBTP",
                                 "LRA LU",
                                 words.Gain + std::string(" dB"),
                                 words.CopyLKFS + mark,
                                 words.CopyTP + mark,
                                 words.Source,
                                 words.Copy + mark,
                                 words.Outcome,
                                 words.Action,
                                 words.CopyFile};
    out += "<table><tr>";
    for (const std::string& head : heads) out += "<th>" + head + "</th>";
    out += "</tr>\n";
    pSink.Put(out);
    for (size_t i = 0; i < pReport.Rows.size() && !pSink.Failed(); ++i) pSink.Put(TableRow(pReport.Rows[i], i, words));
    pSink.Put("</table>\n");
    for (size_t i = 0; i < pReport.Rows.size() && !pSink.Failed(); ++i)
        if (HasDetails(pReport.Rows[i]))
            pSink.Put(Section(pReport.Rows[i], i, pReport.Header.TargetLKFS, words, pReport.Language));
    pSink.Put("</body></html>\n");
}

}  // namespace detail
}  // namespace sonivate::report
