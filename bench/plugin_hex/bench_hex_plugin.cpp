// Times the hex plug-in on a large asset through its entry points, as the editor calls them: the
// hand-over that makes the panel (until it is painted), scrolling through the whole asset with a
// paint after every step, typing, and the write-back of the edited bytes. It also weighs what the
// plug-in holds beyond its copy of the asset's bytes. Runs offscreen unless a platform is chosen.
// Usage: bench_hex_plugin [MiB]   (default 64)

#include <dlfcn.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <QApplication>
#include <QKeyEvent>
#include <QScrollBar>
#include <QWidget>

#include "kestrova_plugin.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

double ResidentMegabytes() {
    long pages = 0;
    long resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

double PeakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// A key as the keyboard delivers it: pressed and released.
void PressKey(QWidget* widget, int key, Qt::KeyboardModifiers modifiers = {},
              const QString& text = {}) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QCoreApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QCoreApplication::sendEvent(widget, &release);
}

template <typename Proc>
Proc Resolve(void* library, const char* name) {
    return reinterpret_cast<Proc>(dlsym(library, name));
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    const long mebibytes = argc > 1 ? std::stol(argv[1]) : 64;
    if (mebibytes <= 0 || mebibytes > 2047) {
        std::fprintf(stderr, "the size is 1 to 2047 MiB\n");
        return 1;
    }
    QApplication application(argc, argv);

    void* library = dlopen(HEX_PLUGIN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    const auto create =
        Resolve<CreatePluginDialogProc>(library, KESTROVA_CREATE_PLUGIN_DIALOG_NAME);
    const auto changed = Resolve<AssetChangedProc>(library, KESTROVA_ASSET_CHANGED_NAME);
    const auto getData = Resolve<GetDataProc>(library, KESTROVA_GET_DATA_NAME);
    if (create == nullptr || changed == nullptr || getData == nullptr) {
        std::fprintf(stderr, "an entry point is missing\n");
        return 1;
    }

    // The editor's buffer of the asset, and the main window the panel is placed in.
    const std::size_t size = static_cast<std::size_t>(mebibytes) << 20;
    std::vector<std::uint8_t> asset(size);
    for (std::size_t i = 0; i < size; ++i) {
        asset[i] = static_cast<std::uint8_t>((i * 2654435761u) >> 13);
    }
    QWidget window;
    window.resize(1280, 800);
    window.show();
    QApplication::processEvents();

    // The reference: one plain copy of the asset's bytes, as any hand-over must make.
    Clock::time_point start = Clock::now();
    std::vector<std::uint8_t> copy(asset);
    const double copyMs = Milliseconds(start);
    copy = {};
    malloc_trim(0);

    const double residentBefore = ResidentMegabytes();
    start = Clock::now();
    auto* panel = static_cast<QWidget*>(create(&window, asset.data(), static_cast<int32_t>(size)));
    if (panel == nullptr) {
        std::fprintf(stderr, "no panel\n");
        return 1;
    }
    panel->setGeometry(0, 0, window.width(), window.height());
    panel->show();
    auto* view = panel->findChild<QWidget*>(QStringLiteral("hexView"));
    auto* scrollBar = panel->findChild<QScrollBar*>(QStringLiteral("hexScrollBar"));
    if (view == nullptr || scrollBar == nullptr) {
        std::fprintf(stderr, "the panel has no view or no scroll bar\n");
        return 1;
    }
    panel->repaint();
    const double createMs = Milliseconds(start);
    const double heldBeyond = ResidentMegabytes() - residentBefore - static_cast<double>(mebibytes);
    std::printf("asset of %ld MiB, %d rows in the scroll bar's range\n", mebibytes,
                scrollBar->maximum() + scrollBar->pageStep());
    std::printf(
        "hand-over until the panel is painted: %.1f ms (one plain copy of the bytes: %.1f ms)\n",
        createMs, copyMs);
    std::printf("resident memory the plug-in holds beyond its copy of the bytes: %.1f MiB\n",
                heldBeyond);

    // Scrolling through the whole asset in 1000 steps, every step painted.
    constexpr int kSteps = 1000;
    start = Clock::now();
    for (int step = 0; step <= kSteps; ++step) {
        scrollBar->setValue(
            static_cast<int>(static_cast<long long>(scrollBar->maximum()) * step / kSteps));
        view->repaint();
    }
    const double scrollMs = Milliseconds(start);
    std::printf("%d scroll steps over the whole asset, each painted: %.1f ms (%.3f ms a step)\n",
                kSteps, scrollMs, scrollMs / kSteps);

    // Paging down one screen at a time through the keyboard, each painted.
    view->setFocus();
    start = Clock::now();
    for (int step = 0; step < kSteps; ++step) {
        PressKey(view, Qt::Key_PageDown);
        view->repaint();
    }
    const double pageMs = Milliseconds(start);
    std::printf("%d Page Down keys, each painted: %.1f ms (%.3f ms a key)\n", kSteps, pageMs,
                pageMs / kSteps);

    // Typing and the write-back that follows when the user leaves the asset.
    PressKey(view, Qt::Key_Home, Qt::ControlModifier);
    start = Clock::now();
    for (int key = 0; key < kSteps; ++key) {
        const QChar digit = QLatin1Char("0123456789ABCDEF"[key % 16]);
        PressKey(view, digit.unicode(), {}, QString(digit));
        view->repaint();
    }
    const double typeMs = Milliseconds(start);
    std::printf("%d hex digits typed, each painted: %.1f ms (%.3f ms a key)\n", kSteps, typeMs,
                typeMs / kSteps);
    start = Clock::now();
    std::int32_t length = 0;
    std::uint8_t* data = changed() == 1 ? getData(&length) : nullptr;
    const double writeBackMs = Milliseconds(start);
    const bool intact = data != nullptr && length == static_cast<std::int32_t>(size) &&
                        std::memcmp(data + 500, asset.data() + 500, size - 500) == 0;
    ::operator delete(data);
    std::printf("AssetChanged and GetData of the edited asset: %.1f ms, bytes after the edits %s\n",
                writeBackMs, intact ? "intact" : "DIFFER");
    std::printf("peak resident memory: %.0f MiB\n", PeakMegabytes());

    delete panel;
    return intact ? 0 : 1;
}
