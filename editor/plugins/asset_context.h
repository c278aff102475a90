#pragma once
// The plug-in context of an asset of the open document: its file's format and engine version, its
// class and path id, its name prefix and its class's type tree where the file keeps one. The
// editor's hand-over and kestrova-cli's conversions both build it here.

#include <cstdint>

#include "document/asset_file.h"
#include "editor/plugins/plugin_context.h"

namespace kestrova {

// The context of asset `index`; `folder` is the asset file's folder (empty when unknown).
AssetContext AssetContextOf(const AssetFile& doc, std::uint32_t index, std::u16string folder);

// Reads "archive:/..." paths from the files of the compressed bundle that `doc` was opened from
// (a texture's ".resS"): the node named by the path, or by its last part, in the working copy.
// Nothing is found when the document is no bundle's member. `doc` must outlive the reader.
ArchiveReader ArchiveReaderOf(const AssetFile& doc);

// Whether the class of asset `index` is described by a type tree in its file.
bool HasTypeTree(const AssetFile& doc, std::uint32_t index);

}  // namespace kestrova
