// The kestrova program itself: its command line, and two editors started in one folder.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "common/folder_lock.h"
#include "common/text.h"
#include "editor/shell/ui/asset_table_model.h"
#include "editor/shell/ui/list_panel.h"
#include "tests/document/program_run.h"
#include "tests/shell_gui/gui_test_support.h"

namespace kestrova::testing {
namespace {

TEST(ProgramTest, HelpAndVersionAnswerWithoutAWindow) {
    ProgramRun version =
        RunProgram("env -u DISPLAY -u QT_QPA_PLATFORM " KESTROVA_PROGRAM " --version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "kestrova " KESTROVA_VERSION "\n");
    ProgramRun help = RunProgram("env -u DISPLAY -u QT_QPA_PLATFORM " KESTROVA_PROGRAM " --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: kestrova [FILE]"), std::string::npos);
    EXPECT_EQ(RunProgram(KESTROVA_PROGRAM " a b 2>/dev/null").status, 1);
}

// The first editor opens the file named on its command line and holds the folder; a second one
// started there says so and leaves the first one's working copy alone.
TEST(ProgramTest, ASecondEditorInTheSameFolderStopsWithoutTouchingTemp) {
    TempFolder folder;
    AssetFileBuilder builder;
    builder.Add("Crosshair", 28, 1, Bytes(64, 7));
    const Bytes original = builder.Build();
    WriteBytes(folder.File("input.assets"), original);

    const pid_t first = ::fork();
    ASSERT_GE(first, 0);
    if (first == 0) {
        if (::chdir(folder.path().c_str()) != 0) {
            ::_exit(3);
        }
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::execl(KESTROVA_PROGRAM, KESTROVA_PROGRAM, "input.assets", static_cast<char*>(nullptr));
        ::_exit(4);
    }
    // Wait until the first editor holds the folder and has made its working copy.
    bool running = false;
    for (int i = 0; i < 400 && !running; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        FolderLock probe;
        running = !probe.Acquire(Utf8ToUtf16(folder.path().string())) &&
                  ReadBytes(folder.File("Temp/temp")) == original;
    }
    ASSERT_TRUE(running);

    ProgramRun second =
        RunProgram("cd '" + folder.path().string() +
                   "' && KESTROVA_NO_DIALOGS=1 QT_QPA_PLATFORM=offscreen " KESTROVA_PROGRAM
                   " input.assets 2>&1");
    EXPECT_EQ(second.status, 1);
    EXPECT_NE(second.out.find("Kestrova is already running in"), std::string::npos) << second.out;
    EXPECT_EQ(ReadBytes(folder.File("Temp/temp")), original);

    ::kill(first, SIGTERM);
    ::waitpid(first, nullptr, 0);
}

class DropTest : public GuiTest {};

TEST_F(DropTest, AFileDroppedOnTheWindowOpensAsFileOpenWould) {
    auto window = Start();
    const std::string path = WriteSample();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &drop);
    WaitForLongWork(*window);
    EXPECT_EQ(window->listPanel()->model()->rowCount(), 4);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Kestrova ( sample.assets )"));
    EXPECT_EQ(FolderText(window->shell().preferences.lastAssetFolder),
              Wide(path.substr(0, path.rfind('/') + 1)));
    Stop(window);
}

}  // namespace
}  // namespace kestrova::testing
