#pragma once
// The one way Kestrova and its plug-ins read untrusted bytes (asset files and bodies, bundles,
// mod files, icon and program files): ByteReader never reads outside its span and reports a
// read that would. Standard library only, so that a plug-in may compile it in. The Put functions
// are the matching writers, which append to a buffer.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kestrova {

// Sequential reads from a span of bytes, in either byte order. Positions are 64-bit and every
// bound is checked before an add can overflow; a read that does not fit fails, leaves the
// position where it was and marks the reader failed.
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
    bool ReadLittleEndian16(std::uint16_t& value) { return ReadWord<Order::Little>(value); }
    bool ReadLittleEndian32(std::uint32_t& value) { return ReadWord<Order::Little>(value); }
    bool ReadLittleEndian64(std::uint64_t& value) { return ReadWord<Order::Little>(value); }
    bool ReadBigEndian16(std::uint16_t& value) { return ReadWord<Order::Big>(value); }
    bool ReadBigEndian32(std::uint32_t& value) { return ReadWord<Order::Big>(value); }
    bool ReadBigEndian64(std::uint64_t& value) { return ReadWord<Order::Big>(value); }
    // Copies the next out.size() bytes into `out`.
    bool ReadBytes(std::span<std::uint8_t> out);

    // The next `count` bytes as a view, without moving; empty (and failed) when they do not all
    // fit.
    std::span<const std::uint8_t> View(std::uint64_t count);
    // The next `count` bytes as a view, moving past them; false, and nothing moved, when fewer
    // remain.
    bool Take(std::uint64_t count, std::span<const std::uint8_t>& out);
    // The next `count` bytes, or as many as remain when fewer do; never fails.
    std::span<const std::uint8_t> TakeAtMost(std::uint64_t count);
    std::span<const std::uint8_t> TakeRest() { return TakeAtMost(remaining()); }

    // True when [start, start + count) lies inside the span, computed without overflow.
    bool Contains(std::uint64_t start, std::uint64_t count) const {
        return start <= bytes_.size() && count <= bytes_.size() - start;
    }

private:
    enum class Order { Little, Big };

    // Inline, so that each read compiles to a bounds check and one load.
    template <Order order, class Word>
    bool ReadWord(Word& value) {
        if (remaining() < sizeof(Word)) {
            return Fail();
        }
        const std::uint8_t* p = bytes_.data() + position_;
        std::uint64_t word = 0;
        for (std::size_t i = 0; i < sizeof(Word); ++i) {
            word = (word << 8) | p[order == Order::Big ? i : sizeof(Word) - 1 - i];
        }
        value = static_cast<Word>(word);
        position_ += sizeof(Word);
        return true;
    }
    bool Fail() {
        failed_ = true;
        return false;
    }

    std::span<const std::uint8_t> bytes_;
    std::uint64_t position_ = 0;
    bool failed_ = false;
};

// Rounds up to a multiple of 4 in 64 bits, so that no length wraps.
constexpr std::uint64_t RoundUp4(std::uint64_t n) {
    return (n + 3) & ~std::uint64_t{3};
}

// The zero bytes that bring `length` up to a multiple of 4.
constexpr std::size_t PaddingFor(std::uint64_t length) {
    return static_cast<std::size_t>((4 - length % 4) % 4);
}

void PutBigEndian16(std::vector<std::uint8_t>& out, std::uint16_t value);
void PutBigEndian32(std::vector<std::uint8_t>& out, std::uint32_t value);
void PutBigEndian64(std::vector<std::uint8_t>& out, std::uint64_t value);
void PutLittleEndian16(std::vector<std::uint8_t>& out, std::uint16_t value);
void PutLittleEndian32(std::vector<std::uint8_t>& out, std::uint32_t value);
void PutLittleEndian64(std::vector<std::uint8_t>& out, std::uint64_t value);
void PutBytes(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> bytes);

}  // namespace kestrova
