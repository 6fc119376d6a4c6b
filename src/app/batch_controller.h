#pragma once
// BatchController: the one driver of a batch run, for every face. The
// window's start, stop and close, and every intake that would renumber the
// rows, go through it; the command line and the watch folder drive it the
// same way.
//
// A run: the rows' work (source, range) is read once when it starts, and
// from then on a row is known by its id (BatchRows::IdAt), never by its
// place. The rows are started in list order, up to pJobs at once (1: one
// file at a time, the window's run). Rows whose files could touch each other
// are never in flight together (detail::ConflictGroups): a row waits for the
// earlier rows of its group. For each row the controller makes it the
// current row, reads its work (RowWork) and the output choices, and hands
// ProcessRow to the executor; the row's figures are applied to the rows as
// soon as it is measured, while its copy is still being written. Results
// reach the host (RowApplied, Results) in list order, whatever order the
// workers finish in. The target is read once, when the run starts; the
// output switch, folder and clip avoidance are read again for every row.
// With more than one job the rows' own status texts and progress are not
// passed on: the host's progress is the share of rows done.
//
// Threading contract
// - The owner thread is the thread that owns the list and the host (the
//   window thread). Every BatchController method is called on it, and every
//   RunHost callback the controller makes (status, progress, row selected,
//   row applied, run finished, error, close ready) runs on it.
// - The per-row work runs where the executor puts it. It never touches the
//   list or the host's widgets: status texts and progress reach the host as
//   values posted back through RunExecutor::Post. Only
//   RunHost::StopRequested is read from the work's thread.
// - Work that runs on a worker thread gets a pump without events (the
//   meter's and writer's pauses and the rename back-off then sleep or skip);
//   only work that runs on the owner thread (InlineExecutor) pumps the
//   host's RunPump(), and then through a guard: an exception thrown by some
//   other handler inside that pump never reaches the meter or the writer
//   (where it would read as a failed measurement or copy). The controller
//   takes it over at its boundary after the current row.
//
// Error boundary
// - Nothing the controller runs ever lets an exception unwind into the
//   caller's event loop. An unexpected error of a run ends the run at that
//   point and the end-of-run steps still follow: the list unlocked, the
//   status display's idle colours, progress 0, "finished" and the pointer
//   back (RunFinished).
// - With ErrorCatch() == 0 that is all: the operator sees nothing, and an
//   error of some other handler caught inside the pump is dropped as that
//   handler's own trap would drop it; the run goes on.
// - With ErrorCatch() != 0 (diagnosis) the error's text goes to
//   RunHost::RunError (the window shows it in a message box) and the
//   exception is kept in Failure(), so that a caller without an event loop
//   (the CLI) can rethrow it.
//
// Lifetime: the list, the host and the executor must outlive the controller.
// Destroy the controller only when CanClose() is true; tasks it posted that
// arrive after its destruction do nothing.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/batch_rows.h"
#include "app/file_list.h"
#include "app/measurement_run.h"
#include "platform/event_pump.h"

namespace sonivate {

// Where the per-row work runs and how results come back to the owner.
class RunExecutor {
public:
    virtual ~RunExecutor() = default;
    // Runs pWork once. A worker runs the works one at a time in the order
    // they were given. pWork never throws.
    virtual void Execute(std::function<void()> pWork) = 0;
    // Runs pTask on the owner thread, after every task posted before it.
    // Called from the work's thread (or, inline, from the owner itself).
    virtual void Post(std::function<void()> pTask) = 0;
    // True when Execute runs pWork at once on the owner thread, and Post
    // runs pTask at once too.
    virtual bool OnOwnerThread() const = 0;
};

// Everything at once on the calling thread: the CLI, and a window that runs
// the batch inside its click handler.
class InlineExecutor final : public RunExecutor {
public:
    void Execute(std::function<void()> pWork) override { pWork(); }
    void Post(std::function<void()> pTask) override { pTask(); }
    bool OnOwnerThread() const override { return true; }
};

// Worker threads (one for the window). Post hands each task to pPostToOwner,
// which must queue it for the owner thread's event loop and return at once;
// with Qt: [window](auto pTask) { QMetaObject::invokeMethod(window,
// std::move(pTask), Qt::QueuedConnection); } (a context object also drops
// tasks that arrive after the window is gone).
class ThreadExecutor final : public RunExecutor {
public:
    using PostToOwner = std::function<void(std::function<void()>)>;
    // pWorkers threads take the works in the order they were given.
    explicit ThreadExecutor(PostToOwner pPostToOwner, std::int32_t pWorkers = 1);
    // Finishes the work in hand (a stopped run ends at its next progress
    // event), drops works not yet started and joins the worker.
    ~ThreadExecutor() override;
    ThreadExecutor(const ThreadExecutor&) = delete;
    ThreadExecutor& operator=(const ThreadExecutor&) = delete;

    void Execute(std::function<void()> pWork) override;
    void Post(std::function<void()> pTask) override;
    bool OnOwnerThread() const override { return false; }

private:
    void Loop();

    PostToOwner mPostToOwner;
    std::mutex mMutex;
    std::condition_variable mWake;
    std::deque<std::function<void()>> mWorks;
    bool mQuit = false;
    std::vector<std::thread> mWorkers;
};

// The owner thread's queue for a program without an event loop (the
// command line, the watch folder): workers Post, the owner runs the tasks.
class TaskQueue {
public:
    void Post(std::function<void()> pTask);
    // Runs posted tasks, in order, until pDone() holds (checked before each
    // wait and after each task).
    void RunUntil(const std::function<bool()>& pDone);

private:
    std::mutex mMutex;
    std::condition_variable mWake;
    std::deque<std::function<void()>> mTasks;
};

// A run's state. Stopping: a stop was requested and the file in progress has
// not ended yet.
enum class RunState { Idle, Running, Stopping };

class BatchController {
public:
    // pJobs: rows in flight at once, 1 to the executor's workers; an
    // executor on the owner thread always runs one.
    BatchController(BatchRows& pRows, RunHost& pHost, RunExecutor& pExecutor, std::int32_t pJobs = 1);
    ~BatchController();
    BatchController(const BatchController&) = delete;
    BatchController& operator=(const BatchController&) = delete;

    // ---- Commands ---------------------------------------------------------
    // The start button. Ignored unless idle (a second run over the same list
    // inside the first is never useful). Nothing at all on an empty list.
    // Clears the stop request, reads the target (a text that is no number
    // goes straight to the end-of-run steps), locks the list (ClickDisabled)
    // and starts the first row. Inline: returns when the run has ended.
    // Worker: returns at once; the run goes on through posted tasks.
    void Start();
    // The same over only the rows pOnly names, in list order (the selected
    // rows, or those not measured yet): the others keep their status and
    // last result. Every listed row still counts as a source of the run, so
    // no copy of the subset replaces one. Nothing when none is listed.
    void Start(const std::vector<RowId>& pOnly);
    // The rows the current (or last) run takes, for "[n/N]".
    std::int32_t RunRowCount() const { return c_Count; }
    // The stop button: StopRequested becomes true (also when idle; the next
    // Start clears it). The file in progress stops at its next progress
    // event and its partial copy is deleted; no further row starts.
    void Stop();
    // The window wants to close. True: close now (idle). False: a run is in
    // progress; it is stopped, and RunHost::CloseReady follows once the file
    // in progress has ended and the end-of-run steps are done.
    bool RequestClose();

    // ---- State --------------------------------------------------------------
    RunState State() const;
    bool Running() const { return c_Running; }
    // False while a run is in progress.
    bool CanClose() const { return !c_Running; }
    bool StopRequested() const;
    bool ClosePending() const { return c_ClosePending; }
    // The row being processed (its index in the list); -1 when idle.
    std::int32_t CurrentRow() const { return c_CurrentRow; }
    // The number of the last run started (0: none yet); RowResults reach
    // BatchRows::Finished with it.
    std::int64_t RunNumber() const { return c_RunNumber; }

    // ---- Intake that renumbers rows: refused while a run is in progress -----
    // A row's result is applied by its row number, so a drop, a removal or a
    // drag out during a run would put one file's figures and gain on another
    // row. Each returns false, changing nothing, when refused.
    bool IntakeAllowed() const { return !c_Running; }
    // Files dropped at pRow (see AddDroppedFiles).
    bool DropFiles(IntakeHost& pIntake, const std::vector<std::string>& pFiles, std::int32_t pRow);
    // The list's double-click: removes every selected row.
    bool RemoveSelected();
    // A drag of the selected rows out of the list starts: pFiles gets their
    // paths (list order) and the rows leave the list. When refused, pFiles
    // is empty.
    bool StartDrag(std::vector<std::string>& pFiles);
    void StartRows(const std::vector<RowId>* pOnly);

    // ---- The last run ---------------------------------------------------------
    // The outcome of every row processed, in row order (rows after a stop or
    // an error are absent).
    const std::vector<RowResult>& Results() const { return c_Results; }
    // The error that ended the last run while errors are let through
    // (ErrorCatch() != 0); null otherwise.
    std::exception_ptr Failure() const { return c_Failure; }

private:
    struct Shared;
    class WorkProgress;

    void Advance();
    bool RowMayStart() const;
    void BeginRow();
    void ApplyMeasured(const RowResult& pResult);
    // pRow: the row's place in the run's order (c_Works).
    void RowDone(std::int32_t pRow, RowResult pResult);
    void RowFailed(std::int32_t pRow, std::exception_ptr pError);
    // A row whose outcome was lost on its way back ends with pReason.
    void RowLost(std::int32_t pRow, RowReason pReason, const std::string& pText);
    void RowEnded(std::int32_t pRow);
    void ReportInOrder();
    void Fail(std::exception_ptr pError);
    void TakePumpFailure();
    void Finish();
    // Runs pStep; an exception ends the run (Fail). False when it threw.
    bool Guarded(const std::function<void()>& pStep);
    // For the intake while idle: an exception is reported (ErrorCatch() != 0)
    // or dropped, never passed on. True.
    bool IdleGuarded(const std::function<void()>& pStep);

    BatchRows& c_List;
    RunHost& c_Host;
    RunExecutor& c_Executor;
    std::int32_t c_Jobs = 1;
    std::shared_ptr<Shared> c_Shared;
    platform::GuardedPump c_OwnerPump;

    bool c_Running = false;
    bool c_ClosePending = false;
    bool c_Ending = false;        // an error ends the run once no row is in flight
    std::int32_t c_InFlight = 0;  // rows whose work has not reported back yet
    bool c_Advancing = false;
    double c_Target = 0.0;
    std::int32_t c_Count = 0;
    // The rows' work, read once when the run started, in run order; a row
    // is known by its id from then on.
    std::vector<RowWork> c_Works;
    // The number the rows gave the last run started (BatchRows::BeginRun).
    std::int64_t c_RunNumber = 0;
    std::int32_t c_NextRow = 0;
    std::int32_t c_CurrentRow = -1;
    std::int32_t c_Done = 0;
    // Per row: its conflict group, and whether it is in flight; results of
    // rows that finished before an earlier row, until that one reports.
    std::vector<std::int32_t> c_Groups;
    std::vector<char> c_Busy;
    std::map<std::int32_t, RowResult> c_Waiting;
    std::int32_t c_NextToReport = 0;
    std::vector<RowResult> c_Results;
    std::exception_ptr c_Failure;
};

// The text of an exception for the operator: what() of a std::exception,
// otherwise a fixed text.
std::string ErrorText(const std::exception_ptr& pError);

}  // namespace sonivate
