#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "dispatch/testing/ManualClockScope.h"
#include "imageio/ImageDecoder.h"
#include "keymoments/BIF.h"
#include "keymoments/ZuScrubberChainedThumbnailsView.h"
#include "keymoments/ZuScrubberSingleThumbnailView.h"
#include "keymoments/testing/BIFWriter.h"
#include "uikit/UIWindow.h"
#include "uikit/testing/EventSimulator.h"

namespace lumora {
namespace {

using uikit::CGPoint;
using uikit::CGRect;
using uikit::CGSize;

std::vector<std::uint8_t> png(std::uint8_t shade) {
    return *imageio::encodePNG(*imageio::Bitmap::filled(32, 18, {shade, shade, shade, 255}));
}

// An index of four frames 10 s apart, each a different grey.
BIF fourFrames() {
    testing::BIFWriter writer;
    writer.framewiseSeparation = 10000;
    for (std::uint32_t n = 0; n < 4; ++n) writer.frames.push_back({n, png(static_cast<std::uint8_t>(40 * n))});
    return *BIF::from(writer.write(), BIFResolution::standard);
}

class ScrubberThumbnailsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        uikit::testing::resetInteractionState();
        window = uikit::UIWindow::create(CGRect(0, 0, 600, 400));
        window->makeKeyAndVisible();
    }
    dispatch::testing::ManualClockScope clock;
    std::shared_ptr<uikit::UIWindow> window;
};

TEST_F(ScrubberThumbnailsTest, TheSingleThumbnailCentresWhereAskedWithinItsBounds) {
    auto view = ZuScrubberSingleThumbnailView::create(CGRect(0, 0, 500, 126));  // 110 between the margins
    window->addSubview(view);
    std::vector<CGPoint> reported;
    view->setDidUpdateThumbnailViewCenter([&](CGPoint c) { reported.push_back(c); });
    EXPECT_EQ(view->intrinsicContentSize(), (CGSize{195, 110}));

    auto place = [&](double x) {
        view->setCenterXPoint(x);
        view->setNeedsLayout();
        view->layoutIfNeeded();
        return view->imageView()->frame();
    };
    CGRect frame = place(250);
    EXPECT_NEAR(frame.height(), 110, 1e-9);
    EXPECT_NEAR(frame.width(), 110 * 16.0 / 9.0, 1e-9);
    EXPECT_NEAR(frame.midX(), 250, 1e-9);
    EXPECT_EQ(view->shadowLayer()->frame(), frame);
    ASSERT_FALSE(reported.empty());
    EXPECT_EQ(reported.back(), view->imageView()->center());

    EXPECT_NEAR(place(-40).minX(), 0, 1e-9) << "left of the range: the image's left edge on the bounds";
    EXPECT_NEAR(place(480).maxX(), 500, 1e-9) << "right of it: the right edge on the bounds";
    EXPECT_NEAR(place(std::numeric_limits<double>::quiet_NaN()).minX(), 0, 1e-9);
    EXPECT_EQ(view->shadowLayer()->frame(), view->imageView()->frame());

    // Narrower than the image: the upper limit, left of the lower one, wins.
    view->setFrame(CGRect(0, 0, 150, 126));
    frame = place(75);
    EXPECT_NEAR(frame.midX(), 150 - frame.width() / 2, 1e-9);

    // Moving and resizing the shadow is never animated by itself.
    EXPECT_EQ(view->shadowLayer()->action("position"), nullptr);
    EXPECT_EQ(view->shadowLayer()->action("bounds"), nullptr);
}

TEST_F(ScrubberThumbnailsTest, TheSingleThumbnailFollowsASliderValue) {
    auto view = ZuScrubberSingleThumbnailView::create(CGRect(0, 0, 500, 126));
    window->addSubview(view);
    view->setLayoutMargins(uikit::UIEdgeInsets{8, 20, 8, 20});  // a 460-point track from x = 20
    const BIF bif = fourFrames();

    view->followValue(30, 20, 40, &bif);  // half way along a range that does not start at 0
    EXPECT_NEAR(view->centerXPoint(), 20 + 460 * 0.5, 1e-9);
    ASSERT_TRUE(view->imageView()->image());
    EXPECT_EQ(view->imageView()->image()->pixel(0, 0)->at(0), 120) << "30 s: frame 3";
    view->layoutIfNeeded();
    EXPECT_NEAR(view->imageView()->center().x, 250, 1e-9);

    view->followValue(25, 20, 40, &bif);
    EXPECT_NEAR(view->centerXPoint(), 20 + 460 * 0.25, 1e-9);
    EXPECT_EQ(view->imageView()->image()->pixel(0, 0)->at(0), 80) << "25 s: frame 2";

    // Outside the range (or not a number) the thumbnail stays, but the image follows the value.
    view->followValue(45, 20, 40, &bif);
    EXPECT_NEAR(view->centerXPoint(), 20 + 460 * 0.25, 1e-9);
    EXPECT_FALSE(view->imageView()->image()) << "no frame 4";
    view->followValue(std::numeric_limits<double>::quiet_NaN(), 20, 40, &bif);
    EXPECT_NEAR(view->centerXPoint(), 20 + 460 * 0.25, 1e-9);
    view->followValue(0, 20, 20, &bif);  // an empty range: the start
    EXPECT_NEAR(view->centerXPoint(), 20, 1e-9);
    EXPECT_EQ(view->imageView()->image()->pixel(0, 0)->at(0), 0);
    view->followValue(10, 0, 40, nullptr);
    EXPECT_FALSE(view->imageView()->image());
}

TEST_F(ScrubberThumbnailsTest, TheBorderIsThereFromTheStartAndTakesEveryTint) {
    auto view = ZuScrubberSingleThumbnailView::create(CGRect(0, 0, 300, 126));
    const auto& layer = *view->imageView()->layer();
    // Made, the border is drawn in the tint the view has, before anybody sets one.
    EXPECT_EQ(layer.borderWidth(), 2);
    EXPECT_EQ(layer.cornerRadius(), 4);
    EXPECT_EQ(layer.borderColor(), view->tintColor().cgColor());

    // Set to the tint it already inherits (what the slider row does in a host): the border stays that tint.
    window->setTintColor(uikit::UIColor::green());
    window->addSubview(view);
    EXPECT_EQ(layer.borderColor(), uikit::UIColor::green().cgColor());
    view->setTintColor(uikit::UIColor::green());
    EXPECT_EQ(layer.borderWidth(), 2);
    EXPECT_EQ(layer.borderColor(), uikit::UIColor::green().cgColor());
    view->setTintColor(uikit::UIColor::red());
    EXPECT_EQ(layer.borderColor(), uikit::UIColor::red().cgColor());
    view->setTintColor(std::nullopt);
    EXPECT_EQ(layer.borderColor(), uikit::UIColor::green().cgColor());
    window->setTintColor(std::nullopt);
}

TEST_F(ScrubberThumbnailsTest, TheChainedStripShowsTheRelaysImagesSizedByItsHeight) {
    auto view = ZuScrubberChainedThumbnailsView::create(CGRect(0, 0, 600, 206));
    window->addSubview(view);
    const BIF bif = fourFrames();
    view->thumbnailsCollection().accept(bif.allImages());
    window->layoutIfNeeded();

    const auto& cv = view->collectionView();
    EXPECT_EQ(cv->frame(), CGRect(0, 12, 600, 160)) << "between the style's layout margins";
    EXPECT_FALSE(cv->isUserInteractionEnabled());
    ASSERT_EQ(cv->numberOfItems(0), 4);
    auto first = std::dynamic_pointer_cast<ZuScrubberChainedThumbnailsCollectionViewCell>(
        cv->cellForItem(uikit::IndexPath(0, 0)));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->bounds().size, (CGSize{140 * 16.0 / 9.0, 140})) << "the collection view less 20 points";
    EXPECT_EQ(first->imageView()->image(), bif.allImages()[0]);
    EXPECT_EQ(view->shadowLayer()->frame(), view->bounds());
    EXPECT_EQ(view->singleThumbnailView()->frame().height(), 160);

    // A new list replaces every cell.
    view->thumbnailsCollection().accept({bif.allImages()[3]});
    window->layoutIfNeeded();
    EXPECT_EQ(cv->numberOfItems(0), 1);

    // The single thumbnail over the strip follows a value like the slider's.
    auto& single = *view->singleThumbnailView();
    single.followValue(30, 0, 40, &bif);
    window->layoutIfNeeded();
    EXPECT_EQ(single.imageView()->image(), bif.allImages()[3]);
    const CGRect guide = single.bounds().inset(single.layoutMargins());
    const double wanted = guide.minX() + guide.width() * 0.75;
    EXPECT_NEAR(single.imageView()->center().x,
                std::min(wanted, single.bounds().maxX() - single.imageView()->bounds().width() / 2), 1e-9);
}

TEST_F(ScrubberThumbnailsTest, AStripLowerThanItsInsetsHasEmptyItems) {
    auto view = ZuScrubberChainedThumbnailsView::create(CGRect(0, 0, 600, 60));
    window->addSubview(view);
    window->layoutIfNeeded();
    auto& cv = *view->collectionView();
    cv.setBounds(CGRect(0, 0, 600, 12));
    auto size = view->collectionViewLayoutSizeForItemAt(cv, *cv.collectionViewLayout(), uikit::IndexPath(0, 0));
    ASSERT_TRUE(size);
    EXPECT_EQ(*size, (CGSize{0, 0}));
    cv.setBounds(CGRect(0, 0, 600, 29));
    size = view->collectionViewLayoutSizeForItemAt(cv, *cv.collectionViewLayout(), uikit::IndexPath(0, 0));
    EXPECT_NEAR(size->height, 9, 1e-9);
    EXPECT_NEAR(size->width, 16, 1e-9);
}

}  // namespace
}  // namespace lumora
