// How long the editor window goes without returning to its event loop while a long operation runs:
// Open and Save As of a 256 MiB asset file through the real main window (offscreen unless a
// platform is chosen), and beside them the same copy done on the interface thread, as the window
// did it before its long work moved to a worker; and the import of a 4096x4096 picture into a
// DXT5 texture with its mip chain through the texture plug-in. A zero-interval timer ticks
// whenever the event loop runs; the longest time between two ticks is the longest the window
// could not repaint or answer. Also the time from Cancel to the window being usable again.

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTimer>

#include "common/text.h"
#include "document/asset_file.h"
#include "editor/shell/ui/main_window.h"
#include "editor/shell/ui/status_bar.h"
#include "editor/tasks/task_runner.h"
#include "tests/common/temp_folder.h"
#include "tests/document/asset_file_builder.h"
#include "tests/plugin_texture/texture_test_support.h"
#include "tests/shell/shell_test_hosts.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// Ticks on every pass of the event loop and keeps the longest time between two ticks.
class GapMeter {
public:
    GapMeter() {
        timer_.setInterval(0);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const Clock::time_point now = Clock::now();
            longest_ = std::max(longest_, now - last_);
            last_ = now;
            ++ticks_;
        });
    }
    void Start() {
        longest_ = {};
        ticks_ = 0;
        last_ = Clock::now();
        timer_.start();
    }
    // Stops; the time since the last tick counts as a gap too.
    void Stop() {
        longest_ = std::max(longest_, Clock::now() - last_);
        timer_.stop();
    }
    double longestMs() const { return Milliseconds(longest_); }
    long ticks() const { return ticks_; }

private:
    QTimer timer_;
    Clock::time_point last_;
    Clock::duration longest_{};
    long ticks_ = 0;
};

void WaitWhileRunning(kestrova::MainWindow& window) {
    while (window.taskRunner()->running()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    QCoreApplication::processEvents();
}

// Runs File > `action` on `path` and prints the longest gap and the whole time.
void Measure(kestrova::MainWindow& window, kestrova::ScriptedChooser& chooser, const char* action,
             const std::string& path, const char* label) {
    GapMeter meter;
    chooser.Next(kestrova::Utf8ToUtf16(path), 1);
    meter.Start();
    const Clock::time_point start = Clock::now();
    window.findChild<QAction*>(QString::fromLatin1(action))->trigger();
    WaitWhileRunning(window);
    meter.Stop();
    std::printf(
        "%-28s longest gap %7.1f ms (target 100), %5ld loop passes, %6.0f ms in all, "
        "status \"%s\"\n",
        label, meter.longestMs(), meter.ticks(), Milliseconds(Clock::now() - start),
        window.statusBar()->shownText().toUtf8().constData());
}

// Imports a 4096x4096 picture into a DXT5 texture with its mip chain through the texture
// plug-in, installed in the current folder's Plugins as the window finds it at start-up.
void MeasureTextureImport(kestrova::ScriptedChooser& chooser, kestrova::testing::TempFolder& folder,
                          kestrova::Preferences& preferences) {
    const std::filesystem::path built = KESTROVA_TEXTURE_PLUGIN_FOLDER;
    std::filesystem::create_directories("Plugins/texture");
    for (const char* file : {"texture.plg", "texture.so"}) {
        std::filesystem::copy_file(built / file, std::filesystem::path("Plugins/texture") / file,
                                   std::filesystem::copy_options::overwrite_existing);
    }
    constexpr std::uint32_t kSide = 4096;
    constexpr std::uint32_t kDxt5 = 12;
    std::size_t chain = 0;
    for (std::uint32_t side = kSide; side >= 1; side /= 2) {
        chain += std::size_t{(side + 3) / 4} * ((side + 3) / 4) * 16;
    }
    const std::string file = folder.File("texture.assets");
    kestrova::testing::WriteBytes(
        file, kestrova::testing::AssetFileBuilder{}
                  .Add("picture", 28, 1,
                       kestrova::testing::MakeBody(kSide, kSide, kDxt5, true,
                                                   kestrova::testing::Bytes(chain)))
                  .Build());
    QImage noise(kSide, kSide, QImage::Format_ARGB32);
    QRandomGenerator random(7);
    for (std::uint32_t y = 0; y < kSide; ++y) {
        auto* line = reinterpret_cast<quint32*>(noise.scanLine(static_cast<int>(y)));
        for (std::uint32_t x = 0; x < kSide; ++x) {
            line[x] = random.generate();
        }
    }
    noise.save(QString::fromStdString(folder.File("picture.png")), "PNG");

    auto window = std::make_unique<kestrova::MainWindow>(preferences, &chooser);
    window->CreatePanels();
    chooser.Next(kestrova::Utf8ToUtf16(file), 1);
    window->findChild<QAction*>(QStringLiteral("openAction"))->trigger();
    WaitWhileRunning(*window);
    window->shell().SelectAsset(0);  // the texture's panel shows
    QCoreApplication::processEvents();

    GapMeter meter;
    chooser.Next(kestrova::Utf8ToUtf16(folder.File("picture.png")), 1);
    meter.Start();
    const Clock::time_point start = Clock::now();
    window->findChild<QAction*>(QStringLiteral("importAction"))->trigger();
    WaitWhileRunning(*window);  // the picture is read beside the window, then encoded
    meter.Stop();
    std::printf(
        "%-28s longest gap %7.1f ms (target 100), %5ld loop passes, %6.0f ms in all, "
        "status \"%s\"\n",
        "DXT5 4096x4096 import:", meter.longestMs(), meter.ticks(),
        Milliseconds(Clock::now() - start), window->statusBar()->shownText().toUtf8().constData());
    window->close();
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    const std::size_t mib = argc > 1 ? std::stoul(argv[1]) : 256;
    QApplication application(argc, argv);

    kestrova::testing::TempFolder folder;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.path());
    const std::string path = folder.File("large.assets");
    {
        kestrova::testing::Bytes body(mib << 20);
        for (std::size_t i = 0; i < body.size(); i += 4096) {
            body[i] = static_cast<std::uint8_t>(i >> 12);
        }
        kestrova::testing::WriteBytes(
            path, kestrova::testing::AssetFileBuilder{}.Add("large", 28, 1, body).Build());
    }
    std::printf("file: %.0f MiB\n",
                static_cast<double>(std::filesystem::file_size(path)) / (1 << 20));

    kestrova::ScriptedChooser chooser;
    kestrova::Preferences preferences;
    auto window = std::make_unique<kestrova::MainWindow>(preferences, &chooser);
    window->CreatePanels();
    QCoreApplication::processEvents();

    Measure(*window, chooser, "openAction", path, "Open (worker):");
    Measure(*window, chooser, "saveAsAction", folder.File("saved.assets"), "Save As (worker):");

    // The same copy on the interface thread, as Save As ran before.
    {
        GapMeter meter;
        meter.Start();
        QCoreApplication::processEvents();
        const Clock::time_point start = Clock::now();
        kestrova::SaveWorkingCopyAs(window->shell().document,
                                    kestrova::Utf8ToUtf16(folder.File("inline.assets")));
        QCoreApplication::processEvents();
        meter.Stop();
        std::printf("%-28s longest gap %7.1f ms, %6.0f ms in all\n",
                    "Save As (interface thread):", meter.longestMs(),
                    Milliseconds(Clock::now() - start));
    }

    // Cancel as soon as the first progress shows: how long until the window is usable again.
    {
        chooser.Next(kestrova::Utf8ToUtf16(folder.File("cancelled.assets")), 1);
        window->findChild<QAction*>(QStringLiteral("saveAsAction"))->trigger();
        while (window->statusBar()->shownProgress() == 0.0f && window->taskRunner()->running()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        const Clock::time_point start = Clock::now();
        window->statusBar()->cancelButton()->click();
        WaitWhileRunning(*window);
        std::printf("Cancel to idle: %.1f ms, status \"%s\", file left: %s\n",
                    Milliseconds(Clock::now() - start),
                    window->statusBar()->shownText().toUtf8().constData(),
                    std::filesystem::exists(folder.File("cancelled.assets")) ? "yes" : "no");
    }

    window->close();
    window.reset();
    MeasureTextureImport(chooser, folder, preferences);
    std::filesystem::current_path(previous);
    return 0;
}
