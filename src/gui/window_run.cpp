#include "gui/window_run.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include <QWidget>

#include "common/decimal_text.h"
#include "common/formatting.h"
#include "common/paths.h"
#include "controls/widgets/uc_bar.h"
#include "controls/widgets/uc_list_view.h"
#include "controls/widgets/uc_text_picture.h"
#include "gui/guarded.h"
#include "gui/list_columns.h"
#include "gui/rows/file_list_view.h"
#include "gui/window_choices.h"
#include "gui/window_layout.h"
#include "uikit/ui_language.h"

namespace sonivate {
namespace {

constexpr const char* kTr = "WindowRun";
constexpr const char* kOutcomeNotReached = QT_TRANSLATE_NOOP("WindowRun", "この実行では計測していません");

// Status texts of a run; %1: the time left, or a count of rows.
constexpr const char* kStatusTimeLeft = QT_TRANSLATE_NOOP("WindowRun", " 残り約%1");
constexpr const char* kStatusWritten = QT_TRANSLATE_NOOP("WindowRun", " 書き出し %1件");
constexpr const char* kStatusMeasuredOnly = QT_TRANSLATE_NOOP("WindowRun", "・計測のみ %1件");
constexpr const char* kStatusSkipped = QT_TRANSLATE_NOOP("WindowRun", "・スキップ %1件");
constexpr const char* kStatusFailed = QT_TRANSLATE_NOOP("WindowRun", "・失敗 %1件");
constexpr const char* kStatusStopped = QT_TRANSLATE_NOOP("WindowRun", "（中止）");
// The core's own status texts (kStatusFinished, and the steps it appends to
// a row's title), translated where the window shows them.
[[maybe_unused]] constexpr const char* kCoreFinished = QT_TRANSLATE_NOOP("WindowRun", "終了");
constexpr const char* kCoreSteps[] = {
    QT_TRANSLATE_NOOP("WindowRun", " 計測処理…"),         QT_TRANSLATE_NOOP("WindowRun", " 書き出し処理 1/5…"),
    QT_TRANSLATE_NOOP("WindowRun", " 書き出し処理 2/5…"), QT_TRANSLATE_NOOP("WindowRun", " 書き出し処理 3/5…"),
    QT_TRANSLATE_NOOP("WindowRun", " 書き出し処理 4/5…"), QT_TRANSLATE_NOOP("WindowRun", " 書き出し処理 5/5…"),
};

// A status text of the core in the window's language: its step after the
// row's title translated.
std::string CoreStatusText(const std::string& pText) {
    for (const char* step : kCoreSteps) {
        const std::string ending(step);
        if (pText.size() >= ending.size() && pText.compare(pText.size() - ending.size(), ending.size(), ending) == 0)
            return pText.substr(0, pText.size() - ending.size()) + TrText(kTr, step);
    }
    return pText;
}

constexpr std::int32_t kSecondsPerMinute = 60;
constexpr std::int32_t kSecondsPerHour = 3600;

// "m:ss" or "h:mm:ss".
std::string ClockText(double pSeconds) {
    const auto total = static_cast<std::int64_t>(std::ceil(std::max(0.0, pSeconds)));
    const std::int64_t hours = total / kSecondsPerHour;
    const std::int64_t minutes = (total % kSecondsPerHour) / kSecondsPerMinute;
    const std::int64_t seconds = total % kSecondsPerMinute;
    const auto two = [](std::int64_t pValue) { return (pValue < 10 ? "0" : "") + std::to_string(pValue); };
    if (hours > 0) return std::to_string(hours) + ":" + two(minutes) + ":" + two(seconds);
    return std::to_string(minutes) + ":" + two(seconds);
}

}  // namespace

WindowRun::WindowRun(UC_TextPicture& pStatus, UC_Bar& pBar, UC_ListView& pList, WindowRows& pRows,
                     WindowChoices& pChoices, const ListColumns& pColumns, RunWatcher& pWatcher,
                     std::function<double()> pClock, QWidget* pOwner)
    : mStatusLine(pStatus),
      mBar(pBar),
      mList(pList),
      mRows(pRows),
      mChoices(pChoices),
      mColumns(pColumns),
      mWatcher(pWatcher),
      mClock(std::move(pClock)),
      mOwner(pOwner) {}

bool WindowRun::Running() const { return mController != nullptr && mController->Running(); }

void WindowRun::Start() {
    // A second press during a run and a press on an empty list do nothing.
    if (mController->Running() || mRows.Count() < 1) return;
    if (!mChoices.TargetReady() || !mChoices.OutputFolderReady()) return;
    mOnlyRows.clear();
    mController->Start();
}

void WindowRun::StartOnly(const std::vector<std::int32_t>& pRows, const std::vector<RowId>& pIds) {
    if (mController->Running() || pRows.empty()) return;
    if (!mChoices.TargetReady() || !mChoices.OutputFolderReady()) return;
    // Kept until the next start: the run may end after Start returns.
    mOnlyRows = pRows;
    mController->Start(pIds);
}

void WindowRun::Stop() { mController->Stop(); }

void WindowRun::ShowQuietStatus(const std::string& pText) {
    mStatus = pText;
    mStatusLine.DispMes(0, mStatus);
}

std::string WindowRun::RowToolTip(std::int32_t pRow, std::int32_t pColumn) const {
    std::vector<std::string> lines;
    const std::string outcome = mRows.FullOutcomeText(pRow);
    if (!outcome.empty()) lines.push_back(outcome);
    const std::string note = mRows.MarkerNote(pRow);
    if (!note.empty()) lines.push_back(note);
    if (pColumn == kColumnVerdict) {
        const std::string verdict = mColumns.VerdictToolTip(pRow);
        if (!verdict.empty()) lines.push_back(verdict);
    }
    if (pColumn == kColumnTitle) {
        // The whole name and where it is, however narrow the column.
        const std::string path = mRows.Path(pRow);
        lines.push_back(PathPart(path, false, false, true, true, true, kKeepCase));
        lines.push_back(path);
    }
    std::string text;
    for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
    return text;
}

void WindowRun::ShowStatus(const std::string& pText) {
    std::string shown = CoreStatusText(pText);
    if (Running()) {
        shown = RunPosition() + shown;
        if (mRowsDone > 0) {
            // The files done so far set the pace for the ones still to come.
            const double perRow = (mRowStart - mRunStart) / mRowsDone;
            const double left = perRow * (mRunRows - mRowsDone) - (mClock() - mRowStart);
            shown += TrQ(kTr, kStatusTimeLeft).arg(Q(ClockText(left))).toStdString();
        }
    }
    mStatus = shown;
    mStatusLine.DispMes(0, shown);
    mWatcher.StatusTold(shown);
}

std::string WindowRun::RunPosition() const {
    if (mRunRow < 0 || mRunRows <= 0) return {};
    return "[" + std::to_string(mRunRow + 1) + "/" + std::to_string(mRunRows) + "] ";
}

void WindowRun::SetProgress(std::int32_t pValue) {
    mBar.SetValue(pValue);
    mWatcher.ProgressTold(pValue);
}

std::string WindowRun::TargetLKFSText() const { return mChoices.TargetLKFSText(); }
bool WindowRun::WavOutput() const { return mChoices.WavOutput(); }
std::string WindowRun::SoundPath() const { return mChoices.SoundPath(); }
bool WindowRun::NoClip() const { return mChoices.NoClip(); }
ClipAction WindowRun::OnClip() const { return mChoices.OnClip(); }
double WindowRun::CeilingDBTP() const {
    const std::optional<DeliveryProfile>& profile = mColumns.Profile();
    return profile ? profile->maxTruePeak : kDefaultCeilingDBTP;
}
double WindowRun::ToleranceLU() const { return mChoices.ToleranceLU(); }
BextLoudnessMode WindowRun::BextLoudness() const { return mChoices.BextLoudness(); }

void WindowRun::RunStarting() {
    // The controller reads the target once, as the run starts.
    mRows.BeginRun(ParseDecimal(TrimSpaces(TargetLKFSText())).value_or(0.0));
    mOwner->setCursor(Qt::WaitCursor);
    mChoices.Lock(true);
    if (mOnlyRows.empty()) {
        mRows.ResetOutcomes();
        mRunRows = mRows.Count();
    } else {
        for (const std::int32_t row : mOnlyRows) mRows.SetOutcome(row, RowOutcome::None, "");
        mRunRows = static_cast<std::int32_t>(mOnlyRows.size());
    }
    mRunRow = -1;
    mRowsDone = 0;
    mCounts.clear();
    mRunStart = mClock();
    mRowStart = mRunStart;
}

void WindowRun::RunColours(bool pRunning) { mStatusLine.SetColor(pRunning ? kColourSetRunning : kColourSetIdle, true); }

void WindowRun::RunFinished() {
    // Rows of the run it did not come to say so: the driver left them stopped
    // without a result.
    for (std::int32_t row = 0; row < mRows.Count(); ++row)
        if (mRows.Status(row) == RowStatus::Stopped && mRows.Outcome(row) == RowOutcome::None)
            mRows.SetOutcome(row, RowOutcome::NotReached, TrText(kTr, kOutcomeNotReached));
    const auto count = [&](const char* pText, RowOutcome pOutcome) {
        const auto found = mCounts.find(pOutcome);
        return TrQ(kTr, pText).arg(found == mCounts.end() ? 0 : found->second).toStdString();
    };
    std::string text = TrText(kTr, kStatusFinished);
    if (mRowsDone > 0 || mRunRows > 0) {
        text += count(kStatusWritten, RowOutcome::Written);
        if (mCounts.count(RowOutcome::MeasuredOnly) != 0) text += count(kStatusMeasuredOnly, RowOutcome::MeasuredOnly);
        text += count(kStatusSkipped, RowOutcome::Skipped);
        text += count(kStatusFailed, RowOutcome::Failed);
        if (mController->StopRequested() || mController->ClosePending() || mCounts.count(RowOutcome::Stopped) != 0)
            text += TrText(kTr, kStatusStopped);
    }
    mRunRow = -1;
    mStatus = text;
    mStatusLine.DispMes(0, text, true);
    mWatcher.StatusTold(text);
    mChoices.Lock(false);
    mOwner->unsetCursor();
    mWatcher.RunOver();
}

void WindowRun::RowApplied(const RowResult& pResult) {
    const RowOutcome outcome = OutcomeOf(pResult);
    ++mCounts[outcome];
    ++mRowsDone;
    if (pResult.Row >= 0 && pResult.Row < mRows.Count()) {
        mRows.SetOutcome(pResult.Row, outcome, OutcomeText(pResult));
        mWatcher.RowDone(pResult.Row, pResult);
    }
}

void WindowRun::RowSelected(std::int32_t pRow) {
    ++mRunRow;
    mRowStart = mClock();
    // Scrolled only when the row is out of view: scrolling redraws the whole list.
    const std::int32_t top = mList.TopItem();
    if (pRow < top || pRow >= top + mList.VisibleRows()) mList.ShowSelected(1);
}

void WindowRun::RunError(const std::string& pText) { ShowHandlerError(mOwner, pText); }

void WindowRun::CloseReady() { mWatcher.CloseReady(); }

}  // namespace sonivate
