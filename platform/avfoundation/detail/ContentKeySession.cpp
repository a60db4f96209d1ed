#include "avfoundation/detail/ContentKeySession.h"

#include <algorithm>
#include <cmath>

#include "avfoundation/AVError.h"
#include "avfoundation/ContentKey.h"
#include "avfoundation/detail/ItemLogs.h"
#include "dispatch/DispatchQueue.h"

namespace avfoundation::detail {

ContentKeySession::ContentKeySession(Delegate& delegate, ItemLogs& logs) : delegate_(delegate), logs_(logs) {}

ContentKeySession::~ContentKeySession() {
    pauseRenewals();
    for (auto& key : keys_) {
        if (key.outstanding) key.outstanding->cancel();
    }
}

std::expected<std::vector<KeyId>, foundation::Error> ContentKeySession::add(const std::vector<hls::Key>& keys) {
    std::vector<KeyId> ids;
    ids.reserve(keys.size());
    std::vector<KeyId> fresh;
    for (const auto& key : keys) {
        if (!key.uri) return std::unexpected(AVError::make(AVError::unsupportedKeyMethod, "A key has no address."));
        if (auto known = byURI_.find(*key.uri); known != byURI_.end()) {
            ids.push_back(known->second);
            continue;
        }
        const auto url = foundation::URL::fromString(*key.uri);
        if (!url || url->scheme() != "skd") {
            return std::unexpected(AVError::make(AVError::unsupportedKeyMethod,
                                                 "The key " + *key.uri + " (METHOD=" + key.method +
                                                     ") cannot be used: only skd:// content keys are supported."));
        }
        KeyId id = 0;
        if (freeIds_.empty()) {
            id = static_cast<KeyId>(keys_.size());
            keys_.push_back(Key{.uri = *key.uri});
        } else {
            id = freeIds_.back();
            freeIds_.pop_back();
            keys_[id].uri = *key.uri;
        }
        byURI_.emplace(*key.uri, id);
        ids.push_back(id);
        fresh.push_back(id);
    }
    for (KeyId id : fresh) ask(id, false);
    return ids;
}

void ContentKeySession::ask(KeyId id, bool renewal) {
    Key& key = keys_[id];
    auto url = foundation::URL::fromString(key.uri);
    if (!url) return;
    std::weak_ptr<ContentKeySession> weak = self_;
    auto onFinish = [weak, id](const std::shared_ptr<AVAssetResourceLoadingRequest>& request) {
        // On the delegate's queue: the answer is handled on the main queue.
        dispatch::DispatchQueue::main().async([weak, id, request] {
            if (auto self = weak.lock()) self->didAnswer(id, request);
        });
    };
    foundation::URLRequest request(*url);
    std::shared_ptr<AVAssetResourceLoadingRequest> loading;
    if (renewal) {
        loading = AVAssetResourceRenewalRequest::create(request, {}, onFinish);
    } else {
        loading = AVAssetResourceLoadingRequest::create(request, {}, onFinish);
    }
    if (key.outstanding) key.outstanding->cancel();
    key.outstanding = loading;
    logs_.countRequest(0, 0);
    if (resourceLoader_) {
        resourceLoader_->loadRequest(loading);
    } else {
        loading->finishLoading(AVError::make(AVError::contentKeyRequestFailed, "The asset has no resource loader."));
    }
}

void ContentKeySession::didAnswer(KeyId id, const std::shared_ptr<AVAssetResourceLoadingRequest>& request) {
    Key& key = keys_[id];
    if (key.outstanding != request) return;  // cancelled, or replaced by a later request
    key.outstanding.reset();
    if (auto error = request->error()) {
        delegate_.keySessionDidFail(AVError::make(
            AVError::contentKeyRequestFailed,
            "The content key request for " + key.uri + " failed: " + error->localizedDescription(), *error));
        return;
    }
    const foundation::Data answer =
        request->dataRequest() ? request->dataRequest()->respondedData() : foundation::Data();
    if (!contentkey::isContentKeyContext(answer)) {
        delegate_.keySessionDidFail(
            AVError::make(AVError::invalidContentKey,
                          "The answer to the content key request for " + key.uri + " is not a content key."));
        return;
    }
    if (!key.answered) ++answered_;
    key.answered = true;
    key.renewalDate =
        request->contentInformationRequest() ? request->contentInformationRequest()->renewalDate() : std::nullopt;
    // A date that is not a time is no renewal date.
    if (key.renewalDate && !std::isfinite(key.renewalDate->timeIntervalSince1970())) key.renewalDate.reset();
    scheduleRenewal(id);
    delegate_.keySessionDidAnswer();
}

void ContentKeySession::scheduleRenewal(KeyId id) {
    Key& key = keys_[id];
    if (key.renewalTimer) dispatch::RunLoop::main().cancel(key.renewalTimer);
    key.renewalTimer = 0;
    if (!key.renewalDate || !delegate_.keySessionMayAsk()) return;
    // A date in the past renews at once; one too far away for the clock never falls due.
    const double seconds = key.renewalDate->timeIntervalSince(foundation::Date::now());
    const auto due = dispatch::saturatingAdd(dispatch::Clock::current()->now(), std::max(seconds, 0.0));
    std::weak_ptr<ContentKeySession> weak = self_;
    key.renewalTimer = dispatch::RunLoop::main().schedule(due, [weak, id] {
        auto self = weak.lock();
        if (!self) return;
        Key& k = self->keys_[id];
        k.renewalTimer = 0;
        k.renewalDate.reset();
        if (self->delegate_.keySessionMayAsk()) self->ask(id, true);
    });
}

void ContentKeySession::retireUnused(const std::function<bool(KeyId)>& inUse) {
    for (KeyId id = 0; id < keys_.size(); ++id) {
        if (!keys_[id].uri.empty() && !inUse(id)) retire(id);
    }
}

void ContentKeySession::retire(KeyId id) {
    Key& key = keys_[id];
    if (key.renewalTimer) dispatch::RunLoop::main().cancel(key.renewalTimer);
    // An answer still on its way finds no request of its own here and is dropped.
    if (key.outstanding) key.outstanding->cancel();
    if (key.answered) --answered_;
    byURI_.erase(key.uri);
    key = Key{};
    freeIds_.push_back(id);
}

void ContentKeySession::resumeRenewals() {
    for (KeyId id = 0; id < keys_.size(); ++id) {
        if (keys_[id].renewalDate && !keys_[id].renewalTimer) scheduleRenewal(id);
    }
}

void ContentKeySession::pauseRenewals() {
    for (auto& key : keys_) {
        if (key.renewalTimer) dispatch::RunLoop::main().cancel(key.renewalTimer);
        key.renewalTimer = 0;
    }
}

void ContentKeySession::cancelAll() {
    pauseRenewals();
    for (auto& key : keys_) {
        if (key.outstanding) key.outstanding->cancel();
        key.outstanding.reset();
        key.renewalDate.reset();
    }
}

}  // namespace avfoundation::detail
