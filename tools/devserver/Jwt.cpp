#include "devserver/Jwt.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <cstdint>
#include <mutex>
#include <random>

namespace devserver::jwt {

namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

std::string hmacSHA256(std::string_view key, std::string_view message) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()), reinterpret_cast<const unsigned char*>(message.data()),
         message.size(), digest, &length);
    return std::string(reinterpret_cast<const char*>(digest), length);
}

}  // namespace

std::string base64URLEncode(std::string_view bytes) {
    std::string out;
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

std::optional<std::string> base64URLDecode(std::string_view text) {
    if (text.size() % 4 == 1) return std::nullopt;
    std::string out;
    std::uint32_t buffer = 0;
    int bits = 0;
    for (char c : text) {
        const auto index = kAlphabet.find(c);
        if (index == std::string_view::npos) return std::nullopt;
        buffer = (buffer << 6) | static_cast<std::uint32_t>(index);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((buffer >> bits) & 0xFF));
        }
    }
    // The bits left over by the last character must be zero: otherwise several texts would decode to the
    // same bytes, and a signature could be changed without changing what it signs.
    if ((buffer & ((1u << bits) - 1)) != 0) return std::nullopt;
    return out;
}

std::string signHS256(const nlohmann::json& claims, std::string_view secret) {
    const std::string signingInput =
        base64URLEncode(R"({"alg":"HS256","typ":"JWT"})") + "." + base64URLEncode(claims.dump());
    return signingInput + "." + base64URLEncode(hmacSHA256(secret, signingInput));
}

std::optional<nlohmann::json> verifyHS256(std::string_view token, std::string_view secret) {
    const auto first = token.find('.');
    if (first == std::string_view::npos) return std::nullopt;
    const auto second = token.find('.', first + 1);
    if (second == std::string_view::npos || token.find('.', second + 1) != std::string_view::npos) return std::nullopt;
    const auto header = base64URLDecode(token.substr(0, first));
    const auto payload = base64URLDecode(token.substr(first + 1, second - first - 1));
    const auto signature = base64URLDecode(token.substr(second + 1));
    if (!header || !payload || !signature) return std::nullopt;
    const nlohmann::json headerJSON = nlohmann::json::parse(*header, nullptr, false);
    if (!headerJSON.is_object() || headerJSON.value("alg", "") != "HS256") return std::nullopt;
    const std::string expected = hmacSHA256(secret, token.substr(0, second));
    if (expected.size() != signature->size() ||
        CRYPTO_memcmp(expected.data(), signature->data(), expected.size()) != 0) {
        return std::nullopt;
    }
    nlohmann::json claims = nlohmann::json::parse(*payload, nullptr, false);
    if (!claims.is_object()) return std::nullopt;
    return claims;
}

std::string randomHex(std::size_t bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string raw(bytes, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(raw.data()), static_cast<int>(raw.size())) != 1) {
        static std::mutex mutex;
        static std::mt19937_64 fallback{std::random_device{}()};
        std::lock_guard lock(mutex);
        for (auto& c : raw) c = static_cast<char>(fallback() & 0xFF);
    }
    std::string out;
    for (unsigned char c : raw) {
        out.push_back(kHex[c >> 4]);
        out.push_back(kHex[c & 0xF]);
    }
    return out;
}

}  // namespace devserver::jwt
