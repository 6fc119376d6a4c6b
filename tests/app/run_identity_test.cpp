// What a run writes, and to which file, is decided when it starts and then
// held by identity; what it reports of a copy is what the copy is.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <new>
#include <stdexcept>

#include "app/row_store.h"
#include "app/batch_controller.h"
#include "app/delivery_profile.h"
#include "app/file_list.h"
#include "app/measurement_run.h"
#include "app/output_target.h"
#include "batch_hosts.h"
#include "loudness/c_lkfsfct.h"
#include "support/scratch.h"
#include "support/wavgen.h"

namespace sonivate {
namespace {

using test::Bytes;
using test::RecordingIntake;
using test::RecordingRun;
using test::ScratchDir;

constexpr std::int32_t kRate = 48000;

std::string Tone(const std::string& pPath, double pDbfs, double pFrequency = 997.0) {
    std::filesystem::create_directories(std::filesystem::path(pPath).parent_path());
    return test::WriteWav(pPath, {}, test::Sine(2 * kRate, 2, pFrequency, pDbfs, 16));
}

// A deep tone just under full scale: K-weighting reads it some dB below its
// peak, so a gain to 0 LKFS drives it well past full scale.
std::string DeepTone(const std::string& pPath) { return Tone(pPath, -1.0, 30.0); }

class SharedFolderRun : public RecordingRun {
public:
    bool NoFollow() const override { return true; }
};

class HeldRun : public ::testing::Test {
protected:
    void List(BatchRows& pRows, const std::vector<std::string>& pPaths) {
        RecordingIntake intake;
        for (const std::string& path : pPaths) AddTitle(pRows, intake, path, kAppendRow);
        ASSERT_EQ(pRows.Count(), static_cast<std::int32_t>(pPaths.size()));
    }
    // Removes pAction's folder when the pRow-th row (from 1) starts measuring.
    void AtRow(RecordingRun& pHost, int pRow, std::function<void()> pAction) {
        auto seen = std::make_shared<int>(0);
        pHost.onStatus = [seen, pRow, pAction](const std::string& pText) {
            if (pText.find(kStatusMeasuring) != std::string::npos && ++*seen == pRow) pAction();
        };
    }

    ScratchDir dir;
};

TEST_F(HeldRun, AnOutputFolderThatGoesAwayOrIsReplacedFailsTheRestAndNoSourceIsTouched) {
    std::vector<std::string> paths;
    std::vector<Bytes> originals;
    for (int i = 0; i < 3; ++i) {
        paths.push_back(Tone(dir.file("src/f" + std::to_string(i) + ".wav"), -30.0 - i));
        originals.push_back(test::ReadBytes(paths.back()));
    }
    const std::string out = dir.file("out");
    std::filesystem::create_directory(out);

    // Removed after the first copy: the other rows are not written in place.
    RowStore rows;
    List(rows, paths);
    RecordingRun host;
    host.output = true;
    host.soundPath = out;
    AtRow(host, 2, [&] { std::filesystem::remove_all(out); });
    std::vector<RowResult> results = RunMeasurement(rows, host);
    ASSERT_EQ(results.size(), 3u);
    EXPECT_TRUE(results[0].Written);
    for (size_t i = 1; i < 3; ++i) {
        EXPECT_FALSE(results[i].Written);
        EXPECT_EQ(results[i].Reason, RowReason::OutputUnavailable);
        EXPECT_EQ(results[i].WriteError, ENOENT);
        EXPECT_TRUE(results[i].Measured) << "the figures are still measured";
    }
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(test::ReadBytes(paths[i]), originals[i]) << paths[i];

    // Renamed away, and a link to the sources' folder put under its name:
    // nothing is written through the old name, nor into the folder moved.
    std::filesystem::create_directory(out);
    host.onStatus = {};
    AtRow(host, 2, [&] {
        std::filesystem::rename(out, dir.file("moved"));
        std::filesystem::create_directory_symlink(dir.file("src"), out);
    });
    results = RunMeasurement(rows, host);
    ASSERT_EQ(results.size(), 3u);
    EXPECT_TRUE(results[0].Written);
    EXPECT_EQ(results[1].Reason, RowReason::OutputUnavailable);
    EXPECT_EQ(results[1].WriteError, ESTALE);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("moved")), {}), 1);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(test::ReadBytes(paths[i]), originals[i]) << paths[i];
}

TEST_F(HeldRun, ARunOfSomeRowsLeavesTheOthersAsTheyWere) {
    RowStore rows;
    List(rows, {Tone(dir.file("a.wav"), -30.0), Tone(dir.file("b.wav"), -28.0), Tone(dir.file("c.wav"), -26.0)});
    RecordingRun host;
    InlineExecutor executor;
    BatchController run(rows, host, executor);
    const RowId middle = rows.IdAt(1);
    run.Start({middle});
    ASSERT_EQ(run.Results().size(), 1u);
    EXPECT_EQ(run.Results()[0].Id, middle);
    EXPECT_EQ(run.Results()[0].Row, 1);
    EXPECT_EQ(run.RunRowCount(), 1);
    EXPECT_EQ(rows.Find(middle)->Status, RowStatus::Measured);
    for (const std::int32_t other : {0, 2}) {
        EXPECT_EQ(rows.Find(rows.IdAt(other))->Status, RowStatus::Listed) << other;
        EXPECT_TRUE(rows.Row(other).LKFSText.empty()) << other;
    }
    const int starts = host.starts;
    run.Start(std::vector<RowId>{middle + 100});
    EXPECT_EQ(host.starts, starts) << "no listed row, no run";
}

TEST_F(HeldRun, AFolderNameThatCannotBeExaminedIsNeverTakenForMissing) {
    const std::string path = Tone(dir.file("spot.wav"), -30.0);
    const Bytes original = test::ReadBytes(path);
    // A name whose lookup fails for another reason than "not there".
    const std::string loop = dir.file("loop");
    ASSERT_EQ(::symlink(loop.c_str(), loop.c_str()), 0);
    const std::shared_ptr<const OutputTarget> target = OutputTarget::FromChoice(true, loop);
    EXPECT_EQ(target->What(), OutputTarget::Kind::Folder);
    EXPECT_EQ(target->CheckUsable(), ELOOP);
    // A missing folder or an empty box keep the copies beside their sources.
    EXPECT_EQ(OutputTarget::FromChoice(true, dir.file("none"))->What(), OutputTarget::Kind::InPlace);
    EXPECT_EQ(OutputTarget::FromChoice(true, "")->What(), OutputTarget::Kind::InPlace);
    EXPECT_EQ(OutputTarget::FromChoice(false, dir.path())->What(), OutputTarget::Kind::Off);
    // A folder the caller holds: the target keeps its own descriptor, and
    // a name that no longer leads to that folder makes it unusable.
    ScratchDir held;
    const int heldFd = ::open(held.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(heldFd, 0);
    const std::shared_ptr<const OutputTarget> kept = OutputTarget::Held(heldFd, held.path());
    ::close(heldFd);
    EXPECT_EQ(kept->CheckUsable(), 0);
    EXPECT_NE(kept->FolderFd(), heldFd);
    ASSERT_EQ(::rename(held.path().c_str(), (held.path() + ".moved").c_str()), 0);
    ASSERT_EQ(::symlink(dir.path().c_str(), held.path().c_str()), 0);
    EXPECT_EQ(kept->CheckUsable(), ESTALE) << "a link in the folder's place is not the folder";
    ::unlink(held.path().c_str());
    ASSERT_EQ(::rename((held.path() + ".moved").c_str(), held.path().c_str()), 0);
    EXPECT_EQ(OutputTarget::Held(-1, held.path())->CheckUsable(), EBADF);

    RowStore rows;
    List(rows, {path});
    RecordingRun host;
    host.output = true;
    host.soundPath = loop;
    const std::vector<RowResult> results = RunMeasurement(rows, host);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].Reason, RowReason::OutputUnavailable);
    EXPECT_EQ(test::ReadBytes(path), original) << "never replaced in place";
}

TEST_F(HeldRun, ASharedFoldersSourceIsNeverReadThroughALink) {
    const std::string secret = Tone(dir.file("private/secret.wav"), -20.0);
    ASSERT_EQ(::chmod(secret.c_str(), 0600), 0);
    const std::string planted = dir.file("in/spot.wav");
    Tone(planted, -30.0);
    RowStore rows;
    List(rows, {planted});
    // Swapped for a link after it was listed.
    std::filesystem::remove(planted);
    std::filesystem::create_symlink(secret, planted);
    const std::string out = dir.file("out");
    std::filesystem::create_directory(out);
    SharedFolderRun host;
    host.output = true;
    host.soundPath = out;
    const std::vector<RowResult> results = RunMeasurement(rows, host);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_FALSE(results[0].Measured);
    EXPECT_EQ(results[0].Reason, RowReason::NotRegular);
    EXPECT_TRUE(std::filesystem::is_empty(out)) << "no copy of the linked file";
}

TEST_F(HeldRun, ASaturatedCopyIsDescribedAndJudgedByTheCopyItself) {
    const std::string path = DeepTone(dir.file("deep.wav"));
    const std::string out = dir.file("out");
    std::filesystem::create_directory(out);
    RowStore rows;
    List(rows, {path});
    RecordingRun host;
    host.output = true;
    host.soundPath = out;
    host.noClip = false;
    host.extras = true;
    host.target = "0";
    const std::vector<RowResult> results = RunMeasurement(rows, host);
    ASSERT_EQ(results.size(), 1u);
    ASSERT_TRUE(results[0].Written);
    ASSERT_GT(results[0].Gain + results[0].Peak, 1.0) << "the copy saturates";
    ASSERT_TRUE(results[0].CopyMeasured.has_value());

    C_LKFSFCT meter;
    ASSERT_EQ(meter.MeasureLKFS(results[0].OutputPath, 0, 0), 1);
    const std::optional<CopyFigures> copy = RowCopyFigures(results[0]);
    ASSERT_TRUE(copy && copy->Integrated);
    EXPECT_NEAR(*copy->Integrated, meter.LKFSValue(), 0.01) << "the copy as it measures";
    EXPECT_LT(*copy->Integrated, -0.5) << "not the target the gain was found for";
    EXPECT_NEAR(*copy->SamplePeak, meter.PeakValue(), 0.01);

    // A profile whose band holds the target: the clipped copy misses it.
    DeliveryProfile profile{"test", 0.0, 0.5, 3.0, std::nullopt};
    const std::optional<FileVerdicts> verdicts = RowVerdicts(&results[0], &profile);
    ASSERT_TRUE(verdicts && verdicts->HasOutput);
    EXPECT_FALSE(verdicts->output.pass);
    EXPECT_EQ(verdicts->output.reasons.front(), kReasonLoudnessLow);
}

TEST_F(HeldRun, RowsWithoutACopyClaimNoCopyAndSilenceNoGain) {
    const std::string quiet = Tone(dir.file("quiet.wav"), -85.0);
    const std::string deep = DeepTone(dir.file("deep.wav"));
    const std::string plain = Tone(dir.file("plain.wav"), -30.0);
    DeliveryProfile profile{"test", -24.0, 1.0, -1.0, std::nullopt};

    RowStore rows;
    List(rows, {quiet, deep, plain});
    RecordingRun host;
    host.extras = true;
    host.target = "-2";
    // Writing nothing: the copies are what they would be, and a row whose
    // copy would clip projects none (the source moved by the gain would
    // claim a sample peak far over full scale).
    std::vector<RowResult> results = RunMeasurement(rows, host);
    ASSERT_EQ(results.size(), 3u);
    EXPECT_TRUE(results[0].TooQuiet);
    EXPECT_TRUE(results[0].GainText.empty()) << "no gain is invented for silence";
    EXPECT_FALSE(RowCopyFigures(results[0]).has_value());
    EXPECT_TRUE(results[1].Clip);
    EXPECT_EQ(results[1].Copy, CopyState::None);
    EXPECT_FALSE(RowCopyFigures(results[1]).has_value());
    EXPECT_EQ(results[2].Copy, CopyState::Projected);
    EXPECT_TRUE(RowCopyFigures(results[2]).has_value());

    // Writing, with clip avoidance: the deep tone is refused, and neither
    // it nor the silent row has copy figures or a copy verdict.
    const std::string out = dir.file("out");
    std::filesystem::create_directory(out);
    host.output = true;
    host.soundPath = out;
    results = RunMeasurement(rows, host);
    ASSERT_EQ(results.size(), 3u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(results[i].Copy, CopyState::None) << i;
        EXPECT_FALSE(RowCopyFigures(results[i]).has_value()) << i;
        const std::optional<FileVerdicts> verdicts = RowVerdicts(&results[i], &profile);
        ASSERT_TRUE(verdicts.has_value());
        EXPECT_FALSE(verdicts->HasOutput) << i;
    }
    EXPECT_EQ(results[1].Reason, RowReason::WouldClip);
    EXPECT_EQ(results[2].Copy, CopyState::Written);
}

TEST_F(HeldRun, ATargetNoProgrammeCanBeBroughtToMeasuresNothing) {
    const std::string path = Tone(dir.file("spot.wav"), -30.0);
    RowStore rows;
    List(rows, {path});
    RecordingRun host;
    for (const char* target : {"-230", "5", "-60.5"}) {
        host.target = target;
        EXPECT_TRUE(RunMeasurement(rows, host).empty()) << target;
    }
    host.target = "-60";
    EXPECT_EQ(RunMeasurement(rows, host).size(), 1u);
    EXPECT_EQ(host.finishes, 4) << "each run still ends as a run ends";
}

// Hands tasks back through a worker, failing the first pFailures posts as a
// process out of memory would.
class FailingPosts final : public RunExecutor {
public:
    FailingPosts(TaskQueue& pOwner, int pFailures, bool pOutOfMemory = true)
        : mInner([&pOwner](std::function<void()> pTask) { pOwner.Post(std::move(pTask)); }),
          mFailures(pFailures),
          mOutOfMemory(pOutOfMemory) {}
    void Execute(std::function<void()> pWork) override { mInner.Execute(std::move(pWork)); }
    void Post(std::function<void()> pTask) override {
        if (mFailures.fetch_sub(1) > 0) {
            if (mOutOfMemory) throw std::bad_alloc();
            throw std::runtime_error("queue closed");
        }
        mInner.Post(std::move(pTask));
    }
    bool OnOwnerThread() const override { return false; }

private:
    ThreadExecutor mInner;
    std::atomic<int> mFailures;
    bool mOutOfMemory;
};

TEST_F(HeldRun, ARowWhoseResultCannotBeHandedBackEndsWithAReasonAndTheRunGoesOn) {
    // The first row's file is gone: its work posts nothing before its result.
    RowStore list;
    List(list, {Tone(dir.file("spot.wav"), -30.0)});
    BatchRow missing = list.Row(0);
    missing.Path = dir.file("gone.wav");
    list.Insert(0, missing);

    // No memory for the task, or any other failure of the hand-over.
    for (const bool outOfMemory : {true, false}) {
        TaskQueue owner;
        FailingPosts executor(owner, 1, outOfMemory);
        RecordingRun host;
        BatchController controller(list, host, executor);
        controller.Start();
        owner.RunUntil([&] { return !controller.Running(); });
        const std::vector<RowResult>& results = controller.Results();
        ASSERT_EQ(results.size(), 2u);
        EXPECT_EQ(results[0].Reason, outOfMemory ? RowReason::OutOfMemory : RowReason::InternalError);
        if (!outOfMemory) {
            EXPECT_NE(results[0].ErrorText.find("queue closed"), std::string::npos);
        }
        EXPECT_TRUE(results[1].Measured) << "the run went on";
        EXPECT_EQ(host.finishes, 1);
    }
}

}  // namespace
}  // namespace sonivate
