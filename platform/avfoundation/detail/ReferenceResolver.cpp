#include "avfoundation/detail/ReferenceResolver.h"

#include <algorithm>

namespace avfoundation::detail {

namespace {

bool needsEncoding(char c) {
    return c == ' ' || static_cast<unsigned char>(c) >= 0x80;
}

// RFC 3986: ALPHA *( ALPHA / DIGIT / "+" / "-" / "." ) ":".
bool hasScheme(std::string_view reference) {
    for (std::size_t i = 0; i < reference.size(); ++i) {
        const char c = reference[i];
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (c == ':') return i > 0;
        if (!letter && (i == 0 || !((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'))) return false;
    }
    return false;
}

// Appends `path` with its "." and ".." segments worked out (remove_dot_segments).
void appendPath(std::string& target, std::string_view path) {
    const bool dotted = path == "." || path == ".." || path.starts_with("./") || path.starts_with("../") ||
                        path.find("/.") != std::string_view::npos;
    if (!dotted) {
        target.append(path);
        return;
    }
    const std::size_t floor = target.size();  // never removes what precedes the path
    auto dropLastSegment = [&] {
        const std::size_t slash = target.rfind('/');
        target.resize(slash == std::string::npos || slash < floor ? floor : slash);
    };
    std::string_view in = path;
    while (!in.empty()) {
        if (in.starts_with("../")) {
            in.remove_prefix(3);
        } else if (in.starts_with("./")) {
            in.remove_prefix(2);
        } else if (in.starts_with("/./")) {
            in.remove_prefix(2);
        } else if (in == "/.") {
            in = "/";
        } else if (in.starts_with("/../")) {
            in.remove_prefix(3);
            dropLastSegment();
        } else if (in == "/..") {
            in = "/";
            dropLastSegment();
        } else if (in == "." || in == "..") {
            in = {};
        } else {
            const std::size_t next = in.find('/', 1);
            const std::size_t length = next == std::string_view::npos ? in.size() : next;
            target.append(in.substr(0, length));
            in.remove_prefix(length);
        }
    }
}

// "//authority/path?query#fragment" (the authority optional) with the dot segments of the path removed.
void appendWithoutScheme(std::string& target, std::string_view rest) {
    std::size_t pathBegin = 0;
    if (rest.starts_with("//")) pathBegin = std::min(rest.find_first_of("/?#", 2), rest.size());
    const std::size_t pathEnd = std::min(rest.find_first_of("?#", pathBegin), rest.size());
    target.append(rest.substr(0, pathBegin));
    appendPath(target, rest.substr(pathBegin, pathEnd - pathBegin));
    target.append(rest.substr(pathEnd));
}

}  // namespace

// A foundation::URL always has "scheme://authority": its parts end where the first "/", "?" and "#" after
// the authority fall.
ReferenceResolver::ReferenceResolver(const foundation::URL& base) : text_(base.absoluteString()) {
    const std::string_view text = text_;
    const std::size_t colon = text.find(':');
    scheme_ = text.substr(0, colon + 1);
    const std::size_t authorityEnd = std::min(text.find_first_of("/?#", colon + 3), text.size());
    authority_ = text.substr(colon + 1, authorityEnd - colon - 1);
    const std::size_t pathEnd = std::min(text.find_first_of("?#", authorityEnd), text.size());
    path_ = text.substr(authorityEnd, pathEnd - authorityEnd);
    if (pathEnd < text.size() && text[pathEnd] == '?') {
        query_ = text.substr(pathEnd, std::min(text.find('#', pathEnd), text.size()) - pathEnd);
    }
}

std::optional<foundation::URL> ReferenceResolver::resolve(std::string_view reference) const {
    if (reference.empty()) return std::nullopt;
    std::string encoded;
    if (!hasScheme(reference) && std::ranges::any_of(reference, needsEncoding)) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        for (char c : reference) {
            if (!needsEncoding(c)) {
                encoded += c;
                continue;
            }
            const auto byte = static_cast<unsigned char>(c);
            encoded += {'%', kHex[byte >> 4], kHex[byte & 0xF]};
        }
        reference = encoded;
    }
    std::string target;
    target.reserve(text_.size() + reference.size());
    if (hasScheme(reference)) {
        const std::size_t colon = reference.find(':');
        target.append(reference.substr(0, colon + 1));
        appendWithoutScheme(target, reference.substr(colon + 1));
        return foundation::URL::fromString(std::move(target));
    }
    target.append(scheme_);
    if (reference.starts_with("//")) {
        appendWithoutScheme(target, reference);
        return foundation::URL::fromString(std::move(target));
    }
    target.append(authority_);
    const std::size_t pathEnd = std::min(reference.find_first_of("?#"), reference.size());
    const std::string_view path = reference.substr(0, pathEnd);
    const std::string_view rest = reference.substr(pathEnd);
    if (path.empty()) {
        // The base's path, and its query unless the reference has one.
        target.append(path_);
        if (!rest.starts_with('?')) target.append(query_);
    } else if (path.front() == '/') {
        appendPath(target, path);
    } else {
        // Merged with the base path up to its last "/" ("/" alone when the base has no path).
        const std::size_t slash = path_.rfind('/');
        std::string merged(slash == std::string_view::npos ? std::string_view("/") : path_.substr(0, slash + 1));
        merged.append(path);
        appendPath(target, merged);
    }
    target.append(rest);
    return foundation::URL::fromString(std::move(target));
}

}  // namespace avfoundation::detail
