// Files written beside their target: the target is replaced in one step or left as it was, an
// existing file is never taken over, and nothing is left behind when writing fails.

#include "common/file_beside.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <vector>

#include "common/text.h"
#include "temp_folder.h"

namespace kestrova {
namespace {

using testing::TempFolder;

std::size_t FilesIn(const TempFolder& temp) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(temp.path())) {
        ++count;
    }
    return count;
}

TEST(FileBeside, CommitReplacesTheTargetAndTakesOverNoExistingFile) {
    TempFolder temp;
    temp.Write("out", "old");
    temp.Write("out.partial", "someone else's");
    FileBeside file;
    ASSERT_TRUE(file.Create(temp.Wide("out")));
    EXPECT_EQ(file.path(), temp.Wide("out.partial1"));
    ASSERT_NE(file.stream(), nullptr);
    std::fputs("new", file.stream());
    EXPECT_EQ(temp.Read("out"), "old");
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(temp.Read("out"), "new");
    EXPECT_EQ(temp.Read("out.partial"), "someone else's");
    EXPECT_EQ(FilesIn(temp), 2u);

    const std::vector<std::uint8_t> bytes = {0, 1, 2};
    ASSERT_TRUE(WriteFileBeside(temp.Wide("fresh"), bytes).ok);
    EXPECT_EQ(temp.Read("fresh"), std::string("\0\1\2", 3));
}

TEST(FileBeside, FailuresLeaveTheTargetAsItWasAndNoNewFile) {
    TempFolder temp;
    temp.Write("out", "old");
    FileBeside missingFolder;
    EXPECT_FALSE(missingFolder.Create(temp.Wide("no/such/folder/out")));
    EXPECT_FALSE(missingFolder.error().empty());
    EXPECT_EQ(missingFolder.stream(), nullptr);
    EXPECT_FALSE(missingFolder.Commit());
    {
        FileBeside abandoned;
        ASSERT_TRUE(abandoned.Create(temp.Wide("out")));
        std::fputs("half", abandoned.stream());
    }
    EXPECT_EQ(temp.Read("out"), "old");
    EXPECT_EQ(FilesIn(temp), 1u);

    // A folder cannot be replaced by a file.
    temp.Write("folder/inside", "x");
    FileBeside overFolder;
    ASSERT_TRUE(overFolder.Create(temp.Wide("folder")));
    EXPECT_FALSE(overFolder.Commit());
    EXPECT_FALSE(overFolder.error().empty());
    EXPECT_EQ(temp.Read("folder/inside"), "x");
    EXPECT_EQ(FilesIn(temp), 2u);

    // A write the system refuses (here: past the process's file size limit, as a full disk
    // would) is reported with its reason, also when the stream only meets it on close.
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    rlimit small = before;
    small.rlim_cur = 1000;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const Outcome written = WriteFileBeside(temp.Wide("out"), std::vector<std::uint8_t>(5000, 7));
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written.ok);
    EXPECT_EQ(written.message.rfind(u"Cannot write " + temp.Wide("out") + u": ", 0), 0u)
        << Utf16ToUtf8(written.message);
    EXPECT_GT(written.message.size(), temp.Wide("out").size() + 16);
    EXPECT_EQ(temp.Read("out"), "old");
    EXPECT_EQ(FilesIn(temp), 2u);
}

}  // namespace
}  // namespace kestrova
