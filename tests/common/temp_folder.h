#pragma once
// A fresh folder under the system's temporary folder, or in memory, removed with everything in it
// at the end.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "common/text.h"

namespace kestrova::testing {

// Where a TempFolder is made. Memory (/dev/shm, where the system has it) is for programs that
// write files for every input, such as the fuzz targets: a disk file system starts writing a file
// out when it is truncated or renamed over, and a program doing that per input waits for the disk.
enum class TempFolderPlace { Temporary, Memory };

class TempFolder {
public:
    explicit TempFolder(TempFolderPlace place = TempFolderPlace::Temporary) {
        std::error_code error;
        const std::filesystem::path memory = "/dev/shm";
        const auto base = place == TempFolderPlace::Memory &&
                                  std::filesystem::is_directory(memory, error) &&
                                  ::access(memory.c_str(), W_OK) == 0
                              ? memory
                              : std::filesystem::temp_directory_path();
        std::string pattern = (base / "kestrova-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~TempFolder() {
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // A path inside the folder, as text.
    std::string File(std::string_view relative) const { return (path_ / relative).string(); }
    // The folder, or a path inside it, as the core's wide text.
    std::u16string Wide(const std::string& relative = {}) const {
        return Utf8ToUtf16((relative.empty() ? path_ : path_ / relative).string());
    }
    void Write(const std::string& relative, const std::string& bytes) const {
        std::filesystem::create_directories((path_ / relative).parent_path());
        std::ofstream(path_ / relative, std::ios::binary) << bytes;
    }
    void MakeFolder(const std::string& relative) const {
        std::filesystem::create_directories(path_ / relative);
    }
    std::string Read(const std::string& relative) const {
        std::ifstream in(path_ / relative, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

private:
    std::filesystem::path path_;
};

}  // namespace kestrova::testing
