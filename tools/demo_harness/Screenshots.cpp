#include "Screenshots.h"

#include <cstdio>
#include <fstream>
#include <system_error>

#include "uikit/UIGraphicsImageRenderer.h"
#include "uikit/UIWindow.h"

namespace demoharness {

namespace fs = std::filesystem;

ScreenshotAlbum::ScreenshotAlbum(fs::path folder) : folder_(std::move(folder)) {}

void ScreenshotAlbum::addTimelineLine(std::string line) {
    pendingLines_.push_back(std::move(line));
}

std::expected<Screenshot, std::string> ScreenshotAlbum::capture(uikit::UIWindow& window, const std::string& slug,
                                                                const std::string& caption) {
    std::error_code error;
    fs::create_directories(folder_, error);
    if (error) return std::unexpected("could not make the folder " + folder_.string() + ": " + error.message());

    window.layoutIfNeeded();
    const auto bounds = window.bounds();
    auto format = uikit::UIGraphicsImageRendererFormat::defaultFormat();
    format.opaque = true;
    const uikit::UIGraphicsImageRenderer renderer(bounds.size, format);
    auto png = renderer.pngData([&](uikit::UIGraphicsImageRendererContext&) {
        window.drawHierarchy(uikit::CGRect(uikit::CGPoint{}, bounds.size), false);
    });
    if (!png) return std::unexpected("the window could not be rendered for \"" + caption + "\"");

    char number[8];
    std::snprintf(number, sizeof number, "%02zu", screenshots_.size() + 1);
    Screenshot shot{
        .name = std::string(number) + "-" + slug,
        .caption = caption,
        .width = static_cast<int>(bounds.size.width * format.scale + 0.5),
        .height = static_cast<int>(bounds.size.height * format.scale + 0.5),
        .timeline = std::move(pendingLines_),
    };
    pendingLines_.clear();
    shot.path = folder_ / (shot.name + ".png");
    std::ofstream out(shot.path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(png->data()), static_cast<std::streamsize>(png->size()));
    out.close();
    if (!out) return std::unexpected("could not write " + shot.path.string());
    screenshots_.push_back(shot);
    return shot;
}

std::string ScreenshotAlbum::escapeHTML(const std::string& text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

std::expected<void, std::string> ScreenshotAlbum::writeIndex(const std::string& title) const {
    std::error_code error;
    fs::create_directories(folder_, error);
    if (error) return std::unexpected("could not make the folder " + folder_.string() + ": " + error.message());
    auto lines = [](const std::vector<std::string>& timeline) {
        std::string html;
        if (timeline.empty()) return html;
        html += "<pre>";
        for (const auto& line : timeline) html += escapeHTML(line) + "\n";
        html += "</pre>\n";
        return html;
    };
    std::string html =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" + escapeHTML(title) +
        "</title>\n<style>\nbody { font-family: sans-serif; background: #111; color: #eee; margin: 2em; }\n"
        "pre { color: #9c9; font-size: 0.85em; }\nimg { max-width: 100%; border: 1px solid #444; }\n"
        "section { margin-bottom: 3em; }\n</style>\n</head>\n<body>\n<h1>" +
        escapeHTML(title) + "</h1>\n";
    for (const auto& shot : screenshots_) {
        html += "<section id=\"" + escapeHTML(shot.name) + "\">\n" + lines(shot.timeline) + "<h2>" +
                escapeHTML(shot.name) + ": " + escapeHTML(shot.caption) + "</h2>\n<img src=\"" +
                escapeHTML(shot.path.filename().string()) + "\" width=\"" + std::to_string(shot.width) +
                "\" height=\"" + std::to_string(shot.height) + "\" alt=\"" + escapeHTML(shot.caption) +
                "\">\n</section>\n";
    }
    html += lines(pendingLines_);
    html += "</body>\n</html>\n";
    const auto path = indexPath();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << html;
    out.close();
    if (!out) return std::unexpected("could not write " + path.string());
    return {};
}

}  // namespace demoharness
