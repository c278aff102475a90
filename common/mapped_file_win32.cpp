// A read-only mapping of a whole file on Windows. The file is opened so that it can still be
// renamed or deleted while mapped, as the working copy's rewrite does on Linux.

#include "common/mapped_file.h"
#include "common/platform.h"
#include "common/win32_api.h"

namespace kestrova {

bool MappedFile::Open(const std::u16string& path) {
    Close();
    HANDLE file = ::CreateFileW(platform::WidePath(path), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    LARGE_INTEGER length{};
    if (::GetFileSizeEx(file, &length) == 0 || length.QuadPart < 0 ||
        static_cast<unsigned long long>(length.QuadPart) > SIZE_MAX) {
        ::CloseHandle(file);
        return false;
    }
    size_ = static_cast<std::size_t>(length.QuadPart);
    if (size_ > 0) {
        // The view keeps the mapping alive; both handles can go at once.
        HANDLE mapping = ::CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        void* view =
            mapping != nullptr ? ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
        if (mapping != nullptr) {
            ::CloseHandle(mapping);
        }
        if (view == nullptr) {
            ::CloseHandle(file);
            size_ = 0;
            return false;
        }
        data_ = static_cast<const std::uint8_t*>(view);
    }
    ::CloseHandle(file);
    open_ = true;
    return true;
}

void MappedFile::Close() {
    if (data_ != nullptr) {
        ::UnmapViewOfFile(data_);
    }
    data_ = nullptr;
    size_ = 0;
    open_ = false;
}

// Windows reads mapped files ahead by itself; there is nothing to tell it.
void MappedFile::AdviseSequential() const {}
void MappedFile::AdviseRandom() const {}

}  // namespace kestrova
