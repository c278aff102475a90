// kestrova-cli: the asset document's operations from the command line, for scripted edits.

#include <CLI/CLI.hpp>

#include "tools/kestrova-cli/cli_commands.h"
#include "tools/kestrova-cli/cli_support.h"

int main(int argc, char** argv) {
    CLI::App app{"Lists and edits serialized asset files; FILE is never written.", "kestrova-cli"};
    app.require_subcommand(1);
    kestrova::cli::CliContext context;
    kestrova::cli::AddDocumentCommands(app, context);
    kestrova::cli::AddInfoCommand(app, context);
    kestrova::cli::AddExportCommand(app, context);
    kestrova::cli::AddPluginsCommand(app);
    kestrova::cli::AddSearchCommand(app, context);
    kestrova::cli::AddBundleCommands(app, context);
    kestrova::cli::AddModCommands(app, context);
    kestrova::cli::AddModInstallerCommands(app, context);
    return kestrova::cli::RunCli(app, argc, argv);
}
