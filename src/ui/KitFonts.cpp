#include "ui/KitFonts.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "kitfoundation/KitBundle.h"
#include "kitfoundation/Log.h"

namespace lumora {

namespace fs = std::filesystem;
using uikit::UIFont;

std::string gibsonFaceName(UIFont::Weight weight) {
    // Halfway between neighbouring weights of the platform's scale decides.
    if (weight.rawValue < (UIFont::Weight::light.rawValue + UIFont::Weight::regular.rawValue) / 2)
        return "Gibson-Light";
    if (weight.rawValue < (UIFont::Weight::regular.rawValue + UIFont::Weight::medium.rawValue) / 2) {
        return "Gibson-Regular";
    }
    if (weight.rawValue < (UIFont::Weight::medium.rawValue + UIFont::Weight::semibold.rawValue) / 2) {
        return "Gibson-Medium";
    }
    if (weight.rawValue < (UIFont::Weight::semibold.rawValue + UIFont::Weight::bold.rawValue) / 2) {
        return "Gibson-SemiBold";
    }
    return "Gibson-Bold";
}

UIFont gibsonFont(uikit::CGFloat ofSize, UIFont::Weight weight) {
    if (auto face = UIFont::named(gibsonFaceName(weight), ofSize)) return *face;
    return UIFont::systemFont(ofSize, weight);
}

namespace {

bool isFontFile(const fs::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".ttf" || extension == ".otf" || extension == ".ttc";
}

std::vector<fs::path> fontFiles(const foundation::Bundle& bundle) {
    std::vector<fs::path> files;
    const fs::path root(bundle.bundlePath());
    for (const fs::path& folder : {root / "Fonts", root}) {
        std::error_code ec;
        if (!fs::is_directory(folder, ec)) continue;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code typeError;
            if (it->is_regular_file(typeError) && isFontFile(it->path())) files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

std::vector<std::string> loadAllFonts(const foundation::Bundle& bundle) {
    std::vector<std::string> faces;
    for (const fs::path& file : fontFiles(bundle)) {
        if (auto face = UIFont::registerFontFile(file)) {
            faces.push_back(*face);
        } else if (UIFont::isRegistered(file.stem().string())) {
            faces.push_back(file.stem().string());
        } else {
            debugLog("Could not register the font file", file.string() + ":", face.error());
        }
    }
    std::sort(faces.begin(), faces.end());
    faces.erase(std::unique(faces.begin(), faces.end()), faces.end());
    return faces;
}

std::vector<std::string> loadAllFonts() {
    return loadAllFonts(KitBundle::shared());
}

}  // namespace lumora
