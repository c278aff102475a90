// Fields as JSON and back: random objects round-trip byte for byte, values that JSON cannot hold
// plainly keep their bits, imports may change values and lengths, and mismatches are refused with
// the first path that differs. Also scalar texts and the context's tree layout.

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <set>

#include <nlohmann/json.hpp>

#include "sdk/context_type_tree.h"
#include "sdk/field_values.h"
#include "sdk/type_tree_json.h"
#include "tests/plugin_sdk/field_test_support.h"

namespace kestrova::testing {
namespace {

using namespace std::string_view_literals;

std::string Json(const FieldLayout& layout, const Bytes& object,
                 ByteOrder order = ByteOrder::Little) {
    const FieldReader reader(layout, object, order);
    EXPECT_FALSE(reader.Check());
    return FieldsToJson(reader);
}

// A material-like type: a name, a reference, a map of colours, a flag, bytes and numbers.
TypeTree MaterialTree() {
    TreeBuilder b;
    b.Add(0, "Material", "Base").String(1, "m_Name");
    b.Add(1, "PPtr<Shader>", "m_Shader").Add(2, "int", "m_FileID").Add(2, "SInt64", "m_PathID");
    b.Add(1, "map", "m_Colors").ArrayOf(2).Add(3, "pair", "data").String(4, "first");
    b.Add(4, "ColorRGBA", "second");
    for (const char* channel : {"r", "g", "b", "a"}) {
        b.Add(5, "float", channel);
    }
    b.Add(1, "bool", "m_On", true).Add(1, "UInt8", "m_Byte", true);
    b.Add(1, "TypelessData", "m_Blob", true).Add(2, "int", "size").Add(2, "UInt8", "data");
    b.Vector(1, "m_Big", "UInt64").Vector(1, "m_Small", "SInt64").Add(1, "double", "m_Scale");
    return b.Build();
}

Bytes Material(std::string_view firstColor, float red) {
    ObjectBuilder o;
    o.Str("Mat").I32(0).I64(-7).I32(2);
    o.Str(firstColor).F32(red).F32(0.1f).F32(-0.0f).F32(std::numeric_limits<float>::infinity());
    o.Str("\xff\x00"sv)
        .F32(std::bit_cast<float>(0x7FC00001u))
        .F32(1e-45f)
        .F32(3.4028235e38f)
        .F32(1);
    o.U8(2).Align().U8(255).Align().I32(3).Raw("\x01\xab\x00"sv).Align();
    o.I32(1).Unsigned(~0ull, 8).I32(1).I64(std::numeric_limits<std::int64_t>::min()).F64(0.1);
    return o.Build();
}

TEST(FieldsJson, RandomObjectsRoundTripByteForByte) {
    RandomObjects random(7);
    for (int round = 0; round < 300; ++round) {
        const TypeTree tree = random.Tree();
        const FieldLayout layout = Compiled(tree);
        const Bytes object = random.Object(tree);
        const std::string json = Json(layout, object);
        EXPECT_TRUE(nlohmann::json::accept(json)) << json;
        std::string error;
        EXPECT_EQ(FieldsFromJson(layout, ByteOrder::Little, json, error), object) << error << "\n"
                                                                                  << json;
    }
}

TEST(FieldsJson, KeepsWhatJsonCannotHoldPlainly) {
    const FieldLayout layout = Compiled(MaterialTree());
    const Bytes object = Material("_Color", 0.5f);
    const std::string json = Json(layout, object);
    for (const char* expected : {
             R"("m_PathID": -7)",
             R"("first": "_Color")",
             R"("g": 0.1)",
             R"("b": -0.0)",
             R"("a": "Infinity")",
             R"("first": {"hex": "ff00"})",
             R"("r": "NaN:0x7FC00001")",
             R"("g": 1e-45)",
             R"("b": 3.4028235e+38)",
             R"("m_On": 2)",
             R"("m_Byte": 255)",
             R"("m_Blob": "01ab00")",
             R"(18446744073709551615)",
             R"(-9223372036854775808)",
             R"("m_Scale": 0.1)",
         }) {
        EXPECT_NE(json.find(expected), std::string::npos) << expected << " in\n" << json;
    }
    std::string error;
    EXPECT_EQ(FieldsFromJson(layout, ByteOrder::Little, json, error), object) << error;

    // The same object stored big-endian gives the same JSON and comes back big-endian.
    const Bytes big = FieldsFromJson(layout, ByteOrder::Big, json, error).value();
    EXPECT_EQ(Json(layout, big, ByteOrder::Big), json);
}

TEST(FieldsJson, ImportTakesNewValuesLengthsAndTexts) {
    const FieldLayout layout = Compiled(MaterialTree());
    // Edited as programs that keep the order of fields do.
    nlohmann::ordered_json edited =
        nlohmann::ordered_json::parse(Json(layout, Material("_Color", 0.5f)));
    edited["m_Name"] = "A much longer name";
    edited["m_Colors"].push_back(edited["m_Colors"][0]);
    edited["m_Colors"][2]["first"] = "_Tint";
    edited["m_Colors"][2]["second"]["r"] = 0.25;
    edited["m_Small"] = nlohmann::ordered_json::array();
    std::string error;
    const std::optional<Bytes> object =
        FieldsFromJson(layout, ByteOrder::Little, edited.dump(), error);
    ASSERT_TRUE(object) << error;
    EXPECT_EQ(nlohmann::ordered_json::parse(Json(layout, *object)), edited);
}

TEST(FieldsJson, RefusesWhatDoesNotMatchWithTheFirstPathThatDiffers) {
    const FieldLayout layout = Compiled(MaterialTree());
    const nlohmann::ordered_json good =
        nlohmann::ordered_json::parse(Json(layout, Material("_Color", 0.5f)));
    auto with = [&](auto change) {
        nlohmann::ordered_json edited = good;
        change(edited);
        return edited.dump();
    };
    struct Case {
        std::string json;
        std::string message;
    };
    const Case cases[] = {
        {with([](auto& j) { j["m_Colors"][1]["second"]["r"] = "red"; }),
         "m_Colors[1].second.r: \"red\" is not a float"},
        {with([](auto& j) { j["m_Colors"][0]["second"]["g"] = nullptr; }),
         "m_Colors[0].second.g: expected a number"},
        {with([](auto& j) { j["m_Colors"][0]["second"].erase("a"); }),
         "m_Colors[0].second: the field \"a\" is missing"},
        {with([](auto& j) { j["m_Colors"][0]["second"]["z"] = 1; }),
         "m_Colors[0].second: the field \"z\" is not one of this structure's"},
        {with([](auto& j) { j["m_Byte"] = 256; }), "m_Byte: 256 is outside the range 0 to 255"},
        {with([](auto& j) { j["m_Byte"] = 1.5; }), "m_Byte: expected an integer"},
        {with([](auto& j) { j["m_Small"][0] = 9223372036854775808u; }),
         "m_Small[0]: 9223372036854775808 is outside the range -9223372036854775808 to "
         "9223372036854775807"},
        {with([](auto& j) { j["m_Colors"][0]["second"]["b"] = 1e39; }),
         "m_Colors[0].second.b: 1e+39 is outside the range of a float"},
        {with([](auto& j) { j["m_Blob"] = "abc"; }),
         "m_Blob: expected hexadecimal digits, two for each byte"},
        {with([](auto& j) {
             j["m_Colors"][1]["first"] = {{"hex", "zz"}};
         }),
         "m_Colors[1].first: expected hexadecimal digits, two for each byte"},
        {with([](auto& j) { j["m_Shader"] = nlohmann::ordered_json::array(); }),
         "m_Shader: expected an object"},
        {with([](auto& j) { j["m_On"] = "true"; }), "m_On: expected true or false"},
        {R"({"m_Shader": {}})", "The JSON: expected the field \"m_Name\" here, found \"m_Shader\""},
        {"[]", "The JSON: expected an object"},
        {std::string(100000, '['), "The JSON: expected an object"},
        {R"({"m_Name": "x",)", "The file is not valid JSON (byte 16)"},
        {"", "The file is not valid JSON (byte 1)"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(FieldsFromJson(layout, ByteOrder::Little, c.json, error)) << c.message;
        EXPECT_EQ(error.substr(0, c.message.size()), c.message) << c.json.substr(0, 200);
    }
}

TEST(FieldValues, TextsReadBackToTheSameBitsAndRangesAreChecked) {
    std::mt19937_64 rng(3);
    const FieldKind kinds[] = {FieldKind::Bool,   FieldKind::SInt8,  FieldKind::UInt8,
                               FieldKind::SInt16, FieldKind::UInt16, FieldKind::SInt32,
                               FieldKind::UInt32, FieldKind::SInt64, FieldKind::UInt64,
                               FieldKind::Float,  FieldKind::Double};
    for (FieldKind kind : kinds) {
        const std::uint64_t mask =
            ScalarWidth(kind) == 8 ? ~0ull : (1ull << (8 * ScalarWidth(kind))) - 1;
        for (int i = 0; i < 2000; ++i) {
            const std::uint64_t bits = rng() & mask;
            std::string error;
            EXPECT_EQ(ParseScalar(kind, ScalarText(kind, bits), error), bits)
                << ScalarText(kind, bits) << " " << error;
        }
    }
    struct Case {
        FieldKind kind;
        const char* text;
        const char* error;
    };
    const Case refused[] = {
        {FieldKind::UInt8, "256", "256 is outside the range 0 to 255"},
        {FieldKind::SInt8, "-129", "-129 is outside the range -128 to 127"},
        {FieldKind::UInt32, "-1", "-1 is outside the range 0 to 4294967295"},
        {FieldKind::UInt64, "18446744073709551616", "is outside the range 0 to"},
        {FieldKind::SInt32, "12abc", "\"12abc\" is not an integer"},
        {FieldKind::SInt32, "", "\"\" is not an integer"},
        {FieldKind::Float, "1e39", "1e39 is outside the range of a float"},
        {FieldKind::Float, "one", "\"one\" is not a float"},
        {FieldKind::Double, "NaN:0x3FF0000000000000", "is not the bits of a NaN"},
        {FieldKind::Bool, "yes", "\"yes\" is not true, false or a byte value"},
    };
    for (const Case& c : refused) {
        std::string error;
        EXPECT_FALSE(ParseScalar(c.kind, c.text, error)) << c.text;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.text << ": " << error;
    }
}

TEST(FieldValues, FloatsAndDoublesOfEveryExponentReadBackToTheSameBits) {
    std::mt19937_64 rng(11);
    for (int i = 0; i < 300000; ++i) {
        // Every exponent, and often the magnitudes game data uses.
        std::uint64_t bits = rng();
        std::uint32_t bits32 = static_cast<std::uint32_t>(bits);
        if (i % 2 == 0) {
            bits32 =
                (bits32 & 0x807FFFFFu) | static_cast<std::uint32_t>((100u + rng() % 60u) << 23);
        }
        for (const auto& [kind, value] : {std::pair{FieldKind::Float, std::uint64_t{bits32}},
                                          std::pair{FieldKind::Double, bits}}) {
            const std::string text = ScalarText(kind, value);
            std::string error;
            EXPECT_EQ(ParseScalar(kind, text, error), value) << text << " " << error;
        }
    }
}

TEST(ContextTypeTree, FlattensAndReadsBackAndRefusesBadOffsets) {
    TypeTree tree = MaterialTree();
    tree.nodes[3].refTypeHash = 0x1122334455667788;
    tree.nodes[3].version = 2;
    tree.nodes[3].index = 7;
    const FlatTypeTree flat = FlattenTypeTree(tree);
    const KestrovaTypeTree view = flat.view();
    std::string error;
    const std::optional<TypeTree> back = TypeTreeFromContext(view, error);
    ASSERT_TRUE(back) << error;
    ASSERT_EQ(back->nodes.size(), tree.nodes.size());
    for (std::size_t i = 0; i < tree.nodes.size(); ++i) {
        const TypeTreeNode& a = tree.nodes[i];
        const TypeTreeNode& b = back->nodes[i];
        EXPECT_EQ(std::tie(a.type, a.name, a.byteSize, a.index, a.metaFlag, a.version, a.level,
                           a.typeFlags, a.refTypeHash),
                  std::tie(b.type, b.name, b.byteSize, b.index, b.metaFlag, b.version, b.level,
                           b.typeFlags, b.refTypeHash));
    }
    std::set<std::string> texts;
    for (const TypeTreeNode& node : tree.nodes) {
        texts.insert(node.type);
        texts.insert(node.name);
    }
    std::size_t once = 0;
    for (const std::string& text : texts) {
        once += text.size() + 1;
    }
    EXPECT_EQ(flat.strings.size(), once) << "each text is stored once";

    std::vector<KestrovaTypeTreeNode> nodes = flat.nodes;
    KestrovaTypeTree bad = view;
    bad.nodes = nodes.data();
    nodes[4].nameOffset = view.stringsLength;
    EXPECT_FALSE(TypeTreeFromContext(bad, error));
    EXPECT_EQ(error, "Type tree node 4 names a text outside the tree's strings.");
    nodes[4].nameOffset = 0;
    bad.stringsLength = 3;  // the first text loses its terminator
    EXPECT_FALSE(TypeTreeFromContext(bad, error));
    bad = view;
    bad.nodes = nullptr;
    EXPECT_FALSE(TypeTreeFromContext(bad, error));
}

}  // namespace
}  // namespace kestrova::testing
