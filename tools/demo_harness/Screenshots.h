#pragma once

#include <expected>
#include <filesystem>
#include <string>
#include <vector>

namespace uikit {
class UIWindow;
}  // namespace uikit

namespace demoharness {

// One picture of the player screen, and the timeline lines printed up to the moment it was taken.
struct Screenshot {
    // "01-login", "02-playing-controls", ...: the file is <name>.png in the folder.
    std::string name;
    // What it shows, in a few words.
    std::string caption;
    std::filesystem::path path;
    // Pixels.
    int width = 0;
    int height = 0;
    // The timeline lines (with their time stamps) since the previous picture.
    std::vector<std::string> timeline;
};

// Writes PNG pictures of a window into one folder, numbered in the order they were taken, and an
// index.html that shows them in that order, each with the timeline lines that led to it. The folder is
// made when missing; pictures of an earlier run with the same names are replaced.
class ScreenshotAlbum {
  public:
    explicit ScreenshotAlbum(std::filesystem::path folder);

    const std::filesystem::path& folder() const { return folder_; }
    std::filesystem::path indexPath() const { return folder_ / "index.html"; }
    const std::vector<Screenshot>& screenshots() const { return screenshots_; }

    // A timeline line ("  00:12.3  stream chosen: ..."), kept for the next picture.
    void addTimelineLine(std::string line);
    // Renders the window (laid out first) at the main screen's scale and writes it as `slug` numbered
    // next. An error says what could not be written; the album goes on without that picture.
    std::expected<Screenshot, std::string> capture(uikit::UIWindow& window, const std::string& slug,
                                                   const std::string& caption);
    // Writes index.html; the timeline lines after the last picture close the page.
    std::expected<void, std::string> writeIndex(const std::string& title) const;

    // `text` with &, <, >, " escaped for HTML.
    static std::string escapeHTML(const std::string& text);

  private:
    std::filesystem::path folder_;
    std::vector<Screenshot> screenshots_;
    std::vector<std::string> pendingLines_;
};

}  // namespace demoharness
