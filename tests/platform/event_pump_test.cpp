#include "platform/event_pump.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "support/fake_pump.h"

namespace sonivate::platform {
namespace {

TEST(Waiting, WaitsOnThePumpClockInTheEventLoopAndSurvivesMidnight) {
    test::FakePump pump(86399.99, 0.001);
    WaitWithMessages(pump, 50, 0);
    EXPECT_GT(pump.elapsed(), 0.05);
    EXPECT_LT(pump.elapsed(), 0.06);
    // The time between passes is spent blocked in the event loop, not polling.
    EXPECT_LE(pump.passes, 3);
    EXPECT_GE(pump.waitedMs, 45);

    test::FakePump sleeper(500.0, 0.0);
    WaitWithMessages(sleeper, 30, 10);
    EXPECT_GE(sleeper.sleptMs, 30);
    EXPECT_LE(sleeper.sleptMs, 40);
    EXPECT_EQ(sleeper.waitedMs, 0);
    const auto passes = sleeper.passes;
    WaitWithMessages(sleeper, 0, 0);
    EXPECT_EQ(sleeper.passes, passes + 1);
}

TEST(Waiting, AHandlersExceptionIsNotTheWaitsOwn) {
    test::FakePump pump;
    pump.onEvents = [] { throw std::runtime_error("handler"); };
    EXPECT_THROW(WaitWithMessages(pump, 5, 0), std::runtime_error);
}

TEST(Waiting, TheHeadlessPumpSleepsAndSkipsWindowPauses) {
    EventPump& pump = HeadlessPump();
    EXPECT_EQ(&pump, &HeadlessPump());
    const double before = pump.SecondsSinceMidnight();
    WaitWithMessages(pump, 20, 0);
    const double after = pump.SecondsSinceMidnight();
    EXPECT_GE(after >= before ? after - before : after + 86400.0 - before, 0.019);
}

TEST(GuardedPumpTest, KeepsTheFirstExceptionForItsOwnerAndPassesCallsOn) {
    test::FakePump inner(100.0, 0.0);
    GuardedPump guarded(inner);
    int thrown = 0;
    inner.onEvents = [&] { throw std::runtime_error("first " + std::to_string(++thrown)); };
    guarded.ProcessEvents();
    guarded.ProcessEvents();
    guarded.WaitEvents(7);
    guarded.YieldForUi(5);
    EXPECT_EQ(inner.passes, 2);
    EXPECT_EQ(inner.waitedMs, 7);
    EXPECT_EQ(inner.yieldedMs, 5);
    EXPECT_DOUBLE_EQ(guarded.SecondsSinceMidnight(), 100.007);
    const std::exception_ptr failure = guarded.TakeFailure();
    ASSERT_TRUE(failure);
    try {
        std::rethrow_exception(failure);
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "first 1");
    }
    EXPECT_FALSE(guarded.TakeFailure());
    // A wait through the guard finishes although a handler keeps failing.
    WaitWithMessages(guarded, 20, 0);
    EXPECT_TRUE(guarded.TakeFailure());
}

}  // namespace
}  // namespace sonivate::platform
