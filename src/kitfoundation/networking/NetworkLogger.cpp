#include "kitfoundation/networking/NetworkLogger.h"

#include <algorithm>
#include <cctype>

#include "foundation/JSON.h"
#include "foundation/URL.h"
#include "kitfoundation/Log.h"
#include "kitfoundation/detail/CredentialMasking.h"

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
           n.find("token") != std::string::npos || n.find("jwt") != std::string::npos ||
           n.find("authorization") != std::string::npos;
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

// The first kBodyLimit bytes of a text (not splitting a UTF-8 sequence), and whether it was cut.
std::pair<std::string, bool> head(std::string text) {
    if (text.size() <= kBodyLimit) return {std::move(text), false};
    std::size_t end = kBodyLimit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    text.resize(end);
    return {std::move(text), true};
}

std::string withSize(std::pair<std::string, bool> shown, std::size_t totalBytes) {
    if (!shown.second) return std::move(shown.first);
    return shown.first + "... (" + std::to_string(totalBytes) + " bytes)";
}

bool isNameCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.' || c == '%';
}

// The end of a JSON string whose opening quote is at `open`: the index of its closing quote, or the
// text's end when it has none (a body cut short).
std::size_t stringEnd(std::string_view text, std::size_t open) {
    for (std::size_t i = open + 1; i < text.size(); ++i) {
        if (text[i] == '\\') {
            ++i;
        } else if (text[i] == '"') {
            return i;
        }
    }
    return text.size();
}

// Masks the values of secret fields in text that is not a JSON document the log could parse (cut short,
// a trailing comma, an error page...): every `"name": value` whose name is secret, the value a string
// (up to its closing quote, or to the end when it has none) or a bare word; and every `name=value` as
// in forms and query strings. The rest of the text is shown as it is.
std::string maskedText(std::string_view text) {
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '"') {
            const std::size_t close = stringEnd(text, i);
            const std::string_view name = text.substr(i + 1, close - i - 1);
            out.append(text.substr(i, close < text.size() ? close - i + 1 : std::string_view::npos));
            i = close + 1;
            std::size_t j = i;
            while (j < text.size() && std::isspace(static_cast<unsigned char>(text[j]))) ++j;
            if (j >= text.size() || text[j] != ':' || !isSecretField(name)) continue;
            ++j;
            while (j < text.size() && std::isspace(static_cast<unsigned char>(text[j]))) ++j;
            out.append(text.substr(i, j - i));
            std::size_t valueEnd = j;
            if (j < text.size() && text[j] == '"') {
                valueEnd = std::min(stringEnd(text, j) + 1, text.size());
            } else {
                while (valueEnd < text.size() && text[valueEnd] != ',' && text[valueEnd] != '}' &&
                       text[valueEnd] != ']' && text[valueEnd] != '\n' && text[valueEnd] != '\r') {
                    ++valueEnd;
                }
            }
            if (valueEnd > j) out += std::string("\"") + kMasked + "\"";
            i = valueEnd;
            continue;
        }
        if (c == '=' && !out.empty() && isNameCharacter(out.back())) {
            std::size_t start = out.size();
            while (start > 0 && isNameCharacter(out[start - 1])) --start;
            const std::string rawName = out.substr(start);
            const std::string name = foundation::percentDecoded(rawName).value_or(rawName);
            out.push_back('=');
            ++i;
            if (!isSecretField(name)) continue;
            std::size_t valueEnd = i;
            while (valueEnd < text.size() && text[valueEnd] != '&' && text[valueEnd] != '"' && text[valueEnd] != '\'' &&
                   text[valueEnd] != '<' && !std::isspace(static_cast<unsigned char>(text[valueEnd]))) {
                ++valueEnd;
            }
            if (valueEnd > i) out += kMasked;
            i = valueEnd;
            continue;
        }
        out.push_back(c);
        ++i;
    }
    return out;
}

std::string describeBody(const std::optional<foundation::Data>& data) {
    if (!data || data->empty()) return "none";
    std::string text = foundation::stringFromData(*data);
    if (auto json = foundation::JSONDecoder::parse(text); json && (json->is_object() || json->is_array())) {
        maskJSON(*json);
        return withSize(head(json->dump()), data->size());
    }
    // Only what is shown is masked: a value cut short by the limit is masked up to the cut.
    auto shown = head(std::move(text));
    if (!isValidUTF8Text(shown.first)) return "<" + std::to_string(data->size()) + " bytes>";
    shown.first = maskedText(shown.first);
    return withSize(std::move(shown), data->size());
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
    return detail::maskCredentials(out);
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
        describeHeaders(out, response->allHeaderFields());
        // An answer refused for its size has its status and headers but no body: the error says why.
        if (error) {
            out += "Error: " + error->localizedDescription() + "\n";
        } else {
            out += "Body: " + describeBody(data) + "\n";
        }
    } else {
        out += "Error: " + (error ? error->localizedDescription() : std::string("no response")) + "\n";
    }
    out += std::string(closingBanner) + "\n";
    return detail::maskCredentials(out);
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
