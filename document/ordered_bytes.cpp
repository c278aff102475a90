#include "document/ordered_bytes.h"

#include <algorithm>

namespace kestrova {

bool OrderedReader::Unsigned(std::uint64_t& value, std::size_t width) {
    bool read = false;
    switch (width) {
        case 1: {
            std::uint8_t v = 0;
            read = reader_.ReadByte(v);
            value = v;
            break;
        }
        case 2: {
            std::uint16_t v = 0;
            read = bigEndian_ ? reader_.ReadBigEndian16(v) : reader_.ReadLittleEndian16(v);
            value = v;
            break;
        }
        case 4: {
            std::uint32_t v = 0;
            read = bigEndian_ ? reader_.ReadBigEndian32(v) : reader_.ReadLittleEndian32(v);
            value = v;
            break;
        }
        default:
            read = bigEndian_ ? reader_.ReadBigEndian64(value) : reader_.ReadLittleEndian64(value);
            break;
    }
    return read;
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
    switch (width) {
        case 2:
            bigEndian ? PutBigEndian16(out, static_cast<std::uint16_t>(value))
                      : PutLittleEndian16(out, static_cast<std::uint16_t>(value));
            break;
        case 4:
            bigEndian ? PutBigEndian32(out, static_cast<std::uint32_t>(value))
                      : PutLittleEndian32(out, static_cast<std::uint32_t>(value));
            break;
        default:
            bigEndian ? PutBigEndian64(out, value) : PutLittleEndian64(out, value);
            break;
    }
}

}  // namespace kestrova
