#pragma once

#include <cstdint>
#include <memory>

#include "coregraphics/CGContext.h"
#include "coregraphics/CGImage.h"
#include "imageio/Bitmap.h"

namespace coregraphics {

// A context that paints pixels (with cairo): an RGBA bitmap of the context's size in points times its scale,
// in whole pixels. Its current transform starts as the scale, so drawing code works in points and a 3×
// context paints three pixels a point. Shapes and text are anti-aliased; images are filtered when scaled.
class CGBitmapContext final : public CGContext {
  public:
    // The largest side of a bitmap, in pixels.
    static constexpr std::uint32_t kMaxSide = 32767;

    // A new bitmap of `size` points at `scale` pixels a point (each side rounded up to whole pixels),
    // transparent to start with, or opaque black when `opaque` (its alpha then stays 1 whatever is drawn).
    // nullptr when the size or scale is not positive and finite, or the bitmap would have more than
    // `kMaxSide` pixels a side or more than imageio::kMaxPixels pixels.
    static std::shared_ptr<CGBitmapContext> create(CGSize size, CGFloat scale = 1, bool opaque = false);
    ~CGBitmapContext() override;

    std::uint32_t pixelWidth() const { return pixelWidth_; }
    std::uint32_t pixelHeight() const { return pixelHeight_; }
    CGFloat scale() const { return scale_; }
    bool isOpaque() const { return opaque_; }

    // What has been painted so far, as RGBA with alpha not premultiplied. What is drawn inside a
    // transparency layer shows once the layer ends.
    imageio::Bitmap bitmap() const;
    std::shared_ptr<CGImage> makeImage() const;

  protected:
    void perform(CGDrawCommand command) override;

  private:
    struct Cairo;  // the cairo surface and context, kept out of this header

    CGBitmapContext(CGSize size, CGFloat scale, bool opaque, std::uint32_t width, std::uint32_t height,
                    std::unique_ptr<Cairo> cairo);

    CGFloat scale_;
    bool opaque_;
    std::uint32_t pixelWidth_;
    std::uint32_t pixelHeight_;
    std::unique_ptr<Cairo> cairo_;
};

}  // namespace coregraphics
