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
    struct Candidate {
        std::string name;
        CGFloat scale;
    };
    std::vector<Candidate> candidates;
    if (endsWith(name, ".png") || endsWith(name, ".jpg") || endsWith(name, ".jpeg")) {
        const std::string_view stem = name.substr(0, name.rfind('.'));
        const CGFloat scale = endsWith(stem, "@3x") ? 3.0 : endsWith(stem, "@2x") ? 2.0 : 1.0;
        candidates.push_back({std::string(name), scale});
    } else {
        const std::string base(name);
        candidates = {{base + ".png", 1.0}, {base + "@2x.png", 2.0}, {base + "@3x.png", 3.0}, {base + ".jpg", 1.0}};
    }
    for (const Candidate& candidate : candidates) {
        const auto path = bundle.path(candidate.name, "");
        if (!path) continue;
        // The first file that exists decides, as a look-up by name finds one resource.
        const auto bytes = readFile(*path);
        return bytes ? fromData(*bytes, candidate.scale) : nullptr;
    }
    return nullptr;
}

std::shared_ptr<UIImage> UIImage::named(std::string_view name, const foundation::Bundle& bundle,
                                        const UITraitCollection* compatibleWith) {
    if (name.empty()) return nullptr;
    if (endsWith(name, ".png") || endsWith(name, ".jpg") || endsWith(name, ".jpeg")) return named(name, bundle);
    CGFloat scale = compatibleWith ? compatibleWith->displayScale : 0;
    if (!(std::isfinite(scale) && scale > 0)) scale = UIScreen::main()->scale();
    const int wanted = std::clamp(static_cast<int>(std::lround(scale)), 1, 3);
    // The wanted scale, then the larger ones ascending, then the smaller ones descending.
    std::vector<int> order{wanted};
    for (int s = wanted + 1; s <= 3; ++s) order.push_back(s);
    for (int s = wanted - 1; s >= 1; --s) order.push_back(s);
    const std::string base(name);
    for (int s : order) {
        const std::string file = s == 1 ? base + ".png" : base + "@" + std::to_string(s) + "x.png";
        const auto path = bundle.path(file, "");
        if (!path) continue;
        const auto bytes = readFile(*path);
        return bytes ? fromData(*bytes, static_cast<CGFloat>(s)) : nullptr;
    }
    return named(base + ".jpg", bundle);
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
