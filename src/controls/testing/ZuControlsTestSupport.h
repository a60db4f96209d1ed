#pragma once

// Test support for the controls over the player: a delegate that records what the controls tell it and answers
// what a test sets, and a fixture with a player of the local back end and a controls view over it, on a small
// phone lying on its side or another screen class. Header-only; link lumora_devserver and lumora_casting_testing.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "casting/CastManager.h"
#include "casting/testing/FakeCastPlugins.h"
#include "controls/ZuPlayerControlsView.h"
#include "playback/testing/ZuPlayerTestSupport.h"
#include "ui/AssetGraph.h"
#include "ui/testing/DeviceScope.h"
#include "ui/testing/ScreenClasses.h"
#include "uikit/ConstraintMaker.h"

namespace lumora::testing {

// Records every notice of the controls as a short line ("toggle 1", "jump -15", "seek to 30", "select A"...)
// and answers the questions with what the test set.
class RecordingControlsDelegate : public ZuPlayerControlsViewDelegate {
  public:
    std::optional<std::vector<ZuKeyMomentEvent>> playerControlsViewKeyMomentEvents(ZuPlayerControlsView&) override {
        return events;
    }
    bool shouldShowKeyMomentButton(ZuPlayerControlsView&) override { return showsKeyMomentButton; }
    ZuPlayerControlsDisplayDensity playerControlsDisplayDensity(ZuPlayerControlsView&) override { return density; }
    void playerControlsViewDidTogglePlayback(ZuPlayerControlsView&, bool isPlaying) override {
        add("toggle " + std::to_string(isPlaying));
    }
    void playerControlsViewDidChangePlaybackSpeed(ZuPlayerControlsView&, float speed) override {
        add("speed " + number(speed));
    }
    void playerControlsViewDidPlaybackJump(ZuPlayerControlsView&, double seconds) override {
        add("jump " + number(seconds));
    }
    void playerControlsViewDidSelectKeyMoment(ZuPlayerControlsView&, const ZuKeyMomentEvent& event) override {
        add("select " + event.code);
    }
    void playerControlsViewDidFocusOnKeyMoment(ZuPlayerControlsView&, const ZuKeyMomentEvent& event) override {
        add("focus " + event.code);
    }
    void playerControlsViewDidDismissKeyMoments(ZuPlayerControlsView&) override { add("dismiss"); }
    void playerControlsViewDidJumpToLive(ZuPlayerControlsView&) override { add("live"); }
    void playerControlsViewWillSeekTo(ZuPlayerControlsView&, double seconds) override {
        add("seek to " + number(seconds));
    }
    void playerControlsViewDidTapKeyMomentButton(ZuPlayerControlsView&,
                                                 const std::shared_ptr<uikit::UIButton>& button) override {
        tappedButton = button;
        add("key moment button");
    }
    std::optional<ZuKeyMomentEvent> selectedKeyMomentEvent(ZuPlayerControlsView&) override { return selected; }
    void playerControlsViewSeekBegan(ZuPlayerControlsView&) override { add("seek began"); }

    std::vector<std::string> calls(const std::string& prefix = "") const {
        std::vector<std::string> found;
        for (const auto& line : log) {
            if (line.starts_with(prefix)) found.push_back(line);
        }
        return found;
    }

    std::optional<std::vector<ZuKeyMomentEvent>> events;
    bool showsKeyMomentButton = false;
    ZuPlayerControlsDisplayDensity density = 2;
    std::optional<ZuKeyMomentEvent> selected;
    std::shared_ptr<uikit::UIButton> tappedButton;
    std::vector<std::string> log;

    static std::string number(double value) {
        std::ostringstream out;
        out << value;
        return out.str();
    }

  private:
    void add(std::string line) { log.push_back(std::move(line)); }
};

// Two images with the same pixels (the catalogue loads a new image at every look-up).
inline bool sameImage(const std::shared_ptr<uikit::UIImage>& a, const std::shared_ptr<uikit::UIImage>& b) {
    return a && b && a->bitmap() == b->bitmap();
}

// A key moment at `seconds` with the code `code`.
inline ZuKeyMomentEvent keyMoment(std::string code, double seconds) {
    return ZuKeyMomentEvent(std::move(code), seconds, seconds, "Goal", "12'", "Player", "Team");
}

// A player of the local back end in a window filling a device's screen — a small phone on its side (640 ×
// 360) unless the test names another screen class — with the controls view pinned over it (added by
// `showControls`, so a test can set the delegate first).
class ZuControlsTest : public ZuPlayerTest {
  protected:
    explicit ZuControlsTest(const ScreenClass& screen = screens::smallPhoneLandscape) : device(screen) {}

    void SetUp() override {
        ZuPlayerTest::SetUp();
        device.show(*window);
        window->layoutIfNeeded();
        controlsDelegate = std::make_shared<RecordingControlsDelegate>();
        controls = ZuPlayerControlsView::create(player);
        controls->setDelegate(controlsDelegate);
    }
    void TearDown() override {
        if (controls) controls->removeFromSuperview();
        controls.reset();
        ZuPlayerTest::TearDown();
    }

    void showControls() {
        player->addSubview(controls);
        controls->snp().makeConstraints([](uikit::ConstraintMaker& make) { make.edges().equalToSuperview(); });
        window->layoutIfNeeded();
    }

    // A cast manager with a Chromecast plug-in that can control the cast player, given to the player.
    std::shared_ptr<FakeChromecastPlugin> castToChromecast() {
        castManager = CastManager::create();
        chromecast = FakeChromecastPlugin::create();
        castManager->set(std::shared_ptr<CastManagerInterface>(chromecast));
        chromecast->setConnectionState(CastConnectionState::canControlCastPlayer);
        player->setCastManager(castManager);
        return chromecast;
    }

    // Plays on in tenths of a second until the playhead has passed `seconds` (stream time). Bounded: a playhead
    // that never gets there (media that never comes) fails the test, not hangs it.
    void advancePlayheadPast(double seconds) {
        for (int step = 0; player->avplayer()->currentTime().seconds() < seconds; ++step) {
            if (HasFailure() || step > seconds * 20 + 100) {
                ADD_FAILURE() << "the playhead stopped at " << player->avplayer()->currentTime().seconds()
                              << " s on its way to " << seconds << " s";
                return;
            }
            advance(0.1, 0.1);
        }
    }

    std::shared_ptr<ZuFunctionalControlsView> functionals() { return controls->functionals(); }
    std::shared_ptr<ZuSliderControlsView> sliders() { return controls->sliders(); }
    std::string timeText() { return functionals()->timeLabel()->text().value_or(""); }
    float sliderValue() { return sliders()->slider()->value(); }

    ScreenClassScope device;
    PlayerAppearanceScope appearance;
    std::shared_ptr<RecordingControlsDelegate> controlsDelegate;
    std::shared_ptr<ZuPlayerControlsView> controls;
    std::shared_ptr<CastManager> castManager;
    std::shared_ptr<FakeChromecastPlugin> chromecast;
};

}  // namespace lumora::testing
