#pragma once

// Test and demo support: the key loader addresses its licence requests to "https://" + the key
// address's host, with no port; a local back end answers plain http on a port of its own. While a
// LicenceRedirect lives, requests of the shared URL session stack to https://<host>/... go to
// <baseURL>/... instead (path and query kept).
//
//   lumora::testing::LicenceRedirect redirect("127.0.0.1", server->baseURL());
#include <memory>
#include <string>
#include <utility>

#include "foundation/URLSession.h"

namespace lumora::testing {

class LicenceRedirectProtocol final : public foundation::URLProtocol {
  public:
    LicenceRedirectProtocol(std::string host, std::string baseURL)
        : prefix_("https://" + std::move(host) + "/"), baseURL_(std::move(baseURL)) {}

    bool canInit(const foundation::URLRequest& request) const override {
        return request.url.absoluteString().starts_with(prefix_);
    }
    foundation::URLRequest canonicalRequest(const foundation::URLRequest& request) const override {
        auto rewritten = request;
        const std::string rest = request.url.absoluteString().substr(prefix_.size() - 1);
        if (auto url = foundation::URL::fromString(baseURL_ + rest)) rewritten.url = *url;
        return rewritten;
    }

  private:
    std::string prefix_;
    std::string baseURL_;
};

class LicenceRedirect {
  public:
    LicenceRedirect(std::string host, std::string baseURL) {
        foundation::URLProtocolRegistry::shared()->unregisterClass<LicenceRedirectProtocol>();
        foundation::URLProtocolRegistry::shared()->registerClass(
            std::make_shared<LicenceRedirectProtocol>(std::move(host), std::move(baseURL)));
    }
    ~LicenceRedirect() { foundation::URLProtocolRegistry::shared()->unregisterClass<LicenceRedirectProtocol>(); }
    LicenceRedirect(const LicenceRedirect&) = delete;
    LicenceRedirect& operator=(const LicenceRedirect&) = delete;
};

}  // namespace lumora::testing
