#include "imageio/ImageDecoder.h"

#include <algorithm>
#include <array>

namespace imageio {

namespace {
constexpr std::array<std::uint8_t, 3> kJPEGSignature{0xFF, 0xD8, 0xFF};
constexpr std::array<std::uint8_t, 8> kPNGSignature{0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

template <std::size_t N>
bool startsWith(std::span<const std::uint8_t> data, const std::array<std::uint8_t, N>& prefix) {
    return data.size() >= N && std::equal(prefix.begin(), prefix.end(), data.begin());
}
}  // namespace

// Implemented in JPEG.cpp and PNG.cpp.
std::expected<ImageHeader, foundation::Error> readJPEGHeader(std::span<const std::uint8_t> data);
std::expected<ImageHeader, foundation::Error> readPNGHeader(std::span<const std::uint8_t> data);

std::optional<ImageFormat> detectFormat(std::span<const std::uint8_t> data) {
    if (startsWith(data, kJPEGSignature)) return ImageFormat::jpeg;
    if (startsWith(data, kPNGSignature)) return ImageFormat::png;
    return std::nullopt;
}

std::expected<ImageHeader, foundation::Error> readHeader(std::span<const std::uint8_t> data) {
    const auto format = detectFormat(data);
    if (!format) return std::unexpected(ImageDecodingError::unsupportedFormat());
    return *format == ImageFormat::jpeg ? readJPEGHeader(data) : readPNGHeader(data);
}

std::expected<Bitmap, foundation::Error> decode(std::span<const std::uint8_t> data, DecodeOptions options) {
    const auto format = detectFormat(data);
    if (!format) return std::unexpected(ImageDecodingError::unsupportedFormat());
    return *format == ImageFormat::jpeg ? decodeJPEG(data, options) : decodePNG(data, options);
}

}  // namespace imageio
