#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "foundation/JSON.h"

// Reading optional fields of the play response, with a short path for the common case: a present value of
// the right JSON type is taken straight from the parsed document; anything else (a wrong type) goes
// through the container's own decoding, which records the error with its key path exactly as
// `decodeIfPresent` does. Missing keys and nulls give nothing.
namespace lumora::detail {

inline std::optional<std::string> optionalText(const foundation::KeyedDecodingContainer& c, std::string_view key) {
    const foundation::JSONValue* v = c.rawValue(key);
    if (!v || v->is_null()) return std::nullopt;
    if (v->is_string()) return v->get_ref<const std::string&>();
    return c.decodeIfPresent<std::string>(key);
}

inline std::optional<double> optionalNumber(const foundation::KeyedDecodingContainer& c, std::string_view key) {
    const foundation::JSONValue* v = c.rawValue(key);
    if (!v || v->is_null()) return std::nullopt;
    if (v->is_number()) return v->get<double>();
    return c.decodeIfPresent<double>(key);
}

inline std::optional<bool> optionalFlag(const foundation::KeyedDecodingContainer& c, std::string_view key) {
    const foundation::JSONValue* v = c.rawValue(key);
    if (!v || v->is_null()) return std::nullopt;
    if (v->is_boolean()) return v->get<bool>();
    return c.decodeIfPresent<bool>(key);
}

}  // namespace lumora::detail
