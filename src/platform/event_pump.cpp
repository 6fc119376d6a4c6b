#include "platform/event_pump.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>

namespace sonivate::platform {
namespace {

constexpr double kSecondsPerDay = 86400.0;

EventPump gDefaultPump;
std::atomic<EventPump*> gPump{&gDefaultPump};

}  // namespace

double EventPump::SecondsSinceMidnight() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    const double seconds = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec +
                           static_cast<double>(now.tv_nsec) / 1e9;
    return seconds < kSecondsPerDay ? seconds : kSecondsPerDay - 0.001;
}

void EventPump::Sleep(std::int32_t pMilliseconds) {
    if (pMilliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pMilliseconds));
}

EventPump& Pump() {
    return *gPump.load(std::memory_order_acquire);
}

void SetPump(EventPump* pPump) {
    gPump.store(pPump ? pPump : &gDefaultPump, std::memory_order_release);
}

}  // namespace sonivate::platform
