#include <gtest/gtest.h>

#include <cmath>
#include <span>
#include <vector>

#include "coregraphics/CGBitmapContext.h"
#include "imageio/ImageDecoder.h"
#include "uikit/UIBezierPath.h"
#include "uikit/UIColor.h"
#include "uikit/UIGraphics.h"
#include "uikit/UIGraphicsImageRenderer.h"
#include "uikit/UIImageView.h"
#include "uikit/UIScreen.h"

namespace uikit {
namespace {

using imageio::RGBA;
constexpr RGBA kRed{255, 0, 0, 255};
constexpr RGBA kClear{0, 0, 0, 0};

// 4 × 4: a red square in the top-left quarter, the rest clear; a circle's alpha makes it a useful mask.
std::shared_ptr<UIImage> quarterImage(CGFloat scale = 1) {
    UIGraphicsImageRendererFormat format{scale, false};
    return UIGraphicsImageRenderer(CGSize{4 / scale, 4 / scale}, format).image([&](auto& context) {
        UIColor::red().setFill();
        context.fill(CGRect(0, 0, 2 / scale, 2 / scale));
    });
}

TEST(UIGraphicsImageRendererTest, DrawsInPointsAtTheFormatScaleIntoAFreshImage) {
    UIGraphicsImageRenderer renderer(CGSize{10, 5}, {2, false});
    std::shared_ptr<coregraphics::CGContext> seen;
    const auto image = renderer.image([&](UIGraphicsImageRendererContext& context) {
        seen = UIGraphicsGetCurrentContext();
        EXPECT_EQ(&context.cgContext(), seen.get());
        EXPECT_EQ(context.cgContext().ctm(), coregraphics::CGAffineTransform::makeScale(2, 2));
        UIColor::red().setFill();
        UIBezierPath::rect(CGRect(0, 0, 5, 5)).fill();
        // What is drawn so far can be read back mid-way.
        EXPECT_EQ(context.currentImage()->pixel(9, 9), kRed);
    });
    EXPECT_NE(seen, nullptr);
    EXPECT_EQ(UIGraphicsGetCurrentContext(), nullptr);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->size(), (CGSize{10, 5}));
    EXPECT_EQ(image->scale(), 2);
    EXPECT_EQ(image->pixelWidth(), 20u);
    EXPECT_EQ(image->pixel(9, 9), kRed);
    EXPECT_EQ(image->pixel(10, 0), kClear);

    // Each call starts from a clear bitmap.
    EXPECT_EQ(renderer.image(nullptr)->pixel(0, 0), kClear);

    // Bounds with an origin: drawing at the origin lands at the top left of the image.
    const auto shifted = UIGraphicsImageRenderer(CGRect(10, 10, 4, 4), {1, false}).image([](auto& context) {
        UIColor::red().setFill();
        context.fill(CGRect(10, 10, 2, 2));
    });
    EXPECT_EQ(shifted->pixel(1, 1), kRed);
    EXPECT_EQ(shifted->pixel(2, 2), kClear);

    // The default format takes the main screen's scale; an opaque one starts black.
    EXPECT_EQ(UIGraphicsImageRendererFormat::defaultFormat().scale, UIScreen::main()->scale());
    EXPECT_EQ(UIGraphicsImageRenderer(CGSize{1, 1}, {1, true}).image(nullptr)->pixel(0, 0), (RGBA{0, 0, 0, 255}));
}

TEST(UIGraphicsImageRendererTest, ZeroSizeRenderersGiveTheEmptyImage) {
    for (CGSize size : {CGSize{0, 10}, CGSize{10, 0}, CGSize{-5, 5}, CGSize{NAN, 1}, CGSize{1e9, 1e9}}) {
        int runs = 0;
        UIGraphicsImageRenderer renderer(size, {1, false});
        const auto image = renderer.image([&](UIGraphicsImageRendererContext& context) {
            ++runs;
            context.fill(CGRect(0, 0, 5, 5));  // harmless
            EXPECT_TRUE(context.currentImage()->isEmpty());
        });
        EXPECT_EQ(runs, 1);
        ASSERT_NE(image, nullptr);
        EXPECT_TRUE(image->isEmpty());
        EXPECT_EQ(image->size(), (CGSize{0, 0}));
        EXPECT_EQ(image->cgImage(), nullptr);
        EXPECT_EQ(renderer.pngData(nullptr), std::nullopt);
        EXPECT_EQ(renderer.jpegData(0.8, nullptr), std::nullopt);
    }
    // A renderer with a scale that cannot map points to pixels draws at 1×.
    EXPECT_EQ(UIGraphicsImageRenderer(CGSize{3, 3}, {0, false}).format().scale, 1);
}

TEST(UIGraphicsImageRendererTest, ImagesEncodeAsPngAndJpegAndDecodeBack) {
    const auto image = quarterImage();
    const auto png = image->pngData();
    ASSERT_TRUE(png);
    const auto decoded = imageio::decodePNG(*png);
    ASSERT_TRUE(decoded) << decoded.error().localizedDescription();
    EXPECT_EQ(*decoded, image->bitmap());  // lossless, alpha kept

    // A noisy image: lower quality is smaller; the colours survive roughly.
    const auto noisy = UIGraphicsImageRenderer(CGSize{64, 64}, {1, true}).image([](auto& context) {
        for (int y = 0; y < 64; y += 4)
            for (int x = 0; x < 64; x += 4) {
                context.cgContext().setFillColor({(x * 7 % 64) / 64.0, (y * 5 % 64) / 64.0, ((x + y) % 64) / 64.0, 1});
                context.fill(CGRect(x, y, 4, 4));
            }
    });
    const auto best = noisy->jpegData(1.0), worst = noisy->jpegData(0.0);
    ASSERT_TRUE(best && worst);
    EXPECT_LT(worst->size(), best->size());
    const auto back = UIImage::fromData(*best);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->pixelWidth(), 64u);
    EXPECT_NEAR((*back->pixel(30, 30))[0], (*noisy->pixel(30, 30))[0], 12);
    EXPECT_TRUE(noisy->jpegData(NAN));  // an unusable quality is taken as the best
    EXPECT_EQ(UIImage::create()->pngData(), std::nullopt);
}

TEST(UIGraphicsImageRendererTest, ImagesDrawIntoTheCurrentContextAndImageViewsTintTemplates) {
    const auto quarter = quarterImage(2);  // 2 × 2 points
    EXPECT_EQ(quarter->size(), (CGSize{2, 2}));
    const auto drawn = UIGraphicsImageRenderer(CGSize{8, 8}, {1, false}).image([&](auto&) {
        quarter->draw(CGPoint{4, 4});                 // 2 × 2 points, the red quarter at (4, 4)
        quarter->draw(CGRect(0, 0, 8, 8));            // stretched: the red quarter covers (0…4, 0…4)
        UIImage::create()->draw(CGRect(0, 0, 8, 8));  // the empty image draws nothing
    });
    EXPECT_EQ(drawn->pixel(1, 1), kRed);
    EXPECT_EQ(drawn->pixel(4, 4), kRed);
    EXPECT_EQ(drawn->pixel(6, 6), kClear);
    quarter->draw(CGRect(0, 0, 1, 1));  // outside a draw pass: nothing, no crash

    // A template image shows its shape in the view's tint colour.
    auto view = UIImageView::create(quarter->withRenderingMode(UIImage::RenderingMode::alwaysTemplate));
    view->setTintColor(UIColor::blue());
    const auto tinted =
        UIGraphicsImageRenderer(CGSize{2, 2}, {2, false}).image([&](auto&) { view->draw(view->bounds()); });
    EXPECT_EQ(tinted->pixel(0, 0), (RGBA{0, 0, 255, 255}));
    EXPECT_EQ(tinted->pixel(3, 3), kClear);
    EXPECT_EQ(quarter->withRenderingMode(UIImage::RenderingMode::alwaysOriginal)->cgImage(), quarter->cgImage());
}

}  // namespace
}  // namespace uikit

namespace uikit {
namespace {

TEST(UIGraphicsImageRendererTest, CorruptAndEmptyImagesAreClearErrorsAndDrawNothing) {
    const auto png = *quarterImage()->pngData();
    const auto truncated = UIImage::decode(std::span<const std::uint8_t>(png).first(png.size() / 2));
    ASSERT_FALSE(truncated);
    EXPECT_TRUE(truncated.error().is<imageio::ImageDecodingError>());
    EXPECT_FALSE(truncated.error().localizedDescription().empty());
    EXPECT_EQ(UIImage::fromData(std::vector<std::uint8_t>{0x89, 'P', 'N', 'G'}), nullptr);

    // Image views without an image or with the empty one, at any size, draw nothing.
    auto empty = UIImageView::create(UIImage::create());
    EXPECT_EQ(empty->intrinsicContentSize(), (CGSize{0, 0}));
    empty->setFrame(CGRect(0, 0, 4, 4));
    auto none = UIImageView::create(CGRect(0, 0, 4, 4));
    auto flat = UIImageView::create(CGRect(0, 0, 0, 4));
    flat->setImage(quarterImage());
    const auto image = UIGraphicsImageRenderer(CGSize{4, 4}, {1, false}).image([&](auto&) {
        empty->draw(empty->bounds());
        none->draw(none->bounds());
        flat->draw(flat->bounds());
    });
    for (std::uint32_t y = 0; y < 4; ++y)
        for (std::uint32_t x = 0; x < 4; ++x) EXPECT_EQ(image->pixel(x, y), kClear);
}

}  // namespace
}  // namespace uikit
