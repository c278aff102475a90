#include "document/working_copy_rewrite.h"

#include <algorithm>

#include "common/platform.h"
#include "document/asset_format.h"

namespace kestrova {

namespace {

void PatchBigEndian32(std::vector<std::uint8_t>& bytes, std::uint64_t at, std::uint32_t value) {
    if (at == BundleHeader::kNoField || at > bytes.size() || bytes.size() - at < 4) {
        return;
    }
    bytes[at] = static_cast<std::uint8_t>(value >> 24);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 16);
    bytes[at + 2] = static_cast<std::uint8_t>(value >> 8);
    bytes[at + 3] = static_cast<std::uint8_t>(value);
}

}  // namespace

bool UpdateBundleForLength(BundleHeader& bundle, std::uint64_t innerStart,
                           std::uint64_t oldSerializedLength, std::uint64_t newSerializedLength,
                           std::uint64_t oldTotal) {
    const std::uint64_t newTotal = oldTotal - oldSerializedLength + newSerializedLength;
    if (newTotal > kMaxFileLength || newSerializedLength > kMaxFileLength) {
        return false;
    }
    const std::uint64_t oldEnd = innerStart + oldSerializedLength;
    std::vector<BundleDirectoryEntry> directory = bundle.directory;
    directory[0].size = static_cast<std::uint32_t>(newSerializedLength);
    for (std::size_t k = 1; k < directory.size(); ++k) {
        std::uint64_t start = std::uint64_t{bundle.headerSize} + directory[k].offset;
        if (start >= oldEnd) {
            std::uint64_t moved = directory[k].offset + newTotal - oldTotal;
            if (moved > kMaxFileLength) {
                return false;
            }
            directory[k].offset = static_cast<std::uint32_t>(moved);
        }
    }
    auto follow = [&](std::uint32_t& field) {
        if (field == oldTotal) {
            field = static_cast<std::uint32_t>(newTotal);
        } else if (oldTotal >= bundle.headerSize && field == oldTotal - bundle.headerSize &&
                   newTotal >= bundle.headerSize) {
            field = static_cast<std::uint32_t>(newTotal - bundle.headerSize);
        }
    };
    follow(bundle.streamedBytes);
    if (bundle.completeSizeAt != BundleHeader::kNoField) {
        follow(bundle.completeSize);
    }
    for (BundleLevel& level : bundle.levels) {
        follow(level.first);
        follow(level.second);
    }
    bundle.directory = std::move(directory);
    return true;
}

Outcome WorkingCopyRewrite::Begin() {
    const std::u16string path = doc_.WorkingCopyPath();
    source_ = FileDescriptor::OpenForReading(path);
    if (!source_.valid() || !map_.Open(path)) {
        return Outcome::Failure(u"Cannot read the working copy " + path + u": " +
                                SystemErrorText() + u".");
    }
    if (map_.size() != doc_.workingLength ||
        doc_.innerStart + doc_.serializedLength > map_.size()) {
        return Outcome::Failure(u"The working copy " + path + u" was changed outside the editor.");
    }
    serialized_ = map_.bytes().subspan(doc_.innerStart, doc_.serializedLength);
    if (!writer_.Create(doc_.workingFolder + platform::kSeparator + u"temp2")) {
        return WriteFailure();
    }
    return Outcome::Success();
}

bool WorkingCopyRewrite::Copy(std::uint64_t from, std::uint64_t to, std::uint64_t count) {
    return count == 0 ||
           writer_.Copy(source_.get(), doc_.innerStart + from, doc_.innerStart + to, count);
}

bool WorkingCopyRewrite::Write(std::uint64_t to, std::span<const std::uint8_t> bytes) {
    return writer_.Write(doc_.innerStart + to, bytes);
}

std::uint64_t MaxSerializedLength(const AssetFile& doc) {
    const bool longSizes = doc.metadata && doc.metadata->format >= 22 && !doc.bundled;
    return longSizes ? kMaxLongFileLength : kMaxFileLength;
}

Outcome WorkingCopyRewrite::Finish(std::uint64_t newLength, BundleHeader& bundle,
                                   std::uint64_t& newTotal) {
    if (newLength > MaxSerializedLength(doc_)) {
        return Outcome::Failure(u"The asset file would grow beyond 4 GiB.");
    }
    bundle = doc_.bundle;
    const std::uint64_t oldTotal = map_.size();
    const std::uint64_t oldEnd = doc_.innerStart + doc_.serializedLength;
    newTotal = doc_.innerStart + newLength + (oldTotal - oldEnd);
    if (doc_.bundled) {
        if (!UpdateBundleForLength(bundle, doc_.innerStart, doc_.serializedLength, newLength,
                                   oldTotal)) {
            return Outcome::Failure(u"The bundle would grow beyond 4 GiB.");
        }
        std::span<const std::uint8_t> head = map_.bytes().first(doc_.innerStart);
        std::vector<std::uint8_t> front(head.begin(), head.end());
        PatchBigEndian32(front, bundle.streamedBytesAt, bundle.streamedBytes);
        PatchBigEndian32(front, bundle.completeSizeAt, bundle.completeSize);
        if (bundle.levelsAt != BundleHeader::kNoField) {
            for (std::size_t i = 0; i < bundle.levels.size(); ++i) {
                PatchBigEndian32(front, bundle.levelsAt + 8 * i, bundle.levels[i].first);
                PatchBigEndian32(front, bundle.levelsAt + 8 * i + 4, bundle.levels[i].second);
            }
        }
        for (std::size_t k = 0; k < bundle.directory.size(); ++k) {
            PatchBigEndian32(front, bundle.directoryAt[k], bundle.directory[k].offset);
            PatchBigEndian32(front, bundle.directoryAt[k] + 4, bundle.directory[k].size);
        }
        if (!writer_.Write(0, front) ||
            !writer_.Copy(source_.get(), oldEnd, doc_.innerStart + newLength, oldTotal - oldEnd)) {
            return WriteFailure();
        }
    } else if (doc_.compressed) {
        // The bundle's other nodes, before and after the member, byte for byte.
        if (!writer_.Copy(source_.get(), 0, 0, doc_.innerStart) ||
            !writer_.Copy(source_.get(), oldEnd, doc_.innerStart + newLength, oldTotal - oldEnd)) {
            return WriteFailure();
        }
    }
    if (!writer_.FinishAsPrivate(newTotal, doc_.WorkingCopyPath())) {
        return WriteFailure();
    }
    return Outcome::Success();
}

void MoveNodesForLength(CompressedMember& bundle, std::uint64_t innerStart,
                        std::uint64_t oldLength, std::uint64_t newLength, std::uint64_t newTotal) {
    const std::uint64_t oldEnd = innerStart + oldLength;
    for (std::size_t i = 0; i < bundle.nodes.size(); ++i) {
        BundleNode& node = bundle.nodes[i];
        if (i == bundle.member) {
            node.size = newLength;
        } else if (node.offset >= oldEnd) {
            node.offset = node.offset - oldLength + newLength;
        }
    }
    // Everything after the member moved when its length changed.
    bundle.MarkChanged(innerStart,
                       newLength == oldLength ? innerStart + newLength : std::max(newTotal, oldEnd));
}

bool DataMover::Add(std::uint64_t from, std::uint64_t size, std::int64_t shift) {
    const std::uint64_t end = from + size;
    const auto allZero = [](std::span<const std::uint8_t> bytes) {
        return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
    };
    if (open_ && shift == shift_ &&
        (from <= end_ || allZero(rewrite_.serialized().subspan(end_, from - end_)))) {
        end_ = std::max(end_, end);
        return true;
    }
    const bool ok = Flush();
    open_ = true;
    from_ = from;
    end_ = end;
    shift_ = shift;
    return ok;
}

bool DataMover::Flush() {
    if (!open_) {
        return true;
    }
    open_ = false;
    return rewrite_.Copy(from_, from_ + static_cast<std::uint64_t>(shift_), end_ - from_);
}

std::vector<std::uint32_t> DataOrder(const AssetFile& doc) {
    std::vector<std::uint32_t> order;
    order.reserve(doc.entries.size());
    bool sorted = true;
    for (std::uint32_t k = 0; k < doc.entries.size(); ++k) {
        if (doc.entries[k].size > 0) {
            sorted = sorted &&
                     (order.empty() || doc.entries[order.back()].offset <= doc.entries[k].offset);
            order.push_back(k);
        }
    }
    // Files written by the engine keep their table in data order: nothing to sort.
    if (sorted) {
        return order;
    }
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        const AssetEntry& x = doc.entries[a];
        const AssetEntry& y = doc.entries[b];
        return x.offset != y.offset ? x.offset < y.offset : a < b;
    });
    return order;
}

Outcome WorkingCopyRewrite::WriteFailure() const {
    return Outcome::Failure(u"Cannot write the new working copy " + writer_.path() + u": " +
                            writer_.error() + u". The working copy is unchanged.");
}

}  // namespace kestrova
