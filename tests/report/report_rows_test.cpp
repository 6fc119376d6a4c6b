// Rows as they come from outside and from large batches, in every format:
// names that are not valid text or carry control characters, names that a
// spreadsheet would take for formulas, rows without a copy or with a
// projected one, long outcomes, and rows that were never measured.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "read_back.h"
#include "report/batch_report.h"
#include "report/text_cells.h"
#include "sample_report.h"
#include "support/scratch.h"

namespace sonivate::test {
namespace {

using report::CopyState;
using report::ShownText;
using report::TextUse;

const std::string kRenderedDir = SONIVATE_REPORT_RENDER_DIR;
// "テスト" as a Windows share gives it: CP932 bytes, not UTF-8.
const std::string kCp932Name = "\x83\x65\x83\x58\x83\x67";
const std::string kReplacement = "\xEF\xBF\xBD";
const std::string kCp932Shown = kReplacement + "e" + kReplacement + "X" + kReplacement + "g";

std::vector<std::string> CsvLines(const std::string& pCsv) {
    std::vector<std::string> lines;
    for (size_t at = 0, next = 0; (next = pCsv.find("\r\n", at)) != std::string::npos; at = next + 2)
        lines.push_back(pCsv.substr(at, next - at));
    return lines;
}

// Checked by iconv, not by the code under test.
bool ValidUtf8File(const std::string& pPath) {
    return Shell("iconv -f UTF-8 -t UTF-8 '" + pPath + "' >/dev/null 2>&1 && echo valid") == "valid\n";
}

TEST(CsvCells, FormulasStayTextAndFiguresStayNumbers) {
    report::BatchReport batch = SampleReport(3);
    batch.Rows[0].Title = "=1+1";
    batch.Rows[0].Source.LKFS = -23.0;
    batch.Rows[1].Title = "@SUM(1+1)";
    batch.Rows[1].ReasonText = "-gain refused";
    batch.Rows[2].Title = "+cmd|' -C calc'!A0";
    const std::vector<std::string> lines = CsvLines(report::ReportCsv(batch));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1].rfind("'=1+1,/srv/cm/in/", 0), 0u) << lines[1];
    EXPECT_EQ(lines[2].rfind("'@SUM(1+1),", 0), 0u) << lines[2];
    EXPECT_EQ(lines[3].rfind("'+cmd|' -C calc'!A0,", 0), 0u) << lines[3];
    EXPECT_NE(lines[2].find(",'-gain refused,"), std::string::npos) << lines[2];
    // Our own figures, negative ones too, stay numbers.
    EXPECT_NE(lines[1].find(",30.000,-23.00,-3.17,-2.83,6.40,-14.02,-16.55,-3.588,-24.00,"), std::string::npos)
        << lines[1];

    // The one cell function the command line shares.
    EXPECT_EQ(report::CsvTextCell("plain name"), "plain name");
    EXPECT_EQ(report::CsvTextCell("=1+1"), "'=1+1");
    EXPECT_EQ(report::CsvTextCell("-23.00"), "'-23.00");  // text that looks like a number is text
    EXPECT_EQ(report::CsvTextCell("\tx"), "'\tx");
    EXPECT_EQ(report::CsvTextCell("\r=x"), "\"'\r=x\"");
    EXPECT_EQ(report::CsvTextCell("=A1,\"b\""), "\"'=A1,\"\"b\"\"\"");
    EXPECT_EQ(report::CsvTextCell("a=b"), "a=b");
    EXPECT_EQ(report::CsvTextCell(""), "");
}

TEST(ShownTextOf, InvalidBytesAndActiveCharacters) {
    EXPECT_EQ(ShownText("春の新生活キャンペーン 30秒 \\\\nas\\cm"), "春の新生活キャンペーン 30秒 \\\\nas\\cm");
    EXPECT_EQ(ShownText(kCp932Name), kCp932Shown);
    EXPECT_EQ(ShownText("\xC0\xAF"), kReplacement + kReplacement);                     // overlong "/"
    EXPECT_EQ(ShownText("\xED\xA0\x80"), kReplacement + kReplacement + kReplacement);  // a surrogate
    EXPECT_EQ(ShownText("\xF4\x90\x80\x80").size(), 4 * kReplacement.size());          // above U+10FFFF
    EXPECT_EQ(ShownText("ab\xE6\x98"), "ab" + kReplacement + kReplacement);            // cut short
    EXPECT_EQ(ShownText("\xF0\x9F\x8E\xB5"), "\xF0\x9F\x8E\xB5");                      // four bytes, valid
    EXPECT_EQ(ShownText("a\r\nb\t\x07\x7F"), "a\\r\\nb\\t\\x07\\x7F");
    EXPECT_EQ(ShownText("\xC2\x85 \xE2\x80\xAE"
                        "abc \xE2\x80\xA8"),
              "\\u0085 \\u202Eabc \\u2028");
    // The CSV keeps what its quoting carries and the bytes of what is invalid.
    EXPECT_EQ(ShownText("a\r\nb\t\x07" + kCp932Name, TextUse::Csv), "a\r\nb\t\\x07\\x83e\\x83X\\x83g");
}

TEST(OutsideNames, EveryFormatIsWrittenAsValidTextWithTheNamesShown) {
    ScratchDir dir;
    report::BatchReport batch = SampleReport(3);
    batch.Rows[0].Title = "CM_" + kCp932Name;
    batch.Rows[0].Path = "/mnt/share/" + kCp932Name + ".wav";
    batch.Rows[0].Markers[0].Name = "BC$" + kCp932Name;
    batch.Rows[1].Title = "line\r\nbreak\x07";
    batch.Rows[2].ReasonText = "stopped\nby the user";
    batch.Header.Host = "host\x85";
    batch.Header.ProgramVersion = "sonivate \xFF";

    const std::string pdf = dir.file("names.pdf");
    const report::ReportResult written = report::WriteReport(batch, pdf);
    ASSERT_TRUE(written.ok()) << static_cast<int>(written.Status) << " errno " << written.Errno;
    const std::string text = PdfText(pdf);
    EXPECT_NE(text.find("CM_" + kCp932Shown), std::string::npos);
    EXPECT_NE(text.find("/mnt/share/" + kCp932Shown + ".wav"), std::string::npos);
    EXPECT_NE(text.find("line\\r\\nbreak\\x07"), std::string::npos);
    EXPECT_NE(text.find("stopped\\nby the user"), std::string::npos);
    EXPECT_NE(text.find("host" + kReplacement), std::string::npos);

    const std::string html = dir.file("names.html");
    ASSERT_TRUE(report::WriteReport(batch, html).ok());
    EXPECT_TRUE(ValidUtf8File(html));
    const std::string page = Slurp(html);
    EXPECT_NE(page.find("CM_" + kCp932Shown), std::string::npos);
    EXPECT_NE(page.find("line\\r\\nbreak\\x07"), std::string::npos);
    EXPECT_EQ(page.find("line\r"), std::string::npos);

    const std::string csv = dir.file("names.csv");
    ASSERT_TRUE(report::WriteReport(batch, csv).ok());
    EXPECT_TRUE(ValidUtf8File(csv));
    const std::string cells = Slurp(csv);
    EXPECT_NE(cells.find("\r\nCM_\\x83e\\x83X\\x83g,/mnt/share/\\x83e\\x83X\\x83g.wav,"), std::string::npos);
    EXPECT_NE(cells.find("\r\n\"line\r\nbreak\\x07\","), std::string::npos);
}

TEST(CopyStates, NoneHidesTheCopyProjectedIsMarkedWrittenShowsItsPath) {
    ScratchDir dir;
    report::BatchReport batch = SampleReport(3);
    // Stopped before its copy: the numbers left in the row are not shown.
    report::FileRow& none = batch.Rows[0];
    none.CopyIs = CopyState::None;
    none.CopyPath.clear();
    none.Copy.LKFS = -31.23;
    none.Copy.TruePeak = -31.24;
    none.CopyVerdict = {report::VerdictKind::Pass, {}};
    none.GainDB.reset();
    none.Written = false;
    none.ReasonCode = "stopped";
    report::FileRow& written = batch.Rows[1];
    written.CopyPath = "/srv/cm/out/copy_written.wav";
    written.Copy.LKFS = -24.01;
    report::FileRow& projected = batch.Rows[2];
    projected.CopyIs = CopyState::Projected;
    projected.CopyPath = "/srv/cm/out/copy_projected.wav";
    projected.Copy.LKFS = -24.52;
    projected.Written = false;
    projected.ReasonCode = "measure_only";
    projected.ReasonText =
        "nothing was written in this run, which measured only; the copy's figures are those it would have if it "
        "were written with the gain shown, at the path shown, with its markers and its chunks kept as they are "
        "ENDOFREASON";

    const std::vector<std::string> lines = CsvLines(report::ReportCsv(batch));
    ASSERT_EQ(lines.size(), 4u);
    // copy_state and copy_path keep their places; later columns are appended.
    EXPECT_NE(lines[0].find(",profile_true_peak_max_dbtp,copy_state,copy_path,"), std::string::npos) << lines[0];
    constexpr size_t kCopyState = 28;
    constexpr size_t kCopyPath = 29;
    EXPECT_EQ(CsvFields(lines[1])[kCopyState], "none") << lines[1];
    EXPECT_EQ(CsvFields(lines[1])[kCopyPath], "") << lines[1];
    EXPECT_EQ(lines[1].find("-31.2"), std::string::npos) << lines[1];
    // No gain, six copy figures empty, no copy verdict.
    EXPECT_NE(lines[1].find(",-16.55,,,,,,,,fail,loudness_high true_peak_over,,,no,stopped,"), std::string::npos)
        << lines[1];
    EXPECT_EQ(CsvFields(lines[2])[kCopyState], "written") << lines[2];
    EXPECT_EQ(CsvFields(lines[2])[kCopyPath], "/srv/cm/out/copy_written.wav") << lines[2];
    EXPECT_NE(lines[2].find(",-24.01,"), std::string::npos);
    EXPECT_EQ(CsvFields(lines[3])[kCopyState], "projected") << lines[3];
    EXPECT_EQ(CsvFields(lines[3])[kCopyPath], "/srv/cm/out/copy_projected.wav") << lines[3];
    EXPECT_NE(lines[3].find(",-24.52,"), std::string::npos);

    const std::string html = report::ReportHtml(batch);
    EXPECT_EQ(html.find("-31.2"), std::string::npos);
    EXPECT_EQ(html.find("Gain  dB"), std::string::npos);
    EXPECT_EQ(html.find("Gain - dB"), std::string::npos);
    EXPECT_EQ(html.find("<td class=\"n\">-</td>"), std::string::npos);
    EXPECT_NE(html.find("-24.52*"), std::string::npos);
    EXPECT_NE(html.find("Copy LKFS*"), std::string::npos);
    EXPECT_NE(html.find("if written"), std::string::npos);
    EXPECT_NE(html.find("Copy (if written): LKFS -24.52"), std::string::npos);
    EXPECT_NE(html.find("/srv/cm/out/copy_written.wav"), std::string::npos);
    EXPECT_NE(html.find("/srv/cm/out/copy_projected.wav"), std::string::npos);

    const std::string pdf = dir.file("copies.pdf");
    ASSERT_TRUE(report::WriteReport(batch, pdf).ok());
    const std::string text = PdfText(pdf);
    EXPECT_EQ(text.find("-31.2"), std::string::npos);
    EXPECT_EQ(text.find("Gain  dB"), std::string::npos);
    EXPECT_NE(text.find("-24.52*"), std::string::npos);
    EXPECT_NE(text.find("if written"), std::string::npos);
    EXPECT_NE(text.find("/srv/cm/out/copy_written.wav"), std::string::npos);
    EXPECT_NE(text.find("/srv/cm/out/copy_projected.wav"), std::string::npos);
    // The outcome wraps in the table and in the section, and the summary
    // names the one reason of the rows not written: all of it is there.
    EXPECT_EQ(Count(text, "ENDOFREASON"), 3u);
}

TEST(UnmeasuredRows, GetATableLineButNoSectionAndNoGraph) {
    ScratchDir dir;
    constexpr size_t kMeasured = 4;
    constexpr size_t kMissing = 300;
    // The table's pages and the measured rows' two pages, not a page a row.
    constexpr int kMostPages = 15;
    report::BatchReport batch = SampleReport(kMeasured);
    // The first row odd in name and projected: its pages are left to look at.
    batch.Rows[0].Title = "line\r\nbreak\x07 " + kCp932Name;
    batch.Rows[0].CopyIs = CopyState::Projected;
    batch.Rows[0].Written = false;
    batch.Rows[0].ReasonCode = "measure_only";
    batch.Rows[0].ReasonText = "measured only: the copy's figures are those it would have if written";
    for (size_t i = 0; i < kMissing; ++i) {
        report::FileRow row;
        row.Title = "missing " + std::to_string(i);
        row.Path = "/srv/cm/in/missing_" + std::to_string(i) + ".wav";
        row.ReasonCode = "not_found";
        row.ReasonText = "the file does not exist";
        batch.Rows.push_back(row);
    }

    const std::string html = report::ReportHtml(batch);
    EXPECT_EQ(Count(html, "src=\"data:image/png;base64,"), kMeasured);
    EXPECT_EQ(Count(html, "<div class=\"file\""), kMeasured);
    EXPECT_NE(html.find("/srv/cm/in/missing_299.wav"), std::string::npos);
    // The header, every row, and the line break kept inside the first title's quotes.
    EXPECT_EQ(CsvLines(report::ReportCsv(batch)).size(), 1 + kMeasured + kMissing + 1);

    const std::string pdf = dir.file("missing.pdf");
    ASSERT_TRUE(report::WriteReport(batch, pdf).ok());
    const int pages = PdfPages(pdf);
    EXPECT_GT(pages, 2);
    EXPECT_LT(pages, kMostPages);
    const std::string text = PdfText(pdf);
    EXPECT_NE(text.find("missing_299.wav"), std::string::npos);
    EXPECT_NE(text.find("(not_found)"), std::string::npos);
    EXPECT_NE(text.find("does not exist"), std::string::npos);

    const std::string prefix = kRenderedDir + "/report_odd_names";
    Shell("pdftoppm -png -r 60 -f 1 -l 1 '" + pdf + "' '" + prefix + "'");
    Shell("pdftoppm -png -r 60 -f " + std::to_string(pages - 1) + " -l " + std::to_string(pages - 1) + " '" + pdf +
          "' '" + prefix + "_section'");
    EXPECT_FALSE(Shell("ls '" + kRenderedDir + "' | grep report_odd_names").empty());
}

}  // namespace
}  // namespace sonivate::test
