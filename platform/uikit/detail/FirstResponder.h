#pragma once

// Internal to the toolkit: the first responder and the simulated keyboard that follows it.

#include <memory>

namespace uikit {
class UIResponder;
}  // namespace uikit

namespace uikit::detail {

struct FirstResponder {
    static std::shared_ptr<UIResponder> current();
    static void set(const std::shared_ptr<UIResponder>& responder);
};

// Marks a change of first responder; when the outermost change ends, the simulated keyboard shows or hides
// to match (so handing the keyboard from one text field to another does not hide it in between).
class FirstResponderChange {
  public:
    FirstResponderChange();
    ~FirstResponderChange();
    FirstResponderChange(const FirstResponderChange&) = delete;
    FirstResponderChange& operator=(const FirstResponderChange&) = delete;
};

}  // namespace uikit::detail
