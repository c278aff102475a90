#pragma once
// Where a bundle's bytes come from: a file read piece by piece at positions, or bytes already in
// memory (tests, the fuzzer). A bundle is never read into memory whole; only its header, its
// blocks info and one block at a time are.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "document/range_writer.h"

namespace kestrova::bundle {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Reads [position, position + out.size()); false when the range does not lie wholly inside
    // the source or the read fails.
    virtual bool Read(std::uint64_t position, std::span<std::uint8_t> out) const = 0;

    bool Contains(std::uint64_t position, std::uint64_t count) const {
        return position <= size() && count <= size() - position;
    }

    // Copies [from, from + count) to position `to` of the writer's file, in pieces.
    virtual bool CopyTo(RangeWriter& writer, std::uint64_t from, std::uint64_t to,
                        std::uint64_t count) const;
};

class FileSource : public ByteSource {
public:
    // False when the file cannot be opened or examined.
    bool Open(const std::u16string& path);
    std::uint64_t size() const override { return size_; }
    bool Read(std::uint64_t position, std::span<std::uint8_t> out) const override;
    // By the kernel, without passing through memory.
    bool CopyTo(RangeWriter& writer, std::uint64_t from, std::uint64_t to,
                std::uint64_t count) const override;
    const std::u16string& path() const { return path_; }
    int descriptor() const { return fd_.get(); }

private:
    FileDescriptor fd_;
    std::u16string path_;
    std::uint64_t size_ = 0;
};

class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint64_t size() const override { return bytes_.size(); }
    bool Read(std::uint64_t position, std::span<std::uint8_t> out) const override;

private:
    std::span<const std::uint8_t> bytes_;
};

// Reads `count` bytes at `position` into `out` (resized to them); false when they do not all lie
// inside the source. The caller bounds `count` before it sizes the buffer.
bool ReadRange(const ByteSource& source, std::uint64_t position, std::uint64_t count,
               std::vector<std::uint8_t>& out);

}  // namespace kestrova::bundle
