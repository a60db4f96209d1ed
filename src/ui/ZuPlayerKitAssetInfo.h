#pragma once

#include <concepts>
#include <memory>
#include <string>
#include <typeinfo>
#include <utility>

#include "foundation/Bundle.h"
#include "ui/detail/TypeName.h"
#include "uikit/UIImage.h"

namespace lumora {

// The name of an asset of type `T` in a bundle: an image of the kit's bundle, or of the host's. A value.
template <class T>
struct ZuPlayerKitAssetInfo {
    std::string name;
    foundation::Bundle bundle;

    // init(named:in:)
    ZuPlayerKitAssetInfo(std::string named, foundation::Bundle in) : name(std::move(named)), bundle(std::move(in)) {}
    // A text names an asset of the application's main bundle: `ZuPlayerKitAssetInfo<UIImage> logo = "logo";`.
    ZuPlayerKitAssetInfo(const char* named)  // NOLINT(google-explicit-constructor): as a string literal
        : name(named ? named : ""), bundle(foundation::Bundle::main()) {}

    // `<lumora::ZuPlayerKitAssetInfo<uikit::UIImage> name="icon_back", bundle="LumoraKit.bundle">`.
    std::string debugDescription() const {
        return "<" + detail::qualifiedTypeName(typeid(ZuPlayerKitAssetInfo)) + " name=\"" + name + "\", bundle=\"" +
               bundle.bundleURL().lastPathComponent() + "\">";
    }

    // For images: the name, which identifies the image.
    const std::string& identifier() const requires std::same_as<T, uikit::UIImage> { return name; }
    // For images: the image of that name in the bundle, at the main screen's scale; none when the bundle holds
    // no such image (never an error).
    std::shared_ptr<uikit::UIImage> image() const requires std::same_as<T, uikit::UIImage> {
        return uikit::UIImage::named(name, bundle, nullptr);
    }

    // The same name in the same bundle folder.
    friend bool operator==(const ZuPlayerKitAssetInfo& a, const ZuPlayerKitAssetInfo& b) {
        return a.name == b.name && a.bundle == b.bundle;
    }
};

}  // namespace lumora
