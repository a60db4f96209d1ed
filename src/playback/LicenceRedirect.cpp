#include "playback/LicenceRedirect.h"

#include <memory>
#include <utility>

#include "foundation/URLSession.h"

namespace lumora {

namespace {

// Rewrites "https://<host>/rest" to "<baseURL>/rest".
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

}  // namespace

LicenceRedirect::LicenceRedirect(std::string host, std::string baseURL) {
    const auto registry = foundation::URLProtocolRegistry::shared();
    registry->unregisterClass<LicenceRedirectProtocol>();
    registry->registerClass(std::make_shared<LicenceRedirectProtocol>(std::move(host), std::move(baseURL)));
}

LicenceRedirect::~LicenceRedirect() {
    foundation::URLProtocolRegistry::shared()->unregisterClass<LicenceRedirectProtocol>();
}

}  // namespace lumora
