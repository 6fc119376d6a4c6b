#include <CLI/CLI.hpp>

#include "cli/commands.h"

namespace sonivate::cli {

Command AddApplyCommand(CLI::App& pParent) {
    Command command;
    command.app = pParent.add_subcommand("apply", "(not built yet)");
    command.run = [] { return kExitFailed; };
    return command;
}

}  // namespace sonivate::cli
