#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "foundation/Error.h"
#include "foundation/URLRequest.h"
#include "kitfoundation/networking/NetworkRequest.h"

namespace lumora {

// Turns a request description into a platform request.
//
// - URL: `domain` and `path` joined with exactly one "/" between them (an empty path leaves the domain
//   as it is); a text that is not a valid absolute URL fails with NetworkError::invalidRequest.
// - Method: the upper-case raw value.
// - Headers: the request's header fields.
// - Parameters: with `json`, the object as compact JSON in the body, and "Content-Type: application/json"
//   unless the request sets a content type; with `urlQuery`, one query item per key appended to the URL
//   (after any the URL already has): text as it is, numbers in their shortest form, true/false, a null
//   as a bare name, arrays as "key[]" items and nested objects as "key[sub]" items; no body.
//   Parameters that are not a JSON object for `urlQuery`, or hold a number that is not finite, fail
//   with NetworkError::invalidRequest: nothing is sent with a silently changed value. So does a header
//   field whose name or value holds a line break or NUL (or a name with ":").
struct NetworkRequestMapper {
    static std::expected<foundation::URLRequest, foundation::Error> map(const NetworkRequestType& request,
                                                                        double timeoutInterval = 60.0);

    // The joining rule of `domain` and `path`.
    static std::string join(std::string_view domain, std::string_view path);
};

}  // namespace lumora
