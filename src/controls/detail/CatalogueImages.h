#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "ui/AssetGraph.h"
#include "uikit/UIImage.h"
#include "uikit/UIScreen.h"

namespace lumora::detail {

// The images of the catalogue entries a row has shown, kept so that showing an unchanged entry again (the
// playing flag or the speed written back on every rate change) does not read and decode its file again. The
// entry is still read from the live catalogue each time: a changed name or bundle, or another screen scale,
// is looked up afresh; an entry without an image is never kept. Main thread only.
class CatalogueImages {
  public:
    std::shared_ptr<uikit::UIImage> image(const AssetGraph::Asset& asset) {
        const double scale = uikit::UIScreen::main()->scale();
        const std::string& path = asset.bundle.bundlePath();
        for (const auto& entry : entries_) {
            if (entry.name == asset.name && entry.bundlePath == path && entry.scale == scale) return entry.image;
        }
        auto found = asset.image();
        if (!found) return nullptr;
        if (entries_.size() == capacity) entries_.erase(entries_.begin());
        entries_.push_back(Entry{asset.name, path, scale, found});
        return found;
    }

  private:
    struct Entry {
        std::string name;
        std::string bundlePath;
        double scale = 0;
        std::shared_ptr<uikit::UIImage> image;
    };
    static constexpr std::size_t capacity = 16;
    std::vector<Entry> entries_;  // the oldest first
};

}  // namespace lumora::detail
