#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/Data.h"
#include "foundation/URL.h"

namespace foundation {

// Orders header names without regard to ASCII case, so that a header map finds "content-type" under
// "Content-Type". HTTP header names are case-insensitive.
struct CaseInsensitiveLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept;
};

// Header fields keyed case-insensitively; the key keeps the spelling it was first stored with.
using HTTPHeaderFields = std::map<std::string, std::string, CaseInsensitiveLess>;

// A request to load a URL. A plain value: copy it, change it, hand it to a session.
struct URLRequest {
    URL url;
    std::string httpMethod = "GET";
    HTTPHeaderFields allHTTPHeaderFields;
    std::optional<Data> httpBody;
    // Seconds the request may stay without receiving anything before it fails with a time-out
    // (NSURLErrorDomain -1001). A value of 0 or less, or NaN, means the session's default.
    double timeoutInterval = 60.0;
    // The largest body, in bytes, this request accepts. A larger answer fails with NSURLErrorDomain -1103
    // naming the limit, found while it arrives: an announced length above it fails before the body is read,
    // and the transfer is aborted as soon as the bytes received pass it, keeping none of them. Nothing: the
    // session's `maximumResponseSize`.
    std::optional<std::size_t> maximumResponseSize;

    explicit URLRequest(URL url, double timeoutInterval = 60.0)
        : url(std::move(url)), timeoutInterval(timeoutInterval) {}

    // Sets (replacing) the field; nothing removes it.
    void setValue(std::optional<std::string> value, std::string_view field);
    // Appends to the field, joining with "," when it is already set.
    void addValue(std::string_view value, std::string_view field);
    // The field's value, the name matched case-insensitively.
    std::optional<std::string> value(std::string_view field) const;

    friend bool operator==(const URLRequest&, const URLRequest&) = default;
};

// The answer of an HTTP server: status code and header fields. The body travels separately as Data.
// A plain value: copy it freely (copies share the header part, which never changes). An answer received over
// HTTP keeps its header lines as they came and reads them into fields only when a field is first asked for
// (most answers are never asked).
struct HTTPURLResponse {
    // The URL that answered (after any redirects).
    URL url;
    int statusCode = 0;

    HTTPURLResponse(URL url, int statusCode, HTTPHeaderFields headers = {});
    // The final answer's header lines as received, each with its line end ("Name: value\r\n"); they are read
    // as `detail::addResponseHeaderLine` reads them.
    static HTTPURLResponse withHeaderLines(URL url, int statusCode, std::string lines);

    // Fields of the final answer; a field sent several times is joined with ", ". Safe from any thread.
    const HTTPHeaderFields& allHeaderFields() const;
    std::optional<std::string> value(std::string_view field) const;
    // "Content-Length" when present and a valid non-negative number.
    std::optional<long long> expectedContentLength() const;
    // The MIME type of "Content-Type" without parameters, lower case ("application/json").
    std::optional<std::string> mimeType() const;

    friend bool operator==(const HTTPURLResponse& a, const HTTPURLResponse& b);

  private:
    // The lines as received (empty when made from fields) and the fields, made by the first reader.
    struct Headers;
    struct Shared {};
    HTTPURLResponse(URL url, int statusCode, std::shared_ptr<const Headers> headers, Shared)
        : url(std::move(url)), statusCode(statusCode), headers_(std::move(headers)) {}

    std::shared_ptr<const Headers> headers_;  // shared by copies; nothing after a move
};

}  // namespace foundation
