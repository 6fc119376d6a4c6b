// The PDF report: A4 portrait pages, the batch header and a summary table
// running over as many pages as it needs, then a section for each file that
// has figures or a series (about two a page), with its figures and its
// loudness graph. Streamed: each finished page goes to the file.

#include <cairo-pdf.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <iterator>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "report/loudness_graph.h"
#include "report/report_text.h"
#include "report/text_cells.h"

namespace sonivate::report::detail {
namespace {

// A4 in points.
constexpr double kPageWidth = 595.276;
constexpr double kPageHeight = 841.890;
constexpr double kMargin = 36.0;
constexpr double kContentWidth = kPageWidth - 2 * kMargin;
constexpr double kPageBottom = kPageHeight - kMargin;
constexpr double kTablePoints = 6.5;
constexpr double kPathPoints = 5.5;  // a row's path under its title
constexpr double kRowHeight = 11.0;  // one line of table text
constexpr double kRowPadding = 1.5;  // above the text in a row
constexpr double kCellPadding = 2.0;
constexpr double kSectionPoints = 7.0;
constexpr double kSectionGap = 14.0;
constexpr double kGraphHeight = 230.0;
constexpr double kGraphGap = 4.0;

struct Column {
    const char* Heading;
    double Width;
    double Align;  // 0 left, 1 right
};
constexpr Column kColumns[] = {
    {"#", 26, 1},   {"Title", 90, 0}, {"Duration", 36, 1},  {"LKFS", 32, 1},    {"Peak", 32, 1},    {"TP", 32, 1},
    {"LRA", 26, 1}, {"Gain", 34, 1},  {"Copy LKFS", 40, 1}, {"Copy TP", 32, 1}, {"Verdict", 44, 0}, {"Outcome", 99, 0},
};
constexpr size_t kColumnCount = std::size(kColumns);
constexpr size_t kTitleColumn = 1;
constexpr size_t kCopyLkfsColumn = 8;
constexpr size_t kCopyTpColumn = 9;
constexpr size_t kVerdictColumn = 10;
constexpr size_t kOutcomeColumn = 11;

// How a text meets its width: cut with an ellipsis at its end or its start
// (a path keeps its file name), or wrapped onto as many lines as it needs.
enum class Fit { Ellipsis, EllipsisStart, Wrap };

struct Style {
    double Points = kTablePoints;
    double Width = 0.0;  // 0: no limit
    double Align = 0.0;  // 0 left, 1 right
    bool Bold = false;
    Fit Fitting = Fit::Ellipsis;
};

// Lays out and draws the report's text. Shaping dominates the cost of a
// large table, so one layout per size and weight is reused, and texts that
// repeat from row to row (figures, "-", verdicts, outcomes) are kept laid
// out, up to kMostKept of them.
class Pen {
public:
    explicit Pen(cairo_t* pCairo) : mCairo(pCairo) {}
    ~Pen() {
        for (const Shared& s : mShared) g_object_unref(s.Layout);
        for (const auto& [key, layout] : mKept) g_object_unref(layout);
    }
    Pen(const Pen&) = delete;
    Pen& operator=(const Pen&) = delete;

    // pText (through ShownText: names come from outside) with its top left
    // at (pX, pY), or its top right with Align 1. Returns its height; draws
    // nothing when pDraw is false. pRepeats: the text is likely to come
    // again (a figure, a verdict), and worth keeping laid out.
    double Text(const std::string& pText, double pX, double pY, const Style& pStyle, bool pDraw = true,
                bool pRepeats = false) {
        if (pText.empty()) return LineHeight(pStyle);
        PangoLayout* layout = pRepeats ? Kept(pText, pStyle) : Laid(pText, pStyle);
        int width = 0, height = 0;
        pango_layout_get_size(layout, &width, &height);
        if (pDraw) {
            const double w = static_cast<double>(width) / PANGO_SCALE;
            cairo_move_to(mCairo, pStyle.Align > 0.0 ? pX - w : pX, pY);
            pango_cairo_show_layout(mCairo, layout);
        }
        return static_cast<double>(height) / PANGO_SCALE;
    }

    // The height of one line in pStyle's face.
    double LineHeight(const Style& pStyle) { return Text("Ag", 0, 0, {pStyle.Points, 0, 0, pStyle.Bold}, false, true); }

private:
    static constexpr size_t kMostKept = 512;

    struct Shared {
        double Points;
        bool Bold;
        PangoLayout* Layout;
    };

    PangoLayout* NewLayout(const Style& pStyle) {
        PangoLayout* layout = pango_cairo_create_layout(mCairo);
        PangoFontDescription* font = pango_font_description_new();
        pango_font_description_set_family(font, kFontFamily);
        pango_font_description_set_absolute_size(font, pStyle.Points * PANGO_SCALE);
        if (pStyle.Bold) pango_font_description_set_weight(font, PANGO_WEIGHT_BOLD);
        pango_layout_set_font_description(layout, font);
        pango_font_description_free(font);
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
        return layout;
    }

    static void SetText(PangoLayout* pLayout, const std::string& pText, const Style& pStyle) {
        const std::string shown = ShownText(pText);
        pango_layout_set_text(pLayout, shown.c_str(), static_cast<int>(shown.size()));
        if (pStyle.Width > 0.0) {
            pango_layout_set_width(pLayout, static_cast<int>(pStyle.Width * PANGO_SCALE));
            pango_layout_set_ellipsize(pLayout, pStyle.Fitting == Fit::Ellipsis        ? PANGO_ELLIPSIZE_END
                                                : pStyle.Fitting == Fit::EllipsisStart ? PANGO_ELLIPSIZE_START
                                                                                       : PANGO_ELLIPSIZE_NONE);
        } else {
            pango_layout_set_width(pLayout, -1);
            pango_layout_set_ellipsize(pLayout, PANGO_ELLIPSIZE_NONE);
        }
    }

    PangoLayout* Laid(const std::string& pText, const Style& pStyle) {
        PangoLayout* layout = nullptr;
        for (const Shared& s : mShared)
            if (s.Points == pStyle.Points && s.Bold == pStyle.Bold) layout = s.Layout;
        if (layout == nullptr) {
            layout = NewLayout(pStyle);
            mShared.push_back({pStyle.Points, pStyle.Bold, layout});
        }
        SetText(layout, pText, pStyle);
        return layout;
    }

    PangoLayout* Kept(const std::string& pText, const Style& pStyle) {
        char style[64];
        std::snprintf(style, sizeof(style), "%g/%g/%d/%d|", pStyle.Points, pStyle.Width, pStyle.Bold ? 1 : 0,
                      static_cast<int>(pStyle.Fitting));
        std::string key = style + pText;
        if (const auto found = mKept.find(key); found != mKept.end()) return found->second;
        if (mKept.size() >= kMostKept) return Laid(pText, pStyle);
        PangoLayout* layout = NewLayout(pStyle);
        SetText(layout, pText, pStyle);
        mKept.emplace(std::move(key), layout);
        return layout;
    }

    cairo_t* mCairo;
    std::vector<Shared> mShared;
    std::unordered_map<std::string, PangoLayout*> mKept;
};

std::string ShortVerdict(const FileRow& pRow) {
    const auto one = [](const FileVerdict& pVerdict) {
        return pVerdict.Kind == VerdictKind::Pass ? "pass" : pVerdict.Kind == VerdictKind::Fail ? "FAIL" : "-";
    };
    std::string copy = ShowsCopy(pRow) ? one(pRow.CopyVerdict) : "—";
    if (IsProjected(pRow)) copy += kProjectedMark;
    return std::string(one(pRow.SourceVerdict)) + " / " + copy;
}

double Header(cairo_t* pCairo, Pen& pPen, const BatchReport& pReport, double pY) {
    const BatchHeader& header = pReport.Header;
    const Style line{8.0, kContentWidth, 0, false, Fit::Wrap};
    const Style note{6.5, kContentWidth, 0, false, Fit::Wrap};
    cairo_set_source_rgb(pCairo, 0, 0, 0);
    pY += pPen.Text("Loudness report", kMargin, pY, {14.0, 0, 0, true}) + 4.0;
    pY += pPen.Text("Date: " + header.Date + "    Host: " + header.Host + "    Program: " + header.ProgramVersion,
                    kMargin, pY, line) +
          1.0;
    pY += pPen.Text("Profile: " + (header.ProfileName.empty() ? std::string("-") : header.ProfileName) +
                        "    Target: " + Number(header.TargetLKFS, 1) + " LKFS    Range: " + header.RangeChoices,
                    kMargin, pY, line) +
          1.0;
    cairo_set_source_rgb(pCairo, 0.3, 0.3, 0.3);
    pY += pPen.Text(
        "Loudness in LKFS, peak in dBFS, true peak (TP) in dBTP, LRA in LU, gain in dB. Verdict: source / copy.",
        kMargin, pY + 2.0, note);
    if (AnyProjected(pReport)) pY += pPen.Text(kProjectedNote, kMargin, pY + 2.0, note) + 2.0;
    return pY + 8.0;
}

double TableHeading(cairo_t* pCairo, Pen& pPen, bool pProjected, double pY) {
    double x = kMargin;
    cairo_set_source_rgb(pCairo, 0.88, 0.90, 0.95);
    cairo_rectangle(pCairo, kMargin, pY - kRowPadding, kContentWidth, kRowHeight);
    cairo_fill(pCairo);
    cairo_set_source_rgb(pCairo, 0, 0, 0);
    for (size_t i = 0; i < kColumnCount; ++i) {
        const Column& c = kColumns[i];
        std::string heading = c.Heading;
        if (pProjected && (i == kCopyLkfsColumn || i == kCopyTpColumn)) heading += kProjectedMark;
        pPen.Text(heading, c.Align > 0 ? x + c.Width - kCellPadding : x + kCellPadding, pY,
                  {kTablePoints, c.Width - 3.0, c.Align, true});
        x += c.Width;
    }
    return pY + kRowHeight;
}

// One table row at pY; returns its height (the outcome wraps, a row
// without a section shows its path under its title). Draws nothing when
// pDraw is false.
double TableRow(cairo_t* pCairo, Pen& pPen, const FileRow& pRow, size_t pIndex, double pY, bool pDraw) {
    const std::string cells[kColumnCount] = {
        std::to_string(pIndex + 1),
        pRow.Title,
        Clock(pRow.RangeSeconds()),
        Number(pRow.Source.LKFS),
        Number(pRow.Source.SamplePeak),
        Number(pRow.Source.TruePeak),
        Number(pRow.Source.LRA, 1),
        Gain(pRow.GainDB),
        CopyNumber(pRow, pRow.Copy.LKFS),
        CopyNumber(pRow, pRow.Copy.TruePeak),
        ShortVerdict(pRow),
        FullOutcomeText(pRow),
    };
    const bool pathLine = !HasDetails(pRow);
    const Column& title = kColumns[kTitleColumn];
    const Column& outcome = kColumns[kOutcomeColumn];
    const Style pathStyle{kPathPoints, title.Width - 3.0, 0, false, Fit::EllipsisStart};
    const Style outcomeStyle{kTablePoints, outcome.Width - 3.0, 0, false, Fit::Wrap};
    // Titles and paths are cut to one line; outcomes wrap.
    const double titleHeight = pPen.LineHeight({kTablePoints}) + (pathLine ? pPen.LineHeight({kPathPoints}) : 0.0);
    const double outcomeHeight = pPen.Text(cells[kOutcomeColumn], 0, 0, outcomeStyle, false, true);
    const double height = std::max({kRowHeight, titleHeight + kRowPadding, outcomeHeight + kRowPadding});
    if (!pDraw) return height;

    if (pIndex % 2 == 1) {
        cairo_set_source_rgb(pCairo, 0.96, 0.96, 0.96);
        cairo_rectangle(pCairo, kMargin, pY - kRowPadding, kContentWidth, height);
        cairo_fill(pCairo);
    }
    const bool failed =
        pRow.SourceVerdict.Kind == VerdictKind::Fail || (ShowsCopy(pRow) && pRow.CopyVerdict.Kind == VerdictKind::Fail);
    double x = kMargin;
    for (size_t i = 0; i < kColumnCount; ++i) {
        const Column& c = kColumns[i];
        const bool mark = (i == kVerdictColumn && failed) || (i == kOutcomeColumn && !pRow.Written);
        if (mark)
            cairo_set_source_rgb(pCairo, 0.75, 0, 0);
        else
            cairo_set_source_rgb(pCairo, 0, 0, 0);
        const double cellX = c.Align > 0 ? x + c.Width - kCellPadding : x + kCellPadding;
        const Style style{kTablePoints, c.Width - 3.0, c.Align, false, i == kOutcomeColumn ? Fit::Wrap : Fit::Ellipsis};
        // Every cell but the number and the title is likely to repeat.
        const bool repeats = i != 0 && i != kTitleColumn;
        pPen.Text(cells[i], cellX, pY, style, true, repeats);
        if (i == kTitleColumn && pathLine) {
            cairo_set_source_rgb(pCairo, 0.35, 0.35, 0.35);
            pPen.Text(pRow.Path, cellX, pY + pPen.LineHeight({kTablePoints}), pathStyle);
        }
        x += c.Width;
    }
    return height;
}

std::string FiguresLine(const Figures& pFigures) {
    return "LKFS " + Number(pFigures.LKFS) + "   peak " + Number(pFigures.SamplePeak) + " dBFS   TP " +
           Number(pFigures.TruePeak) + " dBTP   LRA " + Number(pFigures.LRA, 1) + " LU   max M " +
           Number(pFigures.MaxMomentary) + "   max S " + Number(pFigures.MaxShortTerm);
}

// A file's section at pY: its names, figures, outcome (wrapped, never cut)
// and graph. Returns its height; draws nothing when pDraw is false.
double FileSection(cairo_t* pCairo, Pen& pPen, const FileRow& pRow, size_t pIndex, double pTarget, double pY,
                   bool pDraw) {
    const double top = pY;
    const Style text{kSectionPoints, kContentWidth, 0, false, Fit::Wrap};
    cairo_set_source_rgb(pCairo, 0, 0, 0);
    pY += pPen.Text(std::to_string(pIndex + 1) + ". " + pRow.Title, kMargin, pY,
                    {11.0, kContentWidth, 0, true, Fit::Wrap}, pDraw) +
          1;
    cairo_set_source_rgb(pCairo, 0.3, 0.3, 0.3);
    pY += pPen.Text(pRow.Path, kMargin, pY, text, pDraw) + 1.0;
    if (!pRow.CopyPath.empty())
        pY += pPen.Text((IsProjected(pRow) ? "Copy (if written): " : "Copy: ") + pRow.CopyPath, kMargin, pY, text,
                        pDraw) +
              1.0;
    pY += 2.0;
    cairo_set_source_rgb(pCairo, 0, 0, 0);
    const double rate = pRow.SampleRate > 0 ? pRow.SampleRate : 48000.0;
    std::vector<std::string> lines = {
        "Range " + Clock(static_cast<double>(pRow.RangeStart) / rate) + " - " +
            Clock(static_cast<double>(pRow.RangeEnd) / rate) + "  (frames " + std::to_string(pRow.RangeStart) + " - " +
            std::to_string(pRow.RangeEnd) + ", " + Clock(pRow.RangeSeconds()) + ")    Band " + BandText(pRow.Band),
        "Source  " + FiguresLine(pRow.Source) + "    verdict " + VerdictText(pRow.SourceVerdict),
    };
    std::string copy;
    if (pRow.GainDB) copy = "Gain " + Gain(pRow.GainDB) + " dB    ";
    if (ShowsCopy(pRow))
        copy += std::string(IsProjected(pRow) ? "Copy (if written)  " : "Copy  ") + FiguresLine(pRow.Copy) +
                "    verdict " + VerdictText(pRow.CopyVerdict);
    if (!copy.empty()) lines.push_back(copy);
    lines.push_back("Outcome " + FullOutcomeText(pRow));
    for (const std::string& line : lines) pY += pPen.Text(line, kMargin, pY, text, pDraw) + 1.0;
    if (HasSeries(pRow)) {
        if (pDraw) DrawLoudnessGraph(pCairo, {kMargin, pY + kGraphGap, kContentWidth, kGraphHeight}, pRow, pTarget);
        pY += kGraphGap + kGraphHeight;
    }
    return pY - top;
}

cairo_status_t PutBytes(void* pClosure, const unsigned char* pData, unsigned int pLength) {
    auto* sink = static_cast<Sink*>(pClosure);
    sink->Put({reinterpret_cast<const char*>(pData), pLength});
    return sink->Failed() ? CAIRO_STATUS_WRITE_ERROR : CAIRO_STATUS_SUCCESS;
}

}  // namespace

bool WritePdf(const BatchReport& pReport, Sink& pSink) {
    cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(PutBytes, &pSink, kPageWidth, kPageHeight);
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_TITLE, "Loudness report");
    const std::string creator = ShownText(pReport.Header.ProgramVersion);
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATOR, creator.c_str());
    cairo_t* cairo = cairo_create(surface);
    {
        Pen pen(cairo);
        const bool projected = AnyProjected(pReport);
        double y = Header(cairo, pen, pReport, kMargin);
        y = TableHeading(cairo, pen, projected, y);
        for (size_t i = 0; i < pReport.Rows.size() && cairo_status(cairo) == CAIRO_STATUS_SUCCESS; ++i) {
            const FileRow& row = pReport.Rows[i];
            const double height = TableRow(cairo, pen, row, i, y, false);
            if (y + height > kPageBottom) {
                cairo_show_page(cairo);
                y = TableHeading(cairo, pen, projected, kMargin);
            }
            y += TableRow(cairo, pen, row, i, y, true);
        }
        // The sections follow on pages of their own, as many to a page as fit.
        y = kPageBottom;
        for (size_t i = 0; i < pReport.Rows.size() && cairo_status(cairo) == CAIRO_STATUS_SUCCESS; ++i) {
            const FileRow& row = pReport.Rows[i];
            if (!HasDetails(row)) continue;
            const double target = pReport.Header.TargetLKFS;
            const double height = FileSection(cairo, pen, row, i, target, y, false);
            if (y + height > kPageBottom) {
                cairo_show_page(cairo);
                y = kMargin;
            }
            y += FileSection(cairo, pen, row, i, target, y, true) + kSectionGap;
        }
    }
    cairo_show_page(cairo);
    const bool ok = cairo_status(cairo) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cairo);
    cairo_surface_finish(surface);
    const bool finished = cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    return ok && finished && !pSink.Failed();
}

}  // namespace sonivate::report::detail
