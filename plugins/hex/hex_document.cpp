#include "hex_document.h"

#include <algorithm>

namespace kestrova::hex {

std::span<const std::uint8_t> HexDocument::Slice(std::uint64_t offset, std::uint64_t count) const {
    if (offset >= size()) {
        return {};
    }
    return bytes().subspan(offset, std::min(count, size() - offset));
}

bool HexDocument::Write(std::uint64_t offset, std::uint8_t value) {
    if (offset >= size()) {
        return false;
    }
    if (bytes_[offset] != value) {
        edits_.push_back({offset, bytes_[offset]});
        Put(offset, value);
    }
    return true;
}

std::optional<std::uint64_t> HexDocument::Undo() {
    if (edits_.empty()) {
        return std::nullopt;
    }
    const Edit edit = edits_.back();
    edits_.pop_back();
    Put(edit.offset, edit.before);
    return edit.offset;
}

void HexDocument::Put(std::uint64_t offset, std::uint8_t value) {
    const auto original = originals_.try_emplace(offset, bytes_[offset]).first;
    bytes_[offset] = value;
    if (original->second == value) {
        originals_.erase(original);
    }
}

}  // namespace kestrova::hex
