/// @file main.cpp
/// @brief The `nimbra` program: global options, one sub-command per job, exit codes.
#include "app_context.h"
#include "farm_command.h"
#include "info_command.h"
#include "preset_command.h"
#include "render_command.h"
#include "studio_command.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <vector>

int main(int argc, char **argv) {
    CLI::App app(
        "Nimbra renders particle effects (fire, flames, smoke, sparks) from the "
        "particle systems of a scene.",
        "nimbra");
    app.fallthrough();  // global options may also follow the command
    app.require_subcommand(1);
    GlobalOptions options;
    AddGlobalOptions(app, options);
    const std::vector<Command> commands = {AddInfoCommand(app), AddRenderCommand(app),
                                           AddPresetCommand(app), AddFarmCommand(app),
                                           AddStudioCommand(app)};
    app.footer(
        "Plug-in directories: without --plugins, the directories listed in NIMBRA_PLUGIN_PATH\n"
        "(colon-separated), then <program dir>/plugins, then <program "
        "dir>/../lib/nimbra/plugins.\n"
        "When two directories hold a module of the same file name, the first one wins.\n"
        "Configuration directory: --config-dir DIR, else NIMBRA_CONFIG_DIR, else the host's\n"
        "default; the modules keep their registry there.\n\n"
        "Messages and logs go to standard error. Exit codes: 0 success, 1 failure, 2 usage "
        "error.\n"
        "Run 'nimbra COMMAND --help' for the details and examples of a command.\n\n"
        "Examples:\n"
        "  nimbra render -o out/demo.####.png     render the built-in demo scene\n"
        "  nimbra info                            list the modules and their classes\n"
        "  nimbra studio examples/demo.json       set up effects in a browser\n"
        "  nimbra preset show fire.nbr            describe an effect library file\n"
        "  nimbra farm slurm shot.json --chunk 10 split a shot into a Slurm job array\n"
        "  nimbra --plugins ./build/plugins info  list the modules of one directory\n"
        "  nimbra --config-dir /tmp/cfg info      use another configuration directory");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        // Help and version are answered with 0; every other parse error is a usage error.
        return app.exit(e) == 0 ? kExitSuccess : kExitUsage;
    }
    try {
        for (const Command &command : commands)
            if (command.app->parsed()) return command.run(options);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "nimbra: %s\n", e.what());
        return kExitFailure;
    }
    return kExitUsage;
}
