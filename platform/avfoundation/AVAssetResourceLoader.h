#pragma once

#include <any>
#include <expected>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "dispatch/DispatchQueue.h"
#include "foundation/Data.h"
#include "foundation/Date.h"
#include "foundation/Error.h"
#include "foundation/URLRequest.h"

namespace avfoundation {

class AVAssetResourceLoader;
class AVAssetResourceLoadingRequest;
class AVAssetResourceRenewalRequest;

// Where the answer's bytes go. Safe from any thread.
class AVAssetResourceLoadingDataRequest {
  public:
    // Appends `data` to the answer.
    void respond(const foundation::Data& data);
    long long requestedOffset() const { return 0; }
    // A key request asks for the whole resource.
    bool requestsAllDataToEndOfResource() const { return true; }
    // Bytes answered so far.
    long long currentOffset() const;
    // Everything answered so far.
    foundation::Data respondedData() const;

  private:
    mutable std::mutex mutex_;  // guards data_
    foundation::Data data_;
};

// What the answer is: for a content key, when it must be renewed. Safe from any thread.
class AVAssetResourceLoadingContentInformationRequest {
  public:
    // When set on a content key's request, the player asks for the key again through the delegate's
    // renewal method when this date comes (on the one clock).
    std::optional<foundation::Date> renewalDate() const;
    void setRenewalDate(std::optional<foundation::Date> date);
    std::optional<std::string> contentType() const;
    void setContentType(std::optional<std::string> type);
    long long contentLength() const;
    void setContentLength(long long length);
    bool isByteRangeAccessSupported() const;
    void setIsByteRangeAccessSupported(bool supported);

  private:
    mutable std::mutex mutex_;  // guards everything below
    std::optional<foundation::Date> renewalDate_;
    std::optional<std::string> contentType_;
    long long contentLength_ = 0;
    bool byteRangeAccessSupported_ = false;
};

// Which of the optional parts a loading request has (the player makes key requests with both).
struct AVAssetResourceLoadingRequestParts {
    bool dataRequest = true;
    bool contentInformationRequest = true;
};

// One request of the player to the resource-loader delegate: here, always a content key named by an
// "skd://" address of the playlist. The delegate answers it once, from any thread, with `finishLoading()`
// (after `dataRequest()->respond(...)`) or `finishLoading(error)`; later answers are ignored.
class AVAssetResourceLoadingRequest : public std::enable_shared_from_this<AVAssetResourceLoadingRequest> {
  public:
    // Called once, on the thread that answers, with the answered request (not for `cancel()`).
    using FinishHandler = std::function<void(const std::shared_ptr<AVAssetResourceLoadingRequest>&)>;
    using Parts = AVAssetResourceLoadingRequestParts;

    // The player makes these; tests of delegates make their own.
    static std::shared_ptr<AVAssetResourceLoadingRequest> create(foundation::URLRequest request, Parts parts = {},
                                                                 FinishHandler onFinish = nullptr);
    virtual ~AVAssetResourceLoadingRequest() = default;

    const foundation::URLRequest& request() const { return request_; }
    const std::shared_ptr<AVAssetResourceLoadingDataRequest>& dataRequest() const { return dataRequest_; }
    const std::shared_ptr<AVAssetResourceLoadingContentInformationRequest>& contentInformationRequest() const {
        return contentInformationRequest_;
    }

    // The request data (SPC) of a content key request for the application certificate and the content
    // id: "SPC1:" + hex(SHA-256(certificate || content id)) (see avfoundation/ContentKey.h). Fails with
    // AVError::invalidKeyRequestInput when the request is not for an "skd" address, the certificate or the
    // content id is empty, or the request has already been answered or cancelled. `options` are not read.
    std::expected<foundation::Data, foundation::Error> streamingContentKeyRequestData(
        const foundation::Data& appIdentifier, const foundation::Data& contentIdentifier,
        const std::optional<std::map<std::string, std::any>>& options = std::nullopt) const;

    void finishLoading();
    void finishLoading(foundation::Error error);

    bool isFinished() const;
    bool isCancelled() const;
    // The error it was finished with.
    std::optional<foundation::Error> error() const;

    // The player no longer needs the answer: the request counts as cancelled and later answers are
    // ignored; a delegate it was handed to hears of it (`resourceLoaderDidCancel`). Returns false when it
    // was already answered.
    bool cancel();

  protected:
    AVAssetResourceLoadingRequest(foundation::URLRequest request, Parts parts, FinishHandler onFinish);

  private:
    friend class AVAssetResourceLoader;
    // Called once, on the cancelling thread, when a request still open is cancelled.
    using CancelHandler = std::function<void(const std::shared_ptr<AVAssetResourceLoadingRequest>&)>;
    // What `cancel()` tells; false (and nothing is kept) once the request is answered or cancelled.
    bool setCancelHandler(CancelHandler onCancel);
    void finish(std::optional<foundation::Error> error);

    foundation::URLRequest request_;
    std::shared_ptr<AVAssetResourceLoadingDataRequest> dataRequest_;
    std::shared_ptr<AVAssetResourceLoadingContentInformationRequest> contentInformationRequest_;
    mutable std::mutex mutex_;  // guards everything below
    FinishHandler onFinish_;
    CancelHandler onCancel_;
    bool finished_ = false;
    bool cancelled_ = false;
    std::optional<foundation::Error> error_;
};

// The request to renew a content key whose renewal date has come.
class AVAssetResourceRenewalRequest final : public AVAssetResourceLoadingRequest {
  public:
    static std::shared_ptr<AVAssetResourceRenewalRequest> create(foundation::URLRequest request, Parts parts = {},
                                                                 FinishHandler onFinish = nullptr);

  private:
    using AVAssetResourceLoadingRequest::AVAssetResourceLoadingRequest;
};

// The app's side of key loading. Called on the resource loader's delegate queue. Each method asking for
// a resource returns true when the request will be answered (now or later), false when the delegate cannot
// answer it: the player then takes the request as failed (with the error it was finished with, if any).
class AVAssetResourceLoaderDelegate {
  public:
    virtual ~AVAssetResourceLoaderDelegate() = default;
    virtual bool resourceLoaderShouldWaitForLoadingOfRequestedResource(
        const std::shared_ptr<AVAssetResourceLoader>& resourceLoader,
        const std::shared_ptr<AVAssetResourceLoadingRequest>& loadingRequest) {
        (void)resourceLoader;
        (void)loadingRequest;
        return false;
    }
    virtual bool resourceLoaderShouldWaitForRenewalOfRequestedResource(
        const std::shared_ptr<AVAssetResourceLoader>& resourceLoader,
        const std::shared_ptr<AVAssetResourceRenewalRequest>& renewalRequest) {
        (void)resourceLoader;
        (void)renewalRequest;
        return false;
    }
    // The player gave up a request it handed to the delegate before it was answered (its item failed or
    // went, or the key was asked again): whatever the delegate does to answer it may stop.
    virtual void resourceLoaderDidCancel(const std::shared_ptr<AVAssetResourceLoader>& resourceLoader,
                                         const std::shared_ptr<AVAssetResourceLoadingRequest>& loadingRequest) {
        (void)resourceLoader;
        (void)loadingRequest;
    }
};

// An asset's link to the app for resources the player cannot load itself (content keys). Holds the
// delegate weakly and its queue strongly, for as long as the asset lives. Safe from any thread.
class AVAssetResourceLoader : public std::enable_shared_from_this<AVAssetResourceLoader> {
  public:
    static std::shared_ptr<AVAssetResourceLoader> create();

    // The delegate is called on `delegateQueue`; with a delegate and no queue, on a shared background
    // queue.
    void setDelegate(std::weak_ptr<AVAssetResourceLoaderDelegate> delegate,
                     std::shared_ptr<dispatch::DispatchQueue> delegateQueue);
    std::shared_ptr<AVAssetResourceLoaderDelegate> delegate() const;
    std::shared_ptr<dispatch::DispatchQueue> delegateQueue() const;

    // The player's side: hands `request` to the delegate on its queue (the renewal method for a renewal
    // request). Without a delegate (none set, or gone) the request is failed at once with
    // AVError::contentKeyRequestFailed; a delegate that answers false without finishing the request
    // fails it the same way. A request cancelled before its turn on the queue never reaches the delegate;
    // one cancelled later, before it is answered, is handed to the delegate's `resourceLoaderDidCancel`, on
    // the same queue, after the request itself.
    void loadRequest(const std::shared_ptr<AVAssetResourceLoadingRequest>& request);

  private:
    AVAssetResourceLoader() = default;
    mutable std::mutex mutex_;  // guards delegate_ and delegateQueue_
    std::weak_ptr<AVAssetResourceLoaderDelegate> delegate_;
    std::shared_ptr<dispatch::DispatchQueue> delegateQueue_;
};

}  // namespace avfoundation
