#pragma once

#include <memory>
#include <string>

#include "uikit/LayoutItem.h"

namespace uikit {

// A rectangle that takes part in automatic layout without being a view: the layout-margins and
// safe-area guides every view has, and guides added by code (`UIView::addLayoutGuide`) as spacers or
// containers. Its frame lives in the owning view's coordinate space.
class UILayoutGuide : public LayoutItem, public std::enable_shared_from_this<UILayoutGuide> {
  public:
    static std::shared_ptr<UILayoutGuide> create();
    ~UILayoutGuide() override;

    // The view it was added to (nullptr when none, or once that view is gone).
    std::shared_ptr<UIView> owningView() const;
    // The guide's rectangle in the owning view's coordinates: for the margins and safe-area guides the
    // owner's bounds inset by its margins / safe-area insets; for other guides the result of the last
    // layout pass (zero before any).
    CGRect layoutFrame() const;

    const std::string& identifier() const { return identifier_; }
    void setIdentifier(std::string identifier) { identifier_ = std::move(identifier); }

    LayoutItem* layoutParent() const override;
    std::shared_ptr<LayoutItem> layoutItemPointer() override { return weak_from_this().lock(); }
    std::string layoutItemDescription() const override;
    UILayoutGuide* asLayoutGuide() override { return this; }

  private:
    friend class UIView;
    friend class layout::LayoutEngine;
    enum class Kind { user, layoutMargins, safeArea };
    UILayoutGuide() = default;

    Kind kind_ = Kind::user;
    UIView* owner_ = nullptr;  // the owner keeps the guide alive and clears this when it lets it go
    CGRect solvedFrame_;
    std::string identifier_;
};

}  // namespace uikit
