#include "uikit/UIImage.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "foundation/testing/MainBundleScope.h"
#include "uikit/detail/NamedImageCache.h"

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
    void remove(const std::string& name) { std::filesystem::remove(root_ / "Resources" / name); }
    std::string file(const std::string& name) const { return (root_ / "Resources" / name).string(); }
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
    std::shared_ptr<UIImage> image;
    {
        const foundation::testing::MainBundleScope mainBundle(folder.path());
        image = UIImage::named("Tick_BA03");
    }
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixel(5, 5), (imageio::RGBA{0, 200, 0, 255}));
}

TEST(UIImage, NamedImagesAreKeptPerNameAndScaleWhileTheirFileIsUnchanged) {
    TemporaryBundle folder;
    folder.add("icon.png", pngOf(10, 10, {1, 0, 0, 255}));
    folder.add("icon@2x.png", pngOf(20, 20, {2, 0, 0, 255}));
    folder.add("icon@3x.png", pngOf(30, 30, {3, 0, 0, 255}));
    const auto bundle = folder.bundle();
    UITraitCollection twice;
    twice.displayScale = 2;
    UITraitCollection thrice;
    thrice.displayScale = 3;

    // The same name at the same scale: the same image, not decoded again.
    const auto atTwo = UIImage::named("icon", bundle, &twice);
    ASSERT_TRUE(atTwo);
    EXPECT_EQ(UIImage::named("icon", bundle, &twice), atTwo);
    const auto atThree = UIImage::named("icon", bundle, &thrice);
    ASSERT_TRUE(atThree);
    EXPECT_NE(atThree, atTwo);
    EXPECT_EQ(atThree->scale(), 3.0);
    EXPECT_EQ(UIImage::named("icon", bundle, &thrice), atThree);
    const auto plain = UIImage::named("icon", bundle);
    EXPECT_EQ(plain->scale(), 1.0);
    EXPECT_EQ(UIImage::named("icon", bundle), plain);

    // Another folder with the same names has its own images.
    TemporaryBundle other;
    other.add("icon@2x.png", pngOf(20, 20, {9, 0, 0, 255}));
    EXPECT_EQ((*UIImage::named("icon", other.bundle(), &twice)->pixel(0, 0))[0], 9);
    EXPECT_EQ(UIImage::named("icon", bundle, &twice), atTwo);

    // A file rewritten is read again; the image given before stays as it was for those who hold it.
    folder.add("icon@2x.png", pngOf(64, 64, {4, 0, 0, 255}));  // another size on disk
    const auto rewritten = UIImage::named("icon", bundle, &twice);
    ASSERT_TRUE(rewritten);
    EXPECT_EQ((*rewritten->pixel(0, 0))[0], 4);
    EXPECT_EQ((*atTwo->pixel(0, 0))[0], 2);
    // A file removed: the look-up finds what is there now.
    folder.remove("icon.png");
    EXPECT_EQ(UIImage::named("icon", bundle)->scale(), 2.0);
    folder.remove("icon@2x.png");
    folder.remove("icon@3x.png");
    EXPECT_EQ(UIImage::named("icon", bundle, &thrice), nullptr);
    EXPECT_EQ(UIImage::named("icon", bundle), nullptr);
}

TEST(UIImage, NamedImagesAreTheSameFromEveryThread) {
    TemporaryBundle folder;
    folder.add("shared@2x.png", pngOf(40, 40, {7, 0, 0, 255}));
    const auto bundle = folder.bundle();
    constexpr int threads = 8;
    std::vector<std::vector<std::shared_ptr<UIImage>>> seen(threads);
    {
        std::vector<std::jthread> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([&, t] {
                UITraitCollection traits;
                traits.displayScale = 2;
                for (int i = 0; i < 20; ++i)
                    seen[static_cast<std::size_t>(t)].push_back(UIImage::named("shared", bundle, &traits));
            });
        }
    }
    const auto first = seen[0][0];
    ASSERT_TRUE(first);
    for (const auto& images : seen) {
        for (const auto& image : images) EXPECT_EQ(image, first);
    }
}

TEST(NamedImageCache, KeepsTheMostRecentlyUsedWithinItsBudget) {
    TemporaryBundle folder;
    for (const char* name : {"a.png", "b.png", "c.png"}) folder.add(name, pngOf(10, 10, {1, 2, 3, 255}));
    const auto stamp = [&](const std::string& name) { return *detail::FileStamp::of(folder.file(name)); };
    const auto image = [](std::uint32_t side) { return UIImage::create(*imageio::Bitmap::filled(side, side, {})); };
    const std::string bundle = folder.path();

    // 10 × 10 RGBA is 400 bytes: two fit in 1000.
    detail::NamedImageCache cache(3, 1000);
    const auto a = cache.insert(bundle, "a", 0, folder.file("a.png"), stamp("a.png"), image(10));
    const auto b = cache.insert(bundle, "b", 0, folder.file("b.png"), stamp("b.png"), image(10));
    EXPECT_EQ(cache.count(), 2u);
    EXPECT_EQ(cache.bytes(), 800u);
    EXPECT_EQ(cache.find(bundle, "a", 0), a);  // now the most recently used
    cache.insert(bundle, "c", 0, folder.file("c.png"), stamp("c.png"), image(10));
    EXPECT_EQ(cache.find(bundle, "b", 0), nullptr);
    EXPECT_EQ(cache.find(bundle, "a", 0), a);
    EXPECT_EQ(cache.bytes(), 800u);
    EXPECT_EQ(cache.find(bundle, "a", 2), nullptr);  // another scale is another image

    // The same file decoded twice at once: the first one kept is the one both callers get.
    EXPECT_EQ(cache.insert(bundle, "a", 0, folder.file("a.png"), stamp("a.png"), image(10)), a);
    // Larger than the whole budget: given, not kept.
    const auto big = image(20);
    EXPECT_EQ(cache.insert(bundle, "big", 0, folder.file("a.png"), stamp("a.png"), big), big);
    EXPECT_EQ(cache.find(bundle, "big", 0), nullptr);
    EXPECT_EQ(cache.count(), 2u);

    // At most `capacity` images, however small.
    detail::NamedImageCache few(2, 1 << 20);
    for (const char* name : {"a", "b", "c"}) {
        few.insert(bundle, name, 0, folder.file(std::string(name) + ".png"), stamp(std::string(name) + ".png"),
                   image(1));
    }
    EXPECT_EQ(few.count(), 2u);
    EXPECT_EQ(few.find(bundle, "a", 0), nullptr);
    // An entry whose file went away is dropped when it is asked for.
    folder.remove("c.png");
    EXPECT_EQ(few.find(bundle, "c", 0), nullptr);
    EXPECT_EQ(few.count(), 1u);
}

}  // namespace
}  // namespace uikit
