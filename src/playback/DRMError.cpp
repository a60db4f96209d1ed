#include "playback/DRMError.h"

namespace lumora {

std::optional<DRMError> DRMError::fromRawValue(int rawValue) {
    if (rawValue < invalidKeyRequest || rawValue > licenseRefused) return std::nullopt;
    return DRMError(static_cast<Case>(rawValue));
}

std::string DRMError::localizedDescription() const {
    return std::string("The operation couldn\u2019t be completed. (") + errorDomain + " error " +
           std::to_string(rawValue()) + ".)";
}

}  // namespace lumora
