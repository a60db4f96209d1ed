#pragma once

#include <memory>

#include "coregraphics/CGContext.h"

namespace uikit {

// The context of the draw pass in progress (pushed by the view system around `draw(rect)`), or nullptr.
inline std::shared_ptr<coregraphics::CGContext> UIGraphicsGetCurrentContext() {
    return coregraphics::currentContext();
}
inline void UIGraphicsPushContext(std::shared_ptr<coregraphics::CGContext> context) {
    coregraphics::pushCurrentContext(std::move(context));
}
inline void UIGraphicsPopContext() {
    coregraphics::popCurrentContext();
}

}  // namespace uikit
