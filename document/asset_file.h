#pragma once
// The open asset document: a serialized asset file (plain, or inside an uncompressed "UnityRaw"
// bundle), its header, its asset table with every asset's name, and its working copy on disk.
// The file the user opened is only ever read; every change goes to the working copy.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "common/outcome.h"

namespace kestrova {

inline constexpr char16_t kUnnamedAsset[] = u"unnamed asset";

// The 44-byte header of a serialized file; numbers in host order.
struct AssetFileHeader {
    std::uint32_t metadataSize = 0;
    std::uint32_t fileSize = 0;
    std::uint32_t formatVersion = 0;
    std::uint32_t dataOffset = 0;
    std::uint32_t endianWord = 0;
    std::array<std::uint8_t, 8> engineVersion{};
    std::uint32_t platform = 0;
    std::uint32_t typeTreeCount = 0;
    std::uint32_t longIdsWord = 0;
    std::uint32_t assetCount = 0;
};

struct BundleLevel {
    std::uint32_t first = 0;
    std::uint32_t second = 0;
};

struct BundleDirectoryEntry {
    std::string name;  // at most 255 bytes
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
};

// The header of a "UnityRaw" bundle, read once at load.
struct BundleHeader {
    std::string signature;
    std::uint32_t bundleFormat = 0;
    std::string playerVersion;
    std::string engineRevision;
    std::uint32_t streamedBytes = 0;
    std::uint32_t headerSize = 0;
    std::uint32_t levelsToDownload = 0;
    std::uint32_t levelCount = 0;
    std::vector<BundleLevel> levels;
    std::uint32_t completeSize = 0;
    std::uint32_t infoHeaderSize = 0;
    std::uint8_t padByte = 0;
    std::uint32_t fileCount = 0;
    std::vector<BundleDirectoryEntry> directory;

    // Where the numeric fields lie in the file, so that a rewrite can patch them in the bundle
    // bytes it carries over. kNoField marks a field the bundle's format does not have.
    static constexpr std::uint64_t kNoField = ~std::uint64_t{0};
    std::uint64_t streamedBytesAt = kNoField;
    std::uint64_t levelsAt = kNoField;  // the first word of levels[0]; pairs follow
    std::uint64_t completeSizeAt = kNoField;
    std::vector<std::uint64_t> directoryAt;  // each entry's offset word; its size word follows
    // The end of the directory: the serialized file may not begin before it.
    std::uint64_t headerEnd = 0;
};

// One asset of the table. The five table words are kept in their on-disk order.
struct AssetEntry {
    std::u16string name;  // at most 255 characters; kUnnamedAsset when the data has no name prefix
    std::uint32_t pathId = 0;
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
    std::uint32_t typeId = 0;
    std::uint32_t classWord = 0;
    // Length of the name prefix in the data (4 + stored length rounded up to 4), 0 when unnamed.
    // It comes from the stored length, so it is right also when the shown name was cut.
    std::uint32_t prefixLength = 0;

    bool named() const { return prefixLength != 0; }
    std::uint32_t bodyLength() const { return size - prefixLength; }
};

// Progress of a long operation: the status text and the filled fraction of the progress bar.
using ProgressCallback = std::function<void(std::u16string_view text, float fraction)>;

struct AssetFile {
    // The path being opened while loading; the file name alone once loaded.
    std::u16string documentName;
    AssetFileHeader header;
    bool bundled = false;
    BundleHeader bundle;
    std::vector<AssetEntry> entries;

    // The folder that holds the working copy "temp" (the editor uses "Temp" in the current
    // directory). Set by the owner before the first load.
    std::u16string workingFolder = u"Temp";
    // Where the serialized file begins inside the working copy: 0 for a plain file.
    std::uint64_t innerStart = 0;
    // Length of the serialized file inside the working copy (the whole file when plain, the first
    // directory entry's size in a bundle), and length of the whole working copy.
    std::uint64_t serializedLength = 0;
    std::uint64_t workingLength = 0;

    std::u16string WorkingCopyPath() const;
    // Position in the working copy of the data base: every asset's offset counts from here.
    std::uint64_t DataBase() const { return innerStart + header.dataOffset; }
    std::uint32_t assetCount() const { return header.assetCount; }
};

// Empties the document without touching any file.
void ResetAssetFile(AssetFile& doc);

// Releases the table and the bundle arrays, deletes the working copy and removes the working
// folder when it is empty. The document is empty afterwards.
void CloseAssetFile(AssetFile& doc);

// Opens `path`: copies it to the working copy, reads the header, the table and every name,
// reporting "Reading Header", "Loaded: (%i/%i) %s" for every asset and "Ready". A file that is
// damaged or not an asset file is refused with a message; the document that was open stays
// open, its working copy untouched. The copy of a large file reports "Reading Header" with its
// fraction after every step. A stop requested through `stop` ends the load with Cancelled(),
// leaving the document and its working copy as a refused file does.
Outcome LoadAssetFile(AssetFile& doc, const std::u16string& path,
                      const ProgressCallback& progress = {}, const std::stop_token& stop = {});

// Copies the working copy to `target` (written beside it, then renamed over it). A large copy
// reports "Saving: <target>" with its fraction after every step; a stop requested through
// `stop` ends it with Cancelled(), nothing written under `target`.
Outcome SaveWorkingCopyAs(const AssetFile& doc, const std::u16string& target,
                          const ProgressCallback& progress = {}, const std::stop_token& stop = {});

// The body of asset `index` (its data without the name prefix), read from the working copy.
std::optional<std::vector<std::uint8_t>> ReadAssetBody(const AssetFile& doc, std::uint32_t index);

// Writes the body of asset `index` to `target` without holding it in memory.
Outcome ExportAssetBody(const AssetFile& doc, std::uint32_t index, const std::u16string& target);

// Reads a whole file (an import's source).
std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::u16string& path);

// Writes `bytes` as the whole of `target` (beside it first, then renamed over it).
Outcome WriteWholeFile(const std::u16string& target, std::span<const std::uint8_t> bytes);

// Makes `body` the new body of asset `index`, keeping its name prefix: in place when the size
// stays, otherwise by rewriting the working copy with the assets after it moved. On failure the
// working copy and the table are as they were.
Outcome ReplaceAssetBody(AssetFile& doc, std::uint32_t index, std::span<const std::uint8_t> body);

// The resizing half of ReplaceAssetBody: writes a new working copy in which asset `index` has its
// old name prefix and `body`, and every asset whose data lies after its data has moved by the
// change of length; then replaces the working copy with it.
Outcome RewriteWorkingCopy(AssetFile& doc, std::uint32_t index, std::span<const std::uint8_t> body);

// Appends a new asset (a name prefix only, or no data for an empty name) and its table record.
// The name is stored as Latin-1; characters above U+00FF are stored as '?'.
Outcome AddAsset(AssetFile& doc, std::uint32_t typeId, std::u16string_view name,
                 std::uint32_t indexOffset);

// Removes asset `index`: its record and its data bytes.
Outcome RemoveAsset(AssetFile& doc, std::uint32_t index);

}  // namespace kestrova
