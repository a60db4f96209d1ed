#include "controls/OrvLabel.h"

#include <algorithm>

namespace lumora {

using uikit::CGRect;
using ContentMode = uikit::UIViewContentMode;

std::shared_ptr<OrvLabel> OrvLabel::create(const CGRect& frame) {
    return std::shared_ptr<OrvLabel>(new OrvLabel(frame));
}

void OrvLabel::drawText(const CGRect& in) {
    const CGRect text = textRect(in, numberOfLines());
    switch (contentMode()) {
        case ContentMode::top:
        case ContentMode::topLeft:
        case ContentMode::topRight:
            UILabel::drawText(in.maxY() > text.maxY() ? text : in);
            return;
        case ContentMode::bottom:
        case ContentMode::bottomLeft:
        case ContentMode::bottomRight:
            UILabel::drawText(text.offsetBy(0, std::max<uikit::CGFloat>(0, in.maxY() - text.maxY())));
            return;
        default:
            UILabel::drawText(in);
            return;
    }
}

}  // namespace lumora
