#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace uikit {

class UIView;
class UIFocusUpdateContext;
class UIFocusAnimationCoordinator;

// Something that takes part in focus updates: views and view controllers. Every requirement has the
// platform's default.
class UIFocusEnvironment {
  public:
    virtual ~UIFocusEnvironment() = default;

    // The environments to search first, in order of preference, when focus is updated inside this one.
    // Empty by default: a view's subviews are then searched in order, a view controller's view.
    virtual std::vector<std::shared_ptr<UIFocusEnvironment>> preferredFocusEnvironments() const { return {}; }
    // Asks the focus system for an update inside this environment at the end of this turn of the main
    // loop. Honoured when this environment contains the focused item (or nothing is focused), and only
    // while the focus system is enabled (see UIFocusSystem).
    void setNeedsFocusUpdate();
    // Runs a pending update now.
    void updateFocusIfNeeded();
    // Asked, for every environment that contains the item losing or the item gaining focus, before an
    // update; one false refuses the update.
    virtual bool shouldUpdateFocus(const UIFocusUpdateContext& context) {
        (void)context;
        return true;
    }
    // Told, for every environment that contains the item that lost or the item that gained focus, after
    // an update. Animations added to `coordinator` run together once every environment has been told.
    virtual void didUpdateFocus(const UIFocusUpdateContext& context, UIFocusAnimationCoordinator& coordinator) {
        (void)context;
        (void)coordinator;
    }

    // The environment that contains this one: a view's view controller (for its root view) or superview,
    // a view controller's parent, or the superview of its view.
    virtual std::shared_ptr<UIFocusEnvironment> parentFocusEnvironment() const = 0;
    // This environment as a shared pointer (empty while it is being constructed).
    virtual std::shared_ptr<UIFocusEnvironment> focusEnvironmentPointer() const = 0;
};

// An environment that can itself be focused (views).
class UIFocusItem : public UIFocusEnvironment {
  public:
    // False by default.
    virtual bool canBecomeFocused() const { return false; }
    // True while the focus system has this item focused.
    bool isFocused() const;
};

// Directions of a focus move (a bit set, the platform's raw values).
struct UIFocusHeading {
    unsigned rawValue = 0;
    static constexpr UIFocusHeading up() { return {1u << 0}; }
    static constexpr UIFocusHeading down() { return {1u << 1}; }
    static constexpr UIFocusHeading left() { return {1u << 2}; }
    static constexpr UIFocusHeading right() { return {1u << 3}; }
    static constexpr UIFocusHeading next() { return {1u << 4}; }
    static constexpr UIFocusHeading previous() { return {1u << 5}; }
    constexpr bool contains(UIFocusHeading other) const { return (rawValue & other.rawValue) == other.rawValue; }
    friend constexpr UIFocusHeading operator|(UIFocusHeading a, UIFocusHeading b) { return {a.rawValue | b.rawValue}; }
    friend constexpr bool operator==(const UIFocusHeading&, const UIFocusHeading&) = default;
};

// What a focus update moves from and to. The views are the items when they are views (nullptr otherwise).
class UIFocusUpdateContext {
  public:
    UIFocusUpdateContext(std::shared_ptr<UIFocusItem> previous, std::shared_ptr<UIFocusItem> next,
                         UIFocusHeading heading);

    std::shared_ptr<UIFocusItem> previouslyFocusedItem() const { return previous_; }
    std::shared_ptr<UIFocusItem> nextFocusedItem() const { return next_; }
    std::shared_ptr<UIView> previouslyFocusedView() const;
    std::shared_ptr<UIView> nextFocusedView() const;
    UIFocusHeading focusHeading() const { return heading_; }

  private:
    std::shared_ptr<UIFocusItem> previous_;
    std::shared_ptr<UIFocusItem> next_;
    UIFocusHeading heading_;
};

// Collects the animations of the environments told about one focus update; the focus system runs them in
// one `UIView::animate` of `UIFocusSystem::animationDuration` seconds once every environment has been told,
// and the completions when that animation ends.
class UIFocusAnimationCoordinator {
  public:
    void addCoordinatedAnimationsCompletion(std::function<void()> animations, std::function<void()> completion);
    void addCoordinatedAnimations(std::function<void()> animations) {
        addCoordinatedAnimationsCompletion(std::move(animations), nullptr);
    }

    std::size_t animationCount() const { return animations_.size(); }

  private:
    friend class UIFocusSystem;
    std::vector<std::function<void()>> animations_;
    std::vector<std::function<void()>> completions_;
};

// The focus engine: one focused item at a time (or none), moved by focus updates.
//
// On a television (UIDevice idiom `tv`) the system is enabled: `setNeedsFocusUpdate()` requests move focus
// to the preferred item. Elsewhere (phones, tablets) it is disabled, as touch devices have no focus:
// requests do nothing until a test enables it. `moveFocus` — the test's stand-in for the viewer's
// remote — works in either case.
//
// Presses (UIPressesEvent) go to the focused item's view, or to the key window when nothing is focused.
class UIFocusSystem {
  public:
    static constexpr double animationDuration = 0.2;

    static UIFocusSystem& shared();

    bool isEnabled() const;
    // nullopt: follow the device idiom again.
    void setIsEnabled(std::optional<bool> enabled);

    std::shared_ptr<UIFocusItem> focusedItem() const { return focused_.lock(); }
    std::shared_ptr<UIView> focusedView() const;

    // Moves focus to `item`. Refused (false) when the item cannot become focused, is a view that is hidden
    // (or in a hidden branch), has user interaction disabled or is not in a window, or when an environment
    // of the update answers false to `shouldUpdateFocus`. Moving to the focused item does nothing (true).
    bool moveFocus(const std::shared_ptr<UIFocusItem>& to, UIFocusHeading heading = {});
    // Focus leaves the focused item for nothing (environments are asked and told as for any update).
    bool clearFocus();

    // The update requests of `setNeedsFocusUpdate()`.
    void requestFocusUpdate(const std::shared_ptr<UIFocusEnvironment>& environment);
    void updateFocusIfNeeded();
    // The item an update inside `environment` would focus: the environment itself when it is a focusable
    // item, else the first found in its preferred environments, then (views) its subviews in order or
    // (view controllers) its view.
    std::shared_ptr<UIFocusItem> preferredFocusItem(const std::shared_ptr<UIFocusEnvironment>& environment) const;

    // Drops the focused item and pending requests (test isolation).
    void resetForTesting();

    // Internal: a view left its window.
    void viewDidLeaveWindow(UIView& view);

  private:
    UIFocusSystem() = default;
    bool performUpdate(const std::shared_ptr<UIFocusItem>& next, UIFocusHeading heading);

    std::weak_ptr<UIFocusItem> focused_;
    std::vector<std::weak_ptr<UIFocusEnvironment>> requests_;
    bool updateScheduled_ = false;
    std::optional<bool> enabledOverride_;
};

}  // namespace uikit
