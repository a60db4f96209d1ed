#include "foundation/URL.h"

#include <unistd.h>
#include <array>
#include <cctype>
#include <climits>
#include <limits>

namespace foundation {

namespace {

// Characters RFC 3986 never allows in a URL, looked up: every URL made or resolved passes each of its
// characters through this.
constexpr auto kForbidden = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 256; ++c) table[static_cast<std::size_t>(c)] = c <= 0x20 || c >= 0x7f;
    for (unsigned char c : std::string_view("\"<>\\^`{|}")) table[c] = true;
    return table;
}();

bool isForbidden(unsigned char c) {
    return kForbidden[c];
}

bool isAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isHexDigit(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Letters, digits and "-._~" (of host names), looked up.
constexpr auto kNameCharacters = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 256; ++c) {
        table[static_cast<std::size_t>(c)] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                             (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~';
    }
    return table;
}();

bool isNameCharacter(unsigned char c) {
    return kNameCharacters[c];
}

// A registered name: letters, digits and "-._~", written as they are or percent-encoded, and
// percent-encoded bytes of international names (0x80 and above).
bool isValidRegisteredName(std::string_view host) {
    if (host.empty()) return false;
    for (std::size_t i = 0; i < host.size(); ++i) {
        const auto c = static_cast<unsigned char>(host[i]);
        if (c == '%') {
            if (i + 2 >= host.size() || hexValue(host[i + 1]) < 0 || hexValue(host[i + 2]) < 0) return false;
            const auto decoded = static_cast<unsigned char>(hexValue(host[i + 1]) * 16 + hexValue(host[i + 2]));
            if (decoded < 0x80 && !isNameCharacter(decoded)) return false;
            i += 2;
        } else if (!isNameCharacter(c)) {
            return false;
        }
    }
    return true;
}

// Four decimal numbers 0...255 joined by ".".
bool isValidIPv4(std::string_view text) {
    int parts = 0;
    std::size_t i = 0;
    while (i <= text.size()) {
        std::size_t j = i;
        int value = 0;
        while (j < text.size() && isDigit(text[j]) && j - i < 3) value = value * 10 + (text[j++] - '0');
        if (j == i || value > 255) return false;
        ++parts;
        if (j == text.size()) break;
        if (text[j] != '.') return false;
        i = j + 1;
    }
    return parts == 4;
}

// "[" IPv6 address, optionally with a zone ("%25eth0") "]": eight groups of one to four hex digits, at
// most one "::" standing for one or more groups of zeros, the last two groups possibly an IPv4 address.
bool isValidIPv6Literal(std::string_view host) {
    if (host.size() < 4 || host.front() != '[' || host.back() != ']') return false;
    std::string_view inner = host.substr(1, host.size() - 2);
    if (const auto zone = inner.find('%'); zone != std::string_view::npos) {
        const std::string_view id = inner.substr(zone);
        if (id.size() < 4 || id.substr(0, 3) != "%25") return false;
        for (char c : id.substr(3)) {
            if (!isAlpha(c) && !isDigit(c) && c != '-' && c != '.' && c != '_' && c != '~') return false;
        }
        inner = inner.substr(0, zone);
    }
    int groups = 0;
    bool compressed = false;
    std::size_t i = 0;
    if (inner.substr(0, 2) == "::") {
        compressed = true;
        i = 2;
    } else if (!inner.empty() && inner[0] == ':') {
        return false;
    }
    while (i < inner.size()) {
        std::size_t j = i;
        while (j < inner.size() && isHexDigit(inner[j]) && j - i < 4) ++j;
        if (j < inner.size() && inner[j] == '.') {
            // A trailing IPv4 address fills two groups.
            if (!isValidIPv4(inner.substr(i))) return false;
            groups += 2;
            i = inner.size();
            break;
        }
        if (j == i) return false;
        ++groups;
        if (j == inner.size()) {
            i = j;
            break;
        }
        if (inner[j] != ':') return false;
        if (j + 1 < inner.size() && inner[j + 1] == ':') {
            if (compressed) return false;
            compressed = true;
            i = j + 2;
        } else {
            if (j + 1 == inner.size()) return false;  // a single trailing ":"
            i = j + 1;
        }
    }
    return compressed ? groups <= 7 : groups == 8;
}

std::string stripBrackets(std::string host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') return host.substr(1, host.size() - 2);
    return host;
}

std::string decodedOrRaw(std::string_view text) {
    auto decoded = percentDecoded(text);
    return decoded ? *decoded : std::string(text);
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

std::optional<URL::Layout> URL::parse(std::string_view text) {
    if (text.empty() || text.size() >= std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    for (unsigned char c : text) {
        if (isForbidden(c)) return std::nullopt;
    }
    Layout layout;
    // scheme ":" "//"
    if (!isAlpha(text[0])) return std::nullopt;
    std::size_t i = 1;
    while (i < text.size() &&
           (isAlpha(text[i]) || isDigit(text[i]) || text[i] == '+' || text[i] == '-' || text[i] == '.')) {
        ++i;
    }
    if (i >= text.size() || text[i] != ':' || text.compare(i + 1, 2, "//") != 0) return std::nullopt;
    layout.schemeEnd = static_cast<std::uint32_t>(i);
    for (std::size_t k = 0; k < i; ++k) {
        if (text[k] >= 'A' && text[k] <= 'Z') layout.schemeIsLower = false;
    }
    const bool isFile = i == 4 && (text[0] | 0x20) == 'f' && (text[1] | 0x20) == 'i' && (text[2] | 0x20) == 'l' &&
                        (text[3] | 0x20) == 'e';

    // authority: [user information "@"] host [":" port], up to "/", "?", "#" or the end.
    const std::size_t authorityBegin = i + 3;
    std::size_t authorityEnd = authorityBegin;
    while (authorityEnd < text.size() && text[authorityEnd] != '/' && text[authorityEnd] != '?' &&
           text[authorityEnd] != '#') {
        ++authorityEnd;
    }
    std::size_t hostBegin = authorityBegin;
    if (const auto at = text.substr(authorityBegin, authorityEnd - authorityBegin).find('@');
        at != std::string_view::npos) {
        layout.hasUser = true;
        layout.userBegin = static_cast<std::uint32_t>(authorityBegin);
        layout.userEnd = static_cast<std::uint32_t>(authorityBegin + at);
        hostBegin = authorityBegin + at + 1;
    }
    std::size_t hostEnd = authorityEnd;
    if (hostBegin < authorityEnd && text[hostBegin] == '[') {
        const auto close = text.substr(hostBegin, authorityEnd - hostBegin).find(']');
        if (close == std::string_view::npos) return std::nullopt;
        hostEnd = hostBegin + close + 1;
        if (!isValidIPv6Literal(text.substr(hostBegin, hostEnd - hostBegin))) return std::nullopt;
        if (hostEnd < authorityEnd && text[hostEnd] != ':') return std::nullopt;
    } else {
        const auto colon = text.substr(hostBegin, authorityEnd - hostBegin).find(':');
        if (colon != std::string_view::npos) hostEnd = hostBegin + colon;
        const std::string_view host = text.substr(hostBegin, hostEnd - hostBegin);
        if (isFile) {
            // A file URL names a file of this machine, by an absolute path.
            if ((!host.empty() && host != "localhost") || layout.hasUser) return std::nullopt;
            if (authorityEnd < text.size() && text[authorityEnd] != '/') return std::nullopt;
        } else if (!isValidRegisteredName(host)) {
            return std::nullopt;
        }
    }
    if (hostEnd < authorityEnd) {
        // ":" port: digits, at most 65535; an empty port is no port.
        std::int64_t port = -1;
        for (std::size_t k = hostEnd + 1; k < authorityEnd; ++k) {
            if (!isDigit(text[k])) return std::nullopt;
            port = (port < 0 ? 0 : port) * 10 + (text[k] - '0');
            if (port > 65535) return std::nullopt;
        }
        if (isFile) return std::nullopt;
        layout.port = static_cast<std::int32_t>(port);
    }
    layout.hostBegin = static_cast<std::uint32_t>(hostBegin);
    layout.hostEnd = static_cast<std::uint32_t>(hostEnd);

    // path, "?" query, "#" fragment
    std::size_t end = authorityEnd;
    while (end < text.size() && text[end] != '?' && text[end] != '#') ++end;
    layout.pathBegin = static_cast<std::uint32_t>(authorityEnd);
    layout.pathEnd = static_cast<std::uint32_t>(end);
    if (end < text.size() && text[end] == '?') {
        layout.hasQuery = true;
        while (end < text.size() && text[end] != '#') ++end;
    }
    layout.queryEnd = static_cast<std::uint32_t>(end);
    layout.hasFragment = end < text.size();
    return layout;
}

std::optional<URL> URL::fromString(std::string_view text) {
    auto layout = parse(text);
    if (!layout) return std::nullopt;
    return URL(std::string(text), *layout);
}

URL URL::fileURL(std::string_view path) {
    std::string absolute(path);
    if (absolute.empty() || absolute.front() != '/') {
        char buffer[PATH_MAX];
        std::string cwd = getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string("/");
        if (cwd.back() != '/') cwd.push_back('/');
        absolute = cwd + absolute;
    }
    // Every character a path may hold is percent-encoded or allowed, so the text always parses.
    return *fromString("file://" + percentEncoded(absolute, kPathKeep));
}

std::string URL::scheme() const {
    std::string out = text_.substr(0, layout_.schemeEnd);
    if (!layout_.schemeIsLower) {
        for (auto& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

std::optional<std::string> URL::host() const {
    if (layout_.hostEnd == layout_.hostBegin) return std::nullopt;
    return stripBrackets(text_.substr(layout_.hostBegin, layout_.hostEnd - layout_.hostBegin));
}

std::optional<int> URL::port() const {
    if (layout_.port < 0) return std::nullopt;
    return layout_.port;
}

std::string URL::path() const {
    return decodedOrRaw(std::string_view(text_).substr(layout_.pathBegin, layout_.pathEnd - layout_.pathBegin));
}

std::optional<std::string> URL::query() const {
    if (!layout_.hasQuery) return std::nullopt;
    return text_.substr(layout_.pathEnd + 1, layout_.queryEnd - layout_.pathEnd - 1);
}

std::optional<std::string> URL::fragment() const {
    if (!layout_.hasFragment) return std::nullopt;
    return text_.substr(layout_.queryEnd + 1);
}

std::optional<std::string> URL::user() const {
    if (!layout_.hasUser) return std::nullopt;
    const std::string_view info =
        std::string_view(text_).substr(layout_.userBegin, layout_.userEnd - layout_.userBegin);
    return decodedOrRaw(info.substr(0, info.find(':')));
}

std::optional<std::string> URL::password() const {
    if (!layout_.hasUser) return std::nullopt;
    const std::string_view info =
        std::string_view(text_).substr(layout_.userBegin, layout_.userEnd - layout_.userBegin);
    const auto colon = info.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    return decodedOrRaw(info.substr(colon + 1));
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
    const std::size_t begin = layout_.pathBegin, end = layout_.pathEnd;
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
    const std::size_t begin = layout_.pathBegin, end = layout_.pathEnd;
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
    const std::size_t begin = layout_.pathBegin, end = layout_.pathEnd;
    std::string rawPath = text_.substr(begin, end - begin);
    if (rawPath.empty() || rawPath == "/") return *this;
    while (rawPath.size() > 1 && rawPath.back() == '/') rawPath.pop_back();
    const auto slash = rawPath.rfind('/');
    rawPath = slash == std::string::npos ? std::string() : rawPath.substr(0, slash + 1);
    auto result = fromString(text_.substr(0, begin) + rawPath + text_.substr(end));
    return result ? *result : *this;
}

bool URL::isFileURL() const {
    return layout_.schemeEnd == 4 && scheme() == "file";
}

URL URL::appending(const std::vector<URLQueryItem>& items) const {
    if (items.empty()) return *this;
    std::string added;
    for (const auto& item : items) {
        if (!added.empty()) added.push_back('&');
        added += percentEncoded(item.name);
        if (item.value) {
            added.push_back('=');
            added += percentEncoded(*item.value);
        }
    }
    const std::size_t queryEnd = layout_.queryEnd;
    std::string text;
    text.reserve(text_.size() + added.size() + 1);
    text.append(text_, 0, queryEnd);
    if (!layout_.hasQuery) {
        text.push_back('?');
    } else if (queryEnd > layout_.pathEnd + 1 && text_[queryEnd - 1] != '&') {
        text.push_back('&');
    }
    text += added;
    text.append(text_, queryEnd);
    // Letters, digits, "-._~", "%", "&", "=" and "?" keep the URL valid: the parts stay where they were.
    auto result = fromString(text);
    return result ? *result : *this;
}

// ---- URLComponents ----

URLComponents::URLComponents(const URL& url) {
    const std::string_view text = url.absoluteString();
    const auto& layout = url.layout_;
    scheme = url.scheme();
    if (auto u = url.user()) user = std::move(u);
    if (auto p = url.password()) password = std::move(p);
    if (layout.hostEnd > layout.hostBegin) {
        host = stripBrackets(decodedOrRaw(text.substr(layout.hostBegin, layout.hostEnd - layout.hostBegin)));
    }
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
                // An IPv6 address. Its zone, held decoded, is written after an encoded "%" ("fe80::1%25eth0").
                const std::size_t zone = host->find('%');
                out += "[" + host->substr(0, zone);
                if (zone != std::string::npos) out += "%25" + percentEncoded(std::string_view(*host).substr(zone + 1));
                out += "]";
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
