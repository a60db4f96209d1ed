#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "foundation/Error.h"

namespace lumora {

// The failures of the FairPlay road, bridged to integer-coded errors of the domain "Lumora.DRMError"
// with the raw value as code (`domain()` and `code()` of a foundation::Error holding one). The case is what
// callers branch on; a failure of the key loader also says what happened (`reason()`: timed out, refused,
// an answer that cannot be read, redirected, no key id in the key address...) and keeps its cause
// (`underlying()`: the time-out, the certificate download's error...). Two errors are equal when their
// cases are.
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
        // No usable answer from the licence server: no response (a transport failure, a time-out), no or an
        // empty body, a status that is neither 2xx nor 403 (a redirect included), or a 403 body that is not
        // a UTF-8 JSON object.
        invalidLicenseResponse = 5,
        // The licence server answered 403 with the code 130401.
        licenseRefused = 6,
    };

    static constexpr const char* errorDomain = "Lumora.DRMError";

    DRMError(Case value) : value_(value) {}  // NOLINT(google-explicit-constructor)
    // The case, what happened in a few words without a final stop ("the licence request timed out"), and
    // its cause when there is one.
    DRMError(Case value, std::string reason, std::optional<foundation::Error> underlying = std::nullopt);
    operator Case() const { return value_; }  // NOLINT(google-explicit-constructor)

    // 0...6; nothing for any other value.
    static std::optional<DRMError> fromRawValue(int rawValue);
    int rawValue() const { return static_cast<int>(value_); }

    // What happened; empty when only the case is known.
    const std::string& reason() const;
    // The error that caused this one, if any.
    std::optional<foundation::Error> underlying() const;

    std::string domain() const { return errorDomain; }
    int code() const { return rawValue(); }
    // The bridged error's text: "The operation couldn’t be completed. (Lumora.DRMError error 6.)", the
    // reason in place of the first sentence when there is one ("The licence request timed out.
    // (Lumora.DRMError error 5.)").
    std::string localizedDescription() const;

  private:
    struct Detail;
    Case value_;
    std::shared_ptr<const Detail> detail_;  // the reason and the cause; shared by copies, never changed
};

}  // namespace lumora

template <>
struct std::hash<lumora::DRMError> {
    std::size_t operator()(const lumora::DRMError& e) const noexcept { return std::hash<int>{}(e.rawValue()); }
};
