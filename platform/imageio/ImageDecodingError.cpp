#include "imageio/ImageDecodingError.h"

namespace imageio {

std::string ImageDecodingError::localizedDescription() const {
    if (isUnsupportedFormat()) return "The image data is not in a supported format (JPEG or PNG).";
    if (const auto* large = tooLargeValue()) {
        return "The image is too large: " + std::to_string(large->width) + " × " + std::to_string(large->height) +
               " pixels exceeds the limit of " + std::to_string(large->limit) + " pixels.";
    }
    return "The image data is corrupt: " + reason_ + ".";
}

}  // namespace imageio
