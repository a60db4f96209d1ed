#include "ui/ZuPlayerStyle.h"

#include <utility>

namespace lumora {

ZuPlayerStyle& ZuPlayerStyle::shared() {
    static ZuPlayerStyle style;
    return style;
}

void ZuPlayerStyle::setShared(ZuPlayerStyle style) {
    shared() = std::move(style);
}

}  // namespace lumora
