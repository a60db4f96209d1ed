#include "alamofire/ParameterEncoding.h"

#include <cmath>

namespace alamofire {

namespace {

using foundation::JSONValue;
using foundation::URLQueryItem;

std::optional<AFError> appendItems(const std::string& name, const JSONValue& value, std::vector<URLQueryItem>& items) {
    switch (value.type()) {
        case JSONValue::value_t::null:
            items.push_back({name, std::nullopt});
            return std::nullopt;
        case JSONValue::value_t::boolean:
            items.push_back({name, value.get<bool>() ? "true" : "false"});
            return std::nullopt;
        case JSONValue::value_t::string:
            items.push_back({name, value.get<std::string>()});
            return std::nullopt;
        case JSONValue::value_t::number_integer:
        case JSONValue::value_t::number_unsigned:
            items.push_back({name, value.dump()});
            return std::nullopt;
        case JSONValue::value_t::number_float:
            if (!std::isfinite(value.get<double>())) {
                return AFError::parameterEncodingFailed("the parameter \"" + name + "\" is not a finite number");
            }
            items.push_back({name, value.dump()});
            return std::nullopt;
        case JSONValue::value_t::array:
            for (const auto& element : value) {
                if (auto error = appendItems(name + "[]", element, items)) return error;
            }
            return std::nullopt;
        case JSONValue::value_t::object:
            for (auto it = value.begin(); it != value.end(); ++it) {
                if (auto error = appendItems(name + "[" + it.key() + "]", it.value(), items)) return error;
            }
            return std::nullopt;
        default:
            return AFError::parameterEncodingFailed("the parameter \"" + name + "\" has no text form");
    }
}

bool isEmpty(const std::optional<Parameters>& parameters) {
    return !parameters || parameters->is_null() || (parameters->is_object() && parameters->empty());
}

}  // namespace

const URLEncoding& URLEncoding::default_() {
    static const auto* encoding = new URLEncoding(Destination::methodDependent);  // never destroyed: used until exit
    return *encoding;
}
const URLEncoding& URLEncoding::queryString() {
    static const auto* encoding = new URLEncoding(Destination::queryString);  // never destroyed: used until exit
    return *encoding;
}
const URLEncoding& URLEncoding::httpBody() {
    static const auto* encoding = new URLEncoding(Destination::httpBody);  // never destroyed: used until exit
    return *encoding;
}

std::expected<std::vector<URLQueryItem>, AFError> URLEncoding::queryItems(const Parameters& parameters) {
    if (!parameters.is_object())
        return std::unexpected(AFError::parameterEncodingFailed("the parameters are not an object"));
    std::vector<URLQueryItem> items;
    for (auto it = parameters.begin(); it != parameters.end(); ++it) {
        if (auto error = appendItems(it.key(), it.value(), items)) return std::unexpected(*error);
    }
    return items;
}

std::expected<foundation::URLRequest, AFError> URLEncoding::encode(foundation::URLRequest request,
                                                                   const std::optional<Parameters>& parameters) const {
    if (isEmpty(parameters)) return request;
    auto items = queryItems(*parameters);
    if (!items) return std::unexpected(items.error());

    bool inQuery = destination_ == Destination::queryString;
    if (destination_ == Destination::methodDependent) {
        inQuery = request.httpMethod == "GET" || request.httpMethod == "HEAD" || request.httpMethod == "DELETE";
    }
    if (inQuery) {
        foundation::URLComponents components(request.url);
        std::vector<URLQueryItem> all = components.queryItems.value_or(std::vector<URLQueryItem>{});
        all.insert(all.end(), items->begin(), items->end());
        components.queryItems = std::move(all);
        auto url = components.url();
        if (!url) return std::unexpected(AFError::invalidURL(request.url.absoluteString()));
        request.url = std::move(*url);
        return request;
    }
    std::string body;
    for (const auto& item : *items) {
        if (!body.empty()) body += '&';
        body += foundation::percentEncoded(item.name);
        if (item.value) body += "=" + foundation::percentEncoded(*item.value);
    }
    if (!request.value("Content-Type")) {
        request.setValue("application/x-www-form-urlencoded; charset=utf-8", "Content-Type");
    }
    request.httpBody = foundation::dataFromString(body);
    return request;
}

const JSONEncoding& JSONEncoding::default_() {
    static const auto* encoding = new JSONEncoding();  // never destroyed: used until exit
    return *encoding;
}

std::expected<foundation::URLRequest, AFError> JSONEncoding::encode(foundation::URLRequest request,
                                                                    const std::optional<Parameters>& parameters) const {
    if (!parameters || parameters->is_null()) return request;
    auto body = foundation::JSONEncoder::serialize(*parameters);
    if (!body) return std::unexpected(AFError::parameterEncodingFailed(body.error().localizedDescription()));
    if (!request.value("Content-Type")) request.setValue("application/json", "Content-Type");
    request.httpBody = std::move(*body);
    return request;
}

}  // namespace alamofire
