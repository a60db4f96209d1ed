#include "uikit/UIImage.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "coregraphics/CGContext.h"
#include "uikit/UIScreen.h"
#include "uikit/detail/NamedImageCache.h"

namespace uikit {

namespace {

CGFloat sanitisedScale(CGFloat scale) {
    return std::isfinite(scale) && scale > 0 ? scale : 1.0;
}

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::optional<std::vector<std::uint8_t>> readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) return std::nullopt;
    return bytes;
}

bool hasImageExtension(std::string_view name) {
    return endsWith(name, ".png") || endsWith(name, ".jpg") || endsWith(name, ".jpeg");
}

// The scale a file name with its extension says: "@3x" or "@2x" before the extension, else 1.
CGFloat scaleOfFileName(std::string_view file) {
    const std::string_view stem = file.substr(0, file.rfind('.'));
    return endsWith(stem, "@3x") ? 3.0 : endsWith(stem, "@2x") ? 2.0 : 1.0;
}

struct NamedCandidate {
    std::string file;
    CGFloat scale;
};

// The first candidate file that exists decides, as a look-up by name finds one resource: decoded, kept
// under (bundle, name, keyScale), and given. nullptr when none exists or it does not decode.
std::shared_ptr<UIImage> loadFirstExisting(const foundation::Bundle& bundle,
                                           const std::vector<NamedCandidate>& candidates, std::string_view name,
                                           int keyScale) {
    for (const NamedCandidate& candidate : candidates) {
        auto path = bundle.path(candidate.file, "");
        if (!path) continue;
        // Stamped before reading, so that a file changed while it is read is not kept as the new version.
        const auto stamp = detail::FileStamp::of(*path);
        const auto bytes = readFile(*path);
        auto image = bytes ? UIImage::fromData(*bytes, candidate.scale) : nullptr;
        if (!image || !stamp) return image;
        return detail::NamedImageCache::shared().insert(bundle.bundlePath(), name, keyScale, std::move(*path), *stamp,
                                                        std::move(image));
    }
    return nullptr;
}

}  // namespace

UIImage::UIImage(imageio::Bitmap bitmap, CGFloat scale, RenderingMode renderingMode)
    : bitmap_(std::move(bitmap)),
      cgImage_(coregraphics::CGImage::create(bitmap_)),
      scale_(sanitisedScale(scale)),
      renderingMode_(renderingMode) {}

std::shared_ptr<UIImage> UIImage::create() {
    return std::shared_ptr<UIImage>(new UIImage(imageio::Bitmap(), 1.0, RenderingMode::automatic));
}

std::shared_ptr<UIImage> UIImage::create(imageio::Bitmap bitmap, CGFloat scale, RenderingMode renderingMode) {
    if (bitmap.isEmpty()) return nullptr;
    return std::shared_ptr<UIImage>(new UIImage(std::move(bitmap), scale, renderingMode));
}

std::expected<std::shared_ptr<UIImage>, foundation::Error> UIImage::decode(std::span<const std::uint8_t> data,
                                                                           CGFloat scale,
                                                                           imageio::DecodeOptions options) {
    auto bitmap = imageio::decode(data, options);
    if (!bitmap) return std::unexpected(bitmap.error());
    return create(std::move(*bitmap), scale);
}

std::shared_ptr<UIImage> UIImage::fromData(std::span<const std::uint8_t> data, CGFloat scale) {
    auto image = decode(data, scale);
    return image ? *image : nullptr;
}

std::shared_ptr<UIImage> UIImage::named(std::string_view name) {
    return named(name, foundation::Bundle::main());
}

std::shared_ptr<UIImage> UIImage::named(std::string_view name, const foundation::Bundle& bundle) {
    if (name.empty()) return nullptr;
    if (auto kept = detail::NamedImageCache::shared().find(bundle.bundlePath(), name, 0)) return kept;
    std::vector<NamedCandidate> candidates;
    if (hasImageExtension(name)) {
        candidates.push_back({std::string(name), scaleOfFileName(name)});
    } else {
        const std::string base(name);
        candidates = {{base + ".png", 1.0}, {base + "@2x.png", 2.0}, {base + "@3x.png", 3.0}, {base + ".jpg", 1.0}};
    }
    return loadFirstExisting(bundle, candidates, name, 0);
}

std::shared_ptr<UIImage> UIImage::named(std::string_view name, const foundation::Bundle& bundle,
                                        const UITraitCollection* compatibleWith) {
    if (name.empty()) return nullptr;
    if (hasImageExtension(name)) return named(name, bundle);
    CGFloat scale = compatibleWith ? compatibleWith->displayScale : 0;
    if (!(std::isfinite(scale) && scale > 0)) scale = UIScreen::main()->scale();
    const int wanted = std::clamp(static_cast<int>(std::lround(scale)), 1, 3);
    if (auto kept = detail::NamedImageCache::shared().find(bundle.bundlePath(), name, wanted)) return kept;
    // The wanted scale, then the larger ones ascending, then the smaller ones descending, then the JPEG.
    std::vector<int> order{wanted};
    for (int s = wanted + 1; s <= 3; ++s) order.push_back(s);
    for (int s = wanted - 1; s >= 1; --s) order.push_back(s);
    const std::string base(name);
    std::vector<NamedCandidate> candidates;
    for (int s : order) {
        candidates.push_back(
            {s == 1 ? base + ".png" : base + "@" + std::to_string(s) + "x.png", static_cast<CGFloat>(s)});
    }
    candidates.push_back({base + ".jpg", scaleOfFileName(base + ".jpg")});
    return loadFirstExisting(bundle, candidates, name, wanted);
}

CGSize UIImage::size() const {
    return {static_cast<CGFloat>(bitmap_.width()) / scale_, static_cast<CGFloat>(bitmap_.height()) / scale_};
}

std::shared_ptr<UIImage> UIImage::withRenderingMode(RenderingMode mode) const {
    auto copy = std::shared_ptr<UIImage>(new UIImage(imageio::Bitmap(), scale_, mode));
    copy->bitmap_ = bitmap_;
    copy->cgImage_ = cgImage_;  // the drawable form is shared as well as the pixels
    return copy;
}

std::optional<std::vector<std::uint8_t>> UIImage::pngData() const {
    if (bitmap_.isEmpty()) return std::nullopt;
    auto data = imageio::encodePNG(bitmap_);
    if (!data) return std::nullopt;
    return std::move(*data);
}

std::optional<std::vector<std::uint8_t>> UIImage::jpegData(CGFloat compressionQuality) const {
    if (bitmap_.isEmpty()) return std::nullopt;
    const CGFloat quality = std::isfinite(compressionQuality) ? std::clamp(compressionQuality, 0.0, 1.0) : 1.0;
    auto data = imageio::encodeJPEG(bitmap_, std::max(1, static_cast<int>(std::lround(quality * 100))));
    if (!data) return std::nullopt;
    return std::move(*data);
}

void UIImage::draw(const CGRect& in) const {
    if (const auto ctx = coregraphics::currentContext()) ctx->draw(cgImage_, in);
}

void UIImage::draw(CGPoint at) const {
    draw(CGRect(at, size()));
}

}  // namespace uikit
