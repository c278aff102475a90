#include "common/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "common/platform.h"

namespace kestrova {

FolderLock::~FolderLock() {
    Release();
}

bool FolderLock::Acquire(const std::u16string& folder) {
    Release();
    const std::string path = platform::NativePath(folder + platform::kSeparator + u"lock");
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void FolderLock::Release() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace kestrova
