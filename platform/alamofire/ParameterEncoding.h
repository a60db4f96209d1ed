#pragma once

#include <expected>
#include <optional>
#include <string>
#include <vector>

#include "alamofire/AFError.h"
#include "foundation/JSON.h"
#include "foundation/URL.h"
#include "foundation/URLRequest.h"

namespace alamofire {

// Request parameters: a JSON object of any values.
using Parameters = foundation::JSONValue;
using HTTPHeaders = foundation::HTTPHeaderFields;

// Writes parameters into a request.
class ParameterEncoding {
  public:
    virtual ~ParameterEncoding() = default;
    // Nothing, or an empty object, leaves the request unchanged.
    virtual std::expected<foundation::URLRequest, AFError> encode(
        foundation::URLRequest request, const std::optional<Parameters>& parameters) const = 0;
};

// Parameters as "name=value" pairs, in the URL's query or in a form body.
// Values: text as it is, numbers in their shortest form, true/false, null as a bare name, arrays as
// repeated "name[]" pairs, nested objects as "name[key]" pairs. Names and values are percent-encoded
// strictly (all but letters, digits and "-._~"). A number that is not finite fails the encoding.
class URLEncoding final : public ParameterEncoding {
  public:
    enum class Destination {
        // GET, HEAD and DELETE: the query; other methods: the body.
        methodDependent,
        queryString,
        // A body of type "application/x-www-form-urlencoded; charset=utf-8" (unless the request sets one).
        httpBody,
    };
    explicit URLEncoding(Destination destination = Destination::methodDependent) : destination_(destination) {}

    static const URLEncoding& default_();
    static const URLEncoding& queryString();
    static const URLEncoding& httpBody();

    std::expected<foundation::URLRequest, AFError> encode(foundation::URLRequest request,
                                                          const std::optional<Parameters>& parameters) const override;

    // The pairs of an object of parameters, in order (decoded text).
    static std::expected<std::vector<foundation::URLQueryItem>, AFError> queryItems(const Parameters& parameters);

  private:
    Destination destination_;
};

// Parameters as a JSON body, "Content-Type: application/json" unless the request sets one. Any JSON
// value may be the body; a number that is not finite fails the encoding (never written as null).
class JSONEncoding final : public ParameterEncoding {
  public:
    static const JSONEncoding& default_();
    std::expected<foundation::URLRequest, AFError> encode(foundation::URLRequest request,
                                                          const std::optional<Parameters>& parameters) const override;
};

// Encodable values (models with an `encode(container)`) as a JSON body, through a JSON encoder.
struct JSONParameterEncoder {
    foundation::JSONEncoder encoder;

    static JSONParameterEncoder default_() { return {}; }

    template <class T>
    std::expected<foundation::URLRequest, AFError> encode(const T& value, foundation::URLRequest request) const {
        auto body = encoder.encode(value);
        if (!body) return std::unexpected(AFError::parameterEncodingFailed(body.error().localizedDescription()));
        if (!request.value("Content-Type")) request.setValue("application/json", "Content-Type");
        request.httpBody = std::move(*body);
        return request;
    }
};

}  // namespace alamofire
