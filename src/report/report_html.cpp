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
    ".proj{font-style:italic;color:#555}";

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
std::string GraphImg(const FileRow& pRow, double pTarget) {
    const GraphImage image = RenderLoudnessGraph(pRow, pTarget, kGraphWidth, kGraphHeight);
    if (image.Width == 0) return "<p>(no graph)</p>";
    GraphImage pixels = image;
    cairo_surface_t* surface = cairo_image_surface_create_for_data(pixels.Bytes.data(), CAIRO_FORMAT_ARGB32,
                                                                   pixels.Width, pixels.Height, pixels.Stride);
    std::string png;
    const bool ok = cairo_surface_write_to_png_stream(surface, Append, &png) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    if (!ok) return "<p>(no graph)</p>";
    return "<img alt=\"loudness graph\" width=\"" + std::to_string(kGraphWidth) + "\" height=\"" +
           std::to_string(kGraphHeight) + "\" src=\"data:image/png;base64," + Base64(png) + "\">";
}

std::string Cell(const std::string& pText, bool pNumber = false, bool pFail = false, bool pProjected = false) {
    std::string cls = pNumber ? "n" : "";
    if (pFail) cls += cls.empty() ? "fail" : " fail";
    if (pProjected) cls += cls.empty() ? "proj" : " proj";
    std::string out = cls.empty() ? "<td>" : "<td class=\"" + cls + "\">";
    if (pProjected) out.replace(out.size() - 1, 1, " title=\"if written\">");
    return out + Escape(pText) + "</td>";
}

std::string FiguresText(const Figures& pFigures) {
    return "LKFS " + Number(pFigures.LKFS) + " · peak " + Number(pFigures.SamplePeak) + " dBFS · TP " +
           Number(pFigures.TruePeak) + " dBTP · LRA " + Number(pFigures.LRA, 1) + " LU · max M " +
           Number(pFigures.MaxMomentary) + " · max S " + Number(pFigures.MaxShortTerm);
}

std::string TableRow(const FileRow& r, size_t pIndex) {
    const std::string number = std::to_string(pIndex + 1);
    const bool details = HasDetails(r);
    const bool projected = IsProjected(r);
    // A row without a section of its own shows its path here.
    const std::string title = details
                                  ? "<td><a href=\"#file" + number + "\">" + Escape(r.Title) + "</a></td>"
                                  : "<td>" + Escape(r.Title) + "<div class=\"path\">" + Escape(r.Path) + "</div></td>";
    const bool copyFailed = ShowsCopy(r) && r.CopyVerdict.Kind == VerdictKind::Fail;
    return "<tr>" + Cell(number, true) + title + Cell(Clock(r.RangeSeconds()), true) +
           Cell(Number(r.Source.LKFS), true) + Cell(Number(r.Source.SamplePeak), true) +
           Cell(Number(r.Source.TruePeak), true) + Cell(Number(r.Source.LRA, 1), true) + Cell(Gain(r.GainDB), true) +
           Cell(CopyNumber(r, r.Copy.LKFS), true, false, projected) +
           Cell(CopyNumber(r, r.Copy.TruePeak), true, false, projected) +
           Cell(VerdictText(r.SourceVerdict), false, r.SourceVerdict.Kind == VerdictKind::Fail) +
           Cell(CopyVerdictText(r), false, copyFailed, projected) + Cell(FullOutcomeText(r), false, !r.Written) +
           Cell(r.CopyPath) + "</tr>\n";
}

std::string Section(const FileRow& r, size_t pIndex, double pTarget) {
    const std::string number = std::to_string(pIndex + 1);
    const double rate = r.SampleRate > 0 ? r.SampleRate : 48000.0;
    std::string out = "<div class=\"file\" id=\"file" + number + "\"><h2>" + number + ". " + Escape(r.Title) +
                      "</h2><div class=\"path\">" + Escape(r.Path) + "</div>";
    if (!r.CopyPath.empty())
        out += "<div class=\"path\">" + std::string(IsProjected(r) ? "Copy (if written): " : "Copy: ") +
               Escape(r.CopyPath) + "</div>";
    out += "<p>Range " + Clock(static_cast<double>(r.RangeStart) / rate) + " – " +
           Clock(static_cast<double>(r.RangeEnd) / rate) + " (frames " + std::to_string(r.RangeStart) + " – " +
           std::to_string(r.RangeEnd) + ", " + Clock(r.RangeSeconds()) + ") · Band " + Escape(BandText(r.Band)) +
           "<br>Source: " + Escape(FiguresText(r.Source)) + " · verdict " + Escape(VerdictText(r.SourceVerdict));
    const std::string gain = Gain(r.GainDB);
    std::string line;
    if (!gain.empty()) line = "Gain " + gain + " dB";
    if (ShowsCopy(r))
        line += std::string(line.empty() ? "" : " · ") + (IsProjected(r) ? "Copy (if written): " : "Copy: ") +
                Escape(FiguresText(r.Copy)) + " · verdict " + Escape(VerdictText(r.CopyVerdict));
    if (!line.empty()) out += "<br>" + line;
    out += "<br>Outcome: " + Escape(FullOutcomeText(r)) + "</p>\n";
    if (HasSeries(r)) out += GraphImg(r, pTarget);
    out += "</div>\n";
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
    const BatchHeader& h = pReport.Header;
    const bool projected = AnyProjected(pReport);
    const std::string mark = projected ? kProjectedMark : "";
    std::string out =
        "<!DOCTYPE html>\n<html lang=\"ja\"><head><meta charset=\"utf-8\"><title>Loudness report</title>"
        "<style>";
    out += kStyle;
    out += "</style></head><body>\n<h1>Loudness report</h1>\n<p>Date: " + Escape(h.Date) +
           " · Host: " + Escape(h.Host) + " · Program: " + Escape(h.ProgramVersion) +
           "<br>Profile: " + Escape(h.ProfileName.empty() ? "-" : h.ProfileName) +
           " · Target: " + Number(h.TargetLKFS, 1) + " LKFS · Range: " + Escape(h.RangeChoices) + "</p>\n";
    if (projected) out += "<p class=\"proj\">" + Escape(kProjectedNote) + "</p>\n";
    out +=
        "<table><tr><th>#</th><th>Title</th><th>Duration</th><th>LKFS</th><th>Peak dBFS</th><th>TP dBTP</th>"
        "<th>LRA LU</th><th>Gain dB</th><th>Copy LKFS" +
        mark + "</th><th>Copy TP" + mark + "</th><th>Source</th><th>Copy" + mark +
        "</th><th>Outcome</th><th>Copy file</th></tr>\n";
    pSink.Put(out);
    for (size_t i = 0; i < pReport.Rows.size() && !pSink.Failed(); ++i) pSink.Put(TableRow(pReport.Rows[i], i));
    pSink.Put("</table>\n");
    for (size_t i = 0; i < pReport.Rows.size() && !pSink.Failed(); ++i)
        if (HasDetails(pReport.Rows[i])) pSink.Put(Section(pReport.Rows[i], i, h.TargetLKFS));
    pSink.Put("</body></html>\n");
}

}  // namespace detail
}  // namespace sonivate::report
