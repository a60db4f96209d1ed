// Fuzz target for the header lines of HTTP answers: the input, cut into lines as libcurl hands them over
// (each with its line end), becomes header fields with no crash; every field has a token for a name and a
// value without line breaks, NUL or blanks at its ends, so a field can never split where it is written
// again; and the fields hold no more than the lines did.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "foundation/URL.h"
#include "foundation/URLRequest.h"

namespace {

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "header invariant broken: %s\n", what);
        std::abort();
    }
}

bool isToken(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7F || std::strchr("()<>@,;:\\\"/[]?={}", c)) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // An answer's header lines as libcurl hands them over, read into fields the way every answer's are.
    const auto response = foundation::HTTPURLResponse::withHeaderLines(
        *foundation::URL::fromString("https://media.example/answer"), 200, std::string(input));
    const foundation::HTTPHeaderFields& fields = response.allHeaderFields();
    std::size_t lines = 0;
    std::size_t sinceLastStatus = 0;  // bytes of the lines after the last status line
    for (std::size_t start = 0; start < input.size();) {
        std::size_t end = input.find('\n', start);
        end = end == std::string_view::npos ? input.size() : end + 1;
        const std::string_view line = input.substr(start, end - start);
        sinceLastStatus = line.rfind("HTTP/", 0) == 0 ? 0 : sinceLastStatus + line.size();
        ++lines;
        start = end;
    }
    std::size_t held = 0;
    for (const auto& [name, value] : fields) {
        check(isToken(name), "a field's name is a token");
        check(value.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos, "no line break or NUL");
        check(value.empty() || (value.front() != ' ' && value.front() != '\t'), "no blank before a value");
        check(value.empty() || (value.back() != ' ' && value.back() != '\t'), "no blank after a value");
        held += name.size() + value.size();
    }
    check(fields.size() <= lines, "at most one field per line");
    // Joining two values of one name adds ", " where a line held at least a name and a colon.
    check(held <= sinceLastStatus + 2 * lines, "the fields hold what the lines after the status line held");
    return 0;
}
