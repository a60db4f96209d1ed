#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "dispatch/testing/ManualClockScope.h"
#include "imageio/Bitmap.h"
#include "rx/Rx.h"
#include "uikit/NSStringDrawing.h"
#include "uikit/UIActivityIndicatorView.h"
#include "uikit/UIButton.h"
#include "uikit/UIGestureRecognizer.h"
#include "uikit/UISegmentedControl.h"
#include "uikit/UIWindow.h"
#include "uikit/testing/EventSimulator.h"

namespace {

using namespace uikit;
using uikit::testing::TouchSimulator;
using Event = UIControl::Event;
using State = UIControl::State;

// Records every control event a control sends, by name.
struct EventLog {
    std::vector<std::string> names;
    void attach(UIControl& control) {
        static const std::pair<Event, const char*> all[] = {
            {Event::touchDown(), "touchDown"},
            {Event::touchDownRepeat(), "touchDownRepeat"},
            {Event::touchDragInside(), "dragInside"},
            {Event::touchDragOutside(), "dragOutside"},
            {Event::touchDragEnter(), "dragEnter"},
            {Event::touchDragExit(), "dragExit"},
            {Event::touchUpInside(), "upInside"},
            {Event::touchUpOutside(), "upOutside"},
            {Event::touchCancel(), "cancel"},
            {Event::valueChanged(), "valueChanged"},
            {Event::primaryActionTriggered(), "primary"},
        };
        for (const auto& [event, name] : all) {
            std::string n = name;
            control.addAction([this, n](UIControl&, const UIEvent*) { names.push_back(n); }, event);
        }
    }
};

class ControlsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        uikit::testing::resetInteractionState();
        window = UIWindow::create(CGRect(0, 0, 390, 844));
        window->makeKeyAndVisible();
        button = UIButton::create(CGRect(100, 100, 100, 44));
        window->addSubview(button);
        log.attach(*button);
    }

    dispatch::testing::ManualClockScope clock;
    std::shared_ptr<UIWindow> window;
    std::shared_ptr<UIButton> button;
    EventLog log;
    TouchSimulator sim() { return TouchSimulator(window); }
};

TEST_F(ControlsTest, TouchSequencesOnAButton) {
    auto s = sim();
    // Down and up inside: touch up inside, then the primary action.
    auto t = s.begin({150, 120});
    EXPECT_TRUE(button->isHighlighted());
    EXPECT_TRUE(button->state().contains(State::highlighted()));
    s.end(t);
    EXPECT_FALSE(button->isHighlighted());
    EXPECT_EQ(log.names, (std::vector<std::string>{"touchDown", "upInside", "primary"}));

    // Dragging far out and lifting there: the highlight follows, touch up outside, no primary action.
    clock.advance(1.0);  // (sooner, it would be a repeated tap)
    log.names.clear();
    t = s.begin({150, 120});
    s.move(t, {160, 125});
    s.move(t, {150, 400});
    EXPECT_FALSE(button->isHighlighted());
    s.end(t);
    EXPECT_EQ(log.names, (std::vector<std::string>{"touchDown", "dragInside", "dragExit", "dragOutside", "upOutside"}));

    // Within the tracking margin (70 points) a lift still counts as inside.
    clock.advance(1.0);
    log.names.clear();
    t = s.begin({150, 120});
    s.move(t, {150, 200});
    s.end(t);
    EXPECT_EQ(log.names, (std::vector<std::string>{"touchDown", "dragInside", "upInside", "primary"}));

    // A cancelled touch sends touch cancel and clears the highlight.
    clock.advance(1.0);
    log.names.clear();
    t = s.begin({150, 120});
    s.cancel(t);
    EXPECT_FALSE(button->isHighlighted());
    EXPECT_EQ(log.names, (std::vector<std::string>{"touchDown", "cancel"}));
}

TEST_F(ControlsTest, RepeatedTapsSendTouchDownRepeat) {
    auto s = sim();
    s.tap({150, 120});
    clock.advance(0.1);
    log.names.clear();
    auto t = s.begin({152, 121});
    EXPECT_EQ(t->tapCount(), 2);
    s.end(t);
    EXPECT_EQ(log.names, (std::vector<std::string>{"touchDown", "touchDownRepeat", "upInside", "primary"}));
    // Too late for a repeat.
    clock.advance(1.0);
    t = s.begin({150, 120});
    EXPECT_EQ(t->tapCount(), 1);
    s.end(t);
}

TEST_F(ControlsTest, DisabledControlTakesNoTouchesButSendsActionsInCode) {
    auto behind = UIControl::create(CGRect(0, 0, 390, 844));
    window->insertSubviewAt(behind, 0);
    EventLog behindLog;
    behindLog.attach(*behind);

    button->setIsEnabled(false);
    EXPECT_TRUE(button->state().contains(State::disabled()));
    sim().tap({150, 120});
    EXPECT_TRUE(log.names.empty());
    // The touch fell through to the control behind.
    EXPECT_EQ(behindLog.names, (std::vector<std::string>{"touchDown", "upInside", "primary"}));

    button->sendActions(Event::touchUpInside());
    EXPECT_EQ(log.names, (std::vector<std::string>{"upInside"}));
}

struct Target {
    int plain = 0;
    std::vector<UIButton*> senders;
    void tapped() { ++plain; }
    void tappedBy(UIButton& sender) { senders.push_back(&sender); }
    void wrongSender(UISegmentedControl&) { ++plain; }
};

TEST_F(ControlsTest, TargetActionHoldsTargetsWeaklyAndCanBeRemoved) {
    auto target = std::make_shared<Target>();
    button->addTargetAction(target, &Target::tapped, Event::touchUpInside() | Event::touchDown());
    button->addTargetAction(target, &Target::tappedBy, Event::primaryActionTriggered());
    button->addTargetAction(target, &Target::wrongSender, Event::primaryActionTriggered());
    sim().tap({150, 120});
    EXPECT_EQ(target->plain, 2);  // touch down and touch up inside; the wrong sender type is skipped
    ASSERT_EQ(target->senders.size(), 1u);
    EXPECT_EQ(target->senders[0], button.get());
    EXPECT_TRUE(button->allControlEvents().contains(Event::touchDown()));

    button->removeTargetAction(target, Event::touchDown());
    sim().tap({150, 120});
    EXPECT_EQ(target->plain, 3);

    // A released target is skipped, not called.
    target.reset();
    sim().tap({150, 120});
}

TEST_F(ControlsTest, RxEventsOfButtons) {
    int taps = 0, primary = 0, downs = 0;
    rx::DisposeBag bag;
    button->rx().tap().subscribe([&](const rx::Unit&) { ++taps; }).disposed(bag);
    button->rx().primaryAction().subscribe([&](const rx::Unit&) { ++primary; }).disposed(bag);
    auto downSubscription = button->rx().controlEvent(Event::touchDown()).subscribe([&](const rx::Unit&) { ++downs; });
    sim().tap({150, 120});
    EXPECT_EQ(taps, 1);
    EXPECT_EQ(primary, 1);
    EXPECT_EQ(downs, 1);
    downSubscription.dispose();
    sim().tap({150, 120});
    EXPECT_EQ(downs, 1);
    EXPECT_EQ(taps, 2);

    // Releasing the control completes its streams.
    bool completed = false;
    auto other = UIButton::create();
    auto subscription = other->rx().tap().subscribe(nullptr, nullptr, [&] { completed = true; });
    other.reset();
    EXPECT_TRUE(completed);
}

TEST_F(ControlsTest, TapRecognisersOfAncestorsStandBackForControls) {
    auto tap = UITapGestureRecognizer::create();
    int recognised = 0;
    tap->addAction([&](UIGestureRecognizer& r) {
        if (r.state() == UIGestureRecognizer::State::ended) ++recognised;
    });
    window->addGestureRecognizer(tap);
    sim().tap({150, 120});
    EXPECT_EQ(recognised, 0);
    EXPECT_EQ(log.names, (std::vector<std::string>{"touchDown", "upInside", "primary"}));
    sim().tap({20, 600});  // elsewhere the window's recogniser works
    EXPECT_EQ(recognised, 1);
}

std::shared_ptr<UIImage> image(std::uint32_t w, std::uint32_t h) {
    return UIImage::create(*imageio::Bitmap::filled(w, h, imageio::RGBA{255, 0, 0, 255}), 1.0);
}

TEST(Button, PerStateContentFallsBackToNormal) {
    dispatch::testing::ManualClockScope clock;
    uikit::testing::resetInteractionState();
    auto b = UIButton::create(UIButton::ButtonType::custom);
    b->setTitleFor("Play", State::normal());
    b->setTitleFor("Playing", State::selected());
    b->setTitleColorFor(UIColor::red(), State::highlighted());
    EXPECT_EQ(b->currentTitle(), "Play");
    EXPECT_EQ(b->titleLabel()->text(), "Play");
    EXPECT_EQ(b->currentTitleColor(), UIColor::white());  // custom buttons default to white titles
    b->setIsSelected(true);
    EXPECT_EQ(b->currentTitle(), "Playing");
    EXPECT_EQ(b->titleLabel()->text(), "Playing");
    b->setIsSelected(false);
    b->setIsHighlighted(true);
    EXPECT_EQ(b->titleLabel()->textColor(), UIColor::red());
    EXPECT_EQ(b->title(State::disabled()), "Play");

    NSAttributedString attributed("Fancy", {{NSAttributedStringKey::foregroundColor, UIColor::blue()}});
    b->setAttributedTitleFor(attributed, State::normal());
    b->setIsHighlighted(false);
    EXPECT_EQ(b->currentTitle(), "Fancy");
    EXPECT_EQ(b->titleLabel()->attributedText(), attributed);

    auto picture = image(20, 10);
    b->setImageFor(picture, State::normal());
    EXPECT_EQ(b->imageView()->image(), picture);
    EXPECT_FALSE(b->imageView()->isHidden());
    // A disabled button dims its image unless told not to.
    b->setIsEnabled(false);
    EXPECT_DOUBLE_EQ(b->imageView()->alpha(), 0.5);
    b->setAdjustsImageWhenDisabled(false);
    EXPECT_DOUBLE_EQ(b->imageView()->alpha(), 1.0);
}

TEST(Button, DefaultLayoutAndIntrinsicSize) {
    dispatch::testing::ManualClockScope clock;
    uikit::testing::resetInteractionState();
    auto b = UIButton::create(CGRect(0, 0, 200, 60));
    b->setImageFor(image(20, 20), State::normal());
    b->setTitleFor("Next", State::normal());
    b->titleLabel()->setFont(UIFont::systemFont(10));
    b->setTitleFor("Next", State::normal());
    // The title measures in whole points: its width rounded up, one line of the 10-point font.
    const CGSize title = b->titleLabel()->intrinsicContentSize();
    EXPECT_EQ(title, (CGSize{std::ceil(TextMetrics::width("Next", UIFont::systemFont(10))), 12}));
    // Image 20 × 20 and the title side by side; the edge insets of image and title are not part of the
    // intrinsic size, the content insets are.
    b->setTitleEdgeInsets({0, 14, 0, 0});
    EXPECT_EQ(b->intrinsicContentSize(), (CGSize{20 + title.width, 20}));
    b->setContentEdgeInsets({2, 3, 4, 5});
    EXPECT_EQ(b->intrinsicContentSize(), (CGSize{28 + title.width, 26}));
    b->setContentEdgeInsets({});

    // The group (image 20 + title box 14 + title) is centred in 200 × 60.
    const CGFloat left = (200 - (20 + 14 + title.width)) / 2;
    CGRect content = b->contentRect(b->bounds());
    EXPECT_EQ(b->imageRect(content), CGRect(left, 20, 20, 20));
    EXPECT_EQ(b->titleRect(content), CGRect(left + 34, 24, title.width, 12));
    b->layoutIfNeeded();
    EXPECT_EQ(b->titleLabel()->frame(), CGRect(left + 34, 24, title.width, 12));
    EXPECT_EQ(b->imageView()->frame(), CGRect(left, 20, 20, 20));

    b->setContentHorizontalAlignment(UIControl::ContentHorizontalAlignment::left);
    EXPECT_EQ(b->imageRect(b->contentRect(b->bounds())).origin.x, 0);
}

// A subclass placing its title under its image, as design-system buttons do.
class StackedButton : public UIButton {
  public:
    static std::shared_ptr<StackedButton> create() { return std::shared_ptr<StackedButton>(new StackedButton()); }
    CGRect imageRect(const CGRect& content) const override {
        CGRect r = UIButton::imageRect(content);
        return CGRect((bounds().width() - r.width()) * 0.5, 12, r.width(), r.height());
    }
    CGRect titleRect(const CGRect& content) const override {
        CGRect r = UIButton::titleRect(content);
        return CGRect(0, imageRect(content).maxY() + 12, bounds().width(), r.height());
    }

  private:
    StackedButton() : UIButton(ButtonType::custom, CGRect(0, 0, 100, 100)) {}
};

TEST(Button, OverriddenRectanglesPlaceTheSubviews) {
    dispatch::testing::ManualClockScope clock;
    uikit::testing::resetInteractionState();
    auto b = StackedButton::create();
    b->setImageFor(image(40, 30), State::normal());
    b->setTitleFor("Team", State::normal());
    b->layoutIfNeeded();
    EXPECT_EQ(b->imageView()->frame(), CGRect(30, 12, 40, 30));
    EXPECT_EQ(b->titleLabel()->frame().origin, (CGPoint{0, 54}));
    EXPECT_EQ(b->titleLabel()->frame().size.width, 100);
}

TEST_F(ControlsTest, SegmentedControlSelectsOnTapAndStylesTitlesPerState) {
    auto segments = UISegmentedControl::create(std::vector<std::string>{"1x", "1.5x", "2x"});
    segments->setFrame(CGRect(0, 300, 300, 40));
    window->addSubview(segments);
    EventLog segmentLog;
    segmentLog.attach(*segments);
    EXPECT_EQ(segments->selectedSegmentIndex(), UISegmentedControl::noSegment);

    NSAttributes normal{{NSAttributedStringKey::foregroundColor, UIColor(0.5, 1.0)},
                        {NSAttributedStringKey::font, UIFont::systemFont(25)}};
    NSAttributes selected{{NSAttributedStringKey::foregroundColor, UIColor::white()},
                          {NSAttributedStringKey::font, UIFont::boldSystemFont(25)}};
    segments->setTitleTextAttributesFor(normal, State::normal());
    segments->setTitleTextAttributesFor(selected, State::selected());
    EXPECT_EQ(segments->titleTextAttributes(State::selected()), selected);

    sim().tap({250, 320});
    EXPECT_EQ(segments->selectedSegmentIndex(), 2);
    EXPECT_EQ(segmentLog.names, (std::vector<std::string>{"touchDown", "valueChanged", "upInside", "primary"}));
    EXPECT_EQ(*foregroundColorAttribute(segments->effectiveTitleTextAttributes(2)), UIColor::white());
    EXPECT_EQ(fontAttribute(segments->effectiveTitleTextAttributes(2))->fontName(), "System-Bold");
    EXPECT_EQ(*foregroundColorAttribute(segments->effectiveTitleTextAttributes(0)), UIColor(0.5, 1.0));

    // Tapping the selected segment again changes nothing; setting the index in code sends nothing.
    clock.advance(1.0);
    segmentLog.names.clear();
    sim().tap({250, 320});
    segments->setSelectedSegmentIndex(0);
    EXPECT_EQ(segmentLog.names, (std::vector<std::string>{"touchDown", "upInside", "primary"}));
    segments->setSelectedSegmentIndex(7);
    EXPECT_EQ(segments->selectedSegmentIndex(), UISegmentedControl::noSegment);
}

TEST(ActivityIndicator, HidesWhenStoppedAndKeepsItsColour) {
    dispatch::testing::ManualClockScope clock;
    auto spinner = UIActivityIndicatorView::create(UIActivityIndicatorView::Style::medium);
    EXPECT_TRUE(spinner->isHidden());
    EXPECT_FALSE(spinner->isAnimating());
    spinner->setColor(UIColor::white());
    spinner->startAnimating();
    EXPECT_FALSE(spinner->isHidden());
    EXPECT_TRUE(spinner->isAnimating());
    spinner->stopAnimating();
    EXPECT_TRUE(spinner->isHidden());
    spinner->setHidesWhenStopped(false);
    EXPECT_FALSE(spinner->isHidden());
    EXPECT_EQ(spinner->color(), UIColor::white());
    EXPECT_EQ(spinner->intrinsicContentSize(), (CGSize{20, 20}));
    EXPECT_EQ(UIActivityIndicatorView::create(UIActivityIndicatorView::Style::large)->intrinsicContentSize(),
              (CGSize{37, 37}));
}

}  // namespace
