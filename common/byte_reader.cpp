#include "byte_reader.h"

#include <cstring>

namespace kestrova {

bool ByteReader::Seek(std::uint64_t position) {
    if (position > bytes_.size()) {
        return Fail();
    }
    position_ = position;
    return true;
}

bool ByteReader::Skip(std::uint64_t count) {
    if (count > remaining()) {
        return Fail();
    }
    position_ += count;
    return true;
}

bool ByteReader::ReadByte(std::uint8_t& value) {
    if (remaining() < 1) {
        return Fail();
    }
    value = bytes_[position_++];
    return true;
}

bool ByteReader::ReadBigEndian32(std::uint32_t& value) {
    if (remaining() < 4) {
        return Fail();
    }
    const std::uint8_t* p = bytes_.data() + position_;
    value = (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
            std::uint32_t{p[3]};
    position_ += 4;
    return true;
}

bool ByteReader::ReadBigEndian16(std::uint16_t& value) {
    if (remaining() < 2) {
        return Fail();
    }
    const std::uint8_t* p = bytes_.data() + position_;
    value = static_cast<std::uint16_t>((p[0] << 8) | p[1]);
    position_ += 2;
    return true;
}

bool ByteReader::ReadBigEndian64(std::uint64_t& value) {
    std::uint32_t high = 0;
    std::uint32_t low = 0;
    if (remaining() < 8) {
        return Fail();
    }
    ReadBigEndian32(high);
    ReadBigEndian32(low);
    value = (std::uint64_t{high} << 32) | low;
    return true;
}

bool ByteReader::ReadLittleEndian16(std::uint16_t& value) {
    if (remaining() < 2) {
        return Fail();
    }
    const std::uint8_t* p = bytes_.data() + position_;
    value = static_cast<std::uint16_t>(p[0] | (p[1] << 8));
    position_ += 2;
    return true;
}

bool ByteReader::ReadLittleEndian32(std::uint32_t& value) {
    if (remaining() < 4) {
        return Fail();
    }
    const std::uint8_t* p = bytes_.data() + position_;
    value = std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
            (std::uint32_t{p[3]} << 24);
    position_ += 4;
    return true;
}

bool ByteReader::ReadBytes(std::span<std::uint8_t> out) {
    if (out.size() > remaining()) {
        return Fail();
    }
    if (!out.empty()) {
        std::memcpy(out.data(), bytes_.data() + position_, out.size());
    }
    position_ += out.size();
    return true;
}

std::span<const std::uint8_t> ByteReader::View(std::uint64_t count) {
    if (count > remaining()) {
        Fail();
        return {};
    }
    return bytes_.subspan(position_, count);
}

}  // namespace kestrova
