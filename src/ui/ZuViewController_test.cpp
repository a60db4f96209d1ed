#include <gtest/gtest.h>

#include <memory>

#include "dispatch/testing/ManualClockScope.h"
#include "imageio/Bitmap.h"
#include "ui/ZuViewController.h"
#include "uikit/UIDevice.h"
#include "uikit/UIImage.h"
#include "uikit/UIWindow.h"
#include "uikit/testing/EventSimulator.h"

namespace {

using namespace uikit;
using lumora::ZuViewController;

std::shared_ptr<UIImage> solidImage(std::uint32_t width, std::uint32_t height) {
    return UIImage::create(*imageio::Bitmap::filled(width, height, imageio::RGBA{10, 20, 30, 255}));
}

// Exposes the background image view, which the base screen keeps to itself.
class Probe : public ZuViewController {
  public:
    static std::shared_ptr<Probe> create() { return std::shared_ptr<Probe>(new Probe()); }
    using ZuViewController::backgroundImageView;
};

class ZuViewControllerTest : public ::testing::Test {
  protected:
    void SetUp() override { uikit::testing::resetInteractionState(); }
    void TearDown() override { UIDevice::current().setUserInterfaceIdiom(UIUserInterfaceIdiom::phone); }

    dispatch::testing::ManualClockScope clock;
};

TEST_F(ZuViewControllerTest, BackgroundImageStaysAtTheBackAndFillsTheView) {
    auto screen = Probe::create();
    auto window = UIWindow::create(CGRect(0, 0, 390, 844));
    window->makeKeyAndVisible();
    window->setRootViewController(screen);
    auto content = UIView::create(CGRect(0, 0, 50, 50));
    screen->view()->addSubview(content);
    EXPECT_EQ(screen->backgroundImage(), nullptr);
    EXPECT_FALSE(screen->backgroundImageView()->superview());

    // Set twice: one image view, at the back, showing the second image.
    auto first = solidImage(4, 4);
    auto second = solidImage(8, 8);
    screen->setBackgroundImage(first);
    screen->setBackgroundImage(second);
    ASSERT_EQ(screen->view()->subviews().size(), 2u);
    EXPECT_EQ(screen->view()->subviews().front(), screen->backgroundImageView());
    EXPECT_EQ(screen->backgroundImageView()->image(), second);
    EXPECT_EQ(screen->backgroundImage(), second);

    // Every layout pass sizes it to the view.
    UIWindow::layoutAndDisplayWindowsIfNeeded();
    EXPECT_EQ(screen->backgroundImageView()->frame(), CGRect(0, 0, 390, 844));
    screen->view()->setFrame(CGRect(0, 0, 300, 500));
    screen->view()->layoutIfNeeded();
    EXPECT_EQ(screen->backgroundImageView()->frame(), CGRect(0, 0, 300, 500));

    // None takes it away; a later image brings it back at the back.
    screen->setBackgroundImage(nullptr);
    EXPECT_FALSE(screen->backgroundImageView()->superview());
    EXPECT_EQ(screen->view()->subviews().size(), 1u);
    auto front = UIView::create();
    screen->view()->addSubview(front);
    screen->setBackgroundImage(first);
    EXPECT_EQ(screen->view()->subviews().front(), screen->backgroundImageView());
    EXPECT_EQ(screen->view()->subviews().size(), 3u);
}

TEST_F(ZuViewControllerTest, LightStatusBarAndPortraitUnlessRegularBothWays) {
    auto screen = ZuViewController::create();
    EXPECT_EQ(screen->preferredStatusBarStyle(), UIStatusBarStyle::lightContent);

    // A phone window: compact width, portrait only, no rotation.
    auto phone = UIWindow::create(CGRect(0, 0, 390, 844));
    phone->makeKeyAndVisible();
    phone->setRootViewController(screen);
    EXPECT_FALSE(screen->shouldAutorotate());
    EXPECT_EQ(screen->supportedInterfaceOrientations(), UIInterfaceOrientationMask::portrait());

    // A phone in landscape wide enough for a regular width is still compact in height.
    phone->setTraitCollection(UITraitCollection{UIUserInterfaceSizeClass::regular, UIUserInterfaceSizeClass::compact,
                                                UIUserInterfaceIdiom::phone, 3});
    EXPECT_FALSE(screen->shouldAutorotate());
    EXPECT_EQ(screen->supportedInterfaceOrientations(), UIInterfaceOrientationMask::portrait());

    // Tablet-sized: every orientation.
    phone->setTraitCollection(UITraitCollection{UIUserInterfaceSizeClass::regular, UIUserInterfaceSizeClass::regular,
                                                UIUserInterfaceIdiom::pad, 2});
    EXPECT_TRUE(screen->shouldAutorotate());
    EXPECT_EQ(screen->supportedInterfaceOrientations(), UIInterfaceOrientationMask::all());
}

}  // namespace
