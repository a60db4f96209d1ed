#pragma once

// Snapshot tests: render something to pixels and compare it with a small golden PNG kept beside the test.
//
//   #include "uikit/testing/SnapshotTesting.h"
//   EXPECT_SNAPSHOT(*view, "login_button");                      // the view laid out, at 1×
//   EXPECT_SNAPSHOT(*view, "play_icon@3x", {.scale = 3});         // any SnapshotOptions
//   EXPECT_SNAPSHOT(image->bitmap(), "thumbnail");                // pixels made some other way
//
// The golden is "snapshots/<name>.png" in the folder of the test's source file. Every run writes what it
// rendered to "snapshots/<name>.png" in the test's build folder (or $LUMORA_SNAPSHOT_OUTPUT_DIR), so it can be
// looked at; on a mismatch a difference image ("<name>.diff.png": differing pixels red over a pale copy of
// the golden) goes beside it and the failure names both. Run the tests with LUMORA_UPDATE_SNAPSHOTS=1 to
// write the renderings over the goldens on purpose (a missing golden is a failure otherwise).

#include <cstddef>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>

#include "imageio/Bitmap.h"
#include "uikit/UIGeometry.h"

namespace uikit {
class UIView;
class UIImage;
}  // namespace uikit

namespace uikit::testing {

struct SnapshotOptions {
    // Pixels a point when a view is rendered.
    CGFloat scale = 1;
    // The largest difference of one channel (0–255) between two pixels that still counts as equal.
    int tolerance = 2;
    // How many pixels may differ beyond the tolerance before the snapshot fails.
    std::size_t maxDifferingPixels = 0;
};

// Where a snapshot's golden lives and where its renderings are written.
struct SnapshotLocation {
    std::string name;
    std::filesystem::path golden;
    std::filesystem::path outputDirectory;

    // The golden beside `sourceFile` (a test's __FILE__, absolute or relative to `buildDirectory`, the
    // folder the test was compiled in), the output in `buildDirectory` (else the working directory) or
    // $LUMORA_SNAPSHOT_OUTPUT_DIR. Characters other than letters, digits, '-', '_', '.' and '@' in the
    // name become '_'.
    static SnapshotLocation forTest(const char* sourceFile, const std::string& name,
                                    const char* buildDirectory = nullptr);
};

struct SnapshotResult {
    bool matches = false;
    // Why it does not match (or that the golden was recorded), naming the files written.
    std::string message;
    std::filesystem::path actual;      // the rendering, as written
    std::filesystem::path difference;  // the difference image; empty when none was written
};

// Pixel-by-pixel comparison of two bitmaps of the same size; nullopt when the sizes differ.
struct ImageDifference {
    std::size_t differingPixels = 0;  // pixels with a channel differing by more than the tolerance
    int largestDifference = 0;        // over every channel of every pixel
    imageio::Bitmap map;              // differing pixels red, the others a pale copy of `expected`
};
std::optional<ImageDifference> compareImages(const imageio::Bitmap& expected, const imageio::Bitmap& actual,
                                             int tolerance);

// Writes PNG, making the folder when needed; the error says what failed.
std::expected<void, std::string> writePNG(const imageio::Bitmap& bitmap, const std::filesystem::path& path);

// Lays out `view`'s tree and renders the view (its layer tree, its bounds at the top left) to RGBA at
// `scale`. nullopt for a view without area (or too large for one bitmap).
std::optional<imageio::Bitmap> renderView(UIView& view, CGFloat scale = 1);

SnapshotResult verifySnapshot(const imageio::Bitmap& rendering, const SnapshotLocation& where,
                              const SnapshotOptions& options = {});
SnapshotResult verifySnapshot(const UIImage& image, const SnapshotLocation& where, const SnapshotOptions& options = {});
// The view rendered by `renderView` at `options.scale`.
SnapshotResult verifySnapshot(UIView& view, const SnapshotLocation& where, const SnapshotOptions& options = {});

// True when LUMORA_UPDATE_SNAPSHOTS is set to something other than "" or "0".
bool isRecordingSnapshots();

}  // namespace uikit::testing

// The folder the test was compiled in (the build system defines it for every test), for locating goldens.
#ifdef LUMORA_TEST_BINARY_DIR
#define LUMORA_SNAPSHOT_BUILD_DIRECTORY LUMORA_TEST_BINARY_DIR
#else
#define LUMORA_SNAPSHOT_BUILD_DIRECTORY nullptr
#endif

// A GoogleTest expectation (the test includes gtest): `subject` is a view, a UIImage or an imageio::Bitmap;
// the optional third argument is a SnapshotOptions.
#define EXPECT_SNAPSHOT(subject, name, ...)                                                                       \
    do {                                                                                                          \
        const auto lumoraSnapshotResult_ = ::uikit::testing::verifySnapshot(                                      \
            subject, ::uikit::testing::SnapshotLocation::forTest(__FILE__, name, LUMORA_SNAPSHOT_BUILD_DIRECTORY) \
                         __VA_OPT__(, ::uikit::testing::SnapshotOptions(__VA_ARGS__)));                           \
        EXPECT_TRUE(lumoraSnapshotResult_.matches) << lumoraSnapshotResult_.message;                              \
    } while (0)
