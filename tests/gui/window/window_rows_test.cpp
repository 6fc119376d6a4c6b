// What the window knows of each row beyond the file list (WindowRows): kept
// under the row's id, so that it moves with its row through removals and
// sorts. The list is built as the window builds it.
#include <gtest/gtest.h>

#include "controls/widgets/list_icons.h"
#include "controls/widgets/uc_list_view.h"
#include "gui/list_columns.h"
#include "gui/rows/file_list_view.h"
#include "gui/window_rows.h"

namespace sonivate {
namespace {

constexpr double kTarget = -23.0;
constexpr double kNextTarget = -24.0;

class WindowRowsTest : public ::testing::Test {
protected:
    void SetUp() override { ListColumns::SetUp(list, 1.0f); }

    void List(std::int32_t pAt, const std::string& pPath) {
        BatchRow row;
        row.Path = pPath;
        row.Title = pPath;
        listRows.Insert(pAt, row);
    }
    void Remove(std::int32_t pRow) {
        list.UnSelectAll();
        list.SetIsSelected(pRow, 1);
        listRows.RemoveSelected();
        rows.ForgetRemoved();
    }
    static RowResult WrittenCopy(std::int32_t pRow) {
        RowResult result;
        result.Row = pRow;
        result.SourceFound = true;
        result.Measured = true;
        result.LKFS = -16.0;
        result.WriteAttempted = true;
        result.Written = true;
        result.OutputPath = "/out/copy.wav";
        return result;
    }

    UC_ListView list;
    ListViewRows listRows{list.Model()};
    WindowRows rows{list};
};

TEST_F(WindowRowsTest, AMeasurementFollowsItsRowThroughRemovalsAndLeavesWithIt) {
    List(0, "/a.wav");
    List(1, "/b.wav");
    List(2, "/c.wav");
    rows.BeginRun(kTarget);
    rows.Keep(1, WrittenCopy(1));
    ASSERT_NE(rows.Measurement(1), nullptr);
    EXPECT_EQ(rows.Measurement(0), nullptr);

    Remove(0);
    ASSERT_EQ(rows.Path(0), "/b.wav");
    ASSERT_NE(rows.Measurement(0), nullptr);
    EXPECT_EQ(rows.Measurement(0)->OutputPath, "/out/copy.wav");
    EXPECT_EQ(rows.MeasuredTarget(0), kTarget);
    EXPECT_EQ(rows.Measurement(1), nullptr);
    EXPECT_EQ(rows.Measurement(-1), nullptr);
    EXPECT_EQ(rows.Measurement(2), nullptr);

    Remove(0);
    EXPECT_FALSE(rows.AnyMeasured());
    // A file listed again starts without the figures of its earlier row.
    List(0, "/b.wav");
    EXPECT_EQ(rows.Measurement(0), nullptr);
}

TEST_F(WindowRowsTest, AnEarlierRunsMeasurementKeepsItsFiguresButNotItsCopy) {
    List(0, "/a.wav");
    rows.BeginRun(kTarget);
    rows.SetOutcome(0, OutcomeOf(WrittenCopy(0)), OutcomeText(WrittenCopy(0)));
    rows.Keep(0, WrittenCopy(0));
    ASSERT_TRUE(rows.LastRunResult(0).has_value());
    EXPECT_TRUE(rows.LastRunResult(0)->Written);
    EXPECT_EQ(rows.Outcome(0), RowOutcome::Written);
    EXPECT_EQ(list.IconType(0), kListIconDone);

    // A later run that stops before the row: the figures stay, the copy
    // and the target are the earlier run's, and the reason says why.
    rows.BeginRun(kNextTarget);
    rows.ResetOutcomes();
    EXPECT_EQ(list.IconType(0), kFileIcon);
    rows.SetOutcome(0, RowOutcome::Stopped, "stopped");
    std::optional<RowResult> last = rows.LastRunResult(0);
    ASSERT_TRUE(last.has_value());
    EXPECT_TRUE(last->Measured);
    EXPECT_EQ(last->LKFS, -16.0);
    EXPECT_FALSE(last->Written);
    EXPECT_FALSE(last->WriteAttempted);
    EXPECT_TRUE(last->OutputPath.empty());
    EXPECT_EQ(last->Reason, RowReason::Stopped);
    EXPECT_EQ(rows.MeasuredTarget(0), kTarget);
    EXPECT_EQ(rows.RunTarget(), kNextTarget);

    rows.SetOutcome(0, RowOutcome::NotReached, "not reached");
    last = rows.LastRunResult(0);
    ASSERT_TRUE(last.has_value());
    EXPECT_EQ(last->Reason, RowReason::NotReached);
    // The row's own kept measurement is untouched.
    EXPECT_TRUE(rows.Measurement(0)->Written);
}

TEST_F(WindowRowsTest, OutcomesAndMeasurementsFollowTheirRowsThroughASortInNoHiddenCell) {
    List(0, "/c.wav");
    List(1, "/a.wav");
    rows.BeginRun(kTarget);
    rows.Keep(0, WrittenCopy(0));
    rows.SetOutcome(0, RowOutcome::Written, "written c");
    rows.SetOutcome(1, RowOutcome::Failed, "failed a");
    listRows.SortByTitle();
    ASSERT_EQ(rows.Path(0), "/a.wav");
    EXPECT_EQ(rows.Outcome(0), RowOutcome::Failed);
    EXPECT_EQ(rows.OutcomeText(0), "failed a");
    EXPECT_EQ(rows.Measurement(0), nullptr);
    EXPECT_EQ(rows.OutcomeText(1), "written c");
    ASSERT_NE(rows.Measurement(1), nullptr);
    EXPECT_EQ(list.IconType(1), kListIconDone);
    // The rows' hidden values are the file list's own: nothing of a run.
    EXPECT_EQ(list.NumAux(), kFileListAux);
}

TEST_F(WindowRowsTest, MarkerNotesReachOnlyTheRowsListedSinceTheLastLook) {
    rows.NotePending("/a.wav", "start marker missing");
    List(0, "/a.wav");
    rows.NoteNewRows();
    EXPECT_EQ(rows.MarkerNote(0), "start marker missing");
    EXPECT_EQ(list.IconType(0), kListIconMarkerMissing);

    // A note for a file whose row was looked at leaves that row as it is.
    rows.NotePending("/a.wav", "end marker missing");
    List(1, "/b.wav");
    rows.NoteNewRows();
    EXPECT_EQ(rows.MarkerNote(0), "start marker missing");
    EXPECT_EQ(rows.MarkerNote(1), "");
    EXPECT_EQ(list.IconType(1), kFileIcon);

    // An outcome cleared shows the missing marker again, not a plain file.
    rows.SetOutcome(0, RowOutcome::Skipped, "skipped");
    EXPECT_EQ(list.IconType(0), kListIconSkipped);
    rows.SetOutcome(0, RowOutcome::None, "");
    EXPECT_EQ(list.IconType(0), kListIconMarkerMissing);
}

}  // namespace
}  // namespace sonivate
