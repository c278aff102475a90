#pragma once
// Finds the first position of a block at which a search pattern matches. Two bytes of the pattern
// (the ones least likely to occur in asset data) are tested sixteen positions at a time; only
// positions where both agree are compared in full.

#include <cstddef>
#include <cstdint>

#include "editor/search/search_pattern.h"

namespace kestrova {

class PatternScanner {
public:
    explicit PatternScanner(const SearchPattern& pattern);

    // The first i < candidates at which the pattern matches data[i ...], or kNotFound. `data`
    // holds candidates + width - 1 bytes at least. An empty pattern matches at once.
    std::size_t Find(const std::uint8_t* data, std::size_t candidates) const;

    static constexpr std::size_t kNotFound = SIZE_MAX;

private:
    const SearchPattern& pattern_;
    std::size_t first_ = 0;  // the two anchor bytes' places in the pattern
    std::size_t second_ = 0;
};

}  // namespace kestrova
