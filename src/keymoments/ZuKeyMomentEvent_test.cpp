#include "keymoments/ZuKeyMomentEvent.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <unordered_set>

#include "kitfoundation/PHDiff.h"

namespace lumora {
namespace {

ZuKeyMomentEvent event(std::string code, double videoTime, std::string displayName = "Goal",
                       std::optional<std::string> displayTime = "12'", std::optional<std::string> player = "J. Smith",
                       std::optional<std::string> team = "Blues", double eventTime = 0) {
    return ZuKeyMomentEvent(std::move(code), videoTime, eventTime, std::move(displayName), std::move(displayTime),
                            std::move(player), std::move(team));
}

TEST(ZuKeyMomentEvent, HappeningJoinsDisplayTimeAndNameTrimmed) {
    EXPECT_EQ(event("g", 1, "Goal", "12'").happening, "12' - Goal");
    EXPECT_EQ(event("g", 1, "Goal", std::nullopt).happening, "- Goal");
    EXPECT_EQ(event("g", 1, "", "12'").happening, "12' -");
    // Only the ends of the joined text are trimmed; inner spaces stay.
    EXPECT_EQ(event("g", 1, " Penalty  kick\t", " 90'+2 ").happening, "90'+2  -  Penalty  kick");
    // Line breaks are not white space here; Unicode spaces are.
    EXPECT_EQ(event("g", 1, "Goal\n",
                    "\xC2\xA0"
                    "12'")
                  .happening,
              "12' - Goal\n");
    EXPECT_EQ(event("g", 1, "Goal\xE3\x80\x80", std::nullopt).happening, "- Goal");
}

TEST(ZuKeyMomentEvent, ContestantJoinsPlayerAndTeamTrimmed) {
    EXPECT_EQ(event("g", 1, "Goal", "1'", "J. Smith", "Blues").contestant, "J. Smith (Blues)");
    EXPECT_EQ(event("g", 1, "Goal", "1'", "J. Smith", std::nullopt).contestant, "J. Smith");
    EXPECT_EQ(event("g", 1, "Goal", "1'", "J. Smith", "").contestant, "J. Smith");
    EXPECT_EQ(event("g", 1, "Goal", "1'", std::nullopt, "Blues").contestant, "(Blues)");
    EXPECT_EQ(event("g", 1, "Goal", "1'", std::nullopt, std::nullopt).contestant, "");
    EXPECT_EQ(event("g", 1, "Goal", "1'", "\tJ.  Smith ", " Blues ").contestant, "J.  Smith  ( Blues )");
}

TEST(ZuKeyMomentEvent, MediaTimesAtTheKitsTimescale) {
    const auto e = event("g", 12.5, "Goal", "12'", "p", "t", 3.25);
    EXPECT_EQ(e.startTime.value, 12'500'000'000);
    EXPECT_EQ(e.startTime.timescale, 1'000'000'000);
    EXPECT_TRUE(e.startTime.isNumeric());
    EXPECT_EQ(e.eventTime.value, 3'250'000'000);
    EXPECT_EQ(e.eventTime.timescale, 1'000'000'000);
    // Times that are not finite give the invalid time.
    for (double bad :
         {std::nan(""), std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()}) {
        const auto odd = event("g", bad, "Goal", "1'", "p", "t", bad);
        EXPECT_TRUE(odd.startTime.isInvalid());
        EXPECT_TRUE(odd.eventTime.isInvalid());
    }
}

TEST(ZuKeyMomentEvent, EqualityAndHashingUseOnlyCodeAndVideoTime) {
    const auto a = event("goal", 61.0, "Goal", "12'", "J. Smith", "Blues", 720);
    const auto sameMoment = event("goal", 61.0, "Own goal", std::nullopt, "K. Jones", std::nullopt, 5);
    EXPECT_EQ(a, sameMoment);
    EXPECT_EQ(a.hashValue(), sameMoment.hashValue());
    EXPECT_NE(a, event("card", 61.0));
    EXPECT_NE(a, event("goal", 61.5));
    EXPECT_NE(event("ab", 1), event("a", 1));

    const auto positiveZero = event("kick-off", 0.0);
    const auto negativeZero = event("kick-off", -0.0);
    EXPECT_EQ(positiveZero, negativeZero);
    EXPECT_EQ(positiveZero.hashValue(), negativeZero.hashValue());

    // An event whose time is NaN is still equal to itself, so sets and the diff can find it.
    const auto lost = event("x", std::nan(""));
    EXPECT_EQ(lost, lost);
    std::unordered_set<ZuKeyMomentEvent> set{a, sameMoment, positiveZero, negativeZero, lost, lost};
    EXPECT_EQ(set.size(), 3u);
}

TEST(ZuKeyMomentEvent, DiffMatchesEventsByCodeAndVideoTime) {
    static_assert(Diffable<ZuKeyMomentEvent>);
    const auto a = event("a", 10), b = event("b", 20), c = event("c", 30);
    // B comes back with other texts: matched, so it moves and is never updated; C is new; A is gone.
    const auto bRenamed = event("b", 20, "Renamed", std::nullopt, std::nullopt, std::nullopt);
    const auto steps = PHDiff::steps(std::vector{a, b}, std::vector{c, bRenamed});
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_TRUE(steps[0].isDelete());
    EXPECT_EQ(steps[0].value(), a);
    EXPECT_TRUE(steps[1].isInsert());
    EXPECT_EQ(steps[1].value(), c);

    const auto nanEvent = event("x", std::nan(""));
    EXPECT_TRUE(PHDiff::steps(std::vector{nanEvent, a}, std::vector{nanEvent, a}).empty());
    const auto moved = PHDiff::steps(std::vector{a, b, c}, std::vector{c, a, b});
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_TRUE(moved[0].isMove());
    EXPECT_EQ(moved[0].fromIndex(), 2u);
    EXPECT_EQ(moved[0].toIndex(), 0u);
}

}  // namespace
}  // namespace lumora
