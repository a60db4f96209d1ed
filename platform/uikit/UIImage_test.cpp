#include "uikit/UIImage.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace uikit {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes pngOf(std::uint32_t width, std::uint32_t height, imageio::RGBA colour) {
    return *imageio::encodePNG(*imageio::Bitmap::filled(width, height, colour));
}

// A bundle folder with resources, removed again at the end of the test.
class TemporaryBundle {
  public:
    TemporaryBundle() {
        static int counter = 0;
        root_ = std::filesystem::temp_directory_path() /
                ("lumora-uiimage-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
        std::filesystem::create_directories(root_ / "Resources");
    }
    ~TemporaryBundle() { std::filesystem::remove_all(root_); }
    void add(const std::string& name, const Bytes& bytes) {
        std::ofstream(root_ / "Resources" / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    foundation::Bundle bundle() const { return foundation::Bundle(root_.string()); }
    std::string path() const { return root_.string(); }

  private:
    std::filesystem::path root_;
};

TEST(UIImage, FromDataDecodesPixelsAndSizesInPoints) {
    const auto image = UIImage::fromData(pngOf(40, 20, {1, 2, 3, 4}), 2.0);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixelWidth(), 40u);
    EXPECT_EQ(image->pixelHeight(), 20u);
    EXPECT_EQ(image->scale(), 2.0);
    EXPECT_EQ(image->size(), (CGSize{20, 10}));
    EXPECT_EQ(image->pixel(39, 19), (imageio::RGBA{1, 2, 3, 4}));
    EXPECT_EQ(image->pixel(40, 0), std::nullopt);
    EXPECT_EQ(image->renderingMode(), UIImage::RenderingMode::automatic);
    // A scale that cannot map pixels to points is taken as 1.
    for (double scale : {0.0, -2.0, std::nan("")}) EXPECT_EQ(UIImage::fromData(pngOf(4, 4, {}), scale)->scale(), 1.0);
}

TEST(UIImage, BadDataGivesNothingOrTheReason) {
    EXPECT_EQ(UIImage::fromData(Bytes{1, 2, 3}), nullptr);
    const Bytes png = pngOf(100, 100, {9, 9, 9, 255});
    EXPECT_EQ(UIImage::fromData(Bytes(png.begin(), png.begin() + 60)), nullptr);
    const auto refused = UIImage::decode(png, 1.0, {.maxPixels = 9'999});
    ASSERT_FALSE(refused);
    const auto* error = refused.error().as<imageio::ImageDecodingError>();
    ASSERT_NE(error, nullptr);
    EXPECT_TRUE(error->isTooLarge());
    EXPECT_TRUE(UIImage::decode(png, 1.0, {.maxPixels = 10'000}));
    EXPECT_EQ(UIImage::create(imageio::Bitmap{}), nullptr);
}

TEST(UIImage, RenderingModeMakesANewImageSharingThePixels) {
    const auto original = UIImage::fromData(pngOf(3, 3, {5, 6, 7, 255}), 3.0);
    const auto tinted = original->withRenderingMode(UIImage::RenderingMode::alwaysTemplate);
    ASSERT_TRUE(tinted);
    EXPECT_NE(tinted, original);
    EXPECT_EQ(tinted->renderingMode(), UIImage::RenderingMode::alwaysTemplate);
    EXPECT_EQ(original->renderingMode(), UIImage::RenderingMode::automatic);
    EXPECT_EQ(tinted->scale(), 3.0);
    EXPECT_EQ(tinted->bitmap().bytes().data(), original->bitmap().bytes().data());
    EXPECT_EQ(tinted->withRenderingMode(UIImage::RenderingMode::alwaysOriginal)->renderingMode(),
              UIImage::RenderingMode::alwaysOriginal);
}

TEST(UIImage, NamedLooksUpPlainThenScaledThenJPEG) {
    TemporaryBundle folder;
    folder.add("both.png", pngOf(10, 10, {1, 0, 0, 255}));
    folder.add("both@2x.png", pngOf(20, 20, {2, 0, 0, 255}));
    folder.add("retina@2x.png", pngOf(20, 20, {3, 0, 0, 255}));
    folder.add("retina@3x.png", pngOf(30, 30, {4, 0, 0, 255}));
    folder.add("triple@3x.png", pngOf(30, 30, {5, 0, 0, 255}));
    folder.add("photo.jpg", *imageio::encodeJPEG(*imageio::Bitmap::filled(8, 8, {250, 250, 250, 255})));
    folder.add("broken.png", Bytes{0x89, 'P', 'N', 'G'});
    const auto bundle = folder.bundle();

    const auto both = UIImage::named("both", bundle);
    ASSERT_TRUE(both);
    EXPECT_EQ((*both->pixel(0, 0))[0], 1);
    EXPECT_EQ(both->scale(), 1.0);
    const auto retina = UIImage::named("retina", bundle);
    ASSERT_TRUE(retina);
    EXPECT_EQ((*retina->pixel(0, 0))[0], 3);
    EXPECT_EQ(retina->size(), (CGSize{10, 10}));
    EXPECT_EQ(UIImage::named("triple", bundle)->scale(), 3.0);
    EXPECT_EQ(UIImage::named("photo", bundle)->pixelWidth(), 8u);
    // A name with its extension, and its scale suffix, is taken as it is.
    EXPECT_EQ(UIImage::named("retina@3x.png", bundle)->scale(), 3.0);
    EXPECT_EQ(UIImage::named("photo.jpg", bundle)->pixelWidth(), 8u);

    EXPECT_EQ(UIImage::named("missing", bundle), nullptr);
    EXPECT_EQ(UIImage::named("broken", bundle), nullptr);
    EXPECT_EQ(UIImage::named("", bundle), nullptr);
    EXPECT_EQ(UIImage::named("../Resources/both", bundle), nullptr);
}

TEST(UIImage, NamedCompatibleWithTraitsPrefersTheDisplayScale) {
    TemporaryBundle folder;
    folder.add("all.png", pngOf(10, 10, {1, 0, 0, 255}));
    folder.add("all@2x.png", pngOf(20, 20, {2, 0, 0, 255}));
    folder.add("all@3x.png", pngOf(30, 30, {3, 0, 0, 255}));
    folder.add("low.png", pngOf(10, 10, {4, 0, 0, 255}));
    folder.add("low@2x.png", pngOf(20, 20, {5, 0, 0, 255}));
    folder.add("photo.jpg", *imageio::encodeJPEG(*imageio::Bitmap::filled(8, 8, {250, 250, 250, 255})));
    const auto bundle = folder.bundle();
    UITraitCollection traits;

    // No traits: the main screen's scale (3 by default).
    const auto best = UIImage::named("all", bundle, nullptr);
    ASSERT_TRUE(best);
    EXPECT_EQ(best->scale(), 3.0);
    EXPECT_EQ(best->size(), (CGSize{10, 10}));
    traits.displayScale = 2;
    EXPECT_EQ(UIImage::named("all", bundle, &traits)->scale(), 2.0);
    traits.displayScale = 1;
    EXPECT_EQ(UIImage::named("all", bundle, &traits)->scale(), 1.0);
    // Missing the wanted scale: the next larger, else the next smaller.
    traits.displayScale = 1;
    EXPECT_EQ(UIImage::named("low", bundle, &traits)->scale(), 1.0);
    traits.displayScale = 3;
    EXPECT_EQ((*UIImage::named("low", bundle, &traits)->pixel(0, 0))[0], 5);
    EXPECT_EQ(UIImage::named("photo", bundle, &traits)->pixelWidth(), 8u);
    EXPECT_EQ(UIImage::named("all@2x.png", bundle, &traits)->scale(), 2.0);
    EXPECT_EQ(UIImage::named("missing", bundle, &traits), nullptr);
    EXPECT_EQ(UIImage::named("", bundle, nullptr), nullptr);
}

TEST(UIImage, NamedWithoutABundleUsesTheMainBundle) {
    TemporaryBundle folder;
    folder.add("Tick_BA03.png", pngOf(6, 6, {0, 200, 0, 255}));
    ::setenv("LUMORA_MAIN_BUNDLE", folder.path().c_str(), 1);
    foundation::Bundle::resetMainForTesting();
    const auto image = UIImage::named("Tick_BA03");
    ::unsetenv("LUMORA_MAIN_BUNDLE");
    foundation::Bundle::resetMainForTesting();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixel(5, 5), (imageio::RGBA{0, 200, 0, 255}));
}

}  // namespace
}  // namespace uikit
