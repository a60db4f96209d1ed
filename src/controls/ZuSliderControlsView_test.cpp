#include "controls/ZuSliderControlsView.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "ui/testing/ScreenClasses.h"
#include "dispatch/Timer.h"
#include "dispatch/testing/ManualClockScope.h"
#include "keymoments/testing/BIFWriter.h"
#include "keymoments/testing/KeyMomentEvents.h"
#include "ui/testing/DeviceScope.h"
#include "uikit/UIGraphicsImageRenderer.h"
#include "uikit/UIWindow.h"
#include "uikit/testing/EventSimulator.h"
#include "uikit/testing/SnapshotTesting.h"

namespace {

using namespace lumora;
using lumora::testing::keyMoment;
using lumora::testing::ScreenClass;
using uikit::CGPoint;
using uikit::CGRect;
using uikit::CGSize;
using uikit::UIColor;
using uikit::testing::TouchSimulator;
namespace screens = lumora::testing::screens;

constexpr double kFrame = 1.0 / 60.0;

// A BIF index of `seconds` one-second frames, frame n a flat colour whose red channel is 2n (so a frame can be
// told from its pixels), with a white bar whose length grows with n.
BIF makeIndex(int seconds) {
    lumora::testing::BIFWriter writer;
    writer.framewiseSeparation = 1000;
    for (int n = 0; n < seconds; ++n) {
        uikit::UIGraphicsImageRenderer renderer(CGSize{64, 36}, {.scale = 1});
        auto frame = renderer.image([n, seconds](uikit::UIGraphicsImageRendererContext& ctx) {
            UIColor(2 * n / 255.0, 0.35, 0.6, 1).setFill();
            ctx.fill(CGRect(0, 0, 64, 36));
            UIColor::white().setFill();
            ctx.fill(CGRect(4, 28, 56.0 * n / seconds, 4));
        });
        writer.frames.emplace_back(static_cast<std::uint32_t>(n), *frame->pngData());
    }
    const auto data = writer.write();
    return *BIF::from(data, BIFResolution::standard);
}

// The red channel of an image's top-left pixel: twice the frame number of the index above.
int frameOf(const std::shared_ptr<uikit::UIImage>& image) {
    return image ? (*image->pixel(0, 0))[0] / 2 : -1;
}

struct Owner : ZuSliderControlsViewDelegate {
    std::vector<std::string> calls;
    std::vector<float> seeks;
    std::vector<float> values;
    std::vector<bool> visibility;
    std::vector<int> selected;
    std::optional<std::vector<ZuKeyMomentEvent>> events;
    std::optional<ZuKeyMomentEvent> selectedEvent;
    void sliderControlsViewDidSeekTo(ZuSliderControlsView&, float value) override {
        calls.push_back("seek");
        seeks.push_back(value);
    }
    void sliderControlsViewDidChangeSliderValue(ZuSliderControlsView&, float value) override {
        values.push_back(value);
    }
    void sliderControlsViewDidChangeBIFVisibility(ZuSliderControlsView&, bool isVisible) override {
        calls.push_back(isVisible ? "bif shown" : "bif hidden");
        visibility.push_back(isVisible);
    }
    void sliderControlsViewBeginSeek(ZuSliderControlsView&) override { calls.push_back("begin"); }
    std::optional<std::vector<ZuKeyMomentEvent>> sliderControlsViewKeyMomentEvents(ZuSliderControlsView&) override {
        return events;
    }
    void sliderControlsViewDidSelectKeyMomentItemAt(ZuSliderControlsView&, int index) override {
        selected.push_back(index);
    }
    std::optional<ZuKeyMomentEvent> selectedKeyMomentEvent(ZuSliderControlsView&) override { return selectedEvent; }
};

class ZuSliderControlsViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        uikit::testing::resetInteractionState();
        window = uikit::UIWindow::create(CGRect(0, 0, 844, 390));
        window->makeKeyAndVisible();
        row = ZuSliderControlsView::create();
        row->setTintColor(UIColor::white());
        owner = std::make_shared<Owner>();
        owner->events = std::vector<ZuKeyMomentEvent>{keyMoment("goal", 20), keyMoment("card", 65)};
        row->setDelegate(owner);
        row->setMaximumValue(100);
        window->addSubview(row);
        row->snp().makeConstraints([](uikit::ConstraintMaker& make) {
            make.leading().trailing().equalToSuperview().inset(36);
            make.bottom().equalToSuperview().inset(70);
        });
        window->layoutIfNeeded();
        clock.advance(0.1);  // the strip lays its markers out on a later turn
    }
    void TearDown() override { uikit::testing::resetInteractionState(); }

    CGPoint thumbInWindow() const { return TouchSimulator::centerOf(row->slider()->thumb()); }
    double windowX(float value) const {
        return row->slider()->convertTo(CGPoint{row->slider()->thumbCenterX(value), 0}, nullptr).x;
    }
    void dragTo(const std::shared_ptr<uikit::UITouch>& touch, double toX, int steps = 6) {
        sim().moveAlong(touch, CGPoint{toX, touch->location(nullptr).y}, steps, kFrame);
    }
    TouchSimulator sim() { return TouchSimulator(window); }

    dispatch::testing::ManualClockScope clock;
    lumora::testing::DeviceScope device{844, 390, uikit::UIUserInterfaceIdiom::phone};
    std::shared_ptr<uikit::UIWindow> window;
    std::shared_ptr<ZuSliderControlsView> row;
    std::shared_ptr<Owner> owner;
};

// The row 36 points in from the sides of a window filling each screen class.
class ZuSliderControlsViewOnEveryScreenTest : public ZuSliderControlsViewTest,
                                              public ::testing::WithParamInterface<ScreenClass> {
  protected:
    void SetUp() override {
        ZuSliderControlsViewTest::SetUp();
        window->setFrame(CGRect(0, 0, GetParam().width, GetParam().height));
        window->layoutIfNeeded();
        clock.advance(0.1);
    }
};

TEST_F(ZuSliderControlsViewTest, TheSliderSitsAtTheBottomWithTheStripAboveItAtTheDensitiesThatShowIt) {
    const CGRect bounds = row->bounds();
    const CGRect slider = row->slider()->frame();
    EXPECT_DOUBLE_EQ(slider.maxY(), bounds.maxY());
    EXPECT_DOUBLE_EQ(slider.width(), bounds.width());
    EXPECT_DOUBLE_EQ(row->keyMomentsViewContainer()->frame().minY(), 0);
    EXPECT_DOUBLE_EQ(row->keyMomentsViewContainer()->frame().maxY(), slider.midY());
    EXPECT_DOUBLE_EQ(row->thumbnailsView()->frame().maxY(), slider.minY());
    EXPECT_EQ(row->keyMomentsView()->superview(), row->keyMomentsViewContainer());
    EXPECT_EQ(row->keyMomentsView()->frame(), row->keyMomentsViewContainer()->bounds());
    EXPECT_EQ(row->keyMomentsView()->events().size(), 2u);
    EXPECT_DOUBLE_EQ(row->keyMomentsView()->duration(), 100);
    EXPECT_FALSE(row->keyMomentsView()->isHidden());
    EXPECT_TRUE(row->thumbnailsView()->isHidden());

    for (int density = 0; density < 12; ++density) {
        row->setDisplayDensity(ZuPlayerControlsDisplayDensity::fromRawValue(density, 2));
        const bool shown = density <= 3 || density >= 9;
        EXPECT_EQ(row->keyMomentsView()->superview() != nullptr, shown) << density;
    }
    // An empty list hides the strip; no answer leaves it as it is.
    owner->events = std::vector<ZuKeyMomentEvent>{};
    row->setDisplayDensity(2);
    EXPECT_TRUE(row->keyMomentsView()->isHidden());
    owner->events.reset();
    row->updateKeyMoments({keyMoment("goal", 20)});
    row->setDisplayDensity(3);
    EXPECT_FALSE(row->keyMomentsView()->isHidden());
    EXPECT_EQ(row->keyMomentsView()->events().size(), 1u);

    // A transparent row: a touch on the slider's track far from the thumb falls through to what is behind.
    const CGPoint track =
        row->slider()->convertTo(CGPoint{row->slider()->bounds().maxX() - 20, row->slider()->bounds().midY()}, nullptr);
    EXPECT_EQ(window->hitTestWith(track, nullptr), window);
}

TEST_P(ZuSliderControlsViewOnEveryScreenTest, ScrubbingShowsTheIndexFrameOfTheValueAndSeeksWhereReleased) {
    row->setBif(makeIndex(100));
    row->setSliderValue(10, false);
    auto touch = sim().begin(thumbInWindow());
    dragTo(touch, windowX(42));
    EXPECT_EQ(owner->calls, (std::vector<std::string>{"begin", "bif shown"}));
    EXPECT_FALSE(row->thumbnailsView()->isHidden());
    EXPECT_NEAR(row->value(), 42, 0.01);
    EXPECT_EQ(frameOf(row->thumbnailsView()->imageView()->image()), static_cast<int>(row->value()));
    // The thumbnail spans the thumb's travel and sits above the strip.
    const auto margins = row->thumbnailsView()->layoutMargins();
    EXPECT_DOUBLE_EQ(margins.left, 9);
    EXPECT_DOUBLE_EQ(margins.right, 9);
    EXPECT_GT(margins.bottom, 12);
    window->layoutIfNeeded();
    const CGRect guide = row->thumbnailsView()->bounds().inset(margins);
    EXPECT_NEAR(row->thumbnailsView()->centerXPoint(), guide.minX() + guide.width() * 0.42, 0.5);

    dragTo(touch, windowX(77));
    EXPECT_EQ(frameOf(row->thumbnailsView()->imageView()->image()), static_cast<int>(row->value()));
    const std::size_t valuesWhileHeld = owner->values.size();
    EXPECT_GT(valuesWhileHeld, 10u);

    // The player keeps ticking through the release and the settling.
    float playhead = 10;
    auto ticker = dispatch::Timer::scheduledTimer(0.1, true, [&](dispatch::Timer&) {
        playhead += 0.1f;
        row->setSliderValue(playhead, false);
    });
    sim().end(touch);
    const float released = row->value();
    EXPECT_TRUE(owner->seeks.empty());
    clock.advance(1.5);
    ticker->invalidate();
    EXPECT_EQ(owner->calls, (std::vector<std::string>{"begin", "bif shown", "bif hidden", "seek"}));
    EXPECT_EQ(owner->seeks, std::vector<float>{released});
    EXPECT_NEAR(released, 77, 0.01);
    EXPECT_TRUE(row->thumbnailsView()->isHidden());

    // After the seek, the player's updates reach the slider again, and the owner hears of them.
    row->setSliderValue(80, false);
    EXPECT_EQ(row->value(), 80);
    EXPECT_EQ(owner->values.back(), 80);
}

TEST_F(ZuSliderControlsViewTest, WithoutAnIndexOrWithACancelledDragThereIsNoThumbnailOrNoSeek) {
    auto touch = sim().begin(thumbInWindow());
    dragTo(touch, windowX(30));
    sim().end(touch);
    clock.advance(1.5);
    EXPECT_EQ(owner->calls, (std::vector<std::string>{"begin", "seek"}));

    owner->calls.clear();
    row->setBif(makeIndex(100));
    touch = sim().begin(thumbInWindow());
    dragTo(touch, windowX(60));
    sim().cancel(touch);
    clock.advance(1.5);
    EXPECT_EQ(owner->calls, (std::vector<std::string>{"begin", "bif shown", "bif hidden"}));
    EXPECT_TRUE(row->thumbnailsView()->isHidden());
}

TEST_P(ZuSliderControlsViewOnEveryScreenTest, TheThumbnailIsPlacedWithinTheRangeAndShowsTheFrameOfTheValue) {
    row->setBif(makeIndex(100));
    auto touch = sim().begin(thumbInWindow());
    dragTo(touch, windowX(50));
    window->layoutIfNeeded();
    const auto thumbnail = row->thumbnailsView();
    const double placed = thumbnail->centerXPoint();

    // Beyond the range: the place stays, the image changes (no frame there: none).
    row->slider()->setValue(150);
    EXPECT_DOUBLE_EQ(thumbnail->centerXPoint(), placed);
    EXPECT_EQ(thumbnail->imageView()->image(), nullptr);
    row->slider()->setValue(12);
    EXPECT_EQ(frameOf(thumbnail->imageView()->image()), 12);

    // An empty range puts it at the left of its margins.
    row->setMaximumValue(0);
    row->slider()->setValue(0);
    EXPECT_DOUBLE_EQ(thumbnail->centerXPoint(), thumbnail->layoutMargins().left);
    sim().end(touch);
}

TEST_F(ZuSliderControlsViewTest, TheThumbnailHasItsBorderInTheTintTheRowInherits) {
    // A row whose tint nobody sets, as in a host: it hands the thumbnail the tint it inherits anyway.
    auto inherited = ZuSliderControlsView::create();
    window->addSubview(inherited);
    const auto& image = *inherited->thumbnailsView()->imageView();
    EXPECT_EQ(image.layer()->borderWidth(), 2);
    EXPECT_EQ(image.layer()->cornerRadius(), 4);
    EXPECT_EQ(image.layer()->borderColor(), inherited->tintColor().cgColor());
    // And a tint set on the row reaches the border.
    inherited->setTintColor(UIColor::systemRed());
    EXPECT_EQ(image.layer()->borderColor(), UIColor::systemRed().cgColor());
    inherited->removeFromSuperview();
}

TEST_F(ZuSliderControlsViewTest, TheStripFadesInAndOutAndALaterPresentationWins) {
    row->dismissKeyMoments();
    clock.advance(0.3);
    EXPECT_TRUE(row->keyMomentsView()->isHidden());

    row->presentKeyMoments();
    EXPECT_FALSE(row->keyMomentsView()->isHidden());
    clock.advance(0.3);
    EXPECT_DOUBLE_EQ(row->keyMomentsView()->presentation().alpha, 1.0);

    // Dismissed, then presented again before the fade-out ends: the strip stays up.
    row->dismissKeyMoments();
    clock.advance(0.1);
    row->presentKeyMoments();
    clock.advance(0.5);
    EXPECT_FALSE(row->keyMomentsView()->isHidden());
    EXPECT_DOUBLE_EQ(row->keyMomentsView()->alpha(), 1.0);
}

TEST_F(ZuSliderControlsViewTest, TheStripsSelectionsReachTheOwner) {
    owner->selectedEvent = keyMoment("card", 65);
    auto strip = row->keyMomentsView();
    EXPECT_EQ(strip->delegate()->selectedKeyMoment(*strip), owner->selectedEvent);
    row->setNeedsUpdateSelectedKeyMomentItem();
    clock.advance(0.1);
    ASSERT_TRUE(strip->selectedIndex());
    EXPECT_EQ(*strip->selectedIndex(), 1);

    strip->selectItem(strip->item(0));
    EXPECT_EQ(owner->selected, std::vector<int>{0});
}

TEST_F(ZuSliderControlsViewTest, LeavingTheSuperviewEndsASettlingWithItsSeekAndDropsTheDelegate) {
    auto touch = sim().begin(thumbInWindow());
    dragTo(touch, windowX(55));
    sim().end(touch);
    row->removeFromSuperview();
    EXPECT_EQ(owner->calls, (std::vector<std::string>{"begin", "seek"}));
    EXPECT_EQ(row->delegate(), nullptr);
    EXPECT_TRUE(row->subviews().empty());
    clock.advance(1.5);
    EXPECT_EQ(owner->seeks.size(), 1u);
}

TEST_P(ZuSliderControlsViewOnEveryScreenTest, LooksLikeTheScrubbingRowWhileDragging) {
    // The row at the bottom of a dark picture, with room above it for the thumbnail that floats over the slider.
    auto picture = uikit::UIView::create(CGRect(36, 60, GetParam().width - 72, 230));
    picture->setBackgroundColor(UIColor(0.1, 1.0));
    window->addSubview(picture);
    picture->addSubview(row);
    row->snp().remakeConstraints(
        [](uikit::ConstraintMaker& make) { make.leading().trailing().bottom().equalToSuperview(); });
    row->setBif(makeIndex(100));
    row->setSliderLoadedTimeRanges({coremedia::CMTimeRangeMake(coremedia::CMTimeMakeWithSeconds(0, 600),
                                                               coremedia::CMTimeMakeWithSeconds(70, 600))});
    row->setSliderValue(20, false);
    window->layoutIfNeeded();
    auto touch = sim().begin(thumbInWindow());
    dragTo(touch, windowX(40));
    clock.advance(0.3);
    window->layoutIfNeeded();
    EXPECT_EQ(frameOf(row->thumbnailsView()->imageView()->image()), 40);
    EXPECT_SNAPSHOT(*picture, "slider_controls_scrubbing" + GetParam().goldenSuffix(screens::phoneLandscape));
    sim().end(touch);
}

INSTANTIATE_TEST_SUITE_P(Screens, ZuSliderControlsViewOnEveryScreenTest, ::testing::ValuesIn(screens::all()),
                         screens::name);

}  // namespace
