#pragma once
// A working copy written to a temporary folder with an asset table held in memory, and a search
// over it that records the results and every status text.

#include <cstdint>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "common/platform.h"
#include "common/string_list.h"
#include "editor/search/search_engine.h"
#include "tests/common/temp_folder.h"

namespace kestrova::testing {

struct SearchRun {
    Outcome outcome;
    std::vector<std::pair<std::u16string, std::uint32_t>> results;
    std::vector<std::u16string> statusTexts;

    std::vector<std::uint32_t> pathIds() const {
        std::vector<std::uint32_t> ids;
        for (const auto& result : results) {
            ids.push_back(result.second);
        }
        return ids;
    }
};

inline AssetEntry MakeEntry(std::u16string name, std::uint32_t pathId, std::uint32_t offset,
                            std::uint32_t size) {
    AssetEntry entry;
    entry.name = std::move(name);
    entry.pathId = pathId;
    entry.offset = offset;
    entry.size = size;
    return entry;
}

class SearchFixture {
public:
    SearchFixture() { doc.workingFolder = folder.Wide(); }

    // Writes `bytes` as the working copy, with the data base at `dataBase`.
    void SetWorkingCopy(std::string bytes, std::uint32_t dataBase,
                        std::vector<AssetEntry> entries) {
        image = std::move(bytes);
        doc.header.dataOffset = dataBase;
        doc.header.assetCount = static_cast<std::uint32_t>(entries.size());
        doc.entries = std::move(entries);
        std::ofstream(platform::NativePath(doc.WorkingCopyPath()),
                      std::ios::binary | std::ios::trunc)
            << image;
    }

    SearchRun Search(const std::u16string& query, std::int32_t mode) {
        StringList list;
        SearchRun run;
        run.outcome = SearchAssetData(doc, query, list, mode, [&](std::u16string_view text) {
            run.statusTexts.emplace_back(text);
        });
        for (std::uint32_t i = 0; i < list.count(); ++i) {
            run.results.emplace_back(list.at(i), list.tag(i));
        }
        return run;
    }

    TempFolder folder;
    AssetFile doc;
    std::string image;
};

}  // namespace kestrova::testing
