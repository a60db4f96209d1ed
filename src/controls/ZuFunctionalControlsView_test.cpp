#include "controls/ZuFunctionalControlsView.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dispatch/testing/ManualClockScope.h"
#include "ui/AssetGraph.h"
#include "ui/testing/DeviceScope.h"
#include "ui/testing/ScreenClasses.h"
#include "uikit/UIWindow.h"
#include "uikit/testing/EventSimulator.h"
#include "uikit/testing/SnapshotTesting.h"

namespace {

using namespace lumora;
using uikit::CGRect;
using uikit::UIColor;
using uikit::UIEdgeInsets;
using uikit::testing::TouchSimulator;
using State = uikit::UIControl::State;
using Views = std::vector<std::shared_ptr<uikit::UIView>>;
using lumora::testing::ScreenClass;
namespace screens = lumora::testing::screens;

// An owner that answers the key-moments question and, when asked to, applies proposed speeds.
struct Owner : ZuFunctionalControlsViewDelegate {
    bool offersKeyMoments = false;
    bool appliesSpeeds = false;
    std::vector<std::string> calls;
    std::vector<float> proposedRates;
    std::vector<bool> proposedFullScreen;
    bool functionalControlsViewShouldContainKeymomentButton(ZuFunctionalControlsView&) override {
        return offersKeyMoments;
    }
    void presentRelatedContent(ZuFunctionalControlsView&) override { calls.push_back("related"); }
    void presentNextContent(ZuFunctionalControlsView&) override { calls.push_back("next"); }
    void functionalControlsViewWillJumpToLiveEdge(ZuFunctionalControlsView&) override { calls.push_back("live"); }
    void functionalControlsViewDidTapKeyMomentButton(ZuFunctionalControlsView& view, ZuPlayerButton& button) override {
        calls.push_back(&button == view.keyMomentsStateButton().get() ? "keyMoments" : "other");
    }
    void functionalControlsViewWillChangePlaybackSpeed(ZuFunctionalControlsView& view, float rate) override {
        proposedRates.push_back(rate);
        if (appliesSpeeds) view.updateSpeed(*VideoPlaybackSpeed::fromRawValue(rate));
    }
    void functionalControlsViewWillChangeFullScreen(ZuFunctionalControlsView&, bool fullScreen) override {
        proposedFullScreen.push_back(fullScreen);
    }
};

bool sameImage(const std::shared_ptr<uikit::UIImage>& a, const std::shared_ptr<uikit::UIImage>& b) {
    return a && b && a->bitmap() == b->bitmap();
}

class ZuFunctionalControlsViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        uikit::testing::resetInteractionState();
        window = uikit::UIWindow::create(CGRect(0, 0, 844, 390));
        window->makeKeyAndVisible();
        row = ZuFunctionalControlsView::create();
        row->setTintColor(UIColor::white());
        owner = std::make_shared<Owner>();
        row->setDelegate(owner);
        window->addSubview(row);
        row->snp().makeConstraints([](uikit::ConstraintMaker& make) {
            make.leading().trailing().equalToSuperview().inset(36);
            make.bottom().equalToSuperview().inset(26);
            make.height().equalTo(44);
        });
        window->layoutIfNeeded();
    }
    void TearDown() override { uikit::testing::resetInteractionState(); }

    void setDensity(int density) {
        row->setDisplayDensity(ZuPlayerControlsDisplayDensity::fromRawValue(density, 2));
        row->reloadSections();
    }
    Views left() const { return row->lSectionView()->arrangedSubviews(); }
    Views middle() const { return row->mSectionView()->arrangedSubviews(); }
    Views right() const { return row->rSectionView()->arrangedSubviews(); }
    TouchSimulator sim() { return TouchSimulator(window); }

    dispatch::testing::ManualClockScope clock;
    lumora::testing::DeviceScope device{844, 390, uikit::UIUserInterfaceIdiom::phone};
    lumora::testing::AssetCatalogueScope catalogue;
    std::shared_ptr<uikit::UIWindow> window;
    std::shared_ptr<ZuFunctionalControlsView> row;
    std::shared_ptr<Owner> owner;
};

TEST_F(ZuFunctionalControlsViewTest, SectionsFollowTheDensityAndTheKeyMomentsAnswer) {
    const auto& r = *row;
    const Views speedLiveTime{r.speedButton(), r.liveButton(), r.timeLabel()};
    const Views time{r.timeLabel()};
    const Views related{r.relatedContentButton()};
    for (bool offers : {false, true}) {
        owner->offersKeyMoments = offers;
        Views k;
        if (offers) k.push_back(r.keyMomentsStateButton());
        auto withK = [&k](Views rest) {
            rest.insert(rest.begin(), k.begin(), k.end());
            return rest;
        };
        struct Expected {
            int density;
            Views left, middle, right;
        };
        const std::vector<Expected> table{
            {0, speedLiveTime, related, withK({r.fullScreenButton()})},
            {1, speedLiveTime, related, withK({})},
            {2, time, related, withK({r.fullScreenButton()})},
            {3, time, related, withK({})},
            {4, time, {}, {r.fullScreenButton()}},
            {5, time, {}, {}},
            {6, time, {}, {}},
            {7, {}, {}, {}},
            {8, {}, {}, {}},
            {9, time, {}, {r.nextButton(), r.divider(), r.fullScreenButton()}},
            {10, time, {}, {r.nextButton(), r.divider(), r.fullScreenButton()}},
            {11, time, {}, {r.nextButton(), r.divider(), r.fullScreenButton()}},
        };
        for (const auto& e : table) {
            setDensity(e.density);
            EXPECT_EQ(left(), e.left) << "density " << e.density << " key moments " << offers;
            EXPECT_EQ(middle(), e.middle) << "density " << e.density;
            EXPECT_EQ(right(), e.right) << "density " << e.density;
        }
    }
    // Views left out of a section are out of the row, not hidden in it.
    setDensity(5);
    EXPECT_EQ(row->fullScreenButton()->superview(), nullptr);
    EXPECT_EQ(row->timeLabel()->layoutMargins(), UIEdgeInsets());
    setDensity(9);
    EXPECT_EQ(row->timeLabel()->layoutMargins(), (UIEdgeInsets{0, 20, 0, 20}));

    // Without a delegate the key-moments button is never offered.
    row->setDelegate({});
    setDensity(2);
    EXPECT_EQ(right(), Views{row->fullScreenButton()});
}

TEST_F(ZuFunctionalControlsViewTest, TheSectionsAreLaidOutAcrossTheRow) {
    owner->offersKeyMoments = true;
    setDensity(0);
    row->timeLabel()->setText("01:23 / 45:00");
    window->layoutIfNeeded();
    const CGRect bounds = row->bounds();
    EXPECT_DOUBLE_EQ(row->lSectionView()->frame().minX(), 0);
    EXPECT_DOUBLE_EQ(row->rSectionView()->frame().maxX(), bounds.maxX());
    EXPECT_NEAR(row->mSectionView()->frame().midX(), bounds.midX(), 0.5);
    EXPECT_GE(row->mSectionView()->frame().minX(), row->lSectionView()->frame().maxX());
    EXPECT_LE(row->mSectionView()->frame().maxX(), row->rSectionView()->frame().minX());
    // The time label is wide enough for its text.
    EXPECT_GE(row->timeLabel()->frame().width(), row->timeLabel()->intrinsicContentSize().width);
}

TEST_F(ZuFunctionalControlsViewTest, ImagesAndTitlesComeFromTheLiveCatalogue) {
    const auto& bottom = AssetGraph::shared().bottomControls;
    EXPECT_TRUE(sameImage(row->speedButton()->image(State::normal()), bottom.speedX10.image()));
    EXPECT_TRUE(sameImage(row->liveButton()->image(State::normal()), bottom.backToLive.image()));
    EXPECT_TRUE(sameImage(row->liveButton()->image(State::disabled()), bottom.isLive.image()));
    EXPECT_FALSE(row->liveButton()->adjustsImageWhenDisabled());
    EXPECT_TRUE(row->liveButton()->isHidden());
    EXPECT_TRUE(sameImage(row->relatedContentButton()->image(State::normal()), bottom.relatedVideos.image()));
    EXPECT_TRUE(sameImage(row->nextButton()->image(State::normal()), bottom.nextContent.image()));
    EXPECT_EQ(row->relatedContentButton()->title(State::normal()), "Related Videos");
    EXPECT_EQ(row->nextButton()->title(State::normal()), "Next Episode");
    EXPECT_EQ(row->keyMomentsStateButton()->title(State::normal()), std::nullopt);
    EXPECT_EQ(row->relatedContentButton()->titleEdgeInsets(), (UIEdgeInsets{0, 14, 0, 0}));
    EXPECT_TRUE(sameImage(row->fullScreenButton()->image(State::normal()), bottom.enterFullScreen.image()));
    row->setIsFullScreen(true);
    EXPECT_TRUE(sameImage(row->fullScreenButton()->image(State::normal()), bottom.exitFullScreen.image()));
    row->setIsFullScreen(false);
    EXPECT_TRUE(sameImage(row->fullScreenButton()->image(State::normal()), bottom.enterFullScreen.image()));

    // The key-moments title, when the catalogue has one, is given at creation.
    AssetGraph::shared().bottomControls.copy.keyMomentsButtonText = "Moments";
    auto titled = ZuFunctionalControlsView::create();
    EXPECT_EQ(titled->keyMomentsStateButton()->title(State::normal()), "Moments");
    EXPECT_EQ(titled->keyMomentsStateButton()->titleEdgeInsets(), (UIEdgeInsets{0, 14, 0, 0}));
}

TEST_F(ZuFunctionalControlsViewTest, TheSpeedButtonProposesAndTheOwnerDecides) {
    setDensity(0);
    window->layoutIfNeeded();
    for (int i = 0; i < 4; ++i) sim().tap(row->speedButton());
    EXPECT_EQ(owner->proposedRates, (std::vector<float>{0.5, 0.5, 0.5, 0.5}));
    EXPECT_EQ(row->videoPlaybackSpeed(), VideoPlaybackSpeed::normal);

    owner->proposedRates.clear();
    owner->appliesSpeeds = true;
    for (int i = 0; i < 4; ++i) sim().tap(row->speedButton());
    EXPECT_EQ(owner->proposedRates, (std::vector<float>{0.5, 1.5, 2.0, 1.0}));
    EXPECT_EQ(row->videoPlaybackSpeed(), VideoPlaybackSpeed::normal);

    row->updateSpeed(VideoPlaybackSpeed::double_);
    EXPECT_TRUE(
        sameImage(row->speedButton()->image(State::normal()), AssetGraph::shared().bottomControls.speedX20.image()));
    // Speeds the button does not offer change nothing.
    for (VideoPlaybackSpeed unoffered : {VideoPlaybackSpeed::triple, VideoPlaybackSpeed::paused}) {
        row->updateSpeed(unoffered);
        EXPECT_EQ(row->videoPlaybackSpeed(), VideoPlaybackSpeed::double_);
        EXPECT_TRUE(sameImage(row->speedButton()->image(State::normal()),
                              AssetGraph::shared().bottomControls.speedX20.image()));
    }
}

TEST_F(ZuFunctionalControlsViewTest, TapsBecomeProposalsToTheOwner) {
    owner->offersKeyMoments = true;
    setDensity(0);
    row->liveButton()->setIsHidden(false);
    window->layoutIfNeeded();
    sim().tap(row->relatedContentButton());
    sim().tap(row->keyMomentsStateButton());
    sim().tap(row->liveButton());
    EXPECT_FALSE(row->liveButton()->isHidden());
    sim().tap(row->fullScreenButton());
    row->setIsFullScreen(true);
    sim().tap(row->fullScreenButton());
    setDensity(9);
    window->layoutIfNeeded();
    sim().tap(row->nextButton());
    EXPECT_EQ(owner->calls, (std::vector<std::string>{"related", "keyMoments", "live", "next"}));
    EXPECT_EQ(owner->proposedFullScreen, (std::vector<bool>{true, false}));

    // The up-next button and its divider hide and show together.
    row->setIsNextButtonHidden(true);
    EXPECT_TRUE(row->nextButton()->isHidden());
    EXPECT_TRUE(row->divider()->isHidden());
    row->setIsNextButtonHidden(false);
    EXPECT_FALSE(row->divider()->isHidden());
}

TEST_F(ZuFunctionalControlsViewTest, TheTintAndTheSuperviewShapeTheRow) {
    row->setTintColor(UIColor::orange());
    EXPECT_EQ(row->timeLabel()->textColor(), UIColor::orange());
    EXPECT_EQ(row->divider()->backgroundColor(), UIColor::orange().withAlphaComponent(0.15));
    EXPECT_DOUBLE_EQ(row->timeLabel()->alpha(), 0.6);

    row->removeFromSuperview();
    EXPECT_TRUE(row->subviews().empty());
    EXPECT_TRUE(row->lSectionView()->arrangedSubviews().empty());
    EXPECT_EQ(row->timeLabel()->superview(), nullptr);
    window->addSubview(row);
    EXPECT_EQ(left(), Views{row->timeLabel()});
}

// The row as wide as the controls make it on each screen class (the density's side margins taken off the
// screen's width), at the bottom of a dark backdrop, holding what a live stream away from its edge with key
// moments shows — except on an upright phone, whose row holds a stream on demand without key moments: the
// whole set is wider than the 318 points it has there at density 0.
class ZuFunctionalControlsViewOnEveryScreenTest : public ZuFunctionalControlsViewTest,
                                                  public ::testing::WithParamInterface<ScreenClass> {
  protected:
    void SetUp() override {
        ZuFunctionalControlsViewTest::SetUp();
        const bool upright = GetParam().isPortrait() && !GetParam().isTablet();
        window->setFrame(CGRect(0, 0, GetParam().width, GetParam().height));
        backdrop = uikit::UIView::create(CGRect(0, 0, GetParam().width, 44));
        backdrop->setBackgroundColor(UIColor(0.1, 1.0));
        bottomRow = ZuFunctionalControlsView::create();
        bottomRow->setTintColor(UIColor::white());
        owner->offersKeyMoments = !upright;
        bottomRow->setDelegate(owner);
        window->addSubview(backdrop);
        backdrop->addSubview(bottomRow);
        bottomRow->snp().makeConstraints([](uikit::ConstraintMaker& make) { make.edges().equalToSuperview(); });
        bottomRow->keyMomentsStateButton()->setImageFor(AssetGraph::shared().bottomControls.keyMomentsOff.image(),
                                                        State::normal());
        bottomRow->liveButton()->setIsHidden(upright);
        bottomRow->timeLabel()->setText("12:34 / 45:00");
    }
    void use(int density) {
        static constexpr double sideMargins[] = {36, 36, 36, 36, 26, 26, 26, 16, 16, 14, 30, 64};
        backdrop->setFrame(CGRect(0, 0, GetParam().width - 2 * sideMargins[density], 44));
        bottomRow->setDisplayDensity(ZuPlayerControlsDisplayDensity::fromRawValue(density, 2));
        bottomRow->reloadSections();
        window->layoutIfNeeded();
    }

    std::shared_ptr<uikit::UIView> backdrop;
    std::shared_ptr<ZuFunctionalControlsView> bottomRow;
};

TEST_P(ZuFunctionalControlsViewOnEveryScreenTest, TheSectionsKeepTheirSpacingAndStayInTheRow) {
    const bool upright = GetParam().isPortrait() && !GetParam().isTablet();
    // An upright phone's row has no room for the speed button beside the related content (density 1) nor for
    // up next (9 to 11): those densities are for wider rows.
    const std::vector<int> densities =
        upright ? std::vector<int>{0, 2, 3, 4} : std::vector<int>{0, 1, 2, 3, 4, 9, 10, 11};
    for (int density : densities) {
        SCOPED_TRACE("density " + std::to_string(density));
        use(density);
        const CGRect l = bottomRow->lSectionView()->frame();
        const CGRect m = bottomRow->mSectionView()->frame();
        const CGRect r = bottomRow->rSectionView()->frame();
        EXPECT_GE(l.minX(), 0);
        EXPECT_LE(r.maxX(), bottomRow->bounds().width() + 1e-6);
        // Sections as far apart as the members of one at least, the middle one (empty or not) between them.
        EXPECT_GE(m.minX() - l.maxX(), 14 - 1e-6);
        EXPECT_GE(r.minX() - m.maxX(), 14 - 1e-6);
        for (const auto& section : {bottomRow->lSectionView(), bottomRow->mSectionView(), bottomRow->rSectionView()}) {
            for (const auto& member : section->arrangedSubviews()) {
                if (member->isHidden()) continue;
                EXPECT_GE(member->frame().minX(), -1e-6);
                EXPECT_LE(member->frame().maxX(), section->bounds().width() + 1e-6);
            }
        }
    }
}

TEST_P(ZuFunctionalControlsViewOnEveryScreenTest, LooksLikeTheBottomRow) {
    use(0);
    EXPECT_SNAPSHOT(*backdrop, "functional_controls" + GetParam().goldenSuffix(screens::phoneLandscape));
}

INSTANTIATE_TEST_SUITE_P(Screens, ZuFunctionalControlsViewOnEveryScreenTest, ::testing::ValuesIn(screens::all()),
                         screens::name);

}  // namespace
