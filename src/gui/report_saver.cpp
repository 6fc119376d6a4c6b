#include "gui/report_saver.h"

#include <cstring>
#include <iterator>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include <QDate>

#include "app/batch_controller.h"
#include "app/run_report.h"
#include "common/decimal_text.h"
#include "common/error_trap.h"
#include "common/formatting.h"
#include "common/paths.h"
#include "common/settings_store.h"
#include "gui/guarded.h"
#include "gui/list_columns.h"
#include "gui/rows/file_list_view.h"
#include "gui/window_choices.h"
#include "gui/window_language.h"
#include "gui/window_rows.h"
#include "report/batch_report.h"
#include "uikit/dialogs.h"
#include "uikit/message_box.h"
#include "uikit/ui_language.h"

namespace sonivate {
namespace {

constexpr const char* kTr = "ReportSaver";
constexpr const char* kReportFilter = "PDF|*.pdf|HTML|*.html|CSV|*.csv";
// The name the save dialog offers: the prefix, the date (YYYY-MM-DD), the extension.
constexpr const char* kReportNamePrefix = "sonivate-report-";
constexpr const char* kReportDefaultExtension = ".pdf";
constexpr const char* kMessageReportFailed = QT_TRANSLATE_NOOP("ReportSaver", "レポートを保存できませんでした。");
constexpr const char* kStatusReportSaved = QT_TRANSLATE_NOOP("ReportSaver", "レポートを保存しました: ");
// The header's fields a station fills in, from the window's settings (all
// optional; an empty operator is left to the core, which names the login).
constexpr const char* kKeyReportOperator = "ReportOperator";
constexpr const char* kKeyReportStation = "ReportStation";
constexpr const char* kKeyReportProgramme = "ReportProgramme";
constexpr const char* kKeyReportClient = "ReportClient";
constexpr const char* kKeyReportNotes = "ReportNotes";
// The form that edits them: its title and each field's label, in the order of kStationFields.
constexpr const char* kFieldsTitle = QT_TRANSLATE_NOOP("ReportSaver", "レポートの項目");
struct StationFieldEntry {
    const char* Key;
    const char* Label;
};
constexpr StationFieldEntry kStationFields[] = {
    {kKeyReportOperator, QT_TRANSLATE_NOOP("ReportSaver", "担当者（空欄: ログインのフルネーム）")},
    {kKeyReportStation, QT_TRANSLATE_NOOP("ReportSaver", "局")},
    {kKeyReportProgramme, QT_TRANSLATE_NOOP("ReportSaver", "番組")},
    {kKeyReportClient, QT_TRANSLATE_NOOP("ReportSaver", "クライアント")},
    {kKeyReportNotes, QT_TRANSLATE_NOOP("ReportSaver", "備考")},
};
constexpr const char* kStatusFieldsStored = QT_TRANSLATE_NOOP("ReportSaver", "レポートの項目を保存しました");
// Digits of the date's parts in the file name.
constexpr int kYearDigits = 4;
constexpr int kMonthDayDigits = 2;

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

std::string StationField(const char* pKey) {
    std::string value;
    Trap([&] { value = LoadSetting(pKey, ""); });
    return value;
}

}  // namespace

std::string ReportStartFolder(const std::string& pOutputFolder, const std::string& pFirstSource) {
    if (!pOutputFolder.empty() && FolderExists(pOutputFolder) == 1) return pOutputFolder;
    if (pFirstSource.empty()) return {};
    return PathPart(pFirstSource, true, false, false, false, false, kKeepCase);
}

std::string ReportFileName(int pYear, int pMonth, int pDay) {
    const auto padded = [](int pValue, int pDigits) {
        std::string text = std::to_string(pValue);
        if (static_cast<int>(text.size()) < pDigits)
            text.insert(0, static_cast<std::size_t>(pDigits) - text.size(), '0');
        return text;
    };
    return kReportNamePrefix + padded(pYear, kYearDigits) + "-" + padded(pMonth, kMonthDayDigits) + "-" +
           padded(pDay, kMonthDayDigits) + kReportDefaultExtension;
}

ReportSaver::ReportSaver(const WindowRows& pRows, const ListColumns& pColumns, const WindowChoices& pChoices,
                         RunExecutor& pExecutor, std::function<bool()> pRunning,
                         std::function<void(const std::string&)> pShowStatus,
                         std::function<void(bool, const std::string&)> pSaved, QWidget* pOwner)
    : mRows(pRows),
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
    // The core names the login's full name unless the station gives an operator.
    if (std::string name = StationField(kKeyReportOperator); !name.empty()) batch.Header.Operator = std::move(name);
    batch.Header.Station = StationField(kKeyReportStation);
    batch.Header.Programme = StationField(kKeyReportProgramme);
    batch.Header.Client = StationField(kKeyReportClient);
    batch.Header.Notes = StationField(kKeyReportNotes);
    batch.Language = WindowReportLanguage();
    for (std::int32_t row = 0; row < mRows.Count(); ++row) {
        const std::optional<RowResult> result = mRows.LastRunResult(row);
        report::FileRow file =
            ReportRow(mRows.Row(row), result ? &*result : nullptr, profile,
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
    // In the output folder (else beside the first source), named by today's date.
    const std::string folder = ReportStartFolder(mChoices.SoundPath(), mRows.Path(0));
    const QDate today = QDate::currentDate();
    const std::string path =
        FileDialog(mOwner, true, kReportFilter, folder, ReportFileName(today.year(), today.month(), today.day()),
                   kFileDialogDefaultFlags);
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

bool ReportSaver::EditFields() {
    std::vector<std::string> labels;
    std::vector<std::string> values;
    for (const StationFieldEntry& field : kStationFields) {
        labels.push_back(TrText(kTr, field.Label));
        values.push_back(StationField(field.Key));
    }
    const std::optional<std::vector<std::string>> edited =
        FieldsDialog(mOwner, TrText(kTr, kFieldsTitle), labels, values);
    if (!edited) return false;
    for (std::size_t k = 0; k < std::size(kStationFields); ++k) {
        const std::string& value = (*edited)[k];
        Trap([&] { StoreSetting(kStationFields[k].Key, value); });
    }
    mShowStatus(TrText(kTr, kStatusFieldsStored));
    return true;
}

void ReportSaver::Written(const std::string& pPath, bool pOk, int pErrno) {
    mPending = false;
    if (pOk) {
        mShowStatus(TrText(kTr, kStatusReportSaved) + pPath);
    } else {
        std::string text = TrText(kTr, kMessageReportFailed) + kLineBreak + pPath;
        if (pErrno != 0) text += std::string(kLineBreak) + std::strerror(pErrno);
        OwnerMessageBox(text, kMbOk | kMbIconStop, "", mOwner);
    }
    mSaved(pOk, pPath);
}

}  // namespace sonivate
