// Reads arbitrary bytes as a mod file of any form. Whatever opens must have put exactly its payload
// into the data file, and saving it again must give a file that opens to the same mod (its entries
// sorted, as saving sorts them) with the same payload, in the version-1 form whenever every entry
// fits it.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "common/text.h"
#include "plugins/ravelin/core/mod_file.h"
#include "tests/common/temp_folder.h"

namespace {

using namespace kestrova;
using Bytes = std::vector<std::uint8_t>;

// A private folder in memory for the run; it goes with the process.
struct Workspace {
    Workspace() : files{Utf8ToUtf16(folder.File("mod")), Utf8ToUtf16(folder.File("mod2"))} {
        if (folder.path().empty()) {
            std::abort();
        }
    }
    std::string Path(const char* name) const { return folder.File(name); }

    testing::TempFolder folder{testing::TempFolderPlace::Memory};
    ravelin::ModWorkFiles files;
};

void Require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "broken: %s\n", what);
        std::abort();
    }
}

Bytes Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Write(const std::string& path, std::span<const std::uint8_t> bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Workspace work;
    const std::span<const std::uint8_t> input(data, size);
    ravelin::ModRecord parsed;
    ravelin::ModLayout layout;
    if (!ravelin::ParseMod(input, 0, parsed, layout).ok) {
        return 0;
    }
    Require(layout.payloadStart + layout.payloadLength == size, "the payload runs to the end");

    Write(work.Path("in.umod"), input);
    ravelin::ModRecord opened;
    Require(ravelin::OpenMod(Utf8ToUtf16(work.Path("in.umod")), opened, work.files).ok,
            "OpenMod accepts what ParseMod accepts");
    Require(opened == parsed, "OpenMod reads what ParseMod reads");
    const Bytes payload = Read(work.Path("mod"));
    Require(payload == Bytes(input.begin() + static_cast<std::ptrdiff_t>(layout.payloadStart),
                             input.end()),
            "the data file is the payload");

    Require(ravelin::SaveModAs(Utf8ToUtf16(work.Path("out.umod")), opened, work.files).ok,
            "an opened mod saves");
    ravelin::SortEntries(parsed);
    ravelin::ModRecord again;
    ravelin::ModLayout againLayout;
    const Bytes saved = Read(work.Path("out.umod"));
    Require(ravelin::ParseMod(saved, 0, again, againLayout).ok, "a saved mod parses");
    Require(again == parsed, "saving keeps the mod");
    const bool fitsVersion1 =
        std::all_of(parsed.entries.begin(), parsed.entries.end(), ravelin::FitsVersion1);
    Require(againLayout.format ==
                (fitsVersion1 ? ravelin::ModFormat::Current : ravelin::ModFormat::Extended),
            "saving writes the version-1 form unless an entry needs the extended one");
    Require(Bytes(saved.begin() + static_cast<std::ptrdiff_t>(againLayout.payloadStart),
                  saved.end()) == payload,
            "saving keeps the payload");
    return 0;
}
