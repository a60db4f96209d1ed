#include "playback/DRMAssetResourceLoader.h"

#include <algorithm>

#include "foundation/URL.h"
#include "foundation/URLError.h"

namespace lumora {

namespace {

// Fails a request with a DRMError (bridged: domain "Lumora.DRMError", code = raw value).
void fail(const std::shared_ptr<avfoundation::AVAssetResourceLoadingRequest>& request, DRMError error) {
    request->finishLoading(foundation::Error(std::move(error)));
}

// What the key request lacks, when it cannot become a licence request.
std::optional<std::string> missingPart(bool contentId, bool keyId, bool host, bool dataRequest) {
    if (!contentId) return "the key address has no contentId";
    if (!keyId) return "the key address has no keyId";
    if (!host) return "the key address has no host";
    if (!dataRequest) return "the key request has no data request";
    return std::nullopt;
}

std::optional<std::string> firstQueryValue(const foundation::URLComponents& components, std::string_view name) {
    if (!components.queryItems) return std::nullopt;
    const auto& items = *components.queryItems;
    auto it =
        std::find_if(items.begin(), items.end(), [&](const foundation::URLQueryItem& i) { return i.name == name; });
    if (it == items.end()) return std::nullopt;
    return it->value;
}

}  // namespace

std::shared_ptr<DRMAssetResourceLoader> DRMAssetResourceLoader::create(StreamDRMSettings settings) {
    return std::shared_ptr<DRMAssetResourceLoader>(new DRMAssetResourceLoader(std::move(settings)));
}

bool DRMAssetResourceLoader::resourceLoaderShouldWaitForLoadingOfRequestedResource(
    const std::shared_ptr<avfoundation::AVAssetResourceLoader>& resourceLoader,
    const std::shared_ptr<avfoundation::AVAssetResourceLoadingRequest>& loadingRequest) {
    (void)resourceLoader;
    return handleKeyRequest(loadingRequest);
}

bool DRMAssetResourceLoader::resourceLoaderShouldWaitForRenewalOfRequestedResource(
    const std::shared_ptr<avfoundation::AVAssetResourceLoader>& resourceLoader,
    const std::shared_ptr<avfoundation::AVAssetResourceRenewalRequest>& renewalRequest) {
    (void)resourceLoader;
    return handleKeyRequest(renewalRequest);
}

void DRMAssetResourceLoader::resourceLoaderDidCancel(
    const std::shared_ptr<avfoundation::AVAssetResourceLoader>& resourceLoader,
    const std::shared_ptr<avfoundation::AVAssetResourceLoadingRequest>& loadingRequest) {
    (void)resourceLoader;
    std::shared_ptr<foundation::URLSessionDataTask> abandoned;
    {
        std::lock_guard lock(mutex_);
        auto it = std::find_if(inFlight_.begin(), inFlight_.end(),
                               [&](const auto& entry) { return entry.first == loadingRequest.get(); });
        if (it == inFlight_.end()) return;  // answered meanwhile, or its licence request not sent yet
        abandoned = std::move(it->second);
        inFlight_.erase(it);
    }
    abandoned->cancel();
}

DRMAssetResourceLoader::~DRMAssetResourceLoader() {
    // Nobody is left to hear the answers: the requests under way stop (their key requests are failed as
    // cancelled by their completions).
    for (auto& [request, task] : inFlight_) task->cancel();
}

std::shared_ptr<foundation::URLSessionDataTask> DRMAssetResourceLoader::task() const {
    std::lock_guard lock(mutex_);
    return task_;
}

std::optional<foundation::Date> DRMAssetResourceLoader::nextExpectedRenewalDate() const {
    std::lock_guard lock(mutex_);
    return nextExpectedRenewalDate_;
}

bool DRMAssetResourceLoader::handleKeyRequest(
    const std::shared_ptr<avfoundation::AVAssetResourceLoadingRequest>& request) {
    // 1. The ids and the host of the key address.
    const foundation::URLComponents components(request->request().url);
    const auto contentId = firstQueryValue(components, "contentId");
    const auto keyId = firstQueryValue(components, "keyId");
    const auto host = components.host;
    if (auto missing = missingPart(contentId.has_value(), keyId.has_value(), host.has_value(),
                                   request->dataRequest() != nullptr)) {
        fail(request, DRMError(DRMError::invalidKeyRequest, *missing + "; no licence was requested"));
        return false;
    }

    // 2. The request data, from the certificate (downloaded on this queue) and the content id.
    auto spc = requestBuilder_.keyRequestData(*request, *contentId, settings_.certificateURL);
    if (!spc) {
        fail(request, std::move(spc.error()));
        return false;
    }

    // 3. The licence address on the key address's host and path. The ids are query values: encoded, so
    // that an id holding "&" or "#" cannot change the address (ordinary ids are unchanged).
    const std::string address = "https://" + *host + components.path +
                                "?contentId=" + foundation::percentEncoded(*contentId) +
                                "&keyId=" + foundation::percentEncoded(*keyId);
    const auto licenseURL = foundation::URL::fromString(address);
    if (!licenseURL) {
        fail(request, DRMError(DRMError::invalidLicenseURL,
                               "the licence address made from the key address is not a URL; no licence was requested"));
        return false;
    }

    // 4. The token; the request waits unless the token source has already failed it.
    auto wait = std::make_shared<std::atomic<bool>>(true);
    auto answered = std::make_shared<std::atomic<bool>>(false);
    std::weak_ptr<DRMAssetResourceLoader> weak = weak_from_this();
    auto completion = [weak, request, url = *licenseURL, spc = std::move(*spc), wait,
                       answered](std::optional<std::string> token) {
        if (answered->exchange(true)) return;  // a token source that calls back twice
        if (!token) {
            fail(request, DRMError(DRMError::missingToken,
                                   "the token source gave no token for the licence request; no licence was requested"));
            wait->store(false);
            return;
        }
        auto self = weak.lock();
        if (!self) {
            // Nobody is left to handle the licence: say so instead of leaving the request open.
            request->finishLoading(foundation::Error(foundation::URLError::make(foundation::URLError::cancelled)));
            wait->store(false);
            return;
        }
        foundation::URLRequest licenseRequest(url, licenseRequestTimeout);
        licenseRequest.httpMethod = "POST";
        licenseRequest.httpBody = spc;
        licenseRequest.addValue("Bearer " + *token, "Authorization");
        // Under the lock, so that a cancellation either comes before (nothing is sent) or finds the task.
        std::lock_guard lock(self->mutex_);
        if (request->isCancelled()) return;
        ++self->requestsUnanswered_;
        auto task =
            self->service_.sendLicenseRequest(licenseRequest, [weak, request](DRMService::LicenseResult result) {
                handleLicenseResult(weak, request, std::move(result));
            });
        self->inFlight_.emplace_back(request.get(), task);
        self->task_ = std::move(task);
    };
    if (settings_.jwt) {
        settings_.jwt(std::move(completion));
    } else {
        completion(std::nullopt);
    }
    return wait->load();
}

void DRMAssetResourceLoader::handleLicenseResult(
    const std::weak_ptr<DRMAssetResourceLoader>& weak,
    const std::shared_ptr<avfoundation::AVAssetResourceLoadingRequest>& request, DRMService::LicenseResult result) {
    auto self = weak.lock();
    if (self) {
        std::lock_guard lock(self->mutex_);
        std::erase_if(self->inFlight_, [&](const auto& entry) { return entry.first == request.get(); });
    }
    if (request->isCancelled()) {
        // Given up by the player: not a licence failure, and nobody waits for the answer.
        if (self) --self->requestsUnanswered_;
        return;
    }
    if (result) {
        const foundation::Date renewalDate = foundation::Date::now() + result->renewalInterval;
        if (auto information = request->contentInformationRequest()) information->setRenewalDate(renewalDate);
        if (self) {
            std::lock_guard lock(self->mutex_);
            self->nextExpectedRenewalDate_ = renewalDate;
        }
        if (self) --self->requestsUnanswered_;
        if (auto data = request->dataRequest()) data->respond(result->ckc);
        request->finishLoading();
        return;
    }
    if (self) {
        {
            std::lock_guard lock(self->mutex_);
            self->nextExpectedRenewalDate_.reset();
        }
        const DRMError* drm = result.error().as<DRMError>();
        self->statePublisher_.onNext(drm ? std::optional<DRMError>(*drm) : std::nullopt);
        --self->requestsUnanswered_;
    }
    request->finishLoading(result.error());
}

}  // namespace lumora
