#pragma once

#include <expected>
#include <optional>
#include <string>

namespace demohost {

// Where the kit finds its settings: the host application's main bundle, whose Info.plist carries the
// "SDK_" keys. The kit reads each setting once per process, so the demo host sets the bundle up once,
// before the kit's first use, and every later run of the same process must use the same back end.
//
// Embedded back end: a temporary bundle folder whose Info.plist points every service at
// http://127.0.0.1:<port>; its keychain folder lives there too, so a run leaves nothing behind. The port
// is chosen by the first run (a free one) and reused by the later runs of the process.
// Another back end: the host property list given on the command line becomes the Info.plist of a
// temporary bundle (with an "Auth0.plist" found next to it as the bundle's "Auth0" resource).
class HostConfiguration {
  public:
    enum class Mode { embedded, propertyList };

    // For the embedded back end listening on `baseURL` ("http://127.0.0.1:<port>"). A later call of the
    // same process must name the same address.
    static std::expected<HostConfiguration, std::string> embedded(const std::string& baseURL);
    // From a host property list; the file must be a readable property list (a dictionary) with a text
    // "SDK_PlayServiceURL" that is an http(s) address.
    static std::expected<HostConfiguration, std::string> fromPropertyList(const std::string& path);

    // The port of the embedded back end configured earlier in this process, if any.
    static std::optional<int> embeddedPort();

    Mode mode() const { return mode_; }
    const std::string& bundlePath() const { return bundlePath_; }
    // What the kit reads for "SDK_PlayServiceURL".
    const std::string& playServiceURL() const { return playServiceURL_; }
    // The identity provider's address the kit reads.
    const std::string& identityProviderURL() const { return identityProviderURL_; }

    // The FairPlay key addresses name a host and the kit asks "https://<host>/..." for the licence; a
    // local back end answers plain http on a port of its own. For a play service on a loopback address,
    // the base the licence requests are sent to instead ("http://127.0.0.1:<port>"); otherwise nothing.
    std::optional<std::string> loopbackLicenceBase() const;
    // The host of the play-service address.
    std::string playServiceHost() const;

  private:
    Mode mode_ = Mode::embedded;
    std::string bundlePath_;
    std::string playServiceURL_;
    std::string identityProviderURL_;
};

}  // namespace demohost
