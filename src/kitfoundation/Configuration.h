#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace lumora {

// The host-supplied settings: text values under "SDK_" keys of the host application's property list.
// Each setting is read once, on first use, and kept for the life of the process. A missing value, or a
// value that is not text, gives the setting's default; an empty text is used unchanged.
class ConfigurationKey {
  public:
    enum Case {
        playServiceURL,            // "SDK_PlayServiceURL"
        playServiceAppName,        // "SDK_PlayServiceAppName" (no default: absent is nothing)
        playerEventOriginator,     // "SDK_PlayerEventOriginator"
        playerEventBuildName,      // "SDK_PlayerEventBuildName"
        playerEventPageName,       // "SDK_PlayerEventPageName"
        playerEventVideoProtocol,  // "SDK_PlayerEventVideoProtocol"
        playerEventVideoFormat,    // "SDK_PlayerEventVideoFormat"
        playerEventBuildVersion,   // "SDK_PlayerEventBuildVersion"
        youboraPartnerSportName,   // "SDK_YouboraPartnerSportName"
        youboraPartnerCode,        // "SDK_YouboraPartnerCode"
        youboraCollectorURL,       // "SDK_YouboraCollectorURL" (no default: absent is nothing)
        signUpURL,                 // "SDK_SignUpURL"
        serviceWebAddress,         // "SDK_ServiceWebAddress"
    };
    static constexpr int caseCount = 13;

    constexpr ConfigurationKey(Case value) : value_(value) {}  // NOLINT(google-explicit-constructor)
    constexpr operator Case() const { return value_; }         // NOLINT(google-explicit-constructor)

    // The property-list key, "SDK_PlayServiceURL"...
    std::string rawValue() const;
    static std::optional<ConfigurationKey> fromRawValue(std::string_view key);

    // The setting: the host's text, or the default. Read once per process.
    std::string value() const;
    // The host's text alone: nothing when the key is missing or its value is not text. Read once.
    std::optional<std::string> hostValue() const;
    // The default: the built-in play-service address, "" for the application name, the analytics
    // partner settings and the analytics collector, the player-event defaults, for the build version the host
    // application's "CFBundleVersion" when it is text, else "unknown", and the built-in sign-up page and web
    // address.
    std::string defaultValue() const;

    // Where the host's values come from: a function from a key to its text (nothing when missing or not
    // text). By default the main bundle's Info.plist.
    using Source = std::function<std::optional<std::string>(std::string_view key)>;
    // Tests: replaces the source (nothing: back to the main bundle) and forgets every value read so far.
    static void setSourceForTesting(Source source);

  private:
    Case value_;
};

// The play service's address when the host sets none.
inline constexpr std::string_view kDefaultPlayServiceURL = "https://play.lumora.example";
// The web page where a viewer finishes or re-activates an account, opened from the sign-in screen.
inline constexpr std::string_view kDefaultSignUpURL = "https://www.lumora.example/signup";
// The service's web address as the sign-in screen's account messages quote it.
inline constexpr std::string_view kDefaultServiceWebAddress = "www.lumora.example";

}  // namespace lumora
