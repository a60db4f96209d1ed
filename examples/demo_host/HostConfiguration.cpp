#include "HostConfiguration.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string_view>
#include <system_error>
#include <utility>

#include "authentication/AuthConfiguration.h"
#include "foundation/Bundle.h"
#include "foundation/PropertyList.h"
#include "foundation/URL.h"
#include "kitfoundation/Configuration.h"

namespace fs = std::filesystem;

namespace demohost {

namespace {

// What this process set up: the kit reads its settings once, so every run must agree with the first.
struct ProcessState {
    std::mutex mutex;  // guards everything below
    std::optional<HostConfiguration> configuration;
    // The embedded back end's address, or the property list's path.
    std::string source;
    std::optional<int> embeddedPort;
    std::string temporaryFolder;
};

// Never destroyed: a thread taking signals may remove the run folder while the process exits.
ProcessState& processState() {
    static auto* state = new ProcessState();
    return *state;
}

void removeRunFolderAtExit() {
    HostConfiguration::removeRunFolder();
}

// A run's folder is "lumora-demo-<pid>-XXXXXX": the process that made it is named in it.
constexpr std::string_view kFolderPrefix = "lumora-demo-";

// The process that made the run folder `name`; nothing for a name of any other shape.
std::optional<pid_t> runFolderOwner(std::string_view name) {
    if (!name.starts_with(kFolderPrefix)) return std::nullopt;
    name.remove_prefix(kFolderPrefix.size());
    const auto dash = name.find('-');
    if (dash == std::string_view::npos || dash == 0 || dash > 9 || name.size() - dash - 1 != 6) return std::nullopt;
    pid_t pid = 0;
    for (char c : name.substr(0, dash)) {
        if (c < '0' || c > '9') return std::nullopt;
        pid = pid * 10 + (c - '0');
    }
    return pid > 0 ? std::optional<pid_t>(pid) : std::nullopt;
}

std::expected<std::string, std::string> makeTemporaryFolder() {
    std::error_code error;
    const fs::path temporary = fs::temp_directory_path(error);
    if (error) return std::unexpected("no temporary folder for the host bundle: " + error.message());
    HostConfiguration::removeStaleRunFolders(temporary);
    std::string pattern = (temporary / (std::string(kFolderPrefix) + std::to_string(::getpid()) + "-XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) return std::unexpected("could not make a temporary folder for the host bundle");
    return pattern;
}

// A run folder just made: removed again unless the setup that made it succeeds, so a failed setup leaves
// nothing behind (a later attempt makes a folder of its own).
class NewRunFolder {
  public:
    explicit NewRunFolder(std::string path) : path_(std::move(path)) {}
    ~NewRunFolder() {
        if (kept_) return;
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    NewRunFolder(const NewRunFolder&) = delete;
    NewRunFolder& operator=(const NewRunFolder&) = delete;

    const std::string& path() const { return path_; }
    // Makes it the process's run folder, removed at exit. Called with the state's lock held.
    void keep(ProcessState& state) {
        kept_ = true;
        state.temporaryFolder = path_;
        [[maybe_unused]] static const bool registered = std::atexit(removeRunFolderAtExit) == 0;
    }

  private:
    std::string path_;
    bool kept_ = false;
};

// The sign-in is kept in the run's folder: removed at exit, or by a later run when this one is killed,
// never in the user's own keychain folder, which no run may clear.
void keepSignInIn(const std::string& folder) {
    const std::string keychain = (fs::path(folder) / "keychain").string();
    ::setenv("LUMORA_KEYCHAIN_DIR", keychain.c_str(), 1);
}

std::expected<void, std::string> writePropertyList(const fs::path& path, const foundation::PropertyList& value) {
    auto data = foundation::PropertyListSerialization::data(value, foundation::PropertyListSerialization::Format::xml);
    if (!data) return std::unexpected("could not write " + path.string() + ": " + data.error().localizedDescription());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data->data()), static_cast<std::streamsize>(data->size()));
    out.close();
    if (!out) return std::unexpected("could not write " + path.string());
    return {};
}

bool isHTTPAddress(const std::string& text) {
    auto url = foundation::URL::fromString(text);
    return url && (url->scheme() == "http" || url->scheme() == "https") && url->host();
}

bool sameFolder(const std::string& a, const std::string& b) {
    std::error_code ea, eb;
    auto ca = fs::weakly_canonical(a, ea);
    auto cb = fs::weakly_canonical(b, eb);
    return !ea && !eb && ca == cb;
}

// Points the process's main bundle at `folder` and checks that the kit reads its settings from there.
std::expected<void, std::string> adoptBundle(const std::string& folder, const std::string& expectedPlayServiceURL) {
    ::setenv("LUMORA_MAIN_BUNDLE", folder.c_str(), 1);
    const auto& main = foundation::Bundle::main();
    if (!sameFolder(main.bundlePath(), folder)) {
        return std::unexpected("the kit read the host's settings before the demo host set them up (main bundle: " +
                               main.bundlePath() + ")");
    }
    if (main.infoPlistError()) {
        return std::unexpected("the host bundle's Info.plist cannot be read: " +
                               main.infoPlistError()->localizedDescription());
    }
    const std::string playService = lumora::ConfigurationKey(lumora::ConfigurationKey::playServiceURL).value();
    if (playService != expectedPlayServiceURL) {
        return std::unexpected("the kit uses the play service at " + playService + " instead of " +
                               expectedPlayServiceURL + " (its settings were read earlier)");
    }
    return {};
}

std::string typeName(const foundation::PropertyList& value) {
    using Type = foundation::PropertyList::Type;
    switch (value.type()) {
        case Type::string:
            return "text";
        case Type::integer:
            return "an integer";
        case Type::real:
            return "a real number";
        case Type::boolean:
            return "a Boolean";
        case Type::date:
            return "a date";
        case Type::data:
            return "data";
        case Type::array:
            return "an array";
        case Type::dictionary:
            return "a dictionary";
    }
    return "not text";
}

// The settings the kit reads quietly falls back to a default for when their value is not text; a host
// property list that names one wrongly would then fail much later with a less helpful error (a host name
// that does not resolve), so each one present must be usable text. The message names the key.
std::optional<std::string> unusableSetting(const foundation::PropertyList& plist, const std::string& path) {
    for (const char* key : {"SDK_Auth0Domain", "SDK_Auth0ClientId", "SDK_Auth0Connection", "SDK_EntitlementServiceURL",
                            "SDK_EntitlementClientId", "SDK_EntitlementScope", "SDK_PlayServiceAppName"}) {
        const foundation::PropertyList* value = plist.find(key);
        if (!value) continue;
        const std::string* text = value->asString();
        if (!text) return std::string(key) + " in " + path + " is " + typeName(*value) + ", not text";
        if (text->empty() && std::string_view(key) != "SDK_PlayServiceAppName") {
            return std::string(key) + " in " + path + " is empty";
        }
    }
    if (const auto* domain = plist.find("SDK_Auth0Domain");
        domain && !auth0::Authentication::domainURL(*domain->asString())) {
        return "SDK_Auth0Domain in " + path + " is not a host name or an address: \"" + *domain->asString() + "\"";
    }
    if (const auto* entitlement = plist.find("SDK_EntitlementServiceURL");
        entitlement && !isHTTPAddress(*entitlement->asString())) {
        return "SDK_EntitlementServiceURL in " + path + " is not an http(s) address: \"" + *entitlement->asString() +
               "\"";
    }
    return std::nullopt;
}

}  // namespace

std::vector<std::string> HostConfiguration::removeStaleRunFolders(const std::filesystem::path& folder) {
    std::vector<std::string> removed;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        const auto owner = runFolderOwner(name);
        if (!owner || *owner == ::getpid()) continue;
        // A process that still runs (or that this user may not signal) keeps its folder.
        if (::kill(*owner, 0) == 0 || errno != ESRCH) continue;
        struct stat info {};
        if (::lstat(it->path().c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) continue;
        std::error_code ignored;
        if (fs::remove_all(it->path(), ignored) != static_cast<std::uintmax_t>(-1) && !ignored) removed.push_back(name);
    }
    return removed;
}

void HostConfiguration::removeRunFolder() {
    auto& state = processState();
    std::lock_guard lock(state.mutex);
    if (state.temporaryFolder.empty()) return;
    std::error_code ignored;
    fs::remove_all(state.temporaryFolder, ignored);
}

std::optional<int> HostConfiguration::embeddedPort() {
    auto& state = processState();
    std::lock_guard lock(state.mutex);
    return state.embeddedPort;
}

std::expected<HostConfiguration, std::string> HostConfiguration::embedded(const std::string& baseURL) {
    auto& state = processState();
    std::lock_guard lock(state.mutex);
    if (state.configuration) {
        if (state.configuration->mode() == Mode::embedded && state.source == baseURL) return *state.configuration;
        return std::unexpected("this process's kit is already set up for " + state.source +
                               " (the kit reads its settings once per process)");
    }
    auto url = foundation::URL::fromString(baseURL);
    if (!url || !url->port()) return std::unexpected("the local back end's address is not usable: " + baseURL);

    auto made = makeTemporaryFolder();
    if (!made) return std::unexpected(made.error());
    NewRunFolder folder(*made);

    foundation::PropertyList::Dictionary info{
        {"CFBundleIdentifier", "dev.lumora.demo-host"},
        {"CFBundleName", "Lumora Demo Host"},
        {"CFBundleShortVersionString", "1.0.0"},
        {"CFBundleVersion", "1"},
        {"SDK_PlayServiceURL", baseURL},
        {"SDK_PlayServiceAppName", "lumora-demo"},
        {"SDK_Auth0ClientId", std::string(lumora::AuthConfiguration::defaultClientId)},
        {"SDK_Auth0Domain", baseURL},
        {"SDK_EntitlementServiceURL", baseURL + "/entitlement/"},
        {"SDK_YouboraCollectorURL", baseURL + "/analytics/beacons"},
    };
    if (auto written = writePropertyList(fs::path(folder.path()) / "Info.plist", info); !written) {
        return std::unexpected(written.error());
    }
    keepSignInIn(folder.path());
    if (auto adopted = adoptBundle(folder.path(), baseURL); !adopted) return std::unexpected(adopted.error());

    HostConfiguration configuration;
    configuration.mode_ = Mode::embedded;
    configuration.bundlePath_ = folder.path();
    configuration.playServiceURL_ = baseURL;
    configuration.identityProviderURL_ = lumora::AuthConfiguration::main().domain;
    folder.keep(state);
    state.configuration = configuration;
    state.source = baseURL;
    state.embeddedPort = *url->port();
    return configuration;
}

std::expected<HostConfiguration, std::string> HostConfiguration::fromPropertyList(const std::string& path) {
    auto& state = processState();
    std::lock_guard lock(state.mutex);
    if (state.configuration) {
        if (state.configuration->mode() == Mode::propertyList && state.source == path) return *state.configuration;
        return std::unexpected("this process's kit is already set up for " + state.source +
                               " (the kit reads its settings once per process)");
    }
    auto plist = foundation::PropertyListSerialization::propertyList(path);
    if (!plist) return std::unexpected("cannot read the host property list: " + plist.error().localizedDescription());
    const auto* dictionary = plist->asDictionary();
    if (!dictionary) return std::unexpected("the host property list " + path + " is not a dictionary");
    const auto* playService = plist->find("SDK_PlayServiceURL");
    if (!playService || !playService->asString()) {
        return std::unexpected("the host property list " + path + " has no text SDK_PlayServiceURL");
    }
    const std::string playServiceURL = *playService->asString();
    if (!isHTTPAddress(playServiceURL)) {
        return std::unexpected("SDK_PlayServiceURL in " + path + " is not an http(s) address: \"" + playServiceURL +
                               "\"");
    }
    if (auto unusable = unusableSetting(*plist, path)) return std::unexpected(*unusable);

    auto made = makeTemporaryFolder();
    if (!made) return std::unexpected(made.error());
    NewRunFolder folder(*made);
    if (auto written = writePropertyList(fs::path(folder.path()) / "Info.plist", *plist); !written) {
        return std::unexpected(written.error());
    }
    // The identity provider's "Auth0" resource, when the host keeps one beside its Info.plist.
    const fs::path auth0 = fs::path(path).parent_path() / "Auth0.plist";
    std::error_code ignored;
    if (fs::is_regular_file(auth0, ignored)) {
        fs::copy_file(auth0, fs::path(folder.path()) / "Auth0.plist", fs::copy_options::overwrite_existing, ignored);
    }
    keepSignInIn(folder.path());
    if (auto adopted = adoptBundle(folder.path(), playServiceURL); !adopted) return std::unexpected(adopted.error());

    HostConfiguration configuration;
    configuration.mode_ = Mode::propertyList;
    configuration.bundlePath_ = folder.path();
    configuration.playServiceURL_ = playServiceURL;
    configuration.identityProviderURL_ = lumora::AuthConfiguration::main().domain;
    folder.keep(state);
    state.configuration = configuration;
    state.source = path;
    return configuration;
}

std::string HostConfiguration::playServiceHost() const {
    auto url = foundation::URL::fromString(playServiceURL_);
    return url && url->host() ? *url->host() : std::string();
}

std::optional<std::string> HostConfiguration::loopbackLicenceBase() const {
    auto url = foundation::URL::fromString(playServiceURL_);
    if (!url || !url->host() || url->scheme() != "http") return std::nullopt;
    const std::string host = *url->host();
    if (host != "127.0.0.1" && host != "localhost" && host != "[::1]" && host != "::1") return std::nullopt;
    std::string base = url->scheme() + "://" + host;
    if (auto port = url->port()) base += ":" + std::to_string(*port);
    return base;
}

}  // namespace demohost
