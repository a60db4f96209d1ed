#include "playservice/StreamDRMSettingsProvider.h"

#include <atomic>

namespace lumora {

namespace {

const std::optional<std::string>& nothing() {
    static const auto* none = new std::optional<std::string>();  // never destroyed
    return *none;
}

}  // namespace

std::shared_ptr<StreamDRMSettingsProvider> StreamDRMSettingsProvider::create(AccessTokenSource tokenSource) {
    if (!tokenSource) tokenSource = defaultAccessTokenSource();
    return std::shared_ptr<StreamDRMSettingsProvider>(new StreamDRMSettingsProvider(std::move(tokenSource)));
}

std::optional<StreamDRMSettings> StreamDRMSettingsProvider::settings(const AssetStreamContent& content) {
    if (!content.isDRMProtected || !content.drmCertificateURLString) return std::nullopt;
    auto self = shared_from_this();
    return StreamDRMSettings(*content.drmCertificateURLString, [self](StreamDRMSettings::TokenCompletion completion) {
        self->fetchToken(std::move(completion));
    });
}

void StreamDRMSettingsProvider::fetchToken(StreamDRMSettings::TokenCompletion completion) {
    if (!completion) return;
    // The completion runs once: with the first token, or with nothing when the source fails or ends
    // without one, so the key request that waits for it is answered either way.
    struct Once {
        std::atomic<bool> done{false};
        StreamDRMSettings::TokenCompletion completion;
        void operator()(const std::optional<std::string>& token) {
            if (!done.exchange(true)) completion(token);
        }
    };
    auto once = std::make_shared<Once>();
    once->completion = std::move(completion);
    tokenSource_()
        .subscribe([once](const std::optional<std::string>& token) { (*once)(token); },
                   [once](const foundation::Error&) { (*once)(nothing()); }, [once] { (*once)(nothing()); })
        .disposed(disposeBag_);
}

}  // namespace lumora
