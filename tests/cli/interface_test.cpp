// sonivate-cli with files from other tools and operator mistakes: it says
// what it does and does nothing it was not asked to.

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <thread>

#include "cli_runner.h"
#include "support/scratch.h"
#include "support/wavgen.h"

namespace sonivate::test {
namespace {

using Json = nlohmann::json;
constexpr std::int32_t kRate = 48000;
const std::vector<std::string> kEnglish = {"LANG=C.UTF-8", "LC_ALL=", "LC_MESSAGES="};

std::string Tone(const ScratchDir& pDir, const std::string& pName, WavSpec pSpec = {}, double pSeconds = 1.5) {
    return WriteWav(
        pDir.file(pName), pSpec,
        Sine(static_cast<std::int64_t>(pSeconds * kRate), pSpec.channels, 997.0, -30.0, pSpec.bitsPerSample));
}

std::vector<std::string> Files(const std::string& pFolder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(pFolder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(CliInterface, WritingNeedsAnExistingOutputFolderOrInPlace) {
    ScratchDir dir;
    const std::string file = Tone(dir, "spot.wav");
    const Bytes before = ReadBytes(file);
    const CliResult bare = RunCli({"run", "--write", file}, "", kEnglish);
    EXPECT_EQ(bare.status, 2);
    EXPECT_NE(bare.err.find("--in-place"), std::string::npos) << bare.err;
    const CliResult typo = RunCli({"run", "--write", "--output-dir", dir.file("outptu"), file}, "", kEnglish);
    EXPECT_EQ(typo.status, 2);
    EXPECT_EQ(RunCli({"run", "--write", "--in-place", "--output-dir", dir.path(), file}).status, 2);
    EXPECT_EQ(ReadBytes(file), before) << "nothing was written";
    EXPECT_EQ(Files(dir.path()), std::vector<std::string>{"spot.wav"});
}

TEST(CliInterface, OptionsAndCommandsAreCheckedAndNamed) {
    ScratchDir dir;
    const std::string file = Tone(dir, "spot.wav");
    EXPECT_EQ(RunCli({"run", "--jobs", "0", file}).status, 2);
    EXPECT_EQ(RunCli({"run", "--jobs", "257", file}).status, 2);
    EXPECT_EQ(RunCli({"run", "--jobs", "256", file}).status, 0);
    const CliResult unknown = RunCli({"mesure", file});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("unknown subcommand: mesure"), std::string::npos) << unknown.err;
    const CliResult folder = RunCli({"measure", dir.path()}, "", kEnglish);
    EXPECT_EQ(folder.status, 1);
    EXPECT_NE(folder.err.find("is a folder"), std::string::npos) << folder.err;
}

TEST(CliInterface, AFifoInAFolderIsRefusedAndTheRunEnds) {
    ScratchDir dir, logs;
    Tone(dir, "real.wav");
    ASSERT_EQ(::mkfifo(dir.file("x.wav").c_str(), 0644), 0);
    const pid_t child = SpawnCli({"run", "--json", dir.path()}, kEnglish, logs.file("out"), logs.file("err"));
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            FAIL() << "the run waits on the FIFO";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const Bytes out = ReadBytes(logs.file("out"));
    const Json rows = Json::parse(std::string(out.begin(), out.end()));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_TRUE(rows[0]["measured"].get<bool>());
    EXPECT_EQ(rows[1]["reason"], "not_regular");
    EXPECT_EQ(RunCli({"measure", dir.file("x.wav")}).status, 1);
}

TEST(CliInterface, ExtensibleFilesAreMeasuredAndSurroundIsWrittenButAnUnknownLayoutIsNot) {
    ScratchDir dir, out;
    WavSpec stereo;
    stereo.formatTag = 0xFFFE;
    stereo.bitsPerSample = 24;
    WavSpec surround = stereo;
    surround.channels = 6;
    Tone(dir, "stereo24.wav", stereo);
    Tone(dir, "surround.wav", surround);
    const CliResult r = RunCli({"run", "--json", "--write", "--output-dir", out.path(), dir.path()});
    EXPECT_EQ(r.status, 0) << r.err;
    const Json rows = Json::parse(r.out);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_TRUE(rows[0]["measured"].get<bool>());
    EXPECT_TRUE(rows[0]["written"].get<bool>());
    EXPECT_TRUE(rows[1]["measured"].get<bool>());
    EXPECT_TRUE(rows[1]["written"].get<bool>()) << "5.1 is written with one gain for every channel";
    EXPECT_EQ(Files(out.path()), (std::vector<std::string>{"stereo24.wav", "surround.wav"}));

    // Four channels name no layout whose weights are known: refused at the
    // intake, nothing measured or written.
    WavSpec quad = stereo;
    quad.channels = 4;
    ScratchDir other;
    Tone(other, "quad.wav", quad);
    const CliResult q = RunCli({"run", "--json", other.file("quad.wav")});
    EXPECT_EQ(q.status, 1);
    EXPECT_EQ(Json::parse(q.out)[0]["reason"], "unsupported_format") << "refused by the check before any layout";
}

TEST(CliInterface, MissingMarkersAreNotedAndNamesAreEscaped) {
    ScratchDir dir;
    WavSpec marked;
    marked.afterData = BroadcastMarkers(kRate / 4, -1, kRate, -1);
    Tone(dir, "marked.wav", marked);
    Tone(dir, "plain\x1b[2J.wav");
    const CliResult json = RunCli({"run", "--json", "--from", "BC$START", "--to", "BC$STOP", dir.path()}, "", kEnglish);
    ASSERT_EQ(json.status, 0) << json.err;
    const Json rows = Json::parse(json.out);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_TRUE(rows[0]["start_marker_found"].get<bool>());
    EXPECT_TRUE(rows[0]["end_marker_found"].get<bool>());
    EXPECT_FALSE(rows[1]["start_marker_found"].get<bool>());
    EXPECT_FALSE(rows[1]["end_marker_found"].get<bool>());
    EXPECT_NE(json.err.find("no BC$START marker"), std::string::npos) << json.err;
    EXPECT_NE(json.err.find("no BC$STOP marker"), std::string::npos) << json.err;
    EXPECT_EQ(json.err.find('\x1b'), std::string::npos) << "no escape sequence reaches the terminal";
    const CliResult japanese =
        RunCli({"run", "--from", "BC$START", dir.file("plain\x1b[2J.wav")}, "", {"LC_ALL=", "LC_MESSAGES=ja_JP.UTF-8"});
    EXPECT_NE(japanese.err.find("マーカー BC$START がありません"), std::string::npos) << japanese.err;

    const CliResult table = RunCli({"run", dir.path()});
    EXPECT_EQ(table.out.find('\x1b'), std::string::npos);
    EXPECT_NE(table.out.find("plain\\x1B[2J"), std::string::npos) << table.out;
    const CliResult defaults = RunCli({"run", "--json", dir.file("marked.wav")});
    EXPECT_TRUE(Json::parse(defaults.out)[0]["start_marker_found"].is_null()) << "no marker was chosen";
}

TEST(CliInterface, AnUnreadableFileSaysPermissionDenied) {
    ScratchDir dir;
    const std::string file = Tone(dir, "locked.wav");
    ASSERT_EQ(::chmod(file.c_str(), 0), 0);
    // Root reads everything through the capabilities that override file
    // modes: the program runs without them, as root still, so it reaches the
    // build tree wherever the checkout stands (another user could not enter
    // /root or a private temporary folder).
    const std::string withoutOverride = "setpriv --inh-caps=-all --bounding-set=-dac_override,-dac_read_search ";
    if (::geteuid() == 0 && std::system((withoutOverride + "true >/dev/null 2>&1").c_str()) != 0)
        GTEST_SKIP() << "setpriv cannot drop the capabilities here";
    const std::string command = (::geteuid() == 0 ? withoutOverride : std::string()) +
                                "env LANG=C.UTF-8 LC_ALL= '" SONIVATE_CLI_PATH "' measure --json '" + file + "' 2>&1";
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) output.append(buffer, n);
        EXPECT_NE(::pclose(pipe), 0);
    }
    EXPECT_NE(output.find("permission denied"), std::string::npos) << output;
    EXPECT_NE(output.find("\"unreadable\""), std::string::npos) << output;
}

}  // namespace
}  // namespace sonivate::test
