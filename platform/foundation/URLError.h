#pragma once

#include <string>

#include "foundation/Error.h"

namespace foundation {

// The integer-coded errors of URL loading, bridged as NSError values of the domain "NSURLErrorDomain".
// `error.domain()` and `error.code()` of a foundation::Error holding one read them back.
namespace URLError {
inline constexpr const char* domain = "NSURLErrorDomain";
enum Code : int {
    unknown = -1,
    cancelled = -999,
    badURL = -1000,
    timedOut = -1001,
    unsupportedURL = -1002,
    cannotFindHost = -1003,
    cannotConnectToHost = -1004,
    networkConnectionLost = -1005,
    httpTooManyRedirects = -1007,
    badServerResponse = -1011,
    cannotParseResponse = -1017,
    dataLengthExceedsMaximum = -1103,
    secureConnectionFailed = -1200,
    serverCertificateUntrusted = -1202,
};

// The fixed description of each code ("cancelled", "The request timed out.", ...).
std::string description(int code);
// An NSError of the URL domain with the code's description, or with `description` when one is given.
NSError make(int code, std::string description = {});
// True when `error` is an error of the URL domain with that code.
bool is(const Error& error, int code);
}  // namespace URLError

}  // namespace foundation
