#pragma once
// Builds a new working copy beside the old one ("temp2") from the old one's bytes and renames it
// over the working copy when it is complete. In a bundle, the bundle header and directory are
// carried in front of the new serialized file with their sizes and offsets following its new
// length, and the bundle's other files are carried after it byte for byte; in a compressed
// bundle's data stream the other nodes are carried before and after it.

#include <cstdint>
#include <span>
#include <vector>

#include "common/mapped_file.h"
#include "common/outcome.h"
#include "document/asset_file.h"
#include "document/range_writer.h"

namespace kestrova {

// Largest length of a serialized file (and of a bundle): its sizes are 32-bit words. Format 22
// keeps 64-bit sizes and offsets; a plain file of that format may grow to kMaxLongFileLength.
inline constexpr std::uint64_t kMaxFileLength = 0xFFFFFFFFu;
inline constexpr std::uint64_t kMaxLongFileLength = 0x7FFFFFFFFFFFFFFFu;

// The largest serialized file the document can become: 64-bit only for a plain format-22 file.
std::uint64_t MaxSerializedLength(const AssetFile& doc);

// The bundle's directory and size fields after its serialized file changed length: the first
// file's size becomes the new length, files after the serialized file move with its end, and
// total-size fields that equalled the old total (or the total less headerSize) follow it.
// Fails when a field would no longer fit in 32 bits.
bool UpdateBundleForLength(BundleHeader& bundle, std::uint64_t innerStart,
                           std::uint64_t oldSerializedLength, std::uint64_t newSerializedLength,
                           std::uint64_t oldTotal);

// A compressed bundle's nodes after its member changed length: the member takes the new length,
// nodes after it move with its end, and the changed part of the stream grows to cover the change.
void MoveNodesForLength(CompressedMember& bundle, std::uint64_t innerStart,
                        std::uint64_t oldLength, std::uint64_t newLength, std::uint64_t newTotal);

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

// Copies runs of old data to new positions. Consecutive runs that move by the same amount are
// joined into one kernel copy when the bytes between them are zeros; other gaps stay holes, which
// read as zeros in the new file.
class DataMover {
public:
    explicit DataMover(WorkingCopyRewrite& rewrite) : rewrite_(rewrite) {}

    bool Add(std::uint64_t from, std::uint64_t size, std::int64_t shift);
    bool Flush();

private:
    WorkingCopyRewrite& rewrite_;
    bool open_ = false;
    std::uint64_t from_ = 0;
    std::uint64_t end_ = 0;
    std::int64_t shift_ = 0;
};

// Table indices of the assets that hold data, in data order (ties in table order).
std::vector<std::uint32_t> DataOrder(const AssetFile& doc);

// Ends a rewrite. When everything was written, the new working copy replaces the old one and
// `apply` brings the table in line with it; otherwise the document stays exactly as it was.
template <typename Apply>
Outcome CompleteRewrite(WorkingCopyRewrite& rewrite, bool written, AssetFile& doc,
                        std::uint64_t serializedLength, Apply apply) {
    if (!written) {
        return rewrite.WriteFailure();
    }
    BundleHeader bundle;
    std::uint64_t total = 0;
    if (Outcome o = rewrite.Finish(serializedLength, bundle, total); !o) {
        return o;
    }
    apply();
    if (doc.compressed) {
        MoveNodesForLength(*doc.compressed, doc.innerStart, doc.serializedLength, serializedLength,
                           total);
    }
    doc.bundle = std::move(bundle);
    doc.serializedLength = serializedLength;
    doc.workingLength = total;
    return Outcome::Success();
}

}  // namespace kestrova
