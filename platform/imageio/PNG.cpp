// PNG through libpng's simplified API, which reports every failure in the image's message
// rather than by a long jump through our frames.
#include <png.h>

#include <cstring>
#include <memory>
#include <new>

#include "imageio/ImageDecoder.h"

namespace imageio {

namespace {

struct ImageGuard {
    png_image image;
    ImageGuard() {
        std::memset(&image, 0, sizeof image);
        image.version = PNG_IMAGE_VERSION;
    }
    ~ImageGuard() { png_image_free(&image); }
    ImageGuard(const ImageGuard&) = delete;
    ImageGuard& operator=(const ImageGuard&) = delete;
    std::string message() const { return image.message[0] ? image.message : "unknown PNG error"; }
};

bool beginRead(ImageGuard& guard, std::span<const std::uint8_t> data) {
    return png_image_begin_read_from_memory(&guard.image, data.data(), data.size()) != 0;
}

}  // namespace

std::expected<ImageHeader, foundation::Error> readPNGHeader(std::span<const std::uint8_t> data) {
    ImageGuard guard;
    if (!beginRead(guard, data)) return std::unexpected(ImageDecodingError::corrupt(guard.message()));
    if (guard.image.width == 0 || guard.image.height == 0) {
        return std::unexpected(ImageDecodingError::corrupt("the PNG image is empty"));
    }
    return ImageHeader{ImageFormat::png, guard.image.width, guard.image.height};
}

std::expected<Bitmap, foundation::Error> decodePNG(std::span<const std::uint8_t> data, DecodeOptions options) {
    ImageGuard guard;
    if (!beginRead(guard, data)) return std::unexpected(ImageDecodingError::corrupt(guard.message()));
    const ImageHeader header{ImageFormat::png, guard.image.width, guard.image.height};
    if (header.width == 0 || header.height == 0) {
        return std::unexpected(ImageDecodingError::corrupt("the PNG image is empty"));
    }
    if (header.pixelCount() > options.maxPixels) {
        return std::unexpected(ImageDecodingError::tooLarge(header.width, header.height, options.maxPixels));
    }
    // 8-bit RGBA, not premultiplied, sRGB: libpng expands palettes, grey and 16-bit samples to it.
    guard.image.format = PNG_FORMAT_RGBA;
    auto pixels = std::make_shared_for_overwrite<std::uint8_t[]>(header.pixelCount() * 4);
    if (!png_image_finish_read(&guard.image, nullptr, pixels.get(), 0, nullptr)) {
        return std::unexpected(ImageDecodingError::corrupt(guard.message()));
    }
    return Bitmap::adopt(header.width, header.height, std::move(pixels));
}

std::expected<std::vector<std::uint8_t>, foundation::Error> encodePNG(const Bitmap& bitmap) {
    if (bitmap.isEmpty()) return std::unexpected(ImageEncodingError{"the bitmap is empty"});
    // libpng's own bounds, checked before any memory is set aside: a million pixels a side, and the pixels
    // (with a filter byte a row) within 4 GiB, so that the size bound below cannot wrap.
    if (bitmap.width() > PNG_USER_WIDTH_MAX || bitmap.height() > PNG_USER_HEIGHT_MAX ||
        bitmap.byteCount() + bitmap.height() > 0xFFFFFFFFu) {
        return std::unexpected(ImageEncodingError{"PNG holds at most 1000000 × 1000000 pixels and 4 GiB of them"});
    }
    ImageGuard guard;
    guard.image.width = bitmap.width();
    guard.image.height = bitmap.height();
    guard.image.format = PNG_FORMAT_RGBA;
    // One pass, into a buffer as large as the encoding can be. Only the pages written are ever touched, and
    // only the bytes written are kept.
    png_alloc_size_t capacity = PNG_IMAGE_PNG_SIZE_MAX(guard.image);
    std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[capacity]);
    if (!buffer) return std::unexpected(ImageEncodingError{"no memory for the encoded image"});
    png_alloc_size_t size = capacity;
    bool written = png_image_write_to_memory(&guard.image, buffer.get(), &size, 0, bitmap.bytes().data(), 0, nullptr);
    if (!written && size > capacity) {
        // A zlib that compresses worse than zlib's own bound: once more, with the size it asked for.
        capacity = size;
        buffer.reset(new (std::nothrow) std::uint8_t[capacity]);
        if (!buffer) return std::unexpected(ImageEncodingError{"no memory for the encoded image"});
        written = png_image_write_to_memory(&guard.image, buffer.get(), &size, 0, bitmap.bytes().data(), 0, nullptr);
    }
    if (!written) return std::unexpected(ImageEncodingError{guard.message()});
    return std::vector<std::uint8_t>(buffer.get(), buffer.get() + size);
}

}  // namespace imageio
