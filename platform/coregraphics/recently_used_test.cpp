#include "coregraphics/RecentlyUsed.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "coregraphics/FontEngine.h"

namespace {

using coregraphics::RecentlyUsed;

struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

TEST(RecentlyUsedTest, AFullMapForgetsTheLeastRecentlyUsedEntryFirst) {
    std::vector<int> forgotten;
    RecentlyUsed<std::string, int, TextHash, std::equal_to<>> map(3, [&](int& v) { forgotten.push_back(v); });
    map.insert("a", 1);
    map.insert("b", 2);
    map.insert("c", 3);
    ASSERT_NE(map.find(std::string_view("a")), nullptr);  // a is the most recent now; b the least
    map.insert("d", 4);
    EXPECT_EQ(map.size(), 3u);
    EXPECT_EQ(forgotten, (std::vector<int>{2}));
    EXPECT_EQ(map.find(std::string_view("b")), nullptr);
    EXPECT_EQ(*map.find(std::string_view("a")), 1);
    // Replacing a value forgets the old one and keeps the entry; what is left goes in order of use.
    map.insert("c", 30);
    EXPECT_EQ(forgotten, (std::vector<int>{2, 3}));
    map.insert("e", 5);
    map.insert("f", 6);
    EXPECT_EQ(forgotten, (std::vector<int>{2, 3, 4, 1}));
    EXPECT_EQ(*map.find(std::string_view("c")), 30);
    map.clear();
    EXPECT_EQ(map.size(), 0u);
    EXPECT_EQ(forgotten.size(), 7u);
    map.insert("g", 7);  // usable again after clearing
    EXPECT_EQ(*map.find(std::string_view("g")), 7);
}

TEST(RecentlyUsedTest, TheFontEngineShapesALineOnceAndAnswersAgainFromItsCache) {
    auto& engine = coregraphics::FontEngine::shared();
    const coregraphics::CGFont font{"Test", "", 400, false, 13.25};
    const auto before = engine.statistics();
    const coregraphics::CGFloat first = engine.width("A line measured once, then found again", font);
    const auto between = engine.statistics();
    for (int i = 0; i < 5; ++i) EXPECT_EQ(engine.width("A line measured once, then found again", font), first);
    const auto after = engine.statistics();
    EXPECT_LE(between.linesShaped - before.linesShaped, 1u);
    EXPECT_EQ(after.linesShaped, between.linesShaped);
    EXPECT_EQ(after.widthLookups - between.widthLookups, 5u);
}

}  // namespace
