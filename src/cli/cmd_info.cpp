#include <CLI/CLI.hpp>

#include "cli/commands.h"

namespace sonivate::cli {

Command AddInfoCommand(CLI::App& pParent) {
    Command command;
    command.app = pParent.add_subcommand("info", "(not built yet)");
    command.run = [] { return kExitFailed; };
    return command;
}

}  // namespace sonivate::cli
