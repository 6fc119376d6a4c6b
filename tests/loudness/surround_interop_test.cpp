// Surround files as other tools write them: ffmpeg (5.1 with side or back
// surrounds, 7.1) and sox (six channels). The layout must be placed from
// their masks, and the loudness must agree with ffmpeg's ebur128 filter for
// 5.1. ffmpeg weighs all four 7.1 surrounds 1.41, so 7.1 is held to
// libebur128 told where each channel stands (back pair at 135 degrees,
// weight 1.0; side pair at 90 degrees, weight 1.41). A test whose tool is
// missing is skipped.

#include <gtest/gtest.h>
#include <ebur128.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "loudness/c_lkfsfct.h"
#include "support/reference_tools.h"
#include "support/scratch.h"
#include "wavefile/byte_source.h"
#include "wavefile/pcm_codec.h"
#include "wavefile/wave_check.h"
#include "wavefile/wave_mmio.h"

namespace sonivate {
namespace {

constexpr double kAgreementLU = 0.1;

std::vector<std::uint8_t> Slurp(const std::string& pPath) {
    std::ifstream in(pPath, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Six or eight tones of different pitch and level, one per channel, for
// ffmpeg's aevalsrc.
std::string ToneExpressions(int pChannels) {
    const char* tones[] = {"0.20*sin(2*PI*440*t)", "0.15*sin(2*PI*554*t)", "0.25*sin(2*PI*330*t)",
                           "0.30*sin(2*PI*60*t)",  "0.10*sin(2*PI*880*t)", "0.12*sin(2*PI*1200*t)",
                           "0.18*sin(2*PI*700*t)", "0.08*sin(2*PI*2500*t)"};
    std::string exprs;
    for (int c = 0; c < pChannels; ++c) exprs += std::string(c == 0 ? "" : "|") + tones[c];
    return exprs;
}

bool FfmpegWrite(const std::string& pPath, int pChannels, const std::string& pLayout) {
    const std::string command = "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i \"aevalsrc=exprs='" +
                                ToneExpressions(pChannels) + "':s=48000:d=6:c=" + pLayout +
                                "\" -c:a pcm_s24le -bitexact '" + pPath + "' 2>&1";
    test::Shell(command);
    return !Slurp(pPath).empty();
}

// ffmpeg's integrated loudness of the file, from the ebur128 filter's summary.
double FfmpegIntegrated(const std::string& pPath) {
    const std::string out =
        test::Shell("ffmpeg -hide_banner -nostats -nostdin -i '" + pPath + "' -filter_complex ebur128 -f null - 2>&1");
    const size_t summary = out.rfind("Summary:");
    const size_t at = out.find("I:", summary == std::string::npos ? 0 : summary);
    return at == std::string::npos ? 0.0 : std::strtod(out.c_str() + at + 2, nullptr);
}

struct Measured {
    WaveCheck check;
    double lkfs = 0.0;
    int measured = 0;
};

Measured MeasureFile(const std::vector<std::uint8_t>& pFile) {
    Measured m;
    const MemorySource source(pFile.data(), pFile.size());
    m.check = CheckWave(source);
    C_LKFSFCT meter;
    m.measured = meter.MeasureLKFS(source, 0, 0);
    m.lkfs = meter.LKFSValue();
    return m;
}

}  // namespace

TEST(SurroundInterop, FfmpegFiveOneAgreesWithItsOwnMeter) {
    if (!test::HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    test::ScratchDir dir;
    for (const std::string layout : {"5.1(side)", "5.1"}) {
        const std::string path = dir.file("five.wav");
        ASSERT_TRUE(FfmpegWrite(path, 6, layout)) << layout;
        const std::vector<std::uint8_t> file = Slurp(path);
        const Measured m = MeasureFile(file);
        EXPECT_EQ(m.check.Problem, WaveProblem::None) << layout;
        EXPECT_EQ(m.check.Speakers, ChannelLayout::Surround51) << layout;
        ASSERT_EQ(m.measured, 1) << layout;
        EXPECT_NEAR(m.lkfs, FfmpegIntegrated(path), kAgreementLU) << layout;
    }
}

TEST(SurroundInterop, FfmpegSevenOneWeighsSidesAboveBacks) {
    if (!test::HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    test::ScratchDir dir;
    const std::string path = dir.file("seven.wav");
    ASSERT_TRUE(FfmpegWrite(path, 8, "7.1"));
    const std::vector<std::uint8_t> file = Slurp(path);
    const Measured m = MeasureFile(file);
    EXPECT_EQ(m.check.Problem, WaveProblem::None);
    EXPECT_EQ(m.check.Speakers, ChannelLayout::Surround71);
    ASSERT_EQ(m.measured, 1);
    const std::vector<int> positions = {EBUR128_LEFT,  EBUR128_RIGHT, EBUR128_CENTER, EBUR128_UNUSED,
                                        EBUR128_Mp135, EBUR128_Mm135, EBUR128_Mp090,  EBUR128_Mm090};
    EXPECT_NEAR(m.lkfs, test::Ebur128Integrated(file, positions), kAgreementLU);
}

TEST(SurroundInterop, SoxSixChannelsArePlacedAsFiveOne) {
    if (!test::HaveTool("sox")) GTEST_SKIP() << "sox is not installed";
    test::ScratchDir dir;
    const std::string path = dir.file("sox.wav");
    test::Shell("sox -n -r 48000 -b 24 -c 6 '" + path +
                "' synth 6 sine 440 sine 554 sine 330 sine 60 sine 880 sine 1200 vol 0.2 2>&1");
    const std::vector<std::uint8_t> file = Slurp(path);
    ASSERT_FALSE(file.empty());
    const Measured m = MeasureFile(file);
    EXPECT_EQ(m.check.Problem, WaveProblem::None);
    EXPECT_EQ(m.check.Speakers, ChannelLayout::Surround51) << "sox's channel mask could not be placed";
    ASSERT_EQ(m.measured, 1);
    const std::vector<int> positions = {EBUR128_LEFT,   EBUR128_RIGHT,         EBUR128_CENTER,
                                        EBUR128_UNUSED, EBUR128_LEFT_SURROUND, EBUR128_RIGHT_SURROUND};
    EXPECT_NEAR(m.lkfs, test::Ebur128Integrated(file, positions), kAgreementLU);
    if (test::HaveTool("ffmpeg")) {
        EXPECT_NEAR(m.lkfs, FfmpegIntegrated(path), kAgreementLU);
    }
}

}  // namespace sonivate
