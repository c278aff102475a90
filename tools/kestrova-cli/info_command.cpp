// info: what a serialized file is, beyond its table: the header, the engine version, the platform,
// whether type trees are kept, the type list (class id, class name, object count, tree or not)
// and the externals.

#include <nlohmann/json.hpp>

#include <cstdio>
#include <iostream>
#include <memory>

#include "common/text.h"
#include "tools/kestrova-cli/cli_commands.h"

namespace kestrova::cli {

namespace {

struct InfoOptions {
    std::string file;
    bool json = false;
};

// The 44-byte form keeps its little-endian platform word in a field the editor reads big-endian.
std::uint32_t LegacyPlatform(const AssetFileHeader& header) {
    const std::uint32_t w = header.platform;
    return (w >> 24) | ((w >> 8) & 0xFF00) | ((w << 8) & 0xFF0000) | (w << 24);
}

nlohmann::json InfoAsJson(const AssetFile& doc) {
    nlohmann::json out;
    out["file"] = Utf16ToUtf8(doc.documentName);
    out["format"] = FormatVersion(doc);
    out["engineVersion"] = EngineVersion(doc);
    out["objectCount"] = doc.entries.size();
    out["bundled"] = doc.bundled;
    nlohmann::json types = nlohmann::json::array();
    nlohmann::json externals = nlohmann::json::array();
    if (!doc.metadata) {
        const AssetFileHeader& h = doc.header;
        out["form"] = "44-byte header";
        out["bigEndian"] = false;
        out["platform"] = LegacyPlatform(h);
        out["typeTreesKept"] = false;
        out["metadataSize"] = h.metadataSize;
        out["fileSize"] = h.fileSize;
        out["dataOffset"] = h.dataOffset;
        out["types"] = types;
        out["externals"] = nullptr;  // the 44-byte form's reader does not read them
        return out;
    }
    const SerializedMetadata& m = *doc.metadata;
    out["form"] = "full metadata";
    out["bigEndian"] = m.bigEndian;
    out["platform"] = m.platform;
    out["typeTreesKept"] = m.typeTreesKept;
    out["metadataSize"] = m.metadataSize;
    out["fileSize"] = m.fileSize;
    out["dataOffset"] = m.dataOffset;
    for (const SerializedType& t : m.types) {
        types.push_back({{"classId", t.classId},
                         {"className", Utf16ToUtf8(ClassNameOf(&t, t.classId))},
                         {"objectCount", t.objectCount},
                         {"typeTree", t.hasTree},
                         {"scriptTypeIndex", t.scriptTypeIndex}});
    }
    for (const ExternalFile& e : m.externals) {
        externals.push_back({{"path", e.path}, {"guid", HexBytes(e.guid)}, {"type", e.type}});
    }
    out["types"] = types;
    out["externals"] = externals;
    out["scriptTypeCount"] = m.scriptTypeCount;
    out["referenceTypeCount"] = m.referenceTypes.size();
    out["userInformation"] = m.userInformation;
    return out;
}

void PrintInfo(const nlohmann::json& info) {
    std::cout << "File:            " << info["file"].get<std::string>() << "\n"
              << "Format:          " << info["format"] << " (" << info["form"].get<std::string>()
              << ", " << (info["bigEndian"].get<bool>() ? "big" : "little") << "-endian"
              << (info["bundled"].get<bool>() ? ", in a UnityRaw bundle" : "") << ")\n"
              << "Engine version:  " << info["engineVersion"].get<std::string>() << "\n"
              << "Platform:        " << info["platform"] << "\n"
              << "Type trees:      " << (info["typeTreesKept"].get<bool>() ? "kept" : "not kept")
              << "\n"
              << "Metadata size:   " << info["metadataSize"] << "\n"
              << "File size:       " << info["fileSize"] << "\n"
              << "Data offset:     " << info["dataOffset"] << "\n"
              << "Objects:         " << info["objectCount"] << "\n"
              << "Types:           " << info["types"].size() << "\n";
    char line[160];
    if (!info["types"].empty()) {
        std::snprintf(line, sizeof line, "  %11s  %-32s %8s  %s\n", "Class id", "Class name",
                      "Objects", "Tree");
        std::cout << line;
    }
    for (const nlohmann::json& t : info["types"]) {
        std::snprintf(line, sizeof line, "  %11d  %-32s %8u  %s\n", t["classId"].get<int>(),
                      t["className"].get<std::string>().c_str(), t["objectCount"].get<unsigned>(),
                      t["typeTree"].get<bool>() ? "yes" : "no");
        std::cout << line;
    }
    if (info["externals"].is_null()) {
        std::cout << "Externals:       not read in the 44-byte form\n";
        return;
    }
    std::cout << "Externals:       " << info["externals"].size() << "\n";
    for (const nlohmann::json& e : info["externals"]) {
        std::cout << "  " << e["path"].get<std::string>() << "  (type " << e["type"] << ", guid "
                  << e["guid"].get<std::string>() << ")\n";
    }
}

}  // namespace

void AddInfoCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<InfoOptions>();
    CLI::App* info = app.add_subcommand(
        "info", "Print the header, engine version, platform, type list and externals.");
    info->add_option("FILE", options->file, "the asset file (never written)")->required();
    AddMemberOption(*info, context);
    info->add_flag("--json", options->json, "one JSON object");
    info->callback([&context, options] {
        OpenInput(context, options->file);
        const nlohmann::json out = InfoAsJson(context.doc);
        if (options->json) {
            std::cout << out.dump(2) << "\n";
        } else {
            PrintInfo(out);
        }
    });
}

}  // namespace kestrova::cli
