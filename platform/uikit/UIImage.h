#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "coregraphics/CGImage.h"
#include "foundation/Bundle.h"
#include "foundation/Error.h"
#include "imageio/Bitmap.h"
#include "imageio/ImageDecoder.h"
#include "uikit/UIGeometry.h"
#include "uikit/UITraitCollection.h"

namespace uikit {

// An image: decoded RGBA pixels with the scale that maps them to points. Images are shared objects, as on
// the platform; an image never changes after it is made, and images derived from it share its pixels.
// The empty image (`create()`, or what a renderer of zero size makes) has no pixels and measures 0 × 0.
class UIImage {
  public:
    // How a view draws the image: `alwaysTemplate` draws only its shape in the view's tint colour.
    enum class RenderingMode { automatic, alwaysOriginal, alwaysTemplate };

    // An image of `bitmap`; nullptr for an empty bitmap. A scale that is not a positive finite number is 1.
    static std::shared_ptr<UIImage> create(imageio::Bitmap bitmap, CGFloat scale = 1.0,
                                           RenderingMode renderingMode = RenderingMode::automatic);
    // The empty image (the platform's `UIImage()`): no pixels, size zero, draws nothing.
    static std::shared_ptr<UIImage> create();

    // JPEG or PNG data decoded now; nullptr when it does not decode (see `decode` for the reason).
    static std::shared_ptr<UIImage> fromData(std::span<const std::uint8_t> data, CGFloat scale = 1.0);
    // The same, with the reason of a failure (an imageio::ImageDecodingError). Images above
    // `options.maxPixels` are refused before any pixel memory is allocated.
    static std::expected<std::shared_ptr<UIImage>, foundation::Error> decode(std::span<const std::uint8_t> data,
                                                                             CGFloat scale = 1.0,
                                                                             imageio::DecodeOptions options = {});

    // The image resource `name` of the bundle (main bundle by default): the first of "<name>.png",
    // "<name>@2x.png" (scale 2), "<name>@3x.png" (scale 3) and "<name>.jpg" that exists; a name that already
    // ends in ".png", ".jpg" or ".jpeg" is looked up as it is. nullptr when none exists or it does not decode.
    static std::shared_ptr<UIImage> named(std::string_view name);
    static std::shared_ptr<UIImage> named(std::string_view name, const foundation::Bundle& bundle);
    // The platform's `UIImage(named:in:compatibleWith:)`: the variant of the display scale of `traits` (the
    // main screen's scale when `traits` is null or leaves the scale unspecified) is preferred: "<name>@3x.png"
    // at scale 3, then the larger variants, then the smaller ones, then "<name>.jpg". A name with its
    // extension is looked up as it is. nullptr when none exists or it does not decode.
    static std::shared_ptr<UIImage> named(std::string_view name, const foundation::Bundle& bundle,
                                          const UITraitCollection* compatibleWith);
    // Look-ups by name keep what they decode, as the platform does: the same name in the same bundle folder,
    // at the same wanted scale, gives the same image again (from any thread) without reading or decoding its
    // file, as long as that file is unchanged on disk (a replaced or rewritten file is read again). The most
    // recently used 64 images (at most 32 MiB of pixels) are kept; a look-up that finds nothing is not, so
    // a file added later is found. A file added beside the one kept, which the look-up would prefer (a
    // variant of a better scale, say), is not noticed while the kept one is.

    // Size in points: pixels ÷ scale.
    CGSize size() const;
    CGFloat scale() const { return scale_; }
    std::uint32_t pixelWidth() const { return bitmap_.width(); }
    std::uint32_t pixelHeight() const { return bitmap_.height(); }
    const imageio::Bitmap& bitmap() const { return bitmap_; }
    bool isEmpty() const { return bitmap_.isEmpty(); }
    // The pixels as a drawable image (shared, not copied); nullptr for the empty image.
    const std::shared_ptr<coregraphics::CGImage>& cgImage() const { return cgImage_; }
    // The pixel at (x, y) in pixels from the top left; nothing outside the image.
    std::optional<imageio::RGBA> pixel(std::uint32_t x, std::uint32_t y) const { return bitmap_.pixel(x, y); }

    RenderingMode renderingMode() const { return renderingMode_; }
    // A new image with the same pixels and scale drawn in `mode`.
    std::shared_ptr<UIImage> withRenderingMode(RenderingMode mode) const;

    // The pixels encoded as PNG (alpha kept), or as JPEG at `compressionQuality` 0...1 (clamped; alpha
    // dropped). Nothing for the empty image.
    std::optional<std::vector<std::uint8_t>> pngData() const;
    std::optional<std::vector<std::uint8_t>> jpegData(CGFloat compressionQuality) const;

    // Draws the image into the current graphics context (nothing outside a draw pass): stretched over `in`,
    // or at its size in points with its top left at `at`.
    void draw(const CGRect& in) const;
    void draw(CGPoint at) const;

  private:
    UIImage(imageio::Bitmap bitmap, CGFloat scale, RenderingMode renderingMode);

    imageio::Bitmap bitmap_;
    std::shared_ptr<coregraphics::CGImage> cgImage_;
    CGFloat scale_;
    RenderingMode renderingMode_;
};

}  // namespace uikit
