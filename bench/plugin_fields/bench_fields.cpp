// Times the type-tree field reader, writer and JSON on generated objects with ten-million-element
// arrays (floats, and three-float vectors), and the Fields plug-in's panel showing such an array,
// through its built library as the editor calls it. A plain copy of the object's bytes is the
// reference. Runs offscreen unless a platform is chosen.

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <QApplication>
#include <QTreeView>

#include "editor/plugins/plugin_context.h"
#include "sdk/field_values.h"
#include "sdk/type_tree_fields.h"
#include "sdk/type_tree_json.h"
#include "tests/plugin_sdk/field_test_support.h"
#include "tests/plugins/plugin_library.h"

namespace {

using namespace kestrova;
using Clock = std::chrono::steady_clock;
using testing::Bytes;
using testing::ObjectBuilder;
using testing::TreeBuilder;

constexpr std::uint32_t kElements = 10'000'000;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

double PeakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

struct Generated {
    const char* what;
    TypeTree tree;
    Bytes prefix;
    Bytes body;
};

// m_Name, then an array of kElements floats or of kElements {x, y, z} vectors.
Generated Make(bool vectors) {
    TreeBuilder b;
    b.Add(0, "MonoBehaviour", "Base").String(1, "m_Name");
    if (vectors) {
        b.Add(1, "vector", "m_Points").ArrayOf(2).Add(3, "Vector3f", "data");
        b.Add(4, "float", "x").Add(4, "float", "y").Add(4, "float", "z");
    } else {
        b.Vector(1, "m_Values", "float");
    }
    Generated g{
        vectors ? "10M Vector3f" : "10M float", b.Build(), ObjectBuilder().Str("Big").Build(), {}};
    ObjectBuilder body;
    body.I32(static_cast<std::int32_t>(kElements));
    for (std::uint32_t i = 0; i < kElements; ++i) {
        body.F32(static_cast<float>(i) * 0.25f);
        if (vectors) {
            body.F32(-static_cast<float>(i)).F32(1.0f / static_cast<float>(i + 1));
        }
    }
    g.body = body.Build();
    return g;
}

// Visits every value as JSON export or a full view would.
std::size_t EveryValue(const FieldReader& reader, FieldAt field) {
    const FieldNode& node = reader.Node(field);
    std::size_t values = 1;
    if (node.kind == FieldKind::Struct) {
        for (const FieldAt& member : reader.Members(field)) {
            values += EveryValue(reader, member);
        }
    } else if (node.kind == FieldKind::Array) {
        FieldAt element = reader.Count(field) > 0 ? reader.Element(field, 0) : FieldAt{};
        for (std::uint32_t i = 0; i < reader.Count(field); ++i) {
            values += EveryValue(reader, element);
            element.offset = reader.End(element);
        }
    } else if (IsScalar(node.kind)) {
        values += reader.ScalarBits(field) & 1;
    }
    return values;
}

void Row(const char* what, double seconds, std::size_t bytes) {
    std::printf("  %-34s %9.3f s %10.0f MB/s\n", what, seconds,
                static_cast<double>(bytes) / 1e6 / seconds);
}

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication application(argc, argv);
    testing::PluginLibrary plugin(KESTROVA_FIELDS_PLUGIN);
    const auto setContext =
        reinterpret_cast<SetPluginContextProc>(plugin.Symbol(KESTROVA_SET_PLUGIN_CONTEXT_NAME));
    if (!plugin.complete() || setContext == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", KESTROVA_FIELDS_PLUGIN, plugin.error.c_str());
        return 1;
    }
    for (bool vectors : {false, true}) {
        Generated g = Make(vectors);
        Bytes object = g.prefix;
        object.insert(object.end(), g.body.begin(), g.body.end());
        std::printf("%s: an object of %.1f MB\n", g.what, static_cast<double>(object.size()) / 1e6);

        Clock::time_point start = Clock::now();
        Bytes copy(object.size());
        std::memcpy(copy.data(), object.data(), object.size());
        Row("copy (reference)", Seconds(start), object.size());

        std::string error;
        const FieldLayout layout = *FieldLayout::Compile(g.tree, error);
        start = Clock::now();
        const FieldReader reader(layout, object, ByteOrder::Little);
        const bool read = !reader.Check();
        Row(read ? "check (the whole object read)" : "check FAILED", Seconds(start), object.size());
        start = Clock::now();
        const std::size_t values = EveryValue(reader, reader.Root());
        Row(("every value (" + std::to_string(values) + ")").c_str(), Seconds(start),
            object.size());
        start = Clock::now();
        const Bytes renamed = ReplacePayload(reader, reader.Members(reader.Root())[0],
                                             Bytes{'R', 'e', 'n', 'a', 'm', 'e', 'd'});
        Row("write back with a new name", Seconds(start), object.size());
        start = Clock::now();
        const std::string json = FieldsToJson(reader);
        Row(("JSON export (" + std::to_string(json.size() / 1000000) + " MB of text)").c_str(),
            Seconds(start), object.size());
        start = Clock::now();
        const std::optional<Bytes> imported =
            FieldsFromJson(layout, ByteOrder::Little, json, error);
        Row(imported == object ? "JSON import (same bytes)" : "JSON import DIFFERS", Seconds(start),
            object.size());

        // The panel as the editor makes it: context, hand-over, the array's row opened, painted.
        QWidget host;
        host.resize(900, 700);
        host.show();
        PluginContextHolder holder;
        AssetContext asset;
        asset.namePrefix = g.prefix;
        asset.typeTree = g.tree;
        holder.Set(asset);
        start = Clock::now();
        setContext(holder.context());
        QWidget* panel = plugin.Open(&host, g.body);
        panel->setGeometry(host.rect());
        panel->show();
        auto* view = panel->findChild<QTreeView*>(QStringLiteral("fieldsView"));
        view->expand(view->model()->index(1, 0));
        view->expand(view->model()->index(0, 0, view->model()->index(1, 0)));
        panel->repaint();
        QApplication::processEvents();
        std::printf("  %-34s %9.3f s  (%d rows under the array)\n",
                    "Fields panel shown, array open", Seconds(start),
                    view->model()->rowCount(view->model()->index(1, 0)));
        delete panel;
        QApplication::processEvents();
        std::printf("  peak memory %.0f MiB\n", PeakMiB());
    }
    return 0;
}
