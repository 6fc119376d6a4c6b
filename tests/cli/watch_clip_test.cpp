// The watch folder's answer to a file whose gain would clip: the same four
// actions as run, chosen with --on-clip, each copy measured as written.

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "support/scratch.h"
#include "support/wavgen.h"

namespace sonivate::test {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
constexpr std::int32_t kRate = 48000;
constexpr double kCeilingDBTP = -1.0;
// Our meter and the copy's own measurement may differ by rounding only.
constexpr double kPeakSlackDB = 0.005;

// About -30 LKFS with a half-millisecond burst near full scale every second:
// at -24 LKFS the bursts would pass 0 dBTP, a few dB of limiting holds them.
std::string Bursts(const std::string& pPath) {
    constexpr std::int64_t kSeconds = 6;
    constexpr std::int64_t kBurstFrames = kRate / 2000;
    Samples samples = Sine(kRate * kSeconds, 2, 1000.0, -31.0, 16);
    const Samples burst = Sine(kBurstFrames, 2, 1000.0, -4.0, 16);
    for (std::int64_t second = 0; second < kSeconds; ++second)
        for (std::int64_t k = 0; k < kBurstFrames * 2; ++k)
            samples[static_cast<size_t>((second * kRate + kRate / 2) * 2 + k)] = burst[static_cast<size_t>(k)];
    return WriteWav(pPath, {}, samples);
}

TEST(CliWatchClip, EachActionIsTakenAndTheCopyIsWhatTheLineSays) {
    struct Case {
        const char* action;
        const char* taken;  // clip_action of the line; "" when not written
    };
    for (const Case& c :
         {Case{"skip", ""}, Case{"write", "clipped"}, Case{"lower", "lowered"}, Case{"limit", "limited"}}) {
        SCOPED_TRACE(c.action);
        ScratchDir in, out, aside;
        Bursts(in.file("spot.wav"));
        const CliResult r = RunCli({"watch", in.path(), "--output-dir", out.path(), "--once", "--settle", "0",
                                    "--journal", aside.file("journal.jsonl"), "--json", "--on-clip", c.action});
        std::istringstream lines(r.out);
        std::string text;
        std::getline(lines, text);
        ASSERT_FALSE(text.empty()) << r.err;
        const Json line = Json::parse(text);
        EXPECT_TRUE(line["clip"].get<bool>());
        if (std::string(c.taken).empty()) {
            EXPECT_FALSE(line["written"].get<bool>());
            EXPECT_EQ(line["reason"], "would_clip");
            EXPECT_FALSE(fs::exists(out.file("spot.wav")));
            continue;
        }
        ASSERT_TRUE(line["written"].get<bool>()) << text;
        EXPECT_EQ(line["clip_action"], c.taken);
        const Json copy = Json::parse(RunCli({"measure", "--json", out.file("spot.wav")}).out)[0];
        const std::string taken = c.taken;
        if (taken == "clipped") {
            EXPECT_GT(copy["true_peak"].get<double>(), 0.0) << "written at the full gain";
        } else {
            EXPECT_LE(copy["true_peak"].get<double>(), kCeilingDBTP + kPeakSlackDB);
        }
        if (taken == "limited") {
            EXPECT_NEAR(copy["lkfs"].get<double>(), -24.0, 0.1) << "the limiter keeps the target";
            EXPECT_GT(line["max_reduction"].get<double>(), 1.0);
        }
        if (taken == "lowered") {
            EXPECT_LT(line["applied_gain"].get<double>(), line["gain"].get<double>() - 1.0);
        }
    }
}

}  // namespace
}  // namespace sonivate::test
