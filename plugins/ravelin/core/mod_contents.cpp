#include "plugins/ravelin/core/mod_contents.h"

#include <algorithm>
#include <array>

#include "common/mapped_file.h"
#include "common/platform.h"
#include "common/text.h"
#include "plugins/ravelin/core/file_stream.h"
#include "sdk/byte_reader.h"

namespace kestrova::ravelin {

std::vector<std::uint8_t> EntryNamePrefix(const std::u16string& assetName) {
    if (assetName == kUnnamedAsset) {
        return {};
    }
    // The name becomes bytes in a zeroed field of 128, as a single-byte name buffer holds it;
    // names are at most 127 characters, so the rounded length fits the field.
    const std::size_t n = std::min(assetName.size(), kNameCapacity - 1);
    std::vector<std::uint8_t> prefix;
    PutLittleEndian32(prefix, static_cast<std::uint32_t>(n));
    prefix.resize(4 + RoundUp4(n), 0);
    for (std::size_t i = 0; i < n && assetName[i] <= 0xFF; ++i) {
        prefix[4 + i] = static_cast<std::uint8_t>(assetName[i]);
    }
    return prefix;
}

Outcome AddPendingAsset(ModRecord& mod, const PendingAsset& pending, const ModWorkFiles& files) {
    ModEntry entry;
    entry.fileName = FieldText(pending.fileName, kNameCapacity);
    entry.assetName = FieldText(pending.assetName, kNameCapacity);
    entry.member = FieldText(pending.member, kPathCapacity);
    entry.type = pending.type;
    entry.classId = pending.classId;
    entry.pathId = pending.pathId;
    // Compared as stored: a name cut to its field is all an entry can tell apart.
    for (const ModEntry& e : mod.entries) {
        if (e.pathId == entry.pathId && e.fileName == entry.fileName && e.member == entry.member) {
            return Outcome::Failure(kDuplicateAssetText);
        }
    }
    if (Outcome o = AppendEntryData(entry, pending.payload, files); !o) {
        return o;
    }
    mod.entries.push_back(std::move(entry));
    return Outcome::Success();
}

Outcome AppendEntryData(ModEntry& entry, std::span<const std::uint8_t> body,
                        const ModWorkFiles& files) {
    std::uint64_t end = 0;
    if (platform::FileExists(files.data)) {
        std::optional<unsigned long long> size = platform::FileSize(files.data);
        if (!size) {
            return Outcome::Failure(u"Cannot read the size of the mod's data file " + files.data +
                                    u".");
        }
        end = *size;
    }
    const std::vector<std::uint8_t> prefix = EntryNamePrefix(entry.assetName);
    const std::uint64_t padding = PaddingFor(body.size());
    const std::uint64_t length = prefix.size() + body.size() + padding;
    // Offsets and lengths are 32-bit words in the mod file.
    if (end > 0xFFFFFFFFull || length > 0xFFFFFFFFull) {
        return Outcome::Failure(u"The mod's data would grow beyond 4 GiB.");
    }
    UniqueFile out(platform::OpenFile(files.data, "ab"));
    if (!out) {
        return Outcome::Failure(u"Cannot open the mod's data file " + files.data + u".");
    }
    const std::array<std::uint8_t, 3> zeros{};
    bool written = WriteAll(out.get(), prefix) && WriteAll(out.get(), body) &&
                   WriteAll(out.get(), std::span(zeros).first(static_cast<std::size_t>(padding)));
    if (!CloseWritten(out) || !written) {
        return Outcome::Failure(u"The asset's data could not be written to " + files.data +
                                u" (is the disk full?).");
    }
    entry.offset = static_cast<std::uint32_t>(end);
    entry.length = static_cast<std::uint32_t>(length);
    return Outcome::Success();
}

Outcome RemoveEntry(ModRecord& mod, std::size_t position, const ModWorkFiles& files) {
    if (position >= mod.entries.size()) {
        return Outcome::Failure(u"The mod has no such entry.");
    }
    std::vector<ModEntry> kept;
    kept.reserve(mod.entries.size() - 1);
    {
        MappedFile data;
        if (!data.Open(files.data)) {
            return Outcome::Failure(u"Cannot open the mod's data file " + files.data + u".");
        }
        UniqueFile out(platform::OpenFile(files.scratch, "wb"));
        if (!out) {
            return Outcome::Failure(u"Cannot create " + files.scratch + u".");
        }
        ByteReader reader(data.bytes());
        std::uint64_t next = 0;
        bool ok = true;
        for (std::size_t i = 0; i < mod.entries.size() && ok; ++i) {
            if (i == position) {
                continue;
            }
            ModEntry e = mod.entries[i];
            ok = reader.Seek(e.offset) && reader.Contains(e.offset, e.length);
            ok = ok && WriteAll(out.get(), reader.View(e.length));
            e.offset = static_cast<std::uint32_t>(next);
            next += e.length;
            kept.push_back(std::move(e));
        }
        if (!CloseWritten(out) || !ok) {
            platform::DeleteFile(files.scratch);
            return Outcome::Failure(u"The data of the other entries could not be copied from " +
                                    files.data + u".");
        }
    }
    if (!platform::ReplaceFile(files.scratch, files.data)) {
        platform::DeleteFile(files.scratch);
        return Outcome::Failure(u"Cannot replace " + files.data + u".");
    }
    mod.entries = std::move(kept);
    return Outcome::Success();
}

}  // namespace kestrova::ravelin
