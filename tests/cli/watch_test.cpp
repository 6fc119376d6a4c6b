// sonivate-cli watch over generated delivery folders: which files it takes,
// where the sources go, what the journal keeps across restarts, and how a
// stop signal ends it. Driven with --once --settle 0, or by the log lines it
// prints: never by waiting for time.

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli_runner.h"
#include "support/scratch.h"
#include "support/wavgen.h"

namespace sonivate::test {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
constexpr std::int32_t kRate = 48000;
// Long enough that a stop signal sent when its processing starts arrives
// well before its copy is done, seconds.
constexpr std::int32_t kLongSeconds = 300;

std::string Programme(const std::string& pPath, double pDbfs = -20.0, std::int32_t pSeconds = 2) {
    return WriteWav(pPath, WavSpec{}, Sine(static_cast<std::int64_t>(kRate) * pSeconds, 2, 1000.0, pDbfs, 16));
}

std::vector<Json> JsonLines(const std::string& pText) {
    std::vector<Json> lines;
    std::istringstream in(pText);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(Json::parse(line));
    return lines;
}

// The fault shim preloaded, with its switches (and anything else) in pSettings.
std::vector<std::string> WithFaultShim(std::vector<std::string> pSettings) {
    const char* asan = std::getenv("ASAN_OPTIONS");
    pSettings.push_back("LD_PRELOAD=" SONIVATE_FAULT_SHIM);
    pSettings.push_back("ASAN_OPTIONS=" + std::string(asan ? std::string(asan) + ":" : "") +
                        "verify_asan_link_order=0");
    return pSettings;
}

// JOURNAL_STREAM naming the file pPath (made empty), as systemd names the
// journal's stream.
std::string JournalStreamOf(const std::string& pPath) {
    std::ofstream(pPath).close();
    struct stat status {};
    if (::stat(pPath.c_str(), &status) != 0) return {};
    return "JOURNAL_STREAM=" + std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);
}

// The lines of pText that hold pPart.
std::vector<std::string> LinesWith(const std::string& pText, const std::string& pPart) {
    std::vector<std::string> lines;
    std::istringstream in(pText);
    for (std::string line; std::getline(in, line);)
        if (line.find(pPart) != std::string::npos) lines.push_back(line);
    return lines;
}

bool AnyHiddenPart(const std::string& pFolder) {
    for (const auto& entry : fs::recursive_directory_iterator(pFolder))
        if (entry.path().filename().string().rfind(".sonivate-", 0) == 0) return true;
    return false;
}

struct Delivery {
    ScratchDir in, out, aside;
    std::string journal = aside.file("journal.jsonl");

    std::vector<std::string> Once(std::vector<std::string> pExtra = {}) const {
        std::vector<std::string> args = {"watch",    in.path(), "--output-dir", out.path(), "--once",
                                         "--settle", "0",       "--journal",    journal,    "--json"};
        args.insert(args.end(), pExtra.begin(), pExtra.end());
        return args;
    }
};

TEST(CliWatch, TakesWaveFilesInAnyCaseMirrorsSubFoldersAndMovesTheSourcesToDone) {
    Delivery d;
    fs::create_directories(d.in.file("show/part"));
    Programme(d.in.file("a.wav"));
    Programme(d.in.file("B.WAV"));
    Programme(d.in.file("show/part/c.wav"));
    Programme(d.in.file(".hidden.wav"));
    Programme(d.in.file(".sonivate-1234.part"));
    Programme(d.in.file("notes.txt"));
    const std::string done = d.aside.file("done");

    const CliResult flat = RunCli(d.Once({"--done", done}));
    ASSERT_EQ(flat.status, 0) << flat.err;
    EXPECT_EQ(JsonLines(flat.out).size(), 2U) << flat.out;
    EXPECT_TRUE(fs::exists(d.in.file("show/part/c.wav"))) << "a sub-folder only with --recursive";

    const CliResult deep = RunCli(d.Once({"--done", done, "--recursive"}));
    ASSERT_EQ(deep.status, 0) << deep.err;
    const std::vector<Json> lines = JsonLines(deep.out);
    ASSERT_EQ(lines.size(), 1U) << deep.out;
    EXPECT_EQ(lines[0]["output"], d.out.file("show/part/c.wav"));
    EXPECT_EQ(lines[0]["moved_to"], done + "/show/part/c.wav");
    EXPECT_TRUE(lines[0]["written"].get<bool>());
    EXPECT_TRUE(lines[0]["gain"].is_number());
    EXPECT_EQ(lines[0]["hash"].get<std::string>().rfind("xxh64:", 0), 0U);

    for (const char* name : {"a.wav", "B.wav", "show/part/c.wav"}) EXPECT_TRUE(fs::exists(d.out.file(name))) << name;
    for (const std::string name : {"a.wav", "B.WAV", "show/part/c.wav"})
        EXPECT_TRUE(fs::exists(done + "/" + name)) << name;
    EXPECT_TRUE(fs::exists(d.in.file(".hidden.wav")));
    EXPECT_TRUE(fs::exists(d.in.file(".sonivate-1234.part")));
    EXPECT_TRUE(fs::exists(d.in.file("notes.txt")));
    EXPECT_FALSE(fs::exists(d.out.file(".hidden.wav")));
}

TEST(CliWatch, AFileOnTargetIsDeliveredByteForByte) {
    Delivery d;
    const std::string spot = Programme(d.in.file("spot.wav"));
    const Bytes source = ReadBytes(spot);
    const double lkfs = Json::parse(RunCli({"measure", "--json", spot}).out)[0]["lkfs"].get<double>();
    const CliResult r = RunCli(d.Once({"--target", std::to_string(lkfs + 0.04), "--tolerance", "0.1"}));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<Json> lines = JsonLines(r.out);
    ASSERT_EQ(lines.size(), 1U) << r.out;
    EXPECT_TRUE(lines[0]["within_tolerance"].get<bool>());
    EXPECT_EQ(ReadBytes(d.out.file("spot.wav")), source);
    // The log says what was done, not the gain it did not apply.
    EXPECT_NE(r.err.find("LKFS, left unchanged: within tolerance)"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("gain"), std::string::npos) << r.err;
}

TEST(CliWatch, ASurroundFileTellsItsDownmixPeakAsRunDoes) {
    Delivery d;
    WavSpec fiveOne;
    fiveOne.channels = 6;
    // Every channel alike: the downmix adds front, centre and surround in phase.
    WriteWav(d.in.file("surround.wav"), fiveOne, Sine(2 * kRate, 6, 997.0, -6.0, 16));
    const CliResult profiled = RunCli(d.Once({"--profile", "arib-tr-b32"}));
    ASSERT_EQ(profiled.status, 0) << profiled.err;
    const std::vector<Json> lines = JsonLines(profiled.out);
    ASSERT_EQ(lines.size(), 1U) << profiled.out;
    EXPECT_TRUE(lines[0]["written"].get<bool>());
    ASSERT_TRUE(lines[0]["downmix_true_peak"].is_number()) << lines[0].dump();
    EXPECT_GT(lines[0]["downmix_true_peak"].get<double>(), lines[0]["true_peak"].get<double>());
    ASSERT_TRUE(lines[0].contains("verdict_notes")) << lines[0].dump();
    EXPECT_EQ(lines[0]["verdict_notes"]["source"], Json::array({"downmix_true_peak_over"})) << lines[0].dump();

    // Without a profile: the figure, no notes; a stereo file has no downmix.
    Delivery mixed;
    Programme(mixed.in.file("stereo.wav"));
    WriteWav(mixed.in.file("surround.wav"), fiveOne, Sine(2 * kRate, 6, 997.0, -6.0, 16));
    const CliResult plain = RunCli(mixed.Once());
    ASSERT_EQ(plain.status, 0) << plain.err;
    const std::vector<Json> rows = JsonLines(plain.out);
    ASSERT_EQ(rows.size(), 2U) << plain.out;
    for (const Json& row : rows) {
        const bool surround = row["source"] == mixed.in.file("surround.wav");
        ASSERT_TRUE(row.contains("downmix_true_peak")) << row.dump();
        EXPECT_EQ(row["downmix_true_peak"].is_number(), surround) << row.dump();
        EXPECT_FALSE(row.contains("verdict_notes")) << row.dump();
    }

    // Not under --no-extras.
    Delivery bare;
    WriteWav(bare.in.file("surround.wav"), fiveOne, Sine(2 * kRate, 6, 997.0, -6.0, 16));
    const CliResult none = RunCli(bare.Once({"--no-extras"}));
    ASSERT_EQ(none.status, 0) << none.err;
    ASSERT_EQ(JsonLines(none.out).size(), 1U) << none.out;
    EXPECT_FALSE(JsonLines(none.out)[0].contains("downmix_true_peak")) << none.out;
}

TEST(CliWatch, AFileThatCannotBeDoneGoesToFailedWithItsReasonAndANameTakenGetsANumber) {
    Delivery d;
    const std::string failed = d.aside.file("failed");
    fs::create_directories(failed);
    Programme(failed + "/short.wav");  // an earlier delivery of that name
    WriteWav(d.in.file("short.wav"), WavSpec{}, Sine(kRate / 2, 2, 1000.0, -20.0, 16));
    {
        std::ofstream junk(d.in.file("junk.wav"));
        junk << "not a wave file at all";
    }
    const CliResult r = RunCli(d.Once({"--failed", failed}));
    EXPECT_EQ(r.status, 1) << "a failed file fails a --once run";
    const std::vector<Json> lines = JsonLines(r.out);
    ASSERT_EQ(lines.size(), 2U) << r.out;
    for (const Json& line : lines) {
        EXPECT_FALSE(line["written"].get<bool>());
        EXPECT_TRUE(line["output"].is_null());
        EXPECT_TRUE(line["reason"].is_string());
    }
    EXPECT_FALSE(fs::exists(d.in.file("short.wav")));
    EXPECT_TRUE(fs::exists(failed + "/short-2.wav"));
    EXPECT_NE(ReadText(failed + "/short-2.wav.reason.txt").find("too_short"), std::string::npos);
    for (const Json& line : lines) {
        if (line["source"] != d.in.file("junk.wav")) continue;
        EXPECT_EQ(ReadText(failed + "/junk.wav.reason.txt").rfind(line["reason"].get<std::string>() + "\n", 0), 0U);
    }
    EXPECT_FALSE(fs::exists(d.out.file("short.wav")));
    EXPECT_FALSE(fs::exists(d.out.file("junk.wav")));
}

TEST(CliWatch, ARestartNeverDoesAFileTwiceButDoesAChangedOneAndOneWhoseLineWasCutOff) {
    Delivery d;
    Programme(d.in.file("a.wav"), -20.0);
    Programme(d.in.file("b.wav"), -30.0);
    const CliResult first = RunCli(d.Once());
    ASSERT_EQ(first.status, 0) << first.err;
    ASSERT_EQ(JsonLines(first.out).size(), 2U);

    const CliResult again = RunCli(d.Once());
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_TRUE(JsonLines(again.out).empty()) << again.out;
    EXPECT_NE(again.err.find("done before"), std::string::npos) << again.err;

    // A new delivery under the old name is new work.
    Programme(d.in.file("a.wav"), -25.0);
    const CliResult changed = RunCli(d.Once());
    const std::vector<Json> redone = JsonLines(changed.out);
    ASSERT_EQ(redone.size(), 1U) << changed.out;
    EXPECT_EQ(redone[0]["source"], d.in.file("a.wav"));

    // A crash in the middle of the last line: that file is done again.
    std::string journal = ReadText(d.journal);
    ASSERT_EQ(journal.back(), '\n');
    journal.resize(journal.size() - 5);
    std::ofstream(d.journal, std::ios::trunc) << journal;
    const CliResult recovered = RunCli(d.Once());
    const std::vector<Json> lines = JsonLines(recovered.out);
    ASSERT_EQ(lines.size(), 1U) << recovered.out;
    EXPECT_EQ(lines[0]["source"], d.in.file("a.wav"));
    const CliResult settled = RunCli(d.Once());
    EXPECT_TRUE(JsonLines(settled.out).empty()) << settled.out;
}

TEST(CliWatch, AFileStillOpenForWritingIsNeverTakenAndIsTakenOnceClosed) {
    Delivery d;
    const Bytes wave = BuildWav(WavSpec{}, Sine(kRate * 2, 2, 1000.0, -20.0, 16));
    const int writer = ::open(d.in.file("slow.wav").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(writer, 0);
    // Complete on disk, but the writer has not closed it yet.
    ASSERT_EQ(::write(writer, wave.data(), wave.size()), static_cast<ssize_t>(wave.size()));

    const CliResult open = RunCli(d.Once());
    EXPECT_EQ(open.status, 0) << open.err;
    EXPECT_TRUE(JsonLines(open.out).empty()) << open.out;
    EXPECT_FALSE(fs::exists(d.out.file("slow.wav")));
    EXPECT_NE(open.err.find("left for the next run"), std::string::npos) << open.err;

    ASSERT_EQ(::close(writer), 0);
    const CliResult closed = RunCli(d.Once());
    ASSERT_EQ(closed.status, 0) << closed.err;
    EXPECT_EQ(JsonLines(closed.out).size(), 1U) << closed.out;
    EXPECT_TRUE(fs::exists(d.out.file("slow.wav")));
}

// A watcher running in the background, its log read as it comes.
class RunningWatch {
public:
    explicit RunningWatch(const std::vector<std::string>& pArguments) {
        if (::pipe(mPipe) != 0) return;
        mPid = ::fork();
        if (mPid != 0) {
            ::close(mPipe[1]);
            return;
        }
        ::dup2(mPipe[1], STDERR_FILENO);
        ::close(mPipe[0]);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        std::vector<std::string> args = {SONIVATE_CLI_PATH};
        args.insert(args.end(), pArguments.begin(), pArguments.end());
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ~RunningWatch() {
        if (mPid > 0 && !mReaped) {
            ::kill(mPid, SIGKILL);
            ::waitpid(mPid, nullptr, 0);
        }
        if (mPipe[0] >= 0) ::close(mPipe[0]);
    }
    // Reads the log until pText has appeared (counted from pFrom); false when the log ended first.
    bool WaitFor(const std::string& pText, size_t pFrom = 0) {
        char buffer[256];
        while (log.find(pText, pFrom) == std::string::npos) {
            const ssize_t got = ::read(mPipe[0], buffer, sizeof buffer);
            if (got <= 0) return false;
            log.append(buffer, static_cast<size_t>(got));
        }
        return true;
    }
    // Signals the watcher and returns its exit status (-1: it did not exit normally).
    int Stop() {
        ::kill(mPid, SIGTERM);
        WaitFor("\n\n");  // to the end of the log
        int status = 0;
        ::waitpid(mPid, &status, 0);
        mReaped = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string log;

private:
    int mPipe[2] = {-1, -1};
    pid_t mPid = -1;
    bool mReaped = false;
};

TEST(CliWatch, FilesArrivingWhileWatchingAreTakenAlsoInSubFoldersMadeMeanwhile) {
    Delivery d;
    RunningWatch watch(
        {"watch", d.in.path(), "--output-dir", d.out.path(), "--settle", "0", "--recursive", "--journal", d.journal});
    ASSERT_TRUE(watch.WaitFor("watching")) << watch.log;
    // Written elsewhere and moved in, as a delivery tool does it.
    Programme(d.aside.file("moved.wav"));
    ASSERT_EQ(::rename(d.aside.file("moved.wav").c_str(), d.in.file("moved.wav").c_str()), 0);
    ASSERT_TRUE(watch.WaitFor("written " + d.out.file("moved.wav"))) << watch.log;
    fs::create_directories(d.in.file("new/deeper"));
    Programme(d.in.file("new/deeper/late.wav"));
    ASSERT_TRUE(watch.WaitFor("written " + d.out.file("new/deeper/late.wav"))) << watch.log;
    EXPECT_EQ(watch.Stop(), 0) << watch.log;
    EXPECT_TRUE(fs::exists(d.in.file("moved.wav"))) << "without --done the source stays";
}

TEST(CliWatch, SigtermDuringAFileEndsWithStatusZeroAndLeavesNoCopyAndNoLine) {
    Delivery d;
    Programme(d.in.file("long.wav"), -20.0, kLongSeconds);
    int errPipe[2];
    ASSERT_EQ(::pipe(errPipe), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::dup2(errPipe[1], STDERR_FILENO);
        ::close(errPipe[0]);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::execl(SONIVATE_CLI_PATH, SONIVATE_CLI_PATH, "watch", d.in.path().c_str(), "--output-dir",
                d.out.path().c_str(), "--settle", "0", "--journal", d.journal.c_str(), "--jobs", "1",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(errPipe[1]);
    std::string err;
    char buffer[256];
    for (ssize_t got = 0; err.find("processing") == std::string::npos;) {
        got = ::read(errPipe[0], buffer, sizeof buffer);
        if (got <= 0) break;
        err.append(buffer, static_cast<size_t>(got));
    }
    ASSERT_NE(err.find("processing"), std::string::npos) << err;
    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    for (ssize_t got = 1; got > 0;) {
        got = ::read(errPipe[0], buffer, sizeof buffer);
        if (got > 0) err.append(buffer, static_cast<size_t>(got));
    }
    ::close(errPipe[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << err;
    EXPECT_EQ(WEXITSTATUS(status), 0) << err;
    EXPECT_FALSE(fs::exists(d.out.file("long.wav"))) << err;
    EXPECT_FALSE(AnyHiddenPart(d.out.path()));
    EXPECT_TRUE(fs::exists(d.in.file("long.wav")));
    EXPECT_EQ(ReadText(d.journal), "");

    // Not lost: the next start does it.
    const CliResult next = RunCli(d.Once());
    EXPECT_EQ(JsonLines(next.out).size(), 1U) << next.err;
    EXPECT_TRUE(fs::exists(d.out.file("long.wav")));
}

TEST(CliWatch, RefusesOutputDoneAndFailedFoldersThatWouldFeedTheWatch) {
    Delivery d;
    const CliResult same =
        RunCli({"watch", d.in.path(), "--output-dir", d.in.path(), "--once", "--journal", d.journal});
    EXPECT_EQ(same.status, 2) << same.err;
    fs::create_directories(d.in.file("out"));
    const CliResult inside = RunCli(
        {"watch", d.in.path(), "--output-dir", d.in.file("out"), "--recursive", "--once", "--journal", d.journal});
    EXPECT_EQ(inside.status, 2) << inside.err;
    const CliResult done = RunCli({"watch", d.in.path(), "--output-dir", d.out.path(), "--done", d.in.file("done"),
                                   "--recursive", "--once", "--journal", d.journal});
    EXPECT_EQ(done.status, 2) << done.err;
    EXPECT_FALSE(fs::exists(d.in.file("done"))) << "a refused folder is not made";
}

TEST(CliWatch, TheDefaultJournalAndItsStatusFileLiveInTheStateHome) {
    Delivery d;
    Programme(d.in.file("a.wav"));
    const CliResult r = RunCli({"watch", d.in.path(), "--output-dir", d.out.path(), "--once", "--settle", "0"}, "",
                               {"XDG_STATE_HOME=" + d.aside.path()});
    ASSERT_EQ(r.status, 0) << r.err;
    size_t journals = 0, statuses = 0;
    for (const auto& entry : fs::directory_iterator(d.aside.file("sonivate"))) {
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(name.rfind("watch-", 0), 0U);
        if (entry.path().extension() == ".jsonl") {
            EXPECT_NE(ReadText(entry.path().string()).find("\"source\":\"" + d.in.file("a.wav") + "\""),
                      std::string::npos);
            ++journals;
        } else {
            ASSERT_EQ(name.substr(name.size() - std::strlen(".status.json")), ".status.json");
            const Json status = Json::parse(ReadText(entry.path().string()));
            EXPECT_EQ(status["folder"], d.in.path());
            EXPECT_EQ(status["done"], 1);
            EXPECT_EQ(status["failed"], 0);
            EXPECT_EQ(status["waiting"], 0);
            EXPECT_EQ(status["retrying"], 0);
            EXPECT_TRUE(status["last_error"].is_null());
            EXPECT_EQ(status.value("left_in_place", -1), 0);
            EXPECT_EQ(status.value("unreadable", -1), 0);
            // Who wrote it and when, and that it has ended.
            EXPECT_FALSE(status.value("running", true));
            EXPECT_GT(status.value("pid", std::int64_t{0}), 0);
            const std::string updated = status.value("updated", std::string());
            EXPECT_EQ(updated.size(), std::strlen("2024-01-01T00:00:00Z")) << updated;
            EXPECT_EQ(updated.back(), 'Z') << updated;
            ++statuses;
        }
    }
    EXPECT_EQ(journals, 1U);
    EXPECT_EQ(statuses, 1U);
}

// Reads pErrFile until it holds pText or the child pPid has ended.
bool WaitForLine(const std::string& pErrFile, const std::string& pText, pid_t pPid) {
    for (;;) {
        if (ReadText(pErrFile).find(pText) != std::string::npos) return true;
        int status = 0;
        if (::waitpid(pPid, &status, WNOHANG) == pPid) return false;
        ::sched_yield();
    }
}

int StopAndWait(pid_t pPid) {
    ::kill(pPid, SIGTERM);
    int status = 0;
    ::waitpid(pPid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CliWatch, ACutShortUploadIsNeitherCopiedNorFiledNorJournaled) {
    Delivery d;
    const Bytes wave = BuildWav(WavSpec{}, Sine(kRate * 4, 2, 1000.0, -20.0, 16));
    WriteBytes(d.in.file("upload.wav"),
               Bytes(wave.begin(), wave.begin() + static_cast<std::ptrdiff_t>(wave.size() / 2)));
    const std::string done = d.aside.file("done"), failed = d.aside.file("failed");
    const CliResult r = RunCli(d.Once({"--done", done, "--failed", failed}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(JsonLines(r.out).empty()) << r.out;
    EXPECT_NE(r.err.find("waiting for the rest"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::exists(d.in.file("upload.wav")));
    EXPECT_FALSE(fs::exists(d.out.file("upload.wav")));
    EXPECT_TRUE(fs::is_empty(done));
    EXPECT_TRUE(fs::is_empty(failed));
    EXPECT_EQ(ReadText(d.journal), "");

    // The rest arrives: now it is done.
    WriteBytes(d.in.file("upload.wav"), wave);
    const CliResult rest = RunCli(d.Once({"--done", done, "--failed", failed}));
    ASSERT_EQ(rest.status, 0) << rest.err;
    ASSERT_EQ(JsonLines(rest.out).size(), 1U);
    EXPECT_TRUE(fs::exists(done + "/upload.wav"));
}

TEST(CliWatch, ATransientFailureIsLeftUnrecordedAndTheNextRunDoesTheFile) {
    Delivery d;
    Programme(d.in.file("a.wav"));
    const std::string failed = d.aside.file("failed");
    // Every open of a delivery fails as if the descriptor table were full.
    const CliResult full =
        RunCli(d.Once({"--failed", failed}), "", WithFaultShim({"SONIVATE_SHIM_OPEN_NOFOLLOW=emfile"}));
    EXPECT_EQ(full.status, 1) << "a file left behind fails a --once run";
    EXPECT_NE(full.err.find("left for the next run"), std::string::npos) << full.err;
    EXPECT_TRUE(JsonLines(full.out).empty()) << full.out;
    EXPECT_TRUE(fs::exists(d.in.file("a.wav")));
    EXPECT_TRUE(fs::is_empty(failed)) << "a transient cause is not filed as failed";
    EXPECT_EQ(ReadText(d.journal), "");

    const CliResult again = RunCli(d.Once({"--failed", failed}));
    ASSERT_EQ(again.status, 0) << again.err;
    ASSERT_EQ(JsonLines(again.out).size(), 1U);
    EXPECT_TRUE(JsonLines(again.out)[0]["written"].get<bool>());
}

TEST(CliWatch, TwoSourcesWithOneCopyNameNeverReplaceEachOther) {
    Delivery d;
    Programme(d.in.file("x.wav"), -20.0);
    Programme(d.in.file("x.WAV"), -30.0);
    const std::string failed = d.aside.file("failed");
    const CliResult r = RunCli(d.Once({"--failed", failed, "--jobs", "2"}));
    EXPECT_EQ(r.status, 1) << r.err;
    const std::vector<Json> lines = JsonLines(r.out);
    ASSERT_EQ(lines.size(), 2U) << r.out;
    const Json& written = lines[0]["written"].get<bool>() ? lines[0] : lines[1];
    const Json& refused = lines[0]["written"].get<bool>() ? lines[1] : lines[0];
    EXPECT_TRUE(written["written"].get<bool>());
    EXPECT_FALSE(refused["written"].get<bool>());
    EXPECT_EQ(refused["reason"], "name_used_in_run");
    // The copy is the first one's: its loudness is the written line's.
    EXPECT_EQ(written["output"], d.out.file("x.wav"));
    EXPECT_TRUE(fs::exists(refused["moved_to"].get<std::string>() + ".reason.txt"));
}

TEST(CliWatch, ASecondWatcherOfTheSameFolderIsRefusedWhateverItsJournal) {
    Delivery d;
    const std::string err = d.aside.file("first.err");
    const pid_t first = SpawnCli({"watch", d.in.path(), "--output-dir", d.out.path(), "--journal", d.journal}, {},
                                 d.aside.file("first.out"), err);
    ASSERT_TRUE(WaitForLine(err, "watching", first)) << ReadText(err);
    const CliResult second = RunCli(
        {"watch", d.in.path(), "--output-dir", d.out.path(), "--once", "--journal", d.aside.file("other.jsonl")});
    EXPECT_EQ(second.status, 1);
    EXPECT_NE(second.err.find("another watcher watches this folder"), std::string::npos) << second.err;
    EXPECT_EQ(StopAndWait(first), 0);
}

TEST(CliWatch, LinksInMirroredFoldersSendNothingElsewhere) {
    Delivery d;
    ScratchDir elsewhere;
    const std::string failed = d.aside.file("failed");
    fs::create_directories(d.in.file("show"));
    fs::create_directories(d.in.file("spot"));
    Programme(d.in.file("show/a.wav"));
    {
        std::ofstream junk(d.in.file("spot/junk.wav"));
        junk << "not a wave file";
    }
    fs::create_directory_symlink(elsewhere.path(), d.out.file("show"));
    fs::create_directories(failed);
    fs::create_directory_symlink(elsewhere.path(), failed + "/spot");
    const CliResult r = RunCli(d.Once({"--recursive", "--failed", failed}));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(fs::is_empty(elsewhere.path())) << r.err;
    EXPECT_TRUE(fs::exists(d.in.file("spot/junk.wav"))) << "the move was refused";
    for (const Json& line : JsonLines(r.out)) EXPECT_FALSE(line["written"].get<bool>()) << line.dump();
}

TEST(CliWatch, LogLinesCarryJournaldPrioritiesOnlyWhenStderrIsTheJournal) {
    Delivery d;
    Programme(d.in.file("good.wav"));
    {
        std::ofstream junk(d.in.file("junk.wav"));
        junk << "not a wave file";
    }
    const std::string err = d.aside.file("watch.err");
    std::ofstream(err).close();
    struct stat status {};
    ASSERT_EQ(::stat(err.c_str(), &status), 0);
    const std::string stream = "JOURNAL_STREAM=" + std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);
    const pid_t pid = SpawnCli(d.Once(), {stream}, d.aside.file("watch.out"), err);
    int exit = 0;
    ASSERT_EQ(::waitpid(pid, &exit, 0), pid);
    const std::string journald = ReadText(err);
    EXPECT_NE(journald.find("<6>sonivate-cli watch: " + d.in.file("good.wav") + ": written"), std::string::npos)
        << journald;
    EXPECT_NE(journald.find("<3>sonivate-cli watch: " + d.in.file("junk.wav") + ": failed"), std::string::npos)
        << journald;

    // Another stream (stderr redirected away from the journal): plain lines.
    const CliResult plain = RunCli(d.Once(), "", {stream});
    EXPECT_EQ(plain.err.find("<6>"), std::string::npos) << plain.err;

    // A cause that may pass (every open fails as if the descriptor table
    // were full) is a warning: the file is tried again.
    Delivery full;
    Programme(full.in.file("a.wav"));
    const std::string fullErr = full.aside.file("watch.err");
    const std::string fullStream = JournalStreamOf(fullErr);
    const pid_t retried = SpawnCli(full.Once(), WithFaultShim({fullStream, "SONIVATE_SHIM_OPEN_NOFOLLOW=emfile"}),
                                   full.aside.file("watch.out"), fullErr);
    ASSERT_EQ(::waitpid(retried, &exit, 0), retried);
    const std::vector<std::string> retries = LinesWith(ReadText(fullErr), full.in.file("a.wav"));
    ASSERT_EQ(retries.size(), 1U) << ReadText(fullErr);
    EXPECT_EQ(retries[0].rfind("<4>sonivate-cli watch: " + full.in.file("a.wav") + ": cannot_open (", 0), 0U)
        << retries[0];
    EXPECT_NE(retries[0].find("left for the next run"), std::string::npos) << retries[0];
}

// A sticky folder refuses to let the source go: said once at error level,
// never read again by the rescans, and counted in the status file.
TEST(CliWatch, ASourceAStickyFolderKeepsIsSaidOnceAtErrorLevelAndShownInTheStatus) {
    Delivery d;
    ScratchDir elsewhere;
    Programme(d.in.file("a.wav"));
    const std::string err = d.aside.file("watch.err"), status = d.aside.file("status.json");
    const std::string stream = JournalStreamOf(err);
    const pid_t pid =
        SpawnCli({"watch", d.in.path(), "--output-dir", d.out.path(), "--settle", "0", "--journal", d.journal, "--done",
                  d.aside.file("done"), "--rescan", "0.05", "--status-file", status},
                 WithFaultShim({stream, "SONIVATE_SHIM_RENAMEAT2=eperm"}), d.aside.file("watch.out"), err);
    ASSERT_TRUE(WaitForLine(err, d.in.file("a.wav") + ": written", pid)) << ReadText(err);
    // A file only a rescan finds: by the time it is done, rescans have
    // passed over the one left in place.
    Programme(elsewhere.file("b.wav"));
    fs::create_hard_link(elsewhere.file("b.wav"), d.in.file("b.wav"));
    ASSERT_TRUE(WaitForLine(err, d.in.file("b.wav") + ": written", pid)) << ReadText(err);
    EXPECT_EQ(StopAndWait(pid), 0);

    const std::string log = ReadText(err);
    const std::vector<std::string> lines = LinesWith(log, d.in.file("a.wav") + ": ");
    ASSERT_EQ(lines.size(), 2U) << log;  // processing, then its outcome
    EXPECT_EQ(lines[1].rfind("<3>sonivate-cli watch: " + d.in.file("a.wav") + ": written ", 0), 0U) << lines[1];
    EXPECT_NE(lines[1].find("cannot be moved: " + std::string(std::strerror(EPERM)) + "; left in place"),
              std::string::npos)
        << lines[1];
    EXPECT_EQ(log.find("done before"), std::string::npos) << log;
    EXPECT_TRUE(fs::exists(d.in.file("a.wav")));

    const Json state = Json::parse(ReadText(status));
    EXPECT_EQ(state.value("left_in_place", -1), 2);
    EXPECT_EQ(state.value("left_in_place_latest", std::string()), d.in.file("b.wav"));
    EXPECT_EQ(state.value("done", -1), 2);
    EXPECT_EQ(state.value("pid", pid_t{-1}), pid);
    EXPECT_FALSE(state.value("running", true)) << "written again on the way out";
}

TEST(CliWatch, HooksGetEachFilesLineOnTheirStandardInput) {
    Delivery d;
    Programme(d.in.file("good.wav"));
    {
        std::ofstream junk(d.in.file("junk.wav"));
        junk << "not a wave file";
    }
    const std::string doneLog = d.aside.file("done.log"), failedLog = d.aside.file("failed.log");
    const CliResult r =
        RunCli(d.Once({"--on-done", "cat >> '" + doneLog + "'", "--on-failed", "cat >> '" + failedLog + "'"}));
    EXPECT_EQ(r.status, 1) << r.err;
    const std::vector<Json> done = JsonLines(ReadText(doneLog)), failed = JsonLines(ReadText(failedLog));
    ASSERT_EQ(done.size(), 1U);
    ASSERT_EQ(failed.size(), 1U);
    EXPECT_EQ(done[0]["source"], d.in.file("good.wav"));
    EXPECT_EQ(failed[0]["source"], d.in.file("junk.wav"));
    EXPECT_EQ(failed[0]["status"], "failed");
}

// The value of one assignment line of an EnvironmentFile, as systemd reads
// it: blanks around it dropped; a value that starts with a quote is read up
// to the closing quote; any other quote is a character of the value.
std::string EnvironmentValue(const std::string& pValue) {
    const size_t first = pValue.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    std::string value = pValue.substr(first);
    value.erase(value.find_last_not_of(" \t") + 1);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

// ExecStart as systemd expands it: %-specifiers from pSpecifiers, ${NAME} as
// one word, $NAME split into words at blanks, no quote removal inside values.
std::vector<std::string> ExpandExecStart(const std::string& pLine, const std::map<std::string, std::string>& pEnv,
                                         const std::map<char, std::string>& pSpecifiers) {
    std::vector<std::string> words;
    std::istringstream in(pLine);
    for (std::string word; in >> word;) {
        std::string expanded;
        for (size_t at = 0; at < word.size(); ++at)
            if (word[at] == '%' && at + 1 < word.size()) {
                expanded += pSpecifiers.at(word[at + 1]);
                ++at;
            } else {
                expanded += word[at];
            }
        if (expanded.rfind("${", 0) == 0) {
            words.push_back(pEnv.at(expanded.substr(2, expanded.size() - 3)));
        } else if (expanded.front() == '$') {
            std::istringstream split(pEnv.at(expanded.substr(1)));
            for (std::string part; split >> part;) words.push_back(part);
        } else {
            words.push_back(expanded);
        }
    }
    return words;
}

TEST(CliWatch, TheServicesCommandLineAsSystemdExpandsItIsAccepted) {
    Delivery d;
    Programme(d.in.file("a.wav"));
    std::string unitLine;
    for (std::istringstream unit(ReadText(SONIVATE_PACKAGING_DIR "/sonivate-watch@.service"));
         std::getline(unit, unitLine);)
        if (unitLine.rfind("ExecStart=", 0) == 0) break;
    ASSERT_EQ(unitLine.rfind("ExecStart=/usr/bin/sonivate-cli ", 0), 0U) << unitLine;
    unitLine = unitLine.substr(std::strlen("ExecStart=/usr/bin/sonivate-cli "));

    // The shipped settings, and the commented example, with the folders moved here.
    std::string conf = ReadText(SONIVATE_PACKAGING_DIR "/watch.conf");
    for (size_t at = conf.find("/srv/sonivate"); at != std::string::npos; at = conf.find("/srv/sonivate", at))
        conf.replace(at, std::strlen("/srv/sonivate"), d.aside.path());
    // The file is there already: no settle time to wait for.
    if (const size_t at = conf.find("--settle 5"); at != std::string::npos) conf.replace(at, 10, "--settle 0");
    std::map<std::string, std::string> settings, example;
    std::istringstream lines(conf);
    for (std::string line; std::getline(lines, line);) {
        const bool commented = line.rfind("#OPTIONS=", 0) == 0;
        if (commented) line.erase(0, 1);
        if (line.empty() || line.front() == '#' || line.find('=') == std::string::npos) continue;
        const std::string name = line.substr(0, line.find('='));
        const std::string value = EnvironmentValue(line.substr(line.find('=') + 1));
        (commented ? example : settings)[name] = value;
    }
    settings["IN_DIR"] = d.in.path();
    settings["OUT_DIR"] = d.out.path();
    ASSERT_EQ(example.count("OPTIONS"), 1U) << "the example with markers is there";
    const std::map<char, std::string> specifiers = {{'S', d.aside.path()}, {'i', "studio"}};
    fs::create_directories(d.aside.file("sonivate/studio"));

    for (const std::string& options : {settings["OPTIONS"], example["OPTIONS"]}) {
        std::map<std::string, std::string> environment = settings;
        environment["OPTIONS"] = options;
        std::vector<std::string> args = ExpandExecStart(unitLine, environment, specifiers);
        for (const std::string& arg : args) EXPECT_EQ(arg.find_first_of("'\""), std::string::npos) << arg;
        args.insert(args.end(), {"--once", "--journal", d.journal});
        if (options.find("--settle") == std::string::npos) args.insert(args.end(), {"--settle", "0"});
        const CliResult r = RunCli(args);
        EXPECT_EQ(r.status, 0) << options << "\n" << r.err;
        EXPECT_TRUE(fs::exists(d.aside.file("sonivate/studio/status.json")));
        ASSERT_TRUE(fs::exists(d.aside.file("done/a.wav")));
        // Moved back for the next expansion: taken again.
        fs::rename(d.aside.file("done/a.wav"), d.in.file("a.wav"));
    }
}

// The unit and the man page say what SIGTERM does: the file in progress is
// abandoned, not finished.
TEST(CliWatch, TheUnitAndTheManualAgreeOnSigterm) {
    const std::string unit = ReadText(SONIVATE_PACKAGING_DIR "/sonivate-watch@.service");
    const std::string manual = ReadText(SONIVATE_PACKAGING_DIR "/sonivate-cli.1");
    EXPECT_NE(unit.find("SIGTERM abandons the file in progress"), std::string::npos);
    EXPECT_EQ(unit.find("is finished on SIGTERM"), std::string::npos);
    EXPECT_NE(manual.find("abandons the file in progress"), std::string::npos);
    EXPECT_NE(unit.find("Type=notify"), std::string::npos);
}

std::set<std::string> OptionsIn(const std::string& pText) {
    std::set<std::string> options;
    for (size_t at = pText.find("--"); at != std::string::npos; at = pText.find("--", at + 2)) {
        const size_t end = pText.find_first_not_of("abcdefghijklmnopqrstuvwxyz-", at + 2);
        options.insert(pText.substr(at, end - at));
    }
    options.erase("--");
    return options;
}

TEST(CliWatch, TheCompletionOffersExactlyTheOptionsWatchTakes) {
    const std::string completion = ReadText(SONIVATE_PACKAGING_DIR "/sonivate-cli.bash-completion");
    const std::string start = "watch) options=\"";
    const size_t at = completion.find(start);
    ASSERT_NE(at, std::string::npos);
    std::string offered = completion.substr(at + start.size());
    offered = offered.substr(0, offered.find('"'));
    const std::string extrasStart = "local extras=\"";
    const size_t extras = completion.find(extrasStart) + extrasStart.size();
    offered += " " + completion.substr(extras, completion.find('"', extras) - extras);

    const CliResult help = RunCli({"watch", "--help"});
    ASSERT_EQ(help.status, 0);
    std::set<std::string> taken = OptionsIn(help.out);
    taken.erase("--help");
    EXPECT_EQ(OptionsIn(offered), taken);
}

TEST(CliWatch, TellsTheServiceManagerItIsReadyAliveAndWhatItDid) {
    Delivery d;
    Programme(d.in.file("a.wav"));
    const std::string socketPath = d.aside.file("notify");
    const int manager = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(manager, 0);
    struct sockaddr_un address {};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size());
    ASSERT_EQ(::bind(manager, reinterpret_cast<const struct sockaddr*>(&address), sizeof address), 0);
    const CliResult r = RunCli(d.Once(), "", {"NOTIFY_SOCKET=" + socketPath, "WATCHDOG_USEC=60000000"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> messages;
    char buffer[4096];
    for (ssize_t got; (got = ::recv(manager, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;)
        messages.emplace_back(buffer, static_cast<size_t>(got));
    ::close(manager);
    const auto sent = [&](const std::string& pStart) {
        return std::any_of(messages.begin(), messages.end(),
                           [&](const std::string& m) { return m.rfind(pStart, 0) == 0; });
    };
    EXPECT_TRUE(sent("READY=1"));
    EXPECT_TRUE(sent("WATCHDOG=1"));
    EXPECT_TRUE(sent("STATUS=1 done, 0 failed, 0 waiting, 0 retrying, 0 in progress; last done: a.wav"));
    EXPECT_TRUE(sent("STOPPING=1"));
}

// The copies under the service's umask (0007): readable by the output
// folder's group when that folder is setgid, so that playout in that group
// reads them; otherwise the umask's mode and the watcher's own group.
TEST(CliWatch, CopiesTakeASetgidOutputFoldersGroupAndTheUmasksMode) {
    constexpr gid_t kPlayoutGroup = 4;  // any group other than the test's own
    if (::getgid() == kPlayoutGroup) GTEST_SKIP() << "the test runs in that group";
    if (::geteuid() != 0) GTEST_SKIP() << "giving a folder to another group needs root";
    Delivery d;
    Programme(d.in.file("a.wav"));
    fs::create_directories(d.in.file("show"));
    Programme(d.in.file("show/b.wav"));
    const std::string shared = d.out.file("shared");
    fs::create_directories(shared);
    ASSERT_EQ(::chown(shared.c_str(), static_cast<uid_t>(-1), kPlayoutGroup), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 02770), 0);
    const mode_t previous = ::umask(0007);
    const CliResult r = RunCli({"watch", d.in.path(), "--output-dir", shared, "--once", "--settle", "0", "--journal",
                                d.journal, "--recursive"});
    const CliResult plain = RunCli({"watch", d.in.path(), "--output-dir", d.out.path(), "--once", "--settle", "0",
                                    "--journal", d.aside.file("plain.jsonl")});
    ::umask(previous);
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(plain.status, 0) << plain.err;
    for (const std::string& copy : {shared + "/a.wav", shared + "/show/b.wav"}) {
        struct stat status {};
        ASSERT_EQ(::stat(copy.c_str(), &status), 0) << copy;
        EXPECT_EQ(status.st_gid, kPlayoutGroup) << copy;
        EXPECT_EQ(status.st_mode & 07777, 0660U) << copy;
    }
    struct stat status {};
    ASSERT_EQ(::stat(d.out.file("a.wav").c_str(), &status), 0);
    EXPECT_EQ(status.st_gid, ::getgid());
    EXPECT_EQ(status.st_mode & 07777, 0660U);
}

// A file that arrives without an event inotify reports (here a hard link,
// as files written by another host on a network share) is found by the
// periodic rescan.
TEST(CliWatch, TheRescanFindsAFileNoEventAnnounced) {
    Delivery d;
    ScratchDir elsewhere;
    const std::string err = d.aside.file("watch.err");
    const pid_t pid = SpawnCli({"watch", d.in.path(), "--output-dir", d.out.path(), "--settle", "0", "--journal",
                                d.journal, "--rescan", "0.05"},
                               {}, d.aside.file("watch.out"), err);
    ASSERT_TRUE(WaitForLine(err, "watching", pid)) << ReadText(err);
    Programme(elsewhere.file("a.wav"));
    fs::create_hard_link(elsewhere.file("a.wav"), d.in.file("a.wav"));
    EXPECT_TRUE(WaitForLine(err, d.in.file("a.wav") + ": written", pid)) << ReadText(err);
    EXPECT_EQ(StopAndWait(pid), 0);
}

}  // namespace
}  // namespace sonivate::test
