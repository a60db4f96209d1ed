// Fuzz target for licence answers: the first byte picks the status, the rest is the body. Any answer
// gives a key (the body, whole, from a 2xx answer with a body) or a DRMError of the licence road, never a
// crash: a 403 is a refusal (6) only for a JSON object whose "code" is the integer 130401, another JSON
// object a failed exchange (3), anything else an invalid answer (5); every failure says what happened.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "playback/DRMError.h"
#include "playback/DRMService.h"

namespace {

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "licence invariant broken: %s\n", what);
        std::abort();
    }
}

constexpr std::array<int, 8> kStatuses{200, 403, 204, 500, 401, 299, 302, 100};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const int status = kStatuses[data[0] % kStatuses.size()];
    const foundation::Data body(data + 1, data + size);
    const foundation::HTTPURLResponse response(*foundation::URL::fromString("https://keys.example/fairplay/license"),
                                               status);
    const auto result = lumora::DRMService::licenseResult(body, response);
    if (result) {
        check(status >= 200 && status <= 299 && !body.empty(), "only a 2xx answer with a body is a key");
        check(result->ckc == body, "the key is the whole body");
        return 0;
    }
    const auto* error = result.error().as<lumora::DRMError>();
    check(error != nullptr, "a failure is a DRMError");
    check(!error->reason().empty(), "a failure says what happened");
    const int code = error->rawValue();
    if (status == 403) {
        check(code == lumora::DRMError::licenseRefused || code == lumora::DRMError::keyExchangeFailed ||
                  code == lumora::DRMError::invalidLicenseResponse,
              "a refusal is 6, 3 or 5");
    } else {
        check(code == lumora::DRMError::invalidLicenseResponse, "any other failed answer is invalid (5)");
    }
    // Without an answer at all: invalid.
    const auto none = lumora::DRMService::licenseResult(body, std::nullopt);
    check(!none && none.error().as<lumora::DRMError>()->rawValue() == lumora::DRMError::invalidLicenseResponse,
          "no answer is invalid");
    return 0;
}
