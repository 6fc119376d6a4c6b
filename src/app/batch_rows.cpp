#include "app/batch_rows.h"

#include "app/measurement_run.h"
#include "common/text_order.h"
#include "platform/posix_file.h"

namespace sonivate {

OpenedSource::~OpenedSource() { platform::CloseFile(mFd); }

void RowList::Insert(std::int32_t pIndex, const BatchRow& pRow) {
    if (pIndex < 0 || pIndex >= Count())
        mRows.push_back(pRow);
    else
        mRows.insert(mRows.begin() + pIndex, pRow);
}

void RowList::SortByTitle() {
    std::vector<std::u16string> keys;
    keys.reserve(mRows.size());
    for (const BatchRow& row : mRows) keys.push_back(TextSortKey(row.Title));
    const std::vector<size_t> order =
        ShellSortOrder(mRows.size(), [&](size_t pA, size_t pB) { return keys[pA] > keys[pB]; });
    std::vector<BatchRow> sorted;
    sorted.reserve(mRows.size());
    for (const size_t from : order) sorted.push_back(std::move(mRows[from]));
    mRows.swap(sorted);
}

void RowList::ApplyMeasurement(const RowResult& pResult) {
    if (!pResult.Measured || pResult.Row < 0 || pResult.Row >= Count()) return;
    BatchRow& row = mRows[static_cast<size_t>(pResult.Row)];
    row.LKFSText = pResult.LKFSText;
    row.PeakText = pResult.PeakText;
    row.GainText = pResult.GainText;
    if (pResult.Clip) row.Clip = true;
}

}  // namespace sonivate
