#include "app/batch_controller.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "app/file_list.h"
#include "batch_hosts.h"
#include "common/error_trap.h"
#include "support/fake_pump.h"
#include "support/scratch.h"
#include "support/wavgen.h"

namespace sonivate {
namespace {

using test::ScratchDir;

constexpr std::int32_t kRate = 48000;

std::string Programme(const std::string& pPath, double pDbfs, bool pClicks = false) {
    test::Samples samples = test::Sine(2 * kRate, 2, 997.0, pDbfs, 16);
    if (pClicks) samples[kRate] = samples[kRate + 1] = 32000;
    return test::WriteWav(pPath, test::WavSpec{}, samples);
}

std::vector<std::string> Files(const std::string& pFolder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(pFolder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// The window's side of a worker run: the queue that the executor posts to,
// drained on the test's thread as the window's event loop would.
class OwnerLoop {
public:
    ThreadExecutor::PostToOwner Poster() {
        return [this](std::function<void()> pTask) {
            {
                std::lock_guard lock(mMutex);
                mTasks.push_back(std::move(pTask));
            }
            mWake.notify_one();
        };
    }
    // Runs posted tasks until pDone holds after one of them.
    void RunUntil(const std::function<bool()>& pDone) {
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

private:
    std::mutex mMutex;
    std::condition_variable mWake;
    std::deque<std::function<void()>> mTasks;
};

// Holds the work's thread in its first stop check until released, so that
// the owner can act while a file is surely in progress.
class WorkGate {
public:
    void HoldFirst() { mArmed = true; }
    void Release() {
        {
            std::lock_guard lock(mMutex);
            mReleased = true;
        }
        mWake.notify_all();
    }
    void Pass() const {
        if (!mArmed.exchange(false)) return;
        std::unique_lock lock(mMutex);
        mWake.wait(lock, [this] { return mReleased; });
    }

private:
    mutable std::atomic<bool> mArmed{false};
    mutable std::mutex mMutex;
    mutable std::condition_variable mWake;
    bool mReleased = false;
};

// A host that records, in order, what the controller told it and on which thread.
class WindowHost : public test::RecordingRun {
public:
    bool StopRequested() const override {
        if (std::this_thread::get_id() != owner) gate.Pass();
        return RecordingRun::StopRequested();
    }
    void ShowStatus(const std::string& pText) override {
        Note("status " + pText);
        RecordingRun::ShowStatus(pText);
    }
    void SetProgress(std::int32_t pValue) override {
        Note("");
        progress.push_back(pValue);
        RecordingRun::SetProgress(pValue);
    }
    void RowSelected(std::int32_t pRow) override { Note("select " + std::to_string(pRow)); }
    void RowApplied(const RowResult& pResult) override { Note("applied " + std::to_string(pResult.Row)); }
    void RunFinished() override {
        Note("finished");
        RecordingRun::RunFinished();
    }
    void RunError(const std::string& pText) override { Note("error " + pText); }
    void CloseReady() override { Note("close"); }
    platform::EventPump& RunPump() override { return pump != nullptr ? *pump : platform::HeadlessPump(); }

    void Note(const std::string& pEvent) {
        if (std::this_thread::get_id() != owner) ++offThread;
        if (!pEvent.empty()) events.push_back(pEvent);
    }
    std::vector<std::string> Matching(const std::string& pPrefix) const {
        std::vector<std::string> found;
        for (const std::string& e : events)
            if (e.rfind(pPrefix, 0) == 0) found.push_back(e);
        return found;
    }

    std::thread::id owner = std::this_thread::get_id();
    int offThread = 0;
    std::vector<std::string> events;
    std::vector<std::int32_t> progress;
    platform::EventPump* pump = nullptr;
    WorkGate gate;
};

class ErrorCatchScope {
public:
    explicit ErrorCatchScope(std::int32_t pValue) : mPrevious(ErrorCatch()) { SetErrorCatch(pValue); }
    ~ErrorCatchScope() { SetErrorCatch(mPrevious); }
    ErrorCatchScope(const ErrorCatchScope&) = delete;
    ErrorCatchScope& operator=(const ErrorCatchScope&) = delete;

private:
    std::int32_t mPrevious;
};

class Controller : public ::testing::Test {
protected:
    void SetUp() override { ConfigureFileList(list); }
    void List(ListViewModel& pList, const ScratchDir& pDir, int pCount) {
        test::RecordingIntake intake;
        for (int i = 0; i < pCount; ++i)
            AddTitle(pList, intake, Programme(pDir.file("f" + std::to_string(i) + ".wav"), -26.0 - i, i == 1),
                     kLastItem);
        ASSERT_TRUE(intake.rejections.empty());
    }

    ListViewModel list;
    ListViewRows rows{list};
    WindowHost host;
    ScratchDir dir;
    OwnerLoop loop;
};

TEST_F(Controller, AWorkerRunGivesTheInlineResultsAndTalksToTheHostOnlyOnTheOwnerThread) {
    ScratchDir inlineDir;
    ListViewModel inlineList;
    ConfigureFileList(inlineList);
    List(list, dir, 3);
    List(inlineList, inlineDir, 3);
    host.output = host.noClip = true;
    WindowHost inlineHost;
    inlineHost.output = true;
    InlineExecutor inlineExecutor;
    ListViewRows inlineRows(inlineList);
    BatchController inlineRun(inlineRows, inlineHost, inlineExecutor);
    inlineRun.Start();
    ASSERT_FALSE(inlineRun.Running());

    ThreadExecutor executor(loop.Poster());
    BatchController run(rows, host, executor);
    run.Start();
    EXPECT_TRUE(run.Running());
    EXPECT_FALSE(run.CanClose());
    EXPECT_EQ(list.ClickDisabled(), 1);
    loop.RunUntil([&] { return !run.Running(); });

    EXPECT_EQ(host.offThread, 0);
    EXPECT_EQ(run.Results().size(), 3u);
    EXPECT_EQ(host.events, inlineHost.events) << "the same callbacks in the same order";
    // Each row is applied before the next one is selected.
    EXPECT_EQ(host.Matching("select"), (std::vector<std::string>{"select 0", "select 1", "select 2"}));
    const auto at = [&](const std::string& pEvent) {
        return std::find(host.events.begin(), host.events.end(), pEvent) - host.events.begin();
    };
    EXPECT_LT(at("applied 0"), at("select 1"));
    EXPECT_LT(at("applied 1"), at("select 2"));
    EXPECT_EQ(host.events.back(), "finished");
    for (const std::int32_t p : host.progress) {
        EXPECT_GE(p, 0);
        EXPECT_LE(p, kProgressScale);
    }
    EXPECT_EQ(host.progress.back(), 0);

    for (std::int32_t row = 0; row < 3; ++row) {
        for (std::int32_t c = 0; c < kFileListColumns; ++c) EXPECT_EQ(list.Value(row, c), inlineList.Value(row, c));
        EXPECT_EQ(list.DispColor(row), inlineList.DispColor(row));
    }
    EXPECT_EQ(list.DispColor(1), kClipColor);
    EXPECT_FALSE(run.Results()[1].WriteAttempted) << "clip avoidance read per row";
    EXPECT_EQ(list.ClickDisabled(), 0);
    EXPECT_TRUE(run.CanClose());
    EXPECT_EQ(run.CurrentRow(), -1);
}

TEST_F(Controller, StartWhileRunningIsIgnored) {
    List(list, dir, 2);
    ThreadExecutor executor(loop.Poster());
    BatchController run(rows, host, executor);
    host.gate.HoldFirst();
    run.Start();
    run.Start();
    EXPECT_EQ(run.State(), RunState::Running);
    host.gate.Release();
    loop.RunUntil([&] { return !run.Running(); });
    EXPECT_EQ(host.starts, 1);
    EXPECT_EQ(run.Results().size(), 2u);

    // Inline, a start clicked inside the run's own pump is ignored as well.
    test::FakePump pump;
    host.pump = &pump;
    InlineExecutor inlineExecutor;
    BatchController inlineRun(rows, host, inlineExecutor);
    pump.onEvents = [&] { inlineRun.Start(); };
    inlineRun.Start();
    EXPECT_EQ(host.starts, 2);
    EXPECT_EQ(inlineRun.Results().size(), 2u);
}

TEST_F(Controller, AStopFromInsideThePumpEndsTheRunAfterTheFileInProgress) {
    List(list, dir, 4);
    test::FakePump pump;
    host.pump = &pump;
    host.output = true;
    ScratchDir out;
    host.soundPath = out.path();
    InlineExecutor executor;
    BatchController run(rows, host, executor);
    // The pump passes as each row becomes current (and inside the writer):
    // stop in row 1's turn.
    pump.onEvents = [&] {
        if (run.CurrentRow() == 1) run.Stop();
    };
    run.Start();

    ASSERT_EQ(run.Results().size(), 2u);
    EXPECT_TRUE(run.Results()[0].Written);
    EXPECT_FALSE(run.Results()[1].Measured) << "the meter saw the stop at its first progress event";
    EXPECT_TRUE(list.Value(1, kColumnLKFS).IsEmpty());
    EXPECT_TRUE(list.Value(2, kColumnLKFS).IsEmpty());
    EXPECT_EQ(Files(out.path()), std::vector<std::string>{"f0.wav"});
    EXPECT_TRUE(run.StopRequested()) << "it stays set until the next start";
    EXPECT_EQ(run.State(), RunState::Idle);
    EXPECT_EQ(list.ClickDisabled(), 0);
    EXPECT_EQ(host.finishes, 1);

    pump.onEvents = nullptr;
    run.Start();
    EXPECT_FALSE(run.StopRequested());
    EXPECT_EQ(run.Results().size(), 4u);
}

TEST_F(Controller, ACloseDuringARunStopsItAndFollowsWhenTheFileHasEnded) {
    List(list, dir, 3);
    host.output = true;
    ScratchDir out;
    host.soundPath = out.path();
    ThreadExecutor executor(loop.Poster());
    BatchController run(rows, host, executor);
    EXPECT_TRUE(run.RequestClose()) << "idle: close at once";

    host.gate.HoldFirst();
    run.Start();
    EXPECT_FALSE(run.RequestClose());
    EXPECT_TRUE(run.ClosePending());
    EXPECT_EQ(run.State(), RunState::Stopping);
    EXPECT_FALSE(run.CanClose());
    host.gate.Release();
    loop.RunUntil([&] { return !run.Running(); });

    ASSERT_EQ(run.Results().size(), 1u);
    EXPECT_FALSE(run.Results()[0].WriteAttempted) << "a stopped measurement is never written";
    EXPECT_EQ(run.Results()[0].Reason, RowReason::Stopped);
    EXPECT_TRUE(Files(out.path()).empty());
    EXPECT_EQ(host.Matching("close"), std::vector<std::string>{"close"});
    EXPECT_EQ(host.events.back(), "close") << "after the end-of-run steps";
    EXPECT_FALSE(run.ClosePending());
    EXPECT_TRUE(run.CanClose());
}

TEST_F(Controller, IntakeThatRenumbersRowsIsRefusedDuringARun) {
    List(list, dir, 2);
    const std::string extra = Programme(dir.file("extra.wav"), -30.0);
    test::RecordingIntake intake;
    ThreadExecutor executor(loop.Poster());
    BatchController run(rows, host, executor);
    host.gate.HoldFirst();
    run.Start();
    EXPECT_FALSE(run.IntakeAllowed());
    EXPECT_FALSE(run.DropFiles(intake, {extra}, 0));
    list.SetIsSelected(1, 1);
    EXPECT_FALSE(run.RemoveSelected());
    std::vector<std::string> dragged = {"stale"};
    EXPECT_FALSE(run.StartDrag(dragged));
    EXPECT_TRUE(dragged.empty());
    EXPECT_EQ(list.ItemCount(), 2);
    host.gate.Release();
    loop.RunUntil([&] { return !run.Running(); });
    EXPECT_EQ(list.AuxID(0, kAuxPath).AsText(), dir.file("f0.wav"));
    EXPECT_FALSE(list.Value(1, kColumnLKFS).IsEmpty()) << "each result on its own row";

    // Idle again: the same intake goes through.
    EXPECT_TRUE(run.DropFiles(intake, {extra}, 0));
    EXPECT_EQ(list.AuxID(0, kAuxPath).AsText(), extra);
    list.UnSelectAll();
    list.SetIsSelected(0, 1);
    list.SetIsSelected(2, 1);
    EXPECT_TRUE(run.StartDrag(dragged));
    EXPECT_EQ(dragged, (std::vector<std::string>{extra, dir.file("f1.wav")}));
    EXPECT_EQ(list.ItemCount(), 1) << "dragged rows leave the list";
    list.SetIsSelected(0, 1);
    EXPECT_TRUE(run.RemoveSelected());
    EXPECT_EQ(list.ItemCount(), 0);
}

// A host whose status line fails on the second file.
class FailingStatusHost : public WindowHost {
public:
    void ShowStatus(const std::string& pText) override {
        WindowHost::ShowStatus(pText);
        if (pText.rfind("f1", 0) == 0) throw std::runtime_error("status line gone");
    }
};

TEST_F(Controller, AnErrorDuringARunEndsItWithTheEndOfRunStepsOnEitherExecutor) {
    List(list, dir, 3);
    for (const bool worker : {false, true}) {
        for (const std::int32_t errorCatch : {0, 1}) {
            SCOPED_TRACE(std::string(worker ? "worker" : "inline") + " ErrorCatch " + std::to_string(errorCatch));
            const ErrorCatchScope scope(errorCatch);
            FailingStatusHost failing;
            InlineExecutor inlineExecutor;
            ThreadExecutor threadExecutor(loop.Poster());
            RunExecutor& executor = worker ? static_cast<RunExecutor&>(threadExecutor) : inlineExecutor;
            BatchController run(rows, failing, executor);
            run.Start();
            loop.RunUntil([&] { return !run.Running(); });

            ASSERT_EQ(run.Results().size(), 2u) << "no row after the failing one";
            // Inline the failing row's meter sees the end at once; a worker may be further on.
            if (!worker) {
                EXPECT_FALSE(run.Results()[1].Measured);
            }
            EXPECT_EQ(list.ClickDisabled(), 0);
            EXPECT_EQ(failing.finishes, 1);
            EXPECT_EQ(failing.lastProgress, 0);
            EXPECT_EQ(run.State(), RunState::Idle);
            EXPECT_FALSE(run.StopRequested()) << "an error is not the operator's stop";
            if (errorCatch == 0) {
                EXPECT_TRUE(failing.Matching("error").empty());
                EXPECT_FALSE(run.Failure());
            } else {
                EXPECT_EQ(failing.Matching("error"), std::vector<std::string>{"error status line gone"});
                EXPECT_EQ(failing.events.back(), "error status line gone");
                EXPECT_EQ(ErrorText(run.Failure()), "status line gone");
            }
        }
    }
    // The CLI's way: the run ends properly, then the error reaches the caller.
    const ErrorCatchScope scope(1);
    FailingStatusHost failing;
    EXPECT_THROW(RunMeasurement(list, failing), std::runtime_error);
    EXPECT_EQ(list.ClickDisabled(), 0);
    EXPECT_EQ(failing.finishes, 1);
}

TEST_F(Controller, AnErrorOfAnotherHandlerInsideThePumpIsNotAFailedFile) {
    List(list, dir, 2);
    ScratchDir out;
    host.output = true;
    host.soundPath = out.path();
    test::FakePump pump;
    host.pump = &pump;
    InlineExecutor executor;
    // Pass 1 is row 0's turn; pass 2 comes from inside the writer.
    int passes = 0;
    pump.onEvents = [&] {
        if (++passes == 2) throw std::logic_error("a button handler failed");
    };
    {
        const ErrorCatchScope scope(0);
        BatchController run(rows, host, executor);
        run.Start();
        ASSERT_EQ(run.Results().size(), 2u) << "trapped, it is that handler's own business";
        EXPECT_TRUE(run.Results()[0].Measured);
        EXPECT_TRUE(run.Results()[0].Written);
        EXPECT_TRUE(host.Matching("error").empty());
    }
    std::filesystem::remove_all(out.path());
    std::filesystem::create_directory(out.path());
    passes = 0;
    {
        const ErrorCatchScope scope(1);
        BatchController run(rows, host, executor);
        run.Start();
        ASSERT_EQ(run.Results().size(), 1u) << "let through, it ends the run after the file";
        EXPECT_TRUE(run.Results()[0].Measured);
        EXPECT_TRUE(run.Results()[0].Written) << "the copy did not fail because of it";
        EXPECT_EQ(Files(out.path()), std::vector<std::string>{"f0.wav"});
        EXPECT_EQ(host.Matching("error"), std::vector<std::string>{"error a button handler failed"});
        EXPECT_EQ(list.ClickDisabled(), 0);
    }
}

}  // namespace
}  // namespace sonivate
