#include "controls/ZuInsetLabel.h"

namespace lumora {

using uikit::CGRect;
using uikit::CGSize;

std::shared_ptr<ZuInsetLabel> ZuInsetLabel::create(const CGRect& frame) {
    return std::shared_ptr<ZuInsetLabel>(new ZuInsetLabel(frame));
}

// The new insets change the size the label asks for and where it draws.
void ZuInsetLabel::setEdgeInsets(const uikit::UIEdgeInsets& insets) {
    edgeInsets_ = insets;
    invalidateIntrinsicContentSize();
    setNeedsDisplay();
}

CGSize ZuInsetLabel::intrinsicContentSize() const {
    const CGSize base = UILabel::intrinsicContentSize();
    return CGSize{base.width + edgeInsets_.left + edgeInsets_.right,
                  base.height + edgeInsets_.top + edgeInsets_.bottom};
}

void ZuInsetLabel::drawText(const CGRect& in) {
    UILabel::drawText(in.inset(edgeInsets_));
}

}  // namespace lumora
