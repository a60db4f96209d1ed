#include <gtest/gtest.h>

#include <cmath>

#include "coregraphics/CGContext.h"
#include "uikit/NSAttributedString.h"
#include "uikit/NSStringDrawing.h"

using namespace uikit;

namespace {
const UIFont kFont16 = UIFont::systemFont(16);  // advance 8, line height 20
std::vector<std::string> texts(const TextLayout& layout) {
    std::vector<std::string> out;
    for (const auto& l : layout.lines) out.push_back(l.text);
    return out;
}
}  // namespace

TEST(TextMetricsTest, AdvancesFollowTheDocumentedRule) {
    EXPECT_EQ(TextMetrics::width("Hello", kFont16), 40);
    EXPECT_EQ(TextMetrics::width("Hi  ", kFont16), 16);  // trailing spaces do not count
    EXPECT_EQ(TextMetrics::width("  Hi", kFont16), 32);
    // Characters, not bytes.
    EXPECT_EQ(TextMetrics::width("caf\xC3\xA9", kFont16), 32);
    EXPECT_EQ(TextMetrics::width("\xE2\x80\xA6", kFont16), 8);
    // Malformed bytes count one character each.
    EXPECT_EQ(TextMetrics::width("a\xFF\xC3", kFont16), 24);

    const UIFont mono = UIFont::monospacedDigitSystemFont(16, UIFont::Weight::regular);
    EXPECT_DOUBLE_EQ(TextMetrics::width("01:23", mono), 4 * 9.6 + 8);
    EXPECT_DOUBLE_EQ(TextMetrics::width("ab", UIFont::boldSystemFont(16)), 16.8);
    EXPECT_DOUBLE_EQ(TextMetrics::width("ab", kFont16, 1.5), 19);
}

TEST(TextMetricsTest, WrapsWordsBreaksLongWordsAndLimitsLines) {
    // 10 characters fit in 80 points.
    const TextLayout wrapped = TextMetrics::layout("Please sign in to continue", kFont16, 80);
    EXPECT_EQ(texts(wrapped), (std::vector<std::string>{"Please", "sign in to", "continue"}));
    EXPECT_EQ(wrapped.size, (CGSize{80, 60}));
    EXPECT_FALSE(wrapped.truncated);

    const TextLayout longWord = TextMetrics::layout("abcdefghijklmnopqrstuvwxy z", kFont16, 80);
    EXPECT_EQ(texts(longWord), (std::vector<std::string>{"abcdefghij", "klmnopqrst", "uvwxy z"}));

    // A width below one character still makes progress.
    EXPECT_EQ(texts(TextMetrics::layout("abc", kFont16, 3)), (std::vector<std::string>{"a", "b", "c"}));
    // No usable width: no wrapping.
    EXPECT_EQ(TextMetrics::layout("a b c", kFont16, 0).lines.size(), 1u);
    EXPECT_EQ(TextMetrics::layout("a b c", kFont16, NAN).lines.size(), 1u);

    EXPECT_EQ(texts(TextMetrics::layout("one\ntwo\r\n\nfour", kFont16, 0)),
              (std::vector<std::string>{"one", "two", "", "four"}));
    EXPECT_EQ(TextMetrics::layout("", kFont16, 100).size, (CGSize{0, 0}));

    const TextLayout charWrap = TextMetrics::layout("ab cdef", kFont16, 32, 0, NSLineBreakMode::byCharWrapping);
    EXPECT_EQ(texts(charWrap), (std::vector<std::string>{"ab c", "def"}));

    const TextLayout spaced = TextMetrics::layout("a b c", kFont16, 8, 0, NSLineBreakMode::byWordWrapping, 0, 4);
    EXPECT_EQ(spaced.size.height, 3 * 20 + 2 * 4);
}

TEST(TextMetricsTest, TruncatesTheLastVisibleLine) {
    const TextLayout tail =
        TextMetrics::layout("Please sign in to continue", kFont16, 80, 2, NSLineBreakMode::byTruncatingTail);
    EXPECT_TRUE(tail.truncated);
    EXPECT_EQ(texts(tail), (std::vector<std::string>{"Please", "sign in t\xE2\x80\xA6"}));
    EXPECT_LE(tail.size.width, 80);

    const TextLayout head = TextMetrics::layout("abcdefghijkl", kFont16, 40, 1, NSLineBreakMode::byTruncatingHead);
    EXPECT_EQ(texts(head), (std::vector<std::string>{"\xE2\x80\xA6ijkl"}));
    const TextLayout middle = TextMetrics::layout("abcdefghijkl", kFont16, 40, 1, NSLineBreakMode::byTruncatingMiddle);
    EXPECT_EQ(texts(middle), (std::vector<std::string>{"ab\xE2\x80\xA6kl"}));

    // Wrapping modes just cut.
    const TextLayout cut = TextMetrics::layout("Please sign in", kFont16, 80, 1, NSLineBreakMode::byWordWrapping);
    EXPECT_EQ(texts(cut), (std::vector<std::string>{"Please"}));
    EXPECT_TRUE(cut.truncated);
    // Text that fits is left alone.
    EXPECT_EQ(texts(TextMetrics::layout("Close", kFont16, 80, 1, NSLineBreakMode::byTruncatingTail)),
              (std::vector<std::string>{"Close"}));
}

TEST(NSStringDrawingTest, SizeBoundingRectAndDrawing) {
    const NSAttributes attrs{{NSAttributedStringKey::font, kFont16}};
    EXPECT_EQ(NSString("Forgot password?").size(attrs), (CGSize{128, 20}));
    // The platform's default font when none is given: system 12 (advance 6, line 15).
    EXPECT_EQ(NSString("abc").size({}), (CGSize{18, 15}));

    const CGRect wrapped = NSString("Please sign in to continue")
                               .boundingRect({80, 1000}, NSStringDrawingOptions::usesLineFragmentOrigin, attrs);
    EXPECT_EQ(wrapped, (CGRect{0, 0, 80, 60}));
    const CGRect oneLine = NSString("Please sign in to continue").boundingRect({80, 1000}, 0, attrs);
    EXPECT_EQ(oneLine.size.height, 20);
    const CGRect limited = NSString("Please sign in to continue")
                               .boundingRect({80, 45},
                                             NSStringDrawingOptions::usesLineFragmentOrigin |
                                                 NSStringDrawingOptions::truncatesLastVisibleLine,
                                             attrs);
    EXPECT_EQ(limited.size.height, 40);

    NSParagraphStyle centred;
    centred.alignment = NSTextAlignment::center;
    auto ctx = coregraphics::CGContext::create();
    NSString("Hi").draw(CGRect{0, 0, 100, 20}, attrs);  // outside a draw pass: nothing
    {
        coregraphics::GraphicsContextScope scope(ctx);
        NSString("Hi there")
            .draw(CGRect{0, 0, 40, 100}, {{NSAttributedStringKey::font, kFont16},
                                          {NSAttributedStringKey::foregroundColor, UIColor::white()},
                                          {NSAttributedStringKey::paragraphStyle, centred}});
    }
    EXPECT_EQ(ctx->description(),
              "drawText 'Hi' (12, 0, 16 x 20) System-Regular 16 #ffffffff\n"
              "drawText 'there' (0, 20, 40 x 20) System-Regular 16 #ffffffff\n");
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
    EXPECT_EQ(NSAttributedString("abcd", {{NSAttributedStringKey::font, kFont16}}).size(), (CGSize{32, 20}));
}
