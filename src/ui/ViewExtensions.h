#pragma once

#include "uikit/UIStackView.h"

namespace lumora {

// Takes every arranged subview out of the stack view and out of its superview, so the stack is empty and
// the views are free to be arranged again (in this stack or another).
void removeAllArrangedSubviews(uikit::UIStackView& stackView);

}  // namespace lumora
