#include "jwtdecode/JWTDecode.h"

#include <array>
#include <cmath>
#include <limits>

namespace jwtdecode {

namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

int sextet(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '-') return 62;
    if (c == '_') return 63;
    return -1;
}

std::expected<foundation::JSONValue, foundation::Error> decodeObject(std::string_view encoded, const char* part) {
    auto bytes = base64URLDecode(encoded);
    if (!bytes) return std::unexpected(foundation::Error(JWTDecodeError::invalidBase64URL(part)));
    auto parsed = foundation::JSONDecoder::parse(*bytes);
    if (!parsed) {
        // The reader's own text quotes the bytes around the failure; the position is enough.
        const auto* failure = parsed.error().as<foundation::DecodingError>();
        const auto offset = failure ? failure->context().byteOffset : std::nullopt;
        return std::unexpected(foundation::Error(JWTDecodeError::invalidJSON(
            part, offset ? "malformed JSON at byte " + std::to_string(*offset) : "malformed JSON")));
    }
    if (!parsed->is_object()) {
        return std::unexpected(foundation::Error(
            JWTDecodeError::invalidJSON(part, "found " + foundation::detail::describeJSONKind(*parsed))));
    }
    return std::move(*parsed);
}

}  // namespace

JWTDecodeError JWTDecodeError::invalidPartCount(std::size_t parts) {
    return JWTDecodeError(Kind::invalidPartCount, std::to_string(parts));
}
JWTDecodeError JWTDecodeError::invalidBase64URL(std::string part) {
    return JWTDecodeError(Kind::invalidBase64URL, std::move(part));
}
JWTDecodeError JWTDecodeError::invalidJSON(std::string part, std::string reason) {
    return JWTDecodeError(Kind::invalidJSON, std::move(part) + " is not a JSON object (" + reason + ")");
}

std::string JWTDecodeError::localizedDescription() const {
    switch (kind_) {
        case Kind::invalidPartCount:
            return "Malformed JWT: expected 3 parts separated by \".\" but found " + detail_;
        case Kind::invalidBase64URL:
            return "Malformed JWT: the " + detail_ + " is not valid base64url";
        case Kind::invalidJSON:
            return "Malformed JWT: the " + detail_;
    }
    return "Malformed JWT";
}

std::optional<std::string> base64URLDecode(std::string_view text) {
    while (!text.empty() && text.back() == '=') text.remove_suffix(1);
    if (text.size() % 4 == 1) return std::nullopt;
    std::string out;
    out.reserve(text.size() * 3 / 4);
    std::uint32_t buffer = 0;
    int bits = 0;
    for (char c : text) {
        const int value = sextet(c);
        if (value < 0) return std::nullopt;
        buffer = (buffer << 6) | static_cast<std::uint32_t>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((buffer >> bits) & 0xFF));
        }
    }
    return out;
}

std::string base64URLEncode(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::uint32_t buffer = 0;
    int bits = 0;
    for (unsigned char c : bytes) {
        buffer = (buffer << 8) | c;
        bits += 8;
        while (bits >= 6) {
            bits -= 6;
            out.push_back(kAlphabet[(buffer >> bits) & 0x3F]);
        }
    }
    if (bits > 0) out.push_back(kAlphabet[(buffer << (6 - bits)) & 0x3F]);
    return out;
}

std::optional<std::string> Claim::string() const {
    if (!value_ || !value_->is_string()) return std::nullopt;
    return value_->get<std::string>();
}

std::optional<double> Claim::double_() const {
    if (!value_ || !value_->is_number()) return std::nullopt;
    return value_->get<double>();
}

std::optional<std::int64_t> Claim::integer() const {
    if (!value_ || !value_->is_number()) return std::nullopt;
    return foundation::detail::signedInteger(*value_, std::numeric_limits<std::int64_t>::min(),
                                             std::numeric_limits<std::int64_t>::max());
}

std::optional<bool> Claim::boolean() const {
    if (!value_ || !value_->is_boolean()) return std::nullopt;
    return value_->get<bool>();
}

std::optional<foundation::Date> Claim::date() const {
    auto seconds = double_();
    if (!seconds || !std::isfinite(*seconds)) return std::nullopt;
    return foundation::Date(*seconds);
}

std::optional<std::vector<std::string>> Claim::array() const {
    if (!value_) return std::nullopt;
    if (value_->is_string()) return std::vector<std::string>{value_->get<std::string>()};
    if (!value_->is_array()) return std::nullopt;
    std::vector<std::string> out;
    for (const auto& element : *value_) {
        if (!element.is_string()) return std::nullopt;
        out.push_back(element.get<std::string>());
    }
    return out;
}

Claim JWT::claim(std::string_view name) const {
    if (!body.is_object()) return Claim(std::nullopt);
    auto it = body.find(std::string(name));
    if (it == body.end()) return Claim(std::nullopt);
    return Claim(*it);
}

bool JWT::expired(std::optional<foundation::Date> now) const {
    auto exp = expiresAt();
    if (!exp) return false;
    return *exp <= now.value_or(foundation::Date::now());
}

std::expected<JWT, foundation::Error> decode(std::string_view jwt) {
    std::array<std::string_view, 3> parts;
    std::size_t count = 0;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = jwt.find('.', start);
        const std::string_view part =
            jwt.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        if (count < parts.size()) parts[count] = part;
        ++count;
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    if (count != 3) return std::unexpected(foundation::Error(JWTDecodeError::invalidPartCount(count)));

    auto header = decodeObject(parts[0], "header");
    if (!header) return std::unexpected(header.error());
    auto body = decodeObject(parts[1], "payload");
    if (!body) return std::unexpected(body.error());
    if (!parts[2].empty() && !base64URLDecode(parts[2])) {
        return std::unexpected(foundation::Error(JWTDecodeError::invalidBase64URL("signature")));
    }
    return JWT{std::move(*header), std::move(*body), std::string(parts[2]), std::string(jwt)};
}

}  // namespace jwtdecode
