#include "platform.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "text.h"

namespace kestrova::platform {

std::string NativePath(const std::u16string& path) {
    return Utf16ToUtf8(path);
}

std::FILE* OpenFile(const std::u16string& path, const char* mode) {
    return std::fopen(NativePath(path).c_str(), mode);
}

int CreateFileBeside(const std::u16string& target, std::u16string& path) {
    for (int i = 0; i < 1000; ++i) {
        path = target + u".partial" + (i == 0 ? u"" : DecimalText(i));
        const int fd =
            ::open(NativePath(path).c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            return fd;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    path.clear();
    return -1;
}

std::FILE* WriteStream(int descriptor) {
    return ::fdopen(descriptor, "wb");
}

bool CloseDescriptor(int descriptor) {
    return ::close(descriptor) == 0;
}

std::u16string SystemErrorText() {
    return Utf8ToUtf16(std::generic_category().message(errno));
}

namespace {

// Copies the whole of one open file into another with the kernel's copy where it can.
bool CopyDescriptor(int in, int out) {
    for (;;) {
        ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        if (n == 0) {
            return true;
        }
        if (n > 0) {
            continue;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EXDEV && errno != ENOSYS && errno != EOPNOTSUPP && errno != EINVAL) {
            return false;
        }
        break;
    }
    char buffer[1 << 16];
    for (;;) {
        ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n == 0) {
            return true;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        for (ssize_t done = 0; done < n;) {
            ssize_t w = ::write(out, buffer + done, static_cast<size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return false;
            }
            done += w;
        }
    }
}

}  // namespace

bool CopyFile(const std::u16string& from, const std::u16string& to) {
    int in = ::open(NativePath(from).c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        return false;
    }
    struct stat info {};
    if (::fstat(in, &info) != 0 || S_ISDIR(info.st_mode)) {
        ::close(in);
        return false;
    }
    // Truncating the target would empty the source when both name the same file.
    std::string target = NativePath(to);
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0 && existing.st_dev == info.st_dev &&
        existing.st_ino == info.st_ino) {
        ::close(in);
        return false;
    }
    int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        ::close(in);
        return false;
    }
    bool ok = CopyDescriptor(in, out);
    ::close(in);
    if (::close(out) != 0) {
        ok = false;
    }
    return ok;
}

bool MoveFile(const std::u16string& from, const std::u16string& to) {
    std::string target = NativePath(to);
#ifdef RENAME_NOREPLACE
    // One step that refuses an existing target, so nothing created meanwhile can be overwritten.
    if (::renameat2(AT_FDCWD, NativePath(from).c_str(), AT_FDCWD, target.c_str(),
                    RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
#endif
    struct stat info {};
    if (::lstat(target.c_str(), &info) == 0) {
        return false;
    }
    return ::rename(NativePath(from).c_str(), target.c_str()) == 0;
}

bool ReplaceFile(const std::u16string& from, const std::u16string& to) {
    return ::rename(NativePath(from).c_str(), NativePath(to).c_str()) == 0;
}

bool DeleteFile(const std::u16string& path) {
    return ::unlink(NativePath(path).c_str()) == 0;
}

bool CreateDirectory(const std::u16string& path) {
    return ::mkdir(NativePath(path).c_str(), 0755) == 0;
}

bool RemoveDirectory(const std::u16string& path) {
    return ::rmdir(NativePath(path).c_str()) == 0;
}

bool FileExists(const std::u16string& path) {
    struct stat info {};
    return ::stat(NativePath(path).c_str(), &info) == 0;
}

std::u16string ResolvedPath(const std::u16string& path) {
    char* full = ::realpath(NativePath(path).c_str(), nullptr);
    if (full == nullptr) {
        return {};
    }
    std::u16string resolved = Utf8ToUtf16(full);
    std::free(full);
    return resolved;
}

std::optional<unsigned long long> FileSize(const std::u16string& path) {
    struct stat info {};
    if (::stat(NativePath(path).c_str(), &info) != 0) {
        return std::nullopt;
    }
    return static_cast<unsigned long long>(info.st_size);
}

std::optional<unsigned long long> FreeSpace(const std::u16string& folder) {
    struct statvfs info {};
    if (::statvfs(NativePath(folder).c_str(), &info) != 0) {
        return std::nullopt;
    }
    return static_cast<unsigned long long>(info.f_bavail) * info.f_frsize;
}

std::optional<std::vector<DirectoryEntry>> ListDirectory(const std::u16string& folder) {
    std::string native = NativePath(folder);
    DIR* dir = ::opendir(native.c_str());
    if (dir == nullptr) {
        return std::nullopt;
    }
    std::vector<DirectoryEntry> entries;
    while (const dirent* item = ::readdir(dir)) {
        std::string_view name = item->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        bool isFolder = false;
        if (item->d_type == DT_DIR) {
            isFolder = true;
        } else if (item->d_type == DT_UNKNOWN || item->d_type == DT_LNK) {
            struct stat info {};
            std::string full = native + "/" + std::string(name);
            isFolder = ::stat(full.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
        }
        entries.push_back({Utf8ToUtf16(name), isFolder});
    }
    ::closedir(dir);
    return entries;
}

LibraryHandle LoadLibrary(const std::u16string& path) {
    std::string native = NativePath(path);
    // A bare name would make the loader search the system's folders; plug-ins name files.
    if (native.find('/') == std::string::npos) {
        native = "./" + native;
    }
    // An absolute name makes the loader report a path that stays valid if the current directory
    // changes later (ModulePath relies on it).
    std::error_code error;
    auto absolute = std::filesystem::absolute(native, error);
    if (!error) {
        native = absolute.string();
    }
    return ::dlopen(native.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* FindSymbol(LibraryHandle library, const char* name) {
    return library == nullptr ? nullptr : ::dlsym(library, name);
}

void FreeLibrary(LibraryHandle library) {
    if (library != nullptr) {
        ::dlclose(library);
    }
}

std::u16string ModulePath(const void* address) {
    Dl_info info{};
    link_map* module = nullptr;
    if (::dladdr1(address, &info, reinterpret_cast<void**>(&module), RTLD_DL_LINKMAP) == 0 ||
        info.dli_fname == nullptr) {
        return {};
    }
    // For the program itself the loader reports argv[0], which is a bare name when the program was
    // started through PATH (as a desktop menu starts it); the kernel knows the file.
    if (module != nullptr && module->l_name != nullptr && module->l_name[0] == '\0') {
        std::error_code error;
        const std::filesystem::path program =
            std::filesystem::read_symlink("/proc/self/exe", error);
        if (!error) {
            return Utf8ToUtf16(program.string());
        }
    }
    // The loader reports the name it was given, which may be relative to the current directory.
    if (char* full = ::realpath(info.dli_fname, nullptr)) {
        std::u16string path = Utf8ToUtf16(full);
        std::free(full);
        return path;
    }
    return Utf8ToUtf16(info.dli_fname);
}

}  // namespace kestrova::platform
