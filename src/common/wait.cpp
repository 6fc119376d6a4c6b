#include <algorithm>

#include "common/error_trap.h"
#include "common/paths.h"
#include "platform/event_pump.h"

namespace sonivate {
namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr double kLastReading = 86399.999;

double ClockReading() {
    return std::clamp(platform::Pump().SecondsSinceMidnight(), 0.0, kLastReading);
}

}  // namespace

void WaitWithMessages(std::int32_t pMilliseconds, std::int32_t pSleepMilliseconds) {
    AlwaysTrapped<int>(0, [&] {
        platform::EventPump& pump = platform::Pump();
        if (pMilliseconds <= 0) {
            pump.ProcessEvents();
            return 0;
        }
        const double wait = pMilliseconds / 1000.0;
        const double start = ClockReading();
        for (;;) {
            pump.ProcessEvents();
            const double now = ClockReading();
            // Across midnight the clock starts again at 0.
            const double elapsed = now >= start ? now - start : now + kSecondsPerDay - start;
            if (elapsed > wait) return 0;
            if (pSleepMilliseconds > 0) pump.Sleep(pSleepMilliseconds);
        }
    });
}

}  // namespace sonivate
