#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "foundation/JSON.h"

// Reading optional fields of the play response: a missing key or a null gives nothing, a value of the
// wrong type records the error with its key path (as `decodeIfPresent` does).
namespace lumora::detail {

inline std::optional<std::string> optionalText(const foundation::KeyedDecodingContainer& c, std::string_view key) {
    return c.decodeIfPresent<std::string>(key);
}

inline std::optional<double> optionalNumber(const foundation::KeyedDecodingContainer& c, std::string_view key) {
    return c.decodeIfPresent<double>(key);
}

inline std::optional<bool> optionalFlag(const foundation::KeyedDecodingContainer& c, std::string_view key) {
    return c.decodeIfPresent<bool>(key);
}

}  // namespace lumora::detail
