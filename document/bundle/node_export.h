#pragma once
// A bundle's nodes as ordinary files: each node written under a folder at the path it is named
// by, never outside that folder.

#include <string>
#include <string_view>
#include <vector>

#include "common/outcome.h"
#include "document/bundle/bundle_archive.h"

namespace kestrova::bundle {

// The parts of a node's path (split at '/' and '\'), or a refusal when the path would not stay
// inside a folder: empty, absolute, or with an empty, ".", ".." or drive part.
Outcome SplitNodePath(std::string_view path, std::vector<std::u16string>& parts);

// Writes every node (ranges of the data stream file `dataStream`) into `folder`, making the
// sub-folders its path names; a node flagged as a directory becomes a folder. Every path is
// checked before anything is written. `written` receives the paths written, in node order.
Outcome ExportNodes(const std::u16string& dataStream, const std::vector<BundleNode>& nodes,
                    const std::u16string& folder, std::vector<std::u16string>& written);

}  // namespace kestrova::bundle
