#pragma once
// The mod file (".umod"): the mod's texts, its entry table and the payload, a copy of the data
// file that holds every entry's bytes. Numbers are little-endian; a text is its 32-bit length in
// UTF-16 code units followed by those units, without terminator. Three forms are read (their
// layouts, for readers outside Kestrova, are in mod_file_format.md beside this file): the older
// form without a version word or installer name, the version-1 form, and the extended form,
// whose entries also hold a class id, a 64-bit path id and a bundle member. A mod is written in
// the version-1 form whenever every entry fits it, and in the extended form otherwise.
//
// The same bytes stand alone in a .umod file and at the end of a packaged installer, so the
// reader works on a span and a start position and says where the payload lies.

#include <cstdint>
#include <cstdio>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

#include "common/outcome.h"
#include "common/progress.h"
#include "plugins/ravelin/core/mod_record.h"

namespace kestrova::ravelin {

// The mod's working files: the data of every entry, and the scratch file beside it.
struct ModWorkFiles {
    std::u16string data = u"Temp/mod";
    std::u16string scratch = u"Temp/mod2";
};

// Current is the version-1 form, Extended the one whose version word is kExtendedFormWord.
enum class ModFormat { Current, Older, Extended };

inline constexpr std::uint32_t kExtendedFormWord = 0x80000002;

struct ModLayout {
    ModFormat format = ModFormat::Current;
    std::uint64_t payloadStart = 0;  // a position in the span given to ParseMod
    std::uint64_t payloadLength = 0;
};

// Reads a mod that starts at `start` in `bytes`; its payload runs to the end of `bytes`. Texts
// longer than their field are cut. A file whose texts, count or entries run past its end, or
// whose entries point outside the payload, is refused with the reason, and `mod` is untouched.
// The installer starts from the end of its own program image; a .umod starts at 0.
Outcome ParseMod(std::span<const std::uint8_t> bytes, std::uint64_t start, ModRecord& mod,
                 ModLayout& layout);

// Orders the entries by file name (UTF-16 code units, so by case and code value), keeping the
// order of entries with the same file name. Each entry keeps its data.
void SortEntries(ModRecord& mod);

// The bytes before the payload: the version word, the nine texts, the count and the table, in
// the entries' current order; the version-1 form when every entry fits it.
std::vector<std::uint8_t> ModHeaderBytes(const ModRecord& mod);

// Sorts the entries, then writes the mod at the stream's current position, its payload copied
// from the data file (none when the file does not exist and no entry needs any). Refused before
// anything is written when an entry's data lies outside the data file; a failed write is
// reported, and a long payload's copy is reported as "Writing the mod: (n/m MiB)". A stop
// requested through `stop` ends the copy after a chunk with Cancelled(). The caller opens and
// closes the stream.
Outcome SaveMod(std::FILE* stream, ModRecord& mod, const ModWorkFiles& files,
                const ProgressCallback& progress = {}, const std::stop_token& stop = {});

// Save Mod: writes the mod into a new file beside `target` and renames it over `target` only
// once it is complete; on failure or a stop `target` is as it was.
Outcome SaveModAs(const std::u16string& target, ModRecord& mod, const ModWorkFiles& files,
                  const ProgressCallback& progress = {}, const std::stop_token& stop = {});

// Open Mod: reads the .umod file at `path`; its payload becomes the data file (written beside it
// and renamed over it) and its texts and entries replace those of `mod`. On any failure `mod`
// and the data file are as they were, as they are after a stop (Cancelled()). A long payload's
// copy is reported as "Reading the mod: (n/m MiB)".
Outcome OpenMod(const std::u16string& path, ModRecord& mod, const ModWorkFiles& files,
                const ProgressCallback& progress = {}, const std::stop_token& stop = {});

}  // namespace kestrova::ravelin
