// The Japanese verdict texts the details window and the list's tooltip show.
#include <gtest/gtest.h>

#include "gui/details/verdict_texts.h"

namespace sonivate {
namespace {

report::ProfileBand Band(double pTarget, double pTolerance, std::optional<double> pMaxTruePeak) {
    report::ProfileBand band;
    band.Present = true;
    band.Target = pTarget;
    band.Tolerance = pTolerance;
    band.MaxTruePeak = pMaxTruePeak;
    return band;
}

TEST(DetailsVerdictTexts, ReasonsReadInJapaneseWithTheLimitsTheBandGives) {
    const report::ProfileBand atsc = Band(-24.0, 1.0, -2.0);
    EXPECT_EQ(VerdictReasonText("loudness_low", atsc), "ラウドネスが低すぎます（-24.0 ±1.0 LKFS）");
    EXPECT_EQ(VerdictReasonText("loudness_high", Band(-23.0, 0.5, -1.0)), "ラウドネスが高すぎます（-23.0 ±0.5 LKFS）");
    EXPECT_EQ(VerdictReasonText("true_peak_over", atsc), "トゥルーピークが上限を超えています（上限 -2.0 dBTP）");
    EXPECT_EQ(VerdictReasonText("short_term_over", atsc), "ショートタームラウドネスが上限を超えています");

    // Without a band, or without a peak limit in it, nothing is quoted.
    const report::ProfileBand none;
    EXPECT_EQ(VerdictReasonText("loudness_low", none), "ラウドネスが低すぎます");
    EXPECT_EQ(VerdictReasonText("true_peak_over", none), "トゥルーピークが上限を超えています");
    EXPECT_EQ(VerdictReasonText("true_peak_over", Band(-24.0, 2.0, std::nullopt)),
              "トゥルーピークが上限を超えています");

    // The downmix note quotes the ceiling it passes, as the true peak does.
    EXPECT_EQ(VerdictReasonText("downmix_true_peak_over", atsc),
              "ダウンミックスのトゥルーピークが上限を超えています（上限 -2.0 dBTP）");
    EXPECT_EQ(VerdictReasonText("downmix_true_peak_over", none), "ダウンミックスのトゥルーピークが上限を超えています");

    // A code this build does not know is shown as it came.
    EXPECT_EQ(VerdictReasonText("phase_inverted", atsc), "phase_inverted");
    EXPECT_EQ(VerdictReasonText("", atsc), "");
}

TEST(DetailsVerdictTexts, SummaryIsTheWordThenOneReasonALine) {
    const report::ProfileBand ebu = Band(-23.0, 1.0, -1.0);
    EXPECT_EQ(VerdictWord(report::VerdictKind::Pass), "合格");
    EXPECT_EQ(VerdictWord(report::VerdictKind::Fail), "不合格");
    EXPECT_EQ(VerdictWord(report::VerdictKind::None), "");

    report::FileVerdict failed{report::VerdictKind::Fail, {"loudness_high", "true_peak_over", "mystery"}};
    EXPECT_EQ(VerdictSummary(failed, ebu),
              "不合格\nラウドネスが高すぎます（-23.0 ±1.0 LKFS）\nトゥルーピークが上限を超えています（上限 -1.0 "
              "dBTP）\nmystery");
    EXPECT_EQ(VerdictSummary({report::VerdictKind::Fail, {}}, ebu), "不合格");
    EXPECT_EQ(VerdictSummary({report::VerdictKind::Pass, {}}, ebu), "合格");
    // A note follows the reasons; it never turns a pass into a failure.
    EXPECT_EQ(VerdictSummary({report::VerdictKind::Pass, {}}, ebu, {"downmix_true_peak_over"}),
              "合格\nダウンミックスのトゥルーピークが上限を超えています（上限 -1.0 dBTP）");
    // No verdict shows nothing, whatever reasons or notes were left in it.
    EXPECT_EQ(VerdictSummary({report::VerdictKind::None, {"loudness_low"}}, ebu, {"downmix_true_peak_over"}), "");
}

}  // namespace
}  // namespace sonivate
