// The PDF report: A4 portrait pages, the batch header and a summary table
// running over as many pages as it needs, then two files a page, each with
// its figures and its loudness graph.

#include <cairo-pdf.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <string>

#include "report/loudness_graph.h"
#include "report/report_text.h"

namespace sonivate::report::detail {
namespace {

// A4 in points.
constexpr double kPageWidth = 595.276;
constexpr double kPageHeight = 841.890;
constexpr double kMargin = 36.0;
constexpr double kContentWidth = kPageWidth - 2 * kMargin;
constexpr double kTablePoints = 6.5;
constexpr double kRowHeight = 11.0;
constexpr double kFilesPerPage = 2;
constexpr double kGraphHeight = 230.0;

struct Column {
    const char* Heading;
    double Width;
    double Align;  // 0 left, 1 right
};
constexpr Column kColumns[] = {
    {"#", 16, 1},   {"Title", 104, 0}, {"Duration", 36, 1},  {"LKFS", 32, 1},    {"Peak", 32, 1},    {"TP", 32, 1},
    {"LRA", 26, 1}, {"Gain", 34, 1},   {"Copy LKFS", 36, 1}, {"Copy TP", 32, 1}, {"Verdict", 44, 0}, {"Outcome", 99, 0},
};

// Text at (pX, pY) (top left, or top right with pAlign 1), at most pWidth
// wide (longer text ends in an ellipsis; 0: no limit). Returns its height.
double Text(cairo_t* pCairo, const std::string& pText, double pX, double pY, double pPoints, double pWidth = 0.0,
            double pAlign = 0.0, bool pBold = false) {
    PangoLayout* layout = pango_cairo_create_layout(pCairo);
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, kFontFamily);
    pango_font_description_set_absolute_size(font, pPoints * PANGO_SCALE);
    if (pBold) pango_font_description_set_weight(font, PANGO_WEIGHT_BOLD);
    pango_layout_set_font_description(layout, font);
    pango_layout_set_text(layout, pText.c_str(), static_cast<int>(pText.size()));
    if (pWidth > 0.0) {
        pango_layout_set_width(layout, static_cast<int>(pWidth * PANGO_SCALE));
        pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
    }
    int width = 0, height = 0;
    pango_layout_get_size(layout, &width, &height);
    const double w = static_cast<double>(width) / PANGO_SCALE;
    cairo_move_to(pCairo, pAlign > 0.0 ? pX - w : pX, pY);
    pango_cairo_show_layout(pCairo, layout);
    pango_font_description_free(font);
    g_object_unref(layout);
    return static_cast<double>(height) / PANGO_SCALE;
}

std::string ShortVerdict(const FileRow& pRow) {
    auto one = [](const FileVerdict& pVerdict) {
        return pVerdict.Kind == VerdictKind::Pass ? "pass" : pVerdict.Kind == VerdictKind::Fail ? "FAIL" : "-";
    };
    return std::string(one(pRow.SourceVerdict)) + " / " + one(pRow.CopyVerdict);
}

double Header(cairo_t* pCairo, const BatchHeader& pHeader, double pY) {
    cairo_set_source_rgb(pCairo, 0, 0, 0);
    pY += Text(pCairo, "Loudness report", kMargin, pY, 14.0, 0, 0, true) + 4.0;
    const std::string lines[] = {
        "Date: " + pHeader.Date + "    Host: " + pHeader.Host + "    Program: " + pHeader.ProgramVersion,
        "Profile: " + (pHeader.ProfileName.empty() ? std::string("-") : pHeader.ProfileName) +
            "    Target: " + Number(pHeader.TargetLKFS, 1) + " LKFS    Range: " + pHeader.RangeChoices,
    };
    for (const std::string& line : lines) pY += Text(pCairo, line, kMargin, pY, 8.0, kContentWidth) + 1.0;
    cairo_set_source_rgb(pCairo, 0.3, 0.3, 0.3);
    pY += Text(pCairo,
               "Loudness in LKFS, peak in dBFS, true peak (TP) in dBTP, LRA in LU, gain in dB. Verdict: source / "
               "copy.",
               kMargin, pY + 2.0, 6.5, kContentWidth);
    return pY + 8.0;
}

double TableHeading(cairo_t* pCairo, double pY) {
    double x = kMargin;
    cairo_set_source_rgb(pCairo, 0.88, 0.90, 0.95);
    cairo_rectangle(pCairo, kMargin, pY - 1.5, kContentWidth, kRowHeight);
    cairo_fill(pCairo);
    cairo_set_source_rgb(pCairo, 0, 0, 0);
    for (const Column& c : kColumns) {
        Text(pCairo, c.Heading, c.Align > 0 ? x + c.Width - 2.0 : x + 2.0, pY, kTablePoints, c.Width - 3.0, c.Align,
             true);
        x += c.Width;
    }
    return pY + kRowHeight;
}

void TableRow(cairo_t* pCairo, const FileRow& pRow, size_t pIndex, double pY) {
    const std::string cells[] = {
        std::to_string(pIndex + 1),
        pRow.Title,
        Clock(pRow.RangeSeconds()),
        Number(pRow.Source.LKFS),
        Number(pRow.Source.SamplePeak),
        Number(pRow.Source.TruePeak),
        Number(pRow.Source.LRA, 1),
        Gain(pRow.GainDB),
        Number(pRow.Copy.LKFS),
        Number(pRow.Copy.TruePeak),
        ShortVerdict(pRow),
        OutcomeText(pRow),
    };
    if (pIndex % 2 == 1) {
        cairo_set_source_rgb(pCairo, 0.96, 0.96, 0.96);
        cairo_rectangle(pCairo, kMargin, pY - 1.5, kContentWidth, kRowHeight);
        cairo_fill(pCairo);
    }
    const bool failed = pRow.SourceVerdict.Kind == VerdictKind::Fail || pRow.CopyVerdict.Kind == VerdictKind::Fail;
    double x = kMargin;
    size_t i = 0;
    for (const Column& c : kColumns) {
        const bool mark = (i == 10 && failed) || (i == 11 && !pRow.Written);
        if (mark)
            cairo_set_source_rgb(pCairo, 0.75, 0, 0);
        else
            cairo_set_source_rgb(pCairo, 0, 0, 0);
        Text(pCairo, cells[i], c.Align > 0 ? x + c.Width - 2.0 : x + 2.0, pY, kTablePoints, c.Width - 3.0, c.Align);
        x += c.Width;
        ++i;
    }
}

std::string FiguresLine(const Figures& pFigures) {
    return "LKFS " + Number(pFigures.LKFS) + "   peak " + Number(pFigures.SamplePeak) + " dBFS   TP " +
           Number(pFigures.TruePeak) + " dBTP   LRA " + Number(pFigures.LRA, 1) + " LU   max M " +
           Number(pFigures.MaxMomentary) + "   max S " + Number(pFigures.MaxShortTerm);
}

void FileSection(cairo_t* pCairo, const FileRow& pRow, size_t pIndex, double pTarget, double pY) {
    cairo_set_source_rgb(pCairo, 0, 0, 0);
    pY += Text(pCairo, std::to_string(pIndex + 1) + ". " + pRow.Title, kMargin, pY, 11.0, kContentWidth, 0, true) + 1;
    cairo_set_source_rgb(pCairo, 0.3, 0.3, 0.3);
    pY += Text(pCairo, pRow.Path, kMargin, pY, 7.0, kContentWidth) + 3.0;
    cairo_set_source_rgb(pCairo, 0, 0, 0);
    const double rate = pRow.SampleRate > 0 ? pRow.SampleRate : 48000.0;
    const std::string lines[] = {
        "Range " + Clock(static_cast<double>(pRow.RangeStart) / rate) + " - " +
            Clock(static_cast<double>(pRow.RangeEnd) / rate) + "  (frames " + std::to_string(pRow.RangeStart) + " - " +
            std::to_string(pRow.RangeEnd) + ", " + Clock(pRow.RangeSeconds()) + ")    Band " + BandText(pRow.Band),
        "Source  " + FiguresLine(pRow.Source) + "    verdict " + VerdictText(pRow.SourceVerdict),
        "Gain " + Gain(pRow.GainDB) + " dB    Copy  " + FiguresLine(pRow.Copy) + "    verdict " +
            VerdictText(pRow.CopyVerdict),
        "Outcome " + OutcomeText(pRow) + (pRow.ReasonText.empty() ? std::string() : ": " + pRow.ReasonText),
    };
    for (const std::string& line : lines) pY += Text(pCairo, line, kMargin, pY, 7.0, kContentWidth) + 1.0;
    DrawLoudnessGraph(pCairo, {kMargin, pY + 4.0, kContentWidth, kGraphHeight}, pRow, pTarget);
}

cairo_status_t Append(void* pClosure, const unsigned char* pData, unsigned int pLength) {
    static_cast<std::string*>(pClosure)->append(reinterpret_cast<const char*>(pData), pLength);
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

std::string ReportPdf(const BatchReport& pReport) {
    std::string bytes;
    cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(Append, &bytes, kPageWidth, kPageHeight);
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_TITLE, "Loudness report");
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATOR, pReport.Header.ProgramVersion.c_str());
    cairo_t* cairo = cairo_create(surface);

    double y = Header(cairo, pReport.Header, kMargin);
    y = TableHeading(cairo, y);
    for (size_t i = 0; i < pReport.Rows.size(); ++i) {
        if (y + kRowHeight > kPageHeight - kMargin) {
            cairo_show_page(cairo);
            y = TableHeading(cairo, kMargin);
        }
        TableRow(cairo, pReport.Rows[i], i, y);
        y += kRowHeight;
    }
    const double section = (kPageHeight - 2 * kMargin) / kFilesPerPage;
    for (size_t i = 0; i < pReport.Rows.size(); ++i) {
        if (i % static_cast<size_t>(kFilesPerPage) == 0) cairo_show_page(cairo);
        const double top = kMargin + section * static_cast<double>(i % static_cast<size_t>(kFilesPerPage));
        FileSection(cairo, pReport.Rows[i], i, pReport.Header.TargetLKFS, top);
    }
    cairo_show_page(cairo);
    const bool ok = cairo_status(cairo) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cairo);
    cairo_surface_finish(surface);
    const bool finished = cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    if (!ok || !finished) return {};
    return bytes;
}

}  // namespace sonivate::report::detail
