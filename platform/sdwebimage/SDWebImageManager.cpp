#include "sdwebimage/SDWebImageManager.h"

#include <cmath>
#include <utility>

#include "dispatch/DispatchQueue.h"
#include "uikit/UIImage.h"

namespace sdwebimage {

// What one load shares between the caller's thread, the loader's thread and the main queue.
struct SDWebImageCombinedOperation::State {
    std::optional<foundation::URL> url;
    std::string address;                  // the URL's text, for error messages
    SDImageLoaderProgressBlock progress;  // main queue only
    SDInternalCompletionBlock completed;  // main queue only; dropped once called
    std::atomic<bool> cancelled{false};
    std::atomic<bool> delivered{false};  // main queue only, atomic for the cancelled check's readers
    std::mutex mutex;
    std::shared_ptr<SDWebImageOperation> transfer;  // guarded by mutex; dropped once the transfer is over
    bool transferEnded = false;                     // guarded by mutex

    struct Outcome {
        std::shared_ptr<uikit::UIImage> image;
        std::optional<foundation::Data> data;
        std::optional<foundation::Error> error;
    };

    // Runs on the main queue: reports the outcome unless the load has already reported; a load cancelled
    // meanwhile reports the cancellation instead.
    static void deliver(const std::shared_ptr<State>& state, Outcome outcome) {
        dispatch::DispatchQueue::main().async([state, outcome = std::move(outcome)]() mutable {
            if (state->delivered.exchange(true)) return;
            if (state->cancelled.load() && outcome.image) {
                outcome = Outcome{nullptr, std::nullopt, SDWebImageError::cancelled(state->address)};
            }
            auto completed = std::exchange(state->completed, nullptr);
            state->progress = nullptr;
            if (completed) {
                completed(std::move(outcome.image), std::move(outcome.data), std::move(outcome.error),
                          SDImageCacheType::none, true, state->url);
            }
        });
    }
};

void SDWebImageCombinedOperation::cancel() {
    if (state_->cancelled.exchange(true)) return;
    // Taken out of the state: the transfer's completion holds the state, and the pair must not keep each
    // other alive once the load is over.
    std::shared_ptr<SDWebImageOperation> transfer;
    {
        std::lock_guard lock(state_->mutex);
        transfer = std::move(state_->transfer);
    }
    if (transfer) transfer->cancel();
    State::deliver(state_, {nullptr, std::nullopt, SDWebImageError::cancelled(state_->address)});
}

bool SDWebImageCombinedOperation::isCancelled() const {
    return state_->cancelled.load();
}

std::shared_ptr<SDWebImageManager> SDWebImageManager::shared() {
    // Never destroyed: downloads finish on worker threads until the process exits.
    static const std::shared_ptr<SDWebImageManager>& manager =
        *new std::shared_ptr<SDWebImageManager>(create(SDWebImageDownloader::create()));
    return manager;
}

std::shared_ptr<SDWebImageManager> SDWebImageManager::create(std::shared_ptr<SDImageLoader> loader) {
    return std::shared_ptr<SDWebImageManager>(new SDWebImageManager(std::move(loader)));
}

std::shared_ptr<SDImageLoader> SDWebImageManager::imageLoader() const {
    std::lock_guard lock(mutex_);
    return loader_;
}

namespace {

// The scale of the context, when it is a positive finite number.
uikit::CGFloat scaleOf(const SDWebImageContext& context) {
    auto found = context.find(SDWebImageContextImageScaleFactor);
    if (found == context.end()) return 1.0;
    const auto* scale = std::get_if<uikit::CGFloat>(&found->second);
    if (!scale || !std::isfinite(*scale) || *scale <= 0) return 1.0;
    return *scale;
}

std::shared_ptr<SDImageTransformer> transformerOf(const SDWebImageContext& context) {
    auto found = context.find(SDWebImageContextImageTransformer);
    if (found == context.end()) return nullptr;
    const auto* transformer = std::get_if<std::shared_ptr<SDImageTransformer>>(&found->second);
    return transformer ? *transformer : nullptr;
}

bool isWebURL(const foundation::URL& url) {
    const std::string scheme = url.scheme();
    return scheme == "http" || scheme == "https";
}

}  // namespace

std::shared_ptr<SDWebImageCombinedOperation> SDWebImageManager::loadImage(const std::optional<foundation::URL>& url,
                                                                          SDWebImageOptions options,
                                                                          const SDWebImageContext& context,
                                                                          SDImageLoaderProgressBlock progress,
                                                                          SDInternalCompletionBlock completed) {
    (void)options;
    using State = SDWebImageCombinedOperation::State;
    auto state = std::make_shared<State>();
    state->url = url;
    state->address = url ? url->absoluteString() : std::string();
    state->progress = std::move(progress);
    state->completed = std::move(completed);
    auto operation = std::shared_ptr<SDWebImageCombinedOperation>(new SDWebImageCombinedOperation(state));

    if (!url || !isWebURL(*url)) {
        State::deliver(state, {nullptr, std::nullopt, SDWebImageError::invalidURL(state->address)});
        return operation;
    }

    const uikit::CGFloat scale = scaleOf(context);
    auto transformer = transformerOf(context);
    std::weak_ptr<State> weakState = state;
    auto onProgress = [weakState](std::int64_t received, std::int64_t expected) {
        auto strong = weakState.lock();
        if (!strong) return;
        dispatch::DispatchQueue::main().async([strong, received, expected] {
            if (strong->delivered.load() || strong->cancelled.load() || !strong->progress) return;
            strong->progress(received, expected, strong->url);
        });
    };
    // The loader's thread: decoding and transforming happen here, off the main queue.
    auto onData = [state, scale, transformer](std::expected<foundation::Data, foundation::Error> result) {
        {
            std::lock_guard lock(state->mutex);
            state->transfer.reset();
            state->transferEnded = true;
        }
        if (state->cancelled.load()) return;  // the cancellation reports itself
        if (!result) {
            State::deliver(state, {nullptr, std::nullopt, result.error()});
            return;
        }
        auto decoded = uikit::UIImage::decode(*result, scale);
        if (!decoded || !*decoded) {
            const foundation::Error reason =
                decoded ? foundation::Error(imageio::ImageDecodingError::corrupt("the image is empty"))
                        : decoded.error();
            State::deliver(state, {nullptr, std::move(*result), SDWebImageError::badImageData(state->address, reason)});
            return;
        }
        std::shared_ptr<uikit::UIImage> image = std::move(*decoded);
        if (transformer) {
            if (auto transformed = transformer->transformedImage(image, transformer->transformerKey())) {
                image = std::move(transformed);
            }
        }
        State::deliver(state, {std::move(image), std::move(*result), std::nullopt});
    };

    auto loader = imageLoader();
    auto transfer = loader->requestData(*url, onProgress, onData);
    {
        // A loader may answer before it returns: then there is nothing left to hold.
        std::lock_guard lock(state->mutex);
        if (!state->transferEnded) state->transfer = transfer;
    }
    // A cancel that came in while the transfer was being started could not reach it.
    if (state->cancelled.load() && transfer) {
        transfer->cancel();
        std::lock_guard lock(state->mutex);
        state->transfer.reset();
    }
    return operation;
}

}  // namespace sdwebimage
