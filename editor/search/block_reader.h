#pragma once
// Reads a file front to back through one fixed buffer, so that a search over a file of any size
// holds no more than one block of it in memory.

#include <cstdint>
#include <cstdio>
#include <vector>

namespace kestrova {

class BlockReader {
public:
    // `file` stays open and owned by the caller; it is read with seeks, from any position.
    BlockReader(std::FILE* file, std::uint64_t fileLength, std::size_t blockSize);

    // Makes at least `want` bytes from `position` available and returns a pointer to the byte at
    // `position`; `available` receives how many bytes follow it in the buffer (at least `want`).
    // Bytes already in the buffer are not read again. Null when the file cannot give them.
    const std::uint8_t* Ensure(std::uint64_t position, std::size_t want, std::size_t& available);

private:
    std::FILE* file_;
    std::uint64_t length_;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t bufferStart_ = 0;
    std::size_t bufferFill_ = 0;
};

}  // namespace kestrova
