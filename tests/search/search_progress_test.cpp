// The progress line shown for ranges of positions must be exactly the sequence that a loop over
// every single position shows, also for file lengths where rounding to single precision makes
// several positions share one whole percentage or reach 100.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "editor/search/search_progress.h"

namespace kestrova {
namespace {

struct Recorder {
    std::vector<std::u16string> texts;
    SearchStatus status() {
        return [this](std::u16string_view text) { texts.emplace_back(text); };
    }
};

// Every position from `from` to the end, with the count going up by one at each of `steps`.
std::vector<std::u16string> PerPosition(std::uint64_t length, std::uint64_t from,
                                        const std::vector<std::uint64_t>& steps) {
    std::vector<std::u16string> texts;
    std::uint32_t found = 0;
    std::size_t nextStep = 0;
    for (std::uint64_t p = from; p < length; ++p) {
        while (nextStep < steps.size() && steps[nextStep] <= p) {
            ++found, ++nextStep;
        }
        auto percent =
            static_cast<float>(static_cast<double>(p) / static_cast<double>(length) * 100.0);
        if (std::fmod(percent, 1.0f) == 0.0f) {
            std::u16string text = SearchProgress::Text(found, static_cast<std::int64_t>(percent));
            if (texts.empty() || texts.back() != text) {
                texts.push_back(text);
            }
        }
    }
    return texts;
}

std::vector<std::u16string> InRanges(std::uint64_t length, std::uint64_t from,
                                     const std::vector<std::uint64_t>& steps) {
    Recorder recorder;
    SearchProgress progress(length, recorder.status());
    std::uint32_t found = 0;
    std::uint64_t at = from;
    for (std::uint64_t step : steps) {
        progress.VisitRange(at, step, found);
        progress.VisitAt(step, ++found);
        at = step + 1;
    }
    progress.VisitRange(at, length, found);
    return recorder.texts;
}

TEST(SearchProgress, LargeFilesShowEachWholePercentOnceAndMayReachHundred) {
    // Near 2^25 bytes a high whole percentage covers several positions, low ones may be missed
    // (no position comes within the float's precision of them), and the last positions round up
    // to 100.
    const std::uint64_t length = (1ULL << 25) + 12345;
    auto expected = PerPosition(length, 0, {});
    EXPECT_EQ(InRanges(length, 0, {}), expected);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(expected.back(), u"Number Found:0\tPercent Searched:100%");
    EXPECT_LT(expected.size(), 101U);
}

TEST(SearchProgress, CountChangesInsideAWindowShowBothCounts) {
    std::mt19937_64 random(7);
    for (std::uint64_t length : {1ULL, 3ULL, 100ULL, 777ULL, 100000ULL, (1ULL << 24) + 3}) {
        std::vector<std::uint64_t> steps;
        std::uint64_t p = random() % (length / 50 + 1);
        for (int i = 0; i < 40 && p < length; ++i) {
            steps.push_back(p);
            p += 1 + random() % (length / 20 + 1);
        }
        std::uint64_t from = steps.empty() ? 0 : steps.front() / 2;
        EXPECT_EQ(InRanges(length, from, steps), PerPosition(length, from, steps)) << length;
    }
}

TEST(SearchProgress, PositionsBeyondTheEndStillReportTheirPercent) {
    Recorder recorder;
    SearchProgress progress(10, recorder.status());
    progress.VisitAt(25, 1);
    progress.VisitAt(26, 1);
    progress.VisitAt(30, 1);
    EXPECT_EQ(recorder.texts,
              (std::vector<std::u16string>{u"Number Found:1\tPercent Searched:250%",
                                           u"Number Found:1\tPercent Searched:260%",
                                           u"Number Found:1\tPercent Searched:300%"}));
}

}  // namespace
}  // namespace kestrova
