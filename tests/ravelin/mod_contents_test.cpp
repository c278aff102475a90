// A mod's data file: the layout of each entry's data, duplicates, failed writes, and removal
// against a model that knows every entry's bytes, through sorts and opens.

#include <map>
#include <random>

#include "plugins/ravelin/core/mod_contents.h"
#include "tests/ravelin/mod_test_support.h"

namespace kestrova::testing {
namespace {

using ravelin::ModRecord;
using ravelin::PendingAsset;

PendingAsset Pending(std::u16string file, std::u16string name, std::uint32_t index, Bytes body,
                     std::uint32_t type = 28) {
    PendingAsset p;
    p.fileName = std::move(file);
    p.assetName = std::move(name);
    p.pathId = index;
    p.type = type;
    p.payload = std::move(body);
    return p;
}

class ModContentsTest : public RavelinTest {
protected:
    Outcome Add(const PendingAsset& p) { return ravelin::AddPendingAsset(mod, p, files); }
    ModRecord mod;
};

TEST_F(ModContentsTest, EntryDataIsPrefixBodyAndPadding) {
    ASSERT_TRUE(Add(Pending(u"a.assets", u"unnamed asset", 1, Bytes(10, 0xAA))).ok);
    ASSERT_TRUE(Add(Pending(u"a.assets", u"Hello", 2, Bytes(10, 0xBB))).ok);
    ASSERT_TRUE(Add(Pending(u"a.assets", u"Four", 3, Bytes(4, 0xCC))).ok);
    ASSERT_TRUE(Add(Pending(u"a.assets", u"A\u0100BCDE", 4, {})).ok);
    Bytes expected(10, 0xAA);
    expected.insert(expected.end(), {0, 0, 5, 0, 0, 0, 'H', 'e', 'l', 'l', 'o', 0, 0, 0});
    expected.insert(expected.end(), 10, 0xBB);
    expected.insert(expected.end(), {0, 0, 4, 0, 0, 0, 'F', 'o', 'u', 'r', 0xCC, 0xCC, 0xCC, 0xCC});
    // Conversion stops at the first character above U+00FF; zeros stand for the rest.
    expected.insert(expected.end(), {6, 0, 0, 0, 'A', 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(DataFile(), expected);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> placed;
    for (const auto& e : mod.entries) {
        placed.emplace_back(e.offset, e.length);
    }
    EXPECT_EQ(placed, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{
                          {0, 12}, {12, 24}, {36, 12}, {48, 12}}));
    EXPECT_EQ(mod.entries[1].type, 28u);
    EXPECT_EQ(mod.entries[1].pathId, 2u);
    EXPECT_EQ(mod.entries[1].assetName, u"Hello");
}

TEST_F(ModContentsTest, DuplicatesAreRefusedAndFailedWritesAddNothing) {
    ASSERT_TRUE(Add(Pending(u"a.assets", u"x", 5, {1, 2, 3})).ok);
    Bytes data = DataFile();
    Outcome again = Add(Pending(u"a.assets", u"other name", 5, {9}));
    EXPECT_FALSE(again.ok);
    EXPECT_EQ(again.message, u"Asset already exists in mod.");
    EXPECT_TRUE(Add(Pending(u"b.assets", u"x", 5, {1})).ok) << "same path id, other file";
    EXPECT_TRUE(Add(Pending(u"A.assets", u"x", 5, {1})).ok) << "file names compare by case";
    // Names are compared as they are stored: cut to 127 characters.
    std::u16string longName(200, u'L');
    ASSERT_TRUE(Add(Pending(longName, u"x", 1, {1})).ok);
    EXPECT_EQ(mod.entries.back().fileName.size(), 127u);
    EXPECT_FALSE(Add(Pending(longName.substr(0, 150), u"x", 1, {1})).ok);
    ASSERT_EQ(mod.entries.size(), 4u);

    ModRecord before = mod;
    data = DataFile();
    files.data = Wide("missing/mod");
    Outcome failed = Add(Pending(u"c.assets", u"y", 6, {1, 2}));
    EXPECT_FALSE(failed.ok);
    EXPECT_NE(failed.message, u"Asset already exists in mod.");
    EXPECT_EQ(mod, before);
}

TEST_F(ModContentsTest, RemovingTheOnlyEntryLeavesAnEmptyDataFile) {
    ASSERT_TRUE(Add(Pending(u"a.assets", u"x", 5, {1, 2, 3})).ok);
    ASSERT_TRUE(ravelin::RemoveEntry(mod, 0, files).ok);
    EXPECT_TRUE(mod.entries.empty());
    EXPECT_TRUE(Exists("Temp/mod"));
    EXPECT_TRUE(DataFile().empty());
    EXPECT_FALSE(Exists("Temp/mod2"));
    EXPECT_FALSE(ravelin::RemoveEntry(mod, 0, files).ok);
    ASSERT_TRUE(Add(Pending(u"a.assets", u"y", 6, {1})).ok);
    EXPECT_EQ(mod.entries[0].offset, 0u);
}

// Random adds, removals, saves (which sort) and opens (whose payload may be in any order): every
// entry's data stays the bytes it was added with, and a removal packs the data in table order.
TEST_F(ModContentsTest, EveryEntryKeepsItsDataThroughRemovalsSortsAndOpens) {
    std::mt19937 random(11);
    std::map<std::pair<std::u16string, std::int64_t>, Bytes> expected;
    auto key = [](const ravelin::ModEntry& e) { return std::make_pair(e.fileName, e.pathId); };
    auto check = [&](const std::string& step) {
        Bytes data = DataFile();
        ASSERT_EQ(mod.entries.size(), expected.size()) << step;
        for (const auto& e : mod.entries) {
            ASSERT_LE(std::uint64_t{e.offset} + e.length, data.size()) << step;
            Bytes stored(data.begin() + e.offset, data.begin() + e.offset + e.length);
            ASSERT_EQ(stored, expected.at(key(e))) << step;
        }
    };
    for (int step = 0; step < 120; ++step) {
        int action = static_cast<int>(random() % 6);
        if (action <= 2 || mod.entries.empty()) {
            std::u16string file = u"f" + std::u16string(1, u"cab"[random() % 3]) + u".assets";
            auto index = static_cast<std::uint32_t>(random() % 5);
            Bytes body(random() % 9);
            for (auto& b : body) {
                b = static_cast<std::uint8_t>(random());
            }
            std::u16string name = random() % 2 ? u"unnamed asset" : u"n" + file;
            if (Add(Pending(file, name, index, body)).ok) {
                Bytes data = DataFile();
                expected[{file, index}] = Bytes(data.end() - mod.entries.back().length, data.end());
            }
        } else if (action == 3) {
            std::size_t position = random() % mod.entries.size();
            expected.erase(key(mod.entries[position]));
            ASSERT_TRUE(ravelin::RemoveEntry(mod, position, files).ok);
            std::uint64_t total = 0;
            for (const auto& e : mod.entries) {
                ASSERT_EQ(e.offset, total) << "packed in table order";
                total += e.length;
            }
            ASSERT_EQ(DataFile().size(), total);
        } else if (action == 4) {
            ASSERT_TRUE(ravelin::SaveModAs(Wide("saved.umod"), mod, files).ok);
        } else {
            // A mod file whose payload holds the entries back to front, with a gap.
            std::vector<EntryBytes> table;
            Bytes payload = {0xEE, 0xEE};
            for (auto it = mod.entries.rbegin(); it != mod.entries.rend(); ++it) {
                table.push_back({it->fileName, it->assetName, it->type,
                                 static_cast<std::uint32_t>(it->pathId), it->length,
                                 static_cast<std::uint32_t>(payload.size())});
                const Bytes& bytes = expected.at(key(*it));
                payload.insert(payload.end(), bytes.begin(), bytes.end());
            }
            WriteFile("reversed.umod",
                      ModFileBytes({u"", u"", u"", u"", u"", u"", u"", u"", u""}, table, payload));
            ASSERT_TRUE(ravelin::OpenMod(Wide("reversed.umod"), mod, files).ok);
        }
        check("step " + std::to_string(step));
    }
}

}  // namespace
}  // namespace kestrova::testing
