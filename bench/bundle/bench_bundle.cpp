// Figures of the bundle layer on generated bundles: a 1 GiB LZ4HC bundle in 128 KiB blocks and a
// 256 MiB LZMA one, whose first file is a serialized file of a thousand assets and the rest the
// resource files beside it. Opening it as the document (decompressing into the working copy and
// reading the member) is timed beside `lz4 -d` and `xz --format=lzma -d` on the same data, with
// the peak memory it takes; Save As after a one-asset edit beside `lz4 -9` on one core divided by
// the number of cores. A tool that is not installed is
// skipped; `bench_bundle lz4` or `bench_bundle lzma` runs one half. Everything is built in a
// private temporary folder that is removed at the end.

#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/support/bench_measure.h"
#include "common/text.h"
#include "document/bundle/bundle_archive.h"
#include "document/bundle/bundle_document.h"
#include "document/bundle/bundle_writer.h"
#include "document/bundle/data_stream.h"
#include "tests/document/asset_file_builder.h"

namespace {

using namespace kestrova;
using namespace kestrova::bench;
using namespace kestrova::bundle;

constexpr double kMiB = 1024.0 * 1024.0;
// Opening and the tools' decoding are run this many times, one after the other, and the best
// time of each counts: the machine's other work then weighs on both alike.
constexpr int kRuns = 3;

// Asset-like data: records of a name, small counters and a few noisy floats, as serialized
// objects hold; it compresses about as well as real asset data does.
void WriteAssetData(const std::string& path, std::uint64_t length, std::uint32_t seed) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    std::mt19937 random(seed);
    std::vector<std::uint8_t> chunk(std::size_t{8} << 20);
    for (std::uint64_t done = 0; done < length; done += chunk.size()) {
        for (std::size_t at = 0; at + 64 <= chunk.size(); at += 64) {
            std::uint8_t* r = chunk.data() + at;
            const std::uint32_t id = random();
            std::snprintf(reinterpret_cast<char*>(r), 24, "m_Mesh_%07u_LOD%u", id % 5000, id % 3);
            for (int i = 24; i < 48; ++i) {
                r[i] = static_cast<std::uint8_t>(i * (id % 7));
            }
            const std::uint32_t noise = random();
            std::memcpy(r + 48, &noise, 4);
            std::memset(r + 52, 0, 12);
        }
        std::fwrite(chunk.data(), 1,
                    static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), length - done)),
                    out);
    }
    std::fclose(out);
}

// A serialized file of a thousand named assets of 1 KiB each, written over the start of `path`:
// its length.
std::uint64_t WriteMember(const std::string& path) {
    testing::AssetFileBuilder builder;
    for (std::uint32_t i = 0; i < 1000; ++i) {
        builder.Add("asset" + std::to_string(i), 49, i + 1,
                    std::vector<std::uint8_t>(1024, static_cast<std::uint8_t>(i)));
    }
    const std::vector<std::uint8_t> member = builder.Build();
    std::FILE* f = std::fopen(path.c_str(), "r+b");
    std::fwrite(member.data(), 1, member.size(), f);
    std::fclose(f);
    return member.size();
}

// The header fields a generated bundle carries: format 8, blocks info LZ4HC-compressed with the
// directory, after the header at a multiple of 16. Node 0 is the serialized member, the other 63
// share the rest of the stream as resource files.
BundleArchive Template(std::uint64_t length, std::uint64_t member) {
    BundleArchive a;
    a.kind = BundleKind::UnityFS;
    a.format = 8;
    a.playerVersion = "5.x.x";
    a.engineRevision = "2022.3.9f1";
    a.flags = 0x43;
    a.infoAligned = true;
    a.nodes.push_back({0, member, 4, "CAB-member"});
    const std::uint64_t node = (length - member) / 63;
    for (std::uint64_t i = 0; i < 63; ++i) {
        const std::uint64_t at = member + node * i;
        a.nodes.push_back(
            {at, i == 62 ? length - at : node, 0, "CAB-" + std::to_string(i) + ".resS"});
    }
    return a;
}

bool Write(const BundleArchive& original, const ByteSource* source, const std::string& stream,
           ChosenCompression compression, std::optional<std::vector<StreamRange>> changed,
           const std::string& target) {
    BundleWrite request;
    request.original = &original;
    request.originalSource = source;
    request.dataStream = Utf8ToUtf16(stream);
    request.nodes = original.nodes;
    request.compression = compression;
    request.changed = std::move(changed);
    Outcome o = WriteBundle(request, Utf8ToUtf16(target));
    if (!o) {
        std::printf("  write failed: %s\n", Utf16ToUtf8(o.message).c_str());
    }
    return o.ok;
}

// Opens `bundle`'s member as the document with the working folder `work`, in a child process:
// its time and peak memory. The working copy is left in `work`.
Measured Open(const std::string& bundle, const std::string& work) {
    return InChild([&](double& seconds) {
        Clock::time_point start = Clock::now();
        AssetFile doc;
        doc.workingFolder = Utf8ToUtf16(work);
        Outcome o = bundle::LoadDocument(doc, Utf8ToUtf16(bundle));
        seconds = Seconds(start);
        if (!o) {
            std::printf("  open failed: %s\n", Utf16ToUtf8(o.message).c_str());
        }
        return o.ok;
    });
}

// Opens `bundle` and runs `tool` in turn kRuns times: the best open (with the largest peak
// memory seen) and the best time of the tool (-1 when it did not run).
std::pair<Measured, double> BestOf(const std::string& bundle, const std::string& stream,
                                   const std::function<double()>& tool) {
    Measured best;
    double bestTool = -1;
    for (int run = 0; run < kRuns; ++run) {
        // A fresh working folder each time: deleting the last one is not part of opening.
        std::filesystem::remove_all(stream);
        const Measured m = Open(bundle, stream);
        if (run == 0 || m.seconds < best.seconds) {
            best.seconds = m.seconds;
        }
        best.peakMiB = std::max(best.peakMiB, m.peakMiB);
        best.ok = run == 0 ? m.ok : best.ok && m.ok;
        const double t = tool();
        if (t > 0 && (bestTool < 0 || t < bestTool)) {
            bestTool = t;
        }
    }
    return {best, bestTool};
}

double MiBPerSecond(std::uint64_t bytes, double seconds) {
    return seconds > 0 ? static_cast<double>(bytes) / kMiB / seconds : 0;
}

void Ratio(const char* what, double ours, double theirs, double wanted) {
    if (theirs <= 0) {
        std::printf("  %-44s (tool not installed)\n", what);
        return;
    }
    std::printf("  %-44s %.2f (wanted %s %.2f)\n", what, ours / theirs,
                wanted >= 1 ? "at most" : "at least", wanted);
}

void BenchLz4(const std::string& root, unsigned cores) {
    const std::uint64_t length = std::uint64_t{1} << 30;
    const std::string data = root + "/lz4-data";
    const std::string bundle = root + "/lz4.bundle";
    WriteAssetData(data, length, 1);
    const std::uint64_t member = WriteMember(data);
    std::printf("LZ4HC bundle, 1 GiB of asset-like data in 128 KiB blocks, %u cores\n", cores);

    const BundleArchive original = Template(length, member);
    Clock::time_point start = Clock::now();
    Write(original, nullptr, data, ChosenCompression::Lz4hc, std::nullopt, bundle);
    const double fullSave = Seconds(start);
    std::printf("  compress everything (first save):  %6.2f s  %7.1f MiB/s, %llu MiB written\n",
                fullSave, MiBPerSecond(length, fullSave),
                static_cast<unsigned long long>(std::filesystem::file_size(bundle) >> 20));

    double lz4Nine = -1;
    const bool lz4 = HaveTool("lz4");
    if (lz4) {
        lz4Nine = ToolTime({"lz4", "-q", "-9", "-f", data, root + "/data.lz4"});
        std::printf("  lz4 -9 (one core):                 %6.2f s\n", lz4Nine);
    }
    const auto [open, lz4Decode] = BestOf(bundle, root + "/opened", [&] {
        const double t =
            lz4 ? ToolTime({"lz4", "-q", "-d", "-f", root + "/data.lz4", root + "/lz4-out"}) : -1;
        std::filesystem::remove(root + "/lz4-out");
        return t;
    });
    std::filesystem::remove(root + "/data.lz4");
    if (lz4) {
        std::printf("  lz4 -d:                            %6.2f s  %7.1f MiB/s\n", lz4Decode,
                    MiBPerSecond(length, lz4Decode));
    }
    std::printf("  open (decompress to working copy): %6.2f s  %7.1f MiB/s, peak %.1f MiB%s\n",
                open.seconds, MiBPerSecond(length, open.seconds), open.peakMiB,
                open.ok ? "" : " FAILED");
    std::printf("  peak memory while opening:         %.1f MiB (wanted under 64 MiB + one block)\n",
                open.peakMiB);
    Ratio("open throughput / lz4 -d throughput", lz4Decode, open.seconds, 0.8);

    // The document open in this process: one asset changes in place (its bytes differ, every
    // other block is reused), then one changes its length (every block after it moves).
    std::filesystem::remove(data);
    std::filesystem::remove_all(root + "/opened");
    AssetFile doc;
    doc.workingFolder = Utf8ToUtf16(root + "/work");
    if (Outcome o = bundle::LoadDocument(doc, Utf8ToUtf16(bundle)); !o) {
        std::printf("  open failed: %s\n", Utf16ToUtf8(o.message).c_str());
        return;
    }
    std::vector<std::uint8_t> body(1024, 0xE5);
    ReplaceAssetBody(doc, 500, body);
    start = Clock::now();
    Outcome saved = bundle::SaveDocumentAs(doc, Utf8ToUtf16(root + "/saved.bundle"));
    const double editSave = Seconds(start);
    std::printf("  Save As after a one-asset edit:    %6.2f s%s\n", editSave,
                saved ? "" : " FAILED");
    body.resize(2048, 0xE6);
    ReplaceAssetBody(doc, 500, body);
    start = Clock::now();
    saved = bundle::SaveDocumentAs(doc, Utf8ToUtf16(root + "/saved-all.bundle"));
    const double allSave = Seconds(start);
    std::printf("  Save As after an edit that moves everything after it: %6.2f s%s\n", allSave,
                saved ? "" : " FAILED");
    CloseAssetFile(doc);
    const double budget = lz4Nine > 0 ? lz4Nine / cores : -1;
    Ratio("edit save / (lz4 -9 / cores)", editSave, budget, 1.2);
    Ratio("moving save / (lz4 -9 / cores)", allSave, budget, 1.2);
    for (const char* name : {"/opened", "/saved.bundle", "/saved-all.bundle", "/lz4.bundle"}) {
        std::filesystem::remove(root + name);
    }
}

void BenchLzma(const std::string& root) {
    const std::uint64_t length = std::uint64_t{256} << 20;
    const std::string data = root + "/lzma-data";
    const std::string bundle = root + "/lzma.bundle";
    WriteAssetData(data, length, 2);
    const std::uint64_t member = WriteMember(data);
    std::printf("LZMA bundle, 256 MiB of asset-like data in one block\n");
    Clock::time_point start = Clock::now();
    Write(Template(length, member), nullptr, data, ChosenCompression::Lzma, std::nullopt, bundle);
    std::printf("  compress (first save):             %6.2f s\n", Seconds(start));
    std::filesystem::remove(data);

    double xzTime = -1;
    if (HaveTool("xz")) {
        // The same stream as an .lzma file: the block's 5 property bytes, the size, the stream.
        FileSource source;
        BundleArchive archive;
        source.Open(Utf8ToUtf16(bundle));
        ReadBundleArchive(source, archive);
        const BundleBlock& block = archive.blocks[0];
        std::vector<std::uint8_t> bytes;
        ReadRange(source, block.fileOffset, block.compressedSize, bytes);
        for (int i = 0; i < 8; ++i) {
            bytes.insert(bytes.begin() + 5 + i, static_cast<std::uint8_t>(length >> (8 * i)));
        }
        std::FILE* f = std::fopen((root + "/data.lzma").c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        xzTime = 0;
    }
    const auto [open, xz] = BestOf(bundle, root + "/opened", [&] {
        const double t = xzTime < 0
                             ? -1
                             : ToolTime({"xz", "--format=lzma", "-d", "-c", root + "/data.lzma"},
                                        root + "/xz-out");
        std::filesystem::remove(root + "/xz-out");
        return t;
    });
    std::filesystem::remove(root + "/data.lzma");
    std::filesystem::remove_all(root + "/opened");
    std::printf("  open (decompress to working copy): %6.2f s  %7.1f MiB/s, peak %.1f MiB%s\n",
                open.seconds, MiBPerSecond(length, open.seconds), open.peakMiB,
                open.ok ? "" : " FAILED");
    if (xz > 0) {
        std::printf("  xz --format=lzma -d:               %6.2f s  %7.1f MiB/s\n", xz,
                    MiBPerSecond(length, xz));
    }
    Ratio("open throughput / xz throughput", xz, open.seconds, 0.9);
    std::filesystem::remove(bundle);
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // each figure shows as soon as it is known
    const std::string pattern = MakeBenchFolder();
    if (pattern.empty()) {
        return 1;
    }
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const std::string only = argc > 1 ? argv[1] : "";
    if (only.empty() || only == "lz4") {
        BenchLz4(pattern, cores);
    }
    if (only.empty() || only == "lzma") {
        BenchLzma(pattern);
    }
    std::filesystem::remove_all(pattern);
    return 0;
}
