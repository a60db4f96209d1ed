#pragma once

#include <atomic>
#include <charconv>
#include <concepts>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>

#include "foundation/Bundle.h"
#include "foundation/PropertyList.h"

namespace lumora {

// The kit's process-wide debug switch, false at start. The player screen's `printDebugLog` writes it;
// the log and the network logger read it (from any thread, hence atomic).
extern std::atomic<bool> debugLogEnabled;

// The kit's version text: "CFBundleShortVersionString" of the kit's own bundle (`KitBundle::shared()`,
// which the build gives the project's version) when it is a non-empty text, else "0.0.0". Worked out once.
const std::string& sdkVersion();

// How sdkVersion() is worked out, for tests: the "CFBundleShortVersionString" value when it is a non-empty
// text, else "0.0.0"; and the same for a bundle's Info.plist.
std::string resolveSdkVersion(const foundation::PropertyList* bundleVersion);
std::string resolveSdkVersion(const foundation::Bundle& bundle);

// The head of every log line: "[Lumora: " + sdkVersion() + "]".
std::string logPrefix();

// Time functions of the log.
struct Debug {
    // The time of day of the one clock's wall time (UTC) as "ss.SSS": seconds within the minute and
    // milliseconds.
    static std::string timeString();
    // The same wall time as "HH:mm:ss.SSS" (UTC); the network log stamps its blocks with it.
    static std::string clockTimeString();
};

namespace detail {

template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};

// The text of one log item.
template <class T>
void appendLogItem(std::string& out, const T& item) {
    if constexpr (IsOptional<T>::value) {
        if (item) {
            appendLogItem(out, *item);
        } else {
            out += "nil";
        }
    } else if constexpr (std::is_same_v<T, bool>) {
        out += item ? "true" : "false";
    } else if constexpr (std::is_same_v<T, char>) {
        out += item;
    } else if constexpr (std::is_pointer_v<T> && std::is_convertible_v<T, const char*>) {
        out += item ? std::string_view(item) : std::string_view("nil");
    } else if constexpr (std::is_convertible_v<const T&, std::string_view>) {
        out += std::string_view(item);
    } else if constexpr (std::is_floating_point_v<T>) {
        // Shortest text that reads back to the same value; whole values keep a ".0" ("12.0").
        char buffer[64];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, item);
        std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
        out += text;
        if (text.find_first_of(".eEn") == std::string_view::npos) out += ".0";
    } else if constexpr (std::is_arithmetic_v<T>) {
        out += std::to_string(item);
    } else if constexpr (requires {
                             { item.localizedDescription() } -> std::convertible_to<std::string>;
                         }) {
        out += item.localizedDescription();
    } else if constexpr (requires(std::ostream & os) { os << item; }) {
        std::ostringstream stream;
        stream << item;
        out += stream.str();
    } else {
        out += typeid(T).name();
    }
}

// Writes one whole line to standard output (lines of different threads never interleave), with every
// value shaped like a credential masked (see detail/CredentialMasking.h).
void writeLogLine(const std::string& line);

}  // namespace detail

// Prints one line when `debugLogEnabled` is on: "[Lumora: <version>]", then each item after one blank,
// then a newline ("[Lumora: 1.2.0] ☣️ Play asset: abc"). With no item the line is the head alone.
// Tokens and authorization credentials in the items are written as "<masked>". Never fails.
template <class... Items>
void debugLog(const Items&... items) {
    if (!debugLogEnabled.load(std::memory_order_relaxed)) return;
    std::string line = logPrefix();
    ((line += ' ', detail::appendLogItem(line, items)), ...);
    line += '\n';
    detail::writeLogLine(line);
}

}  // namespace lumora
