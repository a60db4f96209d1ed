#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "casting/testing/FakeCastPlugins.h"
#include "casting/testing/StreamRecorder.h"
#include "dispatch/testing/ManualClockScope.h"

namespace lumora::testing {
namespace {

using State = CastConnectionState;

CastStream liveStream(double duration) {
    return CastStream("live-1", "Derby", std::nullopt, nullptr, true, "application/x-mpegURL", std::nullopt, duration,
                      1.0f, CastPlayerState::idle, {{1, "en"}}, std::nullopt);
}

class FakeCastPluginsTest : public ::testing::Test {
  protected:
    dispatch::testing::ManualClockScope clock_;
};

TEST_F(FakeCastPluginsTest, ConnectingWalksThroughTheStatesToAListedDeviceOnly) {
    auto chromecast = FakeChromecastPlugin::create();
    auto airplay = FakeAirPlayPlugin::create();
    StreamRecorder<State> chromecastStates(chromecast->connectionStatus());
    StreamRecorder<State> airplayStates(airplay->connectionStatus());

    EXPECT_FALSE(chromecast->connect("Den"));  // nothing listed
    EXPECT_EQ(chromecast->connectionState(), State::disconnected);

    chromecast->setAvailableDevices({"Den", "Office"});
    airplay->setAvailableDevices({"Projector"});
    EXPECT_TRUE(chromecast->connect("Office"));
    EXPECT_TRUE(airplay->connect("Projector"));
    EXPECT_EQ(chromecast->deviceName(), "Office");
    EXPECT_EQ(chromecastStates.elements(), (std::vector<State>{State::disconnected, State::connecting, State::connected,
                                                               State::canControlCastPlayer}));
    // An AirPlay route stops at connected: there is no remote player to control.
    EXPECT_EQ(airplayStates.elements(), (std::vector<State>{State::disconnected, State::connecting, State::connected}));

    airplay->disconnect();
    EXPECT_FALSE(airplay->deviceName());
    EXPECT_EQ(airplay->connectionState(), State::disconnected);
    airplay->finishStreams();
    EXPECT_TRUE(airplayStates.completed());
}

TEST_F(FakeCastPluginsTest, ChromecastActsLikeAReceiver) {
    auto chromecast = FakeChromecastPlugin::create();
    StreamRecorder<bool> playing(chromecast->isPlaying());
    StreamRecorder<std::vector<MediaTrack>> captions(chromecast->availableClosedCaptions());

    chromecast->load(liveStream(300), 20);
    auto stream = chromecast->currentCastStream();
    ASSERT_TRUE(stream);
    EXPECT_EQ(stream->position, 20.0);
    EXPECT_EQ(stream->state, CastPlayerState::playing);
    EXPECT_EQ(playing.elements().back(), true);
    EXPECT_EQ(captions.elements().back().size(), 1u);

    chromecast->seek(-30, true, CastResumeState::paused);  // lands at the start, not before it
    EXPECT_EQ(chromecast->currentCastStream()->position, 0.0);
    EXPECT_EQ(chromecast->currentCastStream()->state, CastPlayerState::paused);
    chromecast->seek(900, false, CastResumeState::unchanged);  // and not past the end
    EXPECT_EQ(chromecast->currentCastStream()->position, 300.0);
    EXPECT_EQ(chromecast->currentCastStream()->state, CastPlayerState::paused);

    chromecast->togglePlayback();
    EXPECT_EQ(chromecast->currentCastStream()->state, CastPlayerState::playing);
    chromecast->setDuration(330);
    chromecast->seekToLiveEdge();
    EXPECT_EQ(chromecast->currentCastStream()->position, 330.0);

    chromecast->presentCastInstructionsViewControllerOnce(nullptr);
    chromecast->presentCastInstructionsViewControllerOnce(nullptr);
    EXPECT_EQ(chromecast->instructionsPresentedCount(), 1);

    chromecast->stopCasting(false);
    EXPECT_FALSE(chromecast->currentCastStream());
    EXPECT_EQ(playing.elements().back(), false);
}

}  // namespace
}  // namespace lumora::testing
