// Loads arbitrary bytes as an asset file, plain and wrapped in a "UnityRaw" bundle, and on
// whatever loads (the 44-byte form or a later one) runs an export, a resizing import, an add and
// a remove, checking after each that the working copy is a file the loader accepts again with
// the same table.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/platform.h"
#include "common/text.h"
#include "document/asset_file.h"
#include "fuzz/support/fuzz_support.h"
#include "tests/document/asset_file_builder.h"

namespace {

using namespace kestrova;
using fuzz::Root;

// The working copy agrees with the document: its length, every asset inside the serialized
// file, the bundle's first file as long as the serialized file, and a fresh load of it gives
// the same table.
void CheckWorkingCopy(const AssetFile& doc) {
    std::optional<unsigned long long> length = platform::FileSize(doc.WorkingCopyPath());
    CHECK(length.has_value() && *length == doc.workingLength);
    CHECK(doc.innerStart + doc.serializedLength <= doc.workingLength);
    CHECK(doc.metadata || doc.entries.size() == doc.header.assetCount);
    for (const AssetEntry& e : doc.entries) {
        CHECK(doc.dataOffset() + e.offset + e.size <= doc.serializedLength);
        CHECK(e.prefixLength <= e.size);
    }
    if (doc.bundled) {
        CHECK(doc.bundle.directory[0].size == doc.serializedLength);
    }
    AssetFile again;
    again.workingFolder = Utf8ToUtf16(Root() + "/again");
    Outcome o = LoadAssetFile(again, doc.WorkingCopyPath());
    if (!o.ok) {
        std::fprintf(stderr, "%s\n", Utf16ToUtf8(o.message).c_str());
    }
    CHECK(o.ok);
    CHECK(again.entries.size() == doc.entries.size());
    for (std::size_t i = 0; i < doc.entries.size(); ++i) {
        CHECK(again.entries[i].offset == doc.entries[i].offset);
        CHECK(again.entries[i].size == doc.entries[i].size);
    }
    CloseAssetFile(again);
}

void Exercise(const std::vector<std::uint8_t>& bytes, std::uint8_t choice) {
    const std::string input = Root() + "/input";
    testing::WriteBytes(input, bytes);
    AssetFile doc;
    doc.workingFolder = Utf8ToUtf16(Root() + "/work");
    if (!LoadAssetFile(doc, Utf8ToUtf16(input)).ok) {
        CloseAssetFile(doc);
        return;
    }
    if (!doc.entries.empty()) {
        std::uint32_t index = choice % doc.entries.size();
        std::u16string exported = Utf8ToUtf16(Root() + "/export");
        CHECK(ExportAssetBody(doc, index, exported).ok);
        CHECK(platform::FileSize(exported) == doc.entries[index].bodyLength());

        std::vector<std::uint8_t> body(doc.entries[index].bodyLength() + (choice & 15), 0xA5);
        std::uint32_t fileSize = doc.header.fileSize;
        std::uint32_t oldSize = doc.entries[index].size;
        if (ReplaceAssetBody(doc, index, body).ok) {
            CHECK(doc.metadata ||
                  doc.header.fileSize == fileSize + (doc.entries[index].size - oldSize));
            CHECK(ReadAssetBody(doc, index) == body);
            CheckWorkingCopy(doc);
        }
    }
    std::uint32_t fileSize = doc.header.fileSize;
    // In a later form the class must be one of the file's: that of its first object.
    const std::uint32_t type = doc.metadata && !doc.entries.empty() ? doc.entries[0].typeId : 0x72;
    if (AddAsset(doc, type, (choice & 1) ? u"fz" : u"", 0).ok) {
        CHECK(doc.metadata || doc.header.fileSize == fileSize + 20 + doc.entries.back().size);
        // A rewrite of a later form gives the header the new length.
        CHECK(!doc.metadata || doc.metadata->fileSize == doc.serializedLength);
        CheckWorkingCopy(doc);
    }
    if (!doc.entries.empty() && RemoveAsset(doc, choice % doc.entries.size()).ok) {
        CHECK(!doc.metadata || doc.metadata->fileSize == doc.serializedLength);
        CheckWorkingCopy(doc);
    }
    CloseAssetFile(doc);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> bytes(data, data + size);
    std::uint8_t choice = size > 0 ? data[size - 1] : 0;
    Exercise(bytes, choice);
    // The same bytes as the serialized file of a bundle, with another file after it.
    Exercise(testing::WrapInBundle(bytes, 1 + choice % 4, {{"extra", {1, 2, 3, 4, 5}}}), choice);
    return 0;
}
