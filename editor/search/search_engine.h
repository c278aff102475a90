#pragma once
// The search over the data of all assets of the open document. The working copy is scanned from
// the data base to its end for one value; every asset whose data holds a hit is reported once, as
// its name with its pathId as the tag, and progress is reported in the status line as the scan
// goes.

#include <cstdint>
#include <stop_token>
#include <string_view>

#include "common/outcome.h"
#include "common/string_list.h"
#include "document/asset_file.h"
#include "editor/search/search_pattern.h"
#include "editor/search/search_progress.h"

namespace kestrova {

inline constexpr char16_t kQueryNotSingleByte[] =
    u"The query holds a character that asset data cannot contain.";
inline constexpr char16_t kWorkingCopyUnreadable[] = u"The working copy cannot be read.";

// Scans the working copy of `doc` for `query` read as `mode` (a SearchMode; other values scan and
// find nothing) and appends one entry per asset with a hit to `results` (rejecting an equal name
// with an equal pathId, and blank names). Text up to the query's first U+0000 is used.
// Fails without touching `results` or the status when the working copy cannot be opened, and with
// the status set to kQueryNotSingleByte when the query holds a character above U+00FF. A stop
// requested through `stop` ends the scan within a block with Cancelled(), `results` then holding
// what was found so far.
Outcome SearchAssetData(const AssetFile& doc, std::u16string_view query, StringList& results,
                        std::int32_t mode, const SearchStatus& status,
                        const std::stop_token& stop = {});

}  // namespace kestrova
