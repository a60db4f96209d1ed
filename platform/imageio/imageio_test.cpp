#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>
#include <vector>

#include "imageio/ImageDecoder.h"

namespace {

using imageio::Bitmap;
using imageio::ImageDecodingError;
using imageio::RGBA;

// A small picture with distinct corners and a gradient, so that flips, channel swaps and row strides show.
Bitmap testPattern(std::uint32_t width, std::uint32_t height, std::uint8_t alpha = 255) {
    std::vector<std::uint8_t> rgba;
    rgba.reserve(std::size_t{width} * height * 4);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            rgba.push_back(static_cast<std::uint8_t>(x * 255 / std::max(1u, width - 1)));
            rgba.push_back(static_cast<std::uint8_t>(y * 255 / std::max(1u, height - 1)));
            rgba.push_back(static_cast<std::uint8_t>((x + y) % 2 ? 200 : 40));
            rgba.push_back(alpha == 255 ? 255 : static_cast<std::uint8_t>((x * 7 + y * 13) % 256));
        }
    }
    return *Bitmap::fromRGBA(width, height, rgba);
}

const ImageDecodingError& decodingError(const foundation::Error& error) {
    const auto* concrete = error.as<ImageDecodingError>();
    EXPECT_NE(concrete, nullptr) << error.localizedDescription();
    static const ImageDecodingError none = ImageDecodingError::unsupportedFormat();
    return concrete ? *concrete : none;
}

TEST(Bitmap, ConstructionChecksSizesAndReadsPixelsBack) {
    EXPECT_FALSE(Bitmap::fromRGBA(2, 2, std::vector<std::uint8_t>(15)));
    EXPECT_FALSE(Bitmap::fromRGBA(0, 2, {}));
    EXPECT_FALSE(Bitmap::fromRGBA(0x80000000u, 0x80000000u, std::vector<std::uint8_t>(16)));
    EXPECT_FALSE(Bitmap::filled(0x80000000u, 0x80000000u, {0, 0, 0, 0}));
    const auto bitmap = Bitmap::filled(3, 2, {1, 2, 3, 4});
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->byteCount(), 24u);
    EXPECT_EQ(bitmap->pixel(2, 1), (RGBA{1, 2, 3, 4}));
    EXPECT_EQ(bitmap->pixel(3, 0), std::nullopt);
    EXPECT_EQ(bitmap->pixel(0, 2), std::nullopt);
    EXPECT_EQ(*bitmap, *Bitmap::filled(3, 2, {1, 2, 3, 4}));
    EXPECT_NE(*bitmap, *Bitmap::filled(2, 3, {1, 2, 3, 4}));
}

TEST(PNG, RoundTripsExactlyWithAlpha) {
    const Bitmap original = testPattern(17, 9, 0);
    const auto png = imageio::encodePNG(original);
    ASSERT_TRUE(png) << png.error().localizedDescription();
    EXPECT_EQ(imageio::detectFormat(*png), imageio::ImageFormat::png);
    const auto header = imageio::readHeader(*png);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->width, 17u);
    EXPECT_EQ(header->height, 9u);
    const auto decoded = imageio::decode(*png);
    ASSERT_TRUE(decoded) << decoded.error().localizedDescription();
    EXPECT_EQ(*decoded, original);
}

TEST(PNG, PicturesThatDoNotCompressStillEncodeToTheSamePixels) {
    // Noise compresses to more than its own size: the encoding's worst case must fit the one pass.
    std::vector<std::uint8_t> noise(std::size_t{301} * 157 * 4);
    std::uint32_t state = 12345;
    for (auto& byte : noise) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    for (const Bitmap& original : {*Bitmap::fromRGBA(301, 157, noise), testPattern(640, 480, 0)}) {
        const auto png = imageio::encodePNG(original);
        ASSERT_TRUE(png) << png.error().localizedDescription();
        const auto decoded = imageio::decode(*png);
        ASSERT_TRUE(decoded) << decoded.error().localizedDescription();
        EXPECT_EQ(*decoded, original);
    }
}

TEST(JPEG, RoundTripsWithinLossAndIsOpaque) {
    const Bitmap original = testPattern(64, 48);
    const auto jpeg = imageio::encodeJPEG(original, 95);
    ASSERT_TRUE(jpeg) << jpeg.error().localizedDescription();
    EXPECT_EQ(imageio::detectFormat(*jpeg), imageio::ImageFormat::jpeg);
    const auto decoded = imageio::decode(*jpeg);
    ASSERT_TRUE(decoded) << decoded.error().localizedDescription();
    ASSERT_EQ(decoded->width(), 64u);
    ASSERT_EQ(decoded->height(), 48u);
    // Corners keep their colour within the loss of compression; alpha is always opaque.
    for (auto [x, y] : {std::pair{0u, 0u}, {63u, 0u}, {0u, 47u}, {63u, 47u}}) {
        const RGBA want = *original.pixel(x, y), got = *decoded->pixel(x, y);
        for (int c = 0; c < 2; ++c) EXPECT_NEAR(got[c], want[c], 24) << x << "," << y << " channel " << c;
        EXPECT_EQ(got[3], 255);
    }
}

TEST(Decode, RefusesImagesAboveThePixelLimitFromTheHeader) {
    const Bitmap original = testPattern(40, 25);
    for (const auto& data : {*imageio::encodeJPEG(original), *imageio::encodePNG(original)}) {
        const auto refused = imageio::decode(data, {.maxPixels = 999});
        ASSERT_FALSE(refused);
        const auto& error = decodingError(refused.error());
        ASSERT_TRUE(error.isTooLarge());
        EXPECT_EQ(error.tooLargeValue()->width, 40u);
        EXPECT_EQ(error.tooLargeValue()->height, 25u);
        EXPECT_EQ(error.tooLargeValue()->limit, 999u);
        EXPECT_EQ(refused.error().localizedDescription(),
                  "The image is too large: 40 × 25 pixels exceeds the limit of 999 pixels.");
        EXPECT_TRUE(imageio::decode(data, {.maxPixels = 1000}));
    }
}

TEST(Decode, HostileHeaderSizeIsRefusedWithoutAllocating) {
    // A JPEG whose frame header claims 65000 × 65000 pixels (16 GiB of RGBA) but holds almost nothing.
    auto jpeg = *imageio::encodeJPEG(testPattern(8, 8));
    for (std::size_t i = 0; i + 8 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {  // start of frame: length(2) precision(1) height(2) width(2)
            jpeg[i + 5] = 0xFD, jpeg[i + 6] = 0xE8, jpeg[i + 7] = 0xFD, jpeg[i + 8] = 0xE8;
            break;
        }
    }
    const auto refused = imageio::decode(jpeg);
    ASSERT_FALSE(refused);
    EXPECT_TRUE(decodingError(refused.error()).isTooLarge()) << refused.error().localizedDescription();
}

TEST(Decode, TruncatedAndCorruptDataAreClearErrors) {
    const Bitmap original = testPattern(32, 32);
    const auto jpeg = *imageio::encodeJPEG(original);
    const auto png = *imageio::encodePNG(original);
    for (const auto* data : {&jpeg, &png}) {
        // (A PNG cut only inside its final end chunk still holds every pixel and decodes, so cut before it.)
        for (std::size_t length : {std::size_t{8}, std::size_t{20}, data->size() / 2, data->size() - 16}) {
            const std::vector<std::uint8_t> cut(data->begin(), data->begin() + static_cast<long>(length));
            const auto result = imageio::decode(cut);
            ASSERT_FALSE(result) << "length " << length;
            EXPECT_TRUE(decodingError(result.error()).isCorrupt()) << result.error().localizedDescription();
            EXPECT_EQ(result.error().domain(), "imageio.ImageDecodingError");
        }
    }
    // Damage inside the compressed pixel data of the PNG (its CRC no longer matches).
    auto damaged = png;
    damaged[damaged.size() - 20] ^= 0x5A;
    const auto result = imageio::decode(damaged);
    ASSERT_FALSE(result);
    EXPECT_TRUE(decodingError(result.error()).isCorrupt());
    EXPECT_EQ(result.error().localizedDescription().rfind("The image data is corrupt: ", 0), 0u);
}

// Each thread keeps its JPEG decoder between images: a bad image must not spoil the ones after it.
TEST(Decode, AJPEGThatStopsAtAnUnknownMarkerLeavesTheNextImageReadable) {
    const Bitmap original = testPattern(16, 12);
    const auto jpeg = *imageio::encodeJPEG(original);
    const std::vector<std::vector<std::uint8_t>> bad = {
        {0xFF, 0xD8, 0xFF, 0x06},  // a marker no JPEG has, where the header stops
        {0xFF, 0xD8, 0xFF, 0x6E, 0x0A, 0x00},
    };
    for (const auto& data : bad) {
        const auto refused = imageio::decode(data);
        ASSERT_FALSE(refused);
        EXPECT_TRUE(decodingError(refused.error()).isCorrupt()) << refused.error().localizedDescription();
        const auto header = imageio::readHeader(jpeg);
        ASSERT_TRUE(header) << header.error().localizedDescription();
        EXPECT_EQ(header->width, 16u);
        const auto decoded = imageio::decode(jpeg);
        ASSERT_TRUE(decoded) << decoded.error().localizedDescription();
        EXPECT_EQ(decoded->height(), 12u);
    }
}

TEST(Decode, OtherDataIsUnsupported) {
    for (const std::vector<std::uint8_t>& data : {std::vector<std::uint8_t>{}, std::vector<std::uint8_t>{0xFF, 0xD8},
                                                  std::vector<std::uint8_t>{'G', 'I', 'F', '8', '9', 'a'}}) {
        const auto result = imageio::decode(data);
        ASSERT_FALSE(result);
        EXPECT_TRUE(decodingError(result.error()).isUnsupportedFormat());
        EXPECT_EQ(result.error().localizedDescription(), "The image data is not in a supported format (JPEG or PNG).");
    }
}

TEST(Decode, RandomGarbageAfterASignatureNeverCrashes) {
    std::srand(7);
    for (int round = 0; round < 200; ++round) {
        std::vector<std::uint8_t> data = round % 2
                                             ? std::vector<std::uint8_t>{0xFF, 0xD8, 0xFF}
                                             : std::vector<std::uint8_t>{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
        const int extra = std::rand() % 300;
        for (int i = 0; i < extra; ++i) data.push_back(static_cast<std::uint8_t>(std::rand()));
        EXPECT_FALSE(imageio::decode(data, {.maxPixels = 1 << 20}));
    }
}

TEST(Decode, ThreadsDecodeAndEncodeAtTheSameTime) {
    // Each thread has its own decoder and encoder; results must not mix.
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            const Bitmap original = testPattern(24 + t, 16);
            for (int round = 0; round < 20; ++round) {
                const auto png = imageio::encodePNG(original);
                const auto jpeg = imageio::encodeJPEG(original);
                const auto fromPNG = png ? imageio::decode(*png) : std::unexpected(png.error());
                const auto fromJPEG = jpeg ? imageio::decode(*jpeg) : std::unexpected(jpeg.error());
                if (!fromPNG || *fromPNG != original || !fromJPEG || fromJPEG->width() != original.width()) {
                    ++failures[t];
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}

TEST(Encode, EmptyBitmapIsAnError) {
    EXPECT_FALSE(imageio::encodeJPEG(Bitmap{}));
    const auto png = imageio::encodePNG(Bitmap{});
    ASSERT_FALSE(png);
    EXPECT_TRUE(png.error().is<imageio::ImageEncodingError>());
}

TEST(Encode, PNGRefusesSidesBeyondAMillionPixelsBeforeEncoding) {
    for (const auto& [width, height] : {std::pair{1'000'001u, 1u}, std::pair{1u, 1'000'001u}}) {
        const auto png = imageio::encodePNG(*Bitmap::filled(width, height, {1, 2, 3, 4}));
        ASSERT_FALSE(png) << width << " x " << height;
        EXPECT_TRUE(png.error().is<imageio::ImageEncodingError>());
        EXPECT_EQ(png.error().localizedDescription(),
                  "The image could not be encoded: PNG holds at most 1000000 × 1000000 pixels and 4 GiB of them.");
    }
    EXPECT_TRUE(imageio::encodePNG(*Bitmap::filled(1'000'000u, 1u, {1, 2, 3, 4})));
}

}  // namespace
