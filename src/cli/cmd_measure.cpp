#include <CLI/CLI.hpp>

#include "cli/commands.h"

namespace sonivate::cli {

Command AddMeasureCommand(CLI::App& pParent) {
    Command command;
    command.app = pParent.add_subcommand("measure", "(not built yet)");
    command.run = [] { return kExitFailed; };
    return command;
}

}  // namespace sonivate::cli
