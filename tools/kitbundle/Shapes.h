#pragma once

#include "coregraphics/CGContext.h"
#include "coregraphics/CGPath.h"

// Filled outlines of strokes, so every icon is drawn with fills alone and its strokes look the same in every
// back end: the ends of strokes are round, and where two strokes meet their round ends make a round join.
namespace lumora::kitbundle {

using coregraphics::CGColor;
using coregraphics::CGContext;
using coregraphics::CGFloat;
using coregraphics::CGPath;
using coregraphics::CGPoint;
using coregraphics::CGRect;
using coregraphics::CGSize;

// A straight stroke of `width` from `a` to `b` with round ends (a disc when a == b).
CGPath capsule(CGPoint a, CGPoint b, CGFloat width);
// A circular stroke of `width` along the circle of `radius` around `center`, from `startAngle` to `endAngle`
// (radians, 0 along +x, growing towards +y: clockwise on screen when `clockwise`), with round ends.
CGPath arcStroke(CGPoint center, CGFloat radius, CGFloat startAngle, CGFloat endAngle, bool clockwise, CGFloat width);
// A ring: the circle of `radius` stroked with `width` (fill it with the even-odd rule).
CGPath ring(CGPoint center, CGFloat radius, CGFloat width);
// A disc.
CGPath disc(CGPoint center, CGFloat radius);
// A polygon whose corners are rounded with `cornerRadius` (clamped to what each corner allows).
CGPath roundedPolygon(const std::vector<CGPoint>& corners, CGFloat cornerRadius);
// The outline of a rounded rectangle stroked inside its edge with `width` (fill it with the even-odd rule).
CGPath roundedFrame(const CGRect& rect, CGFloat cornerRadius, CGFloat width);

// Fills `path` with `color` (the current path is replaced and consumed).
void fill(CGContext& context, const CGPath& path, const CGColor& color,
          coregraphics::CGPathFillRule rule = coregraphics::CGPathFillRule::winding);

}  // namespace lumora::kitbundle
