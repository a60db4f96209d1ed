// Rendering a 1280 × 720 screen of 200 views (a header of tabs, a grid of 24 cards, each with a thumbnail,
// a gradient over it, a progress bar, two labels and a badge, and a bar of tinted icons) to RGBA pixels, against
// the same primitives drawn with bare cairo and pango calls, in one run, the rounds interleaved (the order of the
// sides alternating), wall time and instructions (callgrind). Goal: the view tree within 1.5× of the bare calls.
// Then the PNG encoding of a 2048 × 1536 picture of that screen (what the example host does with every picture)
// against one bare libpng pass into a buffer of the largest size the encoding can take (goal: within 1.05×).
// Then text measurement: the intrinsic sizes of 1,000 labels with a warm cache (and, for scale, with text never
// measured before).
//
//   render_bench                       the comparisons, then the measurement benchmarks
//   render_bench --rounds N            N interleaved rounds of each comparison (default 20)
//   render_bench --frames=N --side=S   only N frames of one side (S: tree or bare), for callgrind: see
//                                      callgrind.sh beside this file for instructions per frame
//   render_bench --write=DIR           also writes both renderings to DIR/tree.png and DIR/bare.png
#include <benchmark/benchmark.h>
#include <cairo.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>
#include <png.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "coregraphics/CGBitmapContext.h"
#include "coregraphics/FontEngine.h"
#include "dispatch/testing/ManualClockScope.h"
#include "imageio/ImageDecoder.h"
#include "quartzcore/CAGradientLayer.h"
#include "uikit/NSStringDrawing.h"
#include "uikit/UIImageView.h"
#include "uikit/UILabel.h"
#include "uikit/UIView.h"

namespace {

using namespace uikit;
using coregraphics::CGBitmapContext;

constexpr int kWidth = 1280, kHeight = 720;
constexpr int kColumns = 6, kRows = 4;

// ---- The scene, described once; both sides draw it -----------------------------------------------------

struct Card {
    CGRect frame;
    std::shared_ptr<UIImage> thumbnail;
    std::string title, subtitle, badge;
    double progress = 0;
};

struct Scene {
    std::vector<Card> cards;
    std::vector<std::string> tabs;
    std::shared_ptr<UIImage> icon;  // a template image, tinted
};

std::shared_ptr<UIImage> thumbnail(int seed) {
    std::vector<std::uint8_t> rgba(160 * 90 * 4);
    std::uint32_t noise = 2166136261u ^ static_cast<std::uint32_t>(seed);
    for (int y = 0; y < 90; ++y)
        for (int x = 0; x < 160; ++x) {
            noise = noise * 1664525u + 1013904223u;
            std::uint8_t* p = &rgba[(static_cast<std::size_t>(y) * 160 + static_cast<std::size_t>(x)) * 4];
            p[0] = static_cast<std::uint8_t>((x + seed * 17) % 256);
            p[1] = static_cast<std::uint8_t>((y * 2 + seed * 31) % 256);
            p[2] = static_cast<std::uint8_t>(((x * y) / 40 + (noise >> 27)) % 256);
            p[3] = 255;
        }
    return UIImage::create(*imageio::Bitmap::fromRGBA(160, 90, rgba));
}

std::shared_ptr<UIImage> iconImage() {
    std::vector<std::uint8_t> rgba(24 * 24 * 4, 0);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 24; ++x) {
            const double d = std::hypot(x - 11.5, y - 11.5);
            std::uint8_t* p = &rgba[(static_cast<std::size_t>(y) * 24 + static_cast<std::size_t>(x)) * 4];
            p[3] = static_cast<std::uint8_t>(d < 9 && !(d < 6 && x > 8 && x < 16) ? 255 : 0);
        }
    return UIImage::create(*imageio::Bitmap::fromRGBA(24, 24, rgba), 1, UIImage::RenderingMode::alwaysTemplate);
}

Scene makeScene() {
    Scene s;
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kColumns; ++c) {
            const int i = r * kColumns + c;
            Card card;
            card.frame = CGRect(22 + c * 208, 76 + r * 150, 196, 138);
            card.thumbnail = thumbnail(i);
            card.title = "Episode " + std::to_string(i + 1) + ": The Long Night";
            card.subtitle = "Season 2 \xC2\xB7 " + std::to_string(40 + i) + " min";
            card.badge = std::to_string(i % 3 + 1) + ":0" + std::to_string(i % 10);
            card.progress = (i % 7) / 7.0;
            s.cards.push_back(card);
        }
    s.tabs = {"Home", "Live", "Series", "Films", "Sport", "Kids", "News", "My List"};
    s.icon = iconImage();
    return s;
}

const UIColor kCardColor(0.13, 0.14, 0.18, 1);
const UIColor kBorderColor(1, 1, 1, 0.12);
const UIColor kSubtitleColor(0.62, 0.64, 0.7, 1);
const UIColor kAccent(0.2, 0.55, 1, 1);

// ---- Our side: a view tree ------------------------------------------------------------------------------

struct Tree {
    std::shared_ptr<UIView> root;
    int views = 0;
};

Tree makeTree(const Scene& s) {
    Tree t;
    t.root = UIView::create(CGRect(0, 0, kWidth, kHeight));
    auto count = [&](const std::shared_ptr<UIView>& v) {
        ++t.views;
        return v;
    };
    ++t.views;
    auto background = quartzcore::CAGradientLayer::create();
    background->setFrame(CGRect(0, 0, kWidth, kHeight));
    background->setColors({UIColor(0.05, 0.06, 0.09, 1).cgColor(), UIColor(0.1, 0.1, 0.16, 1).cgColor()});
    t.root->layer()->addSublayer(background);

    auto header = count(UIView::create(CGRect(0, 0, kWidth, 64)));
    header->setBackgroundColor(UIColor(0, 0, 0, 0.35));
    t.root->addSubview(header);
    auto title = std::static_pointer_cast<UILabel>(count(UILabel::create(CGRect(22, 18, 200, 28))));
    title->setText("Lumora");
    title->setFont(UIFont::systemFont(22, UIFont::Weight::bold));
    title->setTextColor(UIColor::white());
    header->addSubview(title);
    for (std::size_t i = 0; i < s.tabs.size(); ++i) {
        auto tab = std::static_pointer_cast<UILabel>(count(UILabel::create(CGRect(300 + i * 100, 22, 90, 20))));
        tab->setText(s.tabs[i]);
        tab->setFont(UIFont::systemFont(15, i == 0 ? UIFont::Weight::semibold : UIFont::Weight::regular));
        tab->setTextColor(i == 0 ? UIColor::white() : kSubtitleColor);
        tab->setTextAlignment(NSTextAlignment::center);
        header->addSubview(tab);
    }

    for (const Card& c : s.cards) {
        auto card = count(UIView::create(c.frame));
        card->setBackgroundColor(kCardColor);
        card->layer()->setCornerRadius(10);
        card->layer()->setBorderWidth(1);
        card->layer()->setBorderColor(kBorderColor.cgColor());
        card->setClipsToBounds(true);
        t.root->addSubview(card);
        auto image = std::static_pointer_cast<UIImageView>(count(UIImageView::create(CGRect(0, 0, 196, 96))));
        image->setImage(c.thumbnail);
        image->setContentMode(UIView::ContentMode::scaleAspectFill);
        image->setClipsToBounds(true);
        card->addSubview(image);
        auto shade = quartzcore::CAGradientLayer::create();
        shade->setFrame(CGRect(0, 48, 196, 48));
        shade->setColors({UIColor(0, 0, 0, 0).cgColor(), UIColor(0, 0, 0, 0.6).cgColor()});
        image->layer()->addSublayer(shade);
        auto barBack = count(UIView::create(CGRect(0, 93, 196, 3)));
        barBack->setBackgroundColor(UIColor(1, 1, 1, 0.25));
        card->addSubview(barBack);
        auto bar = count(UIView::create(CGRect(0, 93, 196 * c.progress, 3)));
        bar->setBackgroundColor(kAccent);
        card->addSubview(bar);
        auto badge = std::static_pointer_cast<UILabel>(count(UILabel::create(CGRect(150, 70, 38, 18))));
        badge->setText(c.badge);
        badge->setFont(UIFont::monospacedDigitSystemFont(11, UIFont::Weight::medium));
        badge->setTextColor(UIColor::white());
        badge->setTextAlignment(NSTextAlignment::center);
        badge->setBackgroundColor(UIColor(0, 0, 0, 0.7));
        badge->layer()->setCornerRadius(4);
        card->addSubview(badge);
        auto name = std::static_pointer_cast<UILabel>(count(UILabel::create(CGRect(10, 102, 176, 18))));
        name->setText(c.title);
        name->setFont(UIFont::systemFont(14, UIFont::Weight::semibold));
        name->setTextColor(UIColor::white());
        card->addSubview(name);
        auto detail = std::static_pointer_cast<UILabel>(count(UILabel::create(CGRect(10, 120, 176, 14))));
        detail->setText(c.subtitle);
        detail->setFont(UIFont::systemFont(12));
        detail->setTextColor(kSubtitleColor);
        card->addSubview(detail);
    }

    auto footer = count(UIView::create(CGRect(0, 680, kWidth, 40)));
    footer->setBackgroundColor(UIColor(0, 0, 0, 0.5));
    t.root->addSubview(footer);
    for (int i = 0; i < 20; ++i) {
        auto icon = std::static_pointer_cast<UIImageView>(count(UIImageView::create(CGRect(22 + i * 64, 8, 24, 24))));
        icon->setImage(s.icon);
        icon->setTintColor(i % 4 == 0 ? kAccent : UIColor::white());
        footer->addSubview(icon);
    }
    t.root->layoutIfNeeded();
    return t;
}

imageio::Bitmap renderTree(const Tree& tree) {
    auto context = CGBitmapContext::create({kWidth, kHeight}, 1);
    coregraphics::GraphicsContextScope scope(context);
    tree.root->drawHierarchy(tree.root->bounds(), false);
    return context->bitmap();
}

// ---- The bare side: the same primitives, straight to cairo and pango ---------------------------------------

// One line of text shaped once, as a program drawing with pango directly would keep it.
struct BareText {
    PangoLayout* layout = nullptr;
    double x = 0, baseline = 0;
    UIColor color;
};

struct Bare {
    PangoFontMap* fontMap = nullptr;
    PangoContext* context = nullptr;
    std::vector<BareText> header;
    struct CardText {
        BareText badge, name, detail;
    };
    std::vector<CardText> cards;
    std::vector<std::vector<std::uint32_t>> thumbnails;  // premultiplied
    std::vector<std::uint32_t> icon;
};

void premultiply(const imageio::Bitmap& b, std::vector<std::uint32_t>& out) {
    out.resize(std::size_t{b.width()} * b.height());
    const std::uint8_t* p = b.bytes().data();
    for (std::size_t i = 0; i < out.size(); ++i, p += 4) {
        const std::uint32_t a = p[3];
        auto m = [a](std::uint32_t c) { return (c * a + 127) / 255; };
        out[i] = (a << 24) | (m(p[0]) << 16) | (m(p[1]) << 8) | m(p[2]);
    }
}

BareText bareText(Bare& bare, const std::string& text, const UIFont& font, const UIColor& color, const CGRect& box,
                  NSTextAlignment alignment) {
    BareText t;
    t.layout = pango_layout_new(bare.context);
    PangoFontDescription* d = pango_font_description_new();
    pango_font_description_set_family(d, coregraphics::FontEngine::kSystemFamily);
    pango_font_description_set_weight(d, static_cast<PangoWeight>(font.cgFont().weight));
    pango_font_description_set_absolute_size(d, font.pointSize() * PANGO_SCALE);
    pango_layout_set_font_description(t.layout, d);
    pango_font_description_free(d);
    if (font.hasMonospacedDigits()) {
        PangoAttrList* attributes = pango_attr_list_new();
        pango_attr_list_insert(attributes, pango_attr_font_features_new("tnum"));
        pango_layout_set_attributes(t.layout, attributes);
        pango_attr_list_unref(attributes);
    }
    pango_layout_set_text(t.layout, text.c_str(), -1);
    PangoRectangle logical;
    pango_layout_get_extents(t.layout, nullptr, &logical);
    const double width = double(logical.width) / PANGO_SCALE;
    const double lineHeight = font.lineHeight();
    t.x = alignment == NSTextAlignment::center ? box.minX() + (box.width() - width) / 2 : box.minX();
    t.baseline = std::round(box.minY() + (box.height() - lineHeight) / 2 + font.ascender());
    t.color = color;
    return t;
}

Bare makeBare(const Scene& s) {
    Bare bare;
    bare.fontMap = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
    bare.context = pango_font_map_create_context(bare.fontMap);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    pango_cairo_context_set_font_options(bare.context, options);
    cairo_font_options_destroy(options);
    pango_context_set_round_glyph_positions(bare.context, FALSE);

    bare.header.push_back(bareText(bare, "Lumora", UIFont::systemFont(22, UIFont::Weight::bold), UIColor::white(),
                                   CGRect(22, 18, 200, 28), NSTextAlignment::left));
    for (std::size_t i = 0; i < s.tabs.size(); ++i)
        bare.header.push_back(bareText(
            bare, s.tabs[i], UIFont::systemFont(15, i == 0 ? UIFont::Weight::semibold : UIFont::Weight::regular),
            i == 0 ? UIColor::white() : kSubtitleColor, CGRect(300 + i * 100, 22, 90, 20), NSTextAlignment::center));
    for (const Card& c : s.cards) {
        const CGFloat x = c.frame.minX(), y = c.frame.minY();
        Bare::CardText t;
        t.badge = bareText(bare, c.badge, UIFont::monospacedDigitSystemFont(11, UIFont::Weight::medium),
                           UIColor::white(), CGRect(x + 150, y + 70, 38, 18), NSTextAlignment::center);
        // The title shortened with "…" to fit, once, as a program drawing with pango directly would do it.
        const UIFont titleFont = UIFont::systemFont(14, UIFont::Weight::semibold);
        const std::string shortened =
            TextMetrics::layout(c.title, titleFont, 176, 1, NSLineBreakMode::byTruncatingTail).lines.at(0).text;
        t.name = bareText(bare, shortened, titleFont, UIColor::white(), CGRect(x + 10, y + 102, 176, 18),
                          NSTextAlignment::left);
        t.detail = bareText(bare, c.subtitle, UIFont::systemFont(12), kSubtitleColor, CGRect(x + 10, y + 120, 176, 14),
                            NSTextAlignment::left);
        bare.cards.push_back(t);
        bare.thumbnails.emplace_back();
        premultiply(c.thumbnail->bitmap(), bare.thumbnails.back());
    }
    premultiply(s.icon->bitmap(), bare.icon);
    return bare;
}

void source(cairo_t* cr, const UIColor& c) {
    const auto k = c.components();
    cairo_set_source_rgba(cr, k.red, k.green, k.blue, k.alpha);
}

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

void text(cairo_t* cr, const BareText& t) {
    source(cr, t.color);
    cairo_move_to(cr, t.x, t.baseline);
    pango_cairo_show_layout_line(cr, pango_layout_get_line_readonly(t.layout, 0));
}

void gradient(cairo_t* cr, double x, double y, double w, double h, const UIColor& a, const UIColor& b) {
    cairo_pattern_t* p = cairo_pattern_create_linear(x + w / 2, y, x + w / 2, y + h);
    const auto ka = a.components(), kb = b.components();
    cairo_pattern_add_color_stop_rgba(p, 0, ka.red, ka.green, ka.blue, ka.alpha);
    cairo_pattern_add_color_stop_rgba(p, 1, kb.red, kb.green, kb.blue, kb.alpha);
    cairo_pattern_set_extend(p, CAIRO_EXTEND_PAD);
    cairo_rectangle(cr, x, y, w, h);
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
}

imageio::Bitmap toRGBA(cairo_surface_t* surface) {
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    auto out = std::make_shared_for_overwrite<std::uint8_t[]>(std::size_t{kWidth} * kHeight * 4);
    std::uint8_t* dst = out.get();
    for (int y = 0; y < kHeight; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(data + static_cast<std::size_t>(y) * stride);
        for (int x = 0; x < kWidth; ++x, dst += 4) {
            const std::uint32_t p = row[x], a = p >> 24;
            const std::uint32_t r = (p >> 16) & 0xff, g = (p >> 8) & 0xff, b = p & 0xff;
            if (a == 255) {
                dst[0] = static_cast<std::uint8_t>(r), dst[1] = static_cast<std::uint8_t>(g);
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
    return imageio::Bitmap::adopt(kWidth, kHeight, std::move(out));
}

imageio::Bitmap renderBare(const Scene& s, const Bare& bare) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);
    cairo_t* cr = cairo_create(surface);
    gradient(cr, 0, 0, kWidth, kHeight, UIColor(0.05, 0.06, 0.09, 1), UIColor(0.1, 0.1, 0.16, 1));
    source(cr, UIColor(0, 0, 0, 0.35));
    cairo_rectangle(cr, 0, 0, kWidth, 64);
    cairo_fill(cr);
    for (const BareText& t : bare.header) text(cr, t);

    for (std::size_t i = 0; i < s.cards.size(); ++i) {
        const Card& c = s.cards[i];
        const double x = c.frame.minX(), y = c.frame.minY(), w = c.frame.width(), h = c.frame.height();
        cairo_save(cr);
        roundedRect(cr, x, y, w, h, 10);
        cairo_clip(cr);
        source(cr, kCardColor);
        cairo_paint(cr);
        // The thumbnail, filling 196 × 96 and cropped (aspect fill), then the shade over its lower half.
        cairo_save(cr);
        cairo_rectangle(cr, x, y, 196, 96);
        cairo_clip(cr);
        const double scale = std::max(196.0 / 160, 96.0 / 90);
        const double iw = 160 * scale, ih = 90 * scale;
        cairo_surface_t* image = cairo_image_surface_create_for_data(
            reinterpret_cast<unsigned char*>(const_cast<std::uint32_t*>(bare.thumbnails[i].data())),
            CAIRO_FORMAT_ARGB32, 160, 90, 160 * 4);
        cairo_pattern_t* pattern = cairo_pattern_create_for_surface(image);
        cairo_matrix_t m;
        cairo_matrix_init_scale(&m, 1 / scale, 1 / scale);
        cairo_matrix_translate(&m, -(x + (196 - iw) / 2), -(y + (96 - ih) / 2));
        cairo_pattern_set_matrix(pattern, &m);
        cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
        cairo_pattern_set_filter(pattern, CAIRO_FILTER_GOOD);
        cairo_set_source(cr, pattern);
        cairo_paint(cr);
        cairo_pattern_destroy(pattern);
        cairo_surface_destroy(image);
        gradient(cr, x, y + 48, 196, 48, UIColor(0, 0, 0, 0), UIColor(0, 0, 0, 0.6));
        cairo_restore(cr);
        source(cr, UIColor(1, 1, 1, 0.25));
        cairo_rectangle(cr, x, y + 93, 196, 3);
        cairo_fill(cr);
        source(cr, kAccent);
        cairo_rectangle(cr, x, y + 93, 196 * c.progress, 3);
        cairo_fill(cr);
        source(cr, UIColor(0, 0, 0, 0.7));
        roundedRect(cr, x + 150, y + 70, 38, 18, 4);
        cairo_fill(cr);
        text(cr, bare.cards[i].badge);
        text(cr, bare.cards[i].name);
        text(cr, bare.cards[i].detail);
        cairo_restore(cr);
        // The border, inside the rounded outline.
        source(cr, kBorderColor);
        cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
        roundedRect(cr, x, y, w, h, 10);
        roundedRect(cr, x + 1, y + 1, w - 2, h - 2, 9);
        cairo_fill(cr);
        cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    }

    source(cr, UIColor(0, 0, 0, 0.5));
    cairo_rectangle(cr, 0, 680, kWidth, 40);
    cairo_fill(cr);
    cairo_surface_t* icon = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(const_cast<std::uint32_t*>(bare.icon.data())), CAIRO_FORMAT_ARGB32, 24, 24,
        24 * 4);
    for (int i = 0; i < 20; ++i) {
        source(cr, i % 4 == 0 ? kAccent : UIColor::white());
        cairo_mask_surface(cr, icon, 22 + i * 64, 688);
    }
    cairo_surface_destroy(icon);
    cairo_destroy(cr);
    imageio::Bitmap pixels = toRGBA(surface);
    cairo_surface_destroy(surface);
    return pixels;
}

// Named so that callgrind can count only what happens inside them (--toggle-collect).
[[gnu::noinline]] imageio::Bitmap renderFrameTree(const Tree& tree) {
    return renderTree(tree);
}
[[gnu::noinline]] imageio::Bitmap renderFrameBare(const Scene& s, const Bare& bare) {
    return renderBare(s, bare);
}

std::size_t differingPixels(const imageio::Bitmap& a, const imageio::Bitmap& b, int tolerance) {
    std::size_t n = 0;
    const auto* pa = a.bytes().data();
    const auto* pb = b.bytes().data();
    for (std::size_t i = 0; i < a.byteCount(); i += 4) {
        int d = 0;
        for (int k = 0; k < 4; ++k) d = std::max(d, std::abs(int(pa[i + k]) - int(pb[i + k])));
        n += d > tolerance;
    }
    return n;
}

void writePNG(const imageio::Bitmap& pixels, const std::string& path) {
    const auto png = imageio::encodePNG(pixels);
    std::FILE* file = png ? std::fopen(path.c_str(), "wb") : nullptr;
    if (!file || std::fwrite(png->data(), 1, png->size(), file) != png->size())
        std::printf("cannot write %s\n", path.c_str());
    if (file) std::fclose(file);
}

// ---- PNG encoding ---------------------------------------------------------------------------------------

constexpr std::uint32_t kPictureWidth = 2048, kPictureHeight = 1536;

// A 2048 × 1536 picture of the screen, as the example host takes them: the view tree drawn at 1.6 pixels a
// point into 1280 × 960 points (the screen's 720 and, below them, nothing).
imageio::Bitmap screenPicture(const Tree& tree) {
    auto context = CGBitmapContext::create({kPictureWidth / 1.6, kPictureHeight / 1.6}, 1.6);
    coregraphics::GraphicsContextScope scope(context);
    tree.root->drawHierarchy(tree.root->bounds(), false);
    return context->bitmap();
}

// The same encoding with libpng alone: one pass into a buffer as large as the encoding can be.
std::size_t bareEncodePNG(const imageio::Bitmap& picture, std::vector<std::uint8_t>& buffer) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = picture.width();
    image.height = picture.height();
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = PNG_IMAGE_PNG_SIZE_MAX(image);
    buffer.resize(size);
    if (!png_image_write_to_memory(&image, buffer.data(), &size, 0, picture.bytes().data(), 0, nullptr)) std::abort();
    return size;
}

// ---- The comparisons --------------------------------------------------------------------------------------

[[gnu::noinline]] void encodeWithKit(const imageio::Bitmap& picture) {
    const auto png = imageio::encodePNG(picture);
    if (!png) std::abort();
    benchmark::DoNotOptimize(png->data());
}
[[gnu::noinline]] void encodeBare(const imageio::Bitmap& picture, std::vector<std::uint8_t>& buffer) {
    benchmark::DoNotOptimize(bareEncodePNG(picture, buffer));
}

// Under callgrind (--instructions): each side once, counted.
int countSides() {
    dispatch::testing::ManualClockScope clock;
    const Scene scene = makeScene();
    const Tree tree = makeTree(scene);
    const Bare bare = makeBare(scene);
    // A frame of each first: images are premultiplied and lines shaped once.
    benchmark::DoNotOptimize(renderFrameTree(tree));
    benchmark::DoNotOptimize(renderFrameBare(scene, bare));
    const imageio::Bitmap picture = screenPicture(tree);
    std::vector<std::uint8_t> buffer;
    bench::countInstructions("view tree", [&] { benchmark::DoNotOptimize(renderFrameTree(tree)); });
    bench::countInstructions("bare cairo", [&] { benchmark::DoNotOptimize(renderFrameBare(scene, bare)); });
    bench::countInstructions("encodePNG", [&] { encodeWithKit(picture); });
    bench::countInstructions("bare libpng, one pass", [&] { encodeBare(picture, buffer); });
    return 0;
}

void compare(const std::string& writeTo, int rounds) {
    dispatch::testing::ManualClockScope clock;
    const Scene scene = makeScene();
    const Tree tree = makeTree(scene);
    const Bare bare = makeBare(scene);
    const imageio::Bitmap ours = renderFrameTree(tree), theirs = renderFrameBare(scene, bare);
    if (!writeTo.empty()) {
        writePNG(ours, writeTo + "/tree.png");
        writePNG(theirs, writeTo + "/bare.png");
    }
    std::printf("Scene: %d x %d, %d views, %zu cards; pixels differing by more than 8 between the sides: %zu of %d\n",
                kWidth, kHeight, tree.views, scene.cards.size(), differingPixels(ours, theirs, 8), kWidth * kHeight);

    constexpr int kFramesPerRound = 5;
    const std::vector<bench::Side> frames{
        {"view tree",
         [&](int n) {
             for (int f = 0; f < n; ++f) benchmark::DoNotOptimize(renderFrameTree(tree));
         }},
        {"bare cairo",
         [&](int n) {
             for (int f = 0; f < n; ++f) benchmark::DoNotOptimize(renderFrameBare(scene, bare));
         }},
    };
    bench::printWall("Per frame, " + std::to_string(kFramesPerRound) + " frames a round", frames,
                     bench::interleave(frames, rounds, kFramesPerRound), 0, 1, 1.5, "ms", 1e3);

    const imageio::Bitmap picture = screenPicture(tree);
    std::vector<std::uint8_t> buffer;
    const auto kit = imageio::encodePNG(picture);
    const std::size_t bareSize = bareEncodePNG(picture, buffer);
    std::printf("PNG of a %u x %u picture of the screen: %zu bytes; the same bytes as bare libpng: %s\n", kPictureWidth,
                kPictureHeight, kit ? kit->size() : 0,
                kit && kit->size() == bareSize && std::equal(kit->begin(), kit->end(), buffer.begin()) ? "yes" : "NO");
    const std::vector<bench::Side> encodings{
        {"encodePNG",
         [&](int n) {
             for (int i = 0; i < n; ++i) encodeWithKit(picture);
         }},
        {"bare libpng, one pass",
         [&](int n) {
             for (int i = 0; i < n; ++i) encodeBare(picture, buffer);
         }},
    };
    bench::printWall("PNG encoding, 1 picture a round", encodings, bench::interleave(encodings, rounds, 1), 0, 1, 1.05,
                     "ms", 1e3);

    if (auto counts = bench::runUnderCallgrind({"--instructions"})) {
        bench::printInstructions("Per frame, instructions", *counts, "view tree", "bare cairo", 1, 1.5);
        bench::printInstructions("PNG encoding, instructions", *counts, "encodePNG", "bare libpng, one pass", 1, 1.05);
    } else {
        std::printf("Instructions: not counted (valgrind is not installed or its run failed)\n");
    }
    std::printf("\n");
}

// ---- Text measurement ---------------------------------------------------------------------------------

std::vector<std::shared_ptr<UILabel>> makeLabels(int generation) {
    std::vector<std::shared_ptr<UILabel>> labels;
    for (int i = 0; i < 1000; ++i) {
        auto label = UILabel::create();
        label->setFont(i % 3 == 0 ? UIFont::systemFont(14, UIFont::Weight::semibold) : UIFont::systemFont(13));
        label->setText("Episode " + std::to_string(i) + " (" + std::to_string(generation) +
                       "): " + std::string(i % 2 ? "The Long Night" : "Into the Storm over the Northern Sea"));
        label->setNumberOfLines(i % 4 == 0 ? 2 : 1);
        label->setPreferredMaxLayoutWidth(i % 4 == 0 ? 180 : 0);
        labels.push_back(label);
    }
    return labels;
}

void BM_MeasureLabelsWarmCache(benchmark::State& state) {
    dispatch::testing::ManualClockScope clock;
    const auto labels = makeLabels(0);
    for (const auto& label : labels) benchmark::DoNotOptimize(label->intrinsicContentSize());
    for (auto _ : state)
        for (const auto& label : labels) benchmark::DoNotOptimize(label->intrinsicContentSize());
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_MeasureLabelsWarmCache)->Unit(benchmark::kMicrosecond);

void BM_MeasureLabelsNeverMeasuredBefore(benchmark::State& state) {
    dispatch::testing::ManualClockScope clock;
    int generation = 1;
    for (auto _ : state) {
        state.PauseTiming();
        const auto labels = makeLabels(generation++);
        state.ResumeTiming();
        for (const auto& label : labels) benchmark::DoNotOptimize(label->intrinsicContentSize());
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_MeasureLabelsNeverMeasuredBefore)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    int frames = 0;
    std::string side, writeTo;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--frames=", 9) == 0) frames = std::atoi(argv[i] + 9);
        if (std::strncmp(argv[i], "--side=", 7) == 0) side = argv[i] + 7;
        if (std::strncmp(argv[i], "--write=", 8) == 0) writeTo = argv[i] + 8;
    }
    if (frames > 0) {
        dispatch::testing::ManualClockScope clock;
        const Scene scene = makeScene();
        const Tree tree = makeTree(scene);
        const Bare bare = makeBare(scene);
        // One frame first, outside the counted functions: images are premultiplied and lines shaped once.
        benchmark::DoNotOptimize(side == "bare" ? renderBare(scene, bare) : renderTree(tree));
        for (int f = 0; f < frames; ++f) {
            if (side == "bare")
                benchmark::DoNotOptimize(renderFrameBare(scene, bare));
            else
                benchmark::DoNotOptimize(renderFrameTree(tree));
        }
        return 0;
    }
    if (bench::instructionMode(argc, argv)) return countSides();
    compare(writeTo, std::stoi(bench::option(argc, argv, "--rounds").value_or("20")));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
