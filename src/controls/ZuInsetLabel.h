#pragma once

#include <memory>

#include "uikit/UIEdgeInsets.h"
#include "uikit/UILabel.h"

namespace lumora {

// A label that draws its text inside `edgeInsets` and grows its intrinsic size by them. Main thread only.
class ZuInsetLabel : public uikit::UILabel {
  public:
    static std::shared_ptr<ZuInsetLabel> create(const uikit::CGRect& frame = uikit::CGRect());

    // All zero at first.
    uikit::UIEdgeInsets edgeInsets() const { return edgeInsets_; }
    void setEdgeInsets(const uikit::UIEdgeInsets& insets);

    // The label's size plus the left and right insets in width and the top and bottom insets in height.
    uikit::CGSize intrinsicContentSize() const override;
    void drawText(const uikit::CGRect& in) override;

  protected:
    explicit ZuInsetLabel(const uikit::CGRect& frame) : UILabel(frame) {}

  private:
    uikit::UIEdgeInsets edgeInsets_;
};

}  // namespace lumora
