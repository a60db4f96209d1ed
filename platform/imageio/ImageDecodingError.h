#pragma once

#include <cstdint>
#include <string>

namespace imageio {

// Why image data could not be turned into pixels.
class ImageDecodingError {
  public:
    enum class Kind { unsupportedFormat, tooLarge, corrupt };
    struct TooLarge {
        std::uint64_t width = 0;
        std::uint64_t height = 0;
        std::uint64_t limit = 0;  // in pixels
    };

    // The data is neither JPEG nor PNG (or a kind of either that cannot be turned into RGBA).
    static ImageDecodingError unsupportedFormat() { return ImageDecodingError(Kind::unsupportedFormat); }
    // The header announces more pixels than the caller allows; nothing was allocated.
    static ImageDecodingError tooLarge(std::uint64_t width, std::uint64_t height, std::uint64_t limit) {
        ImageDecodingError error(Kind::tooLarge);
        error.tooLarge_ = TooLarge{width, height, limit};
        return error;
    }
    // Truncated or damaged data; `reason` is the decoder's own account.
    static ImageDecodingError corrupt(std::string reason) {
        ImageDecodingError error(Kind::corrupt);
        error.reason_ = std::move(reason);
        return error;
    }

    Kind kind() const { return kind_; }
    bool isUnsupportedFormat() const { return kind_ == Kind::unsupportedFormat; }
    bool isTooLarge() const { return kind_ == Kind::tooLarge; }
    bool isCorrupt() const { return kind_ == Kind::corrupt; }
    // The sizes of a tooLarge error, else nullptr.
    const TooLarge* tooLargeValue() const { return isTooLarge() ? &tooLarge_ : nullptr; }
    // The reason of a corrupt error, else the empty text.
    const std::string& reason() const { return reason_; }

    std::string localizedDescription() const;
    static constexpr const char* domain() { return "imageio.ImageDecodingError"; }
    // 0 unsupported format, 1 too large, 2 corrupt.
    int code() const { return static_cast<int>(kind_); }

  private:
    explicit ImageDecodingError(Kind kind) : kind_(kind) {}
    Kind kind_;
    TooLarge tooLarge_;
    std::string reason_;
};

// Why pixels could not be written as JPEG or PNG.
struct ImageEncodingError {
    std::string reason;
    std::string localizedDescription() const { return "The image could not be encoded: " + reason + "."; }
};

}  // namespace imageio
