#include "playservice/HEVCCapability.h"

namespace lumora {

std::shared_ptr<HEVCCapability> HEVCCapability::create(UnderlyingProvider underlyingProvider) {
    return std::shared_ptr<HEVCCapability>(new HEVCCapability(std::move(underlyingProvider)));
}

bool HEVCCapability::isHardwareDecodeSupported(videotoolbox::CMVideoCodecType codecType) const {
    return underlyingProvider_ ? underlyingProvider_(codecType) : false;
}

}  // namespace lumora
