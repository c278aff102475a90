#pragma once
// C streams for Ravelin's files: closed at the end of their scope, and written with every
// failure noticed (a short write, an error kept by the stream, an error reported on close).

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>

#include "common/progress.h"

namespace kestrova::ravelin {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

inline bool WriteAll(std::FILE* stream, std::span<const std::uint8_t> bytes) {
    return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
}

// The same a chunk at a time, each chunk reported; false also when a stop ended it.
inline bool WriteAll(std::FILE* stream, std::span<const std::uint8_t> bytes,
                     ByteProgress& progress) {
    while (!bytes.empty()) {
        const auto piece = static_cast<std::size_t>(progress.NextPiece(bytes.size()));
        if (!WriteAll(stream, bytes.first(piece)) || !progress.Advance(piece)) {
            return false;
        }
        bytes = bytes.subspan(piece);
    }
    return true;
}

// Closes the stream; true when everything written to it reached the file.
inline bool CloseWritten(UniqueFile& file) {
    std::FILE* f = file.release();
    const bool ok = std::fflush(f) == 0 && std::ferror(f) == 0;
    return std::fclose(f) == 0 && ok;
}

}  // namespace kestrova::ravelin
