// Runs the built sonivate-cli measure on generated files.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "common/formatting.h"
#include "support/scratch.h"
#include "support/wavgen.h"

namespace sonivate::test {
namespace {

using Json = nlohmann::ordered_json;

constexpr std::int64_t kRate = 48000;

class CliMeasure : public ::testing::Test {
protected:
    // A 1 kHz sine at -23 dBFS (peak) on both channels of a 16-bit file.
    std::string Tone(const std::string& pName, std::int64_t pFrames) {
        return WriteWav(mScratch.file(pName), WavSpec{}, Sine(pFrames, 2, 1000.0, -23.0, 16));
    }
    ScratchDir mScratch;
};

TEST_F(CliMeasure, StereoToneAtMinus23DbfsReadsMinus23LkfsAndJsonHasExactlyTheKeys) {
    const std::string path = Tone("tone.wav", 5 * kRate);
    const CliResult r = RunCli({"measure", "--json", path});
    ASSERT_EQ(r.status, 0) << r.err;
    const Json all = Json::parse(r.out);
    ASSERT_TRUE(all.is_array());
    ASSERT_EQ(all.size(), 1u);
    const Json& m = all[0];
    std::vector<std::string> keys;
    for (const auto& item : m.items()) keys.push_back(item.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"path", "ok", "blocks", "lkfs", "peak", "gain", "lkfs_text", "peak_text",
                                              "gain_text", "reason", "reason_text", "true_peak", "lra", "max_momentary",
                                              "max_short_term", "downmix_true_peak"}));
    EXPECT_EQ(m["path"], path);
    EXPECT_EQ(m["ok"], 1);
    EXPECT_EQ(m["blocks"], 47);
    // Each channel's mean square is half the peak's square (-3.01 dB), two
    // channels add it back, and at 1 kHz the K-weighting gives +0.698 dB
    // against the formula's -0.691: -22.993 LKFS.
    const double lkfs = m["lkfs"].get<double>();
    EXPECT_NEAR(lkfs, -23.0, 0.1);
    EXPECT_NEAR(lkfs, -22.993, 0.005);
    EXPECT_NEAR(m["peak"].get<double>(), -23.0, 0.01);
    EXPECT_NEAR(m["gain"].get<double>(), -24.0 - lkfs, 0.001);
    EXPECT_EQ(m["lkfs_text"], FormatFixed(lkfs, 2));
    EXPECT_EQ(m["peak_text"], FormatFixed(m["peak"].get<double>(), 2));
    EXPECT_EQ(m["gain_text"], FormatFixed(m["gain"].get<double>(), 3));
    EXPECT_EQ(m["lkfs_text"], "-22.99");
}

TEST_F(CliMeasure, RangeTargetAndTable) {
    const std::string path = Tone("tone.wav", 5 * kRate);
    CliResult r = RunCli({"measure", "--json", "--start", "48000", "--end", "144000", "--target", "-20", path});
    ASSERT_EQ(r.status, 0) << r.err;
    const Json m = Json::parse(r.out)[0];
    EXPECT_EQ(m["blocks"], 17);  // 2 s
    EXPECT_NEAR(m["gain"].get<double>(), -20.0 - m["lkfs"].get<double>(), 0.001);

    r = RunCli({"measure", path});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("-22.99"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(path), std::string::npos) << r.out;
}

TEST_F(CliMeasure, AFileThatFailsIsReportedAndSetsTheExitStatus) {
    const std::string good = Tone("tone.wav", 2 * kRate);
    const std::string shortFile = Tone("short.wav", kRate / 4);
    const CliResult r = RunCli({"measure", "--json", good, mScratch.file("missing.wav"), shortFile});
    EXPECT_EQ(r.status, 1);
    const Json all = Json::parse(r.out);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0]["ok"], 1);
    for (size_t i = 1; i < 3; ++i) {
        EXPECT_EQ(all[i]["ok"], 0);
        EXPECT_EQ(all[i]["reason"], i == 1 ? "missing" : "too_short") << "judged as the file list judges it";
        EXPECT_EQ(all[i]["blocks"], 0);
        EXPECT_TRUE(all[i]["lkfs"].is_null()) << "a failed measurement has no figures";
        EXPECT_EQ(all[i]["gain_text"], "");
    }
}

TEST_F(CliMeasure, FilesAtAnotherRateAreRefusedRatherThanMismeasured) {
    WavSpec cd;
    cd.sampleRate = 44100;
    const std::string path = WriteWav(mScratch.file("cd.wav"), cd, Sine(2 * 44100, 2, 1000.0, -23.0, 16, 44100));
    const CliResult r = RunCli({"measure", "--json", path});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Json::parse(r.out)[0]["ok"], 0);
    EXPECT_NE(r.err.find("48000 Hz"), std::string::npos) << r.err;
}

TEST_F(CliMeasure, ExtrasAreNullWhenTheRangeIsTooShortAndAbsentWithNoExtras) {
    const std::string path = Tone("tone.wav", 2 * kRate);
    Json m = Json::parse(RunCli({"measure", "--json", path}).out)[0];
    EXPECT_NEAR(m["true_peak"].get<double>(), -23.0, 0.05);
    EXPECT_NEAR(m["max_momentary"].get<double>(), -23.0, 0.05);
    EXPECT_TRUE(m["max_short_term"].is_null());
    EXPECT_TRUE(m["lra"].is_null());
    m = Json::parse(RunCli({"measure", "--json", "--no-extras", path}).out)[0];
    EXPECT_FALSE(m.contains("true_peak"));
    EXPECT_FALSE(m.contains("profile"));
}

TEST_F(CliMeasure, ProfilesSetTheTargetAndJudgeSourceAndOutput) {
    // -23 dBFS peak tone: -22.99 LKFS, true peak -23 dBTP.
    const std::string path = Tone("tone.wav", 5 * kRate);
    Json m = Json::parse(RunCli({"measure", "--json", "--profile", "atsc-a85", path}).out)[0];
    EXPECT_NEAR(m["gain"].get<double>(), -24.0 - m["lkfs"].get<double>(), 0.001);
    EXPECT_EQ(m["profile"], "atsc-a85");
    EXPECT_EQ(m["verdict_source"], "pass");  // within 2 dB of -24
    EXPECT_EQ(m["verdict_output"], "pass");

    m = Json::parse(RunCli({"measure", "--json", "--profile", "arib-tr-b32", "--target", "-10", path}).out)[0];
    EXPECT_NEAR(m["gain"].get<double>(), -10.0 - m["lkfs"].get<double>(), 0.001);
    // -22.99 LKFS is more than 1 dB above -24.
    EXPECT_EQ(m["verdict_reasons"]["source"], Json::array({"loudness_high"}));
    // At -10 LKFS the copy is too loud; its true peak, -10 dBTP, stays under -1.
    EXPECT_EQ(m["verdict_output"], "fail");
    EXPECT_EQ(m["verdict_reasons"]["output"], Json::array({"loudness_high"}));

    const std::string ini = mScratch.file("house.ini");
    std::FILE* f = std::fopen(ini.c_str(), "w");
    std::fputs("[profile]\nname=house\ntarget=-30\ntolerance=0.5\ntrue_peak_max=-28\nshort_term_max=-35\n", f);
    std::fclose(f);
    m = Json::parse(RunCli({"measure", "--json", "--profile-file", ini, path}).out)[0];
    EXPECT_EQ(m["profile"], "house");
    EXPECT_EQ(m["verdict_reasons"]["source"], Json::array({"loudness_high", "true_peak_over", "short_term_over"}));
    // The copy at -30 LKFS: true peak -30 dBTP is under -28, short-term -30 still over -35.
    EXPECT_EQ(m["verdict_output"], "fail");
    EXPECT_EQ(m["verdict_reasons"]["output"], Json::array({"short_term_over"}));

    const std::string json = mScratch.file("house.json");
    f = std::fopen(json.c_str(), "w");
    std::fputs(R"({"name": "loose", "target": -23, "tolerance": 1, "true_peak_max": -1})", f);
    std::fclose(f);
    m = Json::parse(RunCli({"measure", "--json", "--profile-file", json, path}).out)[0];
    EXPECT_EQ(m["verdict_source"], "pass");
    EXPECT_NE(RunCli({"measure", "--profile", "ebu-r128", path}).out.find("pass"), std::string::npos);
}

TEST_F(CliMeasure, ProfileUsageErrors) {
    const std::string path = Tone("tone.wav", kRate);
    EXPECT_EQ(RunCli({"measure", "--profile", "nowhere", path}).status, 2);
    EXPECT_EQ(RunCli({"measure", "--profile", "ebu-r128", "--no-extras", path}).status, 2);
    EXPECT_EQ(RunCli({"measure", "--profile-file", mScratch.file("missing.ini"), path}).status, 2);
    const std::string bad = mScratch.file("bad.ini");
    std::FILE* f = std::fopen(bad.c_str(), "w");
    std::fputs("target=-23\n", f);
    std::fclose(f);
    const CliResult r = RunCli({"measure", "--profile-file", bad, path});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("tolerance"), std::string::npos) << r.err;
}

TEST_F(CliMeasure, ASurroundFileTellsItsDownmixPeakAndTheProfileNotesItWithoutFailingIt) {
    WavSpec fiveOne;
    fiveOne.channels = 6;
    // Every channel alike at -6 dBFS: each within the ceiling, while the
    // downmix adds front, centre and surround in phase (about +1.7 dBTP).
    const std::string path = WriteWav(mScratch.file("surround.wav"), fiveOne, Sine(2 * kRate, 6, 997.0, -6.0, 16));
    const CliResult r = RunCli({"measure", "--json", "--profile", "arib-tr-b32", path});
    ASSERT_EQ(r.status, 0) << r.err;
    const Json m = Json::parse(r.out)[0];
    EXPECT_NEAR(m["downmix_true_peak"].get<double>(), -6.0 + 20.0 * std::log10(1.0 + 2.0 * std::sqrt(0.5)), 0.2);
    EXPECT_EQ(m["verdict_notes"]["source"], Json::array({"downmix_true_peak_over"}));
    EXPECT_EQ(m["verdict_reasons"]["source"].size(), 1u) << "only the loudness fails: " << m.dump();
    const std::string stereo = WriteWav(mScratch.file("stereo.wav"), {}, Sine(2 * kRate, 2, 997.0, -6.0, 16));
    EXPECT_TRUE(Json::parse(RunCli({"measure", "--json", stereo}).out)[0]["downmix_true_peak"].is_null());
}

TEST_F(CliMeasure, UsageErrors) {
    const std::string path = Tone("tone.wav", kRate);
    EXPECT_EQ(RunCli({"measure"}).status, 2);
    EXPECT_EQ(RunCli({"measure", "--target", "loud", path}).status, 2);
    EXPECT_EQ(RunCli({"measure", "--start", "-1", path}).status, 2);
    EXPECT_EQ(RunCli({"measure", "--end", "x", path}).status, 2);
}

}  // namespace
}  // namespace sonivate::test
