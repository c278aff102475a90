// Times the editor window on a large file: File > Open through the real main window until the
// list is laid out and painted, then a sort by every column through the list's header. It also
// weighs what the window and the shell keep per asset beyond the document itself, by loading the
// same file into a bare document first. Runs offscreen unless a platform is chosen.

#include <malloc.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include <QAction>
#include <QApplication>
#include <QHeaderView>

#include "common/text.h"
#include "document/asset_file.h"
#include "editor/shell/ui/asset_table_model.h"
#include "editor/shell/ui/list_panel.h"
#include "editor/shell/ui/main_window.h"
#include "editor/tasks/task_runner.h"
#include "tests/document/asset_file_builder.h"
#include "tests/shell/shell_test_hosts.h"

namespace {

using Clock = std::chrono::steady_clock;
using kestrova::testing::Bytes;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// Bytes the program has taken from the heap and not given back.
long long HeapInUse() {
    return static_cast<long long>(mallinfo2().uordblks) +
           static_cast<long long>(mallinfo2().hblkhd);
}

long PeakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// `count` assets named "asset" and seven digits in a scrambled order, bodies of 0 to 16 bytes,
// 200 types and scrambled indices, so that every sort has work to do.
void WriteLargeFile(const std::string& path, std::uint32_t count) {
    kestrova::testing::AssetFileBuilder builder;
    builder.Align(4);
    for (std::uint32_t i = 0; i < count; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "asset%07u", (i * 7919u) % count);
        builder.Add(name, 1 + i % 200, (i * 2654435761u) % 1000003u, Bytes(4 * (i % 5), 0x5A));
    }
    kestrova::testing::WriteBytes(path, builder.Build());
}

void Settle() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    const std::uint32_t count =
        argc > 1 ? static_cast<std::uint32_t>(std::stoul(argv[1])) : 1000000;
    QApplication application(argc, argv);

    kestrova::testing::TempFolder folder;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.path());
    const std::string path = folder.File("large.assets");
    {
        const Clock::time_point start = Clock::now();
        WriteLargeFile(path, count);
        std::printf("file of %u assets: %.1f MB, built in %.2f s\n", count,
                    static_cast<double>(std::filesystem::file_size(path)) / 1e6, Seconds(start));
    }
    malloc_trim(0);

    // The document alone, as the reference for the window's own share.
    long long documentBytes = 0;
    {
        kestrova::AssetFile bare;
        bare.workingFolder = u"BareTemp";
        const long long before = HeapInUse();
        const Clock::time_point start = Clock::now();
        kestrova::Outcome loaded = kestrova::LoadAssetFile(bare, kestrova::Utf8ToUtf16(path));
        const double seconds = Seconds(start);
        documentBytes = HeapInUse() - before;
        if (!loaded) {
            std::printf("the file was refused: %s\n",
                        kestrova::Utf16ToUtf8(loaded.message).c_str());
            return 1;
        }
        std::printf("document alone: loaded in %.2f s, %.1f bytes per asset\n", seconds,
                    static_cast<double>(documentBytes) / count);
        kestrova::CloseAssetFile(bare);
    }
    malloc_trim(0);

    kestrova::ScriptedChooser chooser;
    kestrova::Preferences preferences;
    auto window = std::make_unique<kestrova::MainWindow>(preferences, &chooser);
    window->CreatePanels();
    Settle();

    const long long before = HeapInUse();
    chooser.Next(kestrova::Utf8ToUtf16(path), 1);
    Clock::time_point start = Clock::now();
    window->findChild<QAction*>(QStringLiteral("openAction"))->trigger();
    // Open copies the file on a worker; the list is built once its outcome is back.
    while (window->taskRunner()->running()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    Settle();
    window->listPanel()->view()->viewport()->repaint();
    const double openSeconds = Seconds(start);
    const long long editorBytes = HeapInUse() - before - documentBytes;
    const int rows = window->listPanel()->model()->rowCount();
    std::printf("open and list %d rows: %.2f s (target 2 s)\n", rows, openSeconds);
    std::printf("editor beyond the document: %.1f bytes per asset (target 300)\n",
                static_cast<double>(editorBytes) / count);

    static const char* const kColumns[] = {"Name", "Type", "Index", "Size"};
    QHeaderView* header = window->listPanel()->view()->header();
    for (int column = 0; column < 4; ++column) {
        start = Clock::now();
        emit header->sectionClicked(column);
        Settle();
        window->listPanel()->view()->viewport()->repaint();
        std::printf(
            "sort by %-5s: %.2f s (target 1 s), first row \"%s\"\n", kColumns[column],
            Seconds(start),
            window->listPanel()->model()->index(0, column).data().toString().toUtf8().constData());
    }
    std::printf("peak resident memory: %ld MB\n", PeakMegabytes());

    window->close();
    window.reset();
    std::filesystem::current_path(previous);
    return rows == static_cast<int>(count) ? 0 : 1;
}
