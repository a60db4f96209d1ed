#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "coregraphics/FontEngine.h"
#include "dispatch/testing/ManualClockScope.h"
#include "keymoments/RxZuKeyMomentsViewDelegateProxy.h"
#include "keymoments/ZuKeyMomentsView.h"
#include "keymoments/testing/KeyMomentEvents.h"
#include "kitfoundation/PHDiff.h"
#include "uikit/UIButton.h"
#include "uikit/UIFocus.h"
#include "uikit/UIWindow.h"
#include "uikit/testing/EventSimulator.h"

namespace lumora {
namespace {

using lumora::testing::keyMoment;
using uikit::CGPoint;
using uikit::CGRect;

struct RecordingDelegate : ZuKeyMomentsViewDelegate {
    std::vector<int> selected;
    std::vector<int> focused;
    int preferredAsked = 0;
    std::optional<int> preferred;
    std::optional<ZuKeyMomentEvent> selectedEvent;

    std::optional<int> indexForPreferredFocusedItem(ZuKeyMomentsView&) override {
        ++preferredAsked;
        return preferred;
    }
    void keyMomentsViewDidSelectItemAt(ZuKeyMomentsView&, int index) override { selected.push_back(index); }
    void keyMomentsViewDidFocusedOnItemAt(ZuKeyMomentsView&, int index) override { focused.push_back(index); }
    std::optional<ZuKeyMomentEvent> selectedKeyMoment(ZuKeyMomentsView&) override { return selectedEvent; }
};

// A strip 400 points wide in a window: its layout margins (8 points) leave a 384-point timeline, so with a
// duration of 100 s one second is 3.84 points and a marker's label (24 points, 31.2 when selected) overlaps
// its neighbour's when they are less than 6.25 s apart (7.19 s for the selected one).
class ZuKeyMomentsViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        uikit::testing::resetInteractionState();
        window = uikit::UIWindow::create(CGRect(0, 0, 400, 300));
        window->makeKeyAndVisible();
        strip = ZuKeyMomentsView::create(CGRect(0, 100, 400, 83));
        window->addSubview(strip);
        delegate = std::make_shared<RecordingDelegate>();
        strip->setDelegate(delegate);
    }
    void TearDown() override { uikit::UIFocusSystem::shared().setIsEnabled(std::nullopt); }

    // Markers by code.
    std::shared_ptr<ZuKeyMomentItem> marker(const std::string& code) const {
        for (const auto& item : strip->keyMomentItems()) {
            if (item->textLabel()->text() == code) return item;
        }
        return nullptr;
    }
    std::vector<std::string> codes(const std::vector<ZuKeyMomentEvent>& events) const {
        std::vector<std::string> result;
        for (const auto& event : events) result.push_back(event.code);
        return result;
    }
    // Where the centre of a marker's dot lies, in the strip's coordinates.
    CGPoint dot(const std::shared_ptr<ZuKeyMomentItem>& item) const { return item->convertTo(CGPoint{30, 48}, strip); }
    void settle() {
        window->layoutIfNeeded();
        clock.advance(1.0);
        window->layoutIfNeeded();
    }

    dispatch::testing::ManualClockScope clock;
    std::shared_ptr<uikit::UIWindow> window;
    std::shared_ptr<ZuKeyMomentsView> strip;
    std::shared_ptr<RecordingDelegate> delegate;
};

// ---- Layout -----------------------------------------------------------------------------------------------

TEST_F(ZuKeyMomentsViewTest, MarkersSitAtTheirTimeOnTheBottomEdgeAndGrowAroundTheirDotWhenSelected) {
    EXPECT_EQ(strip->intrinsicContentSize().height, 83);
    strip->update({keyMoment("B", 25), keyMoment("A", 0), keyMoment("C", 100), keyMoment("D", 150)}, 100);
    EXPECT_EQ(codes(strip->events()), (std::vector<std::string>{"A", "B", "C", "D"}));
    window->layoutIfNeeded();

    EXPECT_EQ(dot(marker("A")), (CGPoint{8, 83}));
    EXPECT_NEAR(dot(marker("B")).x, 8 + 384 * 0.25, 1e-9);
    EXPECT_NEAR(dot(marker("C")).x, 392, 1e-9);
    EXPECT_NEAR(dot(marker("D")).x, 8 + 384 * 1.5, 1e-9) << "beyond the duration: beyond the margin, not clamped";
    // The bubble's top lies 10 points below the 40-point group row.
    EXPECT_NEAR(marker("B")->frame().minY() + 15, 50, 1e-9);

    strip->selectItem(marker("B"));
    settle();
    EXPECT_NEAR(marker("B")->frame().width(), 78, 1e-9);
    EXPECT_NEAR(dot(marker("B")).x, 8 + 384 * 0.25, 1e-9);
    EXPECT_NEAR(dot(marker("B")).y, 83, 1e-9);

    // Wider margins move every marker.
    strip->setLayoutMargins(uikit::UIEdgeInsets{0, 20, 0, 20});
    window->layoutIfNeeded();
    EXPECT_NEAR(dot(marker("C")).x, 380, 1e-9);
}

TEST_F(ZuKeyMomentsViewTest, TimesThatAreNotNumbersNeverMoveAMarker) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    strip->update({keyMoment("A", 50), keyMoment("N", nan), keyMoment("I", std::numeric_limits<double>::infinity())},
                  100);
    window->layoutIfNeeded();
    const CGPoint a = marker("A")->center();
    const CGPoint n = marker("N")->center();
    EXPECT_EQ(codes(strip->events()), (std::vector<std::string>{"A", "N", "I"})) << "invalid times sort last";
    EXPECT_TRUE(std::isfinite(n.x) && std::isfinite(n.y));

    strip->update(strip->events(), nan);
    window->layoutIfNeeded();
    EXPECT_EQ(marker("A")->center(), a);
    strip->update(strip->events(), std::numeric_limits<double>::infinity());
    window->layoutIfNeeded();
    EXPECT_EQ(marker("A")->center(), a);
    strip->update(strip->events(), 0);
    window->layoutIfNeeded();
    EXPECT_EQ(dot(marker("A")), (CGPoint{8, 83})) << "no duration: the left edge";
    EXPECT_EQ(marker("N")->center(), n);
}

// ---- The list of events ------------------------------------------------------------------------------------

TEST_F(ZuKeyMomentsViewTest, TheDiffMakesAndRemovesOnlyTheMarkersThatChanged) {
    strip->update({keyMoment("A", 10), keyMoment("B", 10), keyMoment("C", 30)}, 100);
    auto a = marker("A"), b = marker("B"), c = marker("C");
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(strip->keyMomentGroups().size(), 3u);

    // The same events in another order: the sorted list is the same, so nothing is made or removed, and
    // the new duration is used.
    strip->update({keyMoment("C", 30), keyMoment("A", 10), keyMoment("B", 10)}, 50);
    EXPECT_EQ(marker("A"), a);
    EXPECT_EQ(marker("B"), b);
    EXPECT_EQ(marker("C"), c);
    EXPECT_EQ(strip->duration(), 50);

    // B before A at the same time: the diff moves events, and each moved event keeps its marker (still
    // selected), moved to its event's place among the subviews.
    const std::vector<ZuKeyMomentEvent> before = strip->events();
    strip->selectItem(b);
    strip->update({keyMoment("C", 30), keyMoment("B", 10), keyMoment("A", 10)}, 50);
    EXPECT_EQ(codes(strip->events()), (std::vector<std::string>{"B", "A", "C"})) << "equal times keep their order";
    std::set<std::string> moved;
    for (const auto& step : PHDiff::steps(before, strip->events())) {
        ASSERT_TRUE(step.isMove());
        moved.insert(step.value().code);
    }
    EXPECT_FALSE(moved.empty());
    const std::map<std::string, std::shared_ptr<ZuKeyMomentItem>> old{{"A", a}, {"B", b}, {"C", c}};
    for (const auto& [code, item] : old) EXPECT_EQ(marker(code), item) << code;
    EXPECT_EQ(strip->keyMomentItems(), (std::vector<std::shared_ptr<ZuKeyMomentItem>>{b, a, c}));
    EXPECT_TRUE(b->isSelected());
    EXPECT_EQ(strip->keyMomentGroups().size(), 3u);
    b->setIsSelected(false);

    // A delete removes the marker and nothing else that happens to carry the same tag.
    auto stranger = uikit::UIView::create();
    stranger->setTag(marker("C")->tag());
    strip->addSubview(stranger);
    strip->update({keyMoment("A", 10), keyMoment("B", 10), keyMoment("D", 60)}, 100);
    EXPECT_FALSE(marker("C"));
    ASSERT_TRUE(marker("D"));
    EXPECT_EQ(stranger->superview(), strip);
    EXPECT_EQ(strip->keyMomentsGroupView()->superview(), strip);
    EXPECT_EQ(strip->keyMomentGroups().size(), 3u);

    // Every marker has its own tag, and none is 0.
    std::set<int> tags;
    for (const auto& item : strip->keyMomentItems()) tags.insert(item->tag());
    EXPECT_EQ(tags.size(), 3u);
    EXPECT_FALSE(tags.contains(0));

    // An empty list removes every marker and empties the group.
    strip->update({}, 100);
    EXPECT_TRUE(strip->keyMomentItems().empty());
    EXPECT_TRUE(strip->keyMomentGroups().empty());
    EXPECT_TRUE(strip->groupedEvents().empty());
    EXPECT_TRUE(strip->keyMomentsGroupView()->keyMomentEvents().empty());
    EXPECT_EQ(stranger->superview(), strip);
}

TEST_F(ZuKeyMomentsViewTest, AnEventListedTwiceHasOneMarkerThatSurvivesTheNextList) {
    strip->update({keyMoment("A", 10), keyMoment("A", 10), keyMoment("B", 20)}, 100);
    EXPECT_EQ(codes(strip->events()), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(strip->keyMomentItems().size(), 2u);
    strip->update({keyMoment("A", 10), keyMoment("B", 20)}, 100);
    EXPECT_TRUE(marker("A"));
    EXPECT_TRUE(marker("B"));
    // Another event at the same time with the same code but other texts is the same event.
    ZuKeyMomentEvent retold("A", 10, 999, "Own goal", std::nullopt, std::nullopt, std::nullopt);
    EXPECT_EQ(strip->item(retold), marker("A"));
    EXPECT_EQ(strip->event(*marker("A"))->happening, "10' - Goal");
}

// The marker of a moment that went shows a new moment in its stead: at rest, shown and taking touches as a new
// marker would; a selected one is not shown again as another moment, but taken away.
TEST_F(ZuKeyMomentsViewTest, AMarkerShowsANewMomentAtRestAndASelectedOneIsNeverReused) {
    strip->update({keyMoment("A", 10), keyMoment("B", 50), keyMoment("C", 90)}, 100);
    window->layoutIfNeeded();
    const auto a = marker("A"), b = marker("B");
    strip->selectItem(a);
    strip->selectItem(b);  // A's style springs back meanwhile
    ASSERT_FALSE(a->animationKeys().empty());

    strip->update({keyMoment("Z", 10), keyMoment("Y", 50), keyMoment("C", 90)}, 100);
    window->layoutIfNeeded();
    EXPECT_EQ(marker("Z"), a);
    EXPECT_FALSE(a->isHidden());
    EXPECT_TRUE(a->animationKeys().empty());
    EXPECT_NE(marker("Y"), b);
    EXPECT_EQ(b->superview(), nullptr);
    EXPECT_EQ(strip->keyMomentItems().size(), 3u);
    EXPECT_EQ(strip->subviews().size(), 4u);

    uikit::testing::TouchSimulator(window).tap(a->convertTo(CGPoint{30, 25}, nullptr));
    EXPECT_TRUE(a->isSelected());
    EXPECT_EQ(delegate->selected.back(), 0);
    EXPECT_EQ(strip->event(*a)->code, "Z");
}

TEST_F(ZuKeyMomentsViewTest, MarkersRemovedBehindItsBackDoNotStopNewOnes) {
    strip->update({keyMoment("A", 10), keyMoment("B", 20)}, 100);
    for (const auto& item : strip->keyMomentItems()) item->removeFromSuperview();
    strip->keyMomentsGroupView()->removeFromSuperview();
    strip->update({keyMoment("A", 10), keyMoment("B", 20), keyMoment("C", 30), keyMoment("D", 40)}, 100);
    EXPECT_EQ(strip->keyMomentItems().size(), 2u);
    EXPECT_TRUE(marker("D"));
}

// ---- Long lists ---------------------------------------------------------------------------------------------

// A list of 5,000 moments (a marker every 0.02 s of a 100-second timeline, 5,000 per list) must not freeze the
// screen. The bound is stated in work, not time: in each turn of the main queue (the update's own, and each
// display frame after it) at most `markersPerFrame` markers are made, `markersShownAgainPerFrame` markers of
// moments that went show new ones and `markersTakenAwayPerFrame` are taken away, and the font engine shapes or
// breaks at most 16 lines per marker that comes to show a moment (its label's size is searched in a handful of
// steps, each a line shaped and a paragraph broken). In a release build a marker made, laid out and drawn costs
// some 50 µs, and one shown again or taken away some 15 µs, so each share is about a third of a 60 Hz frame.
TEST_F(ZuKeyMomentsViewTest, FiveThousandMomentsNeverHoldTheMainQueueForMoreThanAFrame) {
    auto list = [](const std::string& prefix, double shift) {
        std::vector<ZuKeyMomentEvent> events;
        for (int i = 0; i < 5000; ++i) events.push_back(keyMoment(prefix + std::to_string(i), i * 0.02 + shift));
        return events;
    };
    auto textWork = [] {
        const auto statistics = coregraphics::FontEngine::shared().statistics();
        return statistics.linesShaped + statistics.paragraphsBroken;
    };
    struct Turn {
        std::size_t made = 0, shownAgain = 0, takenAway = 0;
        std::uint64_t text = 0;
    };
    // What each marker shows: its code, by marker.
    auto shown = [&] {
        std::map<const ZuKeyMomentItem*, std::string> codes;
        for (const auto& item : strip->keyMomentItems()) codes.emplace(item.get(), *item->textLabel()->text());
        return codes;
    };
    // The update, then display frames until every moment is shown and nothing else is left: what each turn did.
    auto show = [&](const std::vector<ZuKeyMomentEvent>& events) {
        std::vector<Turn> turns;
        auto before = shown();
        std::set<const ZuKeyMomentItem*> seen;  // every marker that showed a moment
        for (const auto& [marker, code] : before) seen.insert(marker);
        std::size_t subviews = strip->subviews().size();
        std::uint64_t text = textWork();
        auto account = [&] {
            auto now = shown();
            const std::size_t nowSubviews = strip->subviews().size();
            Turn turn;
            for (const auto& [marker, code] : now) {
                if (!seen.contains(marker)) {
                    ++turn.made;
                } else if (auto was = before.find(marker); was == before.end() || was->second != code) {
                    ++turn.shownAgain;
                }
                seen.insert(marker);
            }
            turn.takenAway = subviews > nowSubviews ? subviews - nowSubviews : 0;
            turn.text = textWork() - text;
            turns.push_back(turn);
            subviews = nowSubviews;
            text = textWork();
            // Whatever is shown at any time belongs to the list shown (looked at every few turns).
            if (turns.size() % 8 == 1) {
                for (const auto& item : strip->keyMomentItems()) EXPECT_TRUE(strip->event(*item)) << item->tag();
            }
            before = std::move(now);
        };
        auto settled = [&] {
            return strip->keyMomentItems().size() == events.size() && strip->subviews().size() == events.size() + 1;
        };
        strip->update(events, 100);
        clock.runUntilIdle();
        account();
        for (int frame = 0; frame < 200 && !settled(); ++frame) {
            clock.advance(1.0 / 60);
            account();
        }
        return turns;
    };
    auto expectBounded = [&](const std::vector<Turn>& turns, const char* what) {
        for (std::size_t i = 0; i < turns.size(); ++i) {
            EXPECT_LE(turns[i].made, ZuKeyMomentsView::markersPerFrame) << what << ", turn " << i;
            EXPECT_LE(turns[i].shownAgain, ZuKeyMomentsView::markersShownAgainPerFrame) << what << ", turn " << i;
            EXPECT_LE(turns[i].takenAway, ZuKeyMomentsView::markersTakenAwayPerFrame) << what << ", turn " << i;
            EXPECT_LE(turns[i].text, 16 * (turns[i].made + turns[i].shownAgain) + 16) << what << ", turn " << i;
        }
    };
    auto expectShown = [&](const std::vector<ZuKeyMomentEvent>& events) {
        window->layoutIfNeeded();
        const auto items = strip->keyMomentItems();
        ASSERT_EQ(items.size(), events.size());
        for (std::size_t i : {std::size_t{0}, std::size_t{1234}, std::size_t{4999}}) {
            EXPECT_EQ(items[i]->textLabel()->text(), events[i].code) << "in the order of their events";
            EXPECT_NEAR(dot(items[i]).x, 8 + 384 * events[i].videoTime / 100, 1e-9) << events[i].code;
        }
        EXPECT_EQ(strip->keyMomentGroups().size(), events.size());
    };

    // Filled: 100 markers a turn, 50 turns.
    const auto first = list("K", 0);
    auto turns = show(first);
    expectBounded(turns, "filling");
    EXPECT_EQ(turns.size(), 50u);
    expectShown(first);

    // Every fifth moment replaced: the 1,000 markers of the moments that went are hidden at once and show the
    // new ones, 400 a turn, where they are (no marker is made or taken away).
    auto second = first;
    for (std::size_t i = 0; i < second.size(); i += 5) second[i] = keyMoment("L" + std::to_string(i), i * 0.02 + 0.01);
    const auto sameMarkers = strip->subviews();
    turns = show(second);
    expectBounded(turns, "replacing");
    EXPECT_EQ(turns.size(), 3u);
    for (const auto& turn : turns) EXPECT_EQ(turn.made, 0u);
    expectShown(second);
    EXPECT_EQ(strip->subviews(), sameMarkers);

    // Emptied: nothing is shown from the first turn on, and the markers go 400 a turn.
    turns = show({});
    expectBounded(turns, "emptying");
    EXPECT_EQ(turns.size(), 13u);
    EXPECT_TRUE(strip->keyMomentItems().empty());
    EXPECT_EQ(strip->subviews().size(), 1u);  // the group row
}

// A long update carries the places of the markers it may show again from one frame to the next; a view put
// into the strip (or one taken away) meanwhile moves every place after it. The walk takes only markers that
// are still where it left them, and every moment is shown in the end.
TEST_F(ZuKeyMomentsViewTest, AViewPutIntoTheStripDuringALongUpdateMovesNoMarkerOntoAnother) {
    auto list = [](const std::string& prefix, int from, int count) {
        std::vector<ZuKeyMomentEvent> events;
        for (int i = from; i < from + count; ++i) events.push_back(keyMoment(prefix + std::to_string(i), i * 0.1));
        return events;
    };
    auto first = list("K", 0, 1000);
    strip->update(first, 200);
    for (int frame = 0; frame < 50 && strip->keyMomentItems().size() < first.size(); ++frame) clock.advance(1.0 / 60);
    ASSERT_EQ(strip->keyMomentItems().size(), first.size());

    // The first 500 go and 500 later ones come: the 500 hidden markers show them, more than one turn's share.
    auto second = list("K", 500, 500);
    const auto later = list("L", 1000, 500);
    second.insert(second.end(), later.begin(), later.end());
    strip->update(second, 200);
    clock.runUntilIdle();
    strip->insertSubviewAt(uikit::UIView::create(CGRect(0, 0, 1, 1)), 0);
    for (int frame = 0; frame < 50 && strip->keyMomentItems().size() < second.size(); ++frame) {
        clock.advance(1.0 / 60);
    }
    const auto items = strip->keyMomentItems();
    ASSERT_EQ(items.size(), second.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(items[i]->textLabel()->text(), second[i].code) << i;
        EXPECT_EQ(strip->event(*items[i]), second[i]) << i;
    }
}

// A viewer who plays a thousand assets of a hundred moments each, one after the other, on one strip (a player
// screen kept open) and on strips made afresh (a screen per asset): what the strip keeps to tie its markers to
// their moments is as large as what it shows, so their tags stay within the moments of two lists (the old list
// is let go once the new one is held), whatever went before.
TEST(KeyMomentTagsTest, StayAsFewAsTheMomentsShownThroughAThousandAssetsPlayedInTurn) {
    dispatch::testing::ManualClockScope clock;
    auto kept = ZuKeyMomentsView::create(CGRect(0, 0, 400, 83));
    auto largestTag = [](const ZuKeyMomentsView& strip) {
        int largest = 0;
        for (const auto& marker : strip.keyMomentItems()) largest = std::max(largest, marker->tag());
        return largest;
    };
    int largest = 0;
    std::vector<ZuKeyMomentEvent> events;
    for (int asset = 0; asset < 1000; ++asset) {
        events.clear();
        for (int i = 0; i < 100; ++i) events.push_back(keyMoment("M" + std::to_string(asset * 100 + i), i));
        kept->update(events, 100);
        ASSERT_EQ(kept->keyMomentItems().size(), 100u) << "asset " << asset;
        largest = std::max(largest, largestTag(*kept));
        if (asset % 100 == 99) {
            auto fresh = ZuKeyMomentsView::create(CGRect(0, 0, 400, 83));
            fresh->update(events, 100);
            EXPECT_LE(largestTag(*fresh), 100) << "a new strip starts afresh, asset " << asset;
        }
    }
    EXPECT_LE(largest, 200);
    EXPECT_EQ(kept->event(*kept->item(events[42])), events[42]);
    kept->update({}, 100);
    clock.runUntilIdle();
}

// ---- Grouping ----------------------------------------------------------------------------------------------

TEST_F(ZuKeyMomentsViewTest, SelectingAMarkerGroupsTheChainOfOverlappingLabelsAroundIt) {
    strip->update({keyMoment("A", 10), keyMoment("B", 15), keyMoment("C", 20), keyMoment("D", 40)}, 100);
    window->layoutIfNeeded();
    strip->selectItem(marker("A"));
    settle();
    EXPECT_EQ(codes(strip->groupedEvents()), (std::vector<std::string>{"A", "B", "C"}))
        << "A touches B and B touches C, though A does not touch C";
    const auto& row = *strip->keyMomentsGroupView();
    EXPECT_EQ(codes(row.keyMomentEvents()), (std::vector<std::string>{"A", "B", "C"}));
    ASSERT_TRUE(row.selectedKeyMomentEvent());
    EXPECT_EQ(row.selectedKeyMomentEvent()->code, "A");

    // A gap between B and C stops the chain.
    strip->update({keyMoment("A", 10), keyMoment("B", 15), keyMoment("C", 25), keyMoment("D", 40)}, 100);
    settle();
    EXPECT_EQ(codes(strip->groupedEvents()), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(codes(row.keyMomentEvents()), (std::vector<std::string>{"A", "B"}));

    // A marker alone is a group of one; from C both neighbours are too far.
    strip->selectItem(marker("C"));
    settle();
    EXPECT_EQ(codes(strip->groupedEvents()), (std::vector<std::string>{"C"}));
    EXPECT_EQ(codes(row.keyMomentEvents()), (std::vector<std::string>{"C"}));
    EXPECT_EQ(row.selectedKeyMomentEvent()->code, "C");
    EXPECT_FALSE(marker("A")->isSelected());

    // Without a duration every marker is at the left edge: one group of all (the same list schedules no
    // grouping by itself; the next selection groups).
    strip->update(strip->events(), 0);
    settle();
    EXPECT_EQ(codes(strip->groupedEvents()), (std::vector<std::string>{"C"}));
    strip->selectItem(marker("C"));
    settle();
    EXPECT_EQ(codes(strip->groupedEvents()), (std::vector<std::string>{"A", "B", "C", "D"}));
}

TEST_F(ZuKeyMomentsViewTest, ChangingTheEventsWithNothingSelectedEmptiesTheRowUntilTheNextSelection) {
    strip->update({keyMoment("A", 10), keyMoment("B", 15)}, 100);
    window->layoutIfNeeded();
    strip->selectItem(marker("A"));
    settle();
    ASSERT_EQ(strip->keyMomentsGroupView()->keyMomentEvents().size(), 2u);

    marker("A")->setIsSelected(false);
    strip->update({keyMoment("A", 10), keyMoment("B", 15), keyMoment("Z", 90)}, 100);
    settle();
    EXPECT_TRUE(strip->keyMomentsGroupView()->keyMomentEvents().empty());
    EXPECT_TRUE(strip->groupedEvents().empty());

    // The same group again is shown again.
    strip->selectItem(marker("A"));
    settle();
    EXPECT_EQ(codes(strip->keyMomentsGroupView()->keyMomentEvents()), (std::vector<std::string>{"A", "B"}));
}

TEST_F(ZuKeyMomentsViewTest, NewMarkersAreMeasuredBeforeTheyAreGrouped) {
    strip->update({keyMoment("A", 10)}, 100);
    window->layoutIfNeeded();
    strip->selectItem(marker("A"));
    settle();
    // B arrives next to the selected A; its label has never been laid out when the grouping runs.
    strip->update({keyMoment("A", 10), keyMoment("B", 12)}, 100);
    clock.runUntilIdle();
    EXPECT_EQ(codes(strip->groupedEvents()), (std::vector<std::string>{"A", "B"}));
}

TEST_F(ZuKeyMomentsViewTest, TheDelegatesSelectionIsAppliedAtOnceOrOnceTheStripHasASize) {
    auto sized = [&](double width) {
        auto s = ZuKeyMomentsView::create(CGRect(0, 0, width, width == 0 ? 0 : 83));
        s->setDelegate(delegate);
        return s;
    };
    delegate->selectedEvent = keyMoment("B", 15);

    auto zero = sized(0);
    window->addSubview(zero);
    zero->update({keyMoment("A", 0), keyMoment("B", 15)}, 100);
    zero->setNeedsUpdateSelectedKeyMomentItem();
    EXPECT_TRUE(zero->item(keyMoment("B", 15))->isSelected());
    EXPECT_TRUE(zero->needsGroupCalculation());
    window->layoutIfNeeded();
    EXPECT_TRUE(zero->needsGroupCalculation()) << "still no size";
    EXPECT_TRUE(delegate->selected.empty()) << "the delegate is not told";

    // A selected marker at the very left edge: its frame starts left of the strip, yet it is in view.
    delegate->selectedEvent = keyMoment("A", 0);
    zero->setNeedsUpdateSelectedKeyMomentItem();
    EXPECT_FALSE(zero->item(keyMoment("B", 15))->isSelected());
    zero->setFrame(CGRect(0, 0, 400, 83));
    window->layoutIfNeeded();
    EXPECT_FALSE(zero->needsGroupCalculation());
    EXPECT_EQ(codes(zero->groupedEvents()), (std::vector<std::string>{"A"}));

    // With a size it groups at once; an answer of nothing keeps the selection.
    strip->update({keyMoment("A", 0), keyMoment("B", 15)}, 100);
    window->layoutIfNeeded();
    delegate->selectedEvent = keyMoment("B", 15);
    strip->setNeedsUpdateSelectedKeyMomentItem();
    EXPECT_EQ(codes(strip->groupedEvents()), (std::vector<std::string>{"B"}));
    delegate->selectedEvent.reset();
    strip->setNeedsUpdateSelectedKeyMomentItem();
    EXPECT_TRUE(marker("B")->isSelected());
    delegate->selectedEvent = keyMoment("X", 1);  // not shown
    strip->setNeedsUpdateSelectedKeyMomentItem();
    EXPECT_TRUE(marker("B")->isSelected());
}

// ---- Selection by touch, press and focus -------------------------------------------------------------------

TEST_F(ZuKeyMomentsViewTest, ATapOnABubbleSelectsItsMarkerAndTheRestFallsThrough) {
    auto behind = uikit::UIButton::create(CGRect(0, 0, 400, 300));
    int behindTaps = 0;
    behind->addAction([&](uikit::UIControl&, const uikit::UIEvent*) { ++behindTaps; },
                      uikit::UIControl::Event::touchUpInside());
    window->insertSubviewAt(behind, 0);
    strip->update({keyMoment("A", 10), keyMoment("B", 50), keyMoment("C", 90)}, 100);
    window->layoutIfNeeded();

    uikit::testing::TouchSimulator touches(window);
    const CGPoint bubble = marker("B")->convertTo(CGPoint{30, 25}, nullptr);
    touches.tap(bubble);
    EXPECT_TRUE(marker("B")->isSelected());
    EXPECT_EQ(delegate->selected, (std::vector<int>{1}));

    touches.tap(marker("C")->convertTo(CGPoint{30, 48}, nullptr));  // C's dot
    touches.tap(CGPoint{200, 170});                                 // between markers
    EXPECT_EQ(behindTaps, 2);
    EXPECT_FALSE(marker("C")->isSelected());

    touches.tap(marker("C")->convertTo(CGPoint{30, 25}, nullptr));
    EXPECT_TRUE(marker("C")->isSelected());
    EXPECT_FALSE(marker("B")->isSelected());
    EXPECT_EQ(delegate->selected, (std::vector<int>{1, 2}));
}

TEST_F(ZuKeyMomentsViewTest, FocusAndArrowPressesMoveTheHighlightAndSelectPressSelects) {
    uikit::UIFocusSystem::shared().setIsEnabled(true);
    strip->update({keyMoment("A", 10), keyMoment("B", 50), keyMoment("C", 90)}, 100);
    auto tap = uikit::UITapGestureRecognizer::create();
    tap->addTargetAction(strip, &ZuKeyMomentsView::handleTapGestureRecognizer);
    strip->addGestureRecognizer(tap);
    window->layoutIfNeeded();
    delegate->preferred = 1;

    ASSERT_TRUE(uikit::UIFocusSystem::shared().moveFocus(strip));
    EXPECT_EQ(delegate->preferredAsked, 1);
    EXPECT_EQ(delegate->focused, (std::vector<int>{1}));
    EXPECT_TRUE(marker("B")->isHighlighted());
    clock.advance(0.3);
    EXPECT_EQ(strip->alpha(), 1.0);

    uikit::testing::PressSimulator presses;
    presses.press(uikit::UIPress::PressType::rightArrow);
    presses.press(uikit::UIPress::PressType::rightArrow);  // past the end: nothing
    EXPECT_EQ(delegate->focused, (std::vector<int>{1, 2}));
    EXPECT_TRUE(marker("C")->isHighlighted());
    EXPECT_FALSE(marker("B")->isHighlighted());
    presses.press(uikit::UIPress::PressType::upArrow);  // not an arrow it moves with
    EXPECT_EQ(delegate->focused.size(), 2u);

    presses.press(uikit::UIPress::PressType::select);
    EXPECT_TRUE(marker("C")->isSelected());
    EXPECT_EQ(delegate->selected, (std::vector<int>{2}));

    // Losing focus deselects and unhighlights, and fades the strip.
    ASSERT_TRUE(uikit::UIFocusSystem::shared().clearFocus());
    clock.advance(0.3);
    EXPECT_FALSE(marker("C")->isSelected());
    EXPECT_FALSE(marker("C")->isHighlighted());
    EXPECT_DOUBLE_EQ(strip->alpha(), 0.6);

    // Nothing highlighted or selected: left highlights the last marker, right the first.
    strip->pressesEnded({}, nullptr);
    EXPECT_EQ(delegate->focused.size(), 2u);
    ASSERT_TRUE(uikit::UIFocusSystem::shared().moveFocus(strip));  // the delegate's preferred, again
    marker("B")->setIsHighlighted(false);
    presses.press(uikit::UIPress::PressType::leftArrow);
    EXPECT_TRUE(marker("C")->isHighlighted());

    // Gaining focus with a marker selected leaves the highlight alone and does not ask.
    marker("C")->setIsHighlighted(false);
    strip->selectItem(marker("A"));
    uikit::UIFocusSystem::shared().clearFocus();
    strip->selectItem(marker("A"));
    const int asked = delegate->preferredAsked;
    ASSERT_TRUE(uikit::UIFocusSystem::shared().moveFocus(strip));
    EXPECT_EQ(delegate->preferredAsked, asked);
    presses.press(uikit::UIPress::PressType::leftArrow);  // at the first: nothing
    EXPECT_FALSE(marker("C")->isHighlighted());
    presses.press(uikit::UIPress::PressType::rightArrow);
    EXPECT_TRUE(marker("B")->isHighlighted());
}

// While a long update is still making markers, a tap, a focus move or an arrow press names the moment of the
// marker concerned by its place in `events()`, the list the delegate reads, not by its place among the markers
// made so far; the markers made are in the order of their moments among the subviews all along.
TEST_F(ZuKeyMomentsViewTest, ATapOrAFocusMoveDuringALongUpdateNamesItsOwnMoment) {
    // Wide enough for 250 markers side by side: one second is 64 points.
    auto wide = uikit::UIWindow::create(CGRect(0, 0, 16100, 300));
    wide->makeKeyAndVisible();
    strip->setFrame(CGRect(0, 100, 16016, 83));
    wide->addSubview(strip);
    std::vector<ZuKeyMomentEvent> events;
    for (int i = 0; i < 100; ++i) events.push_back(keyMoment("A" + std::to_string(i), 100 + i));
    strip->update(events, 250);
    wide->layoutIfNeeded();
    for (int i = 0; i < 150; ++i) events.push_back(keyMoment("B" + std::to_string(i), i * 0.6));
    strip->update(events, 250);
    wide->layoutIfNeeded();
    ASSERT_EQ(strip->events().size(), 250u);
    ASSERT_EQ(codes(strip->events())[150], "A0");
    ASSERT_EQ(strip->keyMomentItems().size(), 200u) << "B100 to B149 are still to be made";
    auto inOrder = [&] {
        std::vector<std::string> shown, expected;
        for (const auto& item : strip->keyMomentItems()) shown.push_back(*item->textLabel()->text());
        for (const auto& event : strip->events()) {
            if (strip->item(event)) expected.push_back(event.code);
        }
        return shown == expected;
    };
    EXPECT_TRUE(inOrder()) << "the subviews follow the moments";

    uikit::testing::TouchSimulator touches(wide);
    touches.tap(marker("A0")->convertTo(CGPoint{30, 25}, nullptr));
    EXPECT_TRUE(marker("A0")->isSelected());
    EXPECT_EQ(delegate->selected, (std::vector<int>{150}));

    marker("A0")->setIsSelected(false);
    uikit::UIFocusSystem::shared().setIsEnabled(true);
    delegate->preferred = 151;  // A1, by its place in `events()`
    ASSERT_TRUE(uikit::UIFocusSystem::shared().moveFocus(strip));
    EXPECT_TRUE(marker("A1")->isHighlighted());
    uikit::testing::PressSimulator presses;
    presses.press(uikit::UIPress::PressType::leftArrow);
    presses.press(uikit::UIPress::PressType::leftArrow);
    EXPECT_TRUE(marker("B99")->isHighlighted()) << "the next marker made on the left";
    EXPECT_EQ(delegate->focused, (std::vector<int>{151, 150, 99}));

    // The rest is made: the marker between them comes where it belongs, and the highlight moves through it.
    clock.advance(1.0 / 60);
    ASSERT_EQ(strip->keyMomentItems().size(), 250u);
    EXPECT_TRUE(inOrder());
    presses.press(uikit::UIPress::PressType::rightArrow);
    EXPECT_TRUE(marker("B100")->isHighlighted());
    EXPECT_EQ(delegate->focused.back(), 100);
    clock.advance(0.3);  // the focus animation, which takes no touches
    touches.tap(marker("B120")->convertTo(CGPoint{30, 25}, nullptr));
    EXPECT_EQ(delegate->selected.back(), 120);
    strip->removeFromSuperview();
}

TEST_F(ZuKeyMomentsViewTest, SwipesMoveTheHighlightOnlyFromAMarker) {
    strip->update({keyMoment("A", 10), keyMoment("B", 50), keyMoment("C", 90)}, 100);
    window->layoutIfNeeded();
    auto swipe = uikit::UISwipeGestureRecognizer::create();
    swipe->setDirection(uikit::UISwipeGestureRecognizer::Direction::right());
    swipe->addTargetAction(strip, &ZuKeyMomentsView::handleSwipeGestureRecognizer);
    strip->addGestureRecognizer(swipe);
    uikit::testing::TouchSimulator touches(window);
    // Over the group row: a marker would take the touch and be highlighted while it is down.
    const CGPoint start{40, 120};

    touches.drag(start, CGPoint{start.x + 120, start.y}, 4, 0.02);
    EXPECT_TRUE(delegate->focused.empty()) << "nothing highlighted or selected";

    strip->highlightItem(0);
    touches.drag(start, CGPoint{start.x + 120, start.y}, 4, 0.02);
    EXPECT_EQ(delegate->focused, (std::vector<int>{0, 1}));
    EXPECT_TRUE(marker("B")->isHighlighted());
}

TEST_F(ZuKeyMomentsViewTest, ATappedRowOfTheGroupSelectsItsMarker) {
    // Short texts, so that the second row lies inside the window.
    strip->update({keyMoment("A", 10, "G", std::nullopt, std::nullopt),
                   keyMoment("B", 12, "G", std::nullopt, std::nullopt), keyMoment("C", 80)},
                  100);
    window->layoutIfNeeded();
    strip->selectItem(marker("A"));
    settle();
    auto& row = *strip->keyMomentsGroupView();
    ASSERT_EQ(row.keyMomentEvents().size(), 2u);
    auto cell = row.collectionView()->cellForItem(uikit::IndexPath(1, 0));
    ASSERT_TRUE(cell);
    uikit::testing::TouchSimulator(window).tap(cell);
    EXPECT_TRUE(marker("B")->isSelected());
    EXPECT_FALSE(marker("A")->isSelected());
    EXPECT_EQ(delegate->selected.back(), 1);
    settle();
    EXPECT_EQ(row.selectedKeyMomentEvent()->code, "B");
}

TEST_F(ZuKeyMomentsViewTest, TheDelegateProxyForwardsToTheInstalledDelegate) {
    strip->setDelegate(std::weak_ptr<ZuKeyMomentsViewDelegate>());
    auto forward = std::make_shared<RecordingDelegate>();
    forward->selectedEvent = keyMoment("B", 50);
    auto installed = RxZuKeyMomentsViewDelegateProxy::installForwardDelegate(forward, false, strip);
    EXPECT_TRUE(std::dynamic_pointer_cast<RxZuKeyMomentsViewDelegateProxy>(strip->delegate()));

    strip->update({keyMoment("A", 10), keyMoment("B", 50)}, 100);
    window->layoutIfNeeded();
    strip->setNeedsUpdateSelectedKeyMomentItem();
    EXPECT_TRUE(marker("B")->isSelected());
    strip->selectItem(marker("A"));
    strip->highlightItem(1);
    EXPECT_EQ(forward->selected, (std::vector<int>{0}));
    EXPECT_EQ(forward->focused, (std::vector<int>{1}));

    installed.dispose();
    strip->selectItem(marker("B"));
    EXPECT_EQ(forward->selected, (std::vector<int>{0}));
}

}  // namespace
}  // namespace lumora
