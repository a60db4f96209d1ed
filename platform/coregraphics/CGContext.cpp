#include "coregraphics/CGContext.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <sstream>

namespace coregraphics {

namespace {

std::string number(CGFloat v) {
    if (v == 0) v = 0;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}

std::string rectText(const CGRect& r) {
    if (r.isNull()) return "null";
    return "(" + number(r.origin.x) + ", " + number(r.origin.y) + ", " + number(r.size.width) + " x " +
           number(r.size.height) + ")";
}

// "#rrggbbaa" with each component rounded to 8 bits (clamped for display only).
std::string colorText(const CGColor& c) {
    auto byte = [](CGFloat v) {
        if (!(v > 0)) return 0;
        if (v >= 1) return 255;
        return static_cast<int>(std::lround(v * 255));
    };
    char buf[16];
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x%02x", byte(c.red), byte(c.green), byte(c.blue), byte(c.alpha));
    return buf;
}

std::string transformText(const CGAffineTransform& t) {
    return "[" + number(t.a) + " " + number(t.b) + " " + number(t.c) + " " + number(t.d) + " " + number(t.tx) + " " +
           number(t.ty) + "]";
}

thread_local std::vector<std::shared_ptr<CGContext>> tContextStack;

}  // namespace

std::ostream& operator<<(std::ostream& os, const CGColor& c) {
    return os << "CGColor(" << c.red << ", " << c.green << ", " << c.blue << ", " << c.alpha << ")";
}

const char* toString(CGDrawCommand::Kind kind) {
    using K = CGDrawCommand::Kind;
    switch (kind) {
        case K::clear:
            return "clear";
        case K::fillRect:
            return "fillRect";
        case K::fillPath:
            return "fillPath";
        case K::strokePath:
            return "strokePath";
        case K::setFillColor:
            return "setFillColor";
        case K::setStrokeColor:
            return "setStrokeColor";
        case K::setLineWidth:
            return "setLineWidth";
        case K::setAlpha:
            return "setAlpha";
        case K::saveGState:
            return "saveGState";
        case K::restoreGState:
            return "restoreGState";
        case K::concatenateCTM:
            return "concatenateCTM";
        case K::clip:
            return "clip";
        case K::beginTransparencyLayer:
            return "beginTransparencyLayer";
        case K::endTransparencyLayer:
            return "endTransparencyLayer";
        case K::drawText:
            return "drawText";
        case K::drawImage:
            return "drawImage";
    }
    return "?";
}

std::string CGDrawCommand::description() const {
    using K = Kind;
    std::string s = toString(kind);
    const bool transformed = !ctm.isIdentity();
    switch (kind) {
        case K::clear:
            s += ' ' + rectText(rect);
            break;
        case K::fillRect:
            s += ' ' + rectText(rect) + ' ' + colorText(color);
            break;
        case K::fillPath:
            s += std::string(fillRule == CGPathFillRule::winding ? " winding " : " evenOdd ") + colorText(color) + ' ' +
                 path.description();
            break;
        case K::strokePath:
            s += ' ' + number(lineWidth) + ' ' + colorText(color) + ' ' + path.description();
            break;
        case K::setFillColor:
        case K::setStrokeColor:
            s += ' ' + colorText(color);
            break;
        case K::setLineWidth:
            s += ' ' + number(lineWidth);
            break;
        case K::setAlpha:
            s += ' ' + number(alpha);
            break;
        case K::concatenateCTM:
            s += ' ' + transformText(transform);
            break;
        case K::clip:
        case K::beginTransparencyLayer:
            s += ' ' + rectText(rect);
            break;
        case K::drawText:
            s += " '" + text + "' " + rectText(rect) + ' ' + fontName + ' ' + number(fontSize) + ' ' + colorText(color);
            break;
        case K::drawImage:
            s += " '" + image + "' " + rectText(rect);
            break;
        case K::saveGState:
        case K::restoreGState:
        case K::endTransparencyLayer:
            break;
    }
    const bool drawing = kind == K::fillRect || kind == K::fillPath || kind == K::strokePath || kind == K::drawText ||
                         kind == K::drawImage;
    if (drawing && alpha != 1) s += " alpha " + number(alpha);
    if (drawing && transformed) s += " ctm " + transformText(ctm);
    return s;
}

std::shared_ptr<CGContext> CGContext::create(CGSize size) {
    return std::shared_ptr<CGContext>(new CGContext(size));
}

CGDrawCommand CGContext::make(CGDrawCommand::Kind kind) const {
    CGDrawCommand c;
    c.kind = kind;
    c.alpha = state_.alpha;
    c.ctm = state_.ctm;
    c.lineWidth = state_.lineWidth;
    return c;
}

void CGContext::setFillColor(const CGColor& color) {
    state_.fillColor = color;
    CGDrawCommand c = make(CGDrawCommand::Kind::setFillColor);
    c.color = color;
    record(std::move(c));
}

void CGContext::setStrokeColor(const CGColor& color) {
    state_.strokeColor = color;
    CGDrawCommand c = make(CGDrawCommand::Kind::setStrokeColor);
    c.color = color;
    record(std::move(c));
}

void CGContext::setLineWidth(CGFloat width) {
    // A negative or non-finite width would stroke nothing sensible; keep the previous one.
    if (!std::isfinite(width) || width < 0) return;
    state_.lineWidth = width;
    record(make(CGDrawCommand::Kind::setLineWidth));
}

void CGContext::setAlpha(CGFloat alpha) {
    if (std::isnan(alpha)) return;
    state_.alpha = std::clamp(alpha, CGFloat(0), CGFloat(1));
    record(make(CGDrawCommand::Kind::setAlpha));
}

void CGContext::saveGState() {
    saved_.push_back(state_);
    record(make(CGDrawCommand::Kind::saveGState));
}

void CGContext::restoreGState() {
    if (saved_.empty()) return;
    state_ = saved_.back();
    saved_.pop_back();
    record(make(CGDrawCommand::Kind::restoreGState));
}

void CGContext::translateBy(CGFloat x, CGFloat y) {
    concatenate(CGAffineTransform::makeTranslation(x, y));
}
void CGContext::scaleBy(CGFloat x, CGFloat y) {
    concatenate(CGAffineTransform::makeScale(x, y));
}
void CGContext::rotate(CGFloat angle) {
    concatenate(CGAffineTransform::makeRotation(angle));
}

void CGContext::concatenate(const CGAffineTransform& transform) {
    // User space maps through `transform` first, then the existing CTM.
    state_.ctm = transform.concatenating(state_.ctm);
    CGDrawCommand c = make(CGDrawCommand::Kind::concatenateCTM);
    c.transform = transform;
    record(std::move(c));
}

void CGContext::clip(const CGRect& to) {
    // Kept in device space so that later transforms do not move it; reported back in user space.
    const CGRect device = to.applying(state_.ctm);
    state_.clip = state_.clip ? state_.clip->intersection(device) : device;
    CGDrawCommand c = make(CGDrawCommand::Kind::clip);
    c.rect = to;
    record(std::move(c));
}

std::optional<CGRect> CGContext::clipBoundingBox() const {
    if (!state_.clip) return std::nullopt;
    if (state_.clip->isNull()) return CGRect::null();
    return state_.clip->applying(state_.ctm.inverted());
}

void CGContext::beginPath() {
    path_ = {};
}
void CGContext::addPath(const CGPath& path) {
    path_.addPath(path);
}
void CGContext::move(CGPoint to) {
    path_.move(to);
}
void CGContext::addLine(CGPoint to) {
    path_.addLine(to);
}
void CGContext::addRect(const CGRect& rect) {
    path_.addRect(rect);
}
void CGContext::addEllipse(const CGRect& in) {
    path_.addEllipse(in);
}
void CGContext::closePath() {
    path_.closeSubpath();
}

void CGContext::clear(const CGRect& rect) {
    CGDrawCommand c = make(CGDrawCommand::Kind::clear);
    c.rect = rect;
    record(std::move(c));
}

void CGContext::fill(const CGRect& rect) {
    CGDrawCommand c = make(CGDrawCommand::Kind::fillRect);
    c.rect = rect;
    c.color = state_.fillColor;
    record(std::move(c));
}

void CGContext::fillEllipse(const CGRect& in) {
    CGDrawCommand c = make(CGDrawCommand::Kind::fillPath);
    c.path = CGPath::ellipse(in);
    c.color = state_.fillColor;
    record(std::move(c));
}

void CGContext::fillPath(CGPathFillRule rule) {
    if (!path_.isEmpty()) {
        CGDrawCommand c = make(CGDrawCommand::Kind::fillPath);
        c.path = path_;
        c.fillRule = rule;
        c.color = state_.fillColor;
        record(std::move(c));
    }
    path_ = {};
}

void CGContext::strokePath() {
    if (!path_.isEmpty()) {
        CGDrawCommand c = make(CGDrawCommand::Kind::strokePath);
        c.path = path_;
        c.color = state_.strokeColor;
        record(std::move(c));
    }
    path_ = {};
}

void CGContext::stroke(const CGRect& rect) {
    CGDrawCommand c = make(CGDrawCommand::Kind::strokePath);
    c.path = CGPath::rect(rect);
    c.rect = rect;
    c.color = state_.strokeColor;
    record(std::move(c));
}

void CGContext::strokeLineSegments(const std::vector<CGPoint>& between) {
    CGPath segments;
    for (std::size_t i = 0; i + 1 < between.size(); i += 2) {
        segments.move(between[i]);
        segments.addLine(between[i + 1]);
    }
    if (segments.isEmpty()) return;
    CGDrawCommand c = make(CGDrawCommand::Kind::strokePath);
    c.path = std::move(segments);
    c.color = state_.strokeColor;
    record(std::move(c));
}

void CGContext::beginTransparencyLayer() {
    beginTransparencyLayer(CGRect::null());
}

void CGContext::beginTransparencyLayer(const CGRect& in) {
    // The layer starts with the current state and ends by restoring it, as a save / restore pair would.
    saved_.push_back(state_);
    ++layerDepth_;
    CGDrawCommand c = make(CGDrawCommand::Kind::beginTransparencyLayer);
    c.rect = in;
    record(std::move(c));
    state_.alpha = 1;
}

void CGContext::endTransparencyLayer() {
    if (layerDepth_ == 0 || saved_.empty()) return;
    --layerDepth_;
    state_ = saved_.back();
    saved_.pop_back();
    record(make(CGDrawCommand::Kind::endTransparencyLayer));
}

void CGContext::drawText(const std::string& text, const CGRect& rect, const std::string& fontName, CGFloat fontSize,
                         const CGColor& color) {
    CGDrawCommand c = make(CGDrawCommand::Kind::drawText);
    c.text = text;
    c.rect = rect;
    c.fontName = fontName;
    c.fontSize = fontSize;
    c.color = color;
    record(std::move(c));
}

void CGContext::drawImage(const std::string& image, const CGRect& in) {
    CGDrawCommand c = make(CGDrawCommand::Kind::drawImage);
    c.image = image;
    c.rect = in;
    record(std::move(c));
}

std::vector<CGDrawCommand> CGContext::commands(CGDrawCommand::Kind kind) const {
    std::vector<CGDrawCommand> out;
    for (const CGDrawCommand& c : commands_)
        if (c.kind == kind) out.push_back(c);
    return out;
}

std::string CGContext::description() const {
    std::string out;
    for (const CGDrawCommand& c : commands_) {
        out += c.description();
        out += '\n';
    }
    return out;
}

std::shared_ptr<CGContext> currentContext() {
    return tContextStack.empty() ? nullptr : tContextStack.back();
}

void pushCurrentContext(std::shared_ptr<CGContext> context) {
    tContextStack.push_back(std::move(context));
}

void popCurrentContext() {
    if (!tContextStack.empty()) tContextStack.pop_back();
}

GraphicsContextScope::GraphicsContextScope(std::shared_ptr<CGContext> context) {
    pushCurrentContext(std::move(context));
}
GraphicsContextScope::~GraphicsContextScope() {
    popCurrentContext();
}

}  // namespace coregraphics
