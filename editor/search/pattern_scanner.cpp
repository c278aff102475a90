#include "pattern_scanner.h"

#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kestrova {

namespace {

// A rough cost of anchoring on a byte: how often bytes of that value turn up in asset data (zero
// padding, 0xFF fill, spaces and common letters of names and text are frequent), times the number
// of byte values that its mask lets through.
unsigned AnchorCost(std::uint8_t value, std::uint8_t mask) {
    auto frequency = [](unsigned byte) -> unsigned {
        if (byte == 0x00) {
            return 64;
        }
        if (byte == 0xFF || byte == 0x20 || byte == 0x01) {
            return 16;
        }
        if ((byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9')) {
            return 4;
        }
        if (byte >= 'A' && byte <= 'Z') {
            return 2;
        }
        return 1;
    };
    unsigned cost = 0;
    unsigned spread = 1U << std::popcount(static_cast<unsigned>(static_cast<std::uint8_t>(~mask)));
    if (spread <= 2) {
        // A case-insensitive letter or a signed zero: add both values.
        cost = frequency(value) +
               (spread == 2 ? frequency(value | static_cast<std::uint8_t>(~mask)) : 0);
    } else {
        cost = 8 * spread;
    }
    return cost;
}

}  // namespace

PatternScanner::PatternScanner(const SearchPattern& pattern) : pattern_(pattern) {
    const std::size_t width = pattern.width();
    if (width == 0) {
        return;
    }
    // The cheapest byte, then the cheapest other one; ties go to the ends of the pattern, which
    // tell the most about neighbouring candidates.
    auto better = [&](std::size_t a, std::size_t b) {
        return AnchorCost(pattern.values[a], pattern.masks[a]) <
               AnchorCost(pattern.values[b], pattern.masks[b]);
    };
    first_ = 0;
    for (std::size_t k = 1; k < width; ++k) {
        if (better(k, first_)) {
            first_ = k;
        }
    }
    second_ = first_;
    for (std::size_t k = width; k-- > 0;) {
        if (k != first_ && (second_ == first_ || better(k, second_))) {
            second_ = k;
        }
    }
}

std::size_t PatternScanner::Find(const std::uint8_t* data, std::size_t candidates) const {
    if (pattern_.matchesNothing || candidates == 0) {
        return kNotFound;
    }
    if (pattern_.width() == 0) {
        return 0;
    }
    const std::uint8_t value1 = pattern_.values[first_];
    const std::uint8_t mask1 = pattern_.masks[first_];
    const std::uint8_t value2 = pattern_.values[second_];
    const std::uint8_t mask2 = pattern_.masks[second_];
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i wanted1 = _mm_set1_epi8(static_cast<char>(value1));
    const __m128i masks1 = _mm_set1_epi8(static_cast<char>(mask1));
    const __m128i wanted2 = _mm_set1_epi8(static_cast<char>(value2));
    const __m128i masks2 = _mm_set1_epi8(static_cast<char>(mask2));
    const std::uint8_t* at1 = data + first_;
    const std::uint8_t* at2 = data + second_;
    auto agree = [&](std::size_t offset) {
        __m128i bytes1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at1 + offset));
        __m128i bytes2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at2 + offset));
        __m128i equal1 = _mm_cmpeq_epi8(_mm_and_si128(bytes1, masks1), wanted1);
        __m128i equal2 = _mm_cmpeq_epi8(_mm_and_si128(bytes2, masks2), wanted2);
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(equal1, equal2)));
    };
    auto firstMatch = [&](std::size_t offset, unsigned bits) -> std::size_t {
        while (bits != 0) {
            std::size_t at = offset + static_cast<std::size_t>(std::countr_zero(bits));
            if (pattern_.MatchesAt(data + at)) {
                return at;
            }
            bits &= bits - 1;
        }
        return kNotFound;
    };
    // Two vectors per round keep both load ports busy on the common path where nothing agrees.
    for (; i + 32 <= candidates; i += 32) {
        unsigned low = agree(i);
        unsigned high = agree(i + 16);
        if ((low | high) != 0) {
            std::size_t found = firstMatch(i, low);
            if (found == kNotFound) {
                found = firstMatch(i + 16, high);
            }
            if (found != kNotFound) {
                return found;
            }
        }
    }
    for (; i + 16 <= candidates; i += 16) {
        std::size_t found = firstMatch(i, agree(i));
        if (found != kNotFound) {
            return found;
        }
    }
#endif
    for (; i < candidates; ++i) {
        if ((data[i + first_] & mask1) == value1 && (data[i + second_] & mask2) == value2 &&
            pattern_.MatchesAt(data + i)) {
            return i;
        }
    }
    return kNotFound;
}

}  // namespace kestrova
