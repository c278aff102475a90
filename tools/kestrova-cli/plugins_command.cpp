// plugins: the plug-in table as the editor would load it, one entry per descriptor in table order.
// Missing entry points are reported here, never as message boxes.

#include <nlohmann/json.hpp>

#include <filesystem>
#include <iostream>
#include <memory>

#include "common/text.h"
#include "tools/kestrova-cli/cli_commands.h"
#include "tools/kestrova-cli/plugin_conversion.h"

namespace kestrova::cli {

namespace {

struct PluginsOptions {
    std::string folder;  // empty: see AddPluginsCommand
    bool json = false;
};

nlohmann::json RecordAsJson(const PluginRecord& record) {
    const PluginDescriptor& d = record.descriptor;
    nlohmann::json extensions = nlohmann::json::array();
    for (std::size_t k = 0; k < d.extensions.size(); ++k) {
        extensions.push_back(
            {{"extension", Utf16ToUtf8(d.extensions[k])}, {"filter", Utf16ToUtf8(d.filters[k])}});
    }
    nlohmann::json entryPoints = nlohmann::json::object();
    for (std::size_t i = 0; i < kEntryPointNames.size(); ++i) {
        entryPoints[kEntryPointNames[i].exported] = HasEntryPoint(record, i);
    }
    entryPoints[KESTROVA_SET_PLUGIN_CONTEXT_NAME] = record.setPluginContext != nullptr;
    return {{"descriptor", Utf16ToUtf8(record.descriptorPath)},
            {"name", Utf16ToUtf8(d.name)},
            {"author", Utf16ToUtf8(d.author)},
            {"version", Utf16ToUtf8(d.version)},
            {"date", Utf16ToUtf8(d.date)},
            {"mainLibrary", Utf16ToUtf8(d.mainLibrary)},
            {"description", Utf16ToUtf8(d.description)},
            {"instructions", Utf16ToUtf8(d.instructions)},
            {"type", d.type},
            {"typeName", Utf16ToUtf8(d.typeName)},
            {"extensions", extensions},
            {"library", Utf16ToUtf8(record.libraryPath)},
            {"loaded", record.loaded()},
            {"entryPoints", entryPoints}};
}

void PrintRecord(const PluginRecord& record) {
    const PluginDescriptor& d = record.descriptor;
    std::cout << Utf16ToUtf8(record.descriptorPath) << "\n  " << Utf16ToUtf8(d.name) << " "
              << Utf16ToUtf8(d.version) << " by " << Utf16ToUtf8(d.author) << ", "
              << Utf16ToUtf8(d.date) << "\n  type " << Utf16ToUtf8(HexWordText(d.type)) << " \""
              << Utf16ToUtf8(d.typeName) << "\"";
    for (std::size_t k = 0; k < d.extensions.size(); ++k) {
        std::cout << (k == 0 ? ", data types: " : ", ") << Utf16ToUtf8(d.extensions[k]) << " ("
                  << Utf16ToUtf8(d.filters[k]) << ")";
    }
    std::cout << "\n  library " << Utf16ToUtf8(record.libraryPath)
              << (record.loaded() ? " (loaded)" : " (not loaded)") << "\n";
    if (record.loaded()) {
        std::string missing;
        for (std::size_t i = 0; i < kEntryPointNames.size(); ++i) {
            if (!HasEntryPoint(record, i)) {
                missing += std::string(missing.empty() ? "" : ", ") + kEntryPointNames[i].exported;
            }
        }
        std::cout << "  entry points: " << (missing.empty() ? "all five" : "missing " + missing)
                  << "\n";
    }
}

}  // namespace

void AddPluginsCommand(CLI::App& app) {
    auto options = std::make_shared<PluginsOptions>();
    CLI::App* command =
        app.add_subcommand("plugins", "List the plug-ins as the editor would load them.");
    command->add_option("--dir", options->folder,
                        "the plug-ins folder (default: Plugins in the current directory, as the "
                        "editor started there loads them, or else those beside kestrova-cli)");
    command->add_flag("--json", options->json, "one JSON array, one object per descriptor");
    command->callback([options] {
        std::u16string folder = Utf8ToUtf16(options->folder);
        if (folder.empty()) {
            std::error_code error;
            folder = std::filesystem::is_directory("Plugins", error) ? u"Plugins"
                                                                     : CliPluginsFolder();
        }
        CliPlugins plugins(folder);
        if (options->json) {
            nlohmann::json out = nlohmann::json::array();
            for (const PluginRecord& record : plugins.table().plugins) {
                out.push_back(RecordAsJson(record));
            }
            std::cout << out.dump(2) << "\n";
            return;
        }
        for (const PluginRecord& record : plugins.table().plugins) {
            PrintRecord(record);
        }
    });
}

}  // namespace kestrova::cli
