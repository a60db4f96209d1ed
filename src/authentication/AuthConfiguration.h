#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "auth0/Authentication.h"
#include "foundation/Bundle.h"

namespace lumora {

// Where the sign-in stack finds its services and keeps its credentials.
//
// The identity provider's client id and domain come first from the "ClientId" and "Domain" texts of the
// host's "Auth0" property-list resource (both must be there), then from the host's Info.plist keys
// "SDK_Auth0ClientId" and "SDK_Auth0Domain", then from the defaults. The other settings come from
// Info.plist keys with defaults:
//
//   SDK_Auth0ClientId          "lumora-player-kit"
//   SDK_Auth0Domain            "login.lumora.example"  (a host, or an address with a scheme)
//   SDK_Auth0Connection        "Username-Password-Authentication"
//   SDK_EntitlementServiceURL  "https://entitlement.lumora.example/"  (the token-service address)
//   SDK_EntitlementClientId    the identity provider's client id
//   SDK_EntitlementScope       "playback"
//
// A missing value, a value that is not text, or an empty text gives the default (no service can be reached
// at an empty address). The keychain service is the host's bundle identifier ("dev.lumora" when it has
// none); the serial queues are labelled with the kit's own reverse-domain prefix "dev.lumora".
struct AuthConfiguration {
    std::string clientId;
    std::string domain;
    std::string connection;
    std::string entitlementServiceURL;
    std::string entitlementClientId;
    std::string entitlementScope;
    std::string keychainService;
    // Nothing: the keychain's own default folder ($LUMORA_KEYCHAIN_DIR...).
    std::optional<std::string> keychainDirectory;
    std::string queueLabelPrefix = std::string(kitPrefix);

    static constexpr std::string_view kitPrefix = "dev.lumora";
    static constexpr std::string_view defaultClientId = "lumora-player-kit";
    static constexpr std::string_view defaultDomain = "login.lumora.example";
    static constexpr std::string_view defaultConnection = "Username-Password-Authentication";
    static constexpr std::string_view defaultEntitlementServiceURL = "https://entitlement.lumora.example/";
    static constexpr std::string_view defaultEntitlementScope = "playback";

    // A text value of the host's Info.plist (nothing when missing or not text).
    using Source = std::function<std::optional<std::string>(std::string_view key)>;
    static AuthConfiguration resolve(const Source& infoPlist, const std::optional<auth0::ClientInfo>& auth0Resource,
                                     const std::optional<std::string>& bundleIdentifier);
    // The settings of a bundle (its Info.plist and its "Auth0" resource).
    static AuthConfiguration fromBundle(const foundation::Bundle& bundle);
    // The main bundle's settings, read once on first use and kept for the life of the process.
    static const AuthConfiguration& main();

    // The identity provider's address (see auth0::Authentication::domainURL).
    std::optional<foundation::URL> identityProviderURL() const { return auth0::Authentication::domainURL(domain); }
};

}  // namespace lumora
