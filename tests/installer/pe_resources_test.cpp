// Replacing an installer's icons on built program files of every layout the rebuild handles:
// every resource read back, the headers checked against the sections, and the cases in which the
// step is skipped or refused.

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "common/text.h"
#include "tests/installer/pe_builder.h"

namespace kestrova::testing {
namespace {

using Result = IconReplacement::Result;

std::string Key(const ResourceName& name) {
    return name.isText ? Utf16ToUtf8(name.text) : std::to_string(name.id);
}

// Every resource of a program as "type/name/language" and its bytes, read with the reader under
// test; the test fails when the program cannot be read.
std::map<std::string, Bytes> Resources(const Bytes& program) {
    PeImage image;
    ResourceTree tree;
    Outcome o = ReadPeImage(program, image);
    if (o) {
        o = ReadResourceTree(program, image, tree);
    }
    EXPECT_TRUE(o.ok) << Utf16ToUtf8(o.message);
    std::map<std::string, Bytes> out;
    for (const ResourceEntry& type : tree.root.entries) {
        for (const ResourceEntry& name : type.directory->entries) {
            for (const ResourceEntry& language : name.directory->entries) {
                out[Key(type.name) + "/" + Key(name.name) + "/" + Key(language.name)] =
                    Bytes(language.data.begin(), language.data.end());
            }
        }
    }
    return out;
}

std::string IconKey(int id) {
    return "3/" + std::to_string(id) + "/1033";
}
const std::string kGroupKey = "14/102/1033";

// The headers agree with the sections: the image size covers every section, every section's
// data lies in the file, the resources are the last section in memory and in the file, and
// nothing follows the image but `after`.
void ExpectConsistentImage(const Bytes& program, const Bytes& after = {}) {
    PeImage image;
    ASSERT_TRUE(ReadPeImage(program, image).ok);
    std::uint64_t highest = 0;
    for (const PeSection& s : image.sections) {
        highest = std::max(highest, s.VirtualEnd());
        EXPECT_EQ(s.rawPointer % image.fileAlignment, 0u);
        EXPECT_EQ(s.rawSize % image.fileAlignment, 0u);
    }
    EXPECT_EQ(image.sizeOfImage, AlignUp(highest, image.sectionAlignment));
    const PeSection* resources =
        image.SectionHolding(image.Directory(kResourceDirectory).address, 0);
    ASSERT_NE(resources, nullptr);
    EXPECT_EQ(resources->VirtualEnd(), highest);
    EXPECT_EQ(resources->RawEnd(), image.rawEnd);
    EXPECT_EQ(resources->virtualSize, image.Directory(kResourceDirectory).size);
    EXPECT_EQ(image.imageEnd, program.size() - after.size());
    EXPECT_TRUE(std::equal(after.begin(), after.end(), program.end() - after.size()));
    if (image.checkSum != 0) {
        EXPECT_EQ(image.checkSum, PeChecksum(program, image.CheckSumAt()));
    }
}

struct LayoutCase {
    const char* name;
    bool pe32Plus;
    bool relocationsAfter;
};
void PrintTo(const LayoutCase& c, std::ostream* out) {
    *out << c.name;
}

class IconLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(IconLayoutTest, ReplacesTheIconsAndKeepsEveryOtherResource) {
    IconTemplate t;
    PeLayout layout;
    layout.pe32Plus = GetParam().pe32Plus;
    layout.relocationsAfterResources = GetParam().relocationsAfter;
    layout.checksum = true;
    const Bytes before = BuildPe(layout, t.root);
    const std::vector<std::uint32_t> sizes = {16, 32, 48};
    const std::vector<Bytes> bitmaps = IconBitmaps(sizes, 7);
    const std::vector<IconImage> images = IconImages(bitmaps, sizes);

    Bytes program = before;
    IconReplacement report;
    ASSERT_TRUE(ReplaceInstallerIcons(program, images, report).ok);
    EXPECT_EQ(report.result, Result::Replaced);
    EXPECT_EQ(report.replaced, 3u);

    std::map<std::string, Bytes> old = Resources(before);
    std::map<std::string, Bytes> now = Resources(program);
    ASSERT_EQ(now.size(), old.size());
    for (const auto& [key, bytes] : old) {
        if (key.rfind("3/", 0) != 0 && key != kGroupKey) {
            EXPECT_EQ(now[key], bytes) << key;
        }
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(now[IconKey(i + 1)], bitmaps[i]);
    }
    Bytes expectedGroup = t.group;
    for (int i = 0; i < 3; ++i) {
        expectedGroup[6 + 14 * i] = static_cast<std::uint8_t>(sizes[i]);
        expectedGroup[6 + 14 * i + 1] = static_cast<std::uint8_t>(sizes[i]);
        StoreLittleEndian32(expectedGroup, 6 + 14 * i + 8,
                            static_cast<std::uint32_t>(bitmaps[i].size()));
    }
    EXPECT_EQ(now[kGroupKey], expectedGroup);

    ExpectConsistentImage(program);
    PeImage was;
    PeImage is;
    ReadPeImage(before, was);
    ReadPeImage(program, is);
    if (GetParam().relocationsAfter) {
        // A new last section; everything that was there stays where it was, byte for byte.
        ASSERT_EQ(is.sections.size(), was.sections.size() + 1);
        EXPECT_TRUE(std::equal(before.begin() + was.sizeOfHeaders, before.end(),
                               program.begin() + was.sizeOfHeaders));
        for (std::size_t i = 0; i < was.sections.size(); ++i) {
            EXPECT_EQ(is.sections[i].rawPointer, was.sections[i].rawPointer);
            EXPECT_EQ(is.sections[i].virtualAddress, was.sections[i].virtualAddress);
        }
    } else {
        // Rebuilt in place: the same sections, the code before the resources unchanged.
        ASSERT_EQ(is.sections.size(), was.sections.size());
        const std::uint32_t resourcesAt = was.sections.back().rawPointer;
        EXPECT_TRUE(std::equal(before.begin() + was.sizeOfHeaders, before.begin() + resourcesAt,
                               program.begin() + was.sizeOfHeaders));
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, IconLayoutTest,
                         ::testing::Values(LayoutCase{"Pe32Last", false, false},
                                           LayoutCase{"Pe32PlusLast", true, false},
                                           LayoutCase{"Pe32FollowedByRelocations", false, true},
                                           LayoutCase{"Pe32PlusFollowedByRelocations", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(IconReplacement, ImagesBeyondTheGroupAreIgnoredAndMissingOnesKeepTheTemplates) {
    IconTemplate t;
    const Bytes before = BuildPe({}, t.root);
    const std::vector<std::uint32_t> five = {16, 20, 24, 28, 32};
    const std::vector<Bytes> bitmaps = IconBitmaps(five, 3);

    Bytes program = before;
    IconReplacement report;
    ASSERT_TRUE(ReplaceInstallerIcons(program, IconImages(bitmaps, five), report).ok);
    EXPECT_EQ(report.replaced, 3u);
    std::map<std::string, Bytes> now = Resources(program);
    EXPECT_EQ(now.count(IconKey(4)), 0u);
    EXPECT_EQ(now[IconKey(3)], bitmaps[2]);

    program = before;
    const std::vector<std::uint32_t> one = {64};
    ASSERT_TRUE(ReplaceInstallerIcons(program, IconImages({bitmaps[0]}, one), report).ok);
    EXPECT_EQ(report.replaced, 1u);
    now = Resources(program);
    EXPECT_EQ(now[IconKey(1)], bitmaps[0]);
    EXPECT_EQ(now[IconKey(2)], t.icons[1]);
    EXPECT_EQ(now[IconKey(3)], t.icons[2]);
    // Only the first group entry describes a new image.
    EXPECT_EQ(now[kGroupKey][6], 64);
    EXPECT_TRUE(std::equal(t.group.begin() + 20, t.group.end(), now[kGroupKey].begin() + 20));
    ExpectConsistentImage(program);
}

TEST(IconReplacement, IconResourcesTheGroupNamesAreAddedWhenMissing) {
    ResourceDirectory root;
    const Bytes group = IconGroup(2, 32, 100);
    AddResource(root, ResourceName::Id(kGroupIconResourceType),
                ResourceName::Id(kInstallerIconGroup), 0, group);
    Bytes program = BuildPe({}, root);
    const std::vector<std::uint32_t> sizes = {32, 32};
    const std::vector<Bytes> bitmaps = IconBitmaps(sizes, 9);
    IconReplacement report;
    ASSERT_TRUE(ReplaceInstallerIcons(program, IconImages(bitmaps, sizes), report).ok);
    std::map<std::string, Bytes> now = Resources(program);
    EXPECT_EQ(now[IconKey(1)], bitmaps[0]);
    EXPECT_EQ(now[IconKey(2)], bitmaps[1]);
    EXPECT_EQ(now.size(), 3u);
}

// Addresses map to file positions only inside a section's memory and its data in the file. Found
// by fuzzing: an empty section at the same address as the resources took their place.
TEST(PeImage, AddressesMapOnlyIntoSectionsThatHoldThem) {
    PeImage image;
    image.sections.push_back({{}, 0, 0x3000, 0, 0, 0});             // nothing at 0x3000
    image.sections.push_back({{}, 0x80, 0x3000, 0x200, 0x400, 0});  // 0x80 bytes at 0x3000
    EXPECT_EQ(image.FilePosition(0x3000, 0x10), 0x400u);
    EXPECT_EQ(image.FilePosition(0x3000, 0), 0x400u);
    EXPECT_EQ(image.FilePosition(0x3070, 0x10), 0x470u);
    EXPECT_EQ(image.FilePosition(0x3080, 0), 0x480u);  // empty, at the very end
    EXPECT_FALSE(image.FilePosition(0x3070, 0x11));    // past the section's memory
    EXPECT_FALSE(image.FilePosition(0x2FFF, 1));
    image.sections[1].rawSize = 0x40;
    EXPECT_FALSE(image.FilePosition(0x3030, 0x20));  // past its data in the file
    // A section that holds the address in memory but not in the file does not hold it.
    image.sections[0] = {{}, 0x1000, 0x3000, 0, 0x800, 0};
    EXPECT_EQ(image.SectionHolding(0x3000, 0x10), &image.sections[1]);
}

// Found by fuzzing: the rebuilt section ended exactly where an empty resource's data begins, and
// that position was taken to lie outside the section.
TEST(IconReplacement, AnEmptyResourceAtTheEndOfTheSectionReadsBack) {
    IconTemplate t;
    const Bytes empty;
    AddResource(t.root, ResourceName::Id(24), ResourceName::Id(1), kUsEnglish, empty);
    Bytes program = BuildPe({}, t.root);
    const std::vector<std::uint32_t> sizes = {32};
    const std::vector<Bytes> bitmaps = IconBitmaps(sizes, 6);
    IconReplacement report;
    ASSERT_TRUE(ReplaceInstallerIcons(program, IconImages(bitmaps, sizes), report).ok);
    EXPECT_EQ(Resources(program).at("24/1/1033"), empty);
}

TEST(IconReplacement, ChecksumIsRecomputedOnlyWhenTheTemplateHadOne) {
    IconTemplate t;
    const std::vector<std::uint32_t> sizes = {48};
    const std::vector<Bytes> bitmaps = IconBitmaps(sizes, 1);
    for (bool checksum : {false, true}) {
        PeLayout layout;
        layout.checksum = checksum;
        Bytes program = BuildPe(layout, t.root);
        IconReplacement report;
        ASSERT_TRUE(ReplaceInstallerIcons(program, IconImages(bitmaps, sizes), report).ok);
        PeImage image;
        ASSERT_TRUE(ReadPeImage(program, image).ok);
        EXPECT_EQ(image.checkSum, checksum ? PeChecksum(program, image.CheckSumAt()) : 0u);
        EXPECT_NE(image.checkSum == 0, checksum);
    }
}

TEST(IconReplacement, CertificateIsDroppedAndBytesAfterTheImageStay) {
    IconTemplate t;
    for (bool relocationsAfter : {false, true}) {
        PeLayout layout;
        layout.relocationsAfterResources = relocationsAfter;
        layout.overlay = {'o', 'v', 'e', 'r', 'l', 'a', 'y'};
        layout.certificate = Bytes(24, 0xCE);
        Bytes program = BuildPe(layout, t.root);
        const std::vector<std::uint32_t> sizes = {16};
        const std::vector<Bytes> bitmaps = IconBitmaps(sizes, 5);
        IconReplacement report;
        ASSERT_TRUE(ReplaceInstallerIcons(program, IconImages(bitmaps, sizes), report).ok);
        PeImage image;
        ASSERT_TRUE(ReadPeImage(program, image).ok);
        EXPECT_EQ(image.Directory(kCertificateDirectory).address, 0u);
        EXPECT_EQ(image.Directory(kCertificateDirectory).size, 0u);
        EXPECT_EQ(std::count(program.end() - 24, program.end(), 0xCE), 0);
        // The overlay now follows the rebuilt image (and the padding the certificate needed).
        ExpectConsistentImage(
            program,
            Bytes(program.begin() + static_cast<std::ptrdiff_t>(image.rawEnd), program.end()));
        EXPECT_TRUE(std::equal(layout.overlay.begin(), layout.overlay.end(),
                               program.begin() + static_cast<std::ptrdiff_t>(image.rawEnd)));
    }
}

TEST(IconReplacement, ProgramsWithoutAUsableIconGroupAreLeftAsTheyAre) {
    const std::vector<std::uint32_t> sizes = {16};
    const std::vector<Bytes> bitmaps = IconBitmaps(sizes, 2);
    const std::vector<IconImage> images = IconImages(bitmaps, sizes);
    auto expectSkipped = [&](const Bytes& original, Result expected) {
        Bytes program = original;
        IconReplacement report;
        ASSERT_TRUE(ReplaceInstallerIcons(program, images, report).ok);
        EXPECT_EQ(report.result, expected);
        EXPECT_EQ(report.replaced, 0u);
        EXPECT_FALSE(report.why.empty());
        EXPECT_EQ(program, original);
    };
    expectSkipped(Bytes(4096, 'x'), Result::NotAProgram);
    expectSkipped({'M', 'Z'}, Result::NotAProgram);

    ResourceDirectory noGroup;
    const Bytes icon(40, 1);
    AddResource(noGroup, ResourceName::Id(kIconResourceType), ResourceName::Id(1), kUsEnglish,
                icon);
    expectSkipped(BuildPe({}, noGroup), Result::NoIconGroup);

    ResourceDirectory shortGroup;
    const Bytes stub = {0, 0, 1, 0};
    AddResource(shortGroup, ResourceName::Id(kGroupIconResourceType),
                ResourceName::Id(kInstallerIconGroup), kUsEnglish, stub);
    expectSkipped(BuildPe({}, shortGroup), Result::NoIconGroup);

    // The root's first entry pointing back to the root itself: refused, not followed forever.
    IconTemplate t;
    Bytes looped = BuildPe({}, t.root);
    PeImage image;
    ASSERT_TRUE(ReadPeImage(looped, image).ok);
    const std::uint64_t root = *image.FilePosition(image.Directory(kResourceDirectory).address, 16);
    StoreLittleEndian32(looped, root + 16 + 4, 0x80000000u);
    expectSkipped(looped, Result::NotAProgram);

    // Sections that share addresses (found by fuzzing: the rebuilt resources grew over another).
    Bytes overlapping = BuildPe({}, t.root);
    ASSERT_TRUE(ReadPeImage(overlapping, image).ok);
    StoreLittleEndian32(overlapping, image.SectionHeaderAt(0) + 12, 0x2100);
    expectSkipped(overlapping, Result::NotAProgram);

    // A file alignment of 256 MiB (found by fuzzing: the new section's padding took gigabytes).
    Bytes padded = BuildPe({}, t.root);
    ASSERT_TRUE(ReadPeImage(padded, image).ok);
    StoreLittleEndian32(padded, image.optionalHeaderAt + 36, 0x10000000u);
    expectSkipped(padded, Result::NotAProgram);
}

TEST(IconReplacement, NoRoomForANewSectionHeaderIsAFailureThatChangesNothing) {
    IconTemplate t;
    PeLayout layout;
    layout.relocationsAfterResources = true;
    layout.sizeOfHeaders = 0x40 + 24 + 240 + 3 * 40;  // the section table fills the headers
    const Bytes original = BuildPe(layout, t.root);
    Bytes program = original;
    const std::vector<std::uint32_t> sizes = {16};
    const std::vector<Bytes> bitmaps = IconBitmaps(sizes, 2);
    IconReplacement report;
    Outcome o = ReplaceInstallerIcons(program, IconImages(bitmaps, sizes), report);
    EXPECT_FALSE(o.ok);
    EXPECT_NE(Utf16ToUtf8(o.message).find("section header"), std::string::npos);
    EXPECT_EQ(program, original);
}

TEST(IconReplacement, EveryTruncationOfAProgramIsHandled) {
    IconTemplate t;
    PeLayout layout;
    layout.relocationsAfterResources = true;
    const Bytes whole = BuildPe(layout, t.root);
    const std::vector<std::uint32_t> sizes = {16};
    const std::vector<Bytes> bitmaps = IconBitmaps(sizes, 4);
    for (std::size_t n = 0; n < whole.size(); n += 7) {
        Bytes program(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
        IconReplacement report;
        Outcome o = ReplaceInstallerIcons(program, IconImages(bitmaps, sizes), report);
        if (o && report.replaced > 0) {
            ExpectConsistentImage(program);
        }
    }
}

TEST(IconFile, ImagesComeBackAsWrittenAndDamagedFilesAreRefused) {
    const std::vector<std::uint32_t> sizes = {16, 256, 32};
    const std::vector<Bytes> bitmaps = IconBitmaps(sizes, 8);
    const std::vector<IconImage> written = IconImages(bitmaps, sizes);
    const Bytes file = WriteIconFile(written);
    std::vector<IconImage> read;
    ASSERT_TRUE(ReadIconFile(file, read).ok);
    ASSERT_EQ(read.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(Bytes(read[i].bytes.begin(), read[i].bytes.end()), bitmaps[i]);
        EXPECT_EQ(read[i].width, written[i].width);
        EXPECT_EQ(read[i].bitCount, 32);
    }

    auto refused = [](Bytes bytes) {
        std::vector<IconImage> images;
        Outcome o = ReadIconFile(bytes, images);
        return !o.ok && images.empty() && !o.message.empty();
    };
    EXPECT_TRUE(refused(Bytes(file.begin(), file.end() - 1)));  // the last image is cut
    EXPECT_TRUE(refused(Bytes(file.begin(), file.begin() + 20)));
    EXPECT_TRUE(refused(Bytes(file.begin(), file.begin() + 5)));
    Bytes cursor = file;
    cursor[2] = 2;
    EXPECT_TRUE(refused(cursor));
    Bytes farOffset = file;
    StoreLittleEndian32(farOffset, 6 + 12, 0xFFFFFFF0u);
    EXPECT_TRUE(refused(farOffset));
    Bytes empty = file;
    StoreLittleEndian32(empty, 6 + 8, 0);
    EXPECT_TRUE(refused(empty));
}

}  // namespace
}  // namespace kestrova::testing
