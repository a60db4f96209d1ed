#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "foundation/URL.h"

namespace avfoundation::detail {

// Resolves the references of a playlist against its address (RFC 3986, section 5.2, dot segments removed).
// The base is split into its parts once, so a playlist of a million references resolves each with string
// work and the one parse that makes its URL. The base must outlive the resolver.
//
// A relative reference's spaces and non-ASCII bytes are percent-encoded first, as a browser does with
// what packagers write as it is; an absolute reference must already be a valid address.
class ReferenceResolver {
  public:
    explicit ReferenceResolver(const foundation::URL& base);

    // Nothing for the empty reference and when the result is not a valid URL.
    std::optional<foundation::URL> resolve(std::string_view reference) const;

  private:
    const std::string& text_;
    std::string_view scheme_;     // with its ":"
    std::string_view authority_;  // with its "//"
    std::string_view path_;
    std::string_view query_;  // with its "?", empty when the base has none
};

}  // namespace avfoundation::detail
