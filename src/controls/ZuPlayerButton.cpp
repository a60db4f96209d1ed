#include "controls/ZuPlayerButton.h"

#include "ui/KitFonts.h"
#include "ui/ZuPlayerMetrics.h"
#include "ui/ZuPlayerStyle.h"
#include "uikit/ConstraintMaker.h"

namespace lumora {

using uikit::CGSize;
using uikit::UIColor;

namespace {

// Made at the first call and kept for the process: later changes of the metrics do not reach it.
const uikit::UIFont& controlButtonFont() {
    static const uikit::UIFont font =
        gibsonFont(ZuPlayerMetrics::shared().defaultFontSize, uikit::UIFont::Weight::regular);
    return font;
}

}  // namespace

std::shared_ptr<ZuPlayerButton> ZuPlayerButton::create(const uikit::CGRect& frame) {
    return std::shared_ptr<ZuPlayerButton>(new ZuPlayerButton(frame));
}

std::shared_ptr<ZuPlayerButton> ZuPlayerButton::controlButton(std::optional<CGSize> size) {
    auto button = create();
    button->titleLabel()->setFont(controlButtonFont());
    button->setBackgroundColor(UIColor::clear());
    if (size) {
        const CGSize fixed = *size;
        button->snp().makeConstraints([fixed](uikit::ConstraintMaker& make) { make.size().equalTo(fixed); });
    }
    const auto& layer = button->layer();
    layer->setShadowColor(UIColor::black().cgColor());
    layer->setShadowOffset(CGSize{0, 1});
    layer->setShadowOpacity(0.68);
    layer->setShadowRadius(2);
    button->setAlpha(0.6);
    if (const auto& style = ZuPlayerStyle::shared().defaultButtonStyle) style->apply(*button);
    return button;
}

CGSize ZuPlayerButton::intrinsicContentSize() const {
    const CGSize base = UIButton::intrinsicContentSize();
    const auto image = imageEdgeInsets();
    const auto title = titleEdgeInsets();
    return CGSize{base.width + image.left + image.right + title.left + title.right,
                  base.height + image.top + image.bottom + title.top + title.bottom};
}

}  // namespace lumora
