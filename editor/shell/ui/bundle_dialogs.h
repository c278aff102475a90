#pragma once
// The two questions a compressed bundle asks: which of its serialized members to open (a list of
// their names and sizes) and, on Save As, how to compress the bundle.

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "document/asset_file.h"
#include "document/bundle/bundle_writer.h"

class QWidget;

namespace kestrova {

// The index of the member chosen, or nothing when the user cancelled.
std::optional<std::size_t> AskBundleMember(QWidget* parent, std::u16string_view bundle,
                                           const std::vector<BundleNode>& members);

// The compression chosen ("as the original" first), or nothing when the user cancelled.
std::optional<bundle::ChosenCompression> AskBundleCompression(QWidget* parent);

}  // namespace kestrova
