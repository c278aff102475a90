#include "asset_locator.h"

#include <algorithm>
#include <functional>
#include <queue>

namespace kestrova {

AssetLocator::AssetLocator(const AssetFile& doc) {
    const std::uint64_t base = doc.DataBase();
    const auto count = static_cast<std::uint32_t>(doc.entries.size());
    std::vector<std::uint64_t> starts(count);
    ends_.resize(count);
    std::vector<std::uint32_t> byStart;
    std::vector<std::uint64_t> bounds;
    for (std::uint32_t i = 0; i < count; ++i) {
        starts[i] = base + doc.entries[i].offset;
        ends_[i] = starts[i] + doc.entries[i].size;
        if (doc.entries[i].size != 0) {
            byStart.push_back(i);
            bounds.push_back(starts[i]);
            bounds.push_back(ends_[i]);
        }
    }
    std::stable_sort(byStart.begin(), byStart.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return starts[a] < starts[b]; });
    std::sort(bounds.begin(), bounds.end());
    bounds.erase(std::unique(bounds.begin(), bounds.end()), bounds.end());

    // Sweep the boundaries in order, keeping the assets whose data has begun in a min-heap of
    // table indices; those whose data has ended are dropped when they reach the top.
    std::priority_queue<std::uint32_t, std::vector<std::uint32_t>, std::greater<>> active;
    std::size_t nextStart = 0;
    segments_.push_back({0, kNoOwner});
    for (std::uint64_t bound : bounds) {
        while (nextStart < byStart.size() && starts[byStart[nextStart]] == bound) {
            active.push(byStart[nextStart++]);
        }
        while (!active.empty() && ends_[active.top()] <= bound) {
            active.pop();
        }
        std::uint32_t owner = active.empty() ? kNoOwner : active.top();
        if (owner != segments_.back().owner) {
            segments_.push_back({bound, owner});
        }
    }
    // The end of each segment's owned run, found once from the back.
    runEnds_.resize(segments_.size(), kNowhere);
    for (std::size_t i = segments_.size() - 1; i-- > 0;) {
        bool nextOwned = segments_[i + 1].owner != kNoOwner;
        runEnds_[i] = nextOwned ? runEnds_[i + 1] : segments_[i + 1].start;
    }
}

std::size_t AssetLocator::SegmentOf(std::uint64_t position) const {
    auto after = std::upper_bound(
        segments_.begin(), segments_.end(), position,
        [](std::uint64_t value, const Segment& segment) { return value < segment.start; });
    return static_cast<std::size_t>(after - segments_.begin()) - 1;
}

std::optional<std::uint32_t> AssetLocator::Owner(std::uint64_t position) const {
    std::uint32_t owner = segments_[SegmentOf(position)].owner;
    if (owner == kNoOwner) {
        return std::nullopt;
    }
    return owner;
}

std::uint64_t AssetLocator::NextOwned(std::uint64_t position) const {
    std::size_t index = SegmentOf(position);
    if (segments_[index].owner != kNoOwner) {
        return position;
    }
    // Neighbouring segments never share an owner, so the next one is owned.
    return index + 1 < segments_.size() ? segments_[index + 1].start : kNowhere;
}

std::uint64_t AssetLocator::OwnedRunEnd(std::uint64_t position) const {
    return runEnds_[SegmentOf(position)];
}

}  // namespace kestrova
