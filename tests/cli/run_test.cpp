// sonivate-cli run over generated folders: what it prints and what it writes.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <set>

#include "cli_runner.h"
#include "support/scratch.h"
#include "support/wavgen.h"

namespace sonivate::test {
namespace {

using Json = nlohmann::json;
constexpr std::int32_t kRate = 48000;

const std::set<std::string> kRowKeys = {"path",      "title",     "start",     "end",  "length",
                                        "measured",  "lkfs_text", "peak_text", "gain_text", "lkfs",
                                        "peak",      "gain",      "clip",      "output", "written", "reason",
                                        "reason_text", "start_marker_found", "end_marker_found", "listed"};

std::string Commercial(const ScratchDir& pDir, const std::string& pName, double pDbfs) {
    WavSpec layout;
    layout.afterData = BroadcastMarkers(kRate / 2, -1, 2 * kRate, -1);
    return WriteWav(pDir.file(pName), layout, Sine(kRate * 5 / 2, 2, 1000.0, pDbfs, 16));
}

TEST(CliRun, JsonRowsCarryExactlyTheListedKeysInListOrder) {
    ScratchDir dir, out;
    Commercial(dir, "b.wav", -30.0);
    Commercial(dir, "a.wav", -20.0);
    const CliResult r = RunCli({"run", "--from", "BC$START", "--to", "BC$STOP", "--write", "--output-dir",
                                out.path(), "--json", "--jobs", "2", dir.path()});
    ASSERT_EQ(r.status, 0) << r.err;
    const Json rows = Json::parse(r.out);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]["title"], "a") << "a folder is sorted by title";
    for (const Json& row : rows) {
        std::set<std::string> keys;
        for (const auto& item : row.items()) keys.insert(item.key());
        EXPECT_EQ(keys, kRowKeys);
        EXPECT_EQ(row["start"], kRate / 2);
        EXPECT_EQ(row["end"], 2 * kRate);
        EXPECT_EQ(row["length"], "00:00:01.500");
        EXPECT_TRUE(row["measured"].get<bool>());
        EXPECT_TRUE(row["written"].get<bool>());
        EXPECT_EQ(row["output"], out.file(row["title"].get<std::string>() + ".wav"));
    }
    EXPECT_NEAR(rows[0]["lkfs"].get<double>(), -20.0, 0.2);
    EXPECT_EQ(rows[1]["gain_text"], "5.993");
}

TEST(CliRun, RejectionsGoToStandardErrorAndFailTheRun) {
    ScratchDir dir;
    Commercial(dir, "good.wav", -30.0);
    WavSpec cd;
    cd.sampleRate = 44100;
    WriteWav(dir.file("cd.wav"), cd, Silence(44100 * 2, 2));
    const CliResult r = RunCli({"run", "--csv", "good.wav", "cd.wav", "missing.wav"}, dir.path(), {"LANG=ja_JP.UTF-8"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(dir.file("cd.wav") + ": 48000Hz、16/24bitのwavファイルのみ対応しています"), std::string::npos)
        << r.err;
    const CliResult english = RunCli({"run", "--json", "cd.wav"}, dir.path(), {"LANG=C.UTF-8", "LC_ALL="});
    EXPECT_NE(english.err.find("only 48000 Hz, 16/24-bit WAV files are supported"), std::string::npos) << english.err;
    const Json refused = Json::parse(english.out);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0]["reason"], "unsupported_format");
    EXPECT_FALSE(refused[0]["listed"].get<bool>());
    EXPECT_TRUE(refused[0]["lkfs"].is_null());
    EXPECT_NE(r.err.find("missing.wav"), std::string::npos);
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')),
              "path,title,start,end,length,measured,lkfs_text,peak_text,gain_text,lkfs,peak,gain,clip,output,written,"
              "reason,reason_text,start_marker_found,end_marker_found,listed");
    EXPECT_NE(r.out.find(dir.file("good.wav") + ",good,0,"), std::string::npos) << "relative paths from the current folder";
}

TEST(CliRun, UsageErrorsExitWithTwo) {
    ScratchDir dir;
    const std::string file = Commercial(dir, "x.wav", -30.0);
    EXPECT_EQ(RunCli({"run", "--target", "loud", file}).status, 2);
    EXPECT_EQ(RunCli({"run", "--from", "BC$STOP", file}).status, 2);
    EXPECT_EQ(RunCli({"run", "--json", "--csv", file}).status, 2);
    EXPECT_EQ(RunCli({"run"}).status, 2);
    const CliResult japanese = RunCli({"run", "--from", "ファイル先頭", "--to", "ファイル終端", "--target", "-23", file});
    EXPECT_EQ(japanese.status, 0) << japanese.err;
}

TEST(CliRun, InPlaceWriteReplacesTheSourceAndReportsIt) {
    ScratchDir dir;
    const std::string file = Commercial(dir, "spot.wav", -30.0);
    const Bytes before = ReadBytes(file);
    const CliResult r = RunCli({"run", "--write", "--in-place", "--json", "--jobs", "1", file});
    ASSERT_EQ(r.status, 0) << r.err;
    const Json rows = Json::parse(r.out);
    EXPECT_EQ(rows[0]["output"], file);
    const Bytes after = ReadBytes(file);
    EXPECT_EQ(after.size(), before.size());
    EXPECT_NE(after, before);
}

}  // namespace
}  // namespace sonivate::test
