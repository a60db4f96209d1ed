#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <deque>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "casting/CastManager.h"
#include "casting/testing/FakeCastPlugins.h"
#include "casting/testing/StreamRecorder.h"
#include "dispatch/testing/ManualClockScope.h"

namespace lumora {
namespace {

using testing::FakeAirPlayPlugin;
using testing::FakeChromecastPlugin;
using testing::StreamRecorder;
using State = CastConnectionState;

// A distinct, non-null handle of a type the kit only passes along (views, players, bar items); never
// dereferenced.
template <class T>
std::shared_ptr<T> opaqueHandle() {
    auto owner = std::make_shared<int>(0);
    return std::shared_ptr<T>(owner, reinterpret_cast<T*>(owner.get()));
}

constexpr State kAllStates[] = {State::disconnected, State::connecting, State::connected, State::canControlCastPlayer,
                                State::disconnecting};

// A Chromecast plug-in that implements only what it must. Its connection state can be scripted read by read,
// and it counts the reads.
class BareChromecast : public CastManagerInterface {
  public:
    std::optional<std::string> deviceName() const override { return name; }
    State connectionState() const override {
        ++reads;
        if (onRead) onRead();
        if (scriptedReads.empty()) return state;
        State next = scriptedReads.front();
        scriptedReads.pop_front();
        return next;
    }
    rx::ControlEvent<State> connectionStatus() const override { return emptyControlEvent<State>(); }
    std::shared_ptr<uikit::UIView> makeView() override { return nullptr; }
    void togglePlayback() override {}
    rx::ControlEvent<float> playbackRate() const override { return emptyControlEvent<float>(); }
    std::optional<CastStream> currentCastStream() const override { return stream; }
    void setCurrentCastStream(std::optional<CastStream> s) override { stream = std::move(s); }
    rx::ControlEvent<bool> isPlaying() const override { return emptyControlEvent<bool>(); }
    rx::ControlEvent<coremedia::CMTime> playerCurrentTime() const override {
        return emptyControlEvent<coremedia::CMTime>();
    }
    rx::ControlEvent<coremedia::CMTime> playerDuration() const override {
        return emptyControlEvent<coremedia::CMTime>();
    }
    rx::ControlEvent<foundation::Error> errorStatus() const override { return emptyControlEvent<foundation::Error>(); }
    rx::ControlEvent<bool> castStatus() const override { return emptyControlEvent<bool>(); }
    rx::ControlEvent<std::vector<MediaTrack>> availableClosedCaptions() const override {
        return emptyControlEvent<std::vector<MediaTrack>>();
    }
    void setup(const std::string&) override {}
    std::optional<CastStream> makeStream() override { return std::nullopt; }
    void seekToLiveEdge() override {}
    void setPlaybackRate(float) override {}
    void seek(double, bool, CastResumeState) override {}
    void load(const CastStream&, double) override {}
    void stopCasting(bool) override {}
    void presentCastInstructionsViewControllerOnce(std::shared_ptr<uikit::UIBarButtonItem>) override {}
    void set(std::optional<MediaTrack>) override {}

    std::optional<std::string> name;
    State state = State::disconnected;
    mutable std::deque<State> scriptedReads;
    mutable int reads = 0;
    std::function<void()> onRead;
    std::optional<CastStream> stream;
};

CastStream streamWith(std::optional<double> duration, std::vector<MediaTrack> captions = {},
                      std::string title = "Match") {
    return CastStream("asset", std::move(title), std::nullopt, nullptr, true, "application/x-mpegURL", 0.0, duration,
                      1.0f, CastPlayerState::playing, std::move(captions), std::nullopt);
}

class CastManagerTest : public ::testing::Test {
  protected:
    dispatch::testing::ManualClockScope clock_;  // makes this thread the main thread
    std::shared_ptr<CastManager> manager_ = CastManager::create();
};

// Every stream of the manager that depends on the Chromecast plug-in.
void expectChromecastStreamsEmpty(CastManager& manager) {
    EXPECT_TRUE(StreamRecorder<State>(manager.chromecastConnectionStatus()).isEmptyAndCompleted());
    EXPECT_TRUE(StreamRecorder<bool>(manager.castStatus()).isEmptyAndCompleted());
    EXPECT_TRUE(StreamRecorder<rx::Unit>(manager.playerDidPlayToEndTime()).isEmptyAndCompleted());
    EXPECT_TRUE(StreamRecorder<float>(manager.castPlaybackRate()).isEmptyAndCompleted());
    EXPECT_TRUE(StreamRecorder<foundation::Error>(manager.errorStatus()).isEmptyAndCompleted());
    EXPECT_TRUE(StreamRecorder<std::vector<MediaTrack>>(manager.availableClosedCaptions()).isEmptyAndCompleted());
    EXPECT_TRUE(StreamRecorder<std::vector<CastCustomMessage>>(manager.customMessageChannel()).isEmptyAndCompleted());
}

// ---- Neutral answers ----

TEST_F(CastManagerTest, WithoutPluginsEveryAnswerIsNeutral) {
    auto& m = *manager_;
    EXPECT_EQ(m.chromecastPlugin(), nullptr);
    EXPECT_FALSE(m.isConnected());
    EXPECT_FALSE(m.isAirPlay());
    EXPECT_FALSE(m.isChromecast());
    EXPECT_FALSE(m.canControlCastPlayer());
    EXPECT_FALSE(m.isConnected(CastType::chromecast));
    EXPECT_FALSE(m.isConnected(CastType::airplay));
    EXPECT_FALSE(m.deviceName());
    EXPECT_FALSE(m.currentCastStream());
    EXPECT_FALSE(m.isPlaying());
    EXPECT_FALSE(m.playerCurrentTime());
    EXPECT_FALSE(m.playerDuration());
    EXPECT_EQ(m.makeCastView(CastType::chromecast), nullptr);
    EXPECT_EQ(m.makeCastView(CastType::airplay), nullptr);
    EXPECT_EQ(m.chromecastDeviceName(), "-");
    EXPECT_EQ(m.currentCastStreamTitle(), "-");
    EXPECT_TRUE(m.currentCastStreamClosedCaptions().empty());
    EXPECT_EQ(m.deviceName(CastType::chromecast), "Chromecast");
    EXPECT_EQ(m.deviceName(CastType::airplay), "AirPlay");
    EXPECT_FALSE(m.findClosedCaptions("en"));

    EXPECT_TRUE(StreamRecorder<State>(m.connectionStatus()).isEmptyAndCompleted());
    EXPECT_TRUE(StreamRecorder<State>(m.airplayConnectionStatus()).isEmptyAndCompleted());
    expectChromecastStreamsEmpty(m);

    // Commands do nothing, and nothing breaks.
    m.seekToLiveEdge();
    m.setPlaybackRate(2);
    m.setupChromecast("app");
    m.load(streamWith(10), 0);
    m.togglePlayback();
    m.seek(1, false, CastResumeState::unchanged);
    m.presentCastInstructionsViewControllerOnce(nullptr);
    m.disconnectChromecast();
    m.setCast(MediaTrack{1, "en"});
    m.addAirPlayListener(nullptr);
    m.customButtonTapped({"Stats", "stats"});
}

TEST_F(CastManagerTest, WithoutAStreamLiveMeansWithinTenSecondsOfZero) {
    EXPECT_TRUE(manager_->isPlaybackLive(-10.0));
    EXPECT_TRUE(manager_->isPlaybackLive(0.0));
    EXPECT_TRUE(manager_->isPlaybackLive(10.0));
    EXPECT_FALSE(manager_->isPlaybackLive(10.001));
    EXPECT_FALSE(manager_->isPlaybackLive(-10.001));
}

TEST_F(CastManagerTest, AirPlayAloneAnswersOnlyForAirPlay) {
    auto airplay = FakeAirPlayPlugin::create();
    auto view = opaqueHandle<uikit::UIView>();
    airplay->setView(view);
    airplay->setDeviceName("Living Room TV");
    airplay->setConnectionState(State::connected);
    manager_->set(airplay);

    EXPECT_TRUE(manager_->isConnected());
    EXPECT_TRUE(manager_->isAirPlay());
    EXPECT_TRUE(manager_->isConnected(CastType::airplay));
    EXPECT_FALSE(manager_->isChromecast());
    EXPECT_FALSE(manager_->canControlCastPlayer());
    EXPECT_EQ(manager_->deviceName(), "Living Room TV");
    EXPECT_EQ(manager_->deviceName(CastType::airplay), "Living Room TV");
    EXPECT_EQ(manager_->deviceName(CastType::chromecast), "Chromecast");
    EXPECT_EQ(manager_->chromecastDeviceName(), "-");
    EXPECT_EQ(manager_->makeCastView(CastType::airplay), view);
    EXPECT_EQ(manager_->makeCastView(CastType::chromecast), nullptr);
    EXPECT_FALSE(manager_->isPlaying());
    expectChromecastStreamsEmpty(*manager_);

    // Chromecast commands reach nobody; AirPlay is never asked to play or stop.
    manager_->togglePlayback();
    manager_->disconnectChromecast();
    manager_->seekToLiveEdge();
    EXPECT_EQ(airplay->calls(), std::vector<std::string>{"makeView()"});

    // The AirPlay name stands in for nothing when it has none, and disconnected AirPlay is not connected.
    airplay->setDeviceName(std::nullopt);
    EXPECT_EQ(manager_->deviceName(CastType::airplay), "AirPlay");
    airplay->setConnectionState(State::disconnecting);
    EXPECT_FALSE(manager_->isConnected());
}

TEST_F(CastManagerTest, ChromecastAloneAnswersFromItsCurrentState) {
    auto chromecast = FakeChromecastPlugin::create();
    manager_->set(chromecast);
    EXPECT_EQ(manager_->chromecastPlugin(), chromecast);
    EXPECT_EQ(manager_->deviceName(CastType::airplay), "AirPlay");
    EXPECT_EQ(manager_->makeCastView(CastType::airplay), nullptr);
    EXPECT_TRUE(StreamRecorder<State>(manager_->airplayConnectionStatus()).isEmptyAndCompleted());
    EXPECT_TRUE(manager_->isPlaying().has_value());
    EXPECT_EQ(manager_->currentCastStreamTitle(), "-");  // connected to nothing yet
    EXPECT_EQ(manager_->chromecastDeviceName(), "-");

    struct Expected {
        State state;
        bool connected;
        bool controllable;
    };
    const Expected table[] = {{State::disconnected, false, false},
                              {State::connecting, true, false},
                              {State::connected, true, true},
                              {State::canControlCastPlayer, true, true},
                              {State::disconnecting, false, false}};
    for (const auto& row : table) {
        chromecast->setConnectionState(row.state);
        SCOPED_TRACE(rawValue(row.state));
        EXPECT_EQ(manager_->isConnected(), row.connected);
        EXPECT_EQ(manager_->isChromecast(), row.connected);
        EXPECT_EQ(manager_->isConnected(CastType::chromecast), row.connected);
        EXPECT_EQ(manager_->canControlCastPlayer(), row.controllable);
        EXPECT_FALSE(manager_->isAirPlay());
    }

    // Its name is given whatever its state.
    chromecast->setDeviceName("Kitchen");
    chromecast->setConnectionState(State::disconnected);
    EXPECT_EQ(manager_->deviceName(), "Kitchen");
    EXPECT_EQ(manager_->deviceName(CastType::chromecast), "Kitchen");
    EXPECT_EQ(manager_->chromecastDeviceName(), "Kitchen");
}

TEST_F(CastManagerTest, ConnectedAirPlayDecidesTheDeviceNameEvenWithoutOne) {
    auto chromecast = FakeChromecastPlugin::create();
    chromecast->setDeviceName("Bedroom");
    chromecast->setConnectionState(State::canControlCastPlayer);
    auto airplay = FakeAirPlayPlugin::create();
    manager_->set(chromecast);
    manager_->set(airplay);

    EXPECT_EQ(manager_->deviceName(), "Bedroom");  // AirPlay not connected
    airplay->setConnectionState(State::connecting);
    EXPECT_FALSE(manager_->deviceName());  // connected AirPlay without a name
    airplay->setDeviceName("Projector");
    EXPECT_EQ(manager_->deviceName(), "Projector");
    // Chromecast's test comes first for isConnected; AirPlay's only when it fails.
    chromecast->setConnectionState(State::disconnected);
    EXPECT_TRUE(manager_->isConnected());
    EXPECT_FALSE(manager_->canControlCastPlayer());  // AirPlay is not consulted
}

TEST_F(CastManagerTest, BareChromecastGetsTheDefaultStreams) {
    auto bare = std::make_shared<BareChromecast>();
    EXPECT_TRUE(StreamRecorder<std::optional<double>>(bare->currentCastDuration()).isEmptyAndCompleted());
    EXPECT_TRUE(StreamRecorder<rx::Unit>(bare->playerDidPlayToEndTime()).isEmptyAndCompleted());
    EXPECT_TRUE(StreamRecorder<std::vector<CastCustomMessage>>(bare->customMessageChannel()).isEmptyAndCompleted());
    bare->customButtonTapped({"Replay", "replay"});

    manager_->set(std::shared_ptr<CastManagerInterface>(bare));
    EXPECT_TRUE(StreamRecorder<std::vector<CastCustomMessage>>(manager_->customMessageChannel()).isEmptyAndCompleted());
    manager_->customButtonTapped({"Replay", "replay"});
}

// ---- The connected test and canControlCastPlayer read the state anew ----

TEST_F(CastManagerTest, ConnectedTestIsJudgedOnItsReadsInOrder) {
    auto bare = std::make_shared<BareChromecast>();
    manager_->set(std::shared_ptr<CastManagerInterface>(bare));

    // connecting? (reads connected) connected? (reads disconnected) canControl? (reads disconnected): false.
    bare->scriptedReads = {State::connected, State::disconnected, State::disconnected};
    EXPECT_FALSE(manager_->isChromecast());
    EXPECT_EQ(bare->reads, 3);

    // The first read that matches decides, and the reading stops there.
    bare->reads = 0;
    bare->scriptedReads = {State::disconnected, State::connected, State::disconnected};
    EXPECT_TRUE(manager_->isChromecast());
    EXPECT_EQ(bare->reads, 2);

    for (State s : kAllStates) {
        bare->state = s;
        EXPECT_EQ(bare->isConnected(), s != State::disconnected && s != State::disconnecting) << rawValue(s);
    }
}

TEST_F(CastManagerTest, CanControlCastPlayerReadsThePluginTwice) {
    auto bare = std::make_shared<BareChromecast>();
    manager_->set(std::shared_ptr<CastManagerInterface>(bare));

    bare->state = State::canControlCastPlayer;
    EXPECT_TRUE(manager_->canControlCastPlayer());
    EXPECT_EQ(bare->reads, 1);

    bare->reads = 0;
    bare->scriptedReads = {State::connecting, State::connected};
    EXPECT_TRUE(manager_->canControlCastPlayer());  // judged on the second read
    EXPECT_EQ(bare->reads, 2);

    bare->reads = 0;
    bare->scriptedReads = {State::connected, State::connecting};
    EXPECT_FALSE(manager_->canControlCastPlayer());
    EXPECT_EQ(bare->reads, 2);

    // The second look takes the plug-in held then: here the first read replaces the plug-in.
    auto successor = std::make_shared<BareChromecast>();
    successor->state = State::connected;
    bare->reads = 0;
    bare->state = State::disconnected;
    bare->onRead = [this, successor] { manager_->set(std::shared_ptr<CastManagerInterface>(successor)); };
    EXPECT_TRUE(manager_->canControlCastPlayer());
    EXPECT_EQ(bare->reads, 1);
    EXPECT_EQ(successor->reads, 1);
    bare->onRead = nullptr;
}

// ---- Connection status ----

TEST_F(CastManagerTest, ConnectionStatusMergesBothPluginsInArrivalOrder) {
    auto chromecast = FakeChromecastPlugin::create();
    auto airplay = FakeAirPlayPlugin::create();
    chromecast->setConnectionState(State::connected);
    manager_->set(chromecast);
    manager_->set(airplay);

    StreamRecorder<State> merged(manager_->connectionStatus());
    // Current states first, AirPlay's before Chromecast's.
    EXPECT_EQ(merged.elements(), (std::vector<State>{State::disconnected, State::connected}));

    chromecast->setConnectionState(State::canControlCastPlayer);
    airplay->setConnectionState(State::connecting);
    chromecast->setConnectionState(State::disconnecting);
    airplay->setConnectionState(State::connected);
    EXPECT_EQ(merged.elements(), (std::vector<State>{State::disconnected, State::connected, State::canControlCastPlayer,
                                                     State::connecting, State::disconnecting, State::connected}));

    chromecast->finishStreams();
    EXPECT_FALSE(merged.completed());  // AirPlay's stream still runs
    airplay->setConnectionState(State::disconnected);
    EXPECT_EQ(merged.elements().back(), State::disconnected);
    airplay->finishStreams();
    EXPECT_TRUE(merged.completed());
    EXPECT_EQ(merged.errors(), 0);
}

TEST_F(CastManagerTest, ConnectionStatusWithOnePluginEndsWithIt) {
    auto airplay = FakeAirPlayPlugin::create();
    manager_->set(airplay);
    StreamRecorder<State> merged(manager_->connectionStatus());
    StreamRecorder<State> own(manager_->airplayConnectionStatus());
    airplay->setConnectionState(State::connecting);
    EXPECT_EQ(merged.elements(), (std::vector<State>{State::disconnected, State::connecting}));
    EXPECT_EQ(own.elements(), merged.elements());
    EXPECT_FALSE(merged.completed());
    airplay->finishStreams();
    EXPECT_TRUE(merged.completed());
    EXPECT_TRUE(own.completed());
}

TEST_F(CastManagerTest, StreamsFollowThePluginHeldWhenTheyWereRead) {
    auto first = FakeChromecastPlugin::create();
    auto second = FakeChromecastPlugin::create();
    manager_->set(first);
    StreamRecorder<State> before(manager_->chromecastConnectionStatus());
    StreamRecorder<float> rateBefore(manager_->castPlaybackRate());
    manager_->set(second);
    StreamRecorder<State> after(manager_->chromecastConnectionStatus());

    first->setConnectionState(State::connecting);
    second->setConnectionState(State::connected);
    second->setRate(2.0f);
    EXPECT_EQ(before.elements(), (std::vector<State>{State::disconnected, State::connecting}));
    EXPECT_EQ(after.elements(), (std::vector<State>{State::disconnected, State::connected}));
    EXPECT_EQ(rateBefore.elements(), std::vector<float>{1.0f});
}

TEST_F(CastManagerTest, ChromecastStreamsAreThePluginsStreams) {
    auto chromecast = FakeChromecastPlugin::create();
    manager_->set(chromecast);
    StreamRecorder<bool> casting(manager_->castStatus());
    StreamRecorder<coremedia::CMTime> times(*manager_->playerCurrentTime());
    StreamRecorder<rx::Unit> ends(manager_->playerDidPlayToEndTime());
    StreamRecorder<foundation::Error> errors(manager_->errorStatus());

    chromecast->load(streamWith(120.0), 30.0);
    chromecast->playToEnd();
    struct Failure {
        std::string localizedDescription() const { return "receiver went away"; }
    };
    chromecast->fail(Failure{});

    EXPECT_EQ(casting.elements(), (std::vector<bool>{false, true}));
    ASSERT_EQ(times.elements().size(), 2u);
    EXPECT_DOUBLE_EQ(times.elements()[0].seconds(), 30.0);
    EXPECT_DOUBLE_EQ(times.elements()[1].seconds(), 120.0);
    EXPECT_EQ(ends.elements().size(), 1u);
    ASSERT_EQ(errors.elements().size(), 1u);
    EXPECT_EQ(errors.elements()[0].localizedDescription(), "receiver went away");
    EXPECT_EQ(errors.errors(), 0);  // errors come as elements, never as a failure of the stream
}

// ---- Live edge ----

TEST_F(CastManagerTest, PlaybackIsLiveWithinTenSecondsOfTheDuration) {
    auto chromecast = FakeChromecastPlugin::create();
    manager_->set(chromecast);
    chromecast->setCurrentCastStream(streamWith(3600.0));
    EXPECT_TRUE(manager_->isPlaybackLive(3590.0));
    EXPECT_TRUE(manager_->isPlaybackLive(3610.0));
    EXPECT_TRUE(manager_->isPlaybackLive(3600.0));
    EXPECT_FALSE(manager_->isPlaybackLive(3589.9));
    EXPECT_FALSE(manager_->isPlaybackLive(3610.1));

    chromecast->setCurrentCastStream(streamWith(std::nullopt));  // measured against 0
    EXPECT_TRUE(manager_->isPlaybackLive(10.0));
    EXPECT_FALSE(manager_->isPlaybackLive(3600.0));
}

TEST_F(CastManagerTest, TimesThatAreNotNumbersAreNeverLive) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(manager_->isPlaybackLive(nan));  // no plug-in: against 0

    auto chromecast = FakeChromecastPlugin::create();
    manager_->set(chromecast);
    chromecast->setCurrentCastStream(streamWith(nan));
    EXPECT_FALSE(manager_->isPlaybackLive(0.0));
    EXPECT_FALSE(manager_->isPlaybackLive(nan));

    chromecast->setCurrentCastStream(streamWith(inf));
    EXPECT_FALSE(manager_->isPlaybackLive(inf));
    EXPECT_FALSE(manager_->isPlaybackLive(0.0));

    chromecast->setCurrentCastStream(streamWith(60.0));
    EXPECT_FALSE(manager_->isPlaybackLive(nan));
    EXPECT_FALSE(manager_->isPlaybackLive(-inf));
}

TEST_F(CastManagerTest, SeekToLiveEdgeSetsRateOneFirst) {
    auto chromecast = FakeChromecastPlugin::create();
    manager_->set(chromecast);
    chromecast->load(streamWith(600.0), 100.0);
    chromecast->setRate(2.0f);
    chromecast->clearCalls();

    manager_->seekToLiveEdge();
    EXPECT_EQ(chromecast->calls(), (std::vector<std::string>{"setPlaybackRate(1)", "seekToLiveEdge()"}));
    EXPECT_EQ(chromecast->currentCastStream()->rate, 1.0f);
    EXPECT_EQ(chromecast->currentCastStream()->position, 600.0);
    EXPECT_TRUE(manager_->isPlaybackLive(chromecast->currentCastStream()->position.value_or(0)));
}

TEST_F(CastManagerTest, SeekToLiveEdgeStaysWithThePluginThatGotTheRate) {
    auto first = FakeChromecastPlugin::create();
    auto second = FakeChromecastPlugin::create();
    manager_->set(first);
    first->setOnCall([this, second](const std::string& call) {
        if (call.starts_with("setPlaybackRate")) manager_->set(second);
    });
    manager_->seekToLiveEdge();
    EXPECT_EQ(first->calls(), (std::vector<std::string>{"setPlaybackRate(1)", "seekToLiveEdge()"}));
    EXPECT_TRUE(second->calls().empty());
    EXPECT_EQ(manager_->chromecastPlugin(), second);
    first->setOnCall(nullptr);
}

// ---- Commands and captions ----

TEST_F(CastManagerTest, CommandsReachTheChromecastPluginUnchanged) {
    auto chromecast = FakeChromecastPlugin::create();
    auto airplay = FakeAirPlayPlugin::create();
    manager_->set(chromecast);
    manager_->set(airplay);
    chromecast->setAvailableDevices({"Den"});
    ASSERT_TRUE(chromecast->connect("Den"));

    manager_->setupChromecast("CC1AD845");
    manager_->load(streamWith(90.0, {}, "Cup final"), 12.5);
    manager_->setPlaybackRate(1.5f);
    manager_->seek(-5, true, CastResumeState::paused);
    manager_->togglePlayback();
    manager_->presentCastInstructionsViewControllerOnce(nullptr);
    manager_->setCast(MediaTrack{3, "fr"});
    manager_->setCast(std::nullopt);
    manager_->customButtonTapped({"Highlights", "highlights"});
    manager_->disconnectChromecast();

    EXPECT_EQ(
        chromecast->calls(),
        (std::vector<std::string>{"setup(CC1AD845)", "load(asset,12.5)", "setPlaybackRate(1.5)", "seek(-5,true,paused)",
                                  "togglePlayback()", "presentCastInstructionsViewControllerOnce()", "set(fr)",
                                  "set(none)", "customButtonTapped(highlights)", "stopCasting(true)"}));
    EXPECT_EQ(chromecast->setupText(), "CC1AD845");
    EXPECT_FALSE(chromecast->selectedClosedCaptions());
    EXPECT_TRUE(airplay->calls().empty());  // AirPlay is never told to stop
    EXPECT_EQ(chromecast->connectionState(), State::disconnected);
    EXPECT_FALSE(manager_->isConnected());

    auto player = opaqueHandle<avfoundation::AVPlayer>();
    manager_->addAirPlayListener(player);
    EXPECT_EQ(airplay->calls(), std::vector<std::string>{"addAirPlayListener()"});
    ASSERT_EQ(airplay->listenedPlayers().size(), 1u);
    EXPECT_EQ(airplay->listenedPlayers()[0].lock(), player);
}

TEST_F(CastManagerTest, ClosedCaptionsMatchTheLanguageCodeExactly) {
    auto chromecast = FakeChromecastPlugin::create();
    manager_->set(chromecast);
    EXPECT_FALSE(manager_->findClosedCaptions("en"));  // no current stream

    chromecast->setCurrentCastStream(
        streamWith(100.0, {{1, "es"}, {2, "en"}, {3, "en"}, {4, "EN"}, {5, "en-GB"}}, "Semi-final"));
    EXPECT_EQ(manager_->currentCastStreamTitle(), "Semi-final");
    EXPECT_EQ(manager_->currentCastStreamClosedCaptions().size(), 5u);

    auto en = manager_->findClosedCaptions("en");
    ASSERT_TRUE(en);
    EXPECT_EQ(en->id, 2);  // the first in list order
    EXPECT_EQ(manager_->findClosedCaptions("EN")->id, 4);
    EXPECT_FALSE(manager_->findClosedCaptions("En"));
    EXPECT_FALSE(manager_->findClosedCaptions("en-gb"));
    EXPECT_FALSE(manager_->findClosedCaptions(""));
    EXPECT_FALSE(manager_->findClosedCaptions("en "));
}

// ---- Re-entrancy ----

TEST_F(CastManagerTest, PluginsMayCallBackIntoTheManagerFromAnyCall) {
    auto chromecast = FakeChromecastPlugin::create();
    auto airplay = FakeAirPlayPlugin::create();
    auto replacement = FakeChromecastPlugin::create();
    replacement->setConnectionState(State::connected);
    manager_->set(chromecast);
    manager_->set(airplay);

    std::vector<std::string> seen;
    std::weak_ptr<CastManager> weakManager = manager_;
    chromecast->setOnCall([&seen, weakManager](const std::string& call) {
        auto manager = weakManager.lock();
        if (!manager) return;
        // Reads, commands to the other plug-in and nested commands to itself.
        seen.push_back(call + (manager->isConnected() ? " connected" : " idle"));
        manager->addAirPlayListener(nullptr);
        if (call == "togglePlayback()") manager->setPlaybackRate(0.5f);
    });
    airplay->setOnCall([this, replacement](const std::string& call) {
        if (call == "addAirPlayListener()") manager_->set(std::shared_ptr<CastManagerInterface>(replacement));
    });

    manager_->togglePlayback();
    // The first call replaced the plug-in mid-way: the nested rate change went to the replacement.
    EXPECT_EQ(seen, std::vector<std::string>{"togglePlayback() idle"});
    EXPECT_EQ(chromecast->calls(), std::vector<std::string>{"togglePlayback()"});
    EXPECT_EQ(replacement->calls(), std::vector<std::string>{"setPlaybackRate(0.5)"});
    EXPECT_EQ(manager_->chromecastPlugin(), replacement);
    EXPECT_TRUE(manager_->canControlCastPlayer());
}

// A plug-in that, when the manager lets it go, asks the manager something on its way out.
class TalkativeAirPlay : public FakeAirPlayPlugin {
  public:
    explicit TalkativeAirPlay(std::weak_ptr<CastManager> manager, int& answers)
        : manager_(std::move(manager)), answers_(answers) {}
    ~TalkativeAirPlay() override {
        if (auto manager = manager_.lock()) {
            answers_ += manager->isConnected() ? 2 : 1;
            (void)manager->deviceName(CastType::airplay);
        }
    }

  private:
    std::weak_ptr<CastManager> manager_;
    int& answers_;
};

TEST_F(CastManagerTest, AReplacedPluginMayCallBackWhileBeingReleased) {
    int answers = 0;
    manager_->set(std::shared_ptr<AirPlayManagerInterface>(std::make_shared<TalkativeAirPlay>(manager_, answers)));
    auto next = FakeAirPlayPlugin::create();
    next->setConnectionState(State::connected);
    manager_->set(next);  // releases the first plug-in, which calls back in
    EXPECT_EQ(answers, 2);
}

TEST_F(CastManagerTest, PluginsCanBeReplacedWhileOtherThreadsRead) {
    auto a = FakeChromecastPlugin::create();
    auto b = FakeChromecastPlugin::create();
    a->setConnectionState(State::canControlCastPlayer);
    b->setDeviceName("B");
    auto airplay = FakeAirPlayPlugin::create();
    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!done.load()) {
            (void)manager_->isConnected();
            (void)manager_->canControlCastPlayer();
            (void)manager_->chromecastDeviceName();
            (void)manager_->deviceName();
        }
    });
    for (int i = 0; i < 2000; ++i) {
        manager_->set(std::shared_ptr<CastManagerInterface>(i % 2 ? a : b));
        if (i % 100 == 0) manager_->set(std::shared_ptr<AirPlayManagerInterface>(airplay));
    }
    done.store(true);
    reader.join();
    EXPECT_EQ(manager_->chromecastPlugin(), a);
}

}  // namespace
}  // namespace lumora
