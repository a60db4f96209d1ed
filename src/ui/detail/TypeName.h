#pragma once

#include <string>
#include <typeinfo>

namespace lumora::detail {

// The readable, namespace-qualified name of a type ("uikit::UILabel", "lumora::ZuPlayerKitAssetInfo<uikit::UIImage>").
std::string qualifiedTypeName(const std::type_info& type);
// The same without the namespaces outside template arguments ("UILabel", "ZuPlayerKitAssetInfo<uikit::UIImage>").
std::string unqualifiedTypeName(const std::type_info& type);

}  // namespace lumora::detail
