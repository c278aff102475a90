#pragma once
// A fresh folder under the system's temporary folder, removed with everything in it at the end.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "common/text.h"

namespace kestrova::testing {

class TempFolder {
public:
    TempFolder() {
        auto base = std::filesystem::temp_directory_path();
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
