// The system half of the file helpers on Windows. Descriptors are the C runtime's, made from
// handles opened with every sharing mode, so that a file being read can still be renamed aside,
// as the working copy's rewrite does; positioned reads and writes go to the handle beneath.

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <vector>

#include "common/platform.h"
#include "common/win32_api.h"
#include "document/range_writer.h"

namespace kestrova {

namespace {

FileDescriptor FromHandle(HANDLE handle, int flags) {
    if (handle == INVALID_HANDLE_VALUE) {
        return FileDescriptor();
    }
    int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(handle);
        ::SetLastError(ERROR_TOO_MANY_OPEN_FILES);
    }
    return FileDescriptor(fd);
}

HANDLE OpenHandle(const std::u16string& path, DWORD access, DWORD disposition) {
    return ::CreateFileW(platform::WidePath(path), access,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

HANDLE HandleOf(int fd) {
    return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

OVERLAPPED At(std::uint64_t position) {
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(position);
    where.OffsetHigh = static_cast<DWORD>(position >> 32);
    return where;
}

// Single reads and writes stay well below the 4 GiB a DWORD can count.
constexpr std::size_t kLargestTransfer = std::size_t{1} << 30;

}  // namespace

FileDescriptor FileDescriptor::OpenForReading(const std::u16string& path) {
    return FromHandle(OpenHandle(path, GENERIC_READ, OPEN_EXISTING), _O_RDONLY);
}

FileDescriptor FileDescriptor::OpenForWriting(const std::u16string& path) {
    return FromHandle(OpenHandle(path, GENERIC_WRITE, OPEN_EXISTING), _O_WRONLY);
}

FileDescriptor FileDescriptor::Create(const std::u16string& path) {
    return FromHandle(OpenHandle(path, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS), _O_RDWR);
}

namespace {

// Repeats a positioned ReadFile or WriteFile (`transfer`) until the whole span is done; false on
// an error or when nothing more moves.
template <typename Byte, typename Transfer>
bool WholeSpan(int fd, std::span<Byte> bytes, std::uint64_t position, Transfer transfer) {
    while (!bytes.empty()) {
        OVERLAPPED where = At(position);
        DWORD want = static_cast<DWORD>(std::min(bytes.size(), kLargestTransfer));
        DWORD done = 0;
        if (transfer(HandleOf(fd), bytes.data(), want, &done, &where) == 0 || done == 0) {
            if (done == 0 && ::GetLastError() == ERROR_SUCCESS) {
                ::SetLastError(ERROR_HANDLE_EOF);
            }
            return false;
        }
        bytes = bytes.subspan(done);
        position += done;
    }
    return true;
}

}  // namespace

bool ReadAt(int fd, std::uint64_t position, std::span<std::uint8_t> bytes) {
    return WholeSpan(fd, bytes, position, ::ReadFile);
}

bool WriteAt(int fd, std::uint64_t position, std::span<const std::uint8_t> bytes) {
    return WholeSpan(fd, bytes, position, ::WriteFile);
}

bool SetFileLength(int fd, std::uint64_t length) {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
    return ::SetFileInformationByHandle(HandleOf(fd), FileEndOfFileInfo, &end, sizeof end) != 0;
}

bool SyncFile(int fd) {
    return ::FlushFileBuffers(HandleOf(fd)) != 0;
}

bool CopyRange(int source, std::uint64_t from, int target, std::uint64_t to, std::uint64_t count) {
    std::vector<std::uint8_t> buffer(
        static_cast<std::size_t>(std::min<std::uint64_t>(count, std::uint64_t{4} << 20)));
    while (count > 0) {
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, buffer.size()));
        std::span<std::uint8_t> chunk(buffer.data(), n);
        if (!ReadAt(source, from, chunk) || !WriteAt(target, to, chunk)) {
            return false;
        }
        from += n;
        to += n;
        count -= n;
    }
    return true;
}

}  // namespace kestrova
