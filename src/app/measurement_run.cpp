#include "app/measurement_run.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <new>

#include "app/batch_controller.h"
#include "app/measurement_run_detail.h"
#include "app/output_copy.h"
#include "app/watch_journal.h"
#include "platform/posix_file.h"
#include "wavefile/byte_source.h"
#include "wavefile/encoded_audio.h"
#include "common/basic_file.h"
#include "common/decimal_text.h"
#include "common/error_trap.h"
#include "common/formatting.h"
#include "common/paths.h"
#include "loudness/bs1770.h"
#include "loudness/broadcast_measures.h"
#include "loudness/c_lkfsfct.h"
#include "platform/pending_file.h"
#include "wavefile/wave_check.h"
#include "wavefile/wave_mmio.h"
#include "writer/limited_gain.h"

namespace sonivate {

const char* const kStatusMeasuring = " 計測処理…";
const char* const kStatusFinished = "終了";

namespace {

constexpr std::int32_t kLKFSDecimals = 2;
constexpr std::int32_t kPeakDecimals = 2;
constexpr std::int32_t kGainDecimals = 3;

// The source's own folder with a separator; "" for a name without a folder
// (the working folder), never the root.
std::string SourceFolder(const std::string& pSource) {
    if (pSource.find(kPathSeparator) == std::string::npos) return {};
    return PathPart(pSource, true, true, false, false, false, kKeepCase);
}

// Blocks at or below the absolute gate never count: a file with none above
// it has no programme loudness to bring anywhere.
using bs1770::kAbsoluteGateLKFS;

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

namespace {

// The source's folder held open for an in-place copy, with the source's name
// in it; the name must still refer to the file held.
struct InPlaceFolder {
    int Fd = -1;
    int Error = 0;
    ~InPlaceFolder() { platform::CloseFile(Fd); }
};

RowReason OpenSource(SourceHold& pHold, const RowWork& pWork, const RunChoices& pChoices, bool pLock) {
    if (pWork.Opened) return pHold.Adopt(pWork.Source, pWork.Opened->Descriptor(), pChoices.NoFollow, pLock);
    return pLock ? pHold.Acquire(pWork.Source, pChoices.NoFollow) : pHold.Open(pWork.Source, pChoices.NoFollow);
}

// A copy that saturates, or whose gain was lowered or limited, is no scaling
// of its source at the gain shown: its figures are taken from the copy itself.
bool CopyMeasuredItself(const RowResult& pResult, double pGain) {
    return pGain + pResult.Peak > 0.0 || pResult.ClipStep == ClipTaken::Lowered ||
           pResult.ClipStep == ClipTaken::Limited;
}

// The gain a row's copy is written with, after what its clip action asks
// when the gain would take the copy over the ceiling; none (with the reason
// set) when it is not to be written. pLimited keeps the limiter's curve for
// the copy.
std::optional<CopyGain> PlanClipStep(RowResult& pResult, LimitedGain& pLimited, const WaveFormatInfo& pInfo,
                                     FileHandle pSourceHandle, const RowWork& pWork, const RunChoices& pChoices,
                                     double pGain, const SourceLoudness& pSourceLoudness, ProgressHost& pProgress) {
    pResult.AppliedGain = pGain;
    if (pChoices.OnClip == ClipAction::Skip) return CopyGain(pGain);
    if (pChoices.OnClip == ClipAction::Write) {
        if (pResult.Clip) pResult.ClipStep = ClipTaken::Clipped;
        return CopyGain(pGain);
    }
    // The true peak as measured with the extras answers at once for a copy
    // well under the ceiling; otherwise the limiter's analysis measures it.
    const std::optional<double> truePeak = pResult.Broadcast ? pResult.Broadcast->TruePeak : std::nullopt;
    if (truePeak && pGain + *truePeak <= pChoices.CeilingDBTP) return CopyGain(pGain);
    pLimited.StopRequested = [&pProgress] { return pProgress.StopRequested(); };
    // The meter's blocks let the limiter predict its make-up gain exactly.
    LimiterStatus status = pLimited.Analyse(pInfo, pSourceHandle, pWork.Start, pWork.End,
                                            std::optional<double>(pResult.LKFS), pSourceLoudness.BlockPowers);
    if (status == LimiterStatus::Ok && pGain + pLimited.SourceTruePeakDBTP() <= pChoices.CeilingDBTP)
        return CopyGain(pGain);
    if (status == LimiterStatus::Ok) {
        if (pChoices.OnClip == ClipAction::Lower) {
            double lowered = pGain;
            status = pLimited.Lower(pGain, pChoices.CeilingDBTP, lowered);
            if (status == LimiterStatus::Ok) {
                pResult.ClipStep = ClipTaken::Lowered;
                pResult.AppliedGain = lowered;
                return CopyGain(lowered);
            }
        } else {
            // Planned as the copy is written: the rendering the meter verifies
            // is the copy's range itself, and that measurement gives the
            // copy's figures (SettleLimitedCopy tells the row what became of it).
            LimitedRange range;
            range.Limited = &pLimited;
            range.RequestDB = pGain;
            range.Settings.CeilingDBTP = pChoices.CeilingDBTP;
            range.Settings.MaxReductionDB = pChoices.MaxReductionDB;
            range.Settings.MeasureAll = true;
            return CopyGain(pGain, range);
        }
    }
    switch (status) {
        case LimiterStatus::Canceled:
            pResult.Reason = RowReason::Stopped;
            break;
        case LimiterStatus::Unsupported:
            pResult.Reason = RowReason::UnsupportedFormat;
            break;
        default:
            pResult.Reason = RowReason::WriteFailed;
            pResult.WriteError = EIO;
            break;
    }
    return std::nullopt;
}

// What the limiter made of a row whose copy it rendered: the action, the
// gain and the limiter's figures of a copy written, or why there is none:
// the limiter's refusal, else the copy's own reason (a copy that failed
// before its range leaves the limiter as its analysis left it).
void SettleLimitedCopy(RowResult& pResult, const LimitedGain& pLimited) {
    const LimiterStatus status = pLimited.Status();
    if (pResult.Written) {
        if (status != LimiterStatus::Ok) return;
        pResult.ClipStep = ClipTaken::Limited;
        pResult.AppliedGain = pLimited.GainDB();
        pResult.Limiter = pLimited.Report();
        return;
    }
    if (status == LimiterStatus::LimitExceeded || status == LimiterStatus::NotConverged) {
        pResult.Reason = RowReason::LimitExceeded;
        pResult.WriteError = 0;
        pResult.NeededReductionDB = pLimited.NeededReductionDB();
    }
}

// The figures of a limited copy: the limiter's final measurement of the
// rendering that was written.
CopyFigures LimitedCopyFigures(const LimitedGain& pLimited) {
    CopyFigures figures;
    if (pLimited.IntegratedMeasured()) figures.Integrated = pLimited.IntegratedLUFS();
    figures.TruePeak = pLimited.TruePeakDBTP();
    const LimitedCopyMeasures& measures = pLimited.Measures();
    figures.SamplePeak = measures.SamplePeakDBFS;
    figures.LoudnessRange = measures.LoudnessRangeLU;
    figures.MaxMomentary = measures.MaxMomentaryLUFS;
    figures.MaxShortTerm = measures.MaxShortTermLUFS;
    return figures;
}

// The gain (dB) leaves the audio as it is under the run's tolerance (LU).
bool WithinTolerance(double pGain, double pToleranceLU) {
    return pToleranceLU > 0.0 && std::fabs(pGain) <= pToleranceLU;
}

// The figures of a copy that is its source byte for byte.
CopyFigures SourceAsCopy(const RowResult& pResult) {
    CopyFigures figures;
    figures.Integrated = pResult.LKFS;
    figures.SamplePeak = pResult.Peak;
    if (pResult.Broadcast) {
        const BroadcastFigures& source = *pResult.Broadcast;
        figures.TruePeak = source.TruePeak;
        figures.LoudnessRange = source.LoudnessRange;
        figures.MaxMomentary = source.MaxMomentary;
        figures.MaxShortTerm = source.MaxShortTerm;
    }
    return figures;
}

// Writes the copy of a measured row into the run's output target (or in
// place) and records what became of it in pResult. An exact copy (pExact:
// the row is within the tolerance, pGain is 0 dB) keeps the source's bext as
// it is: no loudness field is rewritten.
void WriteRowCopy(RowResult& pResult, const SourceHold& pHold, const RowWork& pWork, const RunChoices& pChoices,
                  bool pInPlace, const std::string& pFolder, const std::string& pName, const CopyGain& pGain,
                  const SourceLoudness& pSourceLoudness, ProgressHost& pProgress, RunOutputs* pRun,
                  bool pExact = false) {
    const OutputTarget& output = *pChoices.Output;
    InPlaceFolder here;
    int folderFd = output.FolderFd();
    if (pInPlace) {
        here.Fd = platform::OpenFolder(pFolder, here.Error);
        if (here.Fd < 0) {
            pResult.Reason = RowReason::WriteFailed;
            pResult.WriteError = here.Error;
            return;
        }
        folderFd = here.Fd;
    } else if (const int unusable = output.CheckUsable(); unusable != 0) {
        pResult.Reason = RowReason::OutputUnavailable;
        pResult.WriteError = unusable;
        return;
    }
    const bool saturates = CopyMeasuredItself(pResult, pGain.GainDB);
    std::optional<CopyFigures> measured;
    const CopyOutcome copy = WriteCopySafely(
        pHold, CopyPlace{folderFd, pName, pResult.OutputPath},
        pInPlace ? TargetRule::InPlace : TargetRule::OutputFolder, pWork.Start, pWork.End, pGain, pProgress, pRun,
        [&](int pCopyFd) {
            if (pExact) return 0;
            if (pGain.Limited) {
                measured = LimitedCopyFigures(*pGain.Limited->Limited);
                return WriteCopyLoudness(pCopyFd, measured, pChoices.BextLoudness);
            }
            if (!saturates)
                return UpdateCopyLoudness(pCopyFd, pSourceLoudness, pGain.GainDB, pChoices.BextLoudness, &pProgress);
            bool stopped = false;
            measured = MeasureCopyFigures(pCopyFd, pSourceLoudness, &pProgress, stopped);
            if (stopped) return ECANCELED;
            return WriteCopyLoudness(pCopyFd, measured, pChoices.BextLoudness);
        });
    pResult.Written = copy.Written;
    pResult.FolderSyncError = copy.FolderSyncError;
    if (copy.Written) {
        pResult.Copy = CopyState::Written;
        pResult.CopyMeasured = pExact ? std::optional<CopyFigures>(SourceAsCopy(pResult)) : measured;
        if (saturates && !measured) {
            // The copy stands but could not be measured: claim nothing of it.
            pResult.CopyMeasured = CopyFigures{};
        }
        return;
    }
    pResult.Reason = copy.Reason;
    pResult.WriteError = copy.Error;
    // A folder that went away while the copy was made: the cause is the folder.
    if (!pInPlace && copy.Reason == RowReason::WriteFailed) {
        if (const int unusable = output.CheckUsable(); unusable != 0) {
            pResult.Reason = RowReason::OutputUnavailable;
            pResult.WriteError = unusable;
        }
    }
}

}  // namespace

std::optional<CopyFigures> RowCopyFigures(const RowResult& pResult) {
    if (pResult.Copy == CopyState::None || !pResult.Measured) return std::nullopt;
    if (pResult.CopyMeasured) return pResult.CopyMeasured;
    const double gain = ParseDecimal(pResult.GainText).value_or(0.0);
    CopyFigures figures;
    figures.SamplePeak = pResult.Peak + gain;
    if (pResult.Broadcast) {
        const BroadcastFigures& source = *pResult.Broadcast;
        figures.Integrated = source.OutputLKFS;
        auto raised = [gain](const std::optional<double>& pValue) {
            return pValue ? std::optional<double>(*pValue + gain) : std::nullopt;
        };
        figures.TruePeak = raised(source.TruePeak);
        figures.MaxMomentary = raised(source.MaxMomentary);
        figures.MaxShortTerm = raised(source.MaxShortTerm);
        // A plain gain moves every short-term value alike: the range stays.
        figures.LoudnessRange = source.LoudnessRange;
    } else {
        figures.Integrated = pResult.LKFS + gain;
    }
    return figures;
}

RowResult ProcessRow(const RowWork& pWork, const RunChoices& pChoices, ProgressHost& pProgress,
                     const std::function<void(const RowResult&)>& pOnMeasured, RunOutputs* pRun) {
    RowResult result;
    result.Id = pWork.Id;
    result.Row = pWork.Row;
    const bool writes = pChoices.Output && pChoices.Output->Writes();
    if (!pWork.Opened && !pWork.Source.empty() && pWork.Source.front() != kPathSeparator &&
        AbsolutePath(pWork.Source).empty()) {
        result.SourceFound = true;
        result.Reason = RowReason::NoWorkingFolder;
        return result;
    }

    const bool inPlace = writes && pChoices.Output->What() == OutputTarget::Kind::InPlace;
    const std::string folder = inPlace ? SourceFolder(pWork.Source) : writes ? pChoices.Output->FolderPath() : "";
    const std::string title = PathPart(pWork.Source, false, false, true, false, false, kKeepCase);
    const std::string sourceName = PathPart(pWork.Source, false, false, true, true, true, kKeepCase);
    // In place a ".wav" source keeps its own name, letter case included.
    const std::string outputName = inPlace && HasWavExtension(pWork.Source) ? sourceName : title + kWavExtension;
    const std::string outputPath = inPlace && HasWavExtension(pWork.Source) ? pWork.Source : folder + outputName;

    // The source is opened once: the check, the markers, the hash, the
    // measurement and the copy all read this descriptor, and with output on
    // it is held (an advisory lock) until its copy is published.
    SourceHold hold;
    if (const RowReason refused = OpenSource(hold, pWork, pChoices, writes); refused != RowReason::None) {
        // A name with nothing (or a folder) behind it: the list keeps the
        // row as it was, the outcome still says why.
        result.SourceFound =
            !(refused == RowReason::Missing || (refused == RowReason::NotRegular && hold.Error() == EISDIR));
        result.Reason = refused;
        if (writes && refused != RowReason::Missing && refused != RowReason::NotRegular &&
            refused != RowReason::Unreadable && refused != RowReason::CannotOpen) {
            result.WriteAttempted = true;
            result.OutputPath = outputPath;
        }
        return result;
    }
    result.SourceFound = true;
    const FileHandle sourceHandle = HandleOfDescriptor(hold.Descriptor());
    const HandleSource source(sourceHandle);

    pProgress.ShowStatus(title + kStatusMeasuring);
    if (pChoices.HashContent) {
        std::uint64_t hash = 0;
        if (const int error = HashDescriptorContent(hold.Descriptor(), hash); error != 0) {
            result.Reason = RowReason::CannotOpen;
            return result;
        }
        result.ContentHash = hash;
    }
    // The file as it is now: it may have changed since it was listed.
    const WaveCheck check = CheckWave(source);
    if (check.Problem != WaveProblem::None || RangeIsEmpty(pWork, check)) {
        result.Reason = check.Problem != WaveProblem::None ? ReasonOfWave(check.Problem) : RowReason::EmptyRange;
        pProgress.SetProgress(0);
        return result;
    }
    result.FileFrames = check.Info().FramesInFile;
    result.SampleRate = check.Info().SampleRate;
    // Compressed audio carried as PCM is data, not sound: nothing is measured
    // and no gain ever touches it. Nor is a layout without known weights.
    if (const RowReason layout = ReasonOfCheck(check); layout != RowReason::None) {
        result.Reason = layout;
        pProgress.SetProgress(0);
        return result;
    }
    if (DetectEncodedAudio(source, check.Info()).Found) {
        result.Reason = RowReason::EncodedAudio;
        pProgress.SetProgress(0);
        return result;
    }
    result.IncompleteData = check.IncompleteData();
    if (pChoices.Series) ReadCueMarkers(pWork.Source, sourceHandle, result.Markers);
    double gainForOutput = 0.0;
    // What the copy's bext loudness fields and figures are made from.
    SourceLoudness sourceLoudness;
    try {
        C_LKFSFCT meter(pProgress.RunPump());
        BroadcastMeasures extras;
        if (pChoices.Extras) {
            extras.Listen(meter);
            if (writes || pChoices.Series) extras.KeepSeries(true);
        }
        meter.MeasureLKFSProg = [&](float pRate, std::int32_t& pCancel) { HandleProgress(pProgress, pRate, pCancel); };
        if (meter.MeasureLKFS(source, pWork.Start, pWork.End) != 0) {
            result.Measured = true;
            result.LKFS = meter.LKFSValue();
            result.LKFSText = FormatFixed(result.LKFS, kLKFSDecimals);
            result.Peak = meter.PeakValue();
            result.PeakText = FormatFixed(result.Peak, kPeakDecimals);
            result.TooQuiet = !AnyBlockAboveGate(meter);
            if (!result.TooQuiet) {
                // No gain for a file without programme loudness: any number
                // would be invented.
                result.Gain = meter.AsymptoteLKFS(pChoices.Target);
                result.GainText = FormatFixed(result.Gain, kGainDecimals);
            }
            // The clip test and the copy use the gain as shown, not the
            // unrounded search result.
            gainForOutput = ParseDecimal(result.GainText).value_or(0.0);
            result.Clip = !result.TooQuiet && gainForOutput + meter.PeakValue() > 0.0;
            if (pChoices.Extras) {
                BroadcastFigures& figures = result.Broadcast.emplace();
                if (extras.Begun()) {
                    figures.TruePeak = extras.TruePeak();
                    figures.DownmixTruePeak = extras.DownmixTruePeak();
                    figures.TruePeakFrame = extras.TruePeakFrame();
                    figures.LoudnessRange = extras.LoudnessRange();
                    figures.MaxMomentary = extras.MaxMomentary();
                    figures.MaxShortTerm = extras.MaxShortTerm();
                    if (pChoices.Series) figures.Series = extras.Series();
                }
                figures.OutputLKFS = meter.CalcLKFS(gainForOutput);
                // Inter-sample peaks clip a copy as surely as sample peaks.
                if (!result.TooQuiet && figures.TruePeak && gainForOutput + *figures.TruePeak > 0.0) result.Clip = true;
            }
            if (writes)
                sourceLoudness = SourceLoudnessOf(meter, pChoices.Extras ? &extras : nullptr, pWork.Start, pWork.End);
            // Until the copy stands, a row of a writing run has no copy
            // figures. A run that writes nothing projects only the copy a
            // plain scaling would give: a row that would clip is refused,
            // saturated, lowered or limited, and none of those is the
            // source moved by the gain.
            if (!writes && !result.TooQuiet && !result.Clip) result.Copy = CopyState::Projected;
            if (pOnMeasured) pOnMeasured(result);
        } else {
            result.Reason = pProgress.StopRequested() ? RowReason::Stopped : RowReason::NotMeasured;
        }
    } catch (const std::bad_alloc&) {
        result = RowResult{};
        result.Id = pWork.Id;
        result.Row = pWork.Row;
        result.SourceFound = true;
        result.Reason = RowReason::OutOfMemory;
    }

    auto attempt = [&] {
        result.WriteAttempted = true;
        result.OutputPath = outputPath;
    };
    if (!result.Measured) {
        // Nothing measured in this run, nothing written: an old gain or 0 dB
        // would replace a good copy or a source with a wrong one.
    } else if (result.TooQuiet) {
        result.Reason = RowReason::TooQuiet;
    } else if (writes && inPlace && result.IncompleteData) {
        // What is missing may still be coming: a source cut short or still
        // being written is never replaced.
        attempt();
        result.Reason = RowReason::IncompleteData;
    } else if (writes && WithinTolerance(gainForOutput, pChoices.ToleranceLU)) {
        // Already on target: nothing is gained, so nothing can clip. In
        // place the source stays as it is, its bytes and its times.
        attempt();
        result.WithinTolerance = true;
        result.AppliedGain = 0.0;
        if (inPlace) {
            result.Written = true;
            result.Copy = CopyState::Written;
            result.CopyMeasured = SourceAsCopy(result);
        } else if (pChoices.Sources && pChoices.Sources->IsOtherSource(outputPath, pWork.Source)) {
            result.Reason = RowReason::SourceOfRun;
        } else {
            WriteRowCopy(result, hold, pWork, pChoices, false, folder, outputName, CopyGain(0.0), sourceLoudness,
                         pProgress, pRun, true);
        }
    } else if (writes && pChoices.OnClip == ClipAction::Skip && result.Clip) {
        result.Reason = RowReason::WouldClip;
    } else if (writes && pChoices.Sources && pChoices.Sources->IsOtherSource(outputPath, pWork.Source)) {
        attempt();
        result.Reason = RowReason::SourceOfRun;
    } else if (writes) {
        attempt();
        LimitedGain limited;
        const std::optional<CopyGain> gain = PlanClipStep(result, limited, check.Info(), sourceHandle, pWork, pChoices,
                                                          gainForOutput, sourceLoudness, pProgress);
        if (gain) {
            WriteRowCopy(result, hold, pWork, pChoices, inPlace, folder, outputName, *gain, sourceLoudness, pProgress,
                         pRun);
            if (gain->Limited) SettleLimitedCopy(result, limited);
        }
    }
    pProgress.SetProgress(0);
    return result;
}

namespace detail {

RowWork ReadRowWork(const BatchRows& pRows, std::int32_t pRow) {
    const BatchRow row = pRows.Row(pRow);
    RowWork work;
    work.Id = pRows.IdAt(pRow);
    work.Row = pRow;
    work.Source = row.Path;
    work.Start = row.Start;
    work.End = row.End;
    work.Opened = row.Opened;
    return work;
}

RunChoices ReadChoices(const RunHost& pHost, double pTarget, std::shared_ptr<const OutputTarget> pOutput) {
    RunChoices choices;
    choices.Target = pTarget;
    choices.Output = std::move(pOutput);
    choices.OnClip = pHost.OnClip();
    choices.CeilingDBTP = pHost.CeilingDBTP();
    choices.MaxReductionDB = pHost.MaxReductionDB();
    choices.ToleranceLU = pHost.ToleranceLU();
    choices.NoFollow = pHost.NoFollow();
    choices.HashContent = pHost.HashContent();
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
