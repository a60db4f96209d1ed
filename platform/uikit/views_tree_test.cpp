#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "coregraphics/CGContext.h"
#include "dispatch/testing/ManualClockScope.h"
#include "dispatch/testing/RestoreOnExit.h"
#include "uikit/UIImageView.h"
#include "uikit/UILabel.h"
#include "uikit/UIScreen.h"
#include "uikit/UIScrollView.h"
#include "uikit/UIView.h"
#include "uikit/UIWindow.h"

namespace {

using namespace uikit;

// Records the callbacks the view system makes, into a shared log.
class Probe : public UIView {
  public:
    static std::shared_ptr<Probe> create(std::string name, std::vector<std::string>* log, CGRect frame = CGRect()) {
        auto p = std::shared_ptr<Probe>(new Probe(frame));
        p->name_ = std::move(name);
        p->log_ = log;
        return p;
    }
    void willMoveToSuperview(const std::shared_ptr<UIView>& s) override {
        add("willMoveToSuperview(" + std::string(s ? "view" : "nil") + ")");
    }
    void didMoveToSuperview() override { add("didMoveToSuperview"); }
    void willMoveToWindow(const std::shared_ptr<UIWindow>& w) override {
        add("willMoveToWindow(" + std::string(w ? "window" : "nil") + ")");
    }
    void didMoveToWindow() override { add(std::string("didMoveToWindow(") + (window() ? "window" : "nil") + ")"); }
    void tintColorDidChange() override { add("tintColorDidChange"); }
    void layoutSubviews() override { add("layoutSubviews"); }
    void traitCollectionDidChange(const std::optional<UITraitCollection>&) override { add("traitCollectionDidChange"); }
    void draw(const CGRect& rect) override {
        add("draw");
        drawnWithContext = coregraphics::currentContext() != nullptr;
        if (auto ctx = coregraphics::currentContext()) ctx->fill(rect);
    }
    bool drawnWithContext = false;

  private:
    explicit Probe(CGRect frame) : UIView(frame) {}
    void add(const std::string& what) {
        if (log_) log_->push_back(name_ + "." + what);
    }
    std::string name_;
    std::vector<std::string>* log_ = nullptr;
};

class ViewsTree : public ::testing::Test {
  protected:
    dispatch::testing::ManualClockScope clock;
};

TEST_F(ViewsTree, FramesThroughScaleTransformsAndAnchorPoints) {
    auto root = UIView::create(CGRect(0, 0, 400, 400));
    auto v = UIView::create(CGRect(100, 100, 60, 40));
    root->addSubview(v);
    EXPECT_EQ(v->center(), (CGPoint{130, 120}));
    EXPECT_EQ(v->bounds(), CGRect(0, 0, 60, 40));

    // Scaling about the centre: the frame is the bounding box of the scaled bounds, the bounds stay.
    v->setTransform(CGAffineTransform::makeScale(2, 0.5));
    EXPECT_EQ(v->frame(), CGRect(70, 110, 120, 20));
    EXPECT_EQ(v->bounds(), CGRect(0, 0, 60, 40));
    EXPECT_EQ(v->convertTo(CGPoint{0, 0}, root), (CGPoint{70, 110}));
    EXPECT_EQ(v->convertFrom(CGPoint{190, 130}, root), (CGPoint{60, 40}));

    // Moving the anchor point to the top-left corner keeps the position: the layer moves around it.
    v->layer()->setAnchorPoint(CGPoint{0, 0});
    EXPECT_EQ(v->center(), (CGPoint{130, 120}));
    EXPECT_EQ(v->frame(), CGRect(130, 120, 120, 20));

    // Setting the frame under a scale sets the bounds to the unscaled size.
    v->setFrame(CGRect(0, 0, 60, 60));
    EXPECT_EQ(v->bounds().size, (CGSize{30, 120}));
    EXPECT_EQ(v->frame(), CGRect(0, 0, 60, 60));

    // Conversions go through every transform between two branches.
    v->setTransform(CGAffineTransform::identity());
    v->setFrame(CGRect(10, 10, 50, 50));
    auto branch = UIView::create(CGRect(200, 0, 100, 100));
    branch->setTransform(CGAffineTransform::makeScale(0.5, 0.5));  // frame (225, 25, 50, 50)
    root->addSubview(branch);
    auto leaf = UIView::create(CGRect(20, 20, 10, 10));
    branch->addSubview(leaf);
    EXPECT_EQ(leaf->convertTo(CGPoint{0, 0}, root), (CGPoint{235, 35}));
    EXPECT_EQ(leaf->convertTo(CGPoint{0, 0}, v), (CGPoint{225, 25}));
    EXPECT_EQ(leaf->convertTo(CGRect(0, 0, 10, 10), root), CGRect(235, 35, 5, 5));
    EXPECT_EQ(root->convertTo(CGPoint{235, 35}, leaf), (CGPoint{0, 0}));
    EXPECT_TRUE(leaf->isDescendant(root));
    EXPECT_FALSE(root->isDescendant(leaf));

    // Geometry that is not finite is refused rather than spreading NaN through layout.
    const double nan = std::nan("");
    leaf->setFrame(CGRect(nan, 0, 10, 10));
    leaf->setCenter(CGPoint{0, INFINITY});
    leaf->setTransform(CGAffineTransform{nan, 0, 0, 1, 0, 0});
    leaf->setAlpha(nan);
    EXPECT_EQ(leaf->frame(), CGRect(20, 20, 10, 10));
    EXPECT_EQ(leaf->alpha(), 1);
    leaf->setAlpha(3);
    EXPECT_EQ(leaf->alpha(), 1);
}

TEST_F(ViewsTree, HitTestingRules) {
    auto root = UIView::create(CGRect(0, 0, 300, 300));
    auto back = UIView::create(CGRect(0, 0, 200, 200));
    auto front = UIView::create(CGRect(50, 50, 100, 100));
    auto inner = UIView::create(CGRect(10, 10, 20, 20));
    root->addSubview(back);
    root->addSubview(front);
    front->addSubview(inner);
    EXPECT_EQ(root->hitTestWith(CGPoint{55, 55}, nullptr), front);  // front-most first
    EXPECT_EQ(root->hitTestWith(CGPoint{65, 65}, nullptr), inner);
    EXPECT_EQ(root->hitTestWith(CGPoint{10, 10}, nullptr), back);
    EXPECT_EQ(root->hitTestWith(CGPoint{250, 250}, nullptr), root);
    EXPECT_EQ(root->hitTestWith(CGPoint{350, 10}, nullptr), nullptr);
    // Half-open bounds: the far edge is outside.
    EXPECT_EQ(root->hitTestWith(CGPoint{150, 100}, nullptr), back);

    front->setIsHidden(true);
    EXPECT_EQ(root->hitTestWith(CGPoint{55, 55}, nullptr), back);
    front->setIsHidden(false);
    front->setAlpha(0.009);
    EXPECT_EQ(root->hitTestWith(CGPoint{55, 55}, nullptr), back);
    front->setAlpha(0.01);
    EXPECT_EQ(root->hitTestWith(CGPoint{55, 55}, nullptr), front);
    front->setIsUserInteractionEnabled(false);
    EXPECT_EQ(root->hitTestWith(CGPoint{65, 65}, nullptr), back);  // its subviews are skipped as well
    front->setIsUserInteractionEnabled(true);

    // A subview outside its superview's bounds is not reached through it.
    inner->setFrame(CGRect(120, 0, 20, 20));  // at x 170…190 in root, outside front
    EXPECT_EQ(root->hitTestWith(CGPoint{175, 55}, nullptr), back);
    // Labels and image views take no touches by default.
    auto label = UILabel::create(CGRect(200, 200, 50, 50));
    root->addSubview(label);
    EXPECT_EQ(root->hitTestWith(CGPoint{210, 210}, nullptr), root);

    // A view being animated takes no touches unless the animation allows user interaction.
    UIView::animate(1.0, [&] { front->setAlpha(0.5); });
    EXPECT_EQ(root->hitTestWith(CGPoint{55, 55}, nullptr), back);
    clock.advance(1.0);
    EXPECT_EQ(root->hitTestWith(CGPoint{55, 55}, nullptr), front);
    UIView::animate(1.0, 0, UIView::AnimationOptions::allowUserInteraction(), [&] { front->setAlpha(1); });
    EXPECT_EQ(root->hitTestWith(CGPoint{55, 55}, nullptr), front);
}

TEST_F(ViewsTree, TintIsInheritedAndChangesAreReported) {
    std::vector<std::string> log;
    auto root = Probe::create("root", &log);
    auto child = Probe::create("child", &log);
    auto grandchild = Probe::create("grandchild", &log);
    root->addSubview(child);
    child->addSubview(grandchild);
    EXPECT_EQ(grandchild->tintColor(), UIColor::systemBlue());
    log.clear();

    root->setTintColor(UIColor::red());
    EXPECT_EQ(grandchild->tintColor(), UIColor::red());
    EXPECT_EQ(log, (std::vector<std::string>{"root.tintColorDidChange", "child.tintColorDidChange",
                                             "grandchild.tintColorDidChange"}));
    log.clear();
    // A view with its own tint shields its subtree; setting the same colour again changes nothing.
    child->setTintColor(UIColor::green());
    root->setTintColor(UIColor::white());
    root->setTintColor(UIColor::white());
    EXPECT_EQ(log, (std::vector<std::string>{"child.tintColorDidChange", "grandchild.tintColorDidChange",
                                             "root.tintColorDidChange"}));
    EXPECT_EQ(grandchild->tintColor(), UIColor::green());
    log.clear();
    // Moving under a differently tinted view reports the change; back to inheriting too.
    auto other = Probe::create("other", &log);
    other->setTintColor(UIColor::yellow());
    log.clear();
    other->addSubview(grandchild);
    EXPECT_EQ(grandchild->tintColor(), UIColor::yellow());
    child->setTintColor(std::nullopt);
    EXPECT_EQ(child->tintColor(), UIColor::white());
    EXPECT_EQ(log, (std::vector<std::string>{"grandchild.willMoveToSuperview(view)", "grandchild.didMoveToSuperview",
                                             "grandchild.tintColorDidChange", "child.tintColorDidChange"}));
}

TEST_F(ViewsTree, MoveCallbacksComeInOrder) {
    std::vector<std::string> log;
    auto window = UIWindow::create(CGRect(0, 0, 320, 480));
    auto parent = Probe::create("parent", &log);
    auto child = Probe::create("child", &log);
    parent->addSubview(child);
    EXPECT_EQ(log, (std::vector<std::string>{"child.willMoveToSuperview(view)", "child.didMoveToSuperview"}));
    log.clear();

    window->addSubview(parent);
    EXPECT_EQ(log, (std::vector<std::string>{"parent.willMoveToSuperview(view)", "parent.willMoveToWindow(window)",
                                             "child.willMoveToWindow(window)", "parent.didMoveToWindow(window)",
                                             "child.didMoveToWindow(window)", "parent.didMoveToSuperview",
                                             "parent.traitCollectionDidChange", "child.traitCollectionDidChange"}));
    EXPECT_EQ(child->window(), window);
    log.clear();

    // Moving within the window: superview callbacks only.
    auto other = UIView::create();
    window->addSubview(other);
    other->addSubview(child);
    EXPECT_EQ(log, (std::vector<std::string>{"child.willMoveToSuperview(view)", "child.didMoveToSuperview"}));
    log.clear();

    child->removeFromSuperview();
    EXPECT_EQ(log, (std::vector<std::string>{"child.willMoveToSuperview(nil)", "child.willMoveToWindow(nil)",
                                             "child.didMoveToWindow(nil)", "child.didMoveToSuperview",
                                             "child.traitCollectionDidChange"}));
    EXPECT_EQ(child->superview(), nullptr);
    EXPECT_EQ(child->window(), nullptr);
    log.clear();

    // Re-adding a subview brings it to the front without callbacks; cycles are refused.
    auto a = Probe::create("a", &log);
    auto b = Probe::create("b", &log);
    parent->addSubview(a);
    parent->addSubview(b);
    log.clear();
    parent->addSubview(a);
    EXPECT_EQ(parent->subviews(), (std::vector<std::shared_ptr<UIView>>{b, a}));
    EXPECT_TRUE(log.empty());
    parent->sendSubviewToBack(a);
    parent->insertSubviewAboveSubview(child, a);
    EXPECT_EQ(parent->subviews(), (std::vector<std::shared_ptr<UIView>>{a, child, b}));
    // The layers follow the subviews' order.
    const auto& layers = parent->layer()->sublayers();
    ASSERT_EQ(layers.size(), 3u);
    EXPECT_EQ(layers[0], a->layer());
    EXPECT_EQ(layers[1], child->layer());
    EXPECT_EQ(layers[2], b->layer());
    ::testing::internal::CaptureStderr();
    a->addSubview(parent);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("its own ancestor"), std::string::npos);
    EXPECT_EQ(parent->superview(), window);
}

// Every view knows its window without looking for its root: whole branches follow moves between trees and
// windows, windows inside other trees, a hook that moves the view elsewhere, and a window that goes.
TEST_F(ViewsTree, EveryViewOfABranchKnowsTheWindowOfItsTreeThroughEveryMove) {
    // The window of the root, found by walking up: what window() must always answer.
    auto rootWindow = [](const std::shared_ptr<UIView>& view) -> std::shared_ptr<UIWindow> {
        std::shared_ptr<UIView> root = view;
        while (auto up = root->superview()) root = up;
        return std::dynamic_pointer_cast<UIWindow>(root);
    };
    auto first = UIWindow::create(CGRect(0, 0, 320, 480));
    auto second = UIWindow::create(CGRect(0, 0, 320, 480));
    auto holder = UIView::create();
    auto branch = UIView::create();
    std::vector<std::shared_ptr<UIView>> views{branch};
    for (int depth = 0; depth < 4; ++depth) {
        auto inner = UIView::create();
        views.back()->addSubview(inner);
        views.back()->addSubview(UIView::create());
        views.push_back(inner);
    }
    auto expectEvery = [&](const std::shared_ptr<UIWindow>& window, const char* when) {
        for (const auto& view : views) {
            EXPECT_EQ(view->window(), window) << when;
            EXPECT_EQ(view->window(), rootWindow(view)) << when;
            for (const auto& sub : view->subviews()) EXPECT_EQ(sub->window(), window) << when;
        }
    };
    EXPECT_EQ(first->window(), first) << "a window is its own";
    expectEvery(nullptr, "detached");

    first->addSubview(branch);
    expectEvery(first, "in the first window");
    second->addSubview(holder);
    holder->addSubview(branch);
    expectEvery(second, "moved straight to the second");
    holder->removeFromSuperview();
    expectEvery(nullptr, "its holder taken out of the window");
    first->addSubview(holder);
    expectEvery(first, "its holder put in the first");
    views[2]->removeFromSuperview();
    EXPECT_EQ(views[1]->window(), first);
    EXPECT_EQ(views[2]->window(), nullptr);
    EXPECT_EQ(views[4]->window(), nullptr) << "the whole branch that left";
    views[1]->addSubview(views[2]);
    expectEvery(first, "back");

    // A window inside another tree has that tree's window; taken out, its own again.
    holder->addSubview(second);
    EXPECT_EQ(second->window(), first);
    second->addSubview(branch);
    expectEvery(first, "in a window inside the first");
    second->removeFromSuperview();
    expectEvery(second, "that window on its own");

    // A hook that moves the view elsewhere while it leaves: the view ends where the hook put it.
    class Mover : public UIView {
      public:
        static std::shared_ptr<Mover> create() { return std::shared_ptr<Mover>(new Mover()); }
        std::shared_ptr<UIView> moveTo;
        std::shared_ptr<UIView> moveWhenRemoving;
        void willRemoveSubview(const std::shared_ptr<UIView>& subview) override {
            if (moveWhenRemoving == subview) {
                moveWhenRemoving.reset();
                moveTo->addSubview(subview);
            }
        }
    };
    auto mover = Mover::create();
    second->addSubview(mover);
    mover->addSubview(branch);
    mover->moveTo = holder;  // in the first window
    mover->moveWhenRemoving = branch;
    auto detached = UIView::create();
    detached->addSubview(branch);
    EXPECT_EQ(branch->superview(), holder);
    expectEvery(first, "moved by the hook");

    // A window that goes leaves the views it held (and still held elsewhere) without one.
    auto third = UIWindow::create(CGRect(0, 0, 100, 100));
    third->addSubview(branch);
    expectEvery(third, "in a third window");
    third.reset();
    expectEvery(nullptr, "that window gone");
    EXPECT_EQ(branch->superview(), nullptr);
}

TEST_F(ViewsTree, LayersFollowTheSubviewsThroughManyInsertsAndRemovals) {
    // Many siblings, put in and taken out at places all over the list, beside a sublayer of the parent's own.
    auto parent = UIView::create(CGRect(0, 0, 100, 100));
    auto own = quartzcore::CALayer::create();
    std::mt19937 random(11);
    std::vector<std::shared_ptr<UIView>> spare;
    for (int i = 0; i < 60; ++i) spare.push_back(UIView::create());
    for (int step = 0; step < 400; ++step) {
        if (step == 30) parent->layer()->insertSublayerAt(own, 7);
        const std::size_t count = parent->subviews().size();
        const auto& view = spare[random() % spare.size()];
        switch (random() % 4) {
            case 0:
                parent->insertSubviewAt(view, count ? random() % (count + 1) : 0);
                break;
            case 1:
                if (count) parent->insertSubviewBelowSubview(view, parent->subviews()[random() % count]);
                break;
            case 2:
                if (count) parent->subviews()[random() % count]->removeFromSuperview();
                break;
            default:
                if (count) parent->bringSubviewToFront(parent->subviews()[random() % count]);
                break;
        }
        std::vector<std::shared_ptr<quartzcore::CALayer>> expected, seen;
        for (const auto& sub : parent->subviews()) expected.push_back(sub->layer());
        for (const auto& layer : parent->layer()->sublayers()) {
            if (layer != own) seen.push_back(layer);
        }
        ASSERT_EQ(seen, expected) << "step " << step;
        if (step >= 30) {
            ASSERT_EQ(own->superlayer(), parent->layer()) << "step " << step;
        }
    }
}

TEST_F(ViewsTree, TraitsAndSafeAreaComeFromTheWindow) {
    auto screen = UIScreen::create(CGRect(0, 0, 390, 844), 3, UIUserInterfaceIdiom::phone);
    const dispatch::testing::RestoreOnExit defaultScreen([] { UIScreen::setMain(nullptr); });
    UIScreen::setMain(screen);
    auto window = UIWindow::create();
    EXPECT_EQ(window->frame(), CGRect(0, 0, 390, 844));
    std::vector<std::string> log;
    auto view = Probe::create("view", &log, CGRect(0, 0, 390, 844));
    window->addSubview(view);
    EXPECT_EQ(view->traitCollection().horizontalSizeClass, UIUserInterfaceSizeClass::compact);
    EXPECT_EQ(view->traitCollection().verticalSizeClass, UIUserInterfaceSizeClass::regular);
    EXPECT_EQ(view->traitCollection().userInterfaceIdiom, UIUserInterfaceIdiom::phone);
    EXPECT_EQ(view->traitCollection().displayScale, 3);
    log.clear();

    // Turning to landscape changes the traits of every view in the window.
    window->setFrame(CGRect(0, 0, 844, 390));
    EXPECT_EQ(view->traitCollection().horizontalSizeClass, UIUserInterfaceSizeClass::regular);
    EXPECT_EQ(view->traitCollection().verticalSizeClass, UIUserInterfaceSizeClass::compact);
    EXPECT_EQ(log, (std::vector<std::string>{"view.traitCollectionDidChange"}));
    UITraitCollection tablet{UIUserInterfaceSizeClass::regular, UIUserInterfaceSizeClass::regular,
                             UIUserInterfaceIdiom::pad, 2};
    window->setTraitCollection(tablet);
    EXPECT_EQ(view->traitCollection(), tablet);
    window->setFrame(CGRect(0, 0, 390, 844));

    // Safe area: the window's unsafe edges, the part that covers each view.
    window->setSafeAreaInsets(UIEdgeInsets{47, 0, 34, 0});
    auto inner = UIView::create(CGRect(10, 20, 100, 100));
    view->addSubview(inner);
    auto guided = UIView::create();
    view->addSubview(guided);
    guided->snp().makeConstraints([&](ConstraintMaker& make) { make.edges().equalTo(view->safeAreaLayoutGuide()); });
    window->layoutIfNeeded();
    EXPECT_EQ(view->safeAreaInsets(), (UIEdgeInsets{47, 0, 34, 0}));
    EXPECT_EQ(inner->safeAreaInsets(), (UIEdgeInsets{27, 0, 0, 0}));
    EXPECT_EQ(guided->frame(), CGRect(0, 47, 390, 844 - 81));
    // Margins include the safe area unless told not to.
    EXPECT_EQ(inner->layoutMargins(), (UIEdgeInsets{35, 8, 8, 8}));
    inner->setInsetsLayoutMarginsFromSafeArea(false);
    EXPECT_EQ(inner->layoutMargins(), (UIEdgeInsets{8, 8, 8, 8}));
    // Outside the window there is no safe area.
    inner->removeFromSuperview();
    EXPECT_EQ(inner->safeAreaInsets(), UIEdgeInsets());
    window->setSafeAreaInsets(UIEdgeInsets());
    window->layoutIfNeeded();
    EXPECT_EQ(guided->frame(), CGRect(0, 0, 390, 844));
}

TEST_F(ViewsTree, LayoutPassRunsTopDownAndAtTheEndOfTheTurnForWindows) {
    std::vector<std::string> log;
    auto window = UIWindow::create(CGRect(0, 0, 320, 480));
    window->makeKeyAndVisible();  // hidden windows are laid out but not drawn
    auto parent = Probe::create("parent", &log, CGRect(0, 0, 100, 100));
    auto child = Probe::create("child", &log, CGRect(0, 0, 50, 50));
    window->addSubview(parent);
    parent->addSubview(child);
    window->layoutIfNeeded();
    log.clear();

    // Nothing needs layout: nothing runs.
    window->layoutIfNeeded();
    EXPECT_TRUE(log.empty());
    child->setNeedsLayout();
    parent->setNeedsLayout();
    EXPECT_TRUE(log.empty());
    // In a window, the pass runs at the end of the main loop's turn, parents first.
    clock.runUntilIdle();
    EXPECT_EQ((std::vector<std::string>(log.begin(), log.begin() + 2)),
              (std::vector<std::string>{"parent.layoutSubviews", "child.layoutSubviews"}));
    log.clear();
    // A size change lays out the resized view.
    child->setFrame(CGRect(0, 0, 60, 60));
    child->layoutIfNeeded();
    EXPECT_EQ(log, (std::vector<std::string>{"child.layoutSubviews"}));

    // Drawing happens in the display pass, into a recording context current only during draw.
    log.clear();
    child->setNeedsDisplay();
    EXPECT_EQ(coregraphics::currentContext(), nullptr);
    clock.runUntilIdle();
    EXPECT_EQ(log, (std::vector<std::string>{"child.draw"}));
    EXPECT_TRUE(child->drawnWithContext);
    EXPECT_EQ(coregraphics::currentContext(), nullptr);
    ASSERT_NE(child->layer()->contents(), nullptr);
    EXPECT_EQ(child->layer()->contents()->commands(coregraphics::CGDrawCommand::Kind::fillRect).size(), 1u);
}

TEST_F(ViewsTree, UpdateConstraintsRunsBeforeLayoutDeepestFirst) {
    struct Updater : UIView {
        static std::shared_ptr<Updater> create(std::string n, std::vector<std::string>* l) {
            auto u = std::shared_ptr<Updater>(new Updater());
            u->name = std::move(n);
            u->log = l;
            return u;
        }
        void updateConstraints() override {
            log->push_back(name + ".updateConstraints");
            UIView::updateConstraints();
        }
        void layoutSubviews() override { log->push_back(name + ".layoutSubviews"); }
        std::string name;
        std::vector<std::string>* log = nullptr;
    };
    std::vector<std::string> log;
    auto parent = Updater::create("parent", &log);
    auto child = Updater::create("child", &log);
    parent->addSubview(child);
    parent->layoutIfNeeded();
    log.clear();
    parent->setNeedsUpdateConstraints();
    child->setNeedsUpdateConstraints();
    parent->setNeedsLayout();
    parent->layoutIfNeeded();
    EXPECT_EQ(log, (std::vector<std::string>{"child.updateConstraints", "parent.updateConstraints",
                                             "parent.layoutSubviews"}));
    EXPECT_FALSE(parent->needsUpdateConstraints());
}

TEST_F(ViewsTree, SnapshotDescribesTheTree) {
    auto window = UIWindow::create(CGRect(0, 0, 320, 200));
    window->makeKeyAndVisible();
    EXPECT_TRUE(window->isKeyWindow());
    auto container = UIView::create();
    window->addSubview(container);
    container->snp().makeConstraints([](ConstraintMaker& make) { make.edges().equalToSuperview().inset(10); });
    auto title = UILabel::create();
    title->setText("Welcome to");
    container->addSubview(title);
    title->snp().makeConstraints([](ConstraintMaker& make) { make.top().leading().equalToSuperview(); });
    auto dimmed = UIView::create(CGRect(0, 100, 20.5, 10));
    dimmed->setAlpha(0.6);
    dimmed->setIsHidden(true);
    container->addSubview(dimmed);
    auto image = UIImageView::create();
    container->addSubview(image);
    auto scroll = UIScrollView::create(CGRect(0, 0, 10, 10));
    container->addSubview(scroll);
    window->layoutIfNeeded();
    EXPECT_EQ(window->recursiveDescription(),
              "UIWindow frame=(0, 0, 320, 200)\n"
              "  UIView frame=(10, 10, 300, 180)\n"
              "    UILabel frame=(0, 0, 101, 20) text=\"Welcome to\"\n"
              "    UIView frame=(0, 100, 20.5, 10) hidden alpha=0.6\n"
              "    UIImageView frame=(0, 0, 0, 0)\n"
              "    UIScrollView frame=(0, 0, 10, 10) contentSize=0x0\n");
}

}  // namespace
