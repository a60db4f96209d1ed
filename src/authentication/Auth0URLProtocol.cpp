#include "authentication/Auth0URLProtocol.h"

#include <algorithm>
#include <cctype>

#include "authentication/AuthConfiguration.h"
#include "kitfoundation/Utilities.h"

namespace lumora {

namespace {

std::string lowerCased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

int effectivePort(const foundation::URL& url) {
    if (auto port = url.port()) return *port;
    const std::string scheme = url.scheme();
    if (scheme == "https") return 443;
    if (scheme == "http") return 80;
    return 0;
}

std::vector<foundation::URL> configuredIdentityProvider() {
    if (auto url = AuthConfiguration::main().identityProviderURL()) return {*url};
    return {};
}

}  // namespace

Auth0URLProtocol::Auth0URLProtocol() : Auth0URLProtocol(configuredIdentityProvider()) {}

Auth0URLProtocol::Auth0URLProtocol(std::vector<foundation::URL> identityProviderURLs) {
    for (const auto& url : identityProviderURLs) {
        if (auto host = url.host(); host && !host->empty()) origins_.push_back({lowerCased(*host), effectivePort(url)});
    }
}

bool Auth0URLProtocol::canInit(const foundation::URLRequest& request) const {
    auto host = request.url.host();
    if (!host) return false;
    const std::string wanted = lowerCased(*host);
    const int port = effectivePort(request.url);
    return std::any_of(origins_.begin(), origins_.end(),
                       [&](const Origin& o) { return o.host == wanted && o.port == port; });
}

foundation::URLRequest Auth0URLProtocol::canonicalRequest(const foundation::URLRequest& request) const {
    foundation::URLRequest canonical = request;
    canonical.setValue(userAgent(), "User-Agent");
    return canonical;
}

const std::string& Auth0URLProtocol::userAgent() {
    // Never destroyed: requests are rewritten on any thread until the process exits.
    static const std::string& value = *new std::string(md5("agent/ios/sdk/Lumora"));
    return value;
}

}  // namespace lumora
