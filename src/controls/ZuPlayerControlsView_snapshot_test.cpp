// The controls over a frame of video, as the viewer sees them: a stream on demand and a live stream at its edge
// under the player screen's controls, and an ad under the ad controls, each at the widest density (0) and at the one
// the player screen uses (5), on every screen class (a small phone on its side, a phone upright and on its side, a
// tablet on its side and upright), with the unsafe edges of each.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "avfoundation/testing/AVPlayerItemTesting.h"
#include "controls/VideoControlsView.h"
#include "controls/ZuAdControlsView.h"
#include "controls/testing/ZuControlsTestSupport.h"
#include "uikit/testing/SnapshotTesting.h"

using namespace lumora;

namespace {

struct AdDensity : ZuAdControlsViewDelegate {
    ZuPlayerControlsDisplayDensity density = 0;
    ZuPlayerControlsDisplayDensity adControlsDisplayDensity(ZuAdControlsView&) override { return density; }
};

using lumora::testing::ScreenClass;

class ZuControlsSnapshotTest
    : public lumora::testing::ZuControlsTest,
      public ::testing::WithParamInterface<std::tuple<ScreenClass, ZuPlayerControlsDisplayDensity>> {
  protected:
    ZuControlsSnapshotTest() : ZuControlsTest(screen()) {}

    void SetUp() override {
        ZuControlsTest::SetUp();
        controls = VideoControlsView::create(player);  // what the player screen shows
        controls->setDelegate(controlsDelegate);
        controlsDelegate->density = density();
    }
    static const ScreenClass& screen() { return std::get<0>(GetParam()); }
    static ZuPlayerControlsDisplayDensity density() { return std::get<1>(GetParam()); }
    // Plays from the start to `seconds` and pauses there, so the frame and the controls hold still.
    void playTo(double seconds) {
        player->play(false);
        advancePlayheadPast(seconds);
        player->pause(false);
        clock.runUntilIdle();
        // How far the media has loaded shows in the slider: let the loading finish, however fast it ran.
        auto item = player->avplayer()->currentItem();
        ASSERT_TRUE(devserver::testing::runUntil(
            [&] { return !avfoundation::testing::AVPlayerItemTesting::isFetchingSegment(*item); }));
        clock.runUntilIdle();  // the ranges reach the slider on a later main-queue turn
        window->layoutIfNeeded();
    }
    std::string name(const std::string& what) const {
        return "controls_" + what + "_density" + std::to_string(density().rawValue()) + screen().goldenSuffix();
    }
};

}  // namespace

TEST_P(ZuControlsSnapshotTest, OnDemand) {
    loadReady(catalogue("vod-clear"));
    showControls();
    playTo(12.4);
    EXPECT_SNAPSHOT(*player, name("vod"));
}

TEST_P(ZuControlsSnapshotTest, LiveAtTheEdge) {
    origin->setPlaylist("/live/master.m3u8",
                        devserver::testing::multivariantPlaylist({{150000, "640x360", "media.m3u8"}}));
    origin->setDynamicPlaylist("/live/media.m3u8", [] {
        const double now = dispatch::secondsFromNanoseconds(dispatch::Clock::current()->now());
        return devserver::testing::mediaPlaylist(10, 6.0, false, static_cast<long long>(now / 6));
    });
    loadReady(url("/live/master.m3u8"));
    showControls();
    playTo(1);  // playing starts at the live edge: the elapsed time alone, and the live badge (disabled) at density 0
    EXPECT_SNAPSHOT(*player, name("live"));
}

TEST_P(ZuControlsSnapshotTest, DuringAnAd) {
    auto densities = std::make_shared<AdDensity>();
    densities->density = density();
    auto adControls = ZuAdControlsView::create(player);
    adControls->setDelegate(densities);
    player->addSubview(adControls);
    adControls->snp().makeConstraints([](uikit::ConstraintMaker& make) { make.edges().equalToSuperview(); });
    loadReady(catalogue("vod-ads"));
    player->update({{AdInfo("a", 10, 5), AdInfo("b", 15, 12)}});
    playTo(17.2);
    ASSERT_FALSE(adControls->isHidden());
    EXPECT_SNAPSHOT(*player, name("ad"));
    adControls->removeFromSuperview();
}

INSTANTIATE_TEST_SUITE_P(ScreensAndDensities, ZuControlsSnapshotTest,
                         ::testing::Combine(::testing::ValuesIn(lumora::testing::screens::all()),
                                            ::testing::Values(ZuPlayerControlsDisplayDensity(0),
                                                              ZuPlayerControlsDisplayDensity(5))),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_density" +
                                    std::to_string(std::get<1>(info.param).rawValue());
                         });
