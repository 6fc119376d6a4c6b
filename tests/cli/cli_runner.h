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

// pArguments are passed as they are (each quoted for the shell);
// pEnvironment ("NAME=value") is set for the command alone.
inline CliResult RunCli(const std::vector<std::string>& pArguments, const std::string& pWorkingDir = "",
                        const std::vector<std::string>& pEnvironment = {}) {
    char errPath[] = "/tmp/sonivate-cli-err-XXXXXX";
    const int errFd = ::mkstemp(errPath);
    std::string command;
    if (!pWorkingDir.empty()) command = "cd '" + pWorkingDir + "' && ";
    if (!pEnvironment.empty()) command += "env";
    for (const std::string& assignment : pEnvironment) command += " '" + assignment + "'";
    command += " '" SONIVATE_CLI_PATH "'";
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

#include <fcntl.h>
#include <sys/types.h>

#include <cstdlib>

namespace sonivate::test {

// Starts sonivate-cli without waiting: pEnvironment ("NAME=value") is added
// to the test's own, standard output and error go to the given files.
// Returns the child's pid (or -1).
inline pid_t SpawnCli(const std::vector<std::string>& pArguments, const std::vector<std::string>& pEnvironment,
                      const std::string& pOutFile, const std::string& pErrFile, const std::string& pWorkingDir = "") {
    std::vector<std::string> args = {SONIVATE_CLI_PATH};
    args.insert(args.end(), pArguments.begin(), pArguments.end());
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    if (!pWorkingDir.empty() && ::chdir(pWorkingDir.c_str()) != 0) ::_exit(126);
    const int out = ::open(pOutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(pErrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0) ::_exit(126);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(err, STDERR_FILENO);
    for (const std::string& assignment : pEnvironment) ::putenv(const_cast<char*>(assignment.c_str()));
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

}  // namespace sonivate::test
