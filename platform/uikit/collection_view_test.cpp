#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "dispatch/testing/ManualClockScope.h"
#include "rx/Rx.h"
#include "uikit/UICollectionView.h"
#include "uikit/UILabel.h"
#include "uikit/UIWindow.h"
#include "uikit/testing/EventSimulator.h"

namespace {

using namespace uikit;

// A cell showing one text; as a self-sizing cell it wants 10 points per character plus 30, by 26.
class TextCell : public UICollectionViewCell {
  public:
    static std::shared_ptr<TextCell> create(const CGRect& frame) {
        auto cell = std::shared_ptr<TextCell>(new TextCell(frame));
        cell->contentView()->addSubview(cell->label);
        return cell;
    }
    std::shared_ptr<UICollectionViewLayoutAttributes> preferredLayoutAttributesFitting(
        const std::shared_ptr<UICollectionViewLayoutAttributes>& attributes) override {
        auto text = label->text().value_or("");
        attributes->setSize(CGSize{static_cast<CGFloat>(text.size()) * 10 + 30, 26});
        return attributes;
    }
    void prepareForReuse() override { ++reuses; }
    void apply(const UICollectionViewLayoutAttributes& attributes) override;

    std::shared_ptr<UILabel> label = UILabel::create();
    int reuses = 0;
    std::optional<bool> separatorHidden;

  private:
    explicit TextCell(const CGRect& frame) : UICollectionViewCell(frame) {}
};

// Layout attributes with one field more, and a layout that uses them (as a centred group row does).
class SeparatorAttributes : public UICollectionViewLayoutAttributes {
  public:
    static std::shared_ptr<SeparatorAttributes> create(const IndexPath& ip) {
        return std::shared_ptr<SeparatorAttributes>(new SeparatorAttributes(ip));
    }
    std::shared_ptr<UICollectionViewLayoutAttributes> copy() const override {
        return std::shared_ptr<SeparatorAttributes>(new SeparatorAttributes(*this));
    }
    bool hideSeparator = false;

  private:
    using UICollectionViewLayoutAttributes::UICollectionViewLayoutAttributes;
    SeparatorAttributes(const SeparatorAttributes&) = default;
};

void TextCell::apply(const UICollectionViewLayoutAttributes& attributes) {
    UICollectionViewCell::apply(attributes);
    if (auto* a = dynamic_cast<const SeparatorAttributes*>(&attributes)) separatorHidden = a->hideSeparator;
}

class SeparatorLayout : public UICollectionViewFlowLayout {
  public:
    static std::shared_ptr<SeparatorLayout> create() { return std::shared_ptr<SeparatorLayout>(new SeparatorLayout()); }
    std::shared_ptr<UICollectionViewLayoutAttributes> makeLayoutAttributes(const IndexPath& ip) const override {
        return SeparatorAttributes::create(ip);
    }
    std::shared_ptr<UICollectionViewLayoutAttributes> layoutAttributesForItem(const IndexPath& at) const override {
        auto a =
            std::dynamic_pointer_cast<SeparatorAttributes>(UICollectionViewFlowLayout::layoutAttributesForItem(at));
        if (a) a->hideSeparator = at.item == 0;
        return a;
    }
    std::vector<std::shared_ptr<UICollectionViewLayoutAttributes>> layoutAttributesForElements(
        const CGRect& rect) const override {
        std::vector<std::shared_ptr<UICollectionViewLayoutAttributes>> result;
        for (const auto& a : UICollectionViewFlowLayout::layoutAttributesForElements(rect)) {
            if (auto mine = layoutAttributesForItem(a->indexPath())) result.push_back(mine);
        }
        return result;
    }

  private:
    SeparatorLayout() = default;
};

struct Texts : UICollectionViewDataSource {
    std::vector<std::string> items;
    int collectionViewNumberOfItemsInSection(UICollectionView&, int) override { return static_cast<int>(items.size()); }
    std::shared_ptr<UICollectionViewCell> collectionViewCellForItemAt(UICollectionView& cv,
                                                                      const IndexPath& ip) override {
        auto cell = cv.dequeueReusableCell<TextCell>("text", ip);
        if (cell) cell->label->setText(items[static_cast<std::size_t>(ip.item)]);
        return cell;
    }
};

struct Selections : UICollectionViewDelegateFlowLayout {
    std::vector<IndexPath> selected;
    bool allow = true;
    bool collectionViewShouldSelectItemAt(UICollectionView&, const IndexPath&) override { return allow; }
    void collectionViewDidSelectItemAt(UICollectionView&, const IndexPath& ip) override { selected.push_back(ip); }
};

class CollectionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        uikit::testing::resetInteractionState();
        layout = UICollectionViewFlowLayout::create();
        layout->setItemSize(CGSize{100, 50});
        cv = UICollectionView::create(CGRect(0, 0, 390, 300), layout);
        cv->registerForCellWithReuseIdentifier<TextCell>("text");
        data = std::make_shared<Texts>();
        cv->setDataSource(data);
    }

    std::shared_ptr<TextCell> cell(int item) {
        return std::dynamic_pointer_cast<TextCell>(cv->cellForItem(IndexPath(item, 0)));
    }

    dispatch::testing::ManualClockScope clock;
    std::shared_ptr<UICollectionViewFlowLayout> layout;
    std::shared_ptr<UICollectionView> cv;
    std::shared_ptr<Texts> data;
};

TEST_F(CollectionTest, FlowLayoutFillsLinesAndSpreadsFullOnes) {
    data->items = {"a", "b", "c", "d", "e"};
    cv->reloadData();
    cv->layoutIfNeeded();
    // Three 100-point items fit 390 points: a full line spreads them edge to edge; the last line packs.
    EXPECT_EQ(cell(0)->frame(), CGRect(0, 0, 100, 50));
    EXPECT_EQ(cell(1)->frame(), CGRect(145, 0, 100, 50));
    EXPECT_EQ(cell(2)->frame(), CGRect(290, 0, 100, 50));
    EXPECT_EQ(cell(3)->frame(), CGRect(0, 60, 100, 50));
    EXPECT_EQ(cell(4)->frame(), CGRect(110, 60, 100, 50));
    EXPECT_EQ(cv->contentSize(), (CGSize{390, 110}));
    EXPECT_EQ(cell(4)->label->text(), "e");

    // A line of one item centres it.
    data->items = {"only"};
    cv->reloadData();
    cv->layoutIfNeeded();
    EXPECT_EQ(cell(0)->frame(), CGRect(145, 0, 100, 50));

    // A flow-layout delegate's answers win over the layout's properties.
    struct Sizes : UICollectionViewDelegateFlowLayout {
        std::optional<CGSize> collectionViewLayoutSizeForItemAt(UICollectionView&, UICollectionViewLayout&,
                                                                const IndexPath&) override {
            return CGSize{80, 40};
        }
        std::optional<UIEdgeInsets> collectionViewLayoutInsetForSectionAt(UICollectionView&, UICollectionViewLayout&,
                                                                          int) override {
            return UIEdgeInsets{10, 0, 10, 0};
        }
    };
    auto sizes = std::make_shared<Sizes>();
    cv->setDelegate(sizes);
    cv->layoutIfNeeded();
    EXPECT_EQ(cell(0)->frame(), CGRect(155, 10, 80, 40));
    EXPECT_EQ(cv->contentSize(), (CGSize{390, 60}));
}

TEST_F(CollectionTest, SelfSizingCellsInAHorizontalRowWithTheirOwnAttributes) {
    auto row = SeparatorLayout::create();
    row->setScrollDirection(UICollectionViewFlowLayout::ScrollDirection::horizontal);
    row->setMinimumLineSpacing(0);
    row->setEstimatedItemSize(CGSize{20, 26});
    cv->setCollectionViewLayout(row);
    cv->setFrame(CGRect(0, 0, 200, 40));
    data->items = {"Goal", "Card", "Substitution"};
    cv->reloadData();
    cv->layoutIfNeeded();
    // Widths from the cells: 70, 70, 150; one item per column, centred in the 40-point height.
    EXPECT_EQ(cell(0)->frame(), CGRect(0, 7, 70, 26));
    EXPECT_EQ(cell(1)->frame(), CGRect(70, 7, 70, 26));
    // The third starts at 140 and reaches past the bounds: it is visible too.
    ASSERT_TRUE(cell(2));
    EXPECT_EQ(cell(2)->frame(), CGRect(140, 7, 150, 26));
    EXPECT_EQ(cv->contentSize(), (CGSize{290, 40}));
    EXPECT_EQ(cell(0)->separatorHidden, true);
    EXPECT_EQ(cell(1)->separatorHidden, false);

    auto attributes = cv->layoutAttributesForItem(IndexPath(2, 0));
    ASSERT_TRUE(attributes);
    auto copy = std::dynamic_pointer_cast<SeparatorAttributes>(attributes->copy());
    ASSERT_TRUE(copy);
    copy->setFrame(CGRect(0, 0, 1, 1));
    EXPECT_EQ(cv->layoutAttributesForItem(IndexPath(2, 0))->frame(), CGRect(140, 7, 150, 26));

    // Scrolling brings later items in and sends earlier cells back for reuse.
    data->items = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"};
    cv->reloadData();
    cv->layoutIfNeeded();
    EXPECT_EQ(cv->visibleCells().size(), 5u);  // 40 points each in 200
    cv->setContentOffset(CGPoint{240, 0});
    cv->layoutIfNeeded();
    EXPECT_FALSE(cell(0));
    ASSERT_TRUE(cell(8));
    EXPECT_GT(cell(8)->reuses, 0);
}

TEST_F(CollectionTest, ValidBatchUpdatesMoveCellsAndSelection) {
    data->items = {"a", "b", "c"};
    cv->layoutIfNeeded();
    auto cellB = cell(1);
    cv->selectItem(IndexPath(1, 0), false, UICollectionView::ScrollPosition::none());
    EXPECT_TRUE(cellB->isSelected());

    std::optional<bool> finished;
    data->items = {"z", "a", "b"};
    auto result = cv->performBatchUpdatesCompletion(
        [&] {
            cv->insertItems({IndexPath(0, 0)});
            cv->deleteItems({IndexPath(2, 0)});
        },
        [&](bool f) { finished = f; });
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(cv->numberOfItems(0), 3);
    EXPECT_EQ(cv->indexPathsForSelectedItems(), (std::vector<IndexPath>{IndexPath(2, 0)}));
    EXPECT_EQ(cell(2), cellB);                // the same cell, now for item 2
    EXPECT_EQ(cellB->frame().origin.x, 220);  // one line, packed: 0, 110, 220
    EXPECT_EQ(cell(0)->label->text(), "z");
    EXPECT_FALSE(finished.has_value());
    clock.advance(0.3);
    EXPECT_EQ(finished, true);

    // A move on its own.
    data->items = {"b", "z", "a"};
    cv->moveItem(IndexPath(2, 0), IndexPath(0, 0));
    EXPECT_EQ(cell(0), cellB);
    EXPECT_EQ(cv->indexPathsForSelectedItems(), (std::vector<IndexPath>{IndexPath(0, 0)}));

    // Reloading an item gives it a fresh configuration.
    data->items[1] = "y";
    cv->reloadItems({IndexPath(1, 0)});
    EXPECT_EQ(cell(1)->label->text(), "y");
}

TEST_F(CollectionTest, InvalidBatchUpdatesAreRefusedWithAClearError) {
    data->items = {"a", "b"};
    cv->layoutIfNeeded();
    cv->selectItem(IndexPath(0, 0), false, UICollectionView::ScrollPosition::none());

    // The data source grew by one but nothing was inserted.
    std::optional<bool> finished;
    data->items = {"a", "b", "c"};
    auto result = cv->performBatchUpdatesCompletion([] {}, [&](bool f) { finished = f; });
    ASSERT_FALSE(result.has_value());
    auto* error = result.error().as<UICollectionViewUpdateError>();
    ASSERT_TRUE(error);
    EXPECT_NE(error->message.find("invalid number of items in section 0"), std::string::npos) << error->message;
    EXPECT_NE(error->message.find("after the update (3)"), std::string::npos) << error->message;
    EXPECT_NE(error->message.find("before the update (2)"), std::string::npos) << error->message;
    // Nothing is lost: the collection view reloaded to match its data source.
    EXPECT_EQ(cv->numberOfItems(0), 3);
    EXPECT_TRUE(cv->indexPathsForSelectedItems().empty());
    cv->layoutIfNeeded();
    EXPECT_EQ(cell(2)->label->text(), "c");
    clock.runUntilIdle();
    EXPECT_EQ(finished, false);

    // Index paths outside the counts.
    result = cv->performBatchUpdatesCompletion([&] { cv->deleteItems({IndexPath(10, 0)}); }, nullptr);
    ASSERT_FALSE(result.has_value());
    EXPECT_NE(result.error().localizedDescription().find("attempt to delete item 10 of section 0"), std::string::npos);
    data->items = {"a", "b", "c", "d"};
    result = cv->performBatchUpdatesCompletion([&] { cv->insertItems({IndexPath(3, 0), IndexPath(3, 0)}); }, nullptr);
    ASSERT_FALSE(result.has_value());
    EXPECT_NE(result.error().localizedDescription().find("twice"), std::string::npos);
    // Deleting and moving the same item.
    data->items = {"a", "b", "c", "d"};
    cv->reloadData();
    cv->layoutIfNeeded();
    data->items = {"b", "d"};
    result = cv->performBatchUpdatesCompletion(
        [&] {
            cv->deleteItems({IndexPath(0, 0), IndexPath(2, 0)});
            cv->moveItem(IndexPath(0, 0), IndexPath(1, 0));
        },
        nullptr);
    ASSERT_FALSE(result.has_value());
    EXPECT_NE(result.error().localizedDescription().find("delete and move"), std::string::npos);
}

TEST_F(CollectionTest, TapsSelectAndSelectItemScrolls) {
    auto window = UIWindow::create(CGRect(0, 0, 390, 844));
    window->makeKeyAndVisible();
    window->addSubview(cv);
    auto selections = std::make_shared<Selections>();
    cv->setDelegate(selections);
    for (int i = 0; i < 15; ++i) data->items.push_back(std::to_string(i));  // five lines of three
    cv->reloadData();
    cv->layoutIfNeeded();

    uikit::testing::TouchSimulator(window).tap({195, 25});  // item 1
    EXPECT_EQ(selections->selected, (std::vector<IndexPath>{IndexPath(1, 0)}));
    EXPECT_TRUE(cell(1)->isSelected());
    clock.advance(1.0);
    selections->allow = false;
    uikit::testing::TouchSimulator(window).tap({50, 85});  // item 3: refused
    EXPECT_EQ(selections->selected.size(), 1u);
    EXPECT_FALSE(cell(3)->isSelected());

    // In code: nobody is told, and the item can be brought to the middle.
    cv->setFrame(CGRect(0, 0, 390, 100));
    cv->selectItem(IndexPath(7, 0), false, UICollectionView::ScrollPosition::centeredVertically());
    EXPECT_EQ(selections->selected.size(), 1u);
    EXPECT_EQ(cv->indexPathsForSelectedItems(), (std::vector<IndexPath>{IndexPath(7, 0)}));
    EXPECT_EQ(cv->contentOffset().y, 120 + 25 - 50);
    // Past the end it stops at the last page.
    EXPECT_EQ(cv->contentSize().height, 290);
    cv->scrollToItem(IndexPath(14, 0), UICollectionView::ScrollPosition::top(), true);
    EXPECT_EQ(cv->contentOffset().y, 290 - 100);
}

TEST_F(CollectionTest, RxItemsBindingAndDequeueRules) {
    EXPECT_FALSE(cv->dequeueReusableCell("nothing registered", IndexPath(0, 0)));
    rx::BehaviorRelay<std::vector<std::string>> relay(std::vector<std::string>{"one", "two"});
    auto binding = cv->rx().items<TextCell, std::string>(relay.asObservable(), "text",
                                                         [](int row, const std::string& element, TextCell& c) {
                                                             c.label->setText(std::to_string(row) + ":" + element);
                                                         });
    cv->layoutIfNeeded();
    EXPECT_EQ(cv->numberOfItems(0), 2);
    EXPECT_EQ(cell(1)->label->text(), "1:two");
    relay.accept({"x", "y", "z"});
    cv->layoutIfNeeded();
    EXPECT_EQ(cv->numberOfItems(0), 3);
    EXPECT_EQ(cell(2)->label->text(), "2:z");
    binding.dispose();
    cv->layoutIfNeeded();
    EXPECT_EQ(cv->numberOfItems(0), 0);
    EXPECT_TRUE(cv->visibleCells().empty());
}

}  // namespace

namespace {

using namespace uikit;

// A data source that misbehaves: negative counts and missing cells.
struct Broken : UICollectionViewDataSource {
    int count = -3;
    int collectionViewNumberOfItemsInSection(UICollectionView&, int) override { return count; }
    std::shared_ptr<UICollectionViewCell> collectionViewCellForItemAt(UICollectionView&, const IndexPath&) override {
        return nullptr;
    }
};

struct NotANumber : UICollectionViewDelegateFlowLayout {
    std::optional<CGSize> collectionViewLayoutSizeForItemAt(UICollectionView&, UICollectionViewLayout&,
                                                            const IndexPath&) override {
        return CGSize{std::nan(""), -5};
    }
};

TEST(CollectionBadInput, MisbehavingDataSourcesAndDelegatesDoNotBreakTheView) {
    dispatch::testing::ManualClockScope clock;
    uikit::testing::resetInteractionState();
    auto cv = UICollectionView::create(CGRect(0, 0, 200, 200), UICollectionViewFlowLayout::create());
    auto broken = std::make_shared<Broken>();
    cv->setDataSource(broken);
    EXPECT_EQ(cv->numberOfItems(0), 0);
    cv->layoutIfNeeded();
    broken->count = 2;
    cv->reloadData();
    auto sizes = std::make_shared<NotANumber>();
    cv->setDelegate(sizes);
    cv->layoutIfNeeded();
    EXPECT_EQ(cv->numberOfItems(0), 2);
    EXPECT_TRUE(cv->visibleCells().empty());  // no cells were given
    auto attributes = cv->layoutAttributesForItem(IndexPath(1, 0));
    ASSERT_TRUE(attributes);
    EXPECT_EQ(attributes->size(), (CGSize{0, 0}));
    EXPECT_FALSE(cv->layoutAttributesForItem(IndexPath(5, 0)));
    EXPECT_FALSE(cv->layoutAttributesForItem(IndexPath(0, 3)));
}

}  // namespace
