#include "kitfoundation/AppVersion.h"

#include <charconv>

#include "foundation/Bundle.h"

namespace lumora {

namespace {

int leadingNumber(std::string_view part) {
    int value = 0;
    const auto result = std::from_chars(part.data(), part.data() + part.size(), value);
    // from_chars accepts a leading "-"; versions have no sign.
    if (result.ec != std::errc() || (!part.empty() && part.front() == '-')) return 0;
    return value;
}

std::string_view trimmed(std::string_view text) {
    constexpr std::string_view blanks = " \t\r\n\v\f";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

}  // namespace

std::string AppVersion::text() const {
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
}

AppVersion AppVersion::parse(std::string_view text) {
    text = trimmed(text);
    int numbers[3] = {0, 0, 0};
    for (int& number : numbers) {
        if (text.empty()) break;
        const auto dot = text.find('.');
        number = leadingNumber(text.substr(0, dot));
        text = dot == std::string_view::npos ? std::string_view{} : text.substr(dot + 1);
    }
    return AppVersion{numbers[0], numbers[1], numbers[2]};
}

const AppVersion& AppVersion::current() {
    // Never destroyed: read from any thread until the process exits.
    static const AppVersion& version = *new AppVersion([] {
        const foundation::PropertyList* value = foundation::Bundle::main().object("CFBundleShortVersionString");
        const std::string* text = value ? value->asString() : nullptr;
        return text ? parse(*text) : AppVersion{};
    }());
    return version;
}

}  // namespace lumora
