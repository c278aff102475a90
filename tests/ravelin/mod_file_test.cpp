// .umod files: byte layouts against hand-built bytes, both forms, the sort, damaged files.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <numeric>
#include <random>

#include "tests/ravelin/mod_test_support.h"

namespace kestrova::testing {
namespace {

using ravelin::ModEntry;
using ravelin::ModLayout;
using ravelin::ModRecord;

ModEntry Entry(std::u16string file, std::u16string asset, std::uint32_t length,
               std::uint32_t offset, std::uint32_t index = 0) {
    ModEntry e;
    e.fileName = std::move(file);
    e.assetName = std::move(asset);
    e.type = 28;
    e.pathId = index;
    e.length = length;
    e.offset = offset;
    return e;
}

EntryBytes Stored(const ModEntry& e) {
    const auto pathId = static_cast<std::uint64_t>(e.pathId);
    return {e.fileName, e.assetName, e.type,    static_cast<std::uint32_t>(pathId),      e.length,
            e.offset,   e.member,    e.classId, static_cast<std::uint32_t>(pathId >> 32)};
}

class ModFileTest : public RavelinTest {
protected:
    Outcome Save(ModRecord& mod, const std::string& name = "out.umod") {
        return ravelin::SaveModAs(Wide(name), mod, files);
    }
    Outcome Open(const Bytes& bytes, ModRecord& mod) {
        WriteFile("in.umod", bytes);
        return ravelin::OpenMod(Wide("in.umod"), mod, files);
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& item : std::filesystem::directory_iterator(folder.path())) {
            names.push_back(item.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(ModFileTest, NewModSavedAtOnceHoldsTheInitialValuesAndNoPayload) {
    ModRecord mod;
    ASSERT_TRUE(Save(mod).ok);
    Bytes expected = ModFileBytes({u"not set", u"not set", u"not set", u"not set", u"not set", u"",
                                   u"not set", u"default", u""},
                                  {}, {});
    EXPECT_EQ(ReadFile("out.umod"), expected);
    ASSERT_TRUE(Save(mod, "again.umod").ok);
    EXPECT_EQ(ReadFile("again.umod"), expected);
    EXPECT_EQ(Names(), (std::vector<std::string>{"Temp", "again.umod", "out.umod"}));
}

TEST_F(ModFileTest, SaveSortsTheTableByFileNameAndCopiesTheDataFile) {
    Bytes data = ToBytes("bbbbbbbbbbbbaaaaaaaaAAAAAAAAzzzz");
    WriteFile("Temp/mod", data);
    ModRecord mod;
    mod.name = u"M\u00e9";
    mod.iconPath = u"/icons/m.ico";
    mod.entries = {Entry(u"b.assets", u"x", 12, 0, 1), Entry(u"a.assets", u"zz", 8, 12, 2),
                   Entry(u"a.assets", u"aa", 8, 20, 3), Entry(u"B.assets", u"q", 4, 28, 4)};
    ASSERT_TRUE(Save(mod).ok);
    // Upper case sorts before lower case; the two a.assets entries keep their order.
    std::vector<EntryBytes> table = {Stored(mod.entries[0]), Stored(mod.entries[1]),
                                     Stored(mod.entries[2]), Stored(mod.entries[3])};
    EXPECT_EQ(mod.entries[0].fileName, u"B.assets");
    EXPECT_EQ(mod.entries[1].assetName, u"zz");
    EXPECT_EQ(mod.entries[2].assetName, u"aa");
    EXPECT_EQ(mod.entries[3].fileName, u"b.assets");
    Bytes expected = ModFileBytes({u"M\u00e9", u"not set", u"not set", u"not set", u"not set", u"",
                                   u"not set", u"default", u"/icons/m.ico"},
                                  table, data);
    EXPECT_EQ(ReadFile("out.umod"), expected);
    EXPECT_EQ(DataFile(), data) << "saving never touches the data file";
}

// The sort is the stable exchange sort the file format was written with.
TEST(SortEntriesTest, MatchesAStableExchangeSort) {
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        ModRecord mod;
        std::size_t n = random() % 9;
        for (std::size_t i = 0; i < n; ++i) {
            std::u16string file(1 + random() % 2, u'a');
            for (char16_t& c : file) {
                c = u"aAb\u00e9"[random() % 4];
            }
            mod.entries.push_back(Entry(file, u"", 0, 0, static_cast<std::uint32_t>(i)));
        }
        std::vector<ModEntry> reference = mod.entries;
        for (bool swapped = true; swapped;) {
            swapped = false;
            for (std::size_t i = 0; i + 1 < reference.size(); ++i) {
                if (reference[i].fileName.compare(reference[i + 1].fileName) > 0) {
                    std::swap(reference[i], reference[i + 1]);
                    swapped = true;
                }
            }
        }
        ravelin::SortEntries(mod);
        ASSERT_EQ(mod.entries, reference) << "round " << round;
    }
}

TEST_F(ModFileTest, BothFormsOpenAndSavingWritesTheCurrentForm) {
    Bytes payload = ToBytes("0123456789AB");
    std::vector<EntryBytes> table = {{u"level0", u"Crosshair", 28, 5, 12, 0}};
    Bytes older = ModFileBytes(
        {u"Old", u"Ann", u"2012", u"1.0", u"Games/X/Data", u"mainData", u"d\r\ne", u"C:\\i.ico"},
        table, payload, ravelin::ModFormat::Older);
    ModRecord mod;
    ASSERT_TRUE(Open(older, mod).ok);
    EXPECT_EQ(mod.formatVersion, 1u);
    EXPECT_EQ(mod.installer, u"default");
    EXPECT_EQ(mod.iconPath, u"C:\\i.ico");
    EXPECT_EQ(mod.description, u"d\r\ne");
    ASSERT_EQ(mod.entries.size(), 1u);
    EXPECT_EQ(mod.entries[0].assetName, u"Crosshair");
    EXPECT_EQ(mod.entries[0].pathId, 5);
    EXPECT_EQ(DataFile(), payload);

    ASSERT_TRUE(Save(mod).ok);
    Bytes current = ModFileBytes({u"Old", u"Ann", u"2012", u"1.0", u"Games/X/Data", u"mainData",
                                  u"d\r\ne", u"default", u"C:\\i.ico"},
                                 table, payload);
    EXPECT_EQ(ReadFile("out.umod"), current);

    // Opening the current form and saving it gives the same bytes back.
    ModRecord again;
    ASSERT_TRUE(Open(current, again).ok);
    EXPECT_EQ(again, mod);
    ASSERT_TRUE(Save(again, "again.umod").ok);
    EXPECT_EQ(ReadFile("again.umod"), current);
}

// A payload longer than a chunk is copied a chunk at a time, each reported, and arrives whole.
TEST_F(ModFileTest, LongPayloadsReportEachChunkAndArriveWhole) {
    Bytes payload(kProgressChunk + 10);
    std::iota(payload.begin(), payload.end(), std::uint8_t{0});
    const Bytes bytes = ModFileBytes(
        {u"T", u"A", u"D", u"V", u"X", u"Y", u"Z", u"default", u"icon"},
        {{u"level0", u"Sky", 28, 1, static_cast<std::uint32_t>(payload.size()), 0}}, payload);
    WriteFile("in.umod", bytes);
    std::vector<std::string> seen;
    const ProgressCallback progress = [&](std::u16string_view text, float) {
        seen.push_back(Utf16ToUtf8(text));
    };
    ModRecord mod;
    ASSERT_TRUE(ravelin::OpenMod(Wide("in.umod"), mod, files, progress).ok);
    EXPECT_EQ(DataFile(), payload);
    std::FILE* out = std::fopen(folder.File("out.umod").c_str(), "wb");
    ASSERT_NE(out, nullptr);
    EXPECT_TRUE(ravelin::SaveMod(out, mod, files, progress).ok);
    std::fclose(out);
    EXPECT_EQ(ReadFile("out.umod"), bytes);
    EXPECT_EQ(seen, (std::vector<std::string>{"Reading the mod: (8/9 MiB)",
                                              "Writing the mod: (8/9 MiB)"}));
}

TEST_F(ModFileTest, AModAfterOtherBytesIsFoundFromItsStart) {
    Bytes program = ToBytes("MZ program image");
    Bytes mod = ModFileBytes({u"n", u"a", u"d", u"v", u"", u"", u"", u"fancy", u""},
                             {{u"f", u"g", 1, 2, 4, 0}}, ToBytes("DATA"));
    Bytes whole = program;
    whole.insert(whole.end(), mod.begin(), mod.end());
    ModRecord parsed;
    ModLayout layout;
    ASSERT_TRUE(ravelin::ParseMod(whole, program.size(), parsed, layout).ok);
    EXPECT_EQ(parsed.installer, u"fancy");
    EXPECT_EQ(layout.payloadStart, whole.size() - 4);
    EXPECT_EQ(layout.payloadLength, 4u);
    EXPECT_EQ(layout.format, ravelin::ModFormat::Current);
}

TEST_F(ModFileTest, DamagedFilesAreRefusedAndNothingIsReplaced) {
    Bytes payload = ToBytes("0123456789AB0123");
    const std::vector<EntryBytes> table = {
        {u"b.assets", u"x", 1, 1, 12, 4},
        {u"a.bundle", u"y", 2, 2, 4, 0, u"CAB-1", 28, 0x80000000}};
    const std::initializer_list<std::u16string_view> texts = {
        u"n", u"a", u"d", u"v", u"dir", u"", u"text", u"default", u""};
    Bytes good = ModFileBytes(texts, table, payload);
    Bytes extended = ModFileBytes(texts, table, payload, ravelin::ModFormat::Extended);
    ModRecord kept;
    kept.name = u"kept";
    kept.entries = {Entry(u"k.assets", u"k", 3, 0)};
    WriteFile("Temp/mod", ToBytes("old"));

    auto expectRefused = [&](const Bytes& bytes, const std::string& why) {
        ModRecord mod = kept;
        Outcome outcome = Open(bytes, mod);
        EXPECT_FALSE(outcome.ok) << why;
        EXPECT_FALSE(outcome.message.empty()) << why;
        EXPECT_EQ(mod, kept) << why;
        EXPECT_EQ(DataFile(), ToBytes("old")) << why;
    };
    // Every cut of the file runs a text, the count, a record or an entry's data past the end.
    for (const Bytes* whole : {&good, &extended}) {
        for (std::size_t cut = 0; cut < whole->size(); ++cut) {
            expectRefused(Bytes(whole->begin(), whole->begin() + static_cast<std::ptrdiff_t>(cut)),
                          "cut at " + std::to_string(cut) + " of " + std::to_string(whole->size()));
        }
    }
    const std::initializer_list<std::u16string_view> empty = {u"", u"", u"", u"", u"",
                                                              u"", u"", u"", u""};
    for (ravelin::ModFormat form : {ravelin::ModFormat::Current, ravelin::ModFormat::Extended}) {
        Bytes hugeCount = ModFileBytes(empty, {}, {}, form);
        std::fill(hugeCount.end() - 4, hugeCount.end(), 0xFF);
        expectRefused(hugeCount, "entry count 0xFFFFFFFF");
        expectRefused(
            ModFileBytes(empty, {{u"f", u"g", 0, 0, 5, 0xFFFFFFFE}}, ToBytes("12345"), form),
            "an entry's offset past the payload");
    }
    Bytes laterForm = extended;
    laterForm[0] = 3;
    expectRefused(laterForm, "the version word of a later form");
    Bytes hugeText = {1, 0, 0, 0, 0, 0, 0, 0x80, 'a', 0};
    expectRefused(hugeText, "a text of 2^31 characters");

    for (const Bytes* whole : {&good, &extended}) {
        ModRecord mod = kept;
        ASSERT_TRUE(Open(*whole, mod).ok);
        EXPECT_EQ(DataFile(), payload);
    }
    EXPECT_EQ(Names(), (std::vector<std::string>{"Temp", "in.umod"}));
}

// An entry of a later engine's file or of a bundle member needs the extended form; a mod of
// entries that all fit the version-1 form stays in it.
TEST_F(ModFileTest, EachEntrySurvivesSaveAndReopenInTheSmallestFormThatHoldsIt) {
    ModEntry member = Entry(u"level.bundle", u"Hero", 4, 4, 0);
    member.member = u"CAB-5f3c";
    member.pathId = -5717498367417880155;
    member.classId = 28;
    ModEntry classOnly = Entry(u"level0", u"", 4, 4, 7);
    classOnly.classId = 114;
    auto withPathId = [](std::int64_t pathId) {
        ModEntry e = Entry(u"level0", u"x", 4, 4);
        e.pathId = pathId;
        return e;
    };
    const struct {
        ModEntry entry;
        ravelin::ModFormat form;
    } cases[] = {
        {withPathId(0xFFFFFFFF), ravelin::ModFormat::Current},
        {withPathId(0), ravelin::ModFormat::Current},
        {withPathId(std::int64_t{1} << 32), ravelin::ModFormat::Extended},
        {withPathId(-1), ravelin::ModFormat::Extended},
        {member, ravelin::ModFormat::Extended},
        {classOnly, ravelin::ModFormat::Extended},
    };
    WriteFile("Temp/mod", ToBytes("AAAABBBB"));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        ModRecord mod;
        mod.entries = {Entry(u"a.assets", u"plain", 4, 0, 3), cases[i].entry};
        ASSERT_TRUE(Save(mod).ok) << "case " << i;
        const Bytes saved = ReadFile("out.umod");
        ModRecord parsed;
        ModLayout layout;
        ASSERT_TRUE(ravelin::ParseMod(saved, 0, parsed, layout).ok) << "case " << i;
        EXPECT_EQ(layout.format, cases[i].form) << "case " << i;
        EXPECT_EQ(parsed, mod) << "case " << i;
        std::vector<EntryBytes> table;
        for (const ModEntry& e : mod.entries) {
            table.push_back(Stored(e));
        }
        EXPECT_EQ(saved, ModFileBytes({u"not set", u"not set", u"not set", u"not set", u"not set",
                                       u"", u"not set", u"default", u""},
                                      table, ToBytes("AAAABBBB"), cases[i].form))
            << "case " << i;
    }
}

TEST_F(ModFileTest, LongTextsAreCutToTheirFieldsAndReadingGoesOn) {
    std::u16string longName(300, u'n');
    std::u16string longDescription(5000, u'd');
    std::u16string longFile(200, u'f');
    Bytes bytes = ModFileBytes({longName, u"a", u"d", u"v", std::u16string(600, u'p'), u"",
                                longDescription, std::u16string(u"inst\0after", 10), u""},
                               {{longFile, u"asset", 3, 4, 1, 0}}, ToBytes("z"));
    ModRecord mod;
    ASSERT_TRUE(Open(bytes, mod).ok);
    EXPECT_EQ(mod.name, std::u16string(127, u'n'));
    EXPECT_EQ(mod.directory, std::u16string(511, u'p'));
    EXPECT_EQ(mod.description, std::u16string(2047, u'd'));
    EXPECT_EQ(mod.installer, u"inst") << "a text ends at its first zero";
    ASSERT_EQ(mod.entries.size(), 1u);
    EXPECT_EQ(mod.entries[0].fileName, std::u16string(127, u'f'));
    EXPECT_EQ(mod.entries[0].assetName, u"asset");
    EXPECT_EQ(mod.entries[0].pathId, 4);
}

TEST_F(ModFileTest, AFailedSaveLeavesTheTargetAsItWas) {
    WriteFile("out.umod", ToBytes("keep me"));
    ModRecord mod;
    mod.entries = {Entry(u"a.assets", u"x", 10, 0)};  // no data file holds its bytes
    Outcome outcome = Save(mod);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(ReadFile("out.umod"), ToBytes("keep me"));
    EXPECT_FALSE(Save(mod, "missing/out.umod").ok);
    EXPECT_EQ(Names(), (std::vector<std::string>{"Temp", "out.umod"}));
}

}  // namespace
}  // namespace kestrova::testing
