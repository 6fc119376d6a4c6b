#pragma once
// The window's side of a run: what BatchController reads (the choices) and
// shows (the status line with the run's position and the time left, the
// progress bar, each row's outcome and icon, the counts at the end), and the
// rows' tooltips (outcome, missing markers, verdict, name and path). The
// controller calls it on the window's thread only.

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "app/batch_controller.h"
#include "app/measurement_run.h"
#include "gui/window_rows.h"

class QWidget;

namespace sonivate {

class ListColumns;
class UC_Bar;
class UC_ListView;
class UC_TextPicture;
class WindowChoices;

// What the run tells the window beyond its own controls.
class RunWatcher {
public:
    virtual ~RunWatcher() = default;
    virtual void StatusTold(const std::string& pText) = 0;
    virtual void ProgressTold(std::int32_t pValue) = 0;
    // Row pRow has its outcome pResult (after its cells and icon).
    virtual void RowDone(std::int32_t pRow, const RowResult& pResult) = 0;
    // The run has ended (its end-of-run steps still to come).
    virtual void RunOver() = 0;
    // A close requested during the run may go ahead now.
    virtual void CloseReady() = 0;
};

class WindowRun final : public RunHost {
public:
    // pOwner: the window (its pointer, the message boxes); pClock: seconds
    // of a steady clock for the time left.
    WindowRun(UC_TextPicture& pStatus, UC_Bar& pBar, UC_ListView& pList, WindowRows& pRows, WindowChoices& pChoices,
              const ListColumns& pColumns, RunWatcher& pWatcher, std::function<double()> pClock, QWidget* pOwner);
    WindowRun(const WindowRun&) = delete;
    WindowRun& operator=(const WindowRun&) = delete;

    // The controller the run is driven by (made with this host).
    void Attach(BatchController& pController) { mController = &pController; }

    // 開始: a run of the listed rows once the target and the output folder
    // are ready; nothing during a run or on an empty list. 中止: the run
    // stops at its next progress event.
    void Start();
    // A run of only the rows pRows (list indices), known to the run by
    // their ids pIds: the other rows keep their outcomes and figures.
    void StartOnly(const std::vector<std::int32_t>& pRows, const std::vector<RowId>& pIds);
    void Stop();

    // The last status text shown; a text shown before any run without
    // telling the watcher (the start-up's).
    const std::string& StatusText() const { return mStatus; }
    void ShowQuietStatus(const std::string& pText);
    // The tooltip of row pRow at column pColumn.
    std::string RowToolTip(std::int32_t pRow, std::int32_t pColumn) const;

    // ---- RunHost ------------------------------------------------------------------
    void ShowStatus(const std::string& pText) override;
    void SetProgress(std::int32_t pValue) override;
    std::string TargetLKFSText() const override;
    bool WavOutput() const override;
    std::string SoundPath() const override;
    bool NoClip() const override;
    // Clip avoidance's action as the list's menu chose it (Write with clip
    // avoidance off); the ceiling is the delivery profile's true-peak
    // maximum, else the usual -1 dBTP; the tolerance from the menu.
    ClipAction OnClip() const override;
    double CeilingDBTP() const override;
    double ToleranceLU() const override;
    void ClearStopRequest() override {}
    // The true peak counts in the clip test, and the details and the
    // report draw the loudness over time: the window always takes both.
    bool BroadcastExtras() const override { return true; }
    bool KeepSeries() const override { return true; }
    BextLoudnessMode BextLoudness() const override;
    bool StopRequested() const override { return false; }  // the controller keeps the stop button's request
    void RunStarting() override;
    void RunColours(bool pRunning) override;
    // The list repaints itself from the model's change notices, once per
    // pass of the event loop however many rows changed.
    void ListChanged() override {}
    void RunFinished() override;
    void RowSelected(std::int32_t pRow) override;
    void RowApplied(const RowResult& pResult) override;
    void RunError(const std::string& pText) override;
    void CloseReady() override;

private:
    // "[3/60] ": the row in progress and the rows of the run.
    std::string RunPosition() const;
    bool Running() const;

    UC_TextPicture& mStatusLine;
    UC_Bar& mBar;
    UC_ListView& mList;
    WindowRows& mRows;
    WindowChoices& mChoices;
    const ListColumns& mColumns;
    RunWatcher& mWatcher;
    std::function<double()> mClock;
    QWidget* mOwner;
    BatchController* mController = nullptr;

    std::string mStatus;
    // The run's counts and times (clock seconds).
    std::int32_t mRunRows = 0;
    std::int32_t mRunRow = -1;  // the position of the row in progress in the run
    // The rows (list indices) of a run of some rows; empty: every row.
    std::vector<std::int32_t> mOnlyRows;
    std::int32_t mRowsDone = 0;
    double mRunStart = 0.0;
    double mRowStart = 0.0;
    std::map<RowOutcome, std::int32_t> mCounts;
};

}  // namespace sonivate
