#include "uikit/UIScreen.h"

#include <ostream>

namespace uikit {

namespace {

std::shared_ptr<UIScreen>& mainScreenSlot() {
    static std::shared_ptr<UIScreen> screen;
    return screen;
}

const char* name(UIUserInterfaceSizeClass c) {
    switch (c) {
        case UIUserInterfaceSizeClass::compact:
            return "compact";
        case UIUserInterfaceSizeClass::regular:
            return "regular";
        case UIUserInterfaceSizeClass::unspecified:
            break;
    }
    return "unspecified";
}

const char* name(UIUserInterfaceIdiom i) {
    switch (i) {
        case UIUserInterfaceIdiom::phone:
            return "phone";
        case UIUserInterfaceIdiom::pad:
            return "pad";
        case UIUserInterfaceIdiom::tv:
            return "tv";
        case UIUserInterfaceIdiom::carPlay:
            return "carPlay";
        case UIUserInterfaceIdiom::mac:
            return "mac";
        case UIUserInterfaceIdiom::unspecified:
            break;
    }
    return "unspecified";
}

}  // namespace

UITraitCollection UITraitCollection::forWindow(CGSize size, UIUserInterfaceIdiom idiom, CGFloat scale) {
    UITraitCollection traits;
    traits.userInterfaceIdiom = idiom;
    traits.displayScale = scale;
    if (idiom == UIUserInterfaceIdiom::phone) {
        bool landscape = size.width > size.height;
        traits.horizontalSizeClass =
            landscape && size.width >= 736 ? UIUserInterfaceSizeClass::regular : UIUserInterfaceSizeClass::compact;
        traits.verticalSizeClass = landscape ? UIUserInterfaceSizeClass::compact : UIUserInterfaceSizeClass::regular;
    } else if (idiom != UIUserInterfaceIdiom::unspecified) {
        traits.horizontalSizeClass = UIUserInterfaceSizeClass::regular;
        traits.verticalSizeClass = UIUserInterfaceSizeClass::regular;
    }
    return traits;
}

std::ostream& operator<<(std::ostream& os, const UITraitCollection& traits) {
    return os << "UITraitCollection(h: " << name(traits.horizontalSizeClass)
              << ", v: " << name(traits.verticalSizeClass) << ", idiom: " << name(traits.userInterfaceIdiom)
              << ", scale: " << traits.displayScale << ")";
}

UIScreen::UIScreen(const CGRect& bounds, CGFloat scale, UIUserInterfaceIdiom idiom)
    : bounds_(bounds), scale_(scale > 0 ? scale : 1), idiom_(idiom) {}

std::shared_ptr<UIScreen> UIScreen::create(const CGRect& bounds, CGFloat scale, UIUserInterfaceIdiom idiom) {
    return std::shared_ptr<UIScreen>(new UIScreen(bounds, scale, idiom));
}

std::shared_ptr<UIScreen> UIScreen::main() {
    auto& slot = mainScreenSlot();
    if (!slot) slot = create(CGRect(0, 0, 390, 844), 3, UIUserInterfaceIdiom::phone);
    return slot;
}

void UIScreen::setMain(std::shared_ptr<UIScreen> screen) {
    mainScreenSlot() = std::move(screen);
}

CGRect UIScreen::nativeBounds() const {
    return CGRect(0, 0, bounds_.width() * scale_, bounds_.height() * scale_);
}

UITraitCollection UIScreen::traitCollection() const {
    return UITraitCollection::forWindow(bounds_.size, idiom_, scale_);
}

}  // namespace uikit
