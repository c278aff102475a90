#include "document/bundle/byte_source.h"

#include <algorithm>
#include <cstring>

#include "common/platform.h"

namespace kestrova::bundle {

bool FileSource::Open(const std::u16string& path) {
    path_ = path;
    fd_ = FileDescriptor::OpenForReading(path);
    std::optional<unsigned long long> length = platform::FileSize(path);
    if (!fd_.valid() || !length) {
        fd_.Reset();
        return false;
    }
    size_ = *length;
    return true;
}

bool FileSource::Read(std::uint64_t position, std::span<std::uint8_t> out) const {
    return Contains(position, out.size()) && ReadAt(fd_.get(), position, out);
}

bool FileSource::CopyTo(RangeWriter& writer, std::uint64_t from, std::uint64_t to,
                        std::uint64_t count) const {
    return Contains(from, count) && writer.Copy(fd_.get(), from, to, count);
}

bool ByteSource::CopyTo(RangeWriter& writer, std::uint64_t from, std::uint64_t to,
                        std::uint64_t count) const {
    constexpr std::uint64_t kPiece = std::uint64_t{4} << 20;
    std::vector<std::uint8_t> buffer;
    for (std::uint64_t done = 0; done < count;) {
        const std::uint64_t n = std::min(kPiece, count - done);
        if (!ReadRange(*this, from + done, n, buffer) || !writer.Write(to + done, buffer)) {
            return false;
        }
        done += n;
    }
    return true;
}

bool MemorySource::Read(std::uint64_t position, std::span<std::uint8_t> out) const {
    if (!Contains(position, out.size())) {
        return false;
    }
    if (!out.empty()) {
        std::memcpy(out.data(), bytes_.data() + position, out.size());
    }
    return true;
}

bool ReadRange(const ByteSource& source, std::uint64_t position, std::uint64_t count,
               std::vector<std::uint8_t>& out) {
    if (!source.Contains(position, count)) {
        return false;
    }
    out.resize(static_cast<std::size_t>(count));
    return source.Read(position, out);
}

}  // namespace kestrova::bundle
