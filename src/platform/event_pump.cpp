#include "platform/event_pump.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <thread>
#include <utility>

namespace sonivate::platform {
namespace {

constexpr double kSecondsPerDay = 86400.0;
// The clock's last reading of a day; later readings count as this.
constexpr double kLastReading = 86399.999;
constexpr double kMillisecondsPerSecond = 1000.0;

double ClockReading(EventPump& pPump) { return std::clamp(pPump.SecondsSinceMidnight(), 0.0, kLastReading); }

}  // namespace

double EventPump::SecondsSinceMidnight() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    const double seconds =
        local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + static_cast<double>(now.tv_nsec) / 1e9;
    return seconds < kSecondsPerDay ? seconds : kSecondsPerDay - 0.001;
}

void EventPump::Sleep(std::int32_t pMilliseconds) {
    if (pMilliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pMilliseconds));
}

EventPump& HeadlessPump() {
    static EventPump pump;
    return pump;
}

void WaitWithMessages(EventPump& pPump, std::int32_t pMilliseconds, std::int32_t pSleepMilliseconds) {
    if (pMilliseconds <= 0) {
        pPump.ProcessEvents();
        return;
    }
    const double wait = pMilliseconds / kMillisecondsPerSecond;
    const double start = ClockReading(pPump);
    for (;;) {
        pPump.ProcessEvents();
        const double now = ClockReading(pPump);
        // Across midnight the clock starts again at 0.
        const double elapsed = now >= start ? now - start : now + kSecondsPerDay - start;
        if (elapsed > wait) return;
        if (pSleepMilliseconds > 0) {
            pPump.Sleep(pSleepMilliseconds);
        } else {
            // The rest of the time, rounded up so that the wait always moves on.
            const double rest = std::ceil((wait - elapsed) * kMillisecondsPerSecond);
            pPump.WaitEvents(
                std::max(1, static_cast<std::int32_t>(std::min(rest, static_cast<double>(pMilliseconds)))));
        }
    }
}

template <class Call>
void GuardedPump::Guard(Call&& pCall) {
    try {
        std::forward<Call>(pCall)();
    } catch (...) {
        if (!mFailure) mFailure = std::current_exception();
    }
}

void GuardedPump::ProcessEvents() {
    Guard([&] { mInner->ProcessEvents(); });
}
void GuardedPump::WaitEvents(std::int32_t pMilliseconds) {
    Guard([&] { mInner->WaitEvents(pMilliseconds); });
}
void GuardedPump::YieldForUi(std::int32_t pMilliseconds) {
    Guard([&] { mInner->YieldForUi(pMilliseconds); });
}

std::exception_ptr GuardedPump::TakeFailure() { return std::exchange(mFailure, nullptr); }

}  // namespace sonivate::platform
