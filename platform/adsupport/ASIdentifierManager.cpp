#include "adsupport/ASIdentifierManager.h"

#include <cstdlib>

namespace adsupport {

ASIdentifierManager& ASIdentifierManager::shared() {
    static auto* manager = new ASIdentifierManager();  // never destroyed: read from any thread until exit
    return *manager;
}

foundation::UUID ASIdentifierManager::advertisingIdentifier() const {
    {
        std::lock_guard lock(mutex_);
        if (identifier_) return *identifier_;
    }
    if (const char* text = std::getenv("LUMORA_ADVERTISING_IDENTIFIER")) {
        if (auto parsed = foundation::UUID::fromString(text)) return *parsed;
    }
    return foundation::UUID(foundation::UUID::Bytes{});
}

void ASIdentifierManager::setAdvertisingIdentifier(std::optional<foundation::UUID> identifier) {
    std::lock_guard lock(mutex_);
    identifier_ = identifier;
}

}  // namespace adsupport
