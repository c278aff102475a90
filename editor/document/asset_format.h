#pragma once
// The on-disk records of an asset file and the primitives that read and write them. Every read
// of file bytes goes through ByteReader, which never reads outside its span and reports a read
// that would; writers append bytes to a buffer.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/outcome.h"
#include "editor/document/asset_file.h"

namespace kestrova {

inline constexpr std::uint32_t kFileHeaderSize = 44;
inline constexpr std::uint32_t kAssetRecordSize = 20;
// Longest bundle text or shown name, in bytes (a field of 256 with its terminator).
inline constexpr std::size_t kMaxFieldText = 255;

// Sequential reads from a span of bytes. Positions are 64-bit and every bound is checked before
// an add can overflow; a read that does not fit fails, leaves the position where it was and
// marks the reader failed.
class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> bytes, std::uint64_t position = 0)
        : bytes_(bytes), position_(position <= bytes.size() ? position : bytes.size()) {}

    std::uint64_t position() const { return position_; }
    std::uint64_t size() const { return bytes_.size(); }
    std::uint64_t remaining() const { return bytes_.size() - position_; }
    bool failed() const { return failed_; }

    bool Seek(std::uint64_t position);
    bool Skip(std::uint64_t count);
    bool ReadByte(std::uint8_t& value);
    bool ReadBigEndian32(std::uint32_t& value);
    bool ReadLittleEndian32(std::uint32_t& value);
    bool ReadBytes(std::span<std::uint8_t> out);
    // The next `count` bytes without moving; empty (and failed) when they do not all fit.
    std::span<const std::uint8_t> View(std::uint64_t count);

    // True when [start, start + count) lies inside the span, computed without overflow.
    bool Contains(std::uint64_t start, std::uint64_t count) const {
        return start <= bytes_.size() && count <= bytes_.size() - start;
    }

private:
    bool Fail() {
        failed_ = true;
        return false;
    }

    std::span<const std::uint8_t> bytes_;
    std::uint64_t position_ = 0;
    bool failed_ = false;
};

// Rounds up to a multiple of 4 in 64 bits, so that no length wraps.
inline std::uint64_t RoundUp4(std::uint64_t n) {
    return (n + 3) & ~std::uint64_t{3};
}

void InitBundleHeader(BundleHeader& bundle, std::string_view signature);
// Reads the bundle fields after the signature's zero byte. Refuses texts that run past the end
// or do not fit their field, counts the file cannot hold and an empty directory, saying which.
Outcome ReadBundleHeader(BundleHeader& bundle, ByteReader& reader);
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

// The name prefix stored for `name` by AddAsset: the length, the Latin-1 bytes (characters above
// U+00FF become '?') and zero padding to a multiple of 4. Empty for an empty name.
std::vector<std::uint8_t> MakeNamePrefix(std::u16string_view name);

}  // namespace kestrova
