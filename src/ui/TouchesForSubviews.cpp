#include "ui/TouchesForSubviews.h"

namespace lumora {

std::optional<uikit::UITouchSet> touchesForSubviews(const uikit::UIEvent& event,
                                                    const std::shared_ptr<uikit::UIView>& of) {
    if (!of) return std::nullopt;
    // An empty answer counts as none, so a subview's touches are still found.
    if (auto touches = event.touches(of); touches && !touches->empty()) return touches;
    for (const auto& subview : of->subviews()) {
        if (auto touches = touchesForSubviews(event, subview)) return touches;
    }
    return std::nullopt;
}

}  // namespace lumora
