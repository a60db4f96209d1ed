#include "coregraphics/CGPath.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <ostream>

namespace coregraphics {

namespace {

// The cubic control-point factor for a quarter of a circle: 4/3 · tan(π/8).
constexpr CGFloat kQuarterArc = 0.55228474983079339840;

std::string number(CGFloat v) {
    if (v == 0) v = 0;  // no "-0"
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}

CGPoint cubicAt(CGPoint p0, CGPoint p1, CGPoint p2, CGPoint p3, CGFloat t) {
    const CGFloat u = 1 - t;
    const CGFloat a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
    return {a * p0.x + b * p1.x + c * p2.x + d * p3.x, a * p0.y + b * p1.y + c * p2.y + d * p3.y};
}

CGPoint quadAt(CGPoint p0, CGPoint p1, CGPoint p2, CGFloat t) {
    const CGFloat u = 1 - t;
    return {u * u * p0.x + 2 * u * t * p1.x + t * t * p2.x, u * u * p0.y + 2 * u * t * p1.y + t * t * p2.y};
}

bool usable(const CGRect& r) {
    return !r.isNull() && std::isfinite(r.origin.x) && std::isfinite(r.origin.y) && std::isfinite(r.size.width) &&
           std::isfinite(r.size.height);
}

}  // namespace

CGPath CGPath::rect(const CGRect& r, const CGAffineTransform& t) {
    CGPath p;
    p.addRect(r, t);
    return p;
}

CGPath CGPath::ellipse(const CGRect& r, const CGAffineTransform& t) {
    CGPath p;
    p.addEllipse(r, t);
    return p;
}

CGPath CGPath::roundedRect(const CGRect& r, CGFloat cw, CGFloat ch, const CGAffineTransform& t) {
    CGPath p;
    p.addRoundedRect(r, cw, ch, t);
    return p;
}

void CGPath::move(CGPoint to, const CGAffineTransform& t) {
    const CGPoint p = to.applying(t);
    elements_.push_back({CGPathElementType::moveToPoint, {p}});
    subpathStart_ = p;
    hasCurrentPoint_ = true;
}

void CGPath::addLine(CGPoint to, const CGAffineTransform& t) {
    if (!hasCurrentPoint_) {
        move(to, t);
        return;
    }
    elements_.push_back({CGPathElementType::addLineToPoint, {to.applying(t)}});
}

void CGPath::addLines(const std::vector<CGPoint>& between, const CGAffineTransform& t) {
    for (std::size_t i = 0; i < between.size(); ++i) {
        if (i == 0)
            move(between[i], t);
        else
            addLine(between[i], t);
    }
}

void CGPath::addQuadCurve(CGPoint to, CGPoint control, const CGAffineTransform& t) {
    if (!hasCurrentPoint_) move(control, t);
    elements_.push_back({CGPathElementType::addQuadCurveToPoint, {control.applying(t), to.applying(t)}});
}

void CGPath::addCurve(CGPoint to, CGPoint control1, CGPoint control2, const CGAffineTransform& t) {
    if (!hasCurrentPoint_) move(control1, t);
    elements_.push_back(
        {CGPathElementType::addCurveToPoint, {control1.applying(t), control2.applying(t), to.applying(t)}});
}

void CGPath::closeSubpath() {
    if (!hasCurrentPoint_) return;
    if (!elements_.empty() && elements_.back().type == CGPathElementType::closeSubpath) return;
    elements_.push_back({CGPathElementType::closeSubpath, {}});
}

void CGPath::addRect(const CGRect& rect, const CGAffineTransform& t) {
    if (!usable(rect)) return;
    const CGRect r = rect.standardized();
    move({r.minX(), r.minY()}, t);
    addLine({r.maxX(), r.minY()}, t);
    addLine({r.maxX(), r.maxY()}, t);
    addLine({r.minX(), r.maxY()}, t);
    closeSubpath();
}

void CGPath::addEllipse(const CGRect& rect, const CGAffineTransform& t) {
    if (!usable(rect)) return;
    const CGRect r = rect.standardized();
    const CGFloat cx = r.midX(), cy = r.midY(), rx = r.width() / 2, ry = r.height() / 2;
    const CGFloat kx = kQuarterArc * rx, ky = kQuarterArc * ry;
    move({r.maxX(), cy}, t);
    addCurve({cx, r.maxY()}, {r.maxX(), cy + ky}, {cx + kx, r.maxY()}, t);
    addCurve({r.minX(), cy}, {cx - kx, r.maxY()}, {r.minX(), cy + ky}, t);
    addCurve({cx, r.minY()}, {r.minX(), cy - ky}, {cx - kx, r.minY()}, t);
    addCurve({r.maxX(), cy}, {cx + kx, r.minY()}, {r.maxX(), cy - ky}, t);
    closeSubpath();
}

void CGPath::addRoundedRect(const CGRect& rect, CGFloat cornerWidth, CGFloat cornerHeight, const CGAffineTransform& t) {
    if (!usable(rect)) return;
    const CGRect r = rect.standardized();
    const CGFloat cw = std::isfinite(cornerWidth) ? std::clamp(cornerWidth, CGFloat(0), r.width() / 2) : 0;
    const CGFloat ch = std::isfinite(cornerHeight) ? std::clamp(cornerHeight, CGFloat(0), r.height() / 2) : 0;
    if (cw == 0 || ch == 0) {
        addRect(r, t);
        return;
    }
    const CGFloat kx = kQuarterArc * cw, ky = kQuarterArc * ch;
    const CGFloat x0 = r.minX(), x1 = r.maxX(), y0 = r.minY(), y1 = r.maxY();
    move({x0 + cw, y0}, t);
    addLine({x1 - cw, y0}, t);
    addCurve({x1, y0 + ch}, {x1 - cw + kx, y0}, {x1, y0 + ch - ky}, t);
    addLine({x1, y1 - ch}, t);
    addCurve({x1 - cw, y1}, {x1, y1 - ch + ky}, {x1 - cw + kx, y1}, t);
    addLine({x0 + cw, y1}, t);
    addCurve({x0, y1 - ch}, {x0 + cw - kx, y1}, {x0, y1 - ch + ky}, t);
    addLine({x0, y0 + ch}, t);
    addCurve({x0 + cw, y0}, {x0, y0 + ch - ky}, {x0 + cw - kx, y0}, t);
    closeSubpath();
}

void CGPath::addArc(CGPoint center, CGFloat radius, CGFloat startAngle, CGFloat endAngle, bool clockwise,
                    const CGAffineTransform& t) {
    if (!std::isfinite(radius) || !std::isfinite(startAngle) || !std::isfinite(endAngle) || radius < 0) return;
    const CGFloat twoPi = 2 * M_PI;
    CGFloat sweep = endAngle - startAngle;
    // Clockwise on screen (y down) is the direction of growing angles.
    if (clockwise) {
        if (sweep < 0) sweep = std::fmod(sweep, twoPi) + twoPi;
        if (sweep > twoPi) sweep = twoPi;
    } else {
        if (sweep > 0) sweep = std::fmod(sweep, twoPi) - twoPi;
        if (sweep < -twoPi) sweep = -twoPi;
    }
    const CGPoint start{center.x + radius * std::cos(startAngle), center.y + radius * std::sin(startAngle)};
    if (hasCurrentPoint_)
        addLine(start, t);
    else
        move(start, t);
    const int segments = std::max(1, static_cast<int>(std::ceil(std::fabs(sweep) / (M_PI / 2) - 1e-9)));
    const CGFloat step = sweep / segments;
    const CGFloat k = 4.0 / 3.0 * std::tan(step / 4);
    CGFloat a0 = startAngle;
    for (int i = 0; i < segments; ++i) {
        const CGFloat a1 = a0 + step;
        const CGFloat c0 = std::cos(a0), s0 = std::sin(a0), c1 = std::cos(a1), s1 = std::sin(a1);
        const CGPoint p3{center.x + radius * c1, center.y + radius * s1};
        const CGPoint p1{center.x + radius * (c0 - k * s0), center.y + radius * (s0 + k * c0)};
        const CGPoint p2{p3.x + radius * k * s1, p3.y - radius * k * c1};
        if (sweep != 0) addCurve(p3, p1, p2, t);
        a0 = a1;
    }
}

void CGPath::addPath(const CGPath& path, const CGAffineTransform& t) {
    for (const CGPathElement& e : path.elements_) {
        CGPathElement copy = e;
        for (CGPoint& p : copy.points) p = p.applying(t);
        elements_.push_back(copy);
        if (e.type == CGPathElementType::moveToPoint) {
            subpathStart_ = copy.points.front();
            hasCurrentPoint_ = true;
        }
    }
}

CGPoint CGPath::currentPoint() const {
    if (elements_.empty()) return {};
    const CGPathElement& last = elements_.back();
    if (last.type == CGPathElementType::closeSubpath) return subpathStart_;
    return last.points.back();
}

CGRect CGPath::boundingBox() const {
    CGFloat x0 = std::numeric_limits<CGFloat>::infinity(), y0 = x0, x1 = -x0, y1 = -x0;
    bool any = false;
    for (const CGPathElement& e : elements_) {
        for (const CGPoint& p : e.points) {
            any = true;
            x0 = std::min(x0, p.x);
            x1 = std::max(x1, p.x);
            y0 = std::min(y0, p.y);
            y1 = std::max(y1, p.y);
        }
    }
    if (!any) return CGRect::null();
    return {x0, y0, x1 - x0, y1 - y0};
}

bool CGPath::contains(CGPoint point, CGPathFillRule rule) const {
    // Flatten into closed polygons (every subpath closed implicitly, as filling does).
    std::vector<std::vector<CGPoint>> polygons;
    CGPoint current;
    bool open = false;  // whether polygons.back() can be continued
    auto continuePolygon = [&] {
        if (!open) polygons.push_back({current});
        open = true;
    };
    for (const CGPathElement& e : elements_) {
        switch (e.type) {
            case CGPathElementType::moveToPoint:
                polygons.push_back({e.points[0]});
                current = e.points[0];
                open = true;
                break;
            case CGPathElementType::addLineToPoint:
                continuePolygon();
                polygons.back().push_back(e.points[0]);
                current = e.points[0];
                break;
            case CGPathElementType::addQuadCurveToPoint:
                continuePolygon();
                for (int i = 1; i <= 16; ++i)
                    polygons.back().push_back(quadAt(current, e.points[0], e.points[1], i / 16.0));
                current = e.points[1];
                break;
            case CGPathElementType::addCurveToPoint:
                continuePolygon();
                for (int i = 1; i <= 16; ++i)
                    polygons.back().push_back(cubicAt(current, e.points[0], e.points[1], e.points[2], i / 16.0));
                current = e.points[2];
                break;
            case CGPathElementType::closeSubpath:
                if (!polygons.empty()) current = polygons.back().front();
                open = false;
                break;
        }
    }
    int winding = 0;
    int crossings = 0;
    for (const auto& poly : polygons) {
        const std::size_t n = poly.size();
        if (n < 3) continue;
        for (std::size_t i = 0; i < n; ++i) {
            const CGPoint a = poly[i], b = poly[(i + 1) % n];
            // Half-open in y so a vertex on the ray is counted once.
            if ((a.y <= point.y) != (b.y <= point.y)) {
                const CGFloat x = a.x + (point.y - a.y) * (b.x - a.x) / (b.y - a.y);
                if (x > point.x) {
                    ++crossings;
                    winding += (b.y > a.y) ? 1 : -1;
                }
            }
        }
    }
    return rule == CGPathFillRule::winding ? winding != 0 : (crossings % 2) == 1;
}

CGPath CGPath::copy(const CGAffineTransform& transform) const {
    CGPath p;
    p.addPath(*this, transform);
    return p;
}

std::string CGPath::description() const {
    std::string out;
    for (const CGPathElement& e : elements_) {
        if (!out.empty()) out += ' ';
        switch (e.type) {
            case CGPathElementType::moveToPoint:
                out += 'M';
                break;
            case CGPathElementType::addLineToPoint:
                out += 'L';
                break;
            case CGPathElementType::addQuadCurveToPoint:
                out += 'Q';
                break;
            case CGPathElementType::addCurveToPoint:
                out += 'C';
                break;
            case CGPathElementType::closeSubpath:
                out += 'Z';
                break;
        }
        for (const CGPoint& p : e.points) out += ' ' + number(p.x) + ' ' + number(p.y);
    }
    return out;
}

std::ostream& operator<<(std::ostream& os, const CGPath& p) {
    return os << "CGPath(" << p.description() << ")";
}

}  // namespace coregraphics
