#include "DemoHost.h"

#include <utility>

#include "avfoundation/AVPlayer.h"
#include "dispatch/DispatchQueue.h"
#include "playservice/ConcurrencyError.h"
#include "ui/ZuApplication.h"
#include "uikit/ConstraintMaker.h"
#include "uikit/UIAlertController.h"
#include "uikit/UIApplication.h"
#include "uikit/UIScreen.h"

namespace demohost {

namespace {

// The alerts' titles, over the error's own text.
constexpr const char* kFailureTitle = "Playback Error";
constexpr const char* kStreamLimitTitle = "Playback Stopped";
// How many transitions (a dismissing login screen, ...) the alert waits out before it is put up anyway.
constexpr int kSettleAttempts = 20;

// The controls' layout: the phone layout, with the key-moments strip and its button.
constexpr lumora::ZuPlayerControlsDisplayDensity kDensity = 0;

double seconds(const coremedia::CMTime& time) {
    return time.isNumeric() ? time.seconds() : 0;
}

}  // namespace

std::shared_ptr<DemoHost> DemoHost::create(Settings settings, std::weak_ptr<DemoHostListener> listener) {
    return std::shared_ptr<DemoHost>(new DemoHost(std::move(settings), std::move(listener)));
}

DemoHost::DemoHost(Settings settings, std::weak_ptr<DemoHostListener> listener)
    : settings_(std::move(settings)), listener_(std::move(listener)) {}

DemoHost::~DemoHost() = default;

const std::vector<lumora::ZuKeyMomentEvent>& DemoHost::keyMoments() const {
    static const std::vector<lumora::ZuKeyMomentEvent> none;
    return controlsDelegate_ ? controlsDelegate_->keyMoments() : none;
}

std::vector<AssetExtras::Part> DemoHost::extrasAwaited() const {
    return awaited_;
}

void DemoHost::start() {
    if (settings_.loopbackLicenceBase) licenceRedirect_.emplace("127.0.0.1", *settings_.loopbackLicenceBase);
    // The kit's application class: touches reach the controls' idle timer through it.
    if (!std::dynamic_pointer_cast<lumora::ZuApplication>(uikit::UIApplication::shared())) {
        uikit::UIApplication::setShared(lumora::ZuApplication::create());
    }

    window_ = uikit::UIWindow::create(uikit::UIScreen::main()->bounds());
    window_->makeKeyAndVisible();
    screen_ = lumora::ZuPlayerViewController::create(settings_.services);
    screen_->setDelegate(std::weak_ptr<lumora::ZuPlayerViewControllerDelegate>(shared_from_this()));
    window_->setRootViewController(screen_);
    uikit::UIWindow::layoutAndDisplayWindowsIfNeeded();

    // The host stands between the controls and the screen for the key moments.
    controlsDelegate_ = std::make_shared<KeyMomentsControlsDelegate>(screen_, kDensity);
    controlsDelegate_->onSelect = [weak = weak_from_this()](const lumora::ZuKeyMomentEvent& event) {
        auto self = weak.lock();
        if (!self) return;
        if (auto listener = self->listener_.lock()) listener->hostDidSelectKeyMoment(event);
    };
    screen_->controlsView()->setDelegate(std::weak_ptr<lumora::VideoControlsViewDelegate>(controlsDelegate_));
    screen_->controlsView()->setNeedsUpdateDisplayDensity();

    const auto& player = screen_->player();
    adControls_ = lumora::ZuAdControlsView::create(player);
    player->addSubview(adControls_);
    adControls_->snp().makeConstraints([](uikit::ConstraintMaker& make) { make.edges().equalToSuperview(); });

    castManager_ = lumora::CastManager::create();
    receiver_ = CastReceiver::create(settings_.castDevices);
    castManager_->set(std::shared_ptr<lumora::CastManagerInterface>(receiver_));
    player->setCastManager(castManager_);

    // The extras come from the host's own back end while the viewer signs in.
    const std::string& base = settings_.serviceBase;
    awaited_ = {AssetExtras::Part::adBreaks, AssetExtras::Part::keyMoments, AssetExtras::Part::thumbnails};
    AssetExtras::fetch(base + "/ads/" + settings_.assetId + "/breaks.json", base + "/thumbnails/" + settings_.assetId,
                       [weak = weak_from_this()](AssetExtras::Part part, AssetExtras extras) {
                           if (auto self = weak.lock()) self->extrasArrived(part, std::move(extras));
                       });
    // The stream's length, which the ads must fit in, is known once the stream has loaded.
    durationObservation_ = player->durationProperty().observe(
        foundation::NSKeyValueObservingOptions::new_,
        [weak = weak_from_this()](const foundation::NSKeyValueObservedChange<coremedia::CMTime>&) {
            if (auto self = weak.lock()) self->giveAdBreaksOnceLoaded();
        });
    playingObservation_ = player->timeControlStatusProperty().observe(
        foundation::NSKeyValueObservingOptions::new_,
        [weak = weak_from_this()](
            const foundation::NSKeyValueObservedChange<lumora::ZuPlayer::TimeControlStatus>& change) {
            auto self = weak.lock();
            if (!self || self->playing_ || change.newValue != lumora::ZuPlayer::TimeControlStatus::playing) return;
            self->playing_ = true;
            self->decodeThumbnailsOncePlaying();
        });
    screen_->play(settings_.assetId);
}

void DemoHost::tearDown() {
    playingObservation_.invalidate();
    durationObservation_.invalidate();
    if (screen_ && screen_->player()) {
        screen_->player()->avplayer()->pause();
        screen_->player()->avplayer()->replaceCurrentItem(nullptr);
    }
    // A transition under way ends with the window; asking for a dismissal meanwhile would be refused.
    if (screen_ && screen_->presentedViewController() && isSettled()) screen_->dismiss(false);
    if (window_) window_->setRootViewController(nullptr);
    if (receiver_) receiver_->disconnect();
    adControls_.reset();
    controlsDelegate_.reset();
    castManager_.reset();
    receiver_.reset();
    screen_.reset();
    window_.reset();
    licenceRedirect_.reset();
}

void DemoHost::extrasArrived(AssetExtras::Part part, AssetExtras extras) {
    if (!screen_ || !screen_->player()) return;
    std::erase(awaited_, part);
    switch (part) {
        case AssetExtras::Part::adBreaks:
            if (!extras.problems.empty()) return tellListener(part, extras);
            adBreaks_ = std::move(extras);
            return giveAdBreaksOnceLoaded();
        case AssetExtras::Part::keyMoments:
            if (!extras.keyMoments.empty()) {
                controlsDelegate_->setKeyMoments(extras.keyMoments);
                screen_->controlsView()->updateKeyMoments();
                // The key-moments button comes with them, showing that all of them are shown.
                screen_->controlsView()->setNeedsUpdateDisplayDensity();
                screen_->controlsView()->updateKeyMomentButtonState(lumora::KeyMomentsState::revealAll);
            }
            return tellListener(part, extras);
        case AssetExtras::Part::thumbnails:
            if (!extras.thumbnailData) return tellListener(part, extras);
            thumbnails_ = std::move(extras);
            return decodeThumbnailsOncePlaying();
    }
}

void DemoHost::giveAdBreaksOnceLoaded() {
    if (!adBreaks_ || !screen_ || !screen_->player()) return;
    const auto& player = screen_->player();
    const auto loaded = player->duration();
    const auto item = player->avplayer()->currentItem();
    if (!item || !loaded.isNumeric() || loaded.seconds() <= 0) return;
    // A live stream has no end for an ad to pass.
    const auto length = item->duration();
    auto extras = *std::exchange(adBreaks_, std::nullopt);
    extras.adBreaks = AssetExtras::withinStream(
        std::move(extras.adBreaks), length.isNumeric() ? std::optional<double>(length.seconds()) : std::nullopt);
    if (!extras.adBreaks.groups.empty()) player->update(extras.adBreaks.groups);
    tellListener(AssetExtras::Part::adBreaks, extras);
}

void DemoHost::decodeThumbnailsOncePlaying() {
    if (!thumbnails_ || !playing_) return;
    // On a later turn: the first picture is drawn before the decoding starts beside it.
    dispatch::DispatchQueue::main().async(
        [weak = weak_from_this(), extras = *std::exchange(thumbnails_, std::nullopt)] {
            if (!weak.lock()) return;
            AssetExtras::decodeThumbnails(extras, [weak](AssetExtras decoded) {
                if (auto self = weak.lock()) self->thumbnailsDecoded(std::move(decoded));
            });
        });
}

void DemoHost::thumbnailsDecoded(AssetExtras extras) {
    if (!screen_ || !screen_->player()) return;
    if (extras.thumbnails) screen_->controlsView()->setThumbnails(extras.thumbnails);
    tellListener(AssetExtras::Part::thumbnails, extras);
}

void DemoHost::tellListener(AssetExtras::Part part, const AssetExtras& extras) {
    if (auto listener = listener_.lock()) listener->hostDidGiveExtras(part, extras);
}

double DemoHost::playhead() const {
    return screen_ && screen_->player() ? seconds(screen_->player()->avplayer()->currentTime()) : 0;
}

// ---- Failures ----

bool DemoHost::isSettled() const {
    if (!screen_) return true;
    for (auto shown = screen_->presentedViewController(); shown;) {
        if (shown->isBeingPresented() || shown->isBeingDismissed()) return false;
        auto next = shown->presentedViewController();
        if (next == shown) break;
        shown = next;
    }
    return true;
}

bool DemoHost::isShowingFailure() const {
    return alertShown_ && isSettled();
}

void DemoHost::showFailure(Failure failure) {
    if (!screen_) return;
    const auto& current = pendingFailure_ ? pendingFailure_ : shownFailure_;
    if (current && (current->isStreamLimit || !failure.isStreamLimit)) return;
    if (screen_->player()) screen_->player()->pause(true);
    pendingFailure_ = std::move(failure);
    if (presentingScheduled_) return;
    presentingScheduled_ = true;
    presentFailureWhenSettled(kSettleAttempts);
}

void DemoHost::presentFailureWhenSettled(int attempts) {
    if (!screen_ || !pendingFailure_) return;
    // The login screen dismissing itself after a sign-in is the usual transition to wait out: a controller
    // in a transition presents nothing.
    if (!isSettled() && attempts > 0) {
        dispatch::DispatchQueue::main().asyncAfter(
            dispatch::DispatchTime::now() + uikit::UIViewController::transitionDuration,
            [weak = weak_from_this(), attempts] {
                if (auto self = weak.lock()) self->presentFailureWhenSettled(attempts - 1);
            });
        return;
    }
    if (alert_) {
        // The alert of the failure this one takes the place of goes first.
        alertShown_ = false;
        std::exchange(alert_, nullptr)->dismiss(true, [weak = weak_from_this()] {
            if (auto self = weak.lock()) self->presentFailureWhenSettled(kSettleAttempts);
        });
        return;
    }
    presentingScheduled_ = false;
    shownFailure_ = std::exchange(pendingFailure_, std::nullopt);
    auto alert = uikit::UIAlertController::create(shownFailure_->title, shownFailure_->message,
                                                  uikit::UIAlertController::Style::alert);
    alert->addAction(uikit::UIAlertAction::create("OK", uikit::UIAlertAction::Style::default_));
    std::shared_ptr<uikit::UIViewController> top = screen_;
    while (auto shown = top->presentedViewController()) {
        if (shown == top) break;
        top = shown;
    }
    alert_ = alert;
    top->presentAnimated(alert, true, [weak = weak_from_this(), alert = std::weak_ptr<uikit::UIViewController>(alert)] {
        auto self = weak.lock();
        if (self && self->alert_ == alert.lock()) self->alertShown_ = true;
    });
}

// ---- Casting ----

std::optional<double> DemoHost::castTo(const std::string& device) {
    if (!screen_ || !screen_->player() || !receiver_->connect(device)) return std::nullopt;
    const double at = playhead();
    const auto content = screen_->streamContent();
    const std::string id = content ? content->id : settings_.assetId;
    const std::string title = content ? content->title : settings_.assetId;
    auto item = screen_->player()->avplayer()->currentItem();
    const double duration = item ? seconds(item->duration()) : 0;
    screen_->player()->pause(true);
    castManager_->load(lumora::CastStream(id, title, std::nullopt, nullptr, false, "video", at, duration, 1.0f,
                                          lumora::CastPlayerState::playing, {}, std::nullopt),
                       at);
    return at;
}

std::optional<double> DemoHost::endCast() {
    if (!screen_ || !screen_->player() || !receiver_->deviceName()) return std::nullopt;
    const auto stream = receiver_->currentCastStream();
    const double at = stream && stream->position ? *stream->position : playhead();
    receiver_->disconnect();
    screen_->player()->play(false);
    return at;
}

// ---- The screen's delegate: the host acts, then its listener hears ----

void DemoHost::playerControllerDidChangeStatus(lumora::ZuPlayerViewController& controller,
                                               lumora::ZuPlayerStatus status) {
    if (auto listener = listener_.lock()) listener->playerControllerDidChangeStatus(controller, status);
}

void DemoHost::playerControllerDidFailWith(lumora::ZuPlayerViewController& controller, const foundation::Error& error) {
    showFailure({.title = kFailureTitle, .message = error.localizedDescription()});
    if (auto listener = listener_.lock()) listener->playerControllerDidFailWith(controller, error);
}

void DemoHost::playerControllerDidPressCloseButton(lumora::ZuPlayerViewController& controller) {
    // The host has nowhere else to go: it keeps playing.
    if (auto listener = listener_.lock()) listener->playerControllerDidPressCloseButton(controller);
}

void DemoHost::playerControllerDidPresentLogin(lumora::ZuPlayerViewController& controller) {
    if (auto listener = listener_.lock()) listener->playerControllerDidPresentLogin(controller);
}

void DemoHost::playerControllerDidLoginSuccessfully(lumora::ZuPlayerViewController& controller) {
    if (auto listener = listener_.lock()) listener->playerControllerDidLoginSuccessfully(controller);
}

void DemoHost::playerControllerDidDismissLogin(lumora::ZuPlayerViewController& controller) {
    if (auto listener = listener_.lock()) listener->playerControllerDidDismissLogin(controller);
}

void DemoHost::playerControllerDidFailLoginWith(lumora::ZuPlayerViewController& controller,
                                                const foundation::Error& error) {
    if (auto listener = listener_.lock()) listener->playerControllerDidFailLoginWith(controller, error);
}

void DemoHost::playerControllerDidExceedStreamLimit(lumora::ZuPlayerViewController& controller) {
    // The service refused the session and signed the viewer out: the player stops, and the viewer is told why.
    showFailure({.title = kStreamLimitTitle,
                 .message = lumora::ConcurrencyError().localizedDescription(),
                 .isStreamLimit = true});
    if (auto listener = listener_.lock()) listener->playerControllerDidExceedStreamLimit(controller);
}

}  // namespace demohost
