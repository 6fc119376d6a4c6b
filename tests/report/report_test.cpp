// The batch report's three formats read back as a reader sees them: the PDF
// through pdftotext and as rendered pages, the HTML and the CSV as text; the
// graph as an image; and the failures as status values.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "report/batch_report.h"
#include "report/loudness_graph.h"
#include "read_back.h"
#include "sample_report.h"
#include "support/scratch.h"

namespace sonivate::test {
namespace {

using report::ReportStatus;

// Where the rendered pages are left for a person to look at.
const std::string kRenderedDir = SONIVATE_REPORT_RENDER_DIR;
constexpr std::int64_t kTwoHundredRowsMaxBytes = 4 << 20;
// The HTML carries each graph as a picture.
constexpr std::int64_t kTwoHundredRowsHtmlMaxBytes = 8 << 20;

TEST(PdfReport, ShowsEveryTitleAndFigureAndRendersItsPages) {
    ScratchDir dir;
    const report::BatchReport batch = SampleReport(5);
    const std::string path = dir.file("batch.pdf");
    const report::ReportResult result = report::WriteReport(batch, path);
    ASSERT_TRUE(result.ok()) << static_cast<int>(result.Status) << " errno " << result.Errno;
    EXPECT_EQ(Slurp(path).rfind("%PDF-", 0), 0u);
    const std::string text = PdfText(path);
    for (const std::string expected : {"春の新生活キャンペーン 30秒",
                                       "夏祭り_告知",
                                       "年末セール 15秒 最終版",
                                       "Plain, \"quoted\" title",
                                       "Kaffee & <Kuchen>",
                                       "-20.41",
                                       "-3.17",
                                       "-2.83",
                                       "-3.588",
                                       "-24.00",
                                       "-6.42",
                                       "-14.02",
                                       "-16.55",
                                       "arib-tr-b32",
                                       "mastering-01",
                                       "sonivate 1.4.0",
                                       "BC$START - BC$END",
                                       "would_clip",
                                       "the gain would push the peak above 0 dBFS",
                                       "loudness_high",
                                       "BC$STANDBY",
                                       "BC$STOP",
                                       "BC$END"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected;

    // Page 1 is the summary, page 2 the first two files with their graphs.
    const std::string prefix = kRenderedDir + "/report_page";
    std::remove((prefix + "-1.png").c_str());
    std::remove((prefix + "-2.png").c_str());
    Shell("pdftoppm -png -r 60 -f 1 -l 2 '" + path + "' '" + prefix + "'");
    EXPECT_FALSE(Slurp(prefix + "-1.png").empty());
    EXPECT_FALSE(Slurp(prefix + "-2.png").empty());
}

TEST(PdfReport, TwoHundredRowsStayBelowAFewMegabytes) {
    ScratchDir dir;
    const std::string path = dir.file("big.pdf");
    ASSERT_TRUE(report::WriteReport(SampleReport(200, 60.0), path).ok());
    const auto size = static_cast<std::int64_t>(Slurp(path).size());
    EXPECT_LT(size, kTwoHundredRowsMaxBytes);
    RecordProperty("bytes", std::to_string(size));
    // The table runs over several pages, every title is in it.
    const std::string text = PdfText(path);
    EXPECT_NE(text.find("年末セール 15秒 最終版 #200"), std::string::npos);
    EXPECT_NE(text.find("夏祭り_告知 #103"), std::string::npos);
    const std::string html = dir.file("big.html");
    ASSERT_TRUE(report::WriteReport(SampleReport(200, 60.0), html).ok());
    EXPECT_LT(static_cast<std::int64_t>(Slurp(html).size()), kTwoHundredRowsHtmlMaxBytes);
}

TEST(HtmlReport, OneSelfContainedFileWithAGraphPerRow) {
    const report::BatchReport batch = SampleReport(5);
    const std::string html = report::ReportHtml(batch);
    EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_NE(html.find("<meta charset=\"utf-8\">"), std::string::npos);
    EXPECT_NE(html.find("春の新生活キャンペーン 30秒"), std::string::npos);
    EXPECT_NE(html.find("Plain, &quot;quoted&quot; title"), std::string::npos);
    EXPECT_NE(html.find("Kaffee &amp; &lt;Kuchen&gt;"), std::string::npos);
    EXPECT_EQ(html.find("<Kuchen>"), std::string::npos);
    EXPECT_NE(html.find("-20.41"), std::string::npos);
    EXPECT_NE(html.find("fail (loudness_high, true_peak_over)"), std::string::npos);
    // Nothing is fetched from elsewhere: five graphs, each an inline PNG.
    EXPECT_EQ(html.find("<link"), std::string::npos);
    EXPECT_EQ(html.find("src=\"http"), std::string::npos);
    size_t graphs = 0;
    const std::string png = "src=\"data:image/png;base64,iVBORw0KGgo";
    for (size_t at = html.find(png); at != std::string::npos; at = html.find(png, at + 1)) ++graphs;
    EXPECT_EQ(graphs, 5u);

    // Left beside the rendered pages for a person to open.
    ASSERT_TRUE(report::WriteReport(batch, kRenderedDir + "/report_sample.html").ok());
    ScratchDir dir;
    ASSERT_TRUE(report::WriteReport(batch, dir.file("batch.HTML")).ok());
    EXPECT_EQ(Slurp(dir.file("batch.HTML")), html);
}

TEST(CsvReport, OneRowPerFileQuotedAsRfc4180) {
    report::BatchReport batch = SampleReport(4);
    batch.Rows[0].Title = "two\nlines";
    batch.Rows[0].Source.LRA.reset();
    const std::string csv = report::ReportCsv(batch);
    std::vector<std::string> lines;
    for (size_t at = 0, next = 0; (next = csv.find("\r\n", at)) != std::string::npos; at = next + 2)
        lines.push_back(csv.substr(at, next - at));
    ASSERT_EQ(lines.size(), 5u);  // the header and four rows, the quoted line break inside the first
    EXPECT_EQ(lines[0].rfind("title,path,range_start_frames,range_end_frames,duration_s,lkfs,", 0), 0u);
    EXPECT_EQ(
        lines[1].rfind(
            "\"two\nlines\",/srv/cm/in/春の新生活キャンペーン 30秒.wav,48000,1488000,30.000,-20.41,-3.17,-2.83,,", 0),
        0u)
        << lines[1];
    EXPECT_EQ(lines[2].rfind("\"Plain, \"\"quoted\"\" title\",", 0), 0u) << lines[2];
    EXPECT_NE(lines[1].find(",fail,loudness_high true_peak_over,pass,,yes,,,-24.0,1.0,-1.0"), std::string::npos)
        << lines[1];
    EXPECT_NE(lines[4].find(",no,would_clip,the gain would push the peak above 0 dBFS,"), std::string::npos)
        << lines[4];
    // The header and every row have the same number of fields.
    auto fields = [](const std::string& pLine) {
        size_t count = 1;
        bool quoted = false;
        for (const char c : pLine) {
            if (c == '"') quoted = !quoted;
            if (c == ',' && !quoted) ++count;
        }
        return count;
    };
    for (size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(fields(lines[i]), fields(lines[0])) << i;
}

TEST(ReportFailures, AreStatusValues) {
    ScratchDir dir;
    const report::BatchReport batch = SampleReport(1);
    const report::ReportResult missing = report::WriteReport(batch, dir.file("no/such/folder/r.csv"));
    EXPECT_EQ(missing.Status, ReportStatus::CannotCreate);
    EXPECT_EQ(missing.Errno, ENOENT);
    EXPECT_EQ(report::WriteReport(batch, dir.file("r.txt")).Status, ReportStatus::UnknownFormat);
    // A folder in the way of the final name: the write fails, and neither
    // the folder nor a half file is left behind changed.
    const std::string folder = dir.file("taken.html");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    const report::ReportResult blocked = report::WriteReport(batch, folder);
    EXPECT_EQ(blocked.Status, ReportStatus::WriteFailed);
    EXPECT_NE(blocked.Errno, 0);
    EXPECT_NE(::access((folder + ".part").c_str(), F_OK), 0);
    // A report without rows is still a report.
    EXPECT_TRUE(report::WriteReport(report::BatchReport{}, dir.file("empty.pdf")).ok());
    EXPECT_TRUE(report::WriteReport(report::BatchReport{}, dir.file("empty.csv")).ok());
}

TEST(LoudnessGraphImage, DrawsIntoAnArgbBufferOfTheAskedSize) {
    report::FileRow row = SampleRow(0, "春の新生活キャンペーン 30秒", 30.0);
    row.Source.TruePeak = -0.42;  // over the profile's -1.0 dBTP: marked
    const report::GraphImage image = report::RenderLoudnessGraph(row, -24.0, 640, 220);
    ASSERT_EQ(image.Width, 640);
    ASSERT_EQ(image.Height, 220);
    ASSERT_GE(image.Stride, 640 * 4);
    ASSERT_EQ(image.Bytes.size(), static_cast<size_t>(image.Stride) * 220);
    // Opaque everywhere (the graph paints its background) and not blank.
    size_t coloured = 0;
    for (std::int32_t y = 0; y < image.Height; ++y) {
        for (std::int32_t x = 0; x < image.Width; ++x) {
            const auto* px = &image.Bytes[static_cast<size_t>(y) * image.Stride + static_cast<size_t>(x) * 4];
            EXPECT_EQ(px[3], 255) << x << "," << y;
            if (px[0] != px[1] || px[1] != px[2]) ++coloured;
            if (px[3] != 255) return;
        }
    }
    EXPECT_GT(coloured, 2000u);
    // Left as report_graph.png for a person to look at, as the window shows it.
    report::GraphImage copy = image;
    cairo_surface_t* surface = cairo_image_surface_create_for_data(copy.Bytes.data(), CAIRO_FORMAT_ARGB32, copy.Width,
                                                                   copy.Height, copy.Stride);
    EXPECT_EQ(cairo_surface_write_to_png(surface, (kRenderedDir + "/report_graph.png").c_str()), CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(surface);
    EXPECT_EQ(report::RenderLoudnessGraph(row, -24.0, 0, 220).Width, 0);
    // No series, no markers, no profile: axes and target only, no fault.
    report::FileRow bare;
    bare.RangeEnd = 48000 * 5;
    EXPECT_EQ(report::RenderLoudnessGraph(bare, -23.0, 300, 150).Width, 300);
}

// The x of the first column in [pFrom, pTo) of row pY whose pixel is
// reddish (the markers' orange-brown, full, faded or anti-aliased; nothing
// else on the plot leans to red), -1 when none is.
std::int32_t MarkerColumn(const report::GraphImage& pImage, std::int32_t pY, std::int32_t pFrom, std::int32_t pTo) {
    for (std::int32_t x = pFrom; x < pTo; ++x) {
        const auto* px = &pImage.Bytes[static_cast<size_t>(pY) * pImage.Stride + static_cast<size_t>(x) * 4];
        // ARGB32 in memory: blue, green, red, alpha.
        if (px[2] > px[0] + 15) return x;
    }
    return -1;
}

TEST(LoudnessGraphImage, MarkersStandAtTheirOwnTimeAndTheTruePeakIsMarked) {
    constexpr std::int32_t kRate = 48000, kWidth = 650, kHeight = 220;
    report::FileRow row;
    row.FileFrames = 25 * kRate;
    row.RangeEnd = 10 * kRate;  // BC$STOP at 10 s, BC$END at 20 s
    row.Markers = {{"BC$STOP", 10 * kRate}, {"BC$END", 20 * kRate}, {"BC$LOST", 40 * kRate}};
    row.Source.TruePeak = -0.5;
    row.Band = {true, -24.0, 1.0, -1.0};
    row.TruePeakFrame = 5 * kRate;
    // The limiter reduced by 3 dB in the block at 12 s only.
    row.LimiterBlockSeconds = 0.1;
    row.LimiterReductionDB.assign(200, 0.0f);
    row.LimiterReductionDB[120] = 3.0f;
    const report::GraphImage image = report::RenderLoudnessGraph(row, -24.0, kWidth, kHeight);
    ASSERT_EQ(image.Width, kWidth);
    // The plot runs from x 42 to 642 over 25 s: 24 px a second.
    const std::int32_t middle = kHeight / 2;
    const std::int32_t stop = MarkerColumn(image, middle, 0, kWidth);
    EXPECT_NEAR(stop, 42 + 10 * 24, 2) << "BC$STOP where the range ends";
    EXPECT_NEAR(MarkerColumn(image, middle, stop + 3, kWidth), 42 + 20 * 24, 2)
        << "BC$END at 20 s, faded, never drawn on the range's end";
    EXPECT_EQ(MarkerColumn(image, middle, 42 + 20 * 24 + 3, kWidth), -1) << "a marker past the file is left out";
    // The true-peak triangle sits on the plot's bottom edge at 5 s, red as it is over.
    const std::int32_t bottom = kHeight - 30 - 2;
    const auto* px = &image.Bytes[static_cast<size_t>(bottom) * image.Stride + static_cast<size_t>(42 + 5 * 24) * 4];
    EXPECT_GT(px[2], 150);
    EXPECT_LT(px[1], 60);
    // The limiter's bar on the floor at 12 s, and nowhere else.
    const auto pink = [&](std::int32_t pX) {
        const auto* p = &image.Bytes[static_cast<size_t>(bottom) * image.Stride + static_cast<size_t>(pX) * 4];
        return p[2] > 180 && p[0] > 100 && p[1] < 120;
    };
    EXPECT_TRUE(pink(42 + 12 * 24 + 1));
    EXPECT_FALSE(pink(42 + 15 * 24));
}

// Whether the pixel at (pX, pY) is the graph's white background.
bool Blank(const report::GraphImage& pImage, std::int32_t pX, std::int32_t pY) {
    const auto* px = &pImage.Bytes[static_cast<size_t>(pY) * pImage.Stride + static_cast<size_t>(pX) * 4];
    return px[0] == 255 && px[1] == 255 && px[2] == 255;
}

TEST(LoudnessGraphImage, TheHtmlGraphInJapaneseWithTheLimiterLegendIsNotCut) {
    // The HTML report's graph size; the plot starts this far in.
    constexpr std::int32_t kWidth = 640, kHeight = 220, kPlotLeft = 42;
    // Columns at the right edge that no text may reach, px.
    constexpr std::int32_t kClearColumns = 3;
    report::FileRow row = SampleRow(0, "春の新生活キャンペーン 30秒", 30.0);
    row.Source.TruePeak = -0.42;  // over the maximum: the longest true-peak legend
    row.LimiterBlockSeconds = 0.1;
    row.LimiterReductionDB.assign(300, 0.0f);
    row.LimiterReductionDB[100] = 2.0f;
    const report::GraphImage image =
        report::RenderLoudnessGraph(row, -24.0, kWidth, kHeight, report::ReportLanguage::Japanese);
    ASSERT_EQ(image.Width, kWidth);
    for (std::int32_t y = 0; y < kHeight; ++y)
        for (std::int32_t x = kWidth - kClearColumns; x < kWidth; ++x)
            ASSERT_TRUE(Blank(image, x, y)) << "ink at the right edge, " << x << "," << y;
    // The legend's line, below the time labels: it starts inside the plot's width.
    const std::int32_t legendTop = kHeight - 14;
    std::int32_t legendLeft = kWidth;
    for (std::int32_t y = legendTop; y < kHeight; ++y)
        for (std::int32_t x = 0; x < kWidth; ++x)
            if (!Blank(image, x, y)) {
                legendLeft = std::min(legendLeft, x);
                break;
            }
    EXPECT_GT(legendLeft, kPlotLeft) << "the legend runs past the plot's left edge";
    EXPECT_LT(legendLeft, kWidth) << "no legend drawn";
    report::GraphImage copy = image;
    cairo_surface_t* surface = cairo_image_surface_create_for_data(copy.Bytes.data(), CAIRO_FORMAT_ARGB32, copy.Width,
                                                                   copy.Height, copy.Stride);
    EXPECT_EQ(cairo_surface_write_to_png(surface, (kRenderedDir + "/report_graph_ja_limiter.png").c_str()),
              CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(surface);
}

}  // namespace
}  // namespace sonivate::test

// fontconfig, cairo and pango keep their font caches for the life of the
// process; they are not the report's leaks.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libcairo.so\nleak:libpango-1.0.so\nleak:libpangoft2-1.0.so\n"
           "leak:libpangocairo-1.0.so\nleak:libglib-2.0.so\nleak:libharfbuzz.so\n";
}
