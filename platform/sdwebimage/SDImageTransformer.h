#pragma once

#include <memory>
#include <string>

#include "uikit/UIImage.h"

namespace sdwebimage {

// Turns a decoded image into the image the caller shows (resized, rounded, tinted...). Runs on a worker
// thread, never the main thread; it must not touch views. Images never change, so a transformer makes a
// new image.
class SDImageTransformer {
  public:
    virtual ~SDImageTransformer() = default;
    // Names the transformation and its parameters (for a cache key). Equal keys transform alike.
    virtual std::string transformerKey() const = 0;
    // The transformed image; nullptr when it could not transform (the loader then delivers the decoded
    // image unchanged).
    virtual std::shared_ptr<uikit::UIImage> transformedImage(const std::shared_ptr<uikit::UIImage>& image,
                                                             const std::string& forKey) = 0;
};

}  // namespace sdwebimage
