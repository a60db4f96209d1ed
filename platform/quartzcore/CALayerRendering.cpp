// Rendering a layer tree into a graphics context, as the compositor would show it.
#include <algorithm>
#include <cmath>

#include "quartzcore/CALayer.h"

namespace quartzcore {

namespace {

// The layer's own coordinates to its superlayer's: around the anchor point, through the transform, onto
// the position.
CGAffineTransform placementInSuperlayer(const CALayer& layer) {
    const CGRect b = layer.bounds();
    const CGPoint anchor{b.minX() + layer.anchorPoint().x * b.width(), b.minY() + layer.anchorPoint().y * b.height()};
    return CGAffineTransform::makeTranslation(-anchor.x, -anchor.y)
        .concatenating(layer.transform())
        .concatenating(CGAffineTransform::makeTranslation(layer.position().x, layer.position().y));
}

bool isFinite(const CGAffineTransform& t) {
    return std::isfinite(t.a) && std::isfinite(t.b) && std::isfinite(t.c) && std::isfinite(t.d) &&
           std::isfinite(t.tx) && std::isfinite(t.ty);
}

// The layer's outline: its bounds with the corner radius (clamped to half the shorter side).
CGPath outline(const CGRect& bounds, CGFloat radius) {
    if (!(radius > 0)) return CGPath::rect(bounds);
    return CGPath::roundedRect(bounds, radius, radius);
}

bool visible(const CALayer& layer) {
    return !layer.isHidden() && layer.opacity() > 0 && !std::isnan(layer.opacity());
}

}  // namespace

const char* rawValue(CALayerContentsGravity gravity) {
    switch (gravity) {
        case CALayerContentsGravity::center:
            return "center";
        case CALayerContentsGravity::top:
            return "top";
        case CALayerContentsGravity::bottom:
            return "bottom";
        case CALayerContentsGravity::left:
            return "left";
        case CALayerContentsGravity::right:
            return "right";
        case CALayerContentsGravity::topLeft:
            return "topLeft";
        case CALayerContentsGravity::topRight:
            return "topRight";
        case CALayerContentsGravity::bottomLeft:
            return "bottomLeft";
        case CALayerContentsGravity::bottomRight:
            return "bottomRight";
        case CALayerContentsGravity::resize:
            return "resize";
        case CALayerContentsGravity::resizeAspect:
            return "resizeAspect";
        case CALayerContentsGravity::resizeAspectFill:
            return "resizeAspectFill";
    }
    return "resize";
}

CGRect CALayer::contentsImageRect() const {
    if (!contentsImage_) return CGRect::null();
    const CGRect b = bounds_.standardized();
    const CGFloat scale = std::isfinite(contentsScale_) && contentsScale_ > 0 ? contentsScale_ : 1;
    const CGSize size{static_cast<CGFloat>(contentsImage_->width()) / scale,
                      static_cast<CGFloat>(contentsImage_->height()) / scale};
    using G = CALayerContentsGravity;
    if (contentsGravity_ == G::resize) return b;
    if (contentsGravity_ == G::resizeAspect || contentsGravity_ == G::resizeAspectFill) {
        const CGFloat sx = b.width() / size.width, sy = b.height() / size.height;
        const CGFloat s = contentsGravity_ == G::resizeAspect ? std::min(sx, sy) : std::max(sx, sy);
        const CGSize fitted{size.width * s, size.height * s};
        return {b.midX() - fitted.width / 2, b.midY() - fitted.height / 2, fitted.width, fitted.height};
    }
    CGFloat x = b.midX() - size.width / 2, y = b.midY() - size.height / 2;
    if (contentsGravity_ == G::left || contentsGravity_ == G::topLeft || contentsGravity_ == G::bottomLeft)
        x = b.minX();
    if (contentsGravity_ == G::right || contentsGravity_ == G::topRight || contentsGravity_ == G::bottomRight)
        x = b.maxX() - size.width;
    if (contentsGravity_ == G::top || contentsGravity_ == G::topLeft || contentsGravity_ == G::topRight) y = b.minY();
    if (contentsGravity_ == G::bottom || contentsGravity_ == G::bottomLeft || contentsGravity_ == G::bottomRight)
        y = b.maxY() - size.height;
    return {x, y, size.width, size.height};
}

void CALayer::render(CGContext& in) {
    if (!visible(*this)) return;
    const std::shared_ptr<CALayer> self = shared_from_this();
    in.saveGState();
    renderBody(in);
    in.restoreGState();
}

void CALayer::renderInSuperlayer(CGContext& ctx) {
    if (!visible(*this)) return;
    const CGAffineTransform placement = placementInSuperlayer(*this);
    if (!isFinite(placement)) return;
    ctx.saveGState();
    ctx.concatenate(placement);
    renderBody(ctx);
    ctx.restoreGState();
}

CGRect CALayer::renderedExtent() const {
    CGRect extent = bounds_.standardized();
    if (masksToBounds_) return extent;
    if (const CGRect image = contentsImageRect(); !image.isNull()) extent = extent.union_(image);
    for (const auto& sublayer : sublayers_) {
        if (!visible(*sublayer)) continue;
        const CGAffineTransform placement = placementInSuperlayer(*sublayer);
        if (!isFinite(placement)) continue;
        extent = extent.union_(sublayer->renderedExtent().applying(placement));
    }
    return extent;
}

void CALayer::renderBody(CGContext& ctx) {
    const CGRect b = bounds_.standardized();
    const bool grouped = opacity_ < 1;
    if (grouped) {
        // Composed on its own and then painted at the layer's opacity, as the compositor does, so that
        // overlapping sublayers do not show through each other.
        ctx.setAlpha(ctx.alpha() * opacity_);
        ctx.beginTransparencyLayer(renderedExtent());
    }
    const CGPath shape = outline(b, cornerRadius_);

    if (backgroundColor_ && backgroundColor_->alpha > 0) {
        ctx.setFillColor(*backgroundColor_);
        ctx.addPath(shape);
        ctx.fillPath();
    }

    ctx.saveGState();
    if (masksToBounds_) {
        ctx.addPath(shape);
        ctx.clip();
    }
    if (contentsImage_) ctx.draw(contentsImage_, contentsImageRect());

    // What the layer draws itself, in a state of its own: limited to the bounds (its backing store).
    ctx.saveGState();
    if (clipsDrawingToCorners() && !masksToBounds_) {
        ctx.addPath(shape);
        ctx.clip();
    } else {
        ctx.clip(b);
    }
    {
        const std::shared_ptr<CGContext> current = ctx.weak_from_this().lock();
        coregraphics::GraphicsContextScope scope(current);
        draw(ctx);
    }
    ctx.restoreGState();

    const std::vector<std::shared_ptr<CALayer>> sublayers = sublayers_;  // drawing may change the tree
    for (const auto& sublayer : sublayers) sublayer->renderInSuperlayer(ctx);
    ctx.restoreGState();

    if (borderWidth_ > 0 && borderColor_ && borderColor_->alpha > 0) {
        // The border lies inside the bounds: between the outline and the outline inset by its width.
        const CGFloat inset = std::min(borderWidth_, std::min(b.width(), b.height()) / 2);
        CGPath ring = shape;
        const CGRect inner = b.insetBy(inset, inset);
        if (!inner.isNull() && !inner.isEmpty())
            ring.addPath(outline(inner, std::max<CGFloat>(0, cornerRadius_ - inset)));
        ctx.setFillColor(*borderColor_);
        ctx.addPath(ring);
        ctx.fillPath(coregraphics::CGPathFillRule::evenOdd);
    }
    if (grouped) ctx.endTransparencyLayer();
}

}  // namespace quartzcore
