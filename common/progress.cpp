#include "common/progress.h"

#include <algorithm>
#include <utility>

#include "common/text.h"

namespace kestrova {

ByteProgress::ByteProgress(ProgressCallback progress, std::u16string_view what, std::uint64_t total,
                           std::stop_token stop)
    : progress_(std::move(progress)), what_(what), total_(total), stop_(std::move(stop)) {}

bool ByteProgress::Advance(std::uint64_t bytes) {
    const std::uint64_t before = done_;
    done_ = std::min(total_, done_ + bytes);
    if (!progress_ || done_ >= total_ || done_ / kProgressChunk == before / kProgressChunk) {
        return !stopped();
    }
    constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
    const auto mib = [](std::uint64_t n) { return DecimalText(static_cast<std::int64_t>(n)); };
    progress_(
        what_ + u": (" + mib(done_ / kMiB) + u"/" + mib((total_ + kMiB - 1) / kMiB) + u" MiB)",
        static_cast<float>(static_cast<double>(done_) / static_cast<double>(total_)));
    return !stopped();
}

std::uint64_t ByteProgress::NextPiece(std::uint64_t remaining) const {
    if (!stepped()) {
        return remaining;
    }
    return std::min(remaining, kProgressChunk - done_ % kProgressChunk);
}

}  // namespace kestrova
