// Times the type-tree field reader, writer and JSON over every object with a tree in the real
// files (KESTROVA_REALDATA, or ../shared/realdata beside the checkout) and on generated objects
// with ten-million-element arrays (floats, and three-float vectors), and the Fields plug-in's
// panel showing such an array, through its built library as the editor calls it. A plain copy of
// the object's bytes is the reference. Runs offscreen unless a platform is chosen.

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include <QApplication>
#include <QTreeView>

#include "bench/support/bench_measure.h"
#include "editor/plugins/plugin_context.h"
#include "sdk/field_values.h"
#include "sdk/type_tree_fields.h"
#include "sdk/type_tree_json.h"
#include "tests/common/temp_folder.h"
#include "tests/plugin_fields/real_objects.h"
#include "tests/plugin_sdk/field_test_support.h"
#include "tests/plugins/plugin_library.h"

namespace {

using namespace kestrova;
using bench::Clock;
using bench::Seconds;
using testing::Bytes;
using testing::ObjectBuilder;
using testing::TreeBuilder;

constexpr std::uint32_t kElements = 10'000'000;

// The process's processor time: on a machine shared with other work it tells what the code costs
// where the wall clock also counts the waits.
double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Wall and processor time of one step.
struct Timer {
    Clock::time_point wall = Clock::now();
    double cpu = CpuSeconds();
};

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

// Counts every value, visiting the object as JSON export does.
struct ValueCounter {
    std::size_t values = 0;
    std::uint64_t mix = 0;  // keeps the reads from being optimised away

    void BeginStruct(const FieldNode&) { ++values; }
    void Member(const FieldNode&, std::uint32_t) {}
    void EndStruct(const FieldNode&) {}
    void BeginArray(const FieldNode&, std::uint32_t) { ++values; }
    void Element(std::uint32_t) {}
    void EndArray(const FieldNode&) {}
    void Payload(const FieldNode&, std::span<const std::uint8_t> bytes) {
        ++values;
        mix += bytes.size();
    }
    void Scalar(const FieldNode&, std::uint64_t bits) {
        ++values;
        mix ^= bits;
    }
};

// A plain copy's processor time, the reference the other rows are measured against.
double copySeconds = 0;

double Row(const char* what, const Timer& timer, std::size_t bytes) {
    const double wall = Seconds(timer.wall);
    const double cpu = CpuSeconds() - timer.cpu;
    const double megabytes = static_cast<double>(bytes) / 1e6;
    std::printf("  %-34s %8.3f s %8.0f MB/s  cpu %8.3f s %8.0f MB/s %8.1f x copy\n", what, wall,
                megabytes / wall, cpu, megabytes / cpu, copySeconds > 0 ? cpu / copySeconds : 1.0);
    return cpu;
}

// Every real object with a tree, compiled once; then the reader, the unchanged write-back and the
// JSON export over all of them, `rounds` times so that the figures are not a few microseconds.
void RealObjects(const std::string& root) {
    struct Compiled {
        testing::RealObject object;
        FieldLayout layout;
    };
    std::vector<Compiled> objects;
    testing::TempFolder folder;
    AssetFile doc;
    doc.workingFolder = folder.Wide();
    const std::string refused =
        testing::ForEachRealObject(root, doc, [&](const testing::RealObject& object) {
            std::string error;
            if (std::optional<FieldLayout> layout = FieldLayout::Compile(*object.tree, error)) {
                objects.push_back({object, std::move(*layout)});
            }
        });
    CloseAssetFile(doc);
    std::size_t bytes = 0;
    for (const Compiled& c : objects) {
        bytes += c.object.bytes.size();
    }
    std::printf("Real objects with a type tree under %s: %zu, %.1f kB%s%s\n", root.c_str(),
                objects.size(), static_cast<double>(bytes) / 1e3, refused.empty() ? "" : "; ",
                refused.c_str());
    if (objects.empty()) {
        return;
    }
    constexpr int rounds = 2000;
    const std::size_t total = bytes * rounds;
    std::vector<std::uint8_t> copy(bytes, 1);
    copySeconds = 0;
    Timer timer;
    for (int round = 0; round < rounds; ++round) {
        std::size_t at = 0;
        for (const Compiled& c : objects) {
            std::memcpy(copy.data() + at, c.object.bytes.data(), c.object.bytes.size());
            at += c.object.bytes.size();
        }
    }
    copySeconds = Row("copy (reference)", timer, total);
    // Every object read (and checked) `rounds` times, each handed to `work`; the row timed.
    auto timed = [&](auto work) {
        timer = {};
        for (int round = 0; round < rounds; ++round) {
            for (const Compiled& c : objects) {
                const FieldReader reader(c.layout, c.object.bytes, c.object.order);
                work(c, reader, reader.Check());
            }
        }
    };
    std::size_t failed = 0;
    timed([&](const Compiled&, const FieldReader&, const std::optional<FieldError>& error) {
        failed += error ? 1 : 0;
    });
    Row(failed == 0 ? "check, every object (x2000)" : "check FAILED", timer, total);
    std::size_t differ = 0;
    timed([&](const Compiled& c, const FieldReader& reader, const std::optional<FieldError>&) {
        differ += ReplacePayload(reader, {~0u, ~0ull}, {}) == c.object.bytes ? 0 : 1;
    });
    Row(differ == 0 ? "read and write back (same bytes)" : "write back DIFFERS", timer, total);
    std::size_t text = 0;
    timed([&](const Compiled&, const FieldReader& reader, const std::optional<FieldError>&) {
        text += FieldsToJson(reader).size();
    });
    Row(("JSON export (" + std::to_string(text / rounds / 1000) + " kB of text)").c_str(), timer,
        total);
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
    const char* real = std::getenv("KESTROVA_REALDATA");
    const std::string root = real != nullptr ? real : KESTROVA_REALDATA_DEFAULT;
    if (std::filesystem::is_directory(root)) {
        RealObjects(root);
    } else {
        std::printf("Real objects: %s is not there\n", root.c_str());
    }
    for (bool vectors : {false, true}) {
        Generated g = Make(vectors);
        Bytes object = g.prefix;
        object.insert(object.end(), g.body.begin(), g.body.end());
        std::printf("%s: an object of %.1f MB\n", g.what, static_cast<double>(object.size()) / 1e6);

        Bytes copy(object.size(), 1);  // its pages are touched before the copy is timed
        copySeconds = 0;
        Timer timer;
        std::memcpy(copy.data(), object.data(), object.size());
        copySeconds = Row("copy (reference)", timer, object.size());

        std::string error;
        const FieldLayout layout = *FieldLayout::Compile(g.tree, error);
        timer = {};
        const FieldReader reader(layout, object, ByteOrder::Little);
        const bool read = !reader.Check();
        Row(read ? "check (the whole object read)" : "check FAILED", timer, object.size());
        timer = {};
        ValueCounter counter;
        reader.Visit(reader.Root(), counter);
        Row(("every value (" + std::to_string(counter.values) + ")").c_str(), timer, object.size());
        timer = {};
        const Bytes renamed = ReplacePayload(reader, reader.Members(reader.Root())[0],
                                             Bytes{'R', 'e', 'n', 'a', 'm', 'e', 'd'});
        Row("write back with a new name", timer, object.size());
        timer = {};
        const std::string json = FieldsToJson(reader);
        Row(("JSON export (" + std::to_string(json.size() / 1000000) + " MB of text)").c_str(),
            timer, object.size());
        timer = {};
        const std::optional<Bytes> imported =
            FieldsFromJson(layout, ByteOrder::Little, json, error);
        Row(imported == object ? "JSON import (same bytes)" : "JSON import DIFFERS", timer,
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
        timer = {};
        setContext(holder.context());
        QWidget* panel = plugin.Open(&host, g.body);
        panel->setGeometry(host.rect());
        panel->show();
        auto* view = panel->findChild<QTreeView*>(QStringLiteral("fieldsView"));
        view->expand(view->model()->index(1, 0));
        view->expand(view->model()->index(0, 0, view->model()->index(1, 0)));
        panel->repaint();
        QApplication::processEvents();
        std::printf("  %-34s %8.3f s (cpu %.3f s; %d rows under the array)\n",
                    "Fields panel shown, array open", Seconds(timer.wall), CpuSeconds() - timer.cpu,
                    view->model()->rowCount(view->model()->index(1, 0)));
        delete panel;
        QApplication::processEvents();
        std::printf("  peak memory %.0f MiB\n", PeakMiB());
    }
    return 0;
}
