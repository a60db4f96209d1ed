#pragma once

#include <cstddef>
#include <expected>
#include <functional>
#include <memory>
#include <optional>

#include "foundation/Data.h"
#include "foundation/Error.h"
#include "foundation/URLRequest.h"
#include "foundation/URLSession.h"
#include "playback/DRMError.h"

namespace lumora {

// What the licence server gave: the content key context (CKC) and how many seconds it stays valid.
struct DRMLicense {
    foundation::Data ckc;
    double renewalInterval = 0;
};

// Posts a licence request to the licence server and turns its answer into a licence or a DRMError.
// No state: each request gets its own session, whose worker queue runs the completion.
class DRMService {
  public:
    using LicenseResult = std::expected<DRMLicense, foundation::Error>;
    using Completion = std::function<void(LicenseResult)>;

    static constexpr const char* renewalHeader = "x-irdeto-renewal-duration";
    static constexpr double defaultRenewalInterval = 120.0;
    // The longest renewal interval taken from a licence answer: a year.
    static constexpr double maximumRenewalInterval = 365.0 * 24 * 3600;
    // The shortest: no licence server means a key to be renewed faster than a segment or two plays, and a
    // shorter interval would renew at once on every answer (a loop of licence requests while the clock stands).
    static constexpr double minimumRenewalInterval = 10.0;
    static constexpr int refusedCode = 130401;
    // The largest licence answer taken, in bytes: a content key context is a few kilobytes and a refusal a
    // small JSON object. A larger answer is cut off as it arrives: a key is an invalid licence response, a
    // 403 a refusal.
    static constexpr std::size_t maximumResponseSize = 256 * 1024;

    // Sends `request` (already complete: method, body, headers, time-out; its maximum response size when
    // it sets none is `maximumResponseSize`) and returns the started task. Redirects are not followed. The
    // completion runs once, on the session's delegate queue (never the main queue).
    std::shared_ptr<foundation::URLSessionDataTask> sendLicenseRequest(const foundation::URLRequest& request,
                                                                       Completion completion) const;

    // The answer mapping, in this order (each failure's `DRMError::reason()` says which it was, naming the
    // status but repeating nothing of the body; the session's error, when there is one, is its cause):
    // - no HTTP response: invalidLicenseResponse (5): timed out, cancelled, larger than the cap, or the
    //   server could not be reached;
    // - 403 without a body (its page was over the cap, so none was read): licenseRefused (6);
    // - any other status without a body: invalidLicenseResponse (5);
    // - 403: the body, read as UTF-8 JSON, must be an object, else 5; its "code" being the integer 130401
    //   gives licenseRefused (6), anything else (missing, text, another number) keyExchangeFailed (3);
    // - 3xx (a redirect), and every other status outside 2xx: invalidLicenseResponse (5);
    // - 2xx with an empty body: invalidLicenseResponse (5) (a server error page is not a key either, but
    //   only the media player can tell: it checks the key);
    // - 2xx with a body: the licence, the body being the CKC; the renewal interval is the header
    //   "x-irdeto-renewal-duration" (name matched without regard to case) when it is a finite number
    //   above 0 and at most `maximumRenewalInterval`, raised to `minimumRenewalInterval` when below it (the
    //   raise is logged), else 120 seconds (the refused value is logged).
    static LicenseResult licenseResult(const std::optional<foundation::Data>& body,
                                       const std::optional<foundation::HTTPURLResponse>& response,
                                       const std::optional<foundation::Error>& error = std::nullopt);
};

}  // namespace lumora
