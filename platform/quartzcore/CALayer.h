#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "coregraphics/CGAffineTransform.h"
#include "coregraphics/CGColor.h"
#include "coregraphics/CGContext.h"
#include "coregraphics/CGGeometry.h"
#include "coregraphics/CGImage.h"
#include "coregraphics/CGPath.h"
#include "quartzcore/CAAnimation.h"

namespace quartzcore {

using coregraphics::CGAffineTransform;
using coregraphics::CGColor;
using coregraphics::CGContext;
using coregraphics::CGFloat;
using coregraphics::CGPath;
using coregraphics::CGPoint;
using coregraphics::CGRect;
using coregraphics::CGSize;

class CALayer;

// Where a layer's contents image sits in its bounds: at its own size (in points, by `contentsScale`)
// pinned to the named side or corner (centred along the free axes), or scaled: `resize` fills the bounds,
// `resizeAspect` fits inside them, `resizeAspectFill` covers them (both centred, keeping the proportions).
enum class CALayerContentsGravity {
    center,
    top,
    bottom,
    left,
    right,
    topLeft,
    topRight,
    bottomLeft,
    bottomRight,
    resize,
    resizeAspect,
    resizeAspectFill
};
// The platform's names: "center", "top", …, "resizeAspectFill".
const char* rawValue(CALayerContentsGravity gravity);

// The object a layer asks to lay out its sublayers, to draw its content and for its actions (a view,
// for the layer backing it). Held weakly. Every requirement is optional.
class CALayerDelegate {
  public:
    virtual ~CALayerDelegate() = default;
    // Called by `layoutSublayers()` of the layer.
    virtual void layoutSublayers(CALayer& layer) { (void)layer; }
    // Draws the layer's content into `ctx` (the context is also current during the call).
    virtual void drawIn(CALayer& layer, CGContext& ctx) {
        (void)layer;
        (void)ctx;
    }
    // The action for a property change: nullopt = "not implemented, keep looking" (the layer's actions
    // table, then its default action); a value = the answer, where nullptr means "no action" (the
    // platform's null marker; a view answers this outside animation blocks).
    virtual std::optional<std::shared_ptr<CAAction>> action(CALayer& layer, const std::string& forKey) {
        (void)layer;
        (void)forKey;
        return std::nullopt;
    }
    // The layer's bounds, position, anchor point or transform changed: where it lies in its superlayer, or
    // its own coordinate space (a view keeps what depends on its place in the window up to date).
    virtual void layerDidChangeGeometry(CALayer& layer) { (void)layer; }
};

// A rectangle of content in a tree of layers. A reference type: `create()`, held by shared_ptr; a layer
// owns its sublayers and points back to its superlayer weakly.
//
// Geometry: `bounds` is the layer's own coordinate space; `position` is where its anchor point (in unit
// coordinates of the bounds, (0.5, 0.5) by default) lies in the superlayer; `transform` applies around
// the anchor point. The transform is 2-D affine (the platform's is 3-D; the kit uses only 2-D ones).
// `frame()` is the bounding box, in the superlayer, of the bounds transformed around the anchor point.
//
// Property changes of animatable keys ("position", "bounds", "transform", "opacity", "backgroundColor",
// ...) run the layer's action for the key (see `action(forKey)`), unless `CATransaction` disables actions.
class CALayer : public std::enable_shared_from_this<CALayer> {
  public:
    static std::shared_ptr<CALayer> create();
    virtual ~CALayer();
    CALayer(const CALayer&) = delete;
    CALayer& operator=(const CALayer&) = delete;

    // Geometry.
    CGRect bounds() const { return bounds_; }
    void setBounds(const CGRect& bounds);
    CGPoint position() const { return position_; }
    void setPosition(CGPoint position);
    CGPoint anchorPoint() const { return anchorPoint_; }
    // Keeps the position: the layer moves around its new anchor.
    void setAnchorPoint(CGPoint anchorPoint);
    CGAffineTransform transform() const { return transform_; }
    void setTransform(const CGAffineTransform& transform);
    CGRect frame() const;
    // Sets the size of the bounds (origin kept) and the position so that `frame()` becomes the given
    // (standardized) rectangle. With a transform that is not axis-aligned (rotation, skew) or cannot be
    // inverted, the bounds size is kept and only the position moves, so that the frame's origin matches.
    void setFrame(const CGRect& frame);

    // Converting between layers of one tree (a null `layer` means the root's coordinates). Layers of
    // different trees are related through their roots' coordinates.
    CGPoint convertTo(CGPoint point, const CALayer* layer) const;
    CGPoint convertFrom(CGPoint point, const CALayer* layer) const;
    CGRect convertTo(const CGRect& rect, const CALayer* layer) const;
    CGRect convertFrom(const CGRect& rect, const CALayer* layer) const;
    // The map from this layer's coordinates to its superlayer's (around the anchor point, through the
    // transform, onto the position): one step of the conversions above.
    CGAffineTransform transformToSuperlayer() const;
    // Half-open containment in the layer's bounds.
    bool contains(CGPoint point) const { return bounds_.contains(point); }

    // The tree.
    std::shared_ptr<CALayer> superlayer() const { return superlayer_.lock(); }
    const std::vector<std::shared_ptr<CALayer>>& sublayers() const { return sublayers_; }
    // Appends `layer` on top; a layer that already has a superlayer (this one included) is moved, so
    // adding a sublayer again brings it to the top. Adding the layer to itself or to one of its own
    // descendants is refused (returns false), since it would make a cycle.
    bool addSublayer(const std::shared_ptr<CALayer>& layer);
    // Inserts at `index`, clamped to [0, count] (counted after `layer` left its old place). A sublayer of this
    // layer moves within the list, at the cost of the distance it moves.
    bool insertSublayerAt(const std::shared_ptr<CALayer>& layer, std::size_t index);
    // Inserts just below / above `sibling`; appends on top when `sibling` is not a sublayer of this layer.
    bool insertSublayerBelow(const std::shared_ptr<CALayer>& layer, const std::shared_ptr<CALayer>& sibling);
    bool insertSublayerAbove(const std::shared_ptr<CALayer>& layer, const std::shared_ptr<CALayer>& sibling);
    // Puts `newLayer` in the place of `oldLayer` (nothing happens when `oldLayer` is not a sublayer).
    bool replaceSublayerWith(const std::shared_ptr<CALayer>& oldLayer, const std::shared_ptr<CALayer>& newLayer);
    void removeFromSuperlayer();
    bool isDescendant(const CALayer& of) const;

    // Appearance.
    std::optional<CGColor> backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(std::optional<CGColor> color);
    CGFloat cornerRadius() const { return cornerRadius_; }
    void setCornerRadius(CGFloat radius);
    bool masksToBounds() const { return masksToBounds_; }
    void setMasksToBounds(bool flag) { masksToBounds_ = flag; }
    CGFloat borderWidth() const { return borderWidth_; }
    void setBorderWidth(CGFloat width);
    // Opaque black by default, as on the platform.
    std::optional<CGColor> borderColor() const { return borderColor_; }
    void setBorderColor(std::optional<CGColor> color);
    CGFloat opacity() const { return opacity_; }
    void setOpacity(CGFloat opacity);
    bool isHidden() const { return isHidden_; }
    void setIsHidden(bool hidden);
    bool isOpaque() const { return isOpaque_; }
    void setIsOpaque(bool flag) { isOpaque_ = flag; }
    std::string name() const { return name_; }
    void setName(std::string name) { name_ = std::move(name); }
    CGFloat contentsScale() const { return contentsScale_; }
    void setContentsScale(CGFloat scale) { contentsScale_ = scale; }
    // An image shown as the layer's content (the platform's `contents` when it holds an image), placed by
    // `contentsGravity` (`resize` by default); drawn above the background and below the sublayers. `contents()`
    // below is what the layer drew itself.
    const std::shared_ptr<const coregraphics::CGImage>& contentsImage() const { return contentsImage_; }
    void setContentsImage(std::shared_ptr<const coregraphics::CGImage> image) { contentsImage_ = std::move(image); }
    CALayerContentsGravity contentsGravity() const { return contentsGravity_; }
    void setContentsGravity(CALayerContentsGravity gravity) { contentsGravity_ = gravity; }
    // Where the contents image lies in the bounds under the gravity; null without an image.
    CGRect contentsImageRect() const;

    // Shadow: colour opaque black, opacity 0, offset (0, −3), radius 3, no path by default.
    std::optional<CGColor> shadowColor() const { return shadowColor_; }
    void setShadowColor(std::optional<CGColor> color);
    CGFloat shadowOpacity() const { return shadowOpacity_; }
    void setShadowOpacity(CGFloat opacity);
    CGSize shadowOffset() const { return shadowOffset_; }
    void setShadowOffset(CGSize offset);
    CGFloat shadowRadius() const { return shadowRadius_; }
    void setShadowRadius(CGFloat radius);
    std::optional<CGPath> shadowPath() const { return shadowPath_; }
    void setShadowPath(std::optional<CGPath> path);

    // Actions. The table maps a key to an action; a key mapped to nullptr is the null marker ("no
    // action", stops the search).
    using Actions = std::map<std::string, std::shared_ptr<CAAction>>;
    const Actions& actions() const { return actions_; }
    void setActions(Actions actions) { actions_ = std::move(actions); }
    // The action for `key`: the delegate's answer when it gives one; else the actions table's entry when
    // the key is in it; else `defaultAction(key)`. nullptr means no action.
    std::shared_ptr<CAAction> action(const std::string& forKey);
    // An implicit animation (a CABasicAnimation of the key, lasting CATransaction::animationDuration())
    // for the animatable keys; nullptr for the others.
    static std::shared_ptr<CAAction> defaultAction(const std::string& forKey);
    static bool isAnimatableKey(const std::string& key);

    // Attached animations (see CAAnimation). Adding under a key replaces the animation of that key.
    void add(const std::shared_ptr<CAAnimation>& animation, const std::string& forKey);
    std::shared_ptr<CAAnimation> animation(const std::string& forKey) const;
    // Keys of the animations still running, in the order they were added.
    std::vector<std::string> animationKeys() const;
    void removeAnimation(const std::string& forKey);
    void removeAllAnimations();

    // Layout.
    std::weak_ptr<CALayerDelegate> delegate() const { return delegate_; }
    void setDelegate(std::weak_ptr<CALayerDelegate> delegate) { delegate_ = std::move(delegate); }
    // Marks the layer, and tells its superlayers that something below them needs layout.
    void setNeedsLayout();
    bool needsLayout() const { return needsLayout_; }
    // This layer or a sublayer at any depth needs layout: what `layoutIfNeeded()` would lay out.
    bool subtreeNeedsLayout() const { return needsLayout_ || sublayerNeedsLayout_; }
    // Lays out this layer when it needs it, then its sublayers (in order, recursively). Branches in which no
    // layer needs layout are not visited.
    void layoutIfNeeded();
    // Asks the delegate to lay out the sublayers. Subclasses may override.
    virtual void layoutSublayers();
    // Changing the bounds size marks the layer as needing layout (and display when
    // `needsDisplayOnBoundsChange`).
    bool needsDisplayOnBoundsChange() const { return needsDisplayOnBoundsChange_; }
    void setNeedsDisplayOnBoundsChange(bool flag) { needsDisplayOnBoundsChange_ = flag; }

    // Display. Marking a layer tells its superlayers that something below them needs display.
    void setNeedsDisplay();
    bool needsDisplay() const { return needsDisplay_; }
    // This layer or a sublayer at any depth needs display.
    bool subtreeNeedsDisplay() const { return needsDisplay_ || sublayerNeedsDisplay_; }
    void displayIfNeeded();
    // Displays this layer and its sublayers (in order, recursively) where they need it, skipping hidden layers
    // with everything inside them (they are displayed once shown again). Branches in which no layer needs
    // display are not visited.
    void displaySubtreeIfNeeded();
    // Draws the content into a new recording context of the bounds size (made current during the pass,
    // with the bounds origin translated away), keeps it as `contents()`, and clears `needsDisplay`.
    virtual void display();
    // Draws into `ctx`: the delegate's drawIn by default. Subclasses may override.
    virtual void draw(CGContext& in);
    // The recording of the last display pass; nullptr before the first.
    std::shared_ptr<coregraphics::CGRecordingContext> contents() const { return contents_; }
    int displayCount() const { return displayCount_; }

    // Rendering. Draws the layer and its sublayers into `in`, whose user space is taken as this layer's own
    // coordinate space (its bounds), as the layers appear now (model values; nothing is laid out):
    // hidden layers and layers of zero opacity are skipped; each layer is placed by its position, anchor
    // point and transform, and composed as a group at its opacity; then, from the bottom up: the background
    // colour (inside the rounded corners of `cornerRadius`), the contents image, what the layer draws itself
    // (`draw(in)`, limited to its bounds, with the context current), the sublayers in order (clipped to the
    // rounded bounds when `masksToBounds`), and the border inside the bounds, on top of all of them.
    void render(CGContext& in);

  protected:
    CALayer();
    // Runs the action for `key` (when actions are enabled). Subclasses call it from their setters.
    void didChange(const std::string& key);
    // True for layers whose own drawing follows the rounded corners even without `masksToBounds` (as a
    // gradient layer's gradient does).
    virtual bool clipsDrawingToCorners() const { return false; }

  private:
    CGPoint toSuperlayer(CGPoint p) const;
    CGPoint fromSuperlayer(CGPoint p) const;
    CGPoint toRoot(CGPoint p) const;
    CGPoint fromRoot(CGPoint p) const;
    // Tells the superlayers, up to the first that already knows, that a sublayer needs layout.
    void noteSublayerNeedsLayout();
    // Puts `sublayer` in this layer's list of those that asked.
    void noteAsking(CALayer& sublayer);
    // Tells the superlayers, up to the first that already knows, that a sublayer needs display.
    void noteSublayerNeedsDisplay();
    void geometryDidChange();
    bool detachForInsertion(const std::shared_ptr<CALayer>& layer);
    void insertChecked(const std::shared_ptr<CALayer>& layer, std::size_t index);
    // Rendering (CALayerRendering.cpp): the layer in its superlayer's space, its body in its own space, and
    // the extent of what it and its sublayers paint, in its own space.
    void renderInSuperlayer(CGContext& ctx);
    void renderBody(CGContext& ctx);
    CGRect renderedExtent() const;

    CGRect bounds_;
    CGPoint position_;
    CGPoint anchorPoint_{0.5, 0.5};
    CGAffineTransform transform_;
    std::weak_ptr<CALayer> superlayer_;
    std::vector<std::shared_ptr<CALayer>> sublayers_;

    std::optional<CGColor> backgroundColor_;
    CGFloat cornerRadius_ = 0;
    bool masksToBounds_ = false;
    CGFloat borderWidth_ = 0;
    std::optional<CGColor> borderColor_ = CGColor::black();
    CGFloat opacity_ = 1;
    bool isHidden_ = false;
    bool isOpaque_ = false;
    std::string name_;
    CGFloat contentsScale_ = 1;
    std::shared_ptr<const coregraphics::CGImage> contentsImage_;
    CALayerContentsGravity contentsGravity_ = CALayerContentsGravity::resize;
    std::optional<CGColor> shadowColor_ = CGColor::black();
    CGFloat shadowOpacity_ = 0;
    CGSize shadowOffset_{0, -3};
    CGFloat shadowRadius_ = 3;
    std::optional<CGPath> shadowPath_;

    Actions actions_;
    std::vector<std::pair<std::string, std::shared_ptr<CAAnimation>>> animations_;

    std::weak_ptr<CALayerDelegate> delegate_;
    bool needsLayout_ = false;
    bool sublayerNeedsLayout_ = false;  // some sublayer, at any depth, needs layout
    // The sublayers that asked since the last layout, so that a pass visits them without looking at the
    // others; `askedSuperlayer_` says this layer is in its superlayer's list.
    std::vector<std::weak_ptr<CALayer>> askingSublayers_;
    bool askedSuperlayer_ = false;
    bool needsDisplay_ = false;
    bool sublayerNeedsDisplay_ = false;  // some sublayer, at any depth, needs display
    bool needsDisplayOnBoundsChange_ = false;
    std::shared_ptr<coregraphics::CGRecordingContext> contents_;
    int displayCount_ = 0;
};

}  // namespace quartzcore
