#pragma once
// A batch report with the figures a real run gives: commercials with their
// markers and loudness series, Japanese and awkward titles, written and
// refused copies. Shared by the report tests and the report benchmark.

#include <cmath>
#include <string>

#include "report/batch_report.h"

namespace sonivate::test {

inline report::FileRow SampleRow(size_t pIndex, const std::string& pTitle, double pSeconds) {
    report::FileRow row;
    row.Title = pTitle;
    row.Path = "/srv/cm/in/" + pTitle + ".wav";
    row.SampleRate = 48000;
    row.FileFrames = static_cast<std::int64_t>((pSeconds + 2.0) * 48000);
    row.RangeStart = 48000;  // BC$START one second in
    row.RangeEnd = row.RangeStart + static_cast<std::int64_t>(pSeconds * 48000);
    const double shift = static_cast<double>(pIndex % 7) * 0.37;
    row.Source = {-20.41 - shift, -3.17, -2.83 + shift / 10, 6.4, -14.02, -16.55, std::nullopt};
    row.GainDB = -3.588 + shift;
    row.Copy = {-24.00, -6.76, -6.42, 6.4, -17.61, -20.14, std::nullopt};
    row.Band = {true, -24.0, 1.0, -1.0};
    row.SourceVerdict = {report::VerdictKind::Fail, {"loudness_high", "true_peak_over"}};
    row.CopyVerdict = {report::VerdictKind::Pass, {}};
    row.Written = pIndex % 5 != 3;
    row.CopyIs = report::CopyState::Written;
    row.CopyPath = "/srv/cm/out/" + pTitle + ".wav";
    if (!row.Written) {
        row.CopyIs = report::CopyState::None;
        row.CopyPath.clear();
        row.ReasonCode = "would_clip";
        row.ReasonText = "the gain would push the peak above 0 dBFS";
        row.CopyVerdict = {};
    }
    row.Markers = {{"BC$STANDBY", 24000},
                   {"BC$START", row.RangeStart},
                   {"BC$STOP", row.RangeEnd - 24000},
                   {"BC$END", row.RangeEnd}};
    row.Loudness.StepFrames = 4800;
    const auto steps = static_cast<size_t>(pSeconds * 10);
    for (size_t k = 0; k < steps; ++k) {
        const double t = static_cast<double>(k) / 10.0;
        const double m = -20.0 - shift + 4.0 * std::sin(t * 1.7) * std::sin(t * 0.31) - (k % 9 == 0 ? 6.0 : 0.0);
        row.Loudness.Momentary.push_back(k < 3 ? -HUGE_VAL : m);
        row.Loudness.ShortTerm.push_back(k < 29 ? -HUGE_VAL : -20.0 - shift + 2.0 * std::sin(t * 0.31));
    }
    return row;
}

inline report::BatchReport SampleReport(size_t pRows, double pSeconds = 30.0) {
    report::BatchReport batch;
    batch.Header.Date = "2026-12-09 01:02:03 UTC";
    batch.Header.Host = "mastering-01";
    batch.Header.ProgramVersion = "sonivate 1.4.0";
    batch.Header.ProfileName = "arib-tr-b32";
    batch.Header.TargetLKFS = -24.0;
    batch.Header.RangeChoices = "BC$START - BC$END";
    // The texts the tests look for are the English ones.
    batch.Language = report::ReportLanguage::English;
    const std::string titles[] = {"春の新生活キャンペーン 30秒", "Plain, \"quoted\" title", "夏祭り_告知",
                                  "Kaffee & <Kuchen>", "年末セール 15秒 最終版"};
    for (size_t i = 0; i < pRows; ++i) {
        std::string title = titles[i % 5];
        if (i >= 5) title += " #" + std::to_string(i + 1);
        batch.Rows.push_back(SampleRow(i, title, pSeconds));
    }
    return batch;
}

}  // namespace sonivate::test
