#include "controls/ZuSlider.h"

#include <algorithm>
#include <cmath>

#include "dispatch/RunLoop.h"
#include "uikit/UIEvent.h"

namespace lumora {

using uikit::CGAffineTransform;
using uikit::CGFloat;
using uikit::CGPoint;
using uikit::CGRect;
using uikit::CGSize;
using uikit::UIColor;
using uikit::UIView;

namespace {

// The range as the slider uses it: ends that are finite with the maximum above the minimum, else empty.
bool isUsableRange(float minimum, float maximum) {
    return std::isfinite(minimum) && std::isfinite(maximum) && maximum > minimum;
}

}  // namespace

std::optional<FastJumpDirection> fastJumpDirectionFromRawValue(int rawValue) {
    switch (rawValue) {
        case -1:
            return FastJumpDirection::backward;
        case 1:
            return FastJumpDirection::forward;
        default:
            return std::nullopt;
    }
}

std::shared_ptr<ZuSlider> ZuSlider::create(const CGRect& frame) {
    std::shared_ptr<ZuSlider> slider(new ZuSlider(frame));
    slider->setUp();
    return slider;
}

ZuSlider::ZuSlider(const CGRect& frame)
    : UIView(frame),
      loadedRangesView_(ZuLoadedRangesView::create()),
      track_(UIView::create()),
      current_(UIView::create()),
      thumb_(UIView::create()),
      thumbLayer_(quartzcore::CALayer::create()),
      thumbShadowLayer_(quartzcore::CALayer::create()),
      pan_(uikit::UIPanGestureRecognizer::create()) {
    thumbShadowLayer_->setBackgroundColor(UIColor(1.0, 0.32).cgColor());
    thumbShadowLayer_->setOpacity(0);
    thumbLayer_->setShadowRadius(4.0);
    thumbLayer_->setShadowOpacity(0.26);
    thumbLayer_->setShadowColor(UIColor::black().cgColor());
    thumbLayer_->setShadowOffset(CGSize{0, 2});
    track_->setClipsToBounds(true);
    track_->setBackgroundColor(UIColor(1.0, 0.5));
    track_->setInsetsLayoutMarginsFromSafeArea(false);
}

ZuSlider::~ZuSlider() {
    if (displayLink_) displayLink_->invalidate();
    cancelDirectionalPan();
    if (continuousFastJumpInterval_) continuousFastJumpInterval_->invalidate();
}

void ZuSlider::setUp() {
    current_->setBackgroundColor(tintColor());
    loadedRangesView_->setTintColor(UIColor::white());
    thumbLayer_->setBackgroundColor(tintColor().cgColor());
    setThumbSize(thumbSize_);
    setTrackHeight(2.0);

    addSubview(track_);
    addSubview(thumb_);
    track_->addSubview(loadedRangesView_);
    track_->addSubview(current_);
    thumb_->layer()->addSublayer(thumbShadowLayer_);
    thumb_->layer()->addSublayer(thumbLayer_);

    auto self = sharedAs<ZuSlider>();
    pan_->addTargetAction(self, &ZuSlider::handlePanGestureRecognizer);
    pan_->setCancelsTouchesInView(false);
    pan_->setDelegate(std::static_pointer_cast<uikit::UIGestureRecognizerDelegate>(self));
    addGestureRecognizer(pan_);
}

// ---- Properties ---------------------------------------------------------------------------------------------

void ZuSlider::setIsLocked(bool locked) {
    isLocked_ = locked;
    applyThumbAppearance(locked || isFocused());
    if (displayLink_) displayLink_->setIsPaused(!locked);
}

void ZuSlider::setMinimumValue(float value) {
    minimumValue_ = value;
    loadedRangesView_->setMinimumValue(value);
}

void ZuSlider::setMaximumValue(float value) {
    maximumValue_ = value;
    loadedRangesView_->setMaximumValue(value);
}

void ZuSlider::setValue(float value) {
    value_.set(std::isfinite(value) ? std::max(0.0f, value) : 0.0f);
}

void ZuSlider::setValue(float value, bool animated, bool forced) {
    // The viewer's choice wins over the player's time updates until the seek it makes has been asked for.
    if (isLocked_) return;
    if (!forced && (settling_ || (continuousFastJumpInterval_ && continuousFastJumpInterval_->isValid()))) return;
    // A forced move cuts a settling short: the drag's end is told first, with the value it chose.
    endSettling();
    setValue(value);
    moveThumb(CGPoint{thumbCenterX(this->value()), 0}, animated, false);
}

void ZuSlider::setTrackHeight(CGFloat height) {
    trackHeight_ = height;
    setNeedsLayout();
}

void ZuSlider::setThumbSize(CGSize size) {
    thumbSize_ = size;
    track_->setLayoutMargins(uikit::UIEdgeInsets{0, size.width * 0.5, 0, size.width * 0.5});
    setNeedsLayout();
}

// ---- Geometry -----------------------------------------------------------------------------------------------

CGRect ZuSlider::trackRect() const {
    // A track narrower than the thumb leaves no room: a rectangle of no width at its left margin.
    const CGRect b = track_->bounds();
    const auto margins = track_->layoutMargins();
    const CGPoint origin = track_->convertTo(CGPoint{b.minX() + margins.left, b.minY() + margins.top}, sharedView());
    return CGRect(origin, CGSize{std::max<CGFloat>(0, b.width() - margins.left - margins.right),
                                 std::max<CGFloat>(0, b.height() - margins.top - margins.bottom)});
}

CGFloat ZuSlider::thumbCenterX(float value) const {
    const CGRect r = trackRect();
    if (!isUsableRange(minimumValue_, maximumValue_)) return r.minX();
    const double c =
        std::clamp(static_cast<double>(value), static_cast<double>(minimumValue_), static_cast<double>(maximumValue_));
    const double factor = r.width() / std::fabs(static_cast<double>(maximumValue_) - minimumValue_);
    return r.minX() + (c - minimumValue_) * factor;
}

float ZuSlider::valueAt(CGFloat x) const {
    if (!isUsableRange(minimumValue_, maximumValue_)) return minimumValue_;
    const CGRect r = trackRect();
    const double p = r.width() > 0 ? (x - r.minX()) / r.width() : 0.0;
    return static_cast<float>(minimumValue_ + p * (static_cast<double>(maximumValue_) - minimumValue_));
}

CGSize ZuSlider::intrinsicContentSize() const {
    return CGSize{UIView::intrinsicContentSize().width, intrinsicHeight};
}

void ZuSlider::layoutSubviews() {
    UIView::layoutSubviews();
    const CGRect b = bounds();
    track_->setFrame(CGRect(b.minX(), (b.height() - trackHeight_) / 2, b.width(), trackHeight_));
    loadedRangesView_->setFrame(track_->convertFrom(trackRect(), sharedView()));

    const CGFloat x = thumbCenterX(value());
    const CGRect currentOrigin = current_->superview() ? current_->superview()->bounds() : CGRect();
    current_->setFrame(CGRect(currentOrigin.origin, CGSize{x, track_->bounds().height()}));

    // Bounds and centre rather than frame: the thumb keeps its size under the scale it wears while held.
    thumb_->setBounds(CGRect(CGPoint(), thumbSize_));
    thumb_->setCenter(CGPoint{x, track_->frame().midY()});
    for (const auto& layer : {thumbShadowLayer_, thumbLayer_}) {
        const CGRect thumbBounds = thumb_->bounds();
        layer->setFrame(thumbBounds);
        layer->setCornerRadius(std::min(thumbBounds.width(), thumbBounds.height()) / 2);
    }
}

void ZuSlider::tintColorDidChange() {
    UIView::tintColorDidChange();
    current_->setBackgroundColor(tintColor());
    thumbLayer_->setBackgroundColor(tintColor().cgColor());
}

// ---- Moving the thumb ---------------------------------------------------------------------------------------

void ZuSlider::moveThumb(CGPoint point, bool animated, bool settling) {
    const CGRect r = trackRect();
    const CGFloat x = std::clamp(point.x, r.minX(), std::max(r.minX(), r.maxX()));
    const CGFloat y = r.midY();
    const CGPoint o = track_->convertTo(current_->frame().origin, sharedView());
    std::weak_ptr<ZuSlider> weak = sharedAs<ZuSlider>();
    auto move = [weak, x, y, o] {
        auto self = weak.lock();
        if (!self) return;
        self->thumb_->setCenter(CGPoint{x, y});
        const CGRect frame = self->current_->frame();
        self->current_->setFrame(CGRect(frame.origin, CGSize{x - o.x, self->current_->bounds().height()}));
    };
    const auto options =
        UIView::AnimationOptions::allowUserInteraction() | UIView::AnimationOptions::beginFromCurrentState();
    if (animated) {
        std::optional<std::uint64_t> settle;
        if (settling) settle = beginSettle();
        UIView::animate(settling ? settleDuration : moveDuration, 0, 1.0, 1.0, options, move,
                        [weak, settle](bool finished) {
                            (void)finished;  // a settling cut short ends all the same, once
                            if (!settle) return;
                            if (auto self = weak.lock()) self->endSettle(*settle);
                        });
        return;
    }
    // A move without animation also replaces a running animation of the thumb, so the thumb is drawn (and
    // the value sampled) where it was put, not where an earlier animation was heading.
    UIView::animate(0, 0, options, move);
    if (settling) endSettle(beginSettle());
}

std::uint64_t ZuSlider::beginSettle() {
    endSettling();
    settling_ = ++settleGeneration_;
    if (auto d = delegate()) d->sliderWillBeginDecelerating(*this);
    return *settling_;
}

void ZuSlider::endSettle(std::uint64_t generation) {
    if (settling_ != generation) return;
    settling_.reset();
    if (auto d = delegate()) d->sliderDidEndDecelerating(*this);
}

void ZuSlider::endSettling() {
    if (settling_) endSettle(*settling_);
}

// ---- Frames, pans and touches -------------------------------------------------------------------------------

void ZuSlider::setNeedsUpdateValue() {
    const CGRect r = trackRect();
    const CGFloat drawnX = thumb_->presentation().center.x;
    setValue(valueAt(std::isfinite(drawnX) ? drawnX : r.minX()));
    setValue(value(), true, false);
}

void ZuSlider::handlePanGestureRecognizer(uikit::UIPanGestureRecognizer& recognizer) {
    if (!isLocked_) return;
    using State = uikit::UIGestureRecognizer::State;
    switch (recognizer.state()) {
        case State::began:
            if (auto d = delegate()) d->sliderWillBeginDragging(*this);
            thumbCenterSnapshot_ = thumb_->center();
            break;
        case State::changed:
            moveThumb(recognizer.location(sharedView()), false, false);
            break;
        case State::ended:
            thumbCenterSnapshot_ = thumb_->center();
            // The value is where the finger let go, whatever frame the display link drew last.
            setValue(valueAt(thumbCenterSnapshot_.x));
            moveThumb(thumbCenterSnapshot_, true, true);
            if (auto d = delegate()) d->sliderDidEndDraggingWillDecelerate(*this, true);
            break;
        case State::cancelled:
        case State::failed:
            if (auto d = delegate()) d->sliderDidEndDraggingWillDecelerate(*this, false);
            break;
        default:
            break;
    }
}

bool ZuSlider::point(CGPoint inside, const uikit::UIEvent* event) {
    (void)event;
    return thumb_->frame().insetBy(-touchMargin, -touchMargin).contains(inside);
}

void ZuSlider::touchesBegan(const uikit::UITouchSet& touches, const uikit::UIEvent* event) {
    UIView::touchesBegan(touches, event);
    if (touches.empty() || !touches.front()) return;
    const CGPoint location = touches.front()->location(sharedView());
    const bool onThumb = thumb_->frame().insetBy(-touchMargin, -touchMargin).contains(location);
    // A new hold ends the settling of the previous drag first, so its seek is asked for.
    if (onThumb) endSettling();
    setIsLocked(onThumb);
}

void ZuSlider::touchesEnded(const uikit::UITouchSet& touches, const uikit::UIEvent* event) {
    UIView::touchesEnded(touches, event);
    setIsLocked(false);
}

void ZuSlider::touchesCancelled(const uikit::UITouchSet& touches, const uikit::UIEvent* event) {
    UIView::touchesCancelled(touches, event);
    setIsLocked(false);
}

bool ZuSlider::gestureRecognizerShouldBegin(uikit::UIGestureRecognizer& recognizer) {
    (void)recognizer;
    return true;
}

// ---- Appearance, focus and life cycle -----------------------------------------------------------------------

void ZuSlider::applyThumbAppearance(bool active) {
    if (impactFeedback_) {
        if (active) {
            impactFeedback_->impactOccurred();
        } else {
            impactFeedback_->prepare();
        }
    }
    std::weak_ptr<ZuSlider> weak = sharedAs<ZuSlider>();
    UIView::animate(moveDuration, 0, 1.0, 1.0, UIView::AnimationOptions::beginFromCurrentState(), [weak, active] {
        auto self = weak.lock();
        if (!self) return;
        CGFloat thumbScale = 1.0, haloScale = 1.0, haloOpacity = 0.0;
        if (active && self->isLocked_) {
            thumbScale = 1.7, haloScale = 1.7, haloOpacity = 1.0;
        } else if (active) {
            thumbScale = 1.5, haloScale = 1.3, haloOpacity = 0.5;
        }
        self->thumb_->setTransform(thumbScale == 1.0 ? CGAffineTransform::identity()
                                                     : CGAffineTransform::makeScale(thumbScale, thumbScale));
        self->thumbShadowLayer_->setTransform(CGAffineTransform::makeScale(haloScale, haloScale));
        self->thumbShadowLayer_->setOpacity(haloOpacity);
    });
}

bool ZuSlider::shouldUpdateFocus(const uikit::UIFocusUpdateContext& context) {
    (void)context;
    return !isContinuousFastJumpRunning_;
}

void ZuSlider::didUpdateFocus(const uikit::UIFocusUpdateContext& context,
                              uikit::UIFocusAnimationCoordinator& coordinator) {
    UIView::didUpdateFocus(context, coordinator);
    applyThumbAppearance(isFocused());
    const auto next = context.nextFocusedItem();
    const auto nextView = context.nextFocusedView();
    const bool focusLeft = !next || (nextView && nextView.get() != this && !nextView->isDescendant(*this));
    if (!focusLeft) return;
    std::weak_ptr<ZuSlider> weak = sharedAs<ZuSlider>();
    auto cancellation = std::make_shared<dispatch::DispatchWorkItem>([weak] {
        if (auto self = weak.lock()) self->cancelDirectionalPan();
    });
    directionalPanCancelTrigger_ = cancellation;
    dispatch::DispatchQueue::main().asyncAfter(dispatch::DispatchTime::now() + 0.026, cancellation);
    setIsLocked(false);
}

void ZuSlider::cancelDirectionalPan() {
    if (directionalPanBeginTrigger_) directionalPanBeginTrigger_->cancel();
}

void ZuSlider::willMoveToSuperview(const std::shared_ptr<UIView>& newSuperview) {
    UIView::willMoveToSuperview(newSuperview);
    if (newSuperview) {
        if (displayLink_) displayLink_->invalidate();
        displayLink_ = quartzcore::CADisplayLink::create(sharedAs<ZuSlider>(), &ZuSlider::setNeedsUpdateValue);
        displayLink_->setIsPaused(!isLocked_);
        displayLink_->add(dispatch::RunLoop::main(), "default");
        impactFeedback_ =
            uikit::UIImpactFeedbackGenerator::create(uikit::UIImpactFeedbackGenerator::FeedbackStyle::light);
        impactFeedback_->prepare();
        layoutIfNeeded();
        return;
    }
    // A slider taken away while held lets go, and a settling in progress ends, so its seek is asked for.
    if (isLocked_) setIsLocked(false);
    endSettling();
    if (displayLink_) displayLink_->invalidate();
    displayLink_.reset();
    cancelDirectionalPan();
    if (directionalPanCancelTrigger_) directionalPanCancelTrigger_->cancel();
    if (continuousFastJumpInterval_) continuousFastJumpInterval_->invalidate();
    impactFeedback_.reset();
}

// ---- Reactive face ------------------------------------------------------------------------------------------

ZuSliderReactive ZuSlider::rx() {
    return ZuSliderReactive(sharedAs<ZuSlider>());
}

rx::ControlEvent<float> ZuSliderReactive::value() const {
    std::weak_ptr<ZuSlider> weak = base_;
    return rx::ControlEvent<float>(rx::Observable<float>::create([weak](const rx::AnyObserver<float>& observer) {
        auto slider = weak.lock();
        if (!slider) {
            observer.onCompleted();
            return rx::Disposable();
        }
        using Options = foundation::NSKeyValueObservingOptions;
        auto observation = std::make_shared<foundation::NSKeyValueObservation>(slider->valueProperty().observe(
            Options::initial | Options::new_, [observer](const foundation::NSKeyValueObservedChange<float>& change) {
                if (change.newValue) observer.onNext(*change.newValue);
            }));
        return rx::Disposables::create([observation] { observation->invalidate(); });
    }));
}

}  // namespace lumora
