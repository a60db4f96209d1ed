// Fuzz target for JSON: any text parses to a value or a DecodingError with a description, never a crash;
// the description is short printable text whatever the input (it never quotes the document, which may hold
// a token); a text holding a raw NUL byte is refused; a parsed value writes out and parses back to an equal
// value; the models decoded from the back ends' answers (an error body, the entitlement token, the
// player-event answer) decode or fail cleanly.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "authentication/EntitlementTokenService.h"
#include "foundation/JSON.h"
#include "kitfoundation/networking/NetworkError.h"
#include "telemetry/AssetPlays.h"

namespace {

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "JSON invariant broken: %s\n", what);
        std::abort();
    }
}

template <class T>
void decodeModel(const foundation::JSONValue& value, foundation::KeyDecodingStrategy strategy) {
    foundation::JSONDecoder decoder;
    decoder.keyDecodingStrategy = strategy;
    const auto decoded = decoder.decode<T>(value);
    if (!decoded) check(!decoded.error().localizedDescription().empty(), "a decoding failure says why");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto parsed = foundation::JSONDecoder::parse(text);
    if (!parsed) {
        check(parsed.error().is<foundation::DecodingError>(), "a failure is a DecodingError");
        const std::string description = parsed.error().localizedDescription();
        check(!description.empty(), "a failure has a description");
        // nlohmann-json's longest fixed text with its numbers is about 250 characters: anything longer, or
        // anything but printable ASCII, is the document's own text.
        check(description.size() < 400, "a failure's description does not grow with the input");
        check(std::all_of(description.begin(), description.end(), [](char c) { return c >= 0x20 && c < 0x7f; }),
              "a failure's description is printable text");
        return 0;
    }
    check(text.find('\0') == std::string_view::npos, "a text holding a NUL byte is refused");
    const auto written = foundation::JSONSerialization::data(*parsed);
    check(written.has_value(), "a parsed value can be written");
    const auto again = foundation::JSONSerialization::jsonObject(*written);
    check(again.has_value(), "what is written parses");
    check(*again == *parsed, "what is written parses to the same value");

    decodeModel<lumora::OrvNetworkError>(*parsed, foundation::KeyDecodingStrategy::useDefaultKeys);
    decodeModel<lumora::EntitlementTokenResponse>(*parsed, foundation::KeyDecodingStrategy::convertFromSnakeCase);
    decodeModel<lumora::AssetPlays>(*parsed, foundation::KeyDecodingStrategy::useDefaultKeys);
    return 0;
}
