#pragma once
// The bytes of the asset being edited. Editing overwrites bytes and never changes the length. The
// document remembers the first value of every byte that now differs from it, so that changed bytes
// can be marked and an untouched asset costs nothing beyond its bytes, and it keeps the edits in
// order so that they can be undone.

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <vector>

namespace kestrova::hex {

class HexDocument {
public:
    HexDocument() = default;
    explicit HexDocument(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

    std::uint64_t size() const { return bytes_.size(); }
    std::span<const std::uint8_t> bytes() const { return bytes_; }
    // The byte at `offset`; 0 outside the data.
    std::uint8_t at(std::uint64_t offset) const { return offset < size() ? bytes_[offset] : 0; }
    // Up to `count` bytes from `offset`, fewer at the end of the data.
    std::span<const std::uint8_t> Slice(std::uint64_t offset, std::uint64_t count) const;

    // Overwrites one byte. False, and nothing changes, when `offset` lies outside the data.
    bool Write(std::uint64_t offset, std::uint8_t value);
    // Reverts the last edit that is not yet undone and returns the offset it concerned.
    std::optional<std::uint64_t> Undo();
    bool CanUndo() const { return !edits_.empty(); }

    // True when some byte differs from the bytes the document began with.
    bool changed() const { return !originals_.empty(); }
    bool IsChanged(std::uint64_t offset) const { return originals_.contains(offset); }
    std::size_t changedCount() const { return originals_.size(); }

private:
    struct Edit {
        std::uint64_t offset;
        std::uint8_t before;
    };
    // Sets a byte and keeps `originals_` to the bytes that differ from their first value.
    void Put(std::uint64_t offset, std::uint8_t value);

    std::vector<std::uint8_t> bytes_;
    std::map<std::uint64_t, std::uint8_t> originals_;
    std::vector<Edit> edits_;
};

}  // namespace kestrova::hex
