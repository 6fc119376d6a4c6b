#pragma once
// The one status of a row, shared by every face: the window's list, the
// command line's output, the watch folder's journal and the report all use
// these values and their codes.

#include <cstdint>

namespace sonivate {

struct RowResult;

enum class RowStatus : std::int32_t {
    Listed,      // in the list, not part of a run yet
    Queued,      // in the running run, waiting for its turn
    Running,     // its work is in progress
    Measured,    // measured; no copy was asked for (output off)
    Written,     // measured, and its copy stands
    NotWritten,  // measured, but its copy was refused or failed (the row's reason says why)
    Stopped,     // the run stopped (or ended) before this row was done
    Failed,      // not measured (the row's reason says why)
};

// "listed", "queued", "running", "measured", "written", "not_written",
// "stopped", "failed".
const char* StatusCode(RowStatus pStatus);

// The status a finished row's result gives it.
RowStatus StatusOfResult(const RowResult& pResult);

// True for the statuses a run leaves behind (a row that is not queued or
// running).
inline bool IsFinal(RowStatus pStatus) { return pStatus != RowStatus::Queued && pStatus != RowStatus::Running; }

}  // namespace sonivate
