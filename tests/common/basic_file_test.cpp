#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <gtest/gtest.h>

#include "common/basic_file.h"
#include "support/scratch.h"
#include "support/wavgen.h"

namespace sonivate {
namespace {

using test::ScratchDir;

bool DescriptorOpen(FileHandle pHandle) { return ::fcntl(pHandle - 1, F_GETFD) != -1; }

TEST(FileHandles, PositionsAroundTwoAndFourGiBLandWhereA64BitSeekWould) {
    ScratchDir dir;
    const std::string path = dir.file("sparse.bin");
    constexpr std::int64_t kFourGiB = 4294967296LL;
    {
        const int fd = ::open(path.c_str(), O_CREAT | O_RDWR, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, kFourGiB + 16), 0);
        ::close(fd);
    }
    const std::int64_t positions[] = {2147483647LL, 2147483648LL, kFourGiB - 1, kFourGiB, kFourGiB + 1};
    FileHandle handle = 0;
    std::uint8_t tag = 0x10;
    for (const std::int64_t position : positions) {
        ++tag;
        handle = WriteFileAt(&tag, 1, position, handle, path, false);
        ASSERT_NE(handle, 0) << position;
    }
    CloseFileHandle(handle);
    EXPECT_EQ(handle, 0);

    const int fd = ::open(path.c_str(), O_RDONLY);
    tag = 0x10;
    for (const std::int64_t position : positions) {
        ++tag;
        std::uint8_t plain = 0;
        ASSERT_EQ(::pread(fd, &plain, 1, position), 1);
        EXPECT_EQ(plain, tag) << position;
        std::uint8_t ours = 0;
        EXPECT_EQ(ReadFileAt(&ours, 1, position, 0, path, true), 1);
        EXPECT_EQ(ours, tag) << position;
    }
    ::close(fd);
    EXPECT_EQ(FileSizeOfPath(path), kFourGiB + 16);
}

TEST(FileHandles, AppendWritesAfterTheLastByteAlsoOnANewEmptyFile) {
    ScratchDir dir;
    const std::string path = dir.file("append.bin");
    FileHandle handle = OpenFileHandle(path, kOpenReadWrite);
    ASSERT_NE(handle, 0);
    EXPECT_EQ(FileSizeOfHandle(handle), 0);
    handle = WriteFileAt("abc", 3, AppendPosition, handle, "", false);
    handle = WriteFileAt("Z", 1, 0, handle, "", false);
    handle = WriteFileAt("de", 2, AppendPosition, handle, "", false);
    ASSERT_NE(handle, 0);
    EXPECT_EQ(FileSizeOfHandle(handle), 5);
    CloseFileHandle(handle);
    const test::Bytes bytes = test::ReadBytes(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "Zbcde");
}

TEST(FileHandles, OpenModesCreateWithoutTruncatingAndRefuseTheRest) {
    ScratchDir dir;
    const std::string path = dir.file("modes.bin");
    EXPECT_EQ(OpenFileHandle(path, kOpenRead), 0);  // must exist
    test::WriteBytes(path, {1, 2, 3, 4});
    for (const std::int32_t mode : {kOpenWrite, kOpenReadWrite}) {
        FileHandle handle = OpenFileHandle(path, mode);
        ASSERT_NE(handle, 0);
        CloseFileHandle(handle);
        EXPECT_EQ(FileSizeOfPath(path), 4);
    }
    EXPECT_EQ(OpenFileHandle(path, 3), 0);
    EXPECT_EQ(OpenFileHandle(dir.path(), kOpenRead), 0) << "a folder is not a file";
    FileHandle created = OpenFileHandle(dir.file("new.bin"), kOpenWrite);
    EXPECT_NE(created, 0);
    CloseFileHandle(created);
    EXPECT_EQ(FileSizeOfPath(dir.file("new.bin")), 0);
}

TEST(FileHandles, ReadsPastTheEndSucceedAndReportWhatArrived) {
    ScratchDir dir;
    const std::string path = dir.file("short.bin");
    test::WriteBytes(path, {1, 2, 3});
    std::array<std::uint8_t, 6> buffer{9, 9, 9, 9, 9, 9};
    std::int64_t got = -5;
    FileHandle handle = ReadFileAt(buffer.data(), 6, 1, 0, path, false, &got);
    ASSERT_NE(handle, 0);
    EXPECT_EQ(got, 2);
    EXPECT_EQ(buffer, (std::array<std::uint8_t, 6>{2, 3, 9, 9, 9, 9}));
    CloseFileHandle(handle);

    // Count 0 without a handle only opens the file.
    FileHandle opened = ReadFileAt(nullptr, 0, 0, 0, path, false);
    EXPECT_NE(opened, 0);
    EXPECT_TRUE(DescriptorOpen(opened));
    CloseFileHandle(opened);

    EXPECT_EQ(FileSizeOfPath(dir.file("missing")), 0);
    EXPECT_EQ(FileSizeOfHandle(0), -1);
    EXPECT_EQ(ReadFileAt(buffer.data(), 1, 0, 0, dir.file("missing"), true), 0);
}

TEST(FileHandles, AFailedTransferClosesEvenAPassedHandleAndTheNextCallReopensByPath) {
    ScratchDir dir;
    const std::string path = dir.file("wo.bin");
    test::WriteBytes(path, {7, 8});
    FileHandle writeOnly = OpenFileHandle(path, kOpenWrite);
    ASSERT_NE(writeOnly, 0);
    std::uint8_t byte = 0;
    FileHandle after = ReadFileAt(&byte, 1, 0, writeOnly, path, false);
    EXPECT_EQ(after, 0);
    EXPECT_FALSE(DescriptorOpen(writeOnly));
    after = ReadFileAt(&byte, 1, 1, after, path, true);
    EXPECT_EQ(after, 1);
    EXPECT_EQ(byte, 8);
    // A seek to a negative position fails and closes too.
    FileHandle handle = OpenFileHandle(path, kOpenRead);
    EXPECT_EQ(ReadFileAt(&byte, 1, -7, handle, "", false), 0);
    EXPECT_FALSE(DescriptorOpen(handle));
    EXPECT_EQ(SeekFileHandle(0, 0), -1);
}

// A write the device accepts only in part is a failure, not a success.
TEST(FileHandles, AShortWriteFailsAndClosesTheHandle) {
    ScratchDir dir;
    const std::string path = dir.file("capped.bin");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1000, 1000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::vector<std::uint8_t> block(4096, 0x55);
        FileHandle handle = OpenFileHandle(path, kOpenReadWrite);
        const FileHandle result = WriteFileAt(block.data(), 4096, AppendPosition, handle, "", false);
        const bool closed = ::fcntl(handle - 1, F_GETFD) == -1;
        ::_exit(result == 0 && closed ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(FileSizeOfPath(path), 1000);
}

}  // namespace
}  // namespace sonivate
