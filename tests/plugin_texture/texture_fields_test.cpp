// Texture2D bodies of the later engine versions: the engine version's layout against the tree a
// real bundle keeps, and a real streamed texture with damaged fields or stream refused before
// more than a byte of its resource file is asked for.

#include <gtest/gtest.h>

#include "document/bundle/bundle_document.h"
#include "kestrova_plugin.h"
#include "plugins/texture/texture_fields.h"
#include "plugins/texture/texture_version_layout.h"
#include "tests/common/temp_folder.h"
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
    AssetFile doc;
    doc.workingFolder = Utf8ToUtf16(work.File(""));
    ASSERT_TRUE(
        bundle::LoadDocument(doc, Utf8ToUtf16(real + "/modern/abbuild_u201731p1/chatapng.ab")));
    const TypeTree* kept = ObjectTypeTree(doc, 1);
    ASSERT_NE(kept, nullptr);
    // The kept tree spells out strings and byte runs as their arrays (a string's alignment is its
    // array's); the fields are the same.
    const auto fields = [](const TypeTree& tree) {
        std::vector<std::string> out;
        int inside = 256;  // the level of a string or byte run whose parts are left out
        for (const TypeTreeNode& n : tree.nodes) {
            if (n.level <= inside) {
                inside = n.type == "string" || n.type == "TypelessData" ? n.level : 256;
                out.push_back(
                    std::to_string(n.level) + " " + n.type + " " + n.name +
                    (n.type != "string" && (n.metaFlag & kAlignAfterField) != 0 ? " aligned" : ""));
            }
        }
        return out;
    };
    EXPECT_EQ(fields(Texture2DTree(*EngineVersion::Parse(kestrova::EngineVersion(doc)))),
              fields(*kept));
    CloseAssetFile(doc);
}

TEST(TextureFieldsTest, DamagedFieldsAndStreamsAreRefusedWithoutOverreading) {
    TempFolder work;
    const std::vector<RealTexture> textures =
        LoadModernTextures(RealDataFolder(), Utf8ToUtf16(work.File("T")));
    const RealTexture* emoji = FindTexture(textures, "EmojiOne");  // 2021.3, streamed DXT5
    if (emoji == nullptr) {
        GTEST_SKIP() << "KESTROVA_REALDATA names no folder";
    }
    const std::uint64_t resource = 349552;
    struct Case {
        const char* what;
        std::size_t at;  // in the body; 0 leaves it as it is
        std::uint32_t value;
        std::int32_t status;  // what the resource file's reader answers
        const char* message;
    };
    const Case cases[] = {
        {"as it is", 0, 0, KESTROVA_STREAM_READ, ""},
        {"side beyond the largest", 8, 0x10000, KESTROVA_STREAM_READ, "sides above"},
        {"no mip levels", 28, 0, KESTROVA_STREAM_READ, "mip levels"},
        {"more mip levels than the sides allow", 28, 11, KESTROVA_STREAM_READ, "mip levels"},
        {"unknown format", 24, 6, KESTROVA_STREAM_READ, "does not know"},
        {"complete size disagrees", 16, 1000, KESTROVA_STREAM_READ, "complete image size"},
        {"more images than the stream holds", 40, 2, KESTROVA_STREAM_READ, "need 699104"},
        {"a cube's dimension", 44, 4, KESTROVA_STREAM_READ, "dimension is 4"},
        {"image data longer than the body", 84, 0x7FFFFFFF, KESTROVA_STREAM_READ, "does not read"},
        {"stream offset past the end", 88, 64, KESTROVA_STREAM_READ, "outside that file"},
        {"stream offset near 2^64", 92, 0xFFFFFFFF, KESTROVA_STREAM_READ, "outside that file"},
        {"stream size at its largest", 96, 0xFFFFFFFF, KESTROVA_STREAM_READ, "streams its pixels"},
        {"a zero byte in the path", 104, 0, KESTROVA_STREAM_READ, "zero byte"},
        {"missing resource file", 0, 0, KESTROVA_STREAM_NOT_FOUND, "neither beside"},
        {"unreadable resource file", 0, 0, KESTROVA_STREAM_FAILED, "could not be read"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes body = emoji->body;
        if (c.at != 0) {
            PutLittleEndian32(body, c.at, c.value);
        }
        std::uint64_t largest = 0;
        TextureContext context;
        context.engineVersion = "2021.3.18f1";
        context.namePrefix = {8, 0, 0, 0, 'E', 'm', 'o', 'j', 'i', 'O', 'n', 'e'};
        context.readStream = [&](const std::string& path, std::uint64_t offset,
                                 std::span<std::uint8_t> out) {
            EXPECT_EQ(path, "resources.assets.resS");
            largest = std::max<std::uint64_t>(largest, out.size());
            return offset > resource || out.size() > resource - offset
                       ? KESTROVA_STREAM_OUT_OF_RANGE
                       : c.status;
        };
        const TextureParse parsed = ParseTexture(body, context);
        EXPECT_EQ(parsed.usable(), *c.message == 0) << parsed.problem;
        EXPECT_NE(parsed.problem.find(c.message), std::string::npos) << parsed.problem;
        if (!parsed.usable()) {
            EXPECT_LE(largest, 1u) << "more than a byte asked for before the range was known";
            EXPECT_FALSE(ReplaceImage(parsed, RgbaImage(1, 1)).ok());
        }
    }
}

}  // namespace
}  // namespace kestrova::testing
