// A compressed bundle's serialized member as the document: it opens from the decompressed data
// stream, edits move the nodes after it, Save As rebuilds a bundle that reopens with the edit,
// an unchanged bundle saves as its own bytes, and a bundle that cannot be opened leaves the
// previous document open and nothing new in the working folder.

#include <set>

#include "document/bundle/bundle_document.h"
#include "tests/bundle/bundle_test_support.h"
#include "tests/document/serialized_file_builder.h"

namespace kestrova::testing {
namespace {

using bundle::ChosenCompression;

// A format-17 file of two named objects whose texts are `a` and `b`.
Bytes SerializedFile(const std::string& a, const std::string& b) {
    SerializedFileBuilder builder(17);
    builder.Trees(true);
    const std::uint32_t type = builder.AddType(49, NamedTree("TextAsset"));
    for (const auto& [id, text] : {std::pair{1, a}, std::pair{2, b}}) {
        Bytes data = builder.Name(text);
        data.resize(data.size() + 4, 7);
        builder.AddObject(id, type, data);
    }
    return builder.Build();
}

class BundleDocumentTest : public BundleTest {
protected:
    BundleDocumentTest() { doc.workingFolder = folder.Wide("Work"); }

    std::set<std::filesystem::path> WorkFiles() const {
        std::error_code none;
        const std::filesystem::directory_iterator files(folder.path() / "Work", none), end;
        return {files, end};
    }

    // Opens `path`'s member, grows its first asset's body by four bytes and saves the bundle as
    // `compression`: the saved bundle reopens with the new body, and every other node holds the
    // original's bytes.
    void EditSaveAndReopen(const std::string& path, const std::string& member,
                           ChosenCompression compression) {
        SCOPED_TRACE(member);
        Outcome o = bundle::LoadDocument(doc, Utf8ToUtf16(path), member);
        ASSERT_TRUE(o.ok) << Message(o);
        Bytes body = *ReadAssetBody(doc, 0);
        body.insert(body.end(), {'K', 'S', 'T', 'V'});
        ASSERT_TRUE(ReplaceAssetBody(doc, 0, body).ok);
        o = bundle::SaveDocumentAs(doc, folder.Wide("saved"), compression);
        ASSERT_TRUE(o.ok) << Message(o);
        bundle::BundleArchive before, after;
        Bytes old, saved;
        ASSERT_TRUE(Open(ReadBytes(path), before, &old).ok);
        ASSERT_TRUE(Open(ReadBytes(folder.File("saved")), after, &saved).ok);
        ASSERT_EQ(after.nodes.size(), before.nodes.size());
        for (std::size_t i = 0; i < before.nodes.size(); ++i) {
            const BundleNode &a = before.nodes[i], &b = after.nodes[i];
            EXPECT_EQ(a.path, b.path);
            if (a.path != member) {
                EXPECT_TRUE(std::equal(old.begin() + a.offset, old.begin() + a.offset + a.size,
                                       saved.begin() + b.offset, saved.begin() + b.offset + b.size))
                    << a.path;
            }
        }
        ASSERT_TRUE(bundle::LoadDocument(doc, folder.Wide("saved"), member).ok);
        EXPECT_EQ(*ReadAssetBody(doc, 0), body);
    }

    AssetFile doc;
};

// Every real compressed bundle: its serialized members open, unchanged it saves as its own bytes,
// and each member saves with an edit that reads back.
TEST_F(BundleDocumentTest, RealBundlesOpenEachMemberAndSaveEdits) {
    const std::vector<std::string> bundles = RealBundles();
    if (bundles.empty()) {
        GTEST_SKIP() << "KESTROVA_REALDATA is not set";
    }
    for (const std::string& path : bundles) {
        SCOPED_TRACE(path);
        std::vector<BundleNode> members;
        Outcome o = bundle::ReadBundleMembers(Utf8ToUtf16(path), members);
        ASSERT_TRUE(o.ok) << Message(o);
        ASSERT_FALSE(members.empty());
        for (const BundleNode& member : members) {
            o = bundle::LoadDocument(doc, Utf8ToUtf16(path), member.path);
            ASSERT_TRUE(o.ok) << member.path << ": " << Message(o);
            o = bundle::SaveDocumentAs(doc, folder.Wide("same"));
            ASSERT_TRUE(o.ok) << Message(o);
            EXPECT_EQ(ReadBytes(folder.File("same")), ReadBytes(path)) << member.path;
            EditSaveAndReopen(path, member.path, ChosenCompression::AsOriginal);
        }
        if (members.size() > 1) {
            o = bundle::LoadDocument(doc, Utf8ToUtf16(path));
            EXPECT_NE(Message(o).find(members.back().path), std::string::npos) << Message(o);
        }
    }
    EXPECT_EQ(bundles.size(), 9u);
    CloseAssetFile(doc);
    EXPECT_TRUE(WorkFiles().empty());
}

// Generated bundles of every format, layout and compression with two serialized members and a
// resource file between them: the second member opens by name, and its edit saves in the
// original's compression and in each chosen one.
TEST_F(BundleDocumentTest, GeneratedBundlesOfEveryLayoutSaveAMemberEdit) {
    const Bytes first = SerializedFile("first", "one");
    const Bytes second = SerializedFile("second", "two");
    const Bytes resource = AssetLikeData(3000, 2);
    Bytes stream = first;
    stream.insert(stream.end(), resource.begin(), resource.end());
    stream.insert(stream.end(), second.begin(), second.end());
    const std::vector<FsNode> nodes = {{0, first.size(), 4, "CAB-a"},
                                       {first.size(), resource.size(), 0, "CAB-a.resS"},
                                       {first.size() + resource.size(), second.size(), 4, "CAB-b"}};
    for (std::uint32_t format : {6u, 7u, 8u}) {
        for (int layout = 0; layout < 4; ++layout) {
            for (std::uint32_t code : {0u, 1u, 2u, 3u}) {
                FsShape shape;
                shape.format = format;
                shape.infoAtEnd = (layout & 1) != 0;
                shape.pad = (layout & 2) != 0;
                shape.infoCompression = code;
                shape.blockCompressions = {code, code};
                shape.nodes = nodes;
                SCOPED_TRACE(format * 100 + layout * 10 + code);
                WriteBytes(folder.File("gen"), BuildUnityFs(shape, stream));
                const auto choice = static_cast<ChosenCompression>(layout + 1);
                for (auto c : {ChosenCompression::AsOriginal, choice}) {
                    EditSaveAndReopen(folder.File("gen"), "CAB-b", c);
                    EXPECT_EQ(doc.entries[0].name, u"second");
                }
            }
        }
    }
}

// A refused bundle names what is wrong, leaves the working folder as it was and the document
// that was open still open.
TEST_F(BundleDocumentTest, RefusedBundlesLeaveThePreviousDocumentOpen) {
    const Bytes member = SerializedFile("kept", "k");
    WriteBytes(folder.File("good"), BuildUnityFs(FsShape{}, member));
    ASSERT_TRUE(bundle::LoadDocument(doc, folder.Wide("good")).ok);
    const auto files = WorkFiles();
    const Bytes working = ReadBytes(Utf16ToUtf8(doc.WorkingCopyPath()));
    const auto tweaked = [&](auto tweak) {
        FsShape s;
        s.tweak = tweak;
        return BuildUnityFs(s, member);
    };
    Bytes cut = BuildUnityFs(FsShape{}, member);
    cut.resize(cut.size() - 10);
    // Two serialized nodes over the same bytes.
    const Bytes two = tweaked([&](auto&, auto& n) { n.push_back({0, n[0].size, 4, "CAB-2"}); });
    struct Case {
        const char *message, *member;
        Bytes bytes;
    };
    const std::vector<Case> cases = {
        {"truncated", nullptr, cut},
        {"LZHAM", nullptr, tweaked([](auto& b, auto&) { b[0].flags = 4; })},
        {"outside", nullptr, tweaked([](auto&, auto& n) { n[0].size += 9; })},
        {"CAB-generated", nullptr, BuildUnityFs(FsShape{}, AssetLikeData(member.size(), 3))},
        {"CAB-2", nullptr, two},
        {"no file named CAB-none", "CAB-none", two},
        {"overlaps", "CAB-2", two},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        WriteBytes(folder.File("bad"), c.bytes);
        const auto name = c.member ? std::optional<std::string>(c.member) : std::nullopt;
        Outcome o = bundle::LoadDocument(doc, folder.Wide("bad"), name);
        EXPECT_NE(Message(o).find(c.message), std::string::npos) << Message(o);
        EXPECT_EQ(WorkFiles(), files);
        EXPECT_EQ(doc.documentName, u"good");
        EXPECT_EQ(ReadBytes(Utf16ToUtf8(doc.WorkingCopyPath())), working);
    }
}

}  // namespace
}  // namespace kestrova::testing
