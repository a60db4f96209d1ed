// Fuzz target for JSON: any text parses to a value or a DecodingError with a description, never a crash;
// a parsed value writes out and parses back to an equal value; the models decoded from the back ends'
// answers (an error body, the entitlement token, the player-event answer) decode or fail cleanly.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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
        check(!parsed.error().localizedDescription().empty(), "a failure has a description");
        return 0;
    }
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
