#include "ui/ViewExtensions.h"

#include <memory>
#include <vector>

namespace lumora {

void removeAllArrangedSubviews(uikit::UIStackView& stackView) {
    // A copy: each removal changes the stack's list.
    const std::vector<std::shared_ptr<uikit::UIView>> arranged = stackView.arrangedSubviews();
    for (const auto& view : arranged) {
        stackView.removeArrangedSubview(view);
        view->removeFromSuperview();
    }
}

}  // namespace lumora
