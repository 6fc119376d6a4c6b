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
// Every page's header above its contents and "n / N" below them.
constexpr double kHeadPoints = 7.0;
constexpr double kHeadRuleGap = 3.0;
constexpr double kRuleWidth = 0.5;
constexpr double kFootRoom = 16.0;
constexpr double kFootGap = 6.0;
constexpr double kFootPoints = 8.0;
constexpr double kFootSpace = 5.0;
constexpr double kContentBottom = kPageBottom - kFootRoom;

// A heading is a word of the report's language, or the same in both.
struct Column {
    const char* Fixed;
    const char* Words::*Word;
    double Width;
    double Align;  // 0 left, 1 right
};
constexpr Column kColumns[] = {
    {"#", nullptr, 26, 1},
    {nullptr, &Words::Title, 90, 0},
    {nullptr, &Words::Duration, 36, 1},
    {"LKFS", nullptr, 32, 1},
    {nullptr, &Words::Peak, 32, 1},
    {"TP", nullptr, 32, 1},
    {"LRA", nullptr, 26, 1},
    {nullptr, &Words::Gain, 34, 1},
    {nullptr, &Words::CopyLKFS, 40, 1},
    {nullptr, &Words::CopyTP, 32, 1},
    {nullptr, &Words::Verdict, 44, 0},
    {nullptr, &Words::Outcome, 99, 0},
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

    double Width(const std::string& pText, const Style& pStyle) {
        int width = 0, height = 0;
        pango_layout_get_size(Laid(pText, pStyle), &width, &height);
        return static_cast<double>(width) / PANGO_SCALE;
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

std::string ShortVerdict(const FileRow& pRow, const Words& pWords) {
    const auto one = [&](const FileVerdict& pVerdict) {
        return pVerdict.Kind == VerdictKind::Pass   ? pWords.ShortPass
               : pVerdict.Kind == VerdictKind::Fail ? pWords.ShortFail
                                                    : "-";
    };
    std::string copy = ShowsCopy(pRow) ? one(pRow.CopyVerdict) : "—";
    if (IsProjected(pRow)) copy += kProjectedMark;
    return std::string(one(pRow.SourceVerdict)) + " / " + copy;
}

// The outcome in full and the action taken, as the table's last cell.
std::string OutcomeCell(const FileRow& pRow, const Words& pWords) {
    const std::string action = ActionText(pRow, pWords);
    return FullOutcomeText(pRow, pWords) + (action.empty() ? std::string() : " · " + action);
}

const char* Heading(size_t pColumn, const Words& pWords) {
    const Column& c = kColumns[pColumn];
    return c.Word != nullptr ? pWords.*c.Word : c.Fixed;
}

// Everything a page shows around its contents.
class PageFrame {
public:
    PageFrame(cairo_t* pCairo, Pen& pPen, const BatchReport& pReport, const Words& pWords)
        : mCairo(pCairo), mPen(pPen), mReport(pReport), mWords(pWords) {}

    // The header every page carries, from the page's top margin: the
    // program, the date, the host and the station's fields. Returns where
    // the page's contents begin.
    double Head(bool pDraw) {
        const BatchHeader& h = mReport.Header;
        const Style line{kHeadPoints, kContentWidth, 0, false, Fit::Wrap};
        double y = kMargin;
        cairo_set_source_rgb(mCairo, 0.2, 0.2, 0.2);
        y += mPen.Text(h.ProgramVersion + "    " + mWords.Date + ": " + h.Date + "    " + mWords.Host + ": " + h.Host,
                       kMargin, y, {kHeadPoints, kContentWidth, 0, true, Fit::Wrap}, pDraw);
        y += mPen.Text(StationText(h, mWords), kMargin, y, line, pDraw);
        if (!h.Notes.empty()) y += mPen.Text(std::string(mWords.Notes) + ": " + h.Notes, kMargin, y, line, pDraw);
        y += kHeadRuleGap;
        if (pDraw) {
            cairo_set_line_width(mCairo, kRuleWidth);
            cairo_move_to(mCairo, kMargin, y);
            cairo_line_to(mCairo, kMargin + kContentWidth, y);
            cairo_stroke(mCairo);
        }
        return y + kHeadRuleGap * 2;
    }

    // "n / N", centred below the contents; its three parts set apart by a
    // clear gap, so that text extracted from the page keeps the spaces.
    void Foot(int pPage, int pPages) {
        cairo_set_source_rgb(mCairo, 0.3, 0.3, 0.3);
        const Style style{kFootPoints, 0, 0, false, Fit::Ellipsis};
        const std::string parts[] = {std::to_string(pPage), "/", std::to_string(pPages)};
        double widths[std::size(parts)];
        double width = kFootSpace * (std::size(parts) - 1);
        for (size_t i = 0; i < std::size(parts); ++i) width += widths[i] = mPen.Width(parts[i], style);
        double x = kMargin + (kContentWidth - width) / 2;
        for (size_t i = 0; i < std::size(parts); ++i) {
            mPen.Text(parts[i], x, kContentBottom + kFootGap, style);
            x += widths[i] + kFootSpace;
        }
    }

private:
    cairo_t* mCairo;
    Pen& mPen;
    const BatchReport& mReport;
    const Words& mWords;
};

// The first page's title, profile, summary and legend below the header.
double Intro(cairo_t* pCairo, Pen& pPen, const BatchReport& pReport, const Words& pWords, double pY, bool pDraw) {
    const BatchHeader& header = pReport.Header;
    const BatchSummary summary = Summarize(pReport);
    const Style line{8.0, kContentWidth, 0, false, Fit::Wrap};
    const Style bold{8.0, kContentWidth, 0, true, Fit::Wrap};
    const Style note{6.5, kContentWidth, 0, false, Fit::Wrap};
    cairo_set_source_rgb(pCairo, 0, 0, 0);
    pY += pPen.Text(pWords.ReportTitle, kMargin, pY, {14.0, 0, 0, true}, pDraw) + 4.0;
    pY += pPen.Text(std::string(pWords.Profile) + ": " + (header.ProfileName.empty() ? "-" : header.ProfileName) +
                        "    " + pWords.Target + ": " + Number(header.TargetLKFS, 1) + " LKFS    " + pWords.Range +
                        ": " + header.RangeChoices,
                    kMargin, pY, line, pDraw) +
          6.0;
    pY += pPen.Text(pWords.Summary, kMargin, pY, {9.0, 0, 0, true}, pDraw) + 1.0;
    pY += pPen.Text(SummaryCountsText(summary, pWords), kMargin, pY, bold, pDraw) + 1.0;
    if (const std::string reasons = SummaryReasonsText(summary, pWords); !reasons.empty())
        pY += pPen.Text(reasons, kMargin, pY, line, pDraw) + 1.0;
    pY += pPen.Text(SummaryVerdictsText(summary, pWords), kMargin, pY, line, pDraw) + 1.0;
    cairo_set_source_rgb(pCairo, 0.3, 0.3, 0.3);
    pY += pPen.Text(pWords.Units, kMargin, pY + 4.0, note, pDraw) + 4.0;
    if (AnyProjected(pReport)) pY += pPen.Text(pWords.ProjectedNote, kMargin, pY + 2.0, note, pDraw) + 2.0;
    return pY + 8.0;
}

// The table's heading row at pY (headings wrap in their columns); returns
// where the rows begin.
double TableHeading(cairo_t* pCairo, Pen& pPen, const Words& pWords, bool pProjected, double pY, bool pDraw) {
    std::string headings[kColumnCount];
    double height = kRowHeight;
    for (size_t i = 0; i < kColumnCount; ++i) {
        headings[i] = Heading(i, pWords);
        if (pProjected && (i == kCopyLkfsColumn || i == kCopyTpColumn)) headings[i] += kProjectedMark;
        const Style style{kTablePoints, kColumns[i].Width - 3.0, kColumns[i].Align, true, Fit::Wrap};
        height = std::max(height, pPen.Text(headings[i], 0, 0, style, false, true) + kRowPadding);
    }
    if (!pDraw) return pY + height;
    cairo_set_source_rgb(pCairo, 0.88, 0.90, 0.95);
    cairo_rectangle(pCairo, kMargin, pY - kRowPadding, kContentWidth, height);
    cairo_fill(pCairo);
    cairo_set_source_rgb(pCairo, 0, 0, 0);
    double x = kMargin;
    for (size_t i = 0; i < kColumnCount; ++i) {
        const Column& c = kColumns[i];
        pPen.Text(headings[i], c.Align > 0 ? x + c.Width - kCellPadding : x + kCellPadding, pY,
                  {kTablePoints, c.Width - 3.0, c.Align, true, Fit::Wrap}, true, true);
        x += c.Width;
    }
    return pY + height;
}

// One table row at pY; returns its height (titles, paths, verdicts and
// outcomes wrap: nothing is cut; a row without a section shows its path
// under its title). Draws nothing when pDraw is false.
double TableRow(cairo_t* pCairo, Pen& pPen, const Words& pWords, const FileRow& pRow, size_t pIndex, double pY,
                bool pDraw) {
    const std::string cells[kColumnCount] = {
        std::to_string(pIndex + 1),       pRow.Title,
        Clock(pRow.RangeSeconds()),       Number(pRow.Source.LKFS),
        Number(pRow.Source.SamplePeak),   Number(pRow.Source.TruePeak),
        Number(pRow.Source.LRA, 1),       Gain(pRow.GainDB),
        CopyNumber(pRow, pRow.Copy.LKFS), CopyNumber(pRow, pRow.Copy.TruePeak),
        ShortVerdict(pRow, pWords),       OutcomeCell(pRow, pWords),
    };
    const bool pathLine = !HasDetails(pRow);
    const Column& title = kColumns[kTitleColumn];
    const Style titleStyle{kTablePoints, title.Width - 3.0, 0, false, Fit::Wrap};
    const Style pathStyle{kPathPoints, title.Width - 3.0, 0, false, Fit::Wrap};
    const auto wraps = [](size_t pColumn) {
        return pColumn == kTitleColumn || pColumn == kVerdictColumn || pColumn == kOutcomeColumn;
    };
    const auto style = [&](size_t pColumn) {
        const Column& c = kColumns[pColumn];
        return Style{kTablePoints, c.Width - 3.0, c.Align, false, wraps(pColumn) ? Fit::Wrap : Fit::Ellipsis};
    };
    // Every cell but the number and the title is likely to repeat.
    const auto repeats = [](size_t pColumn) { return pColumn != 0 && pColumn != kTitleColumn; };
    const double titleHeight = pPen.Text(pRow.Title, 0, 0, titleStyle, false);
    const double pathHeight = pathLine ? pPen.Text(pRow.Path, 0, 0, pathStyle, false) : 0.0;
    double height = std::max(kRowHeight, titleHeight + pathHeight + kRowPadding);
    for (const size_t i : {kVerdictColumn, kOutcomeColumn})
        height = std::max(height, pPen.Text(cells[i], 0, 0, style(i), false, repeats(i)) + kRowPadding);
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
        pPen.Text(cells[i], cellX, pY, style(i), true, repeats(i));
        if (i == kTitleColumn && pathLine) {
            cairo_set_source_rgb(pCairo, 0.35, 0.35, 0.35);
            pPen.Text(pRow.Path, cellX, pY + titleHeight, pathStyle);
        }
        x += c.Width;
    }
    return height;
}

// Between the figures of a line: the page has no other separator to spare.
constexpr const char* kFigureSeparator = "   ";

// A file's section at pY: its names, figures, outcome and action (wrapped,
// never cut) and graph. Returns its height; draws nothing when pDraw is
// false.
double FileSection(cairo_t* pCairo, Pen& pPen, const BatchReport& pReport, const Words& pWords, size_t pIndex,
                   double pY, bool pDraw) {
    const FileRow& row = pReport.Rows[pIndex];
    const double top = pY;
    const Style text{kSectionPoints, kContentWidth, 0, false, Fit::Wrap};
    const std::string copyLabel = IsProjected(row) ? pWords.CopyIfWritten : pWords.Copy;
    cairo_set_source_rgb(pCairo, 0, 0, 0);
    pY += pPen.Text(std::to_string(pIndex + 1) + ". " + row.Title, kMargin, pY,
                    {11.0, kContentWidth, 0, true, Fit::Wrap}, pDraw) +
          1;
    cairo_set_source_rgb(pCairo, 0.3, 0.3, 0.3);
    pY += pPen.Text(row.Path, kMargin, pY, text, pDraw) + 1.0;
    if (!row.CopyPath.empty()) pY += pPen.Text(copyLabel + ": " + row.CopyPath, kMargin, pY, text, pDraw) + 1.0;
    pY += 2.0;
    cairo_set_source_rgb(pCairo, 0, 0, 0);
    const double rate = row.SampleRate > 0 ? row.SampleRate : 48000.0;
    std::vector<std::string> lines = {
        std::string(pWords.Range) + " " + Clock(static_cast<double>(row.RangeStart) / rate) + " - " +
            Clock(static_cast<double>(row.RangeEnd) / rate) + "  (" + pWords.Frames + " " +
            std::to_string(row.RangeStart) + " - " + std::to_string(row.RangeEnd) + ", " + Clock(row.RangeSeconds()) +
            ")    " + pWords.Band + " " + BandText(row.Band, pWords),
        std::string(pWords.Source) + "  " + FiguresText(row.Source, pWords, kFigureSeparator) + "    " +
            pWords.SectionVerdict + " " + VerdictText(row.SourceVerdict, pWords),
    };
    std::string copy;
    if (row.GainDB) copy = std::string(pWords.Gain) + " " + Gain(row.GainDB) + " dB    ";
    if (ShowsCopy(row))
        copy += copyLabel + "  " + FiguresText(row.Copy, pWords, kFigureSeparator) + "    " + pWords.SectionVerdict +
                " " + VerdictText(row.CopyVerdict, pWords);
    if (!copy.empty()) lines.push_back(copy);
    lines.push_back(std::string(pWords.Outcome) + " " + FullOutcomeText(row, pWords));
    if (const std::string action = ActionText(row, pWords); !action.empty())
        lines.push_back(std::string(pWords.Action) + " " + action);
    for (const std::string& line : lines) pY += pPen.Text(line, kMargin, pY, text, pDraw) + 1.0;
    if (HasSeries(row)) {
        if (pDraw)
            DrawLoudnessGraph(pCairo, {kMargin, pY + kGraphGap, kContentWidth, kGraphHeight}, row,
                              pReport.Header.TargetLKFS, pReport.Language);
        pY += kGraphGap + kGraphHeight;
    }
    return pY - top;
}

// Lays out the whole report. With pPages 0 it only measures: the heights
// of the table rows and the sections go to pHeights (rows first, then
// sections) and the page count is returned; with the count known it draws,
// each page with its header and "n / N", from the heights measured.
int LayPages(cairo_t* pCairo, Pen& pPen, const BatchReport& pReport, int pPages, std::vector<double>& pHeights) {
    const bool draw = pPages > 0;
    const Words& words = WordsOf(pReport.Language);
    const size_t rows = pReport.Rows.size();
    if (!draw) pHeights.assign(2 * rows, 0.0);
    PageFrame frame(pCairo, pPen, pReport, words);
    int page = 0;
    const auto newPage = [&] {
        if (page > 0 && draw) cairo_show_page(pCairo);
        ++page;
        if (draw) frame.Foot(page, pPages);
        return frame.Head(draw);
    };
    const bool projected = AnyProjected(pReport);
    double y = Intro(pCairo, pPen, pReport, words, newPage(), draw);
    y = TableHeading(pCairo, pPen, words, projected, y, draw);
    for (size_t i = 0; i < rows && cairo_status(pCairo) == CAIRO_STATUS_SUCCESS; ++i) {
        if (!draw) pHeights[i] = TableRow(pCairo, pPen, words, pReport.Rows[i], i, y, false);
        if (y + pHeights[i] > kContentBottom) y = TableHeading(pCairo, pPen, words, projected, newPage(), draw);
        if (draw) TableRow(pCairo, pPen, words, pReport.Rows[i], i, y, true);
        y += pHeights[i];
    }
    // The sections follow on pages of their own, as many to a page as fit.
    y = kContentBottom;
    for (size_t i = 0; i < rows && cairo_status(pCairo) == CAIRO_STATUS_SUCCESS; ++i) {
        if (!HasDetails(pReport.Rows[i])) continue;
        double& height = pHeights[rows + i];
        if (!draw) height = FileSection(pCairo, pPen, pReport, words, i, y, false);
        if (y + height > kContentBottom) y = newPage();
        if (draw) FileSection(pCairo, pPen, pReport, words, i, y, true);
        y += height + kSectionGap;
    }
    if (draw) cairo_show_page(pCairo);
    return page;
}

cairo_status_t PutBytes(void* pClosure, const unsigned char* pData, unsigned int pLength) {
    auto* sink = static_cast<Sink*>(pClosure);
    sink->Put({reinterpret_cast<const char*>(pData), pLength});
    return sink->Failed() ? CAIRO_STATUS_WRITE_ERROR : CAIRO_STATUS_SUCCESS;
}

}  // namespace

bool WritePdf(const BatchReport& pReport, Sink& pSink) {
    cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(PutBytes, &pSink, kPageWidth, kPageHeight);
    const Words& words = WordsOf(pReport.Language);
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_TITLE, words.ReportTitle);
    const std::string creator = ShownText(pReport.Header.ProgramVersion);
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATOR, creator.c_str());
    cairo_t* cairo = cairo_create(surface);
    {
        Pen pen(cairo);
        std::vector<double> heights;
        const int pages = LayPages(cairo, pen, pReport, 0, heights);
        if (cairo_status(cairo) == CAIRO_STATUS_SUCCESS) LayPages(cairo, pen, pReport, pages, heights);
    }
    const bool ok = cairo_status(cairo) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cairo);
    cairo_surface_finish(surface);
    const bool finished = cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    return ok && finished && !pSink.Failed();
}

}  // namespace sonivate::report::detail
