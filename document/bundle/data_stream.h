#pragma once
// The working copy of a bundle: its data stream (the concatenation of its decompressed blocks,
// in which node offsets count), written into the working folder block by block. Only one block
// and a few megabytes of buffers are in memory at a time.

#include <stop_token>
#include <string>

#include "common/outcome.h"
#include "document/asset_file.h"
#include "document/bundle/bundle_archive.h"

namespace kestrova::bundle {

// Decompresses every block of `archive` from `source` into the file `target`. The declared length
// is checked against the free space of the target's folder first. The file is written beside the
// target and renamed over it only when every block decoded to exactly its declared size; on a
// refusal, a failure to write or a cancellation nothing is left behind and `target` is as it was.
// Reports "Decompressing: (i/n)" per block.
Outcome ExtractDataStream(const ByteSource& source, const BundleArchive& archive,
                          const std::u16string& target, const ProgressCallback& progress = {},
                          const std::stop_token& stop = {});

// The folder part of a path ("." when it has none).
std::u16string FolderOf(const std::u16string& path);

}  // namespace kestrova::bundle
