#include "foundation/Date.h"
#include "foundation/UUID.h"

#include <gtest/gtest.h>

#include <chrono>
#include <unordered_set>

#include "dispatch/testing/ManualClockScope.h"

using foundation::Date;
using foundation::UUID;

TEST(RuntimeDate, NowFollowsTheOneClock) {
    dispatch::testing::ManualClockScope scope;
    const Date start = Date::now();
    EXPECT_DOUBLE_EQ(start.timeIntervalSince1970(), 1767225600.0);  // 2026-01-01T00:00:00Z
    scope.advance(30.25);
    EXPECT_DOUBLE_EQ(Date::now().timeIntervalSince(start), 30.25);
    EXPECT_DOUBLE_EQ(start.timeIntervalSinceNow(), -30.25);

    scope.clock().setWallNow(dispatch::WallTime(std::chrono::milliseconds(1'500)));
    EXPECT_DOUBLE_EQ(Date::now().timeIntervalSince1970(), 1.5);
}

TEST(RuntimeDate, ArithmeticAndOrder) {
    const Date reference;  // the 1970 reference date, not "now"
    EXPECT_EQ(reference.timeIntervalSince1970(), 0.0);
    const Date later = reference.addingTimeInterval(300);
    EXPECT_EQ(later, Date(300));
    EXPECT_EQ(later - 300, reference);
    EXPECT_EQ(later.timeIntervalSince(reference), 300.0);
    EXPECT_EQ(reference.timeIntervalSince(later), -300.0);
    EXPECT_LT(reference, later);
    EXPECT_GT(later + 0.001, later);
    Date moving(10);
    moving += 5;
    EXPECT_EQ(moving.timeIntervalSince1970(), 15.0);

    // Nanoseconds survive the conversion from the wall clock.
    const auto wall = dispatch::WallTime(std::chrono::seconds(1'000) + std::chrono::nanoseconds(1'001));
    EXPECT_NEAR(Date::fromWallTime(wall).timeIntervalSince1970(), 1000.000001001, 1e-12);
}

TEST(RuntimeUUID, RandomVersion4InUpperCase) {
    std::unordered_set<UUID> seen;
    for (int i = 0; i < 1000; ++i) {
        const UUID id;
        EXPECT_TRUE(seen.insert(id).second);
        EXPECT_EQ(id.uuid()[6] >> 4, 4);
        EXPECT_EQ(id.uuid()[8] & 0xc0, 0x80);
        const std::string text = id.uuidString();
        ASSERT_EQ(text.size(), 36u);
        for (std::size_t c = 0; c < text.size(); ++c) {
            if (c == 8 || c == 13 || c == 18 || c == 23) {
                EXPECT_EQ(text[c], '-');
            } else {
                EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(text[c])) || (text[c] >= 'A' && text[c] <= 'F'))
                    << text;
            }
        }
        EXPECT_EQ(UUID::fromString(text), id);
    }
}

TEST(RuntimeUUID, ParsesEitherCaseAndRejectsEverythingElse) {
    const auto upper = UUID::fromString("E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    ASSERT_TRUE(upper);
    EXPECT_EQ(upper->uuid()[0], 0xE6);
    EXPECT_EQ(upper->uuid()[15], 0x5F);
    EXPECT_EQ(UUID::fromString("e621e1f8-c36c-495a-93fc-0c247a3e6e5f"), upper);
    EXPECT_EQ(upper->uuidString(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");

    for (const char* bad : {"", "E621E1F8-C36C-495A-93FC-0C247A3E6E5", "E621E1F8-C36C-495A-93FC-0C247A3E6E5FF",
                            "E621E1F8C36C-495A-93FC-0C247A3E6E5F0", "E621E1F8-C36C-495A-93FC_0C247A3E6E5F",
                            "G621E1F8-C36C-495A-93FC-0C247A3E6E5F", "E621E1F8-C36C-495A-93FC-0C247A3E6E5 ",
                            "{621E1F8-C36C-495A-93FC-0C247A3E6E5}", "E621E1F-8C36C-495A-93FC-0C247A3E6E5F"}) {
        EXPECT_FALSE(UUID::fromString(bad)) << bad;
    }
    EXPECT_NE(UUID(), UUID());
}
