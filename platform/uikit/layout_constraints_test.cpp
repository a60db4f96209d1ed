#include <gtest/gtest.h>

#include <algorithm>

#include "dispatch/testing/ManualClockScope.h"
#include "uikit/UILabel.h"
#include "uikit/UIScrollView.h"
#include "uikit/UIStackView.h"
#include "uikit/UIView.h"
#include "uikit/UIWindow.h"
#include "uikit/layout/LayoutEngine.h"

namespace {

using namespace uikit;

// A view with a fixed intrinsic size, as the kit's buttons and rows have.
class SizedView : public UIView {
  public:
    static std::shared_ptr<SizedView> create(CGSize size) {
        auto v = std::shared_ptr<SizedView>(new SizedView());
        v->size_ = size;
        return v;
    }
    void setSize(CGSize size) {
        size_ = size;
        invalidateIntrinsicContentSize();
    }
    CGSize intrinsicContentSize() const override { return size_; }

  private:
    SizedView() = default;
    CGSize size_;
};

void expectFrame(const std::shared_ptr<UIView>& view, CGRect expected) {
    CGRect f = view->frame();
    EXPECT_NEAR(f.origin.x, expected.origin.x, 1e-6) << view->snapshotLine();
    EXPECT_NEAR(f.origin.y, expected.origin.y, 1e-6) << view->snapshotLine();
    EXPECT_NEAR(f.size.width, expected.size.width, 1e-6) << view->snapshotLine();
    EXPECT_NEAR(f.size.height, expected.size.height, 1e-6) << view->snapshotLine();
}

class LayoutConstraints : public ::testing::Test {
  protected:
    // Every view of a test is gone by now: the engine must have let go of all of them.
    void TearDown() override {
        EXPECT_EQ(layout::LayoutEngine::shared().itemCount(), 0u);
        EXPECT_EQ(layout::LayoutEngine::shared().constraintCount(), 0u);
        EXPECT_EQ(layout::LayoutEngine::shared().rowCount(), 0u);
        EXPECT_EQ(layout::LayoutEngine::shared().systemCount(), 0u);
    }
    dispatch::testing::ManualClockScope clock;
};

TEST_F(LayoutConstraints, EdgesToSuperviewAtPriority999YieldToRequiredSize) {
    auto root = UIView::create(CGRect(0, 0, 300, 200));
    auto child = UIView::create();
    root->addSubview(child);
    child->snp().makeConstraints([](ConstraintMaker& make) { make.edges().equalToSuperview().priority(999); });
    EXPECT_FALSE(child->translatesAutoresizingMaskIntoConstraints());
    root->layoutIfNeeded();
    expectFrame(child, CGRect(0, 0, 300, 200));

    // A required width wins over the 999 edges; the remaining edges still hold as well as they can.
    auto width = child->widthAnchor().constraintEqualToConstant(100);
    width->setIsActive(true);
    root->layoutIfNeeded();
    EXPECT_NEAR(child->frame().size.width, 100, 1e-6);
    EXPECT_NEAR(child->frame().size.height, 200, 1e-6);

    // Growing the root (a frame set by code) re-lays the child out.
    width->setIsActive(false);
    root->setFrame(CGRect(0, 0, 320, 480));
    root->layoutIfNeeded();
    expectFrame(child, CGRect(0, 0, 320, 480));
    // The made constraints can be read back.
    auto made = child->snp().constraints();
    ASSERT_EQ(made.size(), 4u);
    for (const auto& c : made) {
        EXPECT_EQ(c->firstItem(), child);
        EXPECT_EQ(c->secondItem(), root);
        EXPECT_EQ(c->firstAttribute(), c->secondAttribute());
        EXPECT_EQ(c->priority().rawValue, 999);
        EXPECT_TRUE(c->isActive());
        EXPECT_EQ(c->installedOn(), root);
    }
    EXPECT_EQ(root->constraints().size(), 4u);
}

TEST_F(LayoutConstraints, CenterOnMarginsGuideWithMultiplier) {
    // The playback row: centre x on the margins guide, centre y on it × 0.8 (above the middle in portrait).
    auto controls = UIView::create(CGRect(0, 0, 390, 844));
    controls->setLayoutMargins(UIEdgeInsets{26, 36, 26, 36});
    auto row = SizedView::create({150, 50});
    controls->addSubview(row);
    row->snp().makeConstraints([&](ConstraintMaker& make) {
        make.centerX().equalTo(controls->layoutMarginsGuide());
        make.centerY().equalTo(controls->layoutMarginsGuide()).multipliedBy(0.8);
    });
    controls->layoutIfNeeded();
    // Guide: x 36…354 (centre 195), y 26…818 (centre 422); 422 × 0.8 = 337.6.
    expectFrame(row, CGRect(195 - 75, 337.6 - 25, 150, 50));
    EXPECT_EQ(controls->layoutMarginsGuide()->layoutFrame(), CGRect(36, 26, 318, 792));

    // New margins move the guide and the row with it.
    controls->setLayoutMargins(UIEdgeInsets{64, 64, 64, 64});
    controls->layoutIfNeeded();
    EXPECT_NEAR(row->center().y, 422 * 0.8, 1e-6);
    controls->setLayoutMargins(UIEdgeInsets{100, 64, 64, 64});
    controls->layoutIfNeeded();
    EXPECT_NEAR(row->center().y, (100 + (844 - 164) / 2.0) * 0.8, 1e-6);
}

TEST_F(LayoutConstraints, MiddleSectionCentredButNeverOverlappingItsNeighbours) {
    // The functional row: left and right sections pinned to the edges, the middle one centred at medium
    // priority with leading >= left.trailing and trailing <= right.leading.
    auto row = UIView::create(CGRect(0, 0, 400, 44));
    auto left = SizedView::create({60, 44});
    auto middle = SizedView::create({100, 44});
    auto right = SizedView::create({60, 44});
    for (auto& v : {left, middle, right}) row->addSubview(v);
    left->snp().makeConstraints([](ConstraintMaker& make) { make.leading().top().bottom().equalToSuperview(); });
    right->snp().makeConstraints([](ConstraintMaker& make) { make.trailing().top().bottom().equalToSuperview(); });
    middle->snp().makeConstraints([&](ConstraintMaker& make) {
        make.top().bottom().equalToSuperview();
        make.centerX().equalToSuperview().priority(ConstraintPriority::medium());
        make.leading().greaterThanOrEqualTo(left->snp().trailing());
        make.trailing().lessThanOrEqualTo(right->snp().leading());
    });
    row->layoutIfNeeded();
    expectFrame(left, CGRect(0, 0, 60, 44));
    expectFrame(right, CGRect(340, 0, 60, 44));
    expectFrame(middle, CGRect(150, 0, 100, 44));

    // A wide left section pushes the middle one off centre instead of overlapping.
    left->setSize({200, 44});
    row->layoutIfNeeded();
    expectFrame(left, CGRect(0, 0, 200, 44));
    expectFrame(middle, CGRect(200, 0, 100, 44));

    // With an offset: leading >= left.trailing + 8.
    middle->snp().updateConstraints(
        [&](ConstraintMaker& make) { make.leading().greaterThanOrEqualTo(left->snp().trailing()).offset(8); });
    row->layoutIfNeeded();
    EXPECT_NEAR(middle->frame().origin.x, 208, 1e-6);
}

TEST_F(LayoutConstraints, AspectRatioWidthWithHeightPreferenceAt998) {
    // The scrubber thumbnail: image view top/bottom on the margins guide, width = own height × 16/9,
    // height 110 at priority 998 (required minus 2).
    auto host = UIView::create(CGRect(0, 0, 600, 170));
    host->setLayoutMargins(UIEdgeInsets{12, 0, 34, 0});
    auto image = UIView::create();
    host->addSubview(image);
    image->snp().makeConstraints([&](ConstraintMaker& make) {
        make.top().bottom().equalTo(host->layoutMarginsGuide());
        make.width().equalTo(image->snp().height()).multipliedBy(16.0 / 9.0);
        make.height().equalTo(110).priority(UILayoutPriority::required() - 2);
    });
    host->layoutIfNeeded();
    EXPECT_NEAR(image->frame().size.height, 124, 1e-6);  // the required guide wins over 998
    EXPECT_NEAR(image->frame().size.width, 124 * 16.0 / 9.0, 1e-6);
    EXPECT_NEAR(image->frame().origin.y, 12, 1e-6);

    // Width equal to another view's height × 16/9.
    auto other = UIView::create();
    host->addSubview(other);
    other->snp().makeConstraints([&](ConstraintMaker& make) {
        make.width().equalTo(image->snp().height()).multipliedBy(16.0 / 9.0).dividedBy(2);
        make.height().equalTo(10);
        make.leading().equalTo(image->snp().trailing()).offset(4);
        make.top().equalToSuperview();
    });
    host->layoutIfNeeded();
    EXPECT_NEAR(other->frame().size.width, 62, 1e-6);
    EXPECT_NEAR(other->frame().origin.x, image->frame().size.width + 4 + image->frame().origin.x, 1e-6);
}

TEST_F(LayoutConstraints, IntrinsicSizesAgainstHuggingAndCompression) {
    auto row = UIView::create(CGRect(0, 0, 300, 40));
    auto label = UILabel::create();
    label->setText("Live");  // 4 characters of 17-point system text: 34 points wide
    auto filler = SizedView::create({50, 40});
    row->addSubview(label);
    row->addSubview(filler);
    label->snp().makeConstraints([](ConstraintMaker& make) { make.leading().top().bottom().equalToSuperview(); });
    filler->snp().makeConstraints([&](ConstraintMaker& make) {
        make.leading().equalTo(label->snp().trailing()).offset(8);
        make.trailing().top().bottom().equalToSuperview();
    });
    // Equal hugging: one of them must stretch. Raising the filler's hugging makes the label stretch.
    filler->setContentHuggingPriorityFor(251, UILayoutConstraintAxis::horizontal);
    row->layoutIfNeeded();
    EXPECT_NEAR(filler->frame().size.width, 50, 1e-6);
    EXPECT_NEAR(label->frame().size.width, 242, 1e-6);
    // Now the label hugs harder: it keeps its text width and the filler stretches.
    label->setContentHuggingPriorityFor(252, UILayoutConstraintAxis::horizontal);
    row->layoutIfNeeded();
    EXPECT_NEAR(label->frame().size.width, label->intrinsicContentSize().width, 1e-6);
    EXPECT_NEAR(filler->frame().size.width, 300 - 8 - label->intrinsicContentSize().width, 1e-6);

    // Too little room: the lower compression resistance gives way first.
    row->setFrame(CGRect(0, 0, 60, 40));
    filler->setContentCompressionResistancePriorityFor(749, UILayoutConstraintAxis::horizontal);
    row->layoutIfNeeded();
    EXPECT_NEAR(label->frame().size.width, label->intrinsicContentSize().width, 1e-6);
    EXPECT_NEAR(filler->frame().size.width, 60 - 8 - label->intrinsicContentSize().width, 1e-6);
    label->setContentCompressionResistancePriorityFor(700, UILayoutConstraintAxis::horizontal);
    row->layoutIfNeeded();
    EXPECT_NEAR(filler->frame().size.width, 50, 1e-6);
    EXPECT_NEAR(label->frame().size.width, 2, 1e-6);

    // A new text changes the intrinsic size and the layout follows.
    row->setFrame(CGRect(0, 0, 300, 40));
    label->setText("Back to live");
    row->layoutIfNeeded();
    EXPECT_NEAR(label->frame().size.width, label->intrinsicContentSize().width, 1e-6);
}

TEST_F(LayoutConstraints, StackViewWithAHiddenMember) {
    auto stack = UIStackView::create(CGRect(0, 0, 300, 60));
    stack->setSpacing(14);
    stack->setAlignment(UIStackView::Alignment::center);
    auto a = SizedView::create({44, 44});
    auto b = SizedView::create({44, 30});
    auto c = SizedView::create({44, 44});
    for (auto& v : {a, b, c}) stack->addArrangedSubview(v);
    // Pin the stack's leading edge only; it sizes itself.
    auto root = UIView::create(CGRect(0, 0, 400, 100));
    root->addSubview(stack);
    stack->snp().makeConstraints([](ConstraintMaker& make) { make.leading().top().equalToSuperview(); });
    root->layoutIfNeeded();
    expectFrame(a, CGRect(0, 0, 44, 44));
    expectFrame(b, CGRect(58, 7, 44, 30));
    expectFrame(c, CGRect(116, 0, 44, 44));
    expectFrame(stack, CGRect(0, 0, 160, 44));

    // Hiding the middle one closes the gap: no space, no double spacing.
    b->setIsHidden(true);
    root->layoutIfNeeded();
    expectFrame(c, CGRect(58, 0, 44, 44));
    expectFrame(stack, CGRect(0, 0, 102, 44));
    b->setIsHidden(false);
    root->layoutIfNeeded();
    expectFrame(c, CGRect(116, 0, 44, 44));

    // Removing an arranged subview keeps it as a subview; removing it from the stack drops it from both.
    stack->removeArrangedSubview(a);
    EXPECT_EQ(stack->arrangedSubviews().size(), 2u);
    EXPECT_EQ(a->superview(), stack);
    a->removeFromSuperview();
    root->layoutIfNeeded();
    expectFrame(b, CGRect(0, 7, 44, 30));
    c->removeFromSuperview();
    EXPECT_EQ(stack->arrangedSubviews().size(), 1u);
}

TEST_F(LayoutConstraints, StackDistributionsAndVerticalFill) {
    auto stack = UIStackView::create(CGRect(0, 0, 300, 50));
    auto a = SizedView::create({40, 20});
    auto b = SizedView::create({60, 20});
    stack->addArrangedSubview(a);
    stack->addArrangedSubview(b);
    stack->setSpacing(10);
    stack->setDistribution(UIStackView::Distribution::fillEqually);
    stack->layoutIfNeeded();
    expectFrame(a, CGRect(0, 0, 145, 50));
    expectFrame(b, CGRect(155, 0, 145, 50));

    stack->setDistribution(UIStackView::Distribution::equalSpacing);
    auto c = SizedView::create({20, 20});
    stack->addArrangedSubview(c);
    stack->layoutIfNeeded();
    // 300 − 120 of content leaves 180 for two equal gaps.
    expectFrame(a, CGRect(0, 0, 40, 50));
    expectFrame(b, CGRect(130, 0, 60, 50));
    expectFrame(c, CGRect(280, 0, 20, 50));

    stack->setDistribution(UIStackView::Distribution::fill);
    stack->setAxis(UILayoutConstraintAxis::vertical);
    stack->setFrame(CGRect(0, 0, 100, 200));
    stack->layoutIfNeeded();
    // Equal hugging: the last one takes the slack; the fill alignment stretches the widths.
    expectFrame(a, CGRect(0, 0, 100, 20));
    expectFrame(b, CGRect(0, 30, 100, 20));
    expectFrame(c, CGRect(0, 60, 100, 140));
}

TEST_F(LayoutConstraints, ViewsInOtherBranchesAreMeasuredInTheCommonAncestor) {
    auto root = UIView::create(CGRect(0, 0, 400, 400));
    auto left = UIView::create(CGRect(10, 20, 100, 100));
    auto right = UIView::create(CGRect(200, 50, 150, 150));
    root->addSubview(left);
    root->addSubview(right);
    auto a = UIView::create();
    auto b = UIView::create();
    left->addSubview(a);
    right->addSubview(b);
    a->snp().makeConstraints([](ConstraintMaker& make) {
        make.leading().top().equalToSuperview().offset(5);
        make.size().equalTo(CGSize{30, 30});
    });
    // b sits 10 points right of a and level with it, though they live in different subtrees.
    b->snp().makeConstraints([&](ConstraintMaker& make) {
        make.leading().equalTo(a->snp().trailing()).offset(10);
        make.top().equalTo(a->snp().top());
        make.size().equalTo(a);
    });
    root->layoutIfNeeded();
    EXPECT_EQ(b->snp().constraints().front()->installedOn(), root);
    // a in root: (15, 25, 30, 30); b's left = 55 in root = 55 − 200 in right.
    expectFrame(b, CGRect(55 - 200, 25 - 50, 30, 30));
    EXPECT_EQ(b->convertTo(CGPoint{0, 0}, root), (CGPoint{55, 25}));

    // Moving a branch moves the dependent view along.
    left->setFrame(CGRect(40, 20, 100, 100));
    root->layoutIfNeeded();
    EXPECT_NEAR(b->convertTo(CGPoint{0, 0}, root).x, 85, 1e-6);

    // Taking the left branch out deactivates the constraints that cross to it, and only those.
    left->removeFromSuperview();
    for (const auto& c : b->snp().constraints()) {
        EXPECT_FALSE(c->secondItem() == a) << c->description();
    }
    EXPECT_EQ(a->snp().constraints().size(), 4u);  // a's own constraints live inside the moved branch
    EXPECT_EQ(b->snp().constraints().size(), 0u);
}

TEST_F(LayoutConstraints, UnsatisfiableRequiredConstraintIsLoggedAndDropped) {
    auto root = UIView::create(CGRect(0, 0, 200, 100));
    auto child = UILabel::create();
    root->addSubview(child);
    child->snp().makeConstraints([](ConstraintMaker& make) { make.edges().equalToSuperview(); });
    root->layoutIfNeeded();
    ::testing::internal::CaptureStderr();
    auto bad = child->widthAnchor().constraintEqualToConstant(50);
    bad->setIsActive(true);
    root->layoutIfNeeded();
    std::string log = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("Unable to simultaneously satisfy constraints"), std::string::npos) << log;
    EXPECT_NE(log.find("UILabel("), std::string::npos) << log;
    EXPECT_FALSE(bad->isActive());
    expectFrame(child, CGRect(0, 0, 200, 100));

    // A constant change that cannot hold is dropped the same way.
    auto inset = child->snp().constraints()[1];  // top
    auto height = child->heightAnchor().constraintLessThanOrEqualToConstant(300);
    height->setIsActive(true);
    root->layoutIfNeeded();
    ::testing::internal::CaptureStderr();
    height->setConstant(20);
    root->layoutIfNeeded();
    log = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("new constant"), std::string::npos) << log;
    EXPECT_FALSE(height->isActive());
    expectFrame(child, CGRect(0, 0, 200, 100));

    // Items without a common ancestor cannot be activated.
    auto stranger = UIView::create();
    ::testing::internal::CaptureStderr();
    auto across = child->leadingAnchor().constraintEqualTo(stranger->leadingAnchor());
    across->setIsActive(true);
    log = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(across->isActive());
    EXPECT_NE(log.find("no common ancestor"), std::string::npos) << log;

    // Relating a position to a size, or a position to a constant alone, is refused; priorities clamp.
    auto mixed = NSLayoutConstraint::create(child, NSLayoutAttribute::left, NSLayoutRelation::equal, root,
                                            NSLayoutAttribute::width, 1, 0);
    auto lonely = NSLayoutConstraint::create(child, NSLayoutAttribute::top, NSLayoutRelation::equal, nullptr,
                                             NSLayoutAttribute::notAnAttribute, 1, 5);
    lonely->setPriority(5000);
    EXPECT_EQ(lonely->priority().rawValue, 1000);
    lonely->setPriority(-3);
    EXPECT_EQ(lonely->priority().rawValue, 1);
    ::testing::internal::CaptureStderr();
    NSLayoutConstraint::activate({mixed, lonely});
    root->layoutIfNeeded();
    log = ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(mixed->isActive());
    EXPECT_FALSE(lonely->isActive());
    EXPECT_NE(log.find("different kinds"), std::string::npos) << log;
    expectFrame(child, CGRect(0, 0, 200, 100));
}

TEST_F(LayoutConstraints, RemakeUpdateAndMakeKeepTheirOwnConstraints) {
    auto root = UIView::create(CGRect(0, 0, 300, 300));
    auto view = UIView::create();
    auto neighbour = UIView::create();
    root->addSubview(view);
    root->addSubview(neighbour);
    view->snp().makeConstraints([](ConstraintMaker& make) {
        make.top().leading().equalToSuperview().inset(4);
        make.size().equalTo(CGSize{44, 44});
    });
    // A constraint that mentions `view` but was made for another item, and one made with anchors.
    neighbour->snp().makeConstraints([&](ConstraintMaker& make) {
        make.leading().equalTo(view->snp().trailing()).offset(2);
        make.top().equalTo(view);
        make.size().equalTo(view);
    });
    auto anchor = view->bottomAnchor().constraintLessThanOrEqualTo(root->bottomAnchor(), -10);
    anchor->setIsActive(true);
    root->layoutIfNeeded();
    expectFrame(view, CGRect(4, 4, 44, 44));
    expectFrame(neighbour, CGRect(50, 4, 44, 44));

    // Make adds: a second size description makes two more constraints.
    view->snp().makeConstraints([](ConstraintMaker& make) { make.width().greaterThanOrEqualTo(10); });
    EXPECT_EQ(view->snp().constraints().size(), 5u);

    // Update changes the constants of matching constraints and adds nothing.
    view->snp().updateConstraints([](ConstraintMaker& make) {
        make.size().equalTo(CGSize{30, 60});
        make.top().equalToSuperview().offset(20);
    });
    EXPECT_EQ(view->snp().constraints().size(), 5u);
    root->layoutIfNeeded();
    expectFrame(view, CGRect(4, 20, 30, 60));
    expectFrame(neighbour, CGRect(36, 20, 30, 60));

    // Remake replaces only what this maker made for this view.
    view->snp().remakeConstraints([](ConstraintMaker& make) {
        make.center().equalToSuperview();
        make.size().equalTo(CGSize{100, 100});
    });
    EXPECT_EQ(view->snp().constraints().size(), 4u);
    EXPECT_EQ(neighbour->snp().constraints().size(), 4u);
    EXPECT_TRUE(anchor->isActive());
    root->layoutIfNeeded();
    expectFrame(view, CGRect(100, 100, 100, 100));
    expectFrame(neighbour, CGRect(202, 100, 100, 100));

    // Removing them all leaves the others.
    view->snp().removeConstraints();
    EXPECT_TRUE(view->snp().constraints().empty());
    EXPECT_TRUE(anchor->isActive());
}

TEST_F(LayoutConstraints, AnchorsAndConstantChangesAreIncremental) {
    auto root = UIView::create(CGRect(0, 0, 320, 100));
    auto a = UIView::create();
    auto b = UIView::create();
    root->addSubview(a);
    root->addSubview(b);
    a->setTranslatesAutoresizingMaskIntoConstraints(false);
    b->setTranslatesAutoresizingMaskIntoConstraints(false);
    auto gap = b->leadingAnchor().constraintEqualTo(a->trailingAnchor(), 8);
    NSLayoutConstraint::activate({
        a->leadingAnchor().constraintEqualTo(root->leadingAnchor(), 16),
        a->topAnchor().constraintEqualTo(root->topAnchor()),
        a->widthAnchor().constraintEqualToConstant(50),
        a->heightAnchor().constraintEqualTo(root->heightAnchor(), 0.5, 0),
        gap,
        b->topAnchor().constraintEqualTo(a->bottomAnchor()),
        b->trailingAnchor().constraintEqualTo(root->trailingAnchor(), -16),
        b->heightAnchor().constraintEqualTo(a->heightAnchor()),
    });
    EXPECT_EQ(gap->firstItem(), b);
    EXPECT_EQ(gap->firstAttribute(), NSLayoutAttribute::leading);
    EXPECT_EQ(gap->secondItem(), a);
    EXPECT_EQ(gap->secondAttribute(), NSLayoutAttribute::trailing);
    EXPECT_EQ(gap->relation(), NSLayoutRelation::equal);
    EXPECT_EQ(gap->multiplier(), 1);
    EXPECT_EQ(gap->constant(), 8);
    root->layoutIfNeeded();
    expectFrame(a, CGRect(16, 0, 50, 50));
    expectFrame(b, CGRect(74, 50, 230, 50));
    gap->setConstant(30);
    EXPECT_TRUE(root->needsLayout());
    root->layoutIfNeeded();
    expectFrame(b, CGRect(96, 50, 208, 50));
    gap->setIsActive(false);
    gap->setPriority(500);
    gap->setIsActive(true);
    EXPECT_EQ(gap->description().find("@500") != std::string::npos, true) << gap->description();
}

TEST_F(LayoutConstraints, ScrollViewContentEdgesSizeTheContent) {
    // The sign-in screen: a content column pinned to the scroll view's edges sizes the content.
    auto root = UIView::create(CGRect(0, 0, 390, 844));
    auto scroll = UIScrollView::create();
    root->addSubview(scroll);
    scroll->snp().makeConstraints([](ConstraintMaker& make) { make.edges().equalToSuperview(); });
    auto content = UIView::create();
    scroll->addSubview(content);
    const CGFloat top = 55;
    content->snp().makeConstraints([&](ConstraintMaker& make) {
        make.top().equalToSuperview().offset(top);
        make.leading().trailing().equalToSuperview().priority(ConstraintPriority::low());
        make.centerX().equalToSuperview();
        make.width().equalTo(root).multipliedBy(0.9);
        make.bottom().equalToSuperview().priority(749);
        make.height().equalTo(scroll).offset(-top);
    });
    scroll->setContentOffset(CGPoint{0, 30});
    root->layoutIfNeeded();
    EXPECT_NEAR(content->frame().size.width, 351, 1e-6);
    EXPECT_NEAR(content->frame().size.height, 844 - 55, 1e-6);
    EXPECT_NEAR(content->frame().origin.y, 55, 1e-6);  // in content coordinates, whatever the offset
    EXPECT_NEAR(scroll->contentSize().height, 844, 1e-6);
    // The column's centre and its low-priority edges all refer to the content: the content is as wide as it.
    EXPECT_NEAR(scroll->contentSize().width, 351, 1e-6);
    EXPECT_NEAR(content->convertTo(CGPoint{0, 0}, root).y, 25, 1e-6);
}

TEST_F(LayoutConstraints, FramesAdjustedByHandAfterLayoutAreNotFoughtOver) {
    // The scrubber thumbnail keeps its image view's centre x where it wants it after the constraints
    // have sized it: the engine does not keep re-laying the view out because the frame differs.
    struct Thumbnail : UIView {
        static std::shared_ptr<Thumbnail> create() {
            auto t = std::shared_ptr<Thumbnail>(new Thumbnail());
            t->setFrame(CGRect(0, 0, 300, 100));
            t->image = UIView::create();
            t->addSubview(t->image);
            t->image->snp().makeConstraints([](ConstraintMaker& make) {
                make.top().bottom().equalToSuperview();
                make.width().equalTo(80);
            });
            return t;
        }
        void layoutSubviews() override {
            UIView::layoutSubviews();
            ++passes;
            CGFloat half = image->bounds().size.width / 2;
            image->setCenter(CGPoint{std::clamp(centerX, half, bounds().size.width - half), image->center().y});
        }
        std::shared_ptr<UIView> image;
        CGFloat centerX = 0;
        int passes = 0;
    };
    auto thumbnail = Thumbnail::create();
    thumbnail->centerX = 280;
    thumbnail->layoutIfNeeded();
    EXPECT_EQ(thumbnail->image->frame(), CGRect(220, 0, 80, 100));
    EXPECT_EQ(thumbnail->passes, 1);
    thumbnail->layoutIfNeeded();
    EXPECT_EQ(thumbnail->passes, 1);
    thumbnail->centerX = 100;
    thumbnail->setNeedsLayout();
    thumbnail->layoutIfNeeded();
    EXPECT_EQ(thumbnail->image->frame(), CGRect(60, 0, 80, 100));
    EXPECT_EQ(thumbnail->passes, 2);
}

TEST_F(LayoutConstraints, TranslatedFramesAndUserGuides) {
    auto root = UIView::create(CGRect(0, 0, 200, 200));
    auto fixed = UIView::create(CGRect(20, 30, 40, 50));  // made in code: keeps its frame
    root->addSubview(fixed);
    EXPECT_TRUE(fixed->translatesAutoresizingMaskIntoConstraints());
    auto follower = UIView::create();
    root->addSubview(follower);
    auto spacer = UILayoutGuide::create();
    root->addLayoutGuide(spacer);
    spacer->snp().makeConstraints([&](ConstraintMaker& make) {
        make.leading().equalTo(fixed->snp().trailing());
        make.width().equalTo(12);
        make.top().height().equalTo(fixed);
    });
    follower->snp().makeConstraints([&](ConstraintMaker& make) {
        make.leading().equalTo(spacer->snp().trailing());
        make.top().bottom().equalTo(spacer);
        make.width().equalTo(fixed);
    });
    root->layoutIfNeeded();
    expectFrame(fixed, CGRect(20, 30, 40, 50));
    expectFrame(follower, CGRect(72, 30, 40, 50));
    EXPECT_EQ(spacer->layoutFrame(), CGRect(60, 30, 12, 50));
    EXPECT_EQ(spacer->owningView(), root);

    // Moving the translated view by code moves what depends on it.
    fixed->setCenter(CGPoint{100, 100});
    root->layoutIfNeeded();
    expectFrame(follower, CGRect(132, 75, 40, 50));
    // A scale transform changes the frame but not the untransformed box constraints see.
    fixed->setTransform(CGAffineTransform::makeScale(2, 2));
    root->layoutIfNeeded();
    expectFrame(follower, CGRect(132, 75, 40, 50));
    root->removeLayoutGuide(spacer);
    EXPECT_TRUE(follower->snp().constraints().size() == 1u);  // only the width remains
}

}  // namespace
