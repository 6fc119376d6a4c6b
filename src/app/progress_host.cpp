#include "app/progress_host.h"

#include <cmath>

namespace sonivate {
namespace {
constexpr std::int32_t kProgressYieldMs = 5;
}

void HandleProgress(ProgressHost& pHost, float pRate, std::int32_t& pCancel) {
    pHost.RunPump().YieldForUi(kProgressYieldMs);
    pHost.SetProgress(static_cast<std::int32_t>(std::nearbyint(static_cast<double>(pRate) * kProgressScale)));
    pCancel = pHost.StopRequested() ? 1 : 0;
}

}  // namespace sonivate
