// Writing bundles: rebuilt bundles read back with the same stream and nodes in every compression,
// unchanged ones are the original's bytes, unchanged blocks keep their compressed bytes, and a
// cancelled write leaves nothing.

#include "document/bundle/bundle_writer.h"
#include "document/bundle/node_export.h"
#include "tests/bundle/bundle_test_support.h"

namespace kestrova::testing {
namespace {

using bundle::BundleArchive;
using bundle::ChosenCompression;

class BundleWriterTest : public BundleTest {
protected:
    // Writes `stream` as the new data of `original` and opens the result.
    Bytes Rewrite(const Bytes& original, const Bytes& stream, bundle::BundleWrite request,
                  BundleArchive& written) {
        // Files are made anew rather than overwritten, which some file systems flush at once.
        for (const char* name : {"new-stream", "old.bundle", "new.bundle"}) {
            std::filesystem::remove(folder.File(name));
        }
        WriteBytes(folder.File("new-stream"), stream);
        WriteBytes(folder.File("old.bundle"), original);
        bundle::FileSource source;
        BundleArchive archive;
        EXPECT_TRUE(source.Open(folder.Wide("old.bundle")));
        EXPECT_TRUE(bundle::ReadBundleArchive(source, archive).ok);
        request.original = &archive;
        request.originalSource = &source;
        request.dataStream = folder.Wide("new-stream");
        if (request.nodes.empty()) {
            request.nodes = archive.nodes;
        }
        Outcome o = bundle::WriteBundle(request, folder.Wide("new.bundle"));
        EXPECT_TRUE(o.ok) << Message(o);
        Bytes reopened;
        o = Open(ReadBytes(folder.File("new.bundle")), written, &reopened);
        EXPECT_TRUE(o.ok) << Message(o);
        EXPECT_EQ(reopened, stream);
        return ReadBytes(folder.File("new.bundle"));
    }
};

TEST_F(BundleWriterTest, RebuiltBundlesReadBackInEveryCompressionAndLayout) {
    const Bytes stream = AssetLikeData(2 * 0x20000 + 100, 11);
    for (std::uint32_t format : {6u, 8u}) {
        for (int layout = 0; layout < 4; ++layout) {
            FsShape shape;
            shape.format = format;
            shape.infoAtEnd = (layout & 1) != 0;
            shape.pad = (layout & 2) != 0;
            shape.infoCompression = static_cast<std::uint32_t>(layout);
            const Bytes original = BuildUnityFs(shape, stream);
            for (auto choice : {ChosenCompression::AsOriginal, ChosenCompression::Stored,
                                ChosenCompression::Lz4, ChosenCompression::Lzma}) {
                bundle::BundleWrite request;
                request.compression = choice;
                BundleArchive written;
                Rewrite(original, stream, request, written);
                EXPECT_EQ(written.flags & 0x2C3, original[48] | ((original[47] & 2) << 8));
                if (choice == ChosenCompression::AsOriginal) {
                    // LZ4HC in 128 KiB blocks, as the engine writes them.
                    ASSERT_EQ(written.blocks.size(), 3u);
                    EXPECT_EQ(written.blocks[0].uncompressedSize, 0x20000u);
                    EXPECT_EQ(written.blocks[0].flags, 3);
                }
            }
        }
    }
}

TEST_F(BundleWriterTest, UnchangedBundleIsTheOriginalAndUnchangedBlocksKeepTheirBytes) {
    FsShape shape;
    shape.blockCompressions.assign(4, 3);
    Bytes stream = AssetLikeData(4 * 0x20000, 12);
    const Bytes original = BuildUnityFs(shape, stream);
    bundle::BundleWrite request;
    request.changed.emplace();
    BundleArchive written;
    EXPECT_EQ(Rewrite(original, stream, request, written), original);

    // One byte of the third block changes: the others are copied, not compressed again.
    stream[2 * 0x20000 + 5] ^= 0xFF;
    request.changed->push_back({2 * 0x20000 + 5, 1});
    const Bytes rebuilt = Rewrite(original, stream, request, written);
    BundleArchive old;
    ASSERT_TRUE(Open(original, old).ok);
    for (std::size_t i = 0; i < 4; ++i) {
        const bundle::BundleBlock& a = old.blocks[i];
        const bundle::BundleBlock& b = written.blocks[i];
        const bool same = std::equal(
            original.begin() + static_cast<std::ptrdiff_t>(a.fileOffset),
            original.begin() + static_cast<std::ptrdiff_t>(a.fileOffset + a.compressedSize),
            rebuilt.begin() + static_cast<std::ptrdiff_t>(b.fileOffset),
            rebuilt.begin() + static_cast<std::ptrdiff_t>(b.fileOffset + b.compressedSize));
        EXPECT_EQ(same, i != 2) << "block " << i;
    }

    // The first node grows by ten bytes: the original's blocks wholly after it are moved, not
    // compressed again; the blocks from the edit up to them are.
    const std::uint64_t firstEnd = 0x20000 + 50;
    stream[2 * 0x20000 + 5] ^= 0xFF;
    Bytes grown = stream;
    grown.insert(grown.begin() + 100, 10, 0xAB);
    request.nodes = {{0, firstEnd + 10, 4, "CAB-a"},
                     {firstEnd + 10, stream.size() - firstEnd, 0, "CAB-a.resS"}};
    request.changed = {{100, firstEnd + 10 - 100}};
    request.tailFrom = firstEnd + 10;
    request.tailShift = 10;
    const Bytes moved = Rewrite(original, grown, request, written);
    ASSERT_EQ(written.blocks.size(), 5u);
    for (std::size_t i = 2; i < 4; ++i) {
        const bundle::BundleBlock& a = old.blocks[i];
        const bundle::BundleBlock& b = written.blocks[i + 1];
        EXPECT_EQ(b.streamOffset, a.streamOffset + 10);
        EXPECT_TRUE(std::equal(
            original.begin() + static_cast<std::ptrdiff_t>(a.fileOffset),
            original.begin() + static_cast<std::ptrdiff_t>(a.fileOffset + a.compressedSize),
            moved.begin() + static_cast<std::ptrdiff_t>(b.fileOffset),
            moved.begin() + static_cast<std::ptrdiff_t>(b.fileOffset + b.compressedSize)))
            << "block " << i;
    }
}

TEST_F(BundleWriterTest, NodesOfTheNewStreamReplaceTheOriginalsAndCancelLeavesNothing) {
    const Bytes original = BuildUnityFs(FsShape{}, AssetLikeData(1000, 13));
    const Bytes longer = AssetLikeData(300000, 14);
    bundle::BundleWrite request;
    request.nodes = {{0, 100000, 4, "CAB-one"}, {100000, 200000, 0, "CAB-one.resS"}};
    BundleArchive written;
    Rewrite(original, longer, request, written);
    EXPECT_EQ(written.nodes, request.nodes);

    bundle::FileSource source;
    ASSERT_TRUE(source.Open(folder.Wide("old.bundle")));
    BundleArchive archive;
    ASSERT_TRUE(bundle::ReadBundleArchive(source, archive).ok);
    request.original = &archive;
    request.dataStream = folder.Wide("new-stream");
    std::stop_source stop;
    stop.request_stop();
    const std::size_t before = std::distance(std::filesystem::directory_iterator(folder.path()),
                                             std::filesystem::directory_iterator());
    Outcome o = bundle::WriteBundle(request, folder.Wide("cancelled.bundle"), {}, stop.get_token());
    EXPECT_EQ(Message(o), "Cancelled.");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()),
                            std::filesystem::directory_iterator()),
              static_cast<std::ptrdiff_t>(before));
}

TEST(NodePathTest, PathsThatWouldLeaveTheFolderAreRefused) {
    std::vector<std::u16string> parts;
    EXPECT_TRUE(bundle::SplitNodePath("Resources/unity_builtin_extra", parts).ok);
    EXPECT_EQ(parts, (std::vector<std::u16string>{u"Resources", u"unity_builtin_extra"}));
    for (const char* bad :
         {"", "/etc/passwd", "\\x", "../x", "a/../../x", "a\\..\\x", "C:x", "a//b", "a/."}) {
        EXPECT_FALSE(bundle::SplitNodePath(bad, parts).ok) << bad;
    }
}

// The real bundles: each lists, opens to a stream in which every serialized node is a file of
// exactly its node's size, saves unchanged as the same bytes and rebuilds to the same stream.
TEST_F(BundleWriterTest, RealBundlesOpenSaveUnchangedAndRebuild) {
    const std::vector<std::string> bundles = RealBundles();
    if (bundles.empty()) {
        GTEST_SKIP() << "KESTROVA_REALDATA is not set";
    }
    for (const std::string& path : bundles) {
        const Bytes bytes = ReadBytes(path);
        SCOPED_TRACE(path);
        BundleArchive archive;
        Bytes stream;
        Outcome o = Open(bytes, archive, &stream);
        ASSERT_TRUE(o.ok) << Message(o);
        for (const bundle::BundleNode& node : archive.nodes) {
            if (node.path.find(".res") != std::string::npos) {
                continue;
            }
            // A serialized file's header states its length: big-endian at 4, or at 24 from
            // format 22.
            const std::size_t at = node.offset;
            const bool wide = GetBig32(stream, at + 8) >= 22;
            const std::uint64_t stated =
                wide ? (std::uint64_t{GetBig32(stream, at + 24)} << 32) | GetBig32(stream, at + 28)
                     : GetBig32(stream, at + 4);
            EXPECT_EQ(stated, node.size) << node.path;
        }
        bundle::BundleWrite request;
        request.changed.emplace();
        BundleArchive written;
        EXPECT_EQ(Rewrite(bytes, stream, request, written), bytes);
        if (archive.kind == bundle::BundleKind::UnityFS) {
            request.changed.reset();
            Rewrite(bytes, stream, request, written);
            EXPECT_EQ(written.nodes, archive.nodes);
            EXPECT_EQ(written.flags, archive.flags);
        }
    }
    EXPECT_EQ(bundles.size(), 9u);
}

}  // namespace
}  // namespace kestrova::testing
