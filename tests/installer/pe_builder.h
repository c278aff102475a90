#pragma once
// Builds small Windows program files for tests: headers, a code section, a resource section made
// from a resource tree, and optionally a relocation section after it, a checksum, a certificate
// table and bytes after the image. Header only.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "pe/ico_file.h"
#include "pe/pe_image.h"
#include "pe/pe_resources.h"

namespace kestrova::testing {

using Bytes = std::vector<std::uint8_t>;
using namespace kestrova::ravelin;

inline void AddResource(ResourceDirectory& root, const ResourceName& type, const ResourceName& name,
                        std::uint16_t language, std::span<const std::uint8_t> data) {
    ResourceEntry& t = root.FindOrAdd(type, true);
    ResourceEntry& n = t.directory->FindOrAdd(name, true);
    n.directory->FindOrAdd(ResourceName::Id(language), false).data = data;
}

// An icon group of `count` images with the resource numbers 1 ... count, each described as
// `size` pixels with 32 bits per pixel and `bytes` bytes.
inline Bytes IconGroup(std::uint16_t count, std::uint8_t size, std::uint32_t bytes) {
    Bytes group(6 + 14 * count, 0);
    StoreLittleEndian16(group, 2, 1);
    StoreLittleEndian16(group, 4, count);
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::size_t at = 6 + 14 * i;
        group[at] = size;
        group[at + 1] = size;
        StoreLittleEndian16(group, at + 4, 1);
        StoreLittleEndian16(group, at + 6, 32);
        StoreLittleEndian32(group, at + 8, bytes);
        StoreLittleEndian16(group, at + 12, static_cast<std::uint16_t>(i + 1));
    }
    return group;
}

// Square icon images of one colour each, `seed` varying the colours, as stored in an icon file.
inline std::vector<Bytes> IconBitmaps(const std::vector<std::uint32_t>& sizes, std::uint8_t seed) {
    std::vector<Bytes> bitmaps;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        Bytes pixels(std::size_t{sizes[i]} * sizes[i] * 4);
        for (std::size_t p = 0; p < pixels.size(); p += 4) {
            pixels[p] = static_cast<std::uint8_t>(seed + 40 * i);
            pixels[p + 1] = static_cast<std::uint8_t>(seed * 3 + i);
            pixels[p + 2] = static_cast<std::uint8_t>(200 - seed);
            pixels[p + 3] = p % 12 == 0 ? 0 : 255;
        }
        bitmaps.push_back(MakeIconBitmap(sizes[i], sizes[i], pixels));
    }
    return bitmaps;
}

inline std::vector<IconImage> IconImages(const std::vector<Bytes>& bitmaps,
                                         const std::vector<std::uint32_t>& sizes) {
    std::vector<IconImage> images;
    for (std::size_t i = 0; i < bitmaps.size(); ++i) {
        const auto size = static_cast<std::uint8_t>(sizes[i] >= 256 ? 0 : sizes[i]);
        images.push_back({size, size, 0, 1, 32, bitmaps[i]});
    }
    return images;
}

struct PeLayout {
    bool pe32Plus = true;
    bool relocationsAfterResources = false;
    bool checksum = false;
    Bytes certificate;  // appended after the sections and named by the certificate directory
    Bytes overlay;      // bytes after the sections, before any certificate table
    std::uint32_t sizeOfHeaders = 0x400;
};

inline constexpr std::uint32_t kBuiltFileAlignment = 0x200;
inline constexpr std::uint32_t kBuiltSectionAlignment = 0x1000;

inline Bytes BuildPe(const PeLayout& layout, const ResourceDirectory& resources) {
    const std::uint64_t optionalAt = 0x40 + 4 + 20;
    const std::uint16_t optionalSize = layout.pe32Plus ? 112 + 128 : 96 + 128;
    const std::uint64_t tableAt = optionalAt + optionalSize;
    struct Section {
        const char* name;
        Bytes raw;
        std::uint32_t address;
        std::uint32_t flags;
    };
    std::vector<Section> sections;
    sections.push_back({".text", Bytes(0x180, 0xC3), 0x1000, 0x60000020});
    const Bytes rsrc = WriteResourceSection(resources, 0x2000);
    sections.push_back({".rsrc", rsrc, 0x2000, 0x40000040});
    if (layout.relocationsAfterResources) {
        auto after =
            static_cast<std::uint32_t>(AlignUp(0x2000 + rsrc.size(), kBuiltSectionAlignment));
        sections.push_back({".reloc", Bytes(0x40, 0x5A), after, 0x42000040});
    }
    Bytes out(layout.sizeOfHeaders, 0);
    out[0] = 'M';
    out[1] = 'Z';
    StoreLittleEndian32(out, 0x3C, 0x40);
    out[0x40] = 'P';
    out[0x41] = 'E';
    StoreLittleEndian16(out, 0x44, layout.pe32Plus ? 0x8664 : 0x14C);
    StoreLittleEndian16(out, 0x46, static_cast<std::uint16_t>(sections.size()));
    StoreLittleEndian16(out, 0x54, optionalSize);
    StoreLittleEndian16(out, optionalAt, layout.pe32Plus ? 0x20B : 0x10B);
    StoreLittleEndian32(out, optionalAt + 32, kBuiltSectionAlignment);
    StoreLittleEndian32(out, optionalAt + 36, kBuiltFileAlignment);
    StoreLittleEndian32(out, optionalAt + 60, layout.sizeOfHeaders);
    const std::uint64_t directoriesAt = optionalAt + (layout.pe32Plus ? 112 : 96);
    StoreLittleEndian32(out, directoriesAt - 4, 16);
    StoreLittleEndian32(out, directoriesAt + 16, 0x2000);
    StoreLittleEndian32(out, directoriesAt + 20, static_cast<std::uint32_t>(rsrc.size()));
    std::uint64_t initialized = 0;
    std::uint64_t imageEnd = 0;
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const Section& s = sections[i];
        const std::uint64_t at = tableAt + 40 * i;
        const auto rawSize = static_cast<std::uint32_t>(AlignUp(s.raw.size(), kBuiltFileAlignment));
        std::copy(s.name, s.name + std::string(s.name).size(), out.begin() + at);
        StoreLittleEndian32(out, at + 8, static_cast<std::uint32_t>(s.raw.size()));
        StoreLittleEndian32(out, at + 12, s.address);
        StoreLittleEndian32(out, at + 16, rawSize);
        StoreLittleEndian32(out, at + 20, static_cast<std::uint32_t>(out.size()));
        StoreLittleEndian32(out, at + 36, s.flags);
        out.insert(out.end(), s.raw.begin(), s.raw.end());
        out.resize(AlignUp(out.size(), kBuiltFileAlignment), 0);
        initialized += i > 0 ? rawSize : 0;
        imageEnd = AlignUp(s.address + s.raw.size(), kBuiltSectionAlignment);
    }
    StoreLittleEndian32(out, optionalAt + 8, static_cast<std::uint32_t>(initialized));
    StoreLittleEndian32(out, optionalAt + 56, static_cast<std::uint32_t>(imageEnd));
    out.insert(out.end(), layout.overlay.begin(), layout.overlay.end());
    if (!layout.certificate.empty()) {
        out.resize(AlignUp(out.size(), 8), 0);
        StoreLittleEndian32(out, directoriesAt + 32, static_cast<std::uint32_t>(out.size()));
        StoreLittleEndian32(out, directoriesAt + 36,
                            static_cast<std::uint32_t>(layout.certificate.size()));
        out.insert(out.end(), layout.certificate.begin(), layout.certificate.end());
    }
    if (layout.checksum) {
        StoreLittleEndian32(out, optionalAt + 64, PeChecksum(out, optionalAt + 64));
    }
    return out;
}

// A template as installers have them: icon group 102 of three 16-pixel images, the images, and
// resources that must come through unchanged (a named one, another language, a version).
class IconTemplate {
public:
    IconTemplate() {
        AddResource(root, ResourceName::Id(kGroupIconResourceType),
                    ResourceName::Id(kInstallerIconGroup), kUsEnglish, group);
        for (int i = 0; i < 3; ++i) {
            AddResource(root, ResourceName::Id(kIconResourceType),
                        ResourceName::Id(static_cast<std::uint16_t>(i + 1)), kUsEnglish, icons[i]);
        }
        AddResource(root, ResourceName::Id(10), ResourceName{true, 0, u"NOTES"}, kUsEnglish, notes);
        AddResource(root, ResourceName::Id(10), ResourceName::Id(5), 1031, german);
        AddResource(root, ResourceName::Id(16), ResourceName::Id(1), kUsEnglish, version);
    }

    ResourceDirectory root;
    Bytes group = IconGroup(3, 16, 40);
    std::vector<Bytes> icons = {Bytes(40, 1), Bytes(40, 2), Bytes(40, 3)};
    Bytes notes = {'k', 'e', 'p', 't'};
    Bytes german = {'d', 'e', 0};
    Bytes version = Bytes(92, 0x56);
};

}  // namespace kestrova::testing
