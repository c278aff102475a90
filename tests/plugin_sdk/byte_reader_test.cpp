// The byte reader against a small reference that indexes a vector directly: random reads of
// every width in both byte orders, views, takes, skips and seeks, with counts up to 2^64 - 1.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "sdk/byte_reader.h"

namespace kestrova {
namespace {

// What the reader must do, written the plain way: an index that moves only when all bytes fit.
struct Reference {
    std::vector<std::uint8_t> bytes;
    std::uint64_t position = 0;
    bool failed = false;

    bool Fits(std::uint64_t count) const { return count <= bytes.size() - position; }
    bool Move(std::uint64_t count) {
        if (!Fits(count)) {
            failed = true;
            return false;
        }
        position += count;
        return true;
    }
    std::uint64_t Word(std::uint64_t at, int width, bool big) const {
        std::uint64_t value = 0;
        for (int i = 0; i < width; ++i) {
            value |= std::uint64_t{bytes[at + i]} << (8 * (big ? width - 1 - i : i));
        }
        return value;
    }
};

template <class Word>
void CheckWord(ByteReader& reader, Reference& reference, bool big,
               bool (ByteReader::*read)(Word&)) {
    Word value = 0x5A;
    const std::uint64_t at = reference.position;
    const bool fits = reference.Move(sizeof(Word));
    ASSERT_EQ((reader.*read)(value), fits);
    EXPECT_EQ(value, fits ? reference.Word(at, sizeof(Word), big) : 0x5A);
}

TEST(ByteReaderTest, AgreesWithAPlainReferenceOnRandomReads) {
    std::mt19937_64 random(17);
    for (int run = 0; run < 300; ++run) {
        Reference reference;
        reference.bytes.resize(random() % 40);
        for (std::uint8_t& b : reference.bytes) {
            b = static_cast<std::uint8_t>(random());
        }
        ByteReader reader(reference.bytes);
        for (int step = 0; step < 30; ++step) {
            // Small counts, counts just past the end and counts that wrap a 64-bit add.
            const std::uint64_t counts[] = {random() % 12, reference.bytes.size() + 1,
                                            ~std::uint64_t{0} - random() % 3};
            const std::uint64_t count = counts[random() % 3];
            switch (random() % 12) {
                case 0:
                    CheckWord(reader, reference, false, &ByteReader::ReadLittleEndian16);
                    break;
                case 1:
                    CheckWord(reader, reference, false, &ByteReader::ReadLittleEndian32);
                    break;
                case 2:
                    CheckWord(reader, reference, false, &ByteReader::ReadLittleEndian64);
                    break;
                case 3:
                    CheckWord(reader, reference, true, &ByteReader::ReadBigEndian16);
                    break;
                case 4:
                    CheckWord(reader, reference, true, &ByteReader::ReadBigEndian32);
                    break;
                case 5:
                    CheckWord(reader, reference, true, &ByteReader::ReadBigEndian64);
                    break;
                case 6:
                    CheckWord(reader, reference, true, &ByteReader::ReadByte);
                    break;
                case 7:
                    EXPECT_EQ(reader.Skip(count), reference.Move(count));
                    break;
                case 8: {
                    const std::uint64_t to = count % (reference.bytes.size() + 2);
                    const bool inside = to <= reference.bytes.size();
                    EXPECT_EQ(reader.Seek(to), inside);
                    reference.position = inside ? to : reference.position;
                    reference.failed |= !inside;
                    break;
                }
                case 9: {
                    const std::uint64_t at = reference.position;
                    const bool fits = reference.Fits(count);
                    reference.failed |= !fits;
                    const std::span<const std::uint8_t> view = reader.View(count);
                    ASSERT_EQ(view.size(), fits ? count : 0);
                    EXPECT_TRUE(view.empty() || view.data() == reference.bytes.data() + at);
                    break;
                }
                case 10: {
                    const std::uint64_t at = reference.position;
                    std::span<const std::uint8_t> taken;
                    const bool fits = reference.Move(count);
                    ASSERT_EQ(reader.Take(count, taken), fits);
                    EXPECT_EQ(taken.size(), fits ? count : 0);
                    EXPECT_TRUE(taken.empty() || taken.data() == reference.bytes.data() + at);
                    break;
                }
                default: {
                    const std::uint64_t left = reference.bytes.size() - reference.position;
                    const std::uint64_t expected = count < left ? count : left;
                    EXPECT_EQ(reader.TakeAtMost(count).size(), expected);
                    reference.position += expected;
                    break;
                }
            }
            ASSERT_EQ(reader.position(), reference.position);
            ASSERT_EQ(reader.failed(), reference.failed);
            EXPECT_EQ(reader.remaining(), reference.bytes.size() - reference.position);
        }
    }
}

TEST(ByteReaderTest, WritersAndPaddingMatchTheReaders) {
    std::vector<std::uint8_t> out;
    PutBigEndian32(out, 0x01020304);
    PutLittleEndian32(out, 0x01020304);
    PutBytes(out, std::vector<std::uint8_t>{9, 8});
    ByteReader reader(out);
    std::uint32_t big = 0;
    std::uint32_t little = 0;
    ASSERT_TRUE(reader.ReadBigEndian32(big) && reader.ReadLittleEndian32(little));
    EXPECT_EQ(big, 0x01020304u);
    EXPECT_EQ(little, 0x01020304u);
    EXPECT_EQ(reader.TakeRest().size(), 2u);
    for (std::uint64_t n : {0ull, 1ull, 3ull, 4ull, 5ull, 0xFFFFFFFFull}) {
        EXPECT_EQ(RoundUp4(n) - n, PaddingFor(n)) << n;
    }
}

}  // namespace
}  // namespace kestrova
