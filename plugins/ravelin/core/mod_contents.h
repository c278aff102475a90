#pragma once
// A mod's assets: adding the asset the editor handed over ("Add File") and removing one
// ("Remove File"). Each entry's bytes lie in the data file: the asset's name prefix (unless it
// is unnamed), the body as handed over, and zeros up to a multiple of 4.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "common/outcome.h"
#include "plugins/ravelin/core/mod_file.h"
#include "plugins/ravelin/core/mod_record.h"

namespace kestrova::ravelin {

// The caption and text of the warning for an asset that cannot be added.
inline constexpr char16_t kAddFailedCaption[] = u"Unable to load asset into mod.";
inline constexpr char16_t kDuplicateAssetText[] = u"Asset already exists in mod.";

// The name prefix an entry's data starts with: the name's length, its characters as bytes (up
// to the first one above U+00FF, zeros from there) and zeros up to a multiple of 4. Empty for
// an asset named "unnamed asset".
std::vector<std::uint8_t> EntryNamePrefix(const std::u16string& assetName);

// Appends the pending asset as a new entry. Refused with kDuplicateAssetText when an entry has
// the same file name, member and path id; refused with the reason when its data cannot be written,
// so that no entry ever points at data that is not there. Nothing changes when refused.
Outcome AddPendingAsset(ModRecord& mod, const PendingAsset& pending, const ModWorkFiles& files);

// Writes `entry`'s data (its name prefix, `body` and the padding) at the end of the data file
// and sets its `offset` and `length`. On failure `entry` is as it was.
Outcome AppendEntryData(ModEntry& entry, std::span<const std::uint8_t> body,
                        const ModWorkFiles& files);

// Removes entry `position` and its data: the data of the others is written packed, in table
// order, into the scratch file, which then replaces the data file. On failure nothing changes.
Outcome RemoveEntry(ModRecord& mod, std::size_t position, const ModWorkFiles& files);

}  // namespace kestrova::ravelin
