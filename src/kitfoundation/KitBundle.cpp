#include "kitfoundation/KitBundle.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#ifndef LUMORA_KIT_BUNDLE_BUILD_PATH
#define LUMORA_KIT_BUNDLE_BUILD_PATH ""
#endif
#ifndef LUMORA_KIT_BUNDLE_INSTALL_PATH
#define LUMORA_KIT_BUNDLE_INSTALL_PATH ""
#endif

namespace lumora {

namespace fs = std::filesystem;

namespace {

std::string executableFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty()) return {};
    return exe.parent_path().string();
}

bool isFolder(const std::string& path) {
    std::error_code ec;
    return !path.empty() && fs::is_directory(path, ec);
}

}  // namespace

KitBundle::Places KitBundle::currentPlaces() {
    Places places;
    if (const char* value = std::getenv(environmentVariable); value && *value) places.environment = value;
    places.executableFolder = executableFolder();
    places.buildFolder = LUMORA_KIT_BUNDLE_BUILD_PATH;
    places.installFolder = LUMORA_KIT_BUNDLE_INSTALL_PATH;
    return places;
}

std::vector<std::string> KitBundle::candidates(const Places& places) {
    std::vector<std::string> list;
    if (places.environment && !places.environment->empty()) list.push_back(*places.environment);
    if (!places.executableFolder.empty()) {
        const fs::path exe(places.executableFolder);
        list.push_back((exe / folderName).string());
        list.push_back((exe / ".." / "share" / "lumora" / folderName).lexically_normal().string());
    }
    if (!places.buildFolder.empty()) list.push_back(places.buildFolder);
    if (!places.installFolder.empty()) list.push_back(places.installFolder);
    return list;
}

std::optional<std::string> KitBundle::locate(const Places& places) {
    for (const std::string& candidate : candidates(places)) {
        if (isFolder(candidate)) return candidate;
    }
    return std::nullopt;
}

const foundation::Bundle& KitBundle::shared() {
    // Never destroyed: read from any thread (log lines) until the process exits.
    static const foundation::Bundle& bundle = *new foundation::Bundle([] {
        const Places places = currentPlaces();
        if (auto found = locate(places)) return foundation::Bundle(*found);
        // Nowhere: the place it would be installed, which holds nothing.
        const std::string fallback =
            places.installFolder.empty() ? std::string("/nonexistent/") + folderName : places.installFolder;
        return foundation::Bundle(fallback);
    }());
    return bundle;
}

}  // namespace lumora
