#include "keymoments/ZuImageDownloader.h"

#include <cmath>
#include <cstdint>
#include <map>

namespace lumora {

namespace {

// The newest request of each image view (main thread only). Entries of released views are dropped as new
// requests come in.
class ImageViewRequests {
  public:
    static ImageViewRequests& shared() {
        static ImageViewRequests requests;
        return requests;
    }

    std::uint64_t begin(const std::shared_ptr<uikit::UIImageView>& view) {
        if (++sinceSweep_ >= 64) {
            std::erase_if(tokens_, [](const auto& entry) { return entry.first.expired(); });
            sinceSweep_ = 0;
        }
        const std::uint64_t token = ++last_;
        tokens_[view] = token;
        return token;
    }

    bool isNewest(const std::shared_ptr<uikit::UIImageView>& view, std::uint64_t token) const {
        auto found = tokens_.find(view);
        return found != tokens_.end() && found->second == token;
    }

  private:
    std::map<std::weak_ptr<uikit::UIImageView>, std::uint64_t, std::owner_less<>> tokens_;
    std::uint64_t last_ = 0;
    int sinceSweep_ = 0;
};

}  // namespace

std::shared_ptr<sdwebimage::SDWebImageCombinedOperation> ZuImageDownloader::download(
    const std::optional<foundation::URL>& at, std::shared_ptr<sdwebimage::SDImageTransformer> using_,
    std::optional<uikit::CGFloat> screenScale, Completion completion) {
    if (!at) return nullptr;
    sdwebimage::SDWebImageContext context;
    if (using_) context[sdwebimage::SDWebImageContextImageTransformer] = std::move(using_);
    if (screenScale && std::isfinite(*screenScale) && *screenScale > 0) {
        context[sdwebimage::SDWebImageContextImageScaleFactor] = *screenScale;
    }
    return sdwebimage::SDWebImageManager::shared()->loadImage(
        at, {}, context, nullptr,
        [completion = std::move(completion)](std::shared_ptr<uikit::UIImage> image, auto, auto,
                                             sdwebimage::SDImageCacheType, bool, auto) {
            if (image && completion) completion(image);
        });
}

void setImage(const std::shared_ptr<uikit::UIImageView>& imageView, const std::optional<foundation::URL>& withURL,
              std::shared_ptr<uikit::UIImage> placeholderImage, std::shared_ptr<sdwebimage::SDImageTransformer> using_,
              std::optional<uikit::CGFloat> screenScale, ZuImageDownloader::Completion completion) {
    if (!imageView) return;
    imageView->setImage(std::move(placeholderImage));
    const std::uint64_t token = ImageViewRequests::shared().begin(imageView);
    std::weak_ptr<uikit::UIImageView> weak = imageView;
    auto operation = ZuImageDownloader::download(
        withURL, std::move(using_), screenScale,
        [weak, token, completion = std::move(completion)](const std::shared_ptr<uikit::UIImage>& image) {
            auto view = weak.lock();
            if (view && ImageViewRequests::shared().isNewest(view, token)) view->setImage(image);
            if (completion) completion(image);
        });
    (void)operation;  // not cancellable through this call
}

}  // namespace lumora
