// A run ended by SIGINT: its outputs claim only what the run did, the
// report it writes on the way out included.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "support/scratch.h"
#include "support/wavgen.h"

namespace sonivate::test {
namespace {

namespace fs = std::filesystem;
constexpr std::int32_t kRate = 48000;
constexpr int kFiles = 6;
constexpr int kInterruptedStatus = 130;

// Starts the CLI with its standard output on a pipe the caller reads.
pid_t SpawnWithPipe(const std::vector<std::string>& pArguments, int& pOut) {
    int fds[2];
    if (::pipe(fds) != 0) return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        const int devNull = ::open("/dev/null", O_WRONLY);
        ::dup2(devNull, STDERR_FILENO);
        ::close(fds[0]);
        ::close(fds[1]);
        std::vector<char*> argv;
        std::string program = SONIVATE_CLI_PATH;
        argv.push_back(program.data());
        std::vector<std::string> arguments = pArguments;
        for (std::string& a : arguments) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    pOut = fds[0];
    return child;
}

// The next line from pFd, "" at its end.
std::string ReadLine(int pFd) {
    std::string line;
    char c = 0;
    while (::read(pFd, &c, 1) == 1) {
        if (c == '\n') return line;
        line += c;
    }
    return line;
}

TEST(CliInterrupt, ARunEndedBySigintReportsOnlyTheCopiesItMade) {
    ScratchDir dir, out, logs;
    for (int i = 0; i < kFiles; ++i)
        WriteWav(dir.file("spot" + std::to_string(i) + ".wav"), WavSpec{},
                 Sine(static_cast<std::int64_t>(kRate) * 20, 2, 1000.0, -30.0, 24));
    const std::string report = logs.file("report.csv");
    int fd = -1;
    const pid_t child = SpawnWithPipe(
        {"run", "--write", "--output-dir", out.path(), "--json-lines", "--jobs", "1", "--report", report, dir.path()},
        fd);
    ASSERT_GT(child, 0);
    // The first row's line: one copy stands, the others are to come.
    const std::string first = ReadLine(fd);
    ::kill(child, SIGINT);
    while (!ReadLine(fd).empty()) {
    }
    ::close(fd);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), kInterruptedStatus);
    EXPECT_NE(first.find("\"written\":true"), std::string::npos) << first;

    size_t copies = 0;
    for (const auto& entry : fs::directory_iterator(out.path())) copies += entry.is_regular_file() ? 1 : 0;
    ASSERT_LT(copies, static_cast<size_t>(kFiles)) << "the run was stopped early";
    std::ifstream in(report);
    ASSERT_TRUE(in.good()) << "the report is written on the way out";
    std::string line;
    std::getline(in, line);
    size_t written = 0, notReached = 0, rows = 0;
    while (std::getline(in, line)) {
        ++rows;
        if (line.find(",written,") != std::string::npos) ++written;  // copy_state
        if (line.find("not_reached") != std::string::npos) ++notReached;
    }
    EXPECT_EQ(rows, static_cast<size_t>(kFiles));
    EXPECT_EQ(written, copies) << "a row claims a copy only where one stands";
    EXPECT_GE(notReached, 1u);
}

}  // namespace
}  // namespace sonivate::test
