#include "controls/ZuPlaybackControlsView.h"

#include <gtest/gtest.h>

#include <memory>
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
using uikit::CGPoint;
using uikit::CGRect;
using uikit::CGSize;
using uikit::UIColor;
using uikit::testing::TouchSimulator;
using State = uikit::UIControl::State;
using lumora::testing::ScreenClass;
namespace screens = lumora::testing::screens;

struct JumpRecorder : ZuPlaybackControlsViewDelegate {
    std::vector<double> jumps;
    int toggles = 0;
    void playbackControlsViewWillTogglePlayback(ZuPlaybackControlsView&) override { ++toggles; }
    void playbackControlsViewWillJump(ZuPlaybackControlsView&, double seconds) override { jumps.push_back(seconds); }
};

class ZuPlaybackControlsViewTest : public ::testing::Test {
  protected:
    // A phone window of `width` × `height` with the row in its middle.
    void show(uikit::CGFloat width, uikit::CGFloat height, uikit::UIUserInterfaceIdiom idiom) {
        device.emplace(width, height, idiom);
        window = uikit::UIWindow::create(CGRect(0, 0, width, height));
        window->makeKeyAndVisible();
        row = ZuPlaybackControlsView::create();
        window->addSubview(row);
        row->snp().makeConstraints([](uikit::ConstraintMaker& make) { make.center().equalToSuperview(); });
        recorder = std::make_shared<JumpRecorder>();
        row->setDelegate(recorder);
        window->layoutIfNeeded();
    }
    void SetUp() override { uikit::testing::resetInteractionState(); }
    void TearDown() override { uikit::testing::resetInteractionState(); }

    std::vector<std::shared_ptr<uikit::UIView>> arranged() const { return row->contentView()->arrangedSubviews(); }
    TouchSimulator sim() { return TouchSimulator(window); }

    dispatch::testing::ManualClockScope clock;
    lumora::testing::PlayerAppearanceScope appearance;
    lumora::testing::AssetCatalogueScope catalogue;  // the live icon catalogue as it was
    std::optional<lumora::testing::DeviceScope> device;
    std::shared_ptr<uikit::UIWindow> window;
    std::shared_ptr<ZuPlaybackControlsView> row;
    std::shared_ptr<JumpRecorder> recorder;
};

TEST_F(ZuPlaybackControlsViewTest, ButtonsFollowTheDensityAndTheDevice) {
    show(390, 844, uikit::UIUserInterfaceIdiom::phone);
    const std::vector<std::shared_ptr<uikit::UIView>> three{row->rewindButton(), row->playPauseButton(),
                                                            row->fastForwardButton()};
    EXPECT_EQ(arranged(), three);
    EXPECT_EQ(row->rewindButton()->frame().size, (CGSize{30, 30}));
    EXPECT_DOUBLE_EQ(row->playPauseButton()->frame().minX() - row->rewindButton()->frame().maxX(), 14);
    EXPECT_EQ(row->frame().size, (CGSize{118, 30}));

    row->setDisplayDensity(8);
    row->updateLayout();
    EXPECT_EQ(arranged(), std::vector<std::shared_ptr<uikit::UIView>>{row->playPauseButton()});
    EXPECT_EQ(row->rewindButton()->superview(), nullptr);
    for (int density : {7, 9}) {
        row->setDisplayDensity(ZuPlayerControlsDisplayDensity::fromRawValue(density, 2));
        row->updateLayout();
        EXPECT_EQ(arranged(), three) << density;
    }

    // Turned to landscape: bigger and further apart once laid out again.
    window->setFrame(CGRect(0, 0, 844, 390));
    row->updateLayout();
    window->layoutIfNeeded();
    EXPECT_EQ(row->fastForwardButton()->frame().size, (CGSize{50, 50}));
    EXPECT_DOUBLE_EQ(row->fastForwardButton()->frame().minX() - row->playPauseButton()->frame().maxX(), 30);
}

TEST_F(ZuPlaybackControlsViewTest, OnATabletTheButtonsAreLargestInEitherOrientation) {
    show(1024, 1366, uikit::UIUserInterfaceIdiom::pad);
    EXPECT_EQ(row->playPauseButton()->frame().size, (CGSize{70, 70}));
    EXPECT_DOUBLE_EQ(row->playPauseButton()->frame().minX() - row->rewindButton()->frame().maxX(), 40);
    window->setFrame(CGRect(0, 0, 1366, 1024));
    row->updateLayout();
    window->layoutIfNeeded();
    EXPECT_EQ(row->playPauseButton()->frame().size, (CGSize{70, 70}));
}

TEST_F(ZuPlaybackControlsViewTest, ImagesComeFromTheLiveCatalogue) {
    show(390, 844, uikit::UIUserInterfaceIdiom::phone);
    const auto& middle = AssetGraph::shared().middleControls;
    ASSERT_NE(middle.play.image(), nullptr);
    auto same = [](const std::shared_ptr<uikit::UIImage>& a, const std::shared_ptr<uikit::UIImage>& b) {
        return a && b && a->bitmap() == b->bitmap();
    };
    EXPECT_TRUE(same(row->rewindButton()->image(State::normal()), middle.jumpBackward.image()));
    EXPECT_TRUE(same(row->fastForwardButton()->image(State::normal()), middle.jumpForward.image()));
    EXPECT_TRUE(same(row->playPauseButton()->image(State::normal()), middle.play.image()));
    row->setIsPlaying(true);
    EXPECT_TRUE(same(row->playPauseButton()->image(State::normal()), middle.pause.image()));
    // An unchanged entry shown again is not read again.
    const auto pause = row->playPauseButton()->image(State::normal());
    row->setIsPlaying(false);
    row->setIsPlaying(true);
    EXPECT_EQ(row->playPauseButton()->image(State::normal()), pause);

    // Read at the moment the image is set: an entry the bundle does not hold is no image.
    AssetGraph::shared().middleControls.play.name = "no_such_icon";
    row->setIsPlaying(false);
    EXPECT_EQ(row->playPauseButton()->image(State::normal()), nullptr);
}

TEST_F(ZuPlaybackControlsViewTest, ATapJumpsOnceAndAHoldRepeatsEvery300MillisecondsUntilReleased) {
    show(390, 844, uikit::UIUserInterfaceIdiom::phone);
    sim().tap(row->fastForwardButton());
    sim().tap(row->rewindButton());
    clock.advance(1.0);
    EXPECT_EQ(recorder->jumps, (std::vector<double>{15.0, -15.0}));

    // Held for one second: +15 at 300, 600 and 900 ms, and once more on lifting inside.
    recorder->jumps.clear();
    auto touch = sim().begin(TouchSimulator::centerOf(row->fastForwardButton()));
    clock.advance(0.29);
    EXPECT_TRUE(recorder->jumps.empty());
    clock.advance(0.71);
    EXPECT_EQ(recorder->jumps, (std::vector<double>{15, 15, 15}));
    sim().end(touch);
    clock.advance(1.0);
    EXPECT_EQ(recorder->jumps, (std::vector<double>{15, 15, 15, 15}));

    // Dragging out of the button stops the repeats (and lifting out there is no tap).
    recorder->jumps.clear();
    const CGPoint centre = TouchSimulator::centerOf(row->rewindButton());
    touch = sim().begin(centre);
    clock.advance(0.65);
    sim().move(touch, CGPoint{centre.x, centre.y - 150});
    clock.advance(1.0);
    sim().end(touch);
    clock.advance(1.0);
    EXPECT_EQ(recorder->jumps, (std::vector<double>{-15, -15}));

    // A cancelled touch stops them too.
    recorder->jumps.clear();
    touch = sim().begin(centre);
    clock.advance(0.35);
    sim().cancel(touch);
    clock.advance(1.0);
    EXPECT_EQ(recorder->jumps, std::vector<double>{-15});

    sim().tap(row->playPauseButton());
    EXPECT_EQ(recorder->toggles, 1);
}

TEST_F(ZuPlaybackControlsViewTest, EveryDelegateAssignmentBindsTheJumpsAfresh) {
    show(390, 844, uikit::UIUserInterfaceIdiom::phone);
    row->setDelegate(recorder);  // a second time: still one jump per tap
    sim().tap(row->fastForwardButton());
    EXPECT_EQ(recorder->jumps, std::vector<double>{15});

    row->setDelegate({});
    sim().tap(row->fastForwardButton());
    EXPECT_EQ(recorder->jumps.size(), 1u);

    // Taken away, the row drops its delegate; put back with one, it jumps again.
    row->setDelegate(recorder);
    row->removeFromSuperview();
    EXPECT_EQ(row->delegate(), nullptr);
    EXPECT_EQ(row->contentView()->superview(), nullptr);
    window->addSubview(row);
    row->snp().remakeConstraints([](uikit::ConstraintMaker& make) { make.center().equalToSuperview(); });
    window->layoutIfNeeded();
    sim().tap(row->fastForwardButton());
    EXPECT_EQ(recorder->jumps.size(), 1u);
    row->setDelegate(recorder);
    sim().tap(row->rewindButton());
    EXPECT_EQ(recorder->jumps, (std::vector<double>{15, -15}));
}

// The row in a window filling each screen class.
class ZuPlaybackControlsViewOnEveryScreenTest : public ZuPlaybackControlsViewTest,
                                                public ::testing::WithParamInterface<ScreenClass> {
  protected:
    void SetUp() override {
        ZuPlaybackControlsViewTest::SetUp();
        show(GetParam().width, GetParam().height, GetParam().idiom);
    }
};

TEST_P(ZuPlaybackControlsViewOnEveryScreenTest, LooksLikeTheCentreOfThePlayer) {
    // Room for the buttons of the screen class: 30, 50 or 70 points square.
    const bool upright = GetParam().isPortrait() && !GetParam().isTablet();
    auto backdrop = uikit::UIView::create(upright ? CGRect(0, 0, 160, 60) : CGRect(0, 0, 320, 100));
    backdrop->setBackgroundColor(UIColor(0.1, 1.0));
    auto centre = ZuPlaybackControlsView::create();
    centre->setTintColor(UIColor::white());
    window->addSubview(backdrop);
    backdrop->addSubview(centre);
    centre->snp().makeConstraints([](uikit::ConstraintMaker& make) { make.center().equalToSuperview(); });
    centre->setIsPlaying(true);
    EXPECT_SNAPSHOT(*backdrop, "playback_controls" + GetParam().goldenSuffix(screens::phonePortrait));
}

INSTANTIATE_TEST_SUITE_P(Screens, ZuPlaybackControlsViewOnEveryScreenTest, ::testing::ValuesIn(screens::all()),
                         screens::name);

}  // namespace
