// Reads arbitrary bytes as a program file and replaces its icons, as packaging does. Whatever is
// replaced must give a program that reads again, with the new images as its icons 1 and 2 and
// its image ending where the rebuilt file says; and where an installer would look for its mod
// must lie inside the file.

#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "installer/core/mod_apply.h"
#include "pe/pe_resources.h"

namespace {

using namespace kestrova::ravelin;

const ResourceEntry* Icon(ResourceDirectory& root, std::uint16_t id) {
    ResourceEntry* type = root.Find(ResourceName::Id(kIconResourceType));
    ResourceEntry* name =
        type && type->directory ? type->directory->Find(ResourceName::Id(id)) : nullptr;
    return name && name->directory ? name->directory->Find(ResourceName::Id(kUsEnglish)) : nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    if (auto start = kestrova::installer::AppendedModStart(input); start && *start > size) {
        std::abort();
    }
    static const std::vector<std::uint8_t> first(40, 0x11);
    static const std::vector<std::uint8_t> second(1000, 0x22);
    const IconImage images[] = {{16, 16, 0, 1, 32, first}, {32, 32, 0, 1, 32, second}};
    std::vector<std::uint8_t> program(data, data + size);
    IconReplacement report;
    if (!ReplaceInstallerIcons(program, images, report) || report.replaced == 0) {
        if (!std::equal(program.begin(), program.end(), data, data + size)) {
            std::abort();  // a skipped or refused step changes nothing
        }
        return 0;
    }
    PeImage image;
    ResourceTree tree;
    if (!ReadPeImage(program, image) || !ReadResourceTree(program, image, tree) ||
        image.imageEnd > program.size()) {
        std::abort();
    }
    for (std::uint16_t id = 1; id <= report.replaced; ++id) {
        const ResourceEntry* icon = Icon(tree.root, id);
        const std::vector<std::uint8_t>& expected = id == 1 ? first : second;
        if (icon == nullptr ||
            !std::equal(icon->data.begin(), icon->data.end(), expected.begin(), expected.end())) {
            std::abort();
        }
    }
    return 0;
}
