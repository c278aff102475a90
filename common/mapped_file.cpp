#include "mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform.h"

namespace kestrova {

bool MappedFile::Open(const std::u16string& path) {
    Close();
    int fd = ::open(platform::NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    size_ = static_cast<std::size_t>(info.st_size);
    if (size_ > 0) {
        void* view = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
        if (view == MAP_FAILED) {
            ::close(fd);
            size_ = 0;
            return false;
        }
        data_ = static_cast<const std::uint8_t*>(view);
    }
    ::close(fd);
    open_ = true;
    return true;
}

void MappedFile::Close() {
    if (data_ != nullptr) {
        ::munmap(const_cast<std::uint8_t*>(data_), size_);
    }
    data_ = nullptr;
    size_ = 0;
    open_ = false;
}

void MappedFile::AdviseSequential() const {
    if (data_ != nullptr) {
        ::madvise(const_cast<std::uint8_t*>(data_), size_, MADV_SEQUENTIAL);
    }
}

void MappedFile::AdviseRandom() const {
    if (data_ != nullptr) {
        ::madvise(const_cast<std::uint8_t*>(data_), size_, MADV_RANDOM);
    }
}

}  // namespace kestrova
