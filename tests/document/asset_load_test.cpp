// Loading: progress texts, bundles, and refusal of damaged files with the old document kept.

#include <cstring>
#include <filesystem>
#include <stop_token>
#include <utility>

#include "common/platform.h"
#include "tests/document/document_test_support.h"

namespace kestrova::testing {
namespace {

using LoadTest = DocumentTest;

TEST_F(LoadTest, ReportsHeaderEveryAssetAndReady) {
    AssetFileBuilder b;
    b.Add("a", 1, 1, {}).Add("b", 1, 2, {}).Add("c", 1, 3, {});
    WriteBytes(folder.File("three.assets"), b.Build());
    std::vector<std::pair<std::string, float>> seen;
    Outcome o = LoadAssetFile(doc, Wide(folder.File("three.assets")),
                              [&](std::u16string_view text, float fraction) {
                                  seen.emplace_back(Utf16ToUtf8(text), fraction);
                              });
    ASSERT_TRUE(o.ok);
    std::vector<std::pair<std::string, float>> expected = {{"Reading Header", 0.0f},
                                                           {"Loaded: (0/3) a", 0.0f},
                                                           {"Loaded: (1/3) b", 1.0f / 3},
                                                           {"Loaded: (2/3) c", 2.0f / 3},
                                                           {"Ready", 0.0f}};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(Utf16ToUtf8(doc.documentName), "three.assets");
}

// Copies longer than a chunk go a chunk at a time, each reported, and arrive whole.
TEST_F(LoadTest, LongCopiesReportEachChunkAndArriveWhole) {
    AssetFileBuilder b;
    b.Add("Sky", 28, 1, Filled(2 * kProgressChunk + 100, 1));
    const Bytes bytes = b.Build();
    WriteBytes(folder.File("big.assets"), bytes);
    std::vector<std::pair<std::string, float>> seen;
    const ProgressCallback progress = [&](std::u16string_view text, float fraction) {
        seen.emplace_back(Utf16ToUtf8(text), fraction);
    };
    ASSERT_TRUE(LoadAssetFile(doc, Wide(folder.File("big.assets")), progress).ok);
    ASSERT_TRUE(SaveWorkingCopyAs(doc, Wide(folder.File("saved.assets")), progress).ok);
    EXPECT_EQ(ReadBytes(folder.File("saved.assets")), bytes);
    const float total = static_cast<float>(bytes.size());
    const float eight = static_cast<float>(kProgressChunk);
    const std::vector<std::pair<std::string, float>> expected = {
        {"Reading Header", 0.0f},
        {"Copying: (8/17 MiB)", eight / total},
        {"Copying: (16/17 MiB)", 2 * eight / total},
        {"Loaded: (0/1) Sky", 0.0f},
        {"Ready", 0.0f},
        {"Saving: (8/17 MiB)", eight / total},
        {"Saving: (16/17 MiB)", 2 * eight / total}};
    EXPECT_EQ(seen, expected);
}

TEST_F(LoadTest, EmptyTableGoesStraightToReady) {
    WriteBytes(folder.File("empty.assets"), AssetFileBuilder{}.Build());
    std::vector<std::string> seen;
    ASSERT_TRUE(
        LoadAssetFile(doc, Wide(folder.File("empty.assets")), [&](std::u16string_view t, float) {
            seen.push_back(Utf16ToUtf8(t));
        }).ok);
    EXPECT_EQ(seen, (std::vector<std::string>{"Reading Header", "Ready"}));
    EXPECT_TRUE(doc.entries.empty());
}

TEST_F(LoadTest, DataPositionCountsFromTheDataOffset) {
    AssetFileBuilder b;
    b.DataOffset(0x1000).AddAt(0x20, NamePrefix("Far"), 1, 1);
    Bytes bytes = b.Build();
    Load(bytes);
    EXPECT_EQ(doc.DataBase() + doc.entries[0].offset, 0x1020u);
    EXPECT_EQ(Name(0), "Far");
}

TEST_F(LoadTest, OpeningKeepsTheChosenFileAndNamesTheDocumentByItsFileName) {
    Bytes bytes = AssetFileBuilder{}.Add("x", 1, 1, {1, 2}).Build();
    std::string path = folder.File("100% sure.assets");
    WriteBytes(path, bytes);
    ASSERT_TRUE(LoadAssetFile(doc, Wide(path)).ok);
    EXPECT_EQ(Utf16ToUtf8(doc.documentName), "100% sure.assets");
    ASSERT_TRUE(ReplaceAssetBody(doc, 0, Filled(9, 1)).ok);
    ASSERT_TRUE(AddAsset(doc, 1, u"y", 0).ok);
    EXPECT_EQ(ReadBytes(path), bytes);
    EXPECT_NE(WorkingCopy(), bytes);
}

TEST_F(LoadTest, CloseDeletesTheWorkingCopyAndItsFolder) {
    Load(AssetFileBuilder{}.Add("x", 1, 1, {}).Build());
    CloseAssetFile(doc);
    EXPECT_FALSE(platform::FileExists(Wide(folder.File("Temp"))));
    EXPECT_TRUE(doc.entries.empty());
    EXPECT_TRUE(doc.documentName.empty());
}

struct Damage {
    const char* what;
    Bytes bytes;
    const char* message;  // a part of the expected refusal
};

std::vector<Damage> DamagedFiles() {
    std::vector<Damage> list;
    list.push_back({"too short", Bytes(19, 0), "too short for an asset file header"});
    list.push_back({"not a format", Bytes(43, 0), "format 0 is not supported"});
    for (const auto& [signature, message] : {std::pair{"UnityFS", "is a \"UnityFS\" bundle"},
                                             {"UnityWeb", "is a \"UnityWeb\" bundle"}}) {
        // A compressed bundle's header words are not read as a serialized file's format.
        Bytes b(64, 0);
        std::copy(signature, signature + std::strlen(signature), b.begin());
        b[11] = 6;
        list.push_back({signature, b, message});
    }
    list.push_back({"count", AssetFileBuilder{}.AssetCount(1000000).Build(),
                    "The asset table (1000000 entries) does not fit in the file."});
    list.push_back({"huge count", AssetFileBuilder{}.AssetCount(3075796479u).Build(),
                    "(3075796479 entries) does not fit"});
    {
        Bytes b = AssetFileBuilder{}.Add("x", 1, 1, Filled(8, 1)).Build();
        b[44 + 4 + 3] = 0xFF;  // the offset word: near 4 GiB
        list.push_back({"outside", b, "lies outside the file"});
    }
    {
        Bytes b = AssetFileBuilder{}.Add("x", 1, 1, Filled(8, 1)).Build();
        b[44 + 8] = 0xFF;  // the size word
        list.push_back({"size", b, "The data of asset 0"});
    }
    {
        Bytes b = AssetFileBuilder{}.Add("x", 1, 1, Filled(8, 1)).Build();
        std::fill(b.begin() + 12, b.begin() + 16, 0);  // dataOffset 0: the data is the header
        list.push_back({"overlap", b, "overlaps the file header or the asset table"});
    }
    {
        Bytes b = AssetFileBuilder{}.Build();
        b[12] = 0x7F;  // dataOffset far beyond the end
        list.push_back({"data offset", b, "lies beyond the end of the file"});
    }
    Bytes inner = AssetFileBuilder{}.Add("x", 1, 1, {1}).Build();
    {
        Bytes b = WrapInBundle(inner, 3);
        b.resize(20);
        list.push_back({"bundle cut", b, "runs past the end"});
    }
    {
        Bytes b = {'U', 'n', 'i', 't', 'y', 'R', 'a', 'w', 0, 0, 0, 0, 3};
        b.insert(b.end(), 300, 'v');
        b.push_back(0);
        list.push_back({"long text", b, "longer than 255 bytes"});
    }
    {
        Bytes b = WrapInBundle(inner, 3);
        // fileCount 0: find the count word before the first directory name.
        std::string name = "CAB-serialized";
        std::size_t nameAt = std::search(b.begin(), b.end(), name.begin(), name.end()) - b.begin();
        b[nameAt - 1] = 0;
        list.push_back({"no files", b, "fileCount 0"});
    }
    {
        Bytes b = WrapInBundle(inner, 3);
        std::string name = "CAB-serialized";
        std::size_t nameAt = std::search(b.begin(), b.end(), name.begin(), name.end()) - b.begin();
        std::size_t sizeAt = nameAt + name.size() + 1 + 4;
        b[sizeAt] = 0x7F;
        list.push_back({"entry outside", b, "directory entry 0"});
    }
    {
        Bytes b = WrapInBundle(inner, 3);
        std::string name = "CAB-serialized";
        std::size_t nameAt = std::search(b.begin(), b.end(), name.begin(), name.end()) - b.begin();
        std::size_t countAt = nameAt - 4;
        b[countAt] = 0x10;
        list.push_back({"file count", b, "file count"});
    }
    {
        Bytes b = WrapInBundle(inner, 3, {{"second", {1, 2}}});
        std::string name = "second";
        std::size_t nameAt = std::search(b.begin(), b.end(), name.begin(), name.end()) - b.begin();
        std::fill(b.begin() + nameAt + 7, b.begin() + nameAt + 11, 0);  // offset 0: inside
        list.push_back({"entry overlaps", b, "overlaps its serialized file"});
    }
    return list;
}

TEST_F(LoadTest, DamagedFilesAreRefusedAndTheOpenDocumentStays) {
    Bytes good = AssetFileBuilder{}.Add("keep", 1, 1, Filled(4, 1)).Build();
    Load(good, "good.assets");
    for (const Damage& damage : DamagedFiles()) {
        Outcome o = TryLoad(damage.bytes, "bad.assets");
        EXPECT_FALSE(o.ok) << damage.what;
        EXPECT_NE(Utf16ToUtf8(o.message).find(damage.message), std::string::npos)
            << damage.what << ": " << Utf16ToUtf8(o.message);
        EXPECT_EQ(Utf16ToUtf8(doc.documentName), "good.assets");
        ASSERT_EQ(doc.entries.size(), 1u);
        EXPECT_EQ(WorkingCopy(), good);
        EXPECT_FALSE(platform::FileExists(doc.workingFolder + u"/load"));
    }
    Outcome missing = LoadAssetFile(doc, Wide(folder.File("no such file")));
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(Utf16ToUtf8(missing.message).find("Cannot read the file"), std::string::npos);
    EXPECT_EQ(Body(0), Filled(4, 1));
}

// Open of a large file over a small one, and Save As of the large one, stopped at each report in
// turn: after each copied chunk, and for Open also once the copy is read, just before the result
// would be made final. Each stop ends in Cancelled() with the open document, its working copy
// and the chosen name as they were, and nothing left beside them.
TEST_F(LoadTest, AStoppedOpenOrSaveAsLeavesEverythingAsItWas) {
    const Bytes small = AssetFileBuilder{}.Add("keep", 1, 1, Filled(4, 1)).Build();
    const Bytes large =
        AssetFileBuilder{}.Add("large", 1, 1, Filled(2 * kProgressChunk + 100, 7)).Build();
    WriteBytes(folder.File("large.assets"), large);
    const std::u16string target = Wide(folder.File("saved.assets"));
    const auto files = [&] {
        return std::distance(std::filesystem::recursive_directory_iterator(folder.path()),
                             std::filesystem::recursive_directory_iterator());
    };

    for (const bool saving : {false, true}) {
        if (saving) {
            ASSERT_TRUE(LoadAssetFile(doc, Wide(folder.File("large.assets"))).ok);
        } else {
            Load(small, "small.assets");
        }
        const Bytes open = WorkingCopy();
        const std::u16string name = doc.documentName;
        const auto filesBefore = files();
        // Two chunk reports each; Open then reports the one asset it read.
        const std::size_t stops = saving ? 2 : 3;
        for (std::size_t stopAt = 1; stopAt <= stops; ++stopAt) {
            SCOPED_TRACE(::testing::Message() << saving << " " << stopAt);
            std::stop_source stop;
            std::size_t reports = 0;
            const ProgressCallback progress = [&](std::u16string_view text, float) {
                if (text != u"Reading Header" && ++reports == stopAt) {
                    stop.request_stop();
                }
            };
            const Outcome o = saving ? SaveWorkingCopyAs(doc, target, progress, stop.get_token())
                                     : LoadAssetFile(doc, Wide(folder.File("large.assets")),
                                                     progress, stop.get_token());
            EXPECT_EQ(o.message, u"Cancelled.");
            EXPECT_EQ(doc.documentName, name);
            EXPECT_EQ(doc.entries.size(), 1u);
            EXPECT_EQ(WorkingCopy(), open);
            EXPECT_FALSE(std::filesystem::exists(folder.File("saved.assets")));
            EXPECT_EQ(files(), filesBefore);
        }
    }
    // Not stopped, the large file saves whole.
    ASSERT_TRUE(SaveWorkingCopyAs(doc, target).ok);
    EXPECT_EQ(ReadBytes(folder.File("saved.assets")), large);
}

}  // namespace
}  // namespace kestrova::testing
