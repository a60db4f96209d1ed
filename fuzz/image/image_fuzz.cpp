// Fuzz target for JPEG and PNG read directly: any bytes give a header and pixels, or a clear
// ImageDecodingError, never a crash or an allocation beyond the pixel limit; what is read agrees with
// itself (the header's size is the bitmap's, an image over the limit is refused from its header alone).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "imageio/ImageDecoder.h"

namespace {

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "image invariant broken: %s\n", what);
        std::abort();
    }
}

// Small, so that every run is quick; the checks against it are those of the default limit.
constexpr std::uint64_t kLimit = std::uint64_t{1} << 20;

bool isDecodingError(const foundation::Error& error) {
    const auto* concrete = error.as<imageio::ImageDecodingError>();
    return concrete && !error.localizedDescription().empty() && error.domain() == "imageio.ImageDecodingError";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const auto format = imageio::detectFormat(bytes);
    const auto header = imageio::readHeader(bytes);
    const auto bitmap = imageio::decode(bytes, {.maxPixels = kLimit});
    check(format || !header, "a header is read only from a known format");
    check(format || !bitmap, "pixels come only from a known format");
    if (!header) check(isDecodingError(header.error()), "a header failure is an ImageDecodingError");
    if (header) {
        check(header->format == *format, "the header's format is the signature's");
        check(header->width > 0 && header->height > 0, "a header has a size");
    }
    if (!bitmap) {
        check(isDecodingError(bitmap.error()), "a decoding failure is an ImageDecodingError");
        const auto* error = bitmap.error().as<imageio::ImageDecodingError>();
        if (header && header->pixelCount() > kLimit) check(error->isTooLarge(), "too large from the header alone");
        if (const auto* large = error->tooLargeValue()) {
            check(large->width * large->height > kLimit && large->limit == kLimit, "too large only over the limit");
        }
        return 0;
    }
    check(header.has_value(), "what decodes has a header");
    check(bitmap->width() == header->width && bitmap->height() == header->height, "pixels are the header's size");
    check(header->pixelCount() <= kLimit, "decoded within the limit");
    check(bitmap->bytes().size() == bitmap->byteCount(), "every pixel is held");

    // The same bytes by the format's own decoder give the same pixels.
    const auto again = header->format == imageio::ImageFormat::png ? imageio::decodePNG(bytes, {.maxPixels = kLimit})
                                                                   : imageio::decodeJPEG(bytes, {.maxPixels = kLimit});
    check(again && *again == *bitmap, "decoding is repeatable");
    return 0;
}
