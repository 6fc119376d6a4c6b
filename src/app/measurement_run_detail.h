#pragma once
// Pieces of the run that the controller and the tests share.

#include <cstdint>
#include <vector>

#include "app/batch_rows.h"
#include "app/measurement_run.h"

namespace sonivate::detail {

RowWork ReadRowWork(const BatchRows& pRows, std::int32_t pRow);
RunChoices ReadChoices(const RunHost& pHost, double pTarget, std::shared_ptr<const OutputTarget> pOutput);

// Rows whose files could touch each other (the same source, one's output
// another's source, the same output name, or numbered names that may meet)
// share a group; each row's entry is its group's first row. Rows of one
// group are processed one after another, in list order.
std::vector<std::int32_t> ConflictGroups(const std::vector<RowWork>& pWorks, const RunChoices& pChoices);

}  // namespace sonivate::detail
