#include "gui/details_opener.h"

#include <optional>

#include "app/run_report.h"
#include "common/decimal_text.h"
#include "gui/details/frm_details.h"
#include "gui/list_columns.h"
#include "gui/rows/file_list_view.h"
#include "gui/window_choices.h"
#include "gui/window_rows.h"

namespace sonivate {

DetailsOpener::DetailsOpener(const WindowRows& pRows, const ListColumns& pColumns, const WindowChoices& pChoices,
                             QWidget* pOwner)
    : mRows(pRows), mColumns(pColumns), mChoices(pChoices), mOwner(pOwner) {}

void DetailsOpener::Show(std::int32_t pRow) {
    if (pRow < 0 || pRow >= mRows.Count()) return;
    if (mDetails == nullptr) mDetails = new FrmDetails(mOwner);
    mDetails->Show(DetailsOf(pRow));
}

void DetailsOpener::Follow(std::int32_t pRow) {
    if (mDetails != nullptr && mDetails->isVisible() && mDetails->Details().File.Path == mRows.Path(pRow))
        mDetails->Replace(DetailsOf(pRow));
}

RowDetails DetailsOpener::DetailsOf(std::int32_t pRow) const {
    const std::optional<RowResult> last = mRows.LastRunResult(pRow);
    const RowResult* result = last ? &*last : nullptr;
    const std::optional<DeliveryProfile>& profile = mColumns.Profile();
    RowDetails details;
    details.File =
        ReportRow(mRows.Row(pRow), result, profile ? &*profile : nullptr, RowReason::NotMeasured, WindowReasonText);
    details.File.ReasonText = mRows.OutcomeText(pRow);
    details.TargetLKFS = ParseDecimal(mChoices.TargetLKFSText()).value_or(ParseDecimal(kDefaultTarget).value_or(0.0));
    // The target the row's gain was found for.
    if (result != nullptr) details.TargetLKFS = mRows.MeasuredTarget(pRow);
    details.ProfileName = profile ? ProfileDisplayName(profile->name) : std::string();
    if (const std::optional<FileVerdicts> verdicts = RowVerdicts(result, profile ? &*profile : nullptr)) {
        details.SourceNotes = verdicts->source.notes;
        if (verdicts->HasOutput) details.CopyNotes = verdicts->output.notes;
    }
    details.OutcomeText = mRows.FullOutcomeText(pRow);
    return details;
}

}  // namespace sonivate
