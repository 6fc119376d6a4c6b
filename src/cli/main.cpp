// sonivate-cli: the loudness job without a window.

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>

#include "cli/commands.h"
#include "common/error_trap.h"
#include "common/paths.h"
#include "common/settings_store.h"
#include "platform/stop_signals.h"

int main(int argc, char** argv) {
    using namespace sonivate::cli;
    sonivate::platform::IgnoreFileSizeLimitSignal();
    CLI::App app{"sonivate-cli: measure broadcast WAV files and bring them to a target loudness"};
    app.set_version_flag("--version", std::string(SONIVATE_VERSION));
    app.require_subcommand(1);

    std::vector<Command> commands = {AddInfoCommand(app), AddMeasureCommand(app), AddApplyCommand(app),
                                     AddRunCommand(app), AddWatchCommand(app)};
    // A first word that is no option and no command: name it, rather than
    // a parser message about an unexpected argument.
    if (argc > 1 && argv[1][0] != '-') {
        const std::string word = argv[1];
        std::string names;
        bool known = false;
        for (const Command& command : commands) {
            known = known || command.app->get_name() == word;
            names += (names.empty() ? "" : ", ") + command.app->get_name();
        }
        if (!known) {
            std::fprintf(stderr, "sonivate-cli: unknown subcommand: %s (one of: %s)\n", word.c_str(), names.c_str());
            return kExitUsage;
        }
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return kExitUsage;
    }
    // The stored ErrorCatch setting (per-user store only), else an "ec.txt"
    // beside the executable, lets errors through for diagnosis.
    sonivate::SetErrorCatch(sonivate::DecideErrorCatch(sonivate::ErrorCatchSetting(), sonivate::AppFolder()));
    for (const Command& command : commands) {
        if (command.app->parsed()) {
            int status = kExitFailed;
            try {
                status = command.run();
            } catch (const std::exception& e) {
                std::fprintf(stderr, "sonivate-cli: %s\n", e.what());
            }
            // Results that never reached their reader (a closed stdout, a
            // full disk behind it) are a failure, whatever the run did.
            std::cout.flush();
            if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0 || !std::cout) {
                std::fprintf(stderr, "sonivate-cli: cannot write the results: %s\n", std::strerror(errno));
                if (status == kExitOk) status = kExitFailed;
            }
            return status;
        }
    }
    return kExitUsage;
}
