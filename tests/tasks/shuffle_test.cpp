// The shuffle's generator and weighted pool.
#include "tasks/shuffle_random.h"

#include <gtest/gtest.h>

#include <thread>

namespace chartloom {
namespace {

TEST(ShuffleRandom, SequenceForASeed) {
    seedShuffle(1);
    std::vector<uint32_t> draws;
    for (int i = 0; i < 5; ++i)
        draws.push_back(drawShuffle());
    EXPECT_EQ(draws, (std::vector<uint32_t>{41, 18467, 6334, 26500, 19169}));
    seedShuffle(0xFFFFFFFFu);  // wraps modulo 2^32 without trouble
    uint32_t first = drawShuffle();
    EXPECT_EQ(first, ((0xFFFFFFFFu * 214013u + 2531011u) >> 16) & 0x7FFFu);
}

TEST(ShuffleRandom, StateBelongsToTheThread) {
    seedShuffle(1);
    drawShuffle();
    uint32_t other = 0;
    std::thread t([&] {
        seedShuffle(1);
        other = drawShuffle();
    });
    t.join();
    EXPECT_EQ(other, 41u);
    EXPECT_EQ(drawShuffle(), 18467u);  // this thread's sequence went on untouched
}

TEST(PickPool, PlacesFollowMatchWithinBounds) {
    SimilarArtistList similar;
    for (auto [match, name] : std::vector<std::pair<int32_t, std::string>>{{101, "Seed"},
                                                                           {250, "Huge"},
                                                                           {50, "Half"},
                                                                           {0, "Zero"},
                                                                           {-5, "Negative"},
                                                                           {30, "Unused"}}) {
        similar.emplace(match, name);
    }
    // List order: Huge(250), Seed(101), Half(50), Unused(30), Zero(0), Negative(-5).
    std::vector<bool> used = {true, true, true, false, true, true};
    auto pool = buildPickPool(similar, used);
    std::map<std::string, int> places;
    for (const std::string* name : pool)
        ++places[*name];
    EXPECT_EQ(places, (std::map<std::string, int>{{"Huge", 101}, {"Seed", 101}, {"Half", 50}}));
    EXPECT_EQ(pool.size(), 252u);
    EXPECT_EQ(*pool.front(), "Huge");
    EXPECT_EQ(*pool.back(), "Half");
    EXPECT_TRUE(buildPickPool(similar, std::vector<bool>(6, false)).empty());
}

}  // namespace
}  // namespace chartloom
