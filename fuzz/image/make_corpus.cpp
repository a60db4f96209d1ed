// Writes the seed corpus of the image fuzz target into the folder given as the only argument: small JPEGs
// (baseline, progressive, grey, each subsampling) and PNGs (grey, grey with alpha, RGB, RGBA, 16-bit,
// palette, interlaced), headers that claim huge sizes, and cut or damaged data.
#include <png.h>
#include <turbojpeg.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "CorpusFolder.h"
#include "imageio/ImageDecoder.h"
#include "imageio/testing/ClaimedSizeImages.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

imageio::Bitmap pattern(std::uint32_t width, std::uint32_t height) {
    std::vector<std::uint8_t> rgba;
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            rgba.insert(rgba.end(), {static_cast<std::uint8_t>(x * 31), static_cast<std::uint8_t>(y * 17),
                                     static_cast<std::uint8_t>((x ^ y) * 9), static_cast<std::uint8_t>(x * y)});
        }
    }
    return *imageio::Bitmap::fromRGBA(width, height, rgba);
}

Bytes jpeg(const imageio::Bitmap& bitmap, int subsampling, int flags) {
    tjhandle handle = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    tjCompress2(handle, bitmap.bytes().data(), static_cast<int>(bitmap.width()), 0, static_cast<int>(bitmap.height()),
                TJPF_RGBA, &out, &size, subsampling, 75, flags);
    Bytes data(out, out + size);
    tjFree(out);
    tjDestroy(handle);
    return data;
}

// A PNG through libpng's own writer, for the kinds the simplified writer does not make.
Bytes png(std::uint32_t width, std::uint32_t height, int colourType, int bitDepth, bool interlaced) {
    Bytes out;
    png_structp writer = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(writer);
    png_set_write_fn(
        writer, &out,
        [](png_structp p, png_bytep bytes, png_size_t length) {
            auto* sink = static_cast<Bytes*>(png_get_io_ptr(p));
            sink->insert(sink->end(), bytes, bytes + length);
        },
        nullptr);
    png_set_IHDR(writer, info, width, height, bitDepth, colourType,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        png_color palette[4] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
        png_set_PLTE(writer, info, palette, 4);
        png_byte alpha[2] = {0, 128};
        png_set_tRNS(writer, info, alpha, 2, nullptr);
    }
    png_write_info(writer, info);
    const std::size_t rowBytes = png_get_rowbytes(writer, info);
    std::vector<png_byte> row(rowBytes);
    const int passes = interlaced ? png_set_interlace_handling(writer) : 1;
    for (int pass = 0; pass < passes; ++pass) {
        for (std::uint32_t y = 0; y < height; ++y) {
            for (std::size_t i = 0; i < rowBytes; ++i) row[i] = static_cast<png_byte>((i * 7 + y * 13) & 0x03);
            png_write_row(writer, row.data());
        }
    }
    png_write_end(writer, nullptr);
    png_destroy_write_struct(&writer, &info);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    const fuzzing::CorpusFolder corpus(argc, argv);
    auto save = [&](const std::string& name, const Bytes& data) { corpus.save(name, data); };
    const auto picture = pattern(13, 9);

    save("jpeg-420.jpg", jpeg(picture, TJSAMP_420, 0));
    save("jpeg-444.jpg", jpeg(picture, TJSAMP_444, 0));
    save("jpeg-grey.jpg", jpeg(picture, TJSAMP_GRAY, 0));
    save("jpeg-progressive.jpg", jpeg(picture, TJSAMP_422, TJFLAG_PROGRESSIVE));
    save("png-rgba.png", *imageio::encodePNG(picture));
    save("png-grey.png", png(7, 5, PNG_COLOR_TYPE_GRAY, 8, false));
    save("png-grey-alpha.png", png(7, 5, PNG_COLOR_TYPE_GRAY_ALPHA, 8, false));
    save("png-grey-2bit.png", png(9, 3, PNG_COLOR_TYPE_GRAY, 2, false));
    save("png-rgb-16bit.png", png(5, 4, PNG_COLOR_TYPE_RGB, 16, false));
    save("png-palette.png", png(6, 6, PNG_COLOR_TYPE_PALETTE, 2, false));
    save("png-interlaced.png", png(11, 10, PNG_COLOR_TYPE_RGB_ALPHA, 8, true));

    save("hostile-jpeg-size.jpg", imageio::testing::jpegClaiming(65000, 65000));
    save("hostile-png-size.png", imageio::testing::pngClaiming(100000, 100000));
    save("hostile-png-wide.png", imageio::testing::pngClaiming(0x7FFFFFFFu, 1));
    save("over-limit-png.png", imageio::testing::pngClaiming(1025, 1024));

    const Bytes whole = *imageio::encodePNG(picture);
    save("png-cut.png", Bytes(whole.begin(), whole.begin() + static_cast<long>(whole.size() / 2)));
    Bytes damaged = whole;
    damaged[damaged.size() - 20] ^= 0x5A;
    save("png-damaged.png", damaged);
    const Bytes baseline = jpeg(picture, TJSAMP_420, 0);
    save("jpeg-cut.jpg", Bytes(baseline.begin(), baseline.begin() + static_cast<long>(baseline.size() / 2)));
    save("signature-only.jpg", Bytes{0xFF, 0xD8, 0xFF});
    save("not-an-image.gif", Bytes{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0});
    return 0;
}
