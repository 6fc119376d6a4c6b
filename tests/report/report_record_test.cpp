// The report as a delivery record, in Japanese and in English: the header
// on every page with "n / N" below, the summary's counts, every row's paths,
// its outcome in full and the action taken with the limiter's figures; the
// same in the HTML and as columns of the CSV.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "read_back.h"
#include "report/batch_report.h"
#include "sample_report.h"
#include "support/scratch.h"

namespace sonivate::test {
namespace {

using report::CopyAction;
using report::ReportLanguage;

const std::string kRenderedDir = SONIVATE_REPORT_RENDER_DIR;
constexpr const char* kLongPathStart = "/srv/START_OF_PATH";

// Two measured rows (their sections fill page 2), one limited, one refused
// with a long reason; a row not found with a long path and title. Two pages.
report::BatchReport Delivery(ReportLanguage pLanguage) {
    report::BatchReport batch = SampleReport(2);
    batch.Language = pLanguage;
    batch.Header.Operator = "山田 太郎";
    batch.Header.Station = "JOAX-DTV";
    batch.Header.Programme = "Spring campaign 2027";
    batch.Header.Client = "Kaffee & Kuchen GmbH";
    batch.Header.Notes = "Delivered on LTO-9 tape #42; the 15 s versions follow next week. NOTES_END";
    report::FileRow& limited = batch.Rows[0];
    limited.Action = CopyAction::Limited;
    limited.AppliedGainDB = 4.88;
    limited.MaxReductionDB = 2.31;
    limited.SecondsOverTenthDB = 0.42;
    limited.SecondsOverOneDB = 0.05;
    report::FileRow& refused = batch.Rows[1];
    refused.Written = false;
    refused.CopyIs = report::CopyState::None;
    refused.CopyPath.clear();
    refused.ReasonCode = "limit_exceeded";
    refused.ReasonText =
        "the limiter would need 9.40 dB of gain reduction, more than the 6.00 dB allowed; the file was measured, and "
        "its copy was not written so that nothing out of tolerance reaches the client REASON_END";
    report::FileRow missing;
    missing.Title = "A title longer than its column, which wraps onto lines of its own TITLE_END";
    missing.Path = std::string(kLongPathStart) + "/cm/deliveries/2027/spring/campaign/versions/30s/final/missing.wav";
    missing.ReasonCode = "missing";
    missing.ReasonText = pLanguage == ReportLanguage::Japanese ? "ファイルが見つかりません" : "no such file";
    batch.Rows.push_back(missing);
    return batch;
}

// pdftotext's text of page pPage, line breaks as spaces.
std::string PageText(const std::string& pPdf, int pPage) {
    std::string text = Shell("pdftotext -enc UTF-8 -f " + std::to_string(pPage) + " -l " + std::to_string(pPage) +
                             " '" + pPdf + "' -");
    for (char& c : text)
        if (c == '\n') c = ' ';
    return text;
}

// The CSV's cells of one row by column name.
std::map<std::string, std::string> CsvRow(const std::string& pCsv, size_t pRow) {
    const std::vector<std::string> records = CsvRecords(pCsv);
    std::map<std::string, std::string> row;
    if (pRow + 1 >= records.size()) return row;
    const std::vector<std::string> names = CsvFields(records[0]);
    const std::vector<std::string> cells = CsvFields(records[pRow + 1]);
    for (size_t i = 0; i < names.size() && i < cells.size(); ++i) row[names[i]] = cells[i];
    return row;
}

struct Expected {
    ReportLanguage Language;
    std::vector<std::string> OnEveryPage;
    std::vector<std::string> Anywhere;
};

TEST(DeliveryRecordPdf, HeaderOnEveryPageNumberedSummaryPathsOutcomesAndActionInBothLanguages) {
    const Expected cases[] = {
        {ReportLanguage::English,
         {"sonivate 1.4.0", "Date: 2026-12-09 01:02:03 UTC", "Host: mastering-01", "Operator: 山田 太郎",
          "Station: JOAX-DTV", "Programme: Spring campaign 2027", "Client: Kaffee & Kuchen GmbH", "NOTES_END"},
         {"Loudness report", "Rows listed 3, measured 2, written 1, not written 2",
          "Not written, by reason: the limiter would need", "(limit_exceeded): 1, no such file (missing): 1",
          "Profile verdicts: sources: pass 0, fail 2 / copies: pass 1, fail 0", "Outcome", "Copy LKFS",
          "fail (loudness_high, true_peak_over)",
          "Action true-peak limiter, gain +4.880 dB, max reduction 2.31 dB, 0.42 s over 0.1 dB, 0.05 s over 1 dB",
          "Copy: /srv/cm/out/春の新生活キャンペーン 30秒.wav", "/srv/cm/in/Plain, \"quoted\" title.wav",
          "Outcome not written (limit_exceeded): the limiter would need 9.40 dB", "short-term 3 s"}},
        {ReportLanguage::Japanese,
         {"sonivate 1.4.0", "日時: 2026-12-09 01:02:03 UTC", "ホスト: mastering-01", "担当者: 山田 太郎",
          "局: JOAX-DTV", "番組: Spring campaign 2027", "クライアント: Kaffee & Kuchen GmbH", "NOTES_END"},
         {"ラウドネスレポート", "リスト 3 件、計測 2 件、書き出し 1 件、書き出さず 2 件",
          "書き出さなかった理由: the limiter would need",
          "(limit_exceeded): 1 件、ファイルが見つかりません (missing): 1 件",
          "判定（配信基準）: 元ファイル: 合格 0 件、不合格 2 件 / 出力: 合格 1 件、不合格 0 件", "結果", "出力 LKFS",
          "不合格 (ラウドネス高、トゥルーピーク超過)",
          "処理 トゥルーピークリミッター、ゲイン +4.880 dB、最大リダクション 2.31 dB、0.1 dB 超 0.42 秒、1 dB 超 0.05 "
          "秒",
          "出力: /srv/cm/out/春の新生活キャンペーン 30秒.wav", "/srv/cm/in/Plain, \"quoted\" title.wav",
          "結果 書き出していません (limit_exceeded): the limiter would need 9.40 dB", "ショートターム 3 秒"}},
    };
    for (const Expected& expected : cases) {
        const bool japanese = expected.Language == ReportLanguage::Japanese;
        SCOPED_TRACE(japanese ? "Japanese" : "English");
        // Left with its rendered pages for a person to look at.
        const std::string prefix = kRenderedDir + (japanese ? "/delivery_ja" : "/delivery_en");
        const std::string pdf = prefix + ".pdf";
        ASSERT_TRUE(report::WriteReport(Delivery(expected.Language), pdf).ok());
        ASSERT_EQ(PdfPages(pdf), 2);
        for (int page = 1; page <= 2; ++page) {
            const std::string text = PageText(pdf, page);
            for (const std::string& field : expected.OnEveryPage)
                EXPECT_NE(text.find(field), std::string::npos) << "page " << page << ": " << field;
            EXPECT_NE(text.find(std::to_string(page) + " / 2"), std::string::npos) << "page " << page;
        }
        const std::string text = PageText(pdf, 1) + PageText(pdf, 2);
        for (const std::string& item : expected.Anywhere) EXPECT_NE(text.find(item), std::string::npos) << item;
        // The other language's words are not there.
        EXPECT_EQ(text.find(japanese ? "Loudness report" : "ラウドネスレポート"), std::string::npos);
        EXPECT_EQ(text.find(japanese ? "not written (" : "書き出して"), std::string::npos);
        // Nothing cut: the long reason in the summary, the table and the
        // section, the long title and the start of the long path in the table.
        EXPECT_EQ(Count(text, "REASON_END"), 3u);
        EXPECT_EQ(Count(text, "TITLE_END"), 1u);
        EXPECT_EQ(Count(text, kLongPathStart), 1u);
        EXPECT_EQ(text.find("…"), std::string::npos);

        Shell("pdftoppm -png -r 110 '" + pdf + "' '" + prefix + "'");
        EXPECT_FALSE(Slurp(prefix + "-1.png").empty());
        EXPECT_FALSE(Slurp(prefix + "-2.png").empty());
    }
}

TEST(DeliveryRecordHtml, HeaderOnceSummaryPathsOutcomesAndActionInBothLanguages) {
    const std::string english = report::ReportHtml(Delivery(ReportLanguage::English));
    const std::string japanese = report::ReportHtml(Delivery(ReportLanguage::Japanese));
    for (const std::string& html : {english, japanese}) {
        EXPECT_EQ(Count(html, "山田 太郎"), 1u);
        EXPECT_EQ(Count(html, "NOTES_END"), 1u);
        EXPECT_NE(html.find("Kaffee &amp; Kuchen GmbH"), std::string::npos);
        EXPECT_NE(html.find(std::string(kLongPathStart) + "/cm/deliveries/"), std::string::npos);
        // The source's path under every title, and in the measured rows' sections.
        EXPECT_EQ(Count(html, "/srv/cm/in/春の新生活キャンペーン 30秒.wav"), 2u);
        EXPECT_EQ(Count(html, "REASON_END"), 3u);  // table, section and summary
        EXPECT_EQ(Count(html, "src=\"data:image/png;base64,"), 2u);
    }
    EXPECT_NE(english.find("<html lang=\"en\">"), std::string::npos);
    EXPECT_NE(english.find("Rows listed 3, measured 2, written 1, not written 2"), std::string::npos);
    EXPECT_NE(english.find("<th>Operator</th><td>山田 太郎</td>"), std::string::npos);
    EXPECT_NE(english.find("true-peak limiter, gain +4.880 dB, max reduction 2.31 dB, 0.42 s over 0.1 dB"),
              std::string::npos);
    EXPECT_EQ(english.find("書き出"), std::string::npos);
    EXPECT_NE(japanese.find("<html lang=\"ja\">"), std::string::npos);
    EXPECT_NE(japanese.find("<title>ラウドネスレポート</title>"), std::string::npos);
    EXPECT_NE(japanese.find("リスト 3 件、計測 2 件、書き出し 1 件、書き出さず 2 件"), std::string::npos);
    EXPECT_NE(japanese.find("<th>担当者</th><td>山田 太郎</td>"), std::string::npos);
    EXPECT_NE(japanese.find("<th>タイトル</th>"), std::string::npos);
    EXPECT_NE(japanese.find("不合格 (ラウドネス高、トゥルーピーク超過)"), std::string::npos);
    EXPECT_NE(japanese.find("書き出していません (limit_exceeded): the limiter"), std::string::npos);
    EXPECT_NE(japanese.find("トゥルーピークリミッター、ゲイン +4.880 dB"), std::string::npos);
    EXPECT_EQ(japanese.find("Loudness report"), std::string::npos);
    EXPECT_EQ(japanese.find("not written ("), std::string::npos);
    ASSERT_TRUE(report::WriteReport(Delivery(ReportLanguage::Japanese), kRenderedDir + "/delivery_ja.html").ok());
}

TEST(DeliveryRecordCsv, NewColumnsAppendedTheSameCodesInBothLanguages) {
    const std::string english = report::ReportCsv(Delivery(ReportLanguage::English));
    const std::string japanese = report::ReportCsv(Delivery(ReportLanguage::Japanese));
    // The earlier columns keep their places, the new ones follow.
    EXPECT_EQ(CsvRecords(english)[0].rfind(
                  "title,path,range_start_frames,range_end_frames,duration_s,lkfs,sample_peak_dbfs,true_peak_dbtp,"
                  "lra_lu,max_momentary_lkfs,max_short_term_lkfs,gain_db,copy_lkfs,copy_sample_peak_dbfs,"
                  "copy_true_peak_dbtp,copy_lra_lu,copy_max_momentary_lkfs,copy_max_short_term_lkfs,verdict_source,"
                  "verdict_source_reasons,verdict_copy,verdict_copy_reasons,written,reason_code,reason_text,"
                  "profile_target_lkfs,profile_tolerance_lu,profile_true_peak_max_dbtp,copy_state,copy_path,action,",
                  0),
              0u);
    EXPECT_EQ(CsvRecords(english)[0], CsvRecords(japanese)[0]);
    report::BatchReport surround = Delivery(ReportLanguage::English);
    surround.Rows[0].Source.DownmixTruePeak = 1.25;
    EXPECT_EQ(CsvRow(report::ReportCsv(surround), 0).at("downmix_true_peak_dbtp"), "1.25");
    EXPECT_EQ(CsvRow(english, 0).at("downmix_true_peak_dbtp"), "") << "stereo has no downmix";
    for (const std::string& csv : {english, japanese}) {
        const auto limited = CsvRow(csv, 0);
        EXPECT_EQ(limited.at("action"), "limited");
        EXPECT_EQ(limited.at("applied_gain_db"), "4.880");
        EXPECT_EQ(limited.at("max_reduction_db"), "2.31");
        EXPECT_EQ(limited.at("reduction_over_0.1db_s"), "0.42");
        EXPECT_EQ(limited.at("reduction_over_1db_s"), "0.05");
        EXPECT_EQ(limited.at("verdict_source"), "fail");
        EXPECT_EQ(limited.at("copy_path"), "/srv/cm/out/春の新生活キャンペーン 30秒.wav");
        // The header's fields on every row.
        for (size_t row = 0; row < 3; ++row) {
            const auto cells = CsvRow(csv, row);
            EXPECT_EQ(cells.at("report_date"), "2026-12-09 01:02:03 UTC") << row;
            EXPECT_EQ(cells.at("host"), "mastering-01") << row;
            EXPECT_EQ(cells.at("program"), "sonivate 1.4.0") << row;
            EXPECT_EQ(cells.at("operator"), "山田 太郎") << row;
            EXPECT_EQ(cells.at("station"), "JOAX-DTV") << row;
            EXPECT_EQ(cells.at("programme"), "Spring campaign 2027") << row;
            EXPECT_EQ(cells.at("client"), "Kaffee & Kuchen GmbH") << row;
            EXPECT_NE(cells.at("notes").find("NOTES_END"), std::string::npos) << row;
            EXPECT_EQ(cells.at("profile"), "arib-tr-b32") << row;
        }
        const auto refused = CsvRow(csv, 1);
        EXPECT_EQ(refused.at("action"), "");
        EXPECT_EQ(refused.at("written"), "no");
        EXPECT_EQ(refused.at("reason_code"), "limit_exceeded");
        EXPECT_NE(refused.at("reason_text").find("REASON_END"), std::string::npos);
        EXPECT_EQ(CsvRow(csv, 2).at("path").rfind(kLongPathStart, 0), 0u);
    }
    EXPECT_EQ(CsvRow(english, 0).at("action_text"), "true-peak limiter");
    EXPECT_EQ(CsvRow(japanese, 0).at("action_text"), "トゥルーピークリミッター");
}

// The downmix note on a 5.1 row's verdicts, a row the clip rule kept back
// with the reason text of the run's language, and a limit_exceeded row with
// the reduction it needed.
report::BatchReport NotedDelivery(ReportLanguage pLanguage) {
    report::BatchReport batch = Delivery(pLanguage);
    const bool japanese = pLanguage == ReportLanguage::Japanese;
    batch.Rows[0].SourceVerdict.Notes = {"downmix_true_peak_over"};
    batch.Rows[0].CopyVerdict.Notes = {"downmix_true_peak_over"};
    batch.Rows[1].NeededReductionDB = 9.4;
    report::FileRow clipped = batch.Rows[1];
    clipped.NeededReductionDB.reset();
    clipped.ReasonCode = "would_clip";
    clipped.ReasonText = japanese ? "クリップするため書き出しません" : "not written: the gain would clip";
    batch.Rows.push_back(clipped);
    return batch;
}

TEST(DeliveryRecord, NotesAndTheNeededReductionShownAndNotWrittenSaidOnce) {
    struct Case {
        ReportLanguage language;
        std::vector<std::string> shown;
        std::vector<std::string> never;
    };
    const Case cases[] = {
        {ReportLanguage::English,
         {"pass; note: downmix true peak over the maximum", "fail (loudness_high, true_peak_over); note: downmix",
          "not written (would_clip): the gain would clip", "REASON_END, 9.40 dB of reduction needed",
          "the gain would clip (would_clip): 1"},
         {"not written: the gain would clip"}},
        {ReportLanguage::Japanese,
         {"合格。注記: ダウンミックスのトゥルーピーク超過", "クリップするため書き出しません (would_clip)",
          "REASON_END、必要なリダクション 9.40 dB"},
         {"書き出していません (would_clip)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.language == ReportLanguage::Japanese ? "Japanese" : "English");
        const std::string html = report::ReportHtml(NotedDelivery(c.language));
        for (const std::string& text : c.shown) EXPECT_NE(html.find(text), std::string::npos) << text;
        for (const std::string& text : c.never) EXPECT_EQ(html.find(text), std::string::npos) << text;
        const std::string pdf = kRenderedDir + "/noted.pdf";
        ASSERT_TRUE(report::WriteReport(NotedDelivery(c.language), pdf).ok());
        std::string pages;
        for (int page = 1; page <= PdfPages(pdf); ++page) pages += PageText(pdf, page);
        for (const std::string& text : c.never) EXPECT_EQ(pages.find(text), std::string::npos) << text;
        const bool japanese = c.language == ReportLanguage::Japanese;
        EXPECT_NE(pages.find(japanese ? "注記: ダウンミックス" : "note: downmix"), std::string::npos);

        const std::string csv = report::ReportCsv(NotedDelivery(c.language));
        EXPECT_EQ(CsvRow(csv, 0).at("verdict_source_notes"), "downmix_true_peak_over");
        EXPECT_EQ(CsvRow(csv, 0).at("verdict_copy_notes"), "downmix_true_peak_over");
        EXPECT_EQ(CsvRow(csv, 0).at("needed_reduction_db"), "");
        EXPECT_EQ(CsvRow(csv, 1).at("needed_reduction_db"), "9.40");
        EXPECT_EQ(CsvRow(csv, 1).at("verdict_copy_notes"), "") << "no copy, no copy verdict";
        EXPECT_EQ(CsvRow(csv, 1).at("downmix_true_peak_dbtp"), "") << "the columns before keep their places";
    }
}

TEST(CsvRows, AnEmptyFirstCellKeepsItsComma) {
    report::BatchReport batch = SampleReport(1);
    batch.Rows[0].Title.clear();
    const std::vector<std::string> records = CsvRecords(report::ReportCsv(batch));
    ASSERT_EQ(records.size(), 2u);
    const std::vector<std::string> cells = CsvFields(records[1]);
    EXPECT_EQ(cells.size(), CsvFields(records[0]).size());
    EXPECT_EQ(cells[0], "");
    EXPECT_EQ(cells[1], batch.Rows[0].Path);
}

TEST(Summary, CountsRowsReasonsAndVerdicts) {
    report::BatchReport batch = SampleReport(5);  // row 3 is not written (would_clip)
    batch.Rows[0].Written = false;
    batch.Rows[0].ReasonCode = "write_failed";
    batch.Rows[0].ReasonText = "writing failed: disk full";
    batch.Rows[1].Written = false;
    batch.Rows[1].ReasonCode = "write_failed";
    batch.Rows[1].ReasonText = "writing failed: read-only file system";
    batch.Rows[2].CopyIs = report::CopyState::None;  // its copy verdict is not counted
    batch.Rows[4].SourceVerdict = {report::VerdictKind::Pass, {}};
    report::FileRow notFound;
    notFound.ReasonCode = "missing";
    batch.Rows.push_back(notFound);
    const report::BatchSummary summary = report::Summarize(batch);
    EXPECT_EQ(summary.Listed, 6u);
    EXPECT_EQ(summary.Measured, 5u);
    EXPECT_EQ(summary.Written, 2u);
    ASSERT_EQ(summary.NotWritten.size(), 3u);
    // In the order met; a text only when every row of the reason shares it.
    EXPECT_EQ(summary.NotWritten[0].Code, "write_failed");
    EXPECT_EQ(summary.NotWritten[0].Count, 2u);
    EXPECT_EQ(summary.NotWritten[0].Text, "");
    EXPECT_EQ(summary.NotWritten[1].Code, "would_clip");
    EXPECT_EQ(summary.NotWritten[1].Text, "the gain would push the peak above 0 dBFS");
    EXPECT_EQ(summary.NotWritten[2].Code, "missing");
    EXPECT_EQ(summary.SourcePass, 1u);
    EXPECT_EQ(summary.SourceFail, 4u);
    EXPECT_EQ(summary.CopyPass, 3u);  // rows 0, 1 and 4: row 2 shows no copy, row 3 has none
    EXPECT_EQ(summary.CopyFail, 0u);
}

}  // namespace
}  // namespace sonivate::test
