#include "plugins/ravelin/core/mod_file.h"

#include <algorithm>
#include <array>

#include "common/file_beside.h"
#include "common/mapped_file.h"
#include "common/platform.h"
#include "common/text.h"
#include "plugins/ravelin/core/file_stream.h"
#include "sdk/byte_reader.h"

namespace kestrova::ravelin {

namespace {

// The smallest entry record: two empty texts and four 32-bit numbers; in the extended form
// three empty texts, four 32-bit numbers and the 64-bit path id.
constexpr std::uint64_t kMinEntryRecord = 24;
constexpr std::uint64_t kMinExtendedEntryRecord = 36;
// A first word with this bit set is no name length an older-form file can hold (the name would
// need 4 GiB after it), so it marks a version word of a later form; Ravelin before the extended
// form refuses such a file as damaged instead of misreading it.
constexpr std::uint32_t kVersionedFormBit = 0x80000000;

Outcome Damaged(const std::u16string& what) {
    return Outcome::Failure(u"The mod file is damaged: " + what);
}

// One stored text: the length, then the code units. A text longer than its field is cut; one
// that runs past the end of the bytes refuses the file.
Outcome ReadText(ByteReader& reader, std::u16string& field, std::size_t capacity,
                 const std::u16string& what) {
    std::uint32_t n = 0;
    if (!reader.ReadLittleEndian32(n)) {
        return Damaged(u"the file ends before the length of its " + what + u".");
    }
    std::span<const std::uint8_t> units = reader.View(2 * std::uint64_t{n});
    if (reader.failed()) {
        return Damaged(u"its " + what + u" (" + DecimalText(n) +
                       u" characters) runs past the end of the file.");
    }
    std::size_t kept = std::min<std::size_t>(n, capacity - 1);
    std::u16string text(kept, u'\0');
    for (std::size_t i = 0; i < kept; ++i) {
        text[i] = static_cast<char16_t>(units[2 * i] | (units[2 * i + 1] << 8));
    }
    field = FieldText(text, capacity);
    reader.Skip(units.size());
    return Outcome::Success();
}

Outcome ReadNumber(ByteReader& reader, std::uint32_t& value, const std::u16string& what) {
    if (!reader.ReadLittleEndian32(value)) {
        return Damaged(u"the file ends inside " + what + u".");
    }
    return Outcome::Success();
}

Outcome ReadEntry(ByteReader& reader, ModEntry& entry, std::size_t position, ModFormat format) {
    const std::u16string which = u"entry " + DecimalText(static_cast<std::int64_t>(position));
    Outcome o = ReadText(reader, entry.fileName, kNameCapacity, which + u"'s file name");
    if (o) {
        o = ReadText(reader, entry.assetName, kNameCapacity, which + u"'s asset name");
    }
    if (format != ModFormat::Extended) {
        // A 32-bit path id, read zero-extended; no class id, no member.
        std::uint32_t pathId = 0;
        for (std::uint32_t* word : {&entry.type, &pathId, &entry.length, &entry.offset}) {
            if (o) {
                o = ReadNumber(reader, *word, which);
            }
        }
        entry.pathId = pathId;
        return o;
    }
    if (o) {
        o = ReadText(reader, entry.member, kPathCapacity, which + u"'s member name");
    }
    std::uint32_t classId = 0;
    std::uint64_t pathId = 0;
    if (o && !(reader.ReadLittleEndian32(entry.type) && reader.ReadLittleEndian32(classId) &&
               reader.ReadLittleEndian64(pathId) && reader.ReadLittleEndian32(entry.length) &&
               reader.ReadLittleEndian32(entry.offset))) {
        o = Damaged(u"the file ends inside " + which + u".");
    }
    entry.classId = static_cast<std::int32_t>(classId);
    entry.pathId = static_cast<std::int64_t>(pathId);
    return o;
}

void PutText(std::vector<std::uint8_t>& out, const std::u16string& text) {
    PutLittleEndian32(out, static_cast<std::uint32_t>(text.size()));
    for (char16_t unit : text) {
        out.push_back(static_cast<std::uint8_t>(unit));
        out.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
}

// Every entry's data must lie inside a payload of `payloadLength` bytes.
Outcome CheckEntriesInside(const ModRecord& mod, std::uint64_t payloadLength,
                           const std::u16string& where) {
    for (std::size_t i = 0; i < mod.entries.size(); ++i) {
        const ModEntry& e = mod.entries[i];
        if (std::uint64_t{e.offset} + e.length > payloadLength) {
            return Outcome::Failure(
                u"The data of entry " + DecimalText(static_cast<std::int64_t>(i)) + u" (" +
                e.fileName + u"/" + e.assetName + u", " + DecimalText(e.length) + u" bytes at " +
                DecimalText(e.offset) + u") lies outside " + where + u" (" +
                DecimalText(static_cast<std::int64_t>(payloadLength)) + u" bytes).");
        }
    }
    return Outcome::Success();
}

// Copies `length` bytes of the file `from` to the stream, a block at a time; false when it
// failed or was stopped.
bool CopyInto(std::FILE* stream, const std::u16string& from, std::uint64_t length,
              ByteProgress& progress) {
    UniqueFile in(platform::OpenFile(from, "rb"));
    if (!in) {
        return false;
    }
    std::vector<std::uint8_t> block(std::size_t{1} << 16);
    while (length > 0) {
        std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(length, block.size()));
        if (std::fread(block.data(), 1, want, in.get()) != want ||
            !WriteAll(stream, std::span(block).first(want)) || !progress.Advance(want)) {
            return false;
        }
        length -= want;
    }
    return true;
}

}  // namespace

Outcome ParseMod(std::span<const std::uint8_t> bytes, std::uint64_t start, ModRecord& mod,
                 ModLayout& layout) {
    if (start > bytes.size()) {
        return Damaged(u"it starts beyond the end of the file.");
    }
    ByteReader reader(bytes, start);
    ModRecord parsed;
    ModLayout found;
    std::uint32_t first = 0;
    if (!reader.ReadLittleEndian32(first)) {
        return Damaged(u"it is too short to hold a mod.");
    }
    // The older form has no version word: its first word is already the name's length.
    if (first == kExtendedFormWord) {
        found.format = ModFormat::Extended;
    } else if ((first & kVersionedFormBit) != 0) {
        return Outcome::Failure(u"The mod file starts with the version word " + HexWordText(first) +
                                u", which this version of Ravelin does not read (a later form "
                                u"of mod file, or a damaged one).");
    } else if (first != 1) {
        found.format = ModFormat::Older;
        reader.Seek(start);
    }
    struct Field {
        std::u16string* text;
        std::size_t capacity;
        const char16_t* what;
    };
    const std::array<Field, 9> fields{{
        {&parsed.name, kNameCapacity, u"name"},
        {&parsed.author, kNameCapacity, u"author"},
        {&parsed.date, kNameCapacity, u"date"},
        {&parsed.version, kNameCapacity, u"version"},
        {&parsed.directory, kPathCapacity, u"directory"},
        {&parsed.verifyFile, kPathCapacity, u"verify file"},
        {&parsed.description, kDescriptionCapacity, u"description"},
        {&parsed.installer, kNameCapacity, u"installer"},
        {&parsed.iconPath, kPathCapacity, u"icon path"},
    }};
    for (const Field& field : fields) {
        if (field.text == &parsed.installer && found.format == ModFormat::Older) {
            continue;  // the older form has no installer; it keeps "default"
        }
        if (Outcome o = ReadText(reader, *field.text, field.capacity, field.what); !o) {
            return o;
        }
    }
    std::uint32_t count = 0;
    if (!reader.ReadLittleEndian32(count)) {
        return Damaged(u"the file ends before its entry count.");
    }
    // Each record takes at least its smallest size: check the count before sizing the table.
    const std::uint64_t smallest =
        found.format == ModFormat::Extended ? kMinExtendedEntryRecord : kMinEntryRecord;
    if (count > reader.remaining() / smallest) {
        return Damaged(u"its entry count (" + DecimalText(count) + u") does not fit in the file.");
    }
    parsed.entries.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (Outcome o = ReadEntry(reader, parsed.entries[i], i, found.format); !o) {
            return o;
        }
    }
    found.payloadStart = reader.position();
    found.payloadLength = reader.remaining();
    if (Outcome o = CheckEntriesInside(parsed, found.payloadLength, u"the mod's data"); !o) {
        return Damaged(o.message);
    }
    mod = std::move(parsed);
    layout = found;
    return Outcome::Success();
}

void SortEntries(ModRecord& mod) {
    std::stable_sort(mod.entries.begin(), mod.entries.end(),
                     [](const ModEntry& a, const ModEntry& b) { return a.fileName < b.fileName; });
}

std::vector<std::uint8_t> ModHeaderBytes(const ModRecord& mod) {
    const bool extended = !std::all_of(mod.entries.begin(), mod.entries.end(), FitsVersion1);
    std::vector<std::uint8_t> out;
    PutLittleEndian32(out, extended ? kExtendedFormWord : mod.formatVersion);
    for (const std::u16string* text :
         {&mod.name, &mod.author, &mod.date, &mod.version, &mod.directory, &mod.verifyFile,
          &mod.description, &mod.installer, &mod.iconPath}) {
        PutText(out, *text);
    }
    PutLittleEndian32(out, static_cast<std::uint32_t>(mod.entries.size()));
    for (const ModEntry& e : mod.entries) {
        PutText(out, e.fileName);
        PutText(out, e.assetName);
        if (extended) {
            PutText(out, e.member);
            PutLittleEndian32(out, e.type);
            PutLittleEndian32(out, static_cast<std::uint32_t>(e.classId));
            PutLittleEndian64(out, static_cast<std::uint64_t>(e.pathId));
        } else {
            PutLittleEndian32(out, e.type);
            PutLittleEndian32(out, static_cast<std::uint32_t>(e.pathId));
        }
        PutLittleEndian32(out, e.length);
        PutLittleEndian32(out, e.offset);
    }
    return out;
}

Outcome SaveMod(std::FILE* stream, ModRecord& mod, const ModWorkFiles& files,
                const ProgressCallback& progress, const std::stop_token& stop) {
    SortEntries(mod);
    // No data file yet means no asset was ever added: the payload is empty.
    const std::uint64_t payload =
        platform::FileExists(files.data) ? platform::FileSize(files.data).value_or(0) : 0;
    if (Outcome o = CheckEntriesInside(mod, payload, u"the mod's data file"); !o) {
        return o;
    }
    ByteProgress written(progress, u"Writing the mod", payload, stop);
    const bool copied = WriteAll(stream, ModHeaderBytes(mod)) &&
                        (payload == 0 || CopyInto(stream, files.data, payload, written));
    if (written.stopped()) {
        return Cancelled();
    }
    if (!copied || std::fflush(stream) != 0) {
        return Outcome::Failure(u"The mod could not be written completely (" +
                                DecimalText(static_cast<std::int64_t>(payload)) +
                                u" bytes of data).");
    }
    return Outcome::Success();
}

Outcome SaveModAs(const std::u16string& target, ModRecord& mod, const ModWorkFiles& files,
                  const ProgressCallback& progress, const std::stop_token& stop) {
    FileBeside out;
    if (!out.Create(target) || out.stream() == nullptr) {
        return Outcome::Failure(u"Cannot create a file beside " + target + u": " + out.error() +
                                u".");
    }
    if (Outcome saved = SaveMod(out.stream(), mod, files, progress, stop); !saved) {
        return saved;
    }
    // The last moment a stop keeps `target` as it was.
    if (stop.stop_requested()) {
        return Cancelled();
    }
    if (!out.Commit()) {
        return Outcome::Failure(u"The mod file could not be written to " + target + u": " +
                                out.error() + u".");
    }
    return Outcome::Success();
}

Outcome OpenMod(const std::u16string& path, ModRecord& mod, const ModWorkFiles& files,
                const ProgressCallback& progress, const std::stop_token& stop) {
    MappedFile file;
    if (!file.Open(path)) {
        return Outcome::Failure(u"Cannot open the mod file " + path + u".");
    }
    file.AdviseSequential();
    ModRecord opened;
    ModLayout layout;
    if (Outcome o = ParseMod(file.bytes(), 0, opened, layout); !o) {
        return o;
    }
    UniqueFile out(platform::OpenFile(files.scratch, "wb"));
    if (!out) {
        return Outcome::Failure(u"Cannot create the mod's data file " + files.scratch + u".");
    }
    const std::span<const std::uint8_t> payload = file.bytes().subspan(layout.payloadStart);
    ByteProgress read(progress, u"Reading the mod", payload.size(), stop);
    const bool written = WriteAll(out.get(), payload, read);
    const bool closed = CloseWritten(out);
    // Checked once more after the last chunk: a stop keeps the data file and `mod` as they were.
    if (read.stopped()) {
        platform::DeleteFile(files.scratch);
        return Cancelled();
    }
    if (!closed || !written || !platform::ReplaceFile(files.scratch, files.data)) {
        platform::DeleteFile(files.scratch);
        return Outcome::Failure(u"The mod's data could not be written to " + files.data + u".");
    }
    mod = std::move(opened);
    return Outcome::Success();
}

}  // namespace kestrova::ravelin
