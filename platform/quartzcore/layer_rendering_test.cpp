#include <gtest/gtest.h>

#include <cmath>

#include "coregraphics/CGBitmapContext.h"
#include "quartzcore/QuartzCore.h"

using namespace quartzcore;
using coregraphics::CGBitmapContext;
using imageio::RGBA;

namespace {

constexpr CGColor kRed{1, 0, 0, 1};
constexpr CGColor kGreen{0, 1, 0, 1};
constexpr CGColor kBlue{0, 0, 1, 1};
constexpr RGBA kClear{0, 0, 0, 0};
constexpr RGBA kOpaqueRed{255, 0, 0, 255};
constexpr RGBA kOpaqueGreen{0, 255, 0, 255};
constexpr RGBA kOpaqueBlue{0, 0, 255, 255};

std::shared_ptr<CALayer> layer(const CGRect& frame, std::optional<CGColor> background = std::nullopt) {
    auto l = CALayer::create();
    l->setFrame(frame);
    l->setBackgroundColor(background);
    return l;
}

imageio::Bitmap render(CALayer& root, CGSize size) {
    auto ctx = CGBitmapContext::create(size, 1);
    root.render(*ctx);
    EXPECT_EQ(ctx->gStateDepth(), 0);
    return ctx->bitmap();
}

RGBA at(const imageio::Bitmap& b, std::uint32_t x, std::uint32_t y) {
    return b.pixel(x, y).value_or(RGBA{1, 2, 3, 4});
}

}  // namespace

TEST(CALayerRenderingTest, BackgroundCornersAndBorderInsideTheBounds) {
    auto root = layer({0, 0, 20, 20}, kRed);
    root->setCornerRadius(6);
    root->setBorderWidth(2);
    root->setBorderColor(kBlue);
    const auto image = render(*root, {20, 20});
    EXPECT_EQ(at(image, 0, 0), kClear);  // outside the rounded corner
    EXPECT_EQ(at(image, 10, 0), kOpaqueBlue);
    EXPECT_EQ(at(image, 10, 1), kOpaqueBlue);
    EXPECT_EQ(at(image, 10, 2), kOpaqueRed);
    EXPECT_EQ(at(image, 19, 10), kOpaqueBlue);
    EXPECT_EQ(at(image, 10, 10), kOpaqueRed);
    // A border colour that is absent, or a border wider than the layer: no crash, the layer covered.
    root->setBorderWidth(50);
    EXPECT_EQ(at(render(*root, {20, 20}), 10, 10), kOpaqueBlue);
    root->setBorderColor(std::nullopt);
    EXPECT_EQ(at(render(*root, {20, 20}), 10, 10), kOpaqueRed);
}

TEST(CALayerRenderingTest, SublayersArePlacedByPositionAnchorAndTransformAndMaskedOnRequest) {
    auto root = layer({0, 0, 40, 40});
    auto holder = layer({0, 0, 20, 20}, kRed);
    root->addSublayer(holder);
    auto spill = layer({15, 15, 20, 20}, kGreen);
    holder->addSublayer(spill);
    auto bar = layer({0, 0, 10, 4}, kBlue);
    bar->setPosition({30, 8});
    bar->setTransform(CGAffineTransform::makeRotation(M_PI / 2));  // 4 wide, 10 high around (30, 8)
    root->addSublayer(bar);

    auto image = render(*root, {40, 40});
    EXPECT_EQ(at(image, 17, 17), kOpaqueGreen);
    EXPECT_EQ(at(image, 30, 30), kOpaqueGreen);  // outside the holder: shown without masking
    EXPECT_EQ(at(image, 5, 5), kOpaqueRed);
    EXPECT_EQ(at(image, 29, 4), kOpaqueBlue);
    EXPECT_EQ(at(image, 31, 12), kOpaqueBlue);
    EXPECT_EQ(at(image, 33, 8), kClear);
    EXPECT_EQ(at(image, 30, 2), kClear);

    holder->setMasksToBounds(true);
    holder->setCornerRadius(4);
    image = render(*root, {40, 40});
    EXPECT_EQ(at(image, 17, 17), kOpaqueGreen);
    EXPECT_EQ(at(image, 19, 19), kClear);  // the rounded corner cuts the sublayer too
    EXPECT_EQ(at(image, 30, 30), kClear);

    // The anchor point: the same bar anchored at its top left hangs from its position.
    bar->setAnchorPoint({0, 0});
    bar->setTransform(CGAffineTransform::identity());
    bar->setPosition({25, 30});
    image = render(*root, {40, 40});
    EXPECT_EQ(at(image, 25, 30), kOpaqueBlue);
    EXPECT_EQ(at(image, 34, 33), kOpaqueBlue);
    EXPECT_EQ(at(image, 24, 30), kClear);
}

TEST(CALayerRenderingTest, OpacityComposesTheWholeSubtreeAndHiddenLayersVanish) {
    auto root = layer({0, 0, 30, 10});
    auto group = layer({0, 0, 30, 10});
    group->setOpacity(0.5);
    root->addSublayer(group);
    group->addSublayer(layer({0, 0, 20, 10}, kRed));
    group->addSublayer(layer({10, 0, 20, 10}, kRed));
    auto image = render(*root, {30, 10});
    EXPECT_NEAR(at(image, 5, 5)[3], 128, 1);
    EXPECT_EQ(at(image, 15, 5), at(image, 5, 5));  // the overlap does not show through
    EXPECT_EQ(at(image, 15, 5)[0], 255);

    group->setIsHidden(true);
    EXPECT_EQ(at(render(*root, {30, 10}), 5, 5), kClear);
    group->setIsHidden(false);
    group->setOpacity(0);
    EXPECT_EQ(at(render(*root, {30, 10}), 5, 5), kClear);
    root->setIsHidden(true);
    group->setOpacity(1);
    EXPECT_EQ(at(render(*root, {30, 10}), 5, 5), kClear);
}

TEST(CALayerRenderingTest, ContentsImagesFollowTheirGravity) {
    // 4 × 2 pixels, left half red, right half blue.
    const std::vector<std::uint8_t> rgba{255, 0, 0, 255, 255, 0, 0, 255, 0, 0, 255, 255, 0, 0, 255, 255,
                                         255, 0, 0, 255, 255, 0, 0, 255, 0, 0, 255, 255, 0, 0, 255, 255};
    auto root = layer({0, 0, 20, 10});
    EXPECT_TRUE(root->contentsImageRect().isNull());
    root->setContentsImage(coregraphics::CGImage::create(*imageio::Bitmap::fromRGBA(4, 2, rgba)));
    EXPECT_EQ(root->contentsImageRect(), (CGRect{0, 0, 20, 10}));  // resize by default
    EXPECT_EQ(at(render(*root, {20, 10}), 2, 9), kOpaqueRed);
    EXPECT_EQ(at(render(*root, {20, 10}), 17, 0), kOpaqueBlue);

    root->setContentsGravity(CALayerContentsGravity::resizeAspect);
    EXPECT_EQ(root->contentsImageRect(), (CGRect{0, 0, 20, 10}));
    root->setBounds({0, 0, 20, 20});
    EXPECT_EQ(root->contentsImageRect(), (CGRect{0, 5, 20, 10}));
    root->setContentsGravity(CALayerContentsGravity::resizeAspectFill);
    EXPECT_EQ(root->contentsImageRect(), (CGRect{-10, 0, 40, 20}));
    root->setContentsGravity(CALayerContentsGravity::bottomRight);
    root->setContentsScale(2);  // 2 × 1 points
    EXPECT_EQ(root->contentsImageRect(), (CGRect{18, 19, 2, 1}));
    root->setContentsGravity(CALayerContentsGravity::center);
    EXPECT_EQ(root->contentsImageRect(), (CGRect{9, 9.5, 2, 1}));
    EXPECT_STREQ(rawValue(CALayerContentsGravity::resizeAspectFill), "resizeAspectFill");

    root->setContentsGravity(CALayerContentsGravity::topLeft);
    root->setContentsScale(1);
    const auto image = render(*root, {20, 20});
    EXPECT_EQ(at(image, 0, 0), kOpaqueRed);
    EXPECT_EQ(at(image, 3, 1), kOpaqueBlue);
    EXPECT_EQ(at(image, 4, 0), kClear);
    EXPECT_EQ(at(image, 0, 2), kClear);
}

TEST(CALayerRenderingTest, GradientAndShapeLayersPaintTheirContent) {
    auto gradient = CAGradientLayer::create();
    gradient->setFrame({0, 0, 10, 100});
    gradient->setColors({CGColor::black(), CGColor::white()});
    gradient->setCornerRadius(5);  // followed even without masksToBounds
    auto image = render(*gradient, {10, 100});
    EXPECT_EQ(at(image, 0, 0), kClear);
    EXPECT_LT(at(image, 5, 2)[0], 10);
    EXPECT_NEAR(at(image, 5, 50)[0], 128, 3);
    EXPECT_GT(at(image, 5, 97)[0], 245);

    gradient->setStartPoint({0, 0.5});
    gradient->setEndPoint({1, 0.5});
    gradient->setCornerRadius(0);
    gradient->setLocations(std::vector<CGFloat>{0.5, 1});
    image = render(*gradient, {10, 100});
    EXPECT_EQ(at(image, 2, 50), (RGBA{0, 0, 0, 255}));  // before the first stop: its colour
    gradient->setType(CAGradientLayerType::radial);
    gradient->setStartPoint({0.5, 0.5});
    gradient->setEndPoint({1, 1});
    gradient->setLocations(std::nullopt);
    image = render(*gradient, {10, 100});
    EXPECT_LT(at(image, 5, 50)[0], 30);
    EXPECT_GT(at(image, 5, 98)[0], 200);

    auto shape = CAShapeLayer::create();
    shape->setFrame({0, 0, 20, 10});
    CGPath line;
    line.move({0, 5});
    line.addLine({20, 5});
    shape->setPath(line);
    shape->setFillColor(std::nullopt);
    shape->setStrokeColor(kRed);
    shape->setLineWidth(2);
    shape->setStrokeEnd(0.5);
    image = render(*shape, {20, 10});
    EXPECT_EQ(at(image, 5, 5), kOpaqueRed);
    EXPECT_EQ(at(image, 15, 5), kClear);
    shape->setStrokeStart(0.5);
    shape->setStrokeEnd(1);
    image = render(*shape, {20, 10});
    EXPECT_EQ(at(image, 5, 5), kClear);
    EXPECT_EQ(at(image, 15, 5), kOpaqueRed);
    shape->setFillColor(kBlue);
    shape->setPath(CGPath::ellipse({0, 0, 10, 10}));
    shape->setStrokeStart(0);
    image = render(*shape, {20, 10});
    EXPECT_EQ(at(image, 5, 5), kOpaqueBlue);
}

TEST(CALayerRenderingTest, DelegateDrawingIsLimitedToTheBoundsWithTheContextCurrent) {
    struct Painter : CALayerDelegate {
        void drawIn(CALayer&, CGContext& ctx) override {
            current = coregraphics::currentContext().get() == &ctx;
            ctx.setFillColor(kGreen);
            ctx.fill({-10, -10, 100, 100});
        }
        bool current = false;
    };
    auto root = layer({0, 0, 30, 30});
    auto child = layer({10, 10, 10, 10});
    auto painter = std::make_shared<Painter>();
    child->setDelegate(painter);
    root->addSublayer(child);
    const auto image = render(*root, {30, 30});
    EXPECT_TRUE(painter->current);
    EXPECT_EQ(coregraphics::currentContext(), nullptr);
    EXPECT_EQ(at(image, 10, 10), kOpaqueGreen);
    EXPECT_EQ(at(image, 19, 19), kOpaqueGreen);
    EXPECT_EQ(at(image, 9, 10), kClear);
    EXPECT_EQ(at(image, 20, 20), kClear);
}
