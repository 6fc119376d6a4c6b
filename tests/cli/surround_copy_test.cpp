// 5.1 and 7.1 copies as `run --write` makes them, from files ffmpeg and sox
// wrote and from the test helpers: every byte outside the gained range is
// the source's, and libebur128, told where each channel stands, reads the
// copy at the target. A layout that cannot be placed, or compressed audio
// carried as PCM, is refused by measure, run and watch, and nothing is
// written. A case whose tool is missing is skipped.

#include <ebur128.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "support/reference_tools.h"
#include "support/scratch.h"
#include "support/wavgen.h"
#include "surround_files.h"
#include "wavefile/byte_source.h"
#include "wavefile/wave_mmio.h"

namespace sonivate::test {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

constexpr double kTargetLKFS = -24.0;
// How close libebur128 must read the copy to the target, LU.
constexpr double kCopyAgreementLU = 0.01;

// Channel positions for libebur128: 5.1's surround pair at 110 degrees
// (weight 1.41), 7.1's back pair at 135 degrees (1.0) and side pair at 90
// degrees (1.41); the LFE left out.
std::vector<int> Positions(int pChannels) {
    if (pChannels == 6)
        return {EBUR128_LEFT,   EBUR128_RIGHT,         EBUR128_CENTER,
                EBUR128_UNUSED, EBUR128_LEFT_SURROUND, EBUR128_RIGHT_SURROUND};
    return {EBUR128_LEFT,  EBUR128_RIGHT, EBUR128_CENTER, EBUR128_UNUSED,
            EBUR128_Mp135, EBUR128_Mm135, EBUR128_Mp090,  EBUR128_Mm090};
}

// ffmpeg's lavfi tone per channel, in the given channel layout, 24 bit.
bool Ffmpeg(const std::string& pPath, int pChannels, const std::string& pLayout) {
    const char* tones[] = {"0.10*sin(2*PI*440*t)", "0.08*sin(2*PI*554*t)", "0.12*sin(2*PI*330*t)",
                           "0.15*sin(2*PI*60*t)",  "0.05*sin(2*PI*880*t)", "0.06*sin(2*PI*1200*t)",
                           "0.09*sin(2*PI*700*t)", "0.04*sin(2*PI*2500*t)"};
    std::string exprs;
    for (int c = 0; c < pChannels; ++c) exprs += std::string(c == 0 ? "" : "|") + tones[c];
    Shell("ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i \"aevalsrc=exprs='" + exprs +
          "':s=48000:d=4:c=" + pLayout + "\" -c:a pcm_s24le -bitexact '" + pPath + "' 2>&1");
    return fs::exists(pPath) && fs::file_size(pPath) > 0;
}

bool Sox(const std::string& pPath, int pChannels) {
    const char* pitches[] = {"440", "554", "330", "60", "880", "1200", "700", "2500"};
    std::string synth;
    for (int c = 0; c < pChannels; ++c) synth += std::string(" sine ") + pitches[c];
    Shell("sox -n -r 48000 -b 24 -c " + std::to_string(pChannels) + " '" + pPath + "' synth 4" + synth +
          " vol 0.1 2>&1");
    return fs::exists(pPath) && fs::file_size(pPath) > 0;
}

bool Helper(const std::string& pPath, std::int16_t pChannels, std::int16_t pBits) {
    constexpr double kSeconds = 4.0;
    WavSpec shape;
    shape.channels = pChannels;
    shape.bitsPerSample = pBits;
    // 16 bit as plain PCM (the usual order), 24 bit extensible with its mask.
    shape.formatTag = pBits == 16 ? 1 : 0xFFFE;
    WriteWav(pPath, shape, ChannelTones(pChannels, pBits, kSeconds));
    return true;
}

TEST(SurroundCopy, FiveOneAndSevenOneAreWrittenAtTheTargetKeepingEveryOtherByte) {
    struct Case {
        std::string name;
        std::string tool;  // needed on the PATH; empty: none
        int channels;
        std::function<bool(const std::string&)> make;
    };
    const std::vector<Case> cases = {
        {"ffmpeg 5.1(side)", "ffmpeg", 6, [](const std::string& p) { return Ffmpeg(p, 6, "5.1(side)"); }},
        {"ffmpeg 5.1", "ffmpeg", 6, [](const std::string& p) { return Ffmpeg(p, 6, "5.1"); }},
        {"ffmpeg 7.1", "ffmpeg", 8, [](const std::string& p) { return Ffmpeg(p, 8, "7.1"); }},
        {"sox 6 channels", "sox", 6, [](const std::string& p) { return Sox(p, 6); }},
        {"sox 8 channels", "sox", 8, [](const std::string& p) { return Sox(p, 8); }},
        {"helper 6 channels 16 bit", "", 6, [](const std::string& p) { return Helper(p, 6, 16); }},
        {"helper 6 channels 24 bit", "", 6, [](const std::string& p) { return Helper(p, 6, 24); }},
        {"helper 8 channels 16 bit", "", 8, [](const std::string& p) { return Helper(p, 8, 16); }},
        {"helper 8 channels 24 bit", "", 8, [](const std::string& p) { return Helper(p, 8, 24); }},
    };
    int ran = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!HaveTool(c.tool)) continue;
        ScratchDir in, out;
        const std::string source = in.file("spot.wav");
        ASSERT_TRUE(c.make(source));
        const CliResult r = RunCli(
            {"run", "--json", "--write", "--output-dir", out.path(), "--target", std::to_string(kTargetLKFS), source});
        ASSERT_EQ(r.status, 0) << r.err << r.out;
        const Json row = Json::parse(r.out).at(0);
        ASSERT_TRUE(row["written"].get<bool>()) << row.dump();
        EXPECT_LT(std::fabs(row["gain"].get<double>()), 20.0);
        ++ran;

        const Bytes original = ReadBytes(source);
        const Bytes copy = ReadBytes(out.file("spot.wav"));
        ASSERT_EQ(copy.size(), original.size());
        const WaveFormatInfo info = ReadWaveHeader(MemorySource(original.data(), original.size()));
        ASSERT_EQ(info.Channels, c.channels);
        const auto first = static_cast<size_t>(info.DataOffset + row["start"].get<std::int64_t>() * info.BlockAlign);
        const auto last = static_cast<size_t>(info.DataOffset + row["end"].get<std::int64_t>() * info.BlockAlign);
        size_t differing = 0;
        for (size_t i = 0; i < copy.size(); ++i)
            if ((i < first || i >= last) && copy[i] != original[i]) ++differing;
        EXPECT_EQ(differing, 0u) << "bytes outside the gained range [" << first << ", " << last << ")";
        EXPECT_NEAR(Ebur128Integrated(copy, Positions(c.channels)), kTargetLKFS, kCopyAgreementLU);
    }
    EXPECT_GE(ran, 4) << "the helpers' files always run";
}

TEST(SurroundCopy, UnplaceableLayoutsAndEncodedAudioAreRefusedByEveryCommand) {
    struct Case {
        const char* name;
        Bytes file;
        const char* reason;
    };
    const Case cases[] = {
        {"six channels, extensible, mask 0", MaskedTones(6, 0), "unknown_channel_layout"},
        {"six channels, mask 0x3F0", MaskedTones(6, 0x3F0), "unknown_channel_layout"},
        {"eight channels, mask 0xFF", MaskedTones(8, 0xFF), "unknown_channel_layout"},
        {"Dolby E in a stereo file", EncodedPair(2), "encoded_audio"},
        {"Dolby E in the first pair of a 5.1 file", EncodedPair(6), "encoded_audio"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir in, out, aside;
        const std::string source = in.file("spot.wav");
        WriteBytes(source, c.file);

        const Json measured = Json::parse(RunCli({"measure", "--json", source}).out).at(0);
        EXPECT_EQ(measured["reason"], c.reason);
        EXPECT_EQ(measured["ok"], 0);

        const CliResult run = RunCli({"run", "--json", "--write", "--output-dir", out.path(), source});
        EXPECT_EQ(run.status, 1);
        const Json row = Json::parse(run.out).at(0);
        EXPECT_EQ(row["reason"], c.reason);
        EXPECT_FALSE(row["written"].get<bool>());
        EXPECT_TRUE(fs::is_empty(out.path())) << "run wrote something";

        const CliResult watch = RunCli({"watch", in.path(), "--output-dir", out.path(), "--once", "--settle", "0",
                                        "--journal", aside.file("journal.jsonl"), "--json"});
        std::istringstream lines(watch.out);
        std::string line;
        ASSERT_TRUE(std::getline(lines, line)) << watch.err;
        const Json watched = Json::parse(line);
        EXPECT_EQ(watched["reason"], c.reason);
        EXPECT_FALSE(watched["written"].get<bool>());
        EXPECT_TRUE(fs::is_empty(out.path())) << "watch wrote something";
        EXPECT_EQ(ReadBytes(source), c.file) << "the source is left as it was";
    }
}

}  // namespace
}  // namespace sonivate::test
