#include "gui/report_saver.h"

#include <cstring>
#include <memory>
#include <optional>
#include <utility>

#include "app/batch_controller.h"
#include "app/run_report.h"
#include "common/decimal_text.h"
#include "common/formatting.h"
#include "gui/guarded.h"
#include "gui/list_columns.h"
#include "gui/rows/file_list_view.h"
#include "gui/window_choices.h"
#include "gui/window_rows.h"
#include "report/batch_report.h"
#include "uikit/dialogs.h"
#include "uikit/message_box.h"

namespace sonivate {
namespace {

constexpr const char* kReportFilter = "PDF|*.pdf|HTML|*.html|CSV|*.csv";
constexpr const char* kReportFileName = "sonivate-report.pdf";
constexpr const char* kReportDefaultExtension = ".pdf";
constexpr const char* kMessageReportFailed = "レポートを保存できませんでした。";
constexpr const char* kStatusReportSaved = "レポートを保存しました: ";

// The report's file name with a known extension (a PDF when none was given).
std::string ReportPathWithExtension(const std::string& pPath) {
    const std::string lower = AsciiLower(pPath);
    for (const char* extension : {".pdf", ".html", ".htm", ".csv"}) {
        const std::string ending(extension);
        if (lower.size() > ending.size() && lower.compare(lower.size() - ending.size(), ending.size(), ending) == 0)
            return pPath;
    }
    return pPath + kReportDefaultExtension;
}

}  // namespace

ReportSaver::ReportSaver(const ListViewRows& pListRows, const WindowRows& pRows, const ListColumns& pColumns,
                         const WindowChoices& pChoices, RunExecutor& pExecutor, std::function<bool()> pRunning,
                         std::function<void(const std::string&)> pShowStatus,
                         std::function<void(bool, const std::string&)> pSaved, QWidget* pOwner)
    : mListRows(pListRows),
      mRows(pRows),
      mColumns(pColumns),
      mChoices(pChoices),
      mExecutor(pExecutor),
      mRunning(std::move(pRunning)),
      mShowStatus(std::move(pShowStatus)),
      mSaved(std::move(pSaved)),
      mOwner(pOwner) {}

report::BatchReport ReportSaver::Build() const {
    report::BatchReport batch;
    const std::optional<DeliveryProfile>& chosen = mColumns.Profile();
    const DeliveryProfile* profile = chosen ? &*chosen : nullptr;
    // The target the figures were found for, once a run has measured rows.
    const double target =
        mRows.AnyMeasured() ? mRows.RunTarget() : ParseDecimal(mChoices.TargetLKFSText()).value_or(0.0);
    batch.Header =
        ReportHeader(SONIVATE_VERSION, profile, target, mChoices.RangeStartText() + " - " + mChoices.RangeEndText());
    for (std::int32_t row = 0; row < mRows.Count(); ++row) {
        const std::optional<RowResult> result = mRows.LastRunResult(row);
        report::FileRow file =
            ReportRow(mListRows.Row(row), result ? &*result : nullptr, profile,
                      mRows.RunNumber() > 0 ? RowReason::NotReached : RowReason::NotMeasured, WindowReasonText);
        // The outcome is the last run's, which may not have measured the row.
        const std::string outcome = mRows.OutcomeText(row);
        if (!outcome.empty()) file.ReasonText = outcome;
        batch.Rows.push_back(std::move(file));
    }
    return batch;
}

void ReportSaver::Save() {
    if (mRunning() || mPending || mRows.Count() < 1) return;
    const std::string folder = mChoices.SoundPath();
    const std::string path = FileDialog(mOwner, true, kReportFilter, folder, kReportFileName, kFileDialogDefaultFlags);
    if (path.empty()) return;
    SaveTo(ReportPathWithExtension(path));
}

bool ReportSaver::SaveTo(const std::string& pPath) {
    if (mRunning() || mPending || mRows.Count() < 1) return false;
    mPending = true;
    // Drawn and written on the worker: a report of many files takes a while.
    // The rows go as values, so the list may change meanwhile.
    auto batch = std::make_shared<report::BatchReport>(Build());
    mExecutor.Execute([this, batch, pPath] {
        report::ReportResult written;
        try {
            written = report::WriteReport(*batch, pPath);
        } catch (...) {
            written.Status = report::ReportStatus::WriteFailed;
        }
        mExecutor.Post(
            [this, pPath, written] { Guarded(mOwner, [&] { Written(pPath, written.ok(), written.Errno); }); });
    });
    return true;
}

void ReportSaver::Written(const std::string& pPath, bool pOk, int pErrno) {
    mPending = false;
    if (pOk) {
        mShowStatus(kStatusReportSaved + pPath);
    } else {
        std::string text = std::string(kMessageReportFailed) + kLineBreak + pPath;
        if (pErrno != 0) text += std::string(kLineBreak) + std::strerror(pErrno);
        OwnerMessageBox(text, kMbOk | kMbIconStop, "", mOwner);
    }
    mSaved(pOk, pPath);
}

}  // namespace sonivate
