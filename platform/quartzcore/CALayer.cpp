#include "quartzcore/CALayer.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "dispatch/Clock.h"
#include "quartzcore/CATransaction.h"

namespace quartzcore {

namespace {

double nowSeconds() {
    return dispatch::secondsFromNanoseconds(dispatch::Clock::current()->now());
}

double usableDuration(CGFloat d) {
    return (std::isfinite(d) && d > 0) ? d : 0;
}

}  // namespace

// --- animations ---

void CAAnimation::run(const std::string& forKey, CALayer& object) {
    object.add(clone(), forKey);
}

// --- creation ---

CALayer::CALayer() = default;
CALayer::~CALayer() = default;

std::shared_ptr<CALayer> CALayer::create() {
    return std::shared_ptr<CALayer>(new CALayer());
}

// --- geometry ---

namespace {

// Maps the layer's own coordinates to its superlayer's: around the anchor point, through the
// transform, onto the position.
CGAffineTransform layerToSuper(const CGRect& bounds, CGPoint anchor, const CGAffineTransform& t, CGPoint position) {
    const CGFloat w = bounds.width(), h = bounds.height();
    const CGPoint anchorLocal{bounds.minX() + anchor.x * w, bounds.minY() + anchor.y * h};
    return CGAffineTransform::makeTranslation(-anchorLocal.x, -anchorLocal.y)
        .concatenating(t)
        .concatenating(CGAffineTransform::makeTranslation(position.x, position.y));
}

// The bounds-size rectangle with the anchor point at the origin, through the transform.
CGRect anchoredBox(CGSize size, CGPoint anchor, const CGAffineTransform& t) {
    const CGRect local{-anchor.x * size.width, -anchor.y * size.height, size.width, size.height};
    return local.applying(t);
}

}  // namespace

void CALayer::setBounds(const CGRect& bounds) {
    if (bounds == bounds_ || bounds.isNull()) return;
    const bool sizeChanged = bounds.size != bounds_.size;
    bounds_ = bounds;
    if (sizeChanged) {
        setNeedsLayout();
        if (needsDisplayOnBoundsChange_) setNeedsDisplay();
    }
    geometryDidChange();
    didChange("bounds");
}

void CALayer::setPosition(CGPoint position) {
    if (position == position_) return;
    position_ = position;
    geometryDidChange();
    didChange("position");
}

void CALayer::setAnchorPoint(CGPoint anchorPoint) {
    if (anchorPoint == anchorPoint_) return;
    anchorPoint_ = anchorPoint;
    geometryDidChange();
    didChange("anchorPoint");
}

void CALayer::setTransform(const CGAffineTransform& transform) {
    if (transform == transform_) return;
    transform_ = transform;
    geometryDidChange();
    didChange("transform");
}

CGRect CALayer::frame() const {
    const CGSize size{bounds_.width(), bounds_.height()};
    const CGRect box = anchoredBox(size, anchorPoint_, transform_);
    return {box.origin.x + position_.x, box.origin.y + position_.y, box.size.width, box.size.height};
}

void CALayer::setFrame(const CGRect& frame) {
    if (frame.isNull()) return;
    const CGRect f = frame.standardized();
    const CGAffineTransform& t = transform_;
    CGSize size{bounds_.width(), bounds_.height()};
    const bool axisAligned = t.b == 0 && t.c == 0 && t.a != 0 && t.d != 0 && std::isfinite(t.a) && std::isfinite(t.d);
    if (axisAligned) size = {f.size.width / std::fabs(t.a), f.size.height / std::fabs(t.d)};
    const CGRect box = anchoredBox(size, anchorPoint_, t);
    setBounds({bounds_.origin, size});
    setPosition({f.origin.x - box.origin.x, f.origin.y - box.origin.y});
}

void CALayer::geometryDidChange() {
    if (const auto delegate = delegate_.lock()) delegate->layerDidChangeGeometry(*this);
}

CGAffineTransform CALayer::transformToSuperlayer() const {
    return layerToSuper(bounds_, anchorPoint_, transform_, position_);
}

CGPoint CALayer::toSuperlayer(CGPoint p) const {
    return p.applying(transformToSuperlayer());
}

CGPoint CALayer::fromSuperlayer(CGPoint p) const {
    return p.applying(transformToSuperlayer().inverted());
}

CGPoint CALayer::toRoot(CGPoint p) const {
    const CALayer* layer = this;
    std::shared_ptr<CALayer> parent;
    while ((parent = layer->superlayer())) {
        p = layer->toSuperlayer(p);
        layer = parent.get();
    }
    return p;
}

CGPoint CALayer::fromRoot(CGPoint p) const {
    std::vector<const CALayer*> chain;  // this layer up to (not including) the root
    const CALayer* layer = this;
    std::shared_ptr<CALayer> parent;
    while ((parent = layer->superlayer())) {
        chain.push_back(layer);
        layer = parent.get();
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) p = (*it)->fromSuperlayer(p);
    return p;
}

CGPoint CALayer::convertTo(CGPoint point, const CALayer* layer) const {
    const CGPoint root = toRoot(point);
    return layer ? layer->fromRoot(root) : root;
}

CGPoint CALayer::convertFrom(CGPoint point, const CALayer* layer) const {
    const CGPoint root = layer ? layer->toRoot(point) : point;
    return fromRoot(root);
}

namespace {
template <class Convert>
CGRect convertCorners(const CGRect& rect, Convert convert) {
    if (rect.isNull()) return CGRect::null();
    const CGRect r = rect.standardized();
    const CGPoint corners[4] = {{r.minX(), r.minY()}, {r.maxX(), r.minY()}, {r.minX(), r.maxY()}, {r.maxX(), r.maxY()}};
    CGRect box = CGRect::null();
    for (const CGPoint& c : corners) box = box.union_(CGRect{convert(c), CGSize{}});
    return box;
}
}  // namespace

CGRect CALayer::convertTo(const CGRect& rect, const CALayer* layer) const {
    return convertCorners(rect, [&](CGPoint p) { return convertTo(p, layer); });
}

CGRect CALayer::convertFrom(const CGRect& rect, const CALayer* layer) const {
    return convertCorners(rect, [&](CGPoint p) { return convertFrom(p, layer); });
}

// --- the tree ---

bool CALayer::isDescendant(const CALayer& of) const {
    const CALayer* layer = this;
    std::shared_ptr<CALayer> keep;
    while (layer) {
        if (layer == &of) return true;
        keep = layer->superlayer();
        layer = keep.get();
    }
    return false;
}

bool CALayer::detachForInsertion(const std::shared_ptr<CALayer>& layer) {
    if (!layer || layer.get() == this || isDescendant(*layer)) return false;
    layer->removeFromSuperlayer();
    return true;
}

void CALayer::insertChecked(const std::shared_ptr<CALayer>& layer, std::size_t index) {
    index = std::min(index, sublayers_.size());
    sublayers_.insert(sublayers_.begin() + static_cast<std::ptrdiff_t>(index), layer);
    layer->superlayer_ = weak_from_this();
    setNeedsLayout();
    // What the newcomer still has to lay out is reachable from here now.
    layer->askedSuperlayer_ = false;
    if (layer->subtreeNeedsLayout()) {
        sublayerNeedsLayout_ = true;
        noteAsking(*layer);
    }
    if (layer->subtreeNeedsDisplay()) {
        sublayerNeedsDisplay_ = true;
        noteSublayerNeedsDisplay();
    }
}

bool CALayer::addSublayer(const std::shared_ptr<CALayer>& layer) {
    if (!detachForInsertion(layer)) return false;
    insertChecked(layer, sublayers_.size());
    return true;
}

bool CALayer::insertSublayerAt(const std::shared_ptr<CALayer>& layer, std::size_t index) {
    if (layer && layer->superlayer_.lock().get() == this) {
        // Already here: looked for outward from where it goes (a move is usually short) and rotated into place;
        // it stays a sublayer throughout, so what it asked of this layer still holds.
        const std::size_t count = sublayers_.size();
        const std::size_t to = std::min(index, count - 1);
        std::size_t from = count;
        for (std::size_t d = 0; from == count && (to + d < count || d <= to); ++d) {
            if (to + d < count && sublayers_[to + d] == layer) {
                from = to + d;
            } else if (d <= to && sublayers_[to - d] == layer) {
                from = to - d;
            }
        }
        if (from == count) return false;  // not reached: a sublayer is in the list once
        const auto at = [&](std::size_t i) { return sublayers_.begin() + static_cast<std::ptrdiff_t>(i); };
        if (from < to) std::rotate(at(from), at(from + 1), at(to + 1));
        if (from > to) std::rotate(at(to), at(from), at(from + 1));
        setNeedsLayout();
        return true;
    }
    if (!detachForInsertion(layer)) return false;
    insertChecked(layer, index);
    return true;
}

bool CALayer::insertSublayerBelow(const std::shared_ptr<CALayer>& layer, const std::shared_ptr<CALayer>& sibling) {
    if (!detachForInsertion(layer)) return false;
    const auto it = std::find(sublayers_.begin(), sublayers_.end(), sibling);
    insertChecked(layer,
                  it == sublayers_.end() ? sublayers_.size() : static_cast<std::size_t>(it - sublayers_.begin()));
    return true;
}

bool CALayer::insertSublayerAbove(const std::shared_ptr<CALayer>& layer, const std::shared_ptr<CALayer>& sibling) {
    if (!detachForInsertion(layer)) return false;
    const auto it = std::find(sublayers_.begin(), sublayers_.end(), sibling);
    insertChecked(layer,
                  it == sublayers_.end() ? sublayers_.size() : static_cast<std::size_t>(it - sublayers_.begin()) + 1);
    return true;
}

bool CALayer::replaceSublayerWith(const std::shared_ptr<CALayer>& oldLayer, const std::shared_ptr<CALayer>& newLayer) {
    if (!oldLayer || oldLayer->superlayer().get() != this) return false;
    if (oldLayer == newLayer) return true;
    if (!newLayer || newLayer.get() == this || isDescendant(*newLayer)) return false;
    newLayer->removeFromSuperlayer();
    const auto it = std::find(sublayers_.begin(), sublayers_.end(), oldLayer);
    const std::size_t index = static_cast<std::size_t>(it - sublayers_.begin());
    oldLayer->removeFromSuperlayer();
    insertChecked(newLayer, index);
    return true;
}

void CALayer::removeFromSuperlayer() {
    const std::shared_ptr<CALayer> parent = superlayer_.lock();
    superlayer_.reset();
    if (!parent) return;
    // Keep this layer alive while it leaves the list that may hold its last reference.
    const std::shared_ptr<CALayer> self = shared_from_this();
    // A layer is in the list once. Searched from the end: taking many layers away, last first, costs what follows
    // each of them.
    auto& list = parent->sublayers_;
    if (auto it = std::find(list.rbegin(), list.rend(), self); it != list.rend()) list.erase(std::prev(it.base()));
    parent->setNeedsLayout();
}

// --- appearance ---

void CALayer::setBackgroundColor(std::optional<CGColor> color) {
    if (color == backgroundColor_) return;
    backgroundColor_ = color;
    didChange("backgroundColor");
}

void CALayer::setCornerRadius(CGFloat radius) {
    if (radius == cornerRadius_) return;
    cornerRadius_ = radius;
    didChange("cornerRadius");
}

void CALayer::setBorderWidth(CGFloat width) {
    if (width == borderWidth_) return;
    borderWidth_ = width;
    didChange("borderWidth");
}

void CALayer::setBorderColor(std::optional<CGColor> color) {
    if (color == borderColor_) return;
    borderColor_ = color;
    didChange("borderColor");
}

void CALayer::setOpacity(CGFloat opacity) {
    if (opacity == opacity_) return;
    opacity_ = opacity;
    didChange("opacity");
}

void CALayer::setIsHidden(bool hidden) {
    if (hidden == isHidden_) return;
    isHidden_ = hidden;
    // The display pass went past it while it was hidden: what it still has to display is wanted now.
    if (!hidden && subtreeNeedsDisplay()) noteSublayerNeedsDisplay();
    didChange("hidden");
}

void CALayer::setShadowColor(std::optional<CGColor> color) {
    if (color == shadowColor_) return;
    shadowColor_ = color;
    didChange("shadowColor");
}

void CALayer::setShadowOpacity(CGFloat opacity) {
    if (opacity == shadowOpacity_) return;
    shadowOpacity_ = opacity;
    didChange("shadowOpacity");
}

void CALayer::setShadowOffset(CGSize offset) {
    if (offset == shadowOffset_) return;
    shadowOffset_ = offset;
    didChange("shadowOffset");
}

void CALayer::setShadowRadius(CGFloat radius) {
    if (radius == shadowRadius_) return;
    shadowRadius_ = radius;
    didChange("shadowRadius");
}

void CALayer::setShadowPath(std::optional<CGPath> path) {
    if (path == shadowPath_) return;
    shadowPath_ = std::move(path);
    didChange("shadowPath");
}

// --- actions ---

bool CALayer::isAnimatableKey(const std::string& key) {
    static const std::set<std::string> keys = {
        "anchorPoint", "backgroundColor", "borderColor",  "borderWidth",   "bounds",     "colors",       "cornerRadius",
        "endPoint",    "fillColor",       "hidden",       "lineWidth",     "locations",  "opacity",      "path",
        "position",    "shadowColor",     "shadowOffset", "shadowOpacity", "shadowPath", "shadowRadius", "startPoint",
        "strokeColor", "strokeEnd",       "strokeStart",  "transform"};
    return keys.count(key) != 0;
}

std::shared_ptr<CAAction> CALayer::defaultAction(const std::string& forKey) {
    if (!isAnimatableKey(forKey)) return nullptr;
    auto animation = std::make_shared<CABasicAnimation>(forKey);
    animation->duration = CATransaction::animationDuration();
    return animation;
}

std::shared_ptr<CAAction> CALayer::action(const std::string& forKey) {
    if (const auto delegate = delegate_.lock()) {
        if (auto answer = delegate->action(*this, forKey)) return *answer;
    }
    if (const auto it = actions_.find(forKey); it != actions_.end()) return it->second;
    return defaultAction(forKey);
}

void CALayer::didChange(const std::string& key) {
    if (CATransaction::disableActions()) return;
    if (const std::shared_ptr<CAAction> found = action(key)) found->run(key, *this);
}

void CALayer::add(const std::shared_ptr<CAAnimation>& animation, const std::string& forKey) {
    if (!animation) return;
    std::shared_ptr<CAAnimation> copy = animation->clone();
    if (copy->beginTime == 0) copy->beginTime = nowSeconds();
    removeAnimation(forKey);
    animations_.emplace_back(forKey, std::move(copy));
}

namespace {
bool isRunning(const CAAnimation& a, double now) {
    return !a.isRemovedOnCompletion || now < a.beginTime + usableDuration(a.duration);
}
}  // namespace

std::shared_ptr<CAAnimation> CALayer::animation(const std::string& forKey) const {
    const double now = nowSeconds();
    for (const auto& [key, a] : animations_)
        if (key == forKey && isRunning(*a, now)) return a;
    return nullptr;
}

std::vector<std::string> CALayer::animationKeys() const {
    const double now = nowSeconds();
    std::vector<std::string> keys;
    for (const auto& [key, a] : animations_)
        if (isRunning(*a, now)) keys.push_back(key);
    return keys;
}

void CALayer::removeAnimation(const std::string& forKey) {
    std::erase_if(animations_, [&](const auto& entry) { return entry.first == forKey; });
}

void CALayer::removeAllAnimations() {
    animations_.clear();
}

// --- layout and display ---

void CALayer::setNeedsLayout() {
    needsLayout_ = true;
    noteSublayerNeedsLayout();
}

void CALayer::noteSublayerNeedsLayout() {
    // A superlayer that already knows has told its own superlayers, or is being laid out and will visit this
    // branch (its flag is cleared before its sublayers are visited, so a request made meanwhile goes past it).
    // Each superlayer on the way lists the sublayer the request came through.
    CALayer* child = this;
    for (auto parent = superlayer_.lock(); parent; parent = parent->superlayer_.lock()) {
        parent->noteAsking(*child);
        if (parent->sublayerNeedsLayout_) break;
        parent->sublayerNeedsLayout_ = true;
        child = parent.get();
    }
}

void CALayer::noteAsking(CALayer& sublayer) {
    if (sublayer.askedSuperlayer_) return;
    sublayer.askedSuperlayer_ = true;
    askingSublayers_.push_back(sublayer.weak_from_this());
}

void CALayer::layoutIfNeeded() {
    if (!needsLayout_ && !sublayerNeedsLayout_) return;
    const std::shared_ptr<CALayer> self = shared_from_this();
    if (needsLayout_) {
        needsLayout_ = false;
        layoutSublayers();
    }
    if (!sublayerNeedsLayout_) return;
    sublayerNeedsLayout_ = false;
    auto asking = std::move(askingSublayers_);
    askingSublayers_.clear();
    for (const auto& weak : asking) {
        auto child = weak.lock();
        if (child && child->superlayer().get() == this) child->askedSuperlayer_ = false;
    }
    // One sublayer asked (the common case: one view changed): only its branch is visited. Otherwise every
    // sublayer is looked at, in order.
    if (asking.size() == 1) {
        auto child = asking.front().lock();
        if (child && child->subtreeNeedsLayout() && child->superlayer().get() == this) child->layoutIfNeeded();
        return;
    }
    // Layout may change the list: the sublayers that need it are taken first, in order.
    std::vector<std::shared_ptr<CALayer>> children;
    for (const auto& child : sublayers_)
        if (child->subtreeNeedsLayout()) children.push_back(child);
    for (const auto& child : children)
        if (child->subtreeNeedsLayout() && child->superlayer().get() == this) child->layoutIfNeeded();
}

void CALayer::layoutSublayers() {
    if (const auto delegate = delegate_.lock()) delegate->layoutSublayers(*this);
}

void CALayer::setNeedsDisplay() {
    needsDisplay_ = true;
    noteSublayerNeedsDisplay();
}

void CALayer::noteSublayerNeedsDisplay() {
    for (auto parent = superlayer_.lock(); parent && !parent->sublayerNeedsDisplay_;
         parent = parent->superlayer_.lock())
        parent->sublayerNeedsDisplay_ = true;
}

void CALayer::displayIfNeeded() {
    if (needsDisplay_) display();
}

void CALayer::displaySubtreeIfNeeded() {
    if (isHidden_) return;
    const std::shared_ptr<CALayer> self = shared_from_this();
    displayIfNeeded();
    if (!sublayerNeedsDisplay_) return;
    // Cleared before the sublayers are visited, so that a request made meanwhile goes past it.
    sublayerNeedsDisplay_ = false;
    // By index, each sublayer held while it is displayed: a drawing that changed the list would not break the
    // walk.
    for (std::size_t i = 0; i < sublayers_.size(); ++i) {
        if (!sublayers_[i]->subtreeNeedsDisplay()) continue;
        const std::shared_ptr<CALayer> child = sublayers_[i];
        child->displaySubtreeIfNeeded();
    }
}

void CALayer::display() {
    const std::shared_ptr<CALayer> self = shared_from_this();
    needsDisplay_ = false;
    auto context = CGContext::create({bounds_.width(), bounds_.height()});
    if (bounds_.origin != CGPoint{}) context->translateBy(-bounds_.origin.x, -bounds_.origin.y);
    {
        coregraphics::GraphicsContextScope scope(context);
        draw(*context);
    }
    contents_ = std::move(context);
    ++displayCount_;
}

void CALayer::draw(CGContext& in) {
    if (const auto delegate = delegate_.lock()) delegate->drawIn(*this, in);
}

}  // namespace quartzcore
