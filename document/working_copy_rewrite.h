#pragma once
// Builds a new working copy beside the old one ("temp2") from the old one's bytes and renames it
// over the working copy when it is complete. In a bundle, the bundle header and directory are
// carried in front of the new serialized file with their sizes and offsets following its new
// length, and the bundle's other files are carried after it byte for byte.

#include <cstdint>
#include <span>
#include <vector>

#include "common/mapped_file.h"
#include "common/outcome.h"
#include "document/asset_file.h"
#include "document/range_writer.h"

namespace kestrova {

// Largest length of a serialized file (and of a bundle): its sizes are 32-bit words.
inline constexpr std::uint64_t kMaxFileLength = 0xFFFFFFFFu;

// The bundle's directory and size fields after its serialized file changed length: the first
// file's size becomes the new length, files after the serialized file move with its end, and
// total-size fields that equalled the old total (or the total less headerSize) follow it.
// Fails when a field would no longer fit in 32 bits.
bool UpdateBundleForLength(BundleHeader& bundle, std::uint64_t innerStart,
                           std::uint64_t oldSerializedLength, std::uint64_t newSerializedLength,
                           std::uint64_t oldTotal);

class WorkingCopyRewrite {
public:
    explicit WorkingCopyRewrite(const AssetFile& doc) : doc_(doc) {}

    // Opens the working copy for reading and creates "temp2".
    Outcome Begin();

    // The old serialized file's bytes (positions count from its first byte).
    std::span<const std::uint8_t> serialized() const { return serialized_; }

    // Copies old serialized bytes [from, from + count) to position `to` of the new serialized
    // file, or writes bytes there. Positions count from the serialized file's first byte.
    bool Copy(std::uint64_t from, std::uint64_t to, std::uint64_t count);
    bool Write(std::uint64_t to, std::span<const std::uint8_t> bytes);

    // Writes the bundle bytes around the new serialized file of `newLength` bytes, sets the
    // final length and replaces the working copy. `bundle` receives the updated bundle header.
    Outcome Finish(std::uint64_t newLength, BundleHeader& bundle, std::uint64_t& newTotal);

    // The message for a failed write, naming what went wrong.
    Outcome WriteFailure() const;

private:
    const AssetFile& doc_;
    FileDescriptor source_;
    MappedFile map_;
    std::span<const std::uint8_t> serialized_;
    RangeWriter writer_;
};

}  // namespace kestrova
