#pragma once
// What the "UnityWeb" and "UnityRaw" readers share: the header of formats 1-3 as the document
// reads it (document/asset_format.h), and the nodes of its directory.

#include "document/bundle/bundle_archive.h"

namespace kestrova::bundle::detail {

// Reads the header fields from the format word to infoHeaderSize, and with `withDirectory` the
// pad byte and the directory after them, into archive.legacy; copies the format and versions.
Outcome ReadLegacyHeader(const ByteSource& source, BundleArchive& archive, bool withDirectory);

// The directory's entries as nodes: offsets and sizes as they are, relative to the data stream.
void TakeDirectory(BundleArchive& archive);

}  // namespace kestrova::bundle::detail
