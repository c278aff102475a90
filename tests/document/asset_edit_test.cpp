// Changes to the working copy: new bodies (in place and resizing), adding and removing assets.

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/platform.h"
#include "tests/document/document_test_support.h"

namespace kestrova::testing {
namespace {

class EditTest : public DocumentTest {
protected:
    // Five named assets of different lengths, packed with 8-byte alignment.
    Bytes FiveAssets() {
        AssetFileBuilder b;
        b.Add("alpha", 1, 1, Filled(20, 0x10))
            .Add("beta", 2, 2, Filled(33, 0x40))
            .Add("gamma", 3, 3, Filled(16, 0x70))
            .Add("delta", 4, 4, Filled(9, 0xA0))
            .Add("omega", 5, 5, Filled(24, 0xC0));
        return b.Build();
    }

    // The working copy read as a new document: what a later Open would see.
    AssetFile Reopen() {
        AssetFile again;
        again.workingFolder = Wide(folder.File("Reopen"));
        WriteBytes(folder.File("reopen.assets"), WorkingCopy());
        Outcome o = LoadAssetFile(again, Wide(folder.File("reopen.assets")));
        EXPECT_TRUE(o.ok) << Utf16ToUtf8(o.message);
        return again;
    }

    // Every asset's table words and body agree between the document and a fresh read.
    void ExpectConsistent() {
        AssetFile again = Reopen();
        ASSERT_EQ(again.entries.size(), doc.entries.size());
        EXPECT_EQ(again.header.fileSize, doc.header.fileSize);
        EXPECT_EQ(again.header.dataOffset, doc.header.dataOffset);
        for (std::uint32_t i = 0; i < doc.entries.size(); ++i) {
            EXPECT_EQ(again.entries[i].offset, doc.entries[i].offset) << i;
            EXPECT_EQ(again.entries[i].size, doc.entries[i].size) << i;
            EXPECT_EQ(again.entries[i].pathId, doc.entries[i].pathId) << i;
        }
        CloseAssetFile(again);
    }
};

TEST_F(EditTest, SameLengthImportChangesOnlyTheBodyBytes) {
    Load(FiveAssets());
    Bytes before = WorkingCopy();
    Bytes body(33, 0x5A);
    ASSERT_TRUE(ReplaceAssetBody(doc, 1, body).ok);
    Bytes after = WorkingCopy();
    ASSERT_EQ(after.size(), before.size());
    std::size_t bodyStart = doc.DataBase() + doc.entries[1].offset + 8;
    for (std::size_t i = 0; i < after.size(); ++i) {
        bool inBody = i >= bodyStart && i < bodyStart + 33;
        EXPECT_EQ(after[i], inBody ? 0x5A : before[i]) << "byte " << i;
    }
}

TEST_F(EditTest, LongerBodyMovesLaterAssetsAndKeepsThePrefix) {
    Load(FiveAssets());
    std::vector<AssetEntry> old = doc.entries;
    std::uint32_t oldFileSize = doc.header.fileSize;
    Bytes body = Filled(16 + 8, 0x01);
    ASSERT_TRUE(ReplaceAssetBody(doc, 2, body).ok);

    EXPECT_EQ(doc.entries[2].size, old[2].size + 8);
    EXPECT_EQ(doc.entries[0].offset, old[0].offset);
    EXPECT_EQ(doc.entries[1].offset, old[1].offset);
    EXPECT_EQ(doc.entries[3].offset, old[3].offset + 8);
    EXPECT_EQ(doc.entries[4].offset, old[4].offset + 8);
    EXPECT_EQ(doc.header.fileSize, oldFileSize + 8);
    EXPECT_EQ(Name(2), "gamma");
    EXPECT_EQ(Body(2), body);
    EXPECT_EQ(Body(3), Filled(9, 0xA0));
    EXPECT_EQ(Body(4), Filled(24, 0xC0));
    EXPECT_EQ(WorkingCopy().size(), oldFileSize + 8u);
    ExpectConsistent();
}

TEST_F(EditTest, ShorterBodyMovesLaterAssetsBack) {
    Load(FiveAssets());
    std::vector<AssetEntry> old = doc.entries;
    ASSERT_TRUE(ReplaceAssetBody(doc, 0, Filled(5, 0x33)).ok);
    EXPECT_EQ(doc.entries[0].size, 12u + 5u);
    for (std::uint32_t i = 1; i < 5; ++i) {
        EXPECT_EQ(doc.entries[i].offset, old[i].offset - 15) << i;
    }
    EXPECT_EQ(Body(0), Filled(5, 0x33));
    EXPECT_EQ(Body(1), Filled(33, 0x40));
    EXPECT_EQ(Body(4), Filled(24, 0xC0));
    ExpectConsistent();
}

TEST_F(EditTest, UnnamedAssetHasItsWholeDataReplaced) {
    AssetFileBuilder b;
    b.Add("", 7, 1, Filled(12, 0x80)).Add("next", 7, 2, Filled(4, 0x20));
    Load(b.Build());
    ASSERT_FALSE(doc.entries[0].named());
    ASSERT_TRUE(ReplaceAssetBody(doc, 0, Filled(30, 0x01)).ok);
    EXPECT_EQ(doc.entries[0].size, 30u);
    EXPECT_EQ(Body(0), Filled(30, 0x01));
    EXPECT_EQ(Body(1), Filled(4, 0x20));
}

TEST_F(EditTest, EmptyImportLeavesOnlyTheNamePrefix) {
    Load(FiveAssets());
    ASSERT_TRUE(ReplaceAssetBody(doc, 3, {}).ok);
    EXPECT_EQ(doc.entries[3].size, 12u);
    EXPECT_EQ(Body(3), Bytes{});
    AssetFile again = Reopen();
    EXPECT_EQ(Utf16ToUtf8(again.entries[3].name), "delta");
    CloseAssetFile(again);
}

TEST_F(EditTest, MetadataIsCarriedAndTrailingBytesAreDropped) {
    AssetFileBuilder b;
    b.Metadata({9, 8, 7, 6, 5}).Trailer({1, 2, 3, 4}).Add("a", 1, 1, Filled(8, 1));
    Load(b.Build());
    Bytes before = WorkingCopy();
    ASSERT_TRUE(ReplaceAssetBody(doc, 0, Filled(12, 1)).ok);
    Bytes after = WorkingCopy();
    EXPECT_TRUE(std::equal(before.begin() + 64, before.begin() + doc.header.dataOffset,
                           after.begin() + 64));
    EXPECT_EQ(after.size(), doc.header.dataOffset + 8u + 12u);
}

// Files whose table order is not their data order: the assets after the changed one in data
// order move, the others keep their bytes.
TEST_F(EditTest, ResizeKeepsEveryAssetIntactWhenTableOrderIsNotDataOrder) {
    AssetFileBuilder b;
    b.AddAt(32, NamePrefix("late"), 1, 1).AddAt(0, Filled(32, 0x10), 2, 2);
    Bytes late = NamePrefix("late");
    late.insert(late.end(), {1, 2, 3});
    b = AssetFileBuilder{};
    b.AddAt(40, late, 1, 1).AddAt(0, Filled(40, 0x10), 2, 2);
    Load(b.Build());
    ASSERT_TRUE(ReplaceAssetBody(doc, 1, Filled(48, 0x60)).ok);
    EXPECT_EQ(doc.entries[1].offset, 0u);
    EXPECT_EQ(doc.entries[0].offset, 48u);
    EXPECT_EQ(Body(1), Filled(48, 0x60));
    EXPECT_EQ(Body(0), (Bytes{1, 2, 3}));
    EXPECT_EQ(Name(0), "late");
    ExpectConsistent();
}

// Real files hold empty assets at the offset of the asset after them.
TEST_F(EditTest, GrowingAnEmptyAssetMovesTheAssetAtItsOffset) {
    AssetFileBuilder b;
    b.AddAt(0, {}, 1, 1).AddAt(0, Filled(16, 0x30), 2, 2);
    Load(b.Build());
    ASSERT_TRUE(ReplaceAssetBody(doc, 0, Filled(8, 0x01)).ok);
    EXPECT_EQ(doc.entries[0].offset, 0u);
    EXPECT_EQ(doc.entries[1].offset, 8u);
    EXPECT_EQ(Body(0), Filled(8, 0x01));
    EXPECT_EQ(Body(1), Filled(16, 0x30));
}

TEST_F(EditTest, NonZeroGapBytesBetweenMovedAssetsBecomeZeros) {
    AssetFileBuilder b;
    b.AddAt(0, Filled(8, 1), 1, 1).AddAt(16, Filled(8, 2), 2, 2).AddAt(32, Filled(8, 3), 3, 3);
    Bytes file = b.Build();
    std::fill(file.begin() + b.dataOffset() + 8, file.begin() + b.dataOffset() + 16, 0xFF);
    std::fill(file.begin() + b.dataOffset() + 24, file.begin() + b.dataOffset() + 28, 0xEE);
    Load(file);
    ASSERT_TRUE(ReplaceAssetBody(doc, 0, Filled(4, 7)).ok);
    Bytes wc = WorkingCopy();
    std::size_t base = doc.DataBase();
    EXPECT_EQ(doc.entries[1].offset, 12u);
    EXPECT_EQ(doc.entries[2].offset, 28u);
    EXPECT_EQ(Bytes(wc.begin() + base + 4, wc.begin() + base + 12), Bytes(8, 0));
    EXPECT_EQ(Bytes(wc.begin() + base + 20, wc.begin() + base + 28), Bytes(8, 0));
    EXPECT_EQ(Body(1), Filled(8, 2));
    EXPECT_EQ(Body(2), Filled(8, 3));
}

TEST_F(EditTest, AddNamedAssetAppendsItsPrefix) {
    AssetFileBuilder b;
    b.Add("x", 1, 57, Filled(8, 1)).Add("y", 1, 3, Filled(8, 2));
    Load(b.Build());
    AssetFileHeader old = doc.header;
    std::size_t oldLength = WorkingCopy().size();
    std::uint32_t maxEnd = doc.entries[1].offset + doc.entries[1].size;
    ASSERT_TRUE(AddAsset(doc, 0x00010072, u"hello", 0).ok);
    const AssetEntry& added = doc.entries.back();
    EXPECT_EQ(added.pathId, 58u);
    EXPECT_EQ(added.offset, maxEnd);
    EXPECT_EQ(added.size, 12u);
    EXPECT_EQ(added.classWord, 0x00010072u);
    EXPECT_EQ(doc.header.assetCount, 3u);
    EXPECT_EQ(doc.header.fileSize, old.fileSize + 32);
    EXPECT_EQ(doc.header.metadataSize, old.metadataSize + 20);
    EXPECT_EQ(doc.header.dataOffset, old.dataOffset + 20);
    Bytes wc = WorkingCopy();
    ASSERT_EQ(wc.size(), oldLength + 32);
    EXPECT_EQ(Bytes(wc.end() - 12, wc.end()), NamePrefix("hello"));
    ExpectConsistent();
    AssetFile again = Reopen();
    EXPECT_EQ(Utf16ToUtf8(again.entries[2].name), "hello");
    EXPECT_EQ(Body(0), Filled(8, 1));
    CloseAssetFile(again);
}

TEST_F(EditTest, AddTakesThePathIdAfterTheLargestPlusTheIndexOffset) {
    Load(AssetFileBuilder{}.Add("x", 1, 57, {}).Build());
    ASSERT_TRUE(AddAsset(doc, 1, u"", 100).ok);
    EXPECT_EQ(doc.entries.back().pathId, 158u);
}

TEST_F(EditTest, AddWithEmptyNameGrowsTheFileByOneRecord) {
    Load(FiveAssets());
    std::size_t oldLength = WorkingCopy().size();
    ASSERT_TRUE(AddAsset(doc, 5, u"", 0).ok);
    EXPECT_EQ(Name(5), "unnamed asset");
    EXPECT_EQ(doc.entries[5].size, 0u);
    EXPECT_EQ(WorkingCopy().size(), oldLength + 20);
    ExpectConsistent();
}

TEST_F(EditTest, AddToAnEmptyDocument) {
    Load(AssetFileBuilder{}.Build());
    ASSERT_TRUE(AddAsset(doc, 1, u"first", 0).ok);
    EXPECT_EQ(doc.entries[0].pathId, 1u);
    ExpectConsistent();
}

TEST_F(EditTest, AddAfterTrailingBytesPutsThePrefixAtItsRecordedOffset) {
    AssetFileBuilder b;
    b.Add("a", 1, 1, Filled(8, 1)).Trailer({7, 7, 7, 7, 7});
    Load(b.Build());
    ASSERT_TRUE(AddAsset(doc, 1, u"tail", 0).ok);
    AssetFile again = Reopen();
    EXPECT_EQ(Utf16ToUtf8(again.entries[1].name), "tail");
    CloseAssetFile(again);
    ExpectConsistent();
}

TEST_F(EditTest, AddStoresCharactersAboveLatin1AsQuestionMarks) {
    Load(AssetFileBuilder{}.Build());
    ASSERT_TRUE(AddAsset(doc, 1, u"a\u00e9\u4e2d", 0).ok);
    Bytes wc = WorkingCopy();
    EXPECT_EQ(Bytes(wc.end() - 8, wc.end()), (Bytes{3, 0, 0, 0, 'a', 0xE9, '?', 0}));
}

TEST_F(EditTest, RemoveFirstOfThreeMovesTheOthersBack) {
    AssetFileBuilder b;
    b.Align(1)
        .Add("", 1, 1, Filled(100, 1))
        .Add("", 1, 2, Filled(200, 2))
        .Add("", 1, 3, Filled(300, 3));
    Load(b.Build());
    std::vector<AssetEntry> old = doc.entries;
    AssetFileHeader header = doc.header;
    std::size_t oldLength = WorkingCopy().size();
    ASSERT_TRUE(RemoveAsset(doc, 0).ok);
    ASSERT_EQ(doc.entries.size(), 2u);
    EXPECT_EQ(doc.entries[0].offset, old[1].offset - 100);
    EXPECT_EQ(doc.entries[1].offset, old[2].offset - 100);
    EXPECT_EQ(doc.header.fileSize, header.fileSize - 120);
    EXPECT_EQ(doc.header.dataOffset, header.dataOffset - 20);
    EXPECT_EQ(doc.header.metadataSize, header.metadataSize - 20);
    EXPECT_EQ(WorkingCopy().size(), oldLength - 120);
    EXPECT_EQ(Body(0), Filled(200, 2));
    EXPECT_EQ(Body(1), Filled(300, 3));
    ExpectConsistent();
}

TEST_F(EditTest, RemoveLastAndOnlyAssets) {
    Load(FiveAssets());
    std::vector<AssetEntry> old = doc.entries;
    ASSERT_TRUE(RemoveAsset(doc, 4).ok);
    for (std::uint32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(doc.entries[i].offset, old[i].offset);
    }
    ExpectConsistent();

    AssetFileBuilder one;
    one.Metadata({4, 3, 2, 1}).Add("solo", 1, 1, Filled(8, 1));
    Load(one.Build(), "one.assets");
    ASSERT_TRUE(RemoveAsset(doc, 0).ok);
    EXPECT_EQ(doc.header.assetCount, 0u);
    Bytes wc = WorkingCopy();
    EXPECT_EQ(Bytes(wc.begin() + 44, wc.begin() + 48), (Bytes{4, 3, 2, 1}));
}

TEST_F(EditTest, RemoveKeepsAssetsThatLieBeforeInDataOrder) {
    AssetFileBuilder b;
    b.AddAt(16, Filled(8, 0x50), 1, 1)
        .AddAt(0, Filled(16, 0x10), 2, 2)
        .AddAt(24, Filled(8, 0x70), 3, 3);
    Load(b.Build());
    ASSERT_TRUE(RemoveAsset(doc, 1).ok);
    EXPECT_EQ(doc.entries[0].offset, 0u);
    EXPECT_EQ(doc.entries[1].offset, 8u);
    EXPECT_EQ(Body(0), Filled(8, 0x50));
    EXPECT_EQ(Body(1), Filled(8, 0x70));
}

// Bytes that another asset also uses are not cut out with the removed asset.
TEST_F(EditTest, RemoveKeepsBytesSharedWithAnotherAsset) {
    AssetFileBuilder b;
    b.AddAt(0, Filled(16, 0x10), 1, 1)
        .AddAt(8, Filled(8, 0x18), 2, 2)
        .AddAt(16, Filled(8, 0x70), 3, 3);
    Load(b.Build());
    std::size_t oldLength = WorkingCopy().size();
    std::uint32_t fileSize = doc.header.fileSize;
    ASSERT_TRUE(RemoveAsset(doc, 0).ok);
    EXPECT_EQ(WorkingCopy().size(), oldLength - 20);
    EXPECT_EQ(doc.header.fileSize, fileSize - 20);
    EXPECT_EQ(Body(0), Filled(8, 0x18));
    EXPECT_EQ(Body(1), Filled(8, 0x70));
    ExpectConsistent();
}

TEST_F(EditTest, RemoveMovesEmptyAssetsInsideTheCutToItsStart) {
    AssetFileBuilder b;
    b.AddAt(0, Filled(8, 1), 1, 1).AddAt(8, Filled(16, 2), 2, 2).AddAt(12, {}, 3, 3);
    Load(b.Build());
    ASSERT_TRUE(RemoveAsset(doc, 1).ok);
    EXPECT_EQ(doc.entries[1].offset, 8u);
    ExpectConsistent();
}

// When assets share bytes, the imported body is what the changed asset holds afterwards.
TEST_F(EditTest, ResizeWritesTheNewBodyOverSharedBytes) {
    AssetFileBuilder b;
    b.AddAt(0, Filled(16, 1), 1, 1).AddAt(8, Filled(8, 9), 2, 2);
    Load(b.Build());
    ASSERT_TRUE(ReplaceAssetBody(doc, 0, Filled(20, 0x40)).ok);
    EXPECT_EQ(Body(0), Filled(20, 0x40));
    ExpectConsistent();
}

TEST_F(EditTest, AnEmptyAssetInsideTheTableCannotGrow) {
    Bytes file = AssetFileBuilder{}.AddAt(0, {}, 1, 1).AddAt(0, Filled(8, 1), 2, 2).Build();
    std::fill(file.begin() + 12, file.begin() + 16, 0);  // dataOffset 0
    file[44 + 20 + 4] = 96;                              // asset 1 keeps its bytes
    Load(file);
    Bytes before = WorkingCopy();
    Outcome o = ReplaceAssetBody(doc, 0, Bytes{1, 2, 3});
    EXPECT_FALSE(o.ok);
    EXPECT_NE(Utf16ToUtf8(o.message).find("inside the file header"), std::string::npos);
    EXPECT_EQ(WorkingCopy(), before);
}

TEST_F(EditTest, OutOfRangeIndexIsRefused) {
    Load(FiveAssets());
    EXPECT_FALSE(ReplaceAssetBody(doc, 5, {}).ok);
    EXPECT_FALSE(RemoveAsset(doc, 9).ok);
    EXPECT_FALSE(ExportAssetBody(doc, 5, Wide(folder.File("x"))).ok);
    EXPECT_FALSE(ReadAssetBody(doc, 5).has_value());
}

// A write that fails half-way (here: the file size limit of a full disk) leaves the working
// copy and the table as they were, and says so.
TEST_F(EditTest, FailedRewriteLeavesWorkingCopyAndTableUnchanged) {
    Load(FiveAssets());
    Bytes before = WorkingCopy();
    std::vector<AssetEntry> table = doc.entries;
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{static_cast<rlim_t>(before.size() / 2),
                     static_cast<rlim_t>(before.size() / 2)};
        setrlimit(RLIMIT_FSIZE, &limit);
        int failures = 0;
        failures += ReplaceAssetBody(doc, 0, Filled(400, 1)).ok ? 0 : 1;
        failures += AddAsset(doc, 1, u"name", 0).ok ? 0 : 1;
        failures += RemoveAsset(doc, 0).ok ? 0 : 1;
        bool same = WorkingCopy() == before && doc.entries.size() == table.size() &&
                    doc.entries[1].offset == table[1].offset && doc.header.assetCount == 5;
        _exit(failures == 3 && same ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(WorkingCopy(), before);
    EXPECT_FALSE(platform::FileExists(doc.workingFolder + u"/temp2"));
}

TEST_F(EditTest, ExportWritesTheBodyWithoutItsPrefix) {
    AssetFileBuilder b;
    b.Add("abcde", 1, 1, Filled(88, 1)).Add("", 1, 2, Filled(100, 2));
    Load(b.Build());
    ASSERT_EQ(doc.entries[0].size, 100u);
    ASSERT_TRUE(ExportAssetBody(doc, 0, Wide(folder.File("a.data"))).ok);
    ASSERT_TRUE(ExportAssetBody(doc, 1, Wide(folder.File("b.data"))).ok);
    EXPECT_EQ(ReadBytes(folder.File("a.data")), Filled(88, 1));
    EXPECT_EQ(ReadBytes(folder.File("b.data")), Filled(100, 2));
    EXPECT_EQ(ReadWholeFile(Wide(folder.File("a.data"))), Filled(88, 1));
}

TEST_F(EditTest, SaveAsCopiesTheWorkingCopyAndReportsFailure) {
    Load(FiveAssets());
    ASSERT_TRUE(ReplaceAssetBody(doc, 0, Filled(3, 3)).ok);
    ASSERT_TRUE(SaveWorkingCopyAs(doc, Wide(folder.File("out.assets"))).ok);
    EXPECT_EQ(ReadBytes(folder.File("out.assets")), WorkingCopy());
    EXPECT_FALSE(SaveWorkingCopyAs(doc, Wide(folder.File("missing/out.assets"))).ok);
}

}  // namespace
}  // namespace kestrova::testing
