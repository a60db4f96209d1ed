#include "controls/ZuPlayerControlsView.h"

#include <cmath>

#include "casting/CastManager.h"
#include "playback/ZuPlayer.h"
#include "ui/ZuPlayerMetrics.h"
#include "uikit/UIColor.h"
#include "uikit/UIGraphics.h"

namespace lumora {

std::shared_ptr<ZuPlayerControlsView> ZuPlayerControlsView::create(const std::shared_ptr<ZuPlayer>& player) {
    std::shared_ptr<ZuPlayerControlsView> view(new ZuPlayerControlsView(player));
    view->setUp();
    return view;
}

ZuPlayerControlsView::ZuPlayerControlsView(std::weak_ptr<ZuPlayer> player)
    : ControlsOverlayView(uikit::CGRect()),
      displayDensity_(ZuPlayerMetrics::shared().defaultDisplayDensity),
      player_(std::move(player)) {
    setIsOpaque(false);
    setIsFocusable(false);
}

ZuPlayerControlsView::~ZuPlayerControlsView() = default;

void ZuPlayerControlsView::setUp() {
    functionals()->setTintColor(uikit::UIColor::white());
    playbacks()->setTintColor(uikit::UIColor::white());
}

// ---- Rows -------------------------------------------------------------------------------------------

const std::shared_ptr<ZuPlaybackControlsView>& ZuPlayerControlsView::playbacks() {
    if (!playbacks_) {
        playbacks_ = ZuPlaybackControlsView::create();
        playbacks_->setTranslatesAutoresizingMaskIntoConstraints(false);
    }
    return playbacks_;
}

const std::shared_ptr<ZuFunctionalControlsView>& ZuPlayerControlsView::functionals() {
    if (!functionals_) {
        functionals_ = ZuFunctionalControlsView::create();
        functionals_->setTranslatesAutoresizingMaskIntoConstraints(false);
    }
    return functionals_;
}

const std::shared_ptr<ZuSliderControlsView>& ZuPlayerControlsView::sliders() {
    if (!sliders_) sliders_ = ZuSliderControlsView::create();
    return sliders_;
}

bool ZuPlayerControlsView::hasSubview(const std::shared_ptr<uikit::UIView>& view) const {
    return view && view->superview().get() == this;
}

void ZuPlayerControlsView::endSliderSettling() {
    if (sliders_) sliders_->slider()->endSettling();
}

bool ZuPlayerControlsView::isUserInteractingWithSlider() const {
    return sliders_ && sliders_->slider()->isLocked();
}

void ZuPlayerControlsView::setUpNextButtonHidden(bool hidden) {
    functionals()->setIsNextButtonHidden(hidden);
}

void ZuPlayerControlsView::setVerbose(const std::shared_ptr<uikit::UIView>& view) {
    (void)view;
}

// ---- Cast routing -----------------------------------------------------------------------------------

std::shared_ptr<CastManagerInterface> ZuPlayerControlsView::controllableCastPlugin() const {
    auto player = this->player();
    if (!player) return nullptr;
    const auto& manager = player->castManager();
    if (!manager || !manager->canControlCastPlayer()) return nullptr;
    return manager->chromecastPlugin();
}

std::optional<CastStream> ZuPlayerControlsView::currentCastStream() const {
    auto plugin = controllableCastPlugin();
    if (!plugin) return std::nullopt;
    return plugin->currentCastStream();
}

// ---- The player's operations ------------------------------------------------------------------------

void ZuPlayerControlsView::seek(double seconds, std::function<void(bool)> completion) {
    if (auto d = delegate()) d->playerControlsViewWillSeekTo(*this, seconds);
    if (auto plugin = controllableCastPlugin()) {
        plugin->seek(seconds, false, CastResumeState::unchanged);
        if (completion) completion(true);
        return;
    }
    if (auto player = this->player()) player->seek(seconds, true, true, std::move(completion));
}

void ZuPlayerControlsView::playbackControlsViewWillTogglePlayback(ZuPlaybackControlsView& view) {
    (void)view;
    auto player = this->player();
    if (auto plugin = controllableCastPlugin()) {
        plugin->togglePlayback();
    } else if (player) {
        if (player->avplayer()->rate() == 0) {
            player->play(false);
        } else {
            player->pause(false);
        }
    }
    auto d = delegate();
    if (d && player) d->playerControlsViewDidTogglePlayback(*this, player->avplayer()->rate() != 0);
}

void ZuPlayerControlsView::playbackControlsViewWillJump(ZuPlaybackControlsView& view, double seconds) {
    (void)view;
    endSliderSettling();
    if (auto plugin = controllableCastPlugin()) {
        plugin->seek(seconds, true, CastResumeState::unchanged);
    } else if (auto player = this->player()) {
        const auto& proxy = *player->playerProxy();
        // A jump during a seek goes on from where that seek goes, not from the picture still shown.
        const double from = player->pendingSeekTime().value_or(player->currentTime()).seconds();
        double target = proxy.currentTimeWithAds(proxy.currentTimeWithoutAds(from) + seconds);
        if (!(target >= 0)) target = 0;
        const double duration = player->duration().seconds();
        if (target > duration) target = duration;
        if (showsSliders()) {
            sliders_->slider()->setValue(static_cast<float>(proxy.currentTimeWithoutAds(target)), true, false);
        }
        seek(target);
    }
    if (auto d = delegate()) d->playerControlsViewDidPlaybackJump(*this, seconds);
}

void ZuPlayerControlsView::functionalControlsViewWillJumpToLiveEdge(ZuFunctionalControlsView& view) {
    (void)view;
    endSliderSettling();
    auto player = this->player();
    if (controllableCastPlugin()) {
        player->castManager()->seekToLiveEdge();
    } else if (player) {
        seek(player->duration().seconds());
    }
    if (player && player->shouldResetPlaybackRateToNormal(true)) player->changeVideoRate(1.0f);
    if (auto d = delegate()) d->playerControlsViewDidJumpToLive(*this);
}

void ZuPlayerControlsView::functionalControlsViewWillChangePlaybackSpeed(ZuFunctionalControlsView& view, float rate) {
    (void)view;
    if (auto plugin = controllableCastPlugin()) {
        plugin->setPlaybackRate(rate);
    } else if (auto player = this->player()) {
        player->changeVideoRate(rate);
        // A paused player keeps its rate at 0, so the rate binding cannot show the chosen speed: show it here.
        if (auto speed = VideoPlaybackSpeed::fromRawValue(rate)) functionals()->updateSpeed(*speed);
    }
    if (auto d = delegate()) d->playerControlsViewDidChangePlaybackSpeed(*this, rate);
}

void ZuPlayerControlsView::functionalControlsViewWillChangeFullScreen(ZuFunctionalControlsView& view, bool fullScreen) {
    (void)view;
    (void)fullScreen;
    if (auto player = this->player()) {
        if (auto d = player->delegate()) d->playerDidChangeFullScreenStatus(*player);
    }
}

void ZuPlayerControlsView::presentRelatedContent(ZuFunctionalControlsView& sender) {
    (void)sender;
    if (auto player = this->player()) {
        if (auto d = player->delegate()) d->presentRelatedContent(*player);
    }
}

void ZuPlayerControlsView::presentNextContent(ZuFunctionalControlsView& sender) {
    (void)sender;
    if (auto player = this->player()) {
        if (auto d = player->delegate()) d->playerDidProduceEvent(*player, ZuPlayerEvent::upNextPressed());
    }
}

void ZuPlayerControlsView::sliderControlsViewDidSeekTo(ZuSliderControlsView& view, float value) {
    (void)view;
    seekToContentTime(value);
}

void ZuPlayerControlsView::seekToContentTime(double seconds) {
    auto player = this->player();
    if (!player) return;
    double target = player->playerProxy()->currentTimeWithAds(seconds);
    const double duration = player->duration().seconds();
    if (std::abs(duration - target) < 1.0) target = duration;
    seek(target);
}

void ZuPlayerControlsView::sliderControlsViewDidChangeSliderValue(ZuSliderControlsView& view, float value) {
    (void)view;
    (void)value;
    if (!showsFunctionals()) return;
    if (delegate()) updateKeyMoments();
    updateTimeLabel();
}

void ZuPlayerControlsView::sliderControlsViewBeginSeek(ZuSliderControlsView& view) {
    (void)view;
    if (auto d = delegate()) d->playerControlsViewSeekBegan(*this);
}

void ZuPlayerControlsView::sliderControlsViewDidChangeBIFVisibility(ZuSliderControlsView& view, bool isVisible) {
    (void)view;
    if (auto player = this->player()) {
        if (auto d = player->delegate()) {
            d->playerDidProduceEvent(*player, ZuPlayerEvent::bifVisibilityChanged(isVisible));
        }
    }
}

// ---- UIView -----------------------------------------------------------------------------------------

void ZuPlayerControlsView::willMoveToSuperview(const std::shared_ptr<uikit::UIView>& newSuperview) {
    ControlsOverlayView::willMoveToSuperview(newSuperview);
    // A fresh bag first: moving straight from one superview to another must not leave the old bindings
    // running beside the new ones (each value would be applied twice, the cast rate reset sent twice).
    disposeBag_ = rx::DisposeBag();
    if (!newSuperview) return;
    setNeedsUpdateDisplayDensity();
    bind();
}

}  // namespace lumora
