#include "uikit/UIBezierPath.h"

#include <algorithm>
#include <cmath>

#include "coregraphics/CGContext.h"

namespace uikit {

namespace {
constexpr CGFloat kQuarterArc = 0.55228474983079339840;  // 4/3 · tan(π/8)

CGFloat clampRadius(CGFloat r, CGFloat limit) {
    return std::isfinite(r) ? std::clamp(r, CGFloat(0), limit) : 0;
}
}  // namespace

UIBezierPath UIBezierPath::rect(const CGRect& rect) {
    return UIBezierPath(coregraphics::CGPath::rect(rect));
}

UIBezierPath UIBezierPath::ovalIn(const CGRect& rect) {
    return UIBezierPath(coregraphics::CGPath::ellipse(rect));
}

UIBezierPath UIBezierPath::roundedRect(const CGRect& rect, CGFloat cornerRadius) {
    if (rect.isNull()) return {};
    const CGFloat r = clampRadius(cornerRadius, std::min(rect.width(), rect.height()) / 2);
    return UIBezierPath(coregraphics::CGPath::roundedRect(rect, r, r));
}

UIBezierPath UIBezierPath::roundedRect(const CGRect& rect, UIRectCorner corners, CGSize cornerRadii) {
    if (rect.isNull()) return {};
    const CGRect b = rect.standardized();
    const CGFloat rx = clampRadius(cornerRadii.width, b.width() / 2);
    const CGFloat ry = clampRadius(cornerRadii.height, b.height() / 2);
    auto radius = [&](UIRectCorner c) { return hasCorner(corners, c) ? CGSize{rx, ry} : CGSize{0, 0}; };
    const CGSize tl = radius(UIRectCorner::topLeft), tr = radius(UIRectCorner::topRight);
    const CGSize br = radius(UIRectCorner::bottomRight), bl = radius(UIRectCorner::bottomLeft);
    const CGFloat x0 = b.minX(), x1 = b.maxX(), y0 = b.minY(), y1 = b.maxY();
    const CGFloat k = kQuarterArc;
    UIBezierPath p;
    p.move({x0 + tl.width, y0});
    p.addLine({x1 - tr.width, y0});
    if (tr.width > 0 && tr.height > 0)
        p.addCurve({x1, y0 + tr.height}, {x1 - tr.width + k * tr.width, y0}, {x1, y0 + tr.height - k * tr.height});
    p.addLine({x1, y1 - br.height});
    if (br.width > 0 && br.height > 0)
        p.addCurve({x1 - br.width, y1}, {x1, y1 - br.height + k * br.height}, {x1 - br.width + k * br.width, y1});
    p.addLine({x0 + bl.width, y1});
    if (bl.width > 0 && bl.height > 0)
        p.addCurve({x0, y1 - bl.height}, {x0 + bl.width - k * bl.width, y1}, {x0, y1 - bl.height + k * bl.height});
    p.addLine({x0, y0 + tl.height});
    if (tl.width > 0 && tl.height > 0)
        p.addCurve({x0 + tl.width, y0}, {x0, y0 + tl.height - k * tl.height}, {x0 + tl.width - k * tl.width, y0});
    p.close();
    return p;
}

UIBezierPath UIBezierPath::arcCenter(CGPoint center, CGFloat radius, CGFloat startAngle, CGFloat endAngle,
                                     bool clockwise) {
    UIBezierPath p;
    p.addArc(center, radius, startAngle, endAngle, clockwise);
    return p;
}

bool UIBezierPath::contains(CGPoint point) const {
    return path_.contains(
        point, usesEvenOddFillRule ? coregraphics::CGPathFillRule::evenOdd : coregraphics::CGPathFillRule::winding);
}

void UIBezierPath::fill() const {
    const auto ctx = coregraphics::currentContext();
    if (!ctx) return;
    ctx->beginPath();
    ctx->addPath(path_);
    ctx->fillPath(usesEvenOddFillRule ? coregraphics::CGPathFillRule::evenOdd : coregraphics::CGPathFillRule::winding);
}

void UIBezierPath::stroke() const {
    const auto ctx = coregraphics::currentContext();
    if (!ctx) return;
    // The path's own line style applies to this stroke only.
    ctx->saveGState();
    ctx->setLineWidth(lineWidth);
    ctx->setLineCap(lineCapStyle);
    ctx->setLineJoin(lineJoinStyle);
    ctx->beginPath();
    ctx->addPath(path_);
    ctx->strokePath();
    ctx->restoreGState();
}

}  // namespace uikit
