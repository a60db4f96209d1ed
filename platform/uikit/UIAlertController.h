#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "uikit/UIViewController.h"

namespace uikit {

class UIButton;
class UILabel;

// One button of an alert.
class UIAlertAction : public std::enable_shared_from_this<UIAlertAction> {
  public:
    enum class Style { default_ = 0, cancel = 1, destructive = 2 };
    using Handler = std::function<void(UIAlertAction& action)>;

    static std::shared_ptr<UIAlertAction> create(std::optional<std::string> title, Style style,
                                                 Handler handler = nullptr);

    std::optional<std::string> title() const { return title_; }
    Style style() const { return style_; }
    bool isEnabled() const { return isEnabled_; }
    void setIsEnabled(bool enabled) { isEnabled_ = enabled; }
    const Handler& handler() const { return handler_; }

  private:
    UIAlertAction(std::optional<std::string> title, Style style, Handler handler)
        : title_(std::move(title)), style_(style), handler_(std::move(handler)) {}

    std::optional<std::string> title_;
    Style style_;
    bool isEnabled_ = true;
    Handler handler_;
};

// A message with buttons (its actions), presented modally over the presenter, which stays on screen
// (no disappearance callbacks) and cannot be swiped away. Tapping an action — a touch on its button, or
// `simulateTap` — dismisses the alert (animated), and the action's handler runs once the dismissal has
// finished. Disabled actions cannot be tapped.
class UIAlertController : public UIViewController {
  public:
    enum class Style { actionSheet = 0, alert = 1 };

    static std::shared_ptr<UIAlertController> create(std::optional<std::string> title,
                                                     std::optional<std::string> message, Style preferredStyle);

    std::optional<std::string> message() const { return message_; }
    void setMessage(std::optional<std::string> message);
    Style preferredStyle() const { return preferredStyle_; }
    const std::vector<std::shared_ptr<UIAlertAction>>& actions() const { return actions_; }
    void addAction(const std::shared_ptr<UIAlertAction>& action);
    std::shared_ptr<UIAlertAction> preferredAction() const { return preferredAction_; }
    void setPreferredAction(std::shared_ptr<UIAlertAction> action) { preferredAction_ = std::move(action); }

    // Test driver: the viewer taps `action` (or the first enabled action with that title). False when the
    // alert is not presented (or is being presented or dismissed), or the action is not one of its enabled
    // actions.
    bool simulateTap(const std::shared_ptr<UIAlertAction>& action);
    bool simulateTap(const std::string& title);

    // A light rounded panel in the middle of a dimmed screen: title label, message label, then one button per
    // action, each under a hairline.
    void loadView() override;
    void viewDidLayoutSubviews() override;

  protected:
    UIAlertController(std::optional<std::string> title, std::optional<std::string> message, Style style);

  private:
    void buttonTapped(UIButton& button);
    void rebuildButtons();

    std::optional<std::string> message_;
    Style preferredStyle_;
    std::vector<std::shared_ptr<UIAlertAction>> actions_;
    std::shared_ptr<UIAlertAction> preferredAction_;
    std::shared_ptr<UIView> panel_;
    std::vector<std::shared_ptr<UIView>> separators_;
    std::shared_ptr<UILabel> titleLabel_;
    std::shared_ptr<UILabel> messageLabel_;
    std::vector<std::shared_ptr<UIButton>> buttons_;
};

}  // namespace uikit
