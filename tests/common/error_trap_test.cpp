#include <sys/stat.h>

#include <gtest/gtest.h>
#include <stdexcept>

#include "common/basic_file.h"
#include "common/error_trap.h"
#include "platform/posix_file.h"
#include "support/scratch.h"
#include "support/wavgen.h"
#include "support/test_main.h"

namespace sonivate {
namespace {

// Puts the switch and the platform fault back after each test.
class ErrorTrapping : public ::testing::Test {
protected:
    void TearDown() override {
        SetErrorCatch(0);
        platform::SetFaultHookForTesting(nullptr);
    }
    static void FailOn(std::string_view pOperation) {
        platform::SetFaultHookForTesting([op = std::string(pOperation)](std::string_view pWhat) {
            if (pWhat == op) throw RunTimeError("injected " + op + " failure");
        });
    }
};

TEST_F(ErrorTrapping, TheSameInjectedFailureIsTrappedWithTheSwitchAtZeroAndReachesTheCallerOtherwise) {
    test::ScratchDir dir;
    const std::string path = dir.file("a.bin");
    test::WriteBytes(path, {1, 2, 3, 4});

    FailOn("open");
    SetErrorCatch(0);
    EXPECT_EQ(OpenFileHandle(path, kOpenRead), 0);
    EXPECT_EQ(FileSizeOfPath(path), 0);
    SetErrorCatch(1);
    EXPECT_THROW(OpenFileHandle(path, kOpenRead), RunTimeError);
    EXPECT_THROW(FileSizeOfPath(path), RunTimeError);

    FailOn("read");
    SetErrorCatch(0);
    std::uint8_t byte = 0;
    EXPECT_EQ(ReadFileAt(&byte, 1, 0, 0, path, true), 0);
    SetErrorCatch(1);
    EXPECT_THROW(ReadFileAt(&byte, 1, 0, 0, path, true), RunTimeError);

    platform::SetFaultHookForTesting(nullptr);
    EXPECT_EQ(ReadFileAt(&byte, 1, 3, 0, path, true), 1);
    EXPECT_EQ(byte, 4);
}

TEST_F(ErrorTrapping, ATrappedFailureInsideAReadClosesThePassedHandle) {
    // About trapping: errors are trapped unless the test lets them through.
    const test::TrappedErrors trapped;
    test::ScratchDir dir;
    const std::string path = dir.file("b.bin");
    test::WriteBytes(path, {1, 2, 3});
    FileHandle handle = OpenFileHandle(path, kOpenRead);
    ASSERT_NE(handle, 0);
    FailOn("read");
    std::uint8_t byte = 0;
    EXPECT_EQ(ReadFileAt(&byte, 1, 0, handle, "", false), 0);
    platform::SetFaultHookForTesting(nullptr);
    // The descriptor is gone: a read on the stale value fails instead of reading.
    EXPECT_EQ(ReadAtCurrentPosition(handle, &byte, 1), -1);
}

TEST_F(ErrorTrapping, StartUpRuleReadsTheSettingThenTheMarkerFile) {
    test::ScratchDir dir;
    EXPECT_EQ(DecideErrorCatch(0, dir.path()), 0);
    EXPECT_EQ(DecideErrorCatch(3, dir.path()), 3);
    ::mkdir(dir.file("ec.txt").c_str(), 0755);
    EXPECT_EQ(DecideErrorCatch(0, dir.path()), 0) << "a folder named ec.txt does not count";
    ::rmdir(dir.file("ec.txt").c_str());
    test::WriteBytes(dir.file("ec.txt"), {});
    EXPECT_EQ(DecideErrorCatch(0, dir.path()), 1);
    EXPECT_EQ(DecideErrorCatch(0, dir.path() + "/"), 1);
    EXPECT_EQ(DecideErrorCatch(2, dir.path()), 2);
}

TEST_F(ErrorTrapping, HelpersKeepTheFailureValueAndCheckedNarrowRefusesOverflow) {
    SetErrorCatch(0);
    EXPECT_EQ(Trapped<int>(-1, []() -> int { throw std::bad_alloc(); }), -1);
    int reached = 0;
    EXPECT_FALSE(Trap([&] {
        reached = 1;
        (void)CheckedNarrow<std::int32_t>(std::int64_t{1} << 40);
        reached = 2;
    }));
    EXPECT_EQ(reached, 1);
    EXPECT_EQ(CheckedNarrow<std::int32_t>(2147483647.0), 2147483647);
    EXPECT_THROW((void)CheckedNarrow<std::int32_t>(2147483648.0), RunTimeError);
    SetErrorCatch(1);
    EXPECT_EQ(AlwaysTrapped<int>(7, []() -> int { throw RunTimeError("x"); }), 7);
    EXPECT_THROW(Trapped<int>(0, []() -> int { throw RunTimeError("x"); }), RunTimeError);
}

}  // namespace
}  // namespace sonivate
