// sonivate-cli run under faults, kills and a second run: no partial file
// under any name, no source lost, the gain applied once.

#include <signal.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "cli_runner.h"
#include "support/scratch.h"
#include "support/wavgen.h"

namespace sonivate::test {
namespace {

using Json = nlohmann::json;
constexpr std::int32_t kRate = 48000;

std::string Tone(const ScratchDir& pDir, const std::string& pName, double pDbfs = -30.0, double pSeconds = 2.0) {
    return WriteWav(pDir.file(pName), WavSpec{},
                    Sine(static_cast<std::int64_t>(pSeconds * kRate), 2, 997.0, pDbfs, 16));
}

std::vector<std::string> Files(const std::string& pFolder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(pFolder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// The shim and what it should do; a sanitized child accepts a preloaded library.
std::vector<std::string> Faults(std::vector<std::string> pSettings) {
    const char* asan = std::getenv("ASAN_OPTIONS");
    pSettings.push_back(std::string("LD_PRELOAD=") + SONIVATE_FAULT_SHIM);
    pSettings.push_back(std::string("ASAN_OPTIONS=") + (asan ? std::string(asan) + ":" : "") +
                        "verify_asan_link_order=0");
    return pSettings;
}

struct Ended {
    int status = 0;
    std::string out, err;
};

Ended Finish(pid_t pPid, const ScratchDir& pLogs) {
    Ended ended;
    ::waitpid(pPid, &ended.status, 0);
    const Bytes out = ReadBytes(pLogs.file("out"));
    ended.out.assign(out.begin(), out.end());
    const Bytes err = ReadBytes(pLogs.file("err"));
    ended.err.assign(err.begin(), err.end());
    return ended;
}

TEST(CliPublish, AKilledRunLeavesNothingPartialAndTheNextRunListsNoLeftover) {
    for (const bool named : {false, true}) {
        for (const bool inPlace : {false, true}) {
            SCOPED_TRACE(std::string(named ? "hidden names" : "unnamed files") + (inPlace ? ", in place" : ", folder"));
            ScratchDir dir, out, logs;
            const std::string source = Tone(dir, "take.wav");
            const Bytes original = ReadBytes(source);
            std::vector<std::string> args = {"run", "--write", "--jobs", "1"};
            if (inPlace)
                args.push_back("--in-place");
            else
                args.insert(args.end(), {"--output-dir", out.path()});
            args.push_back(dir.path());
            std::vector<std::string> settings = {"SONIVATE_SHIM_FSYNC=stop"};
            if (named) settings.push_back("SONIVATE_SHIM_NO_TMPFILE=1");
            const pid_t child = SpawnCli(args, Faults(settings), logs.file("out"), logs.file("err"));
            ASSERT_GT(child, 0);
            int status = 0;
            // Stopped with its copy complete but not yet named: killed there.
            ASSERT_EQ(::waitpid(child, &status, WUNTRACED), child);
            ASSERT_TRUE(WIFSTOPPED(status)) << status;
            ::kill(child, SIGKILL);
            ASSERT_EQ(::waitpid(child, &status, 0), child);

            EXPECT_EQ(ReadBytes(source), original);
            for (const std::string& folder : {dir.path(), out.path()})
                for (const std::string& name : Files(folder))
                    if (name != "take.wav") {
                        EXPECT_TRUE(named) << "an unnamed copy vanishes with its process: " << name;
                        EXPECT_EQ(name.rfind(".sonivate-", 0), 0u) << name;
                    }
            EXPECT_TRUE(Files(out.path()).size() <= (named && !inPlace ? 1u : 0u));

            const CliResult next = RunCli({"run", "--json", dir.path(), out.path()});
            ASSERT_EQ(next.status, 0) << next.err;
            EXPECT_EQ(Json::parse(next.out).size(), 1u) << next.out;
        }
    }
}

TEST(CliPublish, ASecondInterruptEndsAtOnceAndRemovesTheHiddenCopy) {
    ScratchDir dir, logs;
    const std::string source = Tone(dir, "take.wav");
    const Bytes original = ReadBytes(source);
    const pid_t child = SpawnCli({"run", "--write", "--in-place", "--jobs", "1", source},
                                 Faults({"SONIVATE_SHIM_FSYNC=interrupt", "SONIVATE_SHIM_NO_TMPFILE=1"}),
                                 logs.file("out"), logs.file("err"));
    const Ended ended = Finish(child, logs);
    ASSERT_TRUE(WIFSIGNALED(ended.status)) << ended.status << ended.err;
    EXPECT_EQ(WTERMSIG(ended.status), SIGINT);
    EXPECT_EQ(ReadBytes(source), original);
    EXPECT_EQ(Files(dir.path()), std::vector<std::string>{"take.wav"});
}

TEST(CliPublish, AFailedSyncOrCloseFailsTheRowAndKeepsTheSource) {
    for (const std::string fault : {"SONIVATE_SHIM_FSYNC=fail", "SONIVATE_SHIM_CLOSE=fail"}) {
        SCOPED_TRACE(fault);
        ScratchDir dir, logs;
        const std::string source = Tone(dir, "take.wav");
        const Bytes original = ReadBytes(source);
        const pid_t child = SpawnCli({"run", "--write", "--in-place", "--json", "--jobs", "1", source}, Faults({fault}),
                                     logs.file("out"), logs.file("err"));
        const Ended ended = Finish(child, logs);
        ASSERT_TRUE(WIFEXITED(ended.status));
        EXPECT_EQ(WEXITSTATUS(ended.status), 1) << ended.err;
        const Json rows = Json::parse(ended.out);
        EXPECT_FALSE(rows.at(0)["written"].get<bool>());
        EXPECT_EQ(rows[0]["reason"], "write_failed");
        EXPECT_EQ(ReadBytes(source), original);
        EXPECT_EQ(Files(dir.path()), std::vector<std::string>{"take.wav"});
    }
}

TEST(CliPublish, TwoRunsAtOnceOnOneFolderApplyTheGainOnce) {
    ScratchDir dir, logsA, logsB;
    for (int i = 0; i < 4; ++i) Tone(dir, "spot" + std::to_string(i) + ".wav", -30.0, 3.0);
    const std::vector<std::string> args = {"run", "--write", "--in-place", "--json", "--jobs", "1", dir.path()};
    const pid_t a = SpawnCli(args, {}, logsA.file("out"), logsA.file("err"));
    const pid_t b = SpawnCli(args, {}, logsB.file("out"), logsB.file("err"));
    const Ended endedA = Finish(a, logsA);
    const Ended endedB = Finish(b, logsB);
    for (const Ended* ended : {&endedA, &endedB}) {
        ASSERT_TRUE(WIFEXITED(ended->status));
        for (const Json& row : Json::parse(ended->out))
            if (!row["written"].get<bool>()) {
                EXPECT_TRUE(row["reason"] == "locked" || row["reason"] == "source_changed") << row.dump();
            }
    }
    const CliResult measured = RunCli({"measure", "--json", dir.file("spot0.wav"), dir.file("spot1.wav"),
                                       dir.file("spot2.wav"), dir.file("spot3.wav")});
    ASSERT_EQ(measured.status, 0) << measured.err;
    for (const Json& file : Json::parse(measured.out))
        EXPECT_NEAR(file["lkfs"].get<double>(), -24.0, 0.1) << "the gain of about 6 dB is applied once";
    EXPECT_EQ(Files(dir.path()).size(), 4u);
}

TEST(CliPublish, ApplyNeverWritesThroughALinkAndLeavesNothingAfterAFault) {
    ScratchDir dir, elsewhere, logs;
    const std::string source = Tone(dir, "take.wav");
    ASSERT_EQ(::symlink(elsewhere.file("planted.wav").c_str(), dir.file("copy.wav").c_str()), 0);
    const CliResult linked = RunCli({"apply", "--gain", "3", source, dir.file("copy.wav")});
    EXPECT_EQ(linked.status, 2) << linked.err;
    EXPECT_TRUE(Files(elsewhere.path()).empty()) << "the dangling link was not followed";

    const pid_t child = SpawnCli({"apply", "--gain", "3", source, dir.file("new.wav")},
                                 Faults({"SONIVATE_SHIM_FSYNC=fail", "SONIVATE_SHIM_NO_TMPFILE=1"}), logs.file("out"),
                                 logs.file("err"));
    const Ended ended = Finish(child, logs);
    ASSERT_TRUE(WIFEXITED(ended.status));
    EXPECT_EQ(WEXITSTATUS(ended.status), 1) << ended.err;
    EXPECT_EQ(Files(dir.path()), (std::vector<std::string>{"copy.wav", "take.wav"}));
}

// Runs the CLI under a shell that first sets a file-size limit (ulimit -f,
// in 512-byte blocks): the limit binds the CLI alone.
CliResult RunCliUnderSizeLimit(long pBlocks, const std::vector<std::string>& pArguments) {
    std::string command = "ulimit -f " + std::to_string(pBlocks) + " && exec '" SONIVATE_CLI_PATH "'";
    for (const std::string& a : pArguments) command += " '" + a + "'";
    CliResult result;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) result.out.append(buffer, n);
        const int status = ::pclose(pipe);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return result;
}

TEST(CliPublish, AFileSizeLimitFailsTheLargeCopyAndTheBatchGoesOn) {
    ScratchDir dir, out;
    constexpr long kLimitBlocks = 600;  // 300 KiB: the short file fits, the long one does not
    Tone(dir, "a-long.wav", -30.0, 4.0);
    Tone(dir, "b-short.wav", -30.0, 1.2);
    const CliResult run = RunCliUnderSizeLimit(
        kLimitBlocks, {"run", "--write", "--json", "--jobs", "1", "--output-dir", out.path(), dir.path()});
    ASSERT_NE(run.status, -1) << "ended by a signal";
    const Json rows = Json::parse(run.out);
    ASSERT_EQ(rows.size(), 2u) << run.out;
    EXPECT_FALSE(rows[0]["written"].get<bool>());
    EXPECT_EQ(rows[0]["reason"], "write_failed");
    EXPECT_TRUE(rows[1]["written"].get<bool>()) << rows[1].dump();
    EXPECT_EQ(Files(out.path()), std::vector<std::string>{"b-short.wav"});
}

TEST(CliPublish, TooManyOpenFilesIsAWriteFailureNotAnotherFileWithTheName) {
    ScratchDir dir, out, logs;
    Tone(dir, "take.wav");
    const std::string existing = Tone(out, "take.wav", -20.0);
    const Bytes existingBytes = ReadBytes(existing);
    const pid_t child =
        SpawnCli({"run", "--write", "--json", "--jobs", "1", "--output-dir", out.path(), dir.file("take.wav")},
                 Faults({"SONIVATE_SHIM_OPEN_NOFOLLOW=emfile"}), logs.file("out"), logs.file("err"));
    const Ended ended = Finish(child, logs);
    ASSERT_TRUE(WIFEXITED(ended.status)) << ended.err;
    const Json rows = Json::parse(ended.out);
    EXPECT_FALSE(rows.at(0)["written"].get<bool>());
    EXPECT_EQ(rows[0]["reason"], "write_failed");
    EXPECT_EQ(ReadBytes(existing), existingBytes);
    EXPECT_EQ(Files(out.path()), std::vector<std::string>{"take.wav"});
}

TEST(CliPublish, AFailedFolderFlushAfterTheRenameStillReportsTheCopyWritten) {
    ScratchDir dir, logs;
    const std::string source = Tone(dir, "take.wav");
    const Bytes original = ReadBytes(source);
    const pid_t child = SpawnCli({"run", "--write", "--in-place", "--json", "--jobs", "1", source},
                                 Faults({"SONIVATE_SHIM_FSYNC=fail-folder"}), logs.file("out"), logs.file("err"));
    const Ended ended = Finish(child, logs);
    ASSERT_TRUE(WIFEXITED(ended.status)) << ended.err;
    const Json rows = Json::parse(ended.out);
    EXPECT_TRUE(rows.at(0)["written"].get<bool>()) << "the source was replaced: saying otherwise misleads";
    EXPECT_NE(ReadBytes(source), original);
    EXPECT_EQ(Files(dir.path()), std::vector<std::string>{"take.wav"});
}

}  // namespace
}  // namespace sonivate::test
