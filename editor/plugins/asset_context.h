#pragma once
// The plug-in context of an asset of the open document: its file's format and engine version, its
// class and path id, its name prefix and its class's type tree where the file keeps one. The
// editor's hand-over and kestrova-cli's conversions both build it here.

#include <cstdint>
#include <string>
#include <vector>

#include "document/asset_file.h"
#include "editor/plugins/plugin_context.h"

namespace kestrova {

// The context of asset `index`; `folder` is the asset file's folder (empty when unknown).
AssetContext AssetContextOf(const AssetFile& doc, std::uint32_t index, std::u16string folder);

// Reads "archive:/..." paths from the files of the compressed bundle that `doc` was opened from
// (a texture's ".resS"): the node named by the path, or by its last part, in the working copy.
// Nothing is found when the document is no bundle's member. `doc` must outlive the reader.
ArchiveReader ArchiveReaderOf(const AssetFile& doc);

// One ImportData call of the "Ravelin" mode's hand-over: a text, the type id, a number as text.
struct ModImportCall {
    std::u16string text;
    std::int32_t value = 0;
    std::u16string number;
};

// What the "Ravelin" mode tells its plug-in of asset `index` after handing it over, one call
// each: the file's name, then the asset's name, each with the type id and the path id as the
// Index column shows it. For the later forms and for a member of a compressed bundle a third
// follows: the member's path in the bundle (empty for a file of its own), the class id and the
// 64-bit path id. A 44-byte-form file gets the first two only, so that its mods stay as before.
std::vector<ModImportCall> ModImportCalls(const AssetFile& doc, std::uint32_t index);

// Whether the class of asset `index` is described by a type tree in its file.
bool HasTypeTree(const AssetFile& doc, std::uint32_t index);

}  // namespace kestrova
