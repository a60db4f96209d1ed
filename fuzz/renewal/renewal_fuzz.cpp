// Fuzz target for the renewal header of a licence answer: any text arriving as the value of
// "x-irdeto-renewal-duration" (as a header line, through the engine's reading of header lines) gives a
// renewal interval between the floor and the ceiling of intervals (never one due at once, whatever the
// header): the header's own number when it is one (raised to the floor when below it), else the default of
// 120 seconds. The key itself is never lost to a bad header.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "foundation/URL.h"
#include "foundation/URLRequest.h"
#include "playback/DRMService.h"

namespace {

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "renewal invariant broken: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string value(reinterpret_cast<const char*>(data), size);
    const auto response = foundation::HTTPURLResponse::withHeaderLines(
        *foundation::URL::fromString("https://keys.example/fairplay/license"), 200,
        std::string(lumora::DRMService::renewalHeader) + ": " + value + "\r\n");
    const foundation::HTTPHeaderFields& headers = response.allHeaderFields();
    const auto result = lumora::DRMService::licenseResult(foundation::dataFromString("CKC"), response);
    check(result.has_value(), "a key with any renewal header is a key");
    check(foundation::stringFromData(result->ckc) == "CKC", "the key is the body");
    const double interval = result->renewalInterval;
    check(std::isfinite(interval) && interval >= lumora::DRMService::minimumRenewalInterval &&
              interval <= lumora::DRMService::maximumRenewalInterval,
          "the interval is between the floor and the ceiling");
    if (!headers.contains(lumora::DRMService::renewalHeader)) {
        check(interval == lumora::DRMService::defaultRenewalInterval, "no header: the default");
    }
    return 0;
}
