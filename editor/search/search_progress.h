#pragma once
// The progress line of a search. After each position p that the scan visits, the percentage
// p / S x 100 (S the file length) is computed in double precision and rounded to single
// precision, and the line "Number Found:%d\tPercent Searched:%d%%" is shown only when that float
// is a whole number. The scan does not visit positions one by one, so this class is told about
// whole ranges of visited positions; it shows every line that a position-by-position loop would
// show, each line once where that loop would show it several times in a row.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kestrova {

using SearchStatus = std::function<void(std::u16string_view text)>;

class SearchProgress {
public:
    SearchProgress(std::uint64_t fileLength, SearchStatus status);

    // Positions [from, to) were visited while the result list held `found` entries.
    void VisitRange(std::uint64_t from, std::uint64_t to, std::uint32_t found);
    // Position `at` was visited with `found` entries; it may lie beyond the end of the file when
    // an asset's data reaches past it.
    void VisitAt(std::uint64_t at, std::uint32_t found);

    // The float percentage of position `at`.
    float PercentAt(std::uint64_t at) const;
    static std::u16string Text(std::uint32_t found, std::int64_t percent);

private:
    // Positions whose percentage is exactly k form one run [first[k], end[k]) because the
    // percentage never decreases as the position grows; an empty run has first == end.
    static constexpr int kWholePercents = 101;

    std::uint64_t FirstPositionAtLeast(float percent) const;
    void Show(std::uint32_t found, std::int64_t percent);

    std::uint64_t length_;
    SearchStatus status_;
    std::array<std::uint64_t, kWholePercents> first_{};
    std::array<std::uint64_t, kWholePercents> end_{};
    int nextWindow_ = 0;
    bool shown_ = false;
    std::uint32_t shownFound_ = 0;
    std::int64_t shownPercent_ = 0;
};

}  // namespace kestrova
