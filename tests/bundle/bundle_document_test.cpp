// A compressed bundle's serialized member as the document: it opens from the decompressed data
// stream, edits move the nodes after it, Save As rebuilds a bundle that reopens with the edit,
// an unchanged bundle saves as its own bytes, and a bundle that cannot be opened leaves the
// previous document open and nothing new in the working folder.

#include <cstdlib>
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

    std::set<std::string> WorkFiles() const {
        std::set<std::string> names;
        if (std::filesystem::exists(folder.path() / "Work")) {
            for (const auto& e : std::filesystem::directory_iterator(folder.path() / "Work")) {
                names.insert(e.path().filename().string());
            }
        }
        return names;
    }

    // Opens `path`'s member, grows the body of its first asset by four bytes, saves the bundle
    // as `compression` into `saved` and reopens it: the member holds the new body, every other
    // node holds its old bytes.
    void EditSaveAndReopen(const std::string& path, const std::string& member,
                           ChosenCompression compression, const std::string& saved) {
        SCOPED_TRACE(member);
        Outcome o = bundle::LoadDocument(doc, Utf8ToUtf16(path), member);
        ASSERT_TRUE(o.ok) << Message(o);
        ASSERT_FALSE(doc.entries.empty());
        const std::vector<BundleNode> before = doc.compressed->nodes;
        const std::size_t index = doc.compressed->member;
        Bytes body = *ReadAssetBody(doc, 0);
        body.insert(body.end(), {'K', 'S', 'T', 'V'});
        o = ReplaceAssetBody(doc, 0, body);
        ASSERT_TRUE(o.ok) << Message(o);
        const Bytes oldStream = ReadBytes(Utf16ToUtf8(doc.WorkingCopyPath()));
        o = bundle::SaveDocumentAs(doc, Utf8ToUtf16(saved), compression);
        ASSERT_TRUE(o.ok) << Message(o);

        bundle::BundleArchive archive;
        Bytes stream;
        o = Open(ReadBytes(saved), archive, &stream);
        ASSERT_TRUE(o.ok) << Message(o);
        EXPECT_EQ(stream, oldStream);
        ASSERT_EQ(archive.nodes.size(), before.size());
        for (std::size_t i = 0; i < before.size(); ++i) {
            EXPECT_EQ(archive.nodes[i].path, before[i].path);
            if (i != index) {
                EXPECT_EQ(archive.nodes[i].size, before[i].size) << before[i].path;
            }
        }
        o = bundle::LoadDocument(doc, Utf8ToUtf16(saved), member);
        ASSERT_TRUE(o.ok) << Message(o);
        EXPECT_EQ(*ReadAssetBody(doc, 0), body);
    }

    AssetFile doc;
};

// Every real compressed bundle: its serialized members open, unchanged it saves as its own bytes,
// and each member saves with an edit that reads back.
TEST_F(BundleDocumentTest, RealBundlesOpenEachMemberAndSaveEdits) {
    const char* real = std::getenv("KESTROVA_REALDATA");
    if (real == nullptr || !std::filesystem::exists(std::string(real) + "/modern")) {
        GTEST_SKIP() << "KESTROVA_REALDATA is not set";
    }
    int bundles = 0;
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(std::string(real) + "/modern")) {
        const std::string path = entry.path().string();
        if (!entry.is_regular_file() || !bundle::IsCompressedBundle(Utf8ToUtf16(path))) {
            continue;
        }
        SCOPED_TRACE(path);
        ++bundles;
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
            EditSaveAndReopen(path, member.path, ChosenCompression::AsOriginal,
                              folder.File("edited"));
        }
        if (members.size() > 1) {
            o = bundle::LoadDocument(doc, Utf8ToUtf16(path));
            EXPECT_NE(Message(o).find(members.back().path), std::string::npos) << Message(o);
        }
    }
    EXPECT_EQ(bundles, 9);
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
                FsSpec spec;
                spec.format = format;
                spec.infoAtEnd = (layout & 1) != 0;
                spec.pad = (layout & 2) != 0;
                spec.infoCompression = code;
                spec.blockCompressions = {code, code};
                spec.nodes = nodes;
                SCOPED_TRACE(std::to_string(format) + "/" + std::to_string(layout) + "/" +
                             std::to_string(code));
                WriteBytes(folder.File("gen"), BuildUnityFs(spec, stream));
                Outcome o = bundle::LoadDocument(doc, folder.Wide("gen"));
                EXPECT_NE(Message(o).find("CAB-a ("), std::string::npos) << Message(o);
                EXPECT_NE(Message(o).find("CAB-b ("), std::string::npos) << Message(o);
                const auto choice = static_cast<ChosenCompression>(layout + 1);
                for (auto c : {ChosenCompression::AsOriginal, choice}) {
                    EditSaveAndReopen(folder.File("gen"), "CAB-b", c, folder.File("out"));
                    ASSERT_EQ(doc.entries.size(), 2u);
                    EXPECT_EQ(doc.entries[0].name, u"second");
                }
            }
        }
    }
}

// A "UnityWeb" bundle saves unchanged as itself and, edited, as a "UnityFS" one.
TEST_F(BundleDocumentTest, UnityWebSavesEditedAsUnityFs) {
    WriteBytes(folder.File("web"), BuildUnityWeb({{"CAB-w", SerializedFile("web", "w")}}));
    ASSERT_TRUE(bundle::LoadDocument(doc, folder.Wide("web")).ok);
    ASSERT_TRUE(bundle::SaveDocumentAs(doc, folder.Wide("same")).ok);
    EXPECT_EQ(ReadBytes(folder.File("same")), ReadBytes(folder.File("web")));
    EditSaveAndReopen(folder.File("web"), "CAB-w", ChosenCompression::AsOriginal,
                      folder.File("fs"));
    const Bytes fs = ReadBytes(folder.File("fs"));
    EXPECT_EQ(std::string(fs.begin(), fs.begin() + 7), "UnityFS");
}

TEST_F(BundleDocumentTest, RefusedBundlesLeaveThePreviousDocumentOpen) {
    const Bytes member = SerializedFile("kept", "k");
    WriteBytes(folder.File("good"), BuildUnityFs(FsSpec{}, member));
    ASSERT_TRUE(bundle::LoadDocument(doc, folder.Wide("good")).ok);
    const std::set<std::string> files = WorkFiles();
    const Bytes working = ReadBytes(Utf16ToUtf8(doc.WorkingCopyPath()));

    auto spec = [](std::vector<std::uint32_t> codes, auto tweak) {
        FsSpec s;
        s.blockCompressions = std::move(codes);
        s.tweak = tweak;
        return s;
    };
    struct Case {
        const char* name;
        const char* message;
        Bytes bytes;
        std::optional<std::string> member;
    };
    Bytes cut = BuildUnityFs(FsSpec{}, member);
    cut.resize(cut.size() - 10);
    const Bytes two = BuildUnityFs(spec({3},
                                        [&](auto&, auto& n) {
                                            n.push_back({0, member.size(), 4, "CAB-second"});
                                        }),
                                   member);
    const std::vector<Case> cases = {
        {"truncated", "truncated", cut, {}},
        {"LZHAM",
         "LZHAM",
         BuildUnityFs(spec({3}, [](auto& b, auto&) { b[0].flags = 4; }), member),
         {}},
        {"node outside",
         "outside",
         BuildUnityFs(spec({3}, [](auto&, auto& n) { n[0].size += 9; }), member),
         {}},
        {"LZ4 ends early",
         "ends early",
         BuildUnityFs(spec({2}, [](auto& b, auto&) { b[0].uncompressed += 8; }), member),
         {}},
        {"not serialized",
         "CAB-generated",
         BuildUnityFs(FsSpec{}, AssetLikeData(member.size(), 3)),
         {}},
        {"several members", "CAB-second", two, {}},
        {"no such member", "no file named CAB-none", two, "CAB-none"},
        {"overlapping nodes", "overlaps", two, "CAB-second"},
    };
    for (const Case& c : cases) {
        WriteBytes(folder.File("bad"), c.bytes);
        Outcome o = bundle::LoadDocument(doc, folder.Wide("bad"), c.member);
        EXPECT_FALSE(o.ok) << c.name;
        EXPECT_NE(Message(o).find(c.message), std::string::npos) << c.name << ": " << Message(o);
        EXPECT_EQ(WorkFiles(), files) << c.name;
        EXPECT_EQ(doc.documentName, u"good") << c.name;
        EXPECT_EQ(ReadBytes(Utf16ToUtf8(doc.WorkingCopyPath())), working) << c.name;
    }
}

}  // namespace
}  // namespace kestrova::testing
