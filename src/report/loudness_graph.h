#pragma once
// The loudness graph of one file, drawn once with cairo for every face that
// shows it: the PDF and HTML reports, and the window (through an image).
//
// What it shows: momentary and short-term loudness over the file's time, the
// target line and the profile's tolerance band, the measured range shaded,
// the markers where they lie with their names, the true peak beside the
// profile's maximum, and axes in LKFS and in minutes:seconds.

#include <cairo.h>

#include <cstdint>
#include <vector>

#include "report/batch_report.h"

namespace sonivate::report {

// A rectangle in the cairo context's user units (points on a PDF page,
// pixels on an image).
struct GraphRect {
    double X = 0.0;
    double Y = 0.0;
    double Width = 0.0;
    double Height = 0.0;
};

// Draws pRow's graph into pArea, its legend in pLanguage; the context's
// state is restored after.
void DrawLoudnessGraph(cairo_t* pCairo, const GraphRect& pArea, const FileRow& pRow, double pTargetLKFS,
                       ReportLanguage pLanguage = ReportLanguage::Japanese);

// An image of the graph: cairo's ARGB32 (premultiplied alpha, 32 bits per
// pixel in native byte order: QImage::Format_ARGB32_Premultiplied), rows
// Stride bytes apart. Empty (Width 0) when the size is not drawable.
struct GraphImage {
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::int32_t Stride = 0;
    std::vector<std::uint8_t> Bytes;
};

GraphImage RenderLoudnessGraph(const FileRow& pRow, double pTargetLKFS, std::int32_t pWidth, std::int32_t pHeight,
                               ReportLanguage pLanguage = ReportLanguage::Japanese);

}  // namespace sonivate::report
