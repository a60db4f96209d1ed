// Random sequences of what a viewer and the system do to a playing video on demand: whatever the order, no
// seek stays pending once everything has been answered, no published time is negative or not a number, and
// the published playhead stays inside the item's seekable window.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>

#include "playback/testing/ZuPlayerTestSupport.h"
#include "uikit/UIApplication.h"

using namespace lumora;
using avfoundation::AVPlayerItem;
using coremedia::CMTime;
using lumora::testing::runUntil;
using lumora::testing::ZuPlayerTest;

namespace {

class ZuPlayerPropertyTest : public ZuPlayerTest, public ::testing::WithParamInterface<unsigned> {
  protected:
    void SetUp() override {
        ZuPlayerTest::SetUp();
        origin->setPlaylist("/vod/master.m3u8",
                            devserver::testing::multivariantPlaylist({{150000, "640x360", "media.m3u8"}}));
        origin->setPlaylist("/vod/media.m3u8", devserver::testing::mediaPlaylist(20, 6.0));
        player->update({{AdInfo("a", 20, 10)}, {AdInfo("b", 60, 5), AdInfo("c", 65, 5)}});
        watch(player->currentTimeProperty(), "currentTime");
        watch(player->currentTimeWithoutAdsProperty(), "currentTimeWithoutAds");
        watch(player->durationProperty(), "duration");
        watch(player->durationWithoutAdsProperty(), "durationWithoutAds");
        watch(player->DVRStartTimeProperty(), "DVRStartTime");
    }
    void TearDown() override {
        observations.clear();
        ZuPlayerTest::TearDown();
    }

    // Every value published from now on must be a valid time that is a number and not negative.
    void watch(const foundation::KVOProperty<CMTime>& property, std::string name) {
        observations.push_back(property.observe(foundation::NSKeyValueObservingOptions::new_,
                                                [this, name](const foundation::NSKeyValueObservedChange<CMTime>& c) {
                                                    const double s = c.newValue->seconds();
                                                    if (!c.newValue->isValid() || std::isnan(s) || s < 0) {
                                                        bad.push_back(name + " " + c.newValue->description() +
                                                                      " after " + trail.str());
                                                    }
                                                }));
    }

    void checkSettled() {
        settleSeeks();
        EXPECT_FALSE(player->hasPendingSeek()) << trail.str();
        EXPECT_FALSE(player->hasSeekFallbackObservation()) << trail.str();
        auto item = player->avplayer()->currentItem();
        if (!item || item->status() != AVPlayerItem::Status::readyToPlay || !player->isObservingPlayer()) return;
        clock.runUntilIdle();
        const auto ranges = item->seekableTimeRanges();
        ASSERT_FALSE(ranges.empty());
        const double at = player->currentTime().seconds();
        EXPECT_GE(at, ranges.front().start.seconds() - 1e-9) << trail.str();
        EXPECT_LE(at, ranges.back().end().seconds() + 1e-9) << trail.str();
    }

    std::vector<foundation::NSKeyValueObservation> observations;
    std::vector<std::string> bad;
    std::ostringstream trail;
};

}  // namespace

TEST_P(ZuPlayerPropertyTest, NoSeekStaysPendingAndNoPublishedTimeLeavesTheWindow) {
    std::mt19937 random(GetParam());
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    auto seconds = [&](double low, double high) { return std::uniform_real_distribution<double>(low, high)(random); };
    const float rates[] = {0.5f, 1.0f, 1.25f, 1.5f, 2.0f, 3.0f, 0.0f, std::nanf("")};
    auto& application = *uikit::UIApplication::shared();

    loadReady(url("/vod/master.m3u8"));
    for (int step = 0; step < 60; ++step) {
        switch (pick(9)) {
            case 0:
                trail << "play ";
                player->play(pick(2) == 0);
                break;
            case 1:
                trail << "pause ";
                player->pause(pick(2) == 0);
                break;
            case 2: {
                const double to = seconds(-20, 150);
                const bool withAds = pick(2) == 0;
                trail << "seek(" << to << (withAds ? ",ads) " : ") ");
                player->seek(to, withAds, pick(2) == 0);
                break;
            }
            case 3: {
                const double by = pick(2) == 0 ? 15 : -15;
                trail << "jump(" << by << ") ";
                player->jump(by);
                break;
            }
            case 4: {
                const float rate = rates[pick(8)];
                trail << "rate(" << rate << ") ";
                player->changeVideoRate(rate);
                break;
            }
            case 5:
                trail << "background ";
                application.simulateEnterBackground();
                break;
            case 6:
                trail << "foreground ";
                application.simulateEnterForeground();
                // The delegate loads the stream again when the item was dropped.
                if (!player->avplayer()->currentItem()) {
                    trail << "(reloaded) ";
                    loadReady(url("/vod/master.m3u8"));
                }
                break;
            case 7: {
                const double d = seconds(0, 8);
                trail << "wait(" << d << ") ";
                advance(d, 0.5);
                break;
            }
            default: {
                const double d = pick(2) == 0 ? 299 : 301;
                trail << "away(" << d << ") ";
                clock.advance(d);
                break;
            }
        }
        if (pick(3) == 0) {
            checkSettled();
            if (HasFailure()) break;
        }
    }
    application.simulateEnterForeground();
    checkSettled();
    EXPECT_TRUE(bad.empty()) << bad.front();
}

INSTANTIATE_TEST_SUITE_P(Seeds, ZuPlayerPropertyTest, ::testing::Values(1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u));
