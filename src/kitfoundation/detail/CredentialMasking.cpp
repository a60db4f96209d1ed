#include "kitfoundation/detail/CredentialMasking.h"

#include <array>
#include <cctype>
#include <cstring>

namespace lumora::detail {

namespace {

constexpr std::string_view kMasked = "<masked>";

bool isBase64URL(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_';
}

bool isTokenCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("-._~+/", c) != nullptr;
}

bool startsWithIgnoringCase(std::string_view text, std::size_t at, std::string_view word) {
    if (text.size() - at < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[at + i])) != word[i]) return false;
    }
    return true;
}

// The end of a JSON Web Token starting at `at`, or `at` when none starts there.
std::size_t jwtEnd(std::string_view text, std::size_t at) {
    if (text.compare(at, 3, "eyJ") != 0) return at;
    std::size_t i = at;
    while (i < text.size() && isBase64URL(text[i])) ++i;
    if (i - at < 10 || i >= text.size() || text[i] != '.') return at;
    const std::size_t secondStart = i + 1;
    std::size_t end = secondStart;
    while (end < text.size() && isBase64URL(text[end])) ++end;
    if (end == secondStart) return at;
    // Further parts: the signature (possibly empty) and those of an encrypted token.
    while (end < text.size() && text[end] == '.') {
        ++end;
        while (end < text.size() && isBase64URL(text[end])) ++end;
    }
    return end;
}

// Where the credential after an authorization scheme at `at` starts and ends, or nothing.
std::pair<std::size_t, std::size_t> schemeCredential(std::string_view text, std::size_t at) {
    std::size_t i = at;
    if (startsWithIgnoringCase(text, at, "bearer")) {
        i += 6;
    } else if (startsWithIgnoringCase(text, at, "basic")) {
        i += 5;
    } else {
        return {at, at};
    }
    const std::size_t afterScheme = i;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i == afterScheme) return {at, at};
    const std::size_t start = i;
    while (i < text.size() && isTokenCharacter(text[i])) ++i;
    // Dots that end the run end a sentence.
    while (i > start && text[i - 1] == '.') --i;
    bool random = false;
    for (std::size_t k = start; k < i; ++k) {
        const auto c = static_cast<unsigned char>(text[k]);
        if (!std::isalpha(c) || (k > start && std::isupper(c))) random = true;
    }
    while (i < text.size() && text[i] == '=') {
        random = true;
        ++i;
    }
    if (i - start < 8 || !random) return {at, at};
    return {start, i};
}

// Where the value of an authorization field written as text at `at` starts and ends, or nothing.
std::pair<std::size_t, std::size_t> fieldValue(std::string_view text, std::size_t at) {
    std::size_t i = at;
    if (startsWithIgnoringCase(text, at, "proxy-authorization")) {
        i += 19;
    } else if (startsWithIgnoringCase(text, at, "authorization")) {
        i += 13;
    } else {
        return {at, at};
    }
    if (i < text.size() && (text[i] == '"' || text[i] == '\'')) ++i;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i >= text.size() || (text[i] != ':' && text[i] != '=')) return {at, at};
    ++i;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i < text.size() && (text[i] == '"' || text[i] == '\'')) ++i;
    const std::size_t start = i;
    while (i < text.size() && !std::strchr("\"'\r\n&,", text[i])) ++i;
    // A value already masked (or one the other rules will mask) is left to them.
    if (i == start || text.compare(start, kMasked.size(), kMasked) == 0) return {at, at};
    return {start, i};
}

}  // namespace

std::string maskCredentials(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        // Only where a word starts: "xeyJ..." or "unbearer" is something else.
        const char previous = i > 0 ? text[i - 1] : ' ';
        if (!isBase64URL(previous)) {
            if (const std::size_t end = jwtEnd(text, i); end > i) {
                out += kMasked;
                i = end;
                continue;
            }
            if (const auto [start, end] = schemeCredential(text, i); end > start) {
                out.append(text.substr(i, start - i)).append(kMasked);
                i = end;
                continue;
            }
            if (const auto [start, end] = fieldValue(text, i); end > start) {
                out.append(text.substr(i, start - i)).append(kMasked);
                i = end;
                continue;
            }
        }
        out.push_back(text[i]);
        ++i;
    }
    return out;
}

}  // namespace lumora::detail
