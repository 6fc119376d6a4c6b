// Whether another program is still writing a file, the causes of system
// errors, the first failure of a copy, and the mode of a hidden-name copy.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

#include "platform/errno_text.h"
#include "platform/file_users.h"
#include "platform/pending_file.h"
#include "platform/posix_file.h"
#include "support/scratch.h"

using namespace sonivate;

namespace {

// A child process that opens pPath with pFlags (and, when pReadLock, takes a
// POSIX read lock on it), tells the parent through a pipe, and holds it until
// Release. No sleeps: each side waits for the other's byte.
class HoldingProcess {
public:
    HoldingProcess(const std::string& pPath, int pFlags, bool pReadLock) {
        int ready[2], release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0) return;
        mPid = ::fork();
        if (mPid == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            const int fd = ::open(pPath.c_str(), pFlags | O_CLOEXEC);
            bool ok = fd >= 0;
            if (ok && pReadLock) {
                struct flock lock {};
                lock.l_type = F_RDLCK;
                lock.l_whence = SEEK_SET;
                ok = ::fcntl(fd, F_SETLK, &lock) == 0;
            }
            const char answer = ok ? 'y' : 'n';
            if (::write(ready[1], &answer, 1) != 1) ::_exit(2);
            char byte = 0;
            if (::read(release[0], &byte, 1) < 0) ::_exit(2);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        mRelease = release[1];
        char answer = 0;
        mHolding = ::read(ready[0], &answer, 1) == 1 && answer == 'y';
        ::close(ready[0]);
    }
    ~HoldingProcess() { Release(); }
    bool Holding() const { return mHolding; }
    void Release() {
        if (mRelease >= 0) ::close(mRelease);  // end of file: the child's read returns
        mRelease = -1;
        if (mPid > 0) ::waitpid(mPid, nullptr, 0);
        mPid = -1;
    }

private:
    pid_t mPid = -1;
    int mRelease = -1;
    bool mHolding = false;
};

std::string SmallFile(const test::ScratchDir& pDir) {
    const std::string path = pDir.file("take.wav");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    EXPECT_EQ(::write(fd, "RIFF", 4), 4);
    ::close(fd);
    return path;
}

class OtherWriters : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { platform::UseLeaseForTesting(GetParam()); }
    void TearDown() override { platform::UseLeaseForTesting(true); }
    platform::WriterCheck Expected() const {
        return GetParam() ? platform::WriterCheck::Lease : platform::WriterCheck::ProcessScan;
    }
};

TEST_P(OtherWriters, AWriterOrARecordLockOfAnotherProcessIsSeenAndReadersAreNot) {
    test::ScratchDir dir;
    const std::string path = SmallFile(dir);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    // The caller's own second reader does not count.
    const int ownReader = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    platform::WriterCheck method = platform::WriterCheck::None;
    EXPECT_EQ(platform::CheckNoOtherWriters(fd, &method), 0);
    EXPECT_EQ(method, Expected());
    {
        HoldingProcess reader(path, O_RDONLY, false);
        ASSERT_TRUE(reader.Holding());
        EXPECT_EQ(platform::CheckNoOtherWriters(fd), 0) << "a reader changes nothing";
    }
    for (const int flags : {O_WRONLY, O_RDWR, O_WRONLY | O_APPEND}) {
        HoldingProcess writer(path, flags, false);
        ASSERT_TRUE(writer.Holding());
        EXPECT_EQ(platform::CheckNoOtherWriters(fd, &method), EBUSY) << flags;
        EXPECT_EQ(method, Expected());
        writer.Release();
        EXPECT_EQ(platform::CheckNoOtherWriters(fd), 0) << "the writer is gone";
    }
    {
        HoldingProcess locker(path, O_RDONLY, true);
        ASSERT_TRUE(locker.Holding());
        EXPECT_EQ(platform::CheckNoOtherWriters(fd), EBUSY) << "a record lock counts like a writer";
    }
    EXPECT_EQ(platform::CheckNoOtherWriters(-1), EBADF);
    ::close(ownReader);
    ::close(fd);
}

INSTANTIATE_TEST_SUITE_P(LeaseAndScan, OtherWriters, ::testing::Bool());

TEST(ErrnoCauses, CommonErrorsHaveTextsInBothLanguagesAndTheRestKeepTheirNumber) {
    EXPECT_STREQ(platform::ErrnoCause(ENOSPC, false), "no space left on the device");
    EXPECT_STREQ(platform::ErrnoCause(ENOSPC, true), "ディスクの空き容量が足りません");
    for (const int error : {EROFS, EACCES, EPERM, EIO, EFBIG, EMFILE, ENFILE, ENOMEM, EDQUOT}) {
        EXPECT_GT(std::strlen(platform::ErrnoCause(error, false)), 0u) << error;
        EXPECT_STRNE(platform::ErrnoCause(error, false), platform::ErrnoCause(error, true)) << error;
    }
    EXPECT_STREQ(platform::ErrnoCause(0, false), "");
    EXPECT_STREQ(platform::ErrnoCause(4095, false), "system error 4095");
}

TEST(TransferErrors, TheFirstFailureOfAWatchedDescriptorIsKeptUntilTaken) {
    test::ScratchDir dir;
    const std::string path = SmallFile(dir);
    const int readOnly = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const int other = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    platform::WatchTransferErrors(readOnly);
    platform::WatchTransferErrors(other);
    const char byte = 1;
    EXPECT_LT(platform::WriteFullyAt(readOnly, &byte, 1, 0), 1);
    EXPECT_LT(platform::SeekFile(other, -100, true), 0);  // EINVAL, later than the write
    EXPECT_EQ(platform::TakeTransferError(other, readOnly), EBADF) << "the earlier failure";
    EXPECT_EQ(platform::TakeTransferError(readOnly, other), 0) << "taken once, then no longer watched";
    EXPECT_LT(platform::WriteFullyAt(readOnly, &byte, 1, 0), 1);
    EXPECT_EQ(platform::TakeTransferError(readOnly), 0) << "an unwatched descriptor keeps nothing";
    ::close(other);
    ::close(readOnly);
}

TEST(PendingFileMode, AHiddenNameCopyIsPublishedWithTheModeAnUnnamedOneGets) {
    mode_t modes[2] = {};
    for (const bool namedOnly : {false, true}) {
        platform::PendingFile::SetNamedOnlyForTesting(namedOnly);
        test::ScratchDir dir;
        platform::PendingFile file;
        ASSERT_EQ(file.Create(dir.path(), 0666), 0);
        ASSERT_EQ(file.Publish("new.wav", nullptr), 0);
        struct stat st {};
        ASSERT_EQ(::stat(dir.file("new.wav").c_str(), &st), 0);
        modes[namedOnly ? 1 : 0] = st.st_mode & 07777;
    }
    platform::PendingFile::SetNamedOnlyForTesting(false);
    EXPECT_EQ(modes[0], 0666 & ~platform::CurrentUmask());
    EXPECT_EQ(modes[1], modes[0]) << "not 0600";
}

}  // namespace
