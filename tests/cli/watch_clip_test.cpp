// The watch folder's answer to a file whose gain would clip: the same four
// actions as run, chosen with --on-clip, each copy measured as written.

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "bursty_programme.h"
#include "cli_runner.h"
#include "support/scratch.h"
#include "support/wavgen.h"

namespace sonivate::test {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
constexpr double kCeilingDBTP = -1.0;
// Our meter and the copy's own measurement may differ by rounding only.
constexpr double kPeakSlackDB = 0.005;

TEST(CliWatchClip, EachActionIsTakenAndTheCopyIsWhatTheLineSays) {
    struct Case {
        const char* action;
        const char* taken;  // clip_action of the line; "" when not written
    };
    for (const Case& c :
         {Case{"skip", ""}, Case{"write", "clipped"}, Case{"lower", "lowered"}, Case{"limit", "limited"}}) {
        SCOPED_TRACE(c.action);
        ScratchDir in, out, aside;
        BurstyProgramme(in.file("spot.wav"));
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
