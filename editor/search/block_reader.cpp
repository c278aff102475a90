#include "block_reader.h"

#include <algorithm>

namespace kestrova {

namespace {

bool SeekTo(std::FILE* file, std::uint64_t position) {
#if defined(_WIN32)
    return _fseeki64(file, static_cast<__int64>(position), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(position), SEEK_SET) == 0;
#endif
}

}  // namespace

BlockReader::BlockReader(std::FILE* file, std::uint64_t fileLength, std::size_t blockSize)
    : file_(file), length_(fileLength), buffer_(blockSize) {
    // Whole blocks go straight from the system into the buffer, without the stream's own copy.
    std::setvbuf(file_, nullptr, _IONBF, 0);
}

const std::uint8_t* BlockReader::Ensure(std::uint64_t position, std::size_t want,
                                        std::size_t& available) {
    if (want > buffer_.size()) {
        buffer_.resize(want);
    }
    bool held = position >= bufferStart_ && position - bufferStart_ <= bufferFill_ &&
                bufferFill_ - (position - bufferStart_) >= want;
    if (!held) {
        bufferStart_ = position;
        bufferFill_ = 0;
        if (position < length_ && SeekTo(file_, position)) {
            auto wanted = static_cast<std::size_t>(
                std::min<std::uint64_t>(buffer_.size(), length_ - position));
            bufferFill_ = std::fread(buffer_.data(), 1, wanted, file_);
        }
        if (bufferFill_ < want) {
            available = 0;
            return nullptr;
        }
    }
    auto offset = static_cast<std::size_t>(position - bufferStart_);
    available = bufferFill_ - offset;
    return buffer_.data() + offset;
}

}  // namespace kestrova
