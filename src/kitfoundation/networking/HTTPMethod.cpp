#include "kitfoundation/networking/HTTPMethod.h"

#include <array>
#include <utility>

namespace lumora {

namespace {
constexpr std::array<std::pair<HTTPMethod::Case, std::string_view>, 10> kMethods{{
    {HTTPMethod::options, "OPTIONS"},
    {HTTPMethod::get, "GET"},
    {HTTPMethod::head, "HEAD"},
    {HTTPMethod::post, "POST"},
    {HTTPMethod::put, "PUT"},
    {HTTPMethod::patch, "PATCH"},
    {HTTPMethod::delete_, "DELETE"},
    {HTTPMethod::trace, "TRACE"},
    {HTTPMethod::connect, "CONNECT"},
    {HTTPMethod::query, "QUERY"},
}};
}  // namespace

std::string HTTPMethod::rawValue() const {
    return std::string(kMethods[static_cast<std::size_t>(value_)].second);
}

std::optional<HTTPMethod> HTTPMethod::fromRawValue(std::string_view text) {
    for (const auto& [method, raw] : kMethods) {
        if (raw == text) return HTTPMethod(method);
    }
    return std::nullopt;
}

}  // namespace lumora
