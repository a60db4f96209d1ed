#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "imageio/Bitmap.h"
#include "imageio/ImageDecoder.h"
#include "ui/ZuPlayerKitAssetInfo.h"

namespace {

using namespace lumora;
namespace fs = std::filesystem;
using ImageInfo = ZuPlayerKitAssetInfo<uikit::UIImage>;

class ImageFolder {
  public:
    explicit ImageFolder(const std::string& name) {
        root_ = fs::temp_directory_path() / ("lumora-assetinfo-" + std::to_string(::getpid())) / name;
        fs::create_directories(root_);
    }
    ~ImageFolder() {
        std::error_code ec;
        fs::remove_all(root_.parent_path(), ec);
    }
    void addPNG(const std::string& file, std::uint32_t width, std::uint32_t height) const {
        const auto png = *imageio::encodePNG(*imageio::Bitmap::filled(width, height, {255, 255, 255, 255}));
        std::ofstream(root_ / file, std::ios::binary)
            .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    }
    foundation::Bundle bundle() const { return foundation::Bundle(root_.string()); }

  private:
    fs::path root_;
};

TEST(ZuPlayerKitAssetInfoTest, NamesAnAssetOfABundleOrOfTheMainBundle) {
    ImageFolder folder("Artwork.bundle");
    const ImageInfo named("icon_back", folder.bundle());
    EXPECT_EQ(named.name, "icon_back");
    EXPECT_EQ(named.bundle, folder.bundle());
    EXPECT_EQ(named.identifier(), "icon_back");

    const ImageInfo literal = "Tick_BA03";
    EXPECT_EQ(literal.name, "Tick_BA03");
    EXPECT_EQ(literal.bundle, foundation::Bundle::main());

    EXPECT_EQ(named, ImageInfo("icon_back", folder.bundle()));
    EXPECT_FALSE(named == ImageInfo("icon_back", foundation::Bundle::main()));
    EXPECT_FALSE(named == ImageInfo("icon_close", folder.bundle()));
}

TEST(ZuPlayerKitAssetInfoTest, DebugDescriptionNamesTheTypeTheNameAndTheBundleFolder) {
    ImageFolder folder("Artwork.bundle");
    EXPECT_EQ(ImageInfo("icon_back", folder.bundle()).debugDescription(),
              "<lumora::ZuPlayerKitAssetInfo<uikit::UIImage> name=\"icon_back\", bundle=\"Artwork.bundle\">");
    // A bundle path ending in a slash still names its folder.
    const foundation::Bundle slashed(folder.bundle().bundlePath() + "/");
    EXPECT_EQ(ImageInfo("x", slashed).debugDescription(),
              "<lumora::ZuPlayerKitAssetInfo<uikit::UIImage> name=\"x\", bundle=\"Artwork.bundle\">");
    EXPECT_EQ(ZuPlayerKitAssetInfo<std::string>("copy", folder.bundle())
                  .debugDescription()
                  .rfind("<lumora::ZuPlayerKitAssetInfo<std::", 0),
              0u);
}

TEST(ZuPlayerKitAssetInfoTest, ImageIsTheBundlesImageAtTheScreenScaleOrNone) {
    ImageFolder folder("Artwork.bundle");
    folder.addPNG("icon_back.png", 24, 24);
    folder.addPNG("icon_back@2x.png", 48, 48);
    folder.addPNG("icon_back@3x.png", 72, 72);
    const auto image = ImageInfo("icon_back", folder.bundle()).image();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->scale(), 3.0);  // the default main screen's
    EXPECT_EQ(image->size(), (uikit::CGSize{24, 24}));

    EXPECT_EQ(ImageInfo("icon_missing", folder.bundle()).image(), nullptr);
    EXPECT_EQ(ImageInfo("", folder.bundle()).image(), nullptr);
    EXPECT_EQ(ImageInfo("../Artwork.bundle/icon_back", folder.bundle()).image(), nullptr);
    EXPECT_EQ(ImageInfo("icon_back", foundation::Bundle("/nonexistent/Kit.bundle")).image(), nullptr);
}

}  // namespace
