#include "tools/kestrova-cli/cli_support.h"

#include <stdlib.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "common/text.h"
#include "document/bundle/bundle_document.h"
#include "tools/kestrova-cli/terminal_progress.h"

namespace kestrova::cli {

void Fail(int status, const std::string& message) {
    throw CliFailure(status, message);
}

void Fail(int status, const Outcome& outcome) {
    Fail(status, Utf16ToUtf8(outcome.message));
}

CliContext::~CliContext() {
    if (hasWorkingFolder) {
        CloseAssetFile(doc);
    }
}

void EnsureWorkingFolder(CliContext& context) {
    if (context.hasWorkingFolder) {
        return;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "kestrova-cli-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        Fail(kInputError, "cannot create a temporary working folder in " +
                              std::filesystem::temp_directory_path().string());
    }
    context.doc.workingFolder = Utf8ToUtf16(pattern);
    context.hasWorkingFolder = true;
}

void AddMemberOption(CLI::App& command, CliContext& context) {
    command.add_option("--member", context.member,
                       "in a compressed bundle: the serialized file to open (by its path)")
        ->type_name("NAME");
}

void AddCompressionOption(CLI::App& command, CliContext& context) {
    command
        .add_option("--compression", context.compression,
                    "a bundle's compression when written (default: as the original)")
        ->check(CLI::IsMember({"stored", "lz4", "lz4hc", "lzma"}));
}

void OpenInput(CliContext& context, const std::string& file) {
    EnsureWorkingFolder(context);
    const std::u16string path = Utf8ToUtf16(file);
    TerminalProgress line;
    Outcome outcome = bundle::LoadDocument(context.doc, path, context.member, line.Callback());
    if (!outcome) {
        Fail(kInputError, file + ": " + Utf16ToUtf8(outcome.message));
    }
    const std::size_t name = FileNameStart(path);
    context.folder = name > 0 ? path.substr(0, name - 1) : u".";
}

void SaveOutput(const CliContext& context, const std::string& out) {
    TerminalProgress line;
    const bundle::ChosenCompression compression =
        bundle::ParseCompressionChoice(context.compression)
            .value_or(bundle::ChosenCompression::AsOriginal);
    Outcome outcome =
        bundle::SaveDocumentAs(context.doc, Utf8ToUtf16(out), compression, line.Callback());
    if (!outcome) {
        Fail(kInputError, outcome);
    }
}

void AddAssetOptions(CLI::App& command, AssetChoice& choice) {
    CLI::Option* index =
        command.add_option("--asset", choice.index, "table entry N (0-based)")->type_name("N");
    CLI::Option* pathId =
        command.add_option("--path-id", choice.pathId, "the first entry with this pathId")
            ->type_name("P");
    index->excludes(pathId);
    pathId->excludes(index);
}

std::uint32_t PickAsset(const AssetFile& doc, const AssetChoice& choice) {
    if (choice.index) {
        if (*choice.index >= doc.entries.size()) {
            Fail(kInputError, "the file has no asset " + std::to_string(*choice.index) +
                                  " (it has " + std::to_string(doc.entries.size()) + ")");
        }
        return *choice.index;
    }
    if (choice.pathId) {
        if (std::optional<std::uint32_t> found = FindAssetByPathId(doc, *choice.pathId)) {
            return *found;
        }
        Fail(kInputError, "the file has no asset with pathId " + std::to_string(*choice.pathId));
    }
    Fail(kUsageError, "choose an asset with --asset N or --path-id P");
}

std::string HexBytes(std::span<const std::uint8_t> bytes) {
    std::string out;
    char digits[3];
    for (std::uint8_t b : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", b);
        out += digits;
    }
    return out;
}

int RunCli(CLI::App& app, int argc, char** argv) {
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << "kestrova-cli: " << e.what() << " (see --help)\n";
        return kUsageError;
    } catch (const CliFailure& e) {
        std::cerr << "kestrova-cli: " << e.what() << "\n";
        return e.status();
    } catch (const std::exception& e) {
        std::cerr << "kestrova-cli: " << e.what() << "\n";
        return kInputError;
    }
    return 0;
}

}  // namespace kestrova::cli
