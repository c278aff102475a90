#pragma once
// The open asset document: a serialized asset file (plain, or inside an uncompressed "UnityRaw"
// bundle), its header, its asset table with every asset's name, and its working copy on disk.
// The file the user opened is only ever read; every change goes to the working copy.
//
// Two readers fill the one document: files whose 44-byte header reading is exact (format 9
// without type trees) keep the 44-byte form's reading, byte for byte; every other file of formats
// 9 to 22 goes through the full metadata reader, which also fills `metadata`.

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
#include "common/progress.h"
#include "document/serialized_metadata.h"

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

// A file inside a bundle: a range of the bundle's data stream.
struct BundleNode {
    std::uint64_t offset = 0;  // in the data stream
    std::uint64_t size = 0;
    std::uint32_t flags = 0;
    std::string path;
    bool operator==(const BundleNode&) const = default;
};

// The document as a serialized member of a compressed bundle: the working copy is the bundle's
// whole data stream and the document is the member's range of it (innerStart, serializedLength).
// The bundle as it was opened is kept in the working folder to rebuild from when saving.
struct CompressedMember {
    std::vector<BundleNode> nodes;  // where they lie in the working copy now
    std::size_t member = 0;
    // The part of the working copy written since the bundle was opened; empty when unchanged.
    std::uint64_t changedStart = 0;
    std::uint64_t changedEnd = 0;

    const std::string& name() const { return nodes[member].path; }
    bool changed() const { return changedEnd > changedStart; }
    void MarkChanged(std::uint64_t start, std::uint64_t end);
};

inline constexpr std::uint32_t kNoType = 0xFFFFFFFF;

// One asset (object) of the table, with every field of its record that a rewrite reproduces.
struct AssetEntry {
    std::u16string name;  // at most 255 characters; kUnnamedAsset when the data has no name
    // The 44-byte form's 32-bit word, zero-extended (shown as "%i" of the word); 64-bit from
    // format 14 (or with bigIdEnabled).
    std::int64_t pathId = 0;
    std::uint64_t offset = 0;  // from the data offset
    std::uint32_t size = 0;
    // The type plug-ins are chosen by and the Type column sorts by: the 44-byte form's type word,
    // the class id in the later forms.
    std::uint32_t typeId = 0;
    // The record's fifth word in the 44-byte form and before format 11 (class id, isDestroyed
    // << 16); the class id alone in formats 11 to 15; 0 from 16.
    std::uint32_t classWord = 0;
    std::int32_t classId = 0;
    // The record's type field: the class id (negative for script types) before format 16, an
    // index into the type list from 16.
    std::int32_t rawType = 0;
    std::uint32_t typeIndex = kNoType;  // the object's entry of the type list, if any
    std::int16_t scriptTypeIndex = -1;  // formats 11 to 16
    std::uint8_t stripped = 0;          // formats 15 and 16
    // Length of the name prefix in the data (4 + stored length rounded up to 4), 0 when the data
    // does not start with the name. It comes from the stored length, so it is right also when
    // the shown name was cut.
    std::uint32_t prefixLength = 0;

    bool named() const { return prefixLength != 0; }
    std::uint32_t bodyLength() const { return size - prefixLength; }
};

struct AssetFile {
    // The path being opened while loading; the file name alone once loaded.
    std::u16string documentName;
    AssetFileHeader header;  // the 44-byte form's header; for the later forms see `metadata`
    std::optional<SerializedMetadata> metadata;
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
    // Set when the document is a member of a compressed ("UnityFS", "UnityWeb") bundle.
    std::optional<CompressedMember> compressed;

    std::u16string WorkingCopyPath() const;
    // The compressed bundle as it was opened, beside the working copy.
    std::u16string OriginalBundlePath() const;
    // Position in the working copy of the data base: every asset's offset counts from here.
    std::uint64_t DataBase() const { return innerStart + dataOffset(); }
    std::uint64_t dataOffset() const { return metadata ? metadata->dataOffset : header.dataOffset; }
    std::uint32_t assetCount() const { return static_cast<std::uint32_t>(entries.size()); }
};

// The serialized file's format version and its engine version text, for either form.
std::uint32_t FormatVersion(const AssetFile& doc);
std::string EngineVersion(const AssetFile& doc);

// The type tree the file keeps for asset `index`, or null when it keeps none for it.
const TypeTree* ObjectTypeTree(const AssetFile& doc, std::uint32_t index);

// The class name of asset `index`: its type tree's root type where the file keeps one, else the
// engine's published name of its class id, else "Class N".
std::u16string ClassName(const AssetFile& doc, std::uint32_t index);
// The same for an entry of the type list (or none: then the class id's published name).
std::u16string ClassNameOf(const SerializedType* type, std::int32_t classId);

// The Type column's text where no plug-in names the asset's type: the class name in the later
// forms, the type word as "0x%08X" in the 44-byte form.
std::u16string ClassColumnText(const AssetFile& doc, std::uint32_t index);

// The text of the Index column: "%i" of the 32-bit word in the 44-byte form, the 64-bit path id
// in the later forms.
std::u16string PathIdText(const AssetFile& doc, const AssetEntry& entry);

// The first asset whose path id is `pathId` (in the 44-byte form also its word read as a signed
// number, as the Index column shows it).
std::optional<std::uint32_t> FindAssetByPathId(const AssetFile& doc, std::int64_t pathId);

// The class id that `text` (a class number, or a class name ignoring the case of A-Z) stands for
// among the classes of the file's type list; nullopt when the list holds no such class.
std::optional<std::int32_t> FindClassInFile(const AssetFile& doc, std::u16string_view text);

// Empties the document without touching any file.
void ResetAssetFile(AssetFile& doc);

// Releases the table and the bundle arrays, deletes the working copy and removes the working
// folder when it is empty. The document is empty afterwards.
void CloseAssetFile(AssetFile& doc);

// Opens `path`: copies it to the working copy, reads the header, the table and every name,
// reporting "Reading Header", "Copying: (n/m MiB)" as a long copy goes, "Loaded: (%i/%i) %s"
// for every asset and "Ready". A file that is damaged or not an asset file is refused with a
// message; the document that was open stays open, its working copy untouched. A stop requested
// through `stop` ends the load with Cancelled(), leaving the document and its working copy as a
// refused file does.
Outcome LoadAssetFile(AssetFile& doc, const std::u16string& path,
                      const ProgressCallback& progress = {}, const std::stop_token& stop = {});

// Copies the working copy to `target` (written beside it, then renamed over it), reporting
// "Saving: (n/m MiB)" as the copy goes when it is longer than one chunk. A stop requested
// through `stop` ends it with Cancelled(), nothing written under `target`.
Outcome SaveWorkingCopyAs(const AssetFile& doc, const std::u16string& target,
                          const ProgressCallback& progress = {}, const std::stop_token& stop = {});

// The body of asset `index` (its data without the name prefix), read from the working copy.
std::optional<std::vector<std::uint8_t>> ReadAssetBody(const AssetFile& doc, std::uint32_t index);

// Writes the body of asset `index` to `target` without holding it in memory, reporting
// "Exporting" as SaveWorkingCopyAs reports "Saving"; a stop leaves `target` as it was.
Outcome ExportAssetBody(const AssetFile& doc, std::uint32_t index, const std::u16string& target,
                        const ProgressCallback& progress = {}, const std::stop_token& stop = {});

// Reads a whole file (an import's source).
std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::u16string& path);
// The same into `bytes`, reporting "Reading" a chunk at a time and ending with Cancelled() when
// `stop` is requested.
Outcome ReadWholeFile(const std::u16string& path, std::vector<std::uint8_t>& bytes,
                      const ProgressCallback& progress, const std::stop_token& stop);

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
// The name is stored as Latin-1; characters above U+00FF are stored as '?'. In the later forms
// `typeId` is a class id that the file's type list must hold: the record copies that type's
// fields, the data is the name prefix (UTF-8) when the class's data starts with m_Name, else
// empty, and the new object's data starts at the next multiple of 8 after the data's end.
Outcome AddAsset(AssetFile& doc, std::uint32_t typeId, std::u16string_view name,
                 std::uint32_t indexOffset);

// Removes asset `index`: its record and its data bytes.
Outcome RemoveAsset(AssetFile& doc, std::uint32_t index);

}  // namespace kestrova
