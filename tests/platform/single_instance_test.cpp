#include "platform/single_instance.h"

#include <cstdlib>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/scratch.h"

namespace sonivate::platform {
namespace {

// Whether a child process (a separate lock owner) could take the lock.
bool ChildAcquires(const std::string& pName) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        SingleInstanceLock lock;
        const bool held = lock.Acquire(pName);
        ::_exit(held ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(SingleInstanceLock, SecondOwnerIsRefusedUntilTheFirstEnds) {
    test::ScratchDir scratch;
    ::setenv("XDG_RUNTIME_DIR", scratch.path().c_str(), 1);
    const std::string name = "sonivate-test";
    EXPECT_EQ(SingleInstanceLock::LockPath(name), scratch.path() + "/sonivate-test.lock");
    {
        SingleInstanceLock first;
        ASSERT_TRUE(first.Acquire(name));
        EXPECT_TRUE(first.Acquire(name)) << "taking it again in the same owner is no conflict";
        EXPECT_FALSE(ChildAcquires(name));
    }
    EXPECT_TRUE(ChildAcquires(name)) << "the lock goes with its owner";
}

TEST(SingleInstanceLock, UnusableRuntimeFolderDoesNotBlockStart) {
    ::setenv("XDG_RUNTIME_DIR", "/nonexistent-folder-for-test", 1);
    SingleInstanceLock lock;
    EXPECT_TRUE(lock.Acquire("sonivate-test"));
}

}  // namespace
}  // namespace sonivate::platform
