#pragma once
// The on-disk records of an asset file and the primitives that read and write them. Every read
// of file bytes goes through ByteReader (common/byte_reader.h); writers append bytes to a buffer.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/byte_reader.h"
#include "common/outcome.h"
#include "document/asset_file.h"

namespace kestrova {

inline constexpr std::uint32_t kFileHeaderSize = 44;
inline constexpr std::uint32_t kAssetRecordSize = 20;
// Longest bundle text or shown name, in bytes (a field of 256 with its terminator).
inline constexpr std::size_t kMaxFieldText = 255;

// A zero-terminated text of a bundle header: it must end inside the reader and fit a 256-byte
// field with its terminator; `what` names it in the refusal.
Outcome ReadBundleText(ByteReader& reader, std::string& text, const char16_t* what);

void InitBundleHeader(BundleHeader& bundle, std::string_view signature);
// Reads the bundle fields after the signature's zero byte. Refuses texts that run past the end
// or do not fit their field, counts the file cannot hold and an empty directory, saying which.
Outcome ReadBundleHeader(BundleHeader& bundle, ByteReader& reader);
// Its two halves: the fields from the format word to infoHeaderSize, and the directory (the file
// count and the entries), which follows the header's pad byte in a "UnityRaw" bundle and begins
// the decompressed data of a "UnityWeb" one.
Outcome ReadBundleHeaderFields(BundleHeader& bundle, ByteReader& reader);
Outcome ReadBundleDirectory(BundleHeader& bundle, ByteReader& reader);
void FreeBundleHeader(BundleHeader& bundle);

// The signature at the start of a file: its bytes up to the first zero (or the end).
std::string ReadSignature(std::span<const std::uint8_t> bytes);
inline constexpr std::string_view kBundleSignature = "UnityRaw";

bool ReadFileHeader(AssetFileHeader& header, ByteReader& reader);
void WriteFileHeader(const AssetFileHeader& header, std::vector<std::uint8_t>& out);

// Reads one 20-byte record, then the asset's name from its data at `dataBase` + `offset`
// (a position in the reader's span), and leaves the reader after the record.
bool ReadAssetRecord(AssetEntry& entry, std::uint64_t dataBase, ByteReader& reader);
void WriteAssetRecord(const AssetEntry& entry, std::vector<std::uint8_t>& out);

// The name rule on an asset's data (at most `size` bytes are looked at): sets `name` and
// `prefixLength`.
void ReadAssetName(AssetEntry& entry, std::span<const std::uint8_t> data);

// The later forms' name: m_Name (a length in the file's byte order, UTF-8 text) at `field` of the
// object's data, kNoNameField for none. At field 0 it is the asset's name prefix, whose length
// comes from the stored length (also for an empty name); a name that does not lie wholly inside
// the data leaves the asset unnamed.
void ReadNameField(AssetEntry& entry, std::span<const std::uint8_t> data, std::uint32_t field,
                   bool bigEndian);

// The name prefix stored for `name` by AddAsset: the length, the Latin-1 bytes (characters above
// U+00FF become '?') and zero padding to a multiple of 4. Empty for an empty name.
std::vector<std::uint8_t> MakeNamePrefix(std::u16string_view name);

// The same for the later forms: UTF-8 text and the length in the file's byte order; an empty
// name is stored as a length of 0, since the class's data starts with m_Name.
std::vector<std::uint8_t> MakeNameField(std::u16string_view name, bool bigEndian);

// "Loaded: (%i/%i) %s" for asset `index` of `count`, through `progress`; `text` keeps its storage
// from one asset to the next.
void ReportLoadedAsset(const ProgressCallback& progress, std::u16string& text, std::uint32_t index,
                       std::uint32_t count, std::u16string_view name);

}  // namespace kestrova
