#include <algorithm>
#include <cmath>

#include "dispatch/Clock.h"
#include "dispatch/RunLoop.h"
#include "uikit/UIView.h"
#include "uikit/detail/ViewAnimation.h"

namespace uikit {

namespace detail {

namespace {

std::vector<AnimationContext>& contexts() {
    static thread_local std::vector<AnimationContext> stack;
    return stack;
}

std::chrono::nanoseconds now() {
    return dispatch::Clock::current()->now();
}

// The y of a cubic Bézier easing curve from (0, 0) to (1, 1) at the given x.
double bezier(double x1, double y1, double x2, double y2, double x) {
    auto component = [](double p1, double p2, double t) {
        double u = 1 - t;
        return 3 * u * u * t * p1 + 3 * u * t * t * p2 + t * t * t;
    };
    double lo = 0, hi = 1, t = x;
    for (int i = 0; i < 60; ++i) {
        double value = component(x1, x2, t);
        if (std::fabs(value - x) < 1e-9) break;
        if (value < x) {
            lo = t;
        } else {
            hi = t;
        }
        t = (lo + hi) / 2;
    }
    return component(y1, y2, t);
}

AnimationTiming::Kind curveOf(UIView::AnimationOptions options) {
    switch ((options.rawValue >> 16) & 3u) {
        case 1:
            return AnimationTiming::Kind::easeIn;
        case 2:
            return AnimationTiming::Kind::easeOut;
        case 3:
            return AnimationTiming::Kind::linear;
        default:
            return AnimationTiming::Kind::easeInOut;
    }
}

CGFloat mix(CGFloat a, CGFloat b, double p) {
    return a + (b - a) * p;
}

AnimationValue interpolate(const AnimationValue& from, const AnimationValue& to, double p) {
    if (from.index() != to.index()) return to;
    if (auto* a = std::get_if<CGFloat>(&from)) return mix(*a, std::get<CGFloat>(to), p);
    if (auto* a = std::get_if<CGPoint>(&from)) {
        const auto& b = std::get<CGPoint>(to);
        return CGPoint{mix(a->x, b.x, p), mix(a->y, b.y, p)};
    }
    if (auto* a = std::get_if<CGRect>(&from)) {
        const auto& b = std::get<CGRect>(to);
        return CGRect(mix(a->origin.x, b.origin.x, p), mix(a->origin.y, b.origin.y, p),
                      mix(a->size.width, b.size.width, p), mix(a->size.height, b.size.height, p));
    }
    if (auto* a = std::get_if<CGAffineTransform>(&from)) {
        const auto& b = std::get<CGAffineTransform>(to);
        return CGAffineTransform{mix(a->a, b.a, p), mix(a->b, b.b, p),   mix(a->c, b.c, p),
                                 mix(a->d, b.d, p), mix(a->tx, b.tx, p), mix(a->ty, b.ty, p)};
    }
    const auto& ca = std::get<std::optional<UIColor>>(from);
    const auto& cb = std::get<std::optional<UIColor>>(to);
    if (!ca && !cb) return std::optional<UIColor>();
    // No colour fades as the other colour at alpha 0.
    UIColor a = ca ? *ca : cb->withAlphaComponent(0);
    UIColor b = cb ? *cb : ca->withAlphaComponent(0);
    auto x = a.components();
    auto y = b.components();
    return std::optional<UIColor>(
        UIColor(mix(x.red, y.red, p), mix(x.green, y.green, p), mix(x.blue, y.blue, p), mix(x.alpha, y.alpha, p)));
}

}  // namespace

double AnimationTiming::progress(double fraction, double durationSeconds) const {
    if (!(fraction > 0)) return 0;
    if (fraction >= 1) return 1;
    switch (kind) {
        case Kind::easeInOut:
            return bezier(0.42, 0, 0.58, 1, fraction);
        case Kind::easeIn:
            return bezier(0.42, 0, 1, 1, fraction);
        case Kind::easeOut:
            return bezier(0, 0, 0.58, 1, fraction);
        case Kind::linear:
            return fraction;
        case Kind::spring:
            break;
    }
    // A damped spring released at distance 1 from its rest with the given initial velocity (towards
    // the rest), stiff enough to settle within the duration; time is measured in durations.
    const double zeta = std::max(damping, 0.05);
    const double v = velocity * durationSeconds;
    const double s = fraction;
    double x;  // remaining distance
    if (zeta < 1) {
        const double omega = 9.23 / zeta;
        const double wd = omega * std::sqrt(1 - zeta * zeta);
        x = std::exp(-zeta * omega * s) * (std::cos(wd * s) + ((zeta * omega - v) / wd) * std::sin(wd * s));
    } else if (zeta == 1) {
        const double omega = 9.23;
        x = (1 + (omega - v) * s) * std::exp(-omega * s);
    } else {
        const double root = std::sqrt(zeta * zeta - 1);
        const double omega = 9.23 / (zeta - root);
        const double r1 = omega * (zeta - root);
        const double r2 = omega * (zeta + root);
        const double a = (v - r2) / (r1 - r2);
        x = a * std::exp(-r1 * s) + (1 - a) * std::exp(-r2 * s);
    }
    return 1 - x;
}

const AnimationContext* ViewAnimationState::currentContext() {
    auto& stack = contexts();
    return stack.empty() ? nullptr : &stack.back();
}

void ViewAnimationState::prune(std::chrono::nanoseconds at) {
    std::erase_if(running, [&](const auto& entry) { return at >= entry.second.begin + entry.second.duration; });
}

bool ViewAnimationState::blocksInteraction(std::chrono::nanoseconds at) const {
    return std::any_of(running.begin(), running.end(), [&](const auto& entry) {
        return !entry.second.allowsUserInteraction && at < entry.second.begin + entry.second.duration;
    });
}

void ViewAnimationState::cancelAll(UIView& view) {
    auto& state = *view.animation_;
    if (state.running.empty()) return;
    state.prune(now());
    for (auto& [key, animation] : state.running) animation.group->finished = false;
    state.running.clear();
}

AnimationValue ViewAnimationState::modelValue(const UIView& view, const std::string& key) {
    if (key == "opacity") return view.alpha();
    if (key == "position") return view.center();
    if (key == "bounds") return view.bounds();
    if (key == "transform") return view.transform();
    return view.backgroundColor();
}

AnimationValue ViewAnimationState::presentedValue(const UIView& view, const std::string& key) {
    const auto& running = view.animation_->running;
    auto it = running.find(key);
    if (it == running.end()) return modelValue(view, key);
    const PropertyAnimation& a = it->second;
    auto t = now();
    if (t >= a.begin + a.duration) return a.to;
    if (t <= a.begin) return a.from;
    double durationSeconds = dispatch::secondsFromNanoseconds(a.duration);
    double fraction = dispatch::secondsFromNanoseconds(t - a.begin) / durationSeconds;
    return interpolate(a.from, a.to, a.timing.progress(fraction, durationSeconds));
}

AnimationCapture::AnimationCapture(UIView& view, std::initializer_list<const char*> keys) : view_(view) {
    const AnimationContext* current = ViewAnimationState::currentContext();
    if (!current || !current->enabled) return;
    context_ = *current;
    bool fromCurrent = context_->options.contains(UIView::AnimationOptions::beginFromCurrentState());
    for (const char* key : keys) {
        before_.emplace_back(key, fromCurrent ? ViewAnimationState::presentedValue(view, key)
                                              : ViewAnimationState::modelValue(view, key));
    }
}

AnimationCapture::~AnimationCapture() {
    if (!context_) return;
    const AnimationContext& context = *context_;
    auto& running = view_.animation_->running;
    auto start = now() + dispatch::nanosecondsFromSeconds(context.delay);
    for (auto& [key, from] : before_) {
        AnimationValue to = ViewAnimationState::modelValue(view_, key);
        PropertyAnimation animation{
            from,           to,
            start,          dispatch::nanosecondsFromSeconds(context.duration),
            context.timing, context.options.contains(UIView::AnimationOptions::allowUserInteraction()),
            context.group};
        auto existing = running.find(key);
        if (existing != running.end()) {
            if (existing->second.group == context.group) {
                animation.from = existing->second.from;  // set twice in one block: one animation
            } else {
                existing->second.group->finished = false;
            }
        }
        running[key] = std::move(animation);
    }
}

}  // namespace detail

using detail::AnimationContext;
using detail::AnimationGroup;
using detail::AnimationTiming;

namespace {

void startAnimation(double duration, double delay, AnimationTiming timing, UIView::AnimationOptions options,
                    const UIView::Animations& animations, UIView::Completion completion) {
    AnimationContext context;
    context.duration = std::isfinite(duration) ? std::max(0.0, duration) : 0.0;
    context.delay = std::isfinite(delay) ? std::max(0.0, delay) : 0.0;
    context.timing = timing;
    context.options = options;
    context.group = std::make_shared<AnimationGroup>();
    context.group->completion = std::move(completion);
    auto group = context.group;
    double total = context.delay + context.duration;

    detail::contexts().push_back(std::move(context));
    if (animations) animations();
    detail::contexts().pop_back();

    auto fire = [group] {
        if (!group->completion) return;
        auto run = std::move(group->completion);
        group->completion = nullptr;
        run(group->finished);
    };
    if (total <= 0) {
        dispatch::RunLoop::main().post(fire);
    } else {
        dispatch::RunLoop::main().schedule(detail::now() + dispatch::nanosecondsFromSeconds(total), fire);
    }
}

}  // namespace

void UIView::animate(double duration, double delay, CGFloat usingSpringWithDamping, CGFloat initialSpringVelocity,
                     AnimationOptions options, const Animations& animations, Completion completion) {
    AnimationTiming timing;
    timing.kind = AnimationTiming::Kind::spring;
    timing.damping = std::isfinite(usingSpringWithDamping) ? usingSpringWithDamping : 1.0;
    timing.velocity = std::isfinite(initialSpringVelocity) ? initialSpringVelocity : 0.0;
    startAnimation(duration, delay, timing, options, animations, std::move(completion));
}

void UIView::animate(double duration, double delay, AnimationOptions options, const Animations& animations,
                     Completion completion) {
    AnimationTiming timing;
    timing.kind = detail::curveOf(options);
    startAnimation(duration, delay, timing, options, animations, std::move(completion));
}

void UIView::animate(double duration, const Animations& animations, Completion completion) {
    animate(duration, 0, AnimationOptions(), animations, std::move(completion));
}

void UIView::performWithoutAnimation(const Animations& actions) {
    AnimationContext context;
    context.enabled = false;
    detail::contexts().push_back(std::move(context));
    if (actions) actions();
    detail::contexts().pop_back();
}

bool UIView::isInAnimationBlock() {
    const AnimationContext* context = detail::ViewAnimationState::currentContext();
    return context && context->enabled;
}

UIView::PresentationValues UIView::presentation() const {
    using detail::ViewAnimationState;
    PresentationValues values;
    values.alpha = std::get<CGFloat>(ViewAnimationState::presentedValue(*this, "opacity"));
    values.center = std::get<CGPoint>(ViewAnimationState::presentedValue(*this, "position"));
    values.bounds = std::get<CGRect>(ViewAnimationState::presentedValue(*this, "bounds"));
    values.transform = std::get<CGAffineTransform>(ViewAnimationState::presentedValue(*this, "transform"));
    values.backgroundColor =
        std::get<std::optional<UIColor>>(ViewAnimationState::presentedValue(*this, "backgroundColor"));
    CGPoint anchor = layer_->anchorPoint();
    CGRect local(-anchor.x * values.bounds.size.width, -anchor.y * values.bounds.size.height, values.bounds.size.width,
                 values.bounds.size.height);
    values.frame = local.applying(values.transform).offsetBy(values.center.x, values.center.y);
    return values;
}

std::vector<std::string> UIView::animationKeys() const {
    animation_->prune(detail::now());
    std::vector<std::string> keys;
    for (const auto& [key, a] : animation_->running) keys.push_back(key);
    return keys;
}

void UIView::removeAllAnimations() {
    detail::ViewAnimationState::cancelAll(*this);
}

}  // namespace uikit
