#include "app/measurement_run.h"

#include <climits>
#include <cmath>
#include <cstdlib>

#include "app/batch_controller.h"
#include "app/file_list.h"
#include "app/measurement_run_detail.h"
#include "app/write_adjusted_wave.h"
#include "common/basic_file.h"
#include "common/error_trap.h"
#include "common/formatting.h"
#include "common/paths.h"
#include "loudness/c_lkfsfct.h"

namespace sonivate {

const char* const kStatusMeasuring = " 計測処理…";
const char* const kStatusFinished = "終了";

namespace {

constexpr std::int32_t kNumberedNameDigits = 2;
constexpr std::int32_t kLKFSDecimals = 2;
constexpr std::int32_t kPeakDecimals = 2;
constexpr std::int32_t kGainDecimals = 3;
constexpr const char* kOutputExtension = ".wav";

// Flushes a finished copy to the device before it is moved over an existing
// file, so that a crash cannot leave the name pointing at unwritten blocks.
void SyncToDisk(const std::string& pPath) {
    FileHandle handle = OpenFileHandle(pPath, kOpenRead);
    SyncFileHandle(handle);
    CloseFileHandle(handle);
}

std::string OutputFolderFor(const std::string& pSource, const std::string& pSoundPath) {
    if (FolderExists(pSoundPath) == 1) return SetTrailingSeparator(pSoundPath, 0);
    return PathPart(pSource, true, true, false, false, false, kKeepCase);
}

}  // namespace

RowResult ProcessRow(const RowWork& pWork, const RunChoices& pChoices, ProgressHost& pProgress,
                     const std::function<void(const RowResult&)>& pOnMeasured) {
    RowResult result;
    result.Row = pWork.Row;
    if (FileExists(pWork.Source) == 0) return result;
    result.SourceFound = true;

    const std::string folder = OutputFolderFor(pWork.Source, pChoices.SoundPath);
    const std::string title = PathPart(pWork.Source, false, false, true, false, false, kKeepCase);
    const std::string finalPath = folder + title + kOutputExtension;
    std::string outputPath = finalPath;
    const bool numbered = FileExists(outputPath) == 1;
    if (numbered) outputPath = UniqueFileName(outputPath, true, true, kNumberedNameDigits, false);

    pProgress.ShowStatus(title + kStatusMeasuring);
    double gainForOutput = pWork.PreviousGain;
    {
        C_LKFSFCT meter(pProgress.RunPump());
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
            gainForOutput = CellValue(result.GainText).AsNumber();
            result.Clip = gainForOutput + meter.PeakValue() > 0.0;
            if (pOnMeasured) pOnMeasured(result);
        }
    }

    if (pChoices.WavOutput && !(pChoices.NoClip && result.Clip)) {
        result.WriteAttempted = true;
        result.OutputPath = finalPath;
        if (WriteAdjustedWave(pWork.Source, outputPath, pWork.Start, pWork.End, gainForOutput, pProgress) == 0) {
            DeleteFileForced(outputPath);
        } else if (!numbered) {
            SyncToDisk(outputPath);
            result.Written = true;
        } else if (FileExists(outputPath) == 1) {
            SyncToDisk(outputPath);
            result.Written = RenameFile(outputPath, finalPath, 1, pProgress.RunPump()) == 1;
            // A copy that could not be moved stays under its numbered name.
            if (!result.Written) result.OutputPath = outputPath;
            result.RenameFailed = !result.Written;
        }
    }
    pProgress.SetProgress(0);
    return result;
}

void ApplyMeasurement(ListViewModel& pList, const RowResult& pResult) {
    if (!pResult.Measured) return;
    pList.SetValue(pResult.Row, kColumnLKFS, CellValue(pResult.LKFSText));
    pList.SetValue(pResult.Row, kColumnPeak, CellValue(pResult.PeakText));
    pList.SetValue(pResult.Row, kColumnGain, CellValue(pResult.GainText));
    // The mark stays once set: a later run does not clear it.
    if (pResult.Clip) pList.SetDispColor(pResult.Row, kClipColor);
}

namespace detail {

RowWork ReadRowWork(const ListViewModel& pList, std::int32_t pRow) {
    RowWork work;
    work.Row = pRow;
    work.Source = pList.AuxID(pRow, kAuxPath).AsText();
    work.Start = static_cast<std::int64_t>(std::nearbyint(pList.AuxID(pRow, kAuxStart).AsNumber()));
    work.End = static_cast<std::int64_t>(std::nearbyint(pList.AuxID(pRow, kAuxEnd).AsNumber()));
    work.PreviousGain = pList.Value(pRow, kColumnGain).AsNumber();
    return work;
}

RunChoices ReadChoices(const RunHost& pHost, double pTarget) {
    RunChoices choices;
    choices.Target = pTarget;
    choices.WavOutput = pHost.WavOutput();
    choices.SoundPath = pHost.SoundPath();
    choices.NoClip = pHost.NoClip();
    return choices;
}

void RunFrame(ListViewModel& pList, RunHost& pHost, const std::function<void(double pTarget)>& pRows) {
    if (pList.ItemCount() < 1) return;
    pHost.RunStarting();
    pHost.ClearStopRequest();
    const CellValue target(pHost.TargetLKFSText());
    if (target.ReadsAsNumber()) {
        pHost.RunColours(true);
        pList.SetClickDisabled(1);
        Trap([&] { pRows(target.AsNumber()); });
    }
    pList.SetClickDisabled(0);
    pHost.RunFinished();
    pHost.RunColours(false);
    pHost.SetProgress(0);
}

}  // namespace detail

std::vector<RowResult> RunMeasurement(ListViewModel& pList, RunHost& pHost) {
    InlineExecutor executor;
    BatchController controller(pList, pHost, executor);
    controller.Start();
    if (controller.Failure()) std::rethrow_exception(controller.Failure());
    return controller.Results();
}

}  // namespace sonivate
