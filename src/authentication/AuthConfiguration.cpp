#include "authentication/AuthConfiguration.h"

namespace lumora {

AuthConfiguration AuthConfiguration::resolve(const Source& infoPlist,
                                             const std::optional<auth0::ClientInfo>& auth0Resource,
                                             const std::optional<std::string>& bundleIdentifier) {
    auto setting = [&](std::string_view key, std::string_view fallback) {
        auto value = infoPlist ? infoPlist(key) : std::nullopt;
        return value && !value->empty() ? *value : std::string(fallback);
    };
    AuthConfiguration c;
    if (auth0Resource) {
        c.clientId = auth0Resource->clientId;
        c.domain = auth0Resource->domain;
    } else {
        c.clientId = setting("SDK_Auth0ClientId", defaultClientId);
        c.domain = setting("SDK_Auth0Domain", defaultDomain);
    }
    c.connection = setting("SDK_Auth0Connection", defaultConnection);
    c.entitlementServiceURL = setting("SDK_EntitlementServiceURL", defaultEntitlementServiceURL);
    c.entitlementClientId = setting("SDK_EntitlementClientId", c.clientId);
    c.entitlementScope = setting("SDK_EntitlementScope", defaultEntitlementScope);
    c.keychainService = bundleIdentifier && !bundleIdentifier->empty() ? *bundleIdentifier : std::string(kitPrefix);
    return c;
}

AuthConfiguration AuthConfiguration::fromBundle(const foundation::Bundle& bundle) {
    return resolve(
        [&bundle](std::string_view key) -> std::optional<std::string> {
            const foundation::PropertyList* value = bundle.object(key);
            if (!value || !value->asString()) return std::nullopt;
            return *value->asString();
        },
        auth0::plistValues(bundle), bundle.bundleIdentifier());
}

const AuthConfiguration& AuthConfiguration::main() {
    // Never destroyed: read from any thread until the process exits.
    static const AuthConfiguration& configuration = *new AuthConfiguration(fromBundle(foundation::Bundle::main()));
    return configuration;
}

}  // namespace lumora
