#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dispatch/testing/ManualClockScope.h"
#include "keymoments/ZuKeyMomentsCollectionViewCell.h"
#include "keymoments/ZuKeyMomentsGroupView.h"
#include "keymoments/testing/KeyMomentEvents.h"
#include "uikit/UIWindow.h"
#include "uikit/testing/EventSimulator.h"

namespace lumora {
namespace {

using uikit::CGRect;
using uikit::IndexPath;

// Short texts, so that every cell fits the row.
ZuKeyMomentEvent moment(std::string code, double time, std::string name = "G") {
    return testing::keyMoment(std::move(code), time, std::move(name), std::nullopt, std::nullopt);
}

struct TapDelegate : ZuKeyMomentsGroupViewDelegate {
    std::vector<std::string> tapped;
    void keyMomentsGroupViewDidSelect(ZuKeyMomentsGroupView&, const ZuKeyMomentEvent& event) override {
        tapped.push_back(event.code);
    }
};

class ZuKeyMomentsGroupViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        uikit::testing::resetInteractionState();
        window = uikit::UIWindow::create(CGRect(0, 0, 400, 200));
        window->makeKeyAndVisible();
        row = ZuKeyMomentsGroupView::create(CGRect(0, 0, 400, 40));
        window->addSubview(row);
    }

    std::shared_ptr<ZuKeyMomentsCollectionViewCell> cell(int item) const {
        return std::dynamic_pointer_cast<ZuKeyMomentsCollectionViewCell>(
            row->collectionView()->cellForItem(IndexPath(item, 0)));
    }
    std::string text(int item) const { return cell(item)->titleLabel()->text().value_or(""); }
    void settle() {
        window->layoutIfNeeded();
        clock.advance(0.5);
        window->layoutIfNeeded();
    }
    // Runs `body` and returns what the toolkit wrote to standard error meanwhile.
    template <class F>
    std::string logOf(F body) {
        ::testing::internal::CaptureStderr();
        body();
        return ::testing::internal::GetCapturedStderr();
    }

    dispatch::testing::ManualClockScope clock;
    std::shared_ptr<uikit::UIWindow> window;
    std::shared_ptr<ZuKeyMomentsGroupView> row;
};

TEST_F(ZuKeyMomentsGroupViewTest, ListChangesAreOneBatchTheToolkitAccepts) {
    row->update({moment("A", 1), moment("B", 2), moment("C", 3)}, std::nullopt);
    settle();
    auto a = cell(0), c = cell(2);
    ASSERT_TRUE(a && c);

    // Deletes, inserts and moves (each a delete and an insert) of one diff, in one batch.
    const std::string log = logOf([&] {
        row->update({moment("C", 3), moment("A", 1), moment("D", 4)}, moment("A", 1));
        settle();
    });
    EXPECT_EQ(log.find("Invalid update"), std::string::npos) << log;
    EXPECT_EQ(row->collectionView()->numberOfItems(0), 3);
    EXPECT_EQ(cell(1), a) << "A kept its cell: the batch was applied, not replaced by a reload";
    EXPECT_EQ(text(0), "3' - G");
    EXPECT_EQ(text(1), "1' - G");
    EXPECT_EQ(text(2), "4' - G");
    ASSERT_TRUE(row->selectedKeyMomentEvent());
    EXPECT_EQ(row->selectedKeyMomentEvent()->code, "A");
    EXPECT_EQ(row->collectionView()->indexPathsForSelectedItems(), (std::vector<IndexPath>{IndexPath(1, 0)}));
    EXPECT_TRUE(cell(1)->isSelected());
}

TEST_F(ZuKeyMomentsGroupViewTest, ARowThatNeverLoadedOrIsBehindReloadsInsteadOfABatch) {
    const std::string log = logOf([&] {
        row->update({moment("A", 1), moment("B", 2)}, moment("B", 2));                  // never laid out
        row->update({moment("A", 1), moment("B", 2), moment("C", 3)}, moment("C", 3));  // still behind
        settle();
    });
    EXPECT_EQ(log.find("Invalid update"), std::string::npos) << log;
    EXPECT_EQ(row->collectionView()->numberOfItems(0), 3);
    EXPECT_EQ(text(2), "3' - G");
    EXPECT_EQ(row->selectedKeyMomentEvent()->code, "C");
}

TEST_F(ZuKeyMomentsGroupViewTest, SelectingCentresTheEventsCellAndIgnoresEventsNotListed) {
    row->update({moment("A", 1), moment("B", 2), moment("C", 3)}, std::nullopt);
    settle();
    // An unchanged list selects at once.
    row->update(row->keyMomentEvents(), moment("B", 2));
    EXPECT_EQ(row->selectedKeyMomentEvent()->code, "B");
    clock.advance(0.5);
    const CGRect frame = row->collectionView()->layoutAttributesForItem(IndexPath(1, 0))->frame();
    EXPECT_NEAR(row->collectionView()->contentOffset().x, frame.minX() - (400 - frame.width()) / 2, 1e-9);
    EXPECT_NEAR(cell(1)->convertTo(cell(1)->bounds(), row).midX(), 200, 1e-9);

    row->select(moment("X", 9));
    row->select(std::nullopt);
    EXPECT_EQ(row->selectedKeyMomentEvent()->code, "B");
    // Equal by code and time, whatever its texts.
    row->select(testing::keyMoment("C", 3, "Another text"));
    EXPECT_EQ(row->selectedKeyMomentEvent()->code, "C");
    EXPECT_EQ(row->collectionView()->indexPathsForSelectedItems(), (std::vector<IndexPath>{IndexPath(2, 0)}));
}

TEST_F(ZuKeyMomentsGroupViewTest, CellsShowTheirTextSeparatorsBetweenThemAndTheOnlyCellCentred) {
    row->update({moment("A", 1, "Goal"), testing::keyMoment("B", 2, "Card", "M. Stone", "Bay United"),
                 moment("C", 3, "Corner")},
                std::nullopt);
    settle();
    EXPECT_EQ(text(0), "1' - Goal");
    EXPECT_EQ(text(1), "2' - Card, M. Stone (Bay United)");
    EXPECT_TRUE(cell(0)->separatorView()->isHidden());
    EXPECT_FALSE(cell(1)->separatorView()->isHidden());
    EXPECT_FALSE(cell(2)->separatorView()->isHidden());
    EXPECT_EQ(cell(1)->separatorView()->frame(), CGRect(0, 0, 1, cell(1)->bounds().height()));
    // 30 points wider than the text, as high as it.
    const uikit::CGSize text = cell(0)->titleLabel()->intrinsicContentSize();
    EXPECT_EQ(cell(0)->bounds().size, (uikit::CGSize{text.width + 30, text.height}));
    EXPECT_EQ(cell(0)->titleLabel()->frame().origin.x, 15);
    EXPECT_DOUBLE_EQ(cell(0)->titleLabel()->alpha(), 0.6);

    row->update({moment("A", 1, "Goal")}, moment("A", 1, "Goal"));
    settle();
    ASSERT_TRUE(cell(0));
    EXPECT_TRUE(cell(0)->separatorView()->isHidden());
    EXPECT_NEAR(cell(0)->convertTo(cell(0)->bounds(), row).midX(), 200, 1e-9);
    EXPECT_TRUE(cell(0)->isSelected());
    EXPECT_EQ(cell(0)->titleLabel()->textColor(), uikit::UIColor::white());
    EXPECT_DOUBLE_EQ(cell(0)->titleLabel()->alpha(), 1.0);
}

TEST_F(ZuKeyMomentsGroupViewTest, ATappedCellGoesToTheDelegateWhenThereIsOne) {
    row->update({moment("A", 1), moment("B", 2)}, moment("A", 1));
    settle();
    uikit::testing::TouchSimulator touches(window);
    touches.tap(cell(1));  // no delegate: nothing, and no crash
    auto delegate = std::make_shared<TapDelegate>();
    row->setDelegate(delegate);
    touches.tap(cell(0));
    EXPECT_EQ(delegate->tapped, (std::vector<std::string>{"A"}));
}

}  // namespace
}  // namespace lumora
