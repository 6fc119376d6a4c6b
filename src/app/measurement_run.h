#pragma once
// The batch run behind the start button: every row of the file list is
// measured over its range, its loudness, peak and gain are written into the
// row, rows whose gain would clip are marked, and (with output on) a
// gain-adjusted copy is written to the output folder or in place.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/progress_host.h"
#include "app/row_reason.h"
#include "app/batch_rows.h"
#include "app/clip_action.h"
#include "app/output_target.h"
#include "app/copy_loudness.h"
#include "loudness/broadcast_measures.h"
#include "wavefile/wave_bwfj.h"

namespace sonivate {

// Status texts of the run.
extern const char* const kStatusMeasuring;  // after the title: " 計測処理…"
extern const char* const kStatusFinished;   // "終了"

struct RowResult;

// The window (or the command line) as the run sees it. The choices are read
// when the run needs them, as the operator may change them during a run.
// BatchController calls every member on the owner thread, except
// StopRequested, which the work may read from its own thread.
class RunHost : public ProgressHost {
public:
    // The target loudness as typed (LKFS); a text that is no number stops the
    // run before any row is measured.
    virtual std::string TargetLKFSText() const = 0;
    // Output writing on; the output folder (used only when it exists);
    // clip avoidance on. Output and folder are read once, when the run
    // starts (DecideOutput); clip avoidance for every row.
    virtual bool WavOutput() const = 0;
    virtual std::string SoundPath() const = 0;
    virtual bool NoClip() const = 0;
    // What a row whose gain would reach the ceiling does: by default clip
    // avoidance's choice between not writing it and writing it clipped. The
    // ceiling (dBTP) and the most reduction the limiter may apply (dB) for
    // Lower and Limit. Read for every row, as clip avoidance is.
    virtual ClipAction OnClip() const { return NoClip() ? ClipAction::Skip : ClipAction::Write; }
    virtual double CeilingDBTP() const { return kDefaultCeilingDBTP; }
    virtual double MaxReductionDB() const { return kDefaultMaxReductionDB; }
    // A row whose gain is within this many LU of 0 is already on target: its
    // copy is the source byte for byte, and in place it is not touched (0:
    // every gain is applied). Read for every row.
    virtual double ToleranceLU() const { return 0.0; }
    // The broadcast measures (true peak, loudness range, max momentary and
    // short-term loudness) taken in the same read as the loudness; off
    // unless the host asks for them.
    virtual bool BroadcastExtras() const { return false; }
    // Keep the momentary and short-term loudness every 100 ms (with the extras).
    virtual bool KeepSeries() const { return false; }
    // What becomes of a copy's BWF loudness fields.
    virtual BextLoudnessMode BextLoudness() const { return kDefaultBextLoudnessMode; }
    // Where the copies go, decided once when the run starts (after the
    // target): by default the window's rule over WavOutput and SoundPath
    // (OutputTarget::FromChoice). A host with a rule of its own (an
    // explicit folder) returns its target here.
    virtual std::shared_ptr<const OutputTarget> DecideOutput() const {
        return OutputTarget::FromChoice(WavOutput(), SoundPath());
    }
    // Sources placed by others (a shared folder): a link under a source's
    // name is refused, never followed.
    virtual bool NoFollow() const { return false; }
    // Each row's source hashed (RowResult::ContentHash).
    virtual bool HashContent() const { return false; }
    // A new run starts with no stop request. A host with a stop source of
    // its own (signals) clears it here; StopRequested answers for that
    // source, the controller keeps the stop button's request itself.
    virtual void ClearStopRequest() = 0;

    // Display hooks; the list's state itself lives in the model.
    virtual void RunStarting() {}                  // busy pointer
    virtual void RunColours(bool /*pRunning*/) {}  // the status display's colour set
    virtual void ListChanged() {}                  // redraw the list
    virtual void RunFinished() {}                  // "終了" shown, pointer back

    // Row pRow became the current row (selected in the list): scroll it into view.
    virtual void RowSelected(std::int32_t /*pRow*/) {}
    // The outcome of a row, after its figures were written into the list.
    virtual void RowApplied(const RowResult& /*pResult*/) {}
    // An unexpected error ended the run while errors are let through
    // (ErrorCatch() != 0); pText is its description. Comes after the
    // end-of-run steps, with the controller idle.
    virtual void RunError(const std::string& /*pText*/) {}
    // A close requested during the run may go ahead now.
    virtual void CloseReady() {}
};

// What one row's processing starts from, read from the list.
struct RowWork {
    RowId Id = kNoRowId;
    std::int32_t Row = 0;
    std::string Source;
    std::int64_t Start = 0;
    std::int64_t End = 0;
    // The source as its owner opened it (the watch folder); null: the run
    // opens Source itself, once.
    std::shared_ptr<const OpenedSource> Opened;
};

// What the Copy figures of a row describe.
enum class CopyState {
    None,       // no copy: output off for a row that would not be written, or refused, failed, stopped
    Written,    // the copy that stands under OutputPath
    Projected,  // nothing written in this run (output off): the copy as it would be written
};

// The broadcast measures of a measured row. Each is empty when the range is
// too short for it or the layout is not one the measures take.
struct BroadcastFigures {
    std::optional<double> TruePeak;       // dBTP
    std::optional<double> LoudnessRange;  // LU
    std::optional<double> MaxMomentary;   // LUFS
    std::optional<double> MaxShortTerm;   // LUFS
    // The true peak of the ITU-R BS.775 stereo downmix of a 5.1 or 7.1
    // source (Lo/Ro, centre and surrounds at -3 dB, no LFE), dBTP.
    std::optional<double> DownmixTruePeak;
    // Where the true peak is, in frames from the range's first frame (to
    // about 43 ms at 48 kHz).
    std::optional<std::int64_t> TruePeakFrame;
    // The gated loudness of the copy as written, at the gain as shown, LKFS.
    double OutputLKFS = 0.0;
    // Loudness over time, when the run keeps it (empty otherwise).
    LoudnessSeries Series;
};

// What became of one row.
struct RowResult {
    // The row, by id (never changes), and its index in the list when the
    // result was reported.
    RowId Id = kNoRowId;
    std::int32_t Row = 0;
    bool SourceFound = false;  // false: the row was skipped silently
    bool Measured = false;     // the measurement completed in this run
    double LKFS = 0.0;         // LKFS
    double Peak = 0.0;         // dBFS
    double Gain = 0.0;         // dB, as returned by the search
    std::string LKFSText, PeakText, GainText;
    // Gain (as shown) + sample peak above 0 dBFS, or gain + true peak above
    // 0 dBTP when the true peak was measured.
    bool Clip = false;
    bool TooQuiet = false;  // measured, but no block above the absolute gate
    // The data chunk ends past the end of the file (cut short, or still
    // being written): measured over the frames present, never replaced in place.
    bool IncompleteData = false;
    bool WriteAttempted = false;  // output on and not skipped for clipping
    bool Written = false;         // the copy stands under OutputPath
    std::string OutputPath;       // the copy's name (when attempted)
    // Why the row was not measured or not written (a failed copy's reason
    // wins over a failed measurement's); None when all went through.
    RowReason Reason = RowReason::None;
    int WriteError = 0;  // the errno behind a failed copy, when known
    // The error's own text for InternalError (and OutOfMemory), when known.
    std::string ErrorText;
    // The copy stands, but flushing its folder after naming it failed (this
    // errno): the name may not survive a power loss.
    int FolderSyncError = 0;
    // Set for a measured row when the run's choices ask for the extras.
    std::optional<BroadcastFigures> Broadcast;
    // The file's cue markers (positions in frames from the data's first
    // frame), read with the series for the graph; empty otherwise.
    std::vector<CueMarker> Markers;
    // What a copy's figures describe here. Projected only in a run that
    // writes nothing; a row refused, failed or stopped has no copy figures.
    CopyState Copy = CopyState::None;
    // The copy as measured from the copy itself, when it is not an exact
    // scaling of the source (it saturated at the gain): its figures come
    // from here, never from the source's at the gain. Empty otherwise.
    std::optional<CopyFigures> CopyMeasured;
    // The XXH64 of the whole source as it was measured, when the run's
    // choices ask for it (the watch folder's journal).
    std::optional<std::uint64_t> ContentHash;
    // What the copy step did about a gain over the ceiling (None: nothing
    // needed), the gain the range was written with (dB: the gain as shown,
    // lowered, or with the limiter's make-up), and the limiter's work.
    ClipTaken ClipStep = ClipTaken::None;
    double AppliedGain = 0.0;
    std::optional<LimiterReport> Limiter;
    // LimitExceeded: the reduction the limiter would have needed (dB).
    double NeededReductionDB = 0.0;
    // The gain was within the run's tolerance: the copy is the source, byte
    // for byte (AppliedGain 0); in place the source was left untouched and
    // stands as the row's output.
    bool WithinTolerance = false;
    // The source's frames and rate as measured (0: not read that far).
    std::int64_t FileFrames = 0;
    std::int32_t SampleRate = 0;
};

// The copy's figures of a measured row as every face shows them: measured
// from the copy where it was, otherwise the source's moved by the gain as
// shown (the loudness gated again at the copy's level). Empty for a row
// without copy figures (CopyState::None).
std::optional<CopyFigures> RowCopyFigures(const RowResult& pResult);

class RunOutputs;
class OutputTarget;

// The sources listed for one run, by device and inode, taken when the run
// starts: a copy whose name is another of them (one the run has read, or
// one it has not read yet) is never written, as it would destroy a
// recording the operator listed.
class RunSources {
public:
    void Add(const std::string& pPath);
    // pTarget names a listed source other than pOwnSource.
    bool IsOtherSource(const std::string& pTarget, const std::string& pOwnSource) const;

private:
    std::vector<std::pair<std::uint64_t, std::uint64_t>> mFiles;  // device, inode
};

// The choices a run works with, captured for one row.
struct RunChoices {
    double Target = 0.0;  // LKFS
    // Where copies go, decided once when the run started; Off (or null): none.
    std::shared_ptr<const OutputTarget> Output;
    // A row whose copy would clip: Skip (clip avoidance), Write clipped; a
    // row whose copy's true peak would pass CeilingDBTP: Lower its gain, or
    // Limit it (refused when more than MaxReductionDB would be needed).
    ClipAction OnClip = ClipAction::Skip;
    double CeilingDBTP = kDefaultCeilingDBTP;
    double MaxReductionDB = kDefaultMaxReductionDB;
    // A gain within this many LU of 0 leaves the audio as it is (0: none).
    double ToleranceLU = 0.0;
    // A symbolic link under the source's name is refused rather than
    // followed (the watch folder, whose files anyone may place).
    bool NoFollow = false;
    // Hash the whole source through the descriptor it is measured from.
    bool HashContent = false;
    bool Extras = false;  // take the broadcast measures too
    BextLoudnessMode BextLoudness = kDefaultBextLoudnessMode;
    bool Series = false;  // keep the loudness series (with the extras)
    // The run's listed sources; none: no check.
    std::shared_ptr<const RunSources> Sources;
};

// Measures and (per pChoices) writes one row. pOnMeasured runs between the
// measurement and the output step, so that the row can show its figures
// while its copy is written. Never touches the list itself.
//
// Only a row measured in this run is written, with the gain of this
// measurement: a failed, stopped or empty measurement never re-applies an
// old gain. A row with no block above the absolute gate (silence, room
// tone) shows its figures but is not written (TooQuiet): its gain would be
// huge and grow with every run.
//
// With output on, the source is held (an advisory lock) from before its
// measurement until its copy is published, and the copy is published only
// when the source is still the file that was measured. In place, only the
// source itself is replaced: a ".wav" source (any letter case) under its own
// name, any other under title + ".wav" only when that name is free. pRun
// collects the run's copies so that no later row replaces one.
RowResult ProcessRow(const RowWork& pWork, const RunChoices& pChoices, ProgressHost& pProgress,
                     const std::function<void(const RowResult&)>& pOnMeasured = {}, RunOutputs* pRun = nullptr);

// The run over pRows as one BatchController does it, on pJobs worker
// threads (1: inline on the calling thread, one file after another, as the
// window's run). Returns the outcome of every row processed, in row order
// (rows after a stop are absent). An error let through (ErrorCatch() != 0)
// is rethrown once the end-of-run steps are done.
std::vector<RowResult> RunMeasurement(BatchRows& pRows, RunHost& pHost, std::int32_t pJobs = 1);

}  // namespace sonivate
