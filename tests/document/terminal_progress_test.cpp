// kestrova-cli's progress line: what a terminal receives at given moments of an operation, and
// kestrova-cli itself under a pseudo-terminal and with its standard error in a file.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>

#include "tests/document/document_test_support.h"
#include "tests/document/program_run.h"
#include "tools/kestrova-cli/terminal_progress.h"

namespace kestrova::testing {
namespace {

using cli::TerminalProgress;
using namespace std::chrono_literals;

// Everything written to the terminal's other end so far. A terminal passes bytes on a moment
// after they were written, so this waits a little for them.
std::string Drain(int master) {
    std::string out;
    std::array<char, 4096> buffer{};
    pollfd ready{master, POLLIN, 0};
    while (::poll(&ready, 1, out.empty() ? 300 : 50) == 1) {
        const ssize_t n = ::read(master, buffer.data(), buffer.size());
        if (n <= 0) {
            break;
        }
        out.append(buffer.data(), static_cast<std::size_t>(n));
    }
    return out;
}

class Terminal {
public:
    explicit Terminal(unsigned short columns) {
        winsize size{};
        size.ws_col = columns;
        size.ws_row = 24;
        EXPECT_EQ(::openpty(&master, &slave, nullptr, nullptr, &size), 0);
        termios modes{};
        ::tcgetattr(slave, &modes);
        ::cfmakeraw(&modes);  // the bytes as written, without "\n" becoming "\r\n"
        ::tcsetattr(slave, TCSANOW, &modes);
    }
    ~Terminal() {
        ::close(master);
        ::close(slave);
    }
    int master = -1;
    int slave = -1;
};

TEST(TerminalProgressTest, QuietForASecondThenOneLineCutToTheWidthAndErasedAtTheEnd) {
    Terminal terminal(24);
    const auto start = TerminalProgress::Clock::now();
    {
        TerminalProgress line(terminal.slave, start);
        line.Update(u"Copying: (8/512 MiB)", 8.0f / 512);
        line.Draw(start + 900ms);
        EXPECT_EQ(Drain(terminal.master), "");  // the first second shows nothing

        line.Draw(start + 1000ms);
        EXPECT_EQ(Drain(terminal.master), "\r[  1%] Copying: (8/512 ");  // 23 columns

        line.Update(u"Loaded:\t(1/2) ゲーム", 0.5f);
        line.Draw(start + 1050ms);
        EXPECT_EQ(Drain(terminal.master), "");  // at most ten drawings a second
        // A tab becomes a space, and wide characters take two columns.
        line.Draw(start + 1100ms);
        EXPECT_EQ(Drain(terminal.master), "\r[ 50%] Loaded: (1/2) ゲ");
        line.Draw(start + 1300ms);
        EXPECT_EQ(Drain(terminal.master), "");  // nothing new

        // What is left of a longer line is blanked; a message goes above the line.
        line.Update(u"Ready");
        line.Draw(start + 1400ms);
        EXPECT_EQ(Drain(terminal.master), "\rReady" + std::string(18, ' '));
        line.Message("kestrova-cli: skipped asset 3");
        EXPECT_EQ(Drain(terminal.master),
                  "\r" + std::string(23, ' ') + "\rkestrova-cli: skipped asset 3\n");
        line.Draw(start + 1500ms);
        EXPECT_EQ(Drain(terminal.master), "\rReady");
    }
    EXPECT_EQ(Drain(terminal.master), "\r     \r");
}

TEST(TerminalProgressTest, NothingButMessagesWhenNotATerminal) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const auto start = TerminalProgress::Clock::now();
    {
        TerminalProgress line(ends[1], start);
        line.Update(u"Copying: (8/512 MiB)", 0.5f);
        line.Draw(start + 5s);
        line.Message("kestrova-cli: skipped asset 3");
    }
    EXPECT_EQ(Drain(ends[0]), "kestrova-cli: skipped asset 3\n");
    ::close(ends[0]);
    ::close(ends[1]);
}

// kestrova-cli with every progress report slowed down, so that opening a small file takes over
// a second: its terminal shows the line and then the table; a file gets nothing.
TEST(TerminalProgressTest, KestrovaCliShowsTheLineOnlyOnATerminal) {
    TempFolder folder;
    AssetFileBuilder b;
    for (std::uint32_t i = 0; i < 40; ++i) {
        b.Add("asset" + std::to_string(i), 49, i + 1, Filled(8, 1));
    }
    WriteBytes(folder.File("in.assets"), b.Build());
    const std::string command = "KESTROVA_SLOW_PROGRESS_MS=50 '" + std::string(KESTROVA_CLI) +
                                "' list '" + folder.File("in.assets") + "'";

    int master = -1;
    winsize size{};
    size.ws_col = 60;
    const pid_t child = ::forkpty(&master, nullptr, nullptr, &size);
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    std::string shown;
    std::array<char, 4096> buffer{};
    for (ssize_t n; (n = ::read(master, buffer.data(), buffer.size())) > 0;) {
        shown.append(buffer.data(), static_cast<std::size_t>(n));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(master);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << shown;
    const std::size_t line = shown.find("\r[");
    const std::size_t table = shown.find("Name");
    ASSERT_NE(line, std::string::npos) << shown;
    EXPECT_NE(shown.find("%] Loaded: ("), std::string::npos) << shown;
    EXPECT_LT(line, table);  // erased before the table is printed
    EXPECT_NE(shown.find("asset39"), std::string::npos);

    const ProgramRun piped = RunProgram(command + " 2>'" + folder.File("stderr") + "'");
    EXPECT_EQ(piped.status, 0);
    EXPECT_NE(piped.out.find("asset39"), std::string::npos);
    EXPECT_TRUE(ReadBytes(folder.File("stderr")).empty());
}

}  // namespace
}  // namespace kestrova::testing
