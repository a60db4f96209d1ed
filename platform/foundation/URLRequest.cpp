#include "foundation/URLRequest.h"

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <limits>
#include <memory>

#include "foundation/URLError.h"
#include "foundation/detail/HTTPEngine.h"

namespace foundation {

namespace {
// ASCII only, as header names are: no locale look-up for every character of every comparison.
inline int asciiLower(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
}
}  // namespace

bool CaseInsensitiveLess::operator()(std::string_view a, std::string_view b) const noexcept {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (a[i] == b[i]) continue;
        const int ca = asciiLower(static_cast<unsigned char>(a[i]));
        const int cb = asciiLower(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca < cb;
    }
    return a.size() < b.size();
}

void URLRequest::setValue(std::optional<std::string> value, std::string_view field) {
    auto it = allHTTPHeaderFields.find(field);
    if (!value) {
        if (it != allHTTPHeaderFields.end()) allHTTPHeaderFields.erase(it);
        return;
    }
    if (it != allHTTPHeaderFields.end()) {
        it->second = std::move(*value);
    } else {
        allHTTPHeaderFields.emplace(std::string(field), std::move(*value));
    }
}

void URLRequest::addValue(std::string_view value, std::string_view field) {
    auto it = allHTTPHeaderFields.find(field);
    if (it == allHTTPHeaderFields.end()) {
        allHTTPHeaderFields.emplace(std::string(field), std::string(value));
    } else {
        it->second += ",";
        it->second += value;
    }
}

std::optional<std::string> URLRequest::value(std::string_view field) const {
    auto it = allHTTPHeaderFields.find(field);
    if (it == allHTTPHeaderFields.end()) return std::nullopt;
    return it->second;
}

struct HTTPURLResponse::Headers {
    std::string lines;
    mutable std::atomic<const HTTPHeaderFields*> fields{nullptr};  // owned; made by the first reader

    Headers(std::string l, const HTTPHeaderFields* f) : lines(std::move(l)), fields(f) {}
    ~Headers() { delete fields.load(); }
    Headers(const Headers&) = delete;
    Headers& operator=(const Headers&) = delete;
};

HTTPURLResponse::HTTPURLResponse(URL url, int statusCode, HTTPHeaderFields headers)
    : url(std::move(url)),
      statusCode(statusCode),
      headers_(std::make_shared<const Headers>(std::string(), new HTTPHeaderFields(std::move(headers)))) {}

HTTPURLResponse HTTPURLResponse::withHeaderLines(URL url, int statusCode, std::string lines) {
    return HTTPURLResponse(std::move(url), statusCode, std::make_shared<const Headers>(std::move(lines), nullptr),
                           Shared{});
}

const HTTPHeaderFields& HTTPURLResponse::allHeaderFields() const {
    static const auto* none = new HTTPHeaderFields();  // a moved-from answer's; never destroyed
    if (!headers_) return *none;
    if (const auto* fields = headers_->fields.load(std::memory_order_acquire)) return *fields;
    auto made = std::make_unique<HTTPHeaderFields>();
    // The lines as libcurl hands them over: each ends with its line feed, which none holds inside.
    std::string_view rest = headers_->lines;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::size_t length = end == std::string_view::npos ? rest.size() : end + 1;
        detail::addResponseHeaderLine(*made, rest.substr(0, length));
        rest.remove_prefix(length);
    }
    // Two first readers on two threads: one set of fields is kept, the other dropped.
    const HTTPHeaderFields* expected = nullptr;
    if (headers_->fields.compare_exchange_strong(expected, made.get(), std::memory_order_acq_rel)) {
        return *made.release();
    }
    return *expected;
}

std::optional<std::string> HTTPURLResponse::value(std::string_view field) const {
    const auto& fields = allHeaderFields();
    auto it = fields.find(field);
    if (it == fields.end()) return std::nullopt;
    return it->second;
}

bool operator==(const HTTPURLResponse& a, const HTTPURLResponse& b) {
    return a.url == b.url && a.statusCode == b.statusCode && a.allHeaderFields() == b.allHeaderFields();
}

std::optional<long long> HTTPURLResponse::expectedContentLength() const {
    auto v = value("Content-Length");
    if (!v || v->empty()) return std::nullopt;
    long long n = 0;
    for (char c : *v) {
        if (c < '0' || c > '9') return std::nullopt;
        if (n > (std::numeric_limits<long long>::max() - 9) / 10) return std::nullopt;
        n = n * 10 + (c - '0');
    }
    return n;
}

std::optional<std::string> HTTPURLResponse::mimeType() const {
    auto v = value("Content-Type");
    if (!v) return std::nullopt;
    std::string type = v->substr(0, v->find(';'));
    while (!type.empty() && std::isspace(static_cast<unsigned char>(type.back()))) type.pop_back();
    std::size_t start = 0;
    while (start < type.size() && std::isspace(static_cast<unsigned char>(type[start]))) ++start;
    type = type.substr(start);
    for (auto& c : type) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (type.empty()) return std::nullopt;
    return type;
}

namespace URLError {

std::string description(int code) {
    switch (code) {
        case cancelled:
            return "cancelled";
        case badURL:
            return "bad URL";
        case timedOut:
            return "The request timed out.";
        case unsupportedURL:
            return "unsupported URL";
        case cannotFindHost:
            return "A server with the specified hostname could not be found.";
        case cannotConnectToHost:
            return "Could not connect to the server.";
        case networkConnectionLost:
            return "The network connection was lost.";
        case httpTooManyRedirects:
            return "too many HTTP redirects";
        case badServerResponse:
            return "bad server response";
        case cannotParseResponse:
            return "cannot parse response";
        case dataLengthExceedsMaximum:
            return "resource exceeds maximum size";
        case secureConnectionFailed:
            return "An SSL error has occurred and a secure connection to the server cannot be made.";
        case serverCertificateUntrusted:
            return "The certificate for this server is invalid.";
        default:
            return "unknown error";
    }
}

NSError make(int code, std::string text) {
    return NSError{domain, code, text.empty() ? description(code) : std::move(text), nullptr};
}

bool is(const Error& error, int code) {
    return error.domain() == domain && error.code() == code;
}

}  // namespace URLError

}  // namespace foundation
