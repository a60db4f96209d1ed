#include "ui/ZuPlayerControlsDisplayDensity.h"

#include <ostream>

namespace lumora {

std::ostream& operator<<(std::ostream& os, ZuPlayerControlsDisplayDensity density) {
    return os << "ZuPlayerControlsDisplayDensity(" << density.rawValue() << ")";
}

}  // namespace lumora
