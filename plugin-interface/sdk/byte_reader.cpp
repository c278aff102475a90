#include "sdk/byte_reader.h"

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
    return bytes_.subspan(static_cast<std::size_t>(position_), static_cast<std::size_t>(count));
}

bool ByteReader::Take(std::uint64_t count, std::span<const std::uint8_t>& out) {
    if (count > remaining()) {
        return Fail();
    }
    out = View(count);
    position_ += count;
    return true;
}

std::span<const std::uint8_t> ByteReader::TakeAtMost(std::uint64_t count) {
    std::span<const std::uint8_t> out;
    Take(count < remaining() ? count : remaining(), out);
    return out;
}

namespace {

template <typename Word>
void PutBig(std::vector<std::uint8_t>& out, Word value) {
    for (int shift = 8 * (static_cast<int>(sizeof(Word)) - 1); shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

template <typename Word>
void PutLittle(std::vector<std::uint8_t>& out, Word value) {
    for (int shift = 0; shift < 8 * static_cast<int>(sizeof(Word)); shift += 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

}  // namespace

void PutBigEndian16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    PutBig(out, value);
}
void PutBigEndian32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    PutBig(out, value);
}
void PutBigEndian64(std::vector<std::uint8_t>& out, std::uint64_t value) {
    PutBig(out, value);
}
void PutLittleEndian16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    PutLittle(out, value);
}
void PutLittleEndian32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    PutLittle(out, value);
}
void PutLittleEndian64(std::vector<std::uint8_t>& out, std::uint64_t value) {
    PutLittle(out, value);
}

void PutBytes(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

}  // namespace kestrova
