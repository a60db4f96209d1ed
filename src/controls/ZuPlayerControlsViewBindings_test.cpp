// The controls view bound to a player of the local back end: time, duration and the live edge, seeks in
// flight, loaded ranges, rate and speed, full screen, jumps, and the cast player under control.
#include <gtest/gtest.h>

#include <cmath>

#include "controls/testing/ZuControlsTestSupport.h"
#include "uikit/testing/EventSimulator.h"

using namespace lumora;
using lumora::testing::RecordingControlsDelegate;
using lumora::testing::runUntil;
using lumora::testing::sameImage;
using lumora::testing::ZuControlsTest;
using State = uikit::UIControl::State;

namespace {

class ZuControlsBindingsTest : public ZuControlsTest {
  protected:
    void SetUp() override {
        ZuControlsTest::SetUp();
        const auto master = devserver::testing::multivariantPlaylist({{150000, "640x360", "media.m3u8"}});
        // A stream on demand of 20 segments of 6 s whose requests the test can hold back.
        origin->setPlaylist("/vod/master.m3u8", master);
        origin->setPlaylist("/vod/media.m3u8", devserver::testing::mediaPlaylist(20, 6.0));
        // A clear live window of ten 6-second segments that moves with the manual clock.
        origin->setPlaylist("/live/master.m3u8", master);
        origin->setDynamicPlaylist("/live/media.m3u8", [] {
            const double now = dispatch::secondsFromNanoseconds(dispatch::Clock::current()->now());
            return devserver::testing::mediaPlaylist(10, 6.0, false, static_cast<long long>(now / 6));
        });
    }

    std::shared_ptr<ZuPlayerButton> liveButton() { return functionals()->liveButton(); }
    uikit::testing::TouchSimulator touches() { return uikit::testing::TouchSimulator(window); }
    double position() const { return player->avplayer()->currentTime().seconds(); }
};

}  // namespace

TEST_F(ZuControlsBindingsTest, PlayerTicksMoveTheSliderTheTimeLabelAndTheLoadedRanges) {
    loadReady(url("/vod/master.m3u8"));
    showControls();
    clock.runUntilIdle();
    EXPECT_EQ(sliders()->maximumValue(), 120);
    EXPECT_EQ(timeText(), "00:00 / 02:00");
    EXPECT_TRUE(liveButton()->isHidden());  // on demand: no live button

    player->play(false);
    advance(5.3);
    EXPECT_NEAR(sliderValue(), 5.3, 0.11);
    EXPECT_EQ(timeText(), "00:05 / 02:00");
    const auto ranges = sliders()->slider()->loadedRangesView()->ranges();
    ASSERT_FALSE(ranges.empty());
    EXPECT_EQ(ranges.front().start.seconds(), 0);
    EXPECT_GE(ranges.front().end().seconds(), 12);

    // With an ad of 20 s at 10 s the viewer sees content time: the range, the loaded ranges and the total.
    player->update({{AdInfo("ad", 10, 20)}});
    advance(0.2);
    EXPECT_EQ(sliders()->maximumValue(), 100);
    EXPECT_EQ(timeText(), "00:05 / 01:40");
    const auto contentRanges = sliders()->slider()->loadedRangesView()->ranges();
    ASSERT_FALSE(contentRanges.empty());
    EXPECT_LE(contentRanges.back().end().seconds(), 100);

    // Ads said to add up to more than the stream (overlapping) never show a negative duration.
    player->update({{AdInfo("ad", 10, 100), AdInfo("again", 15, 100)}});
    advance(0.2);
    EXPECT_EQ(timeText(), "00:05 / 00:00");
}

TEST_F(ZuControlsBindingsTest, ASeekInFlightFreezesTheSliderAndTheLiveButton) {
    loadReady(url("/vod/master.m3u8"));
    showControls();
    player->play(false);
    advance(2);
    origin->hold("/vod/seg10.ts");
    controls->sliderControlsViewDidSeekTo(*sliders(), 62);
    EXPECT_EQ(controlsDelegate->calls("seek to"), std::vector<std::string>{"seek to 62"});
    ASSERT_TRUE(player->hasPendingSeek());
    const float frozen = sliderValue();
    for (int i = 0; i < 5; ++i) {
        clock.advance(0.1);
        clock.runUntilIdle();
    }
    EXPECT_EQ(sliderValue(), frozen);

    origin->release("/vod/seg10.ts");
    settleSeeks();
    advance(0.3);
    EXPECT_NEAR(sliderValue(), 62.3, 0.11);
    EXPECT_EQ(timeText(), "01:02 / 02:00");
}

TEST_F(ZuControlsBindingsTest, JumpsStartFromAPendingSeekAndStayWithinTheStream) {
    loadReady(url("/vod/master.m3u8"));
    showControls();
    settleSeeks();
    auto row = controls->playbacks();

    controls->playbackControlsViewWillJump(*row, -15);  // from 0: stops at the start
    EXPECT_EQ(controlsDelegate->log, (std::vector<std::string>{"seek to 0", "jump -15"}));

    origin->hold("/vod/seg15.ts");
    controls->sliderControlsViewDidSeekTo(*sliders(), 90);
    controlsDelegate->log.clear();
    controls->playbackControlsViewWillJump(*row, 15);  // from the pending 90, not the 0 still shown
    EXPECT_EQ(controlsDelegate->log, (std::vector<std::string>{"seek to 105", "jump 15"}));
    controls->playbackControlsViewWillJump(*row, 15);
    controls->playbackControlsViewWillJump(*row, 15);  // 120 + 15 stops at the end
    EXPECT_EQ(controlsDelegate->calls("seek to"),
              (std::vector<std::string>{"seek to 105", "seek to 120", "seek to 120"}));
    origin->release("/vod/seg15.ts");
    settleSeeks();

    // A release within a second of the end seeks to the end exactly; the held jump button repeats.
    controlsDelegate->log.clear();
    controls->sliderControlsViewDidSeekTo(*sliders(), 119.2f);
    EXPECT_EQ(controlsDelegate->log, std::vector<std::string>{"seek to 120"});
    settleSeeks();
    controlsDelegate->log.clear();
    controls->sliderControlsViewDidSeekTo(*sliders(), 30);
    settleSeeks();
    auto sim = touches();
    auto finger = sim.begin(uikit::testing::TouchSimulator::centerOf(row->rewindButton()));
    clock.advance(0.65);
    sim.end(finger);
    settleSeeks();
    EXPECT_EQ(controlsDelegate->calls("jump"), (std::vector<std::string>{"jump -15", "jump -15", "jump -15"}));
    EXPECT_EQ(position(), 0);
}

TEST_F(ZuControlsBindingsTest, TheLiveButtonIsEnabledAwayFromTheLiveEdgeWithAndWithoutAds) {
    loadReady(url("/live/master.m3u8"));
    controlsDelegate->density = 0;  // the density with the live button
    showControls();
    ASSERT_TRUE(player->isLive());
    advance(0.2);
    // The window's start, far from the edge: the elapsed time, the end, and the way back to live.
    EXPECT_FALSE(liveButton()->isHidden());
    EXPECT_TRUE(liveButton()->isEnabled());
    EXPECT_EQ(timeText(), "00:00 / 00:42");

    // The live button takes the viewer to the edge: the elapsed time alone, the button shown but disabled.
    touches().tap(liveButton());
    EXPECT_EQ(controlsDelegate->log, (std::vector<std::string>{"seek to 42", "live"}));
    settleSeeks();
    advance(0.2);
    EXPECT_FALSE(liveButton()->isHidden());
    EXPECT_FALSE(liveButton()->isEnabled());
    EXPECT_EQ(timeText().find('/'), std::string::npos) << timeText();

    // Eleven seconds back is away from the edge; ten seconds back still counts as live.
    controls->sliderControlsViewDidSeekTo(*sliders(), static_cast<float>(player->duration().seconds() - 11));
    settleSeeks();
    advance(0.2);
    EXPECT_TRUE(liveButton()->isEnabled());
    EXPECT_NE(timeText().find(" / "), std::string::npos) << timeText();
    controls->sliderControlsViewDidSeekTo(*sliders(), static_cast<float>(player->duration().seconds() - 9.5));
    settleSeeks();
    advance(0.2);
    EXPECT_FALSE(liveButton()->isEnabled());
    EXPECT_EQ(timeText().find('/'), std::string::npos) << timeText();

    // With 15 s of ads behind the playhead the edge is found in content time: still live, no duration shown.
    player->update({{AdInfo("ad", 6, 15)}});
    advance(0.2);
    EXPECT_NEAR(sliders()->maximumValue(), player->duration().seconds() - 15, 1e-3);
    EXPECT_FALSE(liveButton()->isEnabled());
    EXPECT_EQ(timeText().find('/'), std::string::npos) << timeText();

    // While a seek is in flight the button keeps its state.
    origin->hold("/live/seg0.ts");
    origin->hold("/live/seg1.ts");
    controls->sliderControlsViewDidSeekTo(*sliders(), 0);
    ASSERT_TRUE(player->hasPendingSeek());
    clock.advance(0.3);
    clock.runUntilIdle();
    EXPECT_FALSE(liveButton()->isEnabled());
    origin->release("/live/seg0.ts");
    origin->release("/live/seg1.ts");
}

TEST_F(ZuControlsBindingsTest, RateSpeedAndMuteAreReflected) {
    loadReady(url("/vod/master.m3u8"));
    controlsDelegate->density = 0;  // the density with the speed button
    showControls();
    auto playback = controls->playbacks();
    auto speed = functionals()->speedButton();
    using Graph = AssetGraph::BottomControls;
    auto speedImage = [](float rate) { return Graph::speedAssetFor(rate).image(); };

    touches().tap(playback->playPauseButton());
    clock.runUntilIdle();
    EXPECT_EQ(controlsDelegate->calls("toggle"), std::vector<std::string>{"toggle 1"});
    EXPECT_TRUE(playback->isPlaying());
    EXPECT_TRUE(
        sameImage(playback->playPauseButton()->image(State::normal()), image(&AssetGraph::MiddleControls::pause)));

    // The speed button proposes 0.5: the player plays at half speed, muted, and the button shows it.
    touches().tap(speed);
    clock.runUntilIdle();
    EXPECT_EQ(player->avplayer()->rate(), 0.5f);
    EXPECT_TRUE(player->isMuted());
    EXPECT_EQ(functionals()->videoPlaybackSpeed(), VideoPlaybackSpeed::slowMo);
    EXPECT_TRUE(sameImage(speed->image(State::normal()), speedImage(0.5f)));
    touches().tap(speed);  // 1.5
    touches().tap(speed);  // 2
    touches().tap(speed);  // back to 1, unmuted
    clock.runUntilIdle();
    EXPECT_EQ(controlsDelegate->calls("speed"),
              (std::vector<std::string>{"speed 0.5", "speed 1.5", "speed 2", "speed 1"}));
    EXPECT_EQ(player->avplayer()->rate(), 1.0f);
    EXPECT_FALSE(player->isMuted());

    // A rate the button does not offer leaves it as it is.
    player->avplayer()->setRate(1.25f);
    clock.runUntilIdle();
    EXPECT_EQ(functionals()->videoPlaybackSpeed(), VideoPlaybackSpeed::normal);

    // Paused, a chosen speed still shows, and playback later starts at it.
    touches().tap(playback->playPauseButton());
    clock.runUntilIdle();
    EXPECT_FALSE(playback->isPlaying());
    EXPECT_EQ(controlsDelegate->calls("toggle").back(), "toggle 0");
    touches().tap(speed);
    clock.runUntilIdle();
    EXPECT_EQ(functionals()->videoPlaybackSpeed(), VideoPlaybackSpeed::slowMo);
    EXPECT_TRUE(sameImage(speed->image(State::normal()), speedImage(0.5f)));
    touches().tap(playback->playPauseButton());
    clock.runUntilIdle();
    EXPECT_EQ(player->avplayer()->rate(), 0.5f);
}

TEST_F(ZuControlsBindingsTest, FullScreenIsProposedByTheButtonAndFollowedByName) {
    showControls();
    auto button = functionals()->fullScreenButton();
    touches().tap(button);
    EXPECT_EQ(delegate->count("full screen"), 1);
    EXPECT_FALSE(player->isFullScreen());  // the host decides
    EXPECT_FALSE(functionals()->isFullScreen());

    player->setIsFullScreen(true);
    EXPECT_TRUE(functionals()->isFullScreen());
    EXPECT_TRUE(sameImage(button->image(State::normal()), image(&AssetGraph::BottomControls::exitFullScreen)));
    player->setIsFullScreen(false);
    EXPECT_TRUE(sameImage(button->image(State::normal()), image(&AssetGraph::BottomControls::enterFullScreen)));

    // The row's other buttons reach the player's delegate.
    controls->presentNextContent(*functionals());
    controls->presentRelatedContent(*functionals());
    EXPECT_EQ(delegate->count("event other"), 1);
    EXPECT_EQ(delegate->count("related"), 1);
}

TEST_F(ZuControlsBindingsTest, LeavingTheHierarchyEndsTheBindingsAndEachEntryBindsOnce) {
    loadReady(url("/vod/master.m3u8"));
    showControls();
    player->play(false);
    advance(3);
    controls->removeFromSuperview();
    const float left = sliderValue();
    advance(3);
    EXPECT_EQ(sliderValue(), left);
    EXPECT_FALSE(controls->isUserInteractingWithSlider());

    // Back in (straight from one superview to another as well): one binding per value.
    auto cast = castToChromecast();
    cast->setConnectionState(CastConnectionState::connecting);  // present but not under control yet
    showControls();
    window->addSubview(controls);
    player->addSubview(controls);
    advance(0.3);
    EXPECT_NEAR(sliderValue(), 6.3, 0.11);

    // A live cast stream played faster at its live edge is set back to normal speed once per duration value.
    cast->setConnectionState(CastConnectionState::canControlCastPlayer);
    cast->load(CastStream("a", "A", std::nullopt, nullptr, true, "video", 100, 100, 2.0f, CastPlayerState::playing, {},
                          std::nullopt),
               100);
    cast->setRate(2.0f);
    cast->clearCalls();
    cast->setDuration(100);
    clock.runUntilIdle();
    EXPECT_EQ(cast->calls(), std::vector<std::string>{"setPlaybackRate(1)"});
}

TEST_F(ZuControlsBindingsTest, UnderCastControlTheControlsDriveTheCastPlayer) {
    loadReady(url("/vod/master.m3u8"));
    controlsDelegate->density = 0;  // the density with the speed button
    showControls();
    auto cast = castToChromecast();
    cast->load(CastStream("a", "A", std::nullopt, nullptr, false, "video", 0, 600, 1.0f, CastPlayerState::playing, {},
                          std::nullopt),
               30);
    cast->clearCalls();
    const float localRate = player->avplayer()->rate();

    touches().tap(controls->playbacks()->playPauseButton());
    controls->playbackControlsViewWillJump(*controls->playbacks(), 15);
    touches().tap(functionals()->speedButton());
    controls->sliderControlsViewDidSeekTo(*sliders(), 200);
    controls->functionalControlsViewWillJumpToLiveEdge(*functionals());
    EXPECT_EQ(cast->calls(),
              (std::vector<std::string>{"togglePlayback()", "seek(15,true,unchanged)", "setPlaybackRate(0.5)",
                                        "seek(200,false,unchanged)", "setPlaybackRate(1)", "seekToLiveEdge()"}));
    EXPECT_EQ(player->avplayer()->rate(), localRate);  // the local player was left alone
    EXPECT_FALSE(player->hasPendingSeek());

    // The slider and the time label follow the cast player; a stream on demand disables the live button.
    cast->setCurrentTime(75);
    clock.runUntilIdle();
    EXPECT_EQ(sliderValue(), 75);
    cast->setDuration(600);
    clock.runUntilIdle();
    EXPECT_EQ(timeText(), "01:15 / 10:00");
    EXPECT_FALSE(functionals()->liveButton()->isEnabled());
    // Paused on the receiver: the play button shows play.
    cast->togglePlayback();
    clock.runUntilIdle();
    EXPECT_FALSE(controls->playbacks()->isPlaying());
}

TEST_F(ZuControlsBindingsTest, AHeldSliderIgnoresTheTicksAndSeeksWhereItIsLetGo) {
    loadReady(url("/vod/master.m3u8"));
    showControls();
    player->play(false);
    advance(3);
    auto slider = sliders()->slider();
    const auto thumb = slider->thumb()->convertTo(slider->thumb()->bounds(), nullptr);
    auto sim = touches();
    auto finger = sim.begin(uikit::CGPoint{thumb.midX(), thumb.midY()});
    EXPECT_TRUE(controls->isUserInteractingWithSlider());
    const float held = sliderValue();
    advance(1);
    EXPECT_EQ(sliderValue(), held);  // the player goes on; the slider stays under the finger

    // Dragged a sixth of the track on (20 s of 120) and let go: one seek, once the thumb has settled.
    const auto to = uikit::CGPoint{thumb.midX() + slider->trackRect().width() / 6, thumb.midY()};
    for (int i = 1; i <= 4; ++i) {
        sim.move(finger, uikit::CGPoint{thumb.midX() + (to.x - thumb.midX()) * i / 4, to.y});
        clock.advance(1.0 / 60);
    }
    sim.end(finger);
    EXPECT_FALSE(controls->isUserInteractingWithSlider());
    EXPECT_TRUE(controlsDelegate->calls("seek to").empty());
    clock.advance(1.1);
    const auto seeks = controlsDelegate->calls("seek to");
    ASSERT_EQ(seeks.size(), 1u);
    EXPECT_EQ(controlsDelegate->calls("seek began").size(), 1u);
    settleSeeks();
    EXPECT_NEAR(position(), held + 20, 1.0);
}

TEST_F(ZuControlsBindingsTest, AJumpOrAKeyMomentPickWhileTheSliderSettlesGoesOnFromWhereTheViewerLetGo) {
    loadReady(url("/vod/master.m3u8"));
    controlsDelegate->events = std::vector<ZuKeyMomentEvent>{lumora::testing::keyMoment("goal", 90)};
    showControls();
    settleSeeks();
    controls->updateKeyMoments();
    window->layoutIfNeeded();
    auto slider = sliders()->slider();
    auto sim = touches();
    // Drags the thumb a sixth of the track on (20 s of 120) and lets go; the slider settles for a second.
    auto scrub = [&] {
        const auto thumb = slider->thumb()->convertTo(slider->thumb()->bounds(), nullptr);
        auto finger = sim.begin(uikit::CGPoint{thumb.midX(), thumb.midY()});
        for (int i = 1; i <= 4; ++i) {
            sim.move(finger, uikit::CGPoint{thumb.midX() + slider->trackRect().width() / 6 * i / 4, thumb.midY()});
            clock.advance(1.0 / 60);
        }
        sim.end(finger);
        EXPECT_TRUE(slider->isSettling());
        return slider->value();
    };

    // A jump during the settling: the release is sought first, and the jump goes on from there.
    const float released = scrub();
    controlsDelegate->log.clear();
    sim.tap(controls->playbacks()->fastForwardButton());
    clock.advance(1.5);
    EXPECT_EQ(controlsDelegate->calls("seek to"),
              (std::vector<std::string>{"seek to " + RecordingControlsDelegate::number(released),
                                        "seek to " + RecordingControlsDelegate::number(released + 15)}));
    settleSeeks();
    EXPECT_NEAR(position(), released + 15, 0.5);
    EXPECT_NEAR(sliderValue(), released + 15, 0.5);

    // A key moment picked during the settling: the viewer ends at the moment.
    const float releasedAgain = scrub();
    controlsDelegate->log.clear();
    auto marker = sliders()->keyMomentsView()->item(lumora::testing::keyMoment("goal", 90));
    ASSERT_TRUE(marker);
    sim.tap(marker->convertTo(uikit::CGPoint{30, 25}, nullptr));
    clock.advance(1.5);
    EXPECT_EQ(controlsDelegate->calls("seek to"),
              (std::vector<std::string>{"seek to " + RecordingControlsDelegate::number(releasedAgain), "seek to 90"}));
    EXPECT_EQ(controlsDelegate->calls("select"), std::vector<std::string>{"select goal"});
    settleSeeks();
    EXPECT_NEAR(position(), 90, 0.5);
    EXPECT_NEAR(sliderValue(), 90, 0.5);

    // And the way to the live edge (here the end) the same.
    player->seek(0, false, false);
    settleSeeks();
    clock.runUntilIdle();
    const float releasedLast = scrub();
    controlsDelegate->log.clear();
    controls->functionalControlsViewWillJumpToLiveEdge(*functionals());
    clock.advance(1.5);
    EXPECT_EQ(controlsDelegate->calls("seek to"),
              (std::vector<std::string>{"seek to " + RecordingControlsDelegate::number(releasedLast), "seek to 120"}));
}

TEST_F(ZuControlsBindingsTest, ATappedMarkerSeeksToItsOwnMomentWhateverTheOrderOfTheDelegatesList) {
    loadReady(url("/vod/master.m3u8"));
    showControls();
    settleSeeks();
    auto strip = sliders()->keyMomentsView();
    auto sim = touches();
    auto tap = [&](const ZuKeyMomentEvent& event) {
        controls->updateKeyMoments();
        window->layoutIfNeeded();
        auto marker = strip->item(event);
        ASSERT_TRUE(marker) << event.code;
        controlsDelegate->log.clear();
        sim.tap(marker->convertTo(uikit::CGPoint{30, 25}, nullptr));  // the marker's bubble
        settleSeeks();
    };
    using lumora::testing::keyMoment;

    // The delegate's list out of time order: each marker still names its own moment.
    controlsDelegate->events = std::vector<ZuKeyMomentEvent>{keyMoment("late", 80), keyMoment("early", 20)};
    tap(keyMoment("early", 20));
    EXPECT_EQ(controlsDelegate->log, (std::vector<std::string>{"seek to 20", "select early"}));
    EXPECT_EQ(position(), 20);
    tap(keyMoment("late", 80));
    EXPECT_EQ(controlsDelegate->log, (std::vector<std::string>{"seek to 80", "select late"}));

    // With a moment listed twice (the strip shows it once) and the list unsorted.
    controlsDelegate->events =
        std::vector<ZuKeyMomentEvent>{keyMoment("C", 100), keyMoment("A", 10), keyMoment("A", 10), keyMoment("B", 55)};
    tap(keyMoment("B", 55));
    EXPECT_EQ(controlsDelegate->log, (std::vector<std::string>{"seek to 55", "select B"}));
    EXPECT_EQ(position(), 55);
    tap(keyMoment("C", 100));
    EXPECT_EQ(controlsDelegate->log, (std::vector<std::string>{"seek to 100", "select C"}));
    tap(keyMoment("A", 10));
    EXPECT_EQ(controlsDelegate->log, (std::vector<std::string>{"seek to 10", "select A"}));
    EXPECT_EQ(sliderValue(), 10);

    // A moment the delegate no longer lists is not sought when its marker is still tapped.
    auto marker = strip->item(keyMoment("B", 55));
    controlsDelegate->events = std::vector<ZuKeyMomentEvent>{keyMoment("A", 10)};
    controlsDelegate->log.clear();
    sim.tap(marker->convertTo(uikit::CGPoint{30, 25}, nullptr));
    EXPECT_TRUE(controlsDelegate->log.empty());
}

// The host's key moments are on the content timeline, the slider's: on a stream of 120 s with a 10 s break at
// 00:30, the moment "HT" at 58 s sits at 58 of 110 on the strip, and a pick seeks to stream 68, where a release
// of the slider at 58 goes; the slider stays at 58. Whichever the host hands first, the ads or the moments.
TEST_F(ZuControlsBindingsTest, AKeyMomentAfterAnAdBreakIsPickedWhereItsMarkerSits) {
    using lumora::testing::keyMoment;
    loadReady(url("/vod/master.m3u8"));
    showControls();
    settleSeeks();
    auto strip = sliders()->keyMomentsView();
    for (const bool adsFirst : {true, false}) {
        SCOPED_TRACE(adsFirst ? "ads first" : "key moments first");
        // Neither yet.
        player->update({});
        controlsDelegate->events.reset();
        controls->updateKeyMoments();
        clock.runUntilIdle();
        auto giveAds = [&] {
            player->update({{AdInfo("break", 30, 10)}});
            clock.runUntilIdle();
        };
        auto giveMoments = [&] {
            controlsDelegate->events = std::vector<ZuKeyMomentEvent>{keyMoment("KO", 0), keyMoment("HT", 58)};
            controls->updateKeyMoments();
        };
        if (adsFirst) {
            giveAds();
            giveMoments();
        } else {
            giveMoments();
            giveAds();
        }
        window->layoutIfNeeded();
        ASSERT_EQ(sliders()->maximumValue(), 110);
        EXPECT_EQ(strip->duration(), 110);
        auto marker = strip->item(keyMoment("HT", 58));
        ASSERT_TRUE(marker);
        // The marker's dot against the strip's margins: 58 of 110.
        const auto margins = strip->bounds().inset(strip->layoutMargins());
        const auto dot = marker->convertTo(uikit::CGPoint{30, 48}, strip);
        EXPECT_NEAR(dot.x, margins.minX() + margins.width() * 58 / 110, 1e-6);

        // A release of the slider at 58, for comparison.
        controlsDelegate->log.clear();
        controls->sliderControlsViewDidSeekTo(*sliders(), 58);
        settleSeeks();
        EXPECT_EQ(controlsDelegate->calls("seek to"), std::vector<std::string>{"seek to 68"});
        player->seek(0, false, false);
        settleSeeks();

        controlsDelegate->log.clear();
        touches().tap(marker->convertTo(uikit::CGPoint{30, 25}, nullptr));  // the marker's bubble
        EXPECT_EQ(controlsDelegate->log, (std::vector<std::string>{"seek to 68", "select HT"}));
        settleSeeks();
        EXPECT_EQ(position(), 68);
        advance(1.0);  // the player's ticks (and the marker's selection springs): the slider stays on the moment
        EXPECT_EQ(sliderValue(), 58);

        // Under cast control the pick goes to the same stream time.
        auto cast = castToChromecast();
        controlsDelegate->log.clear();
        touches().tap(marker->convertTo(uikit::CGPoint{30, 25}, nullptr));
        EXPECT_EQ(controlsDelegate->log, (std::vector<std::string>{"seek to 68", "select HT"}));
        player->setCastManager(nullptr);
        player->seek(0, false, false);
        settleSeeks();
    }
}

// A hostile ad list (a break from −50 s lasting 1e308 s, another from the start past the end of the stream)
// would make the whole programme an ad: no range to scrub, jumps and seeks lost in it. The kit ignores both; the
// viewer keeps the programme.
TEST_F(ZuControlsBindingsTest, AHostileAdListLeavesTheWholeProgrammeToTheViewer) {
    loadReady(url("/vod/master.m3u8"));
    showControls();
    settleSeeks();
    player->update({{AdInfo("hostile", -50, 1e308)}, {AdInfo("endless", 0, 1e308), AdInfo("past", 119, 30)}});
    clock.runUntilIdle();
    EXPECT_EQ(sliders()->maximumValue(), 120);
    EXPECT_EQ(timeText(), "00:00 / 02:00");
    EXPECT_EQ(player->timeRemainingForAdAt(30), 0);

    controlsDelegate->log.clear();
    controls->playbackControlsViewWillJump(*controls->playbacks(), 15);
    settleSeeks();
    controls->sliderControlsViewDidSeekTo(*sliders(), 60);
    settleSeeks();
    EXPECT_EQ(controlsDelegate->calls("seek to"), (std::vector<std::string>{"seek to 15", "seek to 60"}));
    EXPECT_EQ(position(), 60);
    advance(0.2);
    EXPECT_EQ(sliderValue(), 60);
}
