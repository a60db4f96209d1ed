#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "dispatch/testing/ManualClockScope.h"
#include "imageio/ImageDecoder.h"
#include "keymoments/ZuImageDownloader.h"
#include "sdwebimage/testing/ImageLoaderScope.h"
#include "sdwebimage/testing/ScriptedImageLoader.h"

namespace lumora {
namespace {

foundation::Data png(std::uint32_t width, std::uint8_t shade) {
    return *imageio::encodePNG(*imageio::Bitmap::filled(width, 4, {shade, shade, shade, 255}));
}

foundation::URL url(const std::string& name) {
    return *foundation::URL::fromString("https://images.example/" + name);
}

class Stamp final : public sdwebimage::SDImageTransformer {
  public:
    std::string transformerKey() const override { return "stamp"; }
    std::shared_ptr<uikit::UIImage> transformedImage(const std::shared_ptr<uikit::UIImage>&,
                                                     const std::string&) override {
        return uikit::UIImage::create(*imageio::Bitmap::filled(1, 1, {255, 0, 0, 255}));
    }
};

class ZuImageDownloaderTest : public ::testing::Test {
  protected:
    dispatch::testing::ManualClockScope clock;
    std::shared_ptr<sdwebimage::testing::ScriptedImageLoader> loader =
        sdwebimage::testing::ScriptedImageLoader::create();
    sdwebimage::testing::ImageLoaderScope scope{loader};
    std::shared_ptr<uikit::UIImageView> view = uikit::UIImageView::create();
    std::shared_ptr<uikit::UIImage> placeholder = uikit::UIImage::fromData(png(2, 9));
};

TEST_F(ZuImageDownloaderTest, AnOlderSlowerLoadNeverReplacesTheNewerImage) {
    std::vector<std::uint32_t> delivered;
    auto record = [&](const std::shared_ptr<uikit::UIImage>& image) { delivered.push_back(image->pixelWidth()); };
    setImage(view, url("first.png"), placeholder, nullptr, std::nullopt, record);
    EXPECT_EQ(view->image(), placeholder) << "the placeholder shows at once";
    setImage(view, url("second.png"), nullptr, nullptr, std::nullopt, record);
    EXPECT_FALSE(view->image());
    ASSERT_EQ(loader->count(), 2u);

    loader->respond(1, png(20, 200));  // the second answers first
    clock.runUntilIdle();
    ASSERT_TRUE(view->image());
    EXPECT_EQ(view->image()->pixelWidth(), 20u);
    loader->respond(0, png(10, 100));  // then the first, late
    clock.runUntilIdle();
    EXPECT_EQ(view->image()->pixelWidth(), 20u);
    EXPECT_EQ(delivered, (std::vector<std::uint32_t>{20, 10})) << "both callers hear of their image";

    // A newer call without a URL shows its placeholder, which an older load does not replace either.
    setImage(view, url("third.png"));
    setImage(view, std::nullopt, placeholder);
    loader->respond(2, png(30, 50));
    clock.runUntilIdle();
    EXPECT_EQ(view->image(), placeholder);
}

TEST_F(ZuImageDownloaderTest, NoURLNoLoadAndAFailureLeavesThePlaceholder) {
    int calls = 0;
    EXPECT_FALSE(ZuImageDownloader::download(std::nullopt, nullptr, 2.0, [&](const auto&) { ++calls; }));
    setImage(view, std::nullopt, placeholder, nullptr, std::nullopt, [&](const auto&) { ++calls; });
    EXPECT_EQ(loader->count(), 0u);
    EXPECT_EQ(view->image(), placeholder);

    setImage(view, url("missing.png"), placeholder, nullptr, std::nullopt, [&](const auto&) { ++calls; });
    setImage(uikit::UIImageView::create(), url("junk.png"), nullptr, nullptr, std::nullopt,
             [&](const auto&) { ++calls; });
    loader->respondStatus(0, 404);
    loader->respond(1, foundation::dataFromString("<html>"));
    clock.runUntilIdle();
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(view->image(), placeholder);
}

TEST_F(ZuImageDownloaderTest, TheScaleAndTheTransformerReachTheLoadAndABadScaleIsLeftOut) {
    std::vector<std::shared_ptr<uikit::UIImage>> images;
    auto keep = [&](const std::shared_ptr<uikit::UIImage>& image) { images.push_back(image); };
    auto operation = ZuImageDownloader::download(url("a.png"), nullptr, 2.0, keep);
    EXPECT_TRUE(operation);
    ZuImageDownloader::download(url("b.png"), std::make_shared<Stamp>(), std::nullopt, keep);
    for (double bad : {0.0, -1.0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        ZuImageDownloader::download(url("c.png"), nullptr, bad, keep);
    }
    for (std::size_t i = 0; i < loader->count(); ++i) loader->respond(i, png(8, 1));
    clock.runUntilIdle();
    ASSERT_EQ(images.size(), 6u);
    EXPECT_EQ(images[0]->scale(), 2.0);
    EXPECT_EQ(images[0]->size().width, 4.0);
    EXPECT_EQ(images[1]->pixelWidth(), 1u) << "transformed";
    EXPECT_EQ(images[1]->scale(), 1.0);
    for (std::size_t i = 2; i < images.size(); ++i) EXPECT_EQ(images[i]->scale(), 1.0);

    // A cancelled load calls nobody.
    int calls = 0;
    auto cancelled = ZuImageDownloader::download(url("d.png"), nullptr, std::nullopt, [&](const auto&) { ++calls; });
    cancelled->cancel();
    clock.runUntilIdle();
    EXPECT_EQ(calls, 0);
}

TEST_F(ZuImageDownloaderTest, AReleasedImageViewIsNotKeptAliveAndTheCallerStillHears) {
    std::weak_ptr<uikit::UIImageView> weak = view;
    std::shared_ptr<uikit::UIImage> delivered;
    setImage(view, url("late.png"), placeholder, nullptr, std::nullopt,
             [&](const std::shared_ptr<uikit::UIImage>& image) { delivered = image; });
    view.reset();
    EXPECT_TRUE(weak.expired());
    loader->respond(0, png(6, 60));
    clock.runUntilIdle();
    ASSERT_TRUE(delivered);
    EXPECT_EQ(delivered->pixelWidth(), 6u);
}

}  // namespace
}  // namespace lumora
