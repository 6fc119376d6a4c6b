// Runs the built sonivate-cli info on generated files and checks what it prints.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "support/scratch.h"
#include "support/wavgen.h"
#include "surround_files.h"

using namespace sonivate::test;
using Json = nlohmann::json;

namespace {

using RunResult = CliResult;

const std::set<std::string> kFileKeys = {
    "path",        "valid",       "num_samples", "sample_rate",        "bits_per_sample", "channels",   "block_align",
    "data_offset", "data_length", "file_size",   "format_kind",        "duration_ms",     "format_tag", "marker_count",
    "markers",     "container",   "frames",      "frames_duration_ms", "incomplete_data", "reason"};
const std::set<std::string> kMarkerKeys = {"cue_id",   "sample_offset", "play_length", "loops",
                                           "has_file", "media_type",    "label",       "file_text"};

std::set<std::string> KeysOf(const Json& pObject) {
    std::set<std::string> keys;
    for (const auto& item : pObject.items()) keys.insert(item.key());
    return keys;
}

class CliInfoTest : public ::testing::Test {
protected:
    std::string Write(const std::string& pName, const WavSpec& pSpec, std::int64_t pFrames) {
        return WriteWav(mScratch.file(pName), pSpec, Silence(pFrames, pSpec.channels));
    }
    ScratchDir mScratch;
};

}  // namespace

TEST_F(CliInfoTest, JsonDescribesEachFileInArgumentOrder) {
    WavSpec stereo16;  // markers behind the audio
    stereo16.afterData = BroadcastMarkers(4800, 2400, 9600, 12000);
    const std::string a = Write("stereo16.wav", stereo16, 48000);

    WavSpec mono24;  // cue, play list and labels ahead of the audio
    mono24.channels = 1;
    mono24.bitsPerSample = 24;
    mono24.beforeData = {CueChunk({{5, 100}, {6, 200}}), PlstChunk({{6, 50, 2}}),
                         AdtlList({{"labl", 5, "\x8A\x4A\x8E\x6E"},  // 開始
                                   {"labl", 6, "\xFF\xFE\x80"},      // no code page 932 text
                                   {"file", 6, "take1.wav\r", 0x20564157}})};
    const std::string b = Write("mono24.wav", mono24, 1000);

    WavSpec surround;
    surround.formatTag = 0xFFFE;
    surround.channels = 6;
    surround.bitsPerSample = 16;
    const std::string c = Write("surround.wav", surround, 24000);

    WavSpec threeChannels;
    threeChannels.channels = 3;
    const std::string d = Write("three.wav", threeChannels, 10);

    const RunResult run = RunCli({"info", "--json", a, b, c, d});
    ASSERT_EQ(run.status, 1) << "three channels are no valid layout";
    const Json all = Json::parse(run.out);
    ASSERT_TRUE(all.is_array());
    ASSERT_EQ(all.size(), 4u);
    for (const Json& file : all) EXPECT_EQ(KeysOf(file), kFileKeys);

    const Json& s = all[0];
    EXPECT_EQ(s["path"], a);
    EXPECT_EQ(s["valid"], 1);
    EXPECT_EQ(s["num_samples"], 48000);
    EXPECT_EQ(s["sample_rate"], 48000);
    EXPECT_EQ(s["bits_per_sample"], 16);
    EXPECT_EQ(s["channels"], 2);
    EXPECT_EQ(s["block_align"], 4);
    EXPECT_EQ(s["data_offset"], 44);
    EXPECT_EQ(s["data_length"], 192000);
    EXPECT_GT(s["file_size"].get<std::int64_t>(), 192044);
    EXPECT_EQ(s["format_kind"], 3);
    EXPECT_EQ(s["duration_ms"], 1000);
    EXPECT_EQ(s["format_tag"], 1);
    EXPECT_EQ(s["marker_count"], 4);
    ASSERT_EQ(s["markers"].size(), 4u);
    for (const Json& m : s["markers"]) EXPECT_EQ(KeysOf(m), kMarkerKeys);
    EXPECT_EQ(s["markers"][1]["label"], "BC$STANDBY");
    EXPECT_EQ(s["markers"][1]["sample_offset"], 2400);
    EXPECT_EQ(s["markers"][3]["cue_id"], 4);

    const Json& m = all[1];
    EXPECT_EQ(m["valid"], 1);
    EXPECT_EQ(m["format_kind"], 4);
    EXPECT_EQ(m["block_align"], 3);
    EXPECT_EQ(m["data_length"], 3000);
    EXPECT_EQ(m["marker_count"], 2);
    EXPECT_EQ(m["markers"][0]["label"], "\xE9\x96\x8B\xE5\xA7\x8B");
    EXPECT_EQ(m["markers"][0]["play_length"], 0);
    EXPECT_EQ(m["markers"][1]["play_length"], 50);
    EXPECT_EQ(m["markers"][1]["loops"], 2);
    EXPECT_EQ(m["markers"][1]["has_file"], 1);
    EXPECT_EQ(m["markers"][1]["media_type"], 0x20564157);
    EXPECT_EQ(m["markers"][1]["file_text"], "take1.wav");
    EXPECT_FALSE(m["markers"][1]["label"].get<std::string>().empty());

    EXPECT_EQ(all[2]["format_kind"], 6);
    EXPECT_EQ(all[2]["format_tag"], -2);
    EXPECT_EQ(all[2]["duration_ms"], 500);
    EXPECT_EQ(all[2]["marker_count"], 0);
    EXPECT_TRUE(all[2]["markers"].empty());

    EXPECT_EQ(all[3]["path"], d);
    EXPECT_EQ(all[3]["valid"], 0);
    EXPECT_EQ(all[3]["channels"], 3);
}

TEST_F(CliInfoTest, UnopenablePathFailsButOthersAreReported) {
    const std::string good = Write("good.wav", WavSpec{}, 10);
    const std::string missing = mScratch.file("missing.wav");
    const RunResult run = RunCli({"info", "--json", missing, good, mScratch.path()});
    EXPECT_EQ(run.status, 1);
    const Json all = Json::parse(run.out);
    ASSERT_EQ(all.size(), 3u);
    for (const size_t i : {0u, 2u}) {
        EXPECT_EQ(all[i]["valid"], 0);
        EXPECT_TRUE(all[i]["error"].is_string());
        EXPECT_EQ(all[i]["marker_count"], 0);
    }
    EXPECT_EQ(all[0]["path"], missing);
    EXPECT_EQ(all[1]["valid"], 1);
    EXPECT_FALSE(all[1].contains("error"));

    const RunResult table = RunCli({"info", good, missing});
    EXPECT_EQ(table.status, 1);
    EXPECT_NE(table.out.find(good), std::string::npos);
    EXPECT_NE(table.out.find(missing), std::string::npos);
}

TEST_F(CliInfoTest, TableShowsFormatAndMarkers) {
    WavSpec layout;
    layout.afterData = BroadcastMarkers(100, -1, 200, -1);
    const std::string path = Write("table.wav", layout, 480);
    const RunResult run = RunCli({"info", path});
    EXPECT_EQ(run.status, 0);
    for (const char* expected : {"Stereo16bit", "48000", "BC$START", "BC$STOP", "00:00:00.010"})
        EXPECT_NE(run.out.find(expected), std::string::npos) << expected << "\n" << run.out;
}

TEST_F(CliInfoTest, ReasonsAndTrueFrameCounts) {
    WavSpec wide;
    wide.form = "RF64";
    wide.afterData = BroadcastMarkers(0, -1, 24000, -1);
    const std::string rf64 = Write("wide.wav", wide, 48000);

    const std::string cutPath = mScratch.file("cut.wav");
    Bytes cut = BuildWav(WavSpec{}, Silence(96000, 2));
    cut.resize(44 + 4 * 72000);
    WriteBytes(cutPath, cut);

    WavSpec eightBit;
    eightBit.bitsPerSample = 8;
    WavSpec bigEndian;
    bigEndian.form = "RIFX";
    const std::string noDataPath = mScratch.file("nodata.wav");
    Bytes noData = BuildWav(WavSpec{}, Silence(8, 2));
    noData.resize(36);
    WriteBytes(noDataPath, noData);

    const RunResult run = RunCli({"info", "--json", rf64, cutPath, Write("eight.wav", eightBit, 48000),
                                  Write("rifx.wav", bigEndian, 48000), noDataPath});
    const Json all = Json::parse(run.out);
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all[0]["valid"], 1);
    EXPECT_EQ(all[0]["container"], "RF64");
    EXPECT_EQ(all[0]["num_samples"], 48000);
    EXPECT_EQ(all[0]["data_length"], 192000);
    EXPECT_EQ(all[0]["frames"], 48000);
    EXPECT_EQ(all[0]["frames_duration_ms"], 1000);
    EXPECT_EQ(all[0]["marker_count"], 2);
    EXPECT_EQ(all[0]["markers"][1]["sample_offset"], 24000);
    EXPECT_EQ(all[0]["reason"], "");

    EXPECT_EQ(all[1]["valid"], 1);
    EXPECT_EQ(all[1]["num_samples"], 96000);
    EXPECT_EQ(all[1]["frames"], 72000);
    EXPECT_EQ(all[1]["frames_duration_ms"], 1500);
    EXPECT_EQ(all[1]["incomplete_data"], 1);
    EXPECT_EQ(all[1]["reason"], "incomplete_data");

    EXPECT_EQ(all[2]["reason"], "unsupported_format");
    EXPECT_EQ(all[3]["reason"], "not_wave");
    EXPECT_EQ(all[3]["valid"], 0);
    EXPECT_EQ(all[4]["reason"], "no_data");

    const RunResult table = RunCli({"info", rf64, cutPath});
    for (const char* expected : {"RF64", "72000 frames", "cut short"})
        EXPECT_NE(table.out.find(expected), std::string::npos) << expected << "\n" << table.out;
}

TEST_F(CliInfoTest, EncodedAudioAndUnplaceableLayoutsGiveTheRunsReason) {
    const std::string encoded = mScratch.file("dolby-e.wav");
    WriteBytes(encoded, EncodedPair(2));
    const std::string unplaced = mScratch.file("unplaced.wav");
    WriteBytes(unplaced, MaskedTones(6, 0x3F0));
    const std::string fiveOne = mScratch.file("five-one.wav");
    WriteBytes(fiveOne, MaskedTones(6, 0x60F));
    const Json all = Json::parse(RunCli({"info", "--json", encoded, unplaced, fiveOne}).out);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0]["reason"], "encoded_audio");
    EXPECT_EQ(all[1]["reason"], "unknown_channel_layout");
    EXPECT_EQ(all[2]["reason"], "");
}

TEST_F(CliInfoTest, UsageErrorsAndHelp) {
    const std::string good = Write("good.wav", WavSpec{}, 10);
    EXPECT_EQ(RunCli({"info"}).status, 2);
    EXPECT_EQ(RunCli({"info", "--bogus", good}).status, 2);
    EXPECT_EQ(RunCli({}).status, 2);
    const RunResult help = RunCli({"info", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--json"), std::string::npos);
    const RunResult version = RunCli({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_FALSE(version.out.empty());
}
