// Entry point of every test executable: errors are let through (ErrorCatch
// 1), so that an unexpected exception fails its test instead of turning
// into a failure value somewhere. Tests about trapping switch it back on
// for themselves; every test starts with it off again.
#include <gtest/gtest.h>

#include "support/test_main.h"

namespace sonivate::test {
namespace {

class LetErrorsThrough : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { SetErrorCatch(kTestErrorCatch); }
};

}  // namespace

void InitTests(int* pArgc, char** pArgv) {
    ::testing::InitGoogleTest(pArgc, pArgv);
    SetErrorCatch(kTestErrorCatch);
    ::testing::UnitTest::GetInstance()->listeners().Append(new LetErrorsThrough);
}

}  // namespace sonivate::test
