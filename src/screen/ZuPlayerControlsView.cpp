#include "screen/ZuPlayerControlsView.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "casting/CastManager.h"
#include "playback/ZuPlayer.h"
#include "screen/foundations/ZuPlayerMetrics.h"
#include "uikit/UIColor.h"
#include "uikit/UIGraphics.h"

namespace lumora {

namespace {

// Margins by density: top and bottom, then left and right.
constexpr std::array<uikit::CGFloat, ZuPlayerControlsDisplayDensity::count> kVerticalMargins = {26, 26, 26, 26, 16, 16,
                                                                                                16, 16, 16, 14, 14, 64};
constexpr std::array<uikit::CGFloat, ZuPlayerControlsDisplayDensity::count> kHorizontalMargins = {
    36, 36, 36, 36, 26, 26, 26, 16, 16, 14, 30, 64};

}  // namespace

std::shared_ptr<ZuPlayerControlsView> ZuPlayerControlsView::create(const std::shared_ptr<ZuPlayer>& player) {
    std::shared_ptr<ZuPlayerControlsView> view(new ZuPlayerControlsView(player));
    view->setUp();
    return view;
}

ZuPlayerControlsView::ZuPlayerControlsView(std::weak_ptr<ZuPlayer> player)
    : UIView(uikit::CGRect()),
      displayDensity_(ZuPlayerMetrics::shared().defaultDisplayDensity),
      player_(std::move(player)) {
    setIsOpaque(false);
}

ZuPlayerControlsView::~ZuPlayerControlsView() = default;

void ZuPlayerControlsView::setUp() {
    playbacks()->setTintColor(uikit::UIColor::white());
}

const std::shared_ptr<ZuPlaybackControlsView>& ZuPlayerControlsView::playbacks() {
    if (!playbacks_) {
        playbacks_ = ZuPlaybackControlsView::create();
        playbacks_->setTranslatesAutoresizingMaskIntoConstraints(false);
    }
    return playbacks_;
}

bool ZuPlayerControlsView::isUserInteractingWithSlider() const {
    return false;
}

bool ZuPlayerControlsView::hasSubview(const std::shared_ptr<uikit::UIView>& view) const {
    return view && view->superview().get() == this;
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

// ---- Density and margins ----------------------------------------------------------------------------

void ZuPlayerControlsView::applyMargins() {
    const auto v = displayDensity_.in(kVerticalMargins);
    const auto h = displayDensity_.in(kHorizontalMargins);
    setLayoutMargins(uikit::UIEdgeInsets{v, h, v, h});
}

void ZuPlayerControlsView::setNeedsUpdateDisplayDensity() {
    auto d = delegate();
    displayDensity_ = d ? d->playerControlsDisplayDensity(*this) : ZuPlayerMetrics::shared().defaultDisplayDensity;
    applyMargins();

    auto self = sharedAs<ZuPlayerControlsView>();
    const auto& playback = playbacks();
    if (!hasSubview(playback)) {
        addSubview(playback);
        playback->setDelegate(std::static_pointer_cast<ZuPlaybackControlsViewDelegate>(self));
    }
    playback->setDisplayDensity(displayDensity_);
    playback->updateLayout();
    setNeedsUpdateConstraints();
}

void ZuPlayerControlsView::updateConstraints() {
    UIView::updateConstraints();
}

// ---- Key moments and thumbnails ---------------------------------------------------------------------

void ZuPlayerControlsView::updateKeyMoments() {}

void ZuPlayerControlsView::setThumbnails(std::optional<BIF> bif) {
    (void)bif;
}

void ZuPlayerControlsView::updateKeyMomentButtonState(KeyMomentsState state) {
    (void)state;
}

void ZuPlayerControlsView::setUpNextButtonHidden(bool hidden) {
    (void)hidden;
}

void ZuPlayerControlsView::setVerbose(const std::shared_ptr<uikit::UIView>& view) {
    (void)view;
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
    if (auto plugin = controllableCastPlugin()) {
        plugin->togglePlayback();
    } else if (auto player = this->player()) {
        if (player->avplayer()->rate() == 0) {
            player->play(false);
        } else {
            player->pause(false);
        }
    }
    auto d = delegate();
    auto player = this->player();
    if (d && player) d->playerControlsViewDidTogglePlayback(*this, player->avplayer()->rate() != 0);
}

void ZuPlayerControlsView::playbackControlsViewWillJump(ZuPlaybackControlsView& view, double seconds) {
    (void)view;
    if (auto plugin = controllableCastPlugin()) {
        plugin->seek(seconds, true, CastResumeState::unchanged);
    } else if (auto player = this->player()) {
        const auto& proxy = *player->playerProxy();
        const double from = player->pendingSeekTime().value_or(player->currentTime()).seconds();
        double target = proxy.currentTimeWithAds(proxy.currentTimeWithoutAds(from) + seconds);
        if (!(target > 0)) target = 0;
        const double duration = player->duration().seconds();
        if (target > duration) target = duration;
        seek(target);
    }
    if (auto d = delegate()) d->playerControlsViewDidPlaybackJump(*this, seconds);
}

// ---- UIView -----------------------------------------------------------------------------------------

void ZuPlayerControlsView::draw(const uikit::CGRect& rect) {
    auto context = uikit::UIGraphicsGetCurrentContext();
    if (!context) return;
    context->clear(rect);
    context->setFillColor(uikit::UIColor::black().withAlphaComponent(0.4).cgColor());
    context->fill(bounds());
}

void ZuPlayerControlsView::updateInsetsFromSafeArea() {
    const auto& insets = ZuPlayerMetrics::shared().insetsControlsLayoutMarginsFromSafeArea;
    if (insets) setInsetsLayoutMarginsFromSafeArea(insets(traitCollection()));
}

void ZuPlayerControlsView::didMoveToSuperview() {
    UIView::didMoveToSuperview();
    updateInsetsFromSafeArea();
}

void ZuPlayerControlsView::traitCollectionDidChange(const std::optional<uikit::UITraitCollection>& previous) {
    UIView::traitCollectionDidChange(previous);
    updateInsetsFromSafeArea();
}

void ZuPlayerControlsView::willMoveToSuperview(const std::shared_ptr<uikit::UIView>& newSuperview) {
    UIView::willMoveToSuperview(newSuperview);
    // A fresh bag first: moving straight from one superview to another must not leave the old bindings
    // running beside the new ones.
    disposeBag_ = rx::DisposeBag();
    if (!newSuperview) return;
    setNeedsUpdateDisplayDensity();
}

}  // namespace lumora
