#include "uikit/UIFont.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <mutex>
#include <ostream>
#include <set>
#include <system_error>

#include "coregraphics/FontEngine.h"

namespace uikit {

namespace {

struct Face {
    std::string family;
    UIFont::Weight weight;
    std::string engineFamily;  // the family of the face's font file; empty without one
};

struct Registry {
    std::mutex mutex;  // guards faces
    std::map<std::string, Face> faces;
};

Registry& registry() {
    static Registry r;
    return r;
}

CGFloat sanitizedSize(CGFloat size) {
    return (std::isfinite(size) && size > 0) ? size : 0;
}

struct NamedWeight {
    const char* name;
    UIFont::Weight weight;
};

const NamedWeight kWeights[] = {
    {"UltraLight", UIFont::Weight::ultraLight},
    {"Thin", UIFont::Weight::thin},
    {"Light", UIFont::Weight::light},
    {"Regular", UIFont::Weight::regular},
    {"Medium", UIFont::Weight::medium},
    {"Semibold", UIFont::Weight::semibold},
    {"Bold", UIFont::Weight::bold},
    {"Heavy", UIFont::Weight::heavy},
    {"Black", UIFont::Weight::black},
};

// The name of the nearest named weight.
const char* weightName(UIFont::Weight weight) {
    const NamedWeight* best = &kWeights[3];
    for (const NamedWeight& w : kWeights)
        if (std::fabs(w.weight.rawValue - weight.rawValue) < std::fabs(best->weight.rawValue - weight.rawValue))
            best = &w;
    return best->name;
}

// OpenType weight classes of the named weights.
const int kWeightClasses[] = {100, 200, 300, 400, 500, 600, 700, 800, 900};

int weightClass(UIFont::Weight weight) {
    std::size_t best = 3;
    for (std::size_t i = 0; i < std::size(kWeights); ++i)
        if (std::fabs(kWeights[i].weight.rawValue - weight.rawValue) <
            std::fabs(kWeights[best].weight.rawValue - weight.rawValue))
            best = i;
    return kWeightClasses[best];
}

UIFont::Weight weightOfClass(int weightClass) {
    std::size_t best = 3;
    for (std::size_t i = 0; i < std::size(kWeightClasses); ++i)
        if (std::abs(kWeightClasses[i] - weightClass) < std::abs(kWeightClasses[best] - weightClass)) best = i;
    return kWeights[best].weight;
}

// "System-<Weight>" or "System-<Weight>-MonospacedDigits": the system faces, always available.
std::optional<UIFont> systemFace(const std::string& name, CGFloat size) {
    static const std::string prefix = "System-";
    static const std::string mono = "-MonospacedDigits";
    if (name.rfind(prefix, 0) != 0) return std::nullopt;
    std::string style = name.substr(prefix.size());
    bool monospaced = false;
    if (style.size() > mono.size() && style.compare(style.size() - mono.size(), mono.size(), mono) == 0) {
        monospaced = true;
        style.resize(style.size() - mono.size());
    }
    for (const NamedWeight& w : kWeights) {
        if (style == w.name)
            return monospaced ? UIFont::monospacedDigitSystemFont(size, w.weight) : UIFont::systemFont(size, w.weight);
    }
    return std::nullopt;
}

}  // namespace

UIFont::UIFont(std::string name, std::string family, CGFloat size, Weight weight, bool monospacedDigits,
               std::string engineFamily)
    : fontName_(std::move(name)),
      familyName_(std::move(family)),
      engineFamily_(std::move(engineFamily)),
      pointSize_(sanitizedSize(size)),
      weight_(weight),
      monospacedDigits_(monospacedDigits) {}

UIFont UIFont::systemFont(CGFloat ofSize, Weight weight) {
    return UIFont(std::string("System-") + weightName(weight), "System", ofSize, weight, false);
}

UIFont UIFont::systemFont(CGFloat ofSize) {
    return systemFont(ofSize, Weight::regular);
}

UIFont UIFont::boldSystemFont(CGFloat ofSize) {
    return systemFont(ofSize, Weight::bold);
}

UIFont UIFont::monospacedDigitSystemFont(CGFloat ofSize, Weight weight) {
    return UIFont(std::string("System-") + weightName(weight) + "-MonospacedDigits", "System", ofSize, weight, true);
}

std::optional<UIFont> UIFont::named(const std::string& name, CGFloat size) {
    if (auto system = systemFace(name, size)) return system;
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        const auto it = r.faces.find(name);
        if (it != r.faces.end())
            return UIFont(name, it->second.family, size, it->second.weight, false, it->second.engineFamily);
    }
    if (auto face = coregraphics::FontEngine::shared().face(name))
        return UIFont(name, face->family, size, weightOfClass(face->weight), false, face->family);
    return std::nullopt;
}

UIFont UIFont::namedOrSystemFont(const std::string& name, CGFloat size, Weight weight) {
    if (auto font = named(name, size)) return *font;
    return systemFont(size, weight);
}

bool UIFont::registerFont(const std::string& name, const std::string& family, Weight weight) {
    if (name.empty() || systemFace(name, 0)) return false;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.faces.emplace(name, Face{family.empty() ? name : family, weight, {}}).second;
}

std::expected<std::string, foundation::Error> UIFont::registerFontFile(const std::filesystem::path& path) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status))
        return std::unexpected(UIFontRegistrationError{UIFontRegistrationError::Code::fileNotFound, path.string()});
    if (!std::filesystem::is_regular_file(status) || !std::ifstream(path, std::ios::binary).good())
        return std::unexpected(UIFontRegistrationError{UIFontRegistrationError::Code::unreadableFile, path.string()});
    const std::string stem = path.stem().string();
    if (stem.empty())
        return std::unexpected(UIFontRegistrationError{UIFontRegistrationError::Code::unreadableFile, path.string()});
    if (systemFace(stem, 0) || isRegistered(stem))
        return std::unexpected(UIFontRegistrationError{UIFontRegistrationError::Code::alreadyRegistered, stem});
    const auto face = coregraphics::FontEngine::shared().registerFontFile(path);
    if (!face) return std::unexpected(UIFontRegistrationError{UIFontRegistrationError::Code::notAFont, path.string()});
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    if (!r.faces.emplace(stem, Face{face->family, weightOfClass(face->weight), face->family}).second)
        return std::unexpected(UIFontRegistrationError{UIFontRegistrationError::Code::alreadyRegistered, stem});
    return stem;
}

bool UIFont::isRegistered(const std::string& name) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.faces.count(name) != 0;
}

std::vector<std::string> UIFont::familyNames() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    std::set<std::string> families;
    for (const auto& [name, face] : r.faces) families.insert(face.family);
    return {families.begin(), families.end()};
}

std::vector<std::string> UIFont::fontNames(const std::string& forFamilyName) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    std::vector<std::string> names;
    for (const auto& [name, face] : r.faces)
        if (face.family == forFamilyName) names.push_back(name);
    return names;  // std::map keeps them sorted
}

void UIFont::unregisterAllFonts() {
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        r.faces.clear();
    }
    coregraphics::FontEngine::shared().unregisterFontFiles();
}

UIFont UIFont::withSize(CGFloat size) const {
    UIFont copy = *this;
    copy.pointSize_ = sanitizedSize(size);
    return copy;
}

coregraphics::CGFont UIFont::cgFont() const {
    return coregraphics::CGFont{fontName_, engineFamily_, weightClass(weight_), monospacedDigits_, pointSize_};
}

CGFloat UIFont::lineHeight() const {
    return coregraphics::FontEngine::shared().metrics(cgFont()).lineHeight;
}
CGFloat UIFont::descender() const {
    return -coregraphics::FontEngine::shared().metrics(cgFont()).descent;
}
CGFloat UIFont::ascender() const {
    return coregraphics::FontEngine::shared().metrics(cgFont()).ascent;
}
CGFloat UIFont::capHeight() const {
    return coregraphics::FontEngine::shared().metrics(cgFont()).capHeight;
}
CGFloat UIFont::xHeight() const {
    return coregraphics::FontEngine::shared().metrics(cgFont()).xHeight;
}

std::string UIFontRegistrationError::localizedDescription() const {
    switch (code) {
        case Code::fileNotFound:
            return "Font file not found: " + path;
        case Code::unreadableFile:
            return "Font file cannot be read: " + path;
        case Code::alreadyRegistered:
            return "Font already registered: " + path;
        case Code::notAFont:
            return "Not a TrueType or OpenType font: " + path;
    }
    return "Font registration failed: " + path;
}

std::ostream& operator<<(std::ostream& os, const UIFont& f) {
    return os << f.fontName() << " " << f.pointSize();
}

}  // namespace uikit
