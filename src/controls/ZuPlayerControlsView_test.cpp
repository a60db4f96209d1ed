// The controls view's rows per display density, their order and margins, key moments and thumbnails relayed
// between its delegate and the slider row, and the key-moments button.
#include "controls/ZuPlayerControlsView.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "controls/ZuAdControlsView.h"
#include "controls/testing/ZuControlsTestSupport.h"
#include "dispatch/testing/ManualClockScope.h"
#include "keymoments/testing/BIFWriter.h"
#include "playback/AdSignallingService.h"
#include "playback/VideoPlayerProxy.h"
#include "playback/ZuPlayer.h"
#include "ui/testing/ScreenClasses.h"
#include "uikit/UIWindow.h"
#include "uikit/testing/EventSimulator.h"

namespace {

using namespace lumora;
using lumora::testing::keyMoment;
using lumora::testing::RecordingControlsDelegate;
using lumora::testing::ScreenClass;
using lumora::testing::ScreenClassScope;
namespace screens = lumora::testing::screens;
using uikit::CGRect;
using uikit::UIEdgeInsets;

class ZuPlayerControlsViewTest : public ::testing::Test {
  protected:
    void SetUp() override { makeWindow(screens::smallPhoneLandscape); }
    // The screen of a device filled by a window with a player.
    void makeWindow(const ScreenClass& screen) {
        uikit::testing::resetInteractionState();
        device.reset();
        device.emplace(screen);
        window = uikit::UIWindow::create(CGRect(0, 0, screen.width, screen.height));
        device->show(*window);
        window->makeKeyAndVisible();
        player = ZuPlayer::create(5.0, VideoPlayerProxy::create(AdSignallingService::create()));
        window->addSubview(player);
        player->snp().makeConstraints([](uikit::ConstraintMaker& make) { make.edges().equalToSuperview(); });
        controls = ZuPlayerControlsView::create(player);
        delegate = std::make_shared<RecordingControlsDelegate>();
        controls->setDelegate(delegate);
    }
    void TearDown() override {
        controls->removeFromSuperview();
        player->removeFromSuperview();
        uikit::testing::resetInteractionState();
    }
    void show() {
        player->addSubview(controls);
        controls->snp().makeConstraints([](uikit::ConstraintMaker& make) { make.edges().equalToSuperview(); });
        window->layoutIfNeeded();
    }
    // Lays the controls out for `density`.
    void use(ZuPlayerControlsDisplayDensity density) {
        delegate->density = density;
        controls->setNeedsUpdateDisplayDensity();
        clock.runUntilIdle();  // the bindings' first values (the time label's text)
        window->layoutIfNeeded();
    }
    bool shows(const std::shared_ptr<uikit::UIView>& row) const { return row->superview() == controls; }
    CGRect frameOf(const std::shared_ptr<uikit::UIView>& view) const {
        return view->convertTo(view->bounds(), controls);
    }

    dispatch::testing::ManualClockScope clock;
    std::optional<ScreenClassScope> device;
    lumora::testing::PlayerAppearanceScope appearance;
    std::shared_ptr<uikit::UIWindow> window;
    std::shared_ptr<ZuPlayer> player;
    std::shared_ptr<ZuPlayerControlsView> controls;
    std::shared_ptr<RecordingControlsDelegate> delegate;
};

// The same on every screen class.
class ZuPlayerControlsViewOnEveryScreenTest : public ZuPlayerControlsViewTest,
                                              public ::testing::WithParamInterface<ScreenClass> {
  protected:
    void SetUp() override { makeWindow(GetParam()); }

    // Where the playback row's centre sits on the margins' centre line: raised on a phone held upright.
    static double playbackCentreFactor(const ScreenClass& screen) {
        return screen.isPortrait() && !screen.isTablet() ? 0.8 : 1.0;
    }
    double playbackCentreFactor() const { return playbackCentreFactor(GetParam()); }
};

// The size of the playback row's buttons and the space between them on a screen class.
struct PlaybackMetrics {
    uikit::CGSize button;
    uikit::CGFloat spacing = 0;
};
PlaybackMetrics playbackMetrics(const ScreenClass& screen) {
    if (screen.isTablet()) return {{70, 70}, 40};
    if (screen.isPortrait()) return {{30, 30}, 14};
    return {{50, 50}, 30};
}

TEST_P(ZuPlayerControlsViewOnEveryScreenTest, EachDensityShowsItsRowsInItsOrderWithinItsMargins) {
    constexpr double vertical[] = {26, 26, 26, 26, 16, 16, 16, 16, 16, 14, 14, 64};
    constexpr double horizontal[] = {36, 36, 36, 36, 26, 26, 26, 16, 16, 14, 30, 64};
    EXPECT_EQ(controls->displayDensity(), ZuPlayer::metrics().defaultDisplayDensity);
    show();
    auto playback = controls->playbacks();
    auto functional = controls->functionals();
    auto slider = controls->sliders();
    for (int raw = 0; raw <= 11; ++raw) {
        SCOPED_TRACE("density " + std::to_string(raw));
        const auto density = *ZuPlayerControlsDisplayDensity::fromRawValue(raw);
        use(density);
        EXPECT_EQ(controls->displayDensity(), density);
        const double v = vertical[raw], h = horizontal[raw];
        // Kept clear of the unsafe edges on phones on their side and on tablets.
        const UIEdgeInsets unsafe = controls->insetsLayoutMarginsFromSafeArea() ? GetParam().safeArea : UIEdgeInsets{};
        EXPECT_EQ(controls->insetsLayoutMarginsFromSafeArea(), GetParam().isTablet() || !GetParam().isPortrait());
        EXPECT_EQ(controls->layoutMargins(),
                  (UIEdgeInsets{v + unsafe.top, h + unsafe.left, v + unsafe.bottom, h + unsafe.right}));
        const CGRect guide = controls->layoutMarginsGuide()->layoutFrame();

        // The playback row always, centred on the margins (raised on an upright phone).
        ASSERT_TRUE(shows(playback));
        EXPECT_NEAR(frameOf(playback).midX(), guide.midX(), 0.5);
        EXPECT_NEAR(frameOf(playback).midY(), guide.midY() * playbackCentreFactor(), 0.5);
        EXPECT_EQ(playback->displayDensity(), density);
        EXPECT_EQ(playback->contentView()->arrangedSubviews().size(), raw == 8 ? 1u : 3u);
        if (raw == 7 || raw == 8) {
            EXPECT_FALSE(shows(functional));
            EXPECT_FALSE(shows(slider));
            continue;
        }
        ASSERT_TRUE(shows(functional));
        ASSERT_TRUE(shows(slider));
        EXPECT_EQ(functional->displayDensity(), density);
        EXPECT_EQ(slider->displayDensity(), density);
        const CGRect f = frameOf(functional), s = frameOf(slider);
        for (const CGRect& row : {f, s}) {
            EXPECT_NEAR(row.minX(), guide.minX(), 1e-6);
            EXPECT_NEAR(row.maxX(), guide.maxX(), 1e-6);
        }
        if (raw >= 4 && raw <= 6) {
            // The functional row rests on the slider row, which sits on the bottom margin.
            EXPECT_NEAR(s.maxY(), guide.maxY(), 1e-6);
            EXPECT_NEAR(f.maxY(), s.minY(), 1e-6);
        } else {
            // The slider row rests on the functional row, which sits on the bottom margin.
            EXPECT_NEAR(f.maxY(), guide.maxY(), 1e-6);
            EXPECT_NEAR(s.maxY(), f.minY(), 1e-6);
        }
        EXPECT_GT(f.height(), 0);
        EXPECT_GT(s.height(), 0);
    }
}

TEST_P(ZuPlayerControlsViewOnEveryScreenTest, ThePlaybackRowsTakeTheMetricsOfTheirWindowAndFollowItsTurns) {
    // The controls, and the ad controls a host lays over the same player, both made outside the window.
    auto adControls = ZuAdControlsView::create(player);
    show();
    player->addSubview(adControls);
    adControls->snp().makeConstraints([](uikit::ConstraintMaker& make) { make.edges().equalToSuperview(); });
    window->layoutIfNeeded();

    auto check = [&](const ScreenClass& screen) {
        SCOPED_TRACE(screen.name);
        const auto expected = playbackMetrics(screen);
        for (const auto& row : {controls->playbacks(), adControls->playbacks()}) {
            EXPECT_EQ(row->playPauseButton()->frame().size, expected.button);
            EXPECT_EQ(row->contentView()->spacing(), expected.spacing);
        }
        auto row = controls->playbacks();
        EXPECT_DOUBLE_EQ(row->playPauseButton()->frame().minX() - row->rewindButton()->frame().maxX(),
                         expected.spacing);
        const CGRect guide = controls->layoutMarginsGuide()->layoutFrame();
        EXPECT_NEAR(frameOf(row).midY(), guide.midY() * playbackCentreFactor(screen), 0.5);
        const CGRect adGuide = adControls->layoutMarginsGuide()->layoutFrame();
        const CGRect adRow = adControls->playbacks()->convertTo(adControls->playbacks()->bounds(), adControls);
        EXPECT_NEAR(adRow.midY(), adGuide.midY() * playbackCentreFactor(screen), 0.5);
    };
    check(GetParam());

    // Turned a quarter and back: nothing but the window's new traits lays the rows out again.
    device->turn(*window);
    window->layoutIfNeeded();
    check(device->screen());
    device->turn(*window);
    window->layoutIfNeeded();
    check(device->screen());
    adControls->removeFromSuperview();
}

TEST_F(ZuPlayerControlsViewTest, RowsJoinOnceAndComeBackAfterAPlaybackOnlyDensity) {
    show();  // density 2 from the delegate
    auto functional = controls->functionals();
    auto slider = controls->sliders();
    const auto subviews = controls->subviews().size();
    controls->setNeedsUpdateDisplayDensity();
    controls->setNeedsUpdateDisplayDensity();
    EXPECT_EQ(controls->subviews().size(), subviews);  // added only once

    use(7);
    EXPECT_FALSE(shows(functional));
    EXPECT_FALSE(shows(slider));
    EXPECT_EQ(slider->delegate(), nullptr);  // a row that leaves lets go of its delegate
    use(2);
    EXPECT_EQ(controls->functionals(), functional);  // the same rows, not new ones
    EXPECT_EQ(controls->sliders(), slider);
    EXPECT_TRUE(shows(functional));
    EXPECT_TRUE(shows(slider));
    EXPECT_EQ(slider->delegate(), std::static_pointer_cast<ZuSliderControlsViewDelegate>(controls));
    EXPECT_EQ(functional->delegate(), std::static_pointer_cast<ZuFunctionalControlsViewDelegate>(controls));

    // Densities 5 and 6 lay out alike.
    use(5);
    const CGRect at5 = frameOf(slider), functionalAt5 = frameOf(functional);
    use(6);
    EXPECT_EQ(frameOf(slider), at5);
    EXPECT_EQ(frameOf(functional), functionalAt5);

    // Without a delegate: the live metrics' default.
    controls->setDelegate({});
    ZuPlayer::metrics().defaultDisplayDensity = 11;
    controls->setNeedsUpdateDisplayDensity();
    EXPECT_EQ(controls->displayDensity(), ZuPlayerControlsDisplayDensity(11));
    EXPECT_EQ(controls->layoutMargins(), (UIEdgeInsets{64, 64, 64, 64}));
}

TEST_F(ZuPlayerControlsViewTest, APortraitPhoneRaisesThePlaybackRow) {
    makeWindow(screens::phonePortrait);
    show();
    const CGRect guide = controls->layoutMarginsGuide()->layoutFrame();
    // Its centre at 0.8 of the margins' centre line, in the controls' coordinates.
    EXPECT_NEAR(frameOf(controls->playbacks()).midY(), guide.midY() * 0.8, 0.5);
    EXPECT_FALSE(controls->insetsLayoutMarginsFromSafeArea());  // a phone held upright keeps the margins as given
}

TEST_F(ZuPlayerControlsViewTest, KeyMomentsAreAskedAfreshAndHiddenWhenThereAreNone) {
    show();
    auto strip = controls->sliders()->keyMomentsView();
    delegate->events = std::vector<ZuKeyMomentEvent>{keyMoment("B", 40), keyMoment("A", 10)};
    controls->sliders()->setMaximumValue(120);
    controls->updateKeyMoments();
    EXPECT_FALSE(strip->isHidden());
    EXPECT_EQ(strip->events().size(), 2u);
    delegate->events = std::vector<ZuKeyMomentEvent>{};
    controls->updateKeyMoments();
    EXPECT_TRUE(strip->isHidden());
    delegate->events.reset();  // no answer counts as none
    controls->updateKeyMoments();
    EXPECT_TRUE(strip->isHidden());

    // Without a delegate nothing changes and nothing is offered.
    delegate->events = std::vector<ZuKeyMomentEvent>{keyMoment("A", 10)};
    controls->setDelegate({});
    controls->updateKeyMoments();
    EXPECT_TRUE(strip->isHidden());
    EXPECT_FALSE(controls->sliderControlsViewKeyMomentEvents(*controls->sliders()));
    EXPECT_FALSE(controls->functionalControlsViewShouldContainKeymomentButton(*controls->functionals()));
    EXPECT_FALSE(controls->selectedKeyMomentEvent(*controls->sliders()));
}

TEST_F(ZuPlayerControlsViewTest, SelectionSeeksToTheStripsEventAndFocusFollowsTimeOrder) {
    show();
    controls->sliders()->setMaximumValue(120);
    delegate->events = std::vector<ZuKeyMomentEvent>{keyMoment("late", 80), keyMoment("early", 20)};
    controls->updateKeyMoments();
    auto row = controls->sliders();

    controls->sliderControlsViewDidSelectKeyMomentItemAt(*row, 1);  // the strip's second (by time): 80 s
    EXPECT_EQ(delegate->log, (std::vector<std::string>{"seek to 80", "select late"}));
    EXPECT_EQ(row->slider()->value(), 80);
    ASSERT_TRUE(player->pendingSeekTime());
    EXPECT_EQ(player->pendingSeekTime()->seconds(), 80);

    delegate->log.clear();
    controls->sliderControlsViewDidFocusedOnKeyMomentItemAt(*row, 0);  // the earliest
    EXPECT_EQ(delegate->log, std::vector<std::string>{"focus early"});

    // A focus index names a place on the strip, as a selection does: with a moment listed twice (shown once),
    // the second place is the later moment.
    delegate->events =
        std::vector<ZuKeyMomentEvent>{keyMoment("late", 80), keyMoment("early", 20), keyMoment("early", 20)};
    controls->updateKeyMoments();
    delegate->log.clear();
    controls->sliderControlsViewDidFocusedOnKeyMomentItemAt(*row, 1);
    EXPECT_EQ(delegate->log, std::vector<std::string>{"focus late"});

    delegate->log.clear();
    for (int index : {-1, 2}) {
        controls->sliderControlsViewDidSelectKeyMomentItemAt(*row, index);
        controls->sliderControlsViewDidFocusedOnKeyMomentItemAt(*row, index);
    }
    EXPECT_TRUE(delegate->log.empty());

    delegate->selected = keyMoment("early", 20);
    EXPECT_EQ(controls->selectedKeyMomentEvent(*row)->code, "early");
    controls->sliderControlsViewDidDismissKeyMoments(*row);
    EXPECT_EQ(delegate->log, std::vector<std::string>{"dismiss"});
}

// A hundred moments at 500 to 599 s are shown; a hundred and fifty earlier ones join them, and the strip makes
// their markers a hundred a turn. A marker tapped before it is done seeks to its own moment.
TEST_F(ZuPlayerControlsViewTest, AMarkerTappedWhileTheStripIsStillMakingMarkersSeeksToItsOwnMoment) {
    show();
    controls->sliders()->setMaximumValue(700);
    std::vector<ZuKeyMomentEvent> events;
    for (int i = 0; i < 100; ++i) events.push_back(keyMoment("A" + std::to_string(i), 500 + i));
    delegate->events = events;
    controls->updateKeyMoments();
    for (int i = 0; i < 150; ++i) events.push_back(keyMoment("B" + std::to_string(i), 10 + i));
    delegate->events = events;
    controls->updateKeyMoments();
    auto strip = controls->sliders()->keyMomentsView();
    ASSERT_LT(strip->keyMomentItems().size(), 250u) << "markers still to make";

    auto tap = [&](const ZuKeyMomentEvent& event) {
        auto marker = strip->item(event);
        ASSERT_TRUE(marker) << event.code;
        delegate->log.clear();
        marker->sendActions(uikit::UIControl::Event::touchUpInside());  // what a tap on its bubble sends
    };
    tap(keyMoment("A0", 500));
    EXPECT_EQ(delegate->log, (std::vector<std::string>{"seek to 500", "select A0"}));
    tap(keyMoment("B99", 109));
    EXPECT_EQ(delegate->log, (std::vector<std::string>{"seek to 109", "select B99"}));

    clock.advance(1.0 / 60);
    ASSERT_EQ(strip->keyMomentItems().size(), 250u);
    tap(keyMoment("B120", 130));
    EXPECT_EQ(delegate->log, (std::vector<std::string>{"seek to 130", "select B120"}));
    tap(keyMoment("A99", 599));
    EXPECT_EQ(delegate->log, (std::vector<std::string>{"seek to 599", "select A99"}));
}

TEST_F(ZuPlayerControlsViewTest, TheStripFadesInAndOutOnRequest) {
    show();
    auto strip = controls->sliders()->keyMomentsView();
    controls->functionalControlsViewWillToggleKeyMomentsHidden(*controls->functionals(), true);
    clock.advance(0.3);
    EXPECT_TRUE(strip->isHidden());
    controls->functionalControlsViewWillToggleKeyMomentsHidden(*controls->functionals(), false);
    EXPECT_FALSE(strip->isHidden());
    EXPECT_EQ(strip->alpha(), 1.0);
    clock.advance(0.3);
    EXPECT_FALSE(strip->isHidden());
}

TEST_F(ZuPlayerControlsViewTest, TheKeyMomentButtonIsOfferedOnlyWhenTheDelegateAsksAndShowsItsState) {
    show();
    auto row = controls->functionals();
    auto contains = [&](const std::shared_ptr<uikit::UIView>& view) {
        const auto right = row->rSectionView()->arrangedSubviews();
        return std::find(right.begin(), right.end(), view) != right.end();
    };
    EXPECT_FALSE(contains(row->keyMomentsStateButton()));
    delegate->showsKeyMomentButton = true;
    use(2);
    EXPECT_TRUE(contains(row->keyMomentsStateButton()));

    uikit::testing::TouchSimulator(window).tap(row->keyMomentsStateButton());
    EXPECT_EQ(delegate->calls("key moment button").size(), 1u);
    EXPECT_EQ(delegate->tappedButton, row->keyMomentsStateButton());

    KeyMomentsState state;
    controls->updateKeyMomentButtonState(state);
    const auto off = row->keyMomentsStateButton()->image(uikit::UIControl::State::normal());
    ASSERT_TRUE(off);
    EXPECT_TRUE(lumora::testing::sameImage(off, KeyMomentsState(KeyMomentsState::off).image()));
    for (int i = 0; i < 3; ++i) state.next(*row->keyMomentsStateButton());
    EXPECT_EQ(state, KeyMomentsState::off);
    state.next(*row->keyMomentsStateButton());
    EXPECT_EQ(state, KeyMomentsState::slowReveal);
    EXPECT_TRUE(lumora::testing::sameImage(row->keyMomentsStateButton()->image(uikit::UIControl::State::normal()),
                                           KeyMomentsState(KeyMomentsState::slowReveal).image()));
    EXPECT_FALSE(lumora::testing::sameImage(off, KeyMomentsState(KeyMomentsState::slowReveal).image()));

    controls->setUpNextButtonHidden(true);
    EXPECT_TRUE(row->nextButton()->isHidden());
    EXPECT_TRUE(row->divider()->isHidden());
}

TEST_F(ZuPlayerControlsViewTest, ThumbnailsReachTheSliderRow) {
    lumora::testing::BIFWriter writer;
    writer.frames.emplace_back(0, std::vector<std::uint8_t>{1, 2, 3});
    auto bif = BIF::from(writer.write(), BIFResolution::standard);
    ASSERT_TRUE(bif) << bif.error().localizedDescription();
    controls->setThumbnails(*bif);
    EXPECT_TRUE(controls->sliders()->bif());
    controls->setThumbnails(std::nullopt);
    EXPECT_FALSE(controls->sliders()->bif());
}

INSTANTIATE_TEST_SUITE_P(Screens, ZuPlayerControlsViewOnEveryScreenTest, ::testing::ValuesIn(screens::all()),
                         screens::name);

}  // namespace
