#include "uikit/UIButton.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace uikit {

UIButton::UIButton(ButtonType type, const CGRect& frame)
    : UIControl(frame), type_(type), titleLabel_(UILabel::create()), imageView_(UIImageView::create()) {
    setIsOpaque(false);
    titleLabel_->setFont(UIFont::systemFont(UIFont::buttonFontSize()));
    titleLabel_->setIsHidden(true);
    imageView_->setIsHidden(true);
    imageView_->setContentMode(UIViewContentMode::scaleAspectFit);
}

std::shared_ptr<UIButton> UIButton::create(ButtonType type) {
    auto button = std::shared_ptr<UIButton>(new UIButton(type, CGRect()));
    button->ensureSubviews();
    return button;
}

std::shared_ptr<UIButton> UIButton::create(const CGRect& frame) {
    auto button = std::shared_ptr<UIButton>(new UIButton(ButtonType::custom, frame));
    button->ensureSubviews();
    return button;
}

void UIButton::ensureSubviews() {
    if (!sharedView()) return;
    if (!imageView_->superview()) insertSubviewAt(imageView_, 0);
    if (!titleLabel_->superview()) insertSubviewAboveSubview(titleLabel_, imageView_);
}

// ---- Per-state content ------------------------------------------------------------------------------------

template <class V>
const V* UIButton::lookup(const std::map<State, V>& table, State state) {
    if (auto it = table.find(state); it != table.end()) return &it->second;
    if (auto it = table.find(State::normal()); it != table.end()) return &it->second;
    return nullptr;
}

void UIButton::setTitleFor(std::optional<std::string> title, State state) {
    titles_[state] = std::move(title);
    updateContent();
}

std::optional<std::string> UIButton::title(State state) const {
    const auto* found = lookup(titles_, state);
    return found ? *found : std::nullopt;
}

void UIButton::setAttributedTitleFor(std::optional<NSAttributedString> title, State state) {
    attributedTitles_[state] = std::move(title);
    updateContent();
}

std::optional<NSAttributedString> UIButton::attributedTitle(State state) const {
    const auto* found = lookup(attributedTitles_, state);
    return found ? *found : std::nullopt;
}

void UIButton::setTitleColorFor(std::optional<UIColor> color, State state) {
    titleColors_[state] = color;
    updateContent();
}

std::optional<UIColor> UIButton::titleColor(State state) const {
    const auto* found = lookup(titleColors_, state);
    return found ? *found : std::nullopt;
}

void UIButton::setImageFor(std::shared_ptr<UIImage> image, State state) {
    images_[state] = std::move(image);
    updateContent();
}

std::shared_ptr<UIImage> UIButton::image(State state) const {
    const auto* found = lookup(images_, state);
    return found ? *found : nullptr;
}

std::optional<std::string> UIButton::currentTitle() const {
    if (auto attributed = currentAttributedTitle()) return attributed->string();
    return title(state());
}

std::optional<NSAttributedString> UIButton::currentAttributedTitle() const {
    return attributedTitle(state());
}

UIColor UIButton::currentTitleColor() const {
    if (auto color = titleColor(state())) return *color;
    if (type_ == ButtonType::custom) return UIColor::white();
    return isEnabled() ? tintColor() : UIColor::systemGray();
}

std::shared_ptr<UIImage> UIButton::currentImage() const {
    return image(state());
}

void UIButton::updateContent() {
    ensureSubviews();
    if (auto attributed = currentAttributedTitle()) {
        titleLabel_->setAttributedText(attributed);
    } else {
        titleLabel_->setText(title(state()));
        titleLabel_->setTextColor(currentTitleColor());
    }
    auto text = titleLabel_->text();
    titleLabel_->setIsHidden(!text || text->empty());
    auto image = currentImage();
    imageView_->setImage(image);
    imageView_->setIsHidden(!image);
    bool dim = (isHighlighted() && adjustsImageWhenHighlighted_) || (!isEnabled() && adjustsImageWhenDisabled_);
    imageView_->setAlpha(dim ? 0.5 : 1.0);
    invalidateIntrinsicContentSize();
    setNeedsLayout();
}

void UIButton::stateDidChange() {
    updateContent();
}

void UIButton::tintColorDidChange() {
    UIControl::tintColorDidChange();
    updateContent();
}

void UIButton::didUpdateFocus(const UIFocusUpdateContext& context, UIFocusAnimationCoordinator& coordinator) {
    UIControl::didUpdateFocus(context, coordinator);
    updateContent();
}

// ---- Geometry ---------------------------------------------------------------------------------------------

void UIButton::setContentEdgeInsets(const UIEdgeInsets& insets) {
    contentEdgeInsets_ = insets;
    invalidateIntrinsicContentSize();
    setNeedsLayout();
}

void UIButton::setTitleEdgeInsets(const UIEdgeInsets& insets) {
    titleEdgeInsets_ = insets;
    setNeedsLayout();
}

void UIButton::setImageEdgeInsets(const UIEdgeInsets& insets) {
    imageEdgeInsets_ = insets;
    setNeedsLayout();
}

void UIButton::setAdjustsImageWhenHighlighted(bool flag) {
    adjustsImageWhenHighlighted_ = flag;
    updateContent();
}

void UIButton::setAdjustsImageWhenDisabled(bool flag) {
    adjustsImageWhenDisabled_ = flag;
    updateContent();
}

CGSize UIButton::imageSize() const {
    auto image = currentImage();
    return image ? image->size() : CGSize();
}

CGSize UIButton::titleSize(CGFloat maxWidth) const {
    auto text = titleLabel_->text();
    if (!text || text->empty()) return CGSize();
    CGSize natural = titleLabel_->intrinsicContentSize();
    natural.width = std::max(CGFloat(0), natural.width);
    natural.height = std::max(CGFloat(0), natural.height);
    if (std::isfinite(maxWidth)) natural.width = std::min(natural.width, std::max(CGFloat(0), maxWidth));
    return natural;
}

CGRect UIButton::contentRect(const CGRect& forBounds) const {
    return forBounds.inset(contentEdgeInsets_);
}

UIButton::Boxes UIButton::boxes(const CGRect& content) const {
    CGSize img = imageSize();
    CGSize imageBox{img.width > 0 ? img.width + imageEdgeInsets_.horizontal() : 0,
                    img.height > 0 ? img.height + imageEdgeInsets_.vertical() : 0};
    CGSize title = titleSize(content.size.width - imageBox.width - titleEdgeInsets_.horizontal());
    CGSize titleBox{title.width > 0 ? title.width + titleEdgeInsets_.horizontal() : 0,
                    title.height > 0 ? title.height + titleEdgeInsets_.vertical() : 0};
    CGFloat total = imageBox.width + titleBox.width;
    CGFloat x = content.origin.x;
    switch (contentHorizontalAlignment()) {
        case ContentHorizontalAlignment::left:
        case ContentHorizontalAlignment::leading:
        case ContentHorizontalAlignment::fill:
            break;
        case ContentHorizontalAlignment::right:
        case ContentHorizontalAlignment::trailing:
            x = content.origin.x + content.size.width - total;
            break;
        case ContentHorizontalAlignment::center:
            x = content.origin.x + (content.size.width - total) / 2;
            break;
    }
    auto yFor = [&](CGFloat h) {
        switch (contentVerticalAlignment()) {
            case ContentVerticalAlignment::top:
            case ContentVerticalAlignment::fill:
                return content.origin.y;
            case ContentVerticalAlignment::bottom:
                return content.origin.y + content.size.height - h;
            case ContentVerticalAlignment::center:
                break;
        }
        return content.origin.y + (content.size.height - h) / 2;
    };
    Boxes b;
    b.image = CGRect(x, yFor(imageBox.height), imageBox.width, imageBox.height);
    b.title = CGRect(x + imageBox.width, yFor(titleBox.height), titleBox.width, titleBox.height);
    return b;
}

CGRect UIButton::imageRect(const CGRect& forContentRect) const {
    CGRect box = boxes(forContentRect).image;
    if (box.size.width <= 0 && box.size.height <= 0) return CGRect(box.origin, CGSize());
    return box.inset(imageEdgeInsets_);
}

CGRect UIButton::titleRect(const CGRect& forContentRect) const {
    CGRect box = boxes(forContentRect).title;
    if (box.size.width <= 0 && box.size.height <= 0) return CGRect(box.origin, CGSize());
    return box.inset(titleEdgeInsets_);
}

CGSize UIButton::intrinsicContentSize() const {
    CGSize img = imageSize();
    CGSize title = titleSize(std::numeric_limits<CGFloat>::infinity());
    return CGSize{img.width + title.width + contentEdgeInsets_.horizontal(),
                  std::max(img.height, title.height) + contentEdgeInsets_.vertical()};
}

CGSize UIButton::sizeThatFits(CGSize size) const {
    (void)size;
    return intrinsicContentSize();
}

void UIButton::layoutSubviews() {
    UIControl::layoutSubviews();
    ensureSubviews();
    CGRect content = contentRect(bounds());
    imageView_->setFrame(imageRect(content));
    titleLabel_->setFrame(titleRect(content));
}

std::string UIButton::snapshotAttributes() const {
    auto t = currentTitle();
    std::string text = t ? "title=\"" + *t + "\"" : std::string();
    if (!isEnabled()) text += text.empty() ? "disabled" : " disabled";
    if (isSelected()) text += text.empty() ? "selected" : " selected";
    return text;
}

}  // namespace uikit
