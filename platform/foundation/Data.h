#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace foundation {

// Bytes. A plain alias of a byte vector (not a wrapper), so any byte buffer of the standard library
// converts without copies of ceremony and `==`, `size()`, `data()` and iteration work as for any vector.
using Data = std::vector<std::uint8_t>;

// The UTF-8 (or any) bytes of a text, and back. No validation: bytes are copied as they are.
inline Data dataFromString(std::string_view text) {
    return Data(text.begin(), text.end());
}
inline std::string stringFromData(const Data& data) {
    return std::string(data.begin(), data.end());
}

}  // namespace foundation
