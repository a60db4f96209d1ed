#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "quartzcore/CALayer.h"
#include "uikit/ConstraintMaker.h"
#include "uikit/LayoutItem.h"
#include "uikit/NSLayoutConstraint.h"
#include "uikit/UIColor.h"
#include "uikit/UIEdgeInsets.h"
#include "uikit/UIFocus.h"
#include "uikit/UIGeometry.h"
#include "uikit/UILayoutGuide.h"
#include "uikit/UIResponder.h"
#include "uikit/UITraitCollection.h"
#include "uikit/UIViewContentMode.h"

namespace uikit {

class UIWindow;
class UIStackView;
class UIGestureRecognizer;
class UIViewController;
namespace detail {
class ViewLayerDelegate;
struct SafeRegion;
struct ViewAnimationState;
class AnimationCapture;
struct ViewHooks;
}  // namespace detail

// A rectangle on screen and the root of everything the toolkit shows.
//
// Construction is two-phase, as everywhere in the kit: constructors are protected, `create(frame)`
// makes the shared object. Subclasses build their own subviews and constraints in their `create` after
// construction (adding subviews needs the view's shared pointer, which does not exist inside a
// constructor). Subclasses override the virtual hooks below (layout, drawing, tint, moves, hit testing).
//
// Every view is backed by a `quartzcore::CALayer` (its geometry, opacity, visibility and colour live in
// the layer); a subclass may hand its own layer (a gradient or video layer) to the constructor.
//
// Geometry: `bounds` is the view's own coordinate space, `center` is where the layer's anchor point
// lies in the superview, `transform` applies around the anchor point, and `frame` is the bounding box
// of the transformed bounds in the superview.
//
// Layout: a view is laid out when it needs it, top-down from the root of its tree, by `layoutIfNeeded()`
// or, for views in a window, at the end of the main loop's turn in which something asked for it. The pass
// runs `updateConstraints()` where requested, solves the constraints, applies the solved frames of the
// subviews that do not translate their autoresizing mask, and calls `layoutSubviews()`. It costs what
// changed: branches of the tree in which nothing asked for an update of constraints, for layout or for
// new safe-area insets are not visited. Constraints see
// a view's untransformed frame (its bounds size placed around its centre by the anchor point); placing a
// view sets its bounds size and centre, so its transform stays. Only a change of the solution makes the
// engine ask for layout again: a frame adjusted by hand in `layoutSubviews()` stays until the superview is
// next laid out.
//
// Animation: inside `UIView::animate(…)` the model values change at once and `presentation()` reports
// the value drawn at the current time of the one clock (dispatch::Clock). Changes made through the view's
// setters (alpha, frame, bounds, center, transform, background colour) are animated; changes made to the
// layer directly are not tracked by `presentation()`.
//
// Snapshot: `recursiveDescription()` prints the tree (class, frame, hidden / alpha, label text...) for
// tests to compare.
class UIView : public UIResponder, public LayoutItem, public UIFocusItem {
  public:
    using ContentMode = UIViewContentMode;
    using Axis = UILayoutConstraintAxis;

    static constexpr CGFloat noIntrinsicMetric = -1;

    // Options of the animation functions (a bit set, the platform's raw values).
    struct AnimationOptions {
        unsigned rawValue = 0;
        static constexpr unsigned layoutSubviewsBit = 1u << 0;
        static constexpr unsigned allowUserInteractionBit = 1u << 1;
        static constexpr unsigned beginFromCurrentStateBit = 1u << 2;
        static constexpr AnimationOptions layoutSubviews() { return {layoutSubviewsBit}; }
        static constexpr AnimationOptions allowUserInteraction() { return {allowUserInteractionBit}; }
        static constexpr AnimationOptions beginFromCurrentState() { return {beginFromCurrentStateBit}; }
        static constexpr AnimationOptions curveEaseInOut() { return {0u << 16}; }
        static constexpr AnimationOptions curveEaseIn() { return {1u << 16}; }
        static constexpr AnimationOptions curveEaseOut() { return {2u << 16}; }
        static constexpr AnimationOptions curveLinear() { return {3u << 16}; }

        constexpr bool contains(AnimationOptions other) const { return (rawValue & other.rawValue) == other.rawValue; }
        friend constexpr AnimationOptions operator|(AnimationOptions a, AnimationOptions b) {
            return {a.rawValue | b.rawValue};
        }
        friend constexpr bool operator==(const AnimationOptions&, const AnimationOptions&) = default;
    };

    // What is drawn now: the model values, or the interpolated ones while an animation runs.
    struct PresentationValues {
        CGRect frame;
        CGRect bounds;
        CGPoint center;
        CGAffineTransform transform;
        CGFloat alpha = 1;
        std::optional<UIColor> backgroundColor;
    };

    static std::shared_ptr<UIView> create(const CGRect& frame = CGRect());
    ~UIView() override;

    // ---- Layer and geometry ------------------------------------------------------------------------
    // Geometry that is not finite (NaN or infinite components) is ignored: the view keeps its geometry.
    const std::shared_ptr<quartzcore::CALayer>& layer() const { return layer_; }

    CGRect frame() const;
    void setFrame(const CGRect& frame);
    CGRect bounds() const;
    void setBounds(const CGRect& bounds);
    CGPoint center() const;
    void setCenter(CGPoint center);
    CGAffineTransform transform() const;
    void setTransform(const CGAffineTransform& transform);

    // ---- Appearance --------------------------------------------------------------------------------
    CGFloat alpha() const;
    // Clamped to [0, 1]; NaN is ignored.
    void setAlpha(CGFloat alpha);
    bool isHidden() const;
    void setIsHidden(bool hidden);
    bool isOpaque() const;
    void setIsOpaque(bool opaque);
    bool clipsToBounds() const;
    void setClipsToBounds(bool clips);
    ContentMode contentMode() const { return contentMode_; }
    void setContentMode(ContentMode mode);
    std::optional<UIColor> backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(std::optional<UIColor> color);
    int tag() const { return tag_; }
    void setTag(int tag) { tag_ = tag; }
    bool isUserInteractionEnabled() const { return isUserInteractionEnabled_; }
    void setIsUserInteractionEnabled(bool enabled) { isUserInteractionEnabled_ = enabled; }

    // The tint: the colour set on this view, else the superview's, else the system default.
    UIColor tintColor() const;
    // nullopt makes the view inherit again. Every view whose tint actually changes, this one and the
    // descendants that inherit it, gets `tintColorDidChange()`.
    void setTintColor(std::optional<UIColor> color);
    virtual void tintColorDidChange() {}

    // ---- The view tree -----------------------------------------------------------------------------
    std::shared_ptr<UIView> superview() const;
    const std::vector<std::shared_ptr<UIView>>& subviews() const { return subviews_; }
    // The window at the root of the tree, or nullptr. Known without a walk: every view keeps its root's window,
    // brought up to date for a whole branch when the branch moves to another tree or its window goes.
    std::shared_ptr<UIWindow> window() const;

    // Adds `view` on top of the others; a view with another superview is moved. Adding a view that is
    // already a subview brings it to the front. Adding a view to itself or to one of its own descendants
    // is refused (logged), as is any addition while this view is still being constructed.
    void addSubview(const std::shared_ptr<UIView>& view);
    // Inserts at `index` (clamped to the number of subviews).
    void insertSubviewAt(const std::shared_ptr<UIView>& view, std::size_t index);
    void insertSubviewBelowSubview(const std::shared_ptr<UIView>& view, const std::shared_ptr<UIView>& sibling);
    void insertSubviewAboveSubview(const std::shared_ptr<UIView>& view, const std::shared_ptr<UIView>& sibling);
    void bringSubviewToFront(const std::shared_ptr<UIView>& view);
    void sendSubviewToBack(const std::shared_ptr<UIView>& view);
    // Also deactivates every constraint between this view's subtree and views outside it.
    void removeFromSuperview();
    bool isDescendant(const std::shared_ptr<UIView>& of) const;
    bool isDescendant(const UIView& of) const;
    // This view or the first descendant (depth first) with the tag.
    std::shared_ptr<UIView> viewWithTag(int tag);

    // Called around every change of superview, in this order: willMoveToSuperview, willMoveToWindow (when
    // the window changes, for the view and each descendant), the move, didMoveToWindow, didMoveToSuperview.
    virtual void willMoveToSuperview(const std::shared_ptr<UIView>& newSuperview) { (void)newSuperview; }
    virtual void didMoveToSuperview() {}
    virtual void willMoveToWindow(const std::shared_ptr<UIWindow>& newWindow) { (void)newWindow; }
    virtual void didMoveToWindow() {}
    virtual void didAddSubview(const std::shared_ptr<UIView>& subview) { (void)subview; }
    virtual void willRemoveSubview(const std::shared_ptr<UIView>& subview) { (void)subview; }

    // ---- Margins, safe area, guides ----------------------------------------------------------------
    // The effective margins: those set (8 on every side by default) plus, while
    // `insetsLayoutMarginsFromSafeArea`, the safe-area insets.
    UIEdgeInsets layoutMargins() const;
    void setLayoutMargins(const UIEdgeInsets& margins);
    bool insetsLayoutMarginsFromSafeArea() const { return insetsLayoutMarginsFromSafeArea_; }
    void setInsetsLayoutMarginsFromSafeArea(bool flag);
    virtual void layoutMarginsDidChange() { setNeedsLayout(); }
    // How much of the view the window's unsafe edges cover (zero outside a window). Updated by the
    // layout pass, for the views whose place in the window changed since the last pass (moved, resized,
    // transformed, or under a superview that was, or newly in the window); for every view of the window at
    // once when the window's own insets change; set to zero at once when the view leaves its window.
    UIEdgeInsets safeAreaInsets() const { return safeAreaInsets_; }
    virtual void safeAreaInsetsDidChange() {}
    const std::shared_ptr<UILayoutGuide>& layoutMarginsGuide();
    const std::shared_ptr<UILayoutGuide>& safeAreaLayoutGuide();
    void addLayoutGuide(const std::shared_ptr<UILayoutGuide>& guide);
    void removeLayoutGuide(const std::shared_ptr<UILayoutGuide>& guide);
    std::vector<std::shared_ptr<UILayoutGuide>> layoutGuides() const;

    // ---- Traits ------------------------------------------------------------------------------------
    // The window's traits; outside a window, the main screen's idiom and scale with unspecified size classes.
    UITraitCollection traitCollection() const;
    virtual void traitCollectionDidChange(const std::optional<UITraitCollection>& previous) { (void)previous; }

    // ---- Coordinates and hit testing ---------------------------------------------------------------
    // Between this view's coordinates and `view`'s (nullptr: the window's, or the root's), through every
    // transform and anchor point on the way.
    CGPoint convertTo(CGPoint point, const std::shared_ptr<UIView>& view) const;
    CGPoint convertFrom(CGPoint point, const std::shared_ptr<UIView>& view) const;
    CGRect convertTo(const CGRect& rect, const std::shared_ptr<UIView>& view) const;
    CGRect convertFrom(const CGRect& rect, const std::shared_ptr<UIView>& view) const;
    // Half-open containment in the bounds.
    virtual bool point(CGPoint inside, const UIEvent* event);
    // The front-most descendant (or this view) containing `point` (in this view's coordinates). Hidden
    // views, views with alpha below 0.01, views with user interaction disabled and views being animated
    // without `allowUserInteraction` take no touches, nor do their subviews; a point outside a view is
    // outside its subviews too.
    virtual std::shared_ptr<UIView> hitTestWith(CGPoint point, const UIEvent* event);

    std::shared_ptr<UIResponder> next() const override;

    // ---- Layout ------------------------------------------------------------------------------------
    void setNeedsLayout();
    // Lays out the whole tree this view belongs to, top-down, if anything in it needs layout.
    void layoutIfNeeded();
    bool needsLayout() const;
    virtual void layoutSubviews() {}
    // The layer's request to lay out (the view is its layer's delegate): applies the solved frames of the
    // subviews, then `layoutSubviews()`. Overrides call this first.
    virtual void layoutSublayers(quartzcore::CALayer& layer);

    void setNeedsUpdateConstraints();
    bool needsUpdateConstraints() const { return needsUpdateConstraints_; }
    // Runs `updateConstraints()` on this view's subtree where requested, deepest views first.
    void updateConstraintsIfNeeded();
    virtual void updateConstraints() {}

    // Natural size of the content, `noIntrinsicMetric` for an axis without one.
    virtual CGSize intrinsicContentSize() const { return CGSize{noIntrinsicMetric, noIntrinsicMetric}; }
    void invalidateIntrinsicContentSize();
    UILayoutPriority contentHuggingPriority(Axis axis) const;
    void setContentHuggingPriorityFor(UILayoutPriority priority, Axis axis);
    UILayoutPriority contentCompressionResistancePriority(Axis axis) const;
    void setContentCompressionResistancePriorityFor(UILayoutPriority priority, Axis axis);
    virtual CGSize sizeThatFits(CGSize size) const;
    void sizeToFit();

    // True by default: the frame set by code is kept (the layout engine sees it as fixed). Views laid out
    // by constraints turn it off (the constraint maker does so for the view it constrains).
    bool translatesAutoresizingMaskIntoConstraints() const { return translatesAutoresizingMask_; }
    void setTranslatesAutoresizingMaskIntoConstraints(bool flag);
    // Constraints installed on this view (those whose items' nearest common ancestor is this view).
    std::vector<std::shared_ptr<NSLayoutConstraint>> constraints() const;
    void addConstraint(const std::shared_ptr<NSLayoutConstraint>& constraint) { constraint->setIsActive(true); }
    void removeConstraint(const std::shared_ptr<NSLayoutConstraint>& constraint) { constraint->setIsActive(false); }

    // ---- Drawing -----------------------------------------------------------------------------------
    void setNeedsDisplay();
    // Draws the view's content into the current graphics context (coregraphics::currentContext()), which
    // the display pass makes current only for the duration of the call. Nothing by default.
    virtual void draw(const CGRect& rect) { (void)rect; }
    // Draws the view and everything in it (its layer tree, see quartzcore::CALayer::render) into the current
    // graphics context, the view's bounds mapped onto `in`. With `afterScreenUpdates` the tree is laid out
    // first. False, drawing nothing, without a current context or when the bounds or `in` have no area.
    bool drawHierarchy(const CGRect& in, bool afterScreenUpdates);

    // ---- Animation ---------------------------------------------------------------------------------
    using Animations = std::function<void()>;
    using Completion = std::function<void(bool finished)>;

    // The model values set in `animations` apply at once; alpha, frame / center / bounds, transform and
    // background colour of the views changed are presented from their former values (or, with
    // `beginFromCurrentState`, from what was drawn) to the new ones over `duration` seconds after `delay`,
    // along the curve named in `options` (ease-in-out by default) or a spring of the given damping ratio
    // and initial velocity. `completion` runs once delay + duration have elapsed on the one clock (on the
    // next turn of the main loop when both are 0), with `finished` false when a newer animation of the same
    // property of one of those views replaced this one, or one of those views left its window meanwhile.
    static void animate(double duration, double delay, CGFloat usingSpringWithDamping, CGFloat initialSpringVelocity,
                        AnimationOptions options, const Animations& animations, Completion completion = nullptr);
    static void animate(double duration, double delay, AnimationOptions options, const Animations& animations,
                        Completion completion = nullptr);
    static void animate(double duration, const Animations& animations, Completion completion = nullptr);
    // Runs `actions` with animation switched off, even inside an animation block.
    static void performWithoutAnimation(const Animations& actions);
    static bool isInAnimationBlock();

    PresentationValues presentation() const;
    // Keys ("opacity", "position", "bounds", "transform", "backgroundColor") of the property animations
    // still running on this view.
    std::vector<std::string> animationKeys() const;
    // Stops this view's property animations: the model values stay, their completions report false.
    void removeAllAnimations();

    // ---- Events, gesture recognisers, editing, focus ------------------------------------------------
    // (Defined with the event code, UIViewInteraction.cpp; see UIGestureRecognizer.h and UIFocus.h.)
    // Attaches `recognizer` (taking it from another view); it then receives the touches and presses of
    // this view and its descendants before they do.
    void addGestureRecognizer(const std::shared_ptr<UIGestureRecognizer>& recognizer);
    // Detaches it; a gesture in progress is cancelled.
    void removeGestureRecognizer(const std::shared_ptr<UIGestureRecognizer>& recognizer);
    std::vector<std::shared_ptr<UIGestureRecognizer>> gestureRecognizers() const { return gestureRecognizers_; }
    // Asked (with the recogniser's delegate) before a recogniser attached to this view or one of its
    // ancestors recognises; false makes it fail. True by default.
    virtual bool gestureRecognizerShouldBegin(UIGestureRecognizer& recognizer);
    // False by default: a view receives only the first of several touches on it.
    bool isMultipleTouchEnabled() const { return isMultipleTouchEnabled_; }
    void setIsMultipleTouchEnabled(bool enabled) { isMultipleTouchEnabled_ = enabled; }
    // Makes the first responder resign when it is this view or inside it (`force`: even when it would
    // rather not). True when nothing inside is editing any more.
    bool endEditing(bool force);
    // UIFocusEnvironment: a root view's environment is its view controller, otherwise its superview.
    std::shared_ptr<UIFocusEnvironment> parentFocusEnvironment() const override;
    std::shared_ptr<UIFocusEnvironment> focusEnvironmentPointer() const override;

    // ---- Description -------------------------------------------------------------------------------
    // The class name without namespaces ("UILabel", "ZuSlider").
    std::string className() const;
    // One line for this view: class, frame, then hidden / alpha when not the defaults and
    // `snapshotAttributes()`.
    std::string snapshotLine() const;
    // The tree below this view as text, one line per view indented by depth: a readable snapshot for tests.
    std::string recursiveDescription() const;
    // Extra "key=value" words for the snapshot line (a label adds its text). Empty by default.
    virtual std::string snapshotAttributes() const { return {}; }

    // LayoutItem
    LayoutItem* layoutParent() const override { return superview_; }
    std::shared_ptr<LayoutItem> layoutItemPointer() override;
    std::string layoutItemDescription() const override;
    UIView* asView() override { return this; }

  protected:
    explicit UIView(const CGRect& frame = CGRect(), std::shared_ptr<quartzcore::CALayer> layer = nullptr);

    // A shared pointer to this view (empty during construction), or to it as the subclass `T`.
    std::shared_ptr<UIView> sharedView() const;
    template <class T>
    std::shared_ptr<T> sharedAs() const {
        return std::static_pointer_cast<T>(sharedView());
    }

  private:
    friend class UIWindow;
    friend class UIStackView;
    friend class UIScrollView;
    friend class UILayoutGuide;
    friend class NSLayoutConstraint;
    friend class layout::LayoutEngine;
    friend class detail::ViewLayerDelegate;
    friend struct detail::ViewAnimationState;
    friend class detail::AnimationCapture;
    friend class UIViewController;
    friend struct detail::ViewHooks;

    void moveTo(UIView* newSuperview, std::size_t index);
    // Puts `view`, one of the subviews, at `index` of the subviews (clamped), and its layer in step.
    void moveSubview(UIView& view, std::size_t index);
    void placeLayer(const std::shared_ptr<UIView>& view, std::size_t index);
    void deactivateConstraintsCrossing(UIView& subtreeRoot);
    // Gives this view and every view inside it `window` as theirs (a branch already there is left alone).
    void setWindowOfBranch(UIWindow* window);
    void notifyWillMoveToWindow(const std::shared_ptr<UIWindow>& window);
    void notifyDidMoveToWindow();
    void propagateTintChange(const UIColor& previous);
    void propagateTraitChange();
    void geometryDidChange(bool sizeChanged);
    void updateSafeAreaInsets(const UIEdgeInsets& insets);
    // Safe areas (UIViewSafeArea.cpp): this view's place in its window changed, so its insets and those of
    // every view inside it are computed again by the next pass. True when the mark reached the root of the
    // tree (the first since that root's last pass).
    bool setSafeAreaNeedsUpdate();
    bool subtreeSafeAreaNeedsUpdate() const { return safeAreaNeedsUpdate_ || subviewSafeAreaNeedsUpdate_; }
    // From the view's layer: its geometry changed. Marks the safe areas and asks for a pass.
    void placeInWindowDidChange();
    // From a root view: one top-down walk over the marked branches, carrying the window's safe rectangle
    // down in each view's coordinates.
    void updateSafeAreasIfNeeded();
    void updateSafeAreas(const detail::SafeRegion& outer, bool force);
    // Zero insets for the marked views of this branch, or for every view of it (a branch that left its
    // window).
    void clearSafeAreas(bool wholeSubtree);
    // The untransformed frame: the bounds size placed so that the anchor point sits at the center.
    CGRect alignmentFrame() const;
    void applyLayoutFrame(const CGRect& frame);
    // Scroll views see their content edges from inside; they receive the solved content size.
    // A subview was hidden or shown (stack views re-arrange).
    virtual void subviewDidChangeVisibility(UIView& subview) { (void)subview; }
    virtual void applySolvedContentSize(std::optional<CGFloat> width, std::optional<CGFloat> height) {
        (void)width;
        (void)height;
    }
    void marginsMayHaveChanged(const UIEdgeInsets& previous);
    void applySolvedFrameToSubviews();
    void requestDisplayPass() const;
    void updateConstraintsSubtree();
    void noteSubviewNeedsUpdateConstraints();
    bool subtreeNeedsUpdateConstraints() const { return needsUpdateConstraints_ || subviewNeedsUpdateConstraints_; }
    void recordAnimation(const std::string& key);
    void leftWindow();

    std::shared_ptr<quartzcore::CALayer> layer_;
    std::shared_ptr<detail::ViewLayerDelegate> layerDelegate_;
    UIView* superview_ = nullptr;  // the superview owns this view; it clears the pointer when it lets go
    // The window at the root of this view's tree: the superview's, or for a root the view itself when it is a
    // window (a window's tree owns the views in it, so the pointer never outlives it).
    UIWindow* window_ = nullptr;
    bool isWindow_ = false;  // set by UIWindow
    std::vector<std::shared_ptr<UIView>> subviews_;

    ContentMode contentMode_ = ContentMode::scaleToFill;
    std::optional<UIColor> backgroundColor_;
    std::optional<UIColor> tintColor_;
    int tag_ = 0;
    bool isUserInteractionEnabled_ = true;

    UIEdgeInsets layoutMargins_{8, 8, 8, 8};
    UIEdgeInsets safeAreaInsets_;
    bool insetsLayoutMarginsFromSafeArea_ = true;
    bool safeAreaNeedsUpdate_ = false;         // this view's place in the window changed since the last pass
    bool subviewSafeAreaNeedsUpdate_ = false;  // ... or that of a view inside it
    std::shared_ptr<UILayoutGuide> layoutMarginsGuide_;
    std::shared_ptr<UILayoutGuide> safeAreaLayoutGuide_;
    std::vector<std::shared_ptr<UILayoutGuide>> layoutGuides_;
    std::optional<UITraitCollection> lastTraits_;

    bool translatesAutoresizingMask_ = true;
    bool isScrollContainer_ = false;
    bool needsUpdateConstraints_ = false;
    bool subviewNeedsUpdateConstraints_ = false;  // a view inside this one asked for updateConstraints()
    UILayoutPriority huggingH_ = 250, huggingV_ = 250;
    UILayoutPriority compressionH_ = 750, compressionV_ = 750;
    std::vector<std::shared_ptr<NSLayoutConstraint>> installedConstraints_;

    std::unique_ptr<detail::ViewAnimationState> animation_;

    // Events and view controllers (UIViewInteraction.cpp, UIViewController.cpp).
    std::vector<std::shared_ptr<UIGestureRecognizer>> gestureRecognizers_;
    bool isMultipleTouchEnabled_ = false;
    std::weak_ptr<UIViewController> viewController_;  // the controller whose root view this is
};

}  // namespace uikit
