#include "pe/pe_image.h"

#include <algorithm>

#include "common/text.h"
#include "sdk/byte_reader.h"

namespace kestrova::ravelin {

namespace {

constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
// The optional header's fixed part before the data directories.
constexpr std::uint16_t kPe32FixedSize = 96;
constexpr std::uint16_t kPe32PlusFixedSize = 112;
constexpr std::uint32_t kMaxDirectories = 16;
// Windows loads no program whose sections are aligned in the file to more than 64 KiB; a larger
// alignment would also make every section added to the file cost up to gigabytes of padding.
constexpr std::uint32_t kMaxFileAlignment = 0x10000;

bool PowerOfTwo(std::uint32_t value) {
    return value != 0 && (value & (value - 1)) == 0;
}

Outcome Refuse(const std::u16string& why) {
    return Outcome::Failure(u"Not a readable Windows program: " + why + u".");
}

std::u16string Number(std::uint64_t value) {
    return DecimalText(static_cast<std::int64_t>(value));
}

Outcome ReadSectionTable(ByteReader& reader, std::uint16_t count, PeImage& image) {
    image.sections.resize(count);
    for (std::uint16_t i = 0; i < count; ++i) {
        PeSection& s = image.sections[i];
        if (!reader.ReadBytes(s.name) || !reader.ReadLittleEndian32(s.virtualSize) ||
            !reader.ReadLittleEndian32(s.virtualAddress) || !reader.ReadLittleEndian32(s.rawSize) ||
            !reader.ReadLittleEndian32(s.rawPointer) || !reader.Skip(12) ||
            !reader.ReadLittleEndian32(s.characteristics)) {
            return Refuse(u"the section table runs past the end of the file");
        }
        if (s.rawSize != 0 && !reader.Contains(s.rawPointer, s.rawSize)) {
            return Refuse(u"section " + Number(i) + u" lies outside the file");
        }
        if (s.rawSize != 0) {
            image.rawEnd = std::max(image.rawEnd, s.RawEnd());
        }
    }
    return Outcome::Success();
}

}  // namespace

const PeSection* PeImage::SectionHolding(std::uint32_t address, std::uint32_t size) const {
    const PeSection* atEnd = nullptr;
    for (const PeSection& s : sections) {
        if (address < s.virtualAddress) {
            continue;
        }
        const std::uint64_t offset = address - s.virtualAddress;
        const std::uint64_t end = offset + size;
        const std::uint64_t memory = s.VirtualEnd() - s.virtualAddress;
        if (end > memory || end > s.rawSize) {
            continue;
        }
        if (offset < memory) {
            return &s;
        }
        // An empty range at the very end of a section that holds something.
        if (size == 0 && memory > 0 && atEnd == nullptr) {
            atEnd = &s;
        }
    }
    return atEnd;
}

std::optional<std::uint64_t> PeImage::FilePosition(std::uint32_t address,
                                                   std::uint32_t size) const {
    const PeSection* s = SectionHolding(address, size);
    if (s == nullptr) {
        return std::nullopt;
    }
    return std::uint64_t{s->rawPointer} + (address - s->virtualAddress);
}

Outcome ReadPeImage(std::span<const std::uint8_t> file, PeImage& image) {
    image = PeImage{};
    ByteReader reader(file);
    std::uint16_t mzMagic = 0;
    std::uint32_t peAt = 0;
    if (!reader.ReadLittleEndian16(mzMagic) || mzMagic != 0x5A4D || !reader.Seek(0x3C) ||
        !reader.ReadLittleEndian32(peAt)) {
        return Refuse(u"no program header (MZ)");
    }
    std::uint32_t signature = 0;
    if (!reader.Seek(peAt) || !reader.ReadLittleEndian32(signature) || signature != 0x00004550) {
        return Refuse(u"no PE signature");
    }
    image.coffHeaderAt = reader.position();
    std::uint16_t sectionCount = 0;
    if (!reader.Skip(2) || !reader.ReadLittleEndian16(sectionCount) || !reader.Skip(4) ||
        !reader.ReadLittleEndian32(image.pointerToSymbolTable) || !reader.Skip(4) ||
        !reader.ReadLittleEndian16(image.sizeOfOptionalHeader) || !reader.Skip(2)) {
        return Refuse(u"the file header runs past the end of the file");
    }
    image.optionalHeaderAt = reader.position();
    std::uint16_t magic = 0;
    if (!reader.ReadLittleEndian16(magic) || (magic != kPe32Magic && magic != kPe32PlusMagic)) {
        return Refuse(u"an optional header of an unknown kind");
    }
    image.pe32Plus = magic == kPe32PlusMagic;
    const std::uint16_t fixedSize = image.pe32Plus ? kPe32PlusFixedSize : kPe32FixedSize;
    if (image.sizeOfOptionalHeader < fixedSize ||
        !reader.Contains(image.optionalHeaderAt, image.sizeOfOptionalHeader)) {
        return Refuse(u"the optional header is too short");
    }
    std::uint32_t directoryCount = 0;
    reader.Seek(image.optionalHeaderAt + 8);
    reader.ReadLittleEndian32(image.sizeOfInitializedData);
    reader.Seek(image.optionalHeaderAt + 32);
    reader.ReadLittleEndian32(image.sectionAlignment);
    reader.ReadLittleEndian32(image.fileAlignment);
    reader.Seek(image.SizeOfImageAt());
    reader.ReadLittleEndian32(image.sizeOfImage);
    reader.ReadLittleEndian32(image.sizeOfHeaders);
    reader.ReadLittleEndian32(image.checkSum);
    reader.Seek(image.optionalHeaderAt + fixedSize - 4);
    reader.ReadLittleEndian32(directoryCount);
    if (reader.failed()) {
        return Refuse(u"the optional header runs past the end of the file");
    }
    if (!PowerOfTwo(image.fileAlignment) || !PowerOfTwo(image.sectionAlignment)) {
        return Refuse(u"its alignments are not powers of two");
    }
    if (image.fileAlignment > kMaxFileAlignment) {
        return Refuse(u"its sections are aligned in the file to more than 64 KiB");
    }
    if (image.sizeOfHeaders > file.size()) {
        return Refuse(u"its headers run past the end of the file");
    }
    image.rawEnd = image.sizeOfHeaders;
    // Only the directories that both the count and the header's size hold are read.
    directoryCount = std::min<std::uint32_t>(
        {directoryCount, kMaxDirectories, (image.sizeOfOptionalHeader - fixedSize) / 8u});
    image.directoriesAt = image.optionalHeaderAt + fixedSize;
    image.directories.resize(directoryCount);
    for (PeDataDirectory& d : image.directories) {
        reader.ReadLittleEndian32(d.address);
        reader.ReadLittleEndian32(d.size);
    }
    image.sectionTableAt = image.optionalHeaderAt + image.sizeOfOptionalHeader;
    if (!reader.Seek(image.sectionTableAt)) {
        return Refuse(u"the section table lies outside the file");
    }
    if (Outcome o = ReadSectionTable(reader, sectionCount, image); !o) {
        return o;
    }
    // Windows maps each address to one section; a file whose sections share addresses is not a
    // program it would run.
    std::vector<const PeSection*> byAddress;
    for (const PeSection& s : image.sections) {
        if (s.VirtualEnd() > s.virtualAddress) {
            byAddress.push_back(&s);
        }
    }
    std::sort(byAddress.begin(), byAddress.end(), [](const PeSection* a, const PeSection* b) {
        return a->virtualAddress < b->virtualAddress;
    });
    for (std::size_t i = 1; i < byAddress.size(); ++i) {
        if (byAddress[i - 1]->VirtualEnd() > byAddress[i]->virtualAddress) {
            return Refuse(u"two of its sections share addresses");
        }
    }
    image.imageEnd = image.rawEnd;
    const PeDataDirectory certificates = image.Directory(kCertificateDirectory);
    if (certificates.size != 0) {
        if (!reader.Contains(certificates.address, certificates.size)) {
            return Refuse(u"the certificate table lies outside the file");
        }
        image.imageEnd =
            std::max(image.imageEnd, std::uint64_t{certificates.address} + certificates.size);
    }
    return Outcome::Success();
}

std::uint32_t PeChecksum(std::span<const std::uint8_t> file, std::uint64_t checkSumAt) {
    std::uint64_t sum = 0;
    auto byteAt = [&](std::uint64_t i) -> std::uint32_t {
        return i >= checkSumAt && i - checkSumAt < 4 ? 0 : file[i];
    };
    const std::uint64_t n = file.size();
    for (std::uint64_t i = 0; i < n; i += 2) {
        std::uint32_t word = byteAt(i) | (i + 1 < n ? byteAt(i + 1) << 8 : 0);
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint32_t>(sum + n);
}

void StoreLittleEndian16(std::vector<std::uint8_t>& bytes, std::uint64_t at, std::uint16_t value) {
    bytes.at(at) = static_cast<std::uint8_t>(value);
    bytes.at(at + 1) = static_cast<std::uint8_t>(value >> 8);
}

void StoreLittleEndian32(std::vector<std::uint8_t>& bytes, std::uint64_t at, std::uint32_t value) {
    for (int k = 0; k < 4; ++k) {
        bytes.at(at + k) = static_cast<std::uint8_t>(value >> (8 * k));
    }
}

}  // namespace kestrova::ravelin
