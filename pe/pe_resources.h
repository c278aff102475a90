#pragma once
// The resources of a Windows program file as a tree (type, name, language, as Windows uses it;
// any depth is read), and the replacement of an installer's icons, done on the file's bytes: the
// resource section is rebuilt with the new icon images and every other resource kept byte for
// byte. The rebuilt section replaces the old one in place when it is the program's last section
// and holds nothing else; otherwise it is added as a new last section and the resource directory
// points to it.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "common/outcome.h"
#include "pe/ico_file.h"
#include "pe/pe_image.h"

namespace kestrova::ravelin {

inline constexpr std::uint16_t kIconResourceType = 3;        // one icon image
inline constexpr std::uint16_t kGroupIconResourceType = 14;  // an icon's directory of images
inline constexpr std::uint16_t kInstallerIconGroup = 102;
inline constexpr std::uint16_t kUsEnglish = 1033;

// A resource directory entry's name: a number or a text.
struct ResourceName {
    bool isText = false;
    std::uint16_t id = 0;
    std::u16string text;

    static ResourceName Id(std::uint16_t id) { return {false, id, {}}; }
    bool operator==(const ResourceName&) const = default;
};

struct ResourceDirectory;

struct ResourceEntry {
    ResourceName name;
    std::unique_ptr<ResourceDirectory> directory;  // set for a directory, null for data
    std::span<const std::uint8_t> data;            // the resource's bytes (a leaf)
    std::uint32_t codePage = 0;
    std::uint32_t reserved = 0;
};

struct ResourceDirectory {
    std::uint32_t characteristics = 0;
    std::uint32_t timeDateStamp = 0;
    std::uint16_t majorVersion = 0;
    std::uint16_t minorVersion = 0;
    // Entries named by text come before those named by number; each kind keeps the program's order.
    std::vector<ResourceEntry> entries;

    ResourceEntry* Find(const ResourceName& name);
    // The entry of `name`, made (in its sorted place) when missing, with a sub-directory when
    // `directory` is set.
    ResourceEntry& FindOrAdd(const ResourceName& name, bool directory);
};

struct ResourceTree {
    ResourceDirectory root;
    // How far the tree reaches from the start of the resource directory, in bytes.
    std::uint64_t extent = 0;
};

// Reads the resource tree of `file` (whose headers `image` holds). A program without resources
// gives an empty tree. Data views point into `file`.
Outcome ReadResourceTree(std::span<const std::uint8_t> file, const PeImage& image,
                         ResourceTree& tree);

// The bytes of a resource section that holds `root`, for the address `address` of its first
// byte: the directory tables, the data entries, the names and the data, each aligned.
std::vector<std::uint8_t> WriteResourceSection(const ResourceDirectory& root,
                                               std::uint32_t address);

// What the icon step did.
struct IconReplacement {
    enum class Result {
        Replaced,     // `replaced` icon images were replaced
        NotAProgram,  // the template is not a readable program: its icons stay
        NoIconGroup,  // it has no icon group 102: its icons stay
    };
    Result result = Result::Replaced;
    std::size_t replaced = 0;
    std::u16string why;  // for a skipped step, the reason in words
};

// Replaces the icon images of an installer program: N is the image count of its icon group 102
// (any language); icon resources 1 ... min(N, number of images) in language 1033 get the images
// in file order, and the group's entries for those resources take the new images' sizes, colour
// depths and byte counts; every other resource stays as it was. The headers follow
// the rebuilt resource section (section sizes, the image size, the resource directory, the
// checksum when the program had one); a certificate table is dropped, since no signature holds
// for the changed file. A program that cannot be read, or that has no icon group 102, is left
// unchanged and the step reported as skipped. Fails (leaving `program` unchanged) when the
// program has no room for another section header or would grow beyond 4 GiB.
Outcome ReplaceInstallerIcons(std::vector<std::uint8_t>& program, std::span<const IconImage> icons,
                              IconReplacement& report);

}  // namespace kestrova::ravelin
