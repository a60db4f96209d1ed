#include "Shapes.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace lumora::kitbundle {

namespace {

constexpr CGFloat pi = std::numbers::pi;

CGPoint polar(CGPoint center, CGFloat radius, CGFloat angle) {
    return {center.x + radius * std::cos(angle), center.y + radius * std::sin(angle)};
}

CGFloat distance(CGPoint a, CGPoint b) {
    return std::hypot(b.x - a.x, b.y - a.y);
}

}  // namespace

CGPath capsule(CGPoint a, CGPoint b, CGFloat width) {
    const CGFloat r = width / 2;
    if (distance(a, b) < 1e-9) return disc(a, r);
    const CGFloat angle = std::atan2(b.y - a.y, b.x - a.x);
    CGPath path;
    path.addArc(b, r, angle - pi / 2, angle + pi / 2, true);
    path.addArc(a, r, angle + pi / 2, angle + 3 * pi / 2, true);
    path.closeSubpath();
    return path;
}

CGPath arcStroke(CGPoint center, CGFloat radius, CGFloat startAngle, CGFloat endAngle, bool clockwise, CGFloat width) {
    const CGFloat r = width / 2;
    const CGFloat turn = clockwise ? pi : -pi;
    CGPath path;
    path.addArc(center, radius + r, startAngle, endAngle, clockwise);
    path.addArc(polar(center, radius, endAngle), r, endAngle, endAngle + turn, clockwise);
    path.addArc(center, radius - r, endAngle, startAngle, !clockwise);
    path.addArc(polar(center, radius, startAngle), r, startAngle + turn, startAngle + 2 * turn, clockwise);
    path.closeSubpath();
    return path;
}

CGPath ring(CGPoint center, CGFloat radius, CGFloat width) {
    CGPath path;
    const CGFloat outer = radius + width / 2;
    const CGFloat inner = radius - width / 2;
    path.addEllipse(CGRect(center.x - outer, center.y - outer, 2 * outer, 2 * outer));
    path.addEllipse(CGRect(center.x - inner, center.y - inner, 2 * inner, 2 * inner));
    return path;
}

CGPath disc(CGPoint center, CGFloat radius) {
    return CGPath::ellipse(CGRect(center.x - radius, center.y - radius, 2 * radius, 2 * radius));
}

CGPath roundedPolygon(const std::vector<CGPoint>& corners, CGFloat cornerRadius) {
    CGPath path;
    const std::size_t n = corners.size();
    if (n < 3) return path;
    for (std::size_t i = 0; i < n; ++i) {
        const CGPoint previous = corners[(i + n - 1) % n];
        const CGPoint vertex = corners[i];
        const CGPoint next = corners[(i + 1) % n];
        const CGFloat toPrevious = distance(vertex, previous);
        const CGFloat toNext = distance(vertex, next);
        // The corner's half angle decides how far along each edge the rounding starts.
        const CGFloat ux = (previous.x - vertex.x) / toPrevious, uy = (previous.y - vertex.y) / toPrevious;
        const CGFloat vx = (next.x - vertex.x) / toNext, vy = (next.y - vertex.y) / toNext;
        const CGFloat cosine = std::clamp(ux * vx + uy * vy, -1.0, 1.0);
        const CGFloat half = std::acos(cosine) / 2;
        CGFloat along = cornerRadius / std::tan(half);
        along = std::min({along, toPrevious / 2, toNext / 2});
        const CGPoint start{vertex.x + ux * along, vertex.y + uy * along};
        const CGPoint end{vertex.x + vx * along, vertex.y + vy * along};
        if (i == 0) {
            path.move(start);
        } else {
            path.addLine(start);
        }
        path.addQuadCurve(end, vertex);
    }
    path.closeSubpath();
    return path;
}

CGPath roundedFrame(const CGRect& rect, CGFloat cornerRadius, CGFloat width) {
    CGPath path;
    path.addRoundedRect(rect, cornerRadius, cornerRadius);
    const CGRect inner = rect.insetBy(width, width);
    const CGFloat innerRadius = std::max(0.0, cornerRadius - width);
    path.addRoundedRect(inner, innerRadius, innerRadius);
    return path;
}

void fill(CGContext& context, const CGPath& path, const CGColor& color, coregraphics::CGPathFillRule rule) {
    context.setFillColor(color);
    context.beginPath();
    context.addPath(path);
    context.fillPath(rule);
}

}  // namespace lumora::kitbundle
