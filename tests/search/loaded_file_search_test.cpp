// Searching documents opened by the loader: plain and bundle-wrapped files, real game files
// compared with the per-position search, and `kestrova-cli search` run as a program.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "common/platform.h"
#include "common/string_list.h"
#include "common/text.h"
#include "editor/search/search_engine.h"
#include "reference_search.h"
#include "tests/document/asset_file_builder.h"
#include "tests/document/program_run.h"

namespace kestrova::testing {
namespace {

Bytes Text(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

class LoadedFileSearch : public ::testing::Test {
protected:
    void SetUp() override { doc.workingFolder = Utf8ToUtf16(folder.File("Temp")); }
    void TearDown() override { CloseAssetFile(doc); }

    Bytes Sample() const {
        AssetFileBuilder builder;
        builder.Add("Crosshair", 28, 1, Text("red dot sight"))
            .Add("Player", 1, 0xFFFFFFFE, Text("speed DOT 4"))
            .Add("", 83, 3, Text("no name, a dot"))
            .Add("Player", 1, 0xFFFFFFFE, Text("dot again"));
        return builder.Build();
    }
    void Open(const Bytes& bytes) {
        WriteBytes(folder.File("input.assets"), bytes);
        Outcome outcome = LoadAssetFile(doc, Utf8ToUtf16(folder.File("input.assets")));
        ASSERT_TRUE(outcome.ok) << Utf16ToUtf8(outcome.message);
    }
    std::vector<std::pair<std::u16string, std::uint32_t>> Find(const std::u16string& query,
                                                               std::int32_t mode) {
        StringList list;
        EXPECT_TRUE(SearchAssetData(doc, query, list, mode, {}).ok);
        std::vector<std::pair<std::u16string, std::uint32_t>> out;
        for (std::uint32_t i = 0; i < list.count(); ++i) {
            out.emplace_back(list.at(i), list.tag(i));
        }
        return out;
    }

    TempFolder folder;
    AssetFile doc;
};

using Results = std::vector<std::pair<std::u16string, std::uint32_t>>;

TEST_F(LoadedFileSearch, FindsTextInTheDataOfLoadedAssets) {
    Open(Sample());
    // The name prefixes are data too: "Player" is found in its own prefix.
    EXPECT_EQ(Find(u"dot", 0),
              (Results{{u"Crosshair", 1}, {u"Player", 0xFFFFFFFE}, {u"unnamed asset", 3}}));
    EXPECT_EQ(Find(u"DOT", 1), (Results{{u"Player", 0xFFFFFFFE}}));
}

TEST_F(LoadedFileSearch, BundleWrappedFileIsSearchedFromItsDataBase) {
    Open(WrapInBundle(Sample(), 3));
    ASSERT_TRUE(doc.bundled);
    EXPECT_EQ(Find(u"sight", 1), (Results{{u"Crosshair", 1}}));
    // The bundle header before the serialized file holds "UnityRaw"; it is never searched.
    EXPECT_EQ(Find(u"UnityRaw", 1), Results{});
}

TEST(RealFileSearch, AgreesWithThePerPositionSearch) {
    const char* folderName = std::getenv("KESTROVA_REALDATA");
    if (folderName == nullptr || !std::filesystem::exists(folderName)) {
        GTEST_SKIP() << "KESTROVA_REALDATA is not set";
    }
    int searched = 0;
    for (const auto& item : std::filesystem::recursive_directory_iterator(folderName)) {
        if (!item.is_regular_file() || item.path().extension() == ".md") {
            continue;
        }
        TempFolder folder;
        AssetFile doc;
        doc.workingFolder = Utf8ToUtf16(folder.File("Temp"));
        if (!LoadAssetFile(doc, Utf8ToUtf16(item.path().string())).ok) {
            continue;  // a format the editor refuses
        }
        Bytes bytes = ReadBytes(platform::NativePath(doc.WorkingCopyPath()));
        std::string image(bytes.begin(), bytes.end());
        // Queries taken from the data itself, so that most of them hit.
        std::vector<std::pair<std::u16string, std::int32_t>> queries = {
            {u"a", 0},    {u"Shader", 0}, {u"m_", 1},    {u"0", 2}, {u"1", 3}, {u"-1", 2},
            {u"3F80", 4}, {u"803F", 5},   {u"00000", 4}, {u"1", 6}, {u"0", 7}, {u"0.5", 6}};
        for (const AssetEntry& entry : doc.entries) {
            std::uint64_t at = doc.DataBase() + entry.offset + entry.size / 2;
            if (entry.size >= 8 && at + 4 <= image.size() && queries.size() < 24) {
                static const char digits[] = "0123456789abcdef";
                std::u16string hex;
                for (int k = 0; k < 3; ++k) {
                    auto byte = static_cast<unsigned char>(image[at + k]);
                    hex += static_cast<char16_t>(digits[byte >> 4]);
                    hex += static_cast<char16_t>(digits[byte & 15]);
                }
                queries.emplace_back(hex, 4);
                queries.emplace_back(hex.substr(0, 5), 5);
            }
        }
        for (const auto& [query, mode] : queries) {
            StringList list;
            std::vector<std::u16string> texts;
            ASSERT_TRUE(SearchAssetData(doc, query, list, mode, [&](std::u16string_view text) {
                            texts.emplace_back(text);
                        }).ok);
            ReferenceResult plain = ReferenceSearch(image, doc, query, mode);
            Results fast;
            for (std::uint32_t i = 0; i < list.count(); ++i) {
                fast.emplace_back(list.at(i), list.tag(i));
            }
            EXPECT_EQ(fast, plain.results) << item.path() << " " << Utf16ToUtf8(query);
            EXPECT_EQ(texts, plain.statusTexts) << item.path() << " " << Utf16ToUtf8(query);
        }
        CloseAssetFile(doc);
        ++searched;
    }
    EXPECT_GT(searched, 0);
}

ProgramRun RunCli(const std::string& arguments) {
    return RunProgram(std::string(KESTROVA_CLI) + " " + arguments + " 2>/dev/null");
}

TEST_F(LoadedFileSearch, CommandLinePrintsResultsInListOrderWithSignedPathIds) {
    WriteBytes(folder.File("input.assets"), Sample());
    const std::string file = "'" + folder.File("input.assets") + "'";
    ProgramRun run = RunCli("search " + file + " --mode text dot");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "Crosshair (1)\nPlayer (-2)\nunnamed asset (3)\nFound 3 Results\n");
    // The second "Player" holds "dot" in this case; it shares name and pathId with the first.
    EXPECT_EQ(RunCli("search " + file + " --mode 1 dot").out,
              "Crosshair (1)\nunnamed asset (3)\nPlayer (-2)\nFound 3 Results\n");
    EXPECT_EQ(RunCli("search " + file + " --mode hex-be 646f").out,
              RunCli("search " + file + " --mode 4 646F").out);
    EXPECT_EQ(RunCli("search " + file + " --mode text ''").out, "Found 0 Results\n");
}

TEST_F(LoadedFileSearch, CommandLineRefusesBadModesQueriesAndFiles) {
    WriteBytes(folder.File("input.assets"), Sample());
    const std::string file = "'" + folder.File("input.assets") + "'";
    EXPECT_EQ(RunCli("search " + file + " --mode 8 dot").status, 1);
    EXPECT_EQ(RunCli("search " + file + " --mode words dot").status, 1);
    EXPECT_EQ(RunCli("search " + file + " --mode text '\xC4\x80'").status, 1);
    EXPECT_EQ(RunCli("search '" + folder.File("absent") + "' --mode text dot").status, 2);
}

}  // namespace
}  // namespace kestrova::testing
