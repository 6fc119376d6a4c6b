#pragma once
// A scripted message pump for tests: its clock moves only when the code
// under test pumps, waits or sleeps, so waits finish instantly and measurably.

#include <cstdint>
#include <functional>

#include "platform/event_pump.h"

namespace sonivate::test {

class FakePump : public platform::EventPump {
public:
    // pStart: the clock's first reading; pStepSeconds: how far each pass of
    // the message loop moves it.
    explicit FakePump(double pStart = 1000.0, double pStepSeconds = 0.001) : mNow(pStart), mStep(pStepSeconds) {}
    FakePump(const FakePump&) = delete;
    FakePump& operator=(const FakePump&) = delete;

    void ProcessEvents() override {
        ++passes;
        Advance(mStep);
        if (onEvents) onEvents();
    }
    void WaitEvents(std::int32_t pMilliseconds) override {
        waitedMs += pMilliseconds;
        Advance(pMilliseconds / 1000.0);
    }
    void YieldForUi(std::int32_t pMilliseconds) override { yieldedMs += pMilliseconds; }
    double SecondsSinceMidnight() override { return mNow; }
    void Sleep(std::int32_t pMilliseconds) override {
        sleptMs += pMilliseconds;
        Advance(pMilliseconds / 1000.0);
    }

    double now() const { return mNow; }
    // Simulated time that passed since construction, in seconds, across midnight.
    double elapsed() const { return mElapsed; }

    std::int64_t passes = 0;
    std::int64_t yieldedMs = 0;
    std::int64_t waitedMs = 0;
    std::int64_t sleptMs = 0;
    std::function<void()> onEvents;  // runs inside each pass, like a window handler

private:
    void Advance(double pSeconds) {
        mElapsed += pSeconds;
        mNow += pSeconds;
        if (mNow >= 86400.0) mNow -= 86400.0;
    }
    double mNow;
    double mStep;
    double mElapsed = 0.0;
};

}  // namespace sonivate::test
