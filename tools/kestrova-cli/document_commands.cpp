// The document commands: list, import, add, remove. FILE is only ever read (through
// the working copy); OUT is written only after the whole edit succeeded.

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>

#include "common/number_text.h"
#include "common/text.h"
#include "tools/kestrova-cli/cli_commands.h"
#include "tools/kestrova-cli/plugin_conversion.h"
#include "tools/kestrova-cli/terminal_progress.h"

namespace kestrova::cli {

namespace {

std::string Latin1ToUtf8(const std::string& bytes) {
    return Utf16ToUtf8(Latin1ToUtf16(bytes));
}

nlohmann::json TableAsJson(const AssetFile& doc) {
    const AssetFileHeader& h = doc.header;
    nlohmann::json out;
    out["format"] = FormatVersion(doc);
    out["engineVersion"] = EngineVersion(doc);
    if (doc.metadata) {
        const SerializedMetadata& m = *doc.metadata;
        out["header"] = {{"metadataSize", m.metadataSize}, {"fileSize", m.fileSize},
                         {"formatVersion", m.format},      {"dataOffset", m.dataOffset},
                         {"bigEndian", m.bigEndian},       {"assetCount", doc.entries.size()}};
    } else {
        out["header"] = {
            {"metadataSize", h.metadataSize},   {"fileSize", h.fileSize},
            {"formatVersion", h.formatVersion}, {"dataOffset", h.dataOffset},
            {"endianWord", h.endianWord},       {"engineVersion", HexBytes(h.engineVersion)},
            {"platform", h.platform},           {"typeTreeCount", h.typeTreeCount},
            {"longIdsWord", h.longIdsWord},     {"assetCount", h.assetCount}};
    }
    if (doc.bundled) {
        nlohmann::json files = nlohmann::json::array();
        for (const BundleDirectoryEntry& f : doc.bundle.directory) {
            files.push_back(
                {{"name", Latin1ToUtf8(f.name)}, {"offset", f.offset}, {"size", f.size}});
        }
        out["bundle"] = {{"format", doc.bundle.bundleFormat},
                         {"playerVersion", Latin1ToUtf8(doc.bundle.playerVersion)},
                         {"engineRevision", Latin1ToUtf8(doc.bundle.engineRevision)},
                         {"headerSize", doc.bundle.headerSize},
                         {"files", files}};
    } else {
        out["bundle"] = nullptr;
    }
    // A compressed bundle's member: its path in the bundle.
    if (doc.compressed) {
        out["member"] = Latin1ToUtf8(doc.compressed->name());
    }
    nlohmann::json assets = nlohmann::json::array();
    for (std::uint32_t i = 0; i < doc.entries.size(); ++i) {
        const AssetEntry& e = doc.entries[i];
        assets.push_back({{"name", Utf16ToUtf8(e.name)},
                          {"pathId", e.pathId},
                          {"offset", e.offset},
                          {"size", e.size},
                          {"typeId", e.typeId},
                          {"classWord", e.classWord},
                          {"classId", e.classId},
                          {"className", Utf16ToUtf8(ClassName(doc, i))},
                          {"named", e.named()}});
    }
    out["assets"] = std::move(assets);
    return out;
}

// The columns of the editor's list (Name, Type, Index, Size) and the offset. The Type column
// names the types as the editor does, through the plug-ins of `plugins`; the Type and Index
// columns widen for class names and 64-bit path ids.
void PrintTable(const AssetFile& doc, const PluginTable& plugins) {
    struct Row {
        std::string name, type, index;
    };
    std::vector<Row> rows;
    std::size_t nameWidth = 4;
    std::size_t typeWidth = 10;
    std::size_t indexWidth = 11;
    for (std::uint32_t i = 0; i < doc.entries.size(); ++i) {
        const AssetEntry& e = doc.entries[i];
        const std::u16string type = TypeColumnText(plugins, e.typeId, ClassColumnText(doc, i));
        rows.push_back({Utf16ToUtf8(e.name), Utf16ToUtf8(type), Utf16ToUtf8(PathIdText(doc, e))});
        nameWidth = std::max(nameWidth, rows.back().name.size());
        typeWidth = std::max(typeWidth, rows.back().type.size());
        indexWidth = std::max(indexWidth, rows.back().index.size());
    }
    auto row = [&](const Row& text, const std::string& size, const std::string& offset) {
        std::cout << text.name
                  << std::string(nameWidth - std::min(nameWidth, text.name.size()) + 2, ' ')
                  << text.type
                  << std::string(typeWidth - std::min(typeWidth, text.type.size()) + 2, ' ')
                  << std::string(indexWidth - std::min(indexWidth, text.index.size()), ' ')
                  << text.index << std::string(12 - std::min<std::size_t>(10, size.size()), ' ')
                  << size << std::string(12 - std::min<std::size_t>(10, offset.size()), ' ')
                  << offset << "\n";
    };
    row({"Name", "Type", "Index"}, "Size", "Offset");
    for (std::uint32_t i = 0; i < doc.entries.size(); ++i) {
        const AssetEntry& e = doc.entries[i];
        row(rows[i], std::to_string(e.size), std::to_string(e.offset));
    }
}

struct Options {
    std::string file;
    std::string out;
    std::string data;
    std::string name;
    std::string type;
    std::uint32_t indexOffset = 0;
    bool json = false;
    AssetChoice asset;
    ConversionChoice conversion;
};

CLI::App* Command(CLI::App& app, const char* name, const char* what, Options& o,
                  CliContext& context) {
    CLI::App* command = app.add_subcommand(name, what);
    command->add_option("FILE", o.file, "the asset file (never written)")->required();
    AddMemberOption(*command, context);
    return command;
}

}  // namespace

void AddDocumentCommands(CLI::App& app, CliContext& context) {
    // The options live as long as the application that parses into them.
    auto options = std::make_shared<Options>();
    Options& o = *options;

    CLI::App* list = Command(app, "list", "Print the asset table in table order.", o, context);
    list->add_flag("--json", o.json,
                   "one JSON object: format, engine version, header, bundle and assets");
    AddPluginsFolderOption(*list, o.conversion);
    list->callback([&context, options] {
        OpenInput(context, options->file);
        if (options->json) {
            std::cout << TableAsJson(context.doc).dump(2) << "\n";
        } else {
            PrintTable(context.doc, CliPlugins(PluginsFolder(options->conversion)).table());
        }
    });

    CLI::App* importCommand =
        Command(app, "import", "Write FILE with an asset's body replaced by a file.", o, context);
    AddAssetOptions(*importCommand, o.asset);
    importCommand->add_option("--data", o.data, "the new body")->required();
    importCommand->add_option("-o", o.out, "the file to write")->required();
    AddCompressionOption(*importCommand, context);
    AddConversionOptions(*importCommand, o.conversion);
    importCommand->add_flag("--convert-format", o.conversion.convertFormat,
                            "with --as: let the plug-in store the asset in another format where "
                            "its own has no encoder (a texture becomes RGBA32)");
    importCommand->callback([&context, options] {
        OpenInput(context, options->file);
        std::uint32_t index = PickAsset(context.doc, options->asset);
        std::vector<std::uint8_t> body;
        bool read = false;
        {
            TerminalProgress line;
            read = ReadWholeFile(Utf8ToUtf16(options->data), body, line.Callback(), {}).ok;
        }
        if (!read) {
            Fail(kInputError, "cannot read the file " + options->data);
        }
        {
            TerminalProgress line;
            if (!options->conversion.extension.empty()) {
                line.Update(u"Converting " + Utf8ToUtf16(options->data) + u" for " +
                            context.doc.entries[index].name);
                ConvertImport(context.doc, index, context.folder, options->conversion, body);
            }
            line.Update(u"Importing into " + context.doc.entries[index].name);
            if (Outcome outcome = ReplaceAssetBody(context.doc, index, body); !outcome) {
                Fail(kInputError, outcome);
            }
        }
        SaveOutput(context, options->out);
    });

    CLI::App* add = Command(app, "add", "Write FILE with a new asset appended.", o, context);
    add->add_option("--name", o.name, "the new asset's name (may be empty)")->required();
    add->add_option("--type", o.type,
                    "its type number (decimal, 0x hexadecimal, 0 octal); in files of the later "
                    "forms a class number or name that the file's type list holds")
        ->required();
    add->add_option("--index-offset", o.indexOffset, "added to the next free pathId");
    add->add_option("-o", o.out, "the file to write")->required();
    AddCompressionOption(*add, context);
    add->callback([&context, options] {
        OpenInput(context, options->file);
        const std::u16string typeText = Utf8ToUtf16(options->type);
        std::uint32_t type = ReadTypeNumber(typeText);
        if (type == 0) {
            type = static_cast<std::uint32_t>(FindClassInFile(context.doc, typeText).value_or(0));
        }
        Outcome outcome =
            AddAsset(context.doc, type, Utf8ToUtf16(options->name), options->indexOffset);
        if (!outcome) {
            Fail(kInputError, outcome);
        }
        SaveOutput(context, options->out);
    });

    CLI::App* remove = Command(app, "remove", "Write FILE without an asset.", o, context);
    AddAssetOptions(*remove, o.asset);
    remove->add_option("-o", o.out, "the file to write")->required();
    AddCompressionOption(*remove, context);
    remove->callback([&context, options] {
        OpenInput(context, options->file);
        Outcome outcome = RemoveAsset(context.doc, PickAsset(context.doc, options->asset));
        if (!outcome) {
            Fail(kInputError, outcome);
        }
        SaveOutput(context, options->out);
    });
}

}  // namespace kestrova::cli
