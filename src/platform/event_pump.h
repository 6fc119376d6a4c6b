#pragma once
// The message pump a run is handed. Long work lets "the window" run between
// pieces through it; the window binds it to Qt's event loop, headless code
// and worker threads get one without events, and tests a scripted pump with
// a fake clock so that nothing ever sleeps for real.
//
// There is no process-wide pump: each run receives its pump from its host
// (ProgressHost::RunPump) or through the constructors of the meter and the
// writer, so code on a worker thread never touches the window's event loop.
//
// Waiting never spins a core: it sleeps or blocks in the event loop.

#include <cstdint>
#include <exception>

namespace sonivate::platform {

class EventPump {
public:
    virtual ~EventPump() = default;

    // One pass of the message loop: handle what is pending, then return at once.
    virtual void ProcessEvents() {}

    // Handles events as they come for at most pMilliseconds, blocking (not
    // polling) while none is pending; may return early after an event. A
    // pump without events sleeps. A window binds this to its event loop
    // with a timer.
    virtual void WaitEvents(std::int32_t pMilliseconds) { Sleep(pMilliseconds); }

    // A pause whose only purpose is to keep a window responsive (the meter's
    // wait after each piece, the progress handlers' waits). Headless pumps
    // skip it; a window's pump runs WaitWithMessages(*this, pMilliseconds, 0).
    virtual void YieldForUi(std::int32_t /*pMilliseconds*/) {}

    // Seconds since local midnight, 0 <= t < 86400, millisecond resolution or better.
    virtual double SecondsSinceMidnight();

    // Blocks the calling thread.
    virtual void Sleep(std::int32_t pMilliseconds);
};

// A pump without events: real clock, real sleep, pauses for a window
// skipped. It holds no state, so any thread may use it.
EventPump& HeadlessPump();

// Waits pMilliseconds on pPump's clock while its message loop runs: one pass,
// then, until the time is up, a sleep of pSleepMilliseconds (when above 0)
// or a blocking wait for events for the rest of the time, and another pass.
// 0 or less: one pass. Midnight on the clock is crossed correctly. An
// exception thrown by a handler inside the pump is passed on, never taken
// for the wait's own.
void WaitWithMessages(EventPump& pPump, std::int32_t pMilliseconds, std::int32_t pSleepMilliseconds);

// Passes every call on to another pump, but an exception thrown inside it
// (by some handler the pump ran) stops here: the first is kept for the owner
// of the work, later ones are dropped. So the meter or the writer, which
// trap their own errors, never take a stranger's error for a failure of
// their file. One thread at a time.
class GuardedPump final : public EventPump {
public:
    explicit GuardedPump(EventPump& pInner) : mInner(&pInner) {}

    void ProcessEvents() override;
    void WaitEvents(std::int32_t pMilliseconds) override;
    void YieldForUi(std::int32_t pMilliseconds) override;
    double SecondsSinceMidnight() override { return mInner->SecondsSinceMidnight(); }
    void Sleep(std::int32_t pMilliseconds) override { mInner->Sleep(pMilliseconds); }

    // The exception kept since the last call (null when none); forgets it.
    std::exception_ptr TakeFailure();

private:
    template <class Call>
    void Guard(Call&& pCall);

    EventPump* mInner;
    std::exception_ptr mFailure;
};

}  // namespace sonivate::platform
