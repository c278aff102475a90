#include "search_progress.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>

#include "common/text.h"

namespace kestrova {

SearchProgress::SearchProgress(std::uint64_t fileLength, SearchStatus status)
    : length_(fileLength), status_(std::move(status)) {
    if (length_ == 0) {
        first_.fill(0);
        end_.fill(0);
        return;
    }
    for (int k = 0; k < kWholePercents; ++k) {
        auto whole = static_cast<float>(k);
        first_[k] = FirstPositionAtLeast(whole);
        end_[k] = FirstPositionAtLeast(std::nextafter(whole, std::numeric_limits<float>::max()));
    }
}

float SearchProgress::PercentAt(std::uint64_t at) const {
    double ratio = static_cast<double>(at) / static_cast<double>(length_);
    return static_cast<float>(ratio * 100.0);
}

// Binary search over the positions of the file, [0, length).
std::uint64_t SearchProgress::FirstPositionAtLeast(float percent) const {
    std::uint64_t low = 0;
    std::uint64_t high = length_;
    while (low < high) {
        std::uint64_t middle = low + (high - low) / 2;
        if (PercentAt(middle) >= percent) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    return low;
}

void SearchProgress::VisitRange(std::uint64_t from, std::uint64_t to, std::uint32_t found) {
    if (from >= to) {
        return;
    }
    while (nextWindow_ < kWholePercents && end_[nextWindow_] <= from) {
        ++nextWindow_;
    }
    // A window that reaches past `to` stays current: later positions in it show the line again,
    // perhaps with another count.
    for (int k = nextWindow_; k < kWholePercents && first_[k] < to; ++k) {
        if (first_[k] < end_[k] && end_[k] > from) {
            Show(found, k);
        }
    }
}

void SearchProgress::VisitAt(std::uint64_t at, std::uint32_t found) {
    float percent = PercentAt(at);
    if (std::fmod(percent, 1.0f) == 0.0f) {
        Show(found, static_cast<std::int64_t>(percent));
    }
}

std::u16string SearchProgress::Text(std::uint32_t found, std::int64_t percent) {
    char text[96];
    std::snprintf(text, sizeof text, "Number Found:%d\tPercent Searched:%lld%%",
                  static_cast<int>(found), static_cast<long long>(percent));
    return Ascii(text);
}

void SearchProgress::Show(std::uint32_t found, std::int64_t percent) {
    if (shown_ && shownFound_ == found && shownPercent_ == percent) {
        return;
    }
    shown_ = true;
    shownFound_ = found;
    shownPercent_ = percent;
    if (status_) {
        status_(Text(found, percent));
    }
}

}  // namespace kestrova
