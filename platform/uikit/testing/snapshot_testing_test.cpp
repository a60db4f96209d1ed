#include "uikit/testing/SnapshotTesting.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "dispatch/testing/EnvironmentScope.h"
#include "dispatch/testing/TemporaryFolder.h"
#include "imageio/ImageDecoder.h"

namespace uikit::testing {
namespace {

namespace fs = std::filesystem;

imageio::Bitmap square(imageio::RGBA colour, std::uint32_t side = 4) {
    return *imageio::Bitmap::filled(side, side, colour);
}

class SnapshotTestingTest : public ::testing::Test {
  protected:
    SnapshotTestingTest() {
        where_.name = "square";
        where_.golden = root_ / "source" / "snapshots" / "square.png";
        where_.outputDirectory = root_ / "build";
        env_.unset("LUMORA_UPDATE_SNAPSHOTS");
    }

    dispatch::testing::TemporaryFolder scratch_{"snapshots"};
    const fs::path root_ = scratch_.path();
    dispatch::testing::EnvironmentScope env_;
    SnapshotLocation where_;
};

TEST_F(SnapshotTestingTest, AMissingGoldenFailsUntilRecordedOnPurpose) {
    const auto missing = verifySnapshot(square({255, 0, 0, 255}), where_);
    EXPECT_FALSE(missing.matches);
    EXPECT_NE(missing.message.find(where_.golden.string()), std::string::npos) << missing.message;
    EXPECT_NE(missing.message.find("LUMORA_UPDATE_SNAPSHOTS=1"), std::string::npos);
    EXPECT_TRUE(fs::exists(where_.outputDirectory / "square.png"));  // the rendering can be looked at
    EXPECT_FALSE(fs::exists(where_.golden));

    env_.set("LUMORA_UPDATE_SNAPSHOTS", "1");
    EXPECT_TRUE(isRecordingSnapshots());
    EXPECT_TRUE(verifySnapshot(square({255, 0, 0, 255}), where_).matches);
    env_.set("LUMORA_UPDATE_SNAPSHOTS", "0");
    EXPECT_FALSE(isRecordingSnapshots());
    EXPECT_TRUE(fs::exists(where_.golden));
    EXPECT_TRUE(verifySnapshot(square({255, 0, 0, 255}), where_).matches);
}

TEST_F(SnapshotTestingTest, DifferencesBeyondTheToleranceFailAndWriteADifferenceImage) {
    ASSERT_TRUE(writePNG(square({100, 100, 100, 255}), where_.golden));
    // Within the tolerance.
    EXPECT_TRUE(verifySnapshot(square({102, 99, 100, 255}), where_).matches);
    EXPECT_FALSE(verifySnapshot(square({104, 100, 100, 255}), where_).matches);
    EXPECT_TRUE(verifySnapshot(square({104, 100, 100, 255}), where_, {.tolerance = 4}).matches);

    // One pixel off: allowed only when the options allow one.
    std::vector<std::uint8_t> pixels(4 * 4 * 4, 100);
    for (std::size_t i = 3; i < pixels.size(); i += 4) pixels[i] = 255;
    pixels[0] = 0;
    const auto onePixel = *imageio::Bitmap::fromRGBA(4, 4, pixels);
    EXPECT_TRUE(verifySnapshot(onePixel, where_, {.maxDifferingPixels = 1}).matches);
    const auto failed = verifySnapshot(onePixel, where_);
    EXPECT_FALSE(failed.matches);
    EXPECT_NE(failed.message.find("1 pixels differ"), std::string::npos) << failed.message;
    EXPECT_NE(failed.message.find(failed.difference.string()), std::string::npos);
    EXPECT_NE(failed.message.find(failed.actual.string()), std::string::npos);
    std::ifstream file(failed.difference, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const auto diff = imageio::decodePNG(bytes);
    ASSERT_TRUE(diff);
    EXPECT_EQ(diff->pixel(0, 0), (imageio::RGBA{255, 0, 0, 255}));
    EXPECT_NE(diff->pixel(1, 1), (imageio::RGBA{255, 0, 0, 255}));

    // Another size, a golden that is not a PNG, nothing rendered: clear failures.
    const auto bigger = verifySnapshot(square({100, 100, 100, 255}, 5), where_);
    EXPECT_FALSE(bigger.matches);
    EXPECT_NE(bigger.message.find("is 5x5 but its golden is 4x4"), std::string::npos) << bigger.message;
    std::ofstream(where_.golden, std::ios::trunc) << "not a png";
    const auto corrupt = verifySnapshot(square({100, 100, 100, 255}), where_);
    EXPECT_FALSE(corrupt.matches);
    EXPECT_NE(corrupt.message.find("cannot be read"), std::string::npos) << corrupt.message;
    EXPECT_FALSE(verifySnapshot(imageio::Bitmap(), where_).matches);
}

TEST_F(SnapshotTestingTest, LocationsSitBesideTheTestSourceAndInTheBuildFolder) {
    const auto here = SnapshotLocation::forTest(__FILE__, "a b/c", LUMORA_SNAPSHOT_BUILD_DIRECTORY);
    EXPECT_EQ(here.name, "a_b_c");
    EXPECT_EQ(here.golden.filename(), "a_b_c.png");
    EXPECT_TRUE(fs::exists(here.golden.parent_path().parent_path() / "snapshot_testing_test.cpp")) << here.golden;
    EXPECT_EQ(here.outputDirectory.filename(), "snapshots");
    env_.set("LUMORA_SNAPSHOT_OUTPUT_DIR", root_.string());
    EXPECT_EQ(SnapshotLocation::forTest(__FILE__, "x").outputDirectory, root_);
}

}  // namespace
}  // namespace uikit::testing
