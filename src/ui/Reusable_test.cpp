#include <gtest/gtest.h>

#include "ui/Reusable.h"
#include "ui/ViewExtensions.h"
#include "uikit/UILabel.h"

namespace lumora::testcells {

class BadgeCell : public uikit::UICollectionViewCell {
  public:
    static std::shared_ptr<BadgeCell> create(const uikit::CGRect& frame) {
        return std::shared_ptr<BadgeCell>(new BadgeCell(frame));
    }
    void prepareForReuse() override { ++reuses; }
    int reuses = 0;

  protected:
    explicit BadgeCell(const uikit::CGRect& frame) : UICollectionViewCell(frame) {}
};

class NamedCell : public uikit::UICollectionViewCell {
  public:
    static std::string reuseIdentifier() { return "BadgeCell"; }  // the same identifier as another class
    static std::shared_ptr<NamedCell> create(const uikit::CGRect& frame) {
        return std::shared_ptr<NamedCell>(new NamedCell(frame));
    }

  protected:
    explicit NamedCell(const uikit::CGRect& frame) : UICollectionViewCell(frame) {}
};

}  // namespace lumora::testcells

namespace {

using namespace lumora;
using lumora::testcells::BadgeCell;
using lumora::testcells::NamedCell;

static_assert(Reusable<BadgeCell>);
static_assert(!Reusable<uikit::UILabel>);

std::shared_ptr<uikit::UICollectionView> makeCollectionView() {
    return uikit::UICollectionView::create(uikit::CGRect(0, 0, 320, 100), uikit::UICollectionViewFlowLayout::create());
}

TEST(ReusableTest, RegistersAndDequeuesACellClassByItsName) {
    EXPECT_EQ(reuseIdentifier<BadgeCell>(), "BadgeCell");
    EXPECT_EQ(reuseIdentifier<NamedCell>(), "BadgeCell");

    auto collectionView = makeCollectionView();
    register_<BadgeCell>(*collectionView);
    const auto first = dequeueReusableCell<BadgeCell>(*collectionView, uikit::IndexPath{0, 0});
    ASSERT_TRUE(first);
    ASSERT_TRUE(*first);
    EXPECT_EQ((*first)->reuseIdentifier(), "BadgeCell");
    const auto second = dequeueReusableCell<BadgeCell>(*collectionView, uikit::IndexPath{0, 1});
    ASSERT_TRUE(second);
    EXPECT_NE(first->get(), second->get());
}

TEST(ReusableTest, AnUnregisteredOrMismatchedClassGivesTheStopText) {
    auto collectionView = makeCollectionView();
    const auto missing = dequeueReusableCell<BadgeCell>(*collectionView, uikit::IndexPath{0, 0});
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().localizedDescription(), "Failed to dequeue cell with identifier BadgeCell");
    ASSERT_NE(missing.error().as<ReusableError>(), nullptr);
    EXPECT_EQ(missing.error().as<ReusableError>()->reuseIdentifier, "BadgeCell");

    // Another class registered under the same identifier does not pass for this one.
    register_<NamedCell>(*collectionView);
    const auto mismatched = dequeueReusableCell<BadgeCell>(*collectionView, uikit::IndexPath{0, 0});
    ASSERT_FALSE(mismatched);
    EXPECT_EQ(mismatched.error().localizedDescription(), "Failed to dequeue cell with identifier BadgeCell");
}

TEST(StackViewTest, RemoveAllArrangedSubviewsEmptiesTheStackAndFreesTheViews) {
    auto stack = uikit::UIStackView::create();
    auto extra = uikit::UIView::create();
    stack->addSubview(extra);  // a plain subview, not arranged: stays
    std::vector<std::shared_ptr<uikit::UIView>> views;
    for (int i = 0; i < 3; ++i) {
        views.push_back(uikit::UILabel::create());
        stack->addArrangedSubview(views.back());
    }
    removeAllArrangedSubviews(*stack);
    EXPECT_TRUE(stack->arrangedSubviews().empty());
    for (const auto& view : views) EXPECT_EQ(view->superview(), nullptr);
    ASSERT_EQ(stack->subviews().size(), 1u);
    EXPECT_EQ(stack->subviews().front(), extra);

    // The views can be arranged again; an empty stack is fine.
    stack->addArrangedSubview(views[1]);
    EXPECT_EQ(stack->arrangedSubviews().size(), 1u);
    removeAllArrangedSubviews(*stack);
    removeAllArrangedSubviews(*stack);
    EXPECT_TRUE(stack->arrangedSubviews().empty());
}

}  // namespace
