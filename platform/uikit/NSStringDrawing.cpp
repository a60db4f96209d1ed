#include "uikit/NSStringDrawing.h"

#include <algorithm>
#include <cmath>

#include "coregraphics/CGContext.h"

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

struct Measure {
    const UIFont& font;
    CGFloat kern;

    CGFloat advance(char32_t c) const { return TextMetrics::advance(c, font, kern); }
    // Width of chars [from, to) without trailing spaces.
    CGFloat width(const std::u32string& s, std::size_t from, std::size_t to) const {
        while (to > from && isSpace(s[to - 1])) --to;
        CGFloat w = 0;
        for (std::size_t i = from; i < to; ++i) w += advance(s[i]);
        return w;
    }
    CGFloat width(const std::u32string& s) const { return width(s, 0, s.size()); }
};

std::u32string trimTrailing(std::u32string s) {
    while (!s.empty() && isSpace(s.back())) s.pop_back();
    return s;
}

bool wraps(CGFloat maxWidth) {
    return std::isfinite(maxWidth) && maxWidth > 0;
}

// Breaks one paragraph into lines (as [from, to) character ranges of `p`).
std::vector<std::pair<std::size_t, std::size_t>> breakParagraph(const std::u32string& p, const Measure& m,
                                                                CGFloat maxWidth, bool byChar) {
    std::vector<std::pair<std::size_t, std::size_t>> lines;
    if (!wraps(maxWidth) || p.empty()) {
        lines.emplace_back(0, p.size());
        return lines;
    }
    std::size_t start = 0;
    while (start < p.size()) {
        // Greedy: the longest prefix from `start` that fits.
        std::size_t end = start;
        CGFloat w = 0;
        std::size_t lastBreak = std::string::npos;  // end of a fitting prefix that ends a word
        while (end < p.size()) {
            const char32_t c = p[end];
            if (isSpace(c)) {  // spaces may hang past the edge
                if (end > start && !isSpace(p[end - 1])) lastBreak = end;
                w += m.advance(c);
                ++end;
                continue;
            }
            // Width with this character, not counting trailing spaces before it (they are inside now).
            const CGFloat next = w + m.advance(c);
            if (next > maxWidth + kSlack) break;
            w = next;
            ++end;
        }
        if (end >= p.size()) {
            lines.emplace_back(start, p.size());
            break;
        }
        std::size_t cut;
        if (!byChar && lastBreak != std::string::npos && lastBreak > start) {
            cut = lastBreak;  // at the last word boundary
        } else if (end > start) {
            cut = end;  // the word alone is too long: break inside it
            // The prefix may end in spaces only when they all fit; a break inside a word never does.
        } else {
            cut = start + 1;  // not even one character fits: take one anyway
        }
        lines.emplace_back(start, cut);
        start = cut;
        while (start < p.size() && isSpace(p[start])) ++start;  // the spaces at a break vanish
    }
    return lines;
}

// Shortens `text` so that it and an ellipsis fit `maxWidth`, per the mode.
std::u32string truncate(const std::u32string& text, const Measure& m, CGFloat maxWidth, NSLineBreakMode mode) {
    const bool limited = wraps(maxWidth);
    const CGFloat ellipsis = m.advance(kEllipsis);
    auto fits = [&](const std::u32string& s) { return !limited || m.width(s) <= maxWidth + kSlack; };
    if (mode == NSLineBreakMode::byTruncatingHead) {
        std::u32string tail = text;
        while (!tail.empty() && limited && m.width(tail) + ellipsis > maxWidth + kSlack) tail.erase(0, 1);
        return std::u32string(1, kEllipsis) + tail;
    }
    if (mode == NSLineBreakMode::byTruncatingMiddle) {
        std::size_t keepHead = (text.size() + 1) / 2, keepTail = text.size() / 2;
        auto build = [&] {
            return trimTrailing(text.substr(0, keepHead)) + std::u32string(1, kEllipsis) +
                   text.substr(text.size() - keepTail);
        };
        std::u32string s = build();
        bool fromHead = true;
        while (!fits(s) && (keepHead > 0 || keepTail > 0)) {
            if ((fromHead && keepHead > 0) || keepTail == 0)
                --keepHead;
            else
                --keepTail;
            fromHead = !fromHead;
            s = build();
        }
        return s;
    }
    std::u32string head = trimTrailing(text);
    while (!head.empty() && limited && m.width(head) + ellipsis > maxWidth + kSlack)
        head = trimTrailing(head.substr(0, head.size() - 1));
    return head + std::u32string(1, kEllipsis);
}

bool isTruncating(NSLineBreakMode mode) {
    return mode == NSLineBreakMode::byTruncatingHead || mode == NSLineBreakMode::byTruncatingTail ||
           mode == NSLineBreakMode::byTruncatingMiddle;
}

}  // namespace

CGFloat TextMetrics::advance(char32_t character, const UIFont& font, CGFloat kern) {
    const bool digit = character >= U'0' && character <= U'9';
    CGFloat a = (digit && font.hasMonospacedDigits() ? 0.6 : 0.5) * font.pointSize();
    if (font.isBold()) a *= 1.05;
    return a + (std::isfinite(kern) ? kern : 0);
}

CGFloat TextMetrics::width(const std::string& text, const UIFont& font, CGFloat kern) {
    return Measure{font, kern}.width(decodeUTF8(text));
}

TextLayout TextMetrics::layout(const std::string& text, const UIFont& font, CGFloat maxWidth, int numberOfLines,
                               NSLineBreakMode lineBreakMode, CGFloat kern, CGFloat lineSpacing) {
    TextLayout result;
    const std::u32string chars = decodeUTF8(text);
    if (chars.empty()) return result;
    const Measure m{font, kern};

    // Paragraphs: "\n", "\r\n" and a lone "\r" end one.
    std::vector<std::u32string> paragraphs(1);
    for (std::size_t i = 0; i < chars.size(); ++i) {
        const char32_t c = chars[i];
        if (c == U'\r' && i + 1 < chars.size() && chars[i + 1] == U'\n') continue;
        if (c == U'\n' || c == U'\r')
            paragraphs.emplace_back();
        else
            paragraphs.back().push_back(c);
    }

    const bool byChar = lineBreakMode == NSLineBreakMode::byCharWrapping;
    struct Placed {
        std::size_t paragraph, from, to;
    };
    std::vector<Placed> all;
    for (std::size_t p = 0; p < paragraphs.size(); ++p)
        for (const auto& [from, to] : breakParagraph(paragraphs[p], m, maxWidth, byChar)) all.push_back({p, from, to});

    std::size_t visible = all.size();
    if (numberOfLines > 0 && static_cast<std::size_t>(numberOfLines) < visible) {
        visible = static_cast<std::size_t>(numberOfLines);
        result.truncated = true;
    }
    for (std::size_t i = 0; i < visible; ++i) {
        const Placed& pl = all[i];
        const std::u32string& para = paragraphs[pl.paragraph];
        std::u32string line = trimTrailing(para.substr(pl.from, pl.to - pl.from));
        const bool last = i + 1 == visible;
        if (last && result.truncated && isTruncating(lineBreakMode)) {
            // The last visible line stands for the rest of its paragraph (and everything after it).
            const std::u32string rest = trimTrailing(para.substr(pl.from));
            line = truncate(rest, m, maxWidth, lineBreakMode);
        }
        result.lines.push_back({encodeUTF8(line), m.width(line)});
    }

    CGFloat widest = 0;
    for (const TextLine& l : result.lines) widest = std::max(widest, l.width);
    const std::size_t n = result.lines.size();
    const CGFloat spacing = std::isfinite(lineSpacing) && lineSpacing > 0 ? lineSpacing : 0;
    result.size = {widest, static_cast<CGFloat>(n) * font.lineHeight() + static_cast<CGFloat>(n - 1) * spacing};
    return result;
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
        ctx->drawText(line.text, {x, y, line.width, lineHeight}, r.font.fontName(), r.font.pointSize(),
                      r.color.cgColor());
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
                      r.font.fontName(), r.font.pointSize(), r.color.cgColor());
    }
}

}  // namespace uikit
