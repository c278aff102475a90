// The bundle commands: list a bundle's header, blocks and nodes; extract its nodes as files.
// The bundle is only ever read; its data is decompressed into the run's private working folder.

#include <nlohmann/json.hpp>

#include <filesystem>
#include <iomanip>
#include <iostream>
#include <memory>
#include <sstream>

#include "common/platform.h"
#include "common/text.h"
#include "document/bundle/bundle_archive.h"
#include "document/bundle/data_stream.h"
#include "document/bundle/node_export.h"
#include "tools/kestrova-cli/cli_commands.h"
#include "tools/kestrova-cli/terminal_progress.h"

namespace kestrova::cli {

namespace {

using bundle::BundleArchive;
using bundle::BundleBlock;
using bundle::BundleKind;
using bundle::BundleNode;

std::string Text(const std::string& latin1) {
    return Utf16ToUtf8(Latin1ToUtf16(latin1));
}

std::string Hex(std::uint32_t value) {
    std::ostringstream out;
    out << "0x" << std::hex << value;
    return out.str();
}

void OpenBundle(const std::string& file, bundle::FileSource& source, BundleArchive& archive) {
    if (!source.Open(Utf8ToUtf16(file))) {
        Fail(kInputError, "cannot open " + file);
    }
    if (Outcome o = ReadBundleArchive(source, archive); !o) {
        Fail(kInputError, file + ": " + Utf16ToUtf8(o.message));
    }
}

std::string NodeFlags(std::uint32_t flags) {
    std::string out;
    for (auto [bit, name] : {std::pair{bundle::kNodeDirectory, "directory"},
                             std::pair{bundle::kNodeDeleted, "deleted"},
                             std::pair{bundle::kNodeSerialized, "serialized"}}) {
        if ((flags & bit) != 0) {
            out += (out.empty() ? "" : ",") + std::string(name);
        }
    }
    return out;
}

nlohmann::ordered_json ArchiveAsJson(const BundleArchive& a) {
    nlohmann::ordered_json out;
    out["kind"] = Utf16ToUtf8(a.kindName());
    out["format"] = a.format;
    out["playerVersion"] = Text(a.playerVersion);
    out["engineRevision"] = Text(a.engineRevision);
    out["fileSize"] = a.fileSize;
    if (a.kind == BundleKind::UnityFS) {
        out["flags"] = a.flags;
        out["infoCompression"] =
            Utf16ToUtf8(bundle::CompressionName(a.flags & bundle::kCompressionMask));
        out["infoCompressedSize"] = a.infoCompressedSize;
        out["infoUncompressedSize"] = a.infoUncompressedSize;
        out["infoAtEnd"] = (a.flags & bundle::kInfoAtEnd) != 0;
        out["infoAligned"] = a.infoAligned;
    } else {
        out["headerSize"] = a.legacy.headerSize;
    }
    out["dataStart"] = a.dataStart;
    out["dataSize"] = a.streamLength;
    nlohmann::ordered_json blocks = nlohmann::ordered_json::array();
    for (const BundleBlock& b : a.blocks) {
        blocks.push_back({{"compression", Utf16ToUtf8(bundle::CompressionName(b.compression()))},
                          {"flags", b.flags},
                          {"compressedSize", b.compressedSize},
                          {"uncompressedSize", b.uncompressedSize},
                          {"fileOffset", b.fileOffset},
                          {"dataOffset", b.streamOffset}});
    }
    out["blocks"] = std::move(blocks);
    nlohmann::ordered_json nodes = nlohmann::ordered_json::array();
    for (const BundleNode& n : a.nodes) {
        nodes.push_back(
            {{"path", Text(n.path)}, {"offset", n.offset}, {"size", n.size}, {"flags", n.flags}});
    }
    out["nodes"] = std::move(nodes);
    return out;
}

void PrintArchive(const BundleArchive& a) {
    std::cout << Utf16ToUtf8(a.kindName()) << " format " << a.format << ", "
              << Text(a.playerVersion) << " / " << Text(a.engineRevision) << ", " << a.fileSize
              << " bytes\n";
    if (a.kind == BundleKind::UnityFS) {
        std::cout << "flags " << Hex(a.flags) << ": blocks info "
                  << Utf16ToUtf8(bundle::CompressionName(a.flags & bundle::kCompressionMask))
                  << ", " << a.infoCompressedSize << " -> " << a.infoUncompressedSize
                  << " bytes at " << a.infoStart
                  << ((a.flags & bundle::kInfoAtEnd) != 0 ? " (at the end)" : "")
                  << ((a.flags & bundle::kPadAfterInfo) != 0 ? ", padded" : "") << "\n";
    }
    std::cout << "data: " << a.streamLength << " bytes in " << a.blocks.size() << " block"
              << (a.blocks.size() == 1 ? "" : "s") << " from byte " << a.dataStart << "\n";
    for (std::size_t i = 0; i < a.blocks.size(); ++i) {
        const BundleBlock& b = a.blocks[i];
        std::cout << "  block " << i << "  "
                  << Utf16ToUtf8(bundle::CompressionName(b.compression())) << "  flags "
                  << Hex(b.flags) << "  " << b.compressedSize << " -> " << b.uncompressedSize
                  << "\n";
    }
    std::cout << "nodes: " << a.nodes.size() << "\n";
    for (const BundleNode& n : a.nodes) {
        std::cout << "  " << Text(n.path) << "  offset " << n.offset << "  size " << n.size
                  << "  flags " << n.flags;
        const std::string names = NodeFlags(n.flags);
        std::cout << (names.empty() ? "" : " (" + names + ")") << "\n";
    }
}

void Extract(CliContext& context, const std::string& file, const std::string& folder) {
    bundle::FileSource source;
    BundleArchive archive;
    OpenBundle(file, source, archive);
    // Every path is checked before the data is decompressed.
    std::vector<std::u16string> parts;
    for (const BundleNode& node : archive.nodes) {
        if (Outcome o = bundle::SplitNodePath(node.path, parts); !o) {
            Fail(kInputError, file + ": " + Utf16ToUtf8(o.message));
        }
    }
    EnsureWorkingFolder(context);
    const std::u16string stream = context.doc.workingFolder + platform::kSeparator + u"stream";
    struct Remove {
        std::u16string path;
        ~Remove() { platform::DeleteFile(path); }
    } removeStream{stream};
    std::vector<std::u16string> written;
    {
        TerminalProgress line;
        if (Outcome o = bundle::ExtractDataStream(source, archive, stream, line.Callback()); !o) {
            Fail(kInputError, file + ": " + Utf16ToUtf8(o.message));
        }
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        if (!std::filesystem::is_directory(folder)) {
            Fail(kInputError, "cannot create the folder " + folder);
        }
        line.Update(u"Writing the nodes into " + Utf8ToUtf16(folder));
        if (Outcome o = bundle::ExportNodes(stream, archive.nodes, Utf8ToUtf16(folder), written);
            !o) {
            Fail(kInputError, o);
        }
    }
    for (const std::u16string& path : written) {
        std::cout << Utf16ToUtf8(path) << "\n";
    }
}

}  // namespace

void AddBundleCommands(CLI::App& app, CliContext& context) {
    CLI::App* group = app.add_subcommand(
        "bundle", "Read bundles (\"UnityFS\", \"UnityWeb\", \"UnityRaw\") as containers.");
    group->require_subcommand(1);

    struct Options {
        std::string file;
        std::string folder;
        bool json = false;
    };
    auto options = std::make_shared<Options>();

    CLI::App* list = group->add_subcommand(
        "list", "Print the bundle's format, versions, flags, blocks and nodes.");
    list->add_option("BUNDLE", options->file, "the bundle (never written)")->required();
    list->add_flag("--json", options->json, "one JSON object");
    list->callback([options] {
        bundle::FileSource source;
        BundleArchive archive;
        OpenBundle(options->file, source, archive);
        if (options->json) {
            std::cout << ArchiveAsJson(archive).dump(2) << "\n";
        } else {
            PrintArchive(archive);
        }
    });

    CLI::App* extract =
        group->add_subcommand("extract", "Write every node as a file named by its path.");
    extract->add_option("BUNDLE", options->file, "the bundle (never written)")->required();
    extract->add_option("-d", options->folder, "the folder to write into")->required();
    extract->callback([&context, options] { Extract(context, options->file, options->folder); });
}

}  // namespace kestrova::cli
