#include "uikit/UIView.h"

#include <cxxabi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "dispatch/RunLoop.h"
#include "quartzcore/CAAnimation.h"
#include "uikit/UIScreen.h"
#include "uikit/UIWindow.h"
#include "uikit/detail/ViewAnimation.h"
#include "uikit/detail/ViewHooks.h"
#include "uikit/layout/LayoutEngine.h"

namespace uikit {

namespace detail {

// The view's answer to its layer: layout and drawing go to the view; property changes are animated only
// inside animation blocks. Owned by the view; the layer holds it weakly, so it dies with the view.
class ViewLayerDelegate final : public quartzcore::CALayerDelegate {
  public:
    explicit ViewLayerDelegate(UIView* view) : view_(view) {}

    void layoutSublayers(quartzcore::CALayer& layer) override {
        if (view_) view_->layoutSublayers(layer);
    }

    void layerDidChangeGeometry(quartzcore::CALayer& layer) override {
        if (view_ && &layer == view_->layer_.get()) view_->placeInWindowDidChange();
    }

    void drawIn(quartzcore::CALayer& layer, quartzcore::CGContext& ctx) override {
        (void)ctx;
        if (view_ && &layer == view_->layer_.get()) view_->draw(view_->bounds());
    }

    std::optional<std::shared_ptr<quartzcore::CAAction>> action(quartzcore::CALayer& layer,
                                                                const std::string& key) override {
        (void)layer;
        const AnimationContext* context = ViewAnimationState::currentContext();
        static const char* const animatable[] = {"position", "bounds", "transform", "opacity", "backgroundColor"};
        bool isAnimatable =
            std::any_of(std::begin(animatable), std::end(animatable), [&](const char* k) { return key == k; });
        if (!context || !context->enabled || !isAnimatable) {
            return std::shared_ptr<quartzcore::CAAction>();  // a view's layer has no implicit animations
        }
        auto animation = std::make_shared<quartzcore::CABasicAnimation>(key);
        animation->duration = context->duration;
        if (context->delay > 0) {
            animation->beginTime = dispatch::secondsFromNanoseconds(dispatch::Clock::current()->now()) + context->delay;
        }
        return std::shared_ptr<quartzcore::CAAction>(animation);
    }

    UIView* view_;
};

}  // namespace detail

namespace {

using layout::LayoutEngine;

bool gPassActive = false;

std::weak_ptr<int>& pendingPassToken() {
    static std::weak_ptr<int> token;
    return token;
}

// Asks for a layout-and-display pass of the windows at the end of this turn of the main loop.
void scheduleWindowPass() {
    if (!pendingPassToken().expired()) return;
    auto token = std::make_shared<int>(0);
    pendingPassToken() = token;
    dispatch::RunLoop::main().post([token] {
        pendingPassToken().reset();
        UIWindow::layoutAndDisplayWindowsIfNeeded();
    });
}

bool isInSubtree(LayoutItem* item, const UIView& root) {
    for (LayoutItem* p = item; p; p = p->layoutParent()) {
        if (p == &root) return true;
    }
    return false;
}

bool differs(CGFloat a, CGFloat b) {
    return std::fabs(a - b) > 1e-9;
}

std::string formatNumber(CGFloat v) {
    if (std::fabs(v) < 0.0005) v = 0;
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%.3f", v);
    std::string s = buffer;
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
}

bool isFinite(const CGRect& r) {
    return std::isfinite(r.origin.x) && std::isfinite(r.origin.y) && std::isfinite(r.size.width) &&
           std::isfinite(r.size.height);
}

bool isFinite(const CGAffineTransform& t) {
    return std::isfinite(t.a) && std::isfinite(t.b) && std::isfinite(t.c) && std::isfinite(t.d) &&
           std::isfinite(t.tx) && std::isfinite(t.ty);
}

}  // namespace

// ---- Construction -------------------------------------------------------------------------------------

UIView::UIView(const CGRect& frame, std::shared_ptr<quartzcore::CALayer> layer)
    : layer_(layer ? std::move(layer) : quartzcore::CALayer::create()),
      layerDelegate_(std::make_shared<detail::ViewLayerDelegate>(this)),
      animation_(std::make_unique<detail::ViewAnimationState>()) {
    layer_->setDelegate(layerDelegate_);
    layer_->setIsOpaque(true);
    layer_->setContentsScale(UIScreen::main()->scale());
    layer_->setFrame(frame.isNull() ? CGRect() : frame);
    layer_->setNeedsDisplay();
    lastTraits_ = traitCollection();
}

std::shared_ptr<UIView> UIView::create(const CGRect& frame) {
    return std::shared_ptr<UIView>(new UIView(frame));
}

UIView::~UIView() {
    auto& engine = LayoutEngine::shared();
    // A view that goes is the root of its tree: the tree's solver goes with it, at no solving cost.
    engine.treeWillBeDestroyed(*this);
    detail::ViewAnimationState::cancelAll(*this);
    auto installed = std::move(installedConstraints_);
    installedConstraints_.clear();
    for (auto& c : installed) {
        c->isActive_ = false;
        c->installedOn_ = nullptr;
        engine.deactivate(*c);
    }
    installed.clear();
    for (auto* guide : {&layoutMarginsGuide_, &safeAreaLayoutGuide_}) {
        if (*guide) {
            engine.itemDestroyed(**guide);
            (*guide)->owner_ = nullptr;
        }
    }
    for (auto& guide : layoutGuides_) {
        engine.itemDestroyed(*guide);
        guide->owner_ = nullptr;
    }
    engine.itemDestroyed(*this);
    for (auto& sub : subviews_) {
        sub->superview_ = nullptr;
        // Each is the root of its own tree now.
        sub->setWindowOfBranch(sub->isWindow_ ? static_cast<UIWindow*>(sub.get()) : nullptr);
    }
    layerDelegate_->view_ = nullptr;
    layer_->setDelegate({});
}

std::shared_ptr<UIView> UIView::sharedView() const {
    return std::static_pointer_cast<UIView>(
        std::const_pointer_cast<UIResponder>(static_cast<const UIResponder*>(this)->weak_from_this().lock()));
}

std::shared_ptr<LayoutItem> UIView::layoutItemPointer() {
    return sharedView();
}

// ---- Geometry -----------------------------------------------------------------------------------------

CGRect UIView::frame() const {
    return layer_->frame();
}

// Geometry that is not finite (NaN, infinities) would poison the layer tree and the layout engine: it is
// ignored, and the view keeps its geometry.
void UIView::setFrame(const CGRect& frame) {
    if (frame.isNull() || !isFinite(frame)) return;
    CGSize before = layer_->bounds().size;
    {
        detail::AnimationCapture capture(*this, {"position", "bounds"});
        layer_->setFrame(frame);
    }
    geometryDidChange(layer_->bounds().size != before);
}

CGRect UIView::bounds() const {
    return layer_->bounds();
}

void UIView::setBounds(const CGRect& bounds) {
    if (bounds.isNull() || !isFinite(bounds)) return;
    CGRect before = layer_->bounds();
    {
        detail::AnimationCapture capture(*this, {"bounds"});
        layer_->setBounds(bounds);
    }
    geometryDidChange(layer_->bounds().size != before.size);
}

CGPoint UIView::center() const {
    return layer_->position();
}

void UIView::setCenter(CGPoint center) {
    if (!std::isfinite(center.x) || !std::isfinite(center.y)) return;
    {
        detail::AnimationCapture capture(*this, {"position"});
        layer_->setPosition(center);
    }
    geometryDidChange(false);
}

CGAffineTransform UIView::transform() const {
    return layer_->transform();
}

void UIView::setTransform(const CGAffineTransform& transform) {
    if (!isFinite(transform)) return;
    {
        detail::AnimationCapture capture(*this, {"transform"});
        layer_->setTransform(transform);
    }
    geometryDidChange(false);
}

CGRect UIView::alignmentFrame() const {
    CGRect b = layer_->bounds();
    CGPoint a = layer_->anchorPoint();
    CGPoint p = layer_->position();
    return CGRect(p.x - a.x * b.size.width, p.y - a.y * b.size.height, b.size.width, b.size.height);
}

void UIView::applyLayoutFrame(const CGRect& f) {
    CGSize size{std::max(CGFloat(0), f.size.width), std::max(CGFloat(0), f.size.height)};
    CGRect b = layer_->bounds();
    CGPoint a = layer_->anchorPoint();
    CGPoint position{f.origin.x + a.x * size.width, f.origin.y + a.y * size.height};
    bool sizeChanged = differs(b.size.width, size.width) || differs(b.size.height, size.height);
    bool moved = differs(layer_->position().x, position.x) || differs(layer_->position().y, position.y);
    if (!sizeChanged && !moved) return;
    {
        detail::AnimationCapture capture(*this, {"position", "bounds"});
        if (sizeChanged) layer_->setBounds(CGRect(b.origin, size));
        if (moved) layer_->setPosition(position);
    }
    geometryDidChange(sizeChanged);
}

void UIView::geometryDidChange(bool sizeChanged) {
    if (translatesAutoresizingMask_ && isInLayoutEngine()) {
        LayoutEngine::shared().itemNeedsUpdate(*this);
        if (superview_) superview_->setNeedsLayout();
    }
    if (sizeChanged) setNeedsLayout();
    if (auto* window = dynamic_cast<UIWindow*>(this)) {
        if (sizeChanged) propagateTraitChange();
        window->setNeedsLayout();
    }
}

// ---- Appearance ---------------------------------------------------------------------------------------

CGFloat UIView::alpha() const {
    return layer_->opacity();
}

void UIView::setAlpha(CGFloat alpha) {
    if (std::isnan(alpha)) return;
    alpha = std::clamp(alpha, CGFloat(0), CGFloat(1));
    detail::AnimationCapture capture(*this, {"opacity"});
    layer_->setOpacity(alpha);
}

bool UIView::isHidden() const {
    return layer_->isHidden();
}

void UIView::setIsHidden(bool hidden) {
    if (hidden == layer_->isHidden()) return;
    layer_->setIsHidden(hidden);
    if (superview_) superview_->subviewDidChangeVisibility(*this);
}

bool UIView::isOpaque() const {
    return layer_->isOpaque();
}
void UIView::setIsOpaque(bool opaque) {
    layer_->setIsOpaque(opaque);
}
bool UIView::clipsToBounds() const {
    return layer_->masksToBounds();
}
void UIView::setClipsToBounds(bool clips) {
    layer_->setMasksToBounds(clips);
}

void UIView::setContentMode(ContentMode mode) {
    contentMode_ = mode;
    layer_->setNeedsDisplayOnBoundsChange(mode == ContentMode::redraw);
    setNeedsDisplay();
}

void UIView::setBackgroundColor(std::optional<UIColor> color) {
    detail::AnimationCapture capture(*this, {"backgroundColor"});
    backgroundColor_ = color;
    layer_->setBackgroundColor(color ? std::optional<coregraphics::CGColor>(color->cgColor()) : std::nullopt);
}

UIColor UIView::tintColor() const {
    for (const UIView* v = this; v; v = v->superview_) {
        if (v->tintColor_) return *v->tintColor_;
    }
    return UIColor::tintColorDefault();
}

void UIView::setTintColor(std::optional<UIColor> color) {
    UIColor previous = tintColor();
    tintColor_ = color;
    propagateTintChange(previous);
}

void UIView::propagateTintChange(const UIColor& previous) {
    if (tintColor() == previous) return;
    tintColorDidChange();
    auto children = subviews_;
    for (auto& sub : children) {
        if (!sub->tintColor_) sub->propagateTintChange(previous);
    }
}

// ---- Tree ---------------------------------------------------------------------------------------------

std::shared_ptr<UIView> UIView::superview() const {
    return superview_ ? superview_->sharedView() : nullptr;
}

std::shared_ptr<UIWindow> UIView::window() const {
    if (!window_) return nullptr;
    return std::static_pointer_cast<UIWindow>(static_cast<const UIView*>(window_)->sharedView());
}

void UIView::setWindowOfBranch(UIWindow* window) {
    // Every view of a branch has its root's window: a view that has it already has it for its whole branch.
    if (window_ == window) return;
    window_ = window;
    for (auto& sub : subviews_) sub->setWindowOfBranch(window);
}

std::shared_ptr<UIResponder> UIView::next() const {
    // A view controller's root view passes events to its controller.
    if (auto controller = detail::ViewHooks::viewControllerResponder(*this)) return controller;
    return superview();
}

bool UIView::isDescendant(const UIView& of) const {
    for (const UIView* v = this; v; v = v->superview_) {
        if (v == &of) return true;
    }
    return false;
}

bool UIView::isDescendant(const std::shared_ptr<UIView>& of) const {
    return of && isDescendant(*of);
}

std::shared_ptr<UIView> UIView::viewWithTag(int tag) {
    if (tag_ == tag) return sharedView();
    for (auto& sub : subviews_) {
        if (auto found = sub->viewWithTag(tag)) return found;
    }
    return nullptr;
}

void UIView::addSubview(const std::shared_ptr<UIView>& view) {
    insertSubviewAt(view, view && view->superview_ == this ? subviews_.size() - 1 : subviews_.size());
}

void UIView::insertSubviewAt(const std::shared_ptr<UIView>& view, std::size_t index) {
    if (!view) return;
    if (view.get() == this || isDescendant(*view)) {
        std::fprintf(stderr, "[uikit] Cannot add %s to %s: it would be its own ancestor\n",
                     view->layoutItemDescription().c_str(), layoutItemDescription().c_str());
        return;
    }
    if (!sharedView()) {
        std::fprintf(stderr,
                     "[uikit] Cannot add a subview to %s while it is being constructed; add subviews "
                     "in create() after construction\n",
                     layoutItemDescription().c_str());
        return;
    }
    view->moveTo(this, index);
}

void UIView::insertSubviewBelowSubview(const std::shared_ptr<UIView>& view, const std::shared_ptr<UIView>& sibling) {
    if (!view) return;
    if (!sibling || sibling->superview_ != this || sibling == view) {
        addSubview(view);
        return;
    }
    std::size_t index =
        static_cast<std::size_t>(std::find(subviews_.begin(), subviews_.end(), sibling) - subviews_.begin());
    if (view->superview_ == this) {
        std::size_t current =
            static_cast<std::size_t>(std::find(subviews_.begin(), subviews_.end(), view) - subviews_.begin());
        if (current < index) index -= 1;
    }
    insertSubviewAt(view, index);
}

void UIView::insertSubviewAboveSubview(const std::shared_ptr<UIView>& view, const std::shared_ptr<UIView>& sibling) {
    if (!view) return;
    if (!sibling || sibling->superview_ != this || sibling == view) {
        addSubview(view);
        return;
    }
    std::size_t index =
        static_cast<std::size_t>(std::find(subviews_.begin(), subviews_.end(), sibling) - subviews_.begin());
    if (view->superview_ == this) {
        std::size_t current =
            static_cast<std::size_t>(std::find(subviews_.begin(), subviews_.end(), view) - subviews_.begin());
        if (current < index) index -= 1;
    }
    insertSubviewAt(view, index + 1);
}

void UIView::bringSubviewToFront(const std::shared_ptr<UIView>& view) {
    if (view && view->superview_ == this) view->moveTo(this, subviews_.size() - 1);
}

void UIView::sendSubviewToBack(const std::shared_ptr<UIView>& view) {
    if (view && view->superview_ == this) view->moveTo(this, 0);
}

void UIView::removeFromSuperview() {
    if (superview_) moveTo(nullptr, 0);
}

void UIView::placeLayer(const std::shared_ptr<UIView>& view, std::size_t index) {
    // Keep the layers of the subviews in the subviews' order; other sublayers stay where they are.
    for (std::size_t i = index + 1; i < subviews_.size(); ++i) {
        const auto& next = subviews_[i]->layer_;
        if (next->superlayer() == layer_) {
            // Where the layers follow the subviews one for one, the next one's layer is at the same index: no
            // search through a long list of siblings.
            const auto& layers = layer_->sublayers();
            if (!view->layer_->superlayer() && index < layers.size() && layers[index] == next) {
                layer_->insertSublayerAt(view->layer_, index);
            } else {
                layer_->insertSublayerBelow(view->layer_, next);
            }
            return;
        }
    }
    layer_->addSublayer(view->layer_);
}

void UIView::moveTo(UIView* newParent, std::size_t index) {
    auto self = sharedView();
    if (!self) return;
    UIView* oldParent = superview_;
    if (oldParent == newParent) {
        if (!newParent) return;
        newParent->moveSubview(*this, index);
        newParent->setNeedsLayout();
        return;
    }

    auto newParentShared = newParent ? newParent->sharedView() : nullptr;
    auto oldWindow = window();
    const UIView* previousRoot = this;
    while (previousRoot->superview_) previousRoot = previousRoot->superview_;
    std::shared_ptr<UIWindow> newWindow = newParent ? newParent->window() : nullptr;
    UIColor oldTint = tintColor();

    willMoveToSuperview(newParentShared);
    if (oldWindow != newWindow) notifyWillMoveToWindow(newWindow);

    if (oldParent) {
        oldParent->willRemoveSubview(self);
        // willRemoveSubview may itself have moved the view.
        if (superview_ == oldParent) {
            oldParent->deactivateConstraintsCrossing(*this);
            // Searched from the end: taking many subviews away, last first, costs what follows each of them.
            auto& list = oldParent->subviews_;
            list.erase(std::prev(std::find(list.rbegin(), list.rend(), self).base()));
            layer_->removeFromSuperlayer();
            superview_ = nullptr;
            oldParent->setNeedsLayout();
        }
    }
    if (newParent && !superview_) {
        superview_ = newParent;
        auto& list = newParent->subviews_;
        index = std::min(index, list.size());
        list.insert(list.begin() + static_cast<long>(index), self);
        newParent->placeLayer(self, index);
        // What the newcomer still has to do is reachable from its new root.
        if (subtreeNeedsUpdateConstraints()) noteSubviewNeedsUpdateConstraints();
    }
    // The branch takes the window of the tree it is in now (a hook above may have moved it elsewhere meanwhile).
    setWindowOfBranch(superview_ ? superview_->window_ : isWindow_ ? static_cast<UIWindow*>(this) : nullptr);
    // Its constraints follow it into the solver of the tree it is in now.
    LayoutEngine::shared().subtreeMoved(*this, previousRoot);

    if (oldWindow != newWindow) {
        if (oldWindow) leftWindow();
        notifyDidMoveToWindow();
    }
    didMoveToSuperview();
    if (newParent && superview_ == newParent) newParent->didAddSubview(self);
    propagateTintChange(oldTint);
    propagateTraitChange();
    if (newWindow) {
        setSafeAreaNeedsUpdate();
    } else if (oldWindow) {
        clearSafeAreas(true);
    }
    setNeedsLayout();
    if (superview_) superview_->setNeedsLayout();
    // Touches, focus and editing do not outlive the window.
    if (oldWindow && oldWindow != newWindow) detail::ViewHooks::didLeaveWindow(*this);
}

void UIView::moveSubview(UIView& view, std::size_t index) {
    // Looked for outward from where it goes and rotated into place: a move costs the distance it goes, not the
    // number of subviews (a long list reordered a little is a series of short moves).
    auto& list = subviews_;
    const std::size_t count = list.size();
    const std::size_t to = std::min(index, count - 1);
    std::size_t from = count;
    for (std::size_t d = 0; from == count && (to + d < count || d <= to); ++d) {
        if (to + d < count && list[to + d].get() == &view) {
            from = to + d;
        } else if (d <= to && list[to - d].get() == &view) {
            from = to - d;
        }
    }
    if (from == count) return;
    const auto at = [&](std::size_t i) { return list.begin() + static_cast<std::ptrdiff_t>(i); };
    if (from < to) std::rotate(at(from), at(from + 1), at(to + 1));
    if (from > to) std::rotate(at(to), at(from), at(from + 1));
    // Where the layers followed the subviews one for one, the layer moves the same way (or stays where it is);
    // otherwise it goes below the layer of the next subview that has one here.
    const auto& layers = layer_->sublayers();
    const bool inStep = from < layers.size() && layers[from] == view.layer_;
    if (inStep && from == to) {
        const bool placed = to + 1 < count ? from + 1 < layers.size() && layers[from + 1] == list[to + 1]->layer_
                                           : from + 1 == layers.size();
        if (placed) return;
    }
    const std::size_t nextLayerAt = from < to ? to + 1 : to;
    if (inStep && from != to && to + 1 < count && nextLayerAt < layers.size() &&
        layers[nextLayerAt] == list[to + 1]->layer_) {
        layer_->insertSublayerAt(view.layer_, to);
        return;
    }
    placeLayer(list[to], to);
}

void UIView::deactivateConstraintsCrossing(UIView& subtreeRoot) {
    for (UIView* ancestor = this; ancestor; ancestor = ancestor->superview_) {
        auto installed = ancestor->installedConstraints_;
        for (auto& c : installed) {
            bool crosses = (c->firstRaw_ && isInSubtree(c->firstRaw_, subtreeRoot)) ||
                           (c->secondRaw_ && isInSubtree(c->secondRaw_, subtreeRoot));
            if (crosses) c->setIsActive(false);
        }
    }
}

void UIView::notifyWillMoveToWindow(const std::shared_ptr<UIWindow>& window) {
    willMoveToWindow(window);
    auto children = subviews_;
    for (auto& sub : children) sub->notifyWillMoveToWindow(window);
}

void UIView::notifyDidMoveToWindow() {
    didMoveToWindow();
    auto children = subviews_;
    for (auto& sub : children) sub->notifyDidMoveToWindow();
}

void UIView::leftWindow() {
    detail::ViewAnimationState::cancelAll(*this);
    auto children = subviews_;
    for (auto& sub : children) sub->leftWindow();
}

// ---- Margins, safe area, guides -----------------------------------------------------------------------

UIEdgeInsets UIView::layoutMargins() const {
    if (!insetsLayoutMarginsFromSafeArea_) return layoutMargins_;
    return {layoutMargins_.top + safeAreaInsets_.top, layoutMargins_.left + safeAreaInsets_.left,
            layoutMargins_.bottom + safeAreaInsets_.bottom, layoutMargins_.right + safeAreaInsets_.right};
}

void UIView::setLayoutMargins(const UIEdgeInsets& margins) {
    UIEdgeInsets previous = layoutMargins();
    layoutMargins_ = margins;
    marginsMayHaveChanged(previous);
}

void UIView::setInsetsLayoutMarginsFromSafeArea(bool flag) {
    UIEdgeInsets previous = layoutMargins();
    insetsLayoutMarginsFromSafeArea_ = flag;
    marginsMayHaveChanged(previous);
}

void UIView::marginsMayHaveChanged(const UIEdgeInsets& previous) {
    if (layoutMargins() == previous) return;
    if (layoutMarginsGuide_ && layoutMarginsGuide_->isInLayoutEngine()) {
        LayoutEngine::shared().itemNeedsUpdate(*layoutMarginsGuide_);
    }
    setNeedsLayout();
    layoutMarginsDidChange();
}

void UIView::updateSafeAreaInsets(const UIEdgeInsets& insets) {
    if (insets == safeAreaInsets_) return;
    UIEdgeInsets previousMargins = layoutMargins();
    safeAreaInsets_ = insets;
    if (safeAreaLayoutGuide_ && safeAreaLayoutGuide_->isInLayoutEngine()) {
        LayoutEngine::shared().itemNeedsUpdate(*safeAreaLayoutGuide_);
    }
    setNeedsLayout();
    safeAreaInsetsDidChange();
    marginsMayHaveChanged(previousMargins);
}

const std::shared_ptr<UILayoutGuide>& UIView::layoutMarginsGuide() {
    if (!layoutMarginsGuide_) {
        layoutMarginsGuide_ = UILayoutGuide::create();
        layoutMarginsGuide_->kind_ = UILayoutGuide::Kind::layoutMargins;
        layoutMarginsGuide_->owner_ = this;
        layoutMarginsGuide_->identifier_ = "UIViewLayoutMarginsGuide";
    }
    return layoutMarginsGuide_;
}

const std::shared_ptr<UILayoutGuide>& UIView::safeAreaLayoutGuide() {
    if (!safeAreaLayoutGuide_) {
        safeAreaLayoutGuide_ = UILayoutGuide::create();
        safeAreaLayoutGuide_->kind_ = UILayoutGuide::Kind::safeArea;
        safeAreaLayoutGuide_->owner_ = this;
        safeAreaLayoutGuide_->identifier_ = "UIViewSafeAreaLayoutGuide";
    }
    return safeAreaLayoutGuide_;
}

void UIView::addLayoutGuide(const std::shared_ptr<UILayoutGuide>& guide) {
    if (!guide || guide->kind_ != UILayoutGuide::Kind::user || guide->owner_ == this) return;
    if (UIView* previous = guide->owner_) previous->removeLayoutGuide(guide);
    guide->owner_ = this;
    layoutGuides_.push_back(guide);
}

void UIView::removeLayoutGuide(const std::shared_ptr<UILayoutGuide>& guide) {
    if (!guide || guide->owner_ != this) return;
    LayoutEngine::shared().itemDestroyed(*guide);
    guide->owner_ = nullptr;
    layoutGuides_.erase(std::remove(layoutGuides_.begin(), layoutGuides_.end(), guide), layoutGuides_.end());
    setNeedsLayout();
}

std::vector<std::shared_ptr<UILayoutGuide>> UIView::layoutGuides() const {
    return layoutGuides_;
}

// ---- Traits -------------------------------------------------------------------------------------------

UITraitCollection UIView::traitCollection() const {
    if (window_) return window_->windowTraits();
    auto screen = UIScreen::main();
    UITraitCollection traits;
    traits.userInterfaceIdiom = screen->idiom();
    traits.displayScale = screen->scale();
    return traits;
}

void UIView::propagateTraitChange() {
    UITraitCollection now = traitCollection();
    if (!lastTraits_ || *lastTraits_ != now) {
        std::optional<UITraitCollection> previous = lastTraits_;
        lastTraits_ = now;
        traitCollectionDidChange(previous);
    }
    auto children = subviews_;
    for (auto& sub : children) sub->propagateTraitChange();
}

// ---- Coordinates and hit testing ----------------------------------------------------------------------

CGPoint UIView::convertTo(CGPoint point, const std::shared_ptr<UIView>& view) const {
    return layer_->convertTo(point, view ? view->layer_.get() : nullptr);
}

CGPoint UIView::convertFrom(CGPoint point, const std::shared_ptr<UIView>& view) const {
    return layer_->convertFrom(point, view ? view->layer_.get() : nullptr);
}

CGRect UIView::convertTo(const CGRect& rect, const std::shared_ptr<UIView>& view) const {
    return layer_->convertTo(rect, view ? view->layer_.get() : nullptr);
}

CGRect UIView::convertFrom(const CGRect& rect, const std::shared_ptr<UIView>& view) const {
    return layer_->convertFrom(rect, view ? view->layer_.get() : nullptr);
}

bool UIView::point(CGPoint inside, const UIEvent* event) {
    (void)event;
    return bounds().contains(inside);
}

std::shared_ptr<UIView> UIView::hitTestWith(CGPoint point, const UIEvent* event) {
    if (isHidden() || !isUserInteractionEnabled_ || alpha() < 0.01) return nullptr;
    if (animation_->blocksInteraction(dispatch::Clock::current()->now())) return nullptr;
    if (!this->point(point, event)) return nullptr;
    auto children = subviews_;
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        const auto& sub = *it;
        CGPoint p = sub->layer_->convertFrom(point, layer_.get());
        if (auto hit = sub->hitTestWith(p, event)) return hit;
    }
    return sharedView();
}

// ---- Layout -------------------------------------------------------------------------------------------

void UIView::requestDisplayPass() const {
    if (window_) scheduleWindowPass();
}

void UIView::placeInWindowDidChange() {
    // The first mark since the last pass asks for one, so that the insets follow even when nothing else
    // in the window needs layout.
    if (setSafeAreaNeedsUpdate() && !gPassActive) requestDisplayPass();
}

void UIView::setNeedsLayout() {
    layer_->setNeedsLayout();
    if (!gPassActive) requestDisplayPass();
}

bool UIView::needsLayout() const {
    return layer_->needsLayout();
}

void UIView::layoutIfNeeded() {
    auto keepAlive = sharedView();
    auto& engine = LayoutEngine::shared();
    if (gPassActive) {
        // A request from inside the pass (a layoutSubviews, a move callback): bring this subtree up to date.
        updateConstraintsSubtree();
        engine.sync();
        layer_->layoutIfNeeded();
        return;
    }
    UIView* root = this;
    while (root->superview_) root = root->superview_;
    auto rootAlive = root->sharedView();
    gPassActive = true;
    for (int round = 0; round < 10; ++round) {
        root->updateConstraintsSubtree();
        engine.sync();
        if (!root->translatesAutoresizingMask_ && root->isInLayoutEngine()) {
            if (auto f = engine.solvedFrame(*root)) root->applyLayoutFrame(*f);
        }
        root->layer_->layoutIfNeeded();
        root->updateSafeAreasIfNeeded();
        // A callback of this round (a subclass's safeAreaInsetsDidChange, say) may have asked for more.
        if (!engine.needsSync() && !root->layer_->subtreeNeedsLayout() && !root->subtreeNeedsUpdateConstraints() &&
            !root->subtreeSafeAreaNeedsUpdate()) {
            break;
        }
    }
    gPassActive = false;
}

void UIView::layoutSublayers(quartzcore::CALayer& layer) {
    if (&layer != layer_.get()) return;
    auto keepAlive = sharedView();
    auto& engine = LayoutEngine::shared();
    if (engine.needsSync()) engine.sync();
    applySolvedFrameToSubviews();
    detail::ViewHooks::willLayoutSubviews(*this);
    layoutSubviews();
    detail::ViewHooks::didLayoutSubviews(*this);
}

void UIView::applySolvedFrameToSubviews() {
    auto& engine = LayoutEngine::shared();
    // Applying a frame may change the list: the subviews the engine places are taken first, in order.
    std::vector<std::shared_ptr<UIView>> children;
    for (const auto& sub : subviews_) {
        if (!sub->translatesAutoresizingMask_ && sub->isInLayoutEngine()) children.push_back(sub);
    }
    for (auto& sub : children) {
        if (sub->translatesAutoresizingMask_ || !sub->isInLayoutEngine()) continue;
        if (auto f = engine.solvedFrame(*sub)) sub->applyLayoutFrame(*f);
    }
    if (isScrollContainer_) applySolvedContentSize(engine.solvedContentWidth(*this), engine.solvedContentHeight(*this));
}

void UIView::setNeedsUpdateConstraints() {
    needsUpdateConstraints_ = true;
    noteSubviewNeedsUpdateConstraints();
    if (!gPassActive) requestDisplayPass();
}

void UIView::noteSubviewNeedsUpdateConstraints() {
    // As with layout requests: an ancestor that already knows has told its own ancestors, or is being
    // visited and will come here.
    for (UIView* p = superview_; p && !p->subviewNeedsUpdateConstraints_; p = p->superview_) {
        p->subviewNeedsUpdateConstraints_ = true;
    }
}

void UIView::updateConstraintsSubtree() {
    if (subviewNeedsUpdateConstraints_) {
        subviewNeedsUpdateConstraints_ = false;
        auto children = subviews_;
        for (auto& sub : children) {
            if (sub->subtreeNeedsUpdateConstraints()) sub->updateConstraintsSubtree();
        }
    }
    if (needsUpdateConstraints_) {
        needsUpdateConstraints_ = false;
        updateConstraints();
    }
}

void UIView::updateConstraintsIfNeeded() {
    auto keepAlive = sharedView();
    updateConstraintsSubtree();
}

void UIView::invalidateIntrinsicContentSize() {
    if (isInLayoutEngine()) LayoutEngine::shared().itemNeedsUpdate(*this);
    if (superview_) superview_->setNeedsLayout();
    setNeedsLayout();
}

UILayoutPriority UIView::contentHuggingPriority(Axis axis) const {
    return axis == Axis::horizontal ? huggingH_ : huggingV_;
}

void UIView::setContentHuggingPriorityFor(UILayoutPriority priority, Axis axis) {
    (axis == Axis::horizontal ? huggingH_ : huggingV_) = priority;
    invalidateIntrinsicContentSize();
}

UILayoutPriority UIView::contentCompressionResistancePriority(Axis axis) const {
    return axis == Axis::horizontal ? compressionH_ : compressionV_;
}

void UIView::setContentCompressionResistancePriorityFor(UILayoutPriority priority, Axis axis) {
    (axis == Axis::horizontal ? compressionH_ : compressionV_) = priority;
    invalidateIntrinsicContentSize();
}

CGSize UIView::sizeThatFits(CGSize size) const {
    (void)size;
    return bounds().size;
}

void UIView::sizeToFit() {
    CGRect f = frame();
    CGSize fitted = sizeThatFits(bounds().size);
    setBounds(CGRect(bounds().origin, fitted));
    // Keep the frame's origin where it was.
    CGRect after = frame();
    setCenter({center().x + f.origin.x - after.origin.x, center().y + f.origin.y - after.origin.y});
}

void UIView::setTranslatesAutoresizingMaskIntoConstraints(bool flag) {
    if (flag == translatesAutoresizingMask_) return;
    translatesAutoresizingMask_ = flag;
    if (isInLayoutEngine()) LayoutEngine::shared().itemNeedsUpdate(*this);
    setNeedsLayout();
    if (superview_) superview_->setNeedsLayout();
}

std::vector<std::shared_ptr<NSLayoutConstraint>> UIView::constraints() const {
    return installedConstraints_;
}

// ---- Drawing ------------------------------------------------------------------------------------------

void UIView::setNeedsDisplay() {
    layer_->setNeedsDisplay();
    requestDisplayPass();
}

// ---- Description --------------------------------------------------------------------------------------

std::string UIView::className() const {
    const char* mangled = typeid(*this).name();
    int status = 0;
    char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    std::string name = status == 0 && demangled ? demangled : mangled;
    std::free(demangled);
    // Strip namespaces outside template arguments.
    int depth = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '<') depth++;
        if (name[i] == '>') depth--;
        if (depth == 0 && name[i] == ':' && i + 1 < name.size() && name[i + 1] == ':') start = i + 2;
    }
    return name.substr(start);
}

std::string UIView::layoutItemDescription() const {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%p", static_cast<const void*>(this));
    std::string text = className() + "(" + buffer;
    if (tag_ != 0) text += " tag " + std::to_string(tag_);
    return text + ")";
}

std::string UIView::snapshotLine() const {
    CGRect f = frame();
    std::string line = className() + " frame=(" + formatNumber(f.origin.x) + ", " + formatNumber(f.origin.y) + ", " +
                       formatNumber(f.size.width) + ", " + formatNumber(f.size.height) + ")";
    if (isHidden()) line += " hidden";
    if (differs(alpha(), 1)) line += " alpha=" + formatNumber(alpha());
    std::string extra = snapshotAttributes();
    if (!extra.empty()) line += " " + extra;
    return line;
}

std::string UIView::recursiveDescription() const {
    std::ostringstream os;
    struct Walk {
        static void run(const UIView& v, int depth, std::ostringstream& os) {
            os << std::string(static_cast<std::size_t>(depth) * 2, ' ') << v.snapshotLine() << "\n";
            for (const auto& sub : v.subviews()) run(*sub, depth + 1, os);
        }
    };
    Walk::run(*this, 0, os);
    return os.str();
}

}  // namespace uikit
