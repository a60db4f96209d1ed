#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "avfoundation/AVAssetResourceLoader.h"
#include "foundation/Date.h"
#include "foundation/URLSession.h"
#include "playback/DRMError.h"
#include "playback/DRMRequestBuilder.h"
#include "playback/DRMService.h"
#include "playservice/StreamDRMSettings.h"
#include "rx/Subjects.h"

namespace lumora {

// Answers the FairPlay key requests of a protected HLS stream, as the resource-loader delegate of the
// stream's asset: for each request (first load and renewal alike) it reads the content and key ids from
// the key address, makes the request data (SPC) from the certificate, asks the settings' token source
// for a token, posts the SPC to the licence server and answers the platform with the key (CKC) and a
// renewal date.
//
// The key address skd://HOST/PATH?contentId=A&keyId=B leads to a POST to
// "https://" + HOST + PATH + "?contentId=" + A + "&keyId=" + B (A and B percent-encoded as query values;
// the key address's scheme, port and other query items are dropped) with the SPC as body, the header
// "Authorization" = "Bearer " + token and a 60-second time-out.
//
// A key request the player gives up (`resourceLoaderDidCancel`) aborts its licence request (or is never
// sent one, when the token is still on its way), and so does releasing the loader: nothing is left waiting
// on the licence server for nobody. A request given up is not a licence failure: nothing is published.
//
// Threads: key requests arrive on the asset's delegate queue, the token on the token source's queue and
// the licence answer on its session's queue, while the player reads the state on the main thread: every
// field is guarded, and the accessors return copies.
class DRMAssetResourceLoader final : public avfoundation::AVAssetResourceLoaderDelegate,
                                     public std::enable_shared_from_this<DRMAssetResourceLoader> {
  public:
    static constexpr double licenseRequestTimeout = 60.0;

    static std::shared_ptr<DRMAssetResourceLoader> create(StreamDRMSettings settings);

    bool resourceLoaderShouldWaitForLoadingOfRequestedResource(
        const std::shared_ptr<avfoundation::AVAssetResourceLoader>& resourceLoader,
        const std::shared_ptr<avfoundation::AVAssetResourceLoadingRequest>& loadingRequest) override;
    bool resourceLoaderShouldWaitForRenewalOfRequestedResource(
        const std::shared_ptr<avfoundation::AVAssetResourceLoader>& resourceLoader,
        const std::shared_ptr<avfoundation::AVAssetResourceRenewalRequest>& renewalRequest) override;
    void resourceLoaderDidCancel(
        const std::shared_ptr<avfoundation::AVAssetResourceLoader>& resourceLoader,
        const std::shared_ptr<avfoundation::AVAssetResourceLoadingRequest>& loadingRequest) override;

    ~DRMAssetResourceLoader() override;

    // The last licence request sent (an earlier one is released, not cancelled).
    std::shared_ptr<foundation::URLSessionDataTask> task() const;
    const StreamDRMSettings& settings() const { return settings_; }
    // The last licence failure (nothing until the first); only failures of licence answers are published.
    const rx::BehaviorSubject<std::optional<DRMError>>& statePublisher() const { return statePublisher_; }
    // When the current key is due for renewal; nothing before the first licence and after a failed one.
    std::optional<foundation::Date> nextExpectedRenewalDate() const;
    // True while a licence request sent is unanswered: from the moment one is sent until the answers of all
    // those sent are handled (the keys of a stream are asked side by side: the first answer leaves the others
    // under way).
    bool isRequestingResource() const { return requestsUnanswered_.load() > 0; }

  private:
    explicit DRMAssetResourceLoader(StreamDRMSettings settings) : settings_(std::move(settings)) {}

    bool handleKeyRequest(const std::shared_ptr<avfoundation::AVAssetResourceLoadingRequest>& request);
    static void handleLicenseResult(const std::weak_ptr<DRMAssetResourceLoader>& weak,
                                    const std::shared_ptr<avfoundation::AVAssetResourceLoadingRequest>& request,
                                    DRMService::LicenseResult result);

    const StreamDRMSettings settings_;
    const DRMRequestBuilder requestBuilder_{};
    const DRMService service_{};
    rx::BehaviorSubject<std::optional<DRMError>> statePublisher_{std::nullopt};
    mutable std::mutex mutex_;  // guards task_ and nextExpectedRenewalDate_
    std::shared_ptr<foundation::URLSessionDataTask> task_;
    // The licence requests under way, by the key request they answer; guarded by mutex_.
    std::vector<
        std::pair<const avfoundation::AVAssetResourceLoadingRequest*, std::shared_ptr<foundation::URLSessionDataTask>>>
        inFlight_;
    std::optional<foundation::Date> nextExpectedRenewalDate_;
    // Licence requests sent whose answers are not handled yet.
    std::atomic<int> requestsUnanswered_{0};
};

}  // namespace lumora
