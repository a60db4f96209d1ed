#pragma once

#include <functional>
#include <memory>

#include "videotoolbox/VideoToolbox.h"

namespace lumora {

// Whether the device decodes a codec in hardware.
class HEVCCapabilityProvider {
  public:
    virtual ~HEVCCapabilityProvider() = default;
    virtual bool isHardwareDecodeSupported(videotoolbox::CMVideoCodecType codecType) const = 0;
};

// Answers by asking `underlyingProvider` (the platform's hardware-decode check by default).
class HEVCCapability final : public HEVCCapabilityProvider {
  public:
    using UnderlyingProvider = std::function<bool(videotoolbox::CMVideoCodecType)>;

    static std::shared_ptr<HEVCCapability> create(
        UnderlyingProvider underlyingProvider = videotoolbox::VTIsHardwareDecodeSupported);

    const UnderlyingProvider& underlyingProvider() const { return underlyingProvider_; }
    bool isHardwareDecodeSupported(videotoolbox::CMVideoCodecType codecType) const override;

  private:
    explicit HEVCCapability(UnderlyingProvider provider) : underlyingProvider_(std::move(provider)) {}
    UnderlyingProvider underlyingProvider_;
};

}  // namespace lumora
