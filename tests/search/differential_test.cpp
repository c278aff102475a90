// The fast engine against the plain per-position search on thousands of random working copies,
// asset tables and queries in every mode: the results and the status texts must be the same.

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "reference_search.h"
#include "search_fixture.h"

namespace kestrova::testing {
namespace {

class Generator {
public:
    explicit Generator(std::uint64_t seed) : random_(seed) {}

    std::uint64_t Below(std::uint64_t bound) { return bound == 0 ? 0 : random_() % bound; }
    bool OneIn(std::uint64_t n) { return Below(n) == 0; }

    // Mostly a small alphabet so that texts and numbers repeat, with zero runs and 0xFF bytes.
    std::string Image(std::size_t size) {
        static const char alphabet[] = "abAB01 \x00\xFF\x80\x7F?";
        std::string image(size, '\0');
        for (char& byte : image) {
            byte = OneIn(3) ? static_cast<char>(Below(256)) : alphabet[Below(sizeof alphabet - 1)];
        }
        return image;
    }

    std::vector<AssetEntry> Table(std::uint64_t span) {
        static const char16_t* names[] = {u"alpha", u"beta", u"alpha", u" ", u"\t", u"gamma"};
        std::vector<AssetEntry> entries(Below(9));
        for (AssetEntry& entry : entries) {
            entry.name = names[Below(6)];
            entry.pathId = static_cast<std::uint32_t>(OneIn(4) ? 0xFFFFFFF0 + Below(3) : Below(5));
            entry.offset = static_cast<std::uint32_t>(Below(span + 10));
            entry.size =
                static_cast<std::uint32_t>(OneIn(5) ? 0 : Below(OneIn(3) ? span + 20 : 40));
        }
        return entries;
    }

    std::u16string Query(const std::string& image, std::int32_t mode) {
        std::string q;
        auto slice = [&](std::size_t length) {
            std::size_t at = Below(image.size() + 1);
            return image.substr(at, length);
        };
        switch (mode) {
            case 0:
            case 1: {
                q = slice(1 + Below(5));
                for (char& c : q) {
                    if (OneIn(3) && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) {
                        c = static_cast<char>(c ^ 0x20);
                    }
                }
                break;
            }
            case 2:
            case 3: {
                static const char* unusual[] = {
                    "0",          "-0",          "-1",          "4294967295",  "4294967296",
                    "2147483647", "2147483648",  "-2147483648", "-2147483649", " \t+5",
                    "abc",        "-4294967295", "99999999999", "1e3"};
                if (OneIn(2)) {
                    q = unusual[Below(std::size(unusual))];
                } else {
                    std::string word = slice(4);
                    word.resize(4, '\0');
                    std::uint32_t value = 0;
                    std::memcpy(&value, word.data(), 4);
                    q = std::to_string(
                        mode == 2 ? static_cast<std::int64_t>(static_cast<std::int32_t>(value))
                                  : static_cast<std::int64_t>(value));
                }
                break;
            }
            case 4:
            case 5: {
                static const char digits[] = "0123456789ABCDEFabcdef";
                std::string bytes = slice(1 + Below(3));
                for (unsigned char byte : bytes) {
                    q += digits[byte >> 4];
                    q += digits[byte & 15];
                }
                if (OneIn(3) && !q.empty()) {
                    q.pop_back();  // an odd length
                }
                for (char& c : q) {
                    if (OneIn(3) && c >= 'A' && c <= 'F') {
                        c = static_cast<char>(c + 32);
                    }
                }
                if (OneIn(8)) {
                    q.insert(Below(q.size() + 1), 1, "gx 0-"[Below(5)]);
                }
                break;
            }
            default: {
                static const char* unusual[] = {"0",    "-0",    "nan", "-nan", "inf",
                                                "1e39", "1e-46", "1",   "0.1",  "  -2.5"};
                if (OneIn(2)) {
                    q = unusual[Below(std::size(unusual))];
                } else {
                    std::string word = slice(8);
                    word.resize(8, '\0');
                    char text[64];
                    if (mode == 6) {
                        float value = 0;
                        std::memcpy(&value, word.data(), 4);
                        std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
                    } else {
                        double value = 0;
                        std::memcpy(&value, word.data(), 8);
                        std::snprintf(text, sizeof text, "%.17g", value);
                    }
                    q = text;
                }
            }
        }
        return Latin1ToUtf16(q);
    }

private:
    std::mt19937_64 random_;
};

TEST(Differential, FastEngineAgreesWithThePerPositionSearch) {
    Generator generator(20261207);
    SearchFixture fixture;
    int withResults = 0;
    for (int round = 0; round < 4000; ++round) {
        std::size_t size = generator.Below(generator.OneIn(10) ? 3000 : 300);
        std::string image = generator.Image(size);
        auto base = static_cast<std::uint32_t>(generator.Below(size / 4 + 3));
        fixture.SetWorkingCopy(image, base, generator.Table(size));
        std::int32_t mode = generator.OneIn(40) ? 8 : static_cast<std::int32_t>(generator.Below(8));
        std::u16string query = generator.Query(image, mode);

        SearchRun fast = fixture.Search(query, mode);
        ReferenceResult plain = ReferenceSearch(image, fixture.doc, query, mode);
        ASSERT_TRUE(fast.outcome.ok) << round;
        ASSERT_EQ(fast.results, plain.results) << "round " << round << " mode " << mode;
        ASSERT_EQ(fast.statusTexts, plain.statusTexts) << "round " << round << " mode " << mode;
        withResults += fast.results.empty() ? 0 : 1;
    }
    // The generator must produce hits often enough for the comparison to mean something.
    EXPECT_GT(withResults, 700);
}

TEST(Differential, HitsAcrossReadBlocksAndManyAssets) {
    Generator generator(99);
    SearchFixture fixture;
    const std::size_t size = (5u << 20) / 2;
    std::string image = generator.Image(size);
    // "Needle" straddles the first two read blocks' ends, and lies past the last asset.
    for (std::size_t at : {std::size_t{(1u << 20) - 3}, std::size_t{(2u << 20) - 1}, size - 6}) {
        image.replace(at, 6, "Needle");
    }
    std::vector<AssetEntry> entries;
    for (std::uint32_t i = 0; i < 400; ++i) {
        entries.push_back(
            MakeEntry(u"asset" + Latin1ToUtf16(std::to_string(i)), i, i * 6000, 6000));
    }
    fixture.SetWorkingCopy(image, 64, entries);
    for (std::int32_t mode : {0, 1, 4}) {
        std::u16string query = mode == 4 ? u"4e6565646c65" : (mode == 0 ? u"nEEDLE" : u"Needle");
        SearchRun fast = fixture.Search(query, mode);
        ReferenceResult plain = ReferenceSearch(image, fixture.doc, query, mode);
        EXPECT_EQ(fast.results, plain.results) << mode;
        EXPECT_EQ(fast.statusTexts, plain.statusTexts) << mode;
        EXPECT_EQ(fast.results.size(), 2U) << mode;
    }
}

}  // namespace
}  // namespace kestrova::testing
