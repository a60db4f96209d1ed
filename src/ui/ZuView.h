#pragma once

#include <memory>
#include <optional>

#include "uikit/UIView.h"

namespace lumora {

// The base view of the control rows and the key-moments strip: a view that can opt into focus, can impose a
// preferred height, and, when it is not opaque, takes a touch only where one of its visible, interactive
// subviews takes it — so transparent rows laid over the video let taps through to the player.
class ZuView : public uikit::UIView {
  public:
    static std::shared_ptr<ZuView> create(const uikit::CGRect& frame = uikit::CGRect());

    // False at first. Setting it asks for a focus update.
    bool isFocusable() const { return isFocusable_; }
    void setIsFocusable(bool focusable);

    // Nothing at first. Its height replaces the intrinsic height; setting it invalidates the intrinsic size
    // and asks for layout. A height that is not a finite number counts as no preference.
    std::optional<uikit::CGSize> preferredContentSize() const { return preferredContentSize_; }
    void setPreferredContentSize(std::optional<uikit::CGSize> size);

    bool canBecomeFocused() const override { return isFocusable_; }
    uikit::CGSize intrinsicContentSize() const override;
    // Opaque: the bounds, as any view. Not opaque: true only when a subview that is not hidden and takes
    // interaction contains the point (asked in its own coordinates), the first such subview deciding.
    bool point(uikit::CGPoint inside, const uikit::UIEvent* event) override;

  protected:
    explicit ZuView(const uikit::CGRect& frame);

  private:
    bool isFocusable_ = false;
    std::optional<uikit::CGSize> preferredContentSize_;
};

}  // namespace lumora
