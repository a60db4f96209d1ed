#include "coregraphics/FontEngine.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>

#include "coregraphics/CGBitmapContext.h"
#include "dispatch/testing/RestoreOnExit.h"
#include "dispatch/testing/TemporaryFolder.h"

using namespace coregraphics;

namespace {

CGFont font(CGFloat size, int weight = 400, bool digits = false) {
    return CGFont{"Test", "", weight, digits, size};
}

FontEngine& engine() {
    return FontEngine::shared();
}

}  // namespace

TEST(FontEngineTest, MetricsComeFromTheSystemFaceAndScaleWithTheSize) {
    const CGFontMetrics m = engine().metrics(font(16));
    EXPECT_NEAR(m.lineHeight, 16 * 1.164, 0.05);  // DejaVu Sans: ascent 0.928, descent 0.236 of the size
    EXPECT_DOUBLE_EQ(m.lineHeight, m.ascent + m.descent);
    EXPECT_GT(m.ascent, m.capHeight);
    EXPECT_GT(m.capHeight, m.xHeight);
    EXPECT_GT(m.xHeight, 0);
    const CGFontMetrics twice = engine().metrics(font(32));
    EXPECT_NEAR(twice.ascent, 2 * m.ascent, 1e-2);
    EXPECT_NEAR(twice.capHeight, 2 * m.capHeight, 1e-2);
    EXPECT_EQ(engine().metrics(font(0)), CGFontMetrics{});
    EXPECT_EQ(engine().metrics(font(NAN)), CGFontMetrics{});
    EXPECT_TRUE(engine().hasFamily(FontEngine::kSystemFamily));
    EXPECT_TRUE(engine().hasFamily(FontEngine::kMonospacedFamily));
    const auto mono = engine().face("DejaVuSansMono");
    ASSERT_TRUE(mono) << "fonts-dejavu-core is required";
    EXPECT_EQ(mono->family, FontEngine::kMonospacedFamily);
    EXPECT_EQ(engine().face("DejaVuSans-Bold")->weight, 700);
}

TEST(FontEngineTest, WidthsFollowTheFaceWeightSpacingAndDigits) {
    const CGFloat hello = engine().width("Hello", font(16));
    EXPECT_GT(hello, 30);
    EXPECT_LT(hello, 50);
    EXPECT_NEAR(engine().width("Hello", font(32)), 2 * hello, 1e-2);
    EXPECT_GT(engine().width("Hello  ", font(16)), hello);  // white space counts here
    EXPECT_NEAR(engine().width("Hello", font(16), 1.5), hello + 5 * 1.5, 1e-3);
    EXPECT_EQ(engine().width("", font(16), 3), 0);
    // Bold is wider; semibold resolves to the bold face, medium to the regular one.
    EXPECT_GT(engine().width("Hello", font(16, 700)), hello);
    EXPECT_EQ(engine().width("Hello", font(16, 600)), engine().width("Hello", font(16, 700)));
    EXPECT_EQ(engine().width("Hello", font(16, 500)), hello);
    // Every digit takes the same advance in a monospaced-digit font.
    EXPECT_EQ(engine().width("1111", font(16, 400, true)), engine().width("8888", font(16, 400, true)));
    EXPECT_NE(engine().width("iiii", font(16, 400, true)), engine().width("8888", font(16, 400, true)));
    // Malformed UTF-8 and NUL measure as replacement characters rather than being refused.
    EXPECT_GT(engine().width(std::string("a\xFF\0b", 4), font(16)), engine().width("ab", font(16)));
}

TEST(FontEngineTest, ParagraphsBreakBetweenWordsAndInsideOnlyTooLongOnes) {
    const std::string text = "Please sign in to continue";
    const CGFloat firstThree = engine().width("Please sign in", font(16));
    const auto starts = engine().lineStarts(text, font(16), 0, firstThree + 1, false);
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(text.substr(starts[1]), "to continue");
    // At exactly the measured width the text stays on one line.
    EXPECT_EQ(engine().lineStarts(text, font(16), 0, engine().width(text, font(16)), false).size(), 1u);
    // A word wider than the line is broken inside; by character, anything breaks anywhere.
    const auto word = engine().lineStarts("abcdefghijklmnop", font(16), 0, 40, false);
    EXPECT_GT(word.size(), 2u);
    for (std::size_t i = 0; i + 1 < word.size(); ++i) {
        const std::string line = std::string("abcdefghijklmnop").substr(word[i], word[i + 1] - word[i]);
        EXPECT_LE(engine().width(line, font(16)), 40 + 1e-6) << line;
    }
    const auto chars = engine().lineStarts("ab cdef", font(16), 0, engine().width("ab cd", font(16)) + 0.1, true);
    ASSERT_EQ(chars.size(), 2u);
    EXPECT_EQ(chars[1], 5u);
    // A line narrower than one character still takes one; no usable width means one line.
    EXPECT_EQ(engine().lineStarts("abc", font(16), 0, 1, false).size(), 3u);
    // Spaces never make a line of their own, nor start one.
    EXPECT_EQ(engine().lineStarts("a b c", font(16), 0, 8, false), (std::vector<std::size_t>{0, 2, 4}));
    EXPECT_EQ(engine().lineStarts("a b c", font(16), 0, 0, false).size(), 1u);
    EXPECT_EQ(engine().lineStarts("a b c", font(16), 0, INFINITY, false).size(), 1u);
}

TEST(FontEngineTest, RegisteredFilesAddTheirFacesAndOtherFilesAreRefused) {
    const auto system = engine().face("DejaVuSans");
    ASSERT_TRUE(system);
    const auto serif = system->file.parent_path() / "DejaVuSerif.ttf";
    if (!std::filesystem::exists(serif)) GTEST_SKIP() << "no " << serif;
    const dispatch::testing::TemporaryFolder dir("fonts");
    const dispatch::testing::RestoreOnExit systemFacesOnly([] { engine().unregisterFontFiles(); });
    std::filesystem::copy_file(serif, dir / "Kit-Regular.ttf", std::filesystem::copy_options::overwrite_existing);

    EXPECT_FALSE(engine().hasFamily("DejaVu Serif"));  // not among the engine's fonts until registered
    const CGFont kit{"Kit-Regular", "DejaVu Serif", 400, false, 16};
    const CGFloat before = engine().width("Hello", kit);
    const auto face = engine().registerFontFile(dir / "Kit-Regular.ttf");
    ASSERT_TRUE(face) << face.error();
    EXPECT_EQ(face->family, "DejaVu Serif");
    EXPECT_EQ(face->weight, 400);
    EXPECT_EQ(face->postScriptName, "DejaVuSerif");
    EXPECT_TRUE(engine().hasFamily("DejaVu Serif"));
    EXPECT_EQ(engine().face("DejaVuSerif"), face);
    EXPECT_NE(engine().width("Hello", kit), before);  // now drawn with the serif face
    EXPECT_EQ(engine().registerFontFile(dir / "Kit-Regular.ttf"), face);

    std::ofstream(dir / "Fake-Bold.ttf") << "not a font";
    EXPECT_EQ(engine().registerFontFile(dir / "Fake-Bold.ttf").error(), "not a TrueType or OpenType font");
    EXPECT_FALSE(engine().registerFontFile(dir / "Missing.ttf"));
    EXPECT_FALSE(engine().registerFontFile(dir.path()));

    engine().unregisterFontFiles();
    EXPECT_FALSE(engine().hasFamily("DejaVu Serif"));
    EXPECT_TRUE(engine().hasFamily(FontEngine::kSystemFamily));
    EXPECT_EQ(engine().width("Hello", kit), before);
}

TEST(FontEngineTest, ThreadsMeasureAndDrawTextTogether) {
    const CGFloat expected = engine().width("Thread safe text 0123", font(15));
    std::vector<std::thread> threads;
    std::vector<int> mismatches(8, 0);
    std::vector<imageio::Bitmap> images(8);
    for (std::size_t t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 20; ++i) {
                mismatches[t] += engine().width("Thread safe text 0123", font(15)) != expected;
                engine().width("line " + std::to_string(i + static_cast<int>(t) * 100), font(10 + i));
            }
            auto ctx = CGBitmapContext::create({200, 30}, 2);
            ctx->drawText("Thread safe text 0123", {2, 2, 196, 20}, font(15), CGColor::black());
            images[t] = ctx->bitmap();
        });
    }
    for (auto& thread : threads) thread.join();
    for (std::size_t t = 0; t < 8; ++t) {
        EXPECT_EQ(mismatches[t], 0);
        EXPECT_EQ(images[t], images[0]);
    }
}

TEST(FontEngineTest, DrawnTextStaysInItsLineBox) {
    auto ctx = CGBitmapContext::create({120, 40}, 2);
    const CGRect box{10, 10, engine().width("Hgjy", font(20)), engine().metrics(font(20)).lineHeight};
    ctx->drawText("Hgjy", box, font(20), CGColor::black());
    const imageio::Bitmap b = ctx->bitmap();
    int inked = 0, outside = 0;
    for (std::uint32_t y = 0; y < b.height(); ++y)
        for (std::uint32_t x = 0; x < b.width(); ++x) {
            if (b.pixel(x, y)->at(3) == 0) continue;
            ++inked;
            // One device pixel of slack for anti-aliasing and the baseline on a whole pixel.
            const bool inside = x + 1 >= box.minX() * 2 && x <= box.maxX() * 2 + 1 && y + 1 >= box.minY() * 2 &&
                                y <= box.maxY() * 2 + 1;
            outside += !inside;
        }
    EXPECT_GT(inked, 200);
    EXPECT_EQ(outside, 0);
}
