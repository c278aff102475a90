#pragma once
// Which asset a position of the working copy belongs to. Assets may overlap, leave gaps or be
// empty; a position belongs to the first asset in table order whose data holds it. The table is
// cut once into runs of positions with one owner each, so a lookup is a binary search.

#include <cstdint>
#include <optional>
#include <vector>

#include "document/asset_file.h"

namespace kestrova {

class AssetLocator {
public:
    explicit AssetLocator(const AssetFile& doc);

    // The table index of the asset that owns `position`, if any.
    std::optional<std::uint32_t> Owner(std::uint64_t position) const;

    // The first position at or after `position` that some asset owns, or kNowhere.
    std::uint64_t NextOwned(std::uint64_t position) const;
    // The end of the run of owned positions that holds `position` (which must be owned).
    std::uint64_t OwnedRunEnd(std::uint64_t position) const;

    // One past the last byte of asset `index`'s data.
    std::uint64_t DataEnd(std::uint32_t index) const { return ends_[index]; }

    static constexpr std::uint64_t kNowhere = UINT64_MAX;

private:
    static constexpr std::uint32_t kNoOwner = UINT32_MAX;
    struct Segment {
        std::uint64_t start;  // the segment lasts until the next one's start
        std::uint32_t owner;  // kNoOwner for positions that no asset holds
    };

    std::size_t SegmentOf(std::uint64_t position) const;

    std::vector<Segment> segments_;
    std::vector<std::uint64_t> runEnds_;
    std::vector<std::uint64_t> ends_;
};

}  // namespace kestrova
