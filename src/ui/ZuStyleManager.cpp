#include "ui/ZuStyleManager.h"

#include "ui/KitColors.h"
#include "ui/ZuPlayerMetrics.h"
#include "uikit/ConstraintMaker.h"
#include "uikit/NSAttributedString.h"

namespace lumora {

namespace {

using uikit::NSAttributedStringKey;
using uikit::UIColor;
using uikit::UIFont;

constexpr uikit::UILayoutPriority kFixed = 1000;

void styleSpeedIndicator(uikit::UISegmentedControl& control) {
    control.setBackgroundColor(UIColor::clear());
    control.setTitleTextAttributesFor(
        uikit::NSAttributes{
            {NSAttributedStringKey::foregroundColor, colors::lightGrey().withAlphaComponent(0.5)},
            {NSAttributedStringKey::font, UIFont::systemFont(25, UIFont::Weight::regular)},
        },
        uikit::UIControl::State::normal());
    control.setTitleTextAttributesFor(
        uikit::NSAttributes{
            {NSAttributedStringKey::foregroundColor, colors::lightGrey()},
            {NSAttributedStringKey::font, UIFont::systemFont(25, UIFont::Weight::bold)},
        },
        uikit::UIControl::State::selected());
    control.snp().makeConstraints([](uikit::ConstraintMaker& make) { make.height().equalTo(60); });
}

void styleTimeLabel(uikit::UILabel& label) {
    label.setTextColor(UIColor::white());
    label.setFont(
        UIFont::monospacedDigitSystemFont(ZuPlayerMetrics::shared().defaultFontSize, UIFont::Weight::regular));
    label.setContentHuggingPriorityFor(kFixed, uikit::UIView::Axis::horizontal);
    label.setContentCompressionResistancePriorityFor(kFixed, uikit::UIView::Axis::horizontal);
}

void styleErrorLabel(uikit::UILabel& label) {
    label.setTextColor(UIColor::white());
    label.setTextAlignment(uikit::NSTextAlignment::center);
    label.setNumberOfLines(0);
    label.setFont(UIFont::systemFont(16, UIFont::Weight::regular));
    label.setContentHuggingPriorityFor(kFixed, uikit::UIView::Axis::horizontal);
    label.setContentCompressionResistancePriorityFor(kFixed, uikit::UIView::Axis::horizontal);
}

void styleThumbnailImageView(uikit::UIImageView& imageView) {
    const auto& layer = imageView.layer();
    layer->setBorderColor(imageView.tintColor().cgColor());
    layer->setCornerRadius(4.0);
    layer->setBorderWidth(2.0);
}

void styleKeyMomentItem(uikit::UIControl& control) {
    UIColor tint(0.8, 1.0);
    uikit::CGFloat scale = 1.0;
    if (control.isSelected()) {
        tint = UIColor::white();
        scale = 1.3;
    }
    if (control.isHighlighted()) {
        tint = UIColor::white();
        scale = 1.3;
    }
    control.setTintColor(tint);
    control.setTransform(uikit::CGAffineTransform::makeScale(scale, scale));
}

}  // namespace

ZuStyleManager::ZuStyleManager()
    : playbackSpeedIndicator(styleSpeedIndicator), timeLabel(styleTimeLabel), errorLabelStyle(styleErrorLabel) {}

const ZuStyleManager& ZuStyleManager::default_() {
    static const ZuStyleManager styles;
    return styles;
}

const ZuViewStyle<uikit::UIControl>& ZuStyleManager::keyMomentItemStyle() {
    static const ZuViewStyle<uikit::UIControl> style(styleKeyMomentItem);
    return style;
}

ZuStyleManager::Thumbnails::Thumbnails()
    : minimumSingleThumbnailSize(ZuPlayerMetrics::shared().bifThumbnailSize),
      thumbnailImageView(styleThumbnailImageView) {}

const ZuStyleManager::Thumbnails& ZuStyleManager::Thumbnails::default_() {
    static const Thumbnails thumbnails;
    return thumbnails;
}

ZuStyleManager::Thumbnails& ZuStyleManager::Thumbnails::shared() {
    static Thumbnails thumbnails = default_();
    return thumbnails;
}

const ZuStyleManager::KeyMoments& ZuStyleManager::KeyMoments::default_() {
    static const KeyMoments keyMoments;
    return keyMoments;
}

}  // namespace lumora
