#pragma once
// Writing a "UnityFS" bundle from a data stream and its node list: the blocks compressed as the
// original's (LZ4HC in 128 KiB blocks for LZ4 and LZ4HC bundles, LZMA as one block, stored) or
// as chosen, on every core; the header, blocks info and directory rebuilt. A bundle whose
// stream and nodes did not change is written as the original's bytes.

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "common/outcome.h"
#include "document/asset_file.h"
#include "document/bundle/bundle_archive.h"

namespace kestrova::bundle {

enum class ChosenCompression { AsOriginal, Stored, Lz4, Lz4hc, Lzma };

// "stored", "lz4", "lz4hc" or "lzma" (kestrova-cli's --compression); nothing for any other text.
std::optional<ChosenCompression> ParseCompressionChoice(std::string_view text);

// The blocks of LZ4 and LZ4HC bundles, as the engine writes them.
inline constexpr std::uint64_t kLz4BlockSize = 0x20000;
// Stored and LZMA data go in one block up to this size, in several beyond it.
inline constexpr std::uint64_t kLargestBlock = 0x80000000u;

// The compression a rebuilt bundle gets when none is chosen: LZMA when the original has an LZMA
// block, LZ4HC when it has an LZ4 or LZ4HC one, stored otherwise.
Compression OriginalCompression(const BundleArchive& original);

struct StreamRange {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

struct BundleWrite {
    // The bundle the new one replaces: its header fields, flags and layout carry over.
    const BundleArchive* original = nullptr;
    // Its bytes: copied whole when nothing changed, and its compressed blocks reused where the
    // new stream has the same bytes at the same place.
    const ByteSource* originalSource = nullptr;
    std::u16string dataStream;
    std::vector<BundleNode> nodes;  // ranges of the new data stream
    // The ranges of the new stream whose bytes may differ from the original's at the same
    // position; none at all means unchanged, nothing means unknown (everything is compressed).
    std::optional<std::vector<StreamRange>> changed;
    // When a range of the stream changed length: from `tailFrom` on, the new stream holds the
    // original's bytes from `tailFrom - tailShift` on, so the original's blocks there are reused
    // where they are moved whole. Only with `changed`, whose ranges then lie before `tailFrom`.
    std::optional<std::uint64_t> tailFrom;
    std::int64_t tailShift = 0;
    ChosenCompression compression = ChosenCompression::AsOriginal;
    unsigned threads = 0;  // 0: one per core
};

// Writes the bundle to `target` (beside it first, then renamed over it). A failure or a
// cancellation leaves no file behind and `target` as it was. Reports "Compressing: (i/n)".
Outcome WriteBundle(const BundleWrite& request, const std::u16string& target,
                    const ProgressCallback& progress = {}, const std::stop_token& stop = {});

}  // namespace kestrova::bundle
