#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "foundation/URL.h"
#include "sdwebimage/SDWebImage.h"
#include "uikit/UIImage.h"
#include "uikit/UIImageView.h"

namespace lumora {

// Fetches an image by URL for the host (thumbnails, artwork) through the shared image loader, optionally
// transformed and at a given scale. Nothing in the kit calls it.
class ZuImageDownloader {
  public:
    using Completion = std::function<void(const std::shared_ptr<uikit::UIImage>& image)>;

    // Starts the load and returns it (the caller may cancel it); nothing, and no load, without a URL.
    // `completion` runs on the main queue when an image arrives, and not at all for a failure or a
    // cancellation. A scale that is not a positive finite number is left out.
    static std::shared_ptr<sdwebimage::SDWebImageCombinedOperation> download(
        const std::optional<foundation::URL>& at, std::shared_ptr<sdwebimage::SDImageTransformer> using_,
        std::optional<uikit::CGFloat> screenScale, Completion completion);
};

// Shows `placeholderImage` in the image view at once (none: no image), then the image of `withURL` when it
// arrives, and calls `completion` with it. Main thread only.
//
// Only the newest call for an image view sets its image: when a view is reused for another URL before an
// older, slower load arrives, that older image never replaces the newer one (its completion still runs).
// The image view is held weakly: one released meanwhile only gets its caller's completion. A missing URL
// or a failed load leaves the placeholder; the load cannot be cancelled through this call.
void setImage(const std::shared_ptr<uikit::UIImageView>& imageView, const std::optional<foundation::URL>& withURL,
              std::shared_ptr<uikit::UIImage> placeholderImage = nullptr,
              std::shared_ptr<sdwebimage::SDImageTransformer> using_ = nullptr,
              std::optional<uikit::CGFloat> screenScale = std::nullopt,
              ZuImageDownloader::Completion completion = nullptr);

}  // namespace lumora
