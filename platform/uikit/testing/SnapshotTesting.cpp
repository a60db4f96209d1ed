#include "uikit/testing/SnapshotTesting.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include "coregraphics/CGBitmapContext.h"
#include "imageio/ImageDecoder.h"
#include "uikit/UIImage.h"
#include "uikit/UIView.h"

namespace uikit::testing {

namespace {

namespace fs = std::filesystem;

std::string safeName(const std::string& name) {
    std::string out = name.empty() ? std::string("snapshot") : name;
    for (char& c : out) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                        c == '_' || c == '.' || c == '@';
        if (!ok) c = '_';
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> readFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) return std::nullopt;
    return bytes;
}

std::string sizeText(const imageio::Bitmap& b) {
    return std::to_string(b.width()) + "x" + std::to_string(b.height());
}

constexpr const char* kHowToRecord = "Run the test with LUMORA_UPDATE_SNAPSHOTS=1 to record the new rendering.";

}  // namespace

bool isRecordingSnapshots() {
    const char* value = std::getenv("LUMORA_UPDATE_SNAPSHOTS");
    return value && *value && std::string(value) != "0";
}

SnapshotLocation SnapshotLocation::forTest(const char* sourceFile, const std::string& name,
                                           const char* buildDirectory) {
    SnapshotLocation where;
    where.name = safeName(name);
    std::error_code ec;
    fs::path source = sourceFile ? fs::path(sourceFile) : fs::path();
    if (source.is_relative()) {
        // Compilers see the file as the build named it, relative to the folder they were started in.
        const fs::path base = buildDirectory ? fs::path(buildDirectory) : fs::current_path(ec);
        if (fs::exists(base / source, ec)) source = base / source;
    }
    source = fs::weakly_canonical(source, ec);
    where.golden = source.parent_path() / "snapshots" / (where.name + ".png");
    if (const char* out = std::getenv("LUMORA_SNAPSHOT_OUTPUT_DIR"); out && *out) {
        where.outputDirectory = out;
    } else {
        where.outputDirectory = (buildDirectory ? fs::path(buildDirectory) : fs::current_path(ec)) / "snapshots";
    }
    return where;
}

std::optional<ImageDifference> compareImages(const imageio::Bitmap& expected, const imageio::Bitmap& actual,
                                             int tolerance) {
    if (expected.width() != actual.width() || expected.height() != actual.height()) return std::nullopt;
    ImageDifference result;
    const std::size_t count = std::size_t{expected.width()} * expected.height();
    auto map = std::make_shared_for_overwrite<std::uint8_t[]>(std::max<std::size_t>(count, 1) * 4);
    const std::uint8_t* e = expected.bytes().data();
    const std::uint8_t* a = actual.bytes().data();
    for (std::size_t i = 0; i < count; ++i) {
        int largest = 0;
        for (int c = 0; c < 4; ++c) largest = std::max(largest, std::abs(int(e[i * 4 + c]) - int(a[i * 4 + c])));
        result.largestDifference = std::max(result.largestDifference, largest);
        std::uint8_t* m = map.get() + i * 4;
        if (largest > tolerance) {
            ++result.differingPixels;
            m[0] = 255, m[1] = 0, m[2] = 0, m[3] = 255;
        } else {
            // A pale grey copy of the expected pixel, over white.
            const int luminance = (e[i * 4] * 3 + e[i * 4 + 1] * 6 + e[i * 4 + 2]) / 10;
            const int shown = 255 - (255 - luminance) * e[i * 4 + 3] / 255 / 4;
            m[0] = m[1] = m[2] = static_cast<std::uint8_t>(shown);
            m[3] = 255;
        }
    }
    if (count > 0) result.map = imageio::Bitmap::adopt(expected.width(), expected.height(), std::move(map));
    return result;
}

std::expected<void, std::string> writePNG(const imageio::Bitmap& bitmap, const std::filesystem::path& path) {
    auto png = imageio::encodePNG(bitmap);
    if (!png) return std::unexpected(png.error().localizedDescription());
    std::error_code ec;
    if (path.has_parent_path()) fs::create_directories(path.parent_path(), ec);
    if (ec) return std::unexpected("cannot make the folder " + path.parent_path().string() + ": " + ec.message());
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(png->data()), static_cast<std::streamsize>(png->size()));
    file.close();
    if (!file) return std::unexpected("cannot write " + path.string());
    return {};
}

SnapshotResult verifySnapshot(const imageio::Bitmap& rendering, const SnapshotLocation& where,
                              const SnapshotOptions& options) {
    SnapshotResult result;
    const std::string label = "Snapshot '" + where.name + "'";
    if (rendering.isEmpty()) {
        result.message = label + ": nothing was rendered (the subject has no area).";
        return result;
    }
    result.actual = where.outputDirectory / (where.name + ".png");
    if (auto written = writePNG(rendering, result.actual); !written) {
        result.message = label + ": the rendering could not be written: " + written.error();
        return result;
    }
    if (isRecordingSnapshots()) {
        if (auto recorded = writePNG(rendering, where.golden); !recorded) {
            result.message = label + ": the golden could not be written: " + recorded.error();
            return result;
        }
        result.matches = true;
        result.message = label + " recorded at " + where.golden.string();
        return result;
    }
    const auto bytes = readFile(where.golden);
    if (!bytes) {
        result.message = label + " has no golden at " + where.golden.string() + "; the rendering is at " +
                         result.actual.string() + ". " + kHowToRecord;
        return result;
    }
    auto golden = imageio::decodePNG(*bytes);
    if (!golden) {
        result.message = label + ": the golden " + where.golden.string() +
                         " cannot be read: " + golden.error().localizedDescription();
        return result;
    }
    const auto difference = compareImages(*golden, rendering, options.tolerance);
    if (!difference) {
        result.message = label + " is " + sizeText(rendering) + " but its golden is " + sizeText(*golden) +
                         ".\n  golden: " + where.golden.string() + "\n  actual: " + result.actual.string() + "\n" +
                         kHowToRecord;
        return result;
    }
    if (difference->differingPixels <= options.maxDifferingPixels) {
        result.matches = true;
        return result;
    }
    result.difference = where.outputDirectory / (where.name + ".diff.png");
    const auto diffWritten = writePNG(difference->map, result.difference);
    result.message =
        label + " differs from its golden: " + std::to_string(difference->differingPixels) +
        " pixels differ by more than " + std::to_string(options.tolerance) + " (largest difference " +
        std::to_string(difference->largestDifference) + "; " + std::to_string(options.maxDifferingPixels) +
        " allowed).\n  golden: " + where.golden.string() + "\n  actual: " + result.actual.string() +
        "\n  difference: " + (diffWritten ? result.difference.string() : "not written (" + diffWritten.error() + ")") +
        "\n" + kHowToRecord;
    if (!diffWritten) result.difference.clear();
    return result;
}

SnapshotResult verifySnapshot(const UIImage& image, const SnapshotLocation& where, const SnapshotOptions& options) {
    return verifySnapshot(image.bitmap(), where, options);
}

std::optional<imageio::Bitmap> renderView(UIView& view, CGFloat scale) {
    view.layoutIfNeeded();
    const CGSize size = view.bounds().standardized().size;
    auto context = coregraphics::CGBitmapContext::create(size, scale);
    if (!context) return std::nullopt;
    coregraphics::GraphicsContextScope scope(context);
    if (!view.drawHierarchy(CGRect(CGPoint{}, size), false)) return std::nullopt;
    return context->bitmap();
}

SnapshotResult verifySnapshot(UIView& view, const SnapshotLocation& where, const SnapshotOptions& options) {
    const auto rendering = renderView(view, options.scale);
    return verifySnapshot(rendering.value_or(imageio::Bitmap()), where, options);
}

}  // namespace uikit::testing
