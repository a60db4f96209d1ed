#pragma once

#include <memory>
#include <optional>

#include "playservice/AccessTokenSource.h"
#include "playservice/AssetStreamContent.h"
#include "playservice/StreamDRMSettings.h"
#include "rx/Disposables.h"

namespace lumora {

class StreamDRMSettingsProviderInterface {
  public:
    virtual ~StreamDRMSettingsProviderInterface() = default;
    virtual std::optional<StreamDRMSettings> settings(const AssetStreamContent& content) = 0;
};

// Gives a protected stream its FairPlay settings; the player screen owns one.
class StreamDRMSettingsProvider final : public StreamDRMSettingsProviderInterface,
                                        public std::enable_shared_from_this<StreamDRMSettingsProvider> {
  public:
    // `tokenSource`: the access-token source (the shared authentication manager's when nothing is given).
    static std::shared_ptr<StreamDRMSettingsProvider> create(AccessTokenSource tokenSource = nullptr);

    // Settings with the content's certificate address and this provider's token source when the content
    // is protected and has a certificate address; otherwise nothing.
    std::optional<StreamDRMSettings> settings(const AssetStreamContent& content) override;

    // Asks the token source for the current token (refreshed first when due) and hands it to the
    // completion, once: the token, nothing when nobody is signed in, and nothing when the source fails
    // (so the key request fails at once instead of waiting for ever). The completion runs on the queue the
    // token source answers on. Nothing is cached.
    void fetchToken(StreamDRMSettings::TokenCompletion completion);

  private:
    explicit StreamDRMSettingsProvider(AccessTokenSource tokenSource) : tokenSource_(std::move(tokenSource)) {}
    AccessTokenSource tokenSource_;
    rx::DisposeBag disposeBag_;
};

}  // namespace lumora
