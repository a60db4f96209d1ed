// JPEG through libjpeg-turbo's TurboJPEG API.
#include <turbojpeg.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

#include "imageio/ImageDecoder.h"

namespace imageio {

namespace {

struct HandleDeleter {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using Handle = std::unique_ptr<void, HandleDeleter>;

// One decompressor and one compressor per thread: making them costs more than decoding a small thumbnail,
// and a handle must not be used by two threads at once.
Handle& decompressorSlot() {
    thread_local Handle handle(tjInitDecompress());
    return handle;
}
tjhandle decompressor() {
    return decompressorSlot().get();
}
Handle& compressorSlot() {
    thread_local Handle handle(tjInitCompress());
    return handle;
}
tjhandle compressor() {
    return compressorSlot().get();
}

std::string lastError(tjhandle handle) {
    const char* text = tjGetErrorStr2(handle);
    return text && *text ? text : "unknown JPEG error";
}

// The error of a failed call, after which the thread's handle is replaced: the library can leave a handle
// part-way through the bad data (a header it stopped reading at an unknown marker), and every later image
// read through it would then fail with the same error.
std::string takeDecompressorError() {
    std::string error = lastError(decompressor());
    decompressorSlot().reset(tjInitDecompress());
    return error;
}
std::string takeCompressorError() {
    std::string error = lastError(compressor());
    compressorSlot().reset(tjInitCompress());
    return error;
}

// A hostile progressive JPEG can hold an enormous number of scans, each a full pass over the image;
// refusing them keeps decoding time bounded by the size of the data.
constexpr int kDecodeFlags = TJFLAG_STOPONWARNING | TJFLAG_LIMITSCANS;

}  // namespace

std::expected<ImageHeader, foundation::Error> readJPEGHeader(std::span<const std::uint8_t> data) {
    tjhandle handle = decompressor();
    if (!handle) return std::unexpected(ImageDecodingError::corrupt("the JPEG decoder could not be created"));
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(handle, data.data(), static_cast<unsigned long>(data.size()), &width, &height, &subsampling,
                            &colourspace) != 0) {
        return std::unexpected(ImageDecodingError::corrupt(takeDecompressorError()));
    }
    // The library turns neither CMYK nor YCCK into RGB.
    if (colourspace == TJCS_CMYK || colourspace == TJCS_YCCK) {
        return std::unexpected(ImageDecodingError::unsupportedFormat());
    }
    if (width <= 0 || height <= 0) return std::unexpected(ImageDecodingError::corrupt("the JPEG image is empty"));
    return ImageHeader{ImageFormat::jpeg, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height)};
}

std::expected<Bitmap, foundation::Error> decodeJPEG(std::span<const std::uint8_t> data, DecodeOptions options) {
    auto header = readJPEGHeader(data);
    if (!header) return std::unexpected(header.error());
    if (header->pixelCount() > options.maxPixels) {
        return std::unexpected(ImageDecodingError::tooLarge(header->width, header->height, options.maxPixels));
    }
    const int width = static_cast<int>(header->width);
    const int height = static_cast<int>(header->height);
    auto pixels = std::make_shared_for_overwrite<std::uint8_t[]>(header->pixelCount() * 4);
    if (tjDecompress2(decompressor(), data.data(), static_cast<unsigned long>(data.size()), pixels.get(), width, 0,
                      height, TJPF_RGBA, kDecodeFlags) != 0) {
        return std::unexpected(ImageDecodingError::corrupt(takeDecompressorError()));
    }
    return Bitmap::adopt(header->width, header->height, std::move(pixels));
}

std::expected<std::vector<std::uint8_t>, foundation::Error> encodeJPEG(const Bitmap& bitmap, int quality) {
    if (bitmap.isEmpty()) return std::unexpected(ImageEncodingError{"the bitmap is empty"});
    if (bitmap.width() > 65535u || bitmap.height() > 65535u) {
        return std::unexpected(ImageEncodingError{"JPEG holds at most 65535 × 65535 pixels"});
    }
    tjhandle handle = compressor();
    if (!handle) return std::unexpected(ImageEncodingError{"the JPEG encoder could not be created"});
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    const int status = tjCompress2(handle, bitmap.bytes().data(), static_cast<int>(bitmap.width()), 0,
                                   static_cast<int>(bitmap.height()), TJPF_RGBA, &jpeg, &size, TJSAMP_420,
                                   std::clamp(quality, 1, 100), 0);
    std::unique_ptr<unsigned char, decltype(&tjFree)> owned(jpeg, &tjFree);
    if (status != 0) return std::unexpected(ImageEncodingError{takeCompressorError()});
    return std::vector<std::uint8_t>(jpeg, jpeg + size);
}

}  // namespace imageio
