// search: the Find dialog's search from the command line. Prints one line per asset that holds
// the value, in the order found, then the count.

#include <array>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "common/string_list.h"
#include "common/text.h"
#include "editor/search/search_engine.h"
#include "tools/kestrova-cli/cli_commands.h"
#include "tools/kestrova-cli/terminal_progress.h"

namespace kestrova::cli {

namespace {

// The names of the modes, in mode order.
constexpr std::array<const char*, 8> kModeNames = {"text",   "text-case", "int",   "uint",
                                                   "hex-be", "hex-le",    "float", "double"};

std::int32_t ParseMode(const std::string& text) {
    for (std::size_t i = 0; i < kModeNames.size(); ++i) {
        if (text == kModeNames[i] || text == std::to_string(i)) {
            return static_cast<std::int32_t>(i);
        }
    }
    Fail(kUsageError, "unknown mode " + text +
                          " (0-7, text, text-case, int, uint, hex-be, hex-le, float, double)");
}

struct SearchOptions {
    std::string file;
    std::string mode;
    std::string query;
    bool progress = false;
};

}  // namespace

void AddSearchCommand(CLI::App& app, CliContext& context) {
    auto options = std::make_shared<SearchOptions>();
    CLI::App* search = app.add_subcommand("search", "List the assets whose data holds a value.");
    search->add_option("FILE", options->file, "the asset file (never written)")->required();
    AddMemberOption(*search, context);
    search
        ->add_option("--mode", options->mode,
                     "0-7 or text, text-case, int, uint, hex-be, hex-le, float, double")
        ->required();
    search->add_option("QUERY", options->query, "the value, as typed into the Find dialog")
        ->required();
    search->add_flag("--progress", options->progress, "show the progress lines on standard error");
    search->callback([&context, options] {
        std::int32_t mode = ParseMode(options->mode);
        OpenInput(context, options->file);
        StringList results;
        // As in the Find dialog, an empty query searches nothing.
        if (!options->query.empty()) {
            // --progress prints every status line; otherwise a terminal shows the progress line.
            TerminalProgress line;
            SearchStatus status = [&line](std::u16string_view text) { line.Update(text); };
            if (options->progress) {
                status = [](std::u16string_view text) { std::cerr << Utf16ToUtf8(text) << "\n"; };
            }
            Outcome outcome =
                SearchAssetData(context.doc, Utf8ToUtf16(options->query), results, mode, status);
            if (!outcome) {
                Fail(outcome.message == kQueryNotSingleByte ? kUsageError : kInputError, outcome);
            }
        }
        for (std::uint32_t i = 0; i < results.count(); ++i) {
            std::cout << Utf16ToUtf8(results.at(i)) << " ("
                      << static_cast<std::int32_t>(results.tag(i)) << ")\n";
        }
        std::cout << "Found " << results.count() << " Results\n";
    });
}

}  // namespace kestrova::cli
