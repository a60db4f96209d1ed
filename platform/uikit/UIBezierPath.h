#pragma once

#include "coregraphics/CGContext.h"
#include "coregraphics/CGPath.h"
#include "uikit/UIGeometry.h"

namespace uikit {

enum class UIRectCorner : unsigned {
    topLeft = 1u << 0,
    topRight = 1u << 1,
    bottomLeft = 1u << 2,
    bottomRight = 1u << 3,
    allCorners = 0xFu,
};
constexpr UIRectCorner operator|(UIRectCorner a, UIRectCorner b) {
    return static_cast<UIRectCorner>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
constexpr bool hasCorner(UIRectCorner set, UIRectCorner corner) {
    return (static_cast<unsigned>(set) & static_cast<unsigned>(corner)) == static_cast<unsigned>(corner);
}

// A path with its drawing attributes, built in the toolkit's y-down coordinates. A value here: copies
// are independent (the platform's is an object, but paths are built, appended and drawn in place).
class UIBezierPath {
  public:
    UIBezierPath() = default;
    explicit UIBezierPath(coregraphics::CGPath path) : path_(std::move(path)) {}

    static UIBezierPath rect(const CGRect& rect);
    static UIBezierPath ovalIn(const CGRect& rect);
    // Corner radius clamped to half the shorter side.
    static UIBezierPath roundedRect(const CGRect& rect, CGFloat cornerRadius);
    // Only the named corners rounded, with the radii clamped to half the width / height.
    static UIBezierPath roundedRect(const CGRect& rect, UIRectCorner byRoundingCorners, CGSize cornerRadii);
    static UIBezierPath arcCenter(CGPoint center, CGFloat radius, CGFloat startAngle, CGFloat endAngle, bool clockwise);

    void move(CGPoint to) { path_.move(to); }
    void addLine(CGPoint to) { path_.addLine(to); }
    void addCurve(CGPoint to, CGPoint controlPoint1, CGPoint controlPoint2) {
        path_.addCurve(to, controlPoint1, controlPoint2);
    }
    void addQuadCurve(CGPoint to, CGPoint controlPoint) { path_.addQuadCurve(to, controlPoint); }
    void addArc(CGPoint withCenter, CGFloat radius, CGFloat startAngle, CGFloat endAngle, bool clockwise) {
        path_.addArc(withCenter, radius, startAngle, endAngle, clockwise);
    }
    void close() { path_.closeSubpath(); }
    void append(const UIBezierPath& other) { path_.addPath(other.path_); }
    void removeAllPoints() { path_ = {}; }
    void apply(const CGAffineTransform& transform) { path_ = path_.copy(transform); }

    bool isEmpty() const { return path_.isEmpty(); }
    CGRect bounds() const { return path_.boundingBox(); }
    CGPoint currentPoint() const { return path_.currentPoint(); }
    bool contains(CGPoint point) const;
    const coregraphics::CGPath& cgPath() const { return path_; }

    CGFloat lineWidth = 1;
    coregraphics::CGLineCap lineCapStyle = coregraphics::CGLineCap::butt;
    coregraphics::CGLineJoin lineJoinStyle = coregraphics::CGLineJoin::miter;
    bool usesEvenOddFillRule = false;

    // Fill / stroke into the current graphics context with its colours; nothing outside a draw pass.
    // The context's current path is replaced by this path and consumed. The path's line width, cap and join
    // apply to its own stroke only.
    void fill() const;
    void stroke() const;

    friend bool operator==(const UIBezierPath&, const UIBezierPath&) = default;

  private:
    coregraphics::CGPath path_;
};

}  // namespace uikit
