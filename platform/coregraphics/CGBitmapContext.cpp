// The raster back end of the drawing interface, on cairo. Every command arrives with the state in force
// (colour, alpha, line style, transform), so cairo's own state is used only for what must nest: the clip,
// saved with cairo_save / cairo_restore, and transparency layers, which are cairo groups.
#include "coregraphics/CGBitmapContext.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "coregraphics/FontEngine.h"
#include "coregraphics/detail/TextRenderer.h"
#include "imageio/ImageDecoder.h"

namespace coregraphics {

namespace {

double unit(CGFloat v) {
    return std::isfinite(v) ? std::clamp(v, CGFloat(0), CGFloat(1)) : 0;
}

bool invertible(const CGAffineTransform& t) {
    const double det = t.a * t.d - t.b * t.c;
    return std::isfinite(det) && std::fabs(det) > 1e-12;
}

cairo_matrix_t toCairo(const CGAffineTransform& t) {
    cairo_matrix_t m;
    cairo_matrix_init(&m, t.a, t.b, t.c, t.d, t.tx, t.ty);
    return m;
}

void appendPath(cairo_t* cr, const CGPath& path) {
    cairo_new_path(cr);
    CGPoint current;
    for (const CGPathElement& e : path.elements()) {
        switch (e.type) {
            case CGPathElementType::moveToPoint:
                cairo_move_to(cr, e.points[0].x, e.points[0].y);
                current = e.points[0];
                break;
            case CGPathElementType::addLineToPoint:
                cairo_line_to(cr, e.points[0].x, e.points[0].y);
                current = e.points[0];
                break;
            case CGPathElementType::addQuadCurveToPoint: {
                // The cubic with the same curve: control points two thirds of the way to the quadratic's.
                const CGPoint q = e.points[0], end = e.points[1];
                cairo_curve_to(cr, current.x + 2.0 / 3 * (q.x - current.x), current.y + 2.0 / 3 * (q.y - current.y),
                               end.x + 2.0 / 3 * (q.x - end.x), end.y + 2.0 / 3 * (q.y - end.y), end.x, end.y);
                current = end;
                break;
            }
            case CGPathElementType::addCurveToPoint:
                cairo_curve_to(cr, e.points[0].x, e.points[0].y, e.points[1].x, e.points[1].y, e.points[2].x,
                               e.points[2].y);
                current = e.points[2];
                break;
            case CGPathElementType::closeSubpath: {
                cairo_close_path(cr);
                double x = 0, y = 0;
                if (cairo_has_current_point(cr)) cairo_get_current_point(cr, &x, &y);
                current = {x, y};
                break;
            }
        }
    }
}

cairo_fill_rule_t toCairo(CGPathFillRule rule) {
    return rule == CGPathFillRule::evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING;
}

cairo_line_cap_t toCairo(CGLineCap cap) {
    switch (cap) {
        case CGLineCap::butt:
            return CAIRO_LINE_CAP_BUTT;
        case CGLineCap::round:
            return CAIRO_LINE_CAP_ROUND;
        case CGLineCap::square:
            return CAIRO_LINE_CAP_SQUARE;
    }
    return CAIRO_LINE_CAP_BUTT;
}

cairo_line_join_t toCairo(CGLineJoin join) {
    switch (join) {
        case CGLineJoin::miter:
            return CAIRO_LINE_JOIN_MITER;
        case CGLineJoin::round:
            return CAIRO_LINE_JOIN_ROUND;
        case CGLineJoin::bevel:
            return CAIRO_LINE_JOIN_BEVEL;
    }
    return CAIRO_LINE_JOIN_MITER;
}

void setSource(cairo_t* cr, const CGColor& color, CGFloat alpha) {
    cairo_set_source_rgba(cr, unit(color.red), unit(color.green), unit(color.blue), unit(color.alpha) * unit(alpha));
}

struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct PatternDeleter {
    void operator()(cairo_pattern_t* p) const { cairo_pattern_destroy(p); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using Pattern = std::unique_ptr<cairo_pattern_t, PatternDeleter>;

// A pattern showing `image` stretched over `rect` (user space), or nothing for images cairo cannot hold.
Pattern imagePattern(const CGImage& image, const CGRect& rect) {
    if (image.width() > CGBitmapContext::kMaxSide || image.height() > CGBitmapContext::kMaxSide) return nullptr;
    const int w = static_cast<int>(image.width()), h = static_cast<int>(image.height());
    // The image's pixels are shared, not copied: cairo only reads them.
    Surface surface(cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(const_cast<std::uint32_t*>(image.premultipliedPixels())), CAIRO_FORMAT_ARGB32,
        w, h, w * 4));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    Pattern pattern(cairo_pattern_create_for_surface(surface.get()));
    cairo_matrix_t m;
    cairo_matrix_init_scale(&m, w / rect.width(), h / rect.height());
    cairo_matrix_translate(&m, -rect.minX(), -rect.minY());
    cairo_pattern_set_matrix(pattern.get(), &m);
    // Edge pixels extend outwards, so a scaled image keeps crisp edges instead of fading into the clip.
    cairo_pattern_set_extend(pattern.get(), CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(pattern.get(), CAIRO_FILTER_GOOD);
    return pattern;
}

}  // namespace

struct CGBitmapContext::Cairo {
    struct Group {
        CGFloat alpha = 1;
        int saves = 0;  // saves made inside the group and not yet restored
    };

    Surface surface;
    cairo_t* cr = nullptr;
    std::vector<Group> groups;

    ~Cairo() {
        if (cr) cairo_destroy(cr);
    }

    // Sets the transform for one drawing; false when it collapses everything (nothing would show).
    bool use(const CGAffineTransform& ctm) {
        if (!invertible(ctm)) return false;
        const cairo_matrix_t m = toCairo(ctm);
        cairo_set_matrix(cr, &m);
        return true;
    }

    void clipEverything() {
        cairo_identity_matrix(cr);
        cairo_new_path(cr);
        cairo_rectangle(cr, 0, 0, 0, 0);
        cairo_clip(cr);
    }

    // Paints the current source, limited to the region between the gradient's ends that its options allow.
    void paintGradient(const CGDrawCommand& c, Pattern pattern);
};

std::shared_ptr<CGBitmapContext> CGBitmapContext::create(CGSize size, CGFloat scale, bool opaque) {
    if (!std::isfinite(scale) || scale <= 0 || !std::isfinite(size.width) || !std::isfinite(size.height))
        return nullptr;
    if (size.width <= 0 || size.height <= 0) return nullptr;
    const double w = std::ceil(size.width * scale - 1e-9), h = std::ceil(size.height * scale - 1e-9);
    if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide || w * h > static_cast<double>(imageio::kMaxPixels))
        return nullptr;
    auto cairo = std::make_unique<Cairo>();
    cairo->surface.reset(cairo_image_surface_create(opaque ? CAIRO_FORMAT_RGB24 : CAIRO_FORMAT_ARGB32,
                                                    static_cast<int>(w), static_cast<int>(h)));
    if (cairo_surface_status(cairo->surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    cairo->cr = cairo_create(cairo->surface.get());
    if (cairo_status(cairo->cr) != CAIRO_STATUS_SUCCESS) return nullptr;
    return std::shared_ptr<CGBitmapContext>(new CGBitmapContext(size, scale, opaque, static_cast<std::uint32_t>(w),
                                                                static_cast<std::uint32_t>(h), std::move(cairo)));
}

CGBitmapContext::CGBitmapContext(CGSize size, CGFloat scale, bool opaque, std::uint32_t width, std::uint32_t height,
                                 std::unique_ptr<Cairo> cairo)
    : CGContext(size, CGAffineTransform::makeScale(scale, scale)),
      scale_(scale),
      opaque_(opaque),
      pixelWidth_(width),
      pixelHeight_(height),
      cairo_(std::move(cairo)) {}

CGBitmapContext::~CGBitmapContext() = default;

imageio::Bitmap CGBitmapContext::bitmap() const {
    cairo_surface_t* surface = cairo_->surface.get();
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const std::size_t w = pixelWidth_, h = pixelHeight_;
    auto out = std::make_shared_for_overwrite<std::uint8_t[]>(w * h * 4);
    std::uint8_t* dst = out.get();
    for (std::size_t y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(data + y * static_cast<std::size_t>(stride));
        for (std::size_t x = 0; x < w; ++x, dst += 4) {
            const std::uint32_t p = row[x];
            const std::uint32_t a = opaque_ ? 255 : p >> 24;
            const std::uint32_t r = (p >> 16) & 0xff, g = (p >> 8) & 0xff, b = p & 0xff;
            if (a == 255) {
                dst[0] = static_cast<std::uint8_t>(r);
                dst[1] = static_cast<std::uint8_t>(g);
                dst[2] = static_cast<std::uint8_t>(b);
            } else if (a == 0) {
                dst[0] = dst[1] = dst[2] = 0;
            } else {
                dst[0] = static_cast<std::uint8_t>(std::min<std::uint32_t>(255, (r * 255 + a / 2) / a));
                dst[1] = static_cast<std::uint8_t>(std::min<std::uint32_t>(255, (g * 255 + a / 2) / a));
                dst[2] = static_cast<std::uint8_t>(std::min<std::uint32_t>(255, (b * 255 + a / 2) / a));
            }
            dst[3] = static_cast<std::uint8_t>(a);
        }
    }
    return imageio::Bitmap::adopt(pixelWidth_, pixelHeight_, std::move(out));
}

std::shared_ptr<CGImage> CGBitmapContext::makeImage() const {
    return CGImage::create(bitmap());
}

void CGBitmapContext::Cairo::paintGradient(const CGDrawCommand& c, Pattern pattern) {
    for (const CGGradient::Stop& stop : c.gradient.stops()) {
        cairo_pattern_add_color_stop_rgba(pattern.get(), stop.location, unit(stop.color.red), unit(stop.color.green),
                                          unit(stop.color.blue), unit(stop.color.alpha) * unit(c.alpha));
    }
    const bool before = c.gradientOptions & CGGradientDrawingOptions::drawsBeforeStartLocation;
    const bool after = c.gradientOptions & CGGradientDrawingOptions::drawsAfterEndLocation;
    cairo_pattern_set_extend(pattern.get(), before || after ? CAIRO_EXTEND_PAD : CAIRO_EXTEND_NONE);
    cairo_save(cr);
    if (before != after) {
        // Only one end extends: keep the other side of the gradient unpainted.
        double x1, y1, x2, y2;
        cairo_clip_extents(cr, &x1, &y1, &x2, &y2);
        cairo_new_path(cr);
        if (c.kind == CGDrawCommand::Kind::drawLinearGradient) {
            const double dx = c.endPoint.x - c.startPoint.x, dy = c.endPoint.y - c.startPoint.y;
            const double length = std::hypot(dx, dy);
            const double reach = std::hypot(x2 - x1, y2 - y1) + std::hypot(x1 - c.startPoint.x, y1 - c.startPoint.y) +
                                 std::hypot(x1 - c.endPoint.x, y1 - c.endPoint.y) + length;
            const double ux = dx / length, uy = dy / length;  // along the gradient
            const double nx = -uy, ny = ux;                   // across it
            // The half plane behind the end (before only) or beyond the start (after only).
            const CGPoint edge = before ? c.endPoint : c.startPoint;
            const double dir = before ? -1 : 1;
            cairo_move_to(cr, edge.x + nx * reach, edge.y + ny * reach);
            cairo_line_to(cr, edge.x - nx * reach, edge.y - ny * reach);
            cairo_line_to(cr, edge.x - nx * reach + dir * ux * reach, edge.y - ny * reach + dir * uy * reach);
            cairo_line_to(cr, edge.x + nx * reach + dir * ux * reach, edge.y + ny * reach + dir * uy * reach);
            cairo_close_path(cr);
        } else if (before) {
            // Inside the end circle.
            cairo_arc(cr, c.endPoint.x, c.endPoint.y, c.endRadius, 0, 2 * M_PI);
        } else {
            // Outside the start circle.
            cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
            cairo_rectangle(cr, x1, y1, x2 - x1, y2 - y1);
            cairo_arc(cr, c.startPoint.x, c.startPoint.y, c.startRadius, 0, 2 * M_PI);
        }
        cairo_clip(cr);
    }
    cairo_set_source(cr, pattern.get());
    cairo_paint(cr);
    cairo_restore(cr);
}

void CGBitmapContext::perform(CGDrawCommand c) {
    using K = CGDrawCommand::Kind;
    cairo_t* cr = cairo_->cr;
    switch (c.kind) {
        case K::setFillColor:
        case K::setStrokeColor:
        case K::setLineWidth:
        case K::setAlpha:
        case K::concatenateCTM:
        case K::setLineCap:
        case K::setLineJoin:
        case K::setMiterLimit:
        case K::setLineDash:
            // Carried by each drawing command.
            return;
        case K::saveGState:
            cairo_save(cr);
            if (!cairo_->groups.empty()) ++cairo_->groups.back().saves;
            return;
        case K::restoreGState:
            cairo_restore(cr);
            if (!cairo_->groups.empty()) --cairo_->groups.back().saves;
            return;
        case K::clip:
            if (!cairo_->use(c.ctm)) {
                cairo_->clipEverything();
                return;
            }
            appendPath(cr, c.path);
            cairo_set_fill_rule(cr, toCairo(c.fillRule));
            cairo_clip(cr);
            return;
        case K::beginTransparencyLayer:
            cairo_save(cr);
            if (!c.rect.isNull()) {
                if (cairo_->use(c.ctm)) {
                    cairo_new_path(cr);
                    cairo_rectangle(cr, c.rect.minX(), c.rect.minY(), c.rect.width(), c.rect.height());
                    cairo_clip(cr);
                } else {
                    cairo_->clipEverything();
                }
            }
            cairo_push_group(cr);
            cairo_->groups.push_back({c.alpha, 0});
            return;
        case K::endTransparencyLayer: {
            if (cairo_->groups.empty()) return;
            const Cairo::Group group = cairo_->groups.back();
            cairo_->groups.pop_back();
            for (int i = 0; i < group.saves; ++i) cairo_restore(cr);
            cairo_pop_group_to_source(cr);
            cairo_paint_with_alpha(cr, unit(group.alpha));
            cairo_restore(cr);
            return;
        }
        case K::clear:
            if (!cairo_->use(c.ctm)) return;
            cairo_save(cr);
            cairo_new_path(cr);
            cairo_rectangle(cr, c.rect.origin.x, c.rect.origin.y, c.rect.size.width, c.rect.size.height);
            cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
            cairo_fill(cr);
            cairo_restore(cr);
            return;
        case K::fillRect:
            if (!cairo_->use(c.ctm)) return;
            cairo_new_path(cr);
            cairo_rectangle(cr, c.rect.origin.x, c.rect.origin.y, c.rect.size.width, c.rect.size.height);
            cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
            setSource(cr, c.color, c.alpha);
            cairo_fill(cr);
            return;
        case K::fillPath:
            if (!cairo_->use(c.ctm)) return;
            appendPath(cr, c.path);
            cairo_set_fill_rule(cr, toCairo(c.fillRule));
            setSource(cr, c.color, c.alpha);
            cairo_fill(cr);
            return;
        case K::strokePath:
            if (c.lineWidth <= 0 || !cairo_->use(c.ctm)) return;
            appendPath(cr, c.path);
            cairo_set_line_width(cr, c.lineWidth);
            cairo_set_line_cap(cr, toCairo(c.lineCap));
            cairo_set_line_join(cr, toCairo(c.lineJoin));
            cairo_set_miter_limit(cr, c.miterLimit);
            cairo_set_dash(cr, c.dashLengths.data(), static_cast<int>(c.dashLengths.size()), c.dashPhase);
            setSource(cr, c.color, c.alpha);
            cairo_stroke(cr);
            return;
        case K::drawLinearGradient: {
            if (c.startPoint == c.endPoint || !cairo_->use(c.ctm)) return;
            cairo_->paintGradient(
                c, Pattern(cairo_pattern_create_linear(c.startPoint.x, c.startPoint.y, c.endPoint.x, c.endPoint.y)));
            return;
        }
        case K::drawRadialGradient: {
            if (!cairo_->use(c.ctm)) return;
            cairo_->paintGradient(c, Pattern(cairo_pattern_create_radial(c.startPoint.x, c.startPoint.y, c.startRadius,
                                                                         c.endPoint.x, c.endPoint.y, c.endRadius)));
            return;
        }
        case K::drawImage:
        case K::fillMask: {
            const CGRect rect = c.rect.standardized();
            if (!c.cgImage || rect.isEmpty() || !cairo_->use(c.ctm)) return;
            Pattern pattern = imagePattern(*c.cgImage, rect);
            if (!pattern) return;
            cairo_save(cr);
            cairo_new_path(cr);
            cairo_rectangle(cr, rect.minX(), rect.minY(), rect.width(), rect.height());
            cairo_clip(cr);
            if (c.kind == K::drawImage) {
                cairo_set_source(cr, pattern.get());
                cairo_paint_with_alpha(cr, unit(c.alpha));
            } else {
                setSource(cr, c.color, c.alpha);
                cairo_mask(cr, pattern.get());
            }
            cairo_restore(cr);
            return;
        }
        case K::drawText: {
            if (c.text.empty() || !cairo_->use(c.ctm)) return;
            CGFloat baseline = c.rect.minY() + FontEngine::shared().metrics(c.font).ascent;
            if (c.ctm.b == 0 && c.ctm.c == 0) {
                // Baselines on whole device pixels keep the strokes of the letters sharp.
                baseline = (std::round(c.ctm.d * baseline + c.ctm.ty) - c.ctm.ty) / c.ctm.d;
            }
            detail::TextRenderer::drawLine(cr, c.text, c.font, c.kern, c.rect.minX(), baseline, c.color, c.alpha);
            return;
        }
    }
}

}  // namespace coregraphics
