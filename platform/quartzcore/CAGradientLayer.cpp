#include "quartzcore/CAGradientLayer.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace quartzcore {

const char* rawValue(CAGradientLayerType type) {
    switch (type) {
        case CAGradientLayerType::axial:
            return "axial";
        case CAGradientLayerType::radial:
            return "radial";
        case CAGradientLayerType::conic:
            return "conic";
    }
    return "axial";
}

std::shared_ptr<CAGradientLayer> CAGradientLayer::create() {
    return std::shared_ptr<CAGradientLayer>(new CAGradientLayer());
}

void CAGradientLayer::setColors(std::vector<CGColor> colors) {
    if (colors == colors_) return;
    colors_ = std::move(colors);
    didChange("colors");
}

void CAGradientLayer::setLocations(std::optional<std::vector<CGFloat>> locations) {
    if (locations == locations_) return;
    locations_ = std::move(locations);
    didChange("locations");
}

void CAGradientLayer::setStartPoint(CGPoint point) {
    if (point == startPoint_) return;
    startPoint_ = point;
    didChange("startPoint");
}

void CAGradientLayer::setEndPoint(CGPoint point) {
    if (point == endPoint_) return;
    endPoint_ = point;
    didChange("endPoint");
}

std::vector<CGFloat> CAGradientLayer::effectiveLocations() const {
    if (locations_ && locations_->size() == colors_.size()) return *locations_;
    std::vector<CGFloat> even(colors_.size(), 0);
    if (colors_.size() > 1)
        for (std::size_t i = 0; i < even.size(); ++i)
            even[i] = static_cast<CGFloat>(i) / static_cast<CGFloat>(even.size() - 1);
    return even;
}

CGColor CAGradientLayer::color(CGFloat at) const {
    if (colors_.empty()) return CGColor::clear();
    const CGFloat t = std::isnan(at) ? 0 : std::clamp(at, CGFloat(0), CGFloat(1));
    // Stops in location order (the given order breaks ties).
    const std::vector<CGFloat> locations = effectiveLocations();
    std::vector<std::size_t> order(colors_.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return locations[a] < locations[b]; });
    if (t <= locations[order.front()]) return colors_[order.front()];
    if (t >= locations[order.back()]) return colors_[order.back()];
    for (std::size_t k = 1; k < order.size(); ++k) {
        const std::size_t i0 = order[k - 1], i1 = order[k];
        const CGFloat l0 = locations[i0], l1 = locations[i1];
        if (t > l1) continue;
        if (l1 == l0) return colors_[i1];
        const CGFloat f = (t - l0) / (l1 - l0);
        const CGColor &a = colors_[i0], &b = colors_[i1];
        return {a.red + (b.red - a.red) * f, a.green + (b.green - a.green) * f, a.blue + (b.blue - a.blue) * f,
                a.alpha + (b.alpha - a.alpha) * f};
    }
    return colors_[order.back()];
}

void CAGradientLayer::draw(CGContext& in) {
    CALayer::draw(in);
    if (colors_.empty()) return;
    const CGRect b = bounds().standardized();
    const coregraphics::CGGradient gradient{colors_, effectiveLocations()};
    const unsigned extend = coregraphics::CGGradientDrawingOptions::drawsBeforeStartLocation |
                            coregraphics::CGGradientDrawingOptions::drawsAfterEndLocation;
    const CGPoint start{b.minX() + startPoint_.x * b.width(), b.minY() + startPoint_.y * b.height()};
    const CGPoint end{b.minX() + endPoint_.x * b.width(), b.minY() + endPoint_.y * b.height()};
    if (type_ != CAGradientLayerType::radial) {
        if (start == end) {
            // No direction: the last colour everywhere, as beyond the end of any gradient.
            in.setFillColor(gradient.stops().back().color);
            in.fill(b);
            return;
        }
        in.drawLinearGradient(gradient, start, end, extend);
        return;
    }
    const CGFloat rx = std::fabs(end.x - start.x), ry = std::fabs(end.y - start.y);
    in.saveGState();
    in.translateBy(start.x, start.y);
    // An ellipse: a unit circle stretched to the radii (a zero radius takes the other one).
    const CGFloat sx = rx > 0 ? rx : ry, sy = ry > 0 ? ry : rx;
    if (sx > 0 && sy > 0) {
        in.scaleBy(sx, sy);
        in.drawRadialGradient(gradient, {0, 0}, 0, {0, 0}, 1, extend);
    } else {
        in.setFillColor(gradient.stops().back().color);
        in.fill(b.offsetBy(-start.x, -start.y));
    }
    in.restoreGState();
}

namespace {

// Length of a path, its curves measured along 16 chords each.
CGFloat pathLength(const CGPath& path) {
    CGFloat length = 0;
    CGPoint current, start;
    auto add = [&](CGPoint to) {
        length += std::hypot(to.x - current.x, to.y - current.y);
        current = to;
    };
    for (const auto& e : path.elements()) {
        using T = coregraphics::CGPathElementType;
        switch (e.type) {
            case T::moveToPoint:
                current = start = e.points[0];
                break;
            case T::addLineToPoint:
                add(e.points[0]);
                break;
            case T::addQuadCurveToPoint:
            case T::addCurveToPoint: {
                const CGPoint p0 = current;
                const bool quad = e.type == T::addQuadCurveToPoint;
                for (int i = 1; i <= 16; ++i) {
                    const CGFloat t = i / 16.0, u = 1 - t;
                    if (quad) {
                        add({u * u * p0.x + 2 * u * t * e.points[0].x + t * t * e.points[1].x,
                             u * u * p0.y + 2 * u * t * e.points[0].y + t * t * e.points[1].y});
                    } else {
                        const CGFloat a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
                        add({a * p0.x + b * e.points[0].x + c * e.points[1].x + d * e.points[2].x,
                             a * p0.y + b * e.points[0].y + c * e.points[1].y + d * e.points[2].y});
                    }
                }
                break;
            }
            case T::closeSubpath:
                add(start);
                break;
        }
    }
    return length;
}

}  // namespace

std::shared_ptr<CAShapeLayer> CAShapeLayer::create() {
    return std::shared_ptr<CAShapeLayer>(new CAShapeLayer());
}

void CAShapeLayer::setPath(std::optional<CGPath> path) {
    if (path == path_) return;
    path_ = std::move(path);
    didChange("path");
}

void CAShapeLayer::setFillColor(std::optional<CGColor> color) {
    if (color == fillColor_) return;
    fillColor_ = color;
    didChange("fillColor");
}

void CAShapeLayer::setStrokeColor(std::optional<CGColor> color) {
    if (color == strokeColor_) return;
    strokeColor_ = color;
    didChange("strokeColor");
}

void CAShapeLayer::setLineWidth(CGFloat width) {
    if (width == lineWidth_) return;
    lineWidth_ = width;
    didChange("lineWidth");
}

void CAShapeLayer::setStrokeStart(CGFloat value) {
    const CGFloat v = std::isnan(value) ? 0 : std::clamp(value, CGFloat(0), CGFloat(1));
    if (v == strokeStart_) return;
    strokeStart_ = v;
    didChange("strokeStart");
}

void CAShapeLayer::setStrokeEnd(CGFloat value) {
    const CGFloat v = std::isnan(value) ? 1 : std::clamp(value, CGFloat(0), CGFloat(1));
    if (v == strokeEnd_) return;
    strokeEnd_ = v;
    didChange("strokeEnd");
}

void CAShapeLayer::draw(CGContext& in) {
    CALayer::draw(in);
    if (!path_ || path_->isEmpty()) return;
    if (fillColor_) {
        in.setFillColor(*fillColor_);
        in.addPath(*path_);
        in.fillPath(fillRule_);
    }
    if (strokeColor_ && lineWidth_ > 0 && strokeEnd_ > strokeStart_) {
        in.setStrokeColor(*strokeColor_);
        in.setLineWidth(lineWidth_);
        const bool partial = strokeStart_ > 0 || strokeEnd_ < 1;
        const CGFloat length = partial ? pathLength(*path_) : 0;
        if (partial && length > 0) {
            // One dash as long as the stroked part, starting where it starts, then a gap past the end.
            in.saveGState();
            const CGFloat on = (strokeEnd_ - strokeStart_) * length, off = 2 * length;
            in.setLineDash(on + off - strokeStart_ * length, {on, off});
        }
        in.addPath(*path_);
        in.strokePath();
        if (partial && length > 0) in.restoreGState();
    }
}

}  // namespace quartzcore
