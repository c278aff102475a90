// The lock on a working folder, taken by two processes.

#include "common/folder_lock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/common/temp_folder.h"

namespace kestrova::testing {
namespace {

TEST(FolderLockTest, OneProcessAtATimeAndAKilledHolderReleasesIt) {
    TempFolder folder;
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        FolderLock lock;
        const char answer = lock.Acquire(folder.Wide()) ? 'y' : 'n';
        (void)!::write(ready[1], &answer, 1);
        ::pause();
        ::_exit(0);
    }
    char answer = 0;
    ASSERT_EQ(::read(ready[0], &answer, 1), 1);
    ASSERT_EQ(answer, 'y');

    FolderLock second;
    EXPECT_FALSE(second.Acquire(folder.Wide()));

    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    EXPECT_TRUE(second.Acquire(folder.Wide()));
    EXPECT_TRUE(second.held());
    second.Release();
    EXPECT_FALSE(second.held());
    EXPECT_FALSE(FolderLock().Acquire(folder.Wide("missing")));
    ::close(ready[0]);
    ::close(ready[1]);
}

}  // namespace
}  // namespace kestrova::testing
