#pragma once

#include <optional>
#include <string>
#include <vector>

#include "quartzcore/CALayer.h"

namespace quartzcore {

// Raw values as on the platform.
enum class CAGradientLayerType { axial, radial, conic };
const char* rawValue(CAGradientLayerType type);  // "axial", "radial", "conic"

// A layer filled with a gradient over its bounds. The gradient runs from `startPoint` to `endPoint`
// (unit coordinates of the bounds; top centre to bottom centre by default) through `colors` at
// `locations` (evenly spread when unset); the end colours extend to the edges. A radial gradient is an
// ellipse centred on `startPoint` whose radii reach `endPoint`; a conic one is drawn as an axial one. The
// gradient follows the rounded corners of `cornerRadius`, with or without `masksToBounds`.
class CAGradientLayer : public CALayer {
  public:
    static std::shared_ptr<CAGradientLayer> create();

    const std::vector<CGColor>& colors() const { return colors_; }
    void setColors(std::vector<CGColor> colors);
    const std::optional<std::vector<CGFloat>>& locations() const { return locations_; }
    void setLocations(std::optional<std::vector<CGFloat>> locations);
    CGPoint startPoint() const { return startPoint_; }
    void setStartPoint(CGPoint point);
    CGPoint endPoint() const { return endPoint_; }
    void setEndPoint(CGPoint point);
    CAGradientLayerType type() const { return type_; }
    void setType(CAGradientLayerType type) { type_ = type; }

    // The locations in use: the set ones when there is one per colour, else evenly spread from 0 to 1.
    std::vector<CGFloat> effectiveLocations() const;
    // The colour at unit position t ∈ [0, 1] along the gradient (clamped), interpolated linearly between
    // the neighbouring stops; clear when there are no colours.
    CGColor color(CGFloat at) const;

    // Paints the gradient over the bounds (after anything the delegate draws).
    void draw(CGContext& in) override;

  protected:
    CAGradientLayer() = default;
    bool clipsDrawingToCorners() const override { return true; }

  private:
    std::vector<CGColor> colors_;
    std::optional<std::vector<CGFloat>> locations_;
    CGPoint startPoint_{0.5, 0};
    CGPoint endPoint_{0.5, 1};
    CAGradientLayerType type_ = CAGradientLayerType::axial;
};

// A layer that draws a path: filled (opaque black by default) and stroked (no stroke colour by default).
// Only the part of the path between `strokeStart` and `strokeEnd` (fractions of its length) is stroked.
class CAShapeLayer : public CALayer {
  public:
    static std::shared_ptr<CAShapeLayer> create();

    const std::optional<CGPath>& path() const { return path_; }
    void setPath(std::optional<CGPath> path);
    std::optional<CGColor> fillColor() const { return fillColor_; }
    void setFillColor(std::optional<CGColor> color);
    std::optional<CGColor> strokeColor() const { return strokeColor_; }
    void setStrokeColor(std::optional<CGColor> color);
    CGFloat lineWidth() const { return lineWidth_; }
    void setLineWidth(CGFloat width);
    coregraphics::CGPathFillRule fillRule() const { return fillRule_; }
    void setFillRule(coregraphics::CGPathFillRule rule) { fillRule_ = rule; }
    // The stroked part of the path, as fractions of its length; clamped to [0, 1].
    CGFloat strokeStart() const { return strokeStart_; }
    void setStrokeStart(CGFloat value);
    CGFloat strokeEnd() const { return strokeEnd_; }
    void setStrokeEnd(CGFloat value);

    void draw(CGContext& in) override;

  protected:
    CAShapeLayer() = default;

  private:
    std::optional<CGPath> path_;
    std::optional<CGColor> fillColor_ = CGColor::black();
    std::optional<CGColor> strokeColor_;
    CGFloat lineWidth_ = 1;
    coregraphics::CGPathFillRule fillRule_ = coregraphics::CGPathFillRule::winding;
    CGFloat strokeStart_ = 0;
    CGFloat strokeEnd_ = 1;
};

}  // namespace quartzcore
