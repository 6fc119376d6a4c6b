#include "common/error_trap.h"

#include <atomic>

#include "common/paths.h"

namespace sonivate {
namespace {

// Written once at start-up before any worker runs; atomic so that a CLI
// with worker threads reads it without a data race.
std::atomic<std::int32_t> gErrorCatch{0};

constexpr const char* kMarkerFile = "ec.txt";

}  // namespace

std::int32_t ErrorCatch() { return gErrorCatch.load(std::memory_order_relaxed); }

void SetErrorCatch(std::int32_t pValue) { gErrorCatch.store(pValue, std::memory_order_relaxed); }

std::int32_t DecideErrorCatch(std::int32_t pSetting, const std::string& pAppFolder) {
    if (pSetting != 0) return pSetting;
    return FileExists(SetTrailingSeparator(pAppFolder, 0) + kMarkerFile) == 1 ? 1 : 0;
}

}  // namespace sonivate
