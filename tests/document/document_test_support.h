#pragma once
// Shared pieces of the document tests: a fixture with a temporary folder in which files are
// built and a document whose working folder lies inside it.

#include <gtest/gtest.h>

#include <string>

#include "common/text.h"
#include "document/asset_file.h"
#include "tests/document/asset_file_builder.h"

namespace kestrova::testing {

inline std::u16string Wide(const std::string& s) {
    return Utf8ToUtf16(s);
}

class DocumentTest : public ::testing::Test {
protected:
    DocumentTest() { doc.workingFolder = Wide(folder.File("Temp")); }
    ~DocumentTest() override { CloseAssetFile(doc); }

    // Writes `bytes` as a file and loads it; the test fails when the load is refused.
    void Load(const Bytes& bytes, const std::string& name = "input.assets") {
        WriteBytes(folder.File(name), bytes);
        Outcome outcome = LoadAssetFile(doc, Wide(folder.File(name)));
        ASSERT_TRUE(outcome.ok) << Utf16ToUtf8(outcome.message);
    }
    Outcome TryLoad(const Bytes& bytes, const std::string& name = "input.assets") {
        WriteBytes(folder.File(name), bytes);
        return LoadAssetFile(doc, Wide(folder.File(name)));
    }
    Bytes WorkingCopy() const { return ReadBytes(Utf16ToUtf8(doc.WorkingCopyPath())); }
    std::string Name(std::size_t i) const { return Utf16ToUtf8(doc.entries.at(i).name); }
    Bytes Body(std::uint32_t i) const { return ReadAssetBody(doc, i).value_or(Bytes{0xEE}); }

    TempFolder folder;
    AssetFile doc;
};

inline Bytes Filled(std::size_t n, std::uint8_t first) {
    Bytes out(n);
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = static_cast<std::uint8_t>(first + i);
    }
    return out;
}

}  // namespace kestrova::testing
