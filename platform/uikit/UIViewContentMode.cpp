#include "uikit/UIViewContentMode.h"

#include <algorithm>
#include <cmath>

namespace uikit {

CGRect rectForContentMode(UIViewContentMode mode, CGSize contentSize, const CGRect& bounds) {
    if (bounds.isNull()) return CGRect::null();
    const CGRect b = bounds.standardized();
    const bool usable = std::isfinite(contentSize.width) && std::isfinite(contentSize.height) &&
                        contentSize.width > 0 && contentSize.height > 0;
    const CGFloat w = usable ? contentSize.width : 0;
    const CGFloat h = usable ? contentSize.height : 0;
    using M = UIViewContentMode;
    switch (mode) {
        case M::scaleToFill:
        case M::redraw:
            return b;
        case M::scaleAspectFit:
        case M::scaleAspectFill: {
            if (!usable) return b;
            const CGFloat sx = b.width() / w, sy = b.height() / h;
            const CGFloat s = mode == M::scaleAspectFit ? std::min(sx, sy) : std::max(sx, sy);
            const CGFloat sw = w * s, sh = h * s;
            return {b.midX() - sw / 2, b.midY() - sh / 2, sw, sh};
        }
        case M::center:
            return {b.midX() - w / 2, b.midY() - h / 2, w, h};
        case M::top:
            return {b.midX() - w / 2, b.minY(), w, h};
        case M::bottom:
            return {b.midX() - w / 2, b.maxY() - h, w, h};
        case M::left:
            return {b.minX(), b.midY() - h / 2, w, h};
        case M::right:
            return {b.maxX() - w, b.midY() - h / 2, w, h};
        case M::topLeft:
            return {b.minX(), b.minY(), w, h};
        case M::topRight:
            return {b.maxX() - w, b.minY(), w, h};
        case M::bottomLeft:
            return {b.minX(), b.maxY() - h, w, h};
        case M::bottomRight:
            return {b.maxX() - w, b.maxY() - h, w, h};
    }
    return b;
}

}  // namespace uikit
