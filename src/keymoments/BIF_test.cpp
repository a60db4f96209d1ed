#include "keymoments/BIF.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "imageio/ImageDecoder.h"
#include "imageio/testing/ClaimedSizeImages.h"
#include "keymoments/testing/BIFWriter.h"

namespace lumora {
namespace {

using testing::BIFWriter;
using Bytes = std::vector<std::uint8_t>;

// A small opaque PNG of one colour; PNG round-trips exactly, so images can be told apart by a pixel.
Bytes png(std::uint8_t shade, std::uint32_t width = 4, std::uint32_t height = 3) {
    return *imageio::encodePNG(*imageio::Bitmap::filled(width, height, {shade, 0, 0, 255}));
}

std::optional<std::uint8_t> shadeOf(const std::shared_ptr<uikit::UIImage>& image) {
    if (!image) return std::nullopt;
    return (*image->pixel(0, 0))[0];
}

const BIFParseError& parseError(const std::expected<BIF, foundation::Error>& result) {
    static const BIFParseError none = BIFParseError::magicNumberNotMatch();
    EXPECT_FALSE(result.has_value());
    if (result) return none;
    const auto* error = result.error().as<BIFParseError>();
    EXPECT_NE(error, nullptr) << result.error().localizedDescription();
    return error ? *error : none;
}

BIFWriter threeFrames() {
    BIFWriter writer;
    writer.version = 3;
    writer.framewiseSeparation = 10'000;
    writer.frames = {{0, png(10)}, {1, png(20)}, {2, png(30)}};
    return writer;
}

std::vector<std::pair<std::int64_t, std::optional<std::uint8_t>>> contents(const BIF& bif) {
    std::vector<std::pair<std::int64_t, std::optional<std::uint8_t>>> out;
    for (const auto& thumbnail : bif.thumbnails) out.emplace_back(thumbnail.key, shadeOf(thumbnail.value));
    return out;
}

using Contents = std::vector<std::pair<std::int64_t, std::optional<std::uint8_t>>>;

TEST(BIF, GeneratedDataRoundTripsExactly) {
    BIFWriter writer;
    writer.version = -2;
    writer.numberOfImages = 77;  // kept as written, whatever the index holds
    writer.framewiseSeparation = 2500;
    const auto jpegSource = *imageio::Bitmap::filled(32, 16, {200, 100, 50, 255});
    const Bytes jpeg = *imageio::encodeJPEG(jpegSource, 90);
    writer.frames = {{0, png(1)}, {1, jpeg}, {7, png(3, 9, 5)}, {0xFFFFFFFEu, png(4)}};
    const auto bif = BIF::from(writer.write(), BIFResolution::high);
    ASSERT_TRUE(bif) << bif.error().localizedDescription();
    EXPECT_EQ(bif->version, -2);
    EXPECT_EQ(bif->numberOfImages, 77);
    EXPECT_EQ(bif->framewiseSeparation, 2500);
    EXPECT_EQ(bif->resolution, BIFResolution::high);
    ASSERT_EQ(bif->thumbnails.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(bif->thumbnails[i].key, static_cast<std::int64_t>(writer.frames[i].first));
        const auto expected = imageio::decode(writer.frames[i].second);
        ASSERT_TRUE(bif->thumbnails[i].value);
        EXPECT_EQ(bif->thumbnails[i].value->bitmap(), *expected) << "frame " << i;
    }
    EXPECT_EQ(bif->thumbnails[2].value->size(), (coregraphics::CGSize{9, 5}));
    EXPECT_EQ(bif->allImages().size(), 4u);
    EXPECT_EQ(bif->allImages()[3], bif->thumbnails[3].value);
}

TEST(BIF, SignatureMustMatchExactly) {
    Bytes data = threeFrames().write();
    data[4] = 0x0C;  // first byte still 0x89, fifth no longer 0x0D
    EXPECT_TRUE(parseError(BIF::from(data, BIFResolution::standard)).isMagicNumberNotMatch());
    EXPECT_TRUE(parseError(BIF::from(Bytes{'G', 'I', 'F'}, BIFResolution::standard)).isMagicNumberNotMatch());
    EXPECT_EQ(BIF::from(data, BIFResolution::standard).error().localizedDescription(),
              "The data is not BIF data: its signature does not match.");
}

TEST(BIF, ReservedHeaderBytesAreIgnored) {
    BIFWriter writer = threeFrames();
    const auto plain = BIF::from(writer.write(), BIFResolution::standard);
    writer.reserved.fill(0xFF);
    const auto noisy = BIF::from(writer.write(), BIFResolution::standard);
    ASSERT_TRUE(plain && noisy);
    EXPECT_EQ(contents(*plain), contents(*noisy));
    EXPECT_EQ(noisy->framewiseSeparation, 10'000);
}

TEST(BIF, IndexOutOfOrderIsSortedAndCutAtTheNextLargerFrame) {
    // Images laid out for frames 1, 2, 3; the index lists frame 3 first, then 1, then 2.
    BIFWriter writer;
    writer.frames = {{1, png(10)}, {2, png(20)}, {3, png(30)}};
    Bytes data = writer.write();
    Bytes entries(data.begin() + 64, data.begin() + 88);
    std::copy(entries.begin() + 16, entries.begin() + 24, data.begin() + 64);
    std::copy(entries.begin(), entries.begin() + 16, data.begin() + 72);
    const auto bif = BIF::from(data, BIFResolution::standard);
    ASSERT_TRUE(bif) << bif.error().localizedDescription();
    EXPECT_EQ(contents(*bif), (Contents{{1, 10}, {2, 20}, {3, 30}}));
}

TEST(BIF, LastImageRunsToTheEndOfTheData) {
    BIFWriter writer = threeFrames();
    Bytes data = writer.write();
    BIFWriter::set32(data, BIFWriter::entryPosition(3) + 4, 80);  // the end entry's offset, wrong on purpose
    const auto bif = BIF::from(data, BIFResolution::standard);
    ASSERT_TRUE(bif);
    EXPECT_EQ(contents(*bif), (Contents{{0, 10}, {1, 20}, {2, 30}}));
}

TEST(BIF, DuplicateFrameTakesTheLaterOffset) {
    BIFWriter writer;
    writer.frames = {{0, png(10)}, {1, png(20)}, {1, png(25)}};
    const auto bif = BIF::from(writer.write(), BIFResolution::standard);
    ASSERT_TRUE(bif);
    // Frame 0 now runs over the dropped image's bytes too; the PNG decoder stops at its own end.
    EXPECT_EQ(contents(*bif), (Contents{{0, 10}, {1, 25}}));
}

TEST(BIF, ImageForSecondsTruncatesToAFrameKey) {
    const auto bif = BIF::from(threeFrames().write(), BIFResolution::standard);
    ASSERT_TRUE(bif);
    EXPECT_EQ(shadeOf(bif->image(20.0)), 30);
    EXPECT_EQ(shadeOf(bif->image(29.9)), 30);
    EXPECT_EQ(shadeOf(bif->image(-0.5)), 10);
    EXPECT_EQ(shadeOf(bif->image(5.5)), 10);
    EXPECT_EQ(bif->image(30.0), nullptr);   // key 3: no such frame, no neighbour is tried
    EXPECT_EQ(bif->image(-10.0), nullptr);  // key -1
}

TEST(BIF, ImageForSecondsRefusesWhatCannotBeAKey) {
    auto bif = *BIF::from(threeFrames().write(), BIFResolution::standard);
    for (double seconds : {std::nan(""), std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity(), 1e300, -1e300}) {
        EXPECT_EQ(bif.image(seconds), nullptr) << seconds;
    }
    for (std::int64_t separation : {0, -10'000}) {
        bif.framewiseSeparation = separation;
        EXPECT_EQ(bif.image(0.0), nullptr);
        EXPECT_EQ(bif.image(20.0), nullptr);
    }
    bif.framewiseSeparation = 1;  // 1e16 s → 1e19, just past the largest key
    EXPECT_EQ(bif.image(1e16), nullptr);
}

TEST(BIF, EqualityIsByVersionAndResolution) {
    BIFWriter other;
    other.version = 3;
    other.framewiseSeparation = 1;
    other.frames = {{9, png(99)}};
    const auto a = *BIF::from(threeFrames().write(), BIFResolution::standard);
    const auto b = *BIF::from(other.write(), BIFResolution::standard);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, *BIF::from(other.write(), BIFResolution::high));
    other.version = 4;
    EXPECT_NE(a, *BIF::from(other.write(), BIFResolution::standard));
}

TEST(BIF, ResolutionRawValues) {
    EXPECT_EQ(bifResolutionFromRawValue(0), BIFResolution::standard);
    EXPECT_EQ(bifResolutionFromRawValue(1), BIFResolution::high);
    EXPECT_EQ(bifResolutionFromRawValue(2), std::nullopt);
    EXPECT_EQ(bifResolutionFromRawValue(-1), std::nullopt);
    EXPECT_EQ(static_cast<int>(BIFResolution::high), 1);
}

TEST(BIF, UndecodableImageStaysAsAnAbsentEntry) {
    BIFWriter writer = threeFrames();
    writer.frames[1].second = Bytes{'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'};
    writer.frames[2].second.resize(writer.frames[2].second.size() / 2);  // a truncated PNG
    const auto bif = BIF::from(writer.write(), BIFResolution::standard);
    ASSERT_TRUE(bif);
    EXPECT_EQ(contents(*bif), (Contents{{0, 10}, {1, std::nullopt}, {2, std::nullopt}}));
    EXPECT_EQ(bif->image(10.0), nullptr);
    EXPECT_EQ(bif->allImages().size(), 3u);
}

TEST(BIF, EndMarkFirstGivesNoThumbnails) {
    BIFWriter writer = threeFrames();
    writer.frames.clear();
    const Bytes data = writer.write();
    ASSERT_EQ(data.size(), 72u);
    const auto bif = BIF::from(data, BIFResolution::standard);
    ASSERT_TRUE(bif);
    EXPECT_TRUE(bif->thumbnails.empty());
    EXPECT_TRUE(bif->allImages().empty());
    EXPECT_EQ(bif->image(0.0), nullptr);
    // The end entry's offset is not needed.
    EXPECT_TRUE(BIF::from(std::span(data).first(68), BIFResolution::standard));
}

TEST(BIF, TruncatedDataIsAnError) {
    const Bytes data = threeFrames().write();
    for (std::size_t length : {0, 1, 7, 8, 20, 63}) {
        const auto result = BIF::from(std::span(data).first(length), BIFResolution::standard);
        EXPECT_TRUE(parseError(result).isTruncatedData()) << length;
    }
    EXPECT_EQ(BIF::from(std::span(data).first(20), BIFResolution::standard).error().localizedDescription(),
              "The BIF data is truncated: 20 bytes, at least 64 needed.");
}

TEST(BIF, IndexWithoutEndMarkIsAnError) {
    const Bytes data = threeFrames().write();
    // Cut inside the index: after the header, inside an entry, just before the end mark.
    for (std::size_t length : {64, 67, 70, 72, 83, 88, 91}) {
        const auto result = BIF::from(std::span(data).first(length), BIFResolution::standard);
        EXPECT_TRUE(parseError(result).isMissingEndOfIndex()) << length;
    }
    // An index that never ends: entries all the way to the end of the data.
    Bytes endless = data;
    BIFWriter::set32(endless, BIFWriter::entryPosition(3), 5);
    for (std::size_t at = BIFWriter::entryPosition(4); at + 4 <= endless.size(); at += 4) {
        BIFWriter::set32(endless, at, 6);
    }
    EXPECT_TRUE(parseError(BIF::from(endless, BIFResolution::standard)).isMissingEndOfIndex());
}

TEST(BIF, OffsetPastTheEndIsAnError) {
    const std::uint32_t length = static_cast<std::uint32_t>(threeFrames().write().size());
    for (std::uint32_t offset : {length + 1, length + 1000, 0xFFFFFFFFu}) {
        Bytes data = threeFrames().write();
        BIFWriter::set32(data, BIFWriter::entryPosition(2) + 4, offset);
        EXPECT_TRUE(parseError(BIF::from(data, BIFResolution::standard)).isOffsetPastEnd()) << offset;
    }
    // Exactly at the end: an empty image, which does not decode.
    Bytes data = threeFrames().write();
    BIFWriter::set32(data, BIFWriter::entryPosition(2) + 4, static_cast<std::uint32_t>(data.size()));
    const auto bif = BIF::from(data, BIFResolution::standard);
    ASSERT_TRUE(bif);
    EXPECT_EQ(contents(*bif).back(), (std::pair<std::int64_t, std::optional<std::uint8_t>>{2, std::nullopt}));
}

TEST(BIF, OffsetsGoingBackwardsAreAnError) {
    // Images laid out in index order, but the index lists frame 2 before frame 1: in frame order the
    // image of frame 2 would start before that of frame 1 ends.
    BIFWriter writer;
    writer.frames = {{0, png(10)}, {2, png(30)}, {1, png(20)}};
    const auto result = BIF::from(writer.write(), BIFResolution::standard);
    const auto& error = parseError(result);
    EXPECT_TRUE(error.isOffsetsGoBackwards());
    EXPECT_NE(error.localizedDescription().find("frame 2"), std::string::npos) << error.localizedDescription();
}

TEST(BIF, OffsetInsideTheIndexIsAnError) {
    for (std::uint32_t offset : {0u, 8u, 64u, 95u}) {  // the index of three frames ends at byte 96
        Bytes data = threeFrames().write();
        BIFWriter::set32(data, BIFWriter::entryPosition(0) + 4, offset);
        EXPECT_TRUE(parseError(BIF::from(data, BIFResolution::standard)).isIndexOverlapsImages()) << offset;
    }
    Bytes data = threeFrames().write();
    BIFWriter::set32(data, BIFWriter::entryPosition(0) + 4, 96);  // the first byte after it is fine
    EXPECT_TRUE(BIF::from(data, BIFResolution::standard));
}

TEST(BIF, EveryPrefixAndEveryFlippedIndexByteGivesAnErrorOrAnIndexThatKeepsItsPromises) {
    const Bytes data = threeFrames().write();
    std::size_t refused = 0;
    std::size_t read = 0;
    // Either a BIFParseError with a description, or an index whose frames ascend without repeats and
    // whose look-ups give nothing or one of its own images.
    auto check = [&](std::span<const std::uint8_t> bytes, const std::string& what) {
        const auto result = BIF::from(bytes, BIFResolution::standard);
        if (!result) {
            ++refused;
            ASSERT_NE(result.error().as<BIFParseError>(), nullptr) << what;
            EXPECT_FALSE(result.error().localizedDescription().empty()) << what;
            return;
        }
        ++read;
        const BIF& bif = *result;
        const auto images = bif.allImages();
        ASSERT_EQ(images.size(), bif.thumbnails.size()) << what;
        for (std::size_t i = 1; i < bif.thumbnails.size(); ++i) {
            EXPECT_LT(bif.thumbnails[i - 1].key, bif.thumbnails[i].key) << what;
        }
        for (double seconds :
             {-1.0, 0.0, 9.99, 10.0, 25.0, 1e9, std::nan(""), std::numeric_limits<double>::infinity()}) {
            const auto image = bif.image(seconds);
            if (!image) continue;
            EXPECT_GT(bif.framewiseSeparation, 0) << what;
            EXPECT_NE(std::find(images.begin(), images.end(), image), images.end()) << what << " at " << seconds;
        }
    };
    for (std::size_t length = 0; length <= data.size(); ++length) {
        check(std::span(data).first(length), "the first " + std::to_string(length) + " bytes");
    }
    for (std::size_t at = 8; at < 104; ++at) {
        Bytes damaged = data;
        damaged[at] ^= 0xA5;
        check(damaged, "byte " + std::to_string(at) + " flipped");
    }
    // The cuts before the end mark and the damaged header fields are refused; the whole file and some
    // flips (reserved bytes, image bytes) still read.
    EXPECT_GT(refused, 60u);
    EXPECT_GT(read, 10u);
}

TEST(BIF, HostileImageSizesAreBounded) {
    // Images above the limit for one image are absent and the others kept. Images that together exceed the
    // total limit: the data is refused. Both before any pixel is allocated.
    BIFWriter writer;
    writer.frames = {{0, png(10, 100, 100)}, {1, png(20, 10, 10)}, {2, png(30, 100, 100)}};
    BIF::Limits limits{.maxPixelsPerImage = 5'000, .maxTotalPixels = 1'000'000};
    const auto tooLarge = BIF::from(writer.write(), BIFResolution::standard, limits);
    ASSERT_TRUE(tooLarge);
    EXPECT_EQ(contents(*tooLarge), (Contents{{0, std::nullopt}, {1, 20}, {2, std::nullopt}}));

    limits = {.maxPixelsPerImage = 10'000, .maxTotalPixels = 15'000};
    const auto result = BIF::from(writer.write(), BIFResolution::standard, limits);
    EXPECT_TRUE(parseError(result).isImagesTooLarge());
    EXPECT_EQ(result.error().localizedDescription(),
              "The BIF images declare at least 20100 pixels together, more than the limit of 15000 pixels; no "
              "image was decoded.");
    limits.maxTotalPixels = 20'100;
    const auto fits = BIF::from(writer.write(), BIFResolution::standard, limits);
    ASSERT_TRUE(fits);
    EXPECT_EQ(contents(*fits), (Contents{{0, 10}, {1, 20}, {2, 30}}));
}

TEST(BIF, DeclaredSizesAreRefusedFromTheHeadersBeforeAnyImageIsDecoded) {
    // Frames whose headers claim 8192 × 8192 but hold the pixel data of a 4 × 3 picture: decoding any of
    // them would first allocate 256 MiB and then fail. They are left absent from their headers alone, and the
    // thumbnail beside them is kept. The data is a few hundred bytes; the test allocates kilobytes.
    const Bytes huge = imageio::testing::pngClaiming(8192, 8192);
    for (std::size_t count : {1u, 4u, 5u}) {
        BIFWriter writer;
        writer.frames.emplace_back(0, png(10));  // a thumbnail that would decode, ahead of the large ones
        for (std::size_t i = 1; i <= count; ++i) writer.frames.emplace_back(static_cast<std::uint32_t>(i), huge);
        const auto result = BIF::from(writer.write(), BIFResolution::standard);
        ASSERT_TRUE(result) << count;
        ASSERT_EQ(result->thumbnails.size(), count + 1);
        EXPECT_TRUE(result->thumbnails.front().value) << count;
        for (std::size_t i = 1; i <= count; ++i) EXPECT_FALSE(result->thumbnails[i].value) << count;
    }

    // Frames each within the limit for one thumbnail (full HD) whose declared sizes together exceed the
    // total: refused although no frame's pixel data would decode.
    BIFWriter many;
    const Bytes fullHD = imageio::testing::jpegClaiming(1920, 1080);
    const std::uint64_t perFrame = 1920 * 1080;
    const auto frames = static_cast<std::uint32_t>(BIF::Limits{}.maxTotalPixels / perFrame + 1);
    for (std::uint32_t i = 0; i < frames; ++i) many.frames.emplace_back(i, fullHD);
    const auto total = BIF::from(many.write(), BIFResolution::standard);
    ASSERT_TRUE(parseError(total).isImagesTooLarge());
    EXPECT_NE(total.error().localizedDescription().find(std::to_string(frames * perFrame) + " pixels together"),
              std::string::npos)
        << total.error().localizedDescription();

    // One frame fewer fits the total: the index is built, each frame absent as its pixel data does not decode.
    many.frames.pop_back();
    const auto within = BIF::from(many.write(), BIFResolution::standard);
    ASSERT_TRUE(within) << within.error().localizedDescription();
    EXPECT_EQ(within->thumbnails.size(), frames - 1);
    EXPECT_FALSE(within->thumbnails.front().value);
}

}  // namespace
}  // namespace lumora
