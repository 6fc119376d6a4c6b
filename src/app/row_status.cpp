#include "app/row_status.h"

#include "app/measurement_run.h"

namespace sonivate {

const char* StatusCode(RowStatus pStatus) {
    switch (pStatus) {
        case RowStatus::Listed:
            return "listed";
        case RowStatus::Queued:
            return "queued";
        case RowStatus::Running:
            return "running";
        case RowStatus::Measured:
            return "measured";
        case RowStatus::Written:
            return "written";
        case RowStatus::NotWritten:
            return "not_written";
        case RowStatus::Stopped:
            return "stopped";
        case RowStatus::Failed:
            return "failed";
    }
    return "failed";
}

RowStatus StatusOfResult(const RowResult& pResult) {
    if (pResult.Written) return RowStatus::Written;
    if (pResult.Reason == RowReason::Stopped || pResult.Reason == RowReason::NotReached) return RowStatus::Stopped;
    if (!pResult.SourceFound || !pResult.Measured) return RowStatus::Failed;
    // A measured row that asked for no copy, and had no reason not to get
    // one, was only to be measured.
    if (!pResult.WriteAttempted && pResult.Reason == RowReason::None) return RowStatus::Measured;
    return RowStatus::NotWritten;
}

}  // namespace sonivate
