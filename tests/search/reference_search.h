#pragma once
// A plain search that visits the working copy one position at a time and tests every position
// with a full comparison. It is slow and obvious, and the fast engine must agree with it.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "document/asset_file.h"

namespace kestrova::testing {

struct ReferenceResult {
    bool refused = false;  // the query held a character above U+00FF
    std::vector<std::pair<std::u16string, std::uint32_t>> results;
    // The status texts, each once where the loop set the same text several times in a row.
    std::vector<std::u16string> statusTexts;
};

ReferenceResult ReferenceSearch(const std::string& image, const AssetFile& doc,
                                const std::u16string& query, std::int32_t mode);

}  // namespace kestrova::testing
