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
    static constexpr int refusedCode = 130401;
    // The largest licence answer taken, in bytes: a content key context is a few kilobytes and a refusal a
    // small JSON object. A larger answer is cut off as it arrives: a key is an invalid licence response, a
    // 403 a refusal.
    static constexpr std::size_t maximumResponseSize = 256 * 1024;

    // Sends `request` (already complete: method, body, headers, time-out; its maximum response size when
    // it sets none is `maximumResponseSize`) and returns the started task. The completion runs once, on
    // the session's delegate queue (never the main queue).
    std::shared_ptr<foundation::URLSessionDataTask> sendLicenseRequest(const foundation::URLRequest& request,
                                                                       Completion completion) const;

    // The answer mapping, in this order:
    // - no HTTP response (a transport failure, a time-out): invalidLicenseResponse (5);
    // - 403 without a body (its page was over the cap, so none was read): licenseRefused (6);
    // - 403: the body, read as UTF-8 JSON, must be an object, else 5; its "code" being the integer 130401
    //   gives licenseRefused (6), anything else (missing, text, another number) keyExchangeFailed (3);
    // - any other status without a body: 5;
    // - 2xx with a body: the licence, the body being the CKC; the renewal interval is the header
    //   "x-irdeto-renewal-duration" (name matched without regard to case) when it is a finite number
    //   above 0 and at most `maximumRenewalInterval`, else 120 seconds (the refused value is logged);
    // - 2xx with an empty body, and every other status: invalidLicenseResponse (5). (A server error page
    //   is not a key.)
    static LicenseResult licenseResult(const std::optional<foundation::Data>& body,
                                       const std::optional<foundation::HTTPURLResponse>& response);
};

}  // namespace lumora
