#include "report/loudness_graph.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "report/report_text.h"
#include "report/text_cells.h"

namespace sonivate::report {
namespace {

// Layout, in the context's units, for a graph about 500 wide.
constexpr double kLeftAxis = 42.0;    // room for the LKFS labels
constexpr double kBottomAxis = 30.0;  // room for the time labels and the legend
constexpr double kTopRoom = 26.0;     // marker names
constexpr double kRightRoom = 8.0;
constexpr double kLabelPoints = 7.0;
// The loudness shown: at least this span, in LU, around the target.
constexpr double kSpanBelowTarget = 24.0;
constexpr double kSpanAboveTarget = 9.0;
constexpr double kLowestShown = -70.0;  // the absolute gate
constexpr double kGridStepLU = 6.0;
// Points drawn per unit of width at most: longer series are reduced to the
// loudest value of each column.
constexpr double kPointsPerUnit = 1.0;

struct Colour {
    double R, G, B;
};
constexpr Colour kRangeShade{0.93, 0.95, 1.0};
constexpr Colour kBand{0.80, 0.93, 0.80};
constexpr Colour kTarget{0.10, 0.50, 0.10};
constexpr Colour kMomentary{0.55, 0.70, 0.95};
constexpr Colour kShortTerm{0.05, 0.20, 0.60};
constexpr Colour kMarker{0.75, 0.35, 0.0};
constexpr Colour kAxis{0.25, 0.25, 0.25};
constexpr Colour kGrid{0.85, 0.85, 0.85};
constexpr Colour kOver{0.80, 0.0, 0.0};
// A marker outside the measured range: drawn at its own time, faded.
constexpr double kOutsideRangeAlpha = 0.35;
// The limiter's work: a bar on the plot's floor per block that it reduced
// by more than kLimiterShownDB, this tall per dB of reduction (points).
constexpr Colour kLimiter{0.85, 0.25, 0.55};
constexpr double kLimiterShownDB = 0.1;
constexpr double kLimiterPointsPerDB = 3.0;
// The true-peak mark's triangle, points.
constexpr double kPeakMarkSize = 4.0;

void SetColour(cairo_t* pCairo, const Colour& pColour) {
    cairo_set_source_rgb(pCairo, pColour.R, pColour.G, pColour.B);
}

// Text with its top left at (pX, pY); pAlign 0 left, 0.5 centred, 1 right
// of pX. Returns the text's width.
double Text(cairo_t* pCairo, const std::string& pText, double pX, double pY, double pAlign = 0.0,
            double pPoints = kLabelPoints, bool pDraw = true) {
    PangoLayout* layout = pango_cairo_create_layout(pCairo);
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, detail::kFontFamily);
    pango_font_description_set_absolute_size(font, pPoints * PANGO_SCALE);
    pango_layout_set_font_description(layout, font);
    const std::string shown = ShownText(pText);  // marker names come from the file
    pango_layout_set_text(layout, shown.c_str(), static_cast<int>(shown.size()));
    int width = 0, height = 0;
    pango_layout_get_size(layout, &width, &height);
    const double w = static_cast<double>(width) / PANGO_SCALE;
    if (pDraw) {
        cairo_move_to(pCairo, pX - pAlign * w, pY);
        pango_cairo_show_layout(pCairo, layout);
    }
    pango_font_description_free(font);
    g_object_unref(layout);
    return w;
}

// A time step that gives about pCount labels over pSeconds.
double NiceTimeStep(double pSeconds, double pCount) {
    const double steps[] = {0.5, 1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200};
    for (const double s : steps)
        if (pSeconds / s <= pCount) return s;
    return 14400.0;
}

struct Scale {
    double x0, y0, width, height;  // plot area
    double seconds;                // time shown
    double top, bottom;            // LKFS shown
    double X(double pSeconds) const { return x0 + width * std::clamp(pSeconds / seconds, 0.0, 1.0); }
    double Y(double pLKFS) const {
        const double v = std::clamp(pLKFS, bottom, top);
        return y0 + height * (top - v) / (top - bottom);
    }
};

void DrawCurve(cairo_t* pCairo, const Scale& pScale, const FileRow& pRow, const std::vector<double>& pValues) {
    if (pRow.SampleRate <= 0 || pRow.Loudness.StepFrames <= 0) return;
    const double step = static_cast<double>(pRow.Loudness.StepFrames) / pRow.SampleRate;
    const double start = static_cast<double>(pRow.RangeStart) / pRow.SampleRate;
    const auto columns = static_cast<size_t>(std::max(1.0, pScale.width * kPointsPerUnit));
    const size_t per = std::max<size_t>(1, (pValues.size() + columns - 1) / columns);
    bool open = false;
    for (size_t i = 0; i < pValues.size(); i += per) {
        double loudest = -HUGE_VAL;
        for (size_t j = i; j < std::min(pValues.size(), i + per); ++j) loudest = std::max(loudest, pValues[j]);
        if (!std::isfinite(loudest)) {
            open = false;
            continue;
        }
        const double x = pScale.X(start + step * static_cast<double>(i + per));
        const double y = pScale.Y(loudest);
        if (open)
            cairo_line_to(pCairo, x, y);
        else
            cairo_move_to(pCairo, x, y);
        open = true;
    }
    cairo_stroke(pCairo);
}

}  // namespace

void DrawLoudnessGraph(cairo_t* pCairo, const GraphRect& pArea, const FileRow& pRow, double pTargetLKFS,
                       ReportLanguage pLanguage) {
    if (pCairo == nullptr || pArea.Width < kLeftAxis + kRightRoom + 10.0 ||
        pArea.Height < kTopRoom + kBottomAxis + 10.0)
        return;
    cairo_save(pCairo);
    const double rate = pRow.SampleRate > 0 ? pRow.SampleRate : 48000.0;
    // The whole file is shown, so that every marker stands at its own time;
    // without the file's length the furthest marker stands in for it.
    std::int64_t lastFrame = std::max({pRow.FileFrames, pRow.RangeEnd, std::int64_t{1}});
    if (pRow.FileFrames <= 0)
        for (const Marker& marker : pRow.Markers) lastFrame = std::max(lastFrame, marker.Frame);
    const double target = pRow.Band.Present ? pRow.Band.Target : pTargetLKFS;
    double loudest = target;
    for (const auto* values : {&pRow.Loudness.Momentary, &pRow.Loudness.ShortTerm})
        for (const double v : *values)
            if (std::isfinite(v)) loudest = std::max(loudest, v);
    Scale s;
    s.x0 = pArea.X + kLeftAxis;
    s.y0 = pArea.Y + kTopRoom;
    s.width = pArea.Width - kLeftAxis - kRightRoom;
    s.height = pArea.Height - kTopRoom - kBottomAxis;
    s.seconds = static_cast<double>(lastFrame) / rate;
    s.top = kGridStepLU * std::ceil(std::max(loudest + 1.0, target + kSpanAboveTarget) / kGridStepLU);
    s.bottom = std::max(kLowestShown, kGridStepLU * std::floor((target - kSpanBelowTarget) / kGridStepLU));

    cairo_set_source_rgb(pCairo, 1.0, 1.0, 1.0);
    cairo_rectangle(pCairo, pArea.X, pArea.Y, pArea.Width, pArea.Height);
    cairo_fill(pCairo);

    // The measured range.
    SetColour(pCairo, kRangeShade);
    const double rangeX0 = s.X(static_cast<double>(pRow.RangeStart) / rate);
    const double rangeX1 = s.X(static_cast<double>(pRow.RangeEnd) / rate);
    cairo_rectangle(pCairo, rangeX0, s.y0, rangeX1 - rangeX0, s.height);
    cairo_fill(pCairo);

    // The tolerance band and the target.
    if (pRow.Band.Present && pRow.Band.Tolerance > 0.0) {
        SetColour(pCairo, kBand);
        const double y0 = s.Y(target + pRow.Band.Tolerance);
        cairo_rectangle(pCairo, s.x0, y0, s.width, s.Y(target - pRow.Band.Tolerance) - y0);
        cairo_fill(pCairo);
    }

    // Grid and axes.
    cairo_set_line_width(pCairo, 0.4);
    for (double v = s.bottom; v <= s.top + 1e-9; v += kGridStepLU) {
        SetColour(pCairo, kGrid);
        cairo_move_to(pCairo, s.x0, s.Y(v));
        cairo_line_to(pCairo, s.x0 + s.width, s.Y(v));
        cairo_stroke(pCairo);
        SetColour(pCairo, kAxis);
        Text(pCairo, detail::Number(v, 0), s.x0 - 3.0, s.Y(v) - kLabelPoints * 0.7, 1.0);
    }
    const double timeStep = NiceTimeStep(s.seconds, std::max(2.0, s.width / 60.0));
    for (double t = 0.0; t <= s.seconds + 1e-9; t += timeStep) {
        SetColour(pCairo, kGrid);
        cairo_move_to(pCairo, s.X(t), s.y0);
        cairo_line_to(pCairo, s.X(t), s.y0 + s.height);
        cairo_stroke(pCairo);
        SetColour(pCairo, kAxis);
        // A label that would pass the area's edge stands left of its line.
        const std::string label = detail::Clock(t);
        const double w = Text(pCairo, label, 0.0, 0.0, 0.0, kLabelPoints, false);
        const bool atEdge = s.X(t) + w / 2.0 > pArea.X + pArea.Width - 1.0;
        Text(pCairo, label, atEdge ? pArea.X + pArea.Width - 1.0 : s.X(t), s.y0 + s.height + 3.0, atEdge ? 1.0 : 0.5);
    }
    SetColour(pCairo, kAxis);
    Text(pCairo, "LKFS", pArea.X + 2.0, pArea.Y + kTopRoom - kLabelPoints * 1.6);
    cairo_set_line_width(pCairo, 0.8);
    cairo_rectangle(pCairo, s.x0, s.y0, s.width, s.height);
    cairo_stroke(pCairo);

    SetColour(pCairo, kTarget);
    cairo_set_line_width(pCairo, 1.0);
    const double dash[] = {4.0, 2.0};
    cairo_set_dash(pCairo, dash, 2, 0.0);
    cairo_move_to(pCairo, s.x0, s.Y(target));
    cairo_line_to(pCairo, s.x0 + s.width, s.Y(target));
    cairo_stroke(pCairo);
    cairo_set_dash(pCairo, nullptr, 0, 0.0);

    // The curves, inside the plot.
    cairo_save(pCairo);
    cairo_rectangle(pCairo, s.x0, s.y0, s.width, s.height);
    cairo_clip(pCairo);
    cairo_set_line_join(pCairo, CAIRO_LINE_JOIN_ROUND);
    SetColour(pCairo, kMomentary);
    cairo_set_line_width(pCairo, 0.6);
    DrawCurve(pCairo, s, pRow, pRow.Loudness.Momentary);
    SetColour(pCairo, kShortTerm);
    cairo_set_line_width(pCairo, 1.4);
    DrawCurve(pCairo, s, pRow, pRow.Loudness.ShortTerm);
    cairo_restore(pCairo);

    // Markers, their names above the plot, staggered when they crowd.
    SetColour(pCairo, kMarker);
    double lastLabelEnd = -1e9;
    int row = 0;
    for (const Marker& marker : pRow.Markers) {
        // Never drawn where it is not: a marker past the file is left out.
        if (marker.Frame < 0 || marker.Frame > lastFrame) continue;
        const bool inRange = marker.Frame >= pRow.RangeStart && marker.Frame <= pRow.RangeEnd;
        cairo_set_source_rgba(pCairo, kMarker.R, kMarker.G, kMarker.B, inRange ? 1.0 : kOutsideRangeAlpha);
        const double x = s.X(static_cast<double>(marker.Frame) / rate);
        cairo_set_line_width(pCairo, 0.8);
        cairo_move_to(pCairo, x, s.y0 - 2.0);
        cairo_line_to(pCairo, x, s.y0 + s.height);
        cairo_stroke(pCairo);
        // A name that would run past the plot stands left of its line.
        const double w = Text(pCairo, marker.Name, 0.0, 0.0, 0.0, kLabelPoints, false);
        const double left = x + 1.5 + w > s.x0 + s.width ? x - 1.5 - w : x + 1.5;
        row = left < lastLabelEnd ? (row + 1) % 2 : 0;
        Text(pCairo, marker.Name, left, s.y0 - 2.0 - kLabelPoints * 1.5 * (row + 1));
        lastLabelEnd = std::max(lastLabelEnd, left + w);
    }

    // Where the limiter acted, from the plot's floor up.
    bool limited = false;
    if (pRow.LimiterBlockSeconds > 0.0 && !pRow.LimiterReductionDB.empty()) {
        SetColour(pCairo, kLimiter);
        const double start = static_cast<double>(pRow.RangeStart) / rate;
        for (size_t block = 0; block < pRow.LimiterReductionDB.size(); ++block) {
            const double reduction = pRow.LimiterReductionDB[block];
            if (reduction <= kLimiterShownDB) continue;
            limited = true;
            const double t0 = start + static_cast<double>(block) * pRow.LimiterBlockSeconds;
            const double x0 = s.X(t0), x1 = std::max(s.X(t0 + pRow.LimiterBlockSeconds), x0 + 1.0);
            const double h = std::min(reduction * kLimiterPointsPerDB, s.height / 3.0);
            cairo_rectangle(pCairo, x0, s.y0 + s.height - h, x1 - x0, h);
        }
        cairo_fill(pCairo);
    }

    // Where the true peak is: a triangle on the plot's bottom edge.
    const bool over = pRow.Band.MaxTruePeak && pRow.Source.TruePeak && *pRow.Source.TruePeak > *pRow.Band.MaxTruePeak;
    if (pRow.TruePeakFrame && *pRow.TruePeakFrame >= 0 && *pRow.TruePeakFrame <= lastFrame) {
        const double peakX = s.X(static_cast<double>(*pRow.TruePeakFrame) / rate);
        const double base = s.y0 + s.height;
        SetColour(pCairo, over ? kOver : kAxis);
        cairo_move_to(pCairo, peakX, base - kPeakMarkSize * 1.5);
        cairo_line_to(pCairo, peakX - kPeakMarkSize, base);
        cairo_line_to(pCairo, peakX + kPeakMarkSize, base);
        cairo_close_path(pCairo);
        cairo_fill(pCairo);
        Text(pCairo, "TP", peakX, base - kPeakMarkSize * 1.5 - kLabelPoints * 1.4, 0.5);
    }

    // Legend and true peak, bottom right, below the time labels.
    const double legendY = s.y0 + s.height + 3.0 + kLabelPoints * 1.6;
    double x = pArea.X + pArea.Width - kRightRoom;
    std::string peak = "TP " + detail::Number(pRow.Source.TruePeak) + " dBTP";
    const detail::Words& words = detail::WordsOf(pLanguage);
    if (pRow.Band.MaxTruePeak)
        peak += " (" + std::string(words.Max) + " " + detail::Number(pRow.Band.MaxTruePeak, 1) + ")";
    SetColour(pCairo, over ? kOver : kAxis);
    if (over) peak = "▲ " + peak;
    x -= Text(pCairo, peak, x, legendY, 1.0) + 10.0;
    std::vector<std::pair<const char*, Colour>> legend = {
        {words.ShortTerm, kShortTerm}, {words.Momentary, kMomentary}, {words.TargetLine, kTarget}};
    if (limited) legend.insert(legend.begin(), {words.Limiter, kLimiter});
    for (const auto& [name, colour] : legend) {
        SetColour(pCairo, kAxis);
        x -= Text(pCairo, name, x, legendY, 1.0) + 2.0;
        SetColour(pCairo, colour);
        cairo_set_line_width(pCairo, 2.0);
        cairo_move_to(pCairo, x - 12.0, legendY + kLabelPoints * 0.7);
        cairo_line_to(pCairo, x, legendY + kLabelPoints * 0.7);
        cairo_stroke(pCairo);
        x -= 20.0;
    }
    cairo_restore(pCairo);
}

GraphImage RenderLoudnessGraph(const FileRow& pRow, double pTargetLKFS, std::int32_t pWidth, std::int32_t pHeight,
                               ReportLanguage pLanguage) {
    GraphImage image;
    if (pWidth <= 0 || pHeight <= 0) return image;
    const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, pWidth);
    if (stride <= 0) return image;
    image.Bytes.assign(static_cast<size_t>(stride) * static_cast<size_t>(pHeight), 0);
    cairo_surface_t* surface =
        cairo_image_surface_create_for_data(image.Bytes.data(), CAIRO_FORMAT_ARGB32, pWidth, pHeight, stride);
    cairo_t* cairo = cairo_create(surface);
    DrawLoudnessGraph(cairo, {0.0, 0.0, static_cast<double>(pWidth), static_cast<double>(pHeight)}, pRow, pTargetLKFS,
                      pLanguage);
    const bool ok = cairo_status(cairo) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cairo);
    cairo_surface_flush(surface);
    cairo_surface_destroy(surface);
    if (!ok) return {};
    image.Width = pWidth;
    image.Height = pHeight;
    image.Stride = stride;
    return image;
}

}  // namespace sonivate::report
