#include "kitfoundation/Configuration.h"

#include <array>
#include <mutex>

#include "foundation/Bundle.h"

namespace lumora {

namespace {

constexpr std::array<std::string_view, ConfigurationKey::caseCount> kKeys{
    "SDK_PlayServiceURL",         "SDK_PlayServiceAppName",      "SDK_PlayerEventOriginator",
    "SDK_PlayerEventBuildName",   "SDK_PlayerEventPageName",     "SDK_PlayerEventVideoProtocol",
    "SDK_PlayerEventVideoFormat", "SDK_PlayerEventBuildVersion", "SDK_YouboraPartnerSportName",
    "SDK_YouboraPartnerCode",     "SDK_YouboraCollectorURL",     "SDK_SignUpURL",
    "SDK_ServiceWebAddress",
};

std::optional<std::string> mainBundleText(std::string_view key) {
    const foundation::PropertyList* value = foundation::Bundle::main().object(key);
    if (!value) return std::nullopt;
    if (const std::string* text = value->asString()) return *text;
    return std::nullopt;
}

// The values read so far, one slot per key, and the source they come from.
struct Store {
    std::mutex mutex;  // guards everything below; held while a value is read, so each is read once
    ConfigurationKey::Source source;
    std::array<std::optional<std::optional<std::string>>, ConfigurationKey::caseCount> read;
    std::optional<std::optional<std::string>> bundleVersion;

    std::optional<std::string> lookUp(std::string_view key) { return source ? source(key) : mainBundleText(key); }
};

Store& store() {
    static auto* s = new Store();  // never destroyed: settings are read from any thread until exit
    return *s;
}

}  // namespace

std::string ConfigurationKey::rawValue() const {
    return std::string(kKeys[static_cast<std::size_t>(value_)]);
}

std::optional<ConfigurationKey> ConfigurationKey::fromRawValue(std::string_view key) {
    for (std::size_t k = 0; k < kKeys.size(); ++k) {
        if (kKeys[k] == key) return ConfigurationKey(static_cast<Case>(k));
    }
    return std::nullopt;
}

std::optional<std::string> ConfigurationKey::hostValue() const {
    Store& s = store();
    std::lock_guard lock(s.mutex);
    auto& slot = s.read[static_cast<std::size_t>(value_)];
    if (!slot) slot = s.lookUp(kKeys[static_cast<std::size_t>(value_)]);
    return *slot;
}

std::string ConfigurationKey::defaultValue() const {
    switch (value_) {
        case playServiceURL:
            return std::string(kDefaultPlayServiceURL);
        case playerEventOriginator:
            return "ios_app";
        case playerEventBuildName:
            return "ostra-ios_app";
        case playerEventPageName:
            return "video";
        case playerEventVideoProtocol:
            return "https";
        case playerEventVideoFormat:
            return "application/vnd.apple.mpegurl";
        case playerEventBuildVersion: {
            Store& s = store();
            std::lock_guard lock(s.mutex);
            if (!s.bundleVersion) s.bundleVersion = s.lookUp("CFBundleVersion");
            return s.bundleVersion->value_or("unknown");
        }
        case signUpURL:
            return std::string(kDefaultSignUpURL);
        case serviceWebAddress:
            return std::string(kDefaultServiceWebAddress);
        case playServiceAppName:
        case youboraPartnerSportName:
        case youboraPartnerCode:
        case youboraCollectorURL:
            return "";
    }
    return "";
}

std::string ConfigurationKey::value() const {
    if (auto host = hostValue()) return *host;
    return defaultValue();
}

void ConfigurationKey::setSourceForTesting(Source source) {
    Store& s = store();
    std::lock_guard lock(s.mutex);
    s.source = std::move(source);
    s.read.fill(std::nullopt);
    s.bundleVersion.reset();
}

}  // namespace lumora
