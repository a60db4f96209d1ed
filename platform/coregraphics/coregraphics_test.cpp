#include <gtest/gtest.h>

#include <cmath>

#include "coregraphics/CoreGraphics.h"

using namespace coregraphics;

TEST(CGRectTest, NullAndEmptyRectangles) {
    const CGRect null = CGRect::null();
    EXPECT_TRUE(null.isNull());
    EXPECT_TRUE(null.isEmpty());
    EXPECT_TRUE(std::isinf(null.minX()));
    EXPECT_EQ(null.width(), 0);
    EXPECT_TRUE(null.insetBy(1, 1).isNull());
    EXPECT_TRUE(null.offsetBy(5, 5).isNull());
    EXPECT_TRUE(null.inset({1, 1, 1, 1}).isNull());
    EXPECT_TRUE(null.applying(CGAffineTransform::makeScale(2, 2)).isNull());
    EXPECT_FALSE(null.contains(CGPoint{0, 0}));

    const CGRect zeroWidth{10, 10, 0, 5};
    EXPECT_FALSE(zeroWidth.isNull());
    EXPECT_TRUE(zeroWidth.isEmpty());
    EXPECT_FALSE(zeroWidth.contains(CGPoint{10, 12}));
    EXPECT_FALSE(CGRect::zero().isNull());
    EXPECT_TRUE(CGRect::zero().isEmpty());
}

TEST(CGRectTest, NegativeSizesAreStandardizedForDerivedValues) {
    const CGRect r{10, 20, -4, -6};
    EXPECT_EQ(r.standardized(), (CGRect{6, 14, 4, 6}));
    EXPECT_EQ(r.minX(), 6);
    EXPECT_EQ(r.maxX(), 10);
    EXPECT_EQ(r.midY(), 17);
    EXPECT_EQ(r.width(), 4);
    EXPECT_EQ(r.height(), 6);
    EXPECT_TRUE(r.contains(CGPoint{6, 14}));
    EXPECT_FALSE(r.contains(CGPoint{10, 14}));
    EXPECT_EQ(r.offsetBy(1, 1), (CGRect{7, 15, 4, 6}));
}

TEST(CGRectTest, ContainsFollowsTheHalfOpenRule) {
    const CGRect r{0, 0, 10, 10};
    EXPECT_TRUE(r.contains(CGPoint{0, 0}));
    EXPECT_TRUE(r.contains(CGPoint{9.999, 9.999}));
    EXPECT_FALSE(r.contains(CGPoint{10, 5}));
    EXPECT_FALSE(r.contains(CGPoint{5, 10}));
    EXPECT_FALSE(r.contains(CGPoint{-0.001, 5}));

    EXPECT_TRUE(r.contains(CGRect{0, 0, 10, 10}));
    EXPECT_TRUE(r.contains(CGRect{2, 2, 0, 0}));
    EXPECT_FALSE(r.contains(CGRect{5, 5, 6, 1}));
    EXPECT_FALSE(r.contains(CGRect::null()));
}

TEST(CGRectTest, InsetsAndOffsets) {
    const CGRect r{0, 0, 60, 66};
    EXPECT_EQ(r.insetBy(15, 15), (CGRect{15, 15, 30, 36}));
    EXPECT_EQ(r.insetBy(-5, 0), (CGRect{-5, 0, 70, 66}));
    EXPECT_TRUE(r.insetBy(31, 0).isNull());  // more than half the width
    EXPECT_EQ(r.insetBy(30, 0), (CGRect{30, 0, 0, 66}));

    EXPECT_EQ(r.inset(UIEdgeInsets{15, 15, 15, 15}), (CGRect{15, 15, 30, 36}));
    EXPECT_EQ(r.inset(UIEdgeInsets{12, 0, 34, 0}), (CGRect{0, 12, 60, 20}));
    // Insets larger than the rectangle leave a negative size, which derived values standardize.
    const CGRect over = CGRect{0, 0, 10, 10}.inset(UIEdgeInsets{0, 20, 0, 0});
    EXPECT_EQ(over, (CGRect{20, 0, -10, 10}));
    EXPECT_EQ(over.width(), 10);
    EXPECT_EQ(over.minX(), 10);

    const UIEdgeInsets insets{4, 64.0 / 9, 4, 64.0 / 9};
    EXPECT_DOUBLE_EQ(insets.horizontal(), 128.0 / 9);
    EXPECT_EQ(insets.vertical(), 8);
    EXPECT_EQ(UIEdgeInsets::zero(), (UIEdgeInsets{0, 0, 0, 0}));
    EXPECT_NE(insets, UIEdgeInsets::zero());
}

TEST(CGRectTest, IntersectionAndUnion) {
    const CGRect a{0, 0, 10, 10}, b{5, 5, 10, 10}, touching{10, 0, 5, 5}, apart{20, 20, 1, 1};
    EXPECT_EQ(a.intersection(b), (CGRect{5, 5, 5, 5}));
    EXPECT_TRUE(a.intersects(b));
    // Touching rectangles share the edge as an empty rectangle but do not intersect.
    EXPECT_EQ(a.intersection(touching), (CGRect{10, 0, 0, 5}));
    EXPECT_FALSE(a.intersects(touching));
    EXPECT_TRUE(a.intersection(apart).isNull());
    EXPECT_FALSE(a.intersects(apart));
    EXPECT_TRUE(a.intersection(CGRect::null()).isNull());

    EXPECT_EQ(a.union_(b), (CGRect{0, 0, 15, 15}));
    EXPECT_EQ(a.union_(CGRect::null()), a);
    EXPECT_EQ(CGRect::null().union_(CGRect{1, 2, -1, 3}), (CGRect{0, 2, 1, 3}));
    EXPECT_TRUE(CGRect::null().union_(CGRect::null()).isNull());
    // A zero-size rectangle still counts for a union.
    EXPECT_EQ(a.union_(CGRect{20, 20, 0, 0}), (CGRect{0, 0, 20, 20}));
}

TEST(CGRectTest, DividedSplitsFromEachEdgeAndClampsTheDistance) {
    const CGRect r{0, 0, 60, 66};
    auto [slice, remainder] = r.divided(48, CGRectEdge::minYEdge);
    EXPECT_EQ(slice, (CGRect{0, 0, 60, 48}));
    EXPECT_EQ(remainder, (CGRect{0, 48, 60, 18}));

    auto fromMaxX = r.divided(10, CGRectEdge::maxXEdge);
    EXPECT_EQ(fromMaxX.slice, (CGRect{50, 0, 10, 66}));
    EXPECT_EQ(fromMaxX.remainder, (CGRect{0, 0, 50, 66}));

    auto tooFar = r.divided(100, CGRectEdge::minXEdge);
    EXPECT_EQ(tooFar.slice, r);
    EXPECT_EQ(tooFar.remainder, (CGRect{60, 0, 0, 66}));
    auto negative = r.divided(-5, CGRectEdge::maxYEdge);
    EXPECT_EQ(negative.slice, (CGRect{0, 66, 60, 0}));
    EXPECT_EQ(negative.remainder, r);

    auto fromNull = CGRect::null().divided(5, CGRectEdge::minXEdge);
    EXPECT_TRUE(fromNull.slice.isNull());
    EXPECT_TRUE(fromNull.remainder.isNull());
}

TEST(CGAffineTransformTest, ConcatenationOrderAndInverse) {
    const auto scale = CGAffineTransform::makeScale(2, 3);
    const auto move = CGAffineTransform::makeTranslation(10, 20);
    // Scale first, then translate.
    EXPECT_EQ((CGPoint{1, 1}).applying(scale.concatenating(move)), (CGPoint{12, 23}));
    // Translate first, then scale.
    EXPECT_EQ((CGPoint{1, 1}).applying(move.concatenating(scale)), (CGPoint{22, 63}));
    // scaledBy / translatedBy apply their own step before the receiver.
    EXPECT_EQ(move.scaledBy(2, 3), scale.concatenating(move));
    EXPECT_EQ(scale.translatedBy(10, 20), move.concatenating(scale));

    const auto t = scale.concatenating(move).rotated(0.3);
    const CGPoint p{3, -7};
    const CGPoint back = p.applying(t).applying(t.inverted());
    EXPECT_NEAR(back.x, p.x, 1e-12);
    EXPECT_NEAR(back.y, p.y, 1e-12);
    const auto product = t.concatenating(t.inverted());
    EXPECT_NEAR(product.a, 1, 1e-12);
    EXPECT_NEAR(product.b, 0, 1e-12);
    EXPECT_NEAR(product.tx, 0, 1e-12);

    // A singular transform is returned unchanged.
    const auto singular = CGAffineTransform::makeScale(0, 1);
    EXPECT_FALSE(singular.isInvertible());
    EXPECT_EQ(singular.inverted(), singular);
    EXPECT_TRUE(CGAffineTransform::identity().isIdentity());
    EXPECT_TRUE(CGAffineTransformIdentity.isIdentity());
    EXPECT_FALSE(scale.isIdentity());
}

TEST(CGAffineTransformTest, QuarterTurnsAreExactAndRectsTakeTheBoundingBox) {
    const auto quarter = CGAffineTransform::makeRotation(M_PI / 2);
    EXPECT_EQ((CGPoint{1, 0}).applying(quarter), (CGPoint{0, 1}));
    EXPECT_EQ((CGRect{0, 0, 10, 4}).applying(quarter), (CGRect{-4, 0, 4, 10}));
    EXPECT_EQ((CGPoint{1, 0}).applying(CGAffineTransform::makeRotation(-M_PI)), (CGPoint{-1, 0}));

    const CGRect r{10, 10, 20, 10};
    EXPECT_EQ(r.applying(CGAffineTransformMakeScale(1.3, 1.3)), (CGRect{13, 13, 26, 13}));
    EXPECT_EQ(r.applying(CGAffineTransformMakeScale(-1, 1)), (CGRect{-30, 10, 20, 10}));
    EXPECT_EQ((CGSize{10, 5}).applying(CGAffineTransform::makeTranslation(3, 3).scaledBy(2, 2)), (CGSize{20, 10}));

    const CGRect rotated = (CGRect{0, 0, 10, 10}).applying(CGAffineTransform::makeRotation(M_PI / 4));
    EXPECT_NEAR(rotated.width(), 10 * std::sqrt(2.0), 1e-9);
    EXPECT_NEAR(rotated.midX(), 0, 1e-9);
}

TEST(CGPathTest, ShapesRecordElementsAndExactBoundingBoxes) {
    CGMutablePath path;
    EXPECT_TRUE(path.boundingBox().isNull());
    path.addRect({0, 0, 10, 5});
    EXPECT_EQ(path.description(), "M 0 0 L 10 0 L 10 5 L 0 5 Z");

    const CGPath oval = CGPath::ellipse({10, 20, 30, 40});
    EXPECT_EQ(oval.elements().size(), 6u);  // move, four curves, close
    EXPECT_EQ(oval.boundingBox(), (CGRect{10, 20, 30, 40}));
    EXPECT_TRUE(oval.contains({25, 40}));
    EXPECT_FALSE(oval.contains({11, 21}));  // the corner lies outside the ellipse

    const CGPath rounded = CGPath::roundedRect({0, 0, 30, 20}, 3, 3);
    EXPECT_EQ(rounded.boundingBox(), (CGRect{0, 0, 30, 20}));
    EXPECT_TRUE(rounded.contains({15, 10}));
    EXPECT_FALSE(rounded.contains({0.2, 0.2}));
    // Corners larger than half a side are clamped: a 10-high capsule.
    const CGPath capsule = CGPath::roundedRect({0, 0, 40, 10}, 50, 50);
    EXPECT_EQ(capsule.boundingBox(), (CGRect{0, 0, 40, 10}));

    // Appending with a transform; a line without a current point starts a subpath.
    CGPath combined = CGPath::ellipse({0, 0, 6, 6});
    combined.addPath(CGPath::rect({2, 6, 2, 10}), CGAffineTransform::makeTranslation(1, 0));
    EXPECT_EQ(combined.boundingBox(), (CGRect{0, 0, 6, 16}));
    CGPath fresh;
    fresh.addLine({3, 4});
    EXPECT_EQ(fresh.elements().front().type, CGPathElementType::moveToPoint);
    EXPECT_EQ(fresh.currentPoint(), (CGPoint{3, 4}));

    // Null or non-finite shapes add nothing.
    CGPath empty;
    empty.addRect(CGRect::null());
    empty.addEllipse({0, 0, NAN, 1});
    EXPECT_TRUE(empty.isEmpty());
}

TEST(CGPathTest, FillRulesAndArcs) {
    CGPath rings;
    rings.addRect({0, 0, 10, 10});
    rings.addRect({2, 2, 6, 6});  // same direction: winding fills the hole, even-odd does not
    EXPECT_TRUE(rings.contains({5, 5}, CGPathFillRule::winding));
    EXPECT_FALSE(rings.contains({5, 5}, CGPathFillRule::evenOdd));
    EXPECT_TRUE(rings.contains({1, 1}, CGPathFillRule::evenOdd));

    CGPath arc;
    arc.addArc({0, 0}, 10, 0, M_PI, true);  // through +y on screen
    const CGRect box = arc.boundingBox();
    EXPECT_NEAR(box.minX(), -10, 1e-9);
    EXPECT_NEAR(box.maxX(), 10, 1e-9);
    EXPECT_NEAR(box.minY(), 0, 1e-9);
    EXPECT_GT(box.maxY(), 10 - 1e-9);
    EXPECT_NEAR(arc.currentPoint().x, -10, 1e-9);
}

TEST(CGContextTest, RecordsDrawingWithTheStateInForce) {
    auto ctx = CGContext::create({60, 66});
    ctx->clear({0, 0, 60, 66});
    ctx->setFillColor({1, 0, 0, 1});
    ctx->beginTransparencyLayer();
    ctx->addPath(CGPath::roundedRect({15, 15, 30, 20}, 3, 3));
    ctx->fillPath(CGPathFillRule::winding);
    ctx->endTransparencyLayer();
    ctx->saveGState();
    ctx->translateBy(5, 5);
    ctx->setStrokeColor(CGColor::white());
    ctx->setLineWidth(2);
    ctx->move({0, 10});
    ctx->addLine({20, 10});
    ctx->strokePath();
    ctx->restoreGState();
    ctx->drawText("Hi", {0, 0, 16, 20}, CGFont{"System-Regular", "", 400, false, 16}, CGColor::black());
    ctx->draw(CGImage::create(*imageio::Bitmap::filled(2, 1, {1, 2, 3, 4})), {1, 2, 3, 4});

    const auto fills = ctx->commands(CGDrawCommand::Kind::fillPath);
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_EQ(fills[0].color, (CGColor{1, 0, 0, 1}));
    EXPECT_EQ(fills[0].path.boundingBox(), (CGRect{15, 15, 30, 20}));
    const auto strokes = ctx->commands(CGDrawCommand::Kind::strokePath);
    ASSERT_EQ(strokes.size(), 1u);
    EXPECT_EQ(strokes[0].lineWidth, 2);
    EXPECT_EQ(strokes[0].color, CGColor::white());
    EXPECT_EQ(strokes[0].ctm, CGAffineTransform::makeTranslation(5, 5));
    EXPECT_EQ(strokes[0].description(), "strokePath 2 #ffffffff M 0 10 L 20 10 ctm [1 0 0 1 5 5]");
    // Restored state: identity transform, line width 1, black stroke.
    EXPECT_TRUE(ctx->ctm().isIdentity());
    EXPECT_EQ(ctx->lineWidth(), 1);
    EXPECT_EQ(ctx->strokeColor(), CGColor::black());
    EXPECT_TRUE(ctx->isPathEmpty());
    EXPECT_EQ(ctx->commands(CGDrawCommand::Kind::drawText)[0].description(),
              "drawText 'Hi' (0, 0, 16 x 20) System-Regular 16 #000000ff");
    EXPECT_EQ(ctx->commands(CGDrawCommand::Kind::drawImage)[0].image, "CGImage(2x1)");
    EXPECT_EQ(ctx->commands().front().kind, CGDrawCommand::Kind::clear);
}

TEST(CGContextTest, UnbalancedCallsAreIgnoredAndEmptyPathsDrawNothing) {
    auto ctx = CGContext::create();
    ctx->restoreGState();
    ctx->endTransparencyLayer();
    ctx->fillPath();
    ctx->strokePath();
    ctx->setLineWidth(-3);
    ctx->setLineWidth(NAN);
    EXPECT_TRUE(ctx->commands().empty());
    EXPECT_EQ(ctx->lineWidth(), 1);

    // A transparency layer restores the state it began with.
    ctx->beginTransparencyLayer(CGRect{0, 48, 60, 18});
    ctx->setFillColor(CGColor::white());
    EXPECT_EQ(ctx->transparencyLayerDepth(), 1);
    ctx->endTransparencyLayer();
    EXPECT_EQ(ctx->fillColor(), CGColor::black());
    EXPECT_EQ(ctx->commands(CGDrawCommand::Kind::beginTransparencyLayer)[0].rect, (CGRect{0, 48, 60, 18}));

    // Clips intersect and are reported in the current user space.
    ctx->clip({0, 0, 50, 50});
    ctx->clip({10, 10, 100, 100});
    ctx->translateBy(10, 0);
    EXPECT_EQ(ctx->clipBoundingBox(), (CGRect{0, 10, 40, 40}));
}

TEST(CGContextTest, CurrentContextOnlyInsideAScope) {
    EXPECT_EQ(currentContext(), nullptr);
    auto outer = CGContext::create();
    auto inner = CGContext::create();
    {
        GraphicsContextScope a(outer);
        EXPECT_EQ(currentContext(), outer);
        {
            GraphicsContextScope b(inner);
            EXPECT_EQ(currentContext(), inner);
        }
        EXPECT_EQ(currentContext(), outer);
    }
    EXPECT_EQ(currentContext(), nullptr);
    popCurrentContext();  // ignored when empty
    EXPECT_EQ(currentContext(), nullptr);
}

TEST(CGContextTest, RecordsLineStylesPathClipsGradientsAndLayerSaves) {
    auto ctx = CGRecordingContext::create({20, 20});
    ctx->setLineCap(CGLineCap::round);
    ctx->setLineJoin(CGLineJoin::bevel);
    ctx->setLineDash(1, {4, 2});
    ctx->strokeEllipse({0, 0, 4, 4});
    const auto stroke = ctx->commands(CGDrawCommand::Kind::strokePath).at(0);
    EXPECT_EQ(stroke.lineCap, CGLineCap::round);
    EXPECT_NE(stroke.description().find("cap round join bevel dash 4 2 phase 1"), std::string::npos)
        << stroke.description();

    ctx->addEllipse({0, 0, 10, 10});
    ctx->clip(CGPathFillRule::evenOdd);
    EXPECT_TRUE(ctx->isPathEmpty());
    EXPECT_EQ(ctx->clipBoundingBox(), (CGRect{0, 0, 10, 10}));
    const auto clip = ctx->commands(CGDrawCommand::Kind::clip).at(0);
    EXPECT_TRUE(clip.rect.isNull());
    EXPECT_EQ(clip.fillRule, CGPathFillRule::evenOdd);

    ctx->drawLinearGradient({{CGColor::black(), CGColor::white()}, {}}, {0, 0}, {10, 0});
    ctx->drawLinearGradient({}, {0, 0}, {10, 0});  // no colours: nothing
    EXPECT_EQ(ctx->commands(CGDrawCommand::Kind::drawLinearGradient).at(0).description(),
              "drawLinearGradient (0, 0) -> (10, 0) 0:#000000ff 1:#ffffffff");
    EXPECT_EQ(ctx->commands(CGDrawCommand::Kind::drawLinearGradient).size(), 1u);
    EXPECT_EQ((CGGradient{{CGColor::white()}, {0.3}}.stops().size()), 2u);  // one colour paints everywhere

    // A restore cannot reach the save a transparency layer made; ending the layer closes its saves.
    ctx->setAlpha(0.5);
    ctx->beginTransparencyLayer();
    ctx->saveGState();
    ctx->restoreGState();
    ctx->restoreGState();
    EXPECT_EQ(ctx->transparencyLayerDepth(), 1);
    ctx->saveGState();
    ctx->endTransparencyLayer();
    EXPECT_EQ(ctx->gStateDepth(), 0);
    EXPECT_EQ(ctx->alpha(), 0.5);
    EXPECT_EQ(ctx->commands(CGDrawCommand::Kind::beginTransparencyLayer).at(0).alpha, 0.5);

    // Non-finite input draws nothing.
    ctx->removeAllCommands();
    ctx->fill({0, 0, NAN, 1});
    ctx->concatenate({NAN, 0, 0, 1, 0, 0});
    ctx->drawRadialGradient({{CGColor::black()}, {}}, {0, 0}, -1, {0, 0}, 5);
    EXPECT_TRUE(ctx->commands().empty());
}
