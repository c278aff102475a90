#pragma once
// The bundle tests' fixture: a temporary folder with a working folder "Temp" in it, and the
// bundle layer's open (read, then decompress into Temp) on bytes or files.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/text.h"
#include "document/bundle/bundle_archive.h"
#include "document/bundle/data_stream.h"
#include "tests/bundle/bundle_builder.h"

namespace kestrova::testing {

class BundleTest : public ::testing::Test {
protected:
    BundleTest() { folder.MakeFolder("Temp"); }

    std::u16string StreamPath() const { return folder.Wide("Temp/stream"); }

    // Reads `source` and decompresses its data into Temp/stream, as opening does.
    Outcome Open(const bundle::ByteSource& source, bundle::BundleArchive& archive,
                 Bytes* stream = nullptr) {
        Outcome o = bundle::ReadBundleArchive(source, archive);
        if (o) {
            o = bundle::ExtractDataStream(source, archive, StreamPath());
        }
        if (o && stream != nullptr) {
            *stream = ReadBytes(folder.File("Temp/stream"));
        }
        return o;
    }
    Outcome Open(const Bytes& bytes, bundle::BundleArchive& archive, Bytes* stream = nullptr) {
        bundle::MemorySource source(bytes);
        return Open(source, archive, stream);
    }

    std::size_t FilesInTemp() const {
        return static_cast<std::size_t>(
            std::distance(std::filesystem::directory_iterator(folder.path() / "Temp"),
                          std::filesystem::directory_iterator()));
    }

    TempFolder folder;
};

// The bundles among the real game files (KESTROVA_REALDATA/modern); none without that folder.
inline std::vector<std::string> RealBundles() {
    const char* real = std::getenv("KESTROVA_REALDATA");
    std::vector<std::string> found;
    std::error_code none;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(
             std::string(real != nullptr ? real : "/nonexistent") + "/modern", none)) {
        std::uint8_t start[16] = {};
        std::ifstream(entry.path(), std::ios::binary).read(reinterpret_cast<char*>(start), 16);
        if (entry.is_regular_file() && bundle::LooksLikeBundle(start)) {
            found.push_back(entry.path().string());
        }
    }
    return found;
}

inline std::string Message(const Outcome& o) {
    return Utf16ToUtf8(o.message);
}

}  // namespace kestrova::testing
