// The on-disk records: byte-exact round trips, the name rule and the bundle header fields.

#include "document/asset_format.h"
#include "tests/document/document_test_support.h"

namespace kestrova::testing {
namespace {

AssetEntry NameOf(const Bytes& data) {
    AssetEntry entry;
    entry.size = static_cast<std::uint32_t>(data.size());
    ReadAssetName(entry, data);
    return entry;
}

TEST(FileHeaderTest, WritingAHeaderJustReadGivesTheSameBytes) {
    Bytes bytes;
    for (int i = 0; i < 44; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(0x91 + 7 * i));
    }
    AssetFileHeader header;
    ByteReader reader(bytes);
    ASSERT_TRUE(ReadFileHeader(header, reader));
    EXPECT_EQ(header.metadataSize, 0x91989FA6u);
    EXPECT_EQ(header.assetCount, GetLittle32(bytes, 40));
    EXPECT_EQ(header.platform, GetBig32(bytes, 28));
    Bytes out;
    WriteFileHeader(header, out);
    EXPECT_EQ(out, bytes);
}

TEST(FileHeaderTest, ShortInputIsNotAHeader) {
    Bytes bytes(43, 1);
    AssetFileHeader header;
    ByteReader reader(bytes);
    EXPECT_FALSE(ReadFileHeader(header, reader));
}

TEST(AssetRecordTest, WritingARecordJustReadGivesTheSameBytes) {
    Bytes bytes = {1, 2, 3, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0xF5, 0xFF, 0xFF, 0xFF, 0x72, 0, 1, 0};
    AssetEntry entry;
    ByteReader reader(bytes);
    ASSERT_TRUE(ReadAssetRecord(entry, 0, reader));
    EXPECT_EQ(entry.pathId, 0x04030201u);
    EXPECT_EQ(entry.typeId, 0xFFFFFFF5u);
    EXPECT_EQ(reader.position(), 20u);
    Bytes out;
    WriteAssetRecord(entry, out);
    EXPECT_EQ(out, bytes);
    EXPECT_EQ(Utf16ToUtf8(HexWordText(114)), "0x00000072");
}

TEST(NameRuleTest, NamedAssetsAndTheirPrefixLength) {
    Bytes five = NamePrefix("Hello");
    five.insert(five.end(), {9, 9, 9});
    AssetEntry named = NameOf(five);
    EXPECT_EQ(Utf16ToUtf8(named.name), "Hello");
    EXPECT_EQ(named.prefixLength, 12u);
    EXPECT_EQ(named.bodyLength(), 3u);

    Bytes digit = NamePrefix("7up");
    EXPECT_EQ(Utf16ToUtf8(NameOf(digit).name), "7up");
}

TEST(NameRuleTest, DataThatDoesNotStartWithALetterOrDigitIsUnnamed) {
    EXPECT_FALSE(NameOf(NamePrefix("")).named());       // length 0
    EXPECT_FALSE(NameOf(NamePrefix("_abcd")).named());  // underscore
    EXPECT_FALSE(NameOf(Bytes{5, 0, 0, 0, 0, 'a', 'b', 'c', 0, 0, 0, 0}).named());
    EXPECT_FALSE(NameOf(Bytes{0xFD, 0xFF, 0xFF, 0xFF, 'a', 'b', 'c', 'd'}).named());  // wraps to 0
    EXPECT_EQ(NameOf(NamePrefix("")).name, kUnnamedAsset);
}

TEST(NameRuleTest, LongNamesAreCutAt255CharactersButKeepTheirStoredPrefix) {
    std::string long300(300, 'k');
    AssetEntry entry = NameOf(NamePrefix(long300));
    EXPECT_EQ(entry.name.size(), 255u);
    EXPECT_EQ(entry.prefixLength, 304u);
}

TEST(NameRuleTest, ANameStopsAtAZeroByteButThePrefixKeepsItsStoredLength) {
    Bytes data = {8, 0, 0, 0, 'a', 'b', 0, 'x', 'y', 'z', 'w', 'v', 1, 2};
    AssetEntry entry = NameOf(data);
    EXPECT_EQ(Utf16ToUtf8(entry.name), "ab");
    EXPECT_EQ(entry.prefixLength, 12u);
}

// An asset is named only when its own data holds the whole prefix: an empty asset that shares
// its offset with the next asset does not borrow that asset's name.
TEST(NameRuleTest, ThePrefixMustLieInsideTheAssetsOwnData) {
    Bytes data = NamePrefix("Borrowed");
    AssetEntry empty;
    empty.size = 0;
    ReadAssetName(empty, data);
    EXPECT_FALSE(empty.named());
    AssetEntry shortOne;
    shortOne.size = 11;  // the prefix needs 12
    ReadAssetName(shortOne, data);
    EXPECT_FALSE(shortOne.named());
}

TEST(NameRuleTest, Latin1BytesBecomeTheSameCharacters) {
    Bytes data = {3, 0, 0, 0, 'A', 0xE9, 0xFF, 0};
    EXPECT_EQ(NameOf(data).name, u"A\u00e9\u00ff");
}

TEST(ByteReaderTest, ReadsOutsideTheSpanFailAndStay) {
    Bytes bytes = {1, 2, 3};
    ByteReader reader(bytes);
    std::uint32_t word = 7;
    EXPECT_FALSE(reader.ReadBigEndian32(word));
    EXPECT_EQ(word, 7u);
    EXPECT_EQ(reader.position(), 0u);
    EXPECT_TRUE(reader.failed());
    EXPECT_FALSE(reader.Seek(4));
    EXPECT_FALSE(reader.Skip(~std::uint64_t{0}));
    EXPECT_FALSE(reader.Contains(2, ~std::uint64_t{0}));
    EXPECT_TRUE(reader.Contains(3, 0));
}

TEST(BundleHeaderTest, FieldsPresentDependOnTheBundleFormat) {
    for (std::uint32_t format : {1u, 2u, 3u, 6u}) {
        Bytes inner = AssetFileBuilder{}.Build();
        Bytes bytes = WrapInBundle(inner, format);
        ASSERT_EQ(ReadSignature(bytes), kBundleSignature);
        BundleHeader bundle;
        InitBundleHeader(bundle, kBundleSignature);
        ByteReader reader(bytes, 9);
        ASSERT_TRUE(ReadBundleHeader(bundle, reader).ok) << format;
        EXPECT_EQ(bundle.bundleFormat, format);
        EXPECT_EQ(bundle.playerVersion, "3.x.x");
        EXPECT_EQ(bundle.engineRevision, "3.5.5f3");
        EXPECT_EQ(bundle.completeSizeAt == BundleHeader::kNoField, format < 2);
        EXPECT_EQ(bundle.completeSize, format >= 2 ? bytes.size() : 0u);
        EXPECT_EQ(bundle.infoHeaderSize, format >= 3 ? 0x3Cu : 0u);
        ASSERT_EQ(bundle.fileCount, 1u);
        EXPECT_EQ(bundle.directory[0].size, inner.size());
    }
}

TEST(BundleHeaderTest, OnlyTheExactSignatureMakesABundle) {
    auto sig = [](std::string_view s) {
        Bytes b(s.begin(), s.end());
        b.push_back(0);
        return ReadSignature(b) == kBundleSignature;
    };
    EXPECT_TRUE(sig("UnityRaw"));
    EXPECT_FALSE(sig("UnityRawX"));
    EXPECT_FALSE(sig("unityraw"));
    EXPECT_FALSE(sig("UnityRa"));
    EXPECT_FALSE(sig(""));
}

}  // namespace
}  // namespace kestrova::testing
