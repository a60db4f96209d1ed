#include <gtest/gtest.h>

#include <cmath>

#include "coregraphics/CGContext.h"
#include "uikit/NSAttributedString.h"
#include "uikit/NSStringDrawing.h"

using namespace uikit;

namespace {
const UIFont kFont16 = UIFont::systemFont(16);
std::vector<std::string> texts(const TextLayout& layout) {
    std::vector<std::string> out;
    for (const auto& l : layout.lines) out.push_back(l.text);
    return out;
}
CGFloat width(const std::string& text, const UIFont& font = kFont16) {
    return TextMetrics::width(text, font);
}
}  // namespace

TEST(TextMetricsTest, WidthsAreTheEnginesAdvancesWithoutTrailingSpaces) {
    const CGFloat hello = width("Hello");
    EXPECT_GT(hello, 30);  // DejaVu Sans at 16 points: about 40
    EXPECT_LT(hello, 50);
    EXPECT_EQ(width("Hello  "), hello);  // trailing spaces do not count
    EXPECT_GT(width("  Hello"), hello);  // leading ones do
    EXPECT_EQ(width("Hello", UIFont::systemFont(32)), 2 * hello);
    EXPECT_GT(width("Hello", UIFont::boldSystemFont(16)), hello);
    EXPECT_EQ(width("Hello", UIFont::systemFont(16, UIFont::Weight::semibold)),
              width("Hello", UIFont::boldSystemFont(16)));
    EXPECT_DOUBLE_EQ(TextMetrics::width("Hello", kFont16, 1.5), hello + 5 * 1.5);
    EXPECT_EQ(width(""), 0);
    // Characters, not bytes: "é" measures as one letter; malformed bytes as replacement characters.
    EXPECT_NEAR(width("caf\xC3\xA9"), width("cafe"), 0.5);
    EXPECT_EQ(width("a\xFF"), width("a\xEF\xBF\xBD"));
    EXPECT_EQ(TextMetrics::advance(U'W', kFont16), width("W"));

    // Digits of a monospaced-digit font all advance the same, so a running time does not jitter.
    const UIFont mono = UIFont::monospacedDigitSystemFont(16, UIFont::Weight::regular);
    EXPECT_EQ(width("11:11", mono), width("00:48", mono));
}

TEST(TextMetricsTest, WrapsWordsBreaksLongWordsAndLimitsLines) {
    const std::string text = "Please sign in to continue";
    // Wide enough for "Please sign" but not for "Please sign in".
    const CGFloat room = width("Please sign") + 2;
    const TextLayout wrapped = TextMetrics::layout(text, kFont16, room);
    EXPECT_EQ(texts(wrapped), (std::vector<std::string>{"Please sign", "in to", "continue"}));
    EXPECT_FALSE(wrapped.truncated);
    EXPECT_EQ(wrapped.size.width, width("Please sign"));
    EXPECT_DOUBLE_EQ(wrapped.size.height, 3 * kFont16.lineHeight());
    for (const TextLine& line : wrapped.lines) {
        EXPECT_EQ(line.width, width(line.text));
        EXPECT_LE(line.width, room);
    }
    // At its own measured width the text stays on one line; a hair less and it wraps.
    EXPECT_EQ(TextMetrics::layout(text, kFont16, width(text)).lines.size(), 1u);
    EXPECT_EQ(TextMetrics::layout(text, kFont16, width(text) - 0.5).lines.size(), 2u);

    // A word wider than the line is broken inside; a width below one character still makes progress.
    const TextLayout longWord = TextMetrics::layout("abcdefghijklmnopqrstuvwxy z", kFont16, 80);
    EXPECT_GE(longWord.lines.size(), 3u);
    for (const TextLine& line : longWord.lines) EXPECT_LE(line.width, 80);
    EXPECT_EQ(texts(TextMetrics::layout("abc", kFont16, 3)), (std::vector<std::string>{"a", "b", "c"}));
    // No usable width: no wrapping.
    EXPECT_EQ(TextMetrics::layout("a b c", kFont16, 0).lines.size(), 1u);
    EXPECT_EQ(TextMetrics::layout("a b c", kFont16, NAN).lines.size(), 1u);

    EXPECT_EQ(texts(TextMetrics::layout("one\ntwo\r\n\nfour\rfive", kFont16, 0)),
              (std::vector<std::string>{"one", "two", "", "four", "five"}));
    EXPECT_EQ(TextMetrics::layout("", kFont16, 100).size, (CGSize{0, 0}));

    const TextLayout charWrap =
        TextMetrics::layout("ab cdef", kFont16, width("ab cd") + 0.5, 0, NSLineBreakMode::byCharWrapping);
    EXPECT_EQ(texts(charWrap), (std::vector<std::string>{"ab cd", "ef"}));

    const TextLayout spaced = TextMetrics::layout("a b c", kFont16, 8, 0, NSLineBreakMode::byWordWrapping, 0, 4);
    EXPECT_DOUBLE_EQ(spaced.size.height, 3 * kFont16.lineHeight() + 2 * 4);
}

TEST(TextMetricsTest, TruncatesTheLastVisibleLineWithAnEllipsis) {
    const std::string text = "Please sign in to continue";
    const CGFloat room = width("Please sign") + 2;
    const TextLayout tail = TextMetrics::layout(text, kFont16, room, 2, NSLineBreakMode::byTruncatingTail);
    EXPECT_TRUE(tail.truncated);
    ASSERT_EQ(tail.lines.size(), 2u);
    EXPECT_EQ(tail.lines[0].text, "Please sign");
    // As much of "in to continue" as fits with the ellipsis: one more character would not fit.
    const std::string second = tail.lines[1].text;
    ASSERT_GE(second.size(), 4u);
    EXPECT_EQ(second.substr(second.size() - 3), "\xE2\x80\xA6");
    EXPECT_EQ(std::string(text).find(second.substr(0, second.size() - 3)), 12u);
    EXPECT_LE(tail.lines[1].width, room);
    const std::string longer = text.substr(12, second.size() - 3 + 1) + "\xE2\x80\xA6";
    EXPECT_GT(width(longer), room);

    const CGFloat narrow = width("abcd\xE2\x80\xA6") + 0.5;
    const TextLayout head = TextMetrics::layout("abcdefghijkl", kFont16, narrow, 1, NSLineBreakMode::byTruncatingHead);
    ASSERT_EQ(head.lines.size(), 1u);
    EXPECT_EQ(head.lines[0].text.substr(0, 3), "\xE2\x80\xA6");
    EXPECT_EQ(head.lines[0].text.back(), 'l');
    EXPECT_LE(head.lines[0].width, narrow);
    const TextLayout middle =
        TextMetrics::layout("abcdefghijkl", kFont16, narrow, 1, NSLineBreakMode::byTruncatingMiddle);
    ASSERT_EQ(middle.lines.size(), 1u);
    EXPECT_EQ(middle.lines[0].text.front(), 'a');
    EXPECT_EQ(middle.lines[0].text.back(), 'l');
    EXPECT_NE(middle.lines[0].text.find("\xE2\x80\xA6"), std::string::npos);
    EXPECT_LE(middle.lines[0].width, narrow);

    // Wrapping modes just cut.
    const TextLayout cut =
        TextMetrics::layout("Please sign in", kFont16, width("Please") + 5, 1, NSLineBreakMode::byWordWrapping);
    EXPECT_EQ(texts(cut), (std::vector<std::string>{"Please"}));
    EXPECT_TRUE(cut.truncated);
    // Text that fits is left alone; a width too small for even the ellipsis leaves the ellipsis.
    EXPECT_EQ(texts(TextMetrics::layout("Close", kFont16, 80, 1, NSLineBreakMode::byTruncatingTail)),
              (std::vector<std::string>{"Close"}));
    EXPECT_EQ(texts(TextMetrics::layout("Close all", kFont16, 2, 1, NSLineBreakMode::byTruncatingTail)),
              (std::vector<std::string>{"\xE2\x80\xA6"}));
}

TEST(NSStringDrawingTest, SizeBoundingRectAndDrawing) {
    const NSAttributes attrs{{NSAttributedStringKey::font, kFont16}};
    EXPECT_EQ(NSString("Forgot password?").size(attrs), (CGSize{width("Forgot password?"), kFont16.lineHeight()}));
    // The platform's default font when none is given: system 12.
    EXPECT_EQ(NSString("abc").size({}),
              (CGSize{width("abc", UIFont::systemFont(12)), UIFont::systemFont(12).lineHeight()}));

    const std::string text = "Please sign in to continue";
    const CGFloat room = width("Please sign") + 2;
    const CGRect wrapped =
        NSString(text).boundingRect({room, 1000}, NSStringDrawingOptions::usesLineFragmentOrigin, attrs);
    EXPECT_EQ(wrapped, (CGRect{0, 0, width("Please sign"), 3 * kFont16.lineHeight()}));
    const CGRect oneLine = NSString(text).boundingRect({room, 1000}, 0, attrs);
    EXPECT_EQ(oneLine.size, (CGSize{width(text), kFont16.lineHeight()}));
    const CGRect limited = NSString(text).boundingRect(
        {room, 2.5 * kFont16.lineHeight()},
        NSStringDrawingOptions::usesLineFragmentOrigin | NSStringDrawingOptions::truncatesLastVisibleLine, attrs);
    EXPECT_DOUBLE_EQ(limited.size.height, 2 * kFont16.lineHeight());

    NSParagraphStyle centred;
    centred.alignment = NSTextAlignment::center;
    auto ctx = coregraphics::CGContext::create();
    NSString("Hi").draw(CGRect{0, 0, 100, 20}, attrs);  // outside a draw pass: nothing
    {
        coregraphics::GraphicsContextScope scope(ctx);
        NSString("Hi there")
            .draw(CGRect{0, 0, width("there") + 1, 100}, {{NSAttributedStringKey::font, kFont16},
                                                          {NSAttributedStringKey::foregroundColor, UIColor::white()},
                                                          {NSAttributedStringKey::paragraphStyle, centred}});
    }
    const auto lines = ctx->commands(coregraphics::CGDrawCommand::Kind::drawText);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, "Hi");
    EXPECT_DOUBLE_EQ(lines[0].rect.midX(), (width("there") + 1) / 2);  // centred
    EXPECT_EQ(lines[0].rect.size, (CGSize{width("Hi"), kFont16.lineHeight()}));
    EXPECT_EQ(lines[1].text, "there");
    EXPECT_DOUBLE_EQ(lines[1].rect.minY(), kFont16.lineHeight());
    EXPECT_EQ(lines[1].fontName, "System-Regular");
    EXPECT_EQ(lines[1].color, coregraphics::CGColor::white());

    // Attributed text draws with the attributes it measures with (its first character's).
    ctx->removeAllCommands();
    {
        coregraphics::GraphicsContextScope scope(ctx);
        NSAttributedString("Sign up", {{NSAttributedStringKey::font, UIFont::boldSystemFont(15)},
                                       {NSAttributedStringKey::foregroundColor, UIColor::red()}})
            .draw(CGPoint{3, 4});
    }
    const auto signUp = ctx->commands(coregraphics::CGDrawCommand::Kind::drawText);
    ASSERT_EQ(signUp.size(), 1u);
    EXPECT_EQ(signUp[0].rect.origin, (CGPoint{3, 4}));
    EXPECT_EQ(signUp[0].font, UIFont::boldSystemFont(15).cgFont());
    EXPECT_EQ(signUp[0].color, UIColor::red().cgColor());
}

TEST(NSAttributedStringTest, RunsEditsAndClampedRanges) {
    NSMutableAttributedString text("Show password", {{NSAttributedStringKey::font, kFont16}});
    text.addAttribute(NSAttributedStringKey::foregroundColor, UIColor(90 / 255.0, 96 / 255.0, 108 / 255.0, 1), {0, 4});
    EXPECT_EQ(text.length(), 13u);
    const auto runs = text.runs();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].range, (NSRange{0, 4}));
    EXPECT_EQ(runs[1].range, (NSRange{4, 9}));
    NSRange effective;
    const NSAttributes at6 = text.attributes(6, &effective);
    EXPECT_EQ(effective, (NSRange{4, 9}));
    EXPECT_EQ(foregroundColorAttribute(at6), nullptr);
    ASSERT_NE(fontAttribute(at6), nullptr);
    EXPECT_EQ(*fontAttribute(at6), kFont16);

    // Ranges past the end are clamped instead of trapping.
    text.addAttribute(NSAttributedStringKey::kern, 2.0, {10, 100});
    EXPECT_EQ(kernAttribute(text.attributes(12)), 2.0);
    EXPECT_EQ(text.attributes(99), NSAttributes{});
    text.removeAttribute(NSAttributedStringKey::font, {50, 5});
    EXPECT_EQ(text.runs().size(), 3u);

    // Characters, not bytes; appending itself is safe.
    NSMutableAttributedString accent("\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(accent.length(), 3u);
    accent.append(accent);
    EXPECT_EQ(accent.string(), "\xC3\xA9t\xC3\xA9\xC3\xA9t\xC3\xA9");
    accent.replaceCharacters({1, 4}, "-");
    EXPECT_EQ(accent.string(), "\xC3\xA9-\xC3\xA9");
    EXPECT_EQ(accent.attributedSubstring({2, 10}).string(), "\xC3\xA9");

    // Measured with the first character's attributes.
    EXPECT_EQ(NSAttributedString("abcd", {{NSAttributedStringKey::font, kFont16}}).size(),
              (CGSize{width("abcd"), kFont16.lineHeight()}));
}
