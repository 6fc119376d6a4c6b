#include "app/row_store.h"

#include <algorithm>

#include "common/text_order.h"

namespace sonivate {

std::int32_t RowStore::IndexOf(RowId pId) const {
    if (pId == kNoRowId) return -1;
    const auto found = std::find_if(mRows.begin(), mRows.end(), [&](const StoredRow& pRow) { return pRow.Id == pId; });
    return found == mRows.end() ? -1 : static_cast<std::int32_t>(found - mRows.begin());
}

const StoredRow* RowStore::Find(RowId pId) const {
    const std::int32_t index = IndexOf(pId);
    return index < 0 ? nullptr : &mRows[static_cast<size_t>(index)];
}

StoredRow* RowStore::Mutable(RowId pId) {
    const std::int32_t index = IndexOf(pId);
    return index < 0 ? nullptr : &mRows[static_cast<size_t>(index)];
}

void RowStore::Insert(std::int32_t pIndex, const BatchRow& pRow) {
    StoredRow stored;
    stored.Id = ++mLastId;
    stored.Row = pRow;
    if (pIndex < 0 || pIndex >= Count())
        mRows.push_back(std::move(stored));
    else
        mRows.insert(mRows.begin() + pIndex, std::move(stored));
}

bool RowStore::Remove(RowId pId) {
    const std::int32_t index = IndexOf(pId);
    if (index < 0) return false;
    mRows.erase(mRows.begin() + index);
    return true;
}

void RowStore::SortByTitle() {
    std::vector<std::u16string> keys;
    keys.reserve(mRows.size());
    for (const StoredRow& row : mRows) keys.push_back(TextSortKey(row.Row.Title));
    const std::vector<size_t> order =
        ShellSortOrder(mRows.size(), [&](size_t pA, size_t pB) { return keys[pA] > keys[pB]; });
    std::vector<StoredRow> sorted;
    sorted.reserve(mRows.size());
    for (const size_t from : order) sorted.push_back(std::move(mRows[from]));
    mRows.swap(sorted);
}

void RowStore::ApplyMeasurement(const RowResult& pResult) {
    StoredRow* stored = Mutable(pResult.Id);
    if (!pResult.Measured || stored == nullptr) return;
    BatchRow& row = stored->Row;
    row.LKFSText = pResult.LKFSText;
    row.PeakText = pResult.PeakText;
    row.GainText = pResult.GainText;
    if (pResult.Clip) row.Clip = true;
}

void RowStore::SetStatus(RowId pId, RowStatus pStatus) {
    if (StoredRow* stored = Mutable(pId)) stored->Status = pStatus;
}

void RowStore::Finished(const RowResult& pResult, std::int64_t pRun) {
    StoredRow* stored = Mutable(pResult.Id);
    if (stored == nullptr) return;
    stored->Status = StatusOfResult(pResult);
    stored->Last = pResult;
    stored->LastRun = pRun;
}

std::vector<RowResult> RowStore::ResultsOf(std::int64_t pRun) const {
    std::vector<RowResult> results;
    for (const StoredRow& row : mRows)
        if (row.Last && row.LastRun == pRun) results.push_back(*row.Last);
    return results;
}

}  // namespace sonivate
