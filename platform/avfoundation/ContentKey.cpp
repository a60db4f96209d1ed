#include "avfoundation/ContentKey.h"

#include <openssl/evp.h>

#include <array>
#include <cstring>

namespace avfoundation::contentkey {

std::string sha256Hex(const foundation::Data& bytes) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(), nullptr) != 1) return {};
    static constexpr char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        out += hex[digest[i] >> 4];
        out += hex[digest[i] & 0x0f];
    }
    return out;
}

foundation::Data serverPlaybackContext(const foundation::Data& certificate, const foundation::Data& contentIdentifier) {
    foundation::Data joined = certificate;
    joined.insert(joined.end(), contentIdentifier.begin(), contentIdentifier.end());
    return foundation::dataFromString(std::string(spcPrefix) + sha256Hex(joined));
}

bool isContentKeyContext(const foundation::Data& data) {
    const std::size_t prefix = std::strlen(ckcPrefix);
    return data.size() > prefix && std::memcmp(data.data(), ckcPrefix, prefix) == 0;
}

}  // namespace avfoundation::contentkey
