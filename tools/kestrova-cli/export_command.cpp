// export: one asset's body to a file, or every asset (of one type) into a folder; raw, or
// converted through the plug-in that handles the asset's type.

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <optional>

#include "common/number_text.h"
#include "common/text.h"
#include "tools/kestrova-cli/cli_commands.h"
#include "tools/kestrova-cli/plugin_conversion.h"
#include "tools/kestrova-cli/terminal_progress.h"

namespace kestrova::cli {

namespace {

struct ExportOptions {
    std::string file;
    std::string out;
    std::string folder;
    std::string type;
    bool all = false;
    AssetChoice asset;
    ConversionChoice conversion;
};

// A file name made from an asset's name: characters that file systems refuse or treat specially
// become '_'.
std::string SafeFileName(const std::u16string& name) {
    std::u16string safe;
    for (char16_t c : name) {
        const bool unsafe =
            c < 0x20 || c == 0x7F ||
            std::u16string_view(u"\\/:*?\"<>|").find(c) != std::u16string_view::npos;
        safe += unsafe ? u'_' : c;
    }
    if (safe.empty() || safe == u"." || safe == u"..") {
        safe = u"_" + safe;
    }
    return Utf16ToUtf8(safe);
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The file names of the chosen assets: the safe name, with " (pathId)" where names repeat
// (ignoring letter case, as some file systems do), and the table index where even that repeats.
std::vector<std::string> BatchNames(const AssetFile& doc,
                                    const std::vector<std::uint32_t>& assets) {
    std::vector<std::string> names;
    std::map<std::string, int> uses;
    for (std::uint32_t index : assets) {
        names.push_back(SafeFileName(doc.entries[index].name));
        ++uses[Lower(names.back())];
    }
    std::map<std::string, int> final;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (uses[Lower(names[i])] > 1) {
            names[i] += " (" + Utf16ToUtf8(PathIdText(doc, doc.entries[assets[i]])) + ")";
        }
        ++final[Lower(names[i])];
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (final[Lower(names[i])] > 1) {
            names[i] += " [" + std::to_string(assets[i]) + "]";
        }
    }
    return names;
}

// Writes an asset's body to `target`, converted to `extension` by `plugin` (one of `plugins`,
// given the asset's context first) when there is one. `folder` is the asset file's.
Outcome ExportAsset(const AssetFile& doc, std::uint32_t index, CliPlugins* plugins,
                    const PluginRecord* plugin, std::u16string_view extension,
                    const std::u16string& folder, const std::u16string& target,
                    const ProgressCallback& progress = {}) {
    if (plugin == nullptr) {
        return ExportAssetBody(doc, index, target, progress);
    }
    std::optional<std::vector<std::uint8_t>> body = ReadAssetBody(doc, index);
    std::vector<std::uint8_t> converted;
    plugins->SetContext(doc, index, folder);
    Outcome outcome = body ? ExportThrough(*plugin, plugins->context(), *body, extension, converted)
                           : Outcome::Failure(u"cannot read the asset");
    return outcome ? WriteWholeFile(target, converted) : outcome;
}

void ExportOne(CliContext& context, const ExportOptions& o) {
    if (o.out.empty()) {
        Fail(kUsageError, "export needs -o OUT (or --all with -d DIR)");
    }
    OpenInput(context, o.file);
    const std::uint32_t index = PickAsset(context.doc, o.asset);
    const std::u16string extension = Utf8ToUtf16(o.conversion.extension);
    std::optional<CliPlugins> plugins;
    const PluginRecord* plugin = nullptr;
    TerminalProgress line;
    if (!extension.empty()) {
        plugins.emplace(PluginsFolder(o.conversion));
        plugin = &RequireConverter(*plugins, context.doc, index, o.conversion.extension);
        line.Update(u"Converting " + context.doc.entries[index].name + u" to ." + extension);
    }
    if (Outcome outcome = ExportAsset(context.doc, index, plugins ? &*plugins : nullptr, plugin,
                                      extension, context.folder, Utf8ToUtf16(o.out),
                                      line.Callback());
        !outcome) {
        Fail(kInputError, outcome);
    }
}

// Every asset (of the chosen type) into a folder. Assets that cannot be written are skipped with
// their reason and make the exit status 2; the others are written all the same.
int ExportAll(CliContext& context, const ExportOptions& o) {
    if (o.folder.empty()) {
        Fail(kUsageError, "export --all needs -d DIR");
    }
    OpenInput(context, o.file);
    const AssetFile& doc = context.doc;
    std::optional<CliPlugins> plugins;
    if (!o.conversion.extension.empty() || !o.type.empty()) {
        plugins.emplace(PluginsFolder(o.conversion));
    }
    std::optional<std::uint32_t> type;
    if (!o.type.empty()) {
        const std::u16string text = Utf8ToUtf16(o.type);
        type = ReadTypeNumber(text);
        if (*type == 0) {
            type = FindTypeByName(plugins->table(), text).value_or(0);
        }
        if (*type == 0) {
            type = static_cast<std::uint32_t>(FindClassInFile(doc, text).value_or(0));
        }
    }
    std::vector<std::uint32_t> assets;
    for (std::uint32_t i = 0; i < doc.entries.size(); ++i) {
        if (!type || doc.entries[i].typeId == *type) {
            assets.push_back(i);
        }
    }
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(o.folder), error);
    if (!std::filesystem::is_directory(std::filesystem::path(o.folder))) {
        Fail(kInputError, "cannot make the folder " + o.folder);
    }

    const std::vector<std::string> names = BatchNames(doc, assets);
    const std::u16string extension = Utf8ToUtf16(o.conversion.extension);
    std::size_t converted = 0;
    std::size_t raw = 0;
    std::size_t skipped = 0;
    {  // the line is gone before the summary
        TerminalProgress line;
        const std::u16string count = DecimalText(static_cast<std::int64_t>(assets.size()));
        for (std::size_t k = 0; k < assets.size(); ++k) {
            const std::uint32_t index = assets[k];
            line.Update(u"Exporting: (" + DecimalText(static_cast<std::int64_t>(k)) + u"/" + count +
                            u") " + doc.entries[index].name,
                        static_cast<float>(k) / static_cast<float>(assets.size()));
            const PluginRecord* plugin =
                extension.empty() ? nullptr : plugins->Converter(doc, index, extension);
            const std::string name =
                names[k] + (plugin != nullptr ? "." + o.conversion.extension : ".data");
            const Outcome outcome =
                ExportAsset(doc, index, plugins ? &*plugins : nullptr, plugin, extension,
                            context.folder, Utf8ToUtf16(o.folder + "/" + name));
            if (!outcome) {
                ++skipped;
                line.Message("kestrova-cli: skipped asset " + std::to_string(index) + " (" + name +
                             "): " + Utf16ToUtf8(outcome.message));
            } else {
                ++(plugin != nullptr ? converted : raw);
            }
        }
    }
    std::cout << "Wrote " << converted + raw << " of " << assets.size() << " assets to " << o.folder
              << ": " << converted << " converted"
              << (extension.empty() ? "" : " to ." + o.conversion.extension) << ", " << raw
              << " raw, " << skipped << " skipped.\n";
    return skipped == 0 ? 0 : kInputError;
}

}  // namespace

void AddExportCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<ExportOptions>();
    ExportOptions& o = *options;
    CLI::App* command = app.add_subcommand(
        "export", "Write an asset's body (without its name prefix), raw or converted; or all.");
    command->add_option("FILE", o.file, "the asset file (never written)")->required();
    AddMemberOption(*command, context);
    AddAssetOptions(*command, o.asset);
    command->add_option("-o", o.out, "the file to write (one asset)");
    command->add_flag("--all", o.all, "every asset (or every asset of --type) into -d DIR");
    command->add_option("--type", o.type,
                        "with --all: a type number, a plug-in's type name or a class name");
    command->add_option("-d", o.folder, "with --all: the folder to write into");
    AddConversionOptions(*command, o.conversion);
    command->callback([&context, options] {
        if (!options->all) {
            ExportOne(context, *options);
            return;
        }
        if (options->asset.index || options->asset.pathId || !options->out.empty()) {
            Fail(kUsageError, "--all takes -d DIR, not an asset or -o");
        }
        if (int status = ExportAll(context, *options); status != 0) {
            throw CliFailure(status, "some assets were skipped");
        }
    });
}

}  // namespace kestrova::cli
