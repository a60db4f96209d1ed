#pragma once

#include <memory>

#include "uikit/UIButton.h"
#include "uikit/UIView.h"

namespace lumora {

// The bar across the top of the player's controls: a clear strip holding the white "Close" button at its
// trailing end. What the button does is its owner's business (`VideoControlsView`). Main thread only.
class NavigationControlsView : public uikit::UIView {
  public:
    static std::shared_ptr<NavigationControlsView> create(const uikit::CGRect& frame = uikit::CGRect());

    // A custom button titled "Close", tinted white, pinned to the bar's trailing, top and bottom edges.
    const std::shared_ptr<uikit::UIButton>& closeButton() const { return closeButton_; }

  protected:
    explicit NavigationControlsView(const uikit::CGRect& frame);

  private:
    void setUp();

    std::shared_ptr<uikit::UIButton> closeButton_;
};

}  // namespace lumora
