#pragma once
// Each subcommand registers itself on the application and hands back the
// function that runs it once the command line has been parsed.

#include <functional>
#include <vector>

namespace CLI {
class App;
}

namespace sonivate::cli {

// Exit statuses shared by all commands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitInterrupted = 130;

struct Command {
    CLI::App* app = nullptr;
    std::function<int()> run;
};

Command AddInfoCommand(CLI::App& pParent);
Command AddMeasureCommand(CLI::App& pParent);
Command AddApplyCommand(CLI::App& pParent);
Command AddRunCommand(CLI::App& pParent);
Command AddWatchCommand(CLI::App& pParent);

}  // namespace sonivate::cli
