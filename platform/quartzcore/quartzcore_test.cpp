#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dispatch/testing/ManualClockScope.h"
#include "quartzcore/QuartzCore.h"

using namespace quartzcore;
using coregraphics::CGDrawCommand;

namespace {

// Implicit animations are timed on the process clock: a manual one here.
class ManualClockFixture : public ::testing::Test {
  protected:
    void TearDown() override { CATransaction::flush(); }
    void advance(double seconds) { clock_.advance(seconds); }

    dispatch::testing::ManualClockScope clock_;
};

class RecordingDelegate : public CALayerDelegate {
  public:
    void layoutSublayers(CALayer& layer) override {
        ++layouts;
        if (!layer.sublayers().empty()) layer.sublayers().front()->setFrame(layer.bounds());
    }
    void drawIn(CALayer& layer, CGContext& ctx) override {
        EXPECT_EQ(coregraphics::currentContext().get(), &ctx);
        ctx.setFillColor(CGColor::white());
        ctx.fill(layer.bounds());
    }
    std::optional<std::shared_ptr<CAAction>> action(CALayer&, const std::string& key) override {
        if (key == "opacity") return std::shared_ptr<CAAction>();  // the null marker: no action
        return std::nullopt;
    }
    int layouts = 0;
};

}  // namespace

TEST(CALayerGeometryTest, FrameFollowsPositionAnchorPointAndBounds) {
    auto layer = CALayer::create();
    layer->setFrame({10, 20, 100, 50});
    EXPECT_EQ(layer->bounds(), (CGRect{0, 0, 100, 50}));
    EXPECT_EQ(layer->position(), (CGPoint{60, 45}));
    EXPECT_EQ(layer->frame(), (CGRect{10, 20, 100, 50}));

    // Moving the anchor keeps the position, so the frame moves.
    layer->setAnchorPoint({0, 0});
    EXPECT_EQ(layer->frame(), (CGRect{60, 45, 100, 50}));
    layer->setFrame({0, 0, 60, 66});
    EXPECT_EQ(layer->position(), (CGPoint{0, 0}));

    // The key-moment marker: anchor at the dot's centre, placed by position.
    auto marker = CALayer::create();
    marker->setBounds({0, 0, 60, 66});
    marker->setAnchorPoint({0.5, 48.0 / 66});
    marker->setPosition({200, 30});
    EXPECT_EQ(marker->frame(), (CGRect{170, -18, 60, 66}));

    // Bounds origin shifts the content, not the frame.
    marker->setBounds({5, 5, 60, 66});
    EXPECT_EQ(marker->frame(), (CGRect{170, -18, 60, 66}));
}

TEST(CALayerGeometryTest, ScaleTransformsApplyAroundTheAnchorPoint) {
    auto layer = CALayer::create();
    layer->setFrame({0, 0, 60, 66});
    layer->setTransform(CGAffineTransform::makeScale(1.3, 1.3));
    // Centre anchor: grows around (30, 33).
    EXPECT_EQ(layer->frame(), (CGRect{30 - 39, 33 - 42.9, 78, 85.8}));
    EXPECT_EQ(layer->bounds().size, (CGSize{60, 66}));

    auto anchored = CALayer::create();
    anchored->setBounds({0, 0, 60, 66});
    anchored->setAnchorPoint({0.5, 1});
    anchored->setPosition({100, 100});
    anchored->setTransform(CGAffineTransform::makeScale(2, 2));
    EXPECT_EQ(anchored->frame(), (CGRect{40, -32, 120, 132}));

    // Setting the frame under a scale sets the untransformed size and keeps the anchor relation.
    anchored->setFrame({0, 0, 100, 50});
    EXPECT_EQ(anchored->bounds().size, (CGSize{50, 25}));
    EXPECT_EQ(anchored->frame(), (CGRect{0, 0, 100, 50}));

    // A rotation keeps the bounds size; the frame is the bounding box.
    auto rotated = CALayer::create();
    rotated->setFrame({0, 0, 40, 20});
    rotated->setTransform(CGAffineTransform::makeRotation(M_PI / 2));
    EXPECT_EQ(rotated->frame(), (CGRect{10, -10, 20, 40}));
    rotated->setFrame({100, 100, 5, 5});
    EXPECT_EQ(rotated->bounds().size, (CGSize{40, 20}));
    EXPECT_EQ(rotated->frame().origin, (CGPoint{100, 100}));
}

TEST(CALayerGeometryTest, ConvertsPointsAndRectsThroughTheTree) {
    auto root = CALayer::create();
    root->setFrame({0, 0, 400, 300});
    auto child = CALayer::create();
    child->setFrame({100, 50, 100, 100});
    child->setTransform(CGAffineTransform::makeScale(2, 2));  // frame (50, 0, 200, 200)
    auto grandchild = CALayer::create();
    grandchild->setFrame({10, 10, 20, 20});
    root->addSublayer(child);
    child->addSublayer(grandchild);

    EXPECT_EQ(child->convertTo(CGPoint{0, 0}, root.get()), (CGPoint{50, 0}));
    EXPECT_EQ(grandchild->convertTo(CGPoint{0, 0}, root.get()), (CGPoint{70, 20}));
    EXPECT_EQ(grandchild->convertTo(CGRect{0, 0, 20, 20}, root.get()), (CGRect{70, 20, 40, 40}));
    EXPECT_EQ(root->convertTo(CGPoint{70, 20}, grandchild.get()), (CGPoint{0, 0}));
    EXPECT_EQ(grandchild->convertFrom(CGPoint{90, 40}, root.get()), (CGPoint{10, 10}));
    EXPECT_EQ(grandchild->convertTo(CGPoint{5, 5}, nullptr), (CGPoint{80, 30}));
}

TEST(CALayerTreeTest, SublayerOrderReAddingAndCycles) {
    auto parent = CALayer::create();
    auto a = CALayer::create(), b = CALayer::create(), c = CALayer::create();
    parent->addSublayer(a);
    parent->addSublayer(b);
    parent->addSublayer(c);
    EXPECT_EQ(parent->sublayers(), (std::vector<std::shared_ptr<CALayer>>{a, b, c}));

    // Adding an existing sublayer again brings it to the top.
    parent->addSublayer(a);
    EXPECT_EQ(parent->sublayers(), (std::vector<std::shared_ptr<CALayer>>{b, c, a}));
    parent->insertSublayerAt(a, 0);
    EXPECT_EQ(parent->sublayers(), (std::vector<std::shared_ptr<CALayer>>{a, b, c}));
    parent->insertSublayerAt(c, 99);  // clamped
    parent->insertSublayerBelow(c, a);
    EXPECT_EQ(parent->sublayers(), (std::vector<std::shared_ptr<CALayer>>{c, a, b}));
    parent->insertSublayerAbove(c, b);
    EXPECT_EQ(parent->sublayers(), (std::vector<std::shared_ptr<CALayer>>{a, b, c}));

    // Moving to another parent leaves the old one.
    auto other = CALayer::create();
    other->addSublayer(b);
    EXPECT_EQ(parent->sublayers(), (std::vector<std::shared_ptr<CALayer>>{a, c}));
    EXPECT_EQ(b->superlayer(), other);

    // Cycles are refused.
    EXPECT_FALSE(a->addSublayer(a));
    a->addSublayer(other);
    EXPECT_FALSE(b->addSublayer(parent));
    EXPECT_FALSE(other->addSublayer(parent));
    EXPECT_TRUE(b->isDescendant(*parent));

    auto replacement = CALayer::create();
    EXPECT_TRUE(parent->replaceSublayerWith(c, replacement));
    EXPECT_EQ(parent->sublayers(), (std::vector<std::shared_ptr<CALayer>>{a, replacement}));
    EXPECT_EQ(c->superlayer(), nullptr);
    EXPECT_FALSE(parent->replaceSublayerWith(c, replacement));
}

TEST(CALayerTreeTest, RemovingTheLastReferenceWhileLeavingIsSafe) {
    auto parent = CALayer::create();
    std::weak_ptr<CALayer> weakChild;
    {
        auto child = CALayer::create();
        weakChild = child;
        parent->addSublayer(child);
    }
    ASSERT_FALSE(weakChild.expired());
    weakChild.lock()->removeFromSuperlayer();
    EXPECT_TRUE(weakChild.expired());
    EXPECT_TRUE(parent->sublayers().empty());

    // The superlayer is held weakly.
    auto orphan = CALayer::create();
    {
        auto shortLived = CALayer::create();
        shortLived->addSublayer(orphan);
    }
    EXPECT_EQ(orphan->superlayer(), nullptr);
}

TEST(CALayerTest, AppearanceDefaults) {
    auto layer = CALayer::create();
    EXPECT_EQ(layer->backgroundColor(), std::nullopt);
    EXPECT_EQ(layer->borderColor(), CGColor::black());
    EXPECT_EQ(layer->shadowOffset(), (CGSize{0, -3}));
    EXPECT_EQ(layer->shadowRadius(), 3);
    EXPECT_EQ(layer->shadowOpacity(), 0);
    EXPECT_EQ(layer->opacity(), 1);
    EXPECT_EQ(layer->anchorPoint(), (CGPoint{0.5, 0.5}));
    EXPECT_FALSE(layer->masksToBounds());
}

TEST_F(ManualClockFixture, ImplicitActionsFollowTheActionsTableAndTransactions) {
    auto layer = CALayer::create();
    layer->setActions({{"position", nullptr}, {"bounds", nullptr}});
    layer->setPosition({5, 5});
    layer->setBounds({0, 0, 10, 10});
    EXPECT_TRUE(layer->animationKeys().empty());
    EXPECT_EQ(layer->action("position"), nullptr);

    // Other animatable keys animate implicitly for the transaction's duration.
    layer->setBackgroundColor(CGColor::black());
    EXPECT_EQ(layer->animationKeys(), (std::vector<std::string>{"backgroundColor"}));
    advance(0.24);
    EXPECT_EQ(layer->animationKeys().size(), 1u);
    advance(0.02);
    EXPECT_TRUE(layer->animationKeys().empty());

    CATransaction::begin();
    CATransaction::setDisableActions(true);
    EXPECT_TRUE(CATransaction::disableActions());
    layer->setOpacity(0.5);
    CATransaction::commit();
    EXPECT_FALSE(CATransaction::disableActions());
    EXPECT_TRUE(layer->animationKeys().empty());
    EXPECT_EQ(layer->opacity(), 0.5);

    // Not animatable: no default action.
    EXPECT_EQ(layer->action("masksToBounds"), nullptr);
    EXPECT_NE(layer->action("shadowRadius"), nullptr);
}

TEST_F(ManualClockFixture, DelegateAnswersActionsAndLaysOutAndDraws) {
    auto delegate = std::make_shared<RecordingDelegate>();
    auto layer = CALayer::create();
    layer->setDelegate(delegate);
    auto sub = CALayer::create();
    layer->addSublayer(sub);

    layer->setOpacity(0.2);     // delegate says "no action"
    layer->setCornerRadius(4);  // delegate passes: default action
    EXPECT_EQ(layer->animationKeys(), (std::vector<std::string>{"cornerRadius"}));

    layer->setBounds({0, 0, 30, 40});
    EXPECT_TRUE(layer->needsLayout());
    layer->layoutIfNeeded();
    EXPECT_EQ(delegate->layouts, 1);
    EXPECT_FALSE(layer->needsLayout());
    EXPECT_EQ(sub->frame(), (CGRect{0, 0, 30, 40}));
    layer->layoutIfNeeded();
    EXPECT_EQ(delegate->layouts, 1);

    layer->setNeedsDisplay();
    layer->displayIfNeeded();
    ASSERT_NE(layer->contents(), nullptr);
    EXPECT_EQ(layer->contents()->description(), "setFillColor #ffffffff\nfillRect (0, 0, 30 x 40) #ffffffff\n");
    EXPECT_EQ(coregraphics::currentContext(), nullptr);
    layer->displayIfNeeded();
    EXPECT_EQ(layer->displayCount(), 1);

    // A delegate that is gone is not called.
    delegate.reset();
    layer->setNeedsLayout();
    layer->layoutIfNeeded();
    layer->display();
    EXPECT_TRUE(layer->contents()->commands().empty());
}

namespace {

// Logs the names of the layers it lays out; `onLayout` runs inside a layer's layout.
class NamingDelegate : public CALayerDelegate {
  public:
    std::shared_ptr<CALayer> make(const std::string& name, const std::shared_ptr<CALayer>& parent,
                                  const std::shared_ptr<NamingDelegate>& self) {
        auto layer = CALayer::create();
        layer->setDelegate(self);
        names[layer.get()] = name;
        if (parent) parent->addSublayer(layer);
        return layer;
    }
    void layoutSublayers(CALayer& layer) override {
        log.push_back(names[&layer]);
        if (onLayout) onLayout(layer);
    }
    void drawIn(CALayer& layer, CGContext& ctx) override {
        (void)ctx;
        drawn.push_back(names[&layer]);
    }
    std::vector<std::string> drawn;
    std::map<const CALayer*, std::string> names;
    std::vector<std::string> log;
    std::function<void(CALayer&)> onLayout;
};

}  // namespace

TEST(CALayerLayoutTest, LayoutVisitsOnlyTheBranchesThatAskedForIt) {
    auto delegate = std::make_shared<NamingDelegate>();
    auto root = delegate->make("root", nullptr, delegate);
    auto a = delegate->make("a", root, delegate);
    auto a1 = delegate->make("a1", a, delegate);
    auto deep = delegate->make("deep", a1, delegate);
    auto b = delegate->make("b", root, delegate);
    auto b1 = delegate->make("b1", b, delegate);
    root->layoutIfNeeded();
    // Each layer that gained a sublayer; the leaves never asked.
    EXPECT_EQ(delegate->log, (std::vector<std::string>{"root", "a", "a1", "b"}));
    EXPECT_FALSE(root->subtreeNeedsLayout());

    // A request deep down is known at the root, and lays out that layer alone.
    delegate->log.clear();
    deep->setNeedsLayout();
    EXPECT_FALSE(root->needsLayout());
    EXPECT_TRUE(root->subtreeNeedsLayout());
    EXPECT_TRUE(a->subtreeNeedsLayout());
    EXPECT_FALSE(b->subtreeNeedsLayout());
    root->layoutIfNeeded();
    EXPECT_EQ(delegate->log, (std::vector<std::string>{"deep"}));
    EXPECT_FALSE(root->subtreeNeedsLayout());

    // Requests from several branches are laid out in the order of the sublayers, whatever the order asked.
    delegate->log.clear();
    b1->setNeedsLayout();
    deep->setNeedsLayout();
    a->setNeedsLayout();
    root->layoutIfNeeded();
    EXPECT_EQ(delegate->log, (std::vector<std::string>{"a", "deep", "b1"}));
    EXPECT_FALSE(root->subtreeNeedsLayout());

    // A branch made apart, with requests of its own, is laid out where it is inserted, after its new parent.
    delegate->log.clear();
    auto x = delegate->make("x", nullptr, delegate);
    auto y = delegate->make("y", x, delegate);
    x->layoutIfNeeded();
    y->setNeedsLayout();
    delegate->log.clear();
    b1->addSublayer(x);
    root->layoutIfNeeded();
    EXPECT_EQ(delegate->log, (std::vector<std::string>{"b1", "y"}));

    // A request made during the pass for a branch already passed is kept for the next pass.
    delegate->log.clear();
    delegate->onLayout = [&](CALayer& layer) {
        if (&layer == b.get()) a1->setNeedsLayout();
    };
    b->setNeedsLayout();
    root->layoutIfNeeded();
    EXPECT_EQ(delegate->log, (std::vector<std::string>{"b"}));
    EXPECT_TRUE(root->subtreeNeedsLayout());
    delegate->onLayout = nullptr;
    root->layoutIfNeeded();
    EXPECT_EQ(delegate->log, (std::vector<std::string>{"b", "a1"}));

    // A layer removed while it needs layout is laid out in its own tree, not in the old one.
    delegate->log.clear();
    deep->setNeedsLayout();
    deep->removeFromSuperlayer();
    root->layoutIfNeeded();
    EXPECT_EQ(delegate->log, (std::vector<std::string>{"a1"}));  // it lost a sublayer
    deep->layoutIfNeeded();
    EXPECT_EQ(delegate->log, (std::vector<std::string>{"a1", "deep"}));
}

TEST(CAGradientLayerTest, ColorsLocationsAndInterpolation) {
    auto gradient = CAGradientLayer::create();
    EXPECT_EQ(gradient->startPoint(), (CGPoint{0.5, 0}));
    EXPECT_EQ(gradient->endPoint(), (CGPoint{0.5, 1}));
    EXPECT_STREQ(rawValue(gradient->type()), "axial");
    EXPECT_EQ(gradient->color(0.5), CGColor::clear());

    gradient->setColors({{0, 0, 0, 0.32}, {0, 0, 0, 0}});
    gradient->setLocations(std::vector<CGFloat>{0, 1});
    EXPECT_EQ(gradient->color(0), (CGColor{0, 0, 0, 0.32}));
    EXPECT_DOUBLE_EQ(gradient->color(0.5).alpha, 0.16);
    EXPECT_EQ(gradient->color(2), (CGColor{0, 0, 0, 0}));

    // Locations that do not match the colours are replaced by even spacing.
    gradient->setColors({CGColor::black(), CGColor::white(), CGColor::black()});
    EXPECT_EQ(gradient->effectiveLocations(), (std::vector<CGFloat>{0, 0.5, 1}));
    EXPECT_EQ(gradient->color(0.5), CGColor::white());
    EXPECT_DOUBLE_EQ(gradient->color(0.75).red, 0.5);
}

TEST(CAShapeLayerTest, DisplayRecordsFillAndStroke) {
    auto shape = CAShapeLayer::create();
    shape->setBounds({0, 0, 10, 10});
    shape->setPath(CGPath::ellipse({0, 0, 10, 10}));
    shape->setStrokeColor(CGColor::white());
    shape->setLineWidth(2);
    shape->setStrokeEnd(3);
    EXPECT_EQ(shape->strokeEnd(), 1);
    shape->display();
    const auto& commands = shape->contents()->commands();
    ASSERT_EQ(commands.size(), 5u);
    EXPECT_EQ(commands[1].kind, CGDrawCommand::Kind::fillPath);
    EXPECT_EQ(commands[1].color, CGColor::black());
    EXPECT_EQ(commands[4].kind, CGDrawCommand::Kind::strokePath);
    EXPECT_EQ(commands[4].lineWidth, 2);
}

TEST(CALayerDisplayTest, DisplayVisitsOnlyTheBranchesThatAskedAndHiddenOnesOnceShown) {
    auto delegate = std::make_shared<NamingDelegate>();
    auto root = delegate->make("root", nullptr, delegate);
    auto a = delegate->make("a", root, delegate);
    auto a1 = delegate->make("a1", a, delegate);
    auto b = delegate->make("b", root, delegate);
    auto b1 = delegate->make("b1", b, delegate);
    root->displaySubtreeIfNeeded();
    EXPECT_TRUE(delegate->drawn.empty()) << "nothing asked";

    // Requests anywhere are known at the root, and displayed in the order of the layers.
    b1->setNeedsDisplay();
    a1->setNeedsDisplay();
    EXPECT_TRUE(root->subtreeNeedsDisplay());
    EXPECT_FALSE(root->needsDisplay());
    root->displaySubtreeIfNeeded();
    EXPECT_EQ(delegate->drawn, (std::vector<std::string>{"a1", "b1"}));
    EXPECT_FALSE(root->subtreeNeedsDisplay());

    // A hidden branch is passed over with what it asked for, which is displayed once it is shown again.
    delegate->drawn.clear();
    b->setIsHidden(true);
    b1->setNeedsDisplay();
    a->setNeedsDisplay();
    root->displaySubtreeIfNeeded();
    EXPECT_EQ(delegate->drawn, (std::vector<std::string>{"a"}));
    EXPECT_TRUE(b1->needsDisplay());
    b->setIsHidden(false);
    EXPECT_TRUE(root->subtreeNeedsDisplay());
    root->displaySubtreeIfNeeded();
    EXPECT_EQ(delegate->drawn, (std::vector<std::string>{"a", "b1"}));

    // A branch made apart with requests of its own is displayed where it is inserted; a size change of a
    // layer that redraws on bounds changes asks too.
    delegate->drawn.clear();
    auto x = delegate->make("x", nullptr, delegate);
    auto y = delegate->make("y", x, delegate);
    y->setNeedsDisplay();
    a1->addSublayer(x);
    a->setNeedsDisplayOnBoundsChange(true);
    a->setBounds(CGRect(0, 0, 10, 10));
    root->displaySubtreeIfNeeded();
    EXPECT_EQ(delegate->drawn, (std::vector<std::string>{"a", "y"}));
}
