#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace imageio {

// One RGBA pixel, 8 bits per channel, alpha not premultiplied.
using RGBA = std::array<std::uint8_t, 4>;

// Decoded pixels: `width` × `height` RGBA8 pixels, row by row, no padding between rows.
// The pixel memory is shared and immutable, so a bitmap is a cheap value to copy.
class Bitmap {
  public:
    Bitmap() = default;

    // A copy of `rgba` (exactly width × height × 4 bytes); nothing when the sizes disagree or either side is 0.
    static std::optional<Bitmap> fromRGBA(std::uint32_t width, std::uint32_t height,
                                          std::span<const std::uint8_t> rgba);
    // Takes over a buffer already filled by a decoder (exactly width × height × 4 bytes).
    static Bitmap adopt(std::uint32_t width, std::uint32_t height, std::shared_ptr<const std::uint8_t[]> rgba);
    // Every pixel the same colour; nothing when either side is 0.
    static std::optional<Bitmap> filled(std::uint32_t width, std::uint32_t height, RGBA colour);

    std::uint32_t width() const { return width_; }
    std::uint32_t height() const { return height_; }
    bool isEmpty() const { return width_ == 0 || height_ == 0; }
    std::size_t byteCount() const { return std::size_t{width_} * height_ * 4; }
    std::span<const std::uint8_t> bytes() const { return {pixels_.get(), byteCount()}; }
    // The pixel at (x, y) from the top left; nothing outside the bitmap.
    std::optional<RGBA> pixel(std::uint32_t x, std::uint32_t y) const;

    // Same size and the same pixel bytes.
    friend bool operator==(const Bitmap& a, const Bitmap& b);

  private:
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    std::shared_ptr<const std::uint8_t[]> pixels_;
};

}  // namespace imageio
