#include "controls/ZuPlaybackControlsView.h"

#include <chrono>

#include "rx/Rx.h"
#include "ui/AssetGraph.h"
#include "ui/MetricBuilder.h"
#include "ui/ViewExtensions.h"
#include "ui/ZuPlayerMetrics.h"
#include "uikit/ConstraintMaker.h"

namespace lumora {

using uikit::CGFloat;
using uikit::CGSize;
using Event = uikit::UIControl::Event;
using State = uikit::UIControl::State;

namespace {

const MetricBuilder<CGSize>& buttonSizes() {
    static const MetricBuilder<CGSize> builder{
        .landscapeMobile = CGSize{50, 50},
        .portraitMobile = CGSize{30, 30},
        .landscapeSmallMobile = CGSize{50, 50},
        .portraitSmallMobile = CGSize{30, 30},
        .landscapeLargeMobile = CGSize{50, 50},
        .portraitLargeMobile = CGSize{30, 30},
        .landscapeTablet = CGSize{70, 70},
        .portraitTablet = CGSize{70, 70},
    };
    return builder;
}

const MetricBuilder<CGFloat>& buttonSpacings() {
    static const MetricBuilder<CGFloat> builder{
        .landscapeMobile = 30,
        .portraitMobile = 14,
        .landscapeSmallMobile = 30,
        .portraitSmallMobile = 14,
        .landscapeLargeMobile = 30,
        .portraitLargeMobile = 14,
        .landscapeTablet = 40,
        .portraitTablet = 40,
    };
    return builder;
}

// The events that end a hold: lifting inside or outside, a cancelled touch, or dragging out of the button.
constexpr Event kHoldEnded =
    Event::touchUpInside() | Event::touchUpOutside() | Event::touchCancel() | Event::touchDragOutside();
static_assert(kHoldEnded.rawValue == 456);

}  // namespace

std::shared_ptr<ZuPlaybackControlsView> ZuPlaybackControlsView::create(const uikit::CGRect& frame) {
    std::shared_ptr<ZuPlaybackControlsView> view(new ZuPlaybackControlsView(frame));
    view->setUp();
    return view;
}

ZuPlaybackControlsView::ZuPlaybackControlsView(const uikit::CGRect& frame)
    : UIView(frame),
      displayDensity_(ZuPlayerMetrics::shared().defaultDisplayDensity),
      rewindButton_(ZuPlayerButton::controlButton(CGSize{44, 44})),
      fastForwardButton_(ZuPlayerButton::controlButton(CGSize{44, 44})),
      playPauseButton_(ZuPlayerButton::controlButton(CGSize{44, 44})),
      contentView_(uikit::UIStackView::create()) {
    rewindButton_->setImageFor(image(&AssetGraph::MiddleControls::jumpBackward), State::normal());
    fastForwardButton_->setImageFor(image(&AssetGraph::MiddleControls::jumpForward), State::normal());
    playPauseButton_->setImageFor(image(&AssetGraph::MiddleControls::play), State::normal());
    contentView_->setAxis(uikit::UIView::Axis::horizontal);
}

void ZuPlaybackControlsView::setUp() {
    playPauseButton_->addTargetAction(sharedAs<ZuPlaybackControlsView>(), &ZuPlaybackControlsView::togglePlayback,
                                      Event::primaryActionTriggered());
}

void ZuPlaybackControlsView::setDelegate(std::weak_ptr<ZuPlaybackControlsViewDelegate> delegate) {
    delegate_ = std::move(delegate);
    disposeBag_ = rx::DisposeBag();
    if (delegate_.expired()) return;
    bindJump(fastForwardButton_, jumpSeconds);
    bindJump(rewindButton_, -jumpSeconds);
}

void ZuPlaybackControlsView::bindJump(const std::shared_ptr<ZuPlayerButton>& button, double seconds) {
    auto taps = button->rx().controlEvent(Event::primaryActionTriggered()).asObservable();
    auto ends = button->rx().controlEvent(kHoldEnded).asObservable();
    auto holds = button->rx().controlEvent(Event::touchDown()).flatMapLatest([ends](const rx::Unit&) {
        return rx::Observable<long>::interval(std::chrono::milliseconds(repeatIntervalMilliseconds),
                                              rx::MainScheduler::asyncInstance())
            .takeUntil(ends)
            .map([](long) { return rx::Unit{}; });
    });
    std::weak_ptr<ZuPlaybackControlsView> weak = sharedAs<ZuPlaybackControlsView>();
    rx::Observable<rx::Unit>::merge({taps, holds})
        .subscribe([weak, seconds](const rx::Unit&) {
            auto self = weak.lock();
            if (!self) return;
            if (auto d = self->delegate()) d->playbackControlsViewWillJump(*self, seconds);
        })
        .disposed(disposeBag_);
}

void ZuPlaybackControlsView::setIsPlaying(bool playing) {
    isPlaying_ = playing;
    const auto& middle = AssetGraph::shared().middleControls;
    playPauseButton_->setImageFor(images_.image(playing ? middle.pause : middle.play), State::normal());
}

CGSize ZuPlaybackControlsView::buttonSize(const uikit::UITraitCollection& traits) {
    return buttonSizes().value(traits);
}

CGFloat ZuPlaybackControlsView::buttonSpacing(const uikit::UITraitCollection& traits) {
    return buttonSpacings().value(traits);
}

void ZuPlaybackControlsView::togglePlayback() {
    if (auto d = delegate()) d->playbackControlsViewWillTogglePlayback(*this);
}

void ZuPlaybackControlsView::updateLayout() {
    updateLayout(traitCollection());
}

void ZuPlaybackControlsView::updateLayout(const uikit::UITraitCollection& traits) {
    std::vector<std::shared_ptr<ZuPlayerButton>> buttons;
    if (displayDensity_ == ZuPlayerControlsDisplayDensity(8)) {
        buttons = {playPauseButton_};
    } else {
        buttons = {rewindButton_, playPauseButton_, fastForwardButton_};
    }
    contentView_->setSpacing(buttonSpacing(traits));
    removeAllArrangedSubviews(*contentView_);
    const CGSize size = buttonSize(traits);
    for (const auto& button : buttons) {
        contentView_->addArrangedSubview(button);
        button->snp().remakeConstraints([size](uikit::ConstraintMaker& make) { make.size().equalTo(size); });
    }
}

void ZuPlaybackControlsView::willMoveToSuperview(const std::shared_ptr<uikit::UIView>& newSuperview) {
    UIView::willMoveToSuperview(newSuperview);
    if (newSuperview) {
        addSubview(contentView_);
        contentView_->snp().remakeConstraints([](uikit::ConstraintMaker& make) { make.edges().equalToSuperview(); });
        // Sized for where the row is going: its own traits are still those of where it was.
        updateLayout(newSuperview->traitCollection());
        return;
    }
    contentView_->removeFromSuperview();
    setDelegate({});
}

void ZuPlaybackControlsView::traitCollectionDidChange(const std::optional<uikit::UITraitCollection>& previous) {
    UIView::traitCollectionDidChange(previous);
    updateLayout();
}

}  // namespace lumora
