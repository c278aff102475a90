// Documents inside "UnityRaw" bundles: names and data are read inside the serialized file, and
// every rewrite leaves a bundle that a separate reader finds whole.

#include "tests/document/document_test_support.h"

namespace kestrova::testing {
namespace {

// A reader written apart from the editor's: walks the bundle header the simple way.
struct BundleView {
    std::uint32_t streamedBytes = 0;
    std::uint32_t headerSize = 0;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> levels;
    std::uint32_t completeSize = 0;
    struct File {
        std::string name;
        std::uint32_t offset;
        std::uint32_t size;
    };
    std::vector<File> files;
};

BundleView ReadBundle(const Bytes& b) {
    BundleView v;
    std::size_t at = 9;
    auto word = [&] {
        std::uint32_t w = GetBig32(b, at);
        at += 4;
        return w;
    };
    auto text = [&] {
        std::string s;
        while (b.at(at) != 0) {
            s.push_back(static_cast<char>(b[at++]));
        }
        ++at;
        return s;
    };
    std::uint32_t format = word();
    text();
    text();
    v.streamedBytes = word();
    v.headerSize = word();
    word();
    std::uint32_t levels = word();
    for (std::uint32_t i = 0; i < levels; ++i) {
        std::uint32_t first = word();
        v.levels.emplace_back(first, word());
    }
    if (format >= 2) {
        v.completeSize = word();
    }
    if (format >= 3) {
        word();
    }
    ++at;
    std::uint32_t count = word();
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string name = text();
        std::uint32_t offset = word();
        v.files.push_back({name, offset, word()});
    }
    return v;
}

Bytes FileOf(const Bytes& bundle, const BundleView& v, std::size_t i) {
    std::size_t start = v.headerSize + v.files.at(i).offset;
    EXPECT_LE(start + v.files[i].size, bundle.size()) << "file " << i << " outside the bundle";
    if (start + v.files[i].size > bundle.size()) {
        return {};
    }
    return Bytes(bundle.begin() + start, bundle.begin() + start + v.files[i].size);
}

class BundleTest : public DocumentTest {
protected:
    const std::vector<BundleFile> extra = {{"second", Filled(13, 0x90)},
                                           {"third", Filled(6, 0x30)}};

    Bytes Inner() {
        AssetFileBuilder b;
        b.Add("first", 1, 1, Filled(10, 1))
            .Add("middle", 2, 2, Filled(40, 2))
            .Add("", 3, 3, Filled(7, 3));
        return b.Build();
    }

    // The working copy is a whole bundle: every file where its directory says, the total-size
    // fields equal to the length, the other files unchanged, and the serialized file readable
    // on its own with every asset inside it.
    void ExpectWholeBundle(std::uint32_t format) {
        Bytes wc = WorkingCopy();
        BundleView v = ReadBundle(wc);
        ASSERT_EQ(v.files.size(), 3u);
        EXPECT_EQ(v.streamedBytes, wc.size());
        if (format >= 2) {
            EXPECT_EQ(v.completeSize, wc.size());
        }
        EXPECT_EQ(v.levels.at(0).first, wc.size() - v.headerSize);
        EXPECT_EQ(v.levels.at(0).second, wc.size());
        EXPECT_EQ(FileOf(wc, v, 1), extra[0].bytes);
        EXPECT_EQ(FileOf(wc, v, 2), extra[1].bytes);
        Bytes inner = FileOf(wc, v, 0);
        ASSERT_GE(inner.size(), 44u);
        std::uint32_t dataOffset = GetBig32(inner, 12);
        std::uint32_t count = GetLittle32(inner, 40);
        EXPECT_EQ(GetBig32(inner, 4), inner.size());
        for (std::uint32_t i = 0; i < count; ++i) {
            std::uint64_t end = std::uint64_t{dataOffset} + GetLittle32(inner, 44 + 20 * i + 4) +
                                GetLittle32(inner, 44 + 20 * i + 8);
            EXPECT_LE(end, inner.size()) << "asset " << i;
        }
    }
};

TEST_F(BundleTest, NamesAndBodiesAreReadInsideTheSerializedFile) {
    for (std::uint32_t format : {1u, 2u, 3u}) {
        BundleLayout layout;
        Load(WrapInBundle(Inner(), format, extra, &layout), std::string("b").append(std::to_string(format)));
        EXPECT_TRUE(doc.bundled);
        EXPECT_EQ(doc.innerStart, layout.innerStart);
        ASSERT_EQ(doc.entries.size(), 3u);
        EXPECT_EQ(Name(0), "first");
        EXPECT_EQ(Name(1), "middle");
        EXPECT_EQ(Name(2), "unnamed asset");
        EXPECT_EQ(Body(1), Filled(40, 2));
        EXPECT_EQ(Body(2), Filled(7, 3));
    }
}

TEST_F(BundleTest, ResizingImportKeepsTheBundleWhole) {
    for (std::uint32_t format : {1u, 3u}) {
        Load(WrapInBundle(Inner(), format, extra), std::string("b").append(std::to_string(format)));
        ASSERT_TRUE(ReplaceAssetBody(doc, 0, Filled(31, 0x44)).ok);
        ExpectWholeBundle(format);
        EXPECT_EQ(Body(0), Filled(31, 0x44));
        EXPECT_EQ(Body(1), Filled(40, 2));
        ASSERT_TRUE(ReplaceAssetBody(doc, 1, Filled(3, 0x55)).ok);
        ExpectWholeBundle(format);
        EXPECT_EQ(Body(2), Filled(7, 3));
    }
}

TEST_F(BundleTest, SameSizeImportWritesInsideTheSerializedFile) {
    Load(WrapInBundle(Inner(), 3, extra));
    ASSERT_TRUE(ReplaceAssetBody(doc, 1, Filled(40, 0x77)).ok);
    ExpectWholeBundle(3);
    EXPECT_EQ(Body(1), Filled(40, 0x77));
    EXPECT_EQ(Body(0), Filled(10, 1));
}

TEST_F(BundleTest, AddAndRemoveKeepTheBundleWhole) {
    Load(WrapInBundle(Inner(), 2, extra));
    ASSERT_TRUE(AddAsset(doc, 9, u"added", 0).ok);
    ExpectWholeBundle(2);
    ASSERT_TRUE(RemoveAsset(doc, 1).ok);
    ExpectWholeBundle(2);
    ASSERT_TRUE(RemoveAsset(doc, 0).ok);
    ExpectWholeBundle(2);
    EXPECT_EQ(Body(0), Filled(7, 3));

    // What was saved opens again with the same table.
    ASSERT_TRUE(SaveWorkingCopyAs(doc, Wide(folder.File("saved"))).ok);
    std::vector<AssetEntry> before = doc.entries;
    ASSERT_TRUE(LoadAssetFile(doc, Wide(folder.File("saved"))).ok);
    ASSERT_EQ(doc.entries.size(), before.size());
    EXPECT_EQ(Name(1), "added");
    EXPECT_EQ(doc.entries[1].offset, before[1].offset);
}

TEST_F(BundleTest, ABundleWithOnlyItsSerializedFile) {
    Load(WrapInBundle(Inner(), 3));
    ASSERT_TRUE(ReplaceAssetBody(doc, 2, Filled(100, 9)).ok);
    Bytes wc = WorkingCopy();
    BundleView v = ReadBundle(wc);
    EXPECT_EQ(v.completeSize, wc.size());
    // The serialized file ends the bundle but for the padding after it, carried as it was.
    std::size_t end = v.headerSize + v.files[0].offset + v.files[0].size;
    EXPECT_LE(end, wc.size());
    EXPECT_LT(wc.size() - end, 4u);
}

// Regression: a plain file whose first eight bytes (metadataSize and fileSize, big-endian) read
// "UnityRav" loaded, but after a resizing import its fileSize made them "UnityRaw", and the
// written working copy was refused as a damaged bundle. A file that does not read as a bundle is
// read as a plain file.
TEST_F(BundleTest, PlainFileWhoseSizesSpellTheSignatureReloadsAfterAResize) {
    AssetFileBuilder b;
    b.Add("meta", 83, 2, Filled(8, 1)).Add("aaa", 83, 3, Filled(4, 9));
    Bytes bytes = b.Build();
    const std::string spelled = "UnityRav";
    std::copy(spelled.begin(), spelled.end(), bytes.begin());
    Load(bytes);
    EXPECT_FALSE(doc.bundled);
    ASSERT_TRUE(ReplaceAssetBody(doc, 0, Filled(9, 1)).ok);
    const Bytes written = WorkingCopy();
    ASSERT_EQ(std::string(written.begin(), written.begin() + 8), "UnityRaw");

    AssetFile again;
    again.workingFolder = Wide(folder.File("Again"));
    WriteBytes(folder.File("edited.assets"), WorkingCopy());
    Outcome reloaded = LoadAssetFile(again, Wide(folder.File("edited.assets")));
    ASSERT_TRUE(reloaded.ok) << Utf16ToUtf8(reloaded.message);
    EXPECT_FALSE(again.bundled);
    ASSERT_EQ(again.entries.size(), doc.entries.size());
    for (std::size_t i = 0; i < doc.entries.size(); ++i) {
        EXPECT_EQ(again.entries[i].name, doc.entries[i].name);
        EXPECT_EQ(again.entries[i].offset, doc.entries[i].offset);
        EXPECT_EQ(again.entries[i].size, doc.entries[i].size);
    }
    CloseAssetFile(again);

    // A file that is neither says why for both readings.
    Bytes damaged = written;
    damaged.resize(60);
    Outcome refused = TryLoad(damaged, "damaged.assets");
    ASSERT_FALSE(refused.ok);
    EXPECT_NE(refused.message.find(u"Read as a bundle: "), std::u16string::npos);
    EXPECT_NE(refused.message.find(u" Read as a plain asset file: "), std::u16string::npos);
}

}  // namespace
}  // namespace kestrova::testing
