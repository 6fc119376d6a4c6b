// Runs the built sonivate-cli apply on generated files and checks the copies.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "support/scratch.h"
#include "surround_files.h"
#include "support/wavgen.h"
#include "wavefile/wave_mmio.h"

namespace sonivate {
namespace {

using test::Bytes;
using test::Samples;
using test::ScratchDir;
using test::WavSpec;

// Exit status of sonivate-cli apply with pArguments.
int Apply(const std::vector<std::string>& pArguments) {
    std::vector<std::string> arguments{"apply"};
    arguments.insert(arguments.end(), pArguments.begin(), pArguments.end());
    return test::RunCli(arguments).status;
}

class CliApplyTest : public ::testing::Test {
protected:
    void SetUp() override {
        WavSpec format;
        format.afterData = test::BroadcastMarkers(1, 2, 6, 7);
        source = test::WriteWav(
            dir.file("spot.wav"), format,
            {-32768, 32767, 1000, -1000, 1000, -1000, 1000, -1000, 1000, -1000, 1000, -1000, 5, 6, 7, 8});
    }
    ScratchDir dir;
    std::string source;
    std::string target = dir.file("copy.wav");
};

TEST_F(CliApplyTest, ZeroGainCopyIsByteIdentical) {
    EXPECT_EQ(Apply({"--gain", "0", source, target}), 0);
    EXPECT_EQ(test::ReadBytes(target), test::ReadBytes(source));
}

TEST_F(CliApplyTest, GainChangesOnlyTheRange) {
    ASSERT_EQ(Apply({"--gain", "-6", "--start", "2", "--end", "5", source, target}), 0);
    const Bytes original = test::ReadBytes(source);
    const Bytes copy = test::ReadBytes(target);
    ASSERT_EQ(copy.size(), original.size());
    const auto rangeBegin = static_cast<std::size_t>(ReadWaveHeader(source, 0).DataOffset + 2 * 4);
    const std::size_t rangeEnd = rangeBegin + 3 * 4;
    EXPECT_TRUE(std::equal(original.begin(), original.begin() + rangeBegin, copy.begin()));
    EXPECT_EQ(Bytes(copy.begin() + rangeBegin, copy.begin() + rangeEnd),
              test::EncodeSamples({501, -501, 501, -501, 501, -501}, 16));
    EXPECT_TRUE(std::equal(original.begin() + rangeEnd, original.end(), copy.begin() + rangeEnd));
}

TEST_F(CliApplyTest, AnExistingTargetIsRefusedAndLeftUntouched) {
    const Bytes existing = {'k', 'e', 'e', 'p'};
    test::WriteBytes(target, existing);
    EXPECT_EQ(Apply({"--gain", "-6", source, target}), 2);
    EXPECT_EQ(test::ReadBytes(target), existing);
}

TEST_F(CliApplyTest, AFailedCopyIsRemovedAndAnInvalidSourceCreatesNothing) {
    WavSpec surround;
    surround.channels = 6;
    const std::string fiveOne = test::WriteWav(dir.file("surround.wav"), surround, Samples(60, 100));
    EXPECT_EQ(Apply({"--gain", "-6", fiveOne, target}), 0) << "5.1 is written too";
    std::filesystem::remove(target);

    test::WriteBytes(dir.file("junk.wav"), Bytes(64, 'x'));
    EXPECT_EQ(Apply({"--gain", "-6", dir.file("junk.wav"), target}), 1);
    EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(CliApplyTest, AudioNoGainMayTouchIsRefusedAndNothingIsWritten) {
    struct Case {
        const char* name;
        Bytes file;
        int status;
    };
    const Case cases[] = {
        {"5.1 with a known mask", test::MaskedTones(6, 0x3F), 0},
        {"six channels, a mask of no known layout", test::MaskedTones(6, 0x3F0), 1},
        {"eight channels, mask 0", test::MaskedTones(8, 0), 1},
        {"Dolby E in a stereo file", test::EncodedPair(2), 1},
        {"Dolby E in the first pair of a 5.1 file", test::EncodedPair(6), 1},
    };
    for (const Case& c : cases) {
        const std::string path = dir.file("source.wav");
        test::WriteBytes(path, c.file);
        EXPECT_EQ(Apply({"--gain", "-6", path, target}), c.status) << c.name;
        EXPECT_EQ(std::filesystem::exists(target), c.status == 0) << c.name;
        std::filesystem::remove(target);
    }
}

}  // namespace
}  // namespace sonivate
