// Texture2D bodies of the later engine versions: the engine version's layout against the tree a
// real bundle keeps, a body of every version's layout read and given a new image with its other
// fields kept, and damaged fields and stream references refused without asking for more than
// the resource file holds.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>

#include "plugins/texture/texture_fields.h"
#include "plugins/texture/texture_version_layout.h"
#include "tests/common/temp_folder.h"
#include "tests/plugin_texture/handed_over_texture.h"
#include "tests/plugin_texture/texture_test_support.h"

namespace kestrova::testing {
namespace {

using namespace kestrova::texture;

TEST(TextureFieldsTest, VersionLayoutIsTheTreeARealBundleKeeps) {
    const std::string real = RealDataFolder();
    if (real.empty()) {
        GTEST_SKIP() << "KESTROVA_REALDATA names no folder";
    }
    TempFolder work;
    HandedOver chat(real + "/modern/abbuild_u201731p1/chatapng.ab", "", "Chat_A",
                    Utf8ToUtf16(work.File("")));
    ASSERT_TRUE(chat.ok);
    const std::optional<TypeTree>& kept = chat.host.asset().typeTree;
    ASSERT_TRUE(kept.has_value());
    const TypeTree made = Texture2DTree(*ParseEngineVersion(chat.host.asset().engineVersion));
    // The kept tree spells out strings and byte runs as their arrays; the fields are the same.
    std::vector<std::string> keptFields;
    int inside = 256;  // the level of a string or byte run being skipped
    for (const TypeTreeNode& n : kept->nodes) {
        if (n.level > inside) {
            continue;
        }
        inside = n.type == "string" || n.type == "TypelessData" ? n.level : 256;
        keptFields.push_back(std::to_string(n.level) + " " + n.type + " " + n.name);
    }
    std::vector<std::string> madeFields;
    for (const TypeTreeNode& n : made.nodes) {
        madeFields.push_back(std::to_string(n.level) + " " + n.type + " " + n.name);
    }
    EXPECT_EQ(madeFields, keptFields);

    // Read by the version's layout, the bundle's texture gives what its own tree gives.
    TextureContext byTree = TextureContextOf(*chat.host.context());
    TextureContext byVersion = byTree;
    byVersion.tree.reset();
    const TextureParse a = ParseTexture(chat.body, byTree);
    const TextureParse b = ParseTexture(chat.body, byVersion);
    ASSERT_TRUE(a.usable()) << a.problem;
    ASSERT_TRUE(b.usable()) << b.problem;
    EXPECT_TRUE(a.texture.isStreamed());
    EXPECT_EQ(a.texture.stream.path, b.texture.stream.path);
    EXPECT_TRUE(std::ranges::equal(a.texture.imageData, b.texture.imageData));
}

// Writes an object of `layout`: the named fields as given, every other number from a counter (so
// that a field written back elsewhere shows), strings "T", byte runs `data` for image data and
// one byte otherwise.
class ObjectMaker {
public:
    ObjectMaker(const FieldLayout& layout, std::map<std::string, std::uint64_t> values,
                const Bytes& data)
        : layout_(layout), values_(std::move(values)), data_(data) {}

    Bytes Make() {
        Write(layout_.root());
        return std::move(writer_.bytes());
    }

private:
    void Write(std::uint32_t index) {
        const FieldNode& node = layout_.node(index);
        if (node.kind == FieldKind::Struct) {
            for (std::uint32_t member : layout_.Members(node)) {
                Write(member);
            }
        } else if (node.kind == FieldKind::String || node.kind == FieldKind::Bytes) {
            const Bytes bytes = node.kind == FieldKind::String ? Bytes{'T'}
                                : node.name == "image data"    ? data_
                                                               : Bytes{7};
            writer_.PutCount(static_cast<std::uint32_t>(bytes.size()));
            writer_.PutBytes(bytes);
        } else if (IsScalar(node.kind)) {
            const auto given = values_.find(node.name);
            writer_.PutScalar(node.kind, given != values_.end()         ? given->second
                                         : node.kind == FieldKind::Bool ? 1
                                                                        : ++counter_);
        }
        if (node.alignAfter) {
            writer_.Align();
        }
    }

    const FieldLayout& layout_;
    std::map<std::string, std::uint64_t> values_;
    const Bytes& data_;
    FieldWriter writer_{ByteOrder::Little};
    std::uint64_t counter_ = 100;
};

// Every root field's bytes but the ones an import changes, by name.
std::map<std::string, Bytes> KeptFields(const FieldLayout& layout, const Bytes& object) {
    static const std::set<std::string> changed = {
        "m_Width",      "m_Height",       "m_CompleteImageSize", "m_TextureFormat", "m_MipCount",
        "m_ImageCount", "m_MipsStripped", "image data",          "m_StreamData"};
    FieldReader reader(layout, object, ByteOrder::Little);
    std::map<std::string, Bytes> kept;
    if (reader.Check()) {
        return kept;
    }
    for (const FieldAt& field : reader.Members(reader.Root())) {
        if (!changed.contains(reader.Node(field).name)) {
            kept[reader.Node(field).name] =
                Bytes(object.begin() + static_cast<std::ptrdiff_t>(field.offset),
                      object.begin() + static_cast<std::ptrdiff_t>(reader.End(field)));
        }
    }
    return kept;
}

TEST(TextureFieldsTest, EveryVersionLayoutReadsAndTakesANewImage) {
    const Bytes name = {1, 0, 0, 0, 'T', 0, 0, 0};
    for (const char* version :
         {"5.2.3f1", "5.3.0f1", "5.5.1f1", "2017.1.0f3", "2017.3.1p1", "2018.2.0f2", "2019.3.6f1",
          "2020.1.0f1", "2020.2.1f1", "2022.2.0f1", "6000.0.23f1"}) {
        SCOPED_TRACE(version);
        std::string error;
        const std::optional<FieldLayout> layout =
            FieldLayout::Compile(Texture2DTree(*ParseEngineVersion(version)), error);
        ASSERT_TRUE(layout) << error;
        // 8 × 4 RGBA32 with its whole chain: 8×4, 4×2, 2×1, 1×1.
        const Bytes pixels = Sequence((32 + 8 + 2 + 1) * 4);
        const Bytes object = ObjectMaker(*layout,
                                         {{"m_Width", 8},
                                          {"m_Height", 4},
                                          {"m_CompleteImageSize", pixels.size()},
                                          {"m_TextureFormat", 4},
                                          {"m_MipCount", 4},
                                          {"m_ImageCount", 1},
                                          {"m_TextureDimension", 2},
                                          {"m_MipsStripped", 0},
                                          {"offset", 0},
                                          {"size", 0}},
                                         pixels)
                                 .Make();
        ASSERT_EQ(Bytes(object.begin(), object.begin() + 8), name);
        TextureContext context;
        context.engineVersion = version;
        context.namePrefix = name;
        const Bytes body(object.begin() + 8, object.end());
        const TextureParse parsed = ParseTexture(body, context);
        ASSERT_TRUE(parsed.usable()) << parsed.problem;
        EXPECT_EQ(parsed.texture.header.mipCount, 4u);
        EXPECT_EQ(parsed.texture.levels.size(), 4u);
        EXPECT_TRUE(std::ranges::equal(parsed.texture.imageData, pixels));

        RgbaImage image(5, 3);
        image.pixels = Sequence(5 * 3 * 4);
        const Conversion replaced = ReplaceImage(parsed, image);
        ASSERT_TRUE(replaced.ok()) << replaced.problem;
        const TextureParse after = ParseTexture(replaced.bytes, context);
        ASSERT_TRUE(after.usable()) << after.problem;
        EXPECT_EQ(after.texture.header.width, 5u);
        EXPECT_EQ(after.texture.header.mipCount, 3u);  // 5×3, 2×1, 1×1
        EXPECT_EQ(Compare(DecodeTopLevel(after.texture), image).largest, 0);
        Bytes afterObject = name;
        afterObject.insert(afterObject.end(), replaced.bytes.begin(), replaced.bytes.end());
        EXPECT_EQ(KeptFields(*layout, afterObject), KeptFields(*layout, object));

        // The same body read by another version's layout does not fit and says so.
        context.engineVersion = std::string(version).starts_with("5.2") ? "2021.3.1f1" : "5.2.0f1";
        const TextureParse foreign = ParseTexture(body, context);
        EXPECT_FALSE(foreign.usable());
        EXPECT_NE(foreign.problem.find("does not read as"), std::string::npos) << foreign.problem;
    }
}

// The real streamed texture of a 2021.3 player file, damaged in its fields or its resource
// file (seen through a reader that counts what it is asked for).
TEST(TextureFieldsTest, DamagedFieldsAndStreamsAreRefusedWithoutOverreading) {
    const std::string real = RealDataFolder();
    if (real.empty()) {
        GTEST_SKIP() << "KESTROVA_REALDATA names no folder";
    }
    TempFolder work;
    HandedOver pong(real + "/modern/pong_u2021318/resources.assets", "", "EmojiOne",
                    Utf8ToUtf16(work.File("")));
    ASSERT_TRUE(pong.ok);
    const TextureContext context = TextureContextOf(*pong.host.context());
    ASSERT_TRUE(ParseTexture(pong.body, context).usable());

    const std::uint64_t resource = 349552;
    struct Case {
        const char* what;
        std::size_t at;  // in the body; 0 with no value leaves it as it is
        std::uint32_t value;
        std::int32_t status;  // what the reader answers for every range
        const char* message;
    };
    const Case cases[] = {
        {"side beyond the largest", 8, 0x10000, KESTROVA_STREAM_READ, "sides above"},
        {"no mip levels", 28, 0, KESTROVA_STREAM_READ, "mip levels"},
        {"more mip levels than the sides allow", 28, 11, KESTROVA_STREAM_READ, "mip levels"},
        {"unknown format", 24, 6, KESTROVA_STREAM_READ, "does not know"},
        {"complete size disagrees", 16, 1000, KESTROVA_STREAM_READ, "complete image size"},
        {"more images than the stream holds", 40, 2, KESTROVA_STREAM_READ, "need 699104"},
        {"a cube's dimension", 44, 4, KESTROVA_STREAM_READ, "dimension is 4"},
        {"stream size at its largest", 96, 0xFFFFFFFF, KESTROVA_STREAM_READ, "streams its pixels"},
        {"range outside the file", 0, 0, KESTROVA_STREAM_OUT_OF_RANGE, "outside that file"},
        {"missing resource file", 0, 0, KESTROVA_STREAM_NOT_FOUND, "neither beside"},
        {"unreadable resource file", 0, 0, KESTROVA_STREAM_FAILED, "could not be read"},
        {"image data longer than the body", 84, 0x7FFFFFFF, KESTROVA_STREAM_READ,
         "does not read as"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes body = pong.body;
        if (c.at != 0) {
            PutLittleEndian32(body, c.at, c.value);
        }
        std::uint64_t largest = 0;
        TextureContext damaged = context;
        damaged.readStream = [&](const std::string&, std::uint64_t offset,
                                 std::span<std::uint8_t> out) {
            largest = std::max<std::uint64_t>(largest, out.size());
            return offset + out.size() <= resource ? c.status : KESTROVA_STREAM_OUT_OF_RANGE;
        };
        const TextureParse parsed = ParseTexture(body, damaged);
        EXPECT_FALSE(parsed.usable());
        EXPECT_NE(parsed.problem.find(c.message), std::string::npos) << parsed.problem;
        EXPECT_LE(largest, 1u) << "asked for more than one byte before the range was known";
        EXPECT_TRUE(DecodeTopLevel(parsed.texture).pixels.empty());
        EXPECT_FALSE(ReplaceImage(parsed, RgbaImage(1, 1)).ok());
    }
    // Bytes after the fields, or the fields cut short, do not read as the version's layout.
    for (const Bytes& body : {Bytes(pong.body.begin(), pong.body.end() - 9), [&] {
                                  Bytes longer = pong.body;
                                  longer.push_back(0);
                                  return longer;
                              }()}) {
        EXPECT_NE(ParseTexture(body, context).problem.find("does not read as"), std::string::npos);
    }
}

}  // namespace
}  // namespace kestrova::testing
