#include "kitfoundation/networking/NetworkRequestMapper.h"

#include "alamofire/ParameterEncoding.h"
#include "foundation/URL.h"
#include "kitfoundation/networking/NetworkError.h"

namespace lumora {

namespace {

foundation::Error invalid(std::string reason) {
    return NetworkError::invalidRequest(std::move(reason));
}

}  // namespace

std::string NetworkRequestMapper::join(std::string_view domain, std::string_view path) {
    if (path.empty()) return std::string(domain);
    const bool domainSlash = !domain.empty() && domain.back() == '/';
    const bool pathSlash = path.front() == '/';
    if (domainSlash && pathSlash) path.remove_prefix(1);
    // Made in one piece: one allocation for the joined text.
    std::string out;
    out.reserve(domain.size() + 1 + path.size());
    out.append(domain);
    if (!domainSlash && !pathSlash) out.push_back('/');
    out.append(path);
    return out;
}

std::expected<foundation::URLRequest, foundation::Error> NetworkRequestMapper::map(const NetworkRequestType& request,
                                                                                   double timeoutInterval) {
    std::string text = join(request.domain(), request.path());
    // The text becomes the URL's own; it is left as it was when it is no URL, for the error.
    auto url = foundation::URL::fromString(std::move(text));
    if (!url) return std::unexpected(invalid("the URL \"" + text + "\" is not valid"));

    const auto parameters = request.parameters();
    const auto encoding = request.encoding();
    std::optional<foundation::Data> body;
    if (parameters && encoding == NetworkParameterEncoding::urlQuery) {
        if (!parameters->is_object()) return std::unexpected(invalid("query parameters must be a JSON object"));
        if (!parameters->empty()) {
            auto added = alamofire::URLEncoding::queryItems(*parameters);
            if (!added) return std::unexpected(invalid(added.error().detail()));
            // Appended to the query as written: the URL's own items are not rewritten.
            url = url->appending(*added);
        }
    } else if (parameters) {
        auto encoded = foundation::JSONEncoder::serialize(*parameters);
        if (!encoded) return std::unexpected(invalid(encoded.error().localizedDescription()));
        body = std::move(*encoded);
    }

    const auto headers = request.headers();
    for (const auto& [name, value] : headers) {
        // A line break or NUL in a field would split the request on the wire.
        if (name.empty() || name.find_first_of(std::string_view("\r\n\0:", 4)) != std::string::npos ||
            value.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
            return std::unexpected(invalid("the header field \"" + name + "\" holds a character that is not allowed"));
        }
    }

    foundation::URLRequest out(std::move(*url), timeoutInterval);
    out.httpMethod = request.method().rawValue();
    out.maximumResponseSize = request.maximumResponseSize();
    for (const auto& [name, value] : headers) out.setValue(value, name);
    if (body) {
        if (!out.value("Content-Type")) out.setValue("application/json", "Content-Type");
        out.httpBody = std::move(body);
    }
    return out;
}

}  // namespace lumora
