#include "app/batch_controller.h"

#include "app/output_copy.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

#include "app/delivery_profile.h"
#include "app/measurement_run_detail.h"
#include "common/decimal_text.h"
#include "common/error_trap.h"

namespace sonivate {

namespace {
constexpr const char* kUnknownErrorText = "unknown error";
// Tries at handing back a row whose outcome could not be posted.
constexpr std::int32_t kLostRowReportAttempts = 3;

bool IsOutOfMemory(const std::exception_ptr& pError) {
    try {
        std::rethrow_exception(pError);
    } catch (const std::bad_alloc&) {
        return true;
    } catch (...) {
        return false;
    }
}
}  // namespace

std::string ErrorText(const std::exception_ptr& pError) {
    if (!pError) return {};
    try {
        std::rethrow_exception(pError);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return kUnknownErrorText;
    }
}

// ---- ThreadExecutor -------------------------------------------------------------

ThreadExecutor::ThreadExecutor(PostToOwner pPostToOwner, std::int32_t pWorkers)
    : mPostToOwner(std::move(pPostToOwner)) {
    for (std::int32_t w = 0; w < std::max<std::int32_t>(pWorkers, 1); ++w) mWorkers.emplace_back([this] { Loop(); });
}

ThreadExecutor::~ThreadExecutor() {
    {
        std::lock_guard lock(mMutex);
        mQuit = true;
        mWorks.clear();
    }
    mWake.notify_all();
    for (std::thread& worker : mWorkers) worker.join();
}

void ThreadExecutor::Execute(std::function<void()> pWork) {
    {
        std::lock_guard lock(mMutex);
        mWorks.push_back(std::move(pWork));
    }
    mWake.notify_one();
}

void ThreadExecutor::Post(std::function<void()> pTask) { mPostToOwner(std::move(pTask)); }

void ThreadExecutor::Loop() {
    for (;;) {
        std::function<void()> work;
        {
            std::unique_lock lock(mMutex);
            mWake.wait(lock, [this] { return mQuit || !mWorks.empty(); });
            if (mQuit) return;
            work = std::move(mWorks.front());
            mWorks.pop_front();
        }
        // The controller's works catch everything themselves; anything else
        // must not end the process from a worker.
        try {
            work();
        } catch (...) {
        }
    }
}

// ---- TaskQueue --------------------------------------------------------------------

void TaskQueue::Post(std::function<void()> pTask) {
    {
        std::lock_guard lock(mMutex);
        mTasks.push_back(std::move(pTask));
    }
    mWake.notify_one();
}

void TaskQueue::RunUntil(const std::function<bool()>& pDone) {
    while (!pDone()) {
        std::function<void()> task;
        {
            std::unique_lock lock(mMutex);
            mWake.wait(lock, [this] { return !mTasks.empty(); });
            task = std::move(mTasks.front());
            mTasks.pop_front();
        }
        task();
    }
}

// ---- What the controller shares with the work it hands out ----------------------

struct BatchController::Shared {
    // The operator's stop request.
    std::atomic<bool> Stop{false};
    // An error ended the run: the file in progress ends at its next progress event.
    std::atomic<bool> Abort{false};
    // Tasks posted back check this on the owner thread; null once the
    // controller is gone.
    BatchController* Owner = nullptr;
    // The copies this run has published; a new one for every run.
    std::shared_ptr<RunOutputs> Outputs = std::make_shared<RunOutputs>();
    // The sources listed when the run started.
    std::shared_ptr<const RunSources> Sources;
    // Where the run's copies go, decided when it started.
    std::shared_ptr<const OutputTarget> Output;
};

// The progress host of one row's work, on the work's thread: texts and
// progress go back to the owner as values.
class BatchController::WorkProgress final : public ProgressHost {
public:
    // pQuiet: several rows at once, whose own texts and progress mean
    // nothing to the operator.
    WorkProgress(std::shared_ptr<Shared> pShared, RunHost& pHost, RunExecutor& pExecutor, platform::EventPump& pPump,
                 bool pQuiet)
        : mShared(std::move(pShared)), mHost(pHost), mExecutor(pExecutor), mPump(pPump), mQuiet(pQuiet) {}

    void ShowStatus(const std::string& pText) override {
        if (!mQuiet) PostToHost([pText](RunHost& pHost) { pHost.ShowStatus(pText); });
    }
    void SetProgress(std::int32_t pValue) override {
        if (!mQuiet) PostToHost([pValue](RunHost& pHost) { pHost.SetProgress(pValue); });
    }
    bool StopRequested() const override {
        return mShared->Stop.load() || mShared->Abort.load() || mHost.StopRequested();
    }
    platform::EventPump& RunPump() override { return mPump; }

private:
    void PostToHost(std::function<void(RunHost&)> pCall) {
        mExecutor.Post([shared = mShared, &host = mHost, call = std::move(pCall)] {
            if (shared->Owner != nullptr) shared->Owner->Guarded([&] { call(host); });
        });
    }

    std::shared_ptr<Shared> mShared;
    RunHost& mHost;
    RunExecutor& mExecutor;
    platform::EventPump& mPump;
    bool mQuiet;
};

// ---- BatchController --------------------------------------------------------------

BatchController::BatchController(BatchRows& pRows, RunHost& pHost, RunExecutor& pExecutor, std::int32_t pJobs)
    : c_List(pRows),
      c_Host(pHost),
      c_Executor(pExecutor),
      c_Jobs(pExecutor.OnOwnerThread() ? 1 : std::max<std::int32_t>(pJobs, 1)),
      c_Shared(std::make_shared<Shared>()),
      c_OwnerPump(pHost.RunPump()) {
    c_Shared->Owner = this;
}

BatchController::~BatchController() {
    c_Shared->Owner = nullptr;
    c_Shared->Abort = true;
}

RunState BatchController::State() const {
    if (!c_Running) return RunState::Idle;
    return StopRequested() || c_Ending ? RunState::Stopping : RunState::Running;
}

bool BatchController::StopRequested() const { return c_Shared->Stop.load() || c_Host.StopRequested(); }

void BatchController::Start() { StartRows(nullptr); }

void BatchController::Start(const std::vector<RowId>& pOnly) { StartRows(&pOnly); }

void BatchController::StartRows(const std::vector<RowId>* pOnly) {
    if (c_Running || c_List.Count() < 1) return;
    // A set: "the rows not measured yet" may be most of a long list.
    const std::unordered_set<RowId> only =
        pOnly != nullptr ? std::unordered_set<RowId>(pOnly->begin(), pOnly->end()) : std::unordered_set<RowId>();
    const auto taken = [&](RowId pId) { return pOnly == nullptr || only.count(pId) != 0; };
    if (pOnly != nullptr) {
        bool any = false;
        for (const RowId id : *pOnly) any = any || c_List.IndexOf(id) >= 0;
        if (!any) return;
    }
    c_Running = true;
    c_Ending = false;
    c_InFlight = 0;
    c_Failure = nullptr;
    c_Results.clear();
    c_Waiting.clear();
    c_Groups.clear();
    c_Busy.clear();
    c_Count = 0;
    c_Works.clear();
    c_NextRow = 0;
    c_NextToReport = 0;
    c_Done = 0;
    c_Shared->Abort = false;
    c_Shared->Outputs = std::make_shared<RunOutputs>();
    Guarded([&] {
        c_Host.RunStarting();
        c_Shared->Stop = false;
        c_Host.ClearStopRequest();
        const std::optional<double> target = ParseDecimal(c_Host.TargetLKFSText());
        // A target that is no number, or none a programme can be brought
        // to: no row is measured.
        if (!target || !TargetLKFSAllowed(*target)) return;
        c_Target = *target;
        c_Host.RunColours(true);
        c_List.SetLocked(true);
        // The count is taken once: the list cannot grow or shrink during the run.
        const std::int32_t count = c_List.Count();
        std::vector<RowWork> works;
        auto sources = std::make_shared<RunSources>();
        for (std::int32_t row = 0; row < count; ++row) {
            RowWork work = detail::ReadRowWork(c_List, row);
            sources->Add(work.Source);
            if (taken(work.Id)) works.push_back(std::move(work));
        }
        c_Shared->Sources = std::move(sources);
        c_RunNumber = c_List.BeginRun();
        for (const RowWork& work : works) c_List.SetStatus(work.Id, RowStatus::Queued);
        // Decided once: a folder removed or replaced later fails the rows
        // that remain, it never sends them elsewhere.
        c_Shared->Output = c_Host.DecideOutput();
        c_Groups = c_Jobs > 1 ? detail::ConflictGroups(works, detail::ReadChoices(c_Host, c_Target, c_Shared->Output))
                              : std::vector<std::int32_t>(works.size(), 0);
        c_Busy.assign(works.size(), 0);
        c_Count = static_cast<std::int32_t>(works.size());
        c_Works = std::move(works);
    });
    Advance();
}

void BatchController::Stop() { c_Shared->Stop = true; }

bool BatchController::RequestClose() {
    if (!c_Running) return true;
    c_ClosePending = true;
    Stop();
    return false;
}

// Starts rows until one is in flight on a worker or the run is over. Inline
// work finishes inside BeginRow, so the loop goes on; a worker's result
// comes back as a posted task that calls Advance again. The flag keeps
// those calls from nesting.
void BatchController::Advance() {
    if (c_Advancing) return;
    c_Advancing = true;
    while (c_Running) {
        if (c_Ending || c_NextRow >= c_Count) {
            if (c_InFlight == 0) Finish();
            break;
        }
        if (!RowMayStart()) break;
        BeginRow();
    }
    c_Advancing = false;
}

// A free job, and no earlier row of the next row's group still in flight.
bool BatchController::RowMayStart() const {
    if (c_InFlight >= c_Jobs) return false;
    const std::int32_t group = c_Groups[static_cast<size_t>(c_NextRow)];
    for (std::int32_t row = group; row < c_NextRow; ++row)
        if (c_Busy[static_cast<size_t>(row)] != 0 && c_Groups[static_cast<size_t>(row)] == group) return false;
    return true;
}

void BatchController::BeginRow() {
    const std::int32_t row = c_NextRow++;
    // The row's place in the list now; the run knows it by its id.
    const RowId id = c_Works[static_cast<size_t>(row)].Id;
    const std::int32_t index = c_List.IndexOf(id);
    c_CurrentRow = index;
    if (!Guarded([&] {
            c_List.SetStatus(id, RowStatus::Running);
            c_List.ShowCurrent(index);
            c_Host.ListChanged();
            c_Host.RowSelected(index);
        }))
        return;
    // Inline, the window gets its moment here, as between any two rows (a
    // worker's owner runs its event loop between the posted tasks anyway).
    if (c_Executor.OnOwnerThread()) {
        c_OwnerPump.ProcessEvents();
        TakePumpFailure();
        if (c_Ending) return;
    }

    RowWork work;
    RunChoices choices;
    if (!Guarded([&] {
            work = c_Works[static_cast<size_t>(row)];
            work.Row = index;
            choices = detail::ReadChoices(c_Host, c_Target, c_Shared->Output);
            choices.Sources = c_Shared->Sources;
        }))
        return;

    platform::EventPump& pump =
        c_Executor.OnOwnerThread() ? static_cast<platform::EventPump&>(c_OwnerPump) : platform::HeadlessPump();
    ++c_InFlight;
    c_Busy[static_cast<size_t>(row)] = 1;
    c_Executor.Execute([shared = c_Shared, outputs = c_Shared->Outputs, work = std::move(work), choices, &host = c_Host,
                        &executor = c_Executor, &pump, quiet = c_Jobs > 1, row] {
        WorkProgress progress(shared, host, executor, pump, quiet);
        RowResult result;
        std::exception_ptr error;
        try {
            result = ProcessRow(
                work, choices, progress,
                [&](const RowResult& pMeasured) {
                    executor.Post([shared, measured = pMeasured] {
                        if (shared->Owner != nullptr) shared->Owner->ApplyMeasured(measured);
                    });
                },
                outputs.get());
        } catch (...) {
            error = std::current_exception();
        }
        std::exception_ptr lost;
        try {
            executor.Post([shared, error, row, result = std::move(result)]() mutable {
                if (shared->Owner == nullptr) return;
                if (error)
                    shared->Owner->RowFailed(row, error);
                else
                    shared->Owner->RowDone(row, std::move(result));
            });
            return;
        } catch (...) {
            lost = std::current_exception();
        }
        // The row's outcome could not be handed back (no memory for the
        // task, say): the owner still has to hear of the row, or the run
        // would never end. A bare report, tried a few times.
        const RowReason reason = IsOutOfMemory(lost) ? RowReason::OutOfMemory : RowReason::InternalError;
        const std::string text = ErrorText(lost);
        for (std::int32_t attempt = 0; attempt < kLostRowReportAttempts; ++attempt) {
            try {
                executor.Post([shared, row, reason, text] {
                    if (shared->Owner != nullptr) shared->Owner->RowLost(row, reason, text);
                });
                return;
            } catch (...) {
            }
        }
    });
}

void BatchController::RowLost(std::int32_t pRow, RowReason pReason, const std::string& pText) {
    RowResult result;
    result.Id = c_Works[static_cast<size_t>(pRow)].Id;
    result.Row = pRow;
    result.SourceFound = true;
    result.Reason = pReason;
    result.ErrorText = pText;
    RowDone(pRow, std::move(result));
}

void BatchController::ApplyMeasured(const RowResult& pResult) {
    Guarded([&] {
        // By id: figures never land on another file's row, and a row that
        // has left the list takes none.
        if (c_List.IndexOf(pResult.Id) < 0) return;
        c_List.ApplyMeasurement(pResult);
        c_Host.ListChanged();
    });
}

void BatchController::RowDone(std::int32_t pRow, RowResult pResult) {
    const std::int32_t row = pRow;
    c_Waiting.emplace(row, std::move(pResult));
    RowEnded(row);
    ReportInOrder();
    if (c_Jobs > 1)
        Guarded([&] {
            c_Host.SetProgress(static_cast<std::int32_t>(static_cast<std::int64_t>(c_Done) * kProgressScale / c_Count));
        });
    TakePumpFailure();
    // The stop is seen after the file in progress, as the operator expects.
    if (StopRequested()) c_NextRow = c_Count;
    Advance();
}

void BatchController::RowFailed(std::int32_t pRow, std::exception_ptr pError) {
    RowEnded(pRow);
    // Its work ended by an error that ends the run: it has no result.
    Guarded([&] { c_List.SetStatus(c_Works[static_cast<size_t>(pRow)].Id, RowStatus::Stopped); });
    Fail(std::move(pError));
    Advance();
}

void BatchController::RowEnded(std::int32_t pRow) {
    --c_InFlight;
    ++c_Done;
    if (pRow >= 0 && pRow < static_cast<std::int32_t>(c_Busy.size())) c_Busy[static_cast<size_t>(pRow)] = 0;
}

// Rows are started in list order, so every row before c_NextRow reports in
// the end; a row that failed reports nothing and is passed over.
void BatchController::ReportInOrder() {
    while (c_NextToReport < c_NextRow) {
        const auto waiting = c_Waiting.find(c_NextToReport);
        if (waiting == c_Waiting.end()) {
            if (c_Busy[static_cast<size_t>(c_NextToReport)] != 0) return;
            ++c_NextToReport;
            continue;
        }
        RowResult result = std::move(waiting->second);
        c_Waiting.erase(waiting);
        ++c_NextToReport;
        Guarded([&] {
            result.Row = c_List.IndexOf(result.Id);
            c_List.Finished(result, c_RunNumber);
            c_Results.push_back(std::move(result));
            c_Host.RowApplied(c_Results.back());
        });
    }
}

void BatchController::Fail(std::exception_ptr pError) {
    if (ErrorCatch() != 0 && !c_Failure) c_Failure = std::move(pError);
    if (!c_Running) return;
    c_Ending = true;
    c_Shared->Abort = true;
}

// An exception that a handler threw inside the owner's pump belongs to that
// handler, not to the file being processed. With errors let through it ends
// the run; trapped, it is dropped as the handler's own trap would drop it.
void BatchController::TakePumpFailure() {
    std::exception_ptr error = c_OwnerPump.TakeFailure();
    if (error && ErrorCatch() != 0) Fail(std::move(error));
}

bool BatchController::Guarded(const std::function<void()>& pStep) {
    try {
        pStep();
        return true;
    } catch (...) {
        Fail(std::current_exception());
        return false;
    }
}

void BatchController::Finish() {
    if (!c_Running) return;
    // Each end-of-run step on its own, so that one failing does not skip the others.
    auto step = [&](const std::function<void()>& pStep) {
        try {
            pStep();
        } catch (...) {
            if (ErrorCatch() != 0 && !c_Failure) c_Failure = std::current_exception();
        }
    };
    // Rows the run never reached (a stop, an error) are stopped, not left queued.
    step([&] {
        for (std::int32_t row = c_NextToReport; row < static_cast<std::int32_t>(c_Works.size()); ++row)
            if (c_Waiting.count(row) == 0) c_List.SetStatus(c_Works[static_cast<size_t>(row)].Id, RowStatus::Stopped);
    });
    step([&] { c_List.SetLocked(false); });
    step([&] { c_Host.RunFinished(); });
    step([&] { c_Host.RunColours(false); });
    step([&] { c_Host.SetProgress(0); });
    c_Running = false;
    c_Ending = false;
    c_CurrentRow = -1;
    // Last, when the controller is idle again: the window may show a modal
    // box here, whose event loop may call back into the controller.
    if (c_Failure) step([&] { c_Host.RunError(ErrorText(c_Failure)); });
    if (c_ClosePending) {
        c_ClosePending = false;
        step([&] { c_Host.CloseReady(); });
    }
}

// ---- Intake ----------------------------------------------------------------------

bool BatchController::IdleGuarded(const std::function<void()>& pStep) {
    try {
        pStep();
    } catch (...) {
        if (ErrorCatch() == 0) return true;
        c_Failure = std::current_exception();
        try {
            c_Host.RunError(ErrorText(c_Failure));
        } catch (...) {
        }
    }
    return true;
}

bool BatchController::DropFiles(IntakeHost& pIntake, const std::vector<std::string>& pFiles, std::int32_t pRow) {
    if (!IntakeAllowed()) return false;
    return IdleGuarded([&] { AddDroppedFiles(c_List, pIntake, pFiles, pRow); });
}

bool BatchController::RemoveSelected() {
    if (!IntakeAllowed()) return false;
    return IdleGuarded([&] { c_List.RemoveSelected(); });
}

bool BatchController::StartDrag(std::vector<std::string>& pFiles) {
    pFiles.clear();
    if (!IntakeAllowed()) return false;
    return IdleGuarded([&] {
        pFiles = c_List.SelectedPaths();
        // The rows leave the list as the drag begins; a drop back on the
        // list brings them in again where they land.
        c_List.RemoveSelected();
    });
}

}  // namespace sonivate
