// The report's rows as a run leaves them: the figures of the source and of
// the copy, the verdicts, the loudness over time and the markers, all from
// the run's own read; and profiles read whatever the locale.
#include <clocale>
#include <cmath>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "app/row_store.h"
#include "app/delivery_profile.h"
#include "app/run_report.h"
#include "batch_hosts.h"
#include "support/scratch.h"
#include "support/wavgen.h"

namespace sonivate {
namespace {

constexpr std::int32_t kRate = 48000;
constexpr std::int64_t kStepFrames = kRate / 10;

class SeriesRun : public test::RecordingRun {
public:
    bool KeepSeries() const override { return series; }
    bool series = true;
};

TEST(RunReport, ARowKeepsItsSeriesAndMarkersAndIsJudgedAtTheGainAsShown) {
    test::ScratchDir dir;
    test::WavSpec layout;
    // BC$START at 0.5 s and BC$END at 5.5 s of a six-second tone.
    layout.afterData = test::BroadcastMarkers(kRate / 2, -1, -1, 11 * kRate / 2);
    const std::string path = test::WriteWav(dir.file("spot.wav"), layout, test::Sine(6 * kRate, 2, 997.0, -20.0, 16));
    RowStore rows;
    test::RecordingIntake intake(kRangeFileStart, kRangeFileEnd);
    AddTitle(rows, intake, path, kAppendRow);
    ASSERT_EQ(rows.Count(), 1);

    SeriesRun host;
    host.extras = true;
    const std::vector<RowResult> results = RunMeasurement(rows, host);
    ASSERT_EQ(results.size(), 1u);
    const RowResult& result = results[0];
    ASSERT_TRUE(result.Measured);
    ASSERT_TRUE(result.Broadcast.has_value());

    const DeliveryProfile profile = *BuiltInProfile("ebu-r128");
    const report::FileRow file = ReportRow(rows.Rows()[0].Row, &result, &profile, RowReason::NotMeasured,
                                           [](RowReason pReason, int) { return std::string(ReasonCode(pReason)); });
    ASSERT_EQ(file.Markers.size(), 2u);
    EXPECT_EQ(file.Markers[0].Name, "BC$START");
    EXPECT_EQ(file.Markers[0].Frame, kRate / 2);
    EXPECT_EQ(file.Markers[1].Name, "BC$END");
    EXPECT_EQ(file.Loudness.StepFrames, kStepFrames);
    EXPECT_EQ(file.Loudness.Momentary.size(), static_cast<size_t>(6 * kRate / kStepFrames));
    EXPECT_EQ(file.Loudness.ShortTerm.size(), file.Loudness.Momentary.size());
    EXPECT_TRUE(std::isfinite(file.Loudness.ShortTerm.back()));

    // The copy is at the gain as shown, and its loudness is measured after it.
    ASSERT_TRUE(file.GainDB.has_value());
    EXPECT_EQ(*file.GainDB, std::stod(result.GainText));
    EXPECT_EQ(*file.Copy.LKFS, result.Broadcast->OutputLKFS);
    EXPECT_NEAR(*file.Copy.TruePeak - *file.Source.TruePeak, *file.GainDB, 1e-9);
    EXPECT_EQ(file.Copy.LRA, file.Source.LRA) << "a gain does not change the range";
    // -24 LKFS is 1 LU outside R 128's ±0.5 LU: the source fails high, the copy low.
    EXPECT_EQ(file.SourceVerdict.Kind, report::VerdictKind::Fail);
    EXPECT_EQ(file.SourceVerdict.Reasons, std::vector<std::string>{kReasonLoudnessHigh});
    EXPECT_EQ(file.CopyVerdict.Kind, report::VerdictKind::Fail);
    EXPECT_EQ(file.CopyVerdict.Reasons, std::vector<std::string>{kReasonLoudnessLow});
    EXPECT_TRUE(file.Band.Present);
    EXPECT_EQ(file.ReasonCode, ReasonCode(RowReason::None));

    // Without the series nothing of it is kept, and no verdict without a profile.
    host.series = false;
    const RowResult plain = RunMeasurement(rows, host).at(0);
    EXPECT_TRUE(plain.Markers.empty());
    EXPECT_TRUE(plain.Broadcast->Series.Momentary.empty());
    const report::FileRow unjudged = ReportRow(rows.Rows()[0].Row, &plain, nullptr, RowReason::NotMeasured, {});
    EXPECT_EQ(unjudged.CopyVerdict.Kind, report::VerdictKind::None);
    EXPECT_EQ(*unjudged.Source.LKFS, result.LKFS) << "the series does not change the loudness";

    // A row the run did not come to says why, with no figures.
    const report::FileRow unprocessed =
        ReportRow(rows.Rows()[0].Row, nullptr, &profile, RowReason::Stopped,
                  [](RowReason pReason, int) { return std::string(ReasonCode(pReason)); });
    EXPECT_EQ(unprocessed.ReasonCode, ReasonCode(RowReason::Stopped));
    EXPECT_EQ(unprocessed.ReasonText, ReasonCode(RowReason::Stopped));
    EXPECT_FALSE(unprocessed.Source.LKFS.has_value());
    EXPECT_FALSE(unprocessed.GainDB.has_value());
}

TEST(RunReport, TheActionTakenAndTheHeaderAreThoseOfTheRun) {
    BatchRow row;
    row.Title = "spot";
    row.Path = "/in/spot.wav";
    RowResult limited;
    limited.Measured = true;
    limited.Written = true;
    limited.OutputPath = "/out/spot.wav";
    limited.ClipStep = ClipTaken::Limited;
    limited.AppliedGain = 4.88;
    limited.Limiter = LimiterReport{2.5, 0.4, 0.1, {}};
    const report::FileRow file = ReportRow(row, &limited, nullptr, RowReason::NotReached, {});
    EXPECT_EQ(file.Action, report::CopyAction::Limited);
    EXPECT_EQ(file.AppliedGainDB, 4.88);
    EXPECT_EQ(file.MaxReductionDB, 2.5);
    EXPECT_EQ(file.SecondsOverTenthDB, 0.4);
    EXPECT_EQ(file.SecondsOverOneDB, 0.1);

    RowResult unchanged = limited;
    unchanged.ClipStep = ClipTaken::None;
    unchanged.Limiter.reset();
    unchanged.WithinTolerance = true;
    EXPECT_EQ(ReportRow(row, &unchanged, nullptr, RowReason::NotReached, {}).Action, report::CopyAction::Unchanged);
    RowResult refused = limited;
    refused.Written = false;
    refused.Reason = RowReason::LimitExceeded;
    const report::FileRow notWritten = ReportRow(row, &refused, nullptr, RowReason::NotReached, {});
    EXPECT_EQ(notWritten.Action, report::CopyAction::None) << "nothing was done to a copy that does not exist";
    EXPECT_FALSE(notWritten.AppliedGainDB);
    refused.NeededReductionDB = 7.25;
    EXPECT_EQ(ReportRow(row, &refused, nullptr, RowReason::NotReached, {}).NeededReductionDB, 7.25);
    refused.Reason = RowReason::WouldClip;
    EXPECT_FALSE(ReportRow(row, &refused, nullptr, RowReason::NotReached, {}).NeededReductionDB)
        << "only a row refused by the limiter needed a reduction";

    report::BatchHeader header = ReportHeader("9.9", nullptr, -24.0, "");
    EXPECT_EQ(header.ProgramVersion, "sonivate 9.9");
    EXPECT_NE(header.Date.find('('), std::string::npos) << "the date names its zone: " << header.Date;
    EXPECT_TRUE(SetReportField(header, kReportFieldClient, "Kovan Foods"));
    EXPECT_FALSE(SetReportField(header, "colour", "red"));
    EXPECT_EQ(header.Client, "Kovan Foods");
}

TEST(RunReport, TheDownmixNoteStandsOnTheVerdicts) {
    BatchRow row;
    row.Title = "surround";
    row.Path = "/in/surround.wav";
    RowResult result;
    result.Measured = true;
    result.LKFS = -23.0;  // on the profile's target
    result.Peak = -3.0;
    result.GainText = "0.000";
    result.Copy = CopyState::Projected;  // a run that writes nothing
    result.Broadcast = BroadcastFigures{};
    result.Broadcast->TruePeak = -3.0;
    result.Broadcast->OutputLKFS = -23.0;
    result.Broadcast->DownmixTruePeak = 0.5;  // over every profile's maximum, the channels far under it
    const DeliveryProfile profile = *BuiltInProfile("ebu-r128");
    const report::FileRow file = ReportRow(row, &result, &profile, RowReason::NotReached, {});
    EXPECT_EQ(file.SourceVerdict.Kind, report::VerdictKind::Pass);
    EXPECT_EQ(file.SourceVerdict.Notes, std::vector<std::string>{kNoteDownmixTruePeakOver});
    EXPECT_EQ(file.CopyVerdict.Notes, std::vector<std::string>{kNoteDownmixTruePeakOver});
    result.Broadcast->DownmixTruePeak = -6.0;
    EXPECT_TRUE(ReportRow(row, &result, &profile, RowReason::NotReached, {}).SourceVerdict.Notes.empty());
}

TEST(DeliveryProfiles, AFileIsReadWithPointsInADecimalCommaLocaleAndBadOnesAreRefused) {
    test::ScratchDir dir;
    const std::string path = dir.file("house.ini");
    std::FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("[profile]\nname=house\ntarget=-23.5\ntolerance=0.5\ntrue_peak_max=-1.5\nshort_term_max=-18.25\n", f);
    std::fclose(f);
    const std::string before = std::setlocale(LC_ALL, nullptr);
    const bool comma = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    std::string error;
    const std::optional<DeliveryProfile> profile = LoadProfileFile(path, error);
    std::setlocale(LC_ALL, before.c_str());
    if (!comma) GTEST_SKIP() << "de_DE.UTF-8 not generated";
    ASSERT_TRUE(profile.has_value()) << error;
    EXPECT_EQ(profile->target, -23.5);
    EXPECT_EQ(profile->maxTruePeak, -1.5);
    EXPECT_EQ(profile->maxShortTerm, -18.25);

    EXPECT_FALSE(LoadProfileFile(dir.file("absent.ini"), error).has_value());
    EXPECT_NE(error.find("cannot read"), std::string::npos);
    f = std::fopen(path.c_str(), "w");
    std::fputs("target=-23,5\ntolerance=1\ntrue_peak_max=-1\n", f);
    std::fclose(f);
    EXPECT_FALSE(LoadProfileFile(path, error).has_value()) << "a comma is no decimal separator in a file";
    EXPECT_NE(error.find("target"), std::string::npos);
    // A target no programme can be brought to is refused as --target is.
    for (const char* target : {"-230", "6"}) {
        f = std::fopen(path.c_str(), "w");
        std::fprintf(f, "target=%s\ntolerance=1\ntrue_peak_max=-1\n", target);
        std::fclose(f);
        EXPECT_FALSE(LoadProfileFile(path, error).has_value()) << target;
        EXPECT_NE(error.find("outside -60 to 0"), std::string::npos) << error;
    }
}

}  // namespace
}  // namespace sonivate
