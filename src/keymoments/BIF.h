#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "foundation/Error.h"
#include "imageio/ImageDecoder.h"
#include "uikit/UIImage.h"

namespace lumora {

// The resolution the host says its BIF data has. Stored and compared, never read from the data.
enum class BIFResolution : int { standard = 0, high = 1 };

// The case of a raw value (0 or 1), else nothing.
std::optional<BIFResolution> bifResolutionFromRawValue(int rawValue);

// Why BIF data could not be read. No index is built for data that fails.
class BIFParseError {
  public:
    enum class Kind {
        // The first 8 bytes are not the BIF signature.
        magicNumberNotMatch,
        // The data ends inside the 64-byte header.
        truncatedData,
        // The index runs to the end of the data without its end-of-index entry.
        missingEndOfIndex,
        // An image offset lies beyond the end of the data.
        offsetPastEnd,
        // Taken in ascending frame order, an image starts before the image of the previous frame.
        offsetsGoBackwards,
        // An image offset points into the header or the index.
        indexOverlapsImages,
        // The images together hold more pixels than the reader allows.
        imagesTooLarge,
    };

    static BIFParseError magicNumberNotMatch();
    static BIFParseError truncatedData(std::size_t length, std::size_t needed);
    static BIFParseError missingEndOfIndex(std::size_t length);
    static BIFParseError offsetPastEnd(std::uint32_t frame, std::uint32_t offset, std::size_t length);
    static BIFParseError offsetsGoBackwards(std::uint32_t frame, std::uint32_t offset, std::uint32_t previousFrame,
                                            std::uint32_t previousOffset);
    static BIFParseError indexOverlapsImages(std::uint32_t frame, std::uint32_t offset, std::size_t indexEnd);
    static BIFParseError imagesTooLarge(std::uint64_t declared, std::uint64_t limit);

    Kind kind() const { return kind_; }
    bool isMagicNumberNotMatch() const { return kind_ == Kind::magicNumberNotMatch; }
    bool isTruncatedData() const { return kind_ == Kind::truncatedData; }
    bool isMissingEndOfIndex() const { return kind_ == Kind::missingEndOfIndex; }
    bool isOffsetPastEnd() const { return kind_ == Kind::offsetPastEnd; }
    bool isOffsetsGoBackwards() const { return kind_ == Kind::offsetsGoBackwards; }
    bool isIndexOverlapsImages() const { return kind_ == Kind::indexOverlapsImages; }
    bool isImagesTooLarge() const { return kind_ == Kind::imagesTooLarge; }

    std::string localizedDescription() const { return description_; }
    static constexpr const char* domain() { return "lumora.BIFParseError"; }
    int code() const { return static_cast<int>(kind_); }

  private:
    BIFParseError(Kind kind, std::string description);
    Kind kind_;
    std::string description_;
};

// The index of scrubbing thumbnails read from BIF data: a 64-byte little-endian header (signature, version,
// image count, framewise separation in milliseconds), 8-byte index entries (frame number, byte offset) up to
// an end-of-index mark, then the images one after another. Every image is decoded when the index is built;
// a lookup only searches the decoded list. Build one with `from`.
//
// Memory is bounded by what thumbnails need, not by what the data declares: before any image is decoded,
// the size of every image is read from its header alone, and data holding an image larger than a
// thumbnail, or images that together exceed the total, is refused. The decoded pixels of an index that
// is built therefore never exceed `Limits::maxTotalPixels` × 4 bytes.
struct BIF {
    using ParseError = BIFParseError;

    struct Thumbnail {
        std::int64_t key = 0;                   // the frame number
        std::shared_ptr<uikit::UIImage> value;  // nullptr when the image's bytes do not decode
    };

    // What the reader is willing to decode. A hostile file cannot make it allocate more than these.
    struct Limits {
        // One image: a larger one is left absent, never decoded. The default is a generous
        // thumbnail, a full-HD picture (1920 × 1080, 8 MiB of RGBA); scrubbing thumbnails are commonly
        // 320 × 180.
        std::uint64_t maxPixelsPerImage = kMaxThumbnailPixels;
        // All images together, as their headers declare them; data that declares more fails with
        // `imagesTooLarge`. The default, 2^27 pixels (512 MiB of RGBA), holds 2,300 frames of 320 × 180:
        // more than six hours at one frame every 10 seconds.
        std::uint64_t maxTotalPixels = std::uint64_t{1} << 27;
    };
    static constexpr std::uint64_t kMaxThumbnailPixels = std::uint64_t{1920} * 1080;

    std::int64_t version = 0;
    std::int64_t numberOfImages = 0;       // as the header says; not used for reading
    std::int64_t framewiseSeparation = 0;  // milliseconds between two frame numbers
    BIFResolution resolution = BIFResolution::standard;
    std::vector<Thumbnail> thumbnails;  // ascending by frame number, one per distinct frame

    // Builds the index, decoding every image (an image whose header cannot be read is absent and is not
    // decoded). Fails with a BIFParseError; the limits are checked against every header before any image
    // is decoded.
    static std::expected<BIF, foundation::Error> from(std::span<const std::uint8_t> bifData, BIFResolution resolution,
                                                      Limits limits);
    static std::expected<BIF, foundation::Error> from(std::span<const std::uint8_t> bifData, BIFResolution resolution);

    // The images of `thumbnails` in order, absent ones included.
    std::vector<std::shared_ptr<uikit::UIImage>> allImages() const;

    // The image of the frame whose number is seconds × 1000 ÷ framewiseSeparation truncated toward zero;
    // nullptr when no frame has that number, its image is absent, the separation is not positive, or the
    // quotient is not finite or out of range.
    std::shared_ptr<uikit::UIImage> image(double seconds) const;

    // Two indexes are equal when their versions and resolutions are; the images take no part.
    friend bool operator==(const BIF& a, const BIF& b) {
        return a.version == b.version && a.resolution == b.resolution;
    }
};

// The 8-byte signature that BIF data starts with.
std::span<const std::uint8_t, 8> bifSignature();
// The frame number that ends the index.
inline constexpr std::uint32_t kBIFEndOfIndex = 0xFFFFFFFFu;
// Where the index starts and the size of one entry.
inline constexpr std::size_t kBIFIndexStart = 64;
inline constexpr std::size_t kBIFIndexEntrySize = 8;

}  // namespace lumora
