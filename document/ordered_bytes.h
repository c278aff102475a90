#pragma once
// Numbers in a serialized file's own byte order (little-endian, or big-endian when its endianness
// byte is 1): reads through the bounds-checked ByteReader, and the matching appends.

#include <cstdint>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

#include "sdk/byte_reader.h"

namespace kestrova {

class OrderedReader {
public:
    OrderedReader(ByteReader& reader, bool bigEndian) : reader_(reader), bigEndian_(bigEndian) {}

    ByteReader& bytes() { return reader_; }
    std::uint64_t position() const { return reader_.position(); }
    std::uint64_t remaining() const { return reader_.remaining(); }

    // An integer of the width of `T`.
    template <typename T>
    requires std::is_integral_v<T>
    bool Read(T& value) {
        std::uint64_t v = 0;
        if (!Unsigned(v, sizeof(T))) {
            return false;
        }
        value = static_cast<T>(v);
        return true;
    }
    bool Read(std::span<std::uint8_t> out) { return reader_.ReadBytes(out); }
    // Skips to the next multiple of 4 counted from the reader's first byte (the serialized
    // file's first byte).
    bool Align4() { return reader_.Skip(RoundUp4(reader_.position()) - reader_.position()); }
    // A zero-terminated text; false when no terminator follows inside the reader's span.
    bool ReadText(std::string& text);

private:
    bool Unsigned(std::uint64_t& value, std::size_t width);

    ByteReader& reader_;
    bool bigEndian_;
};

// Appends `value` in `width` bytes (2, 4 or 8), big-endian or little-endian.
void PutOrdered(std::vector<std::uint8_t>& out, std::uint64_t value, std::size_t width,
                bool bigEndian);

}  // namespace kestrova
