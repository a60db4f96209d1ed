#include "foundation/Bundle.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>

namespace foundation {

namespace fs = std::filesystem;

struct Bundle::Contents {
    std::string path;
    PropertyList::Dictionary info;
    std::optional<Error> infoError;
};

namespace {

std::string executableFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty()) {
        const fs::path cwd = fs::current_path(ec);
        return ec ? std::string(".") : cwd.string();
    }
    return exe.parent_path().string();
}

// A resource name must stay inside the bundle: no absolute path, no ".." component, no NUL.
bool isSafeRelativeName(std::string_view name) {
    if (name.empty() || name.front() == '/' || name.find('\0') != std::string_view::npos) return false;
    std::size_t i = 0;
    while (i <= name.size()) {
        auto next = name.find('/', i);
        if (next == std::string_view::npos) next = name.size();
        if (name.substr(i, next - i) == "..") return false;
        i = next + 1;
    }
    return true;
}

std::mutex& mainMutex() {
    static std::mutex m;
    return m;
}
std::optional<Bundle>& mainSlot() {
    static auto* slot = new std::optional<Bundle>();  // never destroyed: read from any thread until exit
    return *slot;
}

}  // namespace

Bundle::Bundle(std::string path) {
    auto contents = std::make_shared<Contents>();
    contents->path = std::move(path);
    const fs::path info = fs::path(contents->path) / "Info.plist";
    std::error_code ec;
    if (fs::is_regular_file(info, ec)) {
        auto plist = PropertyListSerialization::propertyList(info.string());
        if (!plist) {
            contents->infoError = plist.error();
        } else if (const auto* dict = plist->asDictionary()) {
            contents->info = *dict;
        } else {
            contents->infoError =
                Error(PropertyListError{"\"" + info.string() + "\" does not hold a dictionary", false});
        }
    }
    contents_ = std::move(contents);
}

const Bundle& Bundle::main() {
    std::lock_guard lock(mainMutex());
    auto& slot = mainSlot();
    if (!slot) {
        const char* env = std::getenv("LUMORA_MAIN_BUNDLE");
        slot.emplace(env && *env ? std::string(env) : executableFolder());
    }
    return *slot;
}

void Bundle::resetMainForTesting() {
    std::lock_guard lock(mainMutex());
    mainSlot().reset();
}

const std::string& Bundle::bundlePath() const {
    return contents_->path;
}

URL Bundle::bundleURL() const {
    return URL::fileURL(contents_->path);
}

std::optional<std::string> Bundle::bundleIdentifier() const {
    const PropertyList* v = object("CFBundleIdentifier");
    if (!v || !v->asString()) return std::nullopt;
    return *v->asString();
}

const PropertyList::Dictionary& Bundle::infoDictionary() const {
    return contents_->info;
}

const PropertyList* Bundle::object(std::string_view key) const {
    auto it = contents_->info.find(key);
    return it == contents_->info.end() ? nullptr : &it->second;
}

const std::optional<Error>& Bundle::infoPlistError() const {
    return contents_->infoError;
}

std::optional<std::string> Bundle::path(std::string_view name, std::string_view type) const {
    std::string file(name);
    if (!type.empty()) {
        if (type.front() != '.') file.push_back('.');
        file += type;
    }
    if (!isSafeRelativeName(file)) return std::nullopt;
    for (const fs::path& folder : {fs::path(contents_->path), fs::path(contents_->path) / "Resources"}) {
        const fs::path candidate = folder / file;
        std::error_code ec;
        if (fs::is_regular_file(candidate, ec)) return candidate.string();
    }
    return std::nullopt;
}

std::optional<URL> Bundle::url(std::string_view name, std::string_view extension) const {
    auto p = path(name, extension);
    if (!p) return std::nullopt;
    return URL::fileURL(*p);
}

}  // namespace foundation
