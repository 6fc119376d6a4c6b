// The core's own rows: the command line's RowStore lists and orders files as
// the window's list does, the driver reports rows in list order on any
// number of jobs, and a row keeps its id and takes its status and result by
// that id.

#include <gtest/gtest.h>

#include "app/row_store.h"
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
    RowStore rows;
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
    RowStore rows;
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

    RowStore sequentialRows;
    for (const StoredRow& row : rows.Rows()) sequentialRows.Insert(kAppendRow, row.Row);
    InOrderRun sequential;
    const std::vector<RowResult> again = RunMeasurement(sequentialRows, sequential, 1);
    for (size_t i = 0; i < again.size(); ++i) EXPECT_EQ(again[i].GainText, results[i].GainText);
}

// Stops the run once the first row has been reported.
class StopAfterFirst : public InOrderRun {
public:
    void RowApplied(const RowResult& pResult) override {
        InOrderRun::RowApplied(pResult);
        stop = true;
    }
};

TEST(RowStoreTest, RowsKeepTheirIdsAndTakeStatusesAndResultsOnlyByThem) {
    test::ScratchDir dir, out;
    RowStore rows;
    test::RecordingIntake intake;
    for (const std::string name : {"c.wav", "a.wav", "b.wav"})
        AddTitle(rows, intake, test::WriteWav(dir.file(name), {}, test::Sine(kRate, 2, 997.0, -20.0, 16)), kAppendRow);
    ASSERT_EQ(rows.Count(), 3);
    const RowId first = rows.IdAt(0);
    rows.SortByTitle();
    EXPECT_EQ(rows.IndexOf(first), 2) << "the id moves with its row";
    EXPECT_NE(rows.IdAt(0), rows.IdAt(1));
    for (const StoredRow& row : rows.Rows()) EXPECT_EQ(row.Status, RowStatus::Listed);

    // A stop after the first row: the other two are stopped, not queued or
    // failed, and have no result.
    StopAfterFirst stopped;
    stopped.output = true;
    stopped.soundPath = out.path();
    RunMeasurement(rows, stopped, 1);
    EXPECT_EQ(rows.Rows()[0].Status, RowStatus::Written);
    ASSERT_TRUE(rows.Rows()[0].Last);
    EXPECT_EQ(rows.Rows()[0].Last->Id, rows.IdAt(0));
    EXPECT_EQ(rows.Rows()[1].Status, RowStatus::Stopped);
    EXPECT_EQ(rows.Rows()[2].Status, RowStatus::Stopped);
    EXPECT_FALSE(rows.Rows()[1].Last);
    const std::int64_t firstRun = rows.Rows()[0].LastRun;

    // A measure-only run over what is left after a removal: the results
    // land on the rows they were made from, and the report of a run lists
    // only what that run did.
    const RowId removed = rows.IdAt(1);
    ASSERT_TRUE(rows.Remove(removed));
    EXPECT_EQ(rows.Find(removed), nullptr);
    InOrderRun measured;
    const std::vector<RowResult> results = RunMeasurement(rows, measured, 2);
    ASSERT_EQ(results.size(), 2u);
    for (std::int32_t i = 0; i < rows.Count(); ++i) {
        const StoredRow& row = rows.Rows()[static_cast<size_t>(i)];
        EXPECT_EQ(row.Status, RowStatus::Measured) << i;
        EXPECT_EQ(row.Last->Id, row.Id);
        EXPECT_EQ(row.Last->Row, i);
        EXPECT_GT(row.LastRun, firstRun);
        EXPECT_NE(row.Row.Path.find(row.Row.Title), std::string::npos) << "a row's result names its own file";
    }
    EXPECT_EQ(rows.ResultsOf(firstRun).size(), 0u);
    EXPECT_EQ(rows.ResultsOf(rows.Rows()[0].LastRun).size(), 2u);
}

}  // namespace
}  // namespace sonivate
