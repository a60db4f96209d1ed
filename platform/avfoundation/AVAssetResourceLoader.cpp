#include "avfoundation/AVAssetResourceLoader.h"

#include "avfoundation/AVError.h"
#include "avfoundation/ContentKey.h"

namespace avfoundation {

// ---- Data and content-information requests ----

void AVAssetResourceLoadingDataRequest::respond(const foundation::Data& data) {
    std::lock_guard lock(mutex_);
    data_.insert(data_.end(), data.begin(), data.end());
}

long long AVAssetResourceLoadingDataRequest::currentOffset() const {
    std::lock_guard lock(mutex_);
    return static_cast<long long>(data_.size());
}

foundation::Data AVAssetResourceLoadingDataRequest::respondedData() const {
    std::lock_guard lock(mutex_);
    return data_;
}

std::optional<foundation::Date> AVAssetResourceLoadingContentInformationRequest::renewalDate() const {
    std::lock_guard lock(mutex_);
    return renewalDate_;
}
void AVAssetResourceLoadingContentInformationRequest::setRenewalDate(std::optional<foundation::Date> date) {
    std::lock_guard lock(mutex_);
    renewalDate_ = date;
}
std::optional<std::string> AVAssetResourceLoadingContentInformationRequest::contentType() const {
    std::lock_guard lock(mutex_);
    return contentType_;
}
void AVAssetResourceLoadingContentInformationRequest::setContentType(std::optional<std::string> type) {
    std::lock_guard lock(mutex_);
    contentType_ = std::move(type);
}
long long AVAssetResourceLoadingContentInformationRequest::contentLength() const {
    std::lock_guard lock(mutex_);
    return contentLength_;
}
void AVAssetResourceLoadingContentInformationRequest::setContentLength(long long length) {
    std::lock_guard lock(mutex_);
    contentLength_ = length;
}
bool AVAssetResourceLoadingContentInformationRequest::isByteRangeAccessSupported() const {
    std::lock_guard lock(mutex_);
    return byteRangeAccessSupported_;
}
void AVAssetResourceLoadingContentInformationRequest::setIsByteRangeAccessSupported(bool supported) {
    std::lock_guard lock(mutex_);
    byteRangeAccessSupported_ = supported;
}

// ---- Loading requests ----

AVAssetResourceLoadingRequest::AVAssetResourceLoadingRequest(foundation::URLRequest request, Parts parts,
                                                             FinishHandler onFinish)
    : request_(std::move(request)), onFinish_(std::move(onFinish)) {
    if (parts.dataRequest) dataRequest_ = std::make_shared<AVAssetResourceLoadingDataRequest>();
    if (parts.contentInformationRequest) {
        contentInformationRequest_ = std::make_shared<AVAssetResourceLoadingContentInformationRequest>();
    }
}

std::shared_ptr<AVAssetResourceLoadingRequest> AVAssetResourceLoadingRequest::create(foundation::URLRequest request,
                                                                                     Parts parts,
                                                                                     FinishHandler onFinish) {
    return std::shared_ptr<AVAssetResourceLoadingRequest>(
        new AVAssetResourceLoadingRequest(std::move(request), parts, std::move(onFinish)));
}

std::shared_ptr<AVAssetResourceRenewalRequest> AVAssetResourceRenewalRequest::create(foundation::URLRequest request,
                                                                                     Parts parts,
                                                                                     FinishHandler onFinish) {
    return std::shared_ptr<AVAssetResourceRenewalRequest>(
        new AVAssetResourceRenewalRequest(std::move(request), parts, std::move(onFinish)));
}

std::expected<foundation::Data, foundation::Error> AVAssetResourceLoadingRequest::streamingContentKeyRequestData(
    const foundation::Data& appIdentifier, const foundation::Data& contentIdentifier,
    const std::optional<std::map<std::string, std::any>>& options) const {
    (void)options;
    auto refuse = [](const char* why) {
        return std::unexpected(foundation::Error(AVError::make(AVError::invalidKeyRequestInput, why)));
    };
    if (request_.url.scheme() != "skd") return refuse("The request is not a content key request.");
    if (appIdentifier.empty()) return refuse("The application certificate is empty.");
    if (contentIdentifier.empty()) return refuse("The content identifier is empty.");
    if (isFinished() || isCancelled()) return refuse("The request has already been answered.");
    return contentkey::serverPlaybackContext(appIdentifier, contentIdentifier);
}

void AVAssetResourceLoadingRequest::finishLoading() {
    finish(std::nullopt);
}

void AVAssetResourceLoadingRequest::finishLoading(foundation::Error error) {
    finish(std::move(error));
}

void AVAssetResourceLoadingRequest::finish(std::optional<foundation::Error> error) {
    FinishHandler handler;
    CancelHandler dropped;
    {
        std::lock_guard lock(mutex_);
        if (finished_ || cancelled_) return;
        finished_ = true;
        error_ = std::move(error);
        handler = std::move(onFinish_);
        onFinish_ = nullptr;
        dropped = std::move(onCancel_);
        onCancel_ = nullptr;
    }
    if (handler) handler(shared_from_this());
}

bool AVAssetResourceLoadingRequest::setCancelHandler(CancelHandler onCancel) {
    std::lock_guard lock(mutex_);
    if (finished_ || cancelled_) return false;
    onCancel_ = std::move(onCancel);
    return true;
}

bool AVAssetResourceLoadingRequest::isFinished() const {
    std::lock_guard lock(mutex_);
    return finished_;
}

bool AVAssetResourceLoadingRequest::isCancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

std::optional<foundation::Error> AVAssetResourceLoadingRequest::error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

bool AVAssetResourceLoadingRequest::cancel() {
    FinishHandler dropped;
    CancelHandler tell;
    {
        std::lock_guard lock(mutex_);
        if (finished_ || cancelled_) return false;
        cancelled_ = true;
        dropped = std::move(onFinish_);
        onFinish_ = nullptr;
        tell = std::move(onCancel_);
        onCancel_ = nullptr;
    }
    if (tell) tell(shared_from_this());
    return true;
}

// ---- The loader ----

std::shared_ptr<AVAssetResourceLoader> AVAssetResourceLoader::create() {
    return std::shared_ptr<AVAssetResourceLoader>(new AVAssetResourceLoader());
}

void AVAssetResourceLoader::setDelegate(std::weak_ptr<AVAssetResourceLoaderDelegate> delegate,
                                        std::shared_ptr<dispatch::DispatchQueue> delegateQueue) {
    std::lock_guard lock(mutex_);
    delegate_ = std::move(delegate);
    delegateQueue_ = std::move(delegateQueue);
}

std::shared_ptr<AVAssetResourceLoaderDelegate> AVAssetResourceLoader::delegate() const {
    std::lock_guard lock(mutex_);
    return delegate_.lock();
}

std::shared_ptr<dispatch::DispatchQueue> AVAssetResourceLoader::delegateQueue() const {
    std::lock_guard lock(mutex_);
    return delegateQueue_;
}

void AVAssetResourceLoader::loadRequest(const std::shared_ptr<AVAssetResourceLoadingRequest>& request) {
    std::weak_ptr<AVAssetResourceLoaderDelegate> weakDelegate;
    std::shared_ptr<dispatch::DispatchQueue> queue;
    {
        std::lock_guard lock(mutex_);
        weakDelegate = delegate_;
        queue = delegateQueue_;
    }
    auto noDelegate = [](const std::shared_ptr<AVAssetResourceLoadingRequest>& r) {
        r->finishLoading(AVError::make(AVError::contentKeyRequestFailed,
                                       "No resource-loader delegate answers the content key request."));
    };
    if (!weakDelegate.lock()) {
        noDelegate(request);
        return;
    }
    auto post = [queue](dispatch::Block block) {
        (queue ? *queue : dispatch::DispatchQueue::global()).async(std::move(block));
    };
    post([self = shared_from_this(), weakDelegate, request, noDelegate, post] {
        auto delegate = weakDelegate.lock();
        if (!delegate) {
            noDelegate(request);
            return;
        }
        // Given up before the delegate had it: there is nothing for the delegate to start, nor to stop.
        if (request->isCancelled()) return;
        bool wait = false;
        if (auto renewal = std::dynamic_pointer_cast<AVAssetResourceRenewalRequest>(request)) {
            wait = delegate->resourceLoaderShouldWaitForRenewalOfRequestedResource(self, renewal);
        } else {
            wait = delegate->resourceLoaderShouldWaitForLoadingOfRequestedResource(self, request);
        }
        if (!wait) {
            // Ignored when the delegate has already failed it with its own error.
            request->finishLoading(AVError::make(AVError::contentKeyRequestFailed,
                                                 "The resource-loader delegate declined the content key request."));
        }
        // Only now may a cancel be handed back, so it reaches the delegate after the request itself even on
        // the shared queue, whose blocks run side by side. One that came while the delegate had the request
        // is told here, on the same queue.
        auto tell = [self, weakDelegate](const std::shared_ptr<AVAssetResourceLoadingRequest>& cancelled) {
            if (auto delegate = weakDelegate.lock()) delegate->resourceLoaderDidCancel(self, cancelled);
        };
        const bool heard = request->setCancelHandler(
            [post, tell](const auto& cancelled) { post([tell, cancelled] { tell(cancelled); }); });
        if (!heard && request->isCancelled()) tell(request);
    });
}

}  // namespace avfoundation
