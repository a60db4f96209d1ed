#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace foundation {

// A 128-bit universally unique identifier.
class UUID {
  public:
    using Bytes = std::array<std::uint8_t, 16>;

    // A new random identifier (version 4, variant 1), as on the platform.
    UUID();
    explicit constexpr UUID(const Bytes& bytes) : bytes_(bytes) {}

    // Parses the 8-4-4-4-12 hexadecimal form, in either case; nullopt for anything else.
    static std::optional<UUID> fromString(std::string_view uuidString);

    // The 8-4-4-4-12 form in upper case, e.g. "E621E1F8-C36C-495A-93FC-0C247A3E6E5F".
    std::string uuidString() const;
    const Bytes& uuid() const { return bytes_; }

    friend bool operator==(const UUID&, const UUID&) = default;
    friend auto operator<=>(const UUID&, const UUID&) = default;

  private:
    Bytes bytes_{};
};

}  // namespace foundation

template <>
struct std::hash<foundation::UUID> {
    std::size_t operator()(const foundation::UUID& id) const noexcept;
};
