#include "gui/window_rows.h"

#include <cstring>

#include "controls/model/cell_value.h"
#include "controls/widgets/list_icons.h"
#include "controls/widgets/uc_list_view.h"
#include "gui/rows/file_list_view.h"
#include "gui/window_language.h"
#include "uikit/ui_language.h"

namespace sonivate {
namespace {

// Hidden values of a row kept by the window only, after the three of the
// file list: what the last run made of the row (a RowOutcome and its text),
// the markers it lacks, and the key of its last measurement.
constexpr std::int32_t kAuxOutcome = kFileListAux;
constexpr std::int32_t kAuxOutcomeText = kFileListAux + 1;
constexpr std::int32_t kAuxMarkerNote = kFileListAux + 2;
constexpr std::int32_t kAuxResultKey = kFileListAux + 3;
static_assert(kAuxResultKey + 1 == kFileListAux + kWindowAuxCount);

// Outcome texts of a row (the reasons themselves come from ReasonText).
constexpr const char* kTr = "WindowRows";
constexpr const char* kOutcomeWritten = QT_TRANSLATE_NOOP("WindowRows", "書き出しました");
constexpr const char* kOutcomeWrittenClipping =
    QT_TRANSLATE_NOOP("WindowRows", "書き出しました（ピークが0dBFSを超えます）");
constexpr const char* kOutcomeMeasuredOnly = QT_TRANSLATE_NOOP("WindowRows", "計測しました（wav出力はオフです）");
// The cause of a failed write after its reason; %1: the system's text.
constexpr const char* kWriteCause = QT_TRANSLATE_NOOP("WindowRows", "（%1）");

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

// Outcomes kept in a row's hidden value as their number.
RowOutcome OutcomeFromNumber(double pNumber) {
    const auto value = static_cast<int>(pNumber);
    if (value < static_cast<int>(RowOutcome::None) || value > static_cast<int>(RowOutcome::NotReached))
        return RowOutcome::None;
    return static_cast<RowOutcome>(value);
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
        case RowReason::TooQuiet:
        case RowReason::SurroundNotWritten:
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
    if (pResult.Written) return TrText(kTr, pResult.Clip ? kOutcomeWrittenClipping : kOutcomeWritten);
    if (pResult.Reason == RowReason::None) {
        return pResult.Measured ? TrText(kTr, kOutcomeMeasuredOnly)
                                : ReasonText(RowReason::NotMeasured, WindowMessageLanguage());
    }
    return WindowReasonText(pResult.Reason, pResult.WriteError);
}

std::int32_t WindowRows::Count() const { return mList.ItemCount(); }

std::string WindowRows::Path(std::int32_t pRow) const { return mList.AuxID(pRow, kAuxPath).AsText(); }

// ---- Outcomes ----------------------------------------------------------------------------

RowOutcome WindowRows::Outcome(std::int32_t pRow) const {
    const CellValue value = mList.AuxID(pRow, kAuxOutcome);
    return value.IsNumber() ? OutcomeFromNumber(value.AsNumber()) : RowOutcome::None;
}

std::string WindowRows::OutcomeText(std::int32_t pRow) const { return mList.AuxID(pRow, kAuxOutcomeText).AsText(); }

void WindowRows::SetOutcome(std::int32_t pRow, RowOutcome pOutcome, const std::string& pText) {
    mList.SetAuxID(pRow, kAuxOutcome, CellValue(static_cast<double>(static_cast<int>(pOutcome))));
    mList.SetAuxID(pRow, kAuxOutcomeText, CellValue(pText));
    const bool markerMissing = !mList.AuxID(pRow, kAuxMarkerNote).AsText().empty();
    const bool plain = pOutcome == RowOutcome::None || pOutcome == RowOutcome::NotReached;
    mList.SetIconType(pRow, plain ? (markerMissing ? kListIconMarkerMissing : kFileIcon) : IconOf(pOutcome));
}

void WindowRows::ResetOutcomes() {
    for (std::int32_t row = 0; row < Count(); ++row) SetOutcome(row, RowOutcome::None, "");
}

// ---- Missing markers ---------------------------------------------------------------------

void WindowRows::NotePending(const std::string& pPath, const std::string& pNote) { mPendingNotes[pPath] = pNote; }

void WindowRows::NoteNewRows() {
    // A new row's note is still empty (never written); a row that was
    // looked at holds a text, "" when nothing is missing.
    for (std::int32_t row = 0; row < Count(); ++row) {
        if (!mList.AuxID(row, kAuxMarkerNote).IsEmpty()) continue;
        const auto note = mPendingNotes.find(Path(row));
        mList.SetAuxID(row, kAuxMarkerNote, CellValue(note == mPendingNotes.end() ? std::string() : note->second));
        if (note != mPendingNotes.end() && !note->second.empty()) mList.SetIconType(row, kListIconMarkerMissing);
    }
    mPendingNotes.clear();
}

std::string WindowRows::MarkerNote(std::int32_t pRow) const { return mList.AuxID(pRow, kAuxMarkerNote).AsText(); }

// ---- Measurements -----------------------------------------------------------------------------

void WindowRows::BeginRun(double pTargetLKFS) {
    ++mRunNumber;
    mRunTarget = pTargetLKFS;
}

const RowResult& WindowRows::Keep(std::int32_t pRow, const RowResult& pResult) {
    const CellValue key = mList.AuxID(pRow, kAuxResultKey);
    std::int64_t id = 0;
    if (key.IsNumber()) {
        id = static_cast<std::int64_t>(key.AsNumber());
    } else {
        id = ++mNextResultKey;
        mList.SetAuxID(pRow, kAuxResultKey, CellValue(static_cast<double>(id)));
    }
    KeptMeasurement& measurement = mResults[id];
    if (&measurement.Result != &pResult) {
        measurement.Result = pResult;
        measurement.TargetLKFS = mRunTarget;
        measurement.Run = mRunNumber;
    }
    return measurement.Result;
}

const WindowRows::KeptMeasurement* WindowRows::Kept(std::int32_t pRow) const {
    if (pRow < 0 || pRow >= Count()) return nullptr;
    const CellValue key = mList.AuxID(pRow, kAuxResultKey);
    if (!key.IsNumber()) return nullptr;
    const auto found = mResults.find(static_cast<std::int64_t>(key.AsNumber()));
    return found == mResults.end() ? nullptr : &found->second;
}

const RowResult* WindowRows::Measurement(std::int32_t pRow) const {
    const KeptMeasurement* kept = Kept(pRow);
    return kept == nullptr ? nullptr : &kept->Result;
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

void WindowRows::ForgetRemoved() {
    std::map<std::int64_t, KeptMeasurement> kept;
    for (std::int32_t row = 0; row < Count(); ++row) {
        const CellValue key = mList.AuxID(row, kAuxResultKey);
        if (!key.IsNumber()) continue;
        const auto found = mResults.find(static_cast<std::int64_t>(key.AsNumber()));
        if (found != mResults.end()) kept.insert(mResults.extract(found));
    }
    mResults = std::move(kept);
}

}  // namespace sonivate
