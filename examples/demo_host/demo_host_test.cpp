#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "demo_host/AssetExtras.h"

namespace {

TEST(DemoHostExtras, BadAnswersOfTheHostsBackEndAreNamedAndWhatCanBeReadIsKept) {
    using demohost::AssetExtras;
    for (const char* bad : {"", "not json", "[1,2]", "{\"breaks\":7}", "{\"keyMoments\":{}}"}) {
        EXPECT_FALSE(AssetExtras::parseAdBreaks(bad)) << bad;
        EXPECT_FALSE(AssetExtras::parseKeyMoments(bad)) << bad;
    }
    EXPECT_NE(AssetExtras::parseAdBreaks("{").error().find("not JSON"), std::string::npos);
    // Ads and moments without their numbers are left out; the rest are kept, empty breaks dropped.
    auto groups = AssetExtras::parseAdBreaks(
        R"({"breaks":[{"ads":[{"id":"a","startTime":10,"duration":5},{"id":"b","startTime":"x","duration":5}]},)"
        R"({"ads":[]},7,{"ads":[{"startTime":60,"duration":8}]}]})");
    ASSERT_TRUE(groups) << groups.error();
    ASSERT_EQ(groups->size(), 2u);
    EXPECT_EQ((*groups)[0], (std::vector<lumora::AdInfo>{lumora::AdInfo("a", 10, 5)}));
    EXPECT_EQ((*groups)[1][0].id, "ad");
    auto moments = AssetExtras::parseKeyMoments(
        R"({"keyMoments":[{"code":"G","videoTime":23,"displayName":"Goal","displayTime":"23'","player":"J. Smith"},)"
        R"({"code":"X"},{"videoTime":3},"junk"]})");
    ASSERT_TRUE(moments) << moments.error();
    ASSERT_EQ(moments->size(), 1u);
    EXPECT_EQ((*moments)[0].happening, "23' - Goal");
    EXPECT_EQ((*moments)[0].contestant, "J. Smith");
}

}  // namespace
