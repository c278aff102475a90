#include "plugins/support/body_reader.h"

#include <limits>
#include <stdexcept>

namespace kestrova::plugin {

bool BodyReader::ReadLittleEndian16(std::uint16_t& value) {
    if (remaining() < 2) {
        return false;
    }
    value = static_cast<std::uint16_t>(bytes_[position_] | (bytes_[position_ + 1] << 8));
    position_ += 2;
    return true;
}

bool BodyReader::ReadLittleEndian32(std::uint32_t& value) {
    if (remaining() < 4) {
        return false;
    }
    value = LittleEndian32At(bytes_, position_);
    position_ += 4;
    return true;
}

bool BodyReader::Take(std::uint64_t count, ByteSpan& out) {
    if (count > remaining()) {
        return false;
    }
    out = bytes_.subspan(position_, static_cast<std::size_t>(count));
    position_ += static_cast<std::size_t>(count);
    return true;
}

ByteSpan BodyReader::TakeAtMost(std::uint64_t count) {
    ByteSpan out;
    Take(count < remaining() ? count : remaining(), out);
    return out;
}

void AppendLittleEndian32(Bytes& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

void Append(Bytes& out, ByteSpan bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

std::uint32_t LittleEndian32At(ByteSpan bytes, std::size_t offset) {
    const std::uint8_t* p = bytes.data() + offset;
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}

bool ReadAlignedBlock(BodyReader& reader, std::string_view what, AlignedBlock& block,
                      std::string& error) {
    std::uint32_t length = 0;
    if (!reader.ReadLittleEndian32(length)) {
        error = "The body ends before the length of its " + std::string(what) + ".";
        return false;
    }
    if (!reader.Take(length, block.bytes)) {
        error = "The " + std::string(what) + " is said to be " + std::to_string(length) +
                " bytes long, but the body holds only " + std::to_string(reader.remaining()) +
                " more bytes.";
        return false;
    }
    block.padding = reader.TakeAtMost(PaddingFor(length));
    return true;
}

void AppendAlignedBlock(Bytes& out, ByteSpan bytes, const AlignedBlock& stored) {
    if (bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
        throw std::length_error("block too long for its length word");
    }
    AppendLittleEndian32(out, static_cast<std::uint32_t>(bytes.size()));
    Append(out, bytes);
    if (bytes.size() == stored.bytes.size()) {
        Append(out, stored.padding);
    } else {
        out.insert(out.end(), PaddingFor(bytes.size()), std::uint8_t{0});
    }
}

}  // namespace kestrova::plugin
