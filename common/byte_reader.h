#pragma once
// The one way the program reads untrusted bytes (asset files, bundles, mod files, icon and
// program files): ByteReader never reads outside its span and reports a read that would. The Put
// functions are the matching writers, which append a word to a buffer.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kestrova {

// Sequential reads from a span of bytes. Positions are 64-bit and every bound is checked before
// an add can overflow; a read that does not fit fails, leaves the position where it was and
// marks the reader failed.
class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> bytes, std::uint64_t position = 0)
        : bytes_(bytes), position_(position <= bytes.size() ? position : bytes.size()) {}

    std::uint64_t position() const { return position_; }
    std::uint64_t size() const { return bytes_.size(); }
    std::uint64_t remaining() const { return bytes_.size() - position_; }
    bool failed() const { return failed_; }

    bool Seek(std::uint64_t position);
    bool Skip(std::uint64_t count);
    bool ReadByte(std::uint8_t& value);
    bool ReadBigEndian16(std::uint16_t& value);
    bool ReadBigEndian32(std::uint32_t& value);
    bool ReadBigEndian64(std::uint64_t& value);
    bool ReadLittleEndian16(std::uint16_t& value);
    bool ReadLittleEndian32(std::uint32_t& value);
    bool ReadBytes(std::span<std::uint8_t> out);
    // The next `count` bytes without moving; empty (and failed) when they do not all fit.
    std::span<const std::uint8_t> View(std::uint64_t count);

    // True when [start, start + count) lies inside the span, computed without overflow.
    bool Contains(std::uint64_t start, std::uint64_t count) const {
        return start <= bytes_.size() && count <= bytes_.size() - start;
    }

private:
    bool Fail() {
        failed_ = true;
        return false;
    }

    std::span<const std::uint8_t> bytes_;
    std::uint64_t position_ = 0;
    bool failed_ = false;
};

// Rounds up to a multiple of 4 in 64 bits, so that no length wraps.
inline std::uint64_t RoundUp4(std::uint64_t n) {
    return (n + 3) & ~std::uint64_t{3};
}

inline void PutBigEndian32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 24));
    out.push_back(static_cast<std::uint8_t>(v >> 16));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

inline void PutBigEndian16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

inline void PutBigEndian64(std::vector<std::uint8_t>& out, std::uint64_t v) {
    PutBigEndian32(out, static_cast<std::uint32_t>(v >> 32));
    PutBigEndian32(out, static_cast<std::uint32_t>(v));
}

inline void PutLittleEndian32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v >> 16));
    out.push_back(static_cast<std::uint8_t>(v >> 24));
}

}  // namespace kestrova
