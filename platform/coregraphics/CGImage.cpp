#include "coregraphics/CGImage.h"

#include <cstdio>

namespace coregraphics {

std::shared_ptr<CGImage> CGImage::create(imageio::Bitmap bitmap) {
    if (bitmap.isEmpty()) return nullptr;
    return std::shared_ptr<CGImage>(new CGImage(std::move(bitmap)));
}

std::string CGImage::description() const {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "CGImage(%zux%zu)", width(), height());
    return buffer;
}

const std::uint32_t* CGImage::premultipliedPixels() const {
    std::call_once(premultipliedOnce_, [this] {
        const std::size_t count = width() * height();
        auto pixels = std::make_unique_for_overwrite<std::uint32_t[]>(count);
        const std::uint8_t* rgba = bitmap_.bytes().data();
        for (std::size_t i = 0; i < count; ++i, rgba += 4) {
            const std::uint32_t a = rgba[3];
            // Rounded x·a/255, as the raster back end rounds its own blending.
            auto scale = [a](std::uint32_t c) {
                const std::uint32_t t = c * a + 0x80;
                return ((t >> 8) + t) >> 8;
            };
            pixels[i] = (a << 24) | (scale(rgba[0]) << 16) | (scale(rgba[1]) << 8) | scale(rgba[2]);
        }
        premultiplied_ = std::move(pixels);
    });
    return premultiplied_.get();
}

}  // namespace coregraphics
