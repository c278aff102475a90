// Times the text plug-in on texts from a shader's size to many megabytes, through its built
// library as the editor calls it: the panel made and painted, one key typed at the end, the
// AssetChanged and GetData that follow when the user leaves, and the conversions without a panel
// (export, import). A plain copy of the same bytes is the reference. Runs offscreen unless a
// platform is chosen.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTextCursor>

#include "tests/plugins/plugin_library.h"

namespace {

using Clock = std::chrono::steady_clock;
using kestrova::testing::Bytes;
using kestrova::testing::PluginLibrary;

double Milliseconds(Clock::time_point since) {
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

// A body holding `size` bytes of shader-like source: lines of 60 to 80 characters.
Bytes ShaderBody(std::size_t size) {
    static const char* const lines[] = {
        "\t\t\tfloat4 frag (v2f i) : COLOR { return tex2D(_MainTex, i.uv) * _Color; }\n",
        "\tSubShader { Tags { \"Queue\"=\"Transparent\" } LOD 200 Blend SrcAlpha One }\n",
        "\t\t#pragma vertex vert\n\t\t#pragma fragment frag\n\t\t#include \"UnityCG.cginc\"\n",
    };
    Bytes body(4, 0);
    for (std::size_t i = 0; body.size() - 4 < size; ++i) {
        const char* line = lines[i % 3];
        body.insert(body.end(), line, line + std::strlen(line));
    }
    body.resize(4 + size);
    for (int k = 0; k < 4; ++k) {
        body[k] = static_cast<std::uint8_t>(size >> (8 * k));
    }
    body.resize((body.size() + 3) / 4 * 4, 0);
    return body;
}

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication application(argc, argv);
    PluginLibrary plugin(KESTROVA_TEXT_PLUGIN);
    if (!plugin.complete()) {
        std::fprintf(stderr, "cannot load %s: %s\n", KESTROVA_TEXT_PLUGIN, plugin.error.c_str());
        return 1;
    }
    std::printf("%10s %10s %10s %12s %10s %10s %10s %10s\n", "text KiB", "panel ms", "key ms",
                "changed ms", "get ms", "export ms", "import ms", "copy ms");
    for (std::size_t kib : {64u, 1024u, 4096u, 16384u}) {
        const Bytes body = ShaderBody(kib * 1024);

        QWidget host;
        host.resize(900, 700);
        Clock::time_point start = Clock::now();
        QWidget* panel = plugin.Open(&host, body);
        panel->setGeometry(host.rect());
        host.show();
        panel->repaint();
        QApplication::processEvents();
        const double panelMs = Milliseconds(start);

        auto* editor = panel->findChild<QPlainTextEdit*>(QStringLiteral("textEditor"));
        editor->moveCursor(QTextCursor::End);
        start = Clock::now();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
        QApplication::sendEvent(editor, &press);
        editor->viewport()->repaint();
        const double keyMs = Milliseconds(start);

        start = Clock::now();
        const bool changed = plugin.assetChanged() == 1;
        const double changedMs = Milliseconds(start);
        start = Clock::now();
        const std::size_t written = plugin.Data().value_or(Bytes{}).size();
        const double getMs = Milliseconds(start);
        delete panel;

        plugin.Open(nullptr, body);
        start = Clock::now();
        const Bytes text = plugin.Export(u"txt").value_or(Bytes{});
        const double exportMs = Milliseconds(start);
        start = Clock::now();
        const std::size_t imported = plugin.Import(text, u"txt").value_or(Bytes{}).size();
        const double importMs = Milliseconds(start);
        start = Clock::now();
        Bytes copy(body);
        const double copyMs = Milliseconds(start);

        if (!changed || written != body.size() + 4 || imported != body.size() ||
            copy.size() != body.size()) {
            std::fprintf(stderr, "unexpected result at %zu KiB\n", kib);
            return 1;
        }
        std::printf("%10zu %10.1f %10.2f %12.1f %10.1f %10.2f %10.2f %10.2f\n", kib, panelMs, keyMs,
                    changedMs, getMs, exportMs, importMs, copyMs);
    }
    return 0;
}
