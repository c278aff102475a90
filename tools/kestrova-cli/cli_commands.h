#pragma once
// Registration of kestrova-cli's commands. Each group of commands lives in its own source file
// and adds its sub-commands to the application here.

#include <CLI/CLI.hpp>

#include "tools/kestrova-cli/cli_support.h"

namespace kestrova::cli {

// list, import, add, remove.
void AddDocumentCommands(CLI::App& app, CliContext& context);

// info: the header, engine version, platform, type list and externals.
void AddInfoCommand(CLI::App& app, CliContext& context);

// export: one asset or all of them, raw or converted by a plug-in.
void AddExportCommand(CLI::App& app, CliContext& context);

// plugins: the plug-in table as the editor would load it.
void AddPluginsCommand(CLI::App& app);

// search.
void AddSearchCommand(CLI::App& app, CliContext& context);

// mod info, mod build, mod extract.
void AddModCommands(CLI::App& app, CliContext& context);

// bundle list, bundle extract.
void AddBundleCommands(CLI::App& app, CliContext& context);

// mod package, mod apply: added to the "mod" command that AddModCommands makes.
void AddModInstallerCommands(CLI::App& app, CliContext& context);

}  // namespace kestrova::cli
