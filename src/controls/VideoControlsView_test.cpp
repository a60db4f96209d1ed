#include "controls/VideoControlsView.h"

#include <gtest/gtest.h>

#include <memory>

#include "dispatch/testing/ManualClockScope.h"
#include "playback/AdSignallingService.h"
#include "playback/VideoPlayerProxy.h"
#include "playback/ZuPlayer.h"
#include "ui/testing/DeviceScope.h"
#include "uikit/UIWindow.h"
#include "uikit/testing/EventSimulator.h"

namespace {

using namespace lumora;
using uikit::CGRect;

struct PlainDelegate : ZuPlayerControlsViewDelegate {};

struct Screen : VideoControlsViewDelegate {
    int closes = 0;
    void videoControlsViewDidPressCloseButton(VideoControlsView&) override { ++closes; }
};

class VideoControlsViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        uikit::testing::resetInteractionState();
        window = uikit::UIWindow::create(CGRect(0, 0, 844, 390));
        window->makeKeyAndVisible();
        player = ZuPlayer::create(5.0, VideoPlayerProxy::create(AdSignallingService::create()));
        controls = VideoControlsView::create(player);
    }
    void TearDown() override {
        controls->removeFromSuperview();
        uikit::testing::resetInteractionState();
    }
    void show() {
        window->addSubview(controls);
        controls->snp().makeConstraints([](uikit::ConstraintMaker& make) { make.edges().equalToSuperview(); });
        window->layoutIfNeeded();
    }

    dispatch::testing::ManualClockScope clock;
    lumora::testing::DeviceScope device{844, 390, uikit::UIUserInterfaceIdiom::phone};
    lumora::testing::PlayerAppearanceScope appearance;
    std::shared_ptr<uikit::UIWindow> window;
    std::shared_ptr<ZuPlayer> player;
    std::shared_ptr<VideoControlsView> controls;
};

TEST_F(VideoControlsViewTest, TheDelegateDefaultsAnswerNothing) {
    PlainDelegate delegate;
    auto view = ZuPlayerControlsView::create(player);
    EXPECT_FALSE(delegate.playerControlsViewKeyMomentEvents(*view));
    EXPECT_FALSE(delegate.shouldShowKeyMomentButton(*view));
    EXPECT_EQ(delegate.playerControlsDisplayDensity(*view), ZuPlayer::metrics().defaultDisplayDensity);
    EXPECT_FALSE(delegate.selectedKeyMomentEvent(*view));
    ZuPlayer::metrics().defaultDisplayDensity = 9;
    EXPECT_EQ(delegate.playerControlsDisplayDensity(*view), ZuPlayerControlsDisplayDensity(9));
}

TEST_F(VideoControlsViewTest, CloseReachesOnlyAPlayerScreen) {
    show();
    auto bar = controls->navigationControls();
    EXPECT_EQ(bar->frame().height(), 44);
    EXPECT_EQ(bar->superview(), controls);
    EXPECT_EQ(bar->closeButton()->title(uikit::UIControl::State::normal()), "Close");

    uikit::testing::TouchSimulator touches(window);
    touches.tap(bar->closeButton());  // no delegate: nothing happens

    auto plain = std::make_shared<PlainDelegate>();
    controls->setDelegate(plain);
    touches.tap(bar->closeButton());

    auto screen = std::make_shared<Screen>();
    controls->setDelegate(screen);
    touches.tap(bar->closeButton());
    EXPECT_EQ(screen->closes, 1);
}

}  // namespace
