#include "imageio/Bitmap.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace imageio {

std::optional<Bitmap> Bitmap::fromRGBA(std::uint32_t width, std::uint32_t height, std::span<const std::uint8_t> rgba) {
    if (width == 0 || height == 0) return std::nullopt;
    // Compared by division so that no product can overflow.
    if (rgba.size() % 4 != 0 || (rgba.size() / 4) % width != 0 || rgba.size() / 4 / width != height) {
        return std::nullopt;
    }
    auto buffer = std::make_shared_for_overwrite<std::uint8_t[]>(rgba.size());
    std::memcpy(buffer.get(), rgba.data(), rgba.size());
    return adopt(width, height, std::move(buffer));
}

Bitmap Bitmap::adopt(std::uint32_t width, std::uint32_t height, std::shared_ptr<const std::uint8_t[]> rgba) {
    Bitmap bitmap;
    bitmap.width_ = width;
    bitmap.height_ = height;
    bitmap.pixels_ = std::move(rgba);
    return bitmap;
}

std::optional<Bitmap> Bitmap::filled(std::uint32_t width, std::uint32_t height, RGBA colour) {
    if (width == 0 || height == 0 || width > SIZE_MAX / 4 / height) return std::nullopt;
    const std::size_t count = std::size_t{width} * height;
    auto buffer = std::make_shared_for_overwrite<std::uint8_t[]>(count * 4);
    for (std::size_t i = 0; i < count; ++i) std::memcpy(buffer.get() + i * 4, colour.data(), 4);
    return adopt(width, height, std::move(buffer));
}

std::optional<RGBA> Bitmap::pixel(std::uint32_t x, std::uint32_t y) const {
    if (x >= width_ || y >= height_) return std::nullopt;
    RGBA out;
    std::memcpy(out.data(), pixels_.get() + (std::size_t{y} * width_ + x) * 4, 4);
    return out;
}

bool operator==(const Bitmap& a, const Bitmap& b) {
    if (a.width_ != b.width_ || a.height_ != b.height_) return false;
    if (a.pixels_ == b.pixels_) return true;
    return std::ranges::equal(a.bytes(), b.bytes());
}

}  // namespace imageio
