#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace lumora {

// The failures of the FairPlay road, bridged to integer-coded errors of the domain "Lumora.DRMError"
// with the raw value as code (`domain()` and `code()` of a foundation::Error holding one).
class DRMError {
  public:
    enum Case : int {
        // The key request has no "contentId" or "keyId" query value, no host, or no data request.
        invalidKeyRequest = 0,
        // Never raised.
        reserved = 1,
        // The token source gave no token.
        missingToken = 2,
        // The request data (SPC) was not made, or the licence server refused with another code than 130401.
        keyExchangeFailed = 3,
        // The licence address is not a URL.
        invalidLicenseURL = 4,
        // No usable answer from the licence server: no response, no or an empty body, a status that is
        // neither 2xx nor 403, or a 403 body that is not a UTF-8 JSON object.
        invalidLicenseResponse = 5,
        // The licence server answered 403 with the code 130401.
        licenseRefused = 6,
    };

    static constexpr const char* errorDomain = "Lumora.DRMError";

    constexpr DRMError(Case value) : value_(value) {}   // NOLINT(google-explicit-constructor)
    constexpr operator Case() const { return value_; }  // NOLINT(google-explicit-constructor)

    // 0...6; nothing for any other value.
    static std::optional<DRMError> fromRawValue(int rawValue);
    constexpr int rawValue() const { return static_cast<int>(value_); }

    std::string domain() const { return errorDomain; }
    int code() const { return rawValue(); }
    // The bridged error's text: "The operation couldn’t be completed. (Lumora.DRMError error 6.)".
    std::string localizedDescription() const;

  private:
    Case value_;
};

}  // namespace lumora

template <>
struct std::hash<lumora::DRMError> {
    std::size_t operator()(const lumora::DRMError& e) const noexcept { return std::hash<int>{}(e.rawValue()); }
};
