#include "pe/pe_resources.h"

#include <algorithm>

#include "common/text.h"
#include "sdk/byte_reader.h"

namespace kestrova::ravelin {

namespace {

constexpr std::uint32_t kHighBit = 0x80000000u;
constexpr std::uint64_t kDirectoryHeaderSize = 16;
constexpr std::uint64_t kDirectoryEntrySize = 8;
constexpr std::uint64_t kDataEntrySize = 16;
// An icon group: a 6-byte header with the image count, then per image its width, height, colour
// count, a reserved byte, planes, bits per pixel, byte count and resource number.
constexpr std::uint64_t kGroupEntrySize = 14;
// Windows uses three levels; deeper trees are read, but not without end.
constexpr int kMaxDepth = 8;
constexpr std::uint64_t kMaxImageAddress = 0xFFFFFFFFu;

Outcome Damaged(const std::u16string& why) {
    return Outcome::Failure(u"The program's resources are damaged: " + why + u".");
}

// Where a new entry goes: numbers after every text, in ascending order.
bool Before(const ResourceName& a, const ResourceName& b) {
    if (a.isText != b.isText) {
        return a.isText;
    }
    return a.isText ? CompareIgnoringAsciiCase(a.text, b.text) < 0 : a.id < b.id;
}

// Reads directories, names and data entries at offsets from the start of the resource
// directory. Each entry read spends one unit of a budget that the area's size sets, so that
// entries pointing to shared sub-directories cannot make the work grow without bound.
class TreeReader {
public:
    TreeReader(std::span<const std::uint8_t> file, const PeImage& image, std::uint64_t base,
               std::uint64_t end)
        : file_(file),
          image_(image),
          base_(base),
          area_(file.subspan(base, end - base)),
          budget_((end - base) / kDirectoryEntrySize + 1) {}

    Outcome ReadDirectory(std::uint64_t offset, int depth, ResourceDirectory& directory) {
        ByteReader reader(area_);
        std::uint16_t named = 0;
        std::uint16_t numbered = 0;
        if (!reader.Seek(offset) || !reader.ReadLittleEndian32(directory.characteristics) ||
            !reader.ReadLittleEndian32(directory.timeDateStamp) ||
            !reader.ReadLittleEndian16(directory.majorVersion) ||
            !reader.ReadLittleEndian16(directory.minorVersion) ||
            !reader.ReadLittleEndian16(named) || !reader.ReadLittleEndian16(numbered)) {
            return Damaged(u"a directory lies outside the resource section");
        }
        const std::uint64_t count = std::uint64_t{named} + numbered;
        if (!reader.Contains(reader.position(), count * kDirectoryEntrySize)) {
            return Damaged(u"a directory's entries run past the resource section");
        }
        if (count > budget_) {
            return Damaged(u"its directories refer to each other without end");
        }
        budget_ -= count;
        Reach(reader.position() + count * kDirectoryEntrySize);
        directory.entries.resize(count);
        for (std::uint64_t i = 0; i < count; ++i) {
            std::uint32_t nameField = 0;
            std::uint32_t target = 0;
            reader.ReadLittleEndian32(nameField);
            reader.ReadLittleEndian32(target);
            ResourceEntry& entry = directory.entries[i];
            if (Outcome o = ReadName(nameField, entry.name); !o) {
                return o;
            }
            if ((target & kHighBit) != 0) {
                if (depth + 1 >= kMaxDepth) {
                    return Damaged(u"its directories nest too deep");
                }
                entry.directory = std::make_unique<ResourceDirectory>();
                if (Outcome o = ReadDirectory(target & ~kHighBit, depth + 1, *entry.directory);
                    !o) {
                    return o;
                }
            } else if (Outcome o = ReadData(target, entry); !o) {
                return o;
            }
        }
        return Outcome::Success();
    }

    std::uint64_t extent() const { return extent_; }

private:
    void Reach(std::uint64_t end) { extent_ = std::max(extent_, end); }

    Outcome ReadName(std::uint32_t field, ResourceName& name) {
        if ((field & kHighBit) == 0) {
            if (field > 0xFFFF) {
                return Damaged(u"a resource number is out of range");
            }
            name = ResourceName::Id(static_cast<std::uint16_t>(field));
            return Outcome::Success();
        }
        ByteReader reader(area_);
        std::uint16_t length = 0;
        if (!reader.Seek(field & ~kHighBit) || !reader.ReadLittleEndian16(length) ||
            !reader.Contains(reader.position(), 2 * std::uint64_t{length})) {
            return Damaged(u"a resource name lies outside the resource section");
        }
        name.isText = true;
        name.text.resize(length);
        for (char16_t& c : name.text) {
            std::uint16_t unit = 0;
            reader.ReadLittleEndian16(unit);
            c = static_cast<char16_t>(unit);
        }
        Reach(reader.position());
        return Outcome::Success();
    }

    Outcome ReadData(std::uint64_t offset, ResourceEntry& entry) {
        ByteReader reader(area_);
        std::uint32_t address = 0;
        std::uint32_t size = 0;
        if (!reader.Seek(offset) || !reader.ReadLittleEndian32(address) ||
            !reader.ReadLittleEndian32(size) || !reader.ReadLittleEndian32(entry.codePage) ||
            !reader.ReadLittleEndian32(entry.reserved)) {
            return Damaged(u"a data entry lies outside the resource section");
        }
        Reach(reader.position());
        std::optional<std::uint64_t> at = image_.FilePosition(address, size);
        if (!at) {
            return Damaged(u"a resource's data lies outside the file");
        }
        entry.data = file_.subspan(*at, size);
        if (*at >= base_) {
            Reach(*at - base_ + size);
        }
        return Outcome::Success();
    }

    std::span<const std::uint8_t> file_;
    const PeImage& image_;
    std::uint64_t base_;
    std::span<const std::uint8_t> area_;
    std::uint64_t budget_;
    std::uint64_t extent_ = 0;
};

// A directory's entries as the format stores them: those named by text first, each group in
// the order the program had it.
std::vector<const ResourceEntry*> Ordered(const ResourceDirectory& directory) {
    std::vector<const ResourceEntry*> ordered;
    ordered.reserve(directory.entries.size());
    for (const ResourceEntry& e : directory.entries) {
        ordered.push_back(&e);
    }
    std::stable_partition(ordered.begin(), ordered.end(),
                          [](const ResourceEntry* e) { return e->name.isText; });
    return ordered;
}

void Append16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Append32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    Append16(out, static_cast<std::uint16_t>(value));
    Append16(out, static_cast<std::uint16_t>(value >> 16));
}

ResourceEntry* FindIconGroup(ResourceDirectory& root) {
    ResourceEntry* type = root.Find(ResourceName::Id(kGroupIconResourceType));
    if (type == nullptr || !type->directory) {
        return nullptr;
    }
    ResourceEntry* group = type->directory->Find(ResourceName::Id(kInstallerIconGroup));
    // Any language: the first one the group has.
    while (group != nullptr && group->directory) {
        group = group->directory->entries.empty() ? nullptr : &group->directory->entries.front();
    }
    return group;
}

bool AllZero(std::span<const std::uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

// Writes the program anew around a rebuilt resource section.
class ProgramRebuild {
public:
    ProgramRebuild(const std::vector<std::uint8_t>& program, const PeImage& image,
                   const ResourceTree& tree)
        : program_(program), image_(image), tree_(tree) {}

    Outcome Run(std::vector<std::uint8_t>& out) {
        const PeDataDirectory resources = image_.Directory(kResourceDirectory);
        const PeSection* home = image_.SectionHolding(resources.address, kDirectoryHeaderSize);
        const std::uint64_t highestEnd = HighestVirtualEnd();
        // In place only when nothing else could lie in the section or after it in memory.
        const bool inPlace = home != nullptr && home->rawSize != 0 &&
                             home->RawEnd() == image_.rawEnd && home->VirtualEnd() == highestEnd &&
                             resources.address == home->virtualAddress &&
                             (tree_.extent >= home->rawSize ||
                              AllZero(std::span(program_).subspan(home->rawPointer + tree_.extent,
                                                                  home->rawSize - tree_.extent)));
        std::uint64_t address = 0;
        std::uint64_t rawStart = 0;
        std::uint64_t oldRawEnd = 0;
        if (inPlace) {
            address = home->virtualAddress;
            rawStart = home->rawPointer;
            oldRawEnd = home->RawEnd();
        } else {
            if (Outcome o = CheckHeaderRoom(); !o) {
                return o;
            }
            address = AlignUp(highestEnd, image_.sectionAlignment);
            rawStart = AlignUp(image_.rawEnd, image_.fileAlignment);
            oldRawEnd = image_.rawEnd;
        }
        if (address > kMaxImageAddress) {
            return TooLarge();
        }
        const std::vector<std::uint8_t> section =
            WriteResourceSection(tree_.root, static_cast<std::uint32_t>(address));
        const std::uint64_t rawSize = AlignUp(section.size(), image_.fileAlignment);
        const std::uint64_t virtualEnd = AlignUp(address + section.size(), image_.sectionAlignment);
        const std::uint64_t tailStart = rawStart + rawSize;
        if (virtualEnd > kMaxImageAddress || tailStart > kMaxImageAddress) {
            return TooLarge();
        }

        const std::uint64_t keep = inPlace ? rawStart : image_.rawEnd;
        out.assign(program_.begin(), program_.begin() + static_cast<std::ptrdiff_t>(keep));
        out.resize(rawStart, 0);
        out.insert(out.end(), section.begin(), section.end());
        out.resize(tailStart, 0);
        AppendTail(out, oldRawEnd);

        const auto sectionSize = static_cast<std::uint32_t>(section.size());
        std::int64_t initializedGrowth = static_cast<std::int64_t>(rawSize);
        if (inPlace) {
            const std::uint64_t at = image_.SectionHeaderAt(home - image_.sections.data());
            StoreLittleEndian32(out, at + 8, sectionSize);
            StoreLittleEndian32(out, at + 16, static_cast<std::uint32_t>(rawSize));
            initializedGrowth -= home->rawSize;
        } else {
            const std::uint64_t at = image_.SectionHeaderAt(image_.sections.size());
            static constexpr std::uint8_t kName[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
            std::copy(std::begin(kName), std::end(kName),
                      out.begin() + static_cast<std::ptrdiff_t>(at));
            StoreLittleEndian32(out, at + 8, sectionSize);
            StoreLittleEndian32(out, at + 12, static_cast<std::uint32_t>(address));
            StoreLittleEndian32(out, at + 16, static_cast<std::uint32_t>(rawSize));
            StoreLittleEndian32(out, at + 20, static_cast<std::uint32_t>(rawStart));
            StoreLittleEndian32(out, at + 36,
                                home != nullptr && home->characteristics != 0
                                    ? home->characteristics
                                    : kSectionInitializedData | kSectionReadable);
            StoreLittleEndian16(out, image_.NumberOfSectionsAt(),
                                static_cast<std::uint16_t>(image_.sections.size() + 1));
        }
        const std::uint64_t othersEnd = inPlace ? HighestEndBesides(home) : highestEnd;
        StoreLittleEndian32(out, image_.SizeOfImageAt(),
                            static_cast<std::uint32_t>(
                                std::max(virtualEnd, AlignUp(othersEnd, image_.sectionAlignment))));
        const std::int64_t initialized =
            std::clamp<std::int64_t>(std::int64_t{image_.sizeOfInitializedData} + initializedGrowth,
                                     0, static_cast<std::int64_t>(kMaxImageAddress));
        StoreLittleEndian32(out, image_.SizeOfInitializedDataAt(),
                            static_cast<std::uint32_t>(initialized));
        StoreLittleEndian32(out, image_.DirectoryAt(kResourceDirectory),
                            static_cast<std::uint32_t>(address));
        StoreLittleEndian32(out, image_.DirectoryAt(kResourceDirectory) + 4, sectionSize);
        if (image_.Directory(kCertificateDirectory).size != 0) {
            StoreLittleEndian32(out, image_.DirectoryAt(kCertificateDirectory), 0);
            StoreLittleEndian32(out, image_.DirectoryAt(kCertificateDirectory) + 4, 0);
        }
        if (image_.pointerToSymbolTable >= oldRawEnd) {
            StoreLittleEndian32(out, image_.PointerToSymbolTableAt(),
                                static_cast<std::uint32_t>(MovedTailPosition(
                                    image_.pointerToSymbolTable, oldRawEnd, tailStart)));
        }
        if (image_.checkSum != 0) {
            StoreLittleEndian32(out, image_.CheckSumAt(), PeChecksum(out, image_.CheckSumAt()));
        }
        return Outcome::Success();
    }

private:
    static Outcome TooLarge() {
        return Outcome::Failure(u"The installer program would grow beyond 4 GiB.");
    }

    std::uint64_t HighestVirtualEnd() const {
        std::uint64_t end = 0;
        for (const PeSection& s : image_.sections) {
            end = std::max(end, s.VirtualEnd());
        }
        return end;
    }

    std::uint64_t HighestEndBesides(const PeSection* skipped) const {
        std::uint64_t end = 0;
        for (const PeSection& s : image_.sections) {
            if (&s != skipped) {
                end = std::max(end, s.VirtualEnd());
            }
        }
        return end;
    }

    // A new section header needs 40 unused bytes after the table, inside the headers.
    Outcome CheckHeaderRoom() const {
        const std::uint64_t at = image_.SectionHeaderAt(image_.sections.size());
        std::uint64_t limit = image_.sizeOfHeaders;
        for (const PeSection& s : image_.sections) {
            if (s.rawSize != 0) {
                limit = std::min<std::uint64_t>(limit, s.rawPointer);
            }
        }
        if (image_.sections.size() >= 0xFFFF || at + kSectionHeaderSize > limit ||
            at + kSectionHeaderSize > program_.size() ||
            !AllZero(std::span(program_).subspan(at, kSectionHeaderSize))) {
            return Outcome::Failure(
                u"The installer program has no room for another section header, which its "
                u"new icons need.");
        }
        return Outcome::Success();
    }

    // The bytes after the old sections' data, without the certificate table.
    void AppendTail(std::vector<std::uint8_t>& out, std::uint64_t from) const {
        const PeDataDirectory certificates = image_.Directory(kCertificateDirectory);
        const std::uint64_t cutStart = certificates.address;
        const std::uint64_t cutEnd = cutStart + certificates.size;
        for (std::uint64_t p = from; p < program_.size();) {
            if (certificates.size != 0 && p >= cutStart && p < cutEnd) {
                p = cutEnd;
                continue;
            }
            std::uint64_t end = program_.size();
            if (certificates.size != 0 && p < cutStart) {
                end = std::min<std::uint64_t>(end, cutStart);
            }
            out.insert(out.end(), program_.begin() + static_cast<std::ptrdiff_t>(p),
                       program_.begin() + static_cast<std::ptrdiff_t>(end));
            p = end;
        }
    }

    std::uint64_t MovedTailPosition(std::uint64_t position, std::uint64_t from,
                                    std::uint64_t tailStart) const {
        const PeDataDirectory certificates = image_.Directory(kCertificateDirectory);
        std::uint64_t moved = tailStart + (position - from);
        if (certificates.size != 0 && certificates.address >= from &&
            std::uint64_t{certificates.address} + certificates.size <= position) {
            moved -= certificates.size;
        }
        return moved;
    }

    const std::vector<std::uint8_t>& program_;
    const PeImage& image_;
    const ResourceTree& tree_;
};

}  // namespace

ResourceEntry* ResourceDirectory::Find(const ResourceName& name) {
    for (ResourceEntry& e : entries) {
        if (e.name == name) {
            return &e;
        }
    }
    return nullptr;
}

ResourceEntry& ResourceDirectory::FindOrAdd(const ResourceName& name, bool directory) {
    if (ResourceEntry* found = Find(name)) {
        return *found;
    }
    auto place = std::find_if(entries.begin(), entries.end(),
                              [&](const ResourceEntry& e) { return Before(name, e.name); });
    ResourceEntry& added = *entries.insert(place, ResourceEntry{name, nullptr, {}, 0, 0});
    if (directory) {
        added.directory = std::make_unique<ResourceDirectory>();
    }
    return added;
}

Outcome ReadResourceTree(std::span<const std::uint8_t> file, const PeImage& image,
                         ResourceTree& tree) {
    tree = ResourceTree{};
    const PeDataDirectory resources = image.Directory(kResourceDirectory);
    if (resources.address == 0 || resources.size == 0) {
        return Outcome::Success();
    }
    // The root directory's header at least must be there.
    const PeSection* home = image.SectionHolding(resources.address, kDirectoryHeaderSize);
    if (home == nullptr) {
        return Damaged(u"the resource directory lies outside the file");
    }
    // The tree lies in the part of its section that is both in memory and in the file.
    const std::uint64_t base = home->rawPointer + (resources.address - home->virtualAddress);
    const std::uint64_t end =
        home->rawPointer +
        std::min<std::uint64_t>(home->rawSize, home->VirtualEnd() - home->virtualAddress);
    TreeReader reader(file, image, base, end);
    if (Outcome o = reader.ReadDirectory(0, 0, tree.root); !o) {
        tree = ResourceTree{};
        return o;
    }
    tree.extent = reader.extent();
    return Outcome::Success();
}

std::vector<std::uint8_t> WriteResourceSection(const ResourceDirectory& root,
                                               std::uint32_t address) {
    // Directories breadth first, so that every table's children follow it in one run.
    std::vector<const ResourceDirectory*> directories{&root};
    std::vector<std::uint64_t> directoryAt{0};
    std::uint64_t tablesEnd = 0;
    std::uint64_t leafCount = 0;
    std::uint64_t namesSize = 0;
    for (std::size_t i = 0; i < directories.size(); ++i) {
        directoryAt[i] = tablesEnd;
        tablesEnd += kDirectoryHeaderSize + kDirectoryEntrySize * directories[i]->entries.size();
        for (const ResourceEntry* e : Ordered(*directories[i])) {
            if (e->directory) {
                directories.push_back(e->directory.get());
                directoryAt.push_back(0);
            } else {
                ++leafCount;
            }
            if (e->name.isText) {
                namesSize += 2 + 2 * std::uint64_t{e->name.text.size()};
            }
        }
    }
    const std::uint64_t dataEntriesAt = tablesEnd;
    const std::uint64_t namesAt = dataEntriesAt + kDataEntrySize * leafCount;
    const std::uint64_t dataAt = AlignUp(namesAt + namesSize, 8);

    std::vector<std::uint8_t> tables;
    std::vector<std::uint8_t> dataEntries;
    std::vector<std::uint8_t> names;
    std::vector<std::uint8_t> data;
    std::size_t nextDirectory = 1;
    for (const ResourceDirectory* directory : directories) {
        const std::vector<const ResourceEntry*> entries = Ordered(*directory);
        const auto named = std::count_if(entries.begin(), entries.end(),
                                         [](const ResourceEntry* e) { return e->name.isText; });
        Append32(tables, directory->characteristics);
        Append32(tables, directory->timeDateStamp);
        Append16(tables, directory->majorVersion);
        Append16(tables, directory->minorVersion);
        Append16(tables, static_cast<std::uint16_t>(named));
        Append16(tables, static_cast<std::uint16_t>(entries.size() - named));
        for (const ResourceEntry* e : entries) {
            if (e->name.isText) {
                Append32(tables, kHighBit | static_cast<std::uint32_t>(namesAt + names.size()));
                Append16(names, static_cast<std::uint16_t>(e->name.text.size()));
                for (char16_t c : e->name.text) {
                    Append16(names, static_cast<std::uint16_t>(c));
                }
            } else {
                Append32(tables, e->name.id);
            }
            if (e->directory) {
                Append32(tables,
                         kHighBit | static_cast<std::uint32_t>(directoryAt[nextDirectory++]));
                continue;
            }
            Append32(tables, static_cast<std::uint32_t>(dataEntriesAt + dataEntries.size()));
            data.resize(AlignUp(data.size(), 8), 0);
            Append32(dataEntries, static_cast<std::uint32_t>(address + dataAt + data.size()));
            Append32(dataEntries, static_cast<std::uint32_t>(e->data.size()));
            Append32(dataEntries, e->codePage);
            Append32(dataEntries, e->reserved);
            data.insert(data.end(), e->data.begin(), e->data.end());
        }
    }
    std::vector<std::uint8_t> out = std::move(tables);
    out.insert(out.end(), dataEntries.begin(), dataEntries.end());
    out.insert(out.end(), names.begin(), names.end());
    out.resize(dataAt, 0);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

Outcome ReplaceInstallerIcons(std::vector<std::uint8_t>& program, std::span<const IconImage> icons,
                              IconReplacement& report) {
    report = IconReplacement{};
    PeImage image;
    ResourceTree tree;
    Outcome readable = ReadPeImage(program, image);
    if (readable) {
        readable = ReadResourceTree(program, image, tree);
    }
    if (!readable) {
        report.result = IconReplacement::Result::NotAProgram;
        report.why = readable.message;
        return Outcome::Success();
    }
    const ResourceEntry* group = FindIconGroup(tree.root);
    if (group == nullptr || group->data.size() < 6) {
        report.result = IconReplacement::Result::NoIconGroup;
        report.why = u"The installer program has no icon group 102.";
        return Outcome::Success();
    }
    const std::size_t slots = group->data[4] | (group->data[5] << 8);
    const std::size_t count = std::min(slots, icons.size());
    for (std::size_t i = 0; i < count; ++i) {
        ResourceEntry& type = tree.root.FindOrAdd(ResourceName::Id(kIconResourceType), true);
        ResourceEntry* name = type.directory
                                  ? &type.directory->FindOrAdd(
                                        ResourceName::Id(static_cast<std::uint16_t>(i + 1)), true)
                                  : nullptr;
        ResourceEntry* language =
            name != nullptr && name->directory
                ? &name->directory->FindOrAdd(ResourceName::Id(kUsEnglish), false)
                : nullptr;
        if (language == nullptr || language->directory) {
            report.result = IconReplacement::Result::NotAProgram;
            report.why =
                u"The installer program's icons are not stored as type, name and language.";
            return Outcome::Success();
        }
        language->data = icons[i].bytes;
    }
    report.replaced = count;
    if (count == 0) {
        return Outcome::Success();
    }
    // The group's entries for the replaced images describe the new ones, so that Windows picks
    // an image by its real size and every reader of the group finds what it says.
    ResourceEntry* groupEntry = FindIconGroup(tree.root);
    std::vector<std::uint8_t> newGroup(groupEntry->data.begin(), groupEntry->data.end());
    for (std::uint64_t at = 6; at + kGroupEntrySize <= newGroup.size(); at += kGroupEntrySize) {
        const std::size_t id = newGroup[at + 12] | (newGroup[at + 13] << 8);
        if (id < 1 || id > count) {
            continue;
        }
        StoreIconDescription(newGroup, at, icons[id - 1]);
    }
    groupEntry->data = newGroup;
    std::vector<std::uint8_t> rebuilt;
    if (Outcome o = ProgramRebuild(program, image, tree).Run(rebuilt); !o) {
        report.replaced = 0;
        return o;
    }
    program = std::move(rebuilt);
    return Outcome::Success();
}

}  // namespace kestrova::ravelin
