#pragma once

// The game-controller framework's micro gamepad (the remote's touch surface and buttons), as a placeholder:
// the kit keeps a weak reference to one for directional scrubbing, which nothing in this system attaches.
// It lives with the toolkit because nothing else of that framework is needed.

#include <memory>

namespace gamecontroller {

class GCMicroGamepad : public std::enable_shared_from_this<GCMicroGamepad> {
  public:
    static std::shared_ptr<GCMicroGamepad> create() { return std::shared_ptr<GCMicroGamepad>(new GCMicroGamepad()); }

    // The platform's settings of the pad; stored only.
    bool reportsAbsoluteDpadValues() const { return reportsAbsoluteDpadValues_; }
    void setReportsAbsoluteDpadValues(bool flag) { reportsAbsoluteDpadValues_ = flag; }
    bool allowsRotation() const { return allowsRotation_; }
    void setAllowsRotation(bool flag) { allowsRotation_ = flag; }

  private:
    GCMicroGamepad() = default;
    bool reportsAbsoluteDpadValues_ = false;
    bool allowsRotation_ = false;
};

}  // namespace gamecontroller
