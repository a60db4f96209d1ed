#include "ui/ZuViewStyle.h"

namespace lumora {

std::string ZuViewStyleError::localizedDescription() const {
    return "The type of style is not compatible with the type of UIView.";
}

}  // namespace lumora
