#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dispatch/testing/ManualClockScope.h"
#include "ui/ZuPageView.h"
#include "uikit/UIFocus.h"
#include "uikit/UIWindow.h"
#include "uikit/testing/EventSimulator.h"

using namespace lumora;
using uikit::CGPoint;
using uikit::CGRect;
using uikit::UIView;

namespace {

std::string nameOf(const std::shared_ptr<UIView>& view) {
    return view ? std::to_string(view->tag()) : "none";
}

class RecordingDelegate final : public ZuPageViewDelegate {
  public:
    void pageViewWillPresentView(ZuPageView&, const std::shared_ptr<UIView>& v) override {
        log.push_back("willPresent " + nameOf(v));
    }
    void pageViewDidPresentView(ZuPageView&, const std::shared_ptr<UIView>& v) override {
        log.push_back("didPresent " + nameOf(v));
    }
    void pageViewWillDismissView(ZuPageView&, const std::shared_ptr<UIView>& v) override {
        log.push_back("willDismiss " + nameOf(v));
    }
    void dismissPageView(ZuPageView&) override { log.push_back("dismiss"); }
    void didSkip(double) override {}
    std::vector<std::string> log;
};

// Answers the pages in turn (none after the last), counting the questions.
class Pages final : public ZuPageViewDataSource {
  public:
    std::shared_ptr<UIView> pageViewAfter(ZuPageView&, const std::shared_ptr<UIView>&) override {
        ++asked;
        return next;
    }
    std::shared_ptr<UIView> next;
    int asked = 0;
};

// A page that takes touches only on its left half; `touchable` false lets every touch fall through.
class HalfPage final : public UIView {
  public:
    static std::shared_ptr<HalfPage> create(int tag) {
        auto page = std::shared_ptr<HalfPage>(new HalfPage());
        page->setTag(tag);
        return page;
    }
    bool point(CGPoint inside, const uikit::UIEvent* event) override {
        return UIView::point(inside, event) && inside.x < bounds().size.width / 2;
    }
    bool canBecomeFocused() const override { return focusable; }
    bool focusable = false;

  private:
    HalfPage() = default;
};

// A page the data source does not know: only the delegate is told.
class PageWithoutDataSource final : public ZuPageViewDelegate {
  public:
    void didSkip(double) override {}
};

class ZuPageViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        uikit::testing::resetInteractionState();
        window = uikit::UIWindow::create(CGRect{0, 0, 400, 300});
        window->makeKeyAndVisible();
        pageView = ZuPageView::create(CGRect{0, 0, 400, 300});
        window->addSubview(pageView);
        pageView->setDelegate(delegate);
        pageView->setDataSource(pages);
    }
    void TearDown() override {
        uikit::UIFocusSystem::shared().setIsEnabled(std::nullopt);
        uikit::testing::resetInteractionState();
    }

    // Shows `page` and lets both fades finish.
    void show(const std::shared_ptr<UIView>& page) {
        pageView->replacePage(page);
        clock.advance(2 * ZuPageView::fadeDuration);
        delegate->log.clear();
    }

    dispatch::testing::ManualClockScope clock;
    std::shared_ptr<uikit::UIWindow> window;
    std::shared_ptr<ZuPageView> pageView;
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    std::shared_ptr<Pages> pages = std::make_shared<Pages>();
};

}  // namespace

TEST_F(ZuPageViewTest, APageFadesInFillingTheContainerAndIsAnnouncedAtBothEnds) {
    auto page = HalfPage::create(1);
    pageView->replacePage(page);
    EXPECT_EQ(delegate->log, (std::vector<std::string>{"willPresent 1"}));
    EXPECT_EQ(pageView->page(), page);  // shown from the start of its fade-in
    EXPECT_EQ(page->superview(), pageView);
    EXPECT_EQ(page->alpha(), 1.0);  // the model value; what is drawn starts transparent
    EXPECT_EQ(page->presentation().alpha, 0.0);
    pageView->layoutIfNeeded();
    EXPECT_EQ(page->frame(), (CGRect{0, 0, 400, 300}));

    clock.advance(0.1);
    EXPECT_EQ(delegate->log.size(), 1u);
    EXPECT_NEAR(page->presentation().alpha, 0.5, 0.25);
    clock.advance(0.1);
    EXPECT_EQ(delegate->log, (std::vector<std::string>{"willPresent 1", "didPresent 1"}));
}

TEST_F(ZuPageViewTest, EmptyingFadesThePageOutBeforeAnnouncingNone) {
    auto page = HalfPage::create(1);
    show(page);
    pageView->dismissAll();
    EXPECT_EQ(delegate->log, (std::vector<std::string>{"willDismiss 1"}));
    EXPECT_EQ(pageView->page(), page);
    clock.advance(0.2);
    EXPECT_EQ(delegate->log, (std::vector<std::string>{"willDismiss 1", "willPresent none", "didPresent none"}));
    EXPECT_EQ(page->superview(), nullptr);
    EXPECT_EQ(pageView->page(), nullptr);

    // Nothing shown: nothing to do.
    delegate->log.clear();
    pageView->dismissAll();
    clock.advance(1);
    EXPECT_TRUE(delegate->log.empty());
}

TEST_F(ZuPageViewTest, ASwapTakesTwoFadesAndAskingForTheSamePageDoesNothing) {
    auto first = HalfPage::create(1), second = HalfPage::create(2);
    show(first);
    pages->next = first;
    pageView->updatePageIfNeeded();
    EXPECT_EQ(pages->asked, 1);
    clock.advance(1);
    EXPECT_TRUE(delegate->log.empty());

    pages->next = second;
    pageView->updatePageIfNeeded();
    clock.advance(0.2);
    EXPECT_EQ(delegate->log, (std::vector<std::string>{"willDismiss 1", "willPresent 2"}));
    EXPECT_EQ(first->superview(), nullptr);
    clock.advance(0.2);
    EXPECT_EQ(delegate->log.back(), "didPresent 2");

    // A data source that answers nothing empties a showing container; with nothing shown it does nothing.
    pages->next = nullptr;
    pageView->updatePageIfNeeded();
    clock.advance(0.4);
    EXPECT_EQ(pageView->page(), nullptr);
    delegate->log.clear();
    pageView->updatePageIfNeeded();
    EXPECT_TRUE(delegate->log.empty());
}

TEST_F(ZuPageViewTest, AFadeOutLeavesAPageThatWasShownElsewhereMeanwhile) {
    auto page = HalfPage::create(1);
    show(page);
    auto otherContainer = ZuPageView::create(CGRect{0, 0, 400, 300});
    window->addSubview(otherContainer);
    pageView->dismissAll();
    otherContainer->replacePage(page);  // takes the page while it fades out here
    clock.advance(0.4);
    EXPECT_EQ(page->superview(), otherContainer);
    EXPECT_EQ(otherContainer->page(), page);
    EXPECT_EQ(pageView->page(), nullptr);
}

TEST_F(ZuPageViewTest, TapsOnTheContainerOutsideThePageAskForTheNextPageOnALaterTurn) {
    uikit::testing::TouchSimulator touches(window);
    auto noSource = ZuPageView::create(CGRect{0, 0, 400, 300});
    // With no data source, a tap on the empty container changes nothing.
    window->addSubview(noSource);
    touches.tap(CGPoint{100, 100});
    clock.runUntilIdle();
    EXPECT_EQ(noSource->page(), nullptr);
    noSource->removeFromSuperview();

    auto page = HalfPage::create(1);
    pages->next = page;
    touches.tap(CGPoint{100, 100});
    EXPECT_EQ(pages->asked, 0);  // asked after the gesture's own turn
    clock.runUntilIdle();
    EXPECT_EQ(pages->asked, 1);
    clock.advance(0.4);
    EXPECT_EQ(pageView->page(), page);

    // The page's left half takes its own touches; the right half lets them through to the container.
    touches.tap(CGPoint{100, 100});
    clock.runUntilIdle();
    EXPECT_EQ(pages->asked, 1);
    pages->next = nullptr;
    touches.tap(CGPoint{300, 100});
    clock.runUntilIdle();
    EXPECT_EQ(pages->asked, 2);
    clock.advance(0.4);
    EXPECT_EQ(pageView->page(), nullptr);

    // A touch that falls through a page where the page's point test says inside is the page's.
    show(page);
    page->setIsUserInteractionEnabled(false);
    touches.tap(CGPoint{100, 100});
    clock.runUntilIdle();
    EXPECT_EQ(pages->asked, 2);
}

TEST_F(ZuPageViewTest, ASingleTapWaitsForADoubleTapToFail) {
    auto doubleTap = uikit::UITapGestureRecognizer::create();
    doubleTap->setNumberOfTapsRequired(2);
    pageView->addGestureRecognizer(doubleTap);
    uikit::testing::TouchSimulator touches(window);
    touches.tap(CGPoint{100, 100});
    clock.runUntilIdle();
    EXPECT_EQ(pages->asked, 0);
    clock.advance(uikit::UITapGestureRecognizer::maximumTapInterval + 0.01);
    clock.runUntilIdle();
    EXPECT_EQ(pages->asked, 1);
}

TEST_F(ZuPageViewTest, TheMenuPressAsksTheDelegateToDismissAndNothingElse) {
    auto page = HalfPage::create(1);
    show(page);
    uikit::testing::PressSimulator().press(uikit::UIPress::PressType::menu, pageView);
    clock.advance(1);
    EXPECT_EQ(delegate->log, (std::vector<std::string>{"dismiss"}));
    EXPECT_EQ(pageView->page(), page);

    // A delegate that implements only the skip is complete; a data source that implements nothing says none.
    auto minimal = std::make_shared<PageWithoutDataSource>();
    auto silent = std::make_shared<ZuPageViewDataSource>();
    pageView->setDelegate(minimal);
    pageView->setDataSource(silent);
    uikit::testing::PressSimulator().press(uikit::UIPress::PressType::menu, pageView);
    pageView->updatePageIfNeeded();
    clock.advance(0.4);
    EXPECT_EQ(pageView->page(), nullptr);
}

TEST_F(ZuPageViewTest, APresentedPageGetsFocusWhereTheFocusSystemRuns) {
    uikit::UIFocusSystem::shared().setIsEnabled(true);
    auto page = HalfPage::create(1);
    page->focusable = true;
    pageView->replacePage(page);
    clock.advance(0.1);
    EXPECT_NE(uikit::UIFocusSystem::shared().focusedView(), page);
    clock.advance(0.1);
    clock.runUntilIdle();
    EXPECT_EQ(uikit::UIFocusSystem::shared().focusedView(), page);
}
