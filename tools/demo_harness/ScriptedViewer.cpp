#include "ScriptedViewer.h"

#include <cmath>
#include <cstdio>

#include "avfoundation/AVMediaSelection.h"
#include "controls/ZuSlider.h"
#include "controls/ZuSliderControlsView.h"
#include "dispatch/DispatchQueue.h"
#include "keymoments/ZuKeyMomentsView.h"
#include "screen/ZuPlayerViewController.h"
#include "signin/LoginViewController.h"
#include "uikit/UIWindow.h"
#include "uikit/testing/EventSimulator.h"

namespace demoharness {

namespace {

using uikit::testing::TouchSimulator;

// When each step starts: the content time it waits for. The demo asset's ads are at 30 s and 70 s of
// content; the steps keep clear of them so that both breaks play.
struct Step {
    const char* name;
    double at;
};
constexpr Step kSteps[] = {
    {"controls", 5},       // tap the picture: the controls appear
    {"captions", 15},      // captions on, in the second language offered
    {"scrub", 42},         // drag the slider's thumb ten seconds on, the thumbnail above it
    {"key moment", 60},    // the strip of key moments; pick the latest one passed
    {"cast", 76},          // cast to a receiver for a few seconds
    {"jump forward", 82},  // +15 s
    {"jump back", 99},     // -15 s
};
// How long the controls take to fade in after a tap.
constexpr double kFadeIn = 0.4;

std::string mmss(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
    const long long s = static_cast<long long>(seconds);
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%02lld:%02lld", s / 60, s % 60);
    return buffer;
}

}  // namespace

std::shared_ptr<ScriptedViewer> ScriptedViewer::create(std::shared_ptr<uikit::UIWindow> window,
                                                       std::weak_ptr<lumora::ZuPlayerViewController> screen,
                                                       Hooks hooks) {
    return std::shared_ptr<ScriptedViewer>(new ScriptedViewer(std::move(window), std::move(screen), std::move(hooks)));
}

ScriptedViewer::ScriptedViewer(std::shared_ptr<uikit::UIWindow> window,
                               std::weak_ptr<lumora::ZuPlayerViewController> screen, Hooks hooks)
    : window_(std::move(window)), screen_(std::move(screen)), hooks_(std::move(hooks)) {}

void ScriptedViewer::after(double seconds, std::function<void()> block) {
    dispatch::DispatchQueue::main().asyncAfter(dispatch::DispatchTime::now() + seconds,
                                               [w = weak_from_this(), block = std::move(block)] {
                                                   if (w.lock()) block();
                                               });
}

void ScriptedViewer::finishStep(const std::string& name) {
    done_.push_back(name);
    busy_ = false;
}

// ---- Sign-in ----

void ScriptedViewer::signIn(const std::shared_ptr<lumora::LoginViewController>& login, const std::string& email,
                            const std::string& password) {
    std::weak_ptr<lumora::LoginViewController> weakLogin = login;
    // Tap into the e-mail field, type; tap into the password field, type.
    TouchSimulator(window_).tap(login->usernameTextField());
    login->usernameTextField()->simulateTyping(email);
    TouchSimulator(window_).tap(login->passwordTextField());
    login->passwordTextField()->simulateTyping(password);
    hooks_.say("viewer: typed " + email + " and a password of " + std::to_string(password.size()) +
               " characters into the login screen");
    // The login button fades in once both fields hold text.
    after(0.4, [this, weakLogin] {
        auto login = weakLogin.lock();
        if (!login) return;
        hooks_.screenshot("login", "The kit's login screen, filled in");
        // Said as the finger lands: the sign-in the tap starts is the kit's answer to it.
        hooks_.say("viewer: tapped \"Login\"");
        TouchSimulator(window_).tap(login->loginButton());
        done_.push_back("sign-in");
    });
}

// ---- While playing ----

bool ScriptedViewer::controlsShown() const {
    auto screen = screen_.lock();
    if (!screen || !screen->player() || !screen->controlsView()) return false;
    const auto& controls = screen->controlsView();
    return screen->player()->controlPageView()->page() == controls && controls->alpha() > 0.99f;
}

void ScriptedViewer::withControls(std::function<void()> next, int attempts) {
    if (controlsShown()) {
        next();
        return;
    }
    auto screen = screen_.lock();
    if (!screen || !screen->player() || attempts <= 0) {
        next();  // the step finds what it needs missing and says so
        return;
    }
    // Hidden: a tap shows them. Fading in or out: look again once the fade is over.
    if (!screen->player()->controlPageView()->page()) {
        TouchSimulator(window_).tap(TouchSimulator::centerOf(screen->player()));
    }
    after(kFadeIn, [this, next = std::move(next), attempts]() mutable { withControls(std::move(next), attempts - 1); });
}

void ScriptedViewer::playing(double position, double duration) {
    if (busy_ || next_ >= std::size(kSteps) || !std::isfinite(position)) return;
    const Step& step = kSteps[next_];
    if (position < step.at) return;
    ++next_;
    busy_ = true;
    const std::string name = step.name;
    if (name == "controls") {
        showControls();
    } else if (name == "captions") {
        switchCaptions();
    } else if (name == "scrub") {
        scrub(duration);
    } else if (name == "key moment") {
        pickKeyMoment(position);
    } else if (name == "cast") {
        castForAMoment();
    } else {
        jump(name == "jump forward");
    }
}

void ScriptedViewer::showControls() {
    withControls([this] {
        hooks_.say("viewer: tapped the picture; the controls are shown");
        hooks_.screenshot("playing-controls", "Playing, the controls shown after a tap");
        finishStep("controls");
    });
}

void ScriptedViewer::switchCaptions() {
    auto screen = screen_.lock();
    auto player = screen ? screen->player() : nullptr;
    auto options = player ? player->captionsAndSubtitles() : std::nullopt;
    if (!options || options->empty()) {
        hooks_.say("viewer: looked for captions; the stream offers none");
    } else {
        const auto& choice = options->size() > 1 ? (*options)[1] : options->front();
        player->setCaptionAndSubtitle(choice->locale());
        auto shown = player->selectedCaptionAndSubtitle();
        hooks_.say("viewer: switched captions to " + (shown ? shown->displayName() : std::string("none")) + " (of " +
                   std::to_string(options->size()) + " offered)");
    }
    finishStep("captions");
}

void ScriptedViewer::scrub(double duration) {
    withControls([this, duration] {
        auto screen = screen_.lock();
        auto controls = screen ? screen->controlsView() : nullptr;
        auto sliders = controls ? controls->sliders() : nullptr;
        if (!sliders || !sliders->window()) {
            hooks_.say("viewer: wanted to scrub, but the slider is not shown");
            return finishStep("scrub");
        }
        const auto& slider = sliders->slider();
        const float from = slider->value();
        const float to = static_cast<float>(std::min(from + 10.0, duration > 0 ? duration - 1 : from + 10.0));
        const auto start = TouchSimulator::centerOf(slider->thumb());
        const double endX = start.x + (slider->thumbCenterX(to) - slider->thumbCenterX(from));
        auto touch = TouchSimulator(window_).begin(start);
        // The finger moves over half a second, about a move a frame, then rests: the thumb's spring has
        // settled under it and the thumbnail shows the place it rests on.
        constexpr int kMoves = 15;
        constexpr double kFrame = 1.0 / 30;
        for (int i = 1; i <= kMoves; ++i) {
            after(i * kFrame, [this, touch, start, endX, i] {
                TouchSimulator(window_).move(touch, uikit::CGPoint{start.x + (endX - start.x) * i / kMoves, start.y});
            });
        }
        after(kMoves * kFrame + 1.2, [this, touch, from, to] {
            hooks_.screenshot("scrubbing", "Scrubbing with the slider: the thumbnail of the place under the thumb");
            TouchSimulator(window_).end(touch);
            hooks_.say("viewer: scrubbed from " + mmss(from) + " to " + mmss(to));
            // The thumb settles for a second before the seek.
            after(1.2, [this] { finishStep("scrub"); });
        });
    });
}

void ScriptedViewer::pickKeyMoment(double position) {
    withControls([this, position] {
        auto screen = screen_.lock();
        auto controls = screen ? screen->controlsView() : nullptr;
        auto strip = controls && controls->sliders() ? controls->sliders()->keyMomentsView() : nullptr;
        if (!strip || !strip->window() || strip->isHidden()) {
            hooks_.say("viewer: looked for key moments; none are shown");
            return finishStep("key moment");
        }
        // The latest moment already passed that has a marker of its own.
        std::optional<lumora::ZuKeyMomentEvent> pick;
        std::shared_ptr<lumora::ZuKeyMomentItem> marker;
        for (const auto& event : keyMoments_) {
            if (event.videoTime > position) continue;
            if (auto item = strip->item(event)) {
                pick = event;
                marker = item;
            }
        }
        if (!pick) {
            hooks_.screenshot("key-moments", "The key-moments strip along the slider");
            hooks_.say("viewer: found no key moment to pick");
            return finishStep("key moment");
        }
        const auto parts =
            lumora::ZuKeyMomentItem::geometry(marker->bounds(), marker->layoutMargins(), marker->styles());
        const uikit::CGPoint bubble{parts.bubble.midX(), parts.bubble.midY()};
        TouchSimulator(window_).tap(marker->convertTo(bubble, nullptr));
        // Where the pick sent the player: the seek under way, or the playhead it already moved.
        const auto& player = screen->player();
        const auto target = player->pendingSeekTime().value_or(player->avplayer()->currentTime());
        hooks_.say("viewer: picked the key moment " + pick->code + " (" + pick->happening + ") at " +
                   mmss(pick->videoTime) + "; the seek went to " + mmss(target.seconds()) + " of the stream");
        // Once the seek has landed and the slider follows the playhead again: the slider shows the moment's
        // place in the programme, the picture the stream there.
        after(1.0, [this] {
            auto screen = screen_.lock();
            auto controls = screen ? screen->controlsView() : nullptr;
            if (controls && controls->sliders() && screen->player()) {
                hooks_.screenshot("key-moments",
                                  "A key moment picked on the strip: the slider and the picture where its seek landed");
                hooks_.say("viewer: the seek landed: the slider at " + mmss(controls->sliders()->slider()->value()) +
                           ", the picture at " + mmss(screen->player()->avplayer()->currentTime().seconds()) +
                           " of the stream");
            }
            finishStep("key moment");
        });
    });
}

void ScriptedViewer::jump(bool forward) {
    withControls([this, forward] {
        auto screen = screen_.lock();
        auto controls = screen ? screen->controlsView() : nullptr;
        auto row = controls ? controls->playbacks() : nullptr;
        if (!row || !row->window()) {
            hooks_.say("viewer: wanted to jump, but the playback buttons are not shown");
            return finishStep(forward ? "jump forward" : "jump back");
        }
        const auto& button = forward ? row->fastForwardButton() : row->rewindButton();
        TouchSimulator(window_).tap(button);
        hooks_.say(forward ? "viewer: jumped 15 s forward" : "viewer: jumped 15 s back");
        after(0.5, [this, forward] { finishStep(forward ? "jump forward" : "jump back"); });
    });
}

void ScriptedViewer::castForAMoment() {
    if (!hooks_.cast) return finishStep("cast");
    hooks_.cast(true);
    after(4, [this] {
        hooks_.cast(false);
        finishStep("cast");
    });
}

void ScriptedViewer::adStarted(const std::string& title) {
    if (adPictured_) return;
    adPictured_ = true;
    after(1.5, [this, title] { hooks_.screenshot("ad", "During an ad: " + title); });
}

void ScriptedViewer::ended() {
    // A last look at the controls: the whole programme played, the play button offered again.
    withControls([this] {
        hooks_.screenshot("end", "The end of the stream, the controls shown");
        done_.push_back("end");
    });
}

}  // namespace demoharness
