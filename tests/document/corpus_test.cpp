// Real game files (their folder comes from KESTROVA_REALDATA; skipped when it is not set).

#include <cstdlib>
#include <filesystem>

#include "tests/document/document_test_support.h"

namespace kestrova::testing {
namespace {

const char* const kFormatNineFiles[] = {
    "ld24_Ludum_Data_mainData",
    "ld24_Ludum_Data_level0",
    "ld24_Ludum_Data_resources.assets",
    "ld24_Ludum_Data_sharedassets1.assets",
    "ld24_EvilTestsWin32_level0",
    "ld24_EvilTestsWin32_sharedassets0.assets",
    "ld24_EvilTestsWin32_sharedassets1.assets",
    "ld24_EvilTestsWin32_unity_default_resources",
    "ld24_EvilTestsMac_mainData",
    "ioshello_u421_iOS_mainData",
    "ioshello_u421_iOS_sharedassets0.assets",
};

class CorpusTest : public DocumentTest {
protected:
    void SetUp() override {
        const char* folderName = std::getenv("KESTROVA_REALDATA");
        if (folderName == nullptr || !std::filesystem::exists(folderName)) {
            GTEST_SKIP() << "KESTROVA_REALDATA is not set";
        }
        data = folderName;
    }
    std::string Path(const std::string& name) const { return data + "/" + name; }
    void LoadReal(const std::string& name) {
        Outcome o = LoadAssetFile(doc, Wide(Path(name)));
        ASSERT_TRUE(o.ok) << name << ": " << Utf16ToUtf8(o.message);
    }
    bool HasName(const std::string& name) const {
        for (const AssetEntry& e : doc.entries) {
            if (Utf16ToUtf8(e.name) == name) {
                return true;
            }
        }
        return false;
    }

    std::string data;
};

TEST_F(CorpusTest, EveryFormatNineFileLoadsWithItsNames) {
    for (const char* name : kFormatNineFiles) {
        LoadReal(name);
        EXPECT_EQ(doc.entries.size(), doc.header.assetCount) << name;
        EXPECT_EQ(doc.header.formatVersion, 9u) << name;
    }
    LoadReal("ld24_Ludum_Data_resources.assets");
    EXPECT_TRUE(HasName("Crosshair"));
    EXPECT_TRUE(HasName("aaa"));
    EXPECT_TRUE(HasName("boing"));
    LoadReal("ld24_EvilTestsWin32_unity_default_resources");
    EXPECT_TRUE(HasName("Normal-DiffuseFast"));
}

TEST_F(CorpusTest, ExportingAndImportingEveryBodyChangesNoByte) {
    for (const char* name : kFormatNineFiles) {
        LoadReal(name);
        Bytes original = ReadBytes(Path(name));
        for (std::uint32_t i = 0; i < doc.entries.size(); ++i) {
            std::u16string out = Wide(folder.File("body.data"));
            ASSERT_TRUE(ExportAssetBody(doc, i, out).ok) << name << " " << i;
            std::optional<Bytes> body = ReadWholeFile(out);
            ASSERT_TRUE(body.has_value());
            ASSERT_TRUE(ReplaceAssetBody(doc, i, *body).ok) << name << " " << i;
        }
        EXPECT_TRUE(WorkingCopy() == original) << name;
    }
}

// Growing an asset and shrinking it back moves every later asset there and back again.
TEST_F(CorpusTest, GrowingAndShrinkingBackRestoresTheFile) {
    for (const char* name : kFormatNineFiles) {
        LoadReal(name);
        Bytes original = ReadBytes(Path(name));
        std::uint32_t index = static_cast<std::uint32_t>(doc.entries.size() / 2);
        Bytes body = Body(index);
        Bytes longer = body;
        longer.insert(longer.end(), 13, 0x5C);
        ASSERT_TRUE(ReplaceAssetBody(doc, index, longer).ok) << name;
        EXPECT_EQ(Body(index), longer);
        ASSERT_TRUE(ReplaceAssetBody(doc, index, body).ok) << name;
        EXPECT_TRUE(WorkingCopy() == original) << name;
    }
}

}  // namespace
}  // namespace kestrova::testing
