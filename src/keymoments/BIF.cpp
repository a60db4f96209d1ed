#include "keymoments/BIF.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace lumora {

namespace {

constexpr std::array<std::uint8_t, 8> kSignature{0x89, 0x42, 0x49, 0x46, 0x0D, 0x0A, 0x1A, 0x0A};

std::uint32_t readUInt32(std::span<const std::uint8_t> data, std::size_t at) {
    return std::uint32_t{data[at]} | std::uint32_t{data[at + 1]} << 8 | std::uint32_t{data[at + 2]} << 16 |
           std::uint32_t{data[at + 3]} << 24;
}

std::int32_t readInt32(std::span<const std::uint8_t> data, std::size_t at) {
    return static_cast<std::int32_t>(readUInt32(data, at));
}

struct Entry {
    std::uint32_t frame;
    std::uint32_t offset;
};

}  // namespace

std::optional<BIFResolution> bifResolutionFromRawValue(int rawValue) {
    if (rawValue == 0) return BIFResolution::standard;
    if (rawValue == 1) return BIFResolution::high;
    return std::nullopt;
}

std::span<const std::uint8_t, 8> bifSignature() {
    return kSignature;
}

// MARK: - Errors

BIFParseError::BIFParseError(Kind kind, std::string description) : kind_(kind), description_(std::move(description)) {}

BIFParseError BIFParseError::magicNumberNotMatch() {
    return {Kind::magicNumberNotMatch, "The data is not BIF data: its signature does not match."};
}

BIFParseError BIFParseError::truncatedData(std::size_t length, std::size_t needed) {
    return {Kind::truncatedData, "The BIF data is truncated: " + std::to_string(length) + " bytes, at least " +
                                     std::to_string(needed) + " needed."};
}

BIFParseError BIFParseError::missingEndOfIndex(std::size_t length) {
    return {Kind::missingEndOfIndex,
            "The BIF index has no end-of-index entry within the " + std::to_string(length) + " bytes of data."};
}

BIFParseError BIFParseError::offsetPastEnd(std::uint32_t frame, std::uint32_t offset, std::size_t length) {
    return {Kind::offsetPastEnd, "The BIF image of frame " + std::to_string(frame) + " starts at byte " +
                                     std::to_string(offset) + ", past the end of the " + std::to_string(length) +
                                     " bytes of data."};
}

BIFParseError BIFParseError::offsetsGoBackwards(std::uint32_t frame, std::uint32_t offset, std::uint32_t previousFrame,
                                                std::uint32_t previousOffset) {
    return {Kind::offsetsGoBackwards, "The BIF image of frame " + std::to_string(frame) + " starts at byte " +
                                          std::to_string(offset) + ", before the image of frame " +
                                          std::to_string(previousFrame) + " at byte " + std::to_string(previousOffset) +
                                          "."};
}

BIFParseError BIFParseError::indexOverlapsImages(std::uint32_t frame, std::uint32_t offset, std::size_t indexEnd) {
    return {Kind::indexOverlapsImages,
            "The BIF image of frame " + std::to_string(frame) + " starts at byte " + std::to_string(offset) +
                ", inside the header and index, which end at byte " + std::to_string(indexEnd) + "."};
}

BIFParseError BIFParseError::imagesTooLarge(std::uint64_t declared, std::uint64_t limit) {
    return {Kind::imagesTooLarge, "The BIF images declare at least " + std::to_string(declared) +
                                      " pixels together, more than the limit of " + std::to_string(limit) +
                                      " pixels; no image was decoded."};
}

// MARK: - Reading

std::expected<BIF, foundation::Error> BIF::from(std::span<const std::uint8_t> bifData, BIFResolution resolution) {
    return from(bifData, resolution, Limits{});
}

std::expected<BIF, foundation::Error> BIF::from(std::span<const std::uint8_t> data, BIFResolution resolution,
                                                Limits limits) {
    // Signature first: data that is too short but starts like BIF is truncated; anything else is not BIF.
    const std::size_t signatureBytes = std::min(data.size(), kSignature.size());
    if (!std::equal(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(signatureBytes), kSignature.begin())) {
        return std::unexpected(BIFParseError::magicNumberNotMatch());
    }
    if (data.size() < kBIFIndexStart) return std::unexpected(BIFParseError::truncatedData(data.size(), kBIFIndexStart));

    BIF bif;
    bif.version = readInt32(data, 8);
    bif.numberOfImages = readInt32(data, 12);
    bif.framewiseSeparation = readInt32(data, 16);
    bif.resolution = resolution;

    // The index: every entry, the first included, may be the end mark; an index that holds only the mark
    // has no images. The end entry is 8 bytes like the others, though its offset is never read.
    std::vector<Entry> entries;
    std::size_t position = kBIFIndexStart;
    for (;;) {
        if (data.size() - position < 4) return std::unexpected(BIFParseError::missingEndOfIndex(data.size()));
        const std::uint32_t frame = readUInt32(data, position);
        if (frame == kBIFEndOfIndex) break;
        if (data.size() - position < kBIFIndexEntrySize) {
            return std::unexpected(BIFParseError::missingEndOfIndex(data.size()));
        }
        entries.push_back({frame, readUInt32(data, position + 4)});
        position += kBIFIndexEntrySize;
    }
    const std::size_t indexEnd = position + kBIFIndexEntrySize;

    // Ascending frame numbers; of two entries for one frame the later one counts.
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.frame < b.frame; });
    std::vector<Entry> frames;
    frames.reserve(entries.size());
    for (const Entry& entry : entries) {
        if (!frames.empty() && frames.back().frame == entry.frame) {
            frames.back() = entry;
        } else {
            frames.push_back(entry);
        }
    }

    // Every image must lie after the index and within the data, in the order of its frame.
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const Entry& entry = frames[i];
        if (entry.offset < indexEnd) {
            return std::unexpected(BIFParseError::indexOverlapsImages(entry.frame, entry.offset, indexEnd));
        }
        if (entry.offset > data.size()) {
            return std::unexpected(BIFParseError::offsetPastEnd(entry.frame, entry.offset, data.size()));
        }
        if (i > 0 && entry.offset < frames[i - 1].offset) {
            return std::unexpected(BIFParseError::offsetsGoBackwards(entry.frame, entry.offset, frames[i - 1].frame,
                                                                     frames[i - 1].offset));
        }
    }

    // Each image runs to the start of the next frame's image; the last one to the end of the data.
    auto bytesOf = [&](std::size_t i) {
        const std::size_t begin = frames[i].offset;
        const std::size_t end = i + 1 < frames.size() ? frames[i + 1].offset : data.size();
        return data.subspan(begin, end - begin);
    };

    // Every size from the headers before any pixel is decoded, so that what the data declares is refused
    // before it costs memory. An image whose header cannot be read, or that is larger than a thumbnail may
    // be, is left absent without being decoded; the others are kept.
    std::vector<bool> readable(frames.size(), false);
    std::uint64_t declaredPixels = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const auto header = imageio::readHeader(bytesOf(i));
        if (!header) continue;
        if (header->pixelCount() > limits.maxPixelsPerImage) continue;
        // Saturating, for limits set near the top of the range.
        const std::uint64_t pixels = header->pixelCount();
        declaredPixels = pixels > UINT64_MAX - declaredPixels ? UINT64_MAX : declaredPixels + pixels;
        if (declaredPixels > limits.maxTotalPixels) {
            return std::unexpected(BIFParseError::imagesTooLarge(declaredPixels, limits.maxTotalPixels));
        }
        readable[i] = true;
    }

    bif.thumbnails.reserve(frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        std::shared_ptr<uikit::UIImage> value;
        if (readable[i]) {
            // The decoder reads the same header again, so the limit it is given holds for what it allocates.
            auto image = uikit::UIImage::decode(bytesOf(i), 1.0, {.maxPixels = limits.maxPixelsPerImage});
            if (image) value = std::move(*image);
        }
        bif.thumbnails.push_back({frames[i].frame, std::move(value)});
    }
    return bif;
}

// MARK: - Lookup

std::vector<std::shared_ptr<uikit::UIImage>> BIF::allImages() const {
    std::vector<std::shared_ptr<uikit::UIImage>> images;
    images.reserve(thumbnails.size());
    for (const Thumbnail& thumbnail : thumbnails) images.push_back(thumbnail.value);
    return images;
}

std::shared_ptr<uikit::UIImage> BIF::image(double seconds) const {
    if (framewiseSeparation <= 0) return nullptr;
    const double quotient = std::trunc(seconds * 1000.0 / static_cast<double>(framewiseSeparation));
    // The range of a 64-bit integer: [-2^63, 2^63).
    if (!std::isfinite(quotient) || quotient < -9223372036854775808.0 || quotient >= 9223372036854775808.0) {
        return nullptr;
    }
    const auto key = static_cast<std::int64_t>(quotient);
    // The first pair with exactly that key; no neighbouring frame is tried.
    const auto found = std::find_if(thumbnails.begin(), thumbnails.end(),
                                    [key](const Thumbnail& thumbnail) { return thumbnail.key == key; });
    return found == thumbnails.end() ? nullptr : found->value;
}

}  // namespace lumora
