#include "coregraphics/CGGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <ostream>

#include "coregraphics/CGAffineTransform.h"

namespace coregraphics {

namespace {
constexpr CGFloat kInfinity = std::numeric_limits<CGFloat>::infinity();
// Large finite extent of the infinite rectangle, as the platform uses.
constexpr CGFloat kHalfMax = std::numeric_limits<CGFloat>::max() / 2;

// Cosine and sine with exact values at multiples of a quarter turn, so that rotations by ±90° and 180°
// map integer geometry to integer geometry.
void cosSin(CGFloat angle, CGFloat& c, CGFloat& s) {
    const CGFloat quarter = angle / (M_PI / 2);
    const CGFloat rounded = std::round(quarter);
    if (std::isfinite(quarter) && std::fabs(quarter - rounded) < 1e-12) {
        const long q = static_cast<long>(std::fmod(rounded, 4.0));
        const long m = ((q % 4) + 4) % 4;
        static constexpr CGFloat cs[4][2] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
        c = cs[m][0];
        s = cs[m][1];
        return;
    }
    c = std::cos(angle);
    s = std::sin(angle);
}
}  // namespace

// --- points and sizes ---

CGPoint CGPoint::applying(const CGAffineTransform& t) const {
    return {t.a * x + t.c * y + t.tx, t.b * x + t.d * y + t.ty};
}

CGSize CGSize::applying(const CGAffineTransform& t) const {
    return {t.a * width + t.c * height, t.b * width + t.d * height};
}

// --- rectangles ---

CGRect CGRect::null() {
    return {kInfinity, kInfinity, 0, 0};
}
CGRect CGRect::infinite() {
    return {-kHalfMax, -kHalfMax, std::numeric_limits<CGFloat>::max(), std::numeric_limits<CGFloat>::max()};
}

bool CGRect::isNull() const {
    return std::isinf(origin.x) || std::isinf(origin.y) || std::isnan(origin.x) || std::isnan(origin.y);
}
bool CGRect::isInfinite() const {
    return *this == infinite();
}
bool CGRect::isEmpty() const {
    return isNull() || size.width == 0 || size.height == 0 || std::isnan(size.width) || std::isnan(size.height);
}

CGRect CGRect::standardized() const {
    if (isNull()) return null();
    CGRect r = *this;
    if (r.size.width < 0) {
        r.origin.x += r.size.width;
        r.size.width = -r.size.width;
    }
    if (r.size.height < 0) {
        r.origin.y += r.size.height;
        r.size.height = -r.size.height;
    }
    return r;
}

CGFloat CGRect::minX() const {
    return isNull() ? kInfinity : standardized().origin.x;
}
CGFloat CGRect::minY() const {
    return isNull() ? kInfinity : standardized().origin.y;
}
CGFloat CGRect::maxX() const {
    if (isNull()) return kInfinity;
    const CGRect r = standardized();
    return r.origin.x + r.size.width;
}
CGFloat CGRect::maxY() const {
    if (isNull()) return kInfinity;
    const CGRect r = standardized();
    return r.origin.y + r.size.height;
}
CGFloat CGRect::midX() const {
    if (isNull()) return kInfinity;
    const CGRect r = standardized();
    return r.origin.x + r.size.width / 2;
}
CGFloat CGRect::midY() const {
    if (isNull()) return kInfinity;
    const CGRect r = standardized();
    return r.origin.y + r.size.height / 2;
}
CGFloat CGRect::width() const {
    return isNull() ? 0 : std::fabs(size.width);
}
CGFloat CGRect::height() const {
    return isNull() ? 0 : std::fabs(size.height);
}

CGRect CGRect::integral() const {
    if (isNull()) return null();
    const CGRect r = standardized();
    const CGFloat x0 = std::floor(r.minX()), y0 = std::floor(r.minY());
    const CGFloat x1 = std::ceil(r.maxX()), y1 = std::ceil(r.maxY());
    return {x0, y0, x1 - x0, y1 - y0};
}

CGRect CGRect::insetBy(CGFloat dx, CGFloat dy) const {
    if (isNull()) return null();
    CGRect r = standardized();
    r.origin.x += dx;
    r.origin.y += dy;
    r.size.width -= 2 * dx;
    r.size.height -= 2 * dy;
    if (r.size.width < 0 || r.size.height < 0 || std::isnan(r.size.width) || std::isnan(r.size.height)) return null();
    return r;
}

CGRect CGRect::offsetBy(CGFloat dx, CGFloat dy) const {
    if (isNull()) return null();
    CGRect r = standardized();
    r.origin.x += dx;
    r.origin.y += dy;
    return r;
}

CGRect CGRect::inset(const UIEdgeInsets& insets) const {
    if (isNull()) return null();
    CGRect r = *this;
    r.origin.x += insets.left;
    r.origin.y += insets.top;
    r.size.width -= insets.left + insets.right;
    r.size.height -= insets.top + insets.bottom;
    return r;
}

CGRect CGRect::intersection(const CGRect& other) const {
    if (isNull() || other.isNull()) return null();
    const CGRect a = standardized(), b = other.standardized();
    const CGFloat x0 = std::max(a.minX(), b.minX()), x1 = std::min(a.maxX(), b.maxX());
    const CGFloat y0 = std::max(a.minY(), b.minY()), y1 = std::min(a.maxY(), b.maxY());
    if (!(x0 <= x1) || !(y0 <= y1)) return null();
    return {x0, y0, x1 - x0, y1 - y0};
}

bool CGRect::intersects(const CGRect& other) const {
    if (isNull() || other.isNull()) return false;
    const CGRect a = standardized(), b = other.standardized();
    return std::max(a.minX(), b.minX()) < std::min(a.maxX(), b.maxX()) &&
           std::max(a.minY(), b.minY()) < std::min(a.maxY(), b.maxY());
}

CGRect CGRect::union_(const CGRect& other) const {
    if (isNull()) return other.standardized();
    if (other.isNull()) return standardized();
    const CGRect a = standardized(), b = other.standardized();
    const CGFloat x0 = std::min(a.minX(), b.minX()), x1 = std::max(a.maxX(), b.maxX());
    const CGFloat y0 = std::min(a.minY(), b.minY()), y1 = std::max(a.maxY(), b.maxY());
    return {x0, y0, x1 - x0, y1 - y0};
}

bool CGRect::contains(const CGPoint& p) const {
    if (isNull()) return false;
    const CGRect r = standardized();
    return p.x >= r.minX() && p.x < r.maxX() && p.y >= r.minY() && p.y < r.maxY();
}

bool CGRect::contains(const CGRect& other) const {
    if (isNull() || other.isNull()) return false;
    const CGRect a = standardized(), b = other.standardized();
    return b.minX() >= a.minX() && b.maxX() <= a.maxX() && b.minY() >= a.minY() && b.maxY() <= a.maxY();
}

CGRectDivision CGRect::divided(CGFloat atDistance, CGRectEdge from) const {
    if (isNull()) return {null(), null()};
    const CGRect r = standardized();
    const bool horizontal = from == CGRectEdge::minXEdge || from == CGRectEdge::maxXEdge;
    const CGFloat extent = horizontal ? r.size.width : r.size.height;
    CGFloat d = std::isnan(atDistance) ? 0 : std::clamp(atDistance, CGFloat(0), extent);
    const CGFloat rest = extent - d;
    switch (from) {
        case CGRectEdge::minXEdge:
            return {{r.origin.x, r.origin.y, d, r.size.height}, {r.origin.x + d, r.origin.y, rest, r.size.height}};
        case CGRectEdge::maxXEdge:
            return {{r.origin.x + rest, r.origin.y, d, r.size.height}, {r.origin.x, r.origin.y, rest, r.size.height}};
        case CGRectEdge::minYEdge:
            return {{r.origin.x, r.origin.y, r.size.width, d}, {r.origin.x, r.origin.y + d, r.size.width, rest}};
        case CGRectEdge::maxYEdge:
            return {{r.origin.x, r.origin.y + rest, r.size.width, d}, {r.origin.x, r.origin.y, r.size.width, rest}};
    }
    return {r, null()};
}

CGRect CGRect::applying(const CGAffineTransform& t) const {
    if (isNull()) return null();
    const CGRect r = standardized();
    if (t.isIdentity()) return r;
    const CGPoint corners[4] = {{r.minX(), r.minY()}, {r.maxX(), r.minY()}, {r.minX(), r.maxY()}, {r.maxX(), r.maxY()}};
    CGFloat x0 = kInfinity, y0 = kInfinity, x1 = -kInfinity, y1 = -kInfinity;
    for (const CGPoint& c : corners) {
        const CGPoint p = c.applying(t);
        x0 = std::min(x0, p.x);
        x1 = std::max(x1, p.x);
        y0 = std::min(y0, p.y);
        y1 = std::max(y1, p.y);
    }
    return {x0, y0, x1 - x0, y1 - y0};
}

// --- affine transforms ---

CGAffineTransform CGAffineTransform::makeRotation(CGFloat angle) {
    CGFloat c = 1, s = 0;
    cosSin(angle, c, s);
    return {c, s, -s, c, 0, 0};
}

CGAffineTransform CGAffineTransform::concatenating(const CGAffineTransform& t2) const {
    const CGAffineTransform& t1 = *this;
    return {t1.a * t2.a + t1.b * t2.c, t1.a * t2.b + t1.b * t2.d,           t1.c * t2.a + t1.d * t2.c,
            t1.c * t2.b + t1.d * t2.d, t1.tx * t2.a + t1.ty * t2.c + t2.tx, t1.tx * t2.b + t1.ty * t2.d + t2.ty};
}

CGAffineTransform CGAffineTransform::scaledBy(CGFloat sx, CGFloat sy) const {
    return makeScale(sx, sy).concatenating(*this);
}
CGAffineTransform CGAffineTransform::translatedBy(CGFloat x, CGFloat y) const {
    return makeTranslation(x, y).concatenating(*this);
}
CGAffineTransform CGAffineTransform::rotated(CGFloat angle) const {
    return makeRotation(angle).concatenating(*this);
}

bool CGAffineTransform::isInvertible() const {
    const CGFloat det = a * d - b * c;
    return det != 0 && std::isfinite(det);
}

CGAffineTransform CGAffineTransform::inverted() const {
    if (!isInvertible()) return *this;
    const CGFloat det = a * d - b * c;
    const CGFloat ia = d / det, ib = -b / det, ic = -c / det, id = a / det;
    return {ia, ib, ic, id, -(tx * ia + ty * ic), -(tx * ib + ty * id)};
}

// --- printing ---

std::ostream& operator<<(std::ostream& os, const CGPoint& p) {
    return os << "(" << p.x << ", " << p.y << ")";
}
std::ostream& operator<<(std::ostream& os, const CGSize& s) {
    return os << "(" << s.width << " x " << s.height << ")";
}
std::ostream& operator<<(std::ostream& os, const CGRect& r) {
    if (r.isNull()) return os << "null";
    return os << "(" << r.origin.x << ", " << r.origin.y << ", " << r.size.width << " x " << r.size.height << ")";
}
std::ostream& operator<<(std::ostream& os, const UIEdgeInsets& i) {
    return os << "{top " << i.top << ", left " << i.left << ", bottom " << i.bottom << ", right " << i.right << "}";
}
std::ostream& operator<<(std::ostream& os, const CGAffineTransform& t) {
    return os << "[" << t.a << " " << t.b << " " << t.c << " " << t.d << " " << t.tx << " " << t.ty << "]";
}

}  // namespace coregraphics
