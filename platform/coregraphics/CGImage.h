#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "imageio/Bitmap.h"

namespace coregraphics {

// A bitmap image that can be drawn: RGBA pixels (8 bits a channel, alpha not premultiplied, row by row from
// the top left). Immutable and shared: the pixels are never copied when an image is handed around, and the
// form the raster back end draws from is made once, on first use, from any thread.
class CGImage {
  public:
    // nullptr for an empty bitmap.
    static std::shared_ptr<CGImage> create(imageio::Bitmap bitmap);

    std::size_t width() const { return bitmap_.width(); }
    std::size_t height() const { return bitmap_.height(); }
    const imageio::Bitmap& bitmap() const { return bitmap_; }
    // "CGImage(60x30)": how a recording names the image.
    std::string description() const;

    // The pixels premultiplied by alpha, one native-endian 0xAARRGGBB word a pixel (the raster back end's
    // own format). Made on the first call; thread-safe.
    const std::uint32_t* premultipliedPixels() const;

  private:
    explicit CGImage(imageio::Bitmap bitmap) : bitmap_(std::move(bitmap)) {}

    imageio::Bitmap bitmap_;
    mutable std::once_flag premultipliedOnce_;
    mutable std::unique_ptr<std::uint32_t[]> premultiplied_;  // written once under premultipliedOnce_
};

}  // namespace coregraphics
