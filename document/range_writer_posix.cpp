// The system half of the file helpers on Linux and other POSIX systems: descriptors, positioned
// reads and writes, and copies between files by the kernel.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "common/platform.h"
#include "document/range_writer.h"

namespace kestrova {

FileDescriptor FileDescriptor::OpenForReading(const std::u16string& path) {
    return FileDescriptor(::open(platform::NativePath(path).c_str(), O_RDONLY | O_CLOEXEC));
}

FileDescriptor FileDescriptor::OpenForWriting(const std::u16string& path) {
    return FileDescriptor(::open(platform::NativePath(path).c_str(), O_WRONLY | O_CLOEXEC));
}

FileDescriptor FileDescriptor::Create(const std::u16string& path) {
    return FileDescriptor(
        ::open(platform::NativePath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
}

namespace {

// Repeats a positioned read or write (`transfer`, with pread's arguments and result) until the
// whole span is done; false on an error or when nothing more moves.
template <typename Byte, typename Transfer>
bool WholeSpan(std::span<Byte> bytes, std::uint64_t position, Transfer transfer) {
    while (!bytes.empty()) {
        ssize_t n = transfer(bytes.data(), bytes.size(), static_cast<off_t>(position));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(n));
        position += static_cast<std::uint64_t>(n);
    }
    return true;
}

}  // namespace

bool ReadAt(int fd, std::uint64_t position, std::span<std::uint8_t> bytes) {
    return WholeSpan(bytes, position,
                     [fd](void* p, std::size_t n, off_t at) { return ::pread(fd, p, n, at); });
}

bool WriteAt(int fd, std::uint64_t position, std::span<const std::uint8_t> bytes) {
    return WholeSpan(bytes, position, [fd](const void* p, std::size_t n, off_t at) {
        return ::pwrite(fd, p, n, at);
    });
}

bool SetFileLength(int fd, std::uint64_t length) {
    return ::ftruncate(fd, static_cast<off_t>(length)) == 0;
}

bool SyncFile(int fd) {
    return ::fdatasync(fd) == 0;
}

bool CopyRange(int source, std::uint64_t from, int target, std::uint64_t to, std::uint64_t count) {
    while (count > 0) {
        loff_t in = static_cast<loff_t>(from);
        loff_t out = static_cast<loff_t>(to);
        std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(count, 1u << 30));
        ssize_t n = ::copy_file_range(source, &in, target, &out, chunk, 0);
        if (n > 0) {
            from += static_cast<std::uint64_t>(n);
            to += static_cast<std::uint64_t>(n);
            count -= static_cast<std::uint64_t>(n);
            continue;
        }
        if (n == 0) {
            errno = EIO;  // the source ended before the range did
            return false;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL) {
            return false;
        }
        // No kernel copy between these files: copy through a bounded buffer.
        std::vector<std::uint8_t> buffer(
            static_cast<std::size_t>(std::min<std::uint64_t>(count, std::uint64_t{4} << 20)));
        while (count > 0) {
            std::size_t want =
                static_cast<std::size_t>(std::min<std::uint64_t>(count, buffer.size()));
            ssize_t got = ::pread(source, buffer.data(), want, static_cast<off_t>(from));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                if (got == 0) {
                    errno = EIO;
                }
                return false;
            }
            std::size_t done = static_cast<std::size_t>(got);
            if (!WriteAt(target, to, std::span<const std::uint8_t>(buffer.data(), done))) {
                return false;
            }
            from += done;
            to += done;
            count -= done;
        }
    }
    return true;
}

}  // namespace kestrova
