#pragma once

#include <memory>

#include "ui/AssetGraph.h"
#include "ui/ZuPlayerMetrics.h"
#include "ui/ZuPlayerStyle.h"
#include "uikit/UIScreen.h"
#include "uikit/UITraitCollection.h"

namespace lumora::testing {

// Makes the main screen a device of the given size (points) and idiom for the life of the scope, and
// gives the traits a full-screen window has on it. The default screen comes back at the end.
class DeviceScope {
  public:
    DeviceScope(uikit::CGFloat width, uikit::CGFloat height, uikit::UIUserInterfaceIdiom idiom,
                uikit::CGFloat scale = 3)
        : screen_(uikit::UIScreen::create(uikit::CGRect(0, 0, width, height), scale, idiom)) {
        uikit::UIScreen::setMain(screen_);
    }
    ~DeviceScope() { uikit::UIScreen::setMain(nullptr); }
    DeviceScope(const DeviceScope&) = delete;
    DeviceScope& operator=(const DeviceScope&) = delete;

    // The traits of a window filling the screen.
    uikit::UITraitCollection traits() const {
        return uikit::UITraitCollection::forWindow(screen_->bounds().size, screen_->idiom(), screen_->scale());
    }
    const std::shared_ptr<uikit::UIScreen>& screen() const { return screen_; }

  private:
    std::shared_ptr<uikit::UIScreen> screen_;
};

// Keeps the live player metrics and style as they were when the scope began, restoring them at its end,
// so a test may change them freely.
class PlayerAppearanceScope {
  public:
    PlayerAppearanceScope() : metrics_(ZuPlayerMetrics::shared()), style_(ZuPlayerStyle::shared()) {}
    ~PlayerAppearanceScope() {
        ZuPlayerMetrics::setShared(metrics_);
        ZuPlayerStyle::setShared(style_);
    }
    PlayerAppearanceScope(const PlayerAppearanceScope&) = delete;
    PlayerAppearanceScope& operator=(const PlayerAppearanceScope&) = delete;

  private:
    ZuPlayerMetrics metrics_;
    ZuPlayerStyle style_;
};

// Keeps the live asset catalogue as it was when the scope began, restoring it at its end, so a test may edit
// its entries or replace it.
class AssetCatalogueScope {
  public:
    AssetCatalogueScope() : saved_(AssetGraph::shared()) {}
    ~AssetCatalogueScope() { AssetGraph::setShared(saved_); }
    AssetCatalogueScope(const AssetCatalogueScope&) = delete;
    AssetCatalogueScope& operator=(const AssetCatalogueScope&) = delete;

  private:
    AssetGraph saved_;
};

}  // namespace lumora::testing
