// Figures of "Package Mod": the size of the installer template program, and the time to package
// a mod of 50 MiB (icons replaced, the mod appended), beside a plain copy of the same bytes with
// `cp`. Files are built in a private temporary folder that is removed at the end.

#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "common/platform.h"
#include "common/text.h"
#include "plugins/ravelin/core/mod_contents.h"
#include "plugins/ravelin/core/mod_package.h"
#include "tests/document/asset_file_builder.h"
#include "tests/installer/pe_builder.h"

extern char** environ;

namespace {

using namespace kestrova;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 5;
constexpr std::size_t kEntries = 50;
constexpr std::size_t kEntrySize = std::size_t{1} << 20;  // 50 entries of 1 MiB: 50 MiB

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

double CopyTime(const std::string& from, const std::string& to) {
    const auto start = Clock::now();
    pid_t pid = 0;
    const char* argv[] = {"cp", from.c_str(), to.c_str(), nullptr};
    if (::posix_spawnp(&pid, "cp", nullptr, nullptr, const_cast<char* const*>(argv), environ) !=
        0) {
        return 0;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return Seconds(start);
}

}  // namespace

int main() {
    testing::TempFolder folder;
    const std::string root = folder.path();
    std::filesystem::create_directories(root + "/installers");
#ifdef KESTROVA_INSTALLER_PROGRAM
    const std::vector<std::uint8_t> program = testing::ReadBytes(KESTROVA_INSTALLER_PROGRAM);
    std::printf("installer template program: %zu bytes (%.1f KiB), %s\n", program.size(),
                program.size() / 1024.0, KESTROVA_INSTALLER_PROGRAM);
#else
    testing::IconTemplate icons;
    const std::vector<std::uint8_t> program = testing::BuildPe({}, icons.root);
    std::printf("installer template program: not built here (no MinGW-w64); a %zu-byte stand-in\n",
                program.size());
#endif
    testing::WriteBytes(root + "/installers/default", program);
    const std::vector<std::uint32_t> sizes = {16, 32, 48};
    const std::vector<std::vector<std::uint8_t>> bitmaps = testing::IconBitmaps(sizes, 1);
    testing::WriteBytes(root + "/user.ico",
                        ravelin::WriteIconFile(testing::IconImages(bitmaps, sizes)));

    ravelin::ModWorkFiles files;
    files.data = Utf8ToUtf16(root + "/mod");
    files.scratch = Utf8ToUtf16(root + "/mod2");
    ravelin::ModRecord mod;
    mod.iconPath = Utf8ToUtf16(root + "/user.ico");
    std::vector<std::uint8_t> body(kEntrySize);
    for (std::size_t i = 0; i < kEntries; ++i) {
        std::fill(body.begin(), body.end(), static_cast<std::uint8_t>(i));
        ravelin::PendingAsset pending;
        pending.payload = body;
        pending.fileName =
            u"sharedassets" + DecimalText(static_cast<std::int64_t>(i % 5)) + u".assets";
        pending.assetName = u"Texture" + DecimalText(static_cast<std::int64_t>(i));
        pending.pathId = static_cast<std::int64_t>(i + 1);
        if (!ravelin::AddPendingAsset(mod, pending, files)) {
            std::fprintf(stderr, "bench_package: cannot build the mod\n");
            return 1;
        }
    }
    const unsigned long long modBytes = *platform::FileSize(files.data);
    std::printf("mod: %zu entries, %.1f MiB of data\n", kEntries, modBytes / 1048576.0);

    double best = 1e9;
    double cp = 1e9;
    unsigned long long packaged = 0;
    for (int run = 0; run < kRuns; ++run) {
        const auto start = Clock::now();
        ravelin::IconReplacement report;
        Outcome o = ravelin::PackageInstaller(mod, Utf8ToUtf16(root + "/installers"),
                                              Utf8ToUtf16(root + "/setup.exe"), files, &report);
        const double seconds = Seconds(start);
        if (!o || report.replaced != 3) {
            std::fprintf(stderr, "bench_package: %s\n", Utf16ToUtf8(o.message).c_str());
            return 1;
        }
        best = std::min(best, seconds);
        packaged = *platform::FileSize(Utf8ToUtf16(root + "/setup.exe"));
        cp = std::min(cp, CopyTime(root + "/setup.exe", root + "/cp-copy"));
    }
    std::printf("packaged installer: %.1f MiB\n", packaged / 1048576.0);
    std::printf("  %-34s %7.3f s (best of %d)  %6.0f MiB/s\n", "Package Mod (icons, mod appended)",
                best, kRuns, packaged / 1048576.0 / best);
    std::printf("  %-34s %7.3f s (best of %d)  = %.2f x cp\n", "cp of the packaged installer", cp,
                kRuns, best / cp);
    return 0;
}
