#pragma once
// Pieces shared by the sequential and the parallel run.

#include "app/measurement_run.h"

namespace sonivate::detail {

RowWork ReadRowWork(const ListViewModel& pList, std::int32_t pRow);
// The target text as a number; false when it is none.
bool ReadTarget(const RunHost& pHost, double& pTarget);
RunChoices ReadChoices(const RunHost& pHost, double pTarget);
// Unlocks the list and restores the display after a run.
void EndRun(ListViewModel& pList, RunHost& pHost);

}  // namespace sonivate::detail
