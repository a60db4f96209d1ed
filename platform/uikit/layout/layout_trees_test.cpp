#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "dispatch/testing/ManualClockScope.h"
#include "uikit/ConstraintMaker.h"
#include "uikit/NSLayoutConstraint.h"
#include "uikit/UIView.h"
#include "uikit/UIWindow.h"
#include "uikit/layout/LayoutEngine.h"

namespace {

using namespace uikit;
using uikit::layout::LayoutEngine;

void expectFrame(const std::shared_ptr<UIView>& view, CGRect expected) {
    CGRect f = view->frame();
    EXPECT_NEAR(f.origin.x, expected.origin.x, 1e-6) << view->snapshotLine();
    EXPECT_NEAR(f.origin.y, expected.origin.y, 1e-6) << view->snapshotLine();
    EXPECT_NEAR(f.size.width, expected.size.width, 1e-6) << view->snapshotLine();
    EXPECT_NEAR(f.size.height, expected.size.height, 1e-6) << view->snapshotLine();
}

// A panel holding a bar pinned 10 points inside its top, left and right edges, 20 high, and a dot of 8 x 8
// centred under the bar: constraints that live inside the panel, wherever the panel goes.
struct Panel {
    std::shared_ptr<UIView> view = UIView::create();
    std::shared_ptr<UIView> bar = UIView::create();
    std::shared_ptr<UIView> dot = UIView::create();

    Panel() {
        view->addSubview(bar);
        view->addSubview(dot);
        bar->snp().makeConstraints([&](ConstraintMaker& make) {
            make.top().leading().trailing().equalToSuperview().inset(10);
            make.height().equalTo(20);
        });
        dot->snp().makeConstraints([&](ConstraintMaker& make) {
            make.top().equalTo(bar->snp().bottom()).offset(4);
            make.centerX().equalTo(bar);
            make.size().equalTo(CGSize{8, 8});
        });
    }
    // The panel's edges pinned to its superview's, `inset` inside.
    void pin(CGFloat inset) {
        view->snp().remakeConstraints([&](ConstraintMaker& make) { make.edges().equalToSuperview().inset(inset); });
    }
    // Where the bar and the dot are for a panel `width` wide.
    void expectInside(CGFloat width) const {
        expectFrame(bar, CGRect(10, 10, width - 20, 20));
        expectFrame(dot, CGRect(width / 2 - 4, 34, 8, 8));
    }
};

class LayoutTrees : public ::testing::Test {
  protected:
    void TearDown() override {
        auto& engine = LayoutEngine::shared();
        EXPECT_EQ(engine.itemCount(), 0u);
        EXPECT_EQ(engine.constraintCount(), 0u);
        EXPECT_EQ(engine.systemCount(), 0u);
    }
    dispatch::testing::ManualClockScope clock;
};

TEST_F(LayoutTrees, EachTreeIsSolvedOnItsOwnAndItsSolverGoesWithIt) {
    auto& engine = LayoutEngine::shared();
    auto first = UIWindow::create(CGRect(0, 0, 300, 200));
    auto second = UIWindow::create(CGRect(0, 0, 500, 200));
    Panel a, b;
    first->addSubview(a.view);
    second->addSubview(b.view);
    a.pin(0);
    b.pin(50);
    first->layoutIfNeeded();
    second->layoutIfNeeded();
    EXPECT_EQ(engine.systemCount(), 2u);
    a.expectInside(300);
    b.expectInside(400);

    // Laying out one window leaves the other's solution alone, and a window that goes takes its solver
    // (and only its own) with it.
    const std::size_t both = engine.constraintCount();
    first.reset();
    EXPECT_EQ(engine.systemCount(), 1u);
    EXPECT_LT(engine.constraintCount(), both);
    EXPECT_GT(engine.constraintCount(), 0u);
    second->setFrame(CGRect(0, 0, 600, 200));
    second->layoutIfNeeded();
    b.expectInside(500);
}

TEST_F(LayoutTrees, AViewMovedToAnotherWindowTakesItsOwnConstraintsAlong) {
    auto& engine = LayoutEngine::shared();
    auto first = UIWindow::create(CGRect(0, 0, 300, 200));
    auto second = UIWindow::create(CGRect(0, 0, 500, 300));
    Panel panel, neighbour;
    first->addSubview(panel.view);
    first->addSubview(neighbour.view);
    panel.pin(0);
    neighbour.pin(20);
    first->layoutIfNeeded();
    panel.expectInside(300);
    const std::size_t before = engine.constraintCount();

    // The constraints that tied it to the first window go; those among its own views come along and hold
    // in the second one, with the constraints it gets there.
    second->addSubview(panel.view);
    EXPECT_TRUE(panel.view->snp().constraints().empty());
    EXPECT_EQ(panel.bar->snp().constraints().size(), 4u);
    panel.pin(100);
    second->layoutIfNeeded();
    first->layoutIfNeeded();
    expectFrame(panel.view, CGRect(100, 100, 300, 100));
    panel.expectInside(300);
    neighbour.expectInside(260);
    EXPECT_EQ(engine.systemCount(), 2u);
    // Nothing stays behind in the first window's solver: four edges left it, four joined the second, whose
    // own frame (four more) is in the engine now.
    EXPECT_EQ(engine.constraintCount(), before + 4);

    // Out of any window, it is a tree of its own: its constraints still hold when it lays itself out.
    panel.view->removeFromSuperview();
    panel.view->setTranslatesAutoresizingMaskIntoConstraints(true);
    panel.view->setFrame(CGRect(0, 0, 120, 80));
    panel.view->layoutIfNeeded();
    panel.expectInside(120);
    EXPECT_EQ(engine.systemCount(), 2u);  // the first window's and its own: nothing in the second is constrained
    panel.view->setFrame(CGRect(0, 0, 140, 80));
    panel.view->layoutIfNeeded();
    panel.expectInside(140);
}

TEST_F(LayoutTrees, ATreeJoiningAnotherBringsItsSolutionAlong) {
    auto& engine = LayoutEngine::shared();
    auto window = UIWindow::create(CGRect(0, 0, 400, 300));
    // A tree laid out on its own, joining a window that has nothing in the engine yet.
    Panel lone;
    lone.view->setFrame(CGRect(0, 0, 200, 100));
    lone.view->layoutIfNeeded();
    lone.expectInside(200);
    window->addSubview(lone.view);
    EXPECT_EQ(engine.systemCount(), 1u);
    window->layoutIfNeeded();
    lone.expectInside(200);
    lone.pin(10);
    window->layoutIfNeeded();
    lone.expectInside(380);

    // A second laid-out tree joining the window, which has its own solver by now.
    Panel other;
    other.view->setFrame(CGRect(0, 0, 100, 100));
    other.view->layoutIfNeeded();
    lone.view->addSubview(other.view);
    EXPECT_EQ(engine.systemCount(), 1u);
    other.pin(30);
    window->layoutIfNeeded();
    expectFrame(other.view, CGRect(30, 30, 320, 220));
    other.expectInside(320);
    lone.expectInside(380);
}

TEST_F(LayoutTrees, ViewsOutlivingTheirRootKeepTheirConstraintsQuietly) {
    auto& engine = LayoutEngine::shared();
    auto root = UIView::create(CGRect(0, 0, 300, 200));
    Panel panel;
    root->addSubview(panel.view);
    panel.pin(0);
    root->layoutIfNeeded();
    panel.expectInside(300);

    ::testing::internal::CaptureStderr();
    root.reset();
    // The panel's edges were tied to the root and went with it; its own constraints wait for its next pass.
    EXPECT_TRUE(panel.view->snp().constraints().empty());
    EXPECT_EQ(panel.dot->snp().constraints().size(), 4u);
    EXPECT_EQ(engine.systemCount(), 0u);
    panel.view->setTranslatesAutoresizingMaskIntoConstraints(true);
    panel.view->setFrame(CGRect(0, 0, 160, 90));
    panel.view->layoutIfNeeded();
    panel.expectInside(160);
    EXPECT_EQ(engine.systemCount(), 1u);
    const std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(log.empty()) << log;
}

}  // namespace
