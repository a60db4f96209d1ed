#include "foundation/URL.h"

#include <curl/curl.h>

#include <unistd.h>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <memory>

namespace foundation {

namespace {

struct CurlUrlDeleter {
    void operator()(CURLU* h) const { curl_url_cleanup(h); }
};
using CurlUrl = std::unique_ptr<CURLU, CurlUrlDeleter>;

struct CurlStringDeleter {
    void operator()(char* p) const { curl_free(p); }
};

// Characters RFC 3986 never allows in a URL, which libcurl lets through.
bool hasForbiddenCharacter(std::string_view text) {
    for (unsigned char c : text) {
        if (c <= 0x20 || c >= 0x7f) return true;
        switch (c) {
            case '"':
            case '<':
            case '>':
            case '\\':
            case '^':
            case '`':
            case '{':
            case '|':
            case '}':
                return true;
            default:
                break;
        }
    }
    return false;
}

CurlUrl parse(std::string_view text) {
    if (text.empty() || hasForbiddenCharacter(text)) return nullptr;
    CurlUrl h(curl_url());
    if (!h) return nullptr;
    const std::string copy(text);
    // Any scheme ("skd", "file"...) is a valid URL; the path is kept as written (no dot-segment removal).
    if (curl_url_set(h.get(), CURLUPART_URL, copy.c_str(), CURLU_NON_SUPPORT_SCHEME | CURLU_PATH_AS_IS) != CURLUE_OK) {
        return nullptr;
    }
    return h;
}

std::optional<std::string> part(const CurlUrl& h, CURLUPart which, unsigned flags = 0) {
    if (!h) return std::nullopt;
    char* out = nullptr;
    if (curl_url_get(h.get(), which, &out, flags) != CURLUE_OK || !out) return std::nullopt;
    std::unique_ptr<char, CurlStringDeleter> guard(out);
    return std::string(out);
}

std::string stripBrackets(std::string host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') return host.substr(1, host.size() - 2);
    return host;
}

std::string decodedOrRaw(std::string_view text) {
    auto decoded = percentDecoded(text);
    return decoded ? *decoded : std::string(text);
}

// Where the path of an absolute URL text begins and ends: [begin, end).
std::pair<std::size_t, std::size_t> pathRange(const std::string& text) {
    std::size_t i = text.find(':');
    if (i == std::string::npos) return {text.size(), text.size()};
    ++i;
    if (text.compare(i, 2, "//") == 0) {
        i += 2;
        while (i < text.size() && text[i] != '/' && text[i] != '?' && text[i] != '#') ++i;
    }
    std::size_t end = i;
    while (end < text.size() && text[end] != '?' && text[end] != '#') ++end;
    return {i, end};
}

constexpr std::string_view kPathKeep = "/:@!$&'()*+,;=";

bool isValidScheme(std::string_view s) {
    if (s.empty() || !std::isalpha(static_cast<unsigned char>(s[0]))) return false;
    for (unsigned char c : s) {
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
    }
    return true;
}

}  // namespace

std::string percentEncoded(std::string_view text, std::string_view keep) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' ||
            (c < 0x80 && keep.find(static_cast<char>(c)) != std::string_view::npos)) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 0xF]);
        }
    }
    return out;
}

std::optional<std::string> percentDecoded(std::string_view text) {
    auto hexValue = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        const int hi = hexValue(text[i + 1]);
        const int lo = hexValue(text[i + 2]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
    }
    return out;
}

// ---- URL ----

std::optional<URL> URL::fromString(std::string_view text) {
    if (!parse(text)) return std::nullopt;
    return URL(std::string(text));
}

URL URL::fileURL(std::string_view path) {
    std::string absolute(path);
    if (absolute.empty() || absolute.front() != '/') {
        char buffer[PATH_MAX];
        std::string cwd = getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string("/");
        if (cwd.back() != '/') cwd.push_back('/');
        absolute = cwd + absolute;
    }
    return URL("file://" + percentEncoded(absolute, kPathKeep));
}

std::string URL::scheme() const {
    return part(parse(text_), CURLUPART_SCHEME).value_or("");
}

std::optional<std::string> URL::host() const {
    auto h = part(parse(text_), CURLUPART_HOST);
    if (!h || h->empty()) return std::nullopt;
    return stripBrackets(*h);
}

std::optional<int> URL::port() const {
    auto p = part(parse(text_), CURLUPART_PORT);
    if (!p) return std::nullopt;
    return std::atoi(p->c_str());
}

std::string URL::path() const {
    auto range = pathRange(text_);
    return decodedOrRaw(std::string_view(text_).substr(range.first, range.second - range.first));
}

std::optional<std::string> URL::query() const {
    const auto q = text_.find('?');
    const auto f = text_.find('#');
    if (q == std::string::npos || (f != std::string::npos && f < q)) return std::nullopt;
    return text_.substr(q + 1, f == std::string::npos ? std::string::npos : f - q - 1);
}

std::optional<std::string> URL::fragment() const {
    const auto f = text_.find('#');
    if (f == std::string::npos) return std::nullopt;
    return text_.substr(f + 1);
}

std::optional<std::string> URL::user() const {
    auto u = part(parse(text_), CURLUPART_USER);
    if (!u) return std::nullopt;
    return decodedOrRaw(*u);
}

std::optional<std::string> URL::password() const {
    auto p = part(parse(text_), CURLUPART_PASSWORD);
    if (!p) return std::nullopt;
    return decodedOrRaw(*p);
}

std::string URL::lastPathComponent() const {
    std::string p = path();
    if (p.empty() || p == "/") return p;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    const auto slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string URL::pathExtension() const {
    const std::string last = lastPathComponent();
    const auto dot = last.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == last.size()) return "";
    return last.substr(dot + 1);
}

std::vector<std::string> URL::pathComponents() const {
    const std::string p = path();
    std::vector<std::string> out;
    std::size_t i = 0;
    if (!p.empty() && p[0] == '/') {
        out.emplace_back("/");
        i = 1;
    }
    while (i < p.size()) {
        auto next = p.find('/', i);
        if (next == std::string::npos) next = p.size();
        if (next > i) out.push_back(p.substr(i, next - i));
        i = next + 1;
    }
    return out;
}

URL URL::appendingPathComponent(std::string_view component) const {
    auto [begin, end] = pathRange(text_);
    std::string rawPath = text_.substr(begin, end - begin);
    std::string encoded = percentEncoded(component, kPathKeep);
    if (rawPath.empty() || rawPath.back() != '/') {
        if (encoded.empty() || encoded.front() != '/') rawPath.push_back('/');
    } else if (!encoded.empty() && encoded.front() == '/') {
        encoded.erase(0, 1);
    }
    rawPath += encoded;
    auto result = fromString(text_.substr(0, begin) + rawPath + text_.substr(end));
    return result ? *result : *this;
}

URL URL::appendingPathExtension(std::string_view extension) const {
    if (extension.empty()) return *this;
    auto [begin, end] = pathRange(text_);
    std::string rawPath = text_.substr(begin, end - begin);
    std::string trailing;
    while (rawPath.size() > 1 && rawPath.back() == '/') {
        rawPath.pop_back();
        trailing.push_back('/');
    }
    if (rawPath.empty() || rawPath == "/") return *this;
    rawPath += "." + percentEncoded(extension, "!$&'()*+,;=:@") + trailing;
    auto result = fromString(text_.substr(0, begin) + rawPath + text_.substr(end));
    return result ? *result : *this;
}

URL URL::deletingLastPathComponent() const {
    auto [begin, end] = pathRange(text_);
    std::string rawPath = text_.substr(begin, end - begin);
    if (rawPath.empty() || rawPath == "/") return *this;
    while (rawPath.size() > 1 && rawPath.back() == '/') rawPath.pop_back();
    const auto slash = rawPath.rfind('/');
    rawPath = slash == std::string::npos ? std::string() : rawPath.substr(0, slash + 1);
    auto result = fromString(text_.substr(0, begin) + rawPath + text_.substr(end));
    return result ? *result : *this;
}

bool URL::isFileURL() const {
    return scheme() == "file";
}

// ---- URLComponents ----

URLComponents::URLComponents(const URL& url) {
    CurlUrl h = parse(url.absoluteString());
    scheme = part(h, CURLUPART_SCHEME);
    if (auto u = part(h, CURLUPART_USER)) user = decodedOrRaw(*u);
    if (auto p = part(h, CURLUPART_PASSWORD)) password = decodedOrRaw(*p);
    if (auto hst = part(h, CURLUPART_HOST); hst && !hst->empty()) host = stripBrackets(decodedOrRaw(*hst));
    port = url.port();
    path = url.path();
    if (auto q = url.query()) {
        std::vector<URLQueryItem> items;
        std::size_t i = 0;
        while (i <= q->size()) {
            auto amp = q->find('&', i);
            if (amp == std::string::npos) amp = q->size();
            std::string_view piece = std::string_view(*q).substr(i, amp - i);
            if (!piece.empty()) {
                const auto eq = piece.find('=');
                if (eq == std::string_view::npos) {
                    items.push_back({decodedOrRaw(piece), std::nullopt});
                } else {
                    items.push_back({decodedOrRaw(piece.substr(0, eq)), decodedOrRaw(piece.substr(eq + 1))});
                }
            }
            i = amp + 1;
        }
        queryItems = std::move(items);
    }
    if (auto f = url.fragment()) fragment = decodedOrRaw(*f);
}

std::optional<URLComponents> URLComponents::fromString(std::string_view text) {
    auto url = URL::fromString(text);
    if (!url) return std::nullopt;
    return URLComponents(*url);
}

std::optional<std::string> URLComponents::percentEncodedQuery() const {
    if (!queryItems) return std::nullopt;
    std::string out;
    for (const auto& item : *queryItems) {
        if (!out.empty()) out.push_back('&');
        out += percentEncoded(item.name);
        if (item.value) {
            out.push_back('=');
            out += percentEncoded(*item.value);
        }
    }
    return out;
}

std::optional<std::string> URLComponents::string() const {
    if (!scheme || !isValidScheme(*scheme)) return std::nullopt;
    std::string out = *scheme + ":";
    const bool hasAuthority = host.has_value() || *scheme == "file";
    if (hasAuthority) {
        out += "//";
        if (user) {
            out += percentEncoded(*user, "!$&'()*+,;=");
            if (password) out += ":" + percentEncoded(*password, "!$&'()*+,;=");
            out.push_back('@');
        }
        if (host) {
            if (host->find(':') != std::string::npos) {
                out += "[" + *host + "]";
            } else {
                out += percentEncoded(*host, "!$&'()*+,;=");
            }
        }
        if (port) {
            if (*port < 0 || *port > 65535) return std::nullopt;
            out += ":" + std::to_string(*port);
        }
        if (!path.empty() && path.front() != '/') return std::nullopt;
    }
    out += percentEncoded(path, kPathKeep);
    if (auto q = percentEncodedQuery()) out += "?" + *q;
    if (fragment) out += "#" + percentEncoded(*fragment, "/?:@!$&'()*+,;=");
    if (!URL::fromString(out)) return std::nullopt;
    return out;
}

std::optional<URL> URLComponents::url() const {
    auto text = string();
    if (!text) return std::nullopt;
    return URL::fromString(*text);
}

}  // namespace foundation
