#pragma once
// RowStore: the rows of a batch kept in memory, in list order, each under
// its id, with its status and the last result a run gave it. The command
// line's run and the watch folder keep their rows here; a report or an
// output reads a row's truth from one place.

#include <cstdint>
#include <optional>
#include <vector>

#include "app/batch_rows.h"
#include "app/measurement_run.h"

namespace sonivate {

struct StoredRow {
    RowId Id = kNoRowId;
    BatchRow Row;
    RowStatus Status = RowStatus::Listed;
    // The last result a run gave the row, and that run's number (0: none).
    std::optional<RowResult> Last;
    std::int64_t LastRun = 0;
};

class RowStore final : public BatchRows {
public:
    std::int32_t Count() const override { return static_cast<std::int32_t>(mRows.size()); }
    BatchRow Row(std::int32_t pIndex) const override { return mRows.at(static_cast<size_t>(pIndex)).Row; }
    RowId IdAt(std::int32_t pIndex) const override { return mRows.at(static_cast<size_t>(pIndex)).Id; }
    std::int32_t IndexOf(RowId pId) const override;
    void Insert(std::int32_t pIndex, const BatchRow& pRow) override;
    void SortByTitle() override;
    void ApplyMeasurement(const RowResult& pResult) override;
    void SetStatus(RowId pId, RowStatus pStatus) override;
    void Finished(const RowResult& pResult, std::int64_t pRun) override;

    // The row pId; null once it has left the store.
    const StoredRow* Find(RowId pId) const;
    // Takes the row pId out of the store; false when there is none.
    bool Remove(RowId pId);
    // Every row, in list order.
    const std::vector<StoredRow>& Rows() const { return mRows; }
    // The rows' results of run pRun, in list order (rows the run did not
    // finish are absent).
    std::vector<RowResult> ResultsOf(std::int64_t pRun) const;

private:
    StoredRow* Mutable(RowId pId);

    std::vector<StoredRow> mRows;
    RowId mLastId = kNoRowId;
};

}  // namespace sonivate
