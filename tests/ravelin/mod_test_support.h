#pragma once
// What Ravelin's tests share: mod files written byte by byte (independently of the writer under
// test), and a fixture whose working files lie in a fresh temporary folder.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "common/text.h"
#include "plugins/ravelin/core/mod_file.h"
#include "tests/document/asset_file_builder.h"

namespace kestrova::testing {

// A stored text: its length in code units, then the units, little-endian.
inline void PutModText(Bytes& out, std::u16string_view text) {
    PutLittle32(out, static_cast<std::uint32_t>(text.size()));
    for (char16_t c : text) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(static_cast<std::uint8_t>(c >> 8));
    }
}

// One record of the table; the extended form also stores `member`, `classId` and `pathIdHigh`,
// the upper word of the 64-bit path id whose lower word is `index`.
struct EntryBytes {
    EntryBytes(std::u16string file, std::u16string asset, std::uint32_t type_, std::uint32_t index_,
               std::uint32_t length_, std::uint32_t offset_, std::u16string member_ = {},
               std::int32_t classId_ = 0, std::uint32_t pathIdHigh_ = 0)
        : fileName(std::move(file)),
          assetName(std::move(asset)),
          type(type_),
          index(index_),
          length(length_),
          offset(offset_),
          member(std::move(member_)),
          classId(classId_),
          pathIdHigh(pathIdHigh_) {}

    std::u16string fileName;
    std::u16string assetName;
    std::uint32_t type;
    std::uint32_t index;
    std::uint32_t length;
    std::uint32_t offset;
    std::u16string member;
    std::int32_t classId;
    std::uint32_t pathIdHigh;
};

// A whole mod file: `texts` are the nine texts in file order (eight for the older form, which
// also drops the version word), then the table and the payload.
inline Bytes ModFileBytes(std::initializer_list<std::u16string_view> texts,
                          const std::vector<EntryBytes>& entries, const Bytes& payload,
                          ravelin::ModFormat form = ravelin::ModFormat::Current) {
    Bytes out;
    if (form == ravelin::ModFormat::Current) {
        PutLittle32(out, 1);
    } else if (form == ravelin::ModFormat::Extended) {
        PutLittle32(out, 0x80000002);
    }
    for (std::u16string_view t : texts) {
        PutModText(out, t);
    }
    PutLittle32(out, static_cast<std::uint32_t>(entries.size()));
    for (const EntryBytes& e : entries) {
        PutModText(out, e.fileName);
        PutModText(out, e.assetName);
        if (form == ravelin::ModFormat::Extended) {
            PutModText(out, e.member);
            for (std::uint32_t w : {e.type, static_cast<std::uint32_t>(e.classId), e.index,
                                    e.pathIdHigh, e.length, e.offset}) {
                PutLittle32(out, w);
            }
        } else {
            for (std::uint32_t w : {e.type, e.index, e.length, e.offset}) {
                PutLittle32(out, w);
            }
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
        MakeFolder("Temp");
        files.data = Wide("Temp/mod");
        files.scratch = Wide("Temp/mod2");
    }

    // A path inside the test's folder, as the core's wide text.
    std::u16string Wide(const std::string& name) const { return Utf8ToUtf16(folder.File(name)); }
    void MakeFolder(const std::string& name) const {
        std::filesystem::create_directories(folder.File(name));
    }
    void Write(const std::string& name, const std::string& text) const {
        WriteFile(name, ToBytes(text));
    }
    void WriteFile(const std::string& name, const Bytes& bytes) const {
        std::filesystem::create_directories(std::filesystem::path(folder.File(name)).parent_path());
        WriteBytes(folder.File(name), bytes);
    }
    Bytes ReadFile(const std::string& name) const { return ReadBytes(folder.File(name)); }
    bool Exists(const std::string& name) const {
        return std::filesystem::exists(folder.File(name));
    }
    Bytes DataFile() const { return ReadFile("Temp/mod"); }

    TempFolder folder;
    ravelin::ModWorkFiles files;
};

}  // namespace kestrova::testing
