#include "document/ordered_bytes.h"

#include <algorithm>

namespace kestrova {

bool OrderedReader::Unsigned(std::uint64_t& value, std::size_t width) {
    std::span<const std::uint8_t> bytes = reader_.View(width);
    if (bytes.size() != width) {
        return false;
    }
    value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        const std::uint8_t b = bigEndian_ ? bytes[i] : bytes[width - 1 - i];
        value = (value << 8) | b;
    }
    return reader_.Skip(width);
}

bool OrderedReader::ReadText(std::string& text) {
    std::span<const std::uint8_t> rest = reader_.View(reader_.remaining());
    const auto end = std::find(rest.begin(), rest.end(), std::uint8_t{0});
    if (end == rest.end()) {
        return false;
    }
    const auto length = static_cast<std::size_t>(end - rest.begin());
    text.assign(reinterpret_cast<const char*>(rest.data()), length);
    return reader_.Skip(length + 1);
}

void PutOrdered(std::vector<std::uint8_t>& out, std::uint64_t value, std::size_t width,
                bool bigEndian) {
    for (std::size_t i = 0; i < width; ++i) {
        const std::size_t shift = 8 * (bigEndian ? width - 1 - i : i);
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

}  // namespace kestrova
