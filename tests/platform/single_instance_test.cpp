#include "platform/single_instance.h"

#include <cstdlib>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
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

// A user other than the one running the tests (they run as root).
constexpr uid_t kOtherUser = 65534;

// The shared fallback folder of a name only this test uses, gone before and after.
class SharedFallback {
public:
    SharedFallback() : mName("sonivate-lock-test-" + std::to_string(::getpid())) {
        ::unsetenv("XDG_RUNTIME_DIR");
        std::filesystem::remove_all(Folder());
    }
    ~SharedFallback() { std::filesystem::remove_all(Folder()); }
    SharedFallback(const SharedFallback&) = delete;
    SharedFallback& operator=(const SharedFallback&) = delete;
    const std::string& Name() const { return mName; }
    std::string Folder() const { return "/tmp/" + mName + "-" + std::to_string(::getuid()); }

private:
    std::string mName;
};

mode_t ModeOf(const std::string& pPath) {
    struct stat st {};
    return ::lstat(pPath.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(SingleInstanceLock, WithoutARuntimeFolderAPrivateOneIsMadeInTmp) {
    const SharedFallback shared;
    const std::string folder = shared.Folder();
    const mode_t oldMask = ::umask(0);
    EXPECT_EQ(PrivateRuntimeFolder(shared.Name()), folder);
    ::umask(oldMask);
    EXPECT_EQ(ModeOf(folder), 0700u) << "made for the user alone, whatever the umask";
    EXPECT_EQ(SingleInstanceLock::LockPath(shared.Name()), folder + "/" + shared.Name() + ".lock");
    {
        SingleInstanceLock first;
        ASSERT_TRUE(first.Acquire(shared.Name()));
        EXPECT_FALSE(first.Refused());
        EXPECT_FALSE(ChildAcquires(shared.Name())) << "a second start is handed to the first";
    }
    EXPECT_EQ(ModeOf(folder + "/" + shared.Name() + ".lock"), 0600u);
    EXPECT_TRUE(ChildAcquires(shared.Name()));
}

TEST(SingleInstanceLock, APlantedOrOpenFolderIsRefusedAndNothingIsHandedOver) {
    const SharedFallback shared;
    const std::string folder = shared.Folder();
    for (const char* how : {"another owner", "group access", "others may enter", "a link", "a file"}) {
        SCOPED_TRACE(how);
        std::filesystem::remove_all(folder);
        const std::string how_ = how;
        test::ScratchDir target;
        if (how_ == "a link") {
            ASSERT_EQ(::symlink(target.path().c_str(), folder.c_str()), 0) << "a private folder behind the link";
        } else if (how_ == "a file") {
            ASSERT_EQ(::close(::open(folder.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600)), 0);
        } else {
            ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
            if (how_ == "another owner") {
                ASSERT_EQ(::chown(folder.c_str(), kOtherUser, kOtherUser), 0);
            }
            if (how_ == "group access") {
                ASSERT_EQ(::chmod(folder.c_str(), 0750), 0);
            }
            if (how_ == "others may enter") {
                ASSERT_EQ(::chmod(folder.c_str(), 0701), 0);
            }
        }
        EXPECT_EQ(PrivateRuntimeFolder(shared.Name()), "");
        EXPECT_EQ(SingleInstanceLock::LockPath(shared.Name()), "");
        SingleInstanceLock first;
        EXPECT_TRUE(first.Acquire(shared.Name())) << "the start goes on, on its own";
        EXPECT_TRUE(first.Refused());
        EXPECT_TRUE(ChildAcquires(shared.Name())) << "no start hands its files to another through that folder";
        EXPECT_FALSE(std::filesystem::exists(folder + "/" + shared.Name() + ".lock"));
        EXPECT_FALSE(std::filesystem::exists(target.file(shared.Name() + ".lock")));
    }
}

TEST(SingleInstanceLock, ARuntimeFolderMustBeTheUsersAlone) {
    test::ScratchDir scratch;
    ::setenv("XDG_RUNTIME_DIR", scratch.path().c_str(), 1);
    EXPECT_EQ(PrivateRuntimeFolder("sonivate-test"), scratch.path());
    ASSERT_EQ(::chmod(scratch.path().c_str(), 0755), 0);
    EXPECT_EQ(PrivateRuntimeFolder("sonivate-test"), "");
    ASSERT_EQ(::chmod(scratch.path().c_str(), 0700), 0);
    ASSERT_EQ(::chown(scratch.path().c_str(), kOtherUser, kOtherUser), 0);
    EXPECT_EQ(PrivateRuntimeFolder("sonivate-test"), "");
    SingleInstanceLock lock;
    EXPECT_TRUE(lock.Acquire("sonivate-test"));
    EXPECT_TRUE(lock.Refused());
    EXPECT_FALSE(std::filesystem::exists(scratch.file("sonivate-test.lock")));
    ASSERT_EQ(::chown(scratch.path().c_str(), ::geteuid(), ::getegid()), 0);
}

TEST(SingleInstanceLock, UnusableRuntimeFolderDoesNotBlockStart) {
    ::setenv("XDG_RUNTIME_DIR", "/nonexistent-folder-for-test", 1);
    SingleInstanceLock lock;
    EXPECT_TRUE(lock.Acquire("sonivate-test"));
}

}  // namespace
}  // namespace sonivate::platform
