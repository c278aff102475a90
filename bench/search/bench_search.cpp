// Builds a 1 GiB asset file with 100,000 assets (random bytes with some text in between), opens it
// like the editor does and times a search in every mode, with grep on the same working copy as the
// yardstick for the text modes. Prints throughput, the ratio against grep and peak memory.
//
//   bench_search [folder] [megabytes]     (defaults: the system's temporary folder, 1024)

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "common/platform.h"
#include "common/string_list.h"
#include "common/text.h"
#include "document/asset_file.h"
#include "editor/search/search_engine.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr std::uint32_t kAssetCount = 100000;

struct Query {
    std::int32_t mode;
    const char* label;
    std::string text;     // as typed into the Find dialog
    std::string planted;  // the bytes that make a hit
    const char* grepFlags;
};

std::string LittleEndian(const void* value, std::size_t size) {
    return std::string(static_cast<const char*>(value), size);
}

std::vector<Query> Queries() {
    std::int32_t signedValue = 123456789;
    std::uint32_t unsignedValue = 3000000000U;
    float single = 3.14159f;
    double real = 2.718281828459045;
    return {
        {0, "text, any case", "kestrova marker", "KeStRoVa MaRkEr", "-c -F -a -i"},
        {1, "text, exact case", "Kestrova marker", "Kestrova marker", "-c -F -a"},
        {2, "decimal, signed", "123456789", LittleEndian(&signedValue, 4), nullptr},
        {3, "decimal, unsigned", "3000000000", LittleEndian(&unsignedValue, 4), nullptr},
        {4, "hex, big endian", "DEADBEEF", "\xDE\xAD\xBE\xEF", nullptr},
        {5, "hex, little endian", "CAFEBABE", "\xBE\xBA\xFE\xCA", nullptr},
        {6, "float", "3.14159", LittleEndian(&single, 4), nullptr},
        {7, "double", "2.718281828459045", LittleEndian(&real, 8), nullptr},
    };
}

void PutBig(std::string& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out += static_cast<char>(v >> shift);
    }
}
void PutLittle(std::string& out, std::uint32_t v) {
    for (int shift = 0; shift <= 24; shift += 8) {
        out += static_cast<char>(v >> shift);
    }
}

// Writes the asset file block by block; one asset in 200 holds each query's bytes.
void BuildAssetFile(const fs::path& path, std::uint64_t totalBytes) {
    std::mt19937_64 random(42);
    const std::uint32_t tableEnd = 44 + 20 * kAssetCount;
    const std::uint32_t dataOffset = (tableEnd + 15) & ~15U;
    const std::uint64_t average = (totalBytes - dataOffset) / kAssetCount;
    std::vector<std::uint32_t> sizes(kAssetCount);
    std::uint64_t dataBytes = 0;
    for (auto& size : sizes) {
        size = static_cast<std::uint32_t>(average / 4 + random() % (average * 3 / 2));
        dataBytes += size;
    }
    std::string head;
    PutBig(head, tableEnd - 44 + 20);                                  // metadataSize
    PutBig(head, static_cast<std::uint32_t>(dataOffset + dataBytes));  // fileSize
    PutBig(head, 9);                                                   // formatVersion
    PutBig(head, dataOffset);
    PutBig(head, 0);
    head.append("4.7.2f1\0", 8);
    PutBig(head, 5);
    PutBig(head, 0);
    PutBig(head, 0);
    PutLittle(head, kAssetCount);
    std::uint32_t offset = 0;
    for (std::uint32_t i = 0; i < kAssetCount; ++i) {
        PutLittle(head, i + 1);  // pathId
        PutLittle(head, offset);
        PutLittle(head, sizes[i]);
        PutLittle(head, 28);
        PutLittle(head, 28);
        offset += sizes[i];
    }
    head.resize(dataOffset, '\0');

    std::FILE* out = std::fopen(path.c_str(), "wb");
    std::fwrite(head.data(), 1, head.size(), out);
    static const char* words[] = {"the ",  "texture ", "mesh ",  "shader ", "player ",
                                  "Main ", "Camera ",  "level ", "sound\n", "material "};
    const std::vector<Query> queries = Queries();
    std::string data;
    for (std::uint32_t i = 0; i < kAssetCount; ++i) {
        data.clear();
        std::string name = "asset_" + std::to_string(i);
        PutLittle(data, static_cast<std::uint32_t>(name.size()));
        data += name;
        data.resize((data.size() + 3) & ~std::size_t{3}, '\0');
        while (data.size() < sizes[i]) {
            if (random() % 4 == 0) {
                for (int w = 0; w < 8; ++w) {
                    data += words[random() % 10];
                }
            } else {
                for (int k = 0; k < 32; ++k) {
                    std::uint64_t r = random();
                    data.append(reinterpret_cast<const char*>(&r), 8);
                }
            }
        }
        data.resize(sizes[i]);
        if (i % 200 == 7) {
            for (std::size_t q = 0; q < queries.size(); ++q) {
                std::size_t at = 64 + q * 96 + random() % 32;
                if (at + queries[q].planted.size() <= data.size()) {
                    data.replace(at, queries[q].planted.size(), queries[q].planted);
                }
            }
        }
        std::fwrite(data.data(), 1, data.size(), out);
    }
    std::fclose(out);
}

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// A line of /proc/self/status ("VmHWM", "VmRSS") in KiB.
long StatusKilobytes(const char* field) {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    long value = -1;
    char line[256];
    while (status != nullptr && std::fgets(line, sizeof line, status) != nullptr) {
        if (std::strncmp(line, field, std::strlen(field)) == 0 && line[std::strlen(field)] == ':') {
            value = std::strtol(line + std::strlen(field) + 1, nullptr, 10);
        }
    }
    if (status != nullptr) {
        std::fclose(status);
    }
    return value;
}

// Starts the peak resident size afresh from the current one.
void ResetPeak() {
    std::FILE* refs = std::fopen("/proc/self/clear_refs", "w");
    if (refs != nullptr) {
        std::fputs("5", refs);
        std::fclose(refs);
    }
}

// The best of three runs of grep over the file. Its count is read through a pipe: grep stops at
// the first match when its output goes to /dev/null.
double TimeGrep(const char* flags, const std::string& text, const fs::path& file) {
    std::string command = std::string("grep ") + flags + " '" + text + "' '" + file.string() + "'";
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        auto start = Clock::now();
        std::FILE* pipe = ::popen(command.c_str(), "r");
        if (pipe == nullptr) {
            return 0;
        }
        char line[64] = {};
        while (std::fgets(line, sizeof line, pipe) != nullptr) {
        }
        int status = ::pclose(pipe);
        best = std::min(best, Seconds(start));
        // grep exits with 1 when nothing matched; anything else is a failure.
        if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) > 1) {
            std::fprintf(stderr, "grep failed: %s\n", command.c_str());
            return 0;
        }
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace kestrova;
    fs::path base = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
    std::uint64_t megabytes = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1024;
    fs::path folder = base / ("kestrova-bench-search-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    fs::path source = folder / "large.assets";

    auto start = Clock::now();
    BuildAssetFile(source, megabytes << 20);
    std::printf("built %s (%.0f MiB, %u assets) in %.1f s\n", source.c_str(),
                static_cast<double>(fs::file_size(source)) / (1 << 20), kAssetCount,
                Seconds(start));

    AssetFile doc;
    doc.workingFolder = Utf8ToUtf16((folder / "Temp").string());
    start = Clock::now();
    Outcome loaded = LoadAssetFile(doc, Utf8ToUtf16(source.string()));
    if (!loaded) {
        std::fprintf(stderr, "load failed: %s\n", Utf16ToUtf8(loaded.message).c_str());
        return 1;
    }
    fs::path workingCopy = platform::NativePath(doc.WorkingCopyPath());
    const double bytes = static_cast<double>(fs::file_size(workingCopy));
    std::printf("loaded in %.1f s; peak resident while loading %ld KiB (mapped file pages count)\n",
                Seconds(start), StatusKilobytes("VmHWM"));
    ResetPeak();
    const long residentBefore = StatusKilobytes("VmRSS");

    std::printf("%-20s %9s %8s %9s %9s %8s\n", "mode", "results", "seconds", "GB/s", "grep s",
                "ratio");
    for (const Query& query : Queries()) {
        double best = 1e9;
        std::uint32_t found = 0;
        for (int run = 0; run < 3; ++run) {
            StringList results;
            auto begin = Clock::now();
            SearchAssetData(doc, Latin1ToUtf16(query.text), results, query.mode, {});
            best = std::min(best, Seconds(begin));
            found = results.count();
        }
        std::printf("%d %-18s %9u %8.3f %9.2f", query.mode, query.label, found, best,
                    bytes / best / 1e9);
        if (query.grepFlags != nullptr) {
            double grep = TimeGrep(query.grepFlags, query.text, workingCopy);
            std::printf(" %9.3f %8.2f", grep, best / grep);
        }
        std::printf("\n");
    }
    std::printf("searches: resident %ld KiB before, peak %ld KiB during (file %.0f MiB)\n",
                residentBefore, StatusKilobytes("VmHWM"), bytes / (1 << 20));

    CloseAssetFile(doc);
    std::error_code error;
    fs::remove_all(folder, error);
    return 0;
}
