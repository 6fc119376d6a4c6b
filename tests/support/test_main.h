#pragma once
// What every test executable does before its tests run (see test_main.cpp).

#include "common/error_trap.h"

namespace sonivate::test {

// Errors reach the tests: ErrorCatch() != 0.
inline constexpr std::int32_t kTestErrorCatch = 1;

void InitTests(int* pArgc, char** pArgv);

}  // namespace sonivate::test

namespace sonivate::test {

// For a test about trapping: errors are trapped while it lives.
class TrappedErrors {
public:
    TrappedErrors() { SetErrorCatch(0); }
    ~TrappedErrors() { SetErrorCatch(kTestErrorCatch); }
    TrappedErrors(const TrappedErrors&) = delete;
    TrappedErrors& operator=(const TrappedErrors&) = delete;
};

}  // namespace sonivate::test
