#pragma once
// Runs the built sonivate-cli and collects what it prints.

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

namespace sonivate::test {

struct CliResult {
    int status = -1;  // exit status, -1 when the process did not exit normally
    std::string out;  // standard output
    std::string err;  // standard error
};

// pArguments are passed as they are (each quoted for the shell).
inline CliResult RunCli(const std::vector<std::string>& pArguments, const std::string& pWorkingDir = "") {
    char errPath[] = "/tmp/sonivate-cli-err-XXXXXX";
    const int errFd = ::mkstemp(errPath);
    std::string command;
    if (!pWorkingDir.empty()) command = "cd '" + pWorkingDir + "' && ";
    command += "'" SONIVATE_CLI_PATH "'";
    for (const std::string& a : pArguments) command += " '" + a + "'";
    command += std::string(" 2>'") + errPath + "'";
    CliResult result;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        std::array<char, 4096> buffer{};
        size_t n = 0;
        while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) result.out.append(buffer.data(), n);
        const int status = ::pclose(pipe);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    if (FILE* err = std::fopen(errPath, "r")) {
        std::array<char, 4096> buffer{};
        size_t n = 0;
        while ((n = std::fread(buffer.data(), 1, buffer.size(), err)) > 0) result.err.append(buffer.data(), n);
        std::fclose(err);
    }
    if (errFd >= 0) ::close(errFd);
    ::unlink(errPath);
    return result;
}

}  // namespace sonivate::test
