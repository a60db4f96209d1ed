#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <vector>

#include "foundation/Error.h"
#include "imageio/Bitmap.h"
#include "imageio/ImageDecodingError.h"

namespace imageio {

// The largest image, in pixels, that decoding accepts unless the caller says otherwise: 8192 × 8192, 256 MiB of
// RGBA. The size is read from the header and checked before any pixel memory is allocated, so hostile data
// cannot make the process allocate more than this for one image.
inline constexpr std::uint64_t kMaxPixels = std::uint64_t{8192} * 8192;

enum class ImageFormat { jpeg, png };

struct DecodeOptions {
    std::uint64_t maxPixels = kMaxPixels;
};

// What the header says, read without decoding any pixel.
struct ImageHeader {
    ImageFormat format = ImageFormat::jpeg;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint64_t pixelCount() const { return std::uint64_t{width} * height; }
};

// The format by its signature bytes, or nothing.
std::optional<ImageFormat> detectFormat(std::span<const std::uint8_t> data);

// The format and size; fails with ImageDecodingError (unsupported format or corrupt header).
std::expected<ImageHeader, foundation::Error> readHeader(std::span<const std::uint8_t> data);

// JPEG or PNG data to RGBA8 pixels. Fails with ImageDecodingError: unsupportedFormat for other data,
// tooLarge when the header announces more than `options.maxPixels`, corrupt for truncated or damaged data
// (a JPEG that ends early is refused rather than padded with grey).
std::expected<Bitmap, foundation::Error> decode(std::span<const std::uint8_t> data, DecodeOptions options = {});
std::expected<Bitmap, foundation::Error> decodeJPEG(std::span<const std::uint8_t> data, DecodeOptions options = {});
std::expected<Bitmap, foundation::Error> decodePNG(std::span<const std::uint8_t> data, DecodeOptions options = {});

// Encoders, for tests, benchmarks and the local back end. Fail with ImageEncodingError.
// JPEG drops alpha; `quality` is 1...100, chroma subsampled 4:2:0.
std::expected<std::vector<std::uint8_t>, foundation::Error> encodeJPEG(const Bitmap& bitmap, int quality = 85);
std::expected<std::vector<std::uint8_t>, foundation::Error> encodePNG(const Bitmap& bitmap);

}  // namespace imageio
