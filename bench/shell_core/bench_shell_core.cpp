// Times the editor shell's core on a large file: File > Open with the list rebuild, then a sort by
// every column, with a plain copy of the same file as the reference. No window system is involved;
// the view only counts the status paints it is asked for.

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/platform.h"
#include "common/text.h"
#include "editor/shell/editor_shell.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

long PeakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void PutBig(std::string& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out += static_cast<char>(v >> shift);
    }
}

void PutLittle(std::string& out, std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) {
        out += static_cast<char>(v >> shift);
    }
}

// A plain serialized file of `count` assets, each named "asset" and seven digits (after a common
// beginning of 240 letters with `longNames`), with bodies of 0 to 16 bytes; types and sizes vary
// so that every sort has work to do.
void WriteLargeFile(const std::filesystem::path& path, std::uint32_t count, bool longNames) {
    const std::uint32_t dataOffset = 44 + 20 * count;
    std::string table;
    std::string data;
    table.reserve(20 * std::size_t{count});
    data.reserve(40 * std::size_t{count});
    for (std::uint32_t i = 0; i < count; ++i) {
        char digits[16];
        std::snprintf(digits, sizeof digits, "asset%07u", (i * 7919u) % count);
        const std::string name = (longNames ? std::string(240, 'L') : std::string()) + digits;
        const std::uint32_t bodyLength = 4 * (i % 5);
        const std::uint32_t offset = static_cast<std::uint32_t>(data.size());
        const auto nameLength = static_cast<std::uint32_t>(name.size());
        const std::uint32_t prefixLength = 4 + (nameLength + 3) / 4 * 4;
        PutLittle(data, nameLength);
        data += name;
        data.append(prefixLength - 4 - nameLength, '\0');
        data.append(bodyLength, '\x5A');
        PutLittle(table, (i * 2654435761u) % 1000003u);  // pathId
        PutLittle(table, offset);
        PutLittle(table, prefixLength + bodyLength);
        PutLittle(table, 1 + i % 200);  // typeId
        PutLittle(table, 1 + i % 200);
    }
    std::string header;
    PutBig(header, dataOffset - 44 + 20);  // metadataSize
    PutBig(header, static_cast<std::uint32_t>(dataOffset + data.size()));
    PutBig(header, 9);
    PutBig(header, dataOffset);
    PutBig(header, 0);
    header.append("3.4.0f5\0", 8);
    PutBig(header, 5);
    PutBig(header, 0);
    PutBig(header, 0);
    PutLittle(header, count);
    std::ofstream out(path, std::ios::binary);
    out << header << table << data;
}

class OneChoice : public kestrova::FileChooser {
public:
    explicit OneChoice(std::u16string path) : path_(std::move(path)) {}
    std::optional<kestrova::FileChoice> Choose(const kestrova::FileChooserRequest&) override {
        return kestrova::FileChoice{path_, 1};
    }

private:
    std::u16string path_;
};

class CountingView : public kestrova::ShellView {
public:
    void RefreshStatusBar() override { ++paints; }
    void SetTitle(std::u16string_view) override {}
    void RowsChanged() override {}
    void ClosePluginPanel() override {}
    long paints = 0;
};

}  // namespace

int main(int argc, char** argv) {
    // Arguments: the asset count (default 1000000), then "long" for names with a long common
    // beginning, the hardest case of the name sort.
    const std::uint32_t count =
        argc > 1 ? static_cast<std::uint32_t>(std::max(1L, std::atol(argv[1]))) : 1000000;
    const bool longNames = argc > 2 && std::string(argv[2]) == "long";
    const auto folder = std::filesystem::temp_directory_path() / "kestrova-bench-shell-core";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const auto file = folder / "large.assets";
    WriteLargeFile(file, count, longNames);
    const auto fileBytes = std::filesystem::file_size(file);

    auto copyStart = Clock::now();
    std::filesystem::copy_file(file, folder / "copy.assets");
    const double copySeconds = Seconds(copyStart);
    std::filesystem::remove(folder / "copy.assets");

    CountingView view;
    OneChoice chooser(kestrova::Utf8ToUtf16(file.string()));
    kestrova::EditorShell shell(view, chooser);
    shell.document.workingFolder = kestrova::Utf8ToUtf16((folder / "Temp").string());

    const long peakBefore = PeakKilobytes();
    auto openStart = Clock::now();
    shell.OpenFile();
    const double openSeconds = Seconds(openStart);
    const long peakAfterOpen = PeakKilobytes();

    std::printf("assets: %u%s, file: %.1f MB\n", count, longNames ? " (long names)" : "",
                fileBytes / 1e6);
    std::printf("OpenFile with rows:   %.3f s  (%ld status paints, %zu rows)\n", openSeconds,
                view.paints, shell.rowCount());
    std::printf("plain copy of file:   %.3f s  (open / copy = %.1f)\n", copySeconds,
                copySeconds > 0 ? openSeconds / copySeconds : 0.0);
    std::printf("shell rows:           %.1f bytes per asset\n",
                static_cast<double>(shell.rowCount() * sizeof(std::uint32_t)) / count);
    std::printf("peak RSS growth:      %.1f bytes per asset (document and shell)\n",
                (peakAfterOpen - peakBefore) * 1024.0 / count);

    const char* columns[] = {"Name", "Type", "Index", "Size"};
    for (int column = 0; column < 4; ++column) {
        for (int click = 0; click < 2; ++click) {
            auto sortStart = Clock::now();
            shell.SortByColumn(column);
            std::printf("sort %-5s %-10s   %.3f s\n", columns[column],
                        click == 0 ? "ascending" : "descending", Seconds(sortStart));
        }
    }
    std::printf("peak RSS after sorts: %.1f bytes per asset (document and shell)\n",
                (PeakKilobytes() - peakBefore) * 1024.0 / count);
    shell.Shutdown();
    std::filesystem::remove_all(folder);
    return 0;
}
