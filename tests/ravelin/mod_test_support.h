#pragma once
// What Ravelin's tests share: mod files written byte by byte (independently of the writer under
// test), and a fixture whose working files lie in a fresh temporary folder.

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "common/text.h"
#include "plugins/ravelin/core/mod_file.h"
#include "tests/common/temp_folder.h"

namespace kestrova::testing {

using Bytes = std::vector<std::uint8_t>;

inline void PutWord(Bytes& out, std::uint32_t v) {
    for (int shift = 0; shift <= 24; shift += 8) {
        out.push_back(static_cast<std::uint8_t>(v >> shift));
    }
}

// A stored text: its length in code units, then the units, little-endian.
inline void PutModText(Bytes& out, std::u16string_view text) {
    PutWord(out, static_cast<std::uint32_t>(text.size()));
    for (char16_t c : text) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
}

struct EntryBytes {
    std::u16string fileName;
    std::u16string assetName;
    std::uint32_t type = 0;
    std::uint32_t index = 0;
    std::uint32_t length = 0;
    std::uint32_t offset = 0;
};

// A whole mod file: `texts` are the nine texts in file order (eight for the older form, which
// also drops the version word), then the table and the payload.
inline Bytes ModFileBytes(std::initializer_list<std::u16string_view> texts,
                          const std::vector<EntryBytes>& entries, const Bytes& payload,
                          bool older = false) {
    Bytes out;
    if (!older) {
        PutWord(out, 1);
    }
    for (std::u16string_view t : texts) {
        PutModText(out, t);
    }
    PutWord(out, static_cast<std::uint32_t>(entries.size()));
    for (const EntryBytes& e : entries) {
        PutModText(out, e.fileName);
        PutModText(out, e.assetName);
        for (std::uint32_t w : {e.type, e.index, e.length, e.offset}) {
            PutWord(out, w);
        }
    }
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

inline Bytes ToBytes(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

class RavelinTest : public ::testing::Test {
protected:
    RavelinTest() {
        folder.MakeFolder("Temp");
        files.data = folder.Wide("Temp/mod");
        files.scratch = folder.Wide("Temp/mod2");
    }

    void WriteFile(const std::string& name, const Bytes& bytes) const {
        folder.Write(name, std::string(bytes.begin(), bytes.end()));
    }
    Bytes ReadFile(const std::string& name) const { return ToBytes(folder.Read(name)); }
    bool Exists(const std::string& name) const {
        return std::filesystem::exists(folder.path() / name);
    }
    Bytes DataFile() const { return ReadFile("Temp/mod"); }

    TempFolder folder;
    ravelin::ModWorkFiles files;
};

}  // namespace kestrova::testing
