// The core's own rows: the command line's RowList lists and orders files as
// the window's list does, and the driver reports rows in list order on any
// number of jobs.

#include <gtest/gtest.h>

#include "app/batch_rows.h"
#include "app/file_list.h"
#include "app/measurement_run.h"
#include "batch_hosts.h"
#include "support/scratch.h"
#include "support/wavgen.h"

namespace sonivate {
namespace {

constexpr std::int32_t kRate = 48000;

class InOrderRun : public test::RecordingRun {
public:
    void RowApplied(const RowResult& pResult) override { applied.push_back(pResult.Row); }
    std::vector<std::int32_t> applied;
};

TEST(RowListTest, AFolderIsListedAndOrderedAsTheWindowListsIt) {
    test::ScratchDir dir;
    // Titles whose order depends on the case-blind key, and a file whose
    // length differs so the rows can be told apart.
    for (const std::string name : {"b.wav", "A.WAV", "c.Wav", "Ä.wav", "a1.wav", "B2.wav"})
        test::WriteWav(dir.file(name), {}, test::Sine(kRate * 3 / 2, 2, 997.0, -20.0, 16));
    test::RecordingIntake intake;
    RowList rows;
    ListViewModel model;
    ConfigureFileList(model);
    ListViewRows windowRows(model);
    AddCommandLinePaths(rows, intake, {dir.path()});
    AddCommandLinePaths(windowRows, intake, {dir.path()});
    ASSERT_EQ(rows.Count(), 6);
    ASSERT_EQ(windowRows.Count(), 6);
    for (std::int32_t i = 0; i < rows.Count(); ++i) {
        const BatchRow core = rows.Row(i);
        const BatchRow window = windowRows.Row(i);
        EXPECT_EQ(core.Title, window.Title) << i;
        EXPECT_EQ(core.Path, window.Path);
        EXPECT_EQ(core.Start, window.Start);
        EXPECT_EQ(core.End, window.End);
        EXPECT_EQ(core.LengthText, "00:00:01.500");
        EXPECT_EQ(core.LengthText, window.LengthText);
    }
    EXPECT_EQ(rows.Row(0).Title, "A");
    EXPECT_EQ(rows.Row(5).Title, "Ä");
}

TEST(RowListTest, TheDriverReportsRowsInListOrderOnAnyNumberOfJobs) {
    test::ScratchDir dir, out;
    RowList rows;
    test::RecordingIntake intake;
    // Long and short files alternate, so later rows finish first on workers.
    for (int i = 0; i < 6; ++i) {
        const double seconds = i % 2 == 0 ? 8.0 : 1.0;
        const std::string path =
            test::WriteWav(dir.file("f" + std::to_string(i) + ".wav"), {},
                           test::Sine(static_cast<std::int64_t>(seconds * kRate), 2, 997.0, -20.0 - i, 16));
        AddTitle(rows, intake, path, kAppendRow);
    }
    InOrderRun parallel;
    parallel.output = true;
    parallel.soundPath = out.path();
    const std::vector<RowResult> results = RunMeasurement(rows, parallel, 3);
    ASSERT_EQ(results.size(), 6u);
    EXPECT_EQ(parallel.applied, (std::vector<std::int32_t>{0, 1, 2, 3, 4, 5}));
    for (std::int32_t i = 0; i < 6; ++i) {
        EXPECT_EQ(results[static_cast<size_t>(i)].Row, i);
        EXPECT_TRUE(results[static_cast<size_t>(i)].Written);
        EXPECT_EQ(rows.Row(i).GainText, results[static_cast<size_t>(i)].GainText) << "figures applied to the rows";
    }
    EXPECT_EQ(parallel.lastProgress, 0) << "the end of the run resets the progress";

    RowList sequentialRows;
    for (const BatchRow& row : rows.Rows()) sequentialRows.Insert(kAppendRow, row);
    InOrderRun sequential;
    const std::vector<RowResult> again = RunMeasurement(sequentialRows, sequential, 1);
    for (size_t i = 0; i < again.size(); ++i) EXPECT_EQ(again[i].GainText, results[i].GainText);
}

}  // namespace
}  // namespace sonivate
