#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "coregraphics/CGAffineTransform.h"
#include "coregraphics/CGGeometry.h"

namespace coregraphics {

enum class CGPathElementType { moveToPoint, addLineToPoint, addQuadCurveToPoint, addCurveToPoint, closeSubpath };

// One element: move and line carry 1 point, a quadratic curve 2 (control, end), a cubic curve 3
// (control 1, control 2, end), close none.
struct CGPathElement {
    CGPathElementType type = CGPathElementType::moveToPoint;
    std::vector<CGPoint> points;
    friend bool operator==(const CGPathElement&, const CGPathElement&) = default;
};

enum class CGPathFillRule { winding, evenOdd };

// A path as a list of elements. A value type: copies are independent. `CGMutablePath` is the same
// type (the building calls are members), so code can be written with either name.
// Arcs, ellipses and rounded corners are approximated by cubic curves (one per quarter turn) whose
// control points lie inside the bounding box of the exact shape, so `boundingBox()` is exact for them.
class CGPath {
  public:
    CGPath() = default;
    static CGPath rect(const CGRect& rect, const CGAffineTransform& transform = CGAffineTransform::identity());
    static CGPath ellipse(const CGRect& rect, const CGAffineTransform& transform = CGAffineTransform::identity());
    static CGPath roundedRect(const CGRect& rect, CGFloat cornerWidth, CGFloat cornerHeight,
                              const CGAffineTransform& transform = CGAffineTransform::identity());

    // Each call takes an optional transform applied to the points it adds.
    void move(CGPoint to, const CGAffineTransform& transform = CGAffineTransform::identity());
    // A line from the current point; with no current point the line starts a subpath at `to`.
    void addLine(CGPoint to, const CGAffineTransform& transform = CGAffineTransform::identity());
    void addLines(const std::vector<CGPoint>& between,
                  const CGAffineTransform& transform = CGAffineTransform::identity());
    void addQuadCurve(CGPoint to, CGPoint control, const CGAffineTransform& transform = CGAffineTransform::identity());
    void addCurve(CGPoint to, CGPoint control1, CGPoint control2,
                  const CGAffineTransform& transform = CGAffineTransform::identity());
    // A closed subpath: move to the origin, lines around the standardized rectangle, close.
    void addRect(const CGRect& rect, const CGAffineTransform& transform = CGAffineTransform::identity());
    // A closed ellipse inscribed in the rectangle, starting at its max-x middle.
    void addEllipse(const CGRect& rect, const CGAffineTransform& transform = CGAffineTransform::identity());
    // Corner sizes are clamped to half the rectangle's width / height; zero corners give a plain rect.
    void addRoundedRect(const CGRect& rect, CGFloat cornerWidth, CGFloat cornerHeight,
                        const CGAffineTransform& transform = CGAffineTransform::identity());
    // A circular arc; a line joins the current point to the arc's start (or the arc starts a subpath).
    // `clockwise` is in the y-down screen sense used by the toolkit's paths.
    void addArc(CGPoint center, CGFloat radius, CGFloat startAngle, CGFloat endAngle, bool clockwise,
                const CGAffineTransform& transform = CGAffineTransform::identity());
    void addPath(const CGPath& path, const CGAffineTransform& transform = CGAffineTransform::identity());
    void closeSubpath();

    bool isEmpty() const { return elements_.empty(); }
    // The end point of the last element (the subpath's start after a close); (0,0) when empty.
    CGPoint currentPoint() const;
    // Smallest rectangle containing every point and control point; null for an empty path.
    CGRect boundingBox() const;
    // Same as boundingBox (control points never leave the shape for the curves built here).
    CGRect boundingBoxOfPath() const { return boundingBox(); }
    // Winding containment test on the path flattened into line segments.
    bool contains(CGPoint point, CGPathFillRule rule = CGPathFillRule::winding) const;
    CGPath copy(const CGAffineTransform& transform) const;

    const std::vector<CGPathElement>& elements() const { return elements_; }
    // The elements on one line, separated by spaces: "M 0 0 L 10 0 Q ... C ... Z".
    std::string description() const;

    // Same elements.
    friend bool operator==(const CGPath& a, const CGPath& b) { return a.elements_ == b.elements_; }

  private:
    std::vector<CGPathElement> elements_;
    CGPoint subpathStart_;
    bool hasCurrentPoint_ = false;
};

using CGMutablePath = CGPath;

std::ostream& operator<<(std::ostream& os, const CGPath& p);

}  // namespace coregraphics
