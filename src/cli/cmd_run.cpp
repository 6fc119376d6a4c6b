#include <CLI/CLI.hpp>

#include "cli/commands.h"

namespace sonivate::cli {

Command AddRunCommand(CLI::App& pParent) {
    Command command;
    command.app = pParent.add_subcommand("run", "(not built yet)");
    command.run = [] { return kExitFailed; };
    return command;
}

}  // namespace sonivate::cli
