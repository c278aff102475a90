// Reads arbitrary bytes as a bundle; whatever reads is decompressed into a working folder and
// rebuilt, checking that the data stream has its declared length, that a refusal leaves nothing
// behind, and that the rebuilt bundle reads back to the same stream and nodes. A compressed
// bundle whose serialized member opens as the document is edited (its first asset removed) and
// saved, and must reopen with that member one asset shorter.

#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/platform.h"
#include "common/text.h"
#include "document/bundle/bundle_archive.h"
#include "document/bundle/bundle_document.h"
#include "document/bundle/bundle_writer.h"
#include "document/bundle/data_stream.h"
#include "fuzz/support/fuzz_support.h"

namespace {

using namespace kestrova;
using fuzz::Root;
using namespace kestrova::bundle;

// Streams up to this length are decompressed and rebuilt; longer ones only read.
constexpr std::uint64_t kLargestStream = 1 << 20;

std::size_t FilesIn(const std::string& folder) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++n;
    }
    return n;
}

std::vector<std::uint8_t> ReadAll(const std::string& path) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::filesystem::file_size(path)));
    std::FILE* f = std::fopen(path.c_str(), "rb");
    CHECK(f != nullptr && std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size());
    std::fclose(f);
    return bytes;
}

// Opens the bundle in `path` as the document; whatever opens is edited, saved and reopened.
void OpenAsDocument(const std::string& path, const BundleArchive& archive) {
    const std::string work = Root() + "/document";
    std::filesystem::create_directories(work);
    AssetFile doc;
    doc.workingFolder = Utf8ToUtf16(work);
    const std::vector<BundleNode> members = SerializedMembers(archive);
    if (members.empty() || !LoadDocument(doc, Utf8ToUtf16(path), members[0].path).ok) {
        CHECK(FilesIn(work) == 0);
        return;
    }
    CHECK(doc.compressed && doc.workingLength == archive.streamLength);
    CHECK(doc.innerStart + doc.serializedLength <= doc.workingLength);
    const std::size_t count = doc.entries.size();
    if (count == 0 || !RemoveAsset(doc, 0).ok) {
        CloseAssetFile(doc);
        return;
    }
    const std::u16string saved = Utf8ToUtf16(Root() + "/saved");
    Outcome o = SaveDocumentAs(doc, saved, ChosenCompression::Lz4);
    CHECK(o.ok);
    o = LoadDocument(doc, saved, members[0].path);
    if (!o.ok) {
        std::fprintf(stderr, "%s\n", Utf16ToUtf8(o.message).c_str());
    }
    CHECK(o.ok && doc.entries.size() == count - 1);
    CloseAssetFile(doc);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MemorySource source({data, size});
    BundleArchive archive;
    if (!ReadBundleArchive(source, archive).ok || archive.streamLength > kLargestStream) {
        return 0;
    }
    CHECK(CheckNodeRanges(archive).ok);
    const std::string work = Root() + "/work";
    std::filesystem::create_directories(work);
    const std::string stream = work + "/stream";
    std::filesystem::remove(stream);
    if (!ExtractDataStream(source, archive, Utf8ToUtf16(stream)).ok) {
        CHECK(FilesIn(work) == 0);
        return 0;
    }
    CHECK(std::filesystem::file_size(stream) == archive.streamLength);
    if (archive.kind == BundleKind::UnityRaw) {
        return 0;
    }
    const std::string input = Root() + "/input";
    std::FILE* f = std::fopen(input.c_str(), "wb");
    CHECK(f != nullptr && std::fwrite(data, 1, size, f) == size);
    std::fclose(f);
    OpenAsDocument(input, archive);
    if (archive.kind != BundleKind::UnityFS) {
        return 0;
    }
    // LZ4: the fastest codec, so the run stays quick.
    BundleWrite request;
    request.original = &archive;
    request.originalSource = &source;
    request.dataStream = Utf8ToUtf16(stream);
    request.nodes = archive.nodes;
    request.compression = ChosenCompression::Lz4;
    request.threads = 1;
    const std::string rebuilt = Root() + "/rebuilt";
    std::filesystem::remove(rebuilt);
    Outcome o = WriteBundle(request, Utf8ToUtf16(rebuilt));
    if (!o.ok) {
        std::fprintf(stderr, "%s\n", Utf16ToUtf8(o.message).c_str());
    }
    CHECK(o.ok);
    const std::vector<std::uint8_t> bytes = ReadAll(rebuilt);
    MemorySource again(bytes);
    BundleArchive reread;
    CHECK(ReadBundleArchive(again, reread).ok);
    CHECK(reread.nodes == archive.nodes && reread.streamLength == archive.streamLength);
    const std::string second = work + "/second";
    CHECK(ExtractDataStream(again, reread, Utf8ToUtf16(second)).ok);
    CHECK(ReadAll(second) == ReadAll(stream));
    std::filesystem::remove(second);
    return 0;
}
