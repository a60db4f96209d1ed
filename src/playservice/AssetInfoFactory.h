#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "kitfoundation/DeviceInfo.h"
#include "playservice/AssetInfo.h"
#include "uikit/UITraitCollection.h"

namespace lumora {

class AssetInfoFactoryInterface {
  public:
    virtual ~AssetInfoFactoryInterface() = default;
    virtual AssetInfo makeAssetInfo(const std::string& assetId) const = 0;
};

// Fills the play request body for one asset id. The application name ("SDK_PlayServiceAppName", "" when
// the host sets none) and version are read once per process; the bundle identifier and the advertising
// identifier on every call. Never fails.
class AssetInfoFactory final : public AssetInfoFactoryInterface {
  public:
    static std::shared_ptr<AssetInfoFactory> create(DeviceInfo deviceInfo, bool hasHEVCCapability,
                                                    uikit::UIUserInterfaceIdiom userInterfaceIdiom);

    const DeviceInfo& deviceInfo() const { return deviceInfo_; }
    bool hasHEVCCapability() const { return hasHEVCCapability_; }
    uikit::UIUserInterfaceIdiom userInterfaceIdiom() const { return userInterfaceIdiom_; }

    AssetInfo makeAssetInfo(const std::string& assetId) const override;

    // "phone", "tablet", "tv", and "" for any other idiom.
    static std::string deviceType(uikit::UIUserInterfaceIdiom idiom);
    // Leading and trailing white space and line breaks (Unicode's, not only ASCII's) removed.
    static std::string trimmed(std::string_view text);
    // Lower case: ASCII and the Latin, Greek and Cyrillic letters; other characters unchanged.
    static std::string lowercased(std::string_view text);

  private:
    AssetInfoFactory(DeviceInfo deviceInfo, bool hasHEVCCapability, uikit::UIUserInterfaceIdiom idiom)
        : deviceInfo_(std::move(deviceInfo)), hasHEVCCapability_(hasHEVCCapability), userInterfaceIdiom_(idiom) {}

    DeviceInfo deviceInfo_;
    bool hasHEVCCapability_;
    uikit::UIUserInterfaceIdiom userInterfaceIdiom_;
};

}  // namespace lumora
