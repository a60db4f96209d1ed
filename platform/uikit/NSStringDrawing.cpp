#include "uikit/NSStringDrawing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "coregraphics/CGContext.h"
#include "coregraphics/FontEngine.h"
#include "coregraphics/RecentlyUsed.h"
#include "uikit/detail/TextKey.h"

namespace uikit {

// --- UTF-8 ---

std::u32string decodeUTF8(const std::string& text) {
    std::u32string out;
    out.reserve(text.size());
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = s[i];
        int extra = 0;
        char32_t cp = 0;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            out.push_back(U'\uFFFD');  // stray continuation or invalid lead byte: one character
            ++i;
            continue;
        }
        bool ok = i + static_cast<std::size_t>(extra) < n;
        for (int k = 1; ok && k <= extra; ++k) {
            const unsigned char cc = s[i + static_cast<std::size_t>(k)];
            if ((cc & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (cc & 0x3F);
        }
        const bool overlong = (extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000);
        if (!ok || overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out.push_back(U'\uFFFD');
            ++i;
            continue;
        }
        out.push_back(cp);
        i += static_cast<std::size_t>(extra) + 1;
    }
    return out;
}

std::string encodeUTF8(const std::u32string& text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t cp : text) {
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

// --- metrics ---

namespace {

constexpr char32_t kEllipsis = U'\u2026';
constexpr CGFloat kSlack = 1e-9;  // tolerance of width comparisons

bool isSpace(char32_t c) {
    return c == U' ' || c == U'\t';
}

std::u32string trimTrailing(std::u32string s) {
    while (!s.empty() && isSpace(s.back())) s.pop_back();
    return s;
}

std::string trimTrailing(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
    return s;
}

bool wraps(CGFloat maxWidth) {
    return std::isfinite(maxWidth) && maxWidth > 0;
}

struct Measure {
    coregraphics::CGFont font;
    CGFloat kern;

    // Width without trailing spaces; `text` is valid UTF-8.
    CGFloat width(const std::string& text) const {
        return coregraphics::FontEngine::shared().width(trimTrailing(text), font, kern);
    }
    CGFloat width(const std::u32string& text) const { return width(encodeUTF8(text)); }
};

// The largest n in [0, count] for which `fits(n)` holds, assuming it holds for every smaller n (0 is
// taken as fitting): a binary search, since each probe measures text.
template <class Fits>
std::size_t largestFitting(std::size_t count, Fits fits) {
    std::size_t lo = 0, hi = count;
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo + 1) / 2;
        if (fits(mid))
            lo = mid;
        else
            hi = mid - 1;
    }
    return lo;
}

// Shortens `text` so that it and an ellipsis fit `maxWidth`, per the mode; the ellipsis is always there.
std::u32string truncate(const std::u32string& text, const Measure& m, CGFloat maxWidth, NSLineBreakMode mode) {
    const bool limited = wraps(maxWidth);
    const std::u32string ellipsis(1, kEllipsis);
    auto fits = [&](const std::u32string& s) { return !limited || m.width(s) <= maxWidth + kSlack; };
    const std::size_t n = text.size();
    if (mode == NSLineBreakMode::byTruncatingHead) {
        const std::size_t keep = largestFitting(n, [&](std::size_t k) { return fits(ellipsis + text.substr(n - k)); });
        return ellipsis + text.substr(n - keep);
    }
    if (mode == NSLineBreakMode::byTruncatingMiddle) {
        auto build = [&](std::size_t k) {
            const std::size_t head = (k + 1) / 2, tail = k / 2;
            return trimTrailing(text.substr(0, head)) + ellipsis + text.substr(n - tail);
        };
        return build(largestFitting(n, [&](std::size_t k) { return fits(build(k)); }));
    }
    auto build = [&](std::size_t k) { return trimTrailing(text.substr(0, k)) + ellipsis; };
    return build(largestFitting(n, [&](std::size_t k) { return fits(build(k)); }));
}

bool isTruncating(NSLineBreakMode mode) {
    return mode == NSLineBreakMode::byTruncatingHead || mode == NSLineBreakMode::byTruncatingTail ||
           mode == NSLineBreakMode::byTruncatingMiddle;
}

TextLayout computeLayout(const std::string& text, const UIFont& font, CGFloat maxWidth, int numberOfLines,
                         NSLineBreakMode lineBreakMode, CGFloat kern, CGFloat lineSpacing) {
    TextLayout result;
    // Valid UTF-8 from here on: malformed bytes are replacement characters.
    const std::string clean = encodeUTF8(decodeUTF8(text));
    if (clean.empty()) return result;
    const Measure m{font.cgFont(), std::isfinite(kern) ? kern : 0};
    auto& engine = coregraphics::FontEngine::shared();

    // Paragraphs: "\n", "\r\n" and a lone "\r" end one.
    std::vector<std::string> paragraphs(1);
    for (std::size_t i = 0; i < clean.size(); ++i) {
        const char c = clean[i];
        if (c == '\r' && i + 1 < clean.size() && clean[i + 1] == '\n') continue;
        if (c == '\n' || c == '\r')
            paragraphs.emplace_back();
        else
            paragraphs.back().push_back(c);
    }

    struct Placed {
        std::size_t paragraph, from, to;  // bytes of the paragraph
    };
    std::vector<Placed> all;
    const bool byChar = lineBreakMode == NSLineBreakMode::byCharWrapping;
    for (std::size_t p = 0; p < paragraphs.size(); ++p) {
        const std::string& para = paragraphs[p];
        std::vector<std::size_t> starts{0};
        if (wraps(maxWidth) && !para.empty()) starts = engine.lineStarts(para, m.font, m.kern, maxWidth, byChar);
        for (std::size_t i = 0; i < starts.size(); ++i)
            all.push_back({p, starts[i], i + 1 < starts.size() ? starts[i + 1] : para.size()});
    }

    std::size_t visible = all.size();
    if (numberOfLines > 0 && static_cast<std::size_t>(numberOfLines) < visible) {
        visible = static_cast<std::size_t>(numberOfLines);
        result.truncated = true;
    }
    for (std::size_t i = 0; i < visible; ++i) {
        const Placed& pl = all[i];
        const std::string& para = paragraphs[pl.paragraph];
        std::string line = trimTrailing(para.substr(pl.from, pl.to - pl.from));
        if (i + 1 == visible && result.truncated && isTruncating(lineBreakMode)) {
            // The last visible line stands for the rest of its paragraph (and everything after it).
            line = encodeUTF8(truncate(trimTrailing(decodeUTF8(para.substr(pl.from))), m, maxWidth, lineBreakMode));
        }
        const CGFloat width = m.width(line);
        result.lines.push_back({std::move(line), width});
    }

    CGFloat widest = 0;
    for (const TextLine& l : result.lines) widest = std::max(widest, l.width);
    const std::size_t n = result.lines.size();
    const CGFloat spacing = std::isfinite(lineSpacing) && lineSpacing > 0 ? lineSpacing : 0;
    result.size = {widest, static_cast<CGFloat>(n) * font.lineHeight() + static_cast<CGFloat>(n - 1) * spacing};
    return result;
}

// What a layout depends on: the font as the engine knows it, the width it wraps at, the line limit and mode,
// the spacing, and the text. Looked up without copying the text (`LayoutKeyView`).
struct LayoutParameters {
    std::string family;
    int weight = 400;
    bool monospacedDigits = false;
    CGFloat pointSize = 0;
    CGFloat maxWidth = 0;
    int numberOfLines = 0;
    NSLineBreakMode lineBreakMode = NSLineBreakMode::byWordWrapping;
    CGFloat kern = 0;
    CGFloat lineSpacing = 0;
    friend bool operator==(const LayoutParameters&, const LayoutParameters&) = default;
};

using LayoutKey = detail::TextKey<LayoutParameters>;
using LayoutKeyView = detail::TextKeyView<LayoutParameters>;

std::size_t hashOf(const LayoutParameters& p) {
    std::size_t h = std::hash<std::string>{}(p.family);
    h = detail::hashMix(h, std::hash<int>{}(p.weight * 2 + (p.monospacedDigits ? 1 : 0)));
    h = detail::hashMix(h, std::hash<CGFloat>{}(p.pointSize));
    h = detail::hashMix(h, std::hash<CGFloat>{}(p.maxWidth));
    h = detail::hashMix(h, std::hash<int>{}(p.numberOfLines * 16 + static_cast<int>(p.lineBreakMode)));
    h = detail::hashMix(h, std::hash<CGFloat>{}(p.kern));
    return detail::hashMix(h, std::hash<CGFloat>{}(p.lineSpacing));
}

// Layouts already computed, by everything they depend on. Labels measure the same text on every layout pass.
// At most `kLimit`, the least recently used going first, so a screen with more text than that keeps what it
// measured last.
class LayoutCache {
  public:
    std::optional<TextLayout> find(const LayoutKeyView& key) {
        std::lock_guard lock(mutex_);
        if (const TextLayout* found = layouts_.find(key)) return *found;
        return std::nullopt;
    }
    void insert(LayoutKey key, const TextLayout& layout) {
        std::lock_guard lock(mutex_);
        layouts_.insert(std::move(key), layout);
    }

  private:
    static constexpr std::size_t kLimit = 20'000;
    std::mutex mutex_;  // guards layouts_
    coregraphics::RecentlyUsed<LayoutKey, TextLayout, detail::TextKeyHash<LayoutParameters>,
                               detail::TextKeyEqual<LayoutParameters>>
        layouts_{kLimit};
};

LayoutCache& layoutCache() {
    static LayoutCache* cache = new LayoutCache();  // never destroyed: measuring may happen during exit
    return *cache;
}

}  // namespace

CGFloat TextMetrics::advance(char32_t character, const UIFont& font, CGFloat kern) {
    return coregraphics::FontEngine::shared().width(encodeUTF8(std::u32string(1, character)), font.cgFont(),
                                                    std::isfinite(kern) ? kern : 0);
}

CGFloat TextMetrics::width(const std::string& text, const UIFont& font, CGFloat kern) {
    return Measure{font.cgFont(), std::isfinite(kern) ? kern : 0}.width(encodeUTF8(decodeUTF8(text)));
}

TextLayout TextMetrics::layout(const std::string& text, const UIFont& font, CGFloat maxWidth, int numberOfLines,
                               NSLineBreakMode lineBreakMode, CGFloat kern, CGFloat lineSpacing) {
    if (text.empty()) return {};
    const coregraphics::CGFont f = font.cgFont();
    LayoutParameters parameters{
        f.family,      f.weight, f.monospacedDigits, f.pointSize, wraps(maxWidth) ? maxWidth : 0.0, numberOfLines,
        lineBreakMode, kern,     lineSpacing};
    if (auto cached = layoutCache().find(LayoutKeyView{parameters, text})) return *cached;
    TextLayout layout = computeLayout(text, font, maxWidth, numberOfLines, lineBreakMode, kern, lineSpacing);
    layoutCache().insert(LayoutKey{std::move(parameters), text}, layout);
    return layout;
}

// --- NSString drawing ---

namespace {

struct Resolved {
    UIFont font;
    UIColor color;
    CGFloat kern = 0;
    NSParagraphStyle style;
};

Resolved resolve(const NSAttributes& attributes) {
    const UIFont* font = fontAttribute(attributes);
    const UIColor* color = foregroundColorAttribute(attributes);
    const NSParagraphStyle* style = paragraphStyleAttribute(attributes);
    return {font ? *font : UIFont::systemFont(12), color ? *color : UIColor::black(),
            kernAttribute(attributes).value_or(0), style ? *style : NSParagraphStyle{}};
}

}  // namespace

CGSize NSString::size(const NSAttributes& withAttributes) const {
    const Resolved r = resolve(withAttributes);
    return TextMetrics::layout(text_, r.font, 0, 0, NSLineBreakMode::byWordWrapping, r.kern, r.style.lineSpacing).size;
}

CGRect NSString::boundingRect(CGSize with, unsigned options, const NSAttributes& attributes) const {
    if (!(options & NSStringDrawingOptions::usesLineFragmentOrigin)) return {CGPoint{}, size(attributes)};
    const Resolved r = resolve(attributes);
    const NSLineBreakMode wrapMode = r.style.lineBreakMode == NSLineBreakMode::byCharWrapping
                                         ? NSLineBreakMode::byCharWrapping
                                         : NSLineBreakMode::byWordWrapping;
    int lines = 0;
    NSLineBreakMode mode = wrapMode;
    if ((options & NSStringDrawingOptions::truncatesLastVisibleLine) && std::isfinite(with.height) && with.height > 0) {
        const CGFloat spacing = std::max<CGFloat>(0, r.style.lineSpacing);
        lines = std::max(
            1, static_cast<int>(std::floor((with.height + spacing + kSlack) / (r.font.lineHeight() + spacing))));
        mode = NSLineBreakMode::byTruncatingTail;
    }
    return {CGPoint{}, TextMetrics::layout(text_, r.font, with.width, lines, mode, r.kern, r.style.lineSpacing).size};
}

void NSString::draw(const CGRect& in, const NSAttributes& withAttributes) const {
    const auto ctx = coregraphics::currentContext();
    if (!ctx || in.isNull()) return;
    const Resolved r = resolve(withAttributes);
    const CGRect box = in.standardized();
    const TextLayout layout =
        TextMetrics::layout(text_, r.font, box.width(), 0, r.style.lineBreakMode, r.kern, r.style.lineSpacing);
    const CGFloat lineHeight = r.font.lineHeight();
    const CGFloat step = lineHeight + std::max<CGFloat>(0, r.style.lineSpacing);
    for (std::size_t i = 0; i < layout.lines.size(); ++i) {
        const CGFloat y = box.minY() + static_cast<CGFloat>(i) * step;
        if (box.height() > 0 && i > 0 && y >= box.maxY()) break;  // lines below the rectangle are clipped away
        const TextLine& line = layout.lines[i];
        CGFloat x = box.minX();
        if (r.style.alignment == NSTextAlignment::center) x = box.minX() + (box.width() - line.width) / 2;
        if (r.style.alignment == NSTextAlignment::right) x = box.maxX() - line.width;
        ctx->drawText(line.text, {x, y, line.width, lineHeight}, r.font.cgFont(), r.color.cgColor(), r.kern);
    }
}

void NSString::draw(CGPoint at, const NSAttributes& withAttributes) const {
    const auto ctx = coregraphics::currentContext();
    if (!ctx) return;
    const Resolved r = resolve(withAttributes);
    const TextLayout layout =
        TextMetrics::layout(text_, r.font, 0, 0, NSLineBreakMode::byWordWrapping, r.kern, r.style.lineSpacing);
    const CGFloat step = r.font.lineHeight() + std::max<CGFloat>(0, r.style.lineSpacing);
    for (std::size_t i = 0; i < layout.lines.size(); ++i) {
        const TextLine& line = layout.lines[i];
        ctx->drawText(line.text, {at.x, at.y + static_cast<CGFloat>(i) * step, line.width, r.font.lineHeight()},
                      r.font.cgFont(), r.color.cgColor(), r.kern);
    }
}

}  // namespace uikit
