#pragma once

#include <iosfwd>

namespace coregraphics {

// Points of the user coordinate space. Double precision everywhere.
using CGFloat = double;

struct CGAffineTransform;

struct CGPoint {
    CGFloat x = 0;
    CGFloat y = 0;

    static constexpr CGPoint zero() { return {}; }
    // The point mapped through `t` (translation included).
    CGPoint applying(const CGAffineTransform& t) const;
    friend constexpr bool operator==(const CGPoint&, const CGPoint&) = default;
};

struct CGSize {
    CGFloat width = 0;
    CGFloat height = 0;

    static constexpr CGSize zero() { return {}; }
    // The size mapped through `t` without its translation (components may turn negative).
    CGSize applying(const CGAffineTransform& t) const;
    friend constexpr bool operator==(const CGSize&, const CGSize&) = default;
};

struct CGVector {
    CGFloat dx = 0;
    CGFloat dy = 0;
    friend constexpr bool operator==(const CGVector&, const CGVector&) = default;
};

// Insets of a rectangle's four edges, in points. It lives here so that `CGRect::inset(by)` needs no UI
// toolkit; the toolkit re-exports it as `uikit::UIEdgeInsets` (uikit/UIEdgeInsets.h).
// Aggregate order is the platform's: {top, left, bottom, right}.
struct UIEdgeInsets {
    CGFloat top = 0;
    CGFloat left = 0;
    CGFloat bottom = 0;
    CGFloat right = 0;

    static constexpr UIEdgeInsets zero() { return {}; }
    // left + right, and top + bottom.
    constexpr CGFloat horizontal() const { return left + right; }
    constexpr CGFloat vertical() const { return top + bottom; }
    friend constexpr bool operator==(const UIEdgeInsets&, const UIEdgeInsets&) = default;
};

enum class CGRectEdge { minXEdge, minYEdge, maxXEdge, maxYEdge };

struct CGRectDivision;

// A rectangle given by an origin and a size; the size may be negative (see `standardized()`).
// Every derived value (min/mid/max, width/height, the set operations) works on the standardized
// rectangle, as on the platform. The null rectangle (`null()`) is the "no rectangle" value: set
// operations treat it as the empty set.
struct CGRect {
    CGPoint origin;
    CGSize size;

    constexpr CGRect() = default;
    constexpr CGRect(CGPoint origin_, CGSize size_) : origin(origin_), size(size_) {}
    constexpr CGRect(CGFloat x, CGFloat y, CGFloat width, CGFloat height) : origin{x, y}, size{width, height} {}

    static constexpr CGRect zero() { return {}; }
    // Origin at +infinity, zero size.
    static CGRect null();
    // A rectangle covering the whole plane.
    static CGRect infinite();

    bool isNull() const;
    bool isInfinite() const;
    // True for the null rectangle and for a zero width or height.
    bool isEmpty() const;

    // Edges of the standardized rectangle. For the null rectangle min/mid/max are +infinity.
    CGFloat minX() const;
    CGFloat midX() const;
    CGFloat maxX() const;
    CGFloat minY() const;
    CGFloat midY() const;
    CGFloat maxY() const;
    // Absolute width and height (0 for the null rectangle).
    CGFloat width() const;
    CGFloat height() const;

    // Same rectangle with a non-negative width and height.
    CGRect standardized() const;
    // The smallest rectangle with integer edges containing this one (null stays null).
    CGRect integral() const;
    // Standardized, then each side moved in by dx / dy (out for negative values). A result with a
    // negative width or height is the null rectangle. The null rectangle stays null.
    CGRect insetBy(CGFloat dx, CGFloat dy) const;
    // Standardized and moved by (dx, dy); the null rectangle stays null.
    CGRect offsetBy(CGFloat dx, CGFloat dy) const;
    // Plain arithmetic as on the platform: origin += (left, top), size -= (left + right, top + bottom).
    // Insets larger than the rectangle leave a negative size (derived values standardize it).
    // The null rectangle stays null.
    CGRect inset(const UIEdgeInsets& insets) const;

    // The common part; null when the rectangles are disjoint or either is null. Rectangles that only
    // touch give the (empty) shared edge.
    CGRect intersection(const CGRect& other) const;
    // True when the rectangles share an area of positive size: with the half-open rule, rectangles that
    // only touch along an edge share no point and do not intersect.
    bool intersects(const CGRect& other) const;
    // The smallest rectangle containing both; the null rectangle is the identity.
    CGRect union_(const CGRect& other) const;
    // Half-open: minX <= x < maxX and minY <= y < maxY. Never true for the null or an empty rectangle.
    bool contains(const CGPoint& point) const;
    // True when `other` lies within this rectangle (edges may coincide). False when either is null.
    bool contains(const CGRect& other) const;
    // Splits off a slice `distance` thick from `edge` (distance clamped to [0, extent]); the remainder
    // is what is left. A null rectangle gives two null rectangles.
    CGRectDivision divided(CGFloat atDistance, CGRectEdge from) const;
    // Bounding box of the four transformed corners; the null rectangle stays null.
    CGRect applying(const CGAffineTransform& t) const;

    // Exact comparison of origin and size (not standardized).
    friend constexpr bool operator==(const CGRect&, const CGRect&) = default;
};

struct CGRectDivision {
    CGRect slice;
    CGRect remainder;
};

// Readable forms for test failure messages: "(1, 2)", "(3 x 4)", "(1, 2, 3 x 4)", "null".
std::ostream& operator<<(std::ostream& os, const CGPoint& p);
std::ostream& operator<<(std::ostream& os, const CGSize& s);
std::ostream& operator<<(std::ostream& os, const CGRect& r);
std::ostream& operator<<(std::ostream& os, const UIEdgeInsets& i);

}  // namespace coregraphics

// Included last so that either header gives both complete types whatever the include order.
#include "coregraphics/CGAffineTransform.h"
