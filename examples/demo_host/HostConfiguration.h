#pragma once

#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace demohost {

// Where the kit finds its settings: the host application's main bundle, whose Info.plist carries the
// "SDK_" keys. The kit reads each setting once per process, so the demo host sets the bundle up once,
// before the kit's first use, and every later run of the same process must use the same back end.
//
// Embedded back end: a temporary bundle folder whose Info.plist points every service at
// http://127.0.0.1:<port>. The port is chosen by the first run (a free one) and reused by the later runs of
// the process.
// Another back end: the host property list given on the command line becomes the Info.plist of a
// temporary bundle (with an "Auth0.plist" found next to it as the bundle's "Auth0" resource).
// Either way the sign-in is kept in that folder ($LUMORA_KEYCHAIN_DIR), which the process removes at exit
// (`removeRunFolder`, which a program may also call from a thread taking signals); a setup that fails
// removes the folder it made. The folder is
// "lumora-demo-<pid>-XXXXXX" in the temporary folder: a process killed before its exit leaves it behind,
// and the next run removes it once that process is gone.
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
    // Removes this process's run folder, with the sign-in kept in it, at once; also done at exit. Callable
    // from any thread, as often as needed.
    static void removeRunFolder();
    // Removes the run folders in `folder` whose process has ended (this user's own folders only), as each
    // run does before it makes its own; the names removed.
    static std::vector<std::string> removeStaleRunFolders(const std::filesystem::path& folder);

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
