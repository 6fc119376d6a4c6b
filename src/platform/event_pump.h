#pragma once
// The message-pump hook. Long work lets "the window" run between pieces; the
// GUI binds this to Qt's event loop, the CLI to its own no-op pump, and tests
// to a scripted pump with a fake clock so that nothing ever sleeps for real.

#include <cstdint>

namespace sonivate::platform {

class EventPump {
public:
    virtual ~EventPump() = default;

    // One pass of the message loop: handle what is pending, then return.
    virtual void ProcessEvents() {}

    // A pause whose only purpose is to keep a window responsive (the meter's
    // wait after each piece, the progress handlers' waits). Headless pumps
    // skip it; the GUI waits with its message loop running.
    virtual void YieldForUi(std::int32_t /*pMilliseconds*/) {}

    // Seconds since local midnight, 0 <= t < 86400, millisecond resolution or better.
    virtual double SecondsSinceMidnight();

    // Blocks the calling thread.
    virtual void Sleep(std::int32_t pMilliseconds);
};

// The process-wide pump. Never null: without an installed pump a default
// one (no events, real clock, real sleep) answers.
EventPump& Pump();

// Installs pPump (not owned; must outlive its use) or, with nullptr, the default.
void SetPump(EventPump* pPump);

}  // namespace sonivate::platform
