#pragma once

#include <memory>
#include <vector>

namespace uikit {

// Touches, presses and events are defined with the controls and gesture recognisers; the responder
// chain only passes them along.
class UITouch;
class UIEvent;
class UIPress;
class UIPressesEvent;

using UITouchSet = std::vector<std::shared_ptr<UITouch>>;
using UIPressSet = std::vector<std::shared_ptr<UIPress>>;

// An object that can handle events: views (and, later, view controllers and the application). Each
// responder names the next one in the chain; a responder that does not handle an event passes it on,
// which is what the default implementations do.
class UIResponder : public std::enable_shared_from_this<UIResponder> {
  public:
    virtual ~UIResponder() = default;
    UIResponder(const UIResponder&) = delete;
    UIResponder& operator=(const UIResponder&) = delete;

    // The next responder in the chain (a view's superview by default), or nullptr.
    virtual std::shared_ptr<UIResponder> next() const { return nullptr; }

    virtual void touchesBegan(const UITouchSet& touches, const UIEvent* event);
    virtual void touchesMoved(const UITouchSet& touches, const UIEvent* event);
    virtual void touchesEnded(const UITouchSet& touches, const UIEvent* event);
    virtual void touchesCancelled(const UITouchSet& touches, const UIEvent* event);
    virtual void pressesBegan(const UIPressSet& presses, const UIPressesEvent* event);
    virtual void pressesEnded(const UIPressSet& presses, const UIPressesEvent* event);
    virtual void pressesCancelled(const UIPressSet& presses, const UIPressesEvent* event) {
        if (auto n = next()) n->pressesCancelled(presses, event);
    }

    // The first responder (the object that receives typing; text fields). Only one responder is first
    // responder at a time: becoming it asks the current one to resign first. Defined with the event code
    // (UIViewInteraction.cpp).
    virtual bool canBecomeFirstResponder() const { return false; }
    virtual bool canResignFirstResponder() const { return true; }
    virtual bool becomeFirstResponder();
    virtual bool resignFirstResponder();
    bool isFirstResponder() const;

  protected:
    UIResponder() = default;
};

}  // namespace uikit
