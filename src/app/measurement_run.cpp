#include "app/measurement_run.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <new>

#include "app/batch_controller.h"
#include "app/measurement_run_detail.h"
#include "app/output_copy.h"
#include "common/basic_file.h"
#include "common/decimal_text.h"
#include "common/error_trap.h"
#include "common/formatting.h"
#include "common/paths.h"
#include "loudness/broadcast_measures.h"
#include "loudness/c_lkfsfct.h"
#include "platform/pending_file.h"
#include "wavefile/wave_check.h"
#include "wavefile/wave_mmio.h"

namespace sonivate {

const char* const kStatusMeasuring = " 計測処理…";
const char* const kStatusFinished = "終了";

namespace {

constexpr std::int32_t kLKFSDecimals = 2;
constexpr std::int32_t kPeakDecimals = 2;
constexpr std::int32_t kGainDecimals = 3;
constexpr const char* kOutputExtension = ".wav";

// The source's own folder with a separator; "" for a name without a folder
// (the working folder), never the root.
std::string SourceFolder(const std::string& pSource) {
    if (pSource.find(kPathSeparator) == std::string::npos) return {};
    return PathPart(pSource, true, true, false, false, false, kKeepCase);
}

bool HasWavExtension(const std::string& pPath) {
    return PathPart(pPath, false, false, false, true, true, kLowerCase) == kOutputExtension;
}

// Blocks at or below this loudness never count (LKFS): a file with none
// above it has no programme loudness to bring anywhere.
constexpr double kAbsoluteGateLKFS = -70.0;

// The row's range holds no frame: a start marker at or past the end of the
// audio, or an end marker before the start.
bool RangeIsEmpty(const RowWork& pWork, const WaveCheck& pCheck) {
    const std::int64_t frames = pCheck.Frames;
    const std::int64_t start = std::max<std::int64_t>(pWork.Start, 0);
    // An end at or below 0 is the end of the audio, as the meter reads it.
    const std::int64_t end = pWork.End <= 0 ? frames : std::min(pWork.End, frames);
    return start >= end;
}

bool AnyBlockAboveGate(const C_LKFSFCT& pMeter) {
    const std::vector<double>& blocks = pMeter.BlockLKFS();
    const auto count =
        static_cast<std::ptrdiff_t>(std::min<size_t>(static_cast<size_t>(pMeter.NumBlock()), blocks.size()));
    return std::any_of(blocks.begin(), blocks.begin() + count,
                       [](double pBlock) { return pBlock > kAbsoluteGateLKFS; });
}

}  // namespace

void RunSources::Add(const std::string& pPath) {
    const platform::FileIdentity file = platform::IdentityOfName(pPath);
    if (file.Valid && file.Regular) mFiles.emplace_back(file.Device, file.Inode);
}

bool RunSources::IsOtherSource(const std::string& pTarget, const std::string& pOwnSource) const {
    const platform::FileIdentity target = platform::IdentityOfName(pTarget);
    if (!target.Valid || !target.Regular) return false;
    if (target.SameFile(platform::IdentityOfName(pOwnSource))) return false;
    return std::find(mFiles.begin(), mFiles.end(), std::make_pair(target.Device, target.Inode)) != mFiles.end();
}

RowResult ProcessRow(const RowWork& pWork, const RunChoices& pChoices, ProgressHost& pProgress,
                     const std::function<void(const RowResult&)>& pOnMeasured, RunOutputs* pRun) {
    RowResult result;
    result.Row = pWork.Row;
    const platform::PathKind kind = platform::KindOfPath(pWork.Source);
    if (kind == platform::PathKind::Missing || kind == platform::PathKind::Folder) {
        // The list keeps the row as it was; the outcome still says why.
        result.Reason = kind == platform::PathKind::Missing ? RowReason::Missing : RowReason::NotRegular;
        return result;
    }
    result.SourceFound = true;
    if (kind == platform::PathKind::Other) {
        result.Reason = RowReason::NotRegular;
        return result;
    }
    if (pWork.Source.front() != kPathSeparator && AbsolutePath(pWork.Source).empty()) {
        result.Reason = RowReason::NoWorkingFolder;
        return result;
    }

    const bool inPlace = FolderExists(pChoices.SoundPath) == 0;
    const std::string folder = inPlace ? SourceFolder(pWork.Source) : SetTrailingSeparator(pChoices.SoundPath, 0);
    const std::string title = PathPart(pWork.Source, false, false, true, false, false, kKeepCase);
    // In place a ".wav" source keeps its own name, letter case included.
    const std::string outputPath =
        inPlace && HasWavExtension(pWork.Source) ? pWork.Source : folder + title + kOutputExtension;

    // The file written must be the file measured: held from here on.
    SourceHold hold;
    if (pChoices.WavOutput) {
        if (const RowReason refused = hold.Acquire(pWork.Source); refused != RowReason::None) {
            result.Reason = refused;
            result.WriteAttempted = true;
            result.OutputPath = outputPath;
            return result;
        }
    }

    pProgress.ShowStatus(title + kStatusMeasuring);
    // The file as it is now: it may have changed since it was listed.
    const WaveCheck check = CheckWave(pWork.Source, 0);
    if (check.Problem != WaveProblem::None || RangeIsEmpty(pWork, check)) {
        result.Reason = check.Problem != WaveProblem::None ? ReasonOfWave(check.Problem) : RowReason::EmptyRange;
        pProgress.SetProgress(0);
        return result;
    }
    result.IncompleteData = check.IncompleteData();
    if (pChoices.Series) ReadCueMarkers(pWork.Source, 0, result.Markers);
    double gainForOutput = 0.0;
    // What the copy's bext loudness fields are made from.
    SourceLoudness sourceLoudness;
    const bool describeCopy = pChoices.WavOutput && pChoices.BextLoudness != BextLoudnessMode::Keep;
    try {
        C_LKFSFCT meter(pProgress.RunPump());
        BroadcastMeasures extras;
        if (pChoices.Extras) {
            extras.Listen(meter);
            if (describeCopy || pChoices.Series) extras.KeepSeries(true);
        }
        meter.MeasureLKFSProg = [&](float pRate, std::int32_t& pCancel) { HandleProgress(pProgress, pRate, pCancel); };
        if (meter.MeasureLKFS(pWork.Source, pWork.Start, pWork.End) != 0) {
            result.Measured = true;
            result.LKFS = meter.LKFSValue();
            result.LKFSText = FormatFixed(result.LKFS, kLKFSDecimals);
            result.Peak = meter.PeakValue();
            result.PeakText = FormatFixed(result.Peak, kPeakDecimals);
            result.Gain = meter.AsymptoteLKFS(pChoices.Target);
            result.GainText = FormatFixed(result.Gain, kGainDecimals);
            // The clip test and the copy use the gain as shown, not the
            // unrounded search result.
            gainForOutput = ParseDecimal(result.GainText).value_or(0.0);
            result.Clip = gainForOutput + meter.PeakValue() > 0.0;
            result.TooQuiet = !AnyBlockAboveGate(meter);
            if (pChoices.Extras) {
                BroadcastFigures& figures = result.Broadcast.emplace();
                if (extras.Begun()) {
                    figures.TruePeak = extras.TruePeak();
                    figures.LoudnessRange = extras.LoudnessRange();
                    figures.MaxMomentary = extras.MaxMomentary();
                    figures.MaxShortTerm = extras.MaxShortTerm();
                    if (pChoices.Series) figures.Series = extras.Series();
                }
                figures.OutputLKFS = meter.CalcLKFS(gainForOutput);
                // Inter-sample peaks clip a copy as surely as sample peaks.
                if (figures.TruePeak && gainForOutput + *figures.TruePeak > 0.0) result.Clip = true;
            }
            if (describeCopy)
                sourceLoudness = SourceLoudnessOf(meter, pChoices.Extras ? &extras : nullptr, pWork.Start, pWork.End);
            if (pOnMeasured) pOnMeasured(result);
        } else {
            result.Reason = pProgress.StopRequested() ? RowReason::Stopped : RowReason::NotMeasured;
        }
    } catch (const std::bad_alloc&) {
        result = RowResult{};
        result.Row = pWork.Row;
        result.SourceFound = true;
        result.Reason = RowReason::OutOfMemory;
    }

    if (!result.Measured) {
        // Nothing measured in this run, nothing written: an old gain or 0 dB
        // would replace a good copy or a source with a wrong one.
    } else if (result.TooQuiet) {
        result.Reason = RowReason::TooQuiet;
    } else if (pChoices.WavOutput && inPlace && result.IncompleteData) {
        // What is missing may still be coming: a source cut short or still
        // being written is never replaced.
        result.WriteAttempted = true;
        result.OutputPath = outputPath;
        result.Reason = RowReason::IncompleteData;
    } else if (pChoices.WavOutput && pChoices.NoClip && result.Clip) {
        result.Reason = RowReason::WouldClip;
    } else if (pChoices.WavOutput && pChoices.Sources && pChoices.Sources->IsOtherSource(outputPath, pWork.Source)) {
        result.WriteAttempted = true;
        result.OutputPath = outputPath;
        result.Reason = RowReason::SourceOfRun;
    } else if (pChoices.WavOutput) {
        result.WriteAttempted = true;
        result.OutputPath = outputPath;
        const CopyOutcome copy = WriteCopySafely(
            hold, outputPath, inPlace ? TargetRule::InPlace : TargetRule::OutputFolder, pWork.Start, pWork.End,
            gainForOutput, pProgress, pRun, [&](int pCopyFd) {
                if (!describeCopy) return 0;
                return UpdateCopyLoudness(pCopyFd, sourceLoudness, gainForOutput, pChoices.BextLoudness, &pProgress);
            });
        result.Written = copy.Written;
        result.FolderSyncError = copy.FolderSyncError;
        if (!copy.Written) {
            result.Reason = copy.Reason;
            result.WriteError = copy.Error;
        }
    }
    pProgress.SetProgress(0);
    return result;
}

namespace detail {

RowWork ReadRowWork(const BatchRows& pRows, std::int32_t pRow) {
    const BatchRow row = pRows.Row(pRow);
    RowWork work;
    work.Row = pRow;
    work.Source = row.Path;
    work.Start = row.Start;
    work.End = row.End;
    return work;
}

RunChoices ReadChoices(const RunHost& pHost, double pTarget) {
    RunChoices choices;
    choices.Target = pTarget;
    choices.WavOutput = pHost.WavOutput();
    choices.SoundPath = pHost.SoundPath();
    choices.NoClip = pHost.NoClip();
    choices.Extras = pHost.BroadcastExtras();
    choices.BextLoudness = pHost.BextLoudness();
    choices.Series = pHost.KeepSeries();
    return choices;
}

}  // namespace detail

std::vector<RowResult> RunMeasurement(BatchRows& pRows, RunHost& pHost, std::int32_t pJobs) {
    if (pJobs <= 1) {
        InlineExecutor executor;
        BatchController controller(pRows, pHost, executor);
        controller.Start();
        if (controller.Failure()) std::rethrow_exception(controller.Failure());
        return controller.Results();
    }
    TaskQueue owner;
    ThreadExecutor executor([&owner](std::function<void()> pTask) { owner.Post(std::move(pTask)); }, pJobs);
    BatchController controller(pRows, pHost, executor, pJobs);
    controller.Start();
    owner.RunUntil([&] { return !controller.Running(); });
    if (controller.Failure()) std::rethrow_exception(controller.Failure());
    return controller.Results();
}

}  // namespace sonivate
