// Reading bundles: every layout the engine writes, built apart from Kestrova's writer, and the
// damaged ones, each refused with a message that names what is wrong and nothing left behind.

#include "tests/bundle/bundle_test_support.h"

namespace kestrova::testing {
namespace {

using bundle::BundleArchive;

TEST_F(BundleTest, EveryUnityFsLayoutAndCompressionOpensToItsStream) {
    const Bytes stream = AssetLikeData(100000, 7);
    const std::vector<FsNode> nodes = {{0, 1000, 4, "CAB-a"}, {1000, 99000, 0, "CAB-a.resS"}};
    for (std::uint32_t format : {6u, 7u, 8u}) {
        for (std::uint32_t info = 0; info < 4; ++info) {
            for (int layout = 0; layout < 8; ++layout) {
                FsShape shape;
                shape.format = format;
                shape.infoCompression = info;
                shape.infoAtEnd = (layout & 1) != 0;
                shape.pad = (layout & 2) != 0;
                shape.aligned = format >= 7 || (layout & 4) != 0;
                shape.blockCompressions = {info, 3, 1, 2, 0};
                shape.nodes = nodes;
                SCOPED_TRACE("format " + std::to_string(format) + ", info " + std::to_string(info) +
                             ", layout " + std::to_string(layout));
                BundleArchive archive;
                Bytes opened;
                Outcome o = Open(BuildUnityFs(shape, stream), archive, &opened);
                ASSERT_TRUE(o.ok) << Message(o);
                EXPECT_EQ(opened, stream);
                EXPECT_EQ(archive.infoAligned, shape.aligned);
                ASSERT_EQ(archive.nodes.size(), 2u);
                EXPECT_EQ(archive.nodes[1].path, "CAB-a.resS");
                EXPECT_EQ(archive.nodes[1].offset, 1000u);
            }
        }
    }
}

TEST_F(BundleTest, UnityWebOpensWithTheDirectoryAtTheStartOfItsStream) {
    Bytes stream;
    const Bytes file = BuildUnityWeb(
        {{"CAB-first", AssetLikeData(5000, 1)}, {"CAB-second", AssetLikeData(70000, 2)}}, &stream);
    BundleArchive archive;
    Bytes opened;
    ASSERT_TRUE(Open(file, archive, &opened).ok);
    EXPECT_EQ(opened, stream);
    ASSERT_EQ(archive.nodes.size(), 2u);
    EXPECT_EQ(Bytes(opened.begin() + static_cast<std::ptrdiff_t>(archive.nodes[1].offset),
                    opened.begin() + static_cast<std::ptrdiff_t>(archive.nodes[1].offset +
                                                                 archive.nodes[1].size)),
              AssetLikeData(70000, 2));
}

TEST_F(BundleTest, UnityRawNodesAreRangesOfItsDataAsTheDocumentReadsThem) {
    const Bytes inner = AssetLikeData(400, 3);
    BundleLayout layout;
    const Bytes file = WrapInBundle(inner, 3, {{"extra", Bytes{1, 2, 3}}}, &layout);
    BundleArchive archive;
    Bytes opened;
    ASSERT_TRUE(Open(file, archive, &opened).ok);
    ASSERT_EQ(archive.nodes.size(), 2u);
    EXPECT_EQ(Bytes(opened.begin(), opened.begin() + 400), inner);
    EXPECT_EQ(archive.nodes[1].path, "extra");
    EXPECT_EQ(opened[archive.nodes[1].offset], 1);
}

struct Damage {
    const char* name;
    const char* message;  // a part of the refusal
    std::function<Bytes()> build;
};

FsShape Shape(std::vector<std::uint32_t> blocks,
              std::function<void(std::vector<FsBlock>&, std::vector<FsNode>&)> tweak = {}) {
    FsShape shape;
    shape.blockCompressions = std::move(blocks);
    shape.tweak = std::move(tweak);
    return shape;
}

TEST_F(BundleTest, DamagedBundlesAreRefusedByNameLeavingNothingBehind) {
    const Bytes stream = AssetLikeData(50000, 9);
    auto fs = [&](FsShape shape) {
        return [shape, &stream] { return BuildUnityFs(shape, stream); };
    };
    auto cut = [&](std::size_t keep) {
        return [keep, &stream] {
            Bytes b = BuildUnityFs(FsShape{}, stream);
            b.resize(keep);
            return b;
        };
    };
    auto grow = [](std::int64_t by) {
        return [by](std::vector<FsBlock>& b, std::vector<FsNode>& n) {
            b[0].uncompressed = static_cast<std::uint32_t>(b[0].uncompressed + by);
            n[0].size = std::min<std::uint64_t>(n[0].size, b[0].uncompressed);
        };
    };
    const std::vector<Damage> cases = {
        {"header cut", "ends inside the bundle header", cut(30)},
        {"file cut", "truncated", cut(1000)},
        {"format 9", "format 9 is not supported", fs([] {
             FsShape s;
             s.format = 9;
             return s;
         }())},
        {"unknown block compression", "unknown compression (9)",
         fs(Shape({3}, [](auto& b, auto&) { b[0].flags = 9; }))},
        {"LZHAM block", "LZHAM", fs(Shape({3}, [](auto& b, auto&) { b[0].flags = 4; }))},
        {"LZHAM blocks info", "LZHAM",
         [&] {
             Bytes b = BuildUnityFs(FsShape{}, stream);
             b[48] = 0x44;  // the flags' low byte: LZHAM, blocks info with the directory
             return b;
         }},
        {"node outside the data", "lies outside the bundle's data",
         fs(Shape({3}, [](auto&, auto& n) { n[0].size += 1; }))},
        {"LZ4 ends early", "ends early", fs(Shape({2}, grow(10)))},
        {"LZ4 runs long", "more than its declared", fs(Shape({3}, grow(-10)))},
        {"LZMA ends early", "ends early", fs(Shape({1}, grow(10)))},
        {"LZMA runs long", "runs past its declared", fs(Shape({1}, grow(-10)))},
        {"LZMA cut", "ends early", fs(Shape({1}, [](auto& b, auto&) { b[0].bytes.resize(200); }))},
        {"stored sizes differ", "sizes differ", fs(Shape({0}, grow(-1)))},
        {"blocks info damaged", "The blocks info",
         [&] {
             Bytes b = BuildUnityFs(FsShape{}, stream);
             b[0x40] ^= 0xFF;
             b[0x41] ^= 0xFF;
             return b;
         }},
        {"more data than the disk holds", "the working folder has only",
         fs(Shape({1},
                  [](auto& b, auto&) {
                      b.assign(200000, FsBlock{0xFFFFFFFFu, 0x41, Bytes{0x5D, 0, 0, 1, 0, 0}});
                  }))},
        {"UnityWeb cut", "runs past the end of the file",
         [] {
             Bytes b = BuildUnityWeb({{"CAB-x", AssetLikeData(9000, 4)}});
             b.resize(b.size() - 40);
             return b;
         }},
        {"not a bundle", "not a bundle", [] { return Bytes(64, 0x20); }},
    };
    for (const Damage& c : cases) {
        BundleArchive archive;
        Outcome o = Open(c.build(), archive);
        EXPECT_FALSE(o.ok) << c.name;
        EXPECT_NE(Message(o).find(c.message), std::string::npos) << c.name << ": " << Message(o);
        EXPECT_EQ(FilesInTemp(), 0u) << c.name;
    }
}

TEST_F(BundleTest, CancelledOpenLeavesNothingBehind) {
    FsShape shape;
    shape.blockCompressions.assign(40, 3);
    const Bytes file = BuildUnityFs(shape, AssetLikeData(400000, 5));
    bundle::MemorySource source(file);
    BundleArchive archive;
    ASSERT_TRUE(bundle::ReadBundleArchive(source, archive).ok);
    std::stop_source stop;
    Outcome o = bundle::ExtractDataStream(
        source, archive, StreamPath(),
        [&](std::u16string_view, float fraction) {
            if (fraction > 0.3f) {
                stop.request_stop();
            }
        },
        stop.get_token());
    EXPECT_EQ(Message(o), "Cancelled.");
    EXPECT_EQ(FilesInTemp(), 0u);
}

}  // namespace
}  // namespace kestrova::testing
