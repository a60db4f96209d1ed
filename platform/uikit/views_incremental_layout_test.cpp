// The layout pass visits only the branches that asked for something, and keeps safe-area insets up to date
// by what moved: these tests change the tree in every way that moves a view in its window and compare every
// view's insets with a conversion of the window's safe rectangle done from scratch.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "dispatch/testing/ManualClockScope.h"
#include "uikit/UILabel.h"
#include "uikit/UIView.h"
#include "uikit/UIWindow.h"

namespace {

using namespace uikit;

// Logs its layouts and safe-area changes; runs `onSafeAreaChange` from inside the pass.
class Probe : public UIView {
  public:
    static std::shared_ptr<Probe> create(std::string name, std::vector<std::string>* log, CGRect frame = CGRect()) {
        auto p = std::shared_ptr<Probe>(new Probe(frame));
        p->name_ = std::move(name);
        p->log_ = log;
        return p;
    }
    void layoutSubviews() override {
        UIView::layoutSubviews();
        if (log_) log_->push_back(name_ + ".layoutSubviews");
    }
    void safeAreaInsetsDidChange() override {
        if (onSafeAreaChange) onSafeAreaChange();
    }
    std::function<void()> onSafeAreaChange;

  private:
    explicit Probe(CGRect frame) : UIView(frame) {}
    std::string name_;
    std::vector<std::string>* log_ = nullptr;
};

CGFloat clampInset(CGFloat v, CGFloat extent) {
    return std::clamp(v, CGFloat(0), std::max(CGFloat(0), extent));
}

// What the window's unsafe edges cover of `view`, computed from nothing but the tree as it is now.
UIEdgeInsets expectedInsets(const UIView& view) {
    auto window = view.window();
    if (!window) return UIEdgeInsets();
    const CGRect safe = window->bounds().inset(window->safeAreaInsets());
    const CGRect r = view.convertFrom(safe, window);
    const CGRect b = view.bounds();
    return {clampInset(r.minY() - b.minY(), b.height()), clampInset(r.minX() - b.minX(), b.width()),
            clampInset(b.maxY() - r.maxY(), b.height()), clampInset(b.maxX() - r.maxX(), b.width())};
}

// Every view below `root` has the insets a conversion from scratch gives; returns how many were checked.
int expectInsetsUpToDate(const UIView& root, const std::string& when) {
    int checked = 0;
    for (const auto& sub : root.subviews()) {
        EXPECT_EQ(sub->safeAreaInsets(), expectedInsets(*sub)) << when << ": " << sub->layoutItemDescription();
        checked += 1 + expectInsetsUpToDate(*sub, when);
    }
    return checked;
}

class IncrementalLayout : public ::testing::Test {
  protected:
    IncrementalLayout() {
        window->setSafeAreaInsets(UIEdgeInsets{47, 12, 34, 20});
        window->makeKeyAndVisible();
    }

    // Three levels of views, each inset from its parent, the deepest reaching into the unsafe edges.
    std::shared_ptr<UIView> addBranch(const std::shared_ptr<UIView>& parent, CGRect frame, int depth) {
        auto view = UIView::create(frame);
        parent->addSubview(view);
        if (depth > 0) {
            addBranch(view, CGRect(-15, -30, frame.size.width / 2, frame.size.height / 2), depth - 1);
            addBranch(view,
                      CGRect(frame.size.width / 2, frame.size.height / 2 + 10, frame.size.width / 2 + 20,
                             frame.size.height / 2),
                      depth - 1);
        }
        return view;
    }

    dispatch::testing::ManualClockScope clock;
    std::shared_ptr<UIWindow> window = UIWindow::create(CGRect(0, 0, 390, 844));
};

TEST_F(IncrementalLayout, SafeAreasFollowEveryChangeOfPlace) {
    auto left = addBranch(window, CGRect(0, 0, 200, 400), 3);
    auto right = addBranch(window, CGRect(190, 420, 200, 424), 3);
    clock.runUntilIdle();
    ASSERT_EQ(expectInsetsUpToDate(*window, "first pass"), 30);
    // Views inside reach into the unsafe edges: the cases below are not all zeros.
    EXPECT_NE(left->subviews()[0]->safeAreaInsets(), UIEdgeInsets());

    // Each change, then only the main loop's turn: the pass it asks for brings every inset up to date.
    const auto inner = left->subviews()[1];
    const auto step = [&](const std::string& what, const std::function<void()>& change) {
        change();
        clock.runUntilIdle();
        expectInsetsUpToDate(*window, what);
    };
    step("an ancestor moved", [&] { inner->setCenter(CGPoint{60, 40}); });
    step("an ancestor resized", [&] { left->setFrame(CGRect(-20, 10, 260, 300)); });
    step("an ancestor scaled and turned", [&] {
        left->setTransform(CGAffineTransform::makeScale(0.5, 1.5).concatenating(CGAffineTransform::makeRotation(0.3)));
    });
    step("an anchor point moved", [&] { inner->layer()->setAnchorPoint(CGPoint{0, 1}); });
    step("a bounds origin scrolled", [&] { right->setBounds(CGRect(-30, 25, 200, 424)); });
    step("a view added under a laid-out tree", [&] { addBranch(inner->subviews()[0], CGRect(-40, -40, 80, 80), 1); });
    step("the window turned", [&] { window->setFrame(CGRect(0, 0, 844, 390)); });

    // A branch that leaves its window has no safe area at once, and gets it back where it is put again.
    const auto branch = right->subviews()[0];
    branch->removeFromSuperview();
    expectInsetsUpToDate(*branch, "removed");
    EXPECT_EQ(branch->subviews()[0]->safeAreaInsets(), UIEdgeInsets());
    branch->subviews()[0]->setFrame(CGRect(-100, -100, 300, 300));  // moved while out of the window
    clock.runUntilIdle();
    expectInsetsUpToDate(*branch, "moved outside the window");
    step("a branch put back elsewhere", [&] { left->subviews()[0]->addSubview(branch); });

    // The window's own edges reach every view at once, before any pass.
    window->setSafeAreaInsets(UIEdgeInsets{0, 59, 21, 59});
    expectInsetsUpToDate(*window, "the window's insets changed");
    // Insets wider than the window.
    window->setSafeAreaInsets(UIEdgeInsets{300, 500, 300, 500});
    expectInsetsUpToDate(*window, "nothing is safe");
}

TEST_F(IncrementalLayout, SafeAreasFollowConstraintsAndChangesMadeDuringThePass) {
    std::vector<std::string> log;
    auto container = Probe::create("container", &log);
    window->addSubview(container);
    container->snp().makeConstraints(
        [&](ConstraintMaker& make) { make.leading().trailing().bottom().equalToSuperview(); });
    const auto top = container->topAnchor().constraintEqualTo(window->topAnchor(), 100);
    top->setIsActive(true);
    auto child = Probe::create("child", &log);
    container->addSubview(child);
    child->snp().makeConstraints([](ConstraintMaker& make) { make.edges().equalToSuperview().inset(5); });
    auto follower = Probe::create("follower", &log, CGRect(0, 0, 50, 50));
    window->addSubview(follower);
    clock.runUntilIdle();
    expectInsetsUpToDate(*window, "first pass");

    // Moved by the solver: the new frames and their insets in the same pass.
    top->setConstant(-20);
    clock.runUntilIdle();
    EXPECT_EQ(container->frame().origin.y, -20);
    expectInsetsUpToDate(*window, "moved by a constraint");
    EXPECT_EQ(child->safeAreaInsets().top, 47 + 20 - 5);

    // A view that moves another when its insets change: the moved one is brought up to date too.
    child->onSafeAreaChange = [&] { follower->setCenter(CGPoint{child->safeAreaInsets().top, 10}); };
    top->setConstant(0);
    clock.runUntilIdle();
    EXPECT_EQ(follower->center().x, 42);
    expectInsetsUpToDate(*window, "moved during the pass");
}

TEST_F(IncrementalLayout, OnlyWhatAskedIsLaidOutAndNewcomersCatchUp) {
    std::vector<std::string> log;
    // All inside the safe area: no inset changes ask for more layout.
    auto a = Probe::create("a", &log, CGRect(30, 100, 300, 300));
    auto a1 = Probe::create("a1", &log, CGRect(0, 0, 100, 100));
    auto b = Probe::create("b", &log, CGRect(30, 420, 300, 300));
    auto b1 = Probe::create("b1", &log, CGRect(0, 0, 100, 100));
    window->addSubview(a);
    a->addSubview(a1);
    window->addSubview(b);
    b->addSubview(b1);
    clock.runUntilIdle();
    log.clear();

    // A leaf resized: that leaf is laid out, nothing else.
    b1->setFrame(CGRect(0, 0, 120, 100));
    clock.runUntilIdle();
    EXPECT_EQ(log, (std::vector<std::string>{"b1.layoutSubviews"}));

    // A branch built apart, with constraints and requests of its own, joins the laid-out tree.
    log.clear();
    auto c = Probe::create("c", &log);
    auto c1 = Probe::create("c1", &log);
    c->addSubview(c1);
    c1->snp().makeConstraints([](ConstraintMaker& make) { make.edges().equalToSuperview().inset(10); });
    c->setNeedsUpdateConstraints();
    c->setFrame(CGRect(0, 0, 80, 60));
    a1->addSubview(c);
    clock.runUntilIdle();
    EXPECT_EQ(c1->frame(), CGRect(10, 10, 60, 40));
    EXPECT_EQ(log, (std::vector<std::string>{"a1.layoutSubviews", "c.layoutSubviews", "c1.layoutSubviews"}));
    expectInsetsUpToDate(*window, "a branch joined");

    // Moved to another parent, it is laid out there, and its old parent learns it lost a subview.
    log.clear();
    b1->addSubview(c);
    c->setFrame(CGRect(0, 0, 100, 80));
    clock.runUntilIdle();
    EXPECT_EQ(c1->frame(), CGRect(10, 10, 80, 60));
    std::sort(log.begin(), log.end());
    EXPECT_EQ(log, (std::vector<std::string>{"a1.layoutSubviews", "b1.layoutSubviews", "c.layoutSubviews",
                                             "c1.layoutSubviews"}));
    expectInsetsUpToDate(*window, "a branch moved");

    // A wrapping label placed by its frame is laid out once, and so is its superview, however many rounds a
    // pass may take.
    log.clear();
    auto note = UILabel::create(CGRect(0, 0, 90, 40));
    note->setNumberOfLines(0);
    note->setText("two lines of text");
    b1->addSubview(note);
    clock.runUntilIdle();
    EXPECT_EQ(log, (std::vector<std::string>{"b1.layoutSubviews"}));
    log.clear();
    note->setFrame(CGRect(0, 0, 70, 40));
    clock.runUntilIdle();
    EXPECT_TRUE(log.empty()) << "nobody asked for its size, so it is not measured again";
    // Once its size is asked for, a new width measures it again, once.
    (void)note->intrinsicContentSize();
    note->setFrame(CGRect(0, 0, 60, 40));
    clock.runUntilIdle();
    EXPECT_EQ(log, (std::vector<std::string>{"b1.layoutSubviews"}));

    // Nothing asked: the pass does nothing.
    log.clear();
    window->layoutIfNeeded();
    EXPECT_TRUE(log.empty());
}

}  // namespace
