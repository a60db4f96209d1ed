#pragma once

#include <mutex>
#include <optional>

#include "foundation/UUID.h"

// The device's advertising identifier.
//
// As on a device where the viewer has not allowed tracking, the identifier is the all-zero UUID unless it
// is configured: by the environment variable LUMORA_ADVERTISING_IDENTIFIER (an 8-4-4-4-12 UUID in either
// case, read on every call; anything else is ignored), or by `setAdvertisingIdentifier`, which wins.
namespace adsupport {

class ASIdentifierManager {
  public:
    static ASIdentifierManager& shared();

    // The identifier now; its `uuidString()` is upper case.
    foundation::UUID advertisingIdentifier() const;

    // Sets the identifier (a host or test); std::nullopt goes back to the configured one.
    void setAdvertisingIdentifier(std::optional<foundation::UUID> identifier);

    ASIdentifierManager(const ASIdentifierManager&) = delete;
    ASIdentifierManager& operator=(const ASIdentifierManager&) = delete;

  private:
    ASIdentifierManager() = default;
    mutable std::mutex mutex_;  // guards identifier_
    std::optional<foundation::UUID> identifier_;
};

}  // namespace adsupport
