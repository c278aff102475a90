#include "common/platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "common/text.h"
#include "temp_folder.h"

namespace kestrova {
namespace {

using testing::TempFolder;

TEST(PlatformFiles, CopyReplacesTheTargetAndRefusesItself) {
    TempFolder temp;
    temp.Write("from", "new content");
    temp.Write("to", "old and longer content");
    EXPECT_TRUE(platform::CopyFile(temp.Wide("from"), temp.Wide("to")));
    EXPECT_EQ(temp.Read("to"), "new content");
    EXPECT_FALSE(platform::CopyFile(temp.Wide("missing"), temp.Wide("to")));
    EXPECT_FALSE(platform::CopyFile(temp.path().u16string(), temp.Wide("to")));
    // Copying a file onto itself must not truncate it.
    EXPECT_FALSE(platform::CopyFile(temp.Wide("from"), temp.Wide("from")));
    EXPECT_EQ(temp.Read("from"), "new content");
}

TEST(PlatformFiles, MoveFailsOnExistingTargetAndReplaceDoesNot) {
    TempFolder temp;
    temp.Write("a", "A");
    temp.Write("b", "B");
    EXPECT_FALSE(platform::MoveFile(temp.Wide("a"), temp.Wide("b")));
    EXPECT_EQ(temp.Read("b"), "B");
    EXPECT_TRUE(platform::MoveFile(temp.Wide("a"), temp.Wide("c")));
    EXPECT_FALSE(platform::FileExists(temp.Wide("a")));
    EXPECT_TRUE(platform::ReplaceFile(temp.Wide("c"), temp.Wide("b")));
    EXPECT_EQ(temp.Read("b"), "A");
    EXPECT_EQ(platform::FileSize(temp.Wide("b")), 1u);
    EXPECT_FALSE(platform::FileSize(temp.Wide("c")).has_value());
    EXPECT_TRUE(platform::DeleteFile(temp.Wide("b")));
    EXPECT_FALSE(platform::DeleteFile(temp.Wide("b")));
}

TEST(PlatformFolders, CreateOnceAndRemoveOnlyWhenEmpty) {
    TempFolder temp;
    std::u16string folder = temp.Wide("Temp");
    EXPECT_TRUE(platform::CreateDirectory(folder));
    EXPECT_FALSE(platform::CreateDirectory(folder));
    temp.Write("Temp/temp", "x");
    EXPECT_FALSE(platform::RemoveDirectory(folder));
    EXPECT_TRUE(platform::DeleteFile(temp.Wide("Temp/temp")));
    EXPECT_TRUE(platform::RemoveDirectory(folder));
    EXPECT_FALSE(platform::FileExists(folder));
}

TEST(PlatformFolders, ListingNamesEntriesAndFolders) {
    TempFolder temp;
    temp.Write("f/file.plg", "x");
    temp.Write("f/caf\xc3\xa9", "x");
    temp.MakeFolder("f/sub");
    auto entries = platform::ListDirectory(temp.Wide("f"));
    ASSERT_TRUE(entries.has_value());
    std::sort(entries->begin(), entries->end(),
              [](const auto& a, const auto& b) { return a.name < b.name; });
    ASSERT_EQ(entries->size(), 3u);
    EXPECT_EQ((*entries)[0].name, u"caf\u00e9");
    EXPECT_FALSE((*entries)[0].isFolder);
    EXPECT_EQ((*entries)[1].name, u"file.plg");
    EXPECT_EQ((*entries)[2].name, u"sub");
    EXPECT_TRUE((*entries)[2].isFolder);
    EXPECT_FALSE(platform::ListDirectory(temp.Wide("absent")).has_value());
}

TEST(PlatformLibraries, LoadResolveAndLocateAModule) {
    std::u16string path = Utf8ToUtf16(COMMON_TEST_MODULE);
    platform::LibraryHandle library = platform::LoadLibrary(path);
    ASSERT_NE(library, nullptr);
    using AnswerProc = int (*)();
    auto answer =
        reinterpret_cast<AnswerProc>(platform::FindSymbol(library, "CommonTestModuleAnswer"));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_EQ(platform::FindSymbol(library, "NoSuchEntryPoint"), nullptr);
    std::u16string where = platform::ModulePath(reinterpret_cast<const void*>(answer));
    EXPECT_TRUE(std::filesystem::equivalent(Utf16ToUtf8(where), COMMON_TEST_MODULE));
    EXPECT_TRUE(std::filesystem::path(Utf16ToUtf8(where)).is_absolute());
    platform::FreeLibrary(library);

    EXPECT_EQ(platform::LoadLibrary(u"no-such-library.so"), nullptr);
    EXPECT_EQ(platform::FindSymbol(nullptr, "CommonTestModuleAnswer"), nullptr);
}

TEST(PlatformLibraries, ModulePathOfLoadByRelativeNameIsAbsolute) {
    std::filesystem::path module = COMMON_TEST_MODULE;
    auto previous = std::filesystem::current_path();
    std::filesystem::current_path(module.parent_path());
    platform::LibraryHandle library =
        platform::LoadLibrary(Utf8ToUtf16(module.filename().string()));
    std::filesystem::current_path(previous);
    ASSERT_NE(library, nullptr);
    void* symbol = platform::FindSymbol(library, "CommonTestModuleAnswer");
    std::u16string where = platform::ModulePath(symbol);
    EXPECT_TRUE(std::filesystem::path(Utf16ToUtf8(where)).is_absolute());
    EXPECT_TRUE(std::filesystem::equivalent(Utf16ToUtf8(where), module));
    platform::FreeLibrary(library);
}

}  // namespace
}  // namespace kestrova
