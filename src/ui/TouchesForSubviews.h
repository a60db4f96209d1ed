#pragma once

#include <memory>
#include <optional>

#include "uikit/UIEvent.h"
#include "uikit/UIView.h"

namespace lumora {

// The touches of `event` that fall on `view` or below it: the event's touches for `view` itself when it has
// any, otherwise the first non-empty answer found among its subviews, searched in order and depth first;
// nothing when no view of the subtree has a touch in the event.
std::optional<uikit::UITouchSet> touchesForSubviews(const uikit::UIEvent& event,
                                                    const std::shared_ptr<uikit::UIView>& of);

}  // namespace lumora
