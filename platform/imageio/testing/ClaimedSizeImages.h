#pragma once

// Small JPEG and PNG data whose headers claim any size, for tests, seed corpora and benchmarks of readers
// that must refuse an image by its header before decoding it. The pixel data is that of a tiny image, so
// a decoder that trusted the header would allocate the claimed size and then fail.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imageio/ImageDecoder.h"

namespace imageio::testing {

// CRC-32 as PNG chunks use it.
inline std::uint32_t pngCRC(const std::uint8_t* bytes, std::size_t length) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A PNG whose header says width × height, with a correct checksum so that the size is what a reader gets.
inline std::vector<std::uint8_t> pngClaiming(std::uint32_t width, std::uint32_t height) {
    std::vector<std::uint8_t> data = *encodePNG(*Bitmap::filled(4, 3, {1, 9, 9, 255}));
    auto putBig32 = [&data](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) data[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
    };
    putBig32(16, width);  // signature (8), length (4), "IHDR" (4), then width and height
    putBig32(20, height);
    putBig32(29, pngCRC(data.data() + 12, 17));
    return data;
}

// A JPEG whose frame header says width × height (each at most 65535).
inline std::vector<std::uint8_t> jpegClaiming(std::uint16_t width, std::uint16_t height) {
    std::vector<std::uint8_t> data = *encodeJPEG(*Bitmap::filled(16, 8, {1, 90, 9, 255}), 70);
    for (std::size_t i = 0; i + 8 < data.size(); ++i) {
        if (data[i] == 0xFF && data[i + 1] == 0xC0) {  // start of frame: length(2) precision(1) height(2) width(2)
            data[i + 5] = static_cast<std::uint8_t>(height >> 8), data[i + 6] = static_cast<std::uint8_t>(height);
            data[i + 7] = static_cast<std::uint8_t>(width >> 8), data[i + 8] = static_cast<std::uint8_t>(width);
            break;
        }
    }
    return data;
}

}  // namespace imageio::testing
