#pragma once

#include <optional>
#include <string>

#include "foundation/Data.h"
#include "foundation/Error.h"
#include "foundation/URLRequest.h"

namespace lumora {

// The request/response log of the kit's own network stack. Blocks are written to standard output only
// while `debugLogEnabled` is on, each as one write:
//
//   ================Executing Network Request================
//   Time: 14:03:07.250
//   Request: POST https://play.example/api/v3/play
//   Headers:
//       Authorization: <masked>
//       Content-Type: application/json
//   Body: {"assetId":"a1"}
//   =========================================================
//
//   ================Received Network Response================
//   Time: 14:03:07.412
//   Request: POST https://play.example/api/v3/play
//   Status: 200
//   Headers:
//       Content-Type: application/json
//   Body: {...}
//   =========================================================
//
// A failed load shows "Error: " and its description in place of the status, headers and body (in place of
// the body alone for an answer refused for its size, whose status and headers arrived). Times
// are the one clock's wall time (UTC). Secrets are never written: the values of "Authorization",
// "Proxy-Authorization", "Cookie" and "Set-Cookie", and the values of body fields whose name contains
// "password", "secret", "token", "jwt" or "authorization" (any case) show as "<masked>" — in JSON bodies, in bodies
// that only look like JSON (cut short, a trailing comma: every `"name": value`), and in `name=value` pairs of forms and
// other text; query items with such names show the value "masked" in the URL. Whatever its field, a value shaped like a
// token or an authorization credential (a JSON Web Token, "Bearer …", "Basic …") is masked anywhere in a block: other
// headers, error pages, error descriptions. A body that is not text shows as its size; long bodies are cut after 4096
// bytes (a secret across the cut is masked up to it).
struct NetworkLogger {
    static constexpr const char* requestBanner = "================Executing Network Request================";
    static constexpr const char* responseBanner = "================Received Network Response================";
    static constexpr const char* closingBanner = "=========================================================";

    static void logRequest(const foundation::URLRequest& request);
    static void logResponse(const foundation::URLRequest& request,
                            const std::optional<foundation::HTTPURLResponse>& response,
                            const std::optional<foundation::Data>& data, const std::optional<foundation::Error>& error);

    // The blocks as text (without the check of the debug switch).
    static std::string describeRequest(const foundation::URLRequest& request);
    static std::string describeResponse(const foundation::URLRequest& request,
                                        const std::optional<foundation::HTTPURLResponse>& response,
                                        const std::optional<foundation::Data>& data,
                                        const std::optional<foundation::Error>& error);
};

}  // namespace lumora
