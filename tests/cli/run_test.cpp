// sonivate-cli run over generated folders: what it prints and what it writes.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include <nlohmann/json.hpp>
#include <set>

#include "bursty_programme.h"
#include "cli_runner.h"
#include "support/scratch.h"
#include "support/wavgen.h"

namespace sonivate::test {
namespace {

using Json = nlohmann::json;
constexpr std::int32_t kRate = 48000;

const std::set<std::string> kPlainRowKeys = {"path",
                                             "title",
                                             "start",
                                             "end",
                                             "length",
                                             "measured",
                                             "lkfs_text",
                                             "peak_text",
                                             "gain_text",
                                             "lkfs",
                                             "peak",
                                             "gain",
                                             "clip",
                                             "output",
                                             "written",
                                             "reason",
                                             "reason_text",
                                             "start_marker_found",
                                             "end_marker_found",
                                             "listed",
                                             "status",
                                             "copy_state"};
const std::set<std::string> kExtrasKeys = {"true_peak", "lra", "max_momentary", "max_short_term", "downmix_true_peak"};
const std::set<std::string> kAddedKeys = {"true_peak",         "lra",
                                          "max_momentary",     "max_short_term",
                                          "profile",           "verdict_source",
                                          "verdict_output",    "verdict_reasons",
                                          "downmix_true_peak", "verdict_notes"};

std::set<std::string> Keys(const Json& pRow, const std::set<std::string>& pLeaveOut = {}) {
    std::set<std::string> keys;
    for (const auto& item : pRow.items())
        if (!pLeaveOut.count(item.key())) keys.insert(item.key());
    return keys;
}

std::string Commercial(const ScratchDir& pDir, const std::string& pName, double pDbfs) {
    WavSpec layout;
    layout.afterData = BroadcastMarkers(kRate / 2, -1, 2 * kRate, -1);
    return WriteWav(pDir.file(pName), layout, Sine(kRate * 5 / 2, 2, 1000.0, pDbfs, 16));
}

TEST(CliRun, JsonRowsCarryExactlyTheListedKeysInListOrder) {
    ScratchDir dir, out;
    Commercial(dir, "b.wav", -30.0);
    Commercial(dir, "a.wav", -20.0);
    const CliResult r = RunCli({"run", "--from", "BC$START", "--to", "BC$STOP", "--write", "--output-dir", out.path(),
                                "--json", "--jobs", "2", dir.path()});
    ASSERT_EQ(r.status, 0) << r.err;
    const Json rows = Json::parse(r.out);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]["title"], "a") << "a folder is sorted by title";
    for (const Json& row : rows) {
        EXPECT_EQ(Keys(row, kExtrasKeys), kPlainRowKeys);
        for (const std::string& key : kExtrasKeys) EXPECT_TRUE(row.contains(key)) << key;
        EXPECT_EQ(row["start"], kRate / 2);
        EXPECT_EQ(row["end"], 2 * kRate);
        EXPECT_EQ(row["length"], "00:00:01.500");
        EXPECT_TRUE(row["measured"].get<bool>());
        EXPECT_TRUE(row["written"].get<bool>());
        EXPECT_EQ(row["status"], "written");
        EXPECT_EQ(row["copy_state"], "written");
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
    EXPECT_EQ(refused[0]["status"], "failed");
    EXPECT_TRUE(refused[0]["lkfs"].is_null());
    EXPECT_NE(r.err.find("missing.wav"), std::string::npos);
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')),
              "path,title,start,end,length,measured,lkfs_text,peak_text,gain_text,lkfs,peak,gain,clip,output,written,"
              "reason,reason_text,start_marker_found,end_marker_found,listed,true_peak,lra,max_momentary,"
              "max_short_term,status,copy_state,downmix_true_peak");
    EXPECT_NE(r.out.find(dir.file("good.wav") + ",good,0,"), std::string::npos)
        << "relative paths from the current folder";
}

TEST(CliRun, CsvCellsFromNamesAreNeverFormulasAndFiguresStayNumbers) {
    ScratchDir dir;
    for (const char* name : {"=1+1.wav", "@SUM(1+1).wav", "+cmd|' -C calc'!A0.wav"}) Commercial(dir, name, -30.0);
    const CliResult r = RunCli({"run", "--csv", "--no-extras", "--target", "-40", dir.path()});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* title : {"'=1+1,", "'@SUM(1+1),", "'+cmd|' -C calc'!A0,"})
        EXPECT_NE(r.out.find(title), std::string::npos) << title << "\n" << r.out;
    // The figures as shown (lkfs_text, peak_text, gain_text) are numbers.
    EXPECT_EQ(r.out.find(",'-"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(",-30.00,"), std::string::npos) << r.out;
}

TEST(CliRun, UsageErrorsExitWithTwo) {
    ScratchDir dir;
    const std::string file = Commercial(dir, "x.wav", -30.0);
    EXPECT_EQ(RunCli({"run", "--target", "loud", file}).status, 2);
    EXPECT_EQ(RunCli({"run", "--from", "BC$STOP", file}).status, 2);
    EXPECT_EQ(RunCli({"run", "--json", "--csv", file}).status, 2);
    EXPECT_EQ(RunCli({"run"}).status, 2);
    // A target no programme can be brought to is refused, never applied.
    for (const char* target : {"-230", "3", "-60.01"}) {
        const CliResult refused = RunCli({"run", "--json", "--target", target, file});
        EXPECT_EQ(refused.status, 2) << target;
        EXPECT_NE(refused.err.find("outside -60 to 0 LKFS"), std::string::npos) << refused.err;
        EXPECT_TRUE(refused.out.empty());
        EXPECT_EQ(RunCli({"measure", "--target", target, file}).status, 2) << target;
    }
    const CliResult japanese =
        RunCli({"run", "--from", "ファイル先頭", "--to", "ファイル終端", "--target", "-23", file});
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

TEST(CliRun, BroadcastFiguresAndVerdictsAreThoseOfMeasure) {
    ScratchDir dir;
    // Four seconds at -15 dBFS: loud, and over the short-form short-term limit.
    const std::string loud = WriteWav(dir.file("loud.wav"), WavSpec{}, Sine(4 * kRate, 2, 1000.0, -15.0, 24));
    WavSpec cd;
    cd.sampleRate = 44100;
    const std::string refused = WriteWav(dir.file("cd.wav"), cd, Silence(44100 * 2, 2));

    const CliResult run = RunCli({"run", "--json", "--profile", "ebu-r128-s1", "--jobs", "1", loud, refused});
    EXPECT_EQ(run.status, 1) << "the refused file fails the run";
    const CliResult measure = RunCli({"measure", "--json", "--profile", "ebu-r128-s1", loud});
    ASSERT_EQ(measure.status, 0) << measure.err;
    const Json rows = Json::parse(run.out);
    ASSERT_EQ(rows.size(), 2u);
    const Json& row = rows[0];
    const Json m = Json::parse(measure.out)[0];
    for (const char* key : {"lkfs", "peak", "gain", "true_peak", "lra", "max_momentary", "max_short_term", "profile",
                            "verdict_source", "verdict_output", "verdict_reasons"})
        EXPECT_EQ(row[key], m[key]) << key;
    EXPECT_NEAR(row["gain"].get<double>(), -23.0 - row["lkfs"].get<double>(), 0.001) << "the profile's target";
    EXPECT_EQ(row["verdict_reasons"]["source"], Json::array({"loudness_high", "short_term_over"}));
    EXPECT_EQ(row["verdict_output"], "pass");
    EXPECT_EQ(row["copy_state"], "projected") << "nothing was written";
    EXPECT_EQ(rows[1]["copy_state"], "none");
    EXPECT_EQ(Keys(rows[1], kAddedKeys), kPlainRowKeys);
    for (const std::string& key : kAddedKeys)
        if (key != "profile") {
            EXPECT_TRUE(rows[1][key].is_null()) << key;
        }

    const Json given = Json::parse(RunCli({"run", "--json", "--profile", "ebu-r128", "--target", "-30", loud}).out)[0];
    EXPECT_NEAR(given["gain"].get<double>(), -30.0 - given["lkfs"].get<double>(), 0.001) << "--target wins";
    EXPECT_EQ(given["verdict_reasons"]["output"], Json::array({"loudness_low"}));

    const CliResult csv = RunCli({"run", "--csv", "--profile", "ebu-r128-s1", loud});
    EXPECT_NE(csv.out.find(",listed,true_peak,lra,max_momentary,max_short_term,profile,verdict_source,verdict_output,"
                           "verdict_reasons,status,copy_state,downmix_true_peak,verdict_notes\n"),
              std::string::npos)
        << csv.out;
    EXPECT_NE(
        csv.out.find(R"(,ebu-r128-s1,fail,pass,"{""source"":[""loudness_high"",""short_term_over""],""output"":[]}")"),
        std::string::npos)
        << csv.out;

    const CliResult table = RunCli({"run", "--profile", "ebu-r128-s1", loud});
    EXPECT_NE(table.out.find("dBTP"), std::string::npos) << table.out;
    EXPECT_NE(table.out.find("fail (loudness_high short_term_over) / pass (if written)"), std::string::npos)
        << table.out;
}

TEST(CliRun, RedRowsAreSkippedLoweredOrLimitedAsAskedAndTheCopyIsMeasured) {
    ScratchDir dir, skipped, lowered, limited, refused;
    const std::string file = BurstyProgramme(dir.file("spot.wav"));
    auto run = [&](const ScratchDir& pOut, std::vector<std::string> pMore) {
        std::vector<std::string> arguments = {"run", "--json", "--write", "--output-dir", pOut.path()};
        arguments.insert(arguments.end(), pMore.begin(), pMore.end());
        arguments.push_back(file);
        const CliResult r = RunCli(arguments);
        return std::make_pair(r.status, Json::parse(r.out.empty() ? "[{}]" : r.out)[0]);
    };
    auto copyFigures = [&](const ScratchDir& pOut) {
        return Json::parse(RunCli({"measure", "--json", pOut.file("spot.wav")}).out)[0];
    };

    const auto [skipStatus, skip] = run(skipped, {});
    EXPECT_EQ(skipStatus, 0) << "a row not written by rule is no failure";
    EXPECT_EQ(skip["reason"], "would_clip") << "skip stays the default";
    EXPECT_FALSE(skip.contains("clip_action")) << "the clip keys come only with another action";

    const auto [lowerStatus, lower] = run(lowered, {"--on-clip", "lower"});
    ASSERT_EQ(lowerStatus, 0) << lower.dump();
    EXPECT_EQ(lower["clip_action"], "lowered");
    EXPECT_LT(lower["applied_gain"].get<double>(), lower["gain"].get<double>() - 1.0);
    const Json lowerCopy = copyFigures(lowered);
    EXPECT_LE(lowerCopy["true_peak"].get<double>(), -1.0 + 0.005);
    EXPECT_LT(lowerCopy["lkfs"].get<double>(), -25.0) << "lowering misses the target, and says so by its gain";

    const auto [limitStatus, limit] = run(limited, {"--on-clip", "limit"});
    ASSERT_EQ(limitStatus, 0) << limit.dump();
    EXPECT_EQ(limit["clip_action"], "limited");
    EXPECT_GT(limit["max_reduction"].get<double>(), 1.0);
    EXPECT_LE(limit["max_reduction"].get<double>(), 6.0);
    EXPECT_GT(limit["limited_seconds_0_1db"].get<double>(), 0.0);
    EXPECT_LT(limit["limited_seconds_0_1db"].get<double>(), 1.0) << "only around the bursts";
    const Json limitCopy = copyFigures(limited);
    EXPECT_LE(limitCopy["true_peak"].get<double>(), -1.0 + 0.005);
    EXPECT_NEAR(limitCopy["lkfs"].get<double>(), -24.0, 0.1);
    EXPECT_NEAR(limit["true_peak"].get<double>() + limit["gain"].get<double>(), 1.0, 2.0) << "it needed limiting";

    const auto [refusedStatus, tooMuch] = run(refused, {"--on-clip", "limit", "--max-reduction", "0.5"});
    EXPECT_EQ(refusedStatus, 1);
    EXPECT_EQ(tooMuch["reason"], "limit_exceeded");
    EXPECT_GT(tooMuch["needed_reduction"].get<double>(), 0.5);
    EXPECT_FALSE(std::ifstream(refused.file("spot.wav")).good()) << "nothing written";

    EXPECT_EQ(RunCli({"run", "--allow-clip", "--on-clip", "limit", file}).status, 2);
    EXPECT_EQ(RunCli({"run", "--on-clip", "squash", file}).status, 2);
}

TEST(CliRun, AFileOnTargetIsLeftAsItIsAndAnEmptyShardIsNoError) {
    ScratchDir dir, out;
    const std::string spot = Commercial(dir, "spot.wav", -20.0);
    const Json measured = Json::parse(RunCli({"run", "--json", spot}).out)[0];
    const std::string target = std::to_string(measured["lkfs"].get<double>() + 0.04);
    const CliResult r = RunCli(
        {"run", "--json", "--write", "--output-dir", out.path(), "--target", target, "--tolerance", "0.1", spot});
    ASSERT_EQ(r.status, 0) << r.err;
    const Json row = Json::parse(r.out)[0];
    EXPECT_TRUE(row["written"].get<bool>());
    EXPECT_TRUE(row["within_tolerance"].get<bool>());
    EXPECT_EQ(ReadBytes(out.file("spot.wav")), ReadBytes(spot));
    const CliResult table =
        RunCli({"run", "--write", "--output-dir", out.path(), "--target", target, "--tolerance", "0.1", spot}, "",
               {"LC_ALL=C", "LANGUAGE="});
    ASSERT_EQ(table.status, 0) << table.err;
    EXPECT_NE(table.out.find("spot.wav (left unchanged: within tolerance)"), std::string::npos) << table.out;

    // In place: the source is not touched at all, not even replaced by its own bytes.
    const Bytes before = ReadBytes(spot);
    struct stat original {};
    ASSERT_EQ(::stat(spot.c_str(), &original), 0);
    const CliResult inPlace =
        RunCli({"run", "--json", "--write", "--in-place", "--target", target, "--tolerance", "0.1", spot});
    ASSERT_EQ(inPlace.status, 0) << inPlace.err;
    EXPECT_TRUE(Json::parse(inPlace.out)[0]["within_tolerance"].get<bool>());
    struct stat after {};
    ASSERT_EQ(::stat(spot.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, original.st_ino);
    EXPECT_EQ(after.st_mtim.tv_sec, original.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, original.st_mtim.tv_nsec);
    EXPECT_EQ(ReadBytes(spot), before);
    EXPECT_FALSE(Json::parse(RunCli({"run", "--json", spot}).out)[0].contains("within_tolerance"))
        << "the key comes only with a tolerance";
    EXPECT_EQ(RunCli({"run", "--tolerance", "5", spot}).status, 2);

    const std::string empty = dir.file("shard-7.txt");
    std::ofstream(empty).close();
    const CliResult shard = RunCli({"run", "--json", "--files-from", empty});
    EXPECT_EQ(shard.status, 0) << shard.err;
    EXPECT_EQ(Json::parse(shard.out), Json::array());
    EXPECT_EQ(RunCli({"run", "--json"}).status, 2) << "no paths at all stays a usage error";
}

TEST(CliRun, NoExtrasPrintsTheIntegratedFiguresOnly) {
    ScratchDir dir;
    const std::string file = Commercial(dir, "x.wav", -30.0);
    const Json row = Json::parse(RunCli({"run", "--json", "--no-extras", file}).out)[0];
    EXPECT_EQ(Keys(row), kPlainRowKeys);
    const CliResult table = RunCli({"run", "--no-extras", file});
    EXPECT_EQ(table.out.substr(0, table.out.find('\n')).find("dBTP"), std::string::npos) << table.out;
    EXPECT_EQ(RunCli({"run", "--no-extras", "--profile", "ebu-r128", file}).status, 2);
    EXPECT_EQ(RunCli({"run", "--profile", "ebu-r128", "--profile-file", dir.file("p.ini"), file}).status, 2);
    EXPECT_EQ(RunCli({"run", "--profile-file", dir.file("missing.ini"), file}).status, 2);
}

}  // namespace
}  // namespace sonivate::test
