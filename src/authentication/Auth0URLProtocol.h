#pragma once

#include <string>
#include <vector>

#include "foundation/URL.h"
#include "foundation/URLSession.h"

namespace lumora {

// The URL-protocol class of the identity provider's requests. Once registered
//
//   foundation::URLProtocolRegistry::shared()->registerClass<lumora::Auth0URLProtocol>();
//
// every request to the identity provider's host (and port) carries the kit's "User-Agent" header, the
// MD5 digest of "agent/ios/sdk/Lumora"; other requests are left alone. Registering again does nothing.
class Auth0URLProtocol final : public foundation::URLProtocol {
  public:
    // For the identity provider of the main bundle's configuration.
    Auth0URLProtocol();
    // For these addresses: a request matches when its host (without regard to case) and port (the
    // scheme's default when none is written) equal those of one of them.
    explicit Auth0URLProtocol(std::vector<foundation::URL> identityProviderURLs);

    bool canInit(const foundation::URLRequest& request) const override;
    foundation::URLRequest canonicalRequest(const foundation::URLRequest& request) const override;

    // The header value: md5("agent/ios/sdk/Lumora").
    static const std::string& userAgent();

  private:
    struct Origin {
        std::string host;
        int port = 0;
    };
    std::vector<Origin> origins_;
};

}  // namespace lumora
