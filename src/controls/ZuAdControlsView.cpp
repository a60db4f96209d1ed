#include "controls/ZuAdControlsView.h"

#include <array>
#include <cmath>
#include <string>

#include "kitfoundation/Utilities.h"
#include "playback/AdSignallingService.h"
#include "playback/VideoPlayerProxy.h"
#include "playback/ZuPlayer.h"
#include "playback/ZuPlayerReactive.h"
#include "rx/Foundation.h"
#include "rx/Rx.h"
#include "ui/MetricBuilder.h"
#include "ui/ZuPlayerMetrics.h"
#include "uikit/ConstraintMaker.h"
#include "uikit/UIColor.h"
#include "uikit/UIGraphics.h"

namespace lumora {

namespace {

// The rows' own densities: play / pause alone; the time label on the left and full screen on the right.
constexpr ZuPlayerControlsDisplayDensity kPlaybackDensity = 8;
constexpr ZuPlayerControlsDisplayDensity kFunctionalDensity = 4;

}  // namespace

std::shared_ptr<ZuAdControlsView> ZuAdControlsView::create(const std::shared_ptr<ZuPlayer>& player) {
    std::shared_ptr<ZuAdControlsView> view(new ZuAdControlsView(player));
    view->setUp();
    return view;
}

ZuAdControlsView::ZuAdControlsView(std::weak_ptr<ZuPlayer> player)
    : ControlsOverlayView(uikit::CGRect()),
      displayDensity_(ZuPlayerMetrics::shared().defaultDisplayDensity),
      playbacks_(ZuPlaybackControlsView::create()),
      functionals_(ZuFunctionalControlsView::create()),
      player_(std::move(player)) {
    setIsOpaque(false);
    setIsFocusable(false);
    functionals_->setTranslatesAutoresizingMaskIntoConstraints(false);
    playbacks_->setTranslatesAutoresizingMaskIntoConstraints(false);
    functionals_->setTintColor(uikit::UIColor::white());
    playbacks_->setTintColor(uikit::UIColor::white());
    setIsHidden(true);
}

ZuAdControlsView::~ZuAdControlsView() = default;

void ZuAdControlsView::setUp() {
    auto player = this->player();
    if (!player) return;
    std::weak_ptr<ZuAdControlsView> weak = sharedAs<ZuAdControlsView>();
    player->playerProxy()
        ->adEventsPublisher()
        .sink([weak](const AdEvent& event) {
            auto self = weak.lock();
            if (!self) return;
            if (event.isStart()) {
                self->adDidStart(event.ad());
            } else {
                self->adDidFinish(event.hasAdCompleted());
            }
        })
        .store(adEvents_);
    // Made while an ad is shown: the kit's own signalling knows which one.
    auto proxy = std::dynamic_pointer_cast<VideoPlayerProxy>(player->playerProxy());
    auto signalling = proxy ? std::dynamic_pointer_cast<AdSignallingService>(proxy->adSignallingService()) : nullptr;
    if (signalling && !signalling->currentDisplayAds().empty())
        adDidStart(signalling->currentDisplayAds().front().info);
}

// ---- Ads --------------------------------------------------------------------------------------------

void ZuAdControlsView::adDidStart(const AdDisplayInfo& ad) {
    currentAd_ = ad;
    updateVisibility();
    updateAdLabel();
}

bool ZuAdControlsView::isPlayheadInAd() const {
    auto player = this->player();
    return player && player->timeRemainingForAdAt(player->currentTime().seconds()) > 0;
}

void ZuAdControlsView::updateVisibility() {
    // The ad events alone cannot hide the view for sure: new ad groups drop the ad shown without a finish
    // event, which would leave "Ad 1 of 2" over the content for good.
    setIsHidden(!(currentAd_ && isPlayheadInAd()));
}

void ZuAdControlsView::adDidFinish(bool hasAdCompleted) {
    // Between two ads of a break the next start follows at once; only the end of the break hides the view.
    if (!hasAdCompleted) return;
    currentAd_.reset();
    functionals_->timeLabel()->setText(std::string());
    setIsHidden(true);
}

void ZuAdControlsView::updateAdLabel() {
    if (!currentAd_) return;
    std::string text = currentAd_->title;
    if (auto player = this->player()) {
        const double left = std::ceil(player->timeRemainingForAdAt(player->currentTime().seconds()) - 1e-6);
        if (left > 0) text += " · " + timeFormatted(left);
    }
    functionals_->timeLabel()->setText(text);
}

// ---- Density and layout -----------------------------------------------------------------------------

void ZuAdControlsView::setNeedsUpdateDisplayDensity() {
    auto d = delegate();
    displayDensity_ = d ? d->adControlsDisplayDensity(*this) : ZuPlayerMetrics::shared().defaultDisplayDensity;
    applyMargins(displayDensity_);
}

void ZuAdControlsView::updateConstraints() {
    auto guide = layoutMarginsGuide();
    if (playbacks_->superview()) constrainPlaybackRow(playbacks_);
    if (functionals_->superview()) {
        functionals_->snp().remakeConstraints(
            [&](uikit::ConstraintMaker& make) { make.leading().trailing().bottom().equalTo(guide); });
    }
    ControlsOverlayView::updateConstraints();
}

// ---- Row delegates ----------------------------------------------------------------------------------

void ZuAdControlsView::playbackControlsViewWillTogglePlayback(ZuPlaybackControlsView& view) {
    (void)view;
    auto player = this->player();
    if (!player) return;
    if (player->avplayer()->rate() != 0) {
        player->pause(false);
    } else {
        player->play(false);
    }
    if (auto d = player->delegate()) d->playerDidTogglePlayback(*player);
}

void ZuAdControlsView::functionalControlsViewWillChangeFullScreen(ZuFunctionalControlsView& view, bool fullScreen) {
    (void)view;
    (void)fullScreen;
    auto player = this->player();
    if (!player) return;
    if (auto d = player->delegate()) d->playerDidChangeFullScreenStatus(*player);
}

// ---- UIView -----------------------------------------------------------------------------------------

void ZuAdControlsView::willMoveToSuperview(const std::shared_ptr<uikit::UIView>& newSuperview) {
    ControlsOverlayView::willMoveToSuperview(newSuperview);
    // One set of bindings at a time: a move ends the previous ones before any new ones are made.
    disposeBag_ = rx::DisposeBag();
    if (!newSuperview) return;

    auto self = sharedAs<ZuAdControlsView>();
    if (playbacks_->superview().get() != this) {
        addSubview(playbacks_);
        playbacks_->setDelegate(std::static_pointer_cast<ZuPlaybackControlsViewDelegate>(self));
    }
    playbacks_->setDisplayDensity(kPlaybackDensity);
    playbacks_->updateLayout();
    if (functionals_->superview().get() != this) {
        addSubview(functionals_);
        functionals_->setDelegate(std::static_pointer_cast<ZuFunctionalControlsViewDelegate>(self));
    }
    functionals_->setDisplayDensity(kFunctionalDensity);
    functionals_->reloadSections();
    functionals_->setIsNextButtonHidden(true);
    setNeedsUpdateConstraints();
    setNeedsUpdateDisplayDensity();
    bind();
}

void ZuAdControlsView::bind() {
    auto player = this->player();
    if (!player) return;
    std::weak_ptr<ZuAdControlsView> weak = sharedAs<ZuAdControlsView>();
    player->rx()
        .rate()
        .map([](float rate) { return rate > 0; })
        .subscribe([weak](bool playing) {
            auto self = weak.lock();
            if (self && self->playbacks_->superview().get() == self.get()) self->playbacks_->setIsPlaying(playing);
        })
        .disposed(disposeBag_);
    rx::Reactive(player)
        .observeWeakly<bool>("isFullScreen")
        .subscribe([weak](const std::optional<bool>& fullScreen) {
            auto self = weak.lock();
            if (!self || !fullScreen || self->functionals_->superview().get() != self.get()) return;
            self->functionals_->setIsFullScreen(*fullScreen);
        })
        .disposed(disposeBag_);
    // The countdown of the ad shown, and out of the way as soon as the playhead is in no ad.
    player->rx()
        .currentTime()
        .subscribe([weak](const coremedia::CMTime&) {
            auto self = weak.lock();
            if (!self) return;
            self->updateVisibility();
            self->updateAdLabel();
        })
        .disposed(disposeBag_);
}

}  // namespace lumora
