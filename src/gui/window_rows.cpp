#include "gui/window_rows.h"

#include <cmath>
#include <cstring>

#include "common/decimal_text.h"
#include "common/formatting.h"
#include "controls/model/cell_value.h"
#include "controls/widgets/list_icons.h"
#include "controls/widgets/uc_list_view.h"
#include "gui/guarded.h"
#include "gui/rows/file_list_view.h"
#include "gui/window_language.h"
#include "uikit/ui_language.h"

namespace sonivate {
namespace {

// Outcome texts of a row (the reasons themselves come from ReasonText).
constexpr const char* kTr = "WindowRows";
constexpr const char* kOutcomeWritten = QT_TRANSLATE_NOOP("WindowRows", "書き出しました");
constexpr const char* kOutcomeWrittenClipping =
    QT_TRANSLATE_NOOP("WindowRows", "書き出しました（ピークが0dBFSを超えます）");
constexpr const char* kOutcomeMeasuredOnly = QT_TRANSLATE_NOOP("WindowRows", "計測しました（wav出力はオフです）");
// The cause of a failed write after its reason; %1: the system's text.
constexpr const char* kWriteCause = QT_TRANSLATE_NOOP("WindowRows", "（%1）");
// What was done to a copy. %1: the applied gain (dB, signed); the
// limiter's %2: its largest reduction (dB), %3 and %4: the seconds with more
// than 0.1 dB and more than 1 dB of reduction.
constexpr const char* kActionLowered =
    QT_TRANSLATE_NOOP("WindowRows", "ゲインを下げてクリップを回避: 適用ゲイン %1 dB");
constexpr const char* kActionLimited = QT_TRANSLATE_NOOP(
    "WindowRows", "リミッターでクリップを回避: 適用ゲイン %1 dB、最大リダクション %2 dB、0.1 dB超 %3 秒、1 dB超 %4 秒");
constexpr const char* kActionClipped = QT_TRANSLATE_NOOP("WindowRows", "クリップしたまま書き出し: 適用ゲイン %1 dB");
constexpr const char* kActionWithinTolerance = QT_TRANSLATE_NOOP("WindowRows", "目標値の許容範囲内: 元のまま");
// %1: the reduction the limiter would have needed, %2: the most it may apply (dB).
constexpr const char* kActionLimitExceeded =
    QT_TRANSLATE_NOOP("WindowRows", "リミッターに必要なリダクション %1 dB（上限 %2 dB）");
// Why a row is red. %1: the gain as shown (dB), %2: the copy's true peak
// (dBTP) or sample peak (dBFS) at that gain.
constexpr const char* kClipTruePeak =
    QT_TRANSLATE_NOOP("WindowRows", "ゲイン %1 dB のままではトゥルーピークが %2 dBTP になりクリップします");
constexpr const char* kClipSamplePeak =
    QT_TRANSLATE_NOOP("WindowRows", "ゲイン %1 dB のままではピークが %2 dBFS になりクリップします");
// Decimals of the gains, reductions, peaks and seconds in the notes.
constexpr std::int32_t kNoteDecimals = 2;

QString Signed(double pValue) { return Q((pValue >= 0.0 ? "+" : "") + FormatFixed(pValue, kNoteDecimals)); }
QString Plain(double pValue) { return Q(FormatFixed(pValue, kNoteDecimals)); }

std::int32_t IconOf(RowOutcome pOutcome) {
    switch (pOutcome) {
        case RowOutcome::Written:
        case RowOutcome::MeasuredOnly:
            return kListIconDone;
        case RowOutcome::Skipped:
            return kListIconSkipped;
        case RowOutcome::Failed:
            return kListIconFailed;
        case RowOutcome::Stopped:
            return kListIconStopped;
        default:
            return kFileIcon;
    }
}

}  // namespace

RowOutcome OutcomeOf(const RowResult& pResult) {
    if (!pResult.SourceFound) return RowOutcome::Failed;
    if (pResult.Written) return RowOutcome::Written;
    switch (pResult.Reason) {
        case RowReason::None:
            return pResult.Measured && !pResult.WriteAttempted ? RowOutcome::MeasuredOnly : RowOutcome::Failed;
        case RowReason::Stopped:
            return RowOutcome::Stopped;
        case RowReason::WouldClip:
        case RowReason::LimitExceeded:
        case RowReason::TooQuiet:
        case RowReason::OtherFileHasName:
        case RowReason::NameUsedInRun:
        case RowReason::HardLinked:
        case RowReason::Locked:
        case RowReason::SourceInUse:
        case RowReason::SourceOfRun:
        case RowReason::TargetExists:
            return RowOutcome::Skipped;
        default:
            return RowOutcome::Failed;
    }
}

std::string WindowReasonText(RowReason pReason, int pError) {
    if (pReason == RowReason::None) return {};
    std::string text = ReasonText(pReason, WindowMessageLanguage());
    if (pReason == RowReason::WriteFailed && pError != 0)
        text += TrQ(kTr, kWriteCause).arg(QString::fromLocal8Bit(std::strerror(pError))).toStdString();
    return text;
}

std::string OutcomeText(const RowResult& pResult) {
    if (!pResult.SourceFound) return ReasonText(RowReason::Missing, WindowMessageLanguage());
    if (pResult.Written) {
        // A copy lowered or limited under the ceiling does not clip, though its row is red.
        const bool avoided = pResult.ClipStep == ClipTaken::Lowered || pResult.ClipStep == ClipTaken::Limited;
        return TrText(kTr, pResult.Clip && !avoided ? kOutcomeWrittenClipping : kOutcomeWritten);
    }
    if (pResult.Reason == RowReason::None) {
        return pResult.Measured ? TrText(kTr, kOutcomeMeasuredOnly)
                                : ReasonText(RowReason::NotMeasured, WindowMessageLanguage());
    }
    return WindowReasonText(pResult.Reason, pResult.WriteError);
}

std::string ActionNote(const RowResult& pResult) {
    if (pResult.Reason == RowReason::LimitExceeded)
        return TrQ(kTr, kActionLimitExceeded)
            .arg(Plain(pResult.NeededReductionDB), Plain(kDefaultMaxReductionDB))
            .toStdString();
    // Only a copy, written or as it would be written, had anything done to it.
    if (pResult.Copy == CopyState::None) return {};
    if (pResult.WithinTolerance) return TrText(kTr, kActionWithinTolerance);
    switch (pResult.ClipStep) {
        case ClipTaken::None:
            return {};
        case ClipTaken::Clipped:
            return TrQ(kTr, kActionClipped).arg(Signed(pResult.AppliedGain)).toStdString();
        case ClipTaken::Lowered:
            return TrQ(kTr, kActionLowered).arg(Signed(pResult.AppliedGain)).toStdString();
        case ClipTaken::Limited: {
            const LimiterReport limiter = pResult.Limiter.value_or(LimiterReport{});
            return TrQ(kTr, kActionLimited)
                .arg(Signed(pResult.AppliedGain), Plain(limiter.MaxReductionDB), Plain(limiter.SecondsAbove01dB),
                     Plain(limiter.SecondsAbove1dB))
                .toStdString();
        }
    }
    return {};
}

std::string ClipNote(const RowResult& pResult) {
    if (!pResult.Clip || !pResult.Measured) return {};
    const std::optional<double> truePeak = pResult.Broadcast ? pResult.Broadcast->TruePeak : std::nullopt;
    const double gain = ParseDecimal(pResult.GainText).value_or(pResult.Gain);
    if (truePeak && std::isfinite(*truePeak))
        return TrQ(kTr, kClipTruePeak).arg(Signed(gain), Signed(gain + *truePeak)).toStdString();
    return TrQ(kTr, kClipSamplePeak).arg(Signed(gain), Signed(gain + pResult.Peak)).toStdString();
}

WindowRows::WindowRows(UC_ListView& pList) : mList(pList), mCells(pList.Model()) {}

std::int32_t WindowRows::Count() const { return mList.ItemCount(); }

std::string WindowRows::Path(std::int32_t pRow) const { return mList.AuxID(pRow, kAuxPath).AsText(); }

const WindowRows::RowState* WindowRows::StateOf(std::int32_t pRow) const {
    if (pRow < 0 || pRow >= Count()) return nullptr;
    const auto found = mStates.find(mCells.IdAt(pRow));
    return found == mStates.end() ? nullptr : &found->second;
}

WindowRows::RowState& WindowRows::StateFor(std::int32_t pRow) { return mStates[mCells.IdAt(pRow)]; }

void WindowRows::SetStatus(RowId pId, RowStatus pStatus) {
    // Only for listed rows (the list is locked during a run); what is kept
    // of a row that leaves goes with ForgetRemoved.
    mStates[pId].Status = pStatus;
}

RowStatus WindowRows::Status(std::int32_t pRow) const {
    const RowState* state = StateOf(pRow);
    return state == nullptr ? RowStatus::Listed : state->Status;
}

// ---- Outcomes ----------------------------------------------------------------------------

RowOutcome WindowRows::Outcome(std::int32_t pRow) const {
    const RowState* state = StateOf(pRow);
    return state == nullptr ? RowOutcome::None : state->Outcome;
}

std::string WindowRows::OutcomeText(std::int32_t pRow) const {
    const RowState* state = StateOf(pRow);
    return state == nullptr ? std::string() : state->OutcomeText;
}

std::string WindowRows::ActionNote(std::int32_t pRow) const {
    const std::optional<RowResult> result = LastRunResult(pRow);
    return result ? sonivate::ActionNote(*result) : std::string();
}

std::string WindowRows::ClipNote(std::int32_t pRow) const {
    const RowResult* result = Measurement(pRow);
    return result != nullptr ? sonivate::ClipNote(*result) : std::string();
}

std::string WindowRows::FullOutcomeText(std::int32_t pRow) const {
    std::string text = OutcomeText(pRow);
    for (const std::string& note : {ActionNote(pRow), ClipNote(pRow)})
        if (!note.empty()) text += (text.empty() ? "" : "\n") + note;
    return text;
}

void WindowRows::SetOutcome(std::int32_t pRow, RowOutcome pOutcome, const std::string& pText) {
    if (pRow < 0 || pRow >= Count()) return;
    RowState& state = StateFor(pRow);
    state.Outcome = pOutcome;
    state.OutcomeText = pText;
    const bool markerMissing = state.MarkerNote && !state.MarkerNote->empty();
    const bool plain = pOutcome == RowOutcome::None || pOutcome == RowOutcome::NotReached;
    mList.SetIconType(pRow, plain ? (markerMissing ? kListIconMarkerMissing : kFileIcon) : IconOf(pOutcome));
}

void WindowRows::ResetOutcomes() {
    for (std::int32_t row = 0; row < Count(); ++row) SetOutcome(row, RowOutcome::None, "");
}

// ---- Missing markers ---------------------------------------------------------------------

void WindowRows::NotePending(const std::string& pPath, const std::string& pNote) { mPendingNotes[pPath] = pNote; }

void WindowRows::NoteNewRows() {
    for (std::int32_t row = 0; row < Count(); ++row) {
        RowState& state = StateFor(row);
        if (state.MarkerNote) continue;
        const auto note = mPendingNotes.find(Path(row));
        state.MarkerNote = note == mPendingNotes.end() ? std::string() : note->second;
        if (!state.MarkerNote->empty()) mList.SetIconType(row, kListIconMarkerMissing);
    }
    mPendingNotes.clear();
}

std::string WindowRows::MarkerNote(std::int32_t pRow) const {
    const RowState* state = StateOf(pRow);
    return state == nullptr ? std::string() : state->MarkerNote.value_or(std::string());
}

// ---- Measurements -----------------------------------------------------------------------------

void WindowRows::BeginRun(double pTargetLKFS) {
    ++mRunNumber;
    mRunTarget = pTargetLKFS;
}

const RowResult& WindowRows::Keep(std::int32_t pRow, const RowResult& pResult) {
    std::optional<KeptMeasurement>& measurement = StateFor(pRow).Measured;
    if (!measurement || &measurement->Result != &pResult)
        measurement = KeptMeasurement{pResult, mRunTarget, mRunNumber};
    return measurement->Result;
}

const WindowRows::KeptMeasurement* WindowRows::Kept(std::int32_t pRow) const {
    const RowState* state = StateOf(pRow);
    return state == nullptr || !state->Measured ? nullptr : &*state->Measured;
}

const RowResult* WindowRows::Measurement(std::int32_t pRow) const {
    const KeptMeasurement* kept = Kept(pRow);
    return kept == nullptr ? nullptr : &kept->Result;
}

bool WindowRows::MeasuredInLastRun(std::int32_t pRow) const {
    const KeptMeasurement* kept = Kept(pRow);
    return kept != nullptr && kept->Run == mRunNumber;
}

double WindowRows::MeasuredTarget(std::int32_t pRow) const {
    const KeptMeasurement* kept = Kept(pRow);
    return kept == nullptr ? 0.0 : kept->TargetLKFS;
}

std::optional<RowResult> WindowRows::LastRunResult(std::int32_t pRow) const {
    const KeptMeasurement* kept = Kept(pRow);
    if (kept == nullptr) return std::nullopt;
    RowResult result = kept->Result;
    if (kept->Run == mRunNumber) return result;
    // Measured by an earlier run: that run's copy is not this run's doing.
    const RowOutcome outcome = Outcome(pRow);
    result.Written = false;
    result.WriteAttempted = false;
    result.OutputPath.clear();
    result.Copy = CopyState::None;
    result.CopyMeasured.reset();
    result.Reason = outcome == RowOutcome::Stopped ? RowReason::Stopped : RowReason::NotReached;
    return result;
}

bool WindowRows::AnyMeasured() const {
    for (std::int32_t row = 0; row < Count(); ++row)
        if (Kept(row) != nullptr) return true;
    return false;
}

void WindowRows::ForgetRemoved() {
    std::unordered_map<RowId, RowState> listed;
    for (std::int32_t row = 0; row < Count(); ++row) {
        const auto found = mStates.find(mCells.IdAt(row));
        if (found != mStates.end()) listed.insert(mStates.extract(found));
    }
    mStates = std::move(listed);
}

}  // namespace sonivate
