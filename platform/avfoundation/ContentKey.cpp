#include "avfoundation/ContentKey.h"

#include <openssl/evp.h>

#include <array>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string_view>

namespace avfoundation::contentkey {

namespace {

// SHA-256, looked up once: a digest named on every call is looked up again by the crypto library each time.
// Never freed (read from any thread until the process exits).
const EVP_MD* sha256() {
    static const EVP_MD* const md = [] {
        const EVP_MD* fetched = EVP_MD_fetch(nullptr, "SHA256", nullptr);
        return fetched ? fetched : EVP_sha256();
    }();
    return md;
}

// Lower-case hexadecimal SHA-256 of the parts one after the other (the empty text when the digest fails).
std::string sha256Hex(std::initializer_list<std::string_view> parts) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), sha256(), nullptr) != 1) return {};
    for (const std::string_view part : parts) {
        if (EVP_DigestUpdate(context.get(), part.data(), part.size()) != 1) return {};
    }
    if (EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1) return {};
    static constexpr char hex[] = "0123456789abcdef";
    std::string out(std::size_t{length} * 2, '\0');
    for (unsigned int i = 0; i < length; ++i) {
        out[2 * i] = hex[digest[i] >> 4];
        out[2 * i + 1] = hex[digest[i] & 0x0f];
    }
    return out;
}

std::string_view bytesOf(const foundation::Data& data) {
    return {reinterpret_cast<const char*>(data.data()), data.size()};
}

}  // namespace

std::string sha256Hex(const foundation::Data& bytes) {
    return sha256Hex({bytesOf(bytes)});
}

foundation::Data serverPlaybackContext(const foundation::Data& certificate, const foundation::Data& contentIdentifier) {
    // The certificate and the content id are hashed where they lie, never joined into a copy.
    const std::string digest = sha256Hex({bytesOf(certificate), bytesOf(contentIdentifier)});
    const std::size_t prefix = std::strlen(spcPrefix);
    foundation::Data context(prefix + digest.size());
    std::memcpy(context.data(), spcPrefix, prefix);
    std::memcpy(context.data() + prefix, digest.data(), digest.size());
    return context;
}

bool isContentKeyContext(const foundation::Data& data) {
    const std::size_t prefix = std::strlen(ckcPrefix);
    return data.size() > prefix && std::memcmp(data.data(), ckcPrefix, prefix) == 0;
}

}  // namespace avfoundation::contentkey
