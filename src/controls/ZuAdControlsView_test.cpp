// The ad controls over a stream with ads of the local back end: shown for each break with the ad's title and
// the time left in it, hidden after it, driven by the ad events of the player's proxy.
#include "controls/ZuAdControlsView.h"

#include <gtest/gtest.h>

#include "controls/testing/ZuControlsTestSupport.h"
#include "uikit/testing/EventSimulator.h"

using namespace lumora;
using lumora::testing::ZuControlsTest;

namespace {

struct DensityChooser : ZuAdControlsViewDelegate {
    ZuPlayerControlsDisplayDensity density = 10;
    ZuPlayerControlsDisplayDensity adControlsDisplayDensity(ZuAdControlsView&) override { return density; }
};

class ZuAdControlsViewTest : public ZuControlsTest {
  protected:
    void SetUp() override {
        ZuControlsTest::SetUp();
        adControls = ZuAdControlsView::create(player);
    }
    void TearDown() override {
        if (adControls) adControls->removeFromSuperview();
        adControls.reset();
        ZuControlsTest::TearDown();
    }
    // Placed over the player once, as a host does.
    void place() {
        player->addSubview(adControls);
        adControls->snp().makeConstraints([](uikit::ConstraintMaker& make) { make.edges().equalToSuperview(); });
        window->layoutIfNeeded();
    }
    // Plays the stream with ads from the start: a break of two 5-second ads at 10 s, a lone ad of 8 s at 60 s.
    void playWithAds() {
        loadReady(catalogue("vod-ads"));
        player->update({{AdInfo("a", 10, 5), AdInfo("b", 15, 5)}, {AdInfo("c", 60, 8)}});
        player->play(false);
    }
    std::string adText() { return adControls->functionals()->timeLabel()->text().value_or(""); }
    // Plays on until the playhead has passed `seconds` (stream time).
    void playTo(double seconds) {
        advancePlayheadPast(seconds);
        clock.runUntilIdle();
    }

    std::shared_ptr<ZuAdControlsView> adControls;
};

}  // namespace

TEST_F(ZuAdControlsViewTest, ABreakShowsEachAdWithItsCountdownAndHidesAfterIt) {
    place();
    EXPECT_TRUE(adControls->isHidden());  // no ad yet
    playWithAds();
    playTo(9.5);
    EXPECT_TRUE(adControls->isHidden());

    playTo(10.05);
    EXPECT_FALSE(adControls->isHidden());
    ASSERT_TRUE(adControls->currentAd());
    EXPECT_EQ(adControls->currentAd()->id, "a");
    EXPECT_EQ(adText(), "Ad 1 of 2 · 00:05");
    playTo(12.05);
    EXPECT_EQ(adText(), "Ad 1 of 2 · 00:03");

    playTo(15.05);  // the second ad of the break follows at once
    EXPECT_FALSE(adControls->isHidden());
    EXPECT_EQ(adText(), "Ad 2 of 2 · 00:05");
    playTo(19.5);
    EXPECT_EQ(adText(), "Ad 2 of 2 · 00:01");

    playTo(20.15);  // the break is over
    EXPECT_TRUE(adControls->isHidden());
    EXPECT_FALSE(adControls->currentAd());
    EXPECT_EQ(adText(), "");
    // The player's ad delegate heard the same events.
    EXPECT_EQ(delegate->calls("ad"),
              (std::vector<std::string>{"ad start a 0", "ad finish a 0", "ad start b 1", "ad finish b 1 completed"}));

    // A lone ad has no count.
    player->seek(59, true, false);
    settleSeeks();
    playTo(60.05);
    EXPECT_EQ(adText(), "Ad 1 · 00:08");
    playTo(68.15);
    EXPECT_TRUE(adControls->isHidden());
}

TEST_F(ZuAdControlsViewTest, WhenThePlayheadIsInNoAdTheControlsAreHidden) {
    place();
    playWithAds();
    playTo(12.05);
    ASSERT_FALSE(adControls->isHidden());
    EXPECT_EQ(adText(), "Ad 1 of 2 · 00:03");

    // The host moves the first break further on while its first ad plays: the signalling forgets the ad
    // without a finish event, and the playhead is in content now.
    player->update({{AdInfo("a", 100, 5), AdInfo("b", 105, 5)}, {AdInfo("c", 60, 8)}});
    playTo(12.35);
    EXPECT_TRUE(adControls->isHidden());
    playTo(40);
    EXPECT_TRUE(adControls->isHidden());

    // The next ad shows again, and the host taking every ad away while it plays hides it for good.
    player->seek(59, true, false);
    settleSeeks();
    playTo(60.05);
    EXPECT_FALSE(adControls->isHidden());
    EXPECT_EQ(adText(), "Ad 1 · 00:08");
    player->update({});
    playTo(60.35);
    EXPECT_TRUE(adControls->isHidden());
    playTo(70);
    EXPECT_TRUE(adControls->isHidden());
}

TEST_F(ZuAdControlsViewTest, MadeDuringAnAdItPicksTheAdUp) {
    adControls.reset();
    playWithAds();
    playTo(11);
    adControls = ZuAdControlsView::create(player);
    EXPECT_FALSE(adControls->isHidden());
    ASSERT_TRUE(adControls->currentAd());
    EXPECT_EQ(adControls->currentAd()->title, "Ad 1 of 2");
    place();
    playTo(20.15);
    EXPECT_TRUE(adControls->isHidden());
}

TEST_F(ZuAdControlsViewTest, PlayPauseAndFullScreenGoToThePlayerAndItsDelegate) {
    place();
    auto chooser = std::make_shared<DensityChooser>();
    EXPECT_EQ(adControls->layoutMargins(), (uikit::UIEdgeInsets{26, 36, 26, 36}));  // no delegate: the default
    adControls->setDelegate(chooser);
    adControls->setNeedsUpdateDisplayDensity();
    EXPECT_EQ(adControls->layoutMargins(), (uikit::UIEdgeInsets{14, 30, 14, 30}));
    playWithAds();
    playTo(10.05);
    window->layoutIfNeeded();

    // Only play / pause in the middle; the time label and full screen at the bottom, never up next.
    auto playback = adControls->playbacks();
    auto functional = adControls->functionals();
    EXPECT_EQ(playback->contentView()->arrangedSubviews(),
              (std::vector<std::shared_ptr<uikit::UIView>>{playback->playPauseButton()}));
    EXPECT_EQ(functional->lSectionView()->arrangedSubviews(),
              (std::vector<std::shared_ptr<uikit::UIView>>{functional->timeLabel()}));
    EXPECT_EQ(functional->rSectionView()->arrangedSubviews(),
              (std::vector<std::shared_ptr<uikit::UIView>>{functional->fullScreenButton()}));
    EXPECT_TRUE(functional->nextButton()->isHidden());
    EXPECT_TRUE(playback->isPlaying());

    uikit::testing::TouchSimulator touches(window);
    delegate->log.clear();
    touches.tap(playback->playPauseButton());
    EXPECT_EQ(player->avplayer()->rate(), 0.0f);
    clock.runUntilIdle();
    EXPECT_FALSE(playback->isPlaying());
    touches.tap(playback->playPauseButton());
    EXPECT_EQ(player->avplayer()->rate(), 1.0f);
    EXPECT_EQ(delegate->count("toggle"), 2);

    touches.tap(functional->fullScreenButton());
    EXPECT_EQ(delegate->count("full screen"), 1);
    EXPECT_FALSE(player->isFullScreen());
    player->setIsFullScreen(true);
    EXPECT_TRUE(functional->isFullScreen());

    // Taken away, it follows nothing; put back (also straight from another superview), it binds once more.
    adControls->removeFromSuperview();
    player->setIsFullScreen(false);
    EXPECT_TRUE(functional->isFullScreen());
    window->addSubview(adControls);
    place();
    EXPECT_FALSE(functional->isFullScreen());
    delegate->log.clear();
    touches.tap(playback->playPauseButton());
    EXPECT_EQ(delegate->count("toggle"), 1);
}

TEST_F(ZuAdControlsViewTest, WithoutAPlayerItDoesNothing) {
    auto orphan = ZuAdControlsView::create(nullptr);
    window->addSubview(orphan);
    orphan->playbackControlsViewWillTogglePlayback(*orphan->playbacks());
    orphan->functionalControlsViewWillChangeFullScreen(*orphan->functionals(), true);
    EXPECT_TRUE(orphan->isHidden());
    EXPECT_FALSE(orphan->playbacks()->isPlaying());
    orphan->removeFromSuperview();
}
