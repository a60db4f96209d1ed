// lumora-kit-icons: draws the kit's icons and artwork into a bundle folder, each at 1x, 2x and 3x
// ("<name>.png", "<name>@2x.png", "<name>@3x.png"), and on request a contact sheet of them all at 3x over
// the player's dark background, for people to look at.
//
//   lumora-kit-icons <bundle folder> [--contact-sheet <file.png>]

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "KitIcons.h"
#include "uikit/UIGraphicsImageRenderer.h"

namespace {

namespace fs = std::filesystem;
using lumora::kitbundle::KitIcon;
using uikit::CGFloat;
using uikit::CGRect;
using uikit::CGSize;

// Writes the bytes to a temporary file beside `path`, then renames it into place, so a reader never sees
// half an image.
bool writeFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    const fs::path temporary = path.string() + ".partial";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out) return false;
    }
    std::error_code ec;
    fs::rename(temporary, path, ec);
    return !ec;
}

std::optional<std::vector<std::uint8_t>> render(const KitIcon& icon, CGFloat scale) {
    uikit::UIGraphicsImageRendererFormat format;
    format.scale = scale;
    const uikit::UIGraphicsImageRenderer renderer(icon.size, format);
    return renderer.pngData([&](uikit::UIGraphicsImageRendererContext& context) { icon.draw(context.cgContext()); });
}

// Every icon at 3x in a grid of cells, each over the dark grey the controls sit on, with a faint frame
// showing the icon's own bounds.
std::optional<std::vector<std::uint8_t>> contactSheet(const std::vector<KitIcon>& icons) {
    constexpr int columns = 6;
    constexpr CGFloat cell = 72;
    const int rows = static_cast<int>((icons.size() + columns - 1) / columns);
    uikit::UIGraphicsImageRendererFormat format;
    format.scale = 3;
    format.opaque = true;
    const uikit::UIGraphicsImageRenderer renderer(CGSize{columns * cell, rows * cell}, format);
    return renderer.pngData([&](uikit::UIGraphicsImageRendererContext& context) {
        auto& c = context.cgContext();
        c.setFillColor({0.16, 0.17, 0.2, 1});
        c.fill(CGRect(0, 0, columns * cell, rows * cell));
        for (std::size_t i = 0; i < icons.size(); ++i) {
            const KitIcon& icon = icons[i];
            const CGFloat fit = std::min(1.0, (cell - 12) / std::max(icon.size.width, icon.size.height));
            const CGFloat x = static_cast<CGFloat>(i % columns) * cell + (cell - icon.size.width * fit) / 2;
            const CGFloat y = static_cast<CGFloat>(i / columns) * cell + (cell - icon.size.height * fit) / 2;
            c.saveGState();
            c.translateBy(x, y);
            c.scaleBy(fit, fit);
            c.setFillColor({1, 1, 1, 0.06});
            c.fill(CGRect(0, 0, icon.size.width, icon.size.height));
            c.clip(CGRect(0, 0, icon.size.width, icon.size.height));
            icon.draw(c);
            c.restoreGState();
        }
    });
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && !(argc == 4 && std::string(argv[2]) == "--contact-sheet")) {
        std::fprintf(stderr, "usage: %s <bundle folder> [--contact-sheet <file.png>]\n", argv[0]);
        return 2;
    }
    const fs::path folder(argv[1]);
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        std::fprintf(stderr, "lumora-kit-icons: cannot make the folder %s: %s\n", folder.c_str(), ec.message().c_str());
        return 1;
    }
    const auto& icons = lumora::kitbundle::kitIcons();
    for (const KitIcon& icon : icons) {
        for (int scale = 1; scale <= 3; ++scale) {
            const std::string file =
                icon.name + (scale == 1 ? std::string() : "@" + std::to_string(scale) + "x") + ".png";
            const auto png = render(icon, scale);
            if (!png || !writeFile(folder / file, *png)) {
                std::fprintf(stderr, "lumora-kit-icons: cannot write %s\n", (folder / file).c_str());
                return 1;
            }
        }
    }
    if (argc == 4) {
        const auto sheet = contactSheet(icons);
        if (!sheet || !writeFile(argv[3], *sheet)) {
            std::fprintf(stderr, "lumora-kit-icons: cannot write the contact sheet %s\n", argv[3]);
            return 1;
        }
    }
    return 0;
}
