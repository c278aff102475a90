// Long operations off the interface thread: the runner's hand-back of progress and outcome, and
// the window's Open, Save As, Export and Import of a large file, which keep the window answering,
// disable the commands meanwhile and, cancelled or interrupted by closing the window, change
// nothing.

#include <QAction>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <stop_token>
#include <thread>

#include "editor/shell/ui/list_panel.h"
#include "editor/shell/ui/status_bar.h"
#include "editor/tasks/task_runner.h"
#include "tests/shell_gui/gui_test_support.h"

namespace kestrova::testing {
namespace {

// Progress is folded to the latest state but its last one always arrives, on the runner's
// thread and before the outcome; a second operation is refused while one runs, not queued.
TEST(TaskRunnerTest, ProgressAndOutcomeComeBackInOrderOnTheOwningThread) {
    TaskRunner runner;
    std::vector<bool> states;
    QObject::connect(&runner, &TaskRunner::runningChanged, [&](bool on) { states.push_back(on); });
    std::vector<float> shown;
    bool wrongThread = false;
    std::optional<Outcome> outcome;
    std::size_t shownAtDone = 0;
    ASSERT_TRUE(runner.Start(
        [](const ProgressCallback& progress, std::stop_token) {
            for (int i = 1; i <= 10000; ++i) {
                progress(u"step", static_cast<float>(i) / 10000.0f);
            }
            return Outcome::Failure(u"refused");
        },
        [&](std::u16string_view, float fraction) {
            wrongThread |= QThread::currentThread() != runner.thread();
            shown.push_back(fraction);
        },
        [&](const Outcome& o) {
            outcome = o;
            shownAtDone = shown.size();
        }));
    EXPECT_FALSE(runner.Start([](const ProgressCallback&, std::stop_token) { return Outcome{}; },
                              {}, [](const Outcome&) { ADD_FAILURE() << "queued"; }));
    WaitForLongWork(runner);
    ASSERT_TRUE(outcome && !shown.empty());
    EXPECT_EQ(outcome->message, u"refused");
    EXPECT_FALSE(wrongThread);
    EXPECT_EQ(shown.back(), 1.0f);
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
    EXPECT_EQ(shownAtDone, shown.size());
    EXPECT_EQ(states, (std::vector<bool>{true, false}));
}

class LongWorkTest : public GuiTest {
protected:
    // An asset file of 64 MiB: several copy steps.
    std::string WriteLarge() {
        Bytes body(std::size_t{64} << 20);
        for (std::size_t i = 0; i < body.size(); i += 4096) {
            body[i] = static_cast<std::uint8_t>(i >> 12);
        }
        large_ = AssetFileBuilder{}.Add("large", 28, 5, body).Add("after", 49, 6, {1, 2}).Build();
        const std::string path = Path("large.assets");
        WriteBytes(path, large_);
        return path;
    }

    // The files of the test folder, for "nothing was left behind".
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(Path(""))) {
            if (entry.is_regular_file() && entry.path().filename() != "preferences") {
                names.push_back(entry.path().string());
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    Bytes large_;
};

TEST_F(LongWorkTest, SaveAsOfALargeFileKeepsTheWindowAnsweringWithTheCommandsDisabled) {
    auto window = Start();
    OpenFile(*window, WriteLarge());
    auto* saveAs = window->findChild<QAction*>(QStringLiteral("saveAsAction"));
    QWidget* cancel = window->statusBar()->cancelButton();
    std::atomic<int> answered = 0;  // passes of the event loop while the copy ran
    bool conflicting = false;
    // The copy waits at its first report until the window has answered, however fast it is.
    window->taskRunner()->SetReportHook([&](const std::stop_token& stop) {
        while (answered == 0 && !stop.stop_requested()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (window->taskRunner()->running()) {
            ++answered;
            conflicting |=
                saveAs->isEnabled() || window->listPanel()->isEnabled() || !cancel->isVisible();
        }
    });
    ticker.start(0);
    SaveAs(*window, Path("saved.assets"));
    ticker.stop();

    EXPECT_GT(answered.load(), 0);
    EXPECT_FALSE(conflicting);
    EXPECT_TRUE(saveAs->isEnabled() && window->listPanel()->isEnabled() && !cancel->isVisible());
    EXPECT_EQ(window->windowTitle(), "Kestrova ( saved.assets )");
    EXPECT_EQ(window->statusBar()->shownText(), "Ready");
    EXPECT_EQ(ReadBytes(Path("saved.assets")), large_);
    Stop(window);
}

// Cancelled by the status bar's button or by Esc, or interrupted by closing the window, while the
// copy is held at its first report: the document, its list, the working copy and the chosen name
// are as they were. Open copies the large file over a small one; Save As and Export copy out of
// the large working copy; Import reads the large file into a small asset.
TEST_F(LongWorkTest, ACancelledOpenSaveAsExportOrImportChangesNothing) {
    const std::string large = WriteLarge();
    const std::string sample = WriteSample();
    enum class Stopped { Button, Escape, Closing };
    struct Case {
        const char* action;
        bool fromLarge;           // the large file is open (else the small sample)
        const char* chosenName;   // in the test folder, or the large file
        Stopped how;
    };
    for (const Case c : {Case{"saveAsAction", true, "saved.assets", Stopped::Button},
                         Case{"openAction", false, nullptr, Stopped::Escape},
                         Case{"saveAsAction", true, "saved.assets", Stopped::Closing},
                         Case{"openAction", false, nullptr, Stopped::Closing},
                         Case{"exportAction", true, "large.data", Stopped::Button},
                         Case{"importAction", false, nullptr, Stopped::Escape}}) {
        SCOPED_TRACE(::testing::Message() << c.action << static_cast<int>(c.how));
        auto window = Start();
        OpenFile(*window, c.fromLarge ? large : sample);
        ClickRow(*window, 0);
        window->taskRunner()->SetReportHook([](const std::stop_token& stop) {
            while (!stop.stop_requested()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        const QString title = window->windowTitle();
        const QStringList names = Column(*window, 0);
        const QStringList sizes = Column(*window, 3);
        const Bytes workingCopy = ReadBytes("Temp/temp");
        const std::vector<std::string> files = Files();

        chooser.Next(Wide(c.chosenName != nullptr ? Path(c.chosenName) : large), 1);
        window->findChild<QAction*>(QString::fromLatin1(c.action))->trigger();
        ASSERT_TRUE(window->taskRunner()->running());
        if (c.how == Stopped::Closing) {
            Stop(window);
            EXPECT_FALSE(std::filesystem::exists("Temp"));
            std::vector<std::string> sources = {large, sample};
            std::sort(sources.begin(), sources.end());
            EXPECT_EQ(Files(), sources);
            continue;
        }
        if (c.how == Stopped::Button) {
            QTest::mouseClick(window->statusBar()->cancelButton(), Qt::LeftButton);
        } else {
            QTest::keyClick(window.get(), Qt::Key_Escape);
        }
        WaitForLongWork(*window);
        EXPECT_EQ(window->statusBar()->shownText(), "Cancelled.");
        EXPECT_EQ(window->windowTitle(), title);
        EXPECT_EQ(Column(*window, 0), names);
        EXPECT_EQ(Column(*window, 3), sizes);
        EXPECT_EQ(ReadBytes("Temp/temp"), workingCopy);
        EXPECT_EQ(Files(), files);
        Stop(window);
    }
}

}  // namespace
}  // namespace kestrova::testing
