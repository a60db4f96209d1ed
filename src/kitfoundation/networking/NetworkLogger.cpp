#include "kitfoundation/networking/NetworkLogger.h"

#include <algorithm>
#include <cctype>

#include "foundation/JSON.h"
#include "foundation/URL.h"
#include "kitfoundation/Log.h"

namespace lumora {

namespace {

constexpr std::size_t kBodyLimit = 4096;
constexpr const char* kMasked = "<masked>";

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool isSecretHeader(std::string_view name) {
    const std::string n = lower(name);
    return n == "authorization" || n == "proxy-authorization" || n == "cookie" || n == "set-cookie";
}

bool isSecretField(std::string_view name) {
    const std::string n = lower(name);
    return n.find("password") != std::string::npos || n.find("secret") != std::string::npos ||
           n.find("token") != std::string::npos;
}

void maskJSON(foundation::JSONValue& value) {
    if (value.is_object()) {
        for (auto it = value.begin(); it != value.end(); ++it) {
            if (isSecretField(it.key())) {
                it.value() = kMasked;
            } else {
                maskJSON(it.value());
            }
        }
    } else if (value.is_array()) {
        for (auto& element : value) maskJSON(element);
    }
}

bool isValidUTF8Text(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        std::size_t extra = 0;
        if (c < 0x80) {
            if (c < 0x20 && c != '\n' && c != '\r' && c != '\t') return false;
            i += 1;
            continue;
        } else if ((c & 0xE0) == 0xC0 && c >= 0xC2) {
            extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
        } else if ((c & 0xF8) == 0xF0 && c <= 0xF4) {
            extra = 3;
        } else {
            return false;
        }
        if (i + extra >= s.size()) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        }
        i += extra + 1;
    }
    return true;
}

std::string cut(std::string text, std::size_t totalBytes) {
    if (text.size() <= kBodyLimit) return text;
    std::size_t end = kBodyLimit;
    // Do not split a UTF-8 sequence.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    text.resize(end);
    return text + "... (" + std::to_string(totalBytes) + " bytes)";
}

// A form body (a=b&c=d) with secret values masked, or nothing when the text is not one.
std::optional<std::string> maskedForm(std::string_view text) {
    if (text.find('=') == std::string_view::npos || text.find_first_of(" \n{}[]\"") != std::string_view::npos) {
        return std::nullopt;
    }
    std::string out;
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto amp = text.find('&', start);
        const std::string_view pair =
            text.substr(start, amp == std::string_view::npos ? std::string_view::npos : amp - start);
        const auto eq = pair.find('=');
        const std::string_view rawName = pair.substr(0, eq);
        const std::string name = foundation::percentDecoded(rawName).value_or(std::string(rawName));
        if (!out.empty() || start > 0) out += '&';
        if (eq != std::string_view::npos && isSecretField(name)) {
            out += std::string(rawName) + "=" + kMasked;
        } else {
            out += std::string(pair);
        }
        if (amp == std::string_view::npos) break;
        start = amp + 1;
    }
    return out;
}

std::string describeBody(const std::optional<foundation::Data>& data) {
    if (!data || data->empty()) return "none";
    const std::string text = foundation::stringFromData(*data);
    if (auto json = foundation::JSONDecoder::parse(text); json && (json->is_object() || json->is_array())) {
        maskJSON(*json);
        return cut(json->dump(), data->size());
    }
    if (!isValidUTF8Text(text)) return "<" + std::to_string(data->size()) + " bytes>";
    if (auto form = maskedForm(text)) return cut(*form, data->size());
    return cut(text, data->size());
}

std::string describeURL(const foundation::URL& url) {
    foundation::URLComponents components(url);
    if (!components.queryItems) return url.absoluteString();
    bool masked = false;
    for (auto& item : *components.queryItems) {
        if (item.value && isSecretField(item.name)) {
            item.value = "masked";
            masked = true;
        }
    }
    if (!masked) return url.absoluteString();
    return components.string().value_or(url.scheme() + "://" + url.host().value_or("") + url.path());
}

void describeHeaders(std::string& out, const foundation::HTTPHeaderFields& headers) {
    if (headers.empty()) {
        out += "Headers: none\n";
        return;
    }
    out += "Headers:\n";
    for (const auto& [name, value] : headers) {
        out += "    " + name + ": " + (isSecretHeader(name) ? std::string(kMasked) : value) + "\n";
    }
}

void emit(const std::string& block) {
    if (!debugLogEnabled.load(std::memory_order_relaxed)) return;
    detail::writeLogLine(block);
}

}  // namespace

std::string NetworkLogger::describeRequest(const foundation::URLRequest& request) {
    std::string out = std::string(requestBanner) + "\n";
    out += "Time: " + Debug::clockTimeString() + "\n";
    out += "Request: " + request.httpMethod + " " + describeURL(request.url) + "\n";
    describeHeaders(out, request.allHTTPHeaderFields);
    out += "Body: " + describeBody(request.httpBody) + "\n";
    out += std::string(closingBanner) + "\n";
    return out;
}

std::string NetworkLogger::describeResponse(const foundation::URLRequest& request,
                                            const std::optional<foundation::HTTPURLResponse>& response,
                                            const std::optional<foundation::Data>& data,
                                            const std::optional<foundation::Error>& error) {
    std::string out = std::string(responseBanner) + "\n";
    out += "Time: " + Debug::clockTimeString() + "\n";
    out += "Request: " + request.httpMethod + " " + describeURL(request.url) + "\n";
    if (response) {
        out += "Status: " + std::to_string(response->statusCode) + "\n";
        describeHeaders(out, response->allHeaderFields);
        out += "Body: " + describeBody(data) + "\n";
    } else {
        out += "Error: " + (error ? error->localizedDescription() : std::string("no response")) + "\n";
    }
    out += std::string(closingBanner) + "\n";
    return out;
}

void NetworkLogger::logRequest(const foundation::URLRequest& request) {
    if (!debugLogEnabled.load(std::memory_order_relaxed)) return;
    emit(describeRequest(request));
}

void NetworkLogger::logResponse(const foundation::URLRequest& request,
                                const std::optional<foundation::HTTPURLResponse>& response,
                                const std::optional<foundation::Data>& data,
                                const std::optional<foundation::Error>& error) {
    if (!debugLogEnabled.load(std::memory_order_relaxed)) return;
    emit(describeResponse(request, response, data, error));
}

}  // namespace lumora
