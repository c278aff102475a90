// The Fields plug-in's session without a window: the object read through the context's tree,
// edits checked against their types, the body handed back without the name, JSON both ways.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "plugins/fields/fields_session.h"
#include "tests/plugin_fields/fields_test_support.h"

namespace kestrova::testing {
namespace {

using fields::FieldsSession;

class FieldsSessionTest : public ::testing::Test {
protected:
    // Hands `body` over as the host does: the context, then the data.
    void HandOver(const AssetContext& asset, const Bytes& body) {
        holder.Set(asset);
        session.SetContext(holder.context());
        session.Load(body);
    }
    FieldAt Member(const char* name) {
        for (const FieldAt& member : session.reader().Members(session.reader().Root())) {
            if (session.reader().Node(member).name == name) {
                return member;
            }
        }
        throw std::runtime_error(name);
    }

    SampleObject sample = Sample();
    PluginContextHolder holder;
    FieldsSession session;
};

TEST_F(FieldsSessionTest, EditsAreCheckedAndGoBackWithoutTheName) {
    HandOver(sample.Context(), sample.body);
    ASSERT_EQ(session.state(), FieldsSession::State::Ready) << session.message();
    EXPECT_FALSE(session.Changed());
    EXPECT_FALSE(session.Editable(Member("m_Name")));
    EXPECT_FALSE(session.Editable(Member("m_Script")));
    EXPECT_FALSE(session.Editable(Member("m_Blob")));

    std::string error;
    EXPECT_FALSE(session.Edit(Member("m_Count"), "2147483648", error));
    EXPECT_EQ(error, "2147483648 is outside the range -2147483648 to 2147483647");
    EXPECT_FALSE(session.Edit(Member("m_Speed"), "fast", error));
    EXPECT_FALSE(session.Edit(Member("m_Name"), "Renamed", error));
    EXPECT_FALSE(session.Changed());

    const std::uint64_t generation = session.generation();
    EXPECT_TRUE(session.Edit(Member("m_Count"), "-8", error)) << error;
    EXPECT_EQ(session.generation(), generation) << "a number moves nothing";
    EXPECT_TRUE(session.Edit(Member("m_Speed"), " 2.25 ", error)) << error;
    EXPECT_TRUE(session.Edit(Member("m_Label"), "a longer label", error)) << error;
    EXPECT_GT(session.generation(), generation) << "a text moves what follows";
    EXPECT_TRUE(session.Edit(Member("m_On"), "false", error)) << error;
    EXPECT_TRUE(session.Changed());

    ObjectBuilder body;
    body.I32(0).I64(5).I32(-8).F32(2.25f).Str("a longer label").U8(0).Align();
    body.I32(3).Raw(std::string_view("\x01\xab\x00", 3)).Align().I32(3).F32(0).F32(1).F32(2);
    EXPECT_EQ(session.Body(), body.Build());
}

TEST_F(FieldsSessionTest, JsonExportAndImportKeepTheNameAndSayWhyTheyRefuse) {
    HandOver(sample.Context(), sample.body);
    const Bytes exported = session.Export(u"JSON").value();
    nlohmann::ordered_json json = nlohmann::ordered_json::parse(exported);
    EXPECT_EQ(json["m_Name"], "Obj");
    EXPECT_EQ(session.Import(exported, u"json"), sample.body);

    json["m_Values"].push_back(3.5);
    const std::string longer = json.dump();
    const Bytes body = session.Import(Bytes(longer.begin(), longer.end()), u"json").value();
    EXPECT_EQ(body.size(), sample.body.size() + 4);
    EXPECT_FALSE(session.Changed()) << "the host writes an import itself";
    EXPECT_EQ(session.Body(), body);

    json["m_Name"] = "Other";
    const std::string renamed = json.dump();
    EXPECT_FALSE(session.Import(Bytes(renamed.begin(), renamed.end()), u"json"));
    EXPECT_EQ(holder.TakeReport(), "m_Name: the asset's name cannot change through an import.");
    EXPECT_FALSE(session.Import(Bytes{'{'}, u"json"));
    EXPECT_NE(holder.TakeReport().find("not valid JSON"), std::string::npos);
    // Other extensions are refused before the input is looked at (the "Mod" mode's texts).
    EXPECT_FALSE(session.Import({}, u"txt"));
    EXPECT_FALSE(session.Export(u"txt"));
    EXPECT_EQ(session.Body(), body);
}

TEST_F(FieldsSessionTest, WithoutATreeOrWithBytesThatDoNotFitItNothingIsShownOrWritten) {
    HandOver(sample.Context(false), sample.body);
    EXPECT_EQ(session.state(), FieldsSession::State::NoTree);
    EXPECT_EQ(session.message(), fields::kNoTreeMessage);
    EXPECT_FALSE(session.Export(u"json"));
    EXPECT_EQ(holder.TakeReport(), fields::kNoTreeMessage);
    EXPECT_FALSE(session.Body());

    Bytes cut = sample.body;
    cut.resize(cut.size() - 2);
    HandOver(sample.Context(), cut);
    EXPECT_EQ(session.state(), FieldsSession::State::Damaged);
    EXPECT_EQ(session.message(),
              "The asset's data does not read through its type tree: m_Values[2] (byte 64): a "
              "float needs 4 bytes; 2 are left");
    EXPECT_FALSE(session.Changed());

    // A context describes one hand-over: the next one without a context has no tree.
    session.Load(sample.body);
    EXPECT_EQ(session.state(), FieldsSession::State::NoTree);
}

}  // namespace
}  // namespace kestrova::testing
