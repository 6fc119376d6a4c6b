#pragma once
// The rows of a batch, as the core sees them: one per listed file, with its
// range, the markers that fixed it, the figures of its last measurement and
// the outcome of the last run that reached it.
//
// Every row has an id that never changes while it is listed and is never
// given to another row: a run names its rows by id, so that a result can
// only ever land on the file it was made from, whatever became of the
// list's order meanwhile.
//
// The core works on the interface BatchRows. RowStore (row_store.h) keeps
// the rows itself (the command line, the watch folder); the window keeps
// them in its list control and maps them in and out, so that its cells stay
// what the operator sees and edits.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/row_reason.h"
#include "app/row_status.h"

namespace sonivate {

struct RowResult;

// Index that appends (as the list control names the last item).
inline constexpr std::int32_t kAppendRow = -2;

// A row's id: 1 and up, never reused by the rows that made it; kNoRowId is
// no row.
using RowId = std::uint64_t;
inline constexpr RowId kNoRowId = 0;

// For each end of the range: whether a marker was chosen and found.
struct RangeMarkers {
    bool StartChosen = false;
    bool StartFound = false;
    bool EndChosen = false;
    bool EndFound = false;
};

// A source its owner has opened already (the watch folder opens each file
// once, never through a link): the intake and the run work on this
// descriptor and never open the name again. Closed with the last row that
// refers to it.
class OpenedSource {
public:
    explicit OpenedSource(int pFd) : mFd(pFd) {}
    ~OpenedSource();
    OpenedSource(const OpenedSource&) = delete;
    OpenedSource& operator=(const OpenedSource&) = delete;
    int Descriptor() const { return mFd; }

private:
    int mFd;
};

struct BatchRow {
    std::string Path;   // the source, as listed
    std::string Title;  // the file name without folder and last extension
    // The measurement range in sample frames [Start, End), fixed when the
    // row is listed; it never reaches past the frames the file holds.
    std::int64_t Start = 0;
    std::int64_t End = 0;
    std::string LengthText;  // the range's length, "hh:mm:ss.fff"
    RangeMarkers Markers;
    // The last measurement's figures as shown: LKFS and dBFS with two
    // decimals, the gain in dB with three; empty before the first.
    std::string LKFSText, PeakText, GainText;
    // Marked for clipping; once set, no later run clears it.
    bool Clip = false;
    // Set when the owner opened the source itself (see OpenedSource).
    std::shared_ptr<const OpenedSource> Opened;
};

class BatchRows {
public:
    virtual ~BatchRows() = default;
    virtual std::int32_t Count() const = 0;
    virtual BatchRow Row(std::int32_t pIndex) const = 0;
    // The id of the row at pIndex, and the index of the row pId (-1 once it
    // has left the list).
    virtual RowId IdAt(std::int32_t pIndex) const = 0;
    virtual std::int32_t IndexOf(RowId pId) const = 0;
    // Inserts pRow before pIndex; kAppendRow, or any index not below
    // Count(), appends.
    virtual void Insert(std::int32_t pIndex, const BatchRow& pRow) = 0;
    // Orders the rows by title (TextSortKey), ascending.
    virtual void SortByTitle() = 0;
    // A measured row's figures and clip mark (nothing for a row that was
    // not measured: it keeps what it showed). pResult.Id names the row.
    virtual void ApplyMeasurement(const RowResult& pResult) = 0;
    // A run's word on a row: queued when the run starts, running when its
    // work begins, its final status with the result (pRun: the run's
    // number), and stopped for the rows the run never reached.
    // A run starts over these rows: its number, one more than the last
    // run's over them (the first is 1).
    virtual std::int64_t BeginRun() { return ++mRuns; }
    virtual void SetStatus(RowId /*pId*/, RowStatus /*pStatus*/) {}
    virtual void Finished(const RowResult& /*pResult*/, std::int64_t /*pRun*/) {}

    // During a run: the row being processed, and whether the operator may
    // change the list (clicks, drags).
    virtual void ShowCurrent(std::int32_t /*pIndex*/) {}
    virtual void SetLocked(bool /*pLocked*/) {}

    // The operator's selection, where the rows have one (the window's list):
    // the selected rows' paths in list order, and their removal.
    virtual std::vector<std::string> SelectedPaths() const { return {}; }
    virtual void RemoveSelected() {}

private:
    std::int64_t mRuns = 0;
};

}  // namespace sonivate
