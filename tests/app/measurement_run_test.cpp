#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>

#include "app/copy_loudness.h"
#include "app/file_list.h"
#include "app/measurement_run.h"
#include "batch_hosts.h"
#include "common/formatting.h"
#include "common/paths.h"
#include "support/scratch.h"
#include "support/wavgen.h"

namespace sonivate {
namespace {

using test::Bytes;
using test::RecordingIntake;
using test::RecordingRun;
using test::ScratchDir;

constexpr std::int32_t kRate = 48000;
constexpr std::size_t kCanonicalHeader = 44;

// A short programme with markers and a trailing LIST chunk, at pDbfs.
std::string Programme(const std::string& pPath, double pDbfs, double pSeconds = 2.0, bool pClicks = false) {
    test::WavSpec layout;
    layout.afterData = test::BroadcastMarkers(kRate / 2, -1, static_cast<std::int32_t>((pSeconds - 0.25) * kRate), -1);
    test::Samples samples = test::Sine(static_cast<std::int64_t>(pSeconds * kRate), 2, 997.0, pDbfs, 16);
    if (pClicks) samples[kRate] = samples[kRate + 1] = 32000;
    return test::WriteWav(pPath, layout, samples);
}

std::vector<std::string> Files(const std::string& pFolder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(pFolder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

class BatchRun : public ::testing::Test {
protected:
    void SetUp() override { ConfigureFileList(list); }
    void List(const std::vector<std::string>& pPaths, std::int32_t pFrom = kRangeFileStart,
              std::int32_t pTo = kRangeFileEnd) {
        RecordingIntake intake(pFrom, pTo);
        for (const std::string& path : pPaths) AddTitle(list, intake, path, kLastItem);
        ASSERT_TRUE(intake.rejections.empty());
    }
    std::string Cell(std::int32_t pRow, std::int32_t pColumn) const { return list.Value(pRow, pColumn).AsText(); }

    ListViewModel list;
    RecordingRun host;
    ScratchDir dir;
};

TEST_F(BatchRun, MeasuresEveryRowAndMarksTheOnesThatWouldClip) {
    List({Programme(dir.file("quiet.wav"), -30.0), Programme(dir.file("clicks.wav"), -40.0, 2.0, true)});
    const std::vector<RowResult> results = RunMeasurement(list, host);
    ASSERT_EQ(results.size(), 2u);
    for (const RowResult& r : results) {
        EXPECT_TRUE(r.Measured);
        EXPECT_EQ(Cell(r.Row, kColumnLKFS), r.LKFSText);
        EXPECT_EQ(Cell(r.Row, kColumnGain), r.GainText);
        EXPECT_FALSE(r.WriteAttempted);
    }
    EXPECT_NEAR(results[0].LKFS, -30.0, 0.2);
    EXPECT_NEAR(results[0].Gain, 6.0, 0.2);
    EXPECT_EQ(list.DispColor(0), kColorWindowText) << "a quiet sine has headroom";
    EXPECT_EQ(list.DispColor(1), kClipColor);
    EXPECT_TRUE(results[1].Clip);
    EXPECT_EQ(host.statuses.front(), std::string("quiet") + kStatusMeasuring);
    EXPECT_EQ(host.finishes, 1);
    EXPECT_EQ(list.ClickDisabled(), 0);
    EXPECT_EQ(host.lastProgress, 0);
}

TEST_F(BatchRun, EmptyListAndNonNumericTargetMeasureNothing) {
    EXPECT_TRUE(RunMeasurement(list, host).empty());
    EXPECT_EQ(host.starts, 0) << "an empty list changes nothing";
    List({Programme(dir.file("a.wav"), -30.0)});
    host.target = "";
    EXPECT_TRUE(RunMeasurement(list, host).empty());
    EXPECT_EQ(host.finishes, 1);
    EXPECT_TRUE(list.Value(0, kColumnLKFS).IsEmpty());
}

TEST_F(BatchRun, WithoutAnOutputFolderTheSourceIsReplacedInPlaceAndItsChunksKept) {
    const std::string path = Programme(dir.file("spot.wav"), -30.0);
    const Bytes before = test::ReadBytes(path);
    List({path}, kRangeBcStart, kRangeBcStop);
    host.output = true;
    host.soundPath = dir.file("no-such-folder");
    const std::vector<RowResult> results = RunMeasurement(list, host);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_TRUE(results[0].Written);
    EXPECT_EQ(results[0].OutputPath, path);
    EXPECT_EQ(Files(dir.path()), std::vector<std::string>{"spot.wav"}) << "no numbered copy left behind";
    const Bytes after = test::ReadBytes(path);
    ASSERT_EQ(after.size(), before.size());
    const std::size_t dataEnd = kCanonicalHeader + static_cast<std::size_t>(2 * kRate) * 4;
    const std::size_t rangeStart = kCanonicalHeader + static_cast<std::size_t>(kRate / 2) * 4;
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + static_cast<std::ptrdiff_t>(rangeStart), after.begin()));
    EXPECT_TRUE(std::equal(before.begin() + static_cast<std::ptrdiff_t>(dataEnd), before.end(),
                           after.begin() + static_cast<std::ptrdiff_t>(dataEnd)))
        << "cue and LIST chunks are copied byte for byte";
    EXPECT_NE(before, after);
    EXPECT_EQ(host.statuses[1], "spot 書き出し処理 1/5…");
}

TEST_F(BatchRun, ARowWithinTheToleranceIsCopiedByteForByteAndInPlaceNotTouchedAtAll) {
    // A bext with stale loudness figures: an exact copy keeps even those.
    test::WavSpec layout;
    test::Bytes bext(602, 0x5A);
    bext[346] = 2;
    bext[347] = 0;
    layout.beforeData = {test::Chunk{"bext", bext}};
    layout.afterData = test::BroadcastMarkers(kRate / 2, -1, kRate * 3 / 2, -1);
    const std::string path = test::WriteWav(dir.file("spot.wav"), layout, test::Sine(2 * kRate, 2, 997.0, -22.0, 16));
    const Bytes before = test::ReadBytes(path);
    List({path});
    host.extras = true;
    const std::vector<RowResult> measured = RunMeasurement(list, host);
    ASSERT_EQ(measured.size(), 1u);
    // A target a few hundredths from the file's loudness.
    host.target = FormatFixed(measured[0].LKFS + 0.04, 2);
    host.output = true;
    ScratchDir out;
    host.soundPath = out.path();

    host.tolerance = 0.1;
    std::vector<RowResult> results = RunMeasurement(list, host);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_TRUE(results[0].Written);
    EXPECT_TRUE(results[0].WithinTolerance);
    EXPECT_EQ(results[0].AppliedGain, 0.0);
    EXPECT_EQ(test::ReadBytes(out.file("spot.wav")), before) << "the copy is the source, bext included";
    const std::optional<CopyFigures> copy = RowCopyFigures(results[0]);
    ASSERT_TRUE(copy && copy->Integrated);
    EXPECT_EQ(*copy->Integrated, results[0].LKFS) << "the copy's figures are the source's, not the target's";

    host.tolerance = 0.01;
    results = RunMeasurement(list, host);
    EXPECT_FALSE(results[0].WithinTolerance);
    EXPECT_NE(test::ReadBytes(out.file("spot.wav")), before) << "outside the tolerance the gain is applied";

    struct stat was {};
    ASSERT_EQ(::stat(path.c_str(), &was), 0);
    host.soundPath.clear();
    host.tolerance = 0.1;
    results = RunMeasurement(list, host);
    EXPECT_TRUE(results[0].Written && results[0].WithinTolerance);
    EXPECT_EQ(results[0].OutputPath, path);
    struct stat is {};
    ASSERT_EQ(::stat(path.c_str(), &is), 0);
    EXPECT_EQ(is.st_ino, was.st_ino) << "in place, the source is never replaced";
    EXPECT_EQ(is.st_mtim.tv_nsec, was.st_mtim.tv_nsec);
    EXPECT_EQ(test::ReadBytes(path), before);
    EXPECT_EQ(Files(dir.path()), std::vector<std::string>{"spot.wav"});
}

TEST_F(BatchRun, AnExistingOutputIsReplacedAndANumberedNeighbourIsLeftAlone) {
    ScratchDir out;
    test::WriteBytes(out.file("spot.wav"), {1, 2, 3});
    test::WriteBytes(out.file("spot01.wav"), {4});
    const std::string source = Programme(dir.file("spot.wav"), -30.0);
    const Bytes original = test::ReadBytes(source);
    List({source});
    host.output = true;
    host.soundPath = out.path() + "/";
    const std::vector<RowResult> results = RunMeasurement(list, host);
    ASSERT_TRUE(results.at(0).Written);
    EXPECT_EQ(results[0].OutputPath, out.file("spot.wav"));
    EXPECT_EQ(Files(out.path()), (std::vector<std::string>{"spot.wav", "spot01.wav"}));
    EXPECT_EQ(test::ReadBytes(out.file("spot.wav")).size(), original.size());
    EXPECT_EQ(test::ReadBytes(out.file("spot01.wav")), Bytes{4}) << "an unrelated numbered file is left alone";
    EXPECT_EQ(test::ReadBytes(source), original);
}

TEST_F(BatchRun, ClipAvoidanceSkipsTheFilesThatWouldClip) {
    ScratchDir out;
    List({Programme(dir.file("clicks.wav"), -40.0, 2.0, true), Programme(dir.file("quiet.wav"), -30.0)});
    host.output = true;
    host.soundPath = out.path();
    std::vector<RowResult> results = RunMeasurement(list, host);
    EXPECT_FALSE(results.at(0).WriteAttempted);
    EXPECT_TRUE(results.at(1).Written);
    EXPECT_EQ(Files(out.path()), std::vector<std::string>{"quiet.wav"});
    host.noClip = false;
    results = RunMeasurement(list, host);
    EXPECT_TRUE(results.at(0).Written);
    EXPECT_EQ(Files(out.path()), (std::vector<std::string>{"clicks.wav", "quiet.wav"}));
}

TEST_F(BatchRun, AStopInTheThirdOfFiveFilesEndsTheRunAndDiscardsItsCopy) {
    std::vector<std::string> paths;
    std::vector<Bytes> originals;
    for (int i = 0; i < 5; ++i) {
        paths.push_back(Programme(dir.file("f" + std::to_string(i) + ".wav"), -30.0 - i));
        originals.push_back(test::ReadBytes(paths.back()));
    }
    List(paths);
    host.output = true;
    int measuring = 0;
    host.onStatus = [&](const std::string& pText) {
        if (pText.find(kStatusMeasuring) != std::string::npos && ++measuring == 3) host.stop = true;
    };
    const std::vector<RowResult> results = RunMeasurement(list, host);
    ASSERT_EQ(results.size(), 3u);
    EXPECT_TRUE(results[1].Written);
    EXPECT_FALSE(results[2].Measured);
    EXPECT_FALSE(results[2].WriteAttempted) << "a stopped measurement is never written";
    EXPECT_EQ(results[2].Reason, RowReason::Stopped);
    EXPECT_TRUE(list.Value(2, kColumnLKFS).IsEmpty());
    EXPECT_TRUE(list.Value(3, kColumnLKFS).IsEmpty());
    for (int i = 2; i < 5; ++i)
        EXPECT_EQ(test::ReadBytes(paths[static_cast<size_t>(i)]), originals[static_cast<size_t>(i)]);
    EXPECT_EQ(Files(dir.path()).size(), 5u) << "the stopped copy was deleted";
    EXPECT_EQ(host.finishes, 1);
}

// A copy that cannot be completed (here the process may write only 64 KiB)
// never damages the source it was to replace.
TEST_F(BatchRun, AFailedWriteLeavesTheSourceIntact) {
    const std::string path = Programme(dir.file("big.wav"), -30.0, 3.0);
    const Bytes original = test::ReadBytes(path);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64 * 1024, 64 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ListViewModel childList;
        ConfigureFileList(childList);
        RecordingIntake intake;
        AddTitle(childList, intake, path, kLastItem);
        RecordingRun childHost;
        childHost.output = true;
        const std::vector<RowResult> results = RunMeasurement(childList, childHost);
        ::_exit(results.size() == 1 && results[0].Measured && !results[0].Written ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(test::ReadBytes(path), original);
    EXPECT_EQ(Files(dir.path()), std::vector<std::string>{"big.wav"});
}

TEST_F(BatchRun, OnlyARowMeasuredInThisRunIsWrittenAndSilenceNeverIs) {
    // BC$START and BC$STOP 0.2 s apart: too short for one block. The row
    // carries the gain of an earlier run, and a good copy stands in the
    // output folder: neither is used nor touched.
    test::WavSpec layout;
    layout.afterData = test::BroadcastMarkers(kRate, -1, kRate + kRate / 5, -1);
    const std::string tiny = test::WriteWav(dir.file("tiny.wav"), layout, test::Sine(2 * kRate, 2, 440.0, -20.0, 16));
    // Markers the wrong way round: the range is empty, not "too short".
    test::WavSpec reversed;
    reversed.afterData = test::BroadcastMarkers(kRate + kRate / 2, -1, kRate / 2, -1);
    const std::string backwards =
        test::WriteWav(dir.file("backwards.wav"), reversed, test::Sine(2 * kRate, 2, 440.0, -20.0, 16));
    // Room tone far below the absolute gate.
    const std::string quiet = test::WriteWav(dir.file("quiet.wav"), {}, test::Sine(2 * kRate, 2, 440.0, -85.0, 16));
    ScratchDir out;
    const test::Bytes goodCopy = {1, 2, 3};
    test::WriteBytes(out.file("tiny.wav"), goodCopy);
    List({tiny, backwards}, kRangeBcStart, kRangeBcStop);
    List({quiet}, kRangeFileStart, kRangeFileEnd);
    list.SetValue(0, kColumnGain, CellValue("6.000"));
    host.output = true;
    host.soundPath = out.path();
    const std::vector<RowResult> results = RunMeasurement(list, host);
    ASSERT_EQ(results.size(), 3u);
    EXPECT_FALSE(results[0].Measured);
    EXPECT_FALSE(results[0].WriteAttempted);
    EXPECT_EQ(results[0].Reason, RowReason::NotMeasured);
    EXPECT_EQ(test::ReadBytes(out.file("tiny.wav")), goodCopy);
    EXPECT_EQ(list.Value(0, kColumnGain).AsText(), "6.000") << "the row keeps its earlier figures";
    EXPECT_EQ(results[1].Reason, RowReason::EmptyRange);
    EXPECT_TRUE(results[2].Measured);
    EXPECT_TRUE(results[2].TooQuiet);
    EXPECT_EQ(results[2].Reason, RowReason::TooQuiet);
    EXPECT_EQ(list.Value(2, kColumnLKFS).AsText(), "-70.00") << "the figures are shown";
    EXPECT_FALSE(results[2].WriteAttempted);
    EXPECT_EQ(Files(out.path()).size(), 1u) << "nothing but the earlier copy";
}

TEST_F(BatchRun, WorkerThreadsGiveTheListAndTheFilesOfASequentialRun) {
    ScratchDir seqDir, parDir;
    auto make = [](const ScratchDir& pDir) {
        std::vector<std::string> paths;
        for (int i = 0; i < 4; ++i)
            paths.push_back(Programme(pDir.file("p" + std::to_string(i) + ".wav"), -20.0 - 4 * i, 1.5, i == 2));
        // The same file twice, and a title that looks like a numbered name.
        paths.push_back(paths[0]);
        paths.push_back(Programme(pDir.file("p001.wav"), -26.0, 1.5));
        return paths;
    };
    ListViewModel seqList, parList;
    ConfigureFileList(seqList);
    ConfigureFileList(parList);
    RecordingIntake intake;
    for (const std::string& p : make(seqDir)) AddTitle(seqList, intake, p, kLastItem);
    for (const std::string& p : make(parDir)) AddTitle(parList, intake, p, kLastItem);
    RecordingRun seqHost, parHost;
    seqHost.output = parHost.output = true;  // in place
    const std::vector<RowResult> seq = RunMeasurement(seqList, seqHost);
    const std::vector<RowResult> par = RunMeasurementParallel(parList, parHost, 3);
    ASSERT_EQ(seq.size(), par.size());
    for (std::int32_t row = 0; row < seqList.ItemCount(); ++row) {
        for (std::int32_t c = 0; c < kFileListColumns; ++c) EXPECT_EQ(seqList.Value(row, c), parList.Value(row, c));
        EXPECT_EQ(seqList.DispColor(row), parList.DispColor(row));
        EXPECT_EQ(seq[static_cast<size_t>(row)].Written, par[static_cast<size_t>(row)].Written);
    }
    EXPECT_EQ(Files(seqDir.path()), Files(parDir.path()));
    for (const std::string& name : Files(seqDir.path()))
        EXPECT_EQ(test::ReadBytes(seqDir.file(name)), test::ReadBytes(parDir.file(name))) << name;
    EXPECT_EQ(parHost.finishes, 1);
}

TEST_F(BatchRun, BroadcastMeasuresComeOnlyWhenAskedForAndLeaveTheFiguresAsTheyWere) {
    // Three seconds reach one short-term window; one and a half do not.
    const std::vector<std::string> paths = {Programme(dir.file("long.wav"), -30.0, 3.5),
                                            Programme(dir.file("short.wav"), -20.0, 1.5)};
    List(paths);
    const std::vector<RowResult> plain = RunMeasurement(list, host);
    ASSERT_EQ(plain.size(), 2u);
    for (const RowResult& r : plain) EXPECT_FALSE(r.Broadcast.has_value()) << "the window asks for none";

    auto listed = [&](ListViewModel& pList) {
        ConfigureFileList(pList);
        RecordingIntake intake;
        for (const std::string& path : paths) AddTitle(pList, intake, path, kLastItem);
    };
    ListViewModel seqList, parList;
    listed(seqList);
    listed(parList);
    RecordingRun seqHost, parHost;
    seqHost.extras = parHost.extras = true;
    const std::vector<RowResult> seq = RunMeasurement(seqList, seqHost);
    const std::vector<RowResult> par = RunMeasurementParallel(parList, parHost, 2);
    ASSERT_EQ(seq.size(), 2u);
    ASSERT_EQ(par.size(), 2u);
    for (size_t i = 0; i < seq.size(); ++i) {
        EXPECT_EQ(seq[i].LKFS, plain[i].LKFS);
        EXPECT_EQ(seq[i].Peak, plain[i].Peak);
        EXPECT_EQ(seq[i].GainText, plain[i].GainText);
        ASSERT_TRUE(seq[i].Broadcast.has_value());
        ASSERT_TRUE(par[i].Broadcast.has_value());
        const BroadcastFigures& figures = *seq[i].Broadcast;
        // A sine's true peak is its sample peak; its momentary loudness is steady.
        EXPECT_NEAR(*figures.TruePeak, seq[i].Peak, 0.05);
        EXPECT_NEAR(*figures.MaxMomentary, seq[i].LKFS, 0.05);
        // The copy at the gain as shown meets the target.
        EXPECT_NEAR(figures.OutputLKFS, -24.0, 0.01);
        EXPECT_EQ(figures.TruePeak, par[i].Broadcast->TruePeak);
        EXPECT_EQ(figures.MaxShortTerm, par[i].Broadcast->MaxShortTerm);
        EXPECT_EQ(figures.LoudnessRange, par[i].Broadcast->LoudnessRange);
    }
    EXPECT_NEAR(*seq[0].Broadcast->MaxShortTerm, seq[0].LKFS, 0.05);
    EXPECT_NEAR(*seq[0].Broadcast->LoudnessRange, 0.0, 0.1);
    EXPECT_FALSE(seq[1].Broadcast->MaxShortTerm.has_value());
    EXPECT_FALSE(seq[1].Broadcast->LoudnessRange.has_value());
}

}  // namespace
}  // namespace sonivate

namespace sonivate {
namespace {

// A quarter-rate tone whose samples fall 45 degrees off its crests: every
// sample reads 3 dB below the waveform's true peak.
std::string OffCrestTone(const std::string& pPath, double pDbfs) {
    const double amplitude = 32767.0 * std::pow(10.0, pDbfs / 20.0);
    test::Samples samples;
    for (std::int32_t n = 0; n < 2 * kRate; ++n) {
        const auto value = static_cast<std::int32_t>(std::lround(amplitude * std::sin(M_PI / 2 * n + M_PI / 4)));
        samples.insert(samples.end(), {value, value});
    }
    return test::WriteWav(pPath, {}, samples);
}

TEST_F(BatchRun, TheClipTestCountsTheTruePeakWhenItIsMeasured) {
    const std::string path = OffCrestTone(dir.file("sibilant.wav"), -6.0);
    List({path});
    host.extras = true;
    const std::vector<RowResult> first = RunMeasurement(list, host);
    ASSERT_TRUE(first.at(0).Measured);
    ASSERT_TRUE(first[0].Broadcast && first[0].Broadcast->TruePeak);
    const double samplePeak = first[0].Peak;
    const double truePeak = *first[0].Broadcast->TruePeak;
    ASSERT_GT(truePeak - samplePeak, 2.5);
    // A target that puts the sample peak 1.5 dB under full scale puts the
    // true peak well above it. (A tone this high in frequency reads louder
    // than any target a run accepts, so the row goes straight to the work.)
    const double gain = -samplePeak - 1.5;
    ScratchDir out;
    RunChoices choices;
    choices.Target = first[0].LKFS + gain;
    choices.Output = OutputTarget::Folder(out.path());
    choices.Extras = true;
    RowWork work;
    work.Source = path;
    const RowResult second = ProcessRow(work, choices, host);
    EXPECT_LT(second.Gain + second.Peak, 0.0);
    EXPECT_TRUE(second.Clip);
    EXPECT_EQ(second.Reason, RowReason::WouldClip);
    EXPECT_TRUE(Files(out.path()).empty());
    // Without the true peak only the sample peak counts, as before.
    choices.Extras = false;
    EXPECT_FALSE(ProcessRow(work, choices, host).Clip);
}

// Six channels, 2 s: the mains (L R C Ls Rs) a tone at -36 dBFS, the LFE
// (the fourth channel) a 60 Hz tone at pLfeDbfs. The LFE is not in the
// loudness sum but it is in the file.
std::string FiveOneWithLfe(const std::string& pPath, double pLfeDbfs) {
    constexpr std::int16_t kChannels = 6;
    constexpr std::int32_t kLfe = 3;
    constexpr double kMainsDbfs = -36.0;
    const test::Samples mains = test::Sine(2 * kRate, 1, 997.0, kMainsDbfs, 16);
    const test::Samples lfe = test::Sine(2 * kRate, 1, 60.0, pLfeDbfs, 16);
    test::Samples samples;
    for (size_t f = 0; f < mains.size(); ++f)
        for (std::int32_t c = 0; c < kChannels; ++c) samples.push_back(c == kLfe ? lfe[f] : mains[f]);
    test::WavSpec layout;
    layout.channels = kChannels;
    return test::WriteWav(pPath, layout, samples);
}

TEST_F(BatchRun, AFiveOneRowWhoseOnlyPeakIsInTheLfeIsMarkedClipAndNotWritten) {
    ScratchDir out;
    // The mains gain about 7 dB to the target: the LFE's -6 dBFS would pass
    // full scale, its -12 dBFS would not.
    List({FiveOneWithLfe(dir.file("lfe-hot.wav"), -6.0), FiveOneWithLfe(dir.file("lfe-low.wav"), -12.0)});
    host.output = true;
    host.soundPath = out.path();
    for (const bool truePeak : {false, true}) {
        SCOPED_TRACE(truePeak ? "true peak" : "sample peak");
        host.extras = truePeak;
        const std::vector<RowResult> results = RunMeasurement(list, host);
        ASSERT_TRUE(results.at(0).Measured);
        EXPECT_GT(results[0].Gain, 6.0);
        EXPECT_TRUE(results[0].Clip);
        EXPECT_EQ(results[0].Reason, RowReason::WouldClip);
        EXPECT_FALSE(results[0].Written);
        EXPECT_FALSE(results.at(1).Clip);
        EXPECT_TRUE(results[1].Written);
        EXPECT_EQ(Files(out.path()), std::vector<std::string>{"lfe-low.wav"});
    }
}

// A limited copy is written as the limiter verified it: the figures the row
// claims for its copy are those a fresh measurement of the written file gives.
TEST_F(BatchRun, ALimitedCopysFiguresAreThoseOfTheWrittenFile) {
    const std::string path = Programme(dir.file("clicks.wav"), -20.0, 3.0, true);
    ScratchDir out;
    RunChoices choices;
    choices.Output = OutputTarget::Folder(out.path());
    choices.Extras = true;
    choices.OnClip = ClipAction::Limit;
    RowWork work;
    work.Source = path;
    work.End = 3 * kRate;  // the whole programme, as the intake fixes it
    // 3 dB up: the clicks go over full scale, the tone stays far below.
    choices.Target = ProcessRow(work, RunChoices{}, host).LKFS + 3.0;
    const RowResult row = ProcessRow(work, choices, host);
    ASSERT_TRUE(row.Written) << ReasonCode(row.Reason);
    EXPECT_EQ(row.ClipStep, ClipTaken::Limited);
    ASSERT_TRUE(row.Limiter && row.CopyMeasured);
    EXPECT_GT(row.Limiter->MaxReductionDB, 2.0);

    const int fd = ::open(row.OutputPath.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    bool stopped = false;
    const std::optional<CopyFigures> fresh = MeasureCopyFigures(fd, SourceLoudness{}, nullptr, stopped);
    ::close(fd);
    ASSERT_TRUE(fresh && fresh->Integrated && fresh->TruePeak);
    EXPECT_DOUBLE_EQ(*row.CopyMeasured->Integrated, *fresh->Integrated);
    EXPECT_DOUBLE_EQ(*row.CopyMeasured->TruePeak, *fresh->TruePeak);
    EXPECT_EQ(row.CopyMeasured->SamplePeak, fresh->SamplePeak);
    EXPECT_EQ(row.CopyMeasured->MaxShortTerm, fresh->MaxShortTerm);
    EXPECT_LE(*fresh->TruePeak, kDefaultCeilingDBTP);
    EXPECT_NEAR(*fresh->Integrated, choices.Target, 0.1);

    // A copy that fails before the limiter renders it keeps its own reason.
    ScratchDir gone;
    choices.Output = OutputTarget::Folder(gone.path());
    std::filesystem::remove_all(gone.path());
    const RowResult failed = ProcessRow(work, choices, host);
    EXPECT_FALSE(failed.Written);
    EXPECT_EQ(failed.Reason, RowReason::OutputUnavailable) << ReasonCode(failed.Reason);
    EXPECT_EQ(failed.ClipStep, ClipTaken::None);
}

TEST_F(BatchRun, ACopyNeverReplacesAnotherSourceOfTheRun) {
    // x.bwf's copy is named x.wav, which is the separate recording listed
    // after it; the output folder is the sources' own.
    const std::string bwf = Programme(dir.file("x.bwf"), -30.0);
    const std::string wav = Programme(dir.file("x.wav"), -18.0);
    const test::Bytes recording = test::ReadBytes(wav);
    List({bwf, wav});
    host.output = true;
    host.soundPath = dir.path();
    const std::vector<RowResult> results = RunMeasurement(list, host);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].Reason, RowReason::SourceOfRun);
    EXPECT_FALSE(results[0].Written);
    EXPECT_NEAR(results[1].LKFS, -18.0, 0.5) << "x.wav is measured as itself";
    EXPECT_TRUE(results[1].Written) << "a source may still become its own copy";
    EXPECT_NE(test::ReadBytes(wav), recording);
}

}  // namespace
}  // namespace sonivate
