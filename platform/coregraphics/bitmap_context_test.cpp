#include <gtest/gtest.h>

#include <cmath>
#include <thread>
#include <vector>

#include "coregraphics/CGBitmapContext.h"
#include "coregraphics/CoreGraphics.h"

using namespace coregraphics;
using imageio::RGBA;

namespace {

constexpr CGColor kRed{1, 0, 0, 1};
constexpr CGColor kBlue{0, 0, 1, 1};

std::shared_ptr<CGBitmapContext> context(CGFloat w, CGFloat h, CGFloat scale = 1) {
    auto ctx = CGBitmapContext::create({w, h}, scale);
    EXPECT_NE(ctx, nullptr);
    return ctx;
}

RGBA at(const CGBitmapContext& ctx, std::uint32_t x, std::uint32_t y) {
    return ctx.bitmap().pixel(x, y).value_or(RGBA{1, 2, 3, 4});
}

constexpr RGBA kClear{0, 0, 0, 0};
constexpr RGBA kOpaqueRed{255, 0, 0, 255};
constexpr RGBA kOpaqueBlue{0, 0, 255, 255};

// Pixels with any alpha in one row.
int coveredInRow(const imageio::Bitmap& bitmap, std::uint32_t y) {
    int n = 0;
    for (std::uint32_t x = 0; x < bitmap.width(); ++x) n += bitmap.pixel(x, y)->at(3) > 0;
    return n;
}

}  // namespace

TEST(CGBitmapContextTest, RectanglesOnPixelEdgesAreExactAndCurvesAreAntialiased) {
    auto ctx = context(10, 10);
    EXPECT_EQ(at(*ctx, 0, 0), kClear);
    ctx->setFillColor(kRed);
    ctx->fill({2, 2, 6, 6});
    EXPECT_EQ(at(*ctx, 2, 2), kOpaqueRed);
    EXPECT_EQ(at(*ctx, 7, 7), kOpaqueRed);
    EXPECT_EQ(at(*ctx, 1, 2), kClear);
    EXPECT_EQ(at(*ctx, 8, 7), kClear);

    auto round = context(20, 20);
    round->setFillColor(kBlue);
    round->fillEllipse({0, 0, 20, 20});
    EXPECT_EQ(at(*round, 10, 10), kOpaqueBlue);
    EXPECT_EQ(at(*round, 0, 0), kClear);  // outside the circle
    // The edge between is partly covered.
    const RGBA edge = at(*round, 3, 2);
    EXPECT_GT(edge[3], 0);
    EXPECT_LT(edge[3], 255);
    EXPECT_EQ(edge[2], 255);  // the colour is not darkened by coverage
}

TEST(CGBitmapContextTest, FillRulesAlphaAndClear) {
    auto ctx = context(10, 10);
    ctx->setFillColor(kRed);
    ctx->addRect({0, 0, 10, 10});
    ctx->addRect({3, 3, 4, 4});
    ctx->fillPath(CGPathFillRule::evenOdd);
    EXPECT_EQ(at(*ctx, 5, 5), kClear);
    EXPECT_EQ(at(*ctx, 1, 1), kOpaqueRed);
    ctx->addRect({0, 0, 10, 10});
    ctx->addRect({3, 3, 4, 4});
    ctx->fillPath(CGPathFillRule::winding);
    EXPECT_EQ(at(*ctx, 5, 5), kOpaqueRed);

    // Half-transparent colour, and the global alpha on top of it.
    auto glass = context(4, 4);
    glass->setFillColor({0, 0, 1, 0.5});
    glass->fill({0, 0, 2, 4});
    glass->setAlpha(0.5);
    glass->setFillColor(kBlue);
    glass->fill({2, 0, 2, 4});
    EXPECT_NEAR(at(*glass, 0, 0)[3], 128, 1);
    EXPECT_EQ(at(*glass, 0, 0)[2], 255);
    EXPECT_NEAR(at(*glass, 3, 0)[3], 128, 1);

    ctx->clear({0, 0, 5, 10});
    EXPECT_EQ(at(*ctx, 1, 1), kClear);
    EXPECT_EQ(at(*ctx, 6, 1), kOpaqueRed);

    // An opaque context starts black and stays opaque.
    auto opaque = CGBitmapContext::create({4, 4}, 1, true);
    ASSERT_NE(opaque, nullptr);
    EXPECT_EQ(at(*opaque, 0, 0), (RGBA{0, 0, 0, 255}));
    opaque->setFillColor({1, 1, 1, 0.5});
    opaque->fill({0, 0, 4, 4});
    EXPECT_EQ(at(*opaque, 1, 1)[3], 255);
    EXPECT_NEAR(at(*opaque, 1, 1)[0], 128, 1);
}

TEST(CGBitmapContextTest, StrokesFollowWidthCapsJoinsAndDashes) {
    auto ctx = context(20, 10);
    ctx->setStrokeColor(kRed);
    ctx->setLineWidth(2);
    ctx->move({4, 5});
    ctx->addLine({16, 5});
    ctx->strokePath();
    EXPECT_EQ(at(*ctx, 10, 4), kOpaqueRed);
    EXPECT_EQ(at(*ctx, 10, 5), kOpaqueRed);
    EXPECT_EQ(at(*ctx, 10, 3), kClear);
    EXPECT_EQ(at(*ctx, 10, 6), kClear);
    EXPECT_EQ(at(*ctx, 3, 5), kClear);  // butt caps end at the end points

    ctx->setLineCap(CGLineCap::square);
    ctx->setStrokeColor(kBlue);
    ctx->move({4, 8});
    ctx->addLine({16, 8});
    ctx->strokePath();
    EXPECT_EQ(at(*ctx, 3, 8), kOpaqueBlue);  // square caps reach one half width further

    auto dashed = context(20, 4);
    dashed->setStrokeColor(kRed);
    dashed->setLineWidth(2);
    dashed->setLineDash(0, {2, 2});
    dashed->strokeLineSegments({{0, 2}, {20, 2}});
    const imageio::Bitmap row = dashed->bitmap();
    for (std::uint32_t x = 0; x < 20; ++x) EXPECT_EQ(row.pixel(x, 2)->at(3), (x / 2) % 2 == 0 ? 255 : 0) << x;
    EXPECT_EQ(coveredInRow(row, 2), 10);

    // A pattern with nothing to draw is refused and the previous one stays.
    dashed->setLineDash(0, {0, 0});
    dashed->setLineDash(0, {-1, 2});
    auto recorder = CGContext::create();
    recorder->setLineDash(1, {3, 1});
    recorder->setLineDash(0, {0, 0});
    recorder->strokeLineSegments({{0, 0}, {5, 0}});
    EXPECT_EQ(recorder->commands(CGDrawCommand::Kind::strokePath)[0].dashLengths, (std::vector<CGFloat>{3, 1}));
}

TEST(CGBitmapContextTest, GradientsRunBetweenTheirEndsAndExtendOnlyWhenAsked) {
    auto ctx = context(256, 4);
    const CGGradient blackToWhite{{{0, 0, 0, 1}, {1, 1, 1, 1}}, {}};
    ctx->drawLinearGradient(blackToWhite, {0, 0}, {256, 0});
    for (std::uint32_t x : {0u, 64u, 128u, 255u}) {
        const RGBA p = at(*ctx, x, 1);
        EXPECT_NEAR(p[0], x, 2) << x;
        EXPECT_EQ(p[3], 255);
    }

    // Between x = 100 and 150 only; then extended to the right.
    auto part = context(256, 4);
    const CGGradient redToBlue{{kRed, kBlue}, {0, 1}};
    part->drawLinearGradient(redToBlue, {100, 0}, {150, 0});
    EXPECT_EQ(at(*part, 50, 1), kClear);
    EXPECT_EQ(at(*part, 200, 1), kClear);
    EXPECT_EQ(at(*part, 125, 1)[3], 255);
    part->drawLinearGradient(redToBlue, {100, 0}, {150, 0}, CGGradientDrawingOptions::drawsAfterEndLocation);
    EXPECT_EQ(at(*part, 50, 1), kClear);
    EXPECT_EQ(at(*part, 200, 1), kOpaqueBlue);

    // Uneven stops: the colour changes at 0.25.
    auto stops = context(100, 2);
    stops->drawLinearGradient({{kRed, kRed, kBlue}, {0, 0.25, 1}}, {0, 0}, {100, 0});
    EXPECT_EQ(at(*stops, 20, 0), kOpaqueRed);
    EXPECT_GT(at(*stops, 60, 0)[2], 100);

    // Radial: the start colour at the centre, the end colour on the rim, nothing outside without the option.
    auto radial = context(40, 40);
    radial->drawRadialGradient(redToBlue, {20, 20}, 0, {20, 20}, 15);
    EXPECT_GT(at(*radial, 20, 20)[0], 230);
    EXPECT_GT(at(*radial, 20, 33)[2], 200);
    EXPECT_EQ(at(*radial, 1, 1), kClear);
    radial->drawRadialGradient(redToBlue, {20, 20}, 0, {20, 20}, 15, CGGradientDrawingOptions::drawsAfterEndLocation);
    EXPECT_EQ(at(*radial, 1, 1), kOpaqueBlue);

    // The global alpha applies to gradients too.
    auto faint = context(10, 2);
    faint->setAlpha(0.25);
    faint->drawLinearGradient(redToBlue, {0, 0}, {10, 0}, 3);
    EXPECT_NEAR(at(*faint, 5, 0)[3], 64, 1);
}

TEST(CGBitmapContextTest, ClipsIntersectAndEndWithTheirState) {
    auto ctx = context(20, 20);
    ctx->setFillColor(kRed);
    ctx->saveGState();
    ctx->clip(CGRect{0, 0, 10, 20});
    ctx->clip(CGRect{5, 0, 15, 10});
    ctx->fill({0, 0, 20, 20});
    ctx->restoreGState();
    EXPECT_EQ(at(*ctx, 7, 5), kOpaqueRed);
    EXPECT_EQ(at(*ctx, 2, 5), kClear);
    EXPECT_EQ(at(*ctx, 12, 5), kClear);
    EXPECT_EQ(at(*ctx, 7, 15), kClear);

    // A path clip (a circle) with the restored state: the fill reaches the corners again outside it.
    ctx->setFillColor(kBlue);
    ctx->saveGState();
    ctx->addEllipse({0, 0, 20, 20});
    ctx->clip();
    EXPECT_TRUE(ctx->isPathEmpty());
    ctx->fill({0, 0, 20, 20});
    ctx->restoreGState();
    EXPECT_EQ(at(*ctx, 10, 10), kOpaqueBlue);
    EXPECT_EQ(at(*ctx, 0, 19), kClear);
    ctx->fill({0, 18, 2, 2});
    EXPECT_EQ(at(*ctx, 0, 19), kOpaqueBlue);
}

TEST(CGBitmapContextTest, TransformsMoveScaleAndRotateWhatIsDrawn) {
    auto ctx = context(10, 10);
    ctx->setFillColor(kRed);
    ctx->translateBy(5, 0);
    ctx->rotate(M_PI / 2);  // x runs down the screen, y to the left
    ctx->fill({0, 0, 4, 2});
    EXPECT_EQ(at(*ctx, 4, 1), kOpaqueRed);
    EXPECT_EQ(at(*ctx, 3, 3), kOpaqueRed);
    EXPECT_EQ(at(*ctx, 5, 1), kClear);
    EXPECT_EQ(at(*ctx, 4, 4), kClear);

    // A 2× context: its transform starts with the scale, so points become two pixels.
    auto sharp = context(5, 5, 2);
    EXPECT_EQ(sharp->pixelWidth(), 10u);
    EXPECT_EQ(sharp->ctm(), CGAffineTransform::makeScale(2, 2));
    sharp->setFillColor(kBlue);
    sharp->fill({1, 1, 2, 2});
    EXPECT_EQ(at(*sharp, 2, 2), kOpaqueBlue);
    EXPECT_EQ(at(*sharp, 5, 5), kOpaqueBlue);
    EXPECT_EQ(at(*sharp, 6, 6), kClear);
    EXPECT_EQ(at(*sharp, 1, 1), kClear);
    // Fractional sizes round up to whole pixels.
    EXPECT_EQ(CGBitmapContext::create({10.2, 3}, 1)->pixelWidth(), 11u);

    // A transform that collapses everything draws nothing and does not stop later drawing.
    ctx->saveGState();
    ctx->scaleBy(0, 1);
    ctx->fill({0, 0, 10, 10});
    ctx->clip(CGRect{0, 0, 10, 10});
    ctx->restoreGState();
    EXPECT_EQ(at(*ctx, 9, 9), kClear);
    ctx->fill({0, 0, 1, 1});
    EXPECT_EQ(at(*ctx, 4, 0), kOpaqueRed);
}

TEST(CGBitmapContextTest, TransparencyLayersComposeBeforeTheirAlphaApplies) {
    // Two overlapping opaque squares at 50 %: drawn one by one the overlap is darker; in a layer it is not.
    auto apart = context(30, 10);
    apart->setAlpha(0.5);
    apart->setFillColor(kRed);
    apart->fill({0, 0, 20, 10});
    apart->fill({10, 0, 20, 10});
    EXPECT_GT(at(*apart, 15, 5)[3], at(*apart, 5, 5)[3]);

    auto layered = context(30, 10);
    layered->setAlpha(0.5);
    layered->beginTransparencyLayer();
    EXPECT_EQ(layered->alpha(), 1);
    layered->setFillColor(kRed);
    layered->fill({0, 0, 20, 10});
    layered->fill({10, 0, 20, 10});
    // Unbalanced calls inside the layer neither end it nor break the context.
    layered->saveGState();
    layered->clip(CGRect{0, 0, 1, 1});
    layered->endTransparencyLayer();
    EXPECT_EQ(layered->transparencyLayerDepth(), 0);
    EXPECT_EQ(layered->alpha(), 0.5);
    EXPECT_NEAR(at(*layered, 15, 5)[3], 128, 1);
    EXPECT_EQ(at(*layered, 15, 5)[3], at(*layered, 5, 5)[3]);
    layered->restoreGState();                           // nothing left to restore
    EXPECT_EQ(layered->fillColor(), CGColor::black());  // the state from before the layer
    layered->setAlpha(1);
    layered->setFillColor(kRed);
    layered->fill({0, 0, 1, 1});
    EXPECT_EQ(at(*layered, 0, 0), kOpaqueRed);

    // A bounded layer keeps its drawing inside the bounds.
    auto bounded = context(10, 10);
    bounded->beginTransparencyLayer(CGRect{0, 0, 5, 10});
    bounded->setFillColor(kBlue);
    bounded->fill({0, 0, 10, 10});
    bounded->restoreGState();  // a restore cannot end the layer
    EXPECT_EQ(bounded->transparencyLayerDepth(), 1);
    bounded->endTransparencyLayer();
    EXPECT_EQ(at(*bounded, 2, 2), kOpaqueBlue);
    EXPECT_EQ(at(*bounded, 7, 2), kClear);
}

TEST(CGBitmapContextTest, ImagesDrawUprightScaledAndAsMasks) {
    // 2 × 2: red, green / blue, half-transparent white.
    const std::vector<std::uint8_t> rgba{255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 128};
    const auto image = CGImage::create(*imageio::Bitmap::fromRGBA(2, 2, rgba));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->premultipliedPixels()[3], 0x80808080u);

    auto ctx = context(10, 10);
    ctx->draw(image, {1, 1, 2, 2});
    EXPECT_EQ(at(*ctx, 1, 1), kOpaqueRed);
    EXPECT_EQ(at(*ctx, 2, 1), (RGBA{0, 255, 0, 255}));
    EXPECT_EQ(at(*ctx, 1, 2), kOpaqueBlue);
    EXPECT_EQ(at(*ctx, 2, 2), (RGBA{255, 255, 255, 128}));
    EXPECT_EQ(at(*ctx, 3, 3), kClear);

    // Stretched to 8 × 8: the corners keep their colours and nothing spills out of the rectangle.
    ctx->clear({0, 0, 10, 10});
    ctx->draw(image, {1, 1, 8, 8});
    EXPECT_EQ(at(*ctx, 1, 1), kOpaqueRed);
    EXPECT_EQ(at(*ctx, 8, 1), (RGBA{0, 255, 0, 255}));
    EXPECT_EQ(at(*ctx, 1, 8), kOpaqueBlue);
    EXPECT_EQ(at(*ctx, 0, 0), kClear);
    EXPECT_EQ(at(*ctx, 9, 9), kClear);

    // As a mask: the fill colour wherever the image has alpha.
    auto mask = context(2, 2);
    mask->setFillColor(kRed);
    mask->fillMask(image, {0, 0, 2, 2});
    EXPECT_EQ(at(*mask, 1, 0), kOpaqueRed);
    EXPECT_EQ(at(*mask, 1, 1), (RGBA{255, 0, 0, 128}));
    EXPECT_EQ(mask->makeImage()->bitmap(), mask->bitmap());

    // Nothing to draw: no image, an empty rectangle.
    mask->draw(nullptr, {0, 0, 2, 2});
    mask->draw(image, {0, 0, 0, 2});
    EXPECT_EQ(at(*mask, 1, 0), kOpaqueRed);
}

TEST(CGBitmapContextTest, ImpossibleSizesMakeNoContext) {
    EXPECT_EQ(CGBitmapContext::create({0, 10}), nullptr);
    EXPECT_EQ(CGBitmapContext::create({10, -1}), nullptr);
    EXPECT_EQ(CGBitmapContext::create({NAN, 10}), nullptr);
    EXPECT_EQ(CGBitmapContext::create({10, 10}, 0), nullptr);
    EXPECT_EQ(CGBitmapContext::create({10, 10}, INFINITY), nullptr);
    EXPECT_EQ(CGBitmapContext::create({40000, 1}), nullptr);
    EXPECT_EQ(CGBitmapContext::create({20000, 20000}), nullptr);  // more pixels than an image may have
    EXPECT_EQ(CGImage::create(imageio::Bitmap()), nullptr);
}

TEST(CGBitmapContextTest, ThreadsDrawTheSameImageIntoTheirOwnContexts) {
    const auto image = CGImage::create(*imageio::Bitmap::filled(16, 16, {10, 200, 30, 255}));
    std::vector<imageio::Bitmap> results(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < results.size(); ++i) {
        threads.emplace_back([&, i] {
            auto ctx = CGBitmapContext::create({32, 32}, 1);
            ctx->rotate(0.3);
            ctx->draw(image, {4, 4, 20, 20});
            results[i] = ctx->bitmap();
        });
    }
    for (auto& t : threads) t.join();
    for (const auto& r : results) EXPECT_EQ(r, results.front());
}
