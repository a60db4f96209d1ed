#include "controls/ZuSliderControlsView.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "controls/RxZuSliderDelegateProxy.h"
#include "keymoments/RxZuKeyMomentsViewDelegateProxy.h"
#include "uikit/ConstraintMaker.h"

namespace lumora {

using uikit::CGFloat;
using uikit::CGRect;

namespace {

// The densities whose controls show the key-moments strip.
bool showsKeyMoments(ZuPlayerControlsDisplayDensity density) {
    static constexpr std::array<bool, ZuPlayerControlsDisplayDensity::count> shows{
        true, true, true, true, false, false, false, false, false, true, true, true};
    return density.in(shows);
}

}  // namespace

std::shared_ptr<ZuSliderControlsView> ZuSliderControlsView::create(const CGRect& frame) {
    std::shared_ptr<ZuSliderControlsView> view(new ZuSliderControlsView(frame));
    view->setUp();
    return view;
}

ZuSliderControlsView::ZuSliderControlsView(const CGRect& frame)
    : ZuView(frame),
      slider_(ZuSlider::create()),
      keyMomentsView_(ZuKeyMomentsView::create()),
      keyMomentsViewContainer_(ZuView::create()),
      thumbnailsView_(ZuScrubberSingleThumbnailView::create()) {
    keyMomentsViewContainer_->setIsOpaque(false);
    setIsOpaque(false);
}

void ZuSliderControlsView::setUp() {
    auto self = sharedAs<ZuSliderControlsView>();
    RxZuSliderDelegateProxy::installForwardDelegate(self, false, slider_).disposed(disposeBag());
    std::weak_ptr<ZuSliderControlsView> weak = self;
    slider_->rx()
        .value()
        .subscribe([weak](float value) {
            if (auto row = weak.lock()) row->sliderValueDidChange(value);
        })
        .disposed(disposeBag());
    thumbnailsView_->setIsHidden(true);
    keyMomentsView_->setDelegate({});
    RxZuKeyMomentsViewDelegateProxy::installForwardDelegate(self, false, keyMomentsView_).disposed(disposeBag());
    tintColorDidChange();
}

// ---- Written by the owner -----------------------------------------------------------------------------------

void ZuSliderControlsView::setDisplayDensity(ZuPlayerControlsDisplayDensity density) {
    displayDensity_ = density;
    attachKeyMoments();
}

void ZuSliderControlsView::setSliderValue(float value, bool animated) {
    slider_->setValue(value, animated, false);
}

void ZuSliderControlsView::setSliderLoadedTimeRanges(std::vector<coremedia::CMTimeRange> ranges) {
    slider_->loadedRangesView()->setRanges(std::move(ranges));
}

// ---- Key moments --------------------------------------------------------------------------------------------

void ZuSliderControlsView::presentKeyMoments() {
    ++keyMomentsFadeGeneration_;
    keyMomentsView_->setAlpha(0);
    keyMomentsView_->setIsHidden(false);
    auto strip = keyMomentsView_;
    uikit::UIView::animate(keyMomentsFadeDuration, [strip] { strip->setAlpha(1.0); });
}

void ZuSliderControlsView::dismissKeyMoments() {
    const std::uint64_t generation = ++keyMomentsFadeGeneration_;
    std::weak_ptr<ZuSliderControlsView> weak = sharedAs<ZuSliderControlsView>();
    auto strip = keyMomentsView_;
    uikit::UIView::animate(
        keyMomentsFadeDuration, [strip] { strip->setAlpha(0); },
        [weak, generation](bool) {
            auto row = weak.lock();
            // A presentation that began during the fade keeps the strip up.
            if (!row || row->keyMomentsFadeGeneration_ != generation) return;
            row->keyMomentsView_->setIsHidden(true);
        });
}

void ZuSliderControlsView::updateKeyMoments(const std::vector<ZuKeyMomentEvent>& events) {
    keyMomentsView_->update(events, static_cast<double>(maximumValue()) - minimumValue());
    keyMomentsView_->setIsHidden(events.empty());
}

void ZuSliderControlsView::setMinimumValue(float value) {
    slider_->setMinimumValue(value);
    keyMomentsFollowRange();
}

void ZuSliderControlsView::setMaximumValue(float value) {
    slider_->setMaximumValue(value);
    keyMomentsFollowRange();
}

void ZuSliderControlsView::keyMomentsFollowRange() {
    const double duration = static_cast<double>(maximumValue()) - minimumValue();
    const double shown = keyMomentsView_->duration();
    // A live stream's range is not a number: the same on every call, not a change.
    if (keyMomentsView_->events().empty() || shown == duration || (std::isnan(shown) && std::isnan(duration))) return;
    // The same events: nothing is made or taken away, every marker is placed again.
    const std::vector<ZuKeyMomentEvent> events = keyMomentsView_->events();
    keyMomentsView_->update(events, duration);
}

void ZuSliderControlsView::setNeedsUpdateSelectedKeyMomentItem() {
    keyMomentsView_->setNeedsUpdateSelectedKeyMomentItem();
}

void ZuSliderControlsView::attachKeyMoments() {
    if (!showsKeyMoments(displayDensity_)) {
        keyMomentsView_->removeFromSuperview();
        return;
    }
    if (auto d = delegate()) {
        if (auto events = d->sliderControlsViewKeyMomentEvents(*this)) updateKeyMoments(*events);
    }
    if (!keyMomentsView_->superview()) keyMomentsViewContainer_->addSubview(keyMomentsView_);
    keyMomentsView_->snp().remakeConstraints([](uikit::ConstraintMaker& make) { make.edges().equalToSuperview(); });
}

void ZuSliderControlsView::keyMomentsViewDidSelectItemAt(ZuKeyMomentsView& keyMomentsView, int index) {
    (void)keyMomentsView;
    if (auto d = delegate()) d->sliderControlsViewDidSelectKeyMomentItemAt(*this, index);
}

std::optional<ZuKeyMomentEvent> ZuSliderControlsView::selectedKeyMoment(ZuKeyMomentsView& keyMomentsView) {
    (void)keyMomentsView;
    auto d = delegate();
    return d ? d->selectedKeyMomentEvent(*this) : std::nullopt;
}

// ---- Scrubbing ----------------------------------------------------------------------------------------------

void ZuSliderControlsView::sliderValueDidChange(float value) {
    if (auto d = delegate()) d->sliderControlsViewDidChangeSliderValue(*this, value);
    if (thumbnailsView_->isHidden()) return;
    const double minimum = minimumValue();
    const double range = static_cast<double>(maximumValue()) - minimum;
    const double p = range == 0 ? 0.0 : (value - minimum) / range;
    if (p >= 0 && p <= 1) {
        const CGRect margins = thumbnailsView_->bounds().inset(thumbnailsView_->layoutMargins());
        thumbnailsView_->setCenterXPoint(margins.minX() + margins.width() * p);
        thumbnailsView_->setNeedsLayout();
    }
    // A value that is not a finite number has no frame (and is never looked up).
    const bool hasFrame = bif_ && std::isfinite(value);
    thumbnailsView_->imageView()->setImage(hasFrame ? bif_->image(static_cast<double>(value)) : nullptr);
}

void ZuSliderControlsView::sliderWillBeginDragging(ZuSlider& slider) {
    (void)slider;
    if (auto d = delegate()) d->sliderControlsViewBeginSeek(*this);
    CGFloat inset = 0;
    if (keyMomentsView_->superview() && !keyMomentsView_->events().empty() && !keyMomentsView_->isHidden()) {
        inset = slider_->frame().minY() - keyMomentsView_->frame().minY();
    }
    const CGRect track = slider_->track()->frame();
    const CGFloat side = slider_->thumbSize().width * 0.5;
    thumbnailsView_->setLayoutMargins(uikit::UIEdgeInsets{0, track.minX() + side,
                                                          std::max<CGFloat>(inset, 0) + thumbnailBottomSpacing,
                                                          slider_->bounds().maxX() - track.maxX() + side});
    thumbnailsView_->setIsHidden(!bif_);
    if (!thumbnailsView_->isHidden()) {
        if (auto d = delegate()) d->sliderControlsViewDidChangeBIFVisibility(*this, true);
    }
}

void ZuSliderControlsView::sliderDidEndDraggingWillDecelerate(ZuSlider& slider, bool willDecelerate) {
    (void)slider;
    // A cancelled drag seeks nothing and takes the thumbnail away.
    if (!willDecelerate) hideThumbnail();
}

void ZuSliderControlsView::sliderDidEndDecelerating(ZuSlider& slider) {
    (void)slider;
    hideThumbnail();
    if (auto d = delegate()) d->sliderControlsViewDidSeekTo(*this, slider_->value());
}

void ZuSliderControlsView::hideThumbnail() {
    if (!thumbnailsView_->isHidden()) {
        if (auto d = delegate()) d->sliderControlsViewDidChangeBIFVisibility(*this, false);
    }
    thumbnailsView_->setIsHidden(true);
}

// ---- Appearance and life cycle ------------------------------------------------------------------------------

void ZuSliderControlsView::tintColorDidChange() {
    ZuView::tintColorDidChange();
    slider_->setTintColor(tintColor());
    thumbnailsView_->setTintColor(tintColor());
}

void ZuSliderControlsView::willMoveToSuperview(const std::shared_ptr<uikit::UIView>& newSuperview) {
    ZuView::willMoveToSuperview(newSuperview);
    if (!newSuperview) {
        slider_->removeFromSuperview();
        thumbnailsView_->removeFromSuperview();
        keyMomentsViewContainer_->removeFromSuperview();
        setDelegate({});
        return;
    }
    addSubview(slider_);
    addSubview(keyMomentsViewContainer_);
    addSubview(thumbnailsView_);
    auto slider = slider_;
    slider_->snp().remakeConstraints([](uikit::ConstraintMaker& make) {
        make.leading().trailing().bottom().equalToSuperview();
        make.top().equalToSuperview().priority(uikit::ConstraintPriority::low());
    });
    keyMomentsViewContainer_->snp().remakeConstraints([&](uikit::ConstraintMaker& make) {
        make.leading().trailing().top().equalToSuperview();
        make.bottom().equalTo(slider->snp().centerY());
    });
    thumbnailsView_->snp().remakeConstraints([&](uikit::ConstraintMaker& make) {
        make.bottom().equalTo(slider->snp().top());
        make.leading().trailing().equalToSuperview();
    });
    attachKeyMoments();
}

}  // namespace lumora
