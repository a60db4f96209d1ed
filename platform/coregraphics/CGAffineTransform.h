#pragma once

#include <iosfwd>

#include "coregraphics/CGGeometry.h"

namespace coregraphics {

// A 2-D affine transform in the platform's row-vector form:
//   x' = a·x + c·y + tx,  y' = b·x + d·y + ty.
// `t1.concatenating(t2)` applies t1 first, then t2.
struct CGAffineTransform {
    CGFloat a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

    static constexpr CGAffineTransform identity() { return {}; }
    static constexpr CGAffineTransform makeScale(CGFloat sx, CGFloat sy) { return {sx, 0, 0, sy, 0, 0}; }
    static constexpr CGAffineTransform makeTranslation(CGFloat tx, CGFloat ty) { return {1, 0, 0, 1, tx, ty}; }
    // Counter-clockwise in a y-up space (clockwise on screen, where y grows downwards). Multiples of a
    // quarter turn give exact 0 / ±1 entries.
    static CGAffineTransform makeRotation(CGFloat angle);

    bool isIdentity() const { return *this == identity(); }
    // Apply this transform first, then `t2`.
    CGAffineTransform concatenating(const CGAffineTransform& t2) const;
    // Scale / translate / rotate first, then this transform (the platform's scaledBy etc.).
    CGAffineTransform scaledBy(CGFloat sx, CGFloat sy) const;
    CGAffineTransform translatedBy(CGFloat tx, CGFloat ty) const;
    CGAffineTransform rotated(CGFloat angle) const;
    // The inverse; a transform that cannot be inverted (zero determinant) is returned unchanged.
    CGAffineTransform inverted() const;
    bool isInvertible() const;

    friend constexpr bool operator==(const CGAffineTransform&, const CGAffineTransform&) = default;
};

// The platform's function spellings, for code that reads better with them.
inline CGAffineTransform CGAffineTransformMakeScale(CGFloat sx, CGFloat sy) {
    return CGAffineTransform::makeScale(sx, sy);
}
inline CGAffineTransform CGAffineTransformMakeTranslation(CGFloat tx, CGFloat ty) {
    return CGAffineTransform::makeTranslation(tx, ty);
}
inline CGAffineTransform CGAffineTransformMakeRotation(CGFloat angle) {
    return CGAffineTransform::makeRotation(angle);
}
inline constexpr CGAffineTransform CGAffineTransformIdentity{};

std::ostream& operator<<(std::ostream& os, const CGAffineTransform& t);

}  // namespace coregraphics
