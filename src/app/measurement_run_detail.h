#pragma once
// Pieces shared by the sequential and the parallel run.

#include <functional>

#include "app/measurement_run.h"

namespace sonivate::detail {

RowWork ReadRowWork(const ListViewModel& pList, std::int32_t pRow);
RunChoices ReadChoices(const RunHost& pHost, double pTarget);
// The frame of a run around its row loop pRows(target): nothing on an
// empty list; otherwise the busy display, the stop request cleared, the
// target read (a target that is no number skips the rows), the list locked,
// and afterwards unlocked and the display restored, also when an unexpected
// error ended the rows early.
void RunFrame(ListViewModel& pList, RunHost& pHost, const std::function<void(double pTarget)>& pRows);

}  // namespace sonivate::detail
