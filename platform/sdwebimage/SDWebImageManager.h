#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

#include "foundation/URL.h"
#include "sdwebimage/SDImageLoader.h"
#include "sdwebimage/SDImageTransformer.h"
#include "sdwebimage/SDWebImageDefine.h"
#include "sdwebimage/SDWebImageError.h"

namespace sdwebimage {

namespace testing {
class ImageLoaderScope;
}

// One load started by the manager: the transfer and the decoding after it. Cancelling it stops the
// transfer and makes the load end with `SDWebImageError::cancelled` unless it has already delivered.
class SDWebImageCombinedOperation final : public SDWebImageOperation {
  public:
    void cancel() override;
    bool isCancelled() const;

  private:
    friend class SDWebImageManager;
    struct State;
    explicit SDWebImageCombinedOperation(std::shared_ptr<State> state) : state_(std::move(state)) {}
    std::shared_ptr<State> state_;
};

// Loads images by URL: fetches the bytes with its loader, decodes them (JPEG or PNG) on the loader's
// thread, applies the context's transformer and scale, and calls the completion on the main queue, always
// exactly once per load, also for a missing URL, a failure or a cancellation. Nothing is cached.
//
//   auto operation = SDWebImageManager::shared()->loadImage(url, {}, {{SDWebImageContextImageScaleFactor, 2.0}},
//       nullptr, [](auto image, auto data, auto error, auto cacheType, bool finished, auto url) { ... });
class SDWebImageManager : public std::enable_shared_from_this<SDWebImageManager> {
  public:
    // The process-wide manager, over an SDWebImageDownloader.
    static std::shared_ptr<SDWebImageManager> shared();
    static std::shared_ptr<SDWebImageManager> create(std::shared_ptr<SDImageLoader> loader);

    std::shared_ptr<SDImageLoader> imageLoader() const;

    // Starts a load. `progress` (may be empty) and `completed` run on the main queue; `completed` is
    // required for anything to be reported. The operation can cancel the load.
    std::shared_ptr<SDWebImageCombinedOperation> loadImage(const std::optional<foundation::URL>& url,
                                                           SDWebImageOptions options, const SDWebImageContext& context,
                                                           SDImageLoaderProgressBlock progress,
                                                           SDInternalCompletionBlock completed);

  private:
    friend class testing::ImageLoaderScope;
    explicit SDWebImageManager(std::shared_ptr<SDImageLoader> loader) : loader_(std::move(loader)) {}

    mutable std::mutex mutex_;
    std::shared_ptr<SDImageLoader> loader_;  // guarded by mutex_
};

}  // namespace sdwebimage
