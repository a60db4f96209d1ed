#include "uikit/UIAlertController.h"

#include <algorithm>

#include "uikit/UIButton.h"
#include "uikit/UILabel.h"
#include "uikit/UIScreen.h"

namespace uikit {

std::shared_ptr<UIAlertAction> UIAlertAction::create(std::optional<std::string> title, Style style, Handler handler) {
    return std::shared_ptr<UIAlertAction>(new UIAlertAction(std::move(title), style, std::move(handler)));
}

UIAlertController::UIAlertController(std::optional<std::string> title, std::optional<std::string> message, Style style)
    : message_(std::move(message)), preferredStyle_(style) {
    setTitle(std::move(title));
    setModalPresentationStyle(UIModalPresentationStyle::custom);
    setIsModalInPresentation(true);
}

std::shared_ptr<UIAlertController> UIAlertController::create(std::optional<std::string> title,
                                                             std::optional<std::string> message, Style preferredStyle) {
    return std::shared_ptr<UIAlertController>(
        new UIAlertController(std::move(title), std::move(message), preferredStyle));
}

void UIAlertController::setMessage(std::optional<std::string> message) {
    message_ = std::move(message);
    if (messageLabel_) messageLabel_->setText(message_);
}

void UIAlertController::addAction(const std::shared_ptr<UIAlertAction>& action) {
    if (!action || std::find(actions_.begin(), actions_.end(), action) != actions_.end()) return;
    actions_.push_back(action);
    if (isViewLoaded()) rebuildButtons();
}

bool UIAlertController::simulateTap(const std::shared_ptr<UIAlertAction>& action) {
    if (!action || !action->isEnabled()) return false;
    if (std::find(actions_.begin(), actions_.end(), action) == actions_.end()) return false;
    if (!presentingViewController() || isBeingPresented() || isBeingDismissed()) return false;
    auto keepAlive = action;
    dismiss(true, [action] {
        if (action->handler()) action->handler()(*action);
    });
    return true;
}

bool UIAlertController::simulateTap(const std::string& title) {
    for (const auto& action : actions_) {
        if (action->title() == title && action->isEnabled()) return simulateTap(action);
    }
    return false;
}

void UIAlertController::loadView() {
    auto container = UIView::create(UIScreen::main()->bounds());
    container->setBackgroundColor(UIColor(0.0, 0.4));
    setView(container);
    panel_ = UIView::create();
    panel_->setBackgroundColor(UIColor(0.97, 1.0));
    panel_->layer()->setCornerRadius(14);
    panel_->setClipsToBounds(true);
    container->addSubview(panel_);
    titleLabel_ = UILabel::create();
    titleLabel_->setText(title());
    titleLabel_->setTextAlignment(NSTextAlignment::center);
    titleLabel_->setFont(UIFont::boldSystemFont(17));
    messageLabel_ = UILabel::create();
    messageLabel_->setText(message_);
    messageLabel_->setTextAlignment(NSTextAlignment::center);
    messageLabel_->setNumberOfLines(0);
    messageLabel_->setFont(UIFont::systemFont(13));
    container->addSubview(titleLabel_);
    container->addSubview(messageLabel_);
    rebuildButtons();
}

void UIAlertController::rebuildButtons() {
    auto container = viewIfLoaded();
    if (!container) return;
    for (const auto& b : buttons_) b->removeFromSuperview();
    for (const auto& line : separators_) line->removeFromSuperview();
    buttons_.clear();
    separators_.clear();
    for (const auto& action : actions_) {
        auto separator = UIView::create();
        separator->setBackgroundColor(UIColor(0.8, 1.0));
        container->addSubview(separator);
        separators_.push_back(separator);
        auto button = UIButton::create(UIButton::ButtonType::system);
        button->setTitleFor(action->title(), UIControl::State::normal());
        button->setIsEnabled(action->isEnabled());
        button->addTargetAction(std::static_pointer_cast<UIAlertController>(sharedController()),
                                &UIAlertController::buttonTapped, UIControl::Event::touchUpInside());
        container->addSubview(button);
        buttons_.push_back(button);
    }
    container->setNeedsLayout();
}

void UIAlertController::viewDidLayoutSubviews() {
    UIViewController::viewDidLayoutSubviews();
    auto container = viewIfLoaded();
    if (!container || !titleLabel_) return;
    CGRect b = container->bounds();
    CGFloat width = std::min(CGFloat(270), b.width());
    CGFloat x = b.midX() - width / 2;
    CGFloat titleHeight = titleLabel_->sizeThatFits(CGSize{width - 32, 1e9}).height;
    CGFloat messageHeight = messageLabel_->sizeThatFits(CGSize{width - 32, 1e9}).height;
    CGFloat total = 20 + titleHeight + 4 + messageHeight + 20 + 44 * static_cast<CGFloat>(buttons_.size());
    CGFloat y = b.midY() - total / 2 + 20;
    if (panel_) panel_->setFrame(CGRect(x, y - 20, width, total));
    titleLabel_->setFrame(CGRect(x + 16, y, width - 32, titleHeight));
    y += titleHeight + 4;
    messageLabel_->setFrame(CGRect(x + 16, y, width - 32, messageHeight));
    y += messageHeight + 20;
    for (std::size_t i = 0; i < buttons_.size(); ++i) {
        if (i < separators_.size()) separators_[i]->setFrame(CGRect(x, y, width, 1));
        buttons_[i]->setFrame(CGRect(x, y, width, 44));
        y += 44;
    }
}

void UIAlertController::buttonTapped(UIButton& button) {
    auto it = std::find_if(buttons_.begin(), buttons_.end(), [&](const auto& b) { return b.get() == &button; });
    if (it == buttons_.end()) return;
    auto index = static_cast<std::size_t>(it - buttons_.begin());
    if (index < actions_.size()) simulateTap(actions_[index]);
}

}  // namespace uikit
