#include <cmath>

#include "coregraphics/CGContext.h"
#include "uikit/UIView.h"

namespace uikit {

bool UIView::drawHierarchy(const CGRect& in, bool afterScreenUpdates) {
    const auto context = coregraphics::currentContext();
    if (!context) return false;
    if (afterScreenUpdates) layoutIfNeeded();
    const CGRect b = bounds().standardized();
    const CGRect target = in.standardized();
    if (b.isEmpty() || target.isEmpty() || !std::isfinite(target.width()) || !std::isfinite(target.height()))
        return false;
    context->saveGState();
    context->translateBy(target.minX(), target.minY());
    context->scaleBy(target.width() / b.width(), target.height() / b.height());
    context->translateBy(-b.minX(), -b.minY());
    layer()->render(*context);
    context->restoreGState();
    return true;
}

}  // namespace uikit
