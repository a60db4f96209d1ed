// Safe-area insets: how much of each view the window's unsafe edges cover.
//
// A view's insets depend on the window's safe rectangle and on where the view lies in the window: its own
// geometry and that of every view above it. Views are marked when that changes (the layer reports every
// change of bounds, position, anchor point or transform; moves between superviews mark the moved view), and
// the layout pass walks down from the root once, visiting only marked branches. On the way down it carries
// the four corners of the window's safe rectangle in the coordinates of the view it is at, one step of the
// layer conversion per level, so a view's corners are exactly those a conversion from the window gives.
#include <algorithm>
#include <array>
#include <cstdint>

#include "uikit/UIView.h"
#include "uikit/UIWindow.h"

namespace uikit {

namespace detail {

// The window's safe rectangle seen from one view.
struct SafeRegion {
    enum class Kind {
        corners,   // `corners` are its corners in the view's coordinates
        nullRect,  // the window has no safe rectangle (insets larger than its bounds)
        noWindow,  // the view is in no window: zero insets
    };
    Kind kind = Kind::noWindow;
    std::array<CGPoint, 4> corners{};
    // The safe-area generation the corners were carried at (see below).
    std::uint64_t generation = 0;
};

}  // namespace detail

namespace {

using detail::SafeRegion;

// Counts every mark. A walk checks it at each view: when a callback of the walk (a subclass's
// `safeAreaInsetsDidChange`, say) moved something or changed the window's insets, the corners carried
// down may be stale, and the view converts them from the window again.
std::uint64_t gSafeAreaGeneration = 0;

CGFloat clampInset(CGFloat v, CGFloat extent) {
    return std::clamp(v, CGFloat(0), std::max(CGFloat(0), extent));
}

// The corners in the order the rectangle conversions take them.
std::array<CGPoint, 4> cornersOf(const CGRect& rect) {
    const CGRect r = rect.standardized();
    return {CGPoint{r.minX(), r.minY()}, CGPoint{r.maxX(), r.minY()}, CGPoint{r.minX(), r.maxY()},
            CGPoint{r.maxX(), r.maxY()}};
}

// The region of the window `window` (a root) for its own subviews' superview: the window itself.
SafeRegion regionOfWindow(const UIWindow& window) {
    SafeRegion region;
    region.generation = gSafeAreaGeneration;
    const CGRect safe = window.bounds().inset(window.safeAreaInsets());
    if (safe.isNull()) {
        region.kind = SafeRegion::Kind::nullRect;
        return region;
    }
    region.kind = SafeRegion::Kind::corners;
    region.corners = cornersOf(safe);
    return region;
}

}  // namespace

bool UIView::setSafeAreaNeedsUpdate() {
    ++gSafeAreaGeneration;
    if (!superview_) {
        const bool first = !subtreeSafeAreaNeedsUpdate();
        safeAreaNeedsUpdate_ = true;
        return first;
    }
    safeAreaNeedsUpdate_ = true;
    // An ancestor that already knows has told its own ancestors, or is being walked and will come here.
    UIView* p = superview_;
    for (; p && !p->subviewSafeAreaNeedsUpdate_; p = p->superview_) {
        if (!p->superview_) {
            const bool first = !p->safeAreaNeedsUpdate_;
            p->subviewSafeAreaNeedsUpdate_ = true;
            return first;
        }
        p->subviewSafeAreaNeedsUpdate_ = true;
    }
    return false;
}

void UIView::updateSafeAreasIfNeeded() {
    if (!subtreeSafeAreaNeedsUpdate()) return;
    if (superview_) {
        UIView* root = superview_;
        while (root->superview_) root = root->superview_;
        root->updateSafeAreasIfNeeded();
        return;
    }
    auto* window = dynamic_cast<UIWindow*>(this);
    if (!window) {
        // Outside a window every inset is zero already (leaving a window cleared them): only the marks go.
        clearSafeAreas(false);
        return;
    }
    // The window's own insets are the device's, set on it: never computed.
    const bool force = safeAreaNeedsUpdate_;
    safeAreaNeedsUpdate_ = false;
    subviewSafeAreaNeedsUpdate_ = false;
    const SafeRegion region = regionOfWindow(*window);
    auto keepAlive = sharedView();
    auto children = subviews_;
    for (auto& sub : children) {
        if (sub->superview_ == this) sub->updateSafeAreas(region, force);
    }
}

void UIView::updateSafeAreas(const SafeRegion& outer, bool force) {
    const bool recompute = force || safeAreaNeedsUpdate_;
    const bool descend = recompute || subviewSafeAreaNeedsUpdate_;
    safeAreaNeedsUpdate_ = false;
    subviewSafeAreaNeedsUpdate_ = false;
    if (!descend) return;

    SafeRegion region;
    if (outer.generation == gSafeAreaGeneration) {
        region = outer;
        if (region.kind == SafeRegion::Kind::corners) {
            const CGAffineTransform fromSuperlayer = layer_->transformToSuperlayer().inverted();
            for (CGPoint& corner : region.corners) corner = corner.applying(fromSuperlayer);
        }
    } else if (auto window = this->window()) {
        // Something moved during this walk: start again from the window for this branch.
        region = regionOfWindow(*window);
        if (region.kind == SafeRegion::Kind::corners) {
            for (CGPoint& corner : region.corners) corner = layer_->convertFrom(corner, window->layer().get());
        }
    } else {
        region.generation = gSafeAreaGeneration;
    }

    if (region.kind == SafeRegion::Kind::noWindow) {
        // Left its window during the walk: that move cleared its insets; keep them so.
        clearSafeAreas(true);
        return;
    }
    if (recompute) {
        CGRect r = CGRect::null();
        if (region.kind == SafeRegion::Kind::corners) {
            for (const CGPoint& corner : region.corners) r = r.union_(CGRect{corner, CGSize{}});
        }
        const CGRect b = bounds();
        updateSafeAreaInsets({clampInset(r.minY() - b.minY(), b.height()), clampInset(r.minX() - b.minX(), b.width()),
                              clampInset(b.maxY() - r.maxY(), b.height()), clampInset(b.maxX() - r.maxX(), b.width())});
    }
    // Callbacks may change the list: the subviews to visit are taken first, in order. Without a recomputation
    // here, only the marked ones have anything to do.
    std::vector<std::shared_ptr<UIView>> children;
    for (const auto& sub : subviews_) {
        if (recompute || sub->subtreeSafeAreaNeedsUpdate()) children.push_back(sub);
    }
    for (auto& sub : children) {
        if (sub->superview_ == this) sub->updateSafeAreas(region, recompute);
    }
}

void UIView::clearSafeAreas(bool wholeSubtree) {
    const bool here = wholeSubtree || safeAreaNeedsUpdate_;
    const bool descend = wholeSubtree || subviewSafeAreaNeedsUpdate_;
    safeAreaNeedsUpdate_ = false;
    subviewSafeAreaNeedsUpdate_ = false;
    // A window inside another tree keeps the insets it was given.
    if (here && !dynamic_cast<UIWindow*>(this)) updateSafeAreaInsets(UIEdgeInsets());
    if (!descend) return;
    auto children = subviews_;
    for (auto& sub : children) {
        if (sub->superview_ == this) sub->clearSafeAreas(wholeSubtree);
    }
}

}  // namespace uikit
