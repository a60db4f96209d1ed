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

std::string pointText(const CGPoint& p) {
    return "(" + number(p.x) + ", " + number(p.y) + ")";
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

std::string gradientText(const CGGradient& g) {
    std::string s;
    for (const CGGradient::Stop& stop : g.stops()) s += ' ' + number(stop.location) + ':' + colorText(stop.color);
    return s;
}

const char* capText(CGLineCap cap) {
    switch (cap) {
        case CGLineCap::butt:
            return "butt";
        case CGLineCap::round:
            return "round";
        case CGLineCap::square:
            return "square";
    }
    return "?";
}

const char* joinText(CGLineJoin join) {
    switch (join) {
        case CGLineJoin::miter:
            return "miter";
        case CGLineJoin::round:
            return "round";
        case CGLineJoin::bevel:
            return "bevel";
    }
    return "?";
}

bool isFinite(CGPoint p) {
    return std::isfinite(p.x) && std::isfinite(p.y);
}

bool isFinite(const CGRect& r) {
    return !r.isNull() && isFinite(r.origin) && std::isfinite(r.size.width) && std::isfinite(r.size.height);
}

bool isFinite(const CGAffineTransform& t) {
    return std::isfinite(t.a) && std::isfinite(t.b) && std::isfinite(t.c) && std::isfinite(t.d) &&
           std::isfinite(t.tx) && std::isfinite(t.ty);
}

thread_local std::vector<std::shared_ptr<CGContext>> tContextStack;

}  // namespace

std::ostream& operator<<(std::ostream& os, const CGColor& c) {
    return os << "CGColor(" << c.red << ", " << c.green << ", " << c.blue << ", " << c.alpha << ")";
}

std::vector<CGGradient::Stop> CGGradient::stops() const {
    std::vector<Stop> out;
    if (colors.empty()) return out;
    const bool given = locations.size() == colors.size();
    for (std::size_t i = 0; i < colors.size(); ++i) {
        CGFloat at = given
                         ? locations[i]
                         : (colors.size() == 1 ? 0 : static_cast<CGFloat>(i) / static_cast<CGFloat>(colors.size() - 1));
        at = std::isfinite(at) ? std::clamp(at, CGFloat(0), CGFloat(1)) : 0;
        out.push_back({at, colors[i]});
    }
    std::stable_sort(out.begin(), out.end(), [](const Stop& a, const Stop& b) { return a.location < b.location; });
    if (out.size() == 1) out = {{0, out[0].color}, {1, out[0].color}};
    return out;
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
        case K::setLineCap:
            return "setLineCap";
        case K::setLineJoin:
            return "setLineJoin";
        case K::setMiterLimit:
            return "setMiterLimit";
        case K::setLineDash:
            return "setLineDash";
        case K::drawLinearGradient:
            return "drawLinearGradient";
        case K::drawRadialGradient:
            return "drawRadialGradient";
        case K::fillMask:
            return "fillMask";
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
            if (lineCap != CGLineCap::butt) s += std::string(" cap ") + capText(lineCap);
            if (lineJoin != CGLineJoin::miter) s += std::string(" join ") + joinText(lineJoin);
            if (!dashLengths.empty()) {
                s += " dash";
                for (CGFloat l : dashLengths) s += ' ' + number(l);
                if (dashPhase != 0) s += " phase " + number(dashPhase);
            }
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
            if (rect.isNull())
                s += std::string(fillRule == CGPathFillRule::winding ? " winding " : " evenOdd ") + path.description();
            else
                s += ' ' + rectText(rect);
            break;
        case K::beginTransparencyLayer:
            s += ' ' + rectText(rect);
            if (alpha != 1) s += " alpha " + number(alpha);
            break;
        case K::drawText:
            s += " '" + text + "' " + rectText(rect) + ' ' + fontName + ' ' + number(fontSize) + ' ' + colorText(color);
            break;
        case K::drawImage:
            s += " '" + image + "' " + rectText(rect);
            break;
        case K::fillMask:
            s += " '" + image + "' " + rectText(rect) + ' ' + colorText(color);
            break;
        case K::setLineCap:
            s += std::string(" ") + capText(lineCap);
            break;
        case K::setLineJoin:
            s += std::string(" ") + joinText(lineJoin);
            break;
        case K::setMiterLimit:
            s += ' ' + number(miterLimit);
            break;
        case K::setLineDash:
            s += ' ' + number(dashPhase);
            for (CGFloat l : dashLengths) s += ' ' + number(l);
            break;
        case K::drawLinearGradient:
            s += ' ' + pointText(startPoint) + " -> " + pointText(endPoint) + gradientText(gradient);
            break;
        case K::drawRadialGradient:
            s += ' ' + pointText(startPoint) + ' ' + number(startRadius) + " -> " + pointText(endPoint) + ' ' +
                 number(endRadius) + gradientText(gradient);
            break;
        case K::saveGState:
        case K::restoreGState:
        case K::endTransparencyLayer:
            break;
    }
    const bool drawing = kind == K::fillRect || kind == K::fillPath || kind == K::strokePath || kind == K::drawText ||
                         kind == K::drawImage || kind == K::fillMask || kind == K::drawLinearGradient ||
                         kind == K::drawRadialGradient;
    if (drawing && alpha != 1) s += " alpha " + number(alpha);
    if (drawing && transformed) s += " ctm " + transformText(ctm);
    return s;
}

// ---- CGContext ----------------------------------------------------------------------------------------

CGContext::CGContext(CGSize size, const CGAffineTransform& baseTransform) : size_(size) {
    state_.ctm = baseTransform;
}

CGContext::~CGContext() = default;

std::shared_ptr<CGRecordingContext> CGContext::create(CGSize size) {
    return CGRecordingContext::create(size);
}

CGDrawCommand CGContext::make(CGDrawCommand::Kind kind) const {
    CGDrawCommand c;
    c.kind = kind;
    c.alpha = state_.alpha;
    c.ctm = state_.ctm;
    c.lineWidth = state_.lineWidth;
    c.lineCap = state_.lineCap;
    c.lineJoin = state_.lineJoin;
    c.miterLimit = state_.miterLimit;
    c.dashPhase = state_.dashPhase;
    c.dashLengths = state_.dashLengths;
    return c;
}

void CGContext::setFillColor(const CGColor& color) {
    state_.fillColor = color;
    CGDrawCommand c = make(CGDrawCommand::Kind::setFillColor);
    c.color = color;
    perform(std::move(c));
}

void CGContext::setStrokeColor(const CGColor& color) {
    state_.strokeColor = color;
    CGDrawCommand c = make(CGDrawCommand::Kind::setStrokeColor);
    c.color = color;
    perform(std::move(c));
}

void CGContext::setLineWidth(CGFloat width) {
    // A negative or non-finite width would stroke nothing sensible; keep the previous one.
    if (!std::isfinite(width) || width < 0) return;
    state_.lineWidth = width;
    perform(make(CGDrawCommand::Kind::setLineWidth));
}

void CGContext::setLineCap(CGLineCap cap) {
    state_.lineCap = cap;
    perform(make(CGDrawCommand::Kind::setLineCap));
}

void CGContext::setLineJoin(CGLineJoin join) {
    state_.lineJoin = join;
    perform(make(CGDrawCommand::Kind::setLineJoin));
}

void CGContext::setMiterLimit(CGFloat limit) {
    if (!std::isfinite(limit) || limit < 1) return;
    state_.miterLimit = limit;
    perform(make(CGDrawCommand::Kind::setMiterLimit));
}

void CGContext::setLineDash(CGFloat phase, const std::vector<CGFloat>& lengths) {
    if (!std::isfinite(phase)) return;
    bool anyPositive = false;
    for (CGFloat l : lengths) {
        if (!std::isfinite(l) || l < 0) return;
        anyPositive = anyPositive || l > 0;
    }
    if (!lengths.empty() && !anyPositive) return;
    state_.dashPhase = lengths.empty() ? 0 : phase;
    state_.dashLengths = lengths;
    perform(make(CGDrawCommand::Kind::setLineDash));
}

void CGContext::setAlpha(CGFloat alpha) {
    if (std::isnan(alpha)) return;
    state_.alpha = std::clamp(alpha, CGFloat(0), CGFloat(1));
    perform(make(CGDrawCommand::Kind::setAlpha));
}

void CGContext::saveGState() {
    saved_.push_back(state_);
    perform(make(CGDrawCommand::Kind::saveGState));
}

void CGContext::restoreGState() {
    // The saves of open transparency layers are not this call's to undo.
    if (static_cast<int>(saved_.size()) <= layerSaveFloor()) return;
    state_ = saved_.back();
    saved_.pop_back();
    perform(make(CGDrawCommand::Kind::restoreGState));
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
    if (!isFinite(transform)) return;
    // User space maps through `transform` first, then the existing CTM.
    state_.ctm = transform.concatenating(state_.ctm);
    CGDrawCommand c = make(CGDrawCommand::Kind::concatenateCTM);
    c.transform = transform;
    perform(std::move(c));
}

void CGContext::clipDevice(const CGRect& userBox) {
    // Kept in device space so that later transforms do not move it; reported back in user space.
    const CGRect device = userBox.isNull() ? CGRect::null() : userBox.applying(state_.ctm);
    state_.clip = state_.clip ? state_.clip->intersection(device) : device;
}

void CGContext::clip(const CGRect& to) {
    if (!to.isNull() && !isFinite(to)) return;
    clipDevice(to.standardized());
    CGDrawCommand c = make(CGDrawCommand::Kind::clip);
    c.rect = to.standardized();
    c.path = to.isNull() ? CGPath() : CGPath::rect(to);
    perform(std::move(c));
}

void CGContext::clip(CGPathFillRule rule) {
    clipDevice(path_.boundingBox());
    CGDrawCommand c = make(CGDrawCommand::Kind::clip);
    c.rect = CGRect::null();
    c.path = std::move(path_);
    c.fillRule = rule;
    path_ = {};
    perform(std::move(c));
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
    if (isFinite(to)) path_.move(to);
}
void CGContext::addLine(CGPoint to) {
    if (isFinite(to)) path_.addLine(to);
}
void CGContext::addCurve(CGPoint to, CGPoint control1, CGPoint control2) {
    if (isFinite(to) && isFinite(control1) && isFinite(control2)) path_.addCurve(to, control1, control2);
}
void CGContext::addQuadCurve(CGPoint to, CGPoint control) {
    if (isFinite(to) && isFinite(control)) path_.addQuadCurve(to, control);
}
void CGContext::addArc(CGPoint center, CGFloat radius, CGFloat startAngle, CGFloat endAngle, bool clockwise) {
    if (isFinite(center)) path_.addArc(center, radius, startAngle, endAngle, clockwise);
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
    if (!isFinite(rect)) return;
    CGDrawCommand c = make(CGDrawCommand::Kind::clear);
    c.rect = rect;
    perform(std::move(c));
}

void CGContext::fill(const CGRect& rect) {
    if (!isFinite(rect)) return;
    CGDrawCommand c = make(CGDrawCommand::Kind::fillRect);
    c.rect = rect;
    c.color = state_.fillColor;
    perform(std::move(c));
}

void CGContext::fillEllipse(const CGRect& in) {
    CGPath ellipse = CGPath::ellipse(in);
    if (ellipse.isEmpty()) return;
    CGDrawCommand c = make(CGDrawCommand::Kind::fillPath);
    c.path = std::move(ellipse);
    c.color = state_.fillColor;
    perform(std::move(c));
}

void CGContext::fillPath(CGPathFillRule rule) {
    if (!path_.isEmpty()) {
        CGDrawCommand c = make(CGDrawCommand::Kind::fillPath);
        c.path = std::move(path_);
        c.fillRule = rule;
        c.color = state_.fillColor;
        perform(std::move(c));
    }
    path_ = {};
}

void CGContext::strokePath() {
    if (!path_.isEmpty()) {
        CGDrawCommand c = make(CGDrawCommand::Kind::strokePath);
        c.path = std::move(path_);
        c.color = state_.strokeColor;
        perform(std::move(c));
    }
    path_ = {};
}

void CGContext::stroke(const CGRect& rect) {
    if (!isFinite(rect)) return;
    CGDrawCommand c = make(CGDrawCommand::Kind::strokePath);
    c.path = CGPath::rect(rect);
    c.rect = rect;
    c.color = state_.strokeColor;
    perform(std::move(c));
}

void CGContext::strokeEllipse(const CGRect& in) {
    CGPath ellipse = CGPath::ellipse(in);
    if (ellipse.isEmpty()) return;
    CGDrawCommand c = make(CGDrawCommand::Kind::strokePath);
    c.path = std::move(ellipse);
    c.color = state_.strokeColor;
    perform(std::move(c));
}

void CGContext::strokeLineSegments(const std::vector<CGPoint>& between) {
    CGPath segments;
    for (std::size_t i = 0; i + 1 < between.size(); i += 2) {
        if (!isFinite(between[i]) || !isFinite(between[i + 1])) continue;
        segments.move(between[i]);
        segments.addLine(between[i + 1]);
    }
    if (segments.isEmpty()) return;
    CGDrawCommand c = make(CGDrawCommand::Kind::strokePath);
    c.path = std::move(segments);
    c.color = state_.strokeColor;
    perform(std::move(c));
}

void CGContext::drawLinearGradient(const CGGradient& gradient, CGPoint start, CGPoint end, unsigned options) {
    if (gradient.colors.empty() || !isFinite(start) || !isFinite(end)) return;
    CGDrawCommand c = make(CGDrawCommand::Kind::drawLinearGradient);
    c.gradient = gradient;
    c.startPoint = start;
    c.endPoint = end;
    c.gradientOptions = options;
    perform(std::move(c));
}

void CGContext::drawRadialGradient(const CGGradient& gradient, CGPoint startCenter, CGFloat startRadius,
                                   CGPoint endCenter, CGFloat endRadius, unsigned options) {
    if (gradient.colors.empty() || !isFinite(startCenter) || !isFinite(endCenter)) return;
    if (!std::isfinite(startRadius) || !std::isfinite(endRadius) || startRadius < 0 || endRadius < 0) return;
    CGDrawCommand c = make(CGDrawCommand::Kind::drawRadialGradient);
    c.gradient = gradient;
    c.startPoint = startCenter;
    c.startRadius = startRadius;
    c.endPoint = endCenter;
    c.endRadius = endRadius;
    c.gradientOptions = options;
    perform(std::move(c));
}

void CGContext::beginTransparencyLayer() {
    beginTransparencyLayer(CGRect::null());
}

void CGContext::beginTransparencyLayer(const CGRect& in) {
    if (!in.isNull() && !isFinite(in)) return;
    // The layer starts with the current state and ends by restoring it, as a save / restore pair would;
    // inside it, drawing starts again at full alpha.
    CGDrawCommand c = make(CGDrawCommand::Kind::beginTransparencyLayer);
    c.rect = in.isNull() ? in : in.standardized();
    saved_.push_back(state_);
    layerSaves_.push_back(saved_.size());
    ++layerDepth_;
    state_.alpha = 1;
    perform(std::move(c));
}

void CGContext::endTransparencyLayer() {
    if (layerDepth_ == 0) return;
    // Saves left open inside the layer are closed with it.
    saved_.resize(layerSaves_.back());
    layerSaves_.pop_back();
    --layerDepth_;
    state_ = saved_.back();
    saved_.pop_back();
    perform(make(CGDrawCommand::Kind::endTransparencyLayer));
}

void CGContext::drawText(const std::string& text, const CGRect& rect, const CGFont& font, const CGColor& color,
                         CGFloat kern) {
    if (!isFinite(rect)) return;
    CGDrawCommand c = make(CGDrawCommand::Kind::drawText);
    c.text = text;
    c.rect = rect;
    c.font = font;
    c.fontName = font.name;
    c.fontSize = font.pointSize;
    c.kern = std::isfinite(kern) ? kern : 0;
    c.color = color;
    perform(std::move(c));
}

void CGContext::draw(const std::shared_ptr<const CGImage>& image, const CGRect& in) {
    if (!image || !isFinite(in)) return;
    CGDrawCommand c = make(CGDrawCommand::Kind::drawImage);
    c.image = image->description();
    c.cgImage = image;
    c.rect = in;
    perform(std::move(c));
}

void CGContext::fillMask(const std::shared_ptr<const CGImage>& image, const CGRect& in) {
    if (!image || !isFinite(in)) return;
    CGDrawCommand c = make(CGDrawCommand::Kind::fillMask);
    c.image = image->description();
    c.cgImage = image;
    c.rect = in;
    c.color = state_.fillColor;
    perform(std::move(c));
}

// ---- CGRecordingContext ------------------------------------------------------------------------------

std::shared_ptr<CGRecordingContext> CGRecordingContext::create(CGSize size) {
    return std::shared_ptr<CGRecordingContext>(new CGRecordingContext(size));
}

std::vector<CGDrawCommand> CGRecordingContext::commands(CGDrawCommand::Kind kind) const {
    std::vector<CGDrawCommand> out;
    for (const CGDrawCommand& c : commands_)
        if (c.kind == kind) out.push_back(c);
    return out;
}

std::string CGRecordingContext::description() const {
    std::string out;
    for (const CGDrawCommand& c : commands_) {
        out += c.description();
        out += '\n';
    }
    return out;
}

// ---- The current context --------------------------------------------------------------------------------

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
