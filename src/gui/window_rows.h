#pragma once
// What the window knows of each row beyond the file list's own cells: what
// the last run made of it (an outcome and its text), the notes of the range
// markers its file lacks, and the measurement the last run to measure it
// left, with the target and the run it was made for. Kept here under the
// row's id, which the row carries through sorts, drags and removals; the
// list's cells hold only what the operator sees and the row's identity.
// The one place the window's rooms read a row's state from: the run writes
// outcomes and measurements, the tooltips, columns, details and report read
// them, each by the row's place in the list as it is shown.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>

#include "app/measurement_run.h"
#include "app/row_reason.h"
#include "gui/rows/file_list_view.h"

namespace sonivate {

class UC_ListView;

// What a row's last run made of it, for its icon, its tooltip and the counts.
enum class RowOutcome { None, Written, MeasuredOnly, Skipped, Failed, Stopped, NotReached };

// The outcome a run's result makes of its row, and its text in the window's
// language; a reason in the window's language with the cause of a failed write.
RowOutcome OutcomeOf(const RowResult& pResult);
std::string OutcomeText(const RowResult& pResult);
std::string WindowReasonText(RowReason pReason, int pError);
// What was done to the copy beyond the plain gain, in the window's
// language: the action clip avoidance took with the applied gain (and the
// limiter's figures), a file left as it is within the tolerance, or the
// reduction a refused limiter would have needed; "" when nothing was.
std::string ActionNote(const RowResult& pResult);
// Why a row is marked for clipping: the copy's true peak (or, unmeasured,
// its sample peak) at the gain as shown; "" for a row not marked.
std::string ClipNote(const RowResult& pResult);

// The window's rows as the batch core sees them: the list's cells through
// ListViewRows, and the driver's word on each row (its status) kept here by
// id with the rest of the row's state.
class WindowRows final : public BatchRows {
public:
    explicit WindowRows(UC_ListView& pList);
    WindowRows(const WindowRows&) = delete;
    WindowRows& operator=(const WindowRows&) = delete;

    // ---- BatchRows ----------------------------------------------------------------
    std::int32_t Count() const override;
    BatchRow Row(std::int32_t pIndex) const override { return mCells.Row(pIndex); }
    RowId IdAt(std::int32_t pIndex) const override { return mCells.IdAt(pIndex); }
    std::int32_t IndexOf(RowId pId) const override { return mCells.IndexOf(pId); }
    void Insert(std::int32_t pIndex, const BatchRow& pRow) override { mCells.Insert(pIndex, pRow); }
    void SortByTitle() override { mCells.SortByTitle(); }
    void ApplyMeasurement(const RowResult& pResult) override { mCells.ApplyMeasurement(pResult); }
    void SetStatus(RowId pId, RowStatus pStatus) override;
    void ShowCurrent(std::int32_t pIndex) override { mCells.ShowCurrent(pIndex); }
    void SetLocked(bool pLocked) override { mCells.SetLocked(pLocked); }
    std::vector<std::string> SelectedPaths() const override { return mCells.SelectedPaths(); }
    void RemoveSelected() override { mCells.RemoveSelected(); }

    // The status the last run left the row in (Listed before any run).
    RowStatus Status(std::int32_t pRow) const;
    // The path the row was listed with.
    std::string Path(std::int32_t pRow) const;

    // ---- Outcomes of the last run ------------------------------------------------
    RowOutcome Outcome(std::int32_t pRow) const;
    std::string OutcomeText(std::int32_t pRow) const;
    // The action note of the last run's result of the row, and the clip
    // note of its last measurement ("" none).
    std::string ActionNote(std::int32_t pRow) const;
    std::string ClipNote(std::int32_t pRow) const;
    // The outcome with its notes, one a line, as the tooltip and the
    // details give it.
    std::string FullOutcomeText(std::int32_t pRow) const;
    // The outcome, its text and the row's icon (a row with no outcome shows
    // its missing marker, if any).
    void SetOutcome(std::int32_t pRow, RowOutcome pOutcome, const std::string& pText);
    void ResetOutcomes();

    // ---- Missing markers -----------------------------------------------------------
    // The note for the file pPath, waiting for its row ("" nothing missing).
    void NotePending(const std::string& pPath, const std::string& pNote);
    // Rows new since the last call get the notes of the markers their files lack.
    void NoteNewRows();
    std::string MarkerNote(std::int32_t pRow) const;

    // ---- Measurements -------------------------------------------------------------------
    // A run starts: its number goes up, and its target (LKFS) is what its
    // measurements are made for.
    void BeginRun(double pTargetLKFS);
    std::int64_t RunNumber() const { return mRunNumber; }
    double RunTarget() const { return mRunTarget; }
    // Keeps pResult as the row's measurement of this run and returns it.
    const RowResult& Keep(std::int32_t pRow, const RowResult& pResult);
    // What the last run to measure row pRow measured (null when nothing).
    const RowResult* Measurement(std::int32_t pRow) const;
    // The row's measurement as the last run left it: an earlier run's
    // figures with this run's outcome of the row.
    std::optional<RowResult> LastRunResult(std::int32_t pRow) const;
    // True when the row's measurement is the last run's own (its result
    // as the run gave it, copy included).
    bool MeasuredInLastRun(std::int32_t pRow) const;
    // The target the row's measurement was made for (only with a measurement).
    double MeasuredTarget(std::int32_t pRow) const;
    bool AnyMeasured() const;
    // What is known of rows no longer listed is dropped.
    void ForgetRemoved();

private:
    struct KeptMeasurement {
        RowResult Result;
        double TargetLKFS = 0.0;
        std::int64_t Run = 0;  // the run that measured it (mRunNumber then)
    };
    // What the window knows of one row.
    struct RowState {
        RowStatus Status = RowStatus::Listed;
        RowOutcome Outcome = RowOutcome::None;
        std::string OutcomeText;
        // The markers its file lacks ("" none); unset until the row was looked at.
        std::optional<std::string> MarkerNote;
        std::optional<KeptMeasurement> Measured;
    };
    // The state of row pRow (null: nothing known, or no such row), and the
    // state to write for it (made when first needed).
    const RowState* StateOf(std::int32_t pRow) const;
    RowState& StateFor(std::int32_t pRow);
    const KeptMeasurement* Kept(std::int32_t pRow) const;

    UC_ListView& mList;
    // The list's cells, and the rows' ids read from (or given to) them.
    ListViewRows mCells;
    std::unordered_map<RowId, RowState> mStates;
    // Notes of missing markers by path, waiting for their rows.
    std::map<std::string, std::string> mPendingNotes;
    // Runs started so far: a kept measurement of an earlier run still gives
    // its figures, but no outcome of the last run (no copy, no copy verdict).
    std::int64_t mRunNumber = 0;
    double mRunTarget = 0.0;
};

}  // namespace sonivate
