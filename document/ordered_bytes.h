#pragma once
// Numbers in a serialized file's own byte order (little-endian, or big-endian when its endianness
// byte is 1): reads through the bounds-checked ByteReader, and the matching appends.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/byte_reader.h"

namespace kestrova {

class OrderedReader {
public:
    OrderedReader(ByteReader& reader, bool bigEndian) : reader_(reader), bigEndian_(bigEndian) {}

    ByteReader& bytes() { return reader_; }
    std::uint64_t position() const { return reader_.position(); }
    std::uint64_t remaining() const { return reader_.remaining(); }

    bool Read(std::uint8_t& value) { return reader_.ReadByte(value); }
    bool Read(std::uint16_t& value);
    bool Read(std::uint32_t& value);
    bool Read(std::uint64_t& value);
    bool Read(std::int16_t& value);
    bool Read(std::int32_t& value);
    bool Read(std::int64_t& value);
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
