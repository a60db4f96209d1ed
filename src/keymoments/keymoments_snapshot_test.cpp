#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "dispatch/testing/ManualClockScope.h"
#include "keymoments/BIF.h"
#include "keymoments/ZuKeyMomentsView.h"
#include "keymoments/ZuScrubberChainedThumbnailsView.h"
#include "keymoments/testing/BIFWriter.h"
#include "ui/KitColors.h"
#include "uikit/UIBezierPath.h"
#include "uikit/UIGraphicsImageRenderer.h"
#include "uikit/UIWindow.h"
#include "uikit/testing/EventSimulator.h"
#include "uikit/testing/SnapshotTesting.h"

namespace lumora {
namespace {

using uikit::CGPoint;
using uikit::CGRect;
using uikit::CGSize;

// A scrubbing frame: sky, a pitch, a ball that crosses it as n grows and a progress bar, as JPEG.
std::vector<std::uint8_t> frameJPEG(int n, int count) {
    const double t = static_cast<double>(n) / (count - 1);
    uikit::UIGraphicsImageRenderer renderer(CGSize{160, 90}, {.scale = 1, .opaque = true});
    auto data = renderer.jpegData(0.85, [&](uikit::UIGraphicsImageRendererContext& context) {
        auto& cg = context.cgContext();
        cg.drawLinearGradient(
            {{uikit::UIColor(0.15, 0.25, 0.45, 1).cgColor(), uikit::UIColor(0.55, 0.7, 0.85, 1).cgColor()}, {}},
            CGPoint{0, 0}, CGPoint{0, 40});
        uikit::UIColor(0.18, 0.55 - 0.1 * t, 0.22, 1).setFill();
        cg.fill(CGRect(0, 40, 160, 50));
        uikit::UIColor::white().setFill();
        cg.fill(CGRect(79, 40, 2, 50));
        uikit::UIBezierPath::ovalIn(CGRect(10 + 130 * t, 58, 12, 12)).fill();
        uikit::UIColor(1, 0.7, 0.1, 1).setFill();
        cg.fill(CGRect(0, 86, 160 * t, 4));
    });
    return *data;
}

BIF generatedIndex(int count) {
    testing::BIFWriter writer;
    writer.framewiseSeparation = 10000;
    for (int n = 0; n < count; ++n) writer.frames.push_back({static_cast<std::uint32_t>(n), frameJPEG(n, count)});
    return *BIF::from(writer.write(), BIFResolution::standard);
}

ZuKeyMomentEvent moment(const char* code, double time, const char* name, std::optional<std::string> player,
                        std::optional<std::string> team) {
    return ZuKeyMomentEvent(code, time, time * 60, name, std::to_string(static_cast<int>(time)) + "'",
                            std::move(player), std::move(team));
}

class KeyMomentsSnapshotTest : public ::testing::Test {
  protected:
    void SetUp() override { uikit::testing::resetInteractionState(); }
    dispatch::testing::ManualClockScope clock;
};

TEST_F(KeyMomentsSnapshotTest, TheStripWithAGroup) {
    auto window = uikit::UIWindow::create(CGRect(0, 0, 480, 124));
    window->makeKeyAndVisible();
    auto backdrop = uikit::UIView::create(CGRect(0, 0, 480, 124));
    backdrop->setBackgroundColor(colors::woodsmoke());
    window->addSubview(backdrop);
    auto strip = ZuKeyMomentsView::create(CGRect(0, 8, 480, 83));
    backdrop->addSubview(strip);
    strip->update(
        {moment("KO", 2, "Kick-off", std::nullopt, std::nullopt), moment("G", 23, "Goal", "J. Smith", "Harbour FC"),
         moment("YC", 26, "Yellow card", "M. Stone", "Bay United"),
         moment("S", 30, "Substitution", "K. Lind", "Bay United"),
         moment("HT", 58, "Half-time", std::nullopt, std::nullopt),
         moment("RC", 95, "Red card", "L. Novak", "Harbour FC")},
        120);
    window->layoutIfNeeded();
    strip->selectItem(strip->item(moment("YC", 26, "", {}, {})));
    clock.advance(1.0);
    window->layoutIfNeeded();
    ASSERT_EQ(strip->groupedEvents().size(), 3u);

    EXPECT_SNAPSHOT(*backdrop, "key_moments_strip_with_group");
}

TEST_F(KeyMomentsSnapshotTest, TheThumbnailRowWithTheScrubbingThumbnail) {
    auto window = uikit::UIWindow::create(CGRect(0, 0, 560, 206));
    window->makeKeyAndVisible();
    auto backdrop = uikit::UIView::create(CGRect(0, 0, 560, 206));
    backdrop->setBackgroundColor(uikit::UIColor(0.25, 1));
    window->addSubview(backdrop);
    auto row = ZuScrubberChainedThumbnailsView::create(CGRect(0, 0, 560, 206));
    backdrop->addSubview(row);
    const BIF bif = generatedIndex(12);
    row->thumbnailsCollection().accept(bif.allImages());
    auto& single = *row->singleThumbnailView();
    single.setTintColor(uikit::UIColor::white());
    window->layoutIfNeeded();
    single.followValue(70, 0, 110, &bif);
    window->layoutIfNeeded();
    ASSERT_EQ(single.imageView()->image(), bif.allImages()[7]);

    EXPECT_SNAPSHOT(*backdrop, "scrubber_thumbnail_row");
}

}  // namespace
}  // namespace lumora
