// The full metadata reader and the writer of the later forms, on files built from the layout:
// a differential check of every edit against a reference model, names through trees and classes,
// and the damaged files that must be refused.

#include <random>

#include "common/platform.h"
#include "document/serialized_edit.h"
#include "tests/document/document_test_support.h"
#include "tests/document/serialized_file_builder.h"

namespace kestrova::testing {
namespace {

constexpr std::int32_t kTexture = 28;
constexpr std::int32_t kTransform = 4;
constexpr std::int32_t kScript = 114;

struct ModelObject {
    std::int64_t pathId;
    std::int32_t classId;
    Bytes data;
};

class SerializedFileTest : public DocumentTest {
protected:
    // Reads the working copy afresh and checks it against the model: the same objects in table
    // order with the same bytes, 8-aligned starts with zero padding between them, the header's
    // sizes and offsets as the engine writes them, and the table in memory as on disk.
    void ExpectModel(const std::vector<ModelObject>& model, const std::string& what) {
        AssetFile again;
        again.workingFolder = Wide(folder.File("Again"));
        Outcome o = LoadAssetFile(again, doc.WorkingCopyPath());
        ASSERT_TRUE(o.ok) << what << ": " << Utf16ToUtf8(o.message);
        const Bytes file = WorkingCopy();
        const SerializedMetadata& m = *again.metadata;
        EXPECT_TRUE(m.fileSize == file.size() && m.dataOffset % 16 == 0) << what;
        ASSERT_EQ(again.entries.size(), model.size()) << what;
        std::vector<std::pair<std::uint64_t, std::uint64_t>> spans;
        for (std::size_t i = 0; i < model.size(); ++i) {
            const AssetEntry& e = again.entries[i];
            const auto at = static_cast<std::ptrdiff_t>(m.dataOffset + e.offset);
            EXPECT_TRUE(e.pathId == model[i].pathId && e.classId == model[i].classId &&
                        e.offset % 8 == 0 && doc.entries[i].offset == e.offset &&
                        Bytes(file.begin() + at, file.begin() + at + e.size) == model[i].data)
                << what << " object " << i;
            spans.emplace_back(e.offset, e.offset + e.size);
        }
        std::sort(spans.begin(), spans.end());
        for (std::size_t k = 1; k < spans.size(); ++k) {
            for (std::uint64_t p = spans[k - 1].second; p < spans[k].first; ++p) {
                ASSERT_EQ(file[m.dataOffset + p], 0) << what << " padding at " << p;
            }
        }
        CloseAssetFile(again);
    }
};

TEST_F(SerializedFileTest, EveryEditReadsBackAsTheModelInEveryFormatAndByteOrder) {
    for (std::uint32_t format : {9u, 11u, 13u, 14u, 15u, 16u, 17u, 21u, 22u}) {
        for (bool big : {false, true}) {
            const bool trees = format < 13 || format % 2 == 1;
            SerializedFileBuilder b(format, big);
            b.Trees(trees).AddExternal("library/unity default resources");
            std::vector<std::uint32_t> types = {b.AddType(kTexture, NamedTree("Texture2D")),
                                                b.AddType(kScript, ScriptTree()),
                                                b.AddType(kTransform, {{0, "Transform", "Base"}})};
            std::vector<ModelObject> model;
            std::mt19937 random(format * 2 + big);
            for (std::int64_t id = 1; id <= 6; ++id) {
                const std::uint32_t t = static_cast<std::uint32_t>(id % 3);
                Bytes data = t == 0 ? b.Name("tex" + std::to_string(id)) : Bytes{};
                const Bytes body = Filled(random() % 23, static_cast<std::uint8_t>(id * 16));
                data.insert(data.end(), body.begin(), body.end());
                b.AddObject(id, types[t], data);
                model.push_back(
                    {id, std::vector<std::int32_t>{kTexture, kScript, kTransform}[t], data});
            }
            const std::string what = "format " + std::to_string(format) + (big ? " BE" : " LE");
            Load(b.Build());
            ASSERT_EQ(FormatVersion(doc), format);
            EXPECT_EQ(Name(0), "unnamed asset");  // a Transform has no name
            EXPECT_EQ(Name(2), "tex3");
            EXPECT_EQ(doc.entries[2].prefixLength, 8u);
            const std::uint64_t firstOffset = doc.metadata->dataOffset;
            for (int step = 0; step < 24; ++step) {
                const std::uint32_t i = static_cast<std::uint32_t>(random() % model.size());
                const std::string edit = what + " step " + std::to_string(step);
                switch (random() % 4) {
                    case 0:
                    case 1: {
                        const Bytes body = Filled(random() % 41, static_cast<std::uint8_t>(step));
                        ASSERT_TRUE(ReplaceAssetBody(doc, i, body).ok) << edit;
                        Bytes& data = model[i].data;
                        data.resize(doc.entries[i].prefixLength);
                        data.insert(data.end(), body.begin(), body.end());
                        break;
                    }
                    case 2: {
                        const std::int32_t classId = model[i].classId;
                        std::int64_t next = 0;
                        for (const ModelObject& o : model) {
                            next = std::max(next, o.pathId + 1);
                        }
                        ASSERT_TRUE(
                            AddAsset(doc, static_cast<std::uint32_t>(classId), u"added", 2).ok)
                            << edit;
                        model.push_back(
                            {next + 2, classId, classId == kTexture ? b.Name("added") : Bytes{}});
                        break;
                    }
                    default:
                        if (model.size() > 1) {
                            ASSERT_TRUE(RemoveAsset(doc, i).ok) << edit;
                            model.erase(model.begin() + i);
                        }
                }
                ExpectModel(model, edit);
            }
            // Adds until the metadata outgrows the data offset, which moves the data up.
            for (int add = 0; add < 8 && doc.metadata->dataOffset == firstOffset; ++add) {
                ASSERT_TRUE(AddAsset(doc, kTexture, u"late", 0).ok) << what;
                model.push_back({doc.entries.back().pathId, kTexture, b.Name("late")});
                ExpectModel(model, what + " late add");
            }
            EXPECT_GT(doc.metadata->dataOffset, firstOffset) << what;
        }
    }
}

TEST_F(SerializedFileTest, NamesComeFromTheTreeOrFromTheClass) {
    SerializedFileBuilder withTrees(17);
    const std::uint32_t script = withTrees.AddType(kScript, ScriptTree());
    Bytes behaviour(28, 0);
    const Bytes name = withTrees.Name("Player controller");
    behaviour.insert(behaviour.end(), name.begin(), name.end());
    withTrees.AddObject(-5, script, behaviour);
    Load(withTrees.Build());
    EXPECT_EQ(Name(0), "Player controller");
    EXPECT_EQ(doc.entries[0].prefixLength, 0u);  // not a name prefix: the body is all the data
    EXPECT_EQ(doc.entries[0].pathId, -5);
    EXPECT_EQ(Utf16ToUtf8(ClassName(doc, 0)), "MonoBehaviour");
    EXPECT_EQ(Utf16ToUtf8(PathIdText(doc, doc.entries[0])), "-5");
    ASSERT_NE(ObjectTypeTree(doc, 0), nullptr);

    // A GameObject keeps m_Name after its components, an array whose length differs between
    // objects; a vector of elements that are not of fixed size before m_Name hides it.
    const std::vector<TreeField> gameObject = {{0, "GameObject", "Base", -1, 0},
                                               {1, "vector", "m_Component", -1, 0},
                                               {2, "Array", "Array", -1, 0x4000, 1},
                                               {3, "int", "size", 4, 0},
                                               {3, "ComponentPair", "data", 12, 0},
                                               {4, "int", "m_FileID", 4, 0},
                                               {4, "SInt64", "m_PathID", 8, 0},
                                               {1, "UInt8", "m_Flag", 1, 0x4000},
                                               ScriptTree()[8],
                                               ScriptTree()[9],
                                               ScriptTree()[10],
                                               ScriptTree()[11]};
    std::vector<TreeField> hidden = gameObject;
    hidden[4].byteSize = -1;
    for (bool bigEndian : {false, true}) {
        SerializedFileBuilder b(22, bigEndian);
        const std::uint32_t named = b.AddType(1, gameObject);
        const std::uint32_t unnamed = b.AddType(2, hidden);
        // The array's count in the file's byte order, as a string's length is stored.
        const auto objectData = [&](std::uint32_t components, const std::string& text) {
            Bytes data = b.Name(std::string(components, 'x'));
            data.resize(4);
            data.resize(4 + components * 12, 7);
            data.insert(data.end(), {1, 0, 0, 0});  // m_Flag, aligned
            const Bytes name = b.Name(text);
            data.insert(data.end(), name.begin(), name.end());
            return data;
        };
        for (std::uint32_t components : {0u, 3u}) {
            const Bytes data = objectData(components, "Wall " + std::to_string(components));
            b.AddObject(components + 1, named, data);
            b.AddObject(components + 10, unnamed, data);
        }
        Load(b.Build());
        const auto nameOf = [&](std::int64_t pathId) {
            const std::uint32_t index = FindAssetByPathId(doc, pathId).value_or(0);
            EXPECT_EQ(doc.entries[index].prefixLength, 0u);
            return Name(index);
        };
        EXPECT_EQ(nameOf(1), "Wall 0");
        EXPECT_EQ(nameOf(4), "Wall 3");
        EXPECT_EQ(nameOf(13), "unnamed asset");
        // A new body, of the same length or another, brings its name into the list.
        for (const char* renamed : {"Wall 9", "A longer name"}) {
            const std::uint32_t index = FindAssetByPathId(doc, 4).value_or(0);
            ASSERT_TRUE(ReplaceAssetBody(doc, index, objectData(3, renamed)).ok);
            EXPECT_EQ(nameOf(4), renamed);
        }
    }

    // Without trees only the classes derived from NamedObject are named, also when empty.
    SerializedFileBuilder bare(22, true);
    bare.Trees(false);
    const std::uint32_t texture = bare.AddType(kTexture);
    const std::uint32_t transform = bare.AddType(kTransform);
    bare.AddObject(int64_t{1} << 40, texture, bare.Name("Big-endian \xc3\xa9"))
        .AddObject(2, texture, bare.Name(""))
        .AddObject(3, transform, bare.Name("NotAName"));
    Load(bare.Build());
    EXPECT_EQ(doc.entries[0].name, u"Big-endian \u00e9");
    EXPECT_EQ(Utf16ToUtf8(PathIdText(doc, doc.entries[0])), "1099511627776");
    EXPECT_EQ(Name(1), "unnamed asset");
    EXPECT_EQ(doc.entries[1].prefixLength, 4u);
    EXPECT_EQ(Name(2), "unnamed asset");
    EXPECT_EQ(doc.entries[2].prefixLength, 0u);
    EXPECT_EQ(Utf16ToUtf8(ClassName(doc, 2)), "Transform");
    EXPECT_EQ(ObjectTypeTree(doc, 0), nullptr);
    EXPECT_EQ(FindAssetByPathId(doc, int64_t{1} << 40), 0u);
    EXPECT_EQ(FindClassInFile(doc, u"texture2d"), kTexture);
    EXPECT_EQ(FindClassInFile(doc, u"0x1C"), kTexture);
    EXPECT_FALSE(FindClassInFile(doc, u"Mesh").has_value());
}

TEST_F(SerializedFileTest, AddRefusesAClassTheTypeListDoesNotHold) {
    SerializedFileBuilder b(17);
    b.AddObject(1, b.AddType(kTexture, NamedTree("Texture2D")), b.Name("a"));
    Load(b.Build());
    const Bytes before = WorkingCopy();
    Outcome o = AddAsset(doc, 43, u"mesh", 0);
    EXPECT_FALSE(o.ok);
    EXPECT_NE(Utf16ToUtf8(o.message).find("type tree, which Kestrova cannot invent"),
              std::string::npos)
        << Utf16ToUtf8(o.message);
    EXPECT_EQ(WorkingCopy(), before);
    EXPECT_EQ(doc.entries.size(), 1u);
}

// A later form inside an uncompressed bundle: read by the full reader, the bundle carried around
// every rewrite, its other file kept after it.
TEST_F(SerializedFileTest, ALaterFormInsideABundleIsEditedWithTheBundleCarried) {
    SerializedFileBuilder b(17);
    const std::uint32_t t = b.AddType(kTexture, NamedTree("Texture2D"));
    b.AddObject(1, t, b.Name("one")).AddObject(2, t, b.Name("two"));
    Load(WrapInBundle(b.Build(), 3, {{"extra", {1, 2, 3, 4, 5}}}));
    ASSERT_TRUE(doc.bundled && doc.metadata.has_value());
    ASSERT_TRUE(ReplaceAssetBody(doc, 0, Filled(30, 1)).ok);
    ASSERT_TRUE(AddAsset(doc, kTexture, u"three", 0).ok);
    AssetFile again;
    again.workingFolder = Wide(folder.File("Again"));
    ASSERT_TRUE(LoadAssetFile(again, doc.WorkingCopyPath()).ok);
    ASSERT_TRUE(again.bundled);
    ASSERT_EQ(again.entries.size(), 3u);
    EXPECT_EQ(Utf16ToUtf8(again.entries[2].name), "three");
    EXPECT_EQ(again.bundle.directory[1].name, "extra");
    EXPECT_EQ(again.bundle.directory[0].size, again.serializedLength);
    const Bytes copy = WorkingCopy();
    const std::size_t extra = again.bundle.headerSize + again.bundle.directory[1].offset;
    EXPECT_EQ(Bytes(copy.begin() + extra, copy.begin() + extra + 5), (Bytes{1, 2, 3, 4, 5}));
    CloseAssetFile(again);
}

// A damage: a little-endian word written at a place (or the file cut there: `cut`), and a part
// of the refusal, which also names the format.
struct Damage {
    const char* what;
    std::size_t at;
    std::uint32_t word;
    bool cut;
    const char* message;
};

TEST_F(SerializedFileTest, DamagedFilesAreRefusedNamingTheValueAndTheFormat) {
    SerializedFileBuilder b(17);
    const std::uint32_t t = b.AddType(kTexture, NamedTree("Texture2D"));
    b.AddObject(1, t, b.Name("one")).AddObject(2, t, b.Name("two"));
    const Bytes intact = b.Build();
    Load(intact, "intact.assets");
    const std::size_t table = doc.metadata->objectTableStart;
    const std::size_t record = (table + 4 + 3) / 4 * 4;
    // The version text "2021.3.18f1" ends at 32, the platform and the tree flag follow; the type
    // entry is 4 + 1 + 2 + 16 bytes, then its tree: counts, then nodes of 32 bytes.
    const std::size_t types = 37;
    const std::size_t nodes = types + 4 + 23;
    const Damage cases[] = {
        {"newer format", 8, 0x17000000, false, "format 23 is not supported"},
        {"older format", 8, 0x08000000, false, "format 8 is not supported"},
        {"endianness", 16, 2, false, "endianness byte (2)"},
        {"metadata size", 0, 0x7F, false, ") runs past the end of the file"},
        {"data offset beyond", 12, 0x7F, false, "beyond the end of the file"},
        {"data offset inside", 12, 0x18000000, false, "data offset (24) lies inside the metadata"},
        {"type count", types, 0x10000000, false, "type count (268435456) does not fit"},
        {"node count", nodes, 0x01000000, false, "16777216 nodes"},
        {"node level", nodes + 8, 0x30001, false, "level 3"},
        {"string offset", nodes + 12, 0x7FFF, false, "string offset 32767"},
        {"object count", table, 0x7FFFFFFF, false, "object count (2147483647)"},
        {"type index", record + 16, 99, false, "names type 99, outside the type list of 1 types"},
        {"object size", record + 12, 0x7FFFFFFF, false, "(offset 0, size 2147483647) lies outside"},
        {"cut short", table, 0, true, "metadata size"},
        {"too short", 19, 0, true, "too short for an asset file header"},
        {"short format 22", 44, 0, true, "header of format 22 (44 bytes)"},
    };
    for (const Damage& c : cases) {
        Bytes damaged = intact;
        if (c.cut) {
            damaged.resize(c.at);
        } else {
            for (std::size_t k = 0; k < 4; ++k) {
                damaged[c.at + k] = static_cast<std::uint8_t>(c.word >> (8 * k));
            }
        }
        damaged[11] = c.at == 44 ? 22 : damaged[11];
        Outcome o = TryLoad(damaged, "damaged.assets");
        ASSERT_FALSE(o.ok) << c.what;
        const std::string message = Utf16ToUtf8(o.message);
        EXPECT_NE(message.find(c.message), std::string::npos) << c.what << ": " << message;
        EXPECT_TRUE(message.find("format") != std::string::npos || c.at == 19) << message;
        EXPECT_EQ(Utf16ToUtf8(doc.documentName), "intact.assets") << c.what;
        EXPECT_EQ(WorkingCopy(), intact) << c.what;
    }
}

}  // namespace
}  // namespace kestrova::testing
