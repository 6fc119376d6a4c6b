// The HTML report: one self-contained file, inline CSS, each file's graph as
// an inline PNG drawn by the same cairo code as the PDF's.

#include <cairo.h>

#include <string>

#include "report/loudness_graph.h"
#include "report/report_text.h"

namespace sonivate::report {
namespace {

// Pixels: about the width of the summary table.
constexpr std::int32_t kGraphWidth = 640;
constexpr std::int32_t kGraphHeight = 220;

constexpr const char* kStyle =
    "body{font-family:'Noto Sans CJK JP',sans-serif;font-size:13px;margin:16px;color:#222}"
    "table{border-collapse:collapse;font-size:12px}"
    "th,td{border:1px solid #ccc;padding:2px 6px}th{background:#e0e6f2}"
    "td.n{text-align:right;font-variant-numeric:tabular-nums}tr:nth-child(even){background:#f5f5f5}"
    ".fail{color:#b00;font-weight:bold}.file{margin-top:24px;border-top:1px solid #999;padding-top:8px}"
    ".path{color:#555;font-size:11px}img{max-width:100%;height:auto;display:block}";

std::string Escape(const std::string& pText) {
    std::string out;
    out.reserve(pText.size());
    for (const char c : pText) {
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

std::string Base64(const std::string& pBytes) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((pBytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < pBytes.size(); i += 3) {
        const auto byte = [&](size_t k) { return k < pBytes.size() ? static_cast<unsigned char>(pBytes[k]) : 0u; };
        const unsigned v = (byte(i) << 16) | (byte(i + 1) << 8) | byte(i + 2);
        out += kDigits[(v >> 18) & 63];
        out += kDigits[(v >> 12) & 63];
        out += i + 1 < pBytes.size() ? kDigits[(v >> 6) & 63] : '=';
        out += i + 2 < pBytes.size() ? kDigits[v & 63] : '=';
    }
    return out;
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

std::string Cell(const std::string& pText, bool pNumber = false, bool pFail = false) {
    std::string cls = pNumber ? "n" : "";
    if (pFail) cls += cls.empty() ? "fail" : " fail";
    return (cls.empty() ? "<td>" : "<td class=\"" + cls + "\">") + Escape(pText) + "</td>";
}

std::string FiguresText(const Figures& pFigures) {
    using detail::Number;
    return "LKFS " + Number(pFigures.LKFS) + " · peak " + Number(pFigures.SamplePeak) + " dBFS · TP " +
           Number(pFigures.TruePeak) + " dBTP · LRA " + Number(pFigures.LRA, 1) + " LU · max M " +
           Number(pFigures.MaxMomentary) + " · max S " + Number(pFigures.MaxShortTerm);
}

}  // namespace

std::string ReportHtml(const BatchReport& pReport) {
    using namespace detail;
    const BatchHeader& h = pReport.Header;
    std::string out =
        "<!DOCTYPE html>\n<html lang=\"ja\"><head><meta charset=\"utf-8\"><title>Loudness report</title>"
        "<style>";
    out += kStyle;
    out += "</style></head><body>\n<h1>Loudness report</h1>\n<p>Date: " + Escape(h.Date) +
           " · Host: " + Escape(h.Host) + " · Program: " + Escape(h.ProgramVersion) +
           "<br>Profile: " + Escape(h.ProfileName.empty() ? "-" : h.ProfileName) +
           " · Target: " + Number(h.TargetLKFS, 1) + " LKFS · Range: " + Escape(h.RangeChoices) + "</p>\n";
    out +=
        "<table><tr><th>#</th><th>Title</th><th>Duration</th><th>LKFS</th><th>Peak dBFS</th><th>TP dBTP</th>"
        "<th>LRA LU</th><th>Gain dB</th><th>Copy LKFS</th><th>Copy TP</th><th>Source</th><th>Copy</th>"
        "<th>Outcome</th></tr>\n";
    for (size_t i = 0; i < pReport.Rows.size(); ++i) {
        const FileRow& r = pReport.Rows[i];
        out += "<tr>" + Cell(std::to_string(i + 1), true) + "<td><a href=\"#file" + std::to_string(i + 1) + "\">" +
               Escape(r.Title) + "</a></td>" + Cell(Clock(r.RangeSeconds()), true) + Cell(Number(r.Source.LKFS), true) +
               Cell(Number(r.Source.SamplePeak), true) + Cell(Number(r.Source.TruePeak), true) +
               Cell(Number(r.Source.LRA, 1), true) + Cell(Gain(r.GainDB), true) + Cell(Number(r.Copy.LKFS), true) +
               Cell(Number(r.Copy.TruePeak), true) +
               Cell(VerdictText(r.SourceVerdict), false, r.SourceVerdict.Kind == VerdictKind::Fail) +
               Cell(VerdictText(r.CopyVerdict), false, r.CopyVerdict.Kind == VerdictKind::Fail) +
               Cell(OutcomeText(r), false, !r.Written) + "</tr>\n";
    }
    out += "</table>\n";
    for (size_t i = 0; i < pReport.Rows.size(); ++i) {
        const FileRow& r = pReport.Rows[i];
        const double rate = r.SampleRate > 0 ? r.SampleRate : 48000.0;
        out += "<div class=\"file\" id=\"file" + std::to_string(i + 1) + "\"><h2>" + std::to_string(i + 1) + ". " +
               Escape(r.Title) + "</h2><div class=\"path\">" + Escape(r.Path) + "</div><p>Range " +
               Clock(static_cast<double>(r.RangeStart) / rate) + " – " + Clock(static_cast<double>(r.RangeEnd) / rate) +
               " (frames " + std::to_string(r.RangeStart) + " – " + std::to_string(r.RangeEnd) + ", " +
               Clock(r.RangeSeconds()) + ") · Band " + Escape(BandText(r.Band)) +
               "<br>Source: " + Escape(FiguresText(r.Source)) + " · verdict " + Escape(VerdictText(r.SourceVerdict)) +
               "<br>Gain " + Gain(r.GainDB) + " dB · Copy: " + Escape(FiguresText(r.Copy)) + " · verdict " +
               Escape(VerdictText(r.CopyVerdict)) + "<br>Outcome: " + Escape(OutcomeText(r)) +
               (r.ReasonText.empty() ? std::string() : " – " + Escape(r.ReasonText)) + "</p>\n";
        out += GraphImg(r, h.TargetLKFS);
        out += "</div>\n";
    }
    out += "</body></html>\n";
    return out;
}

}  // namespace sonivate::report
