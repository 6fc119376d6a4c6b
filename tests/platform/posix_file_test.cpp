// Positioned transfers and the in-kernel copy: bytes land at the offsets
// asked for, the descriptors' own positions never move, and the fallback
// for file systems without copy_file_range gives the same bytes.

#include "platform/posix_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "support/scratch.h"

using namespace sonivate;

namespace {

std::vector<unsigned char> Pattern(std::size_t pBytes) {
    std::vector<unsigned char> bytes(pBytes);
    for (std::size_t i = 0; i < pBytes; ++i) bytes[i] = static_cast<unsigned char>(i * 131 + 7);
    return bytes;
}

std::vector<unsigned char> Contents(int pFd) {
    std::vector<unsigned char> bytes(static_cast<std::size_t>(platform::FileSize(pFd)));
    EXPECT_EQ(platform::ReadFullyAt(pFd, bytes.data(), static_cast<std::int64_t>(bytes.size()), 0),
              static_cast<std::int64_t>(bytes.size()));
    return bytes;
}

class CopyRange : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        platform::UseKernelCopyForTesting(GetParam());
        from = ::open(scratch.file("from").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        to = ::open(scratch.file("to").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        ASSERT_GE(from, 0);
        ASSERT_GE(to, 0);
    }
    void TearDown() override {
        platform::UseKernelCopyForTesting(true);
        ::close(from);
        ::close(to);
    }
    test::ScratchDir scratch;
    int from = -1;
    int to = -1;
};

}  // namespace

TEST_P(CopyRange, CopiesBetweenTheOffsetsAskedForAndLeavesThePositions) {
    // More than one buffer of the fallback, and not a multiple of it.
    const std::vector<unsigned char> source = Pattern((std::size_t{3} << 20) + 12345);
    ASSERT_EQ(platform::WriteFullyAt(from, source.data(), static_cast<std::int64_t>(source.size()), 0),
              static_cast<std::int64_t>(source.size()));
    const std::vector<unsigned char> head = {0xAA, 0xBB, 0xCC};
    ASSERT_EQ(platform::WriteFullyAt(to, head.data(), 3, 0), 3);
    ASSERT_EQ(::lseek(from, 11, SEEK_SET), 11);
    ASSERT_EQ(::lseek(to, 1, SEEK_SET), 1);

    constexpr std::int64_t kSkip = 1000;
    const auto count = static_cast<std::int64_t>(source.size()) - kSkip - 1;
    EXPECT_EQ(platform::CopyFileRange(from, kSkip, to, 3, count), count);

    std::vector<unsigned char> expected = head;
    expected.insert(expected.end(), source.begin() + kSkip, source.begin() + kSkip + count);
    EXPECT_EQ(Contents(to), expected);
    EXPECT_EQ(::lseek(from, 0, SEEK_CUR), 11);
    EXPECT_EQ(::lseek(to, 0, SEEK_CUR), 1);
}

TEST_P(CopyRange, ASourceThatEndsEarlyGivesAShortCount) {
    const std::vector<unsigned char> source = Pattern(5000);
    ASSERT_EQ(platform::WriteFullyAt(from, source.data(), 5000, 0), 5000);
    EXPECT_EQ(platform::CopyFileRange(from, 4000, to, 0, 2000), 1000);
    EXPECT_EQ(Contents(to), std::vector<unsigned char>(source.begin() + 4000, source.end()));
    EXPECT_EQ(platform::CopyFileRange(from, 6000, to, 0, 10), 0);
    EXPECT_EQ(platform::CopyFileRange(from, -1, to, 0, 10), 0);
}

TEST_P(CopyRange, AReadOnlyTargetFailsAndIsNotWritten) {
    const std::vector<unsigned char> source = Pattern(100);
    ASSERT_EQ(platform::WriteFullyAt(from, source.data(), 100, 0), 100);
    const int readOnly = ::open(scratch.file("to").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(readOnly, 0);
    EXPECT_LT(platform::CopyFileRange(from, 0, readOnly, 0, 100), 100);
    EXPECT_EQ(platform::FileSize(to), 0);
    ::close(readOnly);
}

// The copy is written through duplicates of the descriptors the caller
// watches: a full device seen through a duplicate is still the cause told
// for the original, and for no other file.
TEST_P(CopyRange, AFailureThroughADuplicateIsKeptForTheWatchedDescriptor) {
    const std::vector<unsigned char> source = Pattern(100);
    ASSERT_EQ(platform::WriteFullyAt(from, source.data(), 100, 0), 100);
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    for (const bool copy : {true, false}) {
        SCOPED_TRACE(copy ? "copy" : "write");
        platform::WatchTransferErrors(from);
        platform::WatchTransferErrors(full);
        platform::WatchTransferErrors(to);
        const int fromCopy = ::fcntl(from, F_DUPFD_CLOEXEC, 0);
        const int fullCopy = ::fcntl(full, F_DUPFD_CLOEXEC, 0);
        ASSERT_GE(fromCopy, 0);
        ASSERT_GE(fullCopy, 0);
        if (copy)
            EXPECT_LT(platform::CopyFileRange(fromCopy, 0, fullCopy, 0, 100), 100);
        else
            EXPECT_LT(platform::WriteFullyAt(fullCopy, source.data(), 100, 0), 100);
        ::close(fullCopy);
        ::close(fromCopy);
        EXPECT_EQ(platform::TakeTransferError(to), 0) << "another file";
        EXPECT_EQ(platform::TakeTransferError(from, full), ENOSPC);
        EXPECT_EQ(platform::TakeTransferError(from, full), 0) << "taken once";
    }
    ::close(full);
}

INSTANTIATE_TEST_SUITE_P(KernelAndFallback, CopyRange, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& pInfo) {
                             return pInfo.param ? std::string("Kernel") : std::string("Fallback");
                         });
