#include "foundation/UUID.h"

#include <random>

namespace foundation {

namespace {

// One generator per thread, seeded from the system's random device. Identifiers need to be unique,
// not secret.
std::mt19937_64& generator() {
    thread_local std::mt19937_64 engine = [] {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device(), device(), device(), device(), device()};
        return std::mt19937_64(seed);
    }();
    return engine;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isDashPosition(std::size_t i) {
    return i == 8 || i == 13 || i == 18 || i == 23;
}

}  // namespace

UUID::UUID() {
    auto& engine = generator();
    const std::uint64_t high = engine();
    const std::uint64_t low = engine();
    for (int i = 0; i < 8; ++i) {
        bytes_[i] = static_cast<std::uint8_t>(high >> (56 - 8 * i));
        bytes_[8 + i] = static_cast<std::uint8_t>(low >> (56 - 8 * i));
    }
    bytes_[6] = static_cast<std::uint8_t>((bytes_[6] & 0x0f) | 0x40);  // version 4
    bytes_[8] = static_cast<std::uint8_t>((bytes_[8] & 0x3f) | 0x80);  // variant 1
}

std::optional<UUID> UUID::fromString(std::string_view text) {
    if (text.size() != 36) return std::nullopt;
    Bytes bytes{};
    std::size_t byte = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (isDashPosition(i)) {
            if (text[i] != '-') return std::nullopt;
            ++i;
            continue;
        }
        const int hi = hexDigit(text[i]);
        const int lo = hexDigit(text[i + 1]);  // a dash position never falls between the two digits
        if (hi < 0 || lo < 0) return std::nullopt;
        bytes[byte++] = static_cast<std::uint8_t>(hi * 16 + lo);
        i += 2;
    }
    return UUID(bytes);
}

std::string UUID::uuidString() const {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(36);
    for (std::size_t i = 0; i < bytes_.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text.push_back('-');
        text.push_back(kDigits[bytes_[i] >> 4]);
        text.push_back(kDigits[bytes_[i] & 0x0f]);
    }
    return text;
}

}  // namespace foundation

std::size_t std::hash<foundation::UUID>::operator()(const foundation::UUID& id) const noexcept {
    // FNV-1a over the bytes: random identifiers spread well under any mixing.
    std::uint64_t h = 1469598103934665603ull;
    for (std::uint8_t b : id.uuid()) {
        h ^= b;
        h *= 1099511628211ull;
    }
    return static_cast<std::size_t>(h);
}
